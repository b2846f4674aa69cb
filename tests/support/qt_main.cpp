// A GoogleTest main for the tests that drive real windows: the widgets need one QApplication, made
// before the first test and kept until the last.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "runtime/platform/os.h"

int main(int argc, char** argv) {
    // Headless unless the caller chose a platform (CTest sets offscreen; a developer may want xcb).
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) rt::os::SetEnvironment("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The tests open and close windows one after another; the last close must not end anything.
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}

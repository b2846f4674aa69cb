#include "runtime/ui/application.h"

#include <QApplication>
#include <QFont>
#include <QWidget>
#include <filesystem>
#include <system_error>

namespace rt::ui {

Application::Application(std::string appname) : appname_(std::move(appname)) {}
Application::~Application() = default;

int Application::Run(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QString::fromStdString(appname_));
    // The windows close themselves through their close-query; the loop ends with the last one.
    app.setQuitOnLastWindowClosed(true);
    create();
    std::string commandline;
    for (int i = 1; i < argc; ++i) commandline += (i > 1 ? " " : "") + std::string(argv[i]);
    open(commandline);
    int rc = 0;
    bool anyVisible = false;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) anyVisible = true;
    if (anyVisible) rc = app.exec();
    destroy();
    return rc;
}

std::string Application::ProgramFolder() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    std::string folder = exe.parent_path().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace rt::ui

#include "runtime/ui/application.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <system_error>

namespace rt::ui {

Application::Application(std::string appname) : appname_(std::move(appname)) {}
Application::~Application() = default;

int Application::Run(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QString::fromStdString(appname_));
    // The windows close themselves through their close-query; the loop ends with the last one.
    app.setQuitOnLastWindowClosed(true);
    // Without them a dialog of the toolkit's would be the one English window of the program; the
    // program works the same when the translations are not installed.
    LoadToolkitTranslations();
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

bool Application::LoadToolkitTranslations() {
    static QTranslator* translator = nullptr;
    if (translator != nullptr) return true;
    auto loaded = std::make_unique<QTranslator>();
    if (!loaded->load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    // The application object owns it from here on and drops it when it goes.
    translator = loaded.release();
    translator->setParent(QCoreApplication::instance());
    QObject::connect(translator, &QObject::destroyed, [] { translator = nullptr; });
    QCoreApplication::installTranslator(translator);
    return true;
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

#include "runtime/ui/application.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>
#include <QWidget>
#include <cerrno>
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

std::string Application::WorkingFolder(const std::string& preferred) {
    struct stat st {};
    if (!preferred.empty() && ::stat(preferred.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
        ::access(preferred.c_str(), W_OK | X_OK) == 0)
        return preferred;

    // Never a shared place such as /tmp: the folder is the user's own, and nobody else may write
    // into it (a link planted there could redirect the working files).
    const QString location = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (location.isEmpty()) return preferred;
    std::string own = QFile::encodeName(location).toStdString();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(own).parent_path(), ec);
    if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return preferred;
    struct stat mine {};
    if (::lstat(own.c_str(), &mine) != 0 || !S_ISDIR(mine.st_mode) || mine.st_uid != ::geteuid() ||
        (mine.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return preferred;
    return own;
}

}  // namespace rt::ui

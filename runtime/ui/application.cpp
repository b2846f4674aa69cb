#include "runtime/ui/application.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <system_error>

#include "runtime/platform/os.h"
#include "runtime/platform/path.h"

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
    // The toolkit's arguments, which it reads in Unicode where the system hands them over so.
    std::string commandline;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i)
        commandline += (i > 1 ? " " : "") + arguments[i].toStdString();
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
    const std::string exe = os::ExecutablePath();
    if (exe.empty()) return {};
    std::string folder = PathText(FsPath(exe).parent_path());
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string Application::WorkingFolder(const std::string& preferred) {
    if (!preferred.empty() && os::WritableFolder(preferred)) return preferred;

    // Never a shared place such as /tmp: the folder is the user's own, and nobody else may write
    // into it (a link planted there could redirect the working files).
    const QString location = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (location.isEmpty()) return preferred;
    std::string own = location.toStdString();
    std::error_code ec;
    std::filesystem::create_directories(FsPath(own).parent_path(), ec);
    if (!os::MakePrivateFolder(own)) return preferred;
    return own;
}

}  // namespace rt::ui

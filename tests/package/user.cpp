// A user of the installed program, played from inside it: tests/package/check loads this library
// into the unpacked program (LD_PRELOAD); nothing of it is in the package. Once the main window
// shows, it clicks the toolbar's 新增推荐书, then closes the window and answers the question
// whether to save with 否, and the program ends as it does for a user. Any other message box fails
// the run: its title and text go to stderr and the process ends with status 3; a program that
// does not get that far within a minute ends with status 4.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kNew = QStringLiteral("新增推荐书");
const QString kSaveQuestion = QStringLiteral("你需要保存最近的工作吗？");
constexpr int kPatienceMs = 60000;

enum class Stage { kWaitForWindow, kMadeOne, kClosing };
Stage stage = Stage::kWaitForWindow;
// While the click runs, the steps only look at boxes.
bool clicking = false;
QPointer<QWidget> main_window;

[[noreturn]] void Fail(int status, const QString& why) {
    std::fprintf(stderr, "package user: %s\n", why.toUtf8().constData());
    std::fflush(stderr);
    std::_Exit(status);
}

// The toolbar button of 新增推荐书 on a window that shows, and that window.
QToolButton* NewButton(QWidget*& window) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) continue;
        for (QToolBar* bar : top->findChildren<QToolBar*>())
            for (QAction* action : bar->actions())
                if (action->text() == kNew && action->isEnabled())
                    if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action))) {
                        window = top;
                        return button;
                    }
    }
    return nullptr;
}

QAbstractButton* ButtonOf(QMessageBox& box, const QString& text) {
    for (QAbstractButton* button : box.buttons())
        if (button->text() == text) return button;
    return nullptr;
}

void Step() {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(top);
        if (box == nullptr || !box->isVisible()) continue;
        QAbstractButton* no = ButtonOf(*box, QStringLiteral("否"));
        if (stage == Stage::kClosing && box->text() == kSaveQuestion && no != nullptr) {
            QTest::mouseClick(no, Qt::LeftButton);
            return;
        }
        Fail(3, box->windowTitle() + ": " + box->text());
    }
    if (clicking) return;
    // The click and the close run from the event loop, not from this step: a box they show must
    // find the steps running, and a timer does not fire again inside its own step.
    switch (stage) {
        case Stage::kWaitForWindow: {
            QWidget* window = nullptr;
            if (QToolButton* button = NewButton(window)) {
                main_window = window;
                stage = Stage::kMadeOne;
                clicking = true;
                QTimer::singleShot(0, button, [button] {
                    QTest::mouseClick(button, Qt::LeftButton);
                    clicking = false;
                });
            }
            break;
        }
        case Stage::kMadeOne:
            stage = Stage::kClosing;
            if (main_window) QTimer::singleShot(0, main_window, [] { main_window->close(); });
            break;
        case Stage::kClosing:
            break;
    }
}

void Start() {
    // Owned by the application object, as every object of the program's windows.
    auto* steps = new QTimer(QCoreApplication::instance());
    QObject::connect(steps, &QTimer::timeout, steps, Step);
    steps->start(100);
    QTimer::singleShot(kPatienceMs, steps, [] {
        Fail(4, stage == Stage::kWaitForWindow ? QStringLiteral("the main window did not show")
                                               : QStringLiteral("the program did not end"));
    });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)

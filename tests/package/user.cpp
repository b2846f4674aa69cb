// A user of the installed program, played from inside it: tests/package/check loads this library
// into the unpacked program (LD_PRELOAD); nothing of it is in the package. Once the main window
// shows, it opens 推荐书管理 in the menu bar and clicks 新增推荐书 there, as a user who started the
// program from the desktop's menu does, then closes the window and answers the question whether to
// save with 否, and the program ends as it does for a user. Any other message box fails
// the run: its title and text go to stderr and the process ends with status 3; a program that
// does not get that far within a minute ends with status 4, one whose drop-down does not open
// with status 5.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
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

// A menu item's text without its bracketed access key ("(&N)") and its shortcut.
QString ItemText(const QAction* action) {
    static const QRegularExpression accessKey(QStringLiteral("\\(&.\\)$"));
    return action->text().section(QLatin1Char('\t'), 0, 0).remove(accessKey);
}

// The menu bar's drop-down that holds 新增推荐书 on a window that shows, and that window.
QAction* RecordsMenu(QWidget*& window, QMenuBar*& bar) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) continue;
        for (QMenuBar* b : top->findChildren<QMenuBar*>())
            for (QAction* menu : b->actions())
                if (menu->menu() != nullptr)
                    for (QAction* action : menu->menu()->actions())
                        if (ItemText(action) == kNew && action->isEnabled()) {
                            window = top;
                            bar = b;
                            return menu;
                        }
    }
    return nullptr;
}

// Clicks the drop-down's title, then its item 新增推荐书, as the mouse does.
void ChooseNew(QMenuBar* bar, QAction* menu) {
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu).center());
    QMenu* dropDown = menu->menu();
    for (int waited = 0; !dropDown->isVisible() && waited < 5000; waited += 10) QTest::qWait(10);
    if (!dropDown->isVisible()) Fail(5, QStringLiteral("the drop-down did not open"));
    for (QAction* action : dropDown->actions())
        if (ItemText(action) == kNew)
            QTest::mouseClick(dropDown, Qt::LeftButton, {}, dropDown->actionGeometry(action).center());
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
            QMenuBar* bar = nullptr;
            if (QAction* menu = RecordsMenu(window, bar)) {
                main_window = window;
                stage = Stage::kMadeOne;
                clicking = true;
                QTimer::singleShot(0, bar, [bar, menu] {
                    ChooseNew(bar, menu);
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

#include "runtime/ui/datawindow_control.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFrame>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <chrono>
#include <string>
#include <utility>

#include "runtime/ui/datawindow_form.h"
#include "runtime/ui/datawindow_grid.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/window.h"

namespace rt::ui {

// ---- what the form and the grid share -------------------------------------------------------------

namespace dwview {

rt::DataWindow& ViewBase::Engine() const {
    return dw_;
}

bool ViewBase::Enabled() const {
    return dw_.Enabled();
}

bool ViewBase::AcceptPending() {
    if (detached_) return false;
    rt::DataWindow& dw = dw_;
    return !dw.EditPending() || dw.AcceptText() == 1;
}

void ViewBase::EditorFocusOut(QWidget* editor, Qt::FocusReason reason) {
    if (detached_ || syncing_ > 0) return;
    // A drop-down opening, another application or the menu bar taking the keyboard: the user has
    // not left the field.
    if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason ||
        reason == Qt::MenuBarFocusReason) {
        return;
    }
    if (AcceptPending() || detached_) return;
    // Still inside the focus change: the widget that was to get the focus never sees it.
    QPointer<QWidget> back(editor);
    if (back) MoveFocus(back, Qt::OtherFocusReason);
}

void ViewBase::MoveFocus(QWidget* to, Qt::FocusReason reason) {
    const SyncGuard quiet(*this);
    to->setFocus(reason);
}

bool ViewBase::Leave(QWidget* view, QWidget* from, bool forward) {
    QWidget* w = from;
    for (;;) {
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
        if (w == nullptr || w == from) return false;
        if (view->isAncestorOf(w) || w->window() != view->window()) continue;
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
            w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
}

void ViewBase::PushEditText(const std::string& text) {
    if (detached_) return;
    struct Flag {
        bool& f;
        explicit Flag(bool& b) : f(b) { f = true; }
        ~Flag() { f = false; }
        Flag(const Flag&) = delete;
        Flag& operator=(const Flag&) = delete;
    } pushing(pushing_);
    static_cast<rt::DataWindow&>(dw_).SetText(text);
}

long ViewBase::UnitsX(int px) const {
    return PixelsToUnitsX(px);
}

long ViewBase::UnitsY(int px) const {
    return PixelsToUnitsY(px);
}

}  // namespace dwview

// ---- the control ----------------------------------------------------------------------------------

struct DataWindowControl::View {
    QFrame* frame = nullptr;
    QVBoxLayout* layout = nullptr;
    dwview::ViewBase* content = nullptr;
    QPointer<QWidget> contentWidget;
    const DataWindowDef* shown = nullptr;
};

namespace {

// How long a statement may keep the user waiting before a box lets him give it up, and how
// often the window is repainted meanwhile.
std::chrono::milliseconds offerToGiveUpAfter = std::chrono::seconds(3);
std::string waitingText = "正在等待数据库应答……\n选择“取消”放弃这次操作，已输入的内容仍然保留。";
constexpr auto kRepaintEvery = std::chrono::milliseconds(50);

// Holds back the window system's requests to close a window while it lives: a request that got
// through would run the window's close question and save in the middle of the statement that
// keeps the program waiting. Requests reach the toolkit's window first and then its widget, which
// is where they are held; the box that offers to give up stays free to close.
class HoldCloseRequests : public QObject {
  public:
    HoldCloseRequests() { QCoreApplication::instance()->installEventFilter(this); }
    ~HoldCloseRequests() override { QCoreApplication::instance()->removeEventFilter(this); }
    HoldCloseRequests(const HoldCloseRequests&) = delete;
    HoldCloseRequests& operator=(const HoldCloseRequests&) = delete;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Close || !watched->isWidgetType() ||
            qobject_cast<QMessageBox*>(watched) != nullptr)
            return false;
        event->ignore();
        return true;
    }
};

// Refuses, plainly, what the user types or clicks while a statement keeps the program waiting: a
// beep for each key and click, and nothing of it reaches a window later, where it would land in
// whatever has the focus by then (a box that the command shows next, which a key would answer
// unread; a page made read-only meanwhile). The box that offers to give up takes its own keys and
// clicks.
class RefuseInput : public QObject {
  public:
    RefuseInput() { QCoreApplication::instance()->installEventFilter(this); }
    ~RefuseInput() override { QCoreApplication::instance()->removeEventFilter(this); }
    RefuseInput(const RefuseInput&) = delete;
    RefuseInput& operator=(const RefuseInput&) = delete;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A command a key would start reaches its menu item, which is no widget.
        if (event->type() == QEvent::Shortcut) return true;
        // The window system hands input to a window first, which hands it to its widgets: each is
        // judged there, where it is known whether it is aimed at the box.
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || qobject_cast<QMessageBox*>(widget->window()) != nullptr) return false;
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
                QApplication::beep();
                return true;
            case QEvent::ShortcutOverride:
                // Taken by the widget, the key starts no menu command; the key itself is refused.
                event->accept();
                return true;
            case QEvent::KeyRelease:
            case QEvent::MouseButtonRelease:
            case QEvent::Wheel:
            case QEvent::ContextMenu:
            case QEvent::InputMethod:
            case QEvent::TouchBegin:
            case QEvent::TouchUpdate:
            case QEvent::TouchEnd:
                return true;
            default:
                return false;
        }
    }
};

// While a statement keeps the program waiting: the wait cursor, a window that repaints but takes
// no input (nothing the user does may start another command inside this one), and after a few
// seconds a box whose 取消 gives the statement up: the command then ends at once, having done
// nothing, the user's edits kept.
void WaitForDatabase(rt::Transaction::Wait& wait) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const HoldCloseRequests held;
    const RefuseInput refused;
    auto offerAt = std::chrono::steady_clock::duration(offerToGiveUpAfter);
    while (!wait.Over(kRepaintEvery)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (wait.Elapsed() < offerAt) continue;
        QGuiApplication::changeOverrideCursor(Qt::ArrowCursor);
        const int answer = Dialogs().Waiting({"提示信息", waitingText, Icon::Information, Buttons::Cancel, 1},
                                             [&wait] { return wait.Over(std::chrono::milliseconds(0)); });
        QGuiApplication::changeOverrideCursor(Qt::WaitCursor);
        if (answer != 0) wait.Cancel();
        offerAt = wait.Elapsed() + offerToGiveUpAfter;
    }
    QGuiApplication::restoreOverrideCursor();
}

// What the engine and the transaction have to tell the user, once the program shows DataWindows:
// the engine's own messages (a value that fails validation, a failed statement) go through the
// dialog service like every other box, and a statement kept waiting by a busy or silent database
// is shown as above.
void InstallUserFeedback() {
    static const bool installed = [] {
        rt::DataWindow::SetMessageHook([](std::string_view title, std::string_view text) {
            MessageBox(title, text,
                       title == rt::DataWindow::kDatabaseErrorTitle ? Icon::StopSign : Icon::Exclamation);
            // The user's action that met the refusal (leaving the field, then the save it started)
            // ends when the event loop takes over again; the next one may be told again.
            QTimer::singleShot(0, [] { rt::DataWindow::UserAction(); });
        });
        rt::Transaction::SetWaitHook(WaitForDatabase);
        return true;
    }();
    (void)installed;
}

}  // namespace

std::chrono::milliseconds WaitingBoxDelay() {
    return offerToGiveUpAfter;
}

void SetWaitingBoxDelay(std::chrono::milliseconds delay) {
    offerToGiveUpAfter = delay;
}

WaitingBoxFor::WaitingBoxFor(std::string text, std::chrono::milliseconds delay)
    : text_(std::exchange(waitingText, std::move(text))), delay_(std::exchange(offerToGiveUpAfter, delay)) {}

WaitingBoxFor::~WaitingBoxFor() {
    waitingText = std::move(text_);
    offerToGiveUpAfter = delay_;
}

DataWindowControl::DataWindowControl(Window& parent, std::string name, std::string_view dataObject)
    : Control(parent, std::move(name)), rt::DataWindow(dataObject), view_(std::make_unique<View>()) {
    InstallUserFeedback();
    view_->frame = new QFrame();
    view_->frame->setFocusPolicy(Qt::NoFocus);
    view_->frame->setFont(dwview::ContentFont());
    // Disabled, the control stays as readable as it was: the same colours in both states.
    QPalette pal = view_->frame->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                     QPalette::Base, QPalette::Window, QPalette::Button}) {
        pal.setColor(QPalette::Disabled, role, pal.color(QPalette::Active, role));
    }
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::Disabled, QPalette::Window, Qt::white);
    view_->frame->setPalette(pal);
    view_->frame->setAutoFillBackground(true);
    view_->layout = new QVBoxLayout(view_->frame);
    view_->layout->setContentsMargins(0, 0, 0, 0);
    view_->layout->setSpacing(0);
    SetBorder(Border::None);
    BuildView();
    Attach(view_->frame);
    observer_ = AddObserver([this](rt::Change change, long row, int column) { Notify(change, row, column); });
}

DataWindowControl::~DataWindowControl() {
    RemoveObserver(observer_);
    if (view_->content != nullptr) view_->content->Detach();
    if (view_->frame != nullptr) view_->frame->setFocusProxy(nullptr);
    // The widgets go before the engine does, so that nothing they do on the way reaches it.
    delete view_->contentWidget.data();
}

void DataWindowControl::BuildView() {
    View& v = *view_;
    if (v.content != nullptr) {
        // Possibly inside one of the old view's own events: it goes when control returns to Qt.
        v.content->Detach();
        v.frame->setFocusProxy(nullptr);
        if (v.contentWidget) {
            v.contentWidget->hide();
            v.contentWidget->deleteLater();
        }
        v.content = nullptr;
    }
    v.shown = Definition();
    if (v.shown != nullptr && v.shown->presentation != Presentation::Freeform) {
        auto* grid = new dwview::GridView(*this, v.frame);
        v.content = grid;
        v.contentWidget = grid;
    } else {
        auto* form = new dwview::FormView(*this, v.frame);
        v.content = form;
        v.contentWidget = form;
    }
    v.layout->addWidget(v.contentWidget);
    v.content->SetVScrollBar(vscroll_);
    UpdateFocusProxy();
}

void DataWindowControl::Notify(rt::Change change, long row, int column) {
    View& v = *view_;
    if (change == rt::Change::Reset && Definition() != v.shown) {
        BuildView();
        return;
    }
    if (v.content == nullptr) return;
    v.content->OnChange(change, row, column);
    UpdateFocusProxy();
}

void DataWindowControl::UpdateFocusProxy() {
    View& v = *view_;
    QWidget* target = v.content != nullptr ? v.content->FocusTarget() : nullptr;
    if (v.frame->focusProxy() != target) v.frame->setFocusProxy(target);
}

void DataWindowControl::SetBorder(Border border) {
    border_ = border;
    QFrame* f = view_->frame;
    switch (border) {
        case Border::None:
            f->setFrameStyle(QFrame::NoFrame);
            break;
        case Border::Box:
            f->setFrameStyle(QFrame::Box | QFrame::Plain);
            f->setLineWidth(1);
            break;
        case Border::Lowered:
            f->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
            f->setLineWidth(1);
            break;
        case Border::Raised:
        case Border::Shadow:
            f->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
            f->setLineWidth(1);
            break;
    }
}

void DataWindowControl::SetVScrollBar(bool on) {
    vscroll_ = on;
    if (view_->content != nullptr) view_->content->SetVScrollBar(on);
}

void DataWindowControl::OnEnabledChanged() {
    if (view_->content == nullptr) return;
    view_->content->ApplyEnabled();
    UpdateFocusProxy();
}

}  // namespace rt::ui

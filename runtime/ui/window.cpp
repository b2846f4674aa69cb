#include "runtime/ui/window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <type_traits>

#include "runtime/datawindow/dwdef.h"
#include "runtime/ui/accessible.h"
#include "runtime/ui/controls.h"
#include "runtime/ui/menu.h"

namespace rt::ui {

namespace {

// Routes the window system's close request (close box, system menu, Alt+F4) through closequery.
template <class Base>
class Closable : public Base {
  public:
    explicit Closable(Window* owner) : owner_(owner) {}
    bool programmatic = false;

  protected:
    void closeEvent(QCloseEvent* e) override {
        if (programmatic || !owner_->IsOpen()) {
            e->accept();
            return;
        }
        // Inside this event the window's own close does nothing: when closequery allows, the
        // event closes it.
        e->setAccepted(owner_->DoClose() == 1);
    }

    // Escape in a dialog or a tool window (a picker) asks to close like the close box does, so
    // closequery and destroy run.
    void keyPressEvent(QKeyEvent* e) override {
        if (std::is_base_of_v<QDialog, Base> || owner_->Type() == WindowType::Main) {
            if (e->key() == Qt::Key_Escape) {
                if (!programmatic && owner_->IsOpen()) owner_->DoClose();
                e->accept();
                return;
            }
        }
        Base::keyPressEvent(e);
    }

  private:
    Window* owner_;
};

// Reports the resizing of a frame's visible client area.
class ResizeWatch : public QObject {
  public:
    ResizeWatch(QWidget* watched, std::function<void()> resized)
        : QObject(watched), resized_(std::move(resized)) {
        watched->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Resize) resized_();
        return false;
    }

  private:
    std::function<void()> resized_;
};

}  // namespace

struct Window::Impl {
    std::unique_ptr<QWidget> top;
    QMainWindow* frame = nullptr;
    QDialog* dialog = nullptr;
    QWidget* canvas = nullptr;
    QLabel* microHelp = nullptr;
    QLabel* statusField = nullptr;
    std::string title;
    int width = 0, height = 0;
    bool resizable = true;
    bool placed = false;
    int x = 0, y = 0;
    WindowState state = WindowState::Normal;
    std::string microHelpText;
};

Window::Window(std::string name, WindowType type)
    : name_(std::move(name)), type_(type), d_(std::make_unique<Impl>()) {
    switch (type) {
        case WindowType::Frame: {
            auto frame = std::make_unique<Closable<QMainWindow>>(this);
            d_->frame = frame.get();
            // The controls keep their designed places: on a screen smaller than the design the
            // client area scrolls, so that nothing of the layout is out of reach.
            auto* area = new QScrollArea(frame.get());
            area->setFrameShape(QFrame::NoFrame);
            area->setWidgetResizable(false);
            // The area itself is no stop for Tab: a screen reader would find a nameless control.
            area->setFocusPolicy(Qt::NoFocus);
            d_->canvas = new QWidget;
            area->setWidget(d_->canvas);
            frame->setCentralWidget(area);
            new ResizeWatch(area->viewport(), [this] { FitCanvas(); });
            d_->microHelp = new QLabel(frame.get());
            frame->statusBar()->addWidget(d_->microHelp, 1);
            d_->statusField = new QLabel(frame.get());
            frame->statusBar()->addPermanentWidget(d_->statusField);
            d_->top = std::move(frame);
            break;
        }
        case WindowType::Popup: {
            auto w = std::make_unique<Closable<QWidget>>(this);
            w->setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
            d_->canvas = w.get();
            d_->top = std::move(w);
            break;
        }
        case WindowType::Main: {
            auto w = std::make_unique<Closable<QWidget>>(this);
            d_->canvas = w.get();
            d_->top = std::move(w);
            break;
        }
        case WindowType::Response: {
            auto w = std::make_unique<Closable<QDialog>>(this);
            w->setModal(true);
            w->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
            d_->dialog = w.get();
            d_->canvas = w.get();
            d_->top = std::move(w);
            break;
        }
    }
    d_->canvas->setAutoFillBackground(true);
    d_->top->setObjectName(QString::fromStdString(name_));
    ShowFocusAlways();
}

Window::~Window() {
    // Controls hold widgets that live on the canvas: they go before the window's own widgets.
    menu_.reset();
    controls_.clear();
}

std::vector<Control*> Window::ControlList() const {
    std::vector<Control*> out;
    out.reserve(controls_.size());
    for (const auto& c : controls_) out.push_back(c.get());
    return out;
}

Control* Window::FindControl(std::string_view name) const {
    for (const auto& c : controls_)
        if (rt::SameName(c->Name(), name)) return c.get();
    return nullptr;
}

void Window::DestroyControls() {
    // In creation order, as the window made them.
    for (auto& c : controls_) c.reset();
    controls_.clear();
}

void Window::SetTitle(std::string_view title) {
    d_->title = std::string(title);
    d_->top->setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
}

std::string Window::Title() const {
    return d_->title;
}

void Window::SetSize(int widthUnits, int heightUnits) {
    d_->width = widthUnits;
    d_->height = heightUnits;
    const QSize pixels(UnitsToPixelsX(widthUnits), UnitsToPixelsY(heightUnits));
    if (d_->resizable)
        d_->top->resize(pixels);
    else
        d_->top->setFixedSize(pixels);
}

void Window::SetPosition(int xUnits, int yUnits) {
    d_->placed = true;
    d_->x = xUnits;
    d_->y = yUnits;
    if (d_->top->isVisible()) d_->top->move(UnitsToPixelsX(xUnits), UnitsToPixelsY(yUnits));
}

void Window::SetTitleButtons(bool minimize, bool maximize) {
    Qt::WindowFlags f = d_->top->windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    f.setFlag(Qt::WindowMinimizeButtonHint, minimize);
    f.setFlag(Qt::WindowMaximizeButtonHint, maximize);
    d_->top->setWindowFlags(f);
}

void Window::SetResizable(bool on) {
    d_->resizable = on;
    if (on) {
        d_->top->setMinimumSize(0, 0);
        d_->top->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        d_->top->setFixedSize(d_->top->size());
    }
}

void Window::SetBackground(Rgb c) {
    QPalette p = d_->canvas->palette();
    p.setColor(QPalette::Window, QColor(c.r, c.g, c.b));
    d_->canvas->setPalette(p);
}

void Window::SetWindowState(WindowState s) {
    d_->state = s;
    if (!d_->top->isVisible()) return;
    switch (s) {
        case WindowState::Maximized:
            d_->top->showMaximized();
            break;
        case WindowState::Minimized:
            d_->top->showMinimized();
            break;
        case WindowState::Normal:
            d_->top->showNormal();
            break;
    }
}

bool Window::Visible() const {
    return d_->top->isVisible();
}

void Window::BringToFront() {
    if (!open_) return;
    d_->top->raise();
    d_->top->activateWindow();
}

void Window::SetMicroHelp(std::string_view text) {
    d_->microHelpText = std::string(text);
    if (d_->microHelp)
        d_->microHelp->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::string Window::MicroHelp() const {
    return d_->microHelpText;
}

void Window::ShowMenuHelp(std::string_view text) {
    if (d_->microHelp)
        d_->microHelp->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void Window::EndMenuHelp() {
    if (d_->microHelp) d_->microHelp->setText(QString::fromStdString(d_->microHelpText));
}

std::string Window::StatusLine() const {
    return d_->microHelp ? d_->microHelp->text().toStdString() : std::string();
}

void Window::SetStatusField(std::string_view text) {
    if (d_->statusField)
        d_->statusField->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::string Window::StatusField() const {
    return d_->statusField ? d_->statusField->text().toStdString() : std::string();
}

void Window::SetMenu(std::unique_ptr<Menu> menu) {
    menu_ = std::move(menu);
    if (menu_) menu_->AttachTo(*this);
}

void Window::DestroyMenu() {
    if (d_->frame) {
        d_->frame->setMenuBar(nullptr);
        for (QToolBar* tb : d_->frame->findChildren<QToolBar*>()) delete tb;
    }
    menu_.reset();
}

void Window::FitCanvas() {
    auto* area = d_->frame != nullptr ? qobject_cast<QScrollArea*>(d_->frame->centralWidget()) : nullptr;
    if (area == nullptr) return;
    QSize needed = area->viewport()->size();
    for (const auto& c : controls_) {
        // The backdrop covers whatever the area is; it sets no size of its own.
        if (c == nullptr || dynamic_cast<MdiClient*>(c.get()) != nullptr || c->Widget() == nullptr) continue;
        const QRect r = c->Widget()->geometry();
        needed = needed.expandedTo(QSize(r.right() + 1, r.bottom() + 1));
    }
    if (d_->canvas->size() != needed) d_->canvas->resize(needed);
}

void Window::ApplyTabOrder() {
    std::vector<Control*> ordered;
    for (const auto& c : controls_)
        if (c != nullptr && c->TabOrder() > 0 && c->Widget() != nullptr) ordered.push_back(c.get());
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Control* a, const Control* b) { return a->TabOrder() < b->TabOrder(); });
    // The toolkit chains widgets that take the focus; a control's own widgets stay together, in
    // their order.
    QWidget* last = nullptr;
    for (Control* c : ordered) {
        QList<QWidget*> own{c->Widget()};
        own += c->Widget()->findChildren<QWidget*>();
        QList<QWidget*> chain;
        QWidget* w = c->Widget();
        do {
            if (own.contains(w)) chain.push_back(w);
            w = w->nextInFocusChain();
        } while (w != nullptr && w != c->Widget());
        for (QWidget* next : chain) {
            if (next->focusPolicy() == Qt::NoFocus) continue;
            if (last != nullptr) QWidget::setTabOrder(last, next);
            last = next;
        }
    }
}

QWidget* Window::Canvas() const {
    return d_->canvas;
}
QWidget* Window::TopWidget() const {
    return d_->top.get();
}
QMainWindow* Window::Frame() const {
    return d_->frame;
}

int Window::DoOpen() {
    if (open_) return -1;
    create();
    ApplyTabOrder();
    open_ = true;
    QWidget* top = d_->top.get();
    FitCanvas();
    if (d_->state == WindowState::Maximized) {
        top->showMaximized();
    } else {
        // Centred on the screen, unless the window has a place of its own.
        if (d_->placed) {
            top->move(UnitsToPixelsX(d_->x), UnitsToPixelsY(d_->y));
        } else if (QScreen* s = QGuiApplication::primaryScreen()) {
            QRect r = s->availableGeometry();
            top->move(r.center() - QPoint(top->width() / 2, top->height() / 2));
        }
        if (!d_->dialog) top->show();
    }
    // A pop-up (the splash) is shown while the program works on: paint it now, not after.
    if (type_ == WindowType::Popup) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    open();
    return 1;
}

int Window::DoClose() {
    if (!open_) return -1;
    if (closequery() != 0) return 0;
    open_ = false;
    destroy();
    if (auto* c = dynamic_cast<Closable<QMainWindow>*>(d_->top.get())) c->programmatic = true;
    if (auto* c = dynamic_cast<Closable<QWidget>*>(d_->top.get())) c->programmatic = true;
    if (auto* c = dynamic_cast<Closable<QDialog>*>(d_->top.get())) c->programmatic = true;
    if (d_->dialog) d_->dialog->done(0);
    d_->top->close();
    return 1;
}

int Open(Window& w) {
    return w.DoOpen();
}
int Close(Window& w) {
    return w.DoClose();
}

int OpenModal(Window& w, Window* parent) {
    auto* dialog = qobject_cast<QDialog*>(w.TopWidget());
    if (parent && dialog) dialog->setParent(parent->TopWidget(), dialog->windowFlags());
    if (w.DoOpen() != 1) return -1;
    if (dialog && w.IsOpen()) dialog->exec();
    return 1;
}

void Sleep(int seconds) {
    QElapsedTimer t;
    t.start();
    const qint64 until = static_cast<qint64>(seconds) * 1000;
    while (t.elapsed() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
}

}  // namespace rt::ui

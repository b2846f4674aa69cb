#include "runtime/ui/control.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

#include "runtime/ui/window.h"

namespace rt::ui {

namespace {
// Layout units were designed at 96 dpi; larger screens scale them.
double DpiScale() {
    QScreen* s = QGuiApplication::primaryScreen();
    double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? dpi / 96.0 : 1.0;
}
}  // namespace

int UnitsToPixelsX(int units) {
    return static_cast<int>(std::lround(units * 7.0 / 32.0 * DpiScale()));
}
int UnitsToPixelsY(int units) {
    return static_cast<int>(std::lround(units / 4.0 * DpiScale()));
}
int PixelsToUnitsX(int pixels) {
    return static_cast<int>(std::lround(pixels * 32.0 / 7.0 / DpiScale()));
}
int PixelsToUnitsY(int pixels) {
    return static_cast<int>(std::lround(pixels * 4.0 / DpiScale()));
}

Control::Control(Window& parent, std::string name) : parent_(&parent), name_(std::move(name)) {}

Control::~Control() {
    // The widget belongs to the window's canvas; deleting it here keeps destroy order explicit.
    delete widget_;
}

void Control::Attach(QWidget* widget) {
    widget_ = widget;
    widget_->setParent(parent_->Canvas());
    widget_->setObjectName(QString::fromStdString(name_));
    ApplyGeometry();
    widget_->setVisible(visible_);
    widget_->setEnabled(enabled_);
}

void Control::ApplyGeometry() {
    if (!widget_) return;
    widget_->setGeometry(UnitsToPixelsX(x_), UnitsToPixelsY(y_), UnitsToPixelsX(width_),
                         UnitsToPixelsY(height_));
    OnGeometryChanged();
}

void Control::SetX(int x) {
    Move(x, y_);
}
void Control::SetY(int y) {
    Move(x_, y);
}
void Control::SetWidth(int w) {
    Resize(w, height_);
}
void Control::SetHeight(int h) {
    Resize(width_, h);
}

void Control::Move(int x, int y) {
    x_ = x;
    y_ = y;
    ApplyGeometry();
}

void Control::Resize(int w, int h) {
    width_ = w;
    height_ = h;
    ApplyGeometry();
}

void Control::Place(int x, int y, int w, int h) {
    x_ = x;
    y_ = y;
    width_ = w;
    height_ = h;
    ApplyGeometry();
}

void Control::Show() {
    visible_ = true;
    if (widget_) {
        widget_->setVisible(true);
        widget_->raise();  // what is shown last lies on top
    }
}

void Control::Repaint() {
    if (widget_ && widget_->isVisible()) widget_->repaint();
}

void Control::Hide() {
    visible_ = false;
    if (widget_) widget_->setVisible(false);
}

void Control::SetEnabled(bool on) {
    enabled_ = on;
    if (widget_) widget_->setEnabled(on);
    OnEnabledChanged();
}

int Control::SetFocus() {
    if (!widget_ || !enabled_) return -1;
    widget_->setFocus(Qt::OtherFocusReason);
    return 1;
}

void Control::BringToTop() {
    if (widget_) widget_->raise();
}

}  // namespace rt::ui

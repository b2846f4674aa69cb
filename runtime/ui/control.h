#pragma once
// Controls on a window, placed in layout units. Layout units map to pixels as at 96 dpi
// (x px = x * 7 / 32, y px = y / 4), scaled by the screen's dpi. The public interface carries no
// Qt types, so the application never depends on the toolkit.

#include <memory>
#include <string>
#include <string_view>

class QWidget;

namespace rt::ui {

// Layout units <-> pixels for the primary screen.
int UnitsToPixelsX(int units);
int UnitsToPixelsY(int units);
int PixelsToUnitsX(int pixels);
int PixelsToUnitsY(int pixels);

struct Rgb {
    int r = 0, g = 0, b = 0;
    auto operator<=>(const Rgb&) const = default;
};

enum class Border { None, Box, Lowered, Raised, Shadow };

struct Font {
    std::string face;  // "宋体", "Arial"; mapped to an installed family when missing
    int points = 9;
    bool bold = false;
    bool underline = false;
};

class Window;

class Control {
  public:
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const { return name_; }

    int X() const { return x_; }
    int Y() const { return y_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetX(int x);
    void SetY(int y);
    void SetWidth(int w);
    void SetHeight(int h);
    void Move(int x, int y);
    void Resize(int w, int h);
    // Move and Resize in one.
    void Place(int x, int y, int w, int h);

    void Show();
    void Hide();
    // Paints the control now, for a notice shown just before a long piece of work.
    void Repaint();
    bool Visible() const { return visible_; }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);

    int SetFocus();

    // Raises the control above its siblings (a control shown later is drawn on top).
    void BringToTop();

    // The control's place in the order in which Tab visits the window's controls, smallest first
    // (applied when the window opens); 0 leaves it where it was made.
    void SetTabOrder(int order) { tabOrder_ = order; }
    int TabOrder() const { return tabOrder_; }

    // The widget, for the runtime's own use (views, tests that click through real widgets).
    QWidget* Widget() const { return widget_; }

  protected:
    Control(Window& parent, std::string name);
    // Takes ownership through Qt's parent chain: the widget is a child of the window's canvas.
    void Attach(QWidget* widget);
    virtual void OnEnabledChanged() {}
    virtual void OnGeometryChanged() {}

  private:
    void ApplyGeometry();

    Window* parent_;
    std::string name_;
    QWidget* widget_ = nullptr;
    int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    int tabOrder_ = 0;
};

}  // namespace rt::ui

#pragma once
// Windows: a frame (menu bar, toolbar, micro-help line) or a plain pop-up, holding controls placed
// in layout units. The lifecycle follows create -> open ... closequery -> destroy: Open() runs
// create, shows the window and runs open; Close() (or the close box) asks closequery and, when it
// returns 0, runs destroy and hides the window.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/ui/control.h"

class QWidget;
class QMainWindow;

namespace rt::ui {

class Menu;

enum class WindowType {
    Frame,     // a main frame with menu bar, toolbar and a micro-help line at its foot
    Popup,     // a borderless pop-up (splash)
    Main,      // an ordinary top-level window
    Response,  // a modal dialog window
};

enum class WindowState { Normal, Maximized, Minimized };

class Window {
  public:
    Window(std::string name, WindowType type);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    const std::string& Name() const { return name_; }
    WindowType Type() const { return type_; }

    // ---- controls -------------------------------------------------------------------------------
    // Makes a control on this window and appends it to the control list (creation order).
    template <class C, class... Args>
    C& Add(std::string name, Args&&... args) {
        auto c = std::unique_ptr<C>(new C(*this, std::move(name), std::forward<Args>(args)...));
        C& ref = *c;
        controls_.push_back(std::move(c));
        return ref;
    }
    std::vector<Control*> ControlList() const;
    Control* FindControl(std::string_view name) const;
    // Destroys every control, in creation order.
    void DestroyControls();

    // ---- properties -----------------------------------------------------------------------------
    void SetTitle(std::string_view title);
    std::string Title() const;
    void SetSize(int widthUnits, int heightUnits);
    // A window that cannot be resized keeps the size that SetSize gives it.
    // Places the window at a screen position in layout units instead of centring it.
    void SetPosition(int xUnits, int yUnits);
    // Which of the minimize and maximize boxes the title bar shows (the close box always stays).
    void SetTitleButtons(bool minimize, bool maximize);
    void SetResizable(bool on);
    void SetBackground(Rgb color);
    void SetWindowState(WindowState s);
    bool Visible() const;
    // Raises an open window above the others and gives it the keyboard focus.
    void BringToFront();

    // The frame's micro-help line (Frame windows); the text stays until the next call.
    void SetMicroHelp(std::string_view text);
    std::string MicroHelp() const;
    // While a menu item is highlighted the line shows the item's text instead; when the highlight
    // ends, the line shows the micro-help again.
    void ShowMenuHelp(std::string_view text);
    void EndMenuHelp();
    // What the line shows now.
    std::string StatusLine() const;
    // A field of its own at the right end of the line (Frame windows), beside the micro-help and
    // apart from it: the text stays until the next call.
    void SetStatusField(std::string_view text);
    std::string StatusField() const;

    // The frame's menu (menu bar and toolbar); the window owns it. nullptr when none.
    void SetMenu(std::unique_ptr<Menu> menu);
    Menu* GetMenu() const { return menu_.get(); }
    void DestroyMenu();

    // ---- events (override) ----------------------------------------------------------------------
    virtual void create() {}
    virtual void open() {}
    // 0 lets the window close, 1 keeps it open.
    virtual long closequery() { return 0; }
    virtual void destroy() {}

    // ---- runtime side ---------------------------------------------------------------------------
    QWidget* Canvas() const;     // the surface the controls stand on
    QWidget* TopWidget() const;  // the top-level widget
    QMainWindow* Frame() const;  // nullptr unless a Frame window

    // Runs the lifecycle; used by Open/Close and by the close box.
    int DoOpen();
    int DoClose();
    bool IsOpen() const { return open_; }

  private:
    // A frame's surface is as large as its visible area, and never smaller than its controls need.
    void FitCanvas();
    // Tab visits the controls that have a tab order in that order.
    void ApplyTabOrder();
    struct Impl;
    std::string name_;
    WindowType type_;
    std::unique_ptr<Impl> d_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::unique_ptr<Menu> menu_;
    bool open_ = false;
};

// Open(window): create, show, open event. Returns 1, or -1 when it is open already.
int Open(Window& w);
// Close(window): closequery, then destroy when it allows. 1 closed, 0 kept open, -1 not open.
int Close(Window& w);
// Runs a modal window until it closes.
int OpenModal(Window& w, Window* parent = nullptr);
// Waits the given seconds while the user interface stays painted.
void Sleep(int seconds);

}  // namespace rt::ui

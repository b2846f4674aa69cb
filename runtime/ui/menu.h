#pragma once
// A frame's menu: a bar of menus whose items carry a text ("&" marks the accelerator, "\t" starts
// the shortcut label), a micro-help text shown while the item is highlighted, an optional toolbar
// button (picture, tip, spacing), a shortcut and a clicked handler. The menu bar, the toolbar and a
// shortcut all run the same handler.

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;

namespace rt::ui {

class Window;
class Menu;

class MenuItem {
  public:
    MenuItem(Menu& menu, MenuItem* parent, std::string name, std::string text);
    ~MenuItem();
    MenuItem(const MenuItem&) = delete;
    MenuItem& operator=(const MenuItem&) = delete;

    const std::string& Name() const { return name_; }
    MenuItem* ParentItem() const { return parent_; }

    // A sub-item; a separator is an item with the text "-".
    MenuItem& Add(std::string name, std::string text);
    const std::vector<std::unique_ptr<MenuItem>>& Items() const { return items_; }

    std::string Text() const { return text_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    std::string MicroHelp() const { return microHelp_; }
    void SetMicroHelp(std::string text) { microHelp_ = std::move(text); }
    std::string Shortcut() const { return shortcut_; }
    void SetShortcut(std::string keys);  // "Ctrl+M"

    // Toolbar button: a picture (a theme icon name or a bundled resource), the tip, and the space
    // in front of it (0 none; n: n separators' worth).
    void SetToolbar(std::string picture, std::string tip, int space = 0);
    bool HasToolbarButton() const { return !toolbarPicture_.empty(); }
    std::string ToolbarPicture() const { return toolbarPicture_; }
    std::string ToolbarTip() const { return toolbarTip_; }
    int ToolbarSpace() const { return toolbarSpace_; }

    std::function<void()> clicked;
    // Fires the item's clicked handler as a user's click does (when enabled).
    void Click();

    QAction* Action() const { return action_; }

  private:
    friend class Menu;
    Menu* menu_;
    MenuItem* parent_;
    std::string name_, text_, microHelp_, shortcut_, toolbarPicture_, toolbarTip_;
    int toolbarSpace_ = 0;
    bool enabled_ = true;
    std::vector<std::unique_ptr<MenuItem>> items_;
    QAction* action_ = nullptr;
    std::unique_ptr<QMenu> submenu_;
};

class Menu {
  public:
    explicit Menu(std::string name);
    virtual ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    const std::string& Name() const { return name_; }
    // A menu of the bar.
    MenuItem& Add(std::string name, std::string text);
    const std::vector<std::unique_ptr<MenuItem>>& Items() const { return items_; }

    // The window the menu belongs to (its parent window), nullptr before it is attached.
    Window* ParentWindow() const { return window_; }

    // Builds the frame's menu bar and toolbar from the items; called by Window::SetMenu.
    void AttachTo(Window& w);
    // Toolbar buttons in order, as built.
    std::vector<MenuItem*> ToolbarItems() const;

  private:
    void Build(MenuItem& item, QMenu* into);
    // Shows the micro-help of the drop-down's items while they are highlighted.
    void WatchHighlight(QMenu* dropDown, MenuItem& owner);
    std::string name_;
    std::vector<std::unique_ptr<MenuItem>> items_;
    Window* window_ = nullptr;
};

}  // namespace rt::ui

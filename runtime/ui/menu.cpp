#include "runtime/ui/menu.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStyle>
#include <QToolBar>
#include <utility>

#include "runtime/ui/accessible.h"
#include "runtime/ui/window.h"

namespace rt::ui {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The menu text as the menu bar shows it: the "\t" label is Qt's shortcut column. An item with a
// shortcut of its own leaves the column to it, so that a screen reader says the shortcut once.
QString MenuText(const std::string& text, const std::string& shortcut = {}) {
    return Q(shortcut.empty() ? text : text.substr(0, text.find('\t')));
}

QAction* MakeAction(const std::string& text, const std::string& shortcut, QObject* parent) {
    auto* action = new QAction(MenuText(text, shortcut), parent);
    // What a toolbar button shows and is called: the command alone.
    action->setIconText(Q(CommandText(text)));
    return action;
}

// A picture name is a desktop theme icon; where the desktop has no icon theme, the toolkit's own
// standard pictures stand in, and a picture file of the program after that.
QIcon ToolbarIcon(const std::string& picture) {
    if (picture.empty()) return {};
    QIcon themed = QIcon::fromTheme(Q(picture));
    if (!themed.isNull()) return themed;
    static const std::pair<const char*, QStyle::StandardPixmap> fallbacks[] = {
        {"document-new", QStyle::SP_FileIcon},
        {"edit-delete", QStyle::SP_TrashIcon},
        {"document-properties", QStyle::SP_FileDialogDetailedView},
        {"document-print", QStyle::SP_FileDialogContentsView},
        {"document-send", QStyle::SP_DriveFDIcon},
        {"document-open", QStyle::SP_DirOpenIcon},
        {"go-previous", QStyle::SP_ArrowBack},
        {"go-next", QStyle::SP_ArrowForward},
        {"document-edit", QStyle::SP_FileDialogListView},
        {"document-save", QStyle::SP_DialogSaveButton},
        {"help-about", QStyle::SP_MessageBoxInformation},
        {"help-contents", QStyle::SP_DialogHelpButton},
        {"application-exit", QStyle::SP_DialogCloseButton},
    };
    for (const auto& [name, pixmap] : fallbacks)
        if (picture == name) return QApplication::style()->standardIcon(pixmap);
    QIcon file(Q(picture));
    if (!file.availableSizes().isEmpty()) return file;
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

const QString kWatchName = QStringLiteral("rt_drop_down_watch");

// Reports the item under the pointer as it moves over a drop-down (disabled items included, which
// the toolkit itself never highlights), and the drop-down's closing.
class DropDownWatch : public QObject {
  public:
    DropDownWatch(QMenu* menu, std::function<void(QAction*)> highlighted, std::function<void()> closed)
        : QObject(menu), menu_(menu), highlighted_(std::move(highlighted)), closed_(std::move(closed)) {
        setObjectName(kWatchName);
        menu->installEventFilter(this);
        // The keyboard moves the highlight without the pointer. The drop-down also passes on the
        // hover of its actions' toolbar buttons: those do not count while it is closed.
        QObject::connect(menu, &QMenu::hovered, this, [this](QAction* a) {
            if (menu_->isVisible()) highlighted_(a);
        });
    }

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::MouseMove) {
            if (QAction* a = menu_->actionAt(static_cast<QMouseEvent*>(e)->position().toPoint()))
                highlighted_(a);
        } else if (e->type() == QEvent::Hide) {
            closed_();
        }
        return false;
    }

  private:
    QMenu* menu_;
    std::function<void(QAction*)> highlighted_;
    std::function<void()> closed_;
};

}  // namespace

// ---- MenuItem ---------------------------------------------------------------------------------

MenuItem::MenuItem(Menu& menu, MenuItem* parent, std::string name, std::string text)
    : menu_(&menu), parent_(parent), name_(std::move(name)), text_(std::move(text)) {}

MenuItem::~MenuItem() {
    // A command may close the window and so destroy the menu from inside the drop-down's own click:
    // the drop-down goes once that event is over.
    if (submenu_) {
        // The drop-down outlives the menu for a moment: it must not report to it any more.
        std::unique_ptr<QObject> watch(submenu_->findChild<QObject*>(kWatchName, Qt::FindDirectChildrenOnly));
        submenu_.release()->deleteLater();
    }
}

MenuItem& MenuItem::Add(std::string name, std::string text) {
    items_.push_back(std::make_unique<MenuItem>(*menu_, this, std::move(name), std::move(text)));
    return *items_.back();
}

void MenuItem::SetEnabled(bool on) {
    enabled_ = on;
    if (action_) action_->setEnabled(on);
}

void MenuItem::SetShortcut(std::string keys) {
    shortcut_ = std::move(keys);
    if (action_) action_->setShortcut(QKeySequence(Q(shortcut_)));
}

void MenuItem::SetToolbar(std::string picture, std::string tip, int space) {
    toolbarPicture_ = std::move(picture);
    toolbarTip_ = std::move(tip);
    toolbarSpace_ = space;
}

void MenuItem::Click() {
    if (enabled_ && clicked) clicked();
}

// ---- Menu -------------------------------------------------------------------------------------

Menu::Menu(std::string name) : name_(std::move(name)) {}
Menu::~Menu() = default;

MenuItem& Menu::Add(std::string name, std::string text) {
    items_.push_back(std::make_unique<MenuItem>(*this, nullptr, std::move(name), std::move(text)));
    return *items_.back();
}

std::vector<MenuItem*> Menu::ToolbarItems() const {
    std::vector<MenuItem*> out;
    std::vector<MenuItem*> order;
    // Depth-first in menu order: the toolbar follows the menus.
    std::function<void(MenuItem*)> walk = [&](MenuItem* m) {
        if (m->HasToolbarButton()) out.push_back(m);
        for (const auto& c : m->Items()) walk(c.get());
    };
    for (const auto& i : items_) walk(i.get());
    return out;
}

void Menu::Build(MenuItem& item, QMenu* into) {
    // A text of dashes alone is a separator line.
    if (!item.text_.empty() && item.text_.find_first_not_of('-') == std::string::npos) {
        item.action_ = into->addSeparator();
        return;
    }
    if (!item.items_.empty()) {
        item.submenu_ = std::make_unique<QMenu>(MenuText(item.text_));
        for (auto& c : item.items_) Build(*c, item.submenu_.get());
        WatchHighlight(item.submenu_.get(), item);
        item.action_ = into ? into->addMenu(item.submenu_.get()) : item.submenu_->menuAction();
    } else {
        item.action_ = MakeAction(item.text_, item.shortcut_, into);
        if (into) into->addAction(item.action_);
        QObject::connect(item.action_, &QAction::triggered, item.action_, [&item] { item.Click(); });
    }
    item.action_->setEnabled(item.enabled_);
    if (!item.shortcut_.empty()) item.action_->setShortcut(QKeySequence(Q(item.shortcut_)));
}

void Menu::WatchHighlight(QMenu* dropDown, MenuItem& owner) {
    // Only a drop-down's highlight shows an item's micro-help: a toolbar button shows its tip and
    // leaves the status line alone.
    new DropDownWatch(
        dropDown,
        [this, &owner](QAction* a) {
            if (window_ == nullptr || a == nullptr) return;
            for (const auto& c : owner.items_)
                if (c->action_ == a) window_->ShowMenuHelp(c->microHelp_);
        },
        [this] {
            if (window_ != nullptr) window_->EndMenuHelp();
        });
}

void Menu::AttachTo(Window& w) {
    window_ = &w;
    QMainWindow* frame = w.Frame();
    if (!frame) return;
    auto* bar = new QMenuBar(frame);
    for (auto& top : items_) {
        top->submenu_ = std::make_unique<QMenu>(MenuText(top->text_));
        for (auto& c : top->items_) Build(*c, top->submenu_.get());
        WatchHighlight(top->submenu_.get(), *top);
        top->action_ = bar->addMenu(top->submenu_.get());
        top->action_->setEnabled(top->enabled_);
    }
    frame->setMenuBar(bar);

    auto buttons = ToolbarItems();
    if (buttons.empty()) return;
    auto* toolbar = new QToolBar(frame);
    toolbar->setObjectName("toolbar");
    toolbar->setMovable(false);
    for (MenuItem* m : buttons) {
        if (m->toolbarSpace_ > 0) {
            // The space in front of a button: two pixels a unit.
            auto* gap = new QWidget(toolbar);
            gap->setFixedWidth(2 * m->toolbarSpace_);
            toolbar->addWidget(gap);
        }
        if (!m->action_) continue;
        m->action_->setIcon(ToolbarIcon(m->toolbarPicture_));
        // The picture belongs to the toolbar button; the drop-down menus show texts only.
        m->action_->setIconVisibleInMenu(false);
        m->action_->setToolTip(Q(m->toolbarTip_));
        toolbar->addAction(m->action_);
    }
    frame->addToolBar(Qt::TopToolBarArea, toolbar);
}

}  // namespace rt::ui

#include "runtime/ui/treeview.h"

#include <QEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
#include <QTreeWidget>

#include "runtime/ui/accessible.h"
#include "runtime/ui/window.h"

namespace rt::ui {

namespace {
QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The highlight follows the item selected, never the user's key or click by itself: a click moves
// the current item first and highlights it afterwards, which would leave an item highlighted whose
// selection was refused, beside the page of the one still selected.
class Tree : public QTreeWidget {
  protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex&, const QEvent*) const override {
        return QItemSelectionModel::NoUpdate;
    }
};

// A label the view cuts at its edge shows whole as a tip; a label in full view needs none.
class CutLabelTips : public QObject {
  public:
    explicit CutLabelTips(QTreeWidget* tree) : QObject(tree), tree_(tree) {}

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::ToolTip) return false;
        auto* help = static_cast<QHelpEvent*>(e);
        QTreeWidgetItem* item = tree_->itemAt(help->pos());
        const QRect shown = item != nullptr ? tree_->visualItemRect(item) : QRect();
        if (item != nullptr && (shown.left() < 0 || shown.right() >= tree_->viewport()->width()))
            QToolTip::showText(help->globalPos(), item->text(0), tree_->viewport());
        else
            QToolTip::hideText();
        return true;
    }

  private:
    QTreeWidget* tree_;
};

// Enter on an item is the keyboard's double-click.
class EnterIsDoubleClick : public QObject {
  public:
    EnterIsDoubleClick(QTreeWidget* tree, std::function<void(QTreeWidgetItem*)> doubleClicked)
        : QObject(tree), tree_(tree), doubleClicked_(std::move(doubleClicked)) {}

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(e);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || tree_->currentItem() == nullptr)
            return false;
        doubleClicked_(tree_->currentItem());
        return true;
    }

  private:
    QTreeWidget* tree_;
    std::function<void(QTreeWidgetItem*)> doubleClicked_;
};
}  // namespace

TreeView::TreeView(Window& parent, std::string name) : Control(parent, std::move(name)) {
    auto* tree = new Tree;
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setAllColumnsShowFocus(true);
    tree->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The one column is as wide as its longest label, so the view scrolls sideways instead of
    // cutting labels.
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    tree->setTextElideMode(Qt::ElideNone);
    tree->viewport()->installEventFilter(new CutLabelTips(tree));
    // The user's moves arrive here synchronously, inside the key or click that caused them.
    QObject::connect(tree, &QTreeWidget::currentItemChanged, tree,
                     [this](QTreeWidgetItem* current, QTreeWidgetItem*) { OnUserSelection(current); });
    const auto fire = [this](QTreeWidgetItem* item) {
        if (doubleclicked && Enabled()) doubleclicked(HandleOf(item));
    };
    QObject::connect(tree, &QTreeWidget::itemDoubleClicked, tree,
                     [fire](QTreeWidgetItem* item, int) { fire(item); });
    tree->installEventFilter(new EnterIsDoubleClick(tree, fire));
    Attach(tree);
    title_ = parent.Title();
    SetSpokenName(tree, SpokenText(title_));
}

TreeView::~TreeView() = default;

long TreeView::HandleOf(QTreeWidgetItem* item) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i] == item) return static_cast<long>(i) + 1;
    return 0;
}

long TreeView::Insert(long parent, std::string_view label, bool first) {
    auto* tree = static_cast<QTreeWidget*>(Widget());
    if (parent < 0 || parent > static_cast<long>(items_.size())) return -1;
    auto* item = new QTreeWidgetItem(QStringList{Q(label)});
    if (parent == 0) {
        if (first)
            tree->insertTopLevelItem(0, item);
        else
            tree->addTopLevelItem(item);
    } else {
        QTreeWidgetItem* p = items_[static_cast<size_t>(parent - 1)];
        if (first)
            p->insertChild(0, item);
        else
            p->addChild(item);
    }
    items_.push_back(item);
    parents_.push_back(parent);
    // A tree is called after what it holds: the one item at its top, or else its window.
    SetSpokenName(
        tree,
        SpokenText(tree->topLevelItemCount() == 1 ? tree->topLevelItem(0)->text(0).toStdString() : title_));
    return static_cast<long>(items_.size());
}

long TreeView::InsertItemFirst(long parent, std::string_view label, int) {
    return Insert(parent, label, true);
}
long TreeView::InsertItemLast(long parent, std::string_view label, int) {
    return Insert(parent, label, false);
}

int TreeView::ExpandItem(long handle) {
    if (handle < 1 || handle > static_cast<long>(items_.size())) return -1;
    items_[static_cast<size_t>(handle - 1)]->setExpanded(true);
    return 1;
}

bool TreeView::IsExpanded(long handle) const {
    if (handle < 1 || handle > static_cast<long>(items_.size())) return false;
    return items_[static_cast<size_t>(handle - 1)]->isExpanded();
}

int TreeView::SelectItem(long handle) {
    if (handle < 1 || handle > static_cast<long>(items_.size())) return -1;
    if (handle == selected_) return 1;
    const long old = selected_;
    if (selectionchanging && selectionchanging(old, handle) == 1) return -1;
    selected_ = handle;
    ShowSelected();
    return 1;
}

void TreeView::ShowSelected() {
    // Moves the widget's selection without running the user path again.
    selecting_ = true;
    auto* tree = static_cast<QTreeWidget*>(Widget());
    QTreeWidgetItem* item = selected_ > 0 ? items_[static_cast<size_t>(selected_ - 1)] : nullptr;
    if (item != nullptr) {
        tree->setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect);
    } else {
        tree->clearSelection();
        tree->setCurrentItem(nullptr);
    }
    selecting_ = false;
}

void TreeView::OnUserSelection(QTreeWidgetItem* current) {
    if (selecting_ || !current) return;
    const long handle = HandleOf(current);
    if (handle == 0 || handle == selected_) return;
    const long old = selected_;
    // Refused, the widget goes back to the item selected, which the handler may have changed
    // itself meanwhile.
    if (!selectionchanging || selectionchanging(old, handle) != 1) selected_ = handle;
    ShowSelected();
}

std::string TreeView::GetItemLabel(long handle) const {
    if (handle < 1 || handle > static_cast<long>(items_.size())) return {};
    return items_[static_cast<size_t>(handle - 1)]->text(0).toStdString();
}

long TreeView::ParentOf(long handle) const {
    if (handle < 1 || handle > static_cast<long>(items_.size())) return -1;
    return parents_[static_cast<size_t>(handle - 1)];
}

void TreeView::SetFont(const rt::ui::Font& f) {
    QFont q(Q(f.face));
    q.setPointSize(f.points);
    q.setBold(f.bold);
    Widget()->setFont(q);
}

}  // namespace rt::ui

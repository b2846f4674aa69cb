#pragma once
// A tree view whose items are addressed by handles 1, 2, 3 ... in insertion order. Selecting an
// item (by SelectItem or by the user) fires selectionchanging(old, new) inside the call, before the
// call returns; a handler returning 1 refuses the change. Selecting the item already selected
// fires nothing. Enter on an item fires doubleclicked, as a double-click does.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ui/control.h"

class QTreeWidgetItem;

namespace rt::ui {

class TreeView : public Control {
  public:
    TreeView(Window& parent, std::string name);
    ~TreeView() override;

    // parent 0: top level. Return the new item's handle, or -1.
    long InsertItemFirst(long parent, std::string_view label, int picture);
    long InsertItemLast(long parent, std::string_view label, int picture);
    int ExpandItem(long handle);
    bool IsExpanded(long handle) const;
    // 1, or -1 for an unknown handle or a refused change.
    int SelectItem(long handle);
    long SelectedItem() const { return selected_; }  // 0 when none
    // Label of the item; empty for an unknown handle.
    std::string GetItemLabel(long handle) const;
    long ParentOf(long handle) const;  // 0 for top level, -1 unknown
    long ItemCount() const { return static_cast<long>(items_.size()); }
    void SetFont(const rt::ui::Font& f);

    std::function<long(long oldhandle, long newhandle)> selectionchanging;
    std::function<void(long handle)> doubleclicked;

  private:
    long Insert(long parent, std::string_view label, bool first);
    long HandleOf(QTreeWidgetItem* item) const;
    void OnUserSelection(QTreeWidgetItem* current);
    // The widget's current and highlighted item: the one selected.
    void ShowSelected();
    std::vector<QTreeWidgetItem*> items_;
    std::vector<long> parents_;
    std::string title_;  // the window's, when the tree was made
    long selected_ = 0;
    bool selecting_ = false;
};

}  // namespace rt::ui

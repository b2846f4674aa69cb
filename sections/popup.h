#pragma once
// The subject picker: a window of its own beside the main window that shows the subject code table
// as a tree of three levels. A double-click on a subject writes its code and name into the subject
// pair of the project page whose field is current at that moment; the picker stays open.

#include <memory>
#include <string>
#include <vector>

#include "runtime/datawindow/datawindow.h"
#include "runtime/ui/datawindow_control.h"
#include "runtime/ui/treeview.h"
#include "runtime/ui/window.h"

namespace laurel::win {

class popup : public rt::ui::Window {
  public:
    // `page`: the project page whose subject pairs the picks fill.
    explicit popup(rt::ui::DataWindowControl& page);
    ~popup() override;

    void create() override;
    void open() override;
    void destroy() override;

    void tv_xk_doubleclicked(long handle);

    // A subject of the tree: its seven-character code and its name, as the table holds them.
    struct Subject {
        std::string code;
        std::string name;
    };
    // The subject behind a tree item; nullptr for no item.
    const Subject* SubjectOf(long handle) const;

    // The data source of the tree: lives from create until the tree stands.
    std::unique_ptr<rt::DataWindow> ds_xk;
    rt::ui::TreeView* tv_xk = nullptr;

    // The code table could not be read when the picker opened (the database has said why).
    bool Unread() const { return unread_; }

  private:
    rt::ui::DataWindowControl& page_;
    bool unread_ = false;
    std::vector<Subject> subjects_;  // by tree handle - 1
};

// Opens the picker over the project page, or brings the open one to the front without building its
// tree again. A picker whose code table cannot be read closes again at once: an empty tree offers
// nothing to pick.
void OpenPopup(rt::ui::DataWindowControl& page);
// Closes the picker when it is open and releases it: the picker does not outlive the main window.
void ClosePopup();

}  // namespace laurel::win

namespace laurel {
// The open picker (nullptr when not open).
extern win::popup* popup;
}  // namespace laurel

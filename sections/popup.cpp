#include "sections/popup.h"

#include <optional>
#include <string_view>

#include "sections/globals.h"

namespace laurel {
win::popup* popup = nullptr;
}  // namespace laurel

namespace laurel::win {

namespace {

// The one picker. A closed picker stays here until the next opening or until the main window
// closes, since it cannot be released from inside its own close.
std::unique_ptr<popup> instance;

}  // namespace

popup::popup(rt::ui::DataWindowControl& page) : Window("popup", rt::ui::WindowType::Main), page_(page) {
    SetTitle("学科代码");
    SetSize(1445, 2408);
    SetResizable(false);
    SetTitleButtons(false, false);
    SetPosition(3200, 300);
}

popup::~popup() {
    if (::laurel::popup == this) ::laurel::popup = nullptr;
}

void popup::create() {
    ds_xk = std::make_unique<rt::DataWindow>("dw_xk");

    tv_xk = &Add<rt::ui::TreeView>("tv_xk");
    tv_xk->SetFont({"宋体", 12});
    tv_xk->Place(9, 16, 1403, 2284);
    tv_xk->doubleclicked = [this](long handle) { tv_xk_doubleclicked(handle); };
}

void popup::destroy() {
    ds_xk.reset();
    subjects_.clear();
    DestroyControls();
    tv_xk = nullptr;
    if (::laurel::popup == this) ::laurel::popup = nullptr;
}

void popup::open() {
    ds_xk->SetTransObject(sqlca);
    const long rows = ds_xk->Retrieve();
    unread_ = rows == -1;

    // The rows come ordered by the three parts, so every subject follows the subject of the level
    // above it: its parent is the item of that level inserted last.
    long handle1 = 0, handle2 = 0;
    subjects_.clear();
    for (long row = 1; row <= rows; ++row) {
        const std::optional<std::string> part1 = ds_xk->GetItemString(row, "xk_1");
        const std::optional<std::string> part2 = ds_xk->GetItemString(row, "xk_2");
        const std::optional<std::string> part3 = ds_xk->GetItemString(row, "xk_3");
        const std::string name = ds_xk->GetItemString(row, "xk_name").value_or("");
        if (!part1 || !part2 || !part3 || *part1 == "000") continue;
        const std::string& p1 = *part1;
        const std::string& p2 = *part2;
        const std::string& p3 = *part3;

        long parent = 0;
        int level = 0;
        std::string label, code;
        if (p2 == "00" && p3 == "00") {
            level = 1;
            label = p1 + ".0000 " + name;
            code = p1 + "0000";
        } else if (p2 != "00" && p3 == "00") {
            level = 2;
            parent = handle1;
            label = p1 + "." + p2 + "00 " + name;
            code = p1 + p2 + "00";
        } else if (p2 != "00" && p3 != "00") {
            level = 3;
            parent = handle2;
            label = p1 + "." + p2 + p3 + " " + name;
            code = p1 + p2 + p3;
        } else {
            continue;  // a third part below no second part
        }

        const long handle = tv_xk->InsertItemLast(parent, label, 0);
        if (handle < 1) continue;
        if (level == 1) handle1 = handle;
        if (level == 2) handle2 = handle;
        // Handles count up from 1 in insertion order, so the subject of item h sits at h - 1.
        subjects_.resize(static_cast<std::size_t>(handle));
        subjects_[static_cast<std::size_t>(handle - 1)] = {code, name};
    }

    // The tree holds everything now; the table is not read again while the picker is open.
    ds_xk.reset();
}

const popup::Subject* popup::SubjectOf(long handle) const {
    if (handle < 1 || handle > static_cast<long>(subjects_.size())) return nullptr;
    return &subjects_[static_cast<std::size_t>(handle - 1)];
}

void popup::tv_xk_doubleclicked(long handle) {
    const Subject* picked = SubjectOf(handle);
    if (picked == nullptr) return;  // a double-click beside the items picks nothing
    // A saved recommendation is read-only: its page takes no input, and no pick either.
    if (!page_.Enabled()) return;

    const std::string column = page_.GetColumnName();
    std::string_view code, name;
    if (column == "xk_majorcode1" || column == "xk_majorname1") {
        code = "xk_majorcode1";
        name = "xk_majorname1";
    } else if (column == "xk_majorcode2" || column == "xk_majorname2") {
        code = "xk_majorcode2";
        name = "xk_majorname2";
    } else if (column == "xk_majorcode3" || column == "xk_majorname3") {
        code = "xk_majorcode3";
        name = "xk_majorname3";
    } else {
        return;
    }
    page_.SetItem(1, code, picked->code);
    page_.SetItem(1, name, picked->name);
}

void OpenPopup(rt::ui::DataWindowControl& page) {
    if (instance && instance->IsOpen()) {
        instance->BringToFront();
        return;
    }
    instance = std::make_unique<popup>(page);
    ::laurel::popup = instance.get();
    rt::ui::Open(*instance);
    if (instance->Unread()) ClosePopup();
}

void ClosePopup() {
    if (!instance) return;
    if (instance->IsOpen()) rt::ui::Close(*instance);
    instance.reset();
}

}  // namespace laurel::win

// The list sections: inserting, deleting and storing list items, each list numbered 1 to n in the
// order it shows, so that row k of a list is always item k.
//
// A range of numbers moves in two statements inside the transaction (out of the way to negative
// numbers, then back), because a database that checks a unique key row by row would refuse the
// one-statement shift part-way. Every statement is checked; any failure rolls back the whole
// command and the list is read again from the database, so that the page never shows rows that
// are not stored.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/ui/dialogs.h"
#include "sections/globals.h"
#include "sections/section_area.h"

namespace laurel::sections {

namespace {

using rt::Value;
using rt::ui::Buttons;
using rt::ui::Icon;

// A list section's kind, with its pages on the window.
struct ListSection {
    const ListKind& def;
    DataWindowControl* list;    // the list of items
    DataWindowControl* detail;  // the one item edited beside the list, or nullptr

    // What a question about pending changes is about: the detail, or the list itself.
    DataWindowControl* Edited() const { return detail != nullptr ? detail : list; }
    // The running number of the item shown in the detail.
    int& Current() const { return def.kind == ListKind::Contributors ? current_ry : current_dw; }
};

std::optional<ListSection> ListSectionOf(const SectionArea& area, long handle) {
    const Section* section = SectionAt(handle);
    if (section == nullptr || section->list == nullptr) return std::nullopt;
    const ListKind& kind = *section->list;
    return ListSection{kind, &area.PageOf(kind.list), kind.detail ? &area.PageOf(*kind.detail) : nullptr};
}

// While it lives, a change of the list's current row runs no handler: the command moves the list
// itself, and the list's own row change must neither ask about nor re-read the detail page in the
// middle of it.
class QuietRowChange {
  public:
    explicit QuietRowChange(DataWindowControl* dw)
        : dw_(dw), saved_(std::exchange(dw->rowfocuschanged, nullptr)) {}
    ~QuietRowChange() { dw_->rowfocuschanged = std::move(saved_); }
    QuietRowChange(const QuietRowChange&) = delete;
    QuietRowChange& operator=(const QuietRowChange&) = delete;

  private:
    DataWindowControl* dw_;
    std::function<void(long)> saved_;
};

bool Run(std::string_view sql, const std::vector<Value>& args) {
    return sqlca.Execute(sql, args) == 0;
}

// Numbers from `first` upward move up by one.
bool ShiftUp(const ListSection& k, long first) {
    const std::string t(k.def.table);
    const std::string n(k.def.number);
    return Run("update " + t + " set " + n + " =-(" + n + " + 1) where " + n + " >= ? and xm_id = ?",
               {first, current_id}) &&
           Run("update " + t + " set " + n + " =-" + n + " where " + n + " < 0 and xm_id = ?", {current_id});
}

// Numbers above `removed` move down by one.
bool ShiftDown(const ListSection& k, long removed) {
    const std::string t(k.def.table);
    const std::string n(k.def.number);
    return Run("update " + t + " set " + n + " =-(" + n + " - 1) where " + n + " > ? and xm_id = ?",
               {removed, current_id}) &&
           Run("update " + t + " set " + n + " =-" + n + " where " + n + " < 0 and xm_id = ?", {current_id});
}

// The list shows exactly the items stored: a list read before rows were added or removed behind it
// would place a new number beyond the end or past the limit.
bool ListAgreesWithTable(const ListSection& k) {
    std::vector<Value> into(1);
    if (sqlca.SelectInto("select count(*) from " + std::string(k.def.table) + " where xm_id = ?",
                         {current_id}, into) != 0)
        return false;
    return into[0].AsLong() == std::optional<std::int64_t>(k.list->RowCount());
}

// Reads a page afresh. One that cannot be read (the database has said why) shows nothing: rows
// read before a renumbering would write over the wrong items.
bool ReadAfresh(DataWindowControl& dw, const std::vector<Value>& args) {
    if (dw.Retrieve(args) != -1) return true;
    dw.Reset();
    return false;
}

// After a failed command: the list as stored, on the row that was current, the detail untouched
// (it still shows that row's item, with whatever the user has not stored yet).
void ShowStoredListQuietly(const ListSection& k, long row) {
    QuietRowChange quiet(k.list);
    if (ReadAfresh(*k.list, {current_id}) && row > 0) k.list->ScrollToRow(row);
}

// Once a command has stored its change: the list read afresh on `row`, and the detail on that item.
// False when the list cannot be read; the detail then shows nothing.
bool ShowStored(const ListSection& k, long row) {
    if (k.detail != nullptr) k.Current() = static_cast<int>(row);
    if (!ReadAfresh(*k.list, {current_id})) {
        if (k.detail != nullptr) k.detail->Reset();
        return false;
    }
    // On the contributor and unit lists this runs the list's row change, which shows that item.
    k.list->ScrollToRow(row);
    if (k.detail != nullptr) {
        k.Current() = static_cast<int>(k.list->GetRow());
        ReadAfresh(*k.detail, {current_id, k.Current()});
    }
    return true;
}

// What the delete button of a list that keeps its last item says when it finds the list unread.
std::string UnreadList(const ListKind& kind) {
    return kind.kind == ListKind::Contributors ? "读取完成人列表失败！" : "读取完成单位列表失败！";
}

void PutCursor(const ListSection& k) {
    if (k.detail != nullptr) {
        k.detail->SetColumn(k.def.detailNameColumn);
        k.detail->SetFocus();
    } else {
        k.list->SetColumn(2);
        k.list->SetFocus();
    }
}

}  // namespace

void SectionArea::cb_page_insert_clicked() {
    const std::optional<ListSection> found = ListSectionOf(*this, current_page);
    if (!found) return;
    const ListSection& k = *found;
    DataWindowControl* list = k.list;
    DataWindowControl* edited = k.Edited();

    if (list->RowCount() >= k.def.limit) {
        rt::ui::MessageBox("提示信息", k.def.limitMessage);
        return;
    }

    const long former_row = list->GetRow();
    long add_row = former_row + 1;

    // A value the page refuses stays in its field for the user to correct; nothing is inserted
    // that would read the page again and lose it.
    if (edited->AcceptText() != 1) return;

    // A removal still pending in the list counts as a change: the new numbers must be given out
    // over what is stored, and that removal would otherwise no longer find its row.
    if (edited->ModifiedCount() + edited->DeletedCount() > 0) {
        const int answer = rt::ui::MessageBox("提示信息", k.def.question, Icon::Question, Buttons::YesNo, 1);
        if (answer == 1) {
            if (edited->Update(false, false) == 1 && sqlca.Commit() == 0) {
                edited->ResetUpdate();
                if (k.detail != nullptr) {
                    QuietRowChange quiet(list);
                    if (!ReadAfresh(*list, {current_id})) return;
                    if (former_row > 0) list->ScrollToRow(former_row);
                }
            } else {
                // The changes stay pending in the page; numbers given out now would no longer
                // match the rows they were read with.
                sqlca.Rollback();
                if (!k.def.saveFailure.empty())
                    rt::ui::MessageBox("提示信息：", k.def.saveFailure, rt::ui::Icon::StopSign);
                return;
            }
        } else if (k.detail != nullptr) {
            // The changes are given up; a page that cannot be read gives no numbers to insert by.
            if (k.detail->Retrieve({current_id, k.Current()}) == -1) return;
        } else {
            if (list->Retrieve({current_id}) == -1) return;
            if (former_row > 0) list->ScrollToRow(former_row);
        }
    }

    // A statement that fails has its reason shown with the failure; a page that fails has said
    // why itself.
    std::string reason;
    const auto failed = [&reason] {
        reason = DatabaseReason();
        return false;
    };
    const bool inserted = [&] {
        if (!ListAgreesWithTable(k)) return failed();
        if (!ShiftUp(k, add_row)) return failed();
        add_row = list->InsertRow(add_row);
        if (add_row < 1) return false;
        if (k.def.kind == ListKind::Awards) list->ScrollToRow(add_row);
        if (list->SetItem(add_row, "xm_id", current_id) != 1) return false;
        if (list->SetItem(add_row, k.def.numberItem, add_row) != 1) return false;
        if (list->Update(true, false) != 1) return false;
        if (!k.def.placeholder.empty()) {
            if (!Run(k.def.placeholder, {current_id, add_row}) || sqlca.SQLNRows != 1) return failed();
        }
        return sqlca.Commit() == 0 || failed();
    }();

    if (!inserted) {
        sqlca.Rollback();
        SayFailure(reason, "提示信息：", std::string(k.def.insertFailure));
        ShowStoredListQuietly(k, former_row);
        PutCursor(k);
        return;
    }

    list->ResetUpdate();
    if (ShowStored(k, add_row)) PutCursor(k);
}

void SectionArea::cb_page_delete_clicked() {
    const std::optional<ListSection> found = ListSectionOf(*this, current_page);
    if (!found) return;
    const ListSection& k = *found;
    DataWindowControl* list = k.list;

    if (k.def.refusal.empty()) {
        if (list->RowCount() <= 0) return;
        const int answer =
            rt::ui::MessageBox("提示信息：", "真的要删除吗？", Icon::Question, Buttons::OKCancel, 2);
        if (answer != 1) return;
    } else {
        long rows = list->RowCount();
        if (rows == 0 && !HoldsChanges(*list)) {
            // An empty list may be one that could not be read, not one without items: reading it
            // again tells. Items that show up now are only shown, with the detail of the one it
            // showed before, for the user to choose from.
            {
                QuietRowChange quiet(list);
                rows = list->Retrieve({current_id});
                if (rows > 0) list->ScrollToRow(k.Current());
            }
            if (rows == -1) {
                list->Reset();
                rt::ui::MessageBox("提示信息：", UnreadList(k.def), Icon::StopSign);
                return;
            }
            if (rows > 1) {
                k.Current() = static_cast<int>(list->GetRow());
                if (k.detail != nullptr && !HoldsChanges(*k.detail))
                    ReadAfresh(*k.detail, {current_id, k.Current()});
                PutCursor(k);
                return;
            }
        }
        if (rows <= 1) {
            rt::ui::MessageBox("提示信息：", k.def.refusal);
            return;
        }
    }

    const long removed_row = list->GetRow();
    if (removed_row < 1) return;
    const std::optional<double> removed_number =
        list->GetItemNumber(removed_row, k.def.numberItem, rt::Buffer::Primary, true);
    if (!removed_number) return;

    // The detail's changes go with its item when that is the one removed; changes of another item
    // are stored with the removal, before the numbers move under them.
    bool store_detail = false;
    if (k.detail != nullptr && k.detail->RowCount() > 0) {
        const std::optional<double> shown =
            k.detail->GetItemNumber(1, k.def.numberItem, rt::Buffer::Primary, true);
        if (shown != removed_number) {
            if (k.detail->AcceptText() != 1) return;
            store_detail = k.detail->ModifiedCount() > 0;
        }
    }

    long del_row = 0;
    {
        QuietRowChange quiet(list);
        list->DeleteRow(0);
        del_row = list->GetRow();
    }
    // The list is empty now: the removal waits in the list until the page is stored.
    if (del_row <= 0) return;

    std::string reason;  // the database's, when a statement failed; a page says its own
    const bool deleted = [&] {
        if (store_detail && k.detail->Update(false, false) != 1) return false;
        if (list->Update(true, false) != 1) return false;
        if (ShiftDown(k, static_cast<long>(*removed_number)) && sqlca.Commit() == 0) return true;
        reason = DatabaseReason();
        return false;
    }();

    if (!deleted) {
        sqlca.Rollback();
        SayFailure(reason, "提示信息：", std::string(k.def.deleteFailure));
        ShowStoredListQuietly(k, removed_row);
        if (k.detail != nullptr) PutCursor(k);
        return;
    }

    list->ResetUpdate();
    if (k.detail != nullptr) k.detail->ResetUpdate();
    if (ShowStored(k, del_row) && k.detail != nullptr) PutCursor(k);
}

void SectionArea::cb_page_save_clicked() {
    const std::optional<ListSection> found = ListSectionOf(*this, current_page);
    if (!found) return;
    const ListSection& k = *found;
    DataWindowControl* stored = k.Edited();

    // A value the page refuses fails the save as the update's own check would, and stays in its
    // field for the user to correct; the engine has said why once already.
    if (stored->AcceptText() == 1 && stored->Update(false, false) == 1 && sqlca.Commit() == 0) {
        stored->ResetUpdate();
    } else {
        // The page keeps every change pending, so that the user can correct it and store again.
        sqlca.Rollback();
        rt::ui::MessageBox("提示信息：", "系统意外，保存失败！", rt::ui::Icon::StopSign);
    }

    if (k.detail == nullptr) return;
    const long current_row = k.list->GetRow();
    if (stored->ModifiedCount() + stored->DeletedCount() > 0 || stored->EditPending()) {
        // What could not be stored stays on show: the list's row change would read it away.
        ShowStoredListQuietly(k, current_row);
        return;
    }
    // A list that cannot be read again keeps its rows: the same items, numbered as stored.
    if (k.list->Retrieve({current_id}) != -1) k.list->ScrollToRow(current_row);
}

}  // namespace laurel::sections

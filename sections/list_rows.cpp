// The list sections: inserting, deleting and storing list items, each list numbered 1 to n in the
// order it shows, so that row k of a list is always item k.
//
// A range of numbers moves in two statements inside the transaction (out of the way to negative
// numbers, then back), because a database that checks a unique key row by row would refuse the
// one-statement shift part-way. Every statement is checked; any failure rolls back the whole
// command and the list is read again from the database, so that the page never shows rows that
// are not stored.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ui/dialogs.h"
#include "sections/globals.h"
#include "sections/list_agreement.h"
#include "sections/section_area.h"

namespace laurel::sections {

namespace {

using rt::Value;
using rt::ui::Buttons;
using rt::ui::Icon;

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

// A list command under way: its section, the list's row when it began, and what it says when it
// fails.
struct Command {
    const ListSection& k;
    long row;
    std::string_view failure;
    bool cursorOnList;  // the cursor goes back to a list that has no detail too

    void PutCursorBack() const {
        if (cursorOnList || k.detail != nullptr) PutCursor(k);
    }

    // Nothing of the command stays, the user is told, and the list shows what is stored, on the
    // row it began on. `reason`: the database's, when a statement failed; a page that failed has
    // said its own.
    void Fail(const std::string& reason) const {
        // A lost connection has told the user already that the command did not happen.
        const bool told = sqlca.LossAlreadyTold();
        sqlca.Rollback();
        if (!told) SayFailure(reason, "提示信息：", std::string(failure));
        ShowStoredListQuietly(k, row);
        PutCursorBack();
    }
};

// The recommendation taken for writing and `checked` against their tables (takeforwriting): true
// when the command may write. Otherwise it has ended, failed and said or the list read again.
bool Take(SectionArea& area, const Command& c, const std::vector<DataWindowControl*>& checked) {
    switch (area.takeforwriting(checked)) {
        case SectionArea::Taken::Writable:
            return true;
        case SectionArea::Taken::Refused:
            return false;
        case SectionArea::Taken::Failed:
            c.Fail(DatabaseReason());
            return false;
        case SectionArea::Taken::Changed:
        case SectionArea::Taken::StoreAgain:
            c.PutCursorBack();
            return false;
    }
    return false;
}

// ---- insert -----------------------------------------------------------------------------------------

// The changes of the edited page given up; a page that cannot be read gives no numbers to insert by.
bool GiveUpChanges(const ListSection& k, long former_row) {
    if (k.detail != nullptr) return k.detail->Retrieve({current_id, k.Current()}) != -1;
    if (k.list->Retrieve({current_id}) == -1) return false;
    if (former_row > 0) k.list->ScrollToRow(former_row);
    return true;
}

// Before an insertion, the changes the edited page holds stored or given up, as the user answers.
// A removal still pending in the list counts as a change: the new numbers must be given out over
// what is stored, and that removal would otherwise no longer find its row. False when the
// insertion does not go on.
bool SettleChanges(SectionArea& area, const ListSection& k, long former_row) {
    DataWindowControl* edited = k.Edited();
    if (edited->ModifiedCount() + edited->DeletedCount() == 0) return true;
    const int answer = rt::ui::MessageBox("提示信息", k.def.question, Icon::Question, Buttons::YesNo, 1);
    if (answer != 1) return GiveUpChanges(k, former_row);
    // The changes stay pending in the page when they cannot be stored; numbers given out now would
    // no longer match the rows they were read with.
    const SectionArea::Stored stored = area.storepages({edited});
    if (stored == SectionArea::Stored::Refused) return false;
    if (stored == SectionArea::Stored::Failed) {
        // A list without a message of its own still has the database's reason said.
        area.saystorefailure("提示信息：", std::string(k.def.saveFailure));
        return false;
    }
    if (k.detail == nullptr) return true;
    QuietRowChange quiet(k.list);
    if (!ReadAfresh(*k.list, {current_id})) return false;
    if (former_row > 0) k.list->ScrollToRow(former_row);
    return true;
}

// Makes room at `row` and stores a new item there, with its placeholder, then COMMIT; `row` becomes
// the new item's. False when a step failed; `reason` then holds the database's reason when a
// statement failed, as a page that failed has said why itself.
bool InsertItem(const ListSection& k, long& row, std::string& reason) {
    const auto failed = [&reason] {
        reason = DatabaseReason();
        return false;
    };
    DataWindowControl* list = k.list;
    if (!ShiftUp(k, row)) return failed();
    row = list->InsertRow(row);
    if (row < 1) return false;
    if (k.def.kind == ListKind::Awards) list->ScrollToRow(row);
    if (list->SetItem(row, "xm_id", current_id) != 1) return false;
    if (list->SetItem(row, k.def.numberItem, row) != 1) return false;
    if (list->Update(true, false) != 1) return false;
    if (!k.def.placeholder.empty() && (!Run(k.def.placeholder, {current_id, row}) || sqlca.SQLNRows != 1))
        return failed();
    return sqlca.Commit() == 0 || failed();
}

// ---- delete -----------------------------------------------------------------------------------------

// An empty list that keeps its last item may be one that could not be read, not one without items:
// reading it again tells. Items that show up now are only shown, with the detail of the one it
// showed before, for the user to choose from. The rows read, -1 when it cannot be read (said).
long ReadEmptyListAgain(const ListSection& k) {
    DataWindowControl* list = k.list;
    long rows = 0;
    {
        QuietRowChange quiet(list);
        rows = list->Retrieve({current_id});
        if (rows > 0) list->ScrollToRow(k.Current());
    }
    if (rows == -1) {
        list->Reset();
        rt::ui::MessageBox("提示信息：", UnreadList(k.def), Icon::StopSign);
        return -1;
    }
    if (rows > 1) {
        k.Current() = static_cast<int>(list->GetRow());
        if (k.detail != nullptr && !HoldsChanges(*k.detail)) ReadAfresh(*k.detail, {current_id, k.Current()});
        PutCursor(k);
    }
    return rows;
}

// Whether an item may go: the user confirms, or a list that keeps its last item has more than one.
bool MayRemove(const ListSection& k) {
    if (k.def.refusal.empty()) {
        if (k.list->RowCount() <= 0) return false;
        return rt::ui::MessageBox("提示信息：", "真的要删除吗？", Icon::Question, Buttons::OKCancel, 2) == 1;
    }
    long rows = k.list->RowCount();
    if (rows == 0 && !HoldsChanges(*k.list)) {
        rows = ReadEmptyListAgain(k);
        if (rows == -1 || rows > 1) return false;
    }
    if (rows > 1) return true;
    rt::ui::MessageBox("提示信息：", k.def.refusal);
    return false;
}

// Whether the detail's changes are stored with the removal. They go with its item when that is the
// one removed; changes of another item are stored, before the numbers move under them. None when
// the detail refuses a value, which stays for the user to correct.
std::optional<bool> StoresDetail(const ListSection& k, const std::optional<double>& removed_number) {
    if (k.detail == nullptr || k.detail->RowCount() <= 0) return false;
    const std::optional<double> shown =
        k.detail->GetItemNumber(1, k.def.numberItem, rt::Buffer::Primary, true);
    if (shown == removed_number) return false;
    if (k.detail->AcceptText() != 1) return std::nullopt;
    return k.detail->ModifiedCount() > 0;
}

// Stores the removal the list holds (and the detail's changes with it), closes the gap in the
// numbers, then COMMIT. False when a step failed; `reason` as InsertItem gives it.
bool DeleteItem(const ListSection& k, bool store_detail, long removed_number, std::string& reason) {
    if (store_detail && k.detail->Update(false, false) != 1) return false;
    if (k.list->Update(true, false) != 1) return false;
    if (ShiftDown(k, removed_number) && sqlca.Commit() == 0) return true;
    reason = DatabaseReason();
    return false;
}

// The chosen item removed from the list and from its table. The item, or another the list stores
// with it, changed or removed on another desktop since the list was read: the removal is given up,
// and the list read again.
void RemoveChosen(const Command& c, long removed_number, bool store_detail) {
    const ListSection& k = c.k;
    long del_row = 0;
    {
        QuietRowChange quiet(k.list);
        k.list->DeleteRow(0);
        del_row = k.list->GetRow();
    }
    if (del_row <= 0) return;
    std::string reason;
    if (!DeleteItem(k, store_detail, removed_number, reason)) {
        if (k.list->LastUpdateConflict() || (store_detail && k.detail->LastUpdateConflict())) {
            ListAgreement(k).ReadAgain(false);
            c.PutCursorBack();
        } else {
            c.Fail(reason);
        }
        return;
    }
    k.list->ResetUpdate();
    if (k.detail != nullptr) k.detail->ResetUpdate();
    if (ShowStored(k, del_row)) c.PutCursorBack();
}

}  // namespace

void SectionArea::cb_page_insert_clicked() {
    const std::optional<ListSection> found = ListSectionOf(*this, current_page);
    if (!found) return;
    const ListSection& k = *found;
    if (k.list->RowCount() >= k.def.limit) {
        rt::ui::MessageBox("提示信息", k.def.limitMessage);
        return;
    }
    const Command c{k, k.list->GetRow(), k.def.insertFailure, true};
    // A value the page refuses stays in its field for the user to correct; nothing is inserted
    // that would read the page again and lose it.
    if (k.Edited()->AcceptText() != 1) return;
    if (!SettleChanges(*this, k, c.row)) return;
    // Taken for writing and checked against the table before any number moves: the new number is
    // given out over what is stored.
    if (!Take(*this, c, {k.list})) return;
    long add_row = c.row + 1;
    std::string reason;
    if (!InsertItem(k, add_row, reason)) {
        c.Fail(reason);
        return;
    }
    k.list->ResetUpdate();
    if (ShowStored(k, add_row)) PutCursor(k);
}

void SectionArea::cb_page_delete_clicked() {
    const std::optional<ListSection> found = ListSectionOf(*this, current_page);
    if (!found || !MayRemove(*found)) return;
    const ListSection& k = *found;
    const Command c{k, k.list->GetRow(), k.def.deleteFailure, false};
    if (c.row < 1) return;
    const std::optional<double> removed_number =
        k.list->GetItemNumber(c.row, k.def.numberItem, rt::Buffer::Primary, true);
    if (!removed_number) return;
    const std::optional<bool> store_detail = StoresDetail(k, removed_number);
    if (!store_detail) return;

    // The only item: the removal waits in the list until the page is stored, and is checked then.
    // Any other is taken for writing and checked against the table first, so that the item that
    // goes is the one the user chose, and the numbers that move are the ones the list shows.
    const std::vector<DataWindowControl*> checked =
        *store_detail ? std::vector{k.list, k.detail} : std::vector{k.list};
    if (k.list->RowCount() > 1 && !Take(*this, c, checked)) return;
    RemoveChosen(c, static_cast<long>(*removed_number), *store_detail);
}

void SectionArea::cb_page_save_clicked() {
    const std::optional<ListSection> found = ListSectionOf(*this, current_page);
    if (!found) return;
    const ListSection& k = *found;
    DataWindowControl* stored = k.Edited();

    // A value the page refuses fails the save as the update's own check would, and stays in its
    // field for the user to correct; the engine has said why once already. The page keeps every
    // change it could not store, so that the user can correct it and store again.
    const Stored result = storepages({stored});
    if (result == Stored::Failed) saystorefailure("提示信息：", "系统意外，保存失败！");
    // Refused: the page shows what the user has been told about.
    if (result == Stored::Refused || k.detail == nullptr) return;
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

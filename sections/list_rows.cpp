// The list sections: inserting, deleting and storing list items, each list numbered 1 to n in the
// order it shows, so that row k of a list is always item k.
//
// A range of numbers moves in two statements inside the transaction (out of the way to negative
// numbers, then back), because a database that checks a unique key row by row would refuse the
// one-statement shift part-way. Every statement is checked; any failure rolls back the whole
// command and the list is read again from the database, so that the page never shows rows that
// are not stored.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
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

ListSection SectionOf(const SectionArea& area, const ListKind& kind) {
    return ListSection{kind, &area.PageOf(kind.list), kind.detail ? &area.PageOf(*kind.detail) : nullptr};
}

std::optional<ListSection> ListSectionOf(const SectionArea& area, long handle) {
    const Section* section = SectionAt(handle);
    if (section == nullptr || section->list == nullptr) return std::nullopt;
    return SectionOf(area, *section->list);
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

// Whether two values name the same item: nulls only match nulls, the rest by their text.
bool SameItem(const Value& a, const Value& b) {
    if (a.IsNull() || b.IsNull()) return a.IsNull() && b.IsNull();
    return a.ToText() == b.ToText();
}

// An item as the page read it, and what the user has typed over it since.
struct Typed {
    Value number, name;
    std::vector<std::pair<std::string, Value>> read;   // every column as read
    std::vector<std::pair<std::string, Value>> items;  // the columns typed over, as typed
};

Typed TypedOf(const DataWindowControl& dw, long row, const ListKind& kind,
              rt::Buffer buffer = rt::Buffer::Primary) {
    Typed t{
        dw.GetItem(row, kind.numberItem, buffer, true), dw.GetItem(row, kind.nameItem, buffer, true), {}, {}};
    if (dw.Definition() == nullptr) return t;
    for (const rt::ColumnDef& c : dw.Definition()->columns) {
        Value then = dw.GetItem(row, c.name, buffer, true);
        if (buffer == rt::Buffer::Primary) {
            Value now = dw.GetItem(row, c.name);
            if (!(now == then)) t.items.emplace_back(c.name, std::move(now));
        }
        t.read.emplace_back(c.name, std::move(then));
    }
    return t;
}

// The row of the list that holds the item, 0 when none does for sure: the same name, under the
// same number where two share it; or, renamed, the row under the same number that agrees with it in
// every other column the list shows, unless its name is one of the items the page read (`known`):
// that is another item moved up or down.
long RowOfItem(const DataWindowControl& list, const ListKind& kind, const Typed& item,
               const std::vector<Value>& known = {}) {
    long found = 0;
    long matches = 0;
    long numbered = 0;
    for (long r = 1; r <= list.RowCount(); ++r) {
        const bool sameNumber = SameItem(list.GetItem(r, kind.numberItem), item.number);
        if (sameNumber) numbered = r;
        if (!SameItem(list.GetItem(r, kind.nameItem), item.name)) continue;
        if (sameNumber) return r;
        found = r;
        ++matches;
    }
    if (matches == 1) return found;
    if (matches > 0 || numbered == 0) return 0;
    for (const Value& name : known)
        if (SameItem(list.GetItem(numbered, kind.nameItem), name)) return 0;
    for (const auto& [column, value] : item.read) {
        if (rt::SameName(column, kind.nameItem)) continue;
        const Value listed = list.GetItem(numbered, column);
        if (list.Describe(column + ".Name") != "!" && !SameItem(listed, value)) return 0;
    }
    return numbered;
}

// Whether another desktop stored, in a column the user typed over, something else than was read.
bool Conflicts(const DataWindowControl& dw, long row, const Typed& typed) {
    for (const auto& [column, value] : typed.items)
        for (const auto& [readColumn, read] : typed.read)
            if (readColumn == column && dw.Describe(column + ".Name") != "!" &&
                !SameItem(dw.GetItem(row, column), read))
                return true;
    return false;
}

void PutBack(DataWindowControl& dw, long row, const Typed& typed) {
    for (const auto& [column, value] : typed.items) dw.SetItem(row, column, value);
}

// The caption of the section whose list the kind is.
std::string_view CaptionOf(const ListKind& kind) {
    for (const Section& section : Sections())
        if (section.list == &kind) return section.caption;
    return {};
}

// The insertion failed: nothing of it stays, the user is told, and the list shows what is stored.
// `reason`: the database's, when a statement failed; a page that failed has said its own.
void FailInsert(const ListSection& k, long former_row, const std::string& reason) {
    // A lost connection has told the user already that the command did not happen.
    const bool told = sqlca.LossAlreadyTold();
    sqlca.Rollback();
    if (!told) SayFailure(reason, "提示信息：", std::string(k.def.insertFailure));
    ShowStoredListQuietly(k, former_row);
    PutCursor(k);
}

// After another desktop changed the list behind the page: nothing is written (the transaction
// goes first, so that no lock is held while the user reads why), and the list is read again, the
// detail on the item it showed, or else on the one the list stands on. What the user typed goes
// back on its items; where the other desktop stored something else in a column the user typed
// over, the user is asked first whose changes stand (Settled: store again), else told that the list
// changed (Changed). Gone when something typed belongs to an item that is stored no more.
SectionArea::Agreement ReadListAgain(const ListSection& k, bool keepRemovals = true) {
    sqlca.Rollback();
    DataWindowControl& list = *k.list;
    std::vector<Typed> typed;
    std::vector<Typed> removed;
    for (long r = 1; r <= list.RowCount(); ++r)
        if (list.GetItemStatus(r, "") == rt::ItemStatus::DataModified)
            typed.push_back(TypedOf(list, r, k.def));
    for (long r = 1; keepRemovals && r <= list.DeletedCount(); ++r)
        removed.push_back(TypedOf(list, r, k.def, rt::Buffer::Delete));
    std::optional<Typed> shown;
    if (k.detail != nullptr && k.detail->ModifiedCount() > 0) shown = TypedOf(*k.detail, 1, k.def);
    std::vector<Value> known;
    for (long r = 1; r <= list.RowCount(); ++r)
        known.push_back(list.GetItem(r, k.def.nameItem, rt::Buffer::Primary, true));
    for (long r = 1; r <= list.DeletedCount(); ++r)
        known.push_back(list.GetItem(r, k.def.nameItem, rt::Buffer::Delete, true));
    // The item the user chose: the one whose removal is given up, else the list's current one.
    const long chosen = list.GetRow();
    std::optional<Typed> chosenItem;
    if (!keepRemovals && list.DeletedCount() > 0)
        chosenItem = TypedOf(list, 1, k.def, rt::Buffer::Delete);
    else if (chosen > 0)
        chosenItem = TypedOf(list, chosen, k.def);

    bool lost = false;
    bool conflicting = false;
    std::vector<std::pair<long, const Typed*>> found;
    long at = 0;
    bool read = false;
    {
        QuietRowChange quiet(k.list);
        // A list that cannot be read (the database has said why) keeps its rows and what was typed,
        // and so does its detail: nothing would tell which item the typing there belongs to now.
        read = list.Retrieve({current_id}) != -1;
        if (read) {
            for (const Typed& t : typed) {
                if (const long r = RowOfItem(list, k.def, t, known); r > 0) {
                    conflicting = conflicting || Conflicts(list, r, t);
                    found.emplace_back(r, &t);
                } else {
                    lost = true;
                }
            }
            if (shown) {
                at = RowOfItem(list, k.def, *shown, known);
                if (at == 0) lost = true;
            }
            if (at == 0 && chosenItem) at = RowOfItem(list, k.def, *chosenItem);
            if (at == 0) at = std::min(std::max(chosen, 1L), list.RowCount());
            if (at > 0) list.ScrollToRow(at);
        }
    }
    const bool detailFound = shown && !lost && at > 0;
    if (k.detail != nullptr && read) {
        k.Current() = static_cast<int>(list.GetRow());
        if (k.detail->Retrieve({current_id, k.Current()}) == -1)
            k.detail->Reset();
        else if (detailFound)
            conflicting = conflicting || Conflicts(*k.detail, 1, *shown);
    }

    const int answer = conflicting ? rt::ui::MessageBox("提示信息", ChangedElsewhere(CaptionOf(k.def)),
                                                        Icon::Question, Buttons::YesNo, 1)
                                   : 1;
    if (answer == 1) {
        for (const auto& [row, t] : found) PutBack(list, row, *t);
        if (detailFound && k.detail->RowCount() > 0) PutBack(*k.detail, 1, *shown);
    }
    {
        QuietRowChange quiet(k.list);
        for (const Typed& t : removed)
            if (const long r = RowOfItem(list, k.def, t); r > 0) list.DeleteRow(r);
        if (at > 0 && list.GetRow() != std::min(at, list.RowCount())) list.ScrollToRow(at);
    }
    if (lost)
        rt::ui::MessageBox("提示信息", kItemGone, rt::ui::Icon::Exclamation);
    else if (!conflicting)
        rt::ui::MessageBox("提示信息", kListChanged, rt::ui::Icon::Exclamation);
    if (lost) return SectionArea::Agreement::Gone;
    return conflicting ? SectionArea::Agreement::Settled : SectionArea::Agreement::Changed;
}

}  // namespace

SectionArea::Agreement SectionArea::listagrees(const ListKind& kind) {
    const ListSection k = SectionOf(*this, kind);
    // The items as the page read them, the ones it removes included, by number.
    std::vector<Typed> shown;
    for (long r = 1; r <= k.list->RowCount(); ++r) {
        const rt::ItemStatus status = k.list->GetItemStatus(r, "");
        if (status != rt::ItemStatus::New && status != rt::ItemStatus::NewModified)
            shown.push_back(TypedOf(*k.list, r, kind));
    }
    for (long r = 1; r <= k.list->DeletedCount(); ++r)
        shown.push_back(TypedOf(*k.list, r, kind, rt::Buffer::Delete));
    std::sort(shown.begin(), shown.end(), [](const Typed& a, const Typed& b) {
        return a.number.AsLong().value_or(0) < b.number.AsLong().value_or(0);
    });

    const std::string table(kind.table), number(kind.number), name(kind.nameItem);
    std::vector<std::vector<Value>> stored;
    if (sqlca.Query(
            "select " + number + ", " + name + " from " + table + " where xm_id = ? order by " + number,
            {current_id}, stored) != 0)
        return Agreement::Failed;
    bool agrees = stored.size() == shown.size();
    for (std::size_t i = 0; agrees && i < stored.size(); ++i)
        agrees = stored[i].size() == 2 && stored[i][0].AsLong() == shown[i].number.AsLong() &&
                 SameItem(stored[i][1], shown[i].name);
    return agrees ? Agreement::Agrees : ReadListAgain(k);
}

SectionArea::Agreement SectionArea::detailagrees(const ListKind& kind) {
    const ListSection k = SectionOf(*this, kind);
    if (k.detail == nullptr || k.detail->RowCount() < 1) return Agreement::Agrees;
    const Typed item = TypedOf(*k.detail, 1, kind);
    std::vector<Value> into(1);
    const long found =
        sqlca.SelectInto("select " + std::string(kind.nameItem) + " from " + std::string(kind.table) +
                             " where xm_id = ? and " + std::string(kind.number) + " = ?",
                         {current_id, item.number}, into);
    if (found == -1) return Agreement::Failed;
    if (found == 0 && SameItem(into[0], item.name)) return Agreement::Agrees;
    return ReadListAgain(k);
}

SectionArea::Agreement SectionArea::rereadlist(const ListKind& kind) {
    return ReadListAgain(SectionOf(*this, kind));
}

void SectionArea::detailfollows(const ListKind& kind) {
    const ListSection k = SectionOf(*this, kind);
    const long row = k.list->GetRow();
    if (k.detail == nullptr || row < 1) return;
    const Value listed = k.list->GetItem(row, kind.nameItem, rt::Buffer::Primary, true);
    if (k.detail->RowCount() > 0 &&
        SameItem(k.detail->GetItem(1, kind.nameItem, rt::Buffer::Primary, true), listed))
        return;
    ReadListAgain(k);
}

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
            // The changes stay pending in the page when they cannot be stored; numbers given out
            // now would no longer match the rows they were read with.
            const Stored stored = storepages({edited});
            if (stored == Stored::Refused) return;
            if (stored == Stored::Failed) {
                // A list without a message of its own still has the database's reason said.
                saystorefailure("提示信息：", std::string(k.def.saveFailure));
                return;
            }
            if (k.detail != nullptr) {
                QuietRowChange quiet(list);
                if (!ReadAfresh(*list, {current_id})) return;
                if (former_row > 0) list->ScrollToRow(former_row);
            }
        } else if (k.detail != nullptr) {
            // The changes are given up; a page that cannot be read gives no numbers to insert by.
            if (k.detail->Retrieve({current_id, k.Current()}) == -1) return;
        } else {
            if (list->Retrieve({current_id}) == -1) return;
            if (former_row > 0) list->ScrollToRow(former_row);
        }
    }

    // Taken for writing and checked against the table before any number moves: the new number is
    // given out over what is stored.
    switch (holdforwriting()) {
        case Hold::Held:
            break;
        case Hold::Refused:
            return;
        case Hold::Failed:
            FailInsert(k, former_row, DatabaseReason());
            return;
    }
    switch (listagrees(k.def)) {
        case Agreement::Agrees:
            break;
        case Agreement::Settled:
        case Agreement::Changed:
        case Agreement::Gone:
            PutCursor(k);
            return;
        case Agreement::Failed:
            FailInsert(k, former_row, DatabaseReason());
            return;
    }

    // A statement that fails has its reason shown with the failure; a page that fails has said
    // why itself.
    std::string reason;
    const auto failed = [&reason] {
        reason = DatabaseReason();
        return false;
    };
    const bool inserted = [&] {
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
        FailInsert(k, former_row, reason);
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

    // `reason`: the database's, when a statement failed; a page that failed has said its own.
    const auto fail = [&](const std::string& reason) {
        // A lost connection has told the user already that the command did not happen.
        const bool told = sqlca.LossAlreadyTold();
        sqlca.Rollback();
        if (!told) SayFailure(reason, "提示信息：", std::string(k.def.deleteFailure));
        ShowStoredListQuietly(k, removed_row);
        if (k.detail != nullptr) PutCursor(k);
    };

    // The only item: the removal waits in the list until the page is stored, and is checked then.
    // Any other is taken for writing and checked against the table first, so that the item that
    // goes is the one the user chose, and the numbers that move are the ones the list shows.
    if (list->RowCount() > 1) {
        switch (holdforwriting()) {
            case Hold::Held:
                break;
            case Hold::Refused:
                return;
            case Hold::Failed:
                fail(DatabaseReason());
                return;
        }
        Agreement agreement = listagrees(k.def);
        if (agreement == Agreement::Agrees && store_detail) agreement = detailagrees(k.def);
        if (agreement == Agreement::Failed) {
            fail(DatabaseReason());
            return;
        }
        if (agreement != Agreement::Agrees) {
            if (k.detail != nullptr) PutCursor(k);
            return;
        }
    }

    long del_row = 0;
    {
        QuietRowChange quiet(list);
        list->DeleteRow(0);
        del_row = list->GetRow();
    }
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
        // The item, or another the list stores with it, was changed or removed on another
        // desktop since the list was read: the removal is given up, the list is read again.
        if (list->LastUpdateConflict() || (store_detail && k.detail->LastUpdateConflict())) {
            ReadListAgain(k, false);
            if (k.detail != nullptr) PutCursor(k);
            return;
        }
        fail(reason);
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

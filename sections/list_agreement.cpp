#include "sections/list_agreement.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ui/dialogs.h"
#include "sections/globals.h"

namespace laurel::sections {

namespace {

using rt::Value;
using Agreement = SectionArea::Agreement;

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

// Whether the row under the item's number is the item renamed: it agrees with it in every other
// column the list shows, and its name is none of the items the page read (`known`), which would
// make it another item moved up or down.
bool RenamedAt(const DataWindowControl& list, long row, const ListKind& kind, const Typed& item,
               const std::vector<Value>& known) {
    const Value listedName = list.GetItem(row, kind.nameItem);
    if (std::any_of(known.begin(), known.end(),
                    [&](const Value& name) { return SameItem(listedName, name); }))
        return false;
    for (const auto& [column, value] : item.read) {
        if (rt::SameName(column, kind.nameItem)) continue;
        if (list.Describe(column + ".Name") != "!" && !SameItem(list.GetItem(row, column), value))
            return false;
    }
    return true;
}

// The row of the list that holds the item, 0 when none does for sure: the same name, under the
// same number where two share it; or, renamed, the row under the same number (RenamedAt).
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
    return RenamedAt(list, numbered, kind, item, known) ? numbered : 0;
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

// The items of a buffer of the list, as read.
std::vector<Value> NamesRead(const DataWindowControl& list, const ListKind& kind, rt::Buffer buffer) {
    std::vector<Value> names;
    const long rows = buffer == rt::Buffer::Delete ? list.DeletedCount() : list.RowCount();
    for (long r = 1; r <= rows; ++r) names.push_back(list.GetItem(r, kind.nameItem, buffer, true));
    return names;
}

// What the pages held before the list is read again.
struct Before {
    std::vector<Typed> typed;         // the list's items typed over
    std::vector<Typed> removed;       // the items removed, to be removed again
    std::optional<Typed> shown;       // the detail's item, when typed over
    std::vector<Value> known;         // the name of every item the list read
    long chosen = 0;                  // the list's current row
    std::optional<Typed> chosenItem;  // the item the user chose
};

Before TakeBefore(const ListSection& k, bool keepRemovals) {
    const DataWindowControl& list = *k.list;
    Before b;
    for (long r = 1; r <= list.RowCount(); ++r)
        if (list.GetItemStatus(r, "") == rt::ItemStatus::DataModified)
            b.typed.push_back(TypedOf(list, r, k.def));
    for (long r = 1; keepRemovals && r <= list.DeletedCount(); ++r)
        b.removed.push_back(TypedOf(list, r, k.def, rt::Buffer::Delete));
    if (k.detail != nullptr && k.detail->ModifiedCount() > 0) b.shown = TypedOf(*k.detail, 1, k.def);
    b.known = NamesRead(list, k.def, rt::Buffer::Primary);
    const std::vector<Value> removedNames = NamesRead(list, k.def, rt::Buffer::Delete);
    b.known.insert(b.known.end(), removedNames.begin(), removedNames.end());
    // The item the user chose: the one whose removal is given up, else the list's current one.
    b.chosen = list.GetRow();
    if (!keepRemovals && list.DeletedCount() > 0)
        b.chosenItem = TypedOf(list, 1, k.def, rt::Buffer::Delete);
    else if (b.chosen > 0)
        b.chosenItem = TypedOf(list, b.chosen, k.def);
    return b;
}

// Where the items typed over stand in the list read again.
struct After {
    bool read = false;         // the list could be read
    bool lost = false;         // something typed belongs to an item stored no more
    bool conflicting = false;  // another desktop stored something else where the user typed
    std::vector<std::pair<long, const Typed*>> found;
    long at = 0;  // the row the list stands on, the detail's item where it is still stored
};

// The row the list is to stand on: the detail's item, else the chosen one, else the same row.
long RowToStandOn(const ListSection& k, const Before& b, After& a) {
    long at = 0;
    if (b.shown) {
        at = RowOfItem(*k.list, k.def, *b.shown, b.known);
        if (at == 0) a.lost = true;
    }
    if (at == 0 && b.chosenItem) at = RowOfItem(*k.list, k.def, *b.chosenItem);
    if (at == 0) at = std::min(std::max(b.chosen, 1L), k.list->RowCount());
    return at;
}

// Reads the list again and finds the items typed over in it. A list that cannot be read (the
// database has said why) keeps its rows and what was typed, and so does its detail: nothing would
// tell which item the typing there belongs to now.
After ReadListFindingItems(const ListSection& k, const Before& b) {
    DataWindowControl& list = *k.list;
    After a;
    QuietRowChange quiet(k.list);
    a.read = list.Retrieve({current_id}) != -1;
    if (!a.read) return a;
    for (const Typed& t : b.typed) {
        const long r = RowOfItem(list, k.def, t, b.known);
        if (r == 0) {
            a.lost = true;
            continue;
        }
        a.conflicting = a.conflicting || Conflicts(list, r, t);
        a.found.emplace_back(r, &t);
    }
    a.at = RowToStandOn(k, b, a);
    if (a.at > 0) list.ScrollToRow(a.at);
    return a;
}

// The detail read again for the list's current row; whether the user's typing there conflicts with
// what another desktop stored, when it belongs there (`detailFound`).
bool ReadDetailAgain(const ListSection& k, const Before& b, bool detailFound) {
    k.Current() = static_cast<int>(k.list->GetRow());
    if (k.detail->Retrieve({current_id, k.Current()}) == -1) {
        k.detail->Reset();
        return false;
    }
    return detailFound && Conflicts(*k.detail, 1, *b.shown);
}

// The removals the list held, made again on the items that are still stored, the list left on its
// row.
void RemoveAgain(const ListSection& k, const Before& b, long at) {
    DataWindowControl& list = *k.list;
    QuietRowChange quiet(k.list);
    for (const Typed& t : b.removed)
        if (const long r = RowOfItem(list, k.def, t); r > 0) list.DeleteRow(r);
    if (at > 0 && list.GetRow() != std::min(at, list.RowCount())) list.ScrollToRow(at);
}

}  // namespace

int& ListSection::Current() const {
    return def.kind == ListKind::Contributors ? current_ry : current_dw;
}

ListSection SectionOf(const SectionArea& area, const ListKind& kind) {
    return ListSection{kind, &area.PageOf(kind.list), kind.detail ? &area.PageOf(*kind.detail) : nullptr};
}

std::optional<ListSection> ListSectionOf(const SectionArea& area, long handle) {
    const Section* section = SectionAt(handle);
    if (section == nullptr || section->list == nullptr) return std::nullopt;
    return SectionOf(area, *section->list);
}

Agreement ListAgreement::OfList() const {
    // The items as the page read them, the ones it removes included, by number.
    std::vector<Typed> shown;
    for (long r = 1; r <= k_.list->RowCount(); ++r) {
        const rt::ItemStatus status = k_.list->GetItemStatus(r, "");
        if (status != rt::ItemStatus::New && status != rt::ItemStatus::NewModified)
            shown.push_back(TypedOf(*k_.list, r, k_.def));
    }
    for (long r = 1; r <= k_.list->DeletedCount(); ++r)
        shown.push_back(TypedOf(*k_.list, r, k_.def, rt::Buffer::Delete));
    std::sort(shown.begin(), shown.end(), [](const Typed& a, const Typed& b) {
        return a.number.AsLong().value_or(0) < b.number.AsLong().value_or(0);
    });

    const std::string table(k_.def.table), number(k_.def.number), name(k_.def.nameItem);
    std::vector<std::vector<Value>> stored;
    if (sqlca.Query(
            "select " + number + ", " + name + " from " + table + " where xm_id = ? order by " + number,
            {current_id}, stored) != 0)
        return Agreement::Failed;
    bool agrees = stored.size() == shown.size();
    for (std::size_t i = 0; agrees && i < stored.size(); ++i)
        agrees = stored[i].size() == 2 && stored[i][0].AsLong() == shown[i].number.AsLong() &&
                 SameItem(stored[i][1], shown[i].name);
    return agrees ? Agreement::Agrees : ReadAgain();
}

Agreement ListAgreement::OfDetail() const {
    if (k_.detail == nullptr || k_.detail->RowCount() < 1) return Agreement::Agrees;
    const Typed item = TypedOf(*k_.detail, 1, k_.def);
    std::vector<Value> into(1);
    const long found =
        sqlca.SelectInto("select " + std::string(k_.def.nameItem) + " from " + std::string(k_.def.table) +
                             " where xm_id = ? and " + std::string(k_.def.number) + " = ?",
                         {current_id, item.number}, into);
    if (found == -1) return Agreement::Failed;
    if (found == 0 && SameItem(into[0], item.name)) return Agreement::Agrees;
    return ReadAgain();
}

Agreement ListAgreement::ReadAgain(bool keepRemovals) const {
    sqlca.Rollback();
    const Before before = TakeBefore(k_, keepRemovals);
    After after = ReadListFindingItems(k_, before);
    const bool detailFound = before.shown && !after.lost && after.at > 0;
    if (k_.detail != nullptr && after.read)
        after.conflicting = ReadDetailAgain(k_, before, detailFound) || after.conflicting;

    const int answer = after.conflicting
                           ? rt::ui::MessageBox("提示信息", ChangedElsewhere(CaptionOf(k_.def)),
                                                rt::ui::Icon::Question, rt::ui::Buttons::YesNo, 1)
                           : 1;
    if (answer == 1) {
        for (const auto& [row, t] : after.found) PutBack(*k_.list, row, *t);
        if (detailFound && k_.detail->RowCount() > 0) PutBack(*k_.detail, 1, *before.shown);
    }
    RemoveAgain(k_, before, after.at);
    // What the user typed is on its items in the list as stored: a caller storing on stores it now,
    // and the user has nothing to check. A list that could not be read tells no item.
    const bool storeOn = storingOn_ && after.read;
    if (after.lost) {
        rt::ui::MessageBox("提示信息", kItemGone, rt::ui::Icon::Exclamation);
        return storeOn ? Agreement::Settled : Agreement::Gone;
    }
    if (after.conflicting || storeOn) return Agreement::Settled;
    rt::ui::MessageBox("提示信息", kListChanged, rt::ui::Icon::Exclamation);
    return Agreement::Changed;
}

SectionArea::Agreement SectionArea::listagrees(const ListKind& kind) {
    return ListAgreement(SectionOf(*this, kind)).OfList();
}

SectionArea::Agreement SectionArea::detailagrees(const ListKind& kind) {
    return ListAgreement(SectionOf(*this, kind)).OfDetail();
}

SectionArea::Agreement SectionArea::rereadlist(const ListKind& kind) {
    return ListAgreement(SectionOf(*this, kind)).ReadAgain();
}

void SectionArea::detailfollows(const ListKind& kind) {
    const ListSection k = SectionOf(*this, kind);
    const long row = k.list->GetRow();
    if (k.detail == nullptr || row < 1) return;
    const Value listed = k.list->GetItem(row, kind.nameItem, rt::Buffer::Primary, true);
    if (k.detail->RowCount() > 0 &&
        SameItem(k.detail->GetItem(1, kind.nameItem, rt::Buffer::Primary, true), listed))
        return;
    ListAgreement(k).ReadAgain();
}

SectionArea::Taken SectionArea::takeforwriting(const std::vector<DataWindowControl*>& checked) {
    switch (holdforwriting()) {
        case Hold::Held:
            break;
        case Hold::Refused:
            return Taken::Refused;
        case Hold::Failed:
            return Taken::Failed;
    }
    for (DataWindowControl* d : checked) {
        const ListKind* kind = KindOf(*this, *d);
        if (kind == nullptr) continue;
        const bool storingOn = storingon > 0;
        const ListAgreement agreement(SectionOf(*this, *kind), storingOn);
        const Agreement found = d == &PageOf(kind->list) ? agreement.OfList() : agreement.OfDetail();
        if (storingOn && found != Agreement::Agrees) --storingon;
        switch (found) {
            case Agreement::Agrees:
                break;
            case Agreement::Failed:
                return Taken::Failed;
            case Agreement::Settled:
                return Taken::StoreAgain;
            case Agreement::Changed:
            case Agreement::Gone:
                return Taken::Changed;
        }
    }
    return Taken::Writable;
}

}  // namespace laurel::sections

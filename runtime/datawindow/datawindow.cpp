#include "runtime/datawindow/datawindow.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "runtime/datawindow/datawindow_children.h"
#include "runtime/datawindow/datawindow_entry.h"
#include "runtime/datawindow/datawindow_object.h"
#include "runtime/datawindow/datawindow_plan.h"
#include "runtime/datawindow/datawindow_rows.h"
#include "runtime/text/text.h"

namespace rt {

using dw::CompiledObject;
using dw::Count;
using dw::Row;

namespace {

DataWindow::MessageHook& Hook() {
    static DataWindow::MessageHook hook;
    return hook;
}

// Counts the user's actions, so that a refusal already said in this one is not said again.
std::uint64_t& UserActions() {
    static std::uint64_t count = 0;
    return count;
}

void Say(std::string_view title, std::string_view text) {
    auto hook = Hook();
    if (hook) hook(title, text);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// The DataWindow itself keeps the cursor (current row and column) and the events, and drives its
// parts: the compiled object, the row buffers, the update plan, the pending edit with its check and
// the child code tables (datawindow_*.h).

struct DataWindow::Impl {
    explicit Impl(DataWindow& s) : self(s) {}

    DataWindow& self;

    std::unique_ptr<const CompiledObject> object;  // none until SetDataObject
    std::uint64_t loads = 0;  // counts SetDataObject, so that a call can tell a handler set another
    dw::RowBuffers rows;
    dw::ChildTables children;
    bool isChild = false;  // a drop-down's code table, which reads no code tables of its own
    dw::PendingEdit edit;

    Transaction* trans = nullptr;
    std::weak_ptr<void> transAlive;  // a transaction destroyed while bound is never reached

    Transaction* Trans() const { return transAlive.expired() ? nullptr : trans; }

    long row = 0;    // current row, 0 when none
    int column = 0;  // current column, 0 when none

    std::vector<std::pair<int, Observer>> observers;
    int nextObserver = 1;

    std::optional<std::vector<Value>> retrievedWith;  // the arguments of the last Retrieve
    std::optional<UpdateConflict> conflict;           // of the last Update

    // ---- basics -------------------------------------------------------------------------------------

    // 0-based index of a column name, or -1.
    int Col(std::string_view name) const { return object ? object->Col(name) : -1; }
    bool ValidCol(int c) const { return object && object->ValidCol(c); }
    bool Focusable(int c) const { return object && object->Focusable(c); }
    bool TakesInput(int c) const { return object && object->TakesInput(c); }

    // The item of primary row r in column c, with its column and mask; nullopt when there is none.
    struct Item {
        const ColumnDef& column;
        const EditMask& mask;
        const Value& value;
    };
    std::optional<Item> ItemAt(long r, int c) const {
        const Row* x = rows.At(r);
        if (!x || !ValidCol(c)) return std::nullopt;
        const auto i = static_cast<std::size_t>(c);
        return Item{object->Column(c), object->masks[i], x->values[i]};
    }

    // ---- notification -------------------------------------------------------------------------------

    void Notify(Change what, long r, int c) {
        if (observers.empty()) return;
        // By id, so that an observer may remove itself or others while being told.
        std::vector<int> ids;
        ids.reserve(observers.size());
        for (const auto& o : observers) ids.push_back(o.first);
        for (int id : ids) {
            auto it = std::find_if(observers.begin(), observers.end(),
                                   [id](const auto& o) { return o.first == id; });
            if (it == observers.end()) continue;
            Observer call = it->second;
            if (call) call(what, r, c);
        }
    }

    void FireRowFocusChanged(long r) {
        auto handler = self.rowfocuschanged;
        if (handler) handler(r);
    }

    void FireItemFocusChanged() {
        auto handler = self.itemfocuschanged;
        if (!handler) return;
        std::string name = ValidCol(column - 1) ? object->Column(column - 1).name : "";
        handler(row, name);
    }

    // Takes its texts by value: a handler may run statements on the transaction (whose diagnostic
    // the text was) or change the object (whose SQL it was) while it still reads them.
    // NOLINTNEXTLINE(performance-unnecessary-value-param)
    void FireDbError(long code, std::string text, std::string sql) {
        auto handler = self.dberror;
        int answer = handler ? handler(code, text, sql) : 0;
        if (answer != 1) {
            Say(kDatabaseErrorTitle,
                "数据库操作失败（" + std::to_string(code) + "）：\n" + text + "\n\n" + sql);
        }
    }

    // The failure of the transaction's last statement. The driver's own code when it gave one,
    // else the SQLCode, so that a failure never reaches the handler as code 0.
    void FireDbError(const Transaction& t, std::string sql) {
        // A lost transaction has been told of once, or its loss had the reason: every failure it
        // causes is that one.
        if (t.LossAlreadyTold() || t.RefusedAfterLoss()) return;
        FireDbError(t.SQLDBCode != 0 ? t.SQLDBCode : t.SQLCode, t.SQLErrText, std::move(sql));
    }

    // ---- object -------------------------------------------------------------------------------------

    void Load(const DataWindowDef& d) {
        object = std::make_unique<const CompiledObject>(d);
        ++loads;
        children.Load(*object, [this](long code, std::string text, std::string sql) {
            FireDbError(code, std::move(text), std::move(sql));
        });
        rows.Clear();
        row = 0;
        edit.text.reset();
        retrievedWith.reset();
        conflict.reset();
        // The cursor starts in the first field of the tab order.
        column = object->FirstTabStop();
    }

    // The code tables behind drop-down DataWindows are read once per transaction: when the
    // DataWindow is bound to a connected transaction or, failing that, on its next Retrieve.
    void RetrieveChildren() {
        Transaction* t = Trans();
        if (isChild || !object || !t) return;
        children.Retrieve(*t);
    }

    // ---- display ------------------------------------------------------------------------------------

    static bool IsCode(const ColumnDef& cd) {
        return cd.edit == EditStyle::DropDownList || cd.edit == EditStyle::DropDownDW;
    }

    std::string LookUp(long r, int c) {
        const auto item = ItemAt(r, c);
        if (!item) return {};
        if (IsCode(item->column)) return children.Display(c, item->value).value_or(std::string());
        return item->value.ToText();
    }

    std::string Formatted(long r, int c) {
        const auto item = ItemAt(r, c);
        if (!item) return {};
        if (IsCode(item->column)) return children.Display(c, item->value).value_or(std::string());
        if (item->column.edit == EditStyle::CheckBox) return item->value.ToText();
        if (!item->column.format.empty()) return String(item->value, item->column.format);
        if (!item->mask.Empty()) return item->mask.Show(item->value);
        return item->value.ToText();
    }

    // The item as the edit control shows it when nothing is typed yet.
    std::string EditText(long r, int c) {
        const auto item = ItemAt(r, c);
        if (!item) return {};
        if (IsCode(item->column)) {
            if (auto d = children.Display(c, item->value)) return *d;
            return item->value.ToText();
        }
        if (!item->mask.Empty()) return item->mask.Show(item->value);
        return item->value.ToText();
    }

    // ---- items --------------------------------------------------------------------------------------

    void Store(long r, int c, Value v) {
        rows.primary[static_cast<std::size_t>(r - 1)].Store(static_cast<std::size_t>(c), std::move(v));
    }

    int SetItem(long r, int c, const Value& v) {
        if (!rows.At(r) || !ValidCol(c)) return -1;
        auto converted = dw::ConvertTo(object->Column(c).type, v);
        if (!converted) return -1;
        Store(r, c, std::move(*converted));
        Notify(Change::ItemChanged, r, c + 1);
        return 1;
    }

    // ---- edit text ----------------------------------------------------------------------------------

    void DropPending() {
        if (!edit.text) return;
        edit.text.reset();
        Notify(Change::EditText, row, column);
    }

    int AcceptText() {
        if (!edit.text || edit.accepting) return 1;
        const int c = column - 1;
        if (!rows.At(row) || !ValidCol(c)) {
            DropPending();
            return 1;
        }
        const long r = row;
        const std::string text = *edit.text;
        const std::string name = object->Column(c).name;
        Reading entry = dw::CheckEntry(*object, children, c, text);
        if (!entry.ok) {
            auto handler = self.itemerror;
            int answer = handler ? handler(r, name, text, entry.why) : 0;
            if (answer != 1 && edit.SayRefusal(r, column, text, UserActions()))
                Say("数据窗口", "输入的值“" + text + "”无效：" + entry.why);
            return -1;
        }
        if (dw::LeavesAsIs(*object, c, entry.value, rows.At(r)->values[static_cast<std::size_t>(c)])) {
            DropPending();
            return 1;
        }

        const std::uint64_t id = rows.At(r)->id;
        const std::uint64_t loaded = loads;
        int answer = 0;
        if (auto handler = self.itemchanged) {
            edit.accepting = true;
            struct Reset {
                bool& flag;
                ~Reset() { flag = false; }
            } reset{edit.accepting};
            answer = handler(r, name, text);
        }
        if (answer == 1) return -1;  // rejected: the text stays for the user to correct
        DropPending();
        if (answer == 2) return 1;  // rejected, and the edit is given up
        // The handler may have moved, inserted or removed rows: store into the row that was edited,
        // wherever it is now, unless it is gone.
        if (loaded != loads) return 1;
        long at = rows.Find(id, r);
        if (at == 0) return 1;
        Store(at, c, std::move(entry.value));
        Notify(Change::ItemChanged, at, c + 1);
        return 1;
    }

    // ---- focus --------------------------------------------------------------------------------------

    void MoveRow(long r) {
        if (r == row) return;
        DropPending();
        row = r;
        Notify(Change::CurrentRow, row, column);
        FireRowFocusChanged(row);
    }

    void MoveColumn(int c) {
        if (c == column) return;
        DropPending();
        column = c;
        Notify(Change::CurrentColumn, row, column);
        FireItemFocusChanged();
    }

    int SetRow(long r) {
        if (r < 1 || r > Count(rows.primary)) return -1;
        if (r == row) return 1;
        if (AcceptText() != 1) return -1;
        if (r > Count(rows.primary)) return -1;  // a handler removed rows meanwhile
        MoveRow(r);
        return 1;
    }

    // ---- retrieval ----------------------------------------------------------------------------------

    // The rows of the object's SELECT with these arguments, into `fetched`; the count, or -1 (a
    // failed SELECT fires dberror). The DataWindow's own rows are not touched.
    long Fetch(const std::vector<Value>& args, std::vector<Row>& fetched) {
        Transaction* t = Trans();
        if (!object || !t || !object->selectOk) return -1;

        std::vector<Value> params;
        params.reserve(object->selectArgs.size());
        for (int a : object->selectArgs) {
            Value v = a < static_cast<int>(args.size()) ? args[static_cast<std::size_t>(a)] : Value();
            auto converted = dw::ConvertTo(object->def.arguments[static_cast<std::size_t>(a)].type, v);
            if (!converted) return -1;
            params.push_back(std::move(*converted));
        }

        std::vector<std::vector<Value>> read;
        std::vector<Transaction::StoredText> stored;
        if (t->Query(object->selectSql, params, read, &stored) < 0) {
            FireDbError(*t, object->selectSql);
            return -1;
        }
        // Then the code tables, so that a failure of theirs, and whatever its handler does, comes
        // before this object's rows change rather than in the middle of replacing them, and leaves
        // the rows read (a failure may end the transaction, and the rows could not be read after it).
        const std::uint64_t loaded = loads;
        if (t->Connected()) RetrieveChildren();
        if (loaded != loads || !object || Trans() != t) return -1;

        const std::size_t n = object->def.columns.size();
        fetched.reserve(read.size());
        auto odd = stored.begin();
        for (std::size_t r = 0; r < read.size(); ++r) {
            std::vector<Value>& f = read[r];
            std::vector<Value> values(n);
            std::vector<dw::StoredForm> forms;
            const std::size_t m = std::min(n, f.size());
            for (std::size_t c = 0; c < m; ++c) {
                const std::string* as = nullptr;
                if (odd != stored.end() && odd->row == r && odd->column == c) as = &(odd++)->text;
                values[c] = dw::AsRead(object->def.columns[c].type, std::move(f[c]), as, forms, c);
            }
            while (odd != stored.end() && odd->row == r) ++odd;
            fetched.push_back(rows.Read(std::move(values), std::move(forms)));
        }
        retrievedWith = args;
        return Count(fetched);
    }

    // ---- write-back ---------------------------------------------------------------------------------

    void ResetFlags() {
        rows.ResetFlags([this](const Row& x) { return !object || dw::Inserts(*object, x); });
    }

    int Update(bool accept, bool resetFlags) {
        conflict.reset();
        if (!object) return -1;
        if (accept && AcceptText() != 1) return -1;
        Transaction* t = Trans();
        if (!object || object->def.updateTable.empty() || !t) return -1;

        const dw::UpdatePlan plan = dw::PlanUpdate(*object, rows);
        if (plan.keyMissing) {
            FireDbError(-1, "数据窗口没有可以定位行的键列：" + object->def.name, std::string());
            return -1;
        }
        // Nothing below calls back into the application until a failure is reported, after which
        // only locals are touched.
        for (const dw::Statement& s : plan.statements) {
            if (t->Execute(s.sql, s.args) < 0) {
                FireDbError(*t, s.sql);
                return -1;
            }
            if (s.mustMatch && t->SQLNRows == 0) return Conflict(*t, s);
        }
        if (resetFlags) ResetFlags();
        return 1;
    }

    // A statement found no row as it was read: the row was changed or deleted since. Whether it is
    // still there tells which. Returns -1.
    int Conflict(Transaction& t, const dw::Statement& s) {
        const Row& x = rows.Of(s.buffer)[s.index];
        const dw::Statement probe = dw::SelectByKey(*object, x, "1");
        std::vector<std::vector<Value>> found;
        if (t.Query(probe.sql, probe.args, found) < 0) {
            FireDbError(t, probe.sql);
            return -1;
        }
        conflict = UpdateConflict{static_cast<long>(s.index) + 1, s.buffer, found.empty()};
        return -1;
    }
};

// ---- what the engine's parts see inside a DataWindow -------------------------------------------------

std::unique_ptr<DataWindow> dw::Inside::MakeChild(std::string_view object) {
    auto child = std::make_unique<DataWindow>();
    child->d_->isChild = true;
    if (child->SetDataObject(object) != 1) return nullptr;
    return child;
}

const dw::RowBuffers& dw::Inside::Rows(const DataWindow& dw) {
    return dw.d_->rows;
}

int dw::Inside::Column(const DataWindow& dw, std::string_view name) {
    return dw.d_->Col(name);
}

// ---------------------------------------------------------------------------------------------------

DataWindow::DataWindow() : d_(std::make_unique<Impl>(*this)) {}

DataWindow::DataWindow(std::string_view dataObject) : DataWindow() {
    SetDataObject(dataObject);
}

DataWindow::~DataWindow() = default;

void DataWindow::SetMessageHook(MessageHook hook) {
    Hook() = std::move(hook);
}

void DataWindow::UserAction() {
    ++UserActions();
}

// ---- object ---------------------------------------------------------------------------------------

int DataWindow::SetDataObject(std::string_view name) {
    const DataWindowDef* def = FindDefinition(name);
    if (!def) return -1;
    d_->Load(*def);
    d_->Notify(Change::Reset, 0, 0);
    if (Transaction* t = d_->Trans(); t && t->Connected()) d_->RetrieveChildren();
    return 1;
}

std::string DataWindow::DataObject() const {
    return d_->object ? d_->object->def.name : std::string();
}

const DataWindowDef* DataWindow::Definition() const {
    return d_->object ? &d_->object->def : nullptr;
}

int DataWindow::SetTransObject(Transaction& t) {
    d_->trans = &t;
    d_->transAlive = t.Lifetime();
    if (t.Connected()) d_->RetrieveChildren();
    return 1;
}

Transaction* DataWindow::TransObject() const {
    return d_->Trans();
}

// ---- rows -----------------------------------------------------------------------------------------

long DataWindow::Retrieve(const std::vector<Value>& args) {
    Impl& d = *d_;
    std::vector<Row> fetched;
    if (d.Fetch(args, fetched) < 0) return -1;
    d.rows.Clear();
    d.rows.primary = std::move(fetched);
    d.edit.text.reset();

    const long count = Count(d.rows.primary);
    const long before = d.row;
    d.row = count > 0 ? 1 : 0;
    d.Notify(Change::Reset, 0, 0);
    if (before == 0 && d.row != 0) d.FireRowFocusChanged(d.row);
    return count;
}

long DataWindow::RetrieveKeepingEdits() {
    Impl& d = *d_;
    if (!d.retrievedWith) return -1;
    const std::vector<Value> args = *d.retrievedWith;
    std::vector<Row> fetched;
    if (d.Fetch(args, fetched) < 0) return -1;

    const Row* current = d.rows.At(d.row);
    const std::uint64_t id = current ? current->id : 0;
    if (!d.rows.KeepEdits(std::move(fetched), d.object->keys)) return -1;
    const long count = Count(d.rows.primary);
    const long before = d.row;
    // The current row stays on its row, and the pending edit with it; failing that the number
    // stays, within the rows there are.
    const long stays = id != 0 ? d.rows.Find(id, d.row) : 0;
    if (stays == 0) d.edit.text.reset();
    d.row = stays != 0 ? stays : std::min(d.row, count);
    if (d.row == 0 && count > 0) d.row = 1;
    d.Notify(Change::Reset, 0, 0);
    if (before == 0 && d.row != 0) d.FireRowFocusChanged(d.row);
    return count;
}

int DataWindow::Reset() {
    Impl& d = *d_;
    d.retrievedWith.reset();
    d.rows.Clear();
    d.edit.text.reset();
    d.row = 0;
    d.Notify(Change::Reset, 0, 0);
    return 1;
}

long DataWindow::RowCount() const {
    return Count(d_->rows.primary);
}

long DataWindow::DeletedCount() const {
    return Count(d_->rows.deleted);
}

long DataWindow::ModifiedCount() const {
    return d_->rows.ModifiedCount();
}

long DataWindow::InsertRow(long row) {
    Impl& d = *d_;
    if (!d.object) return -1;
    const long count = Count(d.rows.primary);
    long at = (row <= 0 || row > count) ? count + 1 : row;
    d.rows.primary.insert(d.rows.primary.begin() + (at - 1),
                          d.rows.Make(ItemStatus::New, d.object->def.columns.size()));
    d.Notify(Change::RowInserted, at, 0);
    return at;
}

int DataWindow::DeleteRow(long row) {
    Impl& d = *d_;
    long r = row == 0 ? d.row : row;
    if (r < 1 || r > Count(d.rows.primary)) return -1;
    if (r == d.row) {
        d.DropPending();
        if (r > Count(d.rows.primary)) return -1;  // an observer removed rows meanwhile
    }
    d.rows.Remove(r);

    // The current row stays on the same data row when a row above it goes; when the current row
    // itself goes, the next one takes its place, or the new last one when it was the last.
    const long before = d.row;
    const long count = Count(d.rows.primary);
    if (r < d.row) --d.row;
    if (d.row > count) d.row = count;
    d.Notify(Change::RowDeleted, r, 0);
    if (d.row != before) {
        d.Notify(Change::CurrentRow, d.row, d.column);
        d.FireRowFocusChanged(d.row);
    }
    return 1;
}

int DataWindow::ReselectRow(long row) {
    Impl& d = *d_;
    Transaction* trans = d.Trans();
    if (!d.object || d.object->def.updateTable.empty() || !trans || !d.object->KeysWritable()) return -1;
    const Row* x = d.rows.At(row);
    if (!x) return -1;

    const dw::Statement s = dw::SelectByKey(*d.object, *x);

    std::vector<std::vector<Value>> fetched;
    std::vector<Transaction::StoredText> stored;
    if (trans->Query(s.sql, s.args, fetched, &stored) < 0) {
        d.FireDbError(*trans, s.sql);
        return -1;
    }
    if (fetched.empty()) return -1;

    Row& target = d.rows.primary[static_cast<std::size_t>(row - 1)];
    const std::size_t n = d.object->def.columns.size();
    target.stored.clear();
    auto odd = stored.begin();
    for (std::size_t c = 0; c < n; ++c) {
        Value v = c < fetched[0].size() ? std::move(fetched[0][c]) : Value();
        const std::string* as = nullptr;
        if (odd != stored.end() && odd->row == 0 && odd->column == c) as = &(odd++)->text;
        target.values[c] = dw::AsRead(d.object->def.columns[c].type, std::move(v), as, target.stored, c);
    }
    target.originals.clear();
    target.modified.clear();
    target.status = ItemStatus::NotModified;
    if (row == d.row) d.DropPending();
    d.Notify(Change::RowReselected, row, 0);
    return 1;
}

long DataWindow::GetRow() const {
    return d_->row;
}

int DataWindow::SetRow(long row) {
    return d_->SetRow(row);
}

int DataWindow::ScrollToRow(long row) {
    const long count = RowCount();
    if (count == 0) return -1;
    return d_->SetRow(std::clamp(row, 1L, count));
}

long DataWindow::ScrollPriorRow() {
    if (d_->row > 1) d_->SetRow(d_->row - 1);
    return d_->row;
}

long DataWindow::ScrollNextRow() {
    if (d_->row < RowCount()) d_->SetRow(d_->row + 1);
    return d_->row;
}

int DataWindow::SelectRow(long row, bool select) {
    Impl& d = *d_;
    if (row == 0) {
        for (Row& x : d.rows.primary) x.selected = select;
    } else {
        if (row < 1 || row > Count(d.rows.primary)) return -1;
        d.rows.primary[static_cast<std::size_t>(row - 1)].selected = select;
    }
    d.Notify(Change::Selection, row, 0);
    return 1;
}

bool DataWindow::IsSelected(long row) const {
    const Row* x = d_->rows.At(row);
    return x && x->selected;
}

// ---- columns and edit text ------------------------------------------------------------------------

int DataWindow::SetColumn(std::string_view column) {
    int c = d_->Col(column);
    return c < 0 ? -1 : SetColumn(c + 1);
}

int DataWindow::SetColumn(int column) {
    Impl& d = *d_;
    if (column < 1 || !d.Focusable(column - 1)) return -1;
    if (column == d.column) return 1;
    if (d.AcceptText() != 1) return -1;
    if (!d.Focusable(column - 1)) return -1;
    d.MoveColumn(column);
    return 1;
}

int DataWindow::GetColumn() const {
    return d_->column;
}

std::string DataWindow::GetColumnName() const {
    const Impl& d = *d_;
    return d.ValidCol(d.column - 1) ? d.object->Column(d.column - 1).name : std::string();
}

std::string DataWindow::GetText() const {
    if (d_->edit.text) return *d_->edit.text;
    return d_->EditText(d_->row, d_->column - 1);
}

int DataWindow::SetText(std::string_view text) {
    Impl& d = *d_;
    if (!d.rows.At(d.row) || !d.TakesInput(d.column - 1)) return -1;
    d.edit.text = std::string(text);
    d.Notify(Change::EditText, d.row, d.column);
    return 1;
}

bool DataWindow::EditPending() const {
    return d_->edit.text.has_value();
}

int DataWindow::AcceptText() {
    return d_->AcceptText();
}

// ---- items ----------------------------------------------------------------------------------------

Value DataWindow::GetItem(long row, std::string_view column, Buffer b, bool original) const {
    const Row* x = d_->rows.At(row, b);
    int c = d_->Col(column);
    if (!x || c < 0) return Value();
    return original ? x->Original(static_cast<std::size_t>(c)) : x->values[static_cast<std::size_t>(c)];
}

std::optional<std::string> DataWindow::GetItemString(long row, std::string_view column, Buffer b,
                                                     bool original) const {
    return GetItem(row, column, b, original).AsString();
}

std::optional<double> DataWindow::GetItemNumber(long row, std::string_view column, Buffer b,
                                                bool original) const {
    return GetItem(row, column, b, original).AsReal();
}

std::optional<Decimal> DataWindow::GetItemDecimal(long row, std::string_view column, Buffer b,
                                                  bool original) const {
    return GetItem(row, column, b, original).AsDecimal();
}

std::optional<Date> DataWindow::GetItemDate(long row, std::string_view column, Buffer b,
                                            bool original) const {
    return GetItem(row, column, b, original).AsDate();
}

std::optional<std::string> DataWindow::GetItemString(long row, int column) const {
    const Row* x = d_->rows.At(row);
    if (!x || column < 1 || !d_->ValidCol(column - 1)) return std::nullopt;
    return x->values[static_cast<std::size_t>(column - 1)].AsString();
}

int DataWindow::SetItem(long row, std::string_view column, const Value& v) {
    return d_->SetItem(row, d_->Col(column), v);
}

int DataWindow::SetItem(long row, int column, const Value& v) {
    if (column < 1) return -1;
    return d_->SetItem(row, column - 1, v);
}

ItemStatus DataWindow::GetItemStatus(long row, std::string_view column, Buffer b) const {
    const Row* x = d_->rows.At(row, b);
    if (!x) return ItemStatus::NotModified;
    if (column.empty()) return x->status;
    int c = d_->Col(column);
    if (c < 0) return ItemStatus::NotModified;
    return x->Modified(static_cast<std::size_t>(c)) ? ItemStatus::DataModified : ItemStatus::NotModified;
}

// ---- write-back -----------------------------------------------------------------------------------

int DataWindow::Update(bool accept, bool resetFlags) {
    return d_->Update(accept, resetFlags);
}

int DataWindow::ResetUpdate() {
    d_->ResetFlags();
    return 1;
}

std::optional<UpdateConflict> DataWindow::LastUpdateConflict() const {
    return d_->conflict;
}

// ---- display --------------------------------------------------------------------------------------

std::string DataWindow::LookUpDisplay(long row, std::string_view column) const {
    return d_->LookUp(row, d_->Col(column));
}

std::string DataWindow::GetFormattedText(long row, std::string_view column) const {
    return d_->Formatted(row, d_->Col(column));
}

Value DataWindow::GetComputedValue(std::string_view compute, long /*row*/) const {
    const Impl& d = *d_;
    if (!d.object) return Value();
    int k = -1;
    for (std::size_t i = 0; i < d.object->def.computes.size(); ++i) {
        if (SameName(d.object->def.computes[i].name, compute)) k = static_cast<int>(i);
    }
    if (k < 0) return Value();
    const int c = d.object->computeColumn[static_cast<std::size_t>(k)];
    if (c < 0) return Value();
    const auto ci = static_cast<std::size_t>(c);
    const std::vector<Row>& rows = d.rows.primary;
    switch (d.object->Column(c).type) {
        // A total that does not fit is shown as nothing rather than as a wrong number.
        case ColType::Decimal: {
            Decimal sum;
            for (const Row& x : rows) {
                auto v = x.values[ci].AsDecimal();
                if (!v) continue;
                auto next = Decimal::Add(sum, *v);
                if (!next) return Value();
                sum = *next;
            }
            return Value(sum);
        }
        case ColType::Long: {
            std::int64_t sum = 0;
            for (const Row& x : rows) {
                if (__builtin_add_overflow(sum, x.values[ci].AsLong().value_or(0), &sum)) return Value();
            }
            return Value(sum);
        }
        case ColType::Real: {
            double sum = 0;
            for (const Row& x : rows) sum += x.values[ci].AsReal().value_or(0.0);
            return Value(sum);
        }
        default:
            return Value();
    }
}

std::string DataWindow::GetComputedText(std::string_view compute, long row) const {
    const DataWindowDef* def = Definition();
    const ComputeDef* cd = def ? def->Compute(compute) : nullptr;
    if (!cd) return {};
    return String(GetComputedValue(compute, row), cd->format);
}

DataWindow* DataWindow::GetChild(std::string_view column) {
    return d_->children.Child(d_->Col(column));
}

namespace {

// A column's property as Describe gives it; "!" for one it does not know.
std::string ColumnProperty(const ColumnDef& cd, std::string_view property) {
    if (SameName(property, "tag")) return cd.tag;
    if (SameName(property, "coltype")) return dw::ColTypeText(cd);
    if (SameName(property, "edit.limit")) return std::to_string(cd.limit);
    if (SameName(property, "name")) return cd.name;
    if (SameName(property, "dbname")) return cd.dbName;
    return "!";
}

// "(<quote>inner<quote>, row)" of Evaluate: the expression inside the quotes and the row; false
// when the text is not of that form.
bool ReadEvaluate(std::string_view rest, std::string_view& inner, long& row) {
    if (rest.size() < 2 || rest.front() != '(' || rest.back() != ')') return false;
    rest = dw::TrimView(rest.substr(1, rest.size() - 2));
    if (rest.empty() || (rest[0] != '\'' && rest[0] != '"')) return false;
    const char quote = rest[0];
    const std::size_t close = rest.find(quote, 1);
    if (close == std::string_view::npos) return false;
    inner = dw::TrimView(rest.substr(1, close - 1));
    std::string_view tail = dw::TrimView(rest.substr(close + 1));
    if (tail.empty() || tail[0] != ',') return false;
    tail = dw::TrimView(tail.substr(1));
    if (tail.empty()) return false;
    row = 0;
    for (char ch : tail) {
        if (ch < '0' || ch > '9' || row > 100000000) return false;
        row = row * 10 + (ch - '0');
    }
    return true;
}

}  // namespace

std::string DataWindow::Describe(std::string_view expression) const {
    const Impl& d = *d_;
    std::string_view e = dw::TrimView(expression);
    if (!d.object) return "!";

    // Evaluate('LookUpDisplay(col)', row)
    if (dw::StartsWithNoCase(e, "evaluate")) {
        std::string_view inner;
        long r = 0;
        if (!ReadEvaluate(dw::TrimView(e.substr(8)), inner, r)) return "!";
        if (dw::StartsWithNoCase(inner, "lookupdisplay")) {
            std::string_view arg = dw::TrimView(inner.substr(13));
            if (arg.size() < 2 || arg.front() != '(' || arg.back() != ')') return "!";
            int c = d.Col(dw::TrimView(arg.substr(1, arg.size() - 2)));
            if (c < 0) return "!";
            return d.self.LookUpDisplay(r, d.object->Column(c).name);
        }
        int c = d.Col(inner);
        if (c >= 0) return d.self.GetFormattedText(r, inner);
        return "!";
    }

    std::size_t dot = e.find('.');
    if (dot == std::string_view::npos) return "!";
    std::string_view object = e.substr(0, dot);
    std::string_view property = e.substr(dot + 1);
    if (SameName(object, "datawindow")) {
        if (SameName(property, "table.updatetable")) return d.object->def.updateTable;
        return "!";
    }
    int c = d.Col(object);
    if (c < 0) return "!";
    return ColumnProperty(d.object->Column(c), property);
}

// ---- events ---------------------------------------------------------------------------------------

int DataWindow::TriggerEvent(std::string_view event) {
    Impl& d = *d_;
    if (SameName(event, "rowfocuschanged")) {
        if (!rowfocuschanged) return -1;
        d.FireRowFocusChanged(d.row);
        return 1;
    }
    if (SameName(event, "itemfocuschanged")) {
        if (!itemfocuschanged) return -1;
        d.FireItemFocusChanged();
        return 1;
    }
    if (SameName(event, "clicked")) {
        auto handler = clicked;
        if (!handler) return -1;
        handler(0, 0, d.row, GetColumnName());
        return 1;
    }
    if (SameName(event, "doubleclicked")) {
        auto handler = doubleclicked;
        if (!handler) return -1;
        handler(0, 0, d.row, GetColumnName());
        return 1;
    }
    return -1;
}

int DataWindow::AddObserver(Observer o) {
    int id = d_->nextObserver++;
    d_->observers.emplace_back(id, std::move(o));
    return id;
}

void DataWindow::RemoveObserver(int id) {
    auto& obs = d_->observers;
    obs.erase(std::remove_if(obs.begin(), obs.end(), [id](const auto& o) { return o.first == id; }),
              obs.end());
}

int DataWindow::Click(long row, std::string_view column, long xpos, long ypos) {
    Impl& d = *d_;
    if (auto handler = clicked) {
        if (handler(xpos, ypos, row, column) == 1) return 1;
    }
    if (row < 1 || row > RowCount()) return 1;
    int c = d.Col(column);
    const bool moveColumn = d.Focusable(c) && c + 1 != d.column;
    if (row == d.row && !moveColumn) return 1;
    if (d.AcceptText() != 1) return -1;
    if (row <= RowCount()) d.MoveRow(row);
    // The row change may have run handlers that changed the object: look the column up again.
    c = d.Col(column);
    if (d.Focusable(c)) d.MoveColumn(c + 1);
    return 1;
}

void DataWindow::DoubleClick(long row, std::string_view column, long xpos, long ypos) {
    if (auto handler = doubleclicked) handler(xpos, ypos, row, column);
}

}  // namespace rt

#include "runtime/datawindow.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "runtime/editmask.h"
#include "runtime/text.h"

namespace rt {

namespace {

// One row of a buffer. Originals and item flags are made on the first change of the row, so that
// a retrieved row carries its values only.
struct Row {
    std::uint64_t id = 0;  // stable identity across renumbering, for re-entrant callers
    ItemStatus status = ItemStatus::NotModified;
    bool selected = false;
    std::vector<Value> values;
    std::vector<Value> originals;  // empty: the same as values
    std::vector<char> modified;    // empty: no item flagged

    const Value& Original(std::size_t c) const { return originals.empty() ? values[c] : originals[c]; }
    bool Modified(std::size_t c) const { return !modified.empty() && modified[c] != 0; }
};

long Count(const std::vector<Row>& rows) {
    return static_cast<long>(rows.size());
}

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

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && SameName(s.substr(0, prefix.size()), prefix);
}

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IsIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsIdentChar(char c) {
    return IsIdentStart(c) || (c >= '0' && c <= '9');
}

// A value converted to a column's (or argument's) type; nullopt when it does not convert. Null
// stays null.
std::optional<Value> ConvertTo(ColType type, const Value& v) {
    if (v.IsNull()) return Value();
    switch (type) {
        case ColType::Char:
            if (v.String()) return v;
            if (auto s = v.AsString()) return Value(std::move(*s));
            return std::nullopt;
        case ColType::Date:
            if (auto d = v.AsDate()) return Value(*d);
            return std::nullopt;
        case ColType::Decimal:
            if (auto d = v.AsDecimal()) return Value(*d);
            return std::nullopt;
        case ColType::Long:
            if (auto n = v.AsLong(); n && *n >= std::numeric_limits<std::int32_t>::min() &&
                                     *n <= std::numeric_limits<std::int32_t>::max())
                return Value(*n);
            return std::nullopt;
        case ColType::Real:
            if (auto r = v.AsReal()) return Value(*r);
            return std::nullopt;
    }
    return std::nullopt;
}

// A fetched value in the column's type. The database hands back what its column holds; a value
// that does not convert (text in a number column) is kept as text rather than lost.
Value FromDatabase(ColType type, Value&& v) {
    switch (type) {
        case ColType::Char:
            if (v.IsNull() || v.String()) return std::move(v);
            break;
        case ColType::Date:
            if (v.Date()) return std::move(v);
            break;
        case ColType::Decimal:
            if (v.Decimal()) return std::move(v);
            break;
        case ColType::Long:
            if (v.Long()) return std::move(v);
            if (auto n = v.AsLong()) return Value(*n);
            return std::move(v);
        case ColType::Real:
            if (v.Real()) return std::move(v);
            break;
    }
    if (auto c = ConvertTo(type, v)) return std::move(*c);
    return std::move(v);
}

std::string ColTypeText(const ColumnDef& c) {
    switch (c.type) {
        case ColType::Char:
            return "char(" + std::to_string(c.length) + ")";
        case ColType::Date:
            return "date";
        case ColType::Decimal:
            return "decimal(2)";
        case ColType::Long:
            return "long";
        case ColType::Real:
            return "real";
    }
    return "?";
}

// The bare column name that INSERT, UPDATE and WHERE use, from the SELECT list's expression:
// "j_xm_base.xm_id" -> xm_id, "\"j_xm_base\".\"xm_id\"" -> xm_id; "" for an expression.
std::string WriteName(const ColumnDef& c) {
    std::string_view db = c.dbName.empty() ? std::string_view(c.name) : std::string_view(c.dbName);
    if (db.find('(') != std::string_view::npos) return {};
    std::size_t dot = db.rfind('.');
    if (dot != std::string_view::npos) db = db.substr(dot + 1);
    std::string out;
    for (char ch : db) {
        if (ch != '"') out += ch;
    }
    return out;
}

// Plain texts of values for editing and the default display.
std::string PlainText(const Value& v) {
    return v.ToText();
}

// Whole number of at most 32 bits, as typed.
std::optional<std::int64_t> ParseLongEntry(std::string_view t) {
    std::string_view s = t;
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || s.size() > 12) return std::nullopt;
    std::int64_t n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (negative) n = -n;
    if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return n;
}

struct Checked {
    bool ok = false;
    bool unchanged = false;
    Value value;
    std::string why;
};

Checked Refuse(std::string why) {
    Checked c;
    c.why = std::move(why);
    return c;
}

Checked Accepted(Value v) {
    Checked c;
    c.ok = true;
    c.value = std::move(v);
    return c;
}

// The readers of typed text, one per edit style: each gives the value the text stands for (null
// when nothing is typed) or why it cannot be stored.

// A drop-down list takes a display text of its codes, or failing that a data value.
Checked ReadCode(const ColumnDef& cd, std::string_view text) {
    if (text.empty()) return Accepted(Value());
    for (const CodeEntry& e : cd.codes) {
        if (e.display == text) return Accepted(Value(e.data));
    }
    for (const CodeEntry& e : cd.codes) {
        if (e.data == text) return Accepted(Value(e.data));
    }
    return Refuse("不是列表中的值");
}

Checked ReadCheckBox(const ColumnDef& cd, std::string_view text) {
    if (text == cd.checkOn) return Accepted(Value(cd.checkOn));
    if (text == cd.checkOff) return Accepted(Value(cd.checkOff));
    return Refuse("不是复选框的取值");
}

Checked ReadMasked(const EditMask& mask, std::string_view text) {
    MaskInput in = mask.Read(text);
    if (!in.ok) return Refuse(std::move(in.why));
    return Accepted(std::move(in.value));
}

Checked ReadDate(const std::string& trimmed) {
    auto d = Date::Parse(trimmed);
    if (!d) return Refuse("不是有效的日期");
    return Accepted(Value(*d));
}

Checked ReadLong(const std::string& trimmed) {
    auto n = ParseLongEntry(trimmed);
    if (!n) return Refuse("不是有效的整数（-2147483648到2147483647）");
    return Accepted(Value(*n));
}

// Digits with at most a leading sign and one point; more than two decimals only as trailing zeros.
Checked ReadDecimal(const std::string& text) {
    const std::size_t point = text.find('.');
    const bool shape =
        text.find_first_not_of("+-0123456789.") == std::string::npos &&
        text.find_last_of("+-") == (text[0] == '+' || text[0] == '-' ? 0 : std::string::npos) &&
        (point == std::string::npos || text.find('.', point + 1) == std::string::npos);
    if (!shape) return Refuse("不是有效的数字");
    if (point != std::string::npos) {
        std::string decimals = text.substr(point + 1);
        while (decimals.size() > 2 && decimals.back() == '0') decimals.pop_back();
        if (decimals.size() > 2) return Refuse("小数部分不能超过2位");
    }
    auto d = Decimal::Parse(text);
    if (!d) return Refuse("不是有效的数字");
    return Accepted(Value(*d));
}

Checked ReadReal(const std::string& trimmed) {
    auto d = Value(trimmed).AsReal();
    if (!d) return Refuse("不是有效的数字");
    return Accepted(Value(*d));
}

// A plain field (one line or several): text is kept as typed; numbers and dates are read from the
// text without its blanks, and blanks alone are null.
Checked ReadEdit(ColType type, std::string_view text) {
    if (type == ColType::Char) return Accepted(Value(text));
    const std::string trimmed = Trim(text);
    if (trimmed.empty()) return Accepted(Value());
    switch (type) {
        case ColType::Date:
            return ReadDate(trimmed);
        case ColType::Long:
            return ReadLong(trimmed);
        case ColType::Decimal:
            return ReadDecimal(trimmed);
        case ColType::Real:
            return ReadReal(trimmed);
        case ColType::Char:
            break;
    }
    return Accepted(Value(text));
}

// Whether a value read from typed text leaves the stored one as it is.
bool LeavesAsIs(const ColumnDef& cd, const EditMask& mask, const Value& v, const Value& current) {
    if (v == current) return true;
    // Leaving an empty field empty is no change.
    if (cd.type == ColType::Char && current.IsNull() && v.String() && v.String()->empty()) return true;
    if (mask.Kind() == MaskKind::Date && !mask.Empty() && v.Date() && current.Date()) {
        // "yyyy-mm" names a month: the stored day is kept when the month is the same.
        const Date& a = *v.Date();
        const Date& b = *current.Date();
        return a.year == b.year && (!mask.HasMonth() || a.month == b.month) &&
               (!mask.HasDay() || a.day == b.day);
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------

struct DataWindow::Impl {
    explicit Impl(DataWindow& s) : self(s) {}

    DataWindow& self;

    // The object, copied so that a later registration of the same name cannot change it underfoot.
    std::shared_ptr<const DataWindowDef> def;
    std::uint64_t defGeneration = 0;
    std::vector<std::string> writeNames;  // per column
    std::vector<EditMask> masks;          // per column (empty unless the column edits through one)
    std::vector<int> keys;                // column indexes
    std::vector<int> computeColumn;       // per compute: the summed column, or -1
    std::string selectSql;                // with '?' for the ":name" markers
    std::vector<int> selectArgs;          // per marker: the argument's index
    bool selectOk = false;

    Transaction* trans = nullptr;
    std::weak_ptr<void> transAlive;  // a transaction destroyed while bound is never reached

    Transaction* Trans() const { return transAlive.expired() ? nullptr : trans; }

    std::vector<Row> primary, filter, deleted;
    std::uint64_t nextId = 1;
    long row = 0;    // current row, 0 when none
    int column = 0;  // current column, 0 when none
    std::optional<std::string> pending;
    bool accepting = false;
    // The refusal said last: its row, column, text and the user action it was said in.
    struct Refusal {
        long row = 0;
        int column = 0;
        std::string text;
        std::uint64_t action = 0;
        bool operator==(const Refusal&) const = default;
    };
    std::optional<Refusal> said;

    bool isChild = false;
    std::vector<std::unique_ptr<DataWindow>> children;  // per column, made on first need
    std::vector<Transaction*> childRetrievedWith;       // per column

    std::vector<std::pair<int, Observer>> observers;
    int nextObserver = 1;

    // ---- basics -------------------------------------------------------------------------------------

    int ColumnCount() const { return def ? static_cast<int>(def->columns.size()) : 0; }

    // 0-based index of a column name, or -1.
    int Col(std::string_view name) const {
        if (!def) return -1;
        for (std::size_t i = 0; i < def->columns.size(); ++i) {
            if (SameName(def->columns[i].name, name)) return static_cast<int>(i);
        }
        return -1;
    }

    bool ValidCol(int c) const { return c >= 0 && c < ColumnCount(); }

    const std::vector<Row>* Buf(Buffer b) const {
        switch (b) {
            case Buffer::Primary:
                return &primary;
            case Buffer::Filter:
                return &filter;
            case Buffer::Delete:
                return &deleted;
        }
        return &primary;
    }

    const Row* RowAt(long r, Buffer b = Buffer::Primary) const {
        const std::vector<Row>* rows = Buf(b);
        if (r < 1 || r > Count(*rows)) return nullptr;
        return &(*rows)[static_cast<std::size_t>(r - 1)];
    }

    // Current number of the row with this identity; `hint` first. 0 when it is gone.
    long FindRow(std::uint64_t id, long hint) const {
        if (hint >= 1 && hint <= Count(primary) && primary[static_cast<std::size_t>(hint - 1)].id == id)
            return hint;
        for (std::size_t i = 0; i < primary.size(); ++i) {
            if (primary[i].id == id) return static_cast<long>(i) + 1;
        }
        return 0;
    }

    Row NewRow(ItemStatus status) {
        Row r;
        r.id = nextId++;
        r.status = status;
        r.values.resize(static_cast<std::size_t>(ColumnCount()));
        return r;
    }

    bool Focusable(int c) const {
        return ValidCol(c) && def->columns[static_cast<std::size_t>(c)].tabOrder > 0;
    }

    bool TakesInput(int c) const {
        return Focusable(c) && !def->columns[static_cast<std::size_t>(c)].displayOnly;
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
        std::string name =
            ValidCol(column - 1) ? def->columns[static_cast<std::size_t>(column - 1)].name : "";
        handler(row, name);
    }

    // Takes its texts by value: a handler may run statements on the transaction (whose diagnostic
    // the text was) or change the object (whose SQL it was) while it still reads them.
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
        // A connection that went has been told of once; every failure it causes is that one.
        if (t.LossAlreadyTold()) return;
        FireDbError(t.SQLDBCode != 0 ? t.SQLDBCode : t.SQLCode, t.SQLErrText, std::move(sql));
    }

    // ---- object -------------------------------------------------------------------------------------

    void Load(const DataWindowDef& d) {
        def = std::make_shared<const DataWindowDef>(d);
        ++defGeneration;
        const auto n = def->columns.size();
        writeNames.assign(n, std::string());
        masks.assign(n, EditMask());
        keys.clear();
        for (std::size_t i = 0; i < n; ++i) {
            const ColumnDef& c = def->columns[i];
            writeNames[i] = WriteName(c);
            if (c.edit == EditStyle::EditMask && !c.mask.empty()) masks[i] = EditMask(c.mask, c.type);
            if (c.key) keys.push_back(static_cast<int>(i));
        }
        computeColumn.clear();
        for (const ComputeDef& cd : def->computes) computeColumn.push_back(SummedColumn(cd.expression));
        PrepareSelect();

        children.clear();
        children.resize(n);
        childRetrievedWith.assign(n, nullptr);

        primary.clear();
        filter.clear();
        deleted.clear();
        row = 0;
        pending.reset();
        // The cursor starts in the first field of the tab order.
        column = 0;
        int best = 0;
        for (std::size_t i = 0; i < n; ++i) {
            int t = def->columns[i].tabOrder;
            if (t > 0 && (best == 0 || t < best)) {
                best = t;
                column = static_cast<int>(i) + 1;
            }
        }
    }

    // "sum(<column> for all)" -> the column; -1 for any other expression.
    int SummedColumn(std::string_view expr) const {
        std::string_view e = TrimView(expr);
        if (!StartsWithNoCase(e, "sum")) return -1;
        e = TrimView(e.substr(3));
        if (e.size() < 2 || e.front() != '(' || e.back() != ')') return -1;
        e = TrimView(e.substr(1, e.size() - 2));
        std::vector<std::string_view> words;
        while (!e.empty()) {
            std::size_t end = e.find_first_of(" \t");
            words.push_back(e.substr(0, end));
            if (end == std::string_view::npos) break;
            e = TrimView(e.substr(end));
        }
        if (words.size() != 3 || !SameName(words[1], "for") || !SameName(words[2], "all")) return -1;
        return Col(words[0]);
    }

    // The ":name" markers outside quoted text become '?' parameters, bound in order of appearance.
    void PrepareSelect() {
        selectSql.clear();
        selectArgs.clear();
        selectOk = true;
        const std::string& s = def->select;
        selectSql.reserve(s.size());
        std::size_t i = 0;
        while (i < s.size()) {
            char c = s[i];
            if (c == '\'' || c == '"') {
                // Quoted text or a quoted name, with doubled quotes inside.
                std::size_t j = i + 1;
                while (j < s.size()) {
                    if (s[j] == c) {
                        if (j + 1 < s.size() && s[j + 1] == c) {
                            j += 2;
                            continue;
                        }
                        break;
                    }
                    ++j;
                }
                std::size_t end = std::min(j + 1, s.size());
                selectSql.append(s, i, end - i);
                i = end;
                continue;
            }
            if (c == ':' && i + 1 < s.size() && IsIdentStart(s[i + 1])) {
                std::size_t j = i + 1;
                while (j < s.size() && IsIdentChar(s[j])) ++j;
                std::string_view name(s.data() + i + 1, j - i - 1);
                int arg = -1;
                for (std::size_t a = 0; a < def->arguments.size(); ++a) {
                    if (SameName(def->arguments[a].name, name)) arg = static_cast<int>(a);
                }
                if (arg < 0) selectOk = false;
                selectArgs.push_back(arg);
                selectSql += '?';
                i = j;
                continue;
            }
            selectSql += c;
            ++i;
        }
    }

    // ---- drop-down DataWindows ----------------------------------------------------------------------

    DataWindow* Child(int c) {
        if (!ValidCol(c)) return nullptr;
        const ColumnDef& cd = def->columns[static_cast<std::size_t>(c)];
        if (cd.edit != EditStyle::DropDownDW || cd.dddwObject.empty()) return nullptr;
        auto& slot = children[static_cast<std::size_t>(c)];
        if (!slot) {
            auto child = std::make_unique<DataWindow>();
            child->d_->isChild = true;
            if (child->SetDataObject(cd.dddwObject) != 1) return nullptr;
            // A code table that cannot be read is the parent's database error: its handler hears
            // it, and only one message is said. The child lives inside the parent.
            child->dberror = [this](long code, std::string_view text, std::string_view sql) {
                FireDbError(code, std::string(text), std::string(sql));
                return 1;
            };
            slot = std::move(child);
        }
        return slot.get();
    }

    // The code tables behind drop-down DataWindows never change while the program runs: each is
    // read once per transaction, when the parent is bound to a connected transaction or, failing
    // that, on the parent's next Retrieve.
    void RetrieveChildren() {
        Transaction* t = Trans();
        if (isChild || !def || !t) return;
        for (int c = 0; c < ColumnCount(); ++c) {
            DataWindow* child = Child(c);
            if (!child || childRetrievedWith[static_cast<std::size_t>(c)] == t) continue;
            child->SetTransObject(*t);
            // Looked up again: the child's error handler may have run the application's.
            if (child->Retrieve() >= 0 && c < ColumnCount())
                childRetrievedWith[static_cast<std::size_t>(c)] = t;
        }
    }

    // Row of the child whose data column holds `data`; 0 when none.
    struct ChildColumns {
        DataWindow* child = nullptr;
        int display = -1;
        int data = -1;
    };

    ChildColumns ChildOf(int c) {
        ChildColumns out;
        out.child = Child(c);
        if (!out.child) return out;
        const ColumnDef& cd = def->columns[static_cast<std::size_t>(c)];
        out.display = out.child->d_->Col(cd.dddwDisplay);
        out.data = out.child->d_->Col(cd.dddwData);
        if (out.display < 0 || out.data < 0) out.child = nullptr;
        return out;
    }

    // ---- display ------------------------------------------------------------------------------------

    // The display text for the stored value of a code column; nullopt when the value has none.
    std::optional<std::string> CodeDisplay(int c, const Value& v) {
        const ColumnDef& cd = def->columns[static_cast<std::size_t>(c)];
        if (v.IsNull()) return std::nullopt;
        const std::string text = v.ToText();
        if (cd.edit == EditStyle::DropDownList) {
            const std::string* display = cd.CodeDisplay(text);
            return display ? std::optional<std::string>(*display) : std::nullopt;
        }
        const std::string_view bare = WithoutTrailingBlanks(text);
        ChildColumns cc = ChildOf(c);
        if (!cc.child) return std::nullopt;
        const std::vector<Row>& rows = cc.child->d_->primary;
        const auto data = static_cast<std::size_t>(cc.data);
        const auto display = static_cast<std::size_t>(cc.display);
        for (const Row& r : rows) {
            if (r.values[data].ToText() == text) return r.values[display].ToText();
        }
        for (const Row& r : rows) {
            if (WithoutTrailingBlanks(r.values[data].ToText()) == bare) return r.values[display].ToText();
        }
        return std::nullopt;
    }

    std::string LookUp(long r, int c) {
        const Row* x = RowAt(r);
        if (!x || !ValidCol(c)) return {};
        const ColumnDef& cd = def->columns[static_cast<std::size_t>(c)];
        const Value& v = x->values[static_cast<std::size_t>(c)];
        if (cd.edit == EditStyle::DropDownList || cd.edit == EditStyle::DropDownDW)
            return CodeDisplay(c, v).value_or(std::string());
        return PlainText(v);
    }

    std::string Formatted(long r, int c) {
        const Row* x = RowAt(r);
        if (!x || !ValidCol(c)) return {};
        const ColumnDef& cd = def->columns[static_cast<std::size_t>(c)];
        const Value& v = x->values[static_cast<std::size_t>(c)];
        switch (cd.edit) {
            case EditStyle::DropDownList:
            case EditStyle::DropDownDW:
                return CodeDisplay(c, v).value_or(std::string());
            case EditStyle::CheckBox:
                return PlainText(v);
            default:
                break;
        }
        if (!cd.format.empty()) return String(v, cd.format);
        const EditMask& m = masks[static_cast<std::size_t>(c)];
        if (!m.Empty()) return m.Show(v);
        return PlainText(v);
    }

    // The item as the edit control shows it when nothing is typed yet.
    std::string EditText(long r, int c) {
        const Row* x = RowAt(r);
        if (!x || !ValidCol(c)) return {};
        const ColumnDef& cd = def->columns[static_cast<std::size_t>(c)];
        const Value& v = x->values[static_cast<std::size_t>(c)];
        switch (cd.edit) {
            case EditStyle::DropDownList:
            case EditStyle::DropDownDW:
                if (auto d = CodeDisplay(c, v)) return *d;
                return PlainText(v);
            default:
                break;
        }
        const EditMask& m = masks[static_cast<std::size_t>(c)];
        if (!m.Empty()) return m.Show(v);
        return PlainText(v);
    }

    // ---- validation ---------------------------------------------------------------------------------

    // Reads typed text for column c of row r: its value, or why it is refused, and whether it leaves
    // the stored value as it is.
    Checked Check(long r, int c, std::string_view text) {
        const ColumnDef& cd = def->columns[static_cast<std::size_t>(c)];
        Checked out = Read(c, text);
        if (!out.ok) return out;

        auto converted = ConvertTo(cd.type, out.value);
        if (!converted) return Refuse("与列的类型不符");
        out.value = std::move(*converted);

        if (const std::string* s = out.value.String()) {
            const std::size_t limit = ByteLimit(cd);
            if (limit > 0 && GbkLength(*s) > limit)
                return Refuse("输入超过了" + std::to_string(limit) + "个字节（一个汉字占两个字节）");
        }

        const Value& current = primary[static_cast<std::size_t>(r - 1)].values[static_cast<std::size_t>(c)];
        out.unchanged = LeavesAsIs(cd, masks[static_cast<std::size_t>(c)], out.value, current);
        return out;
    }

    // The typed text as the column's edit style reads it.
    Checked Read(int c, std::string_view text) {
        const ColumnDef& cd = def->columns[static_cast<std::size_t>(c)];
        const EditMask& mask = masks[static_cast<std::size_t>(c)];
        switch (cd.edit) {
            case EditStyle::DropDownList:
                return ReadCode(cd, text);
            case EditStyle::DropDownDW:
                return ReadChildCode(c, text);
            case EditStyle::CheckBox:
                return ReadCheckBox(cd, text);
            case EditStyle::EditMask:
                if (!mask.Empty()) return ReadMasked(mask, text);
                [[fallthrough]];  // a mask column without a mask edits as a plain field
            case EditStyle::Edit:
                return ReadEdit(cd.type, text);
        }
        return Accepted(Value());
    }

    // A drop-down DataWindow takes a display text of its code table, or failing that a data value.
    Checked ReadChildCode(int c, std::string_view text) {
        if (text.empty()) return Accepted(Value());
        const ChildColumns cc = ChildOf(c);
        if (!cc.child) return Refuse("不是列表中的值");
        const std::vector<Row>& rows = cc.child->d_->primary;
        const auto display = static_cast<std::size_t>(cc.display);
        const auto data = static_cast<std::size_t>(cc.data);
        for (const Row& x : rows) {
            if (x.values[display].ToText() == text) return Accepted(x.values[data]);
        }
        for (const Row& x : rows) {
            if (x.values[data].ToText() == text) return Accepted(x.values[data]);
        }
        return Refuse("不是列表中的值");
    }

    // ---- items --------------------------------------------------------------------------------------

    void Store(long r, int c, Value v) {
        Row& x = primary[static_cast<std::size_t>(r - 1)];
        if (x.originals.empty()) x.originals = x.values;
        if (x.modified.empty()) x.modified.assign(x.values.size(), 0);
        x.values[static_cast<std::size_t>(c)] = std::move(v);
        x.modified[static_cast<std::size_t>(c)] = 1;
        if (x.status == ItemStatus::New) x.status = ItemStatus::NewModified;
        if (x.status == ItemStatus::NotModified) x.status = ItemStatus::DataModified;
    }

    int SetItem(long r, int c, const Value& v) {
        if (!RowAt(r) || !ValidCol(c)) return -1;
        auto converted = ConvertTo(def->columns[static_cast<std::size_t>(c)].type, v);
        if (!converted) return -1;
        Store(r, c, std::move(*converted));
        Notify(Change::ItemChanged, r, c + 1);
        return 1;
    }

    // ---- edit text ----------------------------------------------------------------------------------

    void DropPending() {
        if (!pending) return;
        pending.reset();
        Notify(Change::EditText, row, column);
    }

    int AcceptText() {
        if (!pending || accepting) return 1;
        const int c = column - 1;
        if (!RowAt(row) || !ValidCol(c)) {
            DropPending();
            return 1;
        }
        const long r = row;
        const std::string text = *pending;
        const std::string name = def->columns[static_cast<std::size_t>(c)].name;
        Checked checked = Check(r, c, text);
        if (!checked.ok) {
            auto handler = self.itemerror;
            int answer = handler ? handler(r, name, text, checked.why) : 0;
            const Refusal refusal{r, column, text, UserActions()};
            if (answer != 1 && said != refusal) {
                said = refusal;
                Say("数据窗口", "输入的值“" + text + "”无效：" + checked.why);
            }
            return -1;
        }
        if (checked.unchanged) {
            DropPending();
            return 1;
        }

        const std::uint64_t id = primary[static_cast<std::size_t>(r - 1)].id;
        const std::uint64_t generation = defGeneration;
        int answer = 0;
        if (auto handler = self.itemchanged) {
            accepting = true;
            struct Reset {
                bool& flag;
                ~Reset() { flag = false; }
            } reset{accepting};
            answer = handler(r, name, text);
        }
        if (answer == 1) return -1;  // rejected: the text stays for the user to correct
        DropPending();
        if (answer == 2) return 1;  // rejected, and the edit is given up
        // The handler may have moved, inserted or removed rows: store into the row that was edited,
        // wherever it is now, unless it is gone.
        if (generation != defGeneration) return 1;
        long at = FindRow(id, r);
        if (at == 0) return 1;
        Store(at, c, std::move(checked.value));
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
        if (r < 1 || r > Count(primary)) return -1;
        if (r == row) return 1;
        if (AcceptText() != 1) return -1;
        if (r > Count(primary)) return -1;  // a handler removed rows meanwhile
        MoveRow(r);
        return 1;
    }

    // ---- write-back ---------------------------------------------------------------------------------

    struct Statement {
        std::string sql;
        std::vector<Value> args;
        bool mustMatch = false;
    };

    void Where(const Row& x, Statement& s) const {
        s.sql += " WHERE ";
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (i > 0) s.sql += " AND ";
            s.sql += writeNames[static_cast<std::size_t>(keys[i])];
            s.sql += " = ?";
            s.args.push_back(x.Original(static_cast<std::size_t>(keys[i])));
        }
    }

    bool KeysWritable() const {
        if (keys.empty()) return false;
        for (int k : keys) {
            if (writeNames[static_cast<std::size_t>(k)].empty()) return false;
        }
        return true;
    }

    // Whether INSERT writes column c of a new row: one that was set and that the object writes.
    bool Inserted(const Row& x, std::size_t c) const {
        const ColumnDef& cd = def->columns[c];
        return x.Modified(c) && (cd.updatable || cd.key) && !writeNames[c].empty();
    }

    bool WritesAnything(const Row& x) const {
        for (std::size_t c = 0; c < x.values.size(); ++c) {
            if (Inserted(x, c)) return true;
        }
        return false;
    }

    void Plan(const Row& x, std::vector<Statement>& plan) const {
        const std::string& table = def->updateTable;
        if (x.status == ItemStatus::NewModified) {
            Statement s;
            std::string names, marks;
            for (std::size_t c = 0; c < x.values.size(); ++c) {
                if (!Inserted(x, c)) continue;
                if (!names.empty()) {
                    names += ", ";
                    marks += ", ";
                }
                names += writeNames[c];
                marks += '?';
                s.args.push_back(x.values[c]);
            }
            if (names.empty()) return;
            s.sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
            plan.push_back(std::move(s));
        } else if (x.status == ItemStatus::DataModified) {
            Statement s;
            std::string sets;
            for (std::size_t c = 0; c < x.values.size(); ++c) {
                if (!x.Modified(c) || !def->columns[c].updatable || writeNames[c].empty()) continue;
                if (!sets.empty()) sets += ", ";
                sets += writeNames[c] + " = ?";
                s.args.push_back(x.values[c]);
            }
            if (sets.empty()) return;
            s.sql = "UPDATE " + table + " SET " + sets;
            Where(x, s);
            s.mustMatch = true;
            plan.push_back(std::move(s));
        }
    }

    // After a save: what was written is now stored. A new row that had nothing to write (only
    // columns the object does not write were set) was not inserted, so it stays a new row; were it
    // counted as stored, its next change would be an UPDATE and its deletion a DELETE of nothing.
    void ResetFlags() {
        for (std::vector<Row>* buf : {&primary, &filter}) {
            for (Row& x : *buf) {
                if (x.status == ItemStatus::NewModified && def && !WritesAnything(x)) {
                    x.status = ItemStatus::New;
                } else if (x.status != ItemStatus::New) {
                    x.status = ItemStatus::NotModified;
                }
                x.originals.clear();
                x.modified.clear();
            }
        }
        deleted.clear();
    }

    int Update(bool accept, bool resetFlags) {
        if (!def) return -1;
        if (accept && AcceptText() != 1) return -1;
        Transaction* trans = Trans();
        if (!def || def->updateTable.empty() || !trans) return -1;

        std::vector<Statement> plan;
        bool needKeys = !deleted.empty();
        for (const Row& x : deleted) {
            Statement s;
            s.sql = "DELETE FROM " + def->updateTable;
            Where(x, s);
            s.mustMatch = true;
            plan.push_back(std::move(s));
        }
        for (const std::vector<Row>* buf : {&primary, &filter}) {
            for (const Row& x : *buf) {
                needKeys = needKeys || x.status == ItemStatus::DataModified;
                Plan(x, plan);
            }
        }
        if (needKeys && !KeysWritable()) {
            FireDbError(-1, "数据窗口没有可以定位行的键列：" + def->name, std::string());
            return -1;
        }

        // Nothing below calls back into the application until a failure is reported, after which
        // only locals are touched.
        for (const Statement& s : plan) {
            long code = trans->Execute(s.sql, s.args);
            if (code < 0) {
                FireDbError(*trans, s.sql);
                return -1;
            }
            if (s.mustMatch && trans->SQLNRows == 0) {
                FireDbError(-1, "数据库中已没有要修改或删除的行。", s.sql);
                return -1;
            }
        }
        if (resetFlags) ResetFlags();
        return 1;
    }
};

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
    return d_->def ? d_->def->name : std::string();
}

const DataWindowDef* DataWindow::Definition() const {
    return d_->def.get();
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
    if (!d.def || !d.Trans() || !d.selectOk) return -1;
    // The code tables first, so that a failure of theirs, and whatever its handler does, comes
    // before this object's rows change rather than in the middle of replacing them.
    if (d.Trans()->Connected()) d.RetrieveChildren();
    Transaction* trans = d.Trans();
    if (!d.def || !trans || !d.selectOk) return -1;

    std::vector<Value> params;
    params.reserve(d.selectArgs.size());
    for (int a : d.selectArgs) {
        Value v = a < static_cast<int>(args.size()) ? args[static_cast<std::size_t>(a)] : Value();
        auto converted = ConvertTo(d.def->arguments[static_cast<std::size_t>(a)].type, v);
        if (!converted) return -1;
        params.push_back(std::move(*converted));
    }

    std::vector<std::vector<Value>> fetched;
    if (trans->Query(d.selectSql, params, fetched) < 0) {
        // The rows and whatever the user was typing stay as they were.
        d.FireDbError(*trans, d.selectSql);
        return -1;
    }

    const std::size_t n = d.def->columns.size();
    std::vector<ColType> types(n);
    for (std::size_t c = 0; c < n; ++c) types[c] = d.def->columns[c].type;

    std::vector<Row> rows;
    rows.reserve(fetched.size());
    for (auto& f : fetched) {
        Row x;
        x.id = d.nextId++;
        x.values.resize(n);
        const std::size_t m = std::min(n, f.size());
        for (std::size_t c = 0; c < m; ++c) x.values[c] = FromDatabase(types[c], std::move(f[c]));
        rows.push_back(std::move(x));
    }
    d.primary = std::move(rows);
    d.filter.clear();
    d.deleted.clear();
    d.pending.reset();

    const long count = Count(d.primary);
    const long before = d.row;
    d.row = count > 0 ? 1 : 0;
    d.Notify(Change::Reset, 0, 0);
    if (before == 0 && d.row != 0) d.FireRowFocusChanged(d.row);
    return count;
}

int DataWindow::Reset() {
    Impl& d = *d_;
    d.primary.clear();
    d.filter.clear();
    d.deleted.clear();
    d.pending.reset();
    d.row = 0;
    d.Notify(Change::Reset, 0, 0);
    return 1;
}

long DataWindow::RowCount() const {
    return Count(d_->primary);
}

long DataWindow::DeletedCount() const {
    return Count(d_->deleted);
}

long DataWindow::ModifiedCount() const {
    long n = 0;
    for (const std::vector<Row>* buf : {&d_->primary, &d_->filter}) {
        for (const Row& x : *buf) {
            if (x.status == ItemStatus::DataModified || x.status == ItemStatus::NewModified) ++n;
        }
    }
    return n;
}

long DataWindow::InsertRow(long row) {
    Impl& d = *d_;
    if (!d.def) return -1;
    const long count = Count(d.primary);
    long at = (row <= 0 || row > count) ? count + 1 : row;
    d.primary.insert(d.primary.begin() + (at - 1), d.NewRow(ItemStatus::New));
    d.Notify(Change::RowInserted, at, 0);
    return at;
}

int DataWindow::DeleteRow(long row) {
    Impl& d = *d_;
    long r = row == 0 ? d.row : row;
    if (r < 1 || r > Count(d.primary)) return -1;
    if (r == d.row) {
        d.DropPending();
        if (r > Count(d.primary)) return -1;  // an observer removed rows meanwhile
    }

    Row taken = std::move(d.primary[static_cast<std::size_t>(r - 1)]);
    d.primary.erase(d.primary.begin() + (r - 1));
    if (taken.status == ItemStatus::NotModified || taken.status == ItemStatus::DataModified) {
        taken.selected = false;
        d.deleted.push_back(std::move(taken));
    }

    // The current row stays on the same data row when a row above it goes; when the current row
    // itself goes, the next one takes its place, or the new last one when it was the last.
    const long before = d.row;
    const long count = Count(d.primary);
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
    if (!d.def || d.def->updateTable.empty() || !trans || !d.KeysWritable()) return -1;
    const Row* x = d.RowAt(row);
    if (!x) return -1;

    Impl::Statement s;
    s.sql = "SELECT ";
    for (std::size_t c = 0; c < d.def->columns.size(); ++c) {
        const ColumnDef& cd = d.def->columns[c];
        if (c > 0) s.sql += ", ";
        s.sql += cd.dbName.empty() ? cd.name : cd.dbName;
    }
    s.sql += " FROM " + d.def->updateTable;
    d.Where(*x, s);

    std::vector<std::vector<Value>> fetched;
    if (trans->Query(s.sql, s.args, fetched) < 0) {
        d.FireDbError(*trans, s.sql);
        return -1;
    }
    if (fetched.empty()) return -1;

    Row& target = d.primary[static_cast<std::size_t>(row - 1)];
    const std::size_t n = d.def->columns.size();
    for (std::size_t c = 0; c < n; ++c) {
        Value v = c < fetched[0].size() ? std::move(fetched[0][c]) : Value();
        target.values[c] = FromDatabase(d.def->columns[c].type, std::move(v));
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
        for (Row& x : d.primary) x.selected = select;
    } else {
        if (row < 1 || row > Count(d.primary)) return -1;
        d.primary[static_cast<std::size_t>(row - 1)].selected = select;
    }
    d.Notify(Change::Selection, row, 0);
    return 1;
}

bool DataWindow::IsSelected(long row) const {
    const Row* x = d_->RowAt(row);
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
    return d.ValidCol(d.column - 1) ? d.def->columns[static_cast<std::size_t>(d.column - 1)].name
                                    : std::string();
}

std::string DataWindow::GetText() const {
    if (d_->pending) return *d_->pending;
    return d_->EditText(d_->row, d_->column - 1);
}

int DataWindow::SetText(std::string_view text) {
    Impl& d = *d_;
    if (!d.RowAt(d.row) || !d.TakesInput(d.column - 1)) return -1;
    d.pending = std::string(text);
    d.Notify(Change::EditText, d.row, d.column);
    return 1;
}

bool DataWindow::EditPending() const {
    return d_->pending.has_value();
}

int DataWindow::AcceptText() {
    return d_->AcceptText();
}

// ---- items ----------------------------------------------------------------------------------------

Value DataWindow::GetItem(long row, std::string_view column, Buffer b, bool original) const {
    const Row* x = d_->RowAt(row, b);
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
    const Row* x = d_->RowAt(row);
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
    const Row* x = d_->RowAt(row, b);
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

// ---- display --------------------------------------------------------------------------------------

std::string DataWindow::LookUpDisplay(long row, std::string_view column) const {
    return d_->LookUp(row, d_->Col(column));
}

std::string DataWindow::GetFormattedText(long row, std::string_view column) const {
    return d_->Formatted(row, d_->Col(column));
}

Value DataWindow::GetComputedValue(std::string_view compute, long /*row*/) const {
    const Impl& d = *d_;
    if (!d.def) return Value();
    int k = -1;
    for (std::size_t i = 0; i < d.def->computes.size(); ++i) {
        if (SameName(d.def->computes[i].name, compute)) k = static_cast<int>(i);
    }
    if (k < 0) return Value();
    const int c = d.computeColumn[static_cast<std::size_t>(k)];
    if (c < 0) return Value();
    const auto ci = static_cast<std::size_t>(c);
    switch (d.def->columns[ci].type) {
        // A total that does not fit is shown as nothing rather than as a wrong number.
        case ColType::Decimal: {
            Decimal sum;
            for (const Row& x : d.primary) {
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
            for (const Row& x : d.primary) {
                if (__builtin_add_overflow(sum, x.values[ci].AsLong().value_or(0), &sum)) return Value();
            }
            return Value(sum);
        }
        case ColType::Real: {
            double sum = 0;
            for (const Row& x : d.primary) sum += x.values[ci].AsReal().value_or(0.0);
            return Value(sum);
        }
        default:
            return Value();
    }
}

std::string DataWindow::GetComputedText(std::string_view compute, long row) const {
    const DataWindowDef* def = d_->def.get();
    const ComputeDef* cd = def ? def->Compute(compute) : nullptr;
    if (!cd) return {};
    return String(GetComputedValue(compute, row), cd->format);
}

DataWindow* DataWindow::GetChild(std::string_view column) {
    return d_->Child(d_->Col(column));
}

std::string DataWindow::Describe(std::string_view expression) const {
    const Impl& d = *d_;
    std::string_view e = TrimView(expression);
    if (!d.def) return "!";

    // Evaluate('LookUpDisplay(col)', row)
    if (StartsWithNoCase(e, "evaluate")) {
        std::string_view rest = TrimView(e.substr(8));
        if (rest.size() < 2 || rest.front() != '(' || rest.back() != ')') return "!";
        rest = TrimView(rest.substr(1, rest.size() - 2));
        if (rest.empty() || (rest[0] != '\'' && rest[0] != '"')) return "!";
        const char quote = rest[0];
        std::size_t close = rest.find(quote, 1);
        if (close == std::string_view::npos) return "!";
        std::string_view inner = TrimView(rest.substr(1, close - 1));
        std::string_view tail = TrimView(rest.substr(close + 1));
        if (tail.empty() || tail[0] != ',') return "!";
        tail = TrimView(tail.substr(1));
        long r = 0;
        if (tail.empty()) return "!";
        for (char ch : tail) {
            if (ch < '0' || ch > '9' || r > 100000000) return "!";
            r = r * 10 + (ch - '0');
        }
        if (StartsWithNoCase(inner, "lookupdisplay")) {
            std::string_view arg = TrimView(inner.substr(13));
            if (arg.size() < 2 || arg.front() != '(' || arg.back() != ')') return "!";
            int c = d.Col(TrimView(arg.substr(1, arg.size() - 2)));
            if (c < 0) return "!";
            return d.self.LookUpDisplay(r, d.def->columns[static_cast<std::size_t>(c)].name);
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
        if (SameName(property, "table.updatetable")) return d.def->updateTable;
        return "!";
    }
    int c = d.Col(object);
    if (c < 0) return "!";
    const ColumnDef& cd = d.def->columns[static_cast<std::size_t>(c)];
    if (SameName(property, "tag")) return cd.tag;
    if (SameName(property, "coltype")) return ColTypeText(cd);
    if (SameName(property, "edit.limit")) return std::to_string(cd.limit);
    if (SameName(property, "name")) return cd.name;
    if (SameName(property, "dbname")) return cd.dbName;
    return "!";
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

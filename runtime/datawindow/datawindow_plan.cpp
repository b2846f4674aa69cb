#include "runtime/datawindow/datawindow_plan.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace rt::dw {

namespace {

// ---- finding a row by the values read ----------------------------------------------------------------
//
// A number read back is not always the number stored: SQLite holds reals, and decimals too, as
// binary doubles, and its ODBC driver hands them back rounded to 15 significant digits, where
// PostgreSQL hands back every digit. Compared with `=`, such a value would never find its row again,
// not even once read afresh, and the row could never be saved. So a number that may have been
// rounded that way is compared as the range of numbers that round to it: a real whose shortest text
// has at most 15 significant digits, and a decimal of more than 13 whole digits (up to that, 15
// digits hold every cent, and `=` is exact: PostgreSQL compares the bound text as a numeric, SQLite
// gives it the column's numeric affinity and so turns it into the very double it stored). Anything
// else compares with `=`, which is exact on both: whole numbers; text, trailing blanks included
// (the columns are varchar); dates, which SQLite keeps as the 'YYYY-MM-DD' text the program writes.
// A value that another program stored in a form of its own (SQLite keeps what it is given: a date
// with a time of day, an amount with three decimals) is compared as the text it was read from,
// which each database takes as it took the value stored.

struct Range {
    std::string low, high;  // as "<digits>e<exponent>", low <= high
};

constexpr std::size_t kReadDigits = 15;

// The numbers that 15 significant digits show as `digits` (no trailing zeros) times ten to
// `exponent`, each end included.
std::optional<Range> RoundingRange(bool negative, const std::string& digits, int exponent) {
    if (digits.empty() || digits.size() > kReadDigits) return std::nullopt;
    std::int64_t m = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), m);
    for (std::size_t i = digits.size(); i < kReadDigits; ++i) {
        m *= 10;
        --exponent;
    }
    auto text = [](std::int64_t n, int e) { return std::to_string(n) + "e" + std::to_string(e); };
    Range r{text(m * 10 - 5, exponent - 1), text(m * 10 + 5, exponent - 1)};
    // Just below a power of ten the numbers have one whole digit less, and a unit ten times finer.
    if (m == 100000000000000) r.low = text(m * 100 - 5, exponent - 2);
    if (negative) return Range{"-" + r.high, "-" + r.low};
    return r;
}

std::optional<Range> RealRange(double v) {
    if (!std::isfinite(v) || v == 0) return std::nullopt;
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific).ptr;
    const std::string_view text(buf, static_cast<std::size_t>(end - buf));  // "-6.25e-01"
    const std::size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e)) {
        if (c >= '0' && c <= '9') digits += c;
    }
    int exponent = 0;
    std::string_view power = text.substr(e + 1);
    if (!power.empty() && power[0] == '+') power.remove_prefix(1);
    std::from_chars(power.data(), power.data() + power.size(), exponent);
    exponent -= static_cast<int>(digits.size()) - 1;
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    return RoundingRange(v < 0, digits, exponent);
}

std::optional<Range> DecimalRange(Decimal d) {
    const std::int64_t cents = d.Cents();
    const std::uint64_t magnitude =
        cents < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(cents) : static_cast<std::uint64_t>(cents);
    if (magnitude < 1000000000000000) return std::nullopt;  // at most 13 whole digits
    std::string digits = std::to_string(magnitude);
    int exponent = -2;
    while (digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    return RoundingRange(cents < 0, digits, exponent);
}

double ToDouble(const std::string& text) {
    double d = 0;
    std::from_chars(text.data(), text.data() + text.size(), d);
    return d;
}

// "<name> = ?", "<name> IS NULL" or "<name> BETWEEN ? AND ?" for the value read; `storedAs`, the
// text the database holds it as when that is a form of its own (a date with a time of day, say),
// which is what `=` compares with then.
void AppendMatch(Statement& s, const std::string& name, const Value& read, const std::string* storedAs) {
    s.sql += name;
    if (read.IsNull()) {
        s.sql += " IS NULL";
        return;
    }
    if (const double* real = read.Real()) {
        if (auto r = RealRange(*real)) {
            s.sql += " BETWEEN ? AND ?";
            // Widened by one double each way, so that a number exactly at an end is inside.
            s.args.emplace_back(std::nextafter(ToDouble(r->low), -HUGE_VAL));
            s.args.emplace_back(std::nextafter(ToDouble(r->high), HUGE_VAL));
            return;
        }
    } else if (const Decimal* decimal = read.Decimal()) {
        if (auto r = DecimalRange(*decimal)) {
            s.sql += " BETWEEN ? AND ?";
            s.args.emplace_back(std::move(r->low));
            s.args.emplace_back(std::move(r->high));
            return;
        }
    }
    s.sql += " = ?";
    if (storedAs != nullptr)
        s.args.emplace_back(*storedAs);
    else
        s.args.push_back(read);
}

// ---- the statements ----------------------------------------------------------------------------------

// " WHERE" and the key, by its original values.
void WhereKey(const CompiledObject& object, const Row& x, Statement& s) {
    s.sql += " WHERE ";
    for (std::size_t i = 0; i < object.keys.size(); ++i) {
        const auto k = static_cast<std::size_t>(object.keys[i]);
        if (i > 0) s.sql += " AND ";
        s.sql += object.writeNames[k] + " = ?";
        if (const std::string* as = x.StoredAs(k))
            s.args.emplace_back(*as);
        else
            s.args.push_back(x.Original(k));
    }
}

// The key, and the value read of every other column that `compared` names.
template <class Compared>
void WhereAsRead(const CompiledObject& object, const Row& x, Statement& s, Compared compared) {
    WhereKey(object, x, s);
    for (std::size_t c = 0; c < x.values.size(); ++c) {
        if (object.def.columns[c].key || object.writeNames[c].empty() || !compared(c)) continue;
        s.sql += " AND ";
        AppendMatch(s, object.writeNames[c], x.Original(c), x.StoredAs(c));
    }
}

// Whether INSERT writes column c of a new row: one that was set and that the object writes.
bool Inserted(const CompiledObject& object, const Row& x, std::size_t c) {
    const ColumnDef& cd = object.def.columns[c];
    return x.Modified(c) && (cd.updatable || cd.key) && !object.writeNames[c].empty();
}

std::optional<Statement> InsertStatement(const CompiledObject& object, const Row& x) {
    Statement s;
    std::string names, marks;
    for (std::size_t c = 0; c < x.values.size(); ++c) {
        if (!Inserted(object, x, c)) continue;
        if (!names.empty()) {
            names += ", ";
            marks += ", ";
        }
        names += object.writeNames[c];
        marks += '?';
        s.args.push_back(x.values[c]);
    }
    if (names.empty()) return std::nullopt;
    s.sql = "INSERT INTO " + object.def.updateTable + " (" + names + ") VALUES (" + marks + ")";
    return s;
}

std::optional<Statement> UpdateStatement(const CompiledObject& object, const Row& x) {
    auto written = [&](std::size_t c) {
        return x.Modified(c) && object.def.columns[c].updatable && !object.writeNames[c].empty();
    };
    Statement s;
    std::string sets;
    for (std::size_t c = 0; c < x.values.size(); ++c) {
        if (!written(c)) continue;
        if (!sets.empty()) sets += ", ";
        sets += object.writeNames[c] + " = ?";
        s.args.push_back(x.values[c]);
    }
    if (sets.empty()) return std::nullopt;
    s.sql = "UPDATE " + object.def.updateTable + " SET " + sets;
    WhereAsRead(object, x, s, written);
    s.mustMatch = true;
    return s;
}

Statement DeleteStatement(const CompiledObject& object, const Row& x) {
    Statement s;
    s.sql = "DELETE FROM " + object.def.updateTable;
    WhereAsRead(object, x, s, [&](std::size_t c) { return object.def.columns[c].updatable; });
    s.mustMatch = true;
    return s;
}

}  // namespace

bool Inserts(const CompiledObject& object, const Row& x) {
    for (std::size_t c = 0; c < x.values.size(); ++c) {
        if (Inserted(object, x, c)) return true;
    }
    return false;
}

UpdatePlan PlanUpdate(const CompiledObject& object, const RowBuffers& rows) {
    UpdatePlan plan;
    bool needKeys = !rows.deleted.empty();
    for (std::size_t i = 0; i < rows.deleted.size(); ++i) {
        Statement s = DeleteStatement(object, rows.deleted[i]);
        s.buffer = Buffer::Delete;
        s.index = i;
        plan.statements.push_back(std::move(s));
    }
    for (Buffer b : {Buffer::Primary, Buffer::Filter}) {
        const std::vector<Row>& buffer = rows.Of(b);
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            const Row& x = buffer[i];
            std::optional<Statement> s;
            if (x.status == ItemStatus::NewModified) {
                s = InsertStatement(object, x);
            } else if (x.status == ItemStatus::DataModified) {
                needKeys = true;
                s = UpdateStatement(object, x);
            }
            if (!s) continue;
            s->buffer = b;
            s->index = i;
            plan.statements.push_back(std::move(*s));
        }
    }
    if (needKeys && !object.KeysWritable()) return UpdatePlan{{}, true};
    return plan;
}

Statement SelectByKey(const CompiledObject& object, const Row& x, const std::string& what) {
    Statement s;
    s.sql = "SELECT ";
    if (what.empty()) {
        for (std::size_t c = 0; c < object.def.columns.size(); ++c) {
            const ColumnDef& cd = object.def.columns[c];
            if (c > 0) s.sql += ", ";
            s.sql += cd.dbName.empty() ? cd.name : cd.dbName;
        }
    } else {
        s.sql += what;
    }
    s.sql += " FROM " + object.def.updateTable;
    WhereKey(object, x, s);
    return s;
}

}  // namespace rt::dw

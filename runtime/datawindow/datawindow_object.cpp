#include "runtime/datawindow/datawindow_object.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace rt::dw {

namespace {

bool IsIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsIdentChar(char c) {
    return IsIdentStart(c) || (c >= '0' && c <= '9');
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

}  // namespace

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

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && SameName(s.substr(0, prefix.size()), prefix);
}

namespace {

// "sum(<column> for all)" -> the column; -1 for any other expression.
int SummedColumn(const CompiledObject& object, std::string_view expr) {
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
    return object.Col(words[0]);
}

// The ":name" markers outside quoted text become '?' parameters, bound in order of appearance.
void PrepareSelect(CompiledObject& object) {
    const std::string& s = object.def.select;
    std::string& sql = object.selectSql;
    sql.reserve(s.size());
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
            sql.append(s, i, end - i);
            i = end;
            continue;
        }
        if (c == ':' && i + 1 < s.size() && IsIdentStart(s[i + 1])) {
            std::size_t j = i + 1;
            while (j < s.size() && IsIdentChar(s[j])) ++j;
            std::string_view name(s.data() + i + 1, j - i - 1);
            int arg = -1;
            for (std::size_t a = 0; a < object.def.arguments.size(); ++a) {
                if (SameName(object.def.arguments[a].name, name)) arg = static_cast<int>(a);
            }
            if (arg < 0) object.selectOk = false;
            object.selectArgs.push_back(arg);
            sql += '?';
            i = j;
            continue;
        }
        sql += c;
        ++i;
    }
}

}  // namespace

CompiledObject::CompiledObject(DataWindowDef d) : def(std::move(d)) {
    const auto n = def.columns.size();
    writeNames.reserve(n);
    masks.assign(n, EditMask());
    for (std::size_t i = 0; i < n; ++i) {
        const ColumnDef& c = def.columns[i];
        writeNames.push_back(WriteName(c));
        if (c.edit == EditStyle::EditMask && !c.mask.empty()) masks[i] = EditMask(c.mask, c.type);
        if (c.key) keys.push_back(static_cast<int>(i));
    }
    for (const ComputeDef& cd : def.computes) computeColumn.push_back(SummedColumn(*this, cd.expression));
    PrepareSelect(*this);
}

int CompiledObject::Col(std::string_view name) const {
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        if (SameName(def.columns[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

bool CompiledObject::KeysWritable() const {
    if (keys.empty()) return false;
    for (int k : keys) {
        if (writeNames[static_cast<std::size_t>(k)].empty()) return false;
    }
    return true;
}

int CompiledObject::FirstTabStop() const {
    int column = 0;
    int best = 0;
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        int t = def.columns[i].tabOrder;
        if (t > 0 && (best == 0 || t < best)) {
            best = t;
            column = static_cast<int>(i) + 1;
        }
    }
    return column;
}

}  // namespace rt::dw

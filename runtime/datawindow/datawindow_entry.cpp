#include "runtime/datawindow/datawindow_entry.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "runtime/text/text.h"

namespace rt::dw {

namespace {

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

// The readers of typed text, one per edit style: each gives the value the text stands for (null
// when nothing is typed) or why it cannot be stored.

// A drop-down list takes a display text of its codes, or failing that a data value.
Reading ReadCode(const ColumnDef& cd, std::string_view text) {
    if (text.empty()) return Reading::Accepted(Value());
    for (const CodeEntry& e : cd.codes) {
        if (e.display == text) return Reading::Accepted(Value(e.data));
    }
    for (const CodeEntry& e : cd.codes) {
        if (e.data == text) return Reading::Accepted(Value(e.data));
    }
    return Reading::Refused("不是列表中的值");
}

Reading ReadCheckBox(const ColumnDef& cd, std::string_view text) {
    if (text == cd.checkOn) return Reading::Accepted(Value(cd.checkOn));
    if (text == cd.checkOff) return Reading::Accepted(Value(cd.checkOff));
    return Reading::Refused("不是复选框的取值");
}

Reading ReadDate(const std::string& trimmed) {
    auto d = Date::Parse(trimmed);
    if (!d) return Reading::Refused("不是有效的日期");
    return Reading::Accepted(Value(*d));
}

Reading ReadLong(const std::string& trimmed) {
    auto n = ParseLongEntry(trimmed);
    if (!n) return Reading::Refused("不是有效的整数（-2147483648到2147483647）");
    return Reading::Accepted(Value(*n));
}

// Digits with at most a leading sign and one point; more than two decimals only as trailing zeros.
Reading ReadDecimal(const std::string& text) {
    const std::size_t point = text.find('.');
    const bool shape =
        text.find_first_not_of("+-0123456789.") == std::string::npos &&
        text.find_last_of("+-") == (text[0] == '+' || text[0] == '-' ? 0 : std::string::npos) &&
        (point == std::string::npos || text.find('.', point + 1) == std::string::npos);
    if (!shape) return Reading::Refused("不是有效的数字");
    if (point != std::string::npos) {
        std::string decimals = text.substr(point + 1);
        while (decimals.size() > 2 && decimals.back() == '0') decimals.pop_back();
        if (decimals.size() > 2) return Reading::Refused("小数部分不能超过2位");
    }
    auto d = Decimal::Parse(text);
    if (!d) return Reading::Refused("不是有效的数字");
    return Reading::Accepted(Value(*d));
}

Reading ReadReal(const std::string& trimmed) {
    auto d = Value(trimmed).AsReal();
    if (!d) return Reading::Refused("不是有效的数字");
    return Reading::Accepted(Value(*d));
}

// A plain field (one line or several): text is kept as typed; numbers and dates are read from the
// text without its blanks, and blanks alone are null.
Reading ReadEdit(ColType type, std::string_view text) {
    if (type == ColType::Char) return Reading::Accepted(Value(text));
    const std::string trimmed = Trim(text);
    if (trimmed.empty()) return Reading::Accepted(Value());
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
    return Reading::Accepted(Value(text));
}

// The typed text as the column's edit style reads it.
Reading Read(const CompiledObject& object, ChildTables& children, int c, std::string_view text) {
    const ColumnDef& cd = object.Column(c);
    const EditMask& mask = object.masks[static_cast<std::size_t>(c)];
    switch (cd.edit) {
        case EditStyle::DropDownList:
            return ReadCode(cd, text);
        case EditStyle::DropDownDW:
            return children.Read(c, text);
        case EditStyle::CheckBox:
            return ReadCheckBox(cd, text);
        case EditStyle::EditMask:
            if (!mask.Empty()) return mask.Read(text);
            [[fallthrough]];  // a mask column without a mask edits as a plain field
        case EditStyle::Edit:
            return ReadEdit(cd.type, text);
    }
    return Reading::Accepted(Value());
}

}  // namespace

Reading CheckEntry(const CompiledObject& object, ChildTables& children, int c, std::string_view text) {
    Reading out = Read(object, children, c, text);
    if (!out.ok) return out;
    const ColumnDef& cd = object.Column(c);
    auto converted = ConvertTo(cd.type, out.value);
    if (!converted) return Reading::Refused("与列的类型不符");
    out.value = std::move(*converted);
    if (const std::string* s = out.value.String()) {
        const std::size_t limit = ByteLimit(cd);
        if (limit > 0 && GbkLength(*s) > limit)
            return Reading::Refused("输入超过了" + std::to_string(limit) + "个字节（一个汉字占两个字节）");
    }
    return out;
}

bool LeavesAsIs(const CompiledObject& object, int c, const Value& v, const Value& current) {
    if (v == current) return true;
    const ColumnDef& cd = object.Column(c);
    const EditMask& mask = object.masks[static_cast<std::size_t>(c)];
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

bool PendingEdit::SayRefusal(long row, int column, const std::string& typed, std::uint64_t action) {
    Refusal refusal{row, column, typed, action};
    if (said_ == refusal) return false;
    said_ = std::move(refusal);
    return true;
}

}  // namespace rt::dw

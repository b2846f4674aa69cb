#include "runtime/datawindow/editmask.h"

#include <cstdint>
#include <cstdio>
#include <limits>

#include "runtime/text/text.h"

namespace rt {

namespace {

bool IsDigit(std::string_view c) {
    return c.size() == 1 && c[0] >= '0' && c[0] <= '9';
}

bool IsAsciiLetter(std::string_view c) {
    return c.size() == 1 && ((c[0] >= 'a' && c[0] <= 'z') || (c[0] >= 'A' && c[0] <= 'Z'));
}

bool IsBlank(std::string_view c) {
    return c == " ";
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// How many characters from chars[i] on are the ASCII letter `letter`, in either case.
std::size_t LetterRun(const std::vector<std::string_view>& chars, std::size_t i, char letter) {
    std::size_t n = 0;
    while (i + n < chars.size() && chars[i + n].size() == 1 && LowerAscii(chars[i + n][0]) == letter) ++n;
    return n;
}

}  // namespace

std::vector<std::string_view> Utf8Characters(std::string_view text) {
    std::vector<std::string_view> out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        std::size_t n = 1;
        if (b >= 0xF0 && b < 0xF8) {
            n = 4;
        } else if (b >= 0xE0) {
            n = b < 0xF0 ? 3 : 1;
        } else if (b >= 0xC0) {
            n = 2;
        }
        if (i + n > text.size()) n = 1;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                n = 1;
                break;
            }
        }
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

EditMask::EditMask(std::string_view mask, ColType type) : mask_(mask), type_(type) {
    switch (type) {
        case ColType::Char:
            kind_ = MaskKind::String;
            ReadStringMask();
            break;
        case ColType::Date:
            kind_ = MaskKind::Date;
            ReadDateMask();
            break;
        default:
            kind_ = MaskKind::Number;
            CountNumberPlaces();
            break;
    }
}

void EditMask::CountNumberPlaces() {
    bool afterPoint = false;
    for (char c : mask_) {
        if (c == '.') afterPoint = true;
        if (c == '#' || c == '0') ++(afterPoint ? decimals_ : integerDigits_);
    }
}

// Runs of y, m and d name the parts of the date; every other character is a literal.
void EditMask::ReadDateMask() {
    const std::vector<std::string_view> chars = Utf8Characters(mask_);
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const std::string_view c = chars[i];
        const char l = c.size() == 1 ? LowerAscii(c[0]) : 0;
        const std::size_t n = (l == 'y' || l == 'm' || l == 'd') ? LetterRun(chars, i, l) : 0;
        if (l == 'y') {
            elements_.push_back({n >= 4 ? Part::Year4 : Part::Year2, {}});
            i += n - 1;
        } else if ((l == 'm' || l == 'd') && n == 2) {
            elements_.push_back({l == 'm' ? Part::Month : Part::Day, {}});
            (l == 'm' ? hasMonth_ : hasDay_) = true;
            i += 1;
        } else {
            elements_.push_back({Part::Literal, std::string(c)});
        }
    }
}

void EditMask::ReadStringMask() {
    for (std::string_view c : Utf8Characters(mask_)) {
        const Part p = StringPart(c);
        if (p != Part::Literal) ++slots_;
        elements_.push_back({p, p == Part::Literal ? std::string(c) : std::string()});
    }
}

EditMask::Part EditMask::StringPart(std::string_view c) {
    if (c == "#") return Part::Digit;
    if (c == "a") return Part::AlphaNum;
    if (c == "x") return Part::Any;
    if (c == "!") return Part::Upper;
    if (c == "^") return Part::Lower;
    return Part::Literal;
}

Reading EditMask::Read(std::string_view text) const {
    switch (kind_) {
        case MaskKind::String:
            return ReadString(text);
        case MaskKind::Date:
            return ReadDate(text);
        case MaskKind::Number:
            return ReadNumber(text);
    }
    return Reading::Refused("无效的输入");
}

std::string EditMask::Show(const Value& v) const {
    if (v.IsNull()) return {};
    switch (kind_) {
        case MaskKind::String:
            return ShowString(v.ToText());
        case MaskKind::Date: {
            auto d = v.AsDate();
            if (!d) return v.ToText();
            std::string out;
            char buf[16];
            for (const Element& e : elements_) {
                switch (e.part) {
                    case Part::Year4:
                        std::snprintf(buf, sizeof buf, "%04d", d->year);
                        out += buf;
                        break;
                    case Part::Year2:
                        std::snprintf(buf, sizeof buf, "%02d", d->year % 100);
                        out += buf;
                        break;
                    case Part::Month:
                        std::snprintf(buf, sizeof buf, "%02d", d->month);
                        out += buf;
                        break;
                    case Part::Day:
                        std::snprintf(buf, sizeof buf, "%02d", d->day);
                        out += buf;
                        break;
                    default:
                        out += e.literal;
                        break;
                }
            }
            return out;
        }
        case MaskKind::Number:
            return String(v, mask_);
    }
    return v.ToText();
}

// ---- string masks -----------------------------------------------------------------------------------

Reading EditMask::ReadString(std::string_view text) const {
    std::vector<std::string_view> chars = Utf8Characters(text);

    // The literals at their places mean the text came through the mask; otherwise the text is the
    // typed characters alone.
    bool placed = chars.size() <= elements_.size();
    bool literalSeen = false;
    for (std::size_t i = 0; placed && i < chars.size(); ++i) {
        if (elements_[i].part != Part::Literal) continue;
        if (chars[i] != elements_[i].literal) placed = false;
        literalSeen = true;
    }
    std::vector<std::string_view> typed;
    if (placed && literalSeen) {
        for (std::size_t i = 0; i < chars.size(); ++i) {
            if (elements_[i].part != Part::Literal) typed.push_back(chars[i]);
        }
    } else {
        typed = std::move(chars);
    }
    // Unfilled places at the end show as blanks.
    while (!typed.empty() && IsBlank(typed.back())) typed.pop_back();
    if (typed.empty()) return Reading::Accepted(Value());
    if (typed.size() > slots_)
        return Reading::Refused("输入的字符多于掩码允许的" + std::to_string(slots_) + "个");

    std::string out;
    std::size_t slot = 0;
    for (const Element& e : elements_) {
        if (e.part == Part::Literal) continue;
        if (slot == typed.size()) break;
        std::string_view c = typed[slot++];
        switch (e.part) {
            case Part::Digit:
                if (!IsDigit(c)) return Reading::Refused("第" + std::to_string(slot) + "个字符只能是数字");
                out += c;
                break;
            case Part::AlphaNum:
                if (!IsDigit(c) && !IsAsciiLetter(c))
                    return Reading::Refused("第" + std::to_string(slot) + "个字符只能是字母或数字");
                out += c;
                break;
            case Part::Upper:
                out += c.size() == 1 ? std::string(1, Upper(c[0])) : std::string(c);
                break;
            case Part::Lower:
                out += c.size() == 1 ? std::string(1, LowerAscii(c[0])) : std::string(c);
                break;
            default:
                out += c;
                break;
        }
    }
    return Reading::Accepted(Value(std::move(out)));
}

std::string EditMask::ShowString(const std::string& stored) const {
    std::vector<std::string_view> chars = Utf8Characters(stored);
    // A value stored with its literals already in place (or one that does not fit the mask) is
    // shown as it is.
    if (chars.size() > slots_) return stored;
    bool literalSeen = false;
    bool placed = chars.size() <= elements_.size();
    for (std::size_t i = 0; placed && i < chars.size(); ++i) {
        if (elements_[i].part != Part::Literal) continue;
        if (chars[i] != elements_[i].literal) placed = false;
        literalSeen = true;
    }
    if (placed && literalSeen) return stored;

    std::string out;
    std::size_t next = 0;
    std::string literals;  // literals are written only when a typed character follows them
    for (const Element& e : elements_) {
        if (next == chars.size()) break;
        if (e.part == Part::Literal) {
            literals += e.literal;
            continue;
        }
        out += literals;
        literals.clear();
        out += chars[next++];
    }
    return out;
}

// ---- date masks -------------------------------------------------------------------------------------

// An entry through a date mask is read in steps: nothing typed but blanks and the mask's literals
// is an empty entry; otherwise the text without its outer blanks is read part by part as the mask
// lays it out ("2021-5"), or failing that as the digits alone, as many as the parts take ("202105");
// the parts read must then make a date.
Reading EditMask::ReadDate(std::string_view text) const {
    std::vector<std::string_view> chars = Utf8Characters(text);
    if (OnlyLiterals(chars)) return Reading::Accepted(Value());

    std::size_t first = 0;
    while (first < chars.size() && IsBlank(chars[first])) ++first;
    chars.erase(chars.begin(), chars.begin() + static_cast<std::ptrdiff_t>(first));
    while (!chars.empty() && IsBlank(chars.back())) chars.pop_back();

    DateParts parts;
    if (!ReadDateParts(chars, parts)) {
        parts = DateParts();
        if (!ReadDateDigits(chars, parts)) return Reading::Refused("不是有效的日期");
    }

    if (parts.year < 1 || parts.year > 9999) return Reading::Refused("年份必须在1到9999之间");
    if (parts.month < 1 || parts.month > 12) return Reading::Refused("月份必须在1到12之间");
    Date d{parts.year, parts.month, parts.day};
    if (!d.Valid()) return Reading::Refused("不是有效的日期");
    return Reading::Accepted(Value(d));
}

// Nothing but blanks and the mask's own literals.
bool EditMask::OnlyLiterals(const std::vector<std::string_view>& chars) const {
    for (std::string_view c : chars) {
        if (IsBlank(c)) continue;
        bool literal = false;
        for (const Element& e : elements_) literal = literal || (e.part == Part::Literal && e.literal == c);
        if (!literal) return false;
    }
    return true;
}

// The digits a part takes when the entry is the digits alone: four for "yyyy", two for the others.
std::size_t EditMask::DigitsOf(Part part) {
    switch (part) {
        case Part::Year4:
            return 4;
        case Part::Year2:
        case Part::Month:
        case Part::Day:
            return 2;
        default:
            return 0;
    }
}

void EditMask::SetDatePart(Part part, int v, DateParts& parts) {
    switch (part) {
        case Part::Year4:
            parts.year = v;
            break;
        case Part::Year2:
            parts.year = v + (v < 50 ? 2000 : 1900);
            break;
        case Part::Month:
            parts.month = v;
            break;
        case Part::Day:
            parts.day = v;
            break;
        default:
            break;
    }
}

// The entry laid out as the mask lays it out, with one or two digits for a month or a day.
bool EditMask::ReadDateParts(const std::vector<std::string_view>& chars, DateParts& parts) const {
    std::size_t pos = 0;
    for (const Element& e : elements_) {
        const std::size_t most = DigitsOf(e.part);
        if (most == 0) {
            if (pos >= chars.size() || chars[pos] != e.literal) return false;
            ++pos;
            continue;
        }
        const std::size_t least = e.part == Part::Month || e.part == Part::Day ? 1 : most;
        std::size_t n = 0;
        int v = 0;
        while (pos < chars.size() && n < most && IsDigit(chars[pos])) {
            v = v * 10 + (chars[pos++][0] - '0');
            ++n;
        }
        if (n < least) return false;
        SetDatePart(e.part, v, parts);
    }
    return pos == chars.size();
}

// The digits alone, exactly as many as the mask's parts take.
bool EditMask::ReadDateDigits(const std::vector<std::string_view>& chars, DateParts& parts) const {
    std::size_t need = 0;
    for (const Element& e : elements_) need += DigitsOf(e.part);
    if (chars.size() != need) return false;
    std::size_t at = 0;
    for (const Element& e : elements_) {
        int v = 0;
        for (std::size_t n = DigitsOf(e.part); n > 0; --n, ++at) {
            if (!IsDigit(chars[at])) return false;
            v = v * 10 + (chars[at][0] - '0');
        }
        SetDatePart(e.part, v, parts);
    }
    return true;
}

// ---- number masks -----------------------------------------------------------------------------------

Reading EditMask::ReadNumber(std::string_view text) const {
    std::string t = Trim(text);
    if (t.empty()) return Reading::Accepted(Value());
    if (t[0] == '-') return Reading::Refused("不能输入负数");

    std::string whole, fraction;
    bool point = false;
    for (char c : t) {
        if (c == '.') {
            if (point) return Reading::Refused("不是有效的数字");
            point = true;
        } else if (c == ',' && !point) {
            continue;
        } else if (c >= '0' && c <= '9') {
            (point ? fraction : whole) += c;
        } else {
            return Reading::Refused("不是有效的数字");
        }
    }
    if (whole.empty() && fraction.empty()) return Reading::Refused("不是有效的数字");
    std::size_t lead = whole.find_first_not_of('0');
    whole = lead == std::string::npos ? std::string() : whole.substr(lead);
    while (fraction.size() > static_cast<std::size_t>(decimals_) && fraction.back() == '0')
        fraction.pop_back();
    if (whole.size() > static_cast<std::size_t>(integerDigits_))
        return Reading::Refused("整数部分不能超过" + std::to_string(integerDigits_) + "位");
    if (fraction.size() > static_cast<std::size_t>(decimals_))
        return Reading::Refused(decimals_ == 0 ? std::string("不能输入小数")
                                               : "小数部分不能超过" + std::to_string(decimals_) + "位");

    std::string plain = (whole.empty() ? "0" : whole) + (fraction.empty() ? "" : "." + fraction);
    switch (type_) {
        case ColType::Long: {
            if (!fraction.empty() && fraction.find_first_not_of('0') != std::string::npos)
                return Reading::Refused("只能输入整数");
            auto n = Value(whole.empty() ? std::string("0") : whole).AsLong();
            if (!n || *n > std::numeric_limits<std::int32_t>::max()) return Reading::Refused("数值超出范围");
            return Reading::Accepted(Value(*n));
        }
        case ColType::Real: {
            auto r = Value(plain).AsReal();
            if (!r) return Reading::Refused("不是有效的数字");
            return Reading::Accepted(Value(*r));
        }
        default: {
            auto d = Decimal::Parse(plain);
            if (!d) return Reading::Refused("数值超出范围");
            return Reading::Accepted(Value(*d));
        }
    }
}

}  // namespace rt

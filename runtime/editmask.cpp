#include "runtime/editmask.h"

#include <cstdint>
#include <cstdio>
#include <limits>

#include "runtime/text.h"

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
            break;
        case ColType::Date:
            kind_ = MaskKind::Date;
            break;
        default:
            kind_ = MaskKind::Number;
            break;
    }

    if (kind_ == MaskKind::Number) {
        bool afterPoint = false;
        for (char c : mask_) {
            if (c == '.') afterPoint = true;
            if (c == '#' || c == '0') ++(afterPoint ? decimals_ : integerDigits_);
        }
        return;
    }

    std::vector<std::string_view> chars = Utf8Characters(mask_);
    for (std::size_t i = 0; i < chars.size(); ++i) {
        std::string_view c = chars[i];
        if (kind_ == MaskKind::Date) {
            // Runs of y, m and d name the parts of the date.
            auto run = [&](char letter) {
                std::size_t n = 0;
                while (i + n < chars.size() && chars[i + n].size() == 1 &&
                       LowerAscii(chars[i + n][0]) == letter)
                    ++n;
                return n;
            };
            char l = c.size() == 1 ? LowerAscii(c[0]) : 0;
            if (l == 'y') {
                std::size_t n = run('y');
                elements_.push_back({n >= 4 ? Part::Year4 : Part::Year2, {}});
                i += n - 1;
                continue;
            }
            if (l == 'm' || l == 'd') {
                std::size_t n = run(l);
                if (n == 2) {
                    elements_.push_back({l == 'm' ? Part::Month : Part::Day, {}});
                    (l == 'm' ? hasMonth_ : hasDay_) = true;
                    i += 1;
                    continue;
                }
            }
            elements_.push_back({Part::Literal, std::string(c)});
            continue;
        }
        Part p = Part::Literal;
        if (c == "#") {
            p = Part::Digit;
        } else if (c == "a") {
            p = Part::AlphaNum;
        } else if (c == "x") {
            p = Part::Any;
        } else if (c == "!") {
            p = Part::Upper;
        } else if (c == "^") {
            p = Part::Lower;
        }
        if (p != Part::Literal) ++slots_;
        elements_.push_back({p, p == Part::Literal ? std::string(c) : std::string()});
    }
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

Reading EditMask::ReadDate(std::string_view text) const {
    std::vector<std::string_view> chars = Utf8Characters(text);
    // Nothing but blanks and the mask's own literals: an empty entry.
    bool empty = true;
    for (std::string_view c : chars) {
        if (IsBlank(c)) continue;
        bool literal = false;
        for (const Element& e : elements_) literal = literal || (e.part == Part::Literal && e.literal == c);
        if (!literal) {
            empty = false;
            break;
        }
    }
    if (empty) return Reading::Accepted(Value());

    std::size_t first = 0;
    std::size_t last = chars.size();
    while (first < last && IsBlank(chars[first])) ++first;
    while (last > first && IsBlank(chars[last - 1])) --last;

    int year = -1, month = 1, day = 1;
    // Reads minDigits..maxDigits digits at pos.
    auto number = [&](std::size_t& pos, std::size_t minDigits, std::size_t maxDigits, int& out) {
        std::size_t n = 0;
        int v = 0;
        while (pos + n < last && n < maxDigits && IsDigit(chars[pos + n]))
            v = v * 10 + (chars[pos + n++][0] - '0');
        if (n < minDigits) return false;
        pos += n;
        out = v;
        return true;
    };

    bool parsed = true;
    std::size_t pos = first;
    for (const Element& e : elements_) {
        switch (e.part) {
            case Part::Year4:
                parsed = number(pos, 4, 4, year);
                break;
            case Part::Year2:
                parsed = number(pos, 2, 2, year);
                if (parsed) year += year < 50 ? 2000 : 1900;
                break;
            case Part::Month:
                parsed = number(pos, 1, 2, month);
                break;
            case Part::Day:
                parsed = number(pos, 1, 2, day);
                break;
            default:
                parsed = pos < last && chars[pos] == e.literal;
                ++pos;
                break;
        }
        if (!parsed) break;
    }
    parsed = parsed && pos == last;

    if (!parsed) {
        // The digits alone, as many as the mask's parts take.
        std::string digits;
        for (std::size_t i = first; i < last; ++i) {
            if (!IsDigit(chars[i])) return Reading::Refused("不是有效的日期");
            digits += chars[i];
        }
        std::size_t need = 0;
        for (const Element& e : elements_) {
            if (e.part == Part::Year4) need += 4;
            if (e.part == Part::Year2 || e.part == Part::Month || e.part == Part::Day) need += 2;
        }
        if (digits.size() != need) return Reading::Refused("不是有效的日期");
        std::size_t at = 0;
        auto take = [&](std::size_t n) {
            int v = std::stoi(digits.substr(at, n));
            at += n;
            return v;
        };
        for (const Element& e : elements_) {
            if (e.part == Part::Year4) year = take(4);
            if (e.part == Part::Year2) {
                year = take(2);
                year += year < 50 ? 2000 : 1900;
            }
            if (e.part == Part::Month) month = take(2);
            if (e.part == Part::Day) day = take(2);
        }
    }

    if (year < 1 || year > 9999) return Reading::Refused("年份必须在1到9999之间");
    if (month < 1 || month > 12) return Reading::Refused("月份必须在1到12之间");
    Date d{year, month, day};
    if (!d.Valid()) return Reading::Refused("不是有效的日期");
    return Reading::Accepted(Value(d));
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

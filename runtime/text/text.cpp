#include "runtime/text/text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

namespace rt {

namespace {

Iconv& Utf8ToGb18030() {
    thread_local Iconv cd("GB18030", "UTF-8");
    return cd;
}

// Walks the text one character at a time with its GBK byte count. An invalid byte counts as one
// byte of its own, so malformed input is measured rather than rejected or skipped.
template <class F>
void ForEachCharacter(std::string_view utf8, F&& f) {
    Iconv& cd = Utf8ToGb18030();
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::string_view rest = utf8.substr(pos);
        std::uint32_t cp = 0;
        std::size_t len = DecodeUtf8(rest, 0, cp);
        std::size_t bytes = 1;
        if (len == 0) {
            len = 1;
        } else if (len > 1) {
            bytes = cd.Length(rest.substr(0, len));
            // Without a converter, or for a character it refuses, assume the widest GB18030 form
            // so that the text still cannot slip past a limit.
            if (bytes == 0) bytes = 4;
        }
        if (!f(len, bytes)) return;
        pos += len;
    }
}

// ---------------------------------------------------------------------------------------------
// Numbers as exact digit strings: value = digits * 10^-scale.

struct Digits {
    bool negative = false;
    std::string digits;  // magnitude, at least one digit
    int scale = 0;

    bool IsZero() const { return digits.find_first_not_of('0') == std::string::npos; }
};

Digits FromUnsigned(std::uint64_t magnitude, bool negative, int scale) {
    return Digits{negative, std::to_string(magnitude), scale};
}

Digits FromLong(std::int64_t n) {
    std::uint64_t magnitude = n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    return FromUnsigned(magnitude, n < 0, 0);
}

Digits FromDecimal(const Decimal& d) {
    std::int64_t c = d.Cents();
    std::uint64_t magnitude = c < 0 ? 0 - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
    return FromUnsigned(magnitude, c < 0, 2);
}

// Finite reals only. The shortest text that reads back as the value is what gets rounded, so
// 1.005 formats as the 1.01 the user typed, not as its binary neighbour 1.00499999...
Digits FromDouble(double v) {
    std::array<char, 400> buf{};
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed);
    std::string_view text(buf.data(), static_cast<std::size_t>(res.ptr - buf.data()));
    Digits d;
    if (!text.empty() && text[0] == '-') {
        d.negative = true;
        text.remove_prefix(1);
    }
    std::size_t point = text.find('.');
    if (point == std::string_view::npos) {
        d.digits = std::string(text);
    } else {
        d.digits = std::string(text.substr(0, point)) + std::string(text.substr(point + 1));
        d.scale = static_cast<int>(text.size() - point - 1);
    }
    if (d.digits.empty()) d.digits = "0";
    return d;
}

// Rounds (halves away from zero) or pads to exactly `places` decimals.
void RoundTo(Digits& d, int places) {
    if (d.scale < places) {
        d.digits.append(static_cast<std::size_t>(places - d.scale), '0');
    } else if (d.scale > places) {
        const auto drop = static_cast<std::size_t>(d.scale - places);
        if (d.digits.size() <= drop) d.digits.insert(0, drop + 1 - d.digits.size(), '0');
        const bool up = d.digits[d.digits.size() - drop] >= '5';
        d.digits.resize(d.digits.size() - drop);
        if (up) {
            std::size_t i = d.digits.size();
            while (i > 0 && d.digits[i - 1] == '9') d.digits[--i] = '0';
            if (i == 0) {
                d.digits.insert(d.digits.begin(), '1');
            } else {
                ++d.digits[i - 1];
            }
        }
    }
    d.scale = places;
    if (d.digits.size() <= static_cast<std::size_t>(places)) {
        d.digits.insert(0, static_cast<std::size_t>(places) + 1 - d.digits.size(), '0');
    }
}

std::string WholePart(const Digits& d) {
    std::string whole = d.digits.substr(0, d.digits.size() - static_cast<std::size_t>(d.scale));
    std::size_t nz = whole.find_first_not_of('0');
    return nz == std::string::npos ? std::string() : whole.substr(nz);
}

std::string GeneralText(Digits d) {
    // Plain digits, no trailing zeros after the point, no point when nothing follows it.
    RoundTo(d, d.scale);
    std::string whole = WholePart(d);
    std::string frac = d.digits.substr(d.digits.size() - static_cast<std::size_t>(d.scale));
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    if (whole.empty()) whole = "0";
    std::string out;
    if (d.negative && !(whole == "0" && frac.empty())) out += '-';
    out += whole;
    if (!frac.empty()) out += '.' + frac;
    return out;
}

bool IsGeneral(std::string_view format) {
    if (format.empty()) return true;
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            char c = a[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != b[i]) return false;
        }
        return true;
    };
    return same(format, "[general]") || same(format, "general");
}

// One section of a number format, e.g. "#,##0.00" or "¥#,##0.00" or "0.0%".
struct NumberSection {
    std::string prefix, suffix;
    bool placeholders = false;
    int minWhole = 0;    // '0' before the point
    bool group = false;  // ',' before the point
    bool point = false;
    int decimals = 0;          // '0' and '#' after the point
    int requiredDecimals = 0;  // up to the last '0' after the point
    bool percent = false;
};

bool IsPlaceholder(char c) {
    return c == '#' || c == '0';
}

// Reads a section character by character: literal text (quoted, escaped, or any character that is
// no placeholder) goes before or after the number, placeholders describe the number itself.
class SectionReader {
  public:
    explicit SectionReader(std::string_view s) : s_(s) {}

    NumberSection Read() {
        for (i_ = 0; i_ < s_.size(); ++i_) {
            if (!Literal()) Character(s_[i_]);
        }
        return sec_;
    }

  private:
    enum class Where { Prefix, Number, Suffix };

    std::string& Text() { return where_ == Where::Prefix ? sec_.prefix : sec_.suffix; }
    void LeaveNumber() {
        if (where_ == Where::Number) where_ = Where::Suffix;
    }

    // Quoted text, an escaped character or a modifier in brackets (a colour and the like, not
    // shown) at s_[i_]: true when it was one, with i_ on its last character.
    bool Literal() {
        const char c = s_[i_];
        if (c == '"') {
            std::size_t end = s_.find('"', i_ + 1);
            if (end == std::string_view::npos) end = s_.size();
            LeaveNumber();
            Text() += s_.substr(i_ + 1, end - i_ - 1);
            i_ = end;
            return true;
        }
        if (c == '\\' && i_ + 1 < s_.size()) {
            LeaveNumber();
            Text() += s_[++i_];
            return true;
        }
        if (c == '[') {
            const std::size_t end = s_.find(']', i_);
            if (end != std::string_view::npos) {
                i_ = end;
                return true;
            }
        }
        return false;
    }

    void Character(char c) {
        const bool numeric = IsPlaceholder(c) || c == '.' || (c == ',' && where_ == Where::Number);
        const bool startsNumber =
            IsPlaceholder(c) || (c == '.' && i_ + 1 < s_.size() && IsPlaceholder(s_[i_ + 1]));
        if (where_ == Where::Prefix && startsNumber) where_ = Where::Number;
        if (where_ == Where::Number && numeric) {
            Placeholder(c);
            return;
        }
        LeaveNumber();
        if (c == '%') sec_.percent = true;
        Text() += c;
    }

    void Placeholder(char c) {
        sec_.placeholders = true;
        if (c == '.') {
            sec_.point = true;
            afterPoint_ = true;
        } else if (c == ',') {
            if (!afterPoint_) sec_.group = true;
        } else if (afterPoint_) {
            ++sec_.decimals;
            if (c == '0') sec_.requiredDecimals = sec_.decimals;
        } else if (c == '0') {
            ++sec_.minWhole;
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
    Where where_ = Where::Prefix;
    bool afterPoint_ = false;
    NumberSection sec_;
};

NumberSection ParseSection(std::string_view s) {
    return SectionReader(s).Read();
}

std::vector<std::string_view> SplitSections(std::string_view format) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '\\' && !quoted) {
            ++i;
        } else if (format[i] == '"') {
            quoted = !quoted;
        } else if (format[i] == ';' && !quoted) {
            parts.push_back(format.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(format.substr(start));
    return parts;
}

std::string GroupThousands(const std::string& whole) {
    std::string out;
    const std::size_t n = whole.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out += ',';
        out += whole[i];
    }
    return out;
}

std::string FormatNumber(Digits value, std::string_view format) {
    if (IsGeneral(format)) return GeneralText(std::move(value));
    const std::vector<std::string_view> parts = SplitSections(format);
    const bool zero = value.IsZero();

    // A second section shows negatives (without a sign of its own), a third shows zero.
    std::size_t chosen = 0;
    if (zero && parts.size() >= 3) {
        chosen = 2;
    } else if (value.negative && !zero && parts.size() >= 2) {
        chosen = 1;
    }
    const bool explicitSign = chosen == 0;
    NumberSection sec = ParseSection(parts[chosen]);
    if (!sec.placeholders) {
        // A first section without digits is no number format at all (a date format, a typo).
        if (chosen == 0) return GeneralText(std::move(value));
        return sec.prefix + sec.suffix;  // a purely literal section, e.g. "-" for zero
    }

    if (sec.percent) {
        if (value.scale >= 2) {
            value.scale -= 2;
        } else {
            value.digits.append(static_cast<std::size_t>(2 - value.scale), '0');
            value.scale = 0;
        }
    }
    RoundTo(value, sec.decimals);

    std::string whole = WholePart(value);
    if (whole.size() < static_cast<std::size_t>(sec.minWhole)) {
        whole.insert(0, static_cast<std::size_t>(sec.minWhole) - whole.size(), '0');
    }
    if (sec.group) whole = GroupThousands(whole);

    std::string frac = value.digits.substr(value.digits.size() - static_cast<std::size_t>(sec.decimals));
    while (frac.size() > static_cast<std::size_t>(sec.requiredDecimals) && frac.back() == '0')
        frac.pop_back();

    // No minus on a value that rounds to zero in this format.
    const bool showMinus = explicitSign && value.negative && !value.IsZero();
    std::string out;
    if (showMinus) out += '-';
    out += sec.prefix;
    out += whole;
    if (sec.point) out += '.' + frac;
    out += sec.suffix;
    return out;
}

// ---------------------------------------------------------------------------------------------
// Dates

constexpr std::array<const char*, 12> kMonthNames = {"January",   "February", "March",    "April",
                                                     "May",       "June",     "July",     "August",
                                                     "September", "October",  "November", "December"};
constexpr std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};

// 0 = Sunday, proleptic Gregorian calendar.
int Weekday(const Date& d) {
    int y = d.year, m = d.month;
    static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (m < 3) y -= 1;
    return (y + y / 4 - y / 100 + y / 400 + kOffsets[(m - 1) % 12] + d.day) % 7;
}

std::string Padded(int v, int width) {
    std::string s = std::to_string(v);
    if (s.size() < static_cast<std::size_t>(width))
        s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
    return s;
}

// A month's or a weekday's name as a run of four letters or more shows it; a run of three shows
// its first three letters.
std::string NameFor(const char* name, std::size_t run) {
    std::string text(name);
    return run >= 4 ? text : text.substr(0, 3);
}

// The part of the date that a run of one letter (y, m or d, lower case) stands for.
std::string DatePart(const Date& d, char letter, std::size_t run) {
    if (letter == 'y') return run >= 3 ? Padded(d.year, 4) : Padded(d.year % 100, 2);
    if (letter == 'm') {
        if (run >= 3 && d.month >= 1 && d.month <= 12)
            return NameFor(kMonthNames[static_cast<std::size_t>(d.month - 1)], run);
        return Padded(d.month, run == 1 ? 1 : 2);
    }
    if (run >= 3 && d.Valid()) return NameFor(kDayNames[static_cast<std::size_t>(Weekday(d))], run);
    return Padded(d.day, run == 1 ? 1 : 2);
}

}  // namespace

std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& codePoint) {
    if (i >= s.size()) return 0;
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        codePoint = c;
        return 1;
    }
    std::size_t len = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (s.size() - i < len) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    codePoint = cp;
    return len;
}

// ---------------------------------------------------------------------------------------------

std::size_t GbkLength(std::string_view utf8) {
    std::size_t total = 0;
    ForEachCharacter(utf8, [&](std::size_t, std::size_t bytes) {
        total += bytes;
        return true;
    });
    return total;
}

std::string GbkLeft(std::string_view utf8, std::size_t maxBytes) {
    std::size_t used = 0;
    std::size_t cut = 0;
    ForEachCharacter(utf8, [&](std::size_t len, std::size_t bytes) {
        if (used + bytes > maxBytes) return false;
        used += bytes;
        cut += len;
        return true;
    });
    return std::string(utf8.substr(0, cut));
}

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
    Iconv cd("GB18030", "UTF-8");
    return cd.Convert(utf8);
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
    Iconv cd("UTF-8", "GB18030");
    return cd.Convert(gbk);
}

std::string Trim(std::string_view s) {
    std::size_t begin = s.find_first_not_of(' ');
    if (begin == std::string_view::npos) return std::string();
    std::size_t end = s.find_last_not_of(' ');
    return std::string(s.substr(begin, end - begin + 1));
}

std::string_view WithoutTrailingBlanks(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = LowerAscii(c);
    return out;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

std::string String(const Date& d, std::string_view format) {
    if (IsGeneral(format)) return d.Iso();
    std::string out;
    for (std::size_t i = 0; i < format.size();) {
        const char c = format[i];
        if (c == '"') {
            std::size_t end = format.find('"', i + 1);
            if (end == std::string_view::npos) end = format.size();
            out += format.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (c == '\\' && i + 1 < format.size()) {
            out += format[i + 1];
            i += 2;
            continue;
        }
        const char lc = LowerAscii(c);
        if (lc != 'y' && lc != 'm' && lc != 'd') {
            out += c;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < format.size() && LowerAscii(format[i + run]) == lc) ++run;
        i += run;
        out += DatePart(d, lc, run);
    }
    return out;
}

std::string String(const Decimal& d, std::string_view format) {
    return FormatNumber(FromDecimal(d), format);
}

std::string String(std::int64_t n, std::string_view format) {
    return FormatNumber(FromLong(n), format);
}

std::string String(double n, std::string_view format) {
    if (!std::isfinite(n)) return std::string();
    if (n == 0) n = 0;  // no "-0"
    if (IsGeneral(format)) {
        std::array<char, 64> buf{};
        auto res = std::to_chars(buf.data(), buf.data() + buf.size(), n);
        return std::string(buf.data(), res.ptr);
    }
    return FormatNumber(FromDouble(n), format);
}

std::string String(const Value& v, std::string_view format) {
    switch (v.Type()) {
        case ValueType::Null:
            return std::string();
        case ValueType::String:
            return *v.String();
        case ValueType::Long:
            return String(*v.Long(), format);
        case ValueType::Real:
            return String(*v.Real(), format);
        case ValueType::Decimal:
            return String(*v.Decimal(), format);
        case ValueType::Date:
            return String(*v.Date(), format);
    }
    return std::string();
}

}  // namespace rt

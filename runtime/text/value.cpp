#include "runtime/text/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <system_error>

#include "runtime/platform/os.h"

namespace rt {

namespace {

constexpr std::int64_t kMaxCents = std::numeric_limits<std::int64_t>::max();

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view StripBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Reads exactly n digits; -1 when any of them is not a digit.
int Digits(std::string_view s, std::size_t pos, std::size_t n) {
    if (pos + n > s.size()) return -1;
    int v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (!IsDigit(s[i])) return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

// "HH:MM", optionally ":SS" and a fraction; a trailing zone designator is tolerated.
bool IsTimePart(std::string_view t) {
    int h = Digits(t, 0, 2);
    if (h < 0 || h > 24 || t.size() < 5 || t[2] != ':') return false;
    int mi = Digits(t, 3, 2);
    if (mi < 0 || mi > 59) return false;
    std::size_t pos = 5;
    if (pos < t.size() && t[pos] == ':') {
        int s = Digits(t, pos + 1, 2);
        if (s < 0 || s > 60) return false;
        pos += 3;
        if (pos < t.size() && t[pos] == '.') {
            ++pos;
            std::size_t start = pos;
            while (pos < t.size() && IsDigit(t[pos])) ++pos;
            if (pos == start) return false;
        }
    }
    std::string_view zone = t.substr(pos);
    if (zone.empty() || zone == "Z") return true;
    if ((zone[0] == '+' || zone[0] == '-') && zone.size() >= 3) {
        for (char c : zone.substr(1)) {
            if (!IsDigit(c) && c != ':') return false;
        }
        return true;
    }
    return false;
}

std::string ShortestReal(double d) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, res.ptr);
}

// Whole number in text: optional sign and digits only.
std::optional<std::int64_t> ParseWhole(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    std::uint64_t magnitude = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), magnitude);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (magnitude > kMax + 1) return std::nullopt;
        return magnitude == kMax + 1 ? std::numeric_limits<std::int64_t>::min()
                                     : -static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > kMax) return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

std::optional<Decimal> DecimalFromDouble(double v) {
    if (!std::isfinite(v)) return std::nullopt;
    // The shortest text that reads back as v is the number the database or the user meant (1.005,
    // not 1.00499999999999989...), so round that text rather than the binary value.
    return Decimal::Parse(ShortestReal(v));
}

// Whole number nearest to a real, halves away from zero; nullopt outside the range of int64.
std::optional<std::int64_t> RoundReal(double d) {
    if (!std::isfinite(d)) return std::nullopt;
    double r = std::round(d);
    // 2^63 is exactly representable; anything at or above it does not fit.
    if (r >= 9223372036854775808.0 || r < -9223372036854775808.0) return std::nullopt;
    return static_cast<std::int64_t>(r);
}

// A number's text taken apart: its value is the mantissa * 10^(exponent - fractionDigits), signed.
struct NumberText {
    bool negative = false;
    std::string mantissa;  // the digits, without the point
    std::size_t fractionDigits = 0;
    long long exponent = 0;
};

// Appends the digits from s[pos] on to `into`; how many there were.
std::size_t TakeDigits(std::string_view s, std::size_t& pos, std::string& into) {
    const std::size_t start = pos;
    while (pos < s.size() && IsDigit(s[pos])) into += s[pos++];
    return pos - start;
}

// The exponent's sign and digits from s[pos] on; false when it has no digit.
bool ReadExponent(std::string_view s, std::size_t& pos, long long& exponent) {
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        negative = s[pos] == '-';
        ++pos;
    }
    if (pos >= s.size() || !IsDigit(s[pos])) return false;
    exponent = 0;
    while (pos < s.size() && IsDigit(s[pos])) {
        // Saturate: any exponent this large already decides overflow or zero.
        if (exponent < 1'000'000) exponent = exponent * 10 + (s[pos] - '0');
        ++pos;
    }
    if (negative) exponent = -exponent;
    return true;
}

// "[+-]digits[.digits][(e|E)[+-]digits]" with a digit before or after the point; nothing else.
std::optional<NumberText> ReadNumberText(std::string_view s) {
    NumberText n;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        n.negative = s[0] == '-';
        s.remove_prefix(1);
    }
    std::size_t pos = 0;
    const std::size_t whole = TakeDigits(s, pos, n.mantissa);
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        n.fractionDigits = TakeDigits(s, pos, n.mantissa);
    }
    if (whole + n.fractionDigits == 0) return std::nullopt;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        ++pos;
        if (!ReadExponent(s, pos, n.exponent)) return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
    return n;
}

// The whole cents of mantissa * 10^shift (a mantissa of digits with no leading zero), the first
// digit cut off rounding half up; none past what a Decimal holds.
std::optional<std::int64_t> CentsOf(const std::string& mantissa, long long shift) {
    const auto len = static_cast<long long>(mantissa.size());
    std::uint64_t cents = 0;
    bool roundUp = false;
    if (shift >= 0) {
        if (len + shift > 19) return std::nullopt;
        for (char c : mantissa) cents = cents * 10 + static_cast<std::uint64_t>(c - '0');
        for (long long i = 0; i < shift; ++i) cents *= 10;
    } else {
        const long long keep = len + shift;  // digits that stay in the whole number of cents
        if (keep > 19) return std::nullopt;
        if (keep >= 0) {
            for (long long i = 0; i < keep; ++i)
                cents = cents * 10 + static_cast<std::uint64_t>(mantissa[i] - '0');
            roundUp = keep < len && mantissa[keep] >= '5';
        }
    }
    if (cents > static_cast<std::uint64_t>(kMaxCents)) return std::nullopt;
    if (roundUp) {
        if (cents == static_cast<std::uint64_t>(kMaxCents)) return std::nullopt;
        ++cents;
    }
    return static_cast<std::int64_t>(cents);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Date

bool Date::Valid() const {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

std::optional<Date> Date::Parse(std::string_view text) {
    text = StripBlanks(text);
    if (text.size() < 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    Date d{Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2)};
    if (d.year < 0 || d.month < 0 || d.day < 0 || !d.Valid()) return std::nullopt;
    std::string_view rest = text.substr(10);
    if (rest.empty()) return d;
    if (rest[0] != ' ' && rest[0] != 'T') return std::nullopt;
    rest.remove_prefix(1);
    if (!IsTimePart(StripBlanks(rest))) return std::nullopt;
    return d;
}

std::string Date::Iso() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
    return buf;
}

Date Date::Today() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    os::LocalTime(now, local);
    return Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

// ---------------------------------------------------------------------------------------------
// Decimal

std::optional<Decimal> Decimal::Parse(std::string_view text) {
    std::optional<NumberText> n = ReadNumberText(StripBlanks(text));
    if (!n) return std::nullopt;
    const std::size_t firstNonZero = n->mantissa.find_first_not_of('0');
    if (firstNonZero == std::string::npos) return Decimal{};
    n->mantissa.erase(0, firstNonZero);
    // cents = mantissa * 10^shift
    const std::optional<std::int64_t> cents =
        CentsOf(n->mantissa, n->exponent - static_cast<long long>(n->fractionDigits) + 2);
    if (!cents) return std::nullopt;
    return FromCents(n->negative ? -*cents : *cents);
}

std::optional<Decimal> Decimal::Add(Decimal a, Decimal b) {
    std::int64_t cents = 0;
    if (__builtin_add_overflow(a.cents_, b.cents_, &cents)) return std::nullopt;
    return FromCents(cents);
}

std::string Decimal::ToString() const {
    // Through unsigned so that the most negative value has a magnitude too.
    std::uint64_t magnitude =
        cents_ < 0 ? 0 - static_cast<std::uint64_t>(cents_) : static_cast<std::uint64_t>(cents_);
    std::string out = std::to_string(magnitude / 100);
    out += '.';
    out += static_cast<char>('0' + magnitude % 100 / 10);
    out += static_cast<char>('0' + magnitude % 10);
    if (cents_ < 0) out.insert(out.begin(), '-');
    return out;
}

// ---------------------------------------------------------------------------------------------
// Value

std::optional<std::string> Value::AsString() const {
    switch (Type()) {
        case ValueType::Null:
            return std::nullopt;
        case ValueType::String:
            return *String();
        case ValueType::Long:
            return std::to_string(*Long());
        case ValueType::Real:
            return ShortestReal(*Real());
        case ValueType::Decimal:
            return Decimal()->ToString();
        case ValueType::Date:
            return Date()->Iso();
    }
    return std::nullopt;
}

std::optional<std::int64_t> Value::AsLong() const {
    switch (Type()) {
        case ValueType::Null:
            return std::nullopt;
        case ValueType::String: {
            std::string_view s = StripBlanks(*String());
            if (auto n = ParseWhole(s)) return n;
            // "2025.00" or "1e3" still name a whole number; "12.5" does not.
            if (auto d = Decimal::Parse(s); d && d->Cents() % 100 == 0) return d->Cents() / 100;
            return std::nullopt;
        }
        case ValueType::Long:
            return *Long();
        case ValueType::Real:
            return RoundReal(*Real());
        case ValueType::Decimal: {
            std::int64_t c = Decimal()->Cents();
            std::int64_t whole = c / 100;
            std::int64_t rest = c % 100;
            if (rest >= 50) ++whole;
            if (rest <= -50) --whole;
            return whole;
        }
        case ValueType::Date:
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<double> Value::AsReal() const {
    switch (Type()) {
        case ValueType::Null:
            return std::nullopt;
        case ValueType::String: {
            std::string_view s = StripBlanks(*String());
            if (!s.empty() && s[0] == '+') s.remove_prefix(1);
            if (s.empty() || !(IsDigit(s[0]) || s[0] == '.' || s[0] == '-')) return std::nullopt;
            double d = 0;
            auto res = std::from_chars(s.data(), s.data() + s.size(), d);
            if (res.ec != std::errc() || res.ptr != s.data() + s.size() || !std::isfinite(d))
                return std::nullopt;
            return d;
        }
        case ValueType::Long:
            return static_cast<double>(*Long());
        case ValueType::Real:
            return *Real();
        case ValueType::Decimal:
            return Decimal()->ToDouble();
        case ValueType::Date:
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<rt::Decimal> Value::AsDecimal() const {
    switch (Type()) {
        case ValueType::Null:
            return std::nullopt;
        case ValueType::String:
            return rt::Decimal::Parse(*String());
        case ValueType::Long: {
            std::int64_t cents = 0;
            if (__builtin_mul_overflow(*Long(), std::int64_t{100}, &cents)) return std::nullopt;
            return rt::Decimal::FromCents(cents);
        }
        case ValueType::Real:
            return DecimalFromDouble(*Real());
        case ValueType::Decimal:
            return *Decimal();
        case ValueType::Date:
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<rt::Date> Value::AsDate() const {
    switch (Type()) {
        case ValueType::String:
            return rt::Date::Parse(*String());
        case ValueType::Date:
            if (Date()->Valid()) return *Date();
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::string Value::ToText() const {
    return AsString().value_or(std::string());
}

}  // namespace rt

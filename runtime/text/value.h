#pragma once
// The values that flow between the database, the DataWindow buffers and the application:
// null, text (UTF-8), whole numbers, single/double reals, exact two-place decimals and dates.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace rt {

// A calendar date without time. Year 1 is valid: the stored placeholder is 0001-01-01.
struct Date {
    int year = 1;
    int month = 1;
    int day = 1;

    auto operator<=>(const Date&) const = default;

    bool Valid() const;
    // "YYYY-MM-DD", optionally followed by a time part (" 00:00:00" or "T..."), which is ignored.
    static std::optional<Date> Parse(std::string_view text);
    // Always "YYYY-MM-DD" with a four-digit, zero-padded year.
    std::string Iso() const;
    static Date Today();
};

// An exact decimal number with two digits after the point, held in hundredths, so that money never
// round-trips through binary floating point.
class Decimal {
  public:
    constexpr Decimal() = default;
    static constexpr Decimal FromCents(std::int64_t cents) {
        Decimal d;
        d.cents_ = cents;
        return d;
    }
    // Accepts "1234", "1234.5", "-0.05", "+3.", ".5", "1.2e3" (what a database may hand back);
    // more than two decimals are rounded half away from zero. Blanks around the number are allowed.
    static std::optional<Decimal> Parse(std::string_view text);

    std::int64_t Cents() const { return cents_; }
    double ToDouble() const { return static_cast<double>(cents_) / 100.0; }
    // Plain form with two decimals: "1234.50", "-0.05", "0.00".
    std::string ToString() const;

    // Exact sum; nullopt when the result leaves the range of the type.
    static std::optional<Decimal> Add(Decimal a, Decimal b);
    auto operator<=>(const Decimal&) const = default;

  private:
    std::int64_t cents_ = 0;
};

enum class ValueType { Null, String, Long, Real, Decimal, Date };

class Value {
  public:
    Value() = default;
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(const char* s) : v_(std::string(s)) {}
    // int64_t is long on some systems and long long on others: both are taken.
    Value(int n) : v_(static_cast<std::int64_t>(n)) {}
    Value(long n) : v_(static_cast<std::int64_t>(n)) {}
    Value(long long n) : v_(static_cast<std::int64_t>(n)) {}
    Value(double d) : v_(d) {}
    Value(rt::Decimal d) : v_(d) {}
    Value(rt::Date d) : v_(d) {}
    template <class T>
    Value(const std::optional<T>& o) {
        if (o) *this = Value(*o);
    }

    static Value Null() { return Value(); }

    ValueType Type() const { return static_cast<ValueType>(v_.index()); }
    bool IsNull() const { return v_.index() == 0; }

    const std::string* String() const { return std::get_if<std::string>(&v_); }
    const std::int64_t* Long() const { return std::get_if<std::int64_t>(&v_); }
    const double* Real() const { return std::get_if<double>(&v_); }
    const rt::Decimal* Decimal() const { return std::get_if<rt::Decimal>(&v_); }
    const rt::Date* Date() const { return std::get_if<rt::Date>(&v_); }

    // Conversions in the way a host variable or a column of that type takes the value; nullopt for
    // null or for a value that does not convert (text that is not a number, a date out of range).
    std::optional<std::string> AsString() const;
    std::optional<std::int64_t> AsLong() const;
    std::optional<double> AsReal() const;
    std::optional<rt::Decimal> AsDecimal() const;
    std::optional<rt::Date> AsDate() const;

    // Canonical text: strings as they are, whole numbers in digits, decimals "1234.50", dates
    // "YYYY-MM-DD", reals in the shortest form that reads back the same; empty for null.
    std::string ToText() const;

    // Same type and value; null equals null (buffer comparison, not SQL comparison).
    bool operator==(const Value& o) const = default;

  private:
    std::variant<std::monostate, std::string, std::int64_t, double, rt::Decimal, rt::Date> v_;
};

}  // namespace rt

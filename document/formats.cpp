#include "document/formats.h"

#include <cmath>
#include <cstdint>

#include "runtime/text.h"

namespace laurel::document {

std::string Month(const std::optional<rt::Date>& date) {
    return date ? rt::String(*date, "yyyy-mm") : std::string();
}

std::string Amount(const std::optional<rt::Decimal>& amount) {
    return amount ? rt::String(*amount, "#,##0.00") : std::string();
}

std::string Whole(const std::optional<double>& number) {
    if (!number || !std::isfinite(*number)) return {};
    const double whole = std::trunc(*number);
    if (std::fabs(whole) >= 9.0e18) return rt::String(whole, "0");
    return std::to_string(static_cast<std::int64_t>(whole));
}

}  // namespace laurel::document

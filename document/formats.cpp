#include "document/formats.h"

#include <cmath>

#include "runtime/text/text.h"

namespace laurel::document {

std::string Month(const std::optional<rt::Date>& date) {
    return date ? rt::String(*date, "yyyy-mm") : std::string();
}

std::string Amount(const std::optional<rt::Decimal>& amount) {
    return amount ? rt::String(*amount, "#,##0.00") : std::string();
}

std::string Whole(const std::optional<double>& number) {
    return number ? rt::String(std::trunc(*number), "0") : std::string();
}

}  // namespace laurel::document

#pragma once
// How the documents print a stored value: dates as year and month, amounts with thousands
// separators, running numbers and whole numbers as plain digits. A null prints as nothing.

#include <optional>
#include <string>

#include "runtime/text/value.h"

namespace laurel::document {

// "yyyy-mm".
std::string Month(const std::optional<rt::Date>& date);
// "#,##0.00".
std::string Amount(const std::optional<rt::Decimal>& amount);
// The whole part, cut toward zero, in plain digits whatever its size: a number too large for a
// whole-number type is still written digit by digit rather than converted out of range.
std::string Whole(const std::optional<double>& number);

}  // namespace laurel::document

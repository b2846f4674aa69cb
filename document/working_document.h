#pragma once
// The working document: the form as the form document saves it and the lists document completes
// it, in the working folder (app/globals.h) under the recommendation number.

#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "runtime/text.h"

namespace laurel::records {

// What the Print command says when a page of the recommendation could not be read while the
// document was being made (the database's own box has said why): nothing is handed over.
inline constexpr const char* kUnreadDocument = "读取推荐书数据失败，未生成文档！";

// Thrown by a document step when a page cannot be read: the step ends there, the working document
// goes, and the Print command reports kUnreadDocument.
class UnreadPage : public std::runtime_error {
  public:
    UnreadPage() : std::runtime_error(kUnreadDocument) {}
};

// folder + "/" + the recommendation number + ".docx". The number comes from the database or from an
// imported package, so a path separator in it is replaced by "_": the working document always lies
// in the folder itself.
inline std::string WorkingDocumentPath(std::string_view folder, std::string_view askno) {
    std::string name(askno);
    for (char& c : name)
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    return std::string(folder) + "/" + name + ".docx";
}

// A running number of a list as both documents print it: its whole part in plain digits, whatever
// its size; a number too large for a whole-number type is still written digit by digit rather than
// converted out of range.
inline std::string ItemNumber(const std::optional<double>& n) {
    if (!n || !std::isfinite(*n)) return {};
    const double whole = std::trunc(*n);
    if (std::fabs(whole) >= 9.0e18) return rt::String(whole, "0");
    return std::to_string(static_cast<std::int64_t>(whole));
}

}  // namespace laurel::records

#pragma once
// A DataWindow saved as XML: one root element, one row element per row of the primary buffer, and
// in each row one element per column, named after the column, in the object's column order.
//
// The layout is what positional readers rely on: nothing stands between the column elements of a
// row (no blank text, no comment), and a null value is an empty element that keeps its place.
// Values are written in their canonical text (dates "YYYY-MM-DD", decimals "1234.50", whole numbers
// in digits, reals in the shortest form that reads back the same), as UTF-8. Carriage returns are
// written as character references so that they survive a parser's line-end handling; characters
// that XML 1.0 cannot carry at all (control characters, invalid UTF-8) are dropped or replaced.

#include <string>
#include <string_view>

namespace rt {

class DataWindow;

// Writes the file; rootName "" takes the object's name, rowName "" the root's name + "_row".
// Returns 1, or -1 when the file cannot be written or a name is not a valid XML name.
int SaveAsXml(const DataWindow& dw, const std::string& path, std::string_view rootName = {},
              std::string_view rowName = {});

// The text as XML element content: escaped, with what XML 1.0 cannot carry removed.
std::string XmlEscape(std::string_view text);

}  // namespace rt

#pragma once
// Settings files in the INI form: [section] lines and key=value lines; ';' and '#' start comments.

#include <string>
#include <string_view>

namespace rt {

// The value of `key` in `section` of the file (names compared without regard to case, blanks
// around the value removed); `defaultValue` when the file, the section or the key is missing.
std::string ProfileString(const std::string& file, std::string_view section, std::string_view key,
                          std::string_view defaultValue);

}  // namespace rt

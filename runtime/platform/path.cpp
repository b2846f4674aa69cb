#include "runtime/platform/path.h"

#include <cstddef>

namespace rt {

namespace {

// What Windows opens as a device, whatever the folder: the name before its first dot, without the
// blanks Windows drops there, is one of the device names, in any case. Ports are numbered with a
// digit, or a superscript one, two or three (in UTF-8), which name the same ports.
bool DeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    std::string lower(stem);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$"})
        if (lower == device) return true;
    if (!lower.starts_with("com") && !lower.starts_with("lpt")) return false;
    const std::string_view number = std::string_view(lower).substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

std::string PortableFileName(std::string_view utf8) {
    // Every byte of a character beyond ASCII is 0x80 or above in UTF-8, so only whole ASCII
    // characters are ever replaced or removed, and no character is cut.
    constexpr std::string_view kRefused = "\\/:*?\"<>|";
    std::string name(utf8);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || kRefused.find(c) != std::string_view::npos) c = '_';
    // Windows drops trailing dots and blanks when it opens a file: the name would be another.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    if (name.empty()) return "_";
    return DeviceName(name) ? "_" + name : name;
}

}  // namespace rt

#pragma once
// Paths are kept as UTF-8 text everywhere in the program. The file system takes them through
// these two, never through a path made from a plain string, which some systems read in a legacy
// code page: a folder or file with a Chinese name would then be another place or none.

#include <filesystem>
#include <string>
#include <string_view>

namespace rt {

// The path that UTF-8 text names.
inline std::filesystem::path FsPath(std::string_view utf8) {
    return std::filesystem::path(
        std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// A path as UTF-8 text, its separators as they are.
inline std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A path as a message shows it to the user: with the system's own separators, whatever the program
// joined its parts with.
inline std::string ShownPath(std::string_view utf8) {
    std::filesystem::path path = FsPath(utf8);
    path.make_preferred();
    return PathText(path);
}

// The text as one file name that both Windows and Linux file systems take, the same on either
// system, so that a file named after what a user typed can be saved, copied and unpacked on
// both: each character Windows refuses (\ / : * ? " < > | and the control characters) becomes
// "_", trailing dots and blanks go (a name left empty is "_"), and a name that Windows takes for a
// device ("CON", "com1.docx", "nul .txt") gets a "_" in front. A name that was already such a name
// comes back byte for byte; characters beyond ASCII are kept as they are.
std::string PortableFileName(std::string_view utf8);

// A path as UTF-8 text with "/" between its parts, as archives name their entries.
inline std::string GenericPathText(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace rt

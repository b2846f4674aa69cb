#include "runtime/config/settings.h"

#include <fstream>

#include "runtime/platform/path.h"
#include "runtime/text/text.h"

namespace rt {

namespace {
std::string_view Strip(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}
}  // namespace

std::string ProfileString(const std::string& file, std::string_view section, std::string_view key,
                          std::string_view defaultValue) {
    std::ifstream in(FsPath(file));
    if (!in) return std::string(defaultValue);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        std::string_view l = Strip(line);
        if (l.empty() || l.front() == ';' || l.front() == '#') continue;
        if (l.front() == '[') {
            auto end = l.find(']');
            inSection = end != std::string_view::npos && SameName(Strip(l.substr(1, end - 1)), section);
            continue;
        }
        if (!inSection) continue;
        auto eq = l.find('=');
        if (eq == std::string_view::npos) continue;
        if (SameName(Strip(l.substr(0, eq)), key)) return std::string(Strip(l.substr(eq + 1)));
    }
    return std::string(defaultValue);
}

}  // namespace rt

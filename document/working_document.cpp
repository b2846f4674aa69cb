#include "document/working_document.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>

#include "runtime/platform/dialogs.h"
#include "runtime/platform/files.h"
#include "runtime/platform/path.h"

namespace laurel::document {

namespace {

constexpr std::string_view kWordClass = "word.application";
constexpr std::string_view kKeyOpens = "（";
constexpr std::string_view kKeyCloses = "）.docx";

namespace fs = std::filesystem;

// The key in the name of a kept document; nothing when the name carries none.
std::optional<std::string> KeyOf(const std::string& name) {
    if (!name.ends_with(kKeyCloses)) return std::nullopt;
    const std::size_t opens = name.rfind(kKeyOpens);
    if (opens == std::string::npos) return std::nullopt;
    const std::size_t from = opens + kKeyOpens.size();
    return name.substr(from, name.size() - kKeyCloses.size() - from);
}

// The kept documents in `folder`, each with the key its name carries.
std::vector<std::pair<std::string, std::string>> KeptDocuments(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> kept;
    std::error_code ec;
    const fs::path place = rt::FsPath(folder + "/" + kKeptFolder);
    if (!fs::is_directory(fs::symlink_status(place, ec))) return kept;
    // Stepped without exceptions: a folder that cannot be read to its end gives what was read.
    for (fs::directory_iterator it(place, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kind;
        if (!it->is_regular_file(kind) || it->is_symlink(kind)) continue;
        const std::string name = rt::PathText(it->path().filename());
        if (const std::optional<std::string> key = KeyOf(name))
            kept.emplace_back(*key, rt::PathText(it->path()));
    }
    return kept;
}

// The key as the name of a kept document carries it, its characters changed as the whole name's
// were. The number before it is one no system takes for a device, so only the key's own change.
std::string KeyAsNamed(const std::string& key) {
    const std::string before = "_" + std::string(kKeyOpens);
    const std::string named = detail::DocumentName(before + key + "）");
    return named.substr(before.size(), named.size() - before.size() - kKeyCloses.size());
}

void RemoveKept(const std::string& folder, const std::function<bool(const std::string& key)>& gone,
                const std::string& except, std::vector<std::string>* removed) {
    for (const auto& [key, path] : KeptDocuments(folder)) {
        if (!gone(key) || (!except.empty() && rt::SameFile(path, except))) continue;
        std::error_code ec;
        if (fs::remove(rt::FsPath(path), ec) && removed != nullptr) removed->push_back(path);
    }
    std::error_code ec;
    fs::remove(rt::FsPath(folder + "/" + kKeptFolder), ec);  // once empty
}

}  // namespace

std::vector<std::string> RemoveKeptDocuments(const std::string& folder, const std::string& key,
                                             const std::string& except) {
    std::vector<std::string> removed;
    const std::string named = KeyAsNamed(key);
    RemoveKept(
        folder, [&named](const std::string& k) { return k == named; }, except, &removed);
    return removed;
}

void TidyKeptDocuments(const std::string& folder, const std::vector<std::string>& keys) {
    std::set<std::string> held;
    for (const std::string& key : keys) held.insert(KeyAsNamed(key));
    RemoveKept(
        folder, [&held](const std::string& k) { return held.count(k) == 0; }, {}, nullptr);
}

bool Attach(rt::word::Application& word) {
    if (word.ConnectToObject("", kWordClass) == 0) return true;
    const long status = word.ConnectToNewObject(kWordClass);
    if (status == 0) return true;
    rt::MessageBox("错误", "启动word错误: " + std::to_string(status), rt::Icon::StopSign);
    return false;
}

}  // namespace laurel::document

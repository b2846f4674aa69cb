#include "runtime/config/registry_windows.h"

#include <cwchar>
#include <filesystem>
#include <iterator>

#include "runtime/platform/path.h"

namespace rt::registry {

// Through the paths' own conversions, which are wide on Windows.
std::wstring Wide(std::string_view utf8) {
    return FsPath(utf8).wstring();
}

std::string Utf8(std::wstring_view wide) {
    return PathText(std::filesystem::path(wide));
}

Key::~Key() {
    if (h_ != nullptr) RegCloseKey(h_);
}

bool Key::Open(HKEY root, const std::wstring& path, REGSAM access) {
    if (h_ != nullptr) RegCloseKey(h_);
    h_ = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, access, &h_) == ERROR_SUCCESS) return true;
    h_ = nullptr;
    return false;
}

LSTATUS Key::Create(HKEY root, const std::wstring& path) {
    if (h_ != nullptr) RegCloseKey(h_);
    h_ = nullptr;
    const LSTATUS status =
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &h_, nullptr);
    if (status != ERROR_SUCCESS) h_ = nullptr;
    return status;
}

std::vector<StoredValue> Values(HKEY key) {
    std::vector<StoredValue> values;
    DWORD count = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; ++i) {
        std::wstring name(longestName + 1, L'\0');
        std::vector<BYTE> data(longestData + sizeof(wchar_t));
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LSTATUS status =
            RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_MORE_DATA) {
            // Grown since it was measured: measured again.
            if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                                 &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            --i;
            continue;
        }
        if (status != ERROR_SUCCESS) break;
        name.resize(nameLength);
        data.resize(size);
        values.push_back({std::move(name), type, std::move(data)});
    }
    return values;
}

std::optional<std::wstring> Text(HKEY key, const std::wstring& name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

LSTATUS SetText(HKEY key, const std::wstring& name, const std::wstring& value) {
    return RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS Put(HKEY key, const StoredValue& value) {
    return RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                          static_cast<DWORD>(value.data.size()));
}

std::wstring Expanded(const std::wstring& text) {
    const DWORD n = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    std::wstring expanded(n, L'\0');
    if (n == 0 || ExpandEnvironmentStringsW(text.c_str(), expanded.data(), n) != n) return text;
    expanded.resize(n - 1);
    return expanded;
}

std::string SystemMessage(LSTATUS code) {
    wchar_t buffer[512] = {};
    const DWORD n =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    std::wstring text(buffer, n);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.' || text.back() == L'。'))
        text.pop_back();
    if (text.empty()) return "错误代码 " + std::to_string(code);
    return Utf8(text);
}

}  // namespace rt::registry

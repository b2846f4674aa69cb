// Windows keeps the data sources in the registry: a user's under HKEY_CURRENT_USER, the machine's
// under HKEY_LOCAL_MACHINE, each a key of its name under Software\ODBC\ODBC.INI and a line in its
// list "ODBC Data Sources". The driver manager reads them from there; they are written the same way.

#include <shlobj.h>
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "runtime/config/data_source.h"
#include "runtime/config/first_start.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"

namespace rt {

namespace {

constexpr const wchar_t* kSources = L"Software\\ODBC\\ODBC.INI";
constexpr const wchar_t* kName = L"laurel";
constexpr const wchar_t* kDriverName = L"SQLite3 ODBC Driver";

std::string Utf8(const std::wstring& wide) {
    return PathText(std::filesystem::path(wide));
}

struct Key {
    HKEY h = nullptr;
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (h != nullptr) RegCloseKey(h);
    }
};

// The text value `name` of the data source's key, when it has one.
std::optional<std::wstring> Value(HKEY key, const wchar_t* name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value.resize(wcsnlen(value.c_str(), value.size()));
    if (type == REG_EXPAND_SZ || value.find(L'%') != std::wstring::npos) {
        // The SQLite driver expands the variables of its database name; so is it looked at here.
        const DWORD n = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
        std::wstring expanded(n, L'\0');
        if (n != 0 && ExpandEnvironmentStringsW(value.c_str(), expanded.data(), n) == n) {
            expanded.resize(n - 1);
            value = expanded;
        }
    }
    return value;
}

bool SetValue(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The user's local application data folder (%LOCALAPPDATA%), from the system's known folders.
std::optional<std::filesystem::path> LocalData() {
    PWSTR raw = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &raw);
    std::optional<std::filesystem::path> folder;
    if (SUCCEEDED(hr) && raw != nullptr) folder = std::filesystem::path(raw);
    CoTaskMemFree(raw);
    return folder;
}

bool Exists(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(p, ec));
}

// A data source of the user's or the machine's of that name: its database file when it names a
// SQLite one; nullopt when there is none.
std::optional<std::wstring> Existing(bool& found) {
    found = false;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        Key key;
        if (RegOpenKeyExW(root, (std::wstring(kSources) + L"\\" + kName).c_str(), 0, KEY_READ, &key.h) !=
            ERROR_SUCCESS)
            continue;
        found = true;
        const std::wstring driver = Value(key.h, L"Driver").value_or(L"");
        if (LowerAscii(Utf8(driver)).find("sqlite") == std::string::npos) return std::nullopt;
        return Value(key.h, L"Database");
    }
    return std::nullopt;
}

// One start at a time: two starts at once register the data source once.
struct StartLock {
    HANDLE h = CreateMutexW(nullptr, FALSE, L"Local\\laurel-data-source");
    StartLock() {
        if (h != nullptr) WaitForSingleObject(h, 30000);
    }
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;
    ~StartLock() {
        if (h != nullptr) {
            ReleaseMutex(h);
            CloseHandle(h);
        }
    }
};

}  // namespace

bool PrepareDataSource(const CreateDatabase& create, std::string& error) {
    error.clear();
    StartLock lock;
    bool found = false;
    const std::optional<std::wstring> named = Existing(found);
    if (found) {
        // Used as it is; a SQLite file it names that is not there yet is made.
        if (!named || named->empty()) return true;
        const std::filesystem::path db(*named);
        if (Exists(db)) return true;
        std::error_code ec;
        std::filesystem::create_directories(db.parent_path(), ec);
        return create(PathText(db), error);
    }

    const std::optional<std::filesystem::path> local = LocalData();
    if (!local) {
        error = "找不到用户的本地应用数据文件夹";
        return false;
    }
    const std::filesystem::path folder = *local / L"laurel";
    const std::filesystem::path db = folder / L"laurel.db";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!Exists(db) && !create(PathText(db), error)) return false;
    const std::string driver = SqliteDriver();
    if (!Exists(FsPath(driver))) {
        error = "找不到 SQLite ODBC 驱动程序 " + driver;
        return false;
    }

    Key key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kSources) + L"\\" + kName).c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, &key.h, nullptr) != ERROR_SUCCESS) {
        error = "无法登记数据源 laurel";
        return false;
    }
    // The driver takes the program's text as it is (UTF-8) with OEMCP off, whatever the system's
    // code page; a missing file must fail the connection, not become an empty database.
    const bool written = SetValue(key.h, L"Driver", FsPath(driver).wstring()) &&
                         SetValue(key.h, L"Description", L"laurel recommendation database") &&
                         SetValue(key.h, L"Database", db.wstring()) && SetValue(key.h, L"Timeout", L"2000") &&
                         SetValue(key.h, L"NoCreat", L"1") && SetValue(key.h, L"OEMCP", L"0");
    Key list;
    if (!written ||
        RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kSources) + L"\\ODBC Data Sources").c_str(), 0,
                        nullptr, 0, KEY_WRITE, nullptr, &list.h, nullptr) != ERROR_SUCCESS ||
        !SetValue(list.h, kName, kDriverName)) {
        error = "无法登记数据源 laurel";
        return false;
    }
    return true;
}

}  // namespace rt

// The scratch database's data sources on Windows: in the registry, where the tests' driver manager
// (driver_manager_windows.cpp) and the SQLite driver read them. HKEY_CURRENT_USER is the process's
// own there, so the user's data sources may be cleared and written freely.

#include <windows.h>

#include <string>

#include "runtime/platform/os.h"
#include "runtime/platform/path.h"
#include "tests/support/scratch_database.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// The same under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
constexpr const wchar_t* kSources = L"Software\\ODBC\\ODBC.INI";

std::wstring Wide(const std::string& utf8) {
    return rt::FsPath(utf8).wstring();
}

void SetText(HKEY key, const std::wstring& name, const std::wstring& value) {
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// As the program's first start writes one: a key of its name with its values, and its line in the
// list of the data sources, which names the driver's file.
void Write(HKEY root, const std::string& dsn, const rt::DataSourceEntries& entries) {
    const std::wstring name = Wide(dsn);
    const std::wstring path = std::wstring(kSources) + L"\\" + name;
    RegDeleteTreeW(root, path.c_str());
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    for (const auto& [k, v] : entries) SetText(key, Wide(k), Wide(v));
    RegCloseKey(key);
    if (RegCreateKeyExW(root, (std::wstring(kSources) + L"\\ODBC Data Sources").c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring driver = entries.empty() ? std::wstring() : Wide(entries.front().second);
    SetText(key, name, fs::path(driver).filename().wstring());
    RegCloseKey(key);
}

}  // namespace

// Only Linux keeps the data sources in a file.
fs::path ScratchDatabase::SystemIni() {
    return {};
}

void ScratchDatabase::ClearDataSources() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSources);
}

void ScratchDatabase::WriteDataSource(const std::string& dsn, const rt::DataSourceEntries& entries) const {
    Write(HKEY_CURRENT_USER, dsn, entries);
}

// The machine's registry is the Wine prefix's, which every test shares: what a test wrote there
// goes with its scratch database.
void ScratchDatabase::WriteSystemDataSource(const std::string& dsn, const rt::DataSourceEntries& entries) {
    Write(HKEY_LOCAL_MACHINE, dsn, entries);
}

void ScratchDatabase::DropSystemDataSources() {
    for (const std::string& dsn : systemNames_) {
        const std::wstring name = Wide(dsn);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kSources) + L"\\" + name).c_str());
        HKEY list = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kSources) + L"\\ODBC Data Sources").c_str(), 0,
                          KEY_SET_VALUE, &list) == ERROR_SUCCESS) {
            RegDeleteValueW(list, name.c_str());
            RegCloseKey(list);
        }
    }
    systemNames_.clear();
}

// The shipped driver, which the build lays beside the program and the tests. It takes the
// program's text as UTF-8 (OEMCP=0), as in the data source the program's first start writes.
rt::DataSourceEntries ScratchDatabase::SqliteDataSource(const fs::path& file) {
    const fs::path driver = rt::FsPath(rt::os::ExecutablePath()).parent_path() / L"sqlite3odbc.dll";
    return {{"Driver", rt::PathText(driver.lexically_normal().make_preferred())},
            {"Database", rt::PathText(file.lexically_normal().make_preferred())},
            {"OEMCP", "0"}};
}

// The registry is read afresh at each connect: "laurel" is written anew.
void ScratchDatabase::MakeFileUnreachable() {
    rt::DataSourceEntries entries = SqliteDataSource(dir_ / "missing" / "laurel.db");
    entries.emplace_back("NoCreat", "1");
    WriteDataSource("laurel", entries);
    rt::ForgetDataSourcesRead();
}

}  // namespace testing_support

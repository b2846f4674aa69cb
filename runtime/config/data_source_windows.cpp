// Windows: the data sources are kept in the registry as the driver manager reads them: the user's
// under HKEY_CURRENT_USER, the machine's under HKEY_LOCAL_MACHINE, each a key of its name under
// Software\ODBC\ODBC.INI whose value Driver is the driver's DLL, and a line in the list "ODBC Data
// Sources" beside it that names the driver. They are read and written there directly, with the wide
// functions: the ODBC installer's narrow functions read and write every text in the system's code
// page, want a driver's registered name where the program may name its own driver by its file, and
// under Wine list no data source at all.

#include "runtime/config/data_source_windows.h"

#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/config/data_source.h"
#include "runtime/config/data_source_installer.h"
#include "runtime/config/registry_windows.h"
#include "runtime/platform/os.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"

namespace rt {

namespace {

namespace fs = std::filesystem;
using registry::Key;
using registry::Utf8;
using registry::Wide;

constexpr const wchar_t* kUserSources = L"Software\\ODBC\\ODBC.INI";
constexpr const wchar_t* kMachineSources = L"SOFTWARE\\ODBC\\ODBC.INI";
// The list of the user's data sources, beside them.
constexpr const wchar_t* kUserList = L"Software\\ODBC\\ODBC.INI\\ODBC Data Sources";
constexpr const wchar_t* kKept = L"Software\\ODBC\\ODBC.INI before a change";
constexpr const wchar_t* kDrivers = L"SOFTWARE\\ODBC\\ODBCINST.INI";

}  // namespace

HKEY DataSourceRoot(DataSourceScope scope) {
    return scope == DataSourceScope::System ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::wstring DataSourceKey(const std::string& name, DataSourceScope scope) {
    return std::wstring(scope == DataSourceScope::System ? kMachineSources : kUserSources) + L"\\" +
           Wide(name);
}

namespace {

bool Has(const std::string& name, DataSourceScope scope) {
    Key key;
    return !name.empty() && key.Open(DataSourceRoot(scope), DataSourceKey(name, scope));
}

bool IsText(const registry::StoredValue& v) {
    return v.type == REG_SZ || v.type == REG_EXPAND_SZ;
}

std::string TextOf(const registry::StoredValue& v) {
    std::wstring text(reinterpret_cast<const wchar_t*>(v.data.data()), v.data.size() / sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), text.size()));
    return Utf8(v.type == REG_EXPAND_SZ ? registry::Expanded(text) : text);
}

// The data source's key, and its line in the list, as they are: to be put back exactly so when a
// change does not go through.
struct Snapshot {
    bool existed = false;
    std::vector<registry::StoredValue> values;
    bool listed = false;
    registry::StoredValue line;
};

Snapshot Take(const std::string& name) {
    Snapshot s;
    Key key;
    if (key.Open(HKEY_CURRENT_USER, DataSourceKey(name, DataSourceScope::User))) {
        s.existed = true;
        s.values = registry::Values(key.Handle());
    }
    Key list;
    if (list.Open(HKEY_CURRENT_USER, std::wstring(kUserList))) {
        for (registry::StoredValue& v : registry::Values(list.Handle())) {
            if (LowerAscii(Utf8(v.name)) == LowerAscii(name)) {
                s.listed = true;
                s.line = std::move(v);
                break;
            }
        }
    }
    return s;
}

std::string PlaceOf(const std::string& name) {
    return UserDataSourcePlace() + "\\" + name;
}

// Removes the user's data source `name` and its line in the list; false with `error` when the
// registry refused.
bool Erase(const std::string& name, std::string& error) {
    const LSTATUS gone =
        RegDeleteTreeW(HKEY_CURRENT_USER, DataSourceKey(name, DataSourceScope::User).c_str());
    if (gone != ERROR_SUCCESS && gone != ERROR_FILE_NOT_FOUND) {
        error = "无法删除注册表项 " + PlaceOf(name) + "：" + registry::SystemMessage(gone);
        return false;
    }
    Key list;
    if (list.Open(HKEY_CURRENT_USER, std::wstring(kUserList), KEY_READ | KEY_WRITE)) {
        const LSTATUS unlisted = RegDeleteValueW(list.Handle(), Wide(name).c_str());
        if (unlisted != ERROR_SUCCESS && unlisted != ERROR_FILE_NOT_FOUND) {
            error = "无法从数据源列表中删除 " + name + "：" + registry::SystemMessage(unlisted);
            return false;
        }
    }
    return true;
}

// Writes the user's data source `name`: its key with `values` in their order, and its line in the
// list. False with `error` at the first value the registry refused.
bool Put(const std::string& name, const std::vector<registry::StoredValue>& values,
         const registry::StoredValue& line, std::string& error) {
    Key key;
    if (const LSTATUS made = key.Create(HKEY_CURRENT_USER, DataSourceKey(name, DataSourceScope::User));
        made != 0) {
        error = "无法写入注册表项 " + PlaceOf(name) + "：" + registry::SystemMessage(made);
        return false;
    }
    for (const registry::StoredValue& v : values) {
        if (const LSTATUS put = registry::Put(key.Handle(), v); put != ERROR_SUCCESS) {
            error = "无法写入注册表项 " + PlaceOf(name) + " 的“" + Utf8(v.name) + "”：" +
                    registry::SystemMessage(put);
            return false;
        }
    }
    Key list;
    LSTATUS listed = list.Create(HKEY_CURRENT_USER, std::wstring(kUserList));
    if (listed == ERROR_SUCCESS) listed = registry::Put(list.Handle(), line);
    if (listed != ERROR_SUCCESS) {
        error = "无法把数据源 " + name + " 写入数据源列表：" + registry::SystemMessage(listed);
        return false;
    }
    RegFlushKey(key.Handle());
    RegFlushKey(list.Handle());
    return true;
}

// Writes `values` into the user's key `path`, made where missing, and flushes it: the system's error
// code at the first value refused, or 0.
LSTATUS PutValues(const std::wstring& path, const std::vector<registry::StoredValue>& values) {
    Key key;
    LSTATUS status = key.Create(HKEY_CURRENT_USER, path);
    for (const registry::StoredValue& v : values)
        if (status == ERROR_SUCCESS) status = registry::Put(key.Handle(), v);
    if (status == ERROR_SUCCESS) RegFlushKey(key.Handle());
    return status;
}

// Writes `before` at the key `key` and the list `list`: the system's error code, or 0.
LSTATUS PutSnapshot(const Snapshot& before, const std::wstring& key, const std::wstring& list) {
    LSTATUS status = ERROR_SUCCESS;
    if (before.existed) status = PutValues(key, before.values);
    if (status == ERROR_SUCCESS && before.listed) status = PutValues(list, {before.line});
    return status;
}

void Restore(const std::string& name, const Snapshot& before) {
    std::string ignored;
    Erase(name, ignored);
    PutSnapshot(before, DataSourceKey(name, DataSourceScope::User), std::wstring(kUserList));
}

// A change under way keeps the data source as it was here until the change is through: a change
// cut off (the program ended, the power went) is undone at the next change or the next start, so
// the data source is the old one or the new one, never a part of each.
std::wstring KeptOf(const std::string& name) {
    return std::wstring(kKept) + L"\\" + Wide(name);
}

bool Keep(const std::string& name, const Snapshot& before, std::string& error) {
    RegDeleteTreeW(HKEY_CURRENT_USER, KeptOf(name).c_str());
    LSTATUS status = PutValues(KeptOf(name), {});
    if (status == ERROR_SUCCESS)
        status = PutSnapshot(before, KeptOf(name) + L"\\key", KeptOf(name) + L"\\line");
    if (status == ERROR_SUCCESS) return true;
    RegDeleteTreeW(HKEY_CURRENT_USER, KeptOf(name).c_str());
    error = "无法先保存数据源 " + name + " 原来的内容：" + registry::SystemMessage(status);
    return false;
}

void Forget(const std::string& name) {
    RegDeleteTreeW(HKEY_CURRENT_USER, KeptOf(name).c_str());
    Key odbc;
    if (odbc.Open(HKEY_CURRENT_USER, L"Software\\ODBC")) RegFlushKey(odbc.Handle());
}

registry::StoredValue TextValue(const std::wstring& name, const std::string& text) {
    const std::wstring wide = Wide(text);
    registry::StoredValue v{name, REG_SZ, {}};
    const auto* bytes = reinterpret_cast<const BYTE*>(wide.c_str());
    v.data.assign(bytes, bytes + (wide.size() + 1) * sizeof(wchar_t));
    return v;
}

// The same entries, in whatever order the registry lists them (Windows as written, Wine by name).
bool Same(DataSourceEntries a, DataSourceEntries b) {
    const auto byKey = [](const DataSourceEntry& x, const DataSourceEntry& y) {
        return LowerAscii(x.first) < LowerAscii(y.first);
    };
    std::sort(a.begin(), a.end(), byKey);
    std::sort(b.begin(), b.end(), byKey);
    return a == b;
}

bool SameFile(const std::string& a, const std::string& b) {
    return LowerAscii(ShownPath(a)) == LowerAscii(ShownPath(b));
}

// A driver as the machine registered it: its name, and its DLL.
struct RegisteredDriver {
    std::string name;
    std::string file;
};

std::vector<RegisteredDriver> RegisteredDrivers() {
    std::vector<RegisteredDriver> drivers;
    Key list;
    if (!list.Open(HKEY_LOCAL_MACHINE, std::wstring(kDrivers) + L"\\ODBC Drivers")) return drivers;
    for (const registry::StoredValue& v : registry::Values(list.Handle())) {
        Key driver;
        if (!driver.Open(HKEY_LOCAL_MACHINE, std::wstring(kDrivers) + L"\\" + v.name)) continue;
        const std::optional<std::wstring> file = registry::Text(driver.Handle(), L"Driver");
        if (file && !file->empty()) drivers.push_back({Utf8(v.name), Utf8(*file)});
    }
    return drivers;
}

// The DLL that the data source's key names for `driver` (a registered name, or a DLL's path), and
// the name its line in the list gives; false with `error` when no such driver is installed.
bool DriverEntry(const std::string& driver, std::string& file, std::string& listed, std::string& error) {
    for (const RegisteredDriver& installed : RegisteredDrivers()) {
        if (LowerAscii(installed.name) == LowerAscii(driver)) {
            file = installed.file;
            listed = installed.name;
            return true;
        }
    }
    const fs::path path = FsPath(driver);
    if (!path.has_parent_path()) {
        error = "这台电脑没有安装名为“" + driver + "”的 ODBC 驱动程序";
        return false;
    }
    // A driver named by its file: listed under the name it is registered with, if any; else under
    // its file's name, never under another program's registered name.
    file = ShownPath(driver);
    listed = PathText(path.filename());
    for (const RegisteredDriver& installed : RegisteredDrivers())
        if (SameFile(installed.file, driver)) listed = installed.name;
    return true;
}

}  // namespace

DataSourceEntries ReadDataSource(const std::string& name, DataSourceScope scope) {
    DataSourceEntries entries;
    if (scope == DataSourceScope::None || name.empty()) return entries;
    Key key;
    if (!key.Open(DataSourceRoot(scope), DataSourceKey(name, scope))) return entries;
    for (const registry::StoredValue& v : registry::Values(key.Handle())) {
        if (!IsText(v) || v.name.empty()) continue;
        DataSourceEntry entry{Utf8(v.name), TextOf(v)};
        // The driver first, as every data source of the program is written.
        if (LowerAscii(entry.first) == "driver")
            entries.insert(entries.begin(), std::move(entry));
        else
            entries.push_back(std::move(entry));
    }
    return entries;
}

DataSourceScope FindDataSource(const std::string& name) {
    for (DataSourceScope scope : {DataSourceScope::User, DataSourceScope::System})
        if (Has(name, scope)) return scope;
    return DataSourceScope::None;
}

int UserDataSourceSections(const std::string& name) {
    return Has(name, DataSourceScope::User) ? 1 : 0;
}

std::string UserDataSourcePlace() {
    return "HKEY_CURRENT_USER\\Software\\ODBC\\ODBC.INI";
}

// The user's part of the registry is the user's alone.
bool UserDataSourceOpenToOthers() {
    return false;
}

bool WriteUserDataSource(const std::string& name, const DataSourceEntries& entries, std::string& error) {
    error.clear();
    if (!WritableEntries(entries, error)) return false;
    std::string file, listed;
    if (!DriverEntry(entries.front().second, file, listed, error)) return false;
    // As the driver manager wants it: the driver's DLL in the key, the driver's name in the list.
    DataSourceEntries stored = entries;
    stored.front() = {"Driver", file};
    std::vector<registry::StoredValue> values;
    for (const auto& [key, value] : stored) values.push_back(TextValue(Wide(key), value));

    RecoverUserDataSource(name);
    const Snapshot before = Take(name);
    if (!Keep(name, before, error)) return false;
    bool written = Erase(name, error) && Put(name, values, TextValue(Wide(name), listed), error);
    if (written && !Same(ReadDataSource(name, DataSourceScope::User), stored)) {
        error = "数据源写入注册表后读出的内容与写入的不同";
        written = false;
    }
    if (!written) Restore(name, before);
    Forget(name);
    return written;
}

bool RemoveUserDataSource(const std::string& name, std::string& error) {
    error.clear();
    RecoverUserDataSource(name);
    const Snapshot before = Take(name);
    if (!Keep(name, before, error)) return false;
    const bool removed = Erase(name, error);
    if (!removed) Restore(name, before);
    Forget(name);
    return removed;
}

void RecoverUserDataSource(const std::string& name) {
    Key kept;
    if (!kept.Open(HKEY_CURRENT_USER, KeptOf(name))) return;
    Snapshot before;
    Key key, line;
    if (key.Open(HKEY_CURRENT_USER, KeptOf(name) + L"\\key")) {
        before.existed = true;
        before.values = registry::Values(key.Handle());
    }
    if (line.Open(HKEY_CURRENT_USER, KeptOf(name) + L"\\line")) {
        std::vector<registry::StoredValue> lines = registry::Values(line.Handle());
        if (!lines.empty()) {
            before.listed = true;
            before.line = std::move(lines.front());
        }
    }
    Restore(name, before);
    Forget(name);
}

std::string SqliteDriver() {
    // The driver that comes with the program, named by its file, as the first start registers it.
    return PathText((FsPath(os::ExecutablePath()).parent_path() / L"sqlite3odbc.dll").make_preferred());
}

std::string OwnDatabaseFile() {
    // Where the first start makes it: the user's local application data folder.
    PWSTR raw = nullptr;
    fs::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw)) && raw != nullptr)
        folder = fs::path(raw);
    CoTaskMemFree(raw);
    return PathText(folder / L"laurel" / L"laurel.db");
}

// The driver manager reads the registry at each lookup: nothing is kept to forget.
void ForgetDataSourcesRead() {}

namespace {

constexpr std::string_view kTrial = "laurel-trial-";

// The stand-ins that a program ended during its connection test left behind: those of processes
// that no longer run.
void RemoveLeftTrials() {
    std::vector<std::string> left;
    {
        Key sources;
        if (!sources.Open(HKEY_CURRENT_USER, std::wstring(kUserSources))) return;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = static_cast<DWORD>(std::size(name));
            if (RegEnumKeyExW(sources.Handle(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            const std::string key = Utf8(std::wstring_view(name, length));
            if (!key.starts_with(kTrial)) continue;
            const DWORD pid = static_cast<DWORD>(std::strtoul(key.c_str() + kTrial.size(), nullptr, 10));
            if (pid == GetCurrentProcessId()) continue;
            if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
                DWORD code = 0;
                const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
                CloseHandle(process);
                if (running) continue;
            }
            left.push_back(key);
        }
    }
    std::string ignored;
    for (const std::string& key : left) RemoveUserDataSource(key, ignored);
}

}  // namespace

ConnectTarget::ConnectTarget(const DataSourceEntries& entries) {
    const std::string driver = entries.empty() ? std::string() : entries.front().second;
    bool registered = false;
    for (const RegisteredDriver& installed : RegisteredDrivers())
        registered = registered || LowerAscii(installed.name) == LowerAscii(driver);
    if (registered || !FsPath(driver).has_parent_path()) {
        text_ = ConnectStringFor(entries);
        return;
    }
    RemoveLeftTrials();
    static std::atomic<unsigned> made = 0;
    const std::string name =
        std::string(kTrial) + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
    std::string error;
    if (!WriteUserDataSource(name, entries, error)) {
        // The driver manager then says that it found no such driver.
        text_ = ConnectStringFor(entries);
        return;
    }
    name_ = name;
    text_ = "DSN=" + name;
}

ConnectTarget::~ConnectTarget() {
    std::string ignored;
    if (!name_.empty()) RemoveUserDataSource(name_, ignored);
}

std::vector<std::string> InstalledDrivers() {
    std::vector<std::string> names;
    for (const RegisteredDriver& driver : RegisteredDrivers()) names.push_back(driver.name);
    return names;
}

// psqlODBC's installer registers its drivers under these names, "(x64)" for the 64-bit ones. The
// ANSI one hands the program's UTF-8 text to the server as it is; the Unicode one, called through
// the narrow functions as the program calls it, would first read it in the system's code page.
std::string PostgreSQLDriver() {
    return PickPostgreSQLDriver(InstalledDrivers(), {"PostgreSQL ANSI(x64)", "PostgreSQL ANSI",
                                                     "PostgreSQL Unicode(x64)", "PostgreSQL Unicode"});
}

std::string PostgreSQLDriverSource() {
    return "请按说明书（README）“On Windows”一节安装 psqlODBC 驱动程序（64 位的 psqlodbc_x64.msi）";
}

}  // namespace rt

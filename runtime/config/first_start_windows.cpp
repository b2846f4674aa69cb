// Windows keeps the data sources in the registry (data_source_windows.cpp). The first start writes
// the user's own there as the data-source dialog does; a data source that names the program's own
// driver in a folder the program has left (reinstalled elsewhere, a portable copy moved or removed)
// is pointed at the running program's copy.

#include <shlobj.h>
#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "runtime/config/data_source.h"
#include "runtime/config/data_source_windows.h"
#include "runtime/config/first_start.h"
#include "runtime/config/registry_windows.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"

namespace rt {

namespace {

namespace fs = std::filesystem;

constexpr const char* kName = "laurel";

// The user's local application data folder (%LOCALAPPDATA%), from the system's known folders.
std::optional<fs::path> LocalData() {
    PWSTR raw = nullptr;
    const HRESULT hr = SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &raw);
    std::optional<fs::path> folder;
    if (SUCCEEDED(hr) && raw != nullptr) folder = fs::path(raw);
    CoTaskMemFree(raw);
    return folder;
}

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(p, ec));
}

// The SQLite driver expands the variables in its database's name (%LOCALAPPDATA%), whatever kind
// of value holds it; so is it looked at here.
fs::path Expanded(const std::string& named) {
    return fs::path(registry::Expanded(registry::Wide(named)));
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

// A data source that names the program's driver (by its file's name) where it no longer is gets
// the running program's copy; one whose driver is missing otherwise says so.
bool FindDriver(DataSourceScope scope, const std::string& driver, std::string& error) {
    if (driver.empty() || !FsPath(driver).has_parent_path() || Exists(FsPath(driver))) return true;
    const std::string own = SqliteDriver();
    if (LowerAscii(PathText(FsPath(driver).filename())) != LowerAscii(PathText(FsPath(own).filename()))) {
        error = "数据源 laurel 的驱动程序 " + ShownPath(driver) + " 不存在";
        return false;
    }
    registry::Key key;
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    if (key.Open(DataSourceRoot(scope), DataSourceKey(kName, scope), KEY_READ | KEY_WRITE))
        status = registry::SetText(key.Handle(), L"Driver", FsPath(own).wstring());
    if (status != ERROR_SUCCESS) {
        error = "数据源 laurel 的驱动程序 " + ShownPath(driver) + " 已不存在，也无法改为本程序的 " + own +
                "：" + registry::SystemMessage(status);
        return false;
    }
    RegFlushKey(key.Handle());
    return true;
}

}  // namespace

bool PrepareDataSource(const CreateDatabase& create, std::string& error) {
    error.clear();
    StartLock lock;
    RecoverUserDataSource(kName);
    const DataSourceScope scope = FindDataSource(kName);
    if (scope != DataSourceScope::None) {
        // Used as it is; a SQLite file it names that is not there yet is made.
        const DataSourceEntries entries = ReadDataSource(kName, scope);
        const std::string driver = EntryValue(entries, "Driver");
        if (!FindDriver(scope, driver, error)) return false;
        if (LowerAscii(driver).find("sqlite") == std::string::npos) return true;
        const std::string named = EntryValue(entries, "Database");
        if (named.empty()) return true;
        const fs::path db = Expanded(named);
        if (Exists(db)) return true;
        std::error_code ec;
        fs::create_directories(db.parent_path(), ec);
        return create(PathText(db), error);
    }

    const std::optional<fs::path> local = LocalData();
    if (!local) {
        error = "找不到用户的本地应用数据文件夹";
        return false;
    }
    const fs::path folder = *local / L"laurel";
    const fs::path db = folder / L"laurel.db";
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!Exists(db) && !create(PathText(db), error)) return false;
    const std::string driver = SqliteDriver();
    if (!Exists(FsPath(driver))) {
        error = "找不到 SQLite ODBC 驱动程序 " + driver;
        return false;
    }
    std::string why;
    if (!WriteUserDataSource(kName, FileDataSource(PathText(db)), why)) {
        error = "无法登记数据源 laurel：" + why;
        return false;
    }
    return true;
}

}  // namespace rt

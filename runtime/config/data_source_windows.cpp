// Windows: the data sources are kept in the registry (the user's under HKEY_CURRENT_USER, the
// machine's under HKEY_LOCAL_MACHINE), read and written through the ODBC installer. A name is a key
// of its own there: a data source is there once or not at all, and the user's are the user's alone.

#include "runtime/config/data_source.h"
#include "runtime/config/data_source_installer.h"
#include "runtime/platform/odbc.h"
// The installer's header builds on the ODBC types, which build on Windows' own.
#include <odbcinst.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "runtime/platform/os.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"

namespace rt {

namespace {

namespace fs = std::filesystem;

constexpr const char* kIni = "odbc.ini";

// The installer reads and writes the scope its configuration mode names, for the whole process:
// each use here sets the mode it needs and leaves the usual one behind it, which looks at the
// user's data sources first and then the machine's.
class ConfigMode {
  public:
    explicit ConfigMode(UWORD mode) { SQLSetConfigMode(mode); }
    ~ConfigMode() { SQLSetConfigMode(ODBC_BOTH_DSN); }
    ConfigMode(const ConfigMode&) = delete;
    ConfigMode& operator=(const ConfigMode&) = delete;
};

UWORD ModeOf(DataSourceScope scope) {
    return scope == DataSourceScope::System ? ODBC_SYSTEM_DSN : ODBC_USER_DSN;
}

std::vector<std::string> Names(const char* section) {
    return ListedNames([&](char* buffer, int size) {
        return SQLGetPrivateProfileString(section, nullptr, "", buffer, size, kIni);
    });
}

std::string ValueOf(const std::string& section, const std::string& key) {
    std::vector<char> buffer(1 << 14, '\0');
    SQLGetPrivateProfileString(section.c_str(), key.c_str(), "", buffer.data(),
                               static_cast<int>(buffer.size()), kIni);
    return std::string(buffer.data());
}

bool Has(const std::string& name) {
    for (const std::string& section : Names(nullptr))
        if (LowerAscii(section) == LowerAscii(name)) return true;
    return false;
}

std::string InstallerError() {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    WORD length = 0;
    SQLInstallerError(1, &code, message, sizeof message, &length);
    return message[0] != '\0' ? std::string(message) : std::string("ODBC 安装程序没有说明原因");
}

// Writes the user's data source `name` anew with `entries`; false with `error` when that failed.
bool Write(const std::string& name, const DataSourceEntries& entries, std::string& error) {
    if (Has(name) && !SQLRemoveDSNFromIni(name.c_str())) {
        error = InstallerError();
        return false;
    }
    if (entries.empty()) return true;
    if (!SQLWriteDSNToIni(name.c_str(), entries.front().second.c_str())) {
        error = InstallerError();
        return false;
    }
    for (std::size_t k = 1; k < entries.size(); ++k) {
        if (!SQLWritePrivateProfileString(name.c_str(), entries[k].first.c_str(), entries[k].second.c_str(),
                                          kIni)) {
            error = InstallerError();
            return false;
        }
    }
    return true;
}

}  // namespace

DataSourceEntries ReadDataSource(const std::string& name, DataSourceScope scope) {
    DataSourceEntries entries;
    if (scope == DataSourceScope::None) return entries;
    const ConfigMode mode(ModeOf(scope));
    if (!Has(name)) return entries;
    for (const std::string& key : Names(name.c_str())) entries.emplace_back(key, ValueOf(name, key));
    return entries;
}

DataSourceScope FindDataSource(const std::string& name) {
    for (DataSourceScope scope : {DataSourceScope::User, DataSourceScope::System}) {
        const ConfigMode mode(ModeOf(scope));
        if (Has(name)) return scope;
    }
    return DataSourceScope::None;
}

int UserDataSourceSections(const std::string& name) {
    const ConfigMode user(ODBC_USER_DSN);
    return Has(name) ? 1 : 0;
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
    const ConfigMode user(ODBC_USER_DSN);
    DataSourceEntries saved;
    if (Has(name))
        for (const std::string& key : Names(name.c_str())) saved.emplace_back(key, ValueOf(name, key));
    bool written = Write(name, entries, error);
    for (const auto& [key, value] : entries) {
        if (!written) break;
        if (ValueOf(name, key) != value) {
            error = "数据源写入后读出的“" + key + "”与写入的不同";
            written = false;
        }
    }
    if (written) return true;
    std::string ignored;
    Write(name, saved, ignored);
    return false;
}

bool RemoveUserDataSource(const std::string& name, std::string& error) {
    error.clear();
    const ConfigMode user(ODBC_USER_DSN);
    if (!Has(name) || SQLRemoveDSNFromIni(name.c_str())) return true;
    error = InstallerError();
    return false;
}

std::string SqliteDriver() {
    // The driver that comes with the program, as the first start registers it: in the system's
    // own separators, as a data source written by hand would name it.
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

}  // namespace rt

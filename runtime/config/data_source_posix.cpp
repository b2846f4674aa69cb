// Linux: the data sources are the driver manager's files, read and written through its ODBC
// installer library; the user's own are a file in the user's home.

#include <dlfcn.h>
#include <fcntl.h>
#include <odbcinst.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "runtime/config/data_source.h"
#include "runtime/config/data_source_installer.h"
#include "runtime/platform/fd.h"
#include "runtime/text/text.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace rt {

namespace {

namespace fs = std::filesystem;

constexpr const char* kIni = "odbc.ini";

// The ODBC installer, loaded for each use and let go afterwards, as the drivers load it: kept in
// the process, it would keep what it once read of the data sources for every driver that reads
// them later, and a data source that changed would be read as it was.
class Installer {
#if defined(__SANITIZE_ADDRESS__)
    // What the installer keeps of the files it read is lost when it is let go, as it is when a
    // driver lets it go: its leak, not ours, and not to drown the leak checker's findings.
    __lsan::ScopedDisabler leaks_;
#endif

  public:
    Installer() : lib_(::dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_LOCAL)) {
        if (lib_ == nullptr) return;
        Bind(getString, "SQLGetPrivateProfileString");
        Bind(writeString, "SQLWritePrivateProfileString");
        Bind(writeDsn, "SQLWriteDSNToIni");
        Bind(removeDsn, "SQLRemoveDSNFromIni");
        Bind(setMode, "SQLSetConfigMode");
        Bind(error, "SQLInstallerError");
    }
    ~Installer() {
        if (lib_ != nullptr) ::dlclose(lib_);
    }
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    bool Loaded() const {
        return getString && writeString && writeDsn && removeDsn && setMode && error;
    }

    decltype(&SQLGetPrivateProfileString) getString = nullptr;
    decltype(&SQLWritePrivateProfileString) writeString = nullptr;
    decltype(&SQLWriteDSNToIni) writeDsn = nullptr;
    decltype(&SQLRemoveDSNFromIni) removeDsn = nullptr;
    decltype(&SQLSetConfigMode) setMode = nullptr;
    decltype(&SQLInstallerError) error = nullptr;

  private:
    template <class F>
    void Bind(F& f, const char* name) {
        f = reinterpret_cast<F>(::dlsym(lib_, name));
    }
    void* lib_;
};

constexpr const char* kNoInstaller = "无法载入 ODBC 安装程序库（libodbcinst.so.2）";

// The installer reads and writes the scope its configuration mode names, for the whole process:
// each use here sets the mode it needs and leaves the driver manager's usual one behind it, which
// looks at the user's data sources first and then the system's.
class ConfigMode {
  public:
    ConfigMode(const Installer& in, UWORD mode) : in_(in) { in_.setMode(mode); }
    ~ConfigMode() { in_.setMode(ODBC_BOTH_DSN); }
    ConfigMode(const ConfigMode&) = delete;
    ConfigMode& operator=(const ConfigMode&) = delete;

  private:
    const Installer& in_;
};

UWORD ModeOf(DataSourceScope scope) {
    return scope == DataSourceScope::System ? ODBC_SYSTEM_DSN : ODBC_USER_DSN;
}

std::vector<std::string> Names(const Installer& in, const char* section) {
    return ListedNames(
        [&](char* buffer, int size) { return in.getString(section, nullptr, "", buffer, size, kIni); });
}

std::string ValueOf(const Installer& in, const std::string& section, const std::string& key) {
    std::vector<char> buffer(1 << 14, '\0');
    in.getString(section.c_str(), key.c_str(), "", buffer.data(), static_cast<int>(buffer.size()), kIni);
    return std::string(buffer.data());
}

int SectionsAt(const Installer& in, const std::string& name) {
    int count = 0;
    for (const std::string& section : Names(in, nullptr))
        if (LowerAscii(section) == LowerAscii(name)) ++count;
    return count;
}

// The installer's own words for the last failure of a call.
std::string InstallerError(const Installer& in) {
    DWORD code = 0;
    char message[SQL_MAX_MESSAGE_LENGTH + 1] = {};
    WORD length = 0;
    in.error(1, &code, message, sizeof message, &length);
    return message[0] != '\0' ? std::string(message) : std::string("ODBC 安装程序没有说明原因");
}

// ---- the user's own data sources on this platform: a file of the user's --------------------------

fs::path UserFile() {
    if (const char* ini = std::getenv("ODBCINI"); ini != nullptr && *ini != '\0') return ini;
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr ? home : "") / ".odbc.ini";
}

// What the file held before a change, so that a change that fails can be undone.
struct Saved {
    bool existed = false;
    std::string bytes;
    mode_t mode = 0600;
};

Saved Save(const fs::path& file) {
    Saved saved;
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return saved;
    std::ifstream in(file, std::ios::binary);
    saved.existed = true;
    saved.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    saved.mode = st.st_mode & 07777;
    return saved;
}

std::string Reason(const fs::path& file, int error) {
    return file.string() + ": " + std::error_code(error, std::generic_category()).message();
}

// The file is the user's alone before a password may go into it: made so when missing, its mode
// narrowed when it exists. A link is followed: the file it names is the one the driver reads.
bool MakePrivate(const fs::path& file, std::string& error) {
    std::error_code ec;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
    Fd fd;
    fd.fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd.fd < 0 || ::fchmod(fd.fd, 0600) != 0) {
        error = Reason(file, errno);
        return false;
    }
    return true;
}

void Restore(const Installer& in, const fs::path& file, const Saved& saved) {
    std::error_code ec;
    if (!saved.existed) {
        fs::remove(file, ec);
    } else {
        Fd fd;
        fd.fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd.fd >= 0) {
            WriteAll(fd.fd, saved.bytes.data(), saved.bytes.size());
            ::fchmod(fd.fd, saved.mode);
        }
    }
    // A driver that has the installer loaded shares what it keeps of the file: a write of the
    // installer's own makes it read the file again, and removing a section that is not there
    // changes nothing else.
    const ConfigMode user(in, ODBC_USER_DSN);
    in.writeString("laurel-no-such-data-source", nullptr, nullptr, kIni);
}

bool RemoveAll(const Installer& in, const std::string& name, std::string& error) {
    // Every section of the name goes, however many a hand-edited file holds.
    for (int left = SectionsAt(in, name), round = 0; left > 0; left = SectionsAt(in, name), ++round) {
        if (round > 64 || !in.removeDsn(name.c_str())) {
            error = InstallerError(in);
            return false;
        }
    }
    return true;
}

}  // namespace

std::string SqliteDriver() {
    // The name the first start registers it under, when the system knows the driver by it.
    const Installer in;
    if (in.Loaded()) {
        const ConfigMode system(in, ODBC_SYSTEM_DSN);
        std::vector<char> buffer(4096, '\0');
        in.getString("SQLite3", "Driver", "", buffer.data(), static_cast<int>(buffer.size()), "odbcinst.ini");
        if (buffer[0] != '\0') return "SQLite3";
    }
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/odbc", "/usr/lib/aarch64-linux-gnu/odbc",
                               "/usr/lib/odbc", "/usr/lib64", "/usr/lib"}) {
        const fs::path library = fs::path(folder) / "libsqlite3odbc.so";
        std::error_code ec;
        if (fs::exists(library, ec)) return library.string();
    }
    return "SQLite3";
}

DataSourceEntries ReadDataSource(const std::string& name, DataSourceScope scope) {
    DataSourceEntries entries;
    const Installer in;
    if (scope == DataSourceScope::None || !in.Loaded()) return entries;
    const ConfigMode mode(in, ModeOf(scope));
    if (SectionsAt(in, name) == 0) return entries;
    for (const std::string& key : Names(in, name.c_str())) entries.emplace_back(key, ValueOf(in, name, key));
    return entries;
}

DataSourceScope FindDataSource(const std::string& name) {
    const Installer in;
    if (!in.Loaded()) return DataSourceScope::None;
    for (DataSourceScope scope : {DataSourceScope::User, DataSourceScope::System}) {
        const ConfigMode mode(in, ModeOf(scope));
        if (SectionsAt(in, name) > 0) return scope;
    }
    return DataSourceScope::None;
}

int UserDataSourceSections(const std::string& name) {
    const Installer in;
    if (!in.Loaded()) return 0;
    const ConfigMode user(in, ODBC_USER_DSN);
    return SectionsAt(in, name);
}

std::string UserDataSourcePlace() {
    return UserFile().string();
}

bool WriteUserDataSource(const std::string& name, const DataSourceEntries& entries, std::string& error) {
    error.clear();
    if (!WritableEntries(entries, error)) return false;
    const Installer in;
    if (!in.Loaded()) {
        error = kNoInstaller;
        return false;
    }
    const fs::path file = UserFile();
    const Saved saved = Save(file);
    if (!MakePrivate(file, error)) {
        Restore(in, file, saved);
        return false;
    }
    const bool written = [&] {
        const ConfigMode user(in, ODBC_USER_DSN);
        if (!RemoveAll(in, name, error)) return false;
        if (!in.writeDsn(name.c_str(), entries.front().second.c_str())) {
            error = InstallerError(in);
            return false;
        }
        for (std::size_t k = 1; k < entries.size(); ++k) {
            if (!in.writeString(name.c_str(), entries[k].first.c_str(), entries[k].second.c_str(), kIni)) {
                error = InstallerError(in);
                return false;
            }
        }
        // What the driver will read: one section, and in it what was meant.
        if (SectionsAt(in, name) != 1) {
            error = "数据源没有写成唯一的一份";
            return false;
        }
        for (const auto& [key, value] : entries) {
            if (ValueOf(in, name, key) != value) {
                error = "数据源写入后读出的“" + key + "”与写入的不同";
                return false;
            }
        }
        return true;
    }();
    // The installer wrote the file anew: it stays the user's alone, whatever mode it was given.
    if (written && ::chmod(file.c_str(), 0600) == 0) return true;
    if (error.empty()) error = Reason(file, errno);
    Restore(in, file, saved);
    return false;
}

bool RemoveUserDataSource(const std::string& name, std::string& error) {
    error.clear();
    const Installer in;
    if (!in.Loaded()) {
        error = kNoInstaller;
        return false;
    }
    const fs::path file = UserFile();
    const Saved saved = Save(file);
    const bool removed = [&] {
        const ConfigMode user(in, ODBC_USER_DSN);
        return RemoveAll(in, name, error);
    }();
    if (removed) return true;
    Restore(in, file, saved);
    return false;
}

std::string OwnDatabaseFile() {
    fs::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        data = xdg;
    } else {
        const char* home = std::getenv("HOME");
        data = fs::path(home != nullptr ? home : "") / ".local" / "share";
    }
    return (data / "laurel" / "laurel.db").string();
}

}  // namespace rt

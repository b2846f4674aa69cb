// Linux: the data sources are the driver manager's files, read and written through its ODBC
// installer library; the user's own are a file in the user's home.

#include <dlfcn.h>
#include <fcntl.h>
#include <odbcinst.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "runtime/config/data_source.h"
#include "runtime/config/data_source_file.h"
#include "runtime/config/data_source_installer.h"
#include "runtime/platform/fd.h"
#include "runtime/platform/os.h"
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
        Bind(drivers, "SQLGetInstalledDrivers");
        // Not in the installer's public header, but what the driver manager itself asks.
        Bind(userIni, "_odbcinst_UserINI");
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
    decltype(&SQLGetInstalledDrivers) drivers = nullptr;
    // Where the user's data sources are kept, into a buffer of the system's longest path; the file is
    // made when the second argument asks for it.
    int (*userIni)(char* file, int make) = nullptr;

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

// `file` is "odbc.ini" for the data sources of the configuration mode in force, or the full name of
// a file of the installer's format.
std::vector<std::string> Names(const Installer& in, const char* section, const char* file = kIni) {
    return ListedNames(
        [&](char* buffer, int size) { return in.getString(section, nullptr, "", buffer, size, file); });
}

std::string ValueOf(const Installer& in, const std::string& section, const std::string& key,
                    const char* file = kIni) {
    std::vector<char> buffer(1 << 14, '\0');
    in.getString(section.c_str(), key.c_str(), "", buffer.data(), static_cast<int>(buffer.size()), file);
    return std::string(buffer.data());
}

int SectionsAt(const Installer& in, const std::string& name, const char* file = kIni) {
    int count = 0;
    for (const std::string& section : Names(in, nullptr, file))
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

// ---- the user's own data sources on this platform: a file of the user's, replaced whole ----------

// Where the installer keeps the user's data sources: its own answer (the file named in ODBCINI, or
// the one in the home folder the system gives the user, whatever HOME says), else the same rule.
fs::path UserFile(const Installer& in) {
    if (in.userIni != nullptr) {
        std::vector<char> buffer(2 * PATH_MAX + 2, '\0');
        if (in.userIni(buffer.data(), 0) && buffer[0] != '\0') return fs::path(buffer.data());
    }
    if (const char* ini = std::getenv("ODBCINI"); ini != nullptr && *ini != '\0') return ini;
    const struct passwd* user = ::getpwuid(::getuid());
    return fs::path(user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "/home") / ".odbc.ini";
}

// The reason of a failed call of the system, in the user's words.
std::string Why(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return "没有权限";
        case EROFS:
            return "磁盘只读";
        case ENOSPC:
            return "磁盘空间不足";
        case EDQUOT:
            return "超出了磁盘配额";
        case ENOENT:
        case ENOTDIR:
            return "所在的文件夹不存在";
        case ELOOP:
            return "链接层数过多，或链接指向自己";
        case EISDIR:
            return "它是一个文件夹";
        case EIO:
            return "磁盘读写出错";
        default:
            return "系统错误（错误号 " + std::to_string(error) + "）";
    }
}

// The file the driver manager reads for `place`: through a link, the file it leads to, however many
// links lie on the way. A link is never replaced by a file of its own: the file it names is.
bool FollowLinks(const fs::path& place, fs::path& file, std::string& error) {
    file = fs::absolute(place);
    for (int hops = 0;; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(file, ec))) return true;
        const fs::path next = fs::read_symlink(file, ec);
        if (ec || hops == 40) {
            error = "数据源文件“" + file.string() + "”无法读取：" + Why(ec ? ec.value() : ELOOP);
            return false;
        }
        file = next.is_absolute() ? next : file.parent_path() / next;
        file = file.lexically_normal();
    }
}

// The step a replacement takes next, for a test to watch; nothing by default.
std::function<void()>& StepWatch() {
    static std::function<void()> watch;
    return watch;
}
void Step() {
    if (const auto& watch = StepWatch()) watch();
}

// A change of the user's data-source file, made by the installer in a copy beside it and put in the
// file's place in one step: whoever reads the file (the driver manager of another program, the next
// start) finds it as it was or as changed, whatever becomes of this process meanwhile. The installer
// itself rewrites a file in place for each key it writes, which leaves it empty or cut short when
// the program is killed, or the machine stops, in the middle.
class Replacement {
  public:
    Replacement() = default;
    ~Replacement() {
        if (!copy_.empty()) ::unlink(copy_.c_str());
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    // Copies the file that `place` leads to (none when it does not exist) beside it, as the
    // installer's to change.
    bool Begin(const fs::path& place, std::string& error) {
        if (!FollowLinks(place, file_, error)) return false;
        Step();
        const std::string name = file_.string();
        struct stat st {};
        Fd old;
        if (::stat(name.c_str(), &st) == 0) {
            if (!S_ISREG(st.st_mode)) {
                error = "数据源文件“" + name + "”不是普通文件";
                return false;
            }
            old.fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
            if (old.fd < 0) return Failed("数据源文件“" + name + "”无法读取：", errno, error);
            // The empty file that looking a data source up makes (the installer makes the file it
            // is asked to read) is as good as none; one that a link leads to is another's choice.
            std::error_code ec;
            existed_ = st.st_size > 0 || fs::is_symlink(fs::symlink_status(place, ec));
            mode_ = st.st_mode & 07777;
            owner_ = st.st_uid;
            group_ = st.st_gid;
        } else if (errno != ENOENT) {
            return Failed("数据源文件“" + name + "”无法读取：", errno, error);
        } else if (std::error_code ec; !fs::create_directories(file_.parent_path(), ec) && ec) {
            return Failed("无法建立数据源文件“" + name + "”所在的文件夹：", ec.value(), error);
        }
        TidyLeftCopies();
        Fd copy;
        copy.fd = os::CreateTemporary(
            (file_.parent_path() / ("." + file_.filename().string() + kCopyTag)).string(), copy_);
        if (copy.fd < 0)
            return Failed("无法在数据源文件“" + name + "”所在的文件夹中建立新文件：", errno, error);
        std::vector<char> buffer(1 << 16);
        while (old.fd >= 0) {
            const long long got = os::Read(old.fd, buffer.data(), buffer.size());
            if (got < 0) return Failed("数据源文件“" + name + "”无法读取：", errno, error);
            if (got == 0) break;
            if (!WriteAll(copy.fd, buffer.data(), static_cast<std::size_t>(got)))
                return Failed("数据源文件“" + name + "”的新内容无法写入：", errno, error);
        }
        return true;
    }

    // The copy, by the full name through which the installer reads and writes a file of its own.
    const char* Copy() const { return copy_.c_str(); }

    // The copy, changed and checked, takes the file's place, with the file's permissions and, as
    // far as the system lets this user, its owner and group; a file made anew is the user's alone.
    bool Commit(std::string& error) {
        const std::string name = file_.string();
        Step();
        Fd copy;
        copy.fd = ::open(copy_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (copy.fd < 0) return Failed("数据源文件“" + name + "”的新内容无法写入：", errno, error);
        if (existed_ && (::fchown(copy.fd, owner_, group_) != 0))
            (void)::fchown(copy.fd, static_cast<uid_t>(-1), group_);
        if (::fchmod(copy.fd, existed_ ? mode_ : 0600) != 0 || !os::Sync(copy.fd))
            return Failed("数据源文件“" + name + "”的新内容无法写入：", errno, error);
        Step();
        if (!os::Replace(copy_, name)) return Failed("无法替换数据源文件“" + name + "”：", errno, error);
        copy_.clear();
        Step();
        return true;
    }

  private:
    static constexpr const char* kCopyTag = ".laurel-";

    static bool Failed(const std::string& what, int why, std::string& error) {
        error = what + Why(why);
        return false;
    }

    // Copies that a program killed in the middle of a change left behind: they may hold a password.
    // One still being written by a program at work now is younger than a minute.
    void TidyLeftCopies() const {
        const std::string prefix = "." + file_.filename().string() + kCopyTag;
        std::error_code ec;
        const auto now = fs::file_time_type::clock::now();
        for (fs::directory_iterator it(file_.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
            const std::string entry = it->path().filename().string();
            if (!entry.starts_with(prefix) || entry.size() != prefix.size() + 6) continue;
            std::error_code each;
            const fs::file_status status = it->symlink_status(each);
            const auto written = fs::last_write_time(it->path(), each);
            if (!each && fs::is_regular_file(status) && now - written > std::chrono::minutes(1))
                fs::remove(it->path(), each);
        }
    }

    fs::path file_;
    std::string copy_;
    bool existed_ = false;
    mode_t mode_ = 0600;
    uid_t owner_ = 0;
    gid_t group_ = 0;
};

// Every section of the name goes from `file`, however many a hand-edited file holds.
bool RemoveAll(const Installer& in, const char* file, const std::string& name, std::string& error) {
    for (int round = 0; SectionsAt(in, name, file) > 0; ++round) {
        Step();
        if (round > 64 || !in.writeString(name.c_str(), nullptr, nullptr, file)) {
            error = "ODBC 安装程序无法修改数据源：" + InstallerError(in);
            return false;
        }
    }
    return true;
}

// A driver that has the installer loaded shares what it keeps of the files it read: any write of
// the installer's own makes it read them again. This one goes to a file of its own, never to the
// user's.
void ForgetWhatWasRead(const Installer& in) {
    std::string scratch;
    Fd fd;
    std::error_code ec;
    fd.fd = os::CreateTemporary((fs::temp_directory_path(ec) / "laurel-forget-").string(), scratch);
    if (fd.fd < 0) return;
    in.writeString("laurel-forget", nullptr, nullptr, scratch.c_str());
    ::unlink(scratch.c_str());
}

// Changes the user's data-source file as `change` does to the copy it is given, then puts the copy
// in the file's place.
bool ReplaceUserFile(const Installer& in,
                     const std::function<bool(const char* copy, std::string& error)>& change,
                     std::string& error) {
    const fs::path place = UserFile(in);
    Replacement replacement;
    if (!replacement.Begin(place, error) || !change(replacement.Copy(), error) || !replacement.Commit(error))
        return false;
    ForgetWhatWasRead(in);
    return true;
}

}  // namespace

void ForgetDataSourcesRead() {
    const Installer in;
    if (in.Loaded()) ForgetWhatWasRead(in);
}

void WatchDataSourceFileSteps(std::function<void()> watch) {
    StepWatch() = std::move(watch);
}

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

std::vector<std::string> InstalledDrivers() {
    const Installer in;
    if (!in.Loaded() || in.drivers == nullptr) return {};
    return ListedNames([&](char* buffer, int size) {
        WORD written = 0;
        if (!in.drivers(buffer, static_cast<WORD>(std::min(size, 0xFFFF)), &written)) return 0;
        // The buffer came zeroed: the list ends at its first empty name, counted or not.
        return written > 0 ? static_cast<int>(written) : size;
    });
}

// Here the program's text reaches the driver unchanged by either: the one the data sources in the
// user's guide name.
std::string PostgreSQLDriver() {
    return PickPostgreSQLDriver(InstalledDrivers(), {"PostgreSQL Unicode", "PostgreSQL ANSI"});
}

std::string PostgreSQLDriverSource() {
    return "请安装 Debian 软件包 odbc-postgresql（见说明书 README“On a PostgreSQL server”一节）";
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
    const Installer in;
    return UserFile(in).string();
}

bool UserDataSourceOpenToOthers() {
    const Installer in;
    struct stat st {};
    return ::stat(UserFile(in).c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

bool WriteUserDataSource(const std::string& name, const DataSourceEntries& entries, std::string& error) {
    error.clear();
    if (!WritableEntries(entries, error)) return false;
    const Installer in;
    if (!in.Loaded()) {
        error = kNoInstaller;
        return false;
    }
    return ReplaceUserFile(
        in,
        [&](const char* copy, std::string& why) {
            if (!RemoveAll(in, copy, name, why)) return false;
            for (const auto& [key, value] : entries) {
                Step();
                if (!in.writeString(name.c_str(), key.c_str(), value.c_str(), copy)) {
                    why = "ODBC 安装程序无法写入数据源：" + InstallerError(in);
                    return false;
                }
            }
            // What the driver will read: one section, and in it what was meant.
            if (SectionsAt(in, name, copy) != 1) {
                why = "数据源没有写成唯一的一份";
                return false;
            }
            for (const auto& [key, value] : entries) {
                if (ValueOf(in, name, key, copy) != value) {
                    why = "数据源写入后读出的“" + key + "”与写入的不同";
                    return false;
                }
            }
            return true;
        },
        error);
}

bool RemoveUserDataSource(const std::string& name, std::string& error) {
    error.clear();
    const Installer in;
    if (!in.Loaded()) {
        error = kNoInstaller;
        return false;
    }
    {
        const ConfigMode user(in, ODBC_USER_DSN);
        if (SectionsAt(in, name) == 0) return true;
    }
    return ReplaceUserFile(
        in, [&](const char* copy, std::string& why) { return RemoveAll(in, copy, name, why); }, error);
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

// The driver manager takes a driver by its file as well as by its name.
ConnectTarget::ConnectTarget(const DataSourceEntries& entries) : text_(ConnectStringFor(entries)) {}

ConnectTarget::~ConnectTarget() = default;

}  // namespace rt

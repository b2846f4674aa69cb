// Windows: paths go to the wide-character calls, so that any name the file system holds works
// whatever the system's legacy code page.

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <system_error>

#include "runtime/platform/os.h"

namespace rt::os {

namespace {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

// Windows keeps one permission of its own, read-only; the rest is the folder's access list.
unsigned ModeOf(bool readOnly) {
    return readOnly ? 0444u : 0666u;
}

}  // namespace

int OpenRegular(const std::string& path) {
    // A pipe or device has a name of its own form (\\.\, CON, NUL) and no plain file's attributes.
    const std::wstring wide = Wide(path);
    const DWORD a = GetFileAttributesW(wide.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return -1;
    const int fd = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    struct _stat64 st {};
    if (fd >= 0 && (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)) {
        _close(fd);
        return -1;
    }
    return fd;
}

int CreateNew(const std::string& path, unsigned mode) {
    const int permission = (mode & 0200u) != 0 ? (_S_IREAD | _S_IWRITE) : _S_IREAD;
    return _wopen(Wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, permission);
}

int CreateTemporary(const std::string& prefix, std::string& made) {
    std::random_device random;
    for (int attempt = 0; attempt < 64; ++attempt) {
        made = prefix + std::to_string(random() % 100000000);
        const int fd = CreateNew(made, 0600);
        if (fd >= 0 || errno != EEXIST) {
            if (fd < 0) made.clear();
            return fd;
        }
    }
    made.clear();
    return -1;
}

int Close(int fd) {
    return _close(fd);
}

long long Read(int fd, void* buffer, std::size_t size) {
    return _read(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

long long ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) return -1;
    return Read(fd, buffer, size);
}

long long Write(int fd, const void* data, std::size_t size) {
    return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

bool Sync(int fd) {
    return _commit(fd) == 0;
}

bool Describe(int fd, FileInfo& info) {
    struct _stat64 st {};
    if (_fstat64(fd, &st) != 0) return false;
    info = {(st.st_mode & _S_IFMT) == _S_IFREG, static_cast<std::uint64_t>(st.st_size),
            ModeOf((st.st_mode & _S_IWRITE) == 0)};
    return true;
}

bool Describe(const std::string& path, FileInfo& info) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return false;
    const DWORD a = data.dwFileAttributes;
    info = {(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0,
            (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
            ModeOf((a & FILE_ATTRIBUTE_READONLY) != 0)};
    return true;
}

bool SetMode(int fd, unsigned mode) {
    // A new file already has what Windows can give it from here: the access list its folder
    // passes on. Replace keeps those of a file it replaces.
    (void)fd;
    (void)mode;
    return true;
}

namespace {

// Sets errno as the C library's rename would for the system's last error; false.
bool RenameFailed() {
    switch (GetLastError()) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            errno = EACCES;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_WRITE_PROTECT:
            errno = EROFS;
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            errno = ENOENT;
            break;
        default:
            errno = EIO;
            break;
    }
    return false;
}

}  // namespace

bool Replace(const std::string& from, const std::string& to) {
    const std::wstring source = Wide(from), target = Wide(to);
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // A target that another program holds open and will not let go (a document a word
        // processor shows) cannot be replaced. That is asked first: Wine's ReplaceFile moves the
        // target aside to a temporary file of its folder before anything else, and leaves that
        // file there when the move fails.
        const HANDLE probe =
            CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) return RenameFailed();
        if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
        // ReplaceFile keeps the replaced file's access list and attributes, as a rename over it
        // does elsewhere.
        if (ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                         nullptr))
            return true;
    }
    // A name not taken yet is a plain move.
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    return RenameFailed();
}

void Remove(const std::string& path) {
    _wunlink(Wide(path).c_str());
}

bool HoldFolder(const std::string& folder, bool exclusive) {
    // The mark is an open handle of the folder itself: shared, it lets others open the folder too;
    // exclusive, it lets nobody else, so it can be had only while no other process holds a handle of
    // the folder (another copy's mark, or anything else that has it open: then the tidy waits for a
    // later start, which is the safe way round). A link in the folder's place is not followed.
    // The handles are the process's until it ends, when the system closes them (as elsewhere the
    // descriptors): closing them from a static destructor at exit kept the process from ending.
    struct Mark {
        HANDLE h = INVALID_HANDLE_VALUE;
    };
    static std::map<std::string, Mark> marks;
    Mark& mark = marks[folder];
    const std::wstring wide = Wide(folder);
    const auto open = [&](DWORD share) {
        return CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY, share, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    };
    const auto take = [&](HANDLE h) {
        if (mark.h != INVALID_HANDLE_VALUE) CloseHandle(mark.h);
        mark.h = h;
        BY_HANDLE_FILE_INFORMATION info{};
        return h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info) &&
               (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
               (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    };
    const DWORD everyone = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (exclusive) {
        // The process's own shared mark would stand in the way.
        if (mark.h != INVALID_HANDLE_VALUE) {
            CloseHandle(mark.h);
            mark.h = INVALID_HANDLE_VALUE;
        }
        const HANDLE alone = open(0);
        if (alone != INVALID_HANDLE_VALUE) return take(alone);
        if (GetLastError() != ERROR_SHARING_VIOLATION) return false;
        take(open(everyone));
        return false;
    }
    // This process's own exclusive mark goes first; another process holds the folder alone only
    // while it tidies it.
    if (mark.h != INVALID_HANDLE_VALUE) {
        CloseHandle(mark.h);
        mark.h = INVALID_HANDLE_VALUE;
    }
    for (;;) {
        const HANDLE shared = open(everyone);
        if (shared != INVALID_HANDLE_VALUE) return take(shared);
        if (GetLastError() != ERROR_SHARING_VIOLATION) return false;
        Sleep(20);
    }
}

namespace {

// The marks MakeMarkedFolder and MarkFolder hand out, by their numbers.
std::map<int, HANDLE>& FolderMarks() {
    static std::map<int, HANDLE> marks;
    return marks;
}

// Opens the folder itself (a link in its place is not followed) with the sharing `share` and keeps
// the handle as a mark; -1 when it cannot be opened so, or is no folder.
int OpenMark(const std::string& path, DWORD share) {
    const HANDLE h = CreateFileW(Wide(path).c_str(), FILE_LIST_DIRECTORY, share, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(h);
        return -1;
    }
    static int next = 0;
    FolderMarks()[next] = h;
    return next++;
}

}  // namespace

int MakeMarkedFolder(const std::string& prefix, std::string& made) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        made = prefix + std::to_string(random() % 100000000);
        if (CreateDirectoryW(Wide(made).c_str(), nullptr)) {
            // Others may list it, but neither remove nor move it, nor take its mark.
            return OpenMark(made, FILE_SHARE_READ | FILE_SHARE_WRITE);
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    made.clear();
    return -1;
}

int MarkFolder(const std::string& path) {
    // Alone: only while no other handle of the folder is open, a running copy's mark among them.
    return OpenMark(path, 0);
}

void RemoveMarkedFolder(int mark, const std::string& path) {
    // The mark keeps the folder from being removed, this process's removal included: it goes first.
    Unmark(mark);
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(Wide(path)), ec);
}

void Unmark(int mark) {
    const auto it = FolderMarks().find(mark);
    if (it == FolderMarks().end()) return;
    CloseHandle(it->second);
    FolderMarks().erase(it);
}

std::string ExecutablePath() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return {};
        if (n < name.size()) {
            name.resize(n);
            break;
        }
        name.resize(name.size() * 2);
    }
    std::string path = Utf8(name);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

std::vector<std::string> Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    // The C runtime split the same line; should the two ever disagree, its own split stands.
    if (wide != nullptr && count == argc) {
        for (int i = 1; i < count; ++i) args.push_back(Utf8(wide[i]));
    } else {
        args.assign(argv + std::min(argc, 1), argv + argc);
    }
    LocalFree(wide);
    return args;
}

bool MakePrivateFolder(const std::string& path) {
    // The user's own folders (under the local application data) pass on an access list that gives
    // only the user, the system and the administrators the folder; a link in its place is refused.
    const std::wstring wide = Wide(path);
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const DWORD a = GetFileAttributesW(wide.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (a & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool OnReadOnlyDisk(const std::string& path) {
    std::wstring root(MAX_PATH + 1, L'\0');
    DWORD flags = 0;
    if (!GetVolumePathNameW(Wide(path).c_str(), root.data(), static_cast<DWORD>(root.size())) ||
        !GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
        return false;
    return (flags & FILE_READ_ONLY_VOLUME) != 0;
}

bool WritableFile(const std::string& path) {
    // Read-only is the one refusal a file carries itself; its access list only an open can tell,
    // and the database file must not be opened beside the driver.
    const DWORD a = GetFileAttributesW(Wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

bool WritableFolder(const std::string& path) {
    const DWORD a = GetFileAttributesW(Wide(path).c_str());
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
    // Only trying tells: the access list decides, and a program folder under Program Files takes
    // no file from a user who is not an administrator.
    std::string probe;
    const int fd = CreateTemporary(path + "/.probe", probe);
    if (fd < 0) return false;
    _close(fd);
    Remove(probe);
    return true;
}

std::string FromCodePage(std::string_view text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return Utf8(wide);
}

void LocalTime(std::time_t t, std::tm& local) {
    localtime_s(&local, &t);
}

void SetEnvironment(const char* name, const char* value) {
    // Wide, so that a value keeps its characters whatever the system's code page; empty removes it.
    _wputenv_s(Wide(name).c_str(), Wide(value == nullptr ? "" : value).c_str());
}

bool ProcessEnding() {
    // The loader's own flag, set once the process ends and its libraries are let go.
    using Probe = BOOLEAN(WINAPI*)();
    static const Probe probe = reinterpret_cast<Probe>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    return probe != nullptr && probe() != FALSE;
}

}  // namespace rt::os

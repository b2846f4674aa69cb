#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include "runtime/platform/os.h"

namespace rt::os {

int OpenRegular(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    // What was looked at may have been replaced since.
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int CreateNew(const std::string& path, unsigned mode) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
}

int CreateTemporary(const std::string& prefix, std::string& made) {
    made = prefix + "XXXXXX";
    const int fd = ::mkostemp(made.data(), O_CLOEXEC);
    if (fd < 0) made.clear();
    return fd;
}

int Close(int fd) {
    return ::close(fd);
}

long long Read(int fd, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

long long ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

long long Write(int fd, const void* data, std::size_t size) {
    for (;;) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        return written;
    }
}

bool Sync(int fd) {
    return ::fsync(fd) == 0;
}

bool Describe(int fd, FileInfo& info) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    info = {S_ISREG(st.st_mode), static_cast<std::uint64_t>(st.st_size), st.st_mode & 07777u};
    return true;
}

bool Describe(const std::string& path, FileInfo& info) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    info = {S_ISREG(st.st_mode), static_cast<std::uint64_t>(st.st_size), st.st_mode & 07777u};
    return true;
}

bool SetMode(int fd, unsigned mode) {
    return ::fchmod(fd, mode) == 0;
}

bool Replace(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) return false;
    // The new name on disk too, so that a machine that stops now comes back with it.
    const std::string folder = std::filesystem::path(to).parent_path().string();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
    return true;
}

void Remove(const std::string& path) {
    ::unlink(path.c_str());
}

bool HoldFolder(const std::string& folder, bool exclusive) {
    // One descriptor per folder for the life of the process: the lock on it is the mark.
    static std::map<std::string, int> marks;
    auto [at, fresh] = marks.emplace(folder, -1);
    if (fresh) at->second = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int fd = at->second;
    if (fd < 0) return false;
    if (exclusive) return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    for (;;) {
        if (::flock(fd, LOCK_SH) == 0) return true;
        if (errno != EINTR) return false;
    }
}

namespace {

// The folder of the descriptor, still at `path`.
bool StillThere(int fd, const std::string& path) {
    struct stat held {};
    struct stat there {};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &there) == 0 && S_ISDIR(there.st_mode) &&
           held.st_dev == there.st_dev && held.st_ino == there.st_ino;
}

}  // namespace

int MakeMarkedFolder(const std::string& prefix, std::string& made) {
    made = prefix + "XXXXXX";
    if (::mkdtemp(made.data()) == nullptr) {
        made.clear();
        return -1;
    }
    return MarkFolder(made);
}

int MarkFolder(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    // A process that tidies may have removed it between the opening and the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && StillThere(fd, path)) return fd;
    ::close(fd);
    return -1;
}

void RemoveMarkedFolder(int mark, const std::string& path) {
    // Removed while still marked, so that no other process takes it for a dead one's meanwhile.
    std::error_code ec;
    if (StillThere(mark, path)) std::filesystem::remove_all(path, ec);
    ::close(mark);
}

void Unmark(int mark) {
    ::close(mark);
}

std::string ExecutablePath() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::vector<std::string> Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

bool MakePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    // Nobody else may write into it: a link planted there could redirect the working files.
    struct stat mine {};
    return ::lstat(path.c_str(), &mine) == 0 && S_ISDIR(mine.st_mode) && mine.st_uid == ::geteuid() &&
           (mine.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool OnReadOnlyDisk(const std::string& path) {
    return ::access(path.c_str(), W_OK) != 0 && errno == EROFS;
}

bool WritableFile(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

bool WritableFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::string FromCodePage(std::string_view text) {
    return std::string(text);
}

void LocalTime(std::time_t t, std::tm& local) {
    localtime_r(&t, &local);
}

void SetEnvironment(const char* name, const char* value) {
    if (value == nullptr)
        ::unsetenv(name);
    else
        ::setenv(name, value, 1);
}

bool ProcessEnding() {
    return false;
}

}  // namespace rt::os

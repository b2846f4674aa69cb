#include "runtime/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <random>
#include <system_error>
#include <vector>

#include "runtime/fd.h"

namespace rt {

namespace fs = std::filesystem;

Fd::~Fd() {
    if (fd >= 0) ::close(fd);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool OpenRegularFile(const std::string& path, Fd& file) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    // What was looked at may have been replaced since.
    return file.fd >= 0 && ::fstat(file.fd, &st) == 0 && S_ISREG(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

int FileCopy(const std::string& source, const std::string& target) {
    Fd in;
    if (!OpenRegularFile(source, in)) return -1;
    if (target.empty()) return -2;
    if (SameFile(source, target)) return 1;

    // The file that will be replaced: through a link, the file it points to.
    std::error_code ec;
    fs::path place(target);
    if (fs::is_symlink(fs::symlink_status(place, ec))) {
        const fs::path resolved = fs::weakly_canonical(place, ec);
        if (ec) return -2;
        place = resolved;
    }
    struct stat old {};
    const bool replacing = ::stat(place.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) return -2;

    std::random_device random;
    std::string partial;
    Fd out;
    for (int attempt = 0; attempt < 16 && out.fd < 0; ++attempt) {
        partial = place.string() + ".part" + std::to_string(random() % 1000000);
        // 0666 less the umask, as any new file of the user's.
        out.fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out.fd < 0 && errno != EEXIST) break;
    }
    if (out.fd < 0) return -2;

    int result = 1;
    if (replacing && ::fchmod(out.fd, old.st_mode & 07777) != 0) result = -2;
    std::vector<char> buffer(1 << 16);
    while (result == 1) {
        const ssize_t got = ::read(in.fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) result = -1;
        if (got <= 0) break;
        if (!WriteAll(out.fd, buffer.data(), static_cast<std::size_t>(got))) result = -2;
    }
    // On disk before it takes the name of a file it replaces, so that a crash leaves the old file
    // or the new one.
    if (result == 1 && replacing && ::fsync(out.fd) != 0) result = -2;
    if (::close(out.fd) != 0 && result == 1) result = -2;
    out.fd = -1;
    if (result == 1 && std::rename(partial.c_str(), place.c_str()) != 0) result = -2;
    if (result != 1) ::unlink(partial.c_str());
    return result;
}

bool ClearFolder(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (fs::is_symlink(status)) fs::remove(path, ec);
    if (fs::is_directory(status)) {
        // What lies inside goes one by one: a link among it is removed as a link.
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code each;
            fs::remove_all(it->path(), each);
        }
    } else if (!fs::create_directory(path, ec) || ec) {
        return false;
    }
    ec.clear();
    return fs::is_directory(fs::symlink_status(path, ec)) && fs::is_empty(path, ec) && !ec;
}

void RemoveFolder(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (fs::is_symlink(status) || fs::is_directory(status)) fs::remove_all(path, ec);
}

bool TidyUnused(const std::string& folder, const std::function<void()>& tidy) {
    // One descriptor per folder for the life of the process: the lock is its mark.
    static std::map<std::string, int> marks;
    auto [at, fresh] = marks.emplace(folder, -1);
    if (fresh) at->second = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int fd = at->second;
    if (fd < 0) return false;
    // Alone when the mark can be made exclusive; it is shared again afterwards, so that another
    // process can tell that this one runs. Another process holds it exclusive only while it tidies.
    const bool alone = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (alone) tidy();
    while (::flock(fd, LOCK_SH) != 0 && errno == EINTR) {
    }
    return alone;
}

}  // namespace rt

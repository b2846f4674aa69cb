#include "runtime/platform/files.h"

#include <cerrno>
#include <filesystem>
#include <map>
#include <random>
#include <string_view>
#include <system_error>
#include <vector>

#include "runtime/platform/fd.h"
#include "runtime/platform/os.h"
#include "runtime/platform/path.h"

namespace rt {

namespace fs = std::filesystem;

Fd::~Fd() {
    if (fd >= 0) os::Close(fd);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const long long written = os::Write(fd, data, size);
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool OpenRegularFile(const std::string& path, Fd& file) {
    file.fd = os::OpenRegular(path);
    return file.fd >= 0;
}

int CreateEmptyFile(const std::string& path) {
    const int fd = os::CreateNew(path, 0666);
    if (fd < 0) return errno;
    os::Close(fd);
    return 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(FsPath(a), FsPath(b), ec) && !ec;
}

int FileCopy(const std::string& source, const std::string& target) {
    Fd in;
    if (!OpenRegularFile(source, in)) return -1;
    if (target.empty()) return -2;
    if (SameFile(source, target)) return 1;

    // The file that will be replaced: through a link, the file it points to.
    std::error_code ec;
    fs::path place = FsPath(target);
    if (fs::is_symlink(fs::symlink_status(place, ec))) {
        const fs::path resolved = fs::weakly_canonical(place, ec);
        if (ec) return -2;
        place = resolved;
    }
    const std::string placed = PathText(place);
    os::FileInfo old;
    const bool replacing = os::Describe(placed, old);
    if (replacing && !old.regular) return -2;

    std::random_device random;
    std::string partial;
    Fd out;
    for (int attempt = 0; attempt < 16 && out.fd < 0; ++attempt) {
        partial = placed + ".part" + std::to_string(random() % 1000000);
        // 0666 less the umask, as any new file of the user's.
        out.fd = os::CreateNew(partial, 0666);
        if (out.fd < 0 && errno != EEXIST) break;
    }
    if (out.fd < 0) return -2;

    int result = 1;
    if (replacing && !os::SetMode(out.fd, old.mode)) result = -2;
    std::vector<char> buffer(1 << 16);
    while (result == 1) {
        const long long got = os::Read(in.fd, buffer.data(), buffer.size());
        if (got < 0) result = -1;
        if (got <= 0) break;
        if (!WriteAll(out.fd, buffer.data(), static_cast<std::size_t>(got))) result = -2;
    }
    // On disk before it takes the name of a file it replaces, so that a crash leaves the old file
    // or the new one.
    if (result == 1 && replacing && !os::Sync(out.fd)) result = -2;
    if (os::Close(out.fd) != 0 && result == 1) result = -2;
    out.fd = -1;
    if (result == 1 && !os::Replace(partial, placed)) result = -2;
    if (result != 1) os::Remove(partial);
    return result;
}

bool ClearFolder(const std::string& text) {
    const fs::path path = FsPath(text);
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

void RemoveFolder(const std::string& text) {
    const fs::path path = FsPath(text);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (fs::is_symlink(status) || fs::is_directory(status)) fs::remove_all(path, ec);
}

namespace {

constexpr std::string_view kOwnPrefix = "tmp_run.";

// The folders OwnFolder made, by their parents, each with its mark: held as long as the process
// runs, or until it leaves them.
std::map<std::string, std::pair<std::string, int>>& OwnFolders() {
    static std::map<std::string, std::pair<std::string, int>> made;
    return made;
}

}  // namespace

std::string OwnFolder(const std::string& parent) {
    auto& made = OwnFolders();
    if (const auto it = made.find(parent); it != made.end()) return it->second.first;
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string name;
        const int mark = os::MakeMarkedFolder(parent + "/" + std::string(kOwnPrefix), name);
        if (mark >= 0) {
            made.emplace(parent, std::make_pair(name, mark));
            return name;
        }
        // Another copy that tidies took it for a dead one's before it was marked: another is made.
        if (name.empty()) break;
    }
    return {};
}

void LeaveOwnFolders() {
    for (const auto& [parent, folder] : OwnFolders()) os::RemoveMarkedFolder(folder.second, folder.first);
    OwnFolders().clear();
}

void TidyOwnFolders(const std::string& parent) {
    std::error_code ec;
    for (fs::directory_iterator it(FsPath(parent), ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path path = it->path();
        if (!PathText(path.filename()).starts_with(kOwnPrefix)) continue;
        std::error_code each;
        if (!fs::is_directory(fs::symlink_status(path, each))) {
            fs::remove(path, each);
            continue;
        }
        // Held by a running copy, this one's own among them: left alone.
        const std::string folder = PathText(path);
        if (const int mark = os::MarkFolder(folder); mark >= 0) os::RemoveMarkedFolder(mark, folder);
    }
}

bool TidyUnused(const std::string& folder, const std::function<void()>& tidy) {
    // Alone when the mark can be made exclusive; it is shared again afterwards, so that another
    // process can tell that this one runs. Another process holds it exclusive only while it tidies.
    const bool alone = os::HoldFolder(folder, true);
    if (alone) tidy();
    os::HoldFolder(folder, false);
    return alone;
}

}  // namespace rt

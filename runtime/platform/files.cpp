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

namespace {

bool OverQuota(const std::error_code& error) {
#ifdef EDQUOT
    return error.value() == EDQUOT && error.category() == std::generic_category();
#else
    (void)error;
    return false;  // Windows reports a full quota as a full disk
#endif
}

// -2, the result of a target that cannot be written, with the system's error, taken at once before
// a later call changes it.
int Unwritable(std::error_code& error) {
    error.assign(errno, std::generic_category());
    return -2;
}

// The file that a copy to `target` replaces (through a link, the file it points to) in `placed`,
// and whether one is there, described in `old`. False when it cannot be told, or is no plain file.
bool PlaceOf(const std::string& target, std::string& placed, os::FileInfo& old, bool& replacing,
             std::error_code& error) {
    fs::path place = FsPath(target);
    if (fs::is_symlink(fs::symlink_status(place, error))) {
        const fs::path resolved = fs::weakly_canonical(place, error);
        if (error) return false;
        place = resolved;
    }
    error.clear();
    placed = PathText(place);
    replacing = os::Describe(placed, old);
    if (replacing && !old.regular) {
        error = std::make_error_code(std::errc::is_a_directory);
        return false;
    }
    return true;
}

// A new file beside `placed`, under a name of its own (in `partial`); -1 when none can be made.
int CreatePartial(const std::string& placed, std::string& partial) {
    std::random_device random;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        partial = placed + ".part" + std::to_string(random() % 1000000);
        // 0666 less the umask, as any new file of the user's.
        fd = os::CreateNew(partial, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    return fd;
}

// What is left to read of `in` written to `out`: 1, -1 when `in` cannot be read, -2 when `out`
// cannot be written.
int CopyContent(int in, int out, std::error_code& error) {
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const long long got = os::Read(in, buffer.data(), buffer.size());
        if (got < 0) return -1;
        if (got == 0) return 1;
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got))) return Unwritable(error);
    }
}

// The copy of FileCopy; `error` is the system's error when the target cannot be written.
int CopyOver(const std::string& source, const std::string& target, std::error_code& error) {
    Fd in;
    if (!OpenRegularFile(source, in)) return -1;
    if (target.empty()) return -2;
    if (SameFile(source, target)) return 1;
    std::string placed;
    os::FileInfo old;
    bool replacing = false;
    if (!PlaceOf(target, placed, old, replacing, error)) return -2;

    std::string partial;
    Fd out;
    out.fd = CreatePartial(placed, partial);
    if (out.fd < 0) return Unwritable(error);
    int result = replacing && !os::SetMode(out.fd, old.mode) ? Unwritable(error) : 1;
    if (result == 1) result = CopyContent(in.fd, out.fd, error);
    // On disk before it takes the name of a file it replaces, so that a crash leaves the old file
    // or the new one.
    if (result == 1 && replacing && !os::Sync(out.fd)) result = Unwritable(error);
    if (os::Close(out.fd) != 0 && result == 1) result = Unwritable(error);
    out.fd = -1;
    if (result == 1 && !os::Replace(partial, placed)) result = Unwritable(error);
    if (result != 1) os::Remove(partial);
    return result;
}

}  // namespace

std::string WriteFailureReason(const std::error_code& error) {
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted)
        return "没有写入权限";
    if (error == std::errc::no_space_on_device || OverQuota(error)) return "磁盘空间不足";
    if (error == std::errc::read_only_file_system) return "磁盘只读";
    if (error == std::errc::no_such_file_or_directory) return "文件夹不存在";
    return "系统错误 " + std::to_string(error.value());
}

std::string MissingFolderReason(const std::string& folder) {
    fs::path place = FsPath(folder);
    std::error_code ec;
    while (!fs::exists(place, ec) && place.has_relative_path()) place = place.parent_path();
    if (os::OnReadOnlyDisk(PathText(place))) return "磁盘只读";
    return "文件夹不存在";
}

int FileCopy(const std::string& source, const std::string& target) {
    std::string why;
    return FileCopy(source, target, why);
}

int FileCopy(const std::string& source, const std::string& target, std::string& why) {
    why.clear();
    std::error_code error;
    const int result = CopyOver(source, target, error);
    if (result != -2) return result;
    // A target whose folder is not there: the folder's reason.
    const fs::path folder = FsPath(target).parent_path();
    std::error_code ec;
    if (!error)
        why = "无法写入文件";
    else if (error == std::errc::no_such_file_or_directory && !folder.empty() &&
             !fs::is_directory(folder, ec))
        why = MissingFolderReason(PathText(folder));
    else
        why = WriteFailureReason(error);
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

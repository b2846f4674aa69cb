// The tests' needs of the system on Linux.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "tests/support/platform.h"
#include "tests/support/testdb.h"

namespace testing_support {

namespace fs = std::filesystem;

int RunProgram(const fs::path& program, const std::vector<std::string>& args, const fs::path& out,
               const fs::path& err, std::chrono::seconds within) {
    // timeout(1) kills what outlives its time, and then says so by the status 128 + 9.
    constexpr int kKilled = 137;
    std::string cmd = "timeout -s KILL " + std::to_string(within.count()) + " '" + program.string() + "'";
    for (const auto& a : args) cmd += " '" + a + "'";
    cmd += " >'" + out.string() + "' 2>'" + err.string() + "' </dev/null";
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) && WEXITSTATUS(raw) != kKilled ? WEXITSTATUS(raw) : -1;
}

bool FolderModesBind() {
    return geteuid() != 0;
}

bool LinksCanBeMade() {
    return true;
}

bool ModesKept() {
    return true;
}

TinyDisk::TinyDisk(const fs::path& at, std::size_t bytes) : at_(at) {
    fs::create_directories(at);
    home_ = ::open("/proc/thread-self/ns/mnt", O_RDONLY | O_CLOEXEC);
    if (home_ < 0 || ::unshare(CLONE_NEWNS) != 0) {
        why_ = std::string("no mount namespace of its own: ") + std::strerror(errno);
        return;
    }
    const std::string size = "size=" + std::to_string(bytes);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", at.c_str(), "tmpfs", 0, size.c_str()) != 0) {
        why_ = std::string("cannot mount: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

TinyDisk::~TinyDisk() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    if (home_ >= 0) {
        ::setns(home_, CLONE_NEWNS);
        ::close(home_);
    }
}

bool TinyDisk::MakeReadOnly() const {
    return ::mount("tmpfs", at_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

bool TinyDisk::Fill() {
    const int fd = ::open((at_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::string block(4096, 'f');
    bool full = false;
    for (;;) {
        const ssize_t n = ::write(fd, block.data(), block.size());
        if (n < 0) {
            full = errno == ENOSPC;
            break;
        }
        // A short write is the last few bytes there were room for.
        if (static_cast<std::size_t>(n) < block.size()) {
            full = true;
            break;
        }
    }
    ::close(fd);
    return full;
}

void TinyDisk::Free() {
    std::error_code ec;
    fs::remove(at_ / "filler", ec);
}

StoppedProcess::StoppedProcess(long pid) : pid_(pid) {
    stopped_ = pid > 0 && ::kill(static_cast<pid_t>(pid), SIGSTOP) == 0;
}

void StoppedProcess::Resume() {
    if (std::exchange(stopped_, false)) ::kill(static_cast<pid_t>(pid_), SIGCONT);
}

IdlePipe::IdlePipe(const fs::path& path) : path_(path) {
    if (::mkfifo(path.c_str(), 0600) != 0) ADD_FAILURE() << "cannot make the pipe " << path;
    writer_ = std::thread([this] {
        const auto start = std::chrono::steady_clock::now();
        while (!done_) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(2)) {
                // Opens only while a reader has the pipe open.
                const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    waited_ = true;
                    ::close(fd);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
}

IdlePipe::~IdlePipe() {
    done_ = true;
    writer_.join();
}

AnotherCopy::AnotherCopy(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    handle_ = fd;
    held_ = fd >= 0 && ::flock(fd, LOCK_SH) == 0;
}

AnotherCopy::~AnotherCopy() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

// An open file keeps nobody from replacing or removing it here.
// Opened as a program opens the document it shows; here that stands in nobody's way, so nothing
// is held.
HeldOpen::HeldOpen(const fs::path& file) : handle_(open(file.c_str(), O_RDONLY | O_CLOEXEC)) {}

HeldOpen::~HeldOpen() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
}

namespace {

bool SetImmutable(const std::filesystem::path& file, bool on) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return done;
}

}  // namespace

UnwritableFile::UnwritableFile(std::filesystem::path file) : file_(std::move(file)) {
    namespace fs = std::filesystem;
    fs::permissions(file_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (geteuid() == 0) immutable_ = SetImmutable(file_, true);
    made_ = access(file_.c_str(), W_OK) != 0;
}

UnwritableFile::~UnwritableFile() {
    if (immutable_) SetImmutable(file_, false);
    std::error_code ec;
    std::filesystem::permissions(file_, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
}

int TimesOpen(const std::filesystem::path& file) {
    std::error_code ec;
    const fs::path wanted = fs::weakly_canonical(file, ec);
    int times = 0;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec)) {
        std::error_code gone;
        if (fs::read_symlink(fd.path(), gone) == wanted) ++times;
    }
    return ec ? -1 : times;
}

// The kernel completes the handshake of a connection to a listening socket that never accepts it.
SilentServer::SilentServer() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    socket_ = fd;
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(fd, 16) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size) == 0)
        port_ = std::to_string(ntohs(at.sin_port));
}

SilentServer::~SilentServer() {
    if (socket_ >= 0) ::close(static_cast<int>(socket_));
}

}  // namespace testing_support

#include "tests/support/testdb.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace testing_support {

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

TestDatabase::TestDatabase(bool create) {
    std::string error;
    if (!(create ? scratch_.Create(error) : scratch_.CreateEmpty(error)))
        ADD_FAILURE() << "creating the test database: " << error;
}

void TestDatabase::Connect(rt::Transaction& t) const {
    std::string error;
    ASSERT_TRUE(ConnectToSource(t, false, error)) << error;
    ASSERT_EQ(t.SQLCode, 0) << t.SQLErrText;
}

// SQLite takes its locks at an explicit BEGIN, which needs a connection in autocommit mode;
// PostgreSQL's LOCK TABLE lasts until the end of the transaction that the manual mode keeps open.
LockHolder::LockHolder(const TestDatabase&) {
    std::string error;
    EXPECT_TRUE(ConnectToSource(t_, !ScratchDatabase::OnPostgreSQL(), error)) << error;
}

long LockHolder::HoldWrites(const std::string& table) {
    if (ScratchDatabase::OnPostgreSQL()) return Lock("LOCK TABLE " + table + " IN EXCLUSIVE MODE");
    return t_.Execute("BEGIN IMMEDIATE");
}

long LockHolder::HoldEverything(const std::string& table) {
    if (ScratchDatabase::OnPostgreSQL()) return Lock("LOCK TABLE " + table + " IN ACCESS EXCLUSIVE MODE");
    return t_.Execute("BEGIN EXCLUSIVE");
}

// A lock refused there ends the holder's transaction: it is ended, so that the next try starts anew.
long LockHolder::Lock(const std::string& sql) {
    const long code = t_.Execute(sql);
    if (code != 0) t_.Rollback();
    return code;
}

void LockHolder::Release() {
    if (!t_.Connected()) return;
    if (ScratchDatabase::OnPostgreSQL())
        t_.Rollback();
    else
        t_.Execute("ROLLBACK");
}

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

TinyDisk::TinyDisk(const std::filesystem::path& at, std::size_t bytes) : at_(at) {
    std::filesystem::create_directories(at);
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
    std::filesystem::remove(at_ / "filler", ec);
}

bool CutOff(const TestDatabase& db, rt::Transaction& t, bool keepTransaction) {
    if (!keepTransaction || !ScratchDatabase::OnPostgreSQL()) t.Rollback();
    if (!ScratchDatabase::OnPostgreSQL()) {
        t.Disconnect();
        const UnwritableFile unwritable(db.DatabaseFile());
        EXPECT_EQ(t.Connect(), 0) << t.SQLErrText;
        return unwritable.Made();
    }
    std::vector<rt::Value> pid;
    EXPECT_EQ(t.SelectInto("select pg_backend_pid()", {}, pid), 0) << t.SQLErrText;
    if (!keepTransaction) t.Rollback();
    // From the server's own database, which takes connections whatever the test database does.
    rt::Transaction other;
    std::string error;
    if (pid.empty() || !ConnectToSource(other, true, error, "laurel_server")) {
        ADD_FAILURE() << error;
        return false;
    }
    // Waits until the session has ended.
    std::vector<rt::Value> ended;
    EXPECT_EQ(other.SelectInto("select pg_terminate_backend(cast(? as integer), 10000)", {pid[0]}, ended), 0)
        << other.SQLErrText;
    EXPECT_EQ(ended, std::vector<rt::Value>{rt::Value("1")});
    return true;
}

void TakeConnections(const TestDatabase& db, bool take) {
    rt::Transaction server;
    std::string error;
    ASSERT_TRUE(ConnectToSource(server, true, error, "laurel_server")) << error;
    ASSERT_EQ(server.Execute("ALTER DATABASE " + db.ServerDatabase() + " ALLOW_CONNECTIONS " +
                             (take ? "true" : "false")),
              0)
        << server.SQLErrText;
}

long InsertRows(rt::Transaction& t, const std::string& insert,
                const std::vector<std::vector<rt::Value>>& rows) {
    // Well below the 999 parameters that older SQLite takes in one statement.
    constexpr std::size_t kParameters = 900;
    std::size_t at = 0;
    while (at < rows.size()) {
        const std::size_t width = std::max<std::size_t>(rows[at].size(), 1);
        const std::size_t count = std::min(rows.size() - at, std::max<std::size_t>(kParameters / width, 1));
        std::string group = "(";
        for (std::size_t c = 0; c < width; ++c) group += c ? ", ?" : "?";
        group += ")";
        std::string sql = insert + " VALUES ";
        std::vector<rt::Value> args;
        for (std::size_t r = at; r < at + count; ++r) {
            sql += (r > at ? ", " : "") + group;
            args.insert(args.end(), rows[r].begin(), rows[r].end());
        }
        if (const long rc = t.Execute(sql, args); rc != 0) return rc;
        at += count;
    }
    return 0;
}

std::string NoSuchTable(const std::string& table) {
    return ScratchDatabase::OnPostgreSQL() ? "relation \"" + table + "\" does not exist"
                                           : "no such table: " + table;
}

std::string NoSuchColumn(const std::string& column) {
    return ScratchDatabase::OnPostgreSQL() ? "column \"" + column + "\"" : "no such column: " + column;
}

const char* Locked() {
    return ScratchDatabase::OnPostgreSQL() ? "lock timeout" : "database is locked";
}

const char* NotUnique() {
    return ScratchDatabase::OnPostgreSQL() ? "violates unique constraint" : "UNIQUE constraint failed";
}

}  // namespace testing_support

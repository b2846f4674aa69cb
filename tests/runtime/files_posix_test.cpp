// The copy that hands a file to the user, and the user's data-source file, where the system has
// modes, a umask, links and a file size limit: what a new file gets, what a replaced one keeps, and
// a copy or a change that fails or is killed halfway.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "runtime/config/data_source.h"
#include "runtime/config/data_source_file.h"
#include "runtime/platform/files.h"
#include "runtime/platform/os.h"
#include "tests/support/file_bytes.h"
#include "tests/support/platform.h"
#include "tests/support/testdb.h"

namespace {

namespace fs = std::filesystem;

class FileCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("laurel-filecopy-" + std::to_string(std::random_device()()));
        fs::create_directories(root_);
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string Path(const std::string& rel) const { return (root_ / rel).string(); }
    void Write(const std::string& rel, const std::string& bytes) const {
        testing_support::WriteFileBytes(root_ / rel, bytes);
    }
    std::string Read(const std::string& rel) const { return testing_support::FileBytes(root_ / rel); }
    std::vector<std::string> Files() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(root_)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    fs::path root_;
};

mode_t Mode(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST_F(FileCopyTest, ReplacesSafelyKeepingPermissions) {
    Write("new.docx", std::string(2u << 20, 'n'));

    // A new file: the user's umask decides.
    const mode_t previous = ::umask(077);
    EXPECT_EQ(rt::FileCopy(Path("new.docx"), Path("private.docx")), 1);
    ::umask(022);
    EXPECT_EQ(rt::FileCopy(Path("new.docx"), Path("shared.docx")), 1);
    ::umask(previous);
    EXPECT_EQ(Mode(root_ / "private.docx"), 0600u);
    EXPECT_EQ(Mode(root_ / "shared.docx"), 0644u);

    // A replaced file keeps its permissions; through a link, the link stays and its file is replaced.
    Write("mine.docx", "old");
    fs::permissions(root_ / "mine.docx", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(root_ / "mine.docx", root_ / "link.docx");
    EXPECT_EQ(rt::FileCopy(Path("new.docx"), Path("link.docx")), 1);
    EXPECT_TRUE(fs::is_symlink(root_ / "link.docx"));
    EXPECT_EQ(Read("mine.docx"), Read("new.docx"));
    EXPECT_EQ(Mode(root_ / "mine.docx"), 0600u);

    // A copy that fails halfway (the file size limit, which binds root too) leaves the old file
    // whole and nothing beside it.
    Write("mine.docx", "old");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1u << 20;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int rc = rt::FileCopy(Path("new.docx"), Path("mine.docx"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(rc, -2);
    EXPECT_EQ(Read("mine.docx"), "old");
    EXPECT_EQ(Files(), (std::vector<std::string>{"link.docx", "mine.docx", "new.docx", "private.docx",
                                                 "shared.docx"}));

    EXPECT_EQ(rt::FileCopy(Path("none.docx"), Path("mine.docx")), -1);
    {
        const testing_support::IdlePipe pipe(root_ / "pipe.docx");
        EXPECT_EQ(rt::FileCopy(Path("pipe.docx"), Path("mine.docx")), -1);
        EXPECT_EQ(rt::FileCopy(Path("new.docx"), Path("pipe.docx")), -2);
        EXPECT_FALSE(pipe.Waited()) << "a named pipe is refused, not waited on";
    }
    EXPECT_EQ(rt::FileCopy("/dev/zero", Path("mine.docx")), -1);
    EXPECT_EQ(rt::FileCopy(Path("new.docx"), root_.string()), -2);
    EXPECT_EQ(Read("mine.docx"), "old");
}

// ---------------------------------------------------------------------------------------------
// The user's data-source file, changed by the data-source dialog: the file a link leads to is
// replaced whole, keeping its mode, whatever moment the program is killed at.

const rt::DataSourceEntries kServer = {{"Driver", "PostgreSQL Unicode"}, {"Servername", "db.example.org"},
                                       {"Database", "laurel"},           {"Username", "laurel"},
                                       {"Password", "secret"},           {"SSLmode", "verify-full"}};

// A change of the data source in a process of its own, which kills itself at the step the parent
// names in LAUREL_KILL_AT_STEP. Run by itself it does nothing.
TEST(DataSourceFileChild, WritesTheServersDataSource) {
    const char* at = std::getenv("LAUREL_KILL_AT_STEP");
    if (at == nullptr) GTEST_SKIP() << "run by the test of the data-source file";
    int step = 0;
    const int kill = std::atoi(at);
    rt::WatchDataSourceFileSteps([&step, kill] {
        if (++step == kill) ::raise(SIGKILL);
    });
    std::string error;
    ASSERT_TRUE(rt::WriteUserDataSource("laurel", kServer, error)) << error;
}

// Runs the test above, killed at `step`; true when it ran to its end.
bool ChangeInAChild(int step) {
    const std::string filter = "--gtest_filter=DataSourceFileChild.WritesTheServersDataSource";
    const std::string exe = rt::os::ExecutablePath();
    std::vector<char*> argv = {const_cast<char*>(exe.c_str()), const_cast<char*>(filter.c_str()), nullptr};
    rt::os::SetEnvironment("LAUREL_KILL_AT_STEP", std::to_string(step).c_str());
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ);
    rt::os::SetEnvironment("LAUREL_KILL_AT_STEP", nullptr);
    int status = 0;
    EXPECT_EQ(spawned, 0);
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), SIGKILL) << "step " << step;
        return false;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "step " << step;
    return true;
}

TEST_F(FileCopyTest, TheDataSourceFileIsTheOldOrTheNewOneWhereverTheChangeIsKilledAndKeepsItsMode) {
    // The user's data sources are a link to a file shared with others, which others may read.
    const char* savedIni = std::getenv("ODBCINI");
    const std::string previousIni = savedIni != nullptr ? savedIni : "";
    rt::os::SetEnvironment("ODBCINI", Path("home/.odbc.ini").c_str());
    const fs::path shared = root_ / "shared" / "odbc.ini";
    const std::string old =
        "[archive]\nDriver=SQLite3\nDatabase=/srv/archive.db\n\n[laurel]\nDriver=SQLite3\nDatabase=/srv/"
        "one.db\n"
        "\n[laurel]\nDriver=SQLite3\nDatabase=/srv/two.db\n";
    const auto reset = [&] {
        testing_support::WriteFileBytes(shared, old);
        fs::permissions(shared, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                    fs::perms::others_read);
    };
    reset();
    fs::create_directories(root_ / "home");
    fs::create_symlink("../shared/odbc.ini", root_ / "home" / ".odbc.ini");
    EXPECT_TRUE(rt::UserDataSourceOpenToOthers());

    // Once uninterrupted: exactly one data source of the name, the others kept, the link a link.
    std::string error;
    ASSERT_TRUE(rt::WriteUserDataSource("laurel", kServer, error)) << error;
    const std::string written = testing_support::FileBytes(shared);
    EXPECT_EQ(rt::ReadDataSource("laurel", rt::DataSourceScope::User), kServer);
    EXPECT_EQ(rt::UserDataSourceSections("laurel"), 1);
    EXPECT_EQ(rt::EntryValue(rt::ReadDataSource("archive", rt::DataSourceScope::User), "Database"),
              "/srv/archive.db");
    EXPECT_TRUE(fs::is_symlink(root_ / "home" / ".odbc.ini"));
    EXPECT_EQ(Mode(shared), 0644u);

    // Killed at each of its steps in turn, until one runs to its end: the file is always the old one
    // or the new one, byte for byte, with its mode, behind the same link.
    int kills = 0;
    for (int step = 1; step < 100; ++step) {
        reset();
        const bool finished = ChangeInAChild(step);
        const std::string now = testing_support::FileBytes(shared);
        EXPECT_TRUE(now == old || now == written) << "killed at step " << step << ":\n" << now;
        EXPECT_EQ(Mode(shared), 0644u) << "step " << step;
        EXPECT_TRUE(fs::is_symlink(root_ / "home" / ".odbc.ini")) << "step " << step;
        if (finished) break;
        ++kills;
    }
    EXPECT_GE(kills, static_cast<int>(kServer.size()) + 3);

    // A place where nothing can be written is refused in Chinese, naming the file the link leads
    // to; nothing changes.
    reset();
    {
        const testing_support::UnwritableFile folder(root_ / "shared");
        ASSERT_TRUE(folder.Made());
        EXPECT_FALSE(rt::WriteUserDataSource("laurel", kServer, error));
        EXPECT_FALSE(rt::RemoveUserDataSource("laurel", error));
    }
    EXPECT_EQ(error, "无法在数据源文件“" + shared.string() + "”所在的文件夹中建立新文件：没有权限");
    EXPECT_EQ(testing_support::FileBytes(shared), old);
    rt::os::SetEnvironment("ODBCINI", previousIni.empty() ? nullptr : previousIni.c_str());
}

}  // namespace

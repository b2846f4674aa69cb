// The copy that hands a file to the user, where the system has modes, a umask and a file size
// limit: what a new file gets, what a replaced one keeps, and a copy that fails halfway.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "runtime/platform/files.h"
#include "tests/support/file_bytes.h"
#include "tests/support/platform.h"

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

}  // namespace

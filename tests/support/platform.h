#pragma once
// What the tests need of the system that the program itself does not: running a program, a disk
// that fills up, another copy's mark on a folder, a file that cannot be written. Each system has
// its own file (platform_posix.cpp, platform_windows.cpp); where one cannot do a thing, it says so
// and the test that needs it is skipped.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// Runs `program` with `args`, its standard output and error into the files given and nothing as
// its input; its exit status, -1 when it did not end by itself, or not `within` (then it is ended).
int RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
               const std::filesystem::path& out, const std::filesystem::path& err,
               std::chrono::seconds within = std::chrono::seconds(120));

// Whether a folder whose mode refuses writing keeps this process from writing into it (not so for
// the super-user, nor where folders carry no such mode).
bool FolderModesBind();

// Whether this process can make symbolic links (the C++ library makes none on Windows).
bool LinksCanBeMade();

// Whether a file or folder keeps the permission bits it is given for its owner, group and others;
// on Windows it keeps a read-only flag alone, and its access list decides the rest.
bool ModesKept();

// How many times this process holds `file` open; -1 where that cannot be told.
int TimesOpen(const std::filesystem::path& file);

// A folder on a file system of its own, `bytes` large, mounted for this thread alone (in a mount
// namespace of its own, left again when the object goes), so that no mount outlives the test; the
// threads this thread starts meanwhile see it too. Needs the right to mount (root); Mounted() says
// whether it could be made, and Why() why not.
class TinyDisk {
  public:
    TinyDisk(const std::filesystem::path& at, std::size_t bytes);
    ~TinyDisk();
    TinyDisk(const TinyDisk&) = delete;
    TinyDisk& operator=(const TinyDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }
    // From now on nothing can be written there, as on a disk mounted read-only.
    bool MakeReadOnly() const;
    // Fills the disk with a file of its own until nothing more fits, then frees it; true when it
    // filled up.
    bool Fill();
    void Free();

  private:
    std::filesystem::path at_;
    int home_ = -1;
    bool mounted_ = false;
    std::string why_;
};

// While it lives, the process `pid` of this machine stands still where it is, as a server that
// stops answering; Resume() lets it go on sooner. Stopped() says whether this process could stop it.
class StoppedProcess {
  public:
    explicit StoppedProcess(long pid);
    ~StoppedProcess() { Resume(); }
    StoppedProcess(const StoppedProcess&) = delete;
    StoppedProcess& operator=(const StoppedProcess&) = delete;

    bool Stopped() const { return stopped_; }
    void Resume();

  private:
    long pid_;
    bool stopped_ = false;
};

// While it lives, `folder` is marked as another running copy of the program marks the folder it
// works in. Held() says whether that worked.
class AnotherCopy {
  public:
    explicit AnotherCopy(const std::filesystem::path& folder);
    ~AnotherCopy();
    AnotherCopy(const AnotherCopy&) = delete;
    AnotherCopy& operator=(const AnotherCopy&) = delete;
    bool Held() const { return held_; }

  private:
    std::intptr_t handle_ = -1;
    bool held_ = false;
};

// While it lives, `file` is open as a program holds the document it shows: others may read it, but
// neither write, remove nor rename it, nor give its name to another file. Where an open file stands
// in nobody's way (POSIX), nothing is held; Held() says whether it is.
class HeldOpen {
  public:
    explicit HeldOpen(const std::filesystem::path& file);
    ~HeldOpen();
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool Held() const { return held_; }

  private:
    std::intptr_t handle_ = -1;
    bool held_ = false;
};

// A named pipe that nobody writes to, in place of a file the user chose: opening it to read waits
// for a writer. After two seconds a writer comes and goes again and again, so that code that does
// wait is let go (and reads nothing) instead of holding the test until its timeout. Where the file
// system holds no pipes (Windows), nothing is made, and the name is no file either.
class IdlePipe {
  public:
    explicit IdlePipe(const std::filesystem::path& path);
    ~IdlePipe();
    IdlePipe(const IdlePipe&) = delete;
    IdlePipe& operator=(const IdlePipe&) = delete;

    // Whether a reader was found waiting on the pipe.
    bool Waited() const { return waited_; }

  private:
    std::filesystem::path path_;
    std::atomic<bool> done_ = false;
    std::atomic<bool> waited_ = false;
    std::thread writer_;
};

// A port of 127.0.0.1 that takes connections and never answers them, as a server that hangs.
// Port() is "" where none could be made.
class SilentServer {
  public:
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    const std::string& Port() const { return port_; }

  private:
    std::intptr_t socket_ = -1;
    std::string port_;
};

}  // namespace testing_support

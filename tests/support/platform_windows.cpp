// The tests' needs of the system on Windows.

#include <windows.h>

#include <fstream>
#include <system_error>

#include "runtime/platform/path.h"
#include "tests/support/platform.h"
#include "tests/support/testdb.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// An argument as the C runtime of the program started splits its command line again.
std::wstring Quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        // Backslashes stand as they are, but before a quote, which they would escape.
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out.push_back(c);
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

HANDLE Inheritable(const fs::path& file, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

int RunProgram(const fs::path& program, const std::vector<std::string>& args, const fs::path& out,
               const fs::path& err, std::chrono::seconds within) {
    std::wstring line = Quoted(program.wstring());
    for (const std::string& a : args) line += L" " + Quoted(rt::FsPath(a).wstring());
    HANDLE in = Inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE o = Inheritable(out, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE e = Inheritable(err, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in;
    start.hStdOutput = o;
    start.hStdError = e;
    PROCESS_INFORMATION process{};
    int status = -1;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                       &start, &process)) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(within).count();
        if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(ms)) == WAIT_OBJECT_0) {
            DWORD code = 0;
            if (GetExitCodeProcess(process.hProcess, &code)) status = static_cast<int>(code);
        } else {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (HANDLE h : {in, o, e})
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return status;
}

// A folder's read-only attribute does not keep anyone from writing into it.
bool FolderModesBind() {
    return false;
}

// std::filesystem's create_symlink of the MinGW C++ library reports it unsupported.
bool LinksCanBeMade() {
    return false;
}

bool ModesKept() {
    return false;
}

TinyDisk::TinyDisk(const fs::path& at, std::size_t) : at_(at) {
    fs::create_directories(at);
    why_ = "no file system of a given size can be mounted for one test on Windows";
}

TinyDisk::~TinyDisk() = default;

bool TinyDisk::MakeReadOnly() const {
    return false;
}

bool TinyDisk::Fill() {
    return false;
}

void TinyDisk::Free() {}

// The tests that stop a process stop a server of this machine, which a Windows program does not own.
StoppedProcess::StoppedProcess(long pid) : pid_(pid) {}

void StoppedProcess::Resume() {}

IdlePipe::IdlePipe(const fs::path& path) : path_(path) {}

IdlePipe::~IdlePipe() = default;

AnotherCopy::AnotherCopy(const fs::path& folder) {
    // The program's mark: an open handle of the folder that others may share.
    const HANDLE h = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    handle_ = reinterpret_cast<std::intptr_t>(h);
    held_ = h != INVALID_HANDLE_VALUE;
}

AnotherCopy::~AnotherCopy() {
    if (held_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

HeldOpen::HeldOpen(const fs::path& file) {
    // As a word processor opens the document it shows: reading shared, nothing else.
    const HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    handle_ = reinterpret_cast<std::intptr_t>(h);
    held_ = h != INVALID_HANDLE_VALUE;
}

HeldOpen::~HeldOpen() {
    if (held_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

UnwritableFile::UnwritableFile(std::filesystem::path file) : file_(std::move(file)) {
    std::error_code ec;
    std::filesystem::permissions(file_,
                                 std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove, ec);
    made_ = !ec && !std::ofstream(file_, std::ios::binary | std::ios::app);
}

UnwritableFile::~UnwritableFile() {
    std::error_code ec;
    std::filesystem::permissions(file_, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
}

int TimesOpen(const std::filesystem::path&) {
    return -1;
}

// Not made here: the tests that need one reach a server that only the Linux lanes run.
SilentServer::SilentServer() = default;
SilentServer::~SilentServer() = default;

}  // namespace testing_support

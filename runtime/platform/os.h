#pragma once
// For the runtime's own use: the calls that differ between the systems the program runs on. Paths
// are UTF-8 text; a descriptor is the C library's. Failures set errno as the C library does.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace rt::os {

// Opens `path` for reading when it is a regular file (through a link, the file it points to); -1
// for anything else. What the path names is looked at before it is opened, and it is opened
// without waiting: opening a named pipe waits for a writer, and opening a device may act on it.
int OpenRegular(const std::string& path);
// Creates the file, which must not exist yet, for writing, with the permissions `mode` less the
// process's mask; -1 when that fails (errno EEXIST: it was there).
int CreateNew(const std::string& path, unsigned mode);
// Creates a new file of a name made from `prefix` and a random tail, for writing; the descriptor,
// -1 when no name could be taken. `made` is set to the name.
int CreateTemporary(const std::string& prefix, std::string& made);
int Close(int fd);
long long Read(int fd, void* buffer, std::size_t size);
long long ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset);
long long Write(int fd, const void* data, std::size_t size);
// Writes what was written through to the disk.
bool Sync(int fd);

// What an open descriptor is: a regular file, with its size and permission bits.
struct FileInfo {
    bool regular = false;
    std::uint64_t size = 0;
    unsigned mode = 0;
};
bool Describe(int fd, FileInfo& info);
// The permission bits of a file that exists (not followed when a link); false when it does not.
bool Describe(const std::string& path, FileInfo& info);
bool SetMode(int fd, unsigned mode);

// Gives `from` the name `to`, replacing a file of that name in one step.
bool Replace(const std::string& from, const std::string& to);
void Remove(const std::string& path);

// Marks `folder` as used by this process until the process ends. Exclusive: only while no other
// process marks it, without waiting (false when one does); shared: waits while another holds it
// exclusive. The first call for a folder makes the mark, a later one changes its kind. The mark
// never changes what the folder holds as the program sees it.
bool HoldFolder(const std::string& folder, bool exclusive);

// A folder's mark of use that this process can let go again: -1 for none. While a process holds the
// mark, no other process can take the folder's mark, nor remove or move the folder.
// Makes a new folder of a name made from `prefix` and a random tail and marks it; `made` is set to
// the name. -1 with `made` empty when no folder could be made; -1 with `made` set when another
// process took the new folder away before it was marked.
int MakeMarkedFolder(const std::string& prefix, std::string& made);
// Marks the existing folder `path` (not a link in its place), without waiting: -1 while another
// process marks it, this one's own marks included.
int MarkFolder(const std::string& path);
// Removes the folder `path` that `mark` marks, with all it holds, and lets the mark go.
void RemoveMarkedFolder(int mark, const std::string& path);
void Unmark(int mark);

// The full name of the running program.
std::string ExecutablePath();
// The program's arguments after its name, as UTF-8 text (`argc` and `argv` as main has them):
// Windows gives `argv` in the code page, which holds no file name outside it.
std::vector<std::string> Arguments(int argc, char** argv);
// Text that a narrow call of the system or of a driver gave in the system's code page, as UTF-8:
// Windows' code page may be another (936); elsewhere that text is UTF-8 already.
std::string FromCodePage(std::string_view text);
// A private folder of the user's that only the user can write: made when missing; false when the
// place is a link, another user's, or open to others.
bool MakePrivateFolder(const std::string& path);
// Whether the existing folder `path` lies on a disk that takes no writes.
bool OnReadOnlyDisk(const std::string& path);
// Whether the existing file `path` may be written by this process.
bool WritableFile(const std::string& path);
// Whether `path` is a folder that this process may create files in.
bool WritableFolder(const std::string& path);

// The local time of `t`.
void LocalTime(std::time_t t, std::tm& local);

// Sets a variable of the process's environment; a null value removes it.
void SetEnvironment(const char* name, const char* value);

// Whether the process is past its end, destroying the objects of its libraries after the system
// stopped every other thread where it stood: a lock such a thread held is never given back and a
// wake-up never answered, and the libraries loaded after this one are gone, so nothing may wait for
// a thread nor call into a driver. Never so on Linux, where the objects go while the other threads
// still run; on Windows, the objects of a library (DLL) go that way.
bool ProcessEnding();

}  // namespace rt::os

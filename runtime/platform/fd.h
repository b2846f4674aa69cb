#pragma once
// For the runtime's own use: a file descriptor closed by its owner, and a write that goes on until
// everything is written.

#include <cstddef>
#include <string>

namespace rt {

// Owns a descriptor: closed when the owner goes, unless it was closed by hand and set to -1.
struct Fd {
    int fd = -1;
    Fd() = default;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();
};

// Writes all `size` bytes, going on after a write that a signal interrupted; false when the
// descriptor took less.
bool WriteAll(int fd, const char* data, std::size_t size);

// Opens `path` for reading when it is a regular file (through a link, the file it points to), into
// `file`; false for anything else. What a path names is looked at before it is opened, and it is
// opened without waiting: opening a named pipe waits for a writer, and opening a device may act on
// it.
bool OpenRegularFile(const std::string& path, Fd& file);

}  // namespace rt

#pragma once
// For the runtime's own use: a file descriptor closed by its owner, and a write that goes on until
// everything is written.

#include <cstddef>

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

}  // namespace rt

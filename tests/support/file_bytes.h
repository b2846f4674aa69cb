#pragma once
// A whole file's bytes, as the tests read and write them.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace testing_support {

// Empty when the file cannot be read.
inline std::string FileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Makes the folders on the way.
inline void WriteFileBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    std::ofstream(file, std::ios::binary) << bytes;
}

}  // namespace testing_support

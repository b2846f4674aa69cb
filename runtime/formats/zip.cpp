#include "runtime/formats/zip.h"

#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "runtime/formats/zip_handles.h"
#include "runtime/platform/fd.h"
#include "runtime/platform/files.h"
#include "runtime/platform/os.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"

namespace rt {

namespace fs = std::filesystem;

namespace {

// The patterns of filestoprocess, one per line; an empty list takes every file.
std::vector<std::string> Patterns(const std::string& list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find('\n', start);
        if (end == std::string::npos) end = list.size();
        std::string pattern = list.substr(start, end - start);
        if (!pattern.empty() && pattern.back() == '\r') pattern.pop_back();
        if (!pattern.empty()) out.push_back(std::move(pattern));
        start = end + 1;
    }
    if (out.empty()) out.emplace_back();
    return out;
}

bool HasWildcard(const std::string& pattern) {
    return pattern.find_first_of("*?[") != std::string::npos;
}

char Folded(char c, bool fold) {
    return fold && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The set "[...]" that opens at mask[open] against the character `c`: whether it takes it, and where
// the mask goes on after the set; nothing when the "[" has no "]" and so stands for itself.
std::optional<std::pair<bool, std::size_t>> InSet(std::string_view mask, std::size_t open, char c,
                                                  bool fold) {
    std::size_t k = open + 1;
    const bool negate = k < mask.size() && (mask[k] == '!' || mask[k] == '^');
    if (negate) ++k;
    bool in = false;
    bool first = true;
    while (k < mask.size() && (first || mask[k] != ']')) {
        first = false;
        char lo = mask[k];
        if (lo == '\\' && k + 1 < mask.size()) lo = mask[++k];
        char hi = lo;
        if (k + 2 < mask.size() && mask[k + 1] == '-' && mask[k + 2] != ']') {
            hi = mask[k + 2];
            if (hi == '\\' && k + 3 < mask.size()) hi = mask[++k + 2];
            k += 2;
        }
        const char folded = Folded(c, fold);
        if ((Folded(lo, fold) <= folded && folded <= Folded(hi, fold)) || (lo <= c && c <= hi)) in = true;
        ++k;
    }
    if (k >= mask.size()) return std::nullopt;
    return std::pair{in != negate, k + 1};
}

// The shell's wildcards over a whole name, as fnmatch takes them without flags: "*" any run of
// characters, "?" one, "[...]" one of a set ("!" or "^" first: not of it; "a-z" a range), a
// backslash takes the next character as it is. Bytes are compared, ASCII letters folded with
// `fold`; a "[" without its "]" is a plain character.
bool Glob(std::string_view mask, std::string_view name, bool fold) {
    std::size_t m = 0, n = 0;
    std::size_t starAt = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        bool matched = false;
        std::size_t next = m + 1;
        if (m < mask.size()) {
            const char c = mask[m];
            if (c == '*') {
                starAt = m++;
                resume = n;
                continue;
            }
            if (c == '?') {
                matched = true;
            } else if (c == '[') {
                if (const auto set = InSet(mask, m, name[n], fold)) {
                    matched = set->first;
                    next = set->second;
                } else {
                    matched = name[n] == '[';
                }
            } else {
                char want = c;
                if (c == '\\' && m + 1 < mask.size()) {
                    want = mask[m + 1];
                    next = m + 2;
                }
                matched = Folded(want, fold) == Folded(name[n], fold);
            }
        }
        if (matched) {
            m = next;
            ++n;
        } else if (starAt != std::string_view::npos) {
            m = starAt + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

bool Matches(const std::string& mask, const std::string& name, bool fold = false) {
    if (mask.empty() || mask == "*") return true;
    return Glob(mask, name, fold);
}

// A part that some file system takes for something else than a plain name in the folder: a drive
// or a stream of a file (":"), a device ("NUL", "COM1.xml", "nul .xml": Windows drops the blanks
// before the extension), or a name that loses its trailing dots and blanks and so becomes another.
bool DeviceOrAlias(const std::string& part) {
    if (part.find(':') != std::string::npos || part.back() == '.' || part.back() == ' ') return true;
    std::string stem = LowerAscii(part.substr(0, part.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
    for (const char* d : kDevices)
        if (stem == d) return true;
    if (!stem.starts_with("com") && !stem.starts_with("lpt")) return false;
    const std::string_view number = std::string_view(stem).substr(3);
    // A digit, or a superscript one, two or three (in UTF-8), which name the same ports.
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

// The parts of an entry's name, or nothing when the name could lead out of the target folder.
// Backslashes count as separators, since some packers write them.
std::optional<std::vector<std::string>> SafeParts(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name.front() == '/') return std::nullopt;
    if (name.find('\0') != std::string::npos) return std::nullopt;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == ".." || DeviceOrAlias(part)) return std::nullopt;
        parts.push_back(std::move(part));
    }
    if (parts.empty()) return std::nullopt;
    const std::string& first = parts.front();
    if (first.size() >= 2 && first[1] == ':' &&
        ((first[0] >= 'A' && first[0] <= 'Z') || (first[0] >= 'a' && first[0] <= 'z')))
        return std::nullopt;
    return parts;
}

SkippedFile Refused(std::string name, std::string onDisk, SkipReason why) {
    SkippedFile f;
    f.filename = std::move(name);
    f.filenameOnDisk = std::move(onDisk);
    f.reason = why;
    return f;
}

bool IsPlainFolder(const fs::path& p) {
    std::error_code ec;
    const fs::file_status s = fs::symlink_status(p, ec);
    return !ec && fs::is_directory(s);
}

std::string ReasonText(SkipReason why) {
    switch (why) {
        case SkipReason::UnsafePath:
            return "路径不安全";
        case SkipReason::NotAFile:
            return "不是普通文件";
        case SkipReason::Encrypted:
            return "文件已加密";
        case SkipReason::TooLarge:
            return "超过每个文件 " + std::to_string(kMaxEntrySize >> 20) + " MiB 的上限";
        case SkipReason::TooMuch:
            return "解压内容合计超过 " + std::to_string(kMaxTotalSize >> 20) + " MiB 的上限";
        case SkipReason::Duplicate:
            return "与另一个文件同名";
        case SkipReason::Unreadable:
            return "无法读取";
        case SkipReason::Unwritable:
            return "无法写入";
    }
    return {};
}

}  // namespace

void Zip::Skip(const SkippedFile& f) {
    if (!skipped_) firstSkipped_ = f;
    skipped_ = true;
    if (f.reason == SkipReason::Unwritable && f.error && !writeError_) writeError_ = f.error;
    if (SkippingFile) SkippingFile(f);
}

// ---- packing ---------------------------------------------------------------------------------

namespace {

// A file to pack: its name in the archive and its place on disk.
struct ToPack {
    std::string name;
    fs::path path;
};

// One packing: the files that the patterns select, then the archive written from them.
class Packing {
  public:
    Packing(const std::string& archive, bool subfolders, bool keepPaths,
            std::function<void(SkippedFile)> skip)
        : archive_(archive), subfolders_(subfolders), keepPaths_(keepPaths), skip_(std::move(skip)) {
        std::error_code ec;
        canonicalArchive_ = fs::weakly_canonical(FsPath(archive), ec);
    }

    // Selects the files of one pattern; false when its folder does not exist.
    bool Select(const std::string& line);
    // Writes the archive from the files selected; 0 or a ZipResult (files skipped are the caller's).
    long Write();

  private:
    void Consider(const fs::directory_entry& e, const fs::path& folder, const std::string& mask);

    std::string archive_;
    fs::path canonicalArchive_;
    bool subfolders_;
    bool keepPaths_;
    std::function<void(SkippedFile)> skip_;
    std::vector<ToPack> files_;
    std::set<fs::path> taken_;  // a file that two patterns match goes in once
};

bool Packing::Select(const std::string& line) {
    const fs::path pattern = FsPath(line);
    std::string mask = PathText(pattern.filename());
    if (mask.empty()) mask = "*";
    fs::path folder = pattern.parent_path();
    if (folder.empty()) folder = ".";
    if (!IsPlainFolder(folder)) return false;

    std::error_code ec;
    if (subfolders_) {
        for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec),
             end;
             !ec && it != end; it.increment(ec))
            Consider(*it, folder, mask);
    } else {
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            Consider(*it, folder, mask);
    }
    return true;
}

// Links on disk are refused, never followed; the archive being written never packs itself.
void Packing::Consider(const fs::directory_entry& e, const fs::path& folder, const std::string& mask) {
    std::error_code ec;
    const fs::file_status s = e.symlink_status(ec);
    if (ec || fs::is_directory(s)) return;
    const std::string bare = PathText(e.path().filename());
    if (!Matches(mask, bare) || taken_.count(e.path()) != 0) return;
    taken_.insert(e.path());
    const std::string name = keepPaths_ ? GenericPathText(e.path().lexically_relative(folder)) : bare;
    if (!fs::is_regular_file(s)) {
        skip_(Refused(name, PathText(e.path()), SkipReason::NotAFile));
        return;
    }
    if (!canonicalArchive_.empty() && fs::weakly_canonical(e.path(), ec) == canonicalArchive_) return;
    files_.push_back({name, e.path()});
}

long Packing::Write() {
    std::sort(files_.begin(), files_.end(), [](const ToPack& a, const ToPack& b) { return a.path < b.path; });
    ArchiveHandle za;
    std::set<std::string> names;  // folded: a reader that ignores case must not find two
    for (const auto& [name, path] : files_) {
        if (names.count(LowerAscii(name)) != 0) {
            skip_(Refused(name, PathText(path), SkipReason::Duplicate));
            continue;
        }
        // The archive reads its files only when it is written; one that cannot be opened now is
        // refused rather than failing the whole archive later.
        if (!std::ifstream(path, std::ios::binary)) {
            skip_(Refused(name, PathText(path), SkipReason::Unreadable));
            continue;
        }
        if (!za) {
            int error = 0;
            za.reset(zip_open(archive_.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error));
            if (!za) return kZipCannotWrite;
        }
        zip_source_t* src = zip_source_file(za.get(), PathText(path).c_str(), 0, -1);
        if (src == nullptr || zip_file_add(za.get(), name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
            if (src != nullptr) zip_source_free(src);
            skip_(Refused(name, PathText(path), SkipReason::Unreadable));
            continue;
        }
        names.insert(LowerAscii(name));
    }
    if (names.empty()) return kZipNothingToDo;
    if (!CloseArchive(za)) return kZipCannotWrite;
    return 0;
}

}  // namespace

long Zip::zip() {
    skipped_ = false;
    writeError_.clear();
    if (zipfilename.empty()) return kZipNoArchiveName;
    Packing packing(zipfilename, processsubfolders, preservepaths, [this](const SkippedFile& f) { Skip(f); });
    for (const std::string& line : Patterns(filestoprocess)) {
        if (!packing.Select(line)) return kZipSourceMissing;
    }
    if (const long rc = packing.Write(); rc != 0) return rc;
    return skipped_ ? static_cast<long>(kZipFilesSkipped) : 0L;
}

// ---- unpacking -------------------------------------------------------------------------------

namespace {

// What became of one entry: whether the patterns took it, and the refusal when it was refused.
struct Outcome {
    bool selected = false;
    std::optional<SkippedFile> refused;
};

// What an entry is on the system that packed it, where that system says so.
enum class StoredAs { File, Folder, Special };

// One unpacking: the archive, where its entries go, and what has been taken and written so far.
class Unpacking {
  public:
    Unpacking(zip_t* archive, fs::path target, std::vector<std::string> patterns, bool subfolders,
              bool keepPaths)
        : archive_(archive),
          target_(std::move(target)),
          patterns_(std::move(patterns)),
          subfolders_(subfolders),
          keepPaths_(keepPaths) {}

    Outcome Take(zip_uint64_t index);

  private:
    std::optional<std::string> Leaf(std::string name) const;
    SkippedFile Described(zip_uint64_t index, const zip_stat_t& st) const;
    std::string Relative(const std::vector<std::string>& parts, const std::string& leaf) const;
    StoredAs Kind(zip_uint64_t index) const;
    std::optional<SkipReason> StatedRefusal(const zip_stat_t& st, const SkippedFile& info) const;
    std::optional<fs::path> Folder(const std::vector<std::string>& parts) const;
    std::optional<SkipReason> Write(zip_uint64_t index, const fs::path& folder, const fs::path& file,
                                    SkippedFile& info);
    std::optional<SkipReason> Inflate(zip_uint64_t index, int fd, std::uint64_t& total, SkippedFile& info);

    zip_t* archive_;
    fs::path target_;
    std::vector<std::string> patterns_;
    bool subfolders_;
    bool keepPaths_;
    std::set<std::string> seen_;  // folded target names of every entry taken, written or refused
    std::uint64_t unpacked_ = 0;  // bytes written so far
    std::vector<char> buffer_ = std::vector<char>(64 * 1024);
};

Outcome Unpacking::Take(zip_uint64_t index) {
    Outcome out;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive_, index, ZIP_FL_ENC_GUESS, &st) != 0 || (st.valid & ZIP_STAT_NAME) == 0) {
        out.refused = Refused({}, {}, SkipReason::Unreadable);
        return out;
    }
    const std::optional<std::string> leaf = Leaf(st.name);
    if (!leaf) return out;
    out.selected = true;

    SkippedFile info = Described(index, st);
    auto refuse = [&](SkipReason why) {
        info.reason = why;
        out.refused = std::move(info);
        return out;
    };
    const auto parts = SafeParts(st.name);
    if (!parts) return refuse(SkipReason::UnsafePath);
    // A second entry for the same name is refused whatever became of the first, so that no order of
    // entries decides which one a reader gets.
    if (!seen_.insert(LowerAscii(Relative(*parts, *leaf))).second) return refuse(SkipReason::Duplicate);
    switch (Kind(index)) {
        case StoredAs::Folder:
            return out;
        case StoredAs::Special:
            return refuse(SkipReason::NotAFile);
        case StoredAs::File:
            break;
    }
    if (const auto why = StatedRefusal(st, info)) return refuse(*why);

    const std::optional<fs::path> folder = Folder(*parts);
    if (!folder) return refuse(SkipReason::Unwritable);
    const fs::path file = *folder / FsPath(*leaf);
    info.filenameOnDisk = PathText(file);
    if (const auto why = Write(index, *folder, file, info)) return refuse(*why);
    return out;
}

// The name the entry is written under when the patterns take it. Folders are never taken: they
// are made as the files in them need them.
std::optional<std::string> Unpacking::Leaf(std::string name) const {
    std::replace(name.begin(), name.end(), '\\', '/');
    const bool isFolder = name.ends_with('/');
    const std::string trimmed = isFolder ? name.substr(0, name.find_last_not_of('/') + 1) : name;
    const std::string bare = trimmed.substr(trimmed.find_last_of('/') + 1);
    const bool inFolder = trimmed.find('/') != std::string::npos;
    if ((!subfolders_ && inFolder) || isFolder) return std::nullopt;
    const auto pattern = std::find_if(patterns_.begin(), patterns_.end(),
                                      [&](const std::string& p) { return Matches(p, bare, true); });
    if (pattern == patterns_.end()) return std::nullopt;
    return HasWildcard(*pattern) || pattern->empty() ? bare : *pattern;
}

// The entry as SkippingFile reports it.
SkippedFile Unpacking::Described(zip_uint64_t index, const zip_stat_t& st) const {
    SkippedFile info;
    info.filename = st.name;
    zip_uint32_t commentSize = 0;
    const char* comment = zip_file_get_comment(archive_, index, &commentSize, ZIP_FL_ENC_GUESS);
    if (comment != nullptr) info.comment.assign(comment, commentSize);
    info.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    info.compressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    info.crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
    info.encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    return info;
}

// Where the entry goes inside the target: the bare name, or the stored path.
std::string Unpacking::Relative(const std::vector<std::string>& parts, const std::string& leaf) const {
    if (!keepPaths_) return leaf;
    std::string relative;
    for (std::size_t k = 0; k + 1 < parts.size(); ++k) relative += parts[k] + "/";
    return relative + leaf;
}

StoredAs Unpacking::Kind(zip_uint64_t index) const {
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive_, index, 0, &opsys, &attributes) != 0 ||
        opsys != ZIP_OPSYS_UNIX)
        return StoredAs::File;
    const mode_t type = static_cast<mode_t>(attributes >> 16) & S_IFMT;
    if (type == S_IFDIR) return StoredAs::Folder;
    if (type != 0 && type != S_IFREG) return StoredAs::Special;
    return StoredAs::File;
}

// The refusals that the entry's own record already calls for.
std::optional<SkipReason> Unpacking::StatedRefusal(const zip_stat_t& st, const SkippedFile& info) const {
    if (info.encrypted) return SkipReason::Encrypted;
    if (info.size > kMaxEntrySize) return SkipReason::TooLarge;
    if (unpacked_ + info.size > kMaxTotalSize) return SkipReason::TooMuch;
    if ((st.valid & ZIP_STAT_COMP_METHOD) && !zip_compression_method_supported(st.comp_method, 0))
        return SkipReason::Unreadable;
    return std::nullopt;
}

// The folder the entry goes in, each folder on the way a real folder inside the target (never a
// link that could lead elsewhere), made when missing; nullopt when one cannot be.
std::optional<fs::path> Unpacking::Folder(const std::vector<std::string>& parts) const {
    fs::path folder = target_;
    for (std::size_t k = 0; keepPaths_ && k + 1 < parts.size(); ++k) {
        folder /= FsPath(parts[k]);
        std::error_code ec;
        const fs::file_status s = fs::symlink_status(folder, ec);
        const bool made = fs::exists(s) ? fs::is_directory(s) : fs::create_directory(folder, ec) && !ec;
        if (!made) return std::nullopt;
    }
    return folder;
}

// Writes the entry to a temporary file in its folder that is then renamed into place.
std::optional<SkipReason> Unpacking::Write(zip_uint64_t index, const fs::path& folder, const fs::path& file,
                                           SkippedFile& info) {
    std::string temp;
    Fd out;
    const auto unwritable = [&info] {
        info.error.assign(errno, std::generic_category());
        return SkipReason::Unwritable;
    };
    out.fd = os::CreateTemporary(PathText(folder / ".unzip-"), temp);
    if (out.fd < 0) return unwritable();
    os::SetMode(out.fd, 0644);
    std::uint64_t total = 0;
    std::optional<SkipReason> failed = Inflate(index, out.fd, total, info);
    if (os::Close(out.fd) != 0 && !failed) failed = unwritable();
    out.fd = -1;
    if (!failed && !os::Replace(temp, PathText(file))) failed = unwritable();
    if (failed) {
        os::Remove(temp);
        return failed;
    }
    unpacked_ += total;
    return std::nullopt;
}

// The stored sizes may lie: the limits hold for what is actually inflated, and nothing past them
// reaches the disk.
std::optional<SkipReason> Unpacking::Inflate(zip_uint64_t index, int fd, std::uint64_t& total,
                                             SkippedFile& info) {
    const EntryHandle in(zip_fopen_index(archive_, index, 0));
    if (!in) return SkipReason::Unreadable;
    for (;;) {
        const zip_int64_t n = zip_fread(in.get(), buffer_.data(), buffer_.size());
        if (n < 0) return SkipReason::Unreadable;
        if (n == 0) return std::nullopt;
        total += static_cast<std::uint64_t>(n);
        std::optional<SkipReason> over;
        if (total > kMaxEntrySize) {
            over = SkipReason::TooLarge;
        } else if (unpacked_ + total > kMaxTotalSize) {
            over = SkipReason::TooMuch;
        }
        if (over) {
            info.size = std::max(info.size, total);
            return over;
        }
        if (!WriteAll(fd, buffer_.data(), static_cast<std::size_t>(n))) {
            info.error.assign(errno, std::generic_category());
            return SkipReason::Unwritable;
        }
    }
}

// Little-endian fields of the archive's end records.
std::uint64_t Field(const unsigned char* p, int bytes) {
    std::uint64_t v = 0;
    for (int k = bytes - 1; k >= 0; --k) v = (v << 8) | p[k];
    return v;
}

// Whether the directory that the archive's end record (or any record that may be taken for it)
// claims stays within kMaxEntries and kMaxDirectorySize. Read from the end of the file only, as the
// archive library looks for the record: in the last 64 KiB and the record's own bytes, taking every
// place that carries its signature, and the 64-bit record that a locator before it points to. A
// field of the plain record that holds its largest value (0xFFFF, 0xFFFFFFFF) says that its value
// is in the 64-bit record: packers that always write one put only these markers in the plain record.
bool PlausibleDirectory(int fd, std::uint64_t size) {
    constexpr std::size_t kEnd = 22, kLocator = 20, kEnd64 = 56;
    const std::size_t tail =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, 0xFFFF + kEnd + kLocator + kEnd));
    std::vector<unsigned char> buffer(tail);
    if (os::ReadAt(fd, buffer.data(), tail, size - tail) != static_cast<long long>(tail))
        return true;  // the library reports what it cannot read
    const auto plausible = [](std::uint64_t entries, std::uint64_t bytes) {
        return entries <= kMaxEntries && bytes <= kMaxDirectorySize;
    };
    for (std::size_t at = 0; at + kEnd <= tail; ++at) {
        const unsigned char* end = buffer.data() + at;
        if (std::memcmp(end, "PK\5\6", 4) != 0) continue;
        unsigned char end64[kEnd64];
        bool wide = false;
        if (at >= kLocator && std::memcmp(end - kLocator, "PK\6\7", 4) == 0) {
            const std::uint64_t where = Field(end - kLocator + 8, 8);
            wide = size >= kEnd64 && where <= size - kEnd64 &&
                   os::ReadAt(fd, end64, kEnd64, where) == static_cast<long long>(kEnd64) &&
                   std::memcmp(end64, "PK\6\6", 4) == 0;
        }
        const auto stated = [wide](std::uint64_t value, std::uint64_t marker) {
            return wide && value == marker ? 0 : value;
        };
        if (!plausible(std::max(stated(Field(end + 8, 2), 0xFFFF), stated(Field(end + 10, 2), 0xFFFF)),
                       stated(Field(end + 12, 4), 0xFFFFFFFF)))
            return false;
        if (wide && !plausible(std::max(Field(end64 + 24, 8), Field(end64 + 32, 8)), Field(end64 + 40, 8)))
            return false;
    }
    return true;
}

}  // namespace

long Zip::unzip() {
    skipped_ = false;
    writeError_.clear();
    if (zipfilename.empty()) return kZipNoArchiveName;
    if (unziptofolder.empty()) return kZipNoTargetFolder;

    // Only a regular file goes to the archive library, which would wait forever on a named pipe.
    Fd in;
    os::FileInfo st;
    if (!OpenRegularFile(zipfilename, in) || !os::Describe(in.fd, st)) return kZipCannotOpen;
    if (!PlausibleDirectory(in.fd, st.size)) return kZipTooManyEntries;
    int error = 0;
    const ArchiveHandle za(zip_open(zipfilename.c_str(), ZIP_RDONLY, &error));
    if (!za) {
        return (error == ZIP_ER_NOENT || error == ZIP_ER_OPEN || error == ZIP_ER_READ) ? kZipCannotOpen
                                                                                       : kZipNotAnArchive;
    }
    const fs::path target = FsPath(unziptofolder);
    std::error_code ec;
    fs::create_directories(target, ec);
    // A link in the target's place would lead the entries elsewhere.
    if (!fs::is_directory(fs::symlink_status(target, ec))) return kZipNoTargetFolder;

    Unpacking unpacking(za.get(), target, Patterns(filestoprocess), processsubfolders, preservepaths);
    bool selected = false;
    const zip_int64_t count = zip_get_num_entries(za.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        Outcome outcome = unpacking.Take(static_cast<zip_uint64_t>(i));
        selected = selected || outcome.selected;
        if (outcome.refused) Skip(*outcome.refused);
    }
    if (!selected) return kZipNothingToDo;
    return skipped_ ? static_cast<long>(kZipFilesSkipped) : 0L;
}

std::string Zip::geterrordescription(int type, long code) const {
    if (type != 0) return {};
    switch (code) {
        case 0:
            return "操作成功";
        case kZipNoArchiveName:
            return "没有指定压缩文件名";
        case kZipNothingToDo:
            return "没有找到要处理的文件";
        case kZipFilesSkipped:
            if (!skipped_) return "有文件被跳过";
            return "有文件被跳过：" +
                   (firstSkipped_.filename.empty() ? "（无名文件）" : firstSkipped_.filename) + "（" +
                   ReasonText(firstSkipped_.reason) +
                   (firstSkipped_.error ? "：" + WriteFailureReason(firstSkipped_.error) : std::string()) +
                   "）";
        case kZipCannotOpen:
            return "无法打开压缩文件";
        case kZipNotAnArchive:
            return "不是有效的ZIP压缩文件，或文件已损坏";
        case kZipCannotWrite:
            return "无法写入压缩文件";
        case kZipNoTargetFolder:
            return "无法创建解压目标文件夹";
        case kZipSourceMissing:
            return "要压缩的文件夹不存在";
        case kZipTooManyEntries:
            return "压缩文件的目录过大（多于 " + std::to_string(kMaxEntries) + " 个文件或 " +
                   std::to_string(kMaxDirectorySize >> 20) + " MiB），不予解压";
        default:
            return "未知错误 " + std::to_string(code);
    }
}

}  // namespace rt

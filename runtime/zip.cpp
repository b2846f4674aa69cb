#include "runtime/zip.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

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

bool Matches(const std::string& mask, const std::string& name, int flags = 0) {
    if (mask.empty() || mask == "*") return true;
    return fnmatch(mask.c_str(), name.c_str(), flags) == 0;
}

// Archive names are compared as the systems that write archives compare them.
std::string Folded(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
}

// Owns an archive handle: discarded unless closed on purpose.
struct Archive {
    zip_t* z = nullptr;
    ~Archive() {
        if (z != nullptr) zip_discard(z);
    }
    // Writes the archive out; false when that failed.
    bool Close() {
        const int rc = zip_close(z);
        if (rc == 0) z = nullptr;
        return rc == 0;
    }
};

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

struct ZipFile {
    zip_file_t* f = nullptr;
    ~ZipFile() {
        if (f != nullptr) zip_fclose(f);
    }
};

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
        if (part == "..") return std::nullopt;
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

void Zip::Skip(SkippedFile f) {
    if (!skipped_) firstSkipped_ = f;
    skipped_ = true;
    if (SkippingFile) SkippingFile(f);
}

// ---- packing ---------------------------------------------------------------------------------

long Zip::zip() {
    skipped_ = false;
    if (zipfilename.empty()) return kZipNoArchiveName;

    std::error_code ec;
    const fs::path archive = fs::weakly_canonical(fs::path(zipfilename), ec);

    std::vector<std::pair<std::string, fs::path>> files;  // entry name, file on disk
    std::set<fs::path> taken;                             // a file that two patterns match goes in once
    for (const std::string& line : Patterns(filestoprocess)) {
        const fs::path pattern(line);
        std::string mask = pattern.filename().string();
        if (mask.empty()) mask = "*";
        fs::path folder = pattern.parent_path();
        if (folder.empty()) folder = ".";
        if (!IsPlainFolder(folder)) return kZipSourceMissing;

        auto consider = [&](const fs::directory_entry& e) {
            std::error_code sec;
            const fs::file_status s = e.symlink_status(sec);
            if (sec || fs::is_directory(s)) return;
            const std::string bare = e.path().filename().string();
            if (!Matches(mask, bare) || taken.count(e.path()) != 0) return;
            taken.insert(e.path());
            const std::string name =
                preservepaths ? e.path().lexically_relative(folder).generic_string() : bare;
            if (!fs::is_regular_file(s)) {
                Skip(Refused(name, e.path().string(), SkipReason::NotAFile));
                return;
            }
            if (!archive.empty() && fs::weakly_canonical(e.path(), sec) == archive) return;
            files.emplace_back(name, e.path());
        };
        if (processsubfolders) {
            for (fs::recursive_directory_iterator
                     it(folder, fs::directory_options::skip_permission_denied, ec),
                 end;
                 !ec && it != end; it.increment(ec))
                consider(*it);
        } else {
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
                consider(*it);
        }
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.second < b.second; });

    int error = 0;
    Archive za;
    std::set<std::string> names;  // folded: a reader that ignores case must not find two
    for (const auto& [name, path] : files) {
        if (names.count(Folded(name)) != 0) {
            Skip(Refused(name, path.string(), SkipReason::Duplicate));
            continue;
        }
        // The archive reads its files only when it is written; one that cannot be opened now is
        // refused rather than failing the whole archive later.
        if (!std::ifstream(path, std::ios::binary)) {
            Skip(Refused(name, path.string(), SkipReason::Unreadable));
            continue;
        }
        if (za.z == nullptr) {
            za.z = zip_open(zipfilename.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
            if (za.z == nullptr) return kZipCannotWrite;
        }
        zip_source_t* src = zip_source_file(za.z, path.c_str(), 0, -1);
        if (src == nullptr || zip_file_add(za.z, name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
            if (src != nullptr) zip_source_free(src);
            Skip(Refused(name, path.string(), SkipReason::Unreadable));
            continue;
        }
        names.insert(Folded(name));
    }
    if (names.empty()) return kZipNothingToDo;
    if (!za.Close()) return kZipCannotWrite;
    return skipped_ ? static_cast<long>(kZipFilesSkipped) : 0L;
}

// ---- unpacking -------------------------------------------------------------------------------

long Zip::unzip() {
    skipped_ = false;
    if (zipfilename.empty()) return kZipNoArchiveName;
    if (unziptofolder.empty()) return kZipNoTargetFolder;

    int error = 0;
    Archive za;
    za.z = zip_open(zipfilename.c_str(), ZIP_RDONLY, &error);
    if (za.z == nullptr) {
        return (error == ZIP_ER_NOENT || error == ZIP_ER_OPEN || error == ZIP_ER_READ) ? kZipCannotOpen
                                                                                       : kZipNotAnArchive;
    }
    const fs::path target(unziptofolder);
    std::error_code ec;
    fs::create_directories(target, ec);
    if (!fs::is_directory(target, ec)) return kZipNoTargetFolder;

    const std::vector<std::string> patterns = Patterns(filestoprocess);
    const zip_int64_t count = zip_get_num_entries(za.z, 0);
    std::set<std::string> seen;  // folded target names of every entry taken, written or refused
    std::uint64_t unpacked = 0;  // bytes written by this operation
    bool selected = false;
    std::vector<char> buffer(64 * 1024);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za.z, index, ZIP_FL_ENC_GUESS, &st) != 0 || (st.valid & ZIP_STAT_NAME) == 0) {
            Skip(Refused({}, {}, SkipReason::Unreadable));
            continue;
        }
        std::string name = st.name;
        std::replace(name.begin(), name.end(), '\\', '/');
        const bool isFolder = name.ends_with('/');
        const std::string trimmed = isFolder ? name.substr(0, name.find_last_not_of('/') + 1) : name;
        const std::string bare = trimmed.substr(trimmed.find_last_of('/') + 1);
        const bool inFolder = trimmed.find('/') != std::string::npos;
        if (!processsubfolders && inFolder) continue;
        if (isFolder) continue;  // folders are made as the files in them need them
        const auto pattern = std::find_if(patterns.begin(), patterns.end(), [&](const std::string& p) {
            return Matches(p, bare, FNM_CASEFOLD);
        });
        if (pattern == patterns.end()) continue;
        selected = true;
        const std::string leaf = HasWildcard(*pattern) || pattern->empty() ? bare : *pattern;

        zip_uint32_t comment = 0;
        const char* commentText = zip_file_get_comment(za.z, index, &comment, ZIP_FL_ENC_GUESS);
        SkippedFile info;
        info.filename = st.name;
        if (commentText != nullptr) info.comment.assign(commentText, comment);
        info.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
        info.compressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
        info.crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
        info.encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
        auto refuse = [&](SkipReason why) {
            info.reason = why;
            Skip(info);
        };

        const auto parts = SafeParts(st.name);
        if (!parts) {
            refuse(SkipReason::UnsafePath);
            continue;
        }
        // Where it goes: the bare name, or the stored path, each folder on the way a real folder
        // inside the target (never a link that could lead elsewhere).
        std::string relative = leaf;
        if (preservepaths) {
            relative.clear();
            for (std::size_t k = 0; k + 1 < parts->size(); ++k) relative += (*parts)[k] + "/";
            relative += leaf;
        }
        // A second entry for the same name is refused whatever became of the first, so that no
        // order of entries decides which one a reader gets.
        if (!seen.insert(Folded(relative)).second) {
            refuse(SkipReason::Duplicate);
            continue;
        }
        zip_uint8_t opsys = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(za.z, index, 0, &opsys, &attributes) == 0 &&
            opsys == ZIP_OPSYS_UNIX) {
            const mode_t type = static_cast<mode_t>(attributes >> 16) & S_IFMT;
            if (type == S_IFDIR) continue;
            if (type != 0 && type != S_IFREG) {
                refuse(SkipReason::NotAFile);
                continue;
            }
        }
        if (info.encrypted) {
            refuse(SkipReason::Encrypted);
            continue;
        }
        if (info.size > kMaxEntrySize) {
            refuse(SkipReason::TooLarge);
            continue;
        }
        if (unpacked + info.size > kMaxTotalSize) {
            refuse(SkipReason::TooMuch);
            continue;
        }
        if ((st.valid & ZIP_STAT_COMP_METHOD) && !zip_compression_method_supported(st.comp_method, 0)) {
            refuse(SkipReason::Unreadable);
            continue;
        }

        fs::path folder = target;
        bool ok = true;
        for (std::size_t k = 0; preservepaths && k + 1 < parts->size() && ok; ++k) {
            folder /= (*parts)[k];
            std::error_code fec;
            const fs::file_status s = fs::symlink_status(folder, fec);
            ok = fs::exists(s) ? fs::is_directory(s) : fs::create_directory(folder, fec) && !fec;
        }
        if (!ok) {
            refuse(SkipReason::Unwritable);
            continue;
        }
        const fs::path file = folder / leaf;
        info.filenameOnDisk = file.string();

        std::string temp = (folder / ".unzip-XXXXXX").string();
        Fd out;
        out.fd = mkstemp(temp.data());
        if (out.fd < 0) {
            refuse(SkipReason::Unwritable);
            continue;
        }
        fchmod(out.fd, 0644);
        // The stored sizes may lie: the limits hold for what is actually inflated, and nothing past
        // them reaches the disk.
        std::optional<SkipReason> failed;
        std::uint64_t total = 0;
        {
            ZipFile in;
            in.f = zip_fopen_index(za.z, index, 0);
            if (in.f == nullptr) failed = SkipReason::Unreadable;
            while (!failed) {
                const zip_int64_t n = zip_fread(in.f, buffer.data(), buffer.size());
                if (n < 0) failed = SkipReason::Unreadable;
                if (n <= 0) break;
                total += static_cast<std::uint64_t>(n);
                if (total > kMaxEntrySize) {
                    failed = SkipReason::TooLarge;
                } else if (unpacked + total > kMaxTotalSize) {
                    failed = SkipReason::TooMuch;
                }
                if (failed) {
                    info.size = std::max(info.size, total);
                    break;
                }
                const char* p = buffer.data();
                for (auto left = static_cast<std::size_t>(n); left > 0;) {
                    const ssize_t w = ::write(out.fd, p, left);
                    if (w <= 0) {
                        failed = SkipReason::Unwritable;
                        break;
                    }
                    p += w;
                    left -= static_cast<std::size_t>(w);
                }
            }
        }
        if (::close(out.fd) != 0 && !failed) failed = SkipReason::Unwritable;
        out.fd = -1;
        if (!failed && std::rename(temp.c_str(), file.c_str()) != 0) failed = SkipReason::Unwritable;
        if (failed) {
            ::unlink(temp.c_str());
            refuse(*failed);
            continue;
        }
        unpacked += total;
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
                   ReasonText(firstSkipped_.reason) + "）";
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
        default:
            return "未知错误 " + std::to_string(code);
    }
}

}  // namespace rt

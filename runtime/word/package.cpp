#include "runtime/word/package.h"

#include <zip.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <random>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "runtime/formats/zip_handles.h"
#include "runtime/platform/fd.h"
#include "runtime/platform/files.h"
#include "runtime/platform/os.h"
#include "runtime/platform/path.h"
#include "runtime/word/markup.h"
#include "runtime/word/stored.h"
#include "runtime/word/word.h"

namespace rt::word::package {

namespace {

constexpr const char* kRelsNamespace = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* kOfficeDocumentRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
constexpr const char* kSettingsRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings";
constexpr const char* kDocumentType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
constexpr const char* kTemplateType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml";
constexpr const char* kSettingsType =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.settings+xml";
constexpr const char* kContentTypes = "[Content_Types].xml";

// A document far beyond any form is refused before it fills the memory.
constexpr std::uint64_t kMaxPackageBytes = 256ull * 1024 * 1024;

// The parts are deflated at level 3. Measured on the filled form and lists documents (150 and 180 KiB
// of parts): the archive library's default, level 9, takes 2.0 and 2.4 ms to write them, level 3
// 0.6 and 0.7 ms (levels 1 and 2 are no faster) for files of 11.9 and 12.8 KiB against 9.8 and
// 10.4 KiB; stored, they would take 0.3 ms but 152 and 177 KiB.
constexpr int kCompressionLevel = 3;

// Parts from this size on are lent to the first document rather than copied.
constexpr std::size_t kLentBytes = 16 * 1024;

constexpr unsigned kParseFlags = pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;

// Why the archive library failed, in words the user can act on.
std::string ZipReason(int code) {
    switch (code) {
        case ZIP_ER_NOENT:
            return "文件不存在";
        case ZIP_ER_OPEN:
        case ZIP_ER_READ:
        case ZIP_ER_SEEK:
            return "无法读取文件";
        case ZIP_ER_NOZIP:
        case ZIP_ER_INCONS:
        case ZIP_ER_CRC:
        case ZIP_ER_COMPNOTSUPP:
        case ZIP_ER_EOF:
            return "文件不是有效的文档，或已损坏";
        case ZIP_ER_MEMORY:
            return "内存不足";
        case ZIP_ER_WRITE:
        case ZIP_ER_TMPOPEN:
        case ZIP_ER_RENAME:
        case ZIP_ER_CLOSE:
        case ZIP_ER_EXISTS:
            return "无法写入文件";
        default:
            return "文档库错误 " + std::to_string(code);
    }
}

// The system's own reason comes first where it is one the user can act on (a full disk, no
// permission): the archive library reports a failed write of its buffered output as a read error.
std::string ZipReason(zip_t* za) {
    const zip_error_t* error = zip_get_error(za);
    if (zip_error_system_type(error) == ZIP_ET_SYS) {
        std::string system =
            WriteFailureReason(std::error_code(zip_error_code_system(error), std::generic_category()));
        if (!system.starts_with("系统错误")) return system;
    }
    return ZipReason(zip_error_code_zip(error));
}

// The whole file, which is small: a document far beyond any form is refused before it is read. A
// path that names no regular file (a named pipe, a device) is refused without being waited on.
std::string ReadFile(const std::string& path) {
    Fd in;
    os::FileInfo st;
    if (!OpenRegularFile(path, in) || !os::Describe(in.fd, st)) {
        std::error_code ec;
        const bool missing = !std::filesystem::exists(std::filesystem::status(FsPath(path), ec));
        throw Error("无法打开文档" + QuotedFileName(path) + "：" + (missing ? "文件不存在" : "无法读取文件"));
    }
    if (st.size > kMaxPackageBytes) throw Error("文档" + QuotedFileName(path) + "过大");
    std::string bytes(static_cast<std::size_t>(st.size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const long long n = os::Read(in.fd, bytes.data() + got, bytes.size() - got);
        if (n <= 0) throw Error("无法读取文档" + QuotedFileName(path) + "：文件不完整");
        got += static_cast<std::size_t>(n);
    }
    return bytes;
}

}  // namespace

struct Source {
    struct Entry {
        std::string name;
        Stored stored;  // as the file stores it
        // Inflated, its size and checksum checked. The first document read from the file parses
        // its large parts in place, which spares a copy of each: they are inflated again when
        // another document wants them.
        mutable std::string text;
        mutable bool lent = false;
    };

    std::string bytes;  // the file, by which a second reading is known
    std::vector<Entry> entries;
};

namespace {

// The entry's data as the file stores them.
bool ReadStored(zip_t* za, zip_uint64_t index, const zip_stat_t& st, Stored& out) {
    const EntryHandle f(zip_fopen_index(za, index, ZIP_FL_COMPRESSED));
    if (!f) return false;
    out.data.assign(static_cast<std::size_t>(st.comp_size), '\0');
    const zip_int64_t got = st.comp_size == 0 ? 0 : zip_fread(f.get(), out.data.data(), st.comp_size);
    out.method = static_cast<std::uint16_t>(st.comp_method);
    out.size = st.size;
    out.crc = st.crc;
    return got >= 0 && static_cast<zip_uint64_t>(got) == st.comp_size;
}

// Opens the archive in the bytes and reads every part, and checks it: a damaged part is found now,
// not when a document made from the file is saved.
std::shared_ptr<const Source> Open(std::string bytes, const std::string& path) {
    auto source = std::make_shared<Source>();
    source->bytes = std::move(bytes);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(source->bytes.data(), source->bytes.size(), 0, &error);
    zip_t* opened = buffer == nullptr ? nullptr : zip_open_from_source(buffer, ZIP_RDONLY, &error);
    if (opened == nullptr) {
        if (buffer != nullptr) zip_source_free(buffer);
        const int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        throw Error("无法打开文档" + QuotedFileName(path) + "：" + ZipReason(code));
    }
    zip_error_fini(&error);
    const ArchiveHandle archive(opened);
    zip_t* za = opened;
    const std::string unreadable = "无法读取文档" + QuotedFileName(path) + "：";

    std::uint64_t total = 0;
    const zip_int64_t n = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        zip_stat_init(&st);
        constexpr zip_uint64_t kNeeded = ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE |
                                         ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD;
        if (zip_stat_index(za, index, 0, &st) != 0 || (st.valid & kNeeded) != kNeeded)
            throw Error(unreadable + ZipReason(za));
        const std::string name = st.name;
        if (name.empty() || name.back() == '/') continue;  // folder entries carry nothing
        total += st.size;
        if (total > kMaxPackageBytes) throw Error("文档" + QuotedFileName(path) + "过大");
        Source::Entry entry{name, {}, {}};
        if (st.encryption_method != ZIP_EM_NONE) throw Error(unreadable + ZipReason(ZIP_ER_NOPASSWD));
        if (!ReadStored(za, index, st, entry.stored)) throw Error(unreadable + "文件不完整");
        if (st.comp_method == ZIP_CM_DEFLATE || st.comp_method == ZIP_CM_STORE) {
            if (!Inflate(entry.stored, entry.text)) throw Error(unreadable + ZipReason(ZIP_ER_CRC));
        } else {
            // Another method the archive library knows: it reads the text.
            const EntryHandle f(zip_fopen_index(za, index, 0));
            if (!f) throw Error(unreadable + ZipReason(za));
            entry.text.assign(static_cast<std::size_t>(st.size), '\0');
            const zip_int64_t got = st.size == 0 ? 0 : zip_fread(f.get(), entry.text.data(), st.size);
            if (got < 0 || static_cast<zip_uint64_t>(got) != st.size) throw Error(unreadable + "文件不完整");
        }
        source->entries.push_back(std::move(entry));
    }
    return source;
}

// The files read lately, by path: a file read again with the same bytes is neither inflated nor
// checked again. Its parts are parsed again for every document: the parser makes a tree of the main
// part in less time than a copy of a tree takes.
struct Cached {
    std::string path;
    std::shared_ptr<const Source> source;
};

// A template and the document made from it, and room to spare.
constexpr std::size_t kCachedFiles = 4;

std::deque<Cached>& Cache() {
    static std::deque<Cached> cache;
    return cache;
}

Cached* FindCached(const std::string& path, const std::string& bytes) {
    for (Cached& c : Cache())
        if (c.path == path && c.source->bytes == bytes) return &c;
    return nullptr;
}

void Remember(const std::string& path, std::shared_ptr<const Source> source) {
    std::deque<Cached>& cache = Cache();
    std::erase_if(cache, [&](const Cached& c) { return c.path == path; });
    if (cache.size() >= kCachedFiles) cache.pop_front();
    cache.push_back({path, std::move(source)});
}

// The text is written as UTF-8 whatever the part was read in, so its declaration must say so.
void Serialize(pugi::xml_document& doc, pugi::xml_writer& to) {
    for (pugi::xml_node n : doc.children())
        if (n.type() == pugi::node_declaration && n.attribute("encoding"))
            n.attribute("encoding").set_value("UTF-8");
    doc.save(to, "", pugi::format_raw, pugi::encoding_utf8);
}

std::string Folder(const std::string& partName) {
    const auto slash = partName.rfind('/');
    return slash == std::string::npos ? std::string() : partName.substr(0, slash);
}

// A relationship target, relative to the folder of the part that holds the relationship.
std::string ResolveTarget(const std::string& folder, std::string_view target) {
    if (!target.empty() && target.front() == '/') return std::string(target.substr(1));
    std::vector<std::string> segments;
    auto push = [&](std::string_view path) {
        while (!path.empty()) {
            const auto slash = path.find('/');
            const std::string_view seg = path.substr(0, slash);
            if (seg == "..") {
                if (!segments.empty()) segments.pop_back();
            } else if (!seg.empty() && seg != ".") {
                segments.emplace_back(seg);
            }
            if (slash == std::string_view::npos) break;
            path.remove_prefix(slash + 1);
        }
    };
    push(folder);
    push(target);
    std::string out;
    for (const std::string& s : segments) out += (out.empty() ? "" : "/") + s;
    return out;
}

// A part made here, or one the engine changed, is written from its tree.
bool Changed(const Part& part) {
    return part.xml && (part.dirty || part.entry == Part::kMade);
}

}  // namespace

std::string QuotedFileName(const std::string& path) {
    return "“" + PathText(FsPath(path).filename()) + "”";
}

Package::Package(const std::string& path) : file_(QuotedFileName(path)) {
    std::string bytes = ReadFile(path);
    if (const Cached* cached = FindCached(path, bytes)) {
        source_ = cached->source;
    } else {
        source_ = Open(std::move(bytes), path);
        Remember(path, source_);
        firstReading_ = true;
    }
    for (std::size_t i = 0; i < source_->entries.size(); ++i)
        parts_.push_back({source_->entries[i].name, i, nullptr, false, {}});
    main_ = Find(MainPartName());
    if (main_ == nullptr) throw Error(file_ + "不是Word文档");
    MakeDocumentFromTemplate();
}

Package::~Package() = default;

Part* Package::Find(const std::string& name) {
    for (Part& p : parts_)
        if (p.name == name) return &p;
    return nullptr;
}

pugi::xml_document& Package::Xml(Part& part) {
    if (!part.xml) {
        const Source::Entry& entry = source_->entries.at(part.entry);
        if (entry.lent) {
            if (!Inflate(entry.stored, entry.text))
                throw Error("文档" + file_ + "已损坏：" + part.name + " 格式错误");
            entry.lent = false;
        }
        auto doc = std::make_unique<pugi::xml_document>();
        pugi::xml_parse_result ok;
        if (firstReading_ && entry.text.size() >= kLentBytes) {
            part.text = std::move(entry.text);
            entry.text.clear();
            entry.lent = true;
            ok = doc->load_buffer_inplace(part.text.data(), part.text.size(), kParseFlags);
        } else {
            ok = doc->load_buffer(entry.text.data(), entry.text.size(), kParseFlags);
        }
        if (!ok || !doc->document_element())
            throw Error("文档" + file_ + "已损坏：" + part.name + " 格式错误");
        part.xml = std::move(doc);  // the file's own form stays: it is what a part left unchanged saves as
    }
    return *part.xml;
}

Part& Package::NewXmlPart(const std::string& name, const char* rootName, const char* ns) {
    Part part;
    part.name = name;
    part.xml = std::make_unique<pugi::xml_document>();
    pugi::xml_node decl = part.xml->append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
    pugi::xml_node root = part.xml->append_child(rootName);
    root.append_attribute(std::string_view(rootName).find(':') != std::string_view::npos ? "xmlns:w"
                                                                                         : "xmlns") = ns;
    part.dirty = true;
    parts_.push_back(std::move(part));
    return parts_.back();
}

std::string Package::MainPartName() {
    mainName_ = "word/document.xml";
    if (Part* rels = Find("_rels/.rels")) {
        for (pugi::xml_node rel : Xml(*rels).document_element().children()) {
            if (std::string_view(rel.attribute("Type").value()) == kOfficeDocumentRel) {
                mainName_ = ResolveTarget("", rel.attribute("Target").value());
                break;
            }
        }
    }
    return mainName_;
}

std::string Package::MainRelsName() const {
    const std::string folder = Folder(mainName_);
    const std::string file = mainName_.substr(folder.empty() ? 0 : folder.size() + 1);
    return (folder.empty() ? "" : folder + "/") + "_rels/" + file + ".rels";
}

void Package::MakeDocumentFromTemplate() {
    Part* types = Find(kContentTypes);
    if (types == nullptr) return;
    for (pugi::xml_node o : Xml(*types).document_element().children()) {
        if (std::string_view(o.attribute("PartName").value()) == "/" + mainName_ &&
            std::string_view(o.attribute("ContentType").value()) == kTemplateType) {
            o.attribute("ContentType").set_value(kDocumentType);
            types->dirty = true;
        }
    }
}

Part& Package::Settings() {
    const std::string relsName = MainRelsName();
    Part* rels = Find(relsName);
    if (rels == nullptr) rels = &NewXmlPart(relsName, "Relationships", kRelsNamespace);
    pugi::xml_node relsRoot = Xml(*rels).document_element();
    std::set<std::string> ids;
    for (pugi::xml_node rel : relsRoot.children()) {
        ids.insert(rel.attribute("Id").value());
        if (std::string_view(rel.attribute("Type").value()) == kSettingsRel) {
            const std::string name = ResolveTarget(Folder(mainName_), rel.attribute("Target").value());
            if (Part* p = Find(name)) return *p;
        }
    }
    const std::string name = ResolveTarget(Folder(mainName_), "settings.xml");
    if (Part* p = Find(name)) return *p;
    std::string id;
    for (int i = 1; id.empty() || ids.count(id) != 0; ++i) id = "rId" + std::to_string(i);
    pugi::xml_node rel = relsRoot.append_child("Relationship");
    rel.append_attribute("Id") = id.c_str();
    rel.append_attribute("Type") = kSettingsRel;
    rel.append_attribute("Target") = "settings.xml";
    rels->dirty = true;
    if (Part* types = Find(kContentTypes)) {
        pugi::xml_node o = Xml(*types).document_element().append_child("Override");
        o.append_attribute("PartName") = ("/" + name).c_str();
        o.append_attribute("ContentType") = kSettingsType;
        types->dirty = true;
    }
    return NewXmlPart(name, "w:settings", markup::kWordNamespace);
}

// The archive is made in memory and written out at once, so that what fails is the file's write,
// with the system's own reason.
void Package::SaveAs(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path target = FsPath(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const std::string failed = "无法保存文档" + QuotedFileName(path) + "：";
    if (!std::filesystem::is_directory(folder, ec))
        throw Error(failed + MissingFolderReason(PathText(folder)));
    if (std::filesystem::is_directory(target, ec)) throw Error(failed + "已有同名的文件夹");

    const std::string archive = Archive();
    std::random_device random;
    const std::string temp = PathText(
        folder / FsPath("." + PathText(target.filename()) + "." + std::to_string(random()) + ".tmp"));
    Fd out;
    // 0666 less the umask, as any new file of the user's.
    out.fd = os::CreateNew(temp, 0666);
    if (out.fd < 0) throw Error(failed + WriteFailureReason(std::error_code(errno, std::generic_category())));
    // On disk before it takes the document's name, so that a crash leaves the old one or the new.
    const bool written = WriteAll(out.fd, archive.data(), archive.size()) && os::Sync(out.fd);
    const int writeError = errno;
    const bool closed = os::Close(out.fd) == 0;
    const int closeError = errno;
    out.fd = -1;
    if (!written || !closed) {
        os::Remove(temp);
        throw Error(failed + WriteFailureReason(std::error_code(written ? closeError : writeError,
                                                                std::generic_category())));
    }
    if (!os::Replace(temp, PathText(target))) {
        const std::error_code why(errno, std::generic_category());
        os::Remove(temp);
        throw Error(failed + WriteFailureReason(why));
    }
}

std::string Package::Archive() {
    const std::string failed = "无法保存文档" + file_ + "：";
    // The parts and the readings of them must live until the archive is closed.
    std::vector<Stored> deflated(parts_.size());
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        if (!Changed(parts_[i])) continue;
        Deflater deflater(kCompressionLevel, deflated[i]);
        Serialize(*parts_[i].xml, deflater);
        if (!deflater.Finish()) throw Error(failed + "内存不足");
    }
    std::vector<Serving> servings(parts_.size());

    zip_error_t error;
    zip_error_init(&error);
    const SourceHandle memory(zip_source_buffer_create(nullptr, 0, 0, &error));
    zip_t* opened = memory ? zip_open_from_source(memory.get(), ZIP_TRUNCATE, &error) : nullptr;
    if (opened == nullptr) {
        const int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        throw Error(failed + ZipReason(code));
    }
    zip_error_fini(&error);
    zip_source_keep(memory.get());  // the archive took one reference; the bytes are read after it closes
    ArchiveHandle archive(opened);
    zip_t* za = archive.get();
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        const Part& part = parts_[i];
        // A part nobody changed goes as the file stored it, compressed as it was.
        const Stored& stored = Changed(part) ? deflated[i] : source_->entries.at(part.entry).stored;
        zip_source_t* src = SourceOf(za, servings[i], stored);
        if (src == nullptr) throw Error(failed + ZipReason(za));
        const zip_int64_t index = zip_file_add(za, part.name.c_str(), src, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(src);
            throw Error(failed + ZipReason(za));
        }
        // The library compresses what comes uncompressed unless told to keep it so.
        if (stored.method == ZIP_CM_STORE &&
            zip_set_file_compression(za, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) != 0)
            throw Error(failed + ZipReason(za));
    }
    if (!CloseArchive(archive)) throw Error(failed + ZipReason(za));

    zip_stat_t st;
    zip_stat_init(&st);
    std::string bytes;
    if (zip_source_stat(memory.get(), &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0 ||
        zip_source_open(memory.get()) != 0)
        throw Error(failed + "内存不足");
    bytes.resize(static_cast<std::size_t>(st.size));
    const zip_int64_t got = zip_source_read(memory.get(), bytes.data(), bytes.size());
    zip_source_close(memory.get());
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size) throw Error(failed + "内存不足");
    return bytes;
}

}  // namespace rt::word::package

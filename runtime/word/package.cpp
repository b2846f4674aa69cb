#include "runtime/word/package.h"

#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <random>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "runtime/word.h"
#include "runtime/word/markup.h"
#include "runtime/zip_handles.h"

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
constexpr zip_uint32_t kCompressionLevel = 3;

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

std::string SystemReason(const std::error_code& ec) {
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted) return "没有写入权限";
    if (ec == std::errc::no_space_on_device || ec.value() == EDQUOT) return "磁盘空间不足";
    if (ec == std::errc::read_only_file_system) return "磁盘只读";
    if (ec == std::errc::no_such_file_or_directory) return "文件夹不存在";
    return "系统错误 " + std::to_string(ec.value());
}

// Why a folder to save in is not there. A folder that could not be made on a disk that takes no
// writes (the working folder of a program installed on one) is missing because of the disk, and
// the nearest folder above it that exists tells.
std::string MissingFolderReason(std::filesystem::path folder) {
    std::error_code ec;
    while (!std::filesystem::exists(folder, ec) && folder.has_relative_path()) folder = folder.parent_path();
    if (::access(folder.c_str(), W_OK) != 0 && errno == EROFS) return "磁盘只读";
    return "文件夹不存在";
}

// The system's own reason comes first where it is one the user can act on (a full disk, no
// permission): the archive library reports a failed write of its buffered output as a read error.
std::string ZipReason(zip_t* za) {
    const zip_error_t* error = zip_get_error(za);
    if (zip_error_system_type(error) == ZIP_ET_SYS) {
        const std::string system =
            SystemReason(std::error_code(zip_error_code_system(error), std::generic_category()));
        if (!system.starts_with("系统错误")) return system;
    }
    return ZipReason(zip_error_code_zip(error));
}

std::deque<Part> ReadParts(const std::string& path) {
    int code = 0;
    const ArchiveHandle archive(zip_open(path.c_str(), ZIP_RDONLY, &code));
    if (!archive) throw Error("无法打开文档" + QuotedFileName(path) + "：" + ZipReason(code));
    zip_t* za = archive.get();

    std::deque<Part> parts;
    std::uint64_t total = 0;
    const zip_int64_t n = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
            (st.valid & ZIP_STAT_NAME) == 0 || (st.valid & ZIP_STAT_SIZE) == 0)
            throw Error("无法读取文档" + QuotedFileName(path) + "：" + ZipReason(za));
        const std::string name = st.name;
        if (name.empty() || name.back() == '/') continue;  // folder entries carry nothing
        total += st.size;
        if (total > kMaxPackageBytes) throw Error("文档" + QuotedFileName(path) + "过大");
        const EntryHandle f(zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0));
        if (!f) throw Error("无法读取文档" + QuotedFileName(path) + "：" + ZipReason(za));
        Part part;
        part.name = name;
        part.raw.resize(static_cast<std::size_t>(st.size));
        const zip_int64_t got = st.size == 0 ? 0 : zip_fread(f.get(), part.raw.data(), st.size);
        if (got < 0 || static_cast<zip_uint64_t>(got) != st.size)
            throw Error("无法读取文档" + QuotedFileName(path) + "：文件不完整");
        parts.push_back(std::move(part));
    }
    return parts;
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, std::size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

std::string Serialize(pugi::xml_document& doc) {
    // The text is written as UTF-8 whatever the part was read in, so its declaration must say so.
    for (pugi::xml_node n : doc.children())
        if (n.type() == pugi::node_declaration && n.attribute("encoding"))
            n.attribute("encoding").set_value("UTF-8");
    StringWriter w;
    doc.save(w, "", pugi::format_raw, pugi::encoding_utf8);
    return w.text;
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

}  // namespace

std::string QuotedFileName(const std::string& path) {
    return "“" + std::filesystem::path(path).filename().string() + "”";
}

Package::Package(const std::string& path) : parts_(ReadParts(path)), file_(QuotedFileName(path)) {
    main_ = Find(MainPartName());
    if (main_ == nullptr) throw Error(file_ + "不是Word文档");
    MakeDocumentFromTemplate();
}

Part* Package::Find(const std::string& name) {
    for (Part& p : parts_)
        if (p.name == name) return &p;
    return nullptr;
}

pugi::xml_document& Package::Xml(Part& part) {
    if (!part.xml) {
        auto doc = std::make_unique<pugi::xml_document>();
        const pugi::xml_parse_result ok = doc->load_buffer(part.raw.data(), part.raw.size(), kParseFlags);
        if (!ok || !doc->document_element())
            throw Error("文档" + file_ + "已损坏：" + part.name + " 格式错误");
        part.xml = std::move(doc);  // the raw text stays: it is what a part left unchanged saves as
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

void Package::SaveAs(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    if (!std::filesystem::is_directory(folder, ec))
        throw Error("无法保存文档" + QuotedFileName(path) + "：" + MissingFolderReason(folder));
    if (std::filesystem::is_directory(target, ec))
        throw Error("无法保存文档" + QuotedFileName(path) + "：已有同名的文件夹");

    std::vector<std::string> texts;  // the buffers must live until the archive is closed
    texts.reserve(parts_.size());
    for (Part& part : parts_) texts.push_back(part.xml && part.dirty ? Serialize(*part.xml) : part.raw);

    std::random_device random;
    const std::string temp =
        (folder / ("." + target.filename().string() + "." + std::to_string(random()) + ".tmp")).string();
    int code = 0;
    ArchiveHandle archive(zip_open(temp.c_str(), ZIP_CREATE | ZIP_EXCL, &code));
    if (!archive) throw Error("无法保存文档" + QuotedFileName(path) + "：" + ZipReason(code));
    zip_t* za = archive.get();
    auto fail = [&](const std::string& why) {
        archive.reset();
        std::filesystem::remove(temp, ec);
        throw Error("无法保存文档" + QuotedFileName(path) + "：" + why);
    };
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        zip_source_t* src = zip_source_buffer(za, texts[i].data(), texts[i].size(), 0);
        if (src == nullptr) fail(ZipReason(za));
        const zip_int64_t index = zip_file_add(za, parts_[i].name.c_str(), src, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(src);
            fail(ZipReason(za));
        }
        if (zip_set_file_compression(za, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                                     kCompressionLevel) != 0)
            fail(ZipReason(za));
    }
    if (!CloseArchive(archive)) fail(ZipReason(za));
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        throw Error("无法保存文档" + QuotedFileName(path) + "：" + SystemReason(ec));
    }
}

}  // namespace rt::word::package

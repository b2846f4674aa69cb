#include "runtime/word.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <pugixml.hpp>
#include <random>
#include <set>
#include <vector>

#include "runtime/text.h"

namespace rt::word {

namespace {

// ---- SHA-512 -----------------------------------------------------------------------------------
// The protection hash needs it and the data side has no crypto library; messages here are short.

constexpr std::array<std::uint64_t, 80> kSha512Rounds = {
    0x428a2f98d728ae22ULL, 0x7137449123ef65cdULL, 0xb5c0fbcfec4d3b2fULL, 0xe9b5dba58189dbbcULL,
    0x3956c25bf348b538ULL, 0x59f111f1b605d019ULL, 0x923f82a4af194f9bULL, 0xab1c5ed5da6d8118ULL,
    0xd807aa98a3030242ULL, 0x12835b0145706fbeULL, 0x243185be4ee4b28cULL, 0x550c7dc3d5ffb4e2ULL,
    0x72be5d74f27b896fULL, 0x80deb1fe3b1696b1ULL, 0x9bdc06a725c71235ULL, 0xc19bf174cf692694ULL,
    0xe49b69c19ef14ad2ULL, 0xefbe4786384f25e3ULL, 0x0fc19dc68b8cd5b5ULL, 0x240ca1cc77ac9c65ULL,
    0x2de92c6f592b0275ULL, 0x4a7484aa6ea6e483ULL, 0x5cb0a9dcbd41fbd4ULL, 0x76f988da831153b5ULL,
    0x983e5152ee66dfabULL, 0xa831c66d2db43210ULL, 0xb00327c898fb213fULL, 0xbf597fc7beef0ee4ULL,
    0xc6e00bf33da88fc2ULL, 0xd5a79147930aa725ULL, 0x06ca6351e003826fULL, 0x142929670a0e6e70ULL,
    0x27b70a8546d22ffcULL, 0x2e1b21385c26c926ULL, 0x4d2c6dfc5ac42aedULL, 0x53380d139d95b3dfULL,
    0x650a73548baf63deULL, 0x766a0abb3c77b2a8ULL, 0x81c2c92e47edaee6ULL, 0x92722c851482353bULL,
    0xa2bfe8a14cf10364ULL, 0xa81a664bbc423001ULL, 0xc24b8b70d0f89791ULL, 0xc76c51a30654be30ULL,
    0xd192e819d6ef5218ULL, 0xd69906245565a910ULL, 0xf40e35855771202aULL, 0x106aa07032bbd1b8ULL,
    0x19a4c116b8d2d0c8ULL, 0x1e376c085141ab53ULL, 0x2748774cdf8eeb99ULL, 0x34b0bcb5e19b48a8ULL,
    0x391c0cb3c5c95a63ULL, 0x4ed8aa4ae3418acbULL, 0x5b9cca4f7763e373ULL, 0x682e6ff3d6b2b8a3ULL,
    0x748f82ee5defb2fcULL, 0x78a5636f43172f60ULL, 0x84c87814a1f0ab72ULL, 0x8cc702081a6439ecULL,
    0x90befffa23631e28ULL, 0xa4506cebde82bde9ULL, 0xbef9a3f7b2c67915ULL, 0xc67178f2e372532bULL,
    0xca273eceea26619cULL, 0xd186b8c721c0c207ULL, 0xeada7dd6cde0eb1eULL, 0xf57d4f7fee6ed178ULL,
    0x06f067aa72176fbaULL, 0x0a637dc5a2c898a6ULL, 0x113f9804bef90daeULL, 0x1b710b35131c471bULL,
    0x28db77f523047d84ULL, 0x32caab7b40c72493ULL, 0x3c9ebe0a15c9bebcULL, 0x431d67c49c100d4cULL,
    0x4cc5d4becb3e42b6ULL, 0x597f299cfc657e2aULL, 0x5fcb6fab3ad6faecULL, 0x6c44198c4a475817ULL,
};

using Digest = std::array<unsigned char, 64>;

constexpr std::uint64_t Rotr(std::uint64_t x, int n) {
    return (x >> n) | (x << (64 - n));
}

void Sha512Block(std::array<std::uint64_t, 8>& h, const unsigned char* block) {
    std::array<std::uint64_t, 80> w;
    for (std::size_t t = 0; t < 16; ++t) {
        std::uint64_t v = 0;
        for (std::size_t b = 0; b < 8; ++b) v = (v << 8) | block[t * 8 + b];
        w[t] = v;
    }
    for (std::size_t t = 16; t < 80; ++t) {
        const std::uint64_t s0 = Rotr(w[t - 15], 1) ^ Rotr(w[t - 15], 8) ^ (w[t - 15] >> 7);
        const std::uint64_t s1 = Rotr(w[t - 2], 19) ^ Rotr(w[t - 2], 61) ^ (w[t - 2] >> 6);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, hh] = h;
    for (std::size_t t = 0; t < 80; ++t) {
        const std::uint64_t t1 =
            hh + (Rotr(e, 14) ^ Rotr(e, 18) ^ Rotr(e, 41)) + ((e & f) ^ (~e & g)) + kSha512Rounds[t] + w[t];
        const std::uint64_t t2 = (Rotr(a, 28) ^ Rotr(a, 34) ^ Rotr(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
        hh = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
    h[5] += f;
    h[6] += g;
    h[7] += hh;
}

Digest Sha512(const unsigned char* data, std::size_t size) {
    std::array<std::uint64_t, 8> h = {0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL,
                                      0xa54ff53a5f1d36f1ULL, 0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL,
                                      0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL};
    std::size_t whole = size - size % 128;
    for (std::size_t i = 0; i < whole; i += 128) Sha512Block(h, data + i);
    // The tail, the 0x80 marker and the length in bits (128 bits, big-endian) in one or two blocks.
    std::array<unsigned char, 256> tail{};
    const std::size_t rest = size - whole;
    std::copy(data + whole, data + size, tail.begin());
    tail[rest] = 0x80;
    const std::size_t blocks = rest + 1 + 16 <= 128 ? 1 : 2;
    const std::uint64_t bits = static_cast<std::uint64_t>(size) * 8;
    for (std::size_t i = 0; i < 8; ++i)
        tail[blocks * 128 - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    for (std::size_t i = 0; i < blocks; ++i) Sha512Block(h, tail.data() + i * 128);
    Digest out{};
    for (std::size_t i = 0; i < 8; ++i)
        for (std::size_t b = 0; b < 8; ++b) out[i * 8 + b] = static_cast<unsigned char>(h[i] >> (56 - 8 * b));
    return out;
}

std::string Base64(const unsigned char* data, std::size_t size) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < size; i += 3) {
        const std::uint32_t n = (static_cast<std::uint32_t>(data[i]) << 16) |
                                (i + 1 < size ? static_cast<std::uint32_t>(data[i + 1]) << 8 : 0) |
                                (i + 2 < size ? static_cast<std::uint32_t>(data[i + 2]) : 0);
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < size ? kAlphabet[(n >> 6) & 63] : '=';
        out += i + 2 < size ? kAlphabet[n & 63] : '=';
    }
    return out;
}

// ---- text --------------------------------------------------------------------------------------

// Code points of UTF-8 text; a malformed sequence becomes U+FFFD, so nothing invalid reaches a part.
std::u32string CodePoints(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        std::uint32_t cp = 0;
        const std::size_t len = rt::DecodeUtf8(s, i, cp);
        out += len == 0 ? U'\uFFFD' : static_cast<char32_t>(cp);
        i += len == 0 ? 1 : len;
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Characters that XML 1.0 cannot carry at all.
bool XmlChar(char32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || cp >= 0x10000;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// ---- package -----------------------------------------------------------------------------------

constexpr const char* kWordNamespace = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
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

constexpr unsigned kParseFlags = pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;

struct Part {
    std::string name;
    std::string raw;                          // as read; saved again while the part is unchanged
    std::unique_ptr<pugi::xml_document> xml;  // once parsed
    bool dirty = false;
};

// A message names the file by its name alone: the user chose the folder, and a full path would
// crowd out what went wrong.
std::string FileName(const std::string& path) {
    return "“" + std::filesystem::path(path).filename().string() + "”";
}

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

std::deque<Part> ReadPackage(const std::string& path) {
    int code = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (za == nullptr) throw Error("无法打开文档" + FileName(path) + "：" + ZipReason(code));
    std::unique_ptr<zip_t, void (*)(zip_t*)> guard(za, [](zip_t* z) { zip_discard(z); });

    std::deque<Part> parts;
    std::uint64_t total = 0;
    const zip_int64_t n = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
            (st.valid & ZIP_STAT_NAME) == 0 || (st.valid & ZIP_STAT_SIZE) == 0)
            throw Error("无法读取文档" + FileName(path) + "：" + ZipReason(za));
        const std::string name = st.name;
        if (name.empty() || name.back() == '/') continue;  // folder entries carry nothing
        total += st.size;
        if (total > kMaxPackageBytes) throw Error("文档" + FileName(path) + "过大");
        zip_file_t* f = zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0);
        if (f == nullptr) throw Error("无法读取文档" + FileName(path) + "：" + ZipReason(za));
        Part part;
        part.name = name;
        part.raw.resize(static_cast<std::size_t>(st.size));
        const zip_int64_t got = st.size == 0 ? 0 : zip_fread(f, part.raw.data(), st.size);
        zip_fclose(f);
        if (got < 0 || static_cast<zip_uint64_t>(got) != st.size)
            throw Error("无法读取文档" + FileName(path) + "：文件不完整");
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

// The settings are a sequence in a fixed order; the protection comes after these elements.
constexpr std::string_view kBeforeProtection =
    " writeProtection view zoom removePersonalInformation removeDateAndTime doNotDisplayPageBoundaries"
    " displayBackgroundShape printPostScriptOverText printFractionalCharacterWidth printFormsData"
    " embedTrueTypeFonts embedSystemFonts saveSubsetFonts saveFormsData mirrorMargins alignBordersAndEdges"
    " bordersDoNotSurroundHeader bordersDoNotSurroundFooter gutterAtTop hideSpellingErrors"
    " hideGrammaticalErrors activeWritingStyle proofState formsDesign attachedTemplate linkStyles"
    " stylePaneFormatFilter stylePaneSortMethod documentType mailMerge revisionView trackRevisions"
    " doNotTrackMoves doNotTrackFormatting ";

// ---- WordprocessingML names --------------------------------------------------------------------

// The element and attribute names under the prefix that the part binds to the main namespace.
struct Names {
    explicit Names(std::string prefix)
        : body(prefix + "body"),
          p(prefix + "p"),
          pPr(prefix + "pPr"),
          r(prefix + "r"),
          rPr(prefix + "rPr"),
          t(prefix + "t"),
          tab(prefix + "tab"),
          br(prefix + "br"),
          cr(prefix + "cr"),
          tbl(prefix + "tbl"),
          tr(prefix + "tr"),
          tc(prefix + "tc"),
          tcPr(prefix + "tcPr"),
          sdt(prefix + "sdt"),
          sdtContent(prefix + "sdtContent"),
          customXml(prefix + "customXml"),
          bookmarkStart(prefix + "bookmarkStart"),
          bookmarkEnd(prefix + "bookmarkEnd"),
          name(prefix + "name"),
          id(prefix + "id"),
          prefix_(std::move(prefix)) {}

    std::string Of(std::string_view local) const { return prefix_ + std::string(local); }

    std::string body, p, pPr, r, rPr, t, tab, br, cr, tbl, tr, tc, tcPr, sdt, sdtContent, customXml,
        bookmarkStart, bookmarkEnd, name, id;

  private:
    std::string prefix_;
};

std::string PrefixFor(pugi::xml_node root, const char* ns) {
    for (pugi::xml_attribute a : root.attributes()) {
        if (std::strcmp(a.value(), ns) != 0) continue;
        const std::string_view n = a.name();
        if (n == "xmlns") return "";
        if (n.substr(0, 6) == "xmlns:") return std::string(n.substr(6)) + ":";
    }
    return "w:";
}

bool Is(pugi::xml_node n, const std::string& name) {
    return n.type() == pugi::node_element && name == n.name();
}

// The next node in document order after n (its subtree first), or null past the end of root.
pugi::xml_node Following(pugi::xml_node n, pugi::xml_node root, bool intoChildren = true) {
    if (intoChildren && n.first_child()) return n.first_child();
    while (n && n != root) {
        if (n.next_sibling()) return n.next_sibling();
        n = n.parent();
    }
    return {};
}

// ---- the document ------------------------------------------------------------------------------

class DocxDocument final : public Document {
  public:
    explicit DocxDocument(const std::string& path)
        : parts_(ReadPackage(path)), file_(FileName(path)), w_("w:") {
        const std::string mainName = MainPartName();
        main_ = Find(mainName);
        if (main_ == nullptr) throw Error(file_ + "不是Word文档");
        pugi::xml_node root = Xml(*main_).document_element();
        w_ = Names(PrefixFor(root, kWordNamespace));
        body_ = root.child(w_.body.c_str());
        if (std::string_view(root.name()) != w_.Of("document") || !body_) throw Error(file_ + "不是Word文档");
        MakeDocumentFromTemplate();
    }

    void SetBookmarkText(std::string_view name, std::string_view text) override {
        RequireOpen();
        auto [start, end] = FindBookmark(name);
        MoveIntoParagraphs(start, end, name);
        pugi::xml_node ps = ParagraphOf(start);
        pugi::xml_node pe = ParagraphOf(end);
        if (ps.parent() != pe.parent() || !Precedes(ps, pe))
            throw Error("书签 " + std::string(name) + " 跨越表格单元格，无法填入文字");

        pugi::xml_document scratch;
        const pugi::xml_node format = RunFormat(start, end, ps, scratch);
        pugi::xml_node kept = scratch.append_child("kept");
        DeleteBetween(start, end, kept);
        if (ps != pe) {
            // The range held paragraph marks: what is left of the last paragraph joins the first.
            for (pugi::xml_node c = pe.first_child(); c;) {
                pugi::xml_node next = c.next_sibling();
                if (Is(c, w_.pPr))
                    pe.remove_child(c);
                else
                    ps.append_move(c);
                c = next;
            }
            pe.parent().remove_child(pe);
        }
        pugi::xml_node at = start;
        for (pugi::xml_node m : kept.children()) at = start.parent().insert_copy_after(m, at);
        if (!text.empty()) {
            pugi::xml_node run = start.parent().insert_child_after(w_.r.c_str(), at);
            if (format) run.append_copy(format);
            AppendText(run, text);
        }
        main_->dirty = true;
    }

    bool HasBookmark(std::string_view name) const override {
        RequireOpen();
        return static_cast<bool>(FindStart(name));
    }

    std::string BookmarkText(std::string_view name) const override {
        RequireOpen();
        auto [start, end] = FindBookmark(name);
        std::string out;
        bool inside = false;
        bool done = false;
        CollectText(body_, start, end, inside, done, out);
        return out;
    }

    void SetCellText(int table, int row, int column, std::string_view text) override {
        RequireOpen();
        pugi::xml_node tc = Cell(table, row, column);
        pugi::xml_document scratch;
        pugi::xml_node first = FirstOf(tc, w_.p);
        pugi::xml_node pPr;
        if (first && first.child(w_.pPr.c_str())) pPr = scratch.append_copy(first.child(w_.pPr.c_str()));
        pugi::xml_node format;
        if (first) {
            pugi::xml_node run = FirstDescendant(first, w_.r);
            format = run ? (run.child(w_.rPr.c_str()) ? scratch.append_copy(run.child(w_.rPr.c_str()))
                                                      : pugi::xml_node())
                         : MarkFormat(first, scratch);
        }
        // Bookmarks inside the cell survive around the new text.
        std::vector<pugi::xml_node> starts, ends;
        for (pugi::xml_node n = tc.first_child(); n; n = Following(n, tc)) {
            if (Is(n, w_.bookmarkStart)) starts.push_back(scratch.append_copy(n));
            if (Is(n, w_.bookmarkEnd)) ends.push_back(scratch.append_copy(n));
        }
        for (pugi::xml_node c = tc.first_child(); c;) {
            pugi::xml_node next = c.next_sibling();
            if (!Is(c, w_.tcPr)) tc.remove_child(c);
            c = next;
        }
        pugi::xml_node p = tc.append_child(w_.p.c_str());
        if (pPr) p.append_copy(pPr);
        for (pugi::xml_node s : starts) p.append_copy(s);
        if (!text.empty()) {
            pugi::xml_node run = p.append_child(w_.r.c_str());
            if (format) run.append_copy(format);
            AppendText(run, text);
        }
        for (pugi::xml_node e : ends) p.append_copy(e);
        main_->dirty = true;
    }

    std::string CellText(int table, int row, int column) const override {
        RequireOpen();
        pugi::xml_node tc = Cell(table, row, column);
        std::string out;
        bool inside = true;
        bool done = false;
        for (pugi::xml_node c : tc.children()) CollectText(c, {}, {}, inside, done, out);
        if (!out.empty() && out.back() == '\r') out.pop_back();
        return out;
    }

    int TableCount() const override {
        RequireOpen();
        return static_cast<int>(Tables().size());
    }

    void Protect(int type, bool /*noReset: the engine keeps no form field results to reset*/,
                 std::string_view password) override {
        RequireOpen();
        static constexpr std::array<const char*, 4> kEdit = {"trackedChanges", "comments", "forms",
                                                             "readOnly"};
        if (type < 0 || type >= static_cast<int>(kEdit.size()))
            throw Error("未知的文档保护方式 " + std::to_string(type));
        Part& settings = SettingsPart();
        pugi::xml_node root = Xml(settings).document_element();
        const Names s(PrefixFor(root, kWordNamespace));
        const std::string tag = s.Of("documentProtection");
        while (root.child(tag.c_str())) root.remove_child(root.child(tag.c_str()));

        pugi::xml_node after;
        for (pugi::xml_node c : root.children()) {
            if (c.type() != pugi::node_element) continue;
            std::string_view n = c.name();
            if (const auto colon = n.find(':'); colon != std::string_view::npos) n.remove_prefix(colon + 1);
            if (kBeforeProtection.find(" " + std::string(n) + " ") != std::string_view::npos) after = c;
        }
        pugi::xml_node dp =
            after ? root.insert_child_after(tag.c_str(), after) : root.prepend_child(tag.c_str());
        dp.append_attribute(s.Of("edit").c_str()) = kEdit[static_cast<std::size_t>(type)];
        dp.append_attribute(s.Of("enforcement").c_str()) = "1";
        if (!password.empty()) {
            constexpr std::uint32_t kSpinCount = 100000;
            std::random_device random;
            std::string salt(16, '\0');
            for (char& c : salt) c = static_cast<char>(random() & 0xFF);
            dp.append_attribute(s.Of("cryptProviderType").c_str()) = "rsaAES";
            dp.append_attribute(s.Of("cryptAlgorithmClass").c_str()) = "hash";
            dp.append_attribute(s.Of("cryptAlgorithmType").c_str()) = "typeAny";
            dp.append_attribute(s.Of("cryptAlgorithmSid").c_str()) = "14";  // SHA-512
            dp.append_attribute(s.Of("cryptSpinCount").c_str()) = std::to_string(kSpinCount).c_str();
            dp.append_attribute(s.Of("hash").c_str()) = ProtectionHash(password, salt, kSpinCount).c_str();
            dp.append_attribute(s.Of("salt").c_str()) =
                Base64(reinterpret_cast<const unsigned char*>(salt.data()), salt.size()).c_str();
        }
        settings.dirty = true;
    }

    void SaveAs(const std::string& path) override {
        RequireOpen();
        std::error_code ec;
        const std::filesystem::path target(path);
        const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
        if (!std::filesystem::is_directory(folder, ec))
            throw Error("无法保存文档" + FileName(path) + "：文件夹不存在");
        if (std::filesystem::is_directory(target, ec))
            throw Error("无法保存文档" + FileName(path) + "：已有同名的文件夹");

        std::vector<std::string> texts;  // the buffers must live until the archive is closed
        texts.reserve(parts_.size());
        for (Part& part : parts_) texts.push_back(part.xml && part.dirty ? Serialize(*part.xml) : part.raw);

        std::random_device random;
        const std::string temp =
            (folder / ("." + target.filename().string() + "." + std::to_string(random()) + ".tmp")).string();
        int code = 0;
        zip_t* za = zip_open(temp.c_str(), ZIP_CREATE | ZIP_EXCL, &code);
        if (za == nullptr) throw Error("无法保存文档" + FileName(path) + "：" + ZipReason(code));
        auto fail = [&](const std::string& why) {
            zip_discard(za);
            std::filesystem::remove(temp, ec);
            throw Error("无法保存文档" + FileName(path) + "：" + why);
        };
        for (std::size_t i = 0; i < parts_.size(); ++i) {
            zip_source_t* src = zip_source_buffer(za, texts[i].data(), texts[i].size(), 0);
            if (src == nullptr) fail(ZipReason(za));
            if (zip_file_add(za, parts_[i].name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
                zip_source_free(src);
                fail(ZipReason(za));
            }
        }
        if (zip_close(za) != 0) fail(ZipReason(za));
        std::filesystem::rename(temp, target, ec);
        if (ec) {
            std::filesystem::remove(temp, ec);
            throw Error("无法保存文档" + FileName(path) + "：" + SystemReason(ec));
        }
    }

    void Close() override {
        RequireOpen();
        open_ = false;
        parts_.clear();  // the content goes at once; the object lives on until the engine drops it
        main_ = nullptr;
        body_ = {};
    }

    bool IsOpen() const { return open_; }

  private:
    // ---- parts ---------------------------------------------------------------------------------

    Part* Find(const std::string& name) {
        for (Part& p : parts_)
            if (p.name == name) return &p;
        return nullptr;
    }

    pugi::xml_document& Xml(Part& part) {
        if (!part.xml) {
            auto doc = std::make_unique<pugi::xml_document>();
            const pugi::xml_parse_result ok = doc->load_buffer(part.raw.data(), part.raw.size(), kParseFlags);
            if (!ok || !doc->document_element())
                throw Error("文档" + file_ + "已损坏：" + part.name + " 格式错误");
            part.xml = std::move(doc);  // the raw text stays: it is what a part left unchanged saves as
        }
        return *part.xml;
    }

    Part& NewXmlPart(const std::string& name, const char* rootName, const char* ns) {
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

    std::string MainPartName() {
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

    std::string MainRelsName() const {
        const std::string folder = Folder(mainName_);
        const std::string file = mainName_.substr(folder.empty() ? 0 : folder.size() + 1);
        return (folder.empty() ? "" : folder + "/") + "_rels/" + file + ".rels";
    }

    // A new document made from a template is a document, not a template.
    void MakeDocumentFromTemplate() {
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

    // The settings part, made (with its relationship and content type) when the document has none.
    Part& SettingsPart() {
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
        return NewXmlPart(name, "w:settings", kWordNamespace);
    }

    void RequireOpen() const {
        if (!open_) throw Error("文档已关闭");
    }

    // ---- bookmarks -----------------------------------------------------------------------------

    pugi::xml_node FindStart(std::string_view name) const {
        pugi::xml_node caseless;
        for (pugi::xml_node n = body_.first_child(); n; n = Following(n, body_)) {
            if (!Is(n, w_.bookmarkStart)) continue;
            const std::string_view have = n.attribute(w_.name.c_str()).value();
            if (have == name) return n;
            if (!caseless && SameIgnoringCase(have, name)) caseless = n;
        }
        return caseless;
    }

    std::pair<pugi::xml_node, pugi::xml_node> FindBookmark(std::string_view name) const {
        pugi::xml_node start = FindStart(name);
        if (!start) throw Error("文档" + file_ + "中没有书签 " + std::string(name));
        const std::string_view id = start.attribute(w_.id.c_str()).value();
        for (pugi::xml_node n = Following(start, body_); n; n = Following(n, body_))
            if (Is(n, w_.bookmarkEnd) && id == n.attribute(w_.id.c_str()).value()) return {start, n};
        throw Error("文档" + file_ + "中的书签 " + std::string(name) + " 不完整");
    }

    pugi::xml_node ParagraphOf(pugi::xml_node n) const {
        for (n = n.parent(); n && n != body_; n = n.parent())
            if (Is(n, w_.p)) return n;
        return {};
    }

    static bool Precedes(pugi::xml_node a, pugi::xml_node b) {
        for (; a; a = a.next_sibling())
            if (a == b) return true;
        return false;
    }

    bool IsMarker(pugi::xml_node n) const { return Is(n, w_.bookmarkStart) || Is(n, w_.bookmarkEnd); }

    // Markers between paragraphs are moved into the paragraph next to them, where text can go.
    void MoveIntoParagraphs(pugi::xml_node start, pugi::xml_node end, std::string_view name) const {
        if (!ParagraphOf(start)) {
            pugi::xml_node p = start.next_sibling();
            while (p && (IsMarker(p) || p.type() != pugi::node_element)) p = p.next_sibling();
            if (!Is(p, w_.p)) throw Error("书签 " + std::string(name) + " 处无法填入文字");
            pugi::xml_node pPr = p.child(w_.pPr.c_str());
            if (pPr)
                p.insert_move_after(start, pPr);
            else
                p.prepend_move(start);
        }
        if (!ParagraphOf(end)) {
            pugi::xml_node p = end.previous_sibling();
            while (p && (IsMarker(p) || p.type() != pugi::node_element)) p = p.previous_sibling();
            if (!Is(p, w_.p)) throw Error("书签 " + std::string(name) + " 处无法填入文字");
            p.append_move(end);
        }
    }

    // The formatting the new text takes: the first run inside the range, else the last run before it
    // in its paragraph, else the paragraph mark's.
    pugi::xml_node RunFormat(pugi::xml_node start, pugi::xml_node end, pugi::xml_node paragraph,
                             pugi::xml_document& scratch) const {
        for (pugi::xml_node n = Following(start, body_, false); n && n != end; n = Following(n, body_)) {
            if (Is(n, w_.r)) {
                pugi::xml_node rPr = n.child(w_.rPr.c_str());
                return rPr ? scratch.append_copy(rPr) : pugi::xml_node();
            }
        }
        pugi::xml_node last;
        for (pugi::xml_node n = paragraph.first_child(); n && n != start; n = Following(n, paragraph))
            if (Is(n, w_.r)) last = n;
        if (last) {
            pugi::xml_node rPr = last.child(w_.rPr.c_str());
            return rPr ? scratch.append_copy(rPr) : pugi::xml_node();
        }
        return MarkFormat(paragraph, scratch);
    }

    // A paragraph mark's run properties, without the revision marks that only a mark may carry.
    pugi::xml_node MarkFormat(pugi::xml_node paragraph, pugi::xml_document& scratch) const {
        pugi::xml_node rPr = paragraph.child(w_.pPr.c_str()).child(w_.rPr.c_str());
        if (!rPr) return {};
        pugi::xml_node copy = scratch.append_copy(rPr);
        for (const char* local : {"ins", "del", "moveFrom", "moveTo", "rPrChange"})
            while (copy.child(w_.Of(local).c_str())) copy.remove_child(copy.child(w_.Of(local).c_str()));
        return copy;
    }

    // Removes whatever lies strictly between the two markers, keeping copies of the bookmark markers
    // it held (other bookmarks stay, collapsed, where the text goes).
    void DeleteBetween(pugi::xml_node start, pugi::xml_node end, pugi::xml_node kept) const {
        std::set<pugi::xml_node> startChain;
        for (pugi::xml_node n = start; n; n = n.parent()) startChain.insert(n);
        pugi::xml_node common = end;
        while (common && startChain.count(common) == 0) common = common.parent();

        std::vector<pugi::xml_node> doomed;
        pugi::xml_node fromStart = start;
        for (; fromStart.parent() != common; fromStart = fromStart.parent())
            for (pugi::xml_node s = fromStart.next_sibling(); s; s = s.next_sibling()) doomed.push_back(s);
        std::vector<pugi::xml_node> endSide;
        pugi::xml_node fromEnd = end;
        for (; fromEnd.parent() != common; fromEnd = fromEnd.parent())
            for (pugi::xml_node s = fromEnd.previous_sibling(); s; s = s.previous_sibling())
                endSide.push_back(s);
        for (pugi::xml_node s = fromStart.next_sibling(); s && s != fromEnd; s = s.next_sibling())
            doomed.push_back(s);
        doomed.insert(doomed.end(), endSide.rbegin(), endSide.rend());

        for (pugi::xml_node n : doomed) {
            if (IsMarker(n)) kept.append_copy(n);
            for (pugi::xml_node d = n.first_child(); d; d = Following(d, n))
                if (IsMarker(d)) kept.append_copy(d);
            n.parent().remove_child(n);
        }
    }

    void AppendText(pugi::xml_node run, std::string_view utf8) const {
        std::string segment;
        auto flush = [&] {
            if (segment.empty()) return;
            pugi::xml_node t = run.append_child(w_.t.c_str());
            t.append_attribute("xml:space") = "preserve";
            t.text().set(segment.c_str());
            segment.clear();
        };
        const std::u32string text = CodePoints(utf8);
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char32_t c = text[i];
            if (c == U'\r' || c == U'\n' || c == U'\v') {
                flush();
                run.append_child(w_.br.c_str());
                if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
            } else if (c == U'\t') {
                flush();
                run.append_child(w_.tab.c_str());
            } else if (XmlChar(c)) {
                AppendUtf8(segment, c);
            }
        }
        flush();
    }

    void CollectText(pugi::xml_node n, pugi::xml_node start, pugi::xml_node end, bool& inside, bool& done,
                     std::string& out) const {
        if (done) return;
        if (start && n == start) {
            inside = true;
            return;
        }
        if (end && n == end) {
            done = true;
            return;
        }
        if (inside) {
            if (Is(n, w_.t)) out += n.text().get();
            if (Is(n, w_.tab)) out += '\t';
            if (Is(n, w_.br) || Is(n, w_.cr)) out += '\n';
        }
        for (pugi::xml_node c : n.children()) CollectText(c, start, end, inside, done, out);
        if (inside && !done && Is(n, w_.p)) out += '\r';
    }

    // ---- tables --------------------------------------------------------------------------------

    // The children of the given name, looking through content controls and custom XML wrappers.
    void Collect(pugi::xml_node parent, const std::string& name, std::vector<pugi::xml_node>& out) const {
        for (pugi::xml_node c : parent.children()) {
            if (Is(c, name))
                out.push_back(c);
            else if (Is(c, w_.sdt))
                Collect(c.child(w_.sdtContent.c_str()), name, out);
            else if (Is(c, w_.customXml))
                Collect(c, name, out);
        }
    }

    std::vector<pugi::xml_node> Tables() const {
        std::vector<pugi::xml_node> out;
        Collect(body_, w_.tbl, out);
        return out;
    }

    pugi::xml_node FirstOf(pugi::xml_node parent, const std::string& name) const {
        std::vector<pugi::xml_node> found;
        Collect(parent, name, found);
        return found.empty() ? pugi::xml_node() : found.front();
    }

    pugi::xml_node FirstDescendant(pugi::xml_node root, const std::string& name) const {
        for (pugi::xml_node n = root.first_child(); n; n = Following(n, root))
            if (Is(n, name)) return n;
        return {};
    }

    pugi::xml_node Cell(int table, int row, int column) const {
        const std::vector<pugi::xml_node> tables = Tables();
        if (table < 1 || table > static_cast<int>(tables.size()))
            throw Error("文档" + file_ + "中没有第 " + std::to_string(table) + " 个表格");
        std::vector<pugi::xml_node> rows;
        Collect(tables[static_cast<std::size_t>(table - 1)], w_.tr, rows);
        if (row < 1 || row > static_cast<int>(rows.size()))
            throw Error("文档" + file_ + "的第 " + std::to_string(table) + " 个表格没有第 " +
                        std::to_string(row) + " 行");
        std::vector<pugi::xml_node> cells;
        Collect(rows[static_cast<std::size_t>(row - 1)], w_.tc, cells);
        if (column < 1 || column > static_cast<int>(cells.size()))
            throw Error("文档" + file_ + "的第 " + std::to_string(table) + " 个表格第 " +
                        std::to_string(row) + " 行没有第 " + std::to_string(column) + " 列");
        return cells[static_cast<std::size_t>(column - 1)];
    }

    std::deque<Part> parts_;  // a deque, so that adding a part leaves the others where they are
    std::string file_;        // the file it was opened from, as messages name it
    std::string mainName_;
    Part* main_ = nullptr;
    Names w_;
    pugi::xml_node body_;
    bool open_ = true;
};

// ---- the engine --------------------------------------------------------------------------------

// One per process, like the word processor an automation client attaches to: what one run leaves
// open or running, the next finds.
struct Engine {
    bool running = false;
    bool available = true;
    bool visible = false;
    std::vector<std::unique_ptr<DocxDocument>> documents;  // closed ones until the next add or quit
    DocxDocument* active = nullptr;
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

bool KnownClass(std::string_view className) {
    return SameIgnoringCase(className, "word.application");
}

}  // namespace

// ---- Application -------------------------------------------------------------------------------

Application::Application() = default;
Application::~Application() = default;

int Application::ConnectToObject(std::string_view file, std::string_view className) {
    if (!KnownClass(className)) return -2;
    if (!file.empty()) return -1;  // attaching through a document file is not offered
    if (!TheEngine().running) return -5;
    connected_ = true;
    return 0;
}

int Application::ConnectToNewObject(std::string_view className) {
    if (!KnownClass(className)) return -2;
    Engine& e = TheEngine();
    if (!e.running) {
        if (!e.available) return -3;
        e.running = true;
        e.visible = false;
    }
    connected_ = true;
    return 0;
}

int Application::DisconnectObject() {
    if (!connected_) return -1;
    connected_ = false;
    return 0;
}

namespace {
Engine& Require(bool connected) {
    if (!connected) throw Error("没有连接到文字处理引擎");
    Engine& e = TheEngine();
    if (!e.running) throw Error("文字处理引擎没有运行");
    return e;
}
}  // namespace

Document& Application::DocumentsAdd(const std::string& templatePath, bool /*newTemplate*/) {
    Engine& e = Require(connected_);
    auto doc = std::make_unique<DocxDocument>(templatePath);
    std::erase_if(e.documents, [](const std::unique_ptr<DocxDocument>& d) { return !d->IsOpen(); });
    e.documents.push_back(std::move(doc));
    e.active = e.documents.back().get();
    return *e.active;
}

Document& Application::ActiveDocument() {
    Engine& e = Require(connected_);
    if (e.active == nullptr || !e.active->IsOpen()) {
        e.active = nullptr;
        for (auto it = e.documents.rbegin(); it != e.documents.rend() && e.active == nullptr; ++it)
            if ((*it)->IsOpen()) e.active = it->get();
    }
    if (e.active == nullptr) throw Error("没有打开的文档");
    return *e.active;
}

void Application::SetVisible(bool on) {
    Require(connected_).visible = on;
}

bool Application::Visible() const {
    return Require(connected_).visible;
}

std::string Application::Version() const {
    Require(connected_);
    return "12.0";
}

void Application::Quit() {
    Engine& e = Require(connected_);
    e.documents.clear();
    e.active = nullptr;
    e.running = false;
    e.visible = false;
}

int Application::DocumentsCount() const {
    const Engine& e = Require(connected_);
    return static_cast<int>(
        std::count_if(e.documents.begin(), e.documents.end(),
                      [](const std::unique_ptr<DocxDocument>& d) { return d->IsOpen(); }));
}

void Application::SetEngineAvailable(bool available) {
    TheEngine().available = available;
}

// ---- the protection hash -----------------------------------------------------------------------

std::string ProtectionHash(std::string_view password, std::string_view salt, std::uint32_t spinCount) {
    static constexpr std::array<std::uint16_t, 15> kInitialCode = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                                                   0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                                                   0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
    static constexpr std::array<std::array<std::uint16_t, 7>, 15> kMatrix = {{
        {0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09},
        {0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF},
        {0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0},
        {0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40},
        {0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5},
        {0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A},
        {0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9},
        {0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0},
        {0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC},
        {0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10},
        {0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168},
        {0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C},
        {0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD},
        {0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC},
        {0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4},
    }};

    // The password as UTF-16 code units, cut to 15, each reduced to one byte: the low byte, or
    // the high one when the low is zero.
    std::vector<std::uint8_t> bytes;
    for (char32_t cp : CodePoints(password)) {
        std::vector<std::uint16_t> units;
        if (cp >= 0x10000) {
            units = {static_cast<std::uint16_t>(0xD800 + ((cp - 0x10000) >> 10)),
                     static_cast<std::uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
        } else {
            units = {static_cast<std::uint16_t>(cp)};
        }
        for (std::uint16_t u : units)
            if (bytes.size() < 15)
                bytes.push_back(static_cast<std::uint8_t>((u & 0xFF) != 0 ? (u & 0xFF) : (u >> 8)));
    }
    std::uint32_t key = 0;
    if (!bytes.empty()) {
        const std::size_t n = bytes.size();
        std::uint16_t high = kInitialCode[n - 1];
        for (std::size_t i = 0; i < n; ++i)
            for (int bit = 0; bit < 7; ++bit)
                if ((bytes[i] >> bit) & 1) high ^= kMatrix[15 - n + i][static_cast<std::size_t>(bit)];
        std::uint16_t low = 0;
        for (std::size_t i = n; i-- > 0;)
            low = static_cast<std::uint16_t>((((low >> 14) & 1) | ((low << 1) & 0x7FFF)) ^ bytes[i]);
        low = static_cast<std::uint16_t>((((low >> 14) & 1) | ((low << 1) & 0x7FFF)) ^ n ^ 0xCE4B);
        key = (static_cast<std::uint32_t>(high) << 16) | low;
    }

    static constexpr char kHex[] = "0123456789ABCDEF";
    std::vector<unsigned char> message(salt.begin(), salt.end());
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(key >> (8 * i));
        for (char digit : {kHex[byte >> 4], kHex[byte & 15]}) {
            message.push_back(static_cast<unsigned char>(digit));
            message.push_back(0);
        }
    }
    Digest h = Sha512(message.data(), message.size());
    std::array<unsigned char, 68> round{};
    for (std::uint32_t i = 0; i < spinCount; ++i) {
        std::copy(h.begin(), h.end(), round.begin());
        for (std::size_t b = 0; b < 4; ++b) round[64 + b] = static_cast<unsigned char>(i >> (8 * b));
        h = Sha512(round.data(), round.size());
    }
    return Base64(h.data(), h.size());
}

}  // namespace rt::word

#include "runtime/formats/xml.h"

#include <expat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pugixml.hpp>
#include <system_error>

#include "runtime/platform/path.h"
#include "runtime/text/text.h"

namespace rt::xml {

namespace {

// The whole file, or nullopt with the reason.
std::optional<std::string> ReadFile(const std::string& path, long& error) {
    std::error_code ec;
    const std::filesystem::path p = FsPath(path);
    if (!std::filesystem::is_regular_file(p, ec)) {
        error = kFileNotRead;
        return std::nullopt;
    }
    const auto size = std::filesystem::file_size(p, ec);
    if (ec) {
        error = kFileNotRead;
        return std::nullopt;
    }
    if (size > kMaxFileSize) {
        error = kFileTooLarge;
        return std::nullopt;
    }
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        error = kFileNotRead;
        return std::nullopt;
    }
    std::string data(static_cast<std::size_t>(size), '\0');
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    if (static_cast<std::uintmax_t>(in.gcount()) != size) {
        error = kFileNotRead;
        return std::nullopt;
    }
    // A file that grew while it was read is judged by what was there when it was measured.
    return data;
}

// iconv for any encoding it knows, stopped as soon as the text passes its limit; nullopt with the
// reason.
std::optional<std::string> ConvertToUtf8(std::string_view in, const std::string& from, long& error) {
    Iconv converter("UTF-8", from.c_str());
    if (!converter.ok()) {
        error = kUnknownEncoding;
        return std::nullopt;
    }
    bool tooLong = false;
    std::optional<std::string> out = converter.Convert(in, kMaxTextSize, tooLong);
    if (!out) error = tooLong ? kFileTooLarge : kBadEncoding;  // else an invalid or incomplete sequence
    return out;
}

bool IsGbkName(const std::string& name) {
    static const char* const kNames[] = {"gb2312",     "gbk",     "gb18030",  "cp936",    "ms936",
                                         "x-gbk",      "euc-cn",  "x-euc-cn", "csgb2312", "windows-936",
                                         "gb_2312-80", "chinese", "csgbk"};
    return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* n) { return name == n; });
}

// The encoding that the XML declaration names, lower case; "" when there is none.
std::string DeclaredEncoding(std::string_view data) {
    if (!data.starts_with("<?xml")) return {};
    const std::size_t end = data.find("?>");
    if (end == std::string_view::npos) return {};
    const std::string_view decl = data.substr(0, end);
    std::size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return {};
    at += 8;
    while (at < decl.size() && (decl[at] == ' ' || decl[at] == '\t' || decl[at] == '\r' || decl[at] == '\n'))
        ++at;
    if (at >= decl.size() || decl[at] != '=') return {};
    ++at;
    while (at < decl.size() && (decl[at] == ' ' || decl[at] == '\t' || decl[at] == '\r' || decl[at] == '\n'))
        ++at;
    if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return {};
    const char quote = decl[at];
    const std::size_t close = decl.find(quote, at + 1);
    if (close == std::string_view::npos) return {};
    return LowerAscii(decl.substr(at + 1, close - at - 1));
}

// UTF-8 that is well-formed (no overlong forms, no surrogates) and holds only characters that
// XML 1.0 admits.
long CheckUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        std::uint32_t cp = 0;
        const std::size_t len = DecodeUtf8(s, i, cp);
        if (len == 0) return kBadEncoding;
        if ((cp < 0x20 && cp != '\t' && cp != '\n' && cp != '\r') || cp == 0xFFFE || cp == 0xFFFF)
            return kBadEncoding;
        i += len;
    }
    return 0;
}

// The document's bytes as UTF-8 without a byte-order mark, or nullopt with the reason.
std::optional<std::string> ToUtf8(std::string data, long& error) {
    auto starts = [&](std::initializer_list<unsigned char> bytes) {
        if (data.size() < bytes.size()) return false;
        std::size_t i = 0;
        for (unsigned char b : bytes)
            if (static_cast<unsigned char>(data[i++]) != b) return false;
        return true;
    };
    std::optional<std::string> out;
    if (starts({0xEF, 0xBB, 0xBF})) {
        data.erase(0, 3);
        if (data.size() > kMaxTextSize) {
            error = kFileTooLarge;
            return std::nullopt;
        }
        out = std::move(data);
    } else if (starts({0x00, 0x00, 0xFE, 0xFF}) || starts({0xFF, 0xFE, 0x00, 0x00})) {
        out = ConvertToUtf8(data, "UTF-32", error);
    } else if (starts({0xFE, 0xFF}) || starts({0xFF, 0xFE})) {
        out = ConvertToUtf8(data, "UTF-16", error);
    } else if (starts({0x00, '<', 0x00, '?'})) {
        out = ConvertToUtf8(data, "UTF-16BE", error);
    } else if (starts({'<', 0x00, '?', 0x00})) {
        out = ConvertToUtf8(data, "UTF-16LE", error);
    } else {
        const std::string declared = DeclaredEncoding(data);
        if (declared.empty() || declared == "utf-8" || declared == "utf8" || declared == "us-ascii" ||
            declared == "ascii") {
            if (data.size() > kMaxTextSize) {
                error = kFileTooLarge;
                return std::nullopt;
            }
            out = std::move(data);
        } else if (IsGbkName(declared)) {
            // GB18030 is a superset of both; files labelled GB2312 often hold GBK characters.
            out = ConvertToUtf8(data, "GB18030", error);
        } else {
            out = ConvertToUtf8(data, declared, error);
        }
    }
    if (!out) return std::nullopt;
    if (const long bad = CheckUtf8(*out); bad != 0) {
        error = bad;
        return std::nullopt;
    }
    return out;
}

// An upper bound of the nodes and attributes that parsing the text makes: every tag, comment,
// instruction and CDATA section opens with '<', every attribute holds a '='.
std::size_t Markup(std::string_view text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '<')) +
           static_cast<std::size_t>(std::count(text.begin(), text.end(), '='));
}

bool XmlChar(std::uint32_t cp) {
    return cp == '\t' || cp == '\n' || cp == '\r' || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// The parser decodes character references after the bytes were checked: each one must name a
// character that XML admits too. CDATA sections, comments and instructions hold none.
// The value of one hexadecimal or decimal digit; -1 for any other character.
int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The character reference "&#...;" or "&#x...;" at text[i]: moves i past its digits, and says
// whether it names a character that XML refuses.
bool RefusedReference(std::string_view text, std::size_t& i) {
    std::size_t j = i + 2;
    const bool hex = j < text.size() && text[j] == 'x';
    if (hex) ++j;
    std::uint32_t cp = 0;
    std::size_t digits = 0;
    for (; j < text.size(); ++j, ++digits) {
        const int d = DigitValue(text[j], hex);
        if (d < 0) break;
        cp = std::min<std::uint32_t>(cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d), 0x110000);
    }
    i = j;
    return digits > 0 && j < text.size() && text[j] == ';' && !XmlChar(cp);
}

// Moves i past a section that runs from `open` at text[i] to `close`; false when none starts there.
bool SkipSection(std::string_view text, std::size_t& i, std::string_view open, std::string_view close) {
    if (text.compare(i, open.size(), open) != 0) return false;
    const std::size_t end = text.find(close, i + open.size());
    i = end == std::string_view::npos ? text.size() : end + close.size();
    return true;
}

bool ReferencesAllowed(std::string_view text) {
    if (text.find("&#") == std::string_view::npos) return true;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '<') {
            if (SkipSection(text, i, "<![CDATA[", "]]>") || SkipSection(text, i, "<!--", "-->") ||
                SkipSection(text, i, "<?", "?>"))
                continue;
        } else if (text.compare(i, 2, "&#") == 0) {
            if (RefusedReference(text, i)) return false;
            continue;
        }
        ++i;
    }
    return true;
}

// The verdict of expat, a conforming parser, on the text: 0, kDoctypeRefused, or kMalformed for
// what the lenient parser that builds the document lets through (an undeclared entity such as
// "&nbsp;", a bare "&", an attribute given twice, "<" in an attribute value, and the like). It reads
// UTF-8 whatever the declaration says (the text was converted) and never reads a DTD.
long Conformance(std::string_view text) {
    const std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate("UTF-8"),
                                                                         XML_ParserFree);
    if (!parser) return kMalformed;
    bool doctype = false;
    XML_SetUserData(parser.get(), &doctype);
    XML_SetStartDoctypeDeclHandler(parser.get(),
                                   [](void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
                                       *static_cast<bool*>(data) = true;
                                   });
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    // In chunks: expat takes an int for the length.
    constexpr std::size_t kChunk = 1u << 20;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kChunk, text.size() - at);
        const bool last = at + n == text.size();
        if (XML_Parse(parser.get(), text.data() + at, static_cast<int>(n), last ? 1 : 0) != XML_STATUS_OK ||
            doctype)
            return doctype ? kDoctypeRefused : kMalformed;
        at += n;
    } while (at < text.size());
    return 0;
}

bool BlankText(const char* s) {
    for (; *s != '\0'; ++s)
        if (*s != ' ' && *s != '\t' && *s != '\r' && *s != '\n') return false;
    return true;
}

// Parsed as a fragment so that text beside the root element shows up as nodes to refuse (a plain
// parse drops it silently).
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_comments | pugi::parse_pi |
                                   pugi::parse_ws_pcdata | pugi::parse_doctype | pugi::parse_declaration |
                                   pugi::parse_fragment;

}  // namespace

struct Document::Impl {
    std::string text;  // parsed in place: the nodes' names and values point into it
    pugi::xml_document doc;
};

std::optional<Document> Document::Build(std::string data, long* error) {
    long code = 0;
    auto fail = [&](long c) -> std::optional<Document> {
        if (error != nullptr) *error = c;
        return std::nullopt;
    };
    if (data.size() > kMaxFileSize) return fail(kFileTooLarge);
    std::optional<std::string> utf8 = ToUtf8(std::move(data), code);
    if (!utf8) return fail(code);
    if (Markup(*utf8) > kMaxMarkup) return fail(kTooManyNodes);
    if (!ReferencesAllowed(*utf8)) return fail(kBadEncoding);
    // Judged before the parse below, which works in place and changes the text; said after it, so
    // that what that parser finds keeps its own code.
    const long conformance = Conformance(*utf8);

    auto impl = std::make_shared<Impl>();
    impl->text = std::move(*utf8);
    const pugi::xml_parse_result r = impl->doc.load_buffer_inplace(impl->text.data(), impl->text.size(),
                                                                   kParseOptions, pugi::encoding_utf8);
    if (!r) return fail(kSyntaxError + static_cast<long>(r.status));

    int elements = 0;
    for (pugi::xml_node n = impl->doc.first_child(); n; n = n.next_sibling()) {
        switch (n.type()) {
            case pugi::node_doctype:
                return fail(kDoctypeRefused);
            case pugi::node_element:
                ++elements;
                break;
            case pugi::node_pcdata:
            case pugi::node_cdata:
                if (n.type() == pugi::node_cdata || !BlankText(n.value())) return fail(kNoSingleRoot);
                break;
            default:
                break;
        }
    }
    if (elements != 1) return fail(kNoSingleRoot);
    if (conformance != 0) return fail(conformance);
    if (error != nullptr) *error = 0;
    return Document(std::move(impl));
}

std::optional<Document> Document::BuildFromFile(const std::string& path, long* error) {
    long code = 0;
    std::optional<std::string> data = ReadFile(path, code);
    if (!data) {
        if (error != nullptr) *error = code;
        return std::nullopt;
    }
    return Build(std::move(*data), error);
}

Node Document::Root() const {
    pugi::xml_node root = impl_->doc.document_element();
    return Node(std::shared_ptr<const void>(impl_, impl_.get()), root.internal_object());
}

long XMLParseFile(const std::string& path) {
    long error = 0;
    return Document::BuildFromFile(path, &error) ? 0 : error;
}

// ---- Node ------------------------------------------------------------------------------------

NodeKind Node::Kind() const {
    switch (pugi::xml_node(node_).type()) {
        case pugi::node_element:
            return NodeKind::Element;
        case pugi::node_pcdata:
            return NodeKind::Text;
        case pugi::node_cdata:
            return NodeKind::CData;
        case pugi::node_comment:
            return NodeKind::Comment;
        case pugi::node_pi:
            return NodeKind::ProcessingInstruction;
        default:
            return NodeKind::Other;
    }
}

std::string Node::Name() const {
    const pugi::xml_node n(node_);
    if (n.type() != pugi::node_element && n.type() != pugi::node_pi) return {};
    return n.name();
}

std::string Node::Text() const {
    const pugi::xml_node n(node_);
    if (n.type() != pugi::node_element) return n.value();
    std::string out;
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) out += c.value();
    return out;
}

Node Node::ChildElement(std::string_view name) const {
    const pugi::xml_node n(node_);
    if (n.type() != pugi::node_element) return {};
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && name == c.name()) return Node(doc_, c.internal_object());
    return {};
}

std::vector<Node> Node::ChildElements() const {
    std::vector<Node> out;
    const pugi::xml_node n(node_);
    if (n.type() != pugi::node_element) return out;
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element) out.push_back(Node(doc_, c.internal_object()));
    return out;
}

std::vector<Node> Node::Content() const {
    std::vector<Node> out;
    const pugi::xml_node n(node_);
    if (n.type() != pugi::node_element) return out;
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling())
        out.push_back(Node(doc_, c.internal_object()));
    return out;
}

}  // namespace rt::xml

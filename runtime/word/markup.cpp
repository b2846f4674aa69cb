#include "runtime/word/markup.h"

#include <cstdint>
#include <cstring>

#include "runtime/text/text.h"

namespace rt::word::markup {

namespace {

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

}  // namespace

Names::Names(std::string prefix)
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

std::string PrefixFor(pugi::xml_node root, const char* ns) {
    for (pugi::xml_attribute a : root.attributes()) {
        if (std::strcmp(a.value(), ns) != 0) continue;
        const std::string_view n = a.name();
        if (n == "xmlns") return "";
        if (n.substr(0, 6) == "xmlns:") return std::string(n.substr(6)) + ":";
    }
    return "w:";
}

pugi::xml_node Following(pugi::xml_node n, pugi::xml_node root, bool intoChildren) {
    if (intoChildren && n.first_child()) return n.first_child();
    while (n && n != root) {
        if (n.next_sibling()) return n.next_sibling();
        n = n.parent();
    }
    return {};
}

void Collect(const Names& w, pugi::xml_node parent, const std::string& name,
             std::vector<pugi::xml_node>& out) {
    for (pugi::xml_node c : parent.children()) {
        if (Is(c, name))
            out.push_back(c);
        else if (Is(c, w.sdt))
            Collect(w, c.child(w.sdtContent.c_str()), name, out);
        else if (Is(c, w.customXml))
            Collect(w, c, name, out);
    }
}

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

void AppendText(const Names& w, pugi::xml_node run, std::string_view utf8) {
    std::string segment;
    auto flush = [&] {
        if (segment.empty()) return;
        pugi::xml_node t = run.append_child(w.t.c_str());
        t.append_attribute("xml:space") = "preserve";
        t.text().set(segment.c_str());
        segment.clear();
    };
    // Characters that go in as they are, which is nearly all of them, are taken over in spans of
    // the text's own bytes: a well-formed character is its own encoding.
    std::size_t from = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte >= 0x20 && byte < 0x80) {
            ++i;
            continue;
        }
        // Most Chinese text: a lead byte E1 to EC and two continuation bytes are a character from
        // U+1000 to U+CFFF, every one well-formed and one that XML carries.
        if (byte >= 0xE1 && byte <= 0xEC && utf8.size() - i >= 3 &&
            (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80 &&
            (static_cast<unsigned char>(utf8[i + 2]) & 0xC0) == 0x80) {
            i += 3;
            continue;
        }
        std::uint32_t cp = 0;
        const std::size_t len = rt::DecodeUtf8(utf8, i, cp);
        const auto c = static_cast<char32_t>(cp);
        if (len > 1 && XmlChar(c)) {
            i += len;
            continue;
        }
        segment.append(utf8.substr(from, i - from));
        if (len == 0) {
            AppendUtf8(segment, U'\uFFFD');
            ++i;
        } else if (c == U'\r' || c == U'\n' || c == U'\v') {
            flush();
            run.append_child(w.br.c_str());
            i += c == U'\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n' ? 2 : 1;
        } else if (c == U'\t') {
            flush();
            run.append_child(w.tab.c_str());
            ++i;
        } else {
            i += len;  // a character that XML cannot carry is left out
        }
        from = i;
    }
    segment.append(utf8.substr(from));
    flush();
}

void CollectText(const Names& w, pugi::xml_node n, pugi::xml_node start, pugi::xml_node end, bool& inside,
                 bool& done, std::string& out) {
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
        if (Is(n, w.t)) out += n.text().get();
        if (Is(n, w.tab)) out += '\t';
        if (Is(n, w.br) || Is(n, w.cr)) out += '\n';
    }
    for (pugi::xml_node c : n.children()) CollectText(w, c, start, end, inside, done, out);
    if (inside && !done && Is(n, w.p)) out += '\r';
}

void MarkFormat(const Names& w, pugi::xml_node paragraph, pugi::xml_node into) {
    pugi::xml_node rPr = paragraph.child(w.pPr.c_str()).child(w.rPr.c_str());
    if (!rPr) return;
    pugi::xml_node copy = into.append_copy(rPr);
    for (const char* local : {"ins", "del", "moveFrom", "moveTo", "rPrChange"})
        while (copy.child(w.Of(local).c_str())) copy.remove_child(copy.child(w.Of(local).c_str()));
}

}  // namespace rt::word::markup

#include "runtime/datawindow_xml.h"

#include <cstdint>
#include <fstream>

namespace rt {

namespace {

bool NameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool ValidName(std::string_view name) {
    if (name.empty() || !NameStart(name.front())) return false;
    for (char c : name)
        if (!NameStart(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
    // Names beginning with "xml" in any case are reserved.
    return !(name.size() >= 3 && (name[0] | 0x20) == 'x' && (name[1] | 0x20) == 'm' &&
             (name[2] | 0x20) == 'l');
}

// Length of the well-formed UTF-8 sequence at s[i] (0 when it is not one) and its code point.
std::size_t Utf8At(std::string_view s, std::size_t i, std::uint32_t& cp) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

}  // namespace

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = 0;
        const std::size_t len = Utf8At(text, i, cp);
        if (len == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is no character
            ++i;
            continue;
        }
        switch (cp) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\r':
                out += "&#13;";
                break;
            case '\t':
            case '\n':
                out += static_cast<char>(cp);
                break;
            default:
                if (cp >= 0x20 && cp != 0xFFFE && cp != 0xFFFF) out.append(text.substr(i, len));
                break;
        }
        i += len;
    }
    return out;
}

int SaveAsXml(const DataWindow& dw, const std::string& path, std::string_view rootName,
              std::string_view rowName) {
    const DataWindowDef* def = dw.Definition();
    if (def == nullptr) return -1;
    const std::string root = rootName.empty() ? dw.DataObject() : std::string(rootName);
    const std::string row = rowName.empty() ? root + "_row" : std::string(rowName);
    if (!ValidName(root) || !ValidName(row)) return -1;
    for (const ColumnDef& c : def->columns)
        if (!ValidName(c.name)) return -1;

    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + root + ">\n";
    const long rows = dw.RowCount();
    for (long r = 1; r <= rows; ++r) {
        xml += "<" + row + ">";
        for (const ColumnDef& c : def->columns) {
            const Value v = dw.GetItem(r, c.name);
            if (v.IsNull()) {
                xml += "<" + c.name + "/>";
            } else {
                xml += "<" + c.name + ">" + XmlEscape(v.ToText()) + "</" + c.name + ">";
            }
        }
        xml += "</" + row + ">\n";
    }
    xml += "</" + root + ">\n";

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return -1;
    out.write(xml.data(), static_cast<std::streamsize>(xml.size()));
    out.close();
    return out ? 1 : -1;
}

}  // namespace rt

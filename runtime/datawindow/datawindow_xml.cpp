#include "runtime/datawindow/datawindow_xml.h"

#include <cstdint>
#include <fstream>

#include "runtime/datawindow/datawindow.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"

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

}  // namespace

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = 0;
        const std::size_t len = DecodeUtf8(text, i, cp);
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

    std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
    if (!out) return -1;
    out.write(xml.data(), static_cast<std::streamsize>(xml.size()));
    out.close();
    return out ? 1 : -1;
}

}  // namespace rt

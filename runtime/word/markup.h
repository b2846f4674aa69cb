#pragma once
// What the parts of the engine share about WordprocessingML: the element names under the prefix a
// part binds, walking in document order, and the text of runs, read and written.

#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace rt::word::markup {

inline constexpr const char* kWordNamespace = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

// The element and attribute names under the prefix that the part binds to the main namespace.
struct Names {
    explicit Names(std::string prefix);

    std::string Of(std::string_view local) const { return prefix_ + std::string(local); }

    std::string body, p, pPr, r, rPr, t, tab, br, cr, tbl, tr, tc, tcPr, sdt, sdtContent, customXml,
        bookmarkStart, bookmarkEnd, name, id;

  private:
    std::string prefix_;
};

// The prefix ("w:", or "" for a default namespace) the root binds to the namespace; "w:" when none.
std::string PrefixFor(pugi::xml_node root, const char* ns);

inline bool Is(pugi::xml_node n, const std::string& name) {
    return n.type() == pugi::node_element && std::strcmp(n.name(), name.c_str()) == 0;
}

// The next node in document order after n (its subtree first), or null past the end of root.
pugi::xml_node Following(pugi::xml_node n, pugi::xml_node root, bool intoChildren = true);

// The children of the given name, looking through content controls and custom XML wrappers.
void Collect(const Names& w, pugi::xml_node parent, const std::string& name,
             std::vector<pugi::xml_node>& out);

// Code points of UTF-8 text; a malformed sequence becomes U+FFFD, so nothing invalid reaches a part.
std::u32string CodePoints(std::string_view s);

// Appends the text to the run: "\r", "\n" (and "\r\n") and "\v" become line breaks, "\t" tabs;
// characters that XML cannot carry are left out.
void AppendText(const Names& w, pugi::xml_node run, std::string_view utf8);

// The text of n's subtree as range.text reads it, from just after `start` to just before `end`
// (null: from the first node, to the last); `inside` says whether the walk is past start already.
void CollectText(const Names& w, pugi::xml_node n, pugi::xml_node start, pugi::xml_node end, bool& inside,
                 bool& done, std::string& out);

// A paragraph mark's run properties, copied as the last child of `into`, without the revision marks
// that only a mark may carry; nothing when it has none.
void MarkFormat(const Names& w, pugi::xml_node paragraph, pugi::xml_node into);

}  // namespace rt::word::markup

#pragma once
// The bookmarks of the main part: finding a bookmark's range, replacing its text, reading it.
//
// The markers are found through an index made by one walk over the body the first time a bookmark
// is asked for. Nothing here ever copies a marker: a write that removes the content around other
// bookmarks moves their markers to where the new text goes, so the index stays true for the
// document's whole life.

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>

#include "runtime/word/markup.h"

namespace rt::word::bookmarks {

class Bookmarks {
  public:
    // `file` names the document in messages.
    Bookmarks(const markup::Names& w, pugi::xml_node body, std::string file);

    // The bookmark's content becomes the text; the bookmark stays around it. True when the range
    // spanned paragraphs, so that what lay between them (tables among it) is gone.
    bool SetText(std::string_view name, std::string_view text);
    bool Has(std::string_view name);
    std::string Text(std::string_view name);

  private:
    struct Range {
        pugi::xml_node start;
        pugi::xml_node end;  // null when the bookmark has none after its start
    };

    void BuildIndex();
    const Range* Find(std::string_view name);
    Range Require(std::string_view name);

    pugi::xml_node ParagraphOf(pugi::xml_node n) const;
    bool IsMarker(pugi::xml_node n) const;
    void MoveIntoParagraphs(pugi::xml_node start, pugi::xml_node end, std::string_view name) const;
    void RunFormat(pugi::xml_node start, pugi::xml_node end, pugi::xml_node paragraph,
                   pugi::xml_node run) const;
    pugi::xml_node DeleteBetween(pugi::xml_node start, pugi::xml_node end) const;

    const markup::Names& w_;
    pugi::xml_node body_;
    std::string file_;
    bool indexed_ = false;
    // By exact name, and by name in lower case; each the first bookmark in document order.
    std::unordered_map<std::string, Range> exact_;
    std::unordered_map<std::string, Range> caseless_;
};

}  // namespace rt::word::bookmarks

#pragma once
// The tables of the main part: the top-level tables in document order, their rows, and the cells of
// each row as they stand (a merged cell counting once). Where each one lies is learnt on first use
// and kept until the body changes around the tables.

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/word/markup.h"

namespace rt::word::tables {

class Tables {
  public:
    // `file` names the document in messages.
    Tables(const markup::Names& w, pugi::xml_node body, std::string file);

    // The cell's content becomes the text; the cell keeps its first paragraph's properties and the
    // bookmarks it held.
    void SetCellText(int table, int row, int column, std::string_view text);
    std::string CellText(int table, int row, int column);
    int Count();
    // The body changed beyond the cells' content: where the tables lie is learnt afresh.
    void Forget();

  private:
    struct Table {
        pugi::xml_node node;
        bool read = false;
        std::vector<std::vector<pugi::xml_node>> rows;  // the cells of each row
    };

    std::vector<Table>& All();
    pugi::xml_node Cell(int table, int row, int column);

    const markup::Names& w_;
    pugi::xml_node body_;
    std::string file_;
    bool found_ = false;
    std::vector<Table> tables_;
};

}  // namespace rt::word::tables

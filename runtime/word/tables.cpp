#include "runtime/word/tables.h"

#include "runtime/word/word.h"

namespace rt::word::tables {

using markup::Following;
using markup::Is;

namespace {

pugi::xml_node FirstOf(const markup::Names& w, pugi::xml_node parent, const std::string& name) {
    std::vector<pugi::xml_node> found;
    markup::Collect(w, parent, name, found);
    return found.empty() ? pugi::xml_node() : found.front();
}

pugi::xml_node FirstDescendant(pugi::xml_node root, const std::string& name) {
    for (pugi::xml_node n = root.first_child(); n; n = Following(n, root))
        if (Is(n, name)) return n;
    return {};
}

}  // namespace

Tables::Tables(const markup::Names& w, pugi::xml_node body, std::string file)
    : w_(w), body_(body), file_(std::move(file)) {}

void Tables::Forget() {
    found_ = false;
    tables_.clear();
}

std::vector<Tables::Table>& Tables::All() {
    if (!found_) {
        std::vector<pugi::xml_node> nodes;
        markup::Collect(w_, body_, w_.tbl, nodes);
        tables_.clear();
        for (pugi::xml_node n : nodes) tables_.push_back({n, false, {}});
        found_ = true;
    }
    return tables_;
}

int Tables::Count() {
    return static_cast<int>(All().size());
}

pugi::xml_node Tables::Cell(int table, int row, int column) {
    std::vector<Table>& tables = All();
    if (table < 1 || table > static_cast<int>(tables.size()))
        throw Error("文档" + file_ + "中没有第 " + std::to_string(table) + " 个表格");
    Table& t = tables[static_cast<std::size_t>(table - 1)];
    if (!t.read) {
        std::vector<pugi::xml_node> rows;
        markup::Collect(w_, t.node, w_.tr, rows);
        for (pugi::xml_node r : rows) {
            std::vector<pugi::xml_node> cells;
            markup::Collect(w_, r, w_.tc, cells);
            t.rows.push_back(std::move(cells));
        }
        t.read = true;
    }
    if (row < 1 || row > static_cast<int>(t.rows.size()))
        throw Error("文档" + file_ + "的第 " + std::to_string(table) + " 个表格没有第 " +
                    std::to_string(row) + " 行");
    const std::vector<pugi::xml_node>& cells = t.rows[static_cast<std::size_t>(row - 1)];
    if (column < 1 || column > static_cast<int>(cells.size()))
        throw Error("文档" + file_ + "的第 " + std::to_string(table) + " 个表格第 " + std::to_string(row) +
                    " 行没有第 " + std::to_string(column) + " 列");
    return cells[static_cast<std::size_t>(column - 1)];
}

void Tables::SetCellText(int table, int row, int column, std::string_view text) {
    pugi::xml_node tc = Cell(table, row, column);
    pugi::xml_node first = FirstOf(w_, tc, w_.p);
    // Bookmarks inside the cell survive around the new text: their markers move into the new
    // paragraph, starts before the text and ends after it.
    std::vector<pugi::xml_node> starts, ends;
    for (pugi::xml_node n = tc.first_child(); n; n = Following(n, tc)) {
        if (Is(n, w_.bookmarkStart)) starts.push_back(n);
        if (Is(n, w_.bookmarkEnd)) ends.push_back(n);
    }
    // The new paragraph goes after the old content, which goes once the paragraph's properties and
    // the first run's format are copied from it.
    pugi::xml_node p = tc.append_child(w_.p.c_str());
    if (first && first.child(w_.pPr.c_str())) p.append_copy(first.child(w_.pPr.c_str()));
    for (pugi::xml_node s : starts) p.append_move(s);
    if (!text.empty()) {
        pugi::xml_node run = p.append_child(w_.r.c_str());
        if (pugi::xml_node from = first ? FirstDescendant(first, w_.r) : pugi::xml_node()) {
            if (pugi::xml_node rPr = from.child(w_.rPr.c_str())) run.append_copy(rPr);
        } else if (first) {
            markup::MarkFormat(w_, first, run);
        }
        markup::AppendText(w_, run, text);
    }
    for (pugi::xml_node e : ends) p.append_move(e);
    for (pugi::xml_node c = tc.first_child(); c != p;) {
        pugi::xml_node next = c.next_sibling();
        if (!Is(c, w_.tcPr)) tc.remove_child(c);
        c = next;
    }
}

std::string Tables::CellText(int table, int row, int column) {
    pugi::xml_node tc = Cell(table, row, column);
    std::string out;
    bool inside = true;
    bool done = false;
    for (pugi::xml_node c : tc.children()) markup::CollectText(w_, c, {}, {}, inside, done, out);
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return out;
}

}  // namespace rt::word::tables

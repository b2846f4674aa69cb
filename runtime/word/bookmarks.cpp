#include "runtime/word/bookmarks.h"

#include <cstring>
#include <set>
#include <vector>

#include "runtime/text/text.h"
#include "runtime/word/word.h"

namespace rt::word::bookmarks {

using markup::Following;
using markup::Is;

namespace {

bool Precedes(pugi::xml_node a, pugi::xml_node b) {
    for (; a; a = a.next_sibling())
        if (a == b) return true;
    return false;
}

}  // namespace

Bookmarks::Bookmarks(const markup::Names& w, pugi::xml_node body, std::string file)
    : w_(w), body_(body), file_(std::move(file)) {}

namespace {

// The bookmark markers of a subtree in document order. The tree library walks the nodes itself:
// a step through its node handles cost several calls a node, and the body of a form has thousands.
class Markers : public pugi::xml_tree_walker {
  public:
    explicit Markers(const markup::Names& w) : start_(w.bookmarkStart.c_str()), end_(w.bookmarkEnd.c_str()) {}

    bool for_each(pugi::xml_node& n) override {
        const char* name = n.name();
        if (std::strcmp(name, start_) == 0 || std::strcmp(name, end_) == 0) {
            if (n.type() == pugi::node_element) found.push_back(n);
        }
        return true;
    }

    std::vector<pugi::xml_node> found;

  private:
    const char* start_;
    const char* end_;
};

}  // namespace

// Each start takes the first end with its id that follows it in document order.
void Bookmarks::BuildIndex() {
    Markers markers(w_);
    body_.traverse(markers);
    std::vector<std::pair<std::string, pugi::xml_node>> starts;
    std::unordered_map<const pugi::xml_node_struct*, pugi::xml_node> endOf;
    std::unordered_map<std::string, std::vector<pugi::xml_node>> waiting;  // starts without an end yet, by id
    for (pugi::xml_node n : markers.found) {
        if (Is(n, w_.bookmarkStart)) {
            starts.emplace_back(n.attribute(w_.name.c_str()).value(), n);
            waiting[n.attribute(w_.id.c_str()).value()].push_back(n);
        } else {
            auto it = waiting.find(n.attribute(w_.id.c_str()).value());
            if (it == waiting.end()) continue;
            for (pugi::xml_node s : it->second) endOf.emplace(s.internal_object(), n);
            waiting.erase(it);
        }
    }
    for (const auto& [name, start] : starts) {
        const auto end = endOf.find(start.internal_object());
        const Range range{start, end == endOf.end() ? pugi::xml_node() : end->second};
        exact_.emplace(name, range);
        caseless_.emplace(LowerAscii(name), range);
    }
    indexed_ = true;
}

const Bookmarks::Range* Bookmarks::Find(std::string_view name) {
    if (!indexed_) BuildIndex();
    if (auto it = exact_.find(std::string(name)); it != exact_.end()) return &it->second;
    if (auto it = caseless_.find(LowerAscii(name)); it != caseless_.end()) return &it->second;
    return nullptr;
}

Bookmarks::Range Bookmarks::Require(std::string_view name) {
    const Range* range = Find(name);
    if (range == nullptr) throw Error("文档" + file_ + "中没有书签 " + std::string(name));
    if (!range->end) throw Error("文档" + file_ + "中的书签 " + std::string(name) + " 不完整");
    return *range;
}

bool Bookmarks::Has(std::string_view name) {
    return Find(name) != nullptr;
}

std::string Bookmarks::Text(std::string_view name) {
    const auto [start, end] = Require(name);
    std::string out;
    bool inside = false;
    bool done = false;
    markup::CollectText(w_, body_, start, end, inside, done, out);
    return out;
}

bool Bookmarks::SetText(std::string_view name, std::string_view text) {
    const auto [start, end] = Require(name);
    MoveIntoParagraphs(start, end, name);
    pugi::xml_node ps = ParagraphOf(start);
    pugi::xml_node pe = ParagraphOf(end);
    if (ps.parent() != pe.parent() || !Precedes(ps, pe))
        throw Error("书签 " + std::string(name) + " 跨越表格单元格，无法填入文字");

    // The new run is made before the range goes, outside it, with the formatting of the run it
    // takes after copied in; it moves to its place once the range is gone.
    pugi::xml_node run;
    if (!text.empty()) {
        run = start.parent().insert_child_before(w_.r.c_str(), start);
        RunFormat(start, end, ps, run);
    }
    pugi::xml_node at = DeleteBetween(start, end);
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
    if (run) {
        start.parent().insert_move_after(run, at);
        markup::AppendText(w_, run, text);
    }
    return ps != pe;
}

pugi::xml_node Bookmarks::ParagraphOf(pugi::xml_node n) const {
    for (n = n.parent(); n && n != body_; n = n.parent())
        if (Is(n, w_.p)) return n;
    return {};
}

bool Bookmarks::IsMarker(pugi::xml_node n) const {
    return Is(n, w_.bookmarkStart) || Is(n, w_.bookmarkEnd);
}

// Markers between paragraphs are moved into the paragraph next to them, where text can go.
void Bookmarks::MoveIntoParagraphs(pugi::xml_node start, pugi::xml_node end, std::string_view name) const {
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

// The formatting the new text takes, copied into `run`: the first run inside the range, else the
// last run before it in its paragraph, else the paragraph mark's.
void Bookmarks::RunFormat(pugi::xml_node start, pugi::xml_node end, pugi::xml_node paragraph,
                          pugi::xml_node run) const {
    for (pugi::xml_node n = Following(start, body_, false); n && n != end; n = Following(n, body_)) {
        if (Is(n, w_.r)) {
            if (pugi::xml_node rPr = n.child(w_.rPr.c_str())) run.append_copy(rPr);
            return;
        }
    }
    pugi::xml_node last;
    for (pugi::xml_node n = paragraph.first_child(); n && n != start; n = Following(n, paragraph))
        if (Is(n, w_.r) && n != run) last = n;
    if (last) {
        if (pugi::xml_node rPr = last.child(w_.rPr.c_str())) run.append_copy(rPr);
        return;
    }
    markup::MarkFormat(w_, paragraph, run);
}

// Removes whatever lies strictly between the two markers. The markers of other bookmarks it held
// are moved, in their order, to just after the start, where they stand collapsed around nothing
// once the text goes in after them. Returns the last of them, or the start.
pugi::xml_node Bookmarks::DeleteBetween(pugi::xml_node start, pugi::xml_node end) const {
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
        for (pugi::xml_node s = fromEnd.previous_sibling(); s; s = s.previous_sibling()) endSide.push_back(s);
    for (pugi::xml_node s = fromStart.next_sibling(); s && s != fromEnd; s = s.next_sibling())
        doomed.push_back(s);
    doomed.insert(doomed.end(), endSide.rbegin(), endSide.rend());

    std::vector<pugi::xml_node> kept;
    for (pugi::xml_node n : doomed) {
        if (IsMarker(n)) {
            kept.push_back(n);
            continue;
        }
        for (pugi::xml_node d = n.first_child(); d; d = Following(d, n))
            if (IsMarker(d)) kept.push_back(d);
    }
    pugi::xml_node at = start;
    for (pugi::xml_node m : kept) at = start.parent().insert_move_after(m, at);
    for (pugi::xml_node n : doomed)
        if (!IsMarker(n)) n.parent().remove_child(n);
    return at;
}

}  // namespace rt::word::bookmarks

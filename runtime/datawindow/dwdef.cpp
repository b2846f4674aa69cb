#include "runtime/datawindow/dwdef.h"

#include <algorithm>
#include <map>
#include <string>

#include "runtime/text/text.h"

namespace rt {

namespace {

// Function-local so that definitions registered from other translation units' static initialisers
// never meet an unconstructed map. std::map keeps element addresses stable across insertions, so a
// pointer handed out by FindDefinition stays valid until that name is registered again.
std::map<std::string, DataWindowDef, std::less<>>& Registry() {
    static std::map<std::string, DataWindowDef, std::less<>> registry;
    return registry;
}

}  // namespace

std::size_t ByteLimit(const ColumnDef& c) {
    if (c.type != ColType::Char) return 0;
    if (c.limit > 0 && c.length > 0) return static_cast<std::size_t>(std::min(c.limit, c.length));
    return static_cast<std::size_t>(std::max({c.limit, c.length, 0}));
}

const ColumnDef* DataWindowDef::Column(std::string_view name) const {
    for (const ColumnDef& c : columns) {
        if (SameName(c.name, name)) return &c;
    }
    return nullptr;
}

int DataWindowDef::ColumnNumber(std::string_view name) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (SameName(columns[i].name, name)) return static_cast<int>(i) + 1;
    }
    return 0;
}

const std::string* ColumnDef::CodeDisplay(std::string_view data) const {
    for (const CodeEntry& e : codes)
        if (e.data == data) return &e.display;
    for (const CodeEntry& e : codes)
        if (WithoutTrailingBlanks(e.data) == WithoutTrailingBlanks(data)) return &e.display;
    return nullptr;
}

const ComputeDef* DataWindowDef::Compute(std::string_view name) const {
    for (const ComputeDef& c : computes) {
        if (SameName(c.name, name)) return &c;
    }
    return nullptr;
}

void RegisterDefinition(DataWindowDef def) {
    auto& registry = Registry();
    std::string key = LowerAscii(def.name);
    registry.insert_or_assign(std::move(key), std::move(def));
}

const DataWindowDef* FindDefinition(std::string_view name) {
    const auto& registry = Registry();
    auto it = registry.find(LowerAscii(name));
    return it == registry.end() ? nullptr : &it->second;
}

}  // namespace rt

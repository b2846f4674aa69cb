#pragma once
// The DataWindow engine's own parts, one concern to a file; the application uses datawindow.h only.
//
// The compiled object: a definition, copied so that a later registration of the same name cannot
// change it underfoot, with what the engine derives from it once: the names it writes, its key,
// its edit masks, its SELECT with '?' markers and the columns its sums add up. Column indexes
// count from 0 here.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datawindow/dwdef.h"
#include "runtime/datawindow/editmask.h"
#include "runtime/text/value.h"

namespace rt::dw {

// A value converted to a column's (or argument's) type; nullopt when it does not convert. Null
// stays null.
std::optional<Value> ConvertTo(ColType type, const Value& v);

// A fetched value in the column's type. The database hands back what its column holds; a value
// that does not convert (text in a number column) is kept as text rather than lost.
Value FromDatabase(ColType type, Value&& v);

// "char(5)", "date", "decimal(2)", "long", "real".
std::string ColTypeText(const ColumnDef& c);

// For reading the expressions of an object (its sums) and of Describe: the text without blanks and
// tabs at its ends, and whether it starts with `prefix` without regard to case.
std::string_view TrimView(std::string_view s);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);

struct CompiledObject {
    explicit CompiledObject(DataWindowDef d);

    DataWindowDef def;
    // Per column: the bare name that INSERT, UPDATE and WHERE use ("" for an expression), and the
    // edit mask (empty unless the column edits through one).
    std::vector<std::string> writeNames;
    std::vector<EditMask> masks;
    std::vector<int> keys;           // the key's columns
    std::vector<int> computeColumn;  // per compute: the column it sums, or -1
    std::string selectSql;           // the SELECT with '?' for the ":name" markers
    std::vector<int> selectArgs;     // per marker: the argument's index, -1 for an unknown name
    bool selectOk = true;            // every marker names an argument

    int ColumnCount() const { return static_cast<int>(def.columns.size()); }
    bool ValidCol(int c) const { return c >= 0 && c < ColumnCount(); }
    const ColumnDef& Column(int c) const { return def.columns[static_cast<std::size_t>(c)]; }
    // The index of a column name, without regard to case; -1 when there is none.
    int Col(std::string_view name) const;
    // A column the cursor can reach, and one that also takes input.
    bool Focusable(int c) const { return ValidCol(c) && Column(c).tabOrder > 0; }
    bool TakesInput(int c) const { return Focusable(c) && !Column(c).displayOnly; }
    // Whether a row can be found by its key: there is one, and every key column is a plain column.
    bool KeysWritable() const;
    // The column the cursor starts in, first in the tab order, counted from 1; 0 when none.
    int FirstTabStop() const;
};

}  // namespace rt::dw

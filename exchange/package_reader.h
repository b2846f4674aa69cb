#pragma once
// Reading an exchange package that arrives from outside: which archive entries are unpacked, and
// how one member is read into rows whose every written value has been checked against its column.
//
// A member's rows are the row elements under its root; a row's columns are its element children,
// by position in the exporting view's column order. Blank text, comments and processing
// instructions between columns are ignored (a pretty-printer adds them); any other content, a
// wrong number of columns, a value that does not fit its column or a key that the pages could not
// have made refuses the member with a reason that names the row and the column.

#include <string>
#include <vector>

#include "runtime/formats/zip.h"
#include "runtime/text/value.h"

namespace laurel::exchange {

// A column that the import writes, by its position in the row.
struct Column {
    enum class Rule {
        None,
        Key,          // xm_id: not empty, and the package's own key in every member
        Number,       // a list's running number: row n holds n
        Year,         // four digits
        Flag,         // "0" or "1"
        OptionalFlag  // "0", "1" or empty (a check box never touched)
    };
    const char* name;
    int pos;
    Rule rule = Rule::None;
};

// One member: where it is read from, which view wrote it, and where its rows go.
struct MemberFormat {
    const char* file;    // "xm_ry.xml"
    const char* object;  // the export view: its columns are the member's, in order, with their types
    const char* table;   // as the statements spell it
    std::vector<Column> keys;
    std::vector<Column> set;
    // The most rows the pages make: the list's limit; for the benefit rows, per kind.
    int maxRows = 1;
    bool perKind = false;
};

extern const MemberFormat kBaseFormat;
extern const MemberFormat kRyFormat;
extern const MemberFormat kDwFormat;
extern const MemberFormat kXyFormat;
extern const MemberFormat kHjFormat;
extern const MemberFormat kYyFormat;
extern const MemberFormat kZlFormat;

// One row by position: each written value in the text form the database stores (dates
// "YYYY-MM-DD", numbers in plain digits), null for an empty date or number; positions that are not
// written are null.
using Row = std::vector<rt::Value>;

struct MemberRows {
    std::vector<Row> rows;
    std::string refusal;  // why the member cannot be imported; "" when it can
};

// Reads the member file. `key`: the xm_id that every row must carry; "" takes each row's own. The
// project member's one row is its root's first "xm_base_row" element.
MemberRows ReadMember(const std::string& path, const MemberFormat& format, const std::string& key = {});

// Sets the zip component to unpack the seven members of the package `archive`, matched by name
// without regard to case wherever the archive stores them, and nothing else, into `folder`.
void SetUpUnpacking(rt::Zip& zip, const std::string& archive, const std::string& folder);

}  // namespace laurel::exchange

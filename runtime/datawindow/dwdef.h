#pragma once
// Declarative definitions of DataWindow objects: what a DataWindow selects, how it writes back,
// and how each column is labelled, edited and shown. Definitions are plain data; the engine
// (datawindow.h) and the view read them. Positions and sizes are in layout units
// (x px = x * 7 / 32, y px = y / 4 at 96 dpi).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text/text.h"

namespace rt {

enum class ColType { Char, Date, Decimal, Long, Real };

enum class Presentation { Freeform, Grid, Tabular };

enum class EditStyle {
    Edit,          // free text up to its limit; with `lines` > 1 a multi-line box
    EditMask,      // input through `mask`
    DropDownList,  // `codes`: display text shown, data value stored
    DropDownDW,    // another DataWindow object: `dddwObject`, `dddwDisplay`, `dddwData`
    CheckBox,      // `checkOn` / `checkOff`
};

enum class Align { Left, Center, Right };

enum class Band { Header, Detail, Summary, Footer };

struct CodeEntry {
    std::string display;  // exact text, blanks included
    std::string data;     // stored value
};

struct ArgumentDef {
    std::string name;  // "current", "current_ry"
    ColType type = ColType::Char;
};

struct ColumnDef {
    std::string name;    // column name as the application addresses it (lower case)
    std::string dbName;  // expression in the SELECT list: "j_xm_base.xm_id", "max(j_xm_base.xm_id)"
    ColType type = ColType::Char;
    int length = 0;  // char(n): n bytes of GBK text; 0 for other types

    bool key = false;
    bool updatable = false;

    // Presentation
    std::string label;  // text of the label beside or above the field, or the grid heading
    EditStyle edit = EditStyle::Edit;
    int limit = 0;       // edit limit in GBK bytes; 0: bounded by the column length only
    std::string mask;    // edit mask: "#### ##aa", "yyyy-mm", "###,###.00"
    std::string format;  // display format; "" the default
    Align align = Align::Left;
    int tabOrder = 0;          // 0: no tab stop (the field cannot take the cursor)
    bool displayOnly = false;  // shows the value and takes the cursor, but takes no input
    bool visible = true;
    int lines = 1;    // > 1: a multi-line box of that many lines
    std::string tag;  // micro-help text

    std::vector<CodeEntry> codes;  // DropDownList
    // The display text of a stored code in `codes`: the exact code first, then the code without
    // trailing blanks, as a database with fixed-width character columns hands it back ("4    " for
    // "4"). nullptr when the list lacks it.
    const std::string* CodeDisplay(std::string_view data) const;
    std::string dddwObject, dddwDisplay, dddwData;  // DropDownDW
    std::string checkOn, checkOff;                  // CheckBox

    // Current-row highlight: background rgb(230,230,230) on the current row, white elsewhere.
    bool currentRowGrey = false;

    int x = 0, y = 0, width = 0, height = 0;  // in its band (Detail for the row's fields)
    // Where a freeform form draws `label` (in the detail band); a grid puts it in the header above
    // the column instead and ignores these.
    int labelX = 0, labelY = 0, labelWidth = 0, labelHeight = 0;
    // Where `label` alone does not say which field this is: the fixed text (by its name) that
    // labels the field or its group of fields, and the field's place in that group when several
    // fields share one label ("t_2" and "1" make the first subject's code "学科分类 1 代码").
    std::string labelText;
    std::string place;
};

// The bytes of GBK text a character column takes, typed or validated alike: its edit limit, capped
// by its length; 0 for no limit or a column of another type.
std::size_t ByteLimit(const ColumnDef& c);

// A computed field such as "sum(xy_addvalue for all)".
struct ComputeDef {
    std::string name;        // "compute_1"
    std::string expression;  // as written
    std::string format;      // display format
    Band band = Band::Summary;
    Align align = Align::Right;
    int x = 0, y = 0, width = 0, height = 0;
};

// A fixed text of the object that is not a column's own label: group labels, headings, captions,
// units after a field.
struct TextDef {
    std::string name;  // "t_1", or "<column>_t" for a column's label
    std::string text;
    Band band = Band::Detail;
    Align align = Align::Left;
    int x = 0, y = 0, width = 0, height = 0;
    bool bold = false;
};

// A frame line of a freeform form (the cell borders of the printed form).
struct LineDef {
    Band band = Band::Detail;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct DataWindowDef {
    std::string name;  // "dw_1"
    Presentation presentation = Presentation::Freeform;

    // The SELECT as the object issues it, with retrieval arguments as ":name" markers. The engine
    // binds them in order of appearance; nothing is pasted in.
    std::string select;
    std::vector<ArgumentDef> arguments;

    // Write-back. An empty updateTable makes the object read-only.
    std::string updateTable;

    std::vector<ColumnDef> columns;  // in the order of the SELECT list
    std::vector<ComputeDef> computes;
    std::vector<TextDef> texts;
    std::vector<LineDef> lines;

    // Band heights and the object's width, in layout units.
    int headerHeight = 0;
    int detailHeight = 0;
    int summaryHeight = 0;
    int footerHeight = 0;
    int width = 0;

    // Case-insensitive lookups; nullptr / 0 when absent. Column numbers count from 1.
    const ColumnDef* Column(std::string_view name) const;
    int ColumnNumber(std::string_view name) const;
    const ComputeDef* Compute(std::string_view name) const;
};

// The library of definitions that SetDataObject looks names up in. The schema registers its
// objects at start-up; a later registration of the same name replaces the earlier one.
void RegisterDefinition(DataWindowDef def);
const DataWindowDef* FindDefinition(std::string_view name);

}  // namespace rt

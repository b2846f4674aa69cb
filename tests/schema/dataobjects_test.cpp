// The DataWindow definitions checked as data (SELECTs against their column lists, write access,
// column types against the tables, code lists, layouts) and then run against a real database.

#include "schema/dataobjects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/transaction.h"
#include "runtime/datawindow/dwdef.h"
#include "runtime/text/text.h"
#include "runtime/text/value.h"
#include "tests/support/testdb.h"

namespace {

using rt::ColType;
using Names = std::vector<std::string>;

const Names kAllObjects = {
    "dw",    "dw_1",  "dw_2",  "dw_3",  "dw_4",  "dw_51",       "dw_512",       "dw_52", "dw_522", "dw_53",
    "dw_6",  "dw_71", "dw_72", "dw_81", "dw_82", "dw_91",       "dw_92",        "dw_93", "dw_94",  "dw_base",
    "dw_dw", "dw_ry", "dw_xy", "dw_yy", "dw_zl", "dw_getaward", "dw_recomdept", "dw_xk", "dw_max",
};

const rt::DataWindowDef* Find(std::string_view name) {
    static const bool registered = [] {
        schema::RegisterDataObjects();
        return true;
    }();
    (void)registered;
    return rt::FindDefinition(name);
}

std::vector<const rt::DataWindowDef*> AllRegistered() {
    std::vector<const rt::DataWindowDef*> out;
    for (const std::string& name : kAllObjects) {
        if (const rt::DataWindowDef* d = Find(name)) out.push_back(d);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// The tables as the shipped schema makes them, read back from a new database: the definitions are
// held against those, column by column.

struct TableColumn {
    std::string name;
    ColType type = ColType::Char;
    int length = 0;  // varchar(n): n bytes of GBK text
    bool key = false;
};
using Table = std::vector<TableColumn>;

TableColumn Declared(std::string name, std::string type, bool key) {
    for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    TableColumn out{std::move(name), ColType::Char, 0, key};
    if (type.rfind("varchar(", 0) == 0) {
        out.length = std::stoi(type.substr(8));
    } else if (type == "date") {
        out.type = ColType::Date;
    } else if (type.rfind("decimal(", 0) == 0) {
        out.type = ColType::Decimal;
    } else if (type == "integer") {
        out.type = ColType::Long;
    } else if (type == "double precision") {
        out.type = ColType::Real;
    } else {
        ADD_FAILURE() << out.name << " has a type no definition can show: " << type;
    }
    return out;
}

// Each back end reports its tables in its own catalogue; both give, per column in the table's order,
// its table, its name, its declared type spelt as the schema spells it, and 1 when it belongs to the
// primary key (0 when not).
using Reported = std::vector<std::vector<rt::Value>>;

Reported ReportedBySqlite(rt::Transaction& t) {
    Reported rows;
    EXPECT_EQ(
        t.Query("SELECT m.name, c.name, c.type, c.pk <> 0 FROM sqlite_master m, pragma_table_info(m.name) c "
                "WHERE m.type = 'table' ORDER BY m.name, c.cid",
                {}, rows),
        0)
        << t.SQLErrText;
    return rows;
}

Reported ReportedByPostgresql(rt::Transaction& t) {
    Reported rows;
    EXPECT_EQ(
        t.Query("SELECT c.table_name, c.column_name, c.data_type, c.character_maximum_length, "
                "c.numeric_precision, c.numeric_scale, CASE WHEN k.column_name IS NULL THEN 0 ELSE 1 END "
                "FROM information_schema.columns c "
                "LEFT JOIN information_schema.table_constraints p ON p.table_schema = c.table_schema "
                "AND p.table_name = c.table_name AND p.constraint_type = 'PRIMARY KEY' "
                "LEFT JOIN information_schema.key_column_usage k ON k.constraint_schema = "
                "p.constraint_schema AND k.constraint_name = p.constraint_name AND k.column_name = "
                "c.column_name "
                "WHERE c.table_schema = current_schema() ORDER BY c.table_name, c.ordinal_position",
                {}, rows),
        0)
        << t.SQLErrText;
    for (auto& r : rows) {
        const std::string type = r[2].ToText();
        if (type == "character varying") {
            r[2] = rt::Value("varchar(" + r[3].ToText() + ")");
        } else if (type == "numeric") {
            r[2] = rt::Value("decimal(" + r[4].ToText() + "," + r[5].ToText() + ")");
        }
        r = {r[0], r[1], r[2], r[6]};
    }
    return rows;
}

const std::map<std::string, Table>& Tables() {
    static const std::map<std::string, Table> tables = [] {
        std::map<std::string, Table> out;
        const testing_support::TestDatabase db;
        rt::Transaction t;
        db.Connect(t);
        const Reported rows =
            testing_support::ScratchDatabase::OnPostgreSQL() ? ReportedByPostgresql(t) : ReportedBySqlite(t);
        for (const auto& r : rows)
            out[r[0].ToText()].push_back(Declared(r[1].ToText(), r[2].ToText(), r[3].ToText() == "1"));
        t.Disconnect();
        return out;
    }();
    return tables;
}

const TableColumn* TableColumnOf(const std::string& table, const std::string& column) {
    auto t = Tables().find(table);
    if (t == Tables().end()) return nullptr;
    for (const TableColumn& c : t->second) {
        if (c.name == column) return &c;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// A little SQL reading: enough to take the definitions' SELECTs apart.

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::string Trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return std::string(s.substr(b, e - b));
}

std::string Unquoted(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c != '"') out += c;
    }
    return out;
}

// Position of `word` (upper case, surrounded by blanks) at the top level: outside quotes and
// parentheses. npos when absent.
std::size_t FindTopLevel(const std::string& sql, const std::string& word, std::size_t from = 0) {
    const std::string upper = Upper(sql);
    int depth = 0;
    char quote = 0;
    for (std::size_t i = from; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (depth == 0 && upper.compare(i, word.size(), word) == 0) {
            return i;
        }
    }
    return std::string::npos;
}

struct ParsedSelect {
    bool ok = false;
    bool distinct = false;
    Names list;  // expressions as written
    std::string from;
    std::string rest;  // WHERE ... ORDER BY ...
};

ParsedSelect Parse(const std::string& sql) {
    ParsedSelect p;
    std::string s = Trimmed(sql);
    if (Upper(s.substr(0, 7)) != "SELECT ") return p;
    std::size_t begin = 7;
    if (Upper(s.substr(begin, 9)) == "DISTINCT ") {
        p.distinct = true;
        begin += 9;
    }
    const std::size_t from = FindTopLevel(s, " FROM ", begin);
    if (from == std::string::npos) return p;
    const std::string list = s.substr(begin, from - begin);
    int depth = 0;
    std::string item;
    for (char c : list) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == ',' && depth == 0) {
            p.list.push_back(Trimmed(item));
            item.clear();
        } else {
            item += c;
        }
    }
    p.list.push_back(Trimmed(item));
    std::string tail = s.substr(from + 6);
    const std::size_t end = tail.find(' ');
    p.from = Unquoted(tail.substr(0, end));
    p.rest = end == std::string::npos ? "" : Trimmed(tail.substr(end));
    p.ok = true;
    return p;
}

bool IdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// ":name" markers outside string literals, in order of appearance; `at` receives where each is.
Names Markers(const std::string& sql, std::vector<std::size_t>* at = nullptr) {
    Names out;
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ':') {
            std::size_t j = i + 1;
            while (j < sql.size() && IdentChar(sql[j])) ++j;
            out.push_back(sql.substr(i + 1, j - i - 1));
            if (at) at->push_back(i);
            i = j - 1;
        }
    }
    return out;
}

std::string Positional(const std::string& sql) {
    std::string out;
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote) {
            if (c == quote) quote = 0;
            out += c;
            continue;
        }
        if (c == '\'' || c == '"') quote = c;
        if (c == ':') {
            std::size_t j = i + 1;
            while (j < sql.size() && IdentChar(sql[j])) ++j;
            out += '?';
            i = j - 1;
            continue;
        }
        out += c;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------

TEST(DataObjects, AllTwentyNineResolveUnderTheirNames) {
    for (const std::string& name : kAllObjects) {
        const rt::DataWindowDef* d = Find(name);
        ASSERT_NE(d, nullptr) << name;
        EXPECT_EQ(d->name, name);
        EXPECT_EQ(Find(Upper(name)), d) << "names are looked up without regard to case";
    }
    EXPECT_EQ(Find("dw_5"), nullptr);
}

TEST(DataObjects, SelectListsMatchColumnsAndMarkersMatchArguments) {
    for (const rt::DataWindowDef* d : AllRegistered()) {
        SCOPED_TRACE(d->name);
        const ParsedSelect p = Parse(d->select);
        ASSERT_TRUE(p.ok) << d->select;
        ASSERT_EQ(p.list.size(), d->columns.size()) << d->select;
        for (std::size_t i = 0; i < p.list.size(); ++i) {
            EXPECT_EQ(p.list[i], d->columns[i].dbName) << "column " << i;
        }

        std::set<std::string> declared;
        for (const rt::ArgumentDef& a : d->arguments) {
            EXPECT_TRUE(declared.insert(a.name).second) << "argument declared twice: " << a.name;
        }
        std::set<std::string> used;
        for (const std::string& m : Markers(d->select)) {
            EXPECT_TRUE(declared.count(m)) << "marker :" << m << " has no argument";
            used.insert(m);
        }
        EXPECT_EQ(used, declared) << "every argument restricts the rows";

        // Column names are unique, so that addressing a column by name is never ambiguous.
        std::set<std::string> names;
        for (const rt::ColumnDef& c : d->columns) {
            EXPECT_TRUE(names.insert(c.name).second) << "column twice: " << c.name;
        }
    }
}

TEST(DataObjects, EveryColumnIsATableColumnOfItsTypeAndNoWider) {
    for (const rt::DataWindowDef* d : AllRegistered()) {
        SCOPED_TRACE(d->name);
        const ParsedSelect p = Parse(d->select);
        ASSERT_TRUE(p.ok);
        ASSERT_TRUE(Tables().count(p.from)) << "reads an unknown table: " << p.from;
        for (const rt::ColumnDef& c : d->columns) {
            if (c.dbName.find('(') != std::string::npos) continue;  // a computed column
            EXPECT_EQ(Unquoted(c.dbName), p.from + "." + c.name) << c.name;
            const TableColumn* t = TableColumnOf(p.from, c.name);
            ASSERT_NE(t, nullptr) << c.name << " is not a column of " << p.from;
            EXPECT_EQ(c.type, t->type) << c.name;
            // A definition may hold a text narrower than its column, never wider: what it took in
            // would not fit.
            if (c.type == ColType::Char) {
                EXPECT_GT(c.length, 0) << c.name;
                EXPECT_LE(c.length, t->length) << c.name;
            } else {
                EXPECT_EQ(c.length, 0) << c.name;
            }
        }
    }
}

TEST(DataObjects, WritersFindTheirRowsByTheTablesKeyAndWriteWhatTheyTakeIn) {
    for (const rt::DataWindowDef* d : AllRegistered()) {
        SCOPED_TRACE(d->name);
        const std::string table = Parse(d->select).from;
        std::set<std::string> keys, tableKeys;
        for (const rt::ColumnDef& c : d->columns)
            if (c.key) keys.insert(c.name);
        if (d->updateTable.empty()) {
            EXPECT_TRUE(keys.empty());
            for (const rt::ColumnDef& c : d->columns) EXPECT_FALSE(c.updatable) << c.name;
            continue;
        }
        EXPECT_EQ(d->updateTable, table) << "writes another table than it reads";
        ASSERT_TRUE(Tables().count(table));
        for (const TableColumn& c : Tables().at(table))
            if (c.key) tableKeys.insert(c.name);
        EXPECT_EQ(keys, tableKeys) << "an update or delete would miss its row or hit others";
        for (const rt::ColumnDef& c : d->columns) {
            if (c.visible && c.tabOrder > 0 && !c.displayOnly) {
                EXPECT_TRUE(c.updatable) << c.name << " takes input that is never written";
            }
        }
    }
}

// The column that each ":name" marker is compared with ("j_ry_finish.ry_no = :current_ry").
std::string ComparedWith(const std::string& sql, std::size_t marker) {
    std::size_t at = sql.rfind('=', marker);
    if (at == std::string::npos) return "";
    while (at > 0 && sql[at - 1] == ' ') --at;
    std::size_t begin = at;
    while (begin > 0 && (IdentChar(sql[begin - 1]) || sql[begin - 1] == '.' || sql[begin - 1] == '"'))
        --begin;
    return Unquoted(sql.substr(begin, at - begin));
}

TEST(DataObjects, ArgumentsBindInTheirOrderAndHaveTheTypeOfTheirColumn) {
    for (const rt::DataWindowDef* d : AllRegistered()) {
        SCOPED_TRACE(d->name);
        // Arguments bind in order of appearance, which must be the declared order.
        Names markers = Markers(d->select);
        markers.erase(std::unique(markers.begin(), markers.end()), markers.end());
        Names declared;
        for (const rt::ArgumentDef& a : d->arguments) declared.push_back(a.name);
        EXPECT_EQ(markers, declared);

        std::vector<std::size_t> at;
        const Names names = Markers(d->select, &at);
        for (std::size_t m = 0; m < names.size(); ++m) {
            const std::string& name = names[m];
            const std::string column = ComparedWith(d->select, at[m]);
            SCOPED_TRACE(column + " = :" + name);
            const std::size_t dot = column.find('.');
            ASSERT_NE(dot, std::string::npos);
            const TableColumn* c = TableColumnOf(column.substr(0, dot), column.substr(dot + 1));
            ASSERT_NE(c, nullptr);
            for (const rt::ArgumentDef& a : d->arguments) {
                if (a.name == name) {
                    EXPECT_EQ(a.type, c->type);
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The export views and the auxiliary objects.

std::string Heading(const std::string& name) {
    std::string out;
    bool start = true;
    for (char c : name) {
        if (c == '_') {
            out += ' ';
            start = true;
        } else {
            out += start ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
            start = false;
        }
    }
    return out;
}

const std::map<std::string, std::string> kExportTables = {
    {"dw_base", "j_xm_base"},         {"dw_dw", "j_dw_finish"}, {"dw_ry", "j_ry_finish"},
    {"dw_getaward", "j_jx_getaward"}, {"dw_xy", "j_xy_saving"}, {"dw_yy", "j_yy_app"},
    {"dw_zl", "j_zl_patent"},
};

TEST(ExportViews, CarryEveryColumnInPackageOrderVisibleAndUpdatable) {
    // The package holds the columns in the tables' order: its positions are the import's only
    // guide, so the views must follow the tables column by column.
    for (const auto& [name, table] : kExportTables) {
        SCOPED_TRACE(name);
        const rt::DataWindowDef* d = Find(name);
        ASSERT_NE(d, nullptr);
        ASSERT_TRUE(Tables().count(table));
        const Table& expected = Tables().at(table);
        ASSERT_EQ(d->columns.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(d->columns[i].name, expected[i].name) << "position " << i;
        EXPECT_EQ(d->presentation, rt::Presentation::Grid);
        EXPECT_EQ(d->updateTable, kExportTables.at(name));
        for (const rt::ColumnDef& c : d->columns) {
            EXPECT_TRUE(c.visible) << c.name;
            EXPECT_TRUE(c.updatable) << c.name;
            EXPECT_EQ(c.label, Heading(c.name)) << c.name;
            EXPECT_EQ(c.edit, rt::EditStyle::Edit) << "code columns show the stored code: " << c.name;
            EXPECT_TRUE(c.codes.empty()) << c.name;
            EXPECT_TRUE(c.format.empty()) << c.name;
        }
        const ParsedSelect p = Parse(d->select);
        EXPECT_EQ(p.distinct, name == "dw_zl") << "only the property view drops duplicate rows";
    }
    EXPECT_EQ(Heading("xm_id"), "Xm Id");
}

TEST(ExportViews, SelectOneProjectInKeyOrder) {
    const std::map<std::string, std::string> orderBy = {
        {"dw_base", ""},
        {"dw_dw", "ORDER BY j_dw_finish.dw_no"},
        {"dw_ry", "ORDER BY j_ry_finish.ry_no"},
        {"dw_getaward", "ORDER BY j_jx_getaward.jx_id"},
        {"dw_xy", "ORDER BY j_xy_saving.xy_year, j_xy_saving.xy_zhijorjianj"},
        {"dw_yy", "ORDER BY j_yy_app.yy_id"},
        {"dw_zl", "ORDER BY j_zl_patent.zl_id"},
    };
    for (const auto& [name, order] : orderBy) {
        SCOPED_TRACE(name);
        const rt::DataWindowDef* d = Find(name);
        ASSERT_NE(d, nullptr);
        const ParsedSelect p = Parse(d->select);
        const std::string& table = kExportTables.at(name);
        const std::string where = "WHERE " + table + ".xm_id = :current";
        std::string rest = Unquoted(p.rest);
        // Ascending is the default; accept it spelt out.
        for (std::size_t at; (at = Upper(rest).find(" ASC")) != std::string::npos;) rest.erase(at, 4);
        EXPECT_EQ(rest, order.empty() ? where : where + " " + order);
    }
    // The base view spells every name in double quotes, as the database must also accept.
    const rt::DataWindowDef* base = Find("dw_base");
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(base->select.rfind("SELECT \"j_xm_base\".\"xm_id\", \"j_xm_base\".\"xk_grpno\", ", 0), 0u);
    EXPECT_NE(base->select.find(" FROM \"j_xm_base\" WHERE \"j_xm_base\".\"xm_id\" = :current"),
              std::string::npos);
    EXPECT_EQ(base->columns.front().dbName, "\"j_xm_base\".\"xm_id\"");
}

TEST(AuxObjects, ProjectListIsBrowsedAndWrittenByNewAndDelete) {
    const rt::DataWindowDef* d = Find("dw");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->select,
              "SELECT j_xm_base.xm_askno, j_xm_base.xm_name, j_xm_base.xm_id, j_xm_base.xm_xg FROM "
              "j_xm_base ORDER BY j_xm_base.xm_id");
    const Names labels = {"推荐号", "项目名称", "Xm Id", "Xm Xg"};
    ASSERT_EQ(d->columns.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const rt::ColumnDef& c = d->columns[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.label, labels[i]);
        EXPECT_EQ(c.visible, i < 2) << "the key and the saved flag are the program's, out of sight";
        EXPECT_TRUE(c.currentRowGrey);
        EXPECT_EQ(c.edit, rt::EditStyle::Edit);
        EXPECT_TRUE(c.displayOnly) << "the list takes no input";
    }
    // The saved flag takes no cursor: only Modify makes a saved recommendation editable.
    EXPECT_EQ(d->Column("xm_xg")->tabOrder, 0);
}

TEST(AuxObjects, IdentifierSourceAndCodeTableReaders) {
    const rt::DataWindowDef* max = Find("dw_max");
    ASSERT_NE(max, nullptr);
    EXPECT_EQ(max->select, "SELECT max(j_xm_base.xm_id) FROM j_xm_base");
    ASSERT_EQ(max->columns.size(), 1u);
    EXPECT_EQ(max->columns[0].name, "compute_0001");
    EXPECT_EQ(max->columns[0].dbName, "max(j_xm_base.xm_id)");
    EXPECT_EQ(max->columns[0].type, ColType::Char);
    EXPECT_EQ(max->columns[0].length, 40);
    EXPECT_EQ(max->columns[0].label, "Max(j Xm Base.xm Id)");
    EXPECT_TRUE(max->updateTable.empty());

    const rt::DataWindowDef* dept = Find("dw_recomdept");
    ASSERT_NE(dept, nullptr);
    EXPECT_EQ(dept->select,
              "SELECT recomdept.st_code, recomdept.st_chdescr FROM recomdept ORDER BY recomdept.st_code");
    ASSERT_NE(dept->Column("st_chdescr"), nullptr);
    EXPECT_EQ(dept->Column("st_chdescr")->label, "部门名称");

    const rt::DataWindowDef* xk = Find("dw_xk");
    ASSERT_NE(xk, nullptr);
    EXPECT_EQ(Parse(xk->select).rest, "ORDER BY xuekdm.xk_1, xuekdm.xk_2, xuekdm.xk_3");

    // The recommending-unit drop-down of the basics form reads its names from dw_recomdept.
    const rt::DataWindowDef* basics = Find("dw_1");
    if (basics == nullptr) GTEST_SKIP() << "dw_1 not registered yet";
    const rt::ColumnDef* dept1 = basics->Column("bm_deptcode");
    ASSERT_NE(dept1, nullptr);
    EXPECT_EQ(dept1->edit, rt::EditStyle::DropDownDW);
    EXPECT_EQ(dept1->dddwObject, "dw_recomdept");
    EXPECT_EQ(dept1->dddwDisplay, "st_chdescr");
    EXPECT_EQ(dept1->dddwData, "st_code");
}

// ---------------------------------------------------------------------------------------------
// Code lists.

const rt::ColumnDef* ColumnOf(const std::string& object, const std::string& column) {
    const rt::DataWindowDef* d = Find(object);
    return d ? d->Column(column) : nullptr;
}

std::string DisplayOf(const rt::ColumnDef& c, const std::string& data) {
    for (const rt::CodeEntry& e : c.codes) {
        if (e.data == data) return e.display;
    }
    return "<none>";
}

TEST(CodeLists, EveryListOffersUniqueCodesAndTextsThatItsColumnHolds) {
    for (const rt::DataWindowDef* d : AllRegistered()) {
        for (const rt::ColumnDef& c : d->columns) {
            SCOPED_TRACE(d->name + "." + c.name);
            // A drop-down list offers codes; nothing else carries any.
            EXPECT_EQ(c.edit == rt::EditStyle::DropDownList, !c.codes.empty());
            if (c.codes.empty()) continue;
            const TableColumn* t = TableColumnOf(Parse(d->select).from, c.name);
            ASSERT_NE(t, nullptr);
            ASSERT_EQ(t->type, ColType::Char);
            std::set<std::string> data, display;
            for (const rt::CodeEntry& e : c.codes) {
                EXPECT_TRUE(data.insert(e.data).second) << "code twice: " << e.data;
                EXPECT_TRUE(display.insert(e.display).second) << "text twice: " << e.display;
                EXPECT_FALSE(e.data.empty());
                EXPECT_FALSE(e.display.empty()) << e.data;
                EXPECT_LE(rt::GbkLength(e.data), static_cast<std::size_t>(std::min(c.length, t->length)))
                    << e.data;
            }
        }
    }
}

TEST(CodeLists, TextsThatAreEasyToGetWrong) {
    const rt::ColumnDef* award = ColumnOf("dw_1", "jb_awardcode");
    const rt::ColumnDef* source = ColumnOf("dw_1", "ly_socucode");
    const rt::ColumnDef* group = ColumnOf("dw_1", "xk_grpno");
    const rt::ColumnDef* sector = ColumnOf("dw_1", "hy_etradecode");
    if (award && source && group && sector) {
        EXPECT_EQ(DisplayOf(*award, "4"), "4  社会公益 ");
        EXPECT_EQ(DisplayOf(*award, "6"), "6  软  科  学");
        EXPECT_EQ(DisplayOf(*source, "06"), "06  基金资助 ");
        EXPECT_EQ(DisplayOf(*source, "10"), "10  非职务");
        EXPECT_EQ(DisplayOf(*group, "102"), "102 电子：电子、通讯、计算机软硬件、电子材料");
        EXPECT_EQ(DisplayOf(*sector, "13"), "13  科学研究、技术服务和地质勘查业");
        EXPECT_EQ(DisplayOf(*ColumnOf("dw_1", "sf_public"), "0"), "0 否");
        EXPECT_EQ(DisplayOf(*ColumnOf("dw_1", "mj_secrcode"), "4"), "4 非密");
        // The other entries carry no trailing blank.
        for (const auto* c : {award, source}) {
            for (const rt::CodeEntry& e : c->codes) {
                if (e.data != "4" && e.data != "06") {
                    EXPECT_NE(e.display.back(), ' ') << e.display;
                }
            }
        }
    } else {
        ADD_FAILURE() << "dw_1 lists missing";
    }

    const rt::ColumnDef* nation = ColumnOf("dw_71", "mz_nationcode");
    const rt::ColumnDef* form = ColumnOf("dw_71", "zc_titlecode");
    const rt::ColumnDef* list = ColumnOf("dw_72", "zc_titlecode");
    ASSERT_TRUE(nation && form && list) << "dw_71 / dw_72 lists missing";
    EXPECT_EQ(DisplayOf(*nation, "20"), "傈傈族");
    EXPECT_EQ(DisplayOf(*nation, "46"), "崩龙族");
    EXPECT_EQ(DisplayOf(*nation, "58"), "外国血统中国籍");
    for (std::size_t i = 0; i < nation->codes.size(); ++i) {
        const std::string code = (i < 9 ? "0" : "") + std::to_string(i + 1);
        EXPECT_EQ(nation->codes[i].data, code) << "nationalities run 01 to 58 in order";
    }

    EXPECT_EQ(DisplayOf(*form, "303"), "其它中级");
    EXPECT_EQ(DisplayOf(*form, "302"), "其它副高级");
    EXPECT_EQ(DisplayOf(*form, "114"), "助理畜牧师");
    EXPECT_EQ(DisplayOf(*form, "085"), "<none>") << "the form cannot offer 技术员";
    EXPECT_EQ(DisplayOf(*list, "303"), "其它副高级");
    EXPECT_EQ(DisplayOf(*list, "302"), "<none>");
    EXPECT_EQ(DisplayOf(*list, "114"), "助理畜牧员");
    EXPECT_EQ(DisplayOf(*list, "085"), "技术员");
    ASSERT_GE(list->codes.size(), 4u);
    const std::size_t n = list->codes.size();
    EXPECT_EQ(
        list->codes[n - 4].data + list->codes[n - 3].data + list->codes[n - 2].data + list->codes[n - 1].data,
        "301303304305");
    // 085 stands between 084 and 092.
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (list->codes[i].data == "085") {
            EXPECT_EQ(list->codes[i - 1].data, "084");
            EXPECT_EQ(list->codes[i + 1].data, "092");
        }
    }
    // Apart from those three differences the two title lists agree entry by entry.
    std::vector<rt::CodeEntry> a = form->codes, b = list->codes;
    auto drop = [](std::vector<rt::CodeEntry>& v, const std::string& data) {
        std::erase_if(v, [&](const rt::CodeEntry& e) { return e.data == data; });
    };
    for (const char* code : {"085", "114", "302", "303"}) {
        drop(a, code);
        drop(b, code);
    }
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].data, b[i].data);
        EXPECT_EQ(a[i].display, b[i].display);
    }

    const rt::ColumnDef* sort = ColumnOf("dw_93", "zl_sortcode");
    ASSERT_NE(sort, nullptr);
    EXPECT_EQ(DisplayOf(*sort, "植物新品种"), "植物新品种");
    EXPECT_EQ(rt::GbkLength("植物新品种"), 10u) << "fits the export view's char(10) too";
}

// ---------------------------------------------------------------------------------------------
// Edit styles, limits and tab orders.

TEST(EditStyles, HintsTheSubjectFieldsAndTheSubmittedBox) {
    const std::string maskTag = "此处使用了输入掩码,删除内容请用Backspace.";
    const std::string subjectTag = "双击此处可以显示学科代码表，双击代码表选定相应的学科代码！";
    struct Tag {
        const char* object;
        const char* column;
        std::string tag;
    };
    const std::vector<Tag> tags = {
        {"dw_1", "xm_name", "中文项目名称，限30个汉字。"},
        {"dw_1", "xk_majorname1", subjectTag},
        {"dw_1", "xk_majorcode1", subjectTag},
        {"dw_1", "xk_majorname3", subjectTag},
        {"dw_1", "xk_majorcode3", subjectTag},
        {"dw_71", "ry_id", maskTag},
        {"dw_71", "ry_fixtel", maskTag},
        {"dw_71", "ry_postcode", maskTag},
        {"dw_71", "ry_mpno", maskTag},
        {"dw_81", "dw_name", "完成单位名称，限20个汉字。"},
        {"dw_81", "dw_fax", maskTag},
        {"dw_81", "dw_rtelphone", maskTag},
        {"dw_81", "ry_mpno", maskTag},
        {"dw_81", "dw_postcode", ""},
    };
    for (const Tag& t : tags) {
        const rt::ColumnDef* c = ColumnOf(t.object, t.column);
        if (c == nullptr) continue;
        EXPECT_EQ(c->tag, t.tag) << t.object << "." << t.column;
    }

    // The subject fields are filled by the picker only; dw_91's check box stores "1"/"0".
    if (const rt::DataWindowDef* d = Find("dw_1")) {
        for (const char* n : {"xk_majorname1", "xk_majorcode1", "xk_majorname2", "xk_majorcode2",
                              "xk_majorname3", "xk_majorcode3"}) {
            ASSERT_NE(d->Column(n), nullptr) << n;
            EXPECT_TRUE(d->Column(n)->displayOnly) << n;
        }
    }
    if (const rt::ColumnDef* c = ColumnOf("dw_91", "sf_submit")) {
        EXPECT_EQ(c->edit, rt::EditStyle::CheckBox);
        EXPECT_EQ(c->checkOn, "1");
        EXPECT_EQ(c->checkOff, "0");
    }
}

// What a mask lets through must fit the column: a text mask no longer than the column, a date
// mask a year or a year and month, an amount mask no more decimals than the column keeps.
TEST(EditStyles, NoLimitOrMaskLetsInMoreThanTheColumnHolds) {
    for (const rt::DataWindowDef* d : AllRegistered()) {
        for (const rt::ColumnDef& c : d->columns) {
            SCOPED_TRACE(d->name + "." + c.name);
            EXPECT_GE(c.limit, 0);
            if (c.type == ColType::Char) {
                EXPECT_LE(c.limit, c.length);
            } else {
                EXPECT_EQ(c.limit, 0) << "a limit counts the bytes of a text";
            }
            if (c.edit != rt::EditStyle::EditMask) {
                EXPECT_TRUE(c.mask.empty());
                continue;
            }
            ASSERT_FALSE(c.mask.empty());
            switch (c.type) {
                case ColType::Char:
                    EXPECT_EQ(c.mask.find_first_not_of("#a -"), std::string::npos) << c.mask;
                    EXPECT_LE(c.mask.size(), static_cast<std::size_t>(c.length)) << c.mask;
                    break;
                case ColType::Date:
                    EXPECT_TRUE(c.mask == "yyyy-mm" || c.mask == "yyyy") << c.mask;
                    break;
                case ColType::Decimal: {
                    EXPECT_EQ(c.mask.find_first_not_of("#,.0"), std::string::npos) << c.mask;
                    const std::size_t point = c.mask.find('.');
                    EXPECT_LE(point == std::string::npos ? 0 : c.mask.size() - point - 1, 2u) << c.mask;
                    break;
                }
                default:
                    ADD_FAILURE() << "a mask on a number that is not an amount: " << c.mask;
            }
        }
    }
}

TEST(EditStyles, YearTotalsAreComputedUnderTheirColumns) {
    for (const char* name : {"dw_51", "dw_52"}) {
        const rt::DataWindowDef* d = Find(name);
        if (d == nullptr) continue;
        SCOPED_TRACE(name);
        const Names amounts = {"xy_addvalue", "xy_addinterest", "xy_addtax", "xy_getfrgexch", "xy_savegross"};
        for (std::size_t i = 0; i < amounts.size(); ++i) {
            const rt::ComputeDef* c = d->Compute("compute_" + std::to_string(i + 1));
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(c->expression, "sum(" + amounts[i] + " for all)");
            EXPECT_EQ(c->format, "###,###.00");
            EXPECT_EQ(c->band, rt::Band::Summary);
            const rt::ColumnDef* col = d->Column(amounts[i]);
            ASSERT_NE(col, nullptr);
            EXPECT_LT(c->x, col->x + col->width) << "under its column";
            EXPECT_GT(c->x + c->width, col->x) << "under its column";
        }
    }
}

TEST(EditStyles, EveryFieldAFormWritesTakesTheCursorAndNoTwoShareAStop) {
    for (const rt::DataWindowDef* d : AllRegistered()) {
        std::set<int> seen;
        for (const rt::ColumnDef& c : d->columns) {
            if (c.tabOrder > 0) {
                EXPECT_TRUE(seen.insert(c.tabOrder).second) << d->name << "." << c.name;
            }
            if (!c.visible) {
                EXPECT_EQ(c.tabOrder, 0)
                    << "an invisible field takes the cursor: " << d->name << "." << c.name;
            } else if (d->presentation == rt::Presentation::Freeform && c.updatable && !c.displayOnly) {
                EXPECT_GT(c.tabOrder, 0)
                    << "a field of the form that nobody can reach: " << d->name << "." << c.name;
            }
        }
    }
    // The lists highlight their current row in every visible column.
    for (const char* grid : {"dw", "dw_6", "dw_72", "dw_82", "dw_91", "dw_93"}) {
        const rt::DataWindowDef* d = Find(grid);
        if (d == nullptr) continue;
        for (const rt::ColumnDef& c : d->columns) {
            if (c.visible && c.tabOrder > 0) {
                EXPECT_TRUE(c.currentRowGrey) << grid << "." << c.name;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Layout.

struct Rect {
    int x, y, w, h;
    std::string what;
};

bool Overlap(const Rect& a, const Rect& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

int BandHeight(const rt::DataWindowDef& d, rt::Band band) {
    switch (band) {
        case rt::Band::Header:
            return d.headerHeight;
        case rt::Band::Detail:
            return d.detailHeight;
        case rt::Band::Summary:
            return d.summaryHeight;
        case rt::Band::Footer:
            return d.footerHeight;
    }
    return 0;
}

TEST(Layout, FieldsNeitherLeaveTheirObjectNorOverlap) {
    for (const rt::DataWindowDef* d : AllRegistered()) {
        SCOPED_TRACE(d->name);
        EXPECT_GT(d->width, 0);
        EXPECT_GT(d->detailHeight, 0);

        std::vector<Rect> fields;
        for (const rt::ColumnDef& c : d->columns) {
            if (!c.visible) continue;
            EXPECT_GT(c.width, 0) << c.name;
            EXPECT_GT(c.height, 0) << c.name;
            EXPECT_GE(c.x, 0) << c.name;
            EXPECT_GE(c.y, 0) << c.name;
            EXPECT_LE(c.x + c.width, d->width) << c.name << " leaves the object";
            EXPECT_LE(c.y + c.height, d->detailHeight) << c.name << " leaves the detail band";
            fields.push_back({c.x, c.y, c.width, c.height, c.name});
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            for (std::size_t j = i + 1; j < fields.size(); ++j) {
                EXPECT_FALSE(Overlap(fields[i], fields[j]))
                    << fields[i].what << " overlaps " << fields[j].what;
            }
        }
        if (d->presentation != rt::Presentation::Freeform) continue;

        for (const rt::ColumnDef& c : d->columns) {
            if (!c.visible || c.labelWidth == 0) continue;
            const Rect label{c.labelX, c.labelY, c.labelWidth, c.labelHeight, c.name + " label"};
            EXPECT_GE(label.x, 0) << label.what;
            EXPECT_GE(label.y, 0) << label.what;
            EXPECT_LE(label.x + label.w, d->width) << label.what;
            EXPECT_LE(label.y + label.h, d->detailHeight) << label.what;
            for (const Rect& f : fields)
                EXPECT_FALSE(Overlap(label, f)) << label.what << " covers " << f.what;
        }
        for (const rt::TextDef& t : d->texts) {
            EXPECT_GE(t.x, 0) << t.name;
            EXPECT_GE(t.y, 0) << t.name;
            EXPECT_LE(t.x + t.width, d->width) << t.name;
            EXPECT_LE(t.y + t.height, BandHeight(*d, t.band)) << t.name << " leaves its band";
            if (t.band != rt::Band::Detail) continue;
            const Rect text{t.x, t.y, t.width, t.height, t.name};
            for (const Rect& f : fields) EXPECT_FALSE(Overlap(text, f)) << t.name << " covers " << f.what;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Against a real database.

std::vector<rt::Value> ArgumentsFor(const rt::DataWindowDef& d, const std::string& current, long number) {
    std::vector<rt::Value> args;
    for (const std::string& m : Markers(d.select)) {
        for (const rt::ArgumentDef& a : d.arguments) {
            if (a.name != m) continue;
            if (a.type == ColType::Long) {
                args.emplace_back(static_cast<std::int64_t>(number));
            } else {
                args.emplace_back(current);
            }
        }
    }
    return args;
}

std::string Text(const rt::Value& v) {
    return v.ToText();
}

class Retrieval : public ::testing::Test {
  protected:
    void SetUp() override {
        db_.Connect(t_);
        ASSERT_TRUE(t_.Connected());
    }
    void Exec(const std::string& sql, const std::vector<rt::Value>& args = {}) {
        ASSERT_EQ(t_.Execute(sql, args), 0) << sql << ": " << t_.SQLErrText;
    }
    long Run(const rt::DataWindowDef& d, const std::string& current, long number,
             std::vector<std::vector<rt::Value>>& rows) {
        return t_.Query(Positional(d.select), ArgumentsFor(d, current, number), rows);
    }

    testing_support::TestDatabase db_;
    rt::Transaction t_;
};

TEST_F(Retrieval, EverySelectRunsAndAnUnknownProjectGivesNoRows) {
    for (const std::string& name : kAllObjects) {
        const rt::DataWindowDef* d = Find(name);
        if (d == nullptr) {
            ADD_FAILURE() << name << " not registered";
            continue;
        }
        std::vector<std::vector<rt::Value>> rows;
        EXPECT_EQ(Run(*d, "99999999", 1, rows), 0) << name << ": " << t_.SQLErrText << "\n" << d->select;
        if (name == "dw_max") {
            ASSERT_EQ(rows.size(), 1u) << "an empty table still has a largest identifier: null";
            ASSERT_EQ(rows[0].size(), 1u);
            EXPECT_TRUE(rows[0][0].IsNull());
        } else if (name == "dw_recomdept" || name == "dw_xk") {
            for (const auto& row : rows) EXPECT_EQ(row.size(), d->columns.size()) << name;
        } else {
            EXPECT_TRUE(rows.empty()) << name;
        }
    }
}

TEST_F(Retrieval, EachObjectReadsItsProjectsRowsWithAllItsColumns) {
    for (const char* id : {"T0001", "T0002"}) Exec("INSERT INTO j_xm_base (xm_id) VALUES (?)", {id});
    Exec("INSERT INTO j_ry_finish (xm_id, ry_no) VALUES ('T0001', 2), ('T0001', 1), ('T0002', 1)");
    Exec("INSERT INTO j_dw_finish (xm_id, dw_no) VALUES ('T0001', 1), ('T0001', 2)");
    Exec(
        "INSERT INTO j_xy_saving (xm_id, xy_year, xy_zhijorjianj) VALUES ('T0001', '2021', '1'), "
        "('T0001', '2020', '0'), ('T0001', '2021', '0'), ('T0001', '2020', '1'), ('T0001', '2019', '1'), "
        "('T0002', '2020', '1')");
    Exec("INSERT INTO j_jx_getaward (xm_id, jx_id) VALUES ('T0001', 2), ('T0001', 1)");
    Exec("INSERT INTO j_yy_app (xm_id, yy_id) VALUES ('T0001', 1)");
    Exec(
        "INSERT INTO j_zl_patent (xm_id, zl_id, zl_sortcode) VALUES ('T0001', 2, '植物新品种'), "
        "('T0001', 1, '发明专利')");

    const std::map<std::string, std::size_t> expected = {
        {"dw", 2},     {"dw_1", 1},        {"dw_2", 1},   {"dw_3", 1},  {"dw_4", 1},  {"dw_51", 3},
        {"dw_512", 1}, {"dw_52", 2},       {"dw_522", 1}, {"dw_53", 1}, {"dw_6", 2},  {"dw_71", 1},
        {"dw_72", 2},  {"dw_81", 1},       {"dw_82", 2},  {"dw_91", 1}, {"dw_92", 1}, {"dw_93", 2},
        {"dw_94", 1},  {"dw_base", 1},     {"dw_dw", 2},  {"dw_ry", 2}, {"dw_xy", 5}, {"dw_yy", 1},
        {"dw_zl", 2},  {"dw_getaward", 2}, {"dw_max", 1},
    };
    std::map<std::string, std::vector<std::vector<rt::Value>>> result;
    for (const auto& [name, count] : expected) {
        const rt::DataWindowDef* d = Find(name);
        if (d == nullptr) {
            ADD_FAILURE() << name << " not registered";
            continue;
        }
        std::vector<std::vector<rt::Value>> rows;
        ASSERT_EQ(Run(*d, "T0001", 1, rows), 0) << name << ": " << t_.SQLErrText;
        EXPECT_EQ(rows.size(), count) << name;
        for (const auto& row : rows) EXPECT_EQ(row.size(), d->columns.size()) << name;
        result[name] = std::move(rows);
    }

    auto column = [&](const std::string& name, const std::string& col) {
        Names out;
        const rt::DataWindowDef* d = Find(name);
        if (d == nullptr) return out;
        const int n = d->ColumnNumber(col);
        for (const auto& row : result[name]) {
            if (n > 0 && static_cast<std::size_t>(n) <= row.size()) out.push_back(Text(row[n - 1]));
        }
        return out;
    };
    EXPECT_EQ(column("dw", "xm_id"), (Names{"T0001", "T0002"}));
    EXPECT_EQ(column("dw_max", "compute_0001"), (Names{"T0002"}));
    // Oldest year first; within a year the indirect row before the direct one.
    EXPECT_EQ(column("dw_xy", "xy_year"), (Names{"2019", "2020", "2020", "2021", "2021"}));
    EXPECT_EQ(column("dw_xy", "xy_zhijorjianj"), (Names{"1", "0", "1", "0", "1"}));
    EXPECT_EQ(column("dw_51", "xy_year"), (Names{"2019", "2020", "2021"}));
    EXPECT_EQ(column("dw_51", "xy_zhijorjianj"), (Names{"1", "1", "1"}));
    EXPECT_EQ(column("dw_52", "xy_zhijorjianj"), (Names{"0", "0"}));
    EXPECT_EQ(column("dw_getaward", "jx_id"), (Names{"1", "2"}));
    EXPECT_EQ(column("dw_6", "jx_id"), (Names{"1", "2"}));
    EXPECT_EQ(column("dw_ry", "ry_no"), (Names{"1", "2"}));
    EXPECT_EQ(column("dw_72", "ry_no"), (Names{"1", "2"}));
    EXPECT_EQ(column("dw_82", "dw_no"), (Names{"1", "2"}));
    EXPECT_EQ(column("dw_zl", "zl_sortcode"), (Names{"发明专利", "植物新品种"}));
    EXPECT_EQ(column("dw_93", "zl_id"), (Names{"1", "2"}));

    // The detail forms fetch the one row of their running number, and none for a missing number.
    for (const char* name : {"dw_71", "dw_81"}) {
        const rt::DataWindowDef* d = Find(name);
        if (d == nullptr) continue;
        std::vector<std::vector<rt::Value>> rows;
        ASSERT_EQ(Run(*d, "T0001", 2, rows), 0) << t_.SQLErrText;
        ASSERT_EQ(rows.size(), 1u) << name;
        const std::string key = std::string(name) == "dw_71" ? "ry_no" : "dw_no";
        EXPECT_EQ(Text(rows[0][d->ColumnNumber(key) - 1]), "2") << name;
        rows.clear();
        ASSERT_EQ(Run(*d, "T0001", 9, rows), 0) << t_.SQLErrText;
        EXPECT_TRUE(rows.empty()) << name;
    }
}

TEST_F(Retrieval, LargestIdentifierIsTheLargestInStringOrder) {
    const rt::DataWindowDef* d = Find("dw_max");
    ASSERT_NE(d, nullptr);
    // A larger year wins whatever the serial; within the same first eight characters the serial decides.
    for (const char* id : {"202400019999", "202412340001", "202412340002", "202312349999", "202401239999"}) {
        Exec("INSERT INTO j_xm_base (xm_id) VALUES (?)", {id});
    }
    std::vector<std::vector<rt::Value>> rows;
    ASSERT_EQ(Run(*d, "", 0, rows), 0) << t_.SQLErrText;
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(Text(rows[0][0]), "202412340002");

    // The list shows them in identifier order.
    const rt::DataWindowDef* list = Find("dw");
    ASSERT_NE(list, nullptr);
    rows.clear();
    ASSERT_EQ(Run(*list, "", 0, rows), 0) << t_.SQLErrText;
    Names ids;
    for (const auto& row : rows) ids.push_back(Text(row[2]));
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(ids.size(), 5u);
}

// Loads the rows of a code table again in a shuffled order, its running number (the last of
// `columns`, when `renumber`) dealt out afresh, so that the order in which the table stores its
// rows is not the order of their codes.
void Shuffle(rt::Transaction& t, const std::string& table, const std::string& columns,
             bool renumber = false) {
    std::vector<std::vector<rt::Value>> rows;
    ASSERT_EQ(t.Query("SELECT " + columns + " FROM " + table, {}, rows), 0) << t.SQLErrText;
    ASSERT_GT(rows.size(), 2u) << table;
    std::mt19937 random(20240601);
    std::shuffle(rows.begin(), rows.end(), random);
    ASSERT_EQ(t.Execute("DELETE FROM " + table, {}), 0) << t.SQLErrText;
    std::string insert = "INSERT INTO " + table + " (" + columns + ") VALUES (?";
    for (std::size_t k = 1; k < rows[0].size(); ++k) insert += ", ?";
    insert += ")";
    for (std::size_t n = 0; n < rows.size(); ++n) {
        if (renumber) rows[n].back() = static_cast<std::int64_t>(n + 1);
        ASSERT_EQ(t.Execute(insert, rows[n]), 0) << t.SQLErrText;
    }
}

TEST_F(Retrieval, CodeTablesComeBackInTheirOrder) {
    const rt::DataWindowDef* dept = Find("dw_recomdept");
    const rt::DataWindowDef* xk = Find("dw_xk");
    ASSERT_TRUE(dept && xk);
    // The shipped tables are stored in code order already; only their ORDER BY puts these in order.
    Shuffle(t_, "recomdept", "st_code, st_chdescr");
    Shuffle(t_, "xuekdm", "xk_1, xk_2, xk_3, xk_name, xk_xh", true);
    std::vector<std::vector<rt::Value>> rows;
    ASSERT_EQ(Run(*dept, "", 0, rows), 0) << t_.SQLErrText;
    Names codes;
    for (const auto& row : rows) codes.push_back(Text(row[0]));
    EXPECT_TRUE(std::is_sorted(codes.begin(), codes.end()));

    rows.clear();
    ASSERT_EQ(Run(*xk, "", 0, rows), 0) << t_.SQLErrText;
    std::vector<Names> keys;
    for (const auto& row : rows) keys.push_back({Text(row[0]), Text(row[1]), Text(row[2])});
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
}

}  // namespace

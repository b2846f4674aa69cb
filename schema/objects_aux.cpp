// The objects that serve no section page: the seven export views (one per data table, whose column
// order is the exchange package's), the project list, the identifier source and the two code-table
// readers. All are grids; nothing but the project list is ever shown to the user.

#include <string>
#include <utility>
#include <vector>

#include "schema/objects.h"

namespace schema {

namespace {

using rt::ColType;

constexpr int kHeaderHeight = 88;
constexpr int kDetailHeight = 84;
constexpr int kRowFieldY = 4;
constexpr int kRowFieldHeight = 76;

struct Field {
    const char* name;
    ColType type;
    int length = 0;
};

constexpr ColType Chr = ColType::Char;
constexpr ColType Dt = ColType::Date;
constexpr ColType Dec = ColType::Decimal;
constexpr ColType Lng = ColType::Long;
constexpr ColType Rl = ColType::Real;

// "xm_id" -> "Xm Id": the heading a grid painter gives a column by default.
std::string HeadingOf(const std::string& name) {
    std::string out;
    bool wordStart = true;
    for (char c : name) {
        if (c == '_') {
            out += ' ';
            wordStart = true;
            continue;
        }
        out += (wordStart && c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        wordStart = false;
    }
    return out;
}

// Grid column width: wide enough for a heading or a short value, capped for long texts.
int WidthOf(const rt::ColumnDef& c) {
    switch (c.type) {
        case ColType::Date:
            return 330;
        case ColType::Decimal:
        case ColType::Long:
        case ColType::Real:
            return 360;
        case ColType::Char:
            break;
    }
    const int byLength = 64 + c.length * 32;
    return byLength < 300 ? 300 : (byLength > 600 ? 600 : byLength);
}

// Places the columns side by side in one grid row and sizes the object to fit them.
void LayOutGrid(rt::DataWindowDef& def) {
    int x = 9;
    for (rt::ColumnDef& c : def.columns) {
        c.x = x;
        c.y = kRowFieldY;
        c.width = WidthOf(c);
        c.height = kRowFieldHeight;
        x += c.width + 9;
    }
    def.presentation = rt::Presentation::Grid;
    def.headerHeight = kHeaderHeight;
    def.detailHeight = kDetailHeight;
    def.width = x;
}

bool IsKey(const std::vector<std::string>& keys, const std::string& name) {
    for (const std::string& k : keys) {
        if (k == name) return true;
    }
    return false;
}

std::string Quoted(const std::string& identifier) {
    return "\"" + identifier + "\"";
}

struct ExportDecl {
    const char* object;
    const char* table;
    std::vector<Field> fields;
    std::vector<std::string> keys;
    std::vector<std::string> orderBy;  // ascending
    bool distinct = false;
    bool quoted = false;  // every table and column name in double quotes
};

// An export view reads every column of one project's rows; every column is visible and updatable,
// so that the view mirrors the table exactly.
rt::DataWindowDef ExportView(const ExportDecl& decl) {
    rt::DataWindowDef def;
    def.name = decl.object;
    def.arguments = {{"current", ColType::Char}};
    def.updateTable = decl.table;

    const std::string table = decl.table;
    auto qualified = [&](const std::string& column) {
        return decl.quoted ? Quoted(table) + "." + Quoted(column) : table + "." + column;
    };

    std::string list;
    int tab = 0;
    for (const Field& f : decl.fields) {
        rt::ColumnDef c = Column(table, f.name, f.type, f.length);
        c.dbName = qualified(f.name);
        c.key = IsKey(decl.keys, f.name);
        c.updatable = true;
        c.label = HeadingOf(f.name);
        c.tabOrder = ++tab;
        if (!list.empty()) list += ", ";
        list += c.dbName;
        def.columns.push_back(std::move(c));
    }

    def.select = std::string("SELECT ") + (decl.distinct ? "DISTINCT " : "") + list + " FROM " +
                 (decl.quoted ? Quoted(table) : table) + " WHERE " + qualified("xm_id") + " = :current";
    for (std::size_t i = 0; i < decl.orderBy.size(); ++i) {
        def.select += (i == 0 ? " ORDER BY " : ", ") + qualified(decl.orderBy[i]);
    }
    LayOutGrid(def);
    return def;
}

rt::DataWindowDef DwBase() {
    return ExportView({
        .object = "dw_base",
        .table = "j_xm_base",
        .fields =
            {
                {"xm_id", Chr, 40},
                {"xk_grpno", Chr, 5},
                {"jb_awardcode", Chr, 5},
                {"xm_sn", Chr, 40},
                {"xm_no", Chr, 40},
                {"xm_pno", Chr, 12},
                {"xm_name", Chr, 100},
                {"xm_ename", Chr, 200},
                {"bm_deptcode", Chr, 5},
                {"xm_recomspec", Chr, 60},
                {"sf_public", Chr, 5},
                {"mj_secrcode", Chr, 5},
                {"xm_fixsecrdate", Dt},
                {"xm_secrterm", Chr, 10},
                {"xm_fixsecrorgan", Chr, 100},
                {"xm_topicword", Chr, 70},
                {"xk_majorcode1", Chr, 7},
                {"xk_majorname1", Chr, 40},
                {"xk_majorcode2", Chr, 7},
                {"xk_majorname2", Chr, 40},
                {"xk_majorcode3", Chr, 7},
                {"xk_majorname3", Chr, 40},
                {"xk_majorcode4", Chr, 7},
                {"xk_majorname4", Chr, 40},
                {"hy_etradecode", Chr, 5},
                {"ly_socucode", Chr, 256},
                {"xm_planname", Chr, 1000},
                {"xm_startdate", Dt},
                {"xm_finishdate", Dt},
                {"xm_abstract", Chr, 2000},
                {"xm_innovation", Chr, 1000},
                {"xm_zongtz", Dec},
                {"xm_huis", Lng},
                {"xm_zhijyj", Chr, 500},
                {"xm_jianjyj", Chr, 500},
                {"xm_sosiety", Chr, 1000},
                {"xm_recom", Chr, 1000},
                {"xm_pingjia", Chr, 2000},
                {"xm_papers", Chr, 2000},
                {"xm_guid", Chr, 40},
                {"jz_awardsortcode", Chr, 5},
                {"xm_askno", Chr, 10},
                {"xm_checkcode", Chr, 20},
                {"xm_xg", Chr, 1},
            },
        .keys = {"xm_id"},
        .orderBy = {},
        .distinct = false,
        .quoted = true,
    });
}

rt::DataWindowDef DwDw() {
    return ExportView({
        .object = "dw_dw",
        .table = "j_dw_finish",
        .fields =
            {
                {"xm_id", Chr, 40},
                {"dw_name", Chr, 40},
                {"dw_attach", Chr, 5},
                {"dw_no", Lng},
                {"dx_unprocode", Chr, 5},
                {"dw_fax", Chr, 40},
                {"dw_rperson", Chr, 16},
                {"dw_rtelphone", Chr, 20},
                {"ry_mpno", Chr, 20},
                {"dw_postaddr", Chr, 100},
                {"dw_postcode", Chr, 6},
                {"dw_emailbox", Chr, 100},
                {"dw_contribute", Chr, 1400},
                {"dw_ardbkprnnum", Rl},
                {"dw_ardbkno", Chr, 20},
                {"dw_ardbkprntm", Dt},
                {"dw_prnset", Chr, 1},
                {"dw_prnflag", Chr, 1},
            },
        .keys = {"xm_id", "dw_no"},
        .orderBy = {"dw_no"},
    });
}

rt::DataWindowDef DwRy() {
    return ExportView({
        .object = "dw_ry",
        .table = "j_ry_finish",
        .fields =
            {
                {"xm_id", Chr, 40},
                {"ry_name", Chr, 30},
                {"ry_no", Lng},
                {"ry_birthday", Dt},
                {"mz_nationcode", Chr, 5},
                {"xb_sex", Chr, 5},
                {"ry_bplace", Chr, 10},
                {"ry_id", Chr, 30},
                {"dp_sectcode", Chr, 5},
                {"ry_overseanation", Chr, 20},
                {"ry_position", Chr, 100},
                {"sf_homecoming", Chr, 5},
                {"gg_date", Dt},
                {"ry_unit", Chr, 100},
                {"ry_place", Chr, 40},
                {"ry_fixtel", Chr, 20},
                {"ry_postaddr", Chr, 100},
                {"ry_postcode", Chr, 6},
                {"ry_homeaddr", Chr, 100},
                {"ry_hometel", Chr, 20},
                {"ry_email", Chr, 100},
                {"ry_mpno", Chr, 20},
                {"ry_grduniv", Chr, 100},
                {"wp_edulev", Chr, 5},
                {"ry_grdtime", Dt},
                {"zc_titlecode", Chr, 5},
                {"ry_workmajor", Chr, 100},
                {"ry_specmajor", Chr, 100},
                {"xw_degree", Chr, 5},
                {"ry_honor", Chr, 400},
                {"ry_start", Dt},
                {"ry_finish", Dt},
                {"ry_contribution", Chr, 800},
                {"ry_anum", Rl},
                {"ry_ano", Chr, 20},
                {"ry_atm", Dt},
                {"ry_flag1", Chr, 1},
                {"ry_flag2", Chr, 1},
            },
        .keys = {"xm_id", "ry_no"},
        .orderBy = {"ry_no"},
    });
}

rt::DataWindowDef DwGetaward() {
    return ExportView({
        .object = "dw_getaward",
        .table = "j_jx_getaward",
        .fields =
            {
                {"xm_id", Chr, 40},
                {"jx_id", Lng},
                {"jx_xmname", Chr, 100},
                {"jx_date", Dt},
                {"jx_name", Chr, 100},
                {"jx_grade", Chr, 10},
                {"jx_grantdept", Chr, 40},
            },
        .keys = {"xm_id", "jx_id"},
        .orderBy = {"jx_id"},
    });
}

// Within a year the indirect row ("0") sorts before the direct row ("1").
rt::DataWindowDef DwXy() {
    return ExportView({
        .object = "dw_xy",
        .table = "j_xy_saving",
        .fields =
            {
                {"xm_id", Chr, 40},
                {"xy_year", Chr, 4},
                {"xy_addvalue", Dec},
                {"xy_addinterest", Dec},
                {"xy_addtax", Dec},
                {"xy_getfrgexch", Dec},
                {"xy_savegross", Dec},
                {"xy_zhijorjianj", Chr, 4},
                {"xk_bz", Chr, 40},
            },
        .keys = {"xm_id", "xy_year", "xy_zhijorjianj"},
        .orderBy = {"xy_year", "xy_zhijorjianj"},
    });
}

rt::DataWindowDef DwYy() {
    return ExportView({
        .object = "dw_yy",
        .table = "j_yy_app",
        .fields =
            {
                {"xm_id", Chr, 40},
                {"yy_id", Lng},
                {"dw_unitname", Chr, 100},
                {"yy_stsatdate", Dt},
                {"yy_finishdate", Dt},
                {"dw_rperson", Chr, 200},
                {"yy_benefit", Dec},
                {"sf_submit", Chr, 1},
            },
        .keys = {"xm_id", "yy_id"},
        .orderBy = {"yy_id"},
    });
}

// zl_sortcode is char(10) here although the page object declares char(12); every category the page
// offers fits ten bytes.
rt::DataWindowDef DwZl() {
    return ExportView({
        .object = "dw_zl",
        .table = "j_zl_patent",
        .fields =
            {
                {"xm_id", Chr, 40},
                {"zl_id", Lng},
                {"zl_name", Chr, 256},
                {"zl_sortcode", Chr, 10},
                {"zl_nation", Chr, 30},
                {"zl_appno", Chr, 20},
                {"zl_no", Chr, 20},
            },
        .keys = {"xm_id", "zl_id"},
        .orderBy = {"zl_id"},
        .distinct = true,
    });
}

// The project list of the main window. New and Delete write through it, so every column is
// updatable; the user only moves through it; the key and the saved flag are read but not shown.
rt::DataWindowDef DwList() {
    rt::DataWindowDef def;
    def.name = "dw";
    def.select =
        "SELECT j_xm_base.xm_askno, j_xm_base.xm_name, j_xm_base.xm_id, j_xm_base.xm_xg FROM j_xm_base "
        "ORDER BY j_xm_base.xm_id";
    def.updateTable = "j_xm_base";

    auto column = [&](const char* name, int length, const char* label, bool tabStop) {
        rt::ColumnDef c = Char("j_xm_base", name, length);
        c.label = label;
        c.updatable = true;
        c.displayOnly = true;
        c.tabOrder = tabStop ? static_cast<int>(def.columns.size()) + 1 : 0;
        c.currentRowGrey = true;
        def.columns.push_back(std::move(c));
    };
    column("xm_askno", 10, "推荐号", true);
    column("xm_name", 100, "项目名称", true);
    column("xm_id", 40, "Xm Id", false);
    // The saved flag is never edited here: typing 0 would make a saved recommendation
    // editable behind the database's back. Only Modify unlocks one.
    column("xm_xg", 1, "Xm Xg", false);
    def.columns[2].key = true;
    // The key and the saved flag are the program's, not the user's to read: no column of the list
    // shows them, nor does a screen reader read them among its columns, nor does Tab stop there.
    def.columns[2].visible = false;
    def.columns[3].visible = false;

    LayOutGrid(def);
    // The project name is what the user picks by; give it the room of the list.
    def.columns[1].width = 1100;
    int x = 9;
    for (rt::ColumnDef& c : def.columns) {
        c.x = x;
        x += c.width + 9;
    }
    def.width = x;
    return def;
}

// The largest project identifier (in the database's string order), or null on an empty table.
rt::DataWindowDef DwMax() {
    rt::DataWindowDef def;
    def.name = "dw_max";
    def.select = "SELECT max(j_xm_base.xm_id) FROM j_xm_base";

    rt::ColumnDef c;
    c.name = "compute_0001";
    c.dbName = "max(j_xm_base.xm_id)";
    c.type = ColType::Char;
    c.length = 40;
    c.label = "Max(j Xm Base.xm Id)";
    def.columns.push_back(std::move(c));

    LayOutGrid(def);
    return def;
}

// The drop-down of the recommending unit on the project basics form: stores st_code, shows
// st_chdescr.
rt::DataWindowDef DwRecomdept() {
    rt::DataWindowDef def;
    def.name = "dw_recomdept";
    def.select = "SELECT recomdept.st_code, recomdept.st_chdescr FROM recomdept ORDER BY recomdept.st_code";
    def.updateTable = "recomdept";

    rt::ColumnDef code = Char("recomdept", "st_code", 5);
    code.label = "St Code";
    code.key = true;
    code.updatable = true;
    code.tabOrder = 1;
    def.columns.push_back(std::move(code));

    rt::ColumnDef name = Char("recomdept", "st_chdescr", 100);
    name.label = "部门名称";
    name.updatable = true;
    name.tabOrder = 2;
    def.columns.push_back(std::move(name));

    LayOutGrid(def);
    return def;
}

// The subject codes, three levels (3 + 2 + 2 digits), in the order the subject picker builds its
// tree from.
rt::DataWindowDef DwXk() {
    rt::DataWindowDef def;
    def.name = "dw_xk";
    def.select =
        "SELECT xuekdm.xk_1, xuekdm.xk_2, xuekdm.xk_3, xuekdm.xk_name, xuekdm.xk_xh FROM xuekdm "
        "ORDER BY xuekdm.xk_1, xuekdm.xk_2, xuekdm.xk_3";
    def.updateTable = "xuekdm";

    const std::vector<Field> fields = {
        {"xk_1", Chr, 3}, {"xk_2", Chr, 2}, {"xk_3", Chr, 2}, {"xk_name", Chr, 40}, {"xk_xh", Lng},
    };
    for (const Field& f : fields) {
        rt::ColumnDef c = Column("xuekdm", f.name, f.type, f.length);
        c.label = HeadingOf(f.name);
        c.updatable = true;
        c.key = c.name == "xk_xh";
        c.tabOrder = static_cast<int>(def.columns.size()) + 1;
        def.columns.push_back(std::move(c));
    }

    LayOutGrid(def);
    return def;
}

}  // namespace

void RegisterAuxObjects() {
    rt::RegisterDefinition(DwBase());
    rt::RegisterDefinition(DwDw());
    rt::RegisterDefinition(DwRy());
    rt::RegisterDefinition(DwGetaward());
    rt::RegisterDefinition(DwXy());
    rt::RegisterDefinition(DwYy());
    rt::RegisterDefinition(DwZl());
    rt::RegisterDefinition(DwList());
    rt::RegisterDefinition(DwMax());
    rt::RegisterDefinition(DwRecomdept());
    rt::RegisterDefinition(DwXk());
}

}  // namespace schema

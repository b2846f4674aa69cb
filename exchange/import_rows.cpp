// The seven readers of an unpacked exchange package: each opens its member in "tmp_xml", takes the
// rows and reads every value by its position in the row, then writes the row with one INSERT of the
// key columns and one UPDATE of the others, every value bound as text.
//
// The readers never commit: the Import command commits once all seven have succeeded and rolls
// everything back otherwise, so that a broken package leaves no half recommendation behind. For
// the same reason every statement's result is checked and a row that cannot be read or written
// makes the reader fail (-1) instead of being skipped silently.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/globals.h"
#include "exchange/package.h"
#include "records/m_main.h"
#include "runtime/ui/dialogs.h"
#include "runtime/value.h"
#include "runtime/xml.h"

namespace laurel::exchange {

namespace {

// The key of the package being imported, once import_base has read it; empty when none.
bool g_importing = false;
std::string g_packageKey;

// How a value reaches its column. Texts go as they are; a date or number position takes its
// value in the canonical text form, and an empty element (how a null travels) as null: an empty
// text is no date or number and would be stored as garbage or refused.
enum class Kind { Text, Date, Decimal, Long, Real };

struct Column {
    const char* name;
    int pos;
    Kind kind = Kind::Text;
};

struct Reader {
    const char* file;
    const char* table;  // as the statements spell it
    std::vector<Column> keys;
    std::vector<Column> set;
};

int Highest(const Reader& r) {
    int top = 0;
    for (const auto* list : {&r.keys, &r.set})
        for (const Column& c : *list) top = std::max(top, c.pos);
    return top;
}

std::optional<rt::Value> Bound(const std::string& text, Kind kind) {
    if (kind == Kind::Text) return rt::Value(text);
    if (text.empty()) return rt::Value::Null();
    const rt::Value v(text);
    std::optional<std::string> canonical;
    switch (kind) {
        case Kind::Date:
            if (auto d = v.AsDate(); d && d->Valid()) canonical = d->Iso();
            break;
        case Kind::Decimal:
            if (auto d = v.AsDecimal()) canonical = d->ToString();
            break;
        case Kind::Long:
            if (auto n = v.AsLong()) canonical = std::to_string(*n);
            break;
        case Kind::Real:
            if (auto r = v.AsReal()) canonical = rt::Value(*r).ToText();
            break;
        case Kind::Text:
            break;
    }
    if (!canonical) return std::nullopt;
    return rt::Value(*canonical);
}

// Writes one row read as `texts` (position -> text). Returns false when a value does not fit its
// column, the row belongs to another recommendation, or a statement fails.
bool WriteRow(const Reader& r, const std::vector<std::string>& texts) {
    std::vector<rt::Value> keyArgs, setArgs;
    for (const Column& c : r.keys) {
        auto v = Bound(texts[static_cast<std::size_t>(c.pos)], c.kind);
        if (!v || v->IsNull() || v->ToText().empty()) return false;
        keyArgs.push_back(std::move(*v));
    }
    if (g_importing && !g_packageKey.empty() && texts[0] != g_packageKey) return false;
    for (const Column& c : r.set) {
        auto v = Bound(texts[static_cast<std::size_t>(c.pos)], c.kind);
        if (!v) return false;
        setArgs.push_back(std::move(*v));
    }

    std::string insert = std::string("INSERT INTO ") + r.table + " (";
    std::string values;
    std::string where;
    for (std::size_t k = 0; k < r.keys.size(); ++k) {
        insert += (k ? ", " : "") + std::string(r.keys[k].name);
        values += k ? ", ?" : "?";
        where += (k ? " AND " : "") + std::string(r.keys[k].name) + " = ?";
    }
    insert += ") VALUES (" + values + ")";
    if (sqlca.Execute(insert, keyArgs) != 0) return false;

    std::string update = std::string("UPDATE ") + r.table + " SET ";
    for (std::size_t k = 0; k < r.set.size(); ++k)
        update += (k ? ", " : "") + std::string(r.set[k].name) + " = ?";
    update += " WHERE " + where;
    std::vector<rt::Value> args = setArgs;
    args.insert(args.end(), keyArgs.begin(), keyArgs.end());
    return sqlca.Execute(update, args) == 0 && sqlca.SQLNRows == 1;
}

// The texts of one row element, by position; nullopt when the row has too few nodes.
std::optional<std::vector<std::string>> RowTexts(const rt::xml::Node& row, int highest) {
    const std::vector<rt::xml::Node> content = row.Content();
    if (static_cast<int>(content.size()) <= highest) return std::nullopt;
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(highest) + 1);
    for (int k = 0; k <= highest; ++k) texts.push_back(content[static_cast<std::size_t>(k)].Text());
    return texts;
}

std::optional<rt::xml::Node> OpenRoot(const std::string& tmp_path, const char* file) {
    auto doc = rt::xml::Document::BuildFromFile(tmp_path + "/tmp_xml/" + file);
    if (!doc) return std::nullopt;
    return doc->Root();
}

// The list members: every child element of the root is a row.
int ImportList(const std::string& tmp_path, const Reader& r) {
    const auto root = OpenRoot(tmp_path, r.file);
    if (!root) return -1;
    const int highest = Highest(r);
    for (const rt::xml::Node& row : root->ChildElements()) {
        const auto texts = RowTexts(row, highest);
        if (!texts || !WriteRow(r, *texts)) return -1;
    }
    return 1;
}

constexpr Kind D = Kind::Date;
constexpr Kind M = Kind::Decimal;
constexpr Kind L = Kind::Long;
constexpr Kind R = Kind::Real;

const Reader kBase{
    "xm_base.xml",
    "j_xm_base",
    {{"xm_id", 0}},
    {{"xk_grpno", 1},
     {"jb_awardcode", 2},
     {"xm_no", 4},
     {"xm_name", 6},
     {"xm_ename", 7},
     {"bm_deptcode", 8},
     {"sf_public", 10},
     {"mj_secrcode", 11},
     {"xm_fixsecrdate", 12, D},
     {"xm_secrterm", 13},
     {"xm_fixsecrorgan", 14},
     {"xm_topicword", 15},
     {"xk_majorcode1", 16},
     {"xk_majorname1", 17},
     {"xk_majorcode2", 18},
     {"xk_majorname2", 19},
     {"xk_majorcode3", 20},
     {"xk_majorname3", 21},
     {"hy_etradecode", 24},
     {"ly_socucode", 25},
     {"xm_planname", 26},
     {"xm_startdate", 27, D},
     {"xm_finishdate", 28, D},
     {"xm_abstract", 29},
     {"xm_innovation", 30},
     {"xm_zongtz", 31, M},
     {"xm_huis", 32, L},
     {"xm_zhijyj", 33},
     {"xm_jianjyj", 34},
     {"xm_sosiety", 35},
     {"xm_recom", 36},
     {"xm_pingjia", 37},
     {"xm_papers", 38},
     {"xm_guid", 39},
     {"jz_awardsortcode", 40},
     {"xm_askno", 41},
     {"xm_checkcode", 42},
     {"xm_xg", 43}},
};

const Reader kRy{
    "xm_ry.xml",
    "j_RY_FINISH",
    {{"xm_id", 0}, {"ry_no", 2, L}},
    {{"ry_name", 1},          {"ry_birthday", 3, D}, {"mz_nationcode", 4}, {"xb_sex", 5},
     {"ry_bplace", 6},        {"ry_id", 7},          {"dp_sectcode", 8},   {"ry_position", 10},
     {"ry_unit", 13},         {"ry_fixtel", 15},     {"ry_postaddr", 16},  {"ry_postcode", 17},
     {"ry_email", 20},        {"ry_mpno", 21},       {"ry_grduniv", 22},   {"wp_edulev", 23},
     {"ry_grdtime", 24, D},   {"zc_titlecode", 25},  {"ry_workmajor", 26}, {"ry_specmajor", 27},
     {"xw_degree", 28},       {"ry_honor", 29},      {"ry_start", 30, D},  {"ry_finish", 31, D},
     {"ry_contribution", 32}, {"ry_anum", 33, R},    {"ry_atm", 35, D}},
};

const Reader kDw{
    "xm_dw.xml",
    "j_DW_FINISH",
    {{"xm_id", 0}, {"dw_no", 3, L}},
    {{"dw_name", 1},
     {"dx_unprocode", 4},
     {"dw_fax", 5},
     {"dw_rperson", 6},
     {"dw_rtelphone", 7},
     {"ry_mpno", 8},
     {"dw_postaddr", 9},
     {"dw_postcode", 10},
     {"dw_emailbox", 11},
     {"dw_contribute", 12},
     {"dw_ardbkprnnum", 13, R},
     {"dw_ardbkprntm", 15, D}},
};

const Reader kXy{
    "xm_xy.xml",
    "j_XY_SAVING",
    {{"xm_id", 0}, {"xy_year", 1}, {"xy_zhijorjianj", 7}},
    {{"xy_addvalue", 2, M},
     {"xy_addinterest", 3, M},
     {"xy_addtax", 4, M},
     {"xy_getfrgexch", 5, M},
     {"xy_savegross", 6, M}},
};

const Reader kHj{
    "xm_hj.xml",
    "j_JX_GETAWARD",
    {{"xm_id", 0}, {"jx_id", 1, L}},
    {{"jx_xmname", 2}, {"jx_date", 3, D}, {"jx_name", 4}, {"jx_grade", 5}, {"jx_grantdept", 6}},
};

const Reader kYy{
    "xm_yy.xml",
    "J_yy_APP",
    {{"xm_id", 0}, {"yy_id", 1, L}},
    {{"dw_unitname", 2},
     {"yy_stsatdate", 3, D},
     {"yy_finishdate", 4, D},
     {"dw_rperson", 5},
     {"yy_benefit", 6, M},
     {"sf_submit", 7}},
};

const Reader kZl{
    "xm_zl.xml",
    "J_ZL_PATENT",
    {{"xm_id", 0}, {"zl_id", 1, L}},
    {{"zl_name", 2}, {"zl_sortcode", 3}, {"zl_nation", 4}, {"zl_appno", 5}, {"zl_no", 6}},
};

}  // namespace

void BeginImport() {
    g_importing = true;
    g_packageKey.clear();
}

void EndImport() {
    g_importing = false;
}

std::string ImportedKey() {
    return g_packageKey;
}

}  // namespace laurel::exchange

namespace laurel::records {

using exchange::ImportList;
using exchange::kBase;

int m_main::import_base(const std::string& tmp_path) {
    const auto root = exchange::OpenRoot(tmp_path, kBase.file);
    if (!root) return -1;
    const rt::xml::Node row = root->ChildElement("xm_base_row");
    if (!row) return -1;
    const auto texts = exchange::RowTexts(row, 43);
    if (!texts) return -1;
    const std::string& key = (*texts)[0];
    // The Import command finds the imported recommendation in the list by this number.
    xm_askno = (*texts)[41];
    if (exchange::g_importing) exchange::g_packageKey = key;

    std::vector<rt::Value> found;
    sqlca.SelectInto("SELECT xm_name FROM j_xm_base WHERE xm_id = ?", {key}, found);
    if (sqlca.SQLCode == 0) {
        const std::string name = found.empty() ? std::string() : found.front().ToText();
        rt::ui::MessageBox("提示信息:", "此推荐书已经存在，请先删除名称为：" + name + "的推荐书，再导入!");
        return 0;
    }
    if (sqlca.SQLCode != 100) return -1;
    return exchange::WriteRow(kBase, *texts) ? 1 : -1;
}

int m_main::import_ry(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kRy);
}
int m_main::import_dw(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kDw);
}
int m_main::import_xy(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kXy);
}
int m_main::import_hj(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kHj);
}
int m_main::import_yy(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kYy);
}
int m_main::import_zl(const std::string& tmp_path) {
    return ImportList(tmp_path, exchange::kZl);
}

// Undoes every row the readers wrote: they never commit, so the whole import goes at once.
int m_main::import_rollback(const std::string&) {
    sqlca.Rollback();
    return 1;
}

}  // namespace laurel::records

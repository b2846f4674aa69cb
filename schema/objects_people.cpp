// The pages of the contributors, the contributing units and the proofs: two detail forms with the
// lists that choose their row, the two lists edited in place, and the two long texts of the proofs.
// The forms are laid out as the framed tables of the printed recommendation form.

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "runtime/datawindow/dwdef.h"
#include "schema/objects.h"

namespace schema {

namespace {

using rt::Align;
using rt::CodeEntry;
using rt::ColType;
using rt::ColumnDef;
using rt::DataWindowDef;
using rt::EditStyle;

constexpr const char* kPersons = "j_ry_finish";
constexpr const char* kUnits = "j_dw_finish";
constexpr const char* kApplications = "j_yy_app";
constexpr const char* kProperty = "j_zl_patent";
constexpr const char* kProject = "j_xm_base";

constexpr const char* kMaskTag = "此处使用了输入掩码,删除内容请用Backspace.";

// ---------------------------------------------------------------------------------------------
// Code tables: display text, then the stored value, in list order.

std::vector<CodeEntry> SexCodes() {
    return {{"男", "1"}, {"女", "2"}};
}

std::vector<CodeEntry> PoliticalStatusCodes() {
    return {
        {"中共党员", "01"},   {"中共预备党员", "02"}, {"共青团员", "03"}, {"民革会员", "04"},
        {"民盟盟员", "05"},   {"民建会员", "06"},     {"民进会员", "07"}, {"农工党党员", "08"},
        {"致公党党员", "09"}, {"九三学社社员", "10"}, {"台盟盟员", "11"}, {"无党派民主人士", "12"},
        {"群众", "13"},
    };
}

std::vector<CodeEntry> EducationCodes() {
    return {
        {"博士研究生", "01"}, {"硕士研究生", "02"}, {"大学本科", "03"}, {"大学专科", "04"},
        {"中专毕业", "05"},   {"高中毕业", "06"},   {"初中毕业", "07"}, {"初中以下", "08"},
    };
}

std::vector<CodeEntry> DegreeCodes() {
    return {{"博士", "1"}, {"硕士", "2"}, {"学士", "3"}, {"无", "4"}};
}

// The nationalities are numbered "01", "02", ... in list order. The spellings are the ones the
// stored records were made with and must not be corrected.
std::vector<CodeEntry> NationalityCodes() {
    const std::initializer_list<const char*> names = {
        "汉族",     "蒙古族",         "回族",       "藏族",     "维吾尔族",   "苗族",   "彝族",     "壮族",
        "布依族",   "朝鲜族",         "满族",       "侗族",     "瑶族",       "白族",   "土家族",   "哈尼族",
        "哈萨克族", "傣族",           "黎族",       "傈傈族",   "佤族",       "畲族",   "高山族",   "拉祜族",
        "水族",     "东乡族",         "纳西族",     "景颇族",   "柯尔克孜族", "土族",   "达斡尔族", "仫佬族",
        "羌族",     "布朗族",         "撒拉族",     "毛南族",   "仡佬族",     "锡伯族", "阿昌族",   "普米族",
        "塔吉克族", "怒族",           "乌兹别克族", "俄罗斯族", "鄂温克族",   "崩龙族", "保安族",   "裕固族",
        "京族",     "塔塔尔族",       "独龙族",     "鄂伦春族", "赫哲族",     "门巴族", "珞巴族",   "基诺族",
        "其他",     "外国血统中国籍",
    };
    std::vector<CodeEntry> codes;
    int number = 0;
    for (const char* name : names) {
        ++number;
        std::string data = (number < 10 ? "0" : "") + std::to_string(number);
        codes.push_back({name, std::move(data)});
    }
    return codes;
}

// Technical titles as the contributor form offers them.
std::vector<CodeEntry> TitleFormCodes() {
    return {
        {"教授", "011"},       {"副教授", "012"},     {"讲师", "013"},       {"助教", "014"},
        {"研究员", "061"},     {"副研究员", "062"},   {"助理研究员", "063"}, {"研究实习员", "064"},
        {"高级实验师", "072"}, {"实验师", "073"},     {"助理实验师", "074"}, {"实验员", "075"},
        {"教授级高工", "081"}, {"高级工程师", "082"}, {"工程师", "083"},     {"助理工程师", "084"},
        {"高级农艺师", "092"}, {"农艺师", "093"},     {"助理农艺师", "094"}, {"农业技术员", "095"},
        {"高级兽医师", "102"}, {"兽医师", "103"},     {"助理兽医师", "104"}, {"兽医技术员", "105"},
        {"高级畜牧师", "112"}, {"畜牧师", "113"},     {"助理畜牧师", "114"}, {"畜牧技术员", "115"},
        {"高级经济师", "122"}, {"经济师", "123"},     {"助理经济师", "124"}, {"经济员", "125"},
        {"高级会计师", "132"}, {"会计师", "133"},     {"助理会计师", "134"}, {"会计员", "135"},
        {"高级统计师", "142"}, {"统计师", "143"},     {"助理统计师", "144"}, {"统计员", "145"},
        {"编审", "151"},       {"副编审", "152"},     {"编辑", "153"},       {"助理编辑", "154"},
        {"研究馆员", "211"},   {"副研究馆员", "212"}, {"馆员", "213"},       {"助理馆员", "214"},
        {"管理员", "215"},     {"主任医师", "231"},   {"副主任医师", "232"}, {"主治医师", "233"},
        {"医师", "234"},       {"医士", "235"},       {"主任药师", "241"},   {"副主任药师", "242"},
        {"主管药师", "243"},   {"药师", "244"},       {"药士", "245"},       {"主任护师", "251"},
        {"副主任护师", "252"}, {"主管护师", "253"},   {"护师", "254"},       {"护士", "255"},
        {"主任技师", "261"},   {"副主任技师", "262"}, {"主管技师", "263"},   {"技师", "264"},
        {"技士", "265"},       {"其它正高级", "301"}, {"其它副高级", "302"}, {"其它中级", "303"},
        {"其它初级", "304"},   {"未定", "305"},
    };
}

// Technical titles as the contributor list shows them. This table differs from the form's on
// purpose (085, 114, 302/303): records stored with either table must keep showing what they
// always showed, so neither table is "corrected" towards the other.
std::vector<CodeEntry> TitleListCodes() {
    return {
        {"教授", "011"},       {"副教授", "012"},     {"讲师", "013"},       {"助教", "014"},
        {"研究员", "061"},     {"副研究员", "062"},   {"助理研究员", "063"}, {"研究实习员", "064"},
        {"高级实验师", "072"}, {"实验师", "073"},     {"助理实验师", "074"}, {"实验员", "075"},
        {"教授级高工", "081"}, {"高级工程师", "082"}, {"工程师", "083"},     {"助理工程师", "084"},
        {"技术员", "085"},     {"高级农艺师", "092"}, {"农艺师", "093"},     {"助理农艺师", "094"},
        {"农业技术员", "095"}, {"高级兽医师", "102"}, {"兽医师", "103"},     {"助理兽医师", "104"},
        {"兽医技术员", "105"}, {"高级畜牧师", "112"}, {"畜牧师", "113"},     {"助理畜牧员", "114"},
        {"畜牧技术员", "115"}, {"高级经济师", "122"}, {"经济师", "123"},     {"助理经济师", "124"},
        {"经济员", "125"},     {"高级会计师", "132"}, {"会计师", "133"},     {"助理会计师", "134"},
        {"会计员", "135"},     {"高级统计师", "142"}, {"统计师", "143"},     {"助理统计师", "144"},
        {"统计员", "145"},     {"编审", "151"},       {"副编审", "152"},     {"编辑", "153"},
        {"助理编辑", "154"},   {"研究馆员", "211"},   {"副研究馆员", "212"}, {"馆员", "213"},
        {"助理馆员", "214"},   {"管理员", "215"},     {"主任医师", "231"},   {"副主任医师", "232"},
        {"主治医师", "233"},   {"医师", "234"},       {"医士", "235"},       {"主任药师", "241"},
        {"副主任药师", "242"}, {"主管药师", "243"},   {"药师", "244"},       {"药士", "245"},
        {"主任护师", "251"},   {"副主任护师", "252"}, {"主管护师", "253"},   {"护师", "254"},
        {"护士", "255"},       {"主任技师", "261"},   {"副主任技师", "262"}, {"主管技师", "263"},
        {"技师", "264"},       {"技士", "265"},       {"其它正高级", "301"}, {"其它副高级", "303"},
        {"其它初级", "304"},   {"未定", "305"},
    };
}

std::vector<CodeEntry> UnitTypeCodes() {
    return {
        {"科研院所", "01"},
        {"大专院校", "02"},
        {"重点实验室、科学研究中心、工程研究中心", "03"},
        {"国有企业", "04"},
        {"集体企业", "05"},
        {"股份制有限公司", "06"},
        {"中外合资（合作）", "07"},
        {"外商独资", "08"},
        {"民营企业", "09"},
        {"机关团体", "10"},
        {"医疗机构", "11"},
        {"转制研究所", "12"},
        {"非转制研究所", "13"},
        {"社会团体", "14"},
        {"事业单位", "15"},
        {"军队", "16"},
        {"其它", "99"},
    };
}

// Lists whose stored value is the display text itself.
std::vector<CodeEntry> SelfCoded(std::initializer_list<const char*> texts) {
    std::vector<CodeEntry> codes;
    for (const char* text : texts) codes.push_back({text, text});
    return codes;
}

std::vector<CodeEntry> PropertyKindCodes() {
    return SelfCoded({"发明专利", "植物新品种", "软件著作权", "其它"});
}

std::vector<CodeEntry> CountryCodes() {
    return SelfCoded({"中国", "美国", "欧洲", "日本", "香港", "台湾", "其它"});
}

// ---------------------------------------------------------------------------------------------
// Column builders: edit styles and presentation on top of schema::Column / schema::Char.

ColumnDef Edit(ColumnDef c, std::string label, int limit = 0) {
    c.label = std::move(label);
    c.edit = EditStyle::Edit;
    c.limit = limit;
    return c;
}

ColumnDef Masked(ColumnDef c, std::string label, std::string mask, std::string tag = {}) {
    c.label = std::move(label);
    c.edit = EditStyle::EditMask;
    c.mask = std::move(mask);
    c.tag = std::move(tag);
    return c;
}

ColumnDef DropDown(ColumnDef c, std::string label, std::vector<CodeEntry> codes, int limit = 0) {
    c.label = std::move(label);
    c.edit = EditStyle::DropDownList;
    c.codes = std::move(codes);
    c.limit = limit;
    return c;
}

ColumnDef CheckBox(ColumnDef c, std::string label, std::string on, std::string off) {
    c.label = std::move(label);
    c.edit = EditStyle::CheckBox;
    c.checkOn = std::move(on);
    c.checkOff = std::move(off);
    return c;
}

ColumnDef ShowOnly(ColumnDef c, std::string label) {
    c.label = std::move(label);
    c.edit = EditStyle::Edit;
    c.displayOnly = true;
    return c;
}

ColumnDef Tagged(ColumnDef c, std::string tag) {
    c.tag = std::move(tag);
    return c;
}

ColumnDef Centred(ColumnDef c) {
    c.align = Align::Center;
    return c;
}

ColumnDef RightAligned(ColumnDef c) {
    c.align = Align::Right;
    return c;
}

ColumnDef MultiLine(ColumnDef c, int lines) {
    c.lines = lines;
    return c;
}

// The project number that ties every detail row to its recommendation: never shown, never typed.
ColumnDef ProjectKey(const char* table) {
    ColumnDef c = Char(table, "xm_id", 40);
    c.visible = false;
    c.tabOrder = 0;
    return c;
}

ColumnDef& Col(DataWindowDef& d, std::string_view name) {
    for (ColumnDef& c : d.columns) {
        if (rt::SameName(c.name, name)) return c;
    }
    throw std::logic_error("no column " + std::string(name) + " in " + d.name);
}

std::string Select(const std::vector<ColumnDef>& columns, std::string_view rest) {
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) sql += ", ";
        sql += columns[i].dbName;
    }
    sql += ' ';
    sql += rest;
    return sql;
}

void Keys(DataWindowDef& d, std::initializer_list<std::string_view> names) {
    for (std::string_view name : names) Col(d, name).key = true;
}

void UpdatableExcept(DataWindowDef& d, std::initializer_list<std::string_view> readOnly) {
    for (ColumnDef& c : d.columns) {
        c.updatable = true;
        for (std::string_view name : readOnly) {
            if (rt::SameName(c.name, name)) c.updatable = false;
        }
    }
}

// Tab stops 1, 2, 3 ... in the order given; every other column takes no focus.
void TabOrder(DataWindowDef& d, std::initializer_list<std::string_view> names) {
    for (ColumnDef& c : d.columns) c.tabOrder = 0;
    int order = 0;
    for (std::string_view name : names) Col(d, name).tabOrder = ++order;
}

// ---------------------------------------------------------------------------------------------
// Framed forms. Every row of the printed table spans the frame from kFrameLeft to kFrameRight; a
// field sits in its cell with a margin, its label in the cell to its left.

constexpr int kFrameLeft = 14;
constexpr int kFrameRight = 3520;
constexpr int kRow = 96;         // one line of the table
constexpr int kTextHeight = 64;  // one line of label text
constexpr int kPadX = 10;
constexpr int kPadY = 12;

// The rule above a row and its cell separators (the outer frame included).
void FrameRow(DataWindowDef& d, int top, int bottom, std::initializer_list<int> separators) {
    d.lines.push_back({rt::Band::Detail, kFrameLeft, top, kFrameRight, top});
    d.lines.push_back({rt::Band::Detail, kFrameLeft, top, kFrameLeft, bottom});
    for (int x : separators) d.lines.push_back({rt::Band::Detail, x, top, x, bottom});
    d.lines.push_back({rt::Band::Detail, kFrameRight, top, kFrameRight, bottom});
}

void CloseFrame(DataWindowDef& d, int bottom) {
    d.lines.push_back({rt::Band::Detail, kFrameLeft, bottom, kFrameRight, bottom});
}

// Label in [labelLeft, fieldLeft), field in [fieldLeft, right), in the row from `top` of `height`.
void Place(ColumnDef& c, int labelLeft, int fieldLeft, int right, int top, int height = kRow) {
    c.labelX = labelLeft + kPadX;
    c.labelWidth = fieldLeft - labelLeft - 2 * kPadX;
    c.labelY = top + (height - kTextHeight) / 2;
    c.labelHeight = kTextHeight;
    c.x = fieldLeft + kPadX;
    c.width = right - fieldLeft - 2 * kPadX;
    c.y = top + kPadY;
    c.height = height - 2 * kPadY;
}

rt::TextDef CellText(std::string name, std::string text, int left, int right, int top, int height = kRow) {
    rt::TextDef t;
    t.name = std::move(name);
    t.text = std::move(text);
    t.x = left + kPadX;
    t.width = right - left - 2 * kPadX;
    t.y = top + (height - kTextHeight) / 2;
    t.height = kTextHeight;
    return t;
}

// The hidden key goes below the frame, clear of every field.
void PlaceHiddenKey(ColumnDef& c, int frameBottom) {
    c.x = kFrameRight - 140;
    c.width = 140;
    c.y = frameBottom + 8;
    c.height = 40;
}

// ---------------------------------------------------------------------------------------------
// Grids: adjoining columns under one line of headings.

constexpr int kGridLeft = 9;
constexpr int kGridHeader = 88;
constexpr int kGridRow = 80;

struct GridSlot {
    std::string_view column;
    int width;
};

void GridColumns(DataWindowDef& d, std::initializer_list<GridSlot> slots) {
    int x = kGridLeft;
    for (const GridSlot& slot : slots) {
        ColumnDef& c = Col(d, slot.column);
        c.x = x;
        c.width = slot.width;
        c.y = 4;
        c.height = kGridRow - 8;
        x += slot.width;
    }
}

void GreyCurrentRow(DataWindowDef& d) {
    for (ColumnDef& c : d.columns) c.currentRowGrey = true;
}

// ---------------------------------------------------------------------------------------------
// dw_71: one contributor.

DataWindowDef Dw71() {
    const char* t = kPersons;
    DataWindowDef d;
    d.name = "dw_71";
    d.presentation = rt::Presentation::Freeform;
    d.arguments = {{"current", ColType::Char}, {"current_ry", ColType::Long}};
    d.updateTable = kPersons;
    d.columns = {
        Edit(Char(t, "ry_name", 30), "姓        名", 10),
        Centred(ShowOnly(Column(t, "ry_no", ColType::Long), "排        名")),
        Centred(DropDown(Char(t, "mz_nationcode", 5), "民        族", NationalityCodes())),
        Centred(Masked(Column(t, "ry_birthday", ColType::Date), "出生年月", "yyyy-mm")),
        Centred(DropDown(Char(t, "xb_sex", 5), "性        别", SexCodes())),
        Masked(Char(t, "ry_id", 30), "身份证号", "aaa  aaa  aaa  aaa  aaa  aaa", kMaskTag),
        DropDown(Char(t, "dp_sectcode", 5), "政治面貌", PoliticalStatusCodes()),
        Edit(Char(t, "ry_position", 100), "行政职务", 10),
        Edit(Char(t, "ry_unit", 100), "工作单位", 40),
        Masked(Char(t, "ry_fixtel", 20), "固定电话", "####-########", kMaskTag),
        Edit(Char(t, "ry_postaddr", 100), "通讯地址", 40),
        Masked(Char(t, "ry_postcode", 6), "邮政编码", "######", kMaskTag),
        Edit(Char(t, "ry_email", 100), "电子邮箱", 40),
        Masked(Char(t, "ry_mpno", 20), "移动电话", "############", kMaskTag),
        Edit(Char(t, "ry_grduniv", 100), "毕业学校", 40),
        DropDown(Char(t, "wp_edulev", 5), "文化程度", EducationCodes()),
        Masked(Column(t, "ry_grdtime", ColType::Date), "毕业时间", "yyyy-mm"),
        Edit(Char(t, "ry_workmajor", 100), "所学专业", 22),
        Edit(Char(t, "ry_specmajor", 100), "从事专业", 22),
        DropDown(Char(t, "xw_degree", 5), "最高学位", DegreeCodes()),
        Edit(Char(t, "ry_honor", 400), "曾获科技奖励情况", 150),
        Masked(Column(t, "ry_start", ColType::Date), "开始", "yyyy-mm"),
        Masked(Column(t, "ry_finish", ColType::Date), "结束", "yyyy-mm"),
        MultiLine(Edit(Char(t, "ry_contribution", 800), "对项目主要技术贡献(200汉字)", 400), 6),
        DropDown(Char(t, "zc_titlecode", 5), "技术职称", TitleFormCodes()),
        ProjectKey(t),
        Edit(Char(t, "ry_bplace", 10), "出  生  地"),
    };
    d.select = Select(
        d.columns, "FROM j_ry_finish WHERE j_ry_finish.xm_id = :current AND j_ry_finish.ry_no = :current_ry");
    Keys(d, {"ry_no", "xm_id"});
    UpdatableExcept(d, {"xm_id"});
    TabOrder(d,
             {"ry_name",       "ry_id",          "ry_no",       "xb_sex",     "ry_birthday", "ry_bplace",
              "mz_nationcode", "ry_position",    "dp_sectcode", "wp_edulev",  "xw_degree",   "zc_titlecode",
              "ry_workmajor",  "ry_specmajor",   "ry_grduniv",  "ry_grdtime", "ry_unit",     "ry_fixtel",
              "ry_postaddr",   "ry_postcode",    "ry_email",    "ry_mpno",    "ry_honor",    "ry_start",
              "ry_finish",     "ry_contribution"});

    // Cell boundaries: four label/field pairs across (rows 2 and 3), two pairs below.
    constexpr int q1 = 890, q2 = 1767, q3 = 2643;  // quarters
    constexpr int half = 2205;                     // the right-hand pair of the two-pair rows
    constexpr int label = 360;                     // width of a label cell
    int top = 16;

    FrameRow(d, top, top + kRow, {kFrameLeft + label, q1, q1 + label, q3, q3 + label});
    Place(Col(d, "ry_name"), kFrameLeft, kFrameLeft + label, q1, top);
    Place(Col(d, "ry_id"), q1, q1 + label, q3, top);
    Place(Col(d, "ry_no"), q3, q3 + label, kFrameRight, top);
    top += kRow;

    FrameRow(d, top, top + kRow, {kFrameLeft + label, q1, q1 + label, q2, q2 + label, q3, q3 + label});
    Place(Col(d, "xb_sex"), kFrameLeft, kFrameLeft + label, q1, top);
    Place(Col(d, "ry_birthday"), q1, q1 + label, q2, top);
    Place(Col(d, "ry_bplace"), q2, q2 + label, q3, top);
    Place(Col(d, "mz_nationcode"), q3, q3 + label, kFrameRight, top);
    top += kRow;

    FrameRow(d, top, top + kRow, {kFrameLeft + label, q1, q1 + label, q2, q2 + label, q3, q3 + label});
    Place(Col(d, "ry_position"), kFrameLeft, kFrameLeft + label, q1, top);
    Place(Col(d, "dp_sectcode"), q1, q1 + label, q2, top);
    Place(Col(d, "wp_edulev"), q2, q2 + label, q3, top);
    Place(Col(d, "xw_degree"), q3, q3 + label, kFrameRight, top);
    top += kRow;

    FrameRow(d, top, top + kRow, {kFrameLeft + label, q1, q1 + label, half, half + label});
    Place(Col(d, "zc_titlecode"), kFrameLeft, kFrameLeft + label, q1, top);
    Place(Col(d, "ry_workmajor"), q1, q1 + label, half, top);
    Place(Col(d, "ry_specmajor"), half, half + label, kFrameRight, top);
    top += kRow;

    for (auto [left, right] : {std::pair{"ry_grduniv", "ry_grdtime"}, std::pair{"ry_unit", "ry_fixtel"},
                               std::pair{"ry_postaddr", "ry_postcode"}, std::pair{"ry_email", "ry_mpno"}}) {
        FrameRow(d, top, top + kRow, {kFrameLeft + label, half, half + label});
        Place(Col(d, left), kFrameLeft, kFrameLeft + label, half, top);
        Place(Col(d, right), half, half + label, kFrameRight, top);
        top += kRow;
    }

    constexpr int wideLabel = 534;  // label cell of the honours and the period caption
    FrameRow(d, top, top + kRow, {wideLabel});
    Place(Col(d, "ry_honor"), kFrameLeft, wideLabel, kFrameRight, top);
    top += kRow;

    FrameRow(d, top, top + kRow, {wideLabel, wideLabel + label, half, half + label});
    d.texts.push_back(CellText("t_1", "参加项目起止时间", kFrameLeft, wideLabel, top));
    Place(Col(d, "ry_start"), wideLabel, wideLabel + label, half, top);
    Place(Col(d, "ry_finish"), half, half + label, kFrameRight, top);
    Col(d, "ry_start").labelText = Col(d, "ry_finish").labelText = "t_1";
    top += kRow;

    constexpr int contributionLabel = 834;
    constexpr int contributionHeight = 464;
    FrameRow(d, top, top + contributionHeight, {contributionLabel});
    Place(Col(d, "ry_contribution"), kFrameLeft, contributionLabel, kFrameRight, top, contributionHeight);
    top += contributionHeight;
    CloseFrame(d, top);

    PlaceHiddenKey(Col(d, "xm_id"), top);
    d.width = 3543;
    d.detailHeight = top + 56;
    return d;
}

// ---------------------------------------------------------------------------------------------
// dw_72: the contributor list, the chooser of the contributor shown in dw_71. Nothing in it takes
// input; sex, birthday and title are read only and never written back from here.

DataWindowDef Dw72() {
    const char* t = kPersons;
    DataWindowDef d;
    d.name = "dw_72";
    d.presentation = rt::Presentation::Grid;
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kPersons;
    d.columns = {
        Centred(ShowOnly(Column(t, "ry_no", ColType::Long), "排序")),
        ShowOnly(Char(t, "ry_name", 30), "姓名"),
        Centred(DropDown(Char(t, "xb_sex", 5), "性别", SexCodes())),
        Centred(Masked(Column(t, "ry_birthday", ColType::Date), "出生年月", "yyyy-mm")),
        ShowOnly(Char(t, "ry_unit", 100), "单    位"),
        DropDown(Char(t, "zc_titlecode", 5), "技术职称", TitleListCodes()),
        ProjectKey(t),
    };
    d.select = Select(d.columns,
                      "FROM j_ry_finish WHERE j_ry_finish.xm_id = :current ORDER BY j_ry_finish.ry_no ASC");
    Keys(d, {"ry_no", "xm_id"});
    UpdatableExcept(d, {"xb_sex", "ry_birthday"});
    TabOrder(d, {"ry_no", "ry_name", "ry_unit"});
    GreyCurrentRow(d);
    GridColumns(d, {{"ry_no", 240},
                    {"ry_name", 500},
                    {"ry_unit", 1300},
                    {"xb_sex", 260},
                    {"ry_birthday", 420},
                    {"zc_titlecode", 600},
                    {"xm_id", 60}});
    d.width = 3463;
    d.headerHeight = kGridHeader;
    d.detailHeight = kGridRow;
    return d;
}

// ---------------------------------------------------------------------------------------------
// dw_81: one contributing unit.

DataWindowDef Dw81() {
    const char* t = kUnits;
    DataWindowDef d;
    d.name = "dw_81";
    d.presentation = rt::Presentation::Freeform;
    d.arguments = {{"current", ColType::Char}, {"current_dw", ColType::Long}};
    d.updateTable = kUnits;
    d.columns = {
        Tagged(Edit(Char(t, "dw_name", 40), "单位名称", 40), "完成单位名称，限20个汉字。"),
        Centred(ShowOnly(Column(t, "dw_no", ColType::Long), "排        名")),
        DropDown(Char(t, "dx_unprocode", 5), "单位性质", UnitTypeCodes()),
        Masked(Char(t, "dw_fax", 40), "传        真", "####-########", kMaskTag),
        Edit(Char(t, "dw_rperson", 16), "联  系  人", 10),
        Masked(Char(t, "dw_rtelphone", 20), "固定电话", "####-########", kMaskTag),
        Masked(Char(t, "ry_mpno", 20), "移动电话", "############", kMaskTag),
        Edit(Char(t, "dw_postaddr", 100), "联系地址", 60),
        Edit(Char(t, "dw_emailbox", 100), "电子邮件", 100),
        Masked(Char(t, "dw_postcode", 6), "邮政编码", "######"),
        MultiLine(Edit(Char(t, "dw_contribute", 1400), "主要贡献(200汉字)", 400), 7),
        ProjectKey(t),
    };
    d.select = Select(
        d.columns, "FROM j_dw_finish WHERE j_dw_finish.xm_id = :current AND j_dw_finish.dw_no = :current_dw");
    Keys(d, {"dw_no", "xm_id"});
    UpdatableExcept(d, {});
    TabOrder(d, {"dw_name", "dw_no", "dx_unprocode", "dw_fax", "dw_rperson", "dw_rtelphone", "ry_mpno",
                 "dw_postaddr", "dw_emailbox", "dw_postcode", "dw_contribute"});

    // Cell boundaries: three label/field pairs across.
    constexpr int t1 = 1183, t2 = 2351;  // thirds
    constexpr int label = 360;
    int top = 16;

    FrameRow(d, top, top + kRow, {kFrameLeft + label});
    Place(Col(d, "dw_name"), kFrameLeft, kFrameLeft + label, kFrameRight, top);
    top += kRow;

    for (auto [first, second, third] : {std::tuple{"dw_no", "dx_unprocode", "dw_fax"},
                                        std::tuple{"dw_rperson", "dw_rtelphone", "ry_mpno"}}) {
        FrameRow(d, top, top + kRow, {kFrameLeft + label, t1, t1 + label, t2, t2 + label});
        Place(Col(d, first), kFrameLeft, kFrameLeft + label, t1, top);
        Place(Col(d, second), t1, t1 + label, t2, top);
        Place(Col(d, third), t2, t2 + label, kFrameRight, top);
        top += kRow;
    }

    FrameRow(d, top, top + kRow, {kFrameLeft + label});
    Place(Col(d, "dw_postaddr"), kFrameLeft, kFrameLeft + label, kFrameRight, top);
    top += kRow;

    FrameRow(d, top, top + kRow, {kFrameLeft + label, t2, t2 + label});
    Place(Col(d, "dw_emailbox"), kFrameLeft, kFrameLeft + label, t2, top);
    Place(Col(d, "dw_postcode"), t2, t2 + label, kFrameRight, top);
    top += kRow;

    constexpr int contributeLabel = 554;
    constexpr int contributeHeight = 576;
    FrameRow(d, top, top + contributeHeight, {contributeLabel});
    Place(Col(d, "dw_contribute"), kFrameLeft, contributeLabel, kFrameRight, top, contributeHeight);
    top += contributeHeight;
    CloseFrame(d, top);

    PlaceHiddenKey(Col(d, "xm_id"), top);
    d.width = 3543;
    d.detailHeight = top + 56;
    return d;
}

// ---------------------------------------------------------------------------------------------
// dw_82: the unit list, the chooser of the unit shown in dw_81.

DataWindowDef Dw82() {
    const char* t = kUnits;
    DataWindowDef d;
    d.name = "dw_82";
    d.presentation = rt::Presentation::Grid;
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kUnits;
    d.columns = {
        Centred(ShowOnly(Column(t, "dw_no", ColType::Long), "排序")),
        ShowOnly(Char(t, "dw_name", 40), "单位名称"),
        ShowOnly(Char(t, "dw_rperson", 16), "联系人"),
        ShowOnly(Char(t, "dw_rtelphone", 20), "联系电话"),
        ProjectKey(t),
    };
    d.select = Select(d.columns,
                      "FROM j_dw_finish WHERE j_dw_finish.xm_id = :current ORDER BY j_dw_finish.dw_no ASC");
    Keys(d, {"dw_no", "xm_id"});
    UpdatableExcept(d, {});
    TabOrder(d, {"dw_no", "dw_name", "dw_rperson", "dw_rtelphone"});
    GreyCurrentRow(d);
    GridColumns(
        d, {{"dw_no", 240}, {"dw_name", 1700}, {"dw_rperson", 650}, {"dw_rtelphone", 780}, {"xm_id", 60}});
    d.width = 3463;
    d.headerHeight = kGridHeader;
    d.detailHeight = kGridRow;
    return d;
}

// ---------------------------------------------------------------------------------------------
// dw_91: the application units, edited in the list itself (the running number included).

DataWindowDef Dw91() {
    const char* t = kApplications;
    DataWindowDef d;
    d.name = "dw_91";
    d.presentation = rt::Presentation::Grid;
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kApplications;
    d.columns = {
        Centred(Edit(Column(t, "yy_id", ColType::Long), "序号")),
        Edit(Char(t, "dw_unitname", 100), "应用单位名称", 40),
        Centred(Masked(Column(t, "yy_stsatdate", ColType::Date), "应用时间", "yyyy")),
        Edit(Char(t, "dw_rperson", 200), "联系人及电话", 24),
        RightAligned(Masked(Column(t, "yy_benefit", ColType::Decimal), "产生的效益", "###,###.00")),
        Centred(CheckBox(Char(t, "sf_submit", 1), "是否有证明", "1", "0")),
        ProjectKey(t),
    };
    d.select = Select(d.columns, "FROM j_yy_app WHERE j_yy_app.xm_id = :current ORDER BY j_yy_app.yy_id ASC");
    Keys(d, {"yy_id", "xm_id"});
    UpdatableExcept(d, {});
    TabOrder(d, {"yy_id", "dw_unitname", "yy_stsatdate", "dw_rperson", "yy_benefit", "sf_submit"});
    GreyCurrentRow(d);
    GridColumns(d, {{"yy_id", 220},
                    {"dw_unitname", 1200},
                    {"yy_stsatdate", 340},
                    {"dw_rperson", 860},
                    {"yy_benefit", 420},
                    {"sf_submit", 330},
                    {"xm_id", 60}});
    d.width = 3458;
    d.headerHeight = kGridHeader;
    d.detailHeight = kGridRow;
    return d;
}

// ---------------------------------------------------------------------------------------------
// dw_92 and dw_94: one long text of j_xm_base in a tall box under its heading.

DataWindowDef LongTextForm(std::string name, ColumnDef text, int pageHeight) {
    DataWindowDef d;
    d.name = std::move(name);
    d.presentation = rt::Presentation::Freeform;
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kProject;
    const std::string textColumn = text.name;
    d.columns = {std::move(text), ProjectKey(kProject)};
    d.select = Select(d.columns, "FROM j_xm_base WHERE j_xm_base.xm_id = :current");
    Keys(d, {"xm_id"});
    UpdatableExcept(d, {"xm_id"});
    TabOrder(d, {textColumn});

    const int top = 8;
    const int boxTop = top + kRow;
    const int bottom = pageHeight - 60;  // room below the frame for the hidden key
    FrameRow(d, top, boxTop, {});
    FrameRow(d, boxTop, bottom, {});
    CloseFrame(d, bottom);

    ColumnDef& c = Col(d, textColumn);
    c.labelX = kFrameLeft + kPadX;
    c.labelWidth = kFrameRight - kFrameLeft - 2 * kPadX;
    c.labelY = top + (kRow - kTextHeight) / 2;
    c.labelHeight = kTextHeight;
    c.x = kFrameLeft + kPadX;
    c.width = kFrameRight - kFrameLeft - 2 * kPadX;
    c.y = boxTop + kPadY;
    c.height = bottom - boxTop - 2 * kPadY;
    c.lines = c.height / 72;

    PlaceHiddenKey(Col(d, "xm_id"), bottom);
    d.width = 3543;
    d.detailHeight = pageHeight;
    return d;
}

DataWindowDef Dw92() {
    return LongTextForm(
        "dw_92",
        Edit(Char(kProject, "xm_pingjia", 2000),
             "2、技术评价证明及国家法律法规要求行业审批文件目录(评价证书、检测证明等，不超过1000汉字)", 2000),
        2000);
}

DataWindowDef Dw94() {
    return LongTextForm(
        "dw_94", Edit(Char(kProject, "xm_papers", 2000), "4、10篇代表性论文、专著目录 (不超过800汉字)", 1600),
        1980);
}

// ---------------------------------------------------------------------------------------------
// dw_93: intellectual property, edited in the list itself; the running number is kept by the
// list buttons and cannot be typed over.

DataWindowDef Dw93() {
    const char* t = kProperty;
    DataWindowDef d;
    d.name = "dw_93";
    d.presentation = rt::Presentation::Grid;
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kProperty;
    d.columns = {
        Centred(ShowOnly(Column(t, "zl_id", ColType::Long), "序号")),
        Edit(Char(t, "zl_name", 256), "授权(申请)项目名称", 64),
        DropDown(Char(t, "zl_sortcode", 12), "知识产权类别", PropertyKindCodes(), 12),
        Centred(DropDown(Char(t, "zl_nation", 30), "国别", CountryCodes(), 8)),
        Edit(Char(t, "zl_appno", 20), "申请号", 20),
        Edit(Char(t, "zl_no", 20), "授权号", 20),
        ProjectKey(t),
    };
    d.select = Select(d.columns,
                      "FROM j_zl_patent WHERE j_zl_patent.xm_id = :current ORDER BY j_zl_patent.zl_id ASC");
    Keys(d, {"zl_id", "xm_id"});
    UpdatableExcept(d, {});
    TabOrder(d, {"zl_id", "zl_name", "zl_sortcode", "zl_nation", "zl_appno", "zl_no"});
    GreyCurrentRow(d);
    GridColumns(d, {{"zl_id", 220},
                    {"zl_name", 1160},
                    {"zl_sortcode", 440},
                    {"zl_nation", 300},
                    {"zl_appno", 620},
                    {"zl_no", 620},
                    {"xm_id", 60}});
    d.width = 3458;
    d.headerHeight = kGridHeader;
    d.detailHeight = kGridRow;
    return d;
}

}  // namespace

void RegisterPeopleObjects() {
    rt::RegisterDefinition(Dw71());
    rt::RegisterDefinition(Dw72());
    rt::RegisterDefinition(Dw81());
    rt::RegisterDefinition(Dw82());
    rt::RegisterDefinition(Dw91());
    rt::RegisterDefinition(Dw92());
    rt::RegisterDefinition(Dw93());
    rt::RegisterDefinition(Dw94());
}

}  // namespace schema

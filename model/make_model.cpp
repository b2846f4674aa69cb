// Builds the recommendation form template m_model2.docx: the fixed parts come as they are from the
// folder given first, the body of the form (word/document.xml) is laid out below, and all of it is
// packed into the file given second.
//
// The printing steps address the form by bookmark name and by table number (the tables directly in
// the body, counted from 1 in document order), so the order of the tables below is part of the
// contract:
//    1 project data (section 一)            9 first contributor (七)
//    2 summary (二)                         10 further contributors (七): heading row + 14 rows
//    3 findings and innovations (三)        11 contributing units (八): heading row + 9 rows
//    4 recommending unit's opinion (四)     12 application units (九.1): 2 heading rows + 12 rows
//    5 direct benefit (五.1): 3 heading rows, years in rows 4-6, totals in row 7
//    6 indirect benefit (五.2): 2 heading rows, years in rows 3-5, totals in row 6
//    7 social benefit (五.3)                13 evaluation documents (九.2)
//    8 awards (六): heading row + 10 rows   14 intellectual property (九.3): 2 heading rows + 12 rows
//                                           15 representative papers (九.4)
// The cover and section 十 hold no table.

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <numeric>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

// ---- paragraphs ----------------------------------------------------------------------------------

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::set<std::string> g_bookmarks;
int g_nextBookmarkId = 0;

std::string Run(std::string_view text, std::string_view rPr = "") {
    std::string out = "<w:r>";
    if (!rPr.empty()) out += "<w:rPr>" + std::string(rPr) + "</w:rPr>";
    return out + "<w:t xml:space=\"preserve\">" + Escape(text) + "</w:t></w:r>";
}

// A place for a value: a bookmark holding nothing, so the value takes the paragraph's formatting.
// With a format, the bookmark holds an empty run of that format, which the value then takes.
std::string Field(const std::string& name, std::string_view rPr = "") {
    if (!g_bookmarks.insert(name).second) throw std::runtime_error("bookmark used twice: " + name);
    const std::string id = std::to_string(g_nextBookmarkId++);
    std::string out = "<w:bookmarkStart w:id=\"" + id + "\" w:name=\"" + Escape(name) + "\"/>";
    if (!rPr.empty()) out += "<w:r><w:rPr>" + std::string(rPr) + "</w:rPr></w:r>";
    return out + "<w:bookmarkEnd w:id=\"" + id + "\"/>";
}

std::string Para(std::string_view style, const std::string& content = "", bool newPage = false) {
    std::string out = "<w:p><w:pPr><w:pStyle w:val=\"" + std::string(style) + "\"/>";
    if (newPage) out += "<w:pageBreakBefore/>";
    return out + "</w:pPr>" + content + "</w:p>";
}

std::string Heading(std::string_view text) {
    return Para("SectionHeading", Run(text), true);
}
std::string SubHeading(std::string_view text) {
    return Para("SubHeading", Run(text));
}
std::string Note(std::string_view text) {
    return Para("Note", Run(text));
}

// ---- tables --------------------------------------------------------------------------------------

enum class Merge { None, Restart, Continue };

struct Cell {
    std::string body;  // paragraphs
    int span = 1;
    Merge merge = Merge::None;
    bool top = false;  // long texts start at the top of their cell; everything else is centred
};

Cell Top(Cell c) {
    c.top = true;
    return c;
}

Cell Label(std::string_view text, int span = 1) {
    return {Para("CellLabel", Run(text)), span};
}
Cell Value(const std::string& bookmark, int span = 1, std::string_view style = "CellText") {
    return {Para(style, Field(bookmark)), span};
}
Cell Blank(std::string_view style = "CellText", int span = 1) {
    return {Para(style), span};
}
Cell MergedLabel(std::string_view text) {
    return {Para("CellLabel", Run(text)), 1, Merge::Restart};
}
Cell MergedBelow() {
    return {Para("CellLabel"), 1, Merge::Continue};
}

struct Row {
    std::vector<Cell> cells;
    int height = 454;  // at least, in twentieths of a point
    bool heading = false;
};

constexpr int kTextWidth = 9638;  // A4 less two 2 cm margins

std::string Table(const std::vector<int>& grid, const std::vector<Row>& rows) {
    if (std::accumulate(grid.begin(), grid.end(), 0) != kTextWidth)
        throw std::runtime_error("a table is not as wide as the text");
    std::string out = "<w:tbl><w:tblPr><w:tblW w:w=\"" + std::to_string(kTextWidth) +
                      "\" w:type=\"dxa\"/><w:jc w:val=\"center\"/><w:tblBorders>"
                      "<w:top w:val=\"single\" w:sz=\"8\" w:space=\"0\" w:color=\"000000\"/>"
                      "<w:left w:val=\"single\" w:sz=\"8\" w:space=\"0\" w:color=\"000000\"/>"
                      "<w:bottom w:val=\"single\" w:sz=\"8\" w:space=\"0\" w:color=\"000000\"/>"
                      "<w:right w:val=\"single\" w:sz=\"8\" w:space=\"0\" w:color=\"000000\"/>"
                      "<w:insideH w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"000000\"/>"
                      "<w:insideV w:val=\"single\" w:sz=\"4\" w:space=\"0\" w:color=\"000000\"/>"
                      "</w:tblBorders><w:tblLayout w:type=\"fixed\"/><w:tblCellMar>"
                      "<w:left w:w=\"85\" w:type=\"dxa\"/><w:right w:w=\"85\" w:type=\"dxa\"/>"
                      "</w:tblCellMar><w:tblLook w:val=\"0000\"/></w:tblPr><w:tblGrid>";
    for (int w : grid) out += "<w:gridCol w:w=\"" + std::to_string(w) + "\"/>";
    out += "</w:tblGrid>";
    for (const Row& row : rows) {
        out += "<w:tr><w:trPr><w:cantSplit/><w:trHeight w:val=\"" + std::to_string(row.height) +
               "\" w:hRule=\"atLeast\"/>";
        if (row.heading) out += "<w:tblHeader/>";
        out += "</w:trPr>";
        std::size_t column = 0;
        for (const Cell& cell : row.cells) {
            int width = 0;
            for (int k = 0; k < cell.span; ++k) {
                if (column >= grid.size()) throw std::runtime_error("a row is wider than its table");
                width += grid[column++];
            }
            out += "<w:tc><w:tcPr><w:tcW w:w=\"" + std::to_string(width) + "\" w:type=\"dxa\"/>";
            if (cell.span > 1) out += "<w:gridSpan w:val=\"" + std::to_string(cell.span) + "\"/>";
            if (cell.merge == Merge::Restart) out += "<w:vMerge w:val=\"restart\"/>";
            if (cell.merge == Merge::Continue) out += "<w:vMerge/>";
            out += std::string("<w:vAlign w:val=\"") + (cell.top ? "top" : "center") + "\"/></w:tcPr>" +
                   cell.body + "</w:tc>";
        }
        if (column != grid.size()) throw std::runtime_error("a row is narrower than its table");
        out += "</w:tr>";
    }
    return out + "</w:tbl>";
}

// A framed box for a long text: the value's paragraph first, then whatever follows it.
std::string Box(const std::string& bookmark, int height, const std::string& after = "") {
    Row row{{Top(Cell{Para("BoxText", Field(bookmark)) + after})}, height};
    return Table({kTextWidth}, {row});
}

// A list table: its heading rows, then empty rows in the data columns' styles.
std::string List(const std::vector<int>& grid, std::vector<Row> headings,
                 const std::vector<std::string>& styles, int rows) {
    for (Row& h : headings) h.heading = true;
    for (int i = 0; i < rows; ++i) {
        Row r;
        for (const std::string& s : styles) r.cells.push_back(Blank(s));
        headings.push_back(r);
    }
    return Table(grid, headings);
}

// ---- the form ------------------------------------------------------------------------------------

std::string Cover() {
    const std::string fill = "<w:u w:val=\"single\"/>";
    std::string out;
    out += Para("CoverNumber", Run("推荐号：") + Field("xm_askno", fill));
    out += Para("CoverNumber", Run("版本号：") + Field("XM_VERSION", fill));
    for (int i = 0; i < 4; ++i) out += Para("Normal");
    out += Para("FormTitle", Run("Varenth省科学技术奖"));
    out += Para("FormTitle", Run("推　荐　书"));
    for (int i = 0; i < 3; ++i) out += Para("Normal");
    out += Para("CoverLine", Run("主要完成人：") + Field("xm_wcr", fill));
    out += Para("CoverLine", Run("主要完成单位：") + Field("xm_wcdw", fill));
    out += Para("CoverLine", Run("推荐单位（盖章）："));
    out += Para("CoverLine", Run("推荐时间：　　　　年　　月　　日"));
    out += Para("CoverFoot", Run("Varenth省科学技术奖励委员会办公室制"));
    return out;
}

std::string ProjectData() {
    std::string out = Heading("一、项目基本情况");
    const std::vector<int> grid = {1250, 850, 2650, 1500, 1000, 2388};
    std::vector<Row> rows = {
        {{Label("评审组", 2), Value("xk_grpno"), Label("项目类别"), Value("jb_awardcode", 2)}},
        {{MergedLabel("项目名称"), Label("中文"), Value("xm_name", 4)}},
        {{MergedBelow(), Label("英文"), Value("xm_ename", 4)}},
        {{Label("推荐单位", 2), Value("xm_tjdw", 4)}},
        {{Label("项目名称可否公布", 2), Value("SF_PUBLIC"), Label("密级"), Value("MJ_SECRCODE", 2)}},
        {{Label("保密期限（年）", 2), Value("XM_SECRTERM"), Label("定密机关"), Value("XM_FIXSECRORGAN", 2)}},
        {{Label("主题词", 2), Value("XM_TOPICWORD", 4)}},
    };
    for (int i = 1; i <= 3; ++i) {
        const std::string n = std::to_string(i);
        rows.push_back(
            {{i == 1 ? MergedLabel("学科分类") : MergedBelow(), Label("代码"),
              Value("XK_MAJORCODE" + n, 1, "CellCenter"), Label("名称"), Value("XK_MAJORNAME" + n, 2)}});
    }
    rows.push_back({{Label("所属国民经济行业", 2), Value("HY_ETRADECODE", 4)}});
    rows.push_back({{Label("任务来源", 2), Value("LY_SOCUCODE", 4)}});
    rows.push_back({{Label("具体计划、基金的名称和编号", 2), Top(Value("XM_PLANNAME", 4))}, 1400});
    rows.push_back({{Label("科技成果登记号", 2), Value("XM_NO", 4)}});
    rows.push_back({{Label("项目开始时间", 2), Value("XM_STARTDATE", 1, "CellCenter"), Label("项目完成时间"),
                     Value("XM_FINISHDATE", 2, "CellCenter")}});
    return out + Table(grid, rows);
}

std::string Texts() {
    std::string out;
    out += Heading("二、项目简介");
    out += Note("项目立项背景、主要研究内容及结果、应用推广及取得的经济效益等（不超过1000汉字）");
    out += Box("XM_ABSTRACT", 12000);
    out += Heading("三、主要发现、发明及技术创新点");
    out += Note("项目创新方面简明、扼要的阐述（不超过500个汉字）");
    out += Box("XM_INNOVATION", 12000);
    out += Heading("四、推荐单位意见");
    out += Note("（不超过500个汉字）");
    std::string seal;
    for (int i = 0; i < 4; ++i) seal += Para("Normal");
    seal += Para("Signature", Run("推荐单位（盖章）"));
    seal += Para("Signature", Run("年　　月　　日"));
    out += Box("XM_RECOM", 11000, seal);
    return out;
}

const std::vector<int> kBenefitGrid = {1400, 1646, 1646, 1646, 1650, 1650};

Row BenefitHeadings() {
    Row r{{Label("年份"), Label("新增销售"), Label("新增利润"), Label("新增税收"), Label("创收外汇(万美元)"),
           Label("节支总额")}};
    r.heading = true;
    return r;
}

Row Unit() {
    return {{Cell{Para("CellNumber", Run("单位：万元人民币")), 6}}};
}

std::vector<Row> BenefitYears() {
    std::vector<Row> rows;
    for (int i = 0; i < 3; ++i) {
        Row r{{Blank("CellCenter")}};
        for (int k = 0; k < 5; ++k) r.cells.push_back(Blank("CellNumber"));
        rows.push_back(r);
    }
    Row totals{{Label("累计")}};
    for (int k = 0; k < 5; ++k) totals.cells.push_back(Blank("CellNumber"));
    rows.push_back(totals);
    return rows;
}

Row Basis(const std::string& bookmark) {
    return {
        {Top(Cell{Para("CellText", Run("各栏目的计算依据（通过本项目的实施或新产品的销售新增的利润、税收等，"
                                       "不超过200个汉字）：")) +
                      Para("CellText", Field(bookmark)),
                  6})},
        2400};
}

std::string Benefits() {
    std::string out = Heading("五、经济和社会效益");
    out += SubHeading("1．直接经济效益（本栏目基础理论和社会公益类可不填写）");
    std::vector<Row> direct = {
        {{Label("项目总投资（万元）", 2), Value("XM_Zongtz", 1, "CellNumber"), Label("回收期（年）"),
          Value("XM_huis", 2, "CellCenter")}},
        Unit(),
        BenefitHeadings(),
    };
    for (const Row& r : BenefitYears()) direct.push_back(r);
    direct.push_back(Basis("XM_ZHIJYJ"));
    out += Table(kBenefitGrid, direct);

    out += SubHeading("2．间接经济效益（本栏目基础理论和社会公益类可不填写）");
    std::vector<Row> indirect = {Unit(), BenefitHeadings()};
    for (const Row& r : BenefitYears()) indirect.push_back(r);
    indirect.push_back(Basis("XM_JIANJYJ"));
    out += Table(kBenefitGrid, indirect);

    out += SubHeading("3．社会效益（不超过400个汉字）");
    out += Box("XM_SOSIETY", 5000);
    return out;
}

std::string Awards() {
    std::string out = Heading("六、本项目曾获科技奖励情况");
    out += List({3200, 1000, 2300, 1200, 1938},
                {{{Label("获奖项目名称"), Label("获奖年度"), Label("奖项名称"), Label("奖励等级"),
                   Label("授奖部门（单位）")}}},
                {"CellText", "CellCenter", "CellText", "CellCenter", "CellText"}, 10);
    return out;
}

std::string Contributors() {
    std::string out = Heading("七、主要完成人情况");
    out += SubHeading("第一完成人");
    const std::vector<int> grid = {1500, 1750, 1250, 1700, 1250, 2188};
    std::vector<Row> rows = {
        {{Label("姓名"), Value("RY_NAME"), Label("性别"), Value("XB_SEX", 1, "CellCenter"), Label("排名"),
          Cell{Para("CellCenter", Run("1"))}}},
        {{Label("出生年月"), Value("RY_BIRTHDAY", 1, "CellCenter"), Label("出生地"), Value("RY_BPLACE"),
          Label("民族"), Value("MZ_NATIONCODE")}},
        {{Label("身份证号"), Value("RY_ID", 3), Label("政治面貌"), Value("DP_SECTCODE")}},
        {{Label("技术职称"), Value("ZC_TITLECODE"), Label("行政职务"), Value("RY_POSITION"),
          Label("文化程度"), Value("WP_EDULEV")}},
        {{Label("最高学位"), Value("XW_DEGREE"), Label("毕业时间"), Value("RY_GRDTIME", 1, "CellCenter"),
          Label("所学专业"), Value("RY_WORKMAJOR")}},
        {{Label("毕业学校"), Value("RY_GRDUNIV", 3), Label("从事专业"), Value("RY_SPECMAJOR")}},
        {{Label("工作单位"), Value("RY_UNIT", 3), Label("固定电话"), Value("RY_FIXTEL")}},
        {{Label("通讯地址"), Value("RY_POSTADDR", 3), Label("邮政编码"), Value("RY_POSTCODE")}},
        {{Label("电子邮箱"), Value("RY_EMAIL", 3), Label("移动电话"), Value("RY_MPNO")}},
        {{Label("曾获科技奖励情况"), Top(Value("RY_HONOR", 5))}, 1200},
        {{Label("参加本项目起止时间"), Value("RY_START", 1, "CellCenter"), Label("至"),
          Value("RY_FINISH", 3)}},
        {{Label("对本项目主要技术创造性贡献"), Top(Value("RY_CONTRIBUTION", 5))}, 4000},
        {{Cell{Para("CellText", Run("本人对以上内容及全部附件材料的真实性负责。")) +
                   Para("Signature", Run("本人签名：　　　　　　　　年　　月　　日")),
               6}},
         1000},
    };
    out += Table(grid, rows);
    out += SubHeading("其他主要完成人");
    out += List({900, 1500, 900, 1300, 1700, 3338},
                {{{Label("排名"), Label("姓名"), Label("性别"), Label("出生年月"), Label("技术职称"),
                   Label("工作单位")}}},
                {"CellCenter", "CellCenter", "CellCenter", "CellCenter", "CellText", "CellText"}, 14);
    return out;
}

std::string Units() {
    std::string out = Heading("八、主要完成单位情况");
    out += List({1000, 4638, 2200, 1800},
                {{{Label("排名"), Label("单位名称"), Label("联系电话"), Label("联系人")}}},
                {"CellCenter", "CellText", "CellCenter", "CellCenter"}, 9);
    return out;
}

std::string Proofs() {
    std::string out = Heading("九、主要证明目录");
    out += SubHeading("1．应用单位目录");
    out += List({3200, 1300, 2300, 1538, 1300},
                {{{MergedLabel("应用单位名称"), MergedLabel("应用时间"), MergedLabel("联系人及电话"),
                   Label("产生的效益"), MergedLabel("是否有证明")}},
                 {{MergedBelow(), MergedBelow(), MergedBelow(), Label("（万元）"), MergedBelow()}}},
                {"CellText", "CellCenter", "CellText", "CellNumber", "CellCenter"}, 12);
    out += SubHeading("2．技术评价证明及国家法律法规要求行业审批文件目录");
    out += Note("（评价证书、检测证明等，不超过1000汉字）");
    out += Box("XM_PINGJIA", 5000);
    out += SubHeading("3．知识产权证明目录");
    out += List({3238, 1500, 1100, 1900, 1900},
                {{{MergedLabel("授权(申请)项目名称"), MergedLabel("知识产权类别"), MergedLabel("国别"),
                   Label("授权(申请)号", 2)}},
                 {{MergedBelow(), MergedBelow(), MergedBelow(), Label("申请号"), Label("授权号")}}},
                {"CellText", "CellCenter", "CellCenter", "CellCenter", "CellCenter"}, 12);
    out += SubHeading("4．10篇代表性论文、专著目录");
    out += Note("（不超过800汉字）");
    out += Box("XM_PAPERS", 5000);
    return out;
}

std::string Attachments() {
    std::string out = Heading("十、附件");
    out += Para("Note", Run("（以下内容与推荐书分开装订）"));
    for (const char* line :
         {"附件1．项目详细内容；", "附件2．承诺书；", "附件3．应用证明或采纳评价证明；",
          "附件4．技术评价证明及国家法律法规要求行业审批文件；", "附件5．享有自主知识产权证明文件；",
          "附件6．代表性论文、专著等；", "附件7．其它证明。"})
        out += Para("AttachmentLine", Run(line));
    return out;
}

std::string Document() {
    std::string body = Cover() + ProjectData() + Texts() + Benefits() + Awards() + Contributors() + Units() +
                       Proofs() + Attachments();
    const std::string section =
        "<w:sectPr><w:footerReference w:type=\"default\" r:id=\"rId4\"/>"
        "<w:pgSz w:w=\"11906\" w:h=\"16838\"/>"
        "<w:pgMar w:top=\"1417\" w:right=\"1134\" w:bottom=\"1417\" w:left=\"1134\" w:header=\"851\" "
        "w:footer=\"680\" w:gutter=\"0\"/>"
        "<w:pgNumType w:start=\"0\"/><w:cols w:space=\"425\"/><w:titlePg/></w:sectPr>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><w:body>" +
           body + section + "</w:body></w:document>\n";
}

// Every bookmark that the printing steps write, so that a slip in the layout fails the build.
const std::vector<std::string> kRequired = {
    "xm_askno",      "xk_grpno",      "jb_awardcode",    "xm_name",         "xm_ename",      "xm_tjdw",
    "SF_PUBLIC",     "MJ_SECRCODE",   "XM_SECRTERM",     "XM_FIXSECRORGAN", "XM_TOPICWORD",  "XK_MAJORCODE1",
    "XK_MAJORNAME1", "XK_MAJORCODE2", "XK_MAJORNAME2",   "XK_MAJORCODE3",   "XK_MAJORNAME3", "HY_ETRADECODE",
    "LY_SOCUCODE",   "XM_PLANNAME",   "XM_NO",           "XM_STARTDATE",    "XM_FINISHDATE", "XM_VERSION",
    "XM_ABSTRACT",   "XM_INNOVATION", "XM_RECOM",        "XM_Zongtz",       "XM_huis",       "XM_ZHIJYJ",
    "XM_JIANJYJ",    "XM_SOSIETY",    "RY_NAME",         "RY_ID",           "RY_BIRTHDAY",   "RY_BPLACE",
    "MZ_NATIONCODE", "XB_SEX",        "DP_SECTCODE",     "ZC_TITLECODE",    "RY_POSITION",   "WP_EDULEV",
    "XW_DEGREE",     "RY_WORKMAJOR",  "RY_SPECMAJOR",    "RY_GRDUNIV",      "RY_GRDTIME",    "RY_UNIT",
    "RY_FIXTEL",     "RY_POSTADDR",   "RY_POSTCODE",     "RY_EMAIL",        "RY_MPNO",       "RY_HONOR",
    "RY_START",      "RY_FINISH",     "RY_CONTRIBUTION", "XM_PINGJIA",      "XM_PAPERS",     "xm_wcr",
    "xm_wcdw"};

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_model <folder of the fixed parts> <output .docx>\n";
        return 2;
    }
    try {
        const fs::path folder = argv[1];
        const fs::path output = argv[2];
        std::map<std::string, std::string> parts;  // part name -> content
        for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder))
            if (e.is_regular_file())
                parts[fs::relative(e.path(), folder).generic_string()] = ReadFile(e.path());
        parts["word/document.xml"] = Document();
        for (const std::string& name : kRequired)
            if (g_bookmarks.count(name) == 0) throw std::runtime_error("the form lacks the bookmark " + name);

        // The content types first, as packages conventionally begin.
        std::vector<std::string> order = {"[Content_Types].xml"};
        for (const auto& [name, text] : parts)
            if (name != order.front()) order.push_back(name);

        fs::create_directories(output.parent_path());
        const std::string temp = output.string() + ".tmp";
        fs::remove(temp);
        int code = 0;
        zip_t* za = zip_open(temp.c_str(), ZIP_CREATE | ZIP_EXCL, &code);
        if (za == nullptr) throw std::runtime_error("cannot create " + temp);
        for (const std::string& name : order) {
            const std::string& text = parts.at(name);
            zip_source_t* src = zip_source_buffer(za, text.data(), text.size(), 0);
            if (src == nullptr || zip_file_add(za, name.c_str(), src, ZIP_FL_ENC_UTF_8) < 0) {
                zip_source_free(src);
                zip_discard(za);
                throw std::runtime_error("cannot add " + name);
            }
        }
        if (zip_close(za) != 0) {
            const std::string why = zip_strerror(za);
            zip_discard(za);
            throw std::runtime_error("cannot write " + temp + ": " + why);
        }
        fs::rename(temp, output);
    } catch (const std::exception& e) {
        std::cerr << "make_model: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

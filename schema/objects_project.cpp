// The forms of the project sections 一 to 六: project basics, summary, innovations, the recommending
// unit's opinion, the economic and social benefit and the awards already received.
//
// The single-row forms are laid out like the printed recommendation form: a table of labelled cells
// with frame lines. Cell borders are shared between rows so that the columns of the table line up.

#include <string>
#include <utility>
#include <vector>

#include "schema/objects.h"

namespace schema {

namespace {

using rt::Align;
using rt::Band;
using rt::CodeEntry;
using rt::ColType;
using rt::EditStyle;
using rt::Presentation;

constexpr const char* kBase = "j_xm_base";
constexpr const char* kSaving = "j_xy_saving";
constexpr const char* kAward = "j_jx_getaward";

const std::string kSubjectTag = "双击此处可以显示学科代码表，双击代码表选定相应的学科代码！";
const std::string kAmountMask = "###,###.00";
const std::string kUnitCaption = "单位：万元人民币";
const std::string kBasisText =
    "各栏目的计算依据（通过本项目的实施或新产品的销售新增的利润、税收等，不超过200个汉字）：";

// ---- geometry --------------------------------------------------------------------------------------

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The table of the single-row forms: its outer frame and the cell borders every row shares.
constexpr int kLeft = 20;      // left frame line
constexpr int kGroup = 240;    // end of a group label ("项  目名  称") and start of its sub-labels
constexpr int kFieldL = 520;   // end of the row labels, start of the left field
constexpr int kLabelR = 1900;  // start of the label of the right half
constexpr int kFieldR = 2400;  // start of the field of the right half
constexpr int kRight = 3520;   // right frame line
constexpr int kFormWidth = 3540;
constexpr int kRow = 100;  // one row of the printed table
constexpr int kTextLine = 72;

// An input field inside the cell between the frame lines x1..x2 and top..bottom.
Rect FieldIn(int x1, int x2, int top, int bottom) {
    return {x1 + 10, top + 10, x2 - x1 - 20, bottom - top - 20};
}

// A line of text inside such a cell, one text line high.
Rect TextIn(int x1, int x2, int top) {
    return {x1 + 10, top + 14, x2 - x1 - 20, kTextLine};
}

// The lines a multi-line box of that height shows.
int LinesFor(const Rect& box) {
    return (box.height - 16) / kTextLine;
}

rt::LineDef HLine(int y, int x1, int x2, Band band = Band::Detail) {
    return {band, x1, y, x2, y};
}
rt::LineDef VLine(int x, int y1, int y2, Band band = Band::Detail) {
    return {band, x, y1, x, y2};
}

// The four sides of a cell.
void Frame(std::vector<rt::LineDef>& lines, int x1, int y1, int x2, int y2, Band band = Band::Detail) {
    lines.push_back(HLine(y1, x1, x2, band));
    lines.push_back(HLine(y2, x1, x2, band));
    lines.push_back(VLine(x1, y1, y2, band));
    lines.push_back(VLine(x2, y1, y2, band));
}

rt::TextDef Text(std::string name, std::string text, const Rect& r, Align align = Align::Left,
                 bool bold = false, Band band = Band::Detail) {
    rt::TextDef t;
    t.name = std::move(name);
    t.text = std::move(text);
    t.band = band;
    t.align = align;
    t.x = r.x;
    t.y = r.y;
    t.width = r.width;
    t.height = r.height;
    t.bold = bold;
    return t;
}

// ---- columns ---------------------------------------------------------------------------------------

// Builds one column as a chain of its properties.
class Col {
  public:
    explicit Col(rt::ColumnDef c) : c_(std::move(c)) {}

    Col& Key() {
        c_.key = true;
        return *this;
    }
    Col& Updatable() {
        c_.updatable = true;
        return *this;
    }
    Col& Label(std::string text) {
        c_.label = std::move(text);
        return *this;
    }
    Col& Limit(int bytes) {
        c_.limit = bytes;
        return *this;
    }
    Col& Mask(std::string mask) {
        c_.edit = EditStyle::EditMask;
        c_.mask = std::move(mask);
        return *this;
    }
    Col& Codes(std::vector<CodeEntry> codes) {
        c_.edit = EditStyle::DropDownList;
        c_.codes = std::move(codes);
        return *this;
    }
    Col& DropDownDW(std::string object, std::string display, std::string data) {
        c_.edit = EditStyle::DropDownDW;
        c_.dddwObject = std::move(object);
        c_.dddwDisplay = std::move(display);
        c_.dddwData = std::move(data);
        return *this;
    }
    Col& Centred() {
        c_.align = Align::Center;
        return *this;
    }
    Col& RightAligned() {
        c_.align = Align::Right;
        return *this;
    }
    Col& Tab(int order) {
        c_.tabOrder = order;
        return *this;
    }
    Col& DisplayOnly() {
        c_.displayOnly = true;
        return *this;
    }
    // Selected and carried, but never shown and never reached by the cursor.
    Col& Hidden() {
        c_.visible = false;
        c_.tabOrder = 0;
        return *this;
    }
    Col& Tag(std::string text) {
        c_.tag = std::move(text);
        return *this;
    }
    Col& CurrentRowGrey() {
        c_.currentRowGrey = true;
        return *this;
    }
    // A field of several lines; the number of lines follows from its height.
    Col& Box(const Rect& r) {
        At(r);
        c_.lines = LinesFor(r);
        return *this;
    }
    Col& At(const Rect& r) {
        c_.x = r.x;
        c_.y = r.y;
        c_.width = r.width;
        c_.height = r.height;
        return *this;
    }
    // The fixed text that labels the field (or its group), and the field's place in the group.
    Col& LabelledBy(std::string text, std::string place = {}) {
        c_.labelText = std::move(text);
        c_.place = std::move(place);
        return *this;
    }
    Col& LabelAt(const Rect& r) {
        c_.labelX = r.x;
        c_.labelY = r.y;
        c_.labelWidth = r.width;
        c_.labelHeight = r.height;
        return *this;
    }

    operator rt::ColumnDef() const { return c_; }

  private:
    rt::ColumnDef c_;
};

Col Base(const std::string& name, int length) {
    return Col(Char(kBase, name, length));
}
Col Base(const std::string& name, ColType type) {
    return Col(Column(kBase, name, type));
}

// ---- code tables -----------------------------------------------------------------------------------

std::vector<CodeEntry> ReviewGroups() {
    return {
        {"101 机械：机械、电力", "101"},
        {"102 电子：电子、通讯、计算机软硬件、电子材料", "102"},
        {"103 材化：化工、环保、冶金、材料", "103"},
        {"104 城建：城建、交通、建筑、地矿、地震", "104"},
        {"105 轻工：轻工、纺织、食品、家电", "105"},
        {"106 农一：农业", "106"},
        {"107 农二：牧医、水产、林业、气象、水利", "107"},
        {"108 医卫：医学、卫生", "108"},
        {"109 中医药：中医、医药、医疗器械", "109"},
        {"110 软科学：软科学", "110"},
    };
}

std::vector<CodeEntry> ProjectCategories() {
    return {
        {"1  基础理论", "1"},  {"2  技术发明", "2"}, {"3  技术开发", "3"},
        {"4  社会公益 ", "4"}, {"5  重大工程", "5"}, {"6  软  科  学", "6"},
    };
}

std::vector<CodeEntry> Publication() {
    return {{"1 是", "1"}, {"0 否", "0"}};
}

std::vector<CodeEntry> SecrecyLevels() {
    return {{"1 秘密", "1"}, {"2 机密", "2"}, {"3 绝密", "3"}, {"4 非密", "4"}};
}

std::vector<CodeEntry> EconomicSectors() {
    return {
        {"01  农林牧渔业", "01"},
        {"02  采矿业", "02"},
        {"03  制造业", "03"},
        {"04  电力、燃气及水的供应和生产", "04"},
        {"05  建筑业", "05"},
        {"06  交通运输、仓储和邮政业", "06"},
        {"07  信息传输、计算机服务和软件业", "07"},
        {"08  批发和零售业", "08"},
        {"09  住宿和餐饮业", "09"},
        {"10  金融业", "10"},
        {"11  房地产业", "11"},
        {"12  租赁和商务服务业", "12"},
        {"13  科学研究、技术服务和地质勘查业", "13"},
        {"14  水利、环境和公共设施管理业", "14"},
        {"15  居民服务和其他服务业", "15"},
        {"16  教育", "16"},
        {"17  卫生、社会保障和社会福利业", "17"},
        {"18  文化、体育和娱乐业", "18"},
        {"19  公共管理和社会组织", "19"},
        {"20  国际组织", "20"},
    };
}

std::vector<CodeEntry> TaskSources() {
    return {
        {"01  国家科技计划", "01"}, {"02  部委科技计划", "02"}, {"03  省科技计划", "03"},
        {"04  地市科技计划", "04"}, {"05  厅局科技计划", "05"}, {"06  基金资助 ", "06"},
        {"07  国际合作", "07"},     {"08  其他单位委托", "08"}, {"09  自选", "09"},
        {"10  非职务", "10"},
    };
}

// ---- section 一 ------------------------------------------------------------------------------------

// Top of row i of the upper table of section 一.
constexpr int Row(int i) {
    return kLeft + i * kRow;
}

rt::DataWindowDef Dw_1() {
    rt::DataWindowDef d;
    d.name = "dw_1";
    d.presentation = Presentation::Freeform;
    d.select =
        "SELECT j_xm_base.xm_name, j_xm_base.xm_ename, j_xm_base.xm_topicword, j_xm_base.bm_deptcode, "
        "j_xm_base.xm_askno, j_xm_base.xm_checkcode, j_xm_base.xk_grpno, j_xm_base.jb_awardcode, "
        "j_xm_base.sf_public, j_xm_base.mj_secrcode, j_xm_base.xm_fixsecrdate, j_xm_base.xm_secrterm, "
        "j_xm_base.xm_fixsecrorgan, j_xm_base.xk_majorname1, j_xm_base.xk_majorcode1, "
        "j_xm_base.xk_majorname2, j_xm_base.xk_majorcode2, j_xm_base.xk_majorname3, "
        "j_xm_base.xk_majorcode3, j_xm_base.hy_etradecode, j_xm_base.ly_socucode, j_xm_base.xm_planname, "
        "j_xm_base.xm_startdate, j_xm_base.xm_finishdate, j_xm_base.xm_no, j_xm_base.xm_sn, "
        "j_xm_base.xm_id, j_xm_base.xm_guid FROM j_xm_base WHERE j_xm_base.xm_id = :current";
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kBase;

    // Rows of the table, from the top. The subject rows 7 to 9 share the group label "学   科分   类".
    const int name = Row(0), ename = Row(1), topic = Row(2), dept = Row(3), askno = Row(4), group = Row(5),
              category = Row(6), subject1 = Row(7), subject2 = Row(8), subject3 = Row(9), sector = Row(10),
              source = Row(11), plan = Row(12);
    const int planBox = plan + kRow, planEnd = planBox + 340;  // four lines
    const int regNo = planEnd, period = regNo + kRow, bottom = period + kRow;

    // Inner borders of rows 4, 5 and 12.
    constexpr int kAsknoEnd = 1150, kCheckField = 1400;  // "推  荐  号" [..] "校验码" [..]
    constexpr int kTermLabel = 2850, kTermField = 3050, kYear = 3350;  // [定密时间] "期限" [..] "年"
    constexpr int kStartField = 800;                                   // "开始" [..]

    // Tab goes through the fields as the rows are read: left to right, then down.
    auto rowLabel = [](int top) { return TextIn(kLeft, kFieldL, top); };
    auto subLabel = [](int top) { return TextIn(kGroup, kFieldL, top); };
    auto leftField = [](int top) { return FieldIn(kFieldL, kLabelR, top, top + kRow); };
    auto wideField = [](int top) { return FieldIn(kFieldL, kRight, top, top + kRow); };
    auto rightLabel = [](int top) { return TextIn(kLabelR, kFieldR, top); };
    auto rightField = [](int top) { return FieldIn(kFieldR, kRight, top, top + kRow); };

    d.columns = {
        Base("xm_name", 100)
            .Updatable()
            .Label("中文")
            .Limit(60)
            .Tab(1)
            .LabelledBy("t_1")
            .Tag("中文项目名称，限30个汉字。")
            .At(wideField(name))
            .LabelAt(subLabel(name)),
        Base("xm_ename", 200)
            .Updatable()
            .Label("英文")
            .Tab(2)
            .LabelledBy("t_1")
            .At(wideField(ename))
            .LabelAt(subLabel(ename)),
        Base("xm_topicword", 70)
            .Updatable()
            .Label("主  题  词")
            .Limit(60)
            .Tab(3)
            .At(wideField(topic))
            .LabelAt(rowLabel(topic)),
        Base("bm_deptcode", 5)
            .Updatable()
            .Label("推荐单位")
            .DropDownDW("dw_recomdept", "st_chdescr", "st_code")
            .Tab(4)
            .At(leftField(dept))
            .LabelAt(rowLabel(dept)),
        Base("xm_askno", 10)
            .Updatable()
            .Label("推  荐  号")
            .Mask("#### ##aa")
            .Tab(6)
            .At(FieldIn(kFieldL, kAsknoEnd, askno, askno + kRow))
            .LabelAt(rowLabel(askno)),
        Base("xm_checkcode", 20)
            .Updatable()
            .Label("校验码")
            .Mask("#### #### ####")
            .Centred()
            .Tab(7)
            .At(FieldIn(kCheckField, kLabelR, askno, askno + kRow))
            .LabelAt(TextIn(kAsknoEnd, kCheckField, askno)),
        Base("xk_grpno", 5)
            .Updatable()
            .Label("评  审  组")
            .Codes(ReviewGroups())
            .Tab(9)
            .At(leftField(group))
            .LabelAt(rowLabel(group)),
        Base("jb_awardcode", 5)
            .Updatable()
            .Label("项目类别")
            .Codes(ProjectCategories())
            .Tab(12)
            .At(leftField(category))
            .LabelAt(rowLabel(category)),
        Base("sf_public", 5)
            .Updatable()
            .Label("项目名称可否公布")
            .Codes(Publication())
            .Tab(5)
            .At(rightField(dept))
            .LabelAt(rightLabel(dept)),
        Base("mj_secrcode", 5)
            .Updatable()
            .Label("密        级")
            .Codes(SecrecyLevels())
            .Tab(8)
            .At(rightField(askno))
            .LabelAt(rightLabel(askno)),
        Base("xm_fixsecrdate", ColType::Date)
            .Updatable()
            .Label("定密时间")
            .Mask("yyyy-mm")
            .Tab(10)
            .At(FieldIn(kFieldR, kTermLabel, group, group + kRow))
            .LabelAt(rightLabel(group)),
        Base("xm_secrterm", 10)
            .Updatable()
            .Label("期限")
            .Mask("##")
            .Centred()
            .Tab(11)
            .At(FieldIn(kTermField, kYear, group, group + kRow))
            .LabelAt(TextIn(kTermLabel, kTermField, group)),
        Base("xm_fixsecrorgan", 100)
            .Updatable()
            .Label("定密机关")
            .Limit(25)
            .Tab(13)
            .At(rightField(category))
            .LabelAt(rightLabel(category)),
        Base("xk_majorname1", 40)
            .Updatable()
            .Label("1")
            .Limit(40)
            .DisplayOnly()
            .Tab(14)
            .LabelledBy("t_2")
            .Tag(kSubjectTag)
            .At(leftField(subject1))
            .LabelAt(subLabel(subject1)),
        Base("xk_majorcode1", 7)
            .Updatable()
            .Label("代        码")
            .Limit(7)
            .DisplayOnly()
            .Tab(15)
            .LabelledBy("t_2", "1")
            .Tag(kSubjectTag)
            .At(rightField(subject1))
            .LabelAt(rightLabel(subject1)),
        Base("xk_majorname2", 40)
            .Updatable()
            .Label("2")
            .Limit(40)
            .DisplayOnly()
            .Tab(16)
            .LabelledBy("t_2")
            .Tag(kSubjectTag)
            .At(leftField(subject2))
            .LabelAt(subLabel(subject2)),
        Base("xk_majorcode2", 7)
            .Updatable()
            .Label("代        码")
            .Limit(7)
            .DisplayOnly()
            .Tab(17)
            .LabelledBy("t_2", "2")
            .Tag(kSubjectTag)
            .At(rightField(subject2))
            .LabelAt(rightLabel(subject2)),
        Base("xk_majorname3", 40)
            .Updatable()
            .Label("3")
            .Limit(40)
            .DisplayOnly()
            .Tab(18)
            .LabelledBy("t_2")
            .Tag(kSubjectTag)
            .At(leftField(subject3))
            .LabelAt(subLabel(subject3)),
        Base("xk_majorcode3", 7)
            .Updatable()
            .Label("代        码")
            .Limit(7)
            .DisplayOnly()
            .Tab(19)
            .LabelledBy("t_2", "3")
            .Tag(kSubjectTag)
            .At(rightField(subject3))
            .LabelAt(rightLabel(subject3)),
        Base("hy_etradecode", 5)
            .Updatable()
            .Label("所属经济行业")
            .Codes(EconomicSectors())
            .Tab(20)
            .At(wideField(sector))
            .LabelAt(rowLabel(sector)),
        Base("ly_socucode", 256)
            .Updatable()
            .Label("任务来源")
            .Codes(TaskSources())
            .Tab(21)
            .At(wideField(source))
            .LabelAt(rowLabel(source)),
        Base("xm_planname", 1000)
            .Updatable()
            .Label("具体计划、基金的名称和编号（不超过150汉字）")
            .Limit(300)
            .Tab(22)
            .Box(FieldIn(kLeft, kRight, planBox, planEnd))
            .LabelAt(TextIn(kLeft, kRight, plan)),
        Base("xm_startdate", ColType::Date)
            .Updatable()
            .Label("开始")
            .Mask("yyyy-mm")
            .Tab(24)
            .LabelledBy("t_4")
            .At(FieldIn(kStartField, kLabelR, period, period + kRow))
            .LabelAt(TextIn(kFieldL, kStartField, period)),
        Base("xm_finishdate", ColType::Date)
            .Updatable()
            .Label("完成")
            .Mask("yyyy-mm")
            .Tab(25)
            .LabelledBy("t_4")
            .At(rightField(period))
            .LabelAt(rightLabel(period)),
        Base("xm_no", 40)
            .Updatable()
            .Label("科技成果登记号")
            .Limit(40)
            .Tab(23)
            .At(wideField(regNo))
            .LabelAt(rowLabel(regNo)),
        Base("xm_sn", 40).Updatable().Hidden(),
        Base("xm_id", 40).Key().Hidden(),
        Base("xm_guid", 40).Hidden(),
    };

    d.texts = {
        Text("t_1", "项  目名  称", {kLeft + 10, name + 14, kGroup - kLeft - 20, 2 * kRow - 28},
             Align::Center),
        Text("t_2", "学   科分   类", {kLeft + 10, subject1 + 14, kGroup - kLeft - 20, 3 * kRow - 28},
             Align::Center),
        Text("t_3", "年", TextIn(kYear, kRight, group)),
        Text("t_4", "项目起止时间", rowLabel(period)),
    };

    // Frame lines: the outer frame, a line under every row (group labels span their rows), and the
    // cell borders of each row.
    std::vector<rt::LineDef>& l = d.lines;
    Frame(l, kLeft, name, kRight, bottom);
    for (int y :
         {topic, dept, askno, group, category, subject1, sector, source, plan, planBox, regNo, period}) {
        l.push_back(HLine(y, kLeft, kRight));
    }
    for (int y : {ename, subject2, subject3}) l.push_back(HLine(y, kGroup, kRight));
    l.push_back(VLine(kGroup, name, topic));
    l.push_back(VLine(kGroup, subject1, sector));
    l.push_back(VLine(kFieldL, name, plan));
    l.push_back(VLine(kFieldL, regNo, bottom));
    l.push_back(VLine(kLabelR, dept, sector));
    l.push_back(VLine(kFieldR, dept, sector));
    l.push_back(VLine(kAsknoEnd, askno, group));
    l.push_back(VLine(kCheckField, askno, group));
    l.push_back(VLine(kTermLabel, group, category));
    l.push_back(VLine(kStartField, period, bottom));
    l.push_back(VLine(kLabelR, period, bottom));
    l.push_back(VLine(kFieldR, period, bottom));

    d.width = kFormWidth;
    d.detailHeight = bottom + 20;
    return d;
}

// ---- sections 二, 三, 四 and the social benefit: a text over one large box -----------------------

// A form of j_xm_base whose one input is a large box under a line of text. `columns` come in the
// object's order; the one visible column is the box.
rt::DataWindowDef TextForm(std::string name, std::vector<rt::ColumnDef> columns, std::string text,
                           int pageHeight) {
    rt::DataWindowDef d;
    d.name = std::move(name);
    d.presentation = Presentation::Freeform;
    std::string list;
    for (const rt::ColumnDef& c : columns) list += (list.empty() ? "" : ", ") + c.dbName;
    d.select = "SELECT " + list + " FROM j_xm_base WHERE j_xm_base.xm_id = :current";
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kBase;

    const int textTop = kLeft, boxTop = textTop + kRow, bottom = pageHeight - 32;
    for (rt::ColumnDef& c : columns) {
        if (!c.visible) continue;
        const Rect box = FieldIn(kLeft, kRight, boxTop, bottom);
        c.x = box.x;
        c.y = box.y;
        c.width = box.width;
        c.height = box.height;
        c.lines = LinesFor(box);
        c.labelText = "t_1";
    }
    d.columns = std::move(columns);
    d.texts = {Text("t_1", std::move(text), TextIn(kLeft, kRight, textTop))};
    Frame(d.lines, kLeft, textTop, kRight, bottom);
    d.lines.push_back(HLine(boxTop, kLeft, kRight));
    d.width = kFormWidth;
    d.detailHeight = bottom + 16;
    return d;
}

rt::DataWindowDef Dw_2() {
    return TextForm("dw_2",
                    {
                        Base("xm_abstract", 2000).Updatable().Limit(2000).Tab(1),
                        Base("xm_askno", 10).Hidden(),
                        Base("xm_id", 40).Key().Hidden(),
                    },
                    "项目立项背景、主要研究内容及结果、应用推广及取得的经济效益等（不超过1000汉字）", 2260);
}

rt::DataWindowDef Dw_3() {
    // The rows are found by the key alone in every object, so this form needs no update rule of its
    // own.
    return TextForm("dw_3",
                    {
                        Base("xm_innovation", 1000).Updatable().Limit(1000).Tab(1),
                        Base("xm_askno", 10).Hidden(),
                        Base("xm_id", 40).Key().Hidden(),
                    },
                    "项目创新方面简明、扼要的阐述（不超过500个汉字）", 1692);
}

rt::DataWindowDef Dw_4() {
    return TextForm("dw_4",
                    {
                        Base("xm_askno", 10).Hidden(),
                        Base("xm_recom", 1000).Updatable().Limit(1000).Tab(1),
                        Base("xm_id", 40).Key().Hidden(),
                    },
                    "（不超过500个汉字）", 1692);
}

rt::DataWindowDef Dw_53() {
    rt::DataWindowDef d;
    d.name = "dw_53";
    d.presentation = Presentation::Freeform;
    d.select = "SELECT j_xm_base.xm_sosiety, j_xm_base.xm_id FROM j_xm_base WHERE j_xm_base.xm_id = :current";
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kBase;

    constexpr int kHeader = 100, kTop = 10, kBottom = 1576;
    d.columns = {
        Base("xm_sosiety", 1000)
            .Updatable()
            .Limit(800)
            .Tab(1)
            .LabelledBy("t_1")
            .Box(FieldIn(kLeft, kRight, kTop, kBottom)),
        Base("xm_id", 40).Key().Hidden(),
    };
    d.texts = {Text("t_1", "3、社会效益（不超过400个汉字）", {kLeft + 10, 20, 2400, kTextLine}, Align::Left,
                    true, Band::Header)};
    Frame(d.lines, kLeft, kTop, kRight, kBottom);
    d.width = kFormWidth;
    d.headerHeight = kHeader;
    d.detailHeight = kBottom + 12;
    return d;
}

// ---- section 五: the benefit forms and their year tables -----------------------------------------

// Where the year table lies on top of the benefit form: the form keeps this band free.
constexpr int kHeadingLine = 164;  // the line under the heading; the table starts just below it

// The heading shared by both benefit forms: the title at the top left, the unit at the top right,
// and the heading line under them.
void BenefitHeading(rt::DataWindowDef& d, std::string title) {
    d.texts.push_back(Text("t_1", std::move(title), {kLeft + 10, 80, 2200, kTextLine}, Align::Left, true));
    d.texts.push_back(Text("t_2", kUnitCaption, {kRight - 10 - 800, 80, 800, kTextLine}, Align::Right));
    d.lines.push_back(HLine(kHeadingLine, kLeft, kRight));
}

rt::DataWindowDef Dw_512() {
    rt::DataWindowDef d;
    d.name = "dw_512";
    d.presentation = Presentation::Freeform;
    d.select =
        "SELECT j_xm_base.xm_zongtz, j_xm_base.xm_huis, j_xm_base.xm_zhijyj, j_xm_base.xm_id FROM j_xm_base "
        "WHERE j_xm_base.xm_id = :current";
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kBase;

    // Everything below the year table: its first text starts at 880.
    constexpr int kFigures = 866, kBasis = kFigures + kRow, kBox = kBasis + kRow, kBottom = 1680;
    d.columns = {
        Base("xm_zongtz", ColType::Decimal)
            .Updatable()
            .Label("项目总投资")
            .Mask(kAmountMask)
            .RightAligned()
            .Tab(1)
            .At(FieldIn(kFieldL, kLabelR, kFigures, kBasis))
            .LabelAt(TextIn(kLeft, kFieldL, kFigures)),
        Base("xm_huis", ColType::Long)
            .Updatable()
            .Label("回收期（年）")
            .RightAligned()
            .Tab(2)
            .At(FieldIn(kFieldR, kRight, kFigures, kBasis))
            .LabelAt(TextIn(kLabelR, kFieldR, kFigures)),
        Base("xm_zhijyj", 500)
            .Updatable()
            .Limit(400)
            .Tab(3)
            .LabelledBy("t_3")
            .Box(FieldIn(kLeft, kRight, kBox, kBottom)),
        Base("xm_id", 40).Key().Hidden(),
    };
    BenefitHeading(d, "1、直接经济效益（本栏目基础理论和社会公益类可不填写）");
    d.texts.push_back(Text("t_3", kBasisText, TextIn(kLeft, kRight, kBasis)));

    Frame(d.lines, kLeft, kFigures, kRight, kBottom);
    d.lines.push_back(HLine(kBasis, kLeft, kRight));
    for (int x : {kFieldL, kLabelR, kFieldR}) d.lines.push_back(VLine(x, kFigures, kBasis));

    d.width = kFormWidth;
    d.detailHeight = kBottom + 16;
    return d;
}

rt::DataWindowDef Dw_522() {
    rt::DataWindowDef d;
    d.name = "dw_522";
    d.presentation = Presentation::Freeform;
    d.select = "SELECT j_xm_base.xm_jianjyj, j_xm_base.xm_id FROM j_xm_base WHERE j_xm_base.xm_id = :current";
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kBase;

    // Everything below the year table: its first text starts at 872.
    constexpr int kBasis = 858, kBox = kBasis + kRow, kBottom = 1680;
    d.columns = {
        Base("xm_jianjyj", 500)
            .Updatable()
            .Limit(400)
            .Tab(1)
            .LabelledBy("t_3")
            .Box(FieldIn(kLeft, kRight, kBox, kBottom)),
        Base("xm_id", 40).Key().Hidden(),
    };
    BenefitHeading(d, "2、间接经济效益（本栏目基础理论和社会公益类可不填写）");
    d.texts.push_back(Text("t_3", kBasisText, TextIn(kLeft, kRight, kBasis)));

    Frame(d.lines, kLeft, kBasis, kRight, kBottom);

    d.width = kFormWidth;
    d.detailHeight = kBottom + 16;
    return d;
}

// The year tables: one line per year, the five amounts, and their totals under them.
rt::DataWindowDef YearTable(std::string name, const std::string& kind) {
    rt::DataWindowDef d;
    d.name = std::move(name);
    d.presentation = Presentation::Grid;
    d.select =
        "SELECT j_xy_saving.xy_year, j_xy_saving.xy_addvalue, j_xy_saving.xy_addinterest, "
        "j_xy_saving.xy_addtax, j_xy_saving.xy_getfrgexch, j_xy_saving.xy_savegross, j_xy_saving.xm_id, "
        "j_xy_saving.xy_zhijorjianj FROM j_xy_saving WHERE j_xy_saving.xm_id = :current AND "
        "j_xy_saving.xy_zhijorjianj = '" +
        kind + "' ORDER BY j_xy_saving.xy_year ASC";
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kSaving;

    constexpr int kYearWidth = 458, kAmountWidth = 600, kLine = 80;
    auto column = [](int i) { return Rect{kYearWidth + i * kAmountWidth, 2, kAmountWidth, kLine - 4}; };
    auto amount = [&](const std::string& col, const std::string& heading, int i) -> rt::ColumnDef {
        return Col(Column(kSaving, col, ColType::Decimal))
            .Updatable()
            .Label(heading)
            .Mask(kAmountMask)
            .RightAligned()
            .Tab(i + 1)
            .At(column(i));
    };
    d.columns = {
        Col(Char(kSaving, "xy_year", 4)).Key().Label("年份").Centred().At({0, 2, kYearWidth, kLine - 4}),
        amount("xy_addvalue", "新增销售", 0),
        amount("xy_addinterest", "新增利润", 1),
        amount("xy_addtax", "新增税收", 2),
        amount("xy_getfrgexch", "创收外汇(万美元)", 3),
        amount("xy_savegross", "节支总额", 4),
        Col(Char(kSaving, "xm_id", 40)).Key().Hidden(),
        Col(Char(kSaving, "xy_zhijorjianj", 4)).Key().Hidden(),
    };

    // The totals, one under each amount column.
    const std::pair<const char*, const char*> totals[] = {
        {"compute_1", "sum(xy_addvalue for all)"},  {"compute_2", "sum(xy_addinterest for all)"},
        {"compute_3", "sum(xy_addtax for all)"},    {"compute_4", "sum(xy_getfrgexch for all)"},
        {"compute_5", "sum(xy_savegross for all)"},
    };
    for (int i = 0; i < 5; ++i) {
        rt::ComputeDef c;
        c.name = totals[i].first;
        c.expression = totals[i].second;
        c.format = kAmountMask;
        c.band = Band::Summary;
        c.align = Align::Right;
        const Rect r = column(i);
        c.x = r.x;
        c.y = r.y + 2;
        c.width = r.width;
        c.height = r.height;
        d.computes.push_back(c);
    }
    d.texts = {Text("t_1", "累计", {0, 4, kYearWidth, kLine - 4}, Align::Center, false, Band::Summary)};

    d.width = kYearWidth + 5 * kAmountWidth;
    d.headerHeight = 100;
    d.detailHeight = kLine;
    d.summaryHeight = kLine + 4;
    return d;
}

rt::DataWindowDef Dw_51() {
    return YearTable("dw_51", "1");
}
rt::DataWindowDef Dw_52() {
    return YearTable("dw_52", "0");
}

// ---- section 六 ------------------------------------------------------------------------------------

rt::DataWindowDef Dw_6() {
    rt::DataWindowDef d;
    d.name = "dw_6";
    d.presentation = Presentation::Grid;
    d.select =
        "SELECT j_jx_getaward.jx_id, j_jx_getaward.jx_xmname, j_jx_getaward.jx_date, j_jx_getaward.jx_name, "
        "j_jx_getaward.jx_grade, j_jx_getaward.jx_grantdept, j_jx_getaward.xm_id FROM j_jx_getaward "
        "WHERE j_jx_getaward.xm_id = :current ORDER BY j_jx_getaward.jx_id ASC";
    d.arguments = {{"current", ColType::Char}};
    d.updateTable = kAward;

    // Column borders across the width of the page.
    constexpr int kLine = 80;
    constexpr int kX[] = {0, 200, 1200, 1500, 2300, 2700, 3458};
    auto cell = [&](int i) { return Rect{kX[i], 2, kX[i + 1] - kX[i], kLine - 4}; };
    auto award = [](const std::string& name, ColType type) { return Col(Column(kAward, name, type)); };
    d.columns = {
        award("jx_id", ColType::Long)
            .Key()
            .Updatable()
            .Label("序号")
            .DisplayOnly()
            .Centred()
            .Tab(1)
            .CurrentRowGrey()
            .At(cell(0)),
        Col(Char(kAward, "jx_xmname", 100))
            .Updatable()
            .Label("获奖项目名称")
            .Limit(50)
            .Tab(2)
            .CurrentRowGrey()
            .At(cell(1)),
        award("jx_date", ColType::Date)
            .Updatable()
            .Label("时间")
            .Mask("yyyy")
            .Centred()
            .Tab(3)
            .CurrentRowGrey()
            .At(cell(2)),
        Col(Char(kAward, "jx_name", 100))
            .Updatable()
            .Label("奖项名称")
            .Limit(28)
            .Tab(4)
            .CurrentRowGrey()
            .At(cell(3)),
        Col(Char(kAward, "jx_grade", 10))
            .Updatable()
            .Label("奖励等级")
            .Limit(8)
            .Tab(5)
            .CurrentRowGrey()
            .At(cell(4)),
        Col(Char(kAward, "jx_grantdept", 40))
            .Updatable()
            .Label("授奖单位(部门)")
            .Limit(40)
            .Tab(6)
            .CurrentRowGrey()
            .At(cell(5)),
        Col(Char(kAward, "xm_id", 40)).Key().Updatable().Hidden(),
    };

    d.width = kX[6];
    d.headerHeight = 100;
    d.detailHeight = kLine;
    return d;
}

}  // namespace

void RegisterProjectObjects() {
    for (rt::DataWindowDef (*make)() : {Dw_1, Dw_2, Dw_3, Dw_4, Dw_51, Dw_512, Dw_52, Dw_522, Dw_53, Dw_6}) {
        rt::RegisterDefinition(make());
    }
}

}  // namespace schema

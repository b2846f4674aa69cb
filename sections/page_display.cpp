// Showing the selected section's page for the current recommendation.

#include <string>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "runtime/text.h"

namespace laurel::win {

namespace {

// A section's caption: its title padded with blanks to 30 bytes of GBK text.
std::string Caption(const std::string& title) {
    const std::size_t bytes = rt::GbkLength(title);
    return bytes >= 30 ? title : title + std::string(30 - bytes, ' ');
}

struct Geometry {
    int x, y, width, height;
};

struct Retrieval {
    DataWindowControl* dw;
    Geometry at;
};

struct PageRow {
    std::string title;
    std::vector<Retrieval> retrieved;
    std::vector<rt::ui::Control*> shown;
    std::string sub = {};  // text of st_sub, set just before it is shown
    bool listButtons = false;
};

PageRow RowOf(j_main_mdi& w, long handle) {
    const std::string five = "五、经济和社会效益";
    const std::string nine = "九、主要证明目录";
    switch (handle) {
        case 3:
            return {"二、项目简介", {{w.dw_no2, {1079, 440, 3543, 2260}}}, {w.dw_no2}};
        case 4:
            return {"三、主要发现、发明及技术创新点", {{w.dw_no3, {1079, 440, 3543, 1692}}}, {w.dw_no3}};
        case 5:
            return {"四、推荐单位意见", {{w.dw_no4, {1079, 440, 3543, 1692}}}, {w.dw_no4}};
        case 6:
        case 7:
            return {five,
                    {{w.dw_no51, {1125, 610, 3458, 690}}, {w.dw_no512, {1079, 440, 3543, 1700}}},
                    {w.dw_no512, w.dw_no51}};
        case 8:
            return {five,
                    {{w.dw_no52, {1125, 610, 3458, 663}}, {w.dw_no522, {1079, 440, 3543, 1700}}},
                    {w.dw_no522, w.dw_no52}};
        case 9:
            return {five, {{w.dw_no53, {1079, 440, 3543, 1700}}}, {w.dw_no53}};
        case 10:
            return {
                "六、本项目曾获科技奖励情况", {{w.dw_no6, {1125, 480, 3458, 1700}}}, {w.dw_no6}, {}, true};
        case 11:
            return {"七、主要完成人情况",
                    {{w.dw_no72, {1119, 1940, 3463, 490}}, {w.dw_no71, {1079, 440, 3543, 1496}}},
                    {w.dw_no72, w.dw_no71},
                    {},
                    true};
        case 12:
            return {"八、主要完成单位情况",
                    {{w.dw_no82, {1119, 1580, 3463, 850}}, {w.dw_no81, {1079, 440, 3543, 1136}}},
                    {w.dw_no82, w.dw_no81},
                    {},
                    true};
        case 13:
        case 14:
            return {nine,
                    {{w.dw_no91, {1125, 600, 3458, 1792}}},
                    {w.st_blank, w.st_sub, w.dw_no91},
                    "1、应用单位目录",
                    true};
        case 15:
            return {nine, {{w.dw_no92, {1079, 440, 3543, 2000}}}, {w.dw_no92}};
        case 16:
            return {nine,
                    {{w.dw_no93, {1125, 600, 3458, 1792}}},
                    {w.dw_no93, w.st_blank, w.st_sub},
                    "3、知识产权目录(发明专利、植物新品种权、软件著作权等)",
                    true};
        case 17:
            return {nine, {{w.dw_no94, {1079, 440, 3543, 1980}}}, {w.dw_no94}};
        case 18:
            return {"十、附件",
                    {},
                    {w.st_10_1, w.st_10_2, w.st_10_3, w.st_10_4, w.st_10_5, w.st_10_6, w.st_10_7, w.st_10_8}};
        default:
            return {"一、项目基本情况", {{w.dw_no1, {1079, 440, 3543, 2260}}}, {w.dw_no1}};
    }
}

}  // namespace

long j_main_mdi::retrievepage(DataWindowControl& page, const std::vector<rt::Value>& args) {
    if (HoldsChanges(page)) return 0;
    const long rows = page.Retrieve(args);
    // The database has said why it failed; what the page held belongs to what was shown before.
    if (rows == -1) page.Reset();
    return rows;
}

void j_main_mdi::page_display() {
    if (current_id.empty() || current_id == kNoRecommendation) return;
    st_2->Show();
    cb_p->Show();
    cb_n->Show();

    const PageRow row = RowOf(*this, current_page);
    st_2->SetText(Caption(row.title));

    for (const Retrieval& r : row.retrieved) {
        if (r.dw == dw_no71)
            retrievepage(*r.dw, {current_id, current_ry});
        else if (r.dw == dw_no81)
            retrievepage(*r.dw, {current_id, current_dw});
        else
            retrievepage(*r.dw, {current_id});
        // The list of the contributors or units shows the one whose detail is shown.
        if (r.dw == dw_no72 && current_ry > 0) r.dw->ScrollToRow(current_ry);
        if (r.dw == dw_no82 && current_dw > 0) r.dw->ScrollToRow(current_dw);
        r.dw->SetX(r.at.x);
        r.dw->SetY(r.at.y);
        r.dw->SetWidth(r.at.width);
        r.dw->SetHeight(r.at.height);
    }

    hidedw();

    for (rt::ui::Control* c : row.shown) {
        if (c == st_sub) st_sub->SetText(row.sub);
        c->Show();
    }
    if (row.listButtons) cb_page_show();
}

}  // namespace laurel::win

// Moving through the main window: the page shown for every section, the save of the page left,
// the step buttons, the contributor and unit lists coming back on the chosen one, and switching
// to another recommendation in the list.

#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "runtime/datawindow/dwdef.h"
#include "runtime/text/text.h"
#include "runtime/text/value.h"
#include "sections/section_area.h"
#include "sections/section_table.h"
#include "tests/support/app_fixture.h"
#include "tests/support/testdb.h"

namespace {

using laurel::win::j_main_mdi;
using rt::ui::DataWindowControl;
using testing_support::AppTest;
using testing_support::Box;
using testing_support::BoxOf;
using testing_support::Inside;
using testing_support::Overlap;
using testing_support::VisiblePageControls;
using testing_support::XmId;

const std::string kNoChanges = "000000000000000000";

DataWindowControl* Dw(const j_main_mdi& w, const std::string& name) {
    auto* d = dynamic_cast<DataWindowControl*>(w.FindControl(name));
    EXPECT_NE(d, nullptr) << name;
    return d;
}

// Compares a stored value with what was put into the DataWindow, by the type put in.
bool SameValue(const rt::Value& stored, const rt::Value& expected) {
    if (expected.Decimal()) return stored.AsDecimal() == *expected.Decimal();
    if (expected.Long()) return stored.AsLong() == *expected.Long();
    return stored.AsString() == expected.AsString();
}

// A recommendation with rows on every page, and a second, empty one.
class SectionNavigation : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        SeedTwo(a, b);
        AddAward(a, 1, "科技进步奖");
        AddApplication(a, 1, "应用单位一");
        AddProperty(a, 1, "一种方法");
        OpenMainWindow();
        ASSERT_EQ(laurel::current_id, a);
    }
    const std::string a = XmId(1), b = XmId(2);
    const int year = rt::Date::Today().year;
};

// ---------------------------------------------------------------------------------------------
// What the form fixes of each section, written here once: the program's section table must agree
// with it, so these are never read from that table.

// The ten sections' titles, as the caption above the page shows them.
const std::string kCaption[] = {"一、项目基本情况",
                                "二、项目简介",
                                "三、主要发现、发明及技术创新点",
                                "四、推荐单位意见",
                                "五、经济和社会效益",
                                "六、本项目曾获科技奖励情况",
                                "七、主要完成人情况",
                                "八、主要完成单位情况",
                                "九、主要证明目录",
                                "十、附件"};

struct Expected {
    const std::string& caption;      // before the blanks that pad it to 30 bytes
    std::vector<std::string> saved;  // the pages that leaving it saves
    bool listButtons;                // a list section: its list buttons show
};

// By tree handle: 1 the root, then the sections and their items in tree order.
const Expected& ExpectedAt(long handle) {
    static const std::vector<Expected> expected = {
        {kCaption[0], {"dw_no1"}, false},               // 推荐书: as section 一
        {kCaption[0], {"dw_no1"}, false},               // 一
        {kCaption[1], {"dw_no2"}, false},               // 二
        {kCaption[2], {"dw_no3"}, false},               // 三
        {kCaption[3], {"dw_no4"}, false},               // 四
        {kCaption[4], {"dw_no51", "dw_no512"}, false},  // 五
        {kCaption[4], {"dw_no51", "dw_no512"}, false},  // 1．直接经济效益
        {kCaption[4], {"dw_no52", "dw_no522"}, false},  // 2．间接经济效益
        {kCaption[4], {"dw_no53"}, false},              // 3．社会效益
        {kCaption[5], {"dw_no6"}, true},                // 六
        {kCaption[6], {"dw_no71"}, true},               // 七: the detail, never the list
        {kCaption[7], {"dw_no81"}, true},               // 八: the detail, never the list
        {kCaption[8], {"dw_no91"}, true},               // 九
        {kCaption[8], {"dw_no91"}, true},               // 1．应用单位目录
        {kCaption[8], {"dw_no92"}, false},              // 2. 技术评价证明及…
        {kCaption[8], {"dw_no93"}, true},               // 3．知识产权证明目录
        {kCaption[8], {"dw_no94"}, false},              // 4．10篇代表性论文、专著目录
        {kCaption[9], {}, false},                       // 十: no page
    };
    return expected.at(static_cast<std::size_t>(handle - 1));
}

// ---------------------------------------------------------------------------------------------
// The page shown for each section.

// The names of the controls of the page area that the section table names.
std::set<std::string> NamesOf(const j_main_mdi& w,
                              const std::vector<laurel::sections::AreaControl>& controls) {
    std::set<std::string> names;
    for (laurel::sections::AreaControl c : controls) names.insert(w.Sections().AreaControlOf(c).Name());
    return names;
}

// Stacking: the later sibling lies on top.
bool Above(const QWidget* upper, const QWidget* lower) {
    const QObjectList& siblings = upper->parentWidget()->children();
    return siblings.indexOf(upper) > siblings.indexOf(lower);
}

TEST_F(SectionNavigation, EverySectionShowsItsPageCaptionAndPlaces) {
    for (const laurel::sections::Section& s : laurel::sections::Sections()) {
        SCOPED_TRACE("section handle " + std::to_string(s.handle));
        ASSERT_EQ(W().tv_1->SelectItem(s.handle), 1);
        EXPECT_EQ(laurel::current_page, s.handle) << "the root keeps its own handle";
        EXPECT_EQ(W().tv_1->SelectedItem(), s.handle);

        // The caption, padded with blanks to 30 bytes of GBK text.
        const Expected& expected = ExpectedAt(s.handle);
        const std::string caption = W().st_2->Text();
        EXPECT_EQ(caption.substr(0, expected.caption.size()), expected.caption);
        EXPECT_EQ(caption.find_first_not_of(' ', expected.caption.size()), std::string::npos);
        EXPECT_EQ(rt::GbkLength(caption), 30u);
        EXPECT_TRUE(W().st_2->Visible());
        EXPECT_TRUE(W().cb_p->Visible());
        EXPECT_TRUE(W().cb_n->Visible());

        std::set<std::string> visible = NamesOf(W(), s.shown);
        if (expected.listButtons) visible.insert({"cb_page_insert", "cb_page_delete"});
        EXPECT_EQ(VisiblePageControls(W()), visible);
        EXPECT_FALSE(W().cb_page_save->Visible());
        if (visible.contains("st_sub")) {
            EXPECT_EQ(W().st_sub->Text(), s.sub);
        }

        for (const laurel::sections::Placement& p : s.read) {
            const DataWindowControl& d = W().Sections().PageOf(p.page);
            EXPECT_EQ(d.X(), p.x) << d.Name();
            EXPECT_EQ(d.Y(), p.y) << d.Name();
            EXPECT_EQ(d.Width(), p.width) << d.Name();
            EXPECT_EQ(d.Height(), p.height) << d.Name();
        }
    }
}

// Where the object's parts lie in the object, in layout units: fields and their labels, texts,
// computed fields and frame lines.
int BandTop(const rt::DataWindowDef& d, rt::Band band) {
    switch (band) {
        case rt::Band::Header:
            return 0;
        case rt::Band::Detail:
            return d.headerHeight;
        case rt::Band::Summary:
            return d.headerHeight + d.detailHeight;
        case rt::Band::Footer:
            return d.headerHeight + d.detailHeight + d.summaryHeight;
    }
    return 0;
}

std::vector<std::pair<std::string, Box>> Drawn(const rt::DataWindowDef& d) {
    std::vector<std::pair<std::string, Box>> out;
    const int detail = BandTop(d, rt::Band::Detail);
    for (const rt::ColumnDef& c : d.columns) {
        if (!c.visible) continue;
        out.push_back({c.name, {c.x, detail + c.y, c.width, c.height}});
        if (c.labelWidth > 0)
            out.push_back({c.name + " label", {c.labelX, detail + c.labelY, c.labelWidth, c.labelHeight}});
    }
    for (const rt::TextDef& t : d.texts)
        out.push_back({t.text, {t.x, BandTop(d, t.band) + t.y, t.width, t.height}});
    for (const rt::ComputeDef& c : d.computes)
        out.push_back({c.name, {c.x, BandTop(d, c.band) + c.y, c.width, c.height}});
    for (const rt::LineDef& l : d.lines)
        out.push_back({"a frame line",
                       {std::min(l.x1, l.x2), BandTop(d, l.band) + std::min(l.y1, l.y2),
                        std::abs(l.x2 - l.x1), std::abs(l.y2 - l.y1)}});
    return out;
}

// Every page of a section shows its object whole, inside the section frame and clear of the list
// buttons; a page laid on another covers only a stretch that the other leaves empty.
TEST_F(SectionNavigation, EveryPageShowsItsObjectWholeAndCoversNothingOfAnother) {
    for (long handle = 2; handle <= 18; ++handle) {
        SCOPED_TRACE("section handle " + std::to_string(handle));
        ASSERT_EQ(W().tv_1->SelectItem(handle), 1);
        for (const std::string& n : VisiblePageControls(W()))
            EXPECT_TRUE(Inside(BoxOf(*W().FindControl(n)), BoxOf(*W().gb_2)))
                << n << " leaves the section frame";

        std::vector<const DataWindowControl*> shown;
        for (const DataWindowControl* d : W().Pages())
            if (d->Visible()) shown.push_back(d);
        for (const DataWindowControl* d : shown) {
            SCOPED_TRACE(d->Name());
            const rt::DataWindowDef* def = rt::FindDefinition(d->DataObject());
            ASSERT_NE(def, nullptr);
            EXPECT_LE(def->width, d->Width()) << "narrower than its object";
            const int tall = def->headerHeight + def->detailHeight + def->summaryHeight + def->footerHeight;
            if (def->presentation == rt::Presentation::Freeform) {
                EXPECT_LE(tall, d->Height()) << "shorter than its form";
            }
            for (const rt::ui::Control* b : {W().cb_page_insert, W().cb_page_delete}) {
                if (b->Visible()) {
                    EXPECT_FALSE(Overlap(BoxOf(*b), BoxOf(*d))) << b->Name() << " covers rows";
                }
            }
        }
        for (const DataWindowControl* upper : shown)
            for (const DataWindowControl* lower : shown) {
                if (upper == lower || !Overlap(BoxOf(*upper), BoxOf(*lower))) continue;
                if (!Above(upper->Widget(), lower->Widget())) continue;
                SCOPED_TRACE(upper->Name() + " on " + lower->Name());
                EXPECT_TRUE(Inside(BoxOf(*upper), BoxOf(*lower)));
                for (auto [what, b] : Drawn(*rt::FindDefinition(lower->DataObject()))) {
                    b.x += lower->X();
                    b.y += lower->Y();
                    EXPECT_FALSE(Overlap(b, BoxOf(*upper))) << what << " lies under it";
                }
            }
        // The three years that New makes show with their totals without scrolling.
        for (const DataWindowControl* d : {W().dw_no51, W().dw_no52}) {
            if (!d->Visible()) continue;
            const rt::DataWindowDef* def = rt::FindDefinition(d->DataObject());
            EXPECT_LE(def->headerHeight + 3 * def->detailHeight + def->summaryHeight, d->Height())
                << d->Name();
        }
    }
}

TEST_F(SectionNavigation, PagesAreReadForTheCurrentRecommendationEachTimeTheyShow) {
    W().tv_1->SelectItem(7);
    EXPECT_EQ(W().dw_no51->RowCount(), 3);
    EXPECT_EQ(W().dw_no51->GetItemString(1, "xy_year"), std::to_string(year - 3));
    EXPECT_EQ(W().dw_no512->GetItemString(1, "xm_id"), a);
    // The year table lies on its form, inside the form's area.
    EXPECT_TRUE(Above(W().dw_no51->Widget(), W().dw_no512->Widget()));

    W().tv_1->SelectItem(8);
    EXPECT_EQ(W().dw_no52->RowCount(), 3);
    EXPECT_TRUE(Above(W().dw_no52->Widget(), W().dw_no522->Widget()));

    W().tv_1->SelectItem(10);
    EXPECT_EQ(W().dw_no6->RowCount(), 1);
    W().tv_1->SelectItem(11);
    EXPECT_EQ(W().dw_no72->RowCount(), 3);
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "完成人一");
    W().tv_1->SelectItem(16);
    EXPECT_EQ(W().dw_no93->GetItemString(1, "zl_name"), "一种方法");

    // Rows changed behind the page's back are what it shows next time.
    ExecCommit("UPDATE j_zl_patent SET zl_name = '另一种方法' WHERE xm_id = ?", {a});
    W().tv_1->SelectItem(17);
    W().tv_1->SelectItem(16);
    EXPECT_EQ(W().dw_no93->GetItemString(1, "zl_name"), "另一种方法");
    EXPECT_TRUE(Boxes().empty());
}

// ---------------------------------------------------------------------------------------------
// The save of the page left.

struct PageEdit {
    std::string dw;
    std::string column;
    std::string sql;       // reads the stored value back; one argument: the recommendation
    bool yearRow = false;  // the first year table row: a second argument, the oldest year
};

rt::Value EditValue(const PageEdit& e, long handle) {
    if (e.column == "xy_addvalue") return rt::Decimal::FromCents(handle * 100 + 25);
    if (e.column == "xm_huis") return static_cast<int>(handle);
    return "第" + std::to_string(handle) + "次修改";
}

// An edit of each page, and where it is stored.
const std::vector<PageEdit>& Edits() {
    static const std::vector<PageEdit> edits = {
        {"dw_no1", "xm_name", "SELECT xm_name FROM j_xm_base WHERE xm_id = ?"},
        {"dw_no2", "xm_abstract", "SELECT xm_abstract FROM j_xm_base WHERE xm_id = ?"},
        {"dw_no3", "xm_innovation", "SELECT xm_innovation FROM j_xm_base WHERE xm_id = ?"},
        {"dw_no4", "xm_recom", "SELECT xm_recom FROM j_xm_base WHERE xm_id = ?"},
        {"dw_no51", "xy_addvalue",
         "SELECT xy_addvalue FROM j_xy_saving WHERE xm_id = ? AND xy_zhijorjianj = '1' AND xy_year = ?",
         true},
        {"dw_no512", "xm_huis", "SELECT xm_huis FROM j_xm_base WHERE xm_id = ?"},
        {"dw_no52", "xy_addvalue",
         "SELECT xy_addvalue FROM j_xy_saving WHERE xm_id = ? AND xy_zhijorjianj = '0' AND xy_year = ?",
         true},
        {"dw_no522", "xm_jianjyj", "SELECT xm_jianjyj FROM j_xm_base WHERE xm_id = ?"},
        {"dw_no53", "xm_sosiety", "SELECT xm_sosiety FROM j_xm_base WHERE xm_id = ?"},
        {"dw_no6", "jx_xmname", "SELECT jx_xmname FROM j_jx_getaward WHERE xm_id = ? AND jx_id = 1"},
        {"dw_no71", "ry_name", "SELECT ry_name FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1"},
        {"dw_no72", "ry_unit", "SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1"},
        {"dw_no81", "dw_name", "SELECT dw_name FROM j_dw_finish WHERE xm_id = ? AND dw_no = 1"},
        {"dw_no82", "dw_rperson", "SELECT dw_rperson FROM j_dw_finish WHERE xm_id = ? AND dw_no = 1"},
        {"dw_no91", "dw_unitname", "SELECT dw_unitname FROM j_yy_app WHERE xm_id = ? AND yy_id = 1"},
        {"dw_no92", "xm_pingjia", "SELECT xm_pingjia FROM j_xm_base WHERE xm_id = ?"},
        {"dw_no93", "zl_name", "SELECT zl_name FROM j_zl_patent WHERE xm_id = ? AND zl_id = 1"},
        {"dw_no94", "xm_papers", "SELECT xm_papers FROM j_xm_base WHERE xm_id = ?"},
    };
    return edits;
}

TEST_F(SectionNavigation, LeavingASectionSavesExactlyItsOwnPages) {
    const std::vector<PageEdit>& edits = Edits();
    for (long h = 1; h <= 18; ++h) {
        SCOPED_TRACE("leaving section handle " + std::to_string(h));
        ASSERT_EQ(W().tv_1->SelectItem(h), 1);
        const laurel::sections::Section& section = *laurel::sections::SectionAt(h);
        const std::set<std::string> saves(ExpectedAt(h).saved.begin(), ExpectedAt(h).saved.end());

        // Edit every DataWindow the section shows.
        std::vector<const PageEdit*> edited;
        for (const PageEdit& e : edits) {
            if (!NamesOf(W(), section.shown).contains(e.dw)) continue;
            DataWindowControl* d = Dw(W(), e.dw);
            ASSERT_GE(d->RowCount(), 1) << e.dw;
            ASSERT_EQ(d->SetItem(1, e.column, EditValue(e, h)), 1) << e.dw;
            edited.push_back(&e);
        }
        if (h == 18) {
            // No page: nothing is saved and no COMMIT is issued.
            Exec("UPDATE j_xm_base SET xm_ename = 'not committed' WHERE xm_id = ?", {a});
        }

        ASSERT_EQ(W().tv_1->SelectItem(h == 18 ? 2 : 18), 1);

        for (const PageEdit* e : edited) {
            std::vector<rt::Value> args = {a};
            if (e->yearRow) args.emplace_back(std::to_string(year - 3));
            const rt::Value stored = StoredValue(e->sql, args);
            const bool saved = saves.contains(e->dw);
            EXPECT_EQ(SameValue(stored, EditValue(*e, h)), saved) << e->dw << " stored " << stored.ToText();
            EXPECT_EQ(Dw(W(), e->dw)->ModifiedCount() == 0, saved) << e->dw;
        }
        if (h == 18) {
            EXPECT_EQ(StoredBase(a, "xm_ename"), std::nullopt);
            laurel::sqlca.Rollback();
        }
    }
    EXPECT_TRUE(Boxes().empty());
}

// Another desktop stores a page after this one read it: leaving the section stores nothing and asks,
// naming the section, whose changes stand. 否 shows what is stored; 是 reads it again, puts this
// desktop's changes over it and stores them. Every page and both detail forms.
TEST_F(SectionNavigation, APageAnotherDesktopStoredSinceItWasReadAsksWhoseChangesStand) {
    for (const PageEdit& e : Edits()) {
        if (e.dw == "dw_no72" || e.dw == "dw_no82") continue;  // lists that no section stores
        SCOPED_TRACE(e.dw);
        long h = 2;
        while (!NamesOf(W(), laurel::sections::SectionAt(h)->saved).contains(e.dw)) ++h;
        const std::string caption(laurel::sections::SectionAt(h)->caption);
        const std::string object = "dw_" + e.dw.substr(5);
        std::vector<rt::Value> args = {a};
        if (e.dw == "dw_no71" || e.dw == "dw_no81") args.emplace_back(1);
        std::vector<rt::Value> stored = {a};
        if (e.yearRow) stored.emplace_back(std::to_string(year - 3));
        DataWindowControl& page = *Dw(W(), e.dw);

        for (const int answer : {2, 1}) {
            ASSERT_EQ(W().tv_1->SelectItem(h), 1);
            const rt::Value mine = EditValue(e, 100 * answer + h);
            const rt::Value theirs = EditValue(e, 100 * answer + 50 + h);
            ASSERT_EQ(page.SetItem(1, e.column, mine), 1);
            Other().EditPage(object, args, e.column, theirs);

            Dialogs().Clear();
            Dialogs().Answer(answer);
            ASSERT_EQ(W().tv_1->SelectItem(18), 1);
            ASSERT_EQ(Boxes(),
                      std::vector<std::string>{"提示信息|" + laurel::sections::ChangedElsewhere(caption)});
            const rt::ui::MessageRequest& box = Dialogs().messages.front().request;
            EXPECT_EQ(box.buttons, rt::ui::Buttons::YesNo);
            const rt::Value& kept = answer == 1 ? mine : theirs;
            EXPECT_TRUE(SameValue(StoredValue(e.sql, stored), kept)) << StoredValue(e.sql, stored).ToText();
            EXPECT_TRUE(SameValue(page.GetItem(1, e.column), kept)) << page.GetItem(1, e.column).ToText();
            EXPECT_EQ(page.ModifiedCount(), 0);
        }
    }
}

// Two desktops that change different columns of a row, or different pages, do not disturb each other.
TEST_F(SectionNavigation, ChangesOfDifferentColumnsOnTwoDesktopsBothStand) {
    W().tv_1->SelectItem(2);
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "这边的名称"), 1);
    Other().EditPage("dw_1", {a}, "xm_topicword", "那边的主题词");
    Other().EditPage("dw_2", {a}, "xm_abstract", "那边的简介");
    W().tv_1->SelectItem(11);
    ASSERT_EQ(W().dw_no71->SetItem(1, "ry_unit", "这边的单位"), 1);
    Other().EditPage("dw_71", {a, 1}, "ry_bplace", "那边的出生地");
    W().tv_1->SelectItem(3);
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_EQ(StoredBase(a, "xm_name"), "这边的名称");
    EXPECT_EQ(StoredBase(a, "xm_topicword"), "那边的主题词");
    EXPECT_EQ(W().dw_no2->GetItemString(1, "xm_abstract"), "那边的简介");
    EXPECT_EQ(Stored("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {a}), "这边的单位");
    EXPECT_EQ(Stored("SELECT ry_bplace FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {a}), "那边的出生地");
}

// A failed save rolls back what the page left wrote, tells so, keeps its edits pending and still
// lets the step happen.
TEST_F(SectionNavigation, FailedSaveOfThePageLeftIsRolledBackAndTheStepStillHappens) {
    W().tv_1->SelectItem(7);
    ASSERT_EQ(W().dw_no51->SetItem(1, "xy_addvalue", rt::Decimal::FromCents(9900)), 1);
    ASSERT_EQ(W().dw_no512->SetItem(1, "xm_huis", 9), 1);
    RefuseWrites("no_benefit", "BEFORE UPDATE OF xy_addvalue ON j_xy_saving");

    AnswerDatabaseError();
    Dialogs().Answer(1);
    W().cb_n->Click();

    ASSERT_FALSE(Dialogs().messages.empty());
    const rt::ui::MessageRequest& box = Dialogs().messages.back().request;
    EXPECT_EQ(box.title, "提示信息");
    EXPECT_EQ(box.text, "先前的页面保存失败！");
    EXPECT_EQ(box.buttons, rt::ui::Buttons::OK);
    EXPECT_EQ(box.icon, rt::ui::Icon::StopSign);
    const std::vector<std::string> boxes = Boxes();
    EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "提示信息|先前的页面保存失败！"), 1);

    EXPECT_EQ(W().tv_1->SelectedItem(), 8);
    EXPECT_EQ(laurel::current_page, 8);
    EXPECT_EQ(VisiblePageControls(W()), (std::set<std::string>{"dw_no522", "dw_no52"}));
    // The second page's write went with the rollback; both edits wait for the next save.
    EXPECT_EQ(StoredBase(a, "xm_huis"), "0");
    EXPECT_EQ(Pending("SELECT xm_huis FROM j_xm_base WHERE xm_id = ?", {a}), "0");
    EXPECT_EQ(W().dw_no51->ModifiedCount(), 1);
    EXPECT_EQ(W().dw_no512->ModifiedCount(), 1);
    EXPECT_EQ(W().modifieddw(), "000011000000000000");
}

// The save of the section left finds the transaction lost (the connection gone; a SQLite file
// moved away, then put back as a copy): the user is told once that nothing was done, and the
// section stays, on the page and highlighted in the tree, with its edits, so that leaving it again,
// as told, stores them.
TEST_F(SectionNavigation, ALostTransactionKeepsTheSectionLeftUntilLeavingItAgainStoresIt) {
    const bool server = testing_support::ScratchDatabase::OnPostgreSQL();
    auto* tree = qobject_cast<QTreeWidget*>(W().tv_1->Widget());
    ASSERT_NE(tree, nullptr);
    W().TopWidget()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(W().TopWidget()));
    const auto click = [&](long handle) {
        const auto found = tree->findItems(QString::fromStdString(W().tv_1->GetItemLabel(handle)),
                                           Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found.front()).center());
    };
    const auto highlighted = [&] {
        const auto items = tree->selectedItems();
        return items.size() == 1 && tree->currentItem() == items.front()
                   ? items.front()->text(0).toStdString()
                   : std::string("?");
    };
    W().tv_1->SelectItem(3);
    ASSERT_EQ(W().dw_no2->SetItem(1, "xm_abstract", "连接中断时输入的简介"), 1);
    const std::filesystem::path away = Db().Folder() / "moved-away.db";
    if (server) {
        ASSERT_TRUE(testing_support::CutOff(Db(), laurel::sqlca));
    } else {
        std::filesystem::rename(Db().DatabaseFile(), away);
    }

    Dialogs().Answer(1);
    click(4);
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{
                  server ? "提示信息|与数据库的连接曾经中断，现已恢复。\n刚才的操作没有完成，已输入的内"
                           "容仍然保留，请再操作一次。"
                         : "提示信息|数据库文件已被删除或移走，无法写入。\n刚才的操作没有完成，已输入"
                           "的内容仍然保留，请把数据库文件放回原处后再操作一次。"});
    EXPECT_EQ(W().tv_1->SelectedItem(), 3);
    EXPECT_EQ(laurel::current_page, 3);
    EXPECT_EQ(highlighted(), W().tv_1->GetItemLabel(3));
    EXPECT_EQ(VisiblePageControls(W()), std::set<std::string>{"dw_no2"});
    EXPECT_EQ(W().dw_no2->ModifiedCount(), 1);

    if (!server) {
        std::filesystem::copy_file(away, Db().DatabaseFile());
        std::filesystem::remove(away);
    }
    click(4);
    EXPECT_EQ(laurel::current_page, 4);
    EXPECT_EQ(highlighted(), W().tv_1->GetItemLabel(4));
    EXPECT_EQ(StoredBase(a, "xm_abstract"), "连接中断时输入的简介");
    EXPECT_EQ(Boxes().size(), 1u) << Dialogs().Transcript();
}

// Shown again, a page whose save failed shows the edits it kept, not the stored rows; the next
// leaving saves them. A COMMIT that fails (another program reads the database) counts as a failed
// save like any other.
TEST_F(SectionNavigation, APageWhoseSaveFailedIsShownAsItIsUntilASaveStoresIt) {
    W().tv_1->SelectItem(3);
    ASSERT_EQ(W().dw_no2->SetColumn("xm_abstract"), 1);
    ASSERT_EQ(W().dw_no2->SetText("未能保存的简介"), 1);
    {
        const auto lock = FailNextCommit();
        AnswerDatabaseError();
        Dialogs().Answer(1);
        W().tv_1->SelectItem(4);
    }
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[0], "")) << Boxes()[0];
    EXPECT_EQ(Boxes()[1], "提示信息|先前的页面保存失败！");
    EXPECT_EQ(StoredBase(a, "xm_abstract"), std::nullopt);
    EXPECT_EQ(W().dw_no2->ModifiedCount(), 1);

    W().tv_1->SelectItem(3);
    EXPECT_EQ(W().dw_no2->GetItemString(1, "xm_abstract"), "未能保存的简介");
    EXPECT_EQ(W().dw_no2->ModifiedCount(), 1);
    EXPECT_EQ(VisiblePageControls(W()), std::set<std::string>{"dw_no2"});
    W().tv_1->SelectItem(4);
    EXPECT_EQ(StoredBase(a, "xm_abstract"), "未能保存的简介");
    EXPECT_EQ(W().modifieddw(), kNoChanges);
    EXPECT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
}

// ---------------------------------------------------------------------------------------------
// The step buttons.

TEST_F(SectionNavigation, StepButtonsWalkEverySectionInTreeOrderAndStopAtTheEnds) {
    for (long expected = 3; expected <= 18; ++expected) {
        W().cb_n->Click();
        EXPECT_EQ(laurel::current_page, expected);
        EXPECT_EQ(W().tv_1->SelectedItem(), expected);
    }
    W().cb_n->Click();
    EXPECT_EQ(laurel::current_page, 18);
    EXPECT_EQ(W().tv_1->SelectedItem(), 18);

    for (long expected = 17; expected >= 2; --expected) {
        W().cb_p->Click();
        EXPECT_EQ(laurel::current_page, expected);
        EXPECT_EQ(W().tv_1->SelectedItem(), expected);
    }
    W().cb_p->Click();
    EXPECT_EQ(laurel::current_page, 2);
    EXPECT_EQ(W().tv_1->SelectedItem(), 2);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(SectionNavigation, StepButtonsFromTheRoot) {
    W().tv_1->SelectItem(1);
    W().cb_p->Click();
    EXPECT_EQ(laurel::current_page, 1) << "previous never reaches below section one, nor moves the root";
    EXPECT_EQ(W().tv_1->SelectedItem(), 1);

    // Next from the root goes to section one and saves the root's page, which is section one's.
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "根节点下修改"), 1);
    W().cb_n->Click();
    EXPECT_EQ(laurel::current_page, 2);
    EXPECT_EQ(W().tv_1->SelectedItem(), 2);
    EXPECT_EQ(StoredBase(a, "xm_name"), "根节点下修改");
    EXPECT_EQ(VisiblePageControls(W()), std::set<std::string>{"dw_no1"});
}

TEST_F(SectionNavigation, StepAtTheEndSavesAndShowsNothingAnew) {
    W().tv_1->SelectItem(2);
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "未离开"), 1);
    W().cb_p->Click();
    EXPECT_EQ(laurel::current_page, 2);
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), "未离开") << "the page is not read again";
    EXPECT_EQ(StoredBase(a, "xm_name"), "项目一") << "nothing was left, so nothing is saved";
}

// ---------------------------------------------------------------------------------------------
// The contributor and unit lists come back on the chosen one.

TEST_F(SectionNavigation, SectionsSevenAndEightComeBackOnTheChosenContributorAndUnit) {
    W().tv_1->SelectItem(11);
    ASSERT_EQ(W().dw_no72->RowCount(), 3);
    EXPECT_EQ(W().dw_no72->GetRow(), 1);
    // The user picks the third contributor in the list.
    ASSERT_EQ(W().dw_no72->SetRow(3), 1);
    laurel::current_ry = 3;

    W().tv_1->SelectItem(12);
    ASSERT_EQ(W().dw_no82->RowCount(), 3);
    ASSERT_EQ(W().dw_no82->SetRow(2), 1);
    laurel::current_dw = 2;

    W().tv_1->SelectItem(11);
    EXPECT_EQ(W().dw_no72->GetRow(), 3);
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "完成人三");
    EXPECT_EQ(W().dw_no71->GetItemNumber(1, "ry_no"), 3.0);

    W().tv_1->SelectItem(12);
    EXPECT_EQ(W().dw_no82->GetRow(), 2);
    EXPECT_EQ(W().dw_no81->GetItemString(1, "dw_name"), "完成单位二");
    EXPECT_TRUE(Boxes().empty());
}

// Another desktop saves the recommendation while this one types in it: leaving the section stores
// nothing, says why, and leaves the text on show on read-only pages until Modify opens them again.
// A version number made on another desktop saves it the same way.
TEST_F(SectionNavigation, ASectionLeftAfterAnotherDesktopSavedTheRecommendationStoresNothing) {
    const std::string said = "提示信息|" + std::string(laurel::sections::kSavedElsewhere);
    W().tv_1->SelectItem(3);
    ASSERT_EQ(W().dw_no2->SetColumn("xm_abstract"), 1);
    ASSERT_EQ(W().dw_no2->SetText("保存之后输入的简介"), 1);
    Other().Save(a);

    Dialogs().Answer(1);
    W().tv_1->SelectItem(4);
    EXPECT_EQ(Boxes(), std::vector<std::string>{said});
    EXPECT_EQ(StoredBase(a, "xm_abstract"), std::nullopt);
    EXPECT_EQ(W().dw_no2->GetItemString(1, "xm_abstract"), "保存之后输入的简介");
    EXPECT_EQ(W().dw_no2->ModifiedCount(), 1);
    for (DataWindowControl* page : W().Pages()) EXPECT_FALSE(page->Enabled()) << page->Name();
    EXPECT_FALSE(W().cb_page_insert->Enabled());
    EXPECT_FALSE(W().cb_page_delete->Enabled());
    EXPECT_EQ(W().dw_no->GetItemString(1, "xm_xg"), "1");

    // Shown again, the section still holds the text; Modify opens the pages, and leaving stores it.
    W().tv_1->SelectItem(3);
    EXPECT_EQ(W().dw_no2->GetItemString(1, "xm_abstract"), "保存之后输入的简介");
    Menu().modify->Click();
    EXPECT_TRUE(W().dw_no2->Enabled());
    W().tv_1->SelectItem(4);
    EXPECT_EQ(StoredBase(a, "xm_abstract"), "保存之后输入的简介");
    EXPECT_EQ(Boxes().size(), 1u) << Dialogs().Transcript();

    ASSERT_EQ(W().dw_no3->SetItem(1, "xm_innovation", "版本号之后的创新点"), 1);
    Other().MakeVersion(a, a + "0042");
    Dialogs().Clear();
    Dialogs().Answer(1);
    W().tv_1->SelectItem(5);
    EXPECT_EQ(Boxes(), std::vector<std::string>{said});
    EXPECT_EQ(StoredBase(a, "xm_innovation"), std::nullopt);
    EXPECT_EQ(W().dw_no3->GetItemString(1, "xm_innovation"), "版本号之后的创新点");
    EXPECT_FALSE(W().dw_no3->Enabled());
}

// ---------------------------------------------------------------------------------------------
// Switching to another recommendation in the list.

class RecommendationSwitch : public SectionNavigation {
  protected:
    void ExpectSwitchQuestion() {
        ASSERT_FALSE(Dialogs().messages.empty());
        const rt::ui::MessageRequest& q = Dialogs().messages[0].request;
        EXPECT_EQ(q.title, "提示信息");
        EXPECT_EQ(q.text, "申请书已有修改，是否保存？");
        EXPECT_EQ(q.icon, rt::ui::Icon::Question);
        EXPECT_EQ(q.buttons, rt::ui::Buttons::YesNo);
        EXPECT_EQ(q.defaultButton, 1);
    }
    // Section one of `id` is shown, the pages in the mode of its flag.
    void ExpectSectionOneOf(const std::string& id) {
        EXPECT_EQ(laurel::current_id, id);
        EXPECT_EQ(laurel::current_page, 2);
        EXPECT_EQ(laurel::current_ry, 1);
        EXPECT_EQ(laurel::current_dw, 1);
        EXPECT_EQ(W().tv_1->SelectedItem(), 2);
        const laurel::sections::Section& one = *laurel::sections::SectionAt(2);
        EXPECT_EQ(W().st_2->Text(), kCaption[0] + std::string(14, ' '));
        EXPECT_TRUE(W().st_2->Visible());
        EXPECT_TRUE(W().cb_p->Visible());
        EXPECT_TRUE(W().cb_n->Visible());
        EXPECT_EQ(VisiblePageControls(W()), std::set<std::string>{"dw_no1"});
        EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_id"), id);
        EXPECT_EQ(W().dw_no1->X(), one.read.front().x);
        EXPECT_EQ(W().dw_no1->Height(), one.read.front().height);
    }
};

TEST_F(RecommendationSwitch, NothingChangedAsksNothing) {
    W().tv_1->SelectItem(11);
    laurel::current_ry = 3;
    laurel::current_dw = 2;
    ASSERT_EQ(W().dw_no->SetRow(2), 1);
    EXPECT_TRUE(Boxes().empty());
    ExpectSectionOneOf(b);
    EXPECT_EQ(W().dw_no->GetRow(), 2);
}

TEST_F(RecommendationSwitch, YesSavesCommitsAndSwitches) {
    ASSERT_EQ(W().dw_no1->SetColumn("xm_name"), 1);
    ASSERT_EQ(W().dw_no1->SetText("改过的名称"), 1);  // still being typed
    Dialogs().Answer(1);
    ASSERT_EQ(W().dw_no->SetRow(2), 1);

    ExpectSwitchQuestion();
    EXPECT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(StoredBase(a, "xm_name"), "改过的名称");
    ExpectSectionOneOf(b);
    EXPECT_EQ(W().dw_no->GetRow(), 2);
    EXPECT_EQ(W().dw_no->GetItemString(1, "xm_name"), "改过的名称") << "the list is read again";
    EXPECT_EQ(W().modifieddw(), kNoChanges);
}

// Esc and the close box are no answer to a question whose No throws the edits away.
TEST_F(RecommendationSwitch, EscAndTheCloseBoxDoNotAnswerTheQuestion) {
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "留下的名称"), 1);
    Dialogs().Answer(rt::ScriptedDialogs::kEscape);
    Dialogs().Answer(rt::ScriptedDialogs::kCloseBox);
    Dialogs().Answer(1);
    ASSERT_EQ(W().dw_no->SetRow(2), 1);
    ExpectSwitchQuestion();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Dialogs().messages[0].ignored, 2);
    EXPECT_EQ(Dialogs().messages[0].answer, 1);
    EXPECT_EQ(StoredBase(a, "xm_name"), "留下的名称");
    ExpectSectionOneOf(b);
}

TEST_F(RecommendationSwitch, NoOnSectionOneDiscardsTheEdits) {
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "放弃的名称"), 1);
    Dialogs().Answer(2);
    ASSERT_EQ(W().dw_no->SetRow(2), 1);
    ExpectSwitchQuestion();
    EXPECT_EQ(Boxes().size(), 1u);
    ExpectSectionOneOf(b);
    EXPECT_EQ(StoredBase(a, "xm_name"), "项目一");

    // Nothing is left pending: going back asks nothing and shows what is stored.
    ASSERT_EQ(W().dw_no->SetRow(1), 1);
    EXPECT_EQ(Boxes().size(), 1u);
    ExpectSectionOneOf(a);
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), "项目一");
}

// No means nothing is stored, also not by the save of the section left when section one comes up.
TEST_F(RecommendationSwitch, NoOnAnotherSectionStoresNothingEither) {
    W().tv_1->SelectItem(4);
    ASSERT_EQ(W().dw_no3->SetItem(1, "xm_innovation", "放弃的创新点"), 1);
    W().tv_1->SelectItem(11);
    ASSERT_EQ(W().dw_no71->SetItem(1, "ry_name", "放弃的姓名"), 1);
    Dialogs().Answer(2);
    ASSERT_EQ(W().dw_no->SetRow(2), 1);

    ExpectSwitchQuestion();
    EXPECT_EQ(Boxes().size(), 1u) << "no failure box from the save of the page left";
    ExpectSectionOneOf(b);
    EXPECT_EQ(Stored("SELECT ry_name FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {a}), "完成人一");
    EXPECT_EQ(W().modifieddw(), kNoChanges);
    // The section-three edit was saved when 三 was left, before the question: that one stays.
    EXPECT_EQ(StoredBase(a, "xm_innovation"), "放弃的创新点");
}

// A failed save keeps the recommendation that was left current, on the section it was on, with
// every edit pending; once the cause is gone the next switch saves them.
TEST_F(RecommendationSwitch, FailedSaveKeepsTheRecommendationLeftWithItsEdits) {
    W().tv_1->SelectItem(11);
    ASSERT_EQ(W().dw_no71->SetItem(1, "ry_name", "王五"), 1);
    ASSERT_EQ(W().dw_no72->SetItem(2, "ry_unit", "某研究院"), 1);
    RefuseWrites("no_names", "BEFORE UPDATE OF ry_name ON j_ry_finish");

    Dialogs().Answer(1);
    AnswerDatabaseError();
    Dialogs().Answer(1);
    W().dw_no->SetRow(2);

    ExpectSwitchQuestion();
    ASSERT_FALSE(Dialogs().messages.empty());
    const rt::ui::MessageRequest& failure = Dialogs().messages.back().request;
    EXPECT_EQ(failure.title, "提示信息");
    EXPECT_EQ(failure.text, "保存失败！");
    EXPECT_EQ(laurel::current_id, a);
    EXPECT_EQ(W().dw_no->GetRow(), 1);
    EXPECT_EQ(laurel::current_page, 11);
    EXPECT_EQ(W().tv_1->SelectedItem(), 11);
    EXPECT_EQ(W().st_2->Text(), "七、主要完成人情况" + std::string(12, ' '));
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "王五");
    EXPECT_EQ(W().modifieddw(), "000000000011000000");
    EXPECT_EQ(Stored("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 2", {a}), std::nullopt);
    EXPECT_EQ(Pending("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 2", {a}), std::nullopt);

    AllowWrites("no_names", "j_ry_finish");
    Dialogs().Clear();
    Dialogs().Answer(1);
    ASSERT_EQ(W().dw_no->SetRow(2), 1);
    ExpectSwitchQuestion();
    EXPECT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Stored("SELECT ry_name FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {a}), "王五");
    EXPECT_EQ(Stored("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 2", {a}), "某研究院");
    ExpectSectionOneOf(b);
    EXPECT_EQ(W().dw_no->GetRow(), 2);
}

// The list was read before another desktop saved the recommendation: it comes up read-only all
// the same.
TEST_F(RecommendationSwitch, ARecommendationSavedOnAnotherDesktopComesUpReadOnly) {
    Other().Save(b);
    ASSERT_EQ(W().dw_no->GetItemString(2, "xm_xg"), "0");
    W().dw_no->SetRow(2);
    ExpectSectionOneOf(b);
    EXPECT_EQ(W().dw_no->GetItemString(2, "xm_xg"), "1");
    EXPECT_FALSE(W().dw_no1->Enabled());
    EXPECT_FALSE(W().cb_page_insert->Enabled());
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
}

// The removal of a list's only item waits in the page: it is a change of the recommendation left,
// asked about like any other, never stored into (or checked against) the one switched to.
TEST_F(RecommendationSwitch, ARemovalStillPendingIsAskedAboutForTheRecommendationLeft) {
    AddAward(b, 1, "另一份的奖项");
    W().tv_1->SelectItem(10);
    ASSERT_EQ(W().dw_no6->RowCount(), 1);
    Dialogs().Answer(1);
    W().cb_page_delete->Click();
    ASSERT_EQ(W().dw_no6->DeletedCount(), 1);

    Dialogs().Answer(1);
    ASSERT_EQ(W().dw_no->SetRow(2), 1);
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"提示信息：|真的要删除吗？", "提示信息|申请书已有修改，是否保存？"}));
    EXPECT_EQ(StoredCount("j_jx_getaward", a), 0);
    EXPECT_EQ(StoredCount("j_jx_getaward", b), 1);
    ExpectSectionOneOf(b);

    // No gives the removal up: the award stays.
    AddAward(a, 1, "科技进步奖");
    ASSERT_EQ(W().dw_no->SetRow(1), 1);
    W().tv_1->SelectItem(10);
    Dialogs().Clear();
    Dialogs().Answer(1);
    W().cb_page_delete->Click();
    Dialogs().Answer(2);
    ASSERT_EQ(W().dw_no->SetRow(2), 1);
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"提示信息：|真的要删除吗？", "提示信息|申请书已有修改，是否保存？"}));
    EXPECT_EQ(StoredCount("j_jx_getaward", a), 1);
    EXPECT_EQ(StoredCount("j_jx_getaward", b), 1);
    ExpectSectionOneOf(b);
}

TEST_F(RecommendationSwitch, TheSameRecommendationAgainAsksNothingAndShowsSectionOne) {
    W().tv_1->SelectItem(4);
    ASSERT_EQ(W().dw_no3->SetItem(1, "xm_innovation", "重复切换"), 1);
    // A command fires the list's row change again for the row already current.
    W().dw_no->TriggerEvent("rowfocuschanged");
    EXPECT_TRUE(Boxes().empty());
    ExpectSectionOneOf(a);
    // The tree moved from 三 to 一: the section left was saved on the way.
    EXPECT_EQ(StoredBase(a, "xm_innovation"), "重复切换");
}

TEST_F(RecommendationSwitch, AListWithoutACurrentRowOnlyHidesThePages) {
    W().tv_1->SelectItem(11);
    ASSERT_EQ(W().dw_no->Reset(), 1);
    W().dw_no->TriggerEvent("rowfocuschanged");
    EXPECT_TRUE(VisiblePageControls(W()).empty());
    EXPECT_FALSE(W().st_2->Visible());
    EXPECT_FALSE(W().cb_p->Visible());
    EXPECT_FALSE(W().cb_n->Visible());
    EXPECT_EQ(laurel::current_id, a);
    EXPECT_EQ(laurel::current_page, 11);
    EXPECT_TRUE(Boxes().empty());
}

}  // namespace

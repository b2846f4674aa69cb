// The main window itself: what its creation makes, what its opening leaves current and visible (on
// an empty database, without a connection, with saved and unsaved recommendations), the page group
// functions, and the question asked when it closes.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "app/laurel.h"
#include "app/w_start.h"
#include "records/m_main.h"
#include "runtime/platform/os.h"
#include "runtime/text/text.h"
#include "runtime/ui/application.h"
#include "runtime/ui/window.h"
#include "sections/section_table.h"
#include "tests/support/app_fixture.h"
#include "tests/support/platform.h"
#include "tests/support/scratch_database.h"

namespace {

using laurel::win::j_main_mdi;
using testing_support::AppTest;
using testing_support::Box;
using testing_support::BoxOf;
using testing_support::Inside;
using testing_support::kPageControls;
using testing_support::Overlap;
using testing_support::Recommendation;
using testing_support::XmId;

const std::string kNoChanges = "000000000000000000";

// Names of the controls of the window that are visible, among `names`.
std::vector<std::string> VisibleAmong(const j_main_mdi& w, const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const std::string& n : names) {
        const rt::ui::Control* c = w.FindControl(n);
        if (c == nullptr) {
            ADD_FAILURE() << "no control " << n;
            continue;
        }
        if (c->Visible()) out.push_back(n);
    }
    return out;
}

// The blank-separated words of a text.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

rt::ui::DataWindowControl* Dw(const j_main_mdi& w, const std::string& name) {
    return dynamic_cast<rt::ui::DataWindowControl*>(w.FindControl(name));
}

// ---------------------------------------------------------------------------------------------
// Creation: the 52 controls before the opening runs.

class MainWindowCreation : public AppTest {};

TEST_F(MainWindowCreation, MakesFiftyTwoControlsInOrderWithTheirObjectsAndElevenHidden) {
    j_main_mdi w;
    w.create();

    // The control list, in creation order.
    const std::vector<std::string> order = Words(
        "mdi_1 st_10_3 st_10_2 st_progress dw_ds_zl dw_ds_yy dw_ds_xy dw_ds_ry dw_ds_getaward "
        "dw_ds_dw st_10_8 st_10_7 st_10_6 st_10_5 st_10_4 st_10_1 dw_ds_base ole_1 st_sub "
        "st_blank cb_page_save cb_page_delete cb_page_insert dw_nomax dw_no94 dw_no93 dw_no92 "
        "dw_no91 dw_no82 dw_no6 dw_no53 dw_no522 dw_no52 dw_no512 dw_no51 dw_no81 dw_no71 "
        "dw_no72 dw_no4 dw_no3 dw_no2 cb_n cb_p st_2 dw_no1 shl_1 p_1 st_1 dw_no tv_1 gb_1 gb_2");
    ASSERT_EQ(order.size(), 52u);
    std::vector<std::string> names;
    for (const rt::ui::Control* c : w.ControlList()) names.push_back(c->Name());
    EXPECT_EQ(names, order);

    std::set<std::string> hidden;
    for (const rt::ui::Control* c : w.ControlList()) {
        if (!c->Visible()) hidden.insert(c->Name());
        EXPECT_TRUE(c->Enabled()) << c->Name();
    }
    EXPECT_EQ(hidden, (std::set<std::string>{"st_progress", "dw_ds_zl", "dw_ds_yy", "dw_ds_xy", "dw_ds_ry",
                                             "dw_ds_getaward", "dw_ds_dw", "dw_ds_base", "ole_1",
                                             "cb_page_save", "dw_nomax"}));

    // Every DataWindow control (control=object) carries its object from creation on; nothing is
    // read yet.
    const std::vector<std::string> objects = Words(
        "dw_ds_zl=dw_zl dw_ds_yy=dw_yy dw_ds_xy=dw_xy dw_ds_ry=dw_ry dw_ds_getaward=dw_getaward "
        "dw_ds_dw=dw_dw dw_ds_base=dw_base dw_nomax=dw_max dw_no94=dw_94 dw_no93=dw_93 "
        "dw_no92=dw_92 dw_no91=dw_91 dw_no82=dw_82 dw_no6=dw_6 dw_no53=dw_53 dw_no522=dw_522 "
        "dw_no52=dw_52 dw_no512=dw_512 dw_no51=dw_51 dw_no81=dw_81 dw_no71=dw_71 dw_no72=dw_72 "
        "dw_no4=dw_4 dw_no3=dw_3 dw_no2=dw_2 dw_no1=dw_1 dw_no=dw");
    for (const std::string& pair : objects) {
        const std::string name = pair.substr(0, pair.find('=')), object = pair.substr(pair.find('=') + 1);
        rt::ui::DataWindowControl* d = Dw(w, name);
        ASSERT_NE(d, nullptr) << name;
        EXPECT_EQ(d->DataObject(), object) << name;
        EXPECT_EQ(d->RowCount(), 0) << name;
    }
    EXPECT_EQ(w.tv_1->ItemCount(), 0);
}

TEST_F(MainWindowCreation, TextsAreTheProgramsOwnToTheByte) {
    j_main_mdi w;
    w.create();
    EXPECT_EQ(w.Title(), "Varenth省科学技术奖推荐系统");
    EXPECT_EQ(w.st_2->Text(), "一、项目基本情况" + std::string(11, ' '));
    EXPECT_EQ(w.st_10_1->Text(), "（以下内容与推荐书分开装订）");
    EXPECT_EQ(w.st_10_2->Text(), " 附件1．项目详细内容；");
    EXPECT_EQ(w.st_10_3->Text(), " 附件2．承诺书；");
    EXPECT_EQ(w.st_10_4->Text(), " 附件3. 应用证明或采纳评价证明；");
    EXPECT_EQ(w.st_10_5->Text(), " 附件4．技术评价证明及国家法律法规要求行业审批文件；");
    EXPECT_EQ(w.st_10_6->Text(), " 附件5．享有自主知识产权证明文件； ");
    EXPECT_EQ(w.st_10_7->Text(), " 附件6．代表性论文、专著等；");
    EXPECT_EQ(w.st_10_8->Text(), " 附件7．其它证明。 ");
    EXPECT_EQ(w.st_sub->Text(), "1、应用单位目录");
    EXPECT_EQ(w.st_progress->Text(), "请稍候, 正在生成...");
    EXPECT_EQ(w.cb_n->Text(), "下一页(&N)");
    EXPECT_EQ(w.cb_p->Text(), "上一页(&P)");
    EXPECT_EQ(w.cb_page_insert->Text(), "新增(&A)");
    EXPECT_EQ(w.cb_page_delete->Text(), "删除(&D)");
    EXPECT_EQ(w.cb_page_save->Text(), "保存");
    EXPECT_EQ(w.shl_1->Text(), "Varenth省科学技术厅");
    EXPECT_EQ(w.shl_1->Tag(), "点击访问Varenth省科技厅首页！");
    EXPECT_EQ(w.st_1->Text(), "Tallowmere Plus 2008");
    // The three links open the award office's site at one path.
    for (const rt::ui::StaticHyperlink* l : {w.shl_1, w.st_10_2, w.st_10_3}) {
        const std::string url = l->Url();
        ASSERT_GE(url.size(), 5u) << l->Name();
        EXPECT_EQ(url.substr(url.size() - 5), "/wlsb") << l->Name();
    }
}

TEST_F(MainWindowCreation, ControlsStandInsideTheirFramesWithTheirBorders) {
    j_main_mdi w;
    w.create();
    auto box = [&w](const std::string& name) {
        const rt::ui::Control* c = w.FindControl(name);
        EXPECT_NE(c, nullptr) << name;
        return c ? BoxOf(*c) : Box{};
    };

    for (const rt::ui::Control* c : w.ControlList())
        EXPECT_TRUE(Inside(BoxOf(*c), BoxOf(*w.mdi_1))) << c->Name() << " leaves the client area";
    // The section area lies in its frame; the tree and the list beside it, one above the other and
    // both below the banner; the frame ends where the list ends.
    for (const std::string& n :
         Words("st_2 cb_p cb_n st_blank st_sub cb_page_insert cb_page_delete cb_page_save "
               "st_10_1 st_10_2 st_10_3 st_10_4 st_10_5 st_10_6 st_10_7 st_10_8"))
        EXPECT_TRUE(Inside(box(n), BoxOf(*w.gb_2))) << n << " leaves the section frame";
    for (const rt::ui::Control* c : std::vector<const rt::ui::Control*>{w.tv_1, w.dw_no}) {
        EXPECT_LE(c->X() + c->Width(), w.gb_2->X()) << c->Name();
        EXPECT_GE(c->Y(), w.st_1->Y() + w.st_1->Height()) << c->Name();
    }
    EXPECT_LE(w.tv_1->Y() + w.tv_1->Height(), w.dw_no->Y());
    EXPECT_EQ(w.gb_2->Y() + w.gb_2->Height(), w.dw_no->Y() + w.dw_no->Height());
    // The sub-caption stands on its blank; the attachment lines of section ten run top to bottom,
    // the list buttons left to right.
    EXPECT_TRUE(Inside(BoxOf(*w.st_sub), BoxOf(*w.st_blank)));
    const std::vector<std::string> lines =
        Words("st_10_1 st_10_2 st_10_3 st_10_4 st_10_5 st_10_6 st_10_7 st_10_8");
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_GE(box(lines[i]).y, box(lines[i - 1]).y + box(lines[i - 1]).height) << lines[i];
    const std::vector<std::string> buttons = Words("cb_page_insert cb_page_delete cb_page_save");
    for (std::size_t i = 1; i < buttons.size(); ++i) {
        EXPECT_GE(box(buttons[i]).x, box(buttons[i - 1]).x + box(buttons[i - 1]).width) << buttons[i];
        EXPECT_EQ(box(buttons[i]).y, box(buttons[0]).y) << buttons[i];
    }

    // The pages wait small in the banner, side by side, until a page display places them.
    const auto pages = w.Pages();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        EXPECT_TRUE(Inside(BoxOf(*pages[i]), BoxOf(*w.st_1))) << pages[i]->Name();
        for (std::size_t j = i + 1; j < pages.size(); ++j)
            EXPECT_FALSE(Overlap(BoxOf(*pages[i]), BoxOf(*pages[j])))
                << pages[i]->Name() << " " << pages[j]->Name();
    }

    using rt::ui::Border;
    for (const std::string& n : Words("dw_no1 dw_no2 dw_no3 dw_no4 dw_no51 dw_no512 dw_no52 dw_no522 "
                                      "dw_no53 dw_no71 dw_no81 dw_no92 dw_no94"))
        EXPECT_EQ(Dw(w, n)->GetBorder(), Border::None) << n;
    for (const std::string& n : Words("dw_no6 dw_no91 dw_no93 dw_no72 dw_no82"))
        EXPECT_EQ(Dw(w, n)->GetBorder(), Border::Box) << n;
    for (const std::string& n : Words("dw_no dw_ds_base dw_ds_dw dw_ds_getaward dw_ds_ry dw_ds_xy dw_ds_yy "
                                      "dw_ds_zl dw_nomax"))
        EXPECT_EQ(Dw(w, n)->GetBorder(), Border::Lowered) << n;
    std::set<std::string> scrolling;
    for (const rt::ui::Control* c : w.ControlList())
        if (const auto* d = dynamic_cast<const rt::ui::DataWindowControl*>(c); d && d->VScrollBar())
            scrolling.insert(d->Name());
    EXPECT_EQ(scrolling, (std::set<std::string>{"dw_no", "dw_no72", "dw_no82"}));

    // A button's label stands whole inside its frame, in whatever face stands in for the one asked
    // for (上一页 and 下一页 are low buttons in Arial, which a Chinese face replaces on Windows),
    // even in a font far too large for it.
    w.cb_p->SetFont({"Arial", 28});
    for (const rt::ui::Control* c : w.ControlList()) {
        const auto* b = qobject_cast<const QPushButton*>(c->Widget());
        if (b == nullptr) continue;
        const int frame = b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
        const QString label = QString(b->text()).remove('&');
        EXPECT_LE(QFontMetrics(b->font()).tightBoundingRect(label).height(), b->height() - 2 * frame)
            << c->Name();
    }
}

TEST_F(MainWindowCreation, TheThreeLinksOpenTheAwardOfficesSite) {
    j_main_mdi w;
    w.create();
    for (rt::ui::StaticHyperlink* l : {w.shl_1, w.st_10_2, w.st_10_3}) l->Click();
    ASSERT_EQ(Dialogs().links.size(), 3u);
    for (const std::string& url : Dialogs().links) {
        ASSERT_GE(url.size(), 5u);
        EXPECT_EQ(url.substr(url.size() - 5), "/wlsb");
        EXPECT_EQ(url, Dialogs().links.front());
        EXPECT_EQ(url.find("//wlsb"), std::string::npos) << url;
    }
    EXPECT_TRUE(Boxes().empty());
}

// Closing destroys the menu first and then every control; a window whose menu is already gone
// still destroys its controls, and nothing can reach a control through the window afterwards.
TEST_F(MainWindowCreation, ClosingDestroysTheMenuAndEveryControl) {
    for (const bool menuGoneBefore : {false, true}) {
        SCOPED_TRACE(menuGoneBefore ? "menu already gone" : "menu still there");
        j_main_mdi& w = OpenMainWindow();
        ASSERT_NE(w.GetMenu(), nullptr);
        ASSERT_EQ(w.ControlList().size(), 52u);
        if (menuGoneBefore) w.DestroyMenu();
        ASSERT_EQ(rt::ui::Close(w), 1);
        EXPECT_EQ(w.GetMenu(), nullptr);
        EXPECT_TRUE(w.ControlList().empty());
        EXPECT_EQ(w.dw_no, nullptr);
        EXPECT_EQ(w.tv_1, nullptr);
        EXPECT_EQ(w.dw_no1, nullptr);
        EXPECT_EQ(w.gb_2, nullptr);
        for (const rt::ui::DataWindowControl* d : w.Pages()) EXPECT_EQ(d, nullptr);
    }
    EXPECT_TRUE(Boxes().empty());
}

// ---------------------------------------------------------------------------------------------
// Opening.

class MainWindowOpening : public AppTest {};

TEST_F(MainWindowOpening, BuildsTheSectionTreeWithFixedHandles) {
    Seed({XmId(1), "2008 01AA", "项目一"});
    j_main_mdi& w = OpenMainWindow();

    ASSERT_EQ(w.tv_1->ItemCount(), 18);
    for (const laurel::sections::Section& s : laurel::sections::Sections()) {
        EXPECT_EQ(w.tv_1->GetItemLabel(s.handle), s.label) << s.handle;
        EXPECT_EQ(w.tv_1->ParentOf(s.handle), s.parent) << s.handle;
    }
    // Only the root is expanded; the sub-trees under 五 and 九 start collapsed.
    EXPECT_TRUE(w.tv_1->IsExpanded(1));
    EXPECT_FALSE(w.tv_1->IsExpanded(6));
    EXPECT_FALSE(w.tv_1->IsExpanded(13));
    EXPECT_EQ(w.tv_1->SelectedItem(), 2);
}

TEST_F(MainWindowOpening, EmptyDatabaseLeavesNoRecommendationAndShowsNothing) {
    j_main_mdi& w = OpenMainWindow();

    EXPECT_EQ(laurel::current_id, "99999999");
    EXPECT_EQ(laurel::current_page, 2);
    EXPECT_EQ(laurel::current_ry, 1);
    EXPECT_EQ(laurel::current_dw, 1);
    EXPECT_FALSE(laurel::current_path.empty());
    EXPECT_EQ(w.tv_1->ItemCount(), 18);
    EXPECT_EQ(w.tv_1->SelectedItem(), 2);
    EXPECT_EQ(w.dw_no->RowCount(), 0);
    EXPECT_TRUE(VisibleAmong(w, kPageControls).empty());
    EXPECT_FALSE(w.st_2->Visible());
    EXPECT_FALSE(w.cb_p->Visible());
    EXPECT_FALSE(w.cb_n->Visible());

    // Moving in the tree without a recommendation records the section and shows nothing.
    EXPECT_EQ(w.tv_1->SelectItem(11), 1);
    EXPECT_EQ(laurel::current_page, 11);
    EXPECT_TRUE(VisibleAmong(w, kPageControls).empty());
    EXPECT_FALSE(w.st_2->Visible());
    EXPECT_TRUE(Boxes().empty());

    // Nothing to save: the window closes without a question.
    EXPECT_EQ(rt::ui::Close(w), 1);
    EXPECT_FALSE(w.IsOpen());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(MainWindowOpening, FirstRecommendationBecomesCurrentWithSectionOneShown) {
    Seed({XmId(2), "2008 02AA", "项目二"});
    Seed({XmId(1), "2008 01AA", "项目一"});
    laurel::current_ry = 7;
    laurel::current_dw = 8;
    j_main_mdi& w = OpenMainWindow();

    EXPECT_EQ(laurel::current_id, XmId(1)) << "the smallest xm_id comes first";
    EXPECT_EQ(w.dw_no->GetRow(), 1);
    EXPECT_EQ(laurel::current_page, 2);
    EXPECT_EQ(laurel::current_ry, 1);
    EXPECT_EQ(laurel::current_dw, 1);
    EXPECT_EQ(VisibleAmong(w, kPageControls), std::vector<std::string>{"dw_no1"});
    EXPECT_TRUE(w.st_2->Visible());
    EXPECT_TRUE(w.cb_p->Visible());
    EXPECT_TRUE(w.cb_n->Visible());
    EXPECT_EQ(w.st_2->Text(), "一、项目基本情况" + std::string(14, ' '));
    ASSERT_EQ(w.dw_no1->RowCount(), 1);
    EXPECT_EQ(w.dw_no1->GetItemString(1, "xm_name"), "项目一");
    const laurel::sections::Placement& placed = laurel::sections::SectionAt(2)->read.front();
    EXPECT_EQ(w.dw_no1->X(), placed.x);
    EXPECT_EQ(w.dw_no1->Y(), placed.y);
    EXPECT_EQ(w.dw_no1->Width(), placed.width);
    EXPECT_EQ(w.dw_no1->Height(), placed.height);

    // The list, the export views and every page are bound to the one transaction.
    EXPECT_EQ(w.dw_no->TransObject(), &laurel::sqlca);
    for (rt::ui::DataWindowControl* d : w.Pages()) EXPECT_EQ(d->TransObject(), &laurel::sqlca) << d->Name();
    for (rt::ui::DataWindowControl* d :
         {w.dw_ds_base, w.dw_ds_dw, w.dw_ds_getaward, w.dw_ds_ry, w.dw_ds_xy, w.dw_ds_yy, w.dw_ds_zl})
        EXPECT_EQ(d->TransObject(), &laurel::sqlca) << d->Name();
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(MainWindowOpening, TheFirstSelectionSavesAndCommitsNothing) {
    Seed({XmId(1), "2008 01AA", "项目一"});
    // Work of someone else still open in the transaction: the opening must not commit it.
    Exec("UPDATE j_xm_base SET xm_ename = 'open work' WHERE xm_id = ?", {XmId(1)});
    OpenMainWindow();
    EXPECT_EQ(laurel::current_page, 2);
    EXPECT_EQ(StoredBase(XmId(1), "xm_ename"), std::nullopt);
    laurel::sqlca.Rollback();
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(MainWindowOpening, SavedFirstRecommendationOpensReadOnlyAndAnEditableOneEnablesThePages) {
    Seed({XmId(1), "2008 01AA", "已保存", "1"});
    Seed({XmId(2), "2008 02AA", "编辑中", "0"});
    j_main_mdi& w = OpenMainWindow();

    const std::vector<rt::ui::Control*> buttons = {w.cb_page_insert, w.cb_page_delete, w.cb_page_save};
    ASSERT_EQ(laurel::current_id, XmId(1));
    for (rt::ui::DataWindowControl* d : w.Pages()) EXPECT_FALSE(d->Enabled()) << d->Name();
    for (rt::ui::Control* b : buttons) EXPECT_FALSE(b->Enabled()) << b->Name();
    EXPECT_EQ(w.dw_no1->GetItemString(1, "xm_name"), "已保存") << "the page is read for the saved one";

    ASSERT_EQ(w.dw_no->SetRow(2), 1);
    EXPECT_EQ(laurel::current_id, XmId(2));
    for (rt::ui::DataWindowControl* d : w.Pages()) EXPECT_TRUE(d->Enabled()) << d->Name();
    for (rt::ui::Control* b : buttons) EXPECT_TRUE(b->Enabled()) << b->Name();

    // Back to the saved one: read-only again, on hidden pages too.
    ASSERT_EQ(w.dw_no->SetRow(1), 1);
    for (rt::ui::DataWindowControl* d : w.Pages()) EXPECT_FALSE(d->Enabled()) << d->Name();
    EXPECT_TRUE(Boxes().empty());

    // The list's copy of the flag takes neither the cursor nor typing: only Modify unlocks.
    EXPECT_EQ(w.dw_no->SetColumn("xm_xg"), -1);
    EXPECT_EQ(w.dw_no->SetText("0"), -1);
    EXPECT_EQ(w.dw_no->GetItemString(1, "xm_xg"), "1");

    // A saved recommendation closes without a question.
    EXPECT_EQ(rt::ui::Close(w), 1);
    EXPECT_TRUE(Boxes().empty());
}

// A list that cannot be read at start-up (another program holds the database) says so once, and
// the next command that adds to the list reads it again, so the new recommendation joins the
// others instead of standing alone.
TEST_F(MainWindowOpening, AListThatCannotBeReadSaysSoOnceAndNewReadsItAgain) {
    Seed({XmId(1), "2008 01AA", "项目一"});
    {
        testing_support::LockHolder holder(Db());
        ASSERT_EQ(holder.HoldEverything("j_xm_base"), 0);
        Dialogs().Answer(1);
        OpenMainWindow();
        holder.Release();
    }
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|读取推荐书列表失败！"});
    EXPECT_EQ(laurel::current_id, "99999999");
    EXPECT_EQ(W().dw_no->RowCount(), 0);
    EXPECT_FALSE(W().Sections().listread);

    Dialogs().Clear();
    Menu().new_recommendation->Click();
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    ASSERT_EQ(W().dw_no->RowCount(), 2);
    EXPECT_EQ(W().dw_no->GetItemString(1, "xm_id"), XmId(1));
    EXPECT_EQ(laurel::current_id, XmId(2));
    EXPECT_EQ(W().dw_no->GetRow(), 2);

    // Every other move of the user reads it again too, and shows its first recommendation: Previous,
    // Next, a click into the list, a click on a section in the tree (which then shows that section).
    const auto clickTree = [&](long handle) {
        auto* tree = qobject_cast<QTreeWidget*>(W().tv_1->Widget());
        ASSERT_NE(tree, nullptr);
        const auto found = tree->findItems(QString::fromStdString(W().tv_1->GetItemLabel(handle)),
                                           Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1);
        QTreeWidgetItem* item = found.front();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    };
    const std::vector<std::pair<std::string, std::function<void()>>> moves = {
        {"previous", [&] { Menu().previous->Click(); }},
        {"next", [&] { Menu().next->Click(); }},
        {"list",
         [&] {
             QTest::mouseClick(W().dw_no->Widget()->findChild<QAbstractItemView*>()->viewport(),
                               Qt::LeftButton, {}, QPoint(20, 20));
         }},
        {"tree", [&] { clickTree(4); }},
    };
    for (const auto& [name, move] : moves) {
        SCOPED_TRACE(name);
        laurel::current_id = laurel::kNoRecommendation;
        rt::ui::Close(W());
        ExecCommit("ALTER TABLE j_xm_base RENAME TO j_xm_base_away");
        Dialogs().Clear();
        Dialogs().Answer(1);
        OpenMainWindow();
        ExecCommit("ALTER TABLE j_xm_base_away RENAME TO j_xm_base");
        ASSERT_EQ(Boxes(), std::vector<std::string>{"提示信息|读取推荐书列表失败！"});
        ASSERT_EQ(W().dw_no->RowCount(), 0);
        W().TopWidget()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(W().TopWidget()));

        Dialogs().Clear();
        move();
        EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
        EXPECT_EQ(W().dw_no->RowCount(), 2);
        EXPECT_EQ(laurel::current_id, XmId(1));
        EXPECT_EQ(W().dw_no->GetRow(), 1);
        EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), "项目一");
        const long section = name == "tree" ? 4 : laurel::sections::kFirstSection;
        EXPECT_EQ(laurel::current_page, section);
        EXPECT_EQ(W().tv_1->SelectedItem(), section);
    }
}

// Between commands the program holds no transaction, not even one that only read: another program
// can write to the database while this one waits for the user.
TEST_F(MainWindowOpening, AnotherProgramCanWriteWhileTheProgramIsIdle) {
    Seed({XmId(1), "2008 01AA", "项目一"});
    OpenMainWindow();
    // Another program takes every table the program reads for itself alone: that fails while any
    // transaction of the program, even one that only read, is still open.
    const auto anotherProgramWrites = [&] {
        testing_support::LockHolder other(Db());
        return other.HoldEverything(
            "j_xm_base, j_ry_finish, j_dw_finish, j_xy_saving, j_jx_getaward, j_yy_app, j_zl_patent, "
            "recomdept, xuekdm");
    };
    EXPECT_EQ(anotherProgramWrites(), 0) << "after the opening";
    EXPECT_FALSE(laurel::sqlca.InTransaction());

    W().tv_1->SelectItem(11);  // reads the contributor pages
    EXPECT_EQ(anotherProgramWrites(), 0) << "after a section is shown";
    W().cb_n->Click();
    EXPECT_EQ(anotherProgramWrites(), 0) << "after a step";

    // Nor while a command's message box waits for the user, once the command has only read.
    Dialogs().whileShown = [&](const rt::ui::MessageRequest&) {
        EXPECT_EQ(anotherProgramWrites(), 0) << "while the check's message is on show";
    };
    Dialogs().Answer(1);  // the check's rule that fails
    Menu().completeness_check->Click();
    Dialogs().whileShown = nullptr;
    EXPECT_EQ(Boxes().size(), 1u) << Dialogs().Transcript();
    EXPECT_EQ(anotherProgramWrites(), 0) << "after a check that only read";

    W().tv_1->SelectItem(2);
    ASSERT_EQ(W().dw_no1->SetColumn("xm_askno"), 1);
    ASSERT_EQ(W().dw_no1->SetText("2008 09AA"), 1);
    ASSERT_EQ(W().dw_no1->AcceptText(), 1);  // the number is looked up
    EXPECT_EQ(anotherProgramWrites(), 0) << "after a number was looked up";
    EXPECT_FALSE(laurel::sqlca.InTransaction());
}

// Start-up when the database cannot be reached (the server is stopped, the file is not there): the
// application object reports the failure and opens the main window all the same, with nothing shown. A
// command while the database is still away says so in the program's own words; the first command once it is
// there connects, reads the list and shows its first recommendation.
TEST_F(MainWindowOpening, FailedConnectionIsReportedAndTheNextCommandConnectsOnceTheDatabaseIsThere) {
    namespace fs = std::filesystem;
    Seed({XmId(1), "2008 01AA", "项目一"});
    laurel::sqlca.Disconnect();
    const bool server = testing_support::ScratchDatabase::OnPostgreSQL();
    const fs::path file = Db().Folder() / "missing" / "laurel.db";
    if (server)
        testing_support::TakeConnections(Db(), false);
    else
        Db().MakeUnreachable();

    Dialogs().Answer(1);
    laurel::win::laurel app;
    struct Ending {
        laurel::win::laurel& app;
        ~Ending() { app.destroy(); }
    } ending{app};
    app.create();
    const auto started = std::chrono::steady_clock::now();
    app.open("whatever the command line says");
    const auto took = std::chrono::steady_clock::now() - started;

    ASSERT_EQ(Boxes(), std::vector<std::string>{"Erroe|Database connect failed!"});
    EXPECT_EQ(Dialogs().messages[0].request.buttons, rt::ui::Buttons::OK);
    EXPECT_EQ(Dialogs().messages[0].request.icon, rt::ui::Icon::StopSign);
    EXPECT_GE(took, std::chrono::milliseconds(1000)) << "the splash stays a second after connecting";
    ASSERT_NE(laurel::w_start, nullptr);
    EXPECT_FALSE(laurel::w_start->IsOpen());

    ASSERT_NE(laurel::j_main_mdi, nullptr);
    j_main_mdi& w = *laurel::j_main_mdi;
    EXPECT_TRUE(w.IsOpen());
    EXPECT_TRUE(w.Visible());
    EXPECT_EQ(laurel::current_id, "99999999");
    EXPECT_EQ(laurel::current_page, 2);
    EXPECT_EQ(w.tv_1->ItemCount(), 18);
    EXPECT_TRUE(VisibleAmong(w, kPageControls).empty());
    EXPECT_FALSE(w.st_2->Visible());
    EXPECT_FALSE(w.cb_p->Visible());
    EXPECT_FALSE(w.cb_n->Visible());
    EXPECT_TRUE(w.StatusField().ends_with("（未连接）")) << w.StatusField();

    auto* menu = dynamic_cast<laurel::records::m_main*>(w.GetMenu());
    ASSERT_NE(menu, nullptr);
    Dialogs().Clear();
    Dialogs().Answer(1);
    menu->next->Click();
    // No pages were made: nothing typed is said to be kept.
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|与数据库的连接已经中断，暂时无法恢复。\n刚才的"
                                                "操作没有完成，请稍后再操作一次。"});
    EXPECT_EQ(laurel::current_id, "99999999");
    EXPECT_FALSE(laurel::sqlca.InTransaction());

    // The server starts; the file is put back.
    if (server) {
        testing_support::TakeConnections(Db(), true);
    } else {
        fs::create_directories(file.parent_path());
        fs::copy_file(Db().DatabaseFile(), file);
    }
    Dialogs().Clear();
    menu->next->Click();
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_TRUE(laurel::sqlca.Connected());
    EXPECT_EQ(w.dw_no->RowCount(), 1);
    EXPECT_EQ(laurel::current_id, XmId(1));
    EXPECT_EQ(w.dw_no1->GetItemString(1, "xm_name"), "项目一");
    EXPECT_FALSE(w.StatusField().ends_with("（未连接）")) << w.StatusField();
}

// A start whose data source could not be prepared says why, in the words it was given, and that is
// the failure's one box: no "Database connect failed!" after it.
TEST_F(MainWindowOpening, WhyTheDataSourceCouldNotBePreparedIsTheFailuresOneBox) {
    laurel::sqlca.Disconnect();
    Db().MakeUnreachable();
    Dialogs().Answer(1);
    laurel::win::laurel app("数据源 laurel 使用的驱动程序 C:\\旧\\sqlite3odbc.dll 已不存在。");
    struct Ending {
        laurel::win::laurel& app;
        ~Ending() { app.destroy(); }
    } ending{app};
    app.create();
    app.open("");
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{"提示信息|程序启动时没能准备好数据源：\n数据源 laurel 使用的驱动程序 "
                                       "C:\\旧\\sqlite3odbc.dll 已不存在。"});
    EXPECT_EQ(Dialogs().messages[0].request.icon, rt::ui::Icon::StopSign);
}

// ---------------------------------------------------------------------------------------------
// The page group functions.

class PageGroup : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Seed({a, "2008 01AA", "项目一"});
        Seed({b, "2008 02AA", "项目二"});
        OpenMainWindow();
    }
    const std::string a = XmId(1), b = XmId(2);
};

TEST_F(PageGroup, NothingPendingReportsNoChangesAndUpdatesCleanly) {
    EXPECT_EQ(W().modifieddw(), kNoChanges);
    EXPECT_EQ(W().acceptdw(), 1);
    EXPECT_EQ(W().updatedw(), 1);
    EXPECT_EQ(W().modifieddw(), kNoChanges);
}

TEST_F(PageGroup, ChangeFlagsFollowTheFixedPageOrder) {
    // An edit on the direct-benefit totals alone: character 6.
    ASSERT_EQ(W().dw_no512->Retrieve({a}), 1);
    ASSERT_EQ(W().dw_no512->SetItem(1, "xm_huis", 5), 1);
    EXPECT_EQ(W().modifieddw(), "000001000000000000");

    // The contributor list is page 12, its detail page 11.
    ASSERT_EQ(W().dw_no512->Retrieve({a}), 1);
    W().tv_1->SelectItem(11);
    ASSERT_EQ(W().dw_no72->SetItem(1, "ry_unit", "某研究所"), 1);
    EXPECT_EQ(W().modifieddw(), "000000000001000000");
    ASSERT_EQ(W().dw_no71->SetItem(1, "ry_name", "张三"), 1);
    EXPECT_EQ(W().modifieddw(), "000000000011000000");
}

TEST_F(PageGroup, TextBeingTypedOnTheSocialBenefitCountsOnceAccepted) {
    ASSERT_EQ(W().dw_no53->Retrieve({a}), 1);
    ASSERT_EQ(W().dw_no53->SetColumn("xm_sosiety"), 1);
    ASSERT_EQ(W().dw_no53->SetText("社会效益显著"), 1);
    EXPECT_EQ(W().modifieddw(), kNoChanges) << "typed text is not in the buffer yet";
    EXPECT_EQ(W().acceptdw(), 1);
    EXPECT_EQ(W().modifieddw(), "000000001000000000");
    EXPECT_EQ(W().dw_no53->GetItemString(1, "xm_sosiety"), "社会效益显著");
}

TEST_F(PageGroup, DeletionsAloneCountAsUnchangedButAreWrittenWithoutCommit) {
    AddAward(a, 1, "省科技进步奖");
    ASSERT_EQ(W().dw_no6->Retrieve({a}), 1);
    ASSERT_EQ(W().dw_no6->DeleteRow(1), 1);
    EXPECT_EQ(W().modifieddw(), kNoChanges);

    EXPECT_EQ(W().updatedw(), 1);
    EXPECT_EQ(Pending("SELECT count(*) FROM j_jx_getaward WHERE xm_id = ?", {a}), "0");
    EXPECT_EQ(StoredCount("j_jx_getaward", a), 1) << "updatedw commits nothing";
    laurel::sqlca.Rollback();
}

TEST_F(PageGroup, EveryPageIsUpdatedAfterOneFails) {
    // Page 3 holds an edit for a recommendation whose row is gone; pages 4 and 18 hold edits for
    // another one.
    ASSERT_EQ(W().dw_no3->Retrieve({a}), 1);
    ASSERT_EQ(W().dw_no3->SetItem(1, "xm_innovation", "创新点"), 1);
    ASSERT_EQ(W().dw_no4->Retrieve({b}), 1);
    ASSERT_EQ(W().dw_no4->SetItem(1, "xm_recom", "同意推荐"), 1);
    ASSERT_EQ(W().dw_no94->Retrieve({b}), 1);
    ASSERT_EQ(W().dw_no94->SetItem(1, "xm_papers", "论文目录"), 1);
    ExecCommit("DELETE FROM j_xm_base WHERE xm_id = ?", {a});

    EXPECT_EQ(W().updatedw(), -1);
    EXPECT_EQ(Pending("SELECT xm_recom FROM j_xm_base WHERE xm_id = ?", {b}), "同意推荐");
    EXPECT_EQ(Pending("SELECT xm_papers FROM j_xm_base WHERE xm_id = ?", {b}), "论文目录");
    EXPECT_EQ(StoredBase(b, "xm_recom"), std::nullopt) << "updatedw commits nothing";
    laurel::sqlca.Rollback();

    // The caller rolled back: every edit is still pending, the written ones included.
    EXPECT_EQ(W().modifieddw(), "001100000000000001");
}

TEST_F(PageGroup, ListButtonsShowWithoutTheSaveButtonAndFollowTheMode) {
    EXPECT_EQ(W().hidedw(), 1);
    for (rt::ui::DataWindowControl* d : W().Pages()) EXPECT_FALSE(d->Visible()) << d->Name();
    EXPECT_TRUE(W().st_2->Visible()) << "the caption and step buttons are not the group's";
    EXPECT_TRUE(W().cb_n->Visible());

    EXPECT_EQ(W().cb_page_show(), 1);
    EXPECT_TRUE(W().cb_page_insert->Visible());
    EXPECT_TRUE(W().cb_page_delete->Visible());
    EXPECT_FALSE(W().cb_page_save->Visible());

    EXPECT_EQ(W().disabledw(), 1);
    for (rt::ui::Control* c :
         {static_cast<rt::ui::Control*>(W().cb_page_insert),
          static_cast<rt::ui::Control*>(W().cb_page_delete), static_cast<rt::ui::Control*>(W().cb_page_save)})
        EXPECT_FALSE(c->Enabled()) << c->Name();
    for (rt::ui::DataWindowControl* d : W().Pages()) EXPECT_FALSE(d->Enabled()) << d->Name();
    EXPECT_TRUE(W().dw_no->Enabled()) << "the list is not a page";
    EXPECT_TRUE(W().tv_1->Enabled());

    EXPECT_EQ(W().enabledw(), 1);
    for (rt::ui::DataWindowControl* d : W().Pages()) EXPECT_TRUE(d->Enabled()) << d->Name();
    EXPECT_TRUE(W().cb_page_save->Enabled());
}

// ---------------------------------------------------------------------------------------------
// Closing.

class MainWindowClosing : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Seed({a, "2008 01AA", "项目一"});
        AddContributor(a, 2, "完成人二");
        OpenMainWindow();
    }
    // The first box: the question, as it must be asked.
    void ExpectCloseQuestion() {
        ASSERT_FALSE(Dialogs().messages.empty());
        const rt::ui::MessageRequest& q = Dialogs().messages[0].request;
        EXPECT_EQ(q.title, "退出系统");
        EXPECT_EQ(q.text, "你需要保存最近的工作吗？");
        EXPECT_EQ(q.icon, rt::ui::Icon::Question);
        EXPECT_EQ(q.buttons, rt::ui::Buttons::YesNoCancel);
        EXPECT_EQ(q.defaultButton, 1);
    }
    const std::string a = XmId(1);
};

// A program whose transaction is still connected when it ends, its calls watched for waits (so
// that the thread they run on waits for the next one): the process ends, and soon. On Windows the
// transaction goes only after the system stopped every other thread. Run as a program of its own
// by the case below.
TEST(ProgramEnd, LeavesItsTransactionConnected) {
    if (std::getenv("LAUREL_TEST_LEAVE_CONNECTED") == nullptr) GTEST_SKIP() << "run by the case below";
    rt::Transaction::SetWaitHook([](rt::Transaction::Wait& wait) {
        while (!wait.Over(std::chrono::milliseconds(10))) {
        }
    });
    std::string error;
    ASSERT_TRUE(testing_support::ConnectToSource(laurel::sqlca, false, error)) << error;
    std::vector<rt::Value> one(1);
    ASSERT_EQ(laurel::sqlca.SelectInto("select 1", {}, one), 0) << laurel::sqlca.SQLErrText;
}

TEST_F(MainWindowClosing, TheProgramEndsWhileItsTransactionIsConnected) {
    const std::filesystem::path out = Db().Folder() / "program.out", err = Db().Folder() / "program.err";
    rt::os::SetEnvironment("LAUREL_TEST_LEAVE_CONNECTED", "1");
    const int status = testing_support::RunProgram(
        QCoreApplication::applicationFilePath().toStdString(),
        {"--gtest_filter=ProgramEnd.LeavesItsTransactionConnected"}, out, err, std::chrono::seconds(60));
    rt::os::SetEnvironment("LAUREL_TEST_LEAVE_CONNECTED", nullptr);
    std::ifstream said(out);
    EXPECT_EQ(status, 0) << std::string(std::istreambuf_iterator<char>(said), {});
}

TEST_F(MainWindowClosing, YesAcceptsTypedTextSavesThePagesAndMarksTheRecommendationSaved) {
    ASSERT_EQ(W().dw_no1->SetColumn("xm_name"), 1);
    ASSERT_EQ(W().dw_no1->SetText("新的项目名称"), 1);
    Dialogs().Answer(1);
    Dialogs().Answer(1);

    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_FALSE(W().IsOpen());
    ExpectCloseQuestion();
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"退出系统|你需要保存最近的工作吗？", "提示信息|保存成功！"}));
    EXPECT_EQ(StoredBase(a, "xm_name"), "新的项目名称");
    EXPECT_EQ(StoredBase(a, "xm_xg"), "1");
}

TEST_F(MainWindowClosing, YesWithoutChangesStillMarksTheRecommendationSaved) {
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"退出系统|你需要保存最近的工作吗？", "提示信息|保存成功！"}));
    EXPECT_EQ(StoredBase(a, "xm_xg"), "1");
}

TEST_F(MainWindowClosing, NoClosesWithoutWriting) {
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "不要保存"), 1);
    Dialogs().Answer(2);
    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_FALSE(W().IsOpen());
    ExpectCloseQuestion();
    EXPECT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(StoredBase(a, "xm_name"), "项目一");
    EXPECT_EQ(StoredBase(a, "xm_xg"), "0");
}

// The close box asks through the window system's close event, inside which the window's own close
// does nothing: the answer must still close the window, and 取消 keep it.
TEST_F(MainWindowClosing, TheCloseBoxClosesTheWindowOnNoAndKeepsItOnCancel) {
    Dialogs().Answer(rt::ScriptedDialogs::kEscape);
    EXPECT_FALSE(W().TopWidget()->close());
    EXPECT_TRUE(W().IsOpen());
    EXPECT_TRUE(W().TopWidget()->isVisible());

    Dialogs().Answer(2);
    EXPECT_TRUE(W().TopWidget()->close());
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"退出系统|你需要保存最近的工作吗？",
                                                 "退出系统|你需要保存最近的工作吗？"}));
    EXPECT_FALSE(W().IsOpen());
    EXPECT_FALSE(W().TopWidget()->isVisible());
}

TEST_F(MainWindowClosing, CancelKeepsTheWindowAndEverythingInIt) {
    W().tv_1->SelectItem(3);
    ASSERT_EQ(W().dw_no2->SetItem(1, "xm_abstract", "尚未保存的简介"), 1);
    // Esc (or the close box) on a question with 取消 is 取消.
    Dialogs().Answer(rt::ScriptedDialogs::kEscape);
    EXPECT_EQ(rt::ui::Close(W()), 0);
    EXPECT_EQ(Dialogs().messages.back().answer, 3);
    ExpectCloseQuestion();
    ASSERT_TRUE(W().IsOpen());
    ASSERT_TRUE(W().Visible());
    EXPECT_EQ(laurel::current_id, a);
    EXPECT_EQ(laurel::current_page, 3);
    EXPECT_EQ(W().dw_no2->GetItemString(1, "xm_abstract"), "尚未保存的简介");
    EXPECT_EQ(W().modifieddw(), "010000000000000000");
    EXPECT_EQ(StoredBase(a, "xm_abstract"), std::nullopt);
    EXPECT_EQ(StoredBase(a, "xm_xg"), "0");
}

// A save that fails rolls everything back and keeps the window open with every edit still
// pending, so that the user loses nothing; once the cause is gone a second Yes stores it all.
TEST_F(MainWindowClosing, FailedSaveRollsBackKeepsTheWindowOpenAndTheEditsPending) {
    W().tv_1->SelectItem(11);
    ASSERT_EQ(W().dw_no72->RowCount(), 2);
    ASSERT_EQ(W().dw_no71->SetItem(1, "ry_name", "李四"), 1);
    ASSERT_EQ(W().dw_no72->SetItem(2, "ry_unit", "某大学"), 1);
    RefuseWrites("no_names", "BEFORE UPDATE OF ry_name ON j_ry_finish");

    Dialogs().Answer(1);
    AnswerDatabaseError();
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 0);
    ExpectCloseQuestion();
    EXPECT_EQ(Boxes().back(), "提示信息|保存失败！");
    ASSERT_TRUE(W().IsOpen());
    EXPECT_EQ(StoredBase(a, "xm_xg"), "0");
    EXPECT_EQ(Stored("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 2", {a}), std::nullopt);
    EXPECT_EQ(Pending("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 2", {a}), std::nullopt)
        << "the page that was written is rolled back";
    EXPECT_EQ(W().modifieddw(), "000000000011000000");

    AllowWrites("no_names", "j_ry_finish");
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"退出系统|你需要保存最近的工作吗？", "提示信息|保存成功！"}));
    EXPECT_EQ(Stored("SELECT ry_name FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {a}), "李四");
    EXPECT_EQ(Stored("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 2", {a}), "某大学");
    EXPECT_EQ(StoredBase(a, "xm_xg"), "1");
}

TEST_F(MainWindowClosing, FailureToMarkTheRecommendationSavedIsReportedAndKeepsTheWindowOpen) {
    // The pages have nothing to write; the flag's UPDATE is refused.
    RefuseWrites("no_saved_state", "BEFORE UPDATE OF xm_xg ON j_xm_base");
    Dialogs().Answer(1);
    AnswerDatabaseError();
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 0);
    ASSERT_EQ(Boxes().size(), 3u) << Dialogs().Transcript();
    EXPECT_EQ(Boxes()[0], "退出系统|你需要保存最近的工作吗？");
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[1])) << Boxes()[1];
    EXPECT_EQ(Boxes()[2], "提示信息|保存失败！");
    ASSERT_TRUE(W().IsOpen());
}

// The program's connection goes while the user types (the server ends its session; on SQLite the
// file was read-only when the program connected and can be written now). The close's save finds
// it gone: the program connects again and says once that nothing was done, with no other word
// about the pages; the window stays open with every edit pending, and the next Yes stores them.
TEST_F(MainWindowClosing, ALostConnectionIsMadeAgainAndTheNextYesStoresTheEdits) {
    W().tv_1->SelectItem(3);
    ASSERT_EQ(W().dw_no2->SetItem(1, "xm_abstract", "连接中断时输入的简介"), 1);
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "连接中断时输入的名称"), 1);
    if (!testing_support::CutOff(Db(), laurel::sqlca)) GTEST_SKIP() << "a SQLite connection is not lost so";

    for (int answer : {1, 1}) Dialogs().Answer(answer);
    EXPECT_EQ(rt::ui::Close(W()), 0);
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{
                  "退出系统|你需要保存最近的工作吗？",
                  "提示信息|与数据库的连接曾经中断，现已恢复。\n刚才的操作没有完成，已输入的内容仍然保留，"
                  "请再操作一次。"}));
    EXPECT_TRUE(W().IsOpen());
    EXPECT_EQ(W().modifieddw(), "110000000000000000");
    EXPECT_EQ(StoredBase(a, "xm_name"), "项目一");

    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"退出系统|你需要保存最近的工作吗？", "提示信息|保存成功！"}));
    EXPECT_EQ(StoredBase(a, "xm_name"), "连接中断时输入的名称");
    EXPECT_EQ(StoredBase(a, "xm_abstract"), "连接中断时输入的简介");
    EXPECT_EQ(StoredBase(a, "xm_xg"), "1");
}

// The server is still down when the save finds the connection gone: the user hears so, keeps the
// window and the edits, and once the server is back the next Yes connects again and stores them.
TEST_F(MainWindowClosing, AServerThatIsDownKeepsTheEditsUntilItIsBack) {
    if (!testing_support::ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "a server that is down";
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "服务器停止时输入的名称"), 1);
    testing_support::TakeConnections(Db(), false);
    ASSERT_TRUE(testing_support::CutOff(Db(), laurel::sqlca));

    for (int answer : {1, 1}) Dialogs().Answer(answer);
    EXPECT_EQ(rt::ui::Close(W()), 0);
    EXPECT_EQ(
        Boxes(),
        (std::vector<std::string>{
            "退出系统|你需要保存最近的工作吗？",
            "提示信息|与数据库的连接已经中断，暂时无法恢复。\n刚才的操作没有完成，已输入的内容仍然保留，"
            "请稍后再操作一次。"}));
    EXPECT_TRUE(W().IsOpen());
    EXPECT_EQ(W().modifieddw(), "100000000000000000");

    testing_support::TakeConnections(Db(), true);
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"退出系统|你需要保存最近的工作吗？", "提示信息|保存成功！"}));
    EXPECT_EQ(StoredBase(a, "xm_name"), "服务器停止时输入的名称");
}

// A save kept waiting (another program holds the table, and the program's own limit on lock waits
// is long): the window repaints meanwhile, takes no close request and refuses keys and clicks
// (which would otherwise reach whatever has the focus once the wait is over: the next box, say);
// after a few seconds a box lets the user give up. 取消 ends the save at once, for good: the user
// hears that nothing was done, the box does not come back, the window stays with every edit
// pending, and once the table is free the next Yes stores them.
TEST_F(MainWindowClosing, ASaveKeptWaitingCanBeGivenUpAndKeepsTheEdits) {
    // The box comes well after the repaint and the keys below.
    const bool server = testing_support::ScratchDatabase::OnPostgreSQL();
    const std::chrono::milliseconds boxAfter(server ? 800 : 1500);
    const testing_support::WaitingBoxAfter sooner(boxAfter);
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "等待时输入的名称"), 1);
    // Waits for locks far longer than the test: the statement still waits when it is given up.
    ExecCommit(server ? "SET lock_timeout = '30s'" : "PRAGMA busy_timeout = 20000");
    testing_support::LockHolder other(Db());
    ASSERT_EQ(other.HoldWrites("j_xm_base"), 0);

    // The cursor in the name's field, whose editor takes keys.
    QWidget* top = W().TopWidget();
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    auto* name = W().dw_no1->Widget()->findChild<QLineEdit*>(QStringLiteral("xm_name"));
    ASSERT_NE(name, nullptr);
    QTest::mouseClick(name, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), name);
    ASSERT_EQ(W().dw_no1->GetColumnName(), "xm_name");

    bool repainted = false;
    QTimer::singleShot(200, [&] { repainted = true; });
    // Keys and a click meanwhile, aimed at the field.
    QTimer::singleShot(400, [&] {
        QTest::keyClick(name, Qt::Key_End);
        QTest::keyClicks(name, "typed while waiting");
        QTest::keyClick(name, Qt::Key_Return);
        QTest::mouseClick(name, Qt::LeftButton);
    });
    int waitBoxes = 0;
    Dialogs().whileShown = [&](const rt::ui::MessageRequest& r) {
        if (r.buttons != rt::ui::Buttons::Cancel) return;
        ++waitBoxes;
        EXPECT_TRUE(repainted) << "the events of the window went on while the save waited";
        // The user clicks the window's close box meanwhile: nothing starts inside the save.
        QCloseEvent close;
        QCoreApplication::sendEvent(W().TopWidget(), &close);
    };
    Dialogs().Answer(1);
    Dialogs().AnswerWait(1);
    Dialogs().Answer(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(rt::ui::Close(W()), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    Dialogs().whileShown = nullptr;
    QCoreApplication::processEvents();

    EXPECT_EQ(waitBoxes, 1);
    ASSERT_EQ(Dialogs().waits.size(), 1u);
    EXPECT_EQ(Dialogs().waits[0].request.text,
              "正在等待数据库应答……\n选择“取消”放弃这次操作，已输入的内容仍然保留。");
    EXPECT_EQ(Dialogs().waits[0].answer, 1);
    EXPECT_GE(took, boxAfter);
    EXPECT_LT(took, boxAfter + std::chrono::seconds(7)) << "the save was waited for after 取消";
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "退出系统|你需要保存最近的工作吗？",
                           "提示信息|已放弃等待数据库应答。\n刚才的操作没有完成，已输入的内容仍然"
                           "保留，请稍后再操作一次。"}));
    EXPECT_TRUE(W().IsOpen());
    EXPECT_EQ(W().modifieddw(), "100000000000000000");
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), "等待时输入的名称");
    EXPECT_FALSE(W().dw_no1->EditPending()) << "keys typed while the save waited reached the page";
    EXPECT_EQ(name->text(), QStringLiteral("等待时输入的名称"));

    other.Release();
    EXPECT_TRUE(rt::Transaction::SettleGivenUp(std::chrono::seconds(30)));
    EXPECT_EQ(StoredBase(a, "xm_name"), "项目一");
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_EQ(StoredBase(a, "xm_name"), "等待时输入的名称");
}

// PostgreSQL: the server process of the program's session stops answering (it is stopped here) as
// the user saves. 取消 ends the save at once; once the process goes on, nothing of the save is
// stored, and the next save, on a new connection, stores every edit.
TEST_F(MainWindowClosing, ASaveGivenUpOnAStoppedServerStoresNothingWhenTheServerGoesOn) {
    if (!testing_support::ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "a server process of its own";
    const testing_support::WaitingBoxAfter sooner(std::chrono::milliseconds(500));
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "服务器停住时输入的名称"), 1);
    std::vector<rt::Value> pid(1);
    ASSERT_EQ(laurel::sqlca.SelectInto("select pg_backend_pid()", {}, pid), 0) << laurel::sqlca.SQLErrText;
    laurel::sqlca.Rollback();
    testing_support::StoppedProcess server(pid[0].AsLong().value_or(0));
    if (!server.Stopped()) GTEST_SKIP() << "no right to stop the server process";

    Dialogs().Answer(1);
    Dialogs().AnswerWait(1);
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{
                           "退出系统|你需要保存最近的工作吗？",
                           "提示信息|已放弃等待数据库应答。\n刚才的操作没有完成，已输入的内容仍然"
                           "保留，请稍后再操作一次。"}));
    EXPECT_EQ(W().modifieddw(), "100000000000000000");
    server.Resume();
    EXPECT_TRUE(rt::Transaction::SettleGivenUp(std::chrono::seconds(30)));
    EXPECT_EQ(StoredBase(a, "xm_name"), "项目一");
    EXPECT_EQ(StoredBase(a, "xm_xg"), "0");

    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"退出系统|你需要保存最近的工作吗？", "提示信息|保存成功！"}));
    EXPECT_EQ(StoredBase(a, "xm_name"), "服务器停住时输入的名称");
}

TEST_F(MainWindowClosing, TheListsCopyOfTheFlagDecides) {
    // Saved in the database behind the list's back: the list still says '0', so the question comes.
    ExecCommit("UPDATE j_xm_base SET xm_xg = '1' WHERE xm_id = ?", {a});
    Dialogs().Answer(2);
    EXPECT_EQ(rt::ui::Close(W()), 1);
    ExpectCloseQuestion();
}

}  // namespace

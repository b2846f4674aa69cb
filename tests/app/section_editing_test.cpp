// The editing aids of the section pages: the refusal of a recommendation number that another
// recommendation carries, the subject picker and its tree, the contributor and unit detail pages
// following their lists, the status-line hints, and clicks beside the rows of the lists.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "records/m_main.h"
#include "runtime/ui/window.h"
#include "sections/popup.h"
#include "sections/section_area.h"
#include "tests/support/app_fixture.h"

namespace {

using laurel::win::popup;
using rt::ui::DataWindowControl;
using testing_support::AppTest;
using testing_support::XmId;

const std::string kMaskHint = "此处使用了输入掩码,删除内容请用Backspace.";
const std::string kSubjectHint = "双击此处可以显示学科代码表，双击代码表选定相应的学科代码！";
const std::string kRyQuestion = "提示信息|完成人已有修改，是否暂时保存？";
const std::string kDwQuestion = "提示信息|完成单位已有修改，是否暂时保存？";

// Two recommendations: `a` with three contributors and three units, `b` with one of each.
class SectionEditing : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        SeedTwo(a, b);
        OpenMainWindow();
        ASSERT_EQ(laurel::current_id, a);
    }
    void TearDown() override {
        laurel::win::ClosePopup();
        AppTest::TearDown();
    }

    // Types a text into a field of a page and leaves the field: what the user does.
    static int Type(DataWindowControl& dw, const std::string& column, const std::string& text) {
        EXPECT_EQ(dw.SetColumn(column), 1) << column;
        EXPECT_EQ(dw.SetText(text), 1);
        return dw.AcceptText();
    }
    void ShowSection(long handle) { ASSERT_EQ(W().tv_1->SelectItem(handle), 1); }

    const std::string a = XmId(1), b = XmId(2);
};

// ---------------------------------------------------------------------------------------------------
// The recommendation number.

TEST_F(SectionEditing, NumberOfAnotherRecommendationIsRefusedAndTheRetrievedNumberComesBack) {
    DataWindowControl& page = *W().dw_no1;

    // First a number nobody has: accepted without a word.
    EXPECT_EQ(Type(page, "xm_askno", "2008 05AA"), 1);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(page.GetItemString(1, "xm_askno"), "200805AA");

    // Then the number of b, typed as the mask shows it: refused, and the field shows the number
    // last retrieved again (not the one accepted a moment ago); the typed text is given up.
    Dialogs().Answer(1);
    EXPECT_EQ(Type(page, "xm_askno", "2008 02AA"), 1);
    ASSERT_EQ(Boxes(), std::vector<std::string>{"提示信息|此推荐号已经存在!"});
    const rt::ui::MessageRequest& box = Dialogs().messages.back().request;
    EXPECT_EQ(box.icon, rt::ui::Icon::Information);
    EXPECT_EQ(box.buttons, rt::ui::Buttons::OK);
    EXPECT_EQ(page.GetItemString(1, "xm_askno"), "2008 01AA");
    EXPECT_FALSE(page.EditPending());
    EXPECT_EQ(page.GetText(), "2008 01AA");
    EXPECT_EQ(page.GetColumnName(), "xm_askno");
    EXPECT_EQ(StoredBase(a, "xm_askno"), "2008 01AA") << "nothing is written by the check";
}

// One refusal, one message: leaving the section with a refused number, or saving from another
// section later, neither says it again nor fails the save.
TEST_F(SectionEditing, RefusedNumberIsSaidOnceAndNeverFailsALaterSave) {
    DataWindowControl& page = *W().dw_no1;
    ASSERT_EQ(page.SetColumn("xm_askno"), 1);
    ASSERT_EQ(page.SetText("2008 02AA"), 1);
    Dialogs().Answer(1);
    ShowSection(3);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|此推荐号已经存在!"});
    EXPECT_EQ(StoredBase(a, "xm_askno"), "2008 01AA");
    EXPECT_EQ(W().modifieddw(), "000000000000000000");

    ASSERT_EQ(W().dw_no2->SetItem(1, "xm_abstract", "简介"), 1);
    Dialogs().Answer(1);
    Menu().save_clicked();
    EXPECT_EQ(Boxes().back(), "提示信息|保存成功！");
    EXPECT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_EQ(StoredBase(a, "xm_abstract"), "简介");
    EXPECT_EQ(StoredBase(a, "xm_askno"), "2008 01AA");
}

// An invalid date left with one click (focus out, then the section's AcceptText, then its
// Update) is reported once; the save then fails as it must, and the next action says it again.
TEST_F(SectionEditing, InvalidEntryIsReportedOncePerUserAction) {
    DataWindowControl& page = *W().dw_no1;
    ASSERT_EQ(page.SetColumn("xm_startdate"), 1);
    ASSERT_EQ(page.SetText("2008-13"), 1);
    QCoreApplication::processEvents();  // the user action ends
    Dialogs().Answer(1);
    EXPECT_EQ(page.AcceptText(), -1);  // the field is left
    Dialogs().Answer(1);
    ShowSection(3);
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_EQ(Boxes().front().substr(0, 13), "数据窗口|");
    EXPECT_EQ(Boxes().back(), "提示信息|先前的页面保存失败！");
    EXPECT_TRUE(page.EditPending());

    // Back on section 一, the text is still there; the next click says it again.
    ShowSection(2);
    EXPECT_EQ(page.GetText(), "2008-13");
    QCoreApplication::processEvents();  // the user action ends
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    ShowSection(3);
    EXPECT_EQ(Boxes().size(), 4u) << Dialogs().Transcript();
}

TEST_F(SectionEditing, NumberIsFoundWhicheverWayItWasStored) {
    // A number stored as the mask keeps it (the typed characters alone) is as taken as one
    // stored with its blank.
    ExecCommit("UPDATE j_xm_base SET xm_askno = '200803BB' WHERE xm_id = ?", {b});
    Dialogs().Answer(1);
    EXPECT_EQ(Type(*W().dw_no1, "xm_askno", "2008 03BB"), 1);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|此推荐号已经存在!"});
    Dialogs().Clear();

    ExecCommit("UPDATE j_xm_base SET xm_askno = '2008 04CC' WHERE xm_id = ?", {b});
    Dialogs().Answer(1);
    EXPECT_EQ(Type(*W().dw_no1, "xm_askno", "200804CC"), 1);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|此推荐号已经存在!"});
}

TEST_F(SectionEditing, OwnNumberAndOtherFieldsAreNeverRefused) {
    DataWindowControl& page = *W().dw_no1;
    // Change the number, then take the recommendation's own stored number back.
    EXPECT_EQ(Type(page, "xm_askno", "2008 07AA"), 1);
    EXPECT_EQ(Type(page, "xm_askno", "2008 01AA"), 1);
    EXPECT_EQ(page.GetItemString(1, "xm_askno"), "200801AA");

    // A name that happens to equal a number is no number.
    EXPECT_EQ(Type(page, "xm_name", "2008 02AA"), 1);
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
}

TEST_F(SectionEditing, PendingNumberIsCheckedWhenThePagesAreAccepted) {
    DataWindowControl& page = *W().dw_no1;
    ASSERT_EQ(page.SetColumn("xm_askno"), 1);
    ASSERT_EQ(page.SetText("2008 02AA"), 1);
    Dialogs().Answer(1);
    W().acceptdw();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|此推荐号已经存在!"});
    EXPECT_EQ(page.GetItemString(1, "xm_askno"), "2008 01AA");
}

// ---------------------------------------------------------------------------------------------------
// The subject picker.

class SubjectPicker : public SectionEditing {
  protected:
    void SetUp() override {
        SectionEditing::SetUp();
        // A small code table of our own, in an order the table does not keep by itself.
        Exec("DELETE FROM xuekdm");
        const std::vector<std::vector<rt::Value>> rows = {
            {"102", "01", "00", "通信  ", 9},        {"101", "01", "01", "机构学", 3},
            {"101", "00", "00", "机械", 1},          {"000", "00", "00", "总类", 10},
            {"101", "02", "00", "机械制造", 5},      {"102", "00", "05", "无上级", 7},
            {"101", "01", "00", "机械设计", 2},      {"101", "01", "02", "机械动力学", 4},
            {"102", "00", "00", "电子", 8},          {"101", "02", "01", "切削", 6},
            {rt::Value(), "03", "00", "缺一段", 11},
        };
        for (const auto& r : rows)
            Exec("INSERT INTO xuekdm (xk_1, xk_2, xk_3, xk_name, xk_xh) VALUES (?, ?, ?, ?, ?)", r);
        ASSERT_EQ(laurel::sqlca.Commit(), 0);
    }

    // Opens the picker as the user does: a subject field current, then a double-click.
    popup& OpenFrom(const std::string& column) {
        EXPECT_EQ(W().dw_no1->SetColumn(column), 1);
        W().dw_no1->DoubleClick(1, column);
        EXPECT_NE(laurel::popup, nullptr);
        return *laurel::popup;
    }
    std::optional<std::string> Item(const std::string& column) {
        return W().dw_no1->GetItemString(1, column);
    }
};

TEST_F(SubjectPicker, TreeHasThreeLevelsUnderTheirParents) {
    popup& p = OpenFrom("xk_majorname1");
    EXPECT_TRUE(p.IsOpen());
    EXPECT_EQ(p.Title(), "学科代码");
    rt::ui::TreeView& tree = *p.tv_xk;

    // In retrieval order; "000", a third part below no second part, and a missing part are left out.
    struct Expected {
        std::string label, code, name;
        long parent;
    };
    const std::vector<Expected> items = {
        {"101.0000 机械", "1010000", "机械", 0},         {"101.0100 机械设计", "1010100", "机械设计", 1},
        {"101.0101 机构学", "1010101", "机构学", 2},     {"101.0102 机械动力学", "1010102", "机械动力学", 2},
        {"101.0200 机械制造", "1010200", "机械制造", 1}, {"101.0201 切削", "1010201", "切削", 5},
        {"102.0000 电子", "1020000", "电子", 0},         {"102.0100 通信  ", "1020100", "通信  ", 7},
    };
    ASSERT_EQ(tree.ItemCount(), static_cast<long>(items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
        const long h = static_cast<long>(i) + 1;
        EXPECT_EQ(tree.GetItemLabel(h), items[i].label) << h;
        EXPECT_EQ(tree.ParentOf(h), items[i].parent) << h;
        ASSERT_NE(p.SubjectOf(h), nullptr);
        EXPECT_EQ(p.SubjectOf(h)->code, items[i].code) << h;
        EXPECT_EQ(p.SubjectOf(h)->name, items[i].name) << h;
    }
    EXPECT_EQ(p.ds_xk, nullptr) << "the data source goes once the tree stands";
    EXPECT_EQ(tree.SelectedItem(), 0);
}

TEST_F(SubjectPicker, PickWritesCodeAndNameIntoThePairOfTheCurrentField) {
    popup& p = OpenFrom("xk_majorcode2");

    // Through the tree widget's own double-click.
    auto* widget = qobject_cast<QTreeWidget*>(p.tv_xk->Widget());
    ASSERT_NE(widget, nullptr);
    QTreeWidgetItem* machining = widget->topLevelItem(0)->child(0)->child(0);  // 101.0101 机构学
    emit widget->itemDoubleClicked(machining, 0);
    EXPECT_EQ(Item("xk_majorcode2"), "1010101");
    EXPECT_EQ(Item("xk_majorname2"), "机构学");
    EXPECT_EQ(Item("xk_majorcode1"), std::nullopt);
    EXPECT_EQ(Item("xk_majorcode3"), std::nullopt);
    EXPECT_NE(W().dw_no1->ModifiedCount(), 0) << "the pick is an edit like any other";
    EXPECT_TRUE(p.IsOpen()) << "the picker stays open";

    // The field made current after the opening decides; a level-1 subject gives its own code.
    ASSERT_EQ(W().dw_no1->SetColumn("xk_majorname3"), 1);
    p.tv_xk_doubleclicked(1);
    EXPECT_EQ(Item("xk_majorcode3"), "1010000");
    EXPECT_EQ(Item("xk_majorname3"), "机械");

    // Trailing blanks of the name stay; a second pick overwrites the pair.
    p.tv_xk_doubleclicked(8);
    EXPECT_EQ(Item("xk_majorcode3"), "1020100");
    EXPECT_EQ(Item("xk_majorname3"), "通信  ");

    // Another field current, or no item: nothing is written.
    ASSERT_EQ(W().dw_no1->SetColumn("xm_name"), 1);
    p.tv_xk_doubleclicked(2);
    ASSERT_EQ(W().dw_no1->SetColumn("xk_majorname1"), 1);
    p.tv_xk_doubleclicked(0);
    EXPECT_EQ(Item("xk_majorcode1"), std::nullopt);
    EXPECT_EQ(Item("xk_majorname1"), std::nullopt);

    // The pick reaches the table with the page's save.
    ShowSection(3);
    EXPECT_EQ(StoredBase(a, "xk_majorcode2"), "1010101");
    EXPECT_EQ(StoredBase(a, "xk_majorname3"), "通信  ");
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
}

// A pick made while another section is on show goes into the project page and stays there: the
// page shown again keeps it, and leaving section 一 saves it.
TEST_F(SubjectPicker, PickWhileSectionOneIsHiddenIsKeptForItsSave) {
    popup& p = OpenFrom("xk_majorname1");
    ShowSection(3);
    p.tv_xk_doubleclicked(1);
    EXPECT_EQ(Item("xk_majorcode1"), "1010000");
    ShowSection(4);
    EXPECT_EQ(StoredBase(a, "xk_majorcode1"), std::nullopt) << "leaving 二 saves 二 only";
    ShowSection(2);
    EXPECT_EQ(Item("xk_majorcode1"), "1010000");
    EXPECT_EQ(Item("xk_majorname1"), "机械");
    ShowSection(3);
    EXPECT_EQ(StoredBase(a, "xk_majorcode1"), "1010000");
    EXPECT_EQ(StoredBase(a, "xk_majorname1"), "机械");
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
}

TEST_F(SubjectPicker, PersonPicksWithTheMouseThroughTheRealWidgets) {
    QWidget* top = W().TopWidget();
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));

    // A double-click on the display-only field: its first click makes it current.
    auto* name2 = W().dw_no1->Widget()->findChild<QWidget*>(QStringLiteral("xk_majorname2"));
    ASSERT_NE(name2, nullptr);
    ASSERT_TRUE(name2->isVisible());
    QTest::mouseClick(name2, Qt::LeftButton);
    QTest::mouseDClick(name2, Qt::LeftButton);
    EXPECT_EQ(W().dw_no1->GetColumnName(), "xk_majorname2");
    ASSERT_NE(laurel::popup, nullptr);
    popup& p = *laurel::popup;
    auto* tree = qobject_cast<QTreeWidget*>(p.tv_xk->Widget());
    ASSERT_NE(tree, nullptr);
    ASSERT_TRUE(tree->isVisible());
    EXPECT_EQ(tree->window()->windowTitle(), QStringLiteral("学科代码"));
    EXPECT_NE(tree->window(), top) << "a window of its own";

    // Down to a subject of the third level, opening the branches on the way.
    auto doubleClick = [&](QTreeWidgetItem* item) {
        tree->scrollToItem(item);
        // The press and release of the first click, then the second click.
        const QPoint at = tree->visualItemRect(item).center();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    };
    QTreeWidgetItem* mechanics = tree->topLevelItem(0);
    ASSERT_EQ(mechanics->text(0), QStringLiteral("101.0000 机械"));
    tree->expandItem(mechanics);
    QTreeWidgetItem* design = mechanics->child(0);
    tree->expandItem(design);
    QTreeWidgetItem* dynamics = design->child(1);
    ASSERT_EQ(dynamics->text(0), QStringLiteral("101.0102 机械动力学"));
    doubleClick(dynamics);
    EXPECT_EQ(Item("xk_majorcode2"), "1010102");
    EXPECT_EQ(Item("xk_majorname2"), "机械动力学");
    EXPECT_EQ(Item("xk_majorcode1"), std::nullopt);
    auto* shown = qobject_cast<QLineEdit*>(name2);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->text(), QStringLiteral("机械动力学")) << "the page shows the pick";

    // The main window stays usable: another subject field, another pick from the same picker.
    auto* code3 = W().dw_no1->Widget()->findChild<QWidget*>(QStringLiteral("xk_majorcode3"));
    ASSERT_NE(code3, nullptr);
    QTest::mouseClick(code3, Qt::LeftButton);
    EXPECT_EQ(W().dw_no1->GetColumnName(), "xk_majorcode3");
    doubleClick(tree->topLevelItem(1));  // a first-level subject is picked like any other
    EXPECT_EQ(Item("xk_majorcode3"), "1020000");
    EXPECT_EQ(Item("xk_majorname3"), "电子");
    EXPECT_EQ(Item("xk_majorcode2"), "1010102");
    EXPECT_TRUE(p.IsOpen());
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
}

TEST_F(SubjectPicker, ReadOnlyPageTakesNoPick) {
    popup& p = OpenFrom("xk_majorname1");
    W().disabledw();
    p.tv_xk_doubleclicked(3);
    EXPECT_EQ(Item("xk_majorcode1"), std::nullopt);
    EXPECT_EQ(W().dw_no1->ModifiedCount(), 0);
    W().enabledw();
    p.tv_xk_doubleclicked(3);
    EXPECT_EQ(Item("xk_majorcode1"), "1010101");
}

TEST_F(SubjectPicker, OpensOnlyFromASubjectFieldAndOnce) {
    ASSERT_EQ(W().dw_no1->SetColumn("xm_name"), 1);
    W().dw_no1->DoubleClick(1, "xk_majorname1");  // the field under the pointer does not count
    EXPECT_EQ(laurel::popup, nullptr);

    popup& first = OpenFrom("xk_majorcode3");
    // A second double-click brings the open picker forward; its tree is not built again.
    ExecCommit("DELETE FROM xuekdm WHERE xk_xh = 6");
    popup& again = OpenFrom("xk_majorname2");
    EXPECT_EQ(&again, &first);
    EXPECT_EQ(again.tv_xk->ItemCount(), 8);

    // Closed with its close box, it is gone; the next opening reads the table afresh.
    EXPECT_EQ(rt::ui::Close(first), 1);
    EXPECT_EQ(laurel::popup, nullptr);
    popup& fresh = OpenFrom("xk_majorname1");
    EXPECT_EQ(fresh.tv_xk->ItemCount(), 7);

    // A code table that cannot be read opens no empty picker; the database's box says why.
    EXPECT_EQ(rt::ui::Close(fresh), 1);
    ExecCommit("ALTER TABLE xuekdm RENAME TO xuekdm_away");
    AnswerDatabaseError();
    ASSERT_EQ(W().dw_no1->SetColumn("xk_majorname1"), 1);
    W().dw_no1->DoubleClick(1, "xk_majorname1");
    EXPECT_EQ(laurel::popup, nullptr);
    EXPECT_EQ(Boxes().size(), 1u) << Dialogs().Transcript();
    ExecCommit("ALTER TABLE xuekdm_away RENAME TO xuekdm");

    // The picker does not outlive the main window.
    OpenFrom("xk_majorname1");
    laurel::current_id = laurel::kNoRecommendation;
    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_EQ(laurel::popup, nullptr);
}

// ---------------------------------------------------------------------------------------------------
// The contributor and unit lists and their detail pages.

TEST_F(SectionEditing, ContributorListDrivesTheDetailPage) {
    ShowSection(11);
    EXPECT_EQ(laurel::current_ry, 1);
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "完成人一");

    // An unchanged detail page: no question, the chosen contributor shown, cursor in the name.
    EXPECT_EQ(W().dw_no72->Click(2, "ry_name"), 1);
    EXPECT_EQ(laurel::current_ry, 2);
    EXPECT_EQ(W().dw_no72->GetRow(), 2);
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "完成人二");
    EXPECT_EQ(W().dw_no71->GetColumnName(), "ry_name");
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();

    // An edit still in its field counts; Yes saves the contributor left and commits at once.
    ASSERT_EQ(W().dw_no71->SetColumn("ry_unit"), 1);
    ASSERT_EQ(W().dw_no71->SetText("某研究所"), 1);
    Dialogs().Answer(1);
    W().dw_no72->Click(3, "ry_name");
    EXPECT_EQ(Boxes(), std::vector<std::string>{kRyQuestion});
    const rt::ui::MessageRequest& box = Dialogs().messages.back().request;
    EXPECT_EQ(box.icon, rt::ui::Icon::Question);
    EXPECT_EQ(box.buttons, rt::ui::Buttons::YesNo);
    EXPECT_EQ(Stored("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 2", {a}), "某研究所");
    EXPECT_EQ(laurel::current_ry, 3);
    EXPECT_EQ(W().dw_no72->GetRow(), 3) << "the list is back on the chosen row after its retrieval";
    EXPECT_EQ(W().dw_no72->GetItemString(2, "ry_unit"), "某研究所");
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "完成人三");
    EXPECT_EQ(W().dw_no71->ModifiedCount(), 0);
    EXPECT_EQ(StoredBase(a, "xm_xg"), "0");

    // No, after an Esc that the question ignores: nothing is written and the edits go.
    Dialogs().Clear();
    ASSERT_EQ(W().dw_no71->SetItem(1, "ry_unit", "不要的单位"), 1);
    Dialogs().Answer(rt::ScriptedDialogs::kEscape);
    Dialogs().Answer(2);
    W().dw_no72->ScrollToRow(1);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kRyQuestion});
    EXPECT_EQ(Dialogs().messages.back().ignored, 1);
    EXPECT_EQ(laurel::current_ry, 1);
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "完成人一");
    EXPECT_EQ(Stored("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 3", {a}), std::nullopt);
}

TEST_F(SectionEditing, FailedSaveOfADetailKeepsItsEditsAndItsRow) {
    ShowSection(12);
    W().dw_no82->ScrollToRow(2);
    ASSERT_EQ(laurel::current_dw, 2);
    ASSERT_EQ(W().dw_no81->SetItem(1, "dw_rperson", "张三"), 1);

    RefuseWrites("refuse_units", "BEFORE UPDATE ON j_dw_finish");
    Dialogs().Answer(1);
    AnswerDatabaseError();
    Dialogs().Answer(1);
    W().dw_no82->Click(3, "dw_name");
    const std::vector<std::string> boxes = Boxes();
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes.front(), kDwQuestion);
    EXPECT_EQ(boxes.back(), "提示信息|保存失败！");
    EXPECT_EQ(laurel::current_dw, 2);
    EXPECT_EQ(W().dw_no82->GetRow(), 2);
    EXPECT_EQ(W().dw_no81->GetItemString(1, "dw_name"), "完成单位二");
    EXPECT_EQ(W().dw_no81->GetItemString(1, "dw_rperson"), "张三");
    EXPECT_EQ(W().dw_no81->ModifiedCount(), 1) << "the edit is still pending";
    EXPECT_EQ(Pending("SELECT dw_rperson FROM j_dw_finish WHERE xm_id = ? AND dw_no = 2", {a}), std::nullopt);

    // A COMMIT that fails keeps the edit the same way.
    AllowWrites("refuse_units", "j_dw_finish");
    Dialogs().Clear();
    {
        const auto lock = FailNextCommit();
        Dialogs().Answer(1);
        AnswerDatabaseError();
        Dialogs().Answer(1);
        W().dw_no82->Click(3, "dw_name");
    }
    ASSERT_EQ(Boxes().size(), 3u) << Dialogs().Transcript();
    EXPECT_EQ(Boxes()[0], kDwQuestion);
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[1], "")) << Boxes()[1];
    EXPECT_EQ(Boxes()[2], "提示信息|保存失败！");
    EXPECT_EQ(laurel::current_dw, 2);
    EXPECT_EQ(W().dw_no81->ModifiedCount(), 1);

    // Once the cause is gone, the same move saves the edit.
    Dialogs().Clear();
    Dialogs().Answer(1);
    W().dw_no82->Click(3, "dw_name");
    EXPECT_EQ(Boxes(), std::vector<std::string>{kDwQuestion});
    EXPECT_EQ(Stored("SELECT dw_rperson FROM j_dw_finish WHERE xm_id = ? AND dw_no = 2", {a}), "张三");
    EXPECT_EQ(laurel::current_dw, 3);
    EXPECT_EQ(W().dw_no81->GetItemString(1, "dw_name"), "完成单位三");
}

// Another desktop removed contributor 2 since the list was read: a click on the row that still
// names it never shows contributor 3 under contributor 2's name, and a change typed for the
// contributor left is stored on that contributor, wherever its number has gone.
TEST_F(SectionEditing, AClickOnARowAnotherDesktopRenumberedShowsNoOtherItemUnderItsName) {
    for (const long section : {11L, 12L}) {
        SCOPED_TRACE(section);
        const bool people = section == 11;
        DataWindowControl& list = people ? *W().dw_no72 : *W().dw_no82;
        DataWindowControl& detail = people ? *W().dw_no71 : *W().dw_no81;
        const std::string table = people ? "j_ry_finish" : "j_dw_finish";
        const std::string number = people ? "ry_no" : "dw_no";
        const std::string name = people ? "ry_name" : "dw_name";
        const int& current = people ? laurel::current_ry : laurel::current_dw;
        ShowSection(section);
        ASSERT_EQ(list.RowCount(), 3);
        Other().RemoveItem(table, number, a, 2);

        Dialogs().Answer(1);
        list.Click(2, name);
        EXPECT_EQ(Boxes(),
                  std::vector<std::string>{"提示信息|" + std::string(laurel::sections::kListChanged)});
        ASSERT_EQ(list.RowCount(), 2) << "the list is read again";
        EXPECT_EQ(detail.GetItemString(1, name), list.GetItemString(list.GetRow(), name));
        EXPECT_EQ(detail.GetItemNumber(1, number), list.GetRow());
        EXPECT_EQ(current, list.GetRow());

        // A change typed for the first item, stored as the list moves on: another desktop puts a
        // new item in front of it meanwhile.
        Dialogs().Clear();
        list.ScrollToRow(1);
        const std::string first = detail.GetItemString(1, name).value_or("");
        const std::string column = people ? "ry_unit" : "dw_rperson";
        ASSERT_EQ(detail.SetItem(1, column, "typed"), 1);
        Other().InsertItem(table, number, a, 1, name, "new");
        Dialogs().Answer(1);
        Dialogs().Answer(1);
        list.Click(2, name);
        EXPECT_EQ(Boxes(),
                  (std::vector<std::string>{people ? kRyQuestion : kDwQuestion,
                                            "提示信息|" + std::string(laurel::sections::kListChanged)}));
        EXPECT_EQ(Stored("SELECT count(*) FROM " + table + " WHERE " + column + " = 'typed'"), "0");
        EXPECT_EQ(detail.GetItemString(1, name), first) << "the typed change stays on its item";
        EXPECT_EQ(detail.GetItemString(1, column), "typed");
        EXPECT_EQ(current, 2);
        EXPECT_EQ(list.GetRow(), 2);
        EXPECT_EQ(list.GetItemString(2, name), first);

        Dialogs().Clear();
        Dialogs().Answer(1);
        list.Click(1, name);
        EXPECT_EQ(Boxes(), std::vector<std::string>{people ? kRyQuestion : kDwQuestion});
        EXPECT_EQ(Stored("SELECT " + name + " FROM " + table + " WHERE " + column + " = 'typed'"), first);
        EXPECT_EQ(detail.GetItemString(1, name), "new");
        Dialogs().Clear();
    }
}

TEST_F(SectionEditing, MoveOntoTheStoredNumberAsksNothing) {
    ShowSection(12);
    // The insert and delete buttons set the number before they scroll.
    ASSERT_EQ(W().dw_no81->SetItem(1, "dw_rperson", "李四"), 1);
    laurel::current_dw = 3;
    W().dw_no82->ScrollToRow(3);
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_EQ(W().dw_no81->GetItemString(1, "dw_name"), "完成单位三");
    EXPECT_EQ(W().dw_no81->ModifiedCount(), 0);
    EXPECT_EQ(W().dw_no81->GetColumnName(), "dw_name");
}

TEST_F(SectionEditing, EmptyListShowsNoDetailAndHidesNothing) {
    ShowSection(11);
    W().dw_no72->Reset();
    W().dw_no72->TriggerEvent("rowfocuschanged");
    EXPECT_EQ(laurel::current_ry, 0);
    EXPECT_EQ(W().dw_no71->RowCount(), 0);
    EXPECT_TRUE(W().dw_no71->Visible());
    EXPECT_TRUE(W().dw_no72->Visible());
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
}

// ---------------------------------------------------------------------------------------------------
// Clicks beside the rows.

TEST_F(SectionEditing, ClickBesideTheRowsKeepsTheCurrentRow) {
    for (DataWindowControl* list : {W().dw_no, W().dw_no6, W().dw_no51, W().dw_no52, W().dw_no72, W().dw_no82,
                                    W().dw_no91, W().dw_no93}) {
        ASSERT_TRUE(list->clicked) << list->Name();
        EXPECT_EQ(list->clicked(10, 10, 0, ""), 1) << list->Name();
        EXPECT_EQ(list->clicked(10, 10, 1, "xm_id"), 0) << list->Name();
    }

    // The recommendation list: a click below the rows switches nothing, a click on a row does.
    W().dw_no->Click(0, "");
    EXPECT_EQ(W().dw_no->GetRow(), 1);
    EXPECT_EQ(laurel::current_id, a);
    W().dw_no->Click(2, "xm_name");
    EXPECT_EQ(laurel::current_id, b);

    // The contributor list of b: a click on the header leaves the detail where it was.
    ShowSection(11);
    W().dw_no72->Click(0, "");
    EXPECT_EQ(W().dw_no72->GetRow(), 1);
    EXPECT_EQ(laurel::current_ry, 1);
}

// ---------------------------------------------------------------------------------------------------
// Status-line hints.

TEST_F(SectionEditing, HintsFollowTheFieldEntered) {
    struct Case {
        DataWindowControl* page;
        std::string column, hint;
    };
    ShowSection(11);
    W().dw_no81->Retrieve({a, 1});
    const std::vector<Case> cases = {
        {W().dw_no1, "xm_askno", "Ready"},
        {W().dw_no1, "xm_name", "中文项目名称，限30个汉字。"},
        {W().dw_no1, "xk_majorname1", kSubjectHint},
        {W().dw_no1, "xk_majorcode1", kSubjectHint},
        {W().dw_no1, "xk_majorname2", "Ready"},
        {W().dw_no1, "xk_majorcode3", "Ready"},
        {W().dw_no1, "xm_name", "中文项目名称，限30个汉字。"},
        {W().dw_no71, "ry_id", kMaskHint},
        {W().dw_no71, "ry_name", "Ready"},
        {W().dw_no71, "ry_fixtel", kMaskHint},
        {W().dw_no71, "ry_postcode", kMaskHint},
        {W().dw_no71, "ry_mpno", kMaskHint},
        {W().dw_no81, "dw_fax", kMaskHint},
        {W().dw_no81, "dw_name", "完成单位名称，限20个汉字。"},
        {W().dw_no81, "dw_postcode", "Ready"},
        {W().dw_no81, "dw_rtelphone", kMaskHint},
        {W().dw_no81, "ry_mpno", kMaskHint},
        {W().dw_no81, "dw_rperson", "Ready"},
    };
    for (const Case& c : cases) {
        W().SetMicroHelp("-");
        ASSERT_EQ(c.page->SetColumn(c.column), 1) << c.column;
        EXPECT_EQ(W().MicroHelp(), c.hint) << c.page->Name() << "." << c.column;
    }

    // A page without hints leaves the last one standing.
    ASSERT_EQ(W().dw_no81->SetColumn("dw_name"), 1);
    W().dw_no2->Retrieve({a});
    W().dw_no2->SetColumn("xm_abstract");
    EXPECT_EQ(W().MicroHelp(), "完成单位名称，限20个汉字。");
}

}  // namespace

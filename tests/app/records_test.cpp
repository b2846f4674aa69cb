// The main menu and its commands on whole recommendations: the menu bar and toolbar, New, Delete,
// Save, Modify, Exit, Previous and Next, the help file and the about window, each on the real main
// window over a private database.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStringDecoder>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWidgetAction>
#include <QWindow>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "records/about.h"
#include "records/data_source.h"
#include "records/m_main.h"
#include "records/w_datasource.h"
#include "runtime/config/data_source.h"
#include "runtime/platform/path.h"
#include "runtime/ui/application.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/menu.h"
#include "runtime/ui/window.h"
#include "schema/initdb.h"
#include "sections/section_area.h"
#include "sections/section_table.h"
#include "tests/support/app_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/platform.h"
#include "tests/support/scratch_database.h"

namespace {

namespace fs = std::filesystem;
using laurel::records::m_main;
using rt::ui::Buttons;
using rt::ui::Icon;
using testing_support::AppTest;
using testing_support::Recommendation;

const std::vector<std::string> kTables = {"j_xm_base",     "j_ry_finish", "j_dw_finish", "j_xy_saving",
                                          "j_jx_getaward", "j_yy_app",    "j_zl_patent"};

// The about window's size in layout units: the edition's, and below it room for the data source.
constexpr int kAboutWidth = 2199, kAboutHeight = 1460;

// Three recommendations of one database, in key order.

const Recommendation kA{"201812340001", "2008 0101", "甲项目"};
const Recommendation kB{"201812340002", "2008 0102", "乙项目"};
const Recommendation kC{"201812340003", "2008 0103", "丙项目"};

class RecordsTest : public AppTest {
  protected:
    // A recommendation with a row in every table that hangs off it.
    void SeedFull(const Recommendation& r) {
        Seed(r);
        AddContributor(r.id, 2, "完成人二");
        AddUnit(r.id, 2, "完成单位二");
        AddAward(r.id, 1, "奖项一");
        AddApplication(r.id, 1, "应用单位一");
        AddProperty(r.id, 1, "专利一");
    }

    long RowsOf(const std::string& id) {
        long n = 0;
        for (const std::string& t : kTables) n += StoredCount(t, id);
        return n;
    }

    // Counts the runs of the recommendation switch from now on.
    void CountSwitches() {
        auto original = W().dw_no->rowfocuschanged;
        W().dw_no->rowfocuschanged = [this, original](long row) {
            ++switches_;
            if (original) original(row);
        };
    }

    std::string ListKey(long row) { return W().dw_no->GetItemString(row, "xm_id").value_or("<null>"); }

    int switches_ = 0;
};

std::string Text(const QString& s) {
    return s.toStdString();
}

// ---------------------------------------------------------------------------------------------
// The menu bar and the toolbar.

TEST_F(RecordsTest, MenuBarHoldsTheFourMenusWithTheirItemsTextsAndStates) {
    OpenMainWindow();
    m_main& m = Menu();

    struct Row {
        std::string name, text;
        bool enabled;
        std::string shortcut, microhelp;
    };
    const std::vector<std::pair<Row, std::vector<Row>>> expected = {
        {{"m_系统管理s", "系统管理(&S)", true, "", ""},
         {{"m_系统用户", "系统设置(&T)", false, "", ""},
          {"m_用户密码", "用户密码(&P)", false, "", "在这里可以设置系统密码！"},
          {"m_数据源", "数据源(&D)", true, "",
           "设置程序使用的数据库：本台电脑自己的数据库，或服务器上的数据库。"},
          {"m_--------", "--------", false, "", ""},
          {"m_退出系统", "退出系统(&X)", true, "", ""}}},
        {{"m_推荐书管理d", "推荐书管理(&R)", true, "", ""},
         {{"m_新增推荐书", "新增推荐书(&N)", true, "", "新增一份空白推荐书。"},
          {"m_删除推荐书", "删除推荐书(&D)", true, "", "删除一份现有的推荐书。"},
          {"m_完整性检查", "完整性检查(&C)", true, "", "推荐书完整性检查，查看推荐书版本号。"},
          {"m_打印", "生成word版本(&W)", true, "", "生成word版本的推荐书。"},
          {"m_导出", "导出申报文件(&E)", true, "", "导出申报的推荐书压缩文件。"},
          {"m_导入", "导入申报文件(&I)", true, "", "导入申报的推荐书压缩文件。"}}},
        {{"m_编辑", "编辑(&E)", true, "", ""},
         {{"m_上一份", "上一份(&P)", true, "", ""},
          {"m_下一份", "下一份(&N)", true, "", ""},
          {"m_修改", "修改(&M)\tCtrl+M", true, "Ctrl+M", ""},
          {"m_保存", "保存(&S)\tCtrl+S", true, "Ctrl+S", ""}}},
        {{"m_代码管理", "帮助(&H)", true, "", ""},
         {{"m_填表说明", "填表说明(&G)", true, "", ""},
          {"m_1", "--------", false, "", ""},
          {"m_关于", "关于(&A)", true, "", ""}}},
    };

    EXPECT_EQ(m.Name(), "m_main");
    ASSERT_EQ(m.Items().size(), expected.size());
    for (std::size_t t = 0; t < expected.size(); ++t) {
        const rt::ui::MenuItem& top = *m.Items()[t];
        const auto& [want, items] = expected[t];
        EXPECT_EQ(top.Name(), want.name);
        EXPECT_EQ(top.Text(), want.text);
        EXPECT_TRUE(top.Enabled()) << want.name;
        EXPECT_TRUE(top.MicroHelp().empty()) << want.name;
        ASSERT_EQ(top.Items().size(), items.size()) << want.name;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const rt::ui::MenuItem& item = *top.Items()[i];
            EXPECT_EQ(item.Name(), items[i].name);
            EXPECT_EQ(item.Text(), items[i].text) << items[i].name;
            EXPECT_EQ(item.Enabled(), items[i].enabled) << items[i].name;
            EXPECT_EQ(item.Shortcut(), items[i].shortcut) << items[i].name;
            EXPECT_EQ(item.MicroHelp(), items[i].microhelp) << items[i].name;
        }
    }

    // The frame's actions carry the shortcuts, and only the two items have one.
    EXPECT_EQ(m.modify->Action()->shortcut(), QKeySequence("Ctrl+M"));
    EXPECT_EQ(m.save->Action()->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_TRUE(m.new_recommendation->Action()->shortcut().isEmpty());
}

TEST_F(RecordsTest, ToolbarHoldsTenButtonsInOrderWithTheirTipsAndSpacing) {
    OpenMainWindow();
    m_main& m = Menu();

    std::vector<std::string> names, tips;
    std::vector<int> spaces;
    for (const rt::ui::MenuItem* item : m.ToolbarItems()) {
        names.push_back(item->Name());
        tips.push_back(item->ToolbarTip());
        spaces.push_back(item->ToolbarSpace());
        EXPECT_FALSE(item->ToolbarPicture().empty()) << item->Name();
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"m_新增推荐书", "m_删除推荐书", "m_完整性检查", "m_打印", "m_导出",
                                        "m_导入", "m_上一份", "m_下一份", "m_修改", "m_保存"}));
    EXPECT_EQ(tips,
              (std::vector<std::string>{"新增推荐书", "删除推荐书", "推荐书完整性检查，查看推荐书版本号",
                                        "生成word版本推荐书", "导出申报文件", "导入申报文件", "上一份推荐书",
                                        "下一份推荐书", "修改推荐书", "保存"}));
    EXPECT_EQ(spaces, (std::vector<int>{2, 4, 4, 4, 4, 4, 4, 4, 4, 4}));

    // What the frame shows: the same ten actions in the same order, each with its tip.
    QList<QToolBar*> bars = W().Frame()->findChildren<QToolBar*>();
    ASSERT_EQ(bars.size(), 1);
    std::vector<std::string> shown;
    // The space in front of a button is a blank gap, not a button.
    for (QAction* a : bars.front()->actions())
        if (!a->isSeparator() && !qobject_cast<QWidgetAction*>(a)) shown.push_back(Text(a->toolTip()));
    EXPECT_EQ(shown, tips);
}

TEST_F(RecordsTest, HighlightingAnItemShowsItsMicroHelpInTheStatusLineUntilTheMenuCloses) {
    OpenMainWindow();
    W().SetMicroHelp("中文项目名称，限30个汉字。");
    auto highlight = [](rt::ui::MenuItem* item) {
        QMenu* dropDown = item->ParentItem()->Action()->menu();
        if (!dropDown->isVisible()) dropDown->popup(QPoint(0, 0));
        QTest::mouseMove(dropDown, dropDown->actionGeometry(item->Action()).center());
    };

    highlight(Menu().new_recommendation);
    EXPECT_EQ(W().StatusLine(), "新增一份空白推荐书。");
    highlight(Menu().save);
    EXPECT_EQ(W().StatusLine(), "");
    // A disabled item shows its text too.
    highlight(Menu().user_password);
    EXPECT_EQ(W().StatusLine(), "在这里可以设置系统密码！");
    Menu().user_password->ParentItem()->Action()->menu()->hide();
    EXPECT_EQ(W().StatusLine(), "中文项目名称，限30个汉字。");
    for (rt::ui::MenuItem* top : {Menu().records_menu, Menu().edit_menu}) top->Action()->menu()->hide();
    EXPECT_EQ(W().StatusLine(), "中文项目名称，限30个汉字。");

    // A toolbar button shows its tip; the status line keeps the field's hint.
    auto* bar = W().Frame()->findChild<QToolBar*>();
    ASSERT_NE(bar, nullptr);
    for (rt::ui::MenuItem* item : {Menu().new_recommendation, Menu().save}) {
        QWidget* button = bar->widgetForAction(item->Action());
        ASSERT_NE(button, nullptr);
        QTest::mouseMove(button);
        item->Action()->hover();
        EXPECT_EQ(W().StatusLine(), "中文项目名称，限30个汉字。");
    }
    EXPECT_EQ(W().MicroHelp(), "中文项目名称，限30个汉字。");
}

TEST_F(RecordsTest, CtrlSAndCtrlMRunSaveAndModifyFromTheKeyboard) {
    Seed(kA);
    OpenMainWindow();
    QWidget* frame = W().TopWidget();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));

    Dialogs().Answer(1);  // 保存成功！
    QTest::keyClick(frame, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|保存成功！"}));

    QTest::keyClick(frame, Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "0");
}

TEST_F(RecordsTest, EveryCommandItemStaysEnabledWithoutAnyRecommendation) {
    OpenMainWindow();
    for (const rt::ui::MenuItem* item : Menu().ToolbarItems()) EXPECT_TRUE(item->Enabled()) << item->Name();
    EXPECT_TRUE(Menu().exit_system->Enabled());
    EXPECT_TRUE(Menu().fill_in_guide->Enabled());
    EXPECT_TRUE(Menu().about_item->Enabled());

    // Nothing to do is never reported.
    for (rt::ui::MenuItem* item :
         {Menu().delete_recommendation, Menu().previous, Menu().next, Menu().modify, Menu().save,
          Menu().system_settings, Menu().user_password, Menu().system_separator, Menu().help_separator})
        item->Click();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(laurel::current_id, laurel::kNoRecommendation);
}

// ---------------------------------------------------------------------------------------------
// New.

TEST(RecommendationKeys, FollowTheLargestKeyAndRefuseWhatIsNotTwelveDigits) {
    EXPECT_EQ(laurel::records::NextRecommendationKey("200812340041"), "200812340042");
    EXPECT_EQ(laurel::records::NextRecommendationKey("200812340999"), "200812341000");
    EXPECT_EQ(laurel::records::NextRecommendationKey("200812349998"), "200812349999");
    // The serial is used up; a key of another length or with other characters has no successor.
    EXPECT_EQ(laurel::records::NextRecommendationKey("200812349999"), "");
    EXPECT_EQ(laurel::records::NextRecommendationKey("20081234004"), "");
    EXPECT_EQ(laurel::records::NextRecommendationKey("2008123400411"), "");
    EXPECT_EQ(laurel::records::NextRecommendationKey("2008ABCD0041"), "");
    EXPECT_EQ(laurel::records::NextRecommendationKey(" 200812340041"), "");
    EXPECT_EQ(laurel::records::NextRecommendationKey(""), "");

    for (int i = 0; i < 200; ++i) {
        const std::string key = laurel::records::FirstRecommendationKey(2008);
        ASSERT_EQ(key.size(), 12u);
        EXPECT_EQ(key.substr(0, 4), "2008");
        EXPECT_NE(key.substr(4, 4), "0000");
        EXPECT_EQ(key.find_first_not_of("0123456789"), std::string::npos) << key;
        EXPECT_EQ(key.substr(8), "0001");
    }
}

TEST_F(RecordsTest, NewOnAnEmptyDatabaseStoresTheInitialStateAndMakesItCurrent) {
    OpenMainWindow();
    CountSwitches();
    Menu().new_recommendation->Click();

    EXPECT_TRUE(Boxes().empty());
    const int year = rt::Date::Today().year;
    const std::string id = laurel::current_id;
    ASSERT_EQ(id.size(), 12u);
    EXPECT_EQ(id.substr(0, 4), std::to_string(year));
    EXPECT_NE(id.substr(4, 4), "0000");
    EXPECT_EQ(id.substr(8), "0001");
    EXPECT_EQ(Stored("SELECT count(*) FROM j_xm_base"), "1");

    EXPECT_EQ(StoredBase(id, "xm_xg"), "0");
    EXPECT_EQ(StoredBase(id, "xm_guid"), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(StoredBase(id, "mj_secrcode"), "4");
    for (const char* date : {"xm_fixsecrdate", "xm_startdate", "xm_finishdate"})
        EXPECT_EQ(StoredBase(id, date), "0001-01-01") << date;
    EXPECT_EQ(
        Stored(
            "SELECT CASE WHEN xm_zongtz = 0 AND xm_huis = 0 THEN 1 ELSE 0 END FROM j_xm_base WHERE xm_id = ?",
            {id}),
        "1");
    EXPECT_EQ(StoredBase(id, "xm_name"), std::nullopt);

    // Booleans are cast to text, which every database spells alike once it is a number.
    EXPECT_EQ(Stored("SELECT ry_no || '|' || ry_birthday || '|' || gg_date || '|' || ry_grdtime || '|' || "
                     "ry_start || '|' || ry_finish || '|' || ry_atm || '|' || CASE WHEN ry_anum = 0 THEN 1 "
                     "ELSE 0 END FROM j_ry_finish WHERE xm_id = ?",
                     {id}),
              "1|0001-01-01|0001-01-01|0001-01-01|0001-01-01|0001-01-01|0001-01-01|1");
    EXPECT_EQ(
        Stored("SELECT dw_no || '|' || dw_ardbkprntm || '|' || CASE WHEN dw_ardbkprnnum = 0 THEN 1 ELSE 0 "
               "END FROM j_dw_finish WHERE xm_id = ?",
               {id}),
        "1|0001-01-01|1");

    // Six benefit rows, the years stored as text of four digits; on SQLite, whose columns take any
    // type, as text and not as a number.
    if (!testing_support::ScratchDatabase::OnPostgreSQL()) {
        EXPECT_EQ(
            Stored("SELECT count(*) FROM j_xy_saving WHERE xm_id = ? AND typeof(xy_year) <> 'text'", {id}),
            "0");
    }
    std::string years;
    for (const char* kind : {"1", "0"})
        for (int back = 1; back <= 3; ++back)
            years += Stored(
                         "SELECT xy_year || ':' || CASE WHEN xy_addvalue + xy_addinterest + "
                         "xy_addtax + xy_getfrgexch + xy_savegross = 0 THEN 1 ELSE 0 END || ':' || "
                         "coalesce(xk_bz, 'null') FROM j_xy_saving WHERE xm_id = ? AND xy_zhijorjianj = "
                         "? AND xy_year = ?",
                         {id, kind, std::to_string(year - back)})
                         .value_or("missing") +
                     " ";
    const std::string y1 = std::to_string(year - 1), y2 = std::to_string(year - 2),
                      y3 = std::to_string(year - 3);
    const std::string three = y1 + ":1:null " + y2 + ":1:null " + y3 + ":1:null ";
    EXPECT_EQ(years, three + three);
    EXPECT_EQ(StoredCount("j_xy_saving", id), 6);
    for (const char* t : {"j_jx_getaward", "j_yy_app", "j_zl_patent"}) EXPECT_EQ(StoredCount(t, id), 0) << t;

    // The list, read anew, shows it as its current row, and the switch ran once for it.
    EXPECT_EQ(W().dw_no->RowCount(), 1);
    EXPECT_EQ(W().dw_no->GetRow(), 1);
    EXPECT_EQ(ListKey(1), id);
    EXPECT_EQ(switches_, 1);
    EXPECT_TRUE(W().dw_no1->Visible());
    EXPECT_TRUE(W().dw_no1->Enabled());
    EXPECT_TRUE(W().st_2->Visible());
    EXPECT_EQ(W().dw_no1->RowCount(), 1);
}

TEST_F(RecordsTest, NewAfterOthersKeepsTheFirstEightCharactersAndAppendsTheCurrentRow) {
    Seed({"200856780007", "2008 0107", "七号"});
    Seed({"200856780041", "2008 0141", "四十一号"});
    OpenMainWindow();
    CountSwitches();

    Menu().new_recommendation->Click();

    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(laurel::current_id, "200856780042");
    EXPECT_EQ(StoredBase("200856780042", "xm_xg"), "0");
    EXPECT_EQ(StoredBase("200856780042", "xm_guid"), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(StoredBase("200856780042", "xm_startdate"), "0001-01-01");
    EXPECT_EQ(StoredCount("j_ry_finish", "200856780042"), 1);
    EXPECT_EQ(StoredCount("j_dw_finish", "200856780042"), 1);
    // The benefit years follow today's date, not the year in the key.
    const int year = rt::Date::Today().year;
    EXPECT_EQ(Stored("SELECT min(xy_year) || '-' || max(xy_year) || '/' || count(*) FROM j_xy_saving WHERE "
                     "xm_id = ? AND xy_zhijorjianj = '0'",
                     {"200856780042"}),
              std::to_string(year - 3) + "-" + std::to_string(year - 1) + "/3");

    EXPECT_EQ(W().dw_no->RowCount(), 3);
    EXPECT_EQ(W().dw_no->GetRow(), 3);
    EXPECT_EQ(ListKey(3), "200856780042");
    EXPECT_EQ(W().dw_no->GetColumn(), 1);
    EXPECT_EQ(W().dw_no->ModifiedCount(), 0);
    EXPECT_EQ(switches_, 1);
    EXPECT_TRUE(W().dw_no1->Enabled());

    // A second New follows the one just made.
    Menu().new_recommendation->Click();
    EXPECT_EQ(laurel::current_id, "200856780043");
    EXPECT_EQ(W().dw_no->RowCount(), 4);
}

TEST_F(RecordsTest, NewLeavesThePendingEditsOfTheCurrentOneToTheSwitchsQuestion) {
    Seed(kA);
    OpenMainWindow();

    // Yes: the edits are stored for the recommendation they were made on, the new one is current.
    W().dw_no1->SetItem(1, "xm_name", "甲的新名称");
    Dialogs().Answer(1);
    Menu().new_recommendation->Click();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|申请书已有修改，是否保存？"}));
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), "甲的新名称");
    EXPECT_EQ(laurel::current_id, "201812340002");
    EXPECT_EQ(StoredBase("201812340002", "xm_name"), std::nullopt);
    EXPECT_EQ(StoredCount("j_xy_saving", "201812340002"), 6);
    EXPECT_EQ(W().dw_no->RowCount(), 2);
    EXPECT_EQ(W().dw_no->GetRow(), 2);
    EXPECT_EQ(ListKey(2), "201812340002");
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), std::nullopt);
    EXPECT_EQ(W().modifieddw(), "000000000000000000");

    // No: nothing of them is stored, and the next new one is current all the same; the one just
    // made is complete whatever the answer.
    Dialogs().Clear();
    W().dw_no1->SetItem(1, "xm_name", "不要的名称");
    Dialogs().Answer(2);
    Menu().new_recommendation->Click();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|申请书已有修改，是否保存？"}));
    EXPECT_EQ(StoredBase("201812340002", "xm_name"), std::nullopt);
    EXPECT_EQ(laurel::current_id, "201812340003");
    EXPECT_EQ(StoredCount("j_ry_finish", "201812340003"), 1);
    EXPECT_EQ(W().dw_no->GetRow(), 3);
    EXPECT_EQ(W().modifieddw(), "000000000000000000");

    // Yes, and the save fails (the database is busy): no new recommendation is made, and the one
    // on show stays current with its edits pending, however often it is tried.
    W().dw_no1->SetItem(1, "xm_name", "存不进去的名称");
    for (int attempt = 0; attempt < 2; ++attempt) {
        Dialogs().Clear();
        {
            const auto lock = FailNextCommit();
            Dialogs().Answer(1);
            AnswerDatabaseError();
            Dialogs().Answer(1);
            Menu().new_recommendation->Click();
        }
        ASSERT_EQ(Boxes().size(), 3u) << Dialogs().Transcript();
        EXPECT_EQ(Boxes()[0], "提示信息|申请书已有修改，是否保存？");
        EXPECT_EQ(Boxes()[2], "提示信息|保存失败！");
        EXPECT_EQ(Stored("SELECT count(*) FROM j_xm_base"), "3");
        EXPECT_EQ(laurel::current_id, "201812340003");
        EXPECT_EQ(W().dw_no->RowCount(), 3);
        EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), "存不进去的名称");
        EXPECT_EQ(W().modifieddw(), "100000000000000000");
    }
    // Once the database is free again the same New stores them and makes the next one.
    Dialogs().Clear();
    Dialogs().Answer(1);
    Menu().new_recommendation->Click();
    EXPECT_EQ(StoredBase("201812340003", "xm_name"), "存不进去的名称");
    EXPECT_EQ(laurel::current_id, "201812340004");
}

// New triggered again through the menu while it still works (the window repaints while it waits on
// the database): the second trigger does nothing, and one recommendation is made.
TEST_F(RecordsTest, ASecondTriggerWhileNewRunsDoesNothing) {
    Seed(kA);
    OpenMainWindow();
    const bool server = testing_support::ScratchDatabase::OnPostgreSQL();
    ExecCommit(server ? "SET lock_timeout = '30s'" : "PRAGMA busy_timeout = 20000");
    // Another program holds the table: New waits from its first statement on.
    testing_support::LockHolder other(Db());
    ASSERT_EQ(other.HoldEverything("j_xm_base"), 0);
    QAction* item = Menu().new_recommendation->Action();
    bool triggered = false;
    QTimer::singleShot(300, [&] {
        triggered = true;
        item->trigger();
    });
    QTimer::singleShot(900, [&] { other.Release(); });
    item->trigger();
    EXPECT_TRUE(triggered) << "New did not wait";
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_EQ(Stored("SELECT count(*) FROM j_xm_base"), "2");
    EXPECT_EQ(W().dw_no->RowCount(), 2);
    EXPECT_EQ(laurel::current_id, "201812340002");
}

// New on two desktops at once: the other takes the key this one read before this one inserts it.
// This one takes the next, with no word about it; a key taken every time is said in Chinese. On
// SQLite one desktop writes at a time, so that a key read is never taken before it is inserted.
TEST_F(RecordsTest, NewTakesTheNextKeyWhenAnotherDesktopTookTheOneItRead) {
    if (!testing_support::ScratchDatabase::OnPostgreSQL())
        GTEST_SKIP() << "SQLite lets no other desktop write between the read and the insert";
    Seed(kA);
    OpenMainWindow();
    // The program's own wait for a row another desktop inserts is long enough for the box that
    // lets the user give up to show: the other desktop stores its recommendation meanwhile.
    ExecCommit("SET lock_timeout = '30s'");
    rt::Transaction other;
    ASSERT_TRUE(ConnectAnother(other, false));
    const auto takes = [&](const std::string& key) {
        ASSERT_EQ(other.Execute("INSERT INTO j_xm_base (xm_id, xm_xg) VALUES (?, '0')", {key}), 0)
            << other.SQLErrText;
    };
    int waited = 0;
    Dialogs().whileShown = [&](const rt::ui::MessageRequest& r) {
        if (r.buttons != Buttons::Cancel) return;
        ++waited;
        EXPECT_EQ(other.Commit(), 0) << other.SQLErrText;
    };

    takes("201812340002");
    Menu().new_recommendation->Click();
    EXPECT_EQ(waited, 1);
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_EQ(laurel::current_id, "201812340003");
    EXPECT_EQ(StoredCount("j_xy_saving", "201812340003"), 6);
    EXPECT_EQ(StoredBase("201812340002", "xm_guid"), std::nullopt) << "the other desktop's row is its own";
    EXPECT_EQ(W().dw_no->RowCount(), 2);
    EXPECT_EQ(ListKey(2), "201812340003");
    EXPECT_EQ(W().dw_no->ModifiedCount(), 0);

    // Taken every time: said once, in Chinese, and nothing of this desktop's is written.
    int round = 0;
    Dialogs().whileShown = [&](const rt::ui::MessageRequest& r) {
        if (r.buttons != Buttons::Cancel) return;
        ++waited;
        EXPECT_EQ(other.Commit(), 0) << other.SQLErrText;
        if (++round < laurel::records::kNewAttempts) takes("20181234000" + std::to_string(4 + round));
    };
    Dialogs().Clear();
    waited = 0;
    takes("201812340004");
    Dialogs().Answer(1);
    Menu().new_recommendation->Click();
    Dialogs().whileShown = nullptr;
    EXPECT_EQ(waited, laurel::records::kNewAttempts);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|" + std::string(laurel::records::kKeyTaken)}));
    EXPECT_EQ(Stored("SELECT count(*) FROM j_xm_base"), "6");
    EXPECT_EQ(Stored("SELECT count(*) FROM j_ry_finish"), "2");
    EXPECT_EQ(laurel::current_id, "201812340003");
    EXPECT_EQ(W().dw_no->RowCount(), 2);
    EXPECT_EQ(W().dw_no->ModifiedCount(), 0);
}

TEST_F(RecordsTest, NewRefusesALargestKeyThatHasNoTwelveDigitSuccessor) {
    for (const std::string bad : {"200856789999", "20085678004", "imported-key-x"}) {
        SCOPED_TRACE(bad);
        if (WindowOpen()) {
            laurel::current_id = laurel::kNoRecommendation;
            rt::ui::Close(W());
        }
        for (const std::string& t : kTables) ExecCommit("DELETE FROM " + t);
        Seed({"200856780001", "2008 0101", "一号"});
        ExecCommit("INSERT INTO j_xm_base (xm_id, xm_xg) VALUES (?, '0')", {bad});
        OpenMainWindow();
        const std::string before = laurel::current_id;
        const long rows = W().dw_no->RowCount();

        Dialogs().Answer(1);
        Menu().new_recommendation->Click();

        EXPECT_EQ(Boxes().back(), "提示信息|系统意外，新增推荐书失败！");
        EXPECT_EQ(Stored("SELECT count(*) FROM j_xm_base"), "2");
        EXPECT_EQ(Stored("SELECT count(*) FROM j_xy_saving"), "6");
        EXPECT_EQ(laurel::current_id, before);
        EXPECT_EQ(W().dw_no->RowCount(), rows);
        EXPECT_EQ(W().dw_no->ModifiedCount(), 0);
        Dialogs().Clear();
    }
}

TEST_F(RecordsTest, NewThatFailsHalfWayLeavesNothingBehindAndTheNextNewWorks) {
    Seed(kA);
    // A contributor row left over for the key that New will choose: its insertion collides.
    ExecCommit("INSERT INTO j_ry_finish (xm_id, ry_no, ry_name) VALUES ('201812340002', 1, '遗留')");
    OpenMainWindow();
    CountSwitches();

    AnswerDatabaseError();
    Dialogs().Answer(1);
    Menu().new_recommendation->Click();

    // The database's reason comes first.
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[0], "j_ry_finish")) << Boxes()[0];
    EXPECT_EQ(Boxes()[1], "提示信息|系统意外，新增推荐书失败！");
    EXPECT_EQ(StoredBase("201812340002", "xm_xg"), std::nullopt);
    EXPECT_EQ(Pending("SELECT count(*) FROM j_xm_base"), "1");
    EXPECT_EQ(StoredCount("j_dw_finish", "201812340002"), 0);
    EXPECT_EQ(StoredCount("j_xy_saving", "201812340002"), 0);
    EXPECT_EQ(laurel::current_id, kA.id);
    EXPECT_EQ(switches_, 0);
    EXPECT_EQ(W().dw_no->RowCount(), 1);
    EXPECT_EQ(W().dw_no->ModifiedCount(), 0);
    EXPECT_EQ(W().dw_no->DeletedCount(), 0);

    // Nothing of the failed attempt is written later by the list.
    ExecCommit("DELETE FROM j_ry_finish WHERE xm_id = '201812340002'");
    Menu().new_recommendation->Click();
    EXPECT_EQ(laurel::current_id, "201812340002");
    EXPECT_EQ(Stored("SELECT count(*) FROM j_xm_base"), "2");
    EXPECT_EQ(W().dw_no->RowCount(), 2);
}

// ---------------------------------------------------------------------------------------------
// Delete.

class DeleteTest : public RecordsTest {
  protected:
    void SetUp() override {
        RecordsTest::SetUp();
        SeedFull(kA);
        SeedFull(kB);
        SeedFull(kC);
        OpenMainWindow();
    }

    void DeleteAt(long row) {
        if (W().dw_no->GetRow() != row) W().dw_no->SetRow(row);
        ASSERT_EQ(W().dw_no->GetRow(), row);
        CountSwitches();
        Dialogs().Answer(1);
        Menu().delete_recommendation->Click();
    }

    void ExpectConfirmationOnly() {
        ASSERT_EQ(Dialogs().messages.size(), 1u) << Dialogs().Transcript();
        const rt::ui::MessageRequest& q = Dialogs().messages.front().request;
        EXPECT_EQ(q.title, "提示信息：");
        EXPECT_EQ(q.text, "真的要删除吗？");
        EXPECT_EQ(q.icon, Icon::Question);
        EXPECT_EQ(q.buttons, Buttons::OKCancel);
        EXPECT_EQ(q.defaultButton, 2);
    }
};

TEST_F(DeleteTest, TheFirstRemovesEveryRowAndTheNextBecomesCurrentOnce) {
    DeleteAt(1);
    ExpectConfirmationOnly();
    EXPECT_EQ(RowsOf(kA.id), 0);
    EXPECT_EQ(RowsOf(kB.id), 14);
    EXPECT_EQ(W().dw_no->RowCount(), 2);
    EXPECT_EQ(W().dw_no->GetRow(), 1);
    EXPECT_EQ(laurel::current_id, kB.id);
    EXPECT_EQ(switches_, 1);
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), kB.name);
    EXPECT_EQ(W().dw_no->DeletedCount(), 0);
}

TEST_F(DeleteTest, AMiddleOneHandsItsRowToTheFollowingRecommendation) {
    DeleteAt(2);
    ExpectConfirmationOnly();
    EXPECT_EQ(RowsOf(kB.id), 0);
    EXPECT_EQ(RowsOf(kA.id) + RowsOf(kC.id), 28);
    EXPECT_EQ(W().dw_no->GetRow(), 2);
    EXPECT_EQ(ListKey(2), kC.id);
    EXPECT_EQ(laurel::current_id, kC.id);
    EXPECT_EQ(laurel::current_ry, 1);
    EXPECT_EQ(laurel::current_page, 2);
    EXPECT_EQ(switches_, 1);
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), kC.name);
}

TEST_F(DeleteTest, TheLastMakesThePreviousCurrentThroughTheListsOwnRowChangeOnce) {
    DeleteAt(3);
    ExpectConfirmationOnly();
    EXPECT_EQ(RowsOf(kC.id), 0);
    EXPECT_EQ(W().dw_no->RowCount(), 2);
    EXPECT_EQ(W().dw_no->GetRow(), 2);
    EXPECT_EQ(laurel::current_id, kB.id);
    EXPECT_EQ(switches_, 1);
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), kB.name);
}

TEST_F(DeleteTest, TheOnlyOneLeavesNoCurrentRecommendationAndHidesThePages) {
    DeleteAt(3);
    Dialogs().Clear();
    DeleteAt(2);
    Dialogs().Clear();
    DeleteAt(1);

    EXPECT_EQ(Stored("SELECT count(*) FROM j_xm_base"), "0");
    for (const std::string& t : kTables) EXPECT_EQ(Stored("SELECT count(*) FROM " + t), "0") << t;
    EXPECT_EQ(W().dw_no->RowCount(), 0);
    EXPECT_EQ(laurel::current_id, laurel::kNoRecommendation);
    for (rt::ui::DataWindowControl* p : W().Pages()) EXPECT_FALSE(p->Visible()) << p->Name();
    EXPECT_FALSE(W().st_2->Visible());
    EXPECT_FALSE(W().cb_p->Visible());
    EXPECT_FALSE(W().cb_n->Visible());

    // Nothing left: a further Delete asks nothing.
    Dialogs().Clear();
    Menu().delete_recommendation->Click();
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(DeleteTest, CancelLeavesEverythingAsItWas) {
    W().dw_no->SetRow(2);
    CountSwitches();
    Dialogs().Answer(2);
    Menu().delete_recommendation->Click();
    ExpectConfirmationOnly();
    EXPECT_EQ(RowsOf(kB.id), 14);
    EXPECT_EQ(W().dw_no->RowCount(), 3);
    EXPECT_EQ(laurel::current_id, kB.id);
    EXPECT_EQ(switches_, 0);
}

TEST_F(DeleteTest, UnsavedEditsOfTheDeletedOneAreNeitherOfferedNorWritten) {
    // Edits on section 一 and on the contributor page of section 七, which is on show.
    W().tv_1->SelectItem(11);
    ASSERT_EQ(laurel::current_page, 11);
    W().dw_no1->SetItem(1, "xm_name", "改过的名称");
    W().dw_no71->SetItem(1, "ry_name", "改过的完成人");

    DeleteAt(1);

    // Only the confirmation: no save question for the deleted one, no failed page save.
    ExpectConfirmationOnly();
    EXPECT_EQ(RowsOf(kA.id), 0);
    EXPECT_EQ(laurel::current_id, kB.id);
    EXPECT_EQ(StoredBase(kB.id, "xm_name"), kB.name);
    EXPECT_EQ(Stored("SELECT ry_name FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {kB.id}), "完成人一");
    EXPECT_EQ(W().modifieddw(), "000000000000000000");
}

TEST_F(DeleteTest, AFailingStatementRollsEverythingBackAndSaysSo) {
    RefuseWrites("keep_patents", "BEFORE DELETE ON j_zl_patent");
    W().dw_no->SetRow(2);
    CountSwitches();
    Dialogs().Answer(1);
    AnswerDatabaseError();
    Dialogs().Answer(1);
    Menu().delete_recommendation->Click();

    ASSERT_EQ(Boxes().size(), 3u) << Dialogs().Transcript();
    EXPECT_EQ(Boxes()[0], "提示信息：|真的要删除吗？");
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[1])) << Boxes()[1];
    EXPECT_EQ(Boxes()[2], "提示信息|系统意外，删除推荐书失败！");
    EXPECT_EQ(RowsOf(kB.id), 14);
    EXPECT_EQ(Pending("SELECT count(*) FROM j_ry_finish WHERE xm_id = ?", {kB.id}), "2");
    EXPECT_EQ(W().dw_no->RowCount(), 3);
    EXPECT_EQ(laurel::current_id, kB.id);
    EXPECT_EQ(switches_, 0);
}

TEST_F(DeleteTest, RefusesWhenTheListRowIsNotTheCurrentRecommendation) {
    laurel::current_id = kC.id;  // out of step with the list's current row (row 1, kA)
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    Menu().delete_recommendation->Click();
    EXPECT_EQ(Boxes().back(), "提示信息|系统意外，删除推荐书失败！");
    EXPECT_EQ(RowsOf(kA.id), 14);
    EXPECT_EQ(RowsOf(kC.id), 14);
    EXPECT_EQ(W().dw_no->RowCount(), 3);
}

// ---------------------------------------------------------------------------------------------
// Save and Modify.

TEST_F(RecordsTest, SaveOnAnEditableRecommendationStoresThePagesAndMakesThemReadOnly) {
    Seed(kA);
    OpenMainWindow();
    W().dw_no1->SetItem(1, "xm_name", "新名称");

    Dialogs().Answer(1);
    Menu().save->Click();

    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|保存成功！"}));
    EXPECT_EQ(Dialogs().messages.front().request.icon, Icon::Information);
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), "新名称");
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");
    EXPECT_EQ(W().dw_no->GetItemString(1, "xm_xg"), "1");
    EXPECT_EQ(W().modifieddw(), "000000000000000000");
    for (rt::ui::DataWindowControl* p : W().Pages()) EXPECT_FALSE(p->Enabled()) << p->Name();
    EXPECT_FALSE(W().cb_page_insert->Enabled());
    EXPECT_FALSE(W().cb_page_delete->Enabled());

    // Saved already: a second Save does nothing and says nothing.
    Dialogs().Clear();
    Menu().save->Click();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(W().dw_no1->Enabled());
}

TEST_F(RecordsTest, SaveOnTheContributorSectionReadsTheContributorListAgain) {
    Seed(kA);
    OpenMainWindow();
    W().tv_1->SelectItem(11);
    W().dw_no71->SetItem(1, "ry_name", "张三");

    Dialogs().Answer(1);
    Menu().save->Click();

    EXPECT_EQ(Stored("SELECT ry_name FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {kA.id}), "张三");
    EXPECT_EQ(W().dw_no72->GetItemString(1, "ry_name"), "张三");
    EXPECT_FALSE(W().dw_no72->Enabled());
}

TEST_F(RecordsTest, SaveWithAFailingPageRollsBackAndTheNextSaveWritesEveryPageAgain) {
    Seed(kA);
    OpenMainWindow();
    W().tv_1->SelectItem(11);
    ASSERT_EQ(laurel::current_page, 11);
    W().dw_no1->SetItem(1, "xm_name", "甲");  // written before the failing page
    W().dw_no71->SetItem(1, "ry_name", "乙");

    // Another program holds the recommendations: the state cannot be read, and Save says so with
    // the database's reason instead of ending without a word.
    {
        testing_support::LockHolder holder(Db());
        ASSERT_EQ(holder.HoldEverything("j_xm_base"), 0);
        AnswerDatabaseError();
        Dialogs().Answer(1);
        Menu().save->Click();
    }
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[0], testing_support::Locked())) << Boxes()[0];
    EXPECT_EQ(Boxes()[1], "提示信息|保存失败！");
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "0");
    EXPECT_NE(W().modifieddw(), "000000000000000000");
    Dialogs().Clear();

    RefuseWrites("hold_contributors", "BEFORE UPDATE ON j_ry_finish");

    AnswerDatabaseError();
    Dialogs().Answer(1);  // 保存失败！
    Menu().save->Click();

    EXPECT_EQ(Boxes().back(), "提示信息|保存失败！");
    EXPECT_EQ(Pending("SELECT xm_name FROM j_xm_base WHERE xm_id = ?", {kA.id}), kA.name);
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "0");
    EXPECT_TRUE(W().dw_no1->Enabled());
    EXPECT_TRUE(W().dw_no71->Enabled());
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), "甲");
    EXPECT_NE(W().modifieddw(), "000000000000000000");

    // A COMMIT that fails keeps every edit the same way.
    AllowWrites("hold_contributors", "j_ry_finish");
    Dialogs().Clear();
    {
        const auto lock = FailNextCommit();
        AnswerDatabaseError();
        Dialogs().Answer(1);
        Menu().save->Click();
    }
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[0], "")) << Boxes()[0];
    EXPECT_EQ(Boxes()[1], "提示信息|保存失败！");
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "0");
    EXPECT_TRUE(W().dw_no1->Enabled());
    EXPECT_NE(W().modifieddw(), "000000000000000000");

    // The fault is put right; the next Save writes both pages, the first one again.
    Dialogs().Clear();
    Dialogs().Answer(1);
    Menu().save->Click();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|保存成功！"}));
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), "甲");
    EXPECT_EQ(Stored("SELECT ry_name FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {kA.id}), "乙");
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");
}

// A save writes several statements; whichever of them fails, and ends the transaction there as a
// full disk makes SQLite do by itself, the save stores nothing of the others, says why once, and
// keeps every edit pending. Once the fault is gone, the next save stores exactly what is pending,
// with no false word of another user.
TEST_F(RecordsTest, ASaveThatFailsAtAnyOfItsStatementsStoresNothingAndTheNextStoresAll) {
    Seed(kA);
    OpenMainWindow();
    // The contributor's and the unit's pages are read once their sections have been shown.
    W().tv_1->SelectItem(laurel::sections::kContributorsSection);
    W().tv_1->SelectItem(laurel::sections::kUnitsSection);
    struct Fault {
        const char* when;
        const char* condition;
    };
    const Fault faults[] = {
        {"BEFORE UPDATE OF xm_xg ON j_xm_base", ""},  // taking the recommendation for writing
        {"BEFORE UPDATE OF xm_name ON j_xm_base", ""},
        {"BEFORE UPDATE OF ry_name ON j_ry_finish", ""},
        {"BEFORE UPDATE OF dw_name ON j_dw_finish", ""},
        {"BEFORE UPDATE OF xm_xg ON j_xm_base", "NEW.xm_xg = '1'"},  // marking it saved
        {nullptr, nullptr},                                          // the COMMIT
    };
    int round = 0;
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.when ? std::string(fault.when) + " " + fault.condition : std::string("COMMIT"));
        const std::string n = std::to_string(++round);
        const auto stored = [&] {
            return std::vector<std::optional<std::string>>{
                StoredBase(kA.id, "xm_name"),
                Stored("SELECT ry_name FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {kA.id}),
                Stored("SELECT dw_name FROM j_dw_finish WHERE xm_id = ? AND dw_no = 1", {kA.id}),
                StoredBase(kA.id, "xm_xg")};
        };
        const auto before = stored();
        ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", "名称" + n), 1);
        ASSERT_EQ(W().dw_no71->SetItem(1, "ry_name", "完成人" + n), 1);
        ASSERT_EQ(W().dw_no81->SetItem(1, "dw_name", "完成单位" + n), 1);

        Dialogs().Clear();
        {
            std::unique_ptr<ReadLock> lock;
            if (fault.when != nullptr) {
                RefuseWrites("fault", fault.when, Refusal::EndsTransaction, fault.condition);
            } else {
                lock = FailNextCommit();
            }
            AnswerDatabaseError();
            Dialogs().Answer(1);
            Menu().save->Click();
        }
        ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
        EXPECT_TRUE(SaysDatabaseReason(Boxes()[0], fault.when ? "refused" : "")) << Boxes()[0];
        EXPECT_EQ(Boxes()[1], "提示信息|保存失败！");
        EXPECT_EQ(stored(), before);
        EXPECT_EQ(W().modifieddw(), "100000000010100000");
        if (fault.when != nullptr) {
            const std::string when = fault.when;
            AllowWrites("fault", when.substr(when.rfind(' ') + 1));
        }

        Dialogs().Clear();
        Dialogs().Answer(1);
        Menu().save->Click();
        EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|保存成功！"}));
        EXPECT_EQ(stored(),
                  (std::vector<std::optional<std::string>>{"名称" + n, "完成人" + n, "完成单位" + n, "1"}));
        // Opened again for the next round, as Modify does.
        ExecCommit("UPDATE j_xm_base SET xm_xg = '0' WHERE xm_id = ?", {kA.id});
        Menu().modify->Click();
        ASSERT_TRUE(W().dw_no1->Enabled());
    }
}

// The disk of the SQLite file fills up as the user saves: the save says so once, in words of its
// own, stores nothing and keeps every edit pending. Once there is room again, the next save stores
// exactly what is pending, with no false word of another user.
TEST_F(RecordsTest, AFullDiskIsSaidOnceAndTheSaveAfterItStoresExactlyWhatIsPending) {
    if (testing_support::ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "the disk of a SQLite file";
    Seed(kA);
    // The database moves onto a small disk of its own; its data source's file leads there.
    testing_support::TinyDisk disk(Db().Folder() / "disk", 4 << 20);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
    ASSERT_NO_FATAL_FAILURE(MoveDatabaseInto(Db().Folder() / "disk"));
    OpenMainWindow();

    const std::string abstract(1000, 'a'), name = "磁盘满时输入的名称";
    W().tv_1->SelectItem(3);
    W().tv_1->SelectItem(laurel::sections::kContributorsSection);
    ASSERT_EQ(W().dw_no2->SetItem(1, "xm_abstract", abstract), 1);
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_name", name), 1);
    ASSERT_EQ(W().dw_no71->SetItem(1, "ry_name", "磁盘满时输入的完成人"), 1);
    ASSERT_TRUE(disk.Fill());

    Dialogs().Answer(1);
    Menu().save->Click();
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{"提示信息|数据库所在的磁盘已满，无法写入。\n刚才的操作没有完成，"
                                        "已输入的内容仍然保留，请腾出磁盘空间后再操作一次。"}));
    EXPECT_EQ(W().modifieddw(), "110000000010000000");
    disk.Free();
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), kA.name);
    EXPECT_EQ(StoredBase(kA.id, "xm_abstract"), std::nullopt);

    Dialogs().Clear();
    Dialogs().Answer(1);
    Menu().save->Click();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|保存成功！"}));
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), name);
    EXPECT_EQ(StoredBase(kA.id, "xm_abstract"), abstract);
    EXPECT_EQ(Stored("SELECT ry_name FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {kA.id}),
              "磁盘满时输入的完成人");
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");
    ASSERT_EQ(laurel::sqlca.Disconnect(), 0);
}

// The server goes again and again in one session: every outage, whether the connection comes back
// at once or only later, is the one thing said, and what was typed before it stays on show and
// pending, for the next Save once the server is back to store.
TEST_F(RecordsTest, EveryOutageOfTheServerKeepsWhatWasTypedForTheNextSave) {
    if (!testing_support::ScratchDatabase::OnPostgreSQL())
        GTEST_SKIP() << "a server that goes and comes back";
    const std::string restored =
        "提示信息|"
        "与数据库的连接曾经中断，现已恢复。\n刚才的操作没有完成，已输入的内容仍然保留，请再操作一次。";
    const std::string down =
        "提示信息|与数据库的连接已经中断，暂时无法恢复。\n刚才的操作没有完成，已输入的内容仍然保留，"
        "请稍后再操作一次。";
    Seed(kA);
    OpenMainWindow();
    std::string typed;
    for (int outage = 1; outage <= 4; ++outage) {
        SCOPED_TRACE(outage);
        const bool serverDown = outage % 2 == 0;
        typed = "第" + std::to_string(outage) + "次中断前输入的名称";
        W().dw_no1->SetColumn("xm_name");
        ASSERT_EQ(W().dw_no1->SetText(typed), 1);
        if (serverDown) testing_support::TakeConnections(Db(), false);
        ASSERT_TRUE(testing_support::CutOff(Db(), laurel::sqlca));

        Dialogs().Clear();
        Dialogs().Answer(1);
        Menu().save->Click();
        EXPECT_EQ(Boxes(), std::vector<std::string>{serverDown ? down : restored});
        EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), typed);
        EXPECT_EQ(W().modifieddw(), "100000000000000000");
        if (serverDown) testing_support::TakeConnections(Db(), true);
        EXPECT_EQ(StoredBase(kA.id, "xm_name"), kA.name);
    }
    Dialogs().Clear();
    Dialogs().Answer(1);
    Menu().save->Click();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|保存成功！"}));
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), typed);
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");
}

// Another desktop saves (or deletes) the recommendation while this one types in it: Save, the
// switch's Yes and the close prompt's Yes store nothing and say why; the text stays on show, and
// only an answer of the user's drops it.
TEST_F(RecordsTest, SavesIntoARecommendationSavedOnAnotherDesktopAreRefusedAndLoseNothingUnasked) {
    const std::string said = "提示信息|" + std::string(laurel::sections::kSavedElsewhere);
    const std::string typed = "另一台电脑保存之后输入的名称";
    Seed(kA);
    Seed(kB);
    OpenMainWindow();
    W().dw_no1->SetItem(1, "xm_name", typed);
    Other().Save(kA.id);

    // Whether it was saved there cannot be settled while another program keeps the row from being
    // written: the save fails with the database's reason, and nothing changes.
    {
        testing_support::LockHolder other(Db());
        ASSERT_EQ(other.HoldWrites("j_xm_base"), 0);
        AnswerDatabaseError();
        Dialogs().Answer(1);
        Menu().save->Click();
        ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
        EXPECT_TRUE(Boxes()[0].starts_with("数据库错误|数据库操作失败")) << Boxes()[0];
        EXPECT_EQ(Boxes()[1], "提示信息|保存失败！");
        EXPECT_TRUE(W().dw_no1->Enabled());
        EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), typed);
    }

    Dialogs().Clear();
    Dialogs().Answer(1);
    Menu().save->Click();
    EXPECT_EQ(Boxes(), std::vector<std::string>{said});
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), kA.name);
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), typed);
    for (rt::ui::DataWindowControl* p : W().Pages()) EXPECT_FALSE(p->Enabled()) << p->Name();
    EXPECT_FALSE(W().cb_page_insert->Enabled());
    EXPECT_EQ(W().dw_no->GetItemString(1, "xm_xg"), "1");

    // Known to be saved now: Save says nothing more.
    Dialogs().Clear();
    Menu().save->Click();
    EXPECT_TRUE(Boxes().empty());

    // The switch asks about the text; Yes is refused and keeps it, No drops it.
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    W().dw_no->SetRow(2);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|申请书已有修改，是否保存？", said}));
    EXPECT_EQ(laurel::current_id, kA.id);
    EXPECT_EQ(W().dw_no->GetRow(), 1);
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), typed);
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), kA.name);

    // Closing asks about it although the list knows the recommendation as saved; Yes is refused
    // and keeps the window open, No closes it.
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"退出系统|你需要保存最近的工作吗？", said}));
    EXPECT_TRUE(W().IsOpen());
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), kA.name);

    // Deleted on the other desktop: said as such; once the box is answered it leaves the list, as
    // after a Delete here, and the next recommendation is shown, on section 一. So too when it is
    // found by leaving a section (not stored again and again) or by a switch (which goes on to the
    // recommendation picked).
    const auto deletedElsewhere = [&] {
        for (const char* table : {"j_ry_finish", "j_dw_finish", "j_xy_saving", "j_xm_base"})
            Other().Store(std::string("DELETE FROM ") + table + " WHERE xm_id = ?", {kA.id});
    };
    for (const std::string how : {"close", "section", "switch"}) {
        SCOPED_TRACE(how);
        if (how != "close") {
            Seed(kA);
            W().dw_no->Retrieve();
            W().dw_no->TriggerEvent("rowfocuschanged");
            ASSERT_EQ(laurel::current_id, kA.id);
            W().tv_1->SelectItem(3);
            ASSERT_EQ(W().dw_no2->SetItem(1, "xm_abstract", "删除后输入的简介"), 1);
        }
        deletedElsewhere();
        Dialogs().Clear();
        Dialogs().Answer(1);
        if (how != "section") Dialogs().Answer(1);
        if (how == "close")
            EXPECT_EQ(rt::ui::Close(W()), 0);
        else if (how == "section")
            W().tv_1->SelectItem(4);
        else
            W().dw_no->SetRow(2);
        const std::string first =
            how == "close" ? "退出系统|你需要保存最近的工作吗？" : "提示信息|申请书已有修改，是否保存？";
        const std::string said = "提示信息|" + std::string(laurel::sections::kRecommendationGone);
        const std::vector<std::string> boxes =
            how == "section" ? std::vector<std::string>{said} : std::vector<std::string>{first, said};
        EXPECT_EQ(Boxes(), boxes);
        ASSERT_EQ(W().dw_no->RowCount(), 1);
        EXPECT_EQ(W().dw_no->GetItemString(1, "xm_id"), kB.id);
        EXPECT_EQ(laurel::current_id, kB.id);
        EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), kB.name);
        EXPECT_EQ(W().tv_1->SelectedItem(), laurel::sections::kFirstSection);
        EXPECT_EQ(laurel::current_page, laurel::sections::kFirstSection);
        EXPECT_EQ(W().modifieddw(), "000000000000000000");
    }

    Dialogs().Clear();
    Dialogs().Answer(2);
    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_FALSE(W().IsOpen());
}

// Another desktop stored a page this one changed since it read it: Save, the switch's Yes and the
// close prompt's Yes store nothing until the user has chosen whose changes stand; then they store
// the pages and go on.
TEST_F(RecordsTest, SaveSwitchAndClosePromptAskWhoseChangesStandOnAPageStoredElsewhere) {
    using laurel::sections::ChangedElsewhere;
    Seed(kA);
    Seed(kB);
    OpenMainWindow();

    // Save, 是: this desktop's summary over the other's, and the recommendation saved.
    ASSERT_EQ(W().dw_no2->Retrieve({kA.id}), 1);
    W().dw_no2->SetItem(1, "xm_abstract", "这边的简介");
    W().dw_no3->Retrieve({kA.id});
    W().dw_no3->SetItem(1, "xm_innovation", "这边的创新点");
    laurel::EndReading();  // as the command that read the pages ends
    Other().EditPage("dw_2", {kA.id}, "xm_abstract", "那边的简介");
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    Menu().save->Click();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|" + ChangedElsewhere("二、项目简介"),
                                                 "提示信息|保存成功！"}));
    EXPECT_EQ(StoredBase(kA.id, "xm_abstract"), "这边的简介");
    EXPECT_EQ(StoredBase(kA.id, "xm_innovation"), "这边的创新点");
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");

    // The switch's Yes, 否: the other's text shown and kept, and the switch goes on.
    Menu().modify->Click();
    W().dw_no4->Retrieve({kA.id});
    W().dw_no4->SetItem(1, "xm_recom", "这边的意见");
    laurel::EndReading();
    Other().EditPage("dw_4", {kA.id}, "xm_recom", "那边的意见");
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().Answer(2);
    W().dw_no->SetRow(2);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|申请书已有修改，是否保存？",
                                                 "提示信息|" + ChangedElsewhere("四、推荐单位意见")}));
    EXPECT_EQ(StoredBase(kA.id, "xm_recom"), "那边的意见");
    EXPECT_EQ(laurel::current_id, kB.id);
    EXPECT_EQ(W().modifieddw(), "000000000000000000");

    // The close prompt's Yes, 是.
    W().dw_no1->SetItem(1, "xm_name", "这边的名称");
    Other().EditPage("dw_1", {kB.id}, "xm_name", "那边的名称");
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    EXPECT_EQ(rt::ui::Close(W()), 1);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"退出系统|你需要保存最近的工作吗？",
                                                 "提示信息|" + ChangedElsewhere("一、项目基本情况"),
                                                 "提示信息|保存成功！"}));
    EXPECT_EQ(StoredBase(kB.id, "xm_name"), "这边的名称");
    EXPECT_EQ(StoredBase(kB.id, "xm_xg"), "1");
}

// Saved here, then opened again on another desktop: Modify here finds nothing to write and opens
// the pages as they are stored, without a word.
TEST_F(RecordsTest, ModifyOfARecommendationOpenedAgainOnAnotherDesktopOpensThePages) {
    Seed({kA.id, kA.askno, kA.name, "1"});
    OpenMainWindow();
    ASSERT_FALSE(W().dw_no1->Enabled());
    Other().Store("UPDATE j_xm_base SET xm_xg = '0' WHERE xm_id = ?", {kA.id});
    Menu().modify->Click();
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_TRUE(W().dw_no1->Enabled());
    EXPECT_TRUE(W().cb_page_insert->Enabled());
    EXPECT_EQ(W().dw_no->GetItemString(1, "xm_xg"), "0");
}

TEST_F(RecordsTest, ModifyWithAVersionNumberAsksAndOnlyYesDiscardsIt) {
    Seed({kA.id, kA.askno, kA.name, "1"});
    ExecCommit("UPDATE j_xm_base SET xm_guid = '2018123400017531' WHERE xm_id = ?", {kA.id});
    OpenMainWindow();
    ASSERT_FALSE(W().dw_no1->Enabled());

    Dialogs().Answer(2);
    Menu().modify->Click();
    ASSERT_EQ(Dialogs().messages.size(), 1u);
    const rt::ui::MessageRequest& q = Dialogs().messages.front().request;
    EXPECT_EQ(q.title, "提示信息");
    EXPECT_EQ(q.text, "你要重新编辑版本号为2018123400017531的推荐书吗?");
    EXPECT_EQ(q.icon, Icon::Question);
    EXPECT_EQ(q.buttons, Buttons::YesNo);
    EXPECT_EQ(q.defaultButton, 1);
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");
    EXPECT_EQ(StoredBase(kA.id, "xm_guid"), "2018123400017531");
    EXPECT_FALSE(W().dw_no1->Enabled());

    Dialogs().Answer(1);
    Menu().modify->Click();
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "0");
    EXPECT_EQ(StoredBase(kA.id, "xm_guid"), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(W().dw_no->GetItemString(1, "xm_xg"), "0");
    for (rt::ui::DataWindowControl* p : W().Pages()) EXPECT_TRUE(p->Enabled()) << p->Name();
    EXPECT_TRUE(W().cb_page_insert->Enabled());

    // Editable now: Modify has nothing to do.
    Dialogs().Clear();
    Menu().modify->Click();
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecordsTest, ModifyWithoutAVersionNumberReopensAtOnce) {
    Seed({kA.id, kA.askno, kA.name, "1"});
    OpenMainWindow();
    Menu().modify->Click();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "0");
    EXPECT_EQ(StoredBase(kA.id, "xm_guid"), "FFFFFFFFFFFFFFFF");
    EXPECT_TRUE(W().dw_no1->Enabled());
    EXPECT_EQ(W().dw_no->GetItemString(1, "xm_xg"), "0");
}

TEST_F(RecordsTest, ModifyThatCannotWriteTheStateKeepsThePagesReadOnly) {
    Seed({kA.id, kA.askno, kA.name, "1"});
    OpenMainWindow();

    // A state that cannot be read (another program holds the recommendations) is a failure too.
    {
        testing_support::LockHolder holder(Db());
        ASSERT_EQ(holder.HoldEverything("j_xm_base"), 0);
        AnswerDatabaseError();
        Dialogs().Answer(1);
        Menu().modify->Click();
    }
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[0], testing_support::Locked())) << Boxes()[0];
    EXPECT_EQ(Boxes()[1], "提示信息|系统意外，修改推荐书失败！");
    EXPECT_FALSE(W().dw_no1->Enabled());
    Dialogs().Clear();

    RefuseWrites("hold_state", "BEFORE UPDATE ON j_xm_base");
    AnswerDatabaseError();
    Dialogs().Answer(1);
    Menu().modify->Click();
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[0])) << Boxes()[0];
    EXPECT_EQ(Boxes()[1], "提示信息|系统意外，修改推荐书失败！");
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");
    EXPECT_FALSE(W().dw_no1->Enabled());
    EXPECT_EQ(W().dw_no->GetItemString(1, "xm_xg"), "1");
}

// ---------------------------------------------------------------------------------------------
// Exit, Previous and Next.

TEST_F(RecordsTest, ExitAsksOnlyForAnEditableRecommendationAndCancelKeepsTheWindow) {
    Seed(kA);
    OpenMainWindow();
    W().dw_no1->SetItem(1, "xm_name", "未保存");

    Dialogs().Answer(3);
    Menu().exit_system->Click();
    ASSERT_EQ(Dialogs().messages.size(), 1u);
    EXPECT_EQ(Dialogs().messages.front().request.title, "退出系统");
    EXPECT_EQ(Dialogs().messages.front().request.text, "你需要保存最近的工作吗？");
    EXPECT_EQ(Dialogs().messages.front().request.buttons, Buttons::YesNoCancel);
    EXPECT_TRUE(WindowOpen());
    EXPECT_EQ(laurel::current_id, kA.id);
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), kA.name);

    Dialogs().Answer(1);
    Dialogs().Answer(1);  // 保存成功！
    Menu().exit_system->Click();
    EXPECT_FALSE(WindowOpen());
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), "未保存");
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");
}

TEST_F(RecordsTest, ExitNoClosesWithoutSaving) {
    Seed(kA);
    OpenMainWindow();
    W().dw_no1->SetItem(1, "xm_name", "未保存");
    Dialogs().Answer(2);
    Menu().exit_system->Click();
    EXPECT_FALSE(WindowOpen());
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), kA.name);
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "0");
}

TEST_F(RecordsTest, ExitClosesAtOnceWhenSavedOrWhenNothingIsCurrent) {
    Seed({kA.id, kA.askno, kA.name, "1"});
    OpenMainWindow();
    Menu().exit_system->Click();
    EXPECT_FALSE(WindowOpen());
    EXPECT_TRUE(Boxes().empty());

    ExecCommit("DELETE FROM j_xm_base");
    laurel::current_id.clear();
    OpenMainWindow();
    ASSERT_EQ(laurel::current_id, laurel::kNoRecommendation);
    Menu().exit_system->Click();
    EXPECT_FALSE(WindowOpen());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecordsTest, ExitChosenInTheRealMenuClosesTheWindowThatHoldsTheMenu) {
    OpenMainWindow();
    QWidget* frame = W().TopWidget();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    QMenu* menu = Menu().system_menu->Action()->menu();
    ASSERT_NE(menu, nullptr);
    menu->popup(frame->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    const QPoint at = menu->actionGeometry(Menu().exit_system->Action()).center();
    QTest::mouseClick(menu, Qt::LeftButton, {}, at);
    EXPECT_FALSE(WindowOpen());
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecordsTest, PreviousAndNextStopAtTheEndsWithoutAnyEffect) {
    Seed(kA);
    Seed(kB);
    Seed(kC);
    OpenMainWindow();
    CountSwitches();

    Menu().previous->Click();
    EXPECT_EQ(W().dw_no->GetRow(), 1);
    EXPECT_EQ(laurel::current_id, kA.id);
    EXPECT_EQ(switches_, 0);

    Menu().next->Click();
    Menu().next->Click();
    EXPECT_EQ(laurel::current_id, kC.id);
    EXPECT_EQ(switches_, 2);
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), kC.name);

    Menu().next->Click();
    EXPECT_EQ(W().dw_no->GetRow(), 3);
    EXPECT_EQ(switches_, 2);

    Menu().previous->Click();
    EXPECT_EQ(laurel::current_id, kB.id);
    EXPECT_EQ(switches_, 3);

    // A press of a toolbar button runs its command once.
    auto* bar = W().Frame()->findChild<QToolBar*>();
    ASSERT_NE(bar, nullptr);
    QTest::mouseClick(bar->widgetForAction(Menu().previous->Action()), Qt::LeftButton);
    EXPECT_EQ(laurel::current_id, kA.id);
    EXPECT_EQ(switches_, 4);
    QTest::mouseClick(bar->widgetForAction(Menu().next->Action()), Qt::LeftButton);
    EXPECT_EQ(laurel::current_id, kB.id);
    EXPECT_EQ(switches_, 5);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecordsTest, NextWithUnsavedEditsAsksAndMovesWhateverTheAnswer) {
    Seed(kA);
    Seed(kB);
    Seed(kC);
    OpenMainWindow();

    W().dw_no1->SetItem(1, "xm_name", "不要了");
    Dialogs().Answer(2);
    Menu().next->Click();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|申请书已有修改，是否保存？"}));
    EXPECT_EQ(laurel::current_id, kB.id);
    EXPECT_EQ(StoredBase(kA.id, "xm_name"), kA.name);

    Dialogs().Clear();
    W().dw_no1->SetItem(1, "xm_name", "要保存");
    Dialogs().Answer(1);
    Menu().next->Click();
    EXPECT_EQ(laurel::current_id, kC.id);
    EXPECT_EQ(StoredBase(kB.id, "xm_name"), "要保存");
}

// Saving reads the list again, and another desktop may have added a recommendation before the one
// picked: the one picked is still the one switched to.
TEST_F(RecordsTest, PickingAnotherAfterYesSwitchesToTheOnePickedWhereverTheListMovedIt) {
    Seed(kA);
    Seed(kB);
    OpenMainWindow();
    W().dw_no->SetRow(2);
    ASSERT_EQ(laurel::current_id, kB.id);

    W().dw_no1->SetItem(1, "xm_name", "要保存");
    Other().Store("INSERT INTO j_xm_base (xm_id, xm_xg) VALUES ('201712340001', '0')");
    Dialogs().Answer(1);
    W().dw_no->SetRow(1);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|申请书已有修改，是否保存？"}));
    EXPECT_EQ(StoredBase(kB.id, "xm_name"), "要保存");
    EXPECT_EQ(laurel::current_id, kA.id);
    EXPECT_EQ(ListKey(W().dw_no->GetRow()), kA.id);
    EXPECT_EQ(W().dw_no1->GetItemString(1, "xm_name"), kA.name);
}

// ---------------------------------------------------------------------------------------------
// Help and about.

class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::filesystem::path& to) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(to);
    }
    ~WorkingDirectory() { std::filesystem::current_path(previous_); }

  private:
    std::filesystem::path previous_;
};

TEST_F(RecordsTest, HelpOpensTheProgramFoldersFileFromAnyWorkingDirectory) {
    OpenMainWindow();
    const std::string expected = rt::ui::Application::ProgramFolder() + "/txsm.html";
    {
        WorkingDirectory elsewhere(Db().Folder());
        Menu().fill_in_guide->Click();
    }
    ASSERT_EQ(Dialogs().helps.size(), 1u);
    EXPECT_EQ(Dialogs().helps.front(), expected);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecordsTest, HelpWithTheFileMissingShowsNoMessageOfItsOwn) {
    OpenMainWindow();
    const std::string path = rt::ui::Application::ProgramFolder() + "/txsm.html";
    ASSERT_FALSE(std::filesystem::exists(path)) << "the test expects no help file beside the test program";
    Menu().fill_in_guide->Click();
    Menu().fill_in_guide->Click();
    EXPECT_EQ(Dialogs().helps, (std::vector<std::string>{path, path}));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(WindowOpen());
}

TEST(HelpFile, LiesBesideTheProgramAsUtf8HtmlCoveringTheTenSections) {
    QFile file(QString::fromStdString(LAUREL_HELP_FILE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << LAUREL_HELP_FILE;
    const QByteArray bytes = file.readAll();
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    ASSERT_FALSE(utf8.hasError());
    EXPECT_TRUE(text.contains("<meta charset=\"utf-8\">"));
    std::vector<std::string> titles = {"完整性检查"};
    for (const laurel::sections::Section& s : laurel::sections::Sections())
        if (s.parent == laurel::sections::kRootHandle) titles.emplace_back(s.label);
    EXPECT_EQ(titles.size(), 11u);
    for (const std::string& title : titles)
        EXPECT_TRUE(text.contains(QString::fromStdString(title))) << title;
}

// Runs `check` once the about window stands, from inside its modal loop, then closes it through
// `close`.
void WhileAboutIsOpen(const std::function<void(QDialog*)>& check,
                      const std::function<void(QDialog*)>& close) {
    QTimer::singleShot(0, [check, close] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no modal window stands";
            return;
        }
        check(dialog);
        close(dialog);
    });
}

TEST_F(RecordsTest, AboutIsModalBlocksTheMainWindowAndOpensAfreshEachTime) {
    Seed({kA.id, kA.askno, kA.name, "1"});
    OpenMainWindow();
    QWidget* frame = W().TopWidget();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));

    bool seen = false;
    WhileAboutIsOpen(
        [&](QDialog* dialog) {
            seen = true;
            EXPECT_EQ(Text(dialog->windowTitle()), "about");
            EXPECT_TRUE(dialog->isModal());
            // While it stands, neither the shortcut nor the toolbar button reaches Modify.
            QTest::keyClick(frame, Qt::Key_M, Qt::ControlModifier);
            QWindow* main = frame->windowHandle();
            QTest::keyClick(main, Qt::Key_M, Qt::ControlModifier);
            EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");
        },
        [](QDialog* dialog) { dialog->close(); });  // the title bar's close box
    Menu().about_item->Click();
    EXPECT_TRUE(seen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(StoredBase(kA.id, "xm_xg"), "1");

    // Opened again, it is the same window, closed this time by its button.
    seen = false;
    WhileAboutIsOpen(
        [&](QDialog* dialog) {
            seen = true;
            EXPECT_EQ(Text(dialog->windowTitle()), "about");
        },
        [](QDialog* dialog) {
            for (QPushButton* b : dialog->findChildren<QPushButton*>())
                if (b->text() == "关闭") b->click();
        });
    Menu().about_item->Click();
    EXPECT_TRUE(seen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(WindowOpen());
}

TEST_F(RecordsTest, AboutShowsItsTextsInTheirPlaces) {
    laurel::records::about w;
    w.create();
    std::vector<std::string> names;
    for (const rt::ui::Control* c : w.ControlList()) names.push_back(c->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"p_1", "cb_1", "st_5", "st_4", "gb_1", "st_ds"}));
    EXPECT_EQ(w.Title(), "about");
    EXPECT_EQ(w.Type(), rt::ui::WindowType::Response);
    EXPECT_EQ(w.st_4->Text(), "2008版推荐系统");
    EXPECT_EQ(w.cb_1->Text(), "关闭");
    EXPECT_EQ(w.p_1->PictureName(), rt::ui::Application::ProgramFolder() + "/tallowmereabout.gif");
    for (const rt::ui::Control* c : w.ControlList())
        EXPECT_TRUE(testing_support::Inside(testing_support::BoxOf(*c), {0, 0, kAboutWidth, kAboutHeight}))
            << c->Name() << " leaves the window";
    // The banner is drawn at the size it is shown.
    EXPECT_EQ(QImage(QString::fromStdString(LAUREL_ABOUT_BANNER)).size(),
              QSize(rt::ui::UnitsToPixelsX(w.p_1->Width()), rt::ui::UnitsToPixelsY(w.p_1->Height())));
}

TEST_F(RecordsTest, AboutStandsCentredAtAFixedSizeWithOnlyTheCloseBox) {
    OpenMainWindow();
    bool seen = false;
    WhileAboutIsOpen(
        [&](QDialog* dialog) {
            seen = true;
            const QSize size(rt::ui::UnitsToPixelsX(kAboutWidth), rt::ui::UnitsToPixelsY(kAboutHeight));
            EXPECT_EQ(dialog->size(), size);
            // The user cannot resize it: its least and greatest sizes are its size.
            EXPECT_EQ(dialog->minimumSize(), size);
            EXPECT_EQ(dialog->maximumSize(), size);
            const Qt::WindowFlags flags = dialog->windowFlags();
            EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
            EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
            EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
            EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
            if (QScreen* screen = QGuiApplication::primaryScreen()) {
                const QPoint centre = dialog->frameGeometry().center();
                const QPoint want = screen->availableGeometry().center();
                EXPECT_LE((centre - want).manhattanLength(), 4) << centre.x() << "," << centre.y();
            }
        },
        [](QDialog* dialog) { dialog->close(); });
    Menu().about_item->Click();
    EXPECT_TRUE(seen);
}

// The status line's own field and the about window name the database the program works on, in
// either lane: here the test's own, as its data source describes it.
TEST_F(RecordsTest, StatusLineAndAboutNameTheDatabaseInUse) {
    using testing_support::ScratchDatabase;
    OpenMainWindow();
    W().SetMicroHelp("字段提示");
    laurel::records::about w;
    w.create();
    const std::string about = w.st_ds->Text();
    if (ScratchDatabase::OnPostgreSQL()) {
        const std::string port =
            ScratchDatabase::ServerPort() == "5432" ? "" : ":" + ScratchDatabase::ServerPort();
        EXPECT_EQ(W().StatusField(),
                  "服务器 " + ScratchDatabase::ServerHost() + port + "/" + Db().ServerDatabase());
        EXPECT_EQ(about, "数据源：laurel（当前用户自己的）\n驱动程序：PostgreSQL Unicode\n服务器：" +
                             ScratchDatabase::ServerHost() + "\n端口：" + ScratchDatabase::ServerPort() +
                             "\n数据库：" + Db().ServerDatabase() + "\n用户：" +
                             ScratchDatabase::ServerUser());
    } else {
        EXPECT_EQ(W().StatusField(), "本机数据库 laurel.db");
        EXPECT_EQ(about, "数据源：laurel（当前用户自己的）\n驱动程序：" + ScratchDatabase::SqliteDriver() +
                             "\n数据库文件：" + Db().DatabaseFile().string());
    }
    // The micro-help keeps the rest of the line, and the title stays.
    EXPECT_EQ(W().StatusLine(), "字段提示");
    EXPECT_EQ(W().Title(), "Varenth省科学技术奖推荐系统");
}

// A server's data source in full, told without its password; a system's data source says so; a
// program that could not connect says so in its status.
TEST(DataSourceTexts, ShowTheServerInFullButNeverThePassword) {
    testing_support::ScratchDatabase folder;
    folder.WriteDataSource(rt::DataSourceScope::User, "laurel",
                           {{"Driver", "PostgreSQL Unicode"},
                            {"Servername", "db.example.org"},
                            {"Port", "5433"},
                            {"Database", "laurel"},
                            {"Username", "staff"},
                            {"Password", "s3cret-Word"},
                            {"SSLmode", "verify-full"},
                            {"pqopt", "sslrootcert='/etc/laurel/db ca.crt' keepalives_idle=30"}});
    folder.WriteDataSource(rt::DataSourceScope::System, "laurel_system",
                           {{"Driver", "SQLite3"}, {"Database", "/srv/laurel.db"}});
    const rt::DataSourceDescription server = rt::DescribeDataSource("laurel");
    EXPECT_EQ(
        laurel::records::DataSourceLines(server),
        "数据源：laurel（当前用户自己的）\n驱动程序：PostgreSQL Unicode\n服务器：db.example.org\n端口：5433\n"
        "数据库：laurel\n用户：staff\n连接：加密，服务器证书由 /etc/laurel/db ca.crt 验证");
    EXPECT_EQ(laurel::records::DataSourceStatus(server, true), "服务器 db.example.org:5433/laurel");
    EXPECT_EQ(laurel::records::DataSourceStatus(server, false),
              "服务器 db.example.org:5433/laurel（未连接）");
    const rt::DataSourceDescription system = rt::DescribeDataSource("laurel_system");
    EXPECT_EQ(laurel::records::DataSourceLines(system),
              "数据源：laurel_system（本机所有用户共用）\n驱动程序：SQLite3\n数据库文件：/srv/laurel.db");
    EXPECT_EQ(laurel::records::DataSourceStatus(rt::DescribeDataSource("nothing"), false),
              "没有数据源 nothing");
}

// ---------------------------------------------------------------------------------------------
// The data-source dialog: a desktop on its own database moves to a database on the test cluster,
// reached as a unit's desktops reach their server (by address and port, with a password, and
// with TLS checked against an authority), under a login and in databases of the test's own.

class DataSourceDialog : public RecordsTest {
  protected:
    void SetUp() override {
        using testing_support::ScratchDatabase;
        if (ScratchDatabase::OnPostgreSQL())
            GTEST_SKIP() << "the dialog moves a desktop from its own database";
        tls_ = fs::path(ScratchDatabase::ServerHost()) / "tls";
        if (ScratchDatabase::ServerHost().empty() || !fs::exists(tls_ / "ca.crt"))
            GTEST_SKIP() << "no test cluster with TLS (tools/test-postgresql, LAUREL_TEST_PGHOST)";
        RecordsTest::SetUp();
        const std::string tag = std::to_string(QCoreApplication::applicationPid());
        user_ = "laurel_dialog_" + tag;
        password_ = "pw;{" + tag + "}'x";
        database_ = "laurel_dialog_" + tag;
        empty_ = "laurel_dialog_empty_" + tag;
        Admin("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
        Admin("DROP DATABASE IF EXISTS " + empty_ + " WITH (FORCE)");
        Admin("DROP ROLE IF EXISTS " + user_);
        Admin("CREATE ROLE " + user_ + " LOGIN PASSWORD '" + std::string("pw;{") + tag + "}''x'");
        for (const std::string& db : {database_, empty_})
            Admin("CREATE DATABASE " + db + " OWNER " + user_ + " TEMPLATE template0 ENCODING 'UTF8'");
        rt::Transaction t;
        ASSERT_TRUE(ConnectServer(t, database_));
        std::string error;
        ASSERT_TRUE(schema::PrepareDatabase(t, error)) << error;
        userIni_ = Db().Folder() / "user-odbc.ini";
        // The user's alone, as the first start makes it.
        fs::permissions(userIni_, fs::perms::owner_read | fs::perms::owner_write);
        before_ = testing_support::FileBytes(userIni_);
    }

    void TearDown() override {
        if (user_.empty()) return;
        // While the test's ODBC configuration, which names the server's driver, is still there.
        Admin("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
        Admin("DROP DATABASE IF EXISTS " + empty_ + " WITH (FORCE)");
        Admin("DROP ROLE IF EXISTS " + user_);
        RecordsTest::TearDown();
    }

    // A statement of the cluster's superuser, over its socket.
    static void Admin(const std::string& sql) {
        using testing_support::ScratchDatabase;
        rt::Transaction t;
        t.DBMS = "ODBC";
        t.AutoCommit = true;
        t.DBParm = "Connectstring='DRIVER={PostgreSQL Unicode};Servername=" + ScratchDatabase::ServerHost() +
                   ";Port=" + ScratchDatabase::ServerPort() +
                   ";Database=postgres;Username=" + ScratchDatabase::ServerUser() + "'";
        ASSERT_EQ(t.Connect(), 0) << t.SQLErrText;
        ASSERT_EQ(t.Execute(sql), 0) << sql << ": " << t.SQLErrText;
    }
    // The test's login to one of its databases, as a desktop connects.
    bool ConnectServer(rt::Transaction& t, const std::string& database) const {
        rt::ServerSettings s{
            "127.0.0.1", testing_support::ScratchDatabase::ServerPort(), database, user_, password_, false,
            {}};
        std::string connect;
        for (char c : rt::ConnectStringFor(rt::ServerDataSource(s)))
            connect += c == '\'' ? "''" : std::string(1, c);
        t.DBMS = "ODBC";
        t.AutoCommit = false;
        t.DBParm = "Connectstring='" + connect + "'";
        EXPECT_EQ(t.Connect(), 0) << t.SQLErrText;
        return t.Connected();
    }

    // The dialog over the main window, as the menu opens it.
    std::unique_ptr<laurel::records::w_datasource> Dialog() {
        laurel::records::CommandTargets targets{
            W().Sections(),
            {*W().dw_ds_base, *W().dw_ds_dw, *W().dw_ds_ry, *W().dw_ds_getaward, *W().dw_ds_xy, *W().dw_ds_yy,
             *W().dw_ds_zl},
            *W().dw_nomax,
            *W().st_progress,
            *W().ole_1};
        auto w = std::make_unique<laurel::records::w_datasource>(targets);
        w->create();
        return w;
    }
    // The server's fields as the user fills them in.
    void Fill(laurel::records::w_datasource& w, const std::string& host, const std::string& port,
              const std::string& database, const std::string& password, const fs::path& authority = {}) {
        w.rb_server->Click();
        w.sle_host->SetText(host);
        w.sle_port->SetText(port);
        w.sle_database->SetText(database);
        w.sle_user->SetText(user_);
        w.sle_password->SetText(password);
        if (w.cbx_tls->Checked() != !authority.empty()) w.cbx_tls->Click();
        w.sle_authority->SetText(authority.string());
    }

    std::vector<std::string> LaurelSections() const {
        std::vector<std::string> lines;
        std::istringstream in(testing_support::FileBytes(userIni_));
        for (std::string line; std::getline(in, line);)
            if (line == "[laurel]") lines.push_back(line);
        return lines;
    }

    fs::path tls_, userIni_;
    std::string user_, password_, database_, empty_, before_;
};

TEST_F(DataSourceDialog, EachFailureSaysWhatIsWrongInChineseAndWritesNothing) {
    OpenMainWindow();
    const std::string port = testing_support::ScratchDatabase::ServerPort();
    struct Case {
        std::string what, host, port, database, password;
        fs::path authority;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"refused",
         "127.0.0.1",
         "1",
         database_,
         password_,
         {},
         "无法连接到服务器 127.0.0.1（端口 "
         "1）。\n请检查服务器地址和端口是否正确，\n服务器是否已经启动并接受本机的连接。"},
        {"wrong password",
         "127.0.0.1",
         port,
         database_,
         "wrong",
         {},
         "服务器不接受用户名“" + user_ + "”和所填的密码，请检查后重新输入。"},
        {"no such database",
         "127.0.0.1",
         port,
         "laurel_no_such_database",
         password_,
         {},
         "服务器上没有名为“laurel_no_such_database”的数据库，请检查数据库的名称。"},
        {"tables missing",
         "127.0.0.1",
         port,
         empty_,
         password_,
         {},
         "已经连接到数据库，但其中还没有推荐系统的数据表。\n请数据库管理员先用 tallowmere-initdb "
         "--dsn\n准备这个数据库。"},
        {"certificate refused", "localhost", port, database_, password_, tls_ / "other-ca.crt",
         "服务器的证书没有通过验证：\n它不是由所选证书文件的颁发机构签发的，\n或不是为服务器地址“localhost”签"
         "发的，或证书文件无法"
         "读取。\n请检查服务器地址和证书文件。"},
        {"no port", "127.0.0.1", "65536", database_, password_, {}, "端口应是 1 到 65535 之间的数字。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool ok : {false, true}) {
            auto w = Dialog();
            Fill(*w, c.host, c.port, c.database, c.password, c.authority);
            Dialogs().Clear();
            Dialogs().Answer(1);
            (ok ? w->cb_ok : w->cb_test)->Click();
            EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|" + c.says});
            EXPECT_FALSE(w->changed.has_value());
            EXPECT_EQ(testing_support::FileBytes(userIni_), before_);
        }
    }
    EXPECT_EQ(laurel::records::DataSourceStatus(laurel::records::CurrentDataSource(), true),
              "本机数据库 laurel.db");

    // No PostgreSQL driver registered on the desktop: nothing to try a connection with, nor to name.
    {
        const fs::path drivers = testing_support::ScratchDatabase::SystemIni().parent_path() / "odbcinst.ini";
        const std::string all = testing_support::FileBytes(drivers);
        struct Restore {
            const fs::path& file;
            const std::string& bytes;
            ~Restore() { std::ofstream(file, std::ios::trunc | std::ios::binary) << bytes; }
        } restore{drivers, all};
        std::ofstream(drivers, std::ios::trunc | std::ios::binary) << all.substr(0, all.find("[PostgreSQL"));
        ASSERT_EQ(rt::PostgreSQLDriver(), "");
        for (bool ok : {false, true}) {
            auto w = Dialog();
            Fill(*w, "127.0.0.1", port, database_, password_);
            Dialogs().Clear();
            Dialogs().Answer(1);
            (ok ? w->cb_ok : w->cb_test)->Click();
            EXPECT_EQ(Boxes(),
                      std::vector<std::string>{"提示信息|没有安装 PostgreSQL 的 ODBC 驱动程序（psqlODBC）：" +
                                               rt::PostgreSQLDriverSource() + "后再试。"});
            EXPECT_FALSE(w->changed.has_value());
            EXPECT_EQ(testing_support::FileBytes(userIni_), before_);
        }
    }

    // A server that takes the connection and never answers (a socket that listens and accepts
    // nothing): the wait shows within a second, 取消 ends it at once and nothing more is said; left
    // alone, the test ends with words of its own, not those of a refused port.
    const testing_support::SilentServer silent;
    ASSERT_FALSE(silent.Port().empty());
    const std::string& silentPort = silent.Port();
    auto w = Dialog();
    Fill(*w, "127.0.0.1", silentPort, database_, password_);
    using Clock = std::chrono::steady_clock;
    Clock::time_point clicked, shown;
    Dialogs().whileShown = [&shown](const rt::ui::MessageRequest&) { shown = Clock::now(); };
    Dialogs().Clear();
    Dialogs().AnswerWait(1);
    clicked = Clock::now();
    w->cb_test->Click();
    const Clock::duration took = Clock::now() - clicked;
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    ASSERT_EQ(Dialogs().waits.size(), 1u);
    EXPECT_EQ(Dialogs().waits[0].request.text, "正在连接数据库，请稍候……\n选择“取消”停止等待。");
    EXPECT_LT(shown - clicked, std::chrono::seconds(1));
    EXPECT_LT(took - (shown - clicked), std::chrono::seconds(1)) << "取消 answered late";
    Dialogs().whileShown = nullptr;

    Dialogs().Clear();
    Dialogs().Answer(1);
    w->cb_test->Click();
    EXPECT_EQ(Boxes(),
              std::vector<std::string>{"提示信息|服务器没有应答（127.0.0.1，端口 " + silentPort +
                                       "）。\n连接已经发出，但在规定的时间内没有得到回答：\n服务器可能"
                                       "过于繁忙，或网络有故障。\n请稍后再试，或请数据库管理员检查服务器"
                                       "和网络。"});
}

// The user's data source becomes the server's, exactly once, with what the README asks of it; the
// next start connects there. A second [laurel] that a hand added below the first goes too, and the
// other data sources stay. The file stays readable by whoever could read it, once the user has said
// that the password may go there.
TEST_F(DataSourceDialog, ASwitchLeavesOneDataSourceOfTheUsersOwnAndTheNextStartConnectsToTheServer) {
    std::ofstream(userIni_, std::ios::app) << "[archive]\nDriver=SQLite3\nDatabase=/srv/archive.db\n"
                                           << "[laurel]\nDriver=SQLite3\nDatabase=/srv/other.db\n";
    fs::permissions(userIni_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                  fs::perms::others_read);
    OpenMainWindow();
    const auto aboutText = [] {
        laurel::records::about about;
        about.create();
        return about.st_ds->Text();
    };
    const std::string aboutBefore = aboutText();
    const std::string port = testing_support::ScratchDatabase::ServerPort();
    auto w = Dialog();
    EXPECT_EQ(w->st_current->Text(), "当前使用：本机数据库 laurel.db");
    EXPECT_TRUE(w->rb_own->Checked());
    EXPECT_FALSE(w->rb_system->Visible());
    Fill(*w, "localhost", port, database_, password_, tls_ / "ca.crt");

    const std::string untested = testing_support::FileBytes(userIni_);
    Dialogs().Answer(1);
    w->cb_test->Click();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|连接成功，数据库中推荐系统的数据表齐全。"});
    EXPECT_EQ(testing_support::FileBytes(userIni_), untested);

    const std::string openToOthers =
        "提示信息|数据源文件“" + userIni_.string() +
        "”本机的其他用户也能读取，\n写入后，他们也能看到数据库的密码。\n是否仍然写入？\n"
        "选“否”则不写入：可以不填密码（驱动程序另从密码文件读取），\n或先把这个文件改为只有自己能读取。";
    Dialogs().Clear();
    Dialogs().Answer(2);  // not there
    w->cb_ok->Click();
    EXPECT_EQ(Boxes(), std::vector<std::string>{openToOthers});
    EXPECT_FALSE(w->changed.has_value());
    EXPECT_EQ(testing_support::FileBytes(userIni_), untested);

    Dialogs().Clear();
    Dialogs().Answer(1);  // there all the same
    Dialogs().Answer(2);  // nothing to copy
    Dialogs().Answer(2);  // not now
    w->cb_ok->Click();
    const std::string now = "服务器 localhost:" + port + "/" + database_;
    EXPECT_EQ(
        Boxes(),
        (std::vector<std::string>{
            openToOthers,
            "提示信息|是否把本台电脑数据库中的推荐书复制到服务器上？\n服务器上已有相同编号的推荐书不复制，\n"
            "本台电脑的数据库保持不变。",
            "提示信息|数据源已设置为：" + now + "。\n重新启动程序后生效。现在退出程序吗？"}));
    ASSERT_TRUE(w->changed.has_value());
    EXPECT_FALSE(w->restart);

    EXPECT_EQ(LaurelSections().size(), 1u) << testing_support::FileBytes(userIni_);
    EXPECT_EQ(
        fs::status(userIni_).permissions() & fs::perms::all,
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    const rt::DataSourceEntries written = rt::ReadDataSource("laurel", rt::DataSourceScope::User);
    // Here the name the user's guide gives, and one the desktop has.
    EXPECT_EQ(rt::EntryValue(written, "Driver"), "PostgreSQL Unicode");
    const std::vector<std::string> installed = rt::InstalledDrivers();
    EXPECT_NE(std::find(installed.begin(), installed.end(), "PostgreSQL Unicode"), installed.end());
    EXPECT_EQ(rt::EntryValue(written, "Password"), password_);
    EXPECT_EQ(rt::EntryValue(written, "SSLmode"), "verify-full");
    EXPECT_EQ(rt::EntryValue(written, "pqopt"),
              "sslrootcert=" + (tls_ / "ca.crt").string() +
                  " keepalives_idle=30 keepalives_interval=10 keepalives_count=3 tcp_user_timeout=60000 "
                  "connect_timeout=10");
    EXPECT_EQ(rt::EntryValue(written, "ConnSettings"),
              "SET lock_timeout = 2000;SET client_encoding TO 'UTF8'");
    EXPECT_EQ(rt::EntryValue(rt::ReadDataSource("archive", rt::DataSourceScope::User), "Database"),
              "/srv/archive.db");
    EXPECT_EQ(laurel::records::DataSourceStatus(laurel::records::CurrentDataSource(), true), now);
    // Until the next start the program works where it did, and the about window and the dialog say
    // so.
    EXPECT_EQ(aboutText(), aboutBefore);
    EXPECT_EQ(Dialog()->st_current->Text(), "当前使用：本机数据库 laurel.db");

    // The next start, in a process of its own as a start is: the program's own connect string
    // reaches the server's database.
    const fs::path answer = Db().Folder() / "next-start";
    QProcess next;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LAUREL_NEXT_START", QString::fromStdString(answer.string()));
    next.setProcessEnvironment(env);
    next.setProcessChannelMode(QProcess::MergedChannels);
    next.start(QString::fromStdString(fs::read_symlink("/proc/self/exe").string()),
               {"--gtest_filter=NextStart.ConnectsToItsDataSource"});
    ASSERT_TRUE(next.waitForFinished(60000));
    EXPECT_EQ(next.exitCode(), 0) << next.readAll().toStdString();
    EXPECT_EQ(testing_support::FileBytes(answer), "PostgreSQL " + database_);
}

// A start of the program, run by the test above: connects as the program does and writes what
// it reached. Run by itself it does nothing.
TEST(NextStart, ConnectsToItsDataSource) {
    const char* answer = std::getenv("LAUREL_NEXT_START");
    if (answer == nullptr) GTEST_SKIP() << "run by a test of the data-source dialog";
    rt::Transaction t;
    t.DBMS = "ODBC";
    t.AutoCommit = false;
    t.DBParm = "Connectstring='DSN=laurel'";
    ASSERT_EQ(t.Connect(), 0) << t.SQLErrText;
    std::vector<rt::Value> where(1);
    ASSERT_EQ(t.SelectInto("SELECT current_database()", {}, where), 0) << t.SQLErrText;
    std::ofstream(answer) << "PostgreSQL " << where[0].ToText();
}

// Moving to the server with what this desktop holds: each recommendation goes as a package would
// take it, whole or not at all; one the server has already stays as the server has it, and one the
// server refuses is reported with its reason. This desktop's database is not touched.
TEST_F(DataSourceDialog, CopyingTheLocalRecommendationsTakesEachWholeOrNotAtAllAndLeavesThemHere) {
    const Recommendation kept{"201812340002", "2008 0102", "服务器上已有的"};
    const Recommendation refused{"201812340003", "2008 0103", "服务器拒收的项目"};
    SeedFull(kA);
    Seed(kept);
    Seed(refused);
    rt::Transaction server;
    ASSERT_TRUE(ConnectServer(server, database_));
    for (const std::string& sql :
         {std::string(
              "INSERT INTO j_xm_base (xm_id, xm_name, xm_xg) VALUES ('201812340002', '服务器上的名称', '1')"),
          std::string(
              "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF NEW.xm_name = "
              "'服务器拒收的项目' THEN RAISE EXCEPTION 'refused here'; END IF; RETURN NEW; END $$"),
          std::string(
              "CREATE TRIGGER refuse BEFORE INSERT OR UPDATE ON j_xm_base FOR EACH ROW EXECUTE FUNCTION "
              "refuse()")})
        ASSERT_EQ(server.Execute(sql), 0) << sql << ": " << server.SQLErrText;
    ASSERT_EQ(server.Commit(), 0) << server.SQLErrText;
    OpenMainWindow();
    // The recommendations here cannot be read: said once, in Chinese, and nothing goes there.
    Other().Store("ALTER TABLE j_xm_base RENAME TO j_xm_base_away");
    {
        auto w = Dialog();
        Fill(*w, "127.0.0.1", testing_support::ScratchDatabase::ServerPort(), database_, password_);
        for (int answer : {1, 1, 2}) Dialogs().Answer(answer);  // copy, the box, not now
        w->cb_ok->Click();
        ASSERT_EQ(Boxes().size(), 3u) << Dialogs().Transcript();
        EXPECT_TRUE(
            Boxes()[1].starts_with("提示信息|无法读取本台电脑数据库中的推荐书：数据库拒绝读取（状态 "))
            << Boxes()[1];
        // One copy: each call of Boxes() makes a new one.
        const std::string said = Boxes()[1];
        EXPECT_TRUE(std::none_of(said.begin(), said.end(), [](char c) {
            return std::islower(static_cast<unsigned char>(c));
        })) << said;
    }
    Other().Store("ALTER TABLE j_xm_base_away RENAME TO j_xm_base");
    Dialogs().Clear();
    const std::vector<std::pair<std::string, std::string>> tables = {
        {"j_xm_base", "xm_id"},
        {"j_ry_finish", "xm_id, ry_no"},
        {"j_dw_finish", "xm_id, dw_no"},
        {"j_xy_saving", "xm_id, xy_year, xy_zhijorjianj"},
        {"j_jx_getaward", "xm_id, jx_id"},
        {"j_yy_app", "xm_id, yy_id"},
        {"j_zl_patent", "xm_id, zl_id"}};
    const auto local = [&] {
        std::vector<std::vector<std::vector<rt::Value>>> all;
        // Through the program's own connection: the data source names the server once it is set.
        for (const auto& [table, order] : tables)
            all.push_back(PendingRows("SELECT * FROM " + table + " ORDER BY " + order, {}));
        return all;
    };
    // What this desktop holds once the edits typed on the third are saved, as the copy starts.
    std::vector<std::vector<std::vector<rt::Value>>> before;
    Dialogs().whileShown = [&](const rt::ui::MessageRequest& box) {
        if (box.text.starts_with("是否把本台电脑数据库中的推荐书")) before = local();
    };

    W().dw_no->SetRow(3);
    ASSERT_EQ(W().dw_no1->SetItem(1, "xm_ename", "typed, not saved"), 1);
    auto w = Dialog();
    Fill(*w, "127.0.0.1", testing_support::ScratchDatabase::ServerPort(), database_, password_);
    Dialogs().Answer(1);  // save the edits first
    Dialogs().Answer(1);  // copy
    Dialogs().Answer(1);  // the report
    Dialogs().Answer(2);  // not now
    w->cb_ok->Click();
    Dialogs().whileShown = nullptr;
    ASSERT_EQ(Boxes().size(), 4u) << Dialogs().Transcript();
    EXPECT_EQ(Boxes()[0], "提示信息|申请书已有修改，是否保存？");
    const rt::ui::MessageRequest report = Dialogs().messages[2].request;
    EXPECT_EQ(Pending("SELECT xm_ename FROM j_xm_base WHERE xm_id = ?", {refused.id}), "typed, not saved");
    // The recommendation on show stays the current one, and its list row the current row.
    EXPECT_EQ(laurel::current_id, refused.id);
    EXPECT_EQ(W().dw_no->GetRow(), 3);
    // The counts in the box, the recommendations in its details: the reason the package's place
    // where the server refused, and what the server's state means, never the driver's words.
    EXPECT_EQ(
        report.text,
        "复制到服务器：已复制 1 份推荐书。\n服务器上已有相同编号、没有复制的 1 份。\n没有复制成功的 1 份。");
    EXPECT_EQ(
        report.details,
        "服务器上已有相同编号、没有复制的：\n201812340002（服务器上已有的）\n没有复制成功的：\n"
        "201812340003（服务器拒收的项目）：推荐书无法写入数据库：xm_base.xml 第1行，数据库拒绝写入（状态 "
        "P0001）");
    EXPECT_EQ(report.icon, Icon::Exclamation);

    // Here: every row as it was.
    EXPECT_EQ(local(), before);
    // There: the first whole, the second as the server had it, nothing of the third.
    const auto there = [&server](const std::string& sql) {
        std::vector<std::vector<rt::Value>> rows;
        EXPECT_EQ(server.Query(sql, {}, rows), 0) << sql << ": " << server.SQLErrText;
        server.Rollback();
        return rows;
    };
    EXPECT_EQ(
        there("SELECT xm_name, xm_askno, xm_xg FROM j_xm_base WHERE xm_id = '201812340001'"),
        (std::vector<std::vector<rt::Value>>{{rt::Value(kA.name), rt::Value(kA.askno), rt::Value("0")}}));
    for (const auto& [table, order] : tables) {
        if (table == "j_xm_base") continue;
        EXPECT_EQ(there("SELECT count(*) FROM " + table + " WHERE xm_id = '201812340001'"),
                  (std::vector<std::vector<rt::Value>>{{rt::Value(static_cast<std::int64_t>(
                      PendingRows("SELECT * FROM " + table + " WHERE xm_id = '201812340001'", {}).size()))}}))
            << table;
    }
    EXPECT_EQ(there("SELECT xm_name FROM j_xm_base WHERE xm_id = '201812340002'"),
              (std::vector<std::vector<rt::Value>>{{rt::Value("服务器上的名称")}}));
    for (const auto& [table, order] : tables)
        EXPECT_EQ(there("SELECT count(*) FROM " + table + " WHERE xm_id = '201812340003'"),
                  (std::vector<std::vector<rt::Value>>{{rt::Value(std::int64_t{0})}}))
            << table;
}

// Three hundred recommendations, and the server ends the copy's session halfway: the report says
// so once, in Chinese, with how many were not copied, lists them in a scrolling area and fits a
// screen of 1000 pixels.
TEST_F(DataSourceDialog, ACopyCutOffHalfwaySaysSoOnceAndItsReportFitsTheScreen) {
    constexpr int kMany = 300, kHalf = 150;
    for (int n = 1; n <= kMany; ++n) {
        char serial[5];
        std::snprintf(serial, sizeof serial, "%04d", n);
        Seed({std::string("20181234") + serial, std::string("2008 ") + serial, "项目" + std::to_string(n)});
    }
    rt::Transaction server;
    ASSERT_TRUE(ConnectServer(server, database_));
    for (const std::string& sql :
         {"CREATE FUNCTION cut_off() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF (SELECT count(*) FROM "
          "j_xm_base) >= " +
              std::to_string(kHalf) +
              " THEN PERFORM pg_terminate_backend(pg_backend_pid()); END IF; RETURN NEW; END $$",
          std::string(
              "CREATE TRIGGER cut_off BEFORE INSERT ON j_xm_base FOR EACH ROW EXECUTE FUNCTION cut_off()")})
        ASSERT_EQ(server.Execute(sql), 0) << sql << ": " << server.SQLErrText;
    ASSERT_EQ(server.Commit(), 0) << server.SQLErrText;

    OpenMainWindow();
    auto w = Dialog();
    Fill(*w, "127.0.0.1", testing_support::ScratchDatabase::ServerPort(), database_, password_);
    // The report as the desktop shows it.
    QSize size;
    bool scrolls = false;
    Dialogs().whileShown = [&](const rt::ui::MessageRequest& box) {
        if (!box.text.starts_with("复制到服务器")) return;
        QTimer::singleShot(0, [&] {
            auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (shown == nullptr) return;
            size = shown->size();
            // The list below the counts, as wide as they are, above the button.
            const auto* list = shown->findChild<QPlainTextEdit*>();
            const auto* text = shown->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            const auto* buttons = shown->findChild<QDialogButtonBox*>();
            scrolls = list != nullptr && text != nullptr && buttons != nullptr &&
                      list->geometry().top() >= text->geometry().bottom() &&
                      list->geometry().left() == text->geometry().left() &&
                      list->geometry().bottom() < buttons->geometry().top();
            shown->buttons().front()->click();
        });
        rt::ui::MakeQtDialogs()->Message(box);
    };
    for (int answer : {1, 1, 2}) Dialogs().Answer(answer);  // copy, the report, not now
    w->cb_ok->Click();
    Dialogs().whileShown = nullptr;
    ASSERT_EQ(Boxes().size(), 3u) << Dialogs().Transcript();
    const rt::ui::MessageRequest report = Dialogs().messages[1].request;
    EXPECT_EQ(report.text, "复制到服务器：已复制 " + std::to_string(kHalf) +
                               " 份推荐书。\n复制时与服务器的连接中断了，还有 " +
                               std::to_string(kMany - kHalf) +
                               " 份没有复制。\n请稍后再复制一次：服务器上已有的不会重复复制。");
    EXPECT_TRUE(report.details.starts_with("还没有复制的：\n201812340151（项目151）\n")) << report.details;
    EXPECT_TRUE(report.details.ends_with("\n201812340300（项目300）")) << report.details;
    EXPECT_TRUE(std::none_of(report.details.begin(), report.details.end(), [](char c) {
        return std::isalpha(static_cast<unsigned char>(c));
    })) << report.details;
    EXPECT_TRUE(scrolls);
    EXPECT_GT(size.height(), 0);
    EXPECT_LE(size.height(), std::min(1000, QGuiApplication::primaryScreen()->availableGeometry().height()));
}

// A data source that every user of the desktop shares serves once the user's own is removed,
// after a question; 否 keeps everything. Leading away from this desktop's database, it offers the
// copy of what is here as a server chosen by hand does.
TEST_F(DataSourceDialog, TheSystemsDataSourceServesOnceTheUsersOwnIsRemovedAfterAQuestion) {
    SeedFull(kA);
    const std::string port = testing_support::ScratchDatabase::ServerPort();
    std::ofstream(testing_support::ScratchDatabase::SystemIni())
        << "[laurel]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=" << port
        << "\nDatabase=" << database_ << "\nUsername=" << user_ << "\nPassword=" << password_ << "\n";
    OpenMainWindow();
    auto w = Dialog();
    ASSERT_TRUE(w->rb_system->Visible());
    EXPECT_EQ(w->rb_system->Text(),
              "本机所有用户共用的数据源(&M)（服务器 127.0.0.1:" + port + "/" + database_ + "）");
    w->rb_system->Click();
    const std::string question = "提示信息|将删除您自己设置的数据源“laurel”（" + userIni_.string() +
                                 "），\n改用本机所有用户共用的数据源：服务器 127.0.0.1:" + port + "/" +
                                 database_ + "。\n是否继续？";
    Dialogs().Answer(2);
    w->cb_ok->Click();
    EXPECT_EQ(Boxes(), std::vector<std::string>{question});
    EXPECT_EQ(testing_support::FileBytes(userIni_), before_);

    Dialogs().Clear();
    for (int answer : {1, 1, 1, 2}) Dialogs().Answer(answer);  // remove it, copy, the report, not now
    w->cb_ok->Click();
    ASSERT_EQ(Boxes().size(), 4u) << Dialogs().Transcript();
    EXPECT_EQ(Boxes()[0], question);
    EXPECT_EQ(
        Boxes()[1],
        "提示信息|是否把本台电脑数据库中的推荐书复制到服务器上？\n服务器上已有相同编号的推荐书不复制，\n"
        "本台电脑的数据库保持不变。");
    EXPECT_EQ(Boxes()[2], "提示信息|复制到服务器：已复制 1 份推荐书。");
    EXPECT_TRUE(LaurelSections().empty()) << testing_support::FileBytes(userIni_);
    EXPECT_EQ(rt::FindDataSource("laurel"), rt::DataSourceScope::System);
    rt::Transaction server;
    ASSERT_TRUE(ConnectServer(server, database_));
    std::vector<rt::Value> name(1);
    ASSERT_EQ(server.SelectInto("SELECT xm_name FROM j_xm_base WHERE xm_id = ?", {kA.id}, name), 0)
        << server.SQLErrText;
    EXPECT_EQ(name[0], rt::Value(kA.name));
}

TEST(AboutSupportLine, CarriesTheTelephoneNumberOfTheSettingsOrNone) {
    testing_support::ScratchDatabase folder;
    const std::string ini = (folder.Folder() / "tallowmere.ini").string();
    EXPECT_EQ(laurel::records::about::SupportLine(ini), "技术支持：");
    {
        std::ofstream out(rt::FsPath(ini));
        out << "[support]\ntelephone = 0871-65000000\n";
    }
    EXPECT_EQ(laurel::records::about::SupportLine(ini), "技术支持：0871-65000000");
}

TEST(AboutBanner, IsDrawnAtItsSizeBesideTheProgram) {
    QImage banner(QString::fromStdString(LAUREL_ABOUT_BANNER));
    ASSERT_FALSE(banner.isNull()) << LAUREL_ABOUT_BANNER;
    EXPECT_EQ(banner.width(), 354);
    EXPECT_EQ(banner.height(), 75);
}

}  // namespace

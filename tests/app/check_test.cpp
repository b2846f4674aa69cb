// The completeness check with its version number, the print buffer and the Print command's chain,
// on the real main window over a private database.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "check/print_command.h"
#include "records/m_main.h"
#include "runtime/ui/controls.h"
#include "runtime/word/word.h"
#include "tests/support/app_fixture.h"
#include "tests/support/platform.h"
#include "tests/support/testdb.h"

namespace {

using laurel::records::m_main;
using rt::ui::Buttons;
using rt::ui::Icon;
using testing_support::AppTest;
using testing_support::XmId;

const std::string kQuestion = "提示信息|你要生成推荐书吗?";
const std::string kVersion = "提示信息|当前推荐书的版本号为: ";

class CheckTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Seed({a, "2008 01AA", "项目一"});
        AddContributor(a, 2, "完成人二");
        AddContributor(a, 3, "完成人三");
        Complete(a);
    }

    // Every field the check requires, filled and committed, the dates in order.
    void Complete(const std::string& id) {
        ExecCommit(
            "UPDATE j_xm_base SET xm_name = '项目一', xm_topicword = '主题词', bm_deptcode = '003', "
            "sf_public = '1', xm_askno = '2008 01AA', xk_grpno = '101', jb_awardcode = '4', "
            "xk_majorname1 = '机械学', xk_majorcode1 = '4601010', hy_etradecode = '03', ly_socucode = '06', "
            "xm_no = '登记号1', xm_startdate = '2006-07-15', xm_finishdate = '2008-12-31', "
            "xm_abstract = '简介', xm_innovation = '创新点', xm_recom = '推荐意见' WHERE xm_id = ?",
            {id});
        ExecCommit(
            "UPDATE j_ry_finish SET ry_name = '张三', ry_id = '110101196005200011', ry_birthday = "
            "'1960-05-20', "
            "ry_bplace = '北京', mz_nationcode = '01', xb_sex = '2', dp_sectcode = '13', zc_titlecode = "
            "'303', "
            "wp_edulev = '03', xw_degree = '4', ry_workmajor = '机械', ry_specmajor = '制造', "
            "ry_unit = '某研究所', ry_fixtel = '0571-88888888', ry_postaddr = '某路1号', ry_postcode = "
            "'310000', "
            "ry_mpno = '13900000000', ry_start = '2006-07-01', ry_finish = '2008-12-01' "
            "WHERE xm_id = ? AND ry_no = 1",
            {id});
    }

    // Runs the check, answering its boxes in turn; returns its result.
    int Check(const std::vector<int>& answers) {
        Dialogs().Clear();
        for (int answer : answers) Dialogs().Answer(answer);
        return Menu().all_check();
    }

    const std::string a = XmId(1), b = XmId(2);
};

// ---------------------------------------------------------------------------------------------------
// The rules.

TEST_F(CheckTest, EachRuleRefusesItsMissingFieldWithItsOwnMessageAndNothingElse) {
    enum Kind { Text, Code, Date, Order };
    struct Rule {
        const char* table;
        const char* column;
        Kind kind;
        const char* message;
    };
    const Rule rules[] = {
        {"j_xm_base", "xm_name", Text, "项目中文名称不能为空！"},
        {"j_xm_base", "xm_topicword", Text, "项目主题词不能为空！"},
        {"j_xm_base", "bm_deptcode", Text, "项目推荐单位不能为空！"},
        {"j_xm_base", "sf_public", Code, "项目名称是否可以公布？"},
        {"j_xm_base", "xm_askno", Text, "项目推荐号不能为空！"},
        {"j_xm_base", "xk_grpno", Code, "专业评审组不能为空！"},
        {"j_xm_base", "jb_awardcode", Code, "项目类别不能为空！"},
        {"j_xm_base", "xk_majorname1", Text, "项目学科分类名称1不能为空！"},
        {"j_xm_base", "xk_majorcode1", Text, "项目学科分类代码1不能为空！"},
        {"j_xm_base", "hy_etradecode", Code, "所属国民行业经济不能为空！"},
        {"j_xm_base", "ly_socucode", Code, "任务来源不能为空！"},
        {"j_xm_base", "xm_no", Text, "成果登记号不能为空！"},
        {"j_xm_base", "xm_startdate", Date, "项目起始时间不能为空！"},
        {"j_xm_base", "xm_finishdate", Date, "项目结束时间不能为空！"},
        {"j_xm_base", "xm_finishdate = xm_startdate", Order, "项目结束时间不能比开始时间早！"},
        {"j_xm_base", "xm_abstract", Text, "项目简介不能为空！"},
        {"j_xm_base", "xm_innovation", Text, "项目主要发现、发明及技术创新点不能为空！"},
        {"j_xm_base", "xm_recom", Text, "推荐单位意见不能为空！"},
        {"j_ry_finish", "ry_name", Text, "第一完成人姓名不能为空！"},
        {"j_ry_finish", "ry_id", Text, "第一完成人身份证号码不能为空！"},
        {"j_ry_finish", "ry_birthday", Date, "第一完成人出生年月不能为空！"},
        {"j_ry_finish", "ry_bplace", Text, "第一完成人出生地不能为空！"},
        {"j_ry_finish", "mz_nationcode", Code, "第一完成人民族选项不能为空！"},
        {"j_ry_finish", "xb_sex", Code, "第一完成人性别不能为空！"},
        {"j_ry_finish", "dp_sectcode", Code, "第一完成人政治面貌不能为空！"},
        {"j_ry_finish", "zc_titlecode", Code, "第一完成人技术职称不能为空！"},
        {"j_ry_finish", "wp_edulev", Code, "第一完成人文化程度不能为空！"},
        {"j_ry_finish", "xw_degree", Code, "第一完成人最高学位不能为空！"},
        {"j_ry_finish", "ry_workmajor", Text, "第一完成人所学专业不能为空！"},
        {"j_ry_finish", "ry_specmajor", Text, "第一完成人从事专业不能为空！"},
        {"j_ry_finish", "ry_unit", Text, "第一完成人工作单位不能为空！"},
        {"j_ry_finish", "ry_fixtel", Text, "第一完成人联系电话不能为空！"},
        {"j_ry_finish", "ry_postaddr", Text, "第一完成人通讯地址不能为空！"},
        {"j_ry_finish", "ry_postcode", Text, "第一完成人通讯邮编不能为空！"},
        {"j_ry_finish", "ry_mpno", Text, "第一完成人移动电话不能为空！"},
        {"j_ry_finish", "ry_start", Date, "第一完成人参与起始时间不能为空！"},
        {"j_ry_finish", "ry_finish", Date, "第一完成人参与结束时间不能为空！"},
        {"j_ry_finish", "ry_finish = ry_start", Order, "第一完成人参与结束时间不能比开始时间早！"},
    };
    ASSERT_EQ(std::size(rules), 38u);
    OpenMainWindow();

    // Only the first contributor counts: the second may lack everything.
    ExecCommit("UPDATE j_ry_finish SET ry_name = NULL, ry_birthday = NULL WHERE xm_id = ? AND ry_no = 2",
               {a});

    const auto expectRefusal = [&](const Rule& rule, const std::string& how) {
        EXPECT_EQ(Check({1}), 0) << rule.column << how;
        ASSERT_EQ(Boxes(), std::vector<std::string>{"提示信息|" + std::string(rule.message)})
            << rule.column << how;
        EXPECT_EQ(Dialogs().messages[0].request.icon, Icon::Information);
        EXPECT_EQ(Dialogs().messages[0].request.buttons, Buttons::OK);
        Complete(a);
    };
    for (const Rule& rule : rules) {
        const std::string where =
            std::string(" WHERE xm_id = ?") + (rule.table[2] == 'r' ? " AND ry_no = 1" : "");
        if (rule.kind == Order) {
            ExecCommit(std::string("UPDATE ") + rule.table + " SET " + rule.column + where, {a});
            expectRefusal(rule, " (equal dates)");
            continue;
        }
        ExecCommit(std::string("UPDATE ") + rule.table + " SET " + rule.column + " = NULL" + where, {a});
        expectRefusal(rule, " (null)");
        if (rule.kind == Text) {
            ExecCommit(std::string("UPDATE ") + rule.table + " SET " + rule.column + " = '  '" + where, {a});
            expectRefusal(rule, " (blanks)");
        }
    }

    // Several gaps at once: only the first in rule order is reported. Breaking rule k and every
    // later one must report rule k.
    const auto breakRule = [&](const Rule& rule) {
        const std::string where =
            std::string(" WHERE xm_id = ?") + (rule.table[2] == 'r' ? " AND ry_no = 1" : "");
        const std::string set = rule.kind == Order ? rule.column : std::string(rule.column) + " = NULL";
        ExecCommit(std::string("UPDATE ") + rule.table + " SET " + set + where, {a});
    };
    for (std::size_t k = 0; k < std::size(rules); ++k) {
        // An order rule is broken only as the first: once its dates are null it cannot fail.
        breakRule(rules[k]);
        for (std::size_t j = k + 1; j < std::size(rules); ++j)
            if (rules[j].kind != Order) breakRule(rules[j]);
        expectRefusal(rules[k], " (with every later rule broken too)");
    }

    // All passed: the version step asks.
    EXPECT_EQ(Check({2}), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kQuestion});
}

TEST_F(CheckTest, BlanksCodesAndDatesAreJudgedAsStoredValues) {
    OpenMainWindow();
    const auto passes = [&] {
        const int result = Check({2});
        return result == 0 && Boxes() == std::vector<std::string>{kQuestion};
    };
    const auto refusedBy = [&](const std::string& message) {
        const int result = Check({1});
        return result == 0 && Boxes() == std::vector<std::string>{"提示信息|" + message};
    };

    // Only ASCII blanks are trimmed away; an empty code is a code.
    ExecCommit("UPDATE j_xm_base SET xm_name = '\u3000\u3000' WHERE xm_id = ?", {a});
    EXPECT_TRUE(passes()) << Dialogs().Transcript();
    ExecCommit("UPDATE j_xm_base SET xm_name = '\t' WHERE xm_id = ?", {a});
    EXPECT_TRUE(passes()) << Dialogs().Transcript();
    ExecCommit("UPDATE j_xm_base SET sf_public = '', xk_grpno = '  ' WHERE xm_id = ?", {a});
    EXPECT_TRUE(passes()) << Dialogs().Transcript();

    // The end must come after the start: before fails, one day after passes; New's placeholders fail.
    ExecCommit("UPDATE j_xm_base SET xm_finishdate = '2006-07-14' WHERE xm_id = ?", {a});
    EXPECT_TRUE(refusedBy("项目结束时间不能比开始时间早！")) << Dialogs().Transcript();
    ExecCommit("UPDATE j_xm_base SET xm_finishdate = '2006-07-16' WHERE xm_id = ?", {a});
    EXPECT_TRUE(passes()) << Dialogs().Transcript();
    ExecCommit("UPDATE j_ry_finish SET ry_start = '0001-01-01', ry_finish = '0001-01-01' WHERE xm_id = ?",
               {a});
    EXPECT_TRUE(refusedBy("第一完成人参与结束时间不能比开始时间早！")) << Dialogs().Transcript();
    Complete(a);

    // Edits not saved yet, typed on the page on show or left on a hidden page, are saved first, as
    // leaving a section saves them, and the rules judge them; a failing rule leaves the later pages
    // as they were.
    ASSERT_EQ(W().dw_no1->SetColumn("xm_topicword"), 1);
    ASSERT_EQ(W().dw_no1->SetText("   "), 1);
    ASSERT_EQ(W().dw_no2->Retrieve({a}), 1);
    ASSERT_EQ(W().dw_no2->SetItem(1, "xm_abstract", "未保存"), 1);
    ASSERT_EQ(W().dw_no3->Retrieve({a}), 1);
    ASSERT_EQ(W().dw_no3->SetItem(1, "xm_innovation", "也未保存"), 1);
    EXPECT_TRUE(refusedBy("项目主题词不能为空！")) << Dialogs().Transcript();
    EXPECT_EQ(StoredBase(a, "xm_topicword"), "   ");
    EXPECT_EQ(StoredBase(a, "xm_abstract"), "未保存");
    EXPECT_EQ(W().dw_no3->GetItemString(1, "xm_innovation"), "也未保存");
    EXPECT_EQ(W().dw_no3->ModifiedCount(), 0);

    // A save that fails says so as leaving the section would, keeps the edit and checks nothing.
    RefuseWrites("hold_base", "BEFORE UPDATE OF xm_topicword ON j_xm_base");
    ASSERT_EQ(W().dw_no1->SetText("主题"), 1);
    Dialogs().Clear();
    AnswerDatabaseError();
    Dialogs().Answer(1);
    EXPECT_EQ(Menu().all_check(), 0);
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_EQ(Boxes().back(), "提示信息|先前的页面保存失败！");
    EXPECT_EQ(W().dw_no1->GetText(), "主题");
    EXPECT_EQ(StoredBase(a, "xm_topicword"), "   ");
    AllowWrites("hold_base", "j_xm_base");
    EXPECT_TRUE(passes()) << Dialogs().Transcript();
    EXPECT_EQ(StoredBase(a, "xm_topicword"), "主题");
    Complete(a);

    // The first contributor is judged, whichever one section 七 shows; the page then shows
    // contributor 1 while current_ry stays.
    ASSERT_EQ(W().tv_1->SelectItem(11), 1);
    W().dw_no72->Click(3, "ry_name");
    ASSERT_EQ(laurel::current_ry, 3);
    EXPECT_TRUE(passes()) << Dialogs().Transcript();
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "张三");
    EXPECT_EQ(laurel::current_ry, 3);
    EXPECT_EQ(W().dw_no72->GetRow(), 3);

    // Without a contributor 1 the page has no row, and the first of its rules reports it.
    ExecCommit("DELETE FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {a});
    EXPECT_TRUE(refusedBy("第一完成人姓名不能为空！")) << Dialogs().Transcript();
}

TEST_F(CheckTest, NothingOpenMeansNoCheckAndNoPrint) {
    ExecCommit("DELETE FROM j_ry_finish");
    ExecCommit("DELETE FROM j_dw_finish");
    ExecCommit("DELETE FROM j_xy_saving");
    ExecCommit("DELETE FROM j_xm_base");
    OpenMainWindow();
    ASSERT_EQ(laurel::current_id, laurel::kNoRecommendation);
    EXPECT_EQ(Menu().all_check(), 0);
    Menu().check_clicked();
    Menu().print_clicked();
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_FALSE(W().st_progress->Visible());
}

// ---------------------------------------------------------------------------------------------------
// The version number.

TEST_F(CheckTest, VersionNumberIsMadeOnceOnYesStoredWithTheSavedStateAndShownEveryTime) {
    OpenMainWindow();

    // No: nothing stored, nothing more said.
    EXPECT_EQ(Check({2}), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kQuestion});
    const rt::ui::MessageRequest& question = Dialogs().messages[0].request;
    EXPECT_EQ(question.icon, Icon::Question);
    EXPECT_EQ(question.buttons, Buttons::YesNo);
    EXPECT_EQ(question.defaultButton, 1);
    EXPECT_EQ(StoredBase(a, "xm_guid"), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(StoredBase(a, "xm_xg"), "0");

    // Yes: the key and four digits, committed with the saved state; the list row follows, and the
    // pages and the list buttons become read-only as on a switch to a saved recommendation.
    EXPECT_EQ(Check({1, 1}), 1);
    const std::string number = StoredBase(a, "xm_guid").value_or("");
    ASSERT_EQ(number.size(), 16u) << number;
    EXPECT_EQ(number.substr(0, 12), a);
    const std::string tail = number.substr(12);
    EXPECT_EQ(tail.find_first_not_of("0123456789"), std::string::npos) << tail;
    EXPECT_NE(tail, "0000");
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kQuestion, kVersion + number}));
    EXPECT_EQ(Dialogs().messages[1].request.icon, Icon::Information);
    EXPECT_EQ(StoredBase(a, "xm_xg"), "1");
    EXPECT_EQ(W().dw_no->GetItemString(W().dw_no->GetRow(), "xm_xg"), "1");
    EXPECT_EQ(W().dw_no->GetItemString(W().dw_no->GetRow(), "xm_id"), a);
    for (rt::ui::DataWindowControl* page : W().Pages()) EXPECT_FALSE(page->Enabled()) << page->Name();
    EXPECT_FALSE(W().cb_page_insert->Enabled());
    EXPECT_FALSE(W().cb_page_delete->Enabled());

    // Again: no question, the same number; an existing number writes nothing, not even the state.
    ExecCommit("UPDATE j_xm_base SET xm_xg = '0' WHERE xm_id = ?", {a});
    EXPECT_EQ(Check({1}), 1);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kVersion + number});
    EXPECT_EQ(StoredBase(a, "xm_xg"), "0");

    // A number that was never made (null) is made like the placeholder's.
    ExecCommit("UPDATE j_xm_base SET xm_guid = NULL WHERE xm_id = ?", {a});
    EXPECT_EQ(Check({2}), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{kQuestion});
}

// Two desktops check the same recommendation at once: the number made first is the one both show,
// never replaced by a second.
TEST_F(CheckTest, AVersionNumberMadeOnAnotherDesktopMeanwhileIsShownAndKept) {
    OpenMainWindow();
    const std::string theirs = a + "0007";
    Dialogs().whileShown = [&](const rt::ui::MessageRequest& box) {
        if (box.text == "你要生成推荐书吗?") Other().MakeVersion(a, theirs);
    };
    EXPECT_EQ(Check({1, 1}), 1);
    Dialogs().whileShown = nullptr;
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kQuestion, kVersion + theirs}));
    EXPECT_EQ(StoredBase(a, "xm_guid"), theirs);
    EXPECT_EQ(W().dw_no->GetItemString(W().dw_no->GetRow(), "xm_xg"), "1");
    EXPECT_FALSE(W().dw_no1->Enabled());
}

TEST_F(CheckTest, VersionNumberThatCannotBeStoredIsNeitherShownNorLeftHalfWritten) {
    OpenMainWindow();
    RefuseWrites("refuse_guid", "BEFORE UPDATE OF xm_guid ON j_xm_base");
    EXPECT_EQ(Check({1, 1}), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kQuestion, "提示信息|系统意外，生成推荐书版本号失败！"}));
    EXPECT_EQ(StoredBase(a, "xm_guid"), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(StoredBase(a, "xm_xg"), "0");
    EXPECT_EQ(W().dw_no->GetItemString(W().dw_no->GetRow(), "xm_xg"), "0");
}

// Whether another desktop made a number meanwhile cannot be told when the row cannot be taken (a
// lock held too long, say): no number is made then, rather than one over theirs.
TEST_F(CheckTest, NoVersionNumberIsMadeWhenTheRowCannotBeTakenFirst) {
    OpenMainWindow();
    if (testing_support::ScratchDatabase::OnPostgreSQL()) {
        Exec(
            "CREATE FUNCTION refuse_take() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION "
            "'refused'; END $$");
        ExecCommit(
            "CREATE TRIGGER refuse_take BEFORE UPDATE OF xm_guid ON j_xm_base FOR EACH ROW WHEN "
            "(NEW.xm_guid = OLD.xm_guid) EXECUTE FUNCTION refuse_take()");
    } else {
        ExecCommit(
            "CREATE TRIGGER refuse_take BEFORE UPDATE OF xm_guid ON j_xm_base WHEN NEW.xm_guid = "
            "OLD.xm_guid BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
    EXPECT_EQ(Check({1, 1}), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kQuestion, "提示信息|系统意外，生成推荐书版本号失败！"}));
    EXPECT_EQ(StoredBase(a, "xm_guid"), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(StoredBase(a, "xm_xg"), "0");
}

// A fault that loses the transaction (the disk of a SQLite database full, the server's session
// ended) is the one thing said, in its own box, whichever command meets it: the check's version
// number, New, Import. The box speaks of nothing typed, as nothing was, and nothing is stored.
TEST_F(CheckTest, AFaultThatLosesTheTransactionIsTheOneThingACommandSays) {
    namespace fs = std::filesystem;
    const bool server = testing_support::ScratchDatabase::OnPostgreSQL();
    std::optional<testing_support::TinyDisk> disk;
    if (!server) {
        disk.emplace(Db().Folder() / "disk", 4 << 20);
        if (!disk->Mounted()) GTEST_SKIP() << disk->Why();
        ASSERT_NO_FATAL_FAILURE(MoveDatabaseInto(Db().Folder() / "disk"));
    }
    OpenMainWindow();
    const fs::path program = Db().Folder() / "program";
    fs::create_directories(program);
    laurel::current_path = program.string();
    const std::string fault =
        server
            ? "提示信息|与数据库的连接曾经中断，现已恢复。\n刚才的操作没有完成，请再操作一次。"
            : "提示信息|数据库所在的磁盘已满，无法写入。\n刚才的操作没有完成，请腾出磁盘空间后再操作一次。";
    // On SQLite the disk stays full; the server's session ends once for each command.
    const auto meetFault = [&] {
        if (server) {
            ASSERT_TRUE(testing_support::CutOff(Db(), laurel::sqlca));
        } else {
            ASSERT_TRUE(disk->Fill());
        }
    };

    Dialogs().whileShown = [&](const rt::ui::MessageRequest& box) {
        if (box.text == "你要生成推荐书吗?") meetFault();
    };
    EXPECT_EQ(Check({1, 1}), 0);
    Dialogs().whileShown = nullptr;
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kQuestion, fault}));
    EXPECT_EQ(StoredBase(a, "xm_guid"), "FFFFFFFFFFFFFFFF");
    if (disk) disk->Free();

    // A package of the recommendation, made while all is well; the recommendation then goes, so that
    // Import would bring it back.
    const fs::path package = Db().Folder() / "a.DAT";
    Dialogs().Clear();
    for (int box = 0; box < 3; ++box) Dialogs().Answer(1);
    Dialogs().AnswerFile({1, package.string(), "a.DAT"});
    Menu().export_clicked();
    ASSERT_TRUE(fs::is_regular_file(package)) << Dialogs().Transcript();
    for (const char* table : {"j_ry_finish", "j_dw_finish", "j_xy_saving", "j_xm_base"})
        ExecCommit(std::string("DELETE FROM ") + table + " WHERE xm_id = ?", {a});

    const std::optional<std::string> before = Stored("SELECT count(*) FROM j_xm_base");
    const long listed = W().dw_no->RowCount();
    meetFault();
    Dialogs().Clear();
    Dialogs().Answer(1);
    Menu().new_recommendation->Click();
    EXPECT_EQ(Boxes(), std::vector<std::string>{fault});
    EXPECT_EQ(Stored("SELECT count(*) FROM j_xm_base"), before);
    EXPECT_EQ(W().dw_no->RowCount(), listed);

    meetFault();
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().AnswerFile({1, package.string(), "a.DAT"});
    Menu().import_clicked();
    EXPECT_EQ(Boxes(), std::vector<std::string>{fault});
    EXPECT_EQ(StoredCount("j_xm_base", a), 0);
    if (disk) {
        disk->Free();
        // The program lets go of the file before the disk goes.
        ASSERT_EQ(laurel::sqlca.Disconnect(), 0);
    }
}

// ---------------------------------------------------------------------------------------------------
// The print buffer.

TEST_F(CheckTest, PrintBufferHoldsDisplayTextsMonthsAmountsAndTheFirstContributor) {
    ExecCommit(
        "UPDATE j_xm_base SET xm_name = '项目一  ', sf_public = '0', mj_secrcode = '1', xm_ename = '  ', "
        "xm_secrterm = '', xm_planname = NULL, xk_majorname2 = '机械二', xm_zongtz = 1234567.5, xm_huis = "
        "12, "
        "xm_zhijyj = '直接', xm_jianjyj = NULL, xm_sosiety = '社会', xm_pingjia = '评价', xm_papers = NULL, "
        "xm_guid = '2018123400010057' WHERE xm_id = ?",
        {a});
    ExecCommit(
        "UPDATE j_ry_finish SET ry_grdtime = '1988-03-15', ry_email = NULL, ry_position = '所长', "
        "ry_honor = '' WHERE xm_id = ? AND ry_no = 1",
        {a});
    OpenMainWindow();

    // Contributor 3 on show with an edit pending, and an unsaved amount: neither is printed.
    ASSERT_EQ(W().tv_1->SelectItem(11), 1);
    W().dw_no72->Click(3, "ry_name");
    ASSERT_EQ(laurel::current_ry, 3);
    ASSERT_EQ(W().dw_no71->SetItem(1, "ry_unit", "未保存"), 1);
    ASSERT_EQ(W().dw_no512->Retrieve({a}), 1);
    ASSERT_EQ(W().dw_no512->SetItem(1, "xm_zongtz", rt::Decimal::FromCents(99)), 1);

    const laurel::check::Prepared prepared = AllPrepare();
    EXPECT_EQ(prepared.result, 1);
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    const laurel::document::PrintBuffer& m = prepared.buffer;

    const std::vector<std::pair<std::string, std::string>> expected = {
        {m.xk_grpno, "101 机械：机械、电力"},
        {m.jb_awardcode, "4  社会公益 "},
        {m.xm_name, "项目一  "},
        {m.xm_ename, "  "},
        {m.xm_tjdw, "省科学技术厅"},
        {m.sf_public, "0 否"},
        {m.mj_secrcode, "1 秘密"},
        {m.xm_secrterm, ""},
        {m.xk_majorname2, "机械二"},
        {m.xk_majorcode3, ""},
        {m.hy_etradecode, "03  制造业"},
        {m.ly_socucode, "06  基金资助 "},
        {m.xm_planname, ""},
        {m.xm_startdate, "2006-07"},
        {m.xm_finishdate, "2008-12"},
        {m.xm_zongtz, "1,234,567.50"},
        {m.xm_huis, "12"},
        {m.xm_zhijyj, "直接"},
        {m.xm_jianjyj, ""},
        {m.ry_birthday, "1960-05"},
        {m.mz_nationcode, "汉族"},
        {m.xb_sex, "女"},
        {m.zc_titlecode, "其它中级"},
        {m.ry_position, "所长"},
        {m.xw_degree, "无"},
        {m.ry_grduniv, ""},
        {m.ry_grdtime, "1988-03"},
        {m.ry_email, ""},
        {m.ry_honor, ""},
        {m.ry_start, "2006-07"},
        {m.xm_pingjia, "评价"},
        {m.xm_papers, ""},
        {m.s_xm_checkcode, "2018123400010057"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected[i].first, expected[i].second) << "entry " << i;

    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "张三");
    EXPECT_EQ(W().dw_no71->ModifiedCount(), 0);
    EXPECT_EQ(W().dw_no512->GetItemDecimal(1, "xm_zongtz"), rt::Decimal::FromCents(123456750));
    EXPECT_EQ(laurel::current_ry, 3);
}

TEST_F(CheckTest, PrintBufferOfTheNextRecommendationKeepsNothingOfThePreviousOne) {
    ExecCommit(
        "UPDATE j_xm_base SET xm_ename = 'Name', xm_planname = '计划', xm_pingjia = '评价' WHERE xm_id = ?",
        {a});
    Seed({b, "2008 02AA", "项目二"});
    OpenMainWindow();
    laurel::check::Prepared prepared = AllPrepare();
    const laurel::document::PrintBuffer& m = prepared.buffer;
    ASSERT_EQ(prepared.result, 1);
    ASSERT_EQ(m.xm_ename, "Name");

    ASSERT_EQ(W().dw_no->SetRow(2), 1);
    ASSERT_EQ(laurel::current_id, b);
    prepared = AllPrepare();
    ASSERT_EQ(prepared.result, 1);
    // New's values are values: the grade, the zero amount and period; its placeholder dates print.
    EXPECT_EQ(m.mj_secrcode, "4 非密");
    EXPECT_EQ(m.xm_zongtz, "0.00");
    EXPECT_EQ(m.xm_huis, "0");
    EXPECT_EQ(m.xm_startdate, "0001-01");
    EXPECT_EQ(m.ry_birthday, "0001-01");
    EXPECT_EQ(m.ry_grdtime, "0001-01");
    EXPECT_EQ(m.xm_ename, "");
    EXPECT_EQ(m.xm_planname, "");
    EXPECT_EQ(m.xm_pingjia, "");
    EXPECT_EQ(m.xm_name, "项目二");
    EXPECT_EQ(m.s_xm_checkcode, "FFFFFFFFFFFFFFFF");

    // Nulls of the optional grade, amount, period and graduation date give the empty text.
    ExecCommit("UPDATE j_xm_base SET mj_secrcode = NULL, xm_zongtz = NULL, xm_huis = NULL WHERE xm_id = ?",
               {b});
    ExecCommit("UPDATE j_ry_finish SET ry_grdtime = NULL WHERE xm_id = ?", {b});
    ExecCommit("UPDATE j_xm_base SET xm_zongtz = 0.5 WHERE xm_id = ?", {a});
    prepared = AllPrepare();
    ASSERT_EQ(prepared.result, 1);
    EXPECT_EQ(m.mj_secrcode, "");
    EXPECT_EQ(m.xm_zongtz, "");
    EXPECT_EQ(m.xm_huis, "");
    EXPECT_EQ(m.ry_grdtime, "");
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
}

// ---------------------------------------------------------------------------------------------------
// The Print command.

// A page that cannot be read is no verdict and no empty field: the check and the print buffer
// stop after the database's box.
TEST_F(CheckTest, APageThatCannotBeReadStopsTheCheckAndThePrintBuffer) {
    OpenMainWindow();
    ExecCommit("ALTER TABLE j_ry_finish RENAME TO unreadable");
    Dialogs().Clear();
    AnswerDatabaseError();
    EXPECT_EQ(Menu().all_check(), 0);
    EXPECT_EQ(Boxes().size(), 1u) << Dialogs().Transcript();
    EXPECT_EQ(Boxes().front().substr(0, 16), "数据库错误|");

    Dialogs().Clear();
    AnswerDatabaseError();
    const laurel::check::Prepared prepared = AllPrepare();
    EXPECT_EQ(prepared.result, -1);
    EXPECT_EQ(Boxes().size(), 1u) << Dialogs().Transcript();
    EXPECT_EQ(prepared.buffer.xm_name, "项目一") << "the project pages were read";
    EXPECT_EQ(prepared.buffer.ry_name, "") << "nothing read for the contributor";
    ExecCommit("ALTER TABLE unreadable RENAME TO j_ry_finish");
}

TEST_F(CheckTest, PrintStopsAtTheCheckWithoutProgressText) {
    OpenMainWindow();
    ExecCommit("UPDATE j_ry_finish SET ry_name = ' ' WHERE xm_id = ? AND ry_no = 1", {a});
    Dialogs().Answer(1);
    Menu().print_clicked();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|第一完成人姓名不能为空！"});

    // Declining the version number ends it too, and the Check command shows the same boxes.
    Complete(a);
    Dialogs().Clear();
    Dialogs().Answer(2);
    Menu().print_clicked();
    Dialogs().Answer(2);
    Menu().check_clicked();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{kQuestion, kQuestion}));
    EXPECT_FALSE(W().st_progress->Visible());
    EXPECT_TRUE(W().dw_no1->Enabled());

    // A version number made by Print's check protects the pages at once, as the Check command's does,
    // whatever becomes of the document.
    Dialogs().Clear();
    for (int answer : {1, 1, 1}) Dialogs().Answer(answer);
    Menu().print_clicked();
    EXPECT_EQ(Boxes().size(), 3u) << Dialogs().Transcript();
    EXPECT_EQ(StoredBase(a, "xm_xg"), "1");
    for (rt::ui::DataWindowControl* page : W().Pages()) EXPECT_FALSE(page->Enabled()) << page->Name();
    EXPECT_FALSE(W().cb_page_insert->Enabled());

    // The server ends the program's session while the user chooses where to put the document: the
    // document is handed over, and the connection that went meanwhile is no failure of Print's.
    if (!testing_support::ScratchDatabase::OnPostgreSQL()) return;
    const std::filesystem::path program = Db().Folder() / "program";
    std::filesystem::create_directories(program / "model");
    std::filesystem::copy_file(LAUREL_TEMPLATE, program / "model" / "m_model2.docx");
    laurel::current_path = program.string();
    const std::filesystem::path target = Db().Folder() / "delivered.docx";
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().AnswerFile({1, target.string(), target.filename().string()});
    Dialogs().whileFileShown = [&](const rt::ui::FileRequest&) {
        EXPECT_TRUE(testing_support::CutOff(Db(), laurel::sqlca));
    };
    Menu().print_clicked();
    Dialogs().whileFileShown = nullptr;
    EXPECT_EQ(Boxes(), std::vector<std::string>{kVersion + StoredBase(a, "xm_guid").value_or("")});
    EXPECT_TRUE(std::filesystem::is_regular_file(target));
}

}  // namespace

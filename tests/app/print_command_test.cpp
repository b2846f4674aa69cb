// The Print command on the data side alone: no window, no toolkit. Its chain of steps, and the whole
// command on the pages of a complete recommendation in a private database, down to the document
// handed to the user.

#include "check/print_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "runtime/datawindow/datawindow.h"
#include "runtime/testing/scripted_dialogs.h"
#include "runtime/word/word.h"
#include "schema/dataobjects.h"
#include "tests/support/testdb.h"

namespace {

namespace fs = std::filesystem;

class PrintCommandTest : public testing::Test {
  protected:
    void SetUp() override {
        auto scripted = std::make_unique<rt::ScriptedDialogs>();
        dialogs_ = scripted.get();
        previous_ = rt::SetDialogs(std::move(scripted));
        // The hash is the word engine's tests' subject; here it need only open the document.
        rt::word::SetProtectionSpinCount(10);
    }
    void TearDown() override {
        EXPECT_EQ(dialogs_->Unexpected(), 0) << dialogs_->Transcript();
        rt::SetDialogs(std::move(previous_));
        rt::word::SetProtectionSpinCount(rt::word::kProtectionSpinCount);
    }

    std::vector<std::string> Boxes() const {
        std::vector<std::string> out;
        for (const auto& r : dialogs_->messages) out.push_back(r.request.title + "|" + r.request.text);
        return out;
    }

    // The notice as the command drives it: shown and hidden, as a trace.
    bool progressShown_ = false;
    const laurel::check::ProgressText progress_{[this] { progressShown_ = true; },
                                                [this] { progressShown_ = false; }};
    rt::ScriptedDialogs* dialogs_ = nullptr;

  private:
    std::unique_ptr<rt::DialogService> previous_;
};

TEST_F(PrintCommandTest, ChainsItsStepsUnderTheProgressTextAndReportsAnEngineFailure) {
    const laurel::check::ProgressText& shown = progress_;

    std::vector<std::string> trace;
    int checkResult = 1;
    std::string thrower;
    const auto step = [&](const std::string& name, int result) {
        return [&, name, result](auto&&...) {
            trace.push_back(name + (progressShown_ ? "+" : "-"));
            if (name == thrower) throw rt::word::Error("书签不存在: xm_name");
            return name == "check" ? checkResult : result;
        };
    };
    const auto prepare = [&](int result) {
        return [s = step("prepare", result)] { return laurel::check::Prepared{s(), {}}; };
    };
    const laurel::check::PrintSteps steps{step("check", 1), prepare(1), step("print", 0),
                                          step("print789", 1)};

    // A whole run: the form document's failure to start does not stop the lists document.
    laurel::check::RunPrintCommand(shown, steps);
    EXPECT_EQ(trace, (std::vector<std::string>{"check-", "prepare+", "print+", "print789-"}));
    EXPECT_FALSE(progressShown_);

    // The check refuses: nothing more.
    trace.clear();
    checkResult = 0;
    laurel::check::RunPrintCommand(shown, steps);
    EXPECT_EQ(trace, std::vector<std::string>{"check-"});
    checkResult = 1;

    // The engine refuses part-way: one error box, the progress text gone, no later step.
    for (const std::string failing : {"print", "print789"}) {
        trace.clear();
        thrower = failing;
        dialogs_->Clear();
        dialogs_->Answer(1);
        laurel::check::RunPrintCommand(shown, steps);
        EXPECT_EQ(trace.back().substr(0, failing.size()), failing);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"错误|生成word版本推荐书失败：书签不存在: xm_name"});
        EXPECT_EQ(dialogs_->messages.back().request.icon, rt::Icon::StopSign);
        EXPECT_FALSE(progressShown_);
    }
    EXPECT_EQ(trace, (std::vector<std::string>{"check-", "prepare+", "print+", "print789-"}));

    // A print buffer that cannot be filled (a page could not be read): one box, no document.
    trace.clear();
    thrower.clear();
    dialogs_->Clear();
    dialogs_->Answer(1);
    laurel::check::RunPrintCommand(shown, laurel::check::PrintSteps{step("check", 1), prepare(-1),
                                                                    step("print", 1), step("print789", 1)});
    EXPECT_EQ(trace, (std::vector<std::string>{"check-", "prepare+"}));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"错误|读取推荐书数据失败，未生成文档！"});
    EXPECT_FALSE(progressShown_);
}

// The command reads every page itself, step by step, and nothing but the pages it is handed: a
// complete recommendation becomes its document, numbered, with the first contributor in the form
// and the others in their list.
TEST_F(PrintCommandTest, MakesTheDocumentFromThePagesItIsHanded) {
    testing_support::TestDatabase db;
    rt::Transaction sqlca;
    db.Connect(sqlca);
    schema::RegisterDataObjects();
    const std::string id = "200812340001";
    const auto exec = [&](const std::string& sql, const std::vector<rt::Value>& args) {
        ASSERT_EQ(sqlca.Execute(sql, args), 0) << sql << ": " << sqlca.SQLErrText;
    };
    exec(
        "INSERT INTO j_xm_base (xm_id, xm_askno, xm_name, xm_xg, xm_guid, xm_topicword, bm_deptcode, "
        "sf_public, xk_grpno, jb_awardcode, xk_majorname1, xk_majorcode1, hy_etradecode, ly_socucode, xm_no, "
        "xm_startdate, xm_finishdate, xm_abstract, xm_innovation, xm_recom) VALUES (?, '2008 01AA', "
        "'项目一', "
        "'0', 'FFFFFFFFFFFFFFFF', '主题词', '003', '1', '101', '4', '机械学', '4601010', '03', '06', "
        "'登记号1', '2006-07-15', '2008-12-31', '简介', '创新点', '推荐意见')",
        {id});
    for (const auto& [no, name] : {std::pair{1, "张三"}, std::pair{2, "完成人二"}})
        exec(
            "INSERT INTO j_ry_finish (xm_id, ry_no, ry_name, ry_id, ry_birthday, ry_bplace, mz_nationcode, "
            "xb_sex, dp_sectcode, zc_titlecode, wp_edulev, xw_degree, ry_workmajor, ry_specmajor, ry_unit, "
            "ry_fixtel, ry_postaddr, ry_postcode, ry_mpno, ry_start, ry_finish) VALUES (?, ?, ?, "
            "'110101196005200011', '1960-05-20', '北京', '01', '2', '13', '303', '03', '4', '机械', '制造', "
            "'某研究所', '0571-88888888', '某路1号', '310000', '13900000000', '2006-07-01', '2008-12-01')",
            {id, no, name});
    ASSERT_EQ(sqlca.Commit(), 0) << sqlca.SQLErrText;

    std::vector<std::unique_ptr<rt::DataWindow>> pages;
    const auto page = [&](const char* object) -> rt::DataWindow& {
        pages.push_back(std::make_unique<rt::DataWindow>(object));
        pages.back()->SetTransObject(sqlca);
        return *pages.back();
    };
    rt::DataWindow &dw1 = page("dw_1"), &dw2 = page("dw_2"), &dw3 = page("dw_3"), &dw4 = page("dw_4"),
                   &dw71 = page("dw_71"), &list = page("dw");
    ASSERT_EQ(list.Retrieve(), 1);
    const laurel::check::PrintPages handed{{dw1, dw2, dw3, dw4, dw71, list},
                                           {dw1, dw2, dw3, dw4, page("dw_512"), page("dw_522"), page("dw_53"),
                                            dw71, page("dw_92"), page("dw_94")},
                                           {page("dw_51"), page("dw_52"), page("dw_6")},
                                           {page("dw_72"), page("dw_82"), page("dw_91"), page("dw_93")}};
    const fs::path working = db.Folder() / "work";
    fs::create_directories(working);
    const fs::path target = db.Folder() / "推荐书.docx";

    dialogs_->Answer(1);  // a version number: yes
    dialogs_->Answer(1);  // the number shown
    dialogs_->AnswerFile({1, target.string(), target.filename().string()});
    laurel::check::RunPrintCommand(progress_, handed,
                                   {sqlca, id, LAUREL_PROGRAM_FOLDER, working.string(), working.string()});
    ASSERT_EQ(Boxes().size(), 2u) << dialogs_->Transcript();
    EXPECT_EQ(Boxes()[0], "提示信息|你要生成推荐书吗?");
    EXPECT_EQ(Boxes()[1].substr(0, Boxes()[1].size() - 16), "提示信息|当前推荐书的版本号为: ");
    EXPECT_FALSE(progressShown_);
    EXPECT_TRUE(fs::is_empty(working)) << "the working document goes once the user has the copy";

    rt::word::Application word;
    ASSERT_EQ(word.ConnectToNewObject("word.application"), 0);
    rt::word::Document& document = word.DocumentsAdd(target.string());
    EXPECT_EQ(document.BookmarkText("xm_name"), "项目一");
    EXPECT_EQ(document.BookmarkText("XM_VERSION"), Boxes()[1].substr(Boxes()[1].size() - 16));
    EXPECT_EQ(document.BookmarkText("RY_NAME"), "张三");
    EXPECT_EQ(document.CellText(10, 2, 2), "完成人二");
    EXPECT_EQ(document.BookmarkText("xm_wcr"), "张三, 完成人二");
    word.Quit();
}

}  // namespace

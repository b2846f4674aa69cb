// The lists document: the contributors, units, application units and patents of the current
// recommendation filled into the working document from the list pages, the two lines of names, the
// protection, and the hand-over of the finished document to the path the user chooses.
//
// The working document is the template copied into the program folder under the recommendation
// number, as the form document leaves it; what is checked is what the user's copy holds afterwards,
// read back through the word-processing engine, against the template's own text.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "document/working_document.h"
#include "records/globals.h"
#include "records/m_main.h"
#include "runtime/formats/zip.h"
#include "runtime/platform/path.h"
#include "runtime/word/word.h"
#include "tests/support/app_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/platform.h"

namespace {

namespace fs = std::filesystem;

using laurel::records::m_main;
using testing_support::AppTest;
using testing_support::Recommendation;

const Recommendation kRec{"201812340001", "A1", "甲项目"};

// A document opened read-only through its own connection to the engine.
class Reader {
  public:
    explicit Reader(const fs::path& file) {
        EXPECT_EQ(app_.ConnectToNewObject("word.application"), 0);
        doc_ = &app_.DocumentsAdd(rt::PathText(file));
    }
    // Closes its own document only: another reader may still be reading from the same engine.
    ~Reader() {
        doc_->Close();
        app_.DisconnectObject();
    }
    std::string Cell(int table, int row, int column) const { return doc_->CellText(table, row, column); }
    std::string Bookmark(const std::string& name) const { return doc_->BookmarkText(name); }

  private:
    rt::word::Application app_;
    rt::word::Document* doc_ = nullptr;
};

using testing_support::FileBytes;

std::string Attribute(const std::string& xml, const std::string& name) {
    std::smatch m;
    return std::regex_search(xml, m, std::regex("w:" + name + "=\"([^\"]*)\"")) ? m[1].str() : "<none>";
}

std::string FromBase64(const std::string& text) {
    static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        const auto at = kAlphabet.find(c);
        if (at == std::string::npos) break;
        bits = (bits << 6) | static_cast<unsigned>(at);
        if ((count += 6) >= 8) out += static_cast<char>((bits >> (count -= 8)) & 0xFF);
    }
    return out;
}

// The protection the document's settings carry: its kind, and whether the password opens it.
struct Protection {
    std::string edit, enforcement;
    bool password = false;
};

Protection ProtectionOf(const fs::path& docx, const fs::path& scratch) {
    rt::Zip zip;
    zip.zipfilename = docx.string();
    zip.filestoprocess = "settings.xml";
    zip.processsubfolders = true;
    zip.preservepaths = false;
    zip.unziptofolder = scratch.string();
    EXPECT_EQ(zip.unzip(), 0);
    const std::string xml = FileBytes(scratch / "settings.xml");
    const std::string spin = Attribute(xml, "cryptSpinCount");
    return {
        Attribute(xml, "edit"), Attribute(xml, "enforcement"),
        spin != "<none>" && Attribute(xml, "hash") ==
                                rt::word::ProtectionHash("Ann is a cat", FromBase64(Attribute(xml, "salt")),
                                                         std::stoul(spin))};
}

class ListsDocumentTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        Seed(kRec);
        OpenMainWindow();
        laurel::current_id = kRec.id;
        program_ = Db().Folder() / "prog";
        fs::create_directories(program_);
        laurel::current_path = program_.string();
        buffer_.xm_askno = kRec.askno;
        PutWorking();
    }

    laurel::document::PrintBuffer buffer_;
    fs::path Working() const {
        return rt::FsPath(laurel::document::WorkingDocumentPath(laurel::WorkingFolder(), kRec.askno));
    }
    fs::path Target() { return Db().Folder() / "out" / "推荐书.docx"; }
    // The working document as the form document leaves it.
    void PutWorking() {
        fs::create_directories(Working().parent_path());
        fs::copy_file(LAUREL_TEMPLATE, Working(), fs::copy_options::overwrite_existing);
    }

    // Runs with the save dialog answering the given result and path.
    int Run(int dialog, const fs::path& path) {
        Dialogs().AnswerFile({dialog, path.string(), path.filename().string()});
        return AllPrint789(buffer_);
    }
    int RunToTarget() {
        fs::create_directories(Target().parent_path());
        return Run(1, Target());
    }

    void Contributor(int no, const char* name, const char* sex, const char* birthday, const char* title,
                     const char* unit) {
        if (no > 1) AddContributor(kRec.id, no, "x");
        ExecCommit(
            "UPDATE j_ry_finish SET ry_name = ?, xb_sex = ?, ry_birthday = ?, zc_titlecode = ?, ry_unit = ? "
            "WHERE xm_id = ? AND ry_no = ?",
            {Nullable(name), Nullable(sex), Nullable(birthday), Nullable(title), Nullable(unit), kRec.id,
             no});
    }
    void Unit(int no, const char* name, const char* phone, const char* person) {
        if (no > 1) AddUnit(kRec.id, no, "x");
        ExecCommit(
            "UPDATE j_dw_finish SET dw_name = ?, dw_rtelphone = ?, dw_rperson = ? WHERE xm_id = ? AND dw_no "
            "= ?",
            {Nullable(name), Nullable(phone), Nullable(person), kRec.id, no});
    }

    static rt::Value Nullable(const char* s) { return s ? rt::Value(s) : rt::Value(); }

    fs::path program_;
};

// ---------------------------------------------------------------------------------------------
// What the document carries.

TEST_F(ListsDocumentTest, ListsAndLinesAreFilledFromThePages) {
    Contributor(1, "张三", "1", "1960-01-05", "011", "单位甲");
    Contributor(2, " 李四 ", "2", "1965-03-17", "082", nullptr);
    Contributor(3, nullptr, "1", "1970-12-01", "999", "单位丙");
    // Titles print as the contributor form names them; the list page's list speaks only for a code
    // the form lacks (085), and a code neither has (999) prints as nothing.
    Contributor(4, "", "1", "1971-01-01", "303", "单位丁");
    Contributor(5, "王五", "1", "1972-02-02", "302", "单位戊");
    Contributor(6, "赵六", "1", "1973-03-03", "114", "单位己");
    Contributor(7, "孙七", "1", "1974-04-04", "085", "单位庚");
    Unit(1, nullptr, "0571-1234", "赵一");
    Unit(2, "单位乙", nullptr, nullptr);
    Unit(3, "", "0571-5678", "钱二");
    Unit(4, "单位丁", "1", "孙三");

    AddApplication(kRec.id, 1, "应用一");
    AddApplication(kRec.id, 2, "应用二");
    AddApplication(kRec.id, 5, "应用五");
    ExecCommit(
        "UPDATE j_yy_app SET yy_stsatdate = '2007-03-15', dw_rperson = '周六 123', yy_benefit = 1234567.5, "
        "sf_submit = '1' WHERE xm_id = ? AND yy_id = 1",
        {kRec.id});
    ExecCommit(
        "UPDATE j_yy_app SET dw_unitname = NULL, yy_benefit = 0.01, sf_submit = '0' WHERE xm_id = ? AND "
        "yy_id = 2",
        {kRec.id});
    ExecCommit("UPDATE j_yy_app SET yy_stsatdate = NULL, yy_benefit = NULL WHERE xm_id = ? AND yy_id = 5",
               {kRec.id});

    AddProperty(kRec.id, 1, "专利甲");
    AddProperty(kRec.id, 3, "专利丙");
    ExecCommit(
        "UPDATE j_zl_patent SET zl_sortcode = '发明专利', zl_nation = '中国', zl_appno = 'CN001', zl_no = "
        "'ZL001' "
        "WHERE xm_id = ? AND zl_id = 1",
        {kRec.id});
    ExecCommit("UPDATE j_zl_patent SET zl_name = NULL WHERE xm_id = ? AND zl_id = 3", {kRec.id});

    EXPECT_EQ(RunToTarget(), 1);
    EXPECT_TRUE(Boxes().empty());
    ASSERT_TRUE(fs::exists(Target()));
    EXPECT_FALSE(fs::exists(Working()));

    const Reader got(Target());
    const Reader tpl(LAUREL_TEMPLATE);

    // Contributors 2 to 7 in rows 2 to 7; the first is named only in the line.
    const std::vector<std::vector<std::string>> contributors = {
        {"2", " 李四 ", "女", "1965-03", "高级工程师", ""},
        {"3", "", "男", "1970-12", "", "单位丙"},
        {"4", "", "男", "1971-01", "其它中级", "单位丁"},
        {"5", "王五", "男", "1972-02", "其它副高级", "单位戊"},
        {"6", "赵六", "男", "1973-03", "助理畜牧师", "单位己"},
        {"7", "孙七", "男", "1974-04", "技术员", "单位庚"},
    };
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(got.Cell(10, r + 2, c + 1), contributors[r][c])
                << "table 10 row " << r + 2 << " col " << c + 1;
    for (int c = 1; c <= 6; ++c) {
        EXPECT_EQ(got.Cell(10, 1, c), tpl.Cell(10, 1, c));
        EXPECT_EQ(got.Cell(10, 8, c), tpl.Cell(10, 8, c));
    }
    EXPECT_EQ(got.Bookmark("xm_wcr"), "张三,  李四 , , 王五, 赵六, 孙七");

    // A null first unit does not leave the line starting with a separator.
    const std::vector<std::vector<std::string>> units = {
        {"1", "", "0571-1234", "赵一"},
        {"2", "单位乙", "", ""},
        {"3", "", "0571-5678", "钱二"},
        {"4", "单位丁", "1", "孙三"},
    };
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(got.Cell(11, r + 2, c + 1), units[r][c])
                << "table 11 row " << r + 2 << " col " << c + 1;
    EXPECT_EQ(got.Cell(11, 6, 2), tpl.Cell(11, 6, 2));
    EXPECT_EQ(got.Bookmark("xm_wcdw"), "单位乙, , 单位丁");

    // The seeded placeholders: date 0001-01-01, benefit 0, no proof.
    const std::vector<std::vector<std::string>> applications = {
        {"1.应用一", "2007-03", "周六 123", "1,234,567.50", "有"},
        {"2.", "0001-01", "", "0.01", "无"},
        {"5.应用五", "", "", "", "无"},
    };
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(got.Cell(12, r + 3, c + 1), applications[r][c])
                << "table 12 row " << r + 3 << " col " << c + 1;
    for (int c = 1; c <= 5; ++c) {
        EXPECT_EQ(got.Cell(12, 2, c), tpl.Cell(12, 2, c));
        EXPECT_EQ(got.Cell(12, 6, c), tpl.Cell(12, 6, c));
    }

    const std::vector<std::vector<std::string>> property = {
        {"1.专利甲", "发明专利", "中国", "CN001", "ZL001"},
        {"3.", "", "", "", ""},
    };
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(got.Cell(14, r + 3, c + 1), property[r][c])
                << "table 14 row " << r + 3 << " col " << c + 1;
    for (int c = 1; c <= 5; ++c) EXPECT_EQ(got.Cell(14, 5, c), tpl.Cell(14, 5, c));
    EXPECT_EQ(got.Cell(13, 1, 1), tpl.Cell(13, 1, 1));

    const Protection protection = ProtectionOf(Target(), Db().Folder() / "unpacked");
    EXPECT_EQ(protection.edit, "readOnly");
    EXPECT_EQ(protection.enforcement, "1");
    EXPECT_TRUE(protection.password);
}

TEST_F(ListsDocumentTest, UnitsLineIsCutAt112BytesWithoutSplittingACharacter) {
    const std::string twenty = "一二三四五六七八九十一二三四五六七八九十";
    const std::string fourteen = "一二三四五六七八九十一二三四";
    for (int no = 1; no <= 9; ++no) Unit(no, twenty.c_str(), nullptr, nullptr);
    // 40 + 2 + 40 + 2 + 28 bytes: the third name cut after 14 characters.
    EXPECT_EQ(RunToTarget(), 1);
    EXPECT_EQ(Reader(Target()).Bookmark("xm_wcdw"), twenty + ", " + twenty + ", " + fourteen);

    // One byte earlier the 15th character of the third name would be split at byte 112: it goes whole.
    const std::string odd = "a" + twenty.substr(0, 19 * 3);
    Unit(1, odd.c_str(), nullptr, nullptr);
    PutWorking();
    EXPECT_EQ(RunToTarget(), 1);
    EXPECT_EQ(Reader(Target()).Bookmark("xm_wcdw"), odd + ", " + twenty + ", " + fourteen);
}

// ---------------------------------------------------------------------------------------------
// Hand-over: the dialog and the copy.

TEST_F(ListsDocumentTest, CopyReplacesAnExistingFileAndTheDialogIsAskedAfterWordHasQuit) {
    fs::create_directories(Target().parent_path());
    std::ofstream(Target()) << "old";
    // The user's own file stays his own.
    fs::permissions(Target(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(RunToTarget(), 1);
    if (testing_support::ModesKept()) {
        EXPECT_EQ(fs::status(Target()).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    ASSERT_EQ(Dialogs().files.size(), 1U);
    const auto& request = Dialogs().files.front();
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.title, "文件保存路径");
    EXPECT_EQ(request.extension, "docx");
    EXPECT_EQ(request.filter, "Word Files (*.*),*.*");
    EXPECT_EQ(request.initialDir, "D:\\");
    EXPECT_NE(FileBytes(Target()), "old");
    EXPECT_EQ(Reader(Target()).Bookmark("xm_wcr"), "完成人一");
    EXPECT_FALSE(fs::exists(Working()));
    // Nothing left beside the target from the copy.
    EXPECT_EQ(std::distance(fs::directory_iterator(Target().parent_path()), fs::directory_iterator()), 1);
}

TEST_F(ListsDocumentTest, CancelledDialogDeletesTheWorkingDocumentSilently) {
    EXPECT_EQ(Run(0, {}), 1);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_FALSE(fs::exists(Working()));
}

// The user asked for a copy and did not get one: the finished document is kept for its
// recommendation, the box says where, and it goes once a later Print of that recommendation has
// handed one over, when the recommendation is deleted (which says so), or at start-up once the
// database holds it no more. Another recommendation's of the same number is never touched by it.
TEST_F(ListsDocumentTest, FailedDialogOrCopyKeepsTheDocumentUntilTheUserHasOne) {
    const std::string keptText = laurel::document::KeptDocumentPath(program_.string(), kRec.id, kRec.askno);
    // Kept for another recommendation that carries the same number (imported, or from another
    // desktop).
    const fs::path another = rt::FsPath(
        laurel::document::KeptDocumentPath(program_.string(), testing_support::XmId(7), kRec.askno));
    const fs::path kept = rt::FsPath(keptText);
    const std::string where = "\n完成的推荐书已保留在：\n" + rt::ShownPath(keptText) +
                              "\n它会一直留在那里，直到本推荐书再次打印并成功保存到所选位置。";
    Dialogs().Answer(1);
    EXPECT_EQ(Run(-1, {}), 1);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"错误|无法得到保存文件的路径！" + where});
    EXPECT_FALSE(fs::exists(Working()));
    EXPECT_EQ(Reader(kept).Bookmark("xm_wcr"), "完成人一");

    // A folder that does not exist cannot take the copy: the newer document takes the kept one's place.
    ExecCommit("UPDATE j_ry_finish SET ry_name = '完成人新' WHERE xm_id = ? AND ry_no = 1", {kRec.id});
    Dialogs().Clear();
    PutWorking();
    Dialogs().Answer(1);
    EXPECT_EQ(Run(1, Db().Folder() / "missing" / "x.docx"), 1);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"错误|Error writing targetfile！" + where});
    EXPECT_EQ(Dialogs().messages.back().request.icon, rt::ui::Icon::StopSign);
    EXPECT_EQ(Reader(kept).Bookmark("xm_wcr"), "完成人新");
    laurel::TidyWorkingFolder(program_.string());
    EXPECT_TRUE(fs::exists(kept)) << "start-up leaves it";

    fs::copy_file(kept, another);
    laurel::TidyWorkingFolder(program_.string());
    EXPECT_TRUE(fs::exists(another)) << "a document of a recommendation not known here stays";

    Dialogs().Clear();
    PutWorking();
    EXPECT_EQ(RunToTarget(), 1);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Reader(Target()).Bookmark("xm_wcr"), "完成人新");
    EXPECT_FALSE(fs::exists(kept)) << "the kept document went once the user had the newer one";
    EXPECT_TRUE(fs::exists(another)) << "the other recommendation's stays";
    EXPECT_TRUE(fs::is_empty(rt::FsPath(laurel::WorkingFolder())));

    // Start-up: the other recommendation is not in the database, and its document goes.
    laurel::current_id = laurel::kNoRecommendation;
    rt::ui::Close(W());
    OpenMainWindow();
    laurel::current_path = program_.string();
    laurel::document::TidyKeptDocuments(program_.string(), {kRec.id});
    EXPECT_FALSE(fs::exists(kept.parent_path()));

    // Delete: the recommendation's kept document goes with it, and the user hears so.
    Dialogs().Clear();
    PutWorking();
    Dialogs().Answer(1);
    EXPECT_EQ(Run(-1, {}), 1);
    ASSERT_TRUE(fs::exists(kept));
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    Menu().delete_recommendation->Click();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息：|真的要删除吗？",
                                                 "提示信息|为这份推荐书保留的未交付的word版本也已删除：\n" +
                                                     rt::ShownPath(keptText)}));
    EXPECT_FALSE(fs::exists(kept.parent_path()));
}

TEST_F(ListsDocumentTest, ChoosingTheWorkingDocumentItselfKeepsIt) {
    EXPECT_EQ(Run(1, Working()), 1);
    EXPECT_TRUE(Boxes().empty());
    ASSERT_TRUE(fs::exists(Working()));
    EXPECT_EQ(Reader(Working()).Bookmark("xm_wcr"), "完成人一");
}

// Installed where the user cannot write, the working document lies in the user's own folder.
TEST_F(ListsDocumentTest, ReadOnlyProgramFolderKeepsTheWorkingDocumentInTheUsersOwnFolder) {
    const fs::path made = Working();
    std::ofstream(Db().Folder() / "blocker") << "a file";
    laurel::current_path = (Db().Folder() / "blocker" / "program").string();
    const testing_support::UserDataFolder user((Db().Folder() / "home-data").string());
    const fs::path own = rt::FsPath(laurel::WorkingFolder());
    ASSERT_EQ(own.parent_path().parent_path(), user.Home());
    if (testing_support::ModesKept()) {
        EXPECT_EQ(fs::status(own.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
        EXPECT_EQ(fs::status(own).permissions() & fs::perms::all, fs::perms::owner_all);
    }
    const fs::path moved = rt::FsPath(laurel::document::WorkingDocumentPath(own.string(), kRec.askno));
    fs::create_directories(moved.parent_path());
    fs::rename(made, moved);

    EXPECT_EQ(RunToTarget(), 1);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Reader(Target()).Bookmark("xm_wcr"), "完成人一");
    EXPECT_TRUE(fs::is_empty(own));
}

// ---------------------------------------------------------------------------------------------
// Runs that cannot complete.

TEST_F(ListsDocumentTest, UnreachableWordIsReportedAndNothingElseHappens) {
    {
        rt::word::Application running;
        if (running.ConnectToObject("", "word.application") == 0) running.Quit();
    }
    Dialogs().Answer(1);
    rt::word::Application::SetEngineAvailable(false);
    const int result = AllPrint789(buffer_);
    rt::word::Application::SetEngineAvailable(true);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"错误|启动word错误: -3"});
    EXPECT_TRUE(Dialogs().files.empty());
    EXPECT_EQ(FileBytes(Working()), FileBytes(LAUREL_TEMPLATE));
}

TEST_F(ListsDocumentTest, MissingWorkingDocumentEndsTheRunBeforeTheDialog) {
    fs::remove(Working());
    EXPECT_THROW(AllPrint789(buffer_), rt::word::Error);
    EXPECT_TRUE(Dialogs().files.empty());
    EXPECT_TRUE(Boxes().empty());

    // The engine is not left holding anything: the next run goes through.
    PutWorking();
    EXPECT_EQ(RunToTarget(), 1);
    EXPECT_TRUE(fs::exists(Target()));
}

// A list that cannot be read is a failure, never an empty list: the run ends after the database's
// box, nothing is handed over, the working document goes and the engine holds nothing.
TEST_F(ListsDocumentTest, AListThatCannotBeReadEndsTheRunWithoutAHandOver) {
    for (const char* table : {"j_ry_finish", "j_dw_finish", "j_yy_app", "j_zl_patent"}) {
        SCOPED_TRACE(table);
        if (!fs::exists(Working())) PutWorking();
        ExecCommit(std::string("ALTER TABLE ") + table + " RENAME TO unreadable");
        Dialogs().Clear();
        AnswerDatabaseError();
        fs::create_directories(Target().parent_path());
        Dialogs().AnswerFile({1, Target().string(), Target().filename().string()});
        EXPECT_THROW(AllPrint789(buffer_), laurel::document::UnreadPage);
        EXPECT_EQ(Boxes().size(), 1u) << Dialogs().Transcript();
        EXPECT_TRUE(Dialogs().files.empty());
        EXPECT_FALSE(fs::exists(Target()));
        EXPECT_FALSE(fs::exists(Working()));
        rt::word::Application probe;
        EXPECT_NE(probe.ConnectToObject("", "word.application"), 0);
        ExecCommit(std::string("ALTER TABLE unreadable RENAME TO ") + table);
        Dialogs().Clear();
        Dialogs().files.clear();
    }
}

TEST_F(ListsDocumentTest, MoreRowsThanTheTemplateHoldsEndsTheRunAndKeepsTheWorkingDocument) {
    // One contributor more than table 10 has rows.
    int rows = 1;
    {
        const Reader tpl(LAUREL_TEMPLATE);
        for (;; ++rows) try {
                tpl.Cell(10, rows + 1, 1);
            } catch (const rt::word::Error&) {
                break;
            }
    }
    for (int no = 2; no <= rows + 1; ++no) AddContributor(kRec.id, no, "人" + std::to_string(no));
    const std::string before = FileBytes(Working());
    EXPECT_THROW(AllPrint789(buffer_), rt::word::Error);
    EXPECT_TRUE(Dialogs().files.empty());
    EXPECT_EQ(FileBytes(Working()), before);
    // The half-filled document is not left behind in a hidden engine.
    rt::word::Application probe;
    EXPECT_NE(probe.ConnectToObject("", "word.application"), 0);
}

// An imported number may hold path separators: the working document stays in its folder, where
// the form document saved it.
TEST_F(ListsDocumentTest, RecommendationNumberWithSeparatorsStaysInTheProgramFolder) {
    buffer_.xm_askno = "../A1";
    const fs::path own = rt::FsPath(laurel::WorkingFolder());
    const fs::path working = rt::FsPath(laurel::document::WorkingDocumentPath(own.string(), "../A1"));
    EXPECT_EQ(working.parent_path(), own / laurel::document::kDocumentFolder);
    fs::rename(Working(), working);
    EXPECT_EQ(RunToTarget(), 1);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(fs::exists(Target()));
    EXPECT_FALSE(fs::exists(working));
    EXPECT_FALSE(fs::exists(own / "A1.docx"));
    EXPECT_FALSE(fs::exists(program_ / "A1.docx"));
    EXPECT_FALSE(fs::exists(Db().Folder() / "A1.docx"));
}

}  // namespace

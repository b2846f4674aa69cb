// The form document: the template that the build makes (its bookmarks and the rows and columns of the
// tables that both printing steps address), and all_print on a recommendation seeded in the database,
// with the working document read back through the engine.

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <pugixml.hpp>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "check/print_command.h"
#include "document/working_document.h"
#include "runtime/platform/files.h"
#include "runtime/platform/path.h"
#include "runtime/word/word.h"
#include "tests/support/app_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/platform.h"

namespace {

using testing_support::TinyDisk;

namespace fs = std::filesystem;
using laurel::document::PrintBuffer;
using rt::word::Application;
using rt::word::Document;
using testing_support::AppTest;
using testing_support::Recommendation;
using testing_support::TinyDisk;

const Recommendation kRec{"201812340001", "2008 0101", "甲项目"};

using testing_support::FileBytes;

// The parts of a package, to look at or to change.
std::map<std::string, std::string> ReadParts(const fs::path& path) {
    std::map<std::string, std::string> parts;
    int code = 0;
    zip_t* za = zip_open(rt::PathText(path).c_str(), ZIP_RDONLY, &code);
    if (za == nullptr) return parts;
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st);
        std::string data(st.size, '\0');
        zip_file_t* f = zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0);
        zip_fread(f, data.data(), st.size);
        zip_fclose(f);
        parts[st.name] = data;
    }
    zip_discard(za);
    return parts;
}

void WriteParts(const fs::path& path, const std::map<std::string, std::string>& parts) {
    int code = 0;
    zip_t* za = zip_open(rt::PathText(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(za, nullptr);
    for (const auto& [name, text] : parts)
        zip_file_add(za, name.c_str(), zip_source_buffer(za, text.data(), text.size(), 0), ZIP_FL_ENC_UTF_8);
    ASSERT_EQ(zip_close(za), 0);
}

// Every bookmark of the template, by its exact name.
std::set<std::string> BookmarkNames(const fs::path& docx) {
    pugi::xml_document doc;
    const std::string xml = ReadParts(docx)["word/document.xml"];
    EXPECT_TRUE(doc.load_buffer(xml.data(), xml.size()));
    std::set<std::string> names;
    for (pugi::xpath_node n : doc.select_nodes("//w:bookmarkStart"))
        names.insert(n.node().attribute("w:name").value());
    return names;
}

// The 59 bookmarks of the form document, in the order it writes them, each with the print-buffer
// variable it receives.
std::vector<std::pair<std::string, std::string PrintBuffer::*>> FormBookmarks() {
    return {{"xm_askno", &PrintBuffer::xm_askno},
            {"xk_grpno", &PrintBuffer::xk_grpno},
            {"jb_awardcode", &PrintBuffer::jb_awardcode},
            {"xm_name", &PrintBuffer::xm_name},
            {"xm_ename", &PrintBuffer::xm_ename},
            {"xm_tjdw", &PrintBuffer::xm_tjdw},
            {"SF_PUBLIC", &PrintBuffer::sf_public},
            {"MJ_SECRCODE", &PrintBuffer::mj_secrcode},
            {"XM_SECRTERM", &PrintBuffer::xm_secrterm},
            {"XM_FIXSECRORGAN", &PrintBuffer::xm_fixsecrorgan},
            {"XM_TOPICWORD", &PrintBuffer::xm_topicword},
            {"XK_MAJORCODE1", &PrintBuffer::xk_majorcode1},
            {"XK_MAJORNAME1", &PrintBuffer::xk_majorname1},
            {"XK_MAJORCODE2", &PrintBuffer::xk_majorcode2},
            {"XK_MAJORNAME2", &PrintBuffer::xk_majorname2},
            {"XK_MAJORCODE3", &PrintBuffer::xk_majorcode3},
            {"XK_MAJORNAME3", &PrintBuffer::xk_majorname3},
            {"HY_ETRADECODE", &PrintBuffer::hy_etradecode},
            {"LY_SOCUCODE", &PrintBuffer::ly_socucode},
            {"XM_PLANNAME", &PrintBuffer::xm_planname},
            {"XM_NO", &PrintBuffer::xm_no},
            {"XM_STARTDATE", &PrintBuffer::xm_startdate},
            {"XM_FINISHDATE", &PrintBuffer::xm_finishdate},
            {"XM_VERSION", &PrintBuffer::s_xm_checkcode},
            {"XM_ABSTRACT", &PrintBuffer::xm_abstract},
            {"XM_INNOVATION", &PrintBuffer::xm_innovation},
            {"XM_RECOM", &PrintBuffer::xm_recom},
            {"XM_Zongtz", &PrintBuffer::xm_zongtz},
            {"XM_huis", &PrintBuffer::xm_huis},
            {"XM_ZHIJYJ", &PrintBuffer::xm_zhijyj},
            {"XM_JIANJYJ", &PrintBuffer::xm_jianjyj},
            {"XM_SOSIETY", &PrintBuffer::xm_sosiety},
            {"RY_NAME", &PrintBuffer::ry_name},
            {"RY_ID", &PrintBuffer::ry_id},
            {"RY_BIRTHDAY", &PrintBuffer::ry_birthday},
            {"RY_BPLACE", &PrintBuffer::ry_bplace},
            {"MZ_NATIONCODE", &PrintBuffer::mz_nationcode},
            {"XB_SEX", &PrintBuffer::xb_sex},
            {"DP_SECTCODE", &PrintBuffer::dp_sectcode},
            {"ZC_TITLECODE", &PrintBuffer::zc_titlecode},
            {"RY_POSITION", &PrintBuffer::ry_position},
            {"WP_EDULEV", &PrintBuffer::wp_edulev},
            {"XW_DEGREE", &PrintBuffer::xw_degree},
            {"RY_WORKMAJOR", &PrintBuffer::ry_workmajor},
            {"RY_SPECMAJOR", &PrintBuffer::ry_specmajor},
            {"RY_GRDUNIV", &PrintBuffer::ry_grduniv},
            {"RY_GRDTIME", &PrintBuffer::ry_grdtime},
            {"RY_UNIT", &PrintBuffer::ry_unit},
            {"RY_FIXTEL", &PrintBuffer::ry_fixtel},
            {"RY_POSTADDR", &PrintBuffer::ry_postaddr},
            {"RY_POSTCODE", &PrintBuffer::ry_postcode},
            {"RY_EMAIL", &PrintBuffer::ry_email},
            {"RY_MPNO", &PrintBuffer::ry_mpno},
            {"RY_HONOR", &PrintBuffer::ry_honor},
            {"RY_START", &PrintBuffer::ry_start},
            {"RY_FINISH", &PrintBuffer::ry_finish},
            {"RY_CONTRIBUTION", &PrintBuffer::ry_contribution},
            {"XM_PINGJIA", &PrintBuffer::xm_pingjia},
            {"XM_PAPERS", &PrintBuffer::xm_papers}};
}

class FormDocumentTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        std::random_device r;
        folder_ = fs::temp_directory_path() / ("laurel-form-" + std::to_string(r()));
        fs::create_directories(folder_ / "model");
        fs::copy_file(LAUREL_TEMPLATE, Template());
    }
    void TearDown() override {
        Application::SetEngineAvailable(true);
        Application cleanup;
        if (cleanup.ConnectToObject("", "word.application") == 0) cleanup.Quit();
        // This copy's own working folder goes first, as when the program ends: while the copy
        // holds it, Windows lets nobody remove it.
        rt::LeaveOwnFolders();
        fs::remove_all(folder_);
        AppTest::TearDown();
    }

    // The Print command with the form document as its only real step: a failure it throws is
    // reported as the command reports it.
    void PrintFormAlone() {
        laurel::check::RunPrintCommand(
            {[] {}, [] {}},
            laurel::check::PrintSteps{[] { return 1; },
                                      [&] {
                                          return laurel::check::Prepared{1, buffer_};
                                      },
                                      [&](const PrintBuffer& buffer) { return AllPrint(buffer); },
                                      [](const PrintBuffer&) { return 1; }});
    }
    fs::path Template() const { return folder_ / "model" / "m_model2.docx"; }
    // Where Prepared made the program folder, in this copy's own working folder there.
    fs::path Working() const {
        return rt::FsPath(laurel::document::WorkingDocumentPath(laurel::WorkingFolder(), kRec.askno));
    }

    // A complete recommendation, the window open on it, and a print buffer in which every variable
    // holds a text of its own, as the print buffer preparation leaves it.
    void Prepared() {
        Seed(kRec);
        const int year = rt::Date::Today().year;
        auto amounts = [&](const char* kind, int back, const std::string& values) {
            ExecCommit("UPDATE j_xy_saving SET " + values +
                           " WHERE xm_id = ? AND xy_year = ? AND xy_zhijorjianj = ?",
                       {kRec.id, std::to_string(year - back), kind});
        };
        amounts("1", 3, "xy_addvalue = 1000, xy_addinterest = 1234567.5, xy_savegross = -2.5");
        amounts("1", 2, "xy_addvalue = 2000.5");
        amounts("1", 1, "xy_addvalue = 0.25");
        amounts("0", 3, "xy_addvalue = 7, xy_addtax = NULL");
        AddAward(kRec.id, 1, "获奖一");
        AddAward(kRec.id, 2, "获奖二");
        AddAward(kRec.id, 3, "获奖三");
        // Numbers past 16 bits, up to the largest a whole-number column holds on every database.
        AddAward(kRec.id, 4, "获奖四");
        AddAward(kRec.id, 5, "获奖五");
        ExecCommit("UPDATE j_jx_getaward SET jx_id = 40000 WHERE xm_id = ? AND jx_id = 4", {kRec.id});
        ExecCommit("UPDATE j_jx_getaward SET jx_id = 2147483647 WHERE xm_id = ? AND jx_id = 5", {kRec.id});
        ExecCommit(
            "UPDATE j_jx_getaward SET jx_date = '2005-06-01', jx_name = '省科技进步奖', jx_grade = "
            "'一等奖甲乙', "
            "jx_grantdept = '省政府' WHERE xm_id = ? AND jx_id = 1",
            {kRec.id});
        ExecCommit(
            "UPDATE j_jx_getaward SET jx_xmname = NULL, jx_grade = 'ab一二三' WHERE xm_id = ? AND jx_id = 2",
            {kRec.id});
        OpenMainWindow();
        laurel::current_path = folder_.string();
        for (const auto& [bookmark, variable] : FormBookmarks()) buffer_.*variable = bookmark + "：值";
        buffer_.xm_askno = kRec.askno;
        buffer_.xm_abstract = "第一段\n第二段";
    }

    fs::path folder_;
    PrintBuffer buffer_;
};

TEST_F(FormDocumentTest, TheTemplateCarriesEveryBookmarkAndTheTablesThePrintingStepsAddress) {
    std::set<std::string> expected = {"xm_wcr", "xm_wcdw"};
    for (const auto& [bookmark, variable] : FormBookmarks()) expected.insert(bookmark);
    EXPECT_EQ(BookmarkNames(Template()), expected);

    Application app;
    ASSERT_EQ(app.ConnectToNewObject("word.application"), 0);
    Document& doc = app.DocumentsAdd(Template().string());
    EXPECT_EQ(doc.TableCount(), 15);
    // Table, first and last row written, columns: the last cell that a step writes exists and the
    // row below the last one does not, so the tables hold exactly the rows the lists can fill.
    struct Extent {
        int table, first, last, columns;
    };
    for (const Extent& e : {Extent{5, 4, 7, 6}, Extent{6, 3, 6, 6}, Extent{8, 2, 11, 5}, Extent{10, 2, 15, 6},
                            Extent{11, 2, 10, 4}, Extent{12, 3, 14, 5}, Extent{14, 3, 14, 5}}) {
        SCOPED_TRACE("table " + std::to_string(e.table));
        for (int row = e.first; row <= e.last; ++row) {
            EXPECT_NO_THROW(doc.SetCellText(e.table, row, e.columns, "x"));
            EXPECT_THROW(doc.SetCellText(e.table, row, e.columns + 1, "x"), rt::word::Error);
        }
        if (e.table != 5 && e.table != 6) {
            EXPECT_THROW(doc.SetCellText(e.table, e.last + 1, 1, "x"), rt::word::Error);
        }
    }
    EXPECT_EQ(doc.CellText(5, 7, 1), "累计");
    EXPECT_EQ(doc.CellText(6, 6, 1), "累计");
    EXPECT_EQ(doc.CellText(8, 1, 1), "获奖项目名称");
}

TEST_F(FormDocumentTest, AllPrintFillsEveryBookmarkAndTheThreeTablesAndSavesTheWorkingDocument) {
    Prepared();
    const std::string templateBytes = FileBytes(Template());
    EXPECT_EQ(AllPrint(buffer_), 1);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(FileBytes(Template()), templateBytes);
    ASSERT_TRUE(fs::exists(Working()));

    Application app;
    ASSERT_EQ(app.ConnectToObject("", "word.application"), 0) << "the engine is left running";
    EXPECT_EQ(app.DocumentsCount(), 0) << "the working document was closed";
    EXPECT_FALSE(app.Visible());
    Document& doc = app.DocumentsAdd(Working().string());
    for (const auto& [bookmark, variable] : FormBookmarks())
        EXPECT_EQ(doc.BookmarkText(bookmark), buffer_.*variable) << bookmark;
    EXPECT_EQ(doc.BookmarkText("XM_ABSTRACT"), "第一段\n第二段");
    EXPECT_EQ(doc.BookmarkText("xm_wcr"), "") << "left for the lists document";
    EXPECT_TRUE(doc.HasBookmark("xm_wcdw"));

    const int year = rt::Date::Today().year;
    auto row = [&](int table, int r, int columns) {
        std::vector<std::string> cells;
        for (int c = 1; c <= columns; ++c) cells.push_back(doc.CellText(table, r, c));
        return cells;
    };
    using Cells = std::vector<std::string>;
    EXPECT_EQ(row(5, 3, 6),
              (Cells{"年份", "新增销售", "新增利润", "新增税收", "创收外汇(万美元)", "节支总额"}));
    EXPECT_EQ(row(5, 4, 6),
              (Cells{std::to_string(year - 3), "1,000.00", "1,234,567.50", "0.00", "0.00", "-2.50"}));
    EXPECT_EQ(row(5, 5, 6), (Cells{std::to_string(year - 2), "2,000.50", "0.00", "0.00", "0.00", "0.00"}));
    EXPECT_EQ(row(5, 6, 6), (Cells{std::to_string(year - 1), "0.25", "0.00", "0.00", "0.00", "0.00"}));
    EXPECT_EQ(row(5, 7, 6), (Cells{"累计", "3,000.75", "1,234,567.50", "0.00", "0.00", "-2.50"}));
    // A null amount prints nothing and leaves its column's total empty; direct amounts stay out.
    EXPECT_EQ(row(6, 3, 6), (Cells{std::to_string(year - 3), "7.00", "0.00", "", "0.00", "0.00"}));
    EXPECT_EQ(row(6, 6, 6), (Cells{"累计", "7.00", "0.00", "", "0.00", "0.00"}));

    EXPECT_EQ(row(8, 2, 5), (Cells{"1.获奖一", "2005", "省科技进步奖", "一等奖甲", "省政府"}));
    EXPECT_EQ(row(8, 3, 5), (Cells{"2.", "0001", "", "ab一二三", ""}));
    EXPECT_EQ(row(8, 4, 5), (Cells{"3.获奖三", "0001", "", "", ""}));
    EXPECT_EQ(row(8, 5, 5), (Cells{"40000.获奖四", "0001", "", "", ""}));
    EXPECT_EQ(row(8, 6, 5), (Cells{"2147483647.获奖五", "0001", "", "", ""}));
    EXPECT_EQ(row(8, 7, 5), (Cells{"", "", "", "", ""})) << "rows after the last award keep the template's";
}

TEST_F(FormDocumentTest, ATemplateWithoutABookmarkStopsTheStepAndNoWorkingDocumentIsWritten) {
    Prepared();
    auto parts = ReadParts(Template());
    std::string& body = parts["word/document.xml"];
    const auto at = body.find("w:name=\"RY_NAME\"");
    ASSERT_NE(at, std::string::npos);
    body.replace(at, 16, "w:name=\"RY_NAMX\"");
    WriteParts(Template(), parts);

    EXPECT_THROW(AllPrint(buffer_), rt::word::Error);
    EXPECT_FALSE(fs::exists(Working()));
    Application app;
    ASSERT_EQ(app.ConnectToObject("", "word.application"), 0);
    EXPECT_EQ(app.DocumentsCount(), 1) << "the partly filled document stays open, unsaved";
    EXPECT_EQ(app.ActiveDocument().BookmarkText("XM_SOSIETY"), "XM_SOSIETY：值");
    EXPECT_EQ(app.ActiveDocument().BookmarkText("XM_PAPERS"), "");

    // Through the Print command a template that is missing, a folder or cannot be read is one error
    // box in Chinese that names the template and where it is expected.
    // The program names it as it builds it, from its folder's text.
    const std::string where = "。模板应在 " + rt::ShownPath(rt::PathText(folder_) + "/model/m_model2.docx");
    const std::vector<std::pair<std::function<bool()>, std::string>> broken = {
        {[&] {
             fs::remove(Template());
             return true;
         },
         "文件不存在"},
        {[&] {
             fs::create_directory(Template());
             return true;
         },
         "这是一个文件夹，不是文件"},
        {[&] {
             fs::remove(Template());
             std::error_code ec;  // where no link can be made, the template is simply missing
             fs::create_symlink(Template().filename(), Template(), ec);  // a link to itself: never readable
             return !ec;
         },
         "无法读取文件"},
    };
    for (const auto& [breakIt, why] : broken) {
        if (!breakIt()) continue;
        Dialogs().Clear();
        Dialogs().Answer(1);
        PrintFormAlone();
        EXPECT_EQ(Boxes(), std::vector<std::string>{
                               "错误|生成word版本推荐书失败：无法打开模板“m_model2.docx”：" + why + where});
        EXPECT_EQ(Dialogs().messages.back().request.icon, rt::ui::Icon::StopSign);
        fs::remove_all(Template());
    }
}

// A table that cannot be read is a failure, never an empty table: the step ends after the
// database's box, and no working document is left, not even one an earlier run left behind.
TEST_F(FormDocumentTest, ATableThatCannotBeReadEndsTheStepWithoutAWorkingDocument) {
    Prepared();
    for (const char* table : {"j_xy_saving", "j_jx_getaward"}) {
        SCOPED_TRACE(table);
        fs::create_directories(Working().parent_path());
        std::ofstream(Working()) << "an earlier run's document";
        ExecCommit(std::string("ALTER TABLE ") + table + " RENAME TO unreadable");
        Dialogs().Clear();
        AnswerDatabaseError();
        EXPECT_THROW(AllPrint(buffer_), laurel::document::UnreadPage);
        EXPECT_EQ(Boxes().size(), 1u) << Dialogs().Transcript();
        EXPECT_FALSE(fs::exists(Working()));
        ExecCommit(std::string("ALTER TABLE unreadable RENAME TO ") + table);
        Application cleanup;
        if (cleanup.ConnectToObject("", "word.application") == 0) cleanup.Quit();
    }
}

TEST_F(FormDocumentTest, AnEngineThatCannotStartIsReportedAndNothingIsWritten) {
    Prepared();
    Application::SetEngineAvailable(false);
    Dialogs().Answer(1);
    EXPECT_EQ(AllPrint(buffer_), 0);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"错误|启动word错误: -3"}));
    EXPECT_FALSE(fs::exists(Working()));
}

// A disk that fills up while the working document is saved: the box says so, in words the user can
// act on, and no partial document stays behind.
TEST_F(FormDocumentTest, AFullDiskIsReportedAsSuchAndLeavesNoWorkingDocument) {
    Prepared();
    const fs::path small = folder_ / "small";
    const TinyDisk disk(small, 16 << 10);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
    fs::create_directories(small / "model");
    fs::copy_file(Template(), small / "model" / "m_model2.docx");
    laurel::current_path = small.string();
    // Text that does not compress: the document cannot be smaller than the space left.
    std::mt19937 random(7);
    buffer_.xm_papers.clear();
    for (int i = 0; i < 64 * 1024; ++i) buffer_.xm_papers += static_cast<char>('a' + random() % 26);

    Dialogs().Answer(1);
    PrintFormAlone();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"错误|生成word版本推荐书失败：无法保存文档“" + kRec.askno +
                                                ".docx”：磁盘空间不足"});
    const fs::path folder = Working().parent_path();
    EXPECT_TRUE(fs::is_empty(folder)) << "nothing half-written stays";
}

// Installed on a read-only disk, with no folder of the user's own to be had either: the working
// folder cannot be made, and the box says why in words the user can act on.
TEST_F(FormDocumentTest, AWorkingFolderOnAReadOnlyDiskIsReportedAsSuch) {
    Prepared();
    const fs::path disk = folder_ / "cdrom";
    const TinyDisk cdrom(disk, 1 << 20);
    if (!cdrom.Mounted()) GTEST_SKIP() << cdrom.Why();
    fs::create_directories(disk / "model");
    fs::copy_file(Template(), disk / "model" / "m_model2.docx");
    ASSERT_TRUE(cdrom.MakeReadOnly());
    laurel::current_path = disk.string();
    const testing_support::UserDataFolder user((disk / "home").string());

    Dialogs().Answer(1);
    PrintFormAlone();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"错误|生成word版本推荐书失败：无法保存文档“" + kRec.askno +
                                                ".docx”：磁盘只读"});
}

TEST(WorkingDocumentPath, StaysInTheProgramFolder) {
    EXPECT_EQ(laurel::document::WorkingDocumentPath("/opt/laurel", "2008 01ab"),
              "/opt/laurel/tmp_doc/2008 01ab.docx");
    EXPECT_EQ(laurel::document::WorkingDocumentPath("/opt/laurel", "../x\\y"),
              "/opt/laurel/tmp_doc/.._x_y.docx");
    // A number Windows could not save a file under is named so that it can.
    EXPECT_EQ(laurel::document::WorkingDocumentPath("/opt/laurel", "A:B*C?"),
              "/opt/laurel/tmp_doc/A_B_C_.docx");
    EXPECT_EQ(laurel::document::WorkingDocumentPath("/opt/laurel", "con"), "/opt/laurel/tmp_doc/_con.docx");
}

}  // namespace

// The exchange package on the real main window over a private database: a recommendation exported
// and imported again, packages that are refused or broken, hostile archives, and members written
// by another program.

#include <gtest/gtest.h>
#include <zip.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "document/working_document.h"
#include "exchange/package.h"
#include "records/m_main.h"
#include "runtime/datawindow/dwdef.h"
#include "runtime/formats/xml.h"
#include "runtime/formats/zip.h"
#include "runtime/platform/files.h"
#include "runtime/platform/os.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"
#include "schema/dataobjects.h"
#include "tests/support/app_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/platform.h"

namespace {

namespace fs = std::filesystem;
using laurel::records::m_main;
using testing_support::AppTest;
using testing_support::Recommendation;
using Rows = std::vector<std::vector<rt::Value>>;

const Recommendation kA{"201812340001", "2008 0101", "甲<项目>&一"};
const Recommendation kB{"201812340002", "2008 0102", "乙项目"};

struct Table {
    const char* table;
    const char* object;  // the export view: its columns are the package's
    const char* order;
};
const std::vector<Table> kTables = {
    {"j_xm_base", "dw_base", "xm_id"},         {"j_ry_finish", "dw_ry", "ry_no"},
    {"j_dw_finish", "dw_dw", "dw_no"},         {"j_xy_saving", "dw_xy", "xy_year, xy_zhijorjianj"},
    {"j_jx_getaward", "dw_getaward", "jx_id"}, {"j_yy_app", "dw_yy", "yy_id"},
    {"j_zl_patent", "dw_zl", "zl_id"},
};
const std::set<std::string> kNotImported = {
    "xm_sn",         "xm_pno",     "xm_recomspec", "xk_majorcode4", "xk_majorname4",
    "dw_attach",     "dw_ardbkno", "dw_prnset",    "dw_prnflag",    "ry_overseanation",
    "sf_homecoming", "gg_date",    "ry_place",     "ry_homeaddr",   "ry_hometel",
    "ry_ano",        "ry_flag1",   "ry_flag2",     "xk_bz"};

class ExchangeTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        program_ = Db().Folder() / "program";
        fs::create_directories(program_);
    }

    void Open() {
        OpenMainWindow();
        laurel::current_path = program_.string();
    }

    // A recommendation with a row in every table, Chinese and markup in its texts, exact amounts,
    // placeholder and null dates, an empty text and values in columns that do not travel.
    void SeedRich(const Recommendation& r) {
        Seed(r);
        ExecCommit(
            "UPDATE j_xm_base SET xk_grpno = '01', jb_awardcode = '2', xm_sn = 'SN-1', xm_no = '国科 "
            "2005-17', "
            "xm_ename = '', bm_deptcode = '003', sf_public = '1', xm_fixsecrdate = NULL, xm_topicword = "
            "'稀土；催化', "
            "xk_majorcode1 = '5203010', xk_majorname1 = '计算机软件', xm_startdate = '2005-03-01', "
            "xm_finishdate = '2007-12-31', xm_abstract = ?, xm_zongtz = 1234567.89, xm_huis = 12, "
            "xm_guid = 'ABCDEF0123456789', xm_checkcode = 'CHK', xm_xg = '1' WHERE xm_id = ?",
            {"第一行 <b>&amp;\r\n第二行  ", r.id});
        AddContributor(r.id, 2, "完成人二");
        ExecCommit(
            "UPDATE j_ry_finish SET ry_birthday = '1960-05-17', ry_anum = 123456789.25, ry_overseanation = "
            "'外', "
            "ry_honor = '荣誉 & 称号', ry_grdtime = NULL WHERE xm_id = ? AND ry_no = 2",
            {r.id});
        AddUnit(r.id, 2, "完成单位二");
        ExecCommit(
            "UPDATE j_dw_finish SET dw_ardbkprnnum = 98765432.5, dw_attach = 'Y' WHERE xm_id = ? AND dw_no = "
            "2",
            {r.id});
        ExecCommit(
            "UPDATE j_xy_saving SET xy_addvalue = 1234.56, xy_addtax = -0.05, xk_bz = 'bz' WHERE xm_id = ? "
            "AND "
            "xy_zhijorjianj = '1'",
            {r.id});
        AddAward(r.id, 1, "奖<1>");
        AddAward(r.id, 2, "奖二");
        ExecCommit("UPDATE j_jx_getaward SET jx_date = NULL, jx_grade = '一等' WHERE xm_id = ? AND jx_id = 2",
                   {r.id});
        AddApplication(r.id, 1, "应用单位一");
        ExecCommit("UPDATE j_yy_app SET yy_benefit = 99.99, sf_submit = '1' WHERE xm_id = ?", {r.id});
        AddProperty(r.id, 1, "专利一");
        AddProperty(r.id, 2, "专利二");
    }

    void DeleteRecommendation(const std::string& id) {
        for (const Table& t : kTables) Exec(std::string("DELETE FROM ") + t.table + " WHERE xm_id = ?", {id});
        ASSERT_EQ(laurel::sqlca.Commit(), 0);
    }

    static std::string ColumnList(const Table& t) {
        std::string cols;
        for (const rt::ColumnDef& c : rt::FindDefinition(t.object)->columns)
            cols += (cols.empty() ? "" : ", ") + c.name;
        return cols;
    }

    // Every committed row of the recommendation, table by table, in the package's column order.
    std::map<std::string, Rows> Snapshot(const std::string& id) {
        std::map<std::string, Rows> out;
        for (const Table& t : kTables)
            out[t.table] = StoredRows(
                "SELECT " + ColumnList(t) + " FROM " + t.table + " WHERE xm_id = ? ORDER BY " + t.order,
                {id});
        return out;
    }

    long RowsOf(const std::string& id) {
        long n = 0;
        for (const auto& [table, rows] : Snapshot(id)) n += static_cast<long>(rows.size());
        return n;
    }

    // What an import gives back: columns that do not travel are null, null texts are empty.
    static std::map<std::string, Rows> Travelled(std::map<std::string, Rows> s) {
        for (const Table& t : kTables) {
            const auto& columns = rt::FindDefinition(t.object)->columns;
            for (auto& row : s[t.table])
                for (std::size_t k = 0; k < columns.size(); ++k) {
                    if (kNotImported.count(columns[k].name))
                        row[k] = rt::Value();
                    else if (columns[k].type == rt::ColType::Char && row[k].IsNull())
                        row[k] = rt::Value("");
                }
        }
        return s;
    }

    // The export of the current recommendation past the completeness check.
    void ExportChecked() {
        laurel::exchange::ExportCheckedRecommendation(
            {*W().dw_ds_base, *W().dw_ds_dw, *W().dw_ds_ry, *W().dw_ds_getaward, *W().dw_ds_xy, *W().dw_ds_yy,
             *W().dw_ds_zl},
            W().ole_1->Object(), laurel::current_id, laurel::WorkingFolder());
    }
    // Runs the export past the completeness check into `target`.
    void Export(const fs::path& target) {
        Dialogs().AnswerFile({1, target.string(), target.filename().string()});
        Dialogs().Answer(1);
        ExportChecked();
    }

    // Runs the Import command on the package, answering `boxes` message boxes; returns them.
    std::vector<std::string> Import(const fs::path& package, int boxes) {
        Dialogs().Clear();
        for (int i = 0; i < boxes; ++i) Dialogs().Answer(1);
        Dialogs().AnswerFile({1, package.string(), package.filename().string()});
        Menu().import_clicked();
        return Boxes();
    }

    // Unpacks a package into a folder, lets `change` edit the members, packs them again.
    fs::path Rework(const fs::path& package, const std::string& name,
                    const std::function<void(const fs::path&)>& change) {
        const fs::path folder = Db().Folder() / ("rework-" + name);
        rt::Zip z;
        z.filestoprocess = "*";
        z.preservepaths = false;
        z.processsubfolders = true;
        z.unziptofolder = folder.string();
        z.zipfilename = package.string();
        EXPECT_EQ(z.unzip(), 0);
        change(folder);
        fs::path out = Db().Folder() / (name + ".DAT");
        z.zipfilename = out.string();
        z.filestoprocess = folder.string() + "/*";
        EXPECT_EQ(z.zip(), 0);
        return out;
    }

    // Gives the n-th element of that name in the member (1 the first) the raw XML content.
    static std::function<void(const fs::path&)> SetValue(const std::string& member, const std::string& column,
                                                         const std::string& content, int n = 1) {
        return [=](const fs::path& f) {
            std::string xml = ReadFile(f / member);
            std::size_t at = 0;
            for (int k = 0; k < n; ++k, ++at) {
                at = xml.find("<" + column, at);
                ASSERT_NE(at, std::string::npos) << member << " " << column << " " << n;
                const char next = xml[at + column.size() + 1];
                if (next != '>' && next != '/') --k;  // a longer name that begins the same way
            }
            --at;
            const std::string empty = "<" + column + "/>";
            const std::size_t end = xml.compare(at, empty.size(), empty) == 0
                                        ? at + empty.size()
                                        : xml.find("</" + column + ">", at) + column.size() + 3;
            xml.replace(at, end - at, "<" + column + ">" + content + "</" + column + ">");
            WriteFile(f / member, xml);
        };
    }

    // The member as a pretty-printer lays it out: every element on its own line, with a comment and
    // a processing instruction before it, values untouched.
    static std::string Indented(const std::string& xml) {
        std::string out;
        bool afterClose = false;  // the last tag ended an element
        for (std::size_t i = 0; i < xml.size(); ++i) {
            if (xml[i] == '<' && xml[i + 1] != '?') {
                const bool endTag = xml[i + 1] == '/';
                if (i > 0 && xml[i - 1] == '>' && (!endTag || afterClose))
                    out += "\n  <!-- 注释 -->\n  <?note x?>\r\n\t";
                const std::size_t close = xml.find('>', i);
                afterClose = endTag || xml[close - 1] == '/';
            }
            out += xml[i];
        }
        return out;
    }

    // An archive of the entries, in this order.
    static void MakeArchive(const fs::path& path,
                            const std::vector<std::pair<std::string, std::string>>& entries) {
        int err = 0;
        zip_t* z = zip_open(rt::PathText(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
        ASSERT_NE(z, nullptr);
        for (const auto& [name, data] : entries)
            ASSERT_GE(zip_file_add(z, name.c_str(), zip_source_buffer(z, data.data(), data.size(), 0), 0), 0)
                << name;
        ASSERT_EQ(zip_close(z), 0);
    }

    // The members of a package, name and content, in import order.
    std::vector<std::pair<std::string, std::string>> MembersOf(const fs::path& package) {
        std::vector<std::pair<std::string, std::string>> out;
        Rework(package, "members-of", [&](const fs::path& f) {
            for (const auto& m : laurel::exchange::kImportOrder)
                out.emplace_back(m.file, ReadFile(f / m.file));
        });
        return out;
    }

    static std::string ReadFile(const fs::path& p) { return testing_support::FileBytes(p); }
    static void WriteFile(const fs::path& p, const std::string& bytes) {
        testing_support::WriteFileBytes(p, bytes);
    }

    // This copy's own working folder in the program folder (once Open has named the program
    // folder).
    static fs::path Own() { return rt::FsPath(laurel::WorkingFolder()); }

    // What lies in the program folder: in this copy's own folder by its place there, the rest by
    // its place in the program folder.
    std::vector<std::string> ProgramFolder() const {
        const fs::path own = Own();
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(program_)) {
            if (e.path() == own) continue;
            const fs::path inOwn = e.path().lexically_relative(own);
            out.push_back(!inOwn.empty() && *inOwn.begin() != ".."
                              ? inOwn.generic_string()
                              : e.path().lexically_relative(program_).generic_string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    fs::path program_;
};

std::vector<std::string> NotExist(const std::string& member) {
    return {"提示信息:FileExists error|" + member + " Not exist."};
}

// ---------------------------------------------------------------------------------------------

TEST_F(ExchangeTest, ExportedPackageImportsIntoAnEmptyDatabaseAsTheSameRows) {
    SeedRich(kA);
    Seed(kB);
    Open();
    ASSERT_EQ(laurel::current_id, kA.id);
    const auto before = Snapshot(kA.id);
    const fs::path package = Db().Folder() / "a.DAT";
    // A package the user keeps to himself, to be replaced; and what a run that stopped, or a hand,
    // left in the staging folder: none of it may reach the package.
    WriteFile(package, "old package");
    fs::permissions(package, fs::perms::owner_read | fs::perms::owner_write);
    WriteFile(Own() / "tmp_out" / "sub" / "xm_ry.xml", "<stale/>");
    WriteFile(Own() / "tmp_out" / "XM_DW.XML", "<stale/>");
    WriteFile(Own() / "tmp_out" / "notes.txt", "stale");

    Export(package);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|导出成功！"});
    if (testing_support::ModesKept()) {
        EXPECT_EQ(fs::status(package).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    ASSERT_EQ(Dialogs().files.size(), 1u);
    EXPECT_TRUE(Dialogs().files[0].save);
    EXPECT_EQ(Dialogs().files[0].title, "文件保存路径");
    EXPECT_EQ(Dialogs().files[0].extension, "DAT");
    EXPECT_EQ(Dialogs().files[0].filter, "DAT Files (*.DAT),*.DAT");
    EXPECT_TRUE(fs::is_regular_file(package));
    EXPECT_TRUE(ProgramFolder().empty()) << ::testing::PrintToString(ProgramFolder());

    // The members: bare names, one row element per row, one element per column and nothing else.
    const fs::path check = Db().Folder() / "check";
    rt::Zip z;
    z.filestoprocess = "*";
    z.processsubfolders = true;
    z.preservepaths = true;
    z.unziptofolder = check.string();
    z.zipfilename = package.string();
    ASSERT_EQ(z.unzip(), 0);
    const std::map<std::string, std::pair<std::size_t, std::size_t>> shape = {
        {"xm_base.xml", {1, 44}}, {"xm_dw.xml", {2, 18}}, {"xm_ry.xml", {2, 38}}, {"xm_hj.xml", {2, 7}},
        {"xm_xy.xml", {6, 9}},    {"xm_yy.xml", {1, 8}},  {"xm_zl.xml", {2, 7}}};
    std::set<std::string> members;
    for (const auto& e : fs::directory_iterator(check)) members.insert(e.path().filename().string());
    EXPECT_EQ(members.size(), 7u);
    std::map<std::string, std::vector<std::vector<std::string>>> texts;
    for (const auto& [member, rowsAndColumns] : shape) {
        ASSERT_TRUE(members.count(member)) << member;
        auto doc = rt::xml::Document::BuildFromFile((check / member).string());
        ASSERT_TRUE(doc.has_value()) << member;
        const auto rows = doc->Root().ChildElements();
        ASSERT_EQ(rows.size(), rowsAndColumns.first) << member;
        for (const auto& row : rows) {
            const auto content = row.Content();
            ASSERT_EQ(content.size(), rowsAndColumns.second) << member;
            std::vector<std::string> values;
            for (const auto& item : content) {
                EXPECT_TRUE(item.IsElement()) << member;
                values.push_back(item.Text());
            }
            texts[member].push_back(values);
        }
    }
    EXPECT_EQ(
        rt::xml::Document::BuildFromFile((check / "xm_base.xml").string())->Root().ChildElements()[0].Name(),
        "xm_base_row");
    const auto& base = texts["xm_base.xml"][0];
    EXPECT_EQ(base[0], kA.id);
    EXPECT_EQ(base[6], kA.name);
    EXPECT_EQ(base[12], "") << "a null date keeps its place";
    EXPECT_EQ(base[27], "2005-03-01");
    EXPECT_EQ(base[28], "2007-12-31");
    EXPECT_EQ(base[29], "第一行 <b>&amp;\r\n第二行  ");
    EXPECT_EQ(base[31], "1234567.89");
    EXPECT_EQ(base[32], "12");
    EXPECT_EQ(base[41], kA.askno);
    EXPECT_EQ(texts["xm_hj.xml"][1][3], "");
    EXPECT_EQ(texts["xm_hj.xml"][0][3], "0001-01-01");
    std::vector<std::string> years;
    for (const auto& row : texts["xm_xy.xml"]) years.push_back(row[1] + row[7]);
    const int y = rt::Date::Today().year;
    auto yr = [](int n) { return std::to_string(n); };
    EXPECT_EQ(years, (std::vector<std::string>{yr(y - 3) + "0", yr(y - 3) + "1", yr(y - 2) + "0",
                                               yr(y - 2) + "1", yr(y - 1) + "0", yr(y - 1) + "1"}));

    // Into a database without it; B is current while the import runs.
    ASSERT_EQ(W().dw_no->SetRow(2), 1);
    ASSERT_EQ(laurel::current_id, kB.id);
    DeleteRecommendation(kA.id);
    ASSERT_EQ(RowsOf(kA.id), 0);
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().AnswerFile({1, package.string(), "a.DAT"});
    Menu().import_clicked();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|成功导入一份推荐书!"});
    ASSERT_EQ(Dialogs().files.size(), 1u);
    EXPECT_FALSE(Dialogs().files[0].save);
    EXPECT_EQ(Dialogs().files[0].title, "请选择文件");

    EXPECT_EQ(Snapshot(kA.id), Travelled(before));
    EXPECT_EQ(Snapshot(kB.id).at("j_xm_base").size(), 1u);
    EXPECT_TRUE(ProgramFolder().empty()) << ::testing::PrintToString(ProgramFolder());
    // The imported recommendation is current, although the re-read list put it on row 1 already.
    EXPECT_EQ(laurel::current_id, kA.id);
    EXPECT_EQ(W().dw_no->GetItemString(W().dw_no->GetRow(), "xm_id"), kA.id);
    EXPECT_EQ(W().dw_no->GetItemString(W().dw_no->GetRow(), "xm_askno"), kA.askno);
}

TEST_F(ExchangeTest, ExistingKeyIsRefusedAndStaleMembersAreNeverReadForTheNextPackage) {
    SeedRich(kA);
    Seed(kB);
    Open();
    const fs::path package = Db().Folder() / "a.DAT";
    Export(package);
    Dialogs().Clear();
    const auto before = Snapshot(kA.id);

    // The same recommendation again: refused with the stored name, nothing written.
    ExecCommit("UPDATE j_xm_base SET xm_name = '本地名称' WHERE xm_id = ?", {kA.id});
    EXPECT_EQ(
        Import(package, 1),
        std::vector<std::string>{"提示信息:|此推荐书已经存在，请先删除名称为：本地名称的推荐书，再导入!"});
    auto now = Snapshot(kA.id);
    now["j_xm_base"][0][6] = rt::Value(kA.name);
    EXPECT_EQ(now, before);
    EXPECT_FALSE(fs::exists(Own() / "tmp_in"));
    EXPECT_TRUE(fs::is_regular_file(Own() / "tmp_xml" / "xm_hj.xml"));

    // The refused package's members are still in tmp_xml; a package without awards must not pick
    // them up, and fails as a whole.
    DeleteRecommendation(kA.id);
    const fs::path noAwards =
        Rework(package, "no-awards", [](const fs::path& f) { fs::remove(f / "xm_hj.xml"); });
    auto boxes = NotExist("xm_hj");
    boxes.emplace_back("提示信息|推荐书导入失败!");
    EXPECT_EQ(Import(noAwards, 2), boxes);
    EXPECT_EQ(RowsOf(kA.id), 0) << "nothing of a failed import stays";
    EXPECT_TRUE(ProgramFolder().empty()) << ::testing::PrintToString(ProgramFolder());
}

TEST_F(ExchangeTest, BrokenPackagesLeaveNoHalfRecommendationAndTouchNoOther) {
    SeedRich(kA);
    Seed(kB);
    Open();
    const fs::path package = Db().Folder() / "a.DAT";
    Export(package);
    Dialogs().Clear();
    DeleteRecommendation(kA.id);
    const auto other = Snapshot(kB.id);

    // Replaces the first occurrence, or every one.
    auto replace = [](const std::string& member, const std::string& from, const std::string& to,
                      bool all = false) {
        return [=](const fs::path& f) {
            std::string xml = ReadFile(f / member);
            auto at = xml.find(from);
            ASSERT_NE(at, std::string::npos) << from;
            for (; at != std::string::npos; at = all ? xml.find(from, at + to.size()) : std::string::npos)
                xml.replace(at, from.size(), to);
            WriteFile(f / member, xml);
        };
    };
    const std::string kElsewhere = "201812349999";
    const std::string award1 = "<jx_id>1</jx_id>";
    const std::string why = "提示信息|申报文件有误：";
    struct Case {
        std::string name;
        std::function<void(const fs::path&)> change;
        std::vector<std::string> boxes;
    };
    const std::string malformed = "提示信息:xm_ry XMLParseFile error|" + std::to_string(rt::xml::kMalformed);
    std::vector<Case> cases = {
        {"malformed",
         [](const fs::path& f) { WriteFile(f / "xm_ry.xml", "<r><a></r>"); },
         {"提示信息:xm_ry XMLParseFile error|114"}},
        // Well-formed means well-formed, also where a lenient parser would take the text.
        {"undeclared-entity", SetValue("xm_ry.xml", "ry_name", "a&nbsp;b"), {malformed}},
        {"bare-ampersand", SetValue("xm_ry.xml", "ry_name", "a & b"), {malformed}},
        {"attribute-twice", replace("xm_ry.xml", "<xm_ry_row>", "<xm_ry_row a=\"1\" a=\"2\">"), {malformed}},
        {"less-than-in-attribute", replace("xm_ry.xml", "<xm_ry_row>", "<xm_ry_row a=\"<\">"), {malformed}},
        // Characters that XML forbids, written as references.
        {"control-character",
         SetValue("xm_base.xml", "xm_name", "a&#1;b"),
         {"提示信息:xm_base XMLParseFile error|4"}},
        {"non-character",
         SetValue("xm_ry.xml", "ry_name", "&#xFFFE;"),
         {"提示信息:xm_ry XMLParseFile error|4"}},
        // A row's columns are its element children, exactly as many as the view has.
        {"short-row",
         replace("xm_dw.xml",
                 "<dw_ardbkno/><dw_ardbkprntm>0001-01-01</dw_ardbkprntm><dw_prnset/><dw_prnflag/>", ""),
         {why + "xm_dw.xml 第1行：应有18列，实有14列"}},
        {"benefit-row-without-year",
         [](const fs::path& f) {
             std::string xml = ReadFile(f / "xm_xy.xml");
             const auto at = xml.find("<xy_year>");
             xml.erase(at, xml.find("</xy_year>") + 10 - at);
             WriteFile(f / "xm_xy.xml", xml);
         },
         {why + "xm_xy.xml 第1行：应有9列，实有8列"}},
        {"extra-element",
         replace("xm_hj.xml", award1, award1 + "<extra>x</extra>"),
         {why + "xm_hj.xml 第1行：应有7列，实有8列"}},
        {"cdata-between-columns",
         replace("xm_hj.xml", award1, award1 + "<![CDATA[x]]>"),
         {why + "xm_hj.xml 第1行：列之间有 CDATA 段"}},
        {"text-between-columns",
         replace("xm_hj.xml", award1, award1 + " 多余 "),
         {why + "xm_hj.xml 第1行：列之间有多余的文字“ 多余 ”"}},
        {"element-in-column",
         SetValue("xm_hj.xml", "jx_name", "a<b>c</b>"),
         {why + "xm_hj.xml 第1行第5列（jx_name）：列中含有元素 <b>"}},
        // A contributor of a recommendation that is not in the database: nothing else would stop
        // it from being written there, out of sight of the list.
        {"foreign-key",
         replace("xm_ry.xml", "<xm_id>" + kA.id + "</xm_id><ry_name>完成人一",
                 "<xm_id>" + kElsewhere + "</xm_id><ry_name>完成人一"),
         {why + "xm_ry.xml 第1行第1列（xm_id）：属于另一份推荐书“" + kElsewhere + "”，本申报文件的推荐书为“" +
          kA.id + "”"}},
        {"bad-date",
         replace("xm_hj.xml", "0001-01-01", "2005-13-45"),
         {why + "xm_hj.xml 第1行第4列（jx_date）：“2005-13-45”不是有效的日期"}},
        {"no-project-row",
         replace("xm_base.xml", "xm_base_row", "xm_other_row", true),
         {why + "xm_base.xml：没有 xm_base_row 行"}},
        // Every value fits its column as the pages would have let it in.
        {"long-name",
         SetValue("xm_base.xml", "xm_name", std::string(5000, 'n')),
         {why + "xm_base.xml 第1行第7列（xm_name）：长度为5000字节，超过该列的100字节"}},
        {"wide-chinese",
         SetValue("xm_ry.xml", "ry_name", "一二三四五六七八九十一二三四五六"),
         {why + "xm_ry.xml 第1行第2列（ry_name）：长度为32字节，超过该列的30字节"}},
        {"state-flag-width",
         SetValue("xm_base.xml", "xm_xg", "XYZ"),
         {why + "xm_base.xml 第1行第44列（xm_xg）：长度为3字节，超过该列的1字节"}},
        {"state-flag",
         SetValue("xm_base.xml", "xm_xg", "X"),
         {why + "xm_base.xml 第1行第44列（xm_xg）：应为“0”或“1”，实为“X”"}},
        {"year-width",
         SetValue("xm_xy.xml", "xy_year", "20233"),
         {why + "xm_xy.xml 第1行第2列（xy_year）：长度为5字节，超过该列的4字节"}},
        {"year-digits",
         SetValue("xm_xy.xml", "xy_year", "20a3"),
         {why + "xm_xy.xml 第1行第2列（xy_year）：年份应为四位数字，实为“20a3”"}},
        {"three-digit-year",
         SetValue("xm_xy.xml", "xy_year", "202"),
         {why + "xm_xy.xml 第1行第2列（xy_year）：年份应为四位数字，实为“202”"}},
        {"benefit-kind",
         SetValue("xm_xy.xml", "xy_zhijorjianj", "9"),
         {why + "xm_xy.xml 第1行第8列（xy_zhijorjianj）：应为“0”或“1”，实为“9”"}},
        {"benefit-twice",
         SetValue("xm_xy.xml", "xy_year", std::to_string(rt::Date::Today().year - 3), 3),
         {why + "xm_xy.xml 第3行：与第1行是同一行（键相同）"}},
        {"submitted-flag",
         SetValue("xm_yy.xml", "sf_submit", "2"),
         {why + "xm_yy.xml 第1行第8列（sf_submit）：应为“0”或“1”，实为“2”"}},
        {"negative-number",
         SetValue("xm_ry.xml", "ry_no", "-7"),
         {why + "xm_ry.xml 第1行第3列（ry_no）：序号应为1，实为“-7”"}},
        {"gap-in-numbers",
         SetValue("xm_hj.xml", "jx_id", "3", 2),
         {why + "xm_hj.xml 第2行第2列（jx_id）：序号应为2，实为“3”"}},
        {"amount-digits",
         SetValue("xm_base.xml", "xm_zongtz", "12345678901234567"),
         {why + "xm_base.xml "
                "第1行第32列（xm_zongtz）：“12345678901234567”不是该列允许的金额（至多16位整数、2位小数）"}},
        {"amount-decimals",
         SetValue("xm_yy.xml", "yy_benefit", "1.005"),
         {why + "xm_yy.xml 第1行第7列（yy_benefit）：“1.005”不是该列允许的金额（至多16位整数、2位小数）"}},
        {"whole-number",
         SetValue("xm_base.xml", "xm_huis", "99999999999"),
         {why + "xm_base.xml 第1行第33列（xm_huis）：“99999999999”不是该列允许的整数"}},
        {"whole-number-beyond-32-bits",
         SetValue("xm_base.xml", "xm_huis", "2147483648"),
         {why + "xm_base.xml 第1行第33列（xm_huis）：“2147483648”不是该列允许的整数"}},
        {"real-number",
         SetValue("xm_ry.xml", "ry_anum", "nan"),
         {why + "xm_ry.xml 第1行第34列（ry_anum）：“nan”不是有效的数值"}},
        // More rows than the page takes: Print would find no row for them.
        {"eleven-awards",
         [](const fs::path& f) {
             std::string xml = ReadFile(f / "xm_hj.xml");
             const auto begin = xml.find("<xm_hj_row>");
             const auto end = xml.find("</xm_hj_row>") + 12;
             const std::string row = xml.substr(begin, end - begin);
             for (int k = 0; k < 9; ++k) xml.insert(end, row);
             WriteFile(f / "xm_hj.xml", xml);
         },
         {why + "xm_hj.xml：有11行，超过页面允许的10行"}},
        {"fourth-benefit-of-a-kind",
         [](const fs::path& f) {
             std::string xml = ReadFile(f / "xm_xy.xml");
             const auto begin = xml.find("<xm_xy_row>");
             const auto end = xml.find("</xm_xy_row>") + 12;
             std::string row = xml.substr(begin, end - begin);
             const auto year = row.find("<xy_year>") + 9;
             row.replace(year, 4, "1999");
             xml.insert(end, row);
             WriteFile(f / "xm_xy.xml", xml);
         },
         {why + "xm_xy.xml 第6行：间接经济效益超过页面允许的3行"}},
    };
    // A database that keeps amounts as floating point cannot keep eighteen digits: the amount would
    // read back, print and export as another.
    // A list member's numbers, read back all at once, are checked as well, naming the row not kept.
    if (!testing_support::ScratchDatabase::OnPostgreSQL()) {
        cases.push_back(
            {"amount-not-kept",
             SetValue("xm_base.xml", "xm_zongtz", "9999999999999999.99"),
             {"提示信息|推荐书无法写入数据库：xm_base.xml 第1行第32列（xm_zongtz）：数据库不能准确保存"
              "“9999999999999999.99”，保存后读出为“10000000000000000.00”"}});
        cases.push_back(
            {"amount-in-a-list-not-kept",
             SetValue("xm_xy.xml", "xy_addtax", "9999999999999999.99", 3),
             {"提示信息|推荐书无法写入数据库：xm_xy.xml 第3行第5列（xy_addtax）：数据库不能准确保存"
              "“9999999999999999.99”，保存后读出为“10000000000000000.00”"}});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path broken = Rework(package, c.name, c.change);
        Dialogs().Clear();
        auto boxes = c.boxes;
        boxes.emplace_back("提示信息|推荐书导入失败!");
        EXPECT_EQ(Import(broken, static_cast<int>(boxes.size())), boxes);
        EXPECT_EQ(RowsOf(kA.id), 0);
        EXPECT_EQ(RowsOf(kElsewhere), 0);
        EXPECT_EQ(Snapshot(kB.id), other);
        EXPECT_TRUE(ProgramFolder().empty()) << ::testing::PrintToString(ProgramFolder());
    }
    // Where the database keeps such an amount exactly, it is imported as sent.
    if (testing_support::ScratchDatabase::OnPostgreSQL()) {
        const fs::path exact =
            Rework(package, "amount-kept", SetValue("xm_base.xml", "xm_zongtz", "9999999999999999.99"));
        EXPECT_EQ(Import(exact, 1), std::vector<std::string>{"提示信息|成功导入一份推荐书!"});
        EXPECT_EQ(StoredBase(kA.id, "xm_zongtz"), "9999999999999999.99");
        DeleteRecommendation(kA.id);
    }
    // The intact package still imports afterwards.
    Dialogs().Clear();
    EXPECT_EQ(Import(package, 1), std::vector<std::string>{"提示信息|成功导入一份推荐书!"});
    EXPECT_GT(RowsOf(kA.id), 0);
}

TEST_F(ExchangeTest, PrettyPrintedPackageWithUpperCaseNamesImportsTheSameRows) {
    SeedRich(kA);
    Open();
    const auto before = Snapshot(kA.id);
    const fs::path package = Db().Folder() / "a.DAT";
    Export(package);
    Dialogs().Clear();
    DeleteRecommendation(kA.id);

    const fs::path pretty = Rework(package, "pretty", [](const fs::path& f) {
        for (const auto& m : laurel::exchange::kImportOrder) {
            const std::string xml = ReadFile(f / m.file);
            fs::remove(f / m.file);
            std::string upper = m.file;
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            WriteFile(f / upper, Indented(xml));
        }
    });
    ASSERT_NE(ReadFile(Db().Folder() / "rework-pretty" / "XM_BASE.XML").find("<!-- 注释 -->"),
              std::string::npos);
    EXPECT_EQ(Import(pretty, 1), std::vector<std::string>{"提示信息|成功导入一份推荐书!"});
    EXPECT_EQ(Snapshot(kA.id), Travelled(before));
}

TEST_F(ExchangeTest, HostileArchivesAreRefusedWholeAndOnlyTheMembersAreUnpacked) {
    SeedRich(kA);
    Seed(kB);
    Open();
    const fs::path package = Db().Folder() / "a.DAT";
    Export(package);
    Dialogs().Clear();
    DeleteRecommendation(kA.id);
    const auto other = Snapshot(kB.id);
    const auto members = MembersOf(package);
    auto with = [&](std::vector<std::pair<std::string, std::string>> before,
                    const std::vector<std::pair<std::string, std::string>>& after = {}) {
        before.insert(before.end(), members.begin(), members.end());
        before.insert(before.end(), after.begin(), after.end());
        return before;
    };
    auto replaced = [&](const std::string& member, const std::string& content) {
        auto out = members;
        for (auto& [name, data] : out)
            if (name == member) data = content;
        return out;
    };
    std::string manyElements = "<r>";
    for (std::size_t i = 0; i <= rt::xml::kMaxMarkup; ++i) manyElements += "<a/>";
    manyElements += "</r>";

    const std::string skipped = "错误|不是本软件生成的ZIP申报文件！";
    const std::string unpacking = "提示|申报文件导入不成功,出错信息为:";
    struct Case {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
        std::vector<std::string> boxes;
    };
    const std::vector<Case> cases = {
        // Only the member's name is taken out of a path, and one that leads outside is refused.
        {"escape",
         {{"../escaped.xml", "<r/>"}, {"../../xm_base.xml", "<r/>"}},
         {skipped, unpacking + "有文件被跳过：../../xm_base.xml（路径不安全）"}},
        {"no-members", {{"readme.txt", "hello"}}, {unpacking + "没有找到要处理的文件"}},
        // Which of two contributor members would be read is no choice to make.
        {"member-twice",
         with({{"old/xm_ry.xml", "<r/>"}}),
         {skipped, unpacking + "有文件被跳过：xm_ry.xml（与另一个文件同名）"}},
        {"member-twice-in-case",
         with({}, {{"XM_RY.XML", "<r/>"}}),
         {skipped, unpacking + "有文件被跳过：XM_RY.XML（与另一个文件同名）"}},
        {"member-too-large",
         replaced("xm_zl.xml", std::string(rt::kMaxEntrySize + 1, ' ')),
         {skipped, unpacking + "有文件被跳过：xm_zl.xml（超过每个文件 " +
                       std::to_string(rt::kMaxEntrySize >> 20) + " MiB 的上限）"}},
        // A directory of entries beyond any plausible package is not even read.
        {"many-entries",
         with(std::vector<std::pair<std::string, std::string>>(rt::kMaxEntries, {"", ""})),
         {unpacking + "压缩文件的目录过大（多于 " + std::to_string(rt::kMaxEntries) +
          " 个文件或 1 MiB），不予解压"}},
        {"member-of-many-elements",
         replaced("xm_ry.xml", manyElements),
         {"提示信息:xm_ry XMLParseFile error|7"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path hostile = Db().Folder() / (c.name + ".DAT");
        auto entries = c.entries;
        for (std::size_t k = 0; k < entries.size(); ++k)
            if (entries[k].first.empty()) entries[k].first = "extra/" + std::to_string(k);
        MakeArchive(hostile, entries);
        auto boxes = c.boxes;
        boxes.emplace_back("提示信息|推荐书导入失败!");
        EXPECT_EQ(Import(hostile, static_cast<int>(boxes.size())), boxes);
        EXPECT_EQ(RowsOf(kA.id), 0);
        EXPECT_EQ(Snapshot(kB.id), other);
        EXPECT_TRUE(ProgramFolder().empty()) << ::testing::PrintToString(ProgramFolder());
    }
    EXPECT_FALSE(fs::exists(Db().Folder() / "escaped.xml"));
    EXPECT_FALSE(fs::exists(Db().Folder() / "xm_base.xml"));

    // A file that is no archive at all.
    WriteFile(Db().Folder() / "text.DAT", "plain text");
    EXPECT_EQ(Import(Db().Folder() / "text.DAT", 2),
              (std::vector<std::string>{unpacking + "不是有效的ZIP压缩文件，或文件已损坏",
                                        "提示信息|推荐书导入失败!"}));

    // Entries that are no members are left in the archive, as many as a package may hold and however
    // large: no box, nothing written, and the package imports.
    std::vector<std::pair<std::string, std::string>> foreign;
    for (int i = 0; i < 500; ++i) foreign.emplace_back("extra/" + std::to_string(i) + ".xml", "<x/>");
    const std::string zeros(20u << 20, '\0');
    for (int i = 0; i < 4; ++i) foreign.emplace_back("zeros" + std::to_string(i) + ".bin", zeros);
    MakeArchive(Db().Folder() / "foreign-entries.DAT", with(foreign));
    EXPECT_EQ(Import(Db().Folder() / "foreign-entries.DAT", 1),
              std::vector<std::string>{"提示信息|成功导入一份推荐书!"});
    EXPECT_GT(RowsOf(kA.id), 0);
    EXPECT_TRUE(ProgramFolder().empty()) << ::testing::PrintToString(ProgramFolder());
}

TEST_F(ExchangeTest, ReadOnlyProgramFolderKeepsTheWorkingFilesInTheUsersOwnFolder) {
    SeedRich(kA);
    Open();
    // A folder that cannot be written, for root as well: it cannot even be made.
    WriteFile(Db().Folder() / "blocker", "a file");
    laurel::current_path = (Db().Folder() / "blocker" / "program").string();
    const testing_support::UserDataFolder user((Db().Folder() / "home-data").string());
    auto own = [&] {
        std::vector<fs::path> folders;
        for (const auto& e : fs::directory_iterator(user.Home())) folders.push_back(e.path());
        EXPECT_EQ(folders.size(), 1u);
        return folders.empty() ? fs::path() : folders.front();
    };

    // The user's folder holds this copy's own working folder alone, both private, and nothing
    // else once a command is done.
    const auto onlyOwn = [&] {
        EXPECT_EQ(Own().parent_path(), own());
        std::vector<fs::path> there;
        for (const auto& e : fs::directory_iterator(own())) there.push_back(e.path());
        EXPECT_EQ(there, std::vector<fs::path>{Own()});
        if (testing_support::ModesKept()) {
            EXPECT_EQ(fs::status(own()).permissions() & fs::perms::all, fs::perms::owner_all);
            EXPECT_EQ(fs::status(Own()).permissions() & fs::perms::all, fs::perms::owner_all);
        }
        EXPECT_TRUE(fs::is_empty(Own()));
    };
    const fs::path package = Db().Folder() / "from-read-only.DAT";
    Export(package);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|导出成功！"});
    EXPECT_TRUE(fs::is_regular_file(package));
    onlyOwn();

    DeleteRecommendation(kA.id);
    EXPECT_EQ(Import(package, 1), std::vector<std::string>{"提示信息|成功导入一份推荐书!"});
    EXPECT_GT(RowsOf(kA.id), 0);
    onlyOwn();
}

// A working folder that cannot take the package, or its members, is the folder's fault, not the
// package's: one box says why as Print says it, the import ends, and nothing stays behind.
TEST_F(ExchangeTest, AWorkingFolderFullOrReadOnlyIsSaidOnceAsSuch) {
    SeedRich(kA);
    Open();
    const fs::path package = Db().Folder() / "to-import.DAT";
    Export(package);
    ASSERT_EQ(Boxes(), std::vector<std::string>{"提示信息|导出成功！"});
    DeleteRecommendation(kA.id);

    const fs::path disk = Db().Folder() / "small";
    testing_support::TinyDisk small(disk, 256 << 10);
    if (!small.Mounted()) GTEST_SKIP() << small.Why();
    laurel::current_path = disk.string();
    const std::string said =
        "错误|推荐书导入失败：无法写入工作文件夹“" + rt::ShownPath(Own().string()) + "”：";
    const auto nothingLeft = [&] {
        EXPECT_EQ(RowsOf(kA.id), 0);
        std::vector<std::string> left;
        for (const auto& e : fs::recursive_directory_iterator(disk))
            if (e.path().filename() != "ballast" && e.path().filename() != "filler")
                left.push_back(e.path().lexically_relative(disk).string());
        EXPECT_EQ(left, std::vector<std::string>{Own().lexically_relative(disk).string()});
    };

    // No room for the copy of the package.
    ASSERT_TRUE(small.Fill());
    EXPECT_EQ(Import(package, 1), std::vector<std::string>{said + "磁盘空间不足"});
    nothingLeft();
    small.Free();

    // Room for the copy, none for the members.
    const auto room = fs::space(disk).available;
    WriteFile(disk / "ballast", std::string(room - ((fs::file_size(package) + 4095) / 4096 + 1) * 4096, 'b'));
    EXPECT_EQ(Import(package, 1), std::vector<std::string>{said + "磁盘空间不足"});
    nothingLeft();
    fs::remove(disk / "ballast");

    // A disk that takes no writes, with no folder of the user's own to be had there either.
    ASSERT_TRUE(small.MakeReadOnly());
    const testing_support::UserDataFolder user((disk / "home").string());
    EXPECT_EQ(Import(package, 1), std::vector<std::string>{said + "磁盘只读"});
    EXPECT_EQ(RowsOf(kA.id), 0);
}

TEST_F(ExchangeTest, MembersOfAnotherWriterAreReadByPositionWhateverTheirNamesAndEncoding) {
    Seed(kB);
    Open();
    const std::string id = "201899990001";
    const fs::path folder = Db().Folder() / "foreign";
    fs::create_directories(folder);
    auto row = [](const std::string& tag, const std::vector<std::string>& values) {
        std::string xml = "<" + tag + ">";
        for (std::size_t k = 0; k < values.size(); ++k)
            xml += "<c" + std::to_string(k) + ">" + values[k] + "</c" + std::to_string(k) + ">";
        return xml + "</" + tag + ">";
    };
    std::vector<std::string> base(44);
    base[0] = id;
    base[6] = "外来项目：稀土";
    base[27] = "2005-03-01 00:00:00";
    base[31] = "1234.5";
    base[32] = "7";
    base[41] = "2009 0001";
    base[43] = "1";
    const auto gbk = rt::Utf8ToGbk("<?xml version=\"1.0\" encoding=\"GBK\"?>\n<x>\n  <ignored/>\n  " +
                                   row("xm_base_row", base) + "\n</x>\n");
    ASSERT_TRUE(gbk.has_value());
    WriteFile(folder / "xm_base.xml", *gbk);

    std::vector<std::string> ry(38);
    ry[0] = id;
    ry[1] = "<![CDATA[张<三>]]>";
    ry[2] = "1";
    ry[33] = "123456789.25";  // more digits than a four-byte real keeps
    WriteFile(folder / "xm_ry.xml", "<list>\n\t" + row("a", ry) + "\n\t<!-- between rows -->\n</list>");
    WriteFile(folder / "xm_dw.xml", "<list/>");
    WriteFile(folder / "xm_xy.xml",
              "<list>" + row("b", {id, "2006", "1.5", "", "", "", "", "1", "x"}) + "</list>");
    for (const char* m : {"xm_hj.xml", "xm_yy.xml", "xm_zl.xml"}) WriteFile(folder / m, "<empty></empty>");
    rt::Zip z;
    z.filestoprocess = folder.string() + "/*";
    z.preservepaths = false;
    z.zipfilename = (Db().Folder() / "foreign.DAT").string();
    ASSERT_EQ(z.zip(), 0);

    EXPECT_EQ(Import(Db().Folder() / "foreign.DAT", 1),
              std::vector<std::string>{"提示信息|成功导入一份推荐书!"});
    EXPECT_EQ(StoredBase(id, "xm_name"), "外来项目：稀土");
    EXPECT_EQ(StoredBase(id, "xm_startdate"), "2005-03-01");
    EXPECT_EQ(StoredBase(id, "xm_fixsecrdate"), std::nullopt) << "an empty date is null, not an empty text";
    EXPECT_EQ(StoredBase(id, "xm_zongtz"), "1234.50");
    EXPECT_EQ(StoredBase(id, "xm_huis"), "7");
    EXPECT_EQ(StoredBase(id, "xm_ename"), "") << "an empty text stays an empty text";
    EXPECT_EQ(Stored("SELECT ry_name FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {id}), "张<三>");
    EXPECT_EQ(Stored("SELECT ry_anum FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {id}), "123456789.25");
    EXPECT_EQ(Stored("SELECT xy_addvalue FROM j_xy_saving WHERE xm_id = ? AND xy_year = '2006'", {id}),
              "1.50");
    EXPECT_EQ(Stored("SELECT xy_addinterest FROM j_xy_saving WHERE xm_id = ? AND xy_year = '2006'", {id}),
              std::nullopt);
    EXPECT_EQ(Stored("SELECT xk_bz FROM j_xy_saving WHERE xm_id = ?", {id}), std::nullopt);
    EXPECT_EQ(laurel::current_id, id);
}

TEST_F(ExchangeTest, UncheckedCancelledOrFailedCommandsLeaveNoTrace) {
    // No recommendation: the completeness check refuses, nothing is asked or written.
    Open();
    ASSERT_EQ(laurel::current_id, laurel::kNoRecommendation);
    Menu().export_clicked();
    EXPECT_TRUE(Dialogs().files.empty());
    EXPECT_TRUE(ProgramFolder().empty());

    // A cancelled open dialog ends the import before anything is made.
    Menu().import_clicked();
    EXPECT_EQ(Dialogs().files.size(), 1u);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(ProgramFolder().empty());

    // A cancelled save dialog after a packing: the archive goes, nothing else is said.
    SeedRich(kA);
    laurel::current_id = kA.id;
    Dialogs().Answer(1);
    ExportChecked();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|导出成功！"});
    EXPECT_TRUE(ProgramFolder().empty());

    // Members that cannot be written (a file stands where the staging folder goes): no package is
    // made, and an archive left by an earlier run is not handed out in its place.
    WriteFile(Own() / "tmp_out", "in the way");
    WriteFile(Own() / "xm_data.DAT", "stale");
    const fs::path target = Db().Folder() / "never.DAT";
    Dialogs().Clear();
    for (int i = 0; i < 3; ++i) Dialogs().Answer(1);
    Dialogs().AnswerFile({1, target.string(), "never.DAT"});
    ExportChecked();
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{
                  "提示信息|导出不成功,出错信息为:无法生成文件 xm_base.xml",
                  "Remove directory failed|Check that the directory exists, is empty, and is not the "
                  "current directory",
                  "错误|Error opening sourcefile！"}));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(ProgramFolder(), std::vector<std::string>{"tmp_out"});
}

// The working folders are the program's own: a link in the place of one, or inside one, is removed,
// never followed, so nothing elsewhere is written or deleted. At start-up whatever commands stopped
// half-way left in them goes, and nothing else, unless another running copy of the program uses
// the folder.
TEST_F(ExchangeTest, WorkingFoldersLeadNowhereElseAndStartUpClearsWhatCommandsLeft) {
    SeedRich(kA);
    Open();
    const fs::path elsewhere = Db().Folder() / "elsewhere";
    const std::vector<std::string> precious = {"xm_base.xml", "xm_ry.xml", "xm_data.DAT", "mine.txt"};
    for (const std::string& name : precious) WriteFile(elsewhere / name, "precious " + name);
    const auto untouched = [&] {
        std::vector<std::string> there;
        for (const auto& e : fs::directory_iterator(elsewhere)) there.push_back(e.path().filename().string());
        std::sort(there.begin(), there.end());
        std::vector<std::string> expected = precious;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(there, expected);
        for (const std::string& name : precious) EXPECT_EQ(ReadFile(elsewhere / name), "precious " + name);
    };
    const auto link = [&](const std::vector<std::string>& names) {
        for (const std::string& name : names) fs::create_directory_symlink(elsewhere, Own() / name);
    };

    // Links: where the system lets this process make them (not the C++ library on Windows).
    const bool links = testing_support::LinksCanBeMade();
    if (links) {
        link({"tmp_out", "tmp_in", "tmp_xml"});
        const fs::path package = Db().Folder() / "a.DAT";
        Export(package);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|导出成功！"});
        untouched();
        EXPECT_EQ(ProgramFolder(), (std::vector<std::string>{"tmp_in", "tmp_xml"}));
        DeleteRecommendation(kA.id);
        EXPECT_EQ(Import(package, 1), std::vector<std::string>{"提示信息|成功导入一份推荐书!"});
        EXPECT_GT(RowsOf(kA.id), 0);
        untouched();
        EXPECT_TRUE(ProgramFolder().empty()) << ::testing::PrintToString(ProgramFolder());

        // Links inside a working folder go with what it holds.
        fs::create_directory(Own() / "tmp_xml");
        fs::create_symlink(elsewhere / "xm_ry.xml", Own() / "tmp_xml" / "xm_ry.xml");
        fs::create_directory_symlink(elsewhere, Own() / "tmp_xml" / "more");
        DeleteRecommendation(kA.id);
        EXPECT_EQ(Import(package, 1), std::vector<std::string>{"提示信息|成功导入一份推荐书!"});
        untouched();
        EXPECT_TRUE(ProgramFolder().empty()) << ::testing::PrintToString(ProgramFolder());
    }

    // What commands killed half-way leave: in the folder of a copy that runs no more, and, from an
    // earlier version, in the program folder itself; beside them what is not theirs, the folder
    // of another copy that runs, and this copy's own.
    const auto leftovers = [&](const fs::path& at) {
        WriteFile(at / "tmp_out" / "xm_base.xml", "member");
        WriteFile(at / "tmp_in" / "xm_data.DAT", "package");
        WriteFile(at / "tmp_xml" / "xm_ry.xml", "member");
        if (links) fs::create_directory_symlink(elsewhere, at / "tmp_xml" / "link");
        WriteFile(at / laurel::document::kDocumentFolder / (kA.askno + ".docx"), "personal data");
        WriteFile(at / "xm_data.DAT", "package");
    };
    std::vector<std::string> left = {"tmp_doc",
                                     "tmp_doc/" + kA.askno + ".docx",
                                     "tmp_in",
                                     "tmp_in/xm_data.DAT",
                                     "tmp_out",
                                     "tmp_out/xm_base.xml",
                                     "tmp_xml",
                                     "tmp_xml/link",
                                     "tmp_xml/xm_ry.xml",
                                     "xm_data.DAT"};
    if (!links) left.erase(std::find(left.begin(), left.end(), "tmp_xml/link"));
    leftovers(program_);
    leftovers(program_ / "tmp_run.killed");
    if (links) fs::create_directory_symlink(elsewhere, program_ / "tmp_run.link");
    // Marked as a running copy marks the folder it works in (on Windows, that mark lets others
    // list the folder, as the tidy's own does not).
    std::string made;
    const int running = rt::os::MakeMarkedFolder((program_ / "tmp_run.running").string(), made);
    ASSERT_GE(running, 0);
    const std::string runningName = fs::path(made).filename().string();
    leftovers(program_ / runningName);
    WriteFile(Own() / "tmp_xml" / "xm_ry.xml", "member");
    WriteFile(program_ / "laurel.db", "database");
    WriteFile(program_ / "model" / "m_model2.docx", "template");
    WriteFile(program_ / "mine.docx", "the user's");
    const auto everything = [&] {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(program_))
            out.push_back(e.path().lexically_relative(program_).generic_string());
        std::sort(out.begin(), out.end());
        return out;
    };
    std::vector<std::string> kept = {"laurel.db", "mine.docx", "model", "model/m_model2.docx", runningName};
    const std::string own = Own().filename().string();
    for (const std::string& name : {own, own + "/tmp_xml", own + "/tmp_xml/xm_ry.xml"}) kept.push_back(name);
    for (const std::string& name : left) kept.push_back(runningName + "/" + name);
    {
        // Another copy of the program runs on the folder: what an earlier version left in the
        // folder itself may be that copy's, and stays.
        const testing_support::AnotherCopy other(program_);
        ASSERT_TRUE(other.Held());
        laurel::TidyWorkingFolder(program_.string());
    }
    std::vector<std::string> expected = kept;
    expected.insert(expected.end(), left.begin(), left.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(everything(), expected);
    laurel::TidyWorkingFolder(program_.string());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(everything(), kept);
    rt::os::Unmark(running);
    laurel::TidyWorkingFolder(program_.string());
    kept.erase(std::remove_if(kept.begin(), kept.end(),
                              [](const std::string& name) { return name.starts_with("tmp_run.running"); }),
               kept.end());
    EXPECT_EQ(everything(), kept);
    untouched();
}

// A box that waits for the user after the rows are written (here: the members' folder cannot be
// removed) ends no transaction that has written: what the import wrote is committed after it.
TEST_F(ExchangeTest, ABoxAfterTheRowsAreWrittenKeepsThemForTheCommit) {
    SeedRich(kA);
    Open();
    const auto before = Snapshot(kA.id);
    const fs::path package = Db().Folder() / "a.DAT";
    Export(package);
    DeleteRecommendation(kA.id);

    namespace ex = laurel::exchange;
    const ex::ImportStep leaveAFile = [&](const std::string& tmp_path, ex::PackageImport& import) {
        const int result = ex::import_zl(tmp_path, import);
        WriteFile(Own() / "tmp_xml" / "stray.txt", "keeps the folder");
        return result;
    };
    Dialogs().Clear();
    Dialogs().AnswerFile({1, package.string(), package.filename().string()});
    Dialogs().Answer(1);
    const std::optional<std::string> key =
        ex::ImportPackage(W().ole_1->Object(), laurel::sqlca, laurel::WorkingFolder(),
                          {{ex::import_base, ex::import_ry, ex::import_dw, ex::import_xy, ex::import_hj,
                            ex::import_yy, leaveAFile},
                           ex::import_rollback});
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Remove directory failed|Check that the directory exists, is "
                                                "empty, and is not the current directory"});
    EXPECT_EQ(key, std::optional<std::string>(kA.id));
    EXPECT_EQ(Snapshot(kA.id), Travelled(before));
}

// ---------------------------------------------------------------------------------------------
// Two copies of the program at work in one program folder: each imports its own package at the
// same time as the other. Each copy is a process of its own, this test program run again as the
// test ImportingCopy below, on this test's database and program folder.

// Waits until `file` exists; false after half a minute.
bool WaitFor(const fs::path& file) {
    for (int i = 0; i < 1500; ++i) {
        if (fs::exists(file)) return true;
        QTest::qWait(20);
    }
    return false;
}

TEST_F(ExchangeTest, TwoCopiesImportingAtOnceInOneProgramFolderBothSucceed) {
    SeedRich(kA);
    Seed(kB);
    Open();
    const auto before = Snapshot(kA.id);
    const fs::path packageA = Db().Folder() / "a.DAT";
    const fs::path packageB = Db().Folder() / "b.DAT";
    Export(packageA);
    W().dw_no->SetRow(2);
    ASSERT_EQ(laurel::current_id, kB.id);
    Export(packageB);
    Dialogs().Clear();
    DeleteRecommendation(kA.id);
    DeleteRecommendation(kB.id);

    // Each copy unpacks its package, then waits until the other has unpacked its own: B reads its
    // members only once A's import is done, so that they never write to the database at once.
    const fs::path marks = Db().Folder() / "marks";
    fs::create_directories(marks);
    const auto start = [&](const std::string& name, const fs::path& package, const std::string& waitFor) {
        auto copy = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LAUREL_COPY_NAME", QString::fromStdString(name));
        env.insert("LAUREL_COPY_PACKAGE", QString::fromStdString(package.string()));
        env.insert("LAUREL_COPY_PROGRAM", QString::fromStdString(program_.string()));
        env.insert("LAUREL_COPY_MARKS", QString::fromStdString(marks.string()));
        env.insert("LAUREL_COPY_WAIT_FOR", QString::fromStdString(waitFor));
        copy->setProcessEnvironment(env);
        copy->setProcessChannelMode(QProcess::MergedChannels);
        copy->start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=ImportingCopy.ImportsItsPackage"});
        EXPECT_TRUE(copy->waitForStarted(10000));
        return copy;
    };
    auto a = start("a", packageA, "b.unpacked");
    auto b = start("b", packageB, "a.done");
    for (auto* copy : {a.get(), b.get()}) {
        EXPECT_TRUE(copy->waitForFinished(60000));
        EXPECT_EQ(copy->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(copy->exitCode(), 0) << copy->readAll().toStdString();
    }
    EXPECT_TRUE(fs::exists(marks / "a.done"));
    EXPECT_TRUE(fs::exists(marks / "b.done"));
    EXPECT_EQ(Snapshot(kA.id), Travelled(before));
    EXPECT_EQ(StoredBase(kB.id, "xm_name"), kB.name);
    // Neither left anything behind.
    EXPECT_TRUE(ProgramFolder().empty()) << ::testing::PrintToString(ProgramFolder());
}

// One copy of the two above; run by itself it does nothing.
TEST(ImportingCopy, ImportsItsPackage) {
    const char* name = std::getenv("LAUREL_COPY_NAME");
    if (name == nullptr) GTEST_SKIP() << "run by TwoCopiesImportingAtOnceInOneProgramFolderBothSucceed";
    // Read wide: the C library's narrow environment is in the system's code page.
    const auto setting = [](const char* name) { return qEnvironmentVariable(name).toStdString(); };
    const fs::path package = rt::FsPath(setting("LAUREL_COPY_PACKAGE"));
    const fs::path marks = rt::FsPath(setting("LAUREL_COPY_MARKS"));
    const std::string waitFor = std::getenv("LAUREL_COPY_WAIT_FOR");

    // The database and the data source of the test that started this copy.
    laurel::sqlca.DBMS = "ODBC";
    laurel::sqlca.AutoCommit = false;
    laurel::sqlca.DBParm = "Connectstring='DSN=laurel'";
    ASSERT_EQ(laurel::sqlca.Connect(), 0) << laurel::sqlca.SQLErrText;
    schema::RegisterDataObjects();
    auto scripted = std::make_unique<rt::ScriptedDialogs>();
    rt::ScriptedDialogs& dialogs = *scripted;
    auto previous = rt::ui::SetDialogs(std::move(scripted));
    laurel::win::j_main_mdi window;
    laurel::j_main_mdi = &window;
    rt::ui::Open(window);
    laurel::current_path = setting("LAUREL_COPY_PROGRAM");

    namespace ex = laurel::exchange;
    const ex::ImportStep unpacked = [&](const std::string& tmp_path, ex::PackageImport& import) {
        std::ofstream(marks / (std::string(name) + ".unpacked")) << "";
        EXPECT_TRUE(WaitFor(marks / waitFor)) << "the other copy never got there";
        return ex::import_base(tmp_path, import);
    };
    dialogs.AnswerFile({1, package.string(), package.filename().string()});
    const std::optional<std::string> key = ex::ImportPackage(
        window.ole_1->Object(), laurel::sqlca, laurel::WorkingFolder(),
        {{unpacked, ex::import_ry, ex::import_dw, ex::import_xy, ex::import_hj, ex::import_yy, ex::import_zl},
         ex::import_rollback});
    EXPECT_TRUE(key.has_value()) << dialogs.Transcript();
    EXPECT_EQ(dialogs.Unexpected(), 0) << dialogs.Transcript();
    std::ofstream(marks / (std::string(name) + ".done")) << "";

    laurel::current_id = laurel::kNoRecommendation;
    rt::ui::Close(window);
    laurel::j_main_mdi = nullptr;
    // As the program does when it ends.
    rt::LeaveOwnFolders();
    rt::ui::SetDialogs(std::move(previous));
    laurel::sqlca.Disconnect();
}

TEST_F(ExchangeTest, MenuItemExportsOnlyAfterTheCompletenessCheckPassed) {
    Seed(kA);
    Open();
    // The check refuses an incomplete recommendation with its own message: nothing is written.
    Dialogs().Answer(1);
    Menu().export_clicked();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_TRUE(Dialogs().files.empty());
    EXPECT_TRUE(ProgramFolder().empty());

    // Complete and with a version number: the check reports the number, then the package is made.
    ExecCommit(
        "UPDATE j_xm_base SET xm_topicword = '主题词', bm_deptcode = '003', sf_public = '1', xk_grpno = "
        "'101', "
        "jb_awardcode = '4', xk_majorname1 = '机械学', xk_majorcode1 = '4601010', hy_etradecode = '03', "
        "ly_socucode = '06', xm_no = '登记号1', xm_startdate = '2006-07-15', xm_finishdate = '2008-12-31', "
        "xm_abstract = '简介', xm_innovation = '创新点', xm_recom = '推荐意见', xm_guid = 'ABCDEF0123456789' "
        "WHERE xm_id = ?",
        {kA.id});
    ExecCommit(
        "UPDATE j_ry_finish SET ry_name = '张三', ry_id = '110101196005200011', ry_birthday = '1960-05-20', "
        "ry_bplace = '北京', mz_nationcode = '01', xb_sex = '2', dp_sectcode = '13', zc_titlecode = '303', "
        "wp_edulev = '03', xw_degree = '4', ry_workmajor = '机械', ry_specmajor = '制造', ry_unit = "
        "'某研究所', "
        "ry_fixtel = '0571-88888888', ry_postaddr = '某路1号', ry_postcode = '310000', ry_mpno = "
        "'13900000000', "
        "ry_start = '2006-07-01', ry_finish = '2008-12-01' WHERE xm_id = ? AND ry_no = 1",
        {kA.id});
    const fs::path package = Db().Folder() / "checked.DAT";
    Dialogs().Clear();
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    Dialogs().AnswerFile({1, package.string(), "checked.DAT"});
    Menu().export_clicked();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息|当前推荐书的版本号为: ABCDEF0123456789",
                                                 "提示信息|导出成功！"}));
    EXPECT_TRUE(fs::is_regular_file(package));
}

}  // namespace

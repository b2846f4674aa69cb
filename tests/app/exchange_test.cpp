// The exchange package on the real main window over a private database: a recommendation exported
// and imported again, packages that are refused or broken, hostile archives, and members written
// by another program.

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
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
#include "exchange/package.h"
#include "records/m_main.h"
#include "runtime/dwdef.h"
#include "runtime/text.h"
#include "runtime/xml.h"
#include "runtime/zip.h"
#include "tests/support/app_fixture.h"

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
    m_main& Menu() {
        auto* menu = dynamic_cast<m_main*>(W().GetMenu());
        if (menu == nullptr) throw std::runtime_error("the main window has no m_main");
        return *menu;
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
            "UPDATE j_ry_finish SET ry_birthday = '1960-05-17', ry_anum = 2.5, ry_overseanation = '外', "
            "ry_honor = '荣誉 & 称号', ry_grdtime = NULL WHERE xm_id = ? AND ry_no = 2",
            {r.id});
        AddUnit(r.id, 2, "完成单位二");
        ExecCommit(
            "UPDATE j_dw_finish SET dw_ardbkprnnum = 3.25, dw_attach = 'Y' WHERE xm_id = ? AND dw_no = 2",
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
        rt::Transaction probe;
        probe.DBMS = "ODBC";
        probe.AutoCommit = true;
        probe.DBParm = "Connectstring='DSN=laurel'";
        EXPECT_EQ(probe.Connect(), 0) << probe.SQLErrText;
        std::map<std::string, Rows> out;
        for (const Table& t : kTables) {
            Rows rows;
            probe.Query(
                "SELECT " + ColumnList(t) + " FROM " + t.table + " WHERE xm_id = ? ORDER BY " + t.order, {id},
                rows);
            EXPECT_EQ(probe.SQLCode, 0) << probe.SQLErrText;
            out[t.table] = rows;
        }
        probe.Disconnect();
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

    // Runs the export past the completeness check into `target`.
    void Export(const fs::path& target) {
        Dialogs().AnswerFile({1, target.string(), target.filename().string()});
        Dialogs().Answer(1);
        laurel::exchange::ExportCheckedRecommendation();
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
        const fs::path out = Db().Folder() / (name + ".DAT");
        z.zipfilename = out.string();
        z.filestoprocess = folder.string() + "/*";
        EXPECT_EQ(z.zip(), 0);
        return out;
    }

    static std::string ReadFile(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void WriteFile(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }

    std::vector<std::string> ProgramFolder() const {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(program_))
            out.push_back(e.path().lexically_relative(program_).generic_string());
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

    Export(package);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|导出成功！"});
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
    EXPECT_EQ(Menu().xm_askno, kA.askno);
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
    EXPECT_FALSE(fs::exists(program_ / "tmp_in"));
    EXPECT_TRUE(fs::is_regular_file(program_ / "tmp_xml" / "xm_hj.xml"));

    // The refused package's members are still in tmp_xml; a package without awards must not pick
    // them up, and fails as a whole.
    DeleteRecommendation(kA.id);
    const fs::path noAwards =
        Rework(package, "no-awards", [](const fs::path& f) { fs::remove(f / "xm_hj.xml"); });
    auto boxes = NotExist("xm_hj");
    boxes.push_back("提示信息|推荐书导入失败!");
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
    struct Case {
        std::string name;
        std::function<void(const fs::path&)> change;
        std::vector<std::string> boxes;
    };
    const std::vector<Case> cases = {
        {"malformed",
         [](const fs::path& f) { WriteFile(f / "xm_ry.xml", "<r><a></r>"); },
         {"提示信息:xm_ry XMLParseFile error|114"}},
        // A row whose last column elements are missing.
        {"short-row",
         replace("xm_dw.xml",
                 "<dw_ardbkno/><dw_ardbkprntm>0001-01-01</dw_ardbkprntm><dw_prnset/><dw_prnflag/>", ""),
         {}},
        // A contributor that names B: it would have overwritten B's first contributor.
        {"foreign-key",
         replace("xm_ry.xml", "<xm_id>" + kA.id + "</xm_id><ry_name>完成人一",
                 "<xm_id>" + kB.id + "</xm_id><ry_name>完成人一"),
         {}},
        {"bad-date", replace("xm_hj.xml", "0001-01-01", "2005-13-45"), {}},
        {"no-project-row", replace("xm_base.xml", "xm_base_row", "xm_other_row", true), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path broken = Rework(package, c.name, c.change);
        Dialogs().Clear();
        auto boxes = c.boxes;
        boxes.push_back("提示信息|推荐书导入失败!");
        EXPECT_EQ(Import(broken, static_cast<int>(boxes.size())), boxes);
        EXPECT_EQ(RowsOf(kA.id), 0);
        EXPECT_EQ(Snapshot(kB.id), other);
        EXPECT_TRUE(ProgramFolder().empty()) << ::testing::PrintToString(ProgramFolder());
    }
    // The intact package still imports afterwards.
    Dialogs().Clear();
    EXPECT_EQ(Import(package, 1), std::vector<std::string>{"提示信息|成功导入一份推荐书!"});
    EXPECT_GT(RowsOf(kA.id), 0);
}

TEST_F(ExchangeTest, HostileArchiveIsReportedAndWritesNothingOutside) {
    Seed(kB);
    Open();
    const fs::path package = Db().Folder() / "evil.DAT";
    {
        int err = 0;
        zip_t* z = zip_open(package.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
        ASSERT_NE(z, nullptr);
        static const char kData[] = "<r/>";
        for (const char* name : {"../escaped.xml", "../../xm_base.xml"})
            ASSERT_GE(zip_file_add(z, name, zip_source_buffer(z, kData, sizeof kData - 1, 0), 0), 0);
        ASSERT_EQ(zip_close(z), 0);
    }
    std::vector<std::string> boxes = {"错误|不是本软件生成的ZIP申报文件！",
                                      "错误|不是本软件生成的ZIP申报文件！",
                                      "提示|申报文件导入不成功,出错信息为:有文件被跳过"};
    for (const char* m : {"xm_base", "xm_ry", "xm_dw", "xm_xy", "xm_hj", "xm_yy", "xm_zl"})
        boxes.push_back(NotExist(m)[0]);
    boxes.push_back("提示信息|推荐书导入失败!");
    EXPECT_EQ(Import(package, static_cast<int>(boxes.size())), boxes);
    EXPECT_FALSE(fs::exists(program_ / "escaped.xml"));
    EXPECT_FALSE(fs::exists(Db().Folder() / "xm_base.xml"));
    EXPECT_FALSE(fs::exists(Db().Folder() / "escaped.xml"));
    EXPECT_TRUE(ProgramFolder().empty());

    // A file that is no archive at all.
    WriteFile(Db().Folder() / "text.DAT", "plain text");
    boxes.erase(boxes.begin(), boxes.begin() + 3);
    boxes.insert(boxes.begin(), "提示|申报文件导入不成功,出错信息为:不是有效的ZIP压缩文件，或文件已损坏");
    Dialogs().Clear();
    EXPECT_EQ(Import(Db().Folder() / "text.DAT", static_cast<int>(boxes.size())), boxes);
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
    ry[33] = "1.5";
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
    EXPECT_EQ(Stored("SELECT ry_anum FROM j_ry_finish WHERE xm_id = ? AND ry_no = 1", {id}), "1.5");
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
    laurel::exchange::ExportCheckedRecommendation();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|导出成功！"});
    EXPECT_TRUE(ProgramFolder().empty());

    // Members that cannot be written (a file stands where the staging folder goes): no package is
    // made, and an archive left by an earlier run is not handed out in its place.
    WriteFile(program_ / "tmp_out", "in the way");
    WriteFile(program_ / "xm_data.DAT", "stale");
    const fs::path target = Db().Folder() / "never.DAT";
    Dialogs().Clear();
    for (int i = 0; i < 3; ++i) Dialogs().Answer(1);
    Dialogs().AnswerFile({1, target.string(), "never.DAT"});
    laurel::exchange::ExportCheckedRecommendation();
    EXPECT_EQ(Boxes(),
              (std::vector<std::string>{
                  "提示信息|导出不成功,出错信息为:无法生成文件 xm_base.xml",
                  "Remove directory failed|Check that the directory exists, is empty, and is not the "
                  "current directory",
                  "错误|Error opening sourcefile！"}));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(ProgramFolder(), std::vector<std::string>{"tmp_out"});
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

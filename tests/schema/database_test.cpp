// The database tool and the database it makes: refusing and cleaning up, the tables and keys, the
// code tables, and what the program relies on when it reaches the database through ODBC.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "runtime/database/transaction.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"
#include "runtime/text/value.h"
#include "schema/initdb.h"
#include "tests/support/file_bytes.h"
#include "tests/support/platform.h"
#include "tests/support/testdb.h"

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Helpers

class TempDir {
  public:
    TempDir() {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("laurel-initdb-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& Path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

// Everything in the folder, links included, by name.
std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

Db OpenReadOnly(const fs::path& p) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(rt::PathText(p).c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    return Db(raw);
}

// All rows of a query, every value as text ("<null>" for null).
std::vector<std::vector<std::string>> Rows(sqlite3* db, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
        return rows;
    }
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
    while (sqlite3_step(raw) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int i = 0; i < sqlite3_column_count(raw); ++i) {
            const unsigned char* t = sqlite3_column_text(raw, i);
            row.emplace_back(t ? reinterpret_cast<const char*>(t) : "<null>");
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// Runs the database tool; returns its exit status and what it wrote to stdout and stderr.
struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

fs::path ToolPath() {
#ifdef LAUREL_INITDB_TOOL
    return LAUREL_INITDB_TOOL;
#else
    if (const char* env = std::getenv("LAUREL_INITDB_TOOL")) return env;
    // The build puts the tool in schema/ beside the tests' folder.
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return self.parent_path().parent_path() / "schema" / "tallowmere-initdb";
#endif
}

ToolRun RunTool(const TempDir& dir, const std::vector<std::string>& args) {
    const fs::path out = dir / "tool.out";
    const fs::path err = dir / "tool.err";
    ToolRun r;
    r.status = testing_support::RunProgram(ToolPath(), args, out, err);
    r.out = testing_support::FileBytes(out);
    r.err = testing_support::FileBytes(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

// The shipped code rows, read back from a database the tool made.
const std::string kRecomdeptHeader = "st_code\tst_chdescr\n";
const std::string kXuekdmHeader = "xk_1\txk_2\txk_3\txk_name\txk_xh\n";
const std::string kGoodRecomdept = kRecomdeptHeader + "001\t省教育厅\n";
const std::string kGoodXuekdm = kXuekdmHeader + "110\t00\t00\t数学\t1\n110\t14\t00\t数理逻辑与数学基础\t2\n";

// ---------------------------------------------------------------------------------------------
// The tool: refusing an existing path, leaving nothing behind on failure

class InitDbTool : public ::testing::Test {
  protected:
    void SetUp() override {
        if (testing_support::ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "the tool makes SQLite files";
    }
};

TEST_F(InitDbTool, RefusesEveryKindOfExistingPathAndLeavesItAlone) {
    TempDir dir;
    const std::string content = std::string("not a database\n\0\x01\xff", 18);

    const fs::path file = dir / "existing.db";
    testing_support::WriteFileBytes(file, content);
    const fs::path empty = dir / "empty.db";
    testing_support::WriteFileBytes(empty, "");
    const fs::path folder = dir / "folder.db";
    fs::create_directory(folder);
    std::vector<fs::path> existing = {file, empty, folder};
    std::set<std::string> names = {"existing.db", "empty.db", "folder.db"};
    const fs::path dangling = dir / "dangling.db";
    const fs::path linked = dir / "linked.db";
    if (testing_support::LinksCanBeMade()) {
        fs::create_symlink(dir / "nowhere.db", dangling);
        fs::create_symlink(file, linked);
        existing.insert(existing.end(), {dangling, linked});
        names.insert({"dangling.db", "linked.db"});
    }

    for (const fs::path& p : existing) {
        std::string error;
        EXPECT_FALSE(schema::CreateDatabase(p.string(), error)) << p;
        EXPECT_NE(error.find("already exists"), std::string::npos) << error;
    }
    EXPECT_EQ(testing_support::FileBytes(file), content);
    EXPECT_EQ(fs::file_size(empty), 0u);
    EXPECT_TRUE(fs::is_empty(folder));
    // The dangling link is not followed: its target is not created.
    EXPECT_FALSE(fs::exists(dir / "nowhere.db"));
    EXPECT_EQ(fs::is_symlink(dangling), testing_support::LinksCanBeMade());
    EXPECT_EQ(Listing(dir.Path()), names);
}

TEST_F(InitDbTool, FailedCreationLeavesNothing) {
    TempDir dir;
    std::string error;

    EXPECT_FALSE(schema::CreateDatabase((dir / "missing/laurel.db").string(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(dir / "missing"));

    testing_support::WriteFileBytes(dir / "plain", "x");
    EXPECT_FALSE(schema::CreateDatabase((dir / "plain/laurel.db").string(), error));
    EXPECT_EQ(testing_support::FileBytes(dir / "plain"), "x");

    EXPECT_FALSE(schema::CreateDatabase("", error));
    EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"plain"});

    if (testing_support::FolderModesBind()) {  // root writes into any folder
        const fs::path locked = dir / "locked";
        fs::create_directory(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(schema::CreateDatabase((locked / "laurel.db").string(), error));
        fs::permissions(locked, fs::perms::owner_all);
        EXPECT_TRUE(fs::is_empty(locked));
    }

    // A disk that fills up, or takes no writes: said in words the user can act on, since a first
    // start shows it in a box.
    const fs::path disk = dir / "small";
    testing_support::TinyDisk small(disk, 64 << 10);
    if (!small.Mounted()) GTEST_SKIP() << small.Why();
    const std::string db = (disk / "laurel.db").string();
    ASSERT_TRUE(small.Fill());
    EXPECT_FALSE(schema::CreateDatabase(db, error));
    EXPECT_EQ(error, "无法创建数据库文件“" + rt::ShownPath(db) + "”：磁盘空间不足");
    small.Free();
    EXPECT_TRUE(fs::is_empty(disk));
    ASSERT_TRUE(small.MakeReadOnly());
    EXPECT_FALSE(schema::CreateDatabase(db, error));
    EXPECT_EQ(error, "无法创建数据库文件“" + rt::ShownPath(db) + "”：磁盘只读");
}

// Bad code-table data is found after the file was made; the file and its journal go again.
TEST_F(InitDbTool, BadCodeDataFailsClearlyAndLeavesNothing) {
    struct Case {
        const char* what;
        std::string recomdept;
        std::string xuekdm;
        const char* message;
    };
    const std::string xk = kGoodXuekdm;
    const std::string rd = kGoodRecomdept;
    // 21 Chinese characters: 42 bytes in GBK, over the limit of 40.
    const std::string name21 = "一二三四五六七八九十一二三四五六七八九十一";
    const std::vector<Case> cases = {
        {"unit code of six bytes", kRecomdeptHeader + "123456\t省教育厅\n", xk, "longer than 5 bytes"},
        {"unit row without its name", kRecomdeptHeader + "001\n", xk, "1 fields where 2"},
        {"unit row with a third field", kRecomdeptHeader + "001\t省教育厅\tx\n", xk, "3 fields where 2"},
        {"unit code twice", kRecomdeptHeader + "001\t省教育厅\n001\t省卫生厅\n", xk, "occurs twice"},
        {"unit code with a blank", kRecomdeptHeader + "0 1\t省教育厅\n", xk, "without blanks"},
        {"unit name empty", kRecomdeptHeader + "001\t\n", xk, "is empty"},
        {"unit name of 101 GBK bytes", kRecomdeptHeader + "001\t" + std::string(101, 'a') + "\n", xk,
         "more than 100"},
        {"unit name not UTF-8", kRecomdeptHeader + "001\t\xff\xfe\n", xk, "not valid UTF-8"},
        {"no header", "001\t省教育厅\n", xk, "header"},
        {"header with another column", "code\tst_chdescr\n001\t省教育厅\n", xk, "header"},
        {"no unit rows", kRecomdeptHeader, xk, "no rows"},
        {"empty unit file", "", xk, "header line is missing"},
        {"first level of two digits", rd, kXuekdmHeader + "11\t00\t00\t数学\t1\n", "exactly 3 digits"},
        {"second level of letters", rd, kXuekdmHeader + "110\tab\t00\t数学\t1\n", "exactly 2 digits"},
        {"subject name of 42 GBK bytes", rd, kXuekdmHeader + "110\t00\t00\t" + name21 + "\t1\n",
         "more than 40"},
        {"sequence number not a number", rd, kXuekdmHeader + "110\t00\t00\t数学\tx\n", "whole number"},
        {"sequence number zero", rd, kXuekdmHeader + "110\t00\t00\t数学\t0\n", "whole number"},
        {"sequence number twice", rd, xk + "120\t00\t00\t信息科学与系统科学\t2\n",
         "xk_xh \"2\" occurs twice"},
        {"subject code twice", rd, xk + "110\t14\t00\t数理逻辑\t3\n", "occurs twice"},
        {"second level without its first", rd, xk + "130\t10\t00\t基础力学\t3\n",
         "no first-level row 1300000"},
        {"third level without its second", rd, xk + "110\t17\t10\t初等数论\t3\n",
         "no second-level row 1101700"},
        {"third level below no second", rd, xk + "110\t00\t10\t数学\t3\n", "below no second level"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const fs::path db = dir / "laurel.db";
        std::string error;
        EXPECT_FALSE(schema::CreateDatabaseWithCodes(db.string(), c.recomdept, c.xuekdm, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
        EXPECT_TRUE(fs::is_empty(dir.Path())) << c.what;
    }
}

TEST_F(InitDbTool, CodeDataLimitsCountGbkBytesNotUtf8Bytes) {
    TempDir dir;
    // 20 Chinese characters take 40 bytes in GBK (60 in UTF-8): exactly the limit.
    const std::string name20 = "一二三四五六七八九十一二三四五六七八九十";
    // Windows line ends and a trailing empty line are taken as well.
    const std::string xk = "xk_1\txk_2\txk_3\txk_name\txk_xh\r\n110\t00\t00\t" + name20 + "\t7\r\n\r\n";
    std::string error;
    ASSERT_TRUE(schema::CreateDatabaseWithCodes((dir / "laurel.db").string(), kGoodRecomdept, xk, error))
        << error;
    Db db = OpenReadOnly(dir / "laurel.db");
    EXPECT_EQ(Rows(db.get(), "SELECT xk_1, xk_2, xk_3, xk_name, xk_xh FROM xuekdm"),
              (std::vector<std::vector<std::string>>{{"110", "00", "00", name20, "7"}}));
}

TEST_F(InitDbTool, CommandLine) {
    TempDir dir;
    if (!fs::exists(ToolPath())) GTEST_SKIP() << "the tool is not built at " << ToolPath();

    const fs::path db = dir / "new.db";
    ToolRun r = RunTool(dir, {db.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(db.string()), std::string::npos) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
    ASSERT_TRUE(fs::is_regular_file(db));
    const std::string made = testing_support::FileBytes(db);

    r = RunTool(dir, {db.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(testing_support::FileBytes(db), made);

    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"a.db", "b.db"}, {""}, {"-x"}}) {
        r = RunTool(dir, args);
        EXPECT_EQ(r.status, 2) << args.size();
        EXPECT_NE(r.err.find("usage"), std::string::npos) << r.err;
    }
    r = RunTool(dir, {(dir / "missing/x.db").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.empty());
    EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"new.db"});
}

// On either back end, through the data source the program uses: an empty database is prepared
// whole or not at all, and a prepared one is refused and left as it was.
TEST(InitDbDataSource, PreparesAnEmptyDatabaseWholeAndRefusesAPreparedOne) {
    if (!fs::exists(ToolPath())) GTEST_SKIP() << "the tool is not built at " << ToolPath();
    TempDir dir;
    testing_support::TestDatabase db(false);
    rt::Transaction t;
    db.Connect(t);
    const bool server = testing_support::ScratchDatabase::OnPostgreSQL();
    const auto exec = [&t](const std::string& sql) {
        ASSERT_EQ(t.Execute(sql), 0) << sql << ": " << t.SQLErrText;
        ASSERT_EQ(t.Commit(), 0) << t.SQLErrText;
    };
    const auto count = [&t](const std::string& table) {
        std::vector<rt::Value> n(1);
        EXPECT_EQ(t.SelectInto("SELECT count(*) FROM " + table, {}, n), 0) << t.SQLErrText;
        t.Rollback();
        return n[0].AsLong().value_or(-1);
    };

    // The last table cannot be made (its name is taken by an object of another kind): the tables
    // made before it go too.
    if (server) {
        exec("CREATE TYPE xuekdm AS (x integer)");
    } else {
        exec("CREATE TABLE other (x integer)");
        exec("CREATE INDEX xuekdm ON other (x)");
    }
    ToolRun r = RunTool(dir, {"--dsn", "laurel"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.err.find("xuekdm"), std::string::npos) << r.err;
    EXPECT_TRUE(schema::TablesPresent(t).empty());
    t.Rollback();
    exec(server ? "DROP TYPE xuekdm" : "DROP INDEX xuekdm");

    // Every table is made, and then a code row is refused (on the server, by a trigger that an
    // event trigger puts on the code table as it is made): the tables go too.
    if (server) {
        exec(
            "CREATE FUNCTION refuse_code() RETURNS trigger LANGUAGE plpgsql AS "
            "$$ BEGIN RAISE EXCEPTION 'code row refused'; END $$");
        exec(
            "CREATE FUNCTION arm_refusal() RETURNS event_trigger LANGUAGE plpgsql AS $$ BEGIN "
            "IF to_regclass('xuekdm') IS NOT NULL AND NOT EXISTS "
            "(SELECT 1 FROM pg_trigger WHERE tgname = 'refuse_code') THEN "
            "CREATE TRIGGER refuse_code BEFORE INSERT ON xuekdm FOR EACH ROW EXECUTE FUNCTION refuse_code(); "
            "END IF; END $$");
        exec(
            "CREATE EVENT TRIGGER arm_refusal ON ddl_command_end WHEN TAG IN ('CREATE TABLE') "
            "EXECUTE FUNCTION arm_refusal()");
        r = RunTool(dir, {"--dsn", "laurel"});
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.err.find("code row refused"), std::string::npos) << r.err;
        EXPECT_TRUE(schema::TablesPresent(t).empty());
        t.Rollback();
        exec("DROP EVENT TRIGGER arm_refusal");
        exec("DROP FUNCTION arm_refusal()");
        exec("DROP FUNCTION refuse_code()");
    }

    r = RunTool(dir, {"--dsn", "laurel"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("laurel"), std::string::npos) << r.out;
    EXPECT_EQ(schema::TablesPresent(t).size(), 9u);
    std::vector<schema::CodeTable> codes;
    std::string error;
    ASSERT_TRUE(schema::ShippedCodeTables(codes, error)) << error;
    for (const schema::CodeTable& table : codes)
        EXPECT_EQ(count(table.table), static_cast<long>(table.rows.size())) << table.table;

    exec("INSERT INTO j_xm_base (xm_id, xm_name) VALUES ('202512340001', '已有的推荐书')");
    exec("DELETE FROM xuekdm WHERE xk_xh = 1");
    const long subjects = count("xuekdm");
    r = RunTool(dir, {"--dsn", "laurel"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("holds the table j_xm_base already"), std::string::npos) << r.err;
    EXPECT_EQ(count("j_xm_base"), 1);
    EXPECT_EQ(count("xuekdm"), subjects);

    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--dsn"}, {"--dsn", ""}, {"--dsn", "a;b"}}) {
        r = RunTool(dir, args);
        EXPECT_EQ(r.status, 2) << args.size();
    }
    r = RunTool(dir, {"--dsn", "no_such_data_source"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no_such_data_source"), std::string::npos) << r.err;
}

// ---------------------------------------------------------------------------------------------
// The tables as made

struct TableSpec {
    const char* name;
    const char* columns;  // "name type, name type, ..." in the table's order
    std::vector<std::string> key;
};

// Column order is the order of the exchange package; varchar(n) counts GBK bytes.
const std::vector<TableSpec> kTables = {
    {"j_xm_base",
     "xm_id varchar(40), xk_grpno varchar(5), jb_awardcode varchar(5), xm_sn varchar(40), xm_no varchar(40), "
     "xm_pno varchar(12), xm_name varchar(100), xm_ename varchar(200), bm_deptcode varchar(5), xm_recomspec "
     "varchar(60), "
     "sf_public varchar(5), mj_secrcode varchar(5), xm_fixsecrdate date, xm_secrterm varchar(10), "
     "xm_fixsecrorgan varchar(100), xm_topicword varchar(70), xk_majorcode1 varchar(7), xk_majorname1 "
     "varchar(40), "
     "xk_majorcode2 varchar(7), xk_majorname2 varchar(40), xk_majorcode3 varchar(7), xk_majorname3 "
     "varchar(40), "
     "xk_majorcode4 varchar(7), xk_majorname4 varchar(40), hy_etradecode varchar(5), ly_socucode "
     "varchar(256), "
     "xm_planname varchar(1000), xm_startdate date, xm_finishdate date, xm_abstract varchar(2000), "
     "xm_innovation varchar(1000), xm_zongtz decimal(18,2), xm_huis integer, xm_zhijyj varchar(500), "
     "xm_jianjyj varchar(500), xm_sosiety varchar(1000), xm_recom varchar(1000), xm_pingjia varchar(2000), "
     "xm_papers varchar(2000), xm_guid varchar(40), jz_awardsortcode varchar(5), xm_askno varchar(10), "
     "xm_checkcode varchar(20), xm_xg varchar(1)",
     {"xm_id"}},
    {"j_ry_finish",
     "xm_id varchar(40), ry_name varchar(30), ry_no integer, ry_birthday date, mz_nationcode varchar(5), "
     "xb_sex varchar(5), ry_bplace varchar(10), ry_id varchar(30), dp_sectcode varchar(5), ry_overseanation "
     "varchar(20), "
     "ry_position varchar(100), sf_homecoming varchar(5), gg_date date, ry_unit varchar(100), ry_place "
     "varchar(40), "
     "ry_fixtel varchar(20), ry_postaddr varchar(100), ry_postcode varchar(6), ry_homeaddr varchar(100), "
     "ry_hometel varchar(20), ry_email varchar(100), ry_mpno varchar(20), ry_grduniv varchar(100), wp_edulev "
     "varchar(5), "
     "ry_grdtime date, zc_titlecode varchar(5), ry_workmajor varchar(100), ry_specmajor varchar(100), "
     "xw_degree varchar(5), ry_honor varchar(400), ry_start date, ry_finish date, ry_contribution "
     "varchar(800), "
     "ry_anum double precision, ry_ano varchar(20), ry_atm date, ry_flag1 varchar(1), ry_flag2 varchar(1)",
     {"xm_id", "ry_no"}},
    {"j_dw_finish",
     "xm_id varchar(40), dw_name varchar(40), dw_attach varchar(5), dw_no integer, dx_unprocode varchar(5), "
     "dw_fax varchar(40), dw_rperson varchar(16), dw_rtelphone varchar(20), ry_mpno varchar(20), dw_postaddr "
     "varchar(100), "
     "dw_postcode varchar(6), dw_emailbox varchar(100), dw_contribute varchar(1400), dw_ardbkprnnum double "
     "precision, "
     "dw_ardbkno varchar(20), dw_ardbkprntm date, dw_prnset varchar(1), dw_prnflag varchar(1)",
     {"xm_id", "dw_no"}},
    {"j_xy_saving",
     "xm_id varchar(40), xy_year varchar(4), xy_addvalue decimal(18,2), xy_addinterest decimal(18,2), "
     "xy_addtax decimal(18,2), xy_getfrgexch decimal(18,2), xy_savegross decimal(18,2), "
     "xy_zhijorjianj varchar(4), xk_bz varchar(40)",
     {"xm_id", "xy_year", "xy_zhijorjianj"}},
    {"j_jx_getaward",
     "xm_id varchar(40), jx_id integer, jx_xmname varchar(100), jx_date date, jx_name varchar(100), jx_grade "
     "varchar(10), "
     "jx_grantdept varchar(40)",
     {"xm_id", "jx_id"}},
    {"j_yy_app",
     "xm_id varchar(40), yy_id integer, dw_unitname varchar(100), yy_stsatdate date, yy_finishdate date, "
     "dw_rperson varchar(200), yy_benefit decimal(18,2), sf_submit varchar(1)",
     {"xm_id", "yy_id"}},
    {"j_zl_patent",
     "xm_id varchar(40), zl_id integer, zl_name varchar(256), zl_sortcode varchar(12), zl_nation "
     "varchar(30), "
     "zl_appno varchar(20), zl_no varchar(20)",
     {"xm_id", "zl_id"}},
    {"recomdept", "st_code varchar(5), st_chdescr varchar(100)", {"st_code"}},
    {"xuekdm",
     "xk_1 varchar(3), xk_2 varchar(2), xk_3 varchar(2), xk_name varchar(40), xk_xh integer",
     {"xk_xh"}},
};

std::vector<std::pair<std::string, std::string>> SplitColumns(const std::string& list) {
    std::vector<std::pair<std::string, std::string>> cols;
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t end = list.find(", ", pos);
        if (end == std::string::npos) end = list.size();
        const std::string item = list.substr(pos, end - pos);
        const std::size_t blank = item.find(' ');
        cols.emplace_back(item.substr(0, blank), item.substr(blank + 1));
        pos = end + 2;
    }
    return cols;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

class MadeDatabase : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        std::string error;
        ASSERT_TRUE(schema::CreateDatabase((*dir_ / "laurel.db").string(), error)) << error;
    }
    static void TearDownTestSuite() { dir_.reset(); }
    void SetUp() override {
        if (testing_support::ScratchDatabase::OnPostgreSQL())
            GTEST_SKIP() << "reads the SQLite file the tool makes";
        db_ = OpenReadOnly(*dir_ / "laurel.db");
        ASSERT_TRUE(db_);
    }
    sqlite3* db() const { return db_.get(); }

  private:
    static inline std::unique_ptr<TempDir> dir_;
    Db db_;
};

TEST_F(MadeDatabase, EveryTableHasItsColumnsTypesAndKeysInOrder) {
    std::set<std::string> expected;
    for (const TableSpec& t : kTables) {
        expected.insert(t.name);
        const auto rows = Rows(db(), std::string("PRAGMA table_info(") + t.name + ")");
        const auto cols = SplitColumns(t.columns);
        ASSERT_EQ(rows.size(), cols.size()) << t.name;
        std::vector<std::pair<int, std::string>> key;
        for (std::size_t i = 0; i < cols.size(); ++i) {
            // table_info: cid, name, type, notnull, dflt_value, pk
            EXPECT_EQ(rows[i][1], cols[i].first) << t.name << " column " << i;
            // SQLite spells the type names it knows (integer, real) in capitals.
            EXPECT_EQ(Lower(rows[i][2]), cols[i].second) << t.name << "." << cols[i].first;
            EXPECT_EQ(rows[i][4], "<null>") << t.name << "." << cols[i].first << " has a default";
            if (rows[i][5] != "0") {
                key.emplace_back(std::stoi(rows[i][5]), rows[i][1]);
                EXPECT_EQ(rows[i][3], "1") << t.name << "." << rows[i][1] << ": a key column takes no null";
            }
        }
        std::sort(key.begin(), key.end());
        std::vector<std::string> keyNames;
        for (const auto& k : key) keyNames.push_back(k.second);
        EXPECT_EQ(keyNames, t.key) << t.name;
    }
    std::set<std::string> actual;
    for (const auto& r : Rows(db(), "SELECT name FROM sqlite_master WHERE type = 'table'"))
        actual.insert(r[0]);
    EXPECT_EQ(actual, expected);
}

TEST_F(MadeDatabase, DataTablesAreEmptyAndCodeTablesFilled) {
    for (const char* t : {"j_xm_base", "j_ry_finish", "j_dw_finish", "j_xy_saving", "j_jx_getaward",
                          "j_yy_app", "j_zl_patent"})
        EXPECT_EQ(Rows(db(), std::string("SELECT count(*) FROM ") + t)[0][0], "0") << t;
    EXPECT_GE(std::stoi(Rows(db(), "SELECT count(*) FROM recomdept")[0][0]), 10);
    EXPECT_GE(std::stoi(Rows(db(), "SELECT count(*) FROM xuekdm")[0][0]), 100);
}

TEST_F(MadeDatabase, RecommendingUnitsHaveUniqueShortCodesAndNames) {
    std::set<std::string> codes;
    for (const auto& r : Rows(db(), "SELECT st_code, st_chdescr, typeof(st_code) FROM recomdept")) {
        EXPECT_TRUE(codes.insert(r[0]).second) << r[0];
        EXPECT_GE(r[0].size(), 1u);
        EXPECT_LE(r[0].size(), 5u) << r[0];
        EXPECT_EQ(r[2], "text") << r[0];
        EXPECT_GE(rt::GbkLength(r[1]), 1u) << r[0];
        EXPECT_LE(rt::GbkLength(r[1]), 100u) << r[1];
    }
}

TEST_F(MadeDatabase, SubjectCodesFormAThreeLevelTree) {
    std::set<std::tuple<std::string, std::string, std::string>> codes;
    std::set<long> numbers;
    const auto rows =
        Rows(db(), "SELECT xk_1, xk_2, xk_3, xk_name, xk_xh FROM xuekdm ORDER BY xk_1, xk_2, xk_3");
    auto digits = [](const std::string& s, std::size_t n) {
        return s.size() == n && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    int first = 0, second = 0, third = 0;
    for (const auto& r : rows) {
        const std::string code = r[0] + r[1] + r[2];
        EXPECT_TRUE(digits(r[0], 3) && digits(r[1], 2) && digits(r[2], 2)) << code;
        EXPECT_TRUE(codes.insert({r[0], r[1], r[2]}).second) << code << " twice";
        EXPECT_TRUE(numbers.insert(std::stol(r[4])).second) << "xk_xh " << r[4] << " twice";
        EXPECT_GE(rt::GbkLength(r[3]), 1u) << code;
        EXPECT_LE(rt::GbkLength(r[3]), 40u) << code << " " << r[3];
        if (r[1] == "00") {
            EXPECT_EQ(r[2], "00") << code;
            ++first;
        } else if (r[2] == "00") {
            EXPECT_TRUE(codes.count({r[0], "00", "00"})) << code << " has no first level";
            ++second;
        } else {
            EXPECT_TRUE(codes.count({r[0], r[1], "00"})) << code << " has no second level";
            ++third;
        }
    }
    // Every first-level subject of the national classification, and enough below them to exercise
    // every level of the picker.
    EXPECT_GE(first, 58);
    EXPECT_GE(second, 50);
    EXPECT_GE(third, 20);
    EXPECT_TRUE(codes.count({"110", "00", "00"}));
    EXPECT_TRUE(codes.count({"910", "00", "00"}));
}

TEST(SchemaSql, IsTheDdlAloneAndCreatesTheNineTables) {
    if (testing_support::ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "loads the text into SQLite alone";
    const std::string& sql = schema::SchemaSql();
    for (const char* notPortable : {"AUTOINCREMENT", "WITHOUT ROWID", "PRAGMA", "INSERT", "ON DELETE"})
        EXPECT_EQ(sql.find(notPortable), std::string::npos) << notPortable;
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    Db db(raw);
    char* msg = nullptr;
    EXPECT_EQ(sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, &msg), SQLITE_OK) << (msg ? msg : "");
    sqlite3_free(msg);
    EXPECT_EQ(Rows(raw, "SELECT count(*) FROM sqlite_master WHERE type = 'table'")[0][0], "9");
}

// ---------------------------------------------------------------------------------------------
// Through ODBC, as the program reaches the database

class OdbcDatabase : public ::testing::Test {
  protected:
    void SetUp() override { db_.Connect(t_); }
    void TearDown() override {
        if (t_.Connected()) {
            t_.Rollback();
            t_.Disconnect();
        }
    }

    // Runs a statement that must succeed.
    void Exec(std::string_view sql, const std::vector<rt::Value>& args = {}) {
        t_.Execute(sql, args);
        ASSERT_EQ(t_.SQLCode, 0) << sql << ": " << t_.SQLErrText;
    }
    std::vector<std::vector<rt::Value>> Query(std::string_view sql, const std::vector<rt::Value>& args = {}) {
        std::vector<std::vector<rt::Value>> rows;
        t_.Query(sql, args, rows);
        EXPECT_EQ(t_.SQLCode, 0) << sql << ": " << t_.SQLErrText;
        return rows;
    }
    std::string One(std::string_view sql, const std::vector<rt::Value>& args = {}) {
        const auto rows = Query(sql, args);
        if (rows.size() != 1 || rows[0].size() != 1) {
            ADD_FAILURE() << sql << ": " << rows.size() << " rows";
            return "<none>";
        }
        return rows[0][0].IsNull() ? "<null>" : rows[0][0].ToText();
    }

    testing_support::TestDatabase db_;
    rt::Transaction t_;
};

// The program's statements spell bare names in any case ("delete from J_ZL_PATENT") and quote
// names only in lower case, as the schema declares them. That is what every product gives: bare
// names fold (PostgreSQL to lower case), a quoted name is taken as spelt (SQLite still ignores
// its case, PostgreSQL does not).
TEST_F(OdbcDatabase, NamesResolveInAnyCaseBareAndInLowerCaseQuoted) {
    Exec("INSERT INTO J_yy_APP (XM_ID, YY_ID, Dw_UnitName) VALUES (?, ?, ?)", {"202512340001", 1, "甲单位"});
    EXPECT_EQ(One("select dw_unitname from j_yy_app where yy_id = 1"), "甲单位");
    EXPECT_EQ(One("SELECT YY_ID FROM J_YY_APP WHERE xm_id = ?", {"202512340001"}), "1");
    Exec(
        "update J_yy_APP set YY_STSATDATE ='0001-01-01' , YY_FINISHDATE ='0001-01-01' , YY_BENEFIT =0.0 "
        "where "
        "xm_id =? and YY_ID =?",
        {"202512340001", 1});
    EXPECT_EQ(One("select yy_stsatdate from j_yy_app"), "0001-01-01");

    Exec("INSERT INTO j_xm_base ( xm_id, xm_xg )  VALUES (?, '0' )", {"202512340001"});
    EXPECT_EQ(One("SELECT \"j_xm_base\".\"xm_id\" FROM \"j_xm_base\" WHERE \"j_xm_base\".\"xm_id\" = ?",
                  {"202512340001"}),
              "202512340001");
    EXPECT_EQ(One("SELECT \"xm_xg\" FROM J_XM_BASE WHERE \"j_xm_base\".XM_ID = ?", {"202512340001"}), "0");
}

TEST_F(OdbcDatabase, PlaceholderDateAndZeroAmountsReadBackUnchanged) {
    Exec("INSERT INTO j_xm_base ( xm_id, xm_xg )  VALUES (?, '0' )", {"202512340001"});
    Exec(
        "UPDATE j_xm_base set mj_secrcode = '4', xm_fixsecrdate = '0001-01-01', xm_startdate = '0001-01-01', "
        "xm_finishdate = '0001-01-01', xm_zongtz = 0.0, xm_huis = 0, xm_guid='FFFFFFFFFFFFFFFF' where xm_id "
        "= ?",
        {"202512340001"});
    std::vector<rt::Value> row;
    t_.SelectInto(
        "select xm_fixsecrdate, xm_startdate, xm_zongtz, xm_huis, xm_guid, mj_secrcode from j_xm_base", {},
        row);
    ASSERT_EQ(t_.SQLCode, 0) << t_.SQLErrText;
    ASSERT_EQ(row.size(), 6u);
    EXPECT_EQ(row[0].AsDate(), (rt::Date{1, 1, 1}));
    EXPECT_EQ(row[0].ToText(), "0001-01-01");
    EXPECT_EQ(row[1].ToText(), "0001-01-01");
    ASSERT_FALSE(row[2].IsNull());
    EXPECT_EQ(row[2].AsDecimal(), rt::Decimal::FromCents(0));
    EXPECT_EQ(row[3].AsLong(), 0);
    EXPECT_EQ(row[4].AsString(), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(row[5].AsString(), "4");
    // Stored as the text itself, so the database's own comparison finds it too.
    EXPECT_EQ(One("select count(*) from j_xm_base where xm_startdate = '0001-01-01'"), "1");

    // A real date bound as a date comes back as the same date, and an amount keeps its cents.
    Exec("update j_xm_base set xm_finishdate = ?, xm_zongtz = ? where xm_id = ?",
         {rt::Date{2024, 12, 31}, rt::Decimal::FromCents(1234567), "202512340001"});
    t_.SelectInto("select xm_finishdate, xm_zongtz from j_xm_base", {}, row);
    EXPECT_EQ(row[0].AsDate(), (rt::Date{2024, 12, 31}));
    EXPECT_EQ(row[1].AsDecimal(), rt::Decimal::FromCents(1234567));
}

TEST_F(OdbcDatabase, WholeNumbersInCharacterColumnsAreStoredAsTheirDigits) {
    Exec("INSERT INTO j_xm_base ( xm_id, xm_xg )  VALUES (?, '0' )", {"202512340001"});
    // The version generation writes the numeric literal 1; Save and Modify compare with '1' and "1".
    Exec("update j_xm_base set xm_guid =? , xm_xg =1 where xm_id =? ", {"2025123400010042", "202512340001"});
    EXPECT_EQ(One("select xm_xg from j_xm_base where xm_id =?", {"202512340001"}), "1");
    EXPECT_EQ(One("select count(*) from j_xm_base where xm_xg = '1'"), "1");
    std::vector<rt::Value> row;
    t_.SelectInto("select xm_guid , xm_xg from j_xm_base where xm_id =?", {"202512340001"}, row);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[1], rt::Value("1"));

    // New passes each year as a whole number into the char(4) key column.
    const std::string ins =
        "INSERT INTO j_xy_saving( xm_id, xy_year, xy_addvalue, xy_addinterest, xy_addtax, xy_getfrgexch, "
        "xy_savegross, xy_zhijorjianj, xk_bz ) VALUES (?, ?, 0, 0, 0, 0, 0, '1', null)";
    Exec(ins, {"202512340001", 2025});
    Exec(ins, {"202512340001", 2024});
    EXPECT_EQ(One("select xy_year from j_xy_saving where xy_year = '2025'"), "2025");
    const auto rows = Query("select xy_year, xk_bz from j_xy_saving order by xy_year");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], rt::Value("2024"));
    EXPECT_EQ(rows[1][0], rt::Value("2025"));
    EXPECT_TRUE(rows[0][1].IsNull());
    // The same year again under the same flag is the same key.
    t_.Execute(ins, {"202512340001", "2025"});
    EXPECT_EQ(t_.SQLCode, -1);
}

TEST_F(OdbcDatabase, IdentifiersAndTextsFitTheirColumns) {
    const std::string id = "202512340001";
    const std::string guid = "2025123400019876";
    Exec("INSERT INTO j_xm_base ( xm_id, xm_xg )  VALUES (?, '0' )", {id});
    Exec("update j_xm_base set xm_guid =? , xm_xg =1 where xm_id =? ", {guid, id});
    EXPECT_EQ(One("select xm_id from j_xm_base"), id);
    EXPECT_EQ(One("select xm_guid from j_xm_base"), guid);
    Exec("update j_xm_base set xm_guid ='FFFFFFFFFFFFFFFF' , xm_xg ='0' where xm_id =?", {id});
    EXPECT_EQ(One("select xm_guid from j_xm_base"), "FFFFFFFFFFFFFFFF");

    // The longest kind of right takes ten bytes in GBK: within both lengths the forms give it.
    const std::string kind = "植物新品种";
    EXPECT_EQ(rt::GbkLength(kind), 10u);
    Exec("INSERT INTO J_ZL_PATENT (xm_id, zl_id, zl_sortcode, zl_nation) VALUES (?, ?, ?, ?)",
         {id, 1, kind, "中国"});
    EXPECT_EQ(One("select zl_sortcode from j_zl_patent where zl_id = 1"), kind);
    EXPECT_EQ(One("select zl_nation from j_zl_patent where zl_id = 1"), "中国");
}

// The list tables, each with its running number and a text column to follow the rows by.
struct ListTable {
    const char* table;
    const char* number;
    const char* text;
};
const ListTable kLists[] = {
    {"j_jx_getaward", "jx_id", "jx_xmname"}, {"j_ry_finish", "ry_no", "ry_name"},
    {"j_dw_finish", "dw_no", "dw_name"},     {"j_yy_app", "yy_id", "dw_unitname"},
    {"j_zl_patent", "zl_id", "zl_name"},
};

class ListRenumbering : public OdbcDatabase {
  protected:
    const std::string id_ = "202512340001";
    const std::string other_ = "202512340002";

    void Fill(const ListTable& l, const std::string& id, int count) {
        for (int n = 1; n <= count; ++n)
            Exec(std::string("INSERT INTO ") + l.table + " (xm_id, " + l.number + ", " + l.text +
                     ") VALUES (?, ?, ?)",
                 {id, n, id + "#" + std::to_string(n)});
    }
    // "number:text" of each row of the project, in number order.
    std::vector<std::string> Numbers(const ListTable& l, const std::string& id) {
        std::vector<std::string> out;
        for (const auto& r : Query(std::string("select ") + l.number + ", " + l.text + " from " + l.table +
                                       " where xm_id = ? order by " + l.number,
                                   {id}))
            out.push_back(r[0].ToText() + ":" + (r[1].IsNull() ? "<null>" : r[1].ToText()));
        return out;
    }
    // Moves the numbers from `from` on by `by` (+1 or -1) in two statements: out of the way to the
    // negative side first, then back, so no row ever lands on a number that another row holds.
    void Shift(const ListTable& l, int from, int by) {
        const std::string t = l.table, n = l.number;
        const std::string op = by > 0 ? " + 1" : " - 1";
        Exec("update " + t + " set " + n + " = -(" + n + op + ") where xm_id = ? and " + n + " >= ?",
             {id_, from});
        Exec("update " + t + " set " + n + " = -" + n + " where xm_id = ? and " + n + " < 0", {id_});
    }
};

TEST_F(ListRenumbering, InsertAtTheTopInTwoStepsKeepsNumbersDense) {
    for (const ListTable& l : kLists) {
        SCOPED_TRACE(l.table);
        Fill(l, id_, 3);
        Fill(l, other_, 3);
        Shift(l, 1, +1);
        Exec(std::string("INSERT INTO ") + l.table + " (xm_id, " + l.number + ", " + l.text +
                 ") VALUES (?, 1, ?)",
             {id_, "new"});
        EXPECT_EQ(Numbers(l, id_), (std::vector<std::string>{"1:new", "2:" + id_ + "#1", "3:" + id_ + "#2",
                                                             "4:" + id_ + "#3"}));
        // Another project's numbers are its own.
        EXPECT_EQ(Numbers(l, other_), (std::vector<std::string>{"1:" + other_ + "#1", "2:" + other_ + "#2",
                                                                "3:" + other_ + "#3"}));
        EXPECT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    }
}

TEST_F(ListRenumbering, DeleteTheFirstInTwoStepsKeepsNumbersDense) {
    for (const ListTable& l : kLists) {
        SCOPED_TRACE(l.table);
        Fill(l, id_, 4);
        Fill(l, other_, 2);
        Exec(std::string("delete from ") + l.table + " where xm_id = ? and " + l.number + " = 1", {id_});
        Shift(l, 2, -1);
        EXPECT_EQ(Numbers(l, id_),
                  (std::vector<std::string>{"1:" + id_ + "#2", "2:" + id_ + "#3", "3:" + id_ + "#4"}));
        EXPECT_EQ(Numbers(l, other_), (std::vector<std::string>{"1:" + other_ + "#1", "2:" + other_ + "#2"}));
        EXPECT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    }
}

// Why the list commands shift in two statements: SQLite checks a primary key row by row, so raising
// 1..3 by one in a single UPDATE meets the row that still holds 2. Whatever this SQLite does, a
// failed statement must not leave half the numbers moved, and the two-step shift works afterwards
// in the same transaction.
TEST_F(ListRenumbering, OneStatementShiftIsAllOrNothingAndTwoStepsAlwaysWork) {
    const ListTable& l = kLists[0];
    Fill(l, id_, 3);
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    t_.Execute("update j_JX_GETAWARD set JX_ID =JX_ID + 1 where JX_ID >=? and xm_id =?", {1, id_});
    const long oneStep = t_.SQLCode;
    // A failed statement may end the transaction: the two steps start a new one.
    if (oneStep == -1) {
        ASSERT_EQ(t_.Rollback(), 0);
    }
    if (oneStep == 0) {
        EXPECT_EQ(Numbers(l, id_),
                  (std::vector<std::string>{"2:" + id_ + "#1", "3:" + id_ + "#2", "4:" + id_ + "#3"}));
        Shift(l, 2, -1);  // back to 1..3
    } else {
        EXPECT_EQ(oneStep, -1);
        EXPECT_EQ(Numbers(l, id_),
                  (std::vector<std::string>{"1:" + id_ + "#1", "2:" + id_ + "#2", "3:" + id_ + "#3"}));
    }
    RecordProperty("one_statement_shift_sqlcode", std::to_string(oneStep));
    Shift(l, 1, +1);
    EXPECT_EQ(Numbers(l, id_),
              (std::vector<std::string>{"2:" + id_ + "#1", "3:" + id_ + "#2", "4:" + id_ + "#3"}));
    EXPECT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(Numbers(l, id_),
              (std::vector<std::string>{"2:" + id_ + "#1", "3:" + id_ + "#2", "4:" + id_ + "#3"}));
}

// Every fixed statement text that the commands issue, as they issue it ('?' where a host variable
// is bound). They must all be accepted by a freshly made database.
struct FixedStatement {
    const char* command;
    const char* text;
};

const FixedStatement kStatements[] = {
    {"New: first project row", "INSERT INTO j_xm_base ( xm_id, xm_xg )  VALUES (?, '0' )"},
    {"New: project placeholders",
     "UPDATE j_xm_base set mj_secrcode = '4', xm_fixsecrdate = '0001-01-01', xm_startdate = '0001-01-01', "
     "xm_finishdate = '0001-01-01', xm_zongtz = 0.0, xm_huis = 0, xm_guid='FFFFFFFFFFFFFFFF' where xm_id = "
     "?"},
    {"New: contributor 1",
     "INSERT INTO j_ry_finish ( xm_id,   ry_no,  ry_birthday,  gg_date,  ry_grdtime,  ry_start, ry_finish,  "
     "ry_anum,  ry_atm  )  VALUES (?, 1, '0001-01-01', '0001-01-01', '0001-01-01', '0001-01-01', "
     "'0001-01-01', 0, "
     "'0001-01-01')"},
    {"New: unit 1",
     "INSERT INTO j_dw_finish ( xm_id,   dw_no, dw_ardbkprnnum, dw_ardbkprntm  ) VALUES ( ?,  1 , 0.0 "
     ",'0001-01-01' )"},
    {"New: direct benefit years",
     "INSERT INTO j_xy_saving( xm_id, xy_year, xy_addvalue, xy_addinterest, xy_addtax, xy_getfrgexch, "
     "xy_savegross, xy_zhijorjianj, xk_bz ) VALUES (?, ?, 0, 0, 0, 0, 0, '1', null)"},
    {"New: indirect benefit years",
     "INSERT INTO j_xy_saving( xm_id, xy_year, xy_addvalue, xy_addinterest, xy_addtax, xy_getfrgexch, "
     "xy_savegross, xy_zhijorjianj, xk_bz ) VALUES (?, ?, 0, 0, 0, 0, 0, '0', null)"},
    {"Delete: contributors", "delete from j_ry_finish where xm_id = ?"},
    {"Delete: units", "delete from j_dw_finish where xm_id = ?"},
    {"Delete: benefits", "delete from j_xy_saving where xm_id = ?"},
    {"Delete: awards", "delete from j_JX_GETAWARD where xm_id = ?"},
    {"Delete: application units", "delete from J_yy_APP where xm_id = ?"},
    {"Delete: intellectual property", "delete from J_ZL_PATENT where xm_id = ?"},
    {"Save: read state", "select xm_xg from j_xm_base where xm_id =?"},
    {"Save, closing prompt: mark saved", "UPDATE j_xm_base  SET xm_xg = '1' WHERE xm_id = ? "},
    {"Modify: read version and state", "select xm_guid , xm_xg from j_xm_base where xm_id =?"},
    {"Modify: discard version",
     "update j_xm_base set xm_guid ='FFFFFFFFFFFFFFFF' , xm_xg ='0' where xm_id =?"},
    {"Modify: reopen", "update j_xm_base set xm_xg ='0' where xm_id =?"},
    {"Recommendation number: duplicate lookup", "select xm_id from j_xm_base where xm_askno =? "},
    {"Check: read version", "select xm_guid from j_xm_base where xm_id =? "},
    {"Check: write version", "update j_xm_base set xm_guid =? , xm_xg =1 where xm_id =? "},
    {"Insert award: renumber out of the way",
     "update j_JX_GETAWARD set JX_ID =-(JX_ID + 1) where JX_ID >= ? and xm_id = ?"},
    {"Insert or delete award: renumber back",
     "update j_JX_GETAWARD set JX_ID =-JX_ID where JX_ID < 0 and xm_id = ?"},
    {"Insert award: placeholders",
     "update j_JX_GETAWARD set jx_date ='0001-01-01' where xm_id =? and jx_id =?"},
    {"Insert contributor: renumber out of the way",
     "update j_ry_finish set ry_no =-(ry_no + 1) where ry_no >= ? and xm_id = ?"},
    {"Insert or delete contributor: renumber back",
     "update j_ry_finish set ry_no =-ry_no where ry_no < 0 and xm_id = ?"},
    {"Insert contributor: placeholders",
     "update j_ry_finish set ry_birthday ='0001-01-01' , gg_date ='0001-01-01' , ry_grdtime ='0001-01-01' , "
     "ry_start ='0001-01-01' , ry_finish ='0001-01-01' , ry_anum =0.0 , ry_atm ='0001-01-01' where xm_id =? "
     "and "
     "ry_no =?"},
    {"Insert unit: renumber out of the way",
     "update j_dw_finish set dw_no =-(dw_no + 1) where dw_no >= ? and xm_id = ?"},
    {"Insert or delete unit: renumber back",
     "update j_dw_finish set dw_no =-dw_no where dw_no < 0 and xm_id = ?"},
    {"Insert unit: placeholders",
     "update j_dw_finish set dw_ardbkprnnum =0.0 , dw_ardbkprntm ='0001-01-01' where xm_id =? and dw_no =?"},
    {"Insert application unit: renumber out of the way",
     "update J_yy_APP set YY_ID =-(YY_ID + 1) where YY_ID >= ? and xm_id = ?"},
    {"Insert or delete application unit: renumber back",
     "update J_yy_APP set YY_ID =-YY_ID where YY_ID < 0 and xm_id = ?"},
    {"Insert application unit: placeholders",
     "update J_yy_APP set YY_STSATDATE ='0001-01-01' , YY_FINISHDATE ='0001-01-01' , YY_BENEFIT =0.0 where "
     "xm_id =? "
     "and YY_ID =?"},
    {"Insert intellectual property: renumber out of the way",
     "update J_ZL_PATENT set ZL_ID =-(ZL_ID + 1) where ZL_ID >= ? and xm_id = ?"},
    {"Insert or delete intellectual property: renumber back",
     "update J_ZL_PATENT set ZL_ID =-ZL_ID where ZL_ID < 0 and xm_id = ?"},
    {"Delete award: renumber out of the way",
     "update j_JX_GETAWARD set JX_ID =-(JX_ID - 1) where JX_ID > ? and xm_id = ?"},
    {"Delete contributor: renumber out of the way",
     "update j_ry_finish set ry_no =-(ry_no - 1) where ry_no > ? and xm_id = ?"},
    {"Delete unit: renumber out of the way",
     "update j_dw_finish set dw_no =-(dw_no - 1) where dw_no > ? and xm_id = ?"},
    {"Delete application unit: renumber out of the way",
     "update J_yy_APP set YY_ID =-(YY_ID - 1) where YY_ID > ? and xm_id = ?"},
    {"Delete intellectual property: renumber out of the way",
     "update J_ZL_PATENT set ZL_ID =-(ZL_ID - 1) where ZL_ID > ? and xm_id = ?"},
    {"Import: duplicate check", "SELECT xm_name FROM j_xm_base WHERE xm_id = ?"},
    {"Import: project key", "INSERT INTO j_xm_base (xm_id) VALUES (?)"},
    {"Import: project columns",
     "UPDATE j_xm_base SET xk_grpno = ?, jb_awardcode = ?, xm_no = ?, xm_name = ?, xm_ename = ?, bm_deptcode "
     "= ?, "
     "sf_public = ?, mj_secrcode = ?, xm_fixsecrdate = ?, xm_secrterm = ?, xm_fixsecrorgan = ?, xm_topicword "
     "= ?, "
     "xk_majorcode1 = ?, xk_majorname1 = ?, xk_majorcode2 = ?, xk_majorname2 = ?, xk_majorcode3 = ?, "
     "xk_majorname3 = ?, hy_etradecode = ?, ly_socucode = ?, xm_planname = ?, xm_startdate = ?, "
     "xm_finishdate = ?, "
     "xm_abstract = ?, xm_innovation = ?, xm_zongtz = ?, xm_huis = ?, xm_zhijyj = ?, xm_jianjyj = ?, "
     "xm_sosiety = ?, xm_recom = ?, xm_pingjia = ?, xm_papers = ?, xm_guid = ?, jz_awardsortcode = ?, "
     "xm_askno = ?, xm_checkcode = ?, xm_xg = ? WHERE xm_id = ?"},
    {"Import: contributor key", "INSERT INTO j_RY_FINISH (xm_id, ry_no) VALUES (?, ?)"},
    {"Import: contributor columns",
     "UPDATE j_RY_FINISH SET ry_name = ?, ry_birthday = ?, mz_nationcode = ?, xb_sex = ?, ry_bplace = ?, "
     "ry_id = ?, "
     "dp_sectcode = ?, ry_position = ?, ry_unit = ?, ry_fixtel = ?, ry_postaddr = ?, ry_postcode = ?, "
     "ry_email = ?, ry_mpno = ?, ry_grduniv = ?, wp_edulev = ?, ry_grdtime = ?, zc_titlecode = ?, "
     "ry_workmajor = ?, ry_specmajor = ?, xw_degree = ?, ry_honor = ?, ry_start = ?, ry_finish = ?, "
     "ry_contribution = ?, ry_anum = ?, ry_atm = ? WHERE xm_id = ? AND ry_no = ?"},
    {"Import: unit key", "INSERT INTO j_DW_FINISH (xm_id, dw_no) VALUES (?, ?)"},
    {"Import: unit columns",
     "UPDATE j_DW_FINISH SET dw_name = ?, dx_unprocode = ?, dw_fax = ?, dw_rperson = ?, dw_rtelphone = ?, "
     "ry_mpno = ?, dw_postaddr = ?, dw_postcode = ?, dw_emailbox = ?, dw_contribute = ?, dw_ardbkprnnum = ?, "
     "dw_ardbkprntm = ? WHERE xm_id = ? AND dw_no = ?"},
    {"Import: benefit key", "INSERT INTO j_XY_SAVING (xm_id, xy_year, xy_zhijorjianj) VALUES (?, ?, ?)"},
    {"Import: benefit columns",
     "UPDATE j_XY_SAVING SET xy_addvalue = ?, xy_addinterest = ?, xy_addtax = ?, xy_getfrgexch = ?, "
     "xy_savegross = ? WHERE xm_id = ? AND xy_year = ? AND xy_zhijorjianj = ?"},
    {"Import: award key", "INSERT INTO j_JX_GETAWARD (xm_id, jx_id) VALUES (?, ?)"},
    {"Import: award columns",
     "UPDATE j_JX_GETAWARD SET jx_xmname = ?, jx_date = ?, jx_name = ?, jx_grade = ?, jx_grantdept = ? WHERE "
     "xm_id = ? AND jx_id = ?"},
    {"Import: application unit key", "INSERT INTO J_yy_APP (xm_id, yy_id) VALUES (?, ?)"},
    {"Import: application unit columns",
     "UPDATE J_yy_APP SET dw_unitname = ?, yy_stsatdate = ?, yy_finishdate = ?, dw_rperson = ?, yy_benefit = "
     "?, "
     "sf_submit = ? WHERE xm_id = ? AND yy_id = ?"},
    {"Import: intellectual property key", "INSERT INTO J_ZL_PATENT (xm_id, zl_id) VALUES (?, ?)"},
    {"Import: intellectual property columns",
     "UPDATE J_ZL_PATENT SET zl_name = ?, zl_sortcode = ?, zl_nation = ?, zl_appno = ?, zl_no = ? WHERE "
     "xm_id = ? "
     "AND zl_id = ?"},
};

// The declared type of a column of the tables above; empty when the table has no such column.
std::string DeclaredType(const std::string& table, const std::string& column) {
    for (const TableSpec& t : kTables) {
        if (t.name != table) continue;
        for (const auto& [name, type] : SplitColumns(t.columns))
            if (name == column) return type;
    }
    return "";
}

// The column each '?' of a statement stands for, in lower case: inside VALUES (...) the column at
// the same place of the INSERT's list, elsewhere the name the marker is compared with or assigned
// to ("xm_id =?", "JX_ID >=?").
std::vector<std::string> MarkerColumns(const std::string& statement) {
    const std::string sql = Lower(statement);
    auto list = [&](std::size_t open) {
        std::vector<std::string> items;
        std::string item;
        for (std::size_t i = open + 1; i < sql.size() && sql[i] != ')'; ++i) {
            if (sql[i] != ',') {
                if (sql[i] != ' ') item += sql[i];
                continue;
            }
            items.push_back(item);
            item.clear();
        }
        items.push_back(item);
        return items;
    };
    const std::size_t values = sql.find("values");
    std::vector<std::string> names, given;
    if (values != std::string::npos) {
        names = list(sql.find('('));
        given = list(sql.find('(', values));
    }
    std::vector<std::string> out;
    std::size_t place = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        if (sql[i] != '?') continue;
        if (values != std::string::npos && i > values) {
            while (place < given.size() && given[place] != "?") ++place;
            out.push_back(place < names.size() ? names[place++] : "");
            continue;
        }
        std::size_t end = i;
        while (end > 0 && std::string_view(" =<>").find(sql[end - 1]) != std::string_view::npos) --end;
        std::size_t begin = end;
        while (begin > 0 &&
               (std::isalnum(static_cast<unsigned char>(sql[begin - 1])) || sql[begin - 1] == '_'))
            --begin;
        out.push_back(sql.substr(begin, end - begin));
    }
    return out;
}

// The table a statement reads or writes, in lower case.
std::string StatementTable(const std::string& statement) {
    const std::string sql = Lower(statement);
    for (const char* before : {"insert into ", "update ", " from "}) {
        const std::size_t at = sql.find(before);
        if (at == std::string::npos) continue;
        const std::size_t begin = sql.find_first_not_of(' ', at + std::strlen(before));
        return sql.substr(begin, sql.find_first_of(" (", begin) - begin);
    }
    return "";
}

TEST_F(OdbcDatabase, EveryFixedStatementPreparesAndRuns) {
    rt::DynamicStagingArea sqlsa;
    int index = 0;
    for (const FixedStatement& s : kStatements) {
        SCOPED_TRACE(s.command);
        ++index;
        EXPECT_EQ(sqlsa.Prepare(t_, s.text), 0) << t_.SQLErrText;
        EXPECT_EQ(t_.SQLCode, 0) << t_.SQLErrText;
        // Run it too: PostgreSQL's driver prepares lazily, so a name the database does not know
        // shows only when the statement runs. Every marker gets a value of its column's type, as a
        // typed database insists; each statement gets values of its own, so no insert meets
        // another's key; nothing is kept.
        const std::string text = s.text;
        const std::string table = StatementTable(text);
        std::vector<rt::Value> args;
        for (const std::string& column : MarkerColumns(text)) {
            const std::string type = DeclaredType(table, column);
            const std::int64_t number = index * 100 + static_cast<std::int64_t>(args.size());
            if (type.rfind("varchar(", 0) == 0) {
                const std::string value = "s" + std::to_string(index) + "_" + std::to_string(args.size());
                args.emplace_back(value.substr(0, std::stoul(type.substr(8))));
            } else if (type == "date") {
                args.emplace_back(rt::Date{2000, 1, 1 + index % 28});
            } else if (type == "integer" || type == "double precision" || type.rfind("decimal(", 0) == 0) {
                args.emplace_back(number);
            } else {
                ADD_FAILURE() << "marker " << args.size() << " stands for " << table << "." << column
                              << ", which is no column of the tables";
                args.emplace_back(std::string("?"));
            }
        }
        if (text.rfind("select", 0) == 0 || text.rfind("SELECT", 0) == 0) {
            std::vector<std::vector<rt::Value>> rows;
            EXPECT_EQ(t_.Query(text, args, rows), 0) << t_.SQLErrText;
        } else {
            EXPECT_EQ(t_.Execute(text, args), 0) << t_.SQLErrText;
        }
    }
    EXPECT_EQ(t_.Rollback(), 0);
}

}  // namespace

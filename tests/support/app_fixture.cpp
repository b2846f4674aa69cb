#include "tests/support/app_fixture.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <system_error>

#include "app/globals.h"
#include "document/documents.h"
#include "records/globals.h"
#include "runtime/datawindow/datawindow.h"
#include "runtime/platform/files.h"
#include "runtime/platform/os.h"
#include "runtime/platform/path.h"
#include "runtime/ui/window.h"
#include "runtime/word/word.h"
#include "schema/dataobjects.h"
#include "sections/globals.h"

namespace testing_support {

namespace {
constexpr std::uint32_t kTestSpinCount = 10;
}  // namespace

UserDataFolder::UserDataFolder(const std::string& home) {
    if (const char* old = std::getenv("XDG_DATA_HOME")) previous_ = old;
    rt::os::SetEnvironment("XDG_DATA_HOME", home.c_str());
    // The folder is named after the organisation and the program: an organisation of this object's
    // own gives it a parent that nothing else uses.
    organization_ = QCoreApplication::organizationName().toStdString();
    QCoreApplication::setOrganizationName(QStringLiteral("laurel-test-%1").arg(std::random_device()()));
    const QString location = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    home_ = rt::FsPath(location.toStdString()).parent_path();
}

UserDataFolder::~UserDataFolder() {
    // The working folders made meanwhile go first: on Windows, their marks keep them from removal.
    rt::LeaveOwnFolders();
    std::error_code ec;
    std::filesystem::remove_all(home_, ec);
    QCoreApplication::setOrganizationName(QString::fromStdString(organization_));
    if (previous_) {
        rt::os::SetEnvironment("XDG_DATA_HOME", previous_->c_str());
    } else {
        rt::os::SetEnvironment("XDG_DATA_HOME", nullptr);
    }
}

std::string XmId(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%012d", n);
    return buf;
}

laurel::check::Prepared AppTest::AllPrepare() {
    return laurel::check::all_prepare(laurel::records::PreparedPagesOf(W().Sections()), laurel::current_id);
}

int AppTest::AllPrint(const laurel::document::PrintBuffer& buffer) {
    return laurel::document::all_print(buffer, laurel::records::FormPagesOf(W().Sections()),
                                       laurel::current_id, laurel::current_path, laurel::WorkingFolder());
}

int AppTest::AllPrint789(const laurel::document::PrintBuffer& buffer) {
    return laurel::document::all_print_789(buffer, laurel::records::ListPagesOf(W().Sections()),
                                           laurel::current_id, laurel::WorkingFolder(),
                                           laurel::WorkingPlace());
}

void AppTest::SetUp() {
    // The hash of a protected document is the subject of the word engine's own tests; here it need
    // only open the document, and its hundred thousand rounds took most of a lists test's time
    // under the sanitizers.
    rt::word::SetProtectionSpinCount(kTestSpinCount);
    db_ = std::make_unique<TestDatabase>();
    db_->Connect(laurel::sqlca);
    schema::RegisterDataObjects();
    auto scripted = std::make_unique<rt::ScriptedDialogs>();
    dialogs_ = scripted.get();
    previous_ = rt::ui::SetDialogs(std::move(scripted));
}

void AppTest::TearDown() {
    if (window_) {
        if (window_->IsOpen()) {
            // No recommendation current: the window closes without asking.
            laurel::current_id = laurel::kNoRecommendation;
            rt::ui::Close(*window_);
        }
        window_.reset();
    }
    EXPECT_EQ(dialogs_->Unexpected(), 0) << "message boxes nobody expected:\n" << dialogs_->Transcript();
    EXPECT_EQ(dialogs_->PendingAnswers(), 0) << "answers queued for boxes that never came:\n"
                                             << dialogs_->Transcript();
    rt::ui::SetDialogs(std::move(previous_));
    dialogs_ = nullptr;

    other_.reset();
    probe_.reset();
    laurel::sqlca.Disconnect();
    laurel::sqlca.ConnectLater = false;
    laurel::current_id.clear();
    laurel::current_page = 0;
    laurel::current_ry = 0;
    laurel::current_dw = 0;
    laurel::current_path.clear();
    laurel::j_main_mdi = nullptr;
    laurel::w_start = nullptr;
    db_.reset();
    rt::word::SetProtectionSpinCount(rt::word::kProtectionSpinCount);
}

// ---- seeding -----------------------------------------------------------------------------------

void AppTest::Exec(const std::string& sql, const std::vector<rt::Value>& args) {
    laurel::sqlca.Execute(sql, args);
    EXPECT_EQ(laurel::sqlca.SQLCode, 0) << sql << ": " << laurel::sqlca.SQLErrText;
}

void AppTest::ExecCommit(const std::string& sql, const std::vector<rt::Value>& args) {
    Exec(sql, args);
    EXPECT_EQ(laurel::sqlca.Commit(), 0) << laurel::sqlca.SQLErrText;
}

void AppTest::MoveDatabaseInto(const std::filesystem::path& folder) {
    ASSERT_EQ(laurel::sqlca.Disconnect(), 0);
    const std::filesystem::path moved = folder / Db().DatabaseFile().filename();
    std::filesystem::copy_file(Db().DatabaseFile(), moved);
    std::filesystem::remove(Db().DatabaseFile());
    std::filesystem::create_symlink(moved, Db().DatabaseFile());
    Db().Connect(laurel::sqlca);
}

void AppTest::Seed(const Recommendation& r) {
    Exec(
        "INSERT INTO j_xm_base (xm_id, xm_askno, xm_name, xm_xg, xm_guid, mj_secrcode, xm_fixsecrdate, "
        "xm_startdate, xm_finishdate, xm_zongtz, xm_huis) VALUES (?, ?, ?, ?, 'FFFFFFFFFFFFFFFF', '4', "
        "'0001-01-01', '0001-01-01', '0001-01-01', 0.0, 0)",
        {r.id, r.askno, r.name, r.xg});
    AddContributor(r.id, 1, "完成人一");
    AddUnit(r.id, 1, "完成单位一");
    const int year = rt::Date::Today().year;
    for (const char* kind : {"1", "0"})
        for (int back = 1; back <= 3; ++back)
            Exec(
                "INSERT INTO j_xy_saving (xm_id, xy_year, xy_addvalue, xy_addinterest, xy_addtax, "
                "xy_getfrgexch, "
                "xy_savegross, xy_zhijorjianj) VALUES (?, ?, 0, 0, 0, 0, 0, ?)",
                {r.id, year - back, kind});
    ASSERT_EQ(laurel::sqlca.Commit(), 0) << laurel::sqlca.SQLErrText;
}

void AppTest::AddContributor(const std::string& id, int ry_no, const std::string& name) {
    ExecCommit(
        "INSERT INTO j_ry_finish (xm_id, ry_no, ry_name, ry_birthday, gg_date, ry_grdtime, ry_start, "
        "ry_finish, "
        "ry_atm, ry_anum) VALUES (?, ?, ?, '0001-01-01', '0001-01-01', '0001-01-01', '0001-01-01', "
        "'0001-01-01', "
        "'0001-01-01', 0)",
        {id, ry_no, name});
}

void AppTest::AddUnit(const std::string& id, int dw_no, const std::string& name) {
    ExecCommit(
        "INSERT INTO j_dw_finish (xm_id, dw_no, dw_name, dw_ardbkprntm, dw_ardbkprnnum) VALUES (?, ?, ?, "
        "'0001-01-01', 0.0)",
        {id, dw_no, name});
}

void AppTest::AddAward(const std::string& id, int jx_id, const std::string& name) {
    ExecCommit("INSERT INTO j_jx_getaward (xm_id, jx_id, jx_xmname, jx_date) VALUES (?, ?, ?, '0001-01-01')",
               {id, jx_id, name});
}

void AppTest::AddApplication(const std::string& id, int yy_id, const std::string& unit) {
    ExecCommit(
        "INSERT INTO j_yy_app (xm_id, yy_id, dw_unitname, yy_stsatdate, yy_finishdate, yy_benefit) VALUES "
        "(?, ?, "
        "?, '0001-01-01', '0001-01-01', 0.0)",
        {id, yy_id, unit});
}

void AppTest::AddProperty(const std::string& id, int zl_id, const std::string& name) {
    ExecCommit("INSERT INTO j_zl_patent (xm_id, zl_id, zl_name) VALUES (?, ?, ?)", {id, zl_id, name});
}

void AppTest::RefuseWrites(const std::string& name, const std::string& when, Refusal refusal,
                           const std::string& condition) {
    if (!ScratchDatabase::OnPostgreSQL()) {
        const char* raise = refusal == Refusal::EndsTransaction ? "ROLLBACK" : "ABORT";
        ExecCommit("CREATE TRIGGER " + name + " " + when + (condition.empty() ? "" : " WHEN " + condition) +
                   " BEGIN SELECT RAISE(" + raise + ", 'refused'); END");
        return;
    }
    Exec("CREATE FUNCTION " + name +
         "() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'refused'; END $$");
    ExecCommit("CREATE TRIGGER " + name + " " + when + " FOR EACH ROW" +
               (condition.empty() ? "" : " WHEN (" + condition + ")") + " EXECUTE FUNCTION " + name + "()");
}

void AppTest::AllowWrites(const std::string& name, const std::string& table) {
    if (!ScratchDatabase::OnPostgreSQL()) {
        ExecCommit("DROP TRIGGER " + name);
        return;
    }
    Exec("DROP TRIGGER " + name + " ON " + table);
    ExecCommit("DROP FUNCTION " + name + "()");
}

// ---- reading back ------------------------------------------------------------------------------

// A connection of its own for the reads, in autocommit mode: it sees only what is committed, and
// it holds no lock between two reads that could keep the program's COMMIT waiting. It stays for the
// test, since a connection for each read cost more than many a test on PostgreSQL. A read that
// fails is made again on a new connection, as the read of a connection made for it alone, so that
// a test that took the sessions away meanwhile finds what such a read finds.
rt::Transaction* AppTest::Probe() {
    if (!probe_) {
        probe_ = std::make_unique<rt::Transaction>();
        if (!ConnectAnother(*probe_, true)) {
            probe_.reset();
            return nullptr;
        }
    }
    return probe_.get();
}

rt::Value AppTest::StoredValue(const std::string& sql, const std::vector<rt::Value>& args) {
    rt::Transaction* probe = Probe();
    if (probe == nullptr) return {};
    std::vector<rt::Value> into;
    if (probe->SelectInto(sql, args, into) == -1) {
        probe_.reset();
        if ((probe = Probe()) == nullptr) return {};
        probe->SelectInto(sql, args, into);
    }
    EXPECT_NE(probe->SQLCode, -1) << sql << ": " << probe->SQLErrText;
    return into.empty() ? rt::Value() : into.front();
}

std::optional<std::string> AppTest::Stored(const std::string& sql, const std::vector<rt::Value>& args) {
    const rt::Value v = StoredValue(sql, args);
    if (v.IsNull()) return std::nullopt;
    return v.ToText();
}

std::optional<std::string> AppTest::Pending(const std::string& sql, const std::vector<rt::Value>& args) {
    std::vector<rt::Value> into;
    laurel::sqlca.SelectInto(sql, args, into);
    EXPECT_NE(laurel::sqlca.SQLCode, -1) << sql << ": " << laurel::sqlca.SQLErrText;
    if (into.empty() || into.front().IsNull()) return std::nullopt;
    return into.front().ToText();
}

std::vector<std::vector<rt::Value>> AppTest::StoredRows(const std::string& sql,
                                                        const std::vector<rt::Value>& args) {
    std::vector<std::vector<rt::Value>> rows;
    rt::Transaction* probe = Probe();
    if (probe == nullptr) return rows;
    if (probe->Query(sql, args, rows) == -1) {
        probe_.reset();
        if ((probe = Probe()) == nullptr) return rows;
        probe->Query(sql, args, rows);
    }
    EXPECT_EQ(probe->SQLCode, 0) << sql << ": " << probe->SQLErrText;
    return rows;
}

std::vector<std::vector<rt::Value>> AppTest::PendingRows(const std::string& sql,
                                                         const std::vector<rt::Value>& args) {
    std::vector<std::vector<rt::Value>> rows;
    EXPECT_EQ(laurel::sqlca.Query(sql, args, rows), 0) << sql << ": " << laurel::sqlca.SQLErrText;
    return rows;
}

std::optional<std::string> AppTest::StoredBase(const std::string& id, const std::string& column) {
    return Stored("SELECT " + column + " FROM j_xm_base WHERE xm_id = ?", {id});
}

long AppTest::StoredCount(const std::string& table, const std::string& id) {
    const rt::Value v = StoredValue("SELECT count(*) FROM " + table + " WHERE xm_id = ?", {id});
    return static_cast<long>(v.AsLong().value_or(-1));
}

bool AppTest::ConnectAnother(rt::Transaction& t, bool autoCommit) {
    std::string error;
    if (ConnectToSource(t, autoCommit, error)) return true;
    ADD_FAILURE() << "another connection: " << error;
    return false;
}

// ---- the second desktop ------------------------------------------------------------------------

AppTest::OtherDesktop::OtherDesktop() {
    ConnectAnother(t_, false);
}

AppTest::OtherDesktop::~OtherDesktop() {
    t_.Rollback();
    t_.Disconnect();
}

AppTest::OtherDesktop& AppTest::Other() {
    if (!other_) other_ = std::make_unique<OtherDesktop>();
    return *other_;
}

void AppTest::OtherDesktop::Store(const std::string& sql, const std::vector<rt::Value>& args) {
    EXPECT_EQ(t_.Execute(sql, args), 0) << sql << ": " << t_.SQLErrText;
    EXPECT_EQ(t_.Commit(), 0) << t_.SQLErrText;
}

void AppTest::OtherDesktop::EditPage(const std::string& object, const std::vector<rt::Value>& args,
                                     const std::string& column, const rt::Value& value, long row) {
    rt::DataWindow page(object);
    page.SetTransObject(t_);
    ASSERT_GE(page.Retrieve(args), row) << object;
    ASSERT_EQ(page.SetItem(row, column, value), 1) << column;
    ASSERT_EQ(page.Update(), 1) << object << ": " << t_.SQLErrText;
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
}

void AppTest::OtherDesktop::Renumber(const std::string& table, const std::string& number,
                                     const std::string& id, int from, int by) {
    // In two steps, as the program moves numbers: out of the way to negative ones, then back.
    EXPECT_EQ(t_.Execute("UPDATE " + table + " SET " + number + " = -(" + number +
                             " + ?) WHERE xm_id = ? AND " + number + " >= ?",
                         {by, id, from}),
              0)
        << t_.SQLErrText;
    EXPECT_EQ(t_.Execute("UPDATE " + table + " SET " + number + " = -" + number + " WHERE xm_id = ? AND " +
                             number + " < 0",
                         {id}),
              0)
        << t_.SQLErrText;
}

void AppTest::OtherDesktop::RemoveItem(const std::string& table, const std::string& number,
                                       const std::string& id, int k) {
    EXPECT_EQ(t_.Execute("DELETE FROM " + table + " WHERE xm_id = ? AND " + number + " = ?", {id, k}), 0)
        << t_.SQLErrText;
    Renumber(table, number, id, k + 1, -1);
    EXPECT_EQ(t_.Commit(), 0) << t_.SQLErrText;
}

void AppTest::OtherDesktop::InsertItem(const std::string& table, const std::string& number,
                                       const std::string& id, int k, const std::string& nameColumn,
                                       const std::string& name) {
    Renumber(table, number, id, k, 1);
    Store("INSERT INTO " + table + " (xm_id, " + number + ", " + nameColumn + ") VALUES (?, ?, ?)",
          {id, k, name});
}

void AppTest::OtherDesktop::Save(const std::string& id) {
    Store("UPDATE j_xm_base  SET xm_xg = '1' WHERE xm_id = ? ", {id});
}

void AppTest::OtherDesktop::MakeVersion(const std::string& id, const std::string& version) {
    Store("update j_xm_base set xm_guid =? , xm_xg =1 where xm_id =? ", {version, id});
}

namespace {

const char* const kRecommendationTables[] = {"j_xm_base",     "j_ry_finish", "j_dw_finish", "j_xy_saving",
                                             "j_jx_getaward", "j_yy_app",    "j_zl_patent"};

}  // namespace

AppTest::ReadLock::ReadLock() {
    if (!ConnectAnother(reader_, false)) return;
    if (!ScratchDatabase::OnPostgreSQL()) {
        // A read inside an open transaction keeps the database's shared lock until it ends.
        std::vector<std::vector<rt::Value>> rows;
        EXPECT_EQ(reader_.Query("SELECT count(*) FROM j_xm_base", {}, rows), 0) << reader_.SQLErrText;
        return;
    }
    // A server has no lock that fails a COMMIT; a deferred trigger that refuses every write does.
    // Made in one transaction, and given up rather than waited for if the program holds a table.
    std::vector<std::string> sql = {
        "SET LOCAL lock_timeout = '5s'",
        "CREATE FUNCTION laurel_refuse_commit() RETURNS trigger LANGUAGE plpgsql AS "
        "$$ BEGIN RAISE EXCEPTION 'the test refuses this commit'; END $$"};
    for (const char* table : kRecommendationTables)
        sql.push_back(std::string("CREATE CONSTRAINT TRIGGER laurel_refuse_commit AFTER INSERT OR UPDATE OR "
                                  "DELETE ON ") +
                      table +
                      " DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION laurel_refuse_commit()");
    for (const std::string& statement : sql)
        EXPECT_EQ(reader_.Execute(statement), 0) << statement << ": " << reader_.SQLErrText;
    EXPECT_EQ(reader_.Commit(), 0) << reader_.SQLErrText;
}

AppTest::ReadLock::~ReadLock() {
    if (!reader_.Connected()) return;
    reader_.Rollback();
    if (ScratchDatabase::OnPostgreSQL()) {
        reader_.Execute("SET LOCAL lock_timeout = '5s'");
        for (const char* table : kRecommendationTables)
            EXPECT_EQ(reader_.Execute(std::string("DROP TRIGGER laurel_refuse_commit ON ") + table), 0)
                << reader_.SQLErrText;
        EXPECT_EQ(reader_.Execute("DROP FUNCTION laurel_refuse_commit()"), 0) << reader_.SQLErrText;
        EXPECT_EQ(reader_.Commit(), 0) << reader_.SQLErrText;
    }
    reader_.Disconnect();
}

// ---- the main window ---------------------------------------------------------------------------

laurel::win::j_main_mdi& AppTest::OpenMainWindow() {
    window_ = std::make_unique<laurel::win::j_main_mdi>();
    laurel::j_main_mdi = window_.get();
    EXPECT_EQ(rt::ui::Open(*window_), 1);
    return *window_;
}

std::vector<std::string> AppTest::Boxes() const {
    std::vector<std::string> out;
    for (const auto& r : dialogs_->messages) out.push_back(r.request.title + "|" + r.request.text);
    return out;
}

}  // namespace testing_support

namespace testing_support {

void AppTest::SeedTwo(const std::string& a, const std::string& b) {
    Seed({a, "2008 01AA", "项目一"});
    Seed({b, "2008 02AA", "项目二"});
    AddContributor(a, 2, "完成人二");
    AddContributor(a, 3, "完成人三");
    AddUnit(a, 2, "完成单位二");
    AddUnit(a, 3, "完成单位三");
}

Box BoxOf(const rt::ui::Control& c) {
    return {c.X(), c.Y(), c.Width(), c.Height()};
}

bool Inside(const Box& inner, const Box& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

bool Overlap(const Box& a, const Box& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

const std::vector<std::string> kPageControls = {
    "dw_no1",         "dw_no2",       "dw_no3",  "dw_no4",  "dw_no51",  "dw_no512", "dw_no52",
    "dw_no522",       "dw_no53",      "dw_no6",  "dw_no71", "dw_no72",  "dw_no81",  "dw_no82",
    "dw_no91",        "dw_no92",      "dw_no93", "dw_no94", "st_blank", "st_sub",   "cb_page_insert",
    "cb_page_delete", "cb_page_save", "st_10_1", "st_10_2", "st_10_3",  "st_10_4",  "st_10_5",
    "st_10_6",        "st_10_7",      "st_10_8"};

std::set<std::string> VisiblePageControls(const laurel::win::j_main_mdi& w) {
    std::set<std::string> out;
    for (const std::string& n : kPageControls) {
        const rt::ui::Control* c = w.FindControl(n);
        if (c != nullptr && c->Visible()) out.insert(n);
    }
    return out;
}

}  // namespace testing_support

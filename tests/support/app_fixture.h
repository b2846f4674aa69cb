#pragma once
// A test of the application's windows on a private database: the global transaction connected as
// the program connects it, the DataWindow objects registered, scripted message boxes, helpers that
// seed recommendations by SQL and read back what is stored, and the main window opened as start-up
// opens it. Tear-down closes the window without a question and resets every global, so that tests
// can share one process; a message box that no test asked for fails the test.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/j_main_mdi.h"
#include "check/check.h"
#include "document/print_buffer.h"
#include "records/m_main.h"
#include "runtime/database/transaction.h"
#include "runtime/testing/scripted_dialogs.h"
#include "runtime/text/value.h"
#include "runtime/ui/control.h"
#include "runtime/ui/datawindow_control.h"
#include "runtime/ui/dialogs.h"
#include "tests/support/testdb.h"

namespace testing_support {

// One recommendation as the New command leaves it, with a number, a name and a saved flag.
struct Recommendation {
    std::string id;     // xm_id, 12 characters
    std::string askno;  // xm_askno
    std::string name;   // xm_name
    std::string xg = "0";
};

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    TestDatabase& Db() { return *db_; }
    rt::ScriptedDialogs& Dialogs() { return *dialogs_; }

    // ---- seeding, through laurel::sqlca, each committed ---------------------------------------
    // The project row with its placeholders, contributor 1, unit 1 and the six yearly rows.
    void Seed(const Recommendation& r);
    void AddContributor(const std::string& id, int ry_no, const std::string& name);
    void AddUnit(const std::string& id, int dw_no, const std::string& name);
    // Two recommendations, "2008 01AA" and "2008 02AA": `a` with three contributors and three
    // units, `b` with one of each.
    void SeedTwo(const std::string& a, const std::string& b);
    void AddAward(const std::string& id, int jx_id, const std::string& name);
    void AddApplication(const std::string& id, int yy_id, const std::string& unit);
    void AddProperty(const std::string& id, int zl_id, const std::string& name);
    // One statement through laurel::sqlca (fails the test when it fails); no COMMIT.
    void Exec(const std::string& sql, const std::vector<rt::Value>& args = {});
    // One statement and COMMIT.
    void ExecCommit(const std::string& sql, const std::vector<rt::Value>& args = {});

    // Makes the database refuse a write with an error from now on, as a trigger does: `when` is
    // "BEFORE UPDATE|INSERT|DELETE [OF column] ON table", `condition` (on NEW) limits it to some
    // rows. EndsTransaction: the database ends the whole transaction there (on SQLite by itself,
    // as a full disk can make it do). AllowWrites takes refusal `name` back.
    enum class Refusal { Statement, EndsTransaction };
    void RefuseWrites(const std::string& name, const std::string& when, Refusal refusal = Refusal::Statement,
                      const std::string& condition = {});
    void AllowWrites(const std::string& name, const std::string& table);
    // SQLite: moves the database file into `folder` (a small disk of the test's own, say) and
    // connects the program to it there; the data source's file leads there.
    void MoveDatabaseInto(const std::filesystem::path& folder);

    // ---- reading back ----------------------------------------------------------------------------
    // The first column of a one-row SELECT as another connection sees it: what is committed.
    // nullopt for no row or null.
    rt::Value StoredValue(const std::string& sql, const std::vector<rt::Value>& args = {});
    std::optional<std::string> Stored(const std::string& sql, const std::vector<rt::Value>& args = {});
    // The same through laurel::sqlca: its own uncommitted writes included.
    std::optional<std::string> Pending(const std::string& sql, const std::vector<rt::Value>& args = {});
    // Every row of a query, committed / through laurel::sqlca.
    std::vector<std::vector<rt::Value>> StoredRows(const std::string& sql,
                                                   const std::vector<rt::Value>& args);
    std::vector<std::vector<rt::Value>> PendingRows(const std::string& sql,
                                                    const std::vector<rt::Value>& args);
    // A project column of one recommendation, committed.
    std::optional<std::string> StoredBase(const std::string& id, const std::string& column);
    long StoredCount(const std::string& table, const std::string& id);

    // ---- the main window -------------------------------------------------------------------------
    // Makes the main window, sets the global laurel::j_main_mdi and opens it.
    laurel::win::j_main_mdi& OpenMainWindow();
    laurel::win::j_main_mdi& W() { return *window_; }
    // The main window's menu.
    laurel::records::m_main& Menu() {
        auto* menu = dynamic_cast<laurel::records::m_main*>(W().GetMenu());
        if (menu == nullptr) throw std::runtime_error("the main window has no m_main");
        return *menu;
    }
    bool WindowOpen() const { return window_ && window_->IsOpen(); }

    // The Print command's steps after the check, each on its own, on the open window's pages: the
    // print buffer made from what is stored, and the form and lists documents written from one.
    laurel::check::Prepared AllPrepare();
    int AllPrint(const laurel::document::PrintBuffer& buffer);
    int AllPrint789(const laurel::document::PrintBuffer& buffer);

    // "title|text" of every message box so far, in order.
    std::vector<std::string> Boxes() const;
    // Queues the answer for the database's own error box, for a save that is meant to fail.
    void AnswerDatabaseError() { dialogs_->Answer(1); }
    // Whether a box, as Boxes() gives it, shows the database's reason for a failure and the reason
    // says `cause` (the message of the triggers that RefuseWrites makes, by default).
    static bool SaysDatabaseReason(const std::string& box, const std::string& cause = "refused") {
        return box.starts_with("数据库错误|数据库操作失败") && box.find(cause) != std::string::npos;
    }

    // Connects `t` as another program would, to this test's database; false (and a failure) when
    // that fails.
    static bool ConnectAnother(rt::Transaction& t, bool autoCommit);

    // A second desktop on the same database: the connection of another instance of the program,
    // which stores each of its user's actions as that program would, committed at once, and holds
    // nothing between them. Any step that fails fails the test.
    class OtherDesktop {
      public:
        OtherDesktop();
        ~OtherDesktop();
        OtherDesktop(const OtherDesktop&) = delete;
        OtherDesktop& operator=(const OtherDesktop&) = delete;

        // One statement, then COMMIT.
        void Store(const std::string& sql, const std::vector<rt::Value>& args = {});
        // A page of that desktop: `object` read with `args`, `column` of `row` typed over, and the
        // page stored as leaving its section stores it.
        void EditPage(const std::string& object, const std::vector<rt::Value>& args,
                      const std::string& column, const rt::Value& value, long row = 1);
        // Its list buttons: item k of a list removed and the later ones moved down; a new item
        // named `name` put in at k and the later ones moved up.
        void RemoveItem(const std::string& table, const std::string& number, const std::string& id, int k);
        void InsertItem(const std::string& table, const std::string& number, const std::string& id, int k,
                        const std::string& nameColumn, const std::string& name);
        // Its Save, and its check's version number, each of which leaves the recommendation saved.
        void Save(const std::string& id);
        void MakeVersion(const std::string& id, const std::string& version);

      private:
        void Renumber(const std::string& table, const std::string& number, const std::string& id, int from,
                      int by);
        rt::Transaction t_;
    };
    // The second desktop, connected on first use.
    OtherDesktop& Other();

    // Makes the program's COMMITs fail until the returned object goes. On SQLite as another program
    // reading the database makes it fail: a connection of its own holds a read transaction, and the
    // program's COMMIT finds the database locked (after the data source's busy timeout). On
    // PostgreSQL a deferred trigger on the recommendation tables refuses any write at COMMIT. The
    // program's statements still run, and a COMMIT with nothing written still succeeds.
    class ReadLock {
      public:
        ReadLock();
        ~ReadLock();
        ReadLock(const ReadLock&) = delete;
        ReadLock& operator=(const ReadLock&) = delete;

      private:
        rt::Transaction reader_;
    };
    [[nodiscard]] static std::unique_ptr<ReadLock> FailNextCommit() { return std::make_unique<ReadLock>(); }

  private:
    rt::Transaction* Probe();

    std::unique_ptr<TestDatabase> db_;
    rt::ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<rt::ui::DialogService> previous_;
    std::unique_ptr<laurel::win::j_main_mdi> window_;
    std::unique_ptr<OtherDesktop> other_;
    std::unique_ptr<rt::Transaction> probe_;  // the reads of what is stored
};

// While it lives, the box that offers to give up a statement that keeps the program waiting comes
// after `delay`, so that a test of the box does not sit out the user's three seconds.
class WaitingBoxAfter {
  public:
    explicit WaitingBoxAfter(std::chrono::milliseconds delay) : previous_(rt::ui::WaitingBoxDelay()) {
        rt::ui::SetWaitingBoxDelay(delay);
    }
    ~WaitingBoxAfter() { rt::ui::SetWaitingBoxDelay(previous_); }
    WaitingBoxAfter(const WaitingBoxAfter&) = delete;
    WaitingBoxAfter& operator=(const WaitingBoxAfter&) = delete;

  private:
    std::chrono::milliseconds previous_;
};

// While it lives, the user's own data folder (where working files go when the program folder is
// read-only) lies in a folder of its own, Home(), which holds nothing else: under `home` where the
// system lets a test move that folder (XDG_DATA_HOME), else under the user's real one (Windows
// takes it from its known folders). Home() goes with the object.
class UserDataFolder {
  public:
    explicit UserDataFolder(const std::string& home);
    ~UserDataFolder();
    UserDataFolder(const UserDataFolder&) = delete;
    UserDataFolder& operator=(const UserDataFolder&) = delete;
    const std::filesystem::path& Home() const { return home_; }

  private:
    std::optional<std::string> previous_;
    std::string organization_;
    std::filesystem::path home_;
};

// The xm_id the tests use: twelve digits, as New makes them.
std::string XmId(int n);

// Where a control stands, in layout units.
struct Box {
    int x = 0, y = 0, width = 0, height = 0;
};
Box BoxOf(const rt::ui::Control& c);
bool Inside(const Box& inner, const Box& outer);
bool Overlap(const Box& a, const Box& b);

// The controls that hidedw hides: the pages and the page furniture.
extern const std::vector<std::string> kPageControls;
// The names of those controls of the main window that are visible.
std::set<std::string> VisiblePageControls(const laurel::win::j_main_mdi& w);

}  // namespace testing_support

// The connection behind the transaction: connecting, the end of each transaction, what a failed
// call leaves of it, and a connection that goes and is made again.

#include "tests/runtime/transaction_fixture.h"

namespace transaction_tests {
namespace {

// ---------------------------------------------------------------------------------------------
// Connecting

TEST_F(TransactionTest, ConnectsToTheDataSourceWithAutoCommitOff) {
    EXPECT_TRUE(t_.Connected());
    EXPECT_EQ(t_.SQLCode, 0);
    Insert(1, "pending");
    // Nothing is stored until COMMIT: another connection does not see the row yet.
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);
    ASSERT_EQ(t_.Commit(), 0);
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 1);
}

TEST(TransactionConnect, MissingDataSourceFailsAndLaterCallsFailCleanly) {
    TestDatabase db(false);
    Transaction t;
    t.DBMS = "ODBC";
    t.DBParm = "Connectstring='DSN=no_such_source'";
    EXPECT_NE(t.Connect(), 0);
    EXPECT_EQ(t.SQLCode, -1);
    EXPECT_NE(t.SQLErrText.find("IM002"), std::string::npos) << t.SQLErrText;
    EXPECT_FALSE(t.Connected());

    std::vector<Value> into{Value(7)};
    EXPECT_EQ(t.SelectInto("select 1", {}, into), -1);
    EXPECT_EQ(into, std::vector<Value>{Value(7)});
    EXPECT_FALSE(t.SQLErrText.empty());
    Rows rows;
    EXPECT_EQ(t.Query("select 1", {}, rows), -1);
    EXPECT_EQ(t.Execute("delete from x"), -1);
    EXPECT_EQ(t.Commit(), -1);
    EXPECT_EQ(t.Rollback(), -1);
    EXPECT_EQ(t.Disconnect(), -1);
    rt::DynamicStagingArea sa;
    EXPECT_EQ(sa.Prepare(t, "delete from x"), -1);
    EXPECT_EQ(sa.Execute(), -1);
}

TEST(TransactionConnect, RefusesAnInterfaceOtherThanOdbc) {
    TestDatabase db(false);
    Transaction t;
    t.DBMS = "O90";
    t.DBParm = "Connectstring='DSN=laurel'";
    EXPECT_EQ(t.Connect(), -1);
    EXPECT_EQ(t.SQLCode, -1);
    EXPECT_NE(t.SQLErrText.find("O90"), std::string::npos) << t.SQLErrText;
    EXPECT_FALSE(t.Connected());

    t.DBMS = "odbc";  // the interface name is not case-sensitive
    EXPECT_EQ(t.Connect(), 0) << t.SQLErrText;
}

TEST(TransactionConnect, EmptyConnectStringFails) {
    TestDatabase db(false);
    Transaction t;
    t.DBMS = "ODBC";
    t.DBParm = "Connectstring=''";
    EXPECT_EQ(t.Connect(), -1);
    EXPECT_FALSE(t.SQLErrText.empty());
    EXPECT_FALSE(t.Connected());
}

TEST_F(TransactionTest, SecondConnectIsRefusedAndKeepsTheFirstConnection) {
    Insert(1, "kept");
    EXPECT_EQ(t_.Connect(), -1);
    EXPECT_TRUE(t_.Connected());
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(Committed("select name from scratch where k = 1"), Value("kept"));
}

TEST_F(TransactionTest, DisconnectAndDestructionDiscardUncommittedWork) {
    Insert(1, "lost on disconnect");
    ASSERT_EQ(t_.Disconnect(), 0);
    EXPECT_FALSE(t_.Connected());
    EXPECT_EQ(t_.Execute("delete from scratch"), -1);
    {
        Transaction t2;
        db_.Connect(t2);
        ASSERT_EQ(t2.Execute("insert into scratch (k, name) values (2, 'lost on destruction')"), 0);
    }
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);
    // The same object connects again.
    ASSERT_EQ(t_.Connect(), 0) << t_.SQLErrText;
    Insert(3, "again");
    EXPECT_EQ(t_.Commit(), 0);
}

TEST(TransactionConnect, DataSourcesThatCannotServeFailEveryCallAndTheObjectConnectsLater) {
    if (ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "data sources of SQLite files";
    TestDatabase db;
    db.AddDataSource("nofolder", db.Folder() / "no" / "such" / "folder" / "laurel.db");
    std::ofstream(db.Folder() / "user-odbc.ini", std::ios::app)
        << "[nodriver]\nDriver=" << (db.Folder() / "libnothing.so").string() << "\nDatabase=x.db\n";
    Transaction t;
    for (const std::string dsn : {"nofolder", "nodriver"}) {
        t.DBMS = "ODBC";
        t.DBParm = "Connectstring='DSN=" + dsn + "'";
        EXPECT_EQ(t.Connect(), -1) << dsn;
        EXPECT_EQ(t.SQLCode, -1) << dsn;
        EXPECT_FALSE(t.SQLErrText.empty()) << dsn;
        EXPECT_FALSE(t.Connected()) << dsn;
        EXPECT_EQ(t.Execute("delete from j_xm_base"), -1) << dsn;
    }
    EXPECT_NE(t.SQLErrText.find("not connected"), std::string::npos) << t.SQLErrText;

    // A file that is no database at all connects (SQLite opens lazily) and fails every statement.
    std::ofstream(db.Folder() / "garbage.db") << std::string(4096, 'g');
    db.AddDataSource("garbage", db.Folder() / "garbage.db");
    ASSERT_NO_FATAL_FAILURE(ConnectTo(t, "garbage"));
    Rows rows;
    EXPECT_EQ(t.Query("select xm_id from j_xm_base", {}, rows), -1);
    EXPECT_NE(t.SQLErrText.find("not a database"), std::string::npos) << t.SQLErrText;
    EXPECT_TRUE(rows.empty());
    std::vector<Value> into{Value("kept")};
    EXPECT_EQ(t.SelectInto("select 1 from j_xm_base", {}, into), -1);
    EXPECT_EQ(into, std::vector<Value>{Value("kept")});
    EXPECT_EQ(t.Execute("update j_xm_base set xm_xg = ?", {"1"}), -1);
    rt::DynamicStagingArea sa;
    EXPECT_EQ(sa.Prepare(t, "delete from j_xm_base where xm_id = ?"), -1);
    EXPECT_EQ(t.Rollback(), 0) << t.SQLErrText;
    ASSERT_EQ(t.Disconnect(), 0);

    // The same object then reaches the good data source.
    ASSERT_NO_FATAL_FAILURE(ConnectTo(t, "laurel"));
    EXPECT_EQ(t.SelectInto("select count(*) from j_xm_base", {}, into), 0) << t.SQLErrText;
}

TEST(ConnectString, TakesTheQuotedValueOfTheConnectstringClause) {
    EXPECT_EQ(rt::ConnectStringOf("Connectstring='DSN=laurel'"), "DSN=laurel");
    EXPECT_EQ(rt::ConnectStringOf("CONNECTSTRING = 'DSN=laurel;UID=a'"), "DSN=laurel;UID=a");
    EXPECT_EQ(rt::ConnectStringOf("ConnectString=\"DSN=x\""), "DSN=x");
    EXPECT_EQ(rt::ConnectStringOf("DisableBind=1,Connectstring='DSN=laurel',StaticBind=0"), "DSN=laurel");
    EXPECT_EQ(rt::ConnectStringOf("Connectstring='DSN=a;PWD=it''s'"), "DSN=a;PWD=it's");
    EXPECT_EQ(rt::ConnectStringOf("Connectstring=DSN=plain, Other=1"), "DSN=plain");
    // A clause whose name merely ends in the key is not the key.
    EXPECT_EQ(rt::ConnectStringOf("MyConnectstring='DSN=wrong'"), "MyConnectstring='DSN=wrong'");
    EXPECT_EQ(rt::ConnectStringOf("DSN=laurel"), "DSN=laurel");
}

// ---------------------------------------------------------------------------------------------
// The transaction: its end, and what a failed call leaves of it

TEST_F(TransactionTest, RollbackDiscardsAndCommitPersists) {
    Insert(1, "rolled back");
    ASSERT_EQ(t_.Rollback(), 0) << t_.SQLErrText;
    std::vector<Value> into;
    EXPECT_EQ(t_.SelectInto("select name from scratch where k = 1", {}, into), 100);
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);

    Insert(2, "committed");
    ASSERT_EQ(t_.Execute("update scratch set name = ? where k = ?", {"changed", 2}), 0);
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(Committed("select name from scratch where k = 2"), Value("changed"));
    // A rollback after the commit does not undo it.
    ASSERT_EQ(t_.Rollback(), 0);
    EXPECT_EQ(Committed("select name from scratch where k = 2"), Value("changed"));
}

// A read opens a transaction that holds a lock until it ends (on SQLite it keeps another program
// from committing); the transaction says so, and a ROLLBACK ends it.
TEST_F(TransactionTest, AReadKeepsTheTransactionOpenUntilItEnds) {
    EXPECT_FALSE(t_.InTransaction());
    Rows rows;
    ASSERT_EQ(t_.Query("select * from scratch", {}, rows), 0);
    EXPECT_TRUE(t_.InTransaction());

    LockHolder other(db_);
    EXPECT_EQ(other.HoldEverything("scratch"), -1) << "the reader holds a lock";
    ASSERT_EQ(t_.Rollback(), 0);
    EXPECT_FALSE(t_.InTransaction());
    ASSERT_EQ(other.HoldEverything("scratch"), 0);
    other.Release();

    std::vector<Value> into;
    ASSERT_EQ(t_.SelectInto("select count(*) from scratch", {}, into), 0);
    EXPECT_TRUE(t_.InTransaction());
    ASSERT_EQ(t_.Commit(), 0);
    EXPECT_FALSE(t_.InTransaction());
}

// Whatever the data source asks the PostgreSQL driver to do after a failed statement (leave the
// transaction aborted, or roll all of it back), a failed statement leaves the transaction and its
// earlier writes as they were, as on SQLite, which ignores the setting.
TEST_F(TransactionTest, AFailedStatementCommitsNothingAndTheTransactionGoesOn) {
    for (const std::string settings : {"", ";Protocol=7.4-0", ";Protocol=7.4-1"}) {
        SCOPED_TRACE(settings);
        ASSERT_EQ(t_.Disconnect(), 0);
        t_.DBParm = "Connectstring='DSN=laurel" + settings + "'";
        ASSERT_EQ(t_.Connect(), 0) << t_.SQLErrText;

        Insert(1, "before the failures");
        EXPECT_EQ(t_.Execute("insert into no_such_table values (1)"), -1);
        EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (1, 'duplicate')"), -1);
        std::vector<Value> into;
        EXPECT_EQ(t_.SelectInto("select nothing from scratch", {}, into), -1);
        rt::DynamicStagingArea sa;
        EXPECT_EQ(sa.Prepare(t_, "delete from no_such_table"), -1);
        // None of it reached the database, not even the statement that worked; the transaction
        // still holds that one and goes on.
        EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);
        ASSERT_EQ(t_.SelectInto("select name from scratch", {}, into), 0) << t_.SQLErrText;
        EXPECT_EQ(into, std::vector<Value>{Value("before the failures")});
        Insert(2, "after the failures");
        ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
        EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 2);

        // Work after a ROLLBACK is held back for the next COMMIT again, not written at once.
        Insert(3, "rolled back");
        ASSERT_EQ(t_.Rollback(), 0) << t_.SQLErrText;
        Insert(4, "after the rollback");
        EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 2);
        ASSERT_EQ(t_.Commit(), 0);
        EXPECT_EQ(Committed("select count(*) from scratch where k <> 3").AsLong(), 3);

        ASSERT_EQ(t_.Execute("delete from scratch"), 0);
        ASSERT_EQ(t_.Commit(), 0);
    }
}

TEST_F(TransactionTest, AWriteRefusedByALockLeavesTheTransactionUncommitted) {
    LockHolder other(db_);
    ASSERT_EQ(other.HoldWrites("scratch"), 0);
    EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (?, ?)", {1, "refused"}), -1);
    EXPECT_NE(t_.SQLErrText.find(Locked()), std::string::npos) << t_.SQLErrText;
    other.Release();

    // The next write of the same transaction works and still waits for COMMIT.
    Insert(2, "later");
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);
    ASSERT_EQ(t_.Rollback(), 0);
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);
}

TEST_F(TransactionTest, ReadOnlyDatabaseRefusesWrites) {
    if (ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "the read-only mode of a SQLite file";
    Insert(1, "stored");
    ASSERT_EQ(t_.Commit(), 0);
    ASSERT_EQ(t_.Disconnect(), 0);
    const auto file = db_.DatabaseFile();
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    // File permissions do not bind the super-user, so the data source also opens the file read-only.
    db_.AddDataSource("readonly", "file:" + file.string() + "?mode=ro");

    Transaction ro;
    ASSERT_NO_FATAL_FAILURE(ConnectTo(ro, "readonly"));
    // A data source that asks for reading only has lost nothing when a write is refused.
    ro.OnConnectionLost([](bool) { ADD_FAILURE() << "a read-only data source taken for a lost connection"; });
    std::vector<Value> into;
    ASSERT_EQ(ro.SelectInto("select name from scratch where k = 1", {}, into), 0) << ro.SQLErrText;
    EXPECT_EQ(into, std::vector<Value>{Value("stored")});
    EXPECT_EQ(ro.Execute("insert into scratch (k, name) values (?, ?)", {2, "refused"}), -1);
    EXPECT_NE(ro.SQLErrText.find("readonly"), std::string::npos) << ro.SQLErrText;
    EXPECT_EQ(ro.Execute("update scratch set name = 'x'"), -1);
    ro.Commit();
    EXPECT_EQ(Committed("select name from scratch where k = 1"), Value("stored"));
}

// ---------------------------------------------------------------------------------------------
// A lost connection

// The server ends the program's session, or a SQLite file that could not be written when the
// connection was made can be written now: the call that finds the connection gone fails, and the
// connection is made again at once and told of once. What the transaction held went with it: every
// call fails until it ends, and its COMMIT stores nothing. Then the same object works on.
TEST_F(TransactionTest, ALostConnectionIsMadeAgainAndItsTransactionFailsUntilItEnds) {
    Insert(1, "stored");
    ASSERT_EQ(t_.Commit(), 0);
    std::vector<bool> told;
    t_.OnConnectionLost([&](bool restored) {
        told.push_back(restored);
        EXPECT_EQ(t_.SQLCode, -1);
    });
    if (!testing_support::CutOff(db_, t_)) GTEST_SKIP() << "no way to make the database file read-only here";

    EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (2, 'lost')"), -1);
    EXPECT_EQ(told, std::vector<bool>{true});
    EXPECT_TRUE(t_.LossAlreadyTold());
    EXPECT_TRUE(t_.Connected());
    EXPECT_TRUE(t_.InTransaction());
    EXPECT_TRUE(t_.Writing()) << "ending what went with the connection is the caller's decision";
    std::vector<Value> into;
    EXPECT_EQ(t_.SelectInto("select count(*) from scratch", {}, into), -1);
    EXPECT_TRUE(t_.LossAlreadyTold());
    EXPECT_EQ(t_.Commit(), -1);
    EXPECT_FALSE(t_.InTransaction());

    Insert(3, "after");
    EXPECT_FALSE(t_.LossAlreadyTold());
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(told, std::vector<bool>{true});
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 2);
    EXPECT_EQ(Committed("select name from scratch where k = 3"), Value("after"));

    // A session that a server ends between the last statement and the COMMIT: the COMMIT fails,
    // and that failure is the loss already told of.
    if (!ScratchDatabase::OnPostgreSQL()) return;
    Insert(4, "lost with the session");
    ASSERT_TRUE(testing_support::CutOff(db_, t_, true));
    EXPECT_EQ(t_.Commit(), -1);
    EXPECT_EQ(told, (std::vector<bool>{true, true}));
    EXPECT_TRUE(t_.LossAlreadyTold());
    EXPECT_FALSE(t_.InTransaction());
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 2);
    Insert(4, "stored");
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_FALSE(t_.LossAlreadyTold());

    // A server that is down when the session goes: the connection is made again by the first call
    // of the next transaction. Given up while it connects, that call fails and nothing of it runs.
    testing_support::TakeConnections(db_, false);
    ASSERT_TRUE(testing_support::CutOff(db_, t_));
    EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (5, 'lost')"), -1);
    EXPECT_EQ(told, (std::vector<bool>{true, true, false}));
    ASSERT_EQ(t_.Rollback(), 0) << t_.SQLErrText;
    testing_support::TakeConnections(db_, true);
    int waits = 0;
    Transaction::SetWaitHook(
        [&waits](Transaction::Wait& wait) {
            if (++waits == 1) wait.Cancel();
            while (!wait.Over(std::chrono::milliseconds(10))) {
            }
        },
        std::chrono::milliseconds(0));
    EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (5, 'given up')"), -1);
    Transaction::SetWaitHook(nullptr);
    EXPECT_EQ(waits, 1) << "the call went on after the connection was made";
    EXPECT_NE(t_.SQLErrText.find("HY008"), std::string::npos) << t_.SQLErrText;
    ASSERT_EQ(t_.Rollback(), 0) << t_.SQLErrText;
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 3);
}

}  // namespace
}  // namespace transaction_tests

// The connection behind the transaction: connecting, the end of each transaction, what a failed
// call leaves of it, and a connection that goes and is made again.

#include "runtime/database/transaction_session.h"

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

// A failed statement commits nothing. Where the database keeps the transaction after it (SQLite,
// after most failures) the transaction goes on with what it held. Where the database ends it (the
// PostgreSQL driver, whatever rollback the data source asks of it after a failure), every call
// fails until the caller ends the transaction, and its COMMIT stores nothing, not even the
// statement that worked: a command's statements are never stored without the others.
TEST_F(TransactionTest, AFailedStatementCommitsNothingAndWhatItLeftOfTheTransactionIsKnown) {
    const bool ends = ScratchDatabase::OnPostgreSQL();
    for (const std::string settings : {"", ";Protocol=7.4-0", ";Protocol=7.4-2"}) {
        SCOPED_TRACE(settings);
        ASSERT_EQ(t_.Disconnect(), 0);
        t_.DBParm = "Connectstring='DSN=laurel" + settings + "'";
        ASSERT_EQ(t_.Connect(), 0) << t_.SQLErrText;

        Insert(1, "before the failure");
        EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (1, 'duplicate')"), -1);
        EXPECT_NE(t_.SQLErrText.find(NotUnique()), std::string::npos) << t_.SQLErrText;
        EXPECT_FALSE(t_.RefusedAfterLoss());
        EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);
        std::vector<Value> into;
        if (ends) {
            EXPECT_EQ(t_.SelectInto("select name from scratch", {}, into), -1);
            EXPECT_TRUE(t_.RefusedAfterLoss());
            rt::DynamicStagingArea sa;
            EXPECT_EQ(sa.Prepare(t_, "delete from scratch"), -1);
            EXPECT_TRUE(t_.InTransaction());
            EXPECT_EQ(t_.Commit(), -1);
            EXPECT_FALSE(t_.InTransaction());
            EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);
            Insert(1, "before the failure");
        } else {
            ASSERT_EQ(t_.SelectInto("select name from scratch", {}, into), 0) << t_.SQLErrText;
            EXPECT_EQ(into, std::vector<Value>{Value("before the failure")});
        }
        Insert(2, "after the failure");
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

// SQLite ends a transaction by itself after some failures (a full disk, an I/O error, a trigger's
// RAISE(ROLLBACK)), while its driver still believes it open. The transaction knows it: every call
// fails until the caller ends it, the ROLLBACK works, and the statements after it wait for their
// COMMIT again instead of being stored one by one.
TEST_F(TransactionTest, ATransactionTheDatabaseEndedByItselfIsKnownToBeLost) {
    if (ScratchDatabase::OnPostgreSQL()) {
        ASSERT_EQ(t_.Execute("create function refuse() returns trigger language plpgsql as "
                             "$$ begin raise exception 'refused'; end $$"),
                  0)
            << t_.SQLErrText;
    }
    ASSERT_EQ(t_.Execute(ScratchDatabase::OnPostgreSQL()
                             ? "create trigger refuse before insert on scratch for each row when (new.k = 9) "
                               "execute function refuse()"
                             : "create trigger refuse before insert on scratch when new.k = 9 "
                               "begin select raise(rollback, 'refused'); end"),
              0)
        << t_.SQLErrText;
    ASSERT_EQ(t_.Commit(), 0);
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        Insert(1, "lost with the transaction");
        EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (9, 'refused')"), -1);
        EXPECT_NE(t_.SQLErrText.find("refused"), std::string::npos) << t_.SQLErrText;
        EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (2, 'refused too')"), -1);
        EXPECT_TRUE(t_.RefusedAfterLoss());
        EXPECT_FALSE(t_.LossAlreadyTold());
        ASSERT_EQ(t_.Rollback(), 0) << t_.SQLErrText;
        EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);
    }
    Insert(3, "waits for its COMMIT");
    Insert(4, "as does this one");
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 2);
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
    // A data source that asks for reading only has lost no connection when a write is refused.
    ro.OnTransactionLost([](Transaction::Loss loss) {
        EXPECT_EQ(loss, Transaction::Loss::FileReadOnly)
            << "a read-only data source taken for a lost connection";
    });
    std::vector<Value> into;
    ASSERT_EQ(ro.SelectInto("select name from scratch where k = 1", {}, into), 0) << ro.SQLErrText;
    EXPECT_EQ(into, std::vector<Value>{Value("stored")});
    EXPECT_EQ(ro.Execute("insert into scratch (k, name) values (?, ?)", {2, "refused"}), -1);
    EXPECT_NE(ro.SQLErrText.find("readonly"), std::string::npos) << ro.SQLErrText;
    EXPECT_EQ(ro.Execute("update scratch set name = 'x'"), -1);
    ro.Commit();
    EXPECT_EQ(Committed("select name from scratch where k = 1"), Value("stored"));
}

// A SQLite file that the connection cannot write (read-only when it was made; deleted or moved
// away since) is said to be so, once, in its own words, and the transaction fails until it ends.
// Once the file there can be written, the next transaction writes it, without a word.
TEST_F(TransactionTest, ASqliteFileThatCannotBeWrittenIsSaidSoAndWrittenOnceItCan) {
    if (ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "the file of a SQLite database";
    std::vector<Transaction::Loss> told;
    const auto fails = [&](Transaction::Loss loss) {
        told.clear();
        EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (9, 'refused')"), -1);
        EXPECT_EQ(told, std::vector<Transaction::Loss>{loss});
        EXPECT_TRUE(t_.LossAlreadyTold());
        EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (8, 'refused too')"), -1);
        EXPECT_EQ(t_.Rollback(), 0) << t_.SQLErrText;
    };
    const auto stores = [&](long k) {
        told.clear();
        Insert(k, "stored");
        ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
        EXPECT_TRUE(told.empty());
        EXPECT_EQ(Committed("select name from scratch where k = ?", {k}), Value("stored"));
    };
    const auto file = db_.DatabaseFile();
    ASSERT_EQ(t_.Disconnect(), 0);
    {
        const testing_support::UnwritableFile unwritable(file);
        if (!unwritable.Made()) GTEST_SKIP() << "no way to make the database file read-only here";
        ASSERT_EQ(t_.Connect(), 0) << t_.SQLErrText;
        t_.OnTransactionLost([&](Transaction::Loss loss) { told.push_back(loss); });
        fails(Transaction::Loss::FileReadOnly);
    }
    stores(1);

    // Moved away, then put back as a copy: another file at the same place.
    const auto away = file.parent_path() / "moved-away.db";
    std::filesystem::rename(file, away);
    fails(Transaction::Loss::FileGone);
    std::filesystem::copy_file(away, file);
    std::filesystem::remove(away);
    stores(2);
}

// ---------------------------------------------------------------------------------------------
// A lost connection

// Recognised by the failure alone, whatever server there is: a record of SQLSTATE class 08
// (connection exception), anywhere in the diagnostic; on SQLite, a write refused as read-only (8)
// on a file that can be written now. Nothing else is taken for it.
TEST(LostConnection, IsRecognisedByTheStateClassOrAReadOnlyRefusalOfAWritableSQLiteFile) {
    using rt::tx::ConnectionLostBy;
    using rt::tx::Driver;
    const auto writable = [] { return true; };
    const auto readOnly = [] { return false; };
    for (const char* text : {"08S01: communication link failure", "08006: server closed the connection",
                             "HY000: could not send data\n08003: connection does not exist"})
        EXPECT_TRUE(ConnectionLostBy(Driver::PostgreSQL, text, 0, readOnly)) << text;
    for (const char* text :
         {"", "HY000: [SQLite]database is locked (5)", "42P01: relation \"x08\" does not exist",
          "S1008: cancelled", "08", "57P01: terminating connection; 08006 follows"})
        EXPECT_FALSE(ConnectionLostBy(Driver::PostgreSQL, text, 0, writable)) << text;
    const char* readOnlyRefusal = "HY000: [SQLite]attempt to write a readonly database (8)";
    EXPECT_TRUE(ConnectionLostBy(Driver::SQLite, readOnlyRefusal, 8, writable));
    EXPECT_FALSE(ConnectionLostBy(Driver::SQLite, readOnlyRefusal, 8, readOnly));
    EXPECT_FALSE(ConnectionLostBy(Driver::PostgreSQL, readOnlyRefusal, 8, writable));
    EXPECT_FALSE(
        ConnectionLostBy(Driver::SQLite, "HY000: [SQLite]database or disk is full (13)", 13, writable));
}

// The server ends the program's session, or a SQLite file that could not be written when the
// connection was made can be written now: the call that finds the connection gone fails, and the
// connection is made again at once and told of once. What the transaction held went with it: every
// call fails until it ends, and its COMMIT stores nothing. Then the same object works on.
TEST_F(TransactionTest, ALostConnectionIsMadeAgainAndItsTransactionFailsUntilItEnds) {
    Insert(1, "stored");
    ASSERT_EQ(t_.Commit(), 0);
    std::vector<bool> told;
    t_.OnTransactionLost([&](Transaction::Loss loss) {
        told.push_back(loss == Transaction::Loss::ConnectionRestored);
        EXPECT_EQ(t_.SQLCode, -1);
    });
    if (!testing_support::CutOff(db_, t_)) GTEST_SKIP() << "a SQLite connection is not lost so";

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

// Calls that wait on the database: the timeouts of locks, the waits shown to the program and the
// statements the user gives up.

#include "tests/runtime/transaction_fixture.h"

namespace transaction_tests {
namespace {

// ---------------------------------------------------------------------------------------------
// Locks: a call that waits on another program fails within the timeout

TEST_F(TransactionTest, LockedDatabaseFailsWithinTheTimeoutAndNothingHalfCommits) {
    Insert(1, "base");
    ASSERT_EQ(t_.Commit(), 0);

    Transaction other;
    db_.Connect(other);
    ASSERT_EQ(other.Execute("update scratch set name = 'other' where k = 1"), 0) << other.SQLErrText;

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(t_.Execute("update scratch set name = ? where k = 1", {"mine"}), -1);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_NE(t_.SQLErrText.find(Locked()), std::string::npos) << t_.SQLErrText;
    EXPECT_NE(t_.SQLDBCode, 0);
    EXPECT_LT(waited, std::chrono::seconds(5));

    // Reading still works while the other holds its write, once the failed transaction has ended.
    ASSERT_EQ(t_.Rollback(), 0);
    std::vector<Value> into;
    ASSERT_EQ(t_.SelectInto("select name from scratch where k = 1", {}, into), 0) << t_.SQLErrText;
    EXPECT_EQ(into, std::vector<Value>{Value("base")});
    ASSERT_EQ(t_.Rollback(), 0);

    ASSERT_EQ(other.Rollback(), 0);
    ASSERT_EQ(t_.Execute("update scratch set name = ? where k = 1", {"mine"}), 0) << t_.SQLErrText;
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(Committed("select name from scratch where k = 1"), Value("mine"));
}

TEST_F(TransactionTest, AnExclusiveLockFailsReadsWithTheDiagnosticAndTheyWorkOnceItGoes) {
    Insert(1, "stored");
    rt::DynamicStagingArea sa;
    ASSERT_EQ(sa.Prepare(t_, "update scratch set name = ? where k = ?"), 0) << t_.SQLErrText;
    ASSERT_EQ(t_.Commit(), 0);
    LockHolder holder(db_);
    ASSERT_EQ(holder.HoldEverything("scratch"), 0);

    Rows rows{{Value("earlier")}};
    EXPECT_EQ(t_.Query("select name from scratch", {}, rows), -1);
    EXPECT_NE(t_.SQLErrText.find(Locked()), std::string::npos) << t_.SQLErrText;
    EXPECT_EQ(rows.size(), 1u);
    std::vector<Value> into{Value("kept")};
    EXPECT_EQ(t_.SelectInto("select name from scratch where k = 1", {}, into), -1);
    EXPECT_EQ(into, std::vector<Value>{Value("kept")});
    EXPECT_EQ(sa.Execute({"x", 1}), -1);

    holder.Release();
    ASSERT_EQ(t_.Rollback(), 0);
    ASSERT_EQ(t_.SelectInto("select name from scratch where k = 1", {}, into), 0) << t_.SQLErrText;
    EXPECT_EQ(into, std::vector<Value>{Value("stored")});
}

// ---------------------------------------------------------------------------------------------
// Waits shown to the program, and given up

// Shows each wait the hook is told of, until it is over; gives the statement up after `giveUpAfter`.
struct WaitWatch {
    explicit WaitWatch(std::chrono::milliseconds giveUpAfter = std::chrono::hours(1)) {
        Transaction::SetWaitHook(
            [this, giveUpAfter](Transaction::Wait& wait) {
                shownOn.push_back(std::this_thread::get_id());
                bool givenUp = false;
                while (!wait.Over(std::chrono::milliseconds(10))) {
                    if (givenUp || wait.Elapsed() < giveUpAfter) continue;
                    wait.Cancel();
                    givenUp = true;
                }
            },
            std::chrono::milliseconds(50));
    }
    ~WaitWatch() { Transaction::SetWaitHook(nullptr); }
    WaitWatch(const WaitWatch&) = delete;
    WaitWatch& operator=(const WaitWatch&) = delete;
    std::vector<std::thread::id> shownOn;
};

// The COMMIT is watched as any other call that may wait.
TEST_F(TransactionTest, CommitBlockedByAReaderFailsAndCanBeRetried) {
    if (ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "a reader never keeps a COMMIT waiting there";
    WaitWatch waits;

    Transaction reader;
    db_.Connect(reader);
    Rows rows;
    ASSERT_EQ(reader.Query("select * from scratch", {}, rows), 0);  // holds a read lock until it ends

    Insert(1, "waiting");
    waits.shownOn.clear();
    EXPECT_EQ(t_.Commit(), -1);
    EXPECT_NE(t_.SQLErrText.find(Locked()), std::string::npos) << t_.SQLErrText;
    EXPECT_EQ(waits.shownOn.size(), 1u);

    ASSERT_EQ(reader.Rollback(), 0);
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(Committed("select name from scratch where k = 1"), Value("waiting"));
}

// A call kept waiting by a busy database is shown on the calling thread once it has waited a
// moment; a quick call shows nothing. The results are the same either way.
TEST_F(TransactionTest, AWaitOnABusyDatabaseIsShownOnTheCallingThread) {
    WaitWatch waits;
    LockHolder other(db_);
    ASSERT_EQ(other.HoldWrites("scratch"), 0);
    // Only the refused INSERT is watched here: on a loaded machine any statement may take longer
    // than the patience, and would be shown as well.
    waits.shownOn.clear();
    EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (2, 'waiting')"), -1);  // after the timeout
    EXPECT_NE(t_.SQLErrText.find(Locked()), std::string::npos) << t_.SQLErrText;
    EXPECT_EQ(waits.shownOn, std::vector<std::thread::id>{std::this_thread::get_id()});

    other.Release();
    ASSERT_EQ(t_.Rollback(), 0);
    Insert(2, "waiting");
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(Committed("select name from scratch where k = 2"), Value("waiting"));
}

// A hook that fails (showing a box can) does not cut the call short: the call runs to its end
// first, so that nothing is left running on the caller's behalf, and then the failure goes on to
// the caller with the call's results set. The transaction works on.
TEST_F(TransactionTest, AWaitHookThatThrowsStillWaitsForTheCall) {
    struct ThrowingHook {
        ThrowingHook() {
            Transaction::SetWaitHook([](Transaction::Wait&) { throw std::runtime_error("no box"); },
                                     std::chrono::milliseconds(50));
        }
        ~ThrowingHook() { Transaction::SetWaitHook(nullptr); }
        ThrowingHook(const ThrowingHook&) = delete;
        ThrowingHook& operator=(const ThrowingHook&) = delete;
    };
    LockHolder other(db_);
    ASSERT_EQ(other.HoldWrites("scratch"), 0);
    {
        const ThrowingHook hook;
        EXPECT_THROW(t_.Execute("insert into scratch (k, name) values (2, 'waiting')"), std::runtime_error);
    }
    EXPECT_EQ(t_.SQLCode, -1);
    EXPECT_NE(t_.SQLErrText.find(Locked()), std::string::npos) << t_.SQLErrText;

    ASSERT_EQ(t_.Rollback(), 0) << t_.SQLErrText;
    other.Release();
    Insert(2, "after");
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(Committed("select name from scratch where k = 2"), Value("after"));
}

// A statement that the user gives up is over for the caller at once, whatever the database still
// does: the call fails, and the transaction is lost with it, told of once. Every call fails until
// the caller ends it, and its COMMIT stores nothing, not even what came before. The connection is
// let go, its file closed, and the next transaction works on a new one.
TEST_F(TransactionTest, AStatementGivenUpEndsTheCallAtOnceAndTheTransactionWithIt) {
    Insert(1, "stored");
    ASSERT_EQ(t_.Commit(), 0);
    std::vector<Transaction::Loss> told;
    t_.OnTransactionLost([&](Transaction::Loss loss) { told.push_back(loss); });
    Insert(2, "given up with its transaction");
    std::optional<WaitWatch> waits(std::in_place, std::chrono::milliseconds(300));
    const char* endless =
        ScratchDatabase::OnPostgreSQL()
            ? "select pg_sleep(60)"
            : "with recursive c(i) as (select 1 union all select i + 1 from c where i < 300000000) "
              "select count(*) from c";
    std::vector<Value> into{Value("untouched")};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(t_.SelectInto(endless, {}, into), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(waits->shownOn.size(), 1u);
    EXPECT_EQ(into, std::vector<Value>{Value("untouched")});
    EXPECT_NE(t_.SQLErrText.find("HY008"), std::string::npos) << t_.SQLErrText;
    EXPECT_EQ(told, std::vector<Transaction::Loss>{Transaction::Loss::GivenUp});
    EXPECT_TRUE(t_.LossAlreadyTold());
    EXPECT_TRUE(t_.InTransaction());

    EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (3, 'after')"), -1);
    EXPECT_TRUE(t_.RefusedAfterLoss());
    EXPECT_EQ(t_.Commit(), -1);
    EXPECT_TRUE(t_.LossAlreadyTold());
    EXPECT_FALSE(t_.InTransaction());
    EXPECT_TRUE(Transaction::SettleGivenUp(std::chrono::seconds(30)));
    // A new connection may keep a loaded machine waiting: nothing more is given up by the clock.
    waits.reset();
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 1);

    Insert(4, "on a new connection");
    EXPECT_FALSE(t_.LossAlreadyTold());
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(told.size(), 1u);
    EXPECT_EQ(Committed("select count(*) from scratch where k in (1, 4)").AsLong(), 2);

    // A write given up while another program's lock keeps it waiting goes on once the lock goes,
    // and SQLite then ends its transaction by itself: the connection still closes, its file too.
    const int open = testing_support::TimesOpen(db_.DatabaseFile());
    if (ScratchDatabase::OnPostgreSQL() || open < 0) return;
    {
        LockHolder other(db_);
        ASSERT_EQ(other.HoldWrites("scratch"), 0);
        ASSERT_EQ(t_.Execute("PRAGMA busy_timeout = 20000"), 0) << t_.SQLErrText;
        waits.emplace(std::chrono::milliseconds(300));
        EXPECT_EQ(t_.Execute("update scratch set name = 'given up' where k = 1"), -1);
        EXPECT_NE(t_.SQLErrText.find("HY008"), std::string::npos) << t_.SQLErrText;
    }
    EXPECT_TRUE(Transaction::SettleGivenUp(std::chrono::seconds(30)));
    EXPECT_EQ(testing_support::TimesOpen(db_.DatabaseFile()), open - 1) << "the connection given up stays";
}

// A server process that stops answering (it is stopped, here) keeps the COMMIT waiting. Given up,
// that COMMIT stores nothing, not even once the process goes on: its session is ended before it
// can read what it was sent.
TEST_F(TransactionTest, ACommitGivenUpOnAStoppedServerStoresNothingWhenTheServerGoesOn) {
    if (!ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "a server process of its own";
    std::vector<Value> pid(1);
    ASSERT_EQ(t_.SelectInto("select pg_backend_pid()", {}, pid), 0) << t_.SQLErrText;
    Insert(1, "sent, never stored");
    testing_support::StoppedProcess server(pid[0].AsLong().value_or(0));
    if (!server.Stopped()) GTEST_SKIP() << "no right to stop the server process";
    {
        WaitWatch waits(std::chrono::milliseconds(300));
        EXPECT_EQ(t_.Commit(), -1);
        EXPECT_NE(t_.SQLErrText.find("HY008"), std::string::npos) << t_.SQLErrText;
        EXPECT_EQ(waits.shownOn.size(), 1u);
    }
    EXPECT_FALSE(t_.InTransaction());
    server.Resume();
    EXPECT_TRUE(Transaction::SettleGivenUp(std::chrono::seconds(30)));
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 0);

    Insert(2, "stored");
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(Committed("select name from scratch").ToText(), "stored");
}

}  // namespace
}  // namespace transaction_tests

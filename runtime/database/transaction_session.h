#pragma once
// For the transaction's own use: the connection behind a transaction, and the life of each call on
// it. A call runs only when the connection may serve it; after a failure, the session finds out
// what the database still holds of the transaction and acts on it: a transaction that the
// database ended, or that went with its connection, fails every call until its caller ends it, so
// that no statement of a command is ever committed without the others. A connection that went is
// made again; one whose call the user gave up is let go, and the next call makes another. Each
// call reports what happened; the transaction takes it as its results.

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/database/transaction_kinds.h"
#include "runtime/database/transaction_statement.h"
#include "runtime/database/transaction_waiter.h"
#include "runtime/platform/odbc.h"

namespace rt::tx {

// What went wrong in connecting: nothing when connected.
struct ConnectFailure {
    long native = kNoNativeCode;
    std::string text;
};
using ConnectOutcome = std::optional<ConnectFailure>;

enum class Driver { Other, SQLite, PostgreSQL };

// One connection to the database, with the thread its calls run on and the statements it keeps
// prepared. A call owns what it works on and holds the link, so that a call given up can run on
// while the session goes on with another link.
struct Link {
    // Declared in this order so that the connection goes before the environment it lives in.
    EnvHandle env;
    DbcHandle dbc;
    // The connection handle holds a connection to the database.
    bool linked = false;
    Driver driver = Driver::Other;
    // PostgreSQL: the server process of the connection's session, so that a session given up can
    // be ended there; 0 when unknown.
    long serverProcess = 0;
    // SQLite: the connection cannot write its file (it could not when it was made, or the file
    // went since), and is made again once the file there can be written.
    bool unwritable = false;
    FetchBuffers buffers;
    PreparedStatements prepared;
    // SQLite: the statement through which a cancel reaches a call that runs none (a COMMIT).
    StmtHandle idle;
    // Goes before the handles its calls use.
    CallWatch watch;

    Link() = default;
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    ~Link() {
        watch.Stop();
        Close();
    }

    // Lets the connection go. Work that was never committed is discarded, never committed behind
    // the caller's back.
    void Close();

    // A statement of `sql` reporting to `out`, prepared: the one kept from its last run, or a new
    // one. nullptr when preparing failed, with the reason in `out`.
    std::unique_ptr<Statement> Prepared(Outcome& out, const std::string& sql);
    // Keeps a statement that ran well for its next run.
    void Keep(const std::string& sql, std::unique_ptr<Statement> statement) {
        prepared.Keep(sql, std::move(statement));
    }
};

// Connects `link` with `connect` (already checked), in the commit mode given.
ConnectOutcome MakeConnection(Link& link, const std::string& connect, bool autoCommit);

// Makes the PostgreSQL driver talk UTF-8 whatever the locale; for Connect, on the calling thread.
void UseUtf8WithPostgreSQL();
// `connect`, asking a PostgreSQL driver for the client encoding UTF-8 where neither it nor the data
// source it names does: the driver sets the session's after connecting, whatever the environment.
std::string WithUtf8ForPostgreSQL(const std::string& connect);

// Lets the link of a call that the user gave up go, on a thread of its own: its server session is
// asked to end (so that not even a COMMIT already sent can take effect once the server gets to it),
// the call is waited for as long as the database makes it, and the connection is closed, rolling
// back whatever it held.
void LetGo(std::shared_ptr<Link> link, const std::string& connect);
// Waits at most `within` until every link let go is closed; true when none is left.
bool SettleLetGo(std::chrono::milliseconds within);

// Whether a failure says that the connection is gone, by its diagnostic ("SQLSTATE: message" lines)
// or, on SQLite, by the native code of a write refused because the connection cannot write a file
// that can be written now (it could not when the connection was made).
bool ConnectionLostBy(Driver driver, std::string_view diagnostic, long native,
                      const std::function<bool()>& fileWritable);

// What a SQLite connection finds at the place of its file.
enum class SqliteFile {
    Writable,  // the file and its folder can be written
    ReadOnly,  // the file is there, but it or its folder cannot be written; or no plain path to look at
    Missing,   // no file there (deleted, moved away)
};
SqliteFile SqliteFileOf(Link& link);

// What a failed call left of the transaction.
enum class AfterFailure {
    Held,            // the database holds it as it was before the call
    Ended,           // the database ended it: nothing of it is stored, nor will be
    Unknown,         // cannot be told: the connection must go, so that it surely holds nothing
    ConnectionGone,  // the connection went, and the transaction with it
};

// What a call of the session did, for the transaction to take as its SQLCode and friends.
struct Report {
    Outcome out;
    // `out` holds the call's results: from here on they are the transaction's, even when a wait
    // hook's exception leaves the call before its end.
    bool settled = false;
    // The call got past its checks and ran (or was given up while it ran).
    bool ran = false;
    // The loss that the program's hook is to be told of, once the results are taken.
    std::optional<TransactionLoss> loss;
    // What the call or the wait hook threw, for the caller once everything else is done.
    std::exception_ptr thrown;

    // The call's results are those of `outcome`.
    void Take(Outcome outcome) {
        out = std::move(outcome);
        settled = true;
    }
    // A failure found by the runtime itself; false, for the caller to return.
    bool Refuse(std::string why) {
        out = Outcome{};
        out.Refuse(std::move(why));
        settled = true;
        return false;
    }
    void Succeed(long rows) {
        Outcome done;
        done.Succeed(rows);
        Take(std::move(done));
    }
};

struct Session {
    std::shared_ptr<Link> link;  // none before Connect, after Disconnect, and after a link went
    // From a Connect that succeeded, or that failed with ConnectLater, until Disconnect: the program
    // means to be connected.
    bool connected = false;
    // Connect could not reach the database, and no call has since: the next one connects.
    bool awaiting = false;
    // The call under way reached the database for the first time since such a Connect.
    bool reached = false;
    // The transaction was lost (the connection went, the database ended it, the user gave a call
    // up): every call fails until the caller ends it, and its COMMIT stores nothing.
    bool aborted = false;
    std::string abortedWhy;
    // The last failure was a loss that the hook has told of; kept through the end of the
    // transaction, until the next call that runs.
    bool told = false;
    // The last call was refused because an earlier failure lost the transaction.
    bool refused = false;
    // A statement ran since the last COMMIT or ROLLBACK; one of them may have changed data.
    bool open = false;
    bool writing = false;
    // What Connect connected with, for connecting again.
    std::string connectString;
    bool autoCommit = false;
    // Lets a staging area find out that its transaction is gone.
    std::shared_ptr<char> alive = std::make_shared<char>(0);

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The work of one call on the link, reporting to the outcome. It owns whatever it works on.
    using Job = std::function<void(Link& link, Outcome& out)>;

    // One call of the transaction: whether it may run, then `job` (on the link's waiter while the
    // program is told of waits), then its outcome reported in `r`, then what a failure says about
    // the transaction. `writes` when the call may change data.
    void Run(Report& r, bool writes, Job job);
    // COMMIT or ROLLBACK.
    void End(Report& r, SQLSMALLINT how);

    // A new link, made on a thread the user may give up waiting for; nullptr when it could not be
    // made (why in `failed`) or the user gave up.
    std::shared_ptr<Link> Connected(ConnectOutcome& failed, bool& givenUp);

  private:
    // The end of a transaction that was lost: whatever the database still holds of it goes, and a
    // COMMIT fails, storing nothing.
    void EndLost(Report& r, SQLSMALLINT how);
    // Rolls back what the database may still hold of a lost transaction (the remains of one that a
    // failure broke, the empty one that finding out began); a connection that cannot say goes.
    void RollBackRemains();
    // The end of a transaction that the connection holds: COMMIT or ROLLBACK there.
    void EndLive(Report& r, SQLSMALLINT how);
    // Whether a call may run now; otherwise SQLCode -1 and why in `r`. A connection that went
    // before this transaction began is made again first.
    bool Ready(Report& r);

    AfterFailure WhatFailureLeft(const Outcome& failure);
    bool ConnectionGone(const Outcome& failure) const;
    // Makes a SQLite connection that cannot write its file again once the file can be written,
    // before the first call of a transaction; false when the user gave that up (the call fails).
    bool RenewUnwritable(Report& r);
    // After a call (a COMMIT or ROLLBACK when `ending`) that failed with the results in `r`.
    void Failed(Report& r, bool ending);
    // The transaction is lost: every call fails with `why` until the caller ends it.
    void Lose(std::string why);
    // Lets the connection go, whatever it held, and makes a new one; the hook is to be told.
    // `transactionLost` when the failed call was not the end of the transaction.
    void ConnectAgain(Report& r, bool transactionLost);
    // The user gave the call up: its link is let go, and the call fails.
    void GiveUp(Report& r, bool transactionLost);
};

}  // namespace rt::tx

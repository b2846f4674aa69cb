#pragma once
// For the transaction's own use: the connection behind a transaction, and the life of each call on
// it. A call runs only when the connection may serve it; after a failure, the session finds out
// what the database still holds of the transaction, and makes the connection again when it went.

#include <sql.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "runtime/transaction.h"
#include "runtime/transaction_statement.h"
#include "runtime/transaction_waiter.h"

namespace rt::tx {

// What went wrong in connecting: nothing when connected.
struct ConnectFailure {
    long native = kNoNativeCode;
    std::string text;
};
using ConnectOutcome = std::optional<ConnectFailure>;

// What a failed call left of the transaction that the database held for the connection.
enum class AfterFailure {
    Held,            // the database holds it as it was before the call
    ConnectionGone,  // the connection went, and the transaction with it
};

struct Session {
    // Declared in this order so that the connection goes before the environment it lives in.
    EnvHandle env;
    DbcHandle dbc;
    // From a Connect that succeeded until Disconnect: the program means to be connected.
    bool connected = false;
    // The connection handle holds a connection to the database.
    bool linked = false;
    // The connection went while a transaction was open: every call fails until it ends.
    bool aborted = false;
    // The last call failed with a loss of the connection that the hook has been told of.
    bool lossTold = false;
    // A statement ran since the last COMMIT or ROLLBACK; one of them may have changed data.
    bool open = false;
    bool writing = false;
    // The SQLite driver: it defers compiling everything but queries to execution time, so a
    // statement prepared through the staging area is checked by compiling "EXPLAIN <statement>",
    // which runs nothing; and a file it opened read-only stays so for the connection's life.
    bool sqlite = false;
    // What Connect connected with, for connecting again.
    std::string connectString;
    bool autoCommit = false;
    Transaction::ConnectionLostHook lostHook;
    // Lets a staging area find out that its transaction is gone.
    std::shared_ptr<char> alive = std::make_shared<char>(0);
    FetchBuffers buffers;
    // Goes before the handles its calls use.
    CallWatch watch;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        watch.Stop();
        Close();
    }

    // Lets the connection go. Work that was never committed is discarded, never committed behind
    // the caller's back.
    void Close();

    // A statement on the connection, reporting to `t`.
    Statement NewStatement(Transaction& t) { return Statement(t, dbc.get(), watch, buffers); }

    // One call of the transaction: whether it may run, then `job` (which sets the results), then
    // what a failure says about the transaction. `writes` when the call may change data.
    long Run(Transaction& t, bool writes, const std::function<void()>& job);
    // COMMIT or ROLLBACK.
    long End(Transaction& t, SQLSMALLINT how);

    // After a call that failed with the results in `t`.
    AfterFailure WhatFailureLeft(const Transaction& t) const;

    // Lets the connection go, whatever it held, and makes a new one with the connect string of
    // Connect; the hook is told. `transactionLost` when the failed call was not the end of the
    // transaction: until that comes, every call fails.
    void ConnectAgain(Transaction& t, bool transactionLost);

  private:
    // Whether a call may run now; otherwise SQLCode -1 and why.
    bool Ready(Transaction& t);
    bool ConnectionGone(const Transaction& t) const;
    bool FileWritable() const;
};

// What Connect does with a valid connect string, and what connecting again repeats.
ConnectOutcome MakeConnection(Session& s);

// Makes the PostgreSQL driver talk UTF-8 whatever the locale; for Connect, on the calling thread.
void UseUtf8WithPostgreSQL();

}  // namespace rt::tx

#pragma once
// The transaction object and the dynamic-SQL staging area, over ODBC.
//
// After every call SQLCode is 0 (done, or row found), 100 (no row) or -1 (error, with the driver's
// diagnostic in SQLErrText). Every host variable is a bound parameter: no value is ever pasted into
// statement text.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace rt {

class Transaction {
  public:
    Transaction();
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Set before Connect.
    std::string DBMS;    // "ODBC"
    std::string DBParm;  // "Connectstring='DSN=laurel'"
    bool AutoCommit = false;

    // Results of the last call.
    long SQLCode = 0;
    long SQLDBCode = 0;  // the driver's native error code
    long SQLNRows = 0;   // rows affected (INSERT/UPDATE/DELETE) or fetched (SELECT INTO)
    std::string SQLErrText;

    // CONNECT USING: SQLDriverConnect with the DBParm connect string. Any warning counts as failure.
    int Connect();
    int Disconnect();  // rolls back whatever was not committed, as destruction does
    // From a Connect that succeeded until Disconnect, a connection lost meanwhile included.
    bool Connected() const;

    // A connection can go while the transaction is connected: the server ends the session or
    // restarts, or a SQLite file that could not be written when it was opened can be written now
    // while the connection still cannot. The call that finds it so fails, and the transaction
    // connects again at once with the connect string of Connect, so that whatever is bound to it
    // keeps working. What the transaction held is lost: until a COMMIT (which fails, nothing of it
    // being stored) or a ROLLBACK ends it, every call fails; nothing is ever run again on the
    // caller's behalf. When the connection cannot be made at once, the first call after the end of
    // the transaction tries again.
    // The hook is told once for each connection lost, on the calling thread, after the call's
    // results are set (which it cannot change), with whether the connection is back.
    using ConnectionLostHook = std::function<void(bool restored)>;
    void OnConnectionLost(ConnectionLostHook hook);
    // True when the last call failed because the connection went, or the transaction with it, and
    // the hook has told of that: whoever reports failures need not report this one.
    bool LossAlreadyTold() const;

    // Embedded INSERT, UPDATE or DELETE with host variables ('?' markers). Returns SQLCode.
    // A statement that matches no row leaves SQLCode 0 with SQLNRows 0 (the caller decides).
    long Execute(std::string_view sql, const std::vector<Value>& args = {});

    // Embedded singleton SELECT ... INTO. On a row: SQLCode 0 and `into` holds the row's values
    // (typed by the column's SQL type: text, whole number, real, decimal, date; null for null).
    // No row: SQLCode 100 and `into` is left as it was. More than one row: SQLCode -1.
    long SelectInto(std::string_view sql, const std::vector<Value>& args, std::vector<Value>& into);

    // A query that returns any number of rows, for the DataWindow engine. Returns SQLCode; the
    // rows are appended to `rows` only on success.
    long Query(std::string_view sql, const std::vector<Value>& args, std::vector<std::vector<Value>>& rows);

    long Commit();
    long Rollback();

    // True from the first statement after connecting, a COMMIT or a ROLLBACK until the next COMMIT
    // or ROLLBACK succeeds (or ends a transaction that went with its connection): the database may
    // hold locks for this transaction, reads included.
    bool InTransaction() const;
    // True once a statement that may change data (Execute, the staging area's EXECUTE) has run in
    // the transaction: ending it is then the caller's decision, COMMIT or ROLLBACK.
    bool Writing() const;

    // A call that keeps the calling thread waiting on the database (another program holds a lock,
    // the server is slow to answer or does not answer at all), as the program sees it meanwhile.
    class Wait {
      public:
        // Waits at most `slice` for the call to return; true once it has.
        virtual bool Over(std::chrono::milliseconds slice) = 0;
        // Since the call began.
        virtual std::chrono::steady_clock::duration Elapsed() const = 0;
        // Asks the database to give up the statement that runs (SQLCancel), and keeps the call from
        // starting another: the call then fails as any failure does. Harmless when said twice.
        virtual void Cancel() = 0;

      protected:
        ~Wait() = default;
    };
    // Runs on the calling thread once a call has kept it waiting for `patience`, so that the
    // program can show that it waits and let the user give up. It may return whenever it likes,
    // or throw: the call is waited for all the same, and what the hook threw reaches the caller
    // once the call's results are set. It must not call the transaction that waits, whose call is
    // still under way on another thread. Process-wide; none by default.
    using WaitHook = std::function<void(Wait& wait)>;
    static void SetWaitHook(WaitHook hook,
                            std::chrono::milliseconds patience = std::chrono::milliseconds(150));

    // Expires when the transaction is destroyed, so that whoever keeps a plain pointer to it (a
    // DataWindow bound by SetTransObject) can tell that it is gone instead of reaching it.
    std::weak_ptr<void> Lifetime() const;

  private:
    friend class DynamicStagingArea;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The dynamic-SQL staging area (sqlsa): PREPARE from text with '?' markers, then EXECUTE with
// arguments, as many times as needed. The results go to the transaction's SQLCode and friends.
class DynamicStagingArea {
  public:
    DynamicStagingArea();
    ~DynamicStagingArea();
    DynamicStagingArea(const DynamicStagingArea&) = delete;
    DynamicStagingArea& operator=(const DynamicStagingArea&) = delete;

    long Prepare(Transaction& t, std::string_view sql);  // PREPARE sqlsa FROM :sql USING t
    long Execute(const std::vector<Value>& args = {});   // EXECUTE sqlsa USING :args

  private:
    Transaction* t_ = nullptr;
    std::weak_ptr<void> alive_;  // expires with the transaction, so a late Execute cannot reach it
    std::string sql_;
};

// Text of the connect string inside a DBParm such as "Connectstring='DSN=laurel'"; the whole DBParm
// when it has no such clause.
std::string ConnectStringOf(std::string_view dbparm);

}  // namespace rt

#pragma once
// The transaction object and the dynamic-SQL staging area, over ODBC.
//
// After every call SQLCode is 0 (done, or row found), 100 (no row) or -1 (error, with the driver's
// diagnostic in SQLErrText). Every host variable is a bound parameter: no value is ever pasted into
// statement text.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/transaction_kinds.h"
#include "runtime/text/value.h"

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
    // When the database cannot be reached at Connect, Connect fails all the same, but the
    // transaction keeps what it was given, and its next call connects as after a connection that
    // went and could not be made again (see OnTransactionLost): the call runs once the database
    // answers; until then the transaction of each call that tries is lost (ConnectionDown).
    bool ConnectLater = false;

    // Results of the last call.
    long SQLCode = 0;
    long SQLDBCode = 0;  // the driver's native error code
    long SQLNRows = 0;   // rows affected (INSERT/UPDATE/DELETE) or fetched (SELECT INTO)
    std::string SQLErrText;

    // CONNECT USING: SQLDriverConnect with the DBParm connect string. Any warning counts as failure.
    // A Connect that keeps the program waiting is shown as a call is (see SetWaitHook); given up, it
    // fails, and the hook of OnTransactionLost is told (GivenUp).
    int Connect();
    int Disconnect();  // rolls back whatever was not committed, as destruction does
    // From a Connect that succeeded, or the first call that reached the database after a Connect
    // that could not (ConnectLater), until Disconnect, a connection lost meanwhile included.
    bool Connected() const;
    // From a Connect that could not reach the database, with ConnectLater, until a call reaches it
    // or Disconnect.
    bool Awaiting() const;
    // Told once a call has reached the database that Connect could not, on the calling thread, after
    // the call's results are set (which it cannot change).
    void OnConnected(std::function<void()> hook);

    // A transaction can be lost: its connection goes (the server ends the session or restarts, or
    // a SQLite file that could not be written when a transaction began can be written now while
    // the connection still cannot), the database ends it after a failure (SQLite after a full disk
    // or an I/O error; the PostgreSQL driver after any failure, as connected), a SQLite file cannot
    // be written any more (deleted or moved away, it or its folder made read-only), or the user
    // gives up a call that keeps him waiting. The call that finds it so fails, and so does every later call
    // until the caller ends the transaction: its COMMIT fails, storing nothing, and its ROLLBACK
    // ends what the database may still hold of it. Nothing of it is ever run again on the
    // caller's behalf. A connection that went is made again at once with the connect string of
    // Connect, so that whatever is bound to the transaction keeps working; when it cannot be made
    // at once, the first call after the end of the transaction tries again. The connection of a
    // call given up is let go (see Wait::Cancel), and the next call makes a new one. A SQLite
    // connection that cannot write its file (read-only when it was made, or since moved away) is
    // made again by the first call of a transaction once the file there can be written, without a
    // word: nothing is lost by it.
    //
    // The hook is told of a loss that the user should hear of in words of his own, once, on the
    // calling thread, after the call's results are set (which it cannot change).
    using Loss = TransactionLoss;
    using LossHook = std::function<void(Loss loss)>;
    void OnTransactionLost(LossHook hook);
    // True when the last call failed with a loss that the hook has told of, and from then on until
    // the next call that runs (the end of the transaction included): whoever reports failures
    // need say nothing of this one.
    bool LossAlreadyTold() const;
    // True when the last call was refused only because an earlier failure lost the transaction:
    // that failure had the reason, and this one gives none of its own.
    bool RefusedAfterLoss() const;

    // Embedded INSERT, UPDATE or DELETE with host variables ('?' markers). Returns SQLCode.
    // A statement that matches no row leaves SQLCode 0 with SQLNRows 0 (the caller decides).
    long Execute(std::string_view sql, const std::vector<Value>& args = {});

    // Embedded singleton SELECT ... INTO. On a row: SQLCode 0 and `into` holds the row's values
    // (typed by the column's SQL type: text, whole number, real, decimal, date; null for null).
    // No row: SQLCode 100 and `into` is left as it was. More than one row: SQLCode -1.
    long SelectInto(std::string_view sql, const std::vector<Value>& args, std::vector<Value>& into);

    // A value read in a form of its own (see StoredText).
    using StoredText = rt::StoredText;

    // A query that returns any number of rows, for the DataWindow engine. Returns SQLCode; the
    // rows are appended to `rows` only on success, and with `stored`, the texts of the values
    // among them that are stored in a form of their own (row numbers counting in `rows`).
    long Query(std::string_view sql, const std::vector<Value>& args, std::vector<std::vector<Value>>& rows,
               std::vector<StoredText>* stored = nullptr);

    long Commit();
    long Rollback();

    // True from the first statement after connecting, a COMMIT or a ROLLBACK until the next COMMIT
    // or ROLLBACK succeeds (or ends a transaction that was lost): the database may hold locks for
    // this transaction, reads included.
    bool InTransaction() const;
    // True once a statement that may change data (Execute, the staging area's EXECUTE) has run in
    // the transaction: ending it is then the caller's decision, COMMIT or ROLLBACK.
    bool Writing() const;

    // A call that keeps the calling thread waiting on the database (see TransactionWait).
    using Wait = TransactionWait;
    // Runs on the calling thread once a call has kept it waiting for `patience`, so that the
    // program can show that it waits and let the user give up. It may return whenever it likes,
    // or throw: the call is waited for all the same unless given up, and what the hook threw
    // reaches the caller once the call's results are set. It must not call the transaction that waits, whose
    // call is still under way on another thread. Process-wide; none by default.
    using WaitHook = TransactionWaitHook;
    static void SetWaitHook(WaitHook hook,
                            std::chrono::milliseconds patience = std::chrono::milliseconds(150));
    // Waits at most `within` until the connections of the calls given up in this process are
    // closed; true when none is left open.
    static bool SettleGivenUp(std::chrono::milliseconds within);

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

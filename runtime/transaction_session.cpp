#include "runtime/transaction_session.h"

#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <utility>

#include "runtime/text.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace rt::tx {

// The program's text is UTF-8 whatever the locale, but the PostgreSQL driver takes the connection's
// client encoding from the locale (GBK under zh_CN.GBK; none at all under C, which only passes bytes
// through) unless the environment names one: a GBK session refuses or misreads UTF-8 text, and a
// LATIN1 one stores each byte as a character of its own. Other drivers do not read this variable.
void UseUtf8WithPostgreSQL() {
    const char* now = std::getenv("PGCLIENTENCODING");
    if (now == nullptr || std::string_view(now) != "UTF8") setenv("PGCLIENTENCODING", "UTF8", 1);
}

namespace {

// Room for the connect string a driver completes from its data source: the most the driver manager
// takes, so that no driver has to cut it short with a warning, which would fail the connection.
constexpr std::size_t kCompletedConnectStringSize = std::numeric_limits<SQLSMALLINT>::max();

bool IsPsqlOdbc(SQLHDBC dbc) {
    char name[128] = {};
    SQLSMALLINT len = 0;
    return SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, &len)) &&
           LowerAscii(name).starts_with("psqlodbc");
}

// Whether the PostgreSQL driver, by the connect string it completed ("...;Protocol=7.4-1;..."),
// rolls back only a failed statement: a level after the dash other than 2 says otherwise, and no
// level is the driver's default, which is the statement.
bool RollsBackOnlyTheFailedStatement(std::string_view completed) {
    std::size_t at = 0;
    while (at < completed.size()) {
        std::size_t end = completed.find(';', at);
        if (end == std::string_view::npos) end = completed.size();
        const std::string_view item = completed.substr(at, end - at);
        at = end + 1;
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string key = LowerAscii(TrimBlanks(item.substr(0, eq)));
        if (key != "protocol" && key != "a1") continue;
        const std::string_view value = TrimBlanks(item.substr(eq + 1));
        const std::size_t dash = value.rfind('-');
        return dash == std::string_view::npos || TrimBlanks(value.substr(dash + 1)) == "2";
    }
    return true;
}

// SQLite's code for a write refused because the connection cannot write the file.
constexpr long kSqliteReadOnly = 8;

constexpr const char* kTransactionLost =
    "the connection to the database was lost with this transaction, which was rolled back; end it "
    "(ROLLBACK) before the next statement";

// ---- connecting, in its steps -----------------------------------------------------------------------

// Connects once with `text`: a new environment and connection handle, then SQLDriverConnect. On any
// outcome but plain success nothing is kept: a connection that came with a warning counts as
// failed, so that the caller, who sees a SQLCode other than 0, never finds itself half connected.
// The SQLite driver answers a good connection with plain success, so this costs nothing with the
// default data source.
ConnectOutcome ConnectOnce(Session& s, const std::string& text, std::string& completed) {
    s.Close();
    if (!SQL_SUCCEEDED(s.env.Allocate(nullptr)))
        return ConnectFailure{kNoNativeCode, "cannot allocate an ODBC environment"};
    SQLSetEnvAttr(s.env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(s.dbc.Allocate(s.env.get()))) {
        s.Close();
        return ConnectFailure{kNoNativeCode, "cannot allocate an ODBC connection"};
    }
    completed.assign(kCompletedConnectStringSize, '\0');
    SQLSMALLINT completedLength = 0;
    SQLRETURN rc = SQL_ERROR;
    {
#if defined(__SANITIZE_ADDRESS__)
        // The SQLite driver leaves behind the settings it reads from the data source on every
        // connect; that is its leak, not ours, and must not drown the leak checker's findings.
        __lsan::ScopedDisabler driverLeaks;
#endif
        rc = SQLDriverConnect(
            s.dbc.get(), nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.data())),
            static_cast<SQLSMALLINT>(text.size()), reinterpret_cast<SQLCHAR*>(completed.data()),
            static_cast<SQLSMALLINT>(completed.size()), &completedLength, SQL_DRIVER_NOPROMPT);
    }
    completed.resize(std::min<std::size_t>(
        static_cast<std::size_t>(std::max<SQLSMALLINT>(completedLength, 0)), completed.size()));
    if (rc == SQL_SUCCESS) {
        s.linked = true;
        return std::nullopt;
    }
    ConnectFailure failure;
    failure.text = Diagnostics(SQL_HANDLE_DBC, s.dbc.get(), failure.native);
    if (failure.text.empty()) failure.text = "cannot connect to the data source";
    if (rc == SQL_SUCCESS_WITH_INFO) SQLDisconnect(s.dbc.get());
    s.Close();
    return failure;
}

// The data source (or the connect string) may ask the PostgreSQL driver to leave the transaction
// aborted after a failed statement, so that every later statement fails and COMMIT rolls back
// while reporting success, or to roll all of it back at once. The program relies on a failed
// statement leaving the transaction and its earlier writes as they were, as SQLite does; asked in
// the connect string, the driver rolls back only the statement, keeping every other setting of
// the data source.
ConnectOutcome RollBackOnlyFailedStatements(Session& s, const std::string& connect, std::string& completed) {
    if (!IsPsqlOdbc(s.dbc.get()) || RollsBackOnlyTheFailedStatement(completed)) return std::nullopt;
    const std::string again = connect + (connect.back() == ';' ? "" : ";") + "Protocol=7.4-2";
    if (again.size() > static_cast<std::size_t>(std::numeric_limits<SQLSMALLINT>::max())) {
        s.Close();
        return ConnectFailure{kNoNativeCode, "the connect string is too long"};
    }
    return ConnectOnce(s, again, completed);
}

ConnectOutcome SetCommitMode(Session& s, bool autoCommit) {
    const SQLRETURN rc = SQLSetConnectAttr(
        s.dbc.get(), SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(autoCommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    if (SQL_SUCCEEDED(rc)) return std::nullopt;
    ConnectFailure failure;
    failure.text = "cannot set the commit mode: " + Diagnostics(SQL_HANDLE_DBC, s.dbc.get(), failure.native);
    s.Close();
    return failure;
}

}  // namespace

// What Connect does with a valid connect string, and what connecting again repeats. The client
// encoding is set by Connect alone, on the calling thread: connecting again may run on the
// waiter's, and changing the environment there would race with whoever reads it meanwhile.
ConnectOutcome MakeConnection(Session& s) {
    std::string completed;
    if (ConnectOutcome failed = ConnectOnce(s, s.connectString, completed)) return failed;
    if (ConnectOutcome failed = RollBackOnlyFailedStatements(s, s.connectString, completed)) return failed;
    if (ConnectOutcome failed = SetCommitMode(s, s.autoCommit)) return failed;
    char dbms[64] = {};
    SQLSMALLINT len = 0;
    s.sqlite = SQL_SUCCEEDED(SQLGetInfo(s.dbc.get(), SQL_DBMS_NAME, dbms, sizeof dbms, &len)) &&
               LowerAscii(dbms) == "sqlite";
    return std::nullopt;
}

// ---- one call on the connection ------------------------------------------------------------------

void Session::Close() {
    if (linked) {
        SQLEndTran(SQL_HANDLE_DBC, dbc.get(), SQL_ROLLBACK);
        SQLDisconnect(dbc.get());
        linked = false;
    }
    open = false;
    writing = false;
    dbc.Reset();
    env.Reset();
}

long Session::Run(Transaction& t, bool writes, const std::function<void()>& job) {
    if (!aborted) lossTold = false;
    if (!Ready(t)) return t.SQLCode;
    t.SQLErrText.clear();
    t.SQLNRows = 0;
    open = true;
    if (writes) writing = true;
    watch.Run(job);
    if (t.SQLCode == -1 && WhatFailureLeft(t) == AfterFailure::ConnectionGone) ConnectAgain(t, true);
    return t.SQLCode;
}

long Session::End(Transaction& t, SQLSMALLINT how) {
    if (!connected) {
        Refuse(t, "not connected to a database");
        return t.SQLCode;
    }
    if (aborted || !linked) {
        // The server rolled back what the connection held when it went: a ROLLBACK agrees, a
        // COMMIT cannot have stored anything.
        const bool lostWork = aborted;
        aborted = open = writing = false;
        if (how == SQL_COMMIT && lostWork) {
            Refuse(t, "nothing was committed: the connection to the database was lost");
            return t.SQLCode;
        }
        Succeed(t, 0);
        t.SQLErrText.clear();
        return 0;
    }
    t.SQLErrText.clear();
    t.SQLNRows = 0;
    lossTold = false;
    watch.Run([&] {
        if (SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc.get(), how))) {
            Succeed(t, 0);
            return;
        }
        long native = kNoNativeCode;
        std::string text = Diagnostics(SQL_HANDLE_DBC, dbc.get(), native);
        t.SQLCode = -1;
        t.SQLDBCode = native;
        t.SQLErrText =
            text.empty() ? std::string(how == SQL_COMMIT ? "COMMIT failed" : "ROLLBACK failed") : text;
    });
    if (t.SQLCode == 0) {
        open = writing = false;
        return 0;
    }
    // The transaction ends with its COMMIT or ROLLBACK, even one that found the connection gone.
    if (WhatFailureLeft(t) == AfterFailure::ConnectionGone) ConnectAgain(t, false);
    return t.SQLCode;
}

// Whether a call may run now; otherwise SQLCode -1 and why. A connection that went before this
// transaction began is made again first.
bool Session::Ready(Transaction& t) {
    if (!connected) return Refuse(t, "not connected to a database");
    if (aborted) return Refuse(t, kTransactionLost);
    if (linked) return true;
    ConnectOutcome failed;
    watch.Run([&] { failed = MakeConnection(*this); });
    // Given up while connecting: the call goes no further, and the new connection holds nothing.
    if (!failed && watch.Cancelled()) return Refuse(t, kCancelled);
    if (!failed) return true;
    // One try for each transaction: the rest of it fails at once.
    aborted = open = true;
    Refuse(t, "the connection to the database was lost and cannot be made again now: " + failed->text);
    t.SQLDBCode = failed->native;
    return false;
}

AfterFailure Session::WhatFailureLeft(const Transaction& t) const {
    return ConnectionGone(t) ? AfterFailure::ConnectionGone : AfterFailure::Held;
}

// Whether the failure of the last call says that the connection is gone.
bool Session::ConnectionGone(const Transaction& t) const {
    if (!linked) return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (SQL_SUCCEEDED(SQLGetConnectAttr(dbc.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
        dead == SQL_CD_TRUE)
        return true;
    // A driver that cannot tell says so with the state's class, 08 (connection exception).
    std::string_view text = t.SQLErrText;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = text.substr(at, end - at);
        if (line.size() > SQL_SQLSTATE_SIZE && line.starts_with("08") && line[SQL_SQLSTATE_SIZE] == ':')
            return true;
        at = end + 1;
    }
    return sqlite && t.SQLDBCode == kSqliteReadOnly && FileWritable();
}

// Whether the SQLite file behind the connection may be written now. A name that is no plain path
// (a URI that asks for read-only access, say) is never taken for one that may.
bool Session::FileWritable() const {
    std::string name(4096, '\0');
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc.get(), SQL_DATABASE_NAME, name.data(),
                                  static_cast<SQLSMALLINT>(name.size()), &len)))
        return false;
    name.resize(
        std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(len, 0)), name.size() - 1));
    return !name.empty() && access(name.c_str(), W_OK) == 0;
}

void Session::ConnectAgain(Transaction& t, bool transactionLost) {
    const bool wrote = writing;
    ConnectOutcome failed;
    watch.Run([&] { failed = MakeConnection(*this); });
    if (failed) t.SQLErrText += "\nconnecting again: " + failed->text;
    if (transactionLost) {
        aborted = open = true;
        writing = wrote;
    }
    lossTold = static_cast<bool>(lostHook);
    if (!lostHook) return;
    // The call's results stand whatever the hook does (it may end the transaction, say).
    const long code = t.SQLCode, native = t.SQLDBCode, rows = t.SQLNRows;
    std::string text = t.SQLErrText;
    const Transaction::ConnectionLostHook hook = lostHook;
    hook(!failed);
    t.SQLCode = code;
    t.SQLDBCode = native;
    t.SQLNRows = rows;
    t.SQLErrText = std::move(text);
}

}  // namespace rt::tx

#include "runtime/database/transaction_session.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "runtime/config/data_source.h"
#include "runtime/platform/odbc.h"
#include "runtime/platform/os.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"

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
    if (now == nullptr || std::string_view(now) != "UTF8") os::SetEnvironment("PGCLIENTENCODING", "UTF8");
}

namespace {

// The value of `key` in a connect string ("DSN=x;ConnSettings={a;b}"), its braces undone; none
// when the string does not name it.
std::optional<std::string> ConnectValueOf(std::string_view connect, std::string_view key) {
    const std::string wanted = LowerAscii(key);
    std::size_t at = 0;
    while (at < connect.size()) {
        const std::size_t eq = connect.find('=', at);
        if (eq == std::string_view::npos) break;
        const std::string name = LowerAscii(TrimBlanks(connect.substr(at, eq - at)));
        std::string value;
        std::size_t i = eq + 1;
        while (i < connect.size() && connect[i] == ' ') ++i;
        if (i < connect.size() && connect[i] == '{') {
            // "}}" is a brace of the value; a lone "}" ends it.
            for (++i; i < connect.size() &&
                      !(connect[i] == '}' && (i + 1 == connect.size() || connect[i + 1] != '}'));
                 ++i) {
                value += connect[i];
                if (connect[i] == '}') ++i;
            }
            i = std::min(connect.find(';', i), connect.size());
        } else {
            const std::size_t end = std::min(connect.find(';', i), connect.size());
            value = TrimBlanks(connect.substr(i, end - i));
            i = end;
        }
        if (name == wanted) return value;
        at = i + 1;
    }
    return std::nullopt;
}

// Whether the settings the PostgreSQL driver runs after connecting leave the client encoding at
// UTF-8: the last one they name is the session's.
bool SetsUtf8(std::string_view settings) {
    const std::string lower = LowerAscii(settings);
    const std::size_t at = lower.rfind("client_encoding");
    if (at == std::string::npos) return false;
    const std::string_view rest = std::string_view(lower).substr(at, lower.find(';', at) - at);
    return rest.find("utf8") != std::string_view::npos || rest.find("utf-8") != std::string_view::npos ||
           rest.find("unicode") != std::string_view::npos;
}

}  // namespace

// The driver sets the session's client encoding after connecting, from the locale or the code page
// unless its settings (ConnSettings) name one: the environment that UseUtf8WithPostgreSQL sets is
// not seen by a driver built against another C runtime (Windows), and a client_encoding among the
// client library's options (pqopt) is overruled. Settings in the connect string replace the data
// source's, so the data source's own come first in them.
std::string WithUtf8ForPostgreSQL(const std::string& connect) {
    std::optional<std::string> settings = ConnectValueOf(connect, "ConnSettings");
    std::string driver = ConnectValueOf(connect, "Driver").value_or("");
    if (const std::optional<std::string> dsn = ConnectValueOf(connect, "DSN"); dsn && driver.empty()) {
        const DataSourceEntries entries = ReadDataSource(*dsn, FindDataSource(*dsn));
        driver = EntryValue(entries, "Driver");
        if (!settings) settings = EntryValue(entries, "ConnSettings");
    }
    const std::string lower = LowerAscii(driver);
    if ((lower.find("postgres") == std::string::npos && lower.find("psql") == std::string::npos) ||
        SetsUtf8(settings.value_or("")))
        return connect;
    std::string braced = "{";
    const std::string wanted =
        settings.value_or("") + (settings.value_or("").empty() ? "" : ";") + "SET client_encoding TO 'UTF8'";
    for (char c : wanted) {
        braced += c;
        if (c == '}') braced += '}';
    }
    return connect + (connect.empty() || connect.back() == ';' ? "" : ";") + "ConnSettings=" + braced + "}";
}

namespace {

// Room for the connect string a driver completes from its data source: the most the driver manager
// takes, so that no driver has to cut it short with a warning, which would fail the connection.
constexpr std::size_t kCompletedConnectStringSize = std::numeric_limits<SQLSMALLINT>::max();

// The rollback level that the PostgreSQL driver's connect string it completed names
// ("...;Protocol=7.4-1;..."): 0 leaves a failed transaction to the application, 1 rolls all of it
// back, 2 only the failed statement; no level is the driver's default, the statement.
int RollbackLevel(std::string_view completed) {
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
        if (dash == std::string_view::npos) return 2;
        const std::string_view level = TrimBlanks(value.substr(dash + 1));
        return level == "0" ? 0 : level == "1" ? 1 : 2;
    }
    return 2;
}

// SQLite's codes: a write refused because the connection cannot write the file; a disk I/O error;
// a full disk. The driver gives the code, perhaps extended, as the native one.
constexpr long kSqliteReadOnly = 8;
constexpr long kSqliteIoError = 10;
constexpr long kSqliteFull = 13;

constexpr const char* kTransactionLost =
    "the connection to the database was lost with this transaction, which was rolled back; end it "
    "(ROLLBACK) before the next statement";
constexpr const char* kTransactionEnded =
    "the database rolled this transaction back after a failure; end it (ROLLBACK) before the next "
    "statement";
constexpr const char* kTransactionGivenUp =
    "a statement of this transaction was given up, and the transaction with it; end it (ROLLBACK) "
    "before the next statement";

// Whether a diagnostic holds a record of the SQLSTATE class or state `state` ("08", "53100").
bool SaysState(std::string_view text, std::string_view state) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = text.substr(at, end - at);
        if (line.size() > SQL_SQLSTATE_SIZE && line[SQL_SQLSTATE_SIZE] == ':' && line.starts_with(state))
            return true;
        at = end + 1;
    }
    return false;
}

// The fault of the disk or the file behind the database that a failure reports, if it is one;
// `file` tells what lies at the place of a SQLite database's file.
std::optional<TransactionLoss> DiskFault(Driver driver, const Outcome& failure,
                                         const std::function<SqliteFile()>& file) {
    if (driver == Driver::SQLite) {
        const long primary = failure.native & 0xff;
        if (primary == kSqliteFull) return TransactionLoss::DiskFull;
        if (primary == kSqliteIoError) return TransactionLoss::DiskFailed;
        // A write refused as read-only: the file went (SQLite refuses to write a file that is no
        // longer where it was opened), or it or its folder cannot be written.
        if (primary == kSqliteReadOnly)
            return file() == SqliteFile::Missing ? TransactionLoss::FileGone : TransactionLoss::FileReadOnly;
        return std::nullopt;
    }
    if (SaysState(failure.text, "53100")) return TransactionLoss::DiskFull;
    if (SaysState(failure.text, "58030")) return TransactionLoss::DiskFailed;
    return std::nullopt;
}

// ---- connecting, in its steps -----------------------------------------------------------------------

// Connects once with `text`: a new environment and connection handle, then SQLDriverConnect. On any
// outcome but plain success nothing is kept: a connection that came with a warning counts as
// failed, so that the caller, who sees a SQLCode other than 0, never finds itself half connected.
// The SQLite driver answers a good connection with plain success, so this costs nothing with the
// default data source.
ConnectOutcome ConnectOnce(Link& l, const std::string& text, std::string& completed) {
    l.Close();
    if (!SQL_SUCCEEDED(l.env.Allocate(nullptr)))
        return ConnectFailure{kNoNativeCode, "cannot allocate an ODBC environment"};
    SQLSetEnvAttr(l.env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(l.dbc.Allocate(l.env.get()))) {
        l.Close();
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
            l.dbc.get(), nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.data())),
            static_cast<SQLSMALLINT>(text.size()), reinterpret_cast<SQLCHAR*>(completed.data()),
            static_cast<SQLSMALLINT>(completed.size()), &completedLength, SQL_DRIVER_NOPROMPT);
    }
    completed.resize(std::min<std::size_t>(
        static_cast<std::size_t>(std::max<SQLSMALLINT>(completedLength, 0)), completed.size()));
    if (rc == SQL_SUCCESS) {
        l.linked = true;
        return std::nullopt;
    }
    ConnectFailure failure;
    failure.text = Diagnostics(SQL_HANDLE_DBC, l.dbc.get(), failure.native);
    if (failure.text.empty()) failure.text = "cannot connect to the data source";
    if (rc == SQL_SUCCESS_WITH_INFO) SQLDisconnect(l.dbc.get());
    l.Close();
    return failure;
}

// Connect strings that had to be completed with the rollback level, and what they became, so that
// connecting again goes there at once.
struct CompletedStrings {
    std::mutex m;
    std::map<std::string, std::string> amended;
};
CompletedStrings& Amended() {
    static CompletedStrings strings;
    return strings;
}

// A command's statements are all-or-nothing: after any failure the caller ends the transaction, and
// a transaction that the database ended fails every call until then. So the PostgreSQL driver need
// not guard each statement with a savepoint of its own, which costs two more exchanges with the
// server per statement: asked in the connect string, it rolls the whole transaction back at the
// first failure, which the session then knows to have happened. Every other setting of the data
// source is kept.
ConnectOutcome RollBackWholeTransactions(Link& l, const std::string& connect, std::string& completed) {
    if (l.driver != Driver::PostgreSQL || RollbackLevel(completed) == 1) return std::nullopt;
    const std::string again = connect + (connect.back() == ';' ? "" : ";") + "Protocol=7.4-1";
    if (again.size() > static_cast<std::size_t>(std::numeric_limits<SQLSMALLINT>::max())) {
        l.Close();
        return ConnectFailure{kNoNativeCode, "the connect string is too long"};
    }
    if (ConnectOutcome failed = ConnectOnce(l, again, completed)) return failed;
    CompletedStrings& strings = Amended();
    const std::lock_guard lock(strings.m);
    strings.amended[connect] = again;
    return std::nullopt;
}

ConnectOutcome SetCommitMode(Link& l, bool autoCommit) {
    const SQLRETURN rc = SQLSetConnectAttr(
        l.dbc.get(), SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(autoCommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    if (SQL_SUCCEEDED(rc)) return std::nullopt;
    ConnectFailure failure;
    failure.text = "cannot set the commit mode: " + Diagnostics(SQL_HANDLE_DBC, l.dbc.get(), failure.native);
    l.Close();
    return failure;
}

Driver DriverOf(SQLHDBC dbc) {
    char name[128] = {};
    SQLSMALLINT len = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, &len)) &&
        LowerAscii(name).starts_with("psqlodbc"))
        return Driver::PostgreSQL;
    char dbms[64] = {};
    if (SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DBMS_NAME, dbms, sizeof dbms, &len)) &&
        LowerAscii(dbms) == "sqlite")
        return Driver::SQLite;
    return Driver::Other;
}

// One statement of the runtime's own on the link, on the calling thread.
long RunOwn(Link& l, Outcome& out, const std::string& sql, const std::vector<Value>& args,
            std::vector<Value>* into = nullptr) {
    Statement st(l.dbc.get(), l.watch, l.buffers);
    st.ReportTo(out);
    if (!st.Prepare(sql)) return out.code;
    return into != nullptr ? SelectIntoOn(out, st, args, *into) : ExecuteOn(out, st, args);
}

// PostgreSQL: the server process of the link's session, asked while the link still commits each
// statement by itself, so that asking starts no transaction.
long ServerProcessOf(Link& l) {
    Outcome out;
    std::vector<Value> pid(1);
    if (RunOwn(l, out, "SELECT pg_backend_pid()", {}, &pid) != 0) return 0;
    return static_cast<long>(pid[0].AsLong().value_or(0));
}

// SQLite: whether the database still holds the transaction that its driver believes open. The
// driver never asks, and SQLite ends a transaction by itself after some failures (a full disk, an
// I/O error, a trigger's RAISE(ROLLBACK)); its driver would then run every later statement on its
// own and fail the COMMIT. A BEGIN tells: refused inside a transaction, it starts one outside, which
// the driver takes for the one it believes open, so that both agree again.
AfterFailure ProbeSqlite(Link& l) {
    Outcome out;
    if (RunOwn(l, out, "BEGIN", {}) == 0) return AfterFailure::Ended;
    if (out.text.find("within a transaction") != std::string::npos) return AfterFailure::Held;
    return AfterFailure::Unknown;
}

// ---- links given up -------------------------------------------------------------------------------

// The links let go that are not closed yet. Shared with the threads that close them, which may
// outlive every static object of the program.
struct LetGoLinks {
    std::mutex m;
    std::condition_variable cv;
    int open = 0;
};
const std::shared_ptr<LetGoLinks>& LinksLetGo() {
    static const std::shared_ptr<LetGoLinks> links = std::make_shared<LetGoLinks>();
    return links;
}

// How long the caller who gave a call up waits for the server to be asked to end its session:
// enough for a server that answers at all, little for one that does not.
constexpr auto kAskServerWithin = std::chrono::seconds(1);

// Asks the server to end the session of the server process `pid`, from a connection of its own.
void EndServerSession(const std::string& connect, long pid) {
    Link ender;
    if (MakeConnection(ender, connect, true)) return;
    Outcome out;
    std::vector<Value> ended(1);
    RunOwn(ender, out, "SELECT pg_terminate_backend(CAST(? AS integer))", {Value(std::int64_t{pid})}, &ended);
}

}  // namespace

// What Connect does with a valid connect string, and what connecting again repeats. The client
// encoding is set by Connect alone, on the calling thread: connecting again may run on the
// waiter's, and changing the environment there would race with whoever reads it meanwhile.
ConnectOutcome MakeConnection(Link& l, const std::string& connect, bool autoCommit) {
    std::string text = connect;
    {
        CompletedStrings& strings = Amended();
        const std::lock_guard lock(strings.m);
        if (auto it = strings.amended.find(connect); it != strings.amended.end()) text = it->second;
    }
    std::string completed;
    if (ConnectOutcome failed = ConnectOnce(l, text, completed)) return failed;
    l.driver = DriverOf(l.dbc.get());
    if (ConnectOutcome failed = RollBackWholeTransactions(l, text, completed)) return failed;
    if (l.driver == Driver::PostgreSQL) l.serverProcess = ServerProcessOf(l);
    if (ConnectOutcome failed = SetCommitMode(l, autoCommit)) return failed;
    if (l.driver == Driver::SQLite && SQL_SUCCEEDED(l.idle.Allocate(l.dbc.get())))
        l.watch.CancelThrough(l.idle.get());
    // SQLite opens a file it cannot write for reading only, and never writes it through this
    // connection, even once it could.
    if (l.driver == Driver::SQLite) l.unwritable = SqliteFileOf(l) != SqliteFile::Writable;
    return std::nullopt;
}

void LetGo(std::shared_ptr<Link> link, const std::string& connect) {
    if (!link) return;
    const std::shared_ptr<LetGoLinks>& links = LinksLetGo();
    {
        const std::lock_guard lock(links->m);
        ++links->open;
    }
    auto asked = std::make_shared<std::promise<void>>();
    std::future<void> serverAsked = asked->get_future();
    std::thread([link = std::move(link), connect, links, asked]() mutable {
        if (link->driver == Driver::PostgreSQL && link->serverProcess != 0)
            EndServerSession(connect, link->serverProcess);
        asked->set_value();
        link->watch.Stop();
        link.reset();
        {
            const std::lock_guard lock(links->m);
            --links->open;
        }
        links->cv.notify_all();
    }).detach();
    serverAsked.wait_for(kAskServerWithin);
}

bool SettleLetGo(std::chrono::milliseconds within) {
    const std::shared_ptr<LetGoLinks>& links = LinksLetGo();
    std::unique_lock lock(links->m);
    return links->cv.wait_for(lock, within, [&] { return links->open == 0; });
}

// ---- the link ------------------------------------------------------------------------------------------

void Link::Close() {
    prepared.Clear();
    idle.Reset();
    // Past the process's end the database is left to see the connection go with the process, which
    // discards what was never committed as a disconnect does.
    if (linked && !os::ProcessEnding()) {
        SQLEndTran(SQL_HANDLE_DBC, dbc.get(), SQL_ROLLBACK);
        if (!SQL_SUCCEEDED(SQLDisconnect(dbc.get())) && driver == Driver::SQLite) {
            // SQLite ends the transaction of a statement given up by itself, while its driver still
            // counts it open and so refuses the ROLLBACK and the disconnect alike: the connection,
            // its file open, would stay for the rest of the process. A transaction begun and rolled
            // back here brings the two to agree.
            StmtHandle begin;
            if (SQL_SUCCEEDED(begin.Allocate(dbc.get())))
                SQLExecDirect(begin.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>("BEGIN")), SQL_NTS);
            begin.Reset();
            SQLEndTran(SQL_HANDLE_DBC, dbc.get(), SQL_ROLLBACK);
            SQLDisconnect(dbc.get());
        }
        linked = false;
    }
    dbc.Reset();
    env.Reset();
}

std::unique_ptr<Statement> Link::Prepared(Outcome& out, const std::string& sql) {
    std::unique_ptr<Statement> st = prepared.Take(sql);
    if (st) {
        st->ReportTo(out);
        return st;
    }
    st = std::make_unique<Statement>(dbc.get(), watch, buffers);
    st->ReportTo(out);
    if (!st->Prepare(sql)) return nullptr;
    return st;
}

// ---- the end of a transaction -----------------------------------------------------------------

namespace {

// COMMIT or ROLLBACK (`how`) on the link, reported to `out`.
void EndTransactionOn(Link& on, SQLSMALLINT how, Outcome& out) {
    if (SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, on.dbc.get(), how))) {
        out.Succeed(0);
        return;
    }
    long native = kNoNativeCode;
    std::string text = Diagnostics(SQL_HANDLE_DBC, on.dbc.get(), native);
    out.Fail(text.empty() ? std::string(how == SQL_COMMIT ? "COMMIT failed" : "ROLLBACK failed") : text,
             native);
}

}  // namespace

// ---- one call on the connection ------------------------------------------------------------------

void Session::Run(Report& r, bool writes, Job job) {
    if (!Ready(r)) return;
    r.ran = true;
    told = refused = false;
    open = true;
    if (writes) writing = true;
    const std::shared_ptr<Link> l = link;
    auto out = std::make_shared<Outcome>();
    const CallWatch::Ended ended =
        l->watch.Run([&on = *l, out, job = std::move(job)] { job(on, *out); }, r.thrown);
    if (ended == CallWatch::Ended::GivenUp) {
        GiveUp(r, true);
        return;
    }
    r.Take(std::move(*out));
    // A failure found before anything reached the database leaves the transaction as it was.
    if (r.out.code == -1 && !r.out.refusedHere) Failed(r, false);
}

void Session::End(Report& r, SQLSMALLINT how) {
    if (!connected) {
        r.Refuse("not connected to a database");
    } else if (aborted) {
        EndLost(r, how);
    } else if (!link || !link->linked) {
        // The connection went with nothing of this transaction on it.
        open = writing = false;
        r.Succeed(0);
    } else {
        EndLive(r, how);
    }
}

void Session::EndLost(Report& r, SQLSMALLINT how) {
    aborted = open = writing = false;
    RollBackRemains();
    if (how == SQL_COMMIT) {
        refused = true;
        r.Refuse("nothing was committed: " + abortedWhy);
        return;
    }
    r.Succeed(0);
}

void Session::RollBackRemains() {
    if (!link || !link->linked) return;
    const std::shared_ptr<Link> l = link;
    auto rolledBack = std::make_shared<bool>(false);
    std::exception_ptr thrown;
    const CallWatch::Ended ended = l->watch.Run(
        [&on = *l, rolledBack] {
            *rolledBack = SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, on.dbc.get(), SQL_ROLLBACK));
        },
        thrown);
    if (ended == CallWatch::Ended::GivenUp)
        LetGo(std::exchange(link, nullptr), connectString);
    else if (!*rolledBack)
        link.reset();
}

void Session::EndLive(Report& r, SQLSMALLINT how) {
    const std::shared_ptr<Link> l = link;
    auto out = std::make_shared<Outcome>();
    const CallWatch::Ended ended =
        l->watch.Run([&on = *l, out, how] { EndTransactionOn(on, how, *out); }, r.thrown);
    if (ended == CallWatch::Ended::GivenUp) {
        // Given up, a COMMIT stores nothing: its connection goes, and its server session with it.
        open = writing = false;
        GiveUp(r, false);
        return;
    }
    r.Take(std::move(*out));
    if (r.out.code == 0)
        open = writing = false;
    else
        Failed(r, true);
}

bool Session::Ready(Report& r) {
    if (!connected) return r.Refuse("not connected to a database");
    if (aborted) {
        refused = true;
        return r.Refuse(abortedWhy);
    }
    if (link && link->linked) return open || !link->unwritable || RenewUnwritable(r);
    told = refused = false;
    ConnectOutcome failed;
    bool givenUp = false;
    if (std::shared_ptr<Link> fresh = Connected(failed, givenUp)) {
        link = std::move(fresh);
        reached = std::exchange(awaiting, false);
        return true;
    }
    // One try for each transaction: the rest of it fails at once.
    if (givenUp) {
        Lose(kTransactionGivenUp);
        r.Refuse(kCancelled);
        r.loss = TransactionLoss::GivenUp;
        return false;
    }
    Lose(kTransactionLost);
    r.Refuse("the connection to the database was lost and cannot be made again now: " + failed->text);
    r.out.native = failed->native;
    r.loss = TransactionLoss::ConnectionDown;
    return false;
}

std::shared_ptr<Link> Session::Connected(ConnectOutcome& failed, bool& givenUp) {
    auto fresh = std::make_shared<Link>();
    auto outcome = std::make_shared<ConnectOutcome>();
    std::exception_ptr thrown;
    const CallWatch::Ended ended =
        fresh->watch.Run([&on = *fresh, outcome, connect = connectString,
                          commit = autoCommit] { *outcome = MakeConnection(on, connect, commit); },
                         thrown);
    givenUp = ended == CallWatch::Ended::GivenUp;
    if (givenUp) {
        // Whatever it connects to is let go as soon as it has.
        LetGo(std::move(fresh), connectString);
    } else {
        failed = *outcome;
        if (failed) fresh.reset();
    }
    if (thrown) std::rethrow_exception(thrown);
    return givenUp ? nullptr : fresh;
}

bool Session::RenewUnwritable(Report& r) {
    if (SqliteFileOf(*link) != SqliteFile::Writable) return true;
    ConnectOutcome failed;
    bool givenUp = false;
    if (std::shared_ptr<Link> fresh = Connected(failed, givenUp)) {
        link = std::move(fresh);
        return true;
    }
    // The connection there is still the one to use; its writes say why they fail.
    if (!givenUp) return true;
    told = refused = false;
    Lose(kTransactionGivenUp);
    r.Refuse(kCancelled);
    r.loss = TransactionLoss::GivenUp;
    return false;
}

void Session::Lose(std::string why) {
    aborted = open = true;
    abortedWhy = std::move(why);
}

AfterFailure Session::WhatFailureLeft(const Outcome& failure) {
    if (!link || !link->linked) return AfterFailure::Held;
    if (ConnectionGone(failure)) return AfterFailure::ConnectionGone;
    // Committing each statement by itself, the connection holds nothing from one to the next.
    if (autoCommit) return AfterFailure::Held;
    // SQLite keeps a transaction after most failures, and ends it after some; the PostgreSQL
    // driver, as connected, ends it after every one; of another driver nothing is known, so it is
    // taken as ended, which leaves its ending to the caller's ROLLBACK.
    return link->driver == Driver::SQLite ? ProbeSqlite(*link) : AfterFailure::Ended;
}

void Session::Failed(Report& r, bool ending) {
    const AfterFailure left = WhatFailureLeft(r.out);
    if (left == AfterFailure::ConnectionGone) {
        ConnectAgain(r, !ending);
        return;
    }
    const Driver driver = link ? link->driver : Driver::Other;
    const std::optional<TransactionLoss> fault =
        DiskFault(driver, r.out, [this] { return SqliteFileOf(*link); });
    if (fault == TransactionLoss::FileGone || fault == TransactionLoss::FileReadOnly) link->unwritable = true;
    // The next call connects again, to a database that holds nothing of this connection.
    if (left == AfterFailure::Unknown) link.reset();
    if (left == AfterFailure::Held && !fault) return;
    // A failed COMMIT included: the caller's ROLLBACK follows, which ends what is left.
    Lose(kTransactionEnded);
    // A full or failing disk is said once, in words of its own: whatever the database still holds
    // of the command cannot be stored any more than the rest of it.
    if (fault) r.loss = *fault;
}

bool ConnectionLostBy(Driver driver, std::string_view diagnostic, long native,
                      const std::function<bool()>& fileWritable) {
    // A driver that cannot tell otherwise says so with the state's class, 08 (connection exception).
    if (SaysState(diagnostic, "08")) return true;
    return driver == Driver::SQLite && (native & 0xff) == kSqliteReadOnly && fileWritable();
}

// Whether the failure of the last call says that the connection is gone.
bool Session::ConnectionGone(const Outcome& failure) const {
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (SQL_SUCCEEDED(SQLGetConnectAttr(link->dbc.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
        dead == SQL_CD_TRUE)
        return true;
    return ConnectionLostBy(link->driver, failure.text, failure.native,
                            [this] { return SqliteFileOf(*link) == SqliteFile::Writable; });
}

// A name that is no plain path (a URI that asks for read-only access, say) is never taken for a
// file that may be written, nor for one that is gone. SQLite writes beside its file (the journal),
// so the folder counts too.
SqliteFile SqliteFileOf(Link& link) {
    std::string name(4096, '\0');
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(link.dbc.get(), SQL_DATABASE_NAME, name.data(),
                                  static_cast<SQLSMALLINT>(name.size()), &len)))
        return SqliteFile::ReadOnly;
    name.resize(
        std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(len, 0)), name.size() - 1));
    if (name.empty() || name.starts_with("file:")) return SqliteFile::ReadOnly;
    // The driver gives the name as it read it from the data source: through the narrow calls, in
    // the system's code page.
    os::FileInfo info;
    if (!os::Describe(name, info)) name = os::FromCodePage(name);
    if (!os::Describe(name, info)) return SqliteFile::Missing;
    const std::string folder = PathText(FsPath(name).parent_path());
    return os::WritableFile(name) && os::WritableFolder(folder.empty() ? "." : folder) ? SqliteFile::Writable
                                                                                       : SqliteFile::ReadOnly;
}

void Session::ConnectAgain(Report& r, bool transactionLost) {
    const bool wrote = writing;
    link.reset();
    ConnectOutcome failed;
    bool givenUp = false;
    link = Connected(failed, givenUp);
    if (failed) r.out.text += "\nconnecting again: " + failed->text;
    if (transactionLost) {
        Lose(givenUp ? kTransactionGivenUp : kTransactionLost);
        writing = wrote;
    } else {
        // The transaction ended with its COMMIT or ROLLBACK, which found the connection gone.
        open = writing = false;
    }
    if (givenUp)
        r.loss = TransactionLoss::GivenUp;
    else
        r.loss = link ? TransactionLoss::ConnectionRestored : TransactionLoss::ConnectionDown;
}

void Session::GiveUp(Report& r, bool transactionLost) {
    LetGo(std::exchange(link, nullptr), connectString);
    if (transactionLost) Lose(kTransactionGivenUp);
    r.Refuse(kCancelled);
    r.loss = TransactionLoss::GivenUp;
}

}  // namespace rt::tx

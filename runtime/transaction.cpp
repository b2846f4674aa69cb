#include "runtime/transaction.h"

#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <iterator>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "runtime/text.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>

// The PostgreSQL driver loses a result object of its own in some failed statements and in
// describing a prepared one; those are its leaks, not ours, and must not drown the leak checker's
// findings. Only allocations made inside the driver match.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:psqlodbcw.so\nleak:psqlodbca.so\n";
}
#endif

namespace rt {

namespace {

// One ODBC handle of a given kind, freed when it goes out of scope.
template <SQLSMALLINT Kind>
class Handle {
  public:
    Handle() = default;
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    Handle& operator=(Handle&& o) noexcept {
        if (this != &o) {
            Reset();
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }

    SQLRETURN Allocate(SQLHANDLE parent) {
        Reset();
        SQLRETURN rc = SQLAllocHandle(Kind, parent, &h_);
        if (!SQL_SUCCEEDED(rc)) h_ = nullptr;
        return rc;
    }
    void Reset() {
        if (h_ != nullptr) SQLFreeHandle(Kind, std::exchange(h_, nullptr));
    }
    SQLHANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    SQLHANDLE h_ = nullptr;
};

using EnvHandle = Handle<SQL_HANDLE_ENV>;
using DbcHandle = Handle<SQL_HANDLE_DBC>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// Every diagnostic record of a handle, "SQLSTATE: message" one per line; the first record's native
// code goes to `native`.
std::string Diagnostics(SQLSMALLINT kind, SQLHANDLE h, long& native) {
    std::string text;
    if (h == nullptr) return text;
    // A driver that keeps answering must not make the loop counter overflow.
    constexpr SQLSMALLINT kMaxRecords = 64;
    for (SQLSMALLINT i = 1; i <= kMaxRecords; ++i) {
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER nat = 0;
        SQLSMALLINT len = 0;
        std::string msg(512, '\0');
        SQLRETURN rc = SQLGetDiagRec(kind, h, i, state, &nat, reinterpret_cast<SQLCHAR*>(msg.data()),
                                     static_cast<SQLSMALLINT>(msg.size()), &len);
        if (rc == SQL_SUCCESS_WITH_INFO && len >= static_cast<SQLSMALLINT>(msg.size())) {
            msg.assign(static_cast<std::size_t>(len) + 1, '\0');
            rc = SQLGetDiagRec(kind, h, i, state, &nat, reinterpret_cast<SQLCHAR*>(msg.data()),
                               static_cast<SQLSMALLINT>(msg.size()), &len);
        }
        if (!SQL_SUCCEEDED(rc)) break;
        msg.resize(
            std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(len, 0)), msg.size()));
        if (i == 1) native = nat;
        if (!text.empty()) text += '\n';
        text += reinterpret_cast<const char*>(state);
        text += ": ";
        text += msg;
    }
    return text;
}

// How a result column's text becomes a Value.
enum class ColumnKind { Text, Whole, Exact, Real, Date };

ColumnKind KindOf(SQLSMALLINT sqlType, std::string_view typeName) {
    // Some drivers (SQLite's among them) describe a decimal column as text; its declared type name
    // still says what it is, and a money column must not come back as a string or a binary real.
    std::string name = LowerAscii(typeName);
    if (name.starts_with("decimal") || name.starts_with("numeric")) return ColumnKind::Exact;
    switch (sqlType) {
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT:
            return ColumnKind::Whole;
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            return ColumnKind::Exact;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            return ColumnKind::Real;
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIMESTAMP:
        case SQL_DATE:
        case SQL_TIMESTAMP:
            return ColumnKind::Date;
        default:
            return ColumnKind::Text;
    }
}

std::optional<std::int64_t> WholeOf(std::string_view s) {
    s = TrimBlanks(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::int64_t n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return n;
}

std::optional<double> RealOf(std::string_view s) {
    s = TrimBlanks(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double d = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return d;
}

// The text of a column typed by its kind. SQLite keeps whatever was stored, whatever the declared
// type: a value that does not read as its column's type comes back as the text it is.
Value Typed(ColumnKind kind, std::string&& text) {
    switch (kind) {
        case ColumnKind::Whole:
            if (auto n = WholeOf(text)) return Value(*n);
            if (auto d = RealOf(text)) return Value(*d);
            break;
        case ColumnKind::Exact:
            if (auto d = Decimal::Parse(text)) return Value(*d);
            break;
        case ColumnKind::Real:
            if (auto d = RealOf(text)) return Value(*d);
            break;
        case ColumnKind::Date:
            if (auto d = Date::Parse(text)) return Value(*d);
            break;
        case ColumnKind::Text:
            break;
    }
    return Value(std::move(text));
}

// The storage behind one bound parameter; it must stay where it is until the statement has run.
struct ParamBuffer {
    std::string text;
    std::int64_t whole = 0;
    double real = 0;
    SQLLEN indicator = 0;
};

// Marker for failures found by the runtime itself rather than by the driver.
constexpr long kNoNativeCode = 0;

// What SetWaitHook installed.
struct WaitSettings {
    Transaction::WaitHook hook;
    std::chrono::milliseconds patience{150};
};

WaitSettings& Waiting() {
    static WaitSettings settings;
    return settings;
}

// Runs the driver's calls on a thread of its own while the caller waits for them, so that a call
// that keeps the caller waiting (a database locked by another program, a server slow to answer)
// can be shown on the caller's thread, the only one that may show it, and given up there. One
// call at a time: the caller always waits.
class Waiter {
  public:
    Waiter() = default;
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;
    ~Waiter() {
        {
            const std::lock_guard lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    void Run(const std::function<void()>& job, const WaitSettings& settings,
             const std::function<void()>& cancel) {
        if (!thread_.joinable()) thread_ = std::thread([this] { Loop(); });
        const auto began = std::chrono::steady_clock::now();
        std::unique_lock lock(m_);
        job_ = &job;
        done_ = false;
        error_ = nullptr;
        cv_.notify_all();
        if (!cv_.wait_for(lock, settings.patience, [this] { return done_; })) {
            lock.unlock();
            // The job works on the caller's frame: whatever the hook does, throwing included, the
            // call is waited for before that frame can go.
            std::exception_ptr hookError;
            try {
                View view(*this, began, cancel);
                settings.hook(view);
            } catch (...) {
                hookError = std::current_exception();
            }
            lock.lock();
            cv_.wait(lock, [this] { return done_; });
            if (!error_) error_ = hookError;
        }
        const std::exception_ptr error = std::exchange(error_, nullptr);
        lock.unlock();
        if (error) std::rethrow_exception(error);
    }

  private:
    // The call as the hook sees it.
    class View final : public Transaction::Wait {
      public:
        View(Waiter& waiter, std::chrono::steady_clock::time_point began, const std::function<void()>& cancel)
            : waiter_(waiter), began_(began), cancel_(cancel) {}

        bool Over(std::chrono::milliseconds slice) override {
            std::unique_lock lock(waiter_.m_);
            return waiter_.cv_.wait_for(lock, slice, [this] { return waiter_.done_; });
        }
        std::chrono::steady_clock::duration Elapsed() const override {
            return std::chrono::steady_clock::now() - began_;
        }
        void Cancel() override { cancel_(); }

      private:
        Waiter& waiter_;
        std::chrono::steady_clock::time_point began_;
        const std::function<void()>& cancel_;
    };

    void Loop() {
        std::unique_lock lock(m_);
        for (;;) {
            cv_.wait(lock, [this] { return stop_ || job_ != nullptr; });
            if (stop_) return;
            const std::function<void()>* job = std::exchange(job_, nullptr);
            lock.unlock();
            std::exception_ptr error;
            try {
                (*job)();
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            error_ = error;
            done_ = true;
            cv_.notify_all();
        }
    }

    std::mutex m_;
    std::condition_variable cv_;
    const std::function<void()>* job_ = nullptr;
    bool done_ = false;
    bool stop_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};

// What went wrong in connecting: nothing when connected.
struct ConnectFailure {
    long native = kNoNativeCode;
    std::string text;
};
using ConnectOutcome = std::optional<ConnectFailure>;

// The connection behind a transaction, and the steps of each call on it.
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
    // Reused between cells and rows so that fetching allocates only what the values keep.
    std::string cell;
    std::string chunk = std::string(512, '\0');

    // The statement that the waiter's thread executes, for the calling thread to cancel, and
    // whether the call under way was given up. The statement is cancelled on a thread of its own:
    // a driver may have to reach the server to ask (PostgreSQL's connects to it), which takes as
    // long as a broken network makes it, and the calling thread must go on repainting meanwhile.
    // The statement outlives the cancel: it is let go only once the guard is free.
    std::mutex runningGuard;
    SQLHSTMT running = nullptr;
    std::atomic<bool> cancelled = false;
    std::atomic<bool> cancelling = false;
    std::thread canceller;

    // Made on the first call that is watched; goes before the handles it uses.
    std::unique_ptr<Waiter> waiter;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() {
        waiter.reset();
        if (canceller.joinable()) canceller.join();
        Close();
    }

    // Lets the connection go. Work that was never committed is discarded, never committed behind
    // the caller's back.
    void Close() {
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

    // Runs a call that may wait on the database: on this thread when nobody is to be told of
    // waits, else through the waiter.
    void Watch(const std::function<void()>& job) {
        cancelled = false;
        const WaitSettings& settings = Waiting();
        if (!settings.hook) {
            job();
            return;
        }
        if (!waiter) waiter = std::make_unique<Waiter>();
        waiter->Run(job, settings, [this] { CancelRunning(); });
        // The job is done, so a cancel still under way has nothing left to reach.
        if (canceller.joinable()) canceller.join();
    }

    void CancelRunning() {
        cancelled = true;
        if (cancelling) return;
        if (canceller.joinable()) canceller.join();
        cancelling = true;
        canceller = std::thread([this] {
            {
                const std::lock_guard lock(runningGuard);
                if (running != nullptr) SQLCancel(running);
            }
            cancelling = false;
        });
    }

    // One call of the transaction: whether it may run, then `job` (which sets the results), then
    // what a failure says about the connection. `writes` when the call may change data.
    long Run(Transaction& t, bool writes, const std::function<void()>& job);
    // COMMIT or ROLLBACK.
    long End(Transaction& t, SQLSMALLINT how);

  private:
    bool Ready(Transaction& t);
    bool Gone(const Transaction& t) const;
    bool FileWritable() const;
    void ConnectAgain(Transaction& t, bool transactionLost);
};

// What a call that the user gave up fails with.
constexpr const char* kCancelled = "HY008: the statement was cancelled";

// The working state of one statement run: the handle, the parameter buffers and the outcome.
class Statement {
  public:
    Statement(Transaction& t, Session& impl) : t_(t), impl_(impl) {}

    // Allocates the handle and prepares `sql`; false (with SQLCode -1 set) on failure.
    bool Prepare(std::string_view sql) {
        if (impl_.cancelled) return FailWith(kCancelled);
        SQLRETURN rc = stmt_.Allocate(impl_.dbc.get());
        if (!SQL_SUCCEEDED(rc)) return FailOn(SQL_HANDLE_DBC, impl_.dbc.get(), "cannot allocate a statement");
        rc = SQLPrepare(stmt_.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data())),
                        static_cast<SQLINTEGER>(sql.size()));
        if (!SQL_SUCCEEDED(rc)) return Fail();
        return true;
    }

    bool Bind(const std::vector<Value>& args) {
        SQLSMALLINT markers = 0;
        if (SQL_SUCCEEDED(SQLNumParams(stmt_.get(), &markers)) &&
            static_cast<std::size_t>(markers) != args.size()) {
            return FailWith("the statement has " + std::to_string(markers) + " parameter markers but " +
                            std::to_string(args.size()) + " values were given");
        }
        params_.assign(args.size(), ParamBuffer{});
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (!BindOne(static_cast<SQLUSMALLINT>(i + 1), args[i], params_[i])) return Fail();
        }
        return true;
    }

    // Prepares, binds and executes.
    bool Run(std::string_view sql, const std::vector<Value>& args, bool& noData) {
        return Prepare(sql) && Bind(args) && Execute(noData);
    }

    // Runs the prepared statement. SQL_NO_DATA (a searched UPDATE or DELETE that matched nothing)
    // is success with no rows.
    bool Execute(bool& noData) {
        SQLRETURN rc = SQL_ERROR;
        {
            // Only while it executes may the statement be cancelled from the calling thread: a
            // driver cancels a statement that does something else by closing it, which would
            // race with this thread.
            const Running running(impl_, stmt_.get());
            if (impl_.cancelled) return FailWith(kCancelled);
            rc = SQLExecute(stmt_.get());
        }
        noData = rc == SQL_NO_DATA;
        if (noData) return true;
        if (!SQL_SUCCEEDED(rc)) return Fail();
        if (rc == SQL_SUCCESS_WITH_INFO) NoteInfo();
        return true;
    }

    long RowCount() {
        SQLLEN n = 0;
        if (!SQL_SUCCEEDED(SQLRowCount(stmt_.get(), &n))) return 0;
        return static_cast<long>(n);
    }

    // Describes the result columns; false with SQLCode -1 on failure.
    bool DescribeColumns() {
        SQLSMALLINT count = 0;
        if (!SQL_SUCCEEDED(SQLNumResultCols(stmt_.get(), &count))) return Fail();
        kinds_.clear();
        kinds_.reserve(static_cast<std::size_t>(count));
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
            SQLCHAR name[256];
            SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            if (!SQL_SUCCEEDED(SQLDescribeCol(stmt_.get(), c, name, sizeof name, &nameLen, &type, &size,
                                              &digits, &nullable)))
                return Fail();
            char typeName[128] = {};
            SQLSMALLINT typeNameLen = 0;
            if (!SQL_SUCCEEDED(SQLColAttribute(stmt_.get(), c, SQL_DESC_TYPE_NAME, typeName, sizeof typeName,
                                               &typeNameLen, nullptr)))
                typeName[0] = '\0';
            kinds_.push_back(KindOf(type, typeName));
        }
        return true;
    }
    std::size_t ColumnCount() const { return kinds_.size(); }

    // Fetches the next row into `row`. Returns 1 for a row, 0 at the end, -1 on failure.
    int Fetch(std::vector<Value>& row) {
        SQLRETURN rc = SQLFetch(stmt_.get());
        if (rc == SQL_NO_DATA) return 0;
        if (!SQL_SUCCEEDED(rc)) {
            Fail();
            return -1;
        }
        row.clear();
        row.reserve(kinds_.size());
        for (std::size_t c = 0; c < kinds_.size(); ++c) {
            bool isNull = false;
            if (!ReadText(static_cast<SQLUSMALLINT>(c + 1), isNull)) {
                Fail();
                return -1;
            }
            if (isNull)
                row.emplace_back();
            else
                row.push_back(Typed(kinds_[c], std::string(impl_.cell)));
        }
        return 1;
    }

    void CloseCursor() { SQLFreeStmt(stmt_.get(), SQL_CLOSE); }

    bool Fail() { return FailOn(SQL_HANDLE_STMT, stmt_.get(), "the statement failed"); }

    bool FailWith(std::string text) {
        t_.SQLCode = -1;
        t_.SQLDBCode = kNoNativeCode;
        t_.SQLErrText = std::move(text);
        return false;
    }

  private:
    // Publishes the statement that executes for CancelRunning while it lives.
    class Running {
      public:
        Running(Session& session, SQLHSTMT stmt) : session_(session) {
            const std::lock_guard lock(session_.runningGuard);
            session_.running = stmt;
        }
        ~Running() {
            const std::lock_guard lock(session_.runningGuard);
            session_.running = nullptr;
        }
        Running(const Running&) = delete;
        Running& operator=(const Running&) = delete;

      private:
        Session& session_;
    };

    bool FailOn(SQLSMALLINT kind, SQLHANDLE h, const char* fallback) {
        long native = kNoNativeCode;
        std::string text = Diagnostics(kind, h, native);
        t_.SQLCode = -1;
        t_.SQLDBCode = native;
        t_.SQLErrText = text.empty() ? std::string(fallback) : std::move(text);
        return false;
    }

    // Informational messages on a successful statement are kept for the caller to read.
    void NoteInfo() {
        long native = kNoNativeCode;
        t_.SQLErrText = Diagnostics(SQL_HANDLE_STMT, stmt_.get(), native);
    }

    bool BindOne(SQLUSMALLINT n, const Value& v, ParamBuffer& p) {
        SQLHSTMT h = stmt_.get();
        auto bindText = [&](SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits) {
            p.indicator = static_cast<SQLLEN>(p.text.size());
            return SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_CHAR, sqlType, std::max<SQLULEN>(size, 1),
                                    digits, p.text.data(), static_cast<SQLLEN>(p.text.size() + 1),
                                    &p.indicator);
        };
        SQLRETURN rc = SQL_ERROR;
        switch (v.Type()) {
            case ValueType::Null:
                p.indicator = SQL_NULL_DATA;
                rc = SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, nullptr, 0,
                                      &p.indicator);
                break;
            case ValueType::String:
                p.text = *v.String();
                rc = bindText(SQL_VARCHAR, p.text.size(), 0);
                break;
            case ValueType::Long:
                p.whole = *v.Long();
                p.indicator = 0;
                rc = SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 19, 0, &p.whole, 0,
                                      &p.indicator);
                break;
            case ValueType::Real:
                p.real = *v.Real();
                p.indicator = 0;
                rc = SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &p.real, 0,
                                      &p.indicator);
                break;
            case ValueType::Decimal:
                // As its exact text: the column converts it, and nothing passes through a binary real.
                p.text = v.Decimal()->ToString();
                rc = bindText(SQL_VARCHAR, p.text.size(), 0);
                break;
            case ValueType::Date:
                p.text = v.Date()->Iso();
                rc = bindText(SQL_VARCHAR, p.text.size(), 0);
                break;
        }
        return SQL_SUCCEEDED(rc);
    }

    // Reads a column as text into impl_.cell, in as many chunks as its length needs.
    bool ReadText(SQLUSMALLINT column, bool& isNull) {
        std::string& cell = impl_.cell;
        std::string& chunk = impl_.chunk;
        cell.clear();
        for (;;) {
            SQLLEN ind = 0;
            SQLRETURN rc = SQLGetData(stmt_.get(), column, SQL_C_CHAR, chunk.data(),
                                      static_cast<SQLLEN>(chunk.size()), &ind);
            if (rc == SQL_NO_DATA) return true;  // the previous chunk was the last
            if (!SQL_SUCCEEDED(rc)) return false;
            if (ind == SQL_NULL_DATA) {
                isNull = true;
                return true;
            }
            const std::size_t room = chunk.size() - 1;  // one byte goes to the terminator
            const bool truncated = ind == SQL_NO_TOTAL || static_cast<std::size_t>(ind) > room;
            if (!truncated) {
                cell.append(chunk.data(), static_cast<std::size_t>(ind));
                return true;
            }
            cell.append(chunk.data(), room);
            // Grow the buffer so that the rest, when its length is known, comes in one chunk.
            std::size_t want =
                ind == SQL_NO_TOTAL ? chunk.size() * 2 : static_cast<std::size_t>(ind - room) + 1;
            if (want > chunk.size()) chunk.assign(want, '\0');
        }
    }

    Transaction& t_;
    Session& impl_;
    StmtHandle stmt_;
    std::vector<ParamBuffer> params_;
    std::vector<ColumnKind> kinds_;
};

// Room for the connect string a driver completes from its data source: the most the driver manager
// takes, so that no driver has to cut it short with a warning, which would fail the connection.
constexpr std::size_t kCompletedConnectStringSize = std::numeric_limits<SQLSMALLINT>::max();

// The program's text is UTF-8 whatever the locale, but the PostgreSQL driver takes the connection's
// client encoding from the locale (GBK under zh_CN.GBK; none at all under C, which only passes bytes
// through) unless the environment names one: a GBK session refuses or misreads UTF-8 text, and a
// LATIN1 one stores each byte as a character of its own. Other drivers do not read this variable.
void UseUtf8WithPostgreSQL() {
    const char* now = std::getenv("PGCLIENTENCODING");
    if (now == nullptr || std::string_view(now) != "UTF8") setenv("PGCLIENTENCODING", "UTF8", 1);
}

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

// A failure found by the runtime itself.
bool Refuse(Transaction& t, std::string text) {
    t.SQLCode = -1;
    t.SQLDBCode = kNoNativeCode;
    t.SQLNRows = 0;
    t.SQLErrText = std::move(text);
    return false;
}

void Succeed(Transaction& t, long rows) {
    t.SQLCode = 0;
    t.SQLDBCode = 0;
    t.SQLNRows = rows;
}

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

// SQLite's code for a write refused because the connection cannot write the file.
constexpr long kSqliteReadOnly = 8;

long Session::Run(Transaction& t, bool writes, const std::function<void()>& job) {
    if (!aborted) lossTold = false;
    if (!Ready(t)) return t.SQLCode;
    t.SQLErrText.clear();
    t.SQLNRows = 0;
    open = true;
    if (writes) writing = true;
    Watch(job);
    if (t.SQLCode == -1 && Gone(t)) ConnectAgain(t, true);
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
    Watch([&] {
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
    if (Gone(t)) ConnectAgain(t, false);
    return t.SQLCode;
}

// Whether a call may run now; otherwise SQLCode -1 and why. A connection that went before this
// transaction began is made again first.
bool Session::Ready(Transaction& t) {
    if (!connected) return Refuse(t, "not connected to a database");
    if (aborted) return Refuse(t, kTransactionLost);
    if (linked) return true;
    ConnectOutcome failed;
    Watch([&] { failed = MakeConnection(*this); });
    // Given up while connecting: the call goes no further, and the new connection holds nothing.
    if (!failed && cancelled) return Refuse(t, kCancelled);
    if (!failed) return true;
    // One try for each transaction: the rest of it fails at once.
    aborted = open = true;
    Refuse(t, "the connection to the database was lost and cannot be made again now: " + failed->text);
    t.SQLDBCode = failed->native;
    return false;
}

// Whether the failure of the last call says that the connection is gone.
bool Session::Gone(const Transaction& t) const {
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

// The connection went: a new one takes its place with the same connect string, and the hook is
// told. `transactionLost` when the failed call was not the end of the transaction: until that
// comes, every call fails.
void Session::ConnectAgain(Transaction& t, bool transactionLost) {
    const bool wrote = writing;
    ConnectOutcome failed;
    Watch([&] { failed = MakeConnection(*this); });
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

long SelectIntoNow(Transaction& t, Session& session, std::string_view sql, const std::vector<Value>& args,
                   std::vector<Value>& into) {
    Statement st(t, session);
    bool noData = false;
    if (!st.Run(sql, args, noData)) return t.SQLCode;
    if (noData) {
        Succeed(t, 0);
        t.SQLCode = 100;
        return t.SQLCode;
    }
    if (!st.DescribeColumns()) return t.SQLCode;
    if (st.ColumnCount() == 0) {
        st.FailWith("the statement returns no columns");
        return t.SQLCode;
    }
    std::vector<Value> row;
    int got = st.Fetch(row);
    if (got < 0) return t.SQLCode;
    if (got == 0) {
        Succeed(t, 0);
        t.SQLCode = 100;
        return t.SQLCode;
    }
    std::vector<Value> extra;
    got = st.Fetch(extra);
    if (got < 0) return t.SQLCode;
    if (got > 0) {
        st.FailWith("a singleton SELECT returned more than one row");
        return t.SQLCode;
    }
    st.CloseCursor();
    into = std::move(row);
    Succeed(t, 1);
    return t.SQLCode;
}

long QueryNow(Transaction& t, Session& session, std::string_view sql, const std::vector<Value>& args,
              std::vector<std::vector<Value>>& rows) {
    Statement st(t, session);
    bool noData = false;
    if (!st.Run(sql, args, noData)) return t.SQLCode;
    std::vector<std::vector<Value>> fetched;
    if (!noData) {
        if (!st.DescribeColumns()) return t.SQLCode;
        if (st.ColumnCount() > 0) {
            std::vector<Value> row;
            for (;;) {
                int got = st.Fetch(row);
                if (got < 0) return t.SQLCode;
                if (got == 0) break;
                fetched.push_back(std::move(row));
            }
        }
    }
    st.CloseCursor();
    const long n = static_cast<long>(fetched.size());
    if (rows.empty())
        rows = std::move(fetched);
    else
        std::move(fetched.begin(), fetched.end(), std::back_inserter(rows));
    Succeed(t, n);
    return t.SQLCode;
}

}  // namespace

struct Transaction::Impl : Session {};

Transaction::Transaction() : impl_(std::make_unique<Impl>()) {}
Transaction::~Transaction() = default;

bool Transaction::Connected() const {
    return impl_->connected;
}

std::weak_ptr<void> Transaction::Lifetime() const {
    return impl_->alive;
}

void Transaction::OnConnectionLost(ConnectionLostHook hook) {
    impl_->lostHook = std::move(hook);
}

bool Transaction::LossAlreadyTold() const {
    return impl_->connected && impl_->lossTold;
}

int Transaction::Connect() {
    SQLNRows = 0;
    SQLDBCode = kNoNativeCode;
    SQLErrText.clear();
    auto fail = [this](std::string text) {
        SQLCode = -1;
        SQLErrText = std::move(text);
        return -1;
    };
    if (impl_->connected) return fail("already connected; disconnect first");
    if (LowerAscii(TrimBlanks(DBMS)) != "odbc")
        return fail("database interface \"" + DBMS + "\" is not supported; set DBMS to \"ODBC\"");
    std::string connect(TrimBlanks(ConnectStringOf(DBParm)));
    if (connect.empty()) return fail("no connect string: set DBParm to \"Connectstring='DSN=...'\"");
    // The driver manager takes the length as a 16-bit count.
    if (connect.size() > static_cast<std::size_t>(std::numeric_limits<SQLSMALLINT>::max()))
        return fail("the connect string is too long");

    Impl& im = *impl_;
    im.connectString = std::move(connect);
    im.autoCommit = AutoCommit;
    UseUtf8WithPostgreSQL();
    if (const ConnectOutcome failed = MakeConnection(im)) {
        SQLDBCode = failed->native;
        return fail(failed->text);
    }
    im.connected = true;
    im.aborted = im.lossTold = false;
    SQLCode = 0;
    return 0;
}

int Transaction::Disconnect() {
    if (!impl_->connected) {
        Refuse(*this, "not connected to a database");
        return -1;
    }
    impl_->Close();
    impl_->connected = false;
    impl_->aborted = impl_->lossTold = false;
    Succeed(*this, 0);
    SQLErrText.clear();
    return 0;
}

long Transaction::Execute(std::string_view sql, const std::vector<Value>& args) {
    return impl_->Run(*this, true, [&] {
        Statement st(*this, *impl_);
        bool noData = false;
        if (st.Run(sql, args, noData)) Succeed(*this, noData ? 0 : st.RowCount());
    });
}

long Transaction::SelectInto(std::string_view sql, const std::vector<Value>& args, std::vector<Value>& into) {
    return impl_->Run(*this, false, [&] { SelectIntoNow(*this, *impl_, sql, args, into); });
}

long Transaction::Query(std::string_view sql, const std::vector<Value>& args,
                        std::vector<std::vector<Value>>& rows) {
    return impl_->Run(*this, false, [&] { QueryNow(*this, *impl_, sql, args, rows); });
}

long Transaction::Commit() {
    return impl_->End(*this, SQL_COMMIT);
}
long Transaction::Rollback() {
    return impl_->End(*this, SQL_ROLLBACK);
}

bool Transaction::InTransaction() const {
    return impl_->connected && (impl_->open || impl_->aborted);
}

bool Transaction::Writing() const {
    return impl_->connected && impl_->writing;
}

void Transaction::SetWaitHook(WaitHook hook, std::chrono::milliseconds patience) {
    WaitSettings& settings = Waiting();
    settings.hook = std::move(hook);
    settings.patience = patience;
}

DynamicStagingArea::DynamicStagingArea() = default;
DynamicStagingArea::~DynamicStagingArea() = default;

long DynamicStagingArea::Prepare(Transaction& t, std::string_view sql) {
    t_ = &t;
    alive_ = t.impl_->alive;
    sql_.clear();
    Session& session = *t.impl_;
    session.Run(t, false, [&] {
        {
            // Describing the statement makes a driver that prepares on the server (PostgreSQL's)
            // parse it there now, so that a missing table or a syntax error fails the PREPARE.
            Statement st(t, session);
            if (!st.Prepare(sql) || !st.DescribeColumns()) return;
        }
        if (session.sqlite) {
            Statement st(t, session);
            if (!st.Prepare("EXPLAIN " + std::string(sql))) return;
        }
        Succeed(t, 0);
    });
    if (t.SQLCode == 0) sql_ = std::string(sql);
    return t.SQLCode;
}

long DynamicStagingArea::Execute(const std::vector<Value>& args) {
    if (alive_.expired()) {
        t_ = nullptr;
        return -1;  // never prepared, or its transaction is gone: there is nowhere to report to
    }
    if (sql_.empty()) {
        Refuse(*t_, "no statement has been prepared");
        return -1;
    }
    return t_->Execute(sql_, args);
}

std::string ConnectStringOf(std::string_view dbparm) {
    static constexpr std::string_view kKey = "connectstring";
    const std::string lower = LowerAscii(dbparm);
    for (std::size_t at = lower.find(kKey); at != std::string::npos; at = lower.find(kKey, at + 1)) {
        // The key must stand on its own: at the start or after a separator.
        if (at > 0) {
            const char before = lower[at - 1];
            if (before != ',' && !std::isspace(static_cast<unsigned char>(before))) continue;
        }
        std::size_t i = at + kKey.size();
        while (i < dbparm.size() && std::isspace(static_cast<unsigned char>(dbparm[i]))) ++i;
        if (i >= dbparm.size() || dbparm[i] != '=') continue;
        ++i;
        while (i < dbparm.size() && std::isspace(static_cast<unsigned char>(dbparm[i]))) ++i;
        if (i < dbparm.size() && (dbparm[i] == '\'' || dbparm[i] == '"')) {
            const char quote = dbparm[i++];
            std::string value;
            for (; i < dbparm.size(); ++i) {
                if (dbparm[i] != quote) {
                    value += dbparm[i];
                } else if (i + 1 < dbparm.size() && dbparm[i + 1] == quote) {
                    value += quote;  // a doubled quote stands for itself
                    ++i;
                } else {
                    break;
                }
            }
            return value;
        }
        const std::size_t end = dbparm.find(',', i);
        return std::string(TrimBlanks(dbparm.substr(i, end == std::string_view::npos ? end : end - i)));
    }
    return std::string(dbparm);
}

}  // namespace rt

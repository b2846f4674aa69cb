#include "runtime/database/transaction.h"

#include <cctype>
#include <iterator>
#include <limits>
#include <utility>

#include "runtime/database/transaction_session.h"
#include "runtime/database/transaction_statement.h"
#include "runtime/database/transaction_waiter.h"
#include "runtime/platform/odbc.h"
#include "runtime/text/text.h"

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

using tx::TrimBlanks;

namespace {

// A failure found by the runtime itself.
void Refuse(Transaction& t, std::string text) {
    t.SQLCode = -1;
    t.SQLDBCode = tx::kNoNativeCode;
    t.SQLNRows = 0;
    t.SQLErrText = std::move(text);
}

// The results of a call, as the session reported them.
void Write(Transaction& t, tx::Outcome& out) {
    t.SQLCode = out.code;
    t.SQLDBCode = out.native;
    t.SQLNRows = out.rows;
    t.SQLErrText = std::move(out.text);
}

// The results of a call, put back as they were when it goes, whatever a hook did meanwhile.
class Results {
  public:
    explicit Results(Transaction& t)
        : t_(t), code_(t.SQLCode), native_(t.SQLDBCode), rows_(t.SQLNRows), text_(t.SQLErrText) {}
    ~Results() {
        t_.SQLCode = code_;
        t_.SQLDBCode = native_;
        t_.SQLNRows = rows_;
        t_.SQLErrText = std::move(text_);
    }
    Results(const Results&) = delete;
    Results& operator=(const Results&) = delete;

  private:
    Transaction& t_;
    long code_, native_, rows_;
    std::string text_;
};

}  // namespace

// The session, and what the program is told of it. The session's calls report what happened;
// here alone does it become SQLCode and friends, after which the hooks hear of it.
struct Transaction::Impl : tx::Session {
    LossHook lossHook;
    std::function<void()> connectedHook;

    // One call of the session, its job run on the link: the results set in `t`, then the loss
    // told, then a first connection, then what the wait hook or the job threw.
    long Call(Transaction& t, bool writes, Job job) {
        tx::Report r;
        Settle(t, r, [&] { Run(r, writes, std::move(job)); });
        if (r.ran && std::exchange(reached, false) && connectedHook) {
            const Results kept(t);
            const std::function<void()> hook = connectedHook;
            hook();
        }
        if (r.thrown) std::rethrow_exception(r.thrown);
        return t.SQLCode;
    }

    // COMMIT or ROLLBACK, reported as a call is.
    long Finish(Transaction& t, SQLSMALLINT how) {
        tx::Report r;
        Settle(t, r, [&] { End(r, how); });
        if (r.thrown) std::rethrow_exception(r.thrown);
        return t.SQLCode;
    }

    // Tells the hook of the loss behind the failure in `t`, whose results stand whatever it does.
    void Tell(Transaction& t, Loss loss) {
        told = static_cast<bool>(lossHook);
        if (!lossHook) return;
        const Results kept(t);
        const LossHook hook = lossHook;
        hook(loss);
    }

  private:
    // Runs `call`, which reports to `r`, and takes what it reported: the results as far as the
    // call got when a wait hook's exception leaves it early, and the loss to tell of.
    template <class Call>
    void Settle(Transaction& t, tx::Report& r, Call call) {
        try {
            call();
        } catch (...) {
            if (r.settled) Write(t, r.out);
            throw;
        }
        if (r.settled) Write(t, r.out);
        if (r.loss) Tell(t, *r.loss);
    }
};

Transaction::Transaction() : impl_(std::make_unique<Impl>()) {}
Transaction::~Transaction() = default;

bool Transaction::Connected() const {
    return impl_->connected && !impl_->awaiting;
}

bool Transaction::Awaiting() const {
    return impl_->connected && impl_->awaiting;
}

void Transaction::OnConnected(std::function<void()> hook) {
    impl_->connectedHook = std::move(hook);
}

std::weak_ptr<void> Transaction::Lifetime() const {
    return impl_->alive;
}

void Transaction::OnTransactionLost(LossHook hook) {
    impl_->lossHook = std::move(hook);
}

bool Transaction::LossAlreadyTold() const {
    return impl_->connected && impl_->told;
}

bool Transaction::RefusedAfterLoss() const {
    return impl_->connected && impl_->refused && SQLCode == -1;
}

int Transaction::Connect() {
    SQLNRows = 0;
    SQLDBCode = tx::kNoNativeCode;
    SQLErrText.clear();
    auto fail = [this](std::string text) {
        SQLCode = -1;
        SQLErrText = std::move(text);
        return -1;
    };
    if (Connected()) return fail("already connected; disconnect first");
    if (LowerAscii(TrimBlanks(DBMS)) != "odbc")
        return fail("database interface \"" + DBMS + "\" is not supported; set DBMS to \"ODBC\"");
    std::string connect(TrimBlanks(ConnectStringOf(DBParm)));
    if (connect.empty()) return fail("no connect string: set DBParm to \"Connectstring='DSN=...'\"");
    connect = tx::WithUtf8ForPostgreSQL(connect);
    // The driver manager takes the length as a 16-bit count.
    if (connect.size() > static_cast<std::size_t>(std::numeric_limits<SQLSMALLINT>::max()))
        return fail("the connect string is too long");

    Impl& im = *impl_;
    im.connectString = std::move(connect);
    im.autoCommit = AutoCommit;
    im.link.reset();
    im.connected = im.awaiting = im.reached = false;
    im.aborted = im.told = im.refused = im.open = im.writing = false;
    tx::UseUtf8WithPostgreSQL();
    // As any call, one that keeps the program waiting is shown while it waits, and may be given up.
    tx::ConnectOutcome failed;
    bool givenUp = false;
    std::shared_ptr<tx::Link> link = im.Connected(failed, givenUp);
    if (!link) {
        im.connected = im.awaiting = ConnectLater;
        if (givenUp) {
            fail(tx::kCancelled);
            im.Tell(*this, Loss::GivenUp);
            return -1;
        }
        SQLDBCode = failed->native;
        return fail(failed->text);
    }
    im.link = std::move(link);
    im.connected = true;
    SQLCode = 0;
    return 0;
}

int Transaction::Disconnect() {
    if (!impl_->connected) {
        Refuse(*this, "not connected to a database");
        return -1;
    }
    impl_->link.reset();
    impl_->connected = impl_->awaiting = impl_->reached = false;
    impl_->aborted = impl_->told = impl_->refused = impl_->open = impl_->writing = false;
    SQLCode = SQLDBCode = SQLNRows = 0;
    SQLErrText.clear();
    return 0;
}

long Transaction::Execute(std::string_view sql, const std::vector<Value>& args) {
    return impl_->Call(*this, true, [sql = std::string(sql), args](tx::Link& link, tx::Outcome& out) {
        std::unique_ptr<tx::Statement> st = link.Prepared(out, sql);
        if (st && tx::ExecuteOn(out, *st, args) != -1) link.Keep(sql, std::move(st));
    });
}

long Transaction::SelectInto(std::string_view sql, const std::vector<Value>& args, std::vector<Value>& into) {
    auto row = std::make_shared<std::vector<Value>>();
    impl_->Call(*this, false, [sql = std::string(sql), args, row](tx::Link& link, tx::Outcome& out) {
        std::unique_ptr<tx::Statement> st = link.Prepared(out, sql);
        if (st && tx::SelectIntoOn(out, *st, args, *row) != -1) link.Keep(sql, std::move(st));
    });
    if (SQLCode == 0) into = std::move(*row);
    return SQLCode;
}

long Transaction::Query(std::string_view sql, const std::vector<Value>& args,
                        std::vector<std::vector<Value>>& rows, std::vector<StoredText>* stored) {
    struct Read {
        std::vector<std::vector<Value>> rows;
        std::vector<StoredText> stored;
    };
    auto read = std::make_shared<Read>();
    const bool noteStored = stored != nullptr;
    impl_->Call(
        *this, false, [sql = std::string(sql), args, read, noteStored](tx::Link& link, tx::Outcome& out) {
            std::unique_ptr<tx::Statement> st = link.Prepared(out, sql);
            if (st && tx::QueryOn(out, *st, args, read->rows, noteStored ? &read->stored : nullptr) != -1)
                link.Keep(sql, std::move(st));
        });
    if (SQLCode != 0) return SQLCode;
    const std::size_t before = rows.size();
    if (stored != nullptr)
        for (StoredText& s : read->stored) stored->push_back({before + s.row, s.column, std::move(s.text)});
    if (rows.empty())
        rows = std::move(read->rows);
    else
        std::move(read->rows.begin(), read->rows.end(), std::back_inserter(rows));
    return SQLCode;
}

long Transaction::Commit() {
    return impl_->Finish(*this, SQL_COMMIT);
}
long Transaction::Rollback() {
    return impl_->Finish(*this, SQL_ROLLBACK);
}

bool Transaction::InTransaction() const {
    return impl_->connected && (impl_->open || impl_->aborted);
}

bool Transaction::Writing() const {
    return impl_->connected && impl_->writing;
}

void Transaction::SetWaitHook(WaitHook hook, std::chrono::milliseconds patience) {
    tx::WaitSettings& settings = tx::Waiting();
    settings.hook = std::move(hook);
    settings.patience = patience;
}

bool Transaction::SettleGivenUp(std::chrono::milliseconds within) {
    return tx::SettleLetGo(within);
}

DynamicStagingArea::DynamicStagingArea() = default;
DynamicStagingArea::~DynamicStagingArea() = default;

long DynamicStagingArea::Prepare(Transaction& t, std::string_view sql) {
    t_ = &t;
    alive_ = t.impl_->alive;
    sql_.clear();
    t.impl_->Call(t, false, [sql = std::string(sql)](tx::Link& link, tx::Outcome& out) {
        // Describing the statement makes a driver that prepares on the server (PostgreSQL's) parse
        // it there now, so that a missing table or a syntax error fails the PREPARE.
        std::unique_ptr<tx::Statement> st = link.Prepared(out, sql);
        if (!st || !st->DescribeColumns()) return;
        if (link.driver == tx::Driver::SQLite) {
            tx::Statement check(link.dbc.get(), link.watch, link.buffers);
            check.ReportTo(out);
            if (!check.Prepare("EXPLAIN " + sql)) return;
        }
        // Kept for the EXECUTEs that follow.
        link.Keep(sql, std::move(st));
        out.Succeed(0);
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

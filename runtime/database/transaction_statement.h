#pragma once
// For the transaction's own use: one statement on a connection, from its text and arguments to the
// values of its rows, with what happened reported as an outcome, which the transaction alone turns
// into its SQLCode and friends.

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/database/transaction_kinds.h"
#include "runtime/database/transaction_waiter.h"
#include "runtime/platform/odbc.h"
#include "runtime/platform/os.h"
#include "runtime/text/value.h"

namespace rt::tx {

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
        if (h_ == nullptr) return;
        // Past the process's end the driver may be gone; the system takes the handle with the process.
        if (os::ProcessEnding()) {
            h_ = nullptr;
            return;
        }
        SQLFreeHandle(Kind, std::exchange(h_, nullptr));
    }
    SQLHANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    SQLHANDLE h_ = nullptr;
};

using EnvHandle = Handle<SQL_HANDLE_ENV>;
using DbcHandle = Handle<SQL_HANDLE_DBC>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

// Marker for failures found by the runtime itself rather than by the driver.
constexpr long kNoNativeCode = 0;

// What a call that the user gave up fails with.
constexpr const char* kCancelled = "HY008: the statement was cancelled";

// What a call reports: the transaction's SQLCode and friends, kept apart from the transaction until
// its caller takes them, so that a call the user gave up can run on after its caller has gone.
struct Outcome {
    long code = 0;
    long native = kNoNativeCode;
    long rows = 0;
    std::string text;
    // The failure was found by the runtime itself, before anything reached the database.
    bool refusedHere = false;

    // SQLCode -1 with `why`; false, for the caller to return.
    bool Fail(std::string why, long nativeCode = kNoNativeCode);
    // The same, for a failure found by the runtime itself.
    bool Refuse(std::string why);
    void Succeed(long affected);
};

// Every diagnostic record of a handle, "SQLSTATE: message" one per line; the first record's native
// code goes to `native`.
std::string Diagnostics(SQLSMALLINT kind, SQLHANDLE h, long& native);

// The text without the white space around it.
std::string_view TrimBlanks(std::string_view s);

// How a result column's text becomes a Value.
enum class ColumnKind { Text, Whole, Exact, Real, Date };

// The storage behind one bound parameter; it must stay where it is until the statement has run.
struct ParamBuffer {
    std::string text;
    std::int64_t whole = 0;
    double real = 0;
    SQLLEN indicator = 0;
};

// Kept by the connection and reused between cells and rows, so that fetching allocates only what
// the values keep.
struct FetchBuffers {
    std::string cell;
    std::string chunk = std::string(512, '\0');
};

// One statement on a connection: the handle, the parameter buffers and the result columns. It
// stays prepared after it has run, so that running it again with other arguments takes Execute
// alone. Every failure sets SQLCode -1 in the outcome it reports to, with the driver's diagnostic,
// and returns false (or -1).
class Statement {
  public:
    Statement(SQLHDBC dbc, CallWatch& watch, FetchBuffers& buffers)
        : dbc_(dbc), watch_(watch), buffers_(buffers) {}

    // From now on the statement reports to `out`, which must outlive every call until the next one.
    void ReportTo(Outcome& out) { out_ = &out; }

    // Allocates the handle and prepares `sql`.
    bool Prepare(std::string_view sql);
    // Binds `args` to the markers and runs the prepared statement. SQL_NO_DATA (a searched UPDATE
    // or DELETE that matched nothing) is success with no rows.
    bool Execute(const std::vector<Value>& args, bool& noData);

    long RowCount();
    // Describes the result columns, once.
    bool DescribeColumns();
    std::size_t ColumnCount() const { return kinds_.size(); }
    // Fetches the next row into `row`. Returns 1 for a row, 0 at the end, -1 on failure. With
    // `stored`, each value whose text as the database gave it is not the value's own text is noted
    // there as row `index`.
    int Fetch(std::vector<Value>& row, std::vector<StoredText>* stored = nullptr, std::size_t index = 0);
    void CloseCursor();

    bool Fail();
    bool FailWith(std::string text);

  private:
    bool Bind(const std::vector<Value>& args);
    bool BindOne(SQLUSMALLINT n, const Value& v, ParamBuffer& p);
    bool FailOn(SQLSMALLINT kind, SQLHANDLE h, const char* fallback);
    // Informational messages on a successful statement are kept for the caller to read.
    void NoteInfo();
    // Reads a column as text into the cell buffer, in as many chunks as its length needs.
    bool ReadText(SQLUSMALLINT column, bool& isNull);

    SQLHDBC dbc_;
    CallWatch& watch_;
    FetchBuffers& buffers_;
    Outcome* out_ = nullptr;
    StmtHandle stmt_;
    std::vector<ParamBuffer> params_;
    std::vector<ColumnKind> kinds_;
    bool described_ = false;
};

// The statements a connection keeps prepared, by their text, the most recently used first: the
// same statement run again (a row of a list written after the other, a page read once more) is
// bound and executed without being prepared again.
class PreparedStatements {
  public:
    // The statement of `sql` kept from before, taken out; nullptr when none is kept.
    std::unique_ptr<Statement> Take(const std::string& sql);
    // Keeps a statement that has just run well, letting the one used longest ago go past the limit.
    void Keep(const std::string& sql, std::unique_ptr<Statement> statement);
    void Clear() { kept_.clear(); }

  private:
    static constexpr std::size_t kLimit = 64;
    std::list<std::pair<std::string, std::unique_ptr<Statement>>> kept_;
};

// The embedded statements on a prepared Statement, with the results that Transaction::Execute,
// SelectInto and Query give.
long ExecuteOn(Outcome& out, Statement& st, const std::vector<Value>& args);
long SelectIntoOn(Outcome& out, Statement& st, const std::vector<Value>& args, std::vector<Value>& into);
long QueryOn(Outcome& out, Statement& st, const std::vector<Value>& args,
             std::vector<std::vector<Value>>& rows, std::vector<StoredText>* stored);

}  // namespace rt::tx

#pragma once
// For the transaction's own use: one statement on a connection, from its text and arguments to the
// values of its rows, with every failure reported in the transaction's SQLCode and friends.
//
// A statement keeps its handle prepared after it has run: running it again with other arguments
// takes Execute alone, after CloseCursor when it returned rows.

#include <sql.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/transaction.h"
#include "runtime/transaction_waiter.h"
#include "runtime/value.h"

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

// Marker for failures found by the runtime itself rather than by the driver.
constexpr long kNoNativeCode = 0;

// What a call that the user gave up fails with.
constexpr const char* kCancelled = "HY008: the statement was cancelled";

// Every diagnostic record of a handle, "SQLSTATE: message" one per line; the first record's native
// code goes to `native`.
std::string Diagnostics(SQLSMALLINT kind, SQLHANDLE h, long& native);

// The text without the white space around it.
std::string_view TrimBlanks(std::string_view s);

// A failure found by the runtime itself; false, for the caller to return.
bool Refuse(Transaction& t, std::string text);
void Succeed(Transaction& t, long rows);

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

// The working state of one statement: the handle, the parameter buffers and the result columns.
// Every failure sets SQLCode -1 with the driver's diagnostic, and returns false (or -1).
class Statement {
  public:
    Statement(Transaction& t, SQLHDBC dbc, CallWatch& watch, FetchBuffers& buffers)
        : t_(t), dbc_(dbc), watch_(watch), buffers_(buffers) {}

    // Allocates the handle and prepares `sql`.
    bool Prepare(std::string_view sql);
    // Binds `args` to the markers and runs the prepared statement. SQL_NO_DATA (a searched UPDATE
    // or DELETE that matched nothing) is success with no rows.
    bool Execute(const std::vector<Value>& args, bool& noData);
    // Prepares and executes.
    bool Run(std::string_view sql, const std::vector<Value>& args, bool& noData) {
        return Prepare(sql) && Execute(args, noData);
    }

    long RowCount();
    // Describes the result columns.
    bool DescribeColumns();
    std::size_t ColumnCount() const { return kinds_.size(); }
    // Fetches the next row into `row`. Returns 1 for a row, 0 at the end, -1 on failure.
    int Fetch(std::vector<Value>& row);
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

    Transaction& t_;
    SQLHDBC dbc_;
    CallWatch& watch_;
    FetchBuffers& buffers_;
    StmtHandle stmt_;
    std::vector<ParamBuffer> params_;
    std::vector<ColumnKind> kinds_;
};

// The embedded statements on a prepared Statement, with the transaction's results as
// Transaction::Execute, SelectInto and Query give them.
long ExecuteOn(Transaction& t, Statement& st, std::string_view sql, const std::vector<Value>& args);
long SelectIntoOn(Transaction& t, Statement& st, std::string_view sql, const std::vector<Value>& args,
                  std::vector<Value>& into);
long QueryOn(Transaction& t, Statement& st, std::string_view sql, const std::vector<Value>& args,
             std::vector<std::vector<Value>>& rows);

}  // namespace rt::tx

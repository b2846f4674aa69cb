#include "runtime/database/transaction_statement.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "runtime/platform/odbc.h"
#include "runtime/text/text.h"

namespace rt::tx {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

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

bool Outcome::Fail(std::string why, long nativeCode) {
    code = -1;
    native = nativeCode;
    text = std::move(why);
    refusedHere = false;
    return false;
}

bool Outcome::Refuse(std::string why) {
    Fail(std::move(why));
    refusedHere = true;
    return false;
}

void Outcome::Succeed(long affected) {
    code = 0;
    native = 0;
    rows = affected;
}

namespace {

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

}  // namespace

bool Statement::Prepare(std::string_view sql) {
    described_ = false;
    if (watch_.Cancelled()) return FailWith(kCancelled);
    SQLRETURN rc = stmt_.Allocate(dbc_);
    if (!SQL_SUCCEEDED(rc)) return FailOn(SQL_HANDLE_DBC, dbc_, "cannot allocate a statement");
    rc = SQLPrepare(stmt_.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data())),
                    static_cast<SQLINTEGER>(sql.size()));
    if (!SQL_SUCCEEDED(rc)) return Fail();
    return true;
}

bool Statement::Bind(const std::vector<Value>& args) {
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

bool Statement::Execute(const std::vector<Value>& args, bool& noData) {
    if (!Bind(args)) return false;
    SQLRETURN rc = SQL_ERROR;
    {
        const CallWatch::Executing executing(watch_, stmt_.get());
        if (watch_.Cancelled()) return FailWith(kCancelled);
        rc = SQLExecute(stmt_.get());
    }
    noData = rc == SQL_NO_DATA;
    if (noData) return true;
    if (!SQL_SUCCEEDED(rc)) return Fail();
    if (rc == SQL_SUCCESS_WITH_INFO) NoteInfo();
    return true;
}

long Statement::RowCount() {
    SQLLEN n = 0;
    if (!SQL_SUCCEEDED(SQLRowCount(stmt_.get(), &n))) return 0;
    return static_cast<long>(n);
}

bool Statement::DescribeColumns() {
    if (described_) return true;
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(stmt_.get(), &count))) return Fail();
    kinds_.clear();
    kinds_.reserve(static_cast<std::size_t>(count));
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
        SQLCHAR name[256];
        SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        if (!SQL_SUCCEEDED(SQLDescribeCol(stmt_.get(), c, name, sizeof name, &nameLen, &type, &size, &digits,
                                          &nullable)))
            return Fail();
        char typeName[128] = {};
        SQLSMALLINT typeNameLen = 0;
        if (!SQL_SUCCEEDED(SQLColAttribute(stmt_.get(), c, SQL_DESC_TYPE_NAME, typeName, sizeof typeName,
                                           &typeNameLen, nullptr)))
            typeName[0] = '\0';
        kinds_.push_back(KindOf(type, typeName));
    }
    described_ = true;
    return true;
}

int Statement::Fetch(std::vector<Value>& row, std::vector<StoredText>* stored, std::size_t index) {
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
        if (isNull) {
            row.emplace_back();
            continue;
        }
        row.push_back(Typed(kinds_[c], std::string(buffers_.cell)));
        // Text comes back as it is stored; a date or a number may be stored in a form of its own.
        if (stored != nullptr && kinds_[c] != ColumnKind::Text && row.back().ToText() != buffers_.cell)
            stored->push_back({index, c, buffers_.cell});
    }
    return 1;
}

void Statement::CloseCursor() {
    SQLFreeStmt(stmt_.get(), SQL_CLOSE);
}

bool Statement::Fail() {
    return FailOn(SQL_HANDLE_STMT, stmt_.get(), "the statement failed");
}

bool Statement::FailWith(std::string text) {
    return out_->Refuse(std::move(text));
}

bool Statement::FailOn(SQLSMALLINT kind, SQLHANDLE h, const char* fallback) {
    long native = kNoNativeCode;
    std::string text = Diagnostics(kind, h, native);
    return out_->Fail(text.empty() ? std::string(fallback) : std::move(text), native);
}

void Statement::NoteInfo() {
    long native = kNoNativeCode;
    out_->text = Diagnostics(SQL_HANDLE_STMT, stmt_.get(), native);
}

bool Statement::BindOne(SQLUSMALLINT n, const Value& v, ParamBuffer& p) {
    SQLHSTMT h = stmt_.get();
    auto bindText = [&](SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits) {
        p.indicator = static_cast<SQLLEN>(p.text.size());
        return SQLBindParameter(h, n, SQL_PARAM_INPUT, SQL_C_CHAR, sqlType, std::max<SQLULEN>(size, 1),
                                digits, p.text.data(), static_cast<SQLLEN>(p.text.size() + 1), &p.indicator);
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

bool Statement::ReadText(SQLUSMALLINT column, bool& isNull) {
    std::string& cell = buffers_.cell;
    std::string& chunk = buffers_.chunk;
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
        std::size_t want = ind == SQL_NO_TOTAL ? chunk.size() * 2 : static_cast<std::size_t>(ind - room) + 1;
        if (want > chunk.size()) chunk.assign(want, '\0');
    }
}

std::unique_ptr<Statement> PreparedStatements::Take(const std::string& sql) {
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if (it->first != sql) continue;
        std::unique_ptr<Statement> taken = std::move(it->second);
        kept_.erase(it);
        return taken;
    }
    return nullptr;
}

void PreparedStatements::Keep(const std::string& sql, std::unique_ptr<Statement> statement) {
    kept_.emplace_front(sql, std::move(statement));
    while (kept_.size() > kLimit) kept_.pop_back();
}

long ExecuteOn(Outcome& out, Statement& st, const std::vector<Value>& args) {
    bool noData = false;
    if (!st.Execute(args, noData)) return out.code;
    out.Succeed(noData ? 0 : st.RowCount());
    // A statement that returned rows all the same is ready to run again.
    st.CloseCursor();
    return out.code;
}

long SelectIntoOn(Outcome& out, Statement& st, const std::vector<Value>& args, std::vector<Value>& into) {
    bool noData = false;
    if (!st.Execute(args, noData)) return out.code;
    if (noData) {
        out.Succeed(0);
        out.code = 100;
        return out.code;
    }
    if (!st.DescribeColumns()) return out.code;
    if (st.ColumnCount() == 0) {
        st.FailWith("the statement returns no columns");
        return out.code;
    }
    std::vector<Value> row;
    int got = st.Fetch(row);
    if (got < 0) return out.code;
    if (got == 0) {
        st.CloseCursor();
        out.Succeed(0);
        out.code = 100;
        return out.code;
    }
    std::vector<Value> extra;
    got = st.Fetch(extra);
    if (got < 0) return out.code;
    if (got > 0) {
        st.FailWith("a singleton SELECT returned more than one row");
        return out.code;
    }
    st.CloseCursor();
    into = std::move(row);
    out.Succeed(1);
    return out.code;
}

long QueryOn(Outcome& out, Statement& st, const std::vector<Value>& args,
             std::vector<std::vector<Value>>& rows, std::vector<StoredText>* stored) {
    bool noData = false;
    if (!st.Execute(args, noData)) return out.code;
    if (!noData) {
        if (!st.DescribeColumns()) return out.code;
        if (st.ColumnCount() > 0) {
            std::vector<Value> row;
            for (;;) {
                const int got = st.Fetch(row, stored, rows.size());
                if (got < 0) return out.code;
                if (got == 0) break;
                rows.push_back(std::move(row));
            }
        }
    }
    st.CloseCursor();
    out.Succeed(static_cast<long>(rows.size()));
    return out.code;
}

}  // namespace rt::tx

// Preparing a database that an ODBC data source names: the same tables and code rows as a new
// SQLite file gets, made through the driver in one transaction.

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/database/transaction.h"
#include "runtime/text/value.h"
#include "schema/initdb.h"

namespace schema {

std::vector<std::string> SchemaStatements() {
    std::vector<std::string> out;
    std::string current;
    std::string_view sql = SchemaSql();
    while (!sql.empty()) {
        const std::size_t nl = sql.find('\n');
        std::string_view line = sql.substr(0, nl);
        sql = nl == std::string_view::npos ? std::string_view() : sql.substr(nl + 1);
        if (const std::size_t dash = line.find("--"); dash != std::string_view::npos)
            line = line.substr(0, dash);
        for (char c : line) {
            if (c != ';') {
                current += c;
                continue;
            }
            if (current.find_first_not_of(" \t\r\n") != std::string::npos) out.push_back(current);
            current.clear();
        }
        current += '\n';
    }
    return out;
}

namespace {

bool Fail(rt::Transaction& t, std::string& error, const std::string& what) {
    error = what + ": " + t.SQLErrText;
    return false;
}

bool CreateAndFill(rt::Transaction& t, std::string& error) {
    std::vector<CodeTable> codes;
    if (!ShippedCodeTables(codes, error)) return false;
    for (const std::string& statement : SchemaStatements())
        if (t.Execute(statement) != 0) return Fail(t, error, "creating the tables");
    for (const CodeTable& table : codes) {
        std::string sql = "INSERT INTO " + table.table + " (";
        std::string marks;
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            sql += (i ? ", " : "") + table.columns[i];
            marks += i ? ", ?" : "?";
        }
        sql += ") VALUES (" + marks + ")";
        for (const auto& row : table.rows) {
            std::vector<rt::Value> args;
            for (std::size_t i = 0; i < row.size(); ++i)
                args.push_back(table.whole[i] ? rt::Value(std::int64_t{std::stoll(row[i])})
                                              : rt::Value(row[i]));
            if (t.Execute(sql, args) != 0) return Fail(t, error, "loading " + table.table);
        }
    }
    return t.Commit() == 0 || Fail(t, error, "committing");
}

}  // namespace

bool PrepareDatabase(rt::Transaction& t, std::string& error) {
    error.clear();
    const std::vector<std::string> before = TablesPresent(t);
    if (!before.empty()) {
        t.Rollback();
        error = "the database holds the table " + before.front() + " already; it was left as it was";
        return false;
    }
    if (CreateAndFill(t, error)) return true;
    // PostgreSQL and SQLite undo the tables made so far with the rest.
    t.Rollback();
    return false;
}

bool PrepareDataSource(const std::string& dsn, std::string& error) {
    rt::Transaction t;
    t.DBMS = "ODBC";
    t.AutoCommit = false;
    t.DBParm = "Connectstring='DSN=" + dsn + "'";
    if (t.Connect() != 0) {
        error = "cannot connect to the data source " + dsn + ": " + t.SQLErrText;
        return false;
    }
    const bool prepared = PrepareDatabase(t, error);
    t.Disconnect();
    return prepared;
}

}  // namespace schema

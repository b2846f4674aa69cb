#pragma once
// Creating a new laurel database: the nine tables and the rows of the two code tables.

#include <string>
#include <string_view>
#include <vector>

#include "schema/tables.h"

namespace schema {

// Creates a new SQLite database at `path`. Refuses a path that already exists. On failure nothing
// is left behind and `error` says why. Returns true on success.
bool CreateDatabase(const std::string& path, std::string& error);

// As CreateDatabase, but with the code-table rows taken from the given tab-separated texts (a
// header line, then one row a line) instead of the rows shipped in the program.
bool CreateDatabaseWithCodes(const std::string& path, std::string_view recomdept_tsv,
                             std::string_view xuekdm_tsv, std::string& error);

// The rows of one code table, as a program that loads them elsewhere needs them.
struct CodeTable {
    std::string table;
    std::vector<std::string> columns;
    std::vector<bool> whole;  // per column: a whole number rather than text
    std::vector<std::vector<std::string>> rows;
};

// The two code tables shipped in the program, checked as CreateDatabase checks them; false with
// `error` when a shipped file is wrong.
bool ShippedCodeTables(std::vector<CodeTable>& tables, std::string& error);

// The DDL that creates the nine tables, as shipped (for tests and for other database products);
// the code-table rows ship separately as tab-separated files.
const std::string& SchemaSql();
// Its statements, one by one: comments dropped, split at the semicolons.
std::vector<std::string> SchemaStatements();

// Prepares the empty database that `t` is connected to (commit mode manual): the nine tables and
// the rows of the two code tables, in one transaction. Refused when the database holds one of
// the tables already: it is left as it was. On failure it is rolled back, which on a product that
// makes tables in its transactions (PostgreSQL, SQLite) leaves nothing; `error` says why.
bool PrepareDatabase(rt::Transaction& t, std::string& error);
// The same for the database that the ODBC data source `dsn` names.
bool PrepareDataSource(const std::string& dsn, std::string& error);

}  // namespace schema

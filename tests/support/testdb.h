#pragma once
// A private database for one test: a fresh laurel database in a temporary folder, and an ODBC
// configuration of its own (ODBCSYSINI/ODBCINI) whose data source "laurel" points at it, so that
// no test ever touches the user's data sources.

#include <filesystem>
#include <string>

#include "runtime/transaction.h"
#include "tests/support/scratch_database.h"

namespace testing_support {

class TestDatabase {
  public:
    // Creates the folder, the database (empty when `create` is false) and the ODBC configuration.
    explicit TestDatabase(bool create = true);

    const std::filesystem::path& Folder() const { return scratch_.Folder(); }
    const std::filesystem::path& DatabaseFile() const { return scratch_.DatabaseFile(); }

    // Sets the transaction up as the program does (DBMS "ODBC", AutoCommit off,
    // "Connectstring='DSN=laurel'") and connects; fails the test when that fails.
    void Connect(rt::Transaction& t) const;

    // From now on "laurel" names a database that cannot be reached.
    void MakeUnreachable() { scratch_.MakeUnreachable(); }

    // Registers another data source name in this test's configuration.
    void AddDataSource(const std::string& dsn, const std::filesystem::path& file) const {
        scratch_.AddDataSource(dsn, file);
    }

  private:
    ScratchDatabase scratch_;
};

// Another program's connection to the test database `db` that holds a lock until Release or its
// end, taken the way each back end allows: the whole file on SQLite, the table on PostgreSQL. Every
// wait for it ends after the data source's busy timeout.
class LockHolder {
  public:
    explicit LockHolder(const TestDatabase& db);
    ~LockHolder() { Release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    // Keeps others from writing to `table`; they may still read it. Returns the SQLCode.
    long HoldWrites(const std::string& table);
    // Keeps others from reading and writing `table`. Fails (-1) while another connection reads
    // it in a transaction that has not ended.
    long HoldEverything(const std::string& table);
    void Release();

  private:
    rt::Transaction t_;
};

// The back end's own words for a failure, for tests that check that its diagnostic reaches the caller.
std::string NoSuchTable(const std::string& table);
std::string NoSuchColumn(const std::string& column);
const char* Locked();
const char* NotUnique();

}  // namespace testing_support

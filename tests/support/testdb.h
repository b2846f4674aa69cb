#pragma once
// A private database for one test: a fresh laurel database in a temporary folder, and an ODBC
// configuration of its own (ODBCSYSINI/ODBCINI) whose data source "laurel" points at it, so that
// no test ever touches the user's data sources.

#include <cstddef>
#include <filesystem>
#include <string>

#include "runtime/database/transaction.h"
#include "tests/support/scratch_database.h"

namespace testing_support {

class TestDatabase {
  public:
    // Creates the folder, the database (empty when `create` is false) and the ODBC configuration.
    explicit TestDatabase(bool create = true);

    const std::filesystem::path& Folder() const { return scratch_.Folder(); }
    const std::filesystem::path& DatabaseFile() const { return scratch_.DatabaseFile(); }
    const std::string& ServerDatabase() const { return scratch_.ServerDatabase(); }

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
    long Lock(const std::string& sql);
    rt::Transaction t_;
};

// While it lives, `file` cannot be written by this process: mode 0444, and for the super-user,
// whom modes do not bind, the file system's immutable attribute. Made() says whether that worked.
class UnwritableFile {
  public:
    explicit UnwritableFile(std::filesystem::path file);
    ~UnwritableFile();
    UnwritableFile(const UnwritableFile&) = delete;
    UnwritableFile& operator=(const UnwritableFile&) = delete;
    bool Made() const { return made_; }

  private:
    std::filesystem::path file_;
    bool immutable_ = false;
    bool made_ = false;
};

// Takes the connection of `t` away behind its back, after ending its transaction: on PostgreSQL
// another connection ends its server session. False on SQLite, whose connection is never lost so
// (one that cannot write its file is made again once it can, unseen). `keepTransaction` leaves
// what `t` holds as it is, so that its next call, its COMMIT say, is the one that finds the
// session gone.
bool CutOff(const TestDatabase& db, rt::Transaction& t, bool keepTransaction = false);

// PostgreSQL: whether the test database takes new connections, as a server that is up or down.
void TakeConnections(const TestDatabase& db, bool take);

// `insert` ("INSERT INTO t (a, b)") with every row of `rows`, many rows to a statement: a test that
// needs thousands of rows would otherwise pay a round trip for each, three on PostgreSQL. Returns
// the SQLCode of the first statement that failed, else 0.
long InsertRows(rt::Transaction& t, const std::string& insert,
                const std::vector<std::vector<rt::Value>>& rows);

// The back end's own words for a failure, for tests that check that its diagnostic reaches the caller.
std::string NoSuchTable(const std::string& table);
std::string NoSuchColumn(const std::string& column);
const char* Locked();
const char* NotUnique();

}  // namespace testing_support

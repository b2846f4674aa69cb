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

}  // namespace testing_support

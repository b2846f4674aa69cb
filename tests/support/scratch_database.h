#pragma once
// A database for one test or benchmark, with an ODBC configuration of its own whose data source
// "laurel" points at it: the user's data sources are never read or touched. On Linux that is
// ODBCINI, and ODBCSYSINI for the process; on Windows the registry of the process's own that the
// tests' driver manager (driver_manager_windows.cpp) gives it, where the data source names the
// shipped SQLite driver beside the program as the program's first start does.
//
// The back end comes from the environment, so that every test is written once:
//   LAUREL_TEST_DATABASE  "sqlite" (the default): a file in a temporary folder;
//   LAUREL_TEST_DATABASE  "postgresql": a new database on the server whose Unix socket lies in the
//                         folder LAUREL_TEST_PGHOST (port LAUREL_TEST_PGPORT, else the number that
//                         tools/test-postgresql wrote to the file "port" there, else 5432), as user
//                         LAUREL_TEST_PGUSER ("laurel" by default), reached through the PostgreSQL
//                         Unicode ODBC driver.
// The folder, and the server's database, go when the object does.

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/config/data_source.h"
#include "runtime/database/transaction.h"

namespace testing_support {

// Connects `t` to the data source `dsn` of the configuration in use, as the program connects
// (DBMS "ODBC"), in the commit mode given; false with `error` when that fails.
bool ConnectToSource(rt::Transaction& t, bool autoCommit, std::string& error,
                     const std::string& dsn = "laurel");

class ScratchDatabase {
  public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    // True when the environment asks for PostgreSQL.
    static bool OnPostgreSQL();
    // The server's socket folder ("" when none is given), port and user.
    static std::string ServerHost();
    static std::string ServerPort();
    static std::string ServerUser();

    // Creates the database with the schema and code tables; false with `error` on failure. On
    // PostgreSQL the tables are made through ODBC from the shipped schema text, once per server in
    // a template that every database is copied from.
    bool Create(std::string& error);
    // Makes an empty database: on SQLite the driver makes the file when it first connects.
    bool CreateEmpty(std::string& error);

    const std::filesystem::path& Folder() const { return dir_; }
    // Linux: the data sources of every user of the configuration, empty when the object is made;
    // shared by the scratch databases of one process, one after the other.
    static std::filesystem::path SystemIni();
    // The SQLite file; on PostgreSQL there is none.
    const std::filesystem::path& DatabaseFile() const { return db_; }
    // PostgreSQL: the database's name on the server.
    const std::string& ServerDatabase() const { return serverName_; }

    // From now on "laurel" names a database that cannot be reached: on PostgreSQL the database is
    // dropped; on SQLite the data source names a file in a missing folder.
    void MakeUnreachable();

    // Registers another data source name for a SQLite file in this configuration.
    void AddDataSource(const std::string& dsn, const std::filesystem::path& file) const;

    // Writes the data source `dsn` of `entries` (the driver first) for the user, in place of any of
    // that name, or for every user of the configuration; those of every user go with the object.
    void WriteDataSource(rt::DataSourceScope scope, const std::string& dsn,
                         const rt::DataSourceEntries& entries);
    // The driver as a SQLite file's data source of this configuration names it.
    static std::string SqliteDriver();

  private:
    // Each system's own (scratch_database_posix.cpp, scratch_database_windows.cpp): the
    // configuration's data sources become this object's, none yet; a data source of the user's is
    // written, in place of any of that name, or of every user's; those of every user's go; the
    // driver and file of a SQLite file's data source; "laurel" names a file in a missing folder,
    // which the driver may not make.
    void ClearDataSources();
    void WriteDataSource(const std::string& dsn, const rt::DataSourceEntries& entries) const;
    void WriteSystemDataSource(const std::string& dsn, const rt::DataSourceEntries& entries);
    void DropSystemDataSources();
    static rt::DataSourceEntries SqliteDataSource(const std::filesystem::path& file);
    void MakeFileUnreachable();

    bool CreateOnServer(std::string& error);
    bool CreateEmptyOnServer(std::string& error);
    bool ConnectToServer(std::string& error);
    bool MakeOnServer(const std::string& from, std::string& error);
    void DropOnServer();

    std::filesystem::path dir_;
    std::filesystem::path db_;
    std::filesystem::path userIni_;         // Linux: where the user's data sources are written
    std::vector<std::string> systemNames_;  // the data sources of every user written here
    std::string serverName_;                // PostgreSQL: the database's name
    std::string templateName_;              // PostgreSQL: the database it is copied from
    rt::Transaction server_;     // PostgreSQL: to the server's own database, which makes and drops it
    bool madeOnServer_ = false;  // PostgreSQL: the database is made, and goes with this object
    static inline int live_ = 0;
};

}  // namespace testing_support

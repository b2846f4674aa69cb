#include "tests/support/scratch_database.h"

#include <cstdlib>
#include <fstream>
#include <random>

#include "schema/initdb.h"

namespace testing_support {

namespace fs = std::filesystem;

ScratchDatabase::ScratchDatabase() {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("laurel-test-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir_);
    db_ = dir_ / "laurel.db";
    {
        std::ofstream inst(dir_ / "odbcinst.ini");
        inst << "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" << LAUREL_SQLITE_ODBC_DRIVER << "\n";
    }
    { std::ofstream sys(dir_ / "odbc.ini"); }
    AddDataSource("laurel", db_);
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINSTINI", "odbcinst.ini", 1);
    setenv("ODBCINI", (dir_ / "user-odbc.ini").c_str(), 1);
}

ScratchDatabase::~ScratchDatabase() {
    std::error_code ec;
    // A test may have made the folder or the file read-only.
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(db_, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
}

bool ScratchDatabase::Create(std::string& error) const {
    return schema::CreateDatabase(db_.string(), error);
}

void ScratchDatabase::AddDataSource(const std::string& dsn, const fs::path& file) const {
    std::ofstream user(dir_ / "user-odbc.ini", std::ios::app);
    user << "[" << dsn << "]\nDriver=SQLite3\nDatabase=" << file.string() << "\nTimeout=200\n";
}

}  // namespace testing_support

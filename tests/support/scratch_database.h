#pragma once
// A database in a temporary folder with an ODBC configuration of its own (ODBCSYSINI/ODBCINI),
// whose data source "laurel" points at it. For tests and benchmarks: the user's data sources are
// never read or touched. The folder goes when the object does.

#include <filesystem>
#include <string>

namespace testing_support {

class ScratchDatabase {
  public:
    ScratchDatabase();
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    // Creates the database file with the schema and code tables; false with `error` on failure.
    bool Create(std::string& error) const;

    const std::filesystem::path& Folder() const { return dir_; }
    const std::filesystem::path& DatabaseFile() const { return db_; }

    // Registers another data source name in this configuration.
    void AddDataSource(const std::string& dsn, const std::filesystem::path& file) const;

  private:
    std::filesystem::path dir_;
    std::filesystem::path db_;
};

}  // namespace testing_support

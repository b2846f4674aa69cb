// The scratch database's ODBC configuration on Linux: files that unixODBC reads, named in the
// process's environment.

#include <fstream>
#include <random>

#include "runtime/platform/os.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"
#include "tests/support/scratch_database.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// The drivers, and the data sources of every user (odbc.ini), in a folder of the process's own:
// the driver manager reads ODBCSYSINI and ODBCINSTINI when the process first asks for them and
// keeps what they said from then on, so a folder of each scratch database's own would serve only
// the first, and once it had gone no driver could be found. Made on first use, gone with the
// process.
class ProcessOdbcFolder {
  public:
    ProcessOdbcFolder() {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("laurel-odbc-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(path_);
        std::ofstream inst(path_ / "odbcinst.ini");
        inst << "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" << LAUREL_SQLITE_ODBC_DRIVER << "\n";
        inst << "[PostgreSQL Unicode]\nDescription=PostgreSQL ODBC driver (Unicode version)\nDriver="
             << LAUREL_POSTGRESQL_ODBC_DRIVER << "\n";
        rt::os::SetEnvironment("ODBCSYSINI", rt::PathText(path_).c_str());
        rt::os::SetEnvironment("ODBCINSTINI", "odbcinst.ini");
    }
    ~ProcessOdbcFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    ProcessOdbcFolder(const ProcessOdbcFolder&) = delete;
    ProcessOdbcFolder& operator=(const ProcessOdbcFolder&) = delete;
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

std::string Section(const std::string& dsn, const rt::DataSourceEntries& entries) {
    std::string text = "[" + dsn + "]\n";
    for (const auto& [key, value] : entries) text += key + "=" + value + "\n";
    return text;
}

}  // namespace

fs::path ScratchDatabase::SystemIni() {
    static const ProcessOdbcFolder folder;
    return folder.Path() / "odbc.ini";
}

void ScratchDatabase::ClearDataSources() {
    userIni_ = dir_ / "user-odbc.ini";
    std::ofstream(userIni_, std::ios::trunc).flush();
    std::ofstream(SystemIni(), std::ios::trunc).flush();
    rt::os::SetEnvironment("ODBCINI", rt::PathText(userIni_).c_str());
}

// unixODBC reads the first section of a name: one written before goes.
void ScratchDatabase::WriteDataSource(const std::string& dsn, const rt::DataSourceEntries& entries) const {
    std::ifstream in(userIni_);
    std::string kept, line;
    bool skipping = false;
    while (std::getline(in, line)) {
        if (line.starts_with("[")) skipping = rt::LowerAscii(line) == rt::LowerAscii("[" + dsn + "]");
        if (!skipping) kept += line + "\n";
    }
    in.close();
    std::ofstream(userIni_, std::ios::trunc) << kept << Section(dsn, entries);
}

void ScratchDatabase::WriteSystemDataSource(const std::string& dsn, const rt::DataSourceEntries& entries) {
    std::ofstream(SystemIni(), std::ios::app) << Section(dsn, entries);
}

// The next scratch database of the process empties the file.
void ScratchDatabase::DropSystemDataSources() {}

rt::DataSourceEntries ScratchDatabase::SqliteDataSource(const fs::path& file) {
    return {{"Driver", "SQLite3"}, {"Database", rt::PathText(file)}};
}

// A name missing from the configuration is not enough within one process: the driver manager
// remembers the driver of a name it has connected before, and the driver then opens an empty
// database in memory. NoCreat keeps the driver from making the file.
void ScratchDatabase::MakeFileUnreachable() {
    rt::DataSourceEntries entries = SqliteDataSource(dir_ / "missing" / "laurel.db");
    entries.emplace_back("NoCreat", "1");
    const fs::path unreachable = dir_ / "unreachable-odbc.ini";
    std::ofstream(unreachable) << Section("laurel", entries);
    rt::os::SetEnvironment("ODBCINI", rt::PathText(unreachable).c_str());
    rt::ForgetDataSourcesRead();
}

}  // namespace testing_support

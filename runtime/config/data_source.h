#pragma once
// The ODBC data sources of this desktop as the driver manager finds them: the user's own first,
// then the system's. Read and described for the user, written for the user alone, and tried
// before anything is written. Everything that depends on the platform (where the user's data
// sources are kept, who may read them, the drivers' names and their words) stays in here.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rt {

enum class DataSourceScope { None, User, System };

// One key of a data source and its value, in the order they are written.
using DataSourceEntry = std::pair<std::string, std::string>;
using DataSourceEntries = std::vector<DataSourceEntry>;

// The value of `key` (compared without regard to case); "" when there is none.
std::string EntryValue(const DataSourceEntries& entries, std::string_view key);

// Whether `entries` can be written as a data source as they are: the driver first, and no key or
// value that the file or registry would read back otherwise. When not, `error` says why.
bool WritableEntries(const DataSourceEntries& entries, std::string& error);

// The data source `name` at one scope: its entries, none when it has no such data source.
DataSourceEntries ReadDataSource(const std::string& name, DataSourceScope scope);
// Makes the drivers of this process read the data sources again the next time they look, where the
// platform keeps what it once read of them.
void ForgetDataSourcesRead();

// Where the driver manager finds `name` when a program connects to it: the user's own when there
// is one, else the system's; None when neither has it.
DataSourceScope FindDataSource(const std::string& name);

// A data source as the user is to see it. The password is never part of it.
struct DataSourceDescription {
    enum class Kind { None, File, Server, Other };
    std::string name;
    DataSourceScope scope = DataSourceScope::None;
    Kind kind = Kind::None;
    std::string driver;  // as the data source names it
    std::string file;    // File: the database file
    std::string server, port, database, user;
    bool defaultPort = false;  // Server: no port given, or the product's usual one
    bool tls = false;          // Server: the connection is encrypted and the server's certificate checked
    std::string authority;     // the certificate authority's file that checks it
};
// The data source the driver manager finds for `name`, or the one at `scope`.
DataSourceDescription DescribeDataSource(const std::string& name);
DataSourceDescription DescribeDataSource(const std::string& name, DataSourceScope scope);

// How many sections named `name` the user's own data sources hold; the driver manager reads only
// the first of them.
int UserDataSourceSections(const std::string& name);
// Where the user's own data sources are kept, as the user knows the place.
std::string UserDataSourcePlace();

// Whether other users of this desktop can read the user's own data sources where they are kept (a
// file that others may read, or that a link leads to): a password written there is theirs to read
// too. Writing leaves who may read them as it is.
bool UserDataSourceOpenToOthers();

// Replaces every data source `name` of the user's own by exactly one that holds `entries` (the
// driver first), in one step: whatever becomes of the program meanwhile, the user's data sources
// are as they were or as asked, never in between. Who may read them stays as it was; a place made
// for them is the user's alone. On failure nothing changed and `error` says why, in Chinese.
bool WriteUserDataSource(const std::string& name, const DataSourceEntries& entries, std::string& error);
// Removes every data source `name` of the user's own, so that the system's serves; in one step as
// above.
bool RemoveUserDataSource(const std::string& name, std::string& error);

// A database on a PostgreSQL server, as the user gives it.
struct ServerSettings {
    std::string host;
    std::string port;  // "" for the usual one
    std::string database;
    std::string user;
    std::string password;   // "" leaves it to the driver's own password file
    bool tls = false;       // encrypted, and only to the server whose certificate `authority` signed
    std::string authority;  // the certificate authority's file
};
// The entries of a data source for such a database, through PostgreSQLDriver(): what the server
// needs, and the desktop's bounds on waiting for a connection that went dead. No password when
// none is given.
DataSourceEntries ServerDataSource(const ServerSettings& settings);
// The entries of a data source for a database file of this desktop.
DataSourceEntries FileDataSource(const std::string& file);
// The SQLite ODBC driver as a data source of this desktop names it.
std::string SqliteDriver();
// The ODBC drivers registered on this desktop, by the names a data source gives them.
std::vector<std::string> InstalledDrivers();
// The registered PostgreSQL driver that a server's data source names, the one that takes the
// program's text best: "" when none is installed.
std::string PostgreSQLDriver();
// Where the user gets the PostgreSQL driver on this system, as the user's guide says it, in Chinese.
std::string PostgreSQLDriverSource();
// The user's own database file, where the first start makes it.
std::string OwnDatabaseFile();
// A connect string that reaches what `entries` describe without naming a data source.
std::string ConnectStringFor(const DataSourceEntries& entries);

// While it lives, a connect string that reaches what `entries` describe, the user's data sources
// as they are. Where the driver manager takes a driver only by its registered name (Windows), a
// driver named by its file is reached through a data source of this object's own, which goes with
// it; a connection made meanwhile stays.
class ConnectTarget {
  public:
    explicit ConnectTarget(const DataSourceEntries& entries);
    ~ConnectTarget();
    ConnectTarget(const ConnectTarget&) = delete;
    ConnectTarget& operator=(const ConnectTarget&) = delete;
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
    std::string name_;  // the data source of its own, where one was written
};

// What kept a connection from being made, read from the driver's diagnostic in the words of any
// language the driver speaks here.
enum class ConnectProblem {
    Refused,             // nothing takes connections at that address and port, or the name is unknown
    NoAnswer,            // the server, or the way to it, did not answer in time
    WrongLogin,          // the password, or the user, is not accepted
    NoSuchDatabase,      // the server has no database of that name
    CertificateRefused,  // the certificate is not signed by the authority, is for another name, or is missing
    NoTls,               // the server offers no encrypted connection
    NotAllowed,          // the server takes no connection from this desktop or user
    NoDriver,            // the driver is not installed
    Other,
};
ConnectProblem ClassifyConnectFailure(std::string_view diagnostic);

}  // namespace rt

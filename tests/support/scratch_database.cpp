#include "tests/support/scratch_database.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string_view>
#include <thread>
#include <vector>

#include "runtime/config/data_source.h"
#include "runtime/database/transaction.h"
#include "runtime/platform/path.h"
#include "runtime/text/value.h"
#include "schema/initdb.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// How long a statement waits for a lock that another connection holds, on either back end.
constexpr int kBusyTimeoutMs = 200;

std::string Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : fallback;
}

// The server's data source for `database`, as the program's dialog writes one: a failed statement
// rolls the whole transaction back, so that a connection is made once, not twice. A lock held by
// another connection makes a statement fail after the same short wait as the SQLite data source's
// busy timeout, instead of waiting until the other ends.
rt::DataSourceEntries ServerDataSource(const std::string& database) {
    return {{"Driver", "PostgreSQL Unicode"},
            {"Servername", ScratchDatabase::ServerHost()},
            {"Port", ScratchDatabase::ServerPort()},
            {"Database", database},
            {"Username", ScratchDatabase::ServerUser()},
            {"Protocol", "7.4-1"},
            {"ConnSettings", "SET lock_timeout = '" + std::to_string(kBusyTimeoutMs) + "ms'"}};
}

// The tables and code rows every scratch database starts with are made once per server, in a
// template that each database is then copied from: making them afresh, row by row, took most of
// a test's time. The name follows what goes into it, so a server that outlives a change of schema
// or code rows makes a new template instead of handing out the old one.
std::string TemplateName(const std::vector<schema::CodeTable>& codes) {
    std::string content = schema::SchemaSql();
    for (const schema::CodeTable& table : codes) {
        content += '\0' + table.table;
        for (const auto& row : table.rows)
            for (const std::string& value : row) content += '\0' + value;
    }
    return "laurel_template_" + std::to_string(std::hash<std::string>{}(content));
}

// Fills the database that the data source names with the shipped schema and code rows, as
// tallowmere-initdb --dsn prepares a unit's server database.
bool FillThroughOdbc(const std::string& dsn, std::string& error) {
    rt::Transaction t;
    if (!ConnectToSource(t, false, error, dsn)) return false;
    if (!schema::PrepareDatabase(t, error)) return false;
    t.Disconnect();
    return true;
}

bool TemplateReady(rt::Transaction& server, const std::string& name) {
    std::vector<rt::Value> ready;
    return server.SelectInto("SELECT datname FROM pg_database WHERE datname = ? AND datistemplate",
                             {rt::Value(name)}, ready) == 0;
}

// Makes the template afresh, a database of that name left half made included.
bool BuildTemplate(rt::Transaction& server, const std::string& name, const std::string& dsn,
                   std::string& error) {
    server.Execute("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
    if (server.Execute("CREATE DATABASE " + name + " TEMPLATE template0 ENCODING 'UTF8'") != 0) {
        error = "creating the template: " + server.SQLErrText;
        return false;
    }
    if (!FillThroughOdbc(dsn, error)) return false;
    if (server.Execute("ALTER DATABASE " + name + " WITH ALLOW_CONNECTIONS false IS_TEMPLATE true") != 0) {
        error = "marking the template: " + server.SQLErrText;
        return false;
    }
    return true;
}

// Makes the template unless it is there. Test processes run side by side and each may be the first
// to need it, so the making is done under a lock that the server holds for this session, and the
// template counts as made only once it is marked as one, which is its last step: a process killed
// half way leaves a database that the next one drops and makes again. Nobody may connect to it
// once it is made, since a database cannot be copied while anyone is connected to it.
bool MakeTemplate(rt::Transaction& server, const std::string& name, const std::string& dsn,
                  std::string& error) {
    if (TemplateReady(server, name)) return true;
    // Whoever makes it takes a second or two, far beyond the data source's lock timeout.
    std::vector<rt::Value> locked;
    if (server.Execute("SET lock_timeout = 0") != 0 ||
        server.SelectInto("SELECT pg_advisory_lock(hashtext('laurel test template'))", {}, locked) != 0) {
        error = "waiting for the template: " + server.SQLErrText;
        return false;
    }
    const bool made = TemplateReady(server, name) || BuildTemplate(server, name, dsn, error);
    server.SelectInto("SELECT pg_advisory_unlock(hashtext('laurel test template'))", {}, locked);
    server.Execute("SET lock_timeout = '" + std::to_string(kBusyTimeoutMs) + "ms'");
    return made;
}

// A process-wide name, the same for every call.
const std::string& ProcessTag() {
    static const std::string tag = [] {
        std::random_device rd;
        return std::to_string(rd() % 1000000000);
    }();
    return tag;
}

}  // namespace

bool ConnectToSource(rt::Transaction& t, bool autoCommit, std::string& error, const std::string& dsn) {
    t.DBMS = "ODBC";
    t.AutoCommit = autoCommit;
    t.DBParm = "Connectstring='DSN=" + dsn + "'";
    if (t.Connect() == 0) return true;
    error = "connecting to " + dsn + ": " + t.SQLErrText;
    return false;
}

std::string ScratchDatabase::ServerHost() {
    return Env("LAUREL_TEST_PGHOST", "");
}

std::string ScratchDatabase::ServerPort() {
    if (std::string port = Env("LAUREL_TEST_PGPORT", ""); !port.empty()) return port;
    // As the cluster of tools/test-postgresql wrote it beside its socket.
    std::ifstream written(fs::path(ServerHost()) / "port");
    std::string port;
    if (written >> port) return port;
    return "5432";
}

std::string ScratchDatabase::ServerUser() {
    return Env("LAUREL_TEST_PGUSER", "laurel");
}

bool ScratchDatabase::OnPostgreSQL() {
    return Env("LAUREL_TEST_DATABASE", "sqlite") == "postgresql";
}

ScratchDatabase::ScratchDatabase() {
    std::random_device rd;
    const std::string tag = std::to_string(rd()) + std::to_string(rd());
    dir_ = fs::temp_directory_path() / ("laurel-test-" + tag);
    fs::create_directories(dir_);
    db_ = dir_ / "laurel.db";
    // The configuration's data sources are this object's from now on: those of the user, and none
    // of every user's.
    ClearDataSources();
    if (OnPostgreSQL()) {
        // The PostgreSQL driver keeps the settings of a data source for the life of the process, so
        // the name depends only on the process, and only one scratch database may live at a time.
        serverName_ = "laurel_test_" + ProcessTag();
        WriteDataSource("laurel_server", ServerDataSource("postgres"));
        WriteDataSource("laurel", ServerDataSource(serverName_));
        std::vector<schema::CodeTable> codes;
        std::string error;
        if (schema::ShippedCodeTables(codes, error)) templateName_ = TemplateName(codes);
        WriteDataSource("laurel_template", ServerDataSource(templateName_));
    } else {
        AddDataSource("laurel", db_);
    }
    rt::ForgetDataSourcesRead();
    ++live_;
}

ScratchDatabase::~ScratchDatabase() {
    DropOnServer();
    DropSystemDataSources();
    --live_;
    std::error_code ec;
    // A test may have made the folder or the file read-only.
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(db_, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
}

bool ScratchDatabase::Create(std::string& error) {
    if (OnPostgreSQL()) return CreateOnServer(error);
    return schema::CreateDatabase(rt::PathText(db_), error);
}

bool ScratchDatabase::CreateEmpty(std::string& error) {
    return !OnPostgreSQL() || CreateEmptyOnServer(error);
}

bool ScratchDatabase::CreateEmptyOnServer(std::string& error) {
    return ConnectToServer(error) && MakeOnServer("template0 ENCODING 'UTF8' STRATEGY FILE_COPY", error);
}

bool ScratchDatabase::CreateOnServer(std::string& error) {
    if (!ConnectToServer(error)) return false;
    if (!MakeTemplate(server_, templateName_, "laurel_template", error)) return false;
    // A file copy of a few megabytes, where the default strategy would write them through the log.
    return MakeOnServer(templateName_ + " STRATEGY FILE_COPY", error);
}

// The connection to the server's own database stays until the scratch database has gone: a
// second one, to drop it, took as long as the rest of a short test.
bool ScratchDatabase::ConnectToServer(std::string& error) {
    if (Env("LAUREL_TEST_PGHOST", "").empty()) {
        error = "LAUREL_TEST_DATABASE=postgresql needs LAUREL_TEST_PGHOST, the server's socket folder";
        return false;
    }
    if (live_ > 1) {
        error =
            "on PostgreSQL only one scratch database may live at a time in a process: the driver "
            "keeps the first one's data source settings";
        return false;
    }
    return server_.Connected() || ConnectToSource(server_, true, error, "laurel_server");
}

// `from` is what follows TEMPLATE in CREATE DATABASE.
bool ScratchDatabase::MakeOnServer(const std::string& from, std::string& error) {
    // A database of that name left by an earlier run whose process was killed goes first.
    server_.Execute("DROP DATABASE IF EXISTS " + serverName_ + " WITH (FORCE)");
    if (server_.Execute("CREATE DATABASE " + serverName_ + " TEMPLATE " + from) != 0) {
        error = "creating the database: " + server_.SQLErrText;
        return false;
    }
    madeOnServer_ = true;
    return true;
}

void ScratchDatabase::DropOnServer() {
    if (!madeOnServer_) return;
    std::string error;
    if (!ConnectToServer(error)) return;
    // A session whose client has just disconnected takes a moment to end, and the server looks
    // again for sessions in a database it drops only every tenth of a second: a test that had just
    // let its connections go waited that long about one time in six. The sessions are given up to
    // two seconds to end, looked for every millisecond; FORCE then ends what a test left behind.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::vector<rt::Value> sessions;
    while (server_.SelectInto("SELECT count(*) FROM pg_stat_activity WHERE datname = ?",
                              {rt::Value(serverName_)}, sessions) == 0 &&
           sessions.size() == 1 && sessions[0].AsLong().value_or(0) > 0 &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // A connection that went meanwhile is made again by the call that finds it gone.
    const std::string drop = "DROP DATABASE IF EXISTS " + serverName_ + " WITH (FORCE)";
    if (server_.Execute(drop) != 0) server_.Execute(drop);
    madeOnServer_ = false;
}

void ScratchDatabase::WriteDataSource(rt::DataSourceScope scope, const std::string& dsn,
                                      const rt::DataSourceEntries& entries) {
    if (scope == rt::DataSourceScope::System) {
        WriteSystemDataSource(dsn, entries);
        systemNames_.push_back(dsn);
    } else {
        WriteDataSource(dsn, entries);
    }
    rt::ForgetDataSourcesRead();
}

std::string ScratchDatabase::SqliteDriver() {
    return rt::EntryValue(SqliteDataSource({}), "Driver");
}

void ScratchDatabase::MakeUnreachable() {
    if (OnPostgreSQL()) {
        DropOnServer();
        return;
    }
    MakeFileUnreachable();
}

// A scratch file needs no durability, as the scratch server runs without it: a COMMIT that waits
// for the disk, on a disk that other work keeps busy, took half of some tests' time.
void ScratchDatabase::AddDataSource(const std::string& dsn, const fs::path& file) const {
    rt::DataSourceEntries entries = SqliteDataSource(file);
    entries.emplace_back("Timeout", std::to_string(kBusyTimeoutMs));
    entries.emplace_back("SyncPragma", "OFF");
    WriteDataSource(dsn, entries);
    rt::ForgetDataSourcesRead();
}

}  // namespace testing_support

#include "tests/support/testdb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace testing_support {

TestDatabase::TestDatabase(bool create) {
    std::string error;
    if (!(create ? scratch_.Create(error) : scratch_.CreateEmpty(error)))
        ADD_FAILURE() << "creating the test database: " << error;
}

void TestDatabase::Connect(rt::Transaction& t) const {
    std::string error;
    ASSERT_TRUE(ConnectToSource(t, false, error)) << error;
    ASSERT_EQ(t.SQLCode, 0) << t.SQLErrText;
}

// SQLite takes its locks at an explicit BEGIN, which needs a connection in autocommit mode;
// PostgreSQL's LOCK TABLE lasts until the end of the transaction that the manual mode keeps open.
LockHolder::LockHolder(const TestDatabase&) {
    std::string error;
    EXPECT_TRUE(ConnectToSource(t_, !ScratchDatabase::OnPostgreSQL(), error)) << error;
}

long LockHolder::HoldWrites(const std::string& table) {
    if (ScratchDatabase::OnPostgreSQL()) return Lock("LOCK TABLE " + table + " IN EXCLUSIVE MODE");
    return t_.Execute("BEGIN IMMEDIATE");
}

long LockHolder::HoldEverything(const std::string& table) {
    if (ScratchDatabase::OnPostgreSQL()) return Lock("LOCK TABLE " + table + " IN ACCESS EXCLUSIVE MODE");
    return t_.Execute("BEGIN EXCLUSIVE");
}

// A lock refused there ends the holder's transaction: it is ended, so that the next try starts anew.
long LockHolder::Lock(const std::string& sql) {
    const long code = t_.Execute(sql);
    if (code != 0) t_.Rollback();
    return code;
}

void LockHolder::Release() {
    if (!t_.Connected()) return;
    if (ScratchDatabase::OnPostgreSQL())
        t_.Rollback();
    else
        t_.Execute("ROLLBACK");
}

bool CutOff(const TestDatabase&, rt::Transaction& t, bool keepTransaction) {
    if (!ScratchDatabase::OnPostgreSQL()) return false;
    if (!keepTransaction) t.Rollback();
    std::vector<rt::Value> pid;
    EXPECT_EQ(t.SelectInto("select pg_backend_pid()", {}, pid), 0) << t.SQLErrText;
    if (!keepTransaction) t.Rollback();
    // From the server's own database, which takes connections whatever the test database does.
    rt::Transaction other;
    std::string error;
    if (pid.empty() || !ConnectToSource(other, true, error, "laurel_server")) {
        ADD_FAILURE() << error;
        return false;
    }
    // Waits until the session has ended.
    std::vector<rt::Value> ended;
    EXPECT_EQ(other.SelectInto("select pg_terminate_backend(cast(? as integer), 10000)", {pid[0]}, ended), 0)
        << other.SQLErrText;
    EXPECT_EQ(ended, std::vector<rt::Value>{rt::Value("1")});
    return true;
}

void TakeConnections(const TestDatabase& db, bool take) {
    rt::Transaction server;
    std::string error;
    ASSERT_TRUE(ConnectToSource(server, true, error, "laurel_server")) << error;
    ASSERT_EQ(server.Execute("ALTER DATABASE " + db.ServerDatabase() + " ALLOW_CONNECTIONS " +
                             (take ? "true" : "false")),
              0)
        << server.SQLErrText;
}

long InsertRows(rt::Transaction& t, const std::string& insert,
                const std::vector<std::vector<rt::Value>>& rows) {
    // Well below the 999 parameters that older SQLite takes in one statement.
    constexpr std::size_t kParameters = 900;
    std::size_t at = 0;
    while (at < rows.size()) {
        const std::size_t width = std::max<std::size_t>(rows[at].size(), 1);
        const std::size_t count = std::min(rows.size() - at, std::max<std::size_t>(kParameters / width, 1));
        std::string group = "(";
        for (std::size_t c = 0; c < width; ++c) group += c ? ", ?" : "?";
        group += ")";
        std::string sql = insert + " VALUES ";
        std::vector<rt::Value> args;
        for (std::size_t r = at; r < at + count; ++r) {
            sql += (r > at ? ", " : "") + group;
            args.insert(args.end(), rows[r].begin(), rows[r].end());
        }
        if (const long rc = t.Execute(sql, args); rc != 0) return rc;
        at += count;
    }
    return 0;
}

std::string NoSuchTable(const std::string& table) {
    return ScratchDatabase::OnPostgreSQL() ? "relation \"" + table + "\" does not exist"
                                           : "no such table: " + table;
}

std::string NoSuchColumn(const std::string& column) {
    return ScratchDatabase::OnPostgreSQL() ? "column \"" + column + "\"" : "no such column: " + column;
}

const char* Locked() {
    return ScratchDatabase::OnPostgreSQL() ? "lock timeout" : "database is locked";
}

const char* NotUnique() {
    return ScratchDatabase::OnPostgreSQL() ? "violates unique constraint" : "UNIQUE constraint failed";
}

}  // namespace testing_support

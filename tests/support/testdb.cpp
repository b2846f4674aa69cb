#include "tests/support/testdb.h"

#include <gtest/gtest.h>

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
    if (ScratchDatabase::OnPostgreSQL()) return t_.Execute("LOCK TABLE " + table + " IN EXCLUSIVE MODE");
    return t_.Execute("BEGIN IMMEDIATE");
}

long LockHolder::HoldEverything(const std::string& table) {
    if (ScratchDatabase::OnPostgreSQL())
        return t_.Execute("LOCK TABLE " + table + " IN ACCESS EXCLUSIVE MODE");
    return t_.Execute("BEGIN EXCLUSIVE");
}

void LockHolder::Release() {
    if (!t_.Connected()) return;
    if (ScratchDatabase::OnPostgreSQL())
        t_.Rollback();
    else
        t_.Execute("ROLLBACK");
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

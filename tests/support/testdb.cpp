#include "tests/support/testdb.h"

#include <gtest/gtest.h>

namespace testing_support {

TestDatabase::TestDatabase(bool create) {
    std::string error;
    if (!(create ? scratch_.Create(error) : scratch_.CreateEmpty(error)))
        ADD_FAILURE() << "creating the test database: " << error;
}

void TestDatabase::Connect(rt::Transaction& t) const {
    t.DBMS = "ODBC";
    t.AutoCommit = false;
    t.DBParm = "Connectstring='DSN=laurel'";
    ASSERT_EQ(t.Connect(), 0) << t.SQLErrText;
    ASSERT_EQ(t.SQLCode, 0) << t.SQLErrText;
}

}  // namespace testing_support

#pragma once
// What the transaction's tests share: a database of their own with one table that covers every kind
// of column, so that they do not depend on the application's schema.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/database/transaction.h"
#include "runtime/platform/os.h"
#include "tests/support/platform.h"
#include "tests/support/testdb.h"

namespace transaction_tests {

using rt::Date;
using rt::Decimal;
using rt::Transaction;
using rt::Value;
using rt::ValueType;
using testing_support::Locked;
using testing_support::LockHolder;
using testing_support::NoSuchColumn;
using testing_support::NoSuchTable;
using testing_support::NotUnique;
using testing_support::ScratchDatabase;
using testing_support::TestDatabase;

using Rows = std::vector<std::vector<Value>>;

inline void ConnectTo(Transaction& t, const std::string& dsn) {
    std::string error;
    ASSERT_TRUE(testing_support::ConnectToSource(t, false, error, dsn)) << error;
}

class TransactionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(db_.Connect(t_));
        ASSERT_EQ(t_.Execute("create table scratch (k integer primary key, name varchar(100), yr varchar(4), "
                             "amount decimal(18,2), day date, ratio real, memo varchar(100000))"),
                  0)
            << t_.SQLErrText;
        ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    }

    void Insert(long k, const std::string& name) {
        ASSERT_EQ(t_.Execute("insert into scratch (k, name) values (?, ?)", {k, name}), 0) << t_.SQLErrText;
    }

    // The one value of a singleton SELECT, through a transaction of its own, which sees only what
    // has been committed.
    Value Committed(const std::string& sql, const std::vector<Value>& args = {}) {
        Transaction other;
        db_.Connect(other);
        std::vector<Value> into{Value("untouched")};
        other.SelectInto(sql, args, into);
        other.Rollback();  // leave no read lock behind
        return into.empty() ? Value() : into[0];
    }

    TestDatabase db_{false};
    Transaction t_;
};

}  // namespace transaction_tests

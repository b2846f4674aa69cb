// The statement: text and arguments in, the typed values of its rows out, and the results each
// embedded statement reports.

#include "tests/runtime/transaction_fixture.h"
#include "tests/support/file_bytes.h"

namespace transaction_tests {
namespace {

// ---------------------------------------------------------------------------------------------
// SELECT ... INTO

TEST_F(TransactionTest, SelectIntoFindsOneRowAndLeavesTheTargetAloneOtherwise) {
    Insert(1, "one");
    Insert(2, "two");
    Insert(3, "two");

    std::vector<Value> into;
    ASSERT_EQ(t_.SelectInto("select k, name from scratch where k = ?", {2}, into), 0) << t_.SQLErrText;
    EXPECT_EQ(into, (std::vector<Value>{Value(2), Value("two")}));
    EXPECT_EQ(t_.SQLNRows, 1);

    const std::vector<Value> before{Value("keep"), Value(99)};
    into = before;
    EXPECT_EQ(t_.SelectInto("select k, name from scratch where k = ?", {42}, into), 100);
    EXPECT_EQ(t_.SQLCode, 100);
    EXPECT_EQ(t_.SQLNRows, 0);
    EXPECT_EQ(into, before);

    EXPECT_EQ(t_.SelectInto("select k, name from scratch where name = ?", {"two"}, into), -1);
    EXPECT_EQ(t_.SQLCode, -1);
    EXPECT_FALSE(t_.SQLErrText.empty());
    EXPECT_EQ(into, before);

    // After a failure the next good statement reports success again, with no stale text.
    ASSERT_EQ(t_.SelectInto("select name from scratch where k = 1", {}, into), 0);
    EXPECT_TRUE(t_.SQLErrText.empty());
    EXPECT_EQ(into, std::vector<Value>{Value("one")});
}

TEST_F(TransactionTest, SelectIntoOnAMissingTableReportsTheDriversDiagnostic) {
    std::vector<Value> into{Value(1)};
    EXPECT_EQ(t_.SelectInto("select a from no_such_table", {}, into), -1);
    EXPECT_NE(t_.SQLErrText.find(NoSuchTable("no_such_table")), std::string::npos) << t_.SQLErrText;
    EXPECT_EQ(t_.SQLErrText.find(": "), 5u) << "SQLSTATE first: " << t_.SQLErrText;
    EXPECT_NE(t_.SQLDBCode, 0);
    EXPECT_EQ(into, std::vector<Value>{Value(1)});
}

TEST_F(TransactionTest, AggregateOverNoRowsIsOneNullRow) {
    std::vector<Value> into{Value(5)};
    ASSERT_EQ(t_.SelectInto("select max(k) from scratch", {}, into), 0);
    EXPECT_TRUE(into.at(0).IsNull());
    Insert(41, "x");
    ASSERT_EQ(t_.SelectInto("select max(k) from scratch", {}, into), 0);
    EXPECT_EQ(into.at(0).AsLong(), 41);
}

// ---------------------------------------------------------------------------------------------
// Values in and out

// Text is stored as the characters it is, whatever encoding the process's environment names: the
// PostgreSQL driver takes the session's from there, or from the locale, as zh_CN.GBK would. A
// driver that never sees the environment the program sets (one built against another C runtime, as
// on Windows) gets UTF-8 from the connect string: here a session made again after its connection
// went, while the environment says GBK, through a data source that names no client encoding.
TEST_F(TransactionTest, ValuesRoundTripExactly) {
    const std::string chinese = "省科学技术奖推荐书：“项目名称”（测试）";
    const char* was = std::getenv("PGCLIENTENCODING");
    struct Restore {
        std::optional<std::string> value;
        ~Restore() {
            if (value)
                rt::os::SetEnvironment("PGCLIENTENCODING", value->c_str());
            else
                rt::os::SetEnvironment("PGCLIENTENCODING", nullptr);
        }
    } restore{was ? std::optional<std::string>(was) : std::nullopt};
    rt::os::SetEnvironment("PGCLIENTENCODING", "GBK");
    ASSERT_EQ(t_.Disconnect(), 0);
    ASSERT_NO_FATAL_FAILURE(db_.Connect(t_));
    if (ScratchDatabase::OnPostgreSQL()) {
        std::vector<Value> pid(1), ended(1), encoding(1);
        ASSERT_EQ(t_.SelectInto("select pg_backend_pid()", {}, pid), 0) << t_.SQLErrText;
        ASSERT_EQ(t_.Rollback(), 0);
        Transaction other;
        db_.Connect(other);
        ASSERT_EQ(other.SelectInto("select pg_terminate_backend(cast(? as integer), 5000)", pid, ended), 0)
            << other.SQLErrText;
        ASSERT_EQ(ended[0].AsString(), "1");
        rt::os::SetEnvironment("PGCLIENTENCODING", "GBK");
        EXPECT_NE(t_.SelectInto("select 1", {}, encoding), 0) << "the connection had gone";
        t_.Rollback();
        ASSERT_EQ(t_.SelectInto("select current_setting('client_encoding')", {}, encoding), 0)
            << t_.SQLErrText;
        EXPECT_EQ(encoding[0], Value("UTF8"));
    }
    ASSERT_EQ(
        t_.Execute("insert into scratch (k, name, yr, amount, day, ratio, memo) values (?, ?, ?, ?, ?, ?, ?)",
                   {1, chinese, 2025, Decimal::FromCents(123450), Date{1, 1, 1}, 0.25, Value::Null()}),
        0)
        << t_.SQLErrText;
    EXPECT_EQ(t_.SQLNRows, 1);

    std::vector<Value> row;
    ASSERT_EQ(
        t_.SelectInto("select k, name, yr, amount, day, ratio, memo from scratch where k = ?", {1}, row), 0)
        << t_.SQLErrText;
    ASSERT_EQ(row.size(), 7u);
    EXPECT_EQ(row[0], Value(1));
    EXPECT_EQ(row[1], Value(chinese));
    EXPECT_EQ(row[2], Value("2025"));  // a whole number in a character column is its digits
    EXPECT_EQ(row[3], Value(Decimal::FromCents(123450)));
    EXPECT_EQ(row[4], Value(Date{1, 1, 1}));
    EXPECT_EQ(row[5], Value(0.25));
    EXPECT_TRUE(row[6].IsNull());
    ASSERT_EQ(t_.Commit(), 0);
    EXPECT_EQ(Committed("select length(name) from scratch where name = ?", {chinese}).AsLong(), 20);
    // The file holds the text's UTF-8, which the other system's build reads from the same file: a
    // driver that took the text in the system's code page (936 on a Chinese Windows) reads back
    // what it stored, yet stores it garbled.
    if (!ScratchDatabase::OnPostgreSQL()) {
        EXPECT_NE(testing_support::FileBytes(db_.DatabaseFile()).find(chinese), std::string::npos);
    }
}

TEST_F(TransactionTest, DecimalsStayExact) {
    const std::vector<std::int64_t> cents{1, 10, -5, 123450, 100, 999999999999, 7};
    for (std::size_t i = 0; i < cents.size(); ++i)
        ASSERT_EQ(t_.Execute("insert into scratch (k, amount) values (?, ?)",
                             {static_cast<long>(i), Decimal::FromCents(cents[i])}),
                  0)
            << t_.SQLErrText;
    Rows rows;
    ASSERT_EQ(t_.Query("select amount from scratch order by k", {}, rows), 0) << t_.SQLErrText;
    ASSERT_EQ(rows.size(), cents.size());
    for (std::size_t i = 0; i < cents.size(); ++i) {
        ASSERT_EQ(rows[i][0].Type(), ValueType::Decimal) << i;
        EXPECT_EQ(rows[i][0].Decimal()->Cents(), cents[i]) << i;
    }
    // A decimal argument compares with the stored amount as a number.
    std::vector<Value> into;
    ASSERT_EQ(t_.SelectInto("select k from scratch where amount = ?", {Decimal::FromCents(123450)}, into), 0)
        << t_.SQLErrText;
    EXPECT_EQ(into, std::vector<Value>{Value(3)});
    // Text that spells a decimal is taken as that decimal too.
    ASSERT_EQ(t_.Execute("update scratch set amount = ? where k = 6", {"1234.50"}), 0);
    ASSERT_EQ(t_.SelectInto("select amount from scratch where k = 6", {}, into), 0);
    EXPECT_EQ(into, std::vector<Value>{Value(Decimal::FromCents(123450))});
}

TEST_F(TransactionTest, ColumnsAreTypedByTheirDeclaredTypeWhateverSqliteStored) {
    if (ScratchDatabase::OnPostgreSQL()) GTEST_SKIP() << "SQLite's type affinity";
    // Numbers in character columns, and text in a date column, as a dynamically typed store has them.
    ASSERT_EQ(t_.Execute("insert into scratch (k, name, yr, day) values (1, 1, 2025, 'not a date')"), 0);
    ASSERT_EQ(t_.Execute("insert into scratch (k, name, day) values (2, '007', '2024-02-29 10:11:12')"), 0);
    std::vector<Value> row;
    ASSERT_EQ(t_.SelectInto("select name, yr, day, k from scratch where k = 1", {}, row), 0);
    EXPECT_EQ(row, (std::vector<Value>{Value("1"), Value("2025"), Value("not a date"), Value(1)}));
    ASSERT_EQ(t_.SelectInto("select name, day from scratch where k = 2", {}, row), 0);
    EXPECT_EQ(row, (std::vector<Value>{Value("007"), Value(Date{2024, 2, 29})}));
    // Expressions: whatever type the driver gives them, the value reads as what it is.
    ASSERT_EQ(t_.SelectInto("select max(k), count(*), max(yr) from scratch", {}, row), 0);
    EXPECT_EQ(row.at(0).AsLong(), 2);
    EXPECT_EQ(row.at(1).AsLong(), 2);
    EXPECT_EQ(row.at(2).AsString(), "2025");
}

TEST_F(TransactionTest, LongTextsComeBackWhole) {
    std::string memo;
    for (int i = 0; memo.size() < 6000; ++i) memo += "第" + std::to_string(i) + "行，";
    std::string ascii(70000, 'x');
    ascii.back() = 'y';
    ASSERT_EQ(t_.Execute("insert into scratch (k, memo) values (1, ?), (2, ?), (3, ?)", {memo, ascii, ""}), 0)
        << t_.SQLErrText;
    Rows rows;
    ASSERT_EQ(t_.Query("select memo from scratch order by k", {}, rows), 0) << t_.SQLErrText;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], Value(memo));
    EXPECT_EQ(rows[1][0], Value(ascii));
    EXPECT_EQ(rows[2][0], Value(""));  // empty text is not null
}

TEST_F(TransactionTest, InjectionLookingTextIsStoredVerbatim) {
    const std::string evil = "x'); drop table scratch; -- \"quoted\" ? ?";
    ASSERT_EQ(t_.Execute("insert into scratch (k, name) values (?, ?)", {1, evil}), 0) << t_.SQLErrText;
    std::vector<Value> into;
    ASSERT_EQ(t_.SelectInto("select name from scratch where name = ?", {evil}, into), 0) << t_.SQLErrText;
    EXPECT_EQ(into, std::vector<Value>{Value(evil)});
    EXPECT_EQ(t_.SelectInto("select count(*) from scratch", {}, into), 0);
    EXPECT_EQ(into.at(0).AsLong(), 1);
}

TEST_F(TransactionTest, NullArgumentsMatchNothingAndStoreNull) {
    ASSERT_EQ(t_.Execute("insert into scratch (k, name, amount, day) values (?, ?, ?, ?)",
                         {1, Value::Null(), Value::Null(), Value::Null()}),
              0)
        << t_.SQLErrText;
    std::vector<Value> into;
    ASSERT_EQ(t_.SelectInto("select name, amount, day from scratch where k = 1", {}, into), 0);
    EXPECT_TRUE(into[0].IsNull() && into[1].IsNull() && into[2].IsNull());
    EXPECT_EQ(t_.SelectInto("select k from scratch where name = ?", {Value::Null()}, into), 100);
}

TEST_F(TransactionTest, StatementTextIsTakenByItsLength) {
    // A view into a longer text: only the viewed part is the statement.
    const std::string text = "select count(*) from scratch; delete from scratch";
    std::vector<Value> into;
    Insert(1, "a");
    ASSERT_EQ(t_.SelectInto(std::string_view(text).substr(0, 28), {}, into), 0) << t_.SQLErrText;
    EXPECT_EQ(into.at(0).AsLong(), 1);
}

// ---------------------------------------------------------------------------------------------
// INSERT, UPDATE, DELETE and queries

TEST_F(TransactionTest, ExecuteReportsAffectedRowsAndNoMatchIsNotAnError) {
    for (long k = 1; k <= 3; ++k) Insert(k, "n");
    EXPECT_EQ(t_.Execute("update scratch set name = ? where k = ?", {"m", 99}), 0);
    EXPECT_EQ(t_.SQLNRows, 0);
    EXPECT_EQ(t_.Execute("delete from scratch where k = ?", {99}), 0);
    EXPECT_EQ(t_.SQLNRows, 0);
    EXPECT_EQ(t_.Execute("UPDATE scratch  SET name = ?  WHERE k >= ?", {"m", 2}), 0);
    EXPECT_EQ(t_.SQLNRows, 2);
    EXPECT_EQ(t_.Execute("delete from scratch"), 0);
    EXPECT_EQ(t_.SQLNRows, 3);
}

// Each failure is the caller's to end (a failure may end the transaction there, see the session's
// tests), so each is followed by a ROLLBACK here.
TEST_F(TransactionTest, ExecuteFailuresCarryTheDiagnostic) {
    EXPECT_EQ(t_.Execute("update no_such_table set a = ?", {1}), -1);
    EXPECT_NE(t_.SQLErrText.find(NoSuchTable("no_such_table")), std::string::npos) << t_.SQLErrText;
    ASSERT_EQ(t_.Rollback(), 0);
    EXPECT_EQ(t_.Execute("updte scratch set name = 1"), -1);
    EXPECT_NE(t_.SQLErrText.find("syntax error"), std::string::npos) << t_.SQLErrText;
    ASSERT_EQ(t_.Rollback(), 0);
    // Too few and too many values for the markers: refused before anything is run, which leaves
    // the transaction as it was.
    Insert(1, "first");
    EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (?, ?)", {1}), -1);
    EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (?, ?)", {1, "a", "b"}), -1);
    EXPECT_NE(t_.SQLErrText.find("parameter markers"), std::string::npos) << t_.SQLErrText;
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    EXPECT_EQ(Committed("select name from scratch where k = 1"), Value("first"));
    EXPECT_EQ(t_.Execute("insert into scratch (k, name) values (1, 'dup')"), -1);
    EXPECT_NE(t_.SQLErrText.find(NotUnique()), std::string::npos) << t_.SQLErrText;
    ASSERT_EQ(t_.Rollback(), 0);
}

TEST_F(TransactionTest, QueryReturnsAllRowsAndAppendsOnlyOnSuccess) {
    for (long k = 1; k <= 5; ++k) Insert(k, "r" + std::to_string(k));
    Rows rows{{Value("earlier")}};
    ASSERT_EQ(t_.Query("select k, name from scratch where k > ? order by k desc", {2}, rows), 0)
        << t_.SQLErrText;
    EXPECT_EQ(t_.SQLNRows, 3);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], std::vector<Value>{Value("earlier")});
    EXPECT_EQ(rows[1], (std::vector<Value>{Value(5), Value("r5")}));
    EXPECT_EQ(rows[3], (std::vector<Value>{Value(3), Value("r3")}));

    EXPECT_EQ(t_.Query("select k from scratch where k > 100", {}, rows), 0);
    EXPECT_EQ(t_.SQLNRows, 0);
    EXPECT_EQ(rows.size(), 4u);
    EXPECT_EQ(t_.Query("select nothing from scratch", {}, rows), -1);
    EXPECT_EQ(rows.size(), 4u);
}

// ---------------------------------------------------------------------------------------------
// Dynamic SQL

TEST_F(TransactionTest, PrepareReportsMissingTablesAndBadSyntaxAtOnce) {
    rt::DynamicStagingArea sa;
    EXPECT_EQ(sa.Prepare(t_, "DELETE FROM no_such_table WHERE xm_id = ?"), -1);
    EXPECT_EQ(t_.SQLCode, -1);
    EXPECT_NE(t_.SQLErrText.find(NoSuchTable("no_such_table")), std::string::npos) << t_.SQLErrText;
    ASSERT_EQ(t_.Rollback(), 0);
    // Executing a failed preparation runs nothing, not even an earlier statement.
    EXPECT_EQ(sa.Execute({"x"}), -1);

    EXPECT_EQ(sa.Prepare(t_, "UPDATE scratch SET name = ? WHER k = ?"), -1);
    EXPECT_NE(t_.SQLErrText.find("syntax error"), std::string::npos) << t_.SQLErrText;
    ASSERT_EQ(t_.Rollback(), 0);
    EXPECT_EQ(sa.Prepare(t_, "update scratch set no_such_column = ?"), -1);
    EXPECT_NE(t_.SQLErrText.find(NoSuchColumn("no_such_column")), std::string::npos) << t_.SQLErrText;
    ASSERT_EQ(t_.Rollback(), 0);

    // Preparing runs nothing.
    Insert(1, "still here");
    ASSERT_EQ(sa.Prepare(t_, "delete from scratch"), 0) << t_.SQLErrText;
    std::vector<Value> into;
    ASSERT_EQ(t_.SelectInto("select count(*) from scratch", {}, into), 0);
    EXPECT_EQ(into.at(0).AsLong(), 1);
}

TEST_F(TransactionTest, PreparedStatementExecutesManyTimes) {
    rt::DynamicStagingArea sa;
    EXPECT_EQ(sa.Execute(), -1);  // nothing prepared yet
    ASSERT_EQ(sa.Prepare(t_, "INSERT INTO scratch ( k, name, day )  VALUES ( ?, ?, '0001-01-01' )"), 0)
        << t_.SQLErrText;
    for (long k = 1; k <= 200; ++k) {
        ASSERT_EQ(sa.Execute({k, "行" + std::to_string(k)}), 0) << t_.SQLErrText;
        ASSERT_EQ(t_.SQLNRows, 1);
    }
    ASSERT_EQ(t_.Commit(), 0);
    EXPECT_EQ(sa.Execute({1, "duplicate key"}), -1);
    EXPECT_NE(t_.SQLErrText.find(NotUnique()), std::string::npos) << t_.SQLErrText;
    ASSERT_EQ(t_.Rollback(), 0);
    EXPECT_EQ(Committed("select count(*) from scratch").AsLong(), 200);
    EXPECT_EQ(Committed("select name from scratch where k = 200"), Value("行200"));
    EXPECT_EQ(Committed("select day from scratch where k = 7"), Value(Date{1, 1, 1}));

    ASSERT_EQ(sa.Prepare(t_, "delete from scratch where k > ?"), 0);
    ASSERT_EQ(sa.Execute({150}), 0);
    EXPECT_EQ(t_.SQLNRows, 50);
    ASSERT_EQ(sa.Execute({150}), 0);
    EXPECT_EQ(t_.SQLNRows, 0);
}

TEST(DynamicStagingArea, OutlivingItsTransactionIsHarmless) {
    TestDatabase db(false);
    rt::DynamicStagingArea sa;
    {
        Transaction t;
        db.Connect(t);
        ASSERT_EQ(sa.Prepare(t, "select 1"), 0) << t.SQLErrText;
    }
    EXPECT_EQ(sa.Execute(), -1);
}

// ---------------------------------------------------------------------------------------------
// The application's own schema

TEST(TransactionSchema, NamesInAnyCaseAndTheStoredConversions) {
    TestDatabase db;
    Transaction t;
    ASSERT_NO_FATAL_FAILURE(db.Connect(t));
    ASSERT_EQ(
        t.Execute("insert into j_xm_base (xm_id, xm_fixsecrdate, xm_zongtz, xm_huis, xm_xg, xm_guid) values "
                  "(?, '0001-01-01', 0.0, 0, '0', 'FFFFFFFFFFFFFFFF')",
                  {"202512340001"}),
        0)
        << t.SQLErrText;
    // The version generation writes the number 1 into the one-character state column.
    ASSERT_EQ(t.Execute("update j_xm_base set xm_xg = ?, xm_guid = ? where xm_id = ?",
                        {1, "2025123400015678", "202512340001"}),
              0);
    ASSERT_EQ(
        t.Execute("insert into J_XY_SAVING (xm_id, xy_year, xy_zhijorjianj, xy_addvalue) values (?, ?, ?, ?)",
                  {"202512340001", 2024, "1", Decimal::FromCents(1050)}),
        0)
        << t.SQLErrText;
    ASSERT_EQ(t.Commit(), 0);

    std::vector<Value> into;
    ASSERT_EQ(t.SelectInto("SELECT \"j_xm_base\".\"xm_xg\", XM_GUID, xm_fixsecrdate, xm_zongtz, xm_huis "
                           "FROM \"j_xm_base\" WHERE \"j_xm_base\".\"xm_id\" = ?",
                           {"202512340001"}, into),
              0)
        << t.SQLErrText;
    EXPECT_EQ(into, (std::vector<Value>{Value("1"), Value("2025123400015678"), Value(Date{1, 1, 1}),
                                        Value(Decimal::FromCents(0)), Value(0)}));
    ASSERT_EQ(
        t.SelectInto("select XY_YEAR, xy_addvalue from j_xy_SAVING where XM_ID = ?", {"202512340001"}, into),
        0)
        << t.SQLErrText;
    EXPECT_EQ(into, (std::vector<Value>{Value("2024"), Value(Decimal::FromCents(1050))}));
    // A whole number compared with a character column compares as its digits.
    ASSERT_EQ(t.SelectInto("select xy_addvalue from j_xy_saving where xm_id = ? and xy_year = ?",
                           {"202512340001", 2024}, into),
              0)
        << t.SQLErrText;
    EXPECT_EQ(into, std::vector<Value>{Value(Decimal::FromCents(1050))});
    // "select max(xm_id)" over the list: the expression reads back as the identifier text.
    ASSERT_EQ(t.SelectInto("select max(xm_id) from j_xm_base", {}, into), 0);
    EXPECT_EQ(into, std::vector<Value>{Value("202512340001")});
}

// ---------------------------------------------------------------------------------------------
// Volume (bench/datawindow_bench measures how the time grows with the rows)

TEST_F(TransactionTest, TenThousandRowsComeBackWholeAndInOrder) {
    Rows stored;
    for (long k = 1; k <= 10000; ++k)
        stored.push_back({k, "名称" + std::to_string(k), Decimal::FromCents(k * 101), Date{2020, 1, 1}});
    ASSERT_EQ(testing_support::InsertRows(t_, "insert into scratch (k, name, amount, day)", stored), 0)
        << t_.SQLErrText;
    ASSERT_EQ(t_.Commit(), 0);

    Rows rows;
    ASSERT_EQ(t_.Query("select k, name, amount, day from scratch order by k", {}, rows), 0);
    ASSERT_EQ(rows.size(), 10000u);
    EXPECT_EQ(rows.front(), stored.front());
    EXPECT_EQ(rows[4999], stored[4999]);
    EXPECT_EQ(rows.back(), stored.back());
}

}  // namespace
}  // namespace transaction_tests

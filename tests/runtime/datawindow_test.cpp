// The DataWindow engine against a private database and the program's own DataWindow objects.

#include "runtime/datawindow/datawindow.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "runtime/datawindow/datawindow_plan.h"
#include "runtime/datawindow/editmask.h"
#include "schema/dataobjects.h"
#include "tests/support/testdb.h"

namespace {

using rt::Buffer;
using rt::DataWindow;
using rt::Date;
using rt::Decimal;
using rt::ItemStatus;
using rt::Value;
using testing_support::Locked;
using testing_support::NoSuchTable;

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// The project list with its saved flag as a plain edit field, last in the tab order: a list of
// several rows with one field that takes input, for the tests of editing in a list.
constexpr const char* kFlagList = "dw_with_flag";

class DataWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        schema::RegisterDataObjects();
        rt::DataWindowDef def = *rt::FindDefinition("dw");
        def.name = kFlagList;
        rt::ColumnDef& flag = def.columns.back();
        flag.displayOnly = false;
        flag.tabOrder = 4;
        rt::RegisterDefinition(std::move(def));
    }

    void SetUp() override {
        db_ = std::make_unique<testing_support::TestDatabase>();
        db_->Connect(t_);
    }

    void TearDown() override {
        t_.Rollback();
        t_.Disconnect();
    }

    void Exec(const std::string& sql, const std::vector<Value>& args = {}) {
        ASSERT_EQ(t_.Execute(sql, args), 0) << t_.SQLErrText << "\n" << sql;
    }

    Value Read(const std::string& sql, const std::vector<Value>& args = {}) {
        std::vector<Value> into(1);
        t_.SelectInto(sql, args, into);
        EXPECT_NE(t_.SQLCode, -1) << t_.SQLErrText << "\n" << sql;
        return t_.SQLCode == 0 ? into[0] : Value();
    }

    long CountRows(const std::string& sql, const std::vector<Value>& args = {}) {
        return static_cast<long>(Read(sql, args).AsLong().value_or(-1));
    }

    void AddProject(const std::string& id, const std::string& name = "项目") {
        Exec(
            "INSERT INTO j_xm_base (xm_id, xm_name, jb_awardcode, xm_startdate, xm_xg, xm_guid) "
            "VALUES (?, ?, '4', '2021-05-17', '0', 'FFFFFFFFFFFFFFFF')",
            {id, name});
    }

    void AddAward(const std::string& id, int n, const std::string& name) {
        Exec("INSERT INTO j_jx_getaward (xm_id, jx_id, jx_name, jx_date) VALUES (?, ?, ?, '0001-01-01')",
             {id, n, name});
    }

    void AddPerson(const std::string& id, int n, const std::string& name, const std::string& title) {
        Exec(
            "INSERT INTO j_ry_finish (xm_id, ry_no, ry_name, xb_sex, ry_birthday, zc_titlecode) "
            "VALUES (?, ?, ?, '1', '1970-03-01', ?)",
            {id, n, name, title});
    }

    // A DataWindow on the test transaction, retrieved with the arguments.
    std::unique_ptr<DataWindow> Open(const std::string& object, const std::vector<Value>& args = {}) {
        auto dw = std::make_unique<DataWindow>(object);
        EXPECT_EQ(dw->DataObject(), object);
        dw->SetTransObject(t_);
        EXPECT_GE(dw->Retrieve(args), 0) << t_.SQLErrText;
        return dw;
    }

    // Types text into the field and accepts it.
    static int Type(DataWindow& dw, long row, const std::string& column, const std::string& text) {
        if (dw.SetRow(row) != 1 || dw.SetColumn(column) != 1 || dw.SetText(text) != 1) return -2;
        return dw.AcceptText();
    }

    std::unique_ptr<testing_support::TestDatabase> db_;
    rt::Transaction t_;
};

// ---- item and row status through insert, set, delete, update -----------------------------------------

TEST_F(DataWindowTest, StatusesFollowEditsAndAreClearedBySuccessfulUpdate) {
    AddProject("P1", "旧名称");
    auto dw = Open("dw_1", {"P1"});
    ASSERT_EQ(dw->RowCount(), 1);
    EXPECT_EQ(dw->GetItemStatus(1, ""), ItemStatus::NotModified);

    EXPECT_EQ(dw->SetItem(1, "XM_NAME", Value("新名称")), 1);
    EXPECT_EQ(dw->GetItemStatus(1, ""), ItemStatus::DataModified);
    EXPECT_EQ(dw->GetItemStatus(1, "xm_name"), ItemStatus::DataModified);
    EXPECT_EQ(dw->GetItemStatus(1, "xm_ename"), ItemStatus::NotModified);
    EXPECT_EQ(dw->GetItemString(1, "xm_name", Buffer::Primary, true), "旧名称");
    EXPECT_EQ(dw->ModifiedCount(), 1);

    EXPECT_EQ(dw->Update(), 1);
    EXPECT_EQ(dw->GetItemStatus(1, ""), ItemStatus::NotModified);
    EXPECT_EQ(dw->GetItemString(1, "xm_name", Buffer::Primary, true), "新名称");
    EXPECT_EQ(dw->ModifiedCount(), 0);
    EXPECT_EQ(Read("SELECT xm_name FROM j_xm_base WHERE xm_id = 'P1'"), Value("新名称"));
    // The version number is carried by the form but never written through it.
    EXPECT_EQ(dw->SetItem(1, "xm_guid", Value("X")), 1);
    EXPECT_EQ(dw->Update(), 1);
    EXPECT_EQ(Read("SELECT xm_guid FROM j_xm_base WHERE xm_id = 'P1'"), Value("FFFFFFFFFFFFFFFF"));
}

TEST_F(DataWindowTest, InsertedRowsAreWrittenOnlyOnceTouchedAndDeletionsAreNotModifications) {
    AddProject("P1");
    AddAward("P1", 1, "一等奖");
    AddAward("P1", 2, "二等奖");
    auto dw = Open("dw_6", {"P1"});
    ASSERT_EQ(dw->RowCount(), 2);

    long r = dw->InsertRow(0);
    EXPECT_EQ(r, 3);
    EXPECT_EQ(dw->GetRow(), 1);  // inserting does not move the current row
    EXPECT_EQ(dw->GetItemStatus(r, ""), ItemStatus::New);
    EXPECT_EQ(dw->ModifiedCount(), 0);
    EXPECT_EQ(dw->Update(), 1);  // an untouched new row is never written
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_jx_getaward"), 2);
    EXPECT_EQ(dw->GetItemStatus(r, ""), ItemStatus::New);

    dw->SetItem(r, "xm_id", Value("P1"));
    dw->SetItem(r, "jx_id", Value(3));
    EXPECT_EQ(dw->GetItemStatus(r, ""), ItemStatus::NewModified);
    EXPECT_EQ(dw->ModifiedCount(), 1);

    // A never-stored row is dropped, not kept for deletion.
    long r2 = dw->InsertRow(1);
    EXPECT_EQ(r2, 1);
    dw->SetItem(r2, "jx_id", Value(9));
    EXPECT_EQ(dw->DeleteRow(r2), 1);
    EXPECT_EQ(dw->DeletedCount(), 0);

    // Deleting a stored row counts for DeletedCount only.
    EXPECT_EQ(dw->DeleteRow(1), 1);
    EXPECT_EQ(dw->DeletedCount(), 1);
    EXPECT_EQ(dw->ModifiedCount(), 1);
    EXPECT_EQ(dw->GetItemString(1, "jx_name", Buffer::Delete), "一等奖");

    EXPECT_EQ(dw->Update(), 1);
    EXPECT_EQ(dw->DeletedCount(), 0);
    EXPECT_EQ(dw->ModifiedCount(), 0);
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_jx_getaward WHERE jx_id = 1"), 0);
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_jx_getaward WHERE jx_id = 3"), 1);
}

TEST_F(DataWindowTest, UpdateWithoutResetKeepsChangesUntilResetUpdateSoARollbackLosesNothing) {
    AddProject("P1", "甲");
    auto dw = Open("dw_1", {"P1"});
    dw->SetItem(1, "xm_name", Value("乙"));
    EXPECT_EQ(dw->Update(true, false), 1);
    EXPECT_EQ(dw->GetItemStatus(1, ""), ItemStatus::DataModified);
    EXPECT_EQ(t_.Rollback(), 0);
    EXPECT_EQ(Read("SELECT count(*) FROM j_xm_base"), Value(0));  // the project row was rolled back too

    AddProject("P1", "甲");
    EXPECT_EQ(dw->Update(true, false), 1);
    EXPECT_EQ(Read("SELECT xm_name FROM j_xm_base WHERE xm_id = 'P1'"), Value("乙"));
    EXPECT_EQ(dw->ResetUpdate(), 1);
    EXPECT_EQ(dw->GetItemStatus(1, ""), ItemStatus::NotModified);
    EXPECT_EQ(dw->ModifiedCount(), 0);
}

// ---- failures of Update ----------------------------------------------------------------------------

TEST_F(DataWindowTest, UpdateFailingPartWayLeavesEveryRowPendingForASecondUpdate) {
    AddProject("P1");
    AddAward("P1", 1, "a");
    AddAward("P1", 2, "b");
    AddAward("P1", 3, "c");
    ASSERT_EQ(t_.Commit(), 0);
    auto dw = Open("dw_6", {"P1"});
    std::vector<std::string> errors;
    dw->dberror = [&](long, std::string_view text, std::string_view sql) {
        errors.push_back(std::string(sql) + " | " + std::string(text));
        return 1;
    };

    dw->DeleteRow(3);
    dw->SetItem(1, "jx_name", Value("a2"));
    dw->SetItem(2, "jx_name", Value("b2"));
    long r = dw->InsertRow(0);
    dw->SetItem(r, "xm_id", Value("P1"));
    dw->SetItem(r, "jx_id", Value(4));
    // Someone else holds number 4: the INSERT collides after the DELETE and the first UPDATEs ran.
    AddAward("P1", 4, "x");
    ASSERT_EQ(t_.Commit(), 0);

    EXPECT_EQ(dw->Update(true, false), -1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("INSERT INTO j_jx_getaward"), std::string::npos) << errors[0];
    EXPECT_FALSE(t_.SQLErrText.empty());
    EXPECT_EQ(dw->GetItemStatus(1, ""), ItemStatus::DataModified);
    EXPECT_EQ(dw->GetItemStatus(2, ""), ItemStatus::DataModified);
    EXPECT_EQ(dw->GetItemStatus(3, ""), ItemStatus::NewModified);
    EXPECT_EQ(dw->DeletedCount(), 1);
    EXPECT_EQ(dw->ModifiedCount(), 3);

    // The caller rolls back, the fault goes away, and the same Update writes everything.
    t_.Rollback();
    Exec("DELETE FROM j_jx_getaward WHERE jx_id = 4");
    EXPECT_EQ(dw->Update(true, true), 1) << (errors.size() > 1 ? errors.back() : "");
    EXPECT_EQ(Read("SELECT jx_name FROM j_jx_getaward WHERE jx_id = 1"), Value("a2"));
    EXPECT_EQ(Read("SELECT jx_name FROM j_jx_getaward WHERE jx_id = 2"), Value("b2"));
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_jx_getaward WHERE jx_id = 3"), 0);
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_jx_getaward WHERE jx_id = 4"), 1);
    EXPECT_EQ(dw->ModifiedCount(), 0);
    EXPECT_EQ(dw->DeletedCount(), 0);
}

// A row changed or deleted since it was read is no database error: nothing is said, and the caller
// learns which row it was and whether it is gone, with every change still pending.
TEST_F(DataWindowTest, AnUpdateOrDeleteThatFindsNoRowIsAConflictThatSaysWhichRow) {
    AddProject("P1");
    AddAward("P1", 1, "a");
    AddAward("P1", 2, "b");
    AddAward("P1", 3, "c");
    auto dw = Open("dw_6", {"P1"});
    int fired = 0;
    dw->dberror = [&](long, std::string_view, std::string_view) { return ++fired, 1; };
    auto conflict = [&] {
        auto c = dw->LastUpdateConflict();
        return c ? std::to_string(c->row) + (c->buffer == Buffer::Delete ? " delete" : " primary") +
                       (c->deleted ? " deleted" : " changed")
                 : std::string("none");
    };

    dw->SetItem(1, "jx_name", Value("a2"));
    dw->SetItem(3, "jx_name", Value("c2"));
    Exec("DELETE FROM j_jx_getaward WHERE jx_id = 3");
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_EQ(conflict(), "3 primary deleted");
    EXPECT_EQ(dw->GetItemStatus(1, ""), ItemStatus::DataModified) << "written, but kept for the rollback";
    EXPECT_EQ(dw->GetItemStatus(3, ""), ItemStatus::DataModified);

    t_.Rollback();
    AddProject("P1");
    AddAward("P1", 1, "a");
    AddAward("P1", 2, "b");
    AddAward("P1", 3, "其他人改的");
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_EQ(conflict(), "3 primary changed");

    t_.Rollback();
    AddProject("P1");
    AddAward("P1", 1, "a");
    AddAward("P1", 2, "b");
    AddAward("P1", 3, "c");
    EXPECT_EQ(dw->Update(), 1);
    EXPECT_EQ(conflict(), "none") << "cleared by the next Update";

    dw->DeleteRow(2);
    Exec("UPDATE j_jx_getaward SET jx_grade = '一等' WHERE jx_id = 2");
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_EQ(conflict(), "1 delete changed");
    EXPECT_EQ(dw->DeletedCount(), 1);
    Exec("DELETE FROM j_jx_getaward WHERE jx_id = 2");
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_EQ(conflict(), "1 delete deleted");
    EXPECT_EQ(fired, 0);
}

TEST_F(DataWindowTest, ReadOnlyObjectsAndUnboundDataWindowsDoNotUpdate) {
    auto max = Open("dw_max");
    ASSERT_EQ(max->RowCount(), 1);
    EXPECT_FALSE(max->GetItemString(1, 1).has_value());  // max over no rows is null
    EXPECT_EQ(max->Update(), -1);
    EXPECT_EQ(max->ReselectRow(1), -1);

    DataWindow unbound("dw_1");
    EXPECT_EQ(unbound.Retrieve({Value("P1")}), -1);
    EXPECT_EQ(unbound.Update(), -1);
}

// ---- text limits and masks -------------------------------------------------------------------------

TEST_F(DataWindowTest, CharacterLimitsCountGbkBytes) {
    AddProject("P1");
    auto dw = Open("dw_1", {"P1"});
    std::string why;
    dw->itemerror = [&](long, std::string_view, std::string_view, std::string_view w) {
        why = w;
        return 1;
    };
    EXPECT_EQ(Type(*dw, 1, "xm_name", Repeat("中", 30)), 1);
    EXPECT_EQ(dw->GetItemString(1, "xm_name"), Repeat("中", 30));

    EXPECT_EQ(Type(*dw, 1, "xm_name", Repeat("中", 31)), -1);
    EXPECT_FALSE(why.empty());
    EXPECT_TRUE(dw->EditPending());
    EXPECT_EQ(dw->GetText(), Repeat("中", 31));
    EXPECT_EQ(dw->GetItemString(1, "xm_name"), Repeat("中", 30));

    EXPECT_EQ(dw->SetText(Repeat("中", 29) + "ab"), 1);
    EXPECT_EQ(dw->AcceptText(), 1);
    EXPECT_EQ(dw->GetItemString(1, "xm_name"), Repeat("中", 29) + "ab");

    // A contributor's name: five Chinese characters fit the limit of 10, a sixth does not.
    AddPerson("P1", 1, "张三", "303");
    auto person = Open("dw_71", {"P1", 1});
    person->itemerror = dw->itemerror;
    EXPECT_EQ(Type(*person, 1, "ry_name", "欧阳一二三"), 1);
    EXPECT_EQ(Type(*person, 1, "ry_name", "欧阳一二三四"), -1);
}

TEST_F(DataWindowTest, StringMasksStoreTheTypedCharactersAndShowTheLiterals) {
    AddProject("P1");
    AddPerson("P1", 1, "张三", "303");
    auto dw = Open("dw_1", {"P1"});
    dw->itemerror = [](long, std::string_view, std::string_view, std::string_view) { return 1; };

    EXPECT_EQ(Type(*dw, 1, "xm_askno", "1234 56ab"), 1);
    EXPECT_EQ(dw->GetItemString(1, "xm_askno"), "123456ab");
    EXPECT_EQ(dw->GetText(), "1234 56ab");
    EXPECT_EQ(dw->GetFormattedText(1, "xm_askno"), "1234 56ab");
    EXPECT_EQ(Type(*dw, 1, "xm_askno", "654321Zz"), 1);  // the typed characters alone
    EXPECT_EQ(dw->GetItemString(1, "xm_askno"), "654321Zz");
    for (const char* bad : {"12a4 56ab", "1234 56a!", "123456abc", "1234 56中a", "12 4 56ab"}) {
        EXPECT_EQ(Type(*dw, 1, "xm_askno", bad), -1) << bad;
        EXPECT_EQ(dw->GetItemString(1, "xm_askno"), "654321Zz") << bad;
        dw->SetText("");
    }
    EXPECT_EQ(dw->AcceptText(), 1);  // emptied: null
    EXPECT_FALSE(dw->GetItemString(1, "xm_askno").has_value());
    EXPECT_EQ(Type(*dw, 1, "xm_askno", "2024 01"), 1);  // a shorter entry
    EXPECT_EQ(dw->GetItemString(1, "xm_askno"), "202401");
    ASSERT_EQ(dw->Update(), 1);
    EXPECT_EQ(Read("SELECT xm_askno FROM j_xm_base WHERE xm_id = 'P1'"), Value("202401"));

    auto person = Open("dw_71", {"P1", 1});
    person->itemerror = dw->itemerror;
    EXPECT_EQ(Type(*person, 1, "ry_fixtel", "0571-88886666"), 1);
    EXPECT_EQ(person->GetItemString(1, "ry_fixtel"), "057188886666");
    EXPECT_EQ(Type(*person, 1, "ry_fixtel", "0571-8888666x"), -1);
    person->SetText("0571-8888");
    EXPECT_EQ(person->AcceptText(), 1);
    EXPECT_EQ(Type(*person, 1, "ry_id", "11010519491231002X"), 1);
    EXPECT_EQ(person->GetItemString(1, "ry_id"), "11010519491231002X");
    EXPECT_EQ(person->GetFormattedText(1, "ry_id"), "110  105  194  912  310  02X");
    EXPECT_EQ(Type(*person, 1, "ry_id", "110  105  194  912  310  02Y"), 1);
    EXPECT_EQ(person->GetItemString(1, "ry_id"), "11010519491231002Y");
    EXPECT_EQ(Type(*person, 1, "ry_id", "11010519491231002Y1"), -1);  // 19 characters
    EXPECT_EQ(Type(*person, 1, "ry_id", "1101051949123100-Y"), -1);
    person->SetText("11010519491231002Y");
    ASSERT_EQ(person->AcceptText(), 1);
    ASSERT_EQ(person->Update(), 1);

    auto again = Open("dw_71", {"P1", 1});
    EXPECT_EQ(again->GetItemString(1, "ry_fixtel"), "05718888");
    EXPECT_EQ(again->GetFormattedText(1, "ry_fixtel"), "0571-8888");
    EXPECT_EQ(again->GetItemString(1, "ry_id"), "11010519491231002Y");
}

TEST_F(DataWindowTest, DateMasksEnterAndShowYearAndMonth) {
    AddProject("P1");
    auto dw = Open("dw_1", {"P1"});
    dw->itemerror = [](long, std::string_view, std::string_view, std::string_view) { return 1; };
    ASSERT_EQ(dw->SetColumn("xm_startdate"), 1);
    EXPECT_EQ(dw->GetText(), "2021-05");
    EXPECT_EQ(dw->GetFormattedText(1, "xm_startdate"), "2021-05");

    // The same month typed again keeps the stored day and changes nothing.
    EXPECT_EQ(Type(*dw, 1, "xm_startdate", "2021-05"), 1);
    EXPECT_EQ(dw->GetItemDate(1, "xm_startdate"), (Date{2021, 5, 17}));
    EXPECT_EQ(dw->ModifiedCount(), 0);

    EXPECT_EQ(Type(*dw, 1, "xm_startdate", "2022-03"), 1);
    EXPECT_EQ(dw->GetItemDate(1, "xm_startdate"), (Date{2022, 3, 1}));
    EXPECT_EQ(Type(*dw, 1, "xm_startdate", "202304"), 1);
    EXPECT_EQ(dw->GetItemDate(1, "xm_startdate"), (Date{2023, 4, 1}));
    for (const char* bad : {"2022-13", "2022-00", "0000-01", "2022-ab", "22-03", "2022-03-04"}) {
        EXPECT_EQ(Type(*dw, 1, "xm_startdate", bad), -1) << bad;
        dw->SetText("2023-04");
    }
    EXPECT_EQ(dw->AcceptText(), 1);
    EXPECT_EQ(Type(*dw, 1, "xm_finishdate", "0001-01"), 1);  // the placeholder date is a date
    EXPECT_EQ(dw->GetFormattedText(1, "xm_finishdate"), "0001-01");
    EXPECT_EQ(Type(*dw, 1, "xm_finishdate", ""), 1);
    EXPECT_FALSE(dw->GetItemDate(1, "xm_finishdate").has_value());
    ASSERT_EQ(dw->Update(), 1);
    auto again = Open("dw_1", {"P1"});
    EXPECT_EQ(again->GetItemDate(1, "xm_startdate"), (Date{2023, 4, 1}));

    AddAward("P1", 1, "奖");
    auto awards = Open("dw_6", {"P1"});
    EXPECT_EQ(Type(*awards, 1, "jx_date", "2019"), 1);
    EXPECT_EQ(awards->GetItemDate(1, "jx_date"), (Date{2019, 1, 1}));
    EXPECT_EQ(awards->GetFormattedText(1, "jx_date"), "2019");
}

TEST_F(DataWindowTest, NumberEntriesAreCheckedAndRefusedWithoutHarm) {
    AddProject("P1");
    Exec("UPDATE j_xm_base SET xm_zongtz = 12.5, xm_huis = 3 WHERE xm_id = 'P1'");
    auto dw = Open("dw_512", {"P1"});
    int errors = 0;
    dw->itemerror = [&](long, std::string_view, std::string_view, std::string_view) {
        ++errors;
        return 1;
    };
    ASSERT_EQ(dw->SetColumn("xm_zongtz"), 1);
    EXPECT_EQ(dw->GetText(), "12.50");
    EXPECT_EQ(Type(*dw, 1, "xm_zongtz", "123,456.78"), 1);
    EXPECT_EQ(dw->GetItemDecimal(1, "xm_zongtz"), Decimal::FromCents(12345678));
    EXPECT_EQ(dw->GetText(), "123,456.78");
    EXPECT_EQ(Type(*dw, 1, "xm_zongtz", "999999.99"), 1);
    for (const char* bad : {"abc", "-5", "1234567", "1.234", "1..2", "1,2x"}) {
        EXPECT_EQ(Type(*dw, 1, "xm_zongtz", bad), -1) << bad;
        dw->SetText("1");
    }
    EXPECT_EQ(errors, 6);
    EXPECT_EQ(dw->AcceptText(), 1);
    EXPECT_EQ(Type(*dw, 1, "xm_zongtz", ""), 1);
    EXPECT_FALSE(dw->GetItemDecimal(1, "xm_zongtz").has_value());

    for (const char* bad : {"12x", "3.5", "99999999999", "2147483648"}) {
        EXPECT_EQ(Type(*dw, 1, "xm_huis", bad), -1) << bad;
        dw->SetText("7");
    }
    EXPECT_EQ(dw->AcceptText(), 1);
    EXPECT_EQ(dw->GetItemNumber(1, "xm_huis"), 7.0);
    EXPECT_EQ(Type(*dw, 1, "xm_huis", "-2147483648"), 1);

    // SetItem converts by the column's type and refuses what does not convert.
    EXPECT_EQ(dw->SetItem(1, "xm_huis", Value("2025")), 1);
    EXPECT_EQ(dw->GetItem(1, "xm_huis"), Value(2025));
    EXPECT_EQ(dw->SetItem(1, "xm_huis", Value("twenty")), -1);
    EXPECT_EQ(dw->SetItem(1, "xm_huis", Value(std::int64_t{1} << 40)), -1);
    EXPECT_EQ(dw->SetItem(1, "xm_zongtz", Value("0.1")), 1);
    EXPECT_EQ(dw->GetItem(1, "xm_zongtz"), Value(Decimal::FromCents(10)));
    ASSERT_EQ(dw->Update(), 1);
    auto again = Open("dw_512", {"P1"});
    EXPECT_EQ(again->GetItemDecimal(1, "xm_zongtz"), Decimal::FromCents(10));
    EXPECT_EQ(again->GetItem(1, "xm_huis"), Value(2025));
}

// ---- codes and drop-downs --------------------------------------------------------------------------

TEST_F(DataWindowTest, CodesShowTheirDisplayTextOfTheirOwnObject) {
    AddProject("P1");
    AddPerson("P1", 1, "张三", "303");
    AddPerson("P1", 2, "李四", "302");
    auto dw = Open("dw_1", {"P1"});
    EXPECT_EQ(dw->LookUpDisplay(1, "jb_awardcode"), "4  社会公益 ");
    EXPECT_EQ(dw->Describe("Evaluate('LookUpDisplay(JB_AWARDCODE)', 1)"), "4  社会公益 ");
    EXPECT_EQ(dw->GetFormattedText(1, "jb_awardcode"), "4  社会公益 ");
    EXPECT_EQ(dw->LookUpDisplay(1, "xk_grpno"), "");  // null has no display text

    auto form = Open("dw_71", {"P1", 1});
    EXPECT_EQ(form->LookUpDisplay(1, "zc_titlecode"), "其它中级");
    auto list = Open("dw_72", {"P1"});
    ASSERT_EQ(list->RowCount(), 2);
    EXPECT_EQ(list->LookUpDisplay(1, "zc_titlecode"), "其它副高级");
    EXPECT_EQ(list->Describe("Evaluate('LookUpDisplay(ZC_TITLECODE)',2)"),
              "");  // 302 is not in the list's table
    EXPECT_EQ(list->Describe("Evaluate('LookUpDisplay(xb_sex)', 1)"), "男");

    // A drop-down list takes its display text or its data value and stores the data value.
    dw->itemerror = [](long, std::string_view, std::string_view, std::string_view) { return 1; };
    EXPECT_EQ(Type(*dw, 1, "jb_awardcode", "2  技术发明"), 1);
    EXPECT_EQ(dw->GetItemString(1, "jb_awardcode"), "2");
    EXPECT_EQ(dw->GetText(), "2  技术发明");
    EXPECT_EQ(Type(*dw, 1, "jb_awardcode", "5"), 1);
    EXPECT_EQ(dw->GetItemString(1, "jb_awardcode"), "5");
    EXPECT_EQ(Type(*dw, 1, "jb_awardcode", "7"), -1);
}

TEST_F(DataWindowTest, RecommendingUnitShowsTheNameFromTheDropDownDataWindow) {
    std::vector<Value> unit(2);
    ASSERT_EQ(t_.SelectInto("SELECT st_code, st_chdescr FROM recomdept "
                            "WHERE st_code = (SELECT max(st_code) FROM recomdept)",
                            {}, unit),
              0)
        << t_.SQLErrText;
    AddProject("P1");
    Exec("UPDATE j_xm_base SET bm_deptcode = ? WHERE xm_id = 'P1'", {unit[0]});

    auto dw = Open("dw_1", {"P1"});
    DataWindow* child = dw->GetChild("bm_deptcode");
    ASSERT_NE(child, nullptr);
    EXPECT_GT(child->RowCount(), 1);
    EXPECT_EQ(dw->GetChild("xm_name"), nullptr);
    EXPECT_EQ(dw->GetFormattedText(1, "bm_deptcode"), unit[1].ToText());
    EXPECT_EQ(dw->LookUpDisplay(1, "bm_deptcode"), unit[1].ToText());

    // Picking a unit by its name stores its code.
    std::string firstName = *child->GetItemString(1, "st_chdescr");
    EXPECT_EQ(Type(*dw, 1, "bm_deptcode", firstName), 1);
    EXPECT_EQ(dw->GetItemString(1, "bm_deptcode"), child->GetItemString(1, "st_code"));
    EXPECT_EQ(Type(*dw, 1, "bm_deptcode", "没有这个单位"), -1);
}

TEST_F(DataWindowTest, CheckBoxStoresItsOnAndOffValues) {
    AddProject("P1");
    Exec("INSERT INTO j_yy_app (xm_id, yy_id, sf_submit) VALUES ('P1', 1, '0')");
    auto dw = Open("dw_91", {"P1"});
    dw->itemerror = [](long, std::string_view, std::string_view, std::string_view) { return 1; };
    EXPECT_EQ(Type(*dw, 1, "sf_submit", "1"), 1);
    EXPECT_EQ(dw->GetItemString(1, "sf_submit"), "1");
    ASSERT_EQ(dw->Update(), 1);
    EXPECT_EQ(Read("SELECT sf_submit FROM j_yy_app WHERE yy_id = 1"), Value("1"));
    EXPECT_EQ(Type(*dw, 1, "sf_submit", "0"), 1);
    EXPECT_EQ(Type(*dw, 1, "sf_submit", "yes"), -1);
    dw->SetText("0");
    ASSERT_EQ(dw->Update(), 1);
    EXPECT_EQ(Read("SELECT sf_submit FROM j_yy_app WHERE yy_id = 1"), Value("0"));
}

// ---- computed totals -------------------------------------------------------------------------------

TEST_F(DataWindowTest, YearTotalsAddExactlyAndFollowAcceptedChanges) {
    AddProject("P1");
    const char* insert =
        "INSERT INTO j_xy_saving (xm_id, xy_year, xy_addvalue, xy_zhijorjianj) VALUES ('P1', ?, ?, ?)";
    Exec(insert, {"2019", Decimal::FromCents(123450), "1"});
    Exec(insert, {"2020", Decimal::FromCents(10000), "1"});
    Exec(insert, {"2021", Value(), "1"});
    Exec(insert, {"2020", Decimal::FromCents(99999900), "0"});  // indirect: another object's row
    auto dw = Open("dw_51", {"P1"});
    ASSERT_EQ(dw->RowCount(), 3);
    EXPECT_EQ(dw->GetComputedValue("compute_1"), Value(Decimal::FromCents(133450)));
    EXPECT_EQ(dw->GetComputedText("COMPUTE_1"), "1,334.50");
    EXPECT_EQ(dw->GetComputedText("compute_2"), ".00");
    EXPECT_EQ(dw->GetFormattedText(1, "xy_addvalue"), "1,234.50");

    EXPECT_EQ(Type(*dw, 3, "xy_addvalue", "1,000.05"), 1);
    EXPECT_EQ(dw->GetComputedText("compute_1"), "2,334.55");
    // Pending text does not count until it is accepted; a refused one never does.
    dw->SetText("5");
    EXPECT_EQ(dw->GetComputedText("compute_1"), "2,334.55");
    // The year is not typed over.
    EXPECT_EQ(dw->SetColumn("xy_year"), -1);
    EXPECT_EQ(dw->GetColumnName(), "xy_addvalue");
    EXPECT_EQ(dw->GetComputedText("no_such"), "");
}

// ---- row and item focus ----------------------------------------------------------------------------

TEST_F(DataWindowTest, RowFocusChangesFireExactlyOncePerChange) {
    for (const char* id : {"P1", "P2", "P3", "P4"}) AddProject(id);
    DataWindow dw(kFlagList);
    dw.SetTransObject(t_);
    std::vector<long> events;
    dw.rowfocuschanged = [&](long row) { events.push_back(row); };

    EXPECT_EQ(dw.Retrieve(), 4);
    EXPECT_EQ(events, (std::vector<long>{1}));  // from no row to a row
    EXPECT_EQ(dw.Retrieve(), 4);
    EXPECT_EQ(events, (std::vector<long>{1}));  // row 1 before and after: no change

    EXPECT_EQ(dw.SetRow(3), 1);
    EXPECT_EQ(dw.SetRow(3), 1);
    EXPECT_EQ(dw.SetRow(9), -1);
    EXPECT_EQ(dw.ScrollToRow(99), 1);
    EXPECT_EQ(dw.ScrollNextRow(), 4);
    EXPECT_EQ(dw.ScrollPriorRow(), 3);
    EXPECT_EQ(dw.ScrollToRow(-5), 1);
    EXPECT_EQ(dw.ScrollPriorRow(), 1);
    EXPECT_EQ(events, (std::vector<long>{1, 3, 4, 3, 1}));

    events.clear();
    EXPECT_EQ(dw.DeleteRow(0), 1);  // the current row goes, the next takes its place
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(dw.GetItemString(dw.GetRow(), "xm_id"), "P2");
    dw.ScrollToRow(3);
    events.clear();
    EXPECT_EQ(dw.DeleteRow(0), 1);  // the last row goes: the new last one is current
    EXPECT_EQ(events, (std::vector<long>{2}));
    EXPECT_EQ(dw.DeleteRow(1), 1);  // a row above the current one: it stays on its row
    EXPECT_EQ(events, (std::vector<long>{2, 1}));
    EXPECT_EQ(dw.GetItemString(1, "xm_id"), "P3");
    EXPECT_EQ(dw.DeleteRow(1), 1);
    EXPECT_EQ(events, (std::vector<long>{2, 1, 0}));
    EXPECT_EQ(dw.GetRow(), 0);
    EXPECT_EQ(dw.DeleteRow(0), -1);

    events.clear();
    EXPECT_EQ(dw.Retrieve(), 4);
    EXPECT_EQ(events, (std::vector<long>{1}));
    EXPECT_EQ(dw.TriggerEvent("RowFocusChanged"), 1);
    EXPECT_EQ(events, (std::vector<long>{1, 1}));
}

TEST_F(DataWindowTest, RowFocusHandlersMayMoveAndReloadTheSameDataWindow) {
    for (const char* id : {"P1", "P2", "P3"}) AddProject(id);
    DataWindow dw(kFlagList);
    dw.SetTransObject(t_);
    std::vector<long> events;
    dw.rowfocuschanged = [&](long row) {
        events.push_back(row);
        if (row == 2) dw.SetRow(3);   // move on inside the handler
        if (row == 3) dw.Retrieve();  // reload: row 1 becomes current, which is no change from 0
    };
    dw.Retrieve();
    EXPECT_EQ(dw.SetRow(2), 1);
    EXPECT_EQ(events, (std::vector<long>{1, 2, 3}));
    EXPECT_EQ(dw.GetRow(), 1);  // the nested Retrieve made row 1 current without a change from 0
    EXPECT_EQ(dw.RowCount(), 3);

    // A handler that empties the DataWindow while its own deletion is being reported.
    events.clear();
    dw.rowfocuschanged = [&](long row) {
        events.push_back(row);
        if (dw.RowCount() > 0) dw.DeleteRow(dw.RowCount());
    };
    dw.ScrollToRow(3);
    EXPECT_EQ(dw.RowCount(), 0);
    EXPECT_EQ(dw.GetRow(), 0);
    EXPECT_EQ(events, (std::vector<long>{3, 2, 1, 0}));
}

TEST_F(DataWindowTest, ClicksAndColumnsMoveTheFocusAfterTheClickedHandler) {
    for (const char* id : {"P1", "P2"}) AddProject(id);
    DataWindow dw(kFlagList);
    dw.SetTransObject(t_);
    dw.Retrieve();
    std::vector<std::string> log;
    dw.rowfocuschanged = [&](long row) { log.push_back("row " + std::to_string(row)); };
    dw.itemfocuschanged = [&](long row, std::string_view col) {
        log.push_back("item " + std::to_string(row) + " " + std::string(col));
    };
    int keep = 1;
    dw.clicked = [&](long, long, long row, std::string_view) {
        log.push_back("click " + std::to_string(row));
        return keep;
    };
    EXPECT_EQ(dw.Click(2, "xm_xg"), 1);
    EXPECT_EQ(dw.GetRow(), 1);
    keep = 0;
    EXPECT_EQ(dw.Click(2, "XM_XG"), 1);
    EXPECT_EQ(dw.GetRow(), 2);
    EXPECT_EQ(dw.GetColumnName(), "xm_xg");
    EXPECT_EQ(log, (std::vector<std::string>{"click 2", "click 2", "row 2", "item 2 xm_xg"}));
    EXPECT_EQ(dw.SetColumn(1), 1);
    EXPECT_EQ(dw.GetColumnName(), "xm_askno");
    // Display-only: the cursor goes there, typing does not.
    EXPECT_EQ(dw.SetText("x"), -1);
    EXPECT_EQ(dw.SetColumn(0), -1);
    EXPECT_EQ(dw.SetColumn("no_such_column"), -1);
}

// ---- accepting typed text --------------------------------------------------------------------------

TEST_F(DataWindowTest, ItemChangedDecidesWhetherTypedTextIsStored) {
    AddProject("P1", "原名");
    AddProject("P2", "原名二");
    auto dw = Open(kFlagList, {});
    int answer = 1;
    std::vector<std::string> seen;
    dw->itemchanged = [&](long row, std::string_view col, std::string_view data) {
        seen.push_back(std::to_string(row) + " " + std::string(col) + " " + std::string(data));
        return answer;
    };
    std::vector<long> moves;
    dw->rowfocuschanged = [&](long row) { moves.push_back(row); };

    ASSERT_EQ(dw->SetColumn("xm_xg"), 1);
    ASSERT_EQ(dw->SetText("1"), 1);
    EXPECT_EQ(dw->AcceptText(), -1);  // rejected: value kept, text pending, focus stays
    EXPECT_EQ(seen, (std::vector<std::string>{"1 xm_xg 1"}));
    EXPECT_TRUE(dw->EditPending());
    EXPECT_EQ(dw->GetText(), "1");
    EXPECT_EQ(dw->GetItemString(1, "xm_xg"), "0");
    EXPECT_EQ(dw->SetRow(2), -1);
    EXPECT_EQ(dw->GetRow(), 1);
    EXPECT_TRUE(moves.empty());
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_EQ(dw->ModifiedCount(), 0);

    answer = 2;  // rejected, and the edit is given up
    EXPECT_EQ(dw->AcceptText(), 1);
    EXPECT_FALSE(dw->EditPending());
    EXPECT_EQ(dw->GetText(), "0");
    EXPECT_EQ(dw->GetItemString(1, "xm_xg"), "0");

    answer = 0;
    dw->SetText("1");
    EXPECT_EQ(dw->SetRow(2), 1);  // accepts on the way
    EXPECT_EQ(dw->GetItemString(1, "xm_xg"), "1");
    EXPECT_EQ(moves, (std::vector<long>{2}));

    // The same value again: nothing stored, no event.
    seen.clear();
    dw->SetText("0");
    EXPECT_EQ(dw->AcceptText(), 1);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(dw->GetItemStatus(2, ""), ItemStatus::NotModified);

    // A handler that reloads the DataWindow: nothing is stored into a row that is gone.
    dw->itemchanged = [&](long, std::string_view, std::string_view) {
        dw->Retrieve();
        return 0;
    };
    dw->SetText("1");
    EXPECT_EQ(dw->AcceptText(), 1);
    EXPECT_EQ(dw->ModifiedCount(), 0);
    EXPECT_EQ(dw->GetItemString(2, "xm_xg"), "0");
}

TEST_F(DataWindowTest, RetrieveDropsPendingTextAndReselectRowReadsTheStoredRow) {
    AddProject("P1");
    auto dw = Open(kFlagList);
    dw->SetColumn("xm_xg");
    dw->SetText("1");
    Exec("UPDATE j_xm_base SET xm_xg = '1', xm_name = '别名' WHERE xm_id = 'P1'");
    dw->SetItem(1, "xm_askno", Value("1"));
    EXPECT_EQ(dw->ReselectRow(1), 1);
    EXPECT_FALSE(dw->EditPending());
    EXPECT_EQ(dw->GetItemString(1, "xm_xg"), "1");
    EXPECT_EQ(dw->GetItemString(1, "xm_name"), "别名");
    EXPECT_FALSE(dw->GetItemString(1, "xm_askno").has_value());
    EXPECT_EQ(dw->GetItemStatus(1, ""), ItemStatus::NotModified);
    EXPECT_EQ(dw->ReselectRow(2), -1);

    dw->SetText("0");
    EXPECT_EQ(dw->Retrieve(), 1);
    EXPECT_FALSE(dw->EditPending());
}

// ---- write-back by key -----------------------------------------------------------------------------

// An UPDATE finds its row by the values read of the columns it writes, a DELETE by those of every
// column, each exactly in the type it has: what was read is found, a value changed behind the
// DataWindow is not. SQLite's driver hands reals (and decimals of more than 13 whole digits) back
// rounded to 15 digits: a row holding one must still be found.
// Each value as the program stores it, and as another program may have stored it (`literal`, in
// SQL: SQLite keeps a date with its time of day, an amount with three decimals, each read as the
// program's own type would have it), is found again as read, and missed once changed since.
TEST_F(DataWindowTest, EveryTypeFindsItsRowAsReadAndMissesItOnceChanged) {
    struct Case {
        const char* object;
        const char* column;
        Value stored, changed;
        const char* literal = nullptr;
    };
    const auto dec = [](const char* text) { return Value(*Decimal::Parse(text)); };
    const std::vector<Case> cases = {
        {"dw_base", "xm_name", Value("ab  "), Value("ab")},
        {"dw_base", "xm_name", Value("中文 文本"), Value("中文 文本 ")},
        {"dw_base", "xm_ename", Value(), Value("x")},
        {"dw_base", "xm_ename", Value(""), Value()},
        {"dw_base", "xm_huis", Value(7), Value(-8)},
        {"dw_base", "xm_zongtz", dec("0.10"), dec("0.11")},
        {"dw_xy", "xy_addvalue", dec("1234567.89"), dec("1234567.88")},
        {"dw_xy", "xy_addvalue", dec("-0.05"), dec("0.05")},
        {"dw_xy", "xy_addvalue", dec("5.00"), dec("5.01")},
        {"dw_xy", "xy_addvalue", dec("99999999999999.99"), dec("99999999999999.00")},
        {"dw_ry", "ry_anum", Value(2.0 / 3.0), Value(0.666666666666668)},
        {"dw_ry", "ry_anum", Value(0.1), Value(0.2)},
        {"dw_ry", "ry_anum", Value(100.0), Value(99.9999999999999)},
        {"dw_ry", "ry_anum", Value(-1.2345678901234567e-300), Value(-1.23456789012345e-300)},
        {"dw_ry", "ry_birthday", Value(Date{2021, 5, 17}), Value(Date{2021, 5, 18})},
        {"dw_ry", "ry_birthday", Value(Date{1, 1, 1}), Value(Date{1, 1, 2})},
        {"dw_ry", "ry_birthday", Value(Date{2021, 5, 1}), Value(Date{2021, 5, 2}), "'2021-05-01 00:00:00'"},
        {"dw_ry", "ry_birthday", Value(Date{2021, 5, 1}), Value(Date{2021, 5, 2}), "'2021-05-01T08:30:00'"},
        {"dw_xy", "xy_addvalue", dec("12.35"), dec("12.36"), "12.345"},
        {"dw_xy", "xy_addvalue", dec("12.50"), dec("12.51"), "'12.5'"},
        {"dw_base", "xm_huis", Value(7), Value(8), "'7'"},
        {"dw_base", "xm_name", Value("12"), Value("13"), "12"},
        {"dw_ry", "ry_anum", Value(5.0), Value(5.5), "5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.column) + " " + (c.literal ? c.literal : c.stored.ToText()));
        const std::string object = c.object;
        const std::string table = object == "dw_base" ? "j_xm_base"
                                  : object == "dw_xy" ? "j_xy_saving"
                                                      : "j_ry_finish";
        const std::string set = "UPDATE " + table + " SET " + c.column + " = ?";
        auto stored = [&] {
            Exec("DELETE FROM " + table);
            Exec(object == "dw_base" ? "INSERT INTO j_xm_base (xm_id) VALUES ('P1')"
                 : object == "dw_xy"
                     ? "INSERT INTO j_xy_saving (xm_id, xy_year, xy_zhijorjianj) VALUES ('P1', '2020', '1')"
                     : "INSERT INTO j_ry_finish (xm_id, ry_no) VALUES ('P1', 1)");
            if (c.literal != nullptr)
                Exec("UPDATE " + table + " SET " + c.column + " = " + c.literal);
            else
                Exec(set, {c.stored});
            auto dw = Open(object, {"P1"});
            EXPECT_EQ(dw->RowCount(), 1);
            if (c.literal != nullptr) {
                EXPECT_EQ(dw->GetItem(1, c.column), c.stored);
            }
            return dw;
        };

        auto dw = stored();
        ASSERT_EQ(dw->SetItem(1, c.column, c.changed), 1);
        EXPECT_EQ(dw->Update(), 1) << "the UPDATE finds the value read";
        if (c.literal != nullptr) {
            EXPECT_EQ(Read("SELECT " + std::string(c.column) + " FROM " + table), c.changed);
        }
        Exec(set, {c.stored});
        dw->SetItem(1, c.column, c.changed);
        EXPECT_EQ(dw->Update(), -1) << "the UPDATE misses a value changed since";

        dw = stored();
        dw->DeleteRow(1);
        EXPECT_EQ(dw->Update(), 1) << "the DELETE finds the value read";
        EXPECT_EQ(CountRows("SELECT count(*) FROM " + table), 0);
        dw = stored();
        Exec(set, {c.changed});
        dw->DeleteRow(1);
        EXPECT_EQ(dw->Update(), -1) << "the DELETE misses a value changed since";
    }

    // A key stored in a form of its own (a number 2.5, which SQLite keeps as given and the list
    // shows as 3) finds its row as stored, for the UPDATE and the DELETE alike.
    Exec("DELETE FROM j_ry_finish");
    Exec("INSERT INTO j_ry_finish (xm_id, ry_no) VALUES ('P1', 2.5)");
    auto dw = Open("dw_ry", {"P1"});
    ASSERT_EQ(dw->RowCount(), 1);
    ASSERT_EQ(dw->SetItem(1, "ry_name", Value("张三")), 1);
    EXPECT_EQ(dw->Update(), 1) << "the UPDATE finds the key as stored";
    EXPECT_EQ(Read("SELECT ry_name FROM j_ry_finish"), Value("张三"));
    dw->DeleteRow(1);
    EXPECT_EQ(dw->Update(), 1) << "the DELETE finds the key as stored";
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_ry_finish"), 0);
}

// Two desktops, each with its own connection to the one database, read the same rows. Changes of
// different columns both arrive; a change of the same column, or of a row the other deleted, is a
// conflict that writes nothing; reading again keeping the edits lets the second one win without
// losing anything of either.
TEST_F(DataWindowTest, TwoDesktopsConflictOnlyOverTheSameColumnOrARowTheOtherDeleted) {
    AddProject("P1", "名称");
    for (int n = 1; n <= 4; ++n) AddAward("P1", n, "a" + std::to_string(n));
    ASSERT_EQ(t_.Commit(), 0);
    rt::Transaction other;
    db_->Connect(other);
    auto open = [](rt::Transaction& t, const char* object) {
        auto dw = std::make_unique<DataWindow>(object);
        dw->SetTransObject(t);
        EXPECT_EQ(dw->Retrieve({Value("P1")}), dw->DataObject() == "dw_1" ? 1 : 4);
        dw->dberror = [](long, std::string_view text, std::string_view) {
            ADD_FAILURE() << text;
            return 1;
        };
        t.Commit();
        return dw;
    };
    auto a = open(t_, "dw_1");
    auto b = open(other, "dw_1");
    auto save = [](DataWindow& dw, rt::Transaction& t) {
        const int result = dw.Update();
        result == 1 ? t.Commit() : t.Rollback();
        return result;
    };

    a->SetItem(1, "xm_name", Value("甲的名称"));
    ASSERT_EQ(save(*a, t_), 1);
    b->SetItem(1, "xm_ename", Value("B's name"));
    ASSERT_EQ(save(*b, other), 1);
    EXPECT_EQ(Read("SELECT xm_name FROM j_xm_base"), Value("甲的名称"));
    EXPECT_EQ(Read("SELECT xm_ename FROM j_xm_base"), Value("B's name"));
    t_.Commit();

    b->SetItem(1, "xm_name", Value("乙的名称"));
    EXPECT_EQ(save(*b, other), -1);
    ASSERT_TRUE(b->LastUpdateConflict());
    EXPECT_FALSE(b->LastUpdateConflict()->deleted);
    EXPECT_EQ(b->GetItemStatus(1, "xm_name"), ItemStatus::DataModified);
    ASSERT_EQ(b->RetrieveKeepingEdits(), 1);
    other.Commit();
    EXPECT_EQ(b->GetItem(1, "xm_name"), Value("乙的名称"));
    EXPECT_EQ(b->GetItem(1, "xm_name", Buffer::Primary, true), Value("甲的名称"));
    EXPECT_EQ(b->ModifiedCount(), 1);
    ASSERT_EQ(save(*b, other), 1);
    EXPECT_EQ(Read("SELECT xm_name FROM j_xm_base"), Value("乙的名称"));
    t_.Commit();

    // A list: A deletes a2 and renames a4; B, still showing them, renames a1 and a2, deletes a3 and
    // a4 and adds a new row before a3.
    a = open(t_, "dw_6");
    b = open(other, "dw_6");
    a->DeleteRow(2);
    a->SetItem(3, "jx_name", Value("a4 by A"));
    ASSERT_EQ(save(*a, t_), 1);
    b->SetItem(1, "jx_name", Value("a1 by B"));
    b->SetItem(2, "jx_name", Value("a2 by B"));
    b->DeleteRow(4);
    b->DeleteRow(3);
    ASSERT_EQ(b->InsertRow(3), 3);
    b->SetItem(3, "xm_id", Value("P1"));
    b->SetItem(3, "jx_id", Value(9));
    EXPECT_EQ(save(*b, other), -1);
    ASSERT_TRUE(b->LastUpdateConflict());
    EXPECT_EQ(b->LastUpdateConflict()->buffer, Buffer::Delete) << "a4, changed by A";
    EXPECT_EQ(b->LastUpdateConflict()->row, 1);
    EXPECT_FALSE(b->LastUpdateConflict()->deleted);
    EXPECT_EQ(b->DeletedCount(), 2);
    EXPECT_EQ(b->ModifiedCount(), 3);

    // Reading again keeps B's rename of a1, B's new row at its place and B's deletions of what is
    // still stored; a2, deleted by A, does not come back.
    ASSERT_EQ(b->RowCount(), 3);
    ASSERT_EQ(b->RetrieveKeepingEdits(), 2);
    other.Commit();
    EXPECT_EQ(b->GetItem(1, "jx_name"), Value("a1 by B"));
    EXPECT_EQ(b->GetItemStatus(1, ""), ItemStatus::DataModified);
    EXPECT_EQ(b->GetItem(2, "jx_id"), Value(9));
    EXPECT_EQ(b->GetItemStatus(2, ""), ItemStatus::NewModified);
    EXPECT_EQ(b->DeletedCount(), 2);
    EXPECT_EQ(b->GetItem(1, "jx_name", Buffer::Delete), Value("a4 by A")) << "as it is stored";
    EXPECT_EQ(b->GetItem(2, "jx_name", Buffer::Delete), Value("a3"));
    ASSERT_EQ(save(*b, other), 1);
    std::vector<std::vector<Value>> rows;
    ASSERT_EQ(t_.Query("SELECT jx_id, jx_name FROM j_jx_getaward ORDER BY jx_id", {}, rows), 0);
    std::string stored;
    for (const auto& r : rows) stored += r[0].ToText() + ":" + r[1].ToText() + ",";
    EXPECT_EQ(stored, "1:a1 by B,9:,");
}

// ---- the update plan, without a database ------------------------------------------------------------

// The statements an Update issues, made from the compiled object and the row buffers alone.
class UpdatePlanTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { schema::RegisterDataObjects(); }

    // The object, and its rows as read: the named items set, the others null.
    void Load(const char* name, const std::vector<std::vector<std::pair<const char*, Value>>>& read) {
        object_ = std::make_unique<rt::dw::CompiledObject>(*rt::FindDefinition(name));
        rows_ = rt::dw::RowBuffers();
        for (const auto& items : read) rows_.primary.push_back(rows_.Read(Values(items)));
    }
    std::vector<Value> Values(const std::vector<std::pair<const char*, Value>>& items) const {
        std::vector<Value> values(object_->def.columns.size());
        for (const auto& [column, v] : items) values[static_cast<std::size_t>(object_->Col(column))] = v;
        return values;
    }
    void Set(long row, const char* column, const Value& v) {
        rows_.primary[static_cast<std::size_t>(row - 1)].Store(static_cast<std::size_t>(object_->Col(column)),
                                                               v);
    }
    long Insert(long before) {
        rows_.primary.insert(rows_.primary.begin() + (before - 1),
                             rows_.Make(ItemStatus::New, object_->def.columns.size()));
        return before;
    }
    void Saved() {
        rows_.ResetFlags([&](const rt::dw::Row& x) { return rt::dw::Inserts(*object_, x); });
    }

    // One line per statement: the row it must find (buffer and number) or "insert", the SQL and
    // the bound values.
    std::vector<std::string> Plan() const {
        const rt::dw::UpdatePlan plan = rt::dw::PlanUpdate(*object_, rows_);
        std::vector<std::string> lines;
        for (const rt::dw::Statement& st : plan.statements) {
            std::string line = !st.mustMatch                 ? std::string("insert")
                               : st.buffer == Buffer::Delete ? "delete " + std::to_string(st.index + 1)
                                                             : "row " + std::to_string(st.index + 1);
            line += ": " + st.sql + " |";
            for (const Value& v : st.args) line += " " + (v.IsNull() ? std::string("null") : v.ToText());
            lines.push_back(line);
        }
        return lines;
    }

    std::unique_ptr<rt::dw::CompiledObject> object_;
    rt::dw::RowBuffers rows_;
};

// Deletions first, so that a number can be given again; then each row in row order, an INSERT with
// the columns that were set, an UPDATE with the changed columns, each finding its row by the key as
// read (a typed-over key included) and the values read of what it writes; a DELETE by every value
// read. Untouched new rows are never written.
TEST_F(UpdatePlanTest, DeletesFirstThenWritesEachRowInRowOrderFoundByWhatItRead) {
    const Date placeholder{1, 1, 1};
    Load("dw_6", {{{"xm_id", "P1"}, {"jx_id", 1}, {"jx_name", "a1"}, {"jx_date", placeholder}},
                  {{"xm_id", "P1"}, {"jx_id", 2}, {"jx_name", "a2"}, {"jx_date", placeholder}},
                  {{"xm_id", "P1"}, {"jx_id", 3}, {"jx_name", "a3"}, {"jx_date", placeholder}},
                  {{"xm_id", "P1"}, {"jx_id", 4}, {"jx_name", "a4"}, {"jx_date", placeholder}}});
    Set(4, "jx_grade", "一等");
    Insert(2);  // before a2, which it replaces
    Set(2, "xm_id", "P1");
    Set(2, "jx_id", 2);
    Insert(6);  // untouched
    Set(1, "jx_id", 9);
    rows_.Remove(3);  // a2
    Set(3, "jx_name", "a3 again");
    EXPECT_EQ(Plan(),
              (std::vector<std::string>{
                  "delete 1: DELETE FROM j_jx_getaward WHERE jx_id = ? AND xm_id = ? AND jx_xmname IS NULL "
                  "AND jx_date = ? AND jx_name = ? AND jx_grade IS NULL AND jx_grantdept IS NULL | 2 P1 "
                  "0001-01-01 a2",
                  "row 1: UPDATE j_jx_getaward SET jx_id = ? WHERE jx_id = ? AND xm_id = ? | 9 1 P1",
                  "insert: INSERT INTO j_jx_getaward (jx_id, xm_id) VALUES (?, ?) | 2 P1",
                  "row 3: UPDATE j_jx_getaward SET jx_name = ? WHERE jx_id = ? AND xm_id = ? AND jx_name = ? "
                  "| a3 again 3 P1 a3",
                  "row 4: UPDATE j_jx_getaward SET jx_grade = ? WHERE jx_id = ? AND xm_id = ? AND jx_grade "
                  "IS NULL | 一等 4 P1",
              }));

    // Once saved, what was written is what was read: the new number finds the row.
    Saved();
    EXPECT_EQ(rows_.primary[4].status, ItemStatus::New);
    EXPECT_TRUE(Plan().empty());
    Set(1, "jx_name", Value());
    EXPECT_EQ(Plan(),
              std::vector<std::string>{"row 1: UPDATE j_jx_getaward SET jx_name = ? WHERE jx_id = ? AND "
                                       "xm_id = ? AND jx_name = ? | null 9 P1 a1"});
}

// A list that carries columns it does not write neither writes them nor compares them, nor inserts a
// new row in which only they were set; an object without a key plans nothing that must find a row.
TEST_F(UpdatePlanTest, OnlyTheColumnsTheObjectWritesAreWrittenAndCompared) {
    Load("dw_72", {{{"xm_id", "P1"}, {"ry_no", 1}, {"ry_name", "张三"}, {"xb_sex", "1"}}});
    Set(1, "xb_sex", "2");
    Set(1, "ry_birthday", Date{1980, 1, 1});
    EXPECT_TRUE(Plan().empty());
    Set(1, "ry_unit", "某单位");
    Insert(2);
    Set(2, "xb_sex", "2");
    EXPECT_EQ(Plan(), std::vector<std::string>{
                          "row 1: UPDATE j_ry_finish SET ry_unit = ? WHERE ry_no = ? AND xm_id = ? "
                          "AND ry_unit IS NULL | 某单位 1 P1"});
    Saved();
    EXPECT_EQ(rows_.primary[1].status, ItemStatus::New) << "not inserted, so still new";
    rows_.Remove(1);
    EXPECT_EQ(Plan(),
              std::vector<std::string>{"delete 1: DELETE FROM j_ry_finish WHERE ry_no = ? AND xm_id = ? AND "
                                       "ry_name = ? AND ry_unit = ? AND zc_titlecode IS NULL | 1 P1 张三 "
                                       "某单位"});

    rt::DataWindowDef keyless = *rt::FindDefinition("dw_6");
    for (rt::ColumnDef& c : keyless.columns) c.key = false;
    object_ = std::make_unique<rt::dw::CompiledObject>(keyless);
    rows_ = rt::dw::RowBuffers();
    rows_.primary.push_back(rows_.Read(Values({{"jx_id", 1}})));
    Insert(2);
    Set(2, "jx_id", 2);
    EXPECT_FALSE(rt::dw::PlanUpdate(*object_, rows_).keyMissing) << "an INSERT needs no key";
    Set(1, "jx_name", "x");
    EXPECT_TRUE(rt::dw::PlanUpdate(*object_, rows_).keyMissing);
    EXPECT_TRUE(Plan().empty());
}

// Rows kept out of sight in the filter buffer have no place among the rows shown: keeping the edits
// over the rows read again is refused, and every row stays where it was, rather than one put
// anywhere.
TEST_F(UpdatePlanTest, KeepingEditsRefusesRowsKeptOutOfSight) {
    Load("dw_6", {{{"xm_id", "P1"}, {"jx_id", 1}, {"jx_name", "a1"}}});
    Set(1, "jx_name", "typed");
    rows_.filter.push_back(rows_.Make(ItemStatus::NewModified, object_->def.columns.size()));
    const std::vector<std::string> before = Plan();
    std::vector<rt::dw::Row> fresh{
        rows_.Read(Values({{"xm_id", "P1"}, {"jx_id", 1}, {"jx_name", "stored"}}))};
    EXPECT_FALSE(rows_.KeepEdits(std::move(fresh), object_->keys));
    EXPECT_EQ(rows_.primary.size(), 1u);
    EXPECT_EQ(rows_.filter.size(), 1u);
    EXPECT_EQ(Plan(), before);
}

// SQLite's driver hands a real back rounded to 15 significant digits, and a decimal of more than 13
// whole digits too: such a value finds its row through the range of numbers that round to it. A
// value with more digits was read exactly and compares exactly.
TEST_F(UpdatePlanTest, ANumberThatMayHaveBeenReadRoundedIsComparedAsTheRangeThatRoundsToIt) {
    Load("dw_ry", {{{"xm_id", "P1"}, {"ry_no", 1}, {"ry_anum", 0.666666666666667}},
                   {{"xm_id", "P1"}, {"ry_no", 2}, {"ry_anum", 2.0 / 3.0}},
                   {{"xm_id", "P1"}, {"ry_no", 3}, {"ry_anum", -100.0}}});
    for (long r = 1; r <= 3; ++r) rows_.Remove(1);
    const rt::dw::UpdatePlan plan = rt::dw::PlanUpdate(*object_, rows_);
    ASSERT_EQ(plan.statements.size(), 3u);
    auto range = [](const rt::dw::Statement& st) {
        EXPECT_NE(st.sql.find("ry_anum BETWEEN ? AND ?"), std::string::npos) << st.sql;
        return std::make_pair(*st.args.at(2).Real(), *st.args.at(3).Real());
    };
    const auto [low, high] = range(plan.statements[0]);
    EXPECT_LE(low, 2.0 / 3.0);
    EXPECT_GE(high, 2.0 / 3.0);
    EXPECT_GE(high, 0.6666666666666675);
    EXPECT_LT(high, 0.666666666666668);
    EXPECT_GT(low, 0.666666666666666);
    EXPECT_NE(plan.statements[1].sql.find("ry_anum = ?"), std::string::npos) << "16 digits: read exactly";
    const auto [below, above] = range(plan.statements[2]);
    EXPECT_LE(below, -100.0000000000005);
    EXPECT_GT(below, -100.000000000001);
    EXPECT_GE(above, -99.99999999999995) << "a power of ten: finer below it";
    EXPECT_LT(above, -99.9999999999999);

    Load("dw_xy", {{{"xm_id", "P1"},
                    {"xy_year", "2020"},
                    {"xy_zhijorjianj", "1"},
                    {"xy_addvalue", Value(*Decimal::Parse("100000000000000.00"))},
                    {"xy_addinterest", Value(*Decimal::Parse("9999999999999.99"))}}});
    rows_.Remove(1);
    const std::vector<std::string> lines = Plan();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("xy_addvalue BETWEEN ? AND ? AND xy_addinterest = ?"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find(" 9999999999999995e-2 1000000000000005e-1 9999999999999.99"), std::string::npos)
        << lines[0];
}

// ---- retrieval -------------------------------------------------------------------------------------

TEST_F(DataWindowTest, RetrievalArgumentsAreBoundByNameAndNeverPasted) {
    AddProject("P1", "name");
    AddProject("P2", "it's :current");
    rt::DataWindowDef def;
    def.name = "t_arguments";
    def.select =
        "SELECT j_xm_base.xm_id, j_xm_base.xm_name FROM j_xm_base WHERE j_xm_base.xm_name <> ':current' "
        "AND j_xm_base.xm_id = :Current OR j_xm_base.xm_name = :other";
    def.arguments = {{"other", rt::ColType::Char}, {"current", rt::ColType::Char}};
    rt::ColumnDef id;
    id.name = "xm_id";
    id.dbName = "j_xm_base.xm_id";
    id.length = 40;
    rt::ColumnDef name = id;
    name.name = "xm_name";
    name.dbName = "j_xm_base.xm_name";
    def.columns = {id, name};
    rt::RegisterDefinition(def);

    DataWindow dw("T_ARGUMENTS");
    dw.SetTransObject(t_);
    EXPECT_EQ(dw.Retrieve({Value("it's :current"), Value("P1")}), 2);
    EXPECT_EQ(dw.Retrieve({Value("x' OR 1=1 --"), Value("none")}), 0);
    EXPECT_EQ(dw.GetRow(), 0);

    // Person 2 of P1 through the number argument.
    AddPerson("P1", 1, "一", "011");
    AddPerson("P1", 2, "二", "011");
    auto form = Open("dw_71", {"P1", 2});
    ASSERT_EQ(form->RowCount(), 1);
    EXPECT_EQ(form->GetItemString(1, "ry_name"), "二");
    EXPECT_EQ(form->GetItem(1, "ry_no"), Value(2));
    EXPECT_EQ(form->Retrieve({Value("99999999"), Value(1)}), 0);
}

TEST_F(DataWindowTest, FailedRetrieveReportsTheDatabaseErrorAndKeepsTheRows) {
    AddProject("P1");
    rt::DataWindowDef def;
    def.name = "t_broken";
    def.select = "SELECT no_such_column FROM j_xm_base";
    rt::ColumnDef c;
    c.name = "x";
    c.length = 10;
    def.columns = {c};
    rt::RegisterDefinition(def);

    auto good = Open(kFlagList);
    ASSERT_EQ(good->RowCount(), 1);
    DataWindow dw("t_broken");
    dw.SetTransObject(t_);
    std::string text, sql;
    dw.dberror = [&](long, std::string_view t, std::string_view s) {
        text = t;
        sql = s;
        return 1;
    };
    EXPECT_EQ(dw.Retrieve(), -1);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text, t_.SQLErrText);
    EXPECT_EQ(sql, "SELECT no_such_column FROM j_xm_base");
    EXPECT_EQ(dw.SetDataObject("no_such_object"), -1);
    EXPECT_EQ(dw.DataObject(), "t_broken");
}

TEST_F(DataWindowTest, MissingRowsAndColumnsGiveNothingAndNeverCrash) {
    DataWindow empty;
    EXPECT_EQ(empty.RowCount(), 0);
    EXPECT_EQ(empty.InsertRow(0), -1);
    EXPECT_EQ(empty.GetText(), "");
    EXPECT_EQ(empty.Describe("xm_id.Tag"), "!");
    EXPECT_EQ(empty.AcceptText(), 1);

    AddProject("P1");
    auto dw = Open("dw_1", {"P1"});
    EXPECT_FALSE(dw->GetItemString(2, "xm_name").has_value());
    EXPECT_FALSE(dw->GetItemString(0, "xm_name").has_value());
    EXPECT_TRUE(dw->GetItem(1, "no_such_column").IsNull());
    EXPECT_FALSE(dw->GetItemDate(1, "xm_name").has_value());
    EXPECT_FALSE(dw->GetItemString(1, 99).has_value());
    EXPECT_FALSE(dw->GetItemString(1, "xm_name", Buffer::Delete).has_value());
    EXPECT_EQ(dw->LookUpDisplay(5, "jb_awardcode"), "");
    EXPECT_EQ(dw->GetFormattedText(1, "nope"), "");
    EXPECT_EQ(dw->SetItem(3, "xm_name", Value("x")), -1);
    EXPECT_EQ(dw->SetItem(1, "nope", Value("x")), -1);
    EXPECT_EQ(dw->SetItem(1, 0, Value("x")), -1);
    EXPECT_EQ(dw->DeleteRow(5), -1);
    EXPECT_EQ(dw->SetRow(0), -1);
    EXPECT_EQ(dw->SelectRow(4, true), -1);
    EXPECT_EQ(dw->Describe("nope.Tag"), "!");
    EXPECT_EQ(dw->Describe("Evaluate('LookUpDisplay(nope)', 1)"), "!");
    EXPECT_EQ(dw->Describe("Evaluate('LookUpDisplay(jb_awardcode)', 7)"), "");
    EXPECT_EQ(dw->Describe("xm_name.Tag"), "中文项目名称，限30个汉字。");
    EXPECT_EQ(dw->Describe("XM_NAME.ColType"), "char(100)");
    EXPECT_EQ(dw->Describe("xm_startdate.coltype"), "date");
    EXPECT_EQ(dw->GetItemStatus(9, ""), ItemStatus::NotModified);
    EXPECT_EQ(dw->TriggerEvent("no_such_event"), -1);

    // Display-only subject fields take the cursor but no typing.
    ASSERT_EQ(dw->SetColumn("xk_majorname1"), 1);
    EXPECT_EQ(dw->SetText("x"), -1);
    EXPECT_FALSE(dw->EditPending());
}

TEST_F(DataWindowTest, ObserversHearEveryChangeAndMayLeaveWhileBeingTold) {
    AddProject("P1");
    auto dw = Open("dw_1", {"P1"});
    std::vector<rt::Change> heard;
    int second = 0;
    int first = dw->AddObserver([&](rt::Change c, long, int) {
        heard.push_back(c);
        dw->RemoveObserver(second);
    });
    second = dw->AddObserver([&](rt::Change, long, int) { ADD_FAILURE() << "removed before being told"; });
    dw->SetItem(1, "xm_ename", Value("one"));
    long r = dw->InsertRow(0);
    dw->SetRow(r);
    dw->SetColumn("xm_ename");
    dw->SetText("two");
    dw->DeleteRow(r);
    dw->Retrieve({"P1"});
    dw->RemoveObserver(first);
    dw->SetItem(1, "xm_ename", Value("three"));
    using rt::Change;
    EXPECT_EQ(heard, (std::vector<Change>{Change::ItemChanged, Change::RowInserted, Change::CurrentRow,
                                          Change::CurrentColumn, Change::EditText, Change::EditText,
                                          Change::RowDeleted, Change::CurrentRow, Change::Reset}));
}

TEST_F(DataWindowTest, UnhandledErrorsAreSaidThroughTheMessageHook) {
    std::vector<std::string> said;
    DataWindow::SetMessageHook([&](std::string_view title, std::string_view text) {
        said.push_back(std::string(title) + ": " + std::string(text));
    });
    struct Unhook {
        ~Unhook() { DataWindow::SetMessageHook(nullptr); }
    } unhook;

    AddProject("P1");
    auto dw = Open("dw_1", {"P1"});
    EXPECT_EQ(Type(*dw, 1, "xm_askno", "abcd"), -1);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("abcd"), std::string::npos) << said[0];
    // The same refusal in the same user action (the save's AcceptText, then its Update) is not
    // said again; the next action says it again.
    EXPECT_EQ(dw->AcceptText(), -1);
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_EQ(said.size(), 1u);
    DataWindow::UserAction();
    EXPECT_EQ(dw->AcceptText(), -1);
    ASSERT_EQ(said.size(), 2u);
    said.pop_back();
    dw->itemerror = [](long, std::string_view, std::string_view, std::string_view) { return 1; };
    DataWindow::UserAction();
    EXPECT_EQ(dw->AcceptText(), -1);
    EXPECT_EQ(said.size(), 1u);
    dw->SetText("");

    // A row that another desktop deleted is no database error, and says nothing.
    dw->SetItem(1, "xm_name", Value("x"));
    Exec("DELETE FROM j_xm_base");
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_EQ(said.size(), 1u);
    AddProject("P1");
    EXPECT_EQ(dw->InsertRow(0), 2);
    dw->SetItem(2, "xm_id", Value("P1"));
    EXPECT_EQ(dw->Update(), -1);
    ASSERT_EQ(said.size(), 2u);
    EXPECT_NE(said[1].find("INSERT INTO j_xm_base"), std::string::npos) << said[1];
}

// ---- the database failing under the DataWindow ------------------------------------------------------
// Whatever the database does, every call returns its failure code, dberror hears the driver's
// diagnostic, the rows and their pending changes stay for a later attempt, and nothing is committed.

struct ErrorLog {
    std::vector<std::string> texts;
    std::function<int(long, std::string_view, std::string_view)> Handler() {
        return [this](long code, std::string_view text, std::string_view sql) {
            EXPECT_NE(code, 0) << text;  // a failure never arrives as code 0
            texts.push_back(std::string(text) + " | " + std::string(sql));
            return 1;
        };
    }
    bool Last(const std::string& part) const {
        return !texts.empty() && texts.back().find(part) != std::string::npos;
    }
};

TEST_F(DataWindowTest, WithoutAConnectionEveryCallFailsWithTheDiagnosticAndKeepsTheChanges) {
    AddProject("P1");
    AddAward("P1", 1, "a");
    AddAward("P1", 2, "b");
    ASSERT_EQ(t_.Commit(), 0);
    auto dw = Open("dw_6", {"P1"});
    ErrorLog log;
    dw->dberror = log.Handler();
    dw->SetItem(1, "jx_name", Value("a2"));
    dw->DeleteRow(2);
    long r = dw->InsertRow(0);
    dw->SetItem(r, "xm_id", Value("P1"));
    dw->SetItem(r, "jx_id", Value(3));

    ASSERT_EQ(t_.Disconnect(), 0);
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_TRUE(log.Last("not connected")) << log.texts.back();
    EXPECT_EQ(dw->Retrieve({Value("P1")}), -1);
    EXPECT_EQ(dw->ReselectRow(1), -1);
    EXPECT_EQ(log.texts.size(), 3u);
    EXPECT_EQ(dw->RowCount(), 2);
    EXPECT_EQ(dw->GetItemString(1, "jx_name"), "a2");
    EXPECT_EQ(dw->ModifiedCount(), 2);
    EXPECT_EQ(dw->DeletedCount(), 1);

    // A transaction that never connected.
    rt::Transaction never;
    DataWindow fresh("dw_1");
    fresh.SetTransObject(never);
    fresh.dberror = log.Handler();
    EXPECT_EQ(fresh.Retrieve({Value("P1")}), -1);
    EXPECT_EQ(fresh.RowCount(), 0);
    long n = fresh.InsertRow(0);
    fresh.SetItem(n, "xm_name", Value("x"));
    EXPECT_EQ(fresh.Update(), -1);
    EXPECT_EQ(fresh.GetItemStatus(n, ""), ItemStatus::NewModified);

    // Connected again, the same Update writes everything.
    db_->Connect(t_);
    ASSERT_EQ(dw->Update(), 1) << log.texts.back();
    ASSERT_EQ(t_.Commit(), 0);
    EXPECT_EQ(Read("SELECT jx_name FROM j_jx_getaward WHERE jx_id = 1"), Value("a2"));
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_jx_getaward WHERE jx_id = 2"), 0);
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_jx_getaward WHERE jx_id = 3"), 1);
}

TEST_F(DataWindowTest, AMissingTableFailsRetrieveUpdateAndReselectRowWithTheDiagnostic) {
    AddProject("P1");
    AddAward("P1", 1, "a");
    ASSERT_EQ(t_.Commit(), 0);
    auto dw = Open("dw_6", {"P1"});
    ErrorLog log;
    dw->dberror = log.Handler();
    dw->SetItem(1, "jx_name", Value("changed"));
    Exec("DROP TABLE j_jx_getaward");

    EXPECT_EQ(dw->Update(), -1);
    EXPECT_TRUE(log.Last(NoSuchTable("j_jx_getaward"))) << log.texts.back();
    EXPECT_EQ(dw->Retrieve({Value("P1")}), -1);
    EXPECT_TRUE(log.Last(NoSuchTable("j_jx_getaward"))) << log.texts.back();
    EXPECT_EQ(dw->ReselectRow(1), -1);
    EXPECT_TRUE(log.Last(NoSuchTable("j_jx_getaward"))) << log.texts.back();
    EXPECT_EQ(dw->RowCount(), 1);
    EXPECT_EQ(dw->GetItemStatus(1, ""), ItemStatus::DataModified);

    // The table comes back with the rollback, and the change is still there to write.
    ASSERT_EQ(t_.Rollback(), 0);
    EXPECT_EQ(dw->Update(), 1) << log.texts.back();
    EXPECT_EQ(Read("SELECT jx_name FROM j_jx_getaward WHERE jx_id = 1"), Value("changed"));
}

TEST_F(DataWindowTest, AMissingCodeTableIsOneErrorOfTheFormAndTheFormStillWorks) {
    AddProject("P1");
    Exec("UPDATE j_xm_base SET bm_deptcode = '1' WHERE xm_id = 'P1'");
    Exec("DROP TABLE recomdept");
    ASSERT_EQ(t_.Commit(), 0) << t_.SQLErrText;
    std::vector<std::string> said;
    DataWindow::SetMessageHook([&](std::string_view, std::string_view text) { said.emplace_back(text); });
    struct Unhook {
        ~Unhook() { DataWindow::SetMessageHook(nullptr); }
    } unhook;

    DataWindow dw("dw_1");
    ErrorLog log;
    dw.dberror = log.Handler();
    dw.SetTransObject(t_);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_TRUE(log.Last(NoSuchTable("recomdept"))) << log.texts.back();
    // A failure may end the transaction (see the session's tests): each command that meets one
    // ends it, as this one does.
    ASSERT_EQ(t_.Rollback(), 0);
    EXPECT_EQ(dw.Retrieve({Value("P1")}), 1) << t_.SQLErrText;
    EXPECT_EQ(log.texts.size(), 2u);  // tried again, since it never got its rows
    EXPECT_TRUE(said.empty());        // the form's handler took both
    ASSERT_EQ(t_.Rollback(), 0);
    EXPECT_EQ(dw.LookUpDisplay(1, "bm_deptcode"), "");
    EXPECT_EQ(dw.GetFormattedText(1, "bm_deptcode"), "");
    EXPECT_EQ(Type(dw, 1, "xm_name", "新名称"), 1);
    EXPECT_EQ(dw.Update(), 1) << t_.SQLErrText;

    // Without a handler of its own the form says it once.
    DataWindow plain("dw_1");
    plain.SetTransObject(t_);
    EXPECT_EQ(said.size(), 1u);
}

TEST_F(DataWindowTest, TheErrorMessageKeepsTheDiagnosticWhenTheHandlerRollsBackFirst) {
    std::vector<std::string> said;
    DataWindow::SetMessageHook([&](std::string_view, std::string_view text) { said.emplace_back(text); });
    struct Unhook {
        ~Unhook() { DataWindow::SetMessageHook(nullptr); }
    } unhook;
    AddProject("P1");
    auto dw = Open("dw_1", {"P1"});
    dw->dberror = [&](long, std::string_view, std::string_view) {
        EXPECT_EQ(t_.Rollback(), 0);  // runs a statement of its own on the same transaction
        dw->SetDataObject("dw_2");    // and changes the object whose SQL failed
        return 0;
    };
    dw->SetItem(1, "xm_name", Value("x"));
    Exec("DROP TABLE j_xm_base");
    EXPECT_EQ(dw->Update(), -1);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find(NoSuchTable("j_xm_base")), std::string::npos) << said[0];
    EXPECT_NE(said[0].find("UPDATE j_xm_base SET xm_name = ?"), std::string::npos) << said[0];
}

TEST_F(DataWindowTest, ALockedDatabaseFailsTheCallsAndTheSameUpdateWorksOnceItIsFree) {
    AddProject("P1");
    AddAward("P1", 1, "a");
    ASSERT_EQ(t_.Commit(), 0);
    auto dw = Open("dw_6", {"P1"});
    ErrorLog log;
    dw->dberror = log.Handler();
    dw->SetItem(1, "jx_name", Value("mine"));
    long r = dw->InsertRow(0);
    dw->SetItem(r, "xm_id", Value("P1"));
    dw->SetItem(r, "jx_id", Value(2));

    // Another program writes and holds the file.
    rt::Transaction other;
    db_->Connect(other);
    ASSERT_EQ(other.Execute("UPDATE j_jx_getaward SET jx_grade = 'x' WHERE jx_id = 1"), 0)
        << other.SQLErrText;
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_TRUE(log.Last(Locked())) << log.texts.back();
    EXPECT_EQ(dw->ModifiedCount(), 2);
    ASSERT_EQ(other.Rollback(), 0);
    ASSERT_EQ(t_.Rollback(), 0);
    ASSERT_EQ(dw->Update(), 1) << log.texts.back();
    ASSERT_EQ(t_.Commit(), 0);

    // Another program holds the table exclusively: reading fails too, and keeps the rows.
    testing_support::LockHolder holder(*db_);
    ASSERT_EQ(holder.HoldEverything("j_jx_getaward"), 0);
    EXPECT_EQ(dw->Retrieve({Value("P1")}), -1);
    EXPECT_TRUE(log.Last(Locked())) << log.texts.back();
    EXPECT_EQ(dw->ReselectRow(1), -1);
    EXPECT_EQ(dw->RowCount(), 2);
    holder.Release();
    t_.Rollback();
    EXPECT_EQ(dw->Retrieve({Value("P1")}), 2);
    EXPECT_EQ(dw->GetItemString(1, "jx_name"), "mine");
    EXPECT_EQ(dw->GetItemString(1, "jx_grade"), std::nullopt);
}

TEST_F(DataWindowTest, AReadOnlyDatabaseIsReadButRefusesTheUpdate) {
    if (testing_support::ScratchDatabase::OnPostgreSQL())
        GTEST_SKIP() << "the read-only mode of a SQLite file";
    AddProject("P1", "甲");
    ASSERT_EQ(t_.Commit(), 0);
    ASSERT_EQ(t_.Disconnect(), 0);
    const auto file = db_->DatabaseFile();
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    // File permissions do not bind the super-user, so the data source also opens the file read-only.
    db_->AddDataSource("readonly", "file:" + file.string() + "?mode=ro");
    t_.DBMS = "ODBC";
    t_.DBParm = "Connectstring='DSN=readonly'";
    ASSERT_EQ(t_.Connect(), 0) << t_.SQLErrText;

    auto dw = Open("dw_1", {"P1"});
    ASSERT_EQ(dw->RowCount(), 1);
    ErrorLog log;
    dw->dberror = log.Handler();
    EXPECT_EQ(Type(*dw, 1, "xm_name", "乙"), 1);
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_TRUE(log.Last("readonly")) << log.texts.back();
    EXPECT_EQ(dw->GetItemStatus(1, "xm_name"), ItemStatus::DataModified);
    // The refusal ends the transaction, as any command ends it after a failure.
    EXPECT_EQ(t_.Rollback(), 0);
    EXPECT_EQ(dw->ReselectRow(1), 1);
    EXPECT_EQ(dw->GetItemString(1, "xm_name"), "甲");
}

TEST_F(DataWindowTest, ADataWindowWhoseTransactionIsGoneNeitherReachesItNorCrashes) {
    AddProject("P1");
    ASSERT_EQ(t_.Commit(), 0);
    DataWindow dw("dw_1");
    {
        rt::Transaction gone;
        db_->Connect(gone);
        dw.SetTransObject(gone);
        ASSERT_EQ(dw.Retrieve({Value("P1")}), 1);
    }
    EXPECT_EQ(dw.TransObject(), nullptr);
    EXPECT_EQ(dw.Retrieve({Value("P1")}), -1);
    EXPECT_EQ(dw.SetItem(1, "xm_name", Value("x")), 1);
    EXPECT_EQ(dw.Update(), -1);
    EXPECT_EQ(dw.ReselectRow(1), -1);
    EXPECT_EQ(dw.RowCount(), 1);
    EXPECT_EQ(dw.SetDataObject("dw_1"), 1);  // binding children to nothing
    dw.SetTransObject(t_);
    EXPECT_EQ(dw.Retrieve({Value("P1")}), 1);
}

// Save and the completeness check write `xm_xg` and `xm_guid` with statements of their own: a change of
// another column through the list still finds its row, but a deletion by a list read before then
// does not, since it would remove what it has not seen.
TEST_F(DataWindowTest, TheListStillUpdatesARecommendationAStatementChangedButDoesNotDeleteIt) {
    AddProject("P1", "甲");
    AddProject("P2", "乙");
    auto dw = Open(kFlagList);
    Exec("UPDATE j_xm_base SET xm_xg = '1', xm_guid = 'P10000000001234' WHERE xm_id = 'P1'");
    Exec("UPDATE j_xm_base SET xm_xg = '1' WHERE xm_id = 'P2'");
    dw->SetItem(1, "xm_name", Value("甲二"));
    ASSERT_EQ(dw->Update(), 1) << t_.SQLErrText;
    EXPECT_EQ(Read("SELECT xm_name FROM j_xm_base WHERE xm_id = 'P1'"), Value("甲二"));
    EXPECT_EQ(Read("SELECT xm_xg FROM j_xm_base WHERE xm_id = 'P1'"), Value("1"));

    dw->DeleteRow(2);
    EXPECT_EQ(dw->Update(), -1);
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_xm_base WHERE xm_id = 'P2'"), 1);
    ASSERT_EQ(dw->RetrieveKeepingEdits(), 1);
    ASSERT_EQ(dw->Update(), 1) << t_.SQLErrText;
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_xm_base WHERE xm_id = 'P2'"), 0);
}

TEST_F(DataWindowTest, ANewRowWithNothingTheObjectWritesIsNeitherInsertedNorTakenForStored) {
    AddProject("P1");
    AddPerson("P1", 1, "张三", "303");
    auto dw = Open("dw_72", {"P1"});
    long r = dw->InsertRow(0);
    dw->SetItem(r, "xb_sex", Value("2"));  // not written by the list
    EXPECT_EQ(dw->GetItemStatus(r, ""), ItemStatus::NewModified);
    ASSERT_EQ(dw->Update(), 1) << t_.SQLErrText;
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_ry_finish"), 1);
    EXPECT_EQ(dw->GetItemStatus(r, ""), ItemStatus::New);
    EXPECT_EQ(dw->ModifiedCount(), 0);

    // Later it is filled in for real: an INSERT, not an UPDATE of a row that was never stored.
    dw->SetItem(r, "xm_id", Value("P1"));
    dw->SetItem(r, "ry_no", Value(2));
    dw->SetItem(r, "ry_name", Value("李四"));
    ASSERT_EQ(dw->Update(true, false), 1) << t_.SQLErrText;
    EXPECT_EQ(dw->ResetUpdate(), 1);
    EXPECT_EQ(Read("SELECT ry_name FROM j_ry_finish WHERE ry_no = 2"), Value("李四"));
    EXPECT_EQ(dw->GetItemStatus(r, ""), ItemStatus::NotModified);

    // Deleting such a row before it was ever stored writes nothing.
    long r2 = dw->InsertRow(0);
    dw->SetItem(r2, "ry_birthday", Value(Date{1980, 1, 1}));
    ASSERT_EQ(dw->Update(true, false), 1);
    EXPECT_EQ(dw->ResetUpdate(), 1);
    EXPECT_EQ(dw->DeleteRow(r2), 1);
    EXPECT_EQ(dw->DeletedCount(), 0);
    EXPECT_EQ(dw->Update(), 1) << t_.SQLErrText;
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_ry_finish"), 2);
}

// ---- setting items ---------------------------------------------------------------------------------

TEST_F(DataWindowTest, SetItemConvertsToTheColumnTypeAndStoresWholeNumbersInTextAsDigits) {
    AddProject("P1");
    auto dw = Open("dw_1", {"P1"});
    EXPECT_EQ(dw->SetItem(1, "xm_askno", Value(2025)), 1);
    EXPECT_EQ(dw->GetItem(1, "xm_askno"), Value("2025"));
    EXPECT_EQ(dw->SetItem(1, "xm_no", Value(1.5)), 1);
    EXPECT_EQ(dw->GetItem(1, "xm_no"), Value("1.5"));
    EXPECT_EQ(dw->SetItem(1, "xm_topicword", Value(Decimal::FromCents(123450))), 1);
    EXPECT_EQ(dw->GetItem(1, "xm_topicword"), Value("1234.50"));
    EXPECT_EQ(dw->SetItem(1, "xm_startdate", Value("2022-03-04")), 1);
    EXPECT_EQ(dw->GetItem(1, "xm_startdate"), Value(Date{2022, 3, 4}));
    for (const Value& bad : {Value("2022-02-30"), Value(5), Value("soon")}) {
        EXPECT_EQ(dw->SetItem(1, "xm_startdate", bad), -1) << bad.ToText();
        EXPECT_EQ(dw->GetItem(1, "xm_startdate"), Value(Date{2022, 3, 4})) << bad.ToText();
    }
    EXPECT_EQ(dw->SetItem(1, "xm_finishdate", Value()), 1);
    EXPECT_EQ(dw->GetItemStatus(1, "xm_finishdate"), ItemStatus::DataModified);
    ASSERT_EQ(dw->Update(), 1) << t_.SQLErrText;
    EXPECT_EQ(Read("SELECT xm_askno FROM j_xm_base WHERE xm_id = 'P1'"), Value("2025"));
    if (!testing_support::ScratchDatabase::OnPostgreSQL()) {  // where a column does not fix the type
        EXPECT_EQ(Read("SELECT typeof(xm_askno) FROM j_xm_base WHERE xm_id = 'P1'"), Value("text"));
    }
    EXPECT_EQ(Read("SELECT xm_finishdate FROM j_xm_base WHERE xm_id = 'P1'"), Value());

    auto money = Open("dw_512", {"P1"});
    EXPECT_EQ(money->SetItem(1, "xm_zongtz", Value(0.1)), 1);
    EXPECT_EQ(money->GetItem(1, "xm_zongtz"), Value(Decimal::FromCents(10)));
    EXPECT_EQ(money->SetItem(1, "xm_zongtz", Value(7)), 1);
    EXPECT_EQ(money->GetItem(1, "xm_zongtz"), Value(Decimal::FromCents(700)));
    EXPECT_EQ(money->SetItem(1, "xm_huis", Value(Decimal::FromCents(300))), 1);
    EXPECT_EQ(money->GetItem(1, "xm_huis"), Value(3));
    EXPECT_EQ(money->SetItem(1, "xm_huis", Value(Date{2020, 1, 1})), -1);
}

TEST_F(DataWindowTest, LookUpDisplayGivesTheListTextExactlyAlsoForPaddedCodes) {
    Exec("INSERT INTO recomdept (st_code, st_chdescr) VALUES ('Z9', ' 某  推荐单位  ')");
    AddProject("P1");
    // A database with fixed-width character columns hands codes back padded with blanks.
    Exec(
        "UPDATE j_xm_base SET jb_awardcode = '4  ', mj_secrcode = '9', bm_deptcode = 'Z9   ' WHERE xm_id = "
        "'P1'");
    auto dw = Open("dw_1", {"P1"});
    EXPECT_EQ(dw->LookUpDisplay(1, "jb_awardcode"), "4  社会公益 ");
    EXPECT_EQ(dw->Describe("Evaluate('LookUpDisplay(jb_awardcode)', 1)"), "4  社会公益 ");
    EXPECT_EQ(dw->LookUpDisplay(1, "bm_deptcode"), " 某  推荐单位  ");
    EXPECT_EQ(dw->Describe("evaluate( \"lookupdisplay( BM_DEPTCODE )\" , 1 )"), " 某  推荐单位  ");
    EXPECT_EQ(dw->LookUpDisplay(1, "mj_secrcode"), "");  // no such code
    EXPECT_EQ(dw->LookUpDisplay(1, "xm_name"), "项目");  // not a code column: the value
    EXPECT_EQ(dw->Describe("Evaluate('LookUpDisplay(jb_awardcode)', 2)"), "");
    EXPECT_EQ(dw->Describe("Evaluate('LookUpDisplay(jb_awardcode)', 99999999999999999999)"), "!");
}

// ---- indices out of range and arithmetic at its limits -----------------------------------------------

TEST_F(DataWindowTest, IndicesAtTheLimitsOfTheirTypesAreRefusedAndTotalsThatOverflowShowNothing) {
    AddProject("P1");
    auto dw = Open("dw_1", {"P1"});
    constexpr int kMinInt = std::numeric_limits<int>::min();
    constexpr long kMinLong = std::numeric_limits<long>::min();
    constexpr long kMaxLong = std::numeric_limits<long>::max();
    EXPECT_EQ(dw->SetItem(1, kMinInt, Value("x")), -1);
    EXPECT_EQ(dw->SetColumn(kMinInt), -1);
    EXPECT_FALSE(dw->GetItemString(1, kMinInt).has_value());
    EXPECT_FALSE(dw->GetItemString(kMinLong, "xm_name").has_value());
    EXPECT_FALSE(dw->GetItemString(kMaxLong, "xm_name", Buffer::Filter).has_value());
    EXPECT_FALSE(dw->GetItemString(1, "xm_name", Buffer::Delete, true).has_value());
    EXPECT_EQ(dw->SetItem(kMaxLong, "xm_name", Value("x")), -1);
    EXPECT_EQ(dw->DeleteRow(kMinLong), -1);
    EXPECT_EQ(dw->SetRow(kMaxLong), -1);
    EXPECT_EQ(dw->ScrollToRow(kMaxLong), 1);
    EXPECT_EQ(dw->ScrollToRow(kMinLong), 1);
    EXPECT_EQ(dw->SelectRow(kMinLong, true), -1);
    EXPECT_EQ(dw->InsertRow(kMinLong), 2);
    EXPECT_EQ(dw->GetRow(), 1);

    rt::DataWindowDef def;
    def.name = "t_totals";
    def.select = "SELECT 1, 1";
    rt::ColumnDef amount;
    amount.name = "amount";
    amount.type = rt::ColType::Decimal;
    rt::ColumnDef count = amount;
    count.name = "count";
    count.type = rt::ColType::Long;
    def.columns = {amount, count};
    def.computes = {{"total", "sum(amount for all)", "#,##0.00"}, {"number", "sum(count for all)", "0"}};
    rt::RegisterDefinition(def);
    DataWindow totals("t_totals");
    for (int i = 0; i < 3; ++i) totals.InsertRow(0);
    totals.SetItem(1, "amount", Value(Decimal::FromCents(std::numeric_limits<std::int64_t>::max())));
    totals.SetItem(2, "amount", Value(Decimal::FromCents(-1)));
    totals.SetItem(1, "count", Value(std::numeric_limits<std::int32_t>::max()));
    totals.SetItem(2, "count", Value(std::numeric_limits<std::int32_t>::max()));
    EXPECT_EQ(totals.GetComputedValue("total"),
              Value(Decimal::FromCents(std::numeric_limits<std::int64_t>::max() - 1)));
    EXPECT_EQ(totals.GetComputedValue("number"),
              Value(std::int64_t{2} * std::numeric_limits<std::int32_t>::max()));
    totals.SetItem(3, "amount", Value(Decimal::FromCents(2)));
    EXPECT_TRUE(totals.GetComputedValue("total").IsNull());
    EXPECT_EQ(totals.GetComputedText("total"), "");
}

// ---- row focus, more -------------------------------------------------------------------------------

TEST_F(DataWindowTest, RowFocusFiresOnceForEachChangeOfTheRowNumberAndNeverForNoChange) {
    DataWindow dw(kFlagList);
    dw.SetTransObject(t_);
    std::vector<long> events;
    dw.rowfocuschanged = [&](long row) { events.push_back(row); };
    EXPECT_EQ(dw.Retrieve(), 0);  // no row before, none after
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(dw.GetRow(), 0);

    for (const char* id : {"P1", "P2", "P3"}) AddProject(id);
    EXPECT_EQ(dw.Retrieve(), 3);
    EXPECT_EQ(events, (std::vector<long>{1}));
    dw.ScrollToRow(3);
    EXPECT_EQ(dw.Retrieve(), 3);  // from row 3 back to row 1: Retrieve fires only from no row
    EXPECT_EQ(dw.GetRow(), 1);
    EXPECT_EQ(events, (std::vector<long>{1, 3}));

    // No change, no event: the same row by every way there is, and inserting above it.
    EXPECT_EQ(dw.ScrollToRow(1), 1);
    EXPECT_EQ(dw.ScrollPriorRow(), 1);
    EXPECT_EQ(dw.SetRow(1), 1);
    EXPECT_EQ(dw.Click(1, "xm_xg"), 1);
    EXPECT_EQ(dw.InsertRow(1), 1);
    EXPECT_EQ(dw.GetRow(), 1);
    EXPECT_EQ(dw.DeleteRow(1), 1);
    EXPECT_EQ(events, (std::vector<long>{1, 3}));

    // Emptied by a retrieval: the row goes to 0 without an event, and comes back with one.
    Exec("DELETE FROM j_xm_base");
    EXPECT_EQ(dw.Retrieve(), 0);
    EXPECT_EQ(dw.GetRow(), 0);
    EXPECT_EQ(events, (std::vector<long>{1, 3}));
    AddProject("P9");
    EXPECT_EQ(dw.Retrieve(), 1);
    EXPECT_EQ(events, (std::vector<long>{1, 3, 1}));
}

TEST_F(DataWindowTest, RowFocusHandlersThatRetrieveOrWalkTheSameListEndAndSeeEachRowOnce) {
    for (const char* id : {"P1", "P2", "P3", "P4"}) AddProject(id);
    DataWindow dw(kFlagList);
    dw.SetTransObject(t_);
    std::vector<long> events;
    // The list's handler saves, re-reads the list and scrolls back to the row it was given, as
    // the recommendation switch does; the nested run that the scrolling starts has nothing to save.
    bool unsaved = false;
    dw.rowfocuschanged = [&](long row) {
        events.push_back(row);
        ASSERT_LT(events.size(), 20u) << "the handler keeps firing itself";
        if (unsaved) {
            unsaved = false;
            EXPECT_EQ(dw.Retrieve(), 4);
            EXPECT_EQ(dw.GetRow(), 1);
        }
        dw.ScrollToRow(row);
    };
    EXPECT_EQ(dw.Retrieve(), 4);
    EXPECT_EQ(events, (std::vector<long>{1}));
    unsaved = true;
    EXPECT_EQ(dw.SetRow(3), 1);
    EXPECT_EQ(dw.GetRow(), 3);
    EXPECT_EQ(events, (std::vector<long>{1, 3, 3}));

    // A handler that walks on to the end: each row once, in order.
    events.clear();
    dw.rowfocuschanged = [&](long row) {
        events.push_back(row);
        dw.ScrollNextRow();
    };
    dw.SetRow(1);
    EXPECT_EQ(events, (std::vector<long>{1, 2, 3, 4}));
    EXPECT_EQ(dw.GetRow(), 4);
}

// ---- volume ----------------------------------------------------------------------------------------
// How the time grows with the rows is bench/datawindow_bench's to measure.

TEST_F(DataWindowTest, TenThousandRowsAreRetrievedAndWrittenBackWhole) {
    std::vector<std::vector<Value>> rows;
    for (int i = 0; i < 10000; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "2024%08d", i);
        rows.push_back({std::string(id), "项目名称" + std::to_string(i), std::to_string(i), "0"});
    }
    ASSERT_EQ(
        testing_support::InsertRows(t_, "INSERT INTO j_xm_base (xm_id, xm_name, xm_askno, xm_xg)", rows), 0)
        << t_.SQLErrText;
    DataWindow dw(kFlagList);
    dw.SetTransObject(t_);
    EXPECT_EQ(dw.Retrieve(), 10000);
    const Value flagged = dw.GetItem(9999, "xm_id"), deleted = dw.GetItem(5000, "xm_id");
    dw.SetItem(9999, "xm_xg", Value("1"));
    dw.DeleteRow(5000);
    EXPECT_EQ(dw.Update(), 1);
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_xm_base"), 9999);
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_xm_base WHERE xm_id = ?", {deleted}), 0);
    EXPECT_EQ(CountRows("SELECT count(*) FROM j_xm_base WHERE xm_xg = '1'"), 1);
    EXPECT_EQ(Read("SELECT xm_xg FROM j_xm_base WHERE xm_id = ?", {flagged}), Value("1"));
}

// ---- masks on their own ----------------------------------------------------------------------------

TEST(EditMaskTest, ReadsEntriesWithOrWithoutTheirLiterals) {
    rt::EditMask tel("####-########", rt::ColType::Char);
    EXPECT_EQ(tel.Read("0571-1234").value, Value("05711234"));
    EXPECT_EQ(tel.Read("05711234").value, Value("05711234"));
    EXPECT_EQ(tel.Read("0571-1234    ").value, Value("05711234"));  // unfilled places
    EXPECT_TRUE(tel.Read("    -        ").value.IsNull());
    EXPECT_FALSE(tel.Read("0571 1234").ok);
    EXPECT_EQ(tel.Show(Value("0571")), "0571");
    EXPECT_EQ(tel.Show(Value("05711")), "0571-1");
    EXPECT_EQ(tel.Show(Value("0571-1234")), "0571-1234");  // stored with its literal already

    rt::EditMask upper("!!-##", rt::ColType::Char);
    EXPECT_EQ(upper.Read("ab-12").value, Value("AB12"));

    rt::EditMask year("yyyy", rt::ColType::Date);
    EXPECT_EQ(year.Read(" 2020 ").value, Value(Date{2020, 1, 1}));
    EXPECT_FALSE(year.HasMonth());
    rt::EditMask full("yyyy年mm月dd日", rt::ColType::Date);
    EXPECT_EQ(full.Read("2020年2月29日").value, Value(Date{2020, 2, 29}));
    EXPECT_FALSE(full.Read("2021年2月29日").ok);
    EXPECT_EQ(full.Show(Value(Date{1, 1, 1})), "0001年01月01日");
    rt::EditMask shortYear("yy-mm", rt::ColType::Date);
    EXPECT_EQ(shortYear.Read("49-2").value, Value(Date{2049, 2, 1}));
    EXPECT_EQ(shortYear.Read("5002").value, Value(Date{1950, 2, 1}));
    EXPECT_FALSE(shortYear.Read("502").ok);

    rt::EditMask whole("###,###", rt::ColType::Long);
    EXPECT_EQ(whole.Read("12,345").value, Value(12345));
    EXPECT_FALSE(whole.Read("1.5").ok);
    EXPECT_EQ(whole.Read("1.00").value, Value(1));
}

}  // namespace

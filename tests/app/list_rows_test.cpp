// The list buttons of the five list sections: inserting behind the current row, deleting the
// current row, storing the page on show. What is checked is what the database holds afterwards
// (numbers dense from 1 in list order, placeholders, nothing left uncommitted) and what the page
// shows (the row that is current, the contributor or unit in the detail).

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "sections/section_area.h"
#include "sections/section_table.h"
#include "tests/support/app_fixture.h"

namespace {

using rt::ui::Buttons;
using rt::ui::DataWindowControl;
using rt::ui::Icon;
using testing_support::AppTest;
using testing_support::XmId;

struct ListCase {
    std::string label;
    long page;  // the section's tree handle
    std::string table, number, name;
    std::string other;   // another column the user types into, on the list or the detail
    std::string listed;  // a column the list shows besides the number and the name

    // What the section table says of the list.
    const laurel::sections::ListKind& Kind() const { return *laurel::sections::SectionAt(page)->list; }
    bool HasDetail() const { return Kind().detail.has_value(); }
};

const ListCase kAwards{"awards", 10, "j_jx_getaward", "jx_id", "jx_xmname", "jx_grantdept", "jx_grantdept"};
const ListCase kContributors{"contributors", 11, "j_ry_finish", "ry_no", "ry_name", "ry_unit", "ry_unit"};
const ListCase kUnits{"units", 12, "j_dw_finish", "dw_no", "dw_name", "dw_postaddr", "dw_rperson"};
const ListCase kApplications{"applications", 14,           "j_yy_app",  "yy_id",
                             "dw_unitname",  "dw_rperson", "dw_rperson"};
const ListCase kProperty{"property", 16, "j_zl_patent", "zl_id", "zl_name", "zl_appno", "zl_appno"};

// Named in test output by its label alone.
void PrintTo(const ListCase& c, std::ostream* os) {
    *os << c.label;
}

class ListRows : public AppTest {
  protected:
    const std::string id = XmId(1);

    // The recommendation with items 1 to n of the list, named prefix + number; opened on its page.
    void Open(const ListCase& c, int n, const std::string& xg = "0") {
        Seed({id, "2008 01AA", "项目一", xg});
        ExecCommit("DELETE FROM " + c.table + " WHERE xm_id = ?", {id});
        for (int k = 1; k <= n; ++k) Add(c, k, Name(c, k));
        OpenMainWindow();
        EXPECT_EQ(laurel::current_id, id);
        W().tv_1->SelectItem(c.page);
    }

    static std::string Name(const ListCase& c, int k) { return c.label.substr(0, 1) + std::to_string(k); }

    void Add(const ListCase& c, int k, const std::string& name) {
        if (c.table == "j_jx_getaward") AddAward(id, k, name);
        if (c.table == "j_ry_finish") AddContributor(id, k, name);
        if (c.table == "j_dw_finish") AddUnit(id, k, name);
        if (c.table == "j_yy_app") AddApplication(id, k, name);
        if (c.table == "j_zl_patent") AddProperty(id, k, name);
    }

    // "number:name,..." in number order; a new item has no name.
    std::string ListingQuery(const ListCase& c) {
        return "SELECT " + c.number + ", " + c.name + " FROM " + c.table + " WHERE xm_id = ? ORDER BY " +
               c.number;
    }
    static std::string Joined(const std::vector<std::vector<rt::Value>>& rows) {
        std::string out;
        for (const auto& r : rows) out += (out.empty() ? "" : ",") + r[0].ToText() + ":" + r[1].ToText();
        return out;
    }
    std::string Listing(const ListCase& c) { return Joined(StoredRows(ListingQuery(c), {id})); }
    // Nothing the command wrote is left uncommitted.
    void ExpectAllCommitted(const ListCase& c) {
        EXPECT_EQ(Joined(PendingRows(ListingQuery(c), {id})), Listing(c));
    }

    DataWindowControl& List(const ListCase& c) { return W().Sections().PageOf(c.Kind().list); }
    DataWindowControl& Detail(const ListCase& c) { return W().Sections().PageOf(*c.Kind().detail); }
    int& Current(const ListCase& c) { return c.page == 11 ? laurel::current_ry : laurel::current_dw; }

    void Insert() { W().cb_page_insert->Click(); }
    void Delete() { W().cb_page_delete->Click(); }

    // The list shows what is stored, row k holding item k, with `row` current.
    void ExpectListShowsStored(const ListCase& c, long row) {
        DataWindowControl& l = List(c);
        const long stored = StoredCount(c.table, id);
        ASSERT_EQ(l.RowCount(), stored);
        for (long r = 1; r <= l.RowCount(); ++r) EXPECT_EQ(l.GetItemNumber(r, c.number), r) << "row " << r;
        EXPECT_EQ(l.GetRow(), row);
        EXPECT_EQ(l.ModifiedCount() + l.DeletedCount(), 0);
    }
    // The detail shows the item of the list's current row, and the running number agrees.
    void ExpectDetailFollows(const ListCase& c) {
        if (!c.HasDetail()) return;
        EXPECT_EQ(Current(c), List(c).GetRow());
        EXPECT_EQ(Detail(c).GetItemNumber(1, c.number), Current(c));
    }
};

class EachList : public ListRows, public ::testing::WithParamInterface<ListCase> {};

INSTANTIATE_TEST_SUITE_P(Lists, EachList,
                         ::testing::Values(kAwards, kContributors, kUnits, kApplications, kProperty),
                         [](const auto& info) { return info.param.label; });

// ---------------------------------------------------------------------------------------------
// Insertion.

TEST_P(EachList, InsertGoesBehindTheCurrentRowAndKeepsTheNumbersDense) {
    const ListCase& c = GetParam();
    const std::string n = c.label.substr(0, 1);
    Open(c, 3);
    DataWindowControl& l = List(c);

    // Behind the first row.
    Insert();
    EXPECT_EQ(Listing(c), "1:" + n + "1,2:,3:" + n + "2,4:" + n + "3");
    ExpectListShowsStored(c, 2);
    ExpectDetailFollows(c);
    ExpectAllCommitted(c);

    // In the middle.
    l.ScrollToRow(3);
    Insert();
    EXPECT_EQ(Listing(c), "1:" + n + "1,2:,3:" + n + "2,4:,5:" + n + "3");
    ExpectListShowsStored(c, 4);
    ExpectDetailFollows(c);

    // Behind the last row: nothing moves.
    l.ScrollToRow(5);
    Insert();
    EXPECT_EQ(Listing(c), "1:" + n + "1,2:,3:" + n + "2,4:,5:" + n + "3,6:");
    ExpectListShowsStored(c, 6);
    ExpectDetailFollows(c);
    ExpectAllCommitted(c);
    EXPECT_TRUE(Boxes().empty());

    // The cursor waits in the new item's name.
    const std::string column = !c.HasDetail() ? l.GetColumnName() : Detail(c).GetColumnName();
    EXPECT_EQ(column, c.name);
}

TEST_P(EachList, TheLimitRefusesTheInsertWithItsMessage) {
    const ListCase& c = GetParam();
    Open(c, static_cast<int>(c.Kind().limit) - 1);
    Insert();
    EXPECT_EQ(StoredCount(c.table, id), c.Kind().limit);
    EXPECT_TRUE(Boxes().empty());

    const std::string before = Listing(c);
    Dialogs().Answer(1);
    Insert();
    ASSERT_EQ(Boxes(), std::vector<std::string>{"提示信息|" + std::string(c.Kind().limitMessage)});
    EXPECT_EQ(Dialogs().messages.back().request.icon, Icon::Information);
    EXPECT_EQ(Listing(c), before);
    EXPECT_EQ(List(c).RowCount(), c.Kind().limit);
}

TEST_P(EachList, DeleteRemovesTheCurrentRowAndMovesTheLaterOnesDown) {
    const ListCase& c = GetParam();
    const std::string n = c.label.substr(0, 1);
    Open(c, 5);
    DataWindowControl& l = List(c);
    const bool asks = c.Kind().refusal.empty();

    if (asks) {
        // Cancel, the default, changes nothing.
        l.ScrollToRow(3);
        Dialogs().Answer(2);
        Delete();
        ASSERT_EQ(Boxes(), std::vector<std::string>{"提示信息：|真的要删除吗？"});
        const rt::ui::MessageRequest& q = Dialogs().messages.back().request;
        EXPECT_EQ(q.icon, Icon::Question);
        EXPECT_EQ(q.buttons, Buttons::OKCancel);
        EXPECT_EQ(q.defaultButton, 2);
        EXPECT_EQ(StoredCount(c.table, id), 5);
        EXPECT_EQ(l.RowCount(), 5);
        EXPECT_EQ(l.DeletedCount(), 0);
        Dialogs().Clear();
    }

    // A row in the middle: the next one takes its place.
    l.ScrollToRow(3);
    if (asks) Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(Listing(c), "1:" + n + "1,2:" + n + "2,3:" + n + "4,4:" + n + "5");
    ExpectListShowsStored(c, 3);
    EXPECT_EQ(l.GetItemString(3, c.name), n + "4");
    ExpectDetailFollows(c);
    ExpectAllCommitted(c);

    // The first row.
    l.ScrollToRow(1);
    if (asks) Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(Listing(c), "1:" + n + "2,2:" + n + "4,3:" + n + "5");
    ExpectListShowsStored(c, 1);
    ExpectDetailFollows(c);

    // The last row: nothing moves, the new last row is current.
    l.ScrollToRow(3);
    if (asks) Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(Listing(c), "1:" + n + "2,2:" + n + "4");
    ExpectListShowsStored(c, 2);
    ExpectDetailFollows(c);
    ExpectAllCommitted(c);
    if (!asks) {
        EXPECT_TRUE(Boxes().empty());
        EXPECT_EQ(Detail(c).GetColumnName(), c.name);
    }
}

TEST_P(EachList, AFailingInsertLeavesTheDatabaseAndTheListAsTheyWere) {
    const ListCase& c = GetParam();
    Open(c, 4);
    List(c).ScrollToRow(2);
    ExpectDetailFollows(c);
    const std::string before = Listing(c);
    // The new row is refused after the numbers behind it have moved up.
    RefuseWrites("no_new_rows", "BEFORE INSERT ON " + c.table);

    AnswerDatabaseError();
    Dialogs().Answer(1);
    Insert();
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1], "提示信息：|" + std::string(c.Kind().insertFailure));
    EXPECT_EQ(Listing(c), before);
    ExpectAllCommitted(c);
    ExpectListShowsStored(c, 2);
    ExpectDetailFollows(c);
}

TEST_P(EachList, AFailingDeleteLeavesTheDatabaseAndTheListAsTheyWere) {
    const ListCase& c = GetParam();
    Open(c, 4);
    List(c).ScrollToRow(2);
    const std::string before = Listing(c);
    // The row goes, then moving the later numbers down is refused: the removal must come back.
    RefuseWrites("no_renumbering", "BEFORE UPDATE OF " + c.number + " ON " + c.table);

    if (c.Kind().refusal.empty()) Dialogs().Answer(1);
    AnswerDatabaseError();
    Dialogs().Answer(1);
    Delete();
    ASSERT_GE(Boxes().size(), 2u);
    EXPECT_TRUE(SaysDatabaseReason(Boxes().end()[-2])) << Dialogs().Transcript();
    EXPECT_EQ(Boxes().back(), "提示信息：|" + std::string(c.Kind().deleteFailure));
    EXPECT_EQ(Listing(c), before);
    ExpectAllCommitted(c);
    ExpectListShowsStored(c, 2);
    ExpectDetailFollows(c);
}

TEST_P(EachList, ASavedRecommendationOffersNoListButtons) {
    const ListCase& c = GetParam();
    Open(c, 3, "1");
    EXPECT_TRUE(W().cb_page_insert->Visible());
    EXPECT_FALSE(W().cb_page_insert->Enabled());
    EXPECT_FALSE(W().cb_page_delete->Enabled());
    const std::string before = Listing(c);
    Insert();
    Delete();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Listing(c), before);
    EXPECT_EQ(List(c).RowCount(), 3);
}

// Saved on another desktop while this one shows it as being edited: the list buttons store
// nothing, say why, and are disabled with the pages.
TEST_P(EachList, TheButtonsRefuseARecommendationSavedOnAnotherDesktop) {
    const ListCase& c = GetParam();
    const std::string said = "提示信息|" + std::string(laurel::sections::kSavedElsewhere);
    Open(c, 3);
    List(c).ScrollToRow(2);
    const std::string before = Listing(c);
    Other().Save(id);

    Dialogs().Answer(1);
    Insert();
    EXPECT_EQ(Boxes(), std::vector<std::string>{said});
    EXPECT_EQ(Listing(c), before);
    ExpectAllCommitted(c);
    EXPECT_FALSE(W().cb_page_insert->Enabled());
    EXPECT_FALSE(W().cb_page_delete->Enabled());
    EXPECT_FALSE(List(c).Enabled());

    // Opened again here, and saved there again: the delete is refused the same way.
    Menu().modify->Click();
    ASSERT_TRUE(W().cb_page_delete->Enabled());
    Other().Save(id);
    Dialogs().Clear();
    std::vector<std::string> boxes = {said};
    if (c.Kind().refusal.empty()) boxes.insert(boxes.begin(), "提示信息：|真的要删除吗？");
    for (std::size_t k = 0; k < boxes.size(); ++k) Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_EQ(Listing(c), before);
    ExpectAllCommitted(c);
    EXPECT_EQ(List(c).RowCount(), 3);
    EXPECT_FALSE(W().cb_page_delete->Enabled());
}

// ---------------------------------------------------------------------------------------------
// What each kind writes and refuses of its own.

TEST_F(ListRows, NewRowsCarryTheirKindsPlaceholdersAndNothingElse) {
    Seed({id, "2008 01AA", "项目一"});
    OpenMainWindow();
    auto stored = [&](const std::string& table, const std::string& number, int k, const std::string& column) {
        return Stored("SELECT " + column + " FROM " + table + " WHERE xm_id = ? AND " + number + " = ?",
                      {id, k});
    };
    auto amount = [&](const std::string& table, const std::string& number, int k, const std::string& column) {
        return StoredValue("SELECT " + column + " FROM " + table + " WHERE xm_id = ? AND " + number + " = ?",
                           {id, k})
            .AsReal();
    };
    const std::string placeholder = "0001-01-01";

    W().tv_1->SelectItem(10);
    Insert();
    EXPECT_EQ(stored("j_jx_getaward", "jx_id", 1, "jx_date"), placeholder);
    for (const char* column : {"jx_xmname", "jx_name", "jx_grade", "jx_grantdept"})
        EXPECT_EQ(stored("j_jx_getaward", "jx_id", 1, column), std::nullopt) << column;

    W().tv_1->SelectItem(11);
    Insert();
    for (const char* column : {"ry_birthday", "gg_date", "ry_grdtime", "ry_start", "ry_finish", "ry_atm"})
        EXPECT_EQ(stored("j_ry_finish", "ry_no", 2, column), placeholder) << column;
    EXPECT_EQ(amount("j_ry_finish", "ry_no", 2, "ry_anum"), 0.0);
    for (const char* column : {"ry_name", "ry_unit", "xb_sex", "ry_id"})
        EXPECT_EQ(stored("j_ry_finish", "ry_no", 2, column), std::nullopt) << column;
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), std::nullopt)
        << "the detail shows the empty contributor";

    W().tv_1->SelectItem(12);
    Insert();
    EXPECT_EQ(stored("j_dw_finish", "dw_no", 2, "dw_ardbkprntm"), placeholder);
    EXPECT_EQ(amount("j_dw_finish", "dw_no", 2, "dw_ardbkprnnum"), 0.0);
    EXPECT_EQ(stored("j_dw_finish", "dw_no", 2, "dw_name"), std::nullopt);

    W().tv_1->SelectItem(13);  // the section item and its first item share the list
    Insert();
    EXPECT_EQ(stored("j_yy_app", "yy_id", 1, "yy_stsatdate"), placeholder);
    EXPECT_EQ(stored("j_yy_app", "yy_id", 1, "yy_finishdate"), placeholder);
    EXPECT_EQ(amount("j_yy_app", "yy_id", 1, "yy_benefit"), 0.0);
    EXPECT_EQ(stored("j_yy_app", "yy_id", 1, "dw_unitname"), std::nullopt);

    W().tv_1->SelectItem(16);
    Insert();
    EXPECT_EQ(StoredCount("j_zl_patent", id), 1);
    for (const char* column : {"zl_name", "zl_sortcode", "zl_nation", "zl_appno", "zl_no"})
        EXPECT_EQ(stored("j_zl_patent", "zl_id", 1, column), std::nullopt) << column;
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ListRows, AnEmptyListTakesItsFirstItem) {
    for (const ListCase* c : {&kAwards, &kApplications, &kProperty}) {
        SCOPED_TRACE(c->label);
        if (!WindowOpen()) Open(*c, 0);
        W().tv_1->SelectItem(c->page);
        Insert();
        EXPECT_EQ(Listing(*c), "1:");
        ExpectListShowsStored(*c, 1);
    }
}

TEST_F(ListRows, TheLastContributorAndTheLastUnitAreNeverDeleted) {
    Open(kContributors, 1);
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    Delete();
    W().tv_1->SelectItem(12);
    Delete();
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"提示信息：|最后一个完成人不能删除！",
                                                 "提示信息：|最后一个完成单位不能删除！"}));
    EXPECT_EQ(Dialogs().messages.front().request.icon, Icon::Information);
    EXPECT_EQ(StoredCount("j_ry_finish", id), 1);
    EXPECT_EQ(StoredCount("j_dw_finish", id), 1);

    // A contributor list that could not be read shows no row: that is not the last contributor,
    // and the button says what it is. Once the list can be read, the button shows it, and the
    // next click deletes.
    AddContributor(id, 2, "c2");
    ExecCommit("ALTER TABLE j_ry_finish RENAME TO j_ry_finish_away");
    Dialogs().Clear();
    AnswerDatabaseError();  // the detail
    AnswerDatabaseError();  // the list
    W().tv_1->SelectItem(11);
    ASSERT_EQ(W().dw_no72->RowCount(), 0);
    Dialogs().Clear();
    AnswerDatabaseError();
    Dialogs().Answer(1);
    Delete();
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_EQ(Boxes()[0].substr(0, Boxes()[0].find('|')), "数据库错误");
    EXPECT_EQ(Boxes()[1], "提示信息：|读取完成人列表失败！");
    EXPECT_EQ(Dialogs().messages.back().request.icon, Icon::StopSign);

    ExecCommit("ALTER TABLE j_ry_finish_away RENAME TO j_ry_finish");
    Dialogs().Clear();
    Delete();
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_EQ(W().dw_no72->RowCount(), 2);
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "c1") << "the detail of the row on show";
    EXPECT_EQ(StoredCount("j_ry_finish", id), 2);
    Delete();
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_EQ(StoredCount("j_ry_finish", id), 1);
}

TEST_F(ListRows, SectionsWithoutAListIgnoreTheButtons) {
    Open(kAwards, 2);
    for (long page : {2L, 3L, 5L, 6L, 9L, 15L, 17L, 18L}) {
        laurel::current_page = page;
        W().cb_page_insert_clicked();
        W().cb_page_delete_clicked();
        W().cb_page_save_clicked();
    }
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Listing(kAwards), "1:a1,2:a2");
}

// ---------------------------------------------------------------------------------------------
// Changes the page holds when a button is pressed.

TEST_F(ListRows, ChangedAwardsAnsweredNoAreDroppedAndYesAreStoredFirst) {
    Open(kAwards, 3);
    W().dw_no6->SetItem(2, "jx_xmname", "dropped");
    Dialogs().Answer(2);
    Insert();  // behind row 1, the current one
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|奖项已有修改，是否保存？"});
    EXPECT_EQ(Listing(kAwards), "1:a1,2:,3:a2,4:a3");

    // A value still being typed counts as a change.
    W().dw_no6->SetRow(3);
    W().dw_no6->SetColumn("jx_xmname");
    W().dw_no6->SetText("kept");
    Dialogs().Answer(1);
    Insert();
    EXPECT_EQ(Listing(kAwards), "1:a1,2:,3:kept,4:,5:a3");
    ExpectListShowsStored(kAwards, 4);
}

TEST_F(ListRows, AValueThePageRefusesStopsTheButtonAndStaysTyped) {
    Open(kAwards, 2);
    W().dw_no6->SetColumn("jx_xmname");
    W().dw_no6->SetText(std::string(60, 'x'));  // longer than the field takes
    Dialogs().Answer(1);                        // the page's own complaint
    Insert();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_TRUE(W().dw_no6->EditPending());
    EXPECT_EQ(Listing(kAwards), "1:a1,2:a2");

    // The save button, clicked next, fails the same way, says so again and keeps the text.
    QCoreApplication::processEvents();  // the user action ends
    Dialogs().Answer(1);
    Dialogs().Answer(1);
    W().cb_page_save_clicked();
    EXPECT_EQ(Boxes().back(), "提示信息：|系统意外，保存失败！");
    EXPECT_TRUE(W().dw_no6->EditPending());
}

TEST_F(ListRows, AwardsWhoseChangesCannotBeStoredGetNoNewRow) {
    Open(kAwards, 3);
    W().dw_no6->SetItem(2, "jx_xmname", "changed");
    RefuseWrites("no_changes", "BEFORE UPDATE OF jx_xmname ON j_jx_getaward");

    Dialogs().Answer(1);
    AnswerDatabaseError();
    Dialogs().Answer(1);
    Insert();
    EXPECT_EQ(Boxes().back(), "提示信息：|系统意外，奖项更新失败！");
    EXPECT_EQ(Listing(kAwards), "1:a1,2:a2,3:a3");
    ExpectAllCommitted(kAwards);
    EXPECT_EQ(W().dw_no6->ModifiedCount(), 1) << "the change waits to be corrected";
}

TEST_F(ListRows, ChangedContributorIsAskedAboutThenStoredOrDropped) {
    Open(kContributors, 2);
    W().dw_no71->SetColumn("ry_name");
    W().dw_no71->SetText("改名");
    Dialogs().Answer(1);
    Insert();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|完成人已有修改，是否暂时保存？"});
    EXPECT_EQ(Listing(kContributors), "1:改名,2:,3:c2");
    EXPECT_EQ(W().dw_no72->GetItemString(1, "ry_name"), "改名");
    EXPECT_EQ(laurel::current_ry, 2);

    W().dw_no71->SetItem(1, "ry_name", "不要");
    Dialogs().Answer(2);
    Insert();
    EXPECT_EQ(Listing(kContributors), "1:改名,2:,3:,4:c2");
    EXPECT_EQ(laurel::current_ry, 3);
    EXPECT_EQ(W().dw_no71->ModifiedCount(), 0);
}

TEST_F(ListRows, AContributorWhoseChangesCannotBeStoredGetsNoNewRowAndKeepsThem) {
    Open(kContributors, 2);
    W().dw_no71->SetItem(1, "ry_name", "改名");
    RefuseWrites("no_changes", "BEFORE UPDATE OF ry_name ON j_ry_finish");

    Dialogs().Answer(1);
    AnswerDatabaseError();
    Insert();
    EXPECT_EQ(Boxes().size(), 2u) << "the question and the database's own report, nothing more";
    EXPECT_EQ(Listing(kContributors), "1:c1,2:c2");
    ExpectAllCommitted(kContributors);
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "改名");
    EXPECT_EQ(W().dw_no71->ModifiedCount(), 1);
    EXPECT_EQ(laurel::current_ry, 1);

    // A COMMIT that fails has no page to say why: the database's reason is said all the same.
    AllowWrites("no_changes", "j_ry_finish");
    Dialogs().Clear();
    {
        const auto lock = FailNextCommit();
        Dialogs().Answer(1);
        AnswerDatabaseError();
        Insert();
    }
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[1], "")) << Boxes()[1];
    EXPECT_EQ(Listing(kContributors), "1:c1,2:c2");
    EXPECT_EQ(W().dw_no71->ModifiedCount(), 1);
}

TEST_F(ListRows, DeletingAContributorDropsOnlyItsOwnChanges) {
    Open(kContributors, 3);
    W().dw_no72->ScrollToRow(3);
    ASSERT_EQ(laurel::current_ry, 3);
    W().dw_no71->SetItem(1, "ry_name", "gone anyway");
    Delete();
    EXPECT_TRUE(Boxes().empty()) << "no question about the contributor that goes";
    EXPECT_EQ(Listing(kContributors), "1:c1,2:c2");
    EXPECT_EQ(laurel::current_ry, 2);
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "c2");
    EXPECT_EQ(W().dw_no71->ModifiedCount(), 0);
}

TEST_F(ListRows, ChangesOfAnotherContributorAreStoredBeforeTheNumbersMove) {
    Open(kContributors, 3);
    W().dw_no71->SetItem(1, "ry_name", "kept");  // contributor 1, on show
    {
        // The list moves on without the detail following it.
        auto follow = std::exchange(W().dw_no72->rowfocuschanged, nullptr);
        W().dw_no72->ScrollToRow(2);
        W().dw_no72->rowfocuschanged = std::move(follow);
    }
    Delete();
    EXPECT_EQ(Listing(kContributors), "1:kept,2:c3");
    ExpectAllCommitted(kContributors);
    EXPECT_EQ(laurel::current_ry, 2);
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "c3");
}

TEST_F(ListRows, DeletingAnAwardStoresTheOtherChangesOfTheListWithIt) {
    Open(kAwards, 3);
    W().dw_no6->SetItem(1, "jx_xmname", "renamed");
    W().dw_no6->SetRow(2);
    Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(Listing(kAwards), "1:renamed,2:a3");
    ExpectListShowsStored(kAwards, 2);
}

TEST_F(ListRows, RemovingTheOnlyAwardWaitsForThePageToBeStored) {
    Open(kAwards, 1);
    Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(W().dw_no6->RowCount(), 0);
    EXPECT_EQ(StoredCount("j_jx_getaward", id), 1);

    // An insert now asks about the pending removal; No brings the award back and puts the new
    // one behind it... as the list was read, in front of it.
    Dialogs().Answer(2);
    Insert();
    EXPECT_EQ(Boxes().back(), "提示信息|奖项已有修改，是否保存？");
    EXPECT_EQ(Listing(kAwards), "1:,2:a1");

    // Removing it again and leaving the page stores the removal.
    W().dw_no6->SetRow(2);
    Dialogs().Answer(1);
    Delete();
    W().dw_no6->SetRow(1);
    Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(W().dw_no6->RowCount(), 0);
    EXPECT_EQ(StoredCount("j_jx_getaward", id), 1);
    W().tv_1->SelectItem(2);
    EXPECT_EQ(StoredCount("j_jx_getaward", id), 0);
}

// ---------------------------------------------------------------------------------------------
// A second desktop changes the list behind the page: a command acts on the item the user chose, or
// on none, and nothing typed is lost.

TEST_P(EachList, DeleteAfterAnotherDesktopRenumberedTheListRemovesNothingAndReadsItAgain) {
    const ListCase& c = GetParam();
    const std::string n = c.label.substr(0, 1);
    Open(c, 4);
    List(c).ScrollToRow(2);
    // The other desktop removes the second item, then puts a new one at the end: the count is as
    // this desktop's list shows it, but its second row now holds the third item.
    Other().RemoveItem(c.table, c.number, id, 2);
    Other().InsertItem(c.table, c.number, id, 4, c.name, "x");
    const std::string stored = "1:" + n + "1,2:" + n + "3,3:" + n + "4,4:x";
    ASSERT_EQ(Listing(c), stored);

    std::vector<std::string> said = {"提示信息|" + std::string(laurel::sections::kListChanged)};
    if (c.Kind().refusal.empty()) said.insert(said.begin(), "提示信息：|真的要删除吗？");
    for (std::size_t k = 0; k < said.size(); ++k) Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(Boxes(), said);
    EXPECT_EQ(Listing(c), stored) << "nothing deleted";
    ExpectAllCommitted(c);
    ExpectListShowsStored(c, 2);
    ExpectDetailFollows(c);

    // Read again, the list deletes the item the user now chooses.
    Dialogs().Clear();
    if (c.Kind().refusal.empty()) Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(Listing(c), "1:" + n + "1,2:" + n + "4,3:x");
}

// The item chosen was changed on another desktop in a column the list shows: it is not deleted as
// it was read, the list is read again, and the next delete removes it as it now stands.
TEST_P(EachList, DeleteOfAnItemAnotherDesktopChangedRemovesNothingAndReadsItAgain) {
    const ListCase& c = GetParam();
    const std::string n = c.label.substr(0, 1);
    Open(c, 3);
    List(c).ScrollToRow(2);
    Other().Store(
        "UPDATE " + c.table + " SET " + c.listed + " = 'changed' WHERE xm_id = ? AND " + c.number + " = 2",
        {id});

    std::vector<std::string> said = {"提示信息|" + std::string(laurel::sections::kListChanged)};
    if (c.Kind().refusal.empty()) said.insert(said.begin(), "提示信息：|真的要删除吗？");
    for (std::size_t k = 0; k < said.size(); ++k) Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(Boxes(), said);
    EXPECT_EQ(Listing(c), "1:" + n + "1,2:" + n + "2,3:" + n + "3");
    ExpectAllCommitted(c);
    ExpectListShowsStored(c, 2);
    EXPECT_EQ(List(c).GetItemString(2, c.listed), "changed");
    ExpectDetailFollows(c);

    Dialogs().Clear();
    if (c.Kind().refusal.empty()) Dialogs().Answer(1);
    Delete();
    EXPECT_EQ(Listing(c), "1:" + n + "1,2:" + n + "3");
}

TEST_P(EachList, TypingForAnItemAnotherDesktopRenumberedIsStoredOnThatItemOnly) {
    const ListCase& c = GetParam();
    const std::string n = c.label.substr(0, 1);
    Open(c, 3);
    List(c).ScrollToRow(2);
    DataWindowControl& typed = c.HasDetail() ? Detail(c) : List(c);
    const long row = c.HasDetail() ? 1 : 2;
    ASSERT_EQ(typed.SetItem(row, c.other, "typed"), 1);
    // A new first item moves the one typed for from number 2 to 3.
    Other().InsertItem(c.table, c.number, id, 1, c.name, "new");
    auto other = [&](int k) {
        return Stored("SELECT " + c.other + " FROM " + c.table + " WHERE xm_id = ? AND " + c.number + " = ?",
                      {id, k});
    };

    // Leaving the section reads the list again and stores the typing on its item there and then:
    // nothing is left pending unseen, and nothing is to be told.
    W().tv_1->SelectItem(2);
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_EQ(laurel::current_page, 2);
    EXPECT_EQ(other(3), "typed");
    EXPECT_EQ(other(2), std::nullopt);
    EXPECT_EQ(typed.ModifiedCount(), 0);
    EXPECT_EQ(Listing(c), "1:new,2:" + n + "1,3:" + n + "2,4:" + n + "3");

    // Back on the section the typing shows on its item.
    W().tv_1->SelectItem(c.page);
    const long now = c.HasDetail() ? 1 : 3;
    EXPECT_EQ(typed.GetItemString(now, c.other), "typed");
    EXPECT_EQ(typed.GetItemString(now, c.name), n + "2");
    if (c.HasDetail()) {
        EXPECT_EQ(List(c).GetRow(), 3);
        ExpectDetailFollows(c);
    }
}

// The list changes under every round of storing on (a trigger renames the items whenever a save
// takes the recommendation for writing): leaving the section reads the list again and stores on
// three times without a word, and then says that the list changed; the section stays, the typing
// pending on show, and once the list stays as read the next leaving stores it.
TEST_F(ListRows, AListThatChangesUnderEveryRoundIsSaidToHaveChangedAfterThree) {
    Open(kContributors, 3);
    W().dw_no72->ScrollToRow(2);
    ASSERT_EQ(W().dw_no71->SetItem(1, "ry_unit", "typed"), 1);
    const bool server = testing_support::ScratchDatabase::OnPostgreSQL();
    const std::string rename = "UPDATE j_ry_finish SET ry_name = ry_name || '+' WHERE xm_id = NEW.xm_id;";
    if (server) {
        Exec("CREATE FUNCTION rename_items() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN " + rename +
             " RETURN NEW; END $$");
        ExecCommit(
            "CREATE TRIGGER rename_items AFTER UPDATE OF xm_xg ON j_xm_base FOR EACH ROW "
            "EXECUTE FUNCTION rename_items()");
    } else {
        ExecCommit("CREATE TRIGGER rename_items AFTER UPDATE OF xm_xg ON j_xm_base BEGIN " + rename + " END");
    }
    // Each round reads the list again. Rounds without end are cut short: the trigger goes in the
    // transaction of the tenth, which then stores.
    int reads = 0;
    const int observer = W().dw_no72->AddObserver([&](rt::Change change, long, int) {
        if (change != rt::Change::Reset || ++reads != 10) return;
        laurel::sqlca.Execute(server ? "DROP TRIGGER rename_items ON j_xm_base"
                                     : "DROP TRIGGER rename_items");
    });

    Dialogs().Answer(1);
    W().tv_1->SelectItem(2);
    W().dw_no72->RemoveObserver(observer);
    EXPECT_EQ(reads, 4) << "three rounds stored on, and the fourth told";
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|" + std::string(laurel::sections::kListChanged)});
    EXPECT_EQ(laurel::current_page, kContributors.page);
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_unit"), "typed");
    EXPECT_EQ(W().dw_no71->ModifiedCount(), 1);
    EXPECT_EQ(Stored("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 2", {id}), std::nullopt);
    EXPECT_EQ(Listing(kContributors), "1:c1,2:c2,3:c3");

    AllowWrites("rename_items", "j_xm_base");
    Dialogs().Clear();
    W().tv_1->SelectItem(2);
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_EQ(laurel::current_page, 2);
    EXPECT_EQ(Stored("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 2", {id}), "typed");
}

// The list cannot be read again after another desktop renumbered it: what the user typed into the
// detail stays there for the next save, rather than the detail being read over it.
TEST_F(ListRows, ADetailWhoseListCannotBeReadAgainKeepsItsTyping) {
    Open(kContributors, 3);
    W().dw_no72->ScrollToRow(2);
    ASSERT_EQ(W().dw_no71->SetItem(1, "ry_unit", "typed"), 1);
    Other().InsertItem("j_ry_finish", "ry_no", id, 1, "ry_name", "new");
    Other().Store("ALTER TABLE j_ry_finish RENAME COLUMN ry_unit TO ry_unit_gone");

    AnswerDatabaseError();
    Dialogs().Answer(1);
    W().tv_1->SelectItem(2);
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[0], "ry_unit")) << Boxes()[0];
    EXPECT_EQ(Boxes()[1], "提示信息|" + std::string(laurel::sections::kListChanged));
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_name"), "c2");
    EXPECT_EQ(W().dw_no71->GetItemString(1, "ry_unit"), "typed");
    EXPECT_EQ(W().dw_no71->ModifiedCount(), 1);
    EXPECT_EQ(laurel::current_page, kContributors.page)
        << "the section stays, its typing on show, as the box says";

    // Readable again, leaving finds the item the typing belongs to and stores it there.
    Other().Store("ALTER TABLE j_ry_finish RENAME COLUMN ry_unit_gone TO ry_unit");
    Dialogs().Clear();
    W().tv_1->SelectItem(2);
    EXPECT_TRUE(Boxes().empty()) << Dialogs().Transcript();
    EXPECT_EQ(Stored("SELECT ry_unit FROM j_ry_finish WHERE xm_id = ? AND ry_no = 3", {id}), "typed");
    EXPECT_EQ(W().dw_no71->ModifiedCount(), 0);
}

TEST_P(EachList, AnItemAnotherDesktopDeletedIsSaidToBeGoneAndTheListReadAgain) {
    const ListCase& c = GetParam();
    Open(c, 3);
    List(c).ScrollToRow(2);
    DataWindowControl& typed = c.HasDetail() ? Detail(c) : List(c);
    ASSERT_EQ(typed.SetItem(c.HasDetail() ? 1 : 2, c.other, "typed"), 1);
    // The third item, alike in every other column, moves up into the number of the one typed for.
    Other().RemoveItem(c.table, c.number, id, 2);

    Dialogs().Answer(1);
    W().tv_1->SelectItem(2);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|" + std::string(laurel::sections::kItemGone)});
    const std::string n = c.label.substr(0, 1);
    EXPECT_EQ(Listing(c), "1:" + n + "1,2:" + n + "3");
    EXPECT_EQ(StoredValue("SELECT count(*) FROM " + c.table + " WHERE " + c.other + " = 'typed'").AsLong(),
              0);
    EXPECT_EQ(typed.ModifiedCount(), 0) << "nothing typed for the item gone lands on another";
    W().tv_1->SelectItem(c.page);
    ExpectListShowsStored(c, c.HasDetail() ? 2 : 1);
    ExpectDetailFollows(c);
}

TEST_F(ListRows, AnInsertIntoAListAnotherDesktopChangedIsRefusedAndTheListReadAgain) {
    Open(kAwards, 9);
    Other().InsertItem("j_jx_getaward", "jx_id", id, 10, "jx_xmname", "behind");  // a tenth would make eleven
    W().dw_no6->SetRow(9);
    Dialogs().Answer(1);
    Insert();
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|" + std::string(laurel::sections::kListChanged)});
    EXPECT_EQ(StoredCount("j_jx_getaward", id), 10);
    ExpectAllCommitted(kAwards);
    ExpectListShowsStored(kAwards, 9);
}

TEST_F(ListRows, AFailingPlaceholderTakesTheNewRowBackWithIt) {
    Open(kUnits, 3);
    RefuseWrites("no_placeholder", "BEFORE UPDATE OF dw_ardbkprntm ON j_dw_finish");
    AnswerDatabaseError();
    Dialogs().Answer(1);
    Insert();
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[0])) << Boxes()[0];
    EXPECT_EQ(Boxes()[1], "提示信息：|系统意外，完成单位插入失败！");
    EXPECT_EQ(Listing(kUnits), "1:u1,2:u2,3:u3");
    ExpectAllCommitted(kUnits);
    EXPECT_EQ(laurel::current_dw, 1);
    EXPECT_EQ(W().dw_no82->RowCount(), 3);
}

// ---------------------------------------------------------------------------------------------
// A person at the contributor page, with the mouse and the keyboard only.

TEST_F(ListRows, ContributorsInsertedAndDeletedThroughTheRealWidgets) {
    Open(kContributors, 3);
    QWidget* top = W().TopWidget();
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    auto* rows = W().dw_no72->Widget()->findChild<QAbstractItemView*>();
    ASSERT_NE(rows, nullptr);
    auto* name = W().dw_no71->Widget()->findChild<QLineEdit*>(QStringLiteral("ry_name"));
    ASSERT_NE(name, nullptr);
    auto click = [](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); };

    // The second contributor, renamed in the detail; the insert button asks about the change.
    QTest::mouseClick(rows->viewport(), Qt::LeftButton, {},
                      rows->visualRect(rows->model()->index(1, 0)).center());
    ASSERT_EQ(laurel::current_ry, 2);
    EXPECT_EQ(name->text(), QStringLiteral("c2"));
    click(name);
    name->selectAll();
    QTest::keyClick(name, Qt::Key_Backspace);
    QTest::keyClicks(name, "c2b");
    Dialogs().Answer(1);
    click(W().cb_page_insert->Widget());
    EXPECT_EQ(Boxes(), std::vector<std::string>{"提示信息|完成人已有修改，是否暂时保存？"});
    EXPECT_EQ(Listing(kContributors), "1:c1,2:c2b,3:,4:c3");
    ExpectAllCommitted(kContributors);
    ExpectListShowsStored(kContributors, 3);
    ExpectDetailFollows(kContributors);
    EXPECT_EQ(name->text(), QString()) << "the new, empty contributor is on show";
    EXPECT_EQ(QApplication::focusWidget(), name) << "the cursor waits in its name";

    // Named by typing, then removed again with the delete button: the typed name goes with it.
    QTest::keyClicks(name, "new");
    click(W().cb_page_delete->Widget());
    EXPECT_EQ(Boxes().size(), 1u) << Dialogs().Transcript();
    EXPECT_EQ(Listing(kContributors), "1:c1,2:c2b,3:c3");
    ExpectAllCommitted(kContributors);
    ExpectListShowsStored(kContributors, 3);
    ExpectDetailFollows(kContributors);
    EXPECT_EQ(name->text(), QStringLiteral("c3"));
}

// ---------------------------------------------------------------------------------------------
// Many insertions and deletions at random places never leave a gap, a repeat or a wrong order.

TEST_F(ListRows, RandomInsertsAndDeletesKeepTheListNumberedInOrder) {
    for (const ListCase* c : {&kAwards, &kContributors}) {
        SCOPED_TRACE(c->label);
        if (!WindowOpen()) {
            Open(*c, 3);
        } else {
            ExecCommit("DELETE FROM " + c->table + " WHERE xm_id = ?", {id});
            for (int k = 1; k <= 3; ++k) Add(*c, k, Name(*c, k));
            W().tv_1->SelectItem(c->page);
        }
        std::vector<std::string> model;
        for (int k = 1; k <= 3; ++k) model.push_back(Name(*c, k));
        DataWindowControl& l = List(*c);
        std::mt19937 random(7);
        for (int step = 0; step < 40; ++step) {
            const long count = static_cast<long>(model.size());
            const long row = std::uniform_int_distribution<long>(1, count)(random);
            ASSERT_EQ(l.ScrollToRow(row), 1);
            const bool insert = count < 3 || (count < c->Kind().limit && random() % 2 == 0);
            if (insert) {
                Insert();
                // Named on the page and stored, as the user does: the list then shows what is
                // stored, and deleting the row later finds it as it was read.
                const std::string name = "n" + std::to_string(step);
                ASSERT_EQ(l.GetRow(), row + 1);
                DataWindowControl& edited = c->HasDetail() ? Detail(*c) : l;
                ASSERT_EQ(edited.SetItem(c->HasDetail() ? 1 : row + 1, c->name, name), 1);
                W().cb_page_save_clicked();
                model.insert(model.begin() + row, name);
            } else {
                if (c->Kind().refusal.empty()) Dialogs().Answer(1);
                Delete();
                model.erase(model.begin() + (row - 1));
            }
            std::string expected;
            for (std::size_t k = 0; k < model.size(); ++k)
                expected += (k ? "," : "") + std::to_string(k + 1) + ":" + model[k];
            ASSERT_EQ(Listing(*c), expected) << "step " << step;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The page save.

TEST_F(ListRows, SaveStoresTheListOnShow) {
    Open(kApplications, 2);
    W().dw_no91->SetItem(2, "dw_unitname", "新单位");
    W().cb_page_save_clicked();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Listing(kApplications), "1:a1,2:新单位");
    EXPECT_EQ(W().dw_no91->ModifiedCount(), 0);
    ExpectAllCommitted(kApplications);
    W().cb_page_save->Click();  // never shown: no click reaches it
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(ListRows, SaveOfAContributorShowsTheNewNameOnTheSameRow) {
    Open(kContributors, 3);
    W().dw_no72->ScrollToRow(2);
    W().dw_no71->SetColumn("ry_name");
    W().dw_no71->SetText("新名");
    W().cb_page_save_clicked();
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Listing(kContributors), "1:c1,2:新名,3:c3");
    EXPECT_EQ(W().dw_no72->GetRow(), 2);
    EXPECT_EQ(W().dw_no72->GetItemString(2, "ry_name"), "新名");
    EXPECT_EQ(laurel::current_ry, 2);
    EXPECT_EQ(W().dw_no71->ModifiedCount(), 0);
}

// The flags go only once the COMMIT has gone through: a COMMIT that fails (another program reads
// the database) keeps the change pending for the next save, which stores it.
TEST_F(ListRows, ACommitThatFailsKeepsTheChangesForTheNextSave) {
    Open(kAwards, 2);
    W().dw_no6->SetItem(2, "jx_xmname", "改过的奖项");
    {
        const auto lock = FailNextCommit();
        AnswerDatabaseError();
        Dialogs().Answer(1);
        W().cb_page_save_clicked();
    }
    ASSERT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_TRUE(SaysDatabaseReason(Boxes()[0], "")) << Boxes()[0];
    EXPECT_EQ(Boxes()[1], "提示信息：|系统意外，保存失败！");
    EXPECT_EQ(W().dw_no6->ModifiedCount(), 1);
    EXPECT_EQ(Listing(kAwards), "1:a1,2:a2");

    W().cb_page_save_clicked();
    EXPECT_EQ(Boxes().size(), 2u) << Dialogs().Transcript();
    EXPECT_EQ(W().dw_no6->ModifiedCount(), 0);
    EXPECT_EQ(Listing(kAwards), "1:a1,2:改过的奖项");
    ExpectAllCommitted(kAwards);
}

TEST_F(ListRows, AFailedSaveReportsOnceAndKeepsTheInput) {
    Open(kUnits, 3);
    W().dw_no82->ScrollToRow(3);
    W().dw_no81->SetItem(1, "dw_name", "新单位");
    RefuseWrites("no_changes", "BEFORE UPDATE ON j_dw_finish");
    AnswerDatabaseError();
    Dialogs().Answer(1);
    W().cb_page_save_clicked();
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[1], "提示信息：|系统意外，保存失败！");
    EXPECT_EQ(Listing(kUnits), "1:u1,2:u2,3:u3");
    ExpectAllCommitted(kUnits);
    EXPECT_EQ(W().dw_no82->GetRow(), 3);
    EXPECT_EQ(laurel::current_dw, 3);
    EXPECT_EQ(W().dw_no81->GetItemString(1, "dw_name"), "新单位");
    EXPECT_EQ(W().dw_no81->ModifiedCount(), 1);
}

}  // namespace

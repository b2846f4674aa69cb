// The DataWindow control as the user meets it: real widgets, driven through key and mouse events,
// on the real object definitions and a private database.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/database/transaction.h"
#include "runtime/testing/scripted_dialogs.h"
#include "runtime/text/text.h"
#include "runtime/ui/datawindow_control.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/window.h"
#include "schema/dataobjects.h"
#include "tests/support/accessible_names.h"
#include "tests/support/testdb.h"

namespace {

using rt::Value;
using rt::ui::DataWindowControl;

// One application for the whole run, with scripted message boxes.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "datawindow_view_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        schema::RegisterDataObjects();
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QApplication> app_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Characters as a Chinese input method delivers them one by one: key events carrying the text.
void Type(QWidget* w, const QString& text) {
    for (QChar ch : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

QString Repeat(const QString& s, int n) {
    QString out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

class DataWindowViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto scripted = std::make_unique<rt::ScriptedDialogs>();
        dialogs_ = scripted.get();
        previous_ = rt::ui::SetDialogs(std::move(scripted));
        db_.Connect(t_);
        window_ = std::make_unique<rt::ui::Window>("w_view_test", rt::ui::WindowType::Main);
        window_->SetSize(4000, 2800);
    }

    void TearDown() override {
        EXPECT_EQ(dialogs_->Unexpected(), 0) << dialogs_->Transcript();
        EXPECT_EQ(dialogs_->PendingAnswers(), 0) << dialogs_->Transcript();
        window_.reset();
        rt::ui::SetDialogs(std::move(previous_));
    }

    void Exec(const std::string& sql, const std::vector<Value>& args = {}) {
        ASSERT_EQ(t_.Execute(sql, args), 0) << t_.SQLErrText << "\n" << sql;
    }

    DataWindowControl& Add(const std::string& name, const std::string& object, int width = 3543,
                           int height = 2260) {
        auto& dw = window_->Add<DataWindowControl>(name, object);
        dw.Move(10, 10);
        dw.Resize(width, height);
        dw.SetTransObject(t_);
        return dw;
    }

    void ShowWindow() {
        QWidget* top = window_->TopWidget();
        top->show();
        top->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    }

    template <class W>
    W* Editor(DataWindowControl& dw, const char* column) {
        W* w = dw.Widget()->findChild<W*>(QString::fromLatin1(column));
        EXPECT_NE(w, nullptr) << column;
        return w;
    }

    QWidget* Focus() const { return QApplication::focusWidget(); }

    // A project row with the values the form tests start from.
    void AddProject(const std::string& id) {
        Exec(
            "INSERT INTO j_xm_base (xm_id, xm_name, jb_awardcode, bm_deptcode, xk_majorname1, xk_majorcode1) "
            "VALUES (?, ?, ?, ?, ?, ?)",
            {Value(id), Value("旧名称"), Value("2"), Value("003"), Value("计算机科学"), Value("5201010")});
    }

    testing_support::TestDatabase db_;
    rt::Transaction t_;
    std::unique_ptr<rt::ui::Window> window_;
    rt::ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<rt::ui::DialogService> previous_;
};

// ---- the form: typing through the engine ----------------------------------------------------------

TEST_F(DataWindowViewTest, TypingStopsAtTheByteLimitAndReachesTheEngineOnLeaving) {
    AddProject("20250001");
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();

    std::vector<std::string> changed;
    dw.itemchanged = [&](long, std::string_view column, std::string_view data) {
        changed.push_back(std::string(column) + "=" + std::string(data));
        return 0;
    };

    auto* name = Editor<QLineEdit>(dw, "xm_name");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QStringLiteral("旧名称"));
    name->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(dw.GetColumnName(), "xm_name");
    name->selectAll();
    const QString thirtyFive = Repeat(QStringLiteral("项"), 35);
    Type(name, thirtyFive);

    // 60 bytes: thirty Chinese characters and no more.
    EXPECT_EQ(name->text(), Repeat(QStringLiteral("项"), 30));
    EXPECT_TRUE(dw.EditPending());
    EXPECT_EQ(dw.GetItemString(1, "xm_name").value_or(""), "旧名称");  // not before leaving
    EXPECT_TRUE(changed.empty());

    QTest::keyClick(name, Qt::Key_Tab);
    EXPECT_EQ(dw.GetItemString(1, "xm_name").value_or(""), Repeat(QStringLiteral("项"), 30).toStdString());
    EXPECT_FALSE(dw.EditPending());
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], "xm_name=" + Repeat(QStringLiteral("项"), 30).toStdString());
    // Tab goes on in the object's tab order.
    EXPECT_EQ(Focus(), Editor<QLineEdit>(dw, "xm_ename"));
    EXPECT_EQ(dw.GetColumnName(), "xm_ename");

    // A mixed text counts ASCII as one byte: 58 bytes of Chinese leave room for two letters.
    auto* topic = Editor<QLineEdit>(dw, "xm_topicword");
    topic->setFocus(Qt::OtherFocusReason);
    Type(topic, Repeat(QStringLiteral("词"), 29));
    QTest::keyClicks(topic, "abc");
    EXPECT_EQ(topic->text(), Repeat(QStringLiteral("词"), 29) + "ab");
    QTest::keyClick(topic, Qt::Key_Tab);

    // A text stored longer than the limit can be shortened, not lengthened, and the engine takes
    // it once it fits.
    ASSERT_EQ(dw.SetItem(1, "xm_fixsecrorgan", Value(std::string(30, 'e'))), 1);
    auto* organ = Editor<QLineEdit>(dw, "xm_fixsecrorgan");
    organ->setFocus(Qt::OtherFocusReason);
    organ->end(false);
    QTest::keyClick(organ, Qt::Key_Backspace);
    QTest::keyClicks(organ, "f");
    EXPECT_EQ(organ->text(), QString(29, u'e'));
    for (int i = 0; i < 4; ++i) QTest::keyClick(organ, Qt::Key_Backspace);
    QTest::keyClicks(organ, "f");
    QTest::keyClick(organ, Qt::Key_Tab);
    EXPECT_EQ(dw.GetItemString(1, "xm_fixsecrorgan").value_or(""), std::string(25, 'e'));

    // A paste longer than the field is cut at the limit, never inside a character, as a box cuts
    // it; at the limit nothing more goes in.
    name->setFocus(Qt::OtherFocusReason);
    name->selectAll();
    name->del();
    QTest::keyClicks(name, "ab");
    name->home(false);
    QApplication::clipboard()->setText("c" + Repeat(QStringLiteral("名"), 40));
    name->paste();
    const QString cut = "c" + Repeat(QStringLiteral("名"), 28);
    EXPECT_EQ(name->text(), cut + "ab") << "57 + 2 bytes: the next character needs two";
    EXPECT_EQ(name->cursorPosition(), 29);
    name->paste();
    EXPECT_EQ(name->text(), cut + "cab");
    name->paste();
    EXPECT_EQ(name->text(), cut + "cab");
    QTest::keyClick(name, Qt::Key_Tab);
    EXPECT_EQ(dw.GetItemString(1, "xm_name").value_or(""), (cut + "cab").toStdString());
    EXPECT_TRUE(dialogs_->messages.empty()) << dialogs_->Transcript();
}

TEST_F(DataWindowViewTest, BoxRefusesComposedAndPastedTextBeyondItsLimit) {
    AddProject("20250001");
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();

    auto* plan = Editor<QPlainTextEdit>(dw, "xm_planname");
    ASSERT_NE(plan, nullptr);
    plan->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(dw.GetColumnName(), "xm_planname");

    // An input method commits 100 characters, then a paste of 100 more is cut to what fits (300
    // bytes: 150 characters).
    QInputMethodEvent commit;
    commit.setCommitString(Repeat(QStringLiteral("计"), 100));
    QApplication::sendEvent(plan, &commit);
    QApplication::clipboard()->setText(Repeat(QStringLiteral("划"), 100));
    plan->paste();
    EXPECT_EQ(plan->toPlainText(), Repeat(QStringLiteral("计"), 100) + Repeat(QStringLiteral("划"), 50));
    Type(plan, QStringLiteral("满"));
    QTest::keyClick(plan, Qt::Key_Return);
    EXPECT_EQ(rt::GbkLength(plan->toPlainText().toStdString()), 300u);
    EXPECT_EQ(dw.GetText(), plan->toPlainText().toStdString());

    QTest::keyClick(plan, Qt::Key_Tab);
    EXPECT_EQ(dw.GetItemString(1, "xm_planname").value_or(""), plan->toPlainText().toStdString());

    // A character outside GBK counts four bytes, typed as when validated: a box with three bytes
    // left refuses it, one with four takes it.
    plan->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(plan, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(plan, Qt::Key_Backspace);
    QTest::keyClick(plan, Qt::Key_Backspace);
    Type(plan, QStringLiteral("a"));
    const QString threeLeft = plan->toPlainText();
    ASSERT_EQ(rt::GbkLength(threeLeft.toStdString()), 297u);
    QKeyEvent emoji(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\U0001F600"));
    QApplication::sendEvent(plan, &emoji);
    EXPECT_EQ(plan->toPlainText(), threeLeft);
    QTest::keyClick(plan, Qt::Key_Backspace);
    QApplication::sendEvent(plan, &emoji);
    EXPECT_EQ(plan->toPlainText(), threeLeft.chopped(1) + QStringLiteral("\U0001F600"));
    QTest::keyClick(plan, Qt::Key_Tab);
    EXPECT_EQ(dw.GetItemString(1, "xm_planname").value_or(""), plan->toPlainText().toStdString());
    EXPECT_TRUE(dialogs_->messages.empty()) << dialogs_->Transcript();
}

TEST_F(DataWindowViewTest, MasksAdmitOnlyWhatTheyDescribe) {
    Exec("INSERT INTO j_ry_finish (xm_id, ry_no, ry_name) VALUES ('20250001', 1, '张三')");
    DataWindowControl& dw = Add("dw_no71", "dw_71", 3543, 1496);
    ASSERT_EQ(dw.Retrieve({Value("20250001"), Value(1)}), 1);
    ShowWindow();

    auto* tel = Editor<QLineEdit>(dw, "ry_fixtel");
    ASSERT_NE(tel, nullptr);
    tel->setFocus(Qt::OtherFocusReason);
    tel->home(false);
    QTest::keyClicks(tel, "0571ab-c88886666x9");
    EXPECT_EQ(tel->text(), QStringLiteral("0571-88886666"));
    QTest::keyClick(tel, Qt::Key_Tab);
    // The typed digits are stored; the field shows them through the mask again.
    EXPECT_EQ(dw.GetItemString(1, "ry_fixtel").value_or(""), "057188886666");
    EXPECT_EQ(tel->text(), QStringLiteral("0571-88886666"));

    auto* born = Editor<QLineEdit>(dw, "ry_birthday");
    born->setFocus(Qt::OtherFocusReason);
    born->home(false);
    QTest::keyClicks(born, "1975x-03");
    EXPECT_EQ(born->text(), QStringLiteral("1975-03"));
    QTest::keyClick(born, Qt::Key_Return);
    EXPECT_EQ(dw.GetItemDate(1, "ry_birthday"), (rt::Date{1975, 3, 1}));
    EXPECT_EQ(Focus(), born);  // Enter accepts and stays

    // A character the mask refuses where the cursor is stays out, and the cursor stays: it does not
    // land at a later place that takes it, leaving blanks between.
    DataWindowControl& project = Add("dw_no1", "dw_1", 3543, 2260);
    Exec("INSERT INTO j_xm_base (xm_id, xm_name) VALUES ('20250001', '项目')");
    ASSERT_EQ(project.Retrieve({Value("20250001")}), 1);
    project.Show();
    auto* askno = Editor<QLineEdit>(project, "xm_askno");
    askno->setFocus(Qt::OtherFocusReason);
    askno->home(false);
    QTest::keyClicks(askno, "1a");
    EXPECT_EQ(askno->cursorPosition(), 1);
    askno->home(false);
    QTest::keyClicks(askno, "2008 0A");
    EXPECT_EQ(askno->cursorPosition(), 6) << "a letter where a digit goes";
    QTest::keyClicks(askno, " 1AB");
    EXPECT_EQ(askno->text(), QStringLiteral("2008 01AB"));
    QTest::keyClick(askno, Qt::Key_Tab);
    EXPECT_EQ(project.GetItemString(1, "xm_askno").value_or(""), "200801AB");

    // A click behind the typed text, wherever it lands, puts the cursor right after it (at the start
    // of an empty field), so every key typed next is kept, in every kind of mask.
    struct Entry {
        DataWindowControl* dw;
        const char* column;
        const char* keys;
        std::string stored;
    };
    const std::vector<Entry> entries = {
        {&project, "xm_askno", "202602BB", "202602BB"},
        {&dw, "ry_postcode", "123456", "123456"},
        {&dw, "ry_fixtel", "057188886666", "057188886666"},
        {&dw, "ry_id", "33010619750301123X", "33010619750301123X"},
        {&dw, "ry_birthday", "197503", "1975-03-01"},
    };
    for (const Entry& e : entries) {
        for (const double at : {0.04, 0.5, 0.97}) {
            ASSERT_EQ(e.dw->SetItem(1, e.column, Value()), 1);
            auto* line = Editor<QLineEdit>(*e.dw, e.column);
            QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(int(line->width() * at), line->height() / 2));
            EXPECT_EQ(line->cursorPosition(), 0) << e.column << " clicked at " << at;
            QTest::keyClicks(line, e.keys);
            QTest::keyClick(line, Qt::Key_Tab);
            EXPECT_EQ(e.dw->GetItem(1, e.column).ToText(), e.stored) << e.column << " clicked at " << at;
        }
    }
    // Behind text typed already, the cursor goes right after it (past the separator that follows),
    // and typing goes on from there.
    ASSERT_EQ(project.SetItem(1, "xm_askno", Value()), 1);
    askno->setFocus(Qt::OtherFocusReason);
    askno->home(false);
    QTest::keyClicks(askno, "2026");
    QTest::mouseClick(askno, Qt::LeftButton, {}, QPoint(askno->width() - 4, askno->height() / 2));
    EXPECT_EQ(askno->cursorPosition(), 5);
    QTest::keyClicks(askno, "02BB");
    QTest::keyClick(askno, Qt::Key_Tab);
    EXPECT_EQ(project.GetItemString(1, "xm_askno").value_or(""), "202602BB");
    EXPECT_TRUE(dialogs_->messages.empty()) << dialogs_->Transcript();

    // A field cleared through its mask stores nothing, not the mask's literals.
    tel->setFocus(Qt::OtherFocusReason);
    tel->selectAll();
    QTest::keyClick(tel, Qt::Key_Backspace);
    QTest::keyClick(tel, Qt::Key_Tab);
    EXPECT_FALSE(dw.GetItemString(1, "ry_fixtel").has_value() && !dw.GetItemString(1, "ry_fixtel")->empty());
}

// ---- drop-downs and check boxes -------------------------------------------------------------------

TEST_F(DataWindowViewTest, DropDownListShowsDisplayTextsAndStoresTheValue) {
    AddProject("20250001");
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();

    auto* category = Editor<QComboBox>(dw, "jb_awardcode");
    ASSERT_NE(category, nullptr);
    ASSERT_EQ(category->count(), 6);
    EXPECT_EQ(category->currentText(), QStringLiteral("2  技术发明"));

    // Through the real pop-up list.
    QTest::mouseClick(category, Qt::LeftButton);
    ASSERT_TRUE(category->view()->isVisible());
    EXPECT_EQ(dw.GetColumnName(), "jb_awardcode");
    const QRect entry = category->view()->visualRect(category->model()->index(3, 0));
    // The list ignores a release that comes as fast as a double click after it opened.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(category->view()->viewport(), Qt::LeftButton, {}, entry.center());
    EXPECT_EQ(category->currentText(), QStringLiteral("4  社会公益 "));
    EXPECT_EQ(dw.GetItemString(1, "jb_awardcode").value_or(""), "4");
    EXPECT_EQ(dw.LookUpDisplay(1, "jb_awardcode"), "4  社会公益 ");

    // A stored code the list does not know shows no text at all.
    Exec("UPDATE j_xm_base SET jb_awardcode = '9' WHERE xm_id = '20250001'");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    EXPECT_EQ(category->currentIndex(), -1);
    EXPECT_EQ(category->currentText(), QString());
}

TEST_F(DataWindowViewTest, DropDownDataWindowOffersTheUnitsAndStoresTheirCodes) {
    AddProject("20250001");
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();

    auto* dept = Editor<QComboBox>(dw, "bm_deptcode");
    ASSERT_NE(dept, nullptr);
    rt::DataWindow* units = dw.GetChild("bm_deptcode");
    ASSERT_NE(units, nullptr);
    ASSERT_GT(units->RowCount(), 3);
    EXPECT_EQ(dept->count(), units->RowCount());
    EXPECT_EQ(dept->itemText(0), QStringLiteral("省发展和改革委员会"));
    EXPECT_EQ(dept->currentText(), QStringLiteral("省科学技术厅"));  // stored "003"

    // Keyboard: in the field, Down picks the next unit.
    dept->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(dw.GetColumnName(), "bm_deptcode");
    QTest::keyClick(dept, Qt::Key_Down);
    EXPECT_EQ(dept->currentText(), QStringLiteral("省经济和信息化委员会"));
    EXPECT_EQ(dw.GetItemString(1, "bm_deptcode").value_or(""), "004");
}

TEST_F(DataWindowViewTest, CheckBoxStoresItsOnAndOffValues) {
    Exec("INSERT INTO j_yy_app (xm_id, yy_id, dw_unitname, sf_submit) VALUES ('20250001', 1, '甲厂', '0')");
    Exec("INSERT INTO j_yy_app (xm_id, yy_id, dw_unitname, sf_submit) VALUES ('20250001', 2, '乙厂', '1')");
    DataWindowControl& dw = Add("dw_no91", "dw_91", 3458, 1792);
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 2);
    ShowWindow();

    auto* grid = dw.Widget()->findChild<QTableView*>("grid");
    ASSERT_NE(grid, nullptr);
    const int column = [&] {
        for (int s = 0; s < grid->model()->columnCount(); ++s)
            if (grid->model()->headerData(s, Qt::Horizontal).toString() == QStringLiteral("是否有证明"))
                return s;
        return -1;
    }();
    ASSERT_GE(column, 0);
    auto cell = [&](int row) { return grid->visualRect(grid->model()->index(row, column)).center(); };

    // One click on another row's box moves there and ticks it.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell(0));
    EXPECT_EQ(dw.GetItemString(1, "sf_submit").value_or(""), "1");
    EXPECT_EQ(grid->model()->index(0, column).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell(1));
    EXPECT_EQ(dw.GetRow(), 2);
    EXPECT_EQ(dw.GetItemString(2, "sf_submit").value_or(""), "0");
    // Space on the current box ticks it back.
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(dw.GetItemString(2, "sf_submit").value_or(""), "1");
    EXPECT_EQ(dw.ModifiedCount(), 2);
}

TEST_F(DataWindowViewTest, DisplayOnlyFieldsTakeTheCursorButNoInput) {
    AddProject("20250001");
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();

    std::vector<std::string> doubles;
    dw.doubleclicked = [&](long, long, long row, std::string_view column) {
        doubles.push_back(std::to_string(row) + ":" + std::string(column));
    };

    // Tab from the field before reaches the subject field.
    auto* organ = Editor<QLineEdit>(dw, "xm_fixsecrorgan");
    organ->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(organ, Qt::Key_Tab);
    auto* subject = Editor<QLineEdit>(dw, "xk_majorname1");
    ASSERT_EQ(Focus(), subject);
    EXPECT_EQ(dw.GetColumnName(), "xk_majorname1");

    QTest::keyClicks(subject, "abc");
    Type(subject, QStringLiteral("改"));
    QTest::keyClick(subject, Qt::Key_Backspace);
    EXPECT_EQ(subject->text(), QStringLiteral("计算机科学"));
    EXPECT_FALSE(dw.EditPending());
    EXPECT_EQ(dw.GetItemString(1, "xk_majorname1").value_or(""), "计算机科学");

    QTest::mouseDClick(subject, Qt::LeftButton);
    ASSERT_EQ(doubles.size(), 1u);
    EXPECT_EQ(doubles[0], "1:xk_majorname1");
}

// A small form of its own for what the shipped forms do not use: check boxes on a form, case
// converting masks, a display-only check box.
rt::DataWindowDef ProbeForm() {
    rt::DataWindowDef d;
    d.name = "dw_view_probe";
    d.presentation = rt::Presentation::Freeform;
    d.select =
        "SELECT j_xm_base.xm_xg, j_xm_base.xm_pno, j_xm_base.xm_sn, j_xm_base.xm_id FROM j_xm_base "
        "WHERE j_xm_base.xm_id = :current";
    d.arguments = {{"current", rt::ColType::Char}};
    d.updateTable = "j_xm_base";
    auto column = [&](const char* name, int length, int tab, int y) {
        rt::ColumnDef c;
        c.name = name;
        c.dbName = std::string("j_xm_base.") + name;
        c.length = length;
        c.updatable = true;
        c.tabOrder = tab;
        c.x = 400;
        c.y = y;
        c.width = 800;
        c.height = 72;
        return c;
    };
    rt::ColumnDef flag = column("xm_xg", 1, 1, 10);
    flag.edit = rt::EditStyle::CheckBox;
    flag.checkOn = "Y";
    flag.checkOff = "N";
    rt::ColumnDef code = column("xm_pno", 12, 2, 100);
    code.edit = rt::EditStyle::EditMask;
    code.mask = "!!-xx";
    rt::ColumnDef fixed = column("xm_sn", 40, 3, 190);
    fixed.edit = rt::EditStyle::CheckBox;
    fixed.checkOn = "1";
    fixed.checkOff = "0";
    fixed.displayOnly = true;
    rt::ColumnDef key = column("xm_id", 40, 0, 280);
    key.key = true;
    key.visible = false;
    d.columns = {flag, code, fixed, key};
    d.detailHeight = 400;
    d.width = 1300;
    return d;
}

TEST_F(DataWindowViewTest, FormCheckBoxesAndCaseConvertingMasks) {
    rt::RegisterDefinition(ProbeForm());
    Exec("INSERT INTO j_xm_base (xm_id, xm_xg, xm_sn) VALUES ('20250001', 'N', '1')");
    DataWindowControl& dw = Add("dw_probe", "dw_view_probe", 1400, 500);
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();

    auto* flag = Editor<QCheckBox>(dw, "xm_xg");
    auto* fixed = Editor<QCheckBox>(dw, "xm_sn");
    ASSERT_NE(flag, nullptr);
    ASSERT_NE(fixed, nullptr);
    EXPECT_FALSE(flag->isChecked());
    EXPECT_TRUE(fixed->isChecked());

    QTest::mouseClick(flag, Qt::LeftButton);
    EXPECT_TRUE(flag->isChecked());
    EXPECT_EQ(dw.GetItemString(1, "xm_xg").value_or(""), "Y");
    QTest::keyClick(flag, Qt::Key_Space);
    EXPECT_EQ(dw.GetItemString(1, "xm_xg").value_or(""), "N");

    // Display only: the cursor may stop there, the box does not change.
    QTest::mouseClick(fixed, Qt::LeftButton);
    QTest::keyClick(fixed, Qt::Key_Space);
    EXPECT_TRUE(fixed->isChecked());
    EXPECT_EQ(dw.GetItemString(1, "xm_sn").value_or(""), "1");
    EXPECT_EQ(dw.GetColumnName(), "xm_sn");

    auto* code = Editor<QLineEdit>(dw, "xm_pno");
    code->setFocus(Qt::OtherFocusReason);
    code->home(false);
    QTest::keyClicks(code, "abCd");
    EXPECT_EQ(code->text(), QStringLiteral("AB-Cd"));
    QTest::keyClick(code, Qt::Key_Return);
    EXPECT_EQ(dw.GetItemString(1, "xm_pno").value_or(""), "ABCd");
}

// ---- leaving a field ------------------------------------------------------------------------------

TEST_F(DataWindowViewTest, RejectedValueKeepsTheFocusAndTheTypedText) {
    AddProject("20250001");
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();

    int refusals = 0;
    dw.itemchanged = [&](long, std::string_view column, std::string_view) {
        if (column != "xm_name") return 0;
        ++refusals;
        return 1;
    };
    int clicks = 0;
    dw.clicked = [&](long, long, long, std::string_view) {
        ++clicks;
        return 0;
    };

    auto* name = Editor<QLineEdit>(dw, "xm_name");
    auto* ename = Editor<QLineEdit>(dw, "xm_ename");
    name->setFocus(Qt::OtherFocusReason);
    name->selectAll();
    Type(name, QStringLiteral("新名"));

    QTest::keyClick(name, Qt::Key_Tab);
    EXPECT_EQ(Focus(), name);
    EXPECT_EQ(name->text(), QStringLiteral("新名"));
    EXPECT_EQ(refusals, 1);

    // A click elsewhere neither moves the focus nor counts as a click.
    QTest::mouseClick(ename, Qt::LeftButton);
    EXPECT_EQ(Focus(), name);
    EXPECT_EQ(name->text(), QStringLiteral("新名"));
    EXPECT_EQ(refusals, 2);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(dw.GetColumnName(), "xm_name");
    EXPECT_EQ(dw.GetItemString(1, "xm_name").value_or(""), "旧名称");

    // Once the handler agrees, the same click goes through.
    dw.itemchanged = nullptr;
    QTest::mouseClick(ename, Qt::LeftButton);
    EXPECT_EQ(Focus(), ename);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(dw.GetColumnName(), "xm_ename");
    EXPECT_EQ(dw.GetItemString(1, "xm_name").value_or(""), "新名");
}

TEST_F(DataWindowViewTest, InvalidTextIsReportedOnceAndKeepsTheField) {
    AddProject("20250001");
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();

    auto* date = Editor<QLineEdit>(dw, "xm_fixsecrdate");
    date->setFocus(Qt::OtherFocusReason);
    date->home(false);
    QTest::keyClicks(date, "200813");  // month 13
    dialogs_->Answer(1);
    QTest::mouseClick(Editor<QLineEdit>(dw, "xm_fixsecrorgan"), Qt::LeftButton);
    EXPECT_EQ(dialogs_->messages.size(), 1u) << dialogs_->Transcript();
    EXPECT_EQ(Focus(), date);
    EXPECT_EQ(date->text(), QStringLiteral("2008-13"));
    EXPECT_FALSE(dw.GetItemDate(1, "xm_fixsecrdate").has_value());
}

TEST_F(DataWindowViewTest, ClickAcceptsThenFiresClickedThenMoves) {
    AddProject("20250001");
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();

    std::vector<std::string> events;
    dw.itemchanged = [&](long, std::string_view c, std::string_view) {
        events.push_back("itemchanged " + std::string(c));
        return 0;
    };
    int keep = 0;
    dw.clicked = [&](long, long, long row, std::string_view c) {
        events.push_back("clicked " + std::to_string(row) + " " + std::string(c));
        return keep;
    };
    dw.itemfocuschanged = [&](long, std::string_view c) {
        events.push_back("itemfocuschanged " + std::string(c));
    };

    auto* name = Editor<QLineEdit>(dw, "xm_name");
    auto* topic = Editor<QLineEdit>(dw, "xm_topicword");
    name->setFocus(Qt::OtherFocusReason);
    events.clear();
    QTest::keyClicks(name, "x");
    QTest::mouseClick(topic, Qt::LeftButton);
    EXPECT_EQ(events, (std::vector<std::string>{"itemchanged xm_name", "clicked 1 xm_topicword",
                                                "itemfocuschanged xm_topicword"}));
    EXPECT_EQ(Focus(), topic);

    // A clicked handler returning 1 keeps the cursor where it was.
    keep = 1;
    events.clear();
    QTest::mouseClick(name, Qt::LeftButton);
    EXPECT_EQ(events, (std::vector<std::string>{"clicked 1 xm_name"}));
    EXPECT_EQ(Focus(), topic);
    EXPECT_EQ(dw.GetColumnName(), "xm_topicword");
}

TEST_F(DataWindowViewTest, DisabledControlIsReadableButTakesNothing) {
    AddProject("20250001");
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();
    int clicks = 0;
    dw.clicked = [&](long, long, long, std::string_view) {
        ++clicks;
        return 0;
    };

    auto* name = Editor<QLineEdit>(dw, "xm_name");
    auto* category = Editor<QComboBox>(dw, "jb_awardcode");
    name->setFocus(Qt::OtherFocusReason);
    dw.SetEnabled(false);
    EXPECT_NE(Focus(), name);
    EXPECT_EQ(dw.SetFocus(), -1);

    QTest::mouseClick(name, Qt::LeftButton);
    QTest::keyClicks(name, "abc");
    QTest::mouseClick(category, Qt::LeftButton);
    QTest::keyClick(category, Qt::Key_Down);
    EXPECT_EQ(clicks, 0);
    EXPECT_NE(Focus(), name);
    EXPECT_FALSE(category->view()->isVisible());
    EXPECT_FALSE(dw.EditPending());
    EXPECT_EQ(dw.GetItemString(1, "jb_awardcode").value_or(""), "2");
    // Still shows its data, in the colours of an enabled form.
    EXPECT_EQ(name->text(), QStringLiteral("旧名称"));
    EXPECT_EQ(category->currentText(), QStringLiteral("2  技术发明"));
    EXPECT_EQ(name->palette().color(QPalette::Disabled, QPalette::Text),
              name->palette().color(QPalette::Active, QPalette::Text));

    dw.SetEnabled(true);
    QTest::mouseClick(name, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(Focus(), name);
}

TEST_F(DataWindowViewTest, FormWithoutRecordShowsOnlyWhatIsNotTheRecord) {
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("99999999")}), 0);
    ShowWindow();
    auto* name = Editor<QLineEdit>(dw, "xm_name");
    EXPECT_FALSE(name->isVisible());
    EXPECT_EQ(dw.SetFocus(), 1);
    EXPECT_FALSE(name->hasFocus());

    AddProject("20250001");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    EXPECT_TRUE(name->isVisible());
    // The control's focus goes to the engine's current field.
    dw.SetColumn("xm_topicword");
    EXPECT_EQ(dw.SetFocus(), 1);
    EXPECT_EQ(Focus(), Editor<QLineEdit>(dw, "xm_topicword"));
}

TEST_F(DataWindowViewTest, TabbingInLandsOnTheFieldTheEngineIsIn) {
    AddProject("20250001");
    auto* outside = new QLineEdit(window_->Canvas());  // the canvas owns it
    outside->setGeometry(0, 600, 100, 20);
    DataWindowControl& dw = Add("dw_no1", "dw_1", 3543, 2000);
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ASSERT_EQ(dw.SetColumn("xm_topicword"), 1);
    ShowWindow();
    int moves = 0;
    dw.itemfocuschanged = [&](long, std::string_view) { ++moves; };

    outside->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(outside, Qt::Key_Tab);
    EXPECT_EQ(Focus(), Editor<QLineEdit>(dw, "xm_topicword"));
    EXPECT_EQ(dw.GetColumnName(), "xm_topicword");
    // Arriving from outside is entering that field, for the hint it shows, though the engine's
    // column stays.
    EXPECT_EQ(moves, 1);
    // Tab inside the control keeps to its own order; Shift+Tab before the first field leaves the
    // control, as Tab after the last does, so that the keyboard is never caught in it.
    QTest::keyClick(Focus(), Qt::Key_Backtab);
    EXPECT_EQ(Focus(), Editor<QLineEdit>(dw, "xm_ename"));
    QTest::keyClick(Focus(), Qt::Key_Backtab);
    QTest::keyClick(Focus(), Qt::Key_Backtab);
    EXPECT_EQ(Focus(), outside);
    EXPECT_EQ(dw.GetColumnName(), "xm_name");
    EXPECT_EQ(moves, 3);
    ASSERT_EQ(dw.SetColumn("xm_finishdate"), 1);
    QTest::keyClick(outside, Qt::Key_Backtab);
    EXPECT_EQ(Focus(), Editor<QLineEdit>(dw, "xm_finishdate"));
    QTest::keyClick(Focus(), Qt::Key_Tab);
    EXPECT_EQ(Focus(), outside);
}

// What a screen reader says for every field of every object, as a form or as a list: a name a
// person would say, from the labels, never the value the field holds; Tab goes through a form's
// fields as its rows are read.
TEST_F(DataWindowViewTest, EveryFieldIsNamedAfterItsLabelAndTabFollowsTheReadingOrder) {
    for (const char* object :
         {"dw",     "dw_1",   "dw_2",        "dw_3",         "dw_4",  "dw_51", "dw_512", "dw_52",
          "dw_522", "dw_53",  "dw_6",        "dw_71",        "dw_72", "dw_81", "dw_82",  "dw_91",
          "dw_92",  "dw_93",  "dw_94",       "dw_base",      "dw_dw", "dw_ry", "dw_xy",  "dw_yy",
          "dw_zl",  "dw_max", "dw_getaward", "dw_recomdept", "dw_xk"}) {
        DataWindowControl& dw = Add(object, object);
        const rt::DataWindowDef* def = dw.Definition();
        ASSERT_NE(def, nullptr) << object;
        ASSERT_EQ(dw.InsertRow(0), 1);
        ASSERT_EQ(dw.SetRow(1), 1);
        // Every field holds a value that would read as a name: the first entry of a list, text.
        for (const rt::ColumnDef& c : def->columns) {
            if (!c.codes.empty()) dw.SetItem(1, c.name, Value(c.codes.front().data));
            if (c.codes.empty() && c.type == rt::ColType::Char)
                dw.SetItem(1, c.name, Value(std::string("值")));
        }
        ShowWindow();
        std::vector<int> order;
        for (std::size_t i = 0; i < def->columns.size(); ++i)
            if (def->columns[i].visible && def->columns[i].tabOrder > 0)
                order.push_back(static_cast<int>(i) + 1);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return def->columns[static_cast<std::size_t>(a - 1)].tabOrder <
                   def->columns[static_cast<std::size_t>(b - 1)].tabOrder;
        });
        // A list opens its one editor on the field the cursor is in.
        for (int column : order) {
            ASSERT_EQ(dw.SetColumn(column), 1);
            testing_support::ExpectNamed(dw.Widget(), object);
        }
        testing_support::ExpectNamed(dw.Widget(), object);
        if (def->presentation != rt::Presentation::Freeform) continue;

        // The reading order: rows from the top, each from the left.
        std::vector<std::pair<QRect, int>> places;
        for (int column : order) {
            const std::string& name = def->columns[static_cast<std::size_t>(column - 1)].name;
            places.emplace_back(Editor<QWidget>(dw, name.c_str())->geometry(), column);
        }
        std::sort(places.begin(), places.end(), [](const auto& a, const auto& b) {
            return std::pair(a.first.top(), a.first.left()) < std::pair(b.first.top(), b.first.left());
        });
        std::vector<std::vector<std::pair<int, int>>> rows;
        int rowBottom = -1;
        for (const auto& [r, column] : places) {
            if (rows.empty() || r.center().y() > rowBottom) {
                rows.emplace_back();
                rowBottom = r.bottom();
            }
            rows.back().emplace_back(r.left(), column);
        }
        std::vector<int> read;
        for (auto& row : rows) {
            std::sort(row.begin(), row.end());
            for (const auto& [x, column] : row) read.push_back(column);
        }
        EXPECT_EQ(order, read) << object << ": Tab does not go as the form is read";
    }

    // Several fields share a label: the group's label and the place say which one it is; the hint
    // is the description, and the label beside it labels it.
    auto* code =
        Editor<QLineEdit>(*static_cast<DataWindowControl*>(window_->FindControl("dw_1")), "xk_majorcode1");
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(code);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("学科分类 1 代码"));
    EXPECT_EQ(a->text(QAccessible::Description),
              QStringLiteral("双击此处可以显示学科代码表，双击代码表选定相应的学科代码！"));
    const auto labels = a->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels.front().first->text(QAccessible::Name), QStringLiteral("代        码"));
}

// ---- grids ----------------------------------------------------------------------------------------

TEST_F(DataWindowViewTest, GridShadesTheCurrentRowAndMovesItOnClick) {
    for (int i = 1; i <= 4; ++i) {
        Exec("INSERT INTO j_jx_getaward (xm_id, jx_id, jx_xmname) VALUES ('20250001', ?, ?)",
             {Value(i), Value("奖项" + std::to_string(i))});
    }
    DataWindowControl& dw = Add("dw_no6", "dw_6", 3458, 1700);
    std::vector<long> moves;
    dw.rowfocuschanged = [&](long row) { moves.push_back(row); };
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 4);
    ShowWindow();
    moves.clear();

    auto* grid = dw.Widget()->findChild<QTableView*>("grid");
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->model()->rowCount(), 4);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("序号"));
    auto pixel = [&](int row, int column) {
        const QImage shot = grid->viewport()->grab().toImage();
        const QRect r = grid->visualRect(grid->model()->index(row, column));
        return QColor(shot.pixel(r.left() + 3, r.center().y()));
    };
    // jx_id is display only: no editor covers its cell.
    EXPECT_EQ(pixel(0, 0), QColor(230, 230, 230));
    EXPECT_EQ(pixel(1, 0), QColor(255, 255, 255));

    const QRect third = grid->visualRect(grid->model()->index(2, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_EQ(moves, std::vector<long>{3});
    EXPECT_EQ(dw.GetRow(), 3);
    EXPECT_EQ(dw.GetColumnName(), "jx_xmname");
    EXPECT_EQ(pixel(2, 0), QColor(230, 230, 230));
    EXPECT_EQ(pixel(0, 0), QColor(255, 255, 255));

    // The editor sits on the clicked cell; typing goes to that row.
    auto* editor = qobject_cast<QLineEdit*>(Focus());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("奖项3"));
    QTest::keyClicks(editor, "X");
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_EQ(dw.GetItemString(3, "jx_xmname").value_or(""), "X");
    EXPECT_EQ(moves, (std::vector<long>{3, 4}));

    // Outside the rows: clicked with row 0, and the row stays.
    int outside = 0;
    dw.clicked = [&](long, long, long row, std::string_view column) {
        if (row == 0 && column.empty()) ++outside;
        return 0;
    };
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, QPoint(5, grid->viewport()->height() - 3));
    EXPECT_EQ(outside, 1);
    EXPECT_EQ(dw.GetRow(), 4);
}

TEST_F(DataWindowViewTest, TotalsFollowEveryAcceptedAmount) {
    for (const char* year : {"2022", "2023", "2024"}) {
        Exec(
            "INSERT INTO j_xy_saving (xm_id, xy_year, xy_zhijorjianj, xy_addvalue, xy_addtax) "
            "VALUES ('20250001', ?, '1', 0, 1.5)",
            {Value(year)});
    }
    DataWindowControl& dw = Add("dw_no51", "dw_51", 3458, 690);
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 3);
    ShowWindow();

    auto* total = dw.Widget()->findChild<QLabel*>("compute_1");
    auto* tax = dw.Widget()->findChild<QLabel*>("compute_3");
    auto* caption = dw.Widget()->findChild<QLabel*>("t_1");
    ASSERT_NE(total, nullptr);
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), QStringLiteral("累计"));
    EXPECT_EQ(tax->text().toStdString(), dw.GetComputedText("compute_3"));

    auto* grid = dw.Widget()->findChild<QTableView*>("grid");
    // The totals line follows the last row.
    const int lastRowBottom =
        grid->viewport()->mapTo(dw.Widget(), grid->visualRect(grid->model()->index(2, 1)).bottomLeft()).y();
    EXPECT_GE(total->mapTo(dw.Widget(), QPoint(0, 0)).y(), lastRowBottom);
    EXPECT_LE(total->mapTo(dw.Widget(), QPoint(0, 0)).y(), lastRowBottom + 10);

    const QRect cell = grid->visualRect(grid->model()->index(1, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    auto* editor = qobject_cast<QLineEdit*>(Focus());
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "1234567.899");  // at most six digits, two decimals
    EXPECT_EQ(editor->text(), QStringLiteral("123456.89"));
    EXPECT_EQ(total->text().toStdString(), dw.GetComputedText("compute_1"));  // nothing accepted yet
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_EQ(dw.GetItemDecimal(2, "xy_addvalue"), rt::Decimal::FromCents(12345689));
    EXPECT_EQ(total->text(), QStringLiteral("123,456.89"));
    EXPECT_EQ(dw.GetColumnName(), "xy_addinterest");

    // The year has no place in the tab order: clicking it moves the row, and the cursor stays in
    // the column it was in.
    const QRect year = grid->visualRect(grid->model()->index(0, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, year.center());
    EXPECT_EQ(dw.GetRow(), 1);
    EXPECT_EQ(dw.GetColumnName(), "xy_addinterest");
    EXPECT_EQ(grid->model()->index(0, 0).data().toString(), QStringLiteral("2022"));
    ASSERT_NE(qobject_cast<QLineEdit*>(Focus()), nullptr);
    EXPECT_TRUE(grid->visualRect(grid->model()->index(0, 2)).contains(Focus()->geometry().center()));

    // Retrieving again while the user is in a cell keeps the cursor in the grid.
    QTest::keyClicks(Focus(), "7");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 3);
    ASSERT_NE(Focus(), nullptr);
    EXPECT_TRUE(dw.Widget()->isAncestorOf(Focus()));
    EXPECT_EQ(total->text().toStdString(), dw.GetComputedText("compute_1"));
}

TEST_F(DataWindowViewTest, LongListStaysCheapAndScrollsToTheCurrentRow) {
    std::vector<std::vector<Value>> rows;
    for (int i = 1; i <= 10000; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "2025%05d", i);
        rows.push_back({Value(id), Value("项目" + std::to_string(i)), Value(std::to_string(i))});
    }
    ASSERT_EQ(testing_support::InsertRows(t_, "INSERT INTO j_xm_base (xm_id, xm_name, xm_askno)", rows), 0)
        << t_.SQLErrText;
    DataWindowControl& dw = Add("dw_no", "dw", 1024, 1368);
    dw.SetBorder(rt::ui::Border::Lowered);
    dw.SetVScrollBar(true);
    ASSERT_EQ(dw.Retrieve(), 10000);
    ShowWindow();

    auto* grid = dw.Widget()->findChild<QTableView*>("grid");
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->model()->rowCount(), 10000);
    EXPECT_TRUE(grid->verticalScrollBar()->isVisible());
    // One widget for the current cell at most, never one per row.
    EXPECT_LE(dw.Widget()->findChildren<QLineEdit*>().size(), 1);

    std::vector<long> moves;
    dw.rowfocuschanged = [&](long row) { moves.push_back(row); };
    ASSERT_EQ(dw.ScrollToRow(9000), 1);
    const QRect r = grid->visualRect(grid->model()->index(8999, 1));
    EXPECT_TRUE(grid->viewport()->rect().contains(r.center()));
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(dw.GetRow(), 9001);
    EXPECT_EQ(moves, (std::vector<long>{9000, 9001}));
    EXPECT_EQ(grid->model()->index(9000, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(230, 230, 230));
    EXPECT_EQ(grid->model()->index(8999, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::white));

    // Rows removed and inserted keep the lines and the engine in step.
    ASSERT_EQ(dw.DeleteRow(1), 1);
    EXPECT_EQ(grid->model()->rowCount(), 9999);
    EXPECT_EQ(grid->model()->index(0, 1).data().toString(), QStringLiteral("项目2"));
    ASSERT_EQ(dw.InsertRow(1), 1);
    EXPECT_EQ(grid->model()->rowCount(), 10000);
    EXPECT_EQ(grid->model()->index(0, 1).data().toString(), QString());
    ASSERT_EQ(t_.Rollback(), 0);
}

TEST_F(DataWindowViewTest, ChangingTheObjectRebuildsTheView) {
    AddProject("20250001");
    DataWindowControl& dw = Add("dw_no1", "dw_1");
    ASSERT_EQ(dw.Retrieve({Value("20250001")}), 1);
    ShowWindow();
    auto* name = Editor<QLineEdit>(dw, "xm_name");
    name->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(name, "x");

    ASSERT_EQ(dw.SetDataObject("dw_6"), 1);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dw.Widget()->findChild<QLineEdit*>("xm_name"), nullptr);
    EXPECT_NE(dw.Widget()->findChild<QTableView*>("grid"), nullptr);
    EXPECT_EQ(dw.Retrieve({Value("20250001")}), 0);
}

// ---- the message box on screen ------------------------------------------------------------------

// The Qt message box as the user meets it: Esc and the window's close box do nothing on a Yes/No
// box, which waits for a button; on a box with 取消 they are 取消, on an OK box OK.
TEST(QtMessageBox, EscAndTheCloseBoxAnswerOnlyWhereTheBoxHasAWayOut) {
    const std::unique_ptr<rt::ui::DialogService> qt = rt::ui::MakeQtDialogs();
    using rt::ui::Buttons;

    // Runs `act` on the box once it is on screen; `stillOpen` tells whether it survived. A box that
    // does not close as it should is closed after a while and fails the test, instead of waiting
    // for an answer forever.
    const auto answer = [&](Buttons buttons, const std::function<void(QMessageBox&)>& act, bool& stillOpen) {
        stillOpen = false;
        const QObject timers;  // ends the timers below when the answer is in
        std::function<void()> drive;
        drive = [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) {
                QTimer::singleShot(5, &timers, drive);
                return;
            }
            act(*box);
        };
        QTimer::singleShot(0, &timers, drive);
        bool forced = false;
        QTimer::singleShot(10000, &timers, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && !box->buttons().isEmpty()) {
                forced = true;
                box->buttons().back()->click();  // a box without a way out is asked again when closed
            }
        });
        const int result = qt->Message({"提示信息", "问题", rt::ui::Icon::Question, buttons, 1});
        EXPECT_FALSE(forced) << "the box stayed open until the test closed it";
        return result;
    };
    const auto escThenClose = [](QMessageBox& box) {
        QTest::keyClick(&box, Qt::Key_Escape);
        if (box.isVisible()) box.close();
    };

    bool open = false;
    const int yesNo = answer(
        Buttons::YesNo,
        [&](QMessageBox& box) {
            escThenClose(box);
            open = box.isVisible();
            for (QAbstractButton* b : box.buttons())
                if (b->text() == QStringLiteral("否")) b->click();
        },
        open);
    EXPECT_EQ(yesNo, 2) << "answered by its button only";
    EXPECT_TRUE(open) << "Esc and the close box left it open";

    EXPECT_EQ(answer(
                  Buttons::YesNoCancel, [](QMessageBox& box) { box.close(); }, open),
              3);
    EXPECT_EQ(answer(
                  Buttons::OKCancel, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, open),
              2);
    EXPECT_EQ(answer(
                  Buttons::OK, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, open),
              1);
}

// The tests' own dialog service: moving on to the next step must not hide what went wrong in the
// last, so a box that nobody expected and an answer that no box took still count after Clear.
TEST(ScriptedDialogs, ClearForgetsNeitherUnexpectedBoxesNorUnusedAnswers) {
    rt::ScriptedDialogs d;
    d.Answer(1);
    EXPECT_EQ(d.Message({"提示信息", "答过的"}), 1);
    d.Clear();
    EXPECT_EQ(d.Unexpected(), 0);
    EXPECT_EQ(d.PendingAnswers(), 0);

    EXPECT_EQ(d.Message({"提示信息", "没人料到的"}), 1);
    d.Answer(2);
    d.Clear();
    EXPECT_TRUE(d.messages.empty());
    EXPECT_EQ(d.Unexpected(), 1);
    EXPECT_EQ(d.PendingAnswers(), 1);
    EXPECT_NE(d.Transcript().find("没人料到的"), std::string::npos) << d.Transcript();
    EXPECT_EQ(d.Message({"提示信息", "下一个"}), 1) << "the cleared answer is not used";
    EXPECT_EQ(d.Unexpected(), 2);
}

// Steps that never settle (a conflict that comes back after every answer) stop the test with the
// transcript once a few boxes came that nobody expected, instead of spinning until ctest gives up.
TEST(ScriptedDialogsDeathTest, StopsTheTestAfterAFewUnexpectedBoxes) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    rt::ScriptedDialogs d;
    for (int i = 0; i < rt::ScriptedDialogs::kMaxUnexpected; ++i) d.Message({"提示信息", "又一个"});
    EXPECT_EQ(d.Unexpected(), rt::ScriptedDialogs::kMaxUnexpected);
    EXPECT_DEATH(
        {
            for (int i = 0; i < 1000; ++i) d.Message({"提示信息", "列表已被其他用户修改"});
        },
        "nobody expected");
}

}  // namespace

// A user's session through the real widgets: typing a Chinese project name into section one,
// picking the project category from its drop-down, and clicking another section in the tree,
// which saves section one to the database; what the screen shows of titles, long values and hints.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "runtime/ui/application.h"
#include "runtime/ui/dialogs.h"
#include "sections/popup.h"
#include "tests/support/accessible_names.h"
#include "tests/support/app_fixture.h"

namespace {

using testing_support::AppTest;
using testing_support::XmId;

// What an input method hands over when the user has composed the characters.
void Compose(QWidget* editor, const QString& text) {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(editor, &commit);
}

class MainWindowClickThrough : public AppTest {};

TEST_F(MainWindowClickThrough, TypedNamePickedCategoryAndTreeClickReachTheDatabase) {
    const std::string a = XmId(1);
    Seed({a, "2008 01AA", "原来的名称"});
    laurel::win::j_main_mdi& w = OpenMainWindow();
    QWidget* top = w.TopWidget();
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));

    auto* name = w.dw_no1->Widget()->findChild<QLineEdit*>(QStringLiteral("xm_name"));
    ASSERT_NE(name, nullptr);
    ASSERT_TRUE(name->isVisible());
    EXPECT_EQ(name->text(), QStringLiteral("原来的名称"));

    // Into the field, clear it, and type the new name: a few keys, then a composed phrase.
    QTest::mouseClick(name, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), name);
    EXPECT_EQ(w.dw_no1->GetColumnName(), "xm_name");
    name->selectAll();
    QTest::keyClick(name, Qt::Key_Backspace);
    QTest::keyClicks(name, "2008 ");
    Compose(name, QStringLiteral("界面录入的项目"));
    EXPECT_EQ(name->text(), QStringLiteral("2008 界面录入的项目"));

    // The category: open the drop-down and click the third entry.
    auto* category = w.dw_no1->Widget()->findChild<QComboBox*>(QStringLiteral("jb_awardcode"));
    ASSERT_NE(category, nullptr);
    QTest::mouseClick(category, Qt::LeftButton);
    EXPECT_EQ(w.dw_no1->GetItemString(1, "xm_name"), "2008 界面录入的项目") << "leaving the field accepts it";
    QAbstractItemView* list = category->view();
    ASSERT_TRUE(list->isVisible()) << "the drop-down opens";
    const QModelIndex third = list->model()->index(2, 0);
    ASSERT_TRUE(third.isValid());
    // A release right after the drop-down opened belongs to the click that opened it.
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(third).center());
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(category->currentText(), QStringLiteral("3  技术开发"));
    EXPECT_EQ(w.dw_no1->GetItemString(1, "jb_awardcode"), "3");
    EXPECT_EQ(StoredBase(a, "xm_name"), "原来的名称") << "nothing is stored before the page is left";

    // Section 二 in the tree.
    auto* tree = qobject_cast<QTreeWidget*>(w.tv_1->Widget());
    ASSERT_NE(tree, nullptr);
    QTreeWidgetItem* two = tree->topLevelItem(0)->child(1);
    ASSERT_NE(two, nullptr);
    ASSERT_EQ(two->text(0), QStringLiteral("二、项目简介"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(two).center());

    EXPECT_EQ(laurel::current_page, 3);
    EXPECT_EQ(w.tv_1->SelectedItem(), 3);
    EXPECT_TRUE(w.dw_no2->Visible());
    EXPECT_FALSE(w.dw_no1->Visible());
    EXPECT_EQ(StoredBase(a, "xm_name"), "2008 界面录入的项目");
    EXPECT_EQ(StoredBase(a, "jb_awardcode"), "3");
    EXPECT_TRUE(Boxes().empty());
}

// The status line's hint follows the user into a page: the first click into the field the page
// holds already shows that field's hint, as does coming back to it from elsewhere.
TEST_F(MainWindowClickThrough, TheFirstClickIntoAFieldShowsItsHint) {
    Seed({XmId(1), "2008 01AA", "原来的名称"});
    laurel::win::j_main_mdi& w = OpenMainWindow();
    QWidget* top = w.TopWidget();
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));

    // Section 一 as the window opens on it, on its first field: the cursor is not in the page yet.
    ASSERT_EQ(w.dw_no1->GetColumnName(), "xm_name");
    auto* first = w.dw_no1->Widget()->findChild<QWidget*>(QString::fromStdString(w.dw_no1->GetColumnName()));
    ASSERT_NE(first, nullptr);
    w.SetMicroHelp("-");
    QTest::mouseClick(first, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), first);
    EXPECT_EQ(w.MicroHelp(), "中文项目名称，限30个汉字。");

    for (const char* column : {"xm_name", "ry_id"}) {
        rt::ui::DataWindowControl* dw = std::string(column) == "ry_id" ? w.dw_no71 : w.dw_no1;
        if (dw == w.dw_no71) {
            ASSERT_EQ(w.tv_1->SelectItem(11), 1);
        }
        ASSERT_EQ(dw->SetColumn(column), 1);
        auto* field = dw->Widget()->findChild<QWidget*>(QString::fromUtf8(column));
        ASSERT_NE(field, nullptr) << column;
        ASSERT_TRUE(field->isVisible()) << column;
        const std::string hint = dw->Describe(std::string(column) + ".Tag");
        ASSERT_FALSE(hint.empty());

        // Away to the tree, and back into the field the page holds.
        w.tv_1->Widget()->setFocus(Qt::MouseFocusReason);
        w.SetMicroHelp("-");
        QTest::mouseClick(field, Qt::LeftButton);
        ASSERT_EQ(QApplication::focusWidget(), field) << column;
        EXPECT_EQ(w.MicroHelp(), hint) << column;

        // A click inside the field the cursor is in changes nothing.
        w.SetMicroHelp("-");
        QTest::mouseClick(field, Qt::LeftButton);
        EXPECT_EQ(w.MicroHelp(), "-") << column;
    }
}

// What the desktop's message box shows, read while it is open, then answered with its first button.
struct ShownBox {
    QSize size;
    QString text;
    QString spoken;  // what a screen reader reads when the box opens
};

ShownBox ShowThroughTheDesktop(const rt::ui::MessageRequest& request) {
    ShownBox shown;
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
        shown = {box->size(), box->text(),
                 a->role() == QAccessible::AlertMessage ? a->text(QAccessible::Value) : QString()};
        box->buttons().front()->click();
    });
    rt::ui::MakeQtDialogs()->Message(request);
    return shown;
}

TEST_F(MainWindowClickThrough, MessageBoxesShowTheirWholeTitleAndStayOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);

    // A short text under a title: the frame has room for the title and its own buttons.
    const ShownBox saved = ShowThroughTheDesktop({"提示信息", "保存成功！"});
    EXPECT_EQ(saved.text, QStringLiteral("保存成功！"));
    EXPECT_EQ(saved.spoken, QStringLiteral("保存成功！")) << "a screen reader reads the box as it opens";
    EXPECT_GE(saved.size.width(),
              QFontMetrics(titleFont).horizontalAdvance(QStringLiteral("提示信息")) + 100);

    // A pasted value far wider than the screen, in letters that offer no place to break, and a
    // text of more lines than the screen holds: shortened in the middle, start and reason kept.
    const std::string value(5000, 'a');
    const ShownBox refused = ShowThroughTheDesktop(
        {"数据窗口", "输入的值“" + value + "”无效：超过 2000 字节", rt::ui::Icon::Exclamation});
    EXPECT_TRUE(refused.text.startsWith(QStringLiteral("输入的值“aaa")));
    EXPECT_TRUE(refused.text.endsWith(QStringLiteral("”无效：超过 2000 字节")));
    EXPECT_TRUE(refused.text.contains(QStringLiteral("…")));
    EXPECT_LE(refused.size.width(), screen.width());
    EXPECT_LE(refused.size.height(), screen.height());

    std::string manyLines;
    for (int i = 0; i < 500; ++i) manyLines += "第 " + std::to_string(i) + " 行\n";
    const ShownBox tall = ShowThroughTheDesktop({"数据库错误", manyLines, rt::ui::Icon::StopSign});
    EXPECT_TRUE(tall.text.startsWith(QStringLiteral("第 0 行\n")));
    EXPECT_LE(tall.size.height(), screen.height());

    // A value that looks like markup is shown as typed.
    EXPECT_EQ(ShowThroughTheDesktop({"提示信息", "<b>粗体</b>"}).text, QStringLiteral("<b>粗体</b>"));
}

// A save kept waiting by another program's lock, with the desktop's own boxes: after a while a
// box offers 取消, and once the other program lets go the box goes by itself and the save ends.
TEST_F(MainWindowClickThrough, TheWaitingBoxGoesByItselfWhenTheDatabaseAnswers) {
    const std::chrono::milliseconds boxAfter(500);
    const testing_support::WaitingBoxAfter sooner(boxAfter);
    const std::string a = XmId(1);
    Seed({a, "2008 01AA", "原来的名称"});
    laurel::win::j_main_mdi& w = OpenMainWindow();
    ASSERT_EQ(w.dw_no1->SetItem(1, "xm_name", "等待之后保存的名称"), 1);
    ExecCommit(testing_support::ScratchDatabase::OnPostgreSQL() ? "SET lock_timeout = '30s'"
                                                                : "PRAGMA busy_timeout = 30000");
    testing_support::LockHolder other(Db());
    ASSERT_EQ(other.HoldWrites("j_xm_base"), 0);

    QString shown;
    QTimer letGo;
    letGo.setSingleShot(true);
    QObject::connect(&letGo, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) shown = box->text();
        other.Release();
    });
    // A box still there long after that would stay for ever: the test takes it away.
    bool stuck = false;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            stuck = true;
            box->hide();
        }
    });
    letGo.start(static_cast<int>(boxAfter.count()) + 1000);
    giveUp.start(static_cast<int>(boxAfter.count()) + 9000);
    auto scripted = rt::ui::SetDialogs(rt::ui::MakeQtDialogs());
    w.tv_1->SelectItem(3);
    rt::ui::SetDialogs(std::move(scripted));

    EXPECT_EQ(shown, QStringLiteral("正在等待数据库应答……\n选择“取消”放弃这次操作，已输入的内容仍然保留。"));
    EXPECT_FALSE(stuck) << "the box stayed after the database had answered";
    EXPECT_EQ(StoredBase(a, "xm_name"), "等待之后保存的名称");
}

// The toolkit's own dialogs (the file dialogs, their questions) speak the program's language.
TEST_F(MainWindowClickThrough, TheToolkitsOwnTextsAreChinese) {
    ASSERT_TRUE(rt::ui::Application::LoadToolkitTranslations());
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"), QStringLiteral("文件名称(&N)："));
}

QWidget* KeyTarget(QWidget* top) {
    return QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : top;
}

// A menu's item by the access keys: Alt and the menu's letter, then the item's.
void ChooseByKeys(QWidget* top, Qt::Key menuKey, Qt::Key itemKey) {
    QTest::keyClick(KeyTarget(top), menuKey, Qt::AltModifier);
    QWidget* dropDown = QApplication::activePopupWidget();
    ASSERT_NE(dropDown, nullptr);
    QTest::keyClick(dropDown, itemKey);
}

std::string FocusName() {
    return QApplication::focusWidget() != nullptr ? QApplication::focusWidget()->objectName().toStdString()
                                                  : std::string();
}

void TabTo(const char* field) {
    for (int i = 0; i < 40 && FocusName() != field; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(FocusName(), field);
}

// A recommendation made, filled, saved and checked by a user who has the keyboard only: the menus'
// access keys, Tab from the list into the form, the arrow keys in a drop-down, Enter for the subject
// picker and Esc to close it, Ctrl+S.
TEST_F(MainWindowClickThrough, ARecommendationIsMadeFilledSavedAndCheckedWithKeysAlone) {
    laurel::win::j_main_mdi& w = OpenMainWindow();
    QWidget* top = w.TopWidget();
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    ChooseByKeys(top, Qt::Key_R, Qt::Key_N);  // 推荐书管理(R) > 新增推荐书(N)
    ASSERT_EQ(w.dw_no->RowCount(), 1);
    testing_support::ExpectNamed(top, "j_main_mdi", top);
    // The list reads as it shows: the headers of the columns the user sees, not the program's own.
    QAccessibleTableInterface* list =
        QAccessible::queryAccessibleInterface(w.dw_no->Widget()->findChild<QWidget*>(QStringLiteral("grid")))
            ->tableInterface();
    ASSERT_NE(list, nullptr);
    QStringList heads;
    for (int c = 0; c < list->columnCount(); ++c) heads << list->columnDescription(c);
    EXPECT_EQ(heads.join(u'|').toStdString(), "推荐号|项目名称");
    const std::string id = w.dw_no->GetItemString(1, "xm_id").value_or("");
    // Through the list, whose last column lets the cursor go on, into section 一.
    TabTo("grid");

    TabTo("xm_name");
    Compose(QApplication::focusWidget(), QStringLiteral("键盘录入的项目"));
    TabTo("jb_awardcode");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    TabTo("xk_majorname1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_NE(laurel::popup, nullptr) << "Enter opens the subject picker";
    QWidget* picker = laurel::popup->TopWidget();
    picker->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(picker));
    testing_support::ExpectNamed(picker, "popup", picker);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(picker->isVisible()) << "Esc closes the picker";
    const std::string code = w.dw_no1->GetItemString(1, "xk_majorcode1").value_or("");
    EXPECT_EQ(code.size(), 7U) << "the subject picked by Enter";

    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    Dialogs().Answer(1);  // 保存成功！
    QTest::keyClick(KeyTarget(top), Qt::Key_S, Qt::ControlModifier);
    Dialogs().Answer(1);                      // what the check finds missing
    ChooseByKeys(top, Qt::Key_R, Qt::Key_C);  // 推荐书管理(R) > 完整性检查(C)

    const std::vector<std::string> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2U);
    EXPECT_EQ(boxes[0], "提示信息|保存成功！");
    EXPECT_EQ(StoredBase(id, "xm_name"), "键盘录入的项目");
    EXPECT_EQ(StoredBase(id, "jb_awardcode"), "1");
    EXPECT_EQ(StoredBase(id, "xk_majorcode1"), code);
    EXPECT_EQ(StoredBase(id, "xm_xg"), "1");
}

// Every control of `top` that Tab reaches looks otherwise while it has the focus, from the first
// moment, whatever put the focus there.
void ExpectFocusShown(QWidget* top, const std::string& where, QList<QWidget*> reachable = {}) {
    if (reachable.isEmpty())
        for (QWidget* w : top->findChildren<QWidget*>())
            if (w->window() == top && w->isVisible() && w->isEnabled() &&
                (w->focusPolicy() & Qt::TabFocus) != 0)
                reachable.push_back(w);
    ASSERT_GE(reachable.size(), 1);
    // Only the active window's controls take the focus; without a window manager a dialog shown over
    // the main window need not be made active.
    top->activateWindow();
    QApplication::setActiveWindow(top);
    ASSERT_TRUE(QTest::qWaitForWindowActive(top)) << where;
    auto away = std::make_unique<QPushButton>(top);  // somewhere else for the focus to be
    away->move(-200, -200);
    away->show();
    for (QWidget* w : reachable) {
        away->setFocus(Qt::OtherFocusReason);
        const QImage without = w->grab().toImage();
        w->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(w->hasFocus()) << where << ": " << w->objectName().toStdString();
        EXPECT_NE(w->grab().toImage(), without)
            << where << ": " << w->objectName().toStdString() << " (" << w->metaObject()->className()
            << ") shows no sign of the focus";
    }
}

// Every text of `dialog` is shown whole: a label or a button is as wide as its text, or a label
// that wraps its lines as high as they are.
void ExpectTextsWhole(QWidget* dialog, const std::string& where) {
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (w->window() != dialog || !w->isVisible()) continue;
        if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && !label->text().isEmpty()) {
            if (label->wordWrap())
                EXPECT_LE(label->heightForWidth(label->width()), label->height())
                    << where << ": " << label->text().toStdString() << " is cut at its foot";
            else
                EXPECT_LE(label->sizeHint().width(), label->width())
                    << where << ": " << label->text().toStdString() << " is cut at its edge";
        } else if (qobject_cast<QPushButton*>(w) != nullptr) {
            // The style's own least width of a button says nothing of its text.
            auto* button = static_cast<QPushButton*>(w);
            EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text().remove(u'&')) + 8,
                      button->width())
                << where << ": " << button->text().toStdString() << " is cut at its edge";
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_LE(button->sizeHint().width(), button->width())
                << where << ": " << button->text().toStdString() << " is cut at its edge";
        }
    }
}

// The dialog's access keys: one on every label of a field and every button but those that Enter
// and Esc press, each a different letter.
void ExpectAccessKeys(QWidget* dialog, const std::string& where) {
    std::map<QString, QString> taken;
    for (QWidget* w : dialog->findChildren<QWidget*>()) {
        if (w->window() != dialog || !w->isVisible()) continue;
        QString text;
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (button->text() == QStringLiteral("确定") || button->text() == QStringLiteral("取消") ||
                button->text() == QStringLiteral("关闭"))
                continue;
            text = button->text();
        } else if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && label->buddy() != nullptr) {
            text = label->text();
        } else {
            continue;
        }
        const QString key = QKeySequence::mnemonic(text).toString();
        EXPECT_FALSE(key.isEmpty()) << where << ": " << text.toStdString() << " has no access key";
        if (key.isEmpty()) continue;
        const auto [at, fresh] = taken.emplace(key, text);
        EXPECT_TRUE(fresh) << where << ": " << text.toStdString() << " and " << at->second.toStdString()
                           << " share " << key.toStdString();
    }
}

// The dialogs, opened by their access keys: every field a person reaches is named, shows the focus
// and has an access key; Enter presses the dialog's own button and Esc closes it.
TEST_F(MainWindowClickThrough, TheDialogsNameTheirFieldsAndCloseOnEsc) {
    Seed({XmId(1), "2008 01AA", "项目"});
    laurel::win::j_main_mdi& w = OpenMainWindow();
    QWidget* top = w.TopWidget();
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    struct Opened {
        Qt::Key menuKey, itemKey;
        std::string title, enterPresses;
    };
    for (const Opened& dialogOf :
         {Opened{Qt::Key_S, Qt::Key_D, "数据源", "确定"}, Opened{Qt::Key_H, Qt::Key_A, "about", "关闭"}}) {
        top->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(top));
        bool seen = false;
        int escapes = 0;
        QTimer look;
        // Esc again while the box stays up, a few times: a machine busy elsewhere may take a key
        // before the box is ready for it. A box that never answers Esc is closed here, and fails,
        // rather than keeping the test waiting.
        QObject::connect(&look, &QTimer::timeout, [&seen, &escapes, &look, &dialogOf] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog == nullptr) return;
            const std::string& title = dialogOf.title;
            if (!seen) {
                seen = true;
                // The checks wait for the dialog to become active: no Esc meanwhile.
                look.stop();
                EXPECT_EQ(dialog->windowTitle().toStdString(), title);
                testing_support::ExpectNamed(dialog, title, dialog);
                ExpectAccessKeys(dialog, title);
                ExpectTextsWhole(dialog, title);
                QString enter;
                for (auto* button : dialog->findChildren<QPushButton*>())
                    if (button->isDefault()) enter = button->text();
                EXPECT_EQ(enter.toStdString(), dialogOf.enterPresses) << title << ": what Enter presses";
                ExpectFocusShown(dialog, title);
                look.start(20);
            }
            if (++escapes > 50) {
                ADD_FAILURE() << title << " does not close on Esc";
                look.stop();
                dialog->close();
                return;
            }
            QTest::keyClick(KeyTarget(dialog), Qt::Key_Escape);
        });
        look.start(20);
        ChooseByKeys(top, dialogOf.menuKey, dialogOf.itemKey);
        look.stop();
        EXPECT_TRUE(seen) << dialogOf.title;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << dialogOf.title << " closes on Esc";
    }
    // The main window's own: its link, the tree, the list and the page buttons.
    top->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(top));
    ExpectFocusShown(top, "j_main_mdi", {w.shl_1->Widget(), w.tv_1->Widget(), w.cb_n->Widget()});
    // The banner's link is reached by Tab and opened by Enter or the space bar.
    w.tv_1->Widget()->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(w.tv_1->Widget(), Qt::Key_Backtab);
    ASSERT_EQ(QApplication::focusWidget(), w.shl_1->Widget());
    QTest::keyClick(w.shl_1->Widget(), Qt::Key_Return);
    QTest::keyClick(w.shl_1->Widget(), Qt::Key_Space);
    EXPECT_EQ(Dialogs().links.size(), 2U);
    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(w.shl_1->Widget());
    EXPECT_EQ(link->role(), QAccessible::Link);
    EXPECT_EQ(link->text(QAccessible::Name), QStringLiteral("Varenth省科学技术厅"));
}

}  // namespace

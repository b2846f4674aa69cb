// The list sections: inserting, deleting and storing list items, each list numbered 1 to n in the
// order it shows, so that row k of a list is always item k.
//
// A range of numbers moves in two statements inside the transaction (out of the way to negative
// numbers, then back), because a database that checks a unique key row by row would refuse the
// one-statement shift part-way. Every statement is checked; any failure rolls back the whole
// command and the list is read again from the database, so that the page never shows rows that
// are not stored.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "runtime/ui/dialogs.h"

namespace laurel::win {

namespace {

using rt::Value;
using rt::ui::Buttons;
using rt::ui::Icon;

enum class Kind { Awards, Contributors, Units, Applications, Property };

struct ListKind {
    Kind kind;
    DataWindowControl* list;    // the list of items
    DataWindowControl* detail;  // the one item edited beside the list, or nullptr
    std::string table;          // as the statements spell it
    std::string number;         // the item-number column, as the statements spell it
    std::string numberItem;     // the same column as the list's SetItem names it
    long limit;
    std::string limitMessage;
    std::string question;          // the edited rows hold changes
    std::string saveFailure;       // saving those changes failed; "" for none
    std::string insertFailure;     //
    std::string placeholder;       // the new row's placeholder values; "" for none
    std::string deleteFailure;     //
    std::string refusal;           // the last item cannot go; "" when any may
    std::string detailNameColumn;  // the cursor's column in the detail after an insertion

    // What a question about pending changes is about: the detail, or the list itself.
    DataWindowControl* Edited() const { return detail != nullptr ? detail : list; }
    // The running number of the item shown in the detail.
    int& Current() const { return kind == Kind::Contributors ? current_ry : current_dw; }
};

std::optional<ListKind> KindOf(j_main_mdi& w, long page) {
    switch (page) {
        case 10:
            return ListKind{Kind::Awards,
                            w.dw_no6,
                            nullptr,
                            "j_JX_GETAWARD",
                            "JX_ID",
                            "jx_id",
                            10,
                            "最多录入10个奖项，申报书只填写前5个！",
                            "奖项已有修改，是否保存？",
                            "系统意外，奖项更新失败！",
                            "系统意外，插入失败！",
                            "update j_JX_GETAWARD set jx_date ='0001-01-01' where xm_id = ? and jx_id = ?",
                            "系统意外，项目奖励情况删除失败！",
                            "",
                            ""};
        case 11:
            return ListKind{Kind::Contributors,
                            w.dw_no72,
                            w.dw_no71,
                            "j_ry_finish",
                            "ry_no",
                            "ry_no",
                            15,
                            "最多录入15个完成人！多于15位完成人请在附件中说明.",
                            "完成人已有修改，是否暂时保存？",
                            "",
                            "系统意外，完成人插入失败！",
                            "update j_ry_finish set ry_birthday ='0001-01-01' , gg_date ='0001-01-01' , "
                            "ry_grdtime ='0001-01-01' , ry_start ='0001-01-01' , ry_finish ='0001-01-01' , "
                            "ry_anum =0.0 , ry_atm ='0001-01-01' where xm_id = ? and ry_no = ?",
                            "系统意外，完成人删除失败！",
                            "最后一个完成人不能删除！",
                            "RY_NAME"};
        case 12:
            return ListKind{Kind::Units,
                            w.dw_no82,
                            w.dw_no81,
                            "j_dw_finish",
                            "dw_no",
                            "dw_no",
                            9,
                            "最多录入9个完成单位！多于9个完成单位请在附件中说明.",
                            "完成单位已有修改，是否暂时保存？",
                            "",
                            "系统意外，完成单位插入失败！",
                            "update j_dw_finish set dw_ardbkprnnum =0.0 , dw_ardbkprntm ='0001-01-01' where "
                            "xm_id = ? and dw_no = ?",
                            "系统意外，完成单位删除失败！",
                            "最后一个完成单位不能删除！",
                            "dw_NAME"};
        case 13:
        case 14:
            return ListKind{Kind::Applications,
                            w.dw_no91,
                            nullptr,
                            "J_yy_APP",
                            "YY_ID",
                            "YY_ID",
                            12,
                            "最多录入12个应用证明，超过请在附件中说明！",
                            "目录已有修改，是否保存？",
                            "系统意外，目录更新失败！",
                            "系统意外，插入失败！",
                            "update J_yy_APP set YY_STSATDATE ='0001-01-01' , YY_FINISHDATE ='0001-01-01' , "
                            "YY_BENEFIT =0.0 where xm_id = ? and YY_ID = ?",
                            "系统意外，应用证明删除失败！",
                            "",
                            ""};
        case 16:
            return ListKind{Kind::Property,
                            w.dw_no93,
                            nullptr,
                            "J_ZL_PATENT",
                            "ZL_ID",
                            "ZL_ID",
                            12,
                            "最多录入12个知识产权证明，超过请在附件中说明！",
                            "目录已有修改，是否保存？",
                            "系统意外，目录更新失败！",
                            "系统意外，插入失败！",
                            "",
                            "系统意外，知识产权情况删除失败！",
                            "",
                            ""};
        default:
            return std::nullopt;
    }
}

// While it lives, a change of the list's current row runs no handler: the command moves the list
// itself, and the list's own row change must neither ask about nor re-read the detail page in the
// middle of it.
class QuietRowChange {
  public:
    explicit QuietRowChange(DataWindowControl* dw)
        : dw_(dw), saved_(std::exchange(dw->rowfocuschanged, nullptr)) {}
    ~QuietRowChange() { dw_->rowfocuschanged = std::move(saved_); }
    QuietRowChange(const QuietRowChange&) = delete;
    QuietRowChange& operator=(const QuietRowChange&) = delete;

  private:
    DataWindowControl* dw_;
    std::function<void(long)> saved_;
};

bool Run(const std::string& sql, const std::vector<Value>& args) {
    return sqlca.Execute(sql, args) == 0;
}

// Numbers from `first` upward move up by one.
bool ShiftUp(const ListKind& k, long first) {
    const std::string& t = k.table;
    const std::string& n = k.number;
    return Run("update " + t + " set " + n + " =-(" + n + " + 1) where " + n + " >= ? and xm_id = ?",
               {first, current_id}) &&
           Run("update " + t + " set " + n + " =-" + n + " where " + n + " < 0 and xm_id = ?", {current_id});
}

// Numbers above `removed` move down by one.
bool ShiftDown(const ListKind& k, long removed) {
    const std::string& t = k.table;
    const std::string& n = k.number;
    return Run("update " + t + " set " + n + " =-(" + n + " - 1) where " + n + " > ? and xm_id = ?",
               {removed, current_id}) &&
           Run("update " + t + " set " + n + " =-" + n + " where " + n + " < 0 and xm_id = ?", {current_id});
}

// The list shows exactly the items stored: a list read before rows were added or removed behind it
// would place a new number beyond the end or past the limit.
bool ListAgreesWithTable(const ListKind& k) {
    std::vector<Value> into(1);
    if (sqlca.SelectInto("select count(*) from " + k.table + " where xm_id = ?", {current_id}, into) != 0)
        return false;
    return into[0].AsLong() == std::optional<std::int64_t>(k.list->RowCount());
}

// Reads a page afresh. One that cannot be read (the database has said why) shows nothing: rows
// read before a renumbering would write over the wrong items.
bool ReadAfresh(DataWindowControl& dw, const std::vector<Value>& args) {
    if (dw.Retrieve(args) != -1) return true;
    dw.Reset();
    return false;
}

// After a failed command: the list as stored, on the row that was current, the detail untouched
// (it still shows that row's item, with whatever the user has not stored yet).
void ShowStoredListQuietly(const ListKind& k, long row) {
    QuietRowChange quiet(k.list);
    if (ReadAfresh(*k.list, {current_id}) && row > 0) k.list->ScrollToRow(row);
}

void PutCursor(const ListKind& k) {
    if (k.detail != nullptr) {
        k.detail->SetColumn(k.detailNameColumn);
        k.detail->SetFocus();
    } else {
        k.list->SetColumn(2);
        k.list->SetFocus();
    }
}

}  // namespace

void j_main_mdi::cb_page_insert_clicked() {
    const std::optional<ListKind> found = KindOf(*this, current_page);
    if (!found) return;
    const ListKind& k = *found;
    DataWindowControl* L = k.list;
    DataWindowControl* D = k.Edited();

    if (L->RowCount() >= k.limit) {
        rt::ui::MessageBox("提示信息", k.limitMessage);
        return;
    }

    const long former_row = L->GetRow();
    long add_row = former_row + 1;

    // A value the page refuses stays in its field for the user to correct; nothing is inserted
    // that would read the page again and lose it.
    if (D->AcceptText() != 1) return;

    // A removal still pending in the list counts as a change: the new numbers must be given out
    // over what is stored, and that removal would otherwise no longer find its row.
    if (D->ModifiedCount() + D->DeletedCount() > 0) {
        const int n_choice = rt::ui::MessageBox("提示信息", k.question, Icon::Question, Buttons::YesNo, 1);
        if (n_choice == 1) {
            if (D->Update(false, false) == 1 && sqlca.Commit() == 0) {
                D->ResetUpdate();
                if (k.detail != nullptr) {
                    QuietRowChange quiet(L);
                    if (!ReadAfresh(*L, {current_id})) return;
                    if (former_row > 0) L->ScrollToRow(former_row);
                }
            } else {
                // The changes stay pending in the page; numbers given out now would no longer
                // match the rows they were read with.
                sqlca.Rollback();
                if (!k.saveFailure.empty()) rt::ui::MessageBox("提示信息：", k.saveFailure);
                return;
            }
        } else if (k.detail != nullptr) {
            // The changes are given up; a page that cannot be read gives no numbers to insert by.
            if (k.detail->Retrieve({current_id, k.Current()}) == -1) return;
        } else {
            if (L->Retrieve({current_id}) == -1) return;
            if (former_row > 0) L->ScrollToRow(former_row);
        }
    }

    const bool inserted = [&] {
        if (!ListAgreesWithTable(k)) return false;
        if (!ShiftUp(k, add_row)) return false;
        add_row = L->InsertRow(add_row);
        if (add_row < 1) return false;
        if (k.kind == Kind::Awards) L->ScrollToRow(add_row);
        if (L->SetItem(add_row, "xm_id", current_id) != 1) return false;
        if (L->SetItem(add_row, k.numberItem, add_row) != 1) return false;
        if (L->Update(true, false) != 1) return false;
        if (!k.placeholder.empty()) {
            if (!Run(k.placeholder, {current_id, add_row}) || sqlca.SQLNRows != 1) return false;
        }
        return sqlca.Commit() == 0;
    }();

    if (!inserted) {
        sqlca.Rollback();
        rt::ui::MessageBox("提示信息：", k.insertFailure);
        ShowStoredListQuietly(k, former_row);
        PutCursor(k);
        return;
    }

    L->ResetUpdate();
    if (k.detail != nullptr) k.Current() = static_cast<int>(add_row);
    if (!ReadAfresh(*L, {current_id})) {
        if (k.detail != nullptr) k.detail->Reset();
        return;
    }
    // On the contributor and unit lists this runs the list's row change, which shows the new item.
    L->ScrollToRow(add_row);
    if (k.detail != nullptr) {
        k.Current() = static_cast<int>(L->GetRow());
        ReadAfresh(*k.detail, {current_id, k.Current()});
    }
    PutCursor(k);
}

void j_main_mdi::cb_page_delete_clicked() {
    const std::optional<ListKind> found = KindOf(*this, current_page);
    if (!found) return;
    const ListKind& k = *found;
    DataWindowControl* L = k.list;

    if (k.refusal.empty()) {
        if (L->RowCount() <= 0) return;
        const int i_ok_cancel =
            rt::ui::MessageBox("提示信息：", "真的要删除吗？", Icon::Question, Buttons::OKCancel, 2);
        if (i_ok_cancel != 1) return;
    } else {
        const long row_count = L->RowCount();
        if (row_count <= 1) {
            rt::ui::MessageBox("提示信息：", k.refusal);
            return;
        }
    }

    const long removed_row = L->GetRow();
    if (removed_row < 1) return;
    const std::optional<double> removed_number =
        L->GetItemNumber(removed_row, k.numberItem, rt::Buffer::Primary, true);
    if (!removed_number) return;

    // The detail's changes go with its item when that is the one removed; changes of another item
    // are stored with the removal, before the numbers move under them.
    bool store_detail = false;
    if (k.detail != nullptr && k.detail->RowCount() > 0) {
        const std::optional<double> shown =
            k.detail->GetItemNumber(1, k.numberItem, rt::Buffer::Primary, true);
        if (shown != removed_number) {
            if (k.detail->AcceptText() != 1) return;
            store_detail = k.detail->ModifiedCount() > 0;
        }
    }

    long del_row = 0;
    {
        QuietRowChange quiet(L);
        L->DeleteRow(0);
        del_row = L->GetRow();
    }
    // The list is empty now: the removal waits in the list until the page is stored.
    if (del_row <= 0) return;

    const bool deleted = [&] {
        if (store_detail && k.detail->Update(false, false) != 1) return false;
        if (L->Update(true, false) != 1) return false;
        if (!ShiftDown(k, static_cast<long>(*removed_number))) return false;
        return sqlca.Commit() == 0;
    }();

    if (!deleted) {
        sqlca.Rollback();
        rt::ui::MessageBox("提示信息：", k.deleteFailure);
        ShowStoredListQuietly(k, removed_row);
        if (k.detail != nullptr) PutCursor(k);
        return;
    }

    L->ResetUpdate();
    if (k.detail != nullptr) {
        k.detail->ResetUpdate();
        k.Current() = static_cast<int>(del_row);
    }
    if (!ReadAfresh(*L, {current_id})) {
        if (k.detail != nullptr) k.detail->Reset();
        return;
    }
    // On the contributor and unit lists this runs the list's row change, which shows that item.
    L->ScrollToRow(del_row);
    if (k.detail != nullptr) {
        k.Current() = static_cast<int>(L->GetRow());
        ReadAfresh(*k.detail, {current_id, k.Current()});
        k.detail->SetColumn(k.kind == Kind::Contributors ? "RY_NAME" : "DW_NAME");
        k.detail->SetFocus();
    }
}

void j_main_mdi::cb_page_save_clicked() {
    const std::optional<ListKind> found = KindOf(*this, current_page);
    if (!found) return;
    const ListKind& k = *found;
    DataWindowControl* stored = k.Edited();

    // A value the page refuses fails the save as the update's own check would, and stays in its
    // field for the user to correct; the engine has said why once already.
    if (stored->AcceptText() == 1 && stored->Update(false, false) == 1 && sqlca.Commit() == 0) {
        stored->ResetUpdate();
    } else {
        // The page keeps every change pending, so that the user can correct it and store again.
        sqlca.Rollback();
        rt::ui::MessageBox("提示信息：", "系统意外，保存失败！");
    }

    if (k.detail == nullptr) return;
    const long current_row = k.list->GetRow();
    if (stored->ModifiedCount() + stored->DeletedCount() > 0 || stored->EditPending()) {
        // What could not be stored stays on show: the list's row change would read it away.
        ShowStoredListQuietly(k, current_row);
        return;
    }
    // A list that cannot be read again keeps its rows: the same items, numbered as stored.
    if (k.list->Retrieve({current_id}) != -1) k.list->ScrollToRow(current_row);
}

}  // namespace laurel::win

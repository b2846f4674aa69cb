#pragma once
// The section area of the main window: the section tree, the recommendation list, the 18 pages and
// the furniture around them. It shows one section of the current recommendation at a time and saves
// the page left, switches the recommendation when the list's row changes, runs the list buttons of
// the list sections and the editing aids of the pages. The main window makes it over its controls
// and hands it its events; the menu's commands drive the recommendation through it.

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ui/controls.h"
#include "runtime/ui/datawindow_control.h"
#include "runtime/ui/treeview.h"
#include "runtime/ui/window.h"
#include "sections/section_table.h"

namespace laurel::sections {

using rt::ui::CommandButton;
using rt::ui::DataWindowControl;
using rt::ui::StaticText;

// The controls of the main window that the section area drives, by their names on the window.
struct SectionControls {
    rt::ui::Window& window;  // its micro-help line shows the field hints
    rt::ui::TreeView& tv_1;
    DataWindowControl& dw_no;
    DataWindowControl& dw_no1;
    DataWindowControl& dw_no2;
    DataWindowControl& dw_no3;
    DataWindowControl& dw_no4;
    DataWindowControl& dw_no51;
    DataWindowControl& dw_no512;
    DataWindowControl& dw_no52;
    DataWindowControl& dw_no522;
    DataWindowControl& dw_no53;
    DataWindowControl& dw_no6;
    DataWindowControl& dw_no71;
    DataWindowControl& dw_no72;
    DataWindowControl& dw_no81;
    DataWindowControl& dw_no82;
    DataWindowControl& dw_no91;
    DataWindowControl& dw_no92;
    DataWindowControl& dw_no93;
    DataWindowControl& dw_no94;
    StaticText& st_2;
    StaticText& st_sub;
    StaticText& st_blank;
    StaticText& st_10_1;
    StaticText& st_10_2;
    StaticText& st_10_3;
    StaticText& st_10_4;
    StaticText& st_10_5;
    StaticText& st_10_6;
    StaticText& st_10_7;
    StaticText& st_10_8;
    CommandButton& cb_n;
    CommandButton& cb_p;
    CommandButton& cb_page_insert;
    CommandButton& cb_page_delete;
    CommandButton& cb_page_save;
};

// Whether a page holds changes not stored yet: changed, new or removed rows, or text typed into a
// field and not accepted.
bool HoldsChanges(const DataWindowControl& page);

// Gives a page the place that the section table names for it.
void Place(DataWindowControl& page, const Placement& placed);

// While it lives, a DataWindow's database errors raise no box of their own: the caller reports the
// failure once, in its own words.
class QuietDbError {
  public:
    explicit QuietDbError(DataWindowControl& dw);
    ~QuietDbError();
    QuietDbError(const QuietDbError&) = delete;
    QuietDbError& operator=(const QuietDbError&) = delete;

  private:
    DataWindowControl& dw_;
    decltype(DataWindowControl::dberror) saved_;
};

// "读取推荐书列表失败！" in its box.
void SayListUnread();

// What the user is told when another desktop got there first; nothing of the command is stored.
inline constexpr std::string_view kSavedElsewhere =
    "此推荐书已在其他地方保存，刚才的修改没有存入。页面已改为只读，您输入的内容仍留在页面上；"
    "如需继续编辑，请点击“修改”解锁后再保存。";
inline constexpr std::string_view kRecommendationGone = "此推荐书已被其他用户删除，刚才的修改没有存入。";
inline constexpr std::string_view kListChanged =
    "列表已被其他用户修改，刚才的操作没有执行。列表已重新读取，您输入的内容仍留在页面上，请核对后再操作。";
inline constexpr std::string_view kItemGone =
    "您修改的条目已被其他用户删除，刚才的操作没有执行，列表已重新读取。";
inline constexpr std::string_view kPageGone =
    "您修改的内容已被其他用户删除，刚才的操作没有执行，页面已重新读取。";
// The question when another desktop stored a page since it was read, naming the page's section:
// 是 keeps this desktop's changes over what is stored, 否 takes what is stored.
std::string ChangedElsewhere(std::string_view caption);
// The database's reason for the failure of the last statement on sqlca, as a DataWindow words
// its own; "" when that statement did not fail. Taken before the ROLLBACK, which forgets it.
std::string DatabaseReason();
// Says that a command failed: the database's reason first, when there is one, in the box a
// DataWindow shows for its own failures, then the command's own message, when it has one.
void SayFailure(const std::string& reason, const std::string& title, const std::string& text);

class SectionArea : public SectionControls {
  public:
    explicit SectionArea(const SectionControls& controls);
    SectionArea(const SectionArea&) = delete;
    SectionArea& operator=(const SectionArea&) = delete;

    // The 18 pages in their fixed order.
    std::array<DataWindowControl*, kPageCount> Pages() const;
    // The control of the page area that the section table names.
    rt::ui::Control& AreaControlOf(AreaControl control) const;
    DataWindowControl& PageOf(AreaControl page) const;

    // ---- page group -----------------------------------------------------------------------------
    int hidedw();
    int acceptdw();
    int updatedw();
    int enabledw();
    int disabledw();
    int cb_page_show();
    std::string modifieddw();
    // Saves the pages as leaving a section saves them (storepages); a failure says
    // "先前的页面保存失败！", and every edit stays pending. A list that another desktop changed is
    // read again and what the user typed stored on its items there and then (storingon), unless it
    // goes on changing or cannot be read. 1 saved, 0 failed or refused.
    int savepages(const std::vector<DataWindowControl*>& pages);
    // The pages that hold changes not stored yet, the page on show first: what a command that reads
    // the recommendation afresh must save before it reads.
    std::vector<DataWindowControl*> pendingpages();
    // ---- several desktops on one database ---------------------------------------------------------
    // Takes the current recommendation for writing, first in the transaction that writes: its row
    // stays locked until that transaction ends, so that no other desktop saves it, and no other
    // list command of this recommendation runs, in between. Refused when the database holds it as
    // saved, or holds it no more: the transaction is rolled back, the user is told why, and the
    // pages become read-only as on a switch to a saved recommendation, keeping what they show.
    // Failed: the statement failed, and the caller reports it.
    enum class Hold { Held, Refused, Failed };
    Hold holdforwriting();
    // Stores `pages` in one transaction: held for writing when they hold changes (always when there
    // is `more` to write), a list or a detail checked against its table, every page written, then
    // `more` (the caller's own statements, false when one failed), then COMMIT; the change flags
    // go only once it has gone through. Refused: nothing is written and the user has been told
    // why. Failed: rolled back with every edit kept; the caller says so.
    enum class Stored { Yes, Refused, Failed };
    Stored storepages(const std::vector<DataWindowControl*>& pages, const std::function<bool()>& more = {});
    // The database's reason when the last storepages failed on a statement of its own or the
    // caller's ("" when a page failed: a page says why itself), for the caller's SayFailure.
    std::string storereason;
    // Whether the last storepages failed because the connection to the database was lost, which the
    // user has been told of already: the command did not happen and is to be repeated.
    bool storelost = false;
    // Whether the last storepages found a list or a detail that another desktop had changed, read it
    // again and wrote nothing (Taken::Changed): the user has been told.
    bool storechanged = false;
    // While above 0, a list or detail found changed is read again with what the user typed back on
    // its items, and stored at once (StoreAgain), without a word of the change; each such round
    // counts one down. savepages stores on so, as leaving a section stores any edit.
    int storingon = 0;
    // Says that the last storepages failed, with the database's reason, unless the lost connection
    // has said it already.
    void saystorefailure(const std::string& title, const std::string& text) const;
    // Takes the reason of the statement that failed, rolls back and gives Failed.
    Stored FailStore();
    // After an Update of `page` found a row that another desktop stored since it was read, and the
    // transaction is rolled back: asks whose changes stand (ChangedElsewhere) and reads the page
    // again accordingly, true when it is to be stored again. A row the other desktop deleted is
    // said to be gone and read again; false.
    bool settleconflict(DataWindowControl& page);
    // Whether the list (or the detail) of `kind` shows, in this transaction, the items the table
    // holds: the same numbers for the same items. When not, nothing is written, the list is read
    // again and what the user typed goes back on its items: Changed has been said to the user;
    // Settled, where the other desktop stored something else in a column the user typed over, after
    // the user chose whose changes stand (store again); Gone, something typed belongs to an item
    // that is stored no more, said too. Failed is the caller's to report.
    enum class Agreement { Agrees, Settled, Changed, Gone, Failed };
    Agreement listagrees(const ListKind& kind);
    Agreement detailagrees(const ListKind& kind);
    // The step before a command writes to a list section (and before any save): the recommendation
    // taken for writing (holdforwriting), then each page of `checked` that is a list or a detail
    // checked against its table (listagrees, detailagrees) until one does not agree. Writable: held,
    // and every one agrees. Refused: not to be written, the user told. Failed: a statement failed,
    // the caller takes the database's reason and reports it. Changed: the list was read again, the
    // user told (Changed or Gone). StoreAgain: read again, the user chose that this desktop's
    // changes stand (Settled).
    enum class Taken { Writable, Refused, Failed, Changed, StoreAgain };
    Taken takeforwriting(const std::vector<DataWindowControl*>& checked);
    // Once the detail of `kind` has been read for the list's current row: when it does not show the
    // item that the list names there, another desktop has renumbered the items since the list was
    // read; the list is read again, the detail follows it to the item chosen where that is still
    // stored, and the user is told.
    void detailfollows(const ListKind& kind);
    // The list of `kind` read again after another desktop changed it, as listagrees does on a
    // mismatch: nothing is written, what the user typed is put back on its items, the user is told.
    Agreement rereadlist(const ListKind& kind);

    // Reads a page for the current recommendation, unless it holds changes not stored yet: those
    // stay on show until a save stores them. A page that cannot be read is emptied, so that it
    // never shows rows of another recommendation. Returns the row count, 0 when kept, -1 on failure.
    long retrievepage(DataWindowControl& page, const std::vector<rt::Value>& args);
    // Reads the recommendation list; a list that cannot be read says so in one message
    // ("读取推荐书列表失败！", unless `say` is false: the caller says it) and keeps the rows it
    // had. Returns the row count or -1.
    long retrievelist(bool say = true);
    // Whether the list holds what the database held when it was last read: false until it has
    // been read, and after a read that failed. A command that adds to the list reads it first.
    bool listread = false;
    // With no recommendation on show because the list could not be read (at start-up, or the
    // database could not be reached then): reads the list again, and its row change makes the first
    // recommendation current. True when one is current now; a list that still cannot be read says so.
    bool relist();
    // Before the current recommendation is left, for another in the list or a new one: when its
    // pages hold changes, "申请书已有修改，是否保存？" asks; 是 stores them and reads the list again,
    // 否 drops them. False when they could not be stored (said already): the recommendation is to
    // stay current with every edit pending.
    bool offersave();
    // No recommendation on show: the pages, the caption and the step buttons hidden.
    void ShowNoRecommendation();
    // The recommendation `key` is no longer in the database: the list forgets its row. When it is
    // the current one, the pages forget what they hold and the recommendation that now stands at
    // the list's current row becomes current (none when the list is empty), as after a Delete.
    void dropfromlist(const std::string& key);
    // A recommendation that a command found deleted on another desktop (holdforwriting), to be
    // dropped from the list once that command is over; "" when none.
    std::string gone;
    // Drops `gone` from the list, once the command that found it is over.
    void dropgone();
    // The row of the list that holds the recommendation `key`, 0 when none does.
    long ListRowOf(const std::string& key) const;

    // ---- events ---------------------------------------------------------------------------------
    long tv_1_selectionchanging(long oldhandle, long newhandle);
    void page_display();
    void cb_n_clicked();
    void cb_p_clicked();
    long dw_no_rowfocuschanged(long currentrow);
    long dw_no_clicked(long xpos, long ypos, long row, std::string_view column);

    // List sections: insert, delete and save of the list rows.
    void cb_page_insert_clicked();
    void cb_page_delete_clicked();
    void cb_page_save_clicked();
    // Section editing: list clicks, list-to-detail, field checks and hints, the subject picker.
    long list_clicked(long xpos, long ypos, long row, std::string_view column);
    long dw_no72_rowfocuschanged(long currentrow);
    long dw_no82_rowfocuschanged(long currentrow);
    long dw_no1_itemchanged(long row, std::string_view column, std::string_view data);
    void dw_no1_doubleclicked(long xpos, long ypos, long row, std::string_view column);
    void dw_no1_itemfocuschanged(long row, std::string_view column);
    void dw_no71_itemfocuschanged(long row, std::string_view column);
    void dw_no81_itemfocuschanged(long row, std::string_view column);
};

}  // namespace laurel::sections

#pragma once
// The DataWindow engine, data side: rows in buffers with their item status, retrieval through a
// transaction, validation of typed text, write-back by key, and the events the application hangs
// its handlers on. No Qt in here: the view observes this model and drives it.
//
// Rows and columns count from 1. Events fire synchronously inside the call that causes them and
// handlers may call back into the same DataWindow.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/transaction.h"
#include "runtime/datawindow/datawindow_status.h"
#include "runtime/datawindow/dwdef.h"
#include "runtime/text/value.h"

namespace rt {

namespace dw {
struct Inside;
}

// What changed, for the view.
enum class Change {
    Reset,          // rows replaced (Retrieve, Reset, data object changed)
    RowInserted,    // row
    RowDeleted,     // row: the number it had; sent after the removal, later rows moved up by one
    ItemChanged,    // row, column
    CurrentRow,     // current row changed
    CurrentColumn,  // current column changed
    EditText,       // the edit text of the current field changed or was reverted
    RowReselected,  // row
    Selection,      // row (0: every row) selected or deselected
};

class DataWindow {
  public:
    DataWindow();
    explicit DataWindow(std::string_view dataObject);
    ~DataWindow();
    DataWindow(const DataWindow&) = delete;
    DataWindow& operator=(const DataWindow&) = delete;

    // ---- object ---------------------------------------------------------------------------------
    // Looks the name up in the definition library; all rows go. Returns 1, or -1 for an unknown name.
    int SetDataObject(std::string_view name);
    std::string DataObject() const;
    const DataWindowDef* Definition() const;

    // The DataWindow does not own the transaction; once that is destroyed, TransObject is nullptr
    // and the calls that need it return -1.
    int SetTransObject(Transaction& t);
    Transaction* TransObject() const;

    // ---- rows -----------------------------------------------------------------------------------
    // Replaces every row with the result of the object's SELECT; empties the delete buffer and
    // clears every flag. Row 1 becomes current (0 when empty). rowfocuschanged fires only when there
    // was no current row before and there is one after. Returns the row count, or -1.
    // Arguments are matched to the ":name" markers by name. A pending edit is discarded. A failed
    // SELECT fires dberror and leaves the rows (and the pending edit) as they were. The drop-down
    // DataWindows of the object are read once per transaction (their code tables do not change
    // while the program runs): on SetTransObject with a connected transaction, else on the next
    // Retrieve, before the object's own SELECT; their failures reach this object's dberror.
    long Retrieve(const std::vector<Value>& args = {});
    int Reset();

    long RowCount() const;
    long DeletedCount() const;
    // Rows of the primary and filter buffers whose status is DataModified or NewModified.
    long ModifiedCount() const;

    // Inserts an empty row (status New) before `row`; 0 or past the end appends. The current row
    // number does not change and no event fires. Returns the new row's number, or -1.
    long InsertRow(long row);
    // Moves the row (0 = the current row) to the delete buffer; a row never stored (New or
    // NewModified) is dropped. When the removed row was the current one, the row that takes its
    // place becomes current; when a row above the current one goes, the current row keeps its data
    // row and its number goes down by one. rowfocuschanged fires when the current row number
    // changes (the last row removed, a row above removed). Returns 1, or -1.
    int DeleteRow(long row);
    // Re-reads the row from the database by its key and makes it NotModified. Returns 1, or -1.
    int ReselectRow(long row);

    long GetRow() const;   // 0 when there is none
    int SetRow(long row);  // 1, or -1 out of range; fires rowfocuschanged when the row changes
    // Past the end: the last row; below 1: the first. Returns 1, or -1 when there is no row.
    int ScrollToRow(long row);
    long ScrollPriorRow();  // returns the current row after the move; no move at the ends
    long ScrollNextRow();

    int SelectRow(long row, bool select);  // 0: every row
    bool IsSelected(long row) const;

    // ---- columns and edit text -----------------------------------------------------------------
    int SetColumn(std::string_view column);  // 1, or -1; fires itemfocuschanged when it changes
    int SetColumn(int column);
    int GetColumn() const;  // 0 when there is none
    std::string GetColumnName() const;

    // The text of the field being edited: what the user typed and has not been accepted yet, else
    // the current item formatted for editing. SetText is what typing does.
    std::string GetText() const;
    int SetText(std::string_view text);
    bool EditPending() const;

    // Validates the pending edit text (type, mask, GBK byte limit), fires itemchanged and stores the
    // value when it is accepted. Returns 1, or -1 (the text stays pending for the user to correct).
    // An empty entry stores null, except in a plain text field, where it stores "" (a null field
    // left empty stays null). A value equal to the stored one changes nothing and fires nothing;
    // through a "yyyy-mm" mask that means the same year and month (the stored day is kept).
    int AcceptText();

    // ---- items ----------------------------------------------------------------------------------
    Value GetItem(long row, std::string_view column, Buffer b = Buffer::Primary, bool original = false) const;
    std::optional<std::string> GetItemString(long row, std::string_view column, Buffer b = Buffer::Primary,
                                             bool original = false) const;
    std::optional<double> GetItemNumber(long row, std::string_view column, Buffer b = Buffer::Primary,
                                        bool original = false) const;
    std::optional<Decimal> GetItemDecimal(long row, std::string_view column, Buffer b = Buffer::Primary,
                                          bool original = false) const;
    std::optional<Date> GetItemDate(long row, std::string_view column, Buffer b = Buffer::Primary,
                                    bool original = false) const;
    std::optional<std::string> GetItemString(long row, int column) const;

    // Converts to the column's type and marks the item and the row modified, also when the value
    // is the one already stored; fires no itemchanged. Returns 1, or -1 (no such row or column, or a
    // value that does not convert).
    int SetItem(long row, std::string_view column, const Value& v);
    int SetItem(long row, int column, const Value& v);

    // column "" : the row's status.
    ItemStatus GetItemStatus(long row, std::string_view column, Buffer b = Buffer::Primary) const;

    // ---- write-back -----------------------------------------------------------------------------
    // AcceptText (when `accept`), then DELETE for the delete buffer, INSERT for NewModified rows
    // (the columns that were set), UPDATE for DataModified rows (the changed updatable columns), in
    // row order, never committing. An UPDATE finds its row by the key's original values and the
    // values read of every column it writes; a DELETE by the key and the values read of every
    // updatable column: each value is a bound parameter, a null read compares as IS NULL, and a
    // number that a database may hand back rounded (a real, a decimal of more than 13 whole digits)
    // as every number that rounds to it at 15 significant digits. So a desktop never overwrites or
    // deletes what another one stored since this one read it, and two that change different
    // columns of one row do not disturb each other.
    // A statement that fails stops the update: dberror fires, -1. An UPDATE or DELETE that finds
    // no row stops it too, -1, but is no database error: dberror does not fire, and
    // LastUpdateConflict tells which row it was. With resetFlags the flags and the delete buffer are
    // cleared after success; without, they stay until ResetUpdate, so that a caller who rolls back
    // keeps every change pending; after a failure or a conflict they always stay. A new row none of
    // whose set columns the object writes is not inserted, and stays a new row.
    int Update(bool accept = true, bool resetFlags = true);
    int ResetUpdate();
    // The conflict that stopped the last Update; nullopt when it had none. Cleared by every Update.
    std::optional<UpdateConflict> LastUpdateConflict() const;
    // The way forward after a conflict that loses nothing: reads the rows again with the arguments
    // of the last Retrieve and puts this DataWindow's changes back over them, as pending changes
    // against the values just read, so that the next Update writes them over what the other
    // desktop stored. A changed row takes the changed items of the row whose key had the same
    // original values; rows inserted here stay new rows at their places; rows deleted here stay
    // deleted when the database still holds them. A changed row that the database no longer holds
    // is not brought back (another desktop deleted it). The current row stays on its row where it
    // can, and the pending edit with it; rowfocuschanged fires as Retrieve fires it. Returns the
    // row count, or -1 (nothing retrieved since SetDataObject or Reset, rows kept in the filter
    // buffer, which have no place to go back to, or the SELECT failed: dberror fires; everything
    // stays as it was).
    long RetrieveKeepingEdits();

    // ---- display --------------------------------------------------------------------------------
    // The display text of the item's code: the drop-down list's display text, the drop-down
    // DataWindow's display column; "" when the value has none; the value itself for other styles.
    std::string LookUpDisplay(long row, std::string_view column) const;
    // The item as the view shows it: display text of codes, the display format, the mask.
    std::string GetFormattedText(long row, std::string_view column) const;
    // A computed field's value (sum(<column> for all) over the primary buffer, null counting 0;
    // any other expression gives null) and its text in the compute's format.
    Value GetComputedValue(std::string_view compute, long row = 0) const;
    std::string GetComputedText(std::string_view compute, long row = 0) const;
    // The drop-down DataWindow of a column, or nullptr.
    DataWindow* GetChild(std::string_view column);

    // Describe("Evaluate('LookUpDisplay(col)', row)"), Evaluate of a plain column (its shown text),
    // and "col.Tag", "col.ColType" ("char(5)", "date", "decimal(2)", "long", "real"),
    // "col.Edit.Limit", "col.Name", "col.dbName", "DataWindow.Table.UpdateTable"; "!" when the
    // expression is not understood.
    std::string Describe(std::string_view expression) const;

    // ---- events ---------------------------------------------------------------------------------
    std::function<void(long currentrow)> rowfocuschanged;
    // 0 accept, 1 reject (value not stored, focus stays), 2 reject but let the focus go.
    std::function<int(long row, std::string_view column, std::string_view data)> itemchanged;
    // Validation failure of the edit text. Return 1 to suppress the engine's own message.
    std::function<int(long row, std::string_view column, std::string_view data, std::string_view why)>
        itemerror;
    std::function<void(long row, std::string_view column)> itemfocuschanged;
    // Returning 1 keeps the current row and column (fires before the row changes).
    std::function<int(long xpos, long ypos, long row, std::string_view column)> clicked;
    std::function<void(long xpos, long ypos, long row, std::string_view column)> doubleclicked;
    // A database statement failed: code (the driver's native code, else -1; never 0), the driver's
    // diagnostic, the statement. Return 1 to suppress the engine's own message.
    std::function<int(long code, std::string_view text, std::string_view sql)> dberror;

    // Fires the named event as the platform would ("rowfocuschanged" with the current row).
    int TriggerEvent(std::string_view event);

    // What the engine says itself when dberror or itemerror does not return 1: the view installs a
    // message box here; without a hook nothing is shown. Process-wide.
    using MessageHook = std::function<void(std::string_view title, std::string_view text)>;
    // The title of the box that reports a failed statement: an error, where a refused value is a
    // warning to the user.
    static constexpr std::string_view kDatabaseErrorTitle = "数据库错误";
    static void SetMessageHook(MessageHook hook);
    // A refused entry is said once per user action: the same text refused again by the same edit
    // (leaving the field, then the save's AcceptText, then its Update) says nothing more until the
    // action is over, which the view reports here. Process-wide.
    static void UserAction();

    // ---- view support ---------------------------------------------------------------------------
    using Observer = std::function<void(Change, long row, int column)>;
    int AddObserver(Observer o);  // returns an id
    void RemoveObserver(int id);

    // The view reports a click on a row/column through here: fires clicked, then moves the current
    // row and column unless the handler returned 1.
    int Click(long row, std::string_view column, long xpos = 0, long ypos = 0);
    void DoubleClick(long row, std::string_view column, long xpos = 0, long ypos = 0);

  private:
    friend struct dw::Inside;  // the engine's own parts read a drop-down's code table
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace rt

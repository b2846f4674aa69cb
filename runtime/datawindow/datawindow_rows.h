#pragma once
// The DataWindow engine's own parts (see datawindow_object.h). The row buffers: the rows shown
// (primary), the rows kept but not shown (filter) and the rows removed, which Update deletes from
// the database (delete); each row with its values, what was read and which items changed.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/datawindow/datawindow_status.h"
#include "runtime/datawindow/dwdef.h"
#include "runtime/text/value.h"

namespace rt::dw {

// An item whose value as read is stored in the database in a form of its own (a date that another
// program stored with a time of day, a number stored with more digits than the column shows): its
// text as stored, by which an UPDATE or DELETE finds the row again.
struct StoredForm {
    std::size_t column = 0;
    std::string text;
};

// A fetched value in the column's type (FromDatabase); when its text as stored (`storedAs`, or
// else the text of the value fetched) is not the converted value's own text, that form is noted in
// `forms` for column `c`.
Value AsRead(ColType type, Value&& fetched, const std::string* storedAs, std::vector<StoredForm>& forms,
             std::size_t c);

// One row of a buffer. Originals and item flags are made on the first change of the row, so that
// a retrieved row carries its values only.
struct Row {
    std::uint64_t id = 0;  // stable identity across renumbering, for re-entrant callers
    ItemStatus status = ItemStatus::NotModified;
    bool selected = false;
    std::vector<Value> values;
    std::vector<Value> originals;    // empty: the same as values
    std::vector<char> modified;      // empty: no item flagged
    std::vector<StoredForm> stored;  // of the originals; by column

    const Value& Original(std::size_t c) const { return originals.empty() ? values[c] : originals[c]; }
    // The original value of column c as stored, where that is a form of its own; nullptr otherwise.
    const std::string* StoredAs(std::size_t c) const;
    bool Modified(std::size_t c) const { return !modified.empty() && modified[c] != 0; }
    // Sets an item, flagging it and the row as changed, and keeping what was read.
    void Store(std::size_t c, Value v);
};

inline long Count(const std::vector<Row>& rows) {
    return static_cast<long>(rows.size());
}

class RowBuffers {
  public:
    std::vector<Row> primary, filter, deleted;

    const std::vector<Row>& Of(Buffer b) const;
    // Row r (from 1) of a buffer; nullptr when there is none.
    const Row* At(long r, Buffer b = Buffer::Primary) const;
    // The current number of the primary row with this identity, `hint` tried first; 0 when gone.
    long Find(std::uint64_t id, long hint) const;

    // A row of `columns` nulls with a new identity.
    Row Make(ItemStatus status, std::size_t columns);
    // A row as read from the database, with a new identity.
    Row Read(std::vector<Value> values, std::vector<StoredForm> stored = {});

    // Takes primary row r away: one that the database holds goes to the delete buffer, one never
    // stored is dropped.
    void Remove(long r);
    void Clear();

    // DataModified and NewModified rows of the primary and filter buffers.
    long ModifiedCount() const;

    // After a save: what was written is now what was read, and is stored as written. A new row
    // that had nothing to write (`inserted` says whether INSERT wrote any of its columns) was not
    // inserted, so it stays a new row; were it counted as stored, its next change would be an
    // UPDATE and its deletion a DELETE of nothing. The delete buffer empties.
    void ResetFlags(const std::function<bool(const Row&)>& inserted);

    // Makes `fresh` rows, just read, the rows, with the changes of these rows put back over them:
    // a changed row's changed items over the fresh row whose key (the columns `keys`) has the
    // values the changed row's key had when read; new rows at their places; deleted rows deleted
    // again when still read. Every row found again keeps its identity; a changed row not found is
    // dropped. Refused (false, nothing changed) while the filter buffer holds rows: they have no
    // place among the rows shown to go back to, and are never put there.
    bool KeepEdits(std::vector<Row> fresh, const std::vector<int>& keys);

  private:
    std::uint64_t nextId_ = 1;
};

}  // namespace rt::dw

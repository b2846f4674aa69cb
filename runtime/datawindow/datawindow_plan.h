#pragma once
// The DataWindow engine's own parts (see datawindow_object.h). The update plan: the statements an
// Update issues, with their bound values, made from the compiled object and the row buffers alone,
// so that what is written where can be seen without a database.

#include <cstddef>
#include <string>
#include <vector>

#include "runtime/datawindow/datawindow_object.h"
#include "runtime/datawindow/datawindow_rows.h"
#include "runtime/datawindow/datawindow_status.h"
#include "runtime/text/value.h"

namespace rt::dw {

struct Statement {
    std::string sql;
    std::vector<Value> args;
    // An UPDATE or DELETE, which must find its row: finding none is a conflict with another
    // desktop. The row it writes is row `index` (from 0) of `buffer`.
    bool mustMatch = false;
    Buffer buffer = Buffer::Primary;
    std::size_t index = 0;
};

struct UpdatePlan {
    std::vector<Statement> statements;
    // A row must be found by its key and the object has none that can find it: nothing is planned.
    bool keyMissing = false;
};

// DELETE for the delete buffer, then in row order INSERT for NewModified rows (the columns that
// were set and that the object writes; a row with none is not inserted) and UPDATE for DataModified
// rows (the changed updatable columns). An UPDATE finds its row by the key's original values and
// the values read of the columns it writes, a DELETE by the key and the values read of every
// updatable column.
UpdatePlan PlanUpdate(const CompiledObject& object, const RowBuffers& rows);

// Whether the INSERT of a new row writes any of its columns.
bool Inserts(const CompiledObject& object, const Row& x);

// "SELECT <what> FROM <update table>" of the row by its key's original values; `what` "" for every
// column of the object.
Statement SelectByKey(const CompiledObject& object, const Row& x, const std::string& what = {});

}  // namespace rt::dw

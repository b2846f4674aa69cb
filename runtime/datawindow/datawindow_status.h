#pragma once
// Where a DataWindow keeps a row, and what has become of it since it was read: shared by the
// DataWindow and the engine's own parts, which need them without the DataWindow itself.

namespace rt {

enum class Buffer { Primary, Filter, Delete };

enum class ItemStatus { NotModified, DataModified, New, NewModified };

// An UPDATE or DELETE that found no row as this DataWindow read it: another desktop changed the row
// (one of the values the statement compares) or deleted it since it was read.
struct UpdateConflict {
    long row = 0;                     // the row's number in `buffer`
    Buffer buffer = Buffer::Primary;  // Delete for a DELETE
    bool deleted = false;             // the row is gone from the database; false: it was changed
};

}  // namespace rt

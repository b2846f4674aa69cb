#pragma once
// The DataWindow engine's own parts (see datawindow_object.h). The child code tables: the
// DataWindows behind a form's drop-down DataWindow columns, which give a stored code its display
// text and take a display text typed for a code. Their code tables do not change while the program
// runs, so each is read once per transaction.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/database/transaction.h"
#include "runtime/datawindow/datawindow_object.h"
#include "runtime/datawindow/datawindow_rows.h"
#include "runtime/datawindow/editmask.h"

namespace rt {
class DataWindow;
}

namespace rt::dw {

class ChildTables {
  public:
    // Where a child's failed statement goes: it is the parent's database error.
    using ErrorSink = std::function<void(long code, std::string text, std::string sql)>;

    // Forgets the children of the previous object; those of `object` are made on first need.
    void Load(const CompiledObject& object, ErrorSink sink);
    // The child of column c, or nullptr when the column has none (or its object is unknown).
    DataWindow* Child(int c);
    // Reads every child not yet read through `t`. A child that cannot be read is tried again next time.
    void Retrieve(Transaction& t);

    // The display text of a stored code: of the column's drop-down list, or of its child (the exact
    // code first, then the code without trailing blanks, as a fixed-width column hands it back);
    // nullopt when the code has none.
    std::optional<std::string> Display(int c, const Value& v);
    // Typed text for a drop-down DataWindow column: a display text of the child, or failing that a
    // data value of it.
    Reading Read(int c, std::string_view text);

  private:
    struct Columns {
        const RowBuffers* rows = nullptr;  // nullptr: no child, or it lacks a column
        std::size_t display = 0, data = 0;
    };
    Columns Of(int c);

    const CompiledObject* object_ = nullptr;
    std::uint64_t loads_ = 0;  // tells a Retrieve that a handler loaded another object meanwhile
    ErrorSink sink_;
    std::vector<std::unique_ptr<DataWindow>> children_;  // per column
    std::vector<Transaction*> retrievedWith_;            // per column
};

// What the engine's parts may see inside another DataWindow, defined with the DataWindow itself.
struct Inside {
    // A DataWindow on `object` that reads no child tables of its own; nullptr for an unknown object.
    static std::unique_ptr<DataWindow> MakeChild(std::string_view object);
    static const RowBuffers& Rows(const DataWindow& dw);
    // The index of a column of its object; -1 when there is none.
    static int Column(const DataWindow& dw, std::string_view name);
};

}  // namespace rt::dw

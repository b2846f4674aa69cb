#pragma once
// The DataWindow engine's own parts (see datawindow_object.h). The pending edit and its check: the
// text typed into the current field and not yet accepted, read as the column's edit style reads it
// and checked against the column's type and byte limit.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/datawindow/datawindow_children.h"
#include "runtime/datawindow/datawindow_object.h"
#include "runtime/datawindow/editmask.h"
#include "runtime/text/value.h"

namespace rt::dw {

// The value typed text stands for in column c (null when nothing is typed), in the column's type
// and within its GBK byte limit; or why it cannot be stored.
Reading CheckEntry(const CompiledObject& object, ChildTables& children, int c, std::string_view text);

// Whether a value read from typed text leaves the stored one as it is: the same value, an empty
// text field left empty, or through a "yyyy-mm" mask the same year and month.
bool LeavesAsIs(const CompiledObject& object, int c, const Value& v, const Value& current);

struct PendingEdit {
    std::optional<std::string> text;  // typed and not accepted yet
    bool accepting = false;           // itemchanged is deciding on it

    // Whether a refusal of `typed` in this field is to be said: not when the same text was refused
    // there already in the same user action (leaving the field, then the save's AcceptText, then
    // its Update).
    bool SayRefusal(long row, int column, const std::string& typed, std::uint64_t action);

  private:
    struct Refusal {
        long row = 0;
        int column = 0;
        std::string text;
        std::uint64_t action = 0;
        bool operator==(const Refusal&) const = default;
    };
    std::optional<Refusal> said_;
};

}  // namespace rt::dw

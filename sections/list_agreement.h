#pragma once
// The list sections on several desktops: whether a list, or the item its detail shows, still shows
// what its table holds, and the list read again when another desktop has changed it.

#include <functional>
#include <optional>
#include <utility>

#include "sections/section_area.h"

namespace laurel::sections {

// A list section's kind, with its pages on the window.
struct ListSection {
    const ListKind& def;
    DataWindowControl* list;    // the list of items
    DataWindowControl* detail;  // the one item edited beside the list, or nullptr

    // What a question about pending changes is about: the detail, or the list itself.
    DataWindowControl* Edited() const { return detail != nullptr ? detail : list; }
    // The running number of the item shown in the detail.
    int& Current() const;
};

ListSection SectionOf(const SectionArea& area, const ListKind& kind);
// The list section of a tree handle; none for the other sections.
std::optional<ListSection> ListSectionOf(const SectionArea& area, long handle);

// The list kind whose list or detail the page is; nullptr for the other pages.
const ListKind* KindOf(const SectionArea& area, const DataWindowControl& page);

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

// A list section's pages against its table, in the transaction that is to write them.
class ListAgreement {
  public:
    using Agreement = SectionArea::Agreement;

    // `storingOn`: the caller stores what the user typed as soon as it is back on its items, as a
    // section being left does (SectionArea::storingon).
    explicit ListAgreement(const ListSection& section, bool storingOn = false)
        : k_(section), storingOn_(storingOn) {}

    // The list's items as read, by number, against the numbers and names the table holds.
    Agreement OfList() const;
    // The item the detail shows against the one stored under its number.
    Agreement OfDetail() const;
    // After another desktop changed the list behind the page: nothing is written (the transaction
    // goes first, so that no lock is held while the user reads why), and the list is read again,
    // the detail on the item it showed, or else on the one the list stands on. What the user typed
    // goes back on its items; where the other desktop stored something else in a column the user
    // typed over, the user is asked first whose changes stand (Settled: store again), else told
    // that the list changed (Changed). Gone when something typed belongs to an item that is stored
    // no more. `keepRemovals` false gives up the removal that the list holds. For a caller storing
    // on, a list read again is Settled without a word of the change (an item gone is still said).
    Agreement ReadAgain(bool keepRemovals = true) const;

  private:
    ListSection k_;
    bool storingOn_;
};

}  // namespace laurel::sections

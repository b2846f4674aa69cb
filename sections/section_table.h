#pragma once
// The sections of a recommendation, one entry per item of the section tree: what the tree shows,
// what the page area shows for the item, what leaving it saves and, for a list section, what its
// list buttons write and say. The tree, the page display, the save on leaving and the list buttons
// all read this one table.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace laurel::sections {

// The controls of the page area: the 18 pages in their fixed order, then the furniture that some
// sections show around them. The page group hides them all.
enum class AreaControl : std::size_t {
    dw_no1,
    dw_no2,
    dw_no3,
    dw_no4,
    dw_no51,
    dw_no512,
    dw_no52,
    dw_no522,
    dw_no53,
    dw_no6,
    dw_no71,
    dw_no72,
    dw_no81,
    dw_no82,
    dw_no91,
    dw_no92,
    dw_no93,
    dw_no94,
    st_blank,
    st_sub,
    st_10_1,
    st_10_2,
    st_10_3,
    st_10_4,
    st_10_5,
    st_10_6,
    st_10_7,
    st_10_8,
};
inline constexpr std::size_t kPageCount = 18;
inline constexpr std::size_t kAreaControlCount = 28;

// A page read for a section and its place, in layout units.
struct Placement {
    AreaControl page;
    int x, y, width, height;
};

// A list section's list, and what its list buttons write and say.
struct ListKind {
    enum Kind { Awards, Contributors, Units, Applications, Property };
    Kind kind;
    AreaControl list;                        // the list of items
    std::optional<AreaControl> detail = {};  // the one item edited beside the list
    std::string_view table;                  // as the statements spell it
    std::string_view number;                 // the item-number column, as the statements spell it
    std::string_view numberItem;             // the same column as the list's SetItem names it
    std::string_view nameItem;               // the column that tells one item from another to the user
    long limit;
    std::string_view limitMessage;
    std::string_view question;               // the edited rows hold changes
    std::string_view saveFailure = {};       // saving those changes failed; "" for none
    std::string_view insertFailure;          //
    std::string_view placeholder = {};       // the new row's placeholder values; "" for none
    std::string_view deleteFailure;          //
    std::string_view refusal = {};           // the last item cannot go; "" when any may
    std::string_view detailNameColumn = {};  // the cursor's column in the detail
};

struct Section {
    long handle;                          // the tree item: handle k is the k-th item inserted
    long parent;                          // the item it hangs under; 0 for the root
    std::string_view label;               // the tree's text
    std::string_view caption;             // st_2's text, before its padding
    std::vector<Placement> read = {};     // the pages read for it, in this order, and their places
    std::vector<AreaControl> shown = {};  // shown in this order: what is shown later lies on top
    std::string_view sub = {};            // st_sub's text, where it shows st_sub
    std::vector<AreaControl> saved = {};  // the pages that leaving it saves, in order
    const ListKind* list = nullptr;       // a list section's list buttons
};

// The tree's items in insertion order: entry k - 1 is the item of handle k. The root shows and
// saves what section 一 shows and saves.
const std::vector<Section>& Sections();
// The entry of a tree handle; nullptr for no item.
const Section* SectionAt(long handle);

// The list kind whose list or detail `page` is; nullptr for the other pages.
const ListKind* ListKindOf(AreaControl page);

// What st_2 shows for a section: its caption padded with blanks to 30 bytes of GBK text.
std::string PaddedCaption(const Section& section);

inline constexpr long kRootHandle = 1;
inline constexpr long kFirstSection = 2;
inline constexpr long kLastSection = 18;
// The sections whose list drives a detail page: 七 and 八.
inline constexpr long kContributorsSection = 11;
inline constexpr long kUnitsSection = 12;

}  // namespace laurel::sections

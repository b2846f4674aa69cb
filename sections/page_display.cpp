// Showing the selected section's page for the current recommendation.

#include <string>
#include <vector>

#include "sections/globals.h"
#include "sections/section_area.h"

namespace laurel::sections {

void Place(DataWindowControl& page, const Placement& placed) {
    page.SetX(placed.x);
    page.SetY(placed.y);
    page.SetWidth(placed.width);
    page.SetHeight(placed.height);
}

long SectionArea::retrievepage(DataWindowControl& page, const std::vector<rt::Value>& args) {
    if (HoldsChanges(page)) return 0;
    const long rows = page.Retrieve(args);
    // The database has said why it failed; what the page held belongs to what was shown before.
    if (rows == -1) page.Reset();
    return rows;
}

void SectionArea::page_display() {
    if (current_id.empty() || current_id == kNoRecommendation) return;
    st_2.Show();
    cb_p.Show();
    cb_n.Show();

    // A handle outside the tree shows section 一, as the root does.
    const Section* at = SectionAt(current_page);
    const Section& section = at ? *at : *SectionAt(kFirstSection);
    st_2.SetText(PaddedCaption(section));

    for (const Placement& placed : section.read) {
        DataWindowControl& page = PageOf(placed.page);
        if (&page == &dw_no71)
            retrievepage(page, {current_id, current_ry});
        else if (&page == &dw_no81)
            retrievepage(page, {current_id, current_dw});
        else
            retrievepage(page, {current_id});
        // The list of the contributors or units shows the one whose detail is shown.
        if (&page == &dw_no72 && current_ry > 0) page.ScrollToRow(current_ry);
        if (&page == &dw_no82 && current_dw > 0) page.ScrollToRow(current_dw);
        Place(page, placed);
    }

    hidedw();

    for (AreaControl shown : section.shown) {
        rt::ui::Control& control = AreaControlOf(shown);
        if (&control == &st_sub) st_sub.SetText(section.sub);
        control.Show();
    }
    if (section.list != nullptr) cb_page_show();
}

}  // namespace laurel::sections

// Moving between sections: the page left is saved before the new one is shown.

#include <algorithm>
#include <vector>

#include "runtime/ui/dialogs.h"
#include "sections/globals.h"
#include "sections/section_area.h"

namespace laurel::sections {

namespace {

// The page DataWindows that a section saves when it is left, in order.
std::vector<DataWindowControl*> PagesSavedOnLeaving(const SectionArea& area, long handle) {
    std::vector<DataWindowControl*> pages;
    if (const Section* section = SectionAt(handle))
        for (AreaControl page : section->saved) pages.push_back(&area.PageOf(page));
    return pages;
}

}  // namespace

bool HoldsChanges(const DataWindowControl& page) {
    return page.ModifiedCount() + page.DeletedCount() > 0 || page.EditPending();
}

int SectionArea::savepages(const std::vector<DataWindowControl*>& pages) {
    if (pages.empty()) return 1;
    for (DataWindowControl* d : pages) d->AcceptText();
    bool pending = false;
    for (DataWindowControl* d : pages)
        if (HoldsChanges(*d)) pending = true;
    bool saved = true;
    for (DataWindowControl* d : pages)
        if (d->Update(true, false) != 1) saved = false;
    // A COMMIT that fails with nothing written (no connection, say) has lost nothing.
    if (saved && (sqlca.Commit() == 0 || !pending)) {
        for (DataWindowControl* d : pages) d->ResetUpdate();
        return 1;
    }
    // Every page keeps its edits pending: nothing of them is in the database now.
    sqlca.Rollback();
    rt::ui::MessageBox("提示信息", "先前的页面保存失败！", rt::ui::Icon::StopSign);
    return 0;
}

std::vector<DataWindowControl*> SectionArea::pendingpages() {
    std::vector<DataWindowControl*> pages;
    for (DataWindowControl* d : PagesSavedOnLeaving(*this, current_page))
        if (HoldsChanges(*d)) pages.push_back(d);
    // Pages not on show keep changes too: a save that failed when they were left, a subject
    // picked while section 一 was hidden.
    for (DataWindowControl* d : Pages()) {
        if (!HoldsChanges(*d)) continue;
        if (std::find(pages.begin(), pages.end(), d) == pages.end()) pages.push_back(d);
    }
    return pages;
}

long SectionArea::tv_1_selectionchanging(long oldhandle, long newhandle) {
    // After the opening (which selects the first section with no section before), a list that
    // could not be read is read again. It switches to its first recommendation, which selects
    // section 一 on the way; the section clicked is then selected as any other, so that the tree
    // and the page agree.
    if (oldhandle != 0 && relist()) {
        tv_1.SelectItem(newhandle);
        return 0;
    }
    savepages(PagesSavedOnLeaving(*this, oldhandle));

    current_page = newhandle;
    if (!current_id.empty() && current_id != kNoRecommendation) page_display();
    return 0;
}

}  // namespace laurel::sections

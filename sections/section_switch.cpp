// Moving between sections: the page left is saved before the new one is shown.

#include <algorithm>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "runtime/ui/dialogs.h"

namespace laurel::win {

namespace {

// The page DataWindows that each section saves when it is left, in order.
std::vector<DataWindowControl*> PagesSavedOnLeaving(j_main_mdi& w, long handle) {
    switch (handle) {
        case 1:
        case 2:
            return {w.dw_no1};
        case 3:
            return {w.dw_no2};
        case 4:
            return {w.dw_no3};
        case 5:
            return {w.dw_no4};
        case 6:
        case 7:
            return {w.dw_no51, w.dw_no512};
        case 8:
            return {w.dw_no52, w.dw_no522};
        case 9:
            return {w.dw_no53};
        case 10:
            return {w.dw_no6};
        case 11:
            return {w.dw_no71};
        case 12:
            return {w.dw_no81};
        case 13:
        case 14:
            return {w.dw_no91};
        case 15:
            return {w.dw_no92};
        case 16:
            return {w.dw_no93};
        case 17:
            return {w.dw_no94};
        default:
            return {};
    }
}

}  // namespace

bool HoldsChanges(const DataWindowControl& page) {
    return page.ModifiedCount() + page.DeletedCount() > 0 || page.EditPending();
}

int j_main_mdi::savepages(const std::vector<DataWindowControl*>& pages) {
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
    rt::ui::MessageBox("提示信息", "先前的页面保存失败！");
    return 0;
}

std::vector<DataWindowControl*> j_main_mdi::pendingpages() {
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

long j_main_mdi::tv_1_selectionchanging(long oldhandle, long newhandle) {
    const long previous_page = oldhandle;
    savepages(PagesSavedOnLeaving(*this, previous_page));

    current_page = newhandle;
    if (!current_id.empty() && current_id != kNoRecommendation) page_display();
    return 0;
}

}  // namespace laurel::win

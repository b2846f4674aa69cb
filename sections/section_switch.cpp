// Moving between sections: the page left is saved before the new one is shown.

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

long j_main_mdi::tv_1_selectionchanging(long oldhandle, long newhandle) {
    const long previous_page = oldhandle;
    const auto pages = PagesSavedOnLeaving(*this, previous_page);
    if (!pages.empty()) {
        for (DataWindowControl* d : pages) d->AcceptText();
        bool pending = false;
        for (DataWindowControl* d : pages)
            if (d->ModifiedCount() + d->DeletedCount() > 0 || d->EditPending()) pending = true;
        bool saved = true;
        for (DataWindowControl* d : pages)
            if (d->Update(true, false) != 1) saved = false;
        // A COMMIT that fails with nothing written (no connection, say) has lost nothing.
        if (saved && (sqlca.Commit() == 0 || !pending)) {
            for (DataWindowControl* d : pages) d->ResetUpdate();
        } else {
            // Every page keeps its edits pending: nothing of them is in the database now.
            sqlca.Rollback();
            rt::ui::MessageBox("提示信息", "先前的页面保存失败！");
        }
    }

    current_page = newhandle;
    if (!current_id.empty() && current_id != kNoRecommendation) page_display();
    return 0;
}

}  // namespace laurel::win

// Picking another recommendation in the list makes it the current one.

#include <algorithm>
#include <string>
#include <utility>

#include "runtime/ui/dialogs.h"
#include "sections/globals.h"
#include "sections/section_area.h"

namespace laurel::sections {

namespace {
// Set while the list's row is put on a recommendation by the switch itself, so that the move does
// not switch again.
bool restoring_row = false;

void PutListOn(DataWindowControl& list, long row) {
    restoring_row = true;
    list.SetRow(row);
    list.ScrollToRow(row);
    restoring_row = false;
}
}  // namespace

bool SectionArea::offersave() {
    using rt::ui::Buttons;
    using rt::ui::Icon;
    acceptdw();
    // A removal waiting in a list (its only item) is a change too: left pending, the save of the
    // section left would store it under the recommendation switched to.
    const auto pages = Pages();
    const bool changed = std::any_of(pages.begin(), pages.end(), [](const DataWindowControl* page) {
        return page->ModifiedCount() + page->DeletedCount() > 0;
    });
    if (!changed) return true;
    const int answer =
        rt::ui::MessageBox("提示信息", "申请书已有修改，是否保存？", Icon::Question, Buttons::YesNo, 1);
    if (answer != 1) {
        // No means: none of these edits is stored, not even by the save of the page left when
        // section one is selected next.
        for (DataWindowControl* page : Pages()) page->Reset();
        return true;
    }
    const Stored stored = storepages({pages.begin(), pages.end()});
    // A refusal has said why.
    if (stored == Stored::Failed) saystorefailure("提示信息", "保存失败！");
    if (stored != Stored::Yes && gone == current_id && !gone.empty()) {
        // Deleted on another desktop: what the pages hold has nowhere to go, and the user has been
        // told so; the command goes on.
        for (DataWindowControl* page : Pages()) page->Reset();
        return true;
    }
    if (stored != Stored::Yes) return false;
    // A list that cannot be read keeps its rows: the same recommendations. Read again, it stands on
    // its first row: it is put back on the recommendation still current, whose row the close and
    // the commands go by, without switching.
    retrievelist();
    if (const long back = ListRowOf(current_id); back > 0 && back != dw_no.GetRow()) PutListOn(dw_no, back);
    return true;
}

void SectionArea::dropfromlist(const std::string& key) {
    const long row = ListRowOf(key);
    if (row <= 0) return;
    if (key != current_id) {
        // Another row goes: the current one stays current, whatever its number becomes.
        restoring_row = true;
        dw_no.DeleteRow(row);
        restoring_row = false;
        dw_no.ResetUpdate();
        return;
    }
    // Whatever the pages still hold belongs to a recommendation that is gone: the switch that
    // follows must neither offer to save it nor write it when it leaves the page on show.
    for (DataWindowControl* page : Pages()) page->Reset();
    // The row is gone from the database already; the list only forgets it. When it was the last
    // row, the row before becomes current and the list's own row change switches to it.
    const long old_row = dw_no.GetRow();
    if (old_row != row) PutListOn(dw_no, row);
    dw_no.DeleteRow(row);
    dw_no.ResetUpdate();
    const long now = dw_no.GetRow();
    if (now <= 0) {
        current_id = kNoRecommendation;
        ShowNoRecommendation();
        return;
    }
    dw_no.SelectRow(0, false);
    dw_no.SetRow(now);
    dw_no.SetColumn(1);
    dw_no.SetFocus();
    if (now == row) dw_no.TriggerEvent("rowfocuschanged");
}

void SectionArea::dropgone() {
    if (gone.empty()) return;
    dropfromlist(std::exchange(gone, std::string()));
}

long SectionArea::dw_no_rowfocuschanged(long) {
    if (restoring_row) return 0;

    long row = dw_no.GetRow();
    if (row <= 0) {
        ShowNoRecommendation();
        return 0;
    }

    acceptdw();
    const auto picked = dw_no.GetItemString(row, "xm_id");
    if (picked && *picked != current_id) {
        if (!offersave()) {
            // The recommendation left stays current with its edits pending, so nothing typed is
            // lost and the user can correct it and save again.
            if (const long back = ListRowOf(current_id); back > 0) PutListOn(dw_no, back);
            return 0;
        }
        // A save reads the list again, where another desktop may have moved the recommendation
        // picked, or removed it: then the one left stays current.
        row = ListRowOf(*picked);
        if (row <= 0) return 0;
    }

    PutListOn(dw_no, row);
    current_id = dw_no.GetItemString(row, "xm_id").value_or("");
    current_ry = 1;
    current_dw = 1;
    current_page = kFirstSection;
    const Section& one = *SectionAt(kFirstSection);
    st_2.SetText(PaddedCaption(one));
    dw_no1.SetTransObject(sqlca);
    retrievepage(dw_no1, {current_id});
    Place(dw_no1, one.read.front());
    hidedw();
    st_2.Show();
    cb_p.Show();
    cb_n.Show();
    dw_no1.Show();
    // The state as stored now: another desktop may have saved it since the list was read.
    {
        const QuietDbError quiet(dw_no);
        dw_no.ReselectRow(row);
    }
    if (dw_no.GetItemString(row, "xm_xg") == std::optional<std::string>("0"))
        enabledw();
    else
        disabledw();
    tv_1.SelectItem(current_page);
    tv_1.SetFocus();
    return 0;
}

}  // namespace laurel::sections

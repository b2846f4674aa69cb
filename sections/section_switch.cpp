// Moving between sections: the page left is saved before the new one is shown.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ui/dialogs.h"
#include "sections/globals.h"
#include "sections/list_agreement.h"
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

const ListKind* KindOf(const SectionArea& area, const DataWindowControl& page) {
    const auto pages = area.Pages();
    for (std::size_t k = 0; k < pages.size(); ++k)
        if (pages[k] == &page) return ListKindOf(static_cast<AreaControl>(k));
    return nullptr;
}

namespace {

// The caption of the section whose page it is: the one that saves it, else the one that shows it.
std::string_view CaptionOf(const SectionArea& area, const DataWindowControl& page) {
    for (const Section& section : Sections())
        for (AreaControl saved : section.saved)
            if (&area.PageOf(saved) == &page) return section.caption;
    for (const Section& section : Sections())
        for (const Placement& read : section.read)
            if (&area.PageOf(read.page) == &page) return section.caption;
    return {};
}

}  // namespace

std::string ChangedElsewhere(std::string_view caption) {
    return "“" + std::string(caption) +
           "”在显示之后已被其他用户修改，您的修改还没有存入。\n\n"
           "是：保留我的修改——重新读取对方的内容，把我改过的内容写在上面，再保存；\n"
           "否：采用对方的内容——此页显示已存的内容，我在此页的修改作废。";
}

bool SectionArea::settleconflict(DataWindowControl& page) {
    const std::optional<rt::UpdateConflict> conflict = page.LastUpdateConflict();
    if (!conflict) return false;
    const ListKind* kind = KindOf(*this, page);
    if (conflict->deleted) {
        // What the user changed belongs to a row that is stored no more: said, and read again.
        if (kind != nullptr) {
            rereadlist(*kind);
        } else {
            rt::ui::MessageBox("提示信息", kPageGone, rt::ui::Icon::Exclamation);
            if (page.Retrieve({current_id}) == -1) page.Reset();
        }
        return false;
    }
    const int answer = rt::ui::MessageBox("提示信息", ChangedElsewhere(CaptionOf(*this, page)),
                                          rt::ui::Icon::Question, rt::ui::Buttons::YesNo, 1);
    if (answer == 1) return page.RetrieveKeepingEdits() != -1;
    // What is stored, read as the page was read: a detail by the number of the item it shows.
    std::vector<rt::Value> args = {current_id};
    if (kind != nullptr && &page != &PageOf(kind->list))
        args.push_back(page.GetItem(1, kind->numberItem, rt::Buffer::Primary, true));
    if (page.Retrieve(args) == -1) page.Reset();
    return true;
}

SectionArea::Stored SectionArea::FailStore() {
    storereason = DatabaseReason();
    storelost = sqlca.LossAlreadyTold();
    // Every page keeps its edits pending: nothing of them is in the database now.
    sqlca.Rollback();
    return Stored::Failed;
}

SectionArea::Stored SectionArea::storepages(const std::vector<DataWindowControl*>& pages,
                                            const std::function<bool()>& more) {
    storereason.clear();
    storelost = false;
    storechanged = false;
    for (DataWindowControl* d : pages) d->AcceptText();
    bool pending = false;
    for (DataWindowControl* d : pages)
        if (HoldsChanges(*d)) pending = true;
    // Nothing to write: nothing to hold, and no COMMIT that could fail with nothing lost.
    if (!pending && !more) return Stored::Yes;

    // A list, or the item a detail shows, is written only while it still shows what the table
    // holds: rows read before another desktop renumbered them would be written over other items.
    std::vector<DataWindowControl*> checked;
    for (DataWindowControl* d : pages)
        if (d->ModifiedCount() + d->DeletedCount() > 0) checked.push_back(d);
    switch (takeforwriting(checked)) {
        case Taken::Writable:
            break;
        case Taken::Refused:
            return Stored::Refused;
        case Taken::Changed:
            storechanged = true;
            return Stored::Refused;
        case Taken::Failed:
            return FailStore();
        case Taken::StoreAgain:
            return storepages(pages, more);
    }

    // Every page is written even after one has failed; the flags stay until the COMMIT has gone
    // through, so that a rolled-back save keeps every edit pending.
    bool written = true;
    for (DataWindowControl* d : pages)
        if (d->Update(true, false) != 1) written = false;
    // A page that failed has said why itself; the caller's statements and the COMMIT have the
    // database's reason said with the failure.
    if (written && ((more && !more()) || sqlca.Commit() != 0)) return FailStore();
    if (written) {
        for (DataWindowControl* d : pages) d->ResetUpdate();
        return Stored::Yes;
    }
    // Every page keeps its edits pending: nothing of them is in the database now.
    storelost = sqlca.LossAlreadyTold();
    sqlca.Rollback();
    // A page another desktop stored since it was read: once the user has chosen whose changes
    // stand, the pages are stored again.
    for (DataWindowControl* d : pages) {
        if (!d->LastUpdateConflict()) continue;
        return settleconflict(*d) ? storepages(pages, more) : Stored::Refused;
    }
    return Stored::Failed;
}

void SectionArea::saystorefailure(const std::string& title, const std::string& text) const {
    if (!storelost) SayFailure(storereason, title, text);
}

namespace {

// Rounds in which a save that leaves a section reads a changed list again and stores on; a list that
// changes under every one of them is said to have changed.
constexpr int kStoringOnRounds = 3;

// Stores on while it lives (SectionArea::storingon), whatever way the save ends.
class StoringOn {
  public:
    explicit StoringOn(int& rounds) : rounds_(rounds) { rounds_ = kStoringOnRounds; }
    ~StoringOn() { rounds_ = 0; }
    StoringOn(const StoringOn&) = delete;
    StoringOn& operator=(const StoringOn&) = delete;

  private:
    int& rounds_;
};

}  // namespace

int SectionArea::savepages(const std::vector<DataWindowControl*>& pages) {
    // Leaving a section stores what it holds; what the user typed into a list that another desktop
    // changed meanwhile is no exception once it is back on its items, rather than stay pending out
    // of sight, where the other desktop would go on reading what was there before.
    const StoringOn storingOn(storingon);
    switch (storepages(pages)) {
        case Stored::Yes:
            return 1;
        case Stored::Refused:
            return 0;
        case Stored::Failed:
            break;
    }
    saystorefailure("提示信息", "先前的页面保存失败！");
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
    // A save that found the connection lost is a command that did not happen, as the user has been
    // told: the section stays, its edits pending, for the user to leave it again. So does one whose
    // list could not be stored on after another desktop changed it: the box asks the user to check
    // what the page shows.
    // One deleted on another desktop leaves the list once this is over.
    if (savepages(PagesSavedOnLeaving(*this, oldhandle)) != 1 && (storelost || storechanged || !gone.empty()))
        return 1;

    current_page = newhandle;
    if (!current_id.empty() && current_id != kNoRecommendation) page_display();
    return 0;
}

}  // namespace laurel::sections

// The page group: what is done to all pages at once, and the recommendation list's reading.

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/datawindow/datawindow.h"
#include "runtime/ui/dialogs.h"
#include "sections/globals.h"
#include "sections/section_area.h"

namespace laurel::sections {

SectionArea::SectionArea(const SectionControls& controls) : SectionControls(controls) {}

std::array<DataWindowControl*, kPageCount> SectionArea::Pages() const {
    return {&dw_no1, &dw_no2,  &dw_no3,  &dw_no4,  &dw_no51, &dw_no512, &dw_no52, &dw_no522, &dw_no53,
            &dw_no6, &dw_no71, &dw_no72, &dw_no81, &dw_no82, &dw_no91,  &dw_no92, &dw_no93,  &dw_no94};
}

rt::ui::Control& SectionArea::AreaControlOf(AreaControl control) const {
    const auto index = static_cast<std::size_t>(control);
    if (index < kPageCount) return *Pages()[index];
    const std::array<rt::ui::Control*, kAreaControlCount - kPageCount> furniture = {
        &st_blank, &st_sub, &st_10_1, &st_10_2, &st_10_3, &st_10_4, &st_10_5, &st_10_6, &st_10_7, &st_10_8};
    return *furniture[index - kPageCount];
}

DataWindowControl& SectionArea::PageOf(AreaControl page) const {
    return *Pages()[static_cast<std::size_t>(page)];
}

int SectionArea::hidedw() {
    for (std::size_t i = 0; i < kAreaControlCount; ++i) AreaControlOf(static_cast<AreaControl>(i)).Hide();
    for (rt::ui::Control* c : {&cb_page_insert, &cb_page_delete, &cb_page_save}) c->Hide();
    return 1;
}

int SectionArea::acceptdw() {
    for (DataWindowControl* page : Pages()) page->AcceptText();
    return 1;
}

int SectionArea::updatedw() {
    // Every page is written even after one has failed; the flags stay until the caller has
    // committed (as storepages does), so that a rolled-back save keeps every edit pending.
    bool all = true;
    for (DataWindowControl* page : Pages())
        if (page->Update(true, false) != 1) all = false;
    return all ? 1 : -1;
}

namespace {
void SetEnabledAll(SectionArea& area, bool on) {
    for (DataWindowControl* page : area.Pages()) page->SetEnabled(on);
    for (CommandButton* button : {&area.cb_page_delete, &area.cb_page_insert, &area.cb_page_save})
        button->SetEnabled(on);
}
}  // namespace

int SectionArea::enabledw() {
    SetEnabledAll(*this, true);
    return 1;
}

int SectionArea::disabledw() {
    SetEnabledAll(*this, false);
    return 1;
}

int SectionArea::cb_page_show() {
    cb_page_insert.Show();
    cb_page_delete.Show();
    return 1;
}

std::string SectionArea::modifieddw() {
    std::string flags(kPageCount, '0');
    const auto pages = Pages();
    for (std::size_t k = 0; k < pages.size(); ++k)
        if (pages[k]->ModifiedCount() != 0) flags[k] = '1';
    return flags;
}

void SectionArea::ShowNoRecommendation() {
    hidedw();
    st_2.Hide();
    cb_p.Hide();
    cb_n.Hide();
}

QuietDbError::QuietDbError(DataWindowControl& dw)
    : dw_(dw),
      saved_(std::exchange(dw.dberror, [](long, std::string_view, std::string_view) { return 1; })) {}

QuietDbError::~QuietDbError() {
    dw_.dberror = std::move(saved_);
}

SectionArea::Hold SectionArea::holdforwriting() {
    // A write of the value it holds changes nothing, but only a recommendation being edited takes
    // it, and the row stays locked to this transaction until it ends.
    if (sqlca.Execute("UPDATE j_xm_base SET xm_xg = xm_xg WHERE xm_id = ? AND xm_xg = '0'", {current_id}) !=
        0)
        return Hold::Failed;
    if (sqlca.SQLNRows == 1) return Hold::Held;

    std::vector<rt::Value> into(1);
    const long found = sqlca.SelectInto("select xm_xg from j_xm_base where xm_id = ?", {current_id}, into);
    // The caller takes the database's reason before it rolls back.
    if (found == -1) return Hold::Failed;
    // Nothing is written yet; no lock is held while the user reads why.
    sqlca.Rollback();
    rt::ui::MessageBox("提示信息", found == 100 ? kRecommendationGone : kSavedElsewhere,
                       rt::ui::Icon::Exclamation);
    // Gone, it leaves the list once the command is over, as after a Delete here: nothing that the
    // pages hold can be stored, and leaving the page would only say so again.
    if (found == 100) gone = current_id;
    // As a switch to a saved recommendation leaves it: the list's copy of the state read again, the
    // pages and their buttons read-only, what they hold kept on show.
    if (const long row = ListRowOf(current_id); row > 0) {
        const QuietDbError quiet(dw_no);
        dw_no.ReselectRow(row);
    }
    disabledw();
    return Hold::Refused;
}

void SayListUnread() {
    // A read that lost the transaction has been told of in words of its own.
    if (sqlca.LossAlreadyTold()) return;
    rt::ui::MessageBox("提示信息", "读取推荐书列表失败！", rt::ui::Icon::StopSign);
}

std::string DatabaseReason() {
    // A lost transaction has been told of once already, in words of its own, or the failure that
    // lost it gave the reason.
    if (sqlca.SQLCode != -1 || sqlca.LossAlreadyTold() || sqlca.RefusedAfterLoss()) return {};
    const long code = sqlca.SQLDBCode != 0 ? sqlca.SQLDBCode : sqlca.SQLCode;
    return "数据库操作失败（" + std::to_string(code) + "）：\n" + sqlca.SQLErrText;
}

void SayFailure(const std::string& reason, const std::string& title, const std::string& text) {
    // The loss told of is the one thing said: the command did not happen, as the user heard.
    if (sqlca.LossAlreadyTold()) return;
    if (!reason.empty())
        rt::ui::MessageBox(std::string(rt::DataWindow::kDatabaseErrorTitle), reason, rt::ui::Icon::StopSign);
    if (!text.empty()) rt::ui::MessageBox(title, text, rt::ui::Icon::StopSign);
}

long SectionArea::ListRowOf(const std::string& key) const {
    for (long r = 1; r <= dw_no.RowCount(); ++r)
        if (dw_no.GetItemString(r, "xm_id") == std::optional<std::string>(key)) return r;
    return 0;
}

long SectionArea::retrievelist(bool say) {
    long rows = -1;
    {
        // The database's own box would say it a second time.
        const QuietDbError quiet(dw_no);
        rows = dw_no.Retrieve();
    }
    listread = rows != -1;
    if (rows == -1 && say) SayListUnread();
    return rows;
}

bool SectionArea::relist() {
    if (listread || current_id != kNoRecommendation || !(sqlca.Connected() || sqlca.Awaiting())) return false;
    retrievelist();
    return current_id != kNoRecommendation;
}

}  // namespace laurel::sections

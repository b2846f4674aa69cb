// The page group: what is done to all pages at once, and the recommendation list's reading.

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/datawindow.h"
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
    // Every page is written even after one has failed; the flags stay until the caller commits
    // (resetdw), so that a rolled-back save keeps every edit pending.
    bool all = true;
    for (DataWindowControl* page : Pages())
        if (page->Update(true, false) != 1) all = false;
    return all ? 1 : -1;
}

int SectionArea::resetdw() {
    for (DataWindowControl* page : Pages()) page->ResetUpdate();
    return 1;
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

void SayListUnread() {
    rt::ui::MessageBox("提示信息", "读取推荐书列表失败！", rt::ui::Icon::StopSign);
}

std::string DatabaseReason() {
    if (sqlca.SQLCode != -1) return {};
    const long code = sqlca.SQLDBCode != 0 ? sqlca.SQLDBCode : sqlca.SQLCode;
    return "数据库操作失败（" + std::to_string(code) + "）：\n" + sqlca.SQLErrText;
}

void SayFailure(const std::string& reason, const std::string& title, const std::string& text) {
    if (!reason.empty())
        rt::ui::MessageBox(std::string(rt::DataWindow::kDatabaseErrorTitle), reason, rt::ui::Icon::StopSign);
    rt::ui::MessageBox(title, text, rt::ui::Icon::StopSign);
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
    if (listread || current_id != kNoRecommendation || !sqlca.Connected()) return false;
    retrievelist();
    return current_id != kNoRecommendation;
}

}  // namespace laurel::sections

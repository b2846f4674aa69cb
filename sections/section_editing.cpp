// Editing aids of the section pages: list clicks, the list-to-detail link, the recommendation
// number check, the field hints and the subject picker.

#include <array>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/datawindow/editmask.h"
#include "runtime/text/text.h"
#include "runtime/ui/dialogs.h"
#include "sections/globals.h"
#include "sections/popup.h"
#include "sections/section_area.h"

namespace laurel::sections {

// ---- list clicks ----------------------------------------------------------------------------------

long SectionArea::list_clicked(long, long, long row, std::string_view) {
    // A click on a header, a footer or below the last row keeps the current row and the focus.
    return row == 0 ? 1 : 0;
}

long SectionArea::dw_no_clicked(long xpos, long ypos, long row, std::string_view column) {
    // A list that could not be read is read again; the row clicked was none of its rows.
    if (relist()) return 1;
    return list_clicked(xpos, ypos, row, column);
}

// ---- list to detail ---------------------------------------------------------------------------------

namespace {

// Set while a list is put back on the row that was left, so that the move does not run the
// detail switch again.
bool restoring_list = false;

// A list section's list and the detail page that shows its current item.
struct DetailLink {
    const ListKind& kind;
    DataWindowControl& list;
    DataWindowControl& detail;
    int& number;  // current_ry or current_dw: read again after every call that can change it
};

DetailLink LinkOf(SectionArea& area, long handle, int& number) {
    const ListKind& kind = *SectionAt(handle)->list;
    return {kind, area.PageOf(kind.list), area.PageOf(*kind.detail), number};
}

void FollowList(SectionArea& area, const DetailLink& link) {
    using rt::ui::Buttons;
    using rt::ui::Icon;
    if (restoring_list) return;

    const int old = link.number;
    link.number = static_cast<int>(link.list.GetRow());
    if (link.number == -1) {
        area.hidedw();
        return;
    }

    link.detail.AcceptText();
    if (link.detail.ModifiedCount() != 0 && link.number != old) {
        const int answer =
            rt::ui::MessageBox("提示信息", link.kind.question, Icon::Question, Buttons::YesNo, 1);
        if (answer == 1) {
            // Stored as the row that was left: the detail still holds it.
            const int chosen = link.number;
            link.number = old;
            const SectionArea::Stored stored = area.storepages({&link.detail});
            if (stored == SectionArea::Stored::Yes) {
                link.number = chosen;
                // A list that cannot be read again (the database has said why) keeps its rows: the
                // same people or units under the same numbers, only the saved names not yet shown.
                if (link.list.Retrieve({current_id}) != -1) link.list.ScrollToRow(link.number);
            } else {
                // The edits of the row that was left stay on the page, and the list goes back to
                // that row (or to where a list read again now holds it), so that nothing typed is
                // lost and the user can correct it; a refusal has said why.
                if (stored == SectionArea::Stored::Failed) area.saystorefailure("提示信息", "保存失败！");
                {
                    struct Restoring {
                        Restoring() { restoring_list = true; }
                        ~Restoring() { restoring_list = false; }
                    } restoring;
                    link.list.ScrollToRow(link.number);
                }
                link.detail.SetColumn(link.kind.detailNameColumn);
                link.detail.SetFocus();
                return;
            }
        }
    }

    // A detail that already holds the row it is to show (the section shown again, the list read
    // anew) keeps changes that are not stored yet; another row is read, or emptied when it cannot be.
    const std::optional<double> shown =
        link.detail.GetItemNumber(1, link.kind.numberItem, rt::Buffer::Primary, true);
    if (link.number == old && shown && *shown == link.number)
        area.retrievepage(link.detail, {current_id, link.number});
    else if (link.detail.Retrieve({current_id, link.number}) == -1)
        link.detail.Reset();
    else
        area.detailfollows(link.kind);
    link.detail.SetColumn(link.kind.detailNameColumn);
    link.detail.SetFocus();
}

}  // namespace

long SectionArea::dw_no72_rowfocuschanged(long) {
    FollowList(*this, LinkOf(*this, kContributorsSection, current_ry));
    return 0;
}

long SectionArea::dw_no82_rowfocuschanged(long) {
    FollowList(*this, LinkOf(*this, kUnitsSection, current_dw));
    return 0;
}

// ---- recommendation number ------------------------------------------------------------------------------

namespace {

// The forms a number may have in the table: as typed, as the page's mask stores it (the typed
// characters alone: "200801AA") and as the mask shows it ("2008 01AA").
std::vector<std::string> NumberForms(const rt::DataWindow& page, std::string_view column,
                                     const std::string& text) {
    std::vector<std::string> forms{text, text, text};
    const rt::DataWindowDef* def = page.Definition();
    if (def == nullptr) return forms;
    for (const rt::ColumnDef& c : def->columns) {
        if (!rt::SameName(c.name, column) || c.mask.empty()) continue;
        const rt::EditMask mask(c.mask, c.type);
        const rt::Reading in = mask.Read(text);
        if (!in.ok || in.value.IsNull()) break;
        forms[1] = in.value.ToText();
        forms[2] = mask.Show(in.value);
        break;
    }
    return forms;
}

}  // namespace

long SectionArea::dw_no1_itemchanged(long, std::string_view, std::string_view) {
    const std::string column = dw_no1.GetColumnName();
    if (!rt::SameName(column, "xm_askno")) return 0;

    const std::string typed = rt::Trim(dw_no1.GetText());
    const long row = dw_no1.GetRow();
    // The recommendation's own number is not "in use": only the other recommendations count.
    // The entry is looked up in every form, since a number may have reached the table either way.
    const std::string own = dw_no1.GetItemString(row, "xm_id").value_or(current_id);
    const std::vector<std::string> forms = NumberForms(dw_no1, "xm_askno", typed);
    std::vector<rt::Value> into;
    sqlca.SelectInto(
        "select count(*) from j_xm_base where ( xm_askno = ? or xm_askno = ? or xm_askno = ? ) and xm_id <> "
        "? ",
        {forms[0], forms[1], forms[2], own}, into);
    if (sqlca.SQLCode != 0 || into.empty() || into.front().AsLong().value_or(0) == 0) return 0;

    rt::ui::MessageBox("提示信息", "此推荐号已经存在!");
    const auto retrieved = dw_no1.GetItemString(row, "xm_askno", rt::Buffer::Primary, true);
    dw_no1.SetItem(row, "xm_askno", rt::Value(retrieved));
    // The typed number is given up, as the message said: the field shows the stored number again.
    // Were it kept for correcting, every later accept of the page (leaving the section, Save from
    // another section, where the field is not even on show) would refuse it once more.
    return 2;
}

// ---- subject picker ------------------------------------------------------------------------------

namespace {
constexpr std::array<std::string_view, 6> kSubjectColumns = {
    "xk_majorcode1", "xk_majorname1", "xk_majorcode2", "xk_majorname2", "xk_majorcode3", "xk_majorname3"};
}  // namespace

void SectionArea::dw_no1_doubleclicked(long, long, long, std::string_view) {
    const std::string column = dw_no1.GetColumnName();
    for (std::string_view c : kSubjectColumns)
        if (column == c) {
            win::OpenPopup(dw_no1);
            return;
        }
}

// ---- field hints ------------------------------------------------------------------------------------

namespace {

void ShowHint(SectionArea& area, const DataWindowControl& page,
              std::initializer_list<std::string_view> listed) {
    const std::string column = page.GetColumnName();
    std::string hint = "Ready";
    for (std::string_view c : listed)
        if (column == c) {
            hint = page.Describe(column + ".Tag");
            break;
        }
    area.window.SetMicroHelp(hint);
}

}  // namespace

void SectionArea::dw_no1_itemfocuschanged(long, std::string_view) {
    ShowHint(*this, dw_no1, {"xm_name", "xk_majorname1", "xk_majorcode1"});
}

void SectionArea::dw_no71_itemfocuschanged(long, std::string_view) {
    ShowHint(*this, dw_no71, {"ry_id", "ry_fixtel", "ry_postcode", "ry_mpno"});
}

void SectionArea::dw_no81_itemfocuschanged(long, std::string_view) {
    ShowHint(*this, dw_no81, {"dw_name", "dw_fax", "dw_rtelphone", "ry_mpno"});
}

}  // namespace laurel::sections

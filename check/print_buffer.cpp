// The print buffer: the text of every single-text field of the printed form, made from what is
// stored. Each page is read afresh just before its fields (the check that runs before has saved
// what the pages held), so the document holds what the database holds. A page that cannot be read
// ends the filling: no document is made from a buffer that is partly another recommendation's.
//
// Codes print as their code list's entry, code and spacing included; dates as year and month; the
// investment as an amount with thousands separators; the payback period as a whole number. Only the
// optional fields are tested for null: the required ones were refused by the completeness check that
// runs before, and a null among them would print as the empty text anyway.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "records/m_main.h"
#include "runtime/text.h"

namespace laurel::records {

namespace {

using rt::ui::DataWindowControl;

// One retrieved page and the row its fields are read at: the current row right after retrieval.
class PageReader {
  public:
    PageReader(DataWindowControl& page, long row) : page_(page), row_(row) {}

    std::optional<std::string> Raw(const char* column) const { return page_.GetItemString(row_, column); }

    // Taken as stored; null gives the empty text.
    std::string Plain(const char* column) const { return Raw(column).value_or(std::string()); }

    // The entry of the column's code list for the stored code, exactly as the list has it.
    std::string Display(const char* column) const {
        return page_.Describe("Evaluate('LookUpDisplay(" + std::string(column) + ")'," +
                              std::to_string(row_) + ")");
    }

    // Year and month; null gives the empty text.
    std::string Month(const char* column) const {
        const std::optional<rt::Date> date_tmp = page_.GetItemDate(row_, column);
        return date_tmp ? rt::String(*date_tmp, "yyyy-mm") : std::string();
    }

    std::string Amount(const char* column) const {
        const std::optional<rt::Decimal> dec_tmp = page_.GetItemDecimal(row_, column);
        return dec_tmp ? rt::String(*dec_tmp, "#,##0.00") : std::string();
    }

    // The whole part, cut toward zero. Held wide enough for any stored number, so a large value
    // prints as stored instead of wrapping round.
    std::string Whole(const char* column) const {
        const std::optional<double> n = page_.GetItemNumber(row_, column);
        if (!n || !std::isfinite(*n)) return {};
        const double whole = std::trunc(*n);
        if (std::fabs(whole) >= 9.0e18) return rt::String(whole, "0");
        return std::to_string(static_cast<std::int64_t>(whole));
    }

  private:
    DataWindowControl& page_;
    long row_;
};

// The page read afresh, or nothing when it cannot be read (the database has said why).
std::optional<PageReader> Retrieve(DataWindowControl& page,
                                   const std::vector<rt::Value>& args = {current_id}) {
    if (page.Retrieve(args) == -1) return std::nullopt;
    return PageReader(page, page.GetRow());
}

}  // namespace

int m_main::all_prepare() {
    if (!laurel::j_main_mdi) return 0;
    win::j_main_mdi& w = *laurel::j_main_mdi;

    // ---- the project (sections 一 to 五) and the version number ------------------------------------
    {
        const auto read = Retrieve(*w.dw_no1);
        if (!read) return -1;
        const PageReader& p = *read;
        xm_askno = p.Plain("xm_askno");
        xk_grpno = p.Display("xk_grpno");
        jb_awardcode = p.Display("jb_awardcode");
        xm_name = p.Plain("xm_name");
        xm_ename = p.Plain("xm_ename");
        xm_tjdw = p.Display("bm_deptcode");
        sf_public = p.Display("sf_public");
        // Only a grade that is there is looked up.
        mj_secrcode = p.Raw("mj_secrcode") ? p.Display("mj_secrcode") : std::string();
        xm_secrterm = p.Plain("xm_secrterm");
        xm_fixsecrorgan = p.Plain("xm_fixsecrorgan");
        xm_topicword = p.Plain("xm_topicword");
        xk_majorname1 = p.Plain("xk_majorname1");
        xk_majorcode1 = p.Plain("xk_majorcode1");
        xk_majorname2 = p.Plain("xk_majorname2");
        xk_majorcode2 = p.Plain("xk_majorcode2");
        xk_majorname3 = p.Plain("xk_majorname3");
        xk_majorcode3 = p.Plain("xk_majorcode3");
        hy_etradecode = p.Display("hy_etradecode");
        ly_socucode = p.Display("ly_socucode");
        xm_planname = p.Plain("xm_planname");
        xm_no = p.Plain("xm_no");
        xm_startdate = p.Month("xm_startdate");
        xm_finishdate = p.Month("xm_finishdate");
        s_xm_checkcode = p.Plain("xm_guid");
    }
    // A page of one text, read afresh into its variable; false when it cannot be read.
    const auto text = [](DataWindowControl& page, const char* column, std::string& variable) {
        const auto read = Retrieve(page);
        if (read) variable = read->Plain(column);
        return read.has_value();
    };
    if (!text(*w.dw_no2, "xm_abstract", xm_abstract) || !text(*w.dw_no3, "xm_innovation", xm_innovation) ||
        !text(*w.dw_no4, "xm_recom", xm_recom))
        return -1;
    {
        const auto read = Retrieve(*w.dw_no512);
        if (!read) return -1;
        const PageReader& p = *read;
        xm_zhijyj = p.Plain("xm_zhijyj");
        xm_zongtz = p.Amount("xm_zongtz");
        xm_huis = p.Whole("xm_huis");
    }
    if (!text(*w.dw_no522, "xm_jianjyj", xm_jianjyj) || !text(*w.dw_no53, "xm_sosiety", xm_sosiety))
        return -1;

    // ---- the first contributor (section 七), whichever one the section shows ---------------------
    {
        const auto read = Retrieve(*w.dw_no71, {current_id, 1});
        if (!read) return -1;
        const PageReader& p = *read;
        ry_name = p.Plain("ry_name");
        ry_id = p.Plain("ry_id");
        ry_birthday = p.Month("ry_birthday");
        ry_bplace = p.Plain("ry_bplace");
        mz_nationcode = p.Display("mz_nationcode");
        xb_sex = p.Display("xb_sex");
        dp_sectcode = p.Display("dp_sectcode");
        zc_titlecode = p.Display("zc_titlecode");
        ry_position = p.Plain("ry_position");
        wp_edulev = p.Display("wp_edulev");
        xw_degree = p.Display("xw_degree");
        ry_workmajor = p.Plain("ry_workmajor");
        ry_specmajor = p.Plain("ry_specmajor");
        ry_grduniv = p.Plain("ry_grduniv");
        ry_grdtime = p.Month("ry_grdtime");
        ry_unit = p.Plain("ry_unit");
        ry_fixtel = p.Plain("ry_fixtel");
        ry_postaddr = p.Plain("ry_postaddr");
        ry_postcode = p.Plain("ry_postcode");
        ry_email = p.Plain("ry_email");
        ry_mpno = p.Plain("ry_mpno");
        ry_honor = p.Plain("ry_honor");
        ry_contribution = p.Plain("ry_contribution");
        ry_start = p.Month("ry_start");
        ry_finish = p.Month("ry_finish");
    }

    // ---- the two lists of section 九 --------------------------------------------------------------
    if (!text(*w.dw_no92, "xm_pingjia", xm_pingjia) || !text(*w.dw_no94, "xm_papers", xm_papers)) return -1;
    return 1;
}

}  // namespace laurel::records

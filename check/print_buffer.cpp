// The print buffer: the text of every single-text field of the printed form, made from what is
// stored. Each page is read afresh just before its fields (the check that runs before has saved
// what the pages held), so the document holds what the database holds. A page that cannot be read
// ends the filling: no document is made from a buffer that is partly another recommendation's.
//
// Codes print as their code list's entry, code and spacing included; dates as year and month; the
// investment as an amount with thousands separators; the payback period as a whole number. Only the
// optional fields are tested for null: the required ones were refused by the completeness check that
// runs before, and a null among them would print as the empty text anyway.

#include <optional>
#include <string>
#include <vector>

#include "check/check.h"
#include "document/formats.h"

namespace laurel::check {

namespace {

// One retrieved page and the row its fields are read at: the current row right after retrieval.
class PageReader {
  public:
    PageReader(rt::DataWindow& page, long row) : page_(page), row_(row) {}

    std::optional<std::string> Raw(const char* column) const { return page_.GetItemString(row_, column); }
    // Taken as stored; null gives the empty text.
    std::string Plain(const char* column) const { return Raw(column).value_or(std::string()); }
    // The entry of the column's code list for the stored code, exactly as the list has it.
    std::string Display(const char* column) const { return page_.LookUpDisplay(row_, column); }
    std::string Month(const char* column) const { return document::Month(page_.GetItemDate(row_, column)); }
    std::string Amount(const char* column) const {
        return document::Amount(page_.GetItemDecimal(row_, column));
    }
    // The whole part, cut toward zero, as stored however large.
    std::string Whole(const char* column) const { return document::Whole(page_.GetItemNumber(row_, column)); }

  private:
    rt::DataWindow& page_;
    long row_;
};

// The page read afresh, or nothing when it cannot be read (the database has said why).
std::optional<PageReader> Retrieve(rt::DataWindow& page, const std::vector<rt::Value>& args) {
    if (page.Retrieve(args) == -1) return std::nullopt;
    return PageReader(page, page.GetRow());
}

}  // namespace

Prepared all_prepare(const PreparedPages& pages, const std::string& current_id) {
    Prepared prepared{-1, {}};
    document::PrintBuffer& b = prepared.buffer;

    // ---- the project (sections 一 to 五) and the version number ------------------------------------
    {
        const auto read = Retrieve(pages.dw_no1, {current_id});
        if (!read) return prepared;
        const PageReader& p = *read;
        b.xm_askno = p.Plain("xm_askno");
        b.xk_grpno = p.Display("xk_grpno");
        b.jb_awardcode = p.Display("jb_awardcode");
        b.xm_name = p.Plain("xm_name");
        b.xm_ename = p.Plain("xm_ename");
        b.xm_tjdw = p.Display("bm_deptcode");
        b.sf_public = p.Display("sf_public");
        // Only a grade that is there is looked up.
        b.mj_secrcode = p.Raw("mj_secrcode") ? p.Display("mj_secrcode") : std::string();
        b.xm_secrterm = p.Plain("xm_secrterm");
        b.xm_fixsecrorgan = p.Plain("xm_fixsecrorgan");
        b.xm_topicword = p.Plain("xm_topicword");
        b.xk_majorname1 = p.Plain("xk_majorname1");
        b.xk_majorcode1 = p.Plain("xk_majorcode1");
        b.xk_majorname2 = p.Plain("xk_majorname2");
        b.xk_majorcode2 = p.Plain("xk_majorcode2");
        b.xk_majorname3 = p.Plain("xk_majorname3");
        b.xk_majorcode3 = p.Plain("xk_majorcode3");
        b.hy_etradecode = p.Display("hy_etradecode");
        b.ly_socucode = p.Display("ly_socucode");
        b.xm_planname = p.Plain("xm_planname");
        b.xm_no = p.Plain("xm_no");
        b.xm_startdate = p.Month("xm_startdate");
        b.xm_finishdate = p.Month("xm_finishdate");
        b.s_xm_checkcode = p.Plain("xm_guid");
    }
    // A page of one text, read afresh into its variable; false when it cannot be read.
    const auto text = [&current_id](rt::DataWindow& page, const char* column, std::string& variable) {
        const auto read = Retrieve(page, {current_id});
        if (read) variable = read->Plain(column);
        return read.has_value();
    };
    if (!text(pages.dw_no2, "xm_abstract", b.xm_abstract) ||
        !text(pages.dw_no3, "xm_innovation", b.xm_innovation) || !text(pages.dw_no4, "xm_recom", b.xm_recom))
        return prepared;
    {
        const auto read = Retrieve(pages.dw_no512, {current_id});
        if (!read) return prepared;
        const PageReader& p = *read;
        b.xm_zhijyj = p.Plain("xm_zhijyj");
        b.xm_zongtz = p.Amount("xm_zongtz");
        b.xm_huis = p.Whole("xm_huis");
    }
    if (!text(pages.dw_no522, "xm_jianjyj", b.xm_jianjyj) || !text(pages.dw_no53, "xm_sosiety", b.xm_sosiety))
        return prepared;

    // ---- the first contributor (section 七), whichever one the section shows ---------------------
    {
        const auto read = Retrieve(pages.dw_no71, {current_id, 1});
        if (!read) return prepared;
        const PageReader& p = *read;
        b.ry_name = p.Plain("ry_name");
        b.ry_id = p.Plain("ry_id");
        b.ry_birthday = p.Month("ry_birthday");
        b.ry_bplace = p.Plain("ry_bplace");
        b.mz_nationcode = p.Display("mz_nationcode");
        b.xb_sex = p.Display("xb_sex");
        b.dp_sectcode = p.Display("dp_sectcode");
        b.zc_titlecode = p.Display("zc_titlecode");
        b.ry_position = p.Plain("ry_position");
        b.wp_edulev = p.Display("wp_edulev");
        b.xw_degree = p.Display("xw_degree");
        b.ry_workmajor = p.Plain("ry_workmajor");
        b.ry_specmajor = p.Plain("ry_specmajor");
        b.ry_grduniv = p.Plain("ry_grduniv");
        b.ry_grdtime = p.Month("ry_grdtime");
        b.ry_unit = p.Plain("ry_unit");
        b.ry_fixtel = p.Plain("ry_fixtel");
        b.ry_postaddr = p.Plain("ry_postaddr");
        b.ry_postcode = p.Plain("ry_postcode");
        b.ry_email = p.Plain("ry_email");
        b.ry_mpno = p.Plain("ry_mpno");
        b.ry_honor = p.Plain("ry_honor");
        b.ry_contribution = p.Plain("ry_contribution");
        b.ry_start = p.Month("ry_start");
        b.ry_finish = p.Month("ry_finish");
    }

    // ---- the two lists of section 九 --------------------------------------------------------------
    if (!text(pages.dw_no92, "xm_pingjia", b.xm_pingjia) || !text(pages.dw_no94, "xm_papers", b.xm_papers))
        return prepared;
    prepared.result = 1;
    return prepared;
}

}  // namespace laurel::check

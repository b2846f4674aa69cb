#pragma once
// The print buffer: the text of every single-text field of the printed form, one variable per field,
// named after its column (xm_tjdw holds the recommending unit, s_xm_checkcode the version number).
// all_prepare makes it from what is stored; the form document writes it into the form's bookmarks
// and the lists document names the working document after xm_askno.

#include <string>

namespace laurel::document {

struct PrintBuffer {
    std::string xm_askno, xk_grpno, jb_awardcode, xm_name, xm_ename, xm_tjdw, sf_public, mj_secrcode,
        xm_secrterm, xm_fixsecrorgan, xm_topicword, xk_majorname1, xk_majorcode1, xk_majorname2,
        xk_majorcode2, xk_majorname3, xk_majorcode3, hy_etradecode, ly_socucode, xm_planname, xm_no,
        xm_startdate, xm_finishdate, xm_abstract, xm_innovation, xm_recom, xm_zongtz, xm_huis, xm_zhijyj,
        xm_jianjyj, xm_sosiety, ry_name, ry_id, ry_birthday, ry_bplace, mz_nationcode, xb_sex, dp_sectcode,
        zc_titlecode, ry_position, wp_edulev, xw_degree, ry_workmajor, ry_specmajor, ry_grduniv, ry_grdtime,
        ry_unit, ry_fixtel, ry_postaddr, ry_postcode, ry_email, ry_mpno, ry_honor, ry_start, ry_finish,
        ry_contribution, xm_papers, xm_pingjia, s_xm_checkcode;
};

}  // namespace laurel::document

// The form document: the first part of the recommendation's document, from the template.
//
// The step attaches to the word-processing engine (or starts it), makes a new document from the
// form template in the program folder, writes the print buffer into the form's bookmarks and the
// benefit and award pages into its tables, and saves it as the working document, closed, with the
// engine left running for the lists document. A failure of the engine throws rt::word::Error out of
// the step at the write that failed: the document stays open and unsaved, and the Print command
// reports it. A table that cannot be read throws UnreadPage the same way, and no working document
// is left.

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "document/working_document.h"
#include "records/m_main.h"
#include "runtime/text.h"
#include "runtime/ui/dialogs.h"
#include "runtime/word.h"

namespace laurel::records {

namespace {

constexpr std::string_view kWordClass = "word.application";

// The template's tables, counted from 1 in document order.
constexpr int kDirectBenefitTable = 5;
constexpr int kIndirectBenefitTable = 6;
constexpr int kAwardsTable = 8;

// The amount columns of the benefit pages, left to right as the tables show them from column 2.
constexpr std::string_view kAmountColumns[] = {"XY_ADDVALUE", "XY_ADDINTEREST", "XY_ADDTAX", "XY_GETFRGEXCH",
                                               "XY_SAVEGROSS"};

// The award grade has room for eight bytes of GBK text in the form.
constexpr std::size_t kGradeBytes = 8;

// A null amount prints as nothing, and so does a total that a null amount made null.
std::string Amount(const std::optional<rt::Decimal>& d) {
    return d ? rt::String(*d, "#,##0.00") : std::string();
}

// One benefit table: three yearly rows from the page, first row at `firstRow`, and the totals row
// after them. A page that holds fewer than three rows fills only the rows it has; its totals cover
// exactly the amounts written.
void FillBenefitTable(rt::word::Application& myword, rt::ui::DataWindowControl& page, int table,
                      int firstRow) {
    if (page.Retrieve({rt::Value(current_id)}) == -1) throw UnreadPage();
    std::optional<rt::Decimal> sums[5] = {rt::Decimal(), rt::Decimal(), rt::Decimal(), rt::Decimal(),
                                          rt::Decimal()};
    const long rows = std::min(3L, page.RowCount());
    for (long int_i = 1; int_i <= rows; ++int_i) {
        const int row = firstRow + static_cast<int>(int_i) - 1;
        myword.ActiveDocument().SetCellText(table, row, 1, page.GetItemString(int_i, "XY_YEAR").value_or(""));
        for (int k = 0; k < 5; ++k) {
            const std::optional<rt::Decimal> dec_tmp = page.GetItemDecimal(int_i, kAmountColumns[k]);
            sums[k] = sums[k] && dec_tmp ? rt::Decimal::Add(*sums[k], *dec_tmp) : std::nullopt;
            myword.ActiveDocument().SetCellText(table, row, k + 2, Amount(dec_tmp));
        }
    }
    const int totalsRow = firstRow + 3;
    for (int k = 0; k < 5; ++k) myword.ActiveDocument().SetCellText(table, totalsRow, k + 2, Amount(sums[k]));
}

void FillAwardsTable(rt::word::Application& myword, rt::ui::DataWindowControl& page) {
    if (page.Retrieve({rt::Value(current_id)}) == -1) throw UnreadPage();
    const long l_tmp = page.RowCount();
    for (long int_i = 1; int_i <= l_tmp; ++int_i) {
        const int row = static_cast<int>(int_i) + 1;
        const std::string number = ItemNumber(page.GetItemNumber(int_i, "JX_ID"));
        const std::optional<std::string> name = page.GetItemString(int_i, "JX_XMNAME");
        myword.ActiveDocument().SetCellText(
            kAwardsTable, row, 1, number.empty() ? std::string() : number + "." + name.value_or(""));
        const std::optional<rt::Date> date = page.GetItemDate(int_i, "JX_DATE");
        myword.ActiveDocument().SetCellText(kAwardsTable, row, 2,
                                            date ? rt::String(*date, "yyyy") : std::string());
        myword.ActiveDocument().SetCellText(kAwardsTable, row, 3,
                                            page.GetItemString(int_i, "JX_NAME").value_or(""));
        // The cut never splits a character: a grade that mixes scripts keeps the whole characters
        // that fit.
        myword.ActiveDocument().SetCellText(
            kAwardsTable, row, 4,
            rt::GbkLeft(page.GetItemString(int_i, "JX_GRADE").value_or(""), kGradeBytes));
        myword.ActiveDocument().SetCellText(kAwardsTable, row, 5,
                                            page.GetItemString(int_i, "JX_GRANTDEPT").value_or(""));
    }
}

}  // namespace

int m_main::all_print() {
    const std::string s_file_tmp = WorkingDocumentPath(WorkingFolder(), xm_askno);

    rt::word::Application myword;
    long ll_tatus = myword.ConnectToObject("", kWordClass);
    if (ll_tatus != 0) {
        ll_tatus = myword.ConnectToNewObject(kWordClass);
        if (ll_tatus != 0) {
            rt::ui::MessageBox("错误", "启动word错误: " + std::to_string(ll_tatus), rt::ui::Icon::StopSign);
            return 0;
        }
    }
    if (laurel::j_main_mdi == nullptr) throw rt::word::Error("主窗口未打开");
    win::j_main_mdi& w = *laurel::j_main_mdi;

    myword.DocumentsAdd(current_path + "/model/m_model2.docx", false);
    auto bookmark = [&myword](std::string_view name, const std::string& text) {
        myword.ActiveDocument().SetBookmarkText(name, text);
    };

    // Section one and the version number.
    bookmark("xm_askno", xm_askno);
    bookmark("xk_grpno", xk_grpno);
    bookmark("jb_awardcode", jb_awardcode);
    bookmark("xm_name", xm_name);
    bookmark("xm_ename", xm_ename);
    bookmark("xm_tjdw", xm_tjdw);
    bookmark("SF_PUBLIC", sf_public);
    bookmark("MJ_SECRCODE", mj_secrcode);
    bookmark("XM_SECRTERM", xm_secrterm);
    bookmark("XM_FIXSECRORGAN", xm_fixsecrorgan);
    bookmark("XM_TOPICWORD", xm_topicword);
    bookmark("XK_MAJORCODE1", xk_majorcode1);
    bookmark("XK_MAJORNAME1", xk_majorname1);
    bookmark("XK_MAJORCODE2", xk_majorcode2);
    bookmark("XK_MAJORNAME2", xk_majorname2);
    bookmark("XK_MAJORCODE3", xk_majorcode3);
    bookmark("XK_MAJORNAME3", xk_majorname3);
    bookmark("HY_ETRADECODE", hy_etradecode);
    bookmark("LY_SOCUCODE", ly_socucode);
    bookmark("XM_PLANNAME", xm_planname);
    bookmark("XM_NO", xm_no);
    bookmark("XM_STARTDATE", xm_startdate);
    bookmark("XM_FINISHDATE", xm_finishdate);
    bookmark("XM_VERSION", s_xm_checkcode);

    // The section texts and the benefit figures.
    bookmark("XM_ABSTRACT", xm_abstract);
    bookmark("XM_INNOVATION", xm_innovation);
    bookmark("XM_RECOM", xm_recom);
    bookmark("XM_Zongtz", xm_zongtz);
    bookmark("XM_huis", xm_huis);
    bookmark("XM_ZHIJYJ", xm_zhijyj);
    bookmark("XM_JIANJYJ", xm_jianjyj);

    try {
        // The benefit tables: the direct one below its three heading rows, the indirect one below two.
        FillBenefitTable(myword, *w.dw_no51, kDirectBenefitTable, 4);
        FillBenefitTable(myword, *w.dw_no52, kIndirectBenefitTable, 3);

        bookmark("XM_SOSIETY", xm_sosiety);
        FillAwardsTable(myword, *w.dw_no6);
    } catch (const UnreadPage&) {
        // No document goes on from a table that could not be read, not even one an earlier run left.
        std::error_code ec;
        std::filesystem::remove(s_file_tmp, ec);
        throw;
    }

    // The first contributor, the evaluation documents and the papers.
    bookmark("RY_NAME", ry_name);
    bookmark("RY_ID", ry_id);
    bookmark("RY_BIRTHDAY", ry_birthday);
    bookmark("RY_BPLACE", ry_bplace);
    bookmark("MZ_NATIONCODE", mz_nationcode);
    bookmark("XB_SEX", xb_sex);
    bookmark("DP_SECTCODE", dp_sectcode);
    bookmark("ZC_TITLECODE", zc_titlecode);
    bookmark("RY_POSITION", ry_position);
    bookmark("WP_EDULEV", wp_edulev);
    bookmark("XW_DEGREE", xw_degree);
    bookmark("RY_WORKMAJOR", ry_workmajor);
    bookmark("RY_SPECMAJOR", ry_specmajor);
    bookmark("RY_GRDUNIV", ry_grduniv);
    bookmark("RY_GRDTIME", ry_grdtime);
    bookmark("RY_UNIT", ry_unit);
    bookmark("RY_FIXTEL", ry_fixtel);
    bookmark("RY_POSTADDR", ry_postaddr);
    bookmark("RY_POSTCODE", ry_postcode);
    bookmark("RY_EMAIL", ry_email);
    bookmark("RY_MPNO", ry_mpno);
    bookmark("RY_HONOR", ry_honor);
    bookmark("RY_START", ry_start);
    bookmark("RY_FINISH", ry_finish);
    bookmark("RY_CONTRIBUTION", ry_contribution);
    bookmark("XM_PINGJIA", xm_pingjia);
    bookmark("XM_PAPERS", xm_papers);

    myword.SetVisible(false);
    myword.ActiveDocument().SaveAs(s_file_tmp);
    myword.ActiveDocument().Close();
    myword.DisconnectObject();
    return 1;
}

}  // namespace laurel::records

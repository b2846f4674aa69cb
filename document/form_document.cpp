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
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "document/documents.h"
#include "document/formats.h"
#include "document/working_document.h"
#include "runtime/platform/files.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"
#include "runtime/word/word.h"

namespace laurel::document {

namespace {

// The template's tables, counted from 1 in document order.
constexpr int kDirectBenefitTable = 5;
constexpr int kIndirectBenefitTable = 6;
constexpr int kAwardsTable = 8;

// The amount columns of the benefit pages, left to right as the tables show them from column 2.
constexpr std::string_view kAmountColumns[] = {"XY_ADDVALUE", "XY_ADDINTEREST", "XY_ADDTAX", "XY_GETFRGEXCH",
                                               "XY_SAVEGROSS"};

// The award grade has room for eight bytes of GBK text in the form.
constexpr std::size_t kGradeBytes = 8;

// One benefit table: three yearly rows from the page, first row at `firstRow`, and the totals row
// after them. A page that holds fewer than three rows fills only the rows it has; its totals cover
// exactly the amounts written, and a null amount makes its total null.
void FillBenefitTable(rt::word::Document& document, rt::DataWindow& page, const std::string& current_id,
                      int table, int firstRow) {
    if (page.Retrieve({rt::Value(current_id)}) == -1) throw UnreadPage();
    std::optional<rt::Decimal> sums[5] = {rt::Decimal(), rt::Decimal(), rt::Decimal(), rt::Decimal(),
                                          rt::Decimal()};
    const long years = std::min(3L, page.RowCount());
    for (long year = 1; year <= years; ++year) {
        const int row = firstRow + static_cast<int>(year) - 1;
        document.SetCellText(table, row, 1, page.GetItemString(year, "XY_YEAR").value_or(""));
        for (int k = 0; k < 5; ++k) {
            const std::optional<rt::Decimal> amount = page.GetItemDecimal(year, kAmountColumns[k]);
            sums[k] = sums[k] && amount ? rt::Decimal::Add(*sums[k], *amount) : std::nullopt;
            document.SetCellText(table, row, k + 2, Amount(amount));
        }
    }
    const int totalsRow = firstRow + 3;
    for (int k = 0; k < 5; ++k) document.SetCellText(table, totalsRow, k + 2, Amount(sums[k]));
}

// Award i in Word row i + 1, below the heading row.
void FillAwardsTable(rt::word::Document& document, rt::DataWindow& page, const std::string& current_id) {
    if (page.Retrieve({rt::Value(current_id)}) == -1) throw UnreadPage();
    const long awards = page.RowCount();
    for (long award = 1; award <= awards; ++award) {
        const int row = static_cast<int>(award) + 1;
        const std::string number = Whole(page.GetItemNumber(award, "JX_ID"));
        const std::optional<std::string> name = page.GetItemString(award, "JX_XMNAME");
        document.SetCellText(kAwardsTable, row, 1,
                             number.empty() ? std::string() : number + "." + name.value_or(""));
        const std::optional<rt::Date> date = page.GetItemDate(award, "JX_DATE");
        document.SetCellText(kAwardsTable, row, 2, date ? rt::String(*date, "yyyy") : std::string());
        document.SetCellText(kAwardsTable, row, 3, page.GetItemString(award, "JX_NAME").value_or(""));
        // The cut never splits a character: a grade that mixes scripts keeps the whole characters
        // that fit.
        document.SetCellText(kAwardsTable, row, 4,
                             rt::GbkLeft(page.GetItemString(award, "JX_GRADE").value_or(""), kGradeBytes));
        document.SetCellText(kAwardsTable, row, 5, page.GetItemString(award, "JX_GRANTDEPT").value_or(""));
    }
}

// The template is part of the installation: one that is missing, a folder or unreadable is named
// with the place where it is expected, so that whoever installed the program can put it right.
void CheckTemplate(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(rt::FsPath(path), ec);
    std::string why;
    if (ec && ec != std::errc::no_such_file_or_directory) {
        why = "无法读取文件";
    } else if (!std::filesystem::exists(status)) {
        why = "文件不存在";
    } else if (std::filesystem::is_directory(status)) {
        why = "这是一个文件夹，不是文件";
    } else if (!std::filesystem::is_regular_file(status)) {
        why = "不是普通文件";
    } else if (!std::ifstream(rt::FsPath(path), std::ios::binary)) {
        why = "无法读取文件";
    }
    if (!why.empty())
        throw rt::word::Error("无法打开模板“" + rt::PathText(rt::FsPath(path).filename()) + "”：" + why +
                              "。模板应在 " + rt::ShownPath(path));
}

}  // namespace

int all_print(const PrintBuffer& buffer, const FormPages& pages, const std::string& current_id,
              const std::string& program_folder, const std::string& working_folder) {
    const std::string working_document = WorkingDocumentPath(working_folder, buffer.xm_askno);

    rt::word::Application word;
    if (!Attach(word)) return 0;
    // Each Print starts from an empty document folder: nothing an earlier run left (a document it
    // could not hand over, one of another recommendation) can be taken for this one's.
    rt::ClearFolder(rt::PathText(rt::FsPath(working_document).parent_path()));

    const std::string model = program_folder + "/model/m_model2.docx";
    CheckTemplate(model);
    word.DocumentsAdd(model, false);
    auto bookmark = [&word](std::string_view name, const std::string& text) {
        word.ActiveDocument().SetBookmarkText(name, text);
    };
    const PrintBuffer& b = buffer;

    // Section one and the version number.
    bookmark("xm_askno", b.xm_askno);
    bookmark("xk_grpno", b.xk_grpno);
    bookmark("jb_awardcode", b.jb_awardcode);
    bookmark("xm_name", b.xm_name);
    bookmark("xm_ename", b.xm_ename);
    bookmark("xm_tjdw", b.xm_tjdw);
    bookmark("SF_PUBLIC", b.sf_public);
    bookmark("MJ_SECRCODE", b.mj_secrcode);
    bookmark("XM_SECRTERM", b.xm_secrterm);
    bookmark("XM_FIXSECRORGAN", b.xm_fixsecrorgan);
    bookmark("XM_TOPICWORD", b.xm_topicword);
    bookmark("XK_MAJORCODE1", b.xk_majorcode1);
    bookmark("XK_MAJORNAME1", b.xk_majorname1);
    bookmark("XK_MAJORCODE2", b.xk_majorcode2);
    bookmark("XK_MAJORNAME2", b.xk_majorname2);
    bookmark("XK_MAJORCODE3", b.xk_majorcode3);
    bookmark("XK_MAJORNAME3", b.xk_majorname3);
    bookmark("HY_ETRADECODE", b.hy_etradecode);
    bookmark("LY_SOCUCODE", b.ly_socucode);
    bookmark("XM_PLANNAME", b.xm_planname);
    bookmark("XM_NO", b.xm_no);
    bookmark("XM_STARTDATE", b.xm_startdate);
    bookmark("XM_FINISHDATE", b.xm_finishdate);
    bookmark("XM_VERSION", b.s_xm_checkcode);

    // The section texts and the benefit figures.
    bookmark("XM_ABSTRACT", b.xm_abstract);
    bookmark("XM_INNOVATION", b.xm_innovation);
    bookmark("XM_RECOM", b.xm_recom);
    bookmark("XM_Zongtz", b.xm_zongtz);
    bookmark("XM_huis", b.xm_huis);
    bookmark("XM_ZHIJYJ", b.xm_zhijyj);
    bookmark("XM_JIANJYJ", b.xm_jianjyj);

    try {
        // The benefit tables: the direct one below its three heading rows, the indirect one below two.
        FillBenefitTable(word.ActiveDocument(), pages.dw_no51, current_id, kDirectBenefitTable, 4);
        FillBenefitTable(word.ActiveDocument(), pages.dw_no52, current_id, kIndirectBenefitTable, 3);

        bookmark("XM_SOSIETY", b.xm_sosiety);
        FillAwardsTable(word.ActiveDocument(), pages.dw_no6, current_id);
    } catch (const UnreadPage&) {
        // No document goes on from a table that could not be read, not even one an earlier run left.
        std::error_code ec;
        std::filesystem::remove(rt::FsPath(working_document), ec);
        throw;
    }

    // The first contributor, the evaluation documents and the papers.
    bookmark("RY_NAME", b.ry_name);
    bookmark("RY_ID", b.ry_id);
    bookmark("RY_BIRTHDAY", b.ry_birthday);
    bookmark("RY_BPLACE", b.ry_bplace);
    bookmark("MZ_NATIONCODE", b.mz_nationcode);
    bookmark("XB_SEX", b.xb_sex);
    bookmark("DP_SECTCODE", b.dp_sectcode);
    bookmark("ZC_TITLECODE", b.zc_titlecode);
    bookmark("RY_POSITION", b.ry_position);
    bookmark("WP_EDULEV", b.wp_edulev);
    bookmark("XW_DEGREE", b.xw_degree);
    bookmark("RY_WORKMAJOR", b.ry_workmajor);
    bookmark("RY_SPECMAJOR", b.ry_specmajor);
    bookmark("RY_GRDUNIV", b.ry_grduniv);
    bookmark("RY_GRDTIME", b.ry_grdtime);
    bookmark("RY_UNIT", b.ry_unit);
    bookmark("RY_FIXTEL", b.ry_fixtel);
    bookmark("RY_POSTADDR", b.ry_postaddr);
    bookmark("RY_POSTCODE", b.ry_postcode);
    bookmark("RY_EMAIL", b.ry_email);
    bookmark("RY_MPNO", b.ry_mpno);
    bookmark("RY_HONOR", b.ry_honor);
    bookmark("RY_START", b.ry_start);
    bookmark("RY_FINISH", b.ry_finish);
    bookmark("RY_CONTRIBUTION", b.ry_contribution);
    bookmark("XM_PINGJIA", b.xm_pingjia);
    bookmark("XM_PAPERS", b.xm_papers);

    word.SetVisible(false);
    word.ActiveDocument().SaveAs(working_document);
    word.ActiveDocument().Close();
    word.DisconnectObject();
    return 1;
}

}  // namespace laurel::document

// The lists document: contributors, units, application units and patents, then protection,
// saving and hand-over.
//
// The form document has saved the first part of the form as the working document in the working
// folder and left the word processor running. This run makes a new document from the working
// document, fills the four lists and the two lines of names, protects it, saves it over the working
// document, quits the word processor and hands a copy to the user. A failure of the word processor
// throws rt::word::Error out of the run; the Print command reports it.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "document/documents.h"
#include "document/formats.h"
#include "document/working_document.h"
#include "runtime/datawindow/dwdef.h"
#include "runtime/platform/dialogs.h"
#include "runtime/platform/files.h"
#include "runtime/platform/path.h"
#include "runtime/text/text.h"
#include "runtime/word/word.h"

namespace laurel::document {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPassword = "Ann is a cat";
constexpr const char* kError = "错误";

// Word's protection types: read only, and entry through form fields only.
constexpr int kAllowOnlyReading = 3;
constexpr int kAllowOnlyFormFields = 2;

// The template's tables, counted from 1 in document order.
constexpr int kContributorsTable = 10;
constexpr int kUnitsTable = 11;
constexpr int kApplicationsTable = 12;
constexpr int kPropertyTable = 14;

// The units line has room for 112 bytes of GBK text in the form.
constexpr std::size_t kUnitsLineBytes = 112;

// A line of names in list order, joined by ", ". A null name is left out together with its
// separator; an empty one is an entry of its own.
class NamesLine {
  public:
    void Add(const std::optional<std::string>& name) {
        if (!name) return;
        if (any_) text_ += ", ";
        text_ += *name;
        any_ = true;
    }
    const std::string& Text() const { return text_; }

  private:
    std::string text_;
    bool any_ = false;
};

std::string OrEmpty(const std::optional<std::string>& s) {
    return s.value_or(std::string());
}

// The item number, a full stop and the name, as the lists of section 九 number their entries.
std::string NumberedName(const std::optional<double>& n, const std::optional<std::string>& name) {
    return Whole(n) + "." + OrEmpty(name);
}

// A title prints as the contributor form shows it; the list page's own list, which differs from
// the form's in places, speaks only for a code the form's list lacks. A code neither list has
// prints as nothing.
std::string Title(const rt::DataWindow& list, long row) {
    const std::optional<std::string> code = list.GetItemString(row, "zc_titlecode");
    const rt::DataWindowDef* form = rt::FindDefinition("dw_71");
    const rt::ColumnDef* column = form ? form->Column("zc_titlecode") : nullptr;
    if (code && column)
        if (const std::string* display = column->CodeDisplay(*code)) return *display;
    return list.LookUpDisplay(row, "zc_titlecode");
}

// ---- the four lists ----------------------------------------------------------------------------

// Contributor 1 is printed elsewhere in the form: table 10 holds contributors 2 and later, each in
// the Word row of its own number; the completers line names them all.
void Contributors(rt::word::Document& document, rt::DataWindow& dw, const std::string& current_id) {
    if (dw.Retrieve({current_id}) == -1) throw UnreadPage();
    const long count = dw.RowCount();
    NamesLine line;
    line.Add(dw.GetItemString(1, "ry_name"));
    for (long i = 2; i <= count; ++i) {
        const int row = static_cast<int>(i);
        auto cell = [&](int column, std::string_view text) {
            document.SetCellText(kContributorsTable, row, column, text);
        };
        cell(1, Whole(dw.GetItemNumber(i, "ry_no")));
        const auto name = dw.GetItemString(i, "ry_name");
        cell(2, OrEmpty(name));
        line.Add(name);
        cell(3, dw.LookUpDisplay(i, "xb_sex"));
        cell(4, Month(dw.GetItemDate(i, "ry_birthday")));
        cell(5, Title(dw, i));
        cell(6, OrEmpty(dw.GetItemString(i, "ry_unit")));
    }
    document.SetBookmarkText("xm_wcr", line.Text());
}

// Unit i in Word row i + 1, below the heading row; the units line is capped to the room the form
// leaves it, never splitting a character.
void Units(rt::word::Document& document, rt::DataWindow& dw, const std::string& current_id) {
    if (dw.Retrieve({current_id}) == -1) throw UnreadPage();
    const long count = dw.RowCount();
    NamesLine line;
    for (long i = 1; i <= count; ++i) {
        const int row = static_cast<int>(i + 1);
        auto cell = [&](int column, std::string_view text) {
            document.SetCellText(kUnitsTable, row, column, text);
        };
        cell(1, Whole(dw.GetItemNumber(i, "dw_no")));
        const auto name = dw.GetItemString(i, "dw_name");
        cell(2, OrEmpty(name));
        line.Add(name);
        cell(3, OrEmpty(dw.GetItemString(i, "dw_rtelphone")));
        cell(4, OrEmpty(dw.GetItemString(i, "dw_rperson")));
    }
    document.SetBookmarkText("xm_wcdw", rt::GbkLeft(line.Text(), kUnitsLineBytes));
}

// Item i in Word row i + 2, below the two heading rows. An amount of 0 is the placeholder of a row
// nobody filled in and prints as an empty cell, as does a missing date or amount.
void Applications(rt::word::Document& document, rt::DataWindow& dw, const std::string& current_id) {
    if (dw.Retrieve({current_id}) == -1) throw UnreadPage();
    const long count = dw.RowCount();
    for (long i = 1; i <= count; ++i) {
        const int row = static_cast<int>(i + 2);
        auto cell = [&](int column, std::string_view text) {
            document.SetCellText(kApplicationsTable, row, column, text);
        };
        cell(1, NumberedName(dw.GetItemNumber(i, "yy_id"), dw.GetItemString(i, "dw_unitname")));
        cell(2, Month(dw.GetItemDate(i, "yy_stsatdate")));
        cell(3, OrEmpty(dw.GetItemString(i, "dw_rperson")));
        const auto benefit = dw.GetItemDecimal(i, "yy_benefit");
        cell(4, benefit && benefit->Cents() != 0 ? Amount(benefit) : std::string());
        cell(5, dw.GetItemString(i, "sf_submit") == std::optional<std::string>("1") ? "有" : "无");
    }
}

// Item i in Word row i + 2, below the two heading rows; category and country are stored as the
// words the page shows.
void Property(rt::word::Document& document, rt::DataWindow& dw, const std::string& current_id) {
    if (dw.Retrieve({current_id}) == -1) throw UnreadPage();
    const long count = dw.RowCount();
    for (long i = 1; i <= count; ++i) {
        const int row = static_cast<int>(i + 2);
        auto cell = [&](int column, std::string_view text) {
            document.SetCellText(kPropertyTable, row, column, text);
        };
        cell(1, NumberedName(dw.GetItemNumber(i, "zl_id"), dw.GetItemString(i, "zl_name")));
        cell(2, OrEmpty(dw.GetItemString(i, "zl_sortcode")));
        cell(3, OrEmpty(dw.GetItemString(i, "zl_nation")));
        cell(4, OrEmpty(dw.GetItemString(i, "zl_appno")));
        cell(5, OrEmpty(dw.GetItemString(i, "zl_no")));
    }
}

// The versions that know read-only protection get it; the older ones protect the form fields; any
// other version leaves the document as it is.
void Protect(rt::word::Application& word) {
    word.SetVisible(false);
    for (const char* version : {"12.0", "11.0"})
        if (word.Version() == version) word.ActiveDocument().Protect(kAllowOnlyReading, false, kPassword);
    for (const char* version : {"10.0", "9.0"})
        if (word.Version() == version) word.ActiveDocument().Protect(kAllowOnlyFormFields, false, kPassword);
}

// The user asked for the finished document and did not get it: it is kept for its recommendation
// (kKeptFolder), replacing one an earlier Print kept for it, and the box that says what failed says
// where the document is.
void KeepForTheUser(const std::string& working_document, const std::string& kept,
                    const std::string& failure) {
    std::error_code ec;
    if (!fs::exists(rt::FsPath(working_document), ec)) {
        rt::MessageBox(kError, failure, rt::Icon::StopSign);
        return;
    }
    fs::create_directories(rt::FsPath(kept).parent_path(), ec);
    if (!ec) fs::rename(rt::FsPath(working_document), rt::FsPath(kept), ec);
    if (!ec) {
        std::error_code ignored;
        fs::remove(rt::FsPath(working_document).parent_path(), ignored);  // the document folder, once empty
    }
    const std::string where = ec ? "完成的推荐书暂时保留在：\n" + rt::ShownPath(working_document) +
                                       "\n下次打印或重新启动程序时它将被删除，请及时复制。"
                                 : "完成的推荐书已保留在：\n" + rt::ShownPath(kept) +
                                       "\n它会一直留在那里，直到本推荐书再次打印并成功保存到所选位置。";
    rt::MessageBox(kError, failure + "\n" + where, rt::Icon::StopSign);
}

}  // namespace

int all_print_789(const PrintBuffer& buffer, const ListPages& pages, const std::string& current_id,
                  const std::string& working_folder, const std::string& keeping_folder) {
    rt::word::Application word;
    if (!Attach(word)) return 0;

    const std::string working_document = WorkingDocumentPath(working_folder, buffer.xm_askno);
    try {
        word.DocumentsAdd(working_document, false);
        Contributors(word.ActiveDocument(), pages.dw_no72, current_id);
        Units(word.ActiveDocument(), pages.dw_no82, current_id);
        Applications(word.ActiveDocument(), pages.dw_no91, current_id);
        Property(word.ActiveDocument(), pages.dw_no93, current_id);
        Protect(word);
        word.ActiveDocument().SaveAs(working_document);
        word.ActiveDocument().Close();
        word.Quit();
        word.DisconnectObject();
    } catch (...) {
        // A half-filled document left open in a hidden word processor is of no use to anyone, and the
        // next Print would find it there: end the word processor; the working document stays as it
        // was last saved, unless a list could not be read: then no document is to be had.
        try {
            word.Quit();
        } catch (const rt::word::Error&) {
        }
        word.DisconnectObject();
        try {
            throw;
        } catch (const UnreadPage&) {
            std::error_code ec;
            fs::remove(rt::FsPath(working_document), ec);
            fs::remove(rt::FsPath(working_document).parent_path(), ec);
            throw;
        }
    }

    std::string target, target_name;
    const int chosen =
        rt::GetFileSaveName("文件保存路径", target, target_name, "docx", "Word Files (*.*),*.*", "D:\\");
    // The working document goes once the user has the copy, or has declined it. When the copy was
    // wanted and could not be made, the document is kept for the user and the box says where.
    const std::string kept = KeptDocumentPath(keeping_folder, current_id, buffer.xm_askno);
    std::string failure;
    bool keep = false;
    if (chosen == 1) {
        if (rt::SameFile(working_document, target)) {
            // The user chose the working document itself: it is the copy.
            keep = true;
        } else {
            const int copied = rt::FileCopy(working_document, target);
            if (copied == -1) {
                failure = "Error opening sourcefile！";
            } else if (copied == -2) {
                failure = "Error writing targetfile！";
            } else {
                // The user has this recommendation's document now: one kept from an earlier Print is
                // older, and goes; those of other recommendations stay.
                RemoveKeptDocuments(keeping_folder, current_id, target);
            }
        }
    } else if (chosen == -1) {
        failure = "无法得到保存文件的路径！";
    }
    if (!failure.empty()) {
        // One document kept for a recommendation: the newest, under the number it has now.
        RemoveKeptDocuments(keeping_folder, current_id, kept);
        KeepForTheUser(working_document, kept, failure);
    } else if (!keep) {
        std::error_code ec;
        if (fs::exists(rt::FsPath(working_document), ec)) fs::remove(rt::FsPath(working_document), ec);
        fs::remove(rt::FsPath(working_document).parent_path(), ec);  // the document folder, once empty
    }
    return 1;
}

}  // namespace laurel::document

// The Export and Import commands of the exchange package and the zip control's handler for the
// files it refuses.
//
// Working files live in folders under the working folder (the program folder, or the user's own
// when the program folder is read-only) and are addressed by full path: the process's working
// directory is never changed, so nothing else that resolves a relative path can be surprised by a
// command that stopped half-way.

#include "exchange/package.h"

#include <array>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/globals.h"
#include "app/j_main_mdi.h"
#include "exchange/package_reader.h"
#include "records/m_main.h"
#include "runtime/datawindow_xml.h"
#include "runtime/files.h"
#include "runtime/ui/dialogs.h"
#include "runtime/xml.h"

namespace laurel::exchange {

namespace fs = std::filesystem;

namespace {

bool DirectoryExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

void CreateDirectory(const std::string& path) {
    std::error_code ec;
    fs::create_directory(path, ec);
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool FileDelete(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec))) return false;
    return fs::remove(path, ec) && !ec;
}

// 1 when the folder was removed; a folder that still holds files stays.
int RemoveDirectory(const std::string& path) {
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(path, ec))) return -1;
    return fs::remove(path, ec) && !ec ? 1 : -1;
}

// Empties a working folder that an earlier run left behind, whatever it holds; a file of that
// name is not the folder and stays.
void RemoveWorkingFolder(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(path, ec))) fs::remove_all(path, ec);
}

const std::string kTmpOut = "/tmp_out";
const std::string kTmpIn = "/tmp_in";
const std::string kTmpXml = "/tmp_xml";

}  // namespace

void ExportCheckedRecommendation() {
    win::j_main_mdi* w = laurel::j_main_mdi;
    if (w == nullptr) return;
    using rt::ui::MessageBox;

    // The members in the order they are written.
    const std::array<std::pair<rt::ui::DataWindowControl*, const char*>, 7> members = {{
        {w->dw_ds_base, "xm_base"},
        {w->dw_ds_dw, "xm_dw"},
        {w->dw_ds_ry, "xm_ry"},
        {w->dw_ds_getaward, "xm_hj"},
        {w->dw_ds_xy, "xm_xy"},
        {w->dw_ds_yy, "xm_yy"},
        {w->dw_ds_zl, "xm_zl"},
    }};
    // A member that could not be read or written would make an incomplete package that looks
    // whole: the packing is then not attempted and the export reports the member.
    std::string failed;
    for (const auto& [view, name] : members)
        if (view->Retrieve({rt::Value(current_id)}) == -1 && failed.empty())
            failed = std::string(name) + ".xml";

    const std::string work = WorkingFolder();
    const std::string s_tmp_out_path = work + kTmpOut;
    // Only what this run writes may be packed: files left by a run that stopped, or put there by
    // hand, would go into the package as members.
    RemoveWorkingFolder(s_tmp_out_path);
    if (!DirectoryExists(s_tmp_out_path)) CreateDirectory(s_tmp_out_path);
    for (const auto& [view, name] : members) {
        const std::string file = std::string(name) + ".xml";
        if (rt::SaveAsXml(*view, s_tmp_out_path + "/" + file, name, std::string(name) + "_row") != 1 &&
            failed.empty())
            failed = file;
    }

    // The seven members by name, and nothing beside them.
    rt::Zip& zip = w->ole_1->Object();
    zip.processsubfolders = false;
    std::string members_to_pack;
    for (const auto& [view, name] : members)
        members_to_pack += (members_to_pack.empty() ? "" : "\n") + s_tmp_out_path + "/" + name + ".xml";
    zip.filestoprocess = members_to_pack;
    zip.preservepaths = false;
    const std::string s_tmp_out_file = work + "/" + kArchiveName;
    zip.zipfilename = s_tmp_out_file;
    long resultcode = 0;
    std::string ls_error;
    if (failed.empty()) {
        resultcode = zip.zip();
        if (resultcode != 0) ls_error = zip.geterrordescription(0, resultcode);
    } else {
        resultcode = -1;
        ls_error = "无法生成文件 " + failed;
    }
    if (resultcode != 0) {
        // A packing that failed may have left a partial archive, or an earlier run's: neither is
        // this package, and nothing is handed over.
        FileDelete(s_tmp_out_file);
        MessageBox("提示信息", "导出不成功,出错信息为:" + ls_error);
    } else {
        MessageBox("提示信息", "导出成功！");
    }

    for (const auto& [view, name] : members) FileDelete(s_tmp_out_path + "/" + name + ".xml");
    if (RemoveDirectory(s_tmp_out_path) != 1)
        MessageBox("Remove directory failed", std::string("Check that the directory exists, is empty, and ") +
                                                  "is not the current directory");

    std::string s_path, s_file;
    const int i_rc = rt::ui::GetFileSaveName("文件保存路径", s_path, s_file, "DAT", kFileFilter, "D:\\");
    // A target chosen at the archive's own place is the archive: it is kept, not copied or deleted.
    bool keep = false;
    if (i_rc == 1) {
        if (rt::SameFile(s_tmp_out_file, s_path)) {
            keep = true;
        } else {
            const int i_filenum = rt::FileCopy(s_tmp_out_file, s_path);
            if (i_filenum == -1) MessageBox("错误", "Error opening sourcefile！");
            if (i_filenum == -2) MessageBox("错误", "Error writing targetfile！");
        }
    } else if (i_rc == -1) {
        MessageBox("错误", "无法得到保存文件的路径！");
    }
    if (!keep && FileExists(s_tmp_out_file)) FileDelete(s_tmp_out_file);
}

}  // namespace laurel::exchange

namespace laurel::records {

void m_main::export_clicked() {
    if (all_check() != 1) return;
    exchange::ExportCheckedRecommendation();
}

void m_main::import_clicked() {
    using exchange::DirectoryExists;
    using exchange::FileDelete;
    using exchange::FileExists;
    using rt::ui::MessageBox;
    win::j_main_mdi* w = laurel::j_main_mdi;
    if (w == nullptr) return;

    std::string ls_path, ls_file;
    const int li_rc =
        rt::ui::GetFileOpenName("请选择文件", ls_path, ls_file, "DAT", exchange::kFileFilter, "D:\\");
    if (li_rc == 0) return;
    const std::string work = WorkingFolder();
    const std::string s_tmp_in_path = work + exchange::kTmpIn;
    const std::string archive = s_tmp_in_path + "/" + exchange::kArchiveName;
    // Only the chosen file may be unpacked, never a copy left by an earlier run.
    FileDelete(archive);
    if (li_rc == 1) {
        if (!DirectoryExists(s_tmp_in_path)) exchange::CreateDirectory(s_tmp_in_path);
        const int li_filenum = rt::FileCopy(ls_path, archive);
        if (li_filenum == -1) MessageBox("错误", "Error opening sourcefile！");
        if (li_filenum == -2) MessageBox("错误", "Error writing targetfile！");
    } else {
        MessageBox("错误", "无法得到导入文件的路径！");
    }

    // Only the seven members are unpacked, each and all within the size limits; any other entry
    // stays in the archive unread.
    rt::Zip& zip = w->ole_1->Object();
    const std::string xml_path = work + exchange::kTmpXml;
    // Whatever an earlier package left (members of a refused one) must not be read as this
    // package's, nor keep the folder from being removed afterwards.
    exchange::RemoveWorkingFolder(xml_path);
    exchange::CreateDirectory(xml_path);
    exchange::SetUpUnpacking(zip, archive, xml_path);
    const long resultcode = zip.unzip();
    if (resultcode != 0)
        MessageBox("提示", "申报文件导入不成功,出错信息为:" + zip.geterrordescription(0, resultcode));

    if (FileExists(archive) && !FileDelete(archive))
        MessageBox("Remove file failed", "Check that the file is not used: " + archive);
    if (DirectoryExists(s_tmp_in_path) && exchange::RemoveDirectory(s_tmp_in_path) != 1)
        MessageBox("Remove directory failed", std::string("Check that the directory is empty, and ") +
                                                  "is not the current directory: " + s_tmp_in_path);
    // A package that could not be unpacked whole (a member refused, named twice, too large, or no
    // archive at all) is not read in part: what was unpacked goes, and the import has failed.
    if (resultcode != 0) {
        exchange::RemoveWorkingFolder(xml_path);
        import_rollback(work);
        MessageBox("提示信息", "推荐书导入失败!");
        return;
    }

    using Import = int (m_main::*)(const std::string&);
    const std::array<Import, 7> imports = {&m_main::import_base, &m_main::import_ry, &m_main::import_dw,
                                           &m_main::import_xy,   &m_main::import_hj, &m_main::import_yy,
                                           &m_main::import_zl};
    std::array<int, 7> results{};
    exchange::BeginImport();
    for (std::size_t k = 0; k < imports.size(); ++k) {
        const exchange::Member& m = exchange::kImportOrder[k];
        const std::string path = xml_path + "/" + m.file;
        if (!FileExists(path)) {
            MessageBox("提示信息:FileExists error", std::string(m.name) + " Not exist.");
            continue;
        }
        const long ll_ret_parse = rt::xml::XMLParseFile(path);
        if (ll_ret_parse != 0) {
            MessageBox(std::string("提示信息:") + m.name + " XMLParseFile error",
                       std::to_string(ll_ret_parse));
            continue;
        }
        results[k] = (this->*imports[k])(work);
        if (k == 0 && results[0] == 0) {
            // Refused (the recommendation exists; import_base said so): nothing was written, and
            // the members stay in tmp_xml.
            exchange::EndImport();
            return;
        }
        // A member that cannot be read or written stops the import there: it fails whatever
        // follows, and its reason is the one to show.
        if (results[k] != 1) break;
    }

    for (const exchange::Member& m : exchange::kImportOrder) FileDelete(xml_path + "/" + m.file);
    if (exchange::RemoveDirectory(xml_path) != 1)
        MessageBox("Remove directory failed", std::string("Check that the directory exists, is empty, and ") +
                                                  "is not the current directory");

    bool success = true;
    for (int r : results)
        if (r != 1) success = false;
    if (success && sqlca.Commit() != 0) success = false;
    if (!success) {
        import_rollback(work);
        exchange::EndImport();
        if (const std::string why = exchange::ImportRefusal(); !why.empty()) MessageBox("提示信息", why);
        MessageBox("提示信息", "推荐书导入失败!");
        return;
    }
    exchange::EndImport();

    // The imported recommendation is found by its key: a recommendation number may occur twice.
    const std::string key = exchange::ImportedKey();
    rt::ui::DataWindowControl* list = w->dw_no;
    const long old_row = list->GetRow();
    // The recommendation is stored; a list that cannot be read says so, and shows it later.
    w->retrievelist();
    const long l_row_count = list->RowCount();
    long l_tmp = 1;
    for (; l_tmp <= l_row_count; ++l_tmp) {
        const auto id = list->GetItemString(l_tmp, "xm_id");
        if (id && *id == key) break;
    }
    const long after_retrieve = list->GetRow();
    list->SetRow(l_tmp);
    list->SetColumn(1);
    list->SetFocus();
    // When the row is current already, no move runs the row change: raise it, unless the list was
    // empty before, in which case the retrieve itself ran it for this row.
    if (l_tmp <= l_row_count && l_tmp == after_retrieve && old_row != 0)
        list->TriggerEvent("rowfocuschanged");
    MessageBox("提示信息", "成功导入一份推荐书!");
}

}  // namespace laurel::records

namespace laurel::win {

void j_main_mdi::ole_1_skippingfile(const rt::SkippedFile&) {
    rt::ui::MessageBox("错误", "不是本软件生成的ZIP申报文件！");
}

}  // namespace laurel::win

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
#include <utility>
#include <vector>

#include "exchange/package_reader.h"
#include "runtime/datawindow/datawindow_xml.h"
#include "runtime/formats/xml.h"
#include "runtime/platform/dialogs.h"
#include "runtime/platform/files.h"
#include "runtime/platform/path.h"

namespace laurel::exchange {

namespace fs = std::filesystem;

namespace {

bool DirectoryExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(rt::FsPath(path), ec));
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(rt::FsPath(path), ec);
}

bool FileDelete(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(rt::FsPath(path), ec))) return false;
    return fs::remove(rt::FsPath(path), ec) && !ec;
}

// 1 when the folder was removed; a folder that still holds files stays.
int RemoveDirectory(const std::string& path) {
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(rt::FsPath(path), ec))) return -1;
    return fs::remove(rt::FsPath(path), ec) && !ec ? 1 : -1;
}

const std::string kTmpOut = std::string("/") + kWorkingFolders[0];
const std::string kTmpIn = std::string("/") + kWorkingFolders[1];
const std::string kTmpXml = std::string("/") + kWorkingFolders[2];

}  // namespace

namespace {

// What packing a recommendation came to.
struct Packed {
    long result = 0;          // 0 packed, else the zip component's code (-1: a member was not made)
    std::string error;        // why not
    bool folderLeft = false;  // the members' folder could not be removed afterwards
    bool told = false;        // a member could not be read because the transaction was lost: said
};

// The seven members of recommendation `key`, read through the views and written into an emptied
// "tmp_out" under the working folder, packed there into the archive; the members and their folder
// go afterwards. A failed packing leaves its archive to the caller, who removes it.
Packed PackMembers(const ExportViews& views, rt::Zip& zip, const std::string& key,
                   const std::string& working_folder) {
    // The members in the order they are written.
    const std::array<std::pair<rt::DataWindow*, const char*>, 7> members = {{
        {&views.dw_ds_base, "xm_base"},
        {&views.dw_ds_dw, "xm_dw"},
        {&views.dw_ds_ry, "xm_ry"},
        {&views.dw_ds_getaward, "xm_hj"},
        {&views.dw_ds_xy, "xm_xy"},
        {&views.dw_ds_yy, "xm_yy"},
        {&views.dw_ds_zl, "xm_zl"},
    }};
    // A member that could not be read or written would make an incomplete package that looks
    // whole: the packing is then not attempted and the member is named.
    std::string failed;
    bool told = false;
    for (const auto& [view, name] : members) {
        if (view->Retrieve({rt::Value(key)}) != -1 || !failed.empty()) continue;
        failed = std::string(name) + ".xml";
        const rt::Transaction* t = view->TransObject();
        told = t != nullptr && t->LossAlreadyTold();
    }

    const std::string out_folder = working_folder + kTmpOut;
    const std::string archive = working_folder + "/" + kArchiveName;
    // Only what this run writes may be packed: files left by a run that stopped, or put there by
    // hand, would go into the package as members. A link in the folder's place, or the archive's,
    // is removed, never written through.
    rt::ClearFolder(out_folder);
    FileDelete(archive);
    for (const auto& [view, name] : members) {
        const std::string file = std::string(name) + ".xml";
        if (rt::SaveAsXml(*view, out_folder + "/" + file, name, std::string(name) + "_row") != 1 &&
            failed.empty())
            failed = file;
    }

    // The seven members by name, and nothing beside them.
    zip.processsubfolders = false;
    std::string members_to_pack;
    for (const auto& [view, name] : members)
        members_to_pack += (members_to_pack.empty() ? "" : "\n") + out_folder + "/" + name + ".xml";
    zip.filestoprocess = members_to_pack;
    zip.preservepaths = false;
    zip.zipfilename = archive;
    Packed packed;
    if (failed.empty()) {
        packed.result = zip.zip();
        if (packed.result != 0) packed.error = zip.geterrordescription(0, packed.result);
    } else {
        packed.result = -1;
        packed.error = "无法生成文件 " + failed;
        packed.told = told;
    }
    for (const auto& [view, name] : members) FileDelete(out_folder + "/" + name + ".xml");
    packed.folderLeft = RemoveDirectory(out_folder) != 1;
    return packed;
}

}  // namespace

void ExportCheckedRecommendation(const ExportViews& views, rt::Zip& zip, const std::string& current_id,
                                 const std::string& working_folder) {
    using rt::MessageBox;

    const std::string archive = working_folder + "/" + kArchiveName;
    const Packed packed = PackMembers(views, zip, current_id, working_folder);
    if (packed.result != 0) {
        // A packing that failed may have left a partial archive, or an earlier run's: neither is
        // this package, and nothing is handed over.
        FileDelete(archive);
        if (packed.told) return;
        MessageBox("提示信息", "导出不成功,出错信息为:" + packed.error, rt::Icon::StopSign);
    } else {
        MessageBox("提示信息", "导出成功！");
    }
    if (packed.folderLeft)
        MessageBox(
            "Remove directory failed",
            std::string("Check that the directory exists, is empty, and ") + "is not the current directory",
            rt::Icon::StopSign);

    std::string target, target_name;
    const int chosen = rt::GetFileSaveName("文件保存路径", target, target_name, "DAT", kFileFilter, "D:\\");
    // A target chosen at the archive's own place is the archive: it is kept, not copied or deleted.
    bool keep = false;
    if (chosen == 1) {
        if (rt::SameFile(archive, target)) {
            keep = true;
        } else {
            const int copied = rt::FileCopy(archive, target);
            if (copied == -1) MessageBox("错误", "Error opening sourcefile！", rt::Icon::StopSign);
            if (copied == -2) MessageBox("错误", "Error writing targetfile！", rt::Icon::StopSign);
        }
    } else if (chosen == -1) {
        MessageBox("错误", "无法得到保存文件的路径！", rt::Icon::StopSign);
    }
    if (!keep && FileExists(archive)) FileDelete(archive);
}

namespace {

// The working folder cannot take the package or its members (a full disk, a read-only one): said
// once, as Print says it, and the import ends there.
void SayWorkingFolderUnwritable(const std::string& working_folder, const std::string& why) {
    rt::MessageBox("错误",
                   "推荐书导入失败：无法写入工作文件夹“" + rt::ShownPath(working_folder) + "”：" + why,
                   rt::Icon::StopSign);
}

// The chosen package copied into the working folder as the archive to unpack, or the box that
// says why not. False when the command ends: the working folder could not take the copy.
bool CopyChosenPackage(int chosen, const std::string& source, const std::string& archive,
                       const std::string& working_folder) {
    using rt::MessageBox;
    if (chosen != 1) {
        MessageBox("错误", "无法得到导入文件的路径！", rt::Icon::StopSign);
        return true;
    }
    std::string why;
    const int copied = rt::FileCopy(source, archive, why);
    if (copied == -1) MessageBox("错误", "Error opening sourcefile！", rt::Icon::StopSign);
    if (copied != -2) return true;
    SayWorkingFolderUnwritable(working_folder, why);
    return false;
}

// The copy of the package and its folder go once it is unpacked.
void RemoveCopiedPackage(const std::string& archive, const std::string& in_folder) {
    using rt::MessageBox;
    if (FileExists(archive) && !FileDelete(archive))
        MessageBox("Remove file failed", "Check that the file is not used: " + rt::ShownPath(archive),
                   rt::Icon::StopSign);
    if (DirectoryExists(in_folder) && RemoveDirectory(in_folder) != 1)
        MessageBox("Remove directory failed",
                   std::string("Check that the directory is empty, and ") +
                       "is not the current directory: " + rt::ShownPath(in_folder),
                   rt::Icon::StopSign);
}

// Each unpacked member in the package's order, checked and read by its step, until one fails;
// each step's result in `results`. False when the first step refused the package (its
// recommendation exists), which stops the import with nothing written.
bool ReadMembers(const ImportSteps& steps, const std::string& xml_folder, const std::string& working_folder,
                 PackageImport& import, std::array<int, 7>& results) {
    using rt::MessageBox;
    for (std::size_t k = 0; k < steps.members.size(); ++k) {
        const Member& m = kImportOrder[k];
        const std::string path = xml_folder + "/" + m.file;
        if (!FileExists(path)) {
            MessageBox("提示信息:FileExists error", std::string(m.name) + " Not exist.", rt::Icon::StopSign);
            continue;
        }
        const long parsed = rt::xml::XMLParseFile(path);
        if (parsed != 0) {
            MessageBox(std::string("提示信息:") + m.name + " XMLParseFile error", std::to_string(parsed),
                       rt::Icon::StopSign);
            continue;
        }
        results[k] = steps.members[k](working_folder, import);
        if (k == 0 && results[0] == 0) return false;
        // A member that cannot be read or written stops the import there: it fails whatever
        // follows, and its reason is the one to show.
        if (results[k] != 1) break;
    }
    return true;
}

}  // namespace

std::optional<std::string> ImportPackage(rt::Zip& zip, rt::Transaction& sqlca,
                                         const std::string& working_folder, const ImportSteps& steps) {
    using rt::MessageBox;

    std::string source, source_name;
    const int chosen = rt::GetFileOpenName("请选择文件", source, source_name, "DAT", kFileFilter, "D:\\");
    if (chosen == 0) return std::nullopt;
    const std::string in_folder = working_folder + kTmpIn;
    const std::string archive = in_folder + "/" + kArchiveName;
    // Only the chosen file may be unpacked, never a copy left by an earlier run; the folder is a
    // folder of this program's, never a link to another.
    rt::ClearFolder(in_folder);
    if (!CopyChosenPackage(chosen, source, archive, working_folder)) {
        rt::RemoveFolder(in_folder);
        return std::nullopt;
    }

    // Only the seven members are unpacked, each and all within the size limits; any other entry
    // stays in the archive unread.
    const std::string xml_folder = working_folder + kTmpXml;
    // Whatever an earlier package left (members of a refused one) must not be read as this
    // package's, nor keep the folder from being removed afterwards.
    rt::ClearFolder(xml_folder);
    SetUpUnpacking(zip, archive, xml_folder);
    const long unpacked = zip.unzip();
    // A member that the working folder could not take is the folder's fault, not the package's.
    const std::error_code unwritten = zip.WriteError();
    if (unwritten)
        SayWorkingFolderUnwritable(working_folder, rt::WriteFailureReason(unwritten));
    else if (unpacked != 0)
        MessageBox("提示", "申报文件导入不成功,出错信息为:" + zip.geterrordescription(0, unpacked),
                   rt::Icon::StopSign);

    RemoveCopiedPackage(archive, in_folder);
    PackageImport import{sqlca, {}, {}};
    // A package that could not be unpacked whole (a member refused, named twice, too large, or no
    // archive at all) is not read in part: what was unpacked goes, and the import has failed.
    if (unpacked != 0) {
        rt::RemoveFolder(xml_folder);
        steps.rollback(working_folder, import);
        if (!unwritten) MessageBox("提示信息", "推荐书导入失败!", rt::Icon::StopSign);
        return std::nullopt;
    }

    std::array<int, 7> results{};
    // Refused (the recommendation exists; import_base said so): nothing was written, and the
    // members stay in tmp_xml.
    if (!ReadMembers(steps, xml_folder, working_folder, import, results)) return std::nullopt;

    for (const Member& m : kImportOrder) FileDelete(xml_folder + "/" + m.file);
    if (RemoveDirectory(xml_folder) != 1)
        MessageBox(
            "Remove directory failed",
            std::string("Check that the directory exists, is empty, and ") + "is not the current directory",
            rt::Icon::StopSign);

    bool success = true;
    for (int r : results)
        if (r != 1) success = false;
    if (success && sqlca.Commit() != 0) {
        success = false;
        import.told = sqlca.LossAlreadyTold();
    }
    if (!success) {
        steps.rollback(working_folder, import);
        if (import.told) return std::nullopt;
        if (!import.refusal.empty()) MessageBox("提示信息", import.refusal, rt::Icon::StopSign);
        MessageBox("提示信息", "推荐书导入失败!", rt::Icon::StopSign);
        return std::nullopt;
    }
    return import.key;
}

CopyResult CopyRecommendation(const ExportViews& views, rt::Zip& zip, const std::string& key,
                              rt::Transaction& target, const std::string& working_folder) {
    const auto failed = [](std::string why) { return CopyResult{CopyResult::Failed, std::move(why)}; };
    std::vector<rt::Value> count(1);
    const long found = target.SelectInto("SELECT count(*) FROM j_xm_base WHERE xm_id = ?", {key}, count);
    const std::string unread = target.SQLErrText;
    // Nothing is held on the other database while the package is made.
    target.Rollback();
    if (found != 0) return failed("无法查询推荐书是否已经存在：" + unread);
    if (count[0].AsLong() != 0) return {CopyResult::Skipped, {}};

    const std::string archive = working_folder + "/" + kArchiveName;
    const Packed packed = PackMembers(views, zip, key, working_folder);
    if (packed.result != 0) {
        FileDelete(archive);
        return failed("无法生成申报文件：" + packed.error);
    }
    const std::string xml_folder = working_folder + kTmpXml;
    rt::ClearFolder(xml_folder);
    SetUpUnpacking(zip, archive, xml_folder);
    const long unpacked = zip.unzip();
    FileDelete(archive);
    if (unpacked != 0) {
        rt::RemoveFolder(xml_folder);
        return failed("无法读取申报文件：" + zip.geterrordescription(0, unpacked));
    }

    // As the Import command reads a package: all seven members, then one COMMIT, or nothing.
    PackageImport import{target, {}, {}};
    const std::array<ImportStep, 7> steps = {import_base, import_ry, import_dw, import_xy,
                                             import_hj,   import_yy, import_zl};
    bool read = true;
    for (std::size_t k = 0; k < steps.size() && read; ++k) {
        const Member& m = kImportOrder[k];
        if (!FileExists(xml_folder + "/" + m.file)) {
            import.refusal = std::string("申报文件中没有 ") + m.file;
            read = false;
        } else {
            read = steps[k](working_folder, import) == 1;
        }
    }
    rt::RemoveFolder(xml_folder);
    if (read && target.Commit() == 0) return {CopyResult::Copied, {}};
    const std::string why = !import.refusal.empty() ? import.refusal
                            : !read                 ? std::string("推荐书已经存在")
                                                    : "无法提交：" + target.SQLErrText;
    target.Rollback();
    return failed(why);
}

void SkippingFile(const rt::SkippedFile& file) {
    // A file that the working folder cannot take is no fault of the package: the command says it.
    if (file.reason == rt::SkipReason::Unwritable && file.error) return;
    rt::MessageBox("错误", "不是本软件生成的ZIP申报文件！", rt::Icon::StopSign);
}

}  // namespace laurel::exchange

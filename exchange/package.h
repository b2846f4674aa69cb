#pragma once
// The exchange package: one recommendation as seven XML members in a ZIP archive, written by the
// Export command and read back by the Import command of another installation.
//
// The members' column orders are those of the seven export views; readers take values by position,
// so both sides must keep those orders exactly.

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "runtime/database/transaction.h"
#include "runtime/datawindow/datawindow.h"
#include "runtime/formats/zip.h"

namespace laurel::exchange {

// The members in the order the Import command reads them.
struct Member {
    const char* name;  // "xm_base": file "<name>.xml", root element <name>, rows <name>_row
    const char* file;  // "xm_base.xml"
};
inline constexpr std::array<Member, 7> kImportOrder = {{{"xm_base", "xm_base.xml"},
                                                        {"xm_ry", "xm_ry.xml"},
                                                        {"xm_dw", "xm_dw.xml"},
                                                        {"xm_xy", "xm_xy.xml"},
                                                        {"xm_hj", "xm_hj.xml"},
                                                        {"xm_yy", "xm_yy.xml"},
                                                        {"xm_zl", "xm_zl.xml"}}};

// The archive's name while it is built (in the working folder) and inside the import folder.
inline constexpr const char* kArchiveName = "xm_data.DAT";
// The working folders under the working folder: Export's, and Import's for the package and for its
// members. Each command empties them first and removes them when it ends.
inline constexpr std::array<const char*, 3> kWorkingFolders = {"tmp_out", "tmp_in", "tmp_xml"};
inline constexpr const char* kFileFilter = "DAT Files (*.DAT),*.DAT";

// The export views, one per member.
struct ExportViews {
    rt::DataWindow& dw_ds_base;
    rt::DataWindow& dw_ds_dw;
    rt::DataWindow& dw_ds_ry;
    rt::DataWindow& dw_ds_getaward;
    rt::DataWindow& dw_ds_xy;
    rt::DataWindow& dw_ds_yy;
    rt::DataWindow& dw_ds_zl;
};

// The Export command once the completeness check has passed: writes the recommendation's members
// into an emptied "tmp_out" under the working folder, packs exactly those seven with the zip
// component, reports, asks where to put the package and copies it there. Nothing of it is left in
// the working folder afterwards.
void ExportCheckedRecommendation(const ExportViews& views, rt::Zip& zip, const std::string& current_id,
                                 const std::string& working_folder);

// What one Import command carries from reader to reader. The readers write through the transaction
// and never commit. Rows of the other members must carry the key of the package's project row, so
// that a package can never write into another recommendation.
struct PackageImport {
    rt::Transaction& sqlca;
    std::string key;      // the package's xm_id, once import_base has read it
    std::string refusal;  // why the import cannot go on: the first reader that failed says what and where
    // The failure lost the transaction (a full disk, the connection gone), which has been said in
    // words of its own: the import says nothing more.
    bool told = false;
};

// The seven readers, each of its member in "tmp_xml" under tmp_path: 1 written, -1 refused (the
// reason kept in the import); import_base returns 0 when the recommendation exists already, which
// it says itself. import_rollback undoes whatever they wrote.
int import_base(const std::string& tmp_path, PackageImport& import);
int import_ry(const std::string& tmp_path, PackageImport& import);
int import_dw(const std::string& tmp_path, PackageImport& import);
int import_xy(const std::string& tmp_path, PackageImport& import);
int import_hj(const std::string& tmp_path, PackageImport& import);
int import_yy(const std::string& tmp_path, PackageImport& import);
int import_zl(const std::string& tmp_path, PackageImport& import);
int import_rollback(const std::string& tmp_path, PackageImport& import);

// The readers as the Import command calls them: the seven in kImportOrder, then the rollback.
using ImportStep = std::function<int(const std::string& tmp_path, PackageImport& import)>;
struct ImportSteps {
    std::array<ImportStep, 7> members;
    ImportStep rollback;
};

// The Import command up to the imported recommendation: asks for a package, unpacks its seven
// members into "tmp_xml" under the working folder, reads them into the database and commits, or
// rolls everything back and says why. Its working files go, except after import_base refused the
// package: its members then stay in tmp_xml. The imported recommendation's key, or nothing when
// nothing was imported (every reason has been said).
std::optional<std::string> ImportPackage(rt::Zip& zip, rt::Transaction& sqlca,
                                         const std::string& working_folder, const ImportSteps& steps);

// Copies the recommendation `key` into the database of `target` through the exchange package, as
// an Export here and an Import there would, without a word to the user: the package is made in the
// working folder from the views (which read this database, and write nothing to it), its members
// are read into `target` and committed, all of them or nothing. Skipped when `target` holds a
// recommendation of that key already. The columns that a package does not carry stay empty there.
struct CopyResult {
    enum Result { Copied, Skipped, Failed } result = Failed;
    std::string why;  // Failed: in the words the Import command would use
};
CopyResult CopyRecommendation(const ExportViews& views, rt::Zip& zip, const std::string& key,
                              rt::Transaction& target, const std::string& working_folder);

// The zip component refused an entry: not a package of this program. An entry that the working
// folder could not take, for a reason the system gave, is left to the command to say.
void SkippingFile(const rt::SkippedFile& file);

}  // namespace laurel::exchange

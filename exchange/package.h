#pragma once
// The exchange package: one recommendation as seven XML members in a ZIP archive, written by the
// Export command and read back by the Import command of another installation.
//
// The members' column orders are those of the seven export views; readers take values by position,
// so both sides must keep those orders exactly.

#include <array>
#include <string>

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

// The archive's name while it is built (in the program folder) and inside the import folder.
inline constexpr const char* kArchiveName = "xm_data.DAT";
inline constexpr const char* kFileFilter = "DAT Files (*.DAT),*.DAT";

// The Export command once the completeness check has passed: writes the current recommendation's
// members into an emptied "tmp_out", packs exactly those seven, reports, asks where to put the
// package and copies it there. Nothing of it is left in the working folder afterwards.
void ExportCheckedRecommendation();

// What the seven readers share while one Import command runs: the key of the package's project
// row. Rows of the other members must carry it, so that a package can never write into another
// recommendation. Outside an import each reader takes its rows as they come.
void BeginImport();
void EndImport();
// The key that import_base read during the last import ("" when it read none).
std::string ImportedKey();
// Why the last import could not go on: the first reader that failed says what and where; "" when
// none failed.
std::string ImportRefusal();

}  // namespace laurel::exchange

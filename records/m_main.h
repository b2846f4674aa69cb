#pragma once
// The main window's menu and toolbar, and the commands on whole recommendations: New, Delete,
// Save, Modify, Previous, Next, Exit, the help file and the about window; and the dialog of the
// data source.
//
// Every command item stays enabled for the whole run (only the two system items and the separators
// are greyed); each command decides from the stored state of the current recommendation whether it
// has anything to do. The current recommendation changes only through the recommendation list's
// row change, which the commands provoke by moving the list.

#include <string>
#include <string_view>

#include "check/check.h"
#include "document/documents.h"
#include "document/print_buffer.h"
#include "exchange/package.h"
#include "runtime/ui/controls.h"
#include "runtime/ui/menu.h"
#include "runtime/ui/zip_control.h"
#include "sections/section_area.h"

namespace laurel::records {

using rt::ui::MenuItem;

// What the commands drive on the main window: the section area, and the hidden helpers.
struct CommandTargets {
    sections::SectionArea& sections;
    exchange::ExportViews views;
    rt::ui::DataWindowControl& dw_nomax;  // reads the largest key for New
    rt::ui::StaticText& st_progress;
    rt::ui::ZipControl& ole_1;
};

class m_main : public rt::ui::Menu {
  public:
    explicit m_main(const CommandTargets& targets);
    ~m_main() override;

    // ---- commands ---------------------------------------------------------------------------------
    void data_source_clicked();            // m_数据源
    void exit_clicked();                   // m_退出系统
    void new_recommendation_clicked();     // m_新增推荐书
    void delete_recommendation_clicked();  // m_删除推荐书
    void previous_clicked();               // m_上一份
    void next_clicked();                   // m_下一份
    void modify_clicked();                 // m_修改
    void save_clicked();                   // m_保存
    void help_clicked();                   // m_填表说明
    void about_clicked();                  // m_关于
    void check_clicked();                  // m_完整性检查 (check/)
    void print_clicked();                  // m_打印 (check/)
    void export_clicked();                 // m_导出 (exchange/)
    void import_clicked();                 // m_导入 (exchange/)

    // ---- functions the menu owns ------------------------------------------------------------------
    // The completeness check and its version number, once the pages' pending edits are saved
    // (check/).
    int all_check();
    // Reading an exchange package into the database (exchange/); tmp_path is the working folder.
    int import_base(const std::string& tmp_path, exchange::PackageImport& import) {
        return exchange::import_base(tmp_path, import);
    }
    int import_ry(const std::string& tmp_path, exchange::PackageImport& import) {
        return exchange::import_ry(tmp_path, import);
    }
    int import_dw(const std::string& tmp_path, exchange::PackageImport& import) {
        return exchange::import_dw(tmp_path, import);
    }
    int import_xy(const std::string& tmp_path, exchange::PackageImport& import) {
        return exchange::import_xy(tmp_path, import);
    }
    int import_hj(const std::string& tmp_path, exchange::PackageImport& import) {
        return exchange::import_hj(tmp_path, import);
    }
    int import_yy(const std::string& tmp_path, exchange::PackageImport& import) {
        return exchange::import_yy(tmp_path, import);
    }
    int import_zl(const std::string& tmp_path, exchange::PackageImport& import) {
        return exchange::import_zl(tmp_path, import);
    }
    int import_rollback(const std::string& tmp_path, exchange::PackageImport& import) {
        return exchange::import_rollback(tmp_path, import);
    }

    // ---- the items, in menu order -----------------------------------------------------------------
    MenuItem* system_menu = nullptr;            // m_系统管理s
    MenuItem* system_settings = nullptr;        // m_系统用户
    MenuItem* user_password = nullptr;          // m_用户密码
    MenuItem* data_source = nullptr;            // m_数据源
    MenuItem* system_separator = nullptr;       // m_--------
    MenuItem* exit_system = nullptr;            // m_退出系统
    MenuItem* records_menu = nullptr;           // m_推荐书管理d
    MenuItem* new_recommendation = nullptr;     // m_新增推荐书
    MenuItem* delete_recommendation = nullptr;  // m_删除推荐书
    MenuItem* completeness_check = nullptr;     // m_完整性检查
    MenuItem* print_document = nullptr;         // m_打印
    MenuItem* export_package = nullptr;         // m_导出
    MenuItem* import_package = nullptr;         // m_导入
    MenuItem* edit_menu = nullptr;              // m_编辑
    MenuItem* previous = nullptr;               // m_上一份
    MenuItem* next = nullptr;                   // m_下一份
    MenuItem* modify = nullptr;                 // m_修改
    MenuItem* save = nullptr;                   // m_保存
    MenuItem* help_menu = nullptr;              // m_代码管理
    MenuItem* fill_in_guide = nullptr;          // m_填表说明
    MenuItem* help_separator = nullptr;         // m_1
    MenuItem* about_item = nullptr;             // m_关于

  private:
    // False without a recommendation, or when the pages' pending edits could not be saved.
    bool SavedForReading();
    // One attempt of New to make a recommendation under the key after the largest; the database
    // and the list are left as they were unless it was made.
    struct NewAttempt;
    NewAttempt CreateRecommendation();
    // Its steps, each false when the attempt ends there.
    bool ChooseKey(NewAttempt& a, int thisYear);
    bool StoreProjectRow(NewAttempt& a);
    // Notes the database's reason in the attempt; false.
    static bool Failed(NewAttempt& a);

    CommandTargets targets_;
};

// The pages of the main window's section area that the print buffer and the two documents read.
check::PreparedPages PreparedPagesOf(sections::SectionArea& area);
document::FormPages FormPagesOf(sections::SectionArea& area);
document::ListPages ListPagesOf(sections::SectionArea& area);

// How many keys New tries, one after the other, when another desktop takes each first.
inline constexpr int kNewAttempts = 3;
// Said when they were all taken.
inline constexpr std::string_view kKeyTaken =
    "新推荐书的编号刚刚被其他用户占用，推荐书没有新增。请再新增一次。";

// The help file's name in the program folder.
inline constexpr const char* kHelpFile = "txsm.html";

// The key that follows the largest one: the same first eight characters and the serial plus one.
// Empty when the largest key is not twelve digits or its serial is used up.
std::string NextRecommendationKey(const std::string& largest);

// The key of a database's first recommendation: the year, four random digits (0001 to 9999) and
// the serial 0001.
std::string FirstRecommendationKey(int year);

}  // namespace laurel::records

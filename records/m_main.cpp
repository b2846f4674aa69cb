#include "records/m_main.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

#include "check/print_command.h"
#include "document/documents.h"
#include "document/working_document.h"
#include "records/about.h"
#include "records/data_source.h"
#include "records/globals.h"
#include "records/w_datasource.h"
#include "runtime/platform/path.h"
#include "runtime/ui/application.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/window.h"
#include "sections/globals.h"

namespace laurel::records {

using rt::Value;
using rt::ui::Buttons;
using rt::ui::Icon;

namespace {

bool TwelveDigits(const std::string& key) {
    return key.size() == 12 &&
           std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// One statement through the staging area; true when it ran and, where one row is meant, touched
// exactly one.
bool Run(std::string_view sql, const std::vector<Value>& args, bool oneRow = false) {
    if (sqlsa.Prepare(sqlca, sql) != 0) return false;
    if (sqlsa.Execute(args) != 0) return false;
    return !oneRow || sqlca.SQLNRows == 1;
}

std::optional<std::string> Text(const Value& v) {
    if (v.IsNull()) return std::nullopt;
    return v.ToText();
}

}  // namespace

std::string NextRecommendationKey(const std::string& largest) {
    if (!TwelveDigits(largest)) return {};
    const int serial = std::stoi(largest.substr(8));
    if (serial >= 9999) return {};
    char tail[16];
    std::snprintf(tail, sizeof tail, "%04d", serial + 1);
    return largest.substr(0, 8) + tail;
}

std::string FirstRecommendationKey(int year) {
    if (year < 1 || year > 9999) return {};
    std::random_device device;
    std::mt19937 generator(
        static_cast<std::mt19937::result_type>(std::chrono::system_clock::now().time_since_epoch().count()) ^
        device());
    const int drawn = std::uniform_int_distribution<int>(1, 9999)(generator);
    char key[32];
    std::snprintf(key, sizeof key, "%04d%04d0001", year, drawn);
    return key;
}

// ---- the menu -----------------------------------------------------------------------------------

m_main::m_main(const CommandTargets& targets) : Menu("m_main"), targets_(targets) {
    // Every item has an access key, bracketed after its text as the menus' own titles have theirs.
    system_menu = &Add("m_系统管理s", "系统管理(&S)");
    system_settings = &system_menu->Add("m_系统用户", "系统设置(&T)");
    system_settings->SetEnabled(false);
    user_password = &system_menu->Add("m_用户密码", "用户密码(&P)");
    user_password->SetEnabled(false);
    user_password->SetMicroHelp("在这里可以设置系统密码！");
    data_source = &system_menu->Add("m_数据源", "数据源(&D)");
    data_source->SetMicroHelp("设置程序使用的数据库：本台电脑自己的数据库，或服务器上的数据库。");
    data_source->clicked = AsMenuCommand([this] { data_source_clicked(); });
    system_separator = &system_menu->Add("m_--------", "--------");
    system_separator->SetEnabled(false);
    exit_system = &system_menu->Add("m_退出系统", "退出系统(&X)");
    exit_system->clicked = AsMenuCommand([this] { exit_clicked(); });

    records_menu = &Add("m_推荐书管理d", "推荐书管理(&R)");
    new_recommendation = &records_menu->Add("m_新增推荐书", "新增推荐书(&N)");
    new_recommendation->SetMicroHelp("新增一份空白推荐书。");
    new_recommendation->SetToolbar("document-new", "新增推荐书", 2);
    new_recommendation->clicked = AsMenuCommand([this] { new_recommendation_clicked(); });
    delete_recommendation = &records_menu->Add("m_删除推荐书", "删除推荐书(&D)");
    delete_recommendation->SetMicroHelp("删除一份现有的推荐书。");
    delete_recommendation->SetToolbar("edit-delete", "删除推荐书", 4);
    delete_recommendation->clicked = AsMenuCommand([this] { delete_recommendation_clicked(); });
    // The check, the documents and the exchange package are modules of their own (check/,
    // document/, exchange/): these commands hand them the pages, views and folders they use.
    completeness_check = &records_menu->Add("m_完整性检查", "完整性检查(&C)");
    completeness_check->SetMicroHelp("推荐书完整性检查，查看推荐书版本号。");
    completeness_check->SetToolbar("document-properties", "推荐书完整性检查，查看推荐书版本号", 4);
    completeness_check->clicked = AsMenuCommand([this] { check_clicked(); });
    print_document = &records_menu->Add("m_打印", "生成word版本(&W)");
    print_document->SetMicroHelp("生成word版本的推荐书。");
    print_document->SetToolbar("document-print", "生成word版本推荐书", 4);
    print_document->clicked = AsMenuCommand([this] { print_clicked(); });
    export_package = &records_menu->Add("m_导出", "导出申报文件(&E)");
    export_package->SetMicroHelp("导出申报的推荐书压缩文件。");
    export_package->SetToolbar("document-send", "导出申报文件", 4);
    export_package->clicked = AsMenuCommand([this] { export_clicked(); });
    import_package = &records_menu->Add("m_导入", "导入申报文件(&I)");
    import_package->SetMicroHelp("导入申报的推荐书压缩文件。");
    import_package->SetToolbar("document-open", "导入申报文件", 4);
    import_package->clicked = AsMenuCommand([this] { import_clicked(); });

    edit_menu = &Add("m_编辑", "编辑(&E)");
    previous = &edit_menu->Add("m_上一份", "上一份(&P)");
    previous->SetToolbar("go-previous", "上一份推荐书", 4);
    previous->clicked = AsMenuCommand([this] { previous_clicked(); });
    next = &edit_menu->Add("m_下一份", "下一份(&N)");
    next->SetToolbar("go-next", "下一份推荐书", 4);
    next->clicked = AsMenuCommand([this] { next_clicked(); });
    modify = &edit_menu->Add("m_修改", "修改(&M)\tCtrl+M");
    modify->SetShortcut("Ctrl+M");
    modify->SetToolbar("document-edit", "修改推荐书", 4);
    modify->clicked = AsMenuCommand([this] { modify_clicked(); });
    save = &edit_menu->Add("m_保存", "保存(&S)\tCtrl+S");
    save->SetShortcut("Ctrl+S");
    save->SetToolbar("document-save", "保存", 4);
    save->clicked = AsMenuCommand([this] { save_clicked(); });

    help_menu = &Add("m_代码管理", "帮助(&H)");
    fill_in_guide = &help_menu->Add("m_填表说明", "填表说明(&G)");
    fill_in_guide->clicked = AsMenuCommand([this] { help_clicked(); });
    help_separator = &help_menu->Add("m_1", "--------");
    help_separator->SetEnabled(false);
    about_item = &help_menu->Add("m_关于", "关于(&A)");
    about_item->clicked = AsMenuCommand([this] { about_clicked(); });
}

m_main::~m_main() = default;

// ---- the data source ------------------------------------------------------------------------------

void m_main::data_source_clicked() {
    rt::ui::Window* frame = ParentWindow();
    w_datasource window(targets_);
    rt::ui::OpenModal(window, frame);
    if (!window.changed) return;
    if (window.restart) {
        exit_clicked();
        return;
    }
    // Until the program starts again it works where it did: the line says both.
    if (frame != nullptr)
        frame->SetStatusField(DataSourceStatus(DataSourceInUse(), sqlca.Connected()) + "（重新启动后：" +
                              DataSourceStatus(*window.changed, true) + "）");
}

// ---- Exit, Previous, Next -------------------------------------------------------------------------

void m_main::exit_clicked() {
    // Closing the window destroys this menu: nothing of it may be touched afterwards.
    if (rt::ui::Window* window = ParentWindow()) rt::ui::Close(*window);
}

// A list that could not be read is read again first: its first recommendation is where the
// step ends.
void m_main::previous_clicked() {
    if (targets_.sections.relist()) return;
    targets_.sections.dw_no.ScrollPriorRow();
}

void m_main::next_clicked() {
    if (targets_.sections.relist()) return;
    targets_.sections.dw_no.ScrollNextRow();
}

// ---- New --------------------------------------------------------------------------------------------

// What one attempt of New came to.
struct m_main::NewAttempt {
    enum { Created, Taken, Failed } result = Failed;
    bool first = false;  // the database's first recommendation
    std::string key;
    long row = 0;        // the list's new row, when the list has one
    std::string reason;  // the database's, when a statement failed
    bool told = false;   // the failure lost the transaction, and that has been said
};

namespace {

// Whether a recommendation is stored under the key; nothing when the database cannot say.
std::optional<bool> KeyInUse(const std::string& key) {
    std::vector<Value> count(1);
    if (sqlca.SelectInto("select count(*) from j_xm_base where xm_id = ?", {key}, count) != 0)
        return std::nullopt;
    return count[0].AsLong() != 0;
}

// The placeholder rows of a new recommendation: the project's defaults, one contributor, one unit,
// and the benefit of the three years before `thisYear`. True when every statement stored its row.
bool StorePlaceholders(const std::string& key, int thisYear) {
    if (!Run("UPDATE j_xm_base set mj_secrcode = '4', xm_fixsecrdate = '0001-01-01', xm_startdate = "
             "'0001-01-01', xm_finishdate = '0001-01-01', xm_zongtz = 0.0, xm_huis = 0, "
             "xm_guid='FFFFFFFFFFFFFFFF' where xm_id = ?",
             {key}, true))
        return false;
    if (!Run("INSERT INTO j_ry_finish ( xm_id,   ry_no,  ry_birthday,  gg_date,  ry_grdtime,  ry_start, "
             "ry_finish,  ry_anum,  ry_atm  )  VALUES (?, 1, '0001-01-01', '0001-01-01', '0001-01-01', "
             "'0001-01-01', '0001-01-01', 0, '0001-01-01')",
             {key}, true))
        return false;
    if (!Run("INSERT INTO j_dw_finish ( xm_id,   dw_no, dw_ardbkprnnum, dw_ardbkprntm  ) VALUES ( ?,  1 , "
             "0.0 ,'0001-01-01' )",
             {key}, true))
        return false;

    // The benefit of the three years before this one, direct ('1') then indirect ('0'), the year
    // as its digits. The key is bound like every other value, never pasted into the text.
    for (const char* kind : {"1", "0"}) {
        const std::string insert =
            std::string(
                "INSERT INTO j_xy_saving( xm_id, xy_year, xy_addvalue, xy_addinterest, xy_addtax, "
                "xy_getfrgexch, xy_savegross, xy_zhijorjianj, xk_bz ) VALUES (?, ?, 0, 0, 0, 0, 0, '") +
            kind + "', null)";
        for (int back = 1; back <= 3; ++back) {
            if (!Run(insert, {key, std::to_string(thisYear - back)}, true)) return false;
        }
    }
    return true;
}

}  // namespace

bool m_main::Failed(NewAttempt& a) {
    a.reason = sections::DatabaseReason();
    a.told = sqlca.LossAlreadyTold();
    return false;
}

bool m_main::ChooseKey(NewAttempt& a, int thisYear) {
    targets_.dw_nomax.SetTransObject(sqlca);
    if (targets_.dw_nomax.Retrieve() != 1) {
        // The view has said why itself, unless the loss of the transaction said it.
        a.told = sqlca.LossAlreadyTold();
        return false;
    }
    const std::optional<std::string> largest = targets_.dw_nomax.GetItemString(1, 1);
    a.first = !largest.has_value();
    a.key = a.first ? FirstRecommendationKey(thisYear) : NextRecommendationKey(*largest);
    if (!TwelveDigits(a.key)) return false;

    // A package's key can stand anywhere: never take a key that is in use already.
    const std::optional<bool> used = KeyInUse(a.key);
    if (!used) return Failed(a);
    if (*used) a.result = NewAttempt::Taken;
    return !*used;
}

// The project row: where another desktop has just made one under the same key, this is the
// statement that finds it so.
bool m_main::StoreProjectRow(NewAttempt& a) {
    sections::SectionArea& area = targets_.sections;
    bool stored = false;
    if (a.first) {
        stored = Run("INSERT INTO j_xm_base ( xm_id, xm_xg )  VALUES (?, '0' )", {a.key}, true);
    } else {
        a.row = area.dw_no.InsertRow(0);
        if (a.row < 1) return false;
        if (area.dw_no.SetItem(a.row, 3, a.key) != 1 || area.dw_no.SetItem(a.row, 4, "0") != 1) return false;
        // The list keeps its flags until the COMMIT: a rolled-back creation must not leave a row
        // behind that looks stored. Its failure is told below, in the command's words.
        const sections::QuietDbError quiet(area.dw_no);
        stored = area.dw_no.Update(true, false) == 1;
    }
    if (stored) return true;
    Failed(a);
    sqlca.Rollback();
    // Whether the key was free when it was read and is taken now: another desktop made a
    // recommendation under it in between. A database that has lost the transaction cannot be
    // asked either.
    if (!a.told && KeyInUse(a.key).value_or(false)) a.result = NewAttempt::Taken;
    return false;
}

m_main::NewAttempt m_main::CreateRecommendation() {
    NewAttempt a;
    const int thisYear = rt::Date::Today().year;
    const bool created = ChooseKey(a, thisYear) && StoreProjectRow(a) &&
                         (StorePlaceholders(a.key, thisYear) || Failed(a)) &&
                         (sqlca.Commit() == 0 || Failed(a));
    if (created) {
        a.result = NewAttempt::Created;
        return a;
    }
    // Nothing of the new recommendation stays, neither in the database nor in the list.
    sqlca.Rollback();
    if (a.row > 0) targets_.sections.dw_no.DeleteRow(a.row);
    a.row = 0;
    return a;
}

void m_main::new_recommendation_clicked() {
    sections::SectionArea& area = targets_.sections;

    // A list that could not be read at start-up is read now: the new recommendation joins the
    // others instead of standing alone in the list.
    if (!area.listread && (sqlca.Connected() || sqlca.Awaiting()) && area.retrievelist() == -1) return;
    // The recommendation on show is left: its edits are stored, or dropped, before anything of the
    // new one is written, so that a save that fails leaves no new recommendation behind.
    if (!area.offersave()) return;

    NewAttempt made;
    for (int attempt = 1;; ++attempt) {
        made = CreateRecommendation();
        if (made.result == NewAttempt::Created) break;
        // The current recommendation is left as it was.
        if (made.result == NewAttempt::Failed) {
            if (!made.told) sections::SayFailure(made.reason, "提示信息", "系统意外，新增推荐书失败！");
            return;
        }
        // Another desktop made a recommendation under the key read: the next one is free, unless
        // others keep making them as fast.
        if (attempt == kNewAttempts) {
            rt::ui::MessageBox("提示信息", std::string(kKeyTaken), Icon::Exclamation);
            return;
        }
    }

    if (made.first) {
        // Read anew, the list's first row change makes the new recommendation current. Should the
        // list have held rows already, move to the new one explicitly. A list that cannot be read
        // says so; the recommendation is stored all the same.
        if (area.retrievelist() == -1) return;
        if (current_id != made.key) {
            const long row = area.ListRowOf(made.key);
            if (row > 0 && row == area.dw_no.GetRow())
                area.dw_no.TriggerEvent("rowfocuschanged");
            else if (row > 0)
                area.dw_no.SetRow(row);
        }
        return;
    }

    area.dw_no.ResetUpdate();
    area.dw_no.SetRow(made.row);
    area.dw_no.SetColumn(1);
    area.dw_no.SetFocus();
}

// ---- Delete -----------------------------------------------------------------------------------------

void m_main::delete_recommendation_clicked() {
    sections::SectionArea& area = targets_.sections;

    if (area.dw_no.RowCount() <= 0) return;

    const int answer =
        rt::ui::MessageBox("提示信息：", "真的要删除吗？", Icon::Question, Buttons::OKCancel, 2);
    if (answer != 1) return;

    const auto fail = [] {
        const std::string reason = sections::DatabaseReason();
        sqlca.Rollback();
        sections::SayFailure(reason, "提示信息", "系统意外，删除推荐书失败！");
    };

    // The statements go by current_id and the list row by its position: they must name the same
    // recommendation.
    const long old_row = area.dw_no.GetRow();
    if (old_row < 1 || area.dw_no.GetItemString(old_row, "xm_id") != std::optional<std::string>(current_id)) {
        rt::ui::MessageBox("提示信息", "系统意外，删除推荐书失败！", rt::ui::Icon::StopSign);
        return;
    }

    for (const char* sql :
         {"delete from j_ry_finish where xm_id = ?", "delete from j_dw_finish where xm_id = ?",
          "delete from j_xy_saving where xm_id = ?", "delete from j_JX_GETAWARD where xm_id = ?",
          "delete from J_yy_APP where xm_id = ?", "delete from J_ZL_PATENT where xm_id = ?",
          "delete from j_xm_base where xm_id = ?"}) {
        if (!Run(sql, {current_id})) {
            fail();
            return;
        }
    }
    if (sqlca.Commit() != 0) {
        fail();
        return;
    }

    // What Print kept of it can be made again from the database no more: it goes too, and the user
    // hears where it was.
    const std::vector<std::string> kept = document::RemoveKeptDocuments(WorkingPlace(), current_id);
    area.dropfromlist(current_id);
    if (!kept.empty()) {
        std::string where;
        for (const std::string& path : kept) where += "\n" + rt::ShownPath(path);
        rt::ui::MessageBox("提示信息", "为这份推荐书保留的未交付的word版本也已删除：" + where);
    }
}

// ---- Save and Modify --------------------------------------------------------------------------------

void m_main::save_clicked() {
    sections::SectionArea& area = targets_.sections;

    area.acceptdw();
    if (current_id == kNoRecommendation) return;

    // A state that cannot be read (a busy or failing database, a recommendation deleted elsewhere)
    // saves nothing, and says so: the edits stay pending.
    std::vector<Value> into(1);
    const long found = sqlca.SelectInto("select xm_xg from j_xm_base where xm_id =?", {current_id}, into);
    if (found == -1) {
        const std::string reason = sections::DatabaseReason();
        sqlca.Rollback();
        sections::SayFailure(reason, "提示信息", "保存失败！");
        return;
    }
    if (found != 0 || Text(into[0]) != std::optional<std::string>("0")) {
        // Nothing to do for a recommendation this desktop knows to be saved. One that its list still
        // shows as being edited was saved, or deleted, on another desktop: that is said, and the
        // pages become read-only with what they hold.
        const long row = area.ListRowOf(current_id);
        const bool held_elsewhere =
            row > 0 && area.dw_no.GetItemString(row, "xm_xg") == std::optional<std::string>("0");
        if (held_elsewhere && area.holdforwriting() == sections::SectionArea::Hold::Failed) {
            const std::string reason = sections::DatabaseReason();
            sqlca.Rollback();
            sections::SayFailure(reason, "提示信息", "保存失败！");
            return;
        }
        sqlca.Rollback();
        return;
    }

    const auto pages = area.Pages();
    const sections::SectionArea::Stored stored = area.storepages({pages.begin(), pages.end()}, [] {
        return Run("UPDATE j_xm_base  SET xm_xg = '1' WHERE xm_id = ? ", {current_id}, true);
    });
    if (stored == sections::SectionArea::Stored::Refused) return;
    if (stored == sections::SectionArea::Stored::Failed) {
        // Every page keeps its edits pending, so that the next Save writes them all again.
        area.saystorefailure("提示信息", "保存失败！");
        return;
    }

    rt::ui::MessageBox("提示信息", "保存成功！");
    const long row = area.dw_no.GetRow();
    // What is saved is committed: a list that cannot be read again (the database has said why)
    // keeps the rows it had, the same people and units, and the pages still become read-only.
    if (current_page == sections::kContributorsSection) area.dw_no72.Retrieve({current_id});
    if (current_page == sections::kUnitsSection) area.dw_no82.Retrieve({current_id});
    area.dw_no.ReselectRow(row);
    area.disabledw();
}

void m_main::modify_clicked() {
    sections::SectionArea& area = targets_.sections;

    if (current_id == kNoRecommendation) return;
    const auto fail = [] {
        const std::string reason = sections::DatabaseReason();
        sqlca.Rollback();
        sections::SayFailure(reason, "提示信息", "系统意外，修改推荐书失败！");
    };

    std::vector<Value> into(2);
    if (sqlca.SelectInto("select xm_guid , xm_xg from j_xm_base where xm_id =?", {current_id}, into) != 0) {
        fail();
        return;
    }
    const std::optional<std::string> version = Text(into[0]);
    const std::optional<std::string> saved_flag = Text(into[1]);
    if (saved_flag == std::optional<std::string>("0")) {
        // Opened again on another desktop while this one shows it saved: the pages follow what is
        // stored, without a word, as nothing is written.
        if (const long row = area.ListRowOf(current_id);
            row > 0 && area.dw_no.GetItemString(row, "xm_xg") != saved_flag) {
            area.dw_no.ReselectRow(row);
            area.enabledw();
        }
        return;
    }
    if (saved_flag != std::optional<std::string>("1")) return;

    std::string sql = "update j_xm_base set xm_xg ='0' where xm_id =?";
    if (version && *version != "FFFFFFFFFFFFFFFF") {
        const int answer = rt::ui::MessageBox("提示信息", "你要重新编辑版本号为" + *version + "的推荐书吗?",
                                              Icon::Question, Buttons::YesNo, 1);
        if (answer != 1) return;
        sql = "update j_xm_base set xm_guid ='FFFFFFFFFFFFFFFF' , xm_xg ='0' where xm_id =?";
    }

    sqlca.Execute(sql, {current_id});
    if (sqlca.SQLCode != 0 || sqlca.SQLNRows != 1 || sqlca.Commit() != 0) {
        fail();
        return;
    }
    const long row = area.dw_no.GetRow();
    area.dw_no.ReselectRow(row);
    area.enabledw();
}

// ---- the check, the print buffer and the documents ---------------------------------------------

namespace {

check::CheckedPages CheckedPagesOf(sections::SectionArea& area) {
    return {area.dw_no1, area.dw_no2, area.dw_no3, area.dw_no4, area.dw_no71, area.dw_no};
}

// A recommendation with its version number is saved: from then on, here as on a switch to it, only
// Modify opens its pages again. The list's copy of the state is read afresh, since the number may
// have been made on another desktop.
void ProtectVersioned(sections::SectionArea& area) {
    if (const long row = area.ListRowOf(current_id); row > 0) {
        area.dw_no.ReselectRow(row);
        if (area.dw_no.GetItemString(row, "xm_xg") != std::optional<std::string>("0")) area.disabledw();
    }
}

}  // namespace

check::PreparedPages PreparedPagesOf(sections::SectionArea& area) {
    return {area.dw_no1,   area.dw_no2,  area.dw_no3,  area.dw_no4,  area.dw_no512,
            area.dw_no522, area.dw_no53, area.dw_no71, area.dw_no92, area.dw_no94};
}

document::FormPages FormPagesOf(sections::SectionArea& area) {
    return {area.dw_no51, area.dw_no52, area.dw_no6};
}

document::ListPages ListPagesOf(sections::SectionArea& area) {
    return {area.dw_no72, area.dw_no82, area.dw_no91, area.dw_no93};
}

bool m_main::SavedForReading() {
    if (current_id == kNoRecommendation) return false;
    sections::SectionArea& area = targets_.sections;
    // The rules and the documents read every page afresh: what the user typed and has not saved yet
    // is saved first, as leaving its section saves it, or the command stops with the edits kept.
    return area.savepages(area.pendingpages()) == 1;
}

int m_main::all_check() {
    if (!SavedForReading()) return 0;
    const int checked = check::all_check(CheckedPagesOf(targets_.sections), sqlca, current_id);
    if (checked == 1) ProtectVersioned(targets_.sections);
    return checked;
}

void m_main::check_clicked() {
    all_check();
}

void m_main::print_clicked() {
    if (!SavedForReading()) return;
    sections::SectionArea& area = targets_.sections;
    rt::ui::StaticText& progress = targets_.st_progress;
    check::RunPrintCommand(
        {[&progress] {
             progress.Show();
             // The notice must be on screen before the work it announces starts.
             progress.Repaint();
         },
         [&progress] { progress.Hide(); }},
        {CheckedPagesOf(area), PreparedPagesOf(area), FormPagesOf(area), ListPagesOf(area)},
        {sqlca, current_id, current_path, WorkingFolder(), WorkingPlace()},
        // The check at its head may have made the version number, whether or not the document
        // follows. Seen to before the document is made: once it has been handed over, nothing of
        // the command is left to fail, not even on a connection that went while the user chose
        // where to put it.
        [&area] { ProtectVersioned(area); });
}

// ---- the exchange package ----------------------------------------------------------------------

void m_main::export_clicked() {
    if (all_check() != 1) return;
    exchange::ExportCheckedRecommendation(targets_.views, targets_.ole_1.Object(), current_id,
                                          WorkingFolder());
}

void m_main::import_clicked() {
    using Reader = int (m_main::*)(const std::string&, exchange::PackageImport&);
    const auto step = [this](Reader reader) -> exchange::ImportStep {
        return [this, reader](const std::string& tmp_path, exchange::PackageImport& import) {
            return (this->*reader)(tmp_path, import);
        };
    };
    const std::optional<std::string> key = exchange::ImportPackage(
        targets_.ole_1.Object(), sqlca, WorkingFolder(),
        {{step(&m_main::import_base), step(&m_main::import_ry), step(&m_main::import_dw),
          step(&m_main::import_xy), step(&m_main::import_hj), step(&m_main::import_yy),
          step(&m_main::import_zl)},
         step(&m_main::import_rollback)});
    if (!key) return;

    // The imported recommendation is found by its key: a recommendation number may occur twice.
    sections::SectionArea& area = targets_.sections;
    rt::ui::DataWindowControl& list = area.dw_no;
    const long old_row = list.GetRow();
    // The recommendation is stored; a list that cannot be read says so, and shows it later.
    area.retrievelist();
    const long row = area.ListRowOf(*key);
    const long after_retrieve = list.GetRow();
    list.SetRow(row);
    list.SetColumn(1);
    list.SetFocus();
    // When the row is current already, no move runs the row change: raise it, unless the list was
    // empty before, in which case the retrieve itself ran it for this row.
    if (row > 0 && row == after_retrieve && old_row != 0) list.TriggerEvent("rowfocuschanged");
    rt::ui::MessageBox("提示信息", "成功导入一份推荐书!");
}

// ---- help and about ---------------------------------------------------------------------------------

void m_main::help_clicked() {
    // The program folder, never the working directory; a missing file is the viewer's to report.
    const std::string folder = current_path.empty() ? rt::ui::Application::ProgramFolder() : current_path;
    rt::ui::ShowHelp(folder + "/" + kHelpFile);
}

void m_main::about_clicked() {
    about window;
    rt::ui::OpenModal(window, ParentWindow());
}

}  // namespace laurel::records

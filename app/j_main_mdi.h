#pragma once
// The main window: the section tree and the recommendation list on the left, the page area with
// one section page at a time on the right, the banner across the top, and the hidden export views.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ui/controls.h"
#include "runtime/ui/datawindow_control.h"
#include "runtime/ui/treeview.h"
#include "runtime/ui/window.h"
#include "runtime/ui/zip_control.h"
#include "sections/section_table.h"

namespace laurel::win {

using rt::ui::CommandButton;
using rt::ui::ComponentHost;
using rt::ui::DataWindowControl;
using rt::ui::GroupBox;
using rt::ui::MdiClient;
using rt::ui::Picture;
using rt::ui::StaticHyperlink;
using rt::ui::StaticText;
using rt::ui::TreeView;
using rt::ui::ZipControl;

// Whether a page holds changes not stored yet: changed, new or removed rows, or text typed into a
// field and not accepted.
bool HoldsChanges(const DataWindowControl& page);

class j_main_mdi : public rt::ui::Window {
  public:
    j_main_mdi();
    ~j_main_mdi() override;

    // ---- window events --------------------------------------------------------------------------
    void create() override;
    void open() override;
    long closequery() override;
    void destroy() override;

    // ---- page group -----------------------------------------------------------------------------
    int hidedw();
    int acceptdw();
    int updatedw();
    int enabledw();
    int disabledw();
    int cb_page_show();
    std::string modifieddw();
    // Clears the change flags of every page once the caller has committed what updatedw wrote.
    int resetdw();
    // Saves the pages as leaving a section saves them: AcceptText and Update of each, then COMMIT;
    // or ROLLBACK, "先前的页面保存失败！" and every edit kept pending. 1 saved, 0 failed.
    int savepages(const std::vector<DataWindowControl*>& pages);
    // The pages that hold changes not stored yet, the page on show first: what a command that reads
    // the recommendation afresh must save before it reads.
    std::vector<DataWindowControl*> pendingpages();
    // Reads a page for the current recommendation, unless it holds changes not stored yet: those
    // stay on show until a save stores them. A page that cannot be read is emptied, so that it
    // never shows rows of another recommendation. Returns the row count, 0 when kept, -1 on failure.
    long retrievepage(DataWindowControl& page, const std::vector<rt::Value>& args);
    // Reads the recommendation list; a list that cannot be read says so in one message
    // ("读取推荐书列表失败！", unless `say` is false: the caller says it) and keeps the rows it
    // had. Returns the row count or -1.
    long retrievelist(bool say = true);
    // Whether the list holds what the database held when it was last read: false until it has
    // been read, and after a read that failed. A command that adds to the list reads it first.
    bool listread = false;

    // The 18 pages in their fixed order.
    std::array<DataWindowControl*, 18> Pages() const;
    // The control of the page area that the section table names.
    rt::ui::Control& AreaControlOf(sections::AreaControl control) const;
    DataWindowControl& PageOf(sections::AreaControl page) const;

    // ---- control events -------------------------------------------------------------------------
    long tv_1_selectionchanging(long oldhandle, long newhandle);
    void page_display();
    void cb_n_clicked();
    void cb_p_clicked();
    long dw_no_rowfocuschanged(long currentrow);

    // List sections: insert, delete and save of the list rows.
    void cb_page_insert_clicked();
    void cb_page_delete_clicked();
    void cb_page_save_clicked();
    // Section editing: list clicks, list-to-detail, field checks and hints, the subject picker.
    long list_clicked(long xpos, long ypos, long row, std::string_view column);
    long dw_no72_rowfocuschanged(long currentrow);
    long dw_no82_rowfocuschanged(long currentrow);
    long dw_no1_itemchanged(long row, std::string_view column, std::string_view data);
    void dw_no1_doubleclicked(long xpos, long ypos, long row, std::string_view column);
    void dw_no1_itemfocuschanged(long row, std::string_view column);
    void dw_no71_itemfocuschanged(long row, std::string_view column);
    void dw_no81_itemfocuschanged(long row, std::string_view column);
    // The zip control refused a file of a packing or an unpacking (exchange/).
    void ole_1_skippingfile(const rt::SkippedFile& file);

    // ---- controls, in creation order -------------------------------------------------------------
    MdiClient* mdi_1 = nullptr;
    StaticHyperlink* st_10_3 = nullptr;
    StaticHyperlink* st_10_2 = nullptr;
    StaticText* st_progress = nullptr;
    DataWindowControl* dw_ds_zl = nullptr;
    DataWindowControl* dw_ds_yy = nullptr;
    DataWindowControl* dw_ds_xy = nullptr;
    DataWindowControl* dw_ds_ry = nullptr;
    DataWindowControl* dw_ds_getaward = nullptr;
    DataWindowControl* dw_ds_dw = nullptr;
    StaticText* st_10_8 = nullptr;
    StaticText* st_10_7 = nullptr;
    StaticText* st_10_6 = nullptr;
    StaticText* st_10_5 = nullptr;
    StaticText* st_10_4 = nullptr;
    StaticText* st_10_1 = nullptr;
    DataWindowControl* dw_ds_base = nullptr;
    ZipControl* ole_1 = nullptr;
    StaticText* st_sub = nullptr;
    StaticText* st_blank = nullptr;
    CommandButton* cb_page_save = nullptr;
    CommandButton* cb_page_delete = nullptr;
    CommandButton* cb_page_insert = nullptr;
    DataWindowControl* dw_nomax = nullptr;
    DataWindowControl* dw_no94 = nullptr;
    DataWindowControl* dw_no93 = nullptr;
    DataWindowControl* dw_no92 = nullptr;
    DataWindowControl* dw_no91 = nullptr;
    DataWindowControl* dw_no82 = nullptr;
    DataWindowControl* dw_no6 = nullptr;
    DataWindowControl* dw_no53 = nullptr;
    DataWindowControl* dw_no522 = nullptr;
    DataWindowControl* dw_no52 = nullptr;
    DataWindowControl* dw_no512 = nullptr;
    DataWindowControl* dw_no51 = nullptr;
    DataWindowControl* dw_no81 = nullptr;
    DataWindowControl* dw_no71 = nullptr;
    DataWindowControl* dw_no72 = nullptr;
    DataWindowControl* dw_no4 = nullptr;
    DataWindowControl* dw_no3 = nullptr;
    DataWindowControl* dw_no2 = nullptr;
    CommandButton* cb_n = nullptr;
    CommandButton* cb_p = nullptr;
    StaticText* st_2 = nullptr;
    DataWindowControl* dw_no1 = nullptr;
    StaticHyperlink* shl_1 = nullptr;
    Picture* p_1 = nullptr;
    StaticText* st_1 = nullptr;
    DataWindowControl* dw_no = nullptr;
    TreeView* tv_1 = nullptr;
    GroupBox* gb_1 = nullptr;
    GroupBox* gb_2 = nullptr;

  private:
    void CreateControls();
    void AttachHandlers();
};

}  // namespace laurel::win

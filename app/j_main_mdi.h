#pragma once
// The main window: the section tree and the recommendation list on the left, the page area with
// one section page at a time on the right, the banner across the top, and the hidden export views.

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/ui/controls.h"
#include "runtime/ui/datawindow_control.h"
#include "runtime/ui/treeview.h"
#include "runtime/ui/window.h"
#include "runtime/ui/zip_control.h"
#include "sections/section_area.h"

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

class j_main_mdi : public rt::ui::Window {
  public:
    j_main_mdi();
    ~j_main_mdi() override;

    // ---- window events --------------------------------------------------------------------------
    void create() override;
    void open() override;
    long closequery() override;
    void destroy() override;

    // ---- page group: the section area's (sections/) ----------------------------------------------
    int hidedw() { return sections_->hidedw(); }
    int acceptdw() { return sections_->acceptdw(); }
    int updatedw() { return sections_->updatedw(); }
    int enabledw() { return sections_->enabledw(); }
    int disabledw() { return sections_->disabledw(); }
    int cb_page_show() { return sections_->cb_page_show(); }
    std::string modifieddw() { return sections_->modifieddw(); }

    // The 18 pages in their fixed order.
    std::array<DataWindowControl*, 18> Pages() const;
    // What the section tree, the list and the pages do; it lives from create to destroy.
    sections::SectionArea& Sections() const { return *sections_; }

    // ---- control events: the section area's, but for the zip control's (exchange/) ---------------
    long tv_1_selectionchanging(long oldhandle, long newhandle) {
        return sections_->tv_1_selectionchanging(oldhandle, newhandle);
    }
    void cb_n_clicked() { sections_->cb_n_clicked(); }
    void cb_p_clicked() { sections_->cb_p_clicked(); }
    long dw_no_rowfocuschanged(long currentrow) { return sections_->dw_no_rowfocuschanged(currentrow); }
    void cb_page_insert_clicked() { sections_->cb_page_insert_clicked(); }
    void cb_page_delete_clicked() { sections_->cb_page_delete_clicked(); }
    void cb_page_save_clicked() { sections_->cb_page_save_clicked(); }
    long list_clicked(long xpos, long ypos, long row, std::string_view column) {
        return sections_->list_clicked(xpos, ypos, row, column);
    }
    long dw_no_clicked(long xpos, long ypos, long row, std::string_view column) {
        return sections_->dw_no_clicked(xpos, ypos, row, column);
    }
    long dw_no72_rowfocuschanged(long currentrow) { return sections_->dw_no72_rowfocuschanged(currentrow); }
    long dw_no82_rowfocuschanged(long currentrow) { return sections_->dw_no82_rowfocuschanged(currentrow); }
    long dw_no1_itemchanged(long row, std::string_view column, std::string_view data) {
        return sections_->dw_no1_itemchanged(row, column, data);
    }
    void dw_no1_doubleclicked(long xpos, long ypos, long row, std::string_view column) {
        sections_->dw_no1_doubleclicked(xpos, ypos, row, column);
    }
    void dw_no1_itemfocuschanged(long row, std::string_view column) {
        sections_->dw_no1_itemfocuschanged(row, column);
    }
    void dw_no71_itemfocuschanged(long row, std::string_view column) {
        sections_->dw_no71_itemfocuschanged(row, column);
    }
    void dw_no81_itemfocuschanged(long row, std::string_view column) {
        sections_->dw_no81_itemfocuschanged(row, column);
    }
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

    std::unique_ptr<sections::SectionArea> sections_;
};

}  // namespace laurel::win

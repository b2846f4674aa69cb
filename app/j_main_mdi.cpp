#include "app/j_main_mdi.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "app/globals.h"
#include "document/working_document.h"
#include "exchange/package.h"
#include "records/data_source.h"
#include "records/m_main.h"
#include "runtime/platform/path.h"
#include "runtime/ui/application.h"
#include "runtime/ui/dialogs.h"
#include "sections/popup.h"
#include "sections/section_area.h"

namespace laurel::win {

using rt::ui::Border;
using rt::ui::Font;
using rt::ui::Rgb;
using rt::ui::SystemColor;
using rt::ui::TextAlign;

namespace {

const Font kSong12{"宋体", 12};
const Font kArial11{"Arial", 11};
const Font kArial12{"Arial", 12};
const Rgb kWhite{255, 255, 255};

// After destroy nothing may reach a control through the window any more.
void ForgetControls(j_main_mdi& w) {
    auto forget = [](auto*&... control) { ((control = nullptr), ...); };
    forget(w.mdi_1, w.st_10_3, w.st_10_2, w.st_progress, w.dw_ds_zl, w.dw_ds_yy, w.dw_ds_xy, w.dw_ds_ry,
           w.dw_ds_getaward, w.dw_ds_dw, w.st_10_8, w.st_10_7, w.st_10_6, w.st_10_5, w.st_10_4, w.st_10_1,
           w.dw_ds_base, w.ole_1, w.st_sub, w.st_blank, w.cb_page_save, w.cb_page_delete, w.cb_page_insert,
           w.dw_nomax, w.dw_no94, w.dw_no93, w.dw_no92, w.dw_no91, w.dw_no82, w.dw_no6, w.dw_no53, w.dw_no522,
           w.dw_no52, w.dw_no512, w.dw_no51, w.dw_no81, w.dw_no71, w.dw_no72, w.dw_no4, w.dw_no3, w.dw_no2,
           w.cb_n, w.cb_p, w.st_2, w.dw_no1, w.shl_1, w.p_1, w.st_1, w.dw_no, w.tv_1, w.gb_1, w.gb_2);
}

// Said once for each transaction lost (the connection to the database went, the database's disk
// is full or failing, the user gave up waiting): the command that found it so did nothing, and
// whatever the user typed (`typed`: the pages hold edits not stored yet) is still pending, for
// the next save to store.
void SayTransactionLost(rt::Transaction::Loss loss, bool typed) {
    using Loss = rt::Transaction::Loss;
    const char* what = "";
    const char* then = "请再操作一次。";
    switch (loss) {
        case Loss::ConnectionRestored:
            what = "与数据库的连接曾经中断，现已恢复。";
            break;
        case Loss::ConnectionDown:
            what = "与数据库的连接已经中断，暂时无法恢复。";
            then = "请稍后再操作一次。";
            break;
        case Loss::GivenUp:
            what = "已放弃等待数据库应答。";
            then = "请稍后再操作一次。";
            break;
        case Loss::DiskFull:
            what = "数据库所在的磁盘已满，无法写入。";
            then = "请腾出磁盘空间后再操作一次。";
            break;
        case Loss::DiskFailed:
            what = "数据库文件读写出错（磁盘故障，或文件暂时不能写入）。";
            then = "请排除故障后再操作一次。";
            break;
        case Loss::FileGone:
            what = "数据库文件已被删除或移走，无法写入。";
            then = "请把数据库文件放回原处后再操作一次。";
            break;
        case Loss::FileReadOnly:
            what = "数据库文件或它所在的文件夹现在不能写入。";
            then = "请恢复写入权限后再操作一次。";
            break;
    }
    rt::ui::MessageBox(
        "提示信息",
        std::string(what) + "\n刚才的操作没有完成，" + (typed ? "已输入的内容仍然保留，" : "") + then,
        rt::ui::Icon::Exclamation);
}

}  // namespace

j_main_mdi::j_main_mdi() : Window("j_main_mdi", rt::ui::WindowType::Frame) {
    SetTitle("Varenth省科学技术奖推荐系统");
    SetSize(4718, 3048);
    SetWindowState(rt::ui::WindowState::Maximized);
}

j_main_mdi::~j_main_mdi() {
    if (laurel::j_main_mdi == this) laurel::j_main_mdi = nullptr;
}

void j_main_mdi::create() {
    rt::ui::OnWaitForUser(EndReading);
    AtCommandEnd([this] {
        if (sections_) sections_->dropgone();
    });
    sqlca.OnTransactionLost([this](rt::Transaction::Loss loss) {
        // A command that stopped before the pages were made (none at all yet) has nothing typed.
        SayTransactionLost(loss, sections_ && !sections_->pendingpages().empty());
    });
    // Started without its database, the program is connected once a command reaches it: the
    // status line stops saying otherwise.
    sqlca.OnConnected([this] {
        const rt::DataSourceDescription& inUse = records::DataSourceInUse();
        const std::string unconnected = records::DataSourceStatus(inUse, false);
        const std::string shown = StatusField();
        if (shown.starts_with(unconnected))
            SetStatusField(records::DataSourceStatus(inUse, true) + shown.substr(unconnected.size()));
    });
    CreateControls();
    sections_ = std::make_unique<sections::SectionArea>(sections::SectionControls{
        .window = *this,
        .tv_1 = *tv_1,
        .dw_no = *dw_no,
        .dw_no1 = *dw_no1,
        .dw_no2 = *dw_no2,
        .dw_no3 = *dw_no3,
        .dw_no4 = *dw_no4,
        .dw_no51 = *dw_no51,
        .dw_no512 = *dw_no512,
        .dw_no52 = *dw_no52,
        .dw_no522 = *dw_no522,
        .dw_no53 = *dw_no53,
        .dw_no6 = *dw_no6,
        .dw_no71 = *dw_no71,
        .dw_no72 = *dw_no72,
        .dw_no81 = *dw_no81,
        .dw_no82 = *dw_no82,
        .dw_no91 = *dw_no91,
        .dw_no92 = *dw_no92,
        .dw_no93 = *dw_no93,
        .dw_no94 = *dw_no94,
        .st_2 = *st_2,
        .st_sub = *st_sub,
        .st_blank = *st_blank,
        .st_10_1 = *st_10_1,
        .st_10_2 = *st_10_2,
        .st_10_3 = *st_10_3,
        .st_10_4 = *st_10_4,
        .st_10_5 = *st_10_5,
        .st_10_6 = *st_10_6,
        .st_10_7 = *st_10_7,
        .st_10_8 = *st_10_8,
        .cb_n = *cb_n,
        .cb_p = *cb_p,
        .cb_page_insert = *cb_page_insert,
        .cb_page_delete = *cb_page_delete,
        .cb_page_save = *cb_page_save,
    });
    SetMenu(std::make_unique<records::m_main>(records::CommandTargets{
        .sections = *sections_,
        .views = {*dw_ds_base, *dw_ds_dw, *dw_ds_ry, *dw_ds_getaward, *dw_ds_xy, *dw_ds_yy, *dw_ds_zl},
        .dw_nomax = *dw_nomax,
        .st_progress = *st_progress,
        .ole_1 = *ole_1,
    }));
    AttachHandlers();
}

void j_main_mdi::destroy() {
    rt::ui::OnWaitForUser(nullptr);
    AtCommandEnd(nullptr);
    sqlca.OnTransactionLost(nullptr);
    sqlca.OnConnected(nullptr);
    // The subject picker writes into this window's pages: it goes with it.
    ClosePopup();
    if (GetMenu()) DestroyMenu();
    sections_.reset();
    DestroyControls();
    ForgetControls(*this);
}

void j_main_mdi::CreateControls() {
    const std::string link = AwardOfficeSite() + "/wlsb";

    mdi_1 = &Add<MdiClient>("mdi_1");
    mdi_1->SetBackColor(SystemColor::AppWorkspace);
    mdi_1->Place(0, 0, 4718, 3048);

    st_10_3 = &Add<StaticHyperlink>("st_10_3", " 附件2．承诺书；", link);
    st_10_2 = &Add<StaticHyperlink>("st_10_2", " 附件1．项目详细内容；", link);
    for (StaticHyperlink* l : {st_10_3, st_10_2}) {
        l->SetFont({"宋体", 12, false, true});
        l->SetBackColor(kWhite);
    }
    st_10_2->Place(1737, 780, 1800, 64);
    st_10_3->Place(1737, 876, 1800, 64);

    st_progress = &Add<StaticText>("st_progress", "请稍候, 正在生成...");
    st_progress->SetFont(kArial12);
    st_progress->SetBackColor(SystemColor::ButtonFace);
    st_progress->Place(3881, 36, 645, 72);
    st_progress->Hide();

    // The export views: never shown.
    dw_ds_zl = &Add<DataWindowControl>("dw_ds_zl", "dw_zl");
    dw_ds_yy = &Add<DataWindowControl>("dw_ds_yy", "dw_yy");
    dw_ds_xy = &Add<DataWindowControl>("dw_ds_xy", "dw_xy");
    dw_ds_ry = &Add<DataWindowControl>("dw_ds_ry", "dw_ry");
    dw_ds_getaward = &Add<DataWindowControl>("dw_ds_getaward", "dw_getaward");
    dw_ds_dw = &Add<DataWindowControl>("dw_ds_dw", "dw_dw");

    st_10_8 = &Add<StaticText>("st_10_8", " 附件7．其它证明。 ");
    st_10_7 = &Add<StaticText>("st_10_7", " 附件6．代表性论文、专著等；");
    st_10_6 = &Add<StaticText>("st_10_6", " 附件5．享有自主知识产权证明文件； ");
    st_10_5 = &Add<StaticText>("st_10_5", " 附件4．技术评价证明及国家法律法规要求行业审批文件；");
    st_10_4 = &Add<StaticText>("st_10_4", " 附件3. 应用证明或采纳评价证明；");
    st_10_1 = &Add<StaticText>("st_10_1", "（以下内容与推荐书分开装订）");
    for (StaticText* t : {st_10_8, st_10_7, st_10_6, st_10_5, st_10_4, st_10_1}) {
        t->SetFont(kSong12);
        t->SetBackColor(kWhite);
    }
    st_10_1->Place(1719, 656, 1800, 100);
    st_10_4->Place(1742, 1000, 1800, 64);
    st_10_5->Place(1742, 1092, 2600, 64);
    st_10_6->Place(1742, 1184, 1800, 64);
    st_10_7->Place(1742, 1276, 1800, 64);
    st_10_8->Place(1742, 1368, 1800, 64);

    dw_ds_base = &Add<DataWindowControl>("dw_ds_base", "dw_base");
    ole_1 = &Add<ZipControl>("ole_1");

    st_sub = &Add<StaticText>("st_sub", "1、应用单位目录");
    st_sub->SetFont(kArial12);
    st_sub->SetBackColor(kWhite);
    st_sub->Place(1157, 508, 2441, 84);
    st_blank = &Add<StaticText>("st_blank");
    st_blank->SetBackColor(kWhite);
    st_blank->SetBorder(Border::Box);
    st_blank->Place(1125, 480, 3456, 124);

    cb_page_save = &Add<CommandButton>("cb_page_save", "保存");
    cb_page_delete = &Add<CommandButton>("cb_page_delete", "删除(&D)");
    cb_page_insert = &Add<CommandButton>("cb_page_insert", "新增(&A)");
    for (CommandButton* b : {cb_page_save, cb_page_delete, cb_page_insert}) b->SetFont(kArial11);
    // Wide enough for the text with its access key; the right edges stay where they were.
    cb_page_insert->Place(3330, 2512, 360, 68);
    cb_page_delete->Place(3708, 2512, 360, 68);
    cb_page_save->Place(4087, 2512, 265, 68);
    cb_page_save->Hide();

    dw_nomax = &Add<DataWindowControl>("dw_nomax", "dw_max");

    dw_no94 = &Add<DataWindowControl>("dw_no94", "dw_94");
    dw_no93 = &Add<DataWindowControl>("dw_no93", "dw_93");
    dw_no92 = &Add<DataWindowControl>("dw_no92", "dw_92");
    dw_no91 = &Add<DataWindowControl>("dw_no91", "dw_91");
    dw_no82 = &Add<DataWindowControl>("dw_no82", "dw_82");
    dw_no6 = &Add<DataWindowControl>("dw_no6", "dw_6");
    dw_no53 = &Add<DataWindowControl>("dw_no53", "dw_53");
    dw_no522 = &Add<DataWindowControl>("dw_no522", "dw_522");
    dw_no52 = &Add<DataWindowControl>("dw_no52", "dw_52");
    dw_no512 = &Add<DataWindowControl>("dw_no512", "dw_512");
    dw_no51 = &Add<DataWindowControl>("dw_no51", "dw_51");
    dw_no81 = &Add<DataWindowControl>("dw_no81", "dw_81");
    dw_no71 = &Add<DataWindowControl>("dw_no71", "dw_71");
    dw_no72 = &Add<DataWindowControl>("dw_no72", "dw_72");
    dw_no4 = &Add<DataWindowControl>("dw_no4", "dw_4");
    dw_no3 = &Add<DataWindowControl>("dw_no3", "dw_3");
    dw_no2 = &Add<DataWindowControl>("dw_no2", "dw_2");

    cb_n = &Add<CommandButton>("cb_n", "下一页(&N)");
    cb_p = &Add<CommandButton>("cb_p", "上一页(&P)");
    cb_n->SetFont(kArial11);
    cb_p->SetFont(kArial11);
    cb_p->Place(3932, 308, 360, 68);
    cb_n->Place(3932, 372, 360, 68);

    st_2 = &Add<StaticText>("st_2", "一、项目基本情况           ");
    st_2->SetFont({"华文宋体", 16});
    st_2->SetBackColor(kWhite);
    st_2->SetAlignment(TextAlign::Center);
    st_2->Place(1079, 344, 3543, 2108);

    dw_no1 = &Add<DataWindowControl>("dw_no1", "dw_1");

    shl_1 = &Add<StaticHyperlink>("shl_1", "Varenth省科学技术厅", link);
    shl_1->SetTag("点击访问Varenth省科技厅首页！");
    shl_1->SetFont({"宋体", 11});
    shl_1->SetTextColor(SystemColor::HighlightText);
    shl_1->SetBackColor(Rgb{255, 0, 0});
    shl_1->SetAlignment(TextAlign::Center);
    shl_1->Place(3977, 156, 672, 64);

    p_1 = &Add<Picture>("p_1", rt::ui::Application::ProgramFolder() + "/angle.gif");
    p_1->Place(3904, 156, 78, 64);

    st_1 = &Add<StaticText>("st_1", "Tallowmere Plus 2008");
    st_1->SetFont({"Arial Black", 14});
    st_1->SetTextColor(kWhite);
    st_1->SetBackColor(Rgb{128, 128, 128});
    st_1->Place(23, 156, 4626, 108);

    dw_no = &Add<DataWindowControl>("dw_no", "dw");
    dw_no->SetBorder(rt::ui::Border::Lowered);
    dw_no->SetVScrollBar(true);
    dw_no->Place(18, 1356, 1024, 1368);

    tv_1 = &Add<TreeView>("tv_1");
    tv_1->SetFont(kSong12);
    tv_1->Place(18, 280, 1024, 1052);

    gb_1 = &Add<GroupBox>("gb_1");
    gb_1->SetFont({"Arial Black", 14});
    gb_1->Place(18, 116, 4640, 36);
    gb_2 = &Add<GroupBox>("gb_2");
    gb_2->SetFont({"Arial", 18});
    gb_2->SetBorder(Border::Raised);
    gb_2->Place(1056, 228, 3598, 2496);

    // The pages start small in a row across the banner; the page display gives them their place.
    int x = 1061;
    for (DataWindowControl* page : Pages()) {
        page->Place(x, 156, 100, 64);
        x += 110;
    }

    // Tab goes as the window is read: the banner's link, the tree, the list, the page shown, its
    // buttons and the attachment lines' links.
    int order = 0;
    for (rt::ui::Control* c : std::initializer_list<rt::ui::Control*>{shl_1, tv_1, dw_no})
        c->SetTabOrder(order += 10);
    for (DataWindowControl* page : Pages()) page->SetTabOrder(order += 10);
    for (rt::ui::Control* c : std::initializer_list<rt::ui::Control*>{cb_p, cb_n, st_10_2, st_10_3,
                                                                      cb_page_insert, cb_page_delete})
        c->SetTabOrder(order += 10);
    for (DataWindowControl* d : {dw_no1, dw_no2, dw_no3, dw_no4, dw_no51, dw_no512, dw_no52, dw_no522,
                                 dw_no53, dw_no71, dw_no81, dw_no92, dw_no94})
        d->SetBorder(rt::ui::Border::None);
    for (DataWindowControl* d : {dw_no6, dw_no91, dw_no93, dw_no72, dw_no82})
        d->SetBorder(rt::ui::Border::Box);
    dw_no72->SetVScrollBar(true);
    dw_no82->SetVScrollBar(true);
    for (DataWindowControl* d :
         {dw_ds_base, dw_ds_dw, dw_ds_getaward, dw_ds_ry, dw_ds_xy, dw_ds_yy, dw_ds_zl, dw_nomax}) {
        d->SetBorder(rt::ui::Border::Lowered);
        d->Place(40, 40, 60, 36);
        d->Hide();
    }
    ole_1->Move(120, 40);

    // The first control of the list lies on top; the client area stays the backdrop.
    std::vector<rt::ui::Control*> list = ControlList();
    std::reverse(list.begin(), list.end());
    for (rt::ui::Control* control : list)
        if (control != mdi_1) control->BringToTop();
}

void j_main_mdi::AttachHandlers() {
    // Every handler that the user's action starts is a command of its own (Command).
    tv_1->selectionchanging = AsCommand(
        [this](long oldhandle, long newhandle) { return tv_1_selectionchanging(oldhandle, newhandle); });
    cb_n->clicked = AsCommand([this] { cb_n_clicked(); });
    cb_p->clicked = AsCommand([this] { cb_p_clicked(); });
    dw_no->rowfocuschanged = AsCommand([this](long currentrow) { dw_no_rowfocuschanged(currentrow); });

    cb_page_insert->clicked = AsCommand([this] { cb_page_insert_clicked(); });
    cb_page_delete->clicked = AsCommand([this] { cb_page_delete_clicked(); });
    cb_page_save->clicked = AsCommand([this] { cb_page_save_clicked(); });
    for (DataWindowControl* list : {dw_no6, dw_no51, dw_no52, dw_no72, dw_no82, dw_no91, dw_no93})
        list->clicked = [this](long xpos, long ypos, long row, std::string_view column) {
            return static_cast<int>(list_clicked(xpos, ypos, row, column));
        };
    dw_no->clicked = AsCommand([this](long xpos, long ypos, long row, std::string_view column) {
        return static_cast<int>(dw_no_clicked(xpos, ypos, row, column));
    });
    dw_no72->rowfocuschanged = AsCommand([this](long currentrow) { dw_no72_rowfocuschanged(currentrow); });
    dw_no82->rowfocuschanged = AsCommand([this](long currentrow) { dw_no82_rowfocuschanged(currentrow); });
    dw_no1->itemchanged = AsCommand([this](long row, std::string_view column, std::string_view data) {
        return static_cast<int>(dw_no1_itemchanged(row, column, data));
    });
    dw_no1->doubleclicked = AsCommand([this](long xpos, long ypos, long row, std::string_view column) {
        dw_no1_doubleclicked(xpos, ypos, row, column);
    });
    dw_no1->itemfocuschanged = [this](long row, std::string_view column) {
        dw_no1_itemfocuschanged(row, column);
    };
    dw_no71->itemfocuschanged = [this](long row, std::string_view column) {
        dw_no71_itemfocuschanged(row, column);
    };
    dw_no81->itemfocuschanged = [this](long row, std::string_view column) {
        dw_no81_itemfocuschanged(row, column);
    };
    ole_1->Object().SkippingFile = [this](const rt::SkippedFile& file) { ole_1_skippingfile(file); };
}

std::array<DataWindowControl*, 18> j_main_mdi::Pages() const {
    return {dw_no1, dw_no2,  dw_no3,  dw_no4,  dw_no51, dw_no512, dw_no52, dw_no522, dw_no53,
            dw_no6, dw_no71, dw_no72, dw_no81, dw_no82, dw_no91,  dw_no92, dw_no93,  dw_no94};
}

void j_main_mdi::ole_1_skippingfile(const rt::SkippedFile& file) {
    exchange::SkippingFile(file);
}

// ---- open ---------------------------------------------------------------------------------------

void j_main_mdi::open() {
    const Command command;
    // The section tree: handle k is the k-th item inserted.
    for (const sections::Section& section : sections::Sections())
        tv_1->InsertItemLast(section.parent, section.label, 1);
    tv_1->ExpandItem(sections::kRootHandle);

    // Every DataWindow is bound before the list is read, so that the list's first row change
    // switches to that recommendation completely (pages bound, read-only mode when saved). Binding
    // reads the code tables of the drop-downs; one that cannot be read now is read again with its
    // page, and start-up says only that the list could not be read.
    {
        std::vector<DataWindowControl*> bound = {dw_ds_base, dw_ds_dw, dw_ds_getaward, dw_ds_ry,
                                                 dw_ds_xy,   dw_ds_yy, dw_ds_zl};
        for (DataWindowControl* page : Pages()) bound.push_back(page);
        std::vector<std::unique_ptr<sections::QuietDbError>> quiet;
        for (DataWindowControl* d : bound) quiet.push_back(std::make_unique<sections::QuietDbError>(*d));
        for (DataWindowControl* d : bound) d->SetTransObject(sqlca);
    }

    // Without a connection the list cannot be read: that is an empty list, reported already.
    dw_no->SetTransObject(sqlca);
    const long rows = sqlca.Connected() ? sections_->retrievelist(false) : -1;
    if (rows != -1 && rows != 0) {
        current_id = dw_no->GetItemString(dw_no->GetRow(), "xm_id").value_or("");
    } else {
        current_id = kNoRecommendation;
        sections_->ShowNoRecommendation();
    }
    // Said once the window shows what it will show.
    if (rows == -1 && sqlca.Connected()) sections::SayListUnread();

    current_page = sections::kFirstSection;
    current_dw = 1;
    current_ry = 1;
    current_path = rt::ui::Application::ProgramFolder();
    if (current_path.empty()) {
        std::error_code ec;
        current_path = rt::PathText(std::filesystem::current_path(ec));
    }
    // A command stopped half-way (the program killed, the machine off) left its working files;
    // the working document among them holds personal data.
    TidyWorkingFolder(WorkingPlace());
    // A document kept for a recommendation that is gone (deleted on another desktop, say) holds
    // personal data that nobody is to have any more: only those of the recommendations that the
    // list, read whole, shows stay.
    if (rows != -1) {
        std::vector<std::string> keys;
        for (long r = 1; r <= dw_no->RowCount(); ++r)
            keys.push_back(dw_no->GetItemString(r, "xm_id").value_or(""));
        document::TidyKeptDocuments(WorkingPlace(), keys);
    }
    // Which database this is, always in sight: two data sources can look alike on screen.
    records::NoteDataSourceInUse();
    SetStatusField(records::DataSourceStatus(records::DataSourceInUse(), sqlca.Connected()));

    tv_1->SelectItem(sections::kFirstSection);
}

// ---- close --------------------------------------------------------------------------------------

long j_main_mdi::closequery() {
    using rt::ui::Buttons;
    using rt::ui::Icon;
    const Command command;
    if (current_id.empty() || current_id == kNoRecommendation) return 0;
    // A recommendation saved on another desktop may still hold what this one typed before it was
    // refused: that is not left behind without the question either.
    const auto xg = dw_no->GetItemString(dw_no->GetRow(), "xm_xg");
    if ((!xg || *xg != "0") && sections_->pendingpages().empty()) return 0;

    const int answer =
        rt::ui::MessageBox("退出系统", "你需要保存最近的工作吗？", Icon::Question, Buttons::YesNoCancel, 1);
    if (answer == 2) return 0;
    if (answer != 1) return 1;

    acceptdw();
    const auto pages = Pages();
    const auto stored = sections_->storepages({pages.begin(), pages.end()}, [] {
        return sqlsa.Prepare(sqlca, "UPDATE j_xm_base  SET xm_xg = '1' WHERE xm_id = ? ") == 0 &&
               sqlsa.Execute({current_id}) == 0 && sqlca.SQLNRows == 1;
    });
    // Nothing half-saved stays behind, and the window stays open so that the user can try again or
    // leave without saving; a refusal has said why.
    if (stored == sections::SectionArea::Stored::Refused) return 1;
    if (stored == sections::SectionArea::Stored::Failed) {
        sections_->saystorefailure("提示信息", "保存失败！");
        return 1;
    }
    rt::ui::MessageBox("提示信息", "保存成功！");
    return 0;
}

}  // namespace laurel::win

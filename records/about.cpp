#include "records/about.h"

#include "records/data_source.h"
#include "runtime/config/settings.h"
#include "runtime/ui/application.h"

namespace laurel::records {

about::about() : Window("about", rt::ui::WindowType::Response) {
    SetTitle("about");
    SetResizable(false);
    SetSize(2199, kAboutHeight);
}

about::~about() = default;

std::string about::SupportLine() {
    return SupportLine(rt::ui::Application::ProgramFolder() + "/tallowmere.ini");
}

std::string about::SupportLine(const std::string& settingsFile) {
    // No number is built in: a unit that offers support enters its own.
    return "技术支持：" + rt::ProfileString(settingsFile, "support", "telephone", "");
}

void about::create() {
    const rt::ui::Font arial12{"Arial", 12};

    p_1 = &Add<rt::ui::Picture>("p_1", rt::ui::Application::ProgramFolder() + "/" + kAboutBanner);
    p_1->Place(224, 180, 1618, 300);

    cb_1 = &Add<rt::ui::CommandButton>("cb_1", "关闭");
    cb_1->SetFont({"Arial Black", 11});
    // Enter closes the box as Esc does: 关闭 is all it offers.
    cb_1->SetDefault(true);
    cb_1->Place(1527, 764, 306, 100);

    st_5 = &Add<rt::ui::StaticText>("st_5", SupportLine());
    st_4 = &Add<rt::ui::StaticText>("st_4", "2008版推荐系统");
    for (rt::ui::StaticText* t : {st_5, st_4}) {
        t->SetFont(arial12);
        t->SetTextColor(rt::ui::SystemColor::WindowText);
        t->SetBackColor(rt::ui::SystemColor::ButtonFace);
    }
    st_5->Place(430, 704, 832, 72);
    st_4->Place(425, 512, 571, 88);

    // Twelve units high: a divider line across the window.
    gb_1 = &Add<rt::ui::GroupBox>("gb_1");
    gb_1->SetFont(arial12);
    gb_1->Place(215, 596, 1623, 12);

    st_ds = &Add<rt::ui::StaticText>("st_ds", DataSourceLines(DataSourceInUse()));
    st_ds->SetTextColor(rt::ui::SystemColor::WindowText);
    st_ds->SetBackColor(rt::ui::SystemColor::ButtonFace);
    // A long path of the database file goes on in the next line rather than past the box's edge.
    st_ds->SetWordWrap(true);
    st_ds->Place(224, 920, 1750, kAboutHeight - 960);

    cb_1->clicked = [this] { cb_1_clicked(); };
}

void about::cb_1_clicked() {
    rt::ui::Close(*this);
}

}  // namespace laurel::records

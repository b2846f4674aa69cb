#pragma once
// The about window: a small modal dialog with the banner picture, the edition line, the support
// contact line and a close button, and below them where the program's data are. It keeps no state;
// each About command shows it afresh.

#include <string>

#include "runtime/ui/controls.h"
#include "runtime/ui/window.h"

namespace laurel::records {

class about : public rt::ui::Window {
  public:
    about();
    ~about() override;

    void create() override;

    void cb_1_clicked();

    // The support line: "技术支持：" and the telephone number that a unit sets beside the program
    // in tallowmere.ini, [support] telephone=...; nothing after the colon when none is set.
    // "技术支持：" and the telephone number of the settings file (beside the program by default).
    static std::string SupportLine();
    static std::string SupportLine(const std::string& settingsFile);

    // ---- controls, in creation order ------------------------------------------------------------
    rt::ui::Picture* p_1 = nullptr;
    rt::ui::CommandButton* cb_1 = nullptr;
    rt::ui::StaticText* st_5 = nullptr;
    rt::ui::StaticText* st_4 = nullptr;
    rt::ui::GroupBox* gb_1 = nullptr;
    // The data source in full, so that a user can tell which database the program works on.
    rt::ui::StaticText* st_ds = nullptr;
};

// The window's height in layout units: the edition's window, and room below it for the data
// source.
inline constexpr int kAboutHeight = 1460;

// The banner's file in the program folder, drawn at build time.
inline constexpr const char* kAboutBanner = "tallowmereabout.gif";

}  // namespace laurel::records

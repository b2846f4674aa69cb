#include "app/globals.h"

#include "runtime/config/settings.h"
#include "runtime/ui/application.h"

namespace laurel {

win::w_start* w_start = nullptr;
win::j_main_mdi* j_main_mdi = nullptr;

std::string AwardOfficeSite() {
    // A unit sets the office's address in tallowmere.ini beside the program: [links] site=...
    std::string site = rt::ProfileString(rt::ui::Application::ProgramFolder() + "/tallowmere.ini", "links",
                                         "site", "https://kjt.varenth.gov.cn");
    while (!site.empty() && site.back() == '/') site.pop_back();
    return site;
}

}  // namespace laurel

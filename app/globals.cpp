#include "app/globals.h"

#include "runtime/settings.h"
#include "runtime/ui/application.h"

namespace laurel {

rt::Transaction sqlca;
rt::DynamicStagingArea sqlsa;
std::string current_id;
long current_page = 0;
int current_ry = 0;
int current_dw = 0;
std::string current_path;
win::w_start* w_start = nullptr;
win::j_main_mdi* j_main_mdi = nullptr;
win::popup* popup = nullptr;

namespace {
int command_depth = 0;
}  // namespace

void EndReading() {
    if (sqlca.InTransaction() && !sqlca.Writing()) sqlca.Rollback();
}

Command::Command() {
    ++command_depth;
}

Command::~Command() {
    if (--command_depth == 0 && sqlca.InTransaction()) sqlca.Rollback();
}

std::string WorkingFolder() {
    return rt::ui::Application::WorkingFolder(current_path);
}

std::string AwardOfficeSite() {
    // A unit sets the office's address in tallowmere.ini beside the program: [links] site=...
    std::string site = rt::ProfileString(rt::ui::Application::ProgramFolder() + "/tallowmere.ini", "links",
                                         "site", "https://kjt.varenth.gov.cn");
    while (!site.empty() && site.back() == '/') site.pop_back();
    return site;
}

}  // namespace laurel

#include "records/globals.h"

#include "runtime/ui/application.h"
#include "sections/globals.h"

namespace laurel {

rt::DynamicStagingArea sqlsa;
std::string current_path;

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

}  // namespace laurel

#include "records/globals.h"

#include <filesystem>
#include <functional>
#include <system_error>

#include "document/working_document.h"
#include "exchange/package.h"
#include "runtime/platform/files.h"
#include "runtime/platform/path.h"
#include "runtime/ui/application.h"
#include "sections/globals.h"

namespace laurel {

rt::DynamicStagingArea sqlsa;
std::string current_path;

namespace {
int command_depth = 0;
std::function<void()>& CommandEndHook() {
    static std::function<void()> hook;
    return hook;
}
}  // namespace

bool CommandRunning() {
    return command_depth > 0;
}

void AtCommandEnd(std::function<void()> hook) {
    CommandEndHook() = std::move(hook);
}

void EndReading() {
    if (sqlca.InTransaction() && !sqlca.Writing()) sqlca.Rollback();
}

Command::Command() {
    ++command_depth;
}

Command::~Command() {
    if (--command_depth != 0) return;
    if (sqlca.InTransaction()) sqlca.Rollback();
    if (const std::function<void()> hook = CommandEndHook()) hook();
}

std::string WorkingPlace() {
    return rt::ui::Application::WorkingFolder(current_path);
}

std::string WorkingFolder() {
    const std::string place = WorkingPlace();
    const std::string own = rt::OwnFolder(place);
    return own.empty() ? place : own;
}

void TidyWorkingFolder(const std::string& place) {
    rt::TidyOwnFolders(place);
    rt::TidyUnused(place, [&place] {
        for (const char* name : exchange::kWorkingFolders) rt::RemoveFolder(place + "/" + name);
        // A document kept for the user in document::kKeptFolder is not the tidy's to take.
        rt::RemoveFolder(place + "/" + document::kDocumentFolder);
        // The package that Export builds beside its folder; a folder of that name is not it.
        const std::filesystem::path archive = rt::FsPath(place + "/" + exchange::kArchiveName);
        std::error_code ec;
        if (!std::filesystem::is_directory(std::filesystem::symlink_status(archive, ec)))
            std::filesystem::remove(archive, ec);
    });
}

}  // namespace laurel

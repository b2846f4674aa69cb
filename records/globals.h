#pragma once
// The dynamic staging area, the program folder, and the commands of the user, each of which ends
// the transaction it leaves open.

#include <string>
#include <utility>

#include "runtime/transaction.h"

namespace laurel {

extern rt::DynamicStagingArea sqlsa;

// The program folder, without a trailing separator.
extern std::string current_path;
// Where Export, Import and Print keep their working files: the program folder, or the user's own
// data folder when the program folder cannot be written (an installation under /usr or /opt).
std::string WorkingFolder();
// Removes what the commands' working folders under `folder` still hold from an earlier run that
// was stopped half-way (the working document, the package and its members), unless another running
// copy of the program uses the folder. Only those folders and the package are touched, and no link
// is followed.
void TidyWorkingFolder(const std::string& folder);

// One command of the user, from the event that starts it to its end, events it causes included.
// When the outermost command ends, a transaction it left open is rolled back: every command
// commits or rolls back what it writes itself, so what is left is a transaction that only read,
// and ending it lets other programs write to the database while this one waits for the user.
class Command {
  public:
    Command();
    ~Command();
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;
};

// Ends a transaction that has only read, so that the database is free for other programs while a
// message box or a dialog waits for the user in the middle of a command. Work not yet committed is
// left to the command.
void EndReading();

// A handler that runs as one command.
template <class Handler>
auto AsCommand(Handler handler) {
    return [handler = std::move(handler)](auto&&... args) {
        const Command command;
        return handler(std::forward<decltype(args)>(args)...);
    };
}

}  // namespace laurel

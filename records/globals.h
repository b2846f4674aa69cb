#pragma once
// The dynamic staging area, the program folder, and the commands of the user, each of which ends
// the transaction it leaves open.

#include <functional>
#include <string>
#include <utility>

#include "runtime/database/transaction.h"

namespace laurel {

extern rt::DynamicStagingArea sqlsa;

// The program folder, without a trailing separator.
extern std::string current_path;
// Where the working files of all copies of the program lie: the program folder, or the user's own
// data folder when the program folder cannot be written (an installation under /usr or /opt).
std::string WorkingPlace();
// Where Export, Import and Print of this running copy keep their working files: a folder of its
// own in the working place, so that two copies at work at once never unpack, pack or write over
// each other's files; the place itself when no folder can be made there.
std::string WorkingFolder();
// Removes what copies stopped half-way (the program killed, the machine off) left in the working
// place `place`: the folders of copies that run no more, with the working document, the package
// and its members in them, and what earlier versions left in the place itself unless another
// running copy uses it. Nothing else is touched, and no link is followed.
void TidyWorkingFolder(const std::string& place);

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

// Runs `hook` each time the outermost command has ended (after its transaction), for what is to
// follow a command once it is over; none by default.
void AtCommandEnd(std::function<void()> hook);

// Ends a transaction that has only read, so that the database is free for other programs while a
// message box or a dialog waits for the user in the middle of a command. Work not yet committed is
// left to the command.
void EndReading();

// Whether a command runs now (the outermost one has not ended).
bool CommandRunning();

// A handler that runs as one command.
template <class Handler>
auto AsCommand(Handler handler) {
    return [handler = std::move(handler)](auto&&... args) {
        const Command command;
        return handler(std::forward<decltype(args)>(args)...);
    };
}

// A command of the menu or the toolbar, which the user starts. None starts while another command
// runs: a second click or key that the program takes while the first command still works (the
// window repaints while a statement waits on the database) does nothing.
template <class Handler>
auto AsMenuCommand(Handler handler) {
    return [handler = std::move(handler)] {
        if (CommandRunning()) return;
        const Command command;
        handler();
    };
}

}  // namespace laurel

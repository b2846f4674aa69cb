#pragma once
// The program's global state: the one transaction, the dynamic staging area, what is current, the
// program folder, and the open instances of the windows.

#include <string>
#include <utility>

#include "runtime/transaction.h"

namespace laurel {

namespace win {
class w_start;
class j_main_mdi;
class popup;
}  // namespace win

extern rt::Transaction sqlca;
extern rt::DynamicStagingArea sqlsa;

// xm_id of the current recommendation; "99999999" means none.
extern std::string current_id;
// Handle of the selected section in the section tree (1 the root, 2 to 18 the sections).
extern long current_page;
// Running numbers of the contributor and the unit shown in their detail pages.
extern int current_ry;
extern int current_dw;
// The program folder, without a trailing separator.
extern std::string current_path;
// Where Export, Import and Print keep their working files: the program folder, or the user's own
// data folder when the program folder cannot be written (an installation under /usr or /opt).
std::string WorkingFolder();

inline constexpr const char* kNoRecommendation = "99999999";

// The open windows (nullptr when not open).
extern win::w_start* w_start;
extern win::j_main_mdi* j_main_mdi;
extern win::popup* popup;

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

// The address of the award office's web site, from the program's settings; the links open its
// path "/wlsb".
std::string AwardOfficeSite();

}  // namespace laurel

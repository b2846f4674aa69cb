#pragma once
// Every modal dialog and every hand-over to the desktop goes through one service: message boxes,
// the open and save file dialogs, the help viewer and web links. The window side installs the Qt
// implementation; tests install a scripted one that records each request and answers from a queue.
// Nothing here needs a toolkit, so code that only asks questions links without one.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace rt {

enum class Icon { Information, Question, Exclamation, StopSign, None };

enum class Buttons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore, Cancel };

struct MessageRequest {
    std::string title;
    std::string text;
    Icon icon = Icon::Information;
    Buttons buttons = Buttons::OK;
    int defaultButton = 1;  // 1 the first button
    // Lines the box shows below its text in a scrolling area of a few lines' height, however many
    // there are; none when empty.
    std::string details{};
};

struct FileRequest {
    bool save = true;
    std::string title;
    std::string extension;   // default extension, without the dot
    std::string filter;      // "DAT Files (*.DAT),*.DAT" pairs of description and pattern
    std::string initialDir;  // "D:\\" means the user's home folder here
};

struct FileAnswer {
    int result = 0;    // 1 chosen, 0 cancelled, -1 error
    std::string path;  // full path
    std::string file;  // file name alone
};

// What Esc or the window's close box answers on a box with these buttons: the answer of its 取消
// button, 1 on a box with OK alone, and 0 where the box has no such way out (Yes/No, Abort/Retry/
// Ignore): there the key and the close box do nothing, so that a question whose "No" throws work
// away is answered only by a button the user pressed.
int EscapeAnswer(Buttons buttons);

class DialogService {
  public:
    virtual ~DialogService();
    // Answers: 1 Yes/OK/Abort/Retry(first), 2 No/Cancel(second), 3 Cancel/Ignore(third). Esc and
    // the close box answer as EscapeAnswer says, or are ignored.
    virtual int Message(const MessageRequest& request) = 0;
    virtual FileAnswer File(const FileRequest& request) = 0;
    // A box on show while the program waits for something it cannot hurry (the database), which
    // goes by itself once `over` says so: 0 then. Its buttons (取消 alone, as a rule) let the user
    // give up: the answer of the button pressed, Esc and the close box as EscapeAnswer says. The
    // program holds on to everything meanwhile, so nobody is told that it waits for the user.
    virtual int Waiting(const MessageRequest& request, const std::function<bool()>& over) = 0;
    // Opens a help file (an HTML file) in the desktop's viewer; no message of the program's own.
    virtual void Help(const std::string& path) = 0;
    // Opens an address in the desktop's web browser.
    virtual void Link(const std::string& url) = 0;
};

// Told just before a message box or a file dialog waits for the user, whichever service answers
// it, so that the program can let go of what it need not hold while the user takes his time.
// Process-wide; none by default.
void OnWaitForUser(std::function<void()> hook);

// The service in force: the one installed last, else the window side's default (the Qt one), else,
// in a process without windows, one that writes each message to the standard error and answers it
// with its default button, and cancels every file dialog. SetDialogs returns the previous one.
DialogService& Dialogs();
std::unique_ptr<DialogService> SetDialogs(std::unique_ptr<DialogService> service);

// MessageBox(title, text [, icon, buttons, default]). Title and text alone: information icon, OK.
int MessageBox(std::string_view title, std::string_view text, Icon icon = Icon::Information,
               Buttons buttons = Buttons::OK, int defaultButton = 1);
// A box as `request` asks, its details included.
int MessageBox(const MessageRequest& request);
int GetFileSaveName(std::string_view title, std::string& path, std::string& file, std::string_view extension,
                    std::string_view filter, std::string_view initialDir);
int GetFileOpenName(std::string_view title, std::string& path, std::string& file, std::string_view extension,
                    std::string_view filter, std::string_view initialDir);
void ShowHelp(const std::string& path);
void OpenLink(const std::string& url);

// The window side names the service that Dialogs() makes when none was installed.
void SetDefaultDialogs(std::unique_ptr<DialogService> (*make)());

}  // namespace rt

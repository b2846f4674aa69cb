#pragma once
// The application object: create, open(commandline), destroy, around the event loop. The program
// ends when its last window has closed.

#include <string>

namespace rt::ui {

class Application {
  public:
    explicit Application(std::string appname);
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    virtual void create() {}
    virtual void open(const std::string& commandline) { (void)commandline; }
    virtual void destroy() {}

    // Makes the toolkit's application, runs create and open, the event loop while a window is
    // open, then destroy. Returns the exit code.
    int Run(int argc, char** argv);

    // Makes the toolkit's own texts (its file dialogs, its standard buttons) speak Chinese, as the
    // program does. Needs the toolkit's application object; true when the translations were found.
    static bool LoadToolkitTranslations();

    // The folder of the running executable, without a trailing separator; "" when unknown.
    static std::string ProgramFolder();
    // Where working files go: `preferred` (the program folder) when the process may write there;
    // otherwise the user's own data folder of this application, made private (mode 0700) when it
    // is missing. `preferred` when neither can be had, so that the work fails where it writes.
    static std::string WorkingFolder(const std::string& preferred);

  private:
    std::string appname_;
};

}  // namespace rt::ui

#pragma once
// The application object: connects to the database behind the splash window, then opens the main
// window; the program ends when the main window has closed.

#include <string>

#include "runtime/ui/application.h"

namespace laurel::win {

class laurel : public rt::ui::Application {
  public:
    // `startProblem`: why the data source could not be prepared before this start, in Chinese;
    // the user is told at the start, before the connection fails.
    explicit laurel(std::string startProblem = {});
    ~laurel() override;

    void create() override;
    void open(const std::string& commandline) override;
    void destroy() override;

  private:
    std::string startProblem_;
};

}  // namespace laurel::win

#pragma once
// The application object: connects to the database behind the splash window, then opens the main
// window; the program ends when the main window has closed.

#include <string>

#include "runtime/ui/application.h"

namespace laurel::win {

class laurel : public rt::ui::Application {
  public:
    laurel();
    ~laurel() override;

    void create() override;
    void open(const std::string& commandline) override;
    void destroy() override;
};

}  // namespace laurel::win

#pragma once
// The splash window shown while the program connects to its database.

#include "runtime/ui/controls.h"
#include "runtime/ui/window.h"

namespace laurel::win {

class w_start : public rt::ui::Window {
  public:
    w_start();
    ~w_start() override;
    void create() override;
    void destroy() override;

    rt::ui::Picture* p_1 = nullptr;
};

}  // namespace laurel::win

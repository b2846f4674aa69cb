#include "app/w_start.h"

#include "app/globals.h"
#include "runtime/ui/application.h"

namespace laurel::win {

w_start::w_start() : Window("w_start", rt::ui::WindowType::Popup) {
    SetSize(1815, 976);
    SetBackground({255, 255, 255});
}

w_start::~w_start() {
    if (laurel::w_start == this) laurel::w_start = nullptr;
}

void w_start::create() {
    p_1 = &Add<rt::ui::Picture>("p_1", rt::ui::Application::ProgramFolder() + "/tallowmere.gif");
    p_1->Move(0, 0);
    // A little larger than the window, which clips it.
    p_1->Resize(1850, 1000);
}

void w_start::destroy() {
    DestroyControls();
}

}  // namespace laurel::win

#pragma once
// The scripted dialog service under the window side's name.

#include "runtime/scripted_dialogs.h"
#include "runtime/ui/dialogs.h"

namespace rt::ui {
using rt::ScriptedDialogs;
}  // namespace rt::ui

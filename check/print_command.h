#pragma once
// The Print command's chain, apart from the menu that owns its steps: the check (with its version
// number), then the print buffer and the form document under the progress text, then the lists
// document once the progress text is gone.

#include <functional>

#include "check/check.h"
#include "document/print_buffer.h"
#include "runtime/ui/controls.h"

namespace laurel::check {

struct PrintSteps {
    std::function<int()> check;                                 // 1: complete, with its version number
    std::function<Prepared()> prepare;                          // the print buffer
    std::function<int(const document::PrintBuffer&)> print;     // the form document
    std::function<int(const document::PrintBuffer&)> print789;  // the lists document and its hand-over
};

// Runs the chain. A failure that a step throws (the word-processing engine refusing a call part-way,
// a page that cannot be read) and a print buffer that cannot be filled end the command with one
// message under "错误" and the progress text hidden; nothing leaves the event handler.
void RunPrintCommand(rt::ui::StaticText& progress, const PrintSteps& steps);

}  // namespace laurel::check

#pragma once
// The size of the program's message boxes. A window frame draws the title beside its buttons and
// cuts what does not fit, and a value the user typed or pasted can be far longer than a screen is
// wide: a box is made at least as wide as its whole title and never wider or taller than the
// screen, and a line of text too long for that is shortened in the middle with "…", so that the
// start of the sentence and the reason at its end both stay readable.

class QMessageBox;

namespace rt::ui {

// Takes the box's title and text as they are set; call it before the box is shown.
void FitMessageBox(QMessageBox& box);

}  // namespace rt::ui

#pragma once
// What a screen reader says for a control. Names are given where the runtime makes a control, from
// what a person reads beside it: a field's label, a button's text, what a list or a tree holds.
// A control's value never stands in for its name.

#include <string>
#include <string_view>

class QLabel;
class QWidget;

namespace rt::ui {

// A label as a person says it: the blanks that space out the characters of a printed form's label
// ("项  目名  称") are not read, nor is a closing colon, nor the access key's marker ("&"); other runs
// of blanks read as one. Parts given together are read one after the other.
std::string SpokenText(std::string_view text);
std::string SpokenText(std::initializer_list<std::string_view> parts);

// A menu's, a button's or a field label's text as a person says it: without the access key in
// brackets ("(&S)") and without the shortcut's label after a tab.
std::string CommandText(std::string_view text);

// The name (and the description) a screen reader reads for the widget.
void SetSpokenName(QWidget* widget, std::string_view name, std::string_view description = {});

// From now on every window marks the control that has the focus, however it got there.
void ShowFocusAlways();

// The label opens a web page: a screen reader says it is a link, named by its text, and can press it.
void SetSpokenLink(QLabel* label);

}  // namespace rt::ui

#pragma once
// A DataWindow control: the data engine (rt::DataWindow) shown on a window. The control is both
// the engine and its view, so application code reads `dw_no1.Retrieve(current_id)` as well as
// `dw_no1.Show()` or `dw_no1.SetEnabled(false)`.
//
// The view keeps no data of its own: every keystroke goes to the engine as edit text, leaving a
// field asks the engine to accept it, and moving to another row or field goes through the engine,
// whose events fire synchronously inside the user's action. A rejected value keeps the cursor in
// its field with the text as typed.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/datawindow/datawindow.h"
#include "runtime/ui/control.h"

namespace rt::ui {

class DataWindowControl : public Control, public rt::DataWindow {
  public:
    DataWindowControl(Window& parent, std::string name, std::string_view dataObject);
    ~DataWindowControl() override;

    void SetBorder(rt::ui::Border border);
    rt::ui::Border GetBorder() const { return border_; }

    // A vertical scroll bar when the rows (or the form) do not fit; without it the control still
    // scrolls to the current row, it only shows no bar.
    void SetVScrollBar(bool on);
    bool VScrollBar() const { return vscroll_; }

    struct View;  // the widgets; private to the runtime

  protected:
    void OnEnabledChanged() override;

  private:
    void BuildView();
    void Notify(rt::Change change, long row, int column);
    void UpdateFocusProxy();

    std::unique_ptr<View> view_;
    int observer_ = 0;
    rt::ui::Border border_ = rt::ui::Border::None;
    bool vscroll_ = false;
};

// How long a statement may keep the user waiting before a box offers to give it up: three seconds.
// A test that waits for the box makes it come sooner, rather than sit out the user's patience.
std::chrono::milliseconds WaitingBoxDelay();
void SetWaitingBoxDelay(std::chrono::milliseconds delay);

// While it lives, a wait for the database offers 取消 after `delay`, in the words of `text`: for a
// wait the user asked for (a test of a connection), which he may want to end at once.
class WaitingBoxFor {
  public:
    WaitingBoxFor(std::string text, std::chrono::milliseconds delay);
    ~WaitingBoxFor();
    WaitingBoxFor(const WaitingBoxFor&) = delete;
    WaitingBoxFor& operator=(const WaitingBoxFor&) = delete;

  private:
    std::string text_;
    std::chrono::milliseconds delay_;
};

}  // namespace rt::ui

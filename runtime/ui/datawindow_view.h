#pragma once
// What the form and the grid of a DataWindow control have in common: they draw the engine's rows
// and hand every user action to the engine at once, inside the Qt event that carries it.

#include <Qt>
#include <string>

#include "runtime/datawindow/datawindow.h"

class QWidget;
class QPoint;

namespace rt::ui {
class DataWindowControl;
}

namespace rt::ui::dwview {

class ViewBase {
  public:
    explicit ViewBase(DataWindowControl& dw) : dw_(dw) {}
    virtual ~ViewBase() = default;
    ViewBase(const ViewBase&) = delete;
    ViewBase& operator=(const ViewBase&) = delete;

    // The engine changed; called inside the engine's call.
    virtual void OnChange(rt::Change change, long row, int column) = 0;
    virtual void ApplyEnabled() = 0;
    virtual void SetVScrollBar(bool on) = 0;
    // Where the keyboard focus goes when the control is given it.
    virtual QWidget* FocusTarget() const = 0;
    // From now on the view makes no call into the engine and reads nothing of the object's
    // definition (it is about to go, and the definition may be gone already).
    void Detach() {
        detached_ = true;
        OnDetach();
    }

  protected:
    virtual void OnDetach() {}
    rt::DataWindow& Engine() const;
    bool Enabled() const;
    bool Detached() const { return detached_; }

    // Accepts the pending edit text. True when the field may be left.
    bool AcceptPending();

    // An editor lost the keyboard focus: its text is accepted, and when the engine rejects it the
    // focus goes straight back, with the text as typed.
    void EditorFocusOut(QWidget* editor, Qt::FocusReason reason);

    // Moves the keyboard focus without the moves counting as the user's.
    void MoveFocus(QWidget* to, Qt::FocusReason reason = Qt::OtherFocusReason);

    // Tab past the last field (Shift+Tab before the first) leaves the control for the window's next
    // (previous) control, so that the keyboard is never caught in it. `from` is the view's widget
    // that the window's order goes on from. False when there is none.
    static bool Leave(QWidget* view, QWidget* from, bool forward);
    bool Syncing() const { return syncing_ > 0; }

    // Hands user typing to the engine as its edit text.
    void PushEditText(const std::string& text);
    bool Pushing() const { return pushing_; }

    // A click position in the control's layout units.
    long UnitsX(int px) const;
    long UnitsY(int px) const;

    struct SyncGuard {
        explicit SyncGuard(ViewBase& v) : v_(v) { ++v_.syncing_; }
        ~SyncGuard() { --v_.syncing_; }
        SyncGuard(const SyncGuard&) = delete;
        SyncGuard& operator=(const SyncGuard&) = delete;
        ViewBase& v_;
    };

  private:
    DataWindowControl& dw_;
    bool detached_ = false;
    int syncing_ = 0;
    bool pushing_ = false;
};

}  // namespace rt::ui::dwview

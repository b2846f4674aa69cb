#pragma once
// The simple controls: static text, static hyperlink, command button, single-line edit, radio
// button, check box, group box, picture, the client area of a frame and a hidden host for a
// component.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/ui/control.h"

class QAbstractButton;

namespace rt::ui {

enum class TextAlign { Left, Center, Right };

// Colours of the desktop, resolved when applied.
enum class SystemColor { None, WindowText, Window, ButtonFace, AppWorkspace, HighlightText, Link };

class StaticText : public Control {
  public:
    StaticText(Window& parent, std::string name, const std::string& text = {});
    std::string Text() const { return text_; }
    void SetText(std::string_view text);
    void SetFont(const rt::ui::Font& f);
    void SetTextColor(Rgb c);
    void SetTextColor(SystemColor c);
    void SetBackColor(Rgb c);
    void SetBackColor(SystemColor c);
    void SetAlignment(TextAlign a);
    void SetBorder(Border b);
    // Lines longer than the control go on in the next line, broken between words or after a "/"
    // or "\\" of a path, rather than being cut at the control's edge.
    void SetWordWrap(bool on);
    // This text labels `field`: a screen reader names the field after it, and the text's access key
    // ("&" before a letter) takes the cursor into it.
    void SetBuddy(Control& field);
    // Micro-help text of the control; a screen reader reads it as the description.
    std::string Tag() const { return tag_; }
    void SetTag(std::string tag);

    std::function<void()> clicked;

  protected:
    void ApplyColors();
    // A text is never cut at its foot: the control is at least one line of its font high,
    // underline included, whatever height it was given.
    void OnGeometryChanged() override;

  private:
    std::string text_, tag_;
    Rgb fore_{0, 0, 0}, back_{255, 255, 255};
    SystemColor foreSys_ = SystemColor::WindowText, backSys_ = SystemColor::None;
};

// A static text that opens a web address when clicked, with the hand pointer over it.
class StaticHyperlink : public StaticText {
  public:
    StaticHyperlink(Window& parent, std::string name, const std::string& text = {}, std::string url = {});
    std::string Url() const { return url_; }
    // What a click does: opens the address through the dialog service, then fires clicked.
    void Click();

  private:
    std::string url_;
};

class CommandButton : public Control {
  public:
    CommandButton(Window& parent, std::string name, const std::string& text = {});
    std::string Text() const { return text_; }
    void SetText(std::string_view text);
    void SetFont(const rt::ui::Font& f);
    std::function<void()> clicked;
    // A user's click: fires clicked when the button is enabled and visible.
    void Click();
    // The default button of a dialog window: Enter presses it wherever the cursor is.
    void SetDefault(bool on);

  protected:
    void OnGeometryChanged() override;

  private:
    std::string text_;
    std::optional<rt::ui::Font> font_;  // as asked for; shown smaller where the button is too low
};

// One line of text the user types; a password edit shows each character as a dot.
class SingleLineEdit : public Control {
  public:
    SingleLineEdit(Window& parent, std::string name, const std::string& text = {});
    std::string Text() const;
    void SetText(std::string_view text);
    void SetPassword(bool on);
    bool Password() const;
    // The most characters it takes; 0 for no limit of its own.
    void SetLimit(int characters);
    // Fired when the user changed the text (not by SetText).
    std::function<void()> modified;
};

// A choice among the radio buttons of one window: checking one unchecks the others.
// What a radio button and a check box share: a text, a check and the user's click.
class ToggleButton : public Control {
  public:
    std::string Text() const { return text_; }
    bool Checked() const;
    // Checks or unchecks it, firing nothing.
    void SetChecked(bool on);
    std::function<void()> clicked;

  protected:
    // Takes `button` into the window.
    ToggleButton(Window& parent, std::string name, std::string text, QAbstractButton* button);

  private:
    std::string text_;
};

class RadioButton : public ToggleButton {
  public:
    RadioButton(Window& parent, std::string name, const std::string& text = {});
    // Checks it, unchecking the others of the window, and fires clicked as the user's click does.
    void Click();
};

class CheckBox : public ToggleButton {
  public:
    CheckBox(Window& parent, std::string name, const std::string& text = {});
    // Turns it over and fires clicked, as the user's click does.
    void Click();
};

class GroupBox : public Control {
  public:
    GroupBox(Window& parent, std::string name, const std::string& text = {});
    void SetBorder(Border b);
    void SetFont(const rt::ui::Font& f);
};

class Picture : public Control {
  public:
    Picture(Window& parent, std::string name, const std::string& file = {});
    // Loads an image file (PNG, GIF, ...); a missing file leaves the picture empty. Returns 1 or -1.
    int SetPictureName(const std::string& file);
    std::string PictureName() const { return file_; }

  protected:
    void OnGeometryChanged() override;

  private:
    std::string file_;
};

// The client area of a frame: the backdrop the other controls stand on. It covers the whole of the
// frame's client area at any size of the frame, so the area is one colour around the controls.
class MdiClient : public Control {
  public:
    MdiClient(Window& parent, std::string name);
    void SetBackColor(SystemColor c);

  protected:
    void OnGeometryChanged() override;
};

// An invisible control that hosts a non-visual component (the zip component).
class ComponentHost : public Control {
  public:
    ComponentHost(Window& parent, std::string name, std::string kind);
    const std::string& Kind() const { return kind_; }

  private:
    std::string kind_;
};

}  // namespace rt::ui

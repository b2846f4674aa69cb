#pragma once
// The editors of a DataWindow column and what they enforce while the user types: limits counted in
// GBK bytes, masks, the characters a number or a date admits. Shared by the form and the grid.
// Nothing here talks to the engine; the views connect the editors to it.

#include <QPlainTextEdit>
#include <QString>
#include <QValidator>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "runtime/datawindow/datawindow.h"
#include "runtime/datawindow/dwdef.h"

class QComboBox;
class QFont;
class QLineEdit;
class QWidget;

namespace rt::ui::dwview {

// The font of DataWindow content: one that has the Chinese characters, at the forms' size.
QFont ContentFont();

// Text crosses between the engine (UTF-8) and the widgets here.
QString FromUtf8(const std::string& s);
std::string Utf8(const QString& s);
Qt::Alignment AlignmentOf(Align a);

enum class EditorKind { Line, Box, List, Check };

// Which editor the column takes. `multiLine` false (grids) turns boxes into single lines.
EditorKind KindOf(const ColumnDef& c, bool multiLine = true);

// A column the cursor can stop in (it has a place in the tab order).
bool TakesFocus(const ColumnDef& c);
// A column whose value the user may change (a display-only field takes the cursor, not input).
bool TakesInput(const ColumnDef& c);

// The column numbers (from 1) that take the cursor, in tab order.
std::vector<int> TabSequence(const DataWindowDef& def);
// The column after (or before) `current` in tab order, wrapping round; 0 when none takes the cursor.
int NextInTab(const DataWindowDef& def, int current, bool forward);

// The input mask of a masked text or date column in the editor's notation; empty when the column
// is not masked that way (numbers are checked by a validator instead).
QString InputMaskFor(const ColumnDef& c);

// Keeps a line within the limit in GBK bytes: typing stops at the limit, and a paste (or any other
// insertion) that is too long is cut to what fits, on a character boundary, as a multi-line box
// cuts it. A text that is too long already (stored before the limit applied) may still be shortened.
class GbkLimitValidator : public QValidator {
  public:
    // Watches the editor's text, so that an edit is judged against the text it changes.
    GbkLimitValidator(std::size_t limit, QLineEdit* editor);
    State validate(QString& input, int& pos) const override;

  private:
    std::size_t limit_;
    QString before_;  // the editor's text before the edit
};

// Admits a number as typed: digits, at most `intDigits` before the point and `decimals` after it,
// grouping commas when `grouping`, a leading minus when `sign`.
class NumberValidator : public QValidator {
  public:
    NumberValidator(int intDigits, int decimals, bool grouping, bool sign, QObject* parent)
        : QValidator(parent), intDigits_(intDigits), decimals_(decimals), grouping_(grouping), sign_(sign) {}
    State validate(QString& input, int& pos) const override;

  private:
    int intDigits_;
    int decimals_;
    bool grouping_;
    bool sign_;
};

// A multi-line box that refuses text beyond a GBK byte limit, whether typed, composed or pasted
// (a paste is cut to what fits). `edited` reports the user's changes only.
class LimitedTextBox : public QPlainTextEdit {
    Q_OBJECT
  public:
    LimitedTextBox(std::size_t limit, QWidget* parent);
    // Shows the text without reporting it as an edit.
    void ShowText(const QString& text);

  signals:
    void edited(const QString& text);

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void insertFromMimeData(const QMimeData* source) override;

  private:
    // The longest beginning of `insert` that fits in place of the selection.
    QString Admit(const QString& insert) const;

    std::size_t limit_;
    bool showing_ = false;
};

// One entry of a drop-down: the text shown and the value stored.
struct Choice {
    QString display;
    std::string data;
};

// The entries of a drop-down list, or of a drop-down DataWindow from its rows.
std::vector<Choice> ChoicesOf(const ColumnDef& c, rt::DataWindow* child);

// The edit text that picking an entry hands to the engine.
std::string EditTextOf(const Choice& choice);
// The stored value an edit text of a drop-down stands for (the value itself or its display text).
std::optional<std::string> DataOfEditText(const std::vector<Choice>& choices, const std::string& text);
// Index of the entry storing `value`; -1 for a value the list does not know.
int IndexOfData(const std::vector<Choice>& choices, const std::string& value);

// What a person calls a column's field: the label of its group and its place there, then its own
// label, as they are read ("学科分类 1 代码").
std::string FieldName(const DataWindowDef& def, const ColumnDef& c);

// Makes the editor of a column of `def`, not yet connected to anything: its object name is the
// column's, its spoken name the field's, its description the column's micro-help.
QWidget* CreateEditor(const DataWindowDef& def, const ColumnDef& c, EditorKind kind, QWidget* parent);
void FillList(QComboBox* box, const std::vector<Choice>& choices);

// What a line editor hands to the engine: its text, or "" while a mask holds nothing typed.
QString LineText(const QLineEdit* edit);

}  // namespace rt::ui::dwview

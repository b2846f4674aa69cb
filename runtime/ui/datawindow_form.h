#pragma once
// The freeform presentation: one record laid out like the printed form, with its labels, fixed
// texts and frame lines, and one live editor per visible column.

#include <QColor>
#include <QLine>
#include <QRect>
#include <QScrollArea>
#include <QWidget>
#include <algorithm>
#include <string>
#include <vector>

#include "runtime/ui/datawindow_editors.h"
#include "runtime/ui/datawindow_view.h"

class QLabel;

namespace rt::ui::dwview {

// The surface of the form: draws the frame lines under the fields.
class FormCanvas : public QWidget {
    Q_OBJECT
  public:
    explicit FormCanvas(QWidget* parent);
    // Lines of the record itself show only while there is one.
    void SetLines(std::vector<QLine> fixed, std::vector<QLine> record, QColor color);
    void ShowRecord(bool on);
    // The frame that shows which field has the cursor; an empty rectangle for none.
    void SetFocusFrame(QRect around);

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    std::vector<QLine> fixed_;
    std::vector<QLine> record_;
    bool showRecord_ = true;
    QColor color_;
    QRect focusFrame_;
};

class FormView : public QScrollArea, public ViewBase {
    Q_OBJECT
  public:
    FormView(DataWindowControl& dw, QWidget* parent);

    void OnChange(rt::Change change, long row, int column) override;
    void ApplyEnabled() override;
    void SetVScrollBar(bool on) override;
    QWidget* FocusTarget() const override;

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    struct Field {
        int number = 0;  // column number in the definition, from 1
        const ColumnDef* def = nullptr;
        EditorKind kind = EditorKind::Line;
        QWidget* editor = nullptr;
        std::vector<Choice> choices;
    };

    // How far the laid-out objects reach, right and down, in layout units.
    struct Reach {
        int right = 0;
        int bottom = 0;
        void Extend(int x, int y) {
            right = std::max(right, x);
            bottom = std::max(bottom, y);
        }
    };

    void Build();
    QLabel* MakeLabel(const std::string& text, const QString& name, const QRect& r, Qt::Alignment align,
                      bool bold);
    void PlaceTexts(const DataWindowDef& def, Reach& reach);
    void PlaceLines(const DataWindowDef& def, Reach& reach);
    void PlaceFields(const DataWindowDef& def, Reach& reach);
    void PlaceComputes(const DataWindowDef& def, Reach& reach);
    void ConnectFields();
    void Watch(QWidget* w);
    long ShownRow() const;
    Field* FieldOf(QObject* o);
    Field* FieldByNumber(int number);
    bool FocusInside() const;

    void RefreshAll();
    void RefreshField(Field& f);
    // A line's or a box's text.
    void ShowFieldText(Field& f, const QString& text);
    // The value a list or a check box shows in `row` (0: none): the item's, or the edit's when
    // `pending`.
    std::string ValueShown(const Field& f, long row, bool pending);
    // The list's choice of `value`, its choices loaded again first when they changed.
    void ShowChoice(Field& f, long row, const std::string& value);
    void RefreshComputes();
    void LoadChoices(Field& f);

    void Edited(std::size_t field, const std::string& text, bool accept);
    void FocusIn(Field& f, Qt::FocusReason reason);
    bool Key(Field& f, QKeyEvent* e);
    bool Press(Field& f, QObject* watched, QMouseEvent* e);
    bool DoubleClick(Field& f, QObject* watched, QMouseEvent* e);
    void BackgroundClick(QMouseEvent* e, bool doubleClick);
    void Tab(Field& f, bool forward);
    // After the engine moved the column: the focus follows it when it is in the form.
    void FollowEngineColumn();

    FormCanvas* canvas_ = nullptr;
    std::vector<Field> fields_;
    std::vector<std::pair<const ComputeDef*, QLabel*>> computes_;
    std::vector<QWidget*> detailItems_;  // what only shows while there is a record
    int detailTop_ = 0;                  // pixels
    int detailBottom_ = 0;
    int shownColumn_ = 0;
    bool tabbing_ = false;  // the form itself moves the cursor with Tab
    // The cursor arriving from outside the form is a change of the current field for the user,
    // also when it lands on the field the engine was in already.
    bool focusAway_ = true;
    bool entering_ = false;
};

}  // namespace rt::ui::dwview

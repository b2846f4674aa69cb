#pragma once
// The grid presentation: a heading over each column, one line per row read straight from the
// engine (so that ten thousand rows cost nothing until they are drawn), the current row shaded
// where the object asks for it, and a totals band under the last row. The current cell carries
// the one live editor.

#include <QAbstractTableModel>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QWidget>
#include <vector>

#include "runtime/ui/datawindow_editors.h"
#include "runtime/ui/datawindow_view.h"

class QLabel;
class QTableView;

namespace rt::ui::dwview {

class GridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    GridModel(rt::DataWindow& dw, const DataWindowDef& def, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Column number (from 1) shown in a section, and the section of a column (-1 when hidden).
    int NumberOf(int section) const;
    int SectionOf(int number) const;
    const ColumnDef& ColumnAt(int section) const;

    void Reload();
    void Inserted(long row);
    void Removed(long row);
    void RowChanged(long row);
    void CellChanged(long row, int number);
    void Detach() { detached_ = true; }

  private:
    rt::DataWindow& dw_;
    const DataWindowDef& def_;
    std::vector<int> numbers_;  // by section
    long rows_ = 0;
    bool detached_ = false;
};

class GridView;

class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    GridDelegate(GridView& view, QObject* parent) : QStyledItemDelegate(parent), view_(view) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  protected:
    // The view decides when an edit ends; nothing is committed behind the engine's back.
    bool eventFilter(QObject*, QEvent*) override { return false; }
    bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&, const QModelIndex&) override {
        return false;
    }

  private:
    GridView& view_;
};

class GridView : public QWidget, public ViewBase {
    Q_OBJECT
  public:
    GridView(DataWindowControl& dw, QWidget* parent);

    void OnChange(rt::Change change, long row, int column) override;
    void ApplyEnabled() override;
    void SetVScrollBar(bool on) override;
    QWidget* FocusTarget() const override;

    // For the delegate.
    QWidget* CreateCellEditor(QWidget* parent, const QModelIndex& index);
    void RefreshEditor();

  protected:
    void OnDetach() override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void Build();
    void LayOut();
    void PlaceSummary();
    void NameTable();
    void RefreshSummary();
    void ScrollToCurrent();
    void UpdateCurrentEditor();
    bool FocusInside() const;

    bool TableKey(QKeyEvent* e);
    bool EditorKey(QKeyEvent* e);
    bool ViewportPress(QMouseEvent* e);
    bool ViewportDoubleClick(QMouseEvent* e);
    bool EditorPress(QObject* watched, QMouseEvent* e);
    void NextColumn(bool forward);
    void MoveRowBy(long delta);
    void Toggle();
    void ListPicked(int index);

    const DataWindowDef* def_ = nullptr;
    QTableView* table_ = nullptr;
    GridModel* model_ = nullptr;
    GridDelegate* delegate_ = nullptr;
    QWidget* summary_ = nullptr;
    struct SummaryItem {
        int x = 0;  // layout units
        int y = 0;
        int width = 0;
        int height = 0;
        QLabel* label = nullptr;
        const ComputeDef* compute = nullptr;  // nullptr for a fixed text
    };
    std::vector<SummaryItem> summaryItems_;

    QPointer<QWidget> editor_;
    QPersistentModelIndex editorIndex_;
    EditorKind editorKind_ = EditorKind::Line;
    std::vector<Choice> editorChoices_;
    long shownRow_ = 0;
};

}  // namespace rt::ui::dwview

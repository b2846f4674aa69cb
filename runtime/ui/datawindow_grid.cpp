#include "runtime/ui/datawindow_grid.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>

#include "runtime/ui/accessible.h"
#include "runtime/ui/control.h"
#include "runtime/ui/datawindow_control.h"

namespace rt::ui::dwview {

namespace {

const QColor kCurrentRowGrey(230, 230, 230);

}  // namespace

// ---- model ----------------------------------------------------------------------------------------

GridModel::GridModel(rt::DataWindow& dw, const DataWindowDef& def, QObject* parent)
    : QAbstractTableModel(parent), dw_(dw), def_(def) {
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        if (def.columns[i].visible) numbers_.push_back(static_cast<int>(i) + 1);
    }
    // Side by side as the object places them.
    std::stable_sort(numbers_.begin(), numbers_.end(), [&](int a, int b) {
        return def.columns[static_cast<std::size_t>(a) - 1].x <
               def.columns[static_cast<std::size_t>(b) - 1].x;
    });
    rows_ = dw.RowCount();
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || detached_ ? 0 : static_cast<int>(rows_);
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(numbers_.size());
}

int GridModel::NumberOf(int section) const {
    return section >= 0 && static_cast<std::size_t>(section) < numbers_.size()
               ? numbers_[static_cast<std::size_t>(section)]
               : 0;
}

int GridModel::SectionOf(int number) const {
    const auto it = std::find(numbers_.begin(), numbers_.end(), number);
    return it == numbers_.end() ? -1 : static_cast<int>(it - numbers_.begin());
}

const ColumnDef& GridModel::ColumnAt(int section) const {
    return def_.columns[static_cast<std::size_t>(NumberOf(section)) - 1];
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (detached_ || !index.isValid() || NumberOf(index.column()) == 0) return {};
    const long row = index.row() + 1;
    const ColumnDef& c = ColumnAt(index.column());
    switch (role) {
        case Qt::DisplayRole:
            if (c.edit == EditStyle::CheckBox) return {};
            return FromUtf8(dw_.GetFormattedText(row, c.name));
        case Qt::CheckStateRole:
            if (c.edit != EditStyle::CheckBox) return {};
            return dw_.GetItem(row, c.name).ToText() == c.checkOn ? Qt::Checked : Qt::Unchecked;
        case Qt::BackgroundRole:
            if (dw_.IsSelected(row)) return QApplication::palette().color(QPalette::Highlight);
            return c.currentRowGrey && row == dw_.GetRow() ? kCurrentRowGrey : QColor(Qt::white);
        case Qt::ForegroundRole:
            if (dw_.IsSelected(row)) return QApplication::palette().color(QPalette::HighlightedText);
            return QColor(Qt::black);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(AlignmentOf(c.align));
        default:
            return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (detached_ || orientation != Qt::Horizontal || NumberOf(section) == 0) return {};
    if (role == Qt::DisplayRole) return FromUtf8(ColumnAt(section).label);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    // Editing is the view's business: it opens the one editor on the engine's current cell.
    return Qt::ItemIsEnabled;
}

void GridModel::Reload() {
    beginResetModel();
    rows_ = dw_.RowCount();
    endResetModel();
}

void GridModel::Inserted(long row) {
    if (dw_.RowCount() != rows_ + 1 || row < 1 || row > rows_ + 1) return Reload();
    beginInsertRows({}, static_cast<int>(row - 1), static_cast<int>(row - 1));
    ++rows_;
    endInsertRows();
}

void GridModel::Removed(long row) {
    if (dw_.RowCount() != rows_ - 1 || row < 1 || row > rows_) return Reload();
    beginRemoveRows({}, static_cast<int>(row - 1), static_cast<int>(row - 1));
    --rows_;
    endRemoveRows();
}

void GridModel::RowChanged(long row) {
    if (row < 1 || row > rows_ || numbers_.empty()) return;
    emit dataChanged(index(static_cast<int>(row - 1), 0),
                     index(static_cast<int>(row - 1), static_cast<int>(numbers_.size()) - 1));
}

void GridModel::CellChanged(long row, int number) {
    const int section = SectionOf(number);
    if (row < 1 || row > rows_ || section < 0) return;
    const QModelIndex i = index(static_cast<int>(row - 1), section);
    emit dataChanged(i, i);
}

// ---- delegate -------------------------------------------------------------------------------------

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                    const QModelIndex& index) const {
    return view_.CreateCellEditor(parent, index);
}

void GridDelegate::setEditorData(QWidget*, const QModelIndex&) const {
    view_.RefreshEditor();
}

void GridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                        const QModelIndex&) const {
    editor->setGeometry(option.rect.adjusted(0, 0, -1, -1));
}

void GridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.state &= ~QStyle::State_HasFocus;  // the grey row shows where the user is
    opt.state &= ~QStyle::State_Selected;
    const QVariant check = index.data(Qt::CheckStateRole);
    if (!check.isValid()) {
        QStyle* style = opt.widget != nullptr ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        return;
    }
    // A check box stands where the column is aligned, not at the start of the cell.
    painter->fillRect(opt.rect, opt.backgroundBrush);
    QStyle* style = opt.widget != nullptr ? opt.widget->style() : QApplication::style();
    QStyleOptionButton box;
    box.state = QStyle::State_Enabled |
                (check.value<Qt::CheckState>() == Qt::Checked ? QStyle::State_On : QStyle::State_Off);
    const QRect indicator = style->subElementRect(QStyle::SE_CheckBoxIndicator, &box, opt.widget);
    box.rect = QStyle::alignedRect(opt.direction, opt.displayAlignment, indicator.size(), opt.rect);
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, opt.widget);
}

// ---- view -----------------------------------------------------------------------------------------

GridView::GridView(DataWindowControl& dw, QWidget* parent) : QWidget(parent), ViewBase(dw) {
    setFont(ContentFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    Build();
    ApplyEnabled();
}

void GridView::Build() {
    def_ = Engine().Definition();
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("grid"));
    summary_ = new QWidget(this);
    summary_->setObjectName(QStringLiteral("summary"));
    if (def_ == nullptr) return;

    model_ = new GridModel(Engine(), *def_, this);
    delegate_ = new GridDelegate(*this, this);
    table_->setModel(model_);
    table_->setItemDelegate(delegate_);
    table_->setFrameShape(QFrame::NoFrame);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setTabKeyNavigation(false);
    table_->setWordWrap(false);
    table_->setCornerButtonEnabled(false);
    table_->setAutoScroll(false);
    // Columns wider than the control scroll into view rather than running past its edge unseen.
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setFocusPolicy(Qt::StrongFocus);

    QHeaderView* rows = table_->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(
        std::max(1, UnitsToPixelsY(def_->detailHeight > 0 ? def_->detailHeight : 80)));

    QHeaderView* heads = table_->horizontalHeader();
    heads->setSectionsClickable(false);
    heads->setHighlightSections(false);
    heads->setMinimumSectionSize(1);
    heads->setSectionResizeMode(QHeaderView::Fixed);
    heads->setDefaultAlignment(Qt::AlignCenter);
    heads->setFixedHeight(std::max(1, UnitsToPixelsY(def_->headerHeight > 0 ? def_->headerHeight : 80)));
    if (def_->headerHeight <= 0) heads->hide();
    for (int s = 0; s < model_->columnCount(); ++s) {
        const ColumnDef& c = model_->ColumnAt(s);
        int width = UnitsToPixelsX(c.width);
        if (s + 1 < model_->columnCount()) {
            // The gap up to the next column belongs to this one, so the columns stand where the
            // object puts them.
            width = std::max(width, UnitsToPixelsX(model_->ColumnAt(s + 1).x) - UnitsToPixelsX(c.x));
        }
        heads->resizeSection(s, std::max(1, width));
    }

    table_->installEventFilter(this);
    table_->viewport()->installEventFilter(this);
    connect(table_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { PlaceSummary(); });

    for (const ComputeDef& c : def_->computes) {
        if (c.band != Band::Summary) continue;
        auto* l = new QLabel(summary_);
        l->setObjectName(FromUtf8(c.name));
        l->setAlignment(AlignmentOf(c.align));
        summaryItems_.push_back({c.x, c.y, c.width, c.height, l, &c});
    }
    for (const TextDef& t : def_->texts) {
        if (t.band != Band::Summary) continue;
        auto* l = new QLabel(FromUtf8(t.text), summary_);
        l->setObjectName(FromUtf8(t.name));
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(AlignmentOf(t.align));
        if (t.bold) {
            QFont f = l->font();
            f.setBold(true);
            l->setFont(f);
        }
        summaryItems_.push_back({t.x, t.y, t.width, t.height, l, nullptr});
    }
    if (summaryItems_.empty()) summary_->hide();

    shownRow_ = Engine().GetRow();
    RefreshSummary();
    ScrollToCurrent();
    UpdateCurrentEditor();
    NameTable();
}

void GridView::OnDetach() {
    if (model_ != nullptr) model_->Detach();
}

void GridView::resizeEvent(QResizeEvent*) {
    LayOut();
}

void GridView::LayOut() {
    if (Detached()) return;
    if (model_ == nullptr) {
        table_->setGeometry(rect());
        return;
    }
    const int summaryHeight =
        summaryItems_.empty()
            ? 0
            : std::max(1, UnitsToPixelsY(def_->summaryHeight > 0 ? def_->summaryHeight : 80));
    int tableHeight = height();
    if (summaryHeight > 0) {
        // The totals follow the last row; only when the rows do not fit do they stay at the foot.
        const QHeaderView* heads = table_->horizontalHeader();
        const int content = (heads->isHidden() ? 0 : heads->height()) +
                            model_->rowCount() * table_->verticalHeader()->defaultSectionSize() +
                            2 * table_->frameWidth() + 1;
        tableHeight = std::clamp(content, 0, std::max(0, height() - summaryHeight));
    }
    table_->setGeometry(0, 0, width(), tableHeight);
    summary_->setGeometry(0, tableHeight, width(), summaryHeight);
    PlaceSummary();
    NameTable();
}

// A list is called after what it holds: the headings of the columns in view. Columns kept off to
// the side, past the control's edge, are no part of what the user sees it hold.
void GridView::NameTable() {
    const QHeaderView* heads = table_->horizontalHeader();
    std::string name;
    for (int s = 0; s < model_->columnCount(); ++s) {
        if (s > 0 && heads->sectionPosition(s) >= width()) break;
        const std::string heading = SpokenText(model_->ColumnAt(s).label);
        if (!heading.empty()) name += (name.empty() ? "" : "、") + heading;
    }
    if (FromUtf8(name) != table_->accessibleName()) table_->setAccessibleName(FromUtf8(name));
}

void GridView::PlaceSummary() {
    if (Detached() || model_ == nullptr || summaryItems_.empty()) return;
    const QHeaderView* heads = table_->horizontalHeader();
    for (const SummaryItem& item : summaryItems_) {
        // Under the column it stands under, whichever way the rows are scrolled.
        int section = 0;
        for (int s = 0; s < model_->columnCount(); ++s) {
            if (model_->ColumnAt(s).x <= item.x) section = s;
        }
        int x = UnitsToPixelsX(item.x);
        if (model_->columnCount() > 0) {
            x = table_->frameWidth() + heads->sectionViewportPosition(section) + UnitsToPixelsX(item.x) -
                UnitsToPixelsX(model_->ColumnAt(section).x);
        }
        item.label->setGeometry(x, UnitsToPixelsY(item.y), std::max(1, UnitsToPixelsX(item.width)),
                                std::max(1, UnitsToPixelsY(item.height)));
    }
}

void GridView::RefreshSummary() {
    for (const SummaryItem& item : summaryItems_) {
        if (item.compute != nullptr)
            item.label->setText(FromUtf8(Engine().GetComputedText(item.compute->name)));
    }
}

void GridView::ScrollToCurrent() {
    if (model_ == nullptr) return;
    const long row = Engine().GetRow();
    if (row < 1 || row > model_->rowCount()) return;
    const int section = std::max(0, model_->SectionOf(Engine().GetColumn()));
    table_->scrollTo(model_->index(static_cast<int>(row - 1), section), QAbstractItemView::EnsureVisible);
}

bool GridView::FocusInside() const {
    const QWidget* fw = window()->focusWidget();
    return fw != nullptr && isAncestorOf(fw);
}

QWidget* GridView::FocusTarget() const {
    return Enabled() ? table_ : nullptr;
}

void GridView::UpdateCurrentEditor() {
    if (Detached() || model_ == nullptr) return;
    rt::DataWindow& dw = Engine();
    QModelIndex target;
    const long row = dw.GetRow();
    const int section = model_->SectionOf(dw.GetColumn());
    if (Enabled() && row >= 1 && row <= model_->rowCount() && section >= 0) {
        const ColumnDef& c = model_->ColumnAt(section);
        if (TakesInput(c) && KindOf(c, false) != EditorKind::Check) {
            target = model_->index(static_cast<int>(row - 1), section);
        }
    }
    if (editor_ && editorIndex_.isValid() && QModelIndex(editorIndex_) == target) {
        RefreshEditor();
        return;
    }
    const bool hadFocus = FocusInside();
    const SyncGuard quiet(*this);
    if (editorIndex_.isValid()) {
        if (hadFocus) table_->setFocus(Qt::OtherFocusReason);
        if (editor_) editor_->removeEventFilter(this);
        table_->closePersistentEditor(editorIndex_);
    }
    editor_ = nullptr;
    editorIndex_ = QPersistentModelIndex();
    if (!target.isValid()) return;
    table_->scrollTo(target, QAbstractItemView::EnsureVisible);
    editorIndex_ = target;
    table_->openPersistentEditor(target);
    if (editor_ && hadFocus) {
        editor_->setFocus(Qt::OtherFocusReason);
        if (auto* line = qobject_cast<QLineEdit*>(editor_.data())) line->selectAll();
    }
}

QWidget* GridView::CreateCellEditor(QWidget* parent, const QModelIndex& index) {
    const ColumnDef& c = model_->ColumnAt(index.column());
    editorKind_ = KindOf(c, false);
    QWidget* editor = CreateEditor(*def_, c, editorKind_, parent);
    editor->setAutoFillBackground(true);
    if (c.currentRowGrey) {
        // The editor stands on the current row and takes its shade.
        QPalette pal = editor->palette();
        pal.setColor(QPalette::Base, kCurrentRowGrey);
        pal.setColor(QPalette::Window, kCurrentRowGrey);
        editor->setPalette(pal);
    }
    editor_ = editor;
    editorIndex_ = index;
    editor->installEventFilter(this);
    if (editorKind_ == EditorKind::List) {
        rt::DataWindow* child = c.edit == EditStyle::DropDownDW ? Engine().GetChild(c.name) : nullptr;
        editorChoices_ = ChoicesOf(c, child);
        auto* list = static_cast<QComboBox*>(editor);
        FillList(list, editorChoices_);
        connect(list, &QComboBox::activated, this, [this](int i) { ListPicked(i); });
    } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        connect(line, &QLineEdit::textEdited, this, [this, line] {
            if (!Detached() && line == editor_) PushEditText(Utf8(LineText(line)));
        });
    }
    return editor;
}

void GridView::RefreshEditor() {
    if (!editor_ || Detached()) return;
    rt::DataWindow& dw = Engine();
    if (auto* line = qobject_cast<QLineEdit*>(editor_.data())) {
        const QString text = FromUtf8(dw.GetText());
        if (LineText(line) != text) line->setText(text);
    } else if (auto* list = qobject_cast<QComboBox*>(editor_.data())) {
        const long row = dw.GetRow();
        const std::string value = dw.EditPending() ? DataOfEditText(editorChoices_, dw.GetText()).value_or("")
                                                   : dw.GetItem(row, dw.GetColumnName()).ToText();
        const QSignalBlocker quiet(list);
        list->setCurrentIndex(IndexOfData(editorChoices_, value));
    }
}

void GridView::ListPicked(int index) {
    if (Detached() || index < 0 || static_cast<std::size_t>(index) >= editorChoices_.size()) return;
    PushEditText(EditTextOf(editorChoices_[static_cast<std::size_t>(index)]));
    if (!Detached()) AcceptPending();
    if (!Detached()) RefreshEditor();
}

void GridView::Toggle() {
    rt::DataWindow& dw = Engine();
    const int section = model_->SectionOf(dw.GetColumn());
    if (section < 0 || dw.GetRow() < 1) return;
    const ColumnDef& c = model_->ColumnAt(section);
    if (c.edit != EditStyle::CheckBox || !TakesInput(c)) return;
    const bool on = dw.GetItem(dw.GetRow(), c.name).ToText() == c.checkOn;
    PushEditText(on ? c.checkOff : c.checkOn);
    if (!Detached()) AcceptPending();
}

void GridView::NextColumn(bool forward) {
    if (!AcceptPending() || Detached()) return;
    rt::DataWindow& dw = Engine();
    const std::vector<int> order = TabSequence(*def_);
    if (!order.empty() && (forward ? order.back() : order.front()) == dw.GetColumn() &&
        Leave(this, table_, forward))
        return;
    const int next = NextInTab(*def_, dw.GetColumn(), forward);
    if (next != 0 && next != dw.GetColumn()) dw.SetColumn(next);
}

void GridView::MoveRowBy(long delta) {
    if (!AcceptPending() || Detached()) return;
    rt::DataWindow& dw = Engine();
    const long count = dw.RowCount();
    if (count == 0) return;
    dw.ScrollToRow(std::clamp(dw.GetRow() + delta, 1L, count));
}

bool GridView::TableKey(QKeyEvent* e) {
    if (!Enabled()) return true;
    const bool shift = (e->modifiers() & Qt::ShiftModifier) != 0;
    const bool ctrl = (e->modifiers() & Qt::ControlModifier) != 0;
    const long page = std::max(
        1, table_->viewport()->height() / std::max(1, table_->verticalHeader()->defaultSectionSize()));
    switch (e->key()) {
        case Qt::Key_Tab:
            NextColumn(!shift);
            return true;
        case Qt::Key_Backtab:
            NextColumn(false);
            return true;
        case Qt::Key_Up:
            MoveRowBy(-1);
            return true;
        case Qt::Key_Down:
            MoveRowBy(1);
            return true;
        case Qt::Key_PageUp:
            MoveRowBy(-page);
            return true;
        case Qt::Key_PageDown:
            MoveRowBy(page);
            return true;
        case Qt::Key_Home:
            if (ctrl) MoveRowBy(-Engine().RowCount());
            return true;
        case Qt::Key_End:
            if (ctrl) MoveRowBy(Engine().RowCount());
            return true;
        case Qt::Key_Space:
            Toggle();
            return true;
        default:
            return true;  // no typing into a cell without its editor
    }
}

bool GridView::EditorKey(QKeyEvent* e) {
    if (!Enabled()) return true;
    if ((e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0) return false;
    const bool shift = (e->modifiers() & Qt::ShiftModifier) != 0;
    const bool line = editorKind_ == EditorKind::Line;
    switch (e->key()) {
        case Qt::Key_Tab:
            NextColumn(!shift);
            return true;
        case Qt::Key_Backtab:
            NextColumn(false);
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (!line) return false;
            MoveRowBy(e->key() == Qt::Key_Up ? -1 : 1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!line) return false;
            AcceptPending();
            if (!Detached()) RefreshEditor();
            return true;
        default:
            return false;
    }
}

bool GridView::ViewportPress(QMouseEvent* e) {
    if (!Enabled() || e->button() != Qt::LeftButton) return true;
    // The press gives the grid the focus; when the field being left (here or elsewhere) kept it,
    // its text was rejected and the click goes nowhere.
    if (window()->focusWidget() != table_) return true;
    if (!AcceptPending() || Detached()) return true;
    const QPoint p = e->position().toPoint();
    const QModelIndex index = table_->indexAt(p);
    const long row = index.isValid() ? index.row() + 1 : 0;
    const std::string column = index.isValid() ? model_->ColumnAt(index.column()).name : std::string();
    const QPoint at = table_->viewport()->mapTo(this, p);
    rt::DataWindow& dw = Engine();
    dw.Click(row, column, UnitsX(at.x()), UnitsY(at.y()));
    if (Detached()) return true;
    if (index.isValid() && dw.GetRow() == row && dw.GetColumnName() == column &&
        model_->ColumnAt(index.column()).edit == EditStyle::CheckBox) {
        Toggle();
        if (Detached()) return true;
    }
    UpdateCurrentEditor();
    if (editor_) {
        MoveFocus(editor_, Qt::MouseFocusReason);
    } else if (window()->focusWidget() != table_ && table_->focusPolicy() != Qt::NoFocus) {
        MoveFocus(table_, Qt::MouseFocusReason);
    }
    return true;
}

bool GridView::ViewportDoubleClick(QMouseEvent* e) {
    if (!Enabled() || e->button() != Qt::LeftButton) return true;
    const QPoint p = e->position().toPoint();
    const QModelIndex index = table_->indexAt(p);
    const QPoint at = table_->viewport()->mapTo(this, p);
    Engine().DoubleClick(index.isValid() ? index.row() + 1 : 0,
                         index.isValid() ? model_->ColumnAt(index.column()).name : std::string(),
                         UnitsX(at.x()), UnitsY(at.y()));
    return true;
}

bool GridView::EditorPress(QObject* watched, QMouseEvent* e) {
    if (!Enabled()) return true;
    if (e->button() != Qt::LeftButton) return false;
    // The field being left refused to let go: the click goes nowhere.
    if (window()->focusWidget() != editor_) return true;
    rt::DataWindow& dw = Engine();
    const long row = dw.GetRow();
    const std::string column = dw.GetColumnName();
    const QPoint at = static_cast<QWidget*>(watched)->mapTo(this, e->position().toPoint());
    dw.Click(row, column, UnitsX(at.x()), UnitsY(at.y()));
    if (Detached() || !editor_) return true;
    return dw.GetRow() != row || dw.GetColumnName() != column;
}

bool GridView::eventFilter(QObject* watched, QEvent* e) {
    if (Detached() || model_ == nullptr) return false;
    if (watched == table_->viewport()) {
        switch (e->type()) {
            case QEvent::MouseButtonPress:
                return ViewportPress(static_cast<QMouseEvent*>(e));
            case QEvent::MouseButtonDblClick:
                return ViewportDoubleClick(static_cast<QMouseEvent*>(e));
            case QEvent::MouseButtonRelease:
            case QEvent::MouseMove:
                return true;
            default:
                return false;
        }
    }
    if (watched == table_) {
        switch (e->type()) {
            case QEvent::KeyPress:
                return TableKey(static_cast<QKeyEvent*>(e));
            case QEvent::FocusIn: {
                const auto reason = static_cast<QFocusEvent*>(e)->reason();
                if (!Syncing() && editor_ && reason != Qt::MouseFocusReason &&
                    reason != Qt::PopupFocusReason) {
                    MoveFocus(editor_, reason);
                }
                return false;
            }
            default:
                return false;
        }
    }
    if (editor_ && watched == editor_) {
        switch (e->type()) {
            case QEvent::FocusOut:
                EditorFocusOut(editor_, static_cast<QFocusEvent*>(e)->reason());
                return false;
            case QEvent::KeyPress:
                return EditorKey(static_cast<QKeyEvent*>(e));
            case QEvent::MouseButtonPress:
                return EditorPress(watched, static_cast<QMouseEvent*>(e));
            case QEvent::MouseButtonDblClick: {
                if (!Enabled()) return true;
                const QPoint at = editor_->mapTo(this, static_cast<QMouseEvent*>(e)->position().toPoint());
                Engine().DoubleClick(Engine().GetRow(), Engine().GetColumnName(), UnitsX(at.x()),
                                     UnitsY(at.y()));
                return false;
            }
            case QEvent::Wheel:
                return editorKind_ == EditorKind::List && window()->focusWidget() != editor_;
            default:
                return false;
        }
    }
    return false;
}

void GridView::OnChange(rt::Change change, long row, int column) {
    if (Detached() || model_ == nullptr) return;
    if (change == rt::Change::Reset || change == rt::Change::RowDeleted) {
        // The view drops the editors of rows that go; keep the focus in the grid meanwhile.
        if (editor_ && window()->focusWidget() == editor_) MoveFocus(table_);
    }
    switch (change) {
        case rt::Change::Reset:
            model_->Reload();
            shownRow_ = Engine().GetRow();
            RefreshSummary();
            LayOut();
            ScrollToCurrent();
            UpdateCurrentEditor();
            break;
        case rt::Change::RowInserted:
        case rt::Change::RowDeleted:
            if (change == rt::Change::RowInserted) {
                model_->Inserted(row);
            } else {
                model_->Removed(row);
            }
            shownRow_ = Engine().GetRow();
            table_->viewport()->update();
            RefreshSummary();
            LayOut();
            UpdateCurrentEditor();
            break;
        case rt::Change::ItemChanged:
            model_->CellChanged(row, column);
            RefreshSummary();
            break;
        case rt::Change::RowReselected:
            model_->RowChanged(row);
            RefreshSummary();
            if (row == Engine().GetRow()) RefreshEditor();
            break;
        case rt::Change::CurrentRow:
            model_->RowChanged(shownRow_);
            shownRow_ = Engine().GetRow();
            model_->RowChanged(shownRow_);
            ScrollToCurrent();
            UpdateCurrentEditor();
            break;
        case rt::Change::CurrentColumn:
            ScrollToCurrent();
            UpdateCurrentEditor();
            break;
        case rt::Change::EditText:
            if (!Pushing()) RefreshEditor();
            break;
        case rt::Change::Selection:
            if (row == 0) {
                table_->viewport()->update();
            } else {
                model_->RowChanged(row);
            }
            break;
    }
}

void GridView::ApplyEnabled() {
    const bool on = Enabled();
    table_->setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
    if (!on && FocusInside()) {
        const SyncGuard quiet(*this);
        window()->focusWidget()->clearFocus();
    }
    UpdateCurrentEditor();
}

void GridView::SetVScrollBar(bool on) {
    table_->setVerticalScrollBarPolicy(on ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

}  // namespace rt::ui::dwview

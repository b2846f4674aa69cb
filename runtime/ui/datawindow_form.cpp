#include "runtime/ui/datawindow_form.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <utility>

#include "runtime/ui/control.h"
#include "runtime/ui/datawindow_control.h"

namespace rt::ui::dwview {

namespace {

QRect Place(int x, int y, int w, int h) {
    return QRect(UnitsToPixelsX(x), UnitsToPixelsY(y), std::max(1, UnitsToPixelsX(w)),
                 std::max(1, UnitsToPixelsY(h)));
}

// Where a band starts, in layout units from the top of the form.
int BandTop(const DataWindowDef& def, Band band) {
    switch (band) {
        case Band::Header:
            return 0;
        case Band::Detail:
            return def.headerHeight;
        case Band::Summary:
            return def.headerHeight + def.detailHeight;
        case Band::Footer:
            return def.headerHeight + def.detailHeight + def.summaryHeight;
    }
    return 0;
}

}  // namespace

// ---- canvas -------------------------------------------------------------------------------------

FormCanvas::FormCanvas(QWidget* parent) : QWidget(parent) {}

void FormCanvas::SetLines(std::vector<QLine> fixed, std::vector<QLine> record, QColor color) {
    fixed_ = std::move(fixed);
    record_ = std::move(record);
    color_ = color;
    update();
}

void FormCanvas::ShowRecord(bool on) {
    if (showRecord_ == on) return;
    showRecord_ = on;
    update();
}

void FormCanvas::SetFocusFrame(QRect around) {
    if (focusFrame_ == around) return;
    focusFrame_ = around;
    update();
}

void FormCanvas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!focusFrame_.isEmpty()) {
        // Two pixels in the highlight colour in the margin round the field: an editor without a
        // frame of its own (a display-only field has no cursor either) shows where the user is.
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawRect(focusFrame_.adjusted(-1, -1, 1, 1));
    }
    p.setPen(QPen(color_, 1));
    for (const QLine& l : fixed_) p.drawLine(l);
    if (showRecord_) {
        for (const QLine& l : record_) p.drawLine(l);
    }
}

// ---- form ---------------------------------------------------------------------------------------

FormView::FormView(DataWindowControl& dw, QWidget* parent) : QScrollArea(parent), ViewBase(dw) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Window, Qt::white);
    viewport()->setPalette(pal);
    viewport()->setAutoFillBackground(true);
    Build();
    RefreshAll();
    ApplyEnabled();
}

void FormView::Watch(QWidget* w) {
    w->installEventFilter(this);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) area->viewport()->installEventFilter(this);
}

void FormView::Build() {
    canvas_ = new FormCanvas(this);
    canvas_->setObjectName(QStringLiteral("form"));
    canvas_->setFont(ContentFont());
    QPalette pal = canvas_->palette();
    pal.setColor(QPalette::Window, Qt::white);
    canvas_->setPalette(pal);
    canvas_->setAutoFillBackground(true);
    canvas_->installEventFilter(this);
    setWidget(canvas_);

    const DataWindowDef* def = Engine().Definition();
    if (def == nullptr) return;

    detailTop_ = UnitsToPixelsY(BandTop(*def, Band::Detail));
    detailBottom_ = UnitsToPixelsY(BandTop(*def, Band::Summary));
    Reach reach{def->width, BandTop(*def, Band::Footer) + def->footerHeight};
    PlaceTexts(*def, reach);
    PlaceLines(*def, reach);
    PlaceFields(*def, reach);
    PlaceComputes(*def, reach);
    canvas_->resize(UnitsToPixelsX(reach.right) + 1, UnitsToPixelsY(reach.bottom) + 1);
    ConnectFields();
}

QLabel* FormView::MakeLabel(const std::string& text, const QString& name, const QRect& r, Qt::Alignment align,
                            bool bold) {
    const int lineHeight = QFontMetrics(canvas_->font()).height();
    auto* l = new QLabel(FromUtf8(text), canvas_);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(align);
    l->setWordWrap(r.height() >= 2 * lineHeight);
    l->setGeometry(r);
    if (bold) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    return l;
}

void FormView::PlaceTexts(const DataWindowDef& def, Reach& reach) {
    for (const TextDef& t : def.texts) {
        const int top = BandTop(def, t.band) + t.y;
        QLabel* l = MakeLabel(t.text, FromUtf8(t.name), Place(t.x, top, t.width, t.height),
                              AlignmentOf(t.align), t.bold);
        if (t.band == Band::Detail) detailItems_.push_back(l);
        reach.Extend(t.x + t.width, top + t.height);
    }
}

void FormView::PlaceLines(const DataWindowDef& def, Reach& reach) {
    std::vector<QLine> fixed, record;
    for (const LineDef& l : def.lines) {
        const int top = BandTop(def, l.band);
        (l.band == Band::Detail ? record : fixed)
            .emplace_back(UnitsToPixelsX(l.x1), UnitsToPixelsY(top + l.y1), UnitsToPixelsX(l.x2),
                          UnitsToPixelsY(top + l.y2));
        reach.Extend(std::max(l.x1, l.x2), top + std::max(l.y1, l.y2));
    }
    canvas_->SetLines(std::move(fixed), std::move(record), QColor(0, 0, 0));
}

// Each visible column: its label, and its editor in the detail band.
void FormView::PlaceFields(const DataWindowDef& def, Reach& reach) {
    const int header = def.headerHeight;
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        const ColumnDef& c = def.columns[i];
        if (!c.visible) continue;
        QLabel* label = nullptr;
        if (!c.label.empty() && c.labelWidth > 0 && c.labelHeight > 0) {
            label = MakeLabel(c.label, FromUtf8(c.name + "_t"),
                              Place(c.labelX, header + c.labelY, c.labelWidth, c.labelHeight),
                              Qt::AlignLeft | Qt::AlignVCenter, false);
            detailItems_.push_back(label);
            reach.Extend(c.labelX + c.labelWidth, header + c.labelY + c.labelHeight);
        }
        Field f;
        f.number = static_cast<int>(i) + 1;
        f.def = &c;
        f.kind = KindOf(c);
        f.editor = CreateEditor(def, c, f.kind, canvas_);
        // The label beside the field labels it for a screen reader too.
        if (label != nullptr) label->setBuddy(f.editor);
        QRect r = Place(c.x, header + c.y, c.width, c.height);
        if (f.kind == EditorKind::Check) {
            // Only the box itself takes clicks, placed as the column is aligned.
            const QSize box = f.editor->sizeHint().boundedTo(r.size());
            int x = r.left();
            if (c.align == Align::Center) x = r.left() + (r.width() - box.width()) / 2;
            if (c.align == Align::Right) x = r.right() - box.width();
            r = QRect(QPoint(x, r.top() + (r.height() - box.height()) / 2), box);
        }
        f.editor->setGeometry(r);
        Watch(f.editor);
        detailItems_.push_back(f.editor);
        reach.Extend(c.x + c.width, header + c.y + c.height);
        fields_.push_back(std::move(f));
    }
}

void FormView::PlaceComputes(const DataWindowDef& def, Reach& reach) {
    for (const ComputeDef& c : def.computes) {
        const int top = BandTop(def, c.band) + c.y;
        QLabel* l = MakeLabel(std::string(), FromUtf8(c.name), Place(c.x, top, c.width, c.height),
                              AlignmentOf(c.align), false);
        if (c.band == Band::Detail) detailItems_.push_back(l);
        computes_.emplace_back(&c, l);
        reach.Extend(c.x + c.width, top + c.height);
    }
}

// The signals carry the field's index: the vector is complete now and never changes.
void FormView::ConnectFields() {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        Field& f = fields_[i];
        LoadChoices(f);
        switch (f.kind) {
            case EditorKind::Line: {
                auto* line = static_cast<QLineEdit*>(f.editor);
                connect(line, &QLineEdit::textEdited, this,
                        [this, i, line] { Edited(i, Utf8(LineText(line)), false); });
                break;
            }
            case EditorKind::Box: {
                auto* box = static_cast<LimitedTextBox*>(f.editor);
                connect(box, &LimitedTextBox::edited, this,
                        [this, i](const QString& text) { Edited(i, Utf8(text), false); });
                break;
            }
            case EditorKind::List: {
                auto* list = static_cast<QComboBox*>(f.editor);
                connect(list, &QComboBox::activated, this, [this, i](int index) {
                    if (Detached()) return;
                    const std::vector<Choice>& choices = fields_[i].choices;
                    if (index >= 0 && static_cast<std::size_t>(index) < choices.size()) {
                        Edited(i, EditTextOf(choices[static_cast<std::size_t>(index)]), true);
                    }
                });
                break;
            }
            case EditorKind::Check: {
                auto* check = static_cast<QCheckBox*>(f.editor);
                connect(check, &QCheckBox::clicked, this, [this, i](bool on) {
                    if (Detached()) return;
                    const ColumnDef& c = *fields_[i].def;
                    Edited(i, on ? c.checkOn : c.checkOff, true);
                });
                break;
            }
        }
    }
}

long FormView::ShownRow() const {
    const long row = Engine().GetRow();
    if (row == 0 && Engine().RowCount() > 0) return 1;
    return row;
}

FormView::Field* FormView::FieldOf(QObject* o) {
    for (Field& f : fields_) {
        if (f.editor == o) return &f;
        if (auto* area = qobject_cast<QAbstractScrollArea*>(f.editor); area && area->viewport() == o)
            return &f;
    }
    return nullptr;
}

FormView::Field* FormView::FieldByNumber(int number) {
    for (Field& f : fields_) {
        if (f.number == number) return &f;
    }
    return nullptr;
}

bool FormView::FocusInside() const {
    const QWidget* fw = window()->focusWidget();
    return fw != nullptr && isAncestorOf(fw);
}

QWidget* FormView::FocusTarget() const {
    if (!Enabled() || Engine().RowCount() == 0) return nullptr;
    auto focusable = [](const Field& f) { return f.editor->focusPolicy() != Qt::NoFocus; };
    const int column = Engine().GetColumn();
    for (const Field& f : fields_) {
        if (f.number == column && focusable(f)) return f.editor;
    }
    const DataWindowDef* def = Engine().Definition();
    if (def == nullptr) return nullptr;
    for (int n : TabSequence(*def)) {
        for (const Field& f : fields_) {
            if (f.number == n && focusable(f)) return f.editor;
        }
    }
    return nullptr;
}

// ---- showing the engine's state -----------------------------------------------------------------

void FormView::LoadChoices(Field& f) {
    if (f.kind != EditorKind::List) return;
    rt::DataWindow* child = f.def->edit == EditStyle::DropDownDW ? Engine().GetChild(f.def->name) : nullptr;
    f.choices = ChoicesOf(*f.def, child);
    FillList(static_cast<QComboBox*>(f.editor), f.choices);
}

void FormView::RefreshAll() {
    const bool record = Engine().RowCount() > 0;
    {
        const SyncGuard quiet(*this);
        for (QWidget* w : detailItems_) w->setVisible(record);
    }
    canvas_->ShowRecord(record);
    for (Field& f : fields_) RefreshField(f);
    RefreshComputes();
    shownColumn_ = Engine().GetColumn();
}

void FormView::RefreshField(Field& f) {
    rt::DataWindow& dw = Engine();
    const long row = ShownRow();
    const bool current = row > 0 && dw.GetRow() == row && dw.GetColumn() == f.number;
    const bool pending = current && dw.EditPending();
    const bool editing = current && (pending || f.editor->window()->focusWidget() == f.editor);
    switch (f.kind) {
        case EditorKind::Line:
        case EditorKind::Box:
            ShowFieldText(f, row == 0
                                 ? QString()
                                 : FromUtf8(editing ? dw.GetText() : dw.GetFormattedText(row, f.def->name)));
            break;
        case EditorKind::List:
            ShowChoice(f, row, ValueShown(f, row, pending));
            break;
        case EditorKind::Check: {
            const bool on = row > 0 && ValueShown(f, row, pending) == f.def->checkOn;
            auto* check = static_cast<QCheckBox*>(f.editor);
            const QSignalBlocker quiet(check);
            check->setChecked(on);
            break;
        }
    }
}

void FormView::ShowFieldText(Field& f, const QString& text) {
    if (f.kind == EditorKind::Box) {
        static_cast<LimitedTextBox*>(f.editor)->ShowText(text);
        return;
    }
    auto* line = static_cast<QLineEdit*>(f.editor);
    if (LineText(line) != text) line->setText(text);
}

std::string FormView::ValueShown(const Field& f, long row, bool pending) {
    if (row <= 0) return {};
    rt::DataWindow& dw = Engine();
    if (!pending) return dw.GetItem(row, f.def->name).ToText();
    // The text being edited, as the value it stands for.
    return f.kind == EditorKind::List ? DataOfEditText(f.choices, dw.GetText()).value_or("") : dw.GetText();
}

void FormView::ShowChoice(Field& f, long row, const std::string& value) {
    // A drop-down DataWindow whose rows changed offers its rows as they are now.
    rt::DataWindow* child = f.def->edit == EditStyle::DropDownDW ? Engine().GetChild(f.def->name) : nullptr;
    if (child != nullptr && static_cast<std::size_t>(std::max(0L, child->RowCount())) != f.choices.size())
        LoadChoices(f);
    auto* list = static_cast<QComboBox*>(f.editor);
    const QSignalBlocker quiet(list);
    list->setCurrentIndex(row > 0 ? IndexOfData(f.choices, value) : -1);
}

void FormView::RefreshComputes() {
    const long row = ShownRow();
    for (auto& [def, label] : computes_) {
        label->setText(FromUtf8(Engine().GetComputedText(def->name, row)));
    }
}

void FormView::OnChange(rt::Change change, long row, int column) {
    if (Detached()) return;
    switch (change) {
        case rt::Change::Reset:
            for (Field& f : fields_) LoadChoices(f);
            RefreshAll();
            break;
        case rt::Change::RowInserted:
        case rt::Change::RowDeleted:
        case rt::Change::RowReselected:
        case rt::Change::CurrentRow:
            RefreshAll();
            break;
        case rt::Change::ItemChanged:
            if (row == ShownRow()) {
                if (Field* f = FieldByNumber(column)) RefreshField(*f);
            }
            RefreshComputes();
            break;
        case rt::Change::CurrentColumn: {
            const int before = shownColumn_;
            shownColumn_ = Engine().GetColumn();
            if (Field* f = FieldByNumber(before)) RefreshField(*f);
            if (Field* f = FieldByNumber(shownColumn_)) RefreshField(*f);
            if (!Syncing()) FollowEngineColumn();
            break;
        }
        case rt::Change::EditText:
            if (!Pushing()) {
                if (Field* f = FieldByNumber(Engine().GetColumn())) RefreshField(*f);
            }
            break;
        case rt::Change::Selection:
            break;
    }
}

void FormView::FollowEngineColumn() {
    if (!FocusInside()) return;
    Field* f = FieldByNumber(Engine().GetColumn());
    if (f == nullptr || f->editor->focusPolicy() == Qt::NoFocus || !f->editor->isVisible()) return;
    if (window()->focusWidget() != f->editor) MoveFocus(f->editor);
}

// ---- the user's actions -------------------------------------------------------------------------

void FormView::Edited(std::size_t index, const std::string& text, bool accept) {
    if (Detached() || index >= fields_.size()) return;
    Field& f = fields_[index];
    rt::DataWindow& dw = Engine();
    const long row = ShownRow();
    if (row == 0) return;
    if (dw.GetRow() != row || dw.GetColumn() != f.number) {
        // Typing reached a field the engine is not in (a refused move): put the engine there first.
        if (!AcceptPending()) {
            if (!Detached()) RefreshField(f);
            return;
        }
        if (Detached()) return;
        if (dw.GetRow() != row) dw.SetRow(row);
        if (!Detached() && dw.GetColumn() != f.number) dw.SetColumn(f.number);
        if (Detached()) return;
        if (dw.GetRow() != row || dw.GetColumn() != f.number) {
            RefreshField(f);
            return;
        }
    }
    PushEditText(text);
    if (accept && !Detached()) {
        dw.AcceptText();
        if (!Detached()) RefreshField(f);
    }
}

void FormView::FocusIn(Field& f, Qt::FocusReason reason) {
    if (std::exchange(focusAway_, false)) entering_ = true;
    if (Syncing() || reason == Qt::MouseFocusReason || reason == Qt::PopupFocusReason ||
        reason == Qt::ActiveWindowFocusReason) {
        // A mouse press moves the engine itself (clicked first); the other reasons return to a
        // field the engine is in already.
        RefreshField(f);
        ensureWidgetVisible(f.editor, 0, 0);
        return;
    }
    if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) && !tabbing_) {
        // Tabbing in from another control: the cursor goes to the field the engine is in.
        QWidget* target = FocusTarget();
        if (target != nullptr && target != f.editor) {
            tabbing_ = true;
            target->setFocus(reason);
            tabbing_ = false;
            return;
        }
    }
    rt::DataWindow& dw = Engine();
    const long row = ShownRow();
    if (row > 0 && dw.GetRow() != row) dw.SetRow(row);
    const bool entered = std::exchange(entering_, false);
    const bool moves = dw.GetColumn() != f.number;
    if (!Detached() && moves) dw.SetColumn(f.number);
    if (Detached()) return;
    if (entered && !moves) dw.TriggerEvent("itemfocuschanged");
    if (Detached()) return;
    RefreshField(f);
    ensureWidgetVisible(f.editor, 0, 0);
    if (dw.GetColumn() != f.number) FollowEngineColumn();
}

void FormView::Tab(Field& f, bool forward) {
    if (!AcceptPending() || Detached()) return;
    const DataWindowDef* def = Engine().Definition();
    if (def == nullptr) return;
    const std::vector<int> order = TabSequence(*def);
    if (!order.empty() && (forward ? order.back() : order.front()) == f.number &&
        Leave(this, f.editor, forward))
        return;
    Field* next = FieldByNumber(NextInTab(*def, f.number, forward));
    if (next == nullptr || next == &f || !next->editor->isVisible()) {
        RefreshField(f);
        return;
    }
    tabbing_ = true;
    next->editor->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    tabbing_ = false;
}

bool FormView::Key(Field& f, QKeyEvent* e) {
    if (!Enabled()) return true;
    if ((e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
        const bool shift = (e->modifiers() & Qt::ShiftModifier) != 0;
        if (e->key() == Qt::Key_Backtab || (e->key() == Qt::Key_Tab && shift)) {
            Tab(f, false);
            return true;
        }
        if (e->key() == Qt::Key_Tab) {
            Tab(f, true);
            return true;
        }
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !TakesInput(*f.def)) {
            // A field filled by a double-click (a picker) is filled from the keyboard by Enter.
            const QPoint at = canvas_->mapTo(this, f.editor->geometry().center());
            Engine().DoubleClick(ShownRow(), f.def->name, UnitsX(at.x()), UnitsY(at.y()));
            return true;
        }
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && f.kind == EditorKind::Line) {
            AcceptPending();
            if (!Detached()) RefreshField(f);
            return true;
        }
    }
    // A display-only list or box shows its value; no key may change it.
    return (f.kind == EditorKind::List || f.kind == EditorKind::Check) && !TakesInput(*f.def);
}

bool FormView::Press(Field& f, QObject* watched, QMouseEvent* e) {
    const bool entered = std::exchange(entering_, false);
    if (!Enabled()) return true;
    if (e->button() != Qt::LeftButton) return false;
    if (TakesFocus(*f.def)) {
        // The field being left kept the focus: its text was rejected, the click goes nowhere.
        if (f.editor->window()->focusWidget() != f.editor) return true;
    } else if (!AcceptPending()) {
        return true;
    }
    if (Detached()) return true;
    const QPoint p = static_cast<QWidget*>(watched)->mapTo(this, e->position().toPoint());
    const bool moves = Engine().GetColumn() != f.number;
    Engine().Click(ShownRow(), f.def->name, UnitsX(p.x()), UnitsY(p.y()));
    if (Detached()) return true;
    if (entered && !moves && Engine().GetColumn() == f.number) {
        Engine().TriggerEvent("itemfocuschanged");
        if (Detached()) return true;
    }
    if (Engine().GetColumn() != f.number) {
        // The clicked handler kept the current field.
        FollowEngineColumn();
        return true;
    }
    RefreshField(f);
    return (f.kind == EditorKind::List || f.kind == EditorKind::Check) && !TakesInput(*f.def);
}

bool FormView::DoubleClick(Field& f, QObject* watched, QMouseEvent* e) {
    if (!Enabled()) return true;
    if (e->button() != Qt::LeftButton) return false;
    const QPoint p = static_cast<QWidget*>(watched)->mapTo(this, e->position().toPoint());
    Engine().DoubleClick(ShownRow(), f.def->name, UnitsX(p.x()), UnitsY(p.y()));
    if (Detached()) return true;
    return (f.kind == EditorKind::List || f.kind == EditorKind::Check) && !TakesInput(*f.def);
}

void FormView::BackgroundClick(QMouseEvent* e, bool doubleClick) {
    if (!Enabled() || e->button() != Qt::LeftButton) return;
    const QPoint onCanvas = e->position().toPoint();
    const bool onRecord = Engine().RowCount() > 0 && onCanvas.y() >= detailTop_ &&
                          onCanvas.y() < std::max(detailBottom_, detailTop_ + 1);
    const long row = onRecord ? ShownRow() : 0;
    const QPoint p = canvas_->mapTo(this, onCanvas);
    if (doubleClick) {
        Engine().DoubleClick(row, "", UnitsX(p.x()), UnitsY(p.y()));
    } else {
        Engine().Click(row, "", UnitsX(p.x()), UnitsY(p.y()));
    }
}

bool FormView::eventFilter(QObject* watched, QEvent* e) {
    if (Detached()) return false;
    if (watched == canvas_) {
        if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
            BackgroundClick(static_cast<QMouseEvent*>(e), e->type() == QEvent::MouseButtonDblClick);
            return true;
        }
        return false;
    }
    Field* f = FieldOf(watched);
    if (f == nullptr) return false;
    const bool onEditor = watched == f->editor;
    switch (e->type()) {
        case QEvent::FocusIn:
            if (onEditor) {
                canvas_->SetFocusFrame(f->editor->geometry());
                FocusIn(*f, static_cast<QFocusEvent*>(e)->reason());
            }
            return false;
        case QEvent::FocusOut: {
            const auto reason = static_cast<QFocusEvent*>(e)->reason();
            if (onEditor && reason != Qt::PopupFocusReason) canvas_->SetFocusFrame({});
            // A drop-down's list or a message box takes the focus for a moment and gives it back.
            const QWidget* next = QApplication::focusWidget();
            if (onEditor && next != nullptr && !isAncestorOf(next) && reason != Qt::PopupFocusReason)
                focusAway_ = true;
            if (onEditor) EditorFocusOut(f->editor, reason);
            return false;
        }
        case QEvent::KeyPress:
            return onEditor && Key(*f, static_cast<QKeyEvent*>(e));
        case QEvent::MouseButtonPress:
            return Press(*f, watched, static_cast<QMouseEvent*>(e));
        case QEvent::MouseButtonDblClick:
            return DoubleClick(*f, watched, static_cast<QMouseEvent*>(e));
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
            return !Enabled() ||
                   ((f->kind == EditorKind::List || f->kind == EditorKind::Check) && !TakesInput(*f->def));
        case QEvent::Wheel:
            // A list changes its value under the wheel only while the user is in it.
            if (f->kind == EditorKind::List) {
                return !Enabled() || !TakesInput(*f->def) || f->editor->window()->focusWidget() != f->editor;
            }
            return f->kind != EditorKind::Box && !Enabled();
        default:
            return false;
    }
}

void FormView::ApplyEnabled() {
    const bool on = Enabled();
    for (Field& f : fields_) {
        f.editor->setFocusPolicy(on && TakesFocus(*f.def) ? Qt::StrongFocus : Qt::NoFocus);
        const bool readOnly = !on || !TakesInput(*f.def);
        if (f.kind == EditorKind::Line) static_cast<QLineEdit*>(f.editor)->setReadOnly(readOnly);
        if (f.kind == EditorKind::Box) {
            auto* box = static_cast<LimitedTextBox*>(f.editor);
            box->setReadOnly(readOnly);
            box->setTextInteractionFlags(readOnly ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                                  : Qt::TextEditorInteraction);
        }
    }
    if (!on && FocusInside()) {
        const SyncGuard quiet(*this);
        window()->focusWidget()->clearFocus();
    }
}

void FormView::SetVScrollBar(bool on) {
    setVerticalScrollBarPolicy(on ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

}  // namespace rt::ui::dwview

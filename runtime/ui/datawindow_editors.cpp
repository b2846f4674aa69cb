#include "runtime/ui/datawindow_editors.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextCursor>
#include <algorithm>

#include "runtime/text/text.h"
#include "runtime/ui/accessible.h"

namespace rt::ui::dwview {

namespace {

bool IsNumber(ColType t) {
    return t == ColType::Decimal || t == ColType::Long || t == ColType::Real;
}

// Characters that mean something in an input mask and must be escaped to stand for themselves.
bool IsMaskMeta(QChar c) {
    static const QString meta = QStringLiteral("AaNnXx90DdHhBb#><!{}[]\\;");
    return meta.contains(c);
}

// Digits allowed before and after the point by a number mask such as "###,###.00".
void DigitsOfNumberMask(const std::string& mask, int& intDigits, int& decimals, bool& grouping) {
    intDigits = 0;
    decimals = 0;
    grouping = false;
    bool afterPoint = false;
    for (char c : mask) {
        if (c == '.') {
            afterPoint = true;
        } else if (c == ',') {
            grouping = grouping || !afterPoint;
        } else if (c == '#' || c == '0') {
            (afterPoint ? decimals : intDigits) += 1;
        }
    }
}

}  // namespace

std::string Utf8(const QString& s) {
    const QByteArray b = s.toUtf8();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

QString FromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

Qt::Alignment AlignmentOf(Align a) {
    switch (a) {
        case Align::Center:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case Align::Right:
            return Qt::AlignRight | Qt::AlignVCenter;
        case Align::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

QFont ContentFont() {
    QFont f = QApplication::font();
    f.setFamilies({QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                   QStringLiteral("Source Han Sans SC"), QStringLiteral("Microsoft YaHei"),
                   QStringLiteral("SimSun"), QStringLiteral("宋体")});
    f.setPointSize(9);
    return f;
}

EditorKind KindOf(const ColumnDef& c, bool multiLine) {
    switch (c.edit) {
        case EditStyle::DropDownList:
        case EditStyle::DropDownDW:
            return EditorKind::List;
        case EditStyle::CheckBox:
            return EditorKind::Check;
        case EditStyle::EditMask:
            return EditorKind::Line;
        case EditStyle::Edit:
            break;
    }
    return multiLine && c.lines > 1 ? EditorKind::Box : EditorKind::Line;
}

bool TakesFocus(const ColumnDef& c) {
    return c.visible && c.tabOrder > 0;
}

bool TakesInput(const ColumnDef& c) {
    return TakesFocus(c) && !c.displayOnly;
}

std::vector<int> TabSequence(const DataWindowDef& def) {
    std::vector<int> seq;
    for (std::size_t i = 0; i < def.columns.size(); ++i) {
        if (TakesFocus(def.columns[i])) seq.push_back(static_cast<int>(i) + 1);
    }
    std::stable_sort(seq.begin(), seq.end(), [&](int a, int b) {
        return def.columns[static_cast<std::size_t>(a) - 1].tabOrder <
               def.columns[static_cast<std::size_t>(b) - 1].tabOrder;
    });
    return seq;
}

int NextInTab(const DataWindowDef& def, int current, bool forward) {
    const std::vector<int> seq = TabSequence(def);
    if (seq.empty()) return 0;
    const auto it = std::find(seq.begin(), seq.end(), current);
    if (it == seq.end()) return forward ? seq.front() : seq.back();
    const auto n = static_cast<std::ptrdiff_t>(seq.size());
    const std::ptrdiff_t i = it - seq.begin();
    return seq[static_cast<std::size_t>((i + (forward ? 1 : n - 1)) % n)];
}

QString InputMaskFor(const ColumnDef& c) {
    if (c.edit != EditStyle::EditMask || c.mask.empty() || IsNumber(c.type)) return {};
    const QString mask = FromUtf8(c.mask);
    QString out;
    for (QChar ch : mask) {
        const bool date = c.type == ColType::Date;
        if (date && (ch == u'y' || ch == u'm' || ch == u'd')) {
            out += u'0';
        } else if (!date && ch == u'#') {
            out += u'0';
        } else if (!date && ch == u'a') {
            out += u'n';
        } else if (!date && ch == u'x') {
            out += u'x';
        } else if (!date && ch == u'!') {
            out += QStringLiteral(">x!");  // any character, made upper case
        } else if (!date && ch == u'^') {
            out += QStringLiteral("<x!");
        } else {
            if (IsMaskMeta(ch)) out += u'\\';
            out += ch;
        }
    }
    return out;
}

GbkLimitValidator::GbkLimitValidator(std::size_t limit, QLineEdit* editor)
    : QValidator(editor), limit_(limit), before_(editor->text()) {
    connect(editor, &QLineEdit::textChanged, this, [this](const QString& text) { before_ = text; });
}

QValidator::State GbkLimitValidator::validate(QString& input, int& pos) const {
    const std::size_t bytes = GbkLength(Utf8(input));
    if (bytes <= limit_ || bytes < GbkLength(Utf8(before_))) return Acceptable;

    // What the edit put in: the new text less what it shares with the old one at both ends, never
    // splitting a character that takes two UTF-16 units.
    qsizetype head = 0;
    while (head < before_.size() && head < input.size() && before_[head] == input[head]) ++head;
    if (head > 0 && input[head - 1].isHighSurrogate()) --head;
    qsizetype tail = 0;
    while (tail < before_.size() - head && tail < input.size() - head &&
           before_[before_.size() - 1 - tail] == input[input.size() - 1 - tail])
        ++tail;
    if (tail > 0 && input[input.size() - tail].isLowSurrogate()) --tail;

    // The longest beginning of it that fits, as a multi-line box cuts a paste.
    const QString kept = input.left(head) + input.right(tail);
    const std::size_t used = GbkLength(Utf8(kept));
    if (used >= limit_) return Invalid;
    const QString admitted =
        FromUtf8(GbkLeft(Utf8(input.mid(head, input.size() - head - tail)), limit_ - used));
    if (admitted.isEmpty()) return Invalid;
    input = input.left(head) + admitted + input.right(tail);
    pos = static_cast<int>(head + admitted.size());
    return Acceptable;
}

namespace {

// One place of an input mask: a separator (a literal shown as it is) or a class of characters.
struct MaskPlace {
    bool separator = false;
    QChar c;  // the separator itself, or the class letter
};

std::vector<MaskPlace> PlacesOf(const QString& mask) {
    std::vector<MaskPlace> places;
    bool escape = false;
    for (QChar ch : mask) {
        if (escape) {
            places.push_back({true, ch});
            escape = false;
        } else if (ch == u';') {
            break;  // the blank character follows
        } else if (ch == u'\\') {
            escape = true;
        } else if (ch == u'>' || ch == u'<' || ch == u'!' || ch == u'[' || ch == u']' || ch == u'{' ||
                   ch == u'}') {
            continue;  // case modes and reserved characters take no place
        } else {
            places.push_back({!IsMaskMeta(ch), ch});
        }
    }
    return places;
}

// The characters a class takes. The blank that stands for an empty optional place is no typed
// character: typed, it would leave a gap that the mask's reading refuses later.
bool ClassTakes(QChar cls, QChar c) {
    switch (cls.toUpper().unicode()) {
        case 'A':
            return c.isLetter();
        case 'N':
            return c.isLetterOrNumber();
        case 'X':
            return c.isPrint();
        case '9':
        case '0':
            return c.isNumber();
        case 'D':
            return c.isNumber() && c.digitValue() > 0;
        case '#':
            return c.isNumber() || c == u'+' || c == u'-';
        case 'H':
            return c.isDigit() || (c.toUpper() >= u'A' && c.toUpper() <= u'F');
        case 'B':
            return c == u'0' || c == u'1';
        default:
            return false;
    }
}

// Whether the input mask (the editor's notation) takes the character at the position, counted in
// the mask's places; the separators met on the way are stepped over, unless `c` is the separator.
bool MaskTakesAt(const QString& mask, int position, QChar c) {
    const std::vector<MaskPlace> places = PlacesOf(mask);
    auto at = static_cast<std::size_t>(std::max(position, 0));
    // The separator where it stands: the editor steps over it. Right behind the cursor, it was
    // stepped over already by the character before it: typing it again changes nothing.
    if (at < places.size() && places[at].separator && places[at].c == c) return true;
    if (at > 0 && at <= places.size() && places[at - 1].separator && places[at - 1].c == c) return false;
    while (at < places.size() && places[at].separator) ++at;
    return at < places.size() && ClassTakes(places[at].c, c);
}

// The character that shows an empty place of the input mask.
QChar BlankOf(const QString& mask) {
    const qsizetype semicolon = mask.lastIndexOf(u';');
    return semicolon >= 0 && semicolon + 1 < mask.size() ? mask.at(semicolon + 1) : QChar(u' ');
}

// A line with an input mask. Typing goes on right after the typed text: a click or a key that puts
// the cursor further right, among the blanks, would have the next characters land behind a gap that
// the mask's reading refuses, or past the last place, where they are lost. A character the mask
// does not take where the cursor stands is refused with a beep, and the cursor stays, instead of
// the character landing at a later place that takes it with blanks left in between. Typing the
// separator steps over it (once: the editor itself steps over a separator after the character
// before it).
class MaskedLine : public QLineEdit {
  public:
    using QLineEdit::QLineEdit;

  protected:
    void mousePressEvent(QMouseEvent* e) override {
        QLineEdit::mousePressEvent(e);
        if (!hasSelectedText() && cursorPosition() > TypedEnd()) setCursorPosition(TypedEnd());
    }

    void keyPressEvent(QKeyEvent* e) override {
        const QString typed = e->text();
        if (!isReadOnly() && !inputMask().isEmpty() && typed.size() == 1 && typed.at(0).isPrint() &&
            (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
            int at = hasSelectedText() ? selectionStart() : cursorPosition();
            if (const int end = TypedEnd(); at > end) {
                setCursorPosition(end);
                at = end;
            }
            if (!MaskTakesAt(inputMask(), at, typed.at(0))) {
                QApplication::beep();
                e->accept();  // refused where the cursor is; nothing moves
                return;
            }
        }
        QLineEdit::keyPressEvent(e);
    }

  private:
    // The first place to type in after the last typed character (the first of all when nothing
    // is typed), past the separators in between, as the editor itself steps over them.
    int TypedEnd() const {
        const std::vector<MaskPlace> places = PlacesOf(inputMask());
        const QString shown = displayText();
        const QChar blank = BlankOf(inputMask());
        std::size_t end = 0;
        for (std::size_t i = 0; i < places.size() && i < static_cast<std::size_t>(shown.size()); ++i) {
            if (!places[i].separator && shown.at(static_cast<qsizetype>(i)) != blank) end = i + 1;
        }
        while (end < places.size() && places[end].separator) ++end;
        return static_cast<int>(end);
    }
};

}  // namespace

QValidator::State NumberValidator::validate(QString& input, int&) const {
    int pos = 0;
    if (sign_ && input.startsWith(u'-')) pos = 1;
    int intDigits = 0;
    int decimals = 0;
    bool point = false;
    for (; pos < input.size(); ++pos) {
        const QChar ch = input[pos];
        if (ch >= u'0' && ch <= u'9') {
            if (point) {
                if (++decimals > decimals_) return Invalid;
            } else if (++intDigits > intDigits_) {
                return Invalid;
            }
        } else if (ch == u',' && grouping_ && !point) {
            continue;
        } else if (ch == u'.' && decimals_ > 0 && !point) {
            point = true;
        } else {
            return Invalid;
        }
    }
    return intDigits + decimals == 0 ? Intermediate : Acceptable;
}

LimitedTextBox::LimitedTextBox(std::size_t limit, QWidget* parent) : QPlainTextEdit(parent), limit_(limit) {
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!showing_) emit edited(toPlainText());
    });
}

void LimitedTextBox::ShowText(const QString& text) {
    if (toPlainText() == text) return;
    showing_ = true;
    setPlainText(text);
    showing_ = false;
}

QString LimitedTextBox::Admit(const QString& insert) const {
    if (limit_ == 0) return insert;
    QString selected = textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, u'\n');
    const std::size_t used = GbkLength(Utf8(toPlainText())) - GbkLength(Utf8(selected));
    const std::size_t room = used >= limit_ ? 0 : limit_ - used;
    return FromUtf8(GbkLeft(Utf8(insert), room));
}

void LimitedTextBox::keyPressEvent(QKeyEvent* e) {
    if (!isReadOnly()) {
        QString typed;
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            typed = QStringLiteral("\n");
        } else if (!e->text().isEmpty() && (e->text().at(0).isPrint() || e->text().at(0).isSurrogate())) {
            // A character beyond the basic plane (an emoji) comes as two UTF-16 units, neither of
            // them printable by itself; it counts as the bytes validation counts.
            typed = e->text();
        }
        if (!typed.isEmpty() && Admit(typed) != typed) {
            e->accept();  // refused: the box is full
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(e);
}

void LimitedTextBox::inputMethodEvent(QInputMethodEvent* e) {
    const QString commit = e->commitString();
    if (!isReadOnly() && !commit.isEmpty()) {
        const QString admitted = Admit(commit);
        if (admitted != commit) {
            QInputMethodEvent cut(e->preeditString(), e->attributes());
            cut.setCommitString(admitted, e->replacementStart(), e->replacementLength());
            QPlainTextEdit::inputMethodEvent(&cut);
            e->accept();
            return;
        }
    }
    QPlainTextEdit::inputMethodEvent(e);
}

void LimitedTextBox::insertFromMimeData(const QMimeData* source) {
    if (source == nullptr || !source->hasText()) return;
    const QString admitted = Admit(source->text());
    if (!admitted.isEmpty()) textCursor().insertText(admitted);
}

std::vector<Choice> ChoicesOf(const ColumnDef& c, rt::DataWindow* child) {
    std::vector<Choice> out;
    if (c.edit == EditStyle::DropDownList) {
        for (const CodeEntry& e : c.codes) out.push_back({FromUtf8(e.display), e.data});
    } else if (c.edit == EditStyle::DropDownDW && child != nullptr) {
        const long rows = child->RowCount();
        out.reserve(static_cast<std::size_t>(std::max(0L, rows)));
        for (long r = 1; r <= rows; ++r) {
            out.push_back({FromUtf8(child->GetItemString(r, c.dddwDisplay).value_or(std::string())),
                           child->GetItem(r, c.dddwData).ToText()});
        }
    }
    return out;
}

std::string EditTextOf(const Choice& choice) {
    return choice.data;
}

std::optional<std::string> DataOfEditText(const std::vector<Choice>& choices, const std::string& text) {
    if (IndexOfData(choices, text) >= 0) return text;
    const QString shown = FromUtf8(text);
    for (const Choice& c : choices) {
        if (c.display == shown) return c.data;
    }
    return std::nullopt;
}

int IndexOfData(const std::vector<Choice>& choices, const std::string& value) {
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].data == value) return static_cast<int>(i);
    }
    return -1;
}

void FillList(QComboBox* box, const std::vector<Choice>& choices) {
    const QSignalBlocker quiet(box);
    box->clear();
    for (const Choice& c : choices) box->addItem(c.display);
    box->setCurrentIndex(-1);
}

std::string FieldName(const DataWindowDef& def, const ColumnDef& c) {
    std::string_view group;
    if (!c.labelText.empty()) {
        for (const TextDef& t : def.texts)
            if (SameName(t.name, c.labelText)) group = t.text;
    }
    return SpokenText({group, c.place, c.label});
}

QWidget* CreateEditor(const DataWindowDef& def, const ColumnDef& c, EditorKind kind, QWidget* parent) {
    QWidget* editor = nullptr;
    const Qt::Alignment align = AlignmentOf(c.align);
    switch (kind) {
        case EditorKind::Line: {
            const QString mask = InputMaskFor(c);
            auto* line = mask.isEmpty() ? new QLineEdit(parent) : new MaskedLine(parent);
            line->setFrame(false);
            line->setAlignment(align);
            if (!mask.isEmpty()) {
                line->setInputMask(mask);
            } else if (IsNumber(c.type)) {
                int intDigits = 15, decimals = c.type == ColType::Long ? 0 : 2;
                bool grouping = true;
                const bool masked = c.edit == EditStyle::EditMask && !c.mask.empty();
                if (masked) DigitsOfNumberMask(c.mask, intDigits, decimals, grouping);
                if (c.type == ColType::Long && !masked) intDigits = 10;
                if (c.type == ColType::Real && !masked) decimals = 15;
                line->setValidator(new NumberValidator(intDigits, decimals, grouping, !masked, line));
            } else if (const std::size_t limit = ByteLimit(c); limit > 0) {
                line->setValidator(new GbkLimitValidator(limit, line));
            }
            line->setReadOnly(!TakesInput(c));
            editor = line;
            break;
        }
        case EditorKind::Box: {
            auto* box = new LimitedTextBox(ByteLimit(c), parent);
            box->setFrameShape(QFrame::NoFrame);
            box->setTabChangesFocus(true);
            box->setReadOnly(!TakesInput(c));
            if (box->isReadOnly()) {
                box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            }
            QTextOption option = box->document()->defaultTextOption();
            option.setAlignment(align & Qt::AlignHorizontal_Mask);
            box->document()->setDefaultTextOption(option);
            editor = box;
            break;
        }
        case EditorKind::List: {
            auto* list = new QComboBox(parent);
            list->setEditable(false);
            list->setFrame(false);
            list->setMaxVisibleItems(20);
            editor = list;
            break;
        }
        case EditorKind::Check: {
            auto* check = new QCheckBox(parent);
            editor = check;
            break;
        }
    }
    editor->setObjectName(QString::fromStdString(c.name));
    SetSpokenName(editor, FieldName(def, c), c.tag);
    editor->setFocusPolicy(TakesFocus(c) ? Qt::StrongFocus : Qt::NoFocus);
    return editor;
}

QString LineText(const QLineEdit* edit) {
    if (edit->inputMask().isEmpty()) return edit->text();
    // Only the literals of the mask: nothing typed.
    QString shown = edit->text();
    const QString mask = edit->inputMask();
    QString literals;
    bool escape = false;
    for (QChar ch : mask) {
        if (ch == u';') break;
        if (escape) {
            literals += ch;
            escape = false;
        } else if (ch == u'\\') {
            escape = true;
        } else if (!IsMaskMeta(ch)) {
            literals += ch;
        }
    }
    for (QChar ch : shown) {
        if (!literals.contains(ch)) return shown;
    }
    return {};
}

}  // namespace rt::ui::dwview

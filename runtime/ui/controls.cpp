#include "runtime/ui/controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <algorithm>

#include "runtime/ui/accessible.h"
#include "runtime/ui/dialogs.h"
#include "runtime/ui/window.h"

namespace rt::ui {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QColor Resolve(SystemColor c, Rgb fallback) {
    const QPalette p = QApplication::palette();
    switch (c) {
        case SystemColor::WindowText:
            return p.color(QPalette::WindowText);
        case SystemColor::Window:
            return p.color(QPalette::Base);
        case SystemColor::ButtonFace:
            return p.color(QPalette::Button);
        case SystemColor::AppWorkspace:
            return p.color(QPalette::Dark);
        case SystemColor::HighlightText:
            return p.color(QPalette::HighlightedText);
        case SystemColor::Link:
            return p.color(QPalette::Link);
        case SystemColor::None:
            break;
    }
    return QColor(fallback.r, fallback.g, fallback.b);
}

QFont ToQFont(const rt::ui::Font& f) {
    QFont q(Q(f.face));
    // Faces of another desktop ("宋体", "华文宋体") fall back to an installed CJK family.
    q.setStyleHint(QFont::AnyStyle, QFont::PreferMatch);
    q.setPointSize(f.points);
    q.setBold(f.bold);
    q.setUnderline(f.underline);
    return q;
}

void ApplyBorder(QFrame* frame, Border b) {
    switch (b) {
        case Border::None:
            frame->setFrameStyle(QFrame::NoFrame);
            break;
        case Border::Box:
            frame->setFrameStyle(QFrame::Box | QFrame::Plain);
            break;
        case Border::Lowered:
            frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            break;
        case Border::Raised:
            frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
            break;
        case Border::Shadow:
            frame->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
            break;
    }
}

// A label that reports clicks synchronously. One that takes the focus (a link) is pressed by Enter
// and the space bar too, and shows that it has the focus with a dotted frame in its text's colour,
// which stands out on whatever background it has.
class ClickLabel : public QLabel {
  public:
    std::function<void()> onClick;

  protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && onClick) onClick();
        QLabel::mouseReleaseEvent(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        const bool press =
            e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space;
        if (press && e->modifiers() == Qt::NoModifier && focusPolicy() != Qt::NoFocus && onClick) {
            e->accept();
            onClick();
            return;
        }
        QLabel::keyPressEvent(e);
    }
    void paintEvent(QPaintEvent* e) override {
        QLabel::paintEvent(e);
        if (!hasFocus()) return;
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

// Keeps a backdrop as large as the area it lies on. Owned by the backdrop.
class FollowArea : public QObject {
  public:
    explicit FollowArea(QWidget* backdrop) : QObject(backdrop), backdrop_(backdrop) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Resize && watched == backdrop_->parentWidget())
            backdrop_->setGeometry(backdrop_->parentWidget()->rect());
        return false;
    }

  private:
    QWidget* backdrop_;
};

}  // namespace

// ---- StaticText -------------------------------------------------------------------------------

StaticText::StaticText(Window& parent, std::string name, const std::string& text)
    : Control(parent, std::move(name)) {
    auto* label = new ClickLabel;
    label->setAutoFillBackground(true);
    label->setFocusPolicy(Qt::NoFocus);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->onClick = [this] {
        if (Enabled() && clicked) clicked();
    };
    Attach(label);
    SetText(text);
    ApplyColors();
}

void StaticText::SetText(std::string_view text) {
    text_ = std::string(text);
    static_cast<QLabel*>(Widget())->setText(Q(text));
}

void StaticText::SetTag(std::string tag) {
    tag_ = std::move(tag);
    Widget()->setAccessibleDescription(Q(tag_));
}

void StaticText::SetBuddy(Control& field) {
    static_cast<QLabel*>(Widget())->setBuddy(field.Widget());
    SetSpokenName(field.Widget(), CommandText(text_));
}

void StaticText::SetFont(const rt::ui::Font& f) {
    Widget()->setFont(ToQFont(f));
    OnGeometryChanged();
}

void StaticText::OnGeometryChanged() {
    if (text_.empty()) return;
    QWidget* label = Widget();
    const QFontMetrics m(label->font());
    const int frame = 2 * static_cast<QFrame*>(label)->frameWidth();
    // The underline lies below the baseline, inside the descent or just under it.
    const int needed = m.ascent() + std::max(m.descent(), m.underlinePos() + m.lineWidth()) + 1 + frame;
    if (label->height() < needed) label->resize(label->width(), needed);
}

void StaticText::SetTextColor(Rgb c) {
    fore_ = c;
    foreSys_ = SystemColor::None;
    ApplyColors();
}
void StaticText::SetTextColor(SystemColor c) {
    foreSys_ = c;
    ApplyColors();
}
void StaticText::SetBackColor(Rgb c) {
    back_ = c;
    backSys_ = SystemColor::None;
    ApplyColors();
}
void StaticText::SetBackColor(SystemColor c) {
    backSys_ = c;
    ApplyColors();
}

void StaticText::ApplyColors() {
    QPalette p = Widget()->palette();
    p.setColor(QPalette::WindowText, Resolve(foreSys_, fore_));
    p.setColor(QPalette::Window, Resolve(backSys_, back_));
    Widget()->setPalette(p);
}

void StaticText::SetAlignment(TextAlign a) {
    Qt::Alignment h = a == TextAlign::Center  ? Qt::AlignHCenter
                      : a == TextAlign::Right ? Qt::AlignRight
                                              : Qt::AlignLeft;
    // Texts stand at the top of their control, like the captions of a printed form.
    static_cast<QLabel*>(Widget())->setAlignment(h | Qt::AlignTop);
}

void StaticText::SetWordWrap(bool on) {
    static_cast<QLabel*>(Widget())->setWordWrap(on);
}

void StaticText::SetBorder(Border b) {
    ApplyBorder(static_cast<QFrame*>(Widget()), b);
}

// ---- StaticHyperlink --------------------------------------------------------------------------

StaticHyperlink::StaticHyperlink(Window& parent, std::string name, const std::string& text, std::string url)
    : StaticText(parent, std::move(name), text), url_(std::move(url)) {
    Widget()->setCursor(Qt::PointingHandCursor);
    auto* label = static_cast<ClickLabel*>(Widget());
    label->onClick = [this] { Click(); };
    // A link is reached by Tab like a button, and a screen reader says it is a link.
    label->setFocusPolicy(Qt::StrongFocus);
    SetSpokenLink(label);
    SetTextColor(SystemColor::Link);
}

void StaticHyperlink::Click() {
    if (!Enabled()) return;
    if (!url_.empty()) OpenLink(url_);
    if (clicked) clicked();
}

// ---- CommandButton ----------------------------------------------------------------------------

CommandButton::CommandButton(Window& parent, std::string name, const std::string& text)
    : Control(parent, std::move(name)) {
    auto* button = new QPushButton;
    QObject::connect(button, &QPushButton::clicked, button, [this] { Click(); });
    Attach(button);
    SetText(text);
}

void CommandButton::SetText(std::string_view text) {
    text_ = std::string(text);
    static_cast<QPushButton*>(Widget())->setText(Q(text));
    SetSpokenName(Widget(), CommandText(text_));
    OnGeometryChanged();
}

void CommandButton::SetFont(const rt::ui::Font& f) {
    font_ = f;
    OnGeometryChanged();
}

// The label of a button laid out for one face may be taller in the face that stands in for it (a
// Chinese one for Arial): cut at top and bottom, it would be unreadable. Its font shrinks, half a
// point at a time and only as far as it must, to fit inside the button's frame.
void CommandButton::OnGeometryChanged() {
    if (!font_) return;  // the window's own font, made for the system
    auto* button = static_cast<QPushButton*>(Widget());
    QFont font = ToQFont(*font_);
    const int room =
        button->height() - 2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    // What the label draws: its characters without the access key's mark.
    const QString label = QString(button->text()).remove(QRegularExpression("&(?!&)"));
    while (room > 0 && font.pointSizeF() > 6 && QFontMetrics(font).tightBoundingRect(label).height() > room)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    if (font != button->font()) button->setFont(font);
}

void CommandButton::Click() {
    if (Enabled() && Visible() && clicked) clicked();
}

void CommandButton::SetDefault(bool on) {
    static_cast<QPushButton*>(Widget())->setDefault(on);
}

// ---- SingleLineEdit ---------------------------------------------------------------------------

SingleLineEdit::SingleLineEdit(Window& parent, std::string name, const std::string& text)
    : Control(parent, std::move(name)) {
    auto* edit = new QLineEdit;
    QObject::connect(edit, &QLineEdit::textEdited, edit, [this] {
        if (modified) modified();
    });
    Attach(edit);
    SetText(text);
}

std::string SingleLineEdit::Text() const {
    return static_cast<QLineEdit*>(Widget())->text().toStdString();
}

void SingleLineEdit::SetText(std::string_view text) {
    static_cast<QLineEdit*>(Widget())->setText(Q(text));
}

void SingleLineEdit::SetPassword(bool on) {
    static_cast<QLineEdit*>(Widget())->setEchoMode(on ? QLineEdit::Password : QLineEdit::Normal);
}

bool SingleLineEdit::Password() const {
    return static_cast<QLineEdit*>(Widget())->echoMode() == QLineEdit::Password;
}

void SingleLineEdit::SetLimit(int characters) {
    static_cast<QLineEdit*>(Widget())->setMaxLength(characters > 0 ? characters : 32767);
}

// ---- RadioButton and CheckBox ------------------------------------------------------------------

ToggleButton::ToggleButton(Window& parent, std::string name, std::string text, QAbstractButton* button)
    : Control(parent, std::move(name)), text_(std::move(text)) {
    QObject::connect(button, &QAbstractButton::clicked, button, [this] {
        if (clicked) clicked();
    });
    Attach(button);
    SetSpokenName(button, CommandText(text_));
}

bool ToggleButton::Checked() const {
    return static_cast<QAbstractButton*>(Widget())->isChecked();
}

void ToggleButton::SetChecked(bool on) {
    static_cast<QAbstractButton*>(Widget())->setChecked(on);
}

// The buttons of one window are one group: Qt groups those of one parent widget.
RadioButton::RadioButton(Window& parent, std::string name, const std::string& text)
    : ToggleButton(parent, std::move(name), text, new QRadioButton(Q(text))) {}

void RadioButton::Click() {
    if (!Enabled() || !Visible()) return;
    SetChecked(true);
    if (clicked) clicked();
}

CheckBox::CheckBox(Window& parent, std::string name, const std::string& text)
    : ToggleButton(parent, std::move(name), text, new QCheckBox(Q(text))) {}

void CheckBox::Click() {
    if (!Enabled() || !Visible()) return;
    SetChecked(!Checked());
    if (clicked) clicked();
}

// ---- GroupBox ---------------------------------------------------------------------------------

GroupBox::GroupBox(Window& parent, std::string name, const std::string& text)
    : Control(parent, std::move(name)) {
    auto* frame = new QFrame;
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    (void)text;
    Attach(frame);
}

void GroupBox::SetBorder(Border b) {
    ApplyBorder(static_cast<QFrame*>(Widget()), b);
}
void GroupBox::SetFont(const rt::ui::Font& f) {
    Widget()->setFont(ToQFont(f));
}

// ---- Picture ----------------------------------------------------------------------------------

Picture::Picture(Window& parent, std::string name, const std::string& file)
    : Control(parent, std::move(name)) {
    auto* label = new QLabel;
    label->setScaledContents(true);
    label->setFocusPolicy(Qt::NoFocus);
    Attach(label);
    if (!file.empty()) SetPictureName(file);
}

int Picture::SetPictureName(const std::string& file) {
    file_ = file;
    QPixmap pm;
    if (!pm.load(Q(file))) {
        static_cast<QLabel*>(Widget())->clear();
        return -1;
    }
    static_cast<QLabel*>(Widget())->setPixmap(pm);
    return 1;
}

void Picture::OnGeometryChanged() {}

// ---- MdiClient --------------------------------------------------------------------------------

MdiClient::MdiClient(Window& parent, std::string name) : Control(parent, std::move(name)) {
    auto* w = new QWidget;
    w->setAutoFillBackground(true);
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
    Attach(w);
    w->lower();
    // Follows the frame's client area as the frame is resized or maximised.
    if (QWidget* area = w->parentWidget()) area->installEventFilter(new FollowArea(w));
    OnGeometryChanged();
}

void MdiClient::OnGeometryChanged() {
    if (QWidget* area = Widget()->parentWidget()) Widget()->setGeometry(area->rect());
}

void MdiClient::SetBackColor(SystemColor c) {
    QPalette p = Widget()->palette();
    p.setColor(QPalette::Window, Resolve(c, {128, 128, 128}));
    Widget()->setPalette(p);
}

// ---- ComponentHost ----------------------------------------------------------------------------

ComponentHost::ComponentHost(Window& parent, std::string name, std::string kind)
    : Control(parent, std::move(name)), kind_(std::move(kind)) {
    Attach(new QWidget);
    Hide();
}

}  // namespace rt::ui

#include "runtime/ui/accessible.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace rt::ui {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

bool Blank(QChar c) {
    return c == u' ' || c == u'\t' || c == QChar(0x3000);
}

// A character of a script written without blanks between its words.
bool Ideographic(QChar c) {
    return c.unicode() >= 0x2E80 && !Blank(c);
}

// A drop-down list as a screen reader sees it, named by its label: the toolkit's own on Linux
// gives it its current entry for a name, which is its value. The value stays its value, and the
// list of entries its child.
class NamedComboBox : public QAccessibleWidget {
  public:
    explicit NamedComboBox(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {
        addControllingSignal(QStringLiteral("activated(int)"));
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return Box()->currentText();
        if (t == QAccessible::Accelerator)
            return QKeySequence(Qt::Key_Down).toString(QKeySequence::NativeText);
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(Box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child->object() == Box()->view() ? 0 : -1;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = Box()->view()->isVisible();
        return s;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) Box()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

  private:
    QComboBox* Box() const { return static_cast<QComboBox*>(widget()); }
};

// A text that opens a web page: a link, named by what it reads, pressed like a button.
class SpokenLink : public QAccessibleWidget {
  public:
    explicit SpokenLink(QLabel* label) : QAccessibleWidget(label, QAccessible::Link) {
        addControllingSignal(QStringLiteral("linkActivated(QString)"));
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return QString::fromStdString(SpokenText(static_cast<QLabel*>(widget())->text().toStdString()));
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action != pressAction()) return;
        // What Enter does on it.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(widget(), &press);
    }
};

constexpr const char* kLinkProperty = "laurel_link";

QAccessibleInterface* NamedInterfaces(const QString&, QObject* object) {
    if (auto* label = qobject_cast<QLabel*>(object);
        label != nullptr && label->property(kLinkProperty).toBool())
        return new SpokenLink(label);
    auto* box = qobject_cast<QComboBox*>(object);
    if (box != nullptr && !box->isEditable() && !box->accessibleName().isEmpty())
        return new NamedComboBox(box);
    return nullptr;
}

}  // namespace

std::string SpokenText(std::string_view text) {
    const QString in = Q(text);
    QString out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QChar c = in.at(i);
        if (c == u'&') {
            if (i + 1 < in.size() && in.at(i + 1) == u'&') out += in.at(++i);
            continue;
        }
        if (!Blank(c)) {
            out += c;
            continue;
        }
        qsizetype end = i;
        while (end < in.size() && Blank(in.at(end))) ++end;
        // Blanks between or beside ideographs only space the characters out.
        const bool spacing =
            (!out.isEmpty() && Ideographic(out.back())) || (end < in.size() && Ideographic(in.at(end)));
        if (!spacing && !out.isEmpty() && end < in.size()) out += u' ';
        i = end - 1;
    }
    while (!out.isEmpty() && (out.back() == u'：' || out.back() == u':')) out.chop(1);
    return out.toStdString();
}

std::string SpokenText(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view p : parts) {
        const std::string said = SpokenText(p);
        if (said.empty()) continue;
        if (!out.empty()) out += ' ';
        out += said;
    }
    return out;
}

std::string CommandText(std::string_view text) {
    QString t = Q(text.substr(0, text.find('\t')));
    // "系统管理(&S)", "本台电脑的数据库(&L)（…）": the bracketed access key is no part of what the
    // command is called.
    for (qsizetype open = t.indexOf(QStringLiteral("(&")); open >= 0;
         open = t.indexOf(QStringLiteral("(&"), open)) {
        if (open + 3 < t.size() && t.at(open + 2) != u'&' && t.at(open + 3) == u')')
            t.remove(open, 4);
        else
            ++open;
    }
    return SpokenText(t.toStdString());
}

namespace {
void InstallNamedInterfaces() {
    static const bool installed = (QAccessible::installFactory(NamedInterfaces), true);
    (void)installed;
}

// The toolkit marks the control that has the focus only once Tab has moved it there, and forgets
// that again whenever a window is shown. Whoever uses the keyboard alone must see where the focus
// is from the first moment, whatever put it there: each window is marked again as it is shown and
// as a control of it takes the focus, before that control is painted.
class FocusMarker : public QObject {
  public:
    explicit FocusMarker(QObject* application) : QObject(application) {
        application->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::FocusIn || e->type() == QEvent::Show) {
            if (auto* w = qobject_cast<QWidget*>(watched);
                w != nullptr && (e->type() == QEvent::FocusIn || w->isWindow()))
                w->window()->setAttribute(Qt::WA_KeyboardFocusChange);
        }
        return false;
    }
};
}  // namespace

void ShowFocusAlways() {
    static QPointer<FocusMarker> marker;
    if (marker != nullptr || QCoreApplication::instance() == nullptr) return;
    marker = new FocusMarker(QCoreApplication::instance());  // the application owns it
}

void SetSpokenName(QWidget* widget, std::string_view name, std::string_view description) {
    InstallNamedInterfaces();
    if (widget == nullptr) return;
    widget->setAccessibleName(Q(name));
    widget->setAccessibleDescription(Q(description));
}

void SetSpokenLink(QLabel* label) {
    InstallNamedInterfaces();
    if (label == nullptr) return;
    label->setProperty(kLinkProperty, true);
    // The toolkit made the label's interface as a plain text when the label was made (it does
    // whenever a widget changes): forgotten, the next one asked for is the link's.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(label);
        made != nullptr && made->role() != QAccessible::Link)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

}  // namespace rt::ui

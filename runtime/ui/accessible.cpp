#include "runtime/ui/accessible.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QKeySequence>
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

QAccessibleInterface* NamedInterfaces(const QString&, QObject* object) {
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
    // "系统管理(&S)": the bracketed access key is no part of what the command is called.
    const qsizetype open = t.lastIndexOf(QStringLiteral("(&"));
    if (open >= 0 && t.size() - open == 4 && t.back() == u')') t.remove(open, 4);
    return SpokenText(t.toStdString());
}

void SetSpokenName(QWidget* widget, std::string_view name, std::string_view description) {
    static const bool installed = (QAccessible::installFactory(NamedInterfaces), true);
    (void)installed;
    if (widget == nullptr) return;
    widget->setAccessibleName(Q(name));
    widget->setAccessibleDescription(Q(description));
}

}  // namespace rt::ui

#pragma once
// What a screen reader finds of the controls the keyboard reaches: a name, and never the value the
// control holds.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QString>
#include <QWidget>
#include <string>

namespace testing_support {

// Every control of `root` (itself included) that takes the focus; with `window`, only those that
// stand in that window.
inline void ExpectNamed(QWidget* root, const std::string& where, const QWidget* window = nullptr) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (w->focusPolicy() == Qt::NoFocus || (window != nullptr && w->window() != window)) continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(a, nullptr);
        const QString name = a->text(QAccessible::Name);
        QString value;
        if (a->role() == QAccessible::ComboBox) value = a->text(QAccessible::Value);
        if (QAccessibleTextInterface* text = a->textInterface())
            value = text->text(0, text->characterCount());
        const std::string control =
            where + ": " + w->objectName().toStdString() + " (" + w->metaObject()->className() + ")";
        EXPECT_FALSE(name.trimmed().isEmpty()) << control;
        EXPECT_TRUE(value.trimmed().isEmpty() || name != value)
            << control << " is named by its value " << name.toStdString();
    }
}

}  // namespace testing_support

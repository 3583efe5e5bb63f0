#pragma once

// The keyboard as a person uses it on a window under test.

#include <gtest/gtest.h>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

// The window takes the keyboard, so that fields see focus come and go.
inline void activate(QWidget* w) {
    w->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(w));
}

// Types into a field as a person does: focus, select what is there, type.
inline void typeInto(QWidget* w, const QString& text) {
    w->setFocus();
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->selectAll();
    }
    QTest::keyClicks(w, text);
}

// Empties a line edit: select all, then Backspace.
inline void clearField(QLineEdit* e) {
    e->setFocus();
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Backspace);
}

// The widget Tab moves to from `w`.
inline QWidget* nextInTabOrder(QWidget* w) {
    do {
        w = w->nextInFocusChain();
    } while (!(w->focusPolicy() & Qt::TabFocus));
    return w;
}

#pragma once

// The keyboard as a person uses it on a window under test.

#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

// The window takes the keyboard, so that fields see focus come and go.
inline void activate(QWidget* w) {
    w->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(w));
    // The focus arrives a moment after the activation.
    (void)QTest::qWaitFor(
        [w] {
            QWidget* f = QApplication::focusWidget();
            return f && f->window() == w->window();
        },
        1000);
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

// The window the keyboard types into: an open pop-up (a menu, a calendar, a
// drop-down list), else the modal window, else the active window. A closed
// dialog hands the keyboard back to the window below, as a window manager
// does; the headless platform leaves that to us.
inline QWindow* keyboardWindow() {
    if (QWidget* popup = QApplication::activePopupWidget()) {
        return popup->window()->windowHandle();
    }
    QWidget* w = QApplication::activeModalWidget();
    if (!w) {
        w = QApplication::activeWindow();
    }
    if (!w) {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && top->windowType() != Qt::Popup && !top->isMinimized()) {
                w = top;
                break;
            }
        }
    }
    if (w && !w->isActiveWindow()) {
        activate(w);
    }
    return w ? w->window()->windowHandle() : nullptr;
}

// A key pressed on the keyboard. It goes the way the window system sends it:
// shortcuts first, then the focused widget or the open pop-up. A key that
// opens a modal window returns once that window has closed.
inline void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWindow* window = keyboardWindow();
    ASSERT_TRUE(window) << "no window takes the keyboard";
    QTest::keyClick(window, key, modifiers);
}

// Text typed on the keyboard, in any alphabet.
inline void type(const QString& text) {
    for (const QChar c : text) {
        QWindow* window = keyboardWindow();
        ASSERT_TRUE(window) << "no window takes the keyboard";
        const Qt::Key key = c == QLatin1Char(' ') ? Qt::Key_Space : Qt::Key(c.toUpper().unicode());
        QTest::sendKeyEvent(QTest::Click, window, key, QString(c), Qt::NoModifier);
    }
}

// Alt with a letter of any alphabet: the mnemonic of a label or a button.
inline void altKey(QChar letter) {
    QTest::sendKeyEvent(QTest::Click, keyboardWindow(), Qt::Key(letter.toUpper().unicode()),
                        QString(letter), Qt::AltModifier);
}

// The widget that has the keyboard focus now.
inline QWidget* focused() {
    keyboardWindow();
    return QApplication::focusWidget();
}

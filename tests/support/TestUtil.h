#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <functional>

// Waits until a condition holds, letting events run; false on time-out.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Whether a window of class `Window` is on screen.
template <class Window>
bool windowShown() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<Window*>(w) && w->isVisible()) {
            return true;
        }
    }
    return false;
}

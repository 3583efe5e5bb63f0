#pragma once

#include <QTest>
#include <functional>

// Waits until a condition holds, letting events run; false on time-out.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

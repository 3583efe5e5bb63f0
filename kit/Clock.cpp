#include "Clock.h"

namespace {
QDate g_fixed;
}

QDate currentDate() {
    return g_fixed.isValid() ? g_fixed : QDate::currentDate();
}

void setCurrentDateForTesting(const QDate& date) {
    g_fixed = date;
}

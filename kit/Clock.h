#pragma once

#include <QDate>

// Today as the windows see it: the computer's date, unless a test fixed one.
QDate currentDate();
// An invalid date goes back to the computer's clock.
void setCurrentDateForTesting(const QDate& date);

#pragma once

#include "Reports.h"

#include <QByteArray>
#include <QString>

// How the report windows write their figures, on screen and in files.

// "1 234,50": the program's number format, rounded to the kopeck.
QString moneyText(Money amount);
// Columns of numbers stand to the right.
bool isNumberColumn(ColumnKind kind);

// The table of a report as CSV: UTF-8 with its mark, the titles, the rows and
// the total, lines ending in CR LF. Amounts are written "-1234.50" and shares
// in percent "17.0", so that a spreadsheet reads them as numbers.
QByteArray reportCsv(const Report& report);

// "Янв" ... "Дек": a month on the axis of a chart.
QString shortMonthName(int month);

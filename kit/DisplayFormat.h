#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QVariant>

// Display formats as the configuration tables and the windows write them.
//
// Numbers: "0" a digit that always shows, "#" a digit that shows when needed,
// "." the decimal mark, "," anywhere before it turns on thousands grouping;
// up to three sections "positive;negative;zero"; text in quotes is literal.
// ",0.00" shows 1234.5 as "1 234,50" in a Russian locale.
QString formatFloat(const QString& pattern, double value, const QLocale& locale = QLocale());

// Dates: d dd ddd dddd, m mm mmm mmmm (minutes after h), yy yyyy, h hh, n nn,
// s ss, z zzz; "/" and ":" are the locale's separators; quoted text is literal.
// "dd.mm.yyyy" shows 2026-03-08 as "08.03.2026".
QString formatDateTime(const QString& pattern, const QDateTime& value,
                       const QLocale& locale = QLocale());

// A stored value as a grid cell shows it: numbers through a number pattern,
// stored date-times through a date pattern, anything else as its text. An
// empty pattern gives the plain form; null gives an empty cell.
QString formatDisplay(const QString& pattern, const QVariant& value,
                      const QLocale& locale = QLocale());

#pragma once

#include <QDate>
#include <QString>
#include <optional>

// What the document editors share.

// A date as a day count from 30.12.1899, the form the checks compare with 1;
// an empty or unreadable date is 0.
int dateSerial(const QDate& date);
// Text as the editors write it: blanks and control characters removed at
// both ends.
QString trimmedText(const QString& text);
// The message of a document opened only for viewing.
QString readOnlyMessage();

// The amount of one account of a transfer worked out from the other's, as
// the transfer editor does while the user types: Value1 / Kurs1 =
// Value2 / Kurs2, so the other amount is Value × ToRate ÷ FromRate, the
// product formed first, rounded to two decimals halves away from zero.
// nullopt when Value or FromRate is not above zero (nothing is worked out).
std::optional<double> TransferAmountFrom(double Value, double FromRate, double ToRate);

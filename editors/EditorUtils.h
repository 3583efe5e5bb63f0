#pragma once

#include <QDate>
#include <QString>

// What the document editors share.

// A date as a day count from 30.12.1899, the form the checks compare with 1;
// an empty or unreadable date is 0.
int dateSerial(const QDate& date);
// Text as the editors write it: blanks and control characters removed at
// both ends.
QString trimmedText(const QString& text);
// The message of a document opened only for viewing.
QString readOnlyMessage();

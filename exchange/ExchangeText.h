#pragma once

#include "Money.h"

#include <QDate>
#include <QString>
#include <optional>

// Text as banks write it: the encoding of a file, amounts and dates.

// UTF-8 with or without its byte-order mark, else Windows-1251.
QString decodeStatementText(const QByteArray& bytes);
// The same text as UTF-8 without the mark; UTF-8 input is passed on as it is.
QByteArray statementTextUtf8(const QByteArray& bytes);

// "-1 234,56", "1234.56", "+1\u00a0000", "1.234,56". The decimal mark is ','
// or '.', or null to tell it from the text: of two different marks the last
// one is decimal; a single mark that occurs once is decimal. At most four
// decimals and twelve whole digits; anything else is no amount.
std::optional<Money> parseStatementAmount(const QString& text, QChar decimal = {});

// "31.12.2025", "31.12.2025 14:05", "31.12.2025 14:05:59", "2025-12-31" (also
// with a time), or the given Qt format. An invalid date is no date.
QDate parseStatementDate(const QString& text, const QString& format = {});

// Two currency names mean the same currency: "RUB", "RUR", "руб.", "₽".
bool sameCurrency(const QString& a, const QString& b);

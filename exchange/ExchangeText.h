#pragma once

#include "Money.h"

#include <QDate>
#include <QString>
#include <QVector>
#include <optional>

// Text as banks write it: the encoding of a file, amounts and dates.

// The text of a file in `encoding` (a codec name), or, when none is given,
// as UTF-8 (with or without its byte-order mark) where the bytes are valid
// UTF-8, else as Windows-1251 where that reading is Russian text. Raises
// AppError otherwise, naming the byte offset of the first byte that is not
// UTF-8: the whole file is read one way or refused.
QString decodeStatementText(const QByteArray& bytes, const QString& encoding = {});
// The encoding decodeStatementText tells when none is given: "UTF-8" or
// "Windows-1251"; raises AppError as it does.
QString statementEncoding(const QByteArray& bytes);
// The same text as UTF-8 without the mark; UTF-8 input is passed on as it is.
QByteArray statementTextUtf8(const QByteArray& bytes, const QString& encoding = {});

// An amount as the file writes it, and where.
struct AmountText {
    QString where;
    QString text;
};
// The decimal mark that the amounts of one file share, told from all of them
// together: "1 234,56" says ",", "1,234.56" and "12.5" say ".", while "1,234"
// alone could be either. Raises AppError, asking for --decimal, when the
// amounts disagree or none of them tells; '.' when no amount has a mark.
QChar decimalMarkOf(const QVector<AmountText>& amounts);

// "-1 234,56", "1234.56", "+1\u00a0000", "1.234,56" with the file's decimal
// mark; the other mark may only group thousands. At most two decimals and
// twelve whole digits; anything else is no amount.
std::optional<Money> parseStatementAmount(const QString& text, QChar decimal);

// "31.12.2025", "31.12.2025 14:05", "31.12.2025 14:05:59", "31.12.25", "2025-12-31"
// (also with a time), or the given Qt format, where "yy" is a year of this
// century and a time must be well formed but does not matter. An invalid date
// is no date.
QDate parseStatementDate(const QString& text, const QString& format = {});

// Two currency names mean the same currency: "RUB", "RUR", "руб.", "₽".
bool sameCurrency(const QString& a, const QString& b);

#pragma once

#include "Statement.h"

// QIF, the line format of the "!Type:Bank" and "!Type:CCard" (and "Cash")
// sections: one field per line, its kind in the first letter, "^" after each
// payment. No Debian library reads it; its format is a list of lines, read here
// directly. Payments of the sections of other kinds (investments, lists of
// categories) are passed over.
//
// Each payment belongs to the account of the "!Account" section before it. A
// transfer ("L[Other account]") is written once in each of the two accounts'
// sections; the two sides are paired by date, direction and memo, in the
// order they come.
class QifReader : public StatementReader {
public:
    explicit QifReader(StatementOptions options = {}) : m_options(std::move(options)) {}
    Statement parse(const QByteArray& bytes) const override;

private:
    StatementOptions m_options;
};

// "12/31'2025", "12/31/2025", "1/ 5'25", "31.12.2025", "2025-12-31".
QDate parseQifDate(const QString& text);

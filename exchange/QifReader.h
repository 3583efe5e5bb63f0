#pragma once

#include "Statement.h"

// QIF, the line format of the "!Type:Bank" and "!Type:CCard" (and "Cash")
// sections: one field per line, its kind in the first letter, "^" after each
// payment. No Debian library reads it; its format is a list of lines, read here
// directly. Payments of the sections of other kinds (investments, lists of
// categories) are passed over.
class QifReader : public StatementReader {
public:
    Statement read(const QString& path) const override;
    Statement parse(const QByteArray& bytes) const;
};

// "12/31'2025", "12/31/2025", "1/ 5'25", "31.12.2025", "2025-12-31".
QDate parseQifDate(const QString& text);

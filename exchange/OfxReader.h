#pragma once

#include "Statement.h"

#include <QHash>

// OFX and QFX, versions 1 (SGML) and 2 (XML), through libofx.
//
// The file is first walked once for its structure: a file cut short or with
// an element left open is refused whole, before libofx sees it. libofx then
// reads it in a child process that is stopped after a time limit, since some
// malformed files cost it time that grows with the square of their size.
class OfxReader : public StatementReader {
public:
    Statement parse(const QByteArray& bytes) const override;

    // How long libofx may take over one file.
    static constexpr int timeLimitMs = 4000;
};

// What the structure walk finds: the posting date of each payment as the
// bank wrote it ("20251201230000[-5:EST]" is 1 December wherever the
// computer is), by bank account and FITID, in the order the file gives them.
struct OfxOutline {
    QHash<QString, QVector<QDate>> posted;  // key: ofxPaymentKey()
    int payments = 0;
};
QString ofxPaymentKey(const QString& bankAccount, const QString& fitId);
// Raises AppError when an element is left open or closed out of turn, when
// the file ends before "</OFX>", or when an element holds the same value
// element twice.
OfxOutline outlineOfx(QByteArrayView bytes);

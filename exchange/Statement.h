#pragma once

#include "Money.h"

#include <QDate>
#include <QString>
#include <QVector>
#include <memory>
#include <optional>

// One payment of a bank statement, as the statement gives it.
struct StatementLine {
    QString where;        // "line 12" (text formats) or "transaction 3" (OFX)
    QDate date;           // the posting date
    Money amount;         // signed: below zero the money went out
    QString description;  // the bank's description, which becomes the note
    QString payee;        // matched against the counterparties
    QString category;     // matched against the categories
    QString currency;     // the line's own currency, when the file names one
    QString fitId;        // the bank's id of the line (OFX), else empty
    QString account;      // the account section that holds the line (QIF), else empty
};

// A line that could not be read, and why.
struct RefusedLine {
    QString where;
    QString reason;
};

struct Statement {
    QString currency;  // the statement's currency, when it names one
    QVector<StatementLine> lines;
    QVector<RefusedLine> refused;
    int failed = 0;  // payments the bank marks as failed: skipped, only counted
};

enum class StatementFormat { Csv, Ofx, Qif };

// How to read a CSV file where its header does not say it plainly. A column
// is named by its header text or by its number, counting from 1.
struct CsvOptions {
    QString dateColumn;
    QString amountColumn;
    QString descriptionColumn;
    QString dateFormat;  // a Qt date format such as "dd/MM/yyyy"
    QChar decimal;       // ',' or '.', or null to tell from the amounts
};

// One reader per format. A file that cannot be read as a statement at all
// raises AppError with the reason; single unreadable lines are listed in
// Statement::refused and do not stop the reading.
class StatementReader {
public:
    virtual ~StatementReader() = default;
    virtual Statement read(const QString& path) const = 0;
};

std::unique_ptr<StatementReader> makeStatementReader(StatementFormat format,
                                                     const CsvOptions& csv = {});
// Tells the format from the first bytes of a file.
StatementFormat detectStatementFormat(const QByteArray& head);
std::optional<StatementFormat> statementFormatNamed(const QString& name);
// The whole file, refused with a clear message when it cannot be read or is
// too large to be a statement.
QByteArray readStatementFile(const QString& path);

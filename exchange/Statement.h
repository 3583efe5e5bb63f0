#pragma once

#include "Money.h"

#include <QDate>
#include <QString>
#include <QVector>
#include <memory>
#include <optional>

// One payment of a bank statement, as the statement gives it.
struct StatementLine {
    QString where;            // "line 12" (text formats) or "transaction 3" (OFX)
    QDate date;               // the posting date
    Money amount;             // signed: below zero the money went out
    QString description;      // the bank's description: with the date and amount it tells a
                              // line without an id of its own from the others
    QString payee;            // matched against the counterparties; unmatched, it leads the note
    QString memo;             // the note, after the payee when that is no counterparty
    QString category;         // matched against the categories
    QString currency;         // the line's own currency, when the file names one
    QString fitId;            // the bank's id of the line (OFX), else empty
    QString bankAccount;      // the bank's number of the account (OFX), else empty
    QString account;          // the account the line is for by its caption (a QIF section,
                              // the account column of a CSV), else empty
    QString transferAccount;  // the other account of a transfer, by its caption
    int pairedWith = -1;      // the other side of the same transfer in Statement::lines
};

// A line that could not be read, and why.
struct RefusedLine {
    QString where;
    QString reason;
    QString bankAccount;  // OFX: the account whose statement holds the line
};

// The statement of one bank account in an OFX file, and its currency.
struct BankAccount {
    QString id;
    QString currency;
};

struct Statement {
    QString currency;                   // the statement's currency, when it names one
    QVector<BankAccount> bankAccounts;  // OFX: one per statement that the file holds
    QVector<StatementLine> lines;
    QVector<RefusedLine> refused;
    int failed = 0;  // payments the bank marks as failed: skipped, only counted
    // Payments the bank has not finished ("В обработке"): skipped and counted.
    // The amount of such a payment may still change; a later statement brings
    // it finished, and as a line never imported it comes in then.
    int pending = 0;
};

enum class StatementFormat { Csv, Ofx, Qif };

// How to read a file where it does not say it plainly. A CSV column is named
// by its header text or by its number, counting from 1.
struct StatementOptions {
    QString dateColumn;
    QString amountColumn;
    QString descriptionColumn;
    QString dateFormat;  // a Qt date format such as "dd/MM/yyyy"; "yy" reads 20xx
    QChar decimal;       // ',' or '.', or null to tell from all the amounts of the file
    QString encoding;    // CSV and QIF: a codec name, or empty to tell from the bytes
    QChar separator;     // CSV: ';', ',' or '\t', or null to tell from the header
    // CSV: the amount split in two columns, money out and money in; either
    // names them instead of a signed amount column.
    QString debitColumn;
    QString creditColumn;
    QString categoryColumn;
    QString statusColumn;  // failed and unfinished payments are skipped
    QString payeeColumn;   // without one, the description names the payee
    QString currencyColumn;
    // CSV: the line of the header, counting from 1; 0 to find it as the first
    // record that names a date and an amount column.
    int headerLine = 0;
};

// The column options by the role they name: "date", "amount", "debit",
// "credit", "description", "category", "status", "payee", "currency".
struct ColumnRole {
    const char* key;
    QString StatementOptions::*column;
};
const QVector<ColumnRole>& columnRoles();

// One reader per format. A file that cannot be read as a statement at all
// raises AppError with the reason; single unreadable lines are listed in
// Statement::refused and do not stop the reading.
class StatementReader {
public:
    virtual ~StatementReader() = default;
    // The statement in the bytes of a file.
    virtual Statement parse(const QByteArray& bytes) const = 0;
    // The file, read once.
    Statement read(const QString& path) const;
};

std::unique_ptr<StatementReader> makeStatementReader(StatementFormat format,
                                                     const StatementOptions& options = {});
// Tells the format from the first bytes of a file.
StatementFormat detectStatementFormat(const QByteArray& head);
std::optional<StatementFormat> statementFormatNamed(const QString& name);
// The whole file, refused with a clear message when it cannot be read or is
// too large to be a statement.
QByteArray readStatementFile(const QString& path);

#pragma once

#include "Statement.h"

class DbConnection;

struct ImportOptions {
    bool dryRun = false;   // work everything out, write nothing
    bool skipBad = false;  // refused lines are skipped instead of refusing the import
    QString bankAccount;   // OFX: the bank account whose statement is imported
};

// A document that a statement line makes (or would make).
struct ImportedDocument {
    QString where;
    int type = 0;  // 1 expense, 2 income, 3 transfer
    QDate date;
    QString dateText;  // as stored
    qint64 idHeadAccount = 0;
    QString account;  // its caption, for the listing
    Money amount;     // positive
    QString note;
    qint64 idCategory = 0;  // 0: none
    qint64 idContrAgent = 0;
    QString category;  // captions of the matched records, for the listing
    QString contrAgent;
    // A transfer: the account that takes the money, its amount there, and the
    // rates of the two accounts.
    qint64 idHeadAccount2 = 0;
    QString account2;
    Money amount2;
    double kurs1 = 0;
    double kurs2 = 0;
    qint64 idDocument = 0;  // once written
};

struct ImportResult {
    QVector<ImportedDocument> documents;  // imported, or to be imported in a dry run
    QVector<RefusedLine> refused;
    int duplicates = 0;
    int failed = 0;
    bool written = false;  // false: a dry run, or refused lines refused the import
};

// Makes new documents (status 1) from a statement, in one transaction,
// skipping the lines imported before. Into the account idHeadAccount, or, when
// it is 0, each line into the account its section or column names (compared
// without regard to case), where the two sides of a transfer become one
// transfer. Refused lines refuse the whole import unless options.skipBad. A
// statement in another currency than its account, a missing account, or an
// OFX file of several bank accounts of which none is chosen raises AppError
// and writes nothing.
ImportResult importStatement(DbConnection& connection, qint64 idHeadAccount,
                             const Statement& statement, const ImportOptions& options);

// Finds an account by its id or, failing that, by its exact caption; raises
// AppError when there is none or the caption is not unique.
qint64 findAccount(DbConnection& connection, const QString& idOrCaption);

// Rates for a transfer of value1 from one account and value2 into the other
// that the transfer editor's recomputation agrees with: value1 with them gives
// value2 (both 1 for equal amounts).
std::pair<double, double> transferRates(Money value1, Money value2);

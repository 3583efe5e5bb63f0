#pragma once

#include "Statement.h"

class DbConnection;

struct ImportOptions {
    bool dryRun = false;   // work everything out, write nothing
    bool skipBad = false;  // refused lines are skipped instead of refusing the import
};

// A document that a statement line makes (or would make).
struct ImportedDocument {
    QString where;
    int type = 0;  // 1 expense, 2 income
    QDate date;
    QString dateText;  // as stored
    Money amount;      // positive
    QString note;
    qint64 idCategory = 0;  // 0: none
    qint64 idContrAgent = 0;
    QString category;  // captions of the matched records, for the listing
    QString contrAgent;
    qint64 idDocument = 0;  // once written
};

struct ImportResult {
    QVector<ImportedDocument> documents;  // imported, or to be imported in a dry run
    QVector<RefusedLine> refused;
    int duplicates = 0;
    int failed = 0;
    bool written = false;  // false: a dry run, or refused lines refused the import
};

// Makes new documents (status 1) of an account from a statement, in one
// transaction, skipping the lines imported before. Refused lines refuse the
// whole import unless options.skipBad. A statement in another currency than
// the account, or a missing account, raises AppError and writes nothing.
ImportResult importStatement(DbConnection& connection, qint64 idHeadAccount,
                             const Statement& statement, const ImportOptions& options);

// Finds an account by its id or, failing that, by its exact caption; raises
// AppError when there is none or the caption is not unique.
qint64 findAccount(DbConnection& connection, const QString& idOrCaption);

#pragma once

#include "Importer.h"
#include "Suggestions.h"

#include <functional>

// What an import does with one line of a statement.
enum class LineFate {
    New,        // becomes a document
    Duplicate,  // imported before: skipped
    Refused,    // cannot be imported: why in `reason`
};

// One line of a statement as the import window previews it. The fields
// marked "may change" are the user's to change before the import.
struct PlannedLine {
    QString where;
    LineFate fate = LineFate::New;
    QString reason;            // Refused: why
    qint64 idDuplicateOf = 0;  // Duplicate: the document that took the line before
    QDate date;
    Money amount;             // signed, as the statement gives it: below zero money went out
    int type = 0;             // 1 expense, 2 income, 3 transfer
    QString description;      // the bank's, kept in the note
    QString payee;            // as the statement names it
    QString bankCategory;     // the bank's own category, when it gives one
    qint64 idContrAgent = 0;  // may change
    QString contrAgent;
    // The payee matches no counterparty and becomes a new one in the type
    // ImportOptions::idTypeContrAgent. May change; only for a line with a
    // payee that matches none.
    bool newContrAgent = false;
    qint64 idCategory = 0;  // may change
    QString category;
    CategorySource categorySource = CategorySource::None;  // User once changed
    int pairedWith = -1;  // a transfer's other side in ImportPlan::lines
};

// An import worked out and not yet written: the preview. Carried out as it
// stands once the user has changed what may change.
struct ImportPlan {
    qint64 idHeadAccount = 0;    // 0: each line into the account its section names
    QString bankAccount;         // OFX: the bank account chosen
    QVector<PlannedLine> lines;  // every line of the statement, the refused ones too
    int failed = 0;              // payments the bank marks as failed: skipped, counted
    int pending = 0;             // payments the bank has not finished: skipped, counted

    // What carrying out needs, worked out with the lines.
    struct Written;
    std::shared_ptr<const Written> written;

    int count(LineFate fate) const;
};

// How an import reports progress: done of total documents written (every
// 200 and at the end); returning false cancels it, and nothing is written.
using ImportProgress = std::function<bool(qint64 done, qint64 total)>;

struct ImportSettings {
    bool suggestCategories = true;  // rules, history and the bank mapping
    bool newContrAgents = false;    // every payee that matches none becomes one
    qint64 idTypeContrAgent = 0;    // the type the new counterparties go into
    bool apply = false;             // the documents are applied as they are written
    ImportProgress progress;
};

// Works out what importing `statement` would do, writing nothing: every line
// of the statement for the account in file order (the lines of other accounts'
// sections left out), with its fate, counterparty and category. Raises
// AppError for what refuses the whole file (see importStatement).
ImportPlan planImport(DbConnection& connection, qint64 idHeadAccount, const Statement& statement,
                      const ImportOptions& options, const ImportSettings& settings = {});

// Writes what the plan's new lines say, as the user left them, in one
// transaction: all of it, or, when a line is refused, cancelled, or was
// imported by someone else since the plan was made, nothing (AppError says
// why; a cancel raises ImportCancelled). Remembers the bank categories the
// user chose. With settings.apply the documents are applied in the same
// transaction, moving the balances as applying each one would.
ImportResult carryOutImport(DbConnection& connection, const ImportPlan& plan,
                            const ImportSettings& settings = {});

struct ImportCancelled {};

// The documents the plan's new lines make as it stands, none written: for a
// listing of what an import would do.
QVector<ImportedDocument> plannedDocuments(const ImportPlan& plan);

// importStatement with the suggestions, new counterparties, applying and
// progress of `settings`: planImport, then carryOutImport unless a dry run or
// refused lines stop it.
ImportResult importStatement(DbConnection& connection, qint64 idHeadAccount,
                             const Statement& statement, const ImportOptions& options,
                             const ImportSettings& settings);

#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The look at a database file that "dorsanti-db check" reports: what the
// engine says of the file, and whether the rows agree with each other the way
// the program relies on. Nothing in the file is changed.
struct Finding {
    enum class Kind {
        Integrity,          // the engine's integrity check
        ForeignKey,         // a row refers to a record that is not there
        Balance,            // an account's balance against its ledger
        AppliedIncomplete,  // an applied document without all its ledger rows
        LedgerMismatch,     // an applied document that its ledger rows contradict
        NewWithLedger,      // a new document with ledger rows
        OrphanLedger,       // ledger rows of a document that is not there
        OrphanImport,       // imported statement lines of a document that is not there
        StalePlaceholder,   // type memberships of an editor no program runs
        Configuration,      // configuration rows the program relies on
        DailyCopy,          // the last automatic copy failed
        PlainPassword,      // a user's password kept as plain text
        LedgerTotals,       // the reports' running totals against the ledger
    };
    Kind kind;
    QString title;     // one plain sentence
    QStringList rows;  // the rows concerned, one line each (the first ones)
    int total = 0;     // how many rows in all
};

struct CheckReport {
    QList<Finding> findings;
    bool healthy() const { return findings.isEmpty(); }
    bool damaged() const;  // the integrity check failed
};

// Raises an AppError when the file is missing or is not a database. The file
// is opened read-only in effect: not even its journal mode changes. A
// postgresql:// URI checks the books on that server.
CheckReport checkDatabase(const QString& path);
class DbConnection;
// The same look through an open connection; on a server, inside the
// connection's own write when it is in one.
CheckReport checkConnection(DbConnection& db);

// The advice given for a file that fails the integrity check.
QString damagedFileAdvice(const QString& path);

// Where a failed automatic copy is recorded until the next good one:
// "<file>.backup-failed" beside the database.
QString dailyCopyFailurePath(const QString& dbPath);

// "check --repair" after the check `before` of the same file: a safe copy
// first, then what can be repaired without guessing; the journal mode of the
// file stays. A damaged file is refused (raises).
struct RepairReport {
    QString backupPath;
    QStringList changed;    // what was changed, one line each
    QStringList untouched;  // what was left, with the reason
    CheckReport after;      // the check after the repair
};
RepairReport repairDatabase(const QString& path, const CheckReport& before);

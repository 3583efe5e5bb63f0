#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class DbConnection;

// The ledger's running totals by month (table DataAccountMonth): per account,
// month, operation, category and counterparty, the amounts without sign and
// the number of ledger rows. Triggers on DataAccount keep them in the same
// transaction as every apply and roll-back, so a report over years reads a
// few thousand totals instead of every ledger row. No windows here.

// Whether the file has the totals and every trigger that keeps them.
bool hasLedgerTotals(DbConnection& connection);

// Makes whatever of the totals, their triggers and their index the file
// lacks, and fills the totals afresh from the ledger, in one write. Raises
// AppError with the engine's text.
void rebuildLedgerTotals(DbConnection& connection);

// Before a report: a file made before the totals gets them now when the
// connection may write and no write of its own is open. False when the
// report must read the ledger itself (a read-only look, a file locked by
// another program); the figures are the same, only slower.
bool prepareLedgerTotals(DbConnection& connection);

// Where the totals disagree with the ledger: the first `shown` keys, one line
// each, and in `total` how many in all. Empty for a file without totals.
QStringList ledgerTotalsDifferences(DbConnection& connection, int shown, int& total);

// The signed sums of the ledger over a period, by account and operation and
// one key more. Whole months are read from the totals when `useTotals`; the
// days before the first and after the last whole month from the ledger.
enum class MoveKey { None, Category, ContrAgent, Month, Day };

struct MoveQuery {
    QDate from;                // invalid: from the first ledger row
    QDate to;                  // the last day, included
    qint64 idValuta = 0;       // 0: every currency
    qint64 idHeadAccount = 0;  // 0: every account of the currency
    QList<int> operations;     // empty: every operation
    MoveKey key = MoveKey::None;
};

struct Move {
    qint64 idHeadAccount = 0;
    int operation = 0;  // 0 for MoveKey::None: the sum of every operation
    qint64 id = 0;      // the category or counterparty, 0 for none
    QDate period;       // the first day of the month, or the day
    qint64 units = 0;   // ten-thousandths, with the sign of the operation in group 1
    qint64 rows = 0;    // ledger rows: documents, for income and expense
};

QList<Move> ledgerMoves(DbConnection& connection, const MoveQuery& query, bool useTotals);

// The day of the first ledger row of the accounts a query names; invalid when
// they have none.
QDate firstLedgerDay(DbConnection& connection, qint64 idValuta, qint64 idHeadAccount);

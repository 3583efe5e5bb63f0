#pragma once

#include "Db.h"
#include "Money.h"

#include <QVector>

// Rebuilding balances from the ledger, without any window: the statements and
// steps that the recalculation window runs per account, and a whole run for
// tools.

// Sets the two statements: the signed ledger values of one account (`read`)
// and the write of its balance (`write`).
void prepareSaldoQueries(DbQuery& read, DbQuery& write);

struct SaldoChange {
    int idHeadAccount = 0;
    Money oldSaldo;
    Money newSaldo;
};

// Writes one account's balance as the sum of its signed ledger values. The
// read and the write are one "BEGIN IMMEDIATE" transaction, so that no other
// program applies or rolls back a document of the account in between.
// Gives the balance before and after; raises the engine's error, and then the
// account keeps its old balance.
SaldoChange recalculateAccount(DbQuery& read, DbQuery& write, int idHeadAccount);

// Recalculates every account, each one atomically as above, and gives those
// whose balance changed. An error stops the run; the accounts done before it
// keep their new balances.
QVector<SaldoChange> recalculateAllAccounts(DbConnection& connection);

#pragma once

#include "Money.h"

#include <QDate>
#include <QHash>
#include <QList>

class DbConnection;

// Where the balances are heading: what the books already say will move the
// accounts after a day, counted once each. No windows here: the report of
// balances and the tool show the same figures.

// One expected movement of an account.
struct ForecastMove {
    QDate date;
    qint64 idHeadAccount = 0;
    Money amount;  // what it adds to the balance: an expense below zero
};

// What moves the accounts from `first` up to `last` inclusive, in order of
// date:
// - documents applied already and dated in that stretch (the ledger);
// - documents not applied yet ("new"), of any date;
// - every date of a regular template on which no document has been made
//   (made and then deleted counts as made), from the template's start on.
// Whatever falls before `first` (a new document of last week, a date due
// and not yet made) is counted on `first`: it is still to come. A transfer
// moves both accounts, each by its own amount. Raises AppError with the
// engine's text.
QList<ForecastMove> forecastMoves(DbConnection& connection, QDate first, QDate last);

// The first day on which an account's balance ends below zero, starting
// from `start` (each account's balance before the first move) and taking
// each day's moves together. Accounts that stay at zero or above are left
// out; an account below zero from the start gives the day before the first
// move with `already` set.
struct BelowZero {
    QDate date;
    Money balance;  // at the end of that day
    bool already = false;
};
QHash<qint64, BelowZero> firstBelowZero(const QHash<qint64, Money>& start,
                                        const QList<ForecastMove>& moves, QDate first);

#include "Forecast.h"

#include "Db.h"
#include "LedgerTotals.h"
#include "RegularDocuments.h"

#include <algorithm>

namespace {

// What a document of a kind does to its accounts: an expense takes, an
// income gives, a transfer takes from the first and gives to the second.
void addDocumentMoves(QList<ForecastMove>& moves, QDate date, int type, qint64 account,
                      Money amount, qint64 account2, Money amount2) {
    if (type == 3) {
        moves.push_back({date, account, -amount});
        moves.push_back({date, account2, amount2});
    } else if (type == 1 || type == 2) {
        moves.push_back({date, account, type == 1 ? -amount : amount});
    }
}

void addLedger(DbConnection& c, QList<ForecastMove>& moves, QDate first, QDate last) {
    MoveQuery q;
    q.from = first;
    q.to = last;
    q.key = MoveKey::Day;
    for (const Move& m : ledgerMoves(c, q, false)) {
        moves.push_back({m.period, m.idHeadAccount, Money::fromUnits(m.units)});
    }
}

void addNewDocuments(DbConnection& c, QList<ForecastMove>& moves, QDate first, QDate last) {
    DbQuery q(c, QStringLiteral("qrForecastNew"));
    q.setSql(
        QStringLiteral("select CodTypeDocument, DateDocument, IdHeadAccount, ValueDocument,\n"
                       "  IdHeadAccount2, ValueDocument2\n"
                       "from Document\n"
                       "where CodTypeStatus = 1"));
    // By status alone: the few new documents, never a walk over the dates
    // of every applied one.
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        const QDate date = q.field(QStringLiteral("DateDocument")).asDate();
        if (date > last) {
            continue;
        }
        addDocumentMoves(moves, std::max(first, date),
                         q.field(QStringLiteral("CodTypeDocument")).asInteger(),
                         q.field(QStringLiteral("IdHeadAccount")).asInt64(),
                         q.field(QStringLiteral("ValueDocument")).asMoney(),
                         q.field(QStringLiteral("IdHeadAccount2")).asInt64(),
                         q.field(QStringLiteral("ValueDocument2")).asMoney());
    }
}

}  // namespace

QList<ForecastMove> forecastMoves(DbConnection& c, QDate first, QDate last) {
    QList<ForecastMove> moves;
    addLedger(c, moves, first, last);
    addNewDocuments(c, moves, first, last);
    // The dates without a document up to the end: those due already are
    // made at the next sign-in, and then applied.
    for (const DueOccurrence& d : dueOccurrences(c, last)) {
        const RegularTemplate& r = d.regular;
        addDocumentMoves(moves, std::max(first, d.date), r.type, r.idHeadAccount, r.amount,
                         r.idHeadAccount2, r.amount2);
    }
    std::stable_sort(moves.begin(), moves.end(),
                     [](const ForecastMove& a, const ForecastMove& b) { return a.date < b.date; });
    return moves;
}

QHash<qint64, BelowZero> firstBelowZero(const QHash<qint64, Money>& start,
                                        const QList<ForecastMove>& moves, QDate first) {
    QHash<qint64, BelowZero> found;
    QHash<qint64, Money> balance = start;
    for (auto it = start.cbegin(); it != start.cend(); ++it) {
        if (it.value() < Money()) {
            found.insert(it.key(), {first.addDays(-1), it.value(), true});
        }
    }
    // A day's moves count together: the salary and the rent of one day.
    for (qsizetype i = 0; i < moves.size();) {
        const QDate day = moves[i].date;
        QList<qint64> touched;
        for (; i < moves.size() && moves[i].date == day; ++i) {
            if (start.contains(moves[i].idHeadAccount)) {
                balance[moves[i].idHeadAccount] += moves[i].amount;
                touched << moves[i].idHeadAccount;
            }
        }
        for (qint64 account : std::as_const(touched)) {
            if (!found.contains(account) && balance[account] < Money()) {
                found.insert(account, {day, balance[account], false});
            }
        }
    }
    return found;
}

#include "LedgerTotals.h"

#include "AppError.h"
#include "Db.h"
#include "DbSchema.h"
#include "Money.h"
#include "Reports.h"
#include "SqlDialect.h"

namespace {

const QString kBegin = QStringLiteral("-- ledger totals begin");
const QString kEnd = QStringLiteral("-- ledger totals end");

// The statements that make the totals, as a new file gets them: one text for
// new and old files alike.
QString totalsSchema() {
    const QString schema = schemaSql();
    const qsizetype begin = schema.indexOf(kBegin);
    const qsizetype end = schema.indexOf(kEnd);
    if (begin < 0 || end < begin) {
        throw AppError(QStringLiteral("в схеме базы нет итогов проводок"));
    }
    return schema.mid(begin + kBegin.size(), end - begin - kBegin.size());
}

// One ledger row's amount in ten-thousandths without its sign, rounded as the
// program reads money; the triggers store the same.
const QString kRowUnits = moneyUnitsSql(QStringLiteral("da.ValueDataAccount"));

// The accounts of a query: of one currency or all, or the one account.
const QString kAccounts = QStringLiteral(
    "(select ha.IdHeadAccount from HeadAccount ha where (:AnyValuta = 0 or ha.IdValuta = "
    ":IdValuta) and (:AnyAccount = 0 or ha.IdHeadAccount = :IdHeadAccount))");

void bindAccounts(DbQuery& q, qint64 idValuta, qint64 idHeadAccount) {
    q.bindInteger(QStringLiteral("AnyValuta"), idValuta);
    q.bindInteger(QStringLiteral("IdValuta"), idValuta);
    q.bindInteger(QStringLiteral("AnyAccount"), idHeadAccount);
    q.bindInteger(QStringLiteral("IdHeadAccount"), idHeadAccount);
}

QDate firstOfMonth(const QDate& d) {
    return QDate(d.year(), d.month(), 1);
}

QString dayText(const QDate& d) {
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

QString monthText(const QDate& d) {
    return d.toString(QStringLiteral("yyyy-MM"));
}

// A stretch of the period: whole months read from the totals, or days read
// from the ledger. An invalid first day or month: from the beginning.
struct Piece {
    bool totals = false;
    QDate first;
    QDate last;
};

QList<Piece> pieces(const QDate& from, const QDate& to, bool useTotals) {
    if (!useTotals) {
        return {{false, from, to}};
    }
    const QDate firstWhole =
        !from.isValid() || from.day() == 1 ? from : firstOfMonth(from).addMonths(1);
    const QDate lastWhole = to.addDays(1).day() == 1 ? to : firstOfMonth(to).addDays(-1);
    if (firstWhole.isValid() && firstWhole > lastWhole) {
        return {{false, from, to}};
    }
    QList<Piece> list;
    if (from.isValid() && from < firstWhole) {
        list.push_back({false, from, firstWhole.addDays(-1)});
    }
    list.push_back({true, firstWhole, lastWhole});
    if (lastWhole < to) {
        list.push_back({false, lastWhole.addDays(1), to});
    }
    return list;
}

// What a piece of the period selects besides the account, and what it groups
// by: the same columns in the totals ("s") and in the ledger ("da", "d").
struct Grouping {
    QString columns;  // Op, KeyId, Period
    QString groupBy;  // after the account
};

Grouping grouping(MoveKey key, bool totals) {
    const QString op =
        totals ? QStringLiteral("s.CodTypeOperation") : QStringLiteral("da.CodTypeOperation");
    QString id = QStringLiteral("0");
    QString period = QStringLiteral("''");
    switch (key) {
        case MoveKey::Category:
            id = totals ? QStringLiteral("s.IdCategory")
                        : QStringLiteral("coalesce(d.IdCategory, 0)");
            break;
        case MoveKey::ContrAgent:
            id = totals ? QStringLiteral("s.IdContrAgent")
                        : QStringLiteral("coalesce(d.IdContrAgent, 0)");
            break;
        case MoveKey::Month:
            period = totals ? QStringLiteral("s.Month")
                            : QStringLiteral("substr(da.DateDocument, 1, 7)");
            break;
        case MoveKey::Day:
            period = QStringLiteral("substr(da.DateDocument, 1, 10)");
            break;
        case MoveKey::None:
            // One sum per account: the totals are read in the order of their key.
            return {QStringLiteral("0 as Op, 0 as KeyId, '' as Period"), QString()};
    }
    const QString columns =
        QStringLiteral("%1 as Op, %2 as KeyId, %3 as Period").arg(op, id, period);
    // By month the totals are read in the order of their key, without sorting.
    const QString groupBy = key == MoveKey::Month || key == MoveKey::Day
                                ? QStringLiteral(", %1, %2").arg(period, op)
                                : QStringLiteral(", %1, %2").arg(op, id);
    return {columns, groupBy};
}

QString operationFilter(const QString& column, const QList<int>& ops) {
    if (ops.isEmpty()) {
        return {};
    }
    QStringList codes;
    for (int op : ops) {
        codes << QString::number(op);
    }
    // "+" keeps the engine on the date index of the ledger rather than on the
    // index by account and operation, which would read every row of the account.
    return QStringLiteral(" and +%1 in (%2)").arg(column, codes.join(QStringLiteral(", ")));
}

}  // namespace

bool hasLedgerTotals(DbConnection& connection) {
    if (!hasTableNamed(connection, QStringLiteral("DataAccountMonth"))) {
        return false;
    }
    DbQuery q(connection, QStringLiteral("qrTotals"));
    q.setSql(connection.dialect().triggerCountQuery(
        {QStringLiteral("DataAccountMonth_Insert"), QStringLiteral("DataAccountMonth_Delete"),
         QStringLiteral("DataAccountMonth_Update"), QStringLiteral("DataAccountMonth_Document")}));
    q.open();
    return q.field(QStringLiteral("n")).asInteger() == 4;
}

void rebuildLedgerTotals(DbConnection& connection) {
    Transaction transaction(connection);
    connection.executeScript(totalsSchema());
    DbQuery q(connection, QStringLiteral("cmdTotals"));
    q.setSql(QStringLiteral("delete from DataAccountMonth"));
    q.execute();
    q.clearSql();
    q.addSql(
        QStringLiteral("insert into DataAccountMonth (IdHeadAccount, Month, CodTypeOperation, "
                       "IdCategory, IdContrAgent, Units, Rows)"));
    q.addSql(QStringLiteral("select da.IdHeadAccount, substr(da.DateDocument, 1, 7), "
                            "da.CodTypeOperation, coalesce(d.IdCategory, 0), "
                            "coalesce(d.IdContrAgent, 0), sum(%1), count(*)")
                 .arg(kRowUnits));
    q.addSql(
        QStringLiteral("from DataAccount da left join Document d on d.IdDocument = "
                       "da.IdDocument"));
    q.addSql(QStringLiteral("group by 1, 2, 3, 4, 5"));
    q.execute();
    transaction.commit();
}

bool prepareLedgerTotals(DbConnection& connection) {
    if (hasLedgerTotals(connection)) {
        return true;
    }
    if (connection.inTransaction()) {
        return false;
    }
    DbQuery q(connection, QStringLiteral("qrQueryOnly"));
    q.setSql(connection.dialect().readOnlyQuery());
    q.open();
    if (q.value(0, 0).toInt() != 0) {
        return false;
    }
    try {
        rebuildLedgerTotals(connection);
    } catch (const AppError&) {
        // Busy or read-only: this report reads the ledger, the next one tries again.
        return false;
    }
    return true;
}

QStringList ledgerTotalsDifferences(DbConnection& connection, int shown, int& total) {
    total = 0;
    if (!hasLedgerTotals(connection)) {
        return {};
    }
    DbQuery q(connection, QStringLiteral("qrTotalsCheck"));
    q.addSql(
        QStringLiteral("select k.IdHeadAccount, k.Month, k.CodTypeOperation, k.IdCategory, "
                       "k.IdContrAgent,"));
    q.addSql(
        QStringLiteral("sum(k.TotalUnits) as TotalUnits, sum(k.TotalRows) as TotalRows, "
                       "sum(k.LedgerUnits) as LedgerUnits, sum(k.LedgerRows) as LedgerRows"));
    q.addSql(
        QStringLiteral("from (select IdHeadAccount, Month, CodTypeOperation, IdCategory, "
                       "IdContrAgent, Units as TotalUnits, Rows as TotalRows, 0 as "
                       "LedgerUnits, 0 as LedgerRows from DataAccountMonth"));
    q.addSql(QStringLiteral("union all"));
    q.addSql(QStringLiteral("select da.IdHeadAccount, substr(da.DateDocument, 1, 7), "
                            "da.CodTypeOperation, coalesce(d.IdCategory, 0), "
                            "coalesce(d.IdContrAgent, 0), 0, 0, %1, 1")
                 .arg(kRowUnits));
    q.addSql(
        QStringLiteral("from DataAccount da left join Document d on d.IdDocument = "
                       "da.IdDocument) k"));
    q.addSql(QStringLiteral("group by 1, 2, 3, 4, 5"));
    q.addSql(
        QStringLiteral("having sum(k.TotalUnits) <> sum(k.LedgerUnits) or sum(k.TotalRows) <> "
                       "sum(k.LedgerRows)"));
    q.addSql(QStringLiteral("order by 1, 2, 3, 4, 5"));
    q.open();
    QStringList lines;
    for (q.first(); !q.eof(); q.next()) {
        ++total;
        if (lines.size() >= shown) {
            continue;
        }
        const auto f = [&](const char* name) { return q.field(QLatin1String(name)); };
        const auto amount = [](qint64 units) {
            return reportCellText(QVariant::fromValue(Money::fromUnits(units)), ColumnKind::Money,
                                  CellForm::Csv);
        };
        lines << QStringLiteral(
                     "счет %1, месяц %2, операция %3, категория %4, контрагент %5: в итогах "
                     "%6 (проводок %7), по проводкам %8 (проводок %9)")
                     .arg(f("IdHeadAccount").asInteger())
                     .arg(f("Month").asString())
                     .arg(f("CodTypeOperation").asInteger())
                     .arg(f("IdCategory").asInteger())
                     .arg(f("IdContrAgent").asInteger())
                     .arg(amount(f("TotalUnits").asInt64()))
                     .arg(f("TotalRows").asInt64())
                     .arg(amount(f("LedgerUnits").asInt64()))
                     .arg(f("LedgerRows").asInt64());
    }
    return lines;
}

QList<Move> ledgerMoves(DbConnection& connection, const MoveQuery& query, bool useTotals) {
    DbQuery q(connection, QStringLiteral("qrMoves"));
    q.addSql(
        QStringLiteral("select x.IdHeadAccount, x.Op, x.KeyId, x.Period, sum(x.Units) as Units, "
                       "sum(x.Rows) as Rows from ("));
    const QList<Piece> list = pieces(query.from, query.to, useTotals && query.key != MoveKey::Day);
    // Each piece sums its own rows with their signs, so that the union holds
    // a few sums rather than every row.
    const QString units = QStringLiteral("cast(sum(%1 * g.SignInGroup) as bigint) as Units");
    for (int i = 0; i < list.size(); ++i) {
        const Piece& p = list[i];
        const Grouping g = grouping(query.key, p.totals);
        if (i > 0) {
            q.addSql(QStringLiteral("union all"));
        }
        if (p.totals) {
            q.addSql(QStringLiteral("select s.IdHeadAccount, %1, %2, sum(s.Rows) as Rows")
                         .arg(g.columns, units.arg(QStringLiteral("s.Units"))));
            q.addSql(QStringLiteral("from DataAccountMonth s cross join GroupOperationItem g"));
            q.addSql(
                QStringLiteral("where s.IdHeadAccount in %1 and s.Month >= :First%2 and "
                               "s.Month <= :Last%2%3")
                    .arg(kAccounts)
                    .arg(i)
                    .arg(operationFilter(QStringLiteral("s.CodTypeOperation"), query.operations)));
            q.addSql(
                QStringLiteral("and g.CodGroupOperation = 1 and g.CodTypeOperation = "
                               "s.CodTypeOperation"));
            q.addSql(QStringLiteral("group by s.IdHeadAccount%1").arg(g.groupBy));
        } else {
            q.addSql(QStringLiteral("select da.IdHeadAccount, %1, %2, count(*) as Rows")
                         .arg(g.columns, units.arg(kRowUnits)));
            q.addSql(QStringLiteral("from DataAccount da cross join GroupOperationItem g"));
            if (query.key == MoveKey::Category || query.key == MoveKey::ContrAgent) {
                q.addSql(QStringLiteral("left join Document d on d.IdDocument = da.IdDocument"));
            }
            // Days as text: a date compares below every time of its day.
            q.addSql(QStringLiteral("where da.IdHeadAccount in %1 and da.DateDocument >= "
                                    ":First%2 and da.DateDocument < :Last%2%3")
                         .arg(kAccounts)
                         .arg(i)
                         .arg(operationFilter(QStringLiteral("da.CodTypeOperation"),
                                              query.operations)));
            q.addSql(
                QStringLiteral("and g.CodGroupOperation = 1 and g.CodTypeOperation = "
                               "da.CodTypeOperation"));
            q.addSql(QStringLiteral("group by da.IdHeadAccount%1").arg(g.groupBy));
        }
    }
    q.addSql(QStringLiteral(") x group by x.IdHeadAccount, x.Op, x.KeyId, x.Period"));
    // Every line is in: binding clears with each line added.
    for (int i = 0; i < list.size(); ++i) {
        const Piece& p = list[i];
        const QString first =
            p.first.isValid() ? (p.totals ? monthText(p.first) : dayText(p.first)) : QString();
        q.bindString(QStringLiteral("First%1").arg(i), first);
        q.bindString(QStringLiteral("Last%1").arg(i),
                     p.totals ? monthText(p.last) : dayText(p.last.addDays(1)));
    }
    bindAccounts(q, query.idValuta, query.idHeadAccount);
    q.open();
    QList<Move> moves;
    moves.reserve(q.recordCount());
    for (q.first(); !q.eof(); q.next()) {
        Move m;
        m.idHeadAccount = q.field(QStringLiteral("IdHeadAccount")).asInt64();
        m.operation = q.field(QStringLiteral("Op")).asInteger();
        m.id = q.field(QStringLiteral("KeyId")).asInt64();
        const QString period = q.field(QStringLiteral("Period")).asString();
        if (period.size() == 7) {
            m.period = QDate::fromString(period + QStringLiteral("-01"), Qt::ISODate);
        } else if (!period.isEmpty()) {
            m.period = QDate::fromString(period.left(10), Qt::ISODate);
        }
        m.units = q.field(QStringLiteral("Units")).asInt64();
        m.rows = q.field(QStringLiteral("Rows")).asInt64();
        moves.push_back(m);
    }
    return moves;
}

QDate firstLedgerDay(DbConnection& connection, qint64 idValuta, qint64 idHeadAccount) {
    DbQuery q(connection, QStringLiteral("qrFirstDay"));
    q.addSql(
        QStringLiteral("select min((select min(da.DateDocument) from DataAccount da where "
                       "da.IdHeadAccount = a.IdHeadAccount)) as First"));
    q.addSql(QStringLiteral("from %1 a").arg(kAccounts));
    bindAccounts(q, idValuta, idHeadAccount);
    q.open();
    return q.field(QStringLiteral("First")).asDate();
}

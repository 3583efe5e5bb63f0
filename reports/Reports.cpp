#include "Reports.h"

#include "AppError.h"
#include "Db.h"
#include "Rates.h"

#include <QLocale>
#include <QMap>
#include <QSet>
#include <algorithm>

namespace {

const QLocale kRussian(QLocale::Russian, QLocale::Russia);

// The signed ledger amount of a row in ten-thousandths, exact: each row is
// rounded to money as the recalculation reads it.
const QString kUnits =
    QStringLiteral("cast(round(da.ValueDataAccount * g.SignInGroup * 10000) as integer)");

// The ledger rows of one currency, or of one account, with their signs.
QString ledgerFrom() {
    return QStringLiteral(
        "from DataAccount da\n"
        "inner join GroupOperationItem g on g.CodGroupOperation = 1 and g.CodTypeOperation = "
        "da.CodTypeOperation\n"
        "inner join HeadAccount ha on ha.IdHeadAccount = da.IdHeadAccount\n"
        "inner join Document d on d.IdDocument = da.IdDocument\n");
}

QString operationList(const QList<int>& ops) {
    QStringList codes;
    for (int op : ops) {
        codes << QString::number(op);
    }
    return codes.join(QStringLiteral(", "));
}

QString monthCaption(const QDate& month) {
    QString name = kRussian.standaloneMonthName(month.month());
    if (!name.isEmpty()) {
        name[0] = name[0].toUpper();
    }
    return QStringLiteral("%1 %2").arg(name).arg(month.year());
}

QString dayCaption(const QDate& d) {
    return d.toString(QStringLiteral("dd.MM.yyyy"));
}

QVariant money(Money m) {
    return QVariant::fromValue(m);
}

// What every kind needs: the period, the currency, the operations.
class Builder {
public:
    Builder(DbConnection& c, const ReportQuery& q) : m_c(c), m_q(q), m_query(c) {}

    Report build() {
        resolveOperations();
        resolveCurrencyAndPeriod();
        m_report.query = m_q;
        m_report.title = reportCaption(m_q.kind);
        m_report.subtitle = subtitle();
        switch (m_q.kind) {
            case ReportKind::Categories:
                categories();
                break;
            case ReportKind::Months:
                months();
                break;
            case ReportKind::Counterparties:
                counterparties();
                break;
            case ReportKind::Balances:
                balances();
                break;
            case ReportKind::Statement:
                statement();
                break;
            case ReportKind::NetWorth:
                netWorth();
                break;
        }
        return m_report;
    }

private:
    DbConnection& m_c;
    ReportQuery m_q;
    DbQuery m_query;
    Report m_report;
    int m_expenseOp = 1;
    int m_incomeOp = 2;
    QString m_valuta;   // the currency's caption
    QString m_account;  // the account's caption, when one is chosen

    QList<int> allOps() const { return {m_expenseOp, m_incomeOp, 3, 4}; }

    void resolveOperations() {
        DbQuery& q = m_query;
        q.setSql(
            QStringLiteral("select CodTypeDocument, CodTypeOperation from TypeDocument "
                           "where CodTypeDocument in (1, 2)"));
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            const int op = q.field(QStringLiteral("CodTypeOperation")).asInteger();
            if (q.field(QStringLiteral("CodTypeDocument")).asInteger() == 1) {
                m_expenseOp = op;
            } else {
                m_incomeOp = op;
            }
        }
        q.close();
    }

    void resolveCurrencyAndPeriod() {
        DbQuery& q = m_query;
        if (m_q.idHeadAccount > 0) {
            q.setSql(
                QStringLiteral("select ha.Caption, ha.IdValuta from HeadAccount ha "
                               "where ha.IdHeadAccount = :Id"));
            q.bindInteger(QStringLiteral("Id"), m_q.idHeadAccount);
            q.open();
            if (q.isEmpty()) {
                throw AppError(QStringLiteral("счета %1 нет").arg(m_q.idHeadAccount));
            }
            m_account = q.field(QStringLiteral("Caption")).asString();
            if (m_q.kind != ReportKind::NetWorth) {
                m_q.idValuta = q.field(QStringLiteral("IdValuta")).asInteger();
            }
        } else if (m_q.kind == ReportKind::Statement) {
            // A statement is of one account: the first of the currency.
            q.setSql(
                QStringLiteral("select IdHeadAccount, Caption, IdValuta from HeadAccount "
                               "where IdValuta = :IdValuta or :Any = 0 "
                               "order by IdHeadAccount limit 1"));
            q.bindInteger(QStringLiteral("IdValuta"), m_q.idValuta);
            q.bindInteger(QStringLiteral("Any"), m_q.idValuta);
            q.open();
            if (q.isEmpty()) {
                throw AppError(QStringLiteral("нет ни одного счета"));
            }
            m_q.idHeadAccount = q.field(QStringLiteral("IdHeadAccount")).asInteger();
            m_account = q.field(QStringLiteral("Caption")).asString();
            m_q.idValuta = q.field(QStringLiteral("IdValuta")).asInteger();
        }
        if (m_q.idValuta <= 0) {
            // The currency of the first account; for the net worth roubles
            // when the family has them.
            q.setSql(QStringLiteral(
                "select IdValuta from Valuta order by case when Caption = 'RUB' and :NetWorth = 1 "
                "then 0 else 1 end, (select min(IdHeadAccount) from HeadAccount ha where "
                "ha.IdValuta = Valuta.IdValuta) is null, (select min(IdHeadAccount) from "
                "HeadAccount ha where ha.IdValuta = Valuta.IdValuta), IdValuta limit 1"));
            q.bindInteger(QStringLiteral("NetWorth"), m_q.kind == ReportKind::NetWorth ? 1 : 0);
            q.open();
            if (q.isEmpty()) {
                throw AppError(QStringLiteral("нет ни одной валюты"));
            }
            m_q.idValuta = q.field(QStringLiteral("IdValuta")).asInteger();
        }
        q.setSql(QStringLiteral("select Caption from Valuta where IdValuta = :Id"));
        q.bindInteger(QStringLiteral("Id"), m_q.idValuta);
        q.open();
        if (q.isEmpty()) {
            throw AppError(QStringLiteral("валюты %1 нет").arg(m_q.idValuta));
        }
        m_valuta = q.field(QStringLiteral("Caption")).asString();

        if (!m_q.to.isValid()) {
            m_q.to = QDate::currentDate();
        }
        if (!m_q.from.isValid()) {
            q.setSql(QStringLiteral("select min(DateDocument) as First from DataAccount"));
            q.open();
            const QDate first = q.field(QStringLiteral("First")).asDate();
            m_q.from = first.isValid() ? std::min(first, m_q.to) : m_q.to;
        }
        q.close();
        if (m_q.from > m_q.to) {
            throw AppError(QStringLiteral("начало периода %1 позже его конца %2")
                               .arg(dayCaption(m_q.from), dayCaption(m_q.to)));
        }
    }

    QString subtitle() const {
        QString text = QStringLiteral("%1 - %2").arg(dayCaption(m_q.from), dayCaption(m_q.to));
        if (m_q.kind == ReportKind::NetWorth) {
            return text + QStringLiteral(", в %1").arg(m_valuta);
        }
        text += QStringLiteral(", %1").arg(m_valuta);
        if (!m_account.isEmpty()) {
            text += QStringLiteral(", счет \"%1\"").arg(m_account);
        }
        return text;
    }

    // Binds the period, the currency and the account of the ledger filter.
    void ledgerWhere(DbQuery& q, const QDate& from, const QDate& to) {
        q.bindDate(QStringLiteral("FromDate"), from);
        q.bindDate(QStringLiteral("ToDate"), to);
        q.bindInteger(QStringLiteral("IdValuta"), m_q.idValuta);
        q.bindInteger(QStringLiteral("AnyAccount"), m_q.idHeadAccount);
        q.bindInteger(QStringLiteral("IdHeadAccount"), m_q.idHeadAccount);
    }

    static QString ledgerFilter() {
        return QStringLiteral(
            "where da.DateDocument between :FromDate and :ToDate and ha.IdValuta = :IdValuta\n"
            "and (:AnyAccount = 0 or da.IdHeadAccount = :IdHeadAccount)\n");
    }

    DrillDown drill(const QDate& from, const QDate& to, const QList<int>& ops) const {
        DrillDown d;
        d.from = from;
        d.to = to;
        d.idHeadAccount = m_q.idHeadAccount;
        d.idValuta = m_q.idValuta;
        d.operations = ops;
        return d;
    }

    // Sum and documents per key (a category or counterparty) of some
    // operations over the period.
    struct Totals {
        qint64 units = 0;
        int documents = 0;
        QString caption;
    };
    QMap<qint64, QMap<int, Totals>> totalsBy(const QString& keyColumn, const QString& captionSql,
                                             const QList<int>& ops) {
        DbQuery& q = m_query;
        q.clearSql();
        q.addSql(QStringLiteral("select coalesce(%1, 0) as KeyId, da.CodTypeOperation as Op,")
                     .arg(keyColumn));
        q.addSql(QStringLiteral("(%1) as Caption,").arg(captionSql));
        q.addSql(
            QStringLiteral("sum(%1) as Units, count(distinct da.IdDocument) as Docs").arg(kUnits));
        q.addSql(ledgerFrom());
        q.addSql(ledgerFilter());
        q.addSql(QStringLiteral("and da.CodTypeOperation in (%1)").arg(operationList(ops)));
        q.addSql(QStringLiteral("group by KeyId, Op"));
        ledgerWhere(q, m_q.from, m_q.to);
        q.open();
        QMap<qint64, QMap<int, Totals>> result;
        for (q.first(); !q.eof(); q.next()) {
            Totals& t = result[q.field(QStringLiteral("KeyId")).asInteger()]
                              [q.field(QStringLiteral("Op")).asInteger()];
            t.units = q.field(QStringLiteral("Units")).value().toLongLong();
            t.documents = q.field(QStringLiteral("Docs")).asInteger();
            t.caption = q.field(QStringLiteral("Caption")).asString();
        }
        q.close();
        return result;
    }

    void categories() {
        const bool expense = m_q.flow == Flow::Expense;
        const int op = expense ? m_expenseOp : m_incomeOp;
        m_report.title = expense ? QStringLiteral("Расходы по категориям")
                                 : QStringLiteral("Доходы по категориям");
        const auto totals = totalsBy(
            QStringLiteral("d.IdCategory"),
            QStringLiteral("select c.Caption from Category c where c.IdCategory = d.IdCategory"),
            {op});
        struct Line {
            qint64 id;
            QString caption;
            Money amount;
            int documents;
        };
        QList<Line> lines;
        Money total;
        int documents = 0;
        for (auto it = totals.cbegin(); it != totals.cend(); ++it) {
            const Totals& t = it.value().value(op);
            const Money amount = Money::fromUnits(expense ? -t.units : t.units);
            lines.push_back({it.key(), it.key() == 0 ? QStringLiteral("Без категории") : t.caption,
                             amount, t.documents});
            total += amount;
            documents += t.documents;
        }
        std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
            return a.amount != b.amount ? a.amount > b.amount : a.caption < b.caption;
        });
        m_report.columns = {{QStringLiteral("Категория"), ColumnKind::Text},
                            {QStringLiteral("Сумма, %1").arg(m_valuta), ColumnKind::Money},
                            {QStringLiteral("Доля"), ColumnKind::Share},
                            {QStringLiteral("Документов"), ColumnKind::Count}};
        m_report.chart.type = ReportChart::Type::Pie;
        ChartSeries series{m_report.title, {}, {}};
        for (const Line& l : std::as_const(lines)) {
            DrillDown d = drill(m_q.from, m_q.to, {op});
            d.idCategory = l.id;
            const double part = total.isZero() ? 0.0 : l.amount.toDouble() / total.toDouble();
            m_report.rows.push_back({{l.caption, money(l.amount), part, l.documents}, d});
            m_report.chart.labels << l.caption;
            series.values << l.amount;
            series.drill << d;
        }
        m_report.chart.series << series;
        m_report.total = {
            {QStringLiteral("Итого"), money(total), lines.isEmpty() ? 0.0 : 1.0, documents},
            drill(m_q.from, m_q.to, {op})};
    }

    void counterparties() {
        const auto totals =
            totalsBy(QStringLiteral("d.IdContrAgent"),
                     QStringLiteral("select ca.Caption from ContrAgent ca where ca.IdContrAgent = "
                                    "d.IdContrAgent"),
                     {m_expenseOp, m_incomeOp});
        struct Line {
            qint64 id;
            QString caption;
            Money expense;
            Money income;
            int documents;
        };
        QList<Line> lines;
        Line total{0, QStringLiteral("Итого"), {}, {}, 0};
        for (auto it = totals.cbegin(); it != totals.cend(); ++it) {
            const Totals e = it.value().value(m_expenseOp);
            const Totals i = it.value().value(m_incomeOp);
            Line l{it.key(), e.caption.isEmpty() ? i.caption : e.caption,
                   Money::fromUnits(-e.units), Money::fromUnits(i.units),
                   e.documents + i.documents};
            if (l.id == 0) {
                l.caption = QStringLiteral("Без контрагента");
            }
            lines << l;
            total.expense += l.expense;
            total.income += l.income;
            total.documents += l.documents;
        }
        std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
            const Money ta = a.expense + a.income;
            const Money tb = b.expense + b.income;
            return ta != tb ? ta > tb : a.caption < b.caption;
        });
        m_report.columns = {{QStringLiteral("Контрагент"), ColumnKind::Text},
                            {QStringLiteral("Расходы, %1").arg(m_valuta), ColumnKind::Money},
                            {QStringLiteral("Доходы, %1").arg(m_valuta), ColumnKind::Money},
                            {QStringLiteral("Документов"), ColumnKind::Count}};
        m_report.chart.type = ReportChart::Type::Bars;
        ChartSeries expenses{QStringLiteral("Расходы"), {}, {}};
        ChartSeries incomes{QStringLiteral("Доходы"), {}, {}};
        for (const Line& l : std::as_const(lines)) {
            DrillDown both = drill(m_q.from, m_q.to, {m_expenseOp, m_incomeOp});
            both.idContrAgent = l.id;
            m_report.rows.push_back(
                {{l.caption, money(l.expense), money(l.income), l.documents}, both});
            m_report.chart.labels << l.caption;
            DrillDown e = both;
            e.operations = {m_expenseOp};
            DrillDown i = both;
            i.operations = {m_incomeOp};
            expenses.values << l.expense;
            expenses.drill << e;
            incomes.values << l.income;
            incomes.drill << i;
        }
        m_report.chart.series << expenses << incomes;
        m_report.total = {
            {total.caption, money(total.expense), money(total.income), total.documents},
            drill(m_q.from, m_q.to, {m_expenseOp, m_incomeOp})};
    }

    void months() {
        DbQuery& q = m_query;
        q.clearSql();
        q.addSql(QStringLiteral("select substr(da.DateDocument, 1, 7) as Month, "
                                "da.CodTypeOperation as Op, sum(%1) as Units")
                     .arg(kUnits));
        q.addSql(ledgerFrom());
        q.addSql(ledgerFilter());
        q.addSql(QStringLiteral("and da.CodTypeOperation in (%1, %2)")
                     .arg(m_expenseOp)
                     .arg(m_incomeOp));
        q.addSql(QStringLiteral("group by Month, Op"));
        ledgerWhere(q, m_q.from, m_q.to);
        q.open();
        QMap<QString, QPair<qint64, qint64>> byMonth;  // "2026-12" -> (income, expense)
        for (q.first(); !q.eof(); q.next()) {
            auto& m = byMonth[q.field(QStringLiteral("Month")).asString()];
            const qint64 units = q.field(QStringLiteral("Units")).value().toLongLong();
            if (q.field(QStringLiteral("Op")).asInteger() == m_incomeOp) {
                m.first = units;
            } else {
                m.second = -units;
            }
        }
        q.close();
        m_report.columns = {{QStringLiteral("Месяц"), ColumnKind::Text},
                            {QStringLiteral("Доходы, %1").arg(m_valuta), ColumnKind::Money},
                            {QStringLiteral("Расходы, %1").arg(m_valuta), ColumnKind::Money},
                            {QStringLiteral("Разница, %1").arg(m_valuta), ColumnKind::Money}};
        m_report.chart.type = ReportChart::Type::BarsAndLine;
        ChartSeries incomes{QStringLiteral("Доходы"), {}, {}};
        ChartSeries expenses{QStringLiteral("Расходы"), {}, {}};
        ChartSeries difference{QStringLiteral("Разница"), {}, {}};
        Money totalIncome;
        Money totalExpense;
        for (QDate month(m_q.from.year(), m_q.from.month(), 1); month <= m_q.to;
             month = month.addMonths(1)) {
            const auto m = byMonth.value(month.toString(QStringLiteral("yyyy-MM")));
            const Money income = Money::fromUnits(m.first);
            const Money expense = Money::fromUnits(m.second);
            const QDate first = std::max(month, m_q.from);
            const QDate last = std::min(month.addMonths(1).addDays(-1), m_q.to);
            const DrillDown both = drill(first, last, {m_expenseOp, m_incomeOp});
            m_report.rows.push_back(
                {{monthCaption(month), money(income), money(expense), money(income - expense)},
                 both});
            m_report.chart.labels << monthCaption(month);
            m_report.chart.dates << month;
            incomes.values << income;
            incomes.drill << drill(first, last, {m_incomeOp});
            expenses.values << expense;
            expenses.drill << drill(first, last, {m_expenseOp});
            difference.values << income - expense;
            difference.drill << both;
            totalIncome += income;
            totalExpense += expense;
        }
        m_report.chart.series << incomes << expenses << difference;
        m_report.total = {{QStringLiteral("Итого"), money(totalIncome), money(totalExpense),
                           money(totalIncome - totalExpense)},
                          drill(m_q.from, m_q.to, {m_expenseOp, m_incomeOp})};
    }

    Step step() const {
        if (m_q.step != Step::Auto) {
            return m_q.step;
        }
        const qint64 days = m_q.from.daysTo(m_q.to);
        return days <= 62 ? Step::Day : days <= 366 ? Step::Week : Step::Month;
    }

    // The last day of each step of the period: a day, a week (to Sunday) or
    // a month; the last one is the period's end.
    QList<QDate> pointDates() const {
        QList<QDate> dates;
        const Step s = step();
        QDate d = m_q.from;
        while (d <= m_q.to) {
            QDate end = d;
            if (s == Step::Week) {
                end = d.addDays(7 - d.dayOfWeek());
            } else if (s == Step::Month) {
                end = QDate(d.year(), d.month(), 1).addMonths(1).addDays(-1);
            }
            end = std::min(end, m_q.to);
            dates << end;
            d = end.addDays(1);
        }
        return dates;
    }

    struct Account {
        qint64 id;
        QString caption;
        qint64 idValuta;
        QString valuta;
    };
    QList<Account> accounts(bool allCurrencies) {
        DbQuery& q = m_query;
        q.setSql(QStringLiteral(
            "select ha.IdHeadAccount, ha.Caption, ha.IdValuta, v.Caption as Valuta from "
            "HeadAccount ha inner join Valuta v on v.IdValuta = ha.IdValuta "
            "where (:All = 1 or ha.IdValuta = :IdValuta) and (:AnyAccount = 0 or "
            "ha.IdHeadAccount = :IdHeadAccount) order by ha.IdHeadAccount"));
        q.bindInteger(QStringLiteral("All"), allCurrencies ? 1 : 0);
        q.bindInteger(QStringLiteral("IdValuta"), m_q.idValuta);
        q.bindInteger(QStringLiteral("AnyAccount"), m_q.idHeadAccount);
        q.bindInteger(QStringLiteral("IdHeadAccount"), m_q.idHeadAccount);
        q.open();
        QList<Account> list;
        for (q.first(); !q.eof(); q.next()) {
            list.push_back({q.field(QStringLiteral("IdHeadAccount")).asInteger(),
                            q.field(QStringLiteral("Caption")).asString(),
                            q.field(QStringLiteral("IdValuta")).asInteger(),
                            q.field(QStringLiteral("Valuta")).asString()});
        }
        q.close();
        return list;
    }

    // Each account's balance at the end of each point date: the ledger before
    // the period, then its movements day by day.
    QHash<qint64, QList<Money>> balancesAt(const QList<Account>& list, const QList<QDate>& dates) {
        QHash<qint64, qint64> opening;
        QHash<qint64, QMap<QDate, qint64>> moves;
        DbQuery& q = m_query;
        q.clearSql();
        q.addSql(QStringLiteral("select da.IdHeadAccount, case when da.DateDocument < :Start "
                                "then '' else da.DateDocument end as Day, sum(%1) as Units")
                     .arg(kUnits));
        q.addSql(QStringLiteral(
            "from DataAccount da inner join GroupOperationItem g on g.CodGroupOperation = 1 "
            "and g.CodTypeOperation = da.CodTypeOperation"));
        q.addSql(QStringLiteral("where da.DateDocument <= :ToDate"));
        q.addSql(QStringLiteral("group by da.IdHeadAccount, Day"));
        q.bindDate(QStringLiteral("Start"), m_q.from);
        q.bindDate(QStringLiteral("ToDate"), m_q.to);
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            const qint64 account = q.field(QStringLiteral("IdHeadAccount")).asInteger();
            const qint64 units = q.field(QStringLiteral("Units")).value().toLongLong();
            const QString day = q.field(QStringLiteral("Day")).asString();
            if (day.isEmpty()) {
                opening[account] += units;
            } else {
                moves[account][q.field(QStringLiteral("Day")).asDate()] += units;
            }
        }
        q.close();
        QHash<qint64, QList<Money>> result;
        for (const Account& a : list) {
            qint64 running = opening.value(a.id);
            const QMap<QDate, qint64>& m = moves[a.id];
            auto it = m.cbegin();
            QList<Money>& points = result[a.id];
            for (const QDate& d : dates) {
                for (; it != m.cend() && it.key() <= d; ++it) {
                    running += it.value();
                }
                points << Money::fromUnits(running);
            }
        }
        return result;
    }

    QString pointCaption(const QDate& d) const {
        return step() == Step::Month ? monthCaption(d) : dayCaption(d);
    }

    void balances() {
        const QList<Account> list = accounts(false);
        const QList<QDate> dates = pointDates();
        const auto points = balancesAt(list, dates);
        m_report.columns = {{QStringLiteral("Дата"), ColumnKind::Text}};
        m_report.chart.type = ReportChart::Type::Lines;
        for (const Account& a : list) {
            m_report.columns.push_back({a.caption, ColumnKind::Money});
            m_report.chart.series.push_back({a.caption, {}, {}});
        }
        if (list.size() > 1) {
            m_report.columns.push_back(
                {QStringLiteral("Итого, %1").arg(m_valuta), ColumnKind::Money});
            m_report.chart.series.push_back({QStringLiteral("Итого"), {}, {}});
        }
        QDate previous = m_q.from;
        for (int i = 0; i < dates.size(); ++i) {
            QVariantList values{pointCaption(dates[i])};
            Money total;
            for (int k = 0; k < list.size(); ++k) {
                const Money m = points[list[k].id][i];
                values << money(m);
                m_report.chart.series[k].values << m;
                total += m;
            }
            if (list.size() > 1) {
                values << money(total);
                m_report.chart.series.last().values << total;
            }
            m_report.rows.push_back({values, drill(previous, dates[i], allOps())});
            m_report.chart.labels << pointCaption(dates[i]);
            m_report.chart.dates << dates[i];
            previous = dates[i].addDays(1);
        }
    }

    void statement() {
        DbQuery& q = m_query;
        q.clearSql();
        q.addSql(QStringLiteral("select coalesce(sum(%1), 0) as Units").arg(kUnits));
        q.addSql(QStringLiteral(
            "from DataAccount da inner join GroupOperationItem g on g.CodGroupOperation = 1 "
            "and g.CodTypeOperation = da.CodTypeOperation"));
        q.addSql(QStringLiteral("where da.IdHeadAccount = :Id and da.DateDocument < :Start"));
        q.bindInteger(QStringLiteral("Id"), m_q.idHeadAccount);
        q.bindDate(QStringLiteral("Start"), m_q.from);
        q.open();
        const Money opening =
            Money::fromUnits(q.field(QStringLiteral("Units")).value().toLongLong());
        q.clearSql();
        q.addSql(
            QStringLiteral("select da.IdDocument, da.DateDocument, %1 as Units,").arg(kUnits));
        q.addSql(
            QStringLiteral("td.Caption as Kind, c.Caption as Category, ca.Caption as "
                           "ContrAgent, d.NoteDocument,"));
        q.addSql(
            QStringLiteral("(select ha2.Caption from HeadAccount ha2 where "
                           "ha2.IdHeadAccount = case when da.CodTypeOperation = 3 then "
                           "d.IdHeadAccount2 else d.IdHeadAccount end) as Other"));
        q.addSql(ledgerFrom());
        q.addSql(
            QStringLiteral("left join TypeDocument td on td.CodTypeDocument = "
                           "d.CodTypeDocument"));
        q.addSql(QStringLiteral("left join Category c on c.IdCategory = d.IdCategory"));
        q.addSql(QStringLiteral("left join ContrAgent ca on ca.IdContrAgent = d.IdContrAgent"));
        q.addSql(
            QStringLiteral("where da.IdHeadAccount = :Id and da.DateDocument between "
                           ":FromDate and :ToDate"));
        q.addSql(QStringLiteral("order by da.DateDocument, da.IdDocument, da.CodTypeOperation"));
        q.bindInteger(QStringLiteral("Id"), m_q.idHeadAccount);
        q.bindDate(QStringLiteral("FromDate"), m_q.from);
        q.bindDate(QStringLiteral("ToDate"), m_q.to);
        q.open();
        m_report.columns = {{QStringLiteral("Дата"), ColumnKind::Date},
                            {QStringLiteral("Документ"), ColumnKind::Text},
                            {QStringLiteral("Вид"), ColumnKind::Text},
                            {QStringLiteral("Категория, контрагент, счет"), ColumnKind::Text},
                            {QStringLiteral("Примечание"), ColumnKind::Text},
                            {QStringLiteral("Сумма, %1").arg(m_valuta), ColumnKind::Money},
                            {QStringLiteral("Остаток, %1").arg(m_valuta), ColumnKind::Money}};
        m_report.rows.push_back({{m_q.from, QString(), QStringLiteral("Входящий остаток"),
                                  QString(), QString(), QVariant(), money(opening)},
                                 {}});
        m_report.chart.type = ReportChart::Type::Lines;
        ChartSeries line{QStringLiteral("Остаток"), {}, {}};
        Money running = opening;
        for (q.first(); !q.eof(); q.next()) {
            const Money amount =
                Money::fromUnits(q.field(QStringLiteral("Units")).value().toLongLong());
            running += amount;
            const QDate day = q.field(QStringLiteral("DateDocument")).asDate();
            QStringList about;
            for (const char* name : {"Category", "ContrAgent"}) {
                const QString text = q.field(QLatin1String(name)).asString();
                if (!text.isEmpty()) {
                    about << text;
                }
            }
            const QString kind = q.field(QStringLiteral("Kind")).asString();
            if (about.isEmpty()) {
                about << q.field(QStringLiteral("Other")).asString();
            }
            DrillDown d;
            d.idDocument = q.field(QStringLiteral("IdDocument")).asInteger();
            d.from = day;
            d.to = day;
            m_report.rows.push_back(
                {{day, QString::number(d.idDocument), kind, about.join(QStringLiteral(", ")),
                  q.field(QStringLiteral("NoteDocument")).asString(), money(amount),
                  money(running)},
                 d});
            if (!m_report.chart.dates.isEmpty() && m_report.chart.dates.last() == day) {
                line.values.last() = running;
            } else {
                m_report.chart.dates << day;
                m_report.chart.labels << dayCaption(day);
                line.values << running;
            }
        }
        q.close();
        m_report.chart.series << line;
        m_report.total = {{m_q.to, QString(), QStringLiteral("Исходящий остаток"), QString(),
                           QString(), money(running - opening), money(running)},
                          drill(m_q.from, m_q.to, allOps())};
        if (m_q.to >= QDate::currentDate()) {
            q.setSql(QStringLiteral("select Saldo from HeadAccount where IdHeadAccount = :Id"));
            q.bindInteger(QStringLiteral("Id"), m_q.idHeadAccount);
            q.open();
            const Money saldo = q.field(QStringLiteral("Saldo")).asMoney();
            q.close();
            if (saldo != running) {
                m_report.notes << QStringLiteral(
                                      "Остаток счета в справочнике (%1) не равен сумме его "
                                      "проводок (%2): проверьте файл (dorsanti-db check) или "
                                      "пересчитайте остатки.")
                                      .arg(saldo.toString(), running.toString());
            }
        }
    }

    void netWorth() {
        const QList<Account> list = accounts(true);
        const QList<QDate> dates = pointDates();
        const auto points = balancesAt(list, dates);
        const RateBook rates(m_c);
        // The currencies in the order of their first account; the base first.
        QList<qint64> currencies{m_q.idValuta};
        QHash<qint64, QString> captions{{m_q.idValuta, m_valuta}};
        for (const Account& a : list) {
            if (!currencies.contains(a.idValuta)) {
                currencies << a.idValuta;
                captions.insert(a.idValuta, a.valuta);
            }
        }
        m_report.columns = {{QStringLiteral("Дата"), ColumnKind::Text},
                            {QStringLiteral("Итого, %1").arg(m_valuta), ColumnKind::Money}};
        for (qint64 c : currencies) {
            m_report.columns.push_back(
                {QStringLiteral("В %1").arg(captions[c]), ColumnKind::Money});
            if (c != m_q.idValuta) {
                m_report.columns.push_back(
                    {QStringLiteral("Курс %1").arg(captions[c]), ColumnKind::Rate});
                m_report.columns.push_back(
                    {QStringLiteral("%1 в %2").arg(captions[c], m_valuta), ColumnKind::Money});
            }
        }
        m_report.chart.type = ReportChart::Type::Lines;
        ChartSeries total{QStringLiteral("Итого, %1").arg(m_valuta), {}, {}};
        QSet<qint64> withoutRate;
        QDate previous = m_q.from;
        for (int i = 0; i < dates.size(); ++i) {
            QVariantList values{pointCaption(dates[i]), QVariant()};
            Money sum;
            for (qint64 c : currencies) {
                Money own;
                for (const Account& a : list) {
                    if (a.idValuta == c) {
                        own += points[a.id][i];
                    }
                }
                values << money(own);
                if (c == m_q.idValuta) {
                    sum += own;
                    continue;
                }
                const auto rate = rates.rateOn(c, m_q.idValuta, dates[i]);
                if (!rate) {
                    values << QStringLiteral("нет курса") << QVariant();
                    if (!own.isZero()) {
                        withoutRate.insert(c);
                    }
                    continue;
                }
                const Money converted = convert(own, rate->rate);
                values << QStringLiteral("%1 на %2")
                              .arg(rate->rate.toString().replace(QLatin1Char('.'),
                                                                 QLatin1Char(',')),
                                   dayCaption(rate->date))
                       << money(converted);
                sum += converted;
            }
            values[1] = money(sum);
            total.values << sum;
            DrillDown d = drill(previous, dates[i], allOps());
            d.idValuta = 0;
            d.idHeadAccount = 0;
            m_report.rows.push_back({values, d});
            m_report.chart.labels << pointCaption(dates[i]);
            m_report.chart.dates << dates[i];
            previous = dates[i].addDays(1);
        }
        m_report.chart.series << total;
        for (qint64 c : currencies) {
            if (withoutRate.contains(c)) {
                m_report.notes << QStringLiteral(
                                      "У валюты %1 нет курса к %2 на некоторые даты: ее "
                                      "суммы показаны отдельно и в итог не вошли. Курсы "
                                      "вводятся в окне \"Курсы валют\".")
                                      .arg(captions[c], m_valuta);
            }
        }
    }
};

}  // namespace

QString reportKindName(ReportKind kind) {
    switch (kind) {
        case ReportKind::Categories:
            return QStringLiteral("categories");
        case ReportKind::Months:
            return QStringLiteral("months");
        case ReportKind::Counterparties:
            return QStringLiteral("counterparties");
        case ReportKind::Balances:
            return QStringLiteral("balances");
        case ReportKind::Statement:
            return QStringLiteral("statement");
        case ReportKind::NetWorth:
            return QStringLiteral("networth");
    }
    return {};
}

std::optional<ReportKind> reportKindNamed(const QString& name) {
    for (ReportKind k : {ReportKind::Categories, ReportKind::Months, ReportKind::Counterparties,
                         ReportKind::Balances, ReportKind::Statement, ReportKind::NetWorth}) {
        if (reportKindName(k) == name) {
            return k;
        }
    }
    return std::nullopt;
}

QString reportCaption(ReportKind kind) {
    switch (kind) {
        case ReportKind::Categories:
            return QStringLiteral("Расходы по категориям");
        case ReportKind::Months:
            return QStringLiteral("Доходы и расходы по месяцам");
        case ReportKind::Counterparties:
            return QStringLiteral("По контрагентам");
        case ReportKind::Balances:
            return QStringLiteral("Остатки");
        case ReportKind::Statement:
            return QStringLiteral("Выписка по счету");
        case ReportKind::NetWorth:
            return QStringLiteral("Капитал");
    }
    return {};
}

QString presetCaption(Preset preset) {
    switch (preset) {
        case Preset::ThisMonth:
            return QStringLiteral("Этот месяц");
        case Preset::LastMonth:
            return QStringLiteral("Прошлый месяц");
        case Preset::ThisYear:
            return QStringLiteral("Этот год");
        case Preset::LastYear:
            return QStringLiteral("Прошлый год");
        case Preset::TwelveMonths:
            return QStringLiteral("12 месяцев");
        case Preset::AllTime:
            return QStringLiteral("Всё время");
    }
    return {};
}

std::pair<QDate, QDate> presetPeriod(Preset preset, const QDate& today) {
    const QDate month(today.year(), today.month(), 1);
    switch (preset) {
        case Preset::ThisMonth:
            return {month, today};
        case Preset::LastMonth:
            return {month.addMonths(-1), month.addDays(-1)};
        case Preset::ThisYear:
            return {QDate(today.year(), 1, 1), today};
        case Preset::LastYear:
            return {QDate(today.year() - 1, 1, 1), QDate(today.year() - 1, 12, 31)};
        case Preset::TwelveMonths:
            return {month.addMonths(-11), today};
        case Preset::AllTime:
            return {QDate(), today};
    }
    return {QDate(), today};
}

Report buildReport(DbConnection& connection, const ReportQuery& query) {
    return Builder(connection, query).build();
}

QList<DocumentLine> documentsBehind(DbConnection& connection, const DrillDown& drill) {
    QList<DocumentLine> lines;
    if (!drill.isValid()) {
        return lines;
    }
    DbQuery q(connection, QStringLiteral("qrBehind"));
    q.addSql(
        QStringLiteral("select d.IdDocument, d.CodTypeDocument, da.DateDocument, %1 as Units,")
            .arg(kUnits));
    q.addSql(
        QStringLiteral("ha.Caption as Account, c.Caption as Category, ca.Caption as "
                       "ContrAgent, d.NoteDocument, ts.CaptionStatus, ts.ColorStatus"));
    q.addSql(ledgerFrom());
    q.addSql(QStringLiteral("left join Category c on c.IdCategory = d.IdCategory"));
    q.addSql(QStringLiteral("left join ContrAgent ca on ca.IdContrAgent = d.IdContrAgent"));
    q.addSql(
        QStringLiteral("left join TypeStatus ts on ts.CodTypeDocument = d.CodTypeDocument "
                       "and ts.CodStatus = d.CodTypeStatus"));
    if (drill.idDocument > 0) {
        q.addSql(QStringLiteral("where da.IdDocument = :IdDocument"));
        q.bindInteger(QStringLiteral("IdDocument"), drill.idDocument);
    } else {
        q.addSql(QStringLiteral("where da.DateDocument between :FromDate and :ToDate"));
        q.addSql(QStringLiteral("and da.CodTypeOperation in (%1)")
                     .arg(operationList(drill.operations)));
        q.addSql(QStringLiteral("and (:AnyValuta = 0 or ha.IdValuta = :IdValuta)"));
        q.addSql(QStringLiteral("and (:AnyAccount = 0 or da.IdHeadAccount = :IdHeadAccount)"));
        q.bindDate(QStringLiteral("FromDate"), drill.from.isValid() ? drill.from : QDate(1, 1, 1));
        q.bindDate(QStringLiteral("ToDate"), drill.to);
        q.bindInteger(QStringLiteral("AnyValuta"), drill.idValuta);
        q.bindInteger(QStringLiteral("IdValuta"), drill.idValuta);
        q.bindInteger(QStringLiteral("AnyAccount"), drill.idHeadAccount);
        q.bindInteger(QStringLiteral("IdHeadAccount"), drill.idHeadAccount);
        if (drill.idCategory) {
            q.addSql(*drill.idCategory > 0 ? QStringLiteral("and d.IdCategory = :IdCategory")
                                           : QStringLiteral("and d.IdCategory is null"));
            if (*drill.idCategory > 0) {
                q.bindInteger(QStringLiteral("IdCategory"), *drill.idCategory);
            }
        }
        if (drill.idContrAgent) {
            q.addSql(*drill.idContrAgent > 0 ? QStringLiteral("and d.IdContrAgent = :IdContrAgent")
                                             : QStringLiteral("and d.IdContrAgent is null"));
            if (*drill.idContrAgent > 0) {
                q.bindInteger(QStringLiteral("IdContrAgent"), *drill.idContrAgent);
            }
        }
    }
    q.addSql(QStringLiteral("order by da.DateDocument, d.IdDocument, da.CodTypeOperation"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        DocumentLine l;
        l.idDocument = q.field(QStringLiteral("IdDocument")).asInteger();
        l.codTypeDocument = q.field(QStringLiteral("CodTypeDocument")).asInteger();
        l.date = q.field(QStringLiteral("DateDocument")).asDate();
        l.amount = Money::fromUnits(q.field(QStringLiteral("Units")).value().toLongLong());
        l.account = q.field(QStringLiteral("Account")).asString();
        l.category = q.field(QStringLiteral("Category")).asString();
        l.contrAgent = q.field(QStringLiteral("ContrAgent")).asString();
        l.note = q.field(QStringLiteral("NoteDocument")).asString();
        l.status = q.field(QStringLiteral("CaptionStatus")).asString();
        l.colorStatus = q.field(QStringLiteral("ColorStatus")).asInteger();
        lines << l;
    }
    return lines;
}

#include "Reports.h"

#include "AppError.h"
#include "Db.h"
#include "Forecast.h"
#include "LedgerTotals.h"
#include "Rates.h"
#include "SqlCursor.h"

#include <QHash>
#include <QLocale>
#include <QMap>
#include <QScopeGuard>
#include <algorithm>

namespace {

const QLocale kRussian(QLocale::Russian, QLocale::Russia);

// The ledger's operations: an expense or income row carries its document's
// type code, a transfer 3 on the first account and 4 on the second.
constexpr int kExpense = 1;
constexpr int kIncome = 2;
const QList<int> kAllOps{1, 2, 3, 4};

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

QDate lastOfMonth(const QDate& d) {
    return QDate(d.year(), d.month(), 1).addMonths(1).addDays(-1);
}

QVariant money(Money m) {
    return QVariant::fromValue(m);
}

// Captions by id of a small reference table, read once per report.
QHash<qint64, QString> captions(DbConnection& c, const QString& sql) {
    DbQuery q(c, QStringLiteral("qrCaptions"));
    q.setSql(sql);
    q.open();
    QHash<qint64, QString> map;
    for (q.first(); !q.eof(); q.next()) {
        map.insert(q.value(q.recNo(), 0).toLongLong(), q.value(q.recNo(), 1).toString());
    }
    return map;
}

// What every kind needs: the period, the currency, the account.
class Builder {
public:
    Builder(DbConnection& c, const ReportQuery& q) : m_c(c), m_q(q), m_query(c) {}

    Report build() {
        m_totals = prepareLedgerTotals(m_c);
        // Every statement of a report reads the file as of one moment, also
        // while another program posts.
        const bool own = !m_c.inTransaction();
        if (own) {
            m_c.executeScript(QStringLiteral("BEGIN"));
        }
        const auto end = qScopeGuard([&] {
            if (own && m_c.inTransaction()) {
                try {
                    m_c.executeScript(QStringLiteral("ROLLBACK"));
                } catch (const AppError&) {
                    // The engine has ended the read on its own.
                }
            }
        });
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
                balances(false);
                break;
            case ReportKind::Statement:
                statement();
                break;
            case ReportKind::NetWorth:
                balances(true);
                break;
            case ReportKind::PlanFact:
                // The spending by category; the plan beside it is budget/'s.
                m_q.flow = Flow::Expense;
                m_report.query.flow = Flow::Expense;
                categories();
                break;
        }
        return m_report;
    }

private:
    DbConnection& m_c;
    ReportQuery m_q;
    DbQuery m_query;
    Report m_report;
    bool m_totals = false;  // whole months come from the ledger's running totals
    QString m_valuta;       // the currency's caption
    QString m_account;      // the account's caption, when one is chosen

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
                throw AppError(m_q.idValuta > 0
                                   ? QStringLiteral("в этой валюте нет ни одного счета")
                                   : QStringLiteral("нет ни одного счета"));
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
        q.close();

        if (!m_q.to.isValid()) {
            m_q.to = QDate::currentDate();
        }
        if (!m_q.from.isValid()) {
            // From the first movement of what the report shows: the net
            // worth counts every currency.
            const QDate first = firstLedgerDay(
                m_c, m_q.kind == ReportKind::NetWorth ? 0 : m_q.idValuta, m_q.idHeadAccount);
            m_q.from = first.isValid() ? std::min(first, m_q.to) : m_q.to;
        }
        if (m_q.ahead < 0 || m_q.ahead > 12) {
            throw AppError(
                QStringLiteral("прогноз строится на 0-12 месяцев, а не на %1").arg(m_q.ahead));
        }
        if (m_q.from > m_q.to) {
            throw AppError(QStringLiteral("начало периода %1 позже его конца %2")
                               .arg(dayCaption(m_q.from), dayCaption(m_q.to)));
        }
    }

    QString subtitle() const {
        QString text = QStringLiteral("%1 - %2").arg(dayCaption(m_q.from), dayCaption(m_q.to));
        if (m_q.kind == ReportKind::NetWorth) {
            text += QStringLiteral(", в %1").arg(m_valuta);
        } else {
            text += QStringLiteral(", %1").arg(m_valuta);
        }
        if (!m_account.isEmpty()) {
            text += QStringLiteral(", счет \"%1\"").arg(m_account);
        }
        return text;
    }

    // The signed sums of the report's accounts over a stretch of days.
    QList<Move> moves(const QDate& from, const QDate& to, const QList<int>& ops, MoveKey key,
                      bool allCurrencies = false) {
        MoveQuery mq;
        mq.from = from;
        mq.to = to;
        mq.idValuta = allCurrencies ? 0 : m_q.idValuta;
        mq.idHeadAccount = m_q.idHeadAccount;
        mq.operations = ops;
        mq.key = key;
        return ledgerMoves(m_c, mq, m_totals);
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

    // Sum and documents of one category or counterparty.
    struct Line {
        qint64 id = 0;
        QString caption;
        Money expense;
        Money income;
        int documents = 0;
    };

    // The lines of a key over the period, with their captions, largest first.
    QList<Line> linesBy(MoveKey key, const QList<int>& ops, const QString& captionSql,
                        const QString& none) {
        QMap<qint64, Line> byId;
        for (const Move& m : moves(m_q.from, m_q.to, ops, key)) {
            Line& l = byId[m.id];
            l.id = m.id;
            // Expenses carry the minus sign of their operation.
            if (m.operation == kExpense) {
                l.expense -= Money::fromUnits(m.units);
            } else {
                l.income += Money::fromUnits(m.units);
            }
            l.documents += int(m.rows);
        }
        const QHash<qint64, QString> names = captions(m_c, captionSql);
        QList<Line> lines;
        for (Line l : std::as_const(byId)) {
            l.caption = l.id == 0 ? none : names.value(l.id, QStringLiteral("№ %1").arg(l.id));
            lines << l;
        }
        std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
            const Money ta = a.expense + a.income;
            const Money tb = b.expense + b.income;
            return ta != tb ? ta > tb : a.caption < b.caption;
        });
        return lines;
    }

    void categories() {
        const bool expense = m_q.flow == Flow::Expense;
        const int op = expense ? kExpense : kIncome;
        m_report.title = expense ? QStringLiteral("Расходы по категориям")
                                 : QStringLiteral("Доходы по категориям");
        const QList<Line> lines = linesBy(
            MoveKey::Category, {op}, QStringLiteral("select IdCategory, Caption from Category"),
            QStringLiteral("Без категории"));
        Money total;
        int documents = 0;
        for (const Line& l : lines) {
            total += l.expense + l.income;
            documents += l.documents;
        }
        m_report.columns = {{QStringLiteral("Категория"), ColumnKind::Text},
                            {QStringLiteral("Сумма, %1").arg(m_valuta), ColumnKind::Money},
                            {QStringLiteral("Доля"), ColumnKind::Share},
                            {QStringLiteral("Документов"), ColumnKind::Count}};
        m_report.chart.type = ReportChart::Type::Pie;
        ChartSeries series{m_report.title, {}, {}};
        for (const Line& l : lines) {
            const Money amount = l.expense + l.income;
            DrillDown d = drill(m_q.from, m_q.to, {op});
            d.idCategory = l.id;
            const double part = total.isZero() ? 0.0 : amount.toDouble() / total.toDouble();
            m_report.rows.push_back({{l.caption, money(amount), part, l.documents}, d});
            m_report.chart.labels << l.caption;
            series.values << amount;
            series.drill << d;
        }
        m_report.chart.series << series;
        m_report.total = {
            {QStringLiteral("Итого"), money(total), lines.isEmpty() ? 0.0 : 1.0, documents},
            drill(m_q.from, m_q.to, {op})};
    }

    void counterparties() {
        const QList<Line> lines =
            linesBy(MoveKey::ContrAgent, {kExpense, kIncome},
                    QStringLiteral("select IdContrAgent, Caption from ContrAgent"),
                    QStringLiteral("Без контрагента"));
        Line total{0, QStringLiteral("Итого"), {}, {}, 0};
        m_report.columns = {{QStringLiteral("Контрагент"), ColumnKind::Text},
                            {QStringLiteral("Расходы, %1").arg(m_valuta), ColumnKind::Money},
                            {QStringLiteral("Доходы, %1").arg(m_valuta), ColumnKind::Money},
                            {QStringLiteral("Документов"), ColumnKind::Count}};
        m_report.chart.type = ReportChart::Type::Bars;
        ChartSeries expenses{QStringLiteral("Расходы"), {}, {}};
        ChartSeries incomes{QStringLiteral("Доходы"), {}, {}};
        for (const Line& l : lines) {
            DrillDown both = drill(m_q.from, m_q.to, {kExpense, kIncome});
            both.idContrAgent = l.id;
            m_report.rows.push_back(
                {{l.caption, money(l.expense), money(l.income), l.documents}, both});
            m_report.chart.labels << l.caption;
            DrillDown e = both;
            e.operations = {kExpense};
            DrillDown i = both;
            i.operations = {kIncome};
            expenses.values << l.expense;
            expenses.drill << e;
            incomes.values << l.income;
            incomes.drill << i;
            total.expense += l.expense;
            total.income += l.income;
            total.documents += l.documents;
        }
        m_report.chart.series << expenses << incomes;
        m_report.total = {
            {total.caption, money(total.expense), money(total.income), total.documents},
            drill(m_q.from, m_q.to, {kExpense, kIncome})};
    }

    void months() {
        QMap<QDate, QPair<Money, Money>> byMonth;  // first day -> (income, expense)
        for (const Move& m : moves(m_q.from, m_q.to, {kExpense, kIncome}, MoveKey::Month)) {
            auto& pair = byMonth[m.period];
            if (m.operation == kIncome) {
                pair.first += Money::fromUnits(m.units);
            } else {
                pair.second -= Money::fromUnits(m.units);
            }
        }
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
        // Every month of the period, also one without a document.
        for (QDate month(m_q.from.year(), m_q.from.month(), 1); month <= m_q.to;
             month = month.addMonths(1)) {
            const auto [income, expense] = byMonth.value(month);
            const QDate first = std::max(month, m_q.from);
            const QDate last = std::min(lastOfMonth(month), m_q.to);
            const DrillDown both = drill(first, last, {kExpense, kIncome});
            m_report.rows.push_back(
                {{monthCaption(month), money(income), money(expense), money(income - expense)},
                 both});
            m_report.chart.labels << monthCaption(month);
            m_report.chart.dates << month;
            incomes.values << income;
            incomes.drill << drill(first, last, {kIncome});
            expenses.values << expense;
            expenses.drill << drill(first, last, {kExpense});
            difference.values << income - expense;
            difference.drill << both;
            totalIncome += income;
            totalExpense += expense;
        }
        m_report.chart.series << incomes << expenses << difference;
        m_report.total = {{QStringLiteral("Итого"), money(totalIncome), money(totalExpense),
                           money(totalIncome - totalExpense)},
                          drill(m_q.from, m_q.to, {kExpense, kIncome})};
    }

    Step step() const {
        if (m_q.step != Step::Auto) {
            return m_q.step;
        }
        const qint64 days = m_q.from.daysTo(lastShown());
        return days <= 62 ? Step::Day : days <= 366 ? Step::Week : Step::Month;
    }

    // The last day of each step from `first` to `last`: a day, a week (to
    // Sunday) or a month; the last one is `last`.
    QList<QDate> pointDates(const QDate& first, const QDate& last) const {
        QList<QDate> dates;
        const Step s = step();
        QDate d = first;
        while (d <= last) {
            QDate end = d;
            if (s == Step::Week) {
                end = d.addDays(7 - d.dayOfWeek());
            } else if (s == Step::Month) {
                end = lastOfMonth(d);
            }
            end = std::min(end, last);
            dates << end;
            d = end.addDays(1);
        }
        return dates;
    }

    QString pointCaption(const QDate& d) const {
        return step() == Step::Month ? monthCaption(d) : dayCaption(d);
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

    // Each account's balance at the end of each point date: everything
    // before the period, then its movements month by month or day by day.
    QHash<qint64, QList<Money>> balancesAt(const QList<Account>& list, const QList<QDate>& dates,
                                           bool allCurrencies) {
        QHash<qint64, qint64> running;
        for (const Move& m :
             moves(QDate(), m_q.from.addDays(-1), {}, MoveKey::None, allCurrencies)) {
            running[m.idHeadAccount] += m.units;
        }
        const MoveKey key = step() == Step::Month ? MoveKey::Month : MoveKey::Day;
        QMap<QDate, QHash<qint64, qint64>> byPeriod;
        for (const Move& m : moves(m_q.from, m_q.to, {}, key, allCurrencies)) {
            byPeriod[m.period][m.idHeadAccount] += m.units;
        }
        QHash<qint64, QList<Money>> result;
        auto it = byPeriod.cbegin();
        for (const QDate& d : dates) {
            // A month's movements belong to the point at its end.
            for (; it != byPeriod.cend() && it.key() <= d; ++it) {
                for (auto a = it->cbegin(); a != it->cend(); ++a) {
                    running[a.key()] += a.value();
                }
            }
            for (const Account& a : list) {
                result[a.id] << Money::fromUnits(running.value(a.id));
            }
        }
        return result;
    }

    // "Остатки" of one currency, or "Капитал" of all of them in the base one.
    void balances(bool netWorth) {
        const QList<Account> list = accounts(netWorth);
        const QList<QDate> dates = pointDates(m_q.from, m_q.to);
        const auto points = balancesAt(list, dates, netWorth);
        const auto balance = [&](qint64 account, int i) { return points[account].at(i); };
        m_report.chart.type = ReportChart::Type::Lines;
        if (netWorth) {
            netWorthTable(list, dates, balance);
            return;
        }
        m_report.columns = {{QStringLiteral("Дата"), ColumnKind::Text}};
        for (const Account& a : list) {
            m_report.columns.push_back({a.caption, ColumnKind::Money});
            m_report.chart.series.push_back({a.caption, {}, {}});
        }
        if (list.size() > 1) {
            m_report.columns.push_back(
                {QStringLiteral("Итого, %1").arg(m_valuta), ColumnKind::Money});
            m_report.chart.series.push_back({QStringLiteral("Итого, %1").arg(m_valuta), {}, {}});
        }
        QDate previous = m_q.from;
        for (int i = 0; i < dates.size(); ++i) {
            QList<Money> row;
            for (const Account& a : list) {
                row << balance(a.id, i);
            }
            addBalanceRow(dates[i], row, {{}, drill(previous, dates[i], kAllOps)});
            previous = dates[i].addDays(1);
        }
        balancesAhead(list, points);
    }

    // A point of "Остатки": its row and its values on the lines, with the
    // total when there is more than one account.
    void addBalanceRow(const QDate& date, const QList<Money>& balances, const ReportRow& row) {
        ReportRow r = row;
        r.values = {r.forecast ? QStringLiteral("%1, прогноз").arg(pointCaption(date))
                               : pointCaption(date)};
        Money total;
        for (int k = 0; k < balances.size(); ++k) {
            r.values << money(balances[k]);
            m_report.chart.series[k].values << balances[k];
            total += balances[k];
        }
        if (balances.size() > 1) {
            r.values << money(total);
            m_report.chart.series.last().values << total;
        }
        m_report.rows.push_back(r);
        m_report.chart.labels << pointCaption(date);
        m_report.chart.dates << date;
    }

    QDate today() const { return m_q.today.isValid() ? m_q.today : QDate::currentDate(); }

    bool looksAhead() const {
        return m_q.kind == ReportKind::Balances && m_q.ahead > 0 && m_q.to >= today();
    }

    // The last day shown: the period's end, or the end of the look ahead.
    QDate lastShown() const { return looksAhead() ? m_q.to.addMonths(m_q.ahead) : m_q.to; }

    // The balances after the period's end from what is still to come, with
    // the first day each account would go below zero.
    void balancesAhead(const QList<Account>& list, const QHash<qint64, QList<Money>>& points) {
        if (m_q.kind != ReportKind::Balances || m_q.ahead <= 0) {
            return;
        }
        if (!looksAhead()) {
            m_report.notes << QStringLiteral(
                "Прогноз продолжает период, который кончается сегодня или позже.");
            return;
        }
        const QDate first = m_q.to.addDays(1);
        const QDate last = lastShown();
        const QList<ForecastMove> moves = forecastMoves(m_c, first, last);
        QHash<qint64, Money> balance;
        for (const Account& a : list) {
            balance.insert(a.id, points[a.id].last());
        }
        const QHash<qint64, BelowZero> below = firstBelowZero(balance, moves, first);
        m_report.chart.futureFrom = int(m_report.chart.labels.size());
        auto move = moves.cbegin();
        for (const QDate& d : pointDates(first, last)) {
            for (; move != moves.cend() && move->date <= d; ++move) {
                if (const auto it = balance.find(move->idHeadAccount); it != balance.end()) {
                    *it += move->amount;
                }
            }
            QList<Money> row;
            for (const Account& a : list) {
                row << balance[a.id];
            }
            addBalanceRow(d, row, {{}, {}, true});
        }
        m_report.subtitle +=
            QStringLiteral(", прогноз на %1 мес. (по %2)").arg(m_q.ahead).arg(dayCaption(last));
        QStringList lines;
        for (const Account& a : list) {
            if (const auto it = below.constFind(a.id); it != below.cend()) {
                const QString amount = reportCellText(money(it->balance), ColumnKind::Money);
                lines << (it->already ? QStringLiteral("%1: уже в минусе на %2 (%3)")
                                      : QStringLiteral("%1: уйдет в минус %2 (%3)"))
                             .arg(a.caption, dayCaption(it->date), amount);
            }
        }
        if (lines.isEmpty()) {
            lines << QStringLiteral("По прогнозу ни один счет не уйдет в минус до %1.")
                         .arg(dayCaption(last));
        }
        lines << QStringLiteral(
                     "Прогноз учитывает регулярные платежи, непроведенные документы и документы, "
                     "проведенные будущими датами; то, что просрочено, считается на %1.")
                     .arg(dayCaption(first));
        m_report.notes = lines + m_report.notes;
    }

    template <class Balance>
    void netWorthTable(const QList<Account>& list, const QList<QDate>& dates,
                       const Balance& balance) {
        const RateBook rates(m_c);
        // The currencies in the order of their first account; the base first.
        QList<qint64> currencies{m_q.idValuta};
        QHash<qint64, QString> names{{m_q.idValuta, m_valuta}};
        for (const Account& a : list) {
            if (!currencies.contains(a.idValuta)) {
                currencies << a.idValuta;
                names.insert(a.idValuta, a.valuta);
            }
        }
        m_report.columns = {{QStringLiteral("Дата"), ColumnKind::Text},
                            {QStringLiteral("Итого, %1").arg(m_valuta), ColumnKind::Money}};
        for (qint64 c : currencies) {
            m_report.columns.push_back({QStringLiteral("В %1").arg(names[c]), ColumnKind::Money});
            if (c != m_q.idValuta) {
                m_report.columns.push_back(
                    {QStringLiteral("Курс %1").arg(names[c]), ColumnKind::Rate});
                m_report.columns.push_back(
                    {QStringLiteral("%1 в %2").arg(names[c], m_valuta), ColumnKind::Money});
            }
        }
        ChartSeries total{QStringLiteral("Итого, %1").arg(m_valuta), {}, {}};
        // Per currency kept apart: the last point without a rate, and whether
        // any point had one.
        QHash<qint64, QDate> lastWithout;
        QHash<qint64, bool> everRated;
        QDate previous = m_q.from;
        for (int i = 0; i < dates.size(); ++i) {
            QVariantList values{pointCaption(dates[i]), QVariant()};
            Money sum;
            for (qint64 c : currencies) {
                Money own;
                for (const Account& a : list) {
                    if (a.idValuta == c) {
                        own += balance(a.id, i);
                    }
                }
                values << money(own);
                if (c == m_q.idValuta) {
                    sum += own;
                    continue;
                }
                const auto rate = rates.rateOn(c, m_q.idValuta, dates[i]);
                if (!rate) {
                    // Never converted as 1:1: shown in its own currency only.
                    values << QStringLiteral("нет курса") << QVariant();
                    if (!own.isZero()) {
                        lastWithout.insert(c, dates[i]);
                    }
                    continue;
                }
                everRated[c] = true;
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
            DrillDown d = drill(previous, dates[i], kAllOps);
            d.idValuta = 0;
            m_report.rows.push_back({values, d});
            m_report.chart.labels << pointCaption(dates[i]);
            m_report.chart.dates << dates[i];
            previous = dates[i].addDays(1);
        }
        m_report.chart.series << total;
        for (qint64 c : currencies) {
            if (!lastWithout.contains(c)) {
                continue;
            }
            m_report.notes
                << (everRated.value(c)
                        ? QStringLiteral("У валюты %1 нет курса к %2 по %3: на эти даты ее "
                                         "суммы показаны отдельно и в итог не вошли.")
                              .arg(names[c], m_valuta, dayCaption(lastWithout[c]))
                        : QStringLiteral("У валюты %1 нет ни одного курса к %2: ее суммы "
                                         "показаны отдельно и в итог не вошли.")
                              .arg(names[c], m_valuta)) +
                       QStringLiteral(" Курсы вводятся в окне \"Курсы валют\".");
        }
    }

    Money balanceOver(const QDate& from, const QDate& to) {
        qint64 units = 0;
        for (const Move& m : moves(from, to, {}, MoveKey::None)) {
            units += m.units;
        }
        return Money::fromUnits(units);
    }

    void statement() {
        const Money opening = balanceOver(QDate(), m_q.from.addDays(-1));
        const auto kinds =
            captions(m_c, QStringLiteral("select CodTypeDocument, Caption from TypeDocument"));
        const auto categories =
            captions(m_c, QStringLiteral("select IdCategory, Caption from Category"));
        const auto contrAgents =
            captions(m_c, QStringLiteral("select IdContrAgent, Caption from ContrAgent"));
        const auto accounts =
            captions(m_c, QStringLiteral("select IdHeadAccount, Caption from HeadAccount"));
        m_report.columns = {{QStringLiteral("Дата"), ColumnKind::Date},
                            {QStringLiteral("Документ"), ColumnKind::Text},
                            {QStringLiteral("Вид"), ColumnKind::Text},
                            {QStringLiteral("Категория, контрагент, счет"), ColumnKind::Text},
                            {QStringLiteral("Примечание"), ColumnKind::Text},
                            {QStringLiteral("Сумма, %1").arg(m_valuta), ColumnKind::Money},
                            {QStringLiteral("Остаток, %1").arg(m_valuta), ColumnKind::Money}};
        m_report.rows.push_back({{m_q.from, QVariant(), QStringLiteral("Входящий остаток"),
                                  QString(), QString(), QVariant(), money(opening)},
                                 {}});
        m_report.chart.type = ReportChart::Type::Lines;
        ChartSeries line{QStringLiteral("Остаток"), {}, {}};
        Money running = opening;

        // The account's rows in the order of its date index, read once; a
        // ledger row whose document is gone still moves the balance.
        SqlCursor rows(
            m_c, QStringLiteral("select da.IdDocument, da.DateDocument, da.CodTypeOperation, "
                                "%1, "
                                "d.CodTypeDocument, d.IdCategory, d.IdContrAgent, "
                                "d.NoteDocument, d.IdHeadAccount, d.IdHeadAccount2\n"
                                "from DataAccount da\n"
                                "left join Document d on d.IdDocument = da.IdDocument\n"
                                "where da.IdHeadAccount = :Id and da.DateDocument >= :First "
                                "and da.DateDocument < :After\n"
                                "order by da.DateDocument, da.IdDocument, "
                                "da.CodTypeOperation")
                     .arg(moneyUnitsSql(QStringLiteral("da.ValueDataAccount"))));
        rows.bindInteger(":Id", m_q.idHeadAccount);
        rows.bindText(":First", m_q.from.toString(Qt::ISODate));
        rows.bindText(":After", m_q.to.addDays(1).toString(Qt::ISODate));
        // Texts that repeat are kept once: the same category and counterparty,
        // the same note.
        QHash<QPair<qint64, qint64>, QString> about;
        QHash<QByteArray, QString> notes;
        QByteArray dayText;
        QDate day;
        QHash<int, double> signs;
        m_query.setSql(
            QStringLiteral("select CodTypeOperation, SignInGroup from "
                           "GroupOperationItem where CodGroupOperation = 1"));
        m_query.open();
        for (m_query.first(); !m_query.eof(); m_query.next()) {
            signs.insert(m_query.field(QStringLiteral("CodTypeOperation")).asInteger(),
                         m_query.field(QStringLiteral("SignInGroup")).asDouble());
        }
        m_query.close();
        while (rows.next()) {
            // An operation without a sign moves no balance.
            const int op = int(rows.integer(2));
            const auto sign = signs.constFind(op);
            if (sign == signs.cend()) {
                continue;
            }
            const Money amount = Money::fromUnits(qRound64(double(rows.integer(3)) * *sign));
            running += amount;
            const QByteArrayView stored =
                rows.text(1).first(std::min<qsizetype>(10, rows.text(1).size()));
            if (stored != dayText) {
                dayText = stored.toByteArray();
                day = QDate::fromString(QString::fromLatin1(dayText), Qt::ISODate);
            }
            QString text;
            if (op == 3 || op == 4) {
                // A transfer names the other account.
                text = accounts.value(rows.integer(op == 3 ? 9 : 8));
            } else {
                const QPair<qint64, qint64> key{rows.integer(5), rows.integer(6)};
                auto it = about.constFind(key);
                if (it == about.cend()) {
                    QStringList parts;
                    for (const QString& part :
                         {categories.value(key.first), contrAgents.value(key.second)}) {
                        if (!part.isEmpty()) {
                            parts << part;
                        }
                    }
                    it = about.insert(key, parts.join(QStringLiteral(", ")));
                }
                text = *it;
            }
            const QByteArray note = rows.text(7).toByteArray();
            auto n = notes.constFind(note);
            if (n == notes.cend()) {
                if (notes.size() > 10000) {
                    notes.clear();
                }
                n = notes.insert(note, QString::fromUtf8(note));
            }
            DrillDown d;
            d.idDocument = rows.integer(0);
            d.from = day;
            d.to = day;
            m_report.rows.push_back({{day, d.idDocument, kinds.value(rows.integer(4)), text, *n,
                                      money(amount), money(running)},
                                     d});
            if (!m_report.chart.dates.isEmpty() && m_report.chart.dates.last() == day) {
                line.values.last() = running;
            } else {
                m_report.chart.dates << day;
                m_report.chart.labels << dayCaption(day);
                line.values << running;
            }
        }
        m_report.chart.series << line;
        m_report.total = {{m_q.to, QVariant(), QStringLiteral("Исходящий остаток"), QString(),
                           QString(), money(running - opening), money(running)},
                          drill(m_q.from, m_q.to, kAllOps)};
        if (m_q.to >= QDate::currentDate()) {
            saldoNote(running);
        }
    }

    // A statement to today ends on the account's balance, unless documents
    // dated later are applied already.
    void saldoNote(Money closing) {
        DbQuery& q = m_query;
        q.setSql(QStringLiteral("select Saldo from HeadAccount where IdHeadAccount = :Id"));
        q.bindInteger(QStringLiteral("Id"), m_q.idHeadAccount);
        q.open();
        const Money saldo = q.field(QStringLiteral("Saldo")).asMoney();
        q.close();
        const Money later = balanceOver(m_q.to.addDays(1), QDate(9999, 12, 31));
        if (!later.isZero()) {
            m_report.notes << QStringLiteral(
                                  "После %1 по счету проведены документы на %2: остаток счета "
                                  "с ними %3.")
                                  .arg(dayCaption(m_q.to),
                                       reportCellText(money(later), ColumnKind::Money),
                                       reportCellText(money(closing + later), ColumnKind::Money));
        }
        if (saldo != closing + later) {
            m_report.notes << QStringLiteral(
                                  "Остаток счета в справочнике (%1) не равен сумме его "
                                  "проводок (%2): проверьте файл (dorsanti-db check) или "
                                  "пересчитайте остатки.")
                                  .arg(reportCellText(money(saldo), ColumnKind::Money),
                                       reportCellText(money(closing + later), ColumnKind::Money));
        }
    }
};

// "1 234,50", or with four decimals when the amount has them; plain:
// "1234.50".
QString moneyText(Money m, bool plain) {
    return plain ? m.toString(2) : m.toString(2, kRussian);
}

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
        case ReportKind::PlanFact:
            return QStringLiteral("planfact");
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
        case ReportKind::PlanFact:
            return QStringLiteral("План и факт");
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

QString reportCellText(const QVariant& value, ColumnKind kind, CellForm form) {
    if (!value.isValid()) {
        return {};
    }
    const bool plain = form == CellForm::Csv;
    switch (kind) {
        case ColumnKind::Money:
            return moneyText(value.value<Money>(), plain);
        case ColumnKind::Share: {
            const QString number = QString::number(value.toDouble() * 100, 'f', 1);
            return plain ? number
                         : QStringLiteral("%1 %").arg(
                               QString(number).replace(QLatin1Char('.'), QLatin1Char(',')));
        }
        case ColumnKind::Date:
            return value.toDate().toString(QStringLiteral("dd.MM.yyyy"));
        case ColumnKind::Count:
            return QString::number(value.toLongLong());
        case ColumnKind::Text:
        case ColumnKind::Rate:
            break;
    }
    return value.toString();
}

QList<DocumentLine> documentsBehind(DbConnection& connection, const DrillDown& drill) {
    QList<DocumentLine> lines;
    if (!drill.isValid()) {
        return lines;
    }
    DbQuery q(connection, QStringLiteral("qrBehind"));
    q.addSql(QStringLiteral("select d.IdDocument, d.CodTypeDocument, da.DateDocument, "
                            "%1 * g.SignInGroup as Units,")
                 .arg(moneyUnitsSql(QStringLiteral("da.ValueDataAccount"))));
    q.addSql(
        QStringLiteral("ha.Caption as Account, c.Caption as Category, ca.Caption as "
                       "ContrAgent, d.NoteDocument, ts.CaptionStatus, ts.ColorStatus"));
    q.addSql(QStringLiteral("from DataAccount da"));
    q.addSql(
        QStringLiteral("inner join GroupOperationItem g on g.CodGroupOperation = 1 and "
                       "g.CodTypeOperation = da.CodTypeOperation"));
    q.addSql(QStringLiteral("inner join HeadAccount ha on ha.IdHeadAccount = da.IdHeadAccount"));
    q.addSql(QStringLiteral("inner join Document d on d.IdDocument = da.IdDocument"));
    q.addSql(QStringLiteral("left join Category c on c.IdCategory = d.IdCategory"));
    q.addSql(QStringLiteral("left join ContrAgent ca on ca.IdContrAgent = d.IdContrAgent"));
    q.addSql(
        QStringLiteral("left join TypeStatus ts on ts.CodTypeDocument = d.CodTypeDocument "
                       "and ts.CodStatus = d.CodTypeStatus"));
    if (drill.idDocument > 0) {
        q.addSql(QStringLiteral("where da.IdDocument = :IdDocument"));
    } else {
        QStringList codes;
        for (int op : drill.operations) {
            codes << QString::number(op);
        }
        // The accounts first, then their days: the ledger's date index.
        q.addSql(
            QStringLiteral("where da.IdHeadAccount in (select a.IdHeadAccount from HeadAccount "
                           "a where (:AnyValuta = 0 or a.IdValuta = :IdValuta) and "
                           "(:AnyAccount = 0 or a.IdHeadAccount = :IdHeadAccount))"));
        q.addSql(QStringLiteral("and da.DateDocument >= :First and da.DateDocument < :After"));
        q.addSql(QStringLiteral("and +da.CodTypeOperation in (%1)")
                     .arg(codes.join(QStringLiteral(", "))));
        if (drill.idCategory) {
            q.addSql(*drill.idCategory > 0 ? QStringLiteral("and d.IdCategory = :IdCategory")
                                           : QStringLiteral("and d.IdCategory is null"));
        }
        if (drill.idContrAgent) {
            q.addSql(*drill.idContrAgent > 0 ? QStringLiteral("and d.IdContrAgent = :IdContrAgent")
                                             : QStringLiteral("and d.IdContrAgent is null"));
        }
    }
    q.addSql(QStringLiteral("order by da.DateDocument, d.IdDocument, da.CodTypeOperation"));
    if (drill.idDocument > 0) {
        q.bindInteger(QStringLiteral("IdDocument"), drill.idDocument);
    } else {
        q.bindString(QStringLiteral("First"),
                     drill.from.isValid() ? drill.from.toString(Qt::ISODate) : QString());
        q.bindString(QStringLiteral("After"), drill.to.addDays(1).toString(Qt::ISODate));
        q.bindInteger(QStringLiteral("AnyValuta"), drill.idValuta);
        q.bindInteger(QStringLiteral("IdValuta"), drill.idValuta);
        q.bindInteger(QStringLiteral("AnyAccount"), drill.idHeadAccount);
        q.bindInteger(QStringLiteral("IdHeadAccount"), drill.idHeadAccount);
        if (drill.idCategory && *drill.idCategory > 0) {
            q.bindInteger(QStringLiteral("IdCategory"), *drill.idCategory);
        }
        if (drill.idContrAgent && *drill.idContrAgent > 0) {
            q.bindInteger(QStringLiteral("IdContrAgent"), *drill.idContrAgent);
        }
    }
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        DocumentLine l;
        l.idDocument = q.field(QStringLiteral("IdDocument")).asInteger();
        l.codTypeDocument = q.field(QStringLiteral("CodTypeDocument")).asInteger();
        l.date = q.field(QStringLiteral("DateDocument")).asDate();
        l.amount = Money::fromUnits(q.field(QStringLiteral("Units")).asInt64());
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

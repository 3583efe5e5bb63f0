// The reports of a random family's books, each figure against totals the test
// computes itself from Document and DataAccount, to the ten-thousandth.
#include "DocTestData.h"
#include "LedgerTotals.h"
#include "ModalHelper.h"
#include "Rates.h"
#include "Reports.h"
#include "ToolRun.h"

#include <QMap>
#include <random>

using namespace Qt::StringLiterals;

namespace {

struct LedgerRow {
    QDate date;
    qint64 document;
    int op;
    qint64 account;
    qint64 valuta;
    qint64 category;
    qint64 contrAgent;
    Money amount;  // with the sign of its operation
};

QString text(const Report& r) {
    QStringList lines;
    for (const ReportRow& row : r.rows + QList<ReportRow>{r.total}) {
        QStringList cells;
        for (int i = 0; i < row.values.size(); ++i) {
            cells << reportCellText(row.values[i], r.columns[i].kind, CellForm::Csv);
        }
        lines << cells.join(QLatin1Char('|'));
    }
    return lines.join(QLatin1Char('\n')) + r.notes.join(QLatin1Char('\n'));
}

Money cell(const ReportRow& row, int column) {
    return row.values.value(column).value<Money>();
}

// A line of categories or counterparties: amount (or expense), income,
// documents.
struct Figure {
    Money first;
    Money second;
    qint64 documents = 0;
    bool operator==(const Figure&) const = default;
};
void PrintTo(const Figure& f, std::ostream* os) {
    *os << f.first.toString().toStdString() << "/" << f.second.toString().toStdString() << "/"
        << f.documents;
}

}  // namespace

class Reports : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        if (!onServer()) {
            exec(QStringLiteral("PRAGMA synchronous = OFF"));
            m_dm->ADOConnection1.executeScript(QStringLiteral("PRAGMA synchronous = OFF"));
        }
        m_rub = addValuta(QStringLiteral("RUB"));
        m_usd = addValuta(QStringLiteral("USD"));
        m_eur = addValuta(QStringLiteral("EUR"));  // never given a rate
        for (int v : {m_rub, m_rub, m_rub, m_usd, m_eur}) {
            m_accounts << addAccount(QStringLiteral("Счет %1").arg(m_accounts.size()), v);
        }
        for (int i = 1; i <= 6; ++i) {
            exec(QStringLiteral("insert into Category(Caption) values ('Категория %1');"
                                "insert into ContrAgent(Caption) values ('Контрагент %1')")
                     .arg(i));
        }
        ensureRateTable(*m_db);
        exec(QStringLiteral("insert into CurrencyRate values (%1, %2, '%3', 90.1234), "
                            "(%1, %2, '%4', 95.5)")
                 .arg(m_usd)
                 .arg(m_rub)
                 .arg(m_today.addMonths(-9).toString(Qt::ISODate),
                      m_today.addMonths(-2).toString(Qt::ISODate)));
    }

    // Documents over fourteen months and a few days ahead, posted with the
    // program's own methods: applied, rolled back, applied again, deleted.
    void makeBooks() {
        ModalHelper mh(120000);
        std::mt19937_64 rng(20261210);
        const auto pick = [&](int n) { return int(rng() % n); };
        for (int i = 0; i < 260; ++i) {
            Doc d;
            d.type = pick(10) < 4 ? 1 : pick(10) < 7 ? 2 : 3;
            d.account = m_accounts[pick(5)];
            d.value = Money::fromUnits(qint64(rng() % 40000000) + 1);
            if (pick(2)) {
                d.value = d.value.rounded(2);
            }
            d.date = m_today.addDays(i < 250 ? -pick(420) : pick(20) + 1);
            d.category = pick(5) == 0 ? 0 : pick(6) + 1;
            d.contrAgent = pick(3) == 0 ? 0 : pick(6) + 1;
            if (d.type == 3) {
                d.category = d.contrAgent = 0;
                d.account2 = m_accounts[pick(5)];
                d.value2 = Money::fromUnits(qint64(rng() % 40000000) + 1);
            }
            const int id = addDoc(d);
            const int roll = pick(20);
            if (roll == 0) {
                continue;  // stays new
            }
            if (roll == 1) {
                mh.answer(QMessageBox::Yes);
                ASSERT_EQ(run(d.type, QStringLiteral("DELETE"), id), 1);
                continue;
            }
            ASSERT_EQ(run(d.type, QStringLiteral("APPLY"), id), id);
            if (roll < 6) {
                mh.answer(QMessageBox::Yes);
                ASSERT_EQ(run(d.type, QStringLiteral("DELETE"), id), id);
                if (roll < 4) {
                    ASSERT_EQ(run(d.type, QStringLiteral("APPLY"), id), id);
                }
            }
        }
        // One expense certainly dated ahead, on the first account.
        const int ahead = addDoc(1, m_accounts[0], Money::fromInteger(7));
        exec(QStringLiteral(
                 "update Document set DateDocument = '%1 00:00:00' where IdDocument = %2")
                 .arg(m_today.addDays(3).toString(Qt::ISODate))
                 .arg(ahead));
        ASSERT_EQ(run(1, QStringLiteral("APPLY"), ahead), ahead);
        EXPECT_TRUE(mh.unexpected().isEmpty());
        // Another program moves an applied expense to another category.
        exec(
            QStringLiteral("update Document set IdCategory = 1 where IdDocument = (select "
                           "min(IdDocument) from Document where CodTypeStatus = 2 and "
                           "CodTypeDocument = 1 and IdCategory is not null)"));
    }

    QList<LedgerRow> ledger() {
        DbQuery q(*m_db, QStringLiteral("ledger"));
        q.setSql(QStringLiteral(
            "select da.DateDocument, da.IdDocument, da.CodTypeOperation, da.IdHeadAccount, "
            "ha.IdValuta, d.IdCategory, d.IdContrAgent, da.ValueDataAccount, g.SignInGroup "
            "from DataAccount da join HeadAccount ha on ha.IdHeadAccount = da.IdHeadAccount "
            "join Document d on d.IdDocument = da.IdDocument join GroupOperationItem g on "
            "g.CodGroupOperation = 1 and g.CodTypeOperation = da.CodTypeOperation "
            "order by da.DateDocument, da.IdDocument, da.CodTypeOperation"));
        q.open();
        QList<LedgerRow> rows;
        for (q.first(); !q.eof(); q.next()) {
            const auto f = [&](int c) { return q.value(q.recNo(), c); };
            rows.push_back({f(0).toDate(), f(1).toLongLong(), f(2).toInt(), f(3).toLongLong(),
                            f(4).toLongLong(), f(5).toLongLong(), f(6).toLongLong(),
                            Money::fromVariant(f(7)) * f(8).toLongLong()});
        }
        return rows;
    }

    QString caption(const char* table, qint64 id, const QString& none) {
        return id == 0 ? none
                       : scalar(QStringLiteral("select Caption from %1 where Id%1 = %2")
                                    .arg(QLatin1String(table))
                                    .arg(id))
                             .toString();
    }

    // Every figure of every kind of report over one period against the ledger.
    void expectReports(const ReportQuery& base, const QList<LedgerRow>& all) {
        for (ReportKind kind :
             {ReportKind::Categories, ReportKind::Months, ReportKind::Counterparties,
              ReportKind::Balances, ReportKind::Statement, ReportKind::NetWorth}) {
            ReportQuery query = base;
            query.kind = kind;
            for (Flow flow : {Flow::Expense, Flow::Income}) {
                query.flow = flow;
                const Report r = buildReport(m_dm->ADOConnection1, query);
                SCOPED_TRACE(r.title.toStdString() + " " + r.subtitle.toStdString());
                const ReportQuery& q = r.query;
                const bool worth = kind == ReportKind::NetWorth;
                const auto scope = [&](const LedgerRow& l) {
                    return (worth || l.valuta == q.idValuta) &&
                           (q.idHeadAccount == 0 || l.account == q.idHeadAccount);
                };
                const auto in = [&](const LedgerRow& l) {
                    return scope(l) && l.date >= q.from && l.date <= q.to;
                };
                if (kind == ReportKind::Categories || kind == ReportKind::Counterparties) {
                    const bool byCategory = kind == ReportKind::Categories;
                    QMap<QString, Figure> expected, shown;
                    for (const LedgerRow& l : all) {
                        if (in(l) && l.op <= 2 && (!byCategory || l.op == int(flow) + 1)) {
                            Figure& f = expected[byCategory ? caption("Category", l.category,
                                                                      u"Без категории"_s)
                                                            : caption("ContrAgent", l.contrAgent,
                                                                      u"Без контрагента"_s)];
                            (l.op == 1 || byCategory ? f.first : f.second) +=
                                l.op == 1 ? -l.amount : l.amount;
                            ++f.documents;
                        }
                    }
                    for (const ReportRow& row : r.rows) {
                        // The documents behind a line add up to it.
                        Money behind;
                        for (const DocumentLine& d :
                             documentsBehind(m_dm->ADOConnection1, row.drill)) {
                            behind += d.amount;
                        }
                        const Money line = cell(row, 1);
                        EXPECT_EQ(behind, !byCategory             ? cell(row, 2) - line
                                          : flow == Flow::Expense ? -line
                                                                  : line);
                        shown[row.values[0].toString()] = {cell(row, 1),
                                                           byCategory ? Money() : cell(row, 2),
                                                           row.values[3].toLongLong()};
                    }
                    EXPECT_EQ(shown, expected);
                } else if (kind == ReportKind::Months) {
                    ASSERT_EQ(r.rows.size(), (q.to.year() - q.from.year()) * 12 + q.to.month() -
                                                 q.from.month() + 1);
                    for (int i = 0; i < r.rows.size(); ++i) {
                        Money income, expense;
                        for (const LedgerRow& l : all) {
                            if (in(l) && l.date.year() == r.chart.dates[i].year() &&
                                l.date.month() == r.chart.dates[i].month()) {
                                income += l.op == 2 ? l.amount : Money();
                                expense -= l.op == 1 ? l.amount : Money();
                            }
                        }
                        EXPECT_EQ(cell(r.rows[i], 1), income) << i;
                        EXPECT_EQ(cell(r.rows[i], 2), expense) << i;
                    }
                } else if (kind == ReportKind::Statement) {
                    Money running, later;
                    QList<Money> moves, listed;
                    for (const LedgerRow& l : all) {
                        if (scope(l) && l.date < q.from) {
                            running += l.amount;
                        }
                    }
                    EXPECT_EQ(cell(r.rows[0], 6), running);
                    for (const LedgerRow& l : all) {
                        if (in(l)) {
                            running += l.amount;
                            moves << l.amount << running;
                        } else if (scope(l) && l.date > q.to) {
                            later += l.amount;
                        }
                    }
                    for (const ReportRow& row : r.rows.mid(1)) {
                        listed << cell(row, 5) << cell(row, 6);
                    }
                    EXPECT_EQ(listed, moves);
                    EXPECT_EQ(cell(r.total, 6), running);
                    if (q.to == m_today) {
                        // Applied documents dated later explain the rest of the balance.
                        EXPECT_EQ(saldo(int(q.idHeadAccount)), running + later);
                        EXPECT_FALSE(text(r).contains(u"не равен"_s));
                        EXPECT_EQ(text(r).contains(u"После"_s), !later.isZero());
                    }
                } else {
                    // Balances of the currency's accounts, or the net worth in
                    // roubles with the euro kept apart.
                    QList<qint64> accounts;
                    for (const LedgerRow& l : all) {
                        if (scope(l) && !accounts.contains(l.account)) {
                            accounts << l.account;
                        }
                    }
                    std::sort(accounts.begin(), accounts.end());
                    // A point a day, a week (to Sunday) or a month, as long as
                    // the period is; the last on its last day.
                    const qint64 days = q.from.daysTo(q.to);
                    EXPECT_EQ(r.chart.dates.last(), q.to);
                    for (const QDate& d : r.chart.dates.mid(0, r.chart.dates.size() - 1)) {
                        EXPECT_TRUE(days <= 62 ||
                                    (days <= 366 ? d.dayOfWeek() == 7 : d.addDays(1).day() == 1))
                            << d.toString().toStdString();
                    }
                    EXPECT_EQ(r.chart.dates.size(), days <= 62 ? days + 1 : r.rows.size());
                    for (int i = 0; i < r.rows.size(); ++i) {
                        QMap<qint64, Money> own;
                        for (const LedgerRow& l : all) {
                            if (scope(l) && l.date <= r.chart.dates[i]) {
                                own[worth ? l.valuta : l.account] += l.amount;
                            }
                        }
                        if (!worth) {
                            for (int k = 0; k < accounts.size(); ++k) {
                                EXPECT_EQ(cell(r.rows[i], k + 1), own[accounts[k]]) << i;
                            }
                            continue;
                        }
                        Money total;
                        for (auto [c, name] :
                             {std::pair{m_rub, "RUB"}, {m_usd, "USD"}, {m_eur, "EUR"}}) {
                            const auto rate =
                                RateBook(*m_db).rateOn(c, q.idValuta, r.chart.dates[i]);
                            total += rate ? convert(own[c], rate->rate) : Money();
                            for (int k = 2; k < r.columns.size(); ++k) {
                                if (r.columns[k].title == u"В "_s + QLatin1String(name)) {
                                    EXPECT_EQ(cell(r.rows[i], k), own[c]) << name;
                                    // Never converted as 1:1.
                                    EXPECT_TRUE(c == q.idValuta ||
                                                r.rows[i].values.value(k + 2).isValid() ==
                                                    rate.has_value());
                                }
                            }
                        }
                        EXPECT_EQ(cell(r.rows[i], 1), total) << i;
                    }
                    EXPECT_EQ(text(r).contains(u"У валюты EUR нет ни одного курса"_s),
                              worth && q.idHeadAccount == 0 && q.idValuta != m_eur);
                }
                if (kind != ReportKind::Categories) {
                    break;  // the flow only matters there
                }
            }
        }
    }

    QDate m_today = QDate::currentDate();
    int m_eur = 0;
    QList<int> m_accounts;
};

TEST_F(Reports, EveryFigureEqualsTheLedgerAndStaysSoWithoutTheTotals) {
    makeBooks();
    const QList<LedgerRow> all = ledger();
    ASSERT_GT(all.size(), 250);
    int differences = -1;
    EXPECT_TRUE(ledgerTotalsDifferences(*m_db, 5, differences).isEmpty());
    EXPECT_EQ(differences, 0);

    // All time; across month ends; within a month; whole months; one account.
    const QList<ReportQuery> periods{
        {ReportKind::Categories, QDate(), QDate(), 0, m_rub},
        {ReportKind::Categories, m_today.addDays(-200), m_today.addDays(-41), 0, m_rub},
        {ReportKind::Categories, QDate(m_today.year(), m_today.month(), 3).addMonths(-4),
         QDate(m_today.year(), m_today.month(), 17).addMonths(-4), 0, m_usd},
        {ReportKind::Categories, QDate(m_today.year(), m_today.month(), 1).addMonths(-12),
         QDate(m_today.year(), m_today.month(), 1).addDays(-1), 0, m_rub},
        {ReportKind::Categories, m_today.addDays(-380), m_today, m_accounts[1], 0},
    };
    QStringList texts;
    for (const ReportQuery& p : periods) {
        expectReports(p, all);
        texts << text(buildReport(m_dm->ADOConnection1, p));
    }

    if (onServer()) {
        return;  // books on a server are never made without their totals
    }
    // A file made before the totals: read from the ledger while it may not
    // write, given its totals at the first report on the program's connection.
    exec(QStringLiteral("drop trigger DataAccountMonth_Insert; drop table DataAccountMonth"));
    DbConnection readOnly;
    readOnly.open(m_path, DbConnection::Access::ReadOnly);
    for (int i = 0; i < periods.size(); ++i) {
        EXPECT_EQ(text(buildReport(readOnly, periods[i])), texts[i]);
    }
    EXPECT_FALSE(hasLedgerTotals(*m_db));
    EXPECT_EQ(text(buildReport(m_dm->ADOConnection1, periods[1])), texts[1]);
    EXPECT_TRUE(hasLedgerTotals(*m_db));

    // The tool prints the same figures; check finds totals gone wrong and
    // --repair rebuilds them.
    exec(QStringLiteral("update ContrAgent set Caption = '=1+1' where IdContrAgent = 1"));
    const ToolRun tool = runTool({u"report"_s, m_path, u"counterparties"_s, u"--from"_s,
                                  periods[1].from.toString(Qt::ISODate), u"--to"_s,
                                  periods[1].to.toString(Qt::ISODate), u"--csv"_s});
    ASSERT_EQ(tool.exitCode, 0) << tool.err.toStdString();
    const Report r = buildReport(m_dm->ADOConnection1, [&] {
        ReportQuery q = periods[1];
        q.kind = ReportKind::Counterparties;
        return q;
    }());
    const QStringList lines = tool.out.trimmed().split(u'\n');
    ASSERT_EQ(lines.size(), r.rows.size() + 2);
    for (int i = 0; i < r.rows.size(); ++i) {
        const QStringList fields = lines[i + 1].split(u',');
        const QString name = r.rows[i].values[0].toString();
        EXPECT_EQ(fields[0], name.startsWith(u'=') ? u"'"_s + name : name);  // not a formula
        EXPECT_EQ(Money::fromText(fields[1]), cell(r.rows[i], 1));
        EXPECT_EQ(Money::fromText(fields[2]), cell(r.rows[i], 2));
    }
    exec(
        QStringLiteral("update DataAccountMonth set Units = Units + 1 where Month = (select "
                       "max(Month) from DataAccountMonth)"));
    EXPECT_TRUE(runTool({u"check"_s, m_path}).out.contains(u"Итоги проводок для отчетов"_s));
    EXPECT_TRUE(runTool({u"check"_s, m_path, u"--repair"_s}).out.contains(u"пересчитаны"_s));
    EXPECT_EQ(runTool({u"check"_s, m_path}).exitCode, 0);
}

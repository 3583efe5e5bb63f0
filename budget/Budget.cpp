#include "Budget.h"

#include "AppError.h"
#include "Db.h"
#include "DbSchema.h"
#include "LedgerTotals.h"
#include "SqlDialect.h"

#include <QHash>
#include <algorithm>

namespace {

constexpr int kExpense = 1;  // the ledger's operation of an expense document
const QString kTable = QStringLiteral("Budget");

QDate firstOf(const QDate& d) {
    return QDate(d.year(), d.month(), 1);
}

void checkMonth(const QDate& month) {
    if (!month.isValid()) {
        throw AppError(QStringLiteral("не указан месяц бюджета"));
    }
}

// The plans of the months from `first` to `last`, summed by category.
QMap<qint64, Money> plannedOver(DbConnection& c, const QDate& first, const QDate& last,
                                qint64 idValuta) {
    QMap<qint64, Money> plan;
    if (!hasTableNamed(c, kTable)) {
        return plan;
    }
    DbQuery q(c, QStringLiteral("qrBudget"));
    q.setSql(
        QStringLiteral("select IdCategory, ValueBudget from Budget\n"
                       "where IdValuta = :IdValuta and MonthBudget >= :First\n"
                       "  and MonthBudget <= :Last"));
    q.bindInteger(QStringLiteral("IdValuta"), idValuta);
    q.bindDate(QStringLiteral("First"), firstOf(first));
    q.bindDate(QStringLiteral("Last"), firstOf(last));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        plan[q.field(QStringLiteral("IdCategory")).asInt64()] +=
            q.field(QStringLiteral("ValueBudget")).asMoney();
    }
    return plan;
}

// Writes plans of a month within the caller's transaction: each amount
// replaces the category's plan, nullopt removes it.
class PlanWriter {
public:
    PlanWriter(DbConnection& c, const QDate& month, qint64 idValuta)
        : m_month(firstOf(month)),
          m_valuta(idValuta),
          m_put(c, QStringLiteral("qrBudgetPut")),
          m_drop(c, QStringLiteral("qrBudgetDrop")) {
        checkMonth(month);
        createMissingTable(c, kTable);
        const QStringList key{QStringLiteral("IdCategory"), QStringLiteral("MonthBudget"),
                              QStringLiteral("IdValuta")};
        m_put.setSql(c.dialect().insertOrReplace(
            kTable, key + QStringList{QStringLiteral("ValueBudget")}, key));
        m_drop.setSql(
            QStringLiteral("delete from Budget where IdValuta = :IdValuta\n"
                           "  and MonthBudget = :MonthBudget and (IdCategory = :IdCategory\n"
                           "  or :All = 1)"));
    }

    void put(qint64 idCategory, Money amount) {
        if (amount < Money()) {
            throw AppError(QStringLiteral("план не может быть меньше нуля"));
        }
        m_put.bindInteger(QStringLiteral("IdCategory"), idCategory);
        m_put.bindDate(QStringLiteral("MonthBudget"), m_month);
        m_put.bindInteger(QStringLiteral("IdValuta"), m_valuta);
        m_put.bindMoney(QStringLiteral("ValueBudget"), amount);
        m_put.execute();
    }

    // One category's plan, or the whole month's when idCategory is 0.
    void drop(qint64 idCategory) {
        m_drop.bindInteger(QStringLiteral("IdValuta"), m_valuta);
        m_drop.bindDate(QStringLiteral("MonthBudget"), m_month);
        m_drop.bindInteger(QStringLiteral("IdCategory"), idCategory);
        m_drop.bindInteger(QStringLiteral("All"), idCategory == 0 ? 1 : 0);
        m_drop.execute();
    }

private:
    QDate m_month;
    qint64 m_valuta;
    DbQuery m_put;
    DbQuery m_drop;
};

QVariant money(Money m) {
    return QVariant::fromValue(m);
}

}  // namespace

QMap<qint64, Money> monthPlan(DbConnection& connection, const QDate& month, qint64 idValuta) {
    checkMonth(month);
    return plannedOver(connection, month, month, idValuta);
}

void setCategoryPlan(DbConnection& connection, const QDate& month, qint64 idValuta,
                     qint64 idCategory, std::optional<Money> amount) {
    Transaction tr(connection);
    PlanWriter w(connection, month, idValuta);
    amount ? w.put(idCategory, *amount) : w.drop(idCategory);
    tr.commit();
}

void replaceMonthPlan(DbConnection& connection, const QDate& month, qint64 idValuta,
                      const QMap<qint64, Money>& plan) {
    Transaction tr(connection);
    PlanWriter w(connection, month, idValuta);
    w.drop(0);
    for (auto it = plan.cbegin(); it != plan.cend(); ++it) {
        w.put(it.key(), it.value());
    }
    tr.commit();
}

int copyPreviousMonth(DbConnection& connection, const QDate& month, qint64 idValuta) {
    checkMonth(month);
    const QMap<qint64, Money> before = monthPlan(connection, month.addMonths(-1), idValuta);
    if (!before.isEmpty()) {
        replaceMonthPlan(connection, month, idValuta, before);
    }
    return int(before.size());
}

QMap<qint64, Money> spendingByCategory(DbConnection& connection, const QDate& from,
                                       const QDate& to, qint64 idValuta) {
    MoveQuery mq;
    mq.from = from;
    mq.to = to;
    mq.idValuta = idValuta;
    mq.operations = {kExpense};
    mq.key = MoveKey::Category;
    QMap<qint64, Money> spent;
    for (const Move& m : ledgerMoves(connection, mq, prepareLedgerTotals(connection))) {
        // Expenses carry the minus sign of their operation.
        spent[m.id] -= Money::fromUnits(m.units);
    }
    return spent;
}

QMap<qint64, Money> averageSpending(DbConnection& connection, const QDate& month, qint64 idValuta,
                                    int months) {
    checkMonth(month);
    if (months < 1 || months > 120) {
        throw AppError(
            QStringLiteral("среднее считается за 1-120 месяцев, а не за %1").arg(months));
    }
    const QDate first = firstOf(month);
    QMap<qint64, Money> average =
        spendingByCategory(connection, first.addMonths(-months), first.addDays(-1), idValuta);
    for (Money& m : average) {
        const qint64 units = m.units();
        // Halves away from zero, in whole ten-thousandths, then to kopecks.
        const qint64 half = months / 2;
        m = Money::fromUnits(units >= 0 ? (units + half) / months : (units - half) / months)
                .rounded(2);
    }
    return average;
}

int fillFromAverage(DbConnection& connection, const QDate& month, qint64 idValuta, int months) {
    QMap<qint64, Money> plan;
    const QMap<qint64, Money> average = averageSpending(connection, month, idValuta, months);
    for (auto it = average.cbegin(); it != average.cend(); ++it) {
        // Spending without a category has no line of the plan; refunds
        // larger than spending plan nothing.
        if (it.key() > 0 && it.value() > Money()) {
            plan.insert(it.key(), it.value());
        }
    }
    if (!plan.isEmpty()) {
        replaceMonthPlan(connection, month, idValuta, plan);
    }
    return int(plan.size());
}

QList<BudgetLine> budgetLines(DbConnection& connection, const QDate& month, qint64 idValuta) {
    const QMap<qint64, Money> plan = monthPlan(connection, month, idValuta);
    const QDate first = firstOf(month);
    const QMap<qint64, Money> spent =
        spendingByCategory(connection, first, first.addMonths(1).addDays(-1), idValuta);
    QList<BudgetLine> lines;
    DbQuery q(connection, QStringLiteral("qrCategory"));
    q.setSql(QStringLiteral("select IdCategory, Caption from Category order by Caption"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        BudgetLine l;
        l.idCategory = q.field(QStringLiteral("IdCategory")).asInt64();
        l.caption = q.field(QStringLiteral("Caption")).asString();
        if (plan.contains(l.idCategory)) {
            l.plan = plan.value(l.idCategory);
        }
        l.fact = spent.value(l.idCategory);
        lines << l;
    }
    return lines;
}

Report planFactReport(DbConnection& connection, const ReportQuery& query) {
    ReportQuery facts = query;
    facts.kind = ReportKind::PlanFact;
    facts.idHeadAccount = 0;
    facts.flow = Flow::Expense;
    Report r = buildReport(connection, facts);
    const QMap<qint64, Money> plans =
        plannedOver(connection, r.query.from, r.query.to, r.query.idValuta);

    struct Line {
        QString caption;
        std::optional<Money> plan;
        Money fact;
        DrillDown drill;
    };
    QList<Line> lines;
    QHash<qint64, qsizetype> byCategory;
    for (const ReportRow& row : std::as_const(r.rows)) {
        byCategory.insert(row.drill.idCategory.value_or(0), lines.size());
        lines.push_back({row.values.value(0).toString(), std::nullopt,
                         row.values.value(1).value<Money>(), row.drill});
    }
    if (!plans.isEmpty()) {
        DbQuery q(connection, QStringLiteral("qrCategory"));
        q.setSql(QStringLiteral("select IdCategory, Caption from Category"));
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            const qint64 id = q.field(QStringLiteral("IdCategory")).asInt64();
            const auto plan = plans.constFind(id);
            if (plan == plans.cend()) {
                continue;
            }
            auto at = byCategory.constFind(id);
            if (at == byCategory.cend()) {
                DrillDown d = r.total.drill;
                d.idCategory = id;
                at = byCategory.insert(id, lines.size());
                lines.push_back({q.field(QStringLiteral("Caption")).asString(), {}, {}, d});
            }
            lines[*at].plan = *plan;
        }
    }
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
        const Money ta = std::max(a.plan.value_or(Money()), a.fact);
        const Money tb = std::max(b.plan.value_or(Money()), b.fact);
        return ta != tb ? ta > tb : a.caption < b.caption;
    });

    DbQuery v(connection, QStringLiteral("qrValuta"));
    v.setSql(QStringLiteral("select Caption from Valuta where IdValuta = :Id"));
    v.bindInteger(QStringLiteral("Id"), r.query.idValuta);
    v.open();
    const QString valuta = v.field(QStringLiteral("Caption")).asString();
    r.title = reportCaption(ReportKind::PlanFact);
    r.columns = {{QStringLiteral("Категория"), ColumnKind::Text},
                 {QStringLiteral("План, %1").arg(valuta), ColumnKind::Money},
                 {QStringLiteral("Факт, %1").arg(valuta), ColumnKind::Money},
                 {QStringLiteral("Разница, %1").arg(valuta), ColumnKind::Money},
                 {QStringLiteral("Использовано"), ColumnKind::Share}};
    r.rows.clear();
    r.chart = {};
    r.chart.type = ReportChart::Type::PairedBars;
    ChartSeries planned{QStringLiteral("План"), {}, {}};
    ChartSeries spent{QStringLiteral("Факт"), {}, {}};
    auto row = [](const QString& caption, std::optional<Money> plan, Money fact,
                  const DrillDown& drill) {
        const bool hasPlan = plan.has_value();
        const Money p = plan.value_or(Money());
        ReportRow out{{caption, hasPlan ? money(p) : QVariant(), money(fact),
                       hasPlan ? money(p - fact) : QVariant(),
                       p > Money() ? QVariant(fact.toDouble() / p.toDouble()) : QVariant()},
                      drill};
        out.alert = hasPlan && fact > p;
        return out;
    };
    Money totalPlan;
    Money totalFact;
    for (const Line& l : std::as_const(lines)) {
        r.rows << row(l.caption, l.plan, l.fact, l.drill);
        r.chart.labels << l.caption;
        planned.values << l.plan.value_or(Money());
        planned.drill << l.drill;
        spent.values << l.fact;
        spent.drill << l.drill;
        totalPlan += l.plan.value_or(Money());
        totalFact += l.fact;
    }
    r.chart.series << planned << spent;
    r.total =
        row(QStringLiteral("Итого"), plans.isEmpty() ? std::nullopt : std::optional(totalPlan),
            totalFact, r.total.drill);
    const QDate& from = r.query.from;
    const QDate& to = r.query.to;
    if (from.day() != 1 || to != firstOf(to).addMonths(1).addDays(-1)) {
        r.notes << QStringLiteral("План взят за целые месяцы с %1 по %2, факт - за сам период.")
                       .arg(from.toString(QStringLiteral("MM.yyyy")),
                            to.toString(QStringLiteral("MM.yyyy")));
    }
    if (plans.isEmpty()) {
        r.notes << QStringLiteral(
            "На месяцы периода в этой валюте план не составлен "
            "(Отчеты - Бюджет).");
    }
    return r;
}

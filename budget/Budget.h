#pragma once

#include "Money.h"
#include "Reports.h"

#include <QDate>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>

class DbConnection;

// The family's budget: a planned amount of spending per category, month and
// currency (table Budget). A category is not an expense or an income by
// itself, so the plan is one of spending: it is held against the category's
// expense documents. The fact comes from the ledger as in the report of
// categories, so only applied documents count. Every date names its month.
// No windows; errors are raised as AppError with the engine's text.

// The plan of a month by category. Empty for books without plans.
QMap<qint64, Money> monthPlan(DbConnection& connection, const QDate& month, qint64 idValuta);

// Sets one category's plan of a month, or removes it (nullopt). A plan below
// zero is refused.
void setCategoryPlan(DbConnection& connection, const QDate& month, qint64 idValuta,
                     qint64 idCategory, std::optional<Money> amount);

// Replaces the whole plan of a month, in one transaction.
void replaceMonthPlan(DbConnection& connection, const QDate& month, qint64 idValuta,
                      const QMap<qint64, Money>& plan);

// Gives the month the plan of the month before; returns the number of
// categories copied. A month before without a plan changes nothing.
int copyPreviousMonth(DbConnection& connection, const QDate& month, qint64 idValuta);

// The spending of each category (0: without one) over the `months` whole
// months before `month`, divided by `months` and rounded to kopecks: a month
// without spending counts as nothing spent.
QMap<qint64, Money> averageSpending(DbConnection& connection, const QDate& month, qint64 idValuta,
                                    int months);

// Replaces the month's plan with averageSpending (categories that spent
// nothing are left without a plan); returns the number of categories planned.
// No spending at all changes nothing and gives 0.
int fillFromAverage(DbConnection& connection, const QDate& month, qint64 idValuta, int months);

// The spending of each category (0: without one) from `from` to `to`.
QMap<qint64, Money> spendingByCategory(DbConnection& connection, const QDate& from,
                                       const QDate& to, qint64 idValuta);

// One line of a month's budget: a category, its plan (none when unplanned)
// and what it spent in the month.
struct BudgetLine {
    qint64 idCategory = 0;
    QString caption;
    std::optional<Money> plan;
    Money fact;
};
// Every category, by caption.
QList<BudgetLine> budgetLines(DbConnection& connection, const QDate& month, qint64 idValuta);

// "План и факт": per category that has a plan or spending in the period, the
// plan of the months the period touches, the spending of the period, the
// difference (plan less fact) and the share of the plan used; the rows over
// plan are marked, the chart sets plan and fact side by side. The query's
// period and currency are filled in as buildReport does; its account is
// ignored, since a plan is one of the whole currency.
Report planFactReport(DbConnection& connection, const ReportQuery& query);

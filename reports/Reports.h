#pragma once

#include "Money.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

class DbConnection;

// The family's reports: where the money goes and how it grows. The figures
// come from the ledger (DataAccount, each row counted with the sign of its
// operation in group 1), so only applied documents count. Transfers move
// money between the family's own accounts: they move balances but are
// neither income nor expense. Amounts of different currencies are never
// added together; only the net worth converts them, at the rates of
// CurrencyRate. No window here: the report windows and the tool show the
// same Report.

enum class ReportKind {
    Categories,      // "Расходы по категориям" (or incomes)
    Months,          // "Доходы и расходы по месяцам"
    Counterparties,  // "По контрагентам"
    Balances,        // "Остатки"
    Statement,       // "Выписка по счету"
    NetWorth,        // "Капитал"
    PlanFact,        // "План и факт": buildReport gives its facts, budget/ the plan
};

// The name of a kind in the tool ("categories", "months", "counterparties",
// "balances", "statement", "networth") and its caption.
QString reportKindName(ReportKind kind);
std::optional<ReportKind> reportKindNamed(const QString& name);
QString reportCaption(ReportKind kind);

// Which money a report of categories follows.
enum class Flow { Expense, Income };

// The points of a series over time.
enum class Step { Auto, Day, Week, Month };

struct ReportQuery {
    ReportKind kind = ReportKind::Categories;
    QDate from;                // first day; invalid: from the first applied document
    QDate to;                  // last day; invalid: today
    qint64 idHeadAccount = 0;  // 0: every account of the currency (Statement needs one)
    qint64 idValuta = 0;       // the currency shown; for NetWorth the base currency
    Flow flow = Flow::Expense;
    Step step = Step::Auto;  // Balances and NetWorth
    // Balances: months to look ahead after the period's end (0..12, 0: none),
    // from what the books say is still to come (Forecast.h). Only a period
    // that ends today or later is continued.
    int ahead = 0;
    QDate today = {};  // invalid: the computer's date
};

// The preset periods of the report windows, as of `today`.
enum class Preset { ThisMonth, LastMonth, ThisYear, LastYear, TwelveMonths, AllTime };
QString presetCaption(Preset preset);
// First and last day; AllTime gives an invalid first day (from the beginning).
std::pair<QDate, QDate> presetPeriod(Preset preset, const QDate& today);

// The documents behind one figure: applied documents of the period whose
// ledger rows of `operations` fall on the account (or any account of the
// currency), narrowed to a category or a counterparty when one is set (0: the
// documents without one).
struct DrillDown {
    QDate from;
    QDate to;
    qint64 idDocument = 0;  // set: that one document
    qint64 idHeadAccount = 0;
    qint64 idValuta = 0;
    QList<int> operations;
    std::optional<qint64> idCategory;
    std::optional<qint64> idContrAgent;

    bool isValid() const { return idDocument > 0 || (to.isValid() && !operations.isEmpty()); }
};

enum class ColumnKind { Text, Money, Count, Share, Date, Rate };

struct ReportColumn {
    QString title;
    ColumnKind kind = ColumnKind::Text;
};

// One row of the table: its values (QString, Money as qint64 units through
// QVariant::fromValue(Money), int, double share 0..1, QDate) and the
// documents behind it.
struct ReportRow {
    QVariantList values;
    DrillDown drill;
    bool forecast = false;  // a point of the look ahead, not of the books
    bool alert = false;  // a row that must stand out: spending over plan
};

// What the chart draws: labelled points of one or more series. Pie: one
// series, the labels are the slices. Bars: one bar per label and series.
// BarsAndLine: bars of all series but the last, which is a line. Lines: one
// line per series over the labels (dates). PairedBars: the bars of every
// series side by side per label (plan beside fact).
struct ChartSeries {
    QString name;
    QList<Money> values;     // one per label
    QList<DrillDown> drill;  // one per value, or empty
};

struct ReportChart {
    enum class Type { None, Pie, Bars, BarsAndLine, Lines, PairedBars };
    Type type = Type::None;
    QStringList labels;
    QList<QDate> dates;  // the date of each label, for Lines
    QList<ChartSeries> series;
    int futureFrom = -1;  // Lines: the first label of the look ahead; -1: none
};

struct Report {
    ReportQuery query;  // with the period and currency filled in
    QString title;      // "Расходы по категориям"
    QString subtitle;   // period, currency, account
    QList<ReportColumn> columns;
    QList<ReportRow> rows;
    ReportRow total;  // the last line of the table; empty values when none
    ReportChart chart;
    QStringList notes;  // what a person must know to read it right
};

// Builds a report from the ledger. Raises AppError with the engine's text.
// Whole months are read from the ledger's running totals (LedgerTotals.h); a
// file made before them gets them at its first report on a connection that
// may write, and is read row by row until then.
Report buildReport(DbConnection& connection, const ReportQuery& query);

// A cell as the windows and the tool show it: money "1 234,50" (four
// decimals when the amount has them), a share "17,0 %", a date "08.03.2026".
// Csv gives plain numbers for other programs: "1234.50", "17.0".
enum class CellForm { Display, Csv };
QString reportCellText(const QVariant& value, ColumnKind kind, CellForm form = CellForm::Display);

// One document behind a figure, as the list of documents shows it.
struct DocumentLine {
    qint64 idDocument = 0;
    int codTypeDocument = 0;
    QDate date;
    Money amount;  // the ledger amount on the account, with its sign
    QString account;
    QString category;
    QString contrAgent;
    QString note;
    QString status;
    int colorStatus = 0;  // 0x00BBGGRR, 0: none
};
QList<DocumentLine> documentsBehind(DbConnection& connection, const DrillDown& drill);

// Money in a QVariant, for the rows of a table.
Q_DECLARE_METATYPE(Money)

#include "ReportCommands.h"

#include "Budget.h"
#include "Db.h"
#include "ExchangeText.h"
#include "Reports.h"
#include "ToolOptions.h"
#include "ToolOutput.h"

#include <QRegularExpression>

namespace {

const QString kUsage = QStringLiteral(
    "  dorsanti-db report ФАЙЛ|URI ОТЧЕТ [--from ДАТА] [--to ДАТА]\n"
    "                     [--account НОМЕР] [--currency КОД] [--income] [--csv]\n"
    "                     [--ahead МЕСЯЦЕВ] [--today ДАТА]\n"
    "      Печатает отчет по проведенным документам, те же цифры, что окно отчета.\n"
    "      ОТЧЕТ: categories (расходы по категориям), months (доходы и расходы\n"
    "      по месяцам), counterparties (по контрагентам), balances (остатки),\n"
    "      statement (выписка по счету), networth (капитал).\n"
    "      --from, --to              период (31.12.2025 или 2025-12-31); без них\n"
    "                                с первого документа по сегодня\n"
    "      --account НОМЕР           один счет; statement без него показывает\n"
    "                                первый счет валюты\n"
    "      --currency КОД            валюта отчета (для networth - валюта итога)\n"
    "      --income                  для categories: доходы вместо расходов\n"
    "      --ahead МЕСЯЦЕВ           для balances: прогноз на 1-12 месяцев после\n"
    "                                конца периода по регулярным платежам и\n"
    "                                непроведенным документам, и когда счет\n"
    "                                уйдет в минус\n"
    "      --today ДАТА              считать сегодняшним этот день\n"
    "      --csv                     таблица в CSV вместо выровненного текста\n");

const QString kBudgetUsage = QStringLiteral(
    "  dorsanti-db budget ФАЙЛ|URI --month ГГГГ-ММ|--year ГГГГ [--currency КОД] [--csv]\n"
    "      Печатает план бюджета и факт расходов по категориям за месяц или год,\n"
    "      разницу и долю использованного плана.\n"
    "      --currency КОД            валюта плана; без нее валюта первого счета\n"
    "      --csv                     таблица в CSV вместо выровненного текста\n");

// A field quoted where it has to be. Text that a spreadsheet would run as a
// formula ("=", "+", "-", "@", also after quotes of this kind) gets one quote
// more in front, as the books' export does; numbers stay numbers.
QString csvField(const QString& value, bool number) {
    qsizetype lead = 0;
    while (lead < value.size() && value[lead] == QLatin1Char('\'')) {
        ++lead;
    }
    const bool formula =
        !number && lead < value.size() && QStringLiteral("=+-@").contains(value[lead]);
    const QString text = formula ? QLatin1Char('\'') + value : value;
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) {
        return text;
    }
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

void print(const Report& r, bool csv) {
    QList<QStringList> lines;
    QStringList header;
    for (const ReportColumn& c : r.columns) {
        header << c.title;
    }
    lines << header;
    QList<ReportRow> rows = r.rows;
    if (!r.total.values.isEmpty()) {
        rows << r.total;
    }
    for (const ReportRow& row : rows) {
        QStringList cells;
        for (int i = 0; i < r.columns.size(); ++i) {
            cells << reportCellText(row.values.value(i), r.columns[i].kind,
                                    csv ? CellForm::Csv : CellForm::Display);
        }
        lines << cells;
    }
    if (csv) {
        for (int line = 0; line < lines.size(); ++line) {
            QStringList fields;
            for (int i = 0; i < lines[line].size(); ++i) {
                const ColumnKind kind = r.columns[i].kind;
                fields << csvField(lines[line][i], line > 0 && kind != ColumnKind::Text &&
                                                       kind != ColumnKind::Rate);
            }
            out() << fields.join(QLatin1Char(',')) << "\n";
        }
        return;
    }
    QList<int> widths(r.columns.size(), 0);
    for (const QStringList& cells : lines) {
        for (int i = 0; i < cells.size(); ++i) {
            widths[i] = std::max(widths[i], int(cells[i].size()));
        }
    }
    out() << r.title << "\n" << r.subtitle << "\n\n";
    for (const QStringList& cells : lines) {
        QStringList padded;
        for (int i = 0; i < cells.size(); ++i) {
            const bool right = r.columns[i].kind == ColumnKind::Money ||
                               r.columns[i].kind == ColumnKind::Share ||
                               r.columns[i].kind == ColumnKind::Count;
            padded << (right ? cells[i].rightJustified(widths[i])
                             : cells[i].leftJustified(widths[i]));
        }
        out() << padded.join(QStringLiteral("  ")).trimmed() << "\n";
    }
    for (const QString& note : r.notes) {
        out() << "\n" << note << "\n";
    }
}

// The currency of --currency into the query; false, after saying so, for a
// code the books do not have.
bool chooseCurrency(DbConnection& c, const ToolOptions& o, ReportQuery& query) {
    if (!o.values.contains(QStringLiteral("--currency"))) {
        return true;
    }
    DbQuery q(c, QStringLiteral("qrCurrency"));
    q.setSql(QStringLiteral("select IdValuta from Valuta where Caption = :Code"));
    q.bindString(QStringLiteral("Code"), o.values.value(QStringLiteral("--currency")));
    q.open();
    if (q.isEmpty()) {
        fail(
            QStringLiteral("валюты \"%1\" нет").arg(o.values.value(QStringLiteral("--currency"))));
        return false;
    }
    query.idValuta = q.field(QStringLiteral("IdValuta")).asInteger();
    return true;
}

int report(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(
            args.mid(1),
            {QStringLiteral("--from"), QStringLiteral("--to"), QStringLiteral("--account"),
             QStringLiteral("--currency"), QStringLiteral("--ahead"), QStringLiteral("--today")},
            {QStringLiteral("--csv"), QStringLiteral("--income")}, o,
            {noDatabaseFile(), QStringLiteral("не указан отчет")}) ||
        o.help) {
        return showUsage({kUsage}, o.problem);
    }
    const auto kind = reportKindNamed(o.positional[1]);
    if (!kind) {
        return showUsage({kUsage},
                         QStringLiteral("неизвестный отчет \"%1\"").arg(o.positional[1]));
    }
    ReportQuery query;
    query.kind = *kind;
    query.flow = o.has(QStringLiteral("--income")) ? Flow::Income : Flow::Expense;
    for (const auto& [name, date] : {std::pair{QStringLiteral("--from"), &query.from},
                                     std::pair{QStringLiteral("--to"), &query.to},
                                     std::pair{QStringLiteral("--today"), &query.today}}) {
        if (o.values.contains(name)) {
            *date = parseStatementDate(o.values.value(name));
            if (!date->isValid()) {
                return fail(QStringLiteral("даты пишутся 31.12.2025 или 2025-12-31, а не \"%1\"")
                                .arg(o.values.value(name)));
            }
        }
    }
    if (!query.to.isValid()) {
        query.to = query.today;
    }
    if (o.values.contains(QStringLiteral("--ahead"))) {
        bool ok = false;
        query.ahead = o.values.value(QStringLiteral("--ahead")).toInt(&ok);
        if (!ok || query.ahead < 0 || query.ahead > 12 || query.kind != ReportKind::Balances) {
            return fail(QStringLiteral("--ahead принимает от 0 до 12 месяцев, и только для "
                                       "balances, а не \"%1\"")
                            .arg(o.values.value(QStringLiteral("--ahead"))));
        }
    }
    DbConnection c;
    try {
        c.open(o.positional[0], DbConnection::Access::ReadOnly);
    } catch (const AppError& e) {
        return fail(QStringLiteral("не удалось открыть %1: %2").arg(o.positional[0], e.text()));
    }
    if (o.values.contains(QStringLiteral("--account"))) {
        bool ok = false;
        query.idHeadAccount = o.values.value(QStringLiteral("--account")).toLongLong(&ok);
        if (!ok || query.idHeadAccount <= 0) {
            return fail(QStringLiteral("--account принимает номер счета, а не \"%1\"")
                            .arg(o.values.value(QStringLiteral("--account"))));
        }
    }
    if (!chooseCurrency(c, o, query)) {
        return 1;
    }
    print(buildReport(c, query), o.has(QStringLiteral("--csv")));
    return 0;
}

int budget(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(
            args.mid(1),
            {QStringLiteral("--month"), QStringLiteral("--year"), QStringLiteral("--currency")},
            {QStringLiteral("--csv")}, o, {noDatabaseFile()}) ||
        o.help) {
        return showUsage({kBudgetUsage}, o.problem);
    }
    const QString month = o.values.value(QStringLiteral("--month"));
    const QString year = o.values.value(QStringLiteral("--year"));
    if (month.isEmpty() == year.isEmpty()) {
        return showUsage({kBudgetUsage}, QStringLiteral("укажите --month или --year"));
    }
    ReportQuery query;
    query.kind = ReportKind::PlanFact;
    const QRegularExpression monthForm(QStringLiteral("^\\d{4}-\\d{2}$"));
    const QRegularExpression yearForm(QStringLiteral("^\\d{4}$"));
    if (!month.isEmpty()) {
        query.from = monthForm.match(month).hasMatch()
                         ? QDate::fromString(month + QStringLiteral("-01"), Qt::ISODate)
                         : QDate();
        query.to = query.from.addMonths(1).addDays(-1);
    } else {
        query.from = yearForm.match(year).hasMatch() ? QDate(year.toInt(), 1, 1) : QDate();
        query.to = QDate(query.from.year(), 12, 31);
    }
    if (!query.from.isValid() || query.from.year() < 1) {
        return fail(month.isEmpty()
                        ? QStringLiteral("год пишется 2026, а не \"%1\"").arg(year)
                        : QStringLiteral("месяц пишется 2026-03, а не \"%1\"").arg(month));
    }
    DbConnection c;
    try {
        c.open(o.positional[0], DbConnection::Access::ReadOnly);
    } catch (const AppError& e) {
        return fail(QStringLiteral("не удалось открыть %1: %2").arg(o.positional[0], e.text()));
    }
    if (!chooseCurrency(c, o, query)) {
        return 1;
    }
    print(planFactReport(c, query), o.has(QStringLiteral("--csv")));
    return 0;
}

}  // namespace

bool isReportCommand(const QString& command) {
    return command == QLatin1String("report") || command == QLatin1String("budget");
}

int runReportCommand(const QStringList& args) {
    try {
        return args.value(0) == QLatin1String("budget") ? budget(args) : report(args);
    } catch (const AppError& e) {
        return fail(e.text());
    }
}

QStringList reportUsage(const QString& command) {
    if (command == QLatin1String("report")) {
        return {kUsage};
    }
    if (command == QLatin1String("budget")) {
        return {kBudgetUsage};
    }
    return {kUsage, kBudgetUsage};
}

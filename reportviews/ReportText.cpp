#include "ReportText.h"

#include <QLocale>

#include <csv.h>

namespace {

const QLocale& russian() {
    static const QLocale locale(QLocale::Russian, QLocale::Russia);
    return locale;
}

// Exact: the units are rounded to kopecks, then written as they are.
QString plainMoney(Money amount) {
    const qint64 kopecks = amount.rounded(2).units() / 100;
    const qint64 whole = kopecks < 0 ? -kopecks : kopecks;
    return QStringLiteral("%1%2.%3")
        .arg(kopecks < 0 ? QStringLiteral("-") : QString())
        .arg(whole / 100)
        .arg(whole % 100, 2, 10, QLatin1Char('0'));
}

QString plainCell(const QVariant& value, ColumnKind kind) {
    return kind == ColumnKind::Money && value.isValid()
               ? plainMoney(value.value<Money>())
               : reportCellText(value, kind, CellForm::Csv);
}

// Text goes in quotes (libcsv's writer doubles the quotes inside). Text that a
// spreadsheet would run as a formula gets a quote mark in front and stays text.
QByteArray csvText(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    qsizetype lead = 0;
    while (lead < utf8.size() && utf8[lead] == '\'') {
        ++lead;
    }
    if (lead < utf8.size() && QByteArrayView("=+-@").contains(utf8[lead])) {
        utf8.prepend('\'');
    }
    QByteArray out(qsizetype(csv_write(nullptr, 0, utf8.constData(), size_t(utf8.size()))),
                   Qt::Uninitialized);
    csv_write(out.data(), size_t(out.size()), utf8.constData(), size_t(utf8.size()));
    return out;
}

}  // namespace

QString moneyText(Money amount) {
    return amount.rounded(2).toString(2, russian());
}

bool isNumberColumn(ColumnKind kind) {
    return kind == ColumnKind::Money || kind == ColumnKind::Count || kind == ColumnKind::Share;
}

QByteArray reportCsv(const Report& report) {
    QByteArray out("\xEF\xBB\xBF");
    QStringList titles;
    for (const ReportColumn& c : report.columns) {
        titles << c.title;
    }
    auto line = [&](const QList<QVariant>& values, bool header) {
        for (int i = 0; i < report.columns.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            const ColumnKind kind = report.columns[i].kind;
            const QVariant v = values.value(i);
            if (header || !isNumberColumn(kind)) {
                const QString text = header ? v.toString() : plainCell(v, kind);
                out += text.isEmpty() ? QByteArray() : csvText(text);
            } else {
                out += plainCell(v, kind).toUtf8();
            }
        }
        out += "\r\n";
    };
    QVariantList header;
    for (const QString& t : titles) {
        header << t;
    }
    line(header, true);
    for (const ReportRow& row : report.rows) {
        line(row.values, false);
    }
    if (!report.total.values.isEmpty()) {
        line(report.total.values, false);
    }
    return out;
}

QString shortMonthName(int month) {
    static const char* const names[] = {"Янв", "Фев", "Мар", "Апр", "Май", "Июн",
                                        "Июл", "Авг", "Сен", "Окт", "Ноя", "Дек"};
    return month >= 1 && month <= 12 ? QString::fromUtf8(names[month - 1]) : QString();
}

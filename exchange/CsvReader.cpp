#include "CsvReader.h"

#include "AppError.h"
#include "ExchangeText.h"

#include <csv.h>

namespace {

struct Collect {
    QVector<CsvRecord> records;
    CsvRecord current;
    int startLine = 1;
};

void onField(void* data, size_t length, void* context) {
    auto* c = static_cast<Collect*>(context);
    c->current.fields
        << QString::fromUtf8(static_cast<const char*>(data), qsizetype(length)).trimmed();
}

void onRecord(int, void* context) {
    auto* c = static_cast<Collect*>(context);
    c->current.line = c->startLine;
    c->records << std::move(c->current);
    c->current = {};
}

// Picks the separator that the header line uses most, outside quotes.
char detectSeparator(const QByteArray& utf8) {
    int counts[3] = {0, 0, 0};
    const char marks[3] = {';', ',', '\t'};
    bool quoted = false;
    for (char ch : utf8) {
        if (ch == '"') {
            quoted = !quoted;
        } else if (!quoted && (ch == '\n' || ch == '\r')) {
            if (counts[0] + counts[1] + counts[2] > 0) {
                break;
            }
        } else if (!quoted) {
            for (int i = 0; i < 3; ++i) {
                counts[i] += ch == marks[i];
            }
        }
    }
    int best = 0;
    for (int i = 1; i < 3; ++i) {
        if (counts[i] > counts[best]) {
            best = i;
        }
    }
    return counts[best] > 0 ? marks[best] : ',';
}

QString folded(const QString& s) {
    return s.trimmed().remove(QChar(0xFEFF)).toCaseFolded();
}

// The header names each role goes by, the preferred first. The posting date
// and the amount in the account's currency come before the operation's own.
const QStringList& names(const char* role) {
    static const QHash<QByteArray, QStringList> table = {
        {"date",
         {"дата платежа", "дата операции", "дата проводки", "дата", "date", "posting date",
          "transaction date"}},
        {"amount", {"сумма платежа", "сумма операции", "сумма", "amount", "sum"}},
        {"debit", {"расход", "списание", "дебет", "debit", "withdrawal"}},
        {"credit", {"приход", "зачисление", "поступление", "кредит", "credit", "deposit"}},
        {"currency", {"валюта платежа", "валюта операции", "валюта", "currency"}},
        {"description",
         {"описание", "назначение платежа", "описание операции", "description", "memo",
          "details"}},
        {"category", {"категория", "category"}},
        {"status", {"статус", "status"}},
        {"payee", {"контрагент", "получатель", "payee"}},
    };
    return table.find(role).value();
}

int findColumn(const QStringList& header, const char* role) {
    for (const QString& name : names(role)) {
        const qsizetype at = header.indexOf(name);
        if (at >= 0) {
            return int(at);
        }
    }
    return -1;
}

// A column the user named, by header text or by number.
int namedColumn(const QStringList& header, const QString& given, const QString& option) {
    bool number = false;
    const int n = given.toInt(&number);
    if (number) {
        if (n < 1 || n > header.size()) {
            throw AppError(QStringLiteral("%1 %2: the file has %3 columns")
                               .arg(option, given)
                               .arg(header.size()));
        }
        return n - 1;
    }
    const qsizetype at = header.indexOf(folded(given));
    if (at < 0) {
        throw AppError(QStringLiteral("%1: the header has no column \"%2\"").arg(option, given));
    }
    return int(at);
}

bool isFailedStatus(const QString& status) {
    const QString s = folded(status);
    return s == QLatin1String("failed") || s == QStringLiteral("отказ");
}

}  // namespace

QVector<CsvRecord> parseCsvRecords(const QByteArray& utf8, char separator) {
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT_FINI) != 0) {
        throw AppError(QStringLiteral("out of memory"));
    }
    csv_set_delim(&parser, static_cast<unsigned char>(separator));
    Collect collect;
    // Fed a line at a time, so that each record knows the line it starts on.
    const char* data = utf8.constData();
    const qsizetype size = utf8.size();
    qsizetype from = 0;
    int line = 1;
    int error = CSV_SUCCESS;
    while (from < size && error == CSV_SUCCESS) {
        qsizetype to = utf8.indexOf('\n', from);
        to = to < 0 ? size : to + 1;
        if (parser.pstate == 0) {  // between records
            collect.startLine = line;
        }
        const size_t length = size_t(to - from);
        if (csv_parse(&parser, data + from, length, onField, onRecord, &collect) != length) {
            error = csv_error(&parser);
        }
        from = to;
        ++line;
    }
    if (error == CSV_SUCCESS && csv_fini(&parser, onField, onRecord, &collect) != 0) {
        error = csv_error(&parser);
    }
    csv_free(&parser);
    if (error != CSV_SUCCESS) {
        throw AppError(QStringLiteral("line %1: %2")
                           .arg(collect.startLine)
                           .arg(error == CSV_EPARSE ? QStringLiteral("a quoted field never ends")
                                                    : QString::fromUtf8(csv_strerror(error))));
    }
    return collect.records;
}

Statement CsvReader::read(const QString& path) const {
    return parse(readStatementFile(path));
}

Statement CsvReader::parse(const QByteArray& bytes) const {
    const QByteArray utf8 = statementTextUtf8(bytes);
    QVector<CsvRecord> records = parseCsvRecords(utf8, detectSeparator(utf8));

    auto blank = [](const CsvRecord& r) {
        for (const QString& f : r.fields) {
            if (!f.isEmpty()) {
                return false;
            }
        }
        return true;
    };
    qsizetype first = 0;
    while (first < records.size() && blank(records[first])) {
        ++first;
    }
    if (first == records.size()) {
        throw AppError(QStringLiteral("the file is empty"));
    }
    QStringList header;
    for (const QString& name : std::as_const(records[first].fields)) {
        header << folded(name);
    }

    auto column = [&](const QString& given, const char* option, const char* role) {
        return given.isEmpty() ? findColumn(header, role)
                               : namedColumn(header, given, QString::fromLatin1(option));
    };
    const int date = column(m_options.dateColumn, "--date-column", "date");
    const int amount = column(m_options.amountColumn, "--amount-column", "amount");
    const int description =
        column(m_options.descriptionColumn, "--description-column", "description");
    const int debit = amount < 0 ? findColumn(header, "debit") : -1;
    const int credit = amount < 0 ? findColumn(header, "credit") : -1;
    const int currency = findColumn(header, "currency");
    const int category = findColumn(header, "category");
    const int status = findColumn(header, "status");
    const int payee = findColumn(header, "payee");
    if (date < 0) {
        throw AppError(QStringLiteral("line %1: no date column (\"Дата операции\", \"Дата "
                                      "платежа\", \"Date\"); name it with --date-column")
                           .arg(records[first].line));
    }
    if (amount < 0 && debit < 0 && credit < 0) {
        throw AppError(QStringLiteral("line %1: no amount column (\"Сумма операции\", \"Сумма "
                                      "платежа\", \"Amount\", or debit and credit columns); "
                                      "name it with --amount-column")
                           .arg(records[first].line));
    }

    Statement st;
    st.lines.reserve(records.size() - first);
    for (qsizetype r = first + 1; r < records.size(); ++r) {
        const CsvRecord& rec = records[r];
        if (blank(rec)) {
            continue;
        }
        const QString where = QLatin1String("line ") + QString::number(rec.line);
        auto field = [&](int c) {
            return c >= 0 && c < rec.fields.size() ? rec.fields[c] : QString();
        };
        if (status >= 0 && isFailedStatus(field(status))) {
            ++st.failed;
            continue;
        }
        StatementLine line;
        line.where = where;
        line.date = parseStatementDate(field(date), m_options.dateFormat);
        if (!line.date.isValid()) {
            st.refused.push_back(
                {where, QStringLiteral("unreadable date \"%1\"").arg(field(date))});
            continue;
        }
        std::optional<Money> value;
        if (amount >= 0) {
            value = parseStatementAmount(field(amount), m_options.decimal);
            if (!value) {
                st.refused.push_back(
                    {where, QStringLiteral("unreadable amount \"%1\"").arg(field(amount))});
                continue;
            }
        } else {
            const QString out = field(debit);
            const QString in = field(credit);
            const auto outValue = parseStatementAmount(out, m_options.decimal);
            const auto inValue = parseStatementAmount(in, m_options.decimal);
            if ((!out.isEmpty() && !outValue) || (!in.isEmpty() && !inValue)) {
                st.refused.push_back(
                    {where, QStringLiteral("unreadable amount \"%1\"").arg(outValue ? in : out)});
                continue;
            }
            auto magnitude = [](std::optional<Money> m) {
                return m ? (*m < Money() ? -*m : *m) : Money();
            };
            value = magnitude(inValue) - magnitude(outValue);
        }
        if (value->isZero()) {
            st.refused.push_back({where, QStringLiteral("no amount")});
            continue;
        }
        line.amount = *value;
        line.description = field(description);
        line.payee = payee >= 0 ? field(payee) : line.description;
        line.category = field(category);
        line.currency = field(currency);
        st.lines.push_back(std::move(line));
    }
    return st;
}

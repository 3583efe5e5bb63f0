#include "CsvReader.h"

#include "AppError.h"
#include "ExchangeText.h"

#include <QRegularExpression>

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
         {"описание", "назначение платежа", "описание операции", "description", "memo", "details",
          "примечание", "note"}},
        {"category", {"категория", "category"}},
        {"status", {"статус", "status"}},
        {"payee", {"контрагент", "получатель", "payee", "counterparty"}},
        // The columns of the books as the export writes them: each row names its
        // account, and a transfer also the other account and its amount there.
        {"kind", {"вид", "kind"}},
        {"account", {"счет", "счёт", "account"}},
        {"account2", {"счет 2", "счёт 2", "account2"}},
        {"amount2", {"сумма 2", "amount2"}},
        {"currency2", {"валюта 2", "currency2"}},
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
            throw AppError(QStringLiteral("%1 %2: столбцов в файле: %3")
                               .arg(option, given)
                               .arg(header.size()));
        }
        return n - 1;
    }
    const qsizetype at = header.indexOf(csvFolded(given));
    if (at < 0) {
        throw AppError(QStringLiteral("%1: в заголовке нет столбца \"%2\"").arg(option, given));
    }
    return int(at);
}

Money magnitude(std::optional<Money> m) {
    return m ? (*m < Money() ? -*m : *m) : Money();
}

enum class Status { Done, Failed, Pending };

// What a bank's status says of a payment. Anything it does not name as failed
// or unfinished ("OK", "Исполнено", "Проведено", nothing) is done.
Status statusOf(const QString& status) {
    static const QStringList failed = {
        QStringLiteral("отказ"),     QStringLiteral("отклон"),  QStringLiteral("отмен"),
        QStringLiteral("ошибк"),     QStringLiteral("неуспеш"), QStringLiteral("не исполн"),
        QStringLiteral("не выполн"), QStringLiteral("failed"),  QStringLiteral("declined"),
        QStringLiteral("rejected"),  QStringLiteral("cancel"),  QStringLiteral("error")};
    static const QStringList pending = {
        QStringLiteral("в обработке"), QStringLiteral("обрабатыва"), QStringLiteral("в процессе"),
        QStringLiteral("ожида"),       QStringLiteral("заблокир"),   QStringLiteral("холд"),
        QStringLiteral("pending"),     QStringLiteral("processing"), QStringLiteral("hold"),
        QStringLiteral("authori")};
    const QString s = csvFolded(status);
    auto starts = [&](const QStringList& words) {
        for (const QString& w : words) {
            if (s.startsWith(w)) {
                return true;
            }
        }
        return false;
    };
    return starts(failed) ? Status::Failed : starts(pending) ? Status::Pending : Status::Done;
}

// The document kind a row names: 1 expense, 2 income, 3 transfer; 0 unknown.
int kindNamed(const QString& kind) {
    const QString k = csvFolded(kind);
    if (k == QStringLiteral("расход") || k == QLatin1String("expense")) {
        return 1;
    }
    if (k == QStringLiteral("приход") || k == QLatin1String("income")) {
        return 2;
    }
    if (k == QStringLiteral("перенос") || k == QLatin1String("transfer")) {
        return 3;
    }
    return 0;
}

// A text field as written, without the quote that the export puts before
// text a spreadsheet would run as a formula.
QString textField(const QString& field) {
    static const QRegularExpression guarded(QStringLiteral("^'+[=+\\-@]"));
    return guarded.match(field).hasMatch() ? field.mid(1) : field;
}

// The options name a column of the role, or the names of the role say it.
bool hasColumn(const QStringList& names, const QString& given, const char* role) {
    if (given.isEmpty()) {
        return findColumn(names, role) >= 0;
    }
    bool number = false;
    const int n = given.toInt(&number);
    return number ? n >= 1 && n <= names.size() : names.contains(csvFolded(given));
}

// A record is the header when it has a date column and an amount, or a debit
// or credit column, as the options or the usual names give them.
bool looksLikeHeader(const CsvRecord& record, const StatementOptions& o) {
    QStringList names;
    for (const QString& f : record.fields) {
        names << csvFolded(f);
    }
    if (!hasColumn(names, o.dateColumn, "date")) {
        return false;
    }
    if (!o.amountColumn.isEmpty()) {
        return hasColumn(names, o.amountColumn, "amount");
    }
    if (!o.debitColumn.isEmpty() || !o.creditColumn.isEmpty()) {
        return (o.debitColumn.isEmpty() || hasColumn(names, o.debitColumn, "debit")) &&
               (o.creditColumn.isEmpty() || hasColumn(names, o.creditColumn, "credit"));
    }
    return findColumn(names, "amount") >= 0 || findColumn(names, "debit") >= 0 ||
           findColumn(names, "credit") >= 0;
}

bool isBlank(const CsvRecord& r) {
    for (const QString& f : r.fields) {
        if (!f.isEmpty()) {
            return false;
        }
    }
    return true;
}

// A header sits among the first lines; a bank's block before it is short.
constexpr int headerLines = 100;

// The header by the options' line or by its names; -1 when there is none.
qsizetype headerOf(const QVector<CsvRecord>& records, const StatementOptions& o) {
    for (qsizetype r = 0; r < records.size(); ++r) {
        if (o.headerLine > 0 ? records[r].line == o.headerLine
                             : records[r].line <= headerLines && looksLikeHeader(records[r], o)) {
            return r;
        }
        if (records[r].line > std::max(o.headerLine, headerLines)) {
            break;
        }
    }
    return -1;
}

}  // namespace

QString csvFolded(const QString& s) {
    return s.trimmed().remove(QChar(0xFEFF)).toCaseFolded();
}

QVector<CsvRecord> parseCsvRecords(const QByteArray& utf8, char separator, int maxLines) {
    csv_parser parser;
    // Strict: a quoted field that never ends is an error, at the end of the
    // file too, rather than a field that takes in the lines after it.
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) {
        throw AppError(QStringLiteral("не хватает памяти"));
    }
    csv_set_delim(&parser, static_cast<unsigned char>(separator));
    Collect collect;
    // Fed a line at a time, so that each record knows the line it starts on.
    const char* data = utf8.constData();
    const qsizetype size = utf8.size();
    qsizetype from = 0;
    int line = 1;
    int error = CSV_SUCCESS;
    bool quoted = false;  // the error came inside a quoted field
    while (from < size && error == CSV_SUCCESS && (maxLines <= 0 || line <= maxLines)) {
        qsizetype to = utf8.indexOf('\n', from);
        to = to < 0 ? size : to + 1;
        if (parser.pstate == 0) {  // between records
            collect.startLine = line;
        }
        const size_t length = size_t(to - from);
        if (csv_parse(&parser, data + from, length, onField, onRecord, &collect) != length) {
            error = csv_error(&parser);
            quoted = parser.quoted;
        }
        from = to;
        ++line;
    }
    if (from < size && error == CSV_SUCCESS) {
        // Cut short on purpose: a record still open is not a whole one.
        csv_free(&parser);
        return collect.records;
    }
    if (error == CSV_SUCCESS && csv_fini(&parser, onField, onRecord, &collect) != 0) {
        error = csv_error(&parser);
        quoted = true;
    }
    csv_free(&parser);
    if (error != CSV_SUCCESS) {
        if (maxLines > 0) {
            return collect.records;
        }
        throw AppError(QStringLiteral("строка %1: %2")
                           .arg(collect.startLine)
                           .arg(error == CSV_ENOMEM ? QStringLiteral("не хватает памяти")
                                : error == CSV_ETOOBIG ? QStringLiteral("слишком длинное поле")
                                : quoted ? QStringLiteral("кавычки поля не закрыты")
                                         : QStringLiteral("кавычка внутри поля без кавычек")));
    }
    return collect.records;
}

CsvTable locateCsvTable(const QByteArray& utf8, const StatementOptions& options, int maxLines) {
    CsvTable t;
    if (!options.separator.isNull()) {
        const QChar sep = options.separator;
        if (sep.unicode() >= 0x80 || sep == QLatin1Char('"') || sep == QLatin1Char('\n') ||
            sep == QLatin1Char('\r')) {
            throw AppError(QStringLiteral("разделитель полей \"%1\" не годится").arg(sep));
        }
        t.separator = char(sep.unicode());
    } else {
        // Each separator on the first lines: the one with which a header turns
        // up, and the widest header of those.
        t.separator = 0;
        qsizetype widest = 0;
        for (char sep : {';', ',', '\t'}) {
            const QVector<CsvRecord> head = parseCsvRecords(utf8, sep, headerLines);
            const qsizetype h = headerOf(head, options);
            if (h >= 0 && head[h].fields.size() > widest) {
                widest = head[h].fields.size();
                t.separator = sep;
            }
        }
        if (t.separator == 0) {
            t.separator = detectSeparator(utf8);
        }
    }
    t.records = parseCsvRecords(utf8, t.separator, maxLines);
    t.header = headerOf(t.records, options);
    if (t.header < 0 && options.headerLine > 0) {
        throw AppError(QStringLiteral("в строке %1 нет заголовка: она внутри другой записи или "
                                      "за концом файла")
                           .arg(options.headerLine));
    }
    if (t.header < 0) {
        for (qsizetype r = 0; r < t.records.size() && t.header < 0; ++r) {
            t.header = isBlank(t.records[r]) ? -1 : r;
        }
    }
    if (t.header >= 0) {
        for (const QString& name : std::as_const(t.records[t.header].fields)) {
            t.names << csvFolded(name);
        }
    }
    return t;
}

CsvColumns csvColumns(const QStringList& names, const StatementOptions& o) {
    auto column = [&](const QString& given, const char* option, const char* role) {
        return given.isEmpty() ? findColumn(names, role)
                               : namedColumn(names, given, QString::fromLatin1(option));
    };
    CsvColumns c;
    c.date = column(o.dateColumn, "--date-column", "date");
    // Debit and credit that the options name stand for the amount.
    const bool split =
        o.amountColumn.isEmpty() && (!o.debitColumn.isEmpty() || !o.creditColumn.isEmpty());
    c.amount = split ? -1 : column(o.amountColumn, "--amount-column", "amount");
    c.debit = c.amount < 0 ? column(o.debitColumn, "--debit-column", "debit") : -1;
    c.credit = c.amount < 0 ? column(o.creditColumn, "--credit-column", "credit") : -1;
    c.description = column(o.descriptionColumn, "--description-column", "description");
    c.category = column(o.categoryColumn, "--category-column", "category");
    c.status = column(o.statusColumn, "--status-column", "status");
    c.payee = column(o.payeeColumn, "--payee-column", "payee");
    c.currency = column(o.currencyColumn, "--currency-column", "currency");
    c.kind = findColumn(names, "kind");
    c.account = findColumn(names, "account");
    c.account2 = findColumn(names, "account2");
    c.amount2 = findColumn(names, "amount2");
    c.currency2 = findColumn(names, "currency2");
    return c;
}

namespace {

QString whereOf(const CsvRecord& rec) {
    return QStringLiteral("строка ") + QString::number(rec.line);
}

QString fieldOf(const CsvRecord& rec, int c) {
    return c >= 0 && c < rec.fields.size() ? rec.fields[c] : QString();
}

// Raises when the header names no date column or no amount.
void requireDateAndAmount(const CsvColumns& col, const CsvRecord& header) {
    if (col.date < 0) {
        throw AppError(QStringLiteral("строка %1: нет столбца даты (\"Дата операции\", \"Дата "
                                      "платежа\", \"Date\"); укажите его с --date-column")
                           .arg(header.line));
    }
    if (col.amount < 0 && col.debit < 0 && col.credit < 0) {
        throw AppError(QStringLiteral("строка %1: нет столбца суммы (\"Сумма операции\", \"Сумма "
                                      "платежа\", \"Amount\" или столбцов расхода и прихода); "
                                      "укажите его с --amount-column")
                           .arg(header.line));
    }
}

// The decimal mark the options give, else the one all the amounts of the
// file agree on.
QChar decimalMarkOfRecords(const CsvTable& table, const CsvColumns& col, QChar given) {
    if (!given.isNull()) {
        return given;
    }
    QVector<AmountText> amounts;
    for (qsizetype r = table.header + 1; r < table.records.size(); ++r) {
        const CsvRecord& rec = table.records[r];
        for (int c : {col.amount, col.debit, col.credit, col.amount2}) {
            if (!fieldOf(rec, c).isEmpty()) {
                amounts.push_back({whereOf(rec), fieldOf(rec, c)});
            }
        }
    }
    return decimalMarkOf(amounts);
}

// The signed amount of a record, from its amount column or from money out
// and money in; nullopt with the reason when it does not read.
std::optional<Money> amountOfRecord(const CsvRecord& rec, const CsvColumns& col, QChar decimal,
                                    QString& reason) {
    if (col.amount >= 0) {
        const auto value = parseStatementAmount(fieldOf(rec, col.amount), decimal);
        if (!value) {
            reason = QStringLiteral("неверная сумма \"%1\"").arg(fieldOf(rec, col.amount));
        }
        return value;
    }
    const QString out = fieldOf(rec, col.debit);
    const QString in = fieldOf(rec, col.credit);
    const auto outValue = parseStatementAmount(out, decimal);
    const auto inValue = parseStatementAmount(in, decimal);
    if ((!out.isEmpty() && !outValue) || (!in.isEmpty() && !inValue)) {
        reason = QStringLiteral("неверная сумма \"%1\"").arg(outValue ? in : out);
        return std::nullopt;
    }
    return magnitude(inValue) - magnitude(outValue);
}

// A transfer of the books: the line of its first account and the line of the
// second one, in that account's currency; false when the second is missing.
bool takeTransfer(const CsvRecord& rec, const CsvColumns& col, QChar decimal, StatementLine line,
                  Statement& st) {
    StatementLine other = line;
    other.account = textField(fieldOf(rec, col.account2));
    other.currency = fieldOf(rec, col.currency2);
    other.transferAccount = line.account;
    other.payee.clear();
    other.category.clear();
    const auto value2 = parseStatementAmount(fieldOf(rec, col.amount2), decimal);
    if (!value2 || value2->isZero() || other.account.isEmpty()) {
        return false;
    }
    other.amount = magnitude(value2);
    line.transferAccount = other.account;
    line.payee.clear();
    line.category.clear();
    line.pairedWith = int(st.lines.size()) + 1;
    other.pairedWith = int(st.lines.size());
    st.lines.push_back(std::move(line));
    st.lines.push_back(std::move(other));
    return true;
}

// One record after the header: a line, a refused line, or a payment skipped
// by its status.
void takeCsvRecord(const CsvRecord& rec, const CsvColumns& col, QChar decimal,
                   const StatementOptions& options, Statement& st) {
    if (isBlank(rec)) {
        return;
    }
    auto refuse = [&](const QString& reason) { st.refused.push_back({whereOf(rec), reason, {}}); };
    if (col.status >= 0) {
        const Status status = statusOf(fieldOf(rec, col.status));
        if (status != Status::Done) {
            ++(status == Status::Failed ? st.failed : st.pending);
            return;
        }
    }
    StatementLine line;
    line.where = whereOf(rec);
    line.date = parseStatementDate(fieldOf(rec, col.date), options.dateFormat);
    if (!line.date.isValid()) {
        refuse(QStringLiteral("неверная дата \"%1\"").arg(fieldOf(rec, col.date)));
        return;
    }
    QString reason;
    const std::optional<Money> value = amountOfRecord(rec, col, decimal, reason);
    if (!value) {
        refuse(reason);
        return;
    }
    if (value->isZero()) {
        refuse(QStringLiteral("нет суммы"));
        return;
    }
    // A row of the books names its kind; its amount has no sign.
    const int rowKind = col.kind >= 0 ? kindNamed(fieldOf(rec, col.kind)) : 0;
    if (col.kind >= 0 && rowKind == 0) {
        refuse(QStringLiteral("неизвестный вид документа \"%1\"").arg(fieldOf(rec, col.kind)));
        return;
    }
    line.amount = rowKind == 2 ? magnitude(value) : rowKind != 0 ? -magnitude(value) : *value;
    line.description = textField(fieldOf(rec, col.description));
    line.memo = line.description;
    line.payee = col.payee >= 0 ? textField(fieldOf(rec, col.payee)) : line.description;
    line.category = textField(fieldOf(rec, col.category));
    line.currency = fieldOf(rec, col.currency);
    line.account = textField(fieldOf(rec, col.account));
    if (rowKind != 3) {
        st.lines.push_back(std::move(line));
    } else if (!takeTransfer(rec, col, decimal, std::move(line), st)) {
        refuse(QStringLiteral("перенос без второго счета и суммы на нем"));
    }
}

}  // namespace

Statement CsvReader::parse(const QByteArray& bytes) const {
    const QByteArray utf8 = statementTextUtf8(bytes, m_options.encoding);
    const CsvTable table = locateCsvTable(utf8, m_options);
    if (table.header < 0) {
        throw AppError(QStringLiteral("файл пуст"));
    }
    const CsvColumns col = csvColumns(table.names, m_options);
    requireDateAndAmount(col, table.records[table.header]);
    const QChar decimal = decimalMarkOfRecords(table, col, m_options.decimal);
    Statement st;
    st.lines.reserve(table.records.size() - table.header);
    for (qsizetype r = table.header + 1; r < table.records.size(); ++r) {
        takeCsvRecord(table.records[r], col, decimal, m_options, st);
    }
    return st;
}

#include "BankProfiles.h"

#include "AppError.h"
#include "CsvReader.h"
#include "Db.h"
#include "ExchangeText.h"
#include "ImportTables.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

ImportProfile builtIn(const QString& name, const StatementOptions& options,
                      const QStringList& signature) {
    return {name, options, signature, true};
}

// The first lines of a file, where its header is; cut after a line's end.
QByteArray headOf(const QByteArray& bytes) {
    qsizetype at = 0;
    for (int line = 0; line < 100 && at >= 0; ++line) {
        at = bytes.indexOf('\n', at);
        at = at < 0 ? -1 : at + 1;
    }
    return at < 0 ? bytes : bytes.left(at);
}

QString settingsOf(const ImportProfile& p) {
    const StatementOptions& o = p.options;
    QJsonObject columns;
    for (const ColumnRole& role : columnRoles()) {
        if (!(o.*role.column).isEmpty()) {
            columns.insert(QLatin1String(role.key), o.*role.column);
        }
    }
    QJsonObject s;
    s.insert(QStringLiteral("columns"), columns);
    s.insert(QStringLiteral("signature"), QJsonArray::fromStringList(p.signature));
    auto text = [&](const char* key, const QString& value) {
        if (!value.isEmpty()) {
            s.insert(QLatin1String(key), value);
        }
    };
    text("dateFormat", o.dateFormat);
    text("encoding", o.encoding);
    text("decimal", o.decimal.isNull() ? QString() : QString(o.decimal));
    text("separator", o.separator.isNull() ? QString() : QString(o.separator));
    if (o.headerLine > 0) {
        s.insert(QStringLiteral("headerLine"), o.headerLine);
    }
    return QString::fromUtf8(QJsonDocument(s).toJson(QJsonDocument::Compact));
}

// A saved profile as its settings give it. The file may come from anyone:
// what is not of the expected type is left out, never trusted.
ImportProfile profileOf(const QString& name, const QString& settings) {
    ImportProfile p;
    p.name = name;
    const QJsonObject s = QJsonDocument::fromJson(settings.toUtf8()).object();
    const QJsonObject columns = s.value(QStringLiteral("columns")).toObject();
    for (const ColumnRole& role : columnRoles()) {
        p.options.*role.column = columns.value(QLatin1String(role.key)).toString();
    }
    for (const QJsonValue& v : s.value(QStringLiteral("signature")).toArray()) {
        if (v.isString() && !v.toString().trimmed().isEmpty()) {
            p.signature << v.toString();
        }
    }
    auto mark = [&](const char* key, const QString& allowed) {
        const QString v = s.value(QLatin1String(key)).toString();
        return v.size() == 1 && allowed.contains(v[0]) ? v[0] : QChar();
    };
    p.options.dateFormat = s.value(QStringLiteral("dateFormat")).toString();
    p.options.encoding = s.value(QStringLiteral("encoding")).toString();
    p.options.decimal = mark("decimal", QStringLiteral(",."));
    p.options.separator = mark("separator", QStringLiteral(";,\t|"));
    p.options.headerLine = std::clamp(s.value(QStringLiteral("headerLine")).toInt(), 0, 100);
    return p;
}

bool isBuiltInName(const QString& name) {
    for (const ImportProfile& p : builtInProfiles()) {
        if (csvFolded(p.name) == csvFolded(name)) {
            return true;
        }
    }
    return false;
}

// Candidate forms of a date, the usual here first: the first that reads every
// date of a file is the file's.
const QStringList& dateFormats() {
    static const QStringList formats = {
        QStringLiteral("dd.MM.yyyy"),
        QStringLiteral("dd.MM.yyyy HH:mm"),
        QStringLiteral("dd.MM.yyyy HH:mm:ss"),
        QStringLiteral("dd.MM.yy"),
        QStringLiteral("dd.MM.yy HH:mm"),
        QStringLiteral("dd.MM.yy HH:mm:ss"),
        QStringLiteral("d.M.yyyy"),
        QStringLiteral("d.M.yyyy H:mm"),
        QStringLiteral("d.M.yyyy H:mm:ss"),
        QStringLiteral("d.M.yy"),
        QStringLiteral("yyyy-MM-dd"),
        QStringLiteral("yyyy-MM-dd HH:mm"),
        QStringLiteral("yyyy-MM-dd HH:mm:ss"),
        QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"),
        QStringLiteral("dd/MM/yyyy"),
        QStringLiteral("MM/dd/yyyy"),
        QStringLiteral("dd/MM/yy"),
        QStringLiteral("MM/dd/yy"),
        QStringLiteral("dd-MM-yyyy"),
        QStringLiteral("yyyy.MM.dd"),
        QStringLiteral("d MMMM yyyy"),
        QStringLiteral("d MMM yyyy"),
    };
    return formats;
}

}  // namespace

const QVector<ImportProfile>& builtInProfiles() {
    static const QVector<ImportProfile> profiles = [] {
        QVector<ImportProfile> out;
        // The card statement: Windows-1251, every field quoted, the payment's
        // moment to the second; the merchant is the description.
        StatementOptions t;
        t.separator = QLatin1Char(';');
        t.decimal = QLatin1Char(',');
        t.dateColumn = QStringLiteral("Дата операции");
        t.dateFormat = QStringLiteral("dd.MM.yyyy HH:mm:ss");
        t.amountColumn = QStringLiteral("Сумма платежа");
        t.currencyColumn = QStringLiteral("Валюта платежа");
        t.statusColumn = QStringLiteral("Статус");
        t.categoryColumn = QStringLiteral("Категория");
        t.descriptionColumn = QStringLiteral("Описание");
        t.payeeColumn = QStringLiteral("Описание");
        out << builtIn(
            QStringLiteral("Т-Банк"), t,
            {QStringLiteral("Дата операции"), QStringLiteral("Дата платежа"),
             QStringLiteral("Номер карты"), QStringLiteral("Статус"),
             QStringLiteral("Сумма платежа"), QStringLiteral("Валюта платежа"),
             QStringLiteral("Категория"), QStringLiteral("MCC"), QStringLiteral("Описание")});
        // Money in and money out in two columns, two-digit years, "RUR".
        StatementOptions a;
        a.separator = QLatin1Char(';');
        a.decimal = QLatin1Char(',');
        a.dateColumn = QStringLiteral("Дата операции");
        a.dateFormat = QStringLiteral("dd.MM.yy");
        a.creditColumn = QStringLiteral("Приход");
        a.debitColumn = QStringLiteral("Расход");
        a.currencyColumn = QStringLiteral("Валюта");
        a.descriptionColumn = QStringLiteral("Описание операции");
        a.statusColumn = QStringLiteral("Статус");
        out << builtIn(QStringLiteral("Альфа-Банк"), a,
                       {QStringLiteral("Дата операции"), QStringLiteral("Референс проводки"),
                        QStringLiteral("Описание операции"), QStringLiteral("Приход"),
                        QStringLiteral("Расход")});
        // A block on the holder, the account and the period before the table;
        // amounts grouped by spaces.
        StatementOptions v;
        v.separator = QLatin1Char(';');
        v.decimal = QLatin1Char(',');
        v.dateColumn = QStringLiteral("Дата операции");
        v.dateFormat = QStringLiteral("dd.MM.yyyy HH:mm");
        v.amountColumn = QStringLiteral("Сумма операции");
        v.currencyColumn = QStringLiteral("Валюта операции");
        v.statusColumn = QStringLiteral("Статус");
        v.descriptionColumn = QStringLiteral("Описание");
        out << builtIn(QStringLiteral("ВТБ"), v,
                       {QStringLiteral("Дата операции"), QStringLiteral("Дата обработки"),
                        QStringLiteral("Сумма операции"), QStringLiteral("Валюта операции"),
                        QStringLiteral("Статус"), QStringLiteral("Описание")});
        return out;
    }();
    return profiles;
}

QVector<ImportProfile> importProfiles(DbConnection& c) {
    QVector<ImportProfile> out = builtInProfiles();
    if (!hasTableNamed(c, QStringLiteral("ImportProfile"))) {
        return out;
    }
    DbQuery q(c, QStringLiteral("qrImportProfile"));
    q.setSql(QStringLiteral("select Caption, Settings from ImportProfile order by Caption"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        out << profileOf(q.field(QStringLiteral("Caption")).asString(),
                         q.field(QStringLiteral("Settings")).asString());
    }
    return out;
}

void saveImportProfile(DbConnection& c, const ImportProfile& given) {
    ImportProfile p = given;
    p.name = p.name.trimmed();
    if (p.name.isEmpty()) {
        throw AppError(QStringLiteral("у профиля выписки нет названия"));
    }
    if (isBuiltInName(p.name)) {
        throw AppError(QStringLiteral("\"%1\" - профиль, встроенный в программу; сохраните свой "
                                      "под другим названием")
                           .arg(p.name));
    }
    if (p.signature.isEmpty()) {
        // The columns the mapping names by their header tell its files.
        for (const ColumnRole& role : columnRoles()) {
            const QString name = (p.options.*role.column).trimmed();
            bool number = false;
            name.toInt(&number);
            if (!name.isEmpty() && !number && !p.signature.contains(name)) {
                p.signature << name;
            }
        }
    }
    std::optional<Transaction> tr;
    if (!c.inTransaction()) {
        tr.emplace(c);
    }
    ensureImportTables(c);
    DbQuery q(c, QStringLiteral("cmdImportProfile"));
    q.addSql(QStringLiteral("insert into ImportProfile(Caption, Settings)"));
    q.addSql(QStringLiteral("values(:Caption, :Settings)"));
    q.addSql(QStringLiteral("on conflict(Caption) do update set Settings = excluded.Settings"));
    q.bindString(QStringLiteral("Caption"), p.name);
    q.bindString(QStringLiteral("Settings"), settingsOf(p));
    q.execute();
    if (tr) {
        tr->commit();
    }
}

void deleteImportProfile(DbConnection& c, const QString& name) {
    if (isBuiltInName(name)) {
        throw AppError(
            QStringLiteral("\"%1\" - профиль, встроенный в программу; его не удалить").arg(name));
    }
    if (!hasTableNamed(c, QStringLiteral("ImportProfile"))) {
        return;
    }
    DbQuery q(c, QStringLiteral("cmdImportProfile"));
    q.setSql(QStringLiteral("delete from ImportProfile where Caption = :Caption"));
    q.bindString(QStringLiteral("Caption"), name);
    q.execute();
}

std::optional<ImportProfile> profileForFile(const QVector<ImportProfile>& profiles,
                                            const QByteArray& bytes) {
    const QByteArray head = headOf(bytes);
    QHash<QString, std::optional<QByteArray>> texts;  // the head by encoding
    const ImportProfile* best = nullptr;
    for (const ImportProfile& p : profiles) {
        // Of two with as long a signature, the later wins: the family's own
        // mapping over the built-in one.
        if (p.signature.isEmpty() || (best && p.signature.size() < best->signature.size())) {
            continue;
        }
        const QString encoding = p.options.encoding.toLower();
        if (!texts.contains(encoding)) {
            try {
                texts.insert(encoding, statementTextUtf8(head, p.options.encoding));
            } catch (const AppError&) {
                texts.insert(encoding, std::nullopt);
            }
        }
        const std::optional<QByteArray>& text = texts[encoding];
        if (!text) {
            continue;
        }
        CsvTable table;
        try {
            table = locateCsvTable(*text, p.options, 100);
        } catch (const AppError&) {
            continue;
        }
        bool all = table.header >= 0;
        for (qsizetype i = 0; all && i < p.signature.size(); ++i) {
            all = table.names.contains(csvFolded(p.signature[i]));
        }
        best = all ? &p : best;
    }
    return best ? std::optional<ImportProfile>(*best) : std::nullopt;
}

StatementOptions overlaidOptions(const StatementOptions& profile, const StatementOptions& given) {
    StatementOptions o = profile;
    // An amount given explicitly replaces a profile's debit and credit, and
    // they replace its amount.
    if (!given.amountColumn.isEmpty()) {
        o.debitColumn.clear();
        o.creditColumn.clear();
    }
    if (!given.debitColumn.isEmpty() || !given.creditColumn.isEmpty()) {
        o.amountColumn.clear();
    }
    for (const ColumnRole& role : columnRoles()) {
        if (!(given.*role.column).isEmpty()) {
            o.*role.column = given.*role.column;
        }
    }
    o.dateFormat = given.dateFormat.isEmpty() ? o.dateFormat : given.dateFormat;
    o.encoding = given.encoding.isEmpty() ? o.encoding : given.encoding;
    o.decimal = given.decimal.isNull() ? o.decimal : given.decimal;
    o.separator = given.separator.isNull() ? o.separator : given.separator;
    o.headerLine = given.headerLine > 0 ? given.headerLine : o.headerLine;
    return o;
}

CsvLayout csvLayoutOf(const QByteArray& bytes, const StatementOptions& options) {
    CsvLayout l;
    l.encoding = options.encoding.isEmpty() ? statementEncoding(bytes) : options.encoding;
    const QByteArray utf8 = statementTextUtf8(bytes, options.encoding);
    const CsvTable table = locateCsvTable(utf8, options);
    l.separator = QLatin1Char(table.separator);
    if (table.header < 0) {
        return l;
    }
    const QVector<CsvRecord>& records = table.records;
    l.headerLine = records[table.header].line;
    l.header = records[table.header].fields;
    CsvColumns col;
    try {
        col = csvColumns(table.names, options);
    } catch (const AppError&) {
        // A column the options name is not in this header: show the usual ones.
        col = csvColumns(table.names, {});
    }
    const int found[] = {col.date,     col.amount, col.debit, col.credit,  col.description,
                         col.category, col.status, col.payee, col.currency};
    for (qsizetype i = 0; i < columnRoles().size(); ++i) {
        if (found[i] >= 0) {
            l.columns.insert(QLatin1String(columnRoles()[i].key), found[i]);
        }
    }

    QStringList dates;
    QVector<AmountText> amounts;
    bool marked = false;  // some amount has a mark
    for (qsizetype r = table.header + 1; r < records.size(); ++r) {
        const QStringList& f = records[r].fields;
        if (f.join(QString()).trimmed().isEmpty()) {
            continue;
        }
        if (l.rows.size() < 20) {
            l.rows << f;
        }
        if (col.date >= 0 && col.date < f.size() && !f[col.date].isEmpty()) {
            dates << f[col.date];
        }
        for (int c : {col.amount, col.debit, col.credit}) {
            if (c >= 0 && c < f.size() && !f[c].isEmpty()) {
                amounts.push_back({QString::number(records[r].line), f[c]});
                marked =
                    marked || f[c].contains(QLatin1Char(',')) || f[c].contains(QLatin1Char('.'));
            }
        }
    }
    l.decimal = options.decimal;
    if (l.decimal.isNull() && marked) {
        try {
            l.decimal = decimalMarkOf(amounts);
        } catch (const AppError&) {
            // The amounts do not tell: the user says.
        }
    }
    l.dateFormat = options.dateFormat;
    for (qsizetype i = 0; l.dateFormat.isEmpty() && !dates.isEmpty() && i < dateFormats().size();
         ++i) {
        bool all = true;
        for (qsizetype d = 0; all && d < dates.size(); ++d) {
            all = parseStatementDate(dates[d], dateFormats()[i]).isValid();
        }
        l.dateFormat = all ? dateFormats()[i] : QString();
    }
    return l;
}

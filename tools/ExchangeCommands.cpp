#include "ExchangeCommands.h"

#include "BankProfiles.h"
#include "BooksWriter.h"
#include "CsvReader.h"
#include "Db.h"
#include "ExchangeText.h"
#include "ImportPlan.h"
#include "Importer.h"
#include "Statement.h"
#include "ToolOptions.h"
#include "ToolOutput.h"

#include <QFileInfo>
#include <QTextStream>

namespace {

const QList<std::pair<QString, QString>>& usages() {
    static const QList<std::pair<QString, QString>> list = {
        {QStringLiteral("accounts"),
         QStringLiteral("  dorsanti-db accounts ФАЙЛ|URI\n"
                        "      Показывает счета: номер, название, валюту и остаток.\n")},
        {QStringLiteral("import"),
         QStringLiteral(
             "  dorsanti-db import ФАЙЛ|URI ВЫПИСКА [параметры]\n"
             "      Создает из банковской выписки (CSV, OFX/QFX, QIF) новые документы,\n"
             "      не проводя их. Платежи, импортированные раньше, пропускаются.\n"
             "      Строка, которую не прочитать, отменяет весь импорт.\n"
             "      --account НОМЕР|НАЗВАНИЕ  счет выписки; без него каждая строка идет\n"
             "                                на счет, который называет ее раздел\n"
             "      --format csv|ofx|qif      формат, если его не узнать по содержимому\n"
             "      --ofx-account ACCTID      какой банковский счет взять из файла OFX\n"
             "      --encoding КОДИРОВКА      кодировка файла: utf-8, windows-1251, ...\n"
             "      --dry-run                 только показать, что будет импортировано\n"
             "      --skip-bad                пропустить строки, которые не прочитать\n"
             "      --profile НАЗВАНИЕ        профиль банка для CSV (\"Т-Банк\", \"Альфа-Банк\",\n"
             "                                \"ВТБ\" или сохраненный в файле); без него\n"
             "                                профиль выбирается по заголовку выписки\n"
             "      --date-column СТОЛБЕЦ     столбец даты: заголовок или номер (CSV)\n"
             "      --amount-column СТОЛБЕЦ   столбец суммы: заголовок или номер (CSV)\n"
             "      --debit-column, --credit-column СТОЛБЕЦ\n"
             "                                столбцы расхода и прихода вместо суммы\n"
             "      --description-column, --payee-column, --category-column,\n"
             "      --status-column, --currency-column СТОЛБЕЦ\n"
             "                                столбцы описания, получателя, категории,\n"
             "                                статуса и валюты; столбец, указанный так,\n"
             "                                важнее столбца профиля\n"
             "      --date-format ФОРМАТ      вид даты, например dd/MM/yyyy или dd.MM.yy (CSV)\n"
             "      --separator ;|,|tab       разделитель полей (CSV)\n"
             "      --decimal ,|.             десятичный разделитель сумм (CSV, QIF)\n"
             "      --no-categories           не подбирать категории по правилам, по прежним\n"
             "                                документам и по категориям банка\n"
             "      --new-contragents ТИП     получатель, которого нет среди контрагентов,\n"
             "                                становится новым контрагентом этого типа\n"
             "      --apply                   сразу провести созданные документы\n")},
        {QStringLiteral("export"),
         QStringLiteral(
             "  dorsanti-db export ФАЙЛ|URI КУДА [параметры]\n"
             "      Выгружает проведенные документы в CSV или QIF. Существующий файл\n"
             "      заменяется только с --overwrite.\n"
             "      --format csv|qif          формат; без него - по расширению файла\n"
             "      --from ДАТА, --to ДАТА    только документы этих дней, с первого\n"
             "                                по последний (31.12.2025 или 2025-12-31)\n"
             "      --account НОМЕР|НАЗВАНИЕ  только документы этого счета\n"
             "      --all                     и новые, не проведенные документы\n"
             "      --overwrite               заменить существующий файл\n")},
    };
    return list;
}

// Opens the database file; the engine's reason is said after the file's name,
// as "check" says it.
void openBooks(DbConnection& c, const QString& path) {
    try {
        c.open(path);
    } catch (const AppError& e) {
        throw AppError(QStringLiteral("не удалось открыть %1: %2").arg(path, e.text()));
    }
}

QString amountText(Money m) {
    return m.toString(2);
}

int accounts(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args.mid(1), {}, {}, o, {noDatabaseFile()}) || o.help) {
        return showUsage(exchangeUsage(args[0]), o.problem);
    }
    DbConnection c;
    openBooks(c, o.positional[0]);
    DbQuery q(c, QStringLiteral("qrAccounts"));
    q.addSql(QStringLiteral("select ha.IdHeadAccount, ha.Caption, v.Caption as Valuta, ha.Saldo"));
    q.addSql(QStringLiteral("from HeadAccount ha left join Valuta v on v.IdValuta = ha.IdValuta"));
    q.addSql(QStringLiteral("order by ha.IdHeadAccount"));
    q.open();
    out() << QStringLiteral("%1  %2  %3  %4\n")
                 .arg(QStringLiteral("№"), 4)
                 .arg(QStringLiteral("Название"), -24)
                 .arg(QStringLiteral("Валюта"), -8)
                 .arg(QStringLiteral("Остаток"), 14);
    for (q.first(); !q.eof(); q.next()) {
        out() << QStringLiteral("%1  %2  %3  %4\n")
                     .arg(q.field(QStringLiteral("IdHeadAccount")).asInteger(), 4)
                     .arg(q.field(QStringLiteral("Caption")).asString(), -24)
                     .arg(q.field(QStringLiteral("Valuta")).asString(), -8)
                     .arg(amountText(Money::fromVariant(q.field(QStringLiteral("Saldo")).value())),
                          14);
    }
    return 0;
}

// One document a dry run would make: its date, kind, amount and note, and
// where its account, category or counterparty come from the statement.
void printPlanned(const ImportedDocument& d, bool accountNamed) {
    static const QString kinds[] = {QString(), QStringLiteral("расход"), QStringLiteral("приход"),
                                    QStringLiteral("перенос")};
    out() << "Будет создан " << d.date.toString(QStringLiteral("dd.MM.yyyy")) << "  "
          << QStringLiteral("%1%2").arg(kinds[d.type], -7).arg(amountText(d.amount), 12) << "  "
          << QString(d.note).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (d.type == 3) {
        out() << "  [" << d.account << " -> " << d.account2 << " " << amountText(d.amount2) << "]";
    } else if (accountNamed) {
        out() << "  [счет " << d.account << "]";
    }
    if (!d.category.isEmpty()) {
        out() << "  [категория " << d.category << "]";
    }
    if (!d.contrAgent.isEmpty()) {
        out() << (d.idContrAgent > 0 ? "  [контрагент " : "  [новый контрагент ") << d.contrAgent
              << "]";
    }
    out() << "\n";
}

// A type of counterparties by its id or, failing that, its exact caption.
qint64 findTypeContrAgent(DbConnection& c, const QString& idOrCaption) {
    DbQuery q(c, QStringLiteral("qrTypeContrAgent"));
    q.setSql(
        QStringLiteral("select IdTypeContrAgent from TypeContrAgent "
                       "where cast(IdTypeContrAgent as text) = :Name or Caption = :Name "
                       "order by cast(IdTypeContrAgent as text) = :Name desc"));
    q.bindString(QStringLiteral("Name"), idOrCaption);
    q.open();
    if (q.isEmpty()) {
        throw AppError(QStringLiteral("нет типа контрагентов \"%1\"").arg(idOrCaption));
    }
    return q.field(QStringLiteral("IdTypeContrAgent")).asInteger();
}

ImportSettings importSettings(DbConnection& c, const ToolOptions& o) {
    ImportSettings settings;
    settings.suggestCategories = !o.flags.contains(QStringLiteral("--no-categories"));
    settings.apply = o.flags.contains(QStringLiteral("--apply"));
    if (o.values.contains(QStringLiteral("--new-contragents"))) {
        settings.newContrAgents = true;
        settings.idTypeContrAgent =
            findTypeContrAgent(c, o.values.value(QStringLiteral("--new-contragents")));
    }
    return settings;
}

// The column options of a CSV statement, "--date-column" and the like.
QString columnOption(const ColumnRole& role) {
    return QStringLiteral("--%1-column").arg(QLatin1String(role.key));
}

// The CSV reading options: the profile the user names, or the one whose
// columns the file's header has, under what the options give explicitly.
// Raises AppError for a profile that does not exist.
StatementOptions csvReading(DbConnection& c, const ToolOptions& o, const StatementOptions& given,
                            const QByteArray& bytes) {
    const QVector<ImportProfile> profiles = importProfiles(c);
    std::optional<ImportProfile> chosen;
    if (o.values.contains(QStringLiteral("--profile"))) {
        const QString name = o.values.value(QStringLiteral("--profile"));
        QStringList names;
        for (const ImportProfile& p : profiles) {
            chosen = csvFolded(p.name) == csvFolded(name) ? p : chosen;
            names << p.name;
        }
        if (!chosen) {
            throw AppError(QStringLiteral("нет профиля выписки \"%1\"; есть: %2")
                               .arg(name, names.join(QStringLiteral(", "))));
        }
    } else {
        chosen = profileForFile(profiles, bytes);
    }
    if (!chosen) {
        return given;
    }
    out() << "Профиль выписки: " << chosen->name << "\n";
    return overlaidOptions(chosen->options, given);
}

int import(const QStringList& args) {
    ToolOptions o;
    QStringList valued = {QStringLiteral("--account"),        QStringLiteral("--format"),
                          QStringLiteral("--ofx-account"),    QStringLiteral("--encoding"),
                          QStringLiteral("--date-format"),    QStringLiteral("--decimal"),
                          QStringLiteral("--profile"),        QStringLiteral("--separator"),
                          QStringLiteral("--new-contragents")};
    for (const ColumnRole& role : columnRoles()) {
        valued << columnOption(role);
    }
    if (!parseToolOptions(args.mid(1), valued,
                          {QStringLiteral("--dry-run"), QStringLiteral("--skip-bad"),
                           QStringLiteral("--no-categories"), QStringLiteral("--apply")},
                          o, {noDatabaseFile(), QStringLiteral("не указан файл выписки")}) ||
        o.help) {
        return showUsage(exchangeUsage(args[0]), o.problem);
    }
    const QString statementPath = o.positional[1];
    StatementOptions csv;
    csv.encoding = o.values.value(QStringLiteral("--encoding"));
    for (const ColumnRole& role : columnRoles()) {
        csv.*role.column = o.values.value(columnOption(role));
    }
    if (o.values.contains(QStringLiteral("--separator"))) {
        const QString sep = o.values.value(QStringLiteral("--separator"));
        if (sep != QLatin1String(";") && sep != QLatin1String(",") &&
            sep != QLatin1String("tab")) {
            return fail(QStringLiteral("--separator принимает \";\", \",\" или tab, а не \"%1\"")
                            .arg(sep));
        }
        csv.separator = sep == QLatin1String("tab") ? QLatin1Char('\t') : sep[0];
    }
    csv.dateFormat = o.values.value(QStringLiteral("--date-format"));
    if (o.values.contains(QStringLiteral("--decimal"))) {
        const QString d = o.values.value(QStringLiteral("--decimal"));
        if (d != QLatin1String(",") && d != QLatin1String(".")) {
            return fail(QStringLiteral("--decimal принимает \",\" или \".\", а не \"%1\"").arg(d));
        }
        csv.decimal = d[0];
    }

    // Read once: the bytes that tell the format are the bytes imported.
    const QByteArray bytes = readStatementFile(statementPath);
    StatementFormat format;
    if (o.values.contains(QStringLiteral("--format"))) {
        const auto named = statementFormatNamed(o.values.value(QStringLiteral("--format")));
        if (!named) {
            return fail(QStringLiteral("--format принимает csv, ofx или qif, а не \"%1\"")
                            .arg(o.values.value(QStringLiteral("--format"))));
        }
        format = *named;
    } else {
        format = detectStatementFormat(bytes);
    }

    DbConnection c;
    openBooks(c, o.positional[0]);
    // Without --account, each line goes to the account its section names.
    const qint64 account = o.values.contains(QStringLiteral("--account"))
                               ? findAccount(c, o.values.value(QStringLiteral("--account")))
                               : 0;
    if (format == StatementFormat::Csv) {
        csv = csvReading(c, o, csv, bytes);
    }
    Statement statement;
    try {
        statement = makeStatementReader(format, csv)->parse(bytes);
    } catch (const AppError& e) {
        return fail(QStringLiteral("%1: %2").arg(statementPath, e.text()));
    }
    ImportOptions options;
    options.dryRun = o.flags.contains(QStringLiteral("--dry-run"));
    options.skipBad = o.flags.contains(QStringLiteral("--skip-bad"));
    options.bankAccount = o.values.value(QStringLiteral("--ofx-account"));
    const ImportSettings settings = importSettings(c, o);
    const ImportResult r = importStatement(c, account, statement, options, settings);

    const bool refusedAll = !r.refused.isEmpty() && !options.skipBad;
    for (const RefusedLine& bad : r.refused) {
        (refusedAll ? err() : out()) << (refusedAll ? "Отклонено: " : "Пропущено: ") << bad.where
                                     << ", " << bad.reason << "\n";
    }
    err().flush();
    // A dry run says what the import would do.
    if (options.dryRun && !refusedAll) {
        for (const ImportedDocument& d : r.documents) {
            printPlanned(d, account == 0);
        }
    }
    if (r.failed > 0) {
        out() << (options.dryRun ? "Будет пропущено" : "Пропущено")
              << " отклоненных банком платежей: " << r.failed << "\n";
    }
    if (statement.pending > 0) {
        out() << (options.dryRun ? "Будет пропущено" : "Пропущено")
              << " незавершенных банком платежей: " << statement.pending << "\n";
    }
    const bool imports = r.written || (options.dryRun && !refusedAll);
    out() << (options.dryRun ? "Будет импортировано: " : "Импортировано: ")
          << (imports ? r.documents.size() : 0) << ", пропущено повторов: " << r.duplicates
          << ", отклонено: " << r.refused.size() << "\n";
    if (refusedAll) {
        return fail(
            QStringLiteral("%1 (отклонено: %2); с --skip-bad будут импортированы остальные")
                .arg(options.dryRun ? QStringLiteral("импорт не пройдет")
                                    : QStringLiteral("ничего не импортировано"))
                .arg(r.refused.size()));
    }
    return 0;
}

QDate dateOption(const ToolOptions& o, const QString& name, bool& ok) {
    if (!o.values.contains(name)) {
        return {};
    }
    const QDate d = parseStatementDate(o.values.value(name));
    ok = ok && d.isValid();
    return d;
}

int exportBooksCommand(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args.mid(1),
                          {QStringLiteral("--format"), QStringLiteral("--from"),
                           QStringLiteral("--to"), QStringLiteral("--account")},
                          {QStringLiteral("--all"), QStringLiteral("--overwrite")}, o,
                          {noDatabaseFile(), QStringLiteral("не указан файл для выгрузки")}) ||
        o.help) {
        return showUsage(exchangeUsage(args[0]), o.problem);
    }
    const QString path = o.positional[1];
    const QString formatName = o.values.value(
        QStringLiteral("--format"), QFileInfo(path).suffix().toLower() == QLatin1String("qif")
                                        ? QStringLiteral("qif")
                                        : QStringLiteral("csv"));
    const auto format = booksFormatNamed(formatName);
    if (!format) {
        return fail(QStringLiteral("--format принимает csv или qif, а не \"%1\"").arg(formatName));
    }
    ExportOptions options;
    bool ok = true;
    options.from = dateOption(o, QStringLiteral("--from"), ok);
    options.to = dateOption(o, QStringLiteral("--to"), ok);
    if (!ok) {
        return fail(QStringLiteral("даты пишутся так: 31.12.2025 или 2025-12-31"));
    }
    options.all = o.flags.contains(QStringLiteral("--all"));
    DbConnection c;
    openBooks(c, o.positional[0]);
    if (o.values.contains(QStringLiteral("--account"))) {
        options.idHeadAccount = findAccount(c, o.values.value(QStringLiteral("--account")));
    }
    const qint64 n =
        exportBooks(c, path, *format, options, o.flags.contains(QStringLiteral("--overwrite")));
    out() << "В " << path << " выгружено документов: " << n << "\n";
    return 0;
}

}  // namespace

QStringList exchangeUsage(const QString& command) {
    return usageOf(usages(), command);
}

bool isExchangeCommand(const QString& command) {
    return command == QLatin1String("accounts") || command == QLatin1String("import") ||
           command == QLatin1String("export");
}

int runExchangeCommand(const QStringList& args) {
    try {
        if (args[0] == QLatin1String("accounts")) {
            return accounts(args);
        }
        if (args[0] == QLatin1String("import")) {
            return import(args);
        }
        return exportBooksCommand(args);
    } catch (const AppError& e) {
        return fail(e.text());
    }
}

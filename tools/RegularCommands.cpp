#include "RegularCommands.h"

#include "Db.h"
#include "ExchangeText.h"
#include "RegularDocuments.h"
#include "ToolOptions.h"
#include "ToolOutput.h"

namespace {

const QString kRegularUsage = QStringLiteral(
    "  dorsanti-db regular list ФАЙЛ|URI\n"
    "      Печатает регулярные документы: номер, вид, счет, сумму, правило, начало.\n"
    "  dorsanti-db regular add ФАЙЛ|URI --kind expense|income --account НОМЕР\n"
    "                      --amount СУММА --rule RRULE --start ДАТА [--category НОМЕР]\n"
    "                      [--counterparty НОМЕР] [--note ТЕКСТ] [--apply]\n"
    "      Добавляет регулярный расход или доход; печатает его номер.\n"
    "      --rule RRULE              правило повторения RFC 5545, например\n"
    "                                FREQ=MONTHLY;BYMONTHDAY=5 (каждое 5-е число),\n"
    "                                FREQ=MONTHLY;BYMONTHDAY=-1 (последний день),\n"
    "                                FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1\n"
    "                                (последний рабочий день),\n"
    "                                FREQ=WEEKLY;INTERVAL=2;COUNT=10 (каждые две\n"
    "                                недели, 10 раз), FREQ=YEARLY;UNTIL=20301231\n"
    "                                (раз в год до 31.12.2030)\n"
    "      --start ДАТА              с какого дня считать (31.12.2025 или 2025-12-31)\n"
    "      --apply                   проводить документы сразу, как они созданы\n"
    "  dorsanti-db regular remove ФАЙЛ|URI НОМЕР\n"
    "      Удаляет регулярный документ; созданные по нему документы остаются.\n");

const QString kDueUsage = QStringLiteral(
    "  dorsanti-db due ФАЙЛ|URI [--dry-run] [--today ДАТА]\n"
    "      Создает новые документы на все наступившие даты регулярных документов,\n"
    "      как при входе в программу, каждую дату один раз.\n"
    "      --dry-run                 только напечатать, что было бы создано\n"
    "      --today ДАТА              считать сегодняшним этот день\n");

void openBooks(DbConnection& c, const QString& path, DbConnection::Access access) {
    try {
        c.open(path, access);
    } catch (const AppError& e) {
        throw AppError(QStringLiteral("не удалось открыть %1: %2").arg(path, e.text()));
    }
}

QDate dateOption(const ToolOptions& o, const QString& name) {
    const QString text = o.values.value(name);
    const QDate d = parseStatementDate(text);
    if (!d.isValid()) {
        throw AppError(
            QStringLiteral("даты пишутся 31.12.2025 или 2025-12-31, а не \"%1\"").arg(text));
    }
    return d;
}

qint64 numberOption(const ToolOptions& o, const QString& name) {
    if (!o.values.contains(name)) {
        return 0;
    }
    bool ok = false;
    const qint64 id = o.values.value(name).toLongLong(&ok);
    if (!ok || id <= 0) {
        throw AppError(
            QStringLiteral("%1 принимает номер, а не \"%2\"").arg(name, o.values.value(name)));
    }
    return id;
}

QString kindText(int type) {
    switch (type) {
        case 1:
            return QStringLiteral("расход");
        case 2:
            return QStringLiteral("доход");
        default:
            return QStringLiteral("перевод");
    }
}

QString amountText(Money m) {
    return m.toString(2);
}

QString line(const DueOccurrence& d) {
    return QStringLiteral("%1  %2  %3 %4  счет %5")
        .arg(d.date.toString(QStringLiteral("dd.MM.yyyy")), kindText(d.regular.type),
             amountText(d.regular.amount), d.regular.note,
             QString::number(d.regular.idHeadAccount))
        .simplified();
}

int list(const ToolOptions& o) {
    DbConnection c;
    openBooks(c, o.positional[1], DbConnection::Access::ReadOnly);
    for (const RegularTemplate& r : regularTemplates(c)) {
        out() << r.id << "\t" << kindText(r.type) << "\tсчет " << r.idHeadAccount << "\t"
              << amountText(r.amount) << "\t" << r.rule << "\tс "
              << r.start.toString(QStringLiteral("dd.MM.yyyy"))
              << (r.applyAtOnce ? QStringLiteral("\tпроводить сразу") : QString()) << "\t"
              << r.note << "\n";
    }
    return 0;
}

int add(const ToolOptions& o) {
    for (const QString& needed :
         {QStringLiteral("--kind"), QStringLiteral("--account"), QStringLiteral("--amount"),
          QStringLiteral("--rule"), QStringLiteral("--start")}) {
        if (!o.values.contains(needed)) {
            return showUsage({kRegularUsage}, QStringLiteral("не указан %1").arg(needed));
        }
    }
    RegularTemplate r;
    const QString kind = o.values.value(QStringLiteral("--kind"));
    if (kind != QLatin1String("expense") && kind != QLatin1String("income")) {
        return fail(QStringLiteral("--kind принимает expense или income, а не \"%1\"").arg(kind));
    }
    r.type = kind == QLatin1String("expense") ? 1 : 2;
    r.idHeadAccount = numberOption(o, QStringLiteral("--account"));
    const auto amount = Money::fromText(o.values.value(QStringLiteral("--amount")));
    if (!amount || *amount <= Money()) {
        return fail(QStringLiteral("--amount принимает сумму больше нуля, а не \"%1\"")
                        .arg(o.values.value(QStringLiteral("--amount"))));
    }
    r.amount = *amount;
    r.idCategory = numberOption(o, QStringLiteral("--category"));
    r.idContrAgent = numberOption(o, QStringLiteral("--counterparty"));
    r.note = o.values.value(QStringLiteral("--note"));
    r.caption = r.note;
    r.rule = o.values.value(QStringLiteral("--rule"));
    r.start = dateOption(o, QStringLiteral("--start"));
    r.applyAtOnce = o.has(QStringLiteral("--apply"));
    DbConnection c;
    openBooks(c, o.positional[1], DbConnection::Access::Program);
    out() << addRegularTemplate(c, r) << "\n";
    return 0;
}

int remove(const ToolOptions& o) {
    bool ok = false;
    const qint64 id = o.positional[2].toLongLong(&ok);
    if (!ok || id <= 0) {
        return fail(QStringLiteral("номер регулярного документа - число, а не \"%1\"")
                        .arg(o.positional[2]));
    }
    DbConnection c;
    openBooks(c, o.positional[1], DbConnection::Access::Program);
    if (!removeRegularTemplate(c, id)) {
        return fail(QStringLiteral("регулярного документа %1 нет").arg(id));
    }
    return 0;
}

int regular(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(
            args.mid(1),
            {QStringLiteral("--kind"), QStringLiteral("--account"), QStringLiteral("--amount"),
             QStringLiteral("--category"), QStringLiteral("--counterparty"),
             QStringLiteral("--note"), QStringLiteral("--rule"), QStringLiteral("--start")},
            {QStringLiteral("--apply")}, o,
            {QStringLiteral("не указано действие: list, add или remove"), noDatabaseFile()}, 1) ||
        o.help) {
        return showUsage({kRegularUsage}, o.problem);
    }
    const QString action = o.positional[0];
    const bool takesId = action == QLatin1String("remove");
    if (takesId != (o.positional.size() == 3)) {
        return showUsage(
            {kRegularUsage},
            takesId ? QStringLiteral("не указан номер")
                    : QStringLiteral("лишний аргумент \"%1\"").arg(o.positional.value(2)));
    }
    const bool adds = action == QLatin1String("add");
    if (!adds && (!o.values.isEmpty() || !o.flags.isEmpty())) {
        return showUsage({kRegularUsage},
                         QStringLiteral("у regular %1 нет параметров").arg(action));
    }
    if (action == QLatin1String("list")) {
        return list(o);
    }
    if (adds) {
        return add(o);
    }
    if (takesId) {
        return remove(o);
    }
    return showUsage({kRegularUsage}, QStringLiteral("неизвестное действие \"%1\"").arg(action));
}

int due(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args.mid(1), {QStringLiteral("--today")}, {QStringLiteral("--dry-run")},
                          o, {noDatabaseFile()}) ||
        o.help) {
        return showUsage({kDueUsage}, o.problem);
    }
    const QDate today = o.values.contains(QStringLiteral("--today"))
                            ? dateOption(o, QStringLiteral("--today"))
                            : QDate::currentDate();
    const bool dryRun = o.has(QStringLiteral("--dry-run"));
    DbConnection c;
    openBooks(c, o.positional[0],
              dryRun ? DbConnection::Access::ReadOnly : DbConnection::Access::Program);
    const QList<DueOccurrence> made =
        dryRun ? dueOccurrences(c, today) : createDueDocuments(c, today);
    for (const DueOccurrence& d : made) {
        out() << line(d) << "\n";
    }
    out() << (dryRun ? QStringLiteral("Были бы созданы регулярные документы: %1")
                     : QStringLiteral("Созданы регулярные документы: %1"))
                 .arg(made.size())
          << "\n";
    return 0;
}

}  // namespace

bool isRegularCommand(const QString& command) {
    return command == QLatin1String("regular") || command == QLatin1String("due");
}

int runRegularCommand(const QStringList& args) {
    try {
        return args[0] == QLatin1String("due") ? due(args) : regular(args);
    } catch (const AppError& e) {
        return fail(e.text());
    }
}

QStringList regularUsage(const QString& command) {
    QStringList list;
    if (command.isEmpty() || command == QLatin1String("regular")) {
        list << kRegularUsage;
    }
    if (command.isEmpty() || command == QLatin1String("due")) {
        list << kDueUsage;
    }
    return list;
}

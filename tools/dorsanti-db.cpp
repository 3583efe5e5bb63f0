// dorsanti-db: makes and looks after Dorsanti database files.
//
//   dorsanti-db create FILE|URI [--starter | --demo | --documents N]
//   dorsanti-db help [COMMAND], dorsanti-db COMMAND --help
//   dorsanti-db check | backup | restore | recover | user ...  (CareCommands.h)
//   dorsanti-db accounts | import | export ...   (ExchangeCommands.h)
//
// The file is built beside its final name and linked into place only when it
// is complete, so an existing file is never touched and a failed run leaves
// nothing behind.

#include "CareCommands.h"
#include "Db.h"
#include "DbSchema.h"
#include "DemoData.h"
#include "ExchangeCommands.h"
#include "RegularCommands.h"
#include "ReportCommands.h"
#include "SafeFile.h"
#include "ToolOptions.h"
#include "ToolOutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <QTranslator>

#include <optional>

namespace {

const QString kCreateUsage = QStringLiteral(
    "  dorsanti-db create ФАЙЛ|URI [--starter | --demo | --documents N]\n"
    "      Создает новый файл базы данных с таблицами и настройками.\n"
    "      Существующий файл не меняет. URI postgresql://... создает книги\n"
    "      в пустой базе данных на сервере.\n"
    "      --starter                 добавить начальные справочники новой семьи\n"
    "      --demo                    добавить пример: валюты, счета, категории,\n"
    "                                контрагентов и документы всех видов\n"
    "                                за последние месяцы\n"
    "      --documents N             пример из N документов (включает --demo)\n");

const QString kHelpUsage = QStringLiteral(
    "  dorsanti-db help [КОМАНДА]\n"
    "  dorsanti-db КОМАНДА --help\n"
    "      Показывает эту справку или справку одной команды.\n");

bool isHelp(const QString& word) {
    return word == QLatin1String("help") || word == QLatin1String("--help") ||
           word == QLatin1String("-h");
}

// The usage of the command named; none for a name that is no command.
QStringList commandUsage(const QString& command) {
    if (isCareCommand(command)) {
        return careUsage(command);
    }
    if (isExchangeCommand(command)) {
        return exchangeUsage(command);
    }
    if (isReportCommand(command)) {
        return reportUsage(command);
    }
    if (isRegularCommand(command)) {
        return regularUsage(command);
    }
    if (command == QLatin1String("create")) {
        return {kCreateUsage};
    }
    if (isHelp(command)) {
        return {kHelpUsage};
    }
    return {};
}

QStringList allUsage() {
    return QStringList{kCreateUsage} + careUsage() + exchangeUsage() + reportUsage() +
           regularUsage() + QStringList{kHelpUsage};
}

// "help" and "help COMMAND": the usage, on standard output.
int help(const QStringList& args) {
    const QString command = args.value(0);
    const QStringList usage = command.isEmpty() ? allUsage() : commandUsage(command);
    if (usage.isEmpty()) {
        return showUsage(allUsage(), QStringLiteral("неизвестная команда \"%1\"").arg(command));
    }
    if (args.size() > 1) {
        return showUsage(usage, QStringLiteral("лишний аргумент \"%1\"").arg(args[1]));
    }
    return showUsage(usage);
}

// The books in an empty database on a server, in one transaction.
// "… создан за 1.2 с", with what the demo books hold when they were made.
int created(const QString& what, const QElapsedTimer& timer, const DemoSummary* demo) {
    out() << what << " за " << QString::number(timer.elapsed() / 1000.0, 'f', 1) << " с";
    if (demo) {
        out() << ": документов " << demo->documents << " (проведено " << demo->applied
              << "), счетов " << demo->accounts;
    }
    out() << "\n";
    out().flush();
    return 0;
}

int createOnServer(const QString& uri, bool demo, bool starter, int documents) {
    QElapsedTimer timer;
    timer.start();
    DemoSummary summary;
    try {
        CreateServerBooks(
            uri, starter ? NewFileContents::StarterBooks : NewFileContents::ConfigurationOnly,
            [&](DbConnection& connection) {
                if (demo) {
                    summary = FillDemoData(connection, documents, QDate::currentDate());
                }
            });
    } catch (const AppError& e) {
        return fail(
            QStringLiteral("не удалось создать книги на сервере: %1").arg(e.text().simplified()));
    }
    return created(QStringLiteral("Книги на сервере созданы"), timer, demo ? &summary : nullptr);
}

// What "create" is asked to make.
struct CreateRequest {
    QString path;
    bool demo = false;
    bool starter = false;
    int documents = 400;
};

// The request of "create"'s arguments; nullopt after the usage or the problem
// was shown, with the exit code in `exitCode`.
std::optional<CreateRequest> createRequest(const QStringList& args, int& exitCode) {
    ToolOptions o;
    if (!parseToolOptions(args, {QStringLiteral("--documents")},
                          {QStringLiteral("--demo"), QStringLiteral("--starter")}, o,
                          {noDatabaseFile()}) ||
        o.help) {
        exitCode = showUsage({kCreateUsage}, o.problem);
        return std::nullopt;
    }
    CreateRequest r;
    r.path = o.positional[0];
    r.demo = o.has(QStringLiteral("--demo"));
    r.starter = o.has(QStringLiteral("--starter"));
    if (o.values.contains(QStringLiteral("--documents"))) {
        const QString n = o.values.value(QStringLiteral("--documents"));
        bool ok = false;
        r.documents = n.toInt(&ok);
        if (!ok || r.documents < 0) {
            exitCode =
                fail(QStringLiteral("--documents принимает целое число, а не \"%1\"").arg(n));
            return std::nullopt;
        }
        r.demo = true;
    }
    if (r.demo && r.starter) {
        // The demo books are a family's books of their own.
        exitCode = showUsage({kCreateUsage}, QStringLiteral("--starter нельзя вместе с --demo и "
                                                            "--documents"));
        return std::nullopt;
    }
    return r;
}

// The schema and what was asked for in it, in a file that is not in place
// yet and so needs no journal while it is filled.
DemoSummary fillNewFile(const QString& path, const CreateRequest& r) {
    DemoSummary summary;
    DbConnection connection;
    connection.open(path);
    connection.executeScript(
        QStringLiteral("PRAGMA journal_mode = OFF;"
                       "PRAGMA synchronous = OFF;"
                       "PRAGMA cache_size = -262144;"));
    CreateSchema(connection);
    if (r.starter) {
        FillStarterBooks(connection);
    }
    if (r.demo) {
        // The indexes of the two big tables are built once, after the
        // rows are in: much faster than keeping them up row by row.
        QStringList indexes;
        const QRegularExpression create(
            QStringLiteral("CREATE INDEX (\\w+) ON (Document|DataAccount) [^;]*;"));
        for (const auto& m : create.globalMatch(schemaSql())) {
            connection.executeScript(QStringLiteral("DROP INDEX %1").arg(m.captured(1)));
            indexes << m.captured(0);
        }
        Transaction tr(connection);
        summary = FillDemoData(connection, r.documents, QDate::currentDate());
        for (const QString& index : std::as_const(indexes)) {
            connection.executeScript(index);
        }
        tr.commit();
    }
    connection.executeScript(QStringLiteral("PRAGMA journal_mode = DELETE;"));
    connection.close();
    return summary;
}

// A new file: built under a temporary name beside its own and linked into
// place only when complete, so that a name that is taken is never touched.
int createFile(const CreateRequest& r) {
    const QFileInfo target(r.path);
    if (target.exists() || target.isSymLink()) {
        return fail(QStringLiteral("%1 уже существует и не изменен").arg(r.path));
    }
    const QDir folder = target.absoluteDir();
    if (!folder.exists()) {
        return fail(
            QStringLiteral("не удалось создать %1: нет папки %2").arg(r.path, folder.path()));
    }
    QElapsedTimer timer;
    timer.start();
    DemoSummary summary;
    try {
        // Made for its owner only (0600), and the database keeps that mode: a
        // family's money is nobody else's business.
        NewFile temp = NewFile::temporaryFor(r.path, ownerOnly());
        try {
            summary = fillNewFile(temp.path(), r);
            temp.sync();
        } catch (const AppError& e) {
            return fail(QStringLiteral("не удалось создать %1: %2").arg(r.path, e.text()));
        }
        temp.placeAs(r.path);
    } catch (const AppError& e) {
        return fail(e.text());
    }
    return created(QStringLiteral("Файл %1 создан").arg(r.path), timer,
                   r.demo ? &summary : nullptr);
}

int create(const QStringList& args) {
    int exitCode = 0;
    const std::optional<CreateRequest> r = createRequest(args, exitCode);
    if (!r) {
        return exitCode;
    }
    if (isServerUri(r->path)) {
        return createOnServer(r->path, r->demo, r->starter, r->documents);
    }
    return createFile(*r);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Qt's own texts, such as why a file cannot be read, in Russian too.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ru"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qtTexts);
    }
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (isCareCommand(command)) {
        return runCareCommand(args);
    }
    if (isExchangeCommand(command)) {
        return runExchangeCommand(args);
    }
    if (isReportCommand(command)) {
        return runReportCommand(args);
    }
    if (isRegularCommand(command)) {
        return runRegularCommand(args);
    }
    if (command == QLatin1String("create")) {
        return create(args.mid(1));
    }
    if (isHelp(command)) {
        return help(args.mid(1));
    }
    return showUsage(allUsage(), command.isEmpty()
                                     ? QStringLiteral("не указана команда")
                                     : QStringLiteral("неизвестная команда \"%1\"").arg(command));
}

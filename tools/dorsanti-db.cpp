// dorsanti-db: makes Dorsanti database files.
//
//   dorsanti-db create FILE [--starter | --demo | --documents N]
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
#include "ToolOptions.h"
#include "ToolOutput.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTextStream>

#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

int usage() {
    err() << "usage: dorsanti-db create FILE [--starter | --demo | --documents N]\n"
          << "  --starter       add the reference books a new family starts with\n"
             "  --demo          add currencies, accounts, categories, counterparties\n"
             "                  and documents of every kind over recent months\n"
             "  --documents N   make N documents (implies --demo)\n"
          << careUsage()
          << "       dorsanti-db accounts | import | export ...   (bank statements, books)\n";
    err().flush();
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && isCareCommand(args[0])) {
        return runCareCommand(args);
    }
    if (!args.isEmpty() && isExchangeCommand(args[0])) {
        return runExchangeCommand(args);
    }
    ToolOptions o;
    if (args.isEmpty() || args[0] != QLatin1String("create") ||
        !parseToolOptions(args.mid(1), {QStringLiteral("--documents")},
                          {QStringLiteral("--demo"), QStringLiteral("--starter")}, o) ||
        o.positional.size() != 1) {
        return usage();
    }
    const QString path = o.positional[0];
    bool demo = o.has(QStringLiteral("--demo"));
    const bool starter = o.has(QStringLiteral("--starter"));
    int documents = 400;
    if (o.values.contains(QStringLiteral("--documents"))) {
        const QString n = o.values.value(QStringLiteral("--documents"));
        bool ok = false;
        documents = n.toInt(&ok);
        if (!ok || documents < 0) {
            return fail(QStringLiteral("--documents needs a whole number, not \"%1\"").arg(n));
        }
        demo = true;
    }
    if (demo && starter) {
        return usage();  // the demo books are a family's books of their own
    }

    const QFileInfo target(path);
    if (target.exists() || target.isSymLink()) {
        return fail(QStringLiteral("%1 already exists; it has not been changed").arg(path));
    }
    const QDir folder = target.absoluteDir();
    if (!folder.exists()) {
        return fail(QStringLiteral("cannot create %1: the folder %2 does not exist")
                        .arg(path, folder.path()));
    }

    QTemporaryFile temp(folder.filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!temp.open()) {
        return fail(QStringLiteral("cannot create %1: %2").arg(path, temp.errorString()));
    }
    temp.close();

    QElapsedTimer timer;
    timer.start();
    DemoSummary summary;
    try {
        DbConnection connection;
        connection.open(temp.fileName());
        // The file is not in place until it is complete, so it needs no journal
        // while it is being filled.
        connection.executeScript(
            QStringLiteral("PRAGMA journal_mode = OFF;"
                           "PRAGMA synchronous = OFF;"
                           "PRAGMA cache_size = -262144;"));
        CreateSchema(connection);
        if (starter) {
            FillStarterBooks(connection);
        }
        if (demo) {
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
            summary = FillDemoData(connection, documents, QDate::currentDate());
            for (const QString& index : std::as_const(indexes)) {
                connection.executeScript(index);
            }
            tr.commit();
        }
        connection.executeScript(QStringLiteral("PRAGMA journal_mode = DELETE;"));
        connection.close();
    } catch (const AppError& e) {
        return fail(QStringLiteral("cannot create %1: %2").arg(path, e.text()));
    }
    {
        // The generator wrote without syncing; put the file on disk before it
        // takes its name.
        QFile written(temp.fileName());
        if (written.open(QIODevice::ReadOnly)) {
            ::fsync(written.handle());
        }
    }

    const QByteArray from = QFile::encodeName(temp.fileName());
    const QByteArray to = QFile::encodeName(target.absoluteFilePath());
    int linked = ::link(from.constData(), to.constData());
    if (linked != 0 && (errno == EPERM || errno == EOPNOTSUPP)) {
        // A file system without hard links: rename, after one more look.
        linked = QFileInfo::exists(path) ? (errno = EEXIST, -1)
                                         : ::rename(from.constData(), to.constData());
    }
    if (linked != 0) {
        const int e = errno;
        return fail(e == EEXIST
                        ? QStringLiteral("%1 already exists; it has not been changed").arg(path)
                        : QStringLiteral("cannot create %1: %2")
                              .arg(path, QString::fromLocal8Bit(std::strerror(e))));
    }
    // The temporary file was made for its owner only (0600), and the database
    // keeps that mode: a family's money is nobody else's business.

    QTextStream out(stdout);
    out << "Created " << path;
    if (demo) {
        out << ": " << summary.documents << " documents (" << summary.applied << " applied), "
            << summary.accounts << " accounts";
    }
    out << " in " << QString::number(timer.elapsed() / 1000.0, 'f', 1) << " s\n";
    return 0;
}

// bench_server: the same books in a file and on a PostgreSQL server, and
// what a family working on several computers notices of the difference:
//
//   - applying and rolling back one document (95th percentile);
//   - the browser's list of 100 000 documents, against psql reading the same
//     statement's rows;
//   - two programs applying and rolling back the same 10 000 documents at
//     once: updates lost, balances that disagree with the ledger, and how the
//     program that came second was answered;
//   - on the server, the time from one program's commit to another
//     program's event loop hearing of it.
//
//   bench_server [URI] [--documents N] [--race N]
//
// URI (or DORSANTI_TEST_PG) names a database on the server whose role may
// create databases: the benchmark makes one of its own beside it and drops it
// at the end. The file lives in a temporary folder.

#include "BooksChanged.h"
#include "DbEngine.h"
#include "DbSchema.h"
#include "Dialogs.h"
#include "Document_FM.h"
#include "Main_DM.h"
#include "SqlCursor.h"
#include "SqlDialect.h"
#include "VelDocKinds.h"
#include "VelDoc_Common.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

qint64 wallMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The boxes the posting code would show, counted by their text.
class Counting : public Interaction {
public:
    QMap<QString, int> messages;
    int busy = 0;
    int errors = 0;
    void message(const QString& text) override { ++messages[text]; }
    bool confirm(const QString&) override { return true; }
    void error(const AppError& e) override {
        ++(e.kind() == AppError::Kind::Busy ? busy : errors);
        QTextStream(stderr) << "error: " << e.text() << "\n";
    }
};

double percentile(QVector<double> values, double p) {
    if (values.isEmpty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min<int>(int(values.size()) - 1, int(p * values.size()))];
}

// Two currencies' worth of accounts and `count` new incomes and expenses
// over the year 2026, the same rows on either engine.
void fillBooks(const QString& path, int count) {
    DbConnection db;
    db.open(path);
    Transaction tr(db);
    db.executeScript(
        QStringLiteral("insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль');"
                       "insert into HeadAccount(Caption, [Note], IdValuta, Saldo) values"
                       "('Наличные', '', 1, 0), ('Карта', '', 1, 0), ('Вклад', '', 1, 0)"));
    SqlCursor insert(db, QStringLiteral("insert into Document(DateEnter, DateDocument, "
                                        "ValueDocument, CodTypeDocument, IdHeadAccount, "
                                        "NoteDocument, CodTypeStatus) "
                                        "values(:E, :D, :V, :T, :A, :N, 1)"));
    const QDate start(2026, 1, 1);
    for (int i = 0; i < count; ++i) {
        const QString date =
            start.addDays(i % 365).toString(Qt::ISODate) + QStringLiteral(" 00:00:00");
        insert.bindText(1, date);
        insert.bindText(2, date);
        insert.bindDouble(3, 10 + (i * 37) % 5000 + (i % 100) / 100.0);
        insert.bindInteger(4, 1 + i % 2);
        insert.bindInteger(5, 1 + i % 3);
        insert.bindText(6, QStringLiteral("Документ %1").arg(i + 1));
        insert.execute();
    }
    tr.commit();
}

// ------------------------------------------------------------ the children

// Goes once through documents 1..count: applies a new one, rolls back an
// applied one, as the browser's buttons do; prints what it did on one line.
int raceWorker(const QString& path, int count) {
    Counting counting;
    setInteraction(&counting);
    TMainDM dm;
    {
        // Both programs open the file at the same moment: the opening waits
        // for the other's first write as long as it takes; the postings wait
        // as the program's do.
        const int wait = DbConnection::busyTimeoutMs();
        DbConnection::setBusyTimeoutMs(60000);
        auto restore = qScopeGuard([wait] { DbConnection::setBusyTimeoutMs(wait); });
        dm.ADOConnection1.open(path);
    }
    int applied = 0;
    int rolledBack = 0;
    DbQuery status(dm.ADOConnection1, QStringLiteral("qrStatus"));
    status.setSql(QStringLiteral("select CodTypeStatus from Document where IdDocument = :IdDoc"));
    for (int id = 1; id <= count; ++id) {
        guarded([&] {
            // Read outside the transaction: the other program may change it
            // before the posting reads it again under its lock.
            status.bindInteger(QStringLiteral("IdDoc"), id);
            status.open();
            const int was = status.field(QStringLiteral("CodTypeStatus")).asInteger();
            status.close();
            if (was == 1) {
                applied += ApplyCommonVelDoc(id) > 0;
            } else {
                rolledBack += DeleteCommonVelDocConfirmed(id, 2) > 0;
            }
        });
    }
    QTextStream o(stdout);
    o << "applied=" << applied << " rolledBack=" << rolledBack << " busy=" << counting.busy
      << " errors=" << counting.errors << "\n";
    for (auto m = counting.messages.cbegin(); m != counting.messages.cend(); ++m) {
        o << "message " << m.value() << " " << m.key() << "\n";
    }
    setInteraction(nullptr);
    return 0;
}

// Listens as an open browser does, and prints the wall-clock time of each
// notice as its event loop receives it.
int listener(const QString& path) {
    TMainDM dm;
    dm.ADOConnection1.open(path);
    BooksChanged::instance().watch(dm.ADOConnection1);
    QObject::connect(&BooksChanged::instance(), &BooksChanged::changed, [] {
        std::printf("%lld\n", static_cast<long long>(wallMicros()));
        std::fflush(stdout);
    });
    std::printf("ready\n");
    std::fflush(stdout);
    // Ends when the benchmark closes its input.
    QSocketNotifier closed(0, QSocketNotifier::Read);
    QObject::connect(&closed, &QSocketNotifier::activated, qApp, &QCoreApplication::quit);
    return QCoreApplication::exec();
}

// ------------------------------------------------------------ the figures

struct Figures {
    double applyP95 = 0;
    double rollbackP95 = 0;
    int listRows = 0;
    double listMs = 0;
    double psqlMs = -1;
    int raceApplied = 0;
    int raceRolledBack = 0;
    int lostUpdates = 0;
    int wrongBalances = 0;
    int busy = 0;
    int errors = 0;
    QMap<QString, int> refusals;
    QVector<double> noticeMs;
};

void measurePosting(Figures& f, int samples) {
    QVector<double> apply;
    QVector<double> rollback;
    QElapsedTimer t;
    for (int id = 1; id <= samples; ++id) {
        t.start();
        ApplyCommonVelDoc(id);
        apply << t.nsecsElapsed() / 1e6;
        t.start();
        DeleteCommonVelDocConfirmed(id, 2);
        rollback << t.nsecsElapsed() / 1e6;
    }
    f.applyP95 = percentile(apply, 0.95);
    f.rollbackP95 = percentile(rollback, 0.95);
}

// The statement as psql is given it: the parameters written as literals.
QString literalStatement(const DbQuery& q, const QHash<QString, QString>& values) {
    const QString sql = q.sql();
    const SqlParams params = parseSqlParams(sql);
    QString text;
    int from = 0;
    for (const SqlParams::Use& use : params.uses) {
        text += sql.mid(from, use.offset - from);
        text += use.number > 0
                    ? QLatin1Char('\'') + values.value(params.names[use.number - 1].toLower()) +
                          QLatin1Char('\'')
                    : sql.mid(use.offset + 1, use.length - 2);
        from = use.offset + use.length;
    }
    return text + sql.mid(from);
}

void measureList(Figures& f, const QString& path) {
    TDocumentFM form;
    const QDate begin(2026, 1, 1);
    const QDate end(2026, 12, 31);
    form.ShowDocuments(begin, end, 0, 1);
    // The folder that lists the most: every kind.
    QTreeWidgetItem* widest = nullptr;
    for (int i = 0; i < form.tvDocs->topLevelItemCount(); ++i) {
        form.tvDocs->setCurrentItem(form.tvDocs->topLevelItem(i));
        if (form.qrDoc.isOpen() && form.qrDoc.recordCount() > f.listRows) {
            f.listRows = form.qrDoc.recordCount();
            widest = form.tvDocs->topLevelItem(i);
        }
    }
    form.tvDocs->setCurrentItem(widest);
    QVector<double> times;
    QElapsedTimer t;
    for (int i = 0; i < 5; ++i) {
        t.start();
        form.RefreshList();
        times << t.nsecsElapsed() / 1e6;
    }
    f.listMs = percentile(times, 0.5);
    if (!isServerUri(path)) {
        return;
    }
    QHash<QString, QString> values;
    for (const QString& name : form.qrDoc.paramNames()) {
        const QString n = name.toLower();
        values[n] =
            (n.contains(QLatin1String("end")) ? end.addDays(1) : begin).toString(Qt::ISODate) +
            QStringLiteral(" 00:00:00");
    }
    const QString psql = QStandardPaths::findExecutable(QStringLiteral("psql")).isEmpty()
                             ? QStringLiteral("/usr/lib/postgresql/15/bin/psql")
                             : QStandardPaths::findExecutable(QStringLiteral("psql"));
    const QString statement = literalStatement(form.qrDoc, values);
    times.clear();
    for (int i = 0; i < 5; ++i) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        t.start();
        p.start(psql, {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-v"),
                       QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"), path,
                       QStringLiteral("-c"), statement});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            out() << "psql failed: " << p.readAllStandardError() << "\n";
            p.kill();
            return;
        }
        times << t.nsecsElapsed() / 1e6;
    }
    f.psqlMs = percentile(times, 0.5);
}

void measureRace(Figures& f, const QString& path, int count) {
    QProcess a;
    QProcess b;
    for (QProcess* p : {&a, &b}) {
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--race-worker"), path, QString::number(count)});
    }
    for (QProcess* p : {&a, &b}) {
        if (!p->waitForFinished(600000) || p->exitCode() != 0) {
            p->kill();
            throw AppError(QStringLiteral("a racing program failed: ") +
                           QString::fromUtf8(p->readAllStandardError()));
        }
        for (const QString& line : QString::fromUtf8(p->readAllStandardOutput()).split('\n')) {
            if (line.startsWith(QLatin1String("message "))) {
                const QString rest = line.mid(8);
                const int space = int(rest.indexOf(QLatin1Char(' ')));
                f.refusals[rest.mid(space + 1)] += rest.left(space).toInt();
                continue;
            }
            for (const QString& pair : line.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                const QString key = pair.section(QLatin1Char('='), 0, 0);
                const int value = pair.section(QLatin1Char('='), 1).toInt();
                if (key == QLatin1String("applied")) {
                    f.raceApplied += value;
                } else if (key == QLatin1String("rolledBack")) {
                    f.raceRolledBack += value;
                } else if (key == QLatin1String("busy")) {
                    f.busy += value;
                } else if (key == QLatin1String("errors")) {
                    f.errors += value;
                }
            }
        }
    }
    // Every change a program made must be in the books: the documents left
    // applied are those applied more often than rolled back, each with one
    // ledger row, and no new one has a ledger row.
    DbQuery q(MainDM->ADOConnection1, QStringLiteral("qrCheck"));
    q.setSql(QStringLiteral(
        "select (select count(*) from Document where IdDocument <= :N and CodTypeStatus = 2) "
        "as applied, (select count(*) from Document d where IdDocument <= :N and "
        "CodTypeStatus <> 1 + (select count(*) from DataAccount da where "
        "da.IdDocument = d.IdDocument)) as mismatched"));
    q.bindInteger(QStringLiteral("N"), count);
    q.open();
    f.lostUpdates = std::abs(int(q.field(QStringLiteral("applied")).asInteger()) -
                             (f.raceApplied - f.raceRolledBack)) +
                    int(q.field(QStringLiteral("mismatched")).asInteger());
    q.close();
    // Each balance against the signed sum of its ledger rows.
    q.setSql(QStringLiteral("select count(*) as n from HeadAccount ha where %1 <> coalesce(("
                            "select sum(%2 * goi.SignInGroup) from DataAccount da inner join "
                            "GroupOperationItem goi on goi.CodTypeOperation = "
                            "da.CodTypeOperation and goi.CodGroupOperation = 1 "
                            "where da.IdHeadAccount = ha.IdHeadAccount), 0)")
                 .arg(moneyUnitsSql(QStringLiteral("ha.Saldo")),
                      moneyUnitsSql(QStringLiteral("da.ValueDataAccount"))));
    q.open();
    f.wrongBalances = int(q.field(QStringLiteral("n")).asInteger());
}

void measureNotices(Figures& f, const QString& path, int samples) {
    QProcess listen;
    listen.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--listen"), path});
    auto stop = qScopeGuard([&] {
        listen.closeWriteChannel();
        if (!listen.waitForFinished(5000)) {
            listen.kill();
            listen.waitForFinished(5000);
        }
    });
    const auto line = [&listen]() -> QByteArray {
        while (!listen.canReadLine()) {
            if (!listen.waitForReadyRead(5000)) {
                throw AppError(QStringLiteral("the listening program did not answer"));
            }
        }
        return listen.readLine().trimmed();
    };
    if (line() != "ready") {
        throw AppError(QStringLiteral("the listening program did not start"));
    }
    for (int id = 1; id <= samples; ++id) {
        for (bool apply : {true, false}) {
            // The commit is the last step of the call, and the server may
            // deliver the notice before its answer to the commit comes back:
            // the time is counted from the start of the whole transaction.
            const qint64 started = wallMicros();
            apply ? ApplyCommonVelDoc(id) : DeleteCommonVelDocConfirmed(id, 2);
            f.noticeMs << (line().toLongLong() - started) / 1000.0;
        }
    }
}

Figures measure(const QString& path, int raceCount) {
    Figures f;
    Counting counting;
    setInteraction(&counting);
    auto restore = qScopeGuard([] { setInteraction(nullptr); });
    TMainDM dm;
    dm.ADOConnection1.open(path);
    measurePosting(f, 1000);
    measureList(f, path);
    if (isServerUri(path)) {
        measureNotices(f, path, 50);
    }
    measureRace(f, path, raceCount);
    return f;
}

QString cell(double v, int decimals = 2) {
    return v < 0 ? QStringLiteral("-") : QString::number(v, 'f', decimals);
}

void printTable(const Figures& file, const Figures& server, int documents, int race) {
    QTextStream& o = out();
    const auto row = [&o](const QString& what, const QString& a, const QString& b) {
        o << what.leftJustified(52) << a.rightJustified(12) << b.rightJustified(12) << "\n";
    };
    o << "\n";
    row(QStringLiteral("figure"), QStringLiteral("file"), QStringLiteral("server"));
    row(QStringLiteral("apply, 95th percentile, ms"), cell(file.applyP95), cell(server.applyP95));
    row(QStringLiteral("roll back, 95th percentile, ms"), cell(file.rollbackP95),
        cell(server.rollbackP95));
    row(QStringLiteral("browser list rows (of %1 documents)").arg(documents),
        QString::number(file.listRows), QString::number(server.listRows));
    row(QStringLiteral("browser list load, median, ms"), cell(file.listMs), cell(server.listMs));
    row(QStringLiteral("psql -c of the same statement, median, ms"), cell(file.psqlMs),
        cell(server.psqlMs));
    row(QStringLiteral("browser / psql"), QStringLiteral("-"),
        server.psqlMs > 0 ? cell(server.listMs / server.psqlMs) : QStringLiteral("-"));
    row(QStringLiteral("race of 2 programs over %1 documents: applied").arg(race),
        QString::number(file.raceApplied), QString::number(server.raceApplied));
    row(QStringLiteral("  rolled back"), QString::number(file.raceRolledBack),
        QString::number(server.raceRolledBack));
    row(QStringLiteral("  lost updates"), QString::number(file.lostUpdates),
        QString::number(server.lostUpdates));
    row(QStringLiteral("  balances not matching the ledger"), QString::number(file.wrongBalances),
        QString::number(server.wrongBalances));
    row(QStringLiteral("  busy / other errors"),
        QStringLiteral("%1/%2").arg(file.busy).arg(file.errors),
        QStringLiteral("%1/%2").arg(server.busy).arg(server.errors));
    QStringList refusals = file.refusals.keys() + server.refusals.keys();
    refusals.removeDuplicates();
    for (const QString& text : refusals) {
        row(QStringLiteral("  refused: ") + text, QString::number(file.refusals.value(text)),
            QString::number(server.refusals.value(text)));
    }
    row(QStringLiteral("notice in another program after apply/roll back, median, ms"),
        QStringLiteral("-"), cell(percentile(server.noticeMs, 0.5)));
    row(QStringLiteral("  max, ms (of %1)").arg(server.noticeMs.size()), QStringLiteral("-"),
        cell(percentile(server.noticeMs, 1.0)));
}

int run(const QStringList& args) {
    QString uri = qEnvironmentVariable("DORSANTI_TEST_PG");
    int documents = 100000;
    int race = 10000;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--documents") && i + 1 < args.size()) {
            documents = args[++i].toInt();
        } else if (args[i] == QLatin1String("--race") && i + 1 < args.size()) {
            race = args[++i].toInt();
        } else {
            uri = args[i];
        }
    }
    if (!isServerUri(uri) || documents < std::max(race, 1000)) {
        out() << "usage: bench_server [URI] [--documents N] [--race N] (or DORSANTI_TEST_PG)\n";
        return 2;
    }
    RegisterVelDocKinds();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.db"));
    QUrl server(uri);
    const QString name = QStringLiteral("bench_%1").arg(QRandomGenerator::global()->generate());
    server.setPath(QLatin1Char('/') + name);
    DbConnection admin;
    admin.open(uri);
    admin.executeScript(QStringLiteral("create database ") + name);
    auto drop = qScopeGuard(
        [&] { admin.executeScript(QStringLiteral("drop database %1 with (force)").arg(name)); });

    out() << "making the books of " << documents << " documents in a file and on the server...\n";
    out().flush();
    CreateDatabaseFile(file);
    CreateServerBooks(server.toString());
    fillBooks(file, documents);
    fillBooks(server.toString(), documents);
    out() << "file...\n";
    out().flush();
    const Figures onFile = measure(file, race);
    out() << "server...\n";
    out().flush();
    const Figures onServer = measure(server.toString(), race);
    printTable(onFile, onServer, documents, race);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args[1] == QLatin1String("--race-worker")) {
            return raceWorker(args[2], args[3].toInt());
        }
        if (args.size() == 3 && args[1] == QLatin1String("--listen")) {
            return listener(args[2]);
        }
        return run(args);
    } catch (const AppError& e) {
        QTextStream(stderr) << "bench_server: " << e.text() << "\n";
        return 1;
    }
}

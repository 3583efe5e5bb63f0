// Figures of the statement import and the books export, and the readers
// fuzzed at full size.
//
//   bench_exchange [DOCS.db] [--lines N] [--inputs N] [--ofx-inputs N]
//
// The OFX figures: files that keep libofx's parser busy for a time growing
// with the square of their size are refused by the structure walk or at the
// reader's time limit; an honest statement of some size is read whole.
//
// DOCS.db is a large file (dorsanti-db create DOCS.db --documents 1000000);
// without it the export is not measured.

#include "BooksWriter.h"
#include "CsvReader.h"
#include "Db.h"
#include "DbSchema.h"
#include "ExchangeFuzz.h"
#include "Importer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csv.h>
#include <cstdio>
#include <ctime>

namespace {

// A card statement as a bank exports it: a year of payments, many a day.
QByteArray statementCsv(int lines) {
    QByteArray out =
        "\"Дата операции\";\"Дата платежа\";\"Статус\";\"Сумма платежа\";"
        "\"Валюта платежа\";\"Категория\";\"Описание\"\r\n";
    const char* shops[] = {"Пятёрочка", "Кофейня", "Аптека", "Заправка", "Такси", "Кино"};
    const char* categories[] = {"Продукты", "Кафе", "Здоровье", "Транспорт", "Транспорт", ""};
    const QDate start(2025, 1, 1);
    for (int i = 0; i < lines; ++i) {
        const QDate day = start.addDays(i * 365 / lines);
        const int units = 5000 + (i * 7919) % 9000000;
        out += QStringLiteral(
                   "\"%1 %2:%3:00\";\"%1\";\"OK\";\"-%4 %5,%6\";\"RUB\";\"%7\";\"%8 №%9\"\r\n")
                   .arg(day.toString(QStringLiteral("dd.MM.yyyy")))
                   .arg(i % 24, 2, 10, QLatin1Char('0'))
                   .arg(i % 60, 2, 10, QLatin1Char('0'))
                   .arg(units / 100000)
                   .arg(units / 100 % 1000, 3, 10, QLatin1Char('0'))
                   .arg(units % 100, 2, 10, QLatin1Char('0'))
                   .arg(QString::fromUtf8(categories[i % 6]), QString::fromUtf8(shops[i % 6]))
                   .arg(i)
                   .toUtf8();
    }
    return out;
}

void countField(void*, size_t, void* n) {
    ++*static_cast<qint64*>(n);
}
void countRecord(int, void*) {}

double seconds(QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e9;
}

void importFigures(int lines) {
    QTemporaryDir dir;
    const QString csvPath = dir.filePath(QStringLiteral("statement.csv"));
    QFile f(csvPath);
    f.open(QIODevice::WriteOnly);
    f.write(statementCsv(lines));
    f.close();

    QElapsedTimer t;
    t.start();
    QFile in(csvPath);
    in.open(QIODevice::ReadOnly);
    const QByteArray bytes = in.readAll();
    csv_parser p;
    csv_init(&p, 0);
    csv_set_delim(&p, ';');
    qint64 fields = 0;
    csv_parse(&p, bytes.constData(), size_t(bytes.size()), countField, countRecord, &fields);
    csv_fini(&p, countField, countRecord, &fields);
    csv_free(&p);
    const double bare = seconds(t);

    const QString dbPath = dir.filePath(QStringLiteral("books.db"));
    CreateDatabaseFile(dbPath);
    DbConnection db;
    db.open(dbPath);
    db.executeScript(QStringLiteral(
        "insert into Valuta(Caption, FullCaption) values('RUB', 'Российский рубль');"
        "insert into HeadAccount(Caption, [Note], IdValuta, Saldo) values('Карта', '', 1, 0);"
        "insert into Category(Caption, [Note]) values('Продукты', ''), ('Кафе', '');"));
    t.restart();
    const std::clock_t cpu = std::clock();
    const Statement st = CsvReader().read(csvPath);
    const double read = seconds(t);
    const ImportResult r = importStatement(db, 1, st, {});
    const double total = seconds(t);
    const double cpuTotal = double(std::clock() - cpu) / CLOCKS_PER_SEC;
    t.restart();
    const ImportResult again = importStatement(db, 1, CsvReader().read(csvPath), {});
    const double repeat = seconds(t);
    std::printf(
        "import of a %d-line CSV (%.1f MB): %.2f s, %.2f s of processor time (reading "
        "%.2f s, writing %lld documents %.2f s); the bare parser reads it in %.3f s (%.0fx); "
        "the same file again: %d duplicates in %.2f s\n",
        lines, bytes.size() / 1e6, total, cpuTotal, read, qint64(r.documents.size()), total - read,
        bare, total / bare, again.duplicates, repeat);
}

void exportFigures(const QString& docs) {
    QTemporaryDir dir;
    const QString ours = dir.filePath(QStringLiteral("books.csv"));
    const QString theirs = dir.filePath(QStringLiteral("sqlite3.csv"));
    DbConnection db;
    db.open(docs);
    ExportOptions all;
    all.all = true;
    // The file's pages are read once before either run, so that both find
    // them in the cache.
    exportBooks(db, ours, BooksFormat::Csv, all);
    QElapsedTimer t;
    t.start();
    const qint64 rows = exportBooks(db, ours, BooksFormat::Csv, all);
    const double own = seconds(t);

    QString script =
        QStringLiteral(
            ".mode csv\n.headers on\n.output %1\n"
            ".parameter set :DateFrom \"'0000'\"\n.parameter set :DateTo \"'9999-99-99'\"\n"
            ".parameter set :All 1\n.parameter set :IdHA 0\n.parameter set :IdHA_1 0\n"
            ".parameter set :IdHA_2 0\n%2;\n")
            .arg(theirs, booksCsvSelect());
    QProcess sqlite;
    t.restart();
    sqlite.start(QStringLiteral("sqlite3"), {docs});
    sqlite.write(script.toUtf8());
    sqlite.closeWriteChannel();
    sqlite.waitForFinished(-1);
    const double cli = seconds(t);
    std::printf(
        "export of %lld documents to CSV: %.2f s (%.1f MB); sqlite3 -csv of the same "
        "select: %.2f s (%.1f MB); ratio %.2f%s\n",
        rows, own, QFile(ours).size() / 1e6, cli, QFile(theirs).size() / 1e6, own / cli,
        sqlite.exitCode() == 0 ? "" : " (sqlite3 FAILED)");
    t.restart();
    const qint64 qif =
        exportBooks(db, dir.filePath(QStringLiteral("books.qif")), BooksFormat::Qif, all);
    std::printf("export of %lld documents to QIF: %.2f s\n", qif, seconds(t));
}

// A statement of `payments` card payments, in OFX 1.
QByteArray statementOfx(int payments) {
    const QByteArray sample = ExchangeFuzz::ofxSample();
    const qsizetype from = sample.indexOf("<STMTTRN>");
    const qsizetype to = sample.indexOf("</BANKTRANLIST>");
    QByteArray out = sample.left(from);
    for (int i = 0; i < payments; ++i) {
        out += "<STMTTRN><TRNTYPE>DEBIT<DTPOSTED>20251201<TRNAMT>-" +
               QByteArray::number(100 + i % 5000) + ".50<FITID>T" + QByteArray::number(i) +
               "<NAME>Кофейня №" + QByteArray::number(i % 300) +
               "<MEMO>Капучино и булочка</STMTTRN>\r\n";
    }
    return out + sample.mid(to);
}

void ofxFigures() {
    const QByteArray sample = ExchangeFuzz::ofxSample();
    const qsizetype memo = sample.indexOf("<MEMO>");
    QByteArray tags;
    for (int i = 0; i < 40000; ++i) {
        tags += "<X" + QByteArray::number(i) + ">x";
    }
    const QList<QPair<QByteArray, QByteArray>> files = {
        {"20,000 <MEMO> in one payment",
         sample.left(memo) + QByteArray("<MEMO>x").repeated(20000) + sample.mid(memo)},
        {"40,000 elements of different names", sample.left(memo) + tags + sample.mid(memo)},
        {"a statement of 2,000 payments", statementOfx(2000)},
        {"a statement of 63,000 payments", statementOfx(63000)},
    };
    for (const auto& [what, bytes] : files) {
        QElapsedTimer t;
        t.start();
        QString outcome;
        try {
            outcome =
                QStringLiteral("read, %1 payments").arg(OfxReader().parse(bytes).lines.size());
        } catch (const AppError& e) {
            outcome = QStringLiteral("refused: ") + e.text();
        }
        std::printf("OFX of %.2f MB, %s: %.2f s, %s\n", bytes.size() / 1e6, what.constData(),
                    seconds(t), qPrintable(outcome));
        std::fflush(stdout);
    }
}

bool fuzz(const char* name, const std::function<QString(qint64)>& check, qint64 inputs) {
    QElapsedTimer t;
    t.start();
    const QString broken = check(inputs);
    std::printf("%s: %lld mutated inputs, %s, %.1f s\n", name, inputs,
                broken.isEmpty() ? "no crash, every file read or refused whole, no partial import"
                                 : qPrintable(QStringLiteral("BROKEN BY %1").arg(broken)),
                seconds(t));
    std::fflush(stdout);
    return broken.isEmpty();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto option = [&](const char* name, qint64 fallback) {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return at > 0 && at + 1 < args.size() ? args[at + 1].toLongLong() : fallback;
    };
    const int lines = int(option("--lines", 100000));
    const qint64 inputs = option("--inputs", 1000000);
    const qint64 ofxInputs = option("--ofx-inputs", 100000);
    importFigures(lines);
    ofxFigures();
    if (args.size() > 1 && !args[1].startsWith(QLatin1String("--"))) {
        exportFigures(args[1]);
    }
    std::fflush(stdout);
    bool ok = fuzz(
        "CSV reader", [](qint64 n) { return ExchangeFuzz::checkCsv(n, 20261209); }, inputs);
    ok = fuzz(
             "QIF reader", [](qint64 n) { return ExchangeFuzz::checkQif(n, 20261209); }, inputs) &&
         ok;
    ok = fuzz(
             "OFX reader (libofx)", [](qint64 n) { return ExchangeFuzz::checkOfx(n, 20261209); },
             ofxInputs) &&
         ok;
    return ok ? 0 : 1;
}

// bench_grid: how fast the document browser shows a node of a large
// database, how fast a title click re-sorts the list, and what its rows cost
// in memory.
//
//   build/dorsanti-db create /tmp/docs.db --documents 1000000
//   build/bench/bench_grid /tmp/docs.db [rows]
//
// The browser's folder node is selected over the most recent date range that
// holds about `rows` documents (100,000 by default): its statement with the
// folder condition, shown with the folder's columns. The bare SQLite C API
// reads the same statement on the same connection for comparison.

#include "DBGrid.h"
#include "Db.h"
#include "Document_FM.h"
#include "Main_DM.h"
#include "VelDocKinds.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QTextStream>

#include <malloc.h>
#include <sqlite3.h>
#include <algorithm>

namespace {

QTextStream out(stdout);

double ms(qint64 ns) {
    return double(ns) / 1e6;
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// A field of /proc/self/status in kilobytes ("VmRSS", "VmHWM").
qint64 procStatusKb(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(prefix)) {
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
        }
    }
    return 0;
}

double heapMb() {
    return double(mallinfo2().uordblks) / 1048576.0;
}

// Steps through every row of the statement and reads every column.
qint64 bareRead(sqlite3* db, const QString& sql, const QString& begin, const QString& end,
                int* rows) {
    QElapsedTimer t;
    t.start();
    sqlite3_stmt* stmt = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK) {
        raiseEngineError(db, sqlite3_errcode(db), sql);
    }
    const QByteArray b = begin.toUtf8();
    const QByteArray e = end.toUtf8();
    for (const auto& [name, value] : {std::pair{":BeginDate", &b}, std::pair{":EndDate", &e}}) {
        const int rc = sqlite3_bind_text(stmt, sqlite3_bind_parameter_index(stmt, name),
                                         value->constData(), int(value->size()), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(stmt);
            raiseEngineError(db, rc, sql);
        }
    }
    const int columns = sqlite3_column_count(stmt);
    qint64 checksum = 0;
    *rows = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_INTEGER:
                    checksum += sqlite3_column_int64(stmt, c);
                    break;
                case SQLITE_FLOAT:
                    checksum += qint64(sqlite3_column_double(stmt, c));
                    break;
                case SQLITE_TEXT:
                    checksum += sqlite3_column_bytes(stmt, c) + sqlite3_column_text(stmt, c)[0];
                    break;
                default:
                    break;
            }
        }
        ++*rows;
    }
    if (rc != SQLITE_DONE) {
        const AppError error = engineError(db, rc, sql);
        sqlite3_finalize(stmt);
        throw error;
    }
    sqlite3_finalize(stmt);
    const qint64 elapsed = t.nsecsElapsed();
    if (checksum == 42) {
        out << "";  // keeps the reads
    }
    return elapsed;
}

void paint(DBGrid& grid) {
    QApplication::processEvents();
    grid.viewport()->repaint();
    grid.horizontalHeader()->viewport()->repaint();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc < 2) {
        out << "usage: bench_grid DATABASE [rows]\n";
        return 2;
    }
    const int wanted = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 100000;
    try {
        RegisterVelDocKinds();
        TMainDM dm;
        DbConnection& db = dm.ADOConnection1;
        db.open(QString::fromLocal8Bit(argv[1]));
        DbQuery q(db, QStringLiteral("q"));

        // The most recent dates that hold about `wanted` documents.
        q.setSql(QStringLiteral("select max(DateDocument) as EndDate from Document"));
        q.open();
        const QDateTime end = q.field(QStringLiteral("EndDate")).asDateTime();
        q.clearSql();
        q.addSql(QStringLiteral("select DateDocument from Document"));
        q.addSql(QStringLiteral("order by DateDocument desc limit 1 offset :Skip"));
        q.bindInteger(QStringLiteral("Skip"), wanted - 1);
        q.open();
        QDateTime begin = q.field(QStringLiteral("DateDocument")).asDateTime();
        if (!begin.isValid() || !end.isValid()) {
            out << "the database holds fewer than " << wanted << " documents\n";
            return 1;
        }
        begin = begin.addDays(1);  // whole days, not above the wanted count

        q.setSql(QStringLiteral("select SQLQuery from TypeDocument where CodTypeDocument = -1"));
        q.open();
        const QString sql = q.field(QStringLiteral("SQLQuery")).asString() +
                            QStringLiteral(" and (TypeDocument.ParentTypeDocument = -1)");
        q.close();

        TDocumentFM browser;
        browser.resize(1400, 800);
        browser.show();
        browser.deBegin->setDate(begin.date());
        browser.deEnd->setDate(end.date());
        DbQuery& qrDoc = browser.qrDoc;
        DBGrid& grid = *browser.dbgDoc;
        QTreeWidgetItem* folder = browser.tvDocs->topLevelItem(0);
        paint(grid);

        int bareRows = 0;
        bareRead(db.handle(), sql, storedDateTime(begin), storedDateTime(end), &bareRows);

        // The user picks the folder: the node's columns, its method buttons,
        // the statement run, its rows read into memory, and the grid drawn;
        // memory measured around it.
        const qint64 rssBefore = procStatusKb("VmRSS");
        const double heapBefore = heapMb();
        QElapsedTimer t;
        t.start();
        browser.tvDocs->setCurrentItem(folder);
        const qint64 opened = t.nsecsElapsed();
        paint(grid);
        const qint64 ready = t.nsecsElapsed();
        const qint64 rssAfter = procStatusKb("VmRSS");
        const qint64 peak = procStatusKb("VmHWM");
        const double heapAfter = heapMb();

        out << "database: " << argv[1] << "\n"
            << "range: " << storedDateTime(begin) << " .. " << storedDateTime(end) << ", "
            << qrDoc.recordCount() << " rows of " << qrDoc.fieldCount() << " columns (" << bareRows
            << " by the bare API), " << grid.gridModel()->columnCount() << " shown\n";
        out << QStringLiteral("first opening: rows read %1 ms, grid ready %2 ms\n")
                   .arg(ms(opened), 0, 'f', 1)
                   .arg(ms(ready), 0, 'f', 1);
        out << QStringLiteral("memory of the rows: heap +%1 MB, RSS +%2 MB (peak RSS %3 MB)\n")
                   .arg(heapAfter - heapBefore, 0, 'f', 1)
                   .arg(double(rssAfter - rssBefore) / 1024.0, 0, 'f', 1)
                   .arg(double(peak) / 1024.0, 0, 'f', 1);

        // Re-runs against the bare API, alternating, medians of five.
        QList<double> bare;
        QList<double> loads;
        for (int round = 0; round < 5; ++round) {
            int rows = 0;
            bare << ms(
                bareRead(db.handle(), sql, storedDateTime(begin), storedDateTime(end), &rows));
            t.restart();
            browser.RefreshList();  // F5
            paint(grid);
            loads << ms(t.nsecsElapsed());
        }
        out << QStringLiteral(
                   "re-run until the grid is ready: %1 ms (median of 5); bare "
                   "SQLite C API: %2 ms; ratio %3\n")
                   .arg(median(loads), 0, 'f', 1)
                   .arg(median(bare), 0, 'f', 1)
                   .arg(median(loads) / median(bare), 0, 'f', 2);

        // Title clicks: each column sorted the first time, then reversed.
        for (int c = 0; c < grid.gridModel()->columnCount(); ++c) {
            t.restart();
            grid.titleClick(c);
            paint(grid);
            const qint64 first = t.nsecsElapsed();
            t.restart();
            grid.titleClick(c);
            paint(grid);
            const qint64 again = t.nsecsElapsed();
            out << QStringLiteral("sort by \"%1\": %2 ms, reversed %3 ms\n")
                       .arg(grid.gridModel()->headerData(c, Qt::Horizontal).toString())
                       .arg(ms(first), 0, 'f', 1)
                       .arg(ms(again), 0, 'f', 1);
        }
        t.restart();
        grid.titleClick(0);
        grid.titleClick(2, Qt::ControlModifier);
        paint(grid);
        out << QStringLiteral("two columns (Ctrl+click): %1 ms\n")
                   .arg(ms(t.nsecsElapsed()), 0, 'f', 1);

        // Typing a prefix that no row has: every row of the column is looked at.
        for (int c : {0, 2, 3, 9}) {
            grid.setCurrentIndex(grid.gridModel()->index(0, c));
            t.restart();
            grid.keyboardSearch(QStringLiteral("~"));
            out << QStringLiteral("search without a match in \"%1\": %2 ms\n")
                       .arg(grid.gridModel()->headerData(c, Qt::Horizontal).toString())
                       .arg(ms(t.nsecsElapsed()), 0, 'f', 1);
        }
    } catch (const AppError& e) {
        out << "error: " << e.text() << "\n";
        return 1;
    }
    return 0;
}

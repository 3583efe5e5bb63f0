// bench_reports: each report over "Всё время" (plan and fact: over the last
// twelve months, with a plan for every category and month) on a database of
// a million documents, against the bare SQL it rests on: every statement the report ran,
// recorded with its values and run again on the SQLite C API in the same run.
// The reports are timed twice: reading the ledger row by row (a file made
// before the running totals) and with the totals, after the time it takes to
// build them (the first report on such a file).
//
//   bench_reports [FILE] [--runs N] [--sql] [--with-totals]
//
// --sql prints each statement with its own bare time; --with-totals skips the
// reports without the totals on a file that has them.
//
// FILE is a database made by "dorsanti-db create FILE --documents 1000000";
// the benchmark works on a copy of it. Without FILE it makes one.

#include "Budget.h"
#include "Db.h"
#include "LedgerTotals.h"
#include "Reports.h"

#include "BenchFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <vector>

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

double medianMs(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The median of `runs` timed calls, after one that warms the cache.
double timedMs(int runs, const std::function<void()>& work) {
    work();
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return medianMs(ms);
}

// A report as its window builds it.
Report build(DbConnection& c, const ReportQuery& query) {
    return query.kind == ReportKind::PlanFact ? planFactReport(c, query) : buildReport(c, query);
}

// A plan for every category in each month of the year the benchmark reads.
void planEveryMonth(DbConnection& c, const QDate& from) {
    DbQuery q(c, QStringLiteral("qrBench"));
    q.setSql(QStringLiteral("select IdCategory from Category"));
    q.open();
    QMap<qint64, Money> plan;
    for (q.first(); !q.eof(); q.next()) {
        plan.insert(q.field(QStringLiteral("IdCategory")).asInt64(), Money::fromInteger(1000));
    }
    // In the currency the report takes: that of the first account.
    q.setSql(QStringLiteral("select IdValuta from HeadAccount order by IdHeadAccount"));
    q.open();
    const qint64 valuta = q.field(QStringLiteral("IdValuta")).asInt64();
    q.close();
    for (int m = 0; m < 12; ++m) {
        replaceMonthPlan(c, from.addMonths(m), valuta, plan);
    }
}

int recordStatement(unsigned type, void* context, void* statement, void* text) {
    // Statements of triggers come as comments; a report fires none.
    if (type == SQLITE_TRACE_STMT &&
        !QByteArray(static_cast<const char*>(text)).startsWith("--")) {
        char* sql = sqlite3_expanded_sql(static_cast<sqlite3_stmt*>(statement));
        if (sql) {
            static_cast<QStringList*>(context)->append(QString::fromUtf8(sql));
            sqlite3_free(sql);
        }
    }
    return 0;
}

// The statements a report runs, with their values in their text.
QStringList statementsOf(DbConnection& c, const ReportQuery& query) {
    QStringList statements;
    sqlite3_trace_v2(c.handle(), SQLITE_TRACE_STMT, recordStatement, &statements);
    build(c, query);
    sqlite3_trace_v2(c.handle(), 0, nullptr, nullptr);
    return statements;
}

// A connection of its own that runs statements and reads every value of
// every row, as a program reading them would.
class Bare {
public:
    explicit Bare(const QString& path) {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) !=
            SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(m_db));
        }
    }
    ~Bare() { sqlite3_close(m_db); }

    void run(const QStringList& statements) {
        for (const QString& sql : statements) {
            sqlite3_stmt* s = nullptr;
            const QByteArray text = sql.toUtf8();
            if (sqlite3_prepare_v2(m_db, text.constData(), -1, &s, nullptr) != SQLITE_OK) {
                throw std::runtime_error(sqlite3_errmsg(m_db));
            }
            int rc;
            while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
                for (int c = 0; c < sqlite3_column_count(s); ++c) {
                    if (sqlite3_column_type(s, c) == SQLITE_TEXT) {
                        m_sink += sqlite3_column_bytes(s, c);
                    } else {
                        m_sink += sqlite3_column_int64(s, c);
                    }
                }
            }
            sqlite3_finalize(s);
            if (rc != SQLITE_DONE) {
                throw std::runtime_error(sqlite3_errmsg(m_db));
            }
        }
    }

private:
    sqlite3* m_db = nullptr;
    qint64 m_sink = 0;
};

const QList<ReportKind> kKinds{
    ReportKind::Categories, ReportKind::Months,   ReportKind::Counterparties, ReportKind::Balances,
    ReportKind::Statement,  ReportKind::NetWorth, ReportKind::PlanFact};

void dropTotals(DbConnection& c) {
    c.executeScript(QStringLiteral(
        "DROP TRIGGER IF EXISTS DataAccountMonth_Insert; DROP TRIGGER IF EXISTS "
        "DataAccountMonth_Delete; DROP TRIGGER IF EXISTS DataAccountMonth_Update; DROP "
        "TRIGGER IF EXISTS DataAccountMonth_Document; DROP TABLE IF EXISTS DataAccountMonth;"));
}

int run(const QString& source, int runs, bool showSql, bool withTotals) {
    QTemporaryDir dir;
    const QString path = benchDatabase(source, dir, out());
    if (path.isEmpty()) {
        return 1;
    }

    DbConnection c;
    c.open(path);
    if (!withTotals || !hasLedgerTotals(c)) {
        dropTotals(c);  // as a file made before them
        withTotals = false;
    }
    const auto year = presetPeriod(Preset::TwelveMonths, QDate::currentDate());
    planEveryMonth(c, year.first);
    Bare bare(path);
    const auto query = [&](ReportKind kind) {
        ReportQuery q;
        q.kind = kind;  // from the first document to today
        if (kind == ReportKind::PlanFact) {
            q.from = year.first;
            q.to = year.second;
        }
        return q;
    };

    out() << "database: " << path << "; every report over \"Всё время\", median of " << runs
          << " runs, ms\n\n";
    if (!withTotals) {
        out() << "without the running totals (the ledger read row by row)\n";
    }
    std::vector<double> ledgerMs(size_t(kKinds.size()), 0.0);
    if (!withTotals) {
        DbConnection readOnly;
        readOnly.open(path, DbConnection::Access::ReadOnly);
        for (ReportKind kind : kKinds) {
            double& ms = ledgerMs[size_t(kKinds.indexOf(kind))];
            ms = timedMs(1, [&] { build(readOnly, query(kind)); });
            out() << QStringLiteral("%1 %2\n").arg(reportKindName(kind), -15).arg(ms, 9, 'f', 1);
        }
    }

    if (!withTotals) {
        QElapsedTimer build;
        build.start();
        rebuildLedgerTotals(c);
        out() << "\nthe running totals built (the first report on such a file): "
              << build.elapsed() << " ms\n\n";
    }

    out() << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                 .arg(QStringLiteral("report"), -15)
                 .arg(QStringLiteral("rows"), 8)
                 .arg(QStringLiteral("ours"), 9)
                 .arg(QStringLiteral("bare SQL"), 9)
                 .arg(QStringLiteral("ratio"), 6)
                 .arg(QStringLiteral("speed-up"), 9);
    QStringList over;
    for (int i = 0; i < kKinds.size(); ++i) {
        const ReportQuery q = query(kKinds[i]);
        qsizetype rows = 0;
        const double ours = timedMs(runs, [&] { rows = build(c, q).rows.size(); });
        const QStringList statements = statementsOf(c, q);
        const double plain = timedMs(runs, [&] { bare.run(statements); });
        if (showSql) {
            for (const QString& sql : statements) {
                out() << QStringLiteral("%1 ms: ").arg(timedMs(1, [&] { bare.run({sql}); }), 0,
                                                       'f', 1)
                      << sql << "\n";
            }
        }
        if (ours > 250 || ours > 2 * plain) {
            over << reportKindName(kKinds[i]);
        }
        out() << QStringLiteral("%1 %2 %3 %4 %5 %6")
                     .arg(reportKindName(kKinds[i]), -15)
                     .arg(rows, 8)
                     .arg(ours, 9, 'f', 1)
                     .arg(plain, 9, 'f', 1)
                     .arg(ours / plain, 6, 'f', 2)
                     .arg(withTotals
                              ? QStringLiteral("-")
                              : QStringLiteral("%1x").arg(ledgerMs[size_t(i)] / ours, 0, 'f', 0),
                          9)
              << "\n";
    }
    // "Остатки" looking a year ahead: the templates, the new documents and
    // the ledger after today on top of the same balances.
    ReportQuery ahead = query(ReportKind::Balances);
    ahead.ahead = 12;
    const double aheadMs = timedMs(runs, [&] { buildReport(c, ahead); });
    if (aheadMs > 250) {
        over << QStringLiteral("balances --ahead 12");
    }
    out() << QStringLiteral("%1 %2\n")
                 .arg(QStringLiteral("balances +12"), -24)
                 .arg(aheadMs, 9, 'f', 1);
    out() << "\n"
          << (over.isEmpty() ? QStringLiteral("every report within 250 ms and 2x its bare SQL")
                             : QStringLiteral("over 250 ms or 2x its bare SQL: ") +
                                   over.join(QStringLiteral(", ")))
          << "\n";
    out().flush();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString source;
    int runs = 5;
    bool showSql = false;
    bool withTotals = false;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
            runs = std::max(1, args[++i].toInt());
        } else if (args[i] == QLatin1String("--sql")) {
            showSql = true;
        } else if (args[i] == QLatin1String("--with-totals")) {
            withTotals = true;
        } else {
            source = args[i];
        }
    }
    try {
        return run(source, runs, showSql, withTotals);
    } catch (const AppError& e) {
        out() << "error: " << e.text() << "\n";
        return 1;
    } catch (const std::exception& e) {
        out() << "error: " << e.what() << "\n";
        return 1;
    }
}

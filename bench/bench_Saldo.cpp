// Times the balance recalculation over a large ledger and compares it with
// one grouped sum over the same rows through the bare SQLite C API.
//
//   bench_Saldo [ACCOUNTS] [LEDGER_ROWS]     (default 50 and 2,000,000)

#include "DbSchema.h"
#include "Main_DM.h"
#include "Saldo_FM.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>
#include <algorithm>
#include <vector>

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

// Accounts, documents and ledger rows spread over the accounts in random
// order, written in one transaction with plain SQL.
void makeLedger(DbConnection& db, int accounts, int rows) {
    Transaction t(db);
    db.executeScript(QStringLiteral("insert into Valuta(Caption, FullCaption) values('RUB', '')"));
    db.executeScript(
        QStringLiteral(
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
            "insert into HeadAccount(Caption, IdValuta, Saldo) select 'Счет ' || i, 1, 0 from n")
            .arg(accounts));
    // One document per two ledger rows, as a transfer has two legs.
    db.executeScript(
        QStringLiteral(
            "with recursive n(i) as (select 1 union all select i + 1 from n where i < %1) "
            "insert into Document(DateEnter, DateDocument, ValueDocument, CodTypeDocument,"
            " IdHeadAccount, CodTypeStatus) "
            "select '2024-01-01 09:00:00', '2024-01-01 00:00:00', 1, 3, 1 + i % %2, 2 from n")
            .arg((rows + 1) / 2)
            .arg(accounts));
    db.executeScript(
        QStringLiteral(
            "with recursive n(i) as (select 0 union all select i + 1 from n where i < %1 - 1) "
            "insert into DataAccount(CodTypeOperation, IdDocument, DateEnter, ValueDataAccount,"
            " IdHeadAccount, DateDocument) "
            "select 1 + abs(random()) % 4, 1 + i / 2, '2024-01-01 09:00:00',"
            " (abs(random()) % 10000000) / 100.0, 1 + abs(random()) % %2, '2024-01-01 00:00:00'"
            " from n")
            .arg(rows)
            .arg(accounts));
    t.commit();
    db.executeScript(QStringLiteral("analyze"));
}

double recalculateSeconds() {
    TSaldoFM form;
    form.Prepare();
    QElapsedTimer timer;
    timer.start();
    form.Recalculate();
    return timer.nsecsElapsed() / 1e9;
}

// The grouped sum on a connection of its own; gives the seconds and fills the sums.
double groupedSumSeconds(const QString& path, QHash<int, Money>* sums) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        out() << "open failed: " << sqlite3_errmsg(db) << "\n";
        sqlite3_close(db);
        return -1;
    }
    const char* sql =
        "select IdHeadAccount, sum(ValueDataAccount*SignInGroup) as Saldo "
        "from DataAccount da inner join GroupOperationItem goi "
        "on goi.CodGroupOperation = 1 and goi.CodTypeOperation = da.CodTypeOperation "
        "group by IdHeadAccount";
    sqlite3_stmt* stmt = nullptr;
    QElapsedTimer timer;
    timer.start();
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        out() << "prepare failed: " << sqlite3_errmsg(db) << "\n";
        return -1;
    }
    sums->clear();
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        sums->insert(sqlite3_column_int(stmt, 0),
                     Money::fromDouble(sqlite3_column_double(stmt, 1)));
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        out() << "read failed: " << sqlite3_errmsg(db) << "\n";
        sqlite3_close(db);
        return -1;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    sqlite3_close(db);
    return seconds;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int accounts = args.size() > 1 ? args[1].toInt() : 50;
    const int rows = args.size() > 2 ? args[2].toInt() : 2000000;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.db"));
    CreateDatabaseFile(path);
    TMainDM dm;
    dm.ADOConnection1.open(path);

    QElapsedTimer timer;
    timer.start();
    makeLedger(dm.ADOConnection1, accounts, rows);
    out() << "ledger: " << accounts << " accounts, " << rows << " rows, made in "
          << timer.elapsed() / 1000.0 << " s\n";

    std::vector<double> window;
    std::vector<double> grouped;
    QHash<int, Money> sums;
    for (int run = 0; run < 5; ++run) {
        window.push_back(recalculateSeconds());
        grouped.push_back(groupedSumSeconds(path, &sums));
    }

    // The balances written must equal the grouped sums.
    DbQuery check(dm.ADOConnection1, QStringLiteral("check"));
    check.setSql(QStringLiteral("select IdHeadAccount, Saldo from HeadAccount"));
    check.open();
    int same = 0;
    for (check.first(); !check.eof(); check.next()) {
        const int id = check.field(QStringLiteral("IdHeadAccount")).asInteger();
        same += check.field(QStringLiteral("Saldo")).asMoney() == sums.value(id) ? 1 : 0;
    }

    const double w = median(window);
    const double g = median(grouped);
    out() << "recalculation (TSaldoFM::Recalculate), median of 5: " << w << " s (best "
          << *std::min_element(window.begin(), window.end()) << " s)\n";
    out() << "grouped sum (SQLite C API), median of 5: " << g << " s (best "
          << *std::min_element(grouped.begin(), grouped.end()) << " s)\n";
    out() << "ratio recalculation / grouped sum: " << w / g << "\n";
    out() << "balances equal to the grouped sums: " << same << " of " << check.recordCount()
          << "\n";
    out() << (w <= 3.0 ? "within" : "OVER") << " the 3 s budget\n";
    out().flush();
    return same == check.recordCount() && w <= 3.0 ? 0 : 1;
}

// bench_posting: the time that applying and rolling back one document takes,
// for each kind, on a database of a million documents, against the same
// statements in the same transaction written directly on the SQLite C API.
//
//   bench_posting [FILE] [--count N]
//
// FILE is a database made by "dorsanti-db create FILE --documents 1000000";
// the benchmark works on a copy of it. Without FILE it makes one. Each
// document is rolled back and applied again, so the copy ends as it began.

#include "Main_DM.h"
#include "VelDoc_Common.h"
#include "VelDoc_Type3.h"

#include "BenchFile.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

// ---------------------------------------------------------------- bare C API

void sqlNow(sqlite3_context* ctx, int, sqlite3_value**) {
    const QByteArray text =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    sqlite3_result_text(ctx, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

// The statements of the posting, prepared once on a connection of their own.
class Bare {
public:
    explicit Bare(const QString& path) {
        check(sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr));
        sqlite3_busy_timeout(m_db, 5000);
        sqlite3_create_function_v2(m_db, "Now", 0, SQLITE_UTF8, nullptr, sqlNow, nullptr, nullptr,
                                   nullptr);
        exec("PRAGMA foreign_keys = ON; PRAGMA journal_mode = DELETE;");
        m_begin = prepare("BEGIN IMMEDIATE");
        m_commit = prepare("COMMIT");
        m_read = prepare(
            "select d.CodTypeStatus, d.IdHeadAccount, d.ValueDocument*goi.SignInGroup as "
            "ValueDocument\nfrom (Document d\ninner join TypeDocument td on d.CodTypeDocument = "
            "td.CodTypeDocument)\nleft join (select * from GroupOperationItem where "
            "CodGroupOperation = 1) goi on td.CodTypeOperation = goi.CodTypeOperation\nwhere "
            "d.IdDocument = :IdDoc");
        m_apply = prepare(
            "update Document \nset CodTypeStatus = 2, DateApply = Now()\nwhere IdDocument = "
            ":IdDoc and CodTypeStatus = 1");
        m_ledger = prepare(
            "insert into DataAccount(CodTypeOperation, IdDocument,\nDateEnter, ValueDataAccount, "
            "IdHeadAccount, DateDocument)\nselect CodTypeDocument, IdDocument, Now(), "
            "ValueDocument,\nIdHeadAccount, DateDocument from Document\nwhere IdDocument = "
            ":IdDocument");
        m_add = prepare(
            "update HeadAccount\nset Saldo = round(Saldo + :ValueDoc, 4)\nwhere IdHeadAccount = "
            ":IdHA");
        m_unapply = prepare(
            "update Document set CodTypeStatus = 1, DateApply = null\nwhere IdDocument = :IdDoc "
            "and CodTypeStatus = 2");
        m_unledger = prepare("delete from DataAccount where IdDocument = :IdDoc");
        m_subtract = prepare(
            "update HeadAccount set Saldo = round(Saldo - :Value, 4)\nwhere IdHeadAccount = "
            ":IdHA");
        m_status = prepare("select * from Document where IdDocument= :IdDoc");
        m_apply3 = prepare(
            "update Document set CodTypeStatus = 2, DateApply = NOW() where IdDocument = :IdDoc "
            "and CodTypeStatus = 1");
        m_unapply3 = prepare(
            "update Document set CodTypeStatus = 1, DateApply = null where IdDocument = :IdDoc "
            "and CodTypeStatus = 2");
        m_ledger3 = prepare(
            "insert into DataAccount(CodTypeOperation, IdDocument,\nDateEnter, ValueDataAccount, "
            "IdHeadAccount, DateDocument)\nselect d.f1, d.f2, d.f3, d.f4, d.f5, d.f6 from (\n"
            "select 3 as f1, IdDocument as f2, Now() as f3, ValueDocument as f4,\nIdHeadAccount "
            "as f5, DateDocument as f6 from Document\nwhere IdDocument = :IdDocument1\nunion "
            "all\nselect 4, IdDocument, Now(), ValueDocument2,\nIdHeadAccount2, DateDocument "
            "from Document\nwhere IdDocument = :IdDocument2\n) d");
        m_sums = prepare(
            "select da.IdHeadAccount,   SUM(da.ValueDataAccount*goi.SignInGroup) as "
            "ValueDataAccount from DataAccount da inner join (select * from GroupOperationItem "
            "where CodGroupOperation = 1) goi   on da.CodTypeOperation = goi.CodTypeOperation "
            "where da.IdDocument = :IdDoc group by da.IdHeadAccount");
        m_move = prepare(
            "update HeadAccount set Saldo = round(Saldo + :Value, 4) where IdHeadAccount = :IdHA");
    }
    ~Bare() {
        for (sqlite3_stmt* s : m_all) {
            sqlite3_finalize(s);
        }
        sqlite3_close(m_db);
    }

    void exec(const char* sql) { check(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr)); }

    int applyCommon(int id) {
        step(m_begin);
        bind(m_read, ":IdDoc", id);
        if (!row(m_read) || sqlite3_column_int(m_read, 0) != 1) {
            return rollback();
        }
        const int account = sqlite3_column_int(m_read, 1);
        const double value = sqlite3_column_double(m_read, 2);
        sqlite3_reset(m_read);
        bind(m_apply, ":IdDoc", id);
        if (step(m_apply) != 1) {
            return rollback();
        }
        bind(m_ledger, ":IdDocument", id);
        step(m_ledger);
        check(sqlite3_bind_double(m_add, 1, value));
        bind(m_add, ":IdHA", account);
        step(m_add);
        step(m_commit);
        return id;
    }

    int rollBackCommon(int id) {
        step(m_begin);
        bind(m_read, ":IdDoc", id);
        if (!row(m_read) || sqlite3_column_int(m_read, 0) != 2) {
            return rollback();
        }
        const int account = sqlite3_column_int(m_read, 1);
        const double value = sqlite3_column_double(m_read, 2);
        sqlite3_reset(m_read);
        bind(m_unapply, ":IdDoc", id);
        if (step(m_unapply) != 1) {
            return rollback();
        }
        bind(m_unledger, ":IdDoc", id);
        step(m_unledger);
        check(sqlite3_bind_double(m_subtract, sqlite3_bind_parameter_index(m_subtract, ":Value"),
                                  value));
        bind(m_subtract, ":IdHA", account);
        step(m_subtract);
        step(m_commit);
        return id;
    }

    int applyTransfer(int id) {
        step(m_begin);
        if (status(id) != 1) {
            return rollback();
        }
        bind(m_apply3, ":IdDoc", id);
        if (step(m_apply3) != 1) {
            return rollback();
        }
        bind(m_ledger3, ":IdDocument1", id);
        bind(m_ledger3, ":IdDocument2", id);
        step(m_ledger3);
        post(id, 1);
        step(m_commit);
        return id;
    }

    int rollBackTransfer(int id) {
        step(m_begin);
        if (status(id) != 2) {
            return rollback();
        }
        bind(m_unapply3, ":IdDoc", id);
        if (step(m_unapply3) != 1) {
            return rollback();
        }
        post(id, -1);
        bind(m_unledger, ":IdDoc", id);
        const int removed = step(m_unledger);
        step(m_commit);
        return removed > 0 ? id : 0;
    }

private:
    void check(int rc) {
        if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE) {
            throw std::runtime_error(m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
        }
    }
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        check(sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr));
        m_all.push_back(s);
        return s;
    }
    void bind(sqlite3_stmt* s, const char* name, int value) {
        check(sqlite3_bind_int(s, sqlite3_bind_parameter_index(s, name), value));
    }
    // Steps a select to its next row: false at its end; an error raises.
    bool row(sqlite3_stmt* s) {
        const int rc = sqlite3_step(s);
        check(rc);
        return rc == SQLITE_ROW;
    }
    // Runs a statement that returns no rows; gives the rows it changed.
    int step(sqlite3_stmt* s) {
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        check(rc);
        return sqlite3_changes(m_db);
    }
    int rollback() {
        sqlite3_reset(m_read);
        exec("ROLLBACK");
        return 0;
    }
    int status(int id) {
        bind(m_status, ":IdDoc", id);
        int result = -1;
        if (row(m_status)) {
            for (int c = 0; c < sqlite3_column_count(m_status); ++c) {
                if (sqlite3_stricmp(sqlite3_column_name(m_status, c), "CodTypeStatus") == 0) {
                    result = sqlite3_column_int(m_status, c);
                }
            }
        }
        sqlite3_reset(m_status);
        return result;
    }
    void post(int id, int factor) {
        bind(m_sums, ":IdDoc", id);
        std::vector<std::pair<int, double>> sums;
        while (row(m_sums)) {
            sums.emplace_back(sqlite3_column_int(m_sums, 0), sqlite3_column_double(m_sums, 1));
        }
        sqlite3_reset(m_sums);
        for (const auto& [account, value] : sums) {
            check(sqlite3_bind_double(m_move, sqlite3_bind_parameter_index(m_move, ":Value"),
                                      value * factor));
            bind(m_move, ":IdHA", account);
            step(m_move);
        }
    }

    sqlite3* m_db = nullptr;
    std::vector<sqlite3_stmt*> m_all;
    sqlite3_stmt *m_begin, *m_commit, *m_read, *m_apply, *m_ledger, *m_add, *m_unapply,
        *m_unledger, *m_subtract, *m_status, *m_apply3, *m_unapply3, *m_ledger3, *m_sums, *m_move;
};

// ---------------------------------------------------------------- measuring

struct Timings {
    std::vector<qint64> ours;
    std::vector<qint64> bare;
};

qint64 timed(const std::function<int()>& run, int expected) {
    QElapsedTimer t;
    t.start();
    const int result = run();
    const qint64 ns = t.nsecsElapsed();
    if (result != expected) {
        throw std::runtime_error("a posting step did not go through");
    }
    return ns;
}

double medianMicros(std::vector<qint64> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    const double m = n % 2 ? double(v[n / 2]) : (double(v[n / 2 - 1]) + double(v[n / 2])) / 2;
    return m / 1000.0;
}

std::vector<int> sample(int type, int count) {
    DbQuery q(MainDM->ADOConnection1, QStringLiteral("sample"));
    q.setSql(QStringLiteral("select IdDocument from Document where CodTypeDocument = %1 and "
                            "CodTypeStatus = 2 order by random() limit %2")
                 .arg(type)
                 .arg(count));
    q.open();
    std::vector<int> ids;
    for (q.first(); !q.eof(); q.next()) {
        ids.push_back(q.field(QStringLiteral("IdDocument")).asInteger());
    }
    return ids;
}

void setSync(Bare& bare, bool full) {
    const char* sql = full ? "PRAGMA synchronous = FULL" : "PRAGMA synchronous = OFF";
    MainDM->ADOConnection1.executeScript(QString::fromLatin1(sql));
    bare.exec(sql);
}

// Rolls each document back and applies it again, ours and bare in turn, so
// that both meet the same pages in the same state of the cache.
void measure(Bare& bare, const std::vector<int>& ids, int type, Timings& rollBack,
             Timings& apply) {
    for (int id : ids) {
        if (type == 3) {
            rollBack.ours.push_back(timed([&] { return DeleteTransferDocConfirmed(id, 2); }, id));
            apply.ours.push_back(timed([&] { return ApplyTransferDoc(id); }, id));
            rollBack.bare.push_back(timed([&] { return bare.rollBackTransfer(id); }, id));
            apply.bare.push_back(timed([&] { return bare.applyTransfer(id); }, id));
        } else {
            rollBack.ours.push_back(timed([&] { return DeleteCommonVelDocConfirmed(id, 2); }, id));
            apply.ours.push_back(timed([&] { return ApplyCommonVelDoc(id); }, id));
            rollBack.bare.push_back(timed([&] { return bare.rollBackCommon(id); }, id));
            apply.bare.push_back(timed([&] { return bare.applyCommon(id); }, id));
        }
    }
}

int run(const QString& source, int count) {
    QTemporaryDir dir;
    const QString path = benchDatabase(source, dir, out());
    if (path.isEmpty()) {
        return 1;
    }

    TMainDM dm;
    dm.ADOConnection1.open(path);
    const int documents = [&] {
        DbQuery q(dm.ADOConnection1, QStringLiteral("count"));
        q.setSql(QStringLiteral("select count(*) as N from Document"));
        q.open();
        return q.field(QStringLiteral("N")).asInteger();
    }();
    Bare bare(path);
    out() << "database: " << path << ", " << documents << " documents; " << count
          << " documents of each kind, each rolled back and applied again\n";

    const std::map<int, const char*> kinds{{1, "expense"}, {2, "income"}, {3, "transfer"}};
    for (bool full : {true, false}) {
        setSync(bare, full);
        out() << "\nsynchronous = "
              << (full ? "FULL (as the program runs)" : "OFF (no disk waits)") << "\n";
        out() << QStringLiteral("%1 %2 %3 %4 %5\n")
                     .arg(QStringLiteral("kind"), -9)
                     .arg(QStringLiteral("operation"), -10)
                     .arg(QStringLiteral("ours, us"), 10)
                     .arg(QStringLiteral("bare C, us"), 11)
                     .arg(QStringLiteral("ratio"), 7);
        for (const auto& [type, name] : kinds) {
            const std::vector<int> ids = sample(type, count);
            Timings rollBack, apply;
            measure(bare, ids, type, rollBack, apply);
            for (const auto& [op, t] : {std::pair{"roll-back", &rollBack}, {"apply", &apply}}) {
                const double ours = medianMicros(t->ours);
                const double plain = medianMicros(t->bare);
                out() << QStringLiteral("%1 %2 %3 %4 %5\n")
                             .arg(QString::fromLatin1(name), -9)
                             .arg(QString::fromLatin1(op), -10)
                             .arg(ours, 10, 'f', 1)
                             .arg(plain, 11, 'f', 1)
                             .arg(ours / plain, 7, 'f', 2);
            }
        }
    }
    out().flush();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QString source;
    int count = 300;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--count") && i + 1 < args.size()) {
            count = std::max(1, args[++i].toInt());
        } else {
            source = args[i];
        }
    }
    try {
        return run(source, count);
    } catch (const std::exception& e) {
        out() << "error: " << e.what() << "\n";
        return 1;
    }
}

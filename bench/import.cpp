// Figures of the import with suggested categories, on the demo family's file
// with a year of card payments to 40 payees added.
//
//   bench_import [--lines N]
//
// Speed: a statement of N lines (10 000 by default) previewed (read and
// planned) and carried out with suggestions on, each beside the bare engine
// writing the same rows in the same run. Accuracy: the last month's documents
// deleted and that month's statement imported back; the share of the lines
// whose counterparty appeared before that get the category they had.

#include "CsvReader.h"
#include "Db.h"
#include "ImportPlan.h"
#include "SqlCursor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {

// A payee as the bank writes it, the counterparty the family keeps for it,
// and the category the family usually gives it. Half the payees are written
// by the bank just as the family named them; the others only by the bank's
// Latin name, so that their notes must be told apart by their pattern.
struct Payee {
    QString bankName;
    QString caption;
    qint64 idContrAgent = 0;
    qint64 idCategory = 0;
};

const char* const kNames[] = {
    "PYATEROCHKA",  "MAGNIT",        "PEREKRESTOK", "VKUSVILL",    "AUCHAN",       "LENTA",
    "DIXY",         "METRO",         "OKEY",        "SPAR",        "APTEKA RIGLA", "APTEKA 36.6",
    "GORZDRAV",     "SHOKOLADNITSA", "KOFEMANIA",   "STARBUCKS",   "BURGER KING",  "TEREMOK",
    "YANDEX TAXI",  "CITYMOBIL",     "MOSMETRO",    "LUKOIL",      "GAZPROMNEFT",  "ROSNEFT",
    "OZON",         "WILDBERRIES",   "LAMODA",      "DNS",         "MVIDEO",       "ELDORADO",
    "LEROY MERLIN", "IKEA",          "OBI",         "SPORTMASTER", "DECATHLON",    "DETSKIY MIR",
    "KINO MORI",    "KARO FILM",     "LITRES",      "CHITAI GOROD"};

double seconds(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e9;
}

void exec(DbConnection& c, const QString& sql) {
    c.executeScript(sql);
}

qint64 scalar(DbConnection& c, const QString& sql) {
    DbQuery q(c);
    q.setSql(sql);
    q.open();
    return q.isEmpty() ? 0 : q.value(0, 0).toLongLong();
}

// The family's 40 payees as counterparties, each with a usual category.
QVector<Payee> addPayees(DbConnection& c) {
    DbQuery categories(c);
    categories.setSql(QStringLiteral("select IdCategory from Category order by IdCategory"));
    categories.open();
    QVector<qint64> ids;
    for (categories.first(); !categories.eof(); categories.next()) {
        ids << categories.field(QStringLiteral("IdCategory")).asInteger();
    }
    QVector<Payee> payees;
    SqlCursor insert(c, QStringLiteral("insert into ContrAgent(Caption, [Note]) "
                                       "values(:Caption, '')"));
    for (int i = 0; i < 40; ++i) {
        Payee p;
        p.bankName = QString::fromLatin1(kNames[i]);
        p.caption = i % 2 == 0 ? p.bankName : QStringLiteral("Магазин «%1»").arg(p.bankName);
        insert.bindText(":Caption", p.caption);
        insert.execute();
        p.idContrAgent = c.lastInsertRowId();
        p.idCategory = ids[(i * 7) % ids.size()];
        payees << p;
    }
    return payees;
}

// The bank's description of one card payment: store number and time vary.
QString description(const Payee& p, QDate day, QRandomGenerator& random) {
    return QStringLiteral("Оплата в %1 %2 MOSCOW RUS %3 %4:%5")
        .arg(p.bankName)
        .arg(random.bounded(1000, 9999))
        .arg(day.toString(QStringLiteral("dd.MM.yyyy")))
        .arg(random.bounded(24), 2, 10, QLatin1Char('0'))
        .arg(random.bounded(60), 2, 10, QLatin1Char('0'));
}

struct Payment {
    QDate date;
    Money amount;
    QString note;
    int payee = 0;
    qint64 idCategory = 0;
};

// A year of card payments, ten a day, 2% of them in another category.
QVector<Payment> year(const QVector<Payee>& payees, QDate from, QRandomGenerator& random) {
    QVector<Payment> out;
    for (QDate day = from; day < from.addYears(1); day = day.addDays(1)) {
        for (int n = 0; n < 10; ++n) {
            Payment p;
            p.date = day;
            p.payee = random.bounded(int(payees.size()));
            p.amount = Money::fromUnits(qint64(random.bounded(5000, 900000)) * 100);
            p.note = description(payees[p.payee], day, random);
            p.idCategory = random.bounded(100) < 2
                               ? payees[(p.payee + 1) % payees.size()].idCategory
                               : payees[p.payee].idCategory;
            out << p;
        }
    }
    return out;
}

void addDocuments(DbConnection& c, qint64 account, const QVector<Payee>& payees,
                  const QVector<Payment>& payments) {
    Transaction tr(c);
    SqlCursor insert(c, QStringLiteral("insert into Document(DateEnter, DateDocument,\n"
                                       "  ValueDocument, CodTypeDocument, IdHeadAccount,\n"
                                       "  IdCategory, NoteDocument, CodTypeStatus, IdContrAgent)\n"
                                       "values(Now(), :Date, :Value, 1, :Account, :Category,\n"
                                       "  :Note, 1, :ContrAgent)"));
    for (const Payment& p : payments) {
        insert.bindText(":Date", storedDate(p.date));
        insert.bindMoney(":Value", p.amount);
        insert.bindInteger(":Account", account);
        insert.bindInteger(":Category", p.idCategory);
        insert.bindText(":Note", p.note);
        insert.bindInteger(":ContrAgent", payees[p.payee].idContrAgent);
        insert.execute();
    }
    tr.commit();
}

// The payments as a card statement: the payee as the bank names it.
QByteArray statementOf(const QVector<Payee>& payees, const QVector<Payment>& payments) {
    QByteArray out = "Дата;Сумма;Описание;Контрагент\n";
    for (const Payment& p : payments) {
        const Payee& payee = payees[p.payee];
        out +=
            QStringLiteral("%1;-%2;%3;%4\n")
                .arg(p.date.toString(QStringLiteral("dd.MM.yyyy")),
                     p.amount.rounded(2).toString(2).replace(QLatin1Char('.'), QLatin1Char(',')),
                     p.note,
                     p.payee % 2 == 0 ? payee.caption : payee.bankName + QStringLiteral(" MSK"))
                .toUtf8();
    }
    return out;
}

// The bare engine writing the rows an import of `lines` documents writes.
double bareInserts(const QString& path, int lines) {
    sqlite3* db = nullptr;
    // Every call of the engine is checked: a bare run that failed half way
    // would look fast.
    const auto check = [&db](int rc) {
        if (rc != SQLITE_OK && rc != SQLITE_DONE) {
            raiseEngineError(db, rc);
        }
    };
    check(sqlite3_open(QFile::encodeName(path).constData(), &db));
    QElapsedTimer t;
    t.start();
    check(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
    sqlite3_stmt* doc = nullptr;
    sqlite3_stmt* key = nullptr;
    check(sqlite3_prepare_v2(db,
                             "insert into Document(DateEnter, DateDocument, ValueDocument, "
                             "CodTypeDocument, IdHeadAccount, IdCategory, NoteDocument, "
                             "CodTypeStatus, IdContrAgent) values('2026-01-01 00:00:00', ?, ?, "
                             "1, 2, 1, ?, 1, 1)",
                             -1, &doc, nullptr));
    check(sqlite3_prepare_v2(db,
                             "insert into ImportedLine(IdHeadAccount, LineKey, IdDocument) "
                             "values(2, ?, ?)",
                             -1, &key, nullptr));
    for (int i = 0; i < lines; ++i) {
        const QByteArray note = "Оплата в PYATEROCHKA " + QByteArray::number(i) + " MOSCOW RUS";
        check(sqlite3_bind_text(doc, 1, "2027-01-01 00:00:00", -1, SQLITE_STATIC));
        check(sqlite3_bind_double(doc, 2, 100 + i));
        check(sqlite3_bind_text(doc, 3, note.constData(), int(note.size()), SQLITE_TRANSIENT));
        check(sqlite3_step(doc));
        check(sqlite3_reset(doc));
        const QByteArray k = "bare|" + QByteArray::number(i);
        check(sqlite3_bind_text(key, 1, k.constData(), int(k.size()), SQLITE_TRANSIENT));
        check(sqlite3_bind_int64(key, 2, sqlite3_last_insert_rowid(db)));
        check(sqlite3_step(key));
        check(sqlite3_reset(key));
    }
    sqlite3_finalize(doc);
    sqlite3_finalize(key);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr));
    const double s = seconds(t);
    sqlite3_close(db);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int at = int(args.indexOf(QStringLiteral("--lines")));
    const int lines = at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : 10000;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("demo.db"));
    QProcess tool;
    tool.start(QStringLiteral(DORSANTI_DB_TOOL),
               {QStringLiteral("create"), path, QStringLiteral("--demo")});
    if (!tool.waitForFinished(120000) || tool.exitCode() != 0) {
        std::printf("dorsanti-db create --demo failed\n");
        return 1;
    }
    DbConnection c;
    c.open(path);
    QRandomGenerator random(21);
    const QVector<Payee> payees = addPayees(c);
    const qint64 card =
        scalar(c, QStringLiteral("select min(IdHeadAccount) from HeadAccount ha join Valuta v "
                                 "on v.IdValuta = ha.IdValuta where v.Caption = 'RUB'"));
    const QVector<Payment> payments = year(payees, QDate(2027, 1, 1), random);
    addDocuments(c, card, payees, payments);

    // Accuracy: December goes, and comes back from the bank's statement.
    QVector<Payment> december;
    for (const Payment& p : payments) {
        if (p.date >= QDate(2027, 12, 1)) {
            december << p;
        }
    }
    exec(c, QStringLiteral("delete from Document where DateDocument >= '2027-12-01'"));
    const QString decemberPath = dir.filePath(QStringLiteral("december.csv"));
    {
        QFile f(decemberPath);
        f.open(QIODevice::WriteOnly);
        f.write(statementOf(payees, december));
    }
    const ImportResult back = importStatement(c, card, CsvReader().read(decemberPath), {});
    int right = 0;
    for (qsizetype i = 0; i < back.documents.size() && i < december.size(); ++i) {
        right += back.documents[i].idCategory == december[i].idCategory ? 1 : 0;
    }
    std::printf(
        "suggested categories: %d of %lld lines of a month whose counterparty appeared "
        "before get the category they had: %.1f%% (at least 95%% wanted; 2%% of the "
        "payments were in another category)\n",
        right, qint64(december.size()), 100.0 * right / december.size());

    // Speed: a statement of `lines` payments to the same payees, a year on.
    QVector<Payment> more;
    for (int i = 0; i < lines; ++i) {
        Payment p;
        p.date = QDate(2028, 1, 1).addDays(i * 365 / lines);
        p.payee = random.bounded(int(payees.size()));
        p.amount = Money::fromUnits(qint64(random.bounded(5000, 900000)) * 100);
        p.note = description(payees[p.payee], p.date, random);
        more << p;
    }
    const QString statementPath = dir.filePath(QStringLiteral("statement.csv"));
    {
        QFile f(statementPath);
        f.open(QIODevice::WriteOnly);
        f.write(statementOf(payees, more));
    }
    const QString barePath = dir.filePath(QStringLiteral("bare.db"));
    c.close();
    QFile::copy(path, barePath);
    const double bare = bareInserts(barePath, lines);
    c.open(path);

    QElapsedTimer t;
    t.start();
    const ImportPlan plan =
        planImport(c, card, CsvReader().read(statementPath), ImportOptions{}, ImportSettings{});
    const double preview = seconds(t);
    int suggested = 0;
    for (const PlannedLine& l : plan.lines) {
        suggested += l.idCategory > 0 ? 1 : 0;
    }
    t.restart();
    const ImportResult r = carryOutImport(c, plan);
    const double write = seconds(t);
    std::printf(
        "a %d-line statement on the demo file with a year of history: previewed in "
        "%.2f s (%.1fx the bare engine's inserts, %.2f s; under 1 s wanted), %d lines "
        "with a suggested category; carried out in %.2f s (%.1fx; under 2 s wanted), "
        "%lld documents; %.2f s from the file to the books\n",
        lines, preview, preview / bare, bare, suggested, write, write / bare,
        qint64(r.documents.size()), preview + write);
    return 0;
}

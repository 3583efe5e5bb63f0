#include "Reliability.h"

#include "Db.h"
#include "DbSchema.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace Reliability {

void makeDatabase(const QString& path, int documents) {
    CreateDatabaseFile(path);
    DbConnection c;
    c.open(path);
    Transaction tr(c);
    c.executeScript(QStringLiteral(
        "insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль'), ('USD', 'Доллар');"
        "insert into HeadAccount(Caption, [Note], IdValuta) values"
        "  ('Наличные', '', 1), ('Карта', '', 1), ('Вклад', '', 1), ('Доллары', '', 2);"));
    DbQuery q(c, QStringLiteral("docs"));
    q.addSql(QStringLiteral("insert into Document(DateEnter, DateDocument, ValueDocument,"));
    q.addSql(QStringLiteral(" CodTypeDocument, IdHeadAccount, NoteDocument, CodTypeStatus,"));
    q.addSql(QStringLiteral(" ValueDocument2, Kurs1, Kurs2, IdHeadAccount2)"));
    q.addSql(QStringLiteral("values(Now(), :Date, :Value, :Type, :Account, '', 1, :Value2,"));
    q.addSql(QStringLiteral(" :Kurs1, :Kurs2, :Account2)"));
    for (int i = 0; i < documents; ++i) {
        const int type = 1 + i % 3;
        q.bindDate(QStringLiteral("Date"), QDate(2026, 1, 1).addDays(i % 300));
        // Four decimals, so that every digit of a balance is checked.
        q.bindMoney(QStringLiteral("Value"), Money::fromUnits(10000 + i * 1237));
        q.bindInteger(QStringLiteral("Type"), type);
        q.bindInteger(QStringLiteral("Account"), 1 + i % 4);
        if (type == 3) {
            // Every fifth transfer stays within one account.
            const int second = (i / 3) % 5 == 0 ? 1 + i % 4 : 1 + (i + 1) % 4;
            q.bindMoney(QStringLiteral("Value2"), Money::fromUnits(5000 + i * 311));
            q.bindDouble(QStringLiteral("Kurs1"), 1);
            q.bindDouble(QStringLiteral("Kurs2"), 1);
            q.bindInteger(QStringLiteral("Account2"), second);
        } else {
            for (const char* name : {"Value2", "Kurs1", "Kurs2", "Account2"}) {
                q.bindNull(QString::fromLatin1(name));
            }
        }
        q.execute();
    }
    tr.commit();
}

QString Check::describe() const {
    return QStringLiteral("integrity=%1 documents=%2 applied=%3 balanceMismatches=%4 "
                          "newWithLedger=%5 appliedIncomplete=%6")
        .arg(integrity)
        .arg(documents)
        .arg(applied)
        .arg(balanceMismatches)
        .arg(newWithLedger)
        .arg(appliedIncomplete);
}

Check inspect(const QString& path) {
    Check check;
    DbConnection c;
    c.open(path);
    DbQuery q(c, QStringLiteral("inspect"));
    q.setSql(QStringLiteral("PRAGMA integrity_check"));
    q.open();
    check.integrity = q.value(0, 0).toString();

    // Balances against the signed ledger, summed exactly.
    QHash<qint64, Money> ledger;
    q.clearSql();
    q.addSql(QStringLiteral("select da.IdHeadAccount, da.ValueDataAccount, goi.SignInGroup"));
    q.addSql(QStringLiteral("from DataAccount da join GroupOperationItem goi"));
    q.addSql(QStringLiteral(" on goi.CodGroupOperation = 1 and goi.CodTypeOperation ="));
    q.addSql(QStringLiteral(" da.CodTypeOperation"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        ledger[q.field(QStringLiteral("IdHeadAccount")).asInt64()] +=
            q.field(QStringLiteral("ValueDataAccount")).asMoney() *
            q.field(QStringLiteral("SignInGroup")).asInteger();
    }
    q.setSql(QStringLiteral("select IdHeadAccount, Saldo from HeadAccount"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        if (q.field(QStringLiteral("Saldo")).asMoney() !=
            ledger.value(q.field(QStringLiteral("IdHeadAccount")).asInt64())) {
            ++check.balanceMismatches;
        }
    }

    q.clearSql();
    q.addSql(QStringLiteral("select d.CodTypeStatus, d.CodTypeDocument,"));
    q.addSql(QStringLiteral(" (select count(*) from DataAccount da"));
    q.addSql(QStringLiteral("  where da.IdDocument = d.IdDocument) as Rows"));
    q.addSql(QStringLiteral("from Document d"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        ++check.documents;
        const int status = q.field(QStringLiteral("CodTypeStatus")).asInteger();
        const int rows = q.field(QStringLiteral("Rows")).asInteger();
        const int expected = q.field(QStringLiteral("CodTypeDocument")).asInteger() == 3 ? 2 : 1;
        if (status == 1 && rows != 0) {
            ++check.newWithLedger;
        }
        if (status == 2) {
            ++check.applied;
            if (rows != expected) {
                ++check.appliedIncomplete;
            }
        }
    }
    return check;
}

QString scratchFolder() {
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.absoluteFilePath() : QDir::tempPath();
}

}  // namespace Reliability

// dorsanti-db check against the ledger, and what the check and its repair
// must leave as they found it.
#include "TestDb.h"
#include "ToolRun.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

// The stock sqlite3 program: it checks no relations and knows none of ours.
QString shell(const QString& path, const QString& sql) {
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {path, sql});
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QByteArray digest(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex()
               : QByteArray();
}

QString firstApplied(const QString& path, int type) {
    return shell(path, QStringLiteral("select min(IdDocument) from Document where "
                                      "CodTypeStatus = 2 and CodTypeDocument = %1")
                           .arg(type));
}

}  // namespace

class Check : public DbTest {
protected:
    QString demo() {
        const QString path = m_dir->filePath(QStringLiteral("family.db"));
        EXPECT_EQ(runTool({QStringLiteral("create"), path, QStringLiteral("--demo")}).exitCode, 0);
        return path;
    }
};

TEST_F(Check, AppliedDocumentsMeetTheirLedgerAndRowsOfMissingDocumentsGo) {
    const QString path = demo();
    const QString expense = firstApplied(path, 1), income = firstApplied(path, 2),
                  transfer = firstApplied(path, 3);
    shell(path, QStringLiteral("update Document set ValueDocument = 99999 where IdDocument = %1;"
                               "update Document set ValueDocument2 = 1 where IdDocument = %2;"
                               "insert into ImportedLine values (1, 'k', %3);"
                               "delete from Document where IdDocument = %3;"
                               "update DataAccount set CodTypeOperation = 2 where IdDocument = ("
                               "select min(IdDocument) from Document where CodTypeStatus = 2 "
                               "and CodTypeDocument = 1 and IdDocument > %1)")
                    .arg(expense, transfer, income));
    ToolRun r = runTool({QStringLiteral("check"), path});
    EXPECT_EQ(r.exitCode, 1);
    for (const QString& expected :
         {QStringLiteral("с которыми не сходятся их проводки: 3\n  документ %1 (Расход от ")
              .arg(expense),
          QStringLiteral("): сумма 99999.00, в проводке "),
          QStringLiteral("): операция в проводке 2, должна быть 1\n"),
          QStringLiteral("  документ %1 (Перенос от ").arg(transfer),
          QStringLiteral("): сумма №2 1.00, в проводке "),
          QStringLiteral("Проводки документов, которых нет: 1\n"),
          QStringLiteral(
              "документов, которых нет: 1\n  документ %1: счет 1, строка выписки \"k\"\n")
              .arg(income)}) {
        EXPECT_TRUE(r.out.contains(expected)) << expected.toStdString() << "\n"
                                              << r.out.toStdString();
    }
    EXPECT_FALSE(r.out.contains(QStringLiteral("строка 0"))) << r.out.toStdString();

    r = runTool({QStringLiteral("check"), path, QStringLiteral("--repair")});
    EXPECT_EQ(r.exitCode, 1);  // the documents are the family's to mend
    for (const QString& expected :
         {QStringLiteral("  удалено проводок документов, которых нет: 1\n"),
          QStringLiteral("  удалено отметок импортированных строк документов, которых нет: 1\n"),
          QStringLiteral("  остаток счета "),
          QStringLiteral(
              "  Проведенные документы, с которыми не сходятся их проводки (3): не исправлено")}) {
        EXPECT_TRUE(r.out.contains(expected)) << expected.toStdString() << "\n"
                                              << r.out.toStdString();
    }
    EXPECT_EQ(r.out.section(QStringLiteral("Проверка после исправления:\n"), 1)
                  .section(QLatin1Char('\n'), 0, 0),
              QStringLiteral("Проведенные документы, с которыми не сходятся их проводки: 3"));
    EXPECT_EQ(
        shell(path, QStringLiteral("select ValueDocument from Document where IdDocument = %1")
                        .arg(expense)),
        QStringLiteral("99999"));
}

TEST_F(Check, NeitherChangesTheJournalModeAndARepairWithoutASignKeepsTheBalances) {
    const QString path = demo();
    shell(path, QStringLiteral("pragma journal_mode = wal;"
                               "delete from GroupOperationItem where CodTypeOperation = 4"));
    const QString balances = QStringLiteral("select group_concat(Saldo, ' ') from HeadAccount");
    const QString saldo = shell(path, balances);
    const QByteArray bytes = digest(path);
    EXPECT_EQ(runTool({QStringLiteral("check"), path}).exitCode, 1);
    EXPECT_EQ(digest(path), bytes);

    const ToolRun r = runTool({QStringLiteral("check"), path, QStringLiteral("--repair")});
    EXPECT_TRUE(
        r.out.contains(QStringLiteral("Исправлять нечего.\nНе тронуто:\n  остатки счетов не "
                                      "пересчитаны: нет знака операции 4 в группе 1")))
        << r.out.toStdString();
    EXPECT_EQ(shell(path, balances), saldo);
    EXPECT_EQ(shell(path, QStringLiteral("pragma journal_mode")), QStringLiteral("wal"));

    const QString missing = m_dir->filePath(QStringLiteral("missing.db"));
    EXPECT_EQ(runTool({QStringLiteral("check"), missing, QStringLiteral("--repair")}).exitCode, 2);
    EXPECT_EQ(runTool({QStringLiteral("check"), path, QStringLiteral("--fix")}).exitCode, 2);
}

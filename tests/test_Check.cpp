// dorsanti-db check against the ledger, and what check and repair leave as they were.
#include "TestDb.h"
#include "ToolRun.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace {

// The stock sqlite3 program: it checks no relations and knows none of ours.
QString shell(const QString& path, const QString& sql) {
    QProcess p;
    p.start(u"sqlite3"_s, {path, sql});
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void expectAll(const QString& out, const QStringList& parts) {
    for (const QString& part : parts) {
        EXPECT_TRUE(out.contains(part)) << part.toStdString() << "\n" << out.toStdString();
    }
}

}  // namespace

using Check = DbTest;

TEST_F(Check, AppliedDocumentsMeetTheirLedgerAndRowsOfMissingDocumentsGo) {
    const QString path = m_dir->filePath(u"family.db"_s);
    ASSERT_EQ(runTool({u"create"_s, path, u"--demo"_s}).exitCode, 0);
    // The first applied expense, income and transfer.
    const QStringList id = shell(path,
                                 u"select min(IdDocument) from Document where "
                                 "CodTypeStatus = 2 group by CodTypeDocument"_s)
                               .split(u'\n');
    ASSERT_EQ(id.size(), 3);
    shell(path,
          u"update Document set ValueDocument = 99999 where IdDocument = %1;"
          "update Document set ValueDocument2 = 1 where IdDocument = %3;"
          "insert into ImportedLine values (1, 'k', %2);"
          "delete from Document where IdDocument = %2;"
          "update DataAccount set CodTypeOperation = 2 where IdDocument = (select "
          "min(IdDocument) from Document where CodTypeStatus = 2 and CodTypeDocument = 1 "
          "and IdDocument > %1)"_s.arg(id[0], id[1], id[2]));
    ToolRun r = runTool({u"check"_s, path});
    EXPECT_EQ(r.exitCode, 1);
    expectAll(r.out,
              {u"не сходятся их проводки: 3\n  документ %1 (Расход от "_s.arg(id[0]),
               u"): сумма 99999.00, в проводке "_s, u"): операция в проводке 2, должна быть 1\n"_s,
               u"  документ %1 (Перенос от "_s.arg(id[2]), u"): сумма №2 1.00, в проводке "_s,
               u"Проводки документов, которых нет: 1\n"_s,
               u"которых нет: 1\n  документ %1: счет 1, строка выписки \"k\"\n"_s.arg(id[1])});
    EXPECT_FALSE(r.out.contains(u"строка 0"_s)) << r.out.toStdString();

    // Only the rows of missing documents go; the balances follow the ledger.
    r = runTool({u"check"_s, path, u"--repair"_s});
    EXPECT_EQ(r.exitCode, 1);
    expectAll(r.out, {u"  удалено проводок документов, которых нет: 1\n  удалено отметок "
                      "импортированных строк документов, которых нет: 1\n  остаток счета "_s,
                      u"не сходятся их проводки (3): не исправлено"_s,
                      u"не сходятся их проводки: 3\n"_s, u"Найдено проблем: 1.\n"_s});
}

TEST_F(Check, NeitherChangesTheJournalModeAndARepairWithoutASignKeepsTheBalances) {
    const QString path = m_dir->filePath(u"family.db"_s);
    ASSERT_EQ(runTool({u"create"_s, path, u"--demo"_s}).exitCode, 0);
    shell(path,
          u"pragma journal_mode = wal; delete from GroupOperationItem where "
          "CodTypeOperation = 4"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    const QByteArray before = file.readAll();
    const QString saldo = shell(path, u"select group_concat(Saldo, ' ') from HeadAccount"_s);
    EXPECT_EQ(runTool({u"check"_s, path}).exitCode, 1);
    EXPECT_TRUE(file.seek(0) && file.readAll() == before);

    expectAll(runTool({u"check"_s, path, u"--repair"_s}).out,
              {u"Исправлять нечего.\nНе тронуто:\n  остатки счетов не пересчитаны: нет знака "
               "операции 4 в группе 1"_s});
    EXPECT_EQ(shell(path, u"select group_concat(Saldo, ' ') from HeadAccount"_s), saldo);
    EXPECT_EQ(shell(path, u"pragma journal_mode"_s), u"wal"_s);
    EXPECT_EQ(runTool({u"check"_s, m_dir->filePath(u"none.db"_s), u"--repair"_s}).exitCode, 2);
    EXPECT_EQ(runTool({u"check"_s, path, u"--fix"_s}).exitCode, 2);
}

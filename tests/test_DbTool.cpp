// The database tool, run as a person runs it.
#include "TestDb.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

struct ToolRun {
    int exitCode;
    QString out;
    QString err;
};

ToolRun runTool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(DORSANTI_DB_TOOL), args);
    if (!p.waitForFinished(120000)) {
        return {-1, {}, QStringLiteral("timed out")};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

class DbTool : public DbTest {
protected:
    void reopen(const QString& path) { reopenTestConnection(path); }
};

TEST_F(DbTool, DemoBalancesEqualTheirSignedLedger) {
    const QString path = m_dir->filePath(QStringLiteral("demo.db"));
    const ToolRun r = runTool({QStringLiteral("create"), path, QStringLiteral("--demo")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Created ")));
    reopen(path);

    EXPECT_GE(count(QStringLiteral("Valuta")), 2);
    EXPECT_GE(count(QStringLiteral("HeadAccount")), 4);
    EXPECT_GT(count(QStringLiteral("Category")), 0);
    EXPECT_GT(count(QStringLiteral("ContrAgent")), 0);
    for (int type : {1, 2, 3}) {
        for (int status : {1, 2}) {
            EXPECT_GT(count(QStringLiteral("Document"),
                            QStringLiteral("CodTypeDocument = %1 and CodTypeStatus = %2")
                                .arg(type)
                                .arg(status)),
                      0)
                << type << "/" << status;
        }
    }
    expectLedgerRowsMatchStatus();
    EXPECT_EQ(count(QStringLiteral("Document"),
                    QStringLiteral("CodTypeStatus = 2 and DateApply is null")),
              0);
    EXPECT_EQ(count(QStringLiteral("Document"),
                    QStringLiteral("substr(DateDocument, 12) <> '00:00:00'")),
              0);
    expectBalancesMatchLedger();
    EXPECT_NE(scalar(QStringLiteral("select count(*) from HeadAccount where Saldo <> 0")).toInt(), 0);
}

TEST_F(DbTool, MakesTheAskedNumberOfDocuments) {
    const QString path = m_dir->filePath(QStringLiteral("many.db"));
    const ToolRun r = runTool({QStringLiteral("create"), path, QStringLiteral("--documents"),
                           QStringLiteral("5000")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    reopen(path);
    EXPECT_EQ(count(QStringLiteral("Document")), 5000);
    expectBalancesMatchLedger();
}

TEST_F(DbTool, AnEmptyDatabaseHasOnlyTheConfiguration) {
    const QString path = m_dir->filePath(QStringLiteral("empty.db"));
    ASSERT_EQ(runTool({QStringLiteral("create"), path}).exitCode, 0);
    reopen(path);
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
    EXPECT_EQ(count(QStringLiteral("HeadAccount")), 0);
    EXPECT_EQ(count(QStringLiteral("sec_user")), 1);
    EXPECT_EQ(count(QStringLiteral("TypeDocument")), 4);
}

TEST_F(DbTool, RefusesAnExistingPathAndLeavesItAlone) {
    const QString path = m_dir->filePath(QStringLiteral("mine.db"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("family savings");
    f.close();
    const ToolRun r = runTool({QStringLiteral("create"), path, QStringLiteral("--demo")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("already exists"))) << r.err.toStdString();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("family savings"));
    // Nothing else was left in the folder.
    EXPECT_EQ(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // test.db too
}

TEST_F(DbTool, ReportsAFolderItCannotWriteTo) {
    const QString path = m_dir->filePath(QStringLiteral("no/such/folder/x.db"));
    const ToolRun r = runTool({QStringLiteral("create"), path});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("cannot create"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(path));

    const ToolRun bad = runTool({QStringLiteral("create")});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("usage")));
}

TEST_F(DbTool, TheStockToolOpensTheFile) {
    const QString path = m_dir->filePath(QStringLiteral("demo.db"));
    ASSERT_EQ(runTool({QStringLiteral("create"), path, QStringLiteral("--demo")}).exitCode, 0);
    QProcess p;
    p.start(QStringLiteral("sqlite3"),
            {path, QStringLiteral("PRAGMA integrity_check; PRAGMA foreign_key_check; "
                                  "select count(*) > 0 from Document;")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()), QStringLiteral("ok\n1\n"));
}

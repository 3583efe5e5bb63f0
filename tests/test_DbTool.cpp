// The database tool, run as a person runs it.
#include "TestDb.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>

class DbTool : public DbTest {
protected:
    void reopen(const QString& path) { reopenTestConnection(path); }
};

TEST_F(DbTool, DemoBalancesEqualTheirSignedLedger) {
    const QString path = m_dir->filePath(QStringLiteral("demo.db"));
    const ToolRun r = runTool({QStringLiteral("create"), path, QStringLiteral("--demo")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Файл %1 создан за ").arg(path)));
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
    EXPECT_NE(scalar(QStringLiteral("select count(*) from HeadAccount where Saldo <> 0")).toInt(),
              0);
}

TEST_F(DbTool, MakesTheAskedNumberOfDocuments) {
    const QString path = m_dir->filePath(QStringLiteral("many.db"));
    const ToolRun r = runTool(
        {QStringLiteral("create"), path, QStringLiteral("--documents"), QStringLiteral("5000")});
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
    EXPECT_TRUE(r.err.contains(QStringLiteral("уже существует"))) << r.err.toStdString();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("family savings"));
    // Nothing else was left in the folder.
    EXPECT_EQ(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(),
              onServer() ? 1 : 2);  // and the test's own file
}

TEST_F(DbTool, ReportsAFolderItCannotWriteTo) {
    const QString path = m_dir->filePath(QStringLiteral("no/such/folder/x.db"));
    const ToolRun r = runTool({QStringLiteral("create"), path});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(QStringLiteral("не удалось создать"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(path));

    const ToolRun bad = runTool({QStringLiteral("create")});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("Использование:")));
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

// Help on standard output with exit code 0; a call that cannot run says first
// what is wrong with it, then shows the usage on standard error, exit code 2.
TEST_F(DbTool, HelpAndWrongCallsSayWhatTheyMean) {
    for (const auto& [call, first] :
         QList<std::pair<QString, QString>>{{"--help", "create"},
                                            {"-h", "create"},
                                            {"help", "create"},
                                            {"import --help", "import"},
                                            {"help user", "user"},
                                            {"check -h", "check"}}) {
        const ToolRun r = runTool(call.split(QLatin1Char(' ')));
        EXPECT_EQ(r.exitCode, 0) << call.toStdString();
        EXPECT_EQ(r.err, QString());
        EXPECT_TRUE(
            r.out.startsWith(QStringLiteral("Использование:\n  dorsanti-db %1 ").arg(first)));
        // The whole usage, or that command's part of it alone.
        EXPECT_EQ(r.out.contains(QStringLiteral("\n\n")), !call.contains(QLatin1Char(' ')));
    }
    for (const auto& [call, problem] : QList<std::pair<QString, QString>>{
             {"", "не указана команда"},
             {"foo", "неизвестная команда \"foo\""},
             {"create X --documents", "у параметра --documents нет значения"},
             {"check", "не указан файл базы данных"},
             {"backup X X x", "лишний аргумент \"x\""},
             {"restore X", "не указан файл базы данных"},
             {"user add X", "не указано имя пользователя"},
             {"user list X --password-stdin", "неизвестный параметр --password-stdin"}}) {
        const QString path = m_dir->filePath(QStringLiteral("x.db"));
        const ToolRun r = runTool(QString(call)
                                      .replace(QLatin1Char('X'), path)
                                      .split(QLatin1Char(' '), Qt::SkipEmptyParts));
        EXPECT_EQ(r.exitCode, 2) << call.toStdString();
        EXPECT_EQ(r.out, QString());
        EXPECT_EQ(r.err.section(QLatin1Char('\n'), 0, 1),
                  QStringLiteral("dorsanti-db: %1\nИспользование:").arg(problem));
        EXPECT_FALSE(QFile::exists(path));
    }
}

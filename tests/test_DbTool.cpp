// The database tool, run as a person runs it.
#include "TestDb.h"
#include "ToolRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    EXPECT_EQ(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // test.db too
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
    const QString help = QStringLiteral("--help");
    for (const QStringList& call : QList<QStringList>{{help},
                                                      {QStringLiteral("-h")},
                                                      {QStringLiteral("help")},
                                                      {QStringLiteral("help"), help}}) {
        const ToolRun r = runTool(call);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, QString());
        EXPECT_TRUE(r.out.startsWith(QStringLiteral("Использование:\n  dorsanti-db ")));
    }
    const QString all = runTool({help}).out;
    for (const char* command : {"create", "check", "backup", "restore", "recover", "user",
                                "accounts", "import", "export"}) {
        // Each command's own usage is a part of the whole one.
        for (const QStringList& call :
             {QStringList{QLatin1String(command), help},
              QStringList{QStringLiteral("help"), QLatin1String(command)}}) {
            const ToolRun r = runTool(call);
            EXPECT_EQ(r.exitCode, 0) << command;
            EXPECT_TRUE(all.contains(r.out.mid(r.out.indexOf(QLatin1Char('\n')))))
                << r.out.toStdString();
            EXPECT_TRUE(r.out.contains(QStringLiteral("  dorsanti-db %1 ").arg(command)));
            EXPECT_EQ(r.out.count(QStringLiteral("\n\n")), 0) << command;  // one block only
        }
    }
    const QString path = m_dir->filePath(QStringLiteral("x.db"));
    for (const auto& [call, problem] : QList<std::pair<QStringList, QString>>{
             {{}, QStringLiteral("не указана команда")},
             {{QStringLiteral("foo")}, QStringLiteral("неизвестная команда \"foo\"")},
             {{QStringLiteral("help"), QStringLiteral("foo")},
              QStringLiteral("неизвестная команда \"foo\"")},
             {{QStringLiteral("create"), path, QStringLiteral("--foo")},
              QStringLiteral("неизвестный параметр --foo")},
             {{QStringLiteral("create"), path, QStringLiteral("--documents")},
              QStringLiteral("у параметра --documents нет значения")},
             {{QStringLiteral("check")}, QStringLiteral("не указан файл базы данных")},
             {{QStringLiteral("backup"), path, path, QStringLiteral("x")},
              QStringLiteral("лишний аргумент \"x\"")},
             {{QStringLiteral("restore"), path}, QStringLiteral("не указан файл базы данных")},
             {{QStringLiteral("user"), QStringLiteral("add"), path},
              QStringLiteral("не указано имя пользователя")},
             {{QStringLiteral("user"), QStringLiteral("list"), path,
               QStringLiteral("--password-stdin")},
              QStringLiteral("неизвестный параметр --password-stdin")}}) {
        const ToolRun r = runTool(call);
        EXPECT_EQ(r.exitCode, 2) << call.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.out, QString());
        EXPECT_EQ(r.err.section(QLatin1Char('\n'), 0, 1),
                  QStringLiteral("dorsanti-db: %1\nИспользование:").arg(problem));
    }
    EXPECT_FALSE(QFileInfo::exists(path));
}

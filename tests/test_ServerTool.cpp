// dorsanti-db on books kept on a PostgreSQL server, run as a person runs it.
#include "DailyBackup.h"
#include "Db.h"
#include "ToolRun.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUrl>

#include <sys/stat.h>

class ServerTool : public ::testing::Test {
protected:
    void SetUp() override {
        // Each case moves books between a file and the server itself: one run
        // covers both engines, and the run with the books on the server adds
        // nothing to it.
        if (qEnvironmentVariable("DORSANTI_TEST_ENGINE") == QLatin1String("server")) {
            GTEST_SKIP() << "uses a file and the server at once; the file run covers it";
        }
        m_server = QUrl(qEnvironmentVariable("DORSANTI_TEST_PG"));
        if (m_server.isEmpty()) {
            GTEST_SKIP() << "DORSANTI_TEST_PG is not set: no PostgreSQL server for this run";
        }
        m_admin.open(m_server.toString());
    }
    void TearDown() override {
        for (const QString& name : std::as_const(m_databases)) {
            m_admin.executeScript(
                QStringLiteral("drop database if exists %1 with (force)").arg(name));
        }
    }
    // A new empty database on the test server, dropped at the end.
    QString newDatabase() {
        const QString name = QStringLiteral("tool_%1").arg(QRandomGenerator::global()->generate());
        m_admin.executeScript(QStringLiteral("create database ") + name);
        m_databases << name;
        QUrl url = m_server;
        url.setPath(QLatin1Char('/') + name);
        return url.toString();
    }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    // The books' documents as "export" writes them, new ones too.
    QByteArray exported(const QString& books) {
        const QString out = file(QStringLiteral("export-%1.csv").arg(++m_exports));
        const ToolRun r = runTool({QStringLiteral("export"), books, out, QStringLiteral("--all")});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    ToolRun tool(const QStringList& args, const QByteArray& input = {}) {
        return runTool(args, input);
    }

    QTemporaryDir m_dir;
    QUrl m_server;
    DbConnection m_admin;
    QStringList m_databases;
    int m_exports = 0;
};

TEST_F(ServerTool, DemoBooksGoToTheServerAndBackWhole) {
    const QString demo = file(QStringLiteral("demo.db"));
    ASSERT_EQ(tool({QStringLiteral("create"), demo, QStringLiteral("--demo")}).exitCode, 0);
    const QString server = newDatabase();
    ToolRun r = tool({QStringLiteral("copy"), demo, server});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("сверена с источником"))) << r.out.toStdString();
    r = tool({QStringLiteral("check"), server});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_EQ(exported(server), exported(demo));

    // The next document on the server takes the number after the copied ones.
    DbConnection books;
    books.open(server);
    DbQuery q(books, QStringLiteral("q"));
    q.setSql(QStringLiteral("select max(IdDocument) as m from Document"));
    q.open();
    const qint64 last = q.field(QStringLiteral("m")).asInteger();
    q.setSql(
        QStringLiteral("insert into Document(DateEnter, DateDocument, ValueDocument, "
                       "CodTypeDocument, IdHeadAccount, CodTypeStatus) select Now(), Now(), 1, "
                       "1, min(IdHeadAccount), 1 from HeadAccount"));
    q.execute();
    EXPECT_EQ(books.lastInsertRowId(), last + 1);
    books.close();

    const QString back = file(QStringLiteral("back.db"));
    r = tool({QStringLiteral("copy"), server, back});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(back).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(tool({QStringLiteral("check"), back}).exitCode, 0);
    const QByteArray withNew = exported(back);
    EXPECT_EQ(withNew, exported(server));
    EXPECT_NE(withNew, exported(demo));
    EXPECT_EQ(
        QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QLatin1String(".tmp")),
        QStringList());
}

TEST_F(ServerTool, ACopyIntoBooksThatExistIsRefusedAndChangesNothing) {
    const QString demo = file(QStringLiteral("demo.db"));
    const QString taken = file(QStringLiteral("taken.db"));
    ASSERT_EQ(
        tool({QStringLiteral("create"), demo, QStringLiteral("--documents"), QStringLiteral("30")})
            .exitCode,
        0);
    ASSERT_EQ(tool({QStringLiteral("create"), taken}).exitCode, 0);
    const QByteArray before = exported(taken);
    ToolRun r = tool({QStringLiteral("copy"), demo, taken});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, QStringLiteral("dorsanti-db: книги не скопированы: %1 уже существует и не "
                                    "изменен\n")
                         .arg(taken));
    EXPECT_EQ(exported(taken), before);

    const QString server = newDatabase();
    ASSERT_EQ(tool({QStringLiteral("create"), server, QStringLiteral("--starter")}).exitCode, 0);
    const QString accounts = tool({QStringLiteral("accounts"), server}).out;
    r = tool({QStringLiteral("copy"), demo, server});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("уже есть таблицы"))) << r.err.toStdString();
    EXPECT_EQ(tool({QStringLiteral("accounts"), server}).out, accounts);
    EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1);
}

TEST_F(ServerTool, ABackupOfTheServerRestoresIntoAnEmptyDatabaseOnly) {
    const QString server = newDatabase();
    ASSERT_EQ(tool({QStringLiteral("create"), server, QStringLiteral("--documents"),
                    QStringLiteral("60")})
                  .exitCode,
              0);
    ToolRun r = tool({QStringLiteral("backup"), server, m_dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString copy = r.out.section(QStringLiteral(": "), -1).trimmed();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(copy).constData(), &st), 0) << copy.toStdString();
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A copy cut short is no copy.
    const QString cut = file(QStringLiteral("cut.dump"));
    QFile::copy(copy, cut);
    QFile(cut).resize(QFileInfo(cut).size() - 50);
    r = tool({QStringLiteral("restore"), cut, newDatabase()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("не копия книг"))) << r.err.toStdString();

    const QString restored = newDatabase();
    r = tool({QStringLiteral("restore"), copy, restored});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(exported(restored), exported(server));
    // Again into the same database: it has books now.
    const QByteArray books = exported(restored);
    r = tool({QStringLiteral("restore"), copy, restored});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("уже есть таблицы"))) << r.err.toStdString();
    EXPECT_EQ(exported(restored), books);
    // A file is no copy of a server's books.
    const QString db = file(QStringLiteral("plain.db"));
    ASSERT_EQ(tool({QStringLiteral("create"), db}).exitCode, 0);
    r = tool({QStringLiteral("restore"), db, newDatabase()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("dorsanti-db copy"))) << r.err.toStdString();
}

TEST_F(ServerTool, EveryCommandTakesAUri) {
    const QString server = newDatabase();
    ASSERT_EQ(tool({QStringLiteral("create"), server, QStringLiteral("--starter")}).exitCode, 0);
    ToolRun r = tool({QStringLiteral("check"), server});
    EXPECT_EQ(r.out, QStringLiteral("Книги %1 в порядке.\n").arg(server));
    EXPECT_EQ(r.exitCode, 0);

    r = tool({QStringLiteral("import"), server, QStringLiteral(DORSANTI_TEST_DATA "/bank.ofx"),
              QStringLiteral("--account"), QStringLiteral("Банковская карта"),
              QStringLiteral("--apply")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(exported(server).isEmpty());
    r = tool({QStringLiteral("report"), server, QStringLiteral("balances")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Банковская карта"))) << r.out.toStdString();

    r = tool({QStringLiteral("user"), QStringLiteral("add"), server, QStringLiteral("anna"),
              QStringLiteral("--full-name"), QStringLiteral("Анна"),
              QStringLiteral("--password-stdin")},
             "secret\n");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(tool({QStringLiteral("user"), QStringLiteral("list"), server})
                    .out.contains(QStringLiteral("\tanna\tАнна\n")));
    EXPECT_EQ(
        tool({QStringLiteral("user"), QStringLiteral("remove"), server, QStringLiteral("anna")})
            .exitCode,
        0);

    // An amount of more than two billion ten-thousandths whose balance went
    // wrong: found, and mended by the repair after a copy of its own.
    DbConnection books;
    books.open(server);
    books.executeScript(QStringLiteral(
        "update Document set ValueDocument = 500000 where IdDocument = (select min(IdDocument) "
        "from Document where CodTypeStatus = 2 and CodTypeDocument <> 3);"
        "update DataAccount set ValueDataAccount = 500000 where IdDocument = (select "
        "min(IdDocument) from Document where CodTypeStatus = 2 and CodTypeDocument <> 3)"));
    books.close();
    r = tool({QStringLiteral("check"), server});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Остаток счета не равен"))) << r.out.toStdString();
    for (const char* report : {"balances", "months", "statement", "networth"}) {
        r = tool({QStringLiteral("report"), server, QLatin1String(report)});
        EXPECT_EQ(r.exitCode, 0) << report << r.err.toStdString();
    }
    const QString home = m_dir.filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    QProcess repair;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    repair.setProcessEnvironment(env);
    repair.start(QStringLiteral(DORSANTI_DB_TOOL),
                 {QStringLiteral("check"), server, QStringLiteral("--repair")});
    r = finishedRun(repair);
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(QDir(home).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);

    r = tool({QStringLiteral("recover"), server, file(QStringLiteral("saved.db"))});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1);

    // No daily copy of books on a server, and nothing written for one.
    QDir::setCurrent(m_dir.path());
    const QStringList before = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
    EXPECT_TRUE(runDailyBackup(server, QDateTime::currentDateTime()));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
}

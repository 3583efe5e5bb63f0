// Books made on a PostgreSQL server by dorsanti-db and opened from the
// sign-in as a family's other computers open them. Each test fills a
// database of its own, made on the server given by DORSANTI_TEST_PG.
#include "Login_FM.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "Placeholders.h"
#include "Settings.h"
#include "TestDb.h"
#include "ToolRun.h"

#include <QRandomGenerator>
#include <QTest>
#include <QUrl>

class ServerSignIn : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        const QString server = qEnvironmentVariable("DORSANTI_TEST_PG");
        if (server.isEmpty()) {
            GTEST_SKIP() << "DORSANTI_TEST_PG is not set: no PostgreSQL server for this run "
                            "(scripts/test.sh starts one)";
        }
        m_admin.open(server);
        m_name = QStringLiteral("signin_%1").arg(QRandomGenerator::global()->generate());
        m_admin.executeScript(QStringLiteral("create database %1").arg(m_name));
        QUrl url(server);
        url.setPath(QLatin1Char('/') + m_name);
        m_uri = url.toString();
        setSettingsFilePath(m_dir->filePath(QStringLiteral("dorsanti.ini")));
        m_dm->ADOConnection1.close();
    }
    void TearDown() override {
        setSettingsFilePath(QString());
        m_dm->ADOConnection1.close();
        m_q.reset();
        m_db.reset();
        if (!m_name.isEmpty()) {
            m_admin.executeScript(QStringLiteral("drop database %1 with (force)").arg(m_name));
        }
        DbTest::TearDown();
    }
    // The dialog given a path, "sa" and Enter in the password box.
    bool signIn(ModalHelper& mh, const QString& path) {
        mh.onNext<TLoginFM>([path](TLoginFM* f) {
            f->edLogin->setText(QStringLiteral("sa"));
            f->feDB->setFileName(path);
            QTest::keyClick(f->edPass, Qt::Key_Return);
            if (f->isVisible()) {
                f->BitBtn2->click();
            }
        });
        return ShowLoginFM();
    }

    DbConnection m_admin;
    QString m_name;
    QString m_uri;
};

TEST_F(ServerSignIn, BooksMadeByTheToolOpenFromTheSignIn) {
    const ToolRun made = runTool({QStringLiteral("create"), m_uri, QStringLiteral("--starter")});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    reopenTestConnection(m_uri);
    const int valuta = count(QStringLiteral("Valuta"));
    EXPECT_GT(valuta, 0);

    // Made a second time: refused in one Russian line, nothing written.
    const ToolRun again = runTool({QStringLiteral("create"), m_uri});
    EXPECT_NE(again.exitCode, 0);
    EXPECT_TRUE(again.err.contains(QStringLiteral("уже есть таблицы"))) << again.err.toStdString();
    EXPECT_EQ(again.err.trimmed().count(QLatin1Char('\n')), 0);
    EXPECT_EQ(count(QStringLiteral("Valuta")), valuta);
    EXPECT_EQ(count(QStringLiteral("sec_user")), 1);
    const ToolRun demo = runTool({QStringLiteral("create"), m_uri, QStringLiteral("--demo")});
    EXPECT_NE(demo.exitCode, 0);
    EXPECT_TRUE(demo.err.contains(QStringLiteral("пока только для файла")));

    // The server numbers new rows after those the books came with.
    exec(QStringLiteral("insert into Valuta (Caption, FullCaption) values ('EUR', 'Евро')"));
    EXPECT_EQ(count(QStringLiteral("Valuta")), valuta + 1);

    // A wrong address: the server's refusal in Russian, the dialog stays.
    QUrl wrong(m_uri);
    wrong.setPath(QStringLiteral("/no_such_books"));
    ModalHelper refused;
    EXPECT_FALSE(signIn(refused, wrong.toString()));
    ASSERT_EQ(refused.texts().size(), 1);
    EXPECT_TRUE(refused.texts()[0].contains(QStringLiteral("no_such_books")));
    EXPECT_TRUE(refused.texts()[0].contains(QStringLiteral("базы данных")))
        << refused.texts()[0].toStdString();
    EXPECT_FALSE(m_dm->ADOConnection1.isOpen());

    // A placeholder of a session whose server process is gone is cleared at
    // sign-in; one of a session still connected is kept.
    const QString alive =
        scalar(QStringLiteral("select pg_backend_pid() || '|' || to_char(backend_start at time "
                              "zone 'UTC', 'YYYY-MM-DD HH24:MI:SS.US') from pg_stat_activity "
                              "where pid = pg_backend_pid()"))
            .toString();
    exec(QStringLiteral("insert into sec_Session (sec_IdSession, sec_IdUser, sec_Start, sec_Owner)"
                        " values (50, 1, '2026-01-01 10:00:00', 'machine=m;pid=1;started=1;mark="
                        ";backend=%1;backendStarted=%2'), (51, 1, '2026-01-01 10:00:00', "
                        "'machine=m;pid=1;started=1;mark=;backend=999999;backendStarted=x');"
                        "insert into TypeCategoryItem values (1, -50), (1, -51)")
             .arg(alive.section(QLatin1Char('|'), 0, 0), alive.section(QLatin1Char('|'), 1)));

    ModalHelper mh;
    ASSERT_TRUE(signIn(mh, m_uri)) << mh.texts().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(mh.texts().isEmpty());
    EXPECT_EQ(m_dm->UserName, QStringLiteral("sa"));
    EXPECT_EQ(scalar(QStringLiteral("select string_agg(cast(IdCategory as text), ',') from "
                                    "TypeCategoryItem where IdCategory < 0"))
                  .toString(),
              QStringLiteral("-50"));
    // The session row is on the server and names the connection's server process.
    EXPECT_EQ(scalar(QStringLiteral("select count(*) from sec_Session where sec_End is null and "
                                    "sec_IdSession = %1 and sec_IdUser = 1")
                         .arg(m_dm->IdSession))
                  .toInt(),
              1);
    const SessionOwner owner = SessionOwner::fromText(
        scalar(QStringLiteral("select sec_Owner from sec_Session where sec_IdSession = %1")
                   .arg(m_dm->IdSession))
            .toString());
    EXPECT_GT(owner.backend, 0);
    EXPECT_TRUE(serverSessionIsLive(*m_db, owner));
    // The address is remembered as a path is.
    QFile settings(settingsFilePath());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(settings.readAll()).contains(m_uri));

    TMainFM main;
    main.show();
    EXPECT_TRUE(main.isVisible());
    m_dm->CloseSession();
    m_dm->ADOConnection1.close();
    EXPECT_FALSE(serverSessionIsLive(*m_db, owner));
}

// Books made on a server by the tool and opened from the sign-in.
#include "Login_FM.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "Placeholders.h"
#include "Settings.h"
#include "TestDb.h"
#include "ToolRun.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QUrl>

TEST_F(DbTest, ServerBooksMadeByTheToolOpenFromTheSignIn) {
    QUrl url(qEnvironmentVariable("DORSANTI_TEST_PG"));
    if (url.isEmpty()) {
        GTEST_SKIP() << "DORSANTI_TEST_PG is not set: no PostgreSQL server for this run";
    }
    DbConnection admin;
    admin.open(url.toString());
    const QString name = QStringLiteral("signin_%1").arg(QRandomGenerator::global()->generate());
    admin.executeScript(QStringLiteral("create database ") + name);
    auto drop = qScopeGuard([&] {
        setSettingsFilePath(QString());
        m_dm->ADOConnection1.close();
        m_q.reset();
        m_db.reset();
        admin.executeScript(QStringLiteral("drop database %1 with (force)").arg(name));
    });
    url.setPath(QLatin1Char('/') + name);
    const QString uri = url.toString();
    setSettingsFilePath(m_dir->filePath(QStringLiteral("dorsanti.ini")));
    auto signIn = [](ModalHelper& mh, const QString& path) {
        mh.onNext<TLoginFM>([path](TLoginFM* f) {
            f->feDB->setFileName(path);
            QTest::keyClick(f->edPass, Qt::Key_Return);
            if (f->isVisible()) {
                f->BitBtn2->click();
            }
        });
        return ShowLoginFM();
    };

    ASSERT_EQ(runTool({QStringLiteral("create"), uri, QStringLiteral("--starter")}).exitCode, 0);
    // Made again: refused in one Russian line, nothing written; no demo yet.
    const ToolRun again = runTool({QStringLiteral("create"), uri});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(
        again.err.trimmed().endsWith(QStringLiteral("уже есть таблицы: книги создаются "
                                                    "только в пустой")));
    EXPECT_NE(runTool({QStringLiteral("create"), uri, QStringLiteral("--demo")}).exitCode, 0);
    reopenTestConnection(uri);
    EXPECT_EQ(count(QStringLiteral("sec_user")), 1);

    // A wrong address: the server's refusal in Russian, the dialog stays.
    url.setPath(QStringLiteral("/no_such_books"));
    ModalHelper refused;
    EXPECT_FALSE(signIn(refused, url.toString()));
    EXPECT_TRUE(refused.texts().value(0).contains(QStringLiteral("нет такой базы данных")));
    EXPECT_TRUE(refused.texts().value(0).contains(QStringLiteral("no_such_books")));

    // Sign-in clears the placeholder of a session (of another computer) whose
    // server process is gone, and keeps that of a session still connected.
    exec(QStringLiteral("insert into sec_Session values (50, 1, '', null, '%1'), (51, 1, '', "
                        "null, 'machine=far;pid=1;backend=99999'); insert into TypeCategoryItem "
                        "values (1, -50), "
                        "(1, -51)")
             .arg(connectionOwner(*m_db, QString()).toText()));
    ModalHelper mh;
    ASSERT_TRUE(signIn(mh, uri)) << mh.texts().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(count(QStringLiteral("TypeCategoryItem"), QStringLiteral("IdCategory < 0")), 1);
    // The session row is on the server and names its server process.
    const SessionOwner owner = SessionOwner::fromText(
        scalar(QStringLiteral("select sec_Owner from sec_Session where sec_End is null and "
                              "sec_IdUser = 1 and sec_IdSession = %1")
                   .arg(m_dm->IdSession))
            .toString());
    EXPECT_TRUE(owner.backend > 0 && serverSessionIsLive(*m_db, owner));
    TMainFM main;
    main.show();
    m_dm->CloseSession();
    m_dm->ADOConnection1.close();
    // The server ends the process of a closed connection a moment later.
    QDeadlineTimer gone(10000);
    while (serverSessionIsLive(*m_db, owner) && !gone.hasExpired())
        QThread::msleep(20);
    EXPECT_FALSE(serverSessionIsLive(*m_db, owner));
}

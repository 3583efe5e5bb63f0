#include "Keyboard.h"
#include "Login_FM.h"
#include "ModalHelper.h"
#include "NetworkFolder.h"
#include "Placeholders.h"
#include "Settings.h"
#include "TestDb.h"

#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QStyle>
#include <QTest>

namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class Login : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        m_ini = m_dir->filePath(QStringLiteral("dorsanti.ini"));
        setSettingsFilePath(m_ini);
        m_dm->ADOConnection1.close();
    }
    void TearDown() override {
        setSettingsFilePath(QString());
        DbTest::TearDown();
    }
    void writeSettings(const QString& user, const QString& db) {
        writeFile(m_ini,
                  QStringLiteral("[General]\nUserName=%1\nDBPath=%2\n").arg(user, db).toUtf8());
    }
    int sessions() { return count(QStringLiteral("sec_Session")); }
    // Fills the dialog, presses "ОК" and looks at what remains.
    struct Attempt {
        QString user, pass, db;
        std::function<void(TLoginFM*)> after;
    };
    bool signIn(ModalHelper& mh, QList<Attempt> attempts, bool cancelAtEnd) {
        mh.onNext<TLoginFM>([=](TLoginFM* f) {
            for (const Attempt& a : attempts) {
                f->edLogin->setText(a.user);
                f->edPass->setText(a.pass);
                f->feDB->setFileName(a.db);
                f->BitBtn1->click();
                if (a.after) {
                    a.after(f);
                }
                if (!f->isVisible()) {
                    return;
                }
            }
            if (cancelAtEnd) {
                f->BitBtn2->click();
            }
        });
        return ShowLoginFM();
    }
    QString m_ini;
};

TEST_F(Login, WithoutSettingsShowsTheDefaultsAndFocusesThePassword) {
    ModalHelper mh;
    mh.onNext<TLoginFM>([](TLoginFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Вход в систему"));
        // A small fixed-size dialog, no minimise or maximise, as near 413 by 85 as it can.
        EXPECT_EQ(f->windowType(), Qt::Dialog);
        EXPECT_FALSE(f->windowFlags() & Qt::WindowMinMaxButtonsHint);
        EXPECT_EQ(f->minimumSize(), f->maximumSize());
        EXPECT_LE(f->width(), 430);
        EXPECT_LE(f->height(), 95);
        EXPECT_EQ(f->edLogin->text(), QStringLiteral("sa"));
        EXPECT_EQ(f->feDB->fileName(), programPathWithExtension(QStringLiteral(".db")));
        EXPECT_TRUE(f->edPass->text().isEmpty());
        EXPECT_EQ(f->focusWidget(), f->edPass);
        EXPECT_EQ(f->edPass->echoMode(), QLineEdit::Password);
        EXPECT_EQ(f->edPass->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter), '*');
        EXPECT_EQ(f->Label1->text(), QStringLiteral("Имя пользователя"));
        EXPECT_EQ(f->Label2->text(), QStringLiteral("Пароль"));
        EXPECT_EQ(f->Label3->text(), QStringLiteral("Путь к базе данных"));
        EXPECT_EQ(f->BitBtn1->text(), QStringLiteral("ОК"));
        EXPECT_EQ(f->BitBtn2->text(), QStringLiteral("Отмена"));
        EXPECT_FALSE(f->BitBtn1->isDefault() || f->BitBtn1->autoDefault());
        EXPECT_FALSE(f->BitBtn2->isDefault() || f->BitBtn2->autoDefault());
        // Tab order: name, password, path, then the buttons.
        auto next = [](QWidget* w) {
            do {
                w = w->nextInFocusChain();
            } while (w->focusPolicy() == Qt::NoFocus);
            return w;
        };
        EXPECT_EQ(next(f->edLogin), f->edPass);
        EXPECT_EQ(next(f->edPass), f->feDB->lineEdit());
        EXPECT_EQ(next(f->feDB->lineEdit()), f->BitBtn1);
        EXPECT_EQ(next(f->BitBtn1), f->BitBtn2);
        f->BitBtn2->click();
    });
    EXPECT_FALSE(ShowLoginFM());
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_FALSE(QFile::exists(m_ini));
}

TEST_F(Login, AnEmptyUserNameSettingKeepsTheFocusOnTheName) {
    writeSettings(QString(), m_path);
    ModalHelper mh;
    mh.onNext<TLoginFM>([this](TLoginFM* f) {
        EXPECT_TRUE(f->edLogin->text().isEmpty());
        EXPECT_EQ(f->feDB->fileName(), m_path);
        EXPECT_EQ(f->focusWidget(), f->edLogin);
        f->reject();  // the close box
    });
    EXPECT_FALSE(ShowLoginFM());
}

TEST_F(Login, ChecksTheNameBeforeThePath) {
    ModalHelper mh;
    signIn(mh,
           {{QStringLiteral("  \t "), QString(), QStringLiteral("/no/such/file.db"),
             [](TLoginFM* f) { EXPECT_EQ(f->focusWidget(), f->edLogin); }},
            {QStringLiteral("sa"), QString(), QStringLiteral("/no/such/file.db"),
             [](TLoginFM* f) { EXPECT_EQ(f->focusWidget(), f->feDB->lineEdit()); }}},
           true);
    EXPECT_EQ(mh.texts(), (QStringList{QStringLiteral("Имя пользователя не заполнено."),
                                       QStringLiteral("Неверный путь к базе данных.")}));
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Information);
    EXPECT_EQ(mh.boxes().first().buttons, QStringList{QStringLiteral("ОК")});
    EXPECT_FALSE(m_dm->ADOConnection1.isOpen());
}

TEST_F(Login, SignsInRecordsTheSessionAndRemembersTheSettings) {
    if (onServer()) {
        GTEST_SKIP() << "a program running on a server is known by its connection, not by a mark "
                        "beside a file";
    }
    // Memberships of new items: one left by a killed program, one of an editor
    // open in a program still running on the file.
    exec(
        QStringLiteral("insert into TypeCategory(Caption) values('Еда');"
                       "insert into TypeCategoryItem values(1, -7), (1, -8)"));
    LiveSession running;
    ASSERT_TRUE(running.hold(m_path, 8));
    ModalHelper mh;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    EXPECT_TRUE(signIn(mh, {{QStringLiteral("  sa "), QString(), m_path, {}}}, false));
    EXPECT_TRUE(mh.boxes().isEmpty());
    EXPECT_TRUE(m_dm->ADOConnection1.isOpen());
    EXPECT_EQ(m_dm->UserName, QStringLiteral("sa"));
    EXPECT_EQ(m_dm->IdUser, 1);
    EXPECT_EQ(m_dm->FullName, QStringLiteral("Администратор"));
    EXPECT_EQ(m_dm->IdSession, 1);
    EXPECT_EQ(count(QStringLiteral("sec_Session"), QStringLiteral("sec_End is null")), 1);
    EXPECT_TRUE(sessionIsLive(m_path, m_dm->IdSession));
    EXPECT_EQ(scalar(QStringLiteral("select %1 from TypeCategoryItem")
                         .arg(joinedSql(QStringLiteral("IdCategory"))))
                  .toString(),
              QStringLiteral("-8"));
    const QDateTime start = parseStoredDateTime(
        scalar(QStringLiteral("select sec_Start from sec_Session")).toString());
    EXPECT_GE(start, before.addSecs(-1));
    EXPECT_LE(start, QDateTime::currentDateTime().addSecs(1));
    // The name is looked up trimmed and remembered as typed.
    EXPECT_EQ(fileBytes(m_ini),
              QStringLiteral("[General]\nUserName=  sa \nDBPath=%1\n").arg(m_path).toUtf8());
    EXPECT_EQ(QFile::permissions(m_ini),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

// Names compare without regard to case, passwords exactly: also in a file
// made when its password column still ignored case.
TEST_F(Login, PasswordBlanksAndLetterCaseOfAnyAlphabet) {
    if (!onServer()) {  // books on a server were never made with the old table
        exec(QStringLiteral(
            "PRAGMA foreign_keys = OFF;"
            "create table old_user(sec_IdUser INTEGER PRIMARY KEY, sec_username TEXT NOT NULL "
            "DEFAULT '' COLLATE NOCASE, sec_password TEXT NOT NULL DEFAULT '' COLLATE NOCASE, "
            "sec_FullName TEXT NOT NULL DEFAULT '');"
            "insert into old_user select * from sec_user; drop table sec_user;"
            "alter table old_user rename to sec_user; PRAGMA foreign_keys = ON;"));
    }
    exec(QStringLiteral("insert into sec_user values(2, 'Иван', 'Секрет', 'Иван Петров')"));
    ModalHelper mh;
    EXPECT_TRUE(signIn(mh,
                       {{QStringLiteral("иВАН"), QStringLiteral("сЕКРЕТ"), m_path, {}},
                        {QStringLiteral("иВАН"), QStringLiteral("  Секрет  "), m_path, {}}},
                       false));
    EXPECT_EQ(mh.texts(), QStringList{QStringLiteral("Неверное имя пользователся или пароль.")});
    EXPECT_EQ(m_dm->UserName, QStringLiteral("Иван"));
    EXPECT_EQ(m_dm->IdUser, 2);
    EXPECT_EQ(m_dm->FullName, QStringLiteral("Иван Петров"));
}

TEST_F(Login, AWrongPasswordLeavesNothingBehind) {
    writeSettings(QStringLiteral("sa"), m_path);
    const QByteArray settings = fileBytes(m_ini);
    ModalHelper mh;
    const bool ok = signIn(mh,
                           {{QStringLiteral("sa"), QStringLiteral("guess"), m_path,
                             [this](TLoginFM* f) {
                                 EXPECT_TRUE(f->isVisible());
                                 EXPECT_FALSE(m_dm->ADOConnection1.isOpen());
                                 EXPECT_EQ(f->edPass->text(), QStringLiteral("guess"));
                             }}},
                           true);
    EXPECT_FALSE(ok);
    EXPECT_EQ(mh.texts(), QStringList{QStringLiteral("Неверное имя пользователся или пароль.")});
    EXPECT_EQ(sessions(), 0);
    EXPECT_EQ(fileBytes(m_ini), settings);
    EXPECT_FALSE(m_dm->ADOConnection1.isOpen());
}

TEST_F(Login, EnterSignsInOnlyFromThePasswordBox) {
    exec(QStringLiteral("update sec_user set sec_password = 'Secret7' where sec_username = 'sa'"));
    ModalHelper mh;
    mh.onNext<TLoginFM>([&](TLoginFM* f) {
        f->feDB->setFileName(m_path);
        QTest::keyClicks(f->edPass, QStringLiteral("Secr"));
        // Enter elsewhere signs nobody in, and Escape does not close.
        QTest::keyClick(f->edLogin, Qt::Key_Return);
        QTest::keyClick(f->feDB->lineEdit(), Qt::Key_Return);
        QTest::keyClick(f, Qt::Key_Escape);
        EXPECT_TRUE(f->isVisible());
        EXPECT_TRUE(mh.takeTexts().isEmpty());
        // Enter in the password box tries what is typed, and only that.
        QTest::keyClick(f->edPass, Qt::Key_Return);
        EXPECT_EQ(mh.takeTexts(),
                  QStringList{QStringLiteral("Неверное имя пользователся или пароль.")});
        EXPECT_EQ(sessions(), 0);
        f->edPass->setFocus();
        QTest::keyClick(f->edPass, Qt::Key_End);
        QTest::keyClicks(f->edPass, QStringLiteral("et7"));
        QTest::keyClick(f->edPass, Qt::Key_Return);
        EXPECT_EQ(f->edPass->text(), QStringLiteral("Secret7"));
    });
    EXPECT_TRUE(ShowLoginFM());
    EXPECT_EQ(sessions(), 1);
}

TEST_F(Login, CancelRecordsNothing) {
    writeSettings(QStringLiteral("sa"), m_path);
    const QByteArray settings = fileBytes(m_ini);
    ModalHelper mh;
    EXPECT_FALSE(signIn(mh, {}, true));
    EXPECT_EQ(sessions(), 0);
    EXPECT_EQ(fileBytes(m_ini), settings);
    EXPECT_FALSE(m_dm->ADOConnection1.isOpen());
}

TEST_F(Login, AnUnwritableSettingsFileKeepsTheDialogOpen) {
    // The settings path is a folder: it cannot be written.
    const QString folder = m_dir->filePath(QStringLiteral("settings-folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    setSettingsFilePath(folder);
    ModalHelper mh;
    const bool ok = signIn(mh,
                           {{QStringLiteral("sa"), QString(), m_path,
                             [&](TLoginFM* f) {
                                 EXPECT_TRUE(f->isVisible());
                                 EXPECT_TRUE(m_dm->ADOConnection1.isOpen());
                                 EXPECT_EQ(sessions(), 1);
                                 setSettingsFilePath(m_ini);
                             }},
                            {QStringLiteral("sa"), QString(), m_path, {}}},
                           false);
    EXPECT_TRUE(ok);
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Critical);
    EXPECT_EQ(mh.boxes().first().text, QStringLiteral("Unable to write to %1").arg(folder));
    // The second attempt started again and made a second session.
    EXPECT_EQ(sessions(), 2);
    EXPECT_EQ(m_dm->IdSession, 2);
    EXPECT_TRUE(QFile::exists(m_ini));
}

class LoginBadInput : public Login {
protected:
    // Tries to sign in to a bad file: the engine's or the program's message,
    // the dialog still open, the connection closed, no session row.
    QStringList tryFile(const QString& path) {
        ModalHelper mh;
        signIn(mh,
               {{QStringLiteral("sa"), QString(), path,
                 [this](TLoginFM* f) {
                     EXPECT_TRUE(f->isVisible());
                     EXPECT_FALSE(m_dm->ADOConnection1.isOpen());
                 }}},
               true);
        EXPECT_TRUE(mh.unexpected().isEmpty());
        EXPECT_EQ(sessions(), 0);
        return mh.texts();
    }
};

TEST_F(LoginBadInput, AFolder) {
    EXPECT_EQ(tryFile(m_dir->path()), QStringList{QStringLiteral("Неверный путь к базе данных.")});
}

TEST_F(LoginBadInput, AnEmptyFile) {
    const QString path = m_dir->filePath(QStringLiteral("empty.db"));
    writeFile(path, QByteArray());
    EXPECT_EQ(tryFile(path), QStringList{QStringLiteral("no such table: sec_user")});
}

TEST_F(LoginBadInput, AFileOfText) {
    const QString path = m_dir->filePath(QStringLiteral("letter.txt"));
    writeFile(path, QByteArray("Dear family,\n").repeated(100));
    const QStringList texts = tryFile(path);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts.first().startsWith(QStringLiteral("Файл не является базой данных.")));
    EXPECT_TRUE(texts.first().endsWith(QStringLiteral("file is not a database")));
}

TEST_F(LoginBadInput, AnSQLiteFileWithoutTheTables) {
    const QString path = m_dir->filePath(QStringLiteral("other.db"));
    writeFile(path, QByteArray());
    {
        DbConnection c;
        c.open(path);
        c.executeScript(QStringLiteral("create table notes(x text)"));
    }
    EXPECT_EQ(tryFile(path), QStringList{QStringLiteral("no such table: sec_user")});
}

TEST_F(LoginBadInput, AReadOnlyDatabaseFailsAtTheSessionInsert) {
    if (onServer()) {
        GTEST_SKIP() << "a read-only file";
    }
    ASSERT_TRUE(QFile::setPermissions(
        m_path, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    // Root may write any file; the attempt runs as an ordinary user then.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_TRUE(QFile::setPermissions(m_dir->path(),
                                          QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                              QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                              QFileDevice::ExeOther));
    }
    ModalHelper mh;
    mh.onNext<TLoginFM>([&](TLoginFM* f) {
        f->feDB->setFileName(m_path);
        f->edPass->clear();
        const bool dropped = root && ::seteuid(65534) == 0;
        EXPECT_EQ(dropped, root);
        f->BitBtn1->click();
        if (dropped) {
            EXPECT_EQ(::seteuid(0), 0);
        }
        EXPECT_TRUE(f->isVisible());
        EXPECT_FALSE(m_dm->ADOConnection1.isOpen());
        f->BitBtn2->click();
    });
    EXPECT_FALSE(ShowLoginFM());
    EXPECT_EQ(mh.texts(), QStringList{QStringLiteral("attempt to write a readonly database")});
    EXPECT_EQ(sessions(), 0);
}

TEST_F(LoginBadInput, ADatabaseLockedByAnotherProgram) {
    if (onServer()) {
        GTEST_SKIP() << "on a server another program holds only the rows it writes: the sign-in "
                        "does not wait";
    }
    DbConnection::setBusyTimeoutMs(400);
    DbConnection other;
    other.open(m_path);
    other.executeScript(QStringLiteral(
        "BEGIN IMMEDIATE; insert into sec_Session(sec_IdUser, sec_Start) values(1, Now());"));
    QElapsedTimer timer;
    timer.start();
    ModalHelper mh;
    signIn(mh,
           {{QStringLiteral("sa"), QString(), m_path,
             [this](TLoginFM* f) {
                 EXPECT_TRUE(f->isVisible());
                 EXPECT_FALSE(m_dm->ADOConnection1.isOpen());
             }}},
           true);
    EXPECT_GE(timer.elapsed(), 400);
    ASSERT_EQ(mh.texts().size(), 1);
    EXPECT_TRUE(mh.texts().first().startsWith(QStringLiteral("База данных занята")));
    EXPECT_TRUE(mh.texts().first().endsWith(QStringLiteral("database is locked")));
    other.executeScript(QStringLiteral("ROLLBACK"));
    EXPECT_EQ(sessions(), 0);
}

TEST_F(Login, ALongPathShowsItsFileNameAndSignsInWithTheWholePath) {
    if (onServer()) {
        GTEST_SKIP() << "the path of a file";
    }
    const QString db =
        m_dir->filePath(QStringLiteral("home/anna/Документы/Семейные финансы/2026/дом/family.db"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(db).path()) && QFile::copy(m_path, db));
    ModalHelper mh;
    mh.onNext<TLoginFM>([&](TLoginFM* f) {
        f->feDB->setFileName(db);
        const QString shown = f->feDB->shownText();
        EXPECT_TRUE(shown.startsWith(db.left(8)) && shown.endsWith(QStringLiteral("…/family.db")));
        activate(f);
        f->feDB->lineEdit()->setFocus();
        EXPECT_EQ(f->feDB->shownText(), db);
        f->BitBtn1->click();
    });
    EXPECT_TRUE(ShowLoginFM());  // with the whole path: a cut one is no file
}

// A file on a network or cloud folder is warned about: "Отмена" keeps the
// dialog as it was, "Продолжить" signs in as before. A local disk, and a file
// system that cannot be told, go straight on (here to a wrong password).
TEST_F(Login, AFileOnANetworkFolderIsWarnedAbout) {
    if (onServer()) {
        GTEST_SKIP() << "a file on a network folder";
    }
    // Each statfs magic, and the file system the box names (none: go on).
    const QStringList cases = {
        "EF53",          "9123683E",      "1021994",           "0",
        "6969 NFS",      "517B SMB/CIFS", "FF534D42 SMB/CIFS", "FE534D42 SMB/CIFS",
        "65735546 FUSE", "1021997 9p",    "5346414F AFS",      "6B414653 AFS",
        "C36400 Ceph"};
    qint64 magic = 0;
    QStringList asked;
    setFileSystemMagicSource([&](const QString& folder) {
        asked << folder;
        return magic;
    });
    auto restore = qScopeGuard([] { setFileSystemMagicSource(nullptr); });
    const QString link = m_dir->filePath(QStringLiteral("here/link.db"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(link).path()) && QFile::link(m_path, link));
    const QString lead = QStringLiteral("Файл базы данных лежит на сетевой папке (");
    ModalHelper mh;
    mh.onNext<TLoginFM>([&](TLoginFM* f) {
        f->feDB->setFileName(link);
        for (const QString& c : cases) {
            magic = c.section(QLatin1Char(' '), 0, 0).toLongLong(nullptr, 16);
            const QString name = c.section(QLatin1Char(' '), 1);
            f->edPass->setText(name.isEmpty() ? QStringLiteral("wrong") : QString());
            if (!name.isEmpty()) {
                mh.onNext<QMessageBox>([](QMessageBox* box) { box->buttons().last()->click(); });
            }
            f->BitBtn1->click();
            EXPECT_EQ(mh.takeTexts().value(0).section(QLatin1Char(')'), 0, 0),
                      name.isEmpty() ? QStringLiteral("Неверное имя пользователся или пароль.")
                                     : lead + name);
            EXPECT_TRUE(f->isVisible() && !m_dm->ADOConnection1.isOpen());
        }
        EXPECT_EQ(f->focusWidget(), f->feDB->lineEdit());
        magic = 0x6969;
        f->edPass->clear();
        mh.onNext<QMessageBox>([](QMessageBox* box) { box->buttons().first()->click(); });
        f->BitBtn1->click();
    });
    EXPECT_TRUE(ShowLoginFM());
    EXPECT_EQ(sessions(), 1);
    EXPECT_TRUE(mh.unexpected().isEmpty());
    // The folder of the file itself, after the link.
    EXPECT_EQ(asked, QStringList(cases.size() + 1, QFileInfo(m_path).canonicalPath()));
    const ModalHelper::Box& box = mh.boxes().last();
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.buttons, (QStringList{QStringLiteral("Продолжить"), QStringLiteral("Отмена")}));
    EXPECT_EQ(box.text,
              QStringLiteral(
                  "Файл базы данных лежит на сетевой папке (NFS). SQLite не может надежно "
                  "блокировать файл на сетевой или облачной папке: когда с ним работают с двух "
                  "компьютеров или папка синхронизируется во время записи, файл портится и "
                  "записанное теряется.\n\nДержите файл на локальном диске этого компьютера, а "
                  "чтобы вести книги с нескольких компьютеров, используйте общий сервер."));
}

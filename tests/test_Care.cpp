// Looking after a family's file with dorsanti-db: the check and its repair,
// safe copies and their restore, users, and the daily copy of the program.
#include "Backup.h"
#include "Check.h"
#include "DailyBackup.h"
#include "FullDisk.h"
#include "Login_FM.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "Placeholders.h"
#include "Reliability.h"
#include "Restore.h"
#include "Settings.h"
#include "TestDb.h"
#include "TestUtil.h"
#include "ToolRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <dlfcn.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return "<missing>";
    }
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

int mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QStringList files(const QString& folder, const QString& pattern = QStringLiteral("*")) {
    return QDir(folder).entryList({pattern}, QDir::Files | QDir::Hidden, QDir::Name);
}

}  // namespace

class Care : public DbTest {
protected:
    // A file with a family's books and applied documents of every kind.
    QString demo(const QString& name = QStringLiteral("family.db")) {
        const QString path = m_dir->filePath(name);
        EXPECT_EQ(runTool({QStringLiteral("create"), path, QStringLiteral("--demo")}).exitCode, 0);
        reopenTestConnection(path);
        return path;
    }

    // Opens and closes the main window with the daily copy installed, and
    // waits for the copy to end.
    static void closeMainWindow() {
        DailyBackup daily;
        TMainFM form;
        installDailyBackup(form, daily);
        form.show();
        EXPECT_TRUE(form.close());
        daily.wait();
    }
};

TEST_F(Care, CheckFindsEachPlantedFaultAndRepairMendsOnlyWhatIsSure) {
    const QString path = demo();
    ToolRun r = runTool({QStringLiteral("check"), path});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("Файл %1 в порядке.\n").arg(path));

    // A wrong balance on one account, an applied expense of another account
    // without its ledger row, a placeholder of a program long gone and one of
    // a program that runs.
    const int doc = scalar(QStringLiteral("select min(IdDocument) from Document where "
                                          "CodTypeStatus = 2 and CodTypeDocument = 1"))
                        .toInt();
    const int docAccount =
        scalar(QStringLiteral("select IdHeadAccount from Document where IdDocument = %1").arg(doc))
            .toInt();
    const int account = scalar(QStringLiteral("select min(IdHeadAccount) from HeadAccount "
                                              "where IdHeadAccount <> %1")
                                   .arg(docAccount))
                            .toInt();
    const QString caption =
        scalar(QStringLiteral("select Caption from HeadAccount where IdHeadAccount = %1")
                   .arg(account))
            .toString();
    const Money saldo = money(
        QStringLiteral("select Saldo from HeadAccount where IdHeadAccount = %1").arg(account));
    const Money wrong = saldo + Money::fromInteger(7);
    const int type =
        scalar(QStringLiteral("select min(IdTypeCategory) from TypeCategory")).toInt();
    LiveSession running;
    ASSERT_TRUE(running.hold(path, 901));
    exec(QStringLiteral("update HeadAccount set Saldo = %1 where IdHeadAccount = %2")
             .arg(wrong.toString())
             .arg(account));
    exec(QStringLiteral("delete from DataAccount where IdDocument = %1").arg(doc));
    exec(QStringLiteral("insert into TypeCategoryItem values(%1, -900), (%1, -901)").arg(type));

    r = runTool({QStringLiteral("check"), path});
    EXPECT_EQ(r.exitCode, 1);
    const auto money2 = [](Money m) { return QString::number(m.toDouble(), 'f', 2); };
    for (const QString& expected :
         {QStringLiteral("Остаток счета не равен сумме его проводок: 2\n"),
          QStringLiteral("  счет %1 \"%2\": остаток %3, по проводкам %4\n")
              .arg(account)
              .arg(caption, money2(wrong), money2(saldo)),
          QStringLiteral("Проведенные документы без всех своих проводок: 1\n"
                         "  документ %1 (Расход от ")
              .arg(doc),
          QStringLiteral("  TypeCategoryItem: тип %1, заготовка -900 ").arg(type),
          QStringLiteral("Найдено проблем: 3.\n")}) {
        EXPECT_TRUE(r.out.contains(expected)) << expected.toStdString() << "\n"
                                              << r.out.toStdString();
    }
    EXPECT_FALSE(r.out.contains(QStringLiteral("-901"))) << r.out.toStdString();

    r = runTool({QStringLiteral("check"), path, QStringLiteral("--repair")});
    const QStringList copies = files(defaultBackupFolder(path));
    ASSERT_EQ(copies.size(), 1) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(mode(defaultBackupFolder(path)), 0700);
    const QString copy = QDir(defaultBackupFolder(path)).filePath(copies[0]);
    EXPECT_EQ(mode(copy), 0600);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Копия до исправления: %1\n").arg(copy)));
    for (const QString& expected :
         {QStringLiteral("  остаток счета %1: %2 -> %3 (по проводкам)\n")
              .arg(account)
              .arg(money2(wrong), money2(saldo)),
          QStringLiteral("  удалено оставленных типов несохраненных записей: 1\n"),
          QStringLiteral("  Проведенные документы без всех своих проводок (1): не исправлено")}) {
        EXPECT_TRUE(r.out.contains(expected)) << expected.toStdString() << "\n"
                                              << r.out.toStdString();
    }
    EXPECT_EQ(r.exitCode, 1);  // the document is still without its ledger row
    expectBalancesMatchLedger();
    EXPECT_EQ(count(QStringLiteral("TypeCategoryItem"), QStringLiteral("IdCategory < 0")), 1);
    EXPECT_EQ(count(QStringLiteral("TypeCategoryItem"), QStringLiteral("IdCategory = -901")), 1);

    // A missing sign row.
    exec(QStringLiteral("delete from GroupOperationItem where CodTypeOperation = 4"));
    r = runTool({QStringLiteral("check"), path});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(
        r.out.contains(QStringLiteral("Нет строк настройки, без которых программа не работает: 1\n"
                                      "  нет знака операции 4 в группе 1 (GroupOperationItem)")))
        << r.out.toStdString();

    // A file that is not a database is a file the tool cannot open.
    const QString text = m_dir->filePath(QStringLiteral("notes.db"));
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, 'x'));
    f.close();
    r = runTool({QStringLiteral("check"), text});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("file is not a database"))) << r.err.toStdString();
    EXPECT_EQ(runTool({QStringLiteral("check")}).exitCode, 2);
}

TEST_F(Care, RestoreRefusesADamagedCopyAndAnOpenFileAndKeepsTheCurrentFile) {
    const QString path = demo();
    ToolRun r = runTool({QStringLiteral("backup"), path});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString copy = r.out.section(QStringLiteral(": "), 1).trimmed();
    ASSERT_TRUE(QFile::exists(copy)) << r.out.toStdString();
    exec(QStringLiteral("delete from DataAccount"));  // a change after the copy
    const QByteArray current = digest(path);

    // Pages in the middle of the copy overwritten.
    const QString damaged = m_dir->filePath(QStringLiteral("damaged.db"));
    ASSERT_TRUE(QFile::copy(copy, damaged));
    QFile d(damaged);
    ASSERT_TRUE(d.open(QIODevice::ReadWrite));
    d.seek(d.size() / 2);
    d.write(QByteArray(20000, '\x5a'));
    d.close();
    m_q.reset();
    m_db.reset();
    m_dm->ADOConnection1.close();
    const QStringList before = files(m_dir->path());
    r = runTool({QStringLiteral("restore"), damaged, path});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("повреждена"))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("не изменен")));
    EXPECT_EQ(digest(path), current);
    EXPECT_EQ(files(m_dir->path()), before);

    // What can still be read of the damaged copy goes into a new, sound file.
    const QString saved = m_dir->filePath(QStringLiteral("saved.db"));
    r = runTool({QStringLiteral("recover"), damaged, saved});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("  HeadAccount: "))) << r.out.toStdString();
    r = runTool({QStringLiteral("check"), saved});
    EXPECT_NE(r.exitCode, 2);
    EXPECT_FALSE(r.out.contains(QStringLiteral("Файл поврежден"))) << r.out.toStdString();
    EXPECT_EQ(runTool({QStringLiteral("recover"), damaged, saved}).exitCode, 1);  // taken
    QFile::remove(saved);

    // While a program has the file open, it is not replaced under it.
    reopenTestConnection(path);
    r = runTool({QStringLiteral("restore"), copy, path});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("открыт другой программой"))) << r.err.toStdString();
    EXPECT_EQ(digest(path), current);

    m_q.reset();
    m_db.reset();
    // A file shared with the family's group stays shared.
    ASSERT_TRUE(::chmod(QFile::encodeName(path).constData(), 0660) == 0);
    r = runTool({QStringLiteral("restore"), copy, path});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(digest(path), digest(copy));
    EXPECT_EQ(mode(path), 0660);
    const QStringList kept = files(m_dir->path(), QStringLiteral("family-before-restore-*.db"));
    ASSERT_EQ(kept.size(), 1) << r.out.toStdString();
    EXPECT_EQ(digest(m_dir->filePath(kept[0])), current);
}

TEST_F(Care, ABackupKilledHalfWayLeavesNoFileUnderAFinalName) {
    if (onServer()) {
        GTEST_SKIP() << "copies of a file: a server is copied with its own tools";
    }
    // A program holds the file for a write, so the copy waits with its
    // temporary file made: it is under way until it is killed.
    exec(QStringLiteral("begin exclusive"));
    const QString folder = m_dir->filePath(QStringLiteral("copies"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString target = QDir(folder).filePath(QStringLiteral("copy.db"));
    QProcess tool;
    tool.start(QStringLiteral(DORSANTI_DB_TOOL), {QStringLiteral("backup"), m_path, target});
    ASSERT_TRUE(tool.waitForStarted());
    ASSERT_TRUE(waitFor(
        [&] {
            return tool.state() != QProcess::Running ||
                   !files(folder, QStringLiteral(".*.tmp-*")).isEmpty();
        },
        60000));
    ASSERT_EQ(tool.state(), QProcess::Running) << tool.readAllStandardError().toStdString();
    tool.kill();
    ASSERT_TRUE(tool.waitForFinished());
    exec(QStringLiteral("rollback"));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(files(folder, QStringLiteral("*.db")), QStringList());

    // The next copy into the folder clears what the killed one left.
    const ToolRun r = runTool({QStringLiteral("backup"), m_path, folder});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList left = files(folder);
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(left[0].startsWith(QStringLiteral("test-"))) << left[0].toStdString();
}

TEST_F(Care, ABackupTakenWhileAnotherProgramPostsIsSoundAndBalanced) {
    const QString path = m_dir->filePath(QStringLiteral("busy.db"));
    Reliability::makeDatabase(path, 300);
    QProcess worker;
    worker.start(QStringLiteral(DORSANTI_POSTING_WORKER),
                 {path, QStringLiteral("7"), QStringLiteral("0")});
    ASSERT_TRUE(worker.waitForStarted());
    qint64 dots = 0;
    for (int i = 0; i < 5; ++i) {
        // Each copy starts once the other program has posted some more.
        const qint64 goal = dots + 20;
        while (dots < goal && worker.state() == QProcess::Running) {
            worker.waitForReadyRead(10000);
            dots += worker.readAllStandardOutput().count('.');
        }
        ASSERT_EQ(worker.state(), QProcess::Running) << worker.readAllStandardError().data();
        const QString copy = m_dir->filePath(QStringLiteral("copy%1.db").arg(i));
        backupDatabase(path, copy);
        const Reliability::Check check = Reliability::inspect(copy);
        EXPECT_TRUE(check.sound()) << check.describe().toStdString();
        EXPECT_EQ(check.documents, 300);
    }
    worker.kill();
    worker.waitForFinished();
}

TEST_F(Care, UsersAddedByTheToolSignInAndTheLastOneStays) {
    ToolRun r = runTool({QStringLiteral("user"), QStringLiteral("add"), m_path,
                         QStringLiteral("Иван"), QStringLiteral("--full-name"),
                         QStringLiteral("Иван Петров"), QStringLiteral("--password-stdin")},
                        "тайна\n");
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = runTool({QStringLiteral("user"), QStringLiteral("add"), m_path, QStringLiteral("ИВАН"),
                 QStringLiteral("--full-name"), QStringLiteral("Другой"),
                 QStringLiteral("--password-stdin")},
                "x\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("уже есть"))) << r.err.toStdString();
    // A name with a tab or a line break in it could be neither seen nor typed.
    for (const QString& name : {QStringLiteral("Иван\tГрозный"), QStringLiteral("Иван\nx")}) {
        r = runTool({QStringLiteral("user"), QStringLiteral("add"), m_path, name,
                     QStringLiteral("--full-name"), QStringLiteral("x"),
                     QStringLiteral("--password-stdin")},
                    "x\n");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(QStringLiteral("управляющий символ"))) << r.err.toStdString();
    }
    r = runTool({QStringLiteral("user"), QStringLiteral("passwd"), m_path, QStringLiteral("иван"),
                 QStringLiteral("--password-stdin")},
                "  новая тайна \n");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    // Without a terminal and without --password-stdin nothing is asked.
    r = runTool(
        {QStringLiteral("user"), QStringLiteral("passwd"), m_path, QStringLiteral("иван")});
    EXPECT_EQ(r.exitCode, 1);
    r = runTool({QStringLiteral("user"), QStringLiteral("list"), m_path});
    EXPECT_EQ(r.out, QStringLiteral("1\tsa\tАдминистратор\n2\tИван\tИван Петров\n"));

    // The sign-in accepts the name in any case with the new password.
    setSettingsFilePath(m_dir->filePath(QStringLiteral("dorsanti.ini")));
    m_dm->ADOConnection1.close();
    ModalHelper mh;
    mh.onNext<TLoginFM>([&](TLoginFM* f) {
        f->edLogin->setText(QStringLiteral("ИВАН"));
        f->edPass->setText(QStringLiteral("новая тайна"));
        f->feDB->setFileName(m_path);
        f->BitBtn1->click();
    });
    EXPECT_TRUE(ShowLoginFM()) << mh.texts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(m_dm->FullName, QStringLiteral("Иван Петров"));
    setSettingsFilePath(QString());
    m_dm->ADOConnection1.close();

    r = runTool({QStringLiteral("user"), QStringLiteral("remove"), m_path, QStringLiteral("sa")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = runTool(
        {QStringLiteral("user"), QStringLiteral("remove"), m_path, QStringLiteral("Иван")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("последний пользователь")));
    EXPECT_EQ(count(QStringLiteral("sec_user")), 1);
    EXPECT_EQ(count(QStringLiteral("sec_Session")), 1);
}

TEST_F(Care, TheFirstCloseOfTheDayCopiesAndKeepsTheNewestTen) {
    if (onServer()) {
        GTEST_SKIP() << "the daily copy is made of a file only";
    }
    startSession();
    const QString folder = defaultBackupFolder(m_path);
    makeBackupFolder(m_path);
    for (int day = 1; day <= 11; ++day) {
        QFile old(QDir(folder).filePath(QStringLiteral("test-daily-2026-01-%1T10-00-00.db")
                                            .arg(day, 2, 10, QLatin1Char('0'))));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    }
    // The day of the copy is the day of the close, which may pass midnight.
    const QDate before = QDate::currentDate();
    closeMainWindow();
    const QDate after = QDate::currentDate();
    QStringList copies = files(folder);
    ASSERT_EQ(copies.size(), kDailyCopiesKept);
    EXPECT_EQ(copies.first(), QStringLiteral("test-daily-2026-01-03T10-00-00.db"));
    const QDate day = QDate::fromString(copies.last().mid(11, 10), Qt::ISODate);
    EXPECT_TRUE(day == before || day == after) << copies.last().toStdString();
    EXPECT_EQ(mode(QDir(folder).filePath(copies.last())), 0600);
    EXPECT_EQ(runTool({QStringLiteral("check"), QDir(folder).filePath(copies.last())}).exitCode,
              0);

    // The second close of the day copies nothing.
    closeMainWindow();
    EXPECT_EQ(files(folder), copies);
}

TEST_F(Care, AFailedDailyCopyDoesNotStopTheCloseAndTheNextCheckReportsIt) {
    if (onServer()) {
        GTEST_SKIP() << "the daily copy is made of a file only";
    }
    startSession();
    // A file where the folder of copies should be: no folder can be made.
    QFile blocker(defaultBackupFolder(m_path));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    closeMainWindow();
    ToolRun r = runTool({QStringLiteral("check"), m_path});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Последняя автоматическая копия не удалась: 1\n")))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("не удалось создать папку")));

    QFile::remove(defaultBackupFolder(m_path));
    ASSERT_EQ(runTool({QStringLiteral("backup"), m_path}).exitCode, 0);
    EXPECT_EQ(runTool({QStringLiteral("check"), m_path}).exitCode, 0);
}

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

bool isLink(const QString& path) {
    return QFileInfo(path).isSymLink();
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

// Names beside a shared file that another account could prepare: a link put
// there is never followed, and what it points to stays as it was.
TEST_F(Care, NoFileBesideADatabaseIsMadeThroughALinkSomeonePrepared) {
    const QString db = demo(QStringLiteral("fam2.db"));
    m_q.reset();
    m_db.reset();
    const QString victim = m_dir->filePath(QStringLiteral("victim.txt"));
    writeFile(victim, "чужое\n");
    ::chmod(QFile::encodeName(victim).constData(), 0644);
    const QString victimFolder = m_dir->filePath(QStringLiteral("victim"));
    ASSERT_TRUE(QDir().mkdir(victimFolder));
    const QString marker = dailyCopyFailurePath(db);
    ASSERT_TRUE(QFile::link(victim, marker));
    ASSERT_TRUE(QFile::link(victim, liveSessionsFilePath(db)));
    ASSERT_TRUE(QFile::link(victimFolder, defaultBackupFolder(db)));
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = 0; s < 5; ++s) {
        ASSERT_TRUE(QFile::link(victim, backupFilePath(db, m_dir->path(), now.addSecs(s),
                                                       QStringLiteral("before-restore"))));
    }

    // The side file of the sessions: the mark is not taken through the link.
    LiveSession mark;
    EXPECT_FALSE(mark.hold(db, 5));
    // The folder of copies: refused, and the daily copy records why.
    ToolRun r = runTool({QStringLiteral("backup"), db});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("символическая ссылка"))) << r.err.toStdString();
    EXPECT_FALSE(runDailyBackup(db, now));
    EXPECT_FALSE(isLink(marker));
    EXPECT_EQ(mode(marker), 0600);
    r = runTool({QStringLiteral("check"), db});
    EXPECT_TRUE(r.out.contains(QStringLiteral("символическая ссылка"))) << r.out.toStdString();
    // The copy kept by a restore.
    const QString copy = m_dir->filePath(QStringLiteral("copy.db"));
    ASSERT_EQ(runTool({QStringLiteral("backup"), db, copy}).exitCode, 0);
    r = runTool({QStringLiteral("restore"), copy, db});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString kept = r.out.section(QStringLiteral(": "), 1).section(QLatin1Char('\n'), 0, 0);
    EXPECT_FALSE(isLink(kept)) << kept.toStdString();
    EXPECT_EQ(runTool({QStringLiteral("check"), kept}).exitCode, 0);

    EXPECT_EQ(contents(victim), QByteArray("чужое\n"));
    EXPECT_EQ(mode(victim), 0644);
    EXPECT_EQ(files(victimFolder), QStringList());
}

namespace {

// Two accounts of one family group, as the README sets them up, and the
// programs they run. The tests act as them only when they run as root.
struct Account {
    uid_t uid;
    gid_t group;
};

void runAs(QProcess& p, const Account& a) {
    p.setChildProcessModifier([a] {
        const gid_t groups[] = {a.group};
        if (::setgroups(1, groups) != 0 || ::setgid(a.uid) != 0 || ::setuid(a.uid) != 0) {
            ::_exit(99);
        }
    });
}

ToolRun runToolAs(const Account& a, const QString& tool, const QStringList& args) {
    QProcess p;
    runAs(p, a);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(tool, args);
    return finishedRun(p);
}

int groupOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_gid) : -1;
}

int fullMode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

}  // namespace

// Anna and Boris keep one file in a folder of their group. Each one's files
// beside it serve the other, and neither takes the other's running program
// for a dead one: not when its mark cannot be held, and not when the side
// file of the marks is deleted under it.
TEST_F(Care, ASharedFileWorksForEveryMemberOfItsGroup) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "acting as two accounts needs root";
    }
    const Account anna{61001, 61000};
    const Account boris{61002, 61000};
    ::chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
    // The programs, where the two accounts may run them.
    const QString bin = m_dir->filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkdir(bin));
    const QString tool = bin + QStringLiteral("/dorsanti-db");
    const QString worker = bin + QStringLiteral("/session_worker");
    ASSERT_TRUE(QFile::copy(QStringLiteral(DORSANTI_DB_TOOL), tool));
    ASSERT_TRUE(QFile::copy(QStringLiteral(DORSANTI_SESSION_WORKER), worker));
    for (const QString& p : {bin, tool, worker}) {
        ::chmod(QFile::encodeName(p).constData(), 0755);
    }
    const QString shared = m_dir->filePath(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkdir(shared));
    ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), 0, anna.group), 0);
    ::chmod(QFile::encodeName(shared).constData(), 02770);
    const QString db = shared + QStringLiteral("/fam.db");
    ASSERT_EQ(runTool({QStringLiteral("create"), db, QStringLiteral("--demo")}).exitCode, 0);
    for (const auto& [name, password] :
         {std::pair{QStringLiteral("анна"), "тайна\n"}, {QStringLiteral("борис"), "секрет\n"}}) {
        ASSERT_EQ(
            runTool({QStringLiteral("user"), QStringLiteral("add"), db, name,
                     QStringLiteral("--full-name"), name, QStringLiteral("--password-stdin")},
                    password)
                .exitCode,
            0);
    }
    ASSERT_EQ(::chown(QFile::encodeName(db).constData(), anna.uid, anna.group), 0);
    ::chmod(QFile::encodeName(db).constData(), 0660);
    const int type = 1;

    // Anna's copy: a folder and a copy that Boris may use.
    ToolRun r = runToolAs(anna, tool, {QStringLiteral("backup"), db});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString copy = r.out.section(QStringLiteral(": "), 1).trimmed();
    EXPECT_EQ(fullMode(defaultBackupFolder(db)), 02770);
    EXPECT_EQ(groupOf(defaultBackupFolder(db)), int(anna.group));
    EXPECT_EQ(fullMode(copy), 0660);
    EXPECT_EQ(groupOf(copy), int(anna.group));

    // Boris signs in first: the side file of the marks is the group's too.
    struct Program {
        QProcess p;
        int session = 0;
    };
    const auto signIn = [&](Program& program, const Account& who, const QString& name,
                            const QString& password) {
        runAs(program.p, who);
        program.p.start(worker, {db, name, password, QString::number(type)});
        const bool ok = program.p.waitForReadyRead(30000);
        const QString line = QString::fromUtf8(program.p.readAllStandardOutput());
        program.session = line.section(QLatin1Char(' '), 1).trimmed().toInt();
        return ok && program.session > 0;
    };
    Program borisProgram;
    ASSERT_TRUE(signIn(borisProgram, boris, QStringLiteral("борис"), QStringLiteral("секрет")))
        << borisProgram.p.readAllStandardError().data();
    const QString marks = liveSessionsFilePath(db);
    EXPECT_EQ(fullMode(marks), 0660);
    EXPECT_EQ(groupOf(marks), int(anna.group));
    borisProgram.p.kill();
    borisProgram.p.waitForFinished();

    // A side file of an older program, for Boris alone: Anna's program cannot
    // hold its mark there, and still counts as running.
    ::chmod(QFile::encodeName(marks).constData(), 0600);
    Program annaProgram;
    ASSERT_TRUE(signIn(annaProgram, anna, QStringLiteral("анна"), QStringLiteral("тайна")));
    const QString placeholder = QStringLiteral("IdCategory = -%1").arg(annaProgram.session);
    const QByteArray before = digest(db);
    r = runToolAs(boris, tool, {QStringLiteral("restore"), copy, db});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(
        r.err.contains(QStringLiteral("работает программа (сеанс %1)").arg(annaProgram.session)))
        << r.err.toStdString();
    EXPECT_EQ(digest(db), before);

    // The side file deleted while she works: she is still not taken for gone.
    ASSERT_TRUE(QFile::remove(marks));
    r = runToolAs(boris, tool,
                  {QStringLiteral("user"), QStringLiteral("remove"), db, QStringLiteral("анна")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("сейчас работает"))) << r.err.toStdString();
    r = runToolAs(boris, tool, {QStringLiteral("check"), db, QStringLiteral("--repair")});
    reopenTestConnection(db);
    EXPECT_EQ(count(QStringLiteral("TypeCategoryItem"), placeholder), 1) << r.out.toStdString();
    m_q.reset();
    m_db.reset();
    EXPECT_EQ(runToolAs(boris, tool, {QStringLiteral("restore"), copy, db}).exitCode, 1);

    // Once her program is gone, what it left may go.
    annaProgram.p.kill();
    annaProgram.p.waitForFinished();
    r = runToolAs(boris, tool, {QStringLiteral("check"), db, QStringLiteral("--repair")});
    reopenTestConnection(db);
    EXPECT_EQ(count(QStringLiteral("TypeCategoryItem"), placeholder), 0) << r.out.toStdString();
    m_q.reset();
    m_db.reset();
    r = runToolAs(boris, tool,
                  {QStringLiteral("user"), QStringLiteral("remove"), db, QStringLiteral("анна")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    r = runToolAs(boris, tool, {QStringLiteral("restore"), copy, db});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(fullMode(db), 0660);
    EXPECT_EQ(groupOf(db), int(anna.group));
}

// Restore puts the copy where a link points, never onto the copy itself, and
// never beside a journal left by a program killed half-way.
TEST_F(Care, RestoreFollowsALinkAndLeavesNoForeignJournalBesideTheCopy) {
    const QString real = demo(QStringLiteral("real.db"));
    m_q.reset();
    m_db.reset();
    const QString copy = m_dir->filePath(QStringLiteral("copy.db"));
    ASSERT_EQ(runTool({QStringLiteral("backup"), real, copy}).exitCode, 0);
    ToolRun r = runTool({QStringLiteral("restore"), real, real});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("один и тот же файл"))) << r.err.toStdString();

    // A change after the copy, then the restore through a link.
    reopenTestConnection(real);
    exec(QStringLiteral("delete from DataAccount"));
    m_q.reset();
    m_db.reset();
    const QByteArray changed = digest(real);
    const QString link = m_dir->filePath(QStringLiteral("link.db"));
    ASSERT_TRUE(QFile::link(real, link));
    r = runTool({QStringLiteral("restore"), copy, link});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(isLink(link));
    EXPECT_EQ(digest(real), digest(copy));
    const QString kept = r.out.section(QStringLiteral(": "), 1).section(QLatin1Char('\n'), 0, 0);
    EXPECT_FALSE(isLink(kept)) << kept.toStdString();
    EXPECT_EQ(digest(kept), changed);

    // A program killed in the middle of a write leaves its journal; the file
    // is then taken away, and the copy must not go in beside that journal.
    QProcess writer;
    writer.start(QStringLiteral("sqlite3"), {real});
    ASSERT_TRUE(writer.waitForStarted());
    writer.write(
        "PRAGMA cache_size = 1; BEGIN;\n"
        "update Document set NoteDocument = hex(randomblob(500));\n"
        "select 'ready';\n");
    QByteArray said;
    ASSERT_TRUE(waitFor(
        [&] {
            said += writer.readAllStandardOutput();
            return said.contains("ready") || writer.state() != QProcess::Running;
        },
        20000));
    writer.kill();
    writer.waitForFinished();
    ASSERT_TRUE(QFile::exists(real + QStringLiteral("-journal")))
        << writer.readAllStandardError().data();
    ASSERT_TRUE(QFile::rename(real, m_dir->filePath(QStringLiteral("gone.db"))));
    r = runTool({QStringLiteral("restore"), copy, real});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("журнал"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(real));

    // A full disk is told as such, not as a damaged copy.
    QFile::remove(real + QStringLiteral("-journal"));
    FullDisk::install();
    FullDisk::limit(0);
    try {
        restoreDatabase(copy, real);
        ADD_FAILURE() << "restored onto a full disk";
    } catch (const AppError& e) {
        EXPECT_TRUE(e.text().startsWith(QStringLiteral("на диске нет места"))) << e.what();
    }
    FullDisk::unlimited();
    EXPECT_FALSE(QFile::exists(real));
}

// Every command refuses what it does not know, and the sqlite3 program that
// recover runs reads any file name as a name, never waiting for input.
TEST_F(Care, CommandsRefuseUnknownOptionsAndRecoverReadsAnyName) {
    const QString path = demo(QStringLiteral("fam.db"));
    m_q.reset();
    m_db.reset();
    const QStringList before = files(m_dir->path());
    for (const QStringList& args :
         {QStringList{QStringLiteral("backup"), QStringLiteral("fam.db"),
                      QStringLiteral("--dry-run")},
          QStringList{QStringLiteral("restore"), QStringLiteral("fam.db"), QStringLiteral("x.db"),
                      QStringLiteral("--force")},
          QStringList{QStringLiteral("recover"), QStringLiteral("--quick"),
                      QStringLiteral("fam.db"), QStringLiteral("new.db")},
          QStringList{QStringLiteral("user"), QStringLiteral("list"), QStringLiteral("fam.db"),
                      QStringLiteral("--password-stdin")},
          QStringList{QStringLiteral("user"), QStringLiteral("add"), QStringLiteral("fam.db"),
                      QStringLiteral("ivan"), QStringLiteral("--full-name")}}) {
        QProcess p;
        p.setWorkingDirectory(m_dir->path());
        p.start(QStringLiteral(DORSANTI_DB_TOOL), args);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(p.readAllStandardError().contains("dorsanti-db"));
    }
    EXPECT_EQ(files(m_dir->path()), before);

    ASSERT_TRUE(QFile::copy(path, m_dir->filePath(QStringLiteral("-cmd"))));
    QProcess p;
    p.setWorkingDirectory(m_dir->path());
    p.start(QStringLiteral(DORSANTI_DB_TOOL),
            {QStringLiteral("recover"), QStringLiteral("--"), QStringLiteral("-cmd"),
             QStringLiteral("saved.db")});
    ASSERT_TRUE(p.waitForFinished(60000)) << "recover waits for input";
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().data();
    EXPECT_EQ(
        runTool({QStringLiteral("check"), m_dir->filePath(QStringLiteral("saved.db"))}).exitCode,
        0);
    EXPECT_FALSE(QFile::exists(m_dir->filePath(QStringLiteral("--dry-run"))));

    // A copy of a file that is not there, or into a folder that is not there,
    // makes no folder.
    const QStringList untouched = files(m_dir->path());
    EXPECT_EQ(
        runTool({QStringLiteral("backup"), m_dir->filePath(QStringLiteral("nosuch.db"))}).exitCode,
        1);
    EXPECT_EQ(runTool({QStringLiteral("backup"), path,
                       m_dir->filePath(QStringLiteral("no/such/copy.db"))})
                  .exitCode,
              1);
    EXPECT_EQ(QDir(m_dir->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    EXPECT_EQ(files(m_dir->path()), untouched);
}

// Two files of one folder whose names differ only in the extension keep
// their daily copies apart: each gets its copy, and each is pruned alone.
TEST_F(Care, DailyCopiesOfTwoFilesOfOneFolderAreToldApart) {
    const QString db = demo(QStringLiteral("fam.db"));
    const QString other = demo(QStringLiteral("fam.sqlite"));
    exec(QStringLiteral("update HeadAccount set Caption = 'Другой файл'"));
    m_q.reset();
    m_db.reset();
    ASSERT_TRUE(QDir().mkdir(defaultBackupFolder(other)));
    for (int day = 1; day <= 3; ++day) {
        writeFile(
            QDir(defaultBackupFolder(other))
                .filePath(QStringLiteral("fam.sqlite-daily-2026-01-0%1T10-00-00.db").arg(day)),
            {});
    }
    const QDateTime now = QDateTime::currentDateTime();
    ASSERT_TRUE(runDailyBackup(db, now));
    ASSERT_TRUE(runDailyBackup(other, now));
    const QStringList copies = files(defaultBackupFolder(other));
    ASSERT_EQ(copies.size(), 4);
    reopenTestConnection(QDir(defaultBackupFolder(other)).filePath(copies.last()));
    EXPECT_EQ(scalar(QStringLiteral("select min(Caption) from HeadAccount")).toString(),
              QStringLiteral("Другой файл"));
    m_q.reset();
    m_db.reset();
    for (int day = 1; day <= kDailyCopiesKept; ++day) {
        ASSERT_TRUE(runDailyBackup(db, now.addDays(day)));
    }
    EXPECT_EQ(files(defaultBackupFolder(db)).size(), kDailyCopiesKept);
    EXPECT_EQ(files(defaultBackupFolder(other)), copies);
}

// Passwords are kept as hashes only. A file of an older program, with a plain
// text, still signs in and is not written to by it; the check names such
// users and its repair hashes them.
TEST_F(Care, PasswordsAreKeptOnlyAsHashes) {
    const QString path = m_dir->filePath(QStringLiteral("new.db"));
    ASSERT_EQ(runTool({QStringLiteral("create"), path, QStringLiteral("--starter")}).exitCode, 0);
    ASSERT_EQ(runTool({QStringLiteral("user"), QStringLiteral("add"), path,
                       QStringLiteral("Мария"), QStringLiteral("--full-name"),
                       QStringLiteral("Мария"), QStringLiteral("--password-stdin")},
                      "ТайнаМарии-1\n")
                  .exitCode,
              0);
    ASSERT_EQ(runTool({QStringLiteral("user"), QStringLiteral("passwd"), path,
                       QStringLiteral("sa"), QStringLiteral("--password-stdin")},
                      "Secret-Of-sa\n")
                  .exitCode,
              0);
    for (const QByteArray& password : {QByteArray("ТайнаМарии-1"), QByteArray("Secret-Of-sa")}) {
        EXPECT_FALSE(contents(path).contains(password)) << password.data();
    }
    ToolRun r = runTool({QStringLiteral("check"), path});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();

    setSettingsFilePath(m_dir->filePath(QStringLiteral("dorsanti.ini")));
    const auto signIn = [&](const QString& name, const QString& password) {
        m_dm->ADOConnection1.close();
        ModalHelper mh;
        mh.onNext<TLoginFM>([&](TLoginFM* f) {
            f->edLogin->setText(name);
            f->edPass->setText(password);
            f->feDB->setFileName(path);
            f->BitBtn1->click();
            if (f->isVisible()) {
                f->BitBtn2->click();
            }
        });
        const bool ok = ShowLoginFM();
        m_dm->ADOConnection1.close();
        return ok;
    };
    EXPECT_TRUE(signIn(QStringLiteral("МАРИЯ"), QStringLiteral("ТайнаМарии-1")));
    EXPECT_FALSE(signIn(QStringLiteral("мария"), QStringLiteral("тайнамарии-1")));
    EXPECT_TRUE(signIn(QStringLiteral("sa"), QStringLiteral("Secret-Of-sa")));

    // A password of an older program.
    reopenTestConnection(path);
    exec(QStringLiteral("update sec_user set sec_password = 'Старый' where sec_username = 'sa'"));
    EXPECT_FALSE(signIn(QStringLiteral("sa"), QStringLiteral("старый")));
    EXPECT_TRUE(signIn(QStringLiteral("sa"), QStringLiteral("Старый")));
    EXPECT_EQ(scalar(QStringLiteral("select sec_password from sec_user where sec_IdUser = 1"))
                  .toString(),
              QStringLiteral("Старый"));
    m_q.reset();
    m_db.reset();
    r = runTool({QStringLiteral("check"), path});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(
        r.out.contains(QStringLiteral("открытым текстом (их прочтет любой, кто прочтет "
                                      "файл): 1\n  пользователь 1 \"sa\"\n")))
        << r.out.toStdString();
    r = runTool({QStringLiteral("check"), path, QStringLiteral("--repair")});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_FALSE(contents(path).contains(QByteArray("Старый")));
    EXPECT_TRUE(signIn(QStringLiteral("sa"), QStringLiteral("Старый")));
    setSettingsFilePath(QString());
}

// These calls fail with the error set here, as a file system that refuses
// them would; fsync only on a folder.
int g_fchmodError = 0, g_fchownError = 0, g_folderSyncError = 0;
extern "C" int fchmod(int fd, mode_t m) {
    static const auto next = reinterpret_cast<int (*)(int, mode_t)>(dlsym(RTLD_NEXT, "fchmod"));
    return g_fchmodError ? (errno = g_fchmodError, -1) : next(fd, m);
}
extern "C" int fchown(int fd, uid_t u, gid_t g) {
    static const auto next =
        reinterpret_cast<int (*)(int, uid_t, gid_t)>(dlsym(RTLD_NEXT, "fchown"));
    return g_fchownError ? (errno = g_fchownError, -1) : next(fd, u, g);
}
extern "C" int fsync(int fd) {
    static const auto next = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    struct stat st {};
    return g_folderSyncError && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)
               ? (errno = g_folderSyncError, -1)
               : next(fd);
}

// What the system refuses while a copy is placed or restored is told, and
// nothing is left half done.
TEST_F(Care, ARefusedModeGroupOrFolderSyncIsToldAndChangesNothing) {
    const QString real = demo(QStringLiteral("real.db")), copy = real + QStringLiteral(".copy");
    m_q.reset();
    m_db.reset();
    const QByteArray before = digest(real);
    const auto told = [](int& error, int code, const std::function<void()>& step) {
        error = code;
        QString text;
        try {
            step();
        } catch (const AppError& e) {
            text = e.text();
        }
        error = 0;
        return text.section(QLatin1Char(' '), 0, 2);
    };
    EXPECT_EQ(told(g_folderSyncError, EIO, [&] { backupDatabase(real, copy); }),
              QStringLiteral("не удалось записать"));
    EXPECT_FALSE(QFile::exists(copy));
    backupDatabase(real, copy);
    EXPECT_EQ(told(g_fchmodError, EIO, [&] { restoreDatabase(copy, real); }),
              QStringLiteral("не удалось задать"));
    if (::geteuid() == 0) {  // a file shared with a group the restoring account may not give
        ASSERT_EQ(::chown(QFile::encodeName(real).constData(), uid_t(-1), ::getegid() + 1), 0);
        EXPECT_EQ(told(g_fchownError, EPERM, [&] { restoreDatabase(copy, real); }),
                  QStringLiteral("не удалось передать"));
    }
    EXPECT_EQ(digest(real), before);
}

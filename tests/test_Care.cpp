// Looking after a family's file with dorsanti-db: the check and its repair,
// safe copies and their restore, users, and the daily copy of the program.
#include "Backup.h"
#include "Check.h"
#include "DailyBackup.h"
#include "Login_FM.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "Placeholders.h"
#include "Reliability.h"
#include "Settings.h"
#include "TestDb.h"
#include "TestUtil.h"
#include "ToolRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <sys/stat.h>

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
    // Some forty megabytes, so that the copy takes a moment.
    exec(
        QStringLiteral("create table Filler(x blob);"
                       "with recursive n(i) as (select 1 union all select i + 1 from n "
                       "where i < 10000) insert into Filler select randomblob(4000) from n"));
    const QString folder = m_dir->filePath(QStringLiteral("copies"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString target = QDir(folder).filePath(QStringLiteral("copy.db"));
    QProcess tool;
    tool.start(QStringLiteral(DORSANTI_DB_TOOL), {QStringLiteral("backup"), m_path, target});
    ASSERT_TRUE(tool.waitForStarted());
    ASSERT_TRUE(waitFor(
        [&] {
            const QStringList temps = files(folder, QStringLiteral(".*.tmp-*"));
            return tool.state() != QProcess::Running ||
                   (!temps.isEmpty() && QFileInfo(QDir(folder).filePath(temps[0])).size() > 0);
        },
        60000));
    ASSERT_EQ(tool.state(), QProcess::Running) << "the copy was over before it could be stopped";
    tool.kill();
    ASSERT_TRUE(tool.waitForFinished());
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
    startSession();
    const QString folder = defaultBackupFolder(m_path);
    makeBackupFolder(m_path);
    for (int day = 1; day <= 11; ++day) {
        QFile old(QDir(folder).filePath(QStringLiteral("test-daily-2026-01-%1T10-00-00.db")
                                            .arg(day, 2, 10, QLatin1Char('0'))));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    }
    closeMainWindow();
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QStringList copies = files(folder);
    ASSERT_EQ(copies.size(), kDailyCopiesKept);
    EXPECT_EQ(copies.first(), QStringLiteral("test-daily-2026-01-03T10-00-00.db"));
    EXPECT_TRUE(copies.last().startsWith(QStringLiteral("test-daily-%1T").arg(today)));
    EXPECT_EQ(mode(QDir(folder).filePath(copies.last())), 0600);
    EXPECT_EQ(runTool({QStringLiteral("check"), QDir(folder).filePath(copies.last())}).exitCode,
              0);

    // The second close of the day copies nothing.
    closeMainWindow();
    EXPECT_EQ(files(folder), copies);
}

TEST_F(Care, AFailedDailyCopyDoesNotStopTheCloseAndTheNextCheckReportsIt) {
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

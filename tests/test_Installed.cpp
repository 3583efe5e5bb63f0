// The installed program as a new user meets it: installed into a prefix that
// nobody may write to, started by a user other than root with a fresh home,
// its windows answered by the input plugin in tests/driver.
#include "Db.h"
#include "Dialogs.h"
#include "ModalHelper.h"
#include "TestDb.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The account the program runs under when the tests run as root.
constexpr uid_t kUser = 65534;

int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

struct ProcessRun {
    int exitCode = -1;
    QString output;
};

class Installed : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_tmp.isValid());
        m_root = m_tmp.path();
        m_prefix = m_root + QStringLiteral("/prefix");
        m_home = m_root + QStringLiteral("/home");
        ::chmod(QFile::encodeName(m_root).constData(), 0755);

        const ProcessRun install =
            run(QStringLiteral(DORSANTI_CMAKE),
                {QStringLiteral("--install"), QStringLiteral(DORSANTI_BUILD_DIR),
                 QStringLiteral("--prefix"), m_prefix},
                false);
        ASSERT_EQ(install.exitCode, 0) << install.output.toStdString();
        ASSERT_EQ(run(QStringLiteral("chmod"),
                      {QStringLiteral("-R"), QStringLiteral("a-w"), m_prefix}, false)
                      .exitCode,
                  0);

        // The plugin is copied where the other account can read it.
        const QString plugins = m_root + QStringLiteral("/plugins/generic");
        ASSERT_TRUE(QDir().mkpath(plugins));
        ASSERT_TRUE(QFile::copy(QStringLiteral(DORSANTI_DRIVER_PLUGIN),
                                plugins + QStringLiteral("/libdorsantidriver.so")));
        for (const QString& dir : {m_root + QStringLiteral("/plugins"), plugins}) {
            ::chmod(QFile::encodeName(dir).constData(), 0755);
        }
        for (const QString& dir : {m_home, m_root + QStringLiteral("/run")}) {
            ASSERT_TRUE(QDir().mkdir(dir));
            ::chmod(QFile::encodeName(dir).constData(), 0700);
            if (::geteuid() == 0) {
                ASSERT_EQ(::chown(QFile::encodeName(dir).constData(), kUser, kUser), 0);
            }
        }
    }

    // Runs a program, as the other account when `asUser` and the tests run as root.
    ProcessRun run(const QString& program, const QStringList& args, bool asUser,
                   const QString& driver = {}) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        if (asUser) {
            QProcessEnvironment env;
            env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
            env.insert(QStringLiteral("HOME"), m_home);
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), config());
            env.insert(QStringLiteral("XDG_DATA_HOME"), m_home + QStringLiteral("/.local/share"));
            env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home + QStringLiteral("/.cache"));
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_root + QStringLiteral("/run"));
            env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("QT_PLUGIN_PATH"), m_root + QStringLiteral("/plugins"));
            env.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"),
                       QStringLiteral("dorsantidriver:report=%1;%2").arg(report(), driver));
            p.setProcessEnvironment(env);
            p.setWorkingDirectory(m_home);
        }
        if (asUser && ::geteuid() == 0 && !m_asTester) {
            p.start(QStringLiteral("setpriv"),
                    QStringList{QStringLiteral("--reuid=%1").arg(kUser),
                                QStringLiteral("--regid=%1").arg(kUser),
                                QStringLiteral("--clear-groups"), QStringLiteral("--"), program} +
                        args);
        } else {
            p.start(program, args);
        }
        ProcessRun r;
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            r.output = QStringLiteral("timed out: ");
        }
        r.output += QString::fromUtf8(p.readAll());
        if (p.exitStatus() == QProcess::NormalExit) {
            r.exitCode = p.exitCode();
        }
        return r;
    }

    // Starts the installed program and gives what the plugin saw.
    QStringList startProgram(const QString& driver) {
        QFile::remove(report());
        const ProcessRun r =
            run(m_prefix + QStringLiteral("/bin/dorsanti"),
                {QStringLiteral("-reverse"), QStringLiteral("-platform"), QStringLiteral("xcb")},
                true, driver);
        EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
        return readText(report()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QString config() const { return m_home + QStringLiteral("/.config"); }
    QString report() const { return m_home + QStringLiteral("/report.txt"); }

    QTemporaryDir m_tmp;
    QString m_root, m_prefix, m_home;
    bool m_asTester = false;  // the program runs as the tests do, root too
};

}  // namespace

TEST_F(Installed, ANewUserSignsInWithEnterAndTheSettingsAreReadBack) {
    const QString db = m_home + QStringLiteral("/.local/share/dorsanti/dorsanti.db");
    const QString ini = config() + QStringLiteral("/dorsanti/dorsanti.ini");

    // First start: the default database is made, owner-only; the command line
    // (here Qt's own -reverse and -platform) is ignored.
    const QStringList first = startProgram(QStringLiteral("dialogs;user=SA "));
    const QStringList expected{
        QStringLiteral("sign-in: Вход в систему user=[sa] path=[%1] focus=edPass").arg(db),
        QStringLiteral("file dialog: Открыть"),
        QStringLiteral("Enter in edPass"),
        QStringLiteral("main window: Dorsanti"),
        QStringLiteral("colour window: Справочник статусов документов"),
        QStringLiteral("colour dialog: Выбор цвета"),
        QStringLiteral("custom colour: &Добавить к пользовательским цветам"),
        QStringLiteral("main window closes: Dorsanti")};
    EXPECT_EQ(first, expected);
    EXPECT_EQ(modeOf(db), 0600);
    EXPECT_EQ(modeOf(QFileInfo(db).absolutePath()), 0700);
    EXPECT_EQ(modeOf(QFileInfo(ini).absolutePath()), 0700);

    // Nothing but the program's own settings file is left in the config folder.
    QStringList files;
    for (QDirIterator it(config(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();) {
        files << QDir(config()).relativeFilePath(it.next());
    }
    EXPECT_EQ(files, QStringList{QStringLiteral("dorsanti/dorsanti.ini")});
    EXPECT_EQ(readText(ini), QStringLiteral("[General]\nUserName=SA \nDBPath=%1\n").arg(db));
    EXPECT_FALSE(QFileInfo::exists(m_prefix + QStringLiteral("/bin/dorsanti.ini")));

    // Second start: the dialog shows what the first one stored, and signs in
    // again; the settings file is rewritten in place in a folder that can no
    // longer be written to.
    ::chmod(QFile::encodeName(QFileInfo(ini).absolutePath()).constData(), 0500);
    const QStringList second = startProgram(QStringLiteral("user=sa"));
    ASSERT_FALSE(second.isEmpty());
    EXPECT_EQ(second.first(),
              QStringLiteral("sign-in: Вход в систему user=[SA ] path=[%1] focus=edPass").arg(db));
    EXPECT_EQ(second.last(), QStringLiteral("main window closes: Dorsanti"));
    EXPECT_EQ(readText(ini), QStringLiteral("[General]\nUserName=sa\nDBPath=%1\n").arg(db));

    DbConnection connection;
    connection.open(db);
    DbQuery q(connection);
    q.setSql(QStringLiteral("select count(*) as n, count(sec_End) as ended from sec_Session"));
    q.open();
    EXPECT_EQ(q.field(QStringLiteral("n")).asInteger(), 2);
    EXPECT_EQ(q.field(QStringLiteral("ended")).asInteger(), 2);
    q.setSql(QStringLiteral("select count(*) as n from Document"));
    q.open();
    EXPECT_EQ(q.field(QStringLiteral("n")).asInteger(), 0);  // no demo family
    // The starter books, ready for the first expense.
    q.setSql(
        QStringLiteral("select group_concat(Caption, '|') as c from (select ha.Caption from "
                       "HeadAccount ha join Valuta v using (IdValuta) where v.Caption = "
                       "'RUB' order by ha.IdHeadAccount)"));
    q.open();
    EXPECT_EQ(q.field(QStringLiteral("c")).asString(),
              QStringLiteral("Наличные|Банковская карта"));
    connection.close();

    // The installed tool makes owner-only files too.
    const QString other = m_home + QStringLiteral("/other.db");
    const ProcessRun tool = run(m_prefix + QStringLiteral("/bin/dorsanti-db"),
                                {QStringLiteral("create"), other}, true);
    EXPECT_EQ(tool.exitCode, 0) << tool.output.toStdString();
    EXPECT_EQ(modeOf(other), 0600);
}

// Whoever may write to the program's folder, root above all, still gets files
// of their own; only a folder marked as portable keeps them beside the program.
TEST_F(Installed, TheOneWhoMayWriteTheProgramsFolderKeepsNothingThere) {
    const QString bin = m_prefix + QStringLiteral("/bin");
    ASSERT_EQ(::chmod(QFile::encodeName(bin).constData(), 0755), 0);
    m_asTester = true;
    const QString db = m_home + QStringLiteral("/.local/share/dorsanti/dorsanti.db");
    QStringList seen = startProgram(QStringLiteral("user=sa"));
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.first(),
              QStringLiteral("sign-in: Вход в систему user=[sa] path=[%1] focus=edPass").arg(db));
    EXPECT_EQ(seen.last(), QStringLiteral("main window closes: Dorsanti"));
    EXPECT_EQ(QDir(bin).entryList(QDir::Files, QDir::Name),
              (QStringList{QStringLiteral("dorsanti"), QStringLiteral("dorsanti-db")}));
    EXPECT_TRUE(QFileInfo::exists(config() + QStringLiteral("/dorsanti/dorsanti.ini")));

    QFile mark(bin + QStringLiteral("/dorsanti.portable"));
    ASSERT_TRUE(mark.open(QIODevice::WriteOnly));
    mark.close();
    seen = startProgram(QStringLiteral("user=sa"));
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.first(),
              QStringLiteral("sign-in: Вход в систему user=[sa] path=[%1] focus=edPass")
                  .arg(bin + QStringLiteral("/dorsanti.db")));
    EXPECT_EQ(readText(bin + QStringLiteral("/dorsanti.ini")),
              QStringLiteral("[General]\nUserName=sa\nDBPath=%1/dorsanti.db\n").arg(bin));
}

TEST(QtTexts, TheStandardButtonsAreRussian) {
    ModalHelper mh;
    mh.answer(QMessageBox::Yes);
    EXPECT_TRUE(Confirm(QStringLiteral("Удалить запись?")));
    ShowMessage(QStringLiteral("Готово."));
    ASSERT_EQ(mh.boxes().size(), 2);
    QStringList question = mh.boxes()[0].buttons;
    question.sort();
    EXPECT_EQ(question, (QStringList{QStringLiteral("&Да"), QStringLiteral("&Нет")}));
    EXPECT_EQ(mh.boxes()[1].buttons, QStringList{QStringLiteral("ОК")});
}

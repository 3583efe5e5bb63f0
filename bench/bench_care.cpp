// bench_care: looking after a large file, against the bare engine and tool.
//
//   bench_care FILE
//
// FILE is a database made by "dorsanti-db create FILE --documents 1000000".
// In one run it measures:
//  - "dorsanti-db check" (in process) against a bare PRAGMA integrity_check;
//  - "dorsanti-db backup" (in process) against cp of the same file;
//  - the close of the main window when the daily copy is due, and how long
//    the copy then runs on after the window is gone.
// Copies are written beside FILE and removed again; the file is not changed
// except for the end stamp of a session that does not exist.

#include "Backup.h"
#include "Check.h"
#include "DailyBackup.h"
#include "Main_DM.h"
#include "Main_FM.h"
#include "RawDb.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <unistd.h>
#include <functional>

namespace {

QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

double seconds(const std::function<void()>& step) {
    QElapsedTimer t;
    t.start();
    step();
    return double(t.nsecsElapsed()) / 1e9;
}

void line(const QString& what, double s, double base = 0) {
    out() << what.leftJustified(46) << QString::number(s, 'f', 3) << " s";
    if (base > 0) {
        out() << "   x" << QString::number(s / base, 'f', 2);
    }
    out() << "\n";
    out().flush();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 || !QFileInfo(args[1]).isFile()) {
        QTextStream(stderr) << "usage: bench_care FILE\n";
        return 2;
    }
    const QString path = QFileInfo(args[1]).absoluteFilePath();
    const QDir folder = QFileInfo(path).absoluteDir();
    out() << "file: " << path << " (" << QFileInfo(path).size() / (1024 * 1024) << " MB)\n";

    // The file is read once first, so that every step finds it in memory.
    QStringList integrity;
    seconds([&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        while (!f.read(1 << 20).isEmpty()) {
        }
    });

    const double bare = seconds([&] {
        RawDb db(path, RawDb::Mode::ReadOnly);
        integrity = db.column(QStringLiteral("PRAGMA integrity_check"));
    });
    line(QStringLiteral("PRAGMA integrity_check (bare)"), bare);
    const double mapped = seconds([&] {
        RawDb db(path, RawDb::Mode::ReadOnly);
        mapIntoMemory(db.handle());
        integrity = db.column(QStringLiteral("PRAGMA integrity_check"));
    });
    line(QStringLiteral("PRAGMA integrity_check (bare, memory-mapped)"), mapped);
    CheckReport report;
    const double check = seconds([&] { report = checkDatabase(path); });
    line(QStringLiteral("check"), check, bare);
    out() << "  findings: " << report.findings.size() << "\n";

    const QString cpTarget = folder.filePath(QStringLiteral(".bench-cp.db"));
    const double cp = seconds([&] { QProcess::execute(QStringLiteral("cp"), {path, cpTarget}); });
    QFile::remove(cpTarget);
    line(QStringLiteral("cp"), cp);
    // A copy that is meant to survive a power cut must also reach the disk.
    const double cpSync = seconds([&] {
        QProcess::execute(QStringLiteral("cp"), {path, cpTarget});
        QFile copied(cpTarget);
        copied.open(QIODevice::ReadOnly);
        ::fsync(copied.handle());
    });
    QFile::remove(cpTarget);
    line(QStringLiteral("cp, then fsync"), cpSync);
    const QString target = folder.filePath(QStringLiteral(".bench-backup.db"));
    const double backup = seconds([&] { backupDatabase(path, target); });
    line(QStringLiteral("backup (copy, integrity_check, sync, place)"), backup, cp);
    QFile::remove(target);
    double pages = 0;
    {
        NewFile temp = NewFile::temporaryFor(target, ownerOnly());
        pages = seconds([&] { copyPages(path, temp, false); });
    }
    line(QStringLiteral("  its copying part alone (online backup)"), pages, cp);
    line(QStringLiteral("  its copying part, against cp + fsync"), pages, cpSync);

    // The close of the main window with the daily copy due.
    const QString daily = defaultBackupFolder(path);
    const QStringList before = QDir(daily).entryList(QDir::Files);
    if (dailyCopyMade(path, QDate::currentDate())) {
        out() << "a daily copy of today exists already in " << daily << "; remove it first\n";
        return 1;
    }
    TMainDM dm;
    dm.ADOConnection1.open(path);
    DailyBackup copy;
    TMainFM form;
    installDailyBackup(form, copy);
    form.show();
    QCoreApplication::processEvents();
    const double close = seconds([&] {
        form.close();
        QCoreApplication::processEvents();
    });
    line(QStringLiteral("main window close, daily copy due"), close);
    const double after = seconds([&] { copy.wait(); });
    line(QStringLiteral("  the copy running on after the close"), after);
    for (const QString& name : QDir(daily).entryList(QDir::Files)) {
        if (!before.contains(name)) {
            out() << "  made " << name << "\n";
            QFile::remove(QDir(daily).filePath(name));
        }
    }
    return 0;
}

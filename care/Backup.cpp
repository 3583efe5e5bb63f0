#include "Backup.h"

#include "AppError.h"
#include "Db.h"
#include "RawDb.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

namespace {

// Pages copied per step. Between steps the source is free, so a program that
// posts meanwhile waits for one step at most; 4096 pages are a few megabytes.
constexpr int kPagesPerStep = 4096;
// A copy that reports its progress takes smaller steps, so that a bar moves
// smoothly: 256 pages are about a megabyte.
constexpr int kPagesPerShownStep = 256;
// After this many restarts (another program wrote between two steps) the rest
// is copied in one step, holding the file's read lock until the copy is done.
constexpr int kRestartsBeforeOneStep = 3;

// How long the copy waits for other programs' writes before it gives up.
constexpr int kBusyGiveUpMs = 60000;

}  // namespace

QString copyStem(const QString& dbPath) {
    const QFileInfo info(dbPath);
    return info.suffix() == QLatin1String("db") ? info.completeBaseName() : info.fileName();
}

QString defaultBackupFolder(const QString& dbPath) {
    return QFileInfo(dbPath).absoluteDir().filePath(copyStem(dbPath) + QStringLiteral(".backups"));
}

QString backupFilePath(const QString& dbPath, const QString& folder, const QDateTime& when,
                       const QString& kind) {
    QString stem = copyStem(dbPath) + QLatin1Char('-');
    if (!kind.isEmpty()) {
        stem += kind + QLatin1Char('-');
    }
    stem += when.toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
    const QDir dir(folder);
    QString path = dir.filePath(stem + QStringLiteral(".db"));
    for (int n = 2; QFileInfo(path).exists() || QFileInfo(path).isSymLink(); ++n) {
        path = dir.filePath(QStringLiteral("%1-%2.db").arg(stem).arg(n));
    }
    return path;
}

void makeBackupFolder(const QString& dbPath) {
    makeSharedFolder(defaultBackupFolder(dbPath), sharedModeOf(dbPath));
}

QString resolveBackupTarget(const QString& dbPath, const QString& dest) {
    // Nothing is made for a file that is not there.
    if (!QFileInfo(dbPath).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(dbPath));
    }
    const QDateTime now = QDateTime::currentDateTime();
    if (dest.isEmpty()) {
        makeBackupFolder(dbPath);
        return backupFilePath(dbPath, defaultBackupFolder(dbPath), now);
    }
    const QFileInfo info(dest);
    if (info.isDir()) {
        return backupFilePath(dbPath, info.absoluteFilePath(), now);
    }
    if (info.exists() || info.isSymLink()) {
        throw AppError(QStringLiteral("%1 уже существует и не изменен").arg(dest));
    }
    if (!info.absoluteDir().exists()) {
        throw AppError(QStringLiteral("папки %1 нет").arg(info.absolutePath()));
    }
    return info.absoluteFilePath();
}

bool isDiskFull(const AppError& e) {
    return e.kind() == AppError::Kind::DiskFull || (e.engineCode() & 0xFF) == SQLITE_FULL;
}

void copyPages(const QString& source, const NewFile& temp, bool sourceReadOnly,
               const CopyProgress& progress) {
    {
        // Unless asked otherwise, the source is opened for writing only so
        // that the engine may roll back a journal left by a program that was
        // killed; nothing is written.
        RawDb from(source, sourceReadOnly ? RawDb::Mode::ReadOnly : RawDb::Mode::ReadWrite);
        // The engine writes into the file this process created, whatever
        // someone may have done to its name meanwhile.
        RawDb to(temp.selfPath(), RawDb::Mode::ReadWrite);
        mapIntoMemory(from.handle());
        // The copy is not in place until it is verified; it needs no journal.
        to.exec(QStringLiteral("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF"));
        sqlite3_backup* b = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
        if (!b) {
            raiseEngineError(to.handle(), sqlite3_errcode(to.handle()));
        }
        int restarts = 0;
        int previous = -1;
        QElapsedTimer waiting;
        int rc = SQLITE_OK;
        do {
            const int step = progress ? kPagesPerShownStep : kPagesPerStep;
            const int pages = restarts < kRestartsBeforeOneStep ? step : -1;
            rc = sqlite3_backup_step(b, pages);
            const int remaining = sqlite3_backup_remaining(b);
            if (progress && (rc == SQLITE_OK || rc == SQLITE_DONE)) {
                const int total = sqlite3_backup_pagecount(b);
                progress(total - remaining, total);
            }
            if (previous >= 0 && remaining > previous) {
                ++restarts;
            }
            previous = remaining;
            if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
                // A program is writing: its write is short, so the copy tries
                // again soon, and gives up only after a long wait.
                if (!waiting.isValid()) {
                    waiting.start();
                }
                if (waiting.elapsed() > kBusyGiveUpMs) {
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                rc = SQLITE_OK;
            } else {
                waiting.invalidate();
            }
        } while (rc == SQLITE_OK);
        sqlite3_backup_finish(b);
        if (rc != SQLITE_DONE) {
            const AppError e = engineError(nullptr, rc);
            throw AppError(QStringLiteral("не удалось скопировать %1: %2").arg(source, e.text()),
                           (rc & 0xFF) == SQLITE_FULL ? AppError::Kind::DiskFull : e.kind(), rc);
        }
    }
}

void copyDatabase(const QString& source, NewFile& temp, bool sourceReadOnly,
                  const CopyProgress& progress) {
    copyPages(source, temp, sourceReadOnly, progress);
    {
        RawDb copy(temp.selfPath(), RawDb::Mode::ReadOnly);
        const QStringList problems = integrityProblems(copy);
        if (!problems.isEmpty()) {
            throw AppError(
                QStringLiteral("копия не прошла проверку целостности: %1").arg(problems.first()));
        }
    }
    temp.sync();
}

void backupDatabase(const QString& source, const QString& target, const CopyProgress& progress) {
    if (!QFileInfo(source).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(source));
    }
    if (QFileInfo(target).exists() || QFileInfo(target).isSymLink()) {
        throw AppError(QStringLiteral("%1 уже существует и не изменен").arg(target));
    }
    removeAbandonedTemporaries(QFileInfo(target).absolutePath());
    NewFile temp = NewFile::temporaryFor(target, sharedModeOf(source));
    copyDatabase(source, temp, false, progress);
    temp.placeAs(target);
}

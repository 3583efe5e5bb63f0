#include "Backup.h"

#include "AppError.h"
#include "Db.h"
#include "RawDb.h"
#include "Settings.h"

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

QString systemError(int e) {
    return QString::fromLocal8Bit(std::strerror(e));
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// Pages copied per step. Between steps the source is free, so a program that
// posts meanwhile waits for one step at most; 4096 pages are a few megabytes.
constexpr int kPagesPerStep = 4096;
// After this many restarts (another program wrote between two steps) the rest
// is copied in one step, holding the file's read lock until the copy is done.
constexpr int kRestartsBeforeOneStep = 3;

// How long the copy waits for other programs' writes before it gives up.
constexpr int kBusyGiveUpMs = 60000;

const QString kTempMark = QStringLiteral(".tmp-");

}  // namespace

QString defaultBackupFolder(const QString& dbPath) {
    const QFileInfo info(dbPath);
    return info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral(".backups"));
}

QString backupFilePath(const QString& dbPath, const QString& folder, const QDateTime& when,
                       const QString& kind) {
    QString stem = QFileInfo(dbPath).completeBaseName() + QLatin1Char('-');
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

void makeOwnerFolder(const QString& path) {
    try {
        makeOwnerOnlyFolder(path);
    } catch (const AppError&) {
        throw AppError(
            QFileInfo(path).exists()
                ? QStringLiteral("не удалось создать папку %1: на ее месте файл").arg(path)
                : QStringLiteral("не удалось создать папку %1").arg(path));
    }
}

QString resolveBackupTarget(const QString& dbPath, const QString& dest) {
    const QDateTime now = QDateTime::currentDateTime();
    if (dest.isEmpty()) {
        const QString folder = defaultBackupFolder(dbPath);
        makeOwnerFolder(folder);
        return backupFilePath(dbPath, folder, now);
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

QString temporaryPathFor(const QString& target) {
    const QFileInfo info(target);
    return info.absoluteDir().filePath(
        QStringLiteral(".%1%2%3").arg(info.fileName(), kTempMark).arg(::getpid()));
}

void removeAbandonedTemporaries(const QString& folder) {
    const QRegularExpression name(QStringLiteral("^\\..+\\.tmp-(\\d+)$"));
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        const auto m = name.match(entry);
        if (!m.hasMatch()) {
            continue;
        }
        const pid_t pid = m.captured(1).toInt();
        // Only the leftovers of processes that no longer run.
        if (pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) {
            QFile::remove(dir.filePath(entry));
        }
    }
}

void syncFile(const QString& path) {
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw AppError(QStringLiteral("не удалось открыть %1: %2").arg(path, systemError(errno)));
    }
    const int rc = ::fsync(fd);
    const int e = errno;
    ::close(fd);
    if (rc != 0) {
        throw AppError(
            QStringLiteral("не удалось записать %1 на диск: %2").arg(path, systemError(e)));
    }
}

void placeFile(const QString& temp, const QString& target) {
    const QByteArray from = native(temp);
    const QByteArray to = native(target);
    // A hard link never replaces an existing name; the temporary name then goes.
    int rc = ::link(from.constData(), to.constData());
    if (rc == 0) {
        ::unlink(from.constData());
    } else if (errno == EPERM || errno == EOPNOTSUPP) {
        // A file system without hard links: rename, after one more look.
        rc = QFileInfo::exists(target) ? (errno = EEXIST, -1)
                                       : ::rename(from.constData(), to.constData());
    }
    if (rc != 0) {
        const int e = errno;
        throw AppError(
            e == EEXIST
                ? QStringLiteral("%1 уже существует и не изменен").arg(target)
                : QStringLiteral("не удалось записать %1: %2").arg(target, systemError(e)));
    }
    const int dir = ::open(native(QFileInfo(target).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void copyPages(const QString& source, const QString& temp, bool sourceReadOnly) {
    {
        // Unless asked otherwise, the source is opened for writing only so
        // that the engine may roll back a journal left by a program that was
        // killed; nothing is written.
        RawDb from(source, sourceReadOnly ? RawDb::Mode::ReadOnly : RawDb::Mode::ReadWrite);
        RawDb to(temp, RawDb::Mode::ReadWrite);
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
            const int pages = restarts < kRestartsBeforeOneStep ? kPagesPerStep : -1;
            rc = sqlite3_backup_step(b, pages);
            const int remaining = sqlite3_backup_remaining(b);
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
                           e.kind(), rc);
        }
    }
}

void copyDatabase(const QString& source, const QString& temp, bool sourceReadOnly) {
    copyPages(source, temp, sourceReadOnly);
    {
        RawDb copy(temp, RawDb::Mode::ReadOnly);
        const QStringList problems = integrityProblems(copy);
        if (!problems.isEmpty()) {
            throw AppError(
                QStringLiteral("копия не прошла проверку целостности: %1").arg(problems.first()));
        }
    }
    syncFile(temp);
    ::chmod(native(temp).constData(), 0600);
}

QString createTemporaryFor(const QString& target) {
    removeAbandonedTemporaries(QFileInfo(target).absolutePath());
    const QString temp = temporaryPathFor(target);
    const int fd = ::open(native(temp).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw AppError(QStringLiteral("не удалось создать файл в %1: %2")
                           .arg(QFileInfo(target).absolutePath(), systemError(errno)));
    }
    ::close(fd);
    return temp;
}

void backupDatabase(const QString& source, const QString& target) {
    if (!QFileInfo(source).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(source));
    }
    if (QFileInfo(target).exists() || QFileInfo(target).isSymLink()) {
        throw AppError(QStringLiteral("%1 уже существует и не изменен").arg(target));
    }
    const QString temp = createTemporaryFor(target);
    auto removeTemp = qScopeGuard([&] { QFile::remove(temp); });
    copyDatabase(source, temp, false);
    placeFile(temp, target);
    removeTemp.dismiss();
}

#include "Restore.h"

#include "AppError.h"
#include "Backup.h"
#include "Db.h"
#include "Placeholders.h"
#include "RawDb.h"
#include "SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

const QStringList kTables = {QStringLiteral("Valuta"),
                             QStringLiteral("HeadAccount"),
                             QStringLiteral("Document"),
                             QStringLiteral("DataAccount"),
                             QStringLiteral("TypeDocument"),
                             QStringLiteral("TypeStatus"),
                             QStringLiteral("GroupOperationItem"),
                             QStringLiteral("sec_user"),
                             QStringLiteral("sec_Session")};

// The sessions of the file that may still run, also one of another user,
// whose open files are not visible here.
QStringList liveSessions(const QString& path) {
    QStringList live;
    try {
        RawDb db(path, RawDb::Mode::ReadOnly);
        const bool owners =
            !db.column(QStringLiteral("select name from pragma_table_info('sec_Session') "
                                      "where name = 'sec_Owner'"))
                 .isEmpty();
        const QStringList open = db.column(
            owners ? QStringLiteral("select sec_IdSession || ' ' || coalesce(sec_Owner, '') "
                                    "from sec_Session where sec_End is null")
                   : QStringLiteral("select sec_IdSession from sec_Session "
                                    "where sec_End is null"));
        for (const QString& row : open) {
            const QString id = row.section(QLatin1Char(' '), 0, 0);
            if (sessionIsLive(path, id.toInt(),
                              SessionOwner::fromText(row.section(QLatin1Char(' '), 1)))) {
                live << id;
            }
        }
    } catch (const AppError&) {
        // Sessions that cannot be read: a mark held in the side file is a
        // running program all the same.
        if (anySessionMarked(path)) {
            live << QStringLiteral("?");
        }
    }
    return live;
}

// The file a path names, through any links; the path itself when it names
// nothing yet.
QString resolvedFile(const QString& path) {
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink() && depth < 40; ++depth) {
        const QString canonical = info.canonicalFilePath();
        if (!canonical.isEmpty()) {
            return canonical;
        }
        info = QFileInfo(info.symLinkTarget());  // a link to a name not made yet
    }
    return info.absoluteFilePath();
}

// Keeps the current file under a name of its own beside it, before the copy
// takes its name: a second name for the file itself where the file system
// allows it (its contents are never copied or touched), else a copy.
QString keepCurrentFile(const QString& file) {
    for (int attempt = 0;; ++attempt) {
        const QString kept =
            backupFilePath(file, QFileInfo(file).absolutePath(), QDateTime::currentDateTime(),
                           QStringLiteral("before-restore"));
        if (::link(QFile::encodeName(file).constData(), QFile::encodeName(kept).constData()) ==
            0) {
            return kept;
        }
        if (errno == EEXIST && attempt < 10) {
            continue;  // taken meanwhile: the next free name
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EXDEV) {
            const int e = errno;
            throw AppError(QStringLiteral("не удалось сохранить %1 рядом: %2; файл не изменен")
                               .arg(file, systemErrorText(e)));
        }
        const int from =
            ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (from < 0) {
            throw AppError(
                QStringLiteral("не удалось сохранить %1 рядом: файл не изменен").arg(file));
        }
        const auto closeFrom = qScopeGuard([from] { ::close(from); });
        NewFile copy = NewFile::temporaryFor(kept, sharedModeOf(file));
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        ssize_t n = 0;
        while ((n = ::read(from, chunk.data(), size_t(chunk.size()))) > 0) {
            copy.write(chunk.left(n));
        }
        if (n < 0) {
            throw AppError(
                QStringLiteral("не удалось сохранить %1 рядом: файл не изменен").arg(file));
        }
        copy.sync();
        copy.placeAs(kept);
        return kept;
    }
}

bool exists(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

}  // namespace

QStringList processesUsingFile(const QString& path) {
    struct stat target {};
    if (::stat(QFile::encodeName(path).constData(), &target) != 0) {
        return {};
    }
    QStringList found;
    const QDir proc(QStringLiteral("/proc"));
    const QString self = QString::number(::getpid());
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid == self || !pid.front().isDigit()) {
            continue;
        }
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System)) {
            struct stat st {};
            if (::stat(QFile::encodeName(fds.filePath(fd)).constData(), &st) == 0 &&
                st.st_dev == target.st_dev && st.st_ino == target.st_ino) {
                QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
                QString name;
                if (comm.open(QIODevice::ReadOnly)) {
                    name = QString::fromUtf8(comm.readAll()).trimmed();
                }
                found << QStringLiteral("%1 (%2)").arg(pid, name);
                break;
            }
        }
    }
    return found;
}

QString databaseFault(const QString& path) {
    try {
        RawDb db(path, RawDb::Mode::ReadOnly);
        const QStringList problems = integrityProblems(db);
        if (!problems.isEmpty()) {
            return problems.first();
        }
        const QStringList tables =
            db.column(QStringLiteral("select name from sqlite_master where type = 'table'"));
        for (const QString& table : kTables) {
            if (!tables.contains(table)) {
                return QStringLiteral("нет таблицы %1: это не база Dorsanti").arg(table);
            }
        }
    } catch (const AppError& e) {
        return e.text();
    }
    return {};
}

namespace {

// The file a backup is to be restored into; raises when there is nothing to
// restore from, nowhere to put it, or the two are one file.
QString restoreTarget(const QString& backup, const QString& fileGiven) {
    if (!QFileInfo(backup).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(backup));
    }
    const QString file = resolvedFile(fileGiven);
    const QFileInfo info(file);
    if (!info.absoluteDir().exists()) {
        throw AppError(QStringLiteral("папки %1 нет").arg(info.absolutePath()));
    }
    if (sameFile(backup, file)) {
        throw AppError(QStringLiteral("%1 и %2 - один и тот же файл; восстанавливать нечего")
                           .arg(backup, fileGiven));
    }
    return file;
}

// Raises while a program has the file open or a session on it.
void refuseFileInUse(const QString& file) {
    const QStringList users = processesUsingFile(file);
    if (!users.isEmpty()) {
        throw AppError(QStringLiteral("файл %1 открыт другой программой: %2. Закройте ее "
                                      "и повторите")
                           .arg(file, users.join(QStringLiteral(", "))));
    }
    const QStringList sessions = liveSessions(file);
    if (!sessions.isEmpty()) {
        throw AppError(QStringLiteral("с файлом %1 работает программа (сеанс %2). Закройте "
                                      "ее и повторите")
                           .arg(file, sessions.join(QStringLiteral(", "))));
    }
}

// The current file locked until the copy is in place, so that no program
// writes to it meanwhile. A file that is not a database any more cannot be
// locked, and needs not be (null then).
std::unique_ptr<RawDb> lockCurrentFile(const QString& file) {
    std::unique_ptr<RawDb> lock;
    try {
        lock = std::make_unique<RawDb>(file, RawDb::Mode::ReadWrite);
        sqlite3_busy_timeout(lock->handle(), 1000);
        // Reading the schema also rolls back a journal left by a killed
        // program, which must not be applied to the copy put in its place.
        lock->exec(QStringLiteral("BEGIN EXCLUSIVE; select count(*) from sqlite_master"));
    } catch (const AppError& e) {
        if (e.kind() == AppError::Kind::Busy) {
            throw AppError(
                QStringLiteral("файл %1 занят другой программой: %2").arg(file, e.text()));
        }
        lock.reset();
    }
    if (exists(file + QStringLiteral("-wal"))) {
        throw AppError(QStringLiteral("у файла %1 есть журнал %1-wal: откройте файл в "
                                      "программе sqlite3 и закройте его, затем повторите")
                           .arg(file));
    }
    return lock;
}

// The backup copied beside the file under a temporary name and verified;
// the file keeps its mode and group, so a file shared with another account
// stays shared.
NewFile verifiedCopy(const QString& backup, const QString& file, bool replacing) {
    SharedMode mode = ownerOnly();
    struct stat current {};
    if (replacing && ::stat(QFile::encodeName(file).constData(), &current) == 0) {
        // The file keeps its mode and group: a file shared with another
        // account stays shared.
        mode = {current.st_gid, mode_t(current.st_mode & 07777), 0700, true};
    }
    removeAbandonedTemporaries(QFileInfo(file).absolutePath());
    NewFile temp = NewFile::temporaryFor(file, mode);
    try {
        copyDatabase(backup, temp, true);
    } catch (const AppError& e) {
        if (isDiskFull(e)) {
            throw AppError(QStringLiteral("на диске нет места для копии %1 (%2); файл %3 не "
                                          "изменен")
                               .arg(backup, e.text(), file));
        }
        throw AppError(
            QStringLiteral(
                "копия %1 повреждена, восстанавливать из нее нельзя (%2); файл %3 не изменен")
                .arg(backup, e.text(), file));
    }
    const QString fault = databaseFault(temp.selfPath());
    if (!fault.isEmpty()) {
        throw AppError(QStringLiteral("копия %1 не годится (%2); файл %3 не изменен")
                           .arg(backup, fault, file));
    }
    return temp;
}

// Puts the verified copy in place of the file. The current file, with its
// journal, is kept under a name of its own, whose path is returned (empty
// when there was no file); when the copy cannot take the name, all is put
// back as it was.
QString putInPlace(NewFile& temp, const QString& file, bool replacing) {
    const QString journal = file + QStringLiteral("-journal");
    QString kept;
    QString keptJournal;
    if (replacing) {
        kept = keepCurrentFile(file);
        if (exists(journal)) {
            keptJournal = kept + QStringLiteral("-journal");
            if (::rename(QFile::encodeName(journal).constData(),
                         QFile::encodeName(keptJournal).constData()) != 0) {
                const int e = errno;
                QFile::remove(kept);
                throw AppError(QStringLiteral("не удалось убрать журнал %1: %2; файл не изменен")
                                   .arg(journal, systemErrorText(e)));
            }
        }
    }
    try {
        temp.replace(file);
    } catch (const AppError& e) {
        if (!exists(temp.path())) {
            throw;  // the copy took the name, and someone put another file there at once
        }
        if (!keptJournal.isEmpty()) {
            ::rename(QFile::encodeName(keptJournal).constData(),
                     QFile::encodeName(journal).constData());
        }
        if (!kept.isEmpty()) {
            QFile::remove(kept);  // the current file still has its own name
        }
        throw AppError(QStringLiteral("%1; файл не изменен").arg(e.text()));
    }
    return kept;
}

}  // namespace

QString restoreDatabase(const QString& backup, const QString& fileGiven) {
    const QString file = restoreTarget(backup, fileGiven);
    const bool replacing = exists(file);
    std::unique_ptr<RawDb> lock;
    if (replacing) {
        refuseFileInUse(file);
        lock = lockCurrentFile(file);
    }
    // A journal the engine could not roll back belongs to the file it was
    // written for; beside the copy it would be played into the copy.
    const QString journal = file + QStringLiteral("-journal");
    if (!replacing && exists(journal)) {
        throw AppError(QStringLiteral("рядом лежит журнал %1 прежнего файла: он испортил бы "
                                      "восстановленный файл. Перенесите журнал в другую папку и "
                                      "повторите")
                           .arg(journal));
    }
    NewFile temp = verifiedCopy(backup, file, replacing);
    return putInPlace(temp, file, replacing);
}

#include "Restore.h"

#include "AppError.h"
#include "Backup.h"
#include "Db.h"
#include "Placeholders.h"
#include "RawDb.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>

#include <sqlite3.h>

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

// The sessions of the file that a running program holds, also one of another
// user, whose open files are not visible here.
QStringList liveSessions(const QString& path) {
    QStringList live;
    try {
        RawDb db(path, RawDb::Mode::ReadOnly);
        const QStringList open = db.column(
            QStringLiteral("select sec_IdSession from sec_Session where sec_End is null"));
        for (const QString& id : open) {
            if (sessionIsLive(path, id.toInt())) {
                live << id;
            }
        }
    } catch (const AppError&) {
        // A file that cannot be read has no sessions to ask about.
    }
    return live;
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

QString restoreDatabase(const QString& backup, const QString& file) {
    const QFileInfo info(file);
    if (!QFileInfo(backup).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(backup));
    }
    if (!info.absoluteDir().exists()) {
        throw AppError(QStringLiteral("папки %1 нет").arg(info.absolutePath()));
    }
    const bool replacing = info.exists();
    if (replacing) {
        const QStringList users = processesUsingFile(file);
        if (!users.isEmpty()) {
            throw AppError(QStringLiteral("файл %1 открыт другой программой: %2. Закройте ее "
                                          "и повторите")
                               .arg(file, users.join(QStringLiteral(", "))));
        }
    }

    if (replacing) {
        const QStringList sessions = liveSessions(file);
        if (!sessions.isEmpty()) {
            throw AppError(QStringLiteral("с файлом %1 работает программа (сеанс %2). Закройте "
                                          "ее и повторите")
                               .arg(file, sessions.join(QStringLiteral(", "))));
        }
    }

    // The current file stays locked until the copy is in place, so that no
    // program writes to it meanwhile. A file that is not a database any more
    // cannot be locked, and needs not be.
    std::unique_ptr<RawDb> lock;
    if (replacing) {
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
        if (QFileInfo::exists(file + QStringLiteral("-wal"))) {
            throw AppError(QStringLiteral("у файла %1 есть журнал %1-wal: откройте файл в "
                                          "программе sqlite3 и закройте его, затем повторите")
                               .arg(file));
        }
    }

    const QString temp = createTemporaryFor(file);
    auto removeTemp = qScopeGuard([&] { QFile::remove(temp); });
    try {
        copyDatabase(backup, temp, true);
    } catch (const AppError& e) {
        throw AppError(
            QStringLiteral(
                "копия %1 повреждена, восстанавливать из нее нельзя (%2); файл %3 не изменен")
                .arg(backup, e.text(), file));
    }
    const QString fault = databaseFault(temp);
    if (!fault.isEmpty()) {
        throw AppError(QStringLiteral("копия %1 не годится (%2); файл %3 не изменен")
                           .arg(backup, fault, file));
    }

    if (replacing) {
        // The file keeps its mode and group: a file shared with another
        // account stays shared.
        struct stat current {};
        if (::stat(QFile::encodeName(file).constData(), &current) == 0) {
            const QByteArray t = QFile::encodeName(temp);
            if (::chown(t.constData(), uid_t(-1), current.st_gid) != 0) {
                // Not a group of this user: the copy keeps the user's own.
            }
            ::chmod(t.constData(), current.st_mode & 07777);
        }
    }

    QString kept;
    if (replacing) {
        const QString folder = info.absolutePath();
        kept = backupFilePath(file, folder, QDateTime::currentDateTime(),
                              QStringLiteral("before-restore"));
        // A second name for the current file: its contents are never copied
        // or touched, and it keeps them when the copy takes the name.
        if (::link(QFile::encodeName(file).constData(), QFile::encodeName(kept).constData()) !=
            0) {
            const QString keptTemp = createTemporaryFor(kept);
            auto removeKeptTemp = qScopeGuard([&] { QFile::remove(keptTemp); });
            QFile::remove(keptTemp);
            if (!QFile::copy(file, keptTemp)) {
                throw AppError(
                    QStringLiteral("не удалось сохранить %1 рядом: файл не изменен").arg(file));
            }
            syncFile(keptTemp);
            placeFile(keptTemp, kept);
            removeKeptTemp.dismiss();
        }
    }
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(file).constData()) != 0) {
        const int e = errno;
        if (!kept.isEmpty()) {
            QFile::remove(kept);
        }
        throw AppError(QStringLiteral("не удалось заменить %1: %2; файл не изменен")
                           .arg(file, QString::fromLocal8Bit(std::strerror(e))));
    }
    removeTemp.dismiss();
    syncFile(info.absolutePath());
    return kept;
}

#include "ServerBackup.h"

#include "AppError.h"
#include "Db.h"
#include "DbSchema.h"
#include "SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QUrl>
#include <QUrlQuery>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long each tool may run: a dump or a restore of years of books takes
// minutes; reading a copy's table of contents takes seconds.
constexpr int kDumpLimitMs = 60 * 60 * 1000;
constexpr int kListLimitMs = 5 * 60 * 1000;

// Runs `program` with its standard input from `inFd` and its standard output
// into `outFd` (-1: none), killed after `limitMs`. Raises with the last line
// the tool wrote when it fails or runs over.
void runTool(const QString& program, const QStringList& args, int inFd, int outFd, int limitMs) {
    QProcess p;
    p.setProgram(program);
    p.setArguments(args);
    if (inFd < 0) {
        p.setStandardInputFile(QProcess::nullDevice());
    }
    if (outFd < 0) {
        p.setStandardOutputFile(QProcess::nullDevice());
    }
    // The descriptors are this process's own files: the tool works on them,
    // never on a name someone could have changed meanwhile.
    p.setChildProcessModifier([inFd, outFd] {
        if (inFd >= 0) {
            ::dup2(inFd, STDIN_FILENO);
        }
        if (outFd >= 0) {
            ::dup2(outFd, STDOUT_FILENO);
        }
    });
    p.start();
    if (!p.waitForStarted()) {
        throw AppError(
            QStringLiteral("не удалось запустить %1: %2 (нужен пакет postgresql-client)")
                .arg(program, p.errorString()));
    }
    if (!p.waitForFinished(limitMs)) {
        p.kill();
        p.waitForFinished();
        throw AppError(QStringLiteral("%1 не закончил работу за %2 мин и остановлен")
                           .arg(program)
                           .arg(limitMs / 60000));
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        const QStringList lines = QString::fromUtf8(p.readAllStandardError())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QString last = lines.isEmpty() ? QStringLiteral("код выхода %1").arg(p.exitCode())
                                             : lines.last().trimmed();
        // The tools begin their own lines with their name.
        throw AppError(last.startsWith(program + QLatin1Char(':'))
                           ? last
                           : QStringLiteral("%1: %2").arg(program, last));
    }
}

void rewind(int fd) {
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        throw AppError(QStringLiteral("не удалось перечитать копию"));
    }
}

// Reads the copy open on `fd` with pg_restore: its table of contents, then
// every block of it into nothing. One that is no dump, or one cut short,
// fails here.
void verifyDump(int fd) {
    rewind(fd);
    runTool(QStringLiteral("pg_restore"), {QStringLiteral("--list")}, fd, -1, kListLimitMs);
    rewind(fd);
    runTool(QStringLiteral("pg_restore"), {QStringLiteral("--file=/dev/null")}, fd, -1,
            kDumpLimitMs);
    rewind(fd);
}

QString databaseName(const QString& uri) {
    const QUrl url(uri);
    QString name = url.path().mid(1);
    if (name.isEmpty()) {
        name = QUrlQuery(url).queryItemValue(QStringLiteral("dbname"));
    }
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    return name.isEmpty() || name.startsWith(QLatin1Char('.')) ? QStringLiteral("books") : name;
}

QString newCopyPath(const QString& uri, const QString& folder) {
    const QString stem =
        databaseName(uri) + QLatin1Char('-') +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss"));
    const QDir dir(folder);
    QString path = dir.filePath(stem + QStringLiteral(".dump"));
    for (int n = 2; QFileInfo(path).exists() || QFileInfo(path).isSymLink(); ++n) {
        path = dir.filePath(QStringLiteral("%1-%2.dump").arg(stem).arg(n));
    }
    return path;
}

QString resolveTarget(const QString& uri, const QString& dest) {
    if (dest.isEmpty()) {
        const QString folder = serverBackupFolder(uri);
        makeSharedFolder(folder, ownerOnly());
        return newCopyPath(uri, folder);
    }
    const QFileInfo info(dest);
    if (info.isDir()) {
        return newCopyPath(uri, info.absoluteFilePath());
    }
    if (info.exists() || info.isSymLink()) {
        throw AppError(QStringLiteral("%1 уже существует и не изменен").arg(dest));
    }
    if (!info.absoluteDir().exists()) {
        throw AppError(QStringLiteral("папки %1 нет").arg(info.absolutePath()));
    }
    return info.absoluteFilePath();
}

}  // namespace

QString serverBackupFolder(const QString& uri) {
    return QDir::home().filePath(databaseName(uri) + QStringLiteral(".backups"));
}

QString backupServerBooks(const QString& uri, const QString& dest) {
    const QString target = resolveTarget(uri, dest);
    NewFile temp = NewFile::temporaryFor(target, ownerOnly());
    try {
        runTool(QStringLiteral("pg_dump"),
                {QStringLiteral("--format=custom"), QStringLiteral("--no-password"),
                 QStringLiteral("--dbname=") + uri},
                -1, temp.fd(), kDumpLimitMs);
        verifyDump(temp.fd());
    } catch (const AppError& e) {
        throw AppError(QStringLiteral("копия %1 не сделана: %2").arg(uri, e.text()));
    }
    temp.sync();
    temp.placeAs(target);
    return target;
}

CheckReport restoreServerBooks(const QString& backup, const QString& uri) {
    const int fd =
        ::open(QFile::encodeName(backup).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) {
            ::close(fd);
        }
        throw AppError(QStringLiteral("файла %1 нет").arg(backup));
    }
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    try {
        verifyDump(fd);
    } catch (const AppError& e) {
        throw AppError(QStringLiteral("%1 не копия книг с сервера (%2); файл переносит на сервер "
                                      "dorsanti-db copy")
                           .arg(backup, e.text()));
    }
    {
        DbConnection db;
        try {
            db.open(uri);
        } catch (const AppError& e) {
            throw AppError(QStringLiteral("не удалось открыть %1: %2").arg(uri, e.text()));
        }
        if (!isEmptyServerDatabase(db)) {
            throw AppError(
                QStringLiteral("в базе данных %1 уже есть таблицы: копия ставится только в "
                               "пустую, ничего не изменено")
                    .arg(uri));
        }
    }
    try {
        // One transaction: a restore that fails half-way leaves nothing.
        runTool(QStringLiteral("pg_restore"),
                {QStringLiteral("--single-transaction"), QStringLiteral("--exit-on-error"),
                 QStringLiteral("--no-owner"), QStringLiteral("--no-privileges"),
                 QStringLiteral("--no-password"), QStringLiteral("--dbname=") + uri},
                fd, -1, kDumpLimitMs);
    } catch (const AppError& e) {
        throw AppError(QStringLiteral("копия %1 не восстановлена, база данных не изменена: %2")
                           .arg(backup, e.text()));
    }
    return checkDatabase(uri);
}

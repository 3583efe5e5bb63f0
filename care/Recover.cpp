#include "Recover.h"

#include "AppError.h"
#include "Backup.h"
#include "RawDb.h"
#include "SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Runs the sqlite3 program to its end, within the time limit.
void runSqlite(QProcess& p, const QString& sqlite, const QStringList& args, int limitMs,
               const QString& damaged) {
    p.start(sqlite, args);
    if (!p.waitForStarted()) {
        throw AppError(QStringLiteral("не удалось запустить %1: %2").arg(sqlite, p.errorString()));
    }
    if (!p.waitForFinished(limitMs)) {
        p.kill();
        p.waitForFinished();
        throw AppError(QStringLiteral("восстановление %1 не закончилось за %2 мин; прервано")
                           .arg(damaged)
                           .arg(limitMs / 60000.0, 0, 'f', 1));
    }
}

// A dump that met damage ends by rolling back all it wrote; what it could
// read is kept instead.
void commitWhatWasRead(const NewFile& script) {
    const QByteArray ending("ROLLBACK; -- due to errors\n");
    struct stat st {};
    if (::fstat(script.fd(), &st) != 0 || st.st_size < ending.size()) {
        return;
    }
    QByteArray tail(ending.size(), Qt::Uninitialized);
    const off_t at = st.st_size - ending.size();
    if (::pread(script.fd(), tail.data(), size_t(tail.size()), at) == ending.size() &&
        tail == ending) {
        const QByteArray commit("COMMIT;\n");
        if (::ftruncate(script.fd(), at) != 0 ||
            ::pwrite(script.fd(), commit.constData(), size_t(commit.size()), at) !=
                commit.size()) {
            throw AppError(QStringLiteral("не удалось дописать %1").arg(script.path()));
        }
    }
}

}  // namespace

QStringList recoverDatabase(const QString& damagedGiven, const QString& newPath, int limitMs) {
    // A full path can never be read as one of the program's options ("-cmd").
    const QString damaged = QFileInfo(damagedGiven).absoluteFilePath();
    if (!QFileInfo(damaged).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(damagedGiven));
    }
    const QFileInfo target(newPath);
    if (target.exists() || target.isSymLink()) {
        throw AppError(QStringLiteral("%1 уже существует и не изменен").arg(newPath));
    }
    if (!target.absoluteDir().exists()) {
        throw AppError(QStringLiteral("папки %1 нет").arg(target.absolutePath()));
    }
    const QString sqlite = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite.isEmpty()) {
        throw AppError(QStringLiteral("нужна программа sqlite3 (пакет sqlite3)"));
    }

    removeAbandonedTemporaries(target.absolutePath());
    NewFile temp = NewFile::temporaryFor(newPath, ownerOnly());
    NewFile script = NewFile::temporaryFor(newPath + QStringLiteral(".sql"), ownerOnly());
    // The program writes into the files this process made, whatever happens
    // to their names: the script is opened here, before the program starts,
    // and the new database is reached through this process's descriptor.
    const QString tempForChild = QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(temp.fd());

    // ".recover" reads the pages themselves and saves the most, but needs an
    // engine built with its page table, which Debian's is not; ".dump" reads
    // through the tables and, on a damaged one, reads again from its end to
    // get the rows behind the damage.
    QString errors;
    bool written = false;
    for (const QString& command : {QStringLiteral(".recover"), QStringLiteral(".dump")}) {
        QProcess reader;
        reader.setStandardInputFile(QProcess::nullDevice());
        reader.setStandardOutputFile(script.selfPath(), QIODevice::Truncate);
        runSqlite(reader, sqlite, {QStringLiteral("-readonly"), damaged, command}, limitMs,
                  damagedGiven);
        errors = QString::fromUtf8(reader.readAllStandardError()).trimmed();
        if (reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 0 &&
            (errors.isEmpty() || command == QLatin1String(".dump"))) {
            written = true;
            break;
        }
    }
    if (!written) {
        throw AppError(
            QStringLiteral("восстановление %1 не удалось: %2").arg(damagedGiven, errors));
    }
    commitWhatWasRead(script);
    QProcess writer;
    writer.setStandardInputFile(script.selfPath());
    // The new file is not in place until it is verified: it needs no journal,
    // and a journal could not be made beside a descriptor's name anyway.
    runSqlite(writer, sqlite,
              {QStringLiteral("-cmd"), QStringLiteral("PRAGMA journal_mode = OFF"), tempForChild},
              limitMs, damagedGiven);
    if (writer.exitStatus() != QProcess::NormalExit) {
        throw AppError(QStringLiteral("восстановление %1 не удалось: %2")
                           .arg(damagedGiven, writer.errorString()));
    }

    QStringList tables;
    {
        RawDb db(temp.selfPath(), RawDb::Mode::ReadWrite);
        db.exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
        const QStringList problems = integrityProblems(db);
        if (!problems.isEmpty()) {
            throw AppError(QStringLiteral("восстановленный файл не прошел проверку "
                                          "целостности: %1")
                               .arg(problems.first()));
        }
        const QStringList names = db.column(QStringLiteral(
            "select name from sqlite_master where type = 'table' and name not like 'sqlite_%' "
            "order by name"));
        for (const QString& name : names) {
            const QString quoted = QStringLiteral("\"%1\"").arg(
                QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")));
            tables << QStringLiteral("%1: %2").arg(
                name, db.column(QStringLiteral("select count(*) from ") + quoted).value(0));
        }
    }
    temp.sync();
    temp.placeAs(newPath);
    return tables;
}

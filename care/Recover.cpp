#include "Recover.h"

#include "AppError.h"
#include "Backup.h"
#include "RawDb.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

QStringList recoverDatabase(const QString& damaged, const QString& newPath) {
    if (!QFileInfo(damaged).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(damaged));
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

    const QString temp = createTemporaryFor(newPath);
    auto removeTemp = qScopeGuard([&] { QFile::remove(temp); });
    const QString script = createTemporaryFor(newPath + QStringLiteral(".sql"));
    const auto removeScript = qScopeGuard([&] { QFile::remove(script); });

    // ".recover" reads the pages themselves and saves the most, but needs an
    // engine built with its page table, which Debian's is not; ".dump" reads
    // through the tables and, on a damaged one, reads again from its end to
    // get the rows behind the damage.
    QString errors;
    bool written = false;
    for (const QString& command : {QStringLiteral(".recover"), QStringLiteral(".dump")}) {
        QProcess reader;
        reader.setStandardOutputFile(script, QIODevice::Truncate);
        reader.start(sqlite, {QStringLiteral("-readonly"), damaged, command});
        reader.waitForFinished(-1);
        errors = QString::fromUtf8(reader.readAllStandardError()).trimmed();
        if (reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 0 &&
            (errors.isEmpty() || command == QLatin1String(".dump"))) {
            written = true;
            break;
        }
    }
    if (!written) {
        throw AppError(QStringLiteral("восстановление %1 не удалось: %2").arg(damaged, errors));
    }
    {
        // A dump that met damage ends by rolling back all it wrote; what it
        // could read is kept instead.
        QFile f(script);
        if (!f.open(QIODevice::ReadWrite)) {
            throw AppError(QStringLiteral("не удалось прочитать %1").arg(script));
        }
        const QByteArray ending("ROLLBACK; -- due to errors\n");
        const qint64 size = f.size();
        if (size >= ending.size() && f.seek(size - ending.size()) &&
            f.read(ending.size()) == ending) {
            f.resize(size - ending.size());
            f.seek(size - ending.size());
            f.write("COMMIT;\n");
        }
    }
    QProcess writer;
    writer.setStandardInputFile(script);
    writer.start(sqlite, {temp});
    if (!writer.waitForFinished(-1) || writer.exitStatus() != QProcess::NormalExit) {
        throw AppError(
            QStringLiteral("восстановление %1 не удалось: %2").arg(damaged, writer.errorString()));
    }

    QStringList tables;
    {
        RawDb db(temp, RawDb::Mode::ReadWrite);
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
    syncFile(temp);
    placeFile(temp, newPath);
    removeTemp.dismiss();
    return tables;
}

#include "DailyBackup.h"

#include "AppError.h"
#include "Backup.h"
#include "Check.h"
#include "Db.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace {

const QString kDaily = QStringLiteral("daily");

// Daily copies of this file in its folder of copies, oldest first: their names
// carry the time. The name is matched whole, so that the copies of another
// file whose name begins alike are not taken for these.
QStringList dailyCopies(const QString& dbPath) {
    const QRegularExpression name(
        QStringLiteral("^%1-%2-\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d(-\\d+)?\\.db$")
            .arg(QRegularExpression::escape(copyStem(dbPath)), kDaily));
    QDir dir(defaultBackupFolder(dbPath));
    QStringList copies;
    for (const QString& entry : dir.entryList(QDir::Files, QDir::Name)) {
        if (name.match(entry).hasMatch()) {
            copies << entry;
        }
    }
    return copies;
}

void recordFailure(const QString& dbPath, const QDateTime& now, const QString& text) {
    const QString line =
        QStringLiteral("%1: не удалось сделать ежедневную копию %2: %3")
            .arg(now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), dbPath, text);
    QTextStream(stderr) << "dorsanti: " << line << "\n";
    try {
        // Written whole under a name of its own, then put in place of an
        // earlier marker (or of whatever someone put under its name).
        const QString marker = dailyCopyFailurePath(dbPath);
        NewFile file = NewFile::temporaryFor(marker, sharedModeOf(dbPath));
        file.write(line.toUtf8() + '\n');
        file.sync();
        file.replace(marker);
    } catch (const AppError& e) {
        QTextStream(stderr) << "dorsanti: " << e.text() << "\n";
    }
}

}  // namespace

bool dailyCopyMade(const QString& dbPath, const QDate& today) {
    const QString stamp = today.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('T');
    const QString prefix = copyStem(dbPath) + QLatin1Char('-') + kDaily + QLatin1Char('-') + stamp;
    for (const QString& name : dailyCopies(dbPath)) {
        if (name.startsWith(prefix)) {
            return true;
        }
    }
    return false;
}

bool runDailyBackup(const QString& dbPath, const QDateTime& now) {
    if (isServerUri(dbPath)) {
        // Books on a server are copied by the server's side, as its owner
        // arranges (pg_dump from cron, or "dorsanti-db backup URI").
        return true;
    }
    if (dailyCopyMade(dbPath, now.date())) {
        return true;
    }
    try {
        const QString folder = defaultBackupFolder(dbPath);
        makeBackupFolder(dbPath);
        backupDatabase(dbPath, backupFilePath(dbPath, folder, now, kDaily));
        QStringList copies = dailyCopies(dbPath);
        while (copies.size() > kDailyCopiesKept) {
            QFile::remove(QDir(folder).filePath(copies.takeFirst()));
        }
        QFile::remove(dailyCopyFailurePath(dbPath));
        return true;
    } catch (const AppError& e) {
        recordFailure(dbPath, now, e.text());
    } catch (const std::exception& e) {
        recordFailure(dbPath, now, QString::fromLocal8Bit(e.what()));
    }
    return false;
}

DailyBackup::~DailyBackup() {
    wait();
}

void DailyBackup::start(const DbConnection& connection) {
    const QString path = connection.path();
    if (path.isEmpty() || m_thread.joinable() || connection.kind() != DbKind::Sqlite) {
        return;
    }
    if (connection.inTransaction()) {
        // Never a copy while this program's own write is unfinished; the next
        // close today makes it.
        QTextStream(stderr) << "dorsanti: ежедневная копия отложена: запись не закончена\n";
        return;
    }
    const QDateTime now = QDateTime::currentDateTime();
    m_thread = std::thread([path, now] { runDailyBackup(path, now); });
}

void DailyBackup::wait() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

#include "Placeholders.h"

#include "Db.h"

#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

namespace {

struct MembershipTable {
    const char* table;
    const char* typeKey;
    const char* itemKey;
};

constexpr MembershipTable kMemberships[] = {
    {"TypeContrAgentItem", "IdTypeContrAgent", "IdContrAgent"},
    {"TypeCategoryItem", "IdTypeCategory", "IdCategory"},
};

// The one byte of the side file that stands for a session.
struct flock sessionByte(short type, int idSession) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = idSession;
    lock.l_len = 1;
    return lock;
}

}  // namespace

QString liveSessionsFilePath(const QString& dbPath) {
    // Two programs may name one file by different paths (a link, "..").
    const QFileInfo info(dbPath);
    const QString file = info.canonicalFilePath();
    return (file.isEmpty() ? info.absoluteFilePath() : file) + QStringLiteral("-sessions");
}

LiveSession::~LiveSession() {
    release();
}

bool LiveSession::hold(const QString& dbPath, int idSession) {
    release();
    if (idSession <= 0) {
        return false;
    }
    const QByteArray path = QFile::encodeName(liveSessionsFilePath(dbPath));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    // A lock of the open file description, not of the process: closing another
    // descriptor of the same file in this process does not drop it, and a
    // test of the byte from this process sees it.
    struct flock lock = sessionByte(F_WRLCK, idSession);
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_idSession = idSession;
    return true;
}

void LiveSession::release() {
    if (m_fd >= 0) {
        ::close(m_fd);  // drops the lock
        m_fd = -1;
        m_idSession = 0;
    }
}

bool sessionIsLive(const QString& dbPath, int idSession) {
    if (idSession <= 0) {
        return false;
    }
    const QByteArray path = QFile::encodeName(liveSessionsFilePath(dbPath));
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // No program has ever marked a session here; when the file exists
        // but cannot be read, nobody can be proven dead.
        return errno != ENOENT;
    }
    struct flock lock = sessionByte(F_RDLCK, idSession);
    const int rc = ::fcntl(fd, F_OFD_GETLK, &lock);
    ::close(fd);
    return rc != 0 || lock.l_type != F_UNLCK;
}

QVector<StalePlaceholder> stalePlaceholders(DbConnection& connection) {
    QVector<StalePlaceholder> result;
    DbQuery q(connection, QStringLiteral("qrPlaceholders"));
    for (const MembershipTable& m : kMemberships) {
        q.setSql(
            QStringLiteral("select %1 as IdType, %2 as IdItem from %3 where %2 < 0")
                .arg(QLatin1String(m.typeKey), QLatin1String(m.itemKey), QLatin1String(m.table)));
        q.addSql(QStringLiteral("order by %1, %2 desc")
                     .arg(QLatin1String(m.typeKey), QLatin1String(m.itemKey)));
        q.open();
        for (q.first(); !q.eof(); q.next()) {
            const int item = q.field(QStringLiteral("IdItem")).asInteger();
            if (!sessionIsLive(connection.path(), -item)) {
                result.push_back(
                    {QLatin1String(m.table), q.field(QStringLiteral("IdType")).asInteger(), item});
            }
        }
        q.close();
    }
    return result;
}

int removeStalePlaceholders(DbConnection& connection) {
    // A session once dead never comes back (session ids are never reused),
    // so what is stale now stays stale until it is deleted.
    // The first look writes nothing, so that a file without such rows, or
    // one that cannot be written, is not even locked.
    if (stalePlaceholders(connection).isEmpty()) {
        return 0;
    }
    Transaction transaction(connection);
    const QVector<StalePlaceholder> stale = stalePlaceholders(connection);
    DbQuery q(connection, QStringLiteral("qrDropPlaceholder"));
    for (const MembershipTable& m : kMemberships) {
        q.setSql(
            QStringLiteral("delete from %1 where %2 = :IdType and %3 = :IdItem")
                .arg(QLatin1String(m.table), QLatin1String(m.typeKey), QLatin1String(m.itemKey)));
        for (const StalePlaceholder& p : stale) {
            if (p.table == QLatin1String(m.table)) {
                q.bindInteger(QStringLiteral("IdType"), p.idType);
                q.bindInteger(QStringLiteral("IdItem"), p.idPlaceholder);
                q.execute();
            }
        }
    }
    transaction.commit();
    return int(stale.size());
}

#include "Placeholders.h"

#include "Db.h"
#include "SafeFile.h"
#include "SqlDialect.h"

#include <QFileInfo>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
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

QString fileMark(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return {};
    }
    return QStringLiteral("%1:%2").arg(quint64(st.st_dev)).arg(quint64(st.st_ino));
}

QByteArray readSmallFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(4096) : QByteArray();
}

// The machine and the process namespace this process runs in: process ids
// mean the same only where both are the same.
QString thisMachine() {
    static const QString machine = [] {
        const QByteArray boot =
            readSmallFile(QStringLiteral("/proc/sys/kernel/random/boot_id")).trimmed();
        char target[128] = {};
        const ssize_t n = ::readlink("/proc/self/ns/pid", target, sizeof target - 1);
        if (boot.isEmpty() || n <= 0) {
            return QString();
        }
        return QString::fromLatin1(boot) + QLatin1Char('/') + QString::fromLatin1(target, int(n));
    }();
    return machine;
}

// The start time of a process (field 22 of /proc/<pid>/stat), or 0 when it
// cannot be read; -1 when there is no such process, or it has ended.
qint64 processStart(qint64 pid) {
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH) {
        return -1;
    }
    const QByteArray stat = readSmallFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // The name in parentheses may hold blanks and parentheses of its own.
    const qsizetype end = stat.lastIndexOf(')');
    if (end < 0) {
        return 0;
    }
    const QList<QByteArray> fields = stat.mid(end + 2).split(' ');
    // Fields after the name count from 3 (the state). A process that has
    // ended but is not yet reaped by its parent holds nothing any more.
    if (!fields.isEmpty() && (fields[0] == "Z" || fields[0] == "X")) {
        return -1;
    }
    return fields.size() > 19 ? fields[19].toLongLong() : 0;
}

enum class Life { Ended, Running, Unknown };

Life processLife(const SessionOwner& owner) {
    if (!owner.isRecorded() || owner.machine != thisMachine()) {
        return Life::Unknown;
    }
    const qint64 started = processStart(owner.pid);
    if (started < 0) {
        return Life::Ended;
    }
    if (started == 0) {
        return Life::Unknown;  // another user's process behind a hidden /proc
    }
    // Another process that took the same id later is not the session's.
    return started == owner.started ? Life::Running : Life::Ended;
}

// What the side file says of the session's byte.
Life markLife(const QString& dbPath, int idSession, const SessionOwner& owner) {
    const QByteArray path = QFile::encodeName(liveSessionsFilePath(dbPath));
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // No side file: no program of the old kind ever marked a session
        // here; a session that records its mark had its file taken away.
        return errno == ENOENT && owner.mark.isEmpty() && !owner.isRecorded() ? Life::Ended
                                                                              : Life::Unknown;
    }
    const QString mark = fileMark(fd);
    // A write lock is refused by any lock a holder has, read or write.
    struct flock lock = sessionByte(F_WRLCK, idSession);
    const int rc = ::fcntl(fd, F_OFD_GETLK, &lock);
    ::close(fd);
    if (rc != 0) {
        return Life::Unknown;
    }
    if (lock.l_type != F_UNLCK) {
        return Life::Running;
    }
    // An unheld byte proves an end only in the file the session held it in.
    if (owner.isRecorded() && owner.mark != mark) {
        return Life::Unknown;
    }
    return Life::Ended;
}

const QString kOwnerColumn = QStringLiteral("sec_Owner");

bool hasOwnerColumn(DbConnection& connection) {
    DbQuery q(connection, QStringLiteral("qrOwnerColumn"));
    q.setSql(connection.dialect().columnCountQuery(QStringLiteral("sec_Session"), kOwnerColumn));
    q.open();
    return q.field(QStringLiteral("n")).asInteger() > 0;
}

}  // namespace

QString liveSessionsFilePath(const QString& dbPath) {
    // Two programs may name one file by different paths (a link, "..").
    const QFileInfo info(dbPath);
    const QString file = info.canonicalFilePath();
    return (file.isEmpty() ? info.absoluteFilePath() : file) + QStringLiteral("-sessions");
}

QString SessionOwner::toText() const {
    QString text = QStringLiteral("machine=%1;pid=%2;started=%3;mark=%4")
                       .arg(machine)
                       .arg(pid)
                       .arg(started)
                       .arg(mark);
    if (backend > 0) {
        text += QStringLiteral(";backend=%1;backendStarted=%2").arg(backend).arg(backendStarted);
    }
    return text;
}

SessionOwner SessionOwner::fromText(const QString& text) {
    SessionOwner owner;
    for (const QString& part : text.split(QLatin1Char(';'))) {
        const QString key = part.section(QLatin1Char('='), 0, 0);
        const QString value = part.section(QLatin1Char('='), 1);
        if (key == QLatin1String("machine")) {
            owner.machine = value;
        } else if (key == QLatin1String("pid")) {
            owner.pid = value.toLongLong();
        } else if (key == QLatin1String("started")) {
            owner.started = value.toLongLong();
        } else if (key == QLatin1String("mark")) {
            owner.mark = value;
        } else if (key == QLatin1String("backend")) {
            owner.backend = value.toLongLong();
        } else if (key == QLatin1String("backendStarted")) {
            owner.backendStarted = value;
        }
    }
    return owner;
}

SessionOwner currentProcessOwner(const QString& mark) {
    SessionOwner owner;
    owner.machine = thisMachine();
    owner.pid = ::getpid();
    owner.started = std::max<qint64>(processStart(owner.pid), 0);
    owner.mark = mark;
    return owner;
}

SessionOwner connectionOwner(DbConnection& connection, const QString& mark) {
    SessionOwner owner = currentProcessOwner(mark);
    const QString sql = connection.dialect().ownServerSessionQuery();
    if (!sql.isEmpty()) {
        DbQuery q(connection, QStringLiteral("qrOwnSession"));
        q.setSql(sql);
        q.open();
        owner.backend = q.field(QStringLiteral("Pid")).asInteger();
        owner.backendStarted = q.field(QStringLiteral("Started")).asString();
    }
    return owner;
}

bool serverSessionIsLive(DbConnection& connection, const SessionOwner& owner) {
    if (owner.backend <= 0) {
        return true;  // nothing recorded to look at
    }
    DbQuery q(connection, QStringLiteral("qrServerSession"));
    q.setSql(connection.dialect().serverSessionCountQuery());
    q.bindInteger(QStringLiteral("Pid"), owner.backend);
    q.bindString(QStringLiteral("Started"), owner.backendStarted);
    q.open();
    return q.field(QStringLiteral("n")).asInteger() > 0;
}

LiveSession::~LiveSession() {
    release();
}

bool LiveSession::hold(const QString& dbPath, int idSession) {
    release();
    if (idSession <= 0) {
        errno = EINVAL;
        return false;
    }
    const QByteArray path = QFile::encodeName(liveSessionsFilePath(dbPath));
    // Made anew with the group of the database, so that every member's
    // program can mark its session; a file that exists is used as it is, but
    // never through a link, and never truncated.
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | flags, 0600);
    // Whether the file took the database's group and mode; errno tells why not.
    const auto shared = [&](int file) {
        try {
            applySharedMode(file, sharedModeOf(dbPath));
            return true;
        } catch (const AppError&) {
            const int e = errno;
            ::close(file);
            errno = e;
            return false;
        }
    };
    if (fd >= 0) {
        if (!shared(fd)) {
            return false;
        }
    } else if (errno == EEXIST) {
        fd = ::open(path.constData(), O_RDWR | flags);
        if (fd < 0 && errno == EACCES) {
            // A side file this user may only read still takes a read lock,
            // which shows as well as a write lock.
            fd = ::open(path.constData(), O_RDONLY | flags);
        }
    }
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        fd = -1;
    }
    if (fd < 0) {
        return false;
    }
    // A side file made before its mode followed the database's takes it now.
    if (st.st_uid == ::geteuid() && !shared(fd)) {
        return false;
    }
    // A lock of the open file description, not of the process: closing another
    // descriptor of the same file in this process does not drop it, and a
    // test of the byte from this process sees it.
    const bool writable = (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    struct flock lock = sessionByte(writable ? F_WRLCK : F_RDLCK, idSession);
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
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

QString LiveSession::markFile() const {
    return m_fd >= 0 ? fileMark(m_fd) : QString();
}

bool sessionIsLive(const QString& dbPath, int idSession, const SessionOwner& owner) {
    if (idSession <= 0) {
        return false;
    }
    switch (processLife(owner)) {
        case Life::Running:
            return true;
        case Life::Ended:
            return false;
        case Life::Unknown:
            break;
    }
    return markLife(dbPath, idSession, owner) != Life::Ended;
}

bool anySessionMarked(const QString& dbPath) {
    const QByteArray path = QFile::encodeName(liveSessionsFilePath(dbPath));
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno != ENOENT;
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;  // l_start 0 and l_len 0: the whole file
    const int rc = ::fcntl(fd, F_OFD_GETLK, &lock);
    ::close(fd);
    return rc != 0 || lock.l_type != F_UNLCK;
}

void ensureSessionOwnerColumn(DbConnection& connection) {
    if (!hasOwnerColumn(connection)) {
        connection.executeScript(
            QStringLiteral("alter table sec_Session add column sec_Owner TEXT"));
    }
}

QHash<int, SessionOwner> sessionOwners(DbConnection& connection) {
    QHash<int, SessionOwner> owners;
    if (!hasOwnerColumn(connection)) {
        return owners;
    }
    DbQuery q(connection, QStringLiteral("qrSessionOwners"));
    q.setSql(
        QStringLiteral("select sec_IdSession, sec_Owner from sec_Session "
                       "where sec_End is null and sec_Owner is not null"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        owners.insert(q.field(QStringLiteral("sec_IdSession")).asInteger(),
                      SessionOwner::fromText(q.field(QStringLiteral("sec_Owner")).asString()));
    }
    return owners;
}

void recordSessionOwner(DbConnection& connection, int idSession, const SessionOwner& owner) {
    DbQuery q(connection, QStringLiteral("qrSessionOwner"));
    q.setSql(QStringLiteral(
        "update sec_Session set sec_Owner = :Owner where sec_IdSession = :IdSession"));
    q.bindString(QStringLiteral("Owner"), owner.toText());
    q.bindInteger(QStringLiteral("IdSession"), idSession);
    q.execute();
}

QVector<StalePlaceholder> stalePlaceholders(DbConnection& connection) {
    QVector<StalePlaceholder> result;
    const QHash<int, SessionOwner> owners = sessionOwners(connection);
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
            const bool live = connection.kind() == DbKind::Postgres
                                  ? serverSessionIsLive(connection, owners.value(-item))
                                  : sessionIsLive(connection.path(), -item, owners.value(-item));
            if (!live) {
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

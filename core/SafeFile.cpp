#include "SafeFile.h"

#include "AppError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

const QString kTempMark = QStringLiteral(".tmp-");

// A full disk (or quota) is told as such, so that nobody takes it for damage.
AppError::Kind kindOf(int e) {
    return e == ENOSPC || e == EDQUOT ? AppError::Kind::DiskFull : AppError::Kind::Other;
}

[[noreturn]] void raiseCreate(const QString& path, int e) {
    if (e == EEXIST) {
        throw AppError(QStringLiteral("%1 уже существует и не изменен").arg(path));
    }
    throw AppError(QStringLiteral("не удалось создать %1: %2").arg(path, systemErrorText(e)));
}

// Whether `path` names (without following a link) the file open as `fd`.
bool namesFile(const QString& path, int fd) {
    struct stat byName {};
    struct stat open {};
    return ::lstat(native(path).constData(), &byName) == 0 && ::fstat(fd, &open) == 0 &&
           byName.st_dev == open.st_dev && byName.st_ino == open.st_ino;
}

// The name of an open file, for messages.
QString nameOf(int fd) {
    return QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd));
}

// Puts the folder's entries on disk, so that a name just given survives a
// power cut. A file system that keeps no folders to sync (EINVAL) has nothing
// to put there.
void syncFolderOf(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    const int dir = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int e = dir < 0 ? errno : 0;
    if (dir >= 0) {
        if (::fsync(dir) != 0 && errno != EINVAL) {
            e = errno;
        }
        ::close(dir);
    }
    if (e != 0) {
        throw AppError(QStringLiteral("не удалось записать на диск папку %1: %2")
                           .arg(folder, systemErrorText(e)),
                       kindOf(e));
    }
}

}  // namespace

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

SharedMode sharedModeOf(const QString& dbPath) {
    SharedMode mode;
    struct stat st {};
    if (::stat(native(dbPath).constData(), &st) != 0 || (st.st_mode & 0060) == 0) {
        return mode;
    }
    mode.group = st.st_gid;
    mode.file = 0600 | (st.st_mode & 0060);
    mode.folder = 0700 | ((st.st_mode & 0040) ? 0050 : 0) | (st.st_mode & 0020);
    return mode;
}

void applySharedMode(int fd, const SharedMode& mode) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        throw AppError(QStringLiteral("не удалось прочитать права %1: %2")
                           .arg(nameOf(fd), systemErrorText(e)));
    }
    const bool isFolder = S_ISDIR(st.st_mode);
    mode_t bits = isFolder ? mode.folder : mode.file;
    if (mode.group != gid_t(-1) && st.st_gid != mode.group &&
        ::fchown(fd, uid_t(-1), mode.group) != 0) {
        const int e = errno;
        if (e != EPERM || mode.groupRequired) {
            throw AppError(QStringLiteral("не удалось передать %1 группе %2: %3")
                               .arg(nameOf(fd))
                               .arg(mode.group)
                               .arg(systemErrorText(e)));
        }
        // Not a group of this user: the bits of the group stay off, since the
        // file's group is not the one they were meant for.
        bits &= 0700;
    }
    // A folder keeps its set-group-id bit, so that what is made in it takes
    // its group.
    if (::fchmod(fd, bits | (isFolder ? (st.st_mode & S_ISGID) : 0)) != 0) {
        const int e = errno;
        throw AppError(
            QStringLiteral("не удалось задать права %1: %2").arg(nameOf(fd), systemErrorText(e)));
    }
}

NewFile::NewFile(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}

NewFile::NewFile(NewFile&& other) noexcept
    : m_fd(other.m_fd), m_path(std::move(other.m_path)), m_named(other.m_named) {
    other.m_fd = -1;
    other.m_named = false;
}

NewFile::~NewFile() {
    if (m_fd >= 0) {
        if (m_named) {
            removeOwnName();
        }
        ::close(m_fd);
    }
}

NewFile NewFile::create(const QString& path, const SharedMode& mode) {
    const int fd = ::open(native(path).constData(),
                          O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC, mode.file & 0600);
    if (fd < 0) {
        raiseCreate(path, errno);
    }
    NewFile file(fd, path);
    applySharedMode(fd, mode);
    return file;
}

NewFile NewFile::temporaryFor(const QString& target, const SharedMode& mode) {
    const QFileInfo info(target);
    const QDir folder = info.absoluteDir();
    for (int attempt = 0;; ++attempt) {
        const QString name = QStringLiteral(".%1%2%3-%4")
                                 .arg(info.fileName(), kTempMark)
                                 .arg(::getpid())
                                 .arg(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFull,
                                      12, 16, QLatin1Char('0'));
        const QString path = folder.filePath(name);
        const int fd = ::open(native(path).constData(),
                              O_CREAT | O_EXCL | O_NOFOLLOW | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            NewFile file(fd, path);
            applySharedMode(fd, mode);
            return file;
        }
        // A name prepared by someone else is passed over, not used.
        if (errno != EEXIST || attempt >= 100) {
            const int e = errno;
            throw AppError(QStringLiteral("не удалось создать файл в %1: %2")
                               .arg(folder.path(), systemErrorText(e)));
        }
    }
}

QString NewFile::selfPath() const {
    return QStringLiteral("/proc/self/fd/%1").arg(m_fd);
}

void NewFile::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int e = n < 0 ? errno : ENOSPC;
            throw AppError(
                QStringLiteral("не удалось записать %1: %2").arg(m_path, systemErrorText(e)),
                kindOf(e));
        }
        done += n;
    }
}

void NewFile::sync() {
    if (::fsync(m_fd) != 0) {
        const int e = errno;
        throw AppError(
            QStringLiteral("не удалось записать %1 на диск: %2").arg(m_path, systemErrorText(e)),
            kindOf(e));
    }
}

void NewFile::removeOwnName() {
    // Only while the name still stands for this file: a file that someone put
    // under it meanwhile is not ours to remove.
    if (namesFile(m_path, m_fd)) {
        ::unlink(native(m_path).constData());
    }
    m_named = false;
}

void NewFile::placeAs(const QString& target) {
    const QByteArray to = native(target);
    // A hard link to the file itself never replaces a name that is taken, and
    // never follows one.
    int rc = ::linkat(AT_FDCWD, native(selfPath()).constData(), AT_FDCWD, to.constData(),
                      AT_SYMLINK_FOLLOW);
    if (rc != 0 && (errno == EPERM || errno == EOPNOTSUPP || errno == EXDEV)) {
        // A file system without hard links: a rename of the own name, after
        // one more look at both names.
        struct stat st {};
        if (::lstat(to.constData(), &st) == 0) {
            errno = EEXIST;
        } else if (!namesFile(m_path, m_fd)) {
            errno = ENOENT;
        } else {
            rc = ::rename(native(m_path).constData(), to.constData());
            if (rc == 0) {
                m_named = false;
            }
        }
    }
    if (rc != 0) {
        const int e = errno;
        throw AppError(
            e == EEXIST
                ? QStringLiteral("%1 уже существует и не изменен").arg(target)
                : QStringLiteral("не удалось записать %1: %2").arg(target, systemErrorText(e)));
    }
    if (m_named) {
        removeOwnName();
    }
    try {
        syncFolderOf(target);
    } catch (const AppError&) {
        // A name that may not survive a power cut is not given at all.
        if (namesFile(target, m_fd)) {
            ::unlink(to.constData());
        }
        throw;
    }
}

void NewFile::replace(const QString& target) {
    if (!namesFile(m_path, m_fd)) {
        throw AppError(
            QStringLiteral("временный файл %1 подменен; %2 не изменен").arg(m_path, target));
    }
    if (::rename(native(m_path).constData(), native(target).constData()) != 0) {
        const int e = errno;
        throw AppError(
            QStringLiteral("не удалось заменить %1: %2").arg(target, systemErrorText(e)));
    }
    m_named = false;
    syncFolderOf(target);
    if (!namesFile(target, m_fd)) {
        throw AppError(
            QStringLiteral("%1 подменен другим файлом сразу после записи; проверьте его")
                .arg(target));
    }
}

void makeSharedFolder(const QString& path, const SharedMode& mode) {
    const QString folder = QDir::cleanPath(QDir(path).absolutePath());
    const QByteArray name = native(folder);
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return;
        }
        throw AppError(
            S_ISLNK(st.st_mode)
                ? QStringLiteral("папка %1 - символическая ссылка; копии в нее "
                                 "не пишутся")
                      .arg(folder)
                : QStringLiteral("не удалось создать папку %1: на ее месте файл").arg(folder));
    }
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        const int e = errno;
        throw AppError(
            QStringLiteral("не удалось создать папку %1: %2").arg(folder, systemErrorText(e)));
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        throw AppError(
            QStringLiteral("не удалось создать папку %1: %2").arg(folder, systemErrorText(e)));
    }
    struct stat made {};
    // Only the folder this process made gets the mode; one that another
    // program made at the same moment is used as it is.
    if (::fstat(fd, &made) == 0 && made.st_uid == ::geteuid()) {
        applySharedMode(fd, mode);
    }
    ::close(fd);
}

bool sameFile(const QString& a, const QString& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(native(a).constData(), &sa) == 0 && ::stat(native(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void removeAbandonedTemporaries(const QString& folder) {
    static const QRegularExpression name(QStringLiteral("^\\..+\\.tmp-(\\d+)(-[0-9a-f]+)?$"));
    const QDir dir(folder);
    const QStringList entries =
        dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& entry : entries) {
        const auto m = name.match(entry);
        if (!m.hasMatch()) {
            continue;
        }
        const pid_t pid = m.captured(1).toInt();
        // Only the leftovers of processes that no longer run; unlink removes
        // a link itself, never what it points to.
        if (pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) {
            ::unlink(native(dir.filePath(entry)).constData());
        }
    }
}

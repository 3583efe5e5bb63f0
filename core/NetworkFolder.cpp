#include "NetworkFolder.h"

#include <linux/magic.h>
#include <sys/statfs.h>
#include <QFileInfo>

namespace {

std::function<qint64(const QString&)>& magicSource() {
    static std::function<qint64(const QString&)> source;
    return source;
}

}  // namespace

QString networkFileSystemName(qint64 magic) {
    switch (quint32(magic)) {
        case NFS_SUPER_MAGIC:
            return QStringLiteral("NFS");
        case SMB_SUPER_MAGIC:
        case CIFS_SUPER_MAGIC:
        case SMB2_SUPER_MAGIC:
            return QStringLiteral("SMB/CIFS");
        // sshfs, the cloud clients, GlusterFS and every other user-space one.
        case FUSE_SUPER_MAGIC:
            return QStringLiteral("FUSE");
        case V9FS_MAGIC:
            return QStringLiteral("9p");
        case AFS_SUPER_MAGIC:
        case AFS_FS_MAGIC:
            return QStringLiteral("AFS");
        case CODA_SUPER_MAGIC:
            return QStringLiteral("Coda");
        case CEPH_SUPER_MAGIC:
            return QStringLiteral("Ceph");
        case NCP_SUPER_MAGIC:
            return QStringLiteral("NCP");
        case 0x0BD00BD0:
            return QStringLiteral("Lustre");
        case 0x13661366:
            return QStringLiteral("OrangeFS");
        default:
            return QString();
    }
}

qint64 fileSystemMagic(const QString& folder) {
    if (magicSource()) {
        return magicSource()(folder);
    }
    struct statfs info {};
    if (::statfs(QFile::encodeName(folder).constData(), &info) != 0) {
        return 0;
    }
    return qint64(info.f_type);
}

void setFileSystemMagicSource(std::function<qint64(const QString&)> source) {
    magicSource() = std::move(source);
}

QString networkFileSystemOf(const QString& path) {
    const QFileInfo file(path);
    const QString real = file.canonicalFilePath();
    return networkFileSystemName(fileSystemMagic(
        QFileInfo(real.isEmpty() ? file.absoluteFilePath() : real).absolutePath()));
}

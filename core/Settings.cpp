#include "Settings.h"

#include "AppError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace {

QString g_settingsOverride;

struct Located {
    int sectionLine = -1;  // the "[Section]" line
    int keyLine = -1;      // the "key=value" line
    int endLine = -1;      // first line after the section
};

QStringList readLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

Located locate(const QStringList& lines, const QString& section, const QString& key) {
    Located at;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            if (at.sectionLine >= 0) {
                at.endLine = i;
                return at;
            }
            if (line.mid(1, line.size() - 2).trimmed().compare(section, Qt::CaseInsensitive) ==
                0) {
                at.sectionLine = i;
            }
            continue;
        }
        if (at.sectionLine >= 0 && at.keyLine < 0) {
            const int eq = int(line.indexOf(QLatin1Char('=')));
            if (eq > 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
                at.keyLine = i;
            }
        }
    }
    at.endLine = int(lines.size());
    return at;
}

}  // namespace

IniFile::IniFile(QString path) : m_path(std::move(path)) {}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
    const QStringList lines = readLines(m_path);
    const Located at = locate(lines, section, key);
    if (at.keyLine < 0) {
        return def;
    }
    const QString& line = lines[at.keyLine];
    return line.mid(line.indexOf(QLatin1Char('=')) + 1);
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    QStringList lines = readLines(m_path);
    const Located at = locate(lines, section, key);
    const QString entry = key + QLatin1Char('=') + value;
    if (at.keyLine >= 0) {
        lines[at.keyLine] = entry;
    } else if (at.sectionLine >= 0) {
        int insertAt = at.endLine;
        while (insertAt > at.sectionLine + 1 && lines[insertAt - 1].trimmed().isEmpty()) {
            --insertAt;
        }
        lines.insert(insertAt, entry);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) {
            lines << QString();
        }
        lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
    }
    QSaveFile f(m_path);
    // An existing file in a folder the user cannot write to (beside an
    // installed program) is written in place: a new file beside it and a
    // rename would fail there.
    f.setDirectWriteFallback(true);
    bool ok = true;
    try {
        makeOwnerOnlyFolder(QFileInfo(m_path).absolutePath());
    } catch (const AppError&) {
        ok = false;
    }
    ok = ok && f.open(QIODevice::WriteOnly);
    if (ok) {
        // The file names the user and the database: the owner's alone, also
        // when it is new (a new file would get the umask's mode).
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        f.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        ok = f.commit();
    }
    if (!ok) {
        throw AppError(QStringLiteral("Unable to write to %1").arg(m_path));
    }
}

QString programPathWithExtension(const QString& extension) {
    const QFileInfo program(QCoreApplication::applicationFilePath());
    return program.absolutePath() + QLatin1Char('/') + program.completeBaseName() + extension;
}

namespace {

bool canWriteFolder(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

// A folder the program may keep its files in beside itself: one that says so,
// by the mark the build leaves in its own folders or by the program's own
// settings file already there. That the folder can be written is not enough:
// root may write to /usr/bin, and nothing of a user's belongs there.
bool isPortableFolder() {
    const QString mark =
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kPortableMark);
    return QFileInfo(mark).isFile() ||
           QFileInfo(programPathWithExtension(QStringLiteral(".ini"))).isFile();
}

// $XDG_CONFIG_HOME or $XDG_DATA_HOME (their defaults when unset), then "dorsanti/<name>".
QString userFile(QStandardPaths::StandardLocation location, const QString& name) {
    return QStandardPaths::writableLocation(location) + QStringLiteral("/dorsanti/") + name;
}

}  // namespace

QString settingsFilePath() {
    if (!g_settingsOverride.isEmpty()) {
        return g_settingsOverride;
    }
    const QString beside = programPathWithExtension(QStringLiteral(".ini"));
    const QFileInfo file(beside);
    if (isPortableFolder() && (file.exists() ? file.isFile() && file.isWritable()
                                             : canWriteFolder(file.absolutePath()))) {
        return beside;
    }
    return userFile(QStandardPaths::GenericConfigLocation, QStringLiteral("dorsanti.ini"));
}

QString defaultDatabasePath() {
    const QString beside = programPathWithExtension(QStringLiteral(".db"));
    if (isPortableFolder() && canWriteFolder(QFileInfo(beside).absolutePath())) {
        return beside;
    }
    return userFile(QStandardPaths::GenericDataLocation, QStringLiteral("dorsanti.db"));
}

void makeOwnerOnlyFolder(const QString& path) {
    const QString folder = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(folder).isDir()) {
        return;
    }
    const QString parent = QFileInfo(folder).absolutePath();
    if (parent != folder) {
        makeOwnerOnlyFolder(parent);
    }
    if (!QDir().mkdir(folder,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner) &&
        !QFileInfo(folder).isDir()) {
        throw AppError(QStringLiteral("Cannot create the folder %1").arg(folder));
    }
}

void setSettingsFilePath(const QString& path) {
    g_settingsOverride = path;
}

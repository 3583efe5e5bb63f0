#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QTextStream>

// The large file a benchmark works on, in its own temporary folder: a copy of
// `source`, or, without one, a file of a million documents made by the tool.
// Empty, after saying why on `out`, when it cannot be had.
inline QString benchDatabase(const QString& source, const QTemporaryDir& dir, QTextStream& out) {
    const QString path = dir.filePath(QStringLiteral("bench.db"));
    if (source.isEmpty()) {
        out << "making a database of 1 000 000 documents...\n";
        out.flush();
        QProcess tool;
        tool.setProcessChannelMode(QProcess::ForwardedChannels);
        tool.start(QStringLiteral(DORSANTI_DB_TOOL),
                   {QStringLiteral("create"), path, QStringLiteral("--documents"),
                    QStringLiteral("1000000")});
        if (!tool.waitForFinished(-1) || tool.exitCode() != 0) {
            out << "dorsanti-db failed\n";
            return {};
        }
    } else if (!QFile::copy(source, path)) {
        out << "cannot copy " << source << "\n";
        return {};
    }
    return path;
}

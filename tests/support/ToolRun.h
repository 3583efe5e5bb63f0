#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs dorsanti-db as a person runs it, with `input` on its standard input.
struct ToolRun {
    int exitCode;  // -1 when it crashed or hung
    QString out;
    QString err;
};

// Waits for a started run of the tool (or of a copy of it) to end, and reads
// what it said.
inline ToolRun finishedRun(QProcess& p) {
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return {-1, {}, QStringLiteral("timed out")};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

inline ToolRun runTool(const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    p.start(QStringLiteral(DORSANTI_DB_TOOL), args);
    p.write(input);
    p.closeWriteChannel();
    return finishedRun(p);
}

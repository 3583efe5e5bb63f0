#pragma once

#include <QString>
#include <QTextStream>

// The tool's two streams and its one-line failure, shared by every command.

inline QTextStream& out() {
    static QTextStream s(stdout);
    return s;
}

inline QTextStream& err() {
    static QTextStream s(stderr);
    return s;
}

// Says what went wrong in one line, after what was already printed, and gives
// the exit code of a failed command.
inline int fail(const QString& message) {
    out().flush();
    err() << "dorsanti-db: " << message << "\n";
    err().flush();
    return 1;
}

#pragma once

#include <QString>
#include <QStringList>
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

// Of the usage texts of some commands (name, text), the named command's, or
// all of them for none.
inline QStringList usageOf(const QList<std::pair<QString, QString>>& usages,
                           const QString& command) {
    QStringList blocks;
    for (const auto& [name, text] : usages) {
        if (command.isEmpty() || command == name) {
            blocks << text;
        }
    }
    return blocks;
}

// The usage of the commands in `blocks`: on standard output when it was asked
// for (exit code 0), else on standard error after the line that says what
// was wrong with the call (exit code 2).
inline int showUsage(const QStringList& blocks, const QString& problem = {}) {
    out().flush();
    QTextStream& s = problem.isEmpty() ? out() : err();
    if (!problem.isEmpty()) {
        s << "dorsanti-db: " << problem << "\n";
    }
    s << "Использование:\n" << blocks.join(QLatin1Char('\n'));
    s.flush();
    return problem.isEmpty() ? 0 : 2;
}

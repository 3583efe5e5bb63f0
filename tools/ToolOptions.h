#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// The arguments of one command: its "--name value" and "--flag" options, in
// any place, and the rest in order. Any other word that begins with "-" is
// an option the command does not know; "--" ends the options, so that a file
// whose name begins with "-" can still be named ("-- -cmd", or "./-cmd").
struct ToolOptions {
    QHash<QString, QString> values;
    QSet<QString> flags;
    QStringList positional;

    bool has(const QString& flag) const { return flags.contains(flag); }
};

// Reads `args` (without the command's own name); false for an option the
// command does not know, or one given without its value (none follows, or
// the next word is an option itself).
inline bool parseToolOptions(const QStringList& args, const QStringList& valued,
                             const QStringList& flags, ToolOptions& o) {
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            o.positional << a;
        } else if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (valued.contains(a)) {
            if (i + 1 >= args.size() || args[i + 1].startsWith(QLatin1String("--"))) {
                return false;
            }
            o.values.insert(a, args[++i]);
        } else if (flags.contains(a)) {
            o.flags.insert(a);
        } else {
            return false;
        }
    }
    return true;
}

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
    bool help = false;  // "--help" or "-h": the command's usage is asked for
    QString problem;    // what was wrong with the arguments, in one line

    bool has(const QString& flag) const { return flags.contains(flag); }
};

// Reads `args` (without the command's own name). `needed` says, for each word
// the command takes in order, how to report it missing ("не указан файл
// базы данных"); `optional` more words may follow. False, with o.problem, for
// an option the command does not know, one given without its value (none
// follows, or the next word is an option itself), a word missing or one too
// many. "--help" before "--" wins over all of these.
inline bool parseToolOptions(const QStringList& args, const QStringList& valued,
                             const QStringList& flags, ToolOptions& o,
                             const QStringList& needed = {}, qsizetype optional = 0) {
    const qsizetype end = args.indexOf(QStringLiteral("--"));
    for (const QString& a : args.first(end < 0 ? args.size() : end)) {
        o.help = o.help || a == QLatin1String("--help") || a == QLatin1String("-h");
    }
    if (o.help) {
        return true;
    }
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (optionsEnded || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            o.positional << a;
        } else if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (valued.contains(a)) {
            if (i + 1 >= args.size() || args[i + 1].startsWith(QLatin1String("--"))) {
                o.problem = QStringLiteral("у параметра %1 нет значения").arg(a);
                return false;
            }
            o.values.insert(a, args[++i]);
        } else if (flags.contains(a)) {
            o.flags.insert(a);
        } else {
            o.problem = QStringLiteral("неизвестный параметр %1").arg(a);
            return false;
        }
    }
    if (o.positional.size() < needed.size()) {
        o.problem = needed[o.positional.size()];
    } else if (o.positional.size() > needed.size() + optional) {
        o.problem =
            QStringLiteral("лишний аргумент \"%1\"").arg(o.positional[needed.size() + optional]);
    }
    return o.problem.isEmpty();
}

// The first word of nearly every command, reported missing.
inline QString noDatabaseFile() {
    return QStringLiteral("не указан файл базы данных");
}

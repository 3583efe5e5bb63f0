#include "CareCommands.h"

#include "AppError.h"
#include "Backup.h"
#include "Check.h"
#include "CopyBooks.h"
#include "Db.h"
#include "Recover.h"
#include "Restore.h"
#include "ServerBackup.h"
#include "ToolOptions.h"
#include "ToolOutput.h"
#include "Users.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTextStream>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <cstdio>

namespace {

// The usage of each command, in the order the full usage lists them.
const QList<std::pair<QString, QString>>& usages() {
    static const QList<std::pair<QString, QString>> list = {
        {QStringLiteral("check"),
         QStringLiteral("  dorsanti-db check ФАЙЛ|URI [--repair]\n"
                        "      Проверяет файл (или книги на сервере), ничего не меняя. Код\n"
                        "      выхода: 0 - в порядке, 1 - найдены проблемы, 2 - не открыть.\n"
                        "      --repair                  сделать копию и исправить то, что не\n"
                        "                                требует вашего решения\n")},
        {QStringLiteral("backup"),
         QStringLiteral("  dorsanti-db backup ФАЙЛ|URI [КУДА]\n"
                        "      Делает проверенную копию файла, даже пока программа с ним\n"
                        "      работает. КУДА - папка или новый файл; без него копия ляжет\n"
                        "      в папку копий рядом с файлом. Книги на сервере копирует\n"
                        "      pg_dump, по умолчанию в папку ~/БАЗА.backups.\n")},
        {QStringLiteral("restore"),
         QStringLiteral("  dorsanti-db restore КОПИЯ ФАЙЛ|URI\n"
                        "      Проверяет копию и ставит ее на место файла; прежний файл\n"
                        "      остается рядом. Пока файл открыт другой программой, ничего\n"
                        "      не делает. Копию книг с сервера pg_restore ставит только\n"
                        "      в пустую базу данных, одной транзакцией, и проверяет.\n")},
        {QStringLiteral("copy"),
         QStringLiteral("  dorsanti-db copy ОТКУДА КУДА\n"
                        "      Переносит книги целиком: из файла на сервер PostgreSQL\n"
                        "      (URI postgresql://...), с сервера в файл, из файла в файл.\n"
                        "      КУДА - новый файл или пустая база данных на сервере. Копия\n"
                        "      сверяется с источником и проверяется; если она не сходится,\n"
                        "      ничего не остается.\n")},
        {QStringLiteral("recover"),
         QStringLiteral("  dorsanti-db recover ФАЙЛ НОВЫЙ\n"
                        "      Спасает все, что читается из поврежденного файла, в новый файл\n"
                        "      (нужна программа sqlite3).\n")},
        {QStringLiteral("user"),
         QStringLiteral(
             "  dorsanti-db user list ФАЙЛ|URI\n"
             "  dorsanti-db user add ФАЙЛ|URI ИМЯ --full-name ТЕКСТ [--password-stdin]\n"
             "  dorsanti-db user passwd ФАЙЛ|URI ИМЯ [--password-stdin]\n"
             "  dorsanti-db user remove ФАЙЛ|URI ИМЯ\n"
             "      Показывает пользователей, добавляет пользователя, меняет его\n"
             "      пароль, удаляет его. Пароль вводится в терминале дважды.\n"
             "      --full-name ТЕКСТ         полное имя нового пользователя\n"
             "      --password-stdin          прочитать пароль одной строкой\n"
             "                                со стандартного ввода\n")},
    };
    return list;
}

int usageError(const QString& command, const QString& problem) {
    return showUsage(careUsage(command), problem);
}

// One line typed on the terminal without echo.
QString readHidden(int tty, const QString& prompt) {
    const QByteArray p = prompt.toUtf8();
    if (::write(tty, p.constData(), size_t(p.size())) < 0) {
        throw AppError(QStringLiteral("не удалось писать в терминал"));
    }
    termios saved{};
    const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    const auto restore = qScopeGuard([&] {
        if (isTerminal) {
            ::tcsetattr(tty, TCSAFLUSH, &saved);
        }
    });
    QByteArray line;
    char c = 0;
    while (::read(tty, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return QString::fromUtf8(line);
}

QString readPassword(bool fromStdin) {
    if (fromStdin) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly)) {
            throw AppError(QStringLiteral("не удалось прочитать стандартный ввод"));
        }
        QByteArray line = in.readLine();
        if (line.endsWith('\n')) {
            line.chop(1);
        }
        return QString::fromUtf8(line);
    }
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
        throw AppError(
            QStringLiteral("нет терминала для ввода пароля; передайте его через "
                           "стандартный ввод с --password-stdin"));
    }
    const auto closeTty = qScopeGuard([tty] { ::close(tty); });
    const QString first = readHidden(tty, QStringLiteral("Пароль: "));
    const QString second = readHidden(tty, QStringLiteral("Пароль еще раз: "));
    if (first != second) {
        throw AppError(QStringLiteral("пароли не совпали; ничего не изменено"));
    }
    return first;
}

void printFinding(const Finding& f) {
    out() << f.title << ": " << f.total << "\n";
    for (const QString& row : f.rows) {
        if (!row.isEmpty()) {
            out() << "  " << row << "\n";
        }
    }
    const int shown = int(std::count_if(f.rows.begin(), f.rows.end(),
                                        [](const QString& r) { return !r.isEmpty(); }));
    if (f.total > shown) {
        out() << "  ... и еще " << (f.total - shown) << "\n";
    }
}

int printReport(const QString& path, const CheckReport& report) {
    if (report.healthy()) {
        out() << (isServerUri(path) ? "Книги " : "Файл ") << path << " в порядке.\n";
        return 0;
    }
    for (const Finding& f : report.findings) {
        printFinding(f);
    }
    if (report.damaged()) {
        out() << damagedFileAdvice(path) << "\n";
    }
    out() << "Найдено проблем: " << report.findings.size() << ".\n";
    return 1;
}

int check(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args, {}, {QStringLiteral("--repair")}, o, {noDatabaseFile()}) ||
        o.help) {
        return usageError(QStringLiteral("check"), o.problem);
    }
    const bool repair = o.has(QStringLiteral("--repair"));
    const QString path = o.positional[0];
    CheckReport before;
    try {
        before = checkDatabase(path);
    } catch (const AppError& e) {
        out().flush();
        err() << "dorsanti-db: не удалось открыть " << path << ": " << e.text() << "\n";
        return 2;
    }
    if (!repair) {
        return printReport(path, before);
    }
    RepairReport r;
    try {
        r = repairDatabase(path, before);
    } catch (const AppError& e) {
        return fail(e.text());
    }
    out() << "Копия до исправления: " << r.backupPath << "\n";
    if (r.changed.isEmpty()) {
        out() << "Исправлять нечего.\n";
    } else {
        out() << "Исправлено:\n";
        for (const QString& line : std::as_const(r.changed)) {
            out() << "  " << line << "\n";
        }
    }
    if (!r.untouched.isEmpty()) {
        out() << "Не тронуто:\n";
        for (const QString& line : std::as_const(r.untouched)) {
            out() << "  " << line << "\n";
        }
    }
    out() << "Проверка после исправления:\n";
    return printReport(path, r.after);
}

int backup(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args, {}, {}, o, {noDatabaseFile()}, 1) || o.help) {
        return usageError(QStringLiteral("backup"), o.problem);
    }
    const QString path = o.positional[0];
    if (isServerUri(path)) {
        try {
            const QString target = backupServerBooks(path, o.positional.value(1));
            out() << "Копия " << path << " сделана: " << target << "\n";
        } catch (const AppError& e) {
            return fail(e.text());
        }
        return 0;
    }
    try {
        const QString target = resolveBackupTarget(path, o.positional.value(1));
        backupDatabase(path, target);
        if (o.positional.size() == 1) {
            // A fresh copy in the default folder answers an earlier failure.
            QFile::remove(dailyCopyFailurePath(path));
        }
        out() << "Копия " << path << " сделана: " << target << "\n";
    } catch (const AppError& e) {
        return fail(e.text());
    }
    return 0;
}

int restore(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args, {}, {}, o,
                          {QStringLiteral("не указана копия"), noDatabaseFile()}) ||
        o.help) {
        return usageError(QStringLiteral("restore"), o.problem);
    }
    if (isServerUri(o.positional[1])) {
        try {
            const CheckReport after = restoreServerBooks(o.positional[0], o.positional[1]);
            out() << "Книги " << o.positional[1] << " восстановлены из " << o.positional[0]
                  << "\n";
            if (!after.healthy()) {
                for (const Finding& f : after.findings) {
                    printFinding(f);
                }
                return fail(QStringLiteral("проверка восстановленных книг нашла проблемы"));
            }
        } catch (const AppError& e) {
            return fail(e.text());
        }
        return 0;
    }
    try {
        const QString kept = restoreDatabase(o.positional[0], o.positional[1]);
        if (!kept.isEmpty()) {
            out() << "Прежний файл сохранен: " << kept << "\n";
        }
        out() << "Файл " << o.positional[1] << " восстановлен из " << o.positional[0] << "\n";
    } catch (const AppError& e) {
        return fail(e.text());
    }
    return 0;
}

int copy(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args, {}, {}, o,
                          {QStringLiteral("не указано, откуда копировать"),
                           QStringLiteral("не указано, куда копировать")}) ||
        o.help) {
        return usageError(QStringLiteral("copy"), o.problem);
    }
    try {
        const CopySummary s = copyBooks(o.positional[0], o.positional[1]);
        out() << "Книги скопированы из " << o.positional[0] << " в " << o.positional[1]
              << ": таблиц " << s.tables << ", строк " << s.rows
              << "; копия сверена с источником и проверена.\n";
    } catch (const AppError& e) {
        return fail(QStringLiteral("книги не скопированы: %1").arg(e.text().simplified()));
    }
    return 0;
}

int recover(const QStringList& args) {
    ToolOptions o;
    if (!parseToolOptions(args, {}, {}, o,
                          {noDatabaseFile(), QStringLiteral("не указан новый файл")}) ||
        o.help) {
        return usageError(QStringLiteral("recover"), o.problem);
    }
    if (isServerUri(o.positional[0]) || isServerUri(o.positional[1])) {
        out().flush();
        err() << "dorsanti-db: recover спасает данные поврежденного файла; книги на сервере "
                 "бережет сам сервер, их копию делает backup\n";
        return 2;
    }
    try {
        const QStringList tables = recoverDatabase(o.positional[0], o.positional[1]);
        out() << "Спасено в " << o.positional[1] << " (таблица: строк):\n";
        for (const QString& t : tables) {
            out() << "  " << t << "\n";
        }
        out() << "Проверьте новый файл: dorsanti-db check " << o.positional[1] << "\n";
    } catch (const AppError& e) {
        return fail(e.text());
    }
    return 0;
}

int user(const QStringList& all) {
    const QString user = QStringLiteral("user");
    const QString verb = all.value(0);
    if (verb == QLatin1String("--help") || verb == QLatin1String("-h")) {
        return usageError(user, {});
    }
    const bool add = verb == QLatin1String("add");
    const bool passwordVerb = add || verb == QLatin1String("passwd");
    if (!passwordVerb && verb != QLatin1String("list") && verb != QLatin1String("remove")) {
        return usageError(user, verb.isEmpty()
                                    ? QStringLiteral("не указано действие: list, add, passwd "
                                                     "или remove")
                                    : QStringLiteral("неизвестное действие \"%1\"").arg(verb));
    }
    // Each verb takes only its own options.
    ToolOptions o;
    QStringList needed = {noDatabaseFile()};
    if (verb != QLatin1String("list")) {
        needed << QStringLiteral("не указано имя пользователя");
    }
    if (!parseToolOptions(
            all.mid(1), add ? QStringList{QStringLiteral("--full-name")} : QStringList{},
            passwordVerb ? QStringList{QStringLiteral("--password-stdin")} : QStringList{}, o,
            needed) ||
        o.help) {
        return usageError(user, o.problem);
    }
    if (add && !o.values.contains(QStringLiteral("--full-name"))) {
        return usageError(user, QStringLiteral("не указан параметр --full-name"));
    }
    const QStringList& args = o.positional;
    const bool passwordStdin = o.has(QStringLiteral("--password-stdin"));
    const QString path = args.value(0);
    try {
        if (verb == QLatin1String("list")) {
            for (const UserRow& u : listUsers(path)) {
                out() << u.id << "\t" << u.name << "\t" << u.fullName << "\n";
            }
        } else if (add) {
            addUser(path, args[1], o.values.value(QStringLiteral("--full-name")),
                    readPassword(passwordStdin));
            out() << "Пользователь \"" << args[1].trimmed() << "\" добавлен.\n";
        } else if (passwordVerb) {
            setUserPassword(path, args[1], readPassword(passwordStdin));
            out() << "Пароль пользователя \"" << args[1].trimmed() << "\" изменен.\n";
        } else {
            const int sessions = removeUser(path, args[1]);
            out() << "Пользователь \"" << args[1].trimmed()
                  << "\" удален (записей о входах: " << sessions << ").\n";
        }
    } catch (const AppError& e) {
        return fail(e.text());
    }
    return 0;
}

}  // namespace

bool isCareCommand(const QString& command) {
    static const QStringList commands = {QStringLiteral("check"),   QStringLiteral("backup"),
                                         QStringLiteral("restore"), QStringLiteral("recover"),
                                         QStringLiteral("user"),    QStringLiteral("copy")};
    return commands.contains(command);
}

QStringList careUsage(const QString& command) {
    return usageOf(usages(), command);
}

int runCareCommand(const QStringList& args) {
    const QString command = args.value(0);
    const QStringList rest = args.mid(1);
    int rc = 2;
    if (command == QLatin1String("check")) {
        rc = check(rest);
    } else if (command == QLatin1String("backup")) {
        rc = backup(rest);
    } else if (command == QLatin1String("restore")) {
        rc = restore(rest);
    } else if (command == QLatin1String("copy")) {
        rc = copy(rest);
    } else if (command == QLatin1String("recover")) {
        rc = recover(rest);
    } else if (command == QLatin1String("user")) {
        rc = user(rest);
    }
    out().flush();
    err().flush();
    return rc;
}

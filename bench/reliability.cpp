// The reliability checks at full size: the posting program killed at random
// moments hundreds of times, two programs on one file for thousands of
// operations, and a million typed inputs for each parser.
//
//   bench_reliability [KILLS] [OPERATIONS] [INPUTS]

#include "InputFuzz.h"
#include "Reliability.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

namespace {

QHash<QString, qint64> counts(QProcess& p) {
    QHash<QString, qint64> out;
    const QString line = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    for (const auto& m : QRegularExpression(QStringLiteral("(\\w+)=(\\d+)")).globalMatch(line)) {
        out.insert(m.captured(1), m.captured(2).toLongLong());
    }
    return out;
}

bool kills(const QString& path, int total) {
    Reliability::makeDatabase(path, 300);
    std::mt19937 rng(20261209);
    int midWrite = 0;
    QElapsedTimer timer;
    timer.start();
    for (int k = 0; k < total; ++k) {
        QProcess worker;
        worker.start(QStringLiteral(DORSANTI_POSTING_WORKER),
                     {path, QString::number(k + 1), QStringLiteral("0")});
        worker.waitForStarted();
        const int target = std::uniform_int_distribution<int>(1, 60)(rng);
        qint64 dots = 0;
        while (dots < target && worker.state() == QProcess::Running) {
            worker.waitForReadyRead(10000);
            dots += worker.readAllStandardOutput().count('.');
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 2000)(rng)));
        worker.kill();
        worker.waitForFinished();
        midWrite += QFile::exists(path + QStringLiteral("-journal"));
        const Reliability::Check check = Reliability::inspect(path);
        if (!check.sound() || check.documents != 300) {
            std::printf("kill %d: NOT SOUND: %s\n", k + 1, qPrintable(check.describe()));
            return false;
        }
    }
    const Reliability::Check last = Reliability::inspect(path);
    std::printf("kills: %d survived, %d of them during a write; %d documents applied at the end; "
                "%.1f s\n",
                total, midWrite, last.applied, timer.elapsed() / 1000.0);
    return true;
}

bool twoPrograms(const QString& path, int documents, int operations, int pause) {
    QFile::remove(path);
    Reliability::makeDatabase(path, documents);
    QElapsedTimer timer;
    timer.start();
    QProcess a;
    QProcess b;
    const QStringList common{QString::number(operations), QString::number(pause)};
    a.start(QStringLiteral(DORSANTI_POSTING_WORKER), QStringList{path, QStringLiteral("1")} + common);
    b.start(QStringLiteral(DORSANTI_POSTING_WORKER), QStringList{path, QStringLiteral("2")} + common);
    a.waitForFinished(-1);
    b.waitForFinished(-1);
    const auto ca = counts(a);
    const auto cb = counts(b);
    const Reliability::Check check = Reliability::inspect(path);
    const qint64 net = ca.value(QStringLiteral("applied")) - ca.value(QStringLiteral("rolledBack")) +
                       cb.value(QStringLiteral("applied")) - cb.value(QStringLiteral("rolledBack"));
    const bool ok = check.sound() && check.documents == documents && check.applied == net &&
                    ca.value(QStringLiteral("busy")) + cb.value(QStringLiteral("busy")) == 0 &&
                    ca.value(QStringLiteral("errors")) + cb.value(QStringLiteral("errors")) == 0;
    std::printf("two programs, %d documents: %lld operations, %lld conflicts resolved, "
                "%lld busy, %lld errors, %.1f s: %s\n",
                documents,
                ca.value(QStringLiteral("operations")) + cb.value(QStringLiteral("operations")),
                ca.value(QStringLiteral("conflicts")) + cb.value(QStringLiteral("conflicts")),
                ca.value(QStringLiteral("busy")) + cb.value(QStringLiteral("busy")),
                ca.value(QStringLiteral("errors")) + cb.value(QStringLiteral("errors")),
                timer.elapsed() / 1000.0, ok ? "sound" : qPrintable(check.describe()));
    return ok;
}

bool fuzz(qint64 inputs) {
    bool ok = true;
    const struct {
        const char* name;
        QString (*check)(qint64, quint32);
    } checks[] = {{"number field", InputFuzz::checkNumbers},
                  {"date field", InputFuzz::checkDates},
                  {"display formats", InputFuzz::checkFormats}};
    for (const auto& c : checks) {
        QElapsedTimer timer;
        timer.start();
        const QString broken = c.check(inputs, 20261209);
        std::printf("%s: %lld inputs, %s, %.1f s\n", c.name, inputs,
                    broken.isEmpty() ? "every one read as a value or as nothing"
                                     : qPrintable(QStringLiteral("BROKEN BY \"%1\"").arg(broken)),
                    timer.elapsed() / 1000.0);
        ok = ok && broken.isEmpty();
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int killCount = args.size() > 1 ? args[1].toInt() : 500;
    const int operations = args.size() > 2 ? args[2].toInt() : 5000;
    const qint64 inputs = args.size() > 3 ? args[3].toLongLong() : 1000000;
    QTemporaryDir dir(Reliability::scratchFolder() + QStringLiteral("/dorsanti-bench-XXXXXX"));
    bool ok = kills(dir.filePath(QStringLiteral("kills.db")), killCount);
    ok = twoPrograms(dir.filePath(QStringLiteral("shared.db")), 1000, operations, 100) && ok;
    ok = twoPrograms(dir.filePath(QStringLiteral("few.db")), 10, operations, 300) && ok;
    ok = fuzz(inputs) && ok;
    return ok ? 0 : 1;
}

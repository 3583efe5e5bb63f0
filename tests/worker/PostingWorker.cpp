// Applies and rolls back documents of a database, one after another, as fast
// as it can: the program that the reliability checks kill and run twice at
// once. It runs the program's own posting code; the boxes that code would show
// are counted instead.
//
//   posting_worker FILE SEED OPERATIONS [PAUSE]
//
// 0 operations: until killed. PAUSE, in microseconds, is a rest after each
// operation, as a person's pace would give, so that another program on the
// same file gets its turn at the lock.
//
// Running until killed, it prints a dot after each operation, so that whoever
// kills it can wait for work to be under way. Given a number of operations, it
// prints at the end one line: "operations=... applied=... rolledBack=...
// conflicts=... busy=... errors=...".
//
// With DORSANTI_WORKER_HALT_IN_WRITE set it stops itself (SIGSTOP) at the
// first statement that runs inside a write whose journal is on disk, after
// printing "!": a kill that follows falls in the middle of a write. With
// DORSANTI_WORKER_HALT_AFTER_READ set it stops itself after it has read the
// status of its first document, printing "?": another program may then
// change that status before it goes on.

#include "Dialogs.h"
#include "Main_DM.h"
#include "VelDocKinds.h"
#include "VelDocUtils.h"
#include "VelDoc_Common.h"
#include "VelDoc_Type3.h"

#include <sqlite3.h>
#include <QApplication>
#include <QFile>
#include <QTextStream>

#include <signal.h>
#include <unistd.h>
#include <cstdio>
#include <random>
#include <thread>

namespace {

class Counting : public Interaction {
public:
    int conflicts = 0;
    int busy = 0;
    int errors = 0;
    void message(const QString&) override { ++conflicts; }
    bool confirm(const QString&) override { return true; }
    void error(const AppError& e) override {
        if (e.kind() == AppError::Kind::Busy) {
            ++busy;
        } else {
            ++errors;
        }
        QTextStream(stderr) << "error: " << e.text() << "\n";
    }
};

QByteArray haltJournal;

int haltInWrite(unsigned, void* db, void*, void*) {
    if (!sqlite3_get_autocommit(static_cast<sqlite3*>(db)) &&
        ::access(haltJournal.constData(), F_OK) == 0) {
        std::fputc('!', stdout);
        std::fflush(stdout);
        ::raise(SIGSTOP);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4 && args.size() != 5) {
        QTextStream(stderr) << "usage: posting_worker FILE SEED OPERATIONS [PAUSE]\n";
        return 2;
    }
    RegisterVelDocKinds();
    Counting counting;
    setInteraction(&counting);
    TMainDM dm;
    dm.ADOConnection1.open(args[1]);
    if (qEnvironmentVariableIsSet("DORSANTI_WORKER_HALT_IN_WRITE")) {
        haltJournal = QFile::encodeName(args[1] + QStringLiteral("-journal"));
        sqlite3_trace_v2(dm.ADOConnection1.handle(), SQLITE_TRACE_STMT, haltInWrite,
                         dm.ADOConnection1.handle());
    }

    DbQuery docs(dm.ADOConnection1, QStringLiteral("docs"));
    docs.setSql(QStringLiteral("select IdDocument, CodTypeDocument from Document"));
    docs.open();
    QVector<QPair<int, int>> all;
    for (docs.first(); !docs.eof(); docs.next()) {
        all.push_back({docs.field(QStringLiteral("IdDocument")).asInteger(),
                       docs.field(QStringLiteral("CodTypeDocument")).asInteger()});
    }
    if (all.isEmpty()) {
        return 3;
    }

    std::mt19937 rng(args[2].toUInt());
    const qint64 operations = args[3].toLongLong();
    const int pause = args.size() == 5 ? args[4].toInt() : 0;
    const bool haltAfterRead = qEnvironmentVariableIsSet("DORSANTI_WORKER_HALT_AFTER_READ");
    int applied = 0;
    int rolledBack = 0;
    qint64 done = 0;
    for (; operations == 0 || done < operations; ++done) {
        const auto [id, type] = all[std::uniform_int_distribution<int>(0, all.size() - 1)(rng)];
        guarded([&, id = id, type = type] {
            // The status read here may be stale when another program shares the
            // file; the posting code reads it again inside its transaction.
            const int status = ReadDocStatus(id);
            if (haltAfterRead && done == 0) {
                std::fputc('?', stdout);
                std::fflush(stdout);
                ::raise(SIGSTOP);
            }
            if (status == 1) {
                applied += (type == 3 ? ApplyTransferDoc(id) : ApplyCommonVelDoc(id)) > 0;
            } else {
                rolledBack += (type == 3 ? DeleteTransferDocConfirmed(id, 2)
                                         : DeleteCommonVelDocConfirmed(id, 2)) > 0;
            }
        });
        if (operations == 0) {
            std::fputc('.', stdout);
            std::fflush(stdout);
        }
        if (pause > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(pause));
        }
    }
    QTextStream(stdout) << "operations=" << done << " applied=" << applied
                        << " rolledBack=" << rolledBack << " conflicts=" << counting.conflicts
                        << " busy=" << counting.busy << " errors=" << counting.errors << "\n";
    setInteraction(nullptr);
    return 0;
}

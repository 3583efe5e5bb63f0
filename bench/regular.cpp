// bench_regular: the sign-in with 100 regular documents whose last three years
// were missed, against the same sign-in on books without any, and again once
// nothing is due, in one run.
//
//   bench_regular [ROUNDS]
//
// Each round copies a fresh file, signs in on it as the program does (the
// sign-in dialog, the due documents, the main window on screen) and times the
// whole and the due step alone; then signs in once more on the same file, when
// nothing is due. The medians of the rounds are printed.

#include "Clock.h"
#include "Db.h"
#include "DbSchema.h"
#include "Dialogs.h"
#include "DueAtSignIn.h"
#include "RegularDocuments.h"
#include "SignInRound.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <ctime>

namespace {

// Takes the box that says how many documents were made, as a user would
// close it at once.
class Quiet : public Interaction {
public:
    void message(const QString& text) override { said = text; }
    bool confirm(const QString&) override { return true; }
    void error(const AppError& e) override { said = e.text(); }
    QString said;
};

struct SignIn {
    double wholeMs = -1;
    double dueMs = 0;
    double dueCpuMs = 0;
};

// The processor time of this program: on a busy machine the wall clock also
// counts the time other programs had the processor.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

SignIn signIn(const QString& path) {
    SignIn s;
    s.wholeMs = signInMs(path, QStringLiteral("Пароль-1"), [&s] {
        QElapsedTimer due;
        due.start();
        const double cpu = cpuMs();
        createDueDocumentsAtSignIn(currentDate());
        s.dueCpuMs = cpuMs() - cpu;
        s.dueMs = double(due.nsecsElapsed()) / 1e6;
    });
    return s;
}

// 100 templates started three years ago, as a family keeps them: most monthly
// (a day of the month, the last day, the last working day), a fifth weekly,
// a tenth applied at once.
void addTemplates(const QString& path) {
    DbConnection c;
    c.open(path);
    QList<qint64> accounts;
    DbQuery q(c);
    q.setSql(QStringLiteral("select IdHeadAccount from HeadAccount order by IdHeadAccount"));
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        accounts << q.field(QStringLiteral("IdHeadAccount")).asInt64();
    }
    const QDate start = currentDate().addYears(-3);
    const QStringList rules{QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=%1"),
                            QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=-1"),
                            QStringLiteral("FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1"),
                            QStringLiteral("FREQ=WEEKLY;BYDAY=SA"),
                            QStringLiteral("FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=%1")};
    for (int i = 0; i < 100; ++i) {
        RegularTemplate r;
        r.type = i % 7 == 0 ? 2 : 1;
        r.idHeadAccount = accounts[i % accounts.size()];
        r.amount = Money::fromText(QString::number(100 + i)).value();
        r.note = QStringLiteral("Шаблон %1").arg(i);
        r.rule = rules[i % rules.size()];
        r.rule.replace(QStringLiteral("%1"), QString::number(1 + i % 31));
        r.start = start;
        r.applyAtOnce = i % 10 == 0;
        addRegularTemplate(c, r);
    }
}

QString ms(double v) {
    return QString::number(v, 'f', 2) + QStringLiteral(" ms");
}

}  // namespace

int main(int argc, char** argv) {
    SignInBench bench(argc, argv, 11);
    const int rounds = bench.rounds;
    const QTemporaryDir& dir = bench.dir;
    Quiet quiet;
    setInteraction(&quiet);
    const QString plain = dir.filePath(QStringLiteral("plain.db"));
    const QString regular = dir.filePath(QStringLiteral("regular.db"));
    CreateDatabaseFile(plain, NewFileContents::StarterBooks);
    setHashedPassword(plain, QStringLiteral("Пароль-1"));
    QFile::copy(plain, regular);
    addTemplates(regular);

    QTextStream out(stdout);
    QList<double> plainWhole, plainDue, missedWhole, missedDue, doneWhole, doneDue;
    QList<double> plainCpu, missedCpu, doneCpu, findCpu;
    QString made;
    for (int i = 0; i < rounds; ++i) {
        const QString a = dir.filePath(QStringLiteral("a%1.db").arg(i));
        const QString b = dir.filePath(QStringLiteral("b%1.db").arg(i));
        QFile::copy(plain, a);
        QFile::copy(regular, b);
        {
            DbConnection c;
            c.open(b);
            const double cpu = cpuMs();
            dueOccurrences(c, currentDate());
            findCpu << cpuMs() - cpu;
        }
        const SignIn p = signIn(a);
        quiet.said.clear();
        const SignIn m = signIn(b);
        made = quiet.said;
        const SignIn d = signIn(b);
        if (p.wholeMs < 0 || m.wholeMs < 0 || d.wholeMs < 0) {
            out << "sign-in failed: " << quiet.said << "\n";
            return 1;
        }
        plainWhole << p.wholeMs;
        plainDue << p.dueMs;
        missedWhole << m.wholeMs;
        missedDue << m.dueMs;
        doneWhole << d.wholeMs;
        doneDue << d.dueMs;
        plainCpu << p.dueCpuMs;
        missedCpu << m.dueCpuMs;
        doneCpu << d.dueCpuMs;
        QFile::remove(a);
        QFile::remove(b);
    }
    const double pw = median(plainWhole), mw = median(missedWhole), dw = median(doneWhole);
    const double pd = median(plainDue), md = median(missedDue), dd = median(doneDue);
    const double pc = median(plainCpu), mc = median(missedCpu), dc = median(doneCpu);
    out << "sign-in to main window, 100 templates, median of " << rounds << " rounds\n"
        << "  the last round said: " << made << "\n"
        << "                       whole sign-in   due step   due step, processor\n"
        << "  no templates:        " << ms(pw) << "   " << ms(pd) << "   " << ms(pc) << "\n"
        << "  three years missed:  " << ms(mw) << "   " << ms(md) << "   " << ms(mc) << "\n"
        << "  nothing due:         " << ms(dw) << "   " << ms(dd) << "   " << ms(dc) << "\n"
        << "  missed - none:       " << ms(mw - pw) << "   " << ms(md - pd) << "   " << ms(mc - pc)
        << "   ratio of the whole x" << QString::number(mw / pw, 'f', 2) << "\n"
        << "  of the missed, finding the dates alone: " << ms(median(findCpu))
        << " of the processor\n"
        << "  nothing due - none:  " << ms(dw - pw) << "   " << ms(dd - pd) << "   " << ms(dc - pc)
        << "   ratio of the whole x" << QString::number(dw / pw, 'f', 2) << "\n";
    return 0;
}

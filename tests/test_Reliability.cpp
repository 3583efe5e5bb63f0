// What the program promises a family that keeps its money in it: whatever
// happens (the program killed, two programs on one file, a full disk), no
// document is half posted, no balance disagrees with the ledger, and no row is
// lost.
#include "CommonVelDocEdit_FM.h"
#include "ContrAgentEdit_FM.h"
#include "Dialogs.h"
#include "DocTestData.h"
#include "FullDisk.h"
#include "ModalHelper.h"
#include "Reliability.h"
#include "Saldo_FM.h"
#include "TestUtil.h"
#include "ValutaEdit_FM.h"
#include "VelDoc_Common.h"
#include "VelDoc_Type3.h"

#include <signal.h>
#include <sqlite3.h>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

namespace {

struct WorkerResult {
    int exitCode = -1;
    QHash<QString, qint64> counts;
};

WorkerResult finish(QProcess& p) {
    WorkerResult r;
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    const QString line = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    for (const auto& m : QRegularExpression(QStringLiteral("(\\w+)=(\\d+)")).globalMatch(line)) {
        r.counts.insert(m.captured(1), m.captured(2).toLongLong());
    }
    return r;
}

}  // namespace

class Reliability_ : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::make_unique<QTemporaryDir>(Reliability::scratchFolder() +
                                                QStringLiteral("/dorsanti-XXXXXX"));
        ASSERT_TRUE(m_dir->isValid());
        m_path = m_dir->filePath(QStringLiteral("family.db"));
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

TEST_F(Reliability_, KilledAtRandomMomentsThePostingLosesNothing) {
    Reliability::makeDatabase(m_path, 300);
    std::mt19937 rng(20261209);
    const int kills = 50;
    int midWrite = 0;
    for (int k = 0; k < kills; ++k) {
        QProcess worker;
        // One kill in five falls, for certain, inside a write: the worker
        // stops itself there and says so.
        const bool inWrite = k % 5 == 0;
        if (inWrite) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DORSANTI_WORKER_HALT_IN_WRITE"), QStringLiteral("1"));
            worker.setProcessEnvironment(env);
        }
        worker.start(QStringLiteral(DORSANTI_POSTING_WORKER),
                     {m_path, QString::number(k + 1), QStringLiteral("0")});
        ASSERT_TRUE(worker.waitForStarted());
        // Kill it once it has done a random number of operations: it is then
        // somewhere in the middle of the next one.
        const int target = inWrite ? 1 : std::uniform_int_distribution<int>(1, 60)(rng);
        qint64 dots = 0;
        while (dots < target && worker.state() == QProcess::Running) {
            worker.waitForReadyRead(10000);
            const QByteArray said = worker.readAllStandardOutput();
            dots += said.count('.') + (said.contains('!') ? target : 0);
        }
        ASSERT_GE(dots, target) << "the worker stopped on its own: "
                                << worker.readAllStandardError().toStdString();
        // ... and a random part of an operation later, so that the kill may
        // fall on any step of it.
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 2000)(rng)));
        worker.kill();  // SIGKILL
        ASSERT_TRUE(worker.waitForFinished());
        midWrite += QFile::exists(m_path + QStringLiteral("-journal"));

        const Reliability::Check check = Reliability::inspect(m_path);
        ASSERT_TRUE(check.sound())
            << "after kill " << k + 1 << ": " << check.describe().toStdString();
        ASSERT_EQ(check.documents, 300);
    }
    // Some of the kills came while a write was under way.
    RecordProperty("killsDuringAWrite", midWrite);
    std::printf("kills: %d, during a write: %d\n", kills, midWrite);
    EXPECT_GE(midWrite, kills / 5);
}

// Two programs apply and roll back the same documents at once, each as fast
// as it can; returns the conflicts that the posting resolved.
static qint64 runTwoPrograms(const QString& path, int documents, int operations, int pause) {
    Reliability::makeDatabase(path, documents);
    QProcess a;
    QProcess b;
    const QString count = QString::number(operations);
    const QString rest = QString::number(pause);
    a.start(QStringLiteral(DORSANTI_POSTING_WORKER), {path, QStringLiteral("1"), count, rest});
    b.start(QStringLiteral(DORSANTI_POSTING_WORKER), {path, QStringLiteral("2"), count, rest});
    const WorkerResult ra = finish(a);
    const WorkerResult rb = finish(b);
    EXPECT_EQ(ra.exitCode, 0) << a.readAllStandardError().toStdString();
    EXPECT_EQ(rb.exitCode, 0) << b.readAllStandardError().toStdString();
    for (const WorkerResult* r : {&ra, &rb}) {
        EXPECT_EQ(r->counts.value(QStringLiteral("operations")), operations);
        // No operation failed on a lock that waiting would have cleared.
        EXPECT_EQ(r->counts.value(QStringLiteral("busy")), 0);
        EXPECT_EQ(r->counts.value(QStringLiteral("errors")), 0);
    }
    const Reliability::Check check = Reliability::inspect(path);
    EXPECT_TRUE(check.sound()) << check.describe().toStdString();
    EXPECT_EQ(check.documents, documents);
    // What the two programs applied and rolled back adds up to what the file
    // holds: nothing was applied twice, nothing rolled back twice.
    const auto net = [](const WorkerResult& r) {
        return r.counts.value(QStringLiteral("applied")) -
               r.counts.value(QStringLiteral("rolledBack"));
    };
    EXPECT_EQ(check.applied, net(ra) + net(rb));
    const qint64 conflicts = ra.counts.value(QStringLiteral("conflicts")) +
                             rb.counts.value(QStringLiteral("conflicts"));
    std::printf("documents: %d, operations: %d, conflicts resolved: %lld\n", documents,
                2 * operations, conflicts);
    return conflicts;
}

TEST_F(Reliability_, TwoProgramsOnOneFileNeverPostTwice) {
    runTwoPrograms(m_path, 1000, 600, 100);
}

TEST_F(Reliability_, TwoProgramsFightingOverFewDocumentsResolveEveryConflict) {
    // Ten documents: the two programs meet on the same document again and
    // again, and one of them finds it already moved on.
    // A short rest after each operation lets the other program take its turn.
    runTwoPrograms(m_path, 10, 600, 300);

    // For certain: one program reads the status of the only document and
    // stops; the other applies or rolls it back; the first then finds the
    // document moved on, says so and changes nothing.
    const QString one = m_dir->filePath(QStringLiteral("one.db"));
    Reliability::makeDatabase(one, 1);
    QProcess late;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DORSANTI_WORKER_HALT_AFTER_READ"), QStringLiteral("1"));
    late.setProcessEnvironment(env);
    late.start(QStringLiteral(DORSANTI_POSTING_WORKER),
               {one, QStringLiteral("1"), QStringLiteral("1")});
    ASSERT_TRUE(late.waitForStarted());
    ASSERT_TRUE(waitFor(
        [&] { return late.bytesAvailable() > 0 || late.state() == QProcess::NotRunning; }, 60000));
    ASSERT_EQ(late.read(1), QByteArray("?")) << late.readAllStandardError().toStdString();
    QProcess early;
    early.start(QStringLiteral(DORSANTI_POSTING_WORKER),
                {one, QStringLiteral("2"), QStringLiteral("1")});
    EXPECT_EQ(finish(early).counts.value(QStringLiteral("operations")), 1);
    ::kill(pid_t(late.processId()), SIGCONT);
    const WorkerResult r = finish(late);
    EXPECT_EQ(r.counts.value(QStringLiteral("conflicts")), 1);
    EXPECT_EQ(
        r.counts.value(QStringLiteral("applied")) + r.counts.value(QStringLiteral("rolledBack")),
        0);
    const Reliability::Check check = Reliability::inspect(one);
    EXPECT_TRUE(check.sound()) << check.describe().toStdString();
}

// Before the balance write of each account the recalculation rests a while,
// as a slow computer might: another program that posts all the time then
// applies or rolls back documents of that account in between.
static int slowBalanceWrite(unsigned, void*, void* stmt, void*) {
    const char* text = sqlite3_sql(static_cast<sqlite3_stmt*>(stmt));
    if (text && std::strncmp(text, "update HeadAccount set Saldo = :Saldo", 37) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    return 0;
}

TEST_F(Reliability_, ARecalculationLosesNoPostingOfAnotherProgram) {
    Reliability::makeDatabase(m_path, 300);
    QProcess worker;
    worker.start(QStringLiteral(DORSANTI_POSTING_WORKER),
                 {m_path, QStringLiteral("7"), QStringLiteral("0"), QStringLiteral("300")});
    ASSERT_TRUE(worker.waitForStarted());
    qint64 dots = 0;
    while (dots < 20 && worker.state() == QProcess::Running) {
        worker.waitForReadyRead(10000);
        dots += worker.readAllStandardOutput().count('.');
    }
    ASSERT_GE(dots, 20) << worker.readAllStandardError().toStdString();

    TMainDM dm;
    dm.ADOConnection1.open(m_path);
    sqlite3_trace_v2(dm.ADOConnection1.handle(), SQLITE_TRACE_STMT, slowBalanceWrite, nullptr);
    ModalHelper mh;
    for (int run = 0; run < 8; ++run) {
        mh.onNext<TSaldoFM>([](TSaldoFM* f) {
            f->BitBtn1->click();
            f->BitBtn1->click();
        });
        EXPECT_EQ(ShowSaldoFM(), 1);
        worker.readAllStandardOutput();
    }
    worker.kill();
    ASSERT_TRUE(worker.waitForFinished());
    EXPECT_TRUE(mh.boxes().isEmpty()) << mh.texts().join(' ').toStdString();
    dm.ADOConnection1.close();
    const Reliability::Check check = Reliability::inspect(m_path);
    EXPECT_TRUE(check.sound()) << check.describe().toStdString();
    EXPECT_GT(check.applied, 0);
}

// ---------------------------------------------------------------- full disk

class FullDiskTest : public DocTest {
protected:
    void SetUp() override {
        if (DbTest::onServer()) {
            GTEST_SKIP() << "a full disk is the file's: the server's disk is the server's";
        }
        FullDisk::install();
        DocTest::SetUp();
        startSession();
        addAccounts();
    }
    void TearDown() override {
        FullDisk::unlimited();
        DocTest::TearDown();
    }
    static bool saysDiskFull(const QString& text) {
        return text.startsWith(QStringLiteral("На диске не хватает места")) &&
               text.endsWith(QStringLiteral("database or disk is full"));
    }
};

TEST_F(FullDiskTest, AnApplyFailsWholeAndWorksOnceSpaceIsBack) {
    const int income = addDoc(2, m_cash, Money::fromInteger(100));
    const int transfer =
        addTransfer(m_card, Money::fromInteger(50), m_dollars, Money::fromDouble(0.55));
    const QString before = snapshot();
    ModalHelper mh;
    FullDisk::limit(0);
    guarded([&] { ApplyCommonVelDoc(income); });
    guarded([&] { ApplyTransferDoc(transfer); });
    ASSERT_EQ(mh.boxes().size(), 2);
    for (const auto& box : mh.boxes()) {
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_TRUE(saysDiskFull(box.text)) << box.text.toStdString();
    }
    EXPECT_EQ(snapshot(), before);

    FullDisk::unlimited();
    EXPECT_EQ(ApplyCommonVelDoc(income), income);
    EXPECT_EQ(ApplyTransferDoc(transfer), transfer);
    EXPECT_EQ(saldo(m_cash), Money::fromInteger(5100));
    EXPECT_EQ(saldo(m_dollars), Money::fromDouble(300.55));
}

TEST_F(FullDiskTest, AnEditorKeepsWhatWasTypedUntilItCanSave) {
    ModalHelper mh;
    mh.onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* f) {
        f->CurrencyEdit1->setValue(250);
        f->rxcHeadAccount->setValue(QString::number(m_cash));
        FullDisk::limit(0);
        f->BitBtn1->click();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(count(QStringLiteral("Document")), 0);
        EXPECT_DOUBLE_EQ(f->CurrencyEdit1->value(), 250.0);
        FullDisk::unlimited();
        f->BitBtn1->click();
    });
    EXPECT_GT(EditCommonVelDoc(0, 2), 0);
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_TRUE(saysDiskFull(mh.boxes().first().text));
    EXPECT_EQ(count(QStringLiteral("Document")), 1);
}

TEST_F(FullDiskTest, AReferenceBookSaveLeavesNothingHalfWritten) {
    exec(QStringLiteral("insert into TypeContrAgent(Caption) values('Магазины')"));
    const int placeholder = -m_dm->IdSession;
    ModalHelper mh;
    mh.onNext<TValutaEditFM>([&](TValutaEditFM* f) {
        f->Edit1->setText(QStringLiteral("EUR"));
        f->Edit2->setText(QStringLiteral("Евро"));
        FullDisk::limit(0);
        f->BitBtn1->click();
        EXPECT_TRUE(f->isVisible());
        FullDisk::unlimited();
        f->BitBtn1->click();
    });
    EXPECT_GT(EditValuta(0), 0);
    EXPECT_EQ(count(QStringLiteral("Valuta"), QStringLiteral("Caption = 'EUR'")), 1);

    // A new counterparty: the item, its id and its memberships stand or fall together.
    mh.onNext<TContrAgentEditFM>([&](TContrAgentEditFM* f) {
        f->Edit1->setText(QStringLiteral("Рынок"));
        FullDisk::limit(0);
        f->BitBtn1->click();
        EXPECT_TRUE(f->isVisible());
        EXPECT_EQ(count(QStringLiteral("ContrAgent")), 0);
        EXPECT_EQ(count(QStringLiteral("TypeContrAgentItem"),
                        QStringLiteral("IdContrAgent = %1").arg(placeholder)),
                  1);
        FullDisk::unlimited();
        f->BitBtn1->click();
    });
    const int agent = EditContrAgent(0, 1);
    ASSERT_GT(agent, 0);
    EXPECT_EQ(count(QStringLiteral("TypeContrAgentItem"),
                    QStringLiteral("IdContrAgent = %1").arg(agent)),
              1);
    EXPECT_EQ(count(QStringLiteral("TypeContrAgentItem"), QStringLiteral("IdContrAgent < 0")), 0);
    ASSERT_EQ(mh.boxes().size(), 2);
    EXPECT_TRUE(saysDiskFull(mh.boxes().at(0).text));
    EXPECT_TRUE(saysDiskFull(mh.boxes().at(1).text));
}

TEST_F(FullDiskTest, ARecalculationStopsCleanlyAndRunsAgainLater) {
    // Balances that disagree with the (empty) ledger, for the run to mend.
    const QString before = snapshot();
    ModalHelper mh;
    mh.onNext<TSaldoFM>([&](TSaldoFM* f) {
        FullDisk::limit(0);
        f->BitBtn1->click();
        EXPECT_EQ(f->BitBtn1->text(), QStringLiteral("Закрыть"));
        f->BitBtn1->click();
    });
    ShowSaldoFM();
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_TRUE(saysDiskFull(mh.boxes().first().text));
    EXPECT_EQ(snapshot(), before);

    FullDisk::unlimited();
    mh.onNext<TSaldoFM>([&](TSaldoFM* f) {
        f->BitBtn1->click();
        f->BitBtn1->click();
    });
    ShowSaldoFM();
    EXPECT_EQ(saldo(m_cash), Money());
    EXPECT_EQ(saldo(m_card), Money());
    expectBalancesMatchLedger();
}

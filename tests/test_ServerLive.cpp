// Programs on the same books on a PostgreSQL server: each sees what another
// one changes without F5, and two that change one document at once end as
// two programs on one file end.
#include "BooksChanged.h"
#include "Clock.h"
#include "CommonVelDocEdit_FM.h"
#include "DocTestData.h"
#include "Document_FM.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "ReportWindow.h"
#include "VelDoc_Common.h"

#include <QMdiSubWindow>
#include <QProcess>
#include <QTest>
#include <atomic>
#include <thread>

namespace {

const char* kFileHasNoNotices =
    "a file sends no notices: programs sharing it run on one computer and refresh on F5";

class ServerLive : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        if (!onServer()) {
            GTEST_SKIP() << kFileHasNoNotices;
        }
        setCurrentDateForTesting(QDate(2026, 3, 20));
        startSession();
        m_cash = addAccount(QStringLiteral("Наличные"), addValuta(QStringLiteral("RUB")));
    }
    void TearDown() override {
        setCurrentDateForTesting(QDate());
        DocTest::TearDown();
    }
    // The colour the browser shows on the row of a document.
    QVariant shownColour(const TDocumentFM& f, int id) {
        for (int row = 0; row < f.qrDoc.recordCount(); ++row) {
            if (f.qrDoc.value(row, QStringLiteral("IdDocument")).toInt() == id) {
                return f.qrDoc.value(row, QStringLiteral("ColorStatus"));
            }
        }
        return {};
    }
    QVariant colourOfStatus(int status) {
        return scalar(QStringLiteral("select ColorStatus from TypeStatus where "
                                     "CodTypeDocument = 1 and CodStatus = %1")
                          .arg(status));
    }
    int appliedDocument() {
        return scalar(QStringLiteral("select max(IdDocument) from Document "
                                     "where CodTypeStatus = 2"))
            .toInt();
    }
    // Another program applies or rolls back one of the documents, as a person
    // on another computer does, and ends.
    void otherProgramPosts(const char* seed) {
        QProcess worker;
        worker.start(QStringLiteral(DORSANTI_POSTING_WORKER),
                     {m_path, QString::fromLatin1(seed), QStringLiteral("1")});
        ASSERT_TRUE(worker.waitForFinished(30000));
        ASSERT_EQ(worker.exitCode(), 0) << worker.readAllStandardError().toStdString();
    }
};

}  // namespace

TEST_F(ServerLive, AnotherProgramsApplyShowsInTheOpenBrowserAndReportWithinASecond) {
    // Books made before the notices: the first window to watch them adds them.
    m_db->executeScript(QStringLiteral("drop trigger Document_Changed on Document"));
    QVector<int> docs;
    for (int i = 0; i < 12; ++i) {
        docs << addDoc(1, m_cash, Money::fromInteger(100 + i));
    }
    ModalHelper mh;
    TMainFM main;
    main.show();
    main.acDocument->trigger();
    auto* f = qobject_cast<TDocumentFM*>(main.MdiArea->activeSubWindow()->widget());
    f->tvDocs->setCurrentItem(
        f->tvDocs->findItems(QStringLiteral("Расход"), Qt::MatchRecursive)[0]);
    ASSERT_TRUE(f->qrDoc.locate(QStringLiteral("IdDocument"), docs[5]));
    main.acReportCategories->trigger();
    auto* report = qobject_cast<ReportWindow*>(main.MdiArea->activeSubWindow()->widget());
    const int reportRows = report->mdReport->rowCount();
    int heard = 0;
    QObject::connect(&BooksChanged::instance(), &BooksChanged::changed, [&heard] { ++heard; });

    // With an editor open, the list under it stays as it was until it closes.
    mh.onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* e) {
        otherProgramPosts("7");
        QTRY_COMPARE_WITH_TIMEOUT(heard, 1, 1000);
        EXPECT_EQ(shownColour(*f, appliedDocument()), colourOfStatus(1));
        e->reject();
    });
    main.MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(f->parentWidget()));
    f->EditCurrentDocument();
    const int first = appliedDocument();
    EXPECT_EQ(shownColour(*f, first), colourOfStatus(2));
    EXPECT_EQ(f->qrDoc.field(QStringLiteral("IdDocument")).asInteger(), docs[5]);
    QTRY_VERIFY_WITH_TIMEOUT(report->mdReport->rowCount() != reportRows, 1000);

    // With nothing open, the list is read again at once, on the same row.
    int second = 0;
    for (const char* seed : {"1", "2", "3", "4", "5"}) {
        otherProgramPosts(seed);
        if (appliedDocument() != first) {
            second = appliedDocument();
            break;
        }
    }
    ASSERT_NE(second, 0);
    QTRY_COMPARE_WITH_TIMEOUT(shownColour(*f, second), colourOfStatus(2), 1000);
    EXPECT_EQ(f->qrDoc.field(QStringLiteral("IdDocument")).asInteger(), docs[5]);
    EXPECT_EQ(mh.texts(), QStringList());
    expectBalancesMatchLedger();
}

// The second of two programs applying one document waits for the first and
// is refused with the words a file gives: the document is no longer new.
TEST_F(ServerLive, TwoProgramsApplyingOneDocumentPostItOnce) {
    const int doc = addDoc(2, m_cash, Money::fromInteger(700));
    std::atomic<int> stage{0};
    std::string otherError;
    std::thread other([&] {
        try {
            DbConnection b;
            b.open(m_path);
            Transaction t(b);
            b.executeScript(
                QStringLiteral(
                    "update Document set CodTypeStatus = 2, DateApply = Now() where IdDocument = "
                    "%1;"
                    "insert into DataAccount(CodTypeOperation, IdDocument, DateEnter, "
                    "ValueDataAccount, IdHeadAccount, DateDocument) select CodTypeDocument, "
                    "IdDocument, Now(), ValueDocument, IdHeadAccount, DateDocument from Document "
                    "where IdDocument = %1;"
                    "update HeadAccount set Saldo = Saldo + 700 where IdHeadAccount = %2")
                    .arg(doc)
                    .arg(m_cash));
            stage = 1;
            // Commits once the program waits for the document's row.
            DbQuery waiting(b);
            waiting.setSql(QStringLiteral(
                "select count(*) as n from pg_stat_activity where wait_event_type = 'Lock' "
                "and datname = current_database()"));
            for (int i = 0; i < 1000; ++i) {
                waiting.open();
                if (waiting.field(QStringLiteral("n")).asInteger() > 0)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            t.commit();
        } catch (const AppError& e) {
            otherError = e.text().toStdString();
        }
        stage = 2;
    });
    while (stage == 0)
        std::this_thread::yield();
    ModalHelper mh;
    const Money before = saldo(m_cash);
    EXPECT_EQ(run(2, QStringLiteral("APPLY"), doc), 0);
    other.join();
    EXPECT_EQ(otherError, "");
    EXPECT_EQ(mh.texts(), QStringList{kMustBeNew});
    EXPECT_EQ(status(doc), 2);
    EXPECT_EQ(ledgerRows(doc), 1);
    EXPECT_EQ(saldo(m_cash), before + Money::fromInteger(700));  // moved once
    expectBalancesMatchLedger();
}

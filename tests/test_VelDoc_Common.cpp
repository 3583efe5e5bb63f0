#include "Dialogs.h"
#include "DocTestData.h"
#include "ModalHelper.h"
#include "VelDoc.h"
#include "VelDoc_Common.h"

#include <QAbstractButton>

class CommonPosting : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        addAccounts();
    }
    int apply(int type, int id) { return run(type, QStringLiteral("APPLY"), id); }
    int remove(int type, int id) { return run(type, QStringLiteral("DELETE"), id); }
};

TEST_F(CommonPosting, ApplyingAnIncomeWritesOneLedgerRowAndRaisesTheBalance) {
    const int id = addDoc(2, m_card, "100.50"_m);
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    ModalHelper mh;
    EXPECT_EQ(apply(2, id), id);
    EXPECT_TRUE(mh.boxes().isEmpty());
    EXPECT_EQ(status(id), 2);
    const QDateTime applied =
        parseStoredDateTime(scalar(QStringLiteral("select DateApply from Document")).toString());
    EXPECT_GE(applied, before);
    EXPECT_LE(applied, QDateTime::currentDateTime().addSecs(1));
    EXPECT_EQ(dump(QStringLiteral("(select CodTypeOperation, IdDocument, ValueDataAccount, "
                                  "IdHeadAccount, DateDocument from DataAccount)"),
                   QStringLiteral("1")),
              QStringLiteral("2|%1|100.5|%2|2026-03-08 00:00:00|\n").arg(id).arg(m_card));
    EXPECT_EQ(saldo(m_card), "20100.50"_m);
    EXPECT_EQ(saldo(m_cash), "5000"_m);
    EXPECT_FALSE(m_dm->ADOConnection1.inTransaction());
}

TEST_F(CommonPosting, AnExpenseKeepsTheAmountUnsignedInTheLedgerAndLowersTheBalance) {
    const int id = addDoc(1, m_cash, "100.50"_m);
    ModalHelper mh;
    EXPECT_EQ(apply(1, id), id);
    EXPECT_EQ(money(QStringLiteral("select ValueDataAccount from DataAccount")), "100.50"_m);
    EXPECT_EQ(scalar(QStringLiteral("select CodTypeOperation from DataAccount")).toInt(), 1);
    EXPECT_EQ(saldo(m_cash), "4899.50"_m);
}

TEST_F(CommonPosting, RollingBackRestoresTheBalanceAndMakesTheDocumentNew) {
    const int id = addDoc(1, m_cash, "0.0001"_m);
    const int other = addDoc(1, m_cash, "7"_m);
    ModalHelper mh;
    ASSERT_EQ(apply(1, id), id);
    ASSERT_EQ(apply(1, other), other);
    EXPECT_EQ(saldo(m_cash), "4992.9999"_m);
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(remove(1, id), id);
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_EQ(mh.boxes().first().text, kQuestion);
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Question);
    EXPECT_EQ(mh.boxes().first().buttons.size(), 2);
    EXPECT_EQ(status(id), 1);
    EXPECT_TRUE(
        scalar(QStringLiteral("select DateApply from Document where IdDocument = %1").arg(id))
            .isNull());
    EXPECT_EQ(ledgerRows(id), 0);
    EXPECT_EQ(ledgerRows(other), 1);
    EXPECT_EQ(saldo(m_cash), "4993"_m);
    // Applied again after the roll-back, it posts once more.
    EXPECT_EQ(apply(1, id), id);
    EXPECT_EQ(saldo(m_cash), "4992.9999"_m);
    EXPECT_TRUE(mh.unexpected().isEmpty());
}

TEST_F(CommonPosting, AnAppliedDocumentIsNotAppliedAgain) {
    const int id = addDoc(2, m_card, "10"_m);
    ModalHelper mh;
    ASSERT_EQ(apply(2, id), id);
    const QString before = snapshot();
    EXPECT_EQ(apply(2, id), 0);
    EXPECT_EQ(mh.texts(), QStringList{kMustBeNew});
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Information);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(CommonPosting, ApplyingAMissingDocumentSaysBothMessages) {
    ModalHelper mh;
    EXPECT_EQ(apply(2, 999), 0);
    EXPECT_EQ(mh.texts(), (QStringList{kNotFound, kMustBeNew}));
    EXPECT_EQ(count(QStringLiteral("DataAccount")), 0);
}

TEST_F(CommonPosting, ADocumentOfAnUnknownTypeCountsAsMissing) {
    if (onServer()) {
        GTEST_SKIP() << "a server's foreign keys cannot be turned off to plant a row that "
                        "points nowhere";
    }
    exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
    const int id = addDoc(9, m_card, "10"_m);
    const QString before = snapshot();
    ModalHelper mh;
    EXPECT_EQ(apply(2, id), 0);
    EXPECT_EQ(mh.takeTexts(), (QStringList{kNotFound, kMustBeNew}));
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(remove(2, id), 0);
    EXPECT_EQ(mh.takeTexts(), (QStringList{kNotFound, kQuestion}));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(CommonPosting, DeletingANewDocumentRemovesOnlyItsRow) {
    const int id = addDoc(2, m_card, "10"_m);
    const int keep = addDoc(2, m_card, "11"_m);
    ModalHelper mh;
    mh.answer(QMessageBox::No);
    EXPECT_EQ(remove(2, id), 0);
    EXPECT_EQ(count(QStringLiteral("Document")), 2);
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(remove(2, id), 1);
    EXPECT_EQ(mh.texts(), (QStringList{kQuestion, kQuestion}));
    EXPECT_EQ(count(QStringLiteral("Document")), 1);
    EXPECT_EQ(status(keep), 1);
    EXPECT_EQ(saldo(m_card), "20000"_m);
    EXPECT_EQ(count(QStringLiteral("DataAccount")), 0);
}

TEST_F(CommonPosting, NoAnswerToTheQuestionKeepsAnAppliedDocument) {
    const int id = addDoc(1, m_card, "10"_m);
    ModalHelper mh;
    ASSERT_EQ(apply(1, id), id);
    const QString before = snapshot();
    mh.answer(QMessageBox::No);
    EXPECT_EQ(remove(1, id), 0);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(CommonPosting, ABadIdOrAMissingDocumentStillAsksAndThenDoesNothing) {
    const int id = addDoc(2, m_card, "10"_m);
    const QString before = snapshot();
    ModalHelper mh;
    for (int bad : {0, -5}) {
        mh.answer(QMessageBox::Yes);
        EXPECT_EQ(remove(2, bad), 0);
        EXPECT_EQ(mh.takeTexts(), (QStringList{QStringLiteral("System Error!!!"), kQuestion}));
    }
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(remove(1, id + 1), 0);
    EXPECT_EQ(mh.takeTexts(), (QStringList{kNotFound, kQuestion}));
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(mh.unexpected().isEmpty());
}

TEST_F(CommonPosting, AStatusOtherThanNewOrAppliedIsNotSupported) {
    ModalHelper mh;
    EXPECT_EQ(DeleteCommonVelDocConfirmed(1, 3), 0);
    EXPECT_EQ(mh.texts(), QStringList{QStringLiteral("Статус не поддерживается!")});
}

TEST_F(CommonPosting, AnOperationWithoutASignPostsTheRowButMovesNoBalance) {
    exec(QStringLiteral("delete from GroupOperationItem where CodTypeOperation = 2"));
    const int id = addDoc(2, m_card, "250"_m);
    ModalHelper mh;
    EXPECT_EQ(apply(2, id), id);
    EXPECT_EQ(ledgerRows(id), 1);
    EXPECT_EQ(saldo(m_card), "20000"_m);
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(remove(2, id), id);
    EXPECT_EQ(ledgerRows(id), 0);
    EXPECT_EQ(saldo(m_card), "20000"_m);
}

TEST_F(CommonPosting, TheSignComesFromTheTypesOperation) {
    // Income counted through operation 1 (sign -1) while its ledger row keeps
    // the type code.
    exec(QStringLiteral("update TypeDocument set CodTypeOperation = 1 where CodTypeDocument = 2"));
    const int id = addDoc(2, m_card, "30"_m);
    ModalHelper mh;
    EXPECT_EQ(apply(2, id), id);
    EXPECT_EQ(scalar(QStringLiteral("select CodTypeOperation from DataAccount")).toInt(), 2);
    EXPECT_EQ(saldo(m_card), "19970"_m);
}

TEST_F(CommonPosting, AStatusUpdateThatChangesNoRowStopsBeforeTheLedger) {
    // The engine skips the update of this row, as if another program had
    // changed its status just before.
    exec(
        QStringLiteral("create trigger skip before update of CodTypeStatus on Document "
                       "begin select raise(ignore); end"));
    const int id = addDoc(2, m_card, "10"_m);
    const QString before = snapshot();
    ModalHelper mh;
    EXPECT_EQ(apply(2, id), 0);
    EXPECT_EQ(mh.takeTexts(), QStringList{kNotChanged});
    EXPECT_EQ(snapshot(), before);

    exec(QStringLiteral("drop trigger skip"));
    ASSERT_EQ(apply(2, id), id);
    exec(
        QStringLiteral("create trigger skip before update of CodTypeStatus on Document "
                       "begin select raise(ignore); end"));
    const QString applied = snapshot();
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(remove(2, id), 0);
    EXPECT_EQ(mh.takeTexts(), (QStringList{kQuestion, kNotChanged}));
    EXPECT_EQ(snapshot(), applied);
}

TEST_F(CommonPosting, MessagesShowAfterTheTransactionHasEnded) {
    const int id = addDoc(2, m_card, "10"_m);
    ModalHelper mh;
    ASSERT_EQ(apply(2, id), id);
    bool held = true;
    mh.onNext<QMessageBox>([&](QMessageBox* box) {
        held = m_dm->ADOConnection1.inTransaction();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(apply(2, id), 0);
    EXPECT_EQ(mh.texts(), QStringList{kMustBeNew});
    EXPECT_FALSE(held);
}

// While the question is open the file is free, and what another program does
// in that time is read again before anything is written.
TEST_F(CommonPosting, ARollBackThatAnotherProgramDidMeanwhileIsNotDoneTwice) {
    const int id = addDoc(2, m_card, "10"_m);
    ModalHelper mh;
    ASSERT_EQ(apply(2, id), id);
    mh.onNext<QMessageBox>([&](QMessageBox* box) {
        EXPECT_FALSE(m_dm->ADOConnection1.inTransaction());
        exec(QStringLiteral("begin immediate;"
                            "update Document set CodTypeStatus = 1, DateApply = null;"
                            "delete from DataAccount;"
                            "update HeadAccount set Saldo = Saldo - 10 where IdHeadAccount = %1;"
                            "commit")
                 .arg(m_card));
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(remove(2, id), 0);
    EXPECT_EQ(mh.texts(), (QStringList{kQuestion, kNotChanged}));
    EXPECT_EQ(saldo(m_card), "20000"_m);
    EXPECT_EQ(status(id), 1);
}

TEST_F(CommonPosting, ANewDocumentAppliedMeanwhileIsNotDeleted) {
    const int id = addDoc(1, m_card, "10"_m);
    ModalHelper mh;
    mh.onNext<QMessageBox>([&](QMessageBox* box) {
        exec(QStringLiteral("begin immediate;"
                            "update Document set CodTypeStatus = 2, DateApply = Now();"
                            "insert into DataAccount select 1, IdDocument, Now(), 10, "
                            "IdHeadAccount, DateDocument from Document;"
                            "update HeadAccount set Saldo = Saldo - 10 where IdHeadAccount = %1;"
                            "commit")
                 .arg(m_card));
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(remove(1, id), 0);
    EXPECT_EQ(mh.texts(), (QStringList{kQuestion, kNotChanged}));
    EXPECT_EQ(status(id), 2);
    EXPECT_EQ(ledgerRows(id), 1);
    EXPECT_EQ(saldo(m_card), "19990"_m);
}

TEST_F(CommonPosting, ARollBackTakesTheAmountAsItIsWhenTheTransactionStarts) {
    const int id = addDoc(2, m_card, "10"_m);
    ModalHelper mh;
    ASSERT_EQ(apply(2, id), id);
    mh.onNext<QMessageBox>([&](QMessageBox* box) {
        // Another program rolls it back, changes the amount and applies it.
        exec(QStringLiteral("begin immediate;"
                            "delete from DataAccount;"
                            "update Document set ValueDocument = 25;"
                            "insert into DataAccount select 2, IdDocument, Now(), 25, "
                            "IdHeadAccount, DateDocument from Document;"
                            "update HeadAccount set Saldo = Saldo + 15 where IdHeadAccount = %1;"
                            "commit")
                 .arg(m_card));
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(remove(2, id), id);
    EXPECT_EQ(saldo(m_card), "20000"_m);
    EXPECT_EQ(ledgerRows(id), 0);
}

TEST_F(CommonPosting, ABusyFileIsReportedAndChangesNothing) {
    DbConnection::setBusyTimeoutMs(50);
    m_dm->ADOConnection1.close();
    m_dm->ADOConnection1.open(m_path);
    const int id = addDoc(2, m_card, "10"_m);
    const QString before = snapshot();
    exec(QStringLiteral("begin immediate"));
    ModalHelper mh;
    EXPECT_EQ(apply(2, id), -100);  // the handler ended with the error
    exec(QStringLiteral("rollback"));
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Critical);
    EXPECT_TRUE(mh.boxes().first().text.startsWith(
        QStringLiteral("База данных занята другой программой.")));
    EXPECT_EQ(snapshot(), before);
}

#include "Dialogs.h"
#include "DocTestData.h"
#include "ModalHelper.h"
#include "VelDoc.h"
#include "VelDocUtils.h"
#include "VelDoc_Type3.h"

#include <QAbstractButton>

class DocUtils : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        addAccounts();
    }
    void addLedger(int op, int doc, Money value, int account) {
        exec(QStringLiteral("insert into DataAccount values(%1, %2, Now(), %3, %4, "
                            "'2026-03-08 00:00:00')")
                 .arg(op)
                 .arg(doc)
                 .arg(value.toString())
                 .arg(account));
    }
};

TEST_F(DocUtils, GetDocStatusReadsTheStatusOrSaysTheDocumentIsMissing) {
    const int id = addDoc(1, m_cash, "1"_m, 2);
    ModalHelper mh;
    EXPECT_EQ(GetDocStatus(id), 2);
    EXPECT_TRUE(mh.boxes().isEmpty());
    EXPECT_EQ(GetDocStatus(id + 1), -1);
    EXPECT_EQ(mh.texts(), QStringList{kNotFound});
    EXPECT_EQ(ReadDocStatus(id + 1), -1);
    EXPECT_EQ(mh.texts().size(), 1);
}

TEST_F(DocUtils, ChangeDocStatusMovesOnlyFromTheExpectedStatus) {
    const int id = addDoc(1, m_cash, "1"_m);
    ModalHelper mh;
    EXPECT_EQ(ChangeDocStatus(id, false), 0);
    EXPECT_EQ(mh.takeTexts(), QStringList{kNotChanged});
    EXPECT_EQ(ChangeDocStatus(id, true), 1);
    EXPECT_EQ(status(id), 2);
    EXPECT_FALSE(scalar(QStringLiteral("select DateApply from Document")).toString().isEmpty());
    EXPECT_EQ(ChangeDocStatus(id, true), 0);
    EXPECT_EQ(mh.takeTexts(), QStringList{kNotChanged});
    EXPECT_EQ(ChangeDocStatus(id, false), 1);
    EXPECT_EQ(status(id), 1);
    EXPECT_TRUE(scalar(QStringLiteral("select DateApply from Document")).isNull());
    EXPECT_TRUE(mh.takeTexts().isEmpty());
}

TEST_F(DocUtils, PostDocLedgerToSaldoMovesEachAccountByItsNetSignedSum) {
    const int id = addTransfer(m_card, "1000"_m, m_card, "990"_m, 2);
    const int none = addDoc(1, m_cash, "5"_m, 2);
    addLedger(3, id, "1000"_m, m_card);
    addLedger(4, id, "990"_m, m_card);
    addLedger(4, id, "0.0001"_m, m_dollars);
    EXPECT_EQ(PostDocLedgerToSaldo(id, 1), 1);
    EXPECT_EQ(saldo(m_card), "19990"_m);
    EXPECT_EQ(saldo(m_dollars), "300.0001"_m);
    EXPECT_EQ(PostDocLedgerToSaldo(id, -1), 1);
    EXPECT_EQ(saldo(m_card), "20000"_m);
    EXPECT_EQ(saldo(m_dollars), "300"_m);
    // Without ledger rows nothing moves.
    const QString before = snapshot();
    EXPECT_EQ(PostDocLedgerToSaldo(none, 1), 1);
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(m_dm->dstTmp.isOpen());
}

TEST_F(DocUtils, PostDocLedgerToSaldoClosesItsSumsWhenAnUpdateFails) {
    const int id = addDoc(1, m_cash, "5"_m, 2);
    addLedger(1, id, "5"_m, m_cash);
    exec(
        QStringLiteral("create trigger frozen before update of Saldo on HeadAccount "
                       "begin select raise(abort, 'balance is frozen'); end"));
    try {
        PostDocLedgerToSaldo(id, 1);
        ADD_FAILURE() << "no error";
    } catch (const AppError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("balance is frozen"));
    }
    EXPECT_FALSE(m_dm->dstTmp.isOpen());
}

TEST_F(DocUtils, RemoveDocLedgerTakesTheRowsOutOfTheBalancesAndDeletesThem) {
    const int id = addTransfer(m_card, "100"_m, m_dollars, "1.1"_m, 2);
    addLedger(3, id, "100"_m, m_card);
    addLedger(4, id, "1.1"_m, m_dollars);
    EXPECT_EQ(RemoveDocLedger(id), 2);
    EXPECT_EQ(saldo(m_card), "20100"_m);
    EXPECT_EQ(saldo(m_dollars), "298.9"_m);
    EXPECT_EQ(ledgerRows(id), 0);
    EXPECT_EQ(RemoveDocLedger(id), 0);
    EXPECT_EQ(DeleteDocRow(id), 1);
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
}

class TransferPosting : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        addAccounts();
    }
    int run(const QString& code, int id) { return DocTest::run(3, code, id); }
    int apply(int id) { return run(QStringLiteral("APPLY"), id); }
    int remove(int id) { return run(QStringLiteral("DELETE"), id); }
    QString ledger() {
        return dump(QStringLiteral("(select CodTypeOperation, IdDocument, ValueDataAccount, "
                                   "IdHeadAccount, DateDocument from DataAccount)"),
                    QStringLiteral("1"));
    }
};

TEST_F(TransferPosting, ApplyingWritesBothLegsAndMovesBothBalances) {
    const int id = addTransfer(m_card, "1000"_m, m_dollars, "14.25"_m, 1, 70.1754, 1);
    ModalHelper mh;
    EXPECT_EQ(apply(id), id);
    EXPECT_TRUE(mh.boxes().isEmpty());
    EXPECT_EQ(ledger(), QStringLiteral("3|%1|1000|%2|2026-03-08 00:00:00|\n"
                                       "4|%1|14.25|%3|2026-03-08 00:00:00|\n")
                            .arg(id)
                            .arg(m_card)
                            .arg(m_dollars));
    EXPECT_EQ(saldo(m_card), "19000"_m);
    EXPECT_EQ(saldo(m_dollars), "314.25"_m);
    EXPECT_EQ(saldo(m_cash), "5000"_m);
    EXPECT_EQ(status(id), 2);
    EXPECT_FALSE(m_dm->ADOConnection1.inTransaction());
}

TEST_F(TransferPosting, RollingBackMovesBothBalancesBack) {
    const int id = addTransfer(m_card, "1000"_m, m_dollars, "14.25"_m);
    ModalHelper mh;
    ASSERT_EQ(apply(id), id);
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(remove(id), id);
    EXPECT_EQ(mh.texts(), QStringList{kQuestion});
    EXPECT_EQ(saldo(m_card), "20000"_m);
    EXPECT_EQ(saldo(m_dollars), "300"_m);
    EXPECT_EQ(ledgerRows(id), 0);
    EXPECT_EQ(status(id), 1);
    EXPECT_TRUE(scalar(QStringLiteral("select DateApply from Document")).isNull());
}

TEST_F(TransferPosting, ATransferWithinOneAccountMovesItByTheNet) {
    const int id = addTransfer(m_cash, "100"_m, m_cash, "90.5"_m);
    ModalHelper mh;
    EXPECT_EQ(apply(id), id);
    EXPECT_EQ(ledgerRows(id), 2);
    EXPECT_EQ(saldo(m_cash), "4990.5"_m);
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(remove(id), id);
    EXPECT_EQ(saldo(m_cash), "5000"_m);
}

TEST_F(TransferPosting, AMissingTransferIsReportedOnce) {
    ModalHelper mh;
    EXPECT_EQ(apply(77), 0);
    EXPECT_EQ(mh.takeTexts(), QStringList{kNotFound});
    EXPECT_EQ(remove(77), 0);  // asks nothing
    EXPECT_EQ(mh.takeTexts(), QStringList{kNotFound});
    EXPECT_TRUE(mh.unexpected().isEmpty());
}

TEST_F(TransferPosting, AnAppliedTransferIsNotAppliedAgain) {
    const int id = addTransfer(m_card, "10"_m, m_cash, "10"_m);
    ModalHelper mh;
    ASSERT_EQ(apply(id), id);
    const QString before = snapshot();
    EXPECT_EQ(apply(id), 0);
    EXPECT_EQ(mh.texts(), QStringList{kMustBeNew});
    EXPECT_EQ(snapshot(), before);
}

TEST_F(TransferPosting, DeletingANewTransferRemovesOnlyItsRow) {
    const int id = addTransfer(m_card, "10"_m, m_cash, "10"_m);
    const QString before = snapshot();
    ModalHelper mh;
    mh.answer(QMessageBox::No);
    EXPECT_EQ(remove(id), 0);
    EXPECT_EQ(snapshot(), before);
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(remove(id), 1);
    EXPECT_EQ(count(QStringLiteral("Document")), 0);
    EXPECT_EQ(saldo(m_card), "20000"_m);
    EXPECT_EQ(saldo(m_cash), "5000"_m);
}

TEST_F(TransferPosting, AnAppliedTransferWithoutLedgerRowsBecomesNewAndGivesZero) {
    const int id = addTransfer(m_card, "10"_m, m_cash, "10"_m, 2);
    ModalHelper mh;
    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(remove(id), 0);
    EXPECT_EQ(status(id), 1);
    EXPECT_EQ(saldo(m_card), "20000"_m);
    EXPECT_EQ(saldo(m_cash), "5000"_m);
    EXPECT_EQ(mh.texts(), QStringList{kQuestion});
}

TEST_F(TransferPosting, AStatusOtherThanNewOrAppliedIsNotSupported) {
    ModalHelper mh;
    EXPECT_EQ(DeleteTransferDocConfirmed(1, 0), 0);
    EXPECT_EQ(mh.texts(), QStringList{QStringLiteral("Статус не поддерживается!")});
}

TEST_F(TransferPosting, AStatusUpdateThatChangesNoRowStopsBeforeTheLedger) {
    const int id = addTransfer(m_card, "10"_m, m_cash, "10"_m);
    exec(
        QStringLiteral("create trigger skip before update of CodTypeStatus on Document "
                       "begin select raise(ignore); end"));
    const QString before = snapshot();
    ModalHelper mh;
    EXPECT_EQ(apply(id), 0);
    EXPECT_EQ(mh.texts(), QStringList{kNotChanged});
    EXPECT_EQ(snapshot(), before);
}

TEST_F(TransferPosting, ChangesMadeByAnotherProgramDuringTheQuestionAreReadAgain) {
    const int applied = addTransfer(m_card, "10"_m, m_cash, "10"_m);
    const int fresh = addTransfer(m_card, "20"_m, m_cash, "20"_m);
    ModalHelper mh;
    ASSERT_EQ(apply(applied), applied);
    // The applied one is rolled back elsewhere while the question is open.
    mh.onNext<QMessageBox>([&](QMessageBox* box) {
        exec(QStringLiteral("begin immediate;"
                            "update Document set CodTypeStatus = 1, DateApply = null "
                            "where IdDocument = %1;"
                            "delete from DataAccount;"
                            "update HeadAccount set Saldo = 20000 where IdHeadAccount = %2;"
                            "update HeadAccount set Saldo = 5000 where IdHeadAccount = %3;"
                            "commit")
                 .arg(applied)
                 .arg(m_card)
                 .arg(m_cash));
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(remove(applied), 0);
    EXPECT_EQ(mh.takeTexts(), (QStringList{kQuestion, kNotChanged}));
    EXPECT_EQ(saldo(m_card), "20000"_m);
    // The new one is deleted elsewhere while the question is open.
    mh.onNext<QMessageBox>([&](QMessageBox* box) {
        exec(QStringLiteral("delete from Document where IdDocument = %1").arg(fresh));
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(remove(fresh), 0);
    EXPECT_EQ(mh.takeTexts(), (QStringList{kQuestion, kNotChanged}));
}

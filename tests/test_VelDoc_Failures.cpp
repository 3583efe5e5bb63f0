// A statement that fails in the middle of an apply or a roll-back leaves the
// document, the ledger and the balances exactly as they were, and the user
// reads the engine's own text.
#include "Dialogs.h"
#include "DocTestData.h"
#include "ModalHelper.h"
#include "VelDoc.h"

namespace {

enum class Step { Apply, RollBack };
enum class Fault { Ledger, Balance };

struct Case {
    int type;
    Step step;
    Fault fault;
};

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    const Case& c = info.param;
    return std::string(c.type == 1   ? "Expense"
                       : c.type == 2 ? "Income"
                                     : "Transfer") +
           (c.step == Step::Apply ? "Apply" : "RollBack") +
           (c.fault == Fault::Ledger ? "LedgerFails" : "BalanceFails");
}

}  // namespace

class PostingFailure : public DocTest, public ::testing::WithParamInterface<Case> {};

TEST_P(PostingFailure, LeavesEverythingAsItWasAndShowsTheEnginesText) {
    const Case c = GetParam();
    addAccounts();
    const int other = addDoc(2, m_cash, "3"_m);
    const int id = c.type == 3 ? addTransfer(m_card, "1000"_m, m_dollars, "14.25"_m)
                               : addDoc(c.type, m_card, "100.5"_m);
    ModalHelper mh;
    ASSERT_EQ(run(2, QStringLiteral("APPLY"), other), other);
    if (c.step == Step::RollBack) {
        ASSERT_EQ(run(c.type, QStringLiteral("APPLY"), id), id);
    }

    const QString text = c.fault == Fault::Ledger ? QStringLiteral("the ledger is closed")
                                                  : QStringLiteral("balances are frozen");
    if (c.fault == Fault::Ledger) {
        exec(QStringLiteral("create trigger fault before %1 on DataAccount "
                            "begin select raise(abort, '%2'); end")
                 .arg(c.step == Step::Apply ? QStringLiteral("insert") : QStringLiteral("delete"),
                      text));
    } else {
        exec(QStringLiteral("create trigger fault before update of Saldo on HeadAccount "
                            "begin select raise(abort, '%1'); end")
                 .arg(text));
    }
    const QString before = snapshot();
    mh.takeTexts();
    if (c.step == Step::Apply) {
        EXPECT_EQ(run(c.type, QStringLiteral("APPLY"), id), -100);
    } else {
        mh.answer(QMessageBox::Yes);
        EXPECT_EQ(run(c.type, QStringLiteral("DELETE"), id), -100);
    }
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(m_dm->ADOConnection1.inTransaction());
    const QList<ModalHelper::Box> boxes = mh.boxes();
    ASSERT_FALSE(boxes.isEmpty());
    EXPECT_EQ(boxes.last().icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.last().text, text);
    EXPECT_EQ(mh.takeTexts().size(), c.step == Step::Apply ? 1 : 2);

    // Once the fault is gone the same step goes through.
    exec(QStringLiteral("drop trigger fault"));
    if (c.step == Step::Apply) {
        EXPECT_EQ(run(c.type, QStringLiteral("APPLY"), id), id);
        EXPECT_EQ(ledgerRows(id), c.type == 3 ? 2 : 1);
    } else {
        mh.answer(QMessageBox::Yes);
        EXPECT_EQ(run(c.type, QStringLiteral("DELETE"), id), id);
        EXPECT_EQ(ledgerRows(id), 0);
        EXPECT_EQ(saldo(m_card), "20000"_m);
        EXPECT_EQ(saldo(m_dollars), "300"_m);
    }
    EXPECT_EQ(saldo(m_cash), "5003"_m);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, PostingFailure,
    ::testing::Values(Case{1, Step::Apply, Fault::Ledger}, Case{1, Step::Apply, Fault::Balance},
                      Case{1, Step::RollBack, Fault::Ledger},
                      Case{1, Step::RollBack, Fault::Balance}, Case{2, Step::Apply, Fault::Ledger},
                      Case{2, Step::Apply, Fault::Balance}, Case{2, Step::RollBack, Fault::Ledger},
                      Case{2, Step::RollBack, Fault::Balance}, Case{3, Step::Apply, Fault::Ledger},
                      Case{3, Step::Apply, Fault::Balance}, Case{3, Step::RollBack, Fault::Ledger},
                      Case{3, Step::RollBack, Fault::Balance}),
    caseName);

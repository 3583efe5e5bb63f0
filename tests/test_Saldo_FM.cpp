// The balance recalculation window, driven as a person drives it.
#include "Keyboard.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "Saldo_FM.h"
#include "TestDb.h"

#include <QApplication>
#include <QHash>
#include <QProcess>
#include <QTimer>

namespace {

struct Posting {
    int op;  // operation code of the ledger row
    int account;
    Money value;
};

}  // namespace

class Saldo : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль')"));
    }

    int addAccount(const QString& caption, Money saldo = {}) {
        DbQuery q(*m_db, QStringLiteral("account"));
        q.setSql(
            QStringLiteral("insert into HeadAccount(Caption, IdValuta, Saldo) "
                           "values(:Caption, 1, :Saldo)"));
        q.bindString(QStringLiteral("Caption"), caption);
        q.bindMoney(QStringLiteral("Saldo"), saldo);
        q.execute();
        const int id = int(m_db->lastInsertRowId());
        m_posted[id] = saldo;
        return id;
    }

    // An applied document as posting leaves it: status 2, one ledger row per
    // leg, and each account's balance moved by the leg's signed amount.
    void applyDocument(int type, const QList<Posting>& legs) {
        DbQuery doc(*m_db, QStringLiteral("doc"));
        doc.addSql(QStringLiteral("insert into Document(DateEnter, DateDocument, ValueDocument,"));
        doc.addSql(QStringLiteral("  CodTypeDocument, IdHeadAccount, CodTypeStatus)"));
        doc.addSql(
            QStringLiteral("values(Now(), '2024-03-01 00:00:00', :Value, :Type, :Account, 2)"));
        doc.bindMoney(QStringLiteral("Value"), legs.first().value);
        doc.bindInteger(QStringLiteral("Type"), type);
        doc.bindInteger(QStringLiteral("Account"), legs.first().account);
        doc.execute();
        const qint64 idDocument = m_db->lastInsertRowId();

        DbQuery ledger(*m_db, QStringLiteral("ledger"));
        ledger.addSql(QStringLiteral("insert into DataAccount(CodTypeOperation, IdDocument,"));
        ledger.addSql(
            QStringLiteral("  DateEnter, ValueDataAccount, IdHeadAccount, DateDocument)"));
        ledger.addSql(QStringLiteral("values(:Op, :IdDocument, Now(), :Value, :Account,"));
        ledger.addSql(QStringLiteral("  '2024-03-01 00:00:00')"));
        DbQuery saldo(*m_db, QStringLiteral("saldo"));
        saldo.setSql(
            QStringLiteral("update HeadAccount set Saldo = :Saldo where IdHeadAccount = :Id"));
        for (const Posting& leg : legs) {
            ledger.bindInteger(QStringLiteral("Op"), leg.op);
            ledger.bindInteger(QStringLiteral("IdDocument"), idDocument);
            ledger.bindMoney(QStringLiteral("Value"), leg.value);
            ledger.bindInteger(QStringLiteral("Account"), leg.account);
            ledger.execute();
            const int sign = (leg.op == 1 || leg.op == 3) ? -1 : (leg.op <= 4 ? 1 : 0);
            m_posted[leg.account] += leg.value * sign;
            saldo.bindMoney(QStringLiteral("Saldo"), m_posted[leg.account]);
            saldo.bindInteger(QStringLiteral("Id"), leg.account);
            saldo.execute();
        }
    }

    Money saldoOf(int account) {
        return money(
            QStringLiteral("select Saldo from HeadAccount where IdHeadAccount = %1").arg(account));
    }
    void spoilBalances() { exec(QStringLiteral("update HeadAccount set Saldo = 777.77")); }

    // What the window showed after its run.
    struct Run {
        int result = -1;
        QString title, textBefore, textAfter;
        bool enabledAfter = false;
        bool cursorRestored = false;
        int maximum = -1;
        int value = -2;
    };
    // Opens the window, presses "Старт", looks at it, then presses "Закрыть".
    Run startAndClose(ModalHelper& mh) {
        Run run;
        mh.onNext<TSaldoFM>([&run](TSaldoFM* f) {
            run.title = f->windowTitle();
            run.textBefore = f->BitBtn1->text();
            f->BitBtn1->click();
            run.textAfter = f->BitBtn1->text();
            run.enabledAfter = f->BitBtn1->isEnabled();
            run.cursorRestored = QApplication::overrideCursor() == nullptr;
            run.maximum = f->ProgressBar1->maximum();
            run.value = f->ProgressBar1->value();
            f->BitBtn1->click();
            if (f->isVisible()) {
                f->done(mrNone);  // the button did not close it: fail, don't hang
            }
        });
        run.result = ShowSaldoFM();
        return run;
    }

    QHash<int, Money> m_posted;
};

TEST_F(Saldo, OpensReadyToStart) {
    const int account = addAccount(QStringLiteral("Наличные"), Money::fromInteger(5));
    ModalHelper mh;
    mh.onNext<TSaldoFM>([](TSaldoFM* f) {
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Пересчет остатков"));
        EXPECT_EQ(f->BitBtn1->text(), QStringLiteral("Старт"));
        EXPECT_EQ(f->size(), QSize(417, 99));
        EXPECT_LT(f->ProgressBar1->value(), f->ProgressBar1->minimum());  // empty
        f->reject();                                                      // the close box
    });
    // Closing before the run gives cancel and writes nothing.
    EXPECT_EQ(ShowSaldoFM(), mrCancel);
    EXPECT_EQ(saldoOf(account), Money::fromInteger(5));
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join("; ").toStdString();
}

// Space starts the run; the focus comes back to the button, now "Закрыть",
// and Enter closes the window.
TEST_F(Saldo, WorksFromTheKeyboard) {
    const int account = addAccount(QStringLiteral("Наличные"), Money::fromInteger(5));
    applyDocument(2, {{2, account, Money::fromInteger(40)}});
    spoilBalances();
    ModalHelper mh;
    mh.onNext<TSaldoFM>([](TSaldoFM* f) {
        activate(f);
        EXPECT_EQ(focused(), f->BitBtn1);
        press(Qt::Key_Space);
        EXPECT_EQ(f->BitBtn1->text(), QStringLiteral("Закрыть"));
        EXPECT_EQ(focused(), f->BitBtn1);
        press(Qt::Key_Return);
    });
    EXPECT_EQ(ShowSaldoFM(), mrOk);
    EXPECT_EQ(saldoOf(account), Money::fromInteger(40));  // the ledger alone
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join("; ").toStdString();
}

TEST_F(Saldo, NoAccountsStillFinishes) {
    exec(QStringLiteral("create table Written(n integer)"));
    exec(
        QStringLiteral("create trigger t after update on HeadAccount "
                       "begin insert into Written values(1); end"));
    ModalHelper mh;
    const Run run = startAndClose(mh);
    EXPECT_EQ(run.textBefore, QStringLiteral("Старт"));
    EXPECT_EQ(run.textAfter, QStringLiteral("Закрыть"));
    EXPECT_TRUE(run.enabledAfter);
    EXPECT_TRUE(run.cursorRestored);
    EXPECT_EQ(run.maximum, 100);  // the progress bar was not set
    EXPECT_EQ(run.result, mrOk);
    EXPECT_EQ(count(QStringLiteral("Written")), 0);
    EXPECT_TRUE(mh.boxes().isEmpty());
}

TEST_F(Saldo, RebuildsEachBalanceFromItsSignedLedger) {
    const int empty = addAccount(QStringLiteral("Пустой"), Money::fromText("123.45").value());
    const int cash = addAccount(QStringLiteral("Наличные"));
    const int card = addAccount(QStringLiteral("Карта"));
    const auto m = [](const char* text) {
        return Money::fromText(QString::fromLatin1(text)).value();
    };
    applyDocument(2, {{2, cash, m("1000.0001")}});
    applyDocument(1, {{1, cash, m("0.0003")}});
    applyDocument(1, {{1, cash, m("250.1234")}});
    applyDocument(3, {{3, cash, m("300.5")}, {4, card, m("3.3333")}});
    applyDocument(2, {{2, card, m("99999999.9999")}});
    // An operation that has no sign in group 1 counts towards no balance, and
    // the signs of another group do not count either.
    applyDocument(2, {{7, card, m("55")}});
    exec(QStringLiteral("insert into GroupOperationItem values(2, 7, 1), (2, 2, -1)"));

    const Money cashExpected = m("449.3764");
    const Money cardExpected = m("100000003.3332");
    ASSERT_EQ(m_posted[cash], cashExpected);
    ASSERT_EQ(m_posted[card], cardExpected);
    spoilBalances();

    ModalHelper mh;
    const Run run = startAndClose(mh);
    EXPECT_EQ(run.result, mrOk);
    EXPECT_EQ(run.maximum, 3);
    EXPECT_EQ(run.value, 3);
    EXPECT_TRUE(mh.boxes().isEmpty()) << mh.texts().join("; ").toStdString();
    EXPECT_EQ(saldoOf(empty).units(), 0);
    EXPECT_EQ(saldoOf(cash).units(), cashExpected.units());
    EXPECT_EQ(saldoOf(card).units(), cardExpected.units());
}

TEST_F(Saldo, ManyRowsSumExactlyToTheLastDecimal) {
    // Thousands of large amounts with four decimals: added as floating-point
    // numbers they would drift in the last decimals.
    const int account = addAccount(QStringLiteral("Вклад"));
    const int other = addAccount(QStringLiteral("Карта"));
    exec(QStringLiteral(
        "insert into Document(DateEnter, DateDocument, ValueDocument, CodTypeDocument,"
        " IdHeadAccount, CodTypeStatus) values(Now(), '2024-03-01 00:00:00', 1, 2, 1, 2)"));
    exec(QStringLiteral(
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 6000) "
        "insert into DataAccount(CodTypeOperation, IdDocument, DateEnter, ValueDataAccount,"
        " IdHeadAccount, DateDocument) "
        "select case when i % 3 = 0 then 1 else 2 end, 1, Now(),"
        " case when i % 3 = 0 then 0.0007 else 987654321.1237 end, 1, '2024-03-01 00:00:00'"
        " from n"));
    const Money expected = Money::fromText(QStringLiteral("987654321.1237")).value() * 4000 -
                           Money::fromText(QStringLiteral("0.0007")).value() * 2000;
    spoilBalances();

    ModalHelper mh;
    EXPECT_EQ(startAndClose(mh).result, mrOk);
    EXPECT_EQ(saldoOf(account).units(), expected.units());
    EXPECT_EQ(saldoOf(other).units(), 0);
    expectBalancesMatchLedger();
}

TEST_F(Saldo, DemoBalancesAreRebuiltAsPosted) {
    const QString path = m_dir->filePath(QStringLiteral("demo.db"));
    QProcess tool;
    tool.start(
        QStringLiteral(DORSANTI_DB_TOOL),
        {QStringLiteral("create"), path, QStringLiteral("--documents"), QStringLiteral("1500")});
    ASSERT_TRUE(tool.waitForFinished(120000));
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    m_dm->ADOConnection1.open(path);
    reopenTestConnection(path);

    DbQuery q(*m_db, QStringLiteral("posted"));
    q.setSql(QStringLiteral("select IdHeadAccount, Saldo from HeadAccount"));
    q.open();
    QHash<int, Money> posted;
    for (q.first(); !q.eof(); q.next()) {
        posted[q.field(QStringLiteral("IdHeadAccount")).asInteger()] =
            q.field(QStringLiteral("Saldo")).asMoney();
    }
    ASSERT_GE(posted.size(), 4);
    int moved = 0;
    for (auto it = posted.cbegin(); it != posted.cend(); ++it) {
        moved += it.value().isZero() ? 0 : 1;
    }
    ASSERT_GE(moved, 4);
    spoilBalances();

    ModalHelper mh;
    EXPECT_EQ(startAndClose(mh).result, mrOk);
    for (auto it = posted.cbegin(); it != posted.cend(); ++it) {
        EXPECT_EQ(saldoOf(it.key()).units(), it.value().units()) << "account " << it.key();
    }
}

TEST_F(Saldo, ShowsProgressAndKeepsTheWindowWhileRunning) {
    for (int i = 0; i < 6; ++i) {
        const int account = addAccount(QStringLiteral("Счет %1").arg(i));
        applyDocument(2, {{2, account, Money::fromInteger(i + 1)}});
    }
    struct Sample {
        int value;
        bool buttonEnabled;
        bool busy;
    };
    QList<Sample> samples;
    ModalHelper mh;
    Run run;
    mh.onNext<TSaldoFM>([&](TSaldoFM* f) {
        // Looks at the window whenever the run lets events through, and tries
        // to close it there as a person would with the close box.
        QTimer spy;
        spy.setInterval(0);
        QObject::connect(&spy, &QTimer::timeout, [&] {
            if (!f->isRunning()) {
                return;
            }
            const QCursor* cursor = QApplication::overrideCursor();
            samples << Sample{f->ProgressBar1->value(), f->BitBtn1->isEnabled(),
                              cursor && cursor->shape() == Qt::WaitCursor};
            f->close();
        });
        spy.start();
        f->BitBtn1->click();
        spy.stop();
        run.textAfter = f->BitBtn1->text();
        run.cursorRestored = QApplication::overrideCursor() == nullptr;
        EXPECT_TRUE(f->isVisible());
        f->BitBtn1->click();
        if (f->isVisible()) {
            f->done(mrNone);
        }
    });
    run.result = ShowSaldoFM();

    EXPECT_EQ(run.result, mrOk);
    EXPECT_EQ(run.textAfter, QStringLiteral("Закрыть"));
    EXPECT_TRUE(run.cursorRestored);
    ASSERT_FALSE(samples.isEmpty());
    QList<int> values;
    for (const Sample& s : samples) {
        EXPECT_FALSE(s.buttonEnabled);
        EXPECT_TRUE(s.busy);
        if (values.isEmpty() || values.last() != s.value) {
            values << s.value;
        }
    }
    // The bar was seen moving one account at a time.
    EXPECT_EQ(values, (QList<int>{1, 2, 3, 4, 5, 6}));
    for (int id = 1; id <= 6; ++id) {
        EXPECT_EQ(saldoOf(id), Money::fromInteger(id));
    }
}

TEST_F(Saldo, AFailedUpdateStopsTheRunButFinishesTheWindow) {
    const int first = addAccount(QStringLiteral("Первый"), Money::fromInteger(1));
    const int locked = addAccount(QStringLiteral("Закрытый"), Money::fromInteger(2));
    const int last = addAccount(QStringLiteral("Последний"), Money::fromInteger(3));
    for (int account : {first, locked, last}) {
        applyDocument(2, {{2, account, Money::fromInteger(100 * account)}});
    }
    spoilBalances();
    exec(QStringLiteral("create trigger locked before update on HeadAccount "
                        "when new.IdHeadAccount = %1 "
                        "begin select raise(abort, 'счет закрыт для записи'); end")
             .arg(locked));

    ModalHelper mh;
    const Run run = startAndClose(mh);
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Critical);
    EXPECT_EQ(mh.boxes().first().text, QStringLiteral("счет закрыт для записи"));
    EXPECT_EQ(run.textAfter, QStringLiteral("Закрыть"));
    EXPECT_TRUE(run.enabledAfter);
    EXPECT_TRUE(run.cursorRestored);
    EXPECT_EQ(run.value, 1);
    EXPECT_EQ(run.result, mrOk);
    // Every update stood on its own: the first account keeps its new balance.
    EXPECT_EQ(saldoOf(first), Money::fromInteger(100));
    EXPECT_EQ(saldoOf(locked), Money::fromText(QStringLiteral("777.77")).value());
    EXPECT_EQ(saldoOf(last), Money::fromText(QStringLiteral("777.77")).value());
}

TEST_F(Saldo, TheMainWindowCommandOpensIt) {
    startSession();
    const int account = addAccount(QStringLiteral("Наличные"));
    applyDocument(2, {{2, account, Money::fromInteger(42)}});
    spoilBalances();
    TMainFM main;
    main.show();
    ModalHelper mh;
    QString title;
    mh.onNext<TSaldoFM>([&](TSaldoFM* f) {
        title = f->windowTitle();
        f->BitBtn1->click();
        f->BitBtn1->click();
    });
    main.acSaldo->trigger();
    EXPECT_EQ(title, QStringLiteral("Пересчет остатков"));
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(saldoOf(account), Money::fromInteger(42));
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join("; ").toStdString();
}

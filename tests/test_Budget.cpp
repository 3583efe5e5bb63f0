// The family's budget: plans of a month written, copied and averaged, held
// against the ledger in "План и факт", in the windows and in the tool.
#include "Budget.h"
#include "BudgetWindow.h"
#include "Clock.h"
#include "DocTestData.h"
#include "DocumentsBehindDialog.h"
#include "Keyboard.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "PlanFactReportWindow.h"
#include "ToolRun.h"

#include <QAbstractItemModelTester>
#include <QInputDialog>
#include <QMdiSubWindow>

using namespace Qt::StringLiterals;

namespace {

const QDate kMarch(2026, 3, 1);

QString shown(const QString& text) {
    return QString(text).replace(u' ', QLocale(QLocale::Russian).groupSeparator());
}

}  // namespace

class Budget : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        setCurrentDateForTesting(QDate(2026, 3, 20));
        startSession();
        m_rub = addValuta(u"RUB"_s);
        const int usd = addValuta(u"USD"_s);
        const int cash = addAccount(u"Наличные"_s, m_rub);
        const int dollars = addAccount(u"Доллары"_s, usd);
        m_food = addCategory(u"Продукты"_s);
        m_bus = addCategory(u"Транспорт"_s);
        const int salary = addCategory(u"Зарплата"_s);
        // January: food 3000, transport 600; February: food 4500; March:
        // food 1200 + 300, transport 800, 50 without a category.
        for (auto [day, amount, cat] : {std::tuple{QDate(2026, 1, 10), "3000"_m, m_food},
                                        {QDate(2026, 1, 12), "600"_m, m_bus},
                                        {QDate(2026, 2, 3), "4500"_m, m_food},
                                        {QDate(2026, 3, 2), "1200"_m, m_food},
                                        {QDate(2026, 3, 5), "300"_m, m_food},
                                        {QDate(2026, 3, 6), "800"_m, m_bus},
                                        {QDate(2026, 3, 7), "50"_m, 0}}) {
            addApplied(doc(1, cash, amount, day, cat));
        }
        addApplied(doc(1, dollars, "10"_m, QDate(2026, 3, 4), m_food));  // another currency
        addApplied(doc(2, cash, "50000"_m, QDate(2026, 3, 1), salary));  // an income
        addDoc(doc(1, cash, "999"_m, QDate(2026, 3, 9), m_bus));         // never applied
    }
    void TearDown() override {
        m_main.reset();
        setCurrentDateForTesting(QDate());
        DocTest::TearDown();
    }
    static QStringList cells(const ReportRow& r, const QList<ReportColumn>& columns) {
        QStringList out;
        for (int i = 0; i < columns.size(); ++i) {
            out << reportCellText(r.values.value(i), columns[i].kind, CellForm::Csv);
        }
        return out;
    }
    QMap<qint64, Money> plan(const QDate& month) { return monthPlan(*m_db, month, m_rub); }
    Report report(const QDate& from, const QDate& to) {
        ReportQuery q;
        q.from = from;
        q.to = to;
        q.idValuta = m_rub;
        return planFactReport(*m_db, q);
    }

    int m_rub = 0;
    int m_food = 0;
    int m_bus = 0;
    std::unique_ptr<TMainFM> m_main;
};

TEST_F(Budget, PlansAreCopiedAveragedAndHeldAgainstTheLedger) {
    // Books made before budgets get the table with the first plan.
    exec(u"drop table Budget"_s);
    EXPECT_TRUE(plan(kMarch).isEmpty());
    setCategoryPlan(*m_db, QDate(2026, 2, 14), m_rub, m_food, "4000"_m);
    setCategoryPlan(*m_db, kMarch, m_rub, m_food, "2000"_m);
    setCategoryPlan(*m_db, kMarch, m_rub, m_bus, "500"_m);
    setCategoryPlan(*m_db, kMarch, m_rub, m_bus, "450"_m);
    setCategoryPlan(*m_db, kMarch, m_rub, m_bus, "500"_m);
    EXPECT_EQ(plan(kMarch), (QMap<qint64, Money>{{m_food, "2000"_m}, {m_bus, "500"_m}}));
    EXPECT_THROW(setCategoryPlan(*m_db, kMarch, m_rub, m_bus, "-1"_m), AppError);
    EXPECT_EQ(plan(kMarch).value(m_bus), "500"_m);

    // April from March; June's month before has no plan.
    const QDate april(2026, 4, 1);
    EXPECT_EQ(copyPreviousMonth(*m_db, april, m_rub), 2);
    EXPECT_EQ(plan(april), plan(kMarch));
    EXPECT_EQ(copyPreviousMonth(*m_db, QDate(2026, 6, 1), m_rub), 0);
    EXPECT_TRUE(plan(QDate(2026, 6, 1)).isEmpty());

    // The average of January to March: food (3000 + 4500 + 1500) / 3,
    // transport (600 + 0 + 800) / 3 to kopecks; spending without a category
    // is averaged but not planned.
    EXPECT_EQ(averageSpending(*m_db, april, m_rub, 3),
              (QMap<qint64, Money>{{0, "16.67"_m}, {m_food, "3000"_m}, {m_bus, "466.67"_m}}));
    setCategoryPlan(*m_db, april, m_rub, m_food, std::nullopt);
    EXPECT_EQ(fillFromAverage(*m_db, april, m_rub, 3), 2);
    EXPECT_EQ(plan(april), (QMap<qint64, Money>{{m_food, "3000"_m}, {m_bus, "466.67"_m}}));
    EXPECT_EQ(fillFromAverage(*m_db, QDate(2025, 1, 1), m_rub, 2), 0);

    // March: the new document and the dollars count nowhere; transport is
    // over its plan.
    Report r = report(kMarch, QDate(2026, 3, 31));
    EXPECT_EQ(r.title, u"План и факт"_s);
    ASSERT_EQ(r.rows.size(), 3);
    EXPECT_EQ(cells(r.rows[0], r.columns),
              (QStringList{u"Продукты"_s, u"2000.00"_s, u"1500.00"_s, u"500.00"_s, u"75.0"_s}));
    EXPECT_EQ(cells(r.rows[1], r.columns),
              (QStringList{u"Транспорт"_s, u"500.00"_s, u"800.00"_s, u"-300.00"_s, u"160.0"_s}));
    EXPECT_EQ(cells(r.rows[2], r.columns),
              (QStringList{u"Без категории"_s, u""_s, u"50.00"_s, u""_s, u""_s}));
    EXPECT_EQ(cells(r.total, r.columns),
              (QStringList{u"Итого"_s, u"2500.00"_s, u"2350.00"_s, u"150.00"_s, u"94.0"_s}));
    EXPECT_EQ(QList<bool>({r.rows[0].alert, r.rows[1].alert, r.rows[2].alert}),
              QList<bool>({false, true, false}));
    EXPECT_EQ(r.chart.series.size(), 2);
    EXPECT_EQ(r.chart.series[0].values, (QList<Money>{"2000"_m, "500"_m, Money()}));

    // The year: food planned 4000 + 2000 + 3000 and spent 9000, not over;
    // transport 500 + 466.67 against 1400.
    r = report(QDate(2026, 1, 1), QDate(2026, 12, 31));
    EXPECT_EQ(cells(r.rows[0], r.columns),
              (QStringList{u"Продукты"_s, u"9000.00"_s, u"9000.00"_s, u"0.00"_s, u"100.0"_s}));
    EXPECT_EQ(cells(r.rows[1], r.columns),
              (QStringList{u"Транспорт"_s, u"966.67"_s, u"1400.00"_s, u"-433.33"_s, u"144.8"_s}));
    EXPECT_FALSE(r.rows[0].alert);
    EXPECT_TRUE(r.rows[1].alert);

    // A category deleted takes its plans along.
    const int trip = addCategory(u"Отпуск"_s);
    setCategoryPlan(*m_db, april, m_rub, trip, "100"_m);
    exec(u"delete from Category where IdCategory = %1"_s.arg(trip));
    EXPECT_EQ(plan(april).keys(), (QList<qint64>{m_food, m_bus}));
}

TEST_F(Budget, TheToolPrintsPlanAndFactOfAMonth) {
    setCategoryPlan(*m_db, kMarch, m_rub, m_bus, "500"_m);
    ToolRun r = runTool({u"budget"_s, m_path, u"--month"_s, u"2026-03"_s, u"--csv"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out,
              u"Категория,\"План, RUB\",\"Факт, RUB\",\"Разница, RUB\",Использовано\n"
              "Продукты,,1500.00,,\n"
              "Транспорт,500.00,800.00,-300.00,160.0\n"
              "Без категории,,50.00,,\n"
              "Итого,500.00,2350.00,-1850.00,470.0\n"_s);
    r = runTool({u"budget"_s, m_path, u"--month"_s, u"2026-13"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err.trimmed().count(u'\n'), 0) << r.err.toStdString();
    r = runTool({u"budget"_s, m_path, u"--year"_s, u"2026"_s, u"--currency"_s, u"USD"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(u"Продукты"_s) && r.out.contains(u"10,00"_s))
        << r.out.toStdString();
}

TEST_F(Budget, APersonPlansTheMonthAndSeesWhereSheSpentTooMuch) {
    m_main = std::make_unique<TMainFM>();
    m_main->show();
    activate(m_main.get());
    m_main->acBudget->trigger();
    auto* w = qobject_cast<BudgetWindow*>(m_main->MdiArea->activeSubWindow()->widget());
    ASSERT_TRUE(w);
    EXPECT_EQ(w->deMonth->date(), kMarch);
    EXPECT_EQ(w->cbValuta->currentText(), u"RUB"_s);
    ASSERT_EQ(w->twBudget->rowCount(), 3);
    auto line = [w](int r) {
        return QStringList{w->twBudget->item(r, 0)->text(), w->twBudget->item(r, 1)->text(),
                           w->twBudget->item(r, 2)->text()};
    };
    EXPECT_EQ(line(1), (QStringList{u"Продукты"_s, u""_s, shown(u"1 500,00"_s)}));

    // A plan typed in is written at once; text that is no amount is refused.
    ModalHelper mh;
    auto type = [w](int r, const QString& text) {
        w->twBudget->setCurrentCell(r, BudgetWindow::ColPlan);
        w->twBudget->editItem(w->twBudget->currentItem());  // as F2 does
        QLineEdit* editor = nullptr;
        for (QLineEdit* e : w->twBudget->viewport()->findChildren<QLineEdit*>()) {
            editor = e->isVisible() ? e : editor;  // closed ones wait hidden for deletion
        }
        ASSERT_TRUE(editor);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The table takes the text a moment after Enter.
        EXPECT_TRUE(QTest::qWaitFor([editor] { return !editor->isVisible(); }));
    };
    type(1, u"2000"_s);
    type(2, u"abc"_s);
    EXPECT_EQ(mh.takeTexts(), QStringList{errorBoxText(AppError(u"\"abc\" - не сумма"_s))});
    type(2, u"500"_s);
    EXPECT_EQ(plan(kMarch), (QMap<qint64, Money>{{m_food, "2000"_m}, {m_bus, "500"_m}}));
    EXPECT_EQ(line(1), (QStringList{u"Продукты"_s, shown(u"2 000,00"_s), shown(u"1 500,00"_s)}));

    // April copies March; a second copy asks first, and No keeps April.
    w->deMonth->setDate(QDate(2026, 4, 1));
    w->btnCopy->click();
    EXPECT_EQ(line(2), (QStringList{u"Транспорт"_s, shown(u"500,00"_s), u""_s}));
    type(2, u""_s);
    mh.answer(QMessageBox::No);
    w->btnCopy->click();
    EXPECT_EQ(mh.takeTexts(), QStringList{u"Заменить план на 04.2026 планом на 03.2026?"_s});
    EXPECT_EQ(plan(QDate(2026, 4, 1)).keys(), QList<qint64>{m_food});
    // The average of three months, after a Yes.
    mh.onNext<QInputDialog>([](QInputDialog* d) {
        d->setIntValue(3);
        d->accept();
    });
    mh.answer(QMessageBox::Yes);
    w->btnAverage->click();
    EXPECT_EQ(line(2), (QStringList{u"Транспорт"_s, shown(u"466,67"_s), u""_s}));
    EXPECT_EQ(mh.pending(), 0);

    // "План и факт" of March: transport stands out, the chart pairs plan and
    // fact, Enter lists transport's one applied document.
    m_main->acReportPlanFact->trigger();
    auto* r = qobject_cast<PlanFactReportWindow*>(m_main->MdiArea->activeSubWindow()->widget());
    ASSERT_TRUE(r);
    QAbstractItemModelTester tester(r->mdReport,
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_FALSE(r->cbAccount->isVisible());
    ASSERT_EQ(r->mdReport->rowCount(), 4);
    EXPECT_EQ(r->mdReport->index(1, 0).data().toString(), u"Транспорт"_s);
    EXPECT_TRUE(r->mdReport->index(1, 2).data(Qt::FontRole).value<QFont>().bold());
    EXPECT_TRUE(r->mdReport->index(1, 2).data(Qt::BackgroundRole).isValid());
    EXPECT_FALSE(r->mdReport->index(0, 2).data(Qt::BackgroundRole).isValid());
    EXPECT_EQ(r->chReport->plan().names, (QStringList{u"План"_s, u"Факт"_s}));
    mh.onNext<DocumentsBehindDialog>([](DocumentsBehindDialog* d) {
        EXPECT_EQ(d->dtsDocuments->recordCount(), 1);
        d->reject();
    });
    r->tvReport->setCurrentIndex(r->mdReport->index(1, 0));
    QTest::keyClick(r->tvReport, Qt::Key_Return);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join(u", "_s).toStdString();
}

#include "Clock.h"
#include "ColorValue.h"
#include "CommonVelDocEdit_FM.h"
#include "DocTestData.h"
#include "DocumentsBehindDialog.h"
#include "Keyboard.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "ReportWindows.h"
#include "ToolRun.h"

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QLineSeries>
#include <QMdiSubWindow>
#include <QPieSeries>

namespace {

const QDate kToday(2026, 3, 20);

// Money as the windows write it, with the Russian group separator.
QString shown(const char* text) {
    return QString::fromUtf8(text).replace(QLatin1Char(' '),
                                           QLocale(QLocale::Russian).groupSeparator());
}

}  // namespace

class ReportWindows : public DocTest {
protected:
    void SetUp() override {
        DocTest::SetUp();
        setCurrentDateForTesting(kToday);
        startSession();
        m_rub = addValuta(QStringLiteral("RUB"));
        m_usd = addValuta(QStringLiteral("USD"));
        m_cash = addAccount(QStringLiteral("Наличные"), m_rub);
        m_card = addAccount(QStringLiteral("Карта"), m_rub);
        m_dollars = addAccount(QStringLiteral("Доллары"), m_usd);
        m_food = addCategory(QStringLiteral("Продукты"));
        m_salary = addCategory(QStringLiteral("Зарплата"));
        m_main = std::make_unique<TMainFM>();
        m_main->show();
        activate(m_main.get());
    }
    void TearDown() override {
        m_main.reset();
        setCurrentDateForTesting(QDate());
        DocTest::TearDown();
    }

    // A document of the kind, applied through its kind's method as the
    // browser applies it.
    int applied(int type, int account, Money value, const QDate& date, int category = 0) {
        Doc d = doc(type, account, value, date, category);
        if (type == 3) {
            d.account2 = m_card;
            d.value2 = value;
        }
        return addApplied(d);
    }
    ReportWindow& open(QAction* action) {
        action->trigger();
        auto* w = qobject_cast<ReportWindow*>(m_main->MdiArea->activeSubWindow()->widget());
        EXPECT_TRUE(w);
        return *w;
    }
    static QStringList row(const ReportWindow& w, int r) {
        QStringList cells;
        for (int c = 0; c < w.mdReport->columnCount(); ++c) {
            cells << w.mdReport->index(r, c).data().toString();
        }
        return cells;
    }
    static QStringList lastRow(const ReportWindow& w) {
        return row(w, w.mdReport->rowCount() - 1);
    }
    QString file(const QString& name) const { return m_dir->filePath(name); }
    // Answers the next file dialog with a name.
    void saveAs(ModalHelper& mh, const QString& path) {
        mh.onNext<QFileDialog>([path](QFileDialog* d) {
            d->selectFile(path);
            static_cast<QDialog*>(d)->accept();
        });
    }

    int m_food = 0;
    int m_salary = 0;
    std::unique_ptr<TMainFM> m_main;
};

TEST_F(ReportWindows, APersonReadsWhereTheMoneyWentOpensTheDocumentsBehindAndSavesTheReport) {
    const int bread = applied(1, m_cash, "100"_m, QDate(2026, 3, 2), m_food);
    applied(1, m_card, "250.50"_m, QDate(2026, 3, 5), m_food);
    applied(1, m_cash, "40"_m, QDate(2026, 3, 6));
    applied(1, m_cash, "1000"_m, QDate(2026, 2, 10), m_food);   // last month
    applied(1, m_dollars, "10"_m, QDate(2026, 3, 4), m_food);   // another currency
    applied(2, m_card, "5000"_m, QDate(2026, 3, 1), m_salary);  // an income
    applied(3, m_cash, "300"_m, QDate(2026, 3, 3));             // a transfer
    Doc draft;
    draft.type = 1;
    draft.account = m_cash;
    draft.value = "999"_m;
    draft.date = QDate(2026, 3, 7);
    addDoc(draft);  // never applied

    ReportWindow& w = open(m_main->acReportCategories);
    QAbstractItemModelTester tester(w.mdReport,
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(focused(), w.tvReport);
    EXPECT_EQ(w.cbPeriod->currentText(), QStringLiteral("Этот месяц"));
    EXPECT_EQ(w.lbSubtitle->text(), QStringLiteral("01.03.2026 - 20.03.2026, RUB"));
    ASSERT_EQ(w.mdReport->rowCount(), 3);
    EXPECT_EQ(row(w, 0), (QStringList{QStringLiteral("Продукты"), shown("350,50"),
                                      QStringLiteral("89,8 %"), QStringLiteral("2")}));
    EXPECT_EQ(row(w, 1), (QStringList{QStringLiteral("Без категории"), shown("40,00"),
                                      QStringLiteral("10,2 %"), QStringLiteral("1")}));
    EXPECT_EQ(lastRow(w), (QStringList{QStringLiteral("Итого"), shown("390,50"),
                                       QStringLiteral("100,0 %"), QStringLiteral("3")}));

    w.cbPeriod->setCurrentIndex(w.cbPeriod->findText(QStringLiteral("Прошлый месяц")));
    EXPECT_EQ(w.deFrom->date(), QDate(2026, 2, 1));
    EXPECT_EQ(w.deTo->date(), QDate(2026, 2, 28));
    EXPECT_EQ(row(w, 0).mid(0, 2), (QStringList{QStringLiteral("Продукты"), shown("1 000,00")}));
    w.cbValuta->setCurrentIndex(w.cbValuta->findText(QStringLiteral("USD")));
    typeInto(w.deTo->lineEdit(), QStringLiteral("31.03.2026"));
    QTest::keyClick(w.deTo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(w.cbPeriod->currentText(), QStringLiteral("Свой период"));
    EXPECT_EQ(row(w, 0).mid(0, 2), (QStringList{QStringLiteral("Продукты"), shown("10,00")}));
    w.cbValuta->setCurrentIndex(w.cbValuta->findText(QStringLiteral("RUB")));
    w.cbPeriod->setCurrentIndex(w.cbPeriod->findText(QStringLiteral("Этот месяц")));
    w.cbFlow->setCurrentIndex(w.cbFlow->findText(QStringLiteral("Доходы")));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Доходы по категориям"));
    EXPECT_EQ(row(w, 0).mid(0, 2), (QStringList{QStringLiteral("Зарплата"), shown("5 000,00")}));
    w.cbFlow->setCurrentIndex(w.cbFlow->findText(QStringLiteral("Расходы")));

    // Enter on "Продукты" lists its two documents; Enter there opens the
    // first one, read-only since it is applied.
    ModalHelper mh;
    mh.onNext<DocumentsBehindDialog>([&](DocumentsBehindDialog* d) {
        ASSERT_EQ(d->dtsDocuments->recordCount(), 2);
        EXPECT_EQ(d->dbgDocuments->gridModel()->formattedText(0, 1), shown("-100,00"));
        EXPECT_EQ(d->dbgDocuments->gridModel()->formattedText(1, 2), QStringLiteral("Карта"));
        EXPECT_EQ(d->lbTotal->text(),
                  QStringLiteral("Документов: 2, сумма по счетам: ") + shown("-350,50"));
        EXPECT_EQ(d->dbgDocuments->gridModel()->cellParams(0, 0).background,
                  colorFromStored(scalar(QStringLiteral("select ColorStatus from TypeStatus "
                                                        "where CodTypeDocument = 1 and "
                                                        "CodStatus = 2"))
                                      .toLongLong()));
        QTest::keyClick(d->dbgDocuments, Qt::Key_Return);
        d->btnClose->click();
    });
    mh.onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* e) {
        EXPECT_TRUE(e->readOnly());
        EXPECT_EQ(e->IdDocument(), bread);
        e->BitBtn2->click();
    });
    w.tvReport->setCurrentIndex(w.mdReport->index(0, 0));
    QTest::keyClick(w.tvReport, Qt::Key_Return);
    EXPECT_EQ(mh.pending(), 0);
    EXPECT_EQ(mh.takeTexts(), QStringList{kReadOnly});

    // The table as CSV (Ctrl+S), not over an existing file unless asked,
    // never through a link; the whole report as PDF; the chart as a picture.
    saveAs(mh, file(QStringLiteral("март.csv")));
    press(Qt::Key_S, Qt::ControlModifier);
    QFile csv(file(QStringLiteral("март.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll(), QByteArray("\xEF\xBB\xBF"
                                        "\"Категория\",\"Сумма, RUB\",\"Доля\",\"Документов\"\r\n"
                                        "\"Продукты\",350.50,89.8,2\r\n"
                                        "\"Без категории\",40.00,10.2,1\r\n"
                                        "\"Итого\",390.50,100.0,3\r\n"));
    EXPECT_EQ(csv.permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    csv.close();
    saveAs(mh, file(QStringLiteral("март.csv")));
    mh.answer(QMessageBox::No);
    w.cbFlow->setCurrentIndex(w.cbFlow->findText(QStringLiteral("Доходы")));
    w.acSaveCsv->trigger();
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readAll().contains("Продукты"));
    csv.close();
    QFile::link(file(QStringLiteral("март.csv")), file(QStringLiteral("ссылка.csv")));
    saveAs(mh, file(QStringLiteral("ссылка.csv")));
    w.acSaveCsv->trigger();
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readAll().contains("Продукты"));
    saveAs(mh, file(QStringLiteral("март.pdf")));
    w.btnSavePdf->click();
    QFile pdf(file(QStringLiteral("март.pdf")));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    EXPECT_GT(pdf.size(), 5000);
    QApplication::clipboard()->clear();
    w.acCopyChart->trigger();
    EXPECT_GE(QApplication::clipboard()->image().width(), 400);

    EXPECT_EQ(mh.pending(), 0);
    const QStringList texts = mh.takeTexts();
    EXPECT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts.value(0).startsWith(QStringLiteral("Файл \"")) &&
                texts.value(0).endsWith(QStringLiteral("\" уже существует. Заменить его?")));
    EXPECT_TRUE(texts.value(1).contains(QStringLiteral("символическая ссылка")))
        << texts.value(1).toStdString();
    EXPECT_TRUE(mh.unexpected().isEmpty()) << mh.unexpected().join(", ").toStdString();
}

TEST_F(ReportWindows, F5ShowsWhatWasAppliedRolledBackOrDeletedWhileTheWindowWasOpen) {
    const int first = applied(1, m_cash, "100"_m, QDate(2026, 3, 2));
    ReportWindow& w = open(m_main->acReportStatement);
    m_main->acReportStatement->trigger();
    EXPECT_EQ(m_main->MdiArea->subWindowList().size(), 1);
    EXPECT_EQ(w.cbAccount->currentText(), QStringLiteral("Наличные"));
    // The closing balance, the last line, is the account's balance.
    auto closing = [&] { return lastRow(w).last(); };
    EXPECT_EQ(closing(), shown("-100,00"));
    ASSERT_EQ(w.mdReport->rowCount(), 3);  // opening, the document, closing

    ModalHelper mh;
    Doc d;
    d.account = m_cash;
    d.value = "500"_m;
    d.date = QDate(2026, 3, 10);
    const int second = addDoc(d);
    EXPECT_EQ(run(2, QStringLiteral("APPLY"), second), second);
    EXPECT_EQ(closing(), shown("-100,00"));  // not before F5
    press(Qt::Key_F5);
    EXPECT_EQ(closing(), shown("400,00"));
    EXPECT_EQ(w.mdReport->rowCount(), 4);

    mh.answer(QMessageBox::Yes);
    EXPECT_EQ(run(1, QStringLiteral("DELETE"), first), first);  // rolled back
    press(Qt::Key_F5);
    EXPECT_EQ(closing(), shown("500,00"));
    EXPECT_EQ(w.mdReport->rowCount(), 3);

    EXPECT_EQ(run(1, QStringLiteral("APPLY"), first), first);
    press(Qt::Key_F5);
    EXPECT_EQ(closing(), shown("400,00"));

    mh.answer(QMessageBox::Yes);
    mh.answer(QMessageBox::Yes);
    run(2, QStringLiteral("DELETE"), second);
    run(2, QStringLiteral("DELETE"), second);
    ASSERT_EQ(count(QStringLiteral("Document"), QStringLiteral("IdDocument = %1").arg(second)), 0);
    press(Qt::Key_F5);
    EXPECT_EQ(closing(), shown("-100,00"));
    EXPECT_EQ(w.mdReport->rowCount(), 3);
    EXPECT_EQ(saldo(m_cash), "-100"_m);
    EXPECT_TRUE(mh.unexpected().isEmpty());
}

TEST_F(ReportWindows, ThirtyCategoriesDrawTenSlicesAndTheSmallestAreOneFigure) {
    for (int i = 1; i <= 30; ++i) {
        applied(1, m_cash, Money::fromInteger(i), QDate(2026, 3, 1 + i % 19),
                addCategory(QStringLiteral("Категория %1").arg(i)));
    }
    ReportWindow& w = open(m_main->acReportCategories);
    EXPECT_EQ(w.mdReport->rowCount(), 31);
    const ChartPlan& plan = w.chReport->plan();
    ASSERT_EQ(plan.labels.size(), 10);
    EXPECT_EQ(plan.labels.first(), QStringLiteral("Категория 30"));
    EXPECT_EQ(plan.labels.last(), QStringLiteral("Прочее"));
    EXPECT_EQ(plan.values[0].last(), Money::fromInteger(21 * 22 / 2));

    // A click on "Прочее" lists the documents of its 21 categories.
    auto* pie = qobject_cast<QPieSeries*>(w.chReport->chart()->series().value(0));
    ASSERT_TRUE(pie);
    ModalHelper mh;
    mh.onNext<DocumentsBehindDialog>([](DocumentsBehindDialog* d) {
        EXPECT_EQ(d->dtsDocuments->recordCount(), 21);
        EXPECT_EQ(d->lbTotal->text(),
                  QStringLiteral("Документов: 21, сумма по счетам: ") + shown("-231,00"));
        d->reject();
    });
    Q_EMIT pie->clicked(pie->slices().last());
    EXPECT_EQ(mh.pending(), 0);
}

TEST_F(ReportWindows, TheBalancesLookAheadDashedAndNameTheDayTheCardGoesBelowZero) {
    using namespace Qt::StringLiterals;
    applied(2, m_card, "10000"_m, QDate(2026, 3, 1));
    // The rent and the salary of one day count together: 5 000 left on
    // 05.04, nothing on 05.05, below zero only on 05.06.
    for (const auto& [kind, amount] :
         {std::pair{u"expense"_s, u"30000"_s}, std::pair{u"income"_s, u"25000"_s}}) {
        ASSERT_EQ(runTool({u"regular"_s, u"add"_s, m_path, u"--kind"_s, kind, u"--account"_s,
                           QString::number(m_card), u"--amount"_s, amount, u"--rule"_s,
                           u"FREQ=MONTHLY;BYMONTHDAY=5"_s, u"--start"_s, u"2026-04-01"_s})
                      .exitCode,
                  0);
    }
    ReportWindow& w = open(m_main->acReportBalances);
    const auto dashed = [&] {
        int lines = 0;
        for (QAbstractSeries* s : w.chReport->chart()->series()) {
            auto* line = qobject_cast<QLineSeries*>(s);
            lines += line && line->pen().style() == Qt::DashLine ? 1 : 0;
        }
        return lines;
    };
    EXPECT_EQ(w.sbAhead->value(), 3);
    EXPECT_EQ(w.lbNotes->text().section(QLatin1Char('\n'), 0, 0),
              QStringLiteral("Карта: уйдет в минус 05.06.2026 (%1)").arg(shown("-5 000,00")));
    EXPECT_EQ(dashed(), 3);  // "Наличные", "Карта" and their total
    const QModelIndex last = w.mdReport->index(w.mdReport->rowCount() - 1, 2);
    EXPECT_EQ(row(w, last.row()), (QStringList{QStringLiteral("Июнь 2026, прогноз"), shown("0,00"),
                                               shown("-5 000,00"), shown("-5 000,00")}));
    EXPECT_TRUE(last.data(Qt::FontRole).value<QFont>().italic());

    w.sbAhead->setValue(0);
    EXPECT_EQ(dashed(), 0);
    EXPECT_EQ(lastRow(w).value(0), QStringLiteral("20.03.2026"));
    EXPECT_TRUE(w.lbNotes->text().isEmpty());
}

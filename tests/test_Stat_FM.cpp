// The statistics and report windows, opened from the main window's frame.
#include "Main_FM.h"
#include "ModalHelper.h"
#include "Report_FM.h"
#include "Stat_FM.h"
#include "TestDb.h"
#include "TestUtil.h"

#include <QBarSet>
#include <QChart>
#include <QMdiSubWindow>
#include <QPieSlice>

class StatForm : public DbTest {
protected:
    void SetUp() override {
        DbTest::SetUp();
        startSession();
        exec(QStringLiteral("insert into Valuta(Caption, FullCaption) values('RUB', 'Рубль')"));
        exec(
            QStringLiteral("insert into HeadAccount(Caption, IdValuta) values"
                           " ('Наличные', 1), ('Карта', 1), ('Без документов', 1), ('Вклад', 1)"));
        // Every type and status counts, whatever its date, each with its plain amount.
        addDocument(1, 1, "100.1234", 1, "2001-05-01");
        addDocument(2, 1, "50", 2, "2024-12-31");
        addDocument(3, 1, "0.0001", 2, "2030-01-01");
        addDocument(1, 2, "99999.99", 2, "2024-06-15");
        addDocument(2, 4, "7", 1, "2024-06-15");
        m_main = std::make_unique<TMainFM>();
        m_main->show();
    }
    void TearDown() override {
        m_main.reset();
        DbTest::TearDown();
    }
    void addDocument(int type, int account, const char* value, int status, const char* date) {
        exec(
            QStringLiteral("insert into Document(DateEnter, DateDocument, ValueDocument,"
                           " CodTypeDocument, IdHeadAccount, CodTypeStatus, IdHeadAccount2,"
                           " ValueDocument2) values(Now(), '%1 00:00:00', %2, %3, %4, %5, %6, %7)")
                .arg(QLatin1String(date), QLatin1String(value))
                .arg(type)
                .arg(account)
                .arg(status)
                .arg(type == 3 ? QStringLiteral("2") : QStringLiteral("null"))
                .arg(type == 3 ? QStringLiteral("5000") : QStringLiteral("null")));
    }
    template <class T>
    T* open() {
        m_main->ShowChildForm<T>();
        QMdiSubWindow* sub = m_main->MdiArea->activeSubWindow();
        return sub ? qobject_cast<T*>(sub->widget()) : nullptr;
    }
    // The result rows as account name -> total.
    static QMap<QString, Money> rows(DbQuery& result) {
        QMap<QString, Money> map;
        for (result.first(); !result.eof(); result.next()) {
            map.insert(result.field(QStringLiteral("sLabel")).asString(),
                       result.field(QStringLiteral("sCount")).asMoney());
        }
        return map;
    }
    static Money m(const char* text) { return Money::fromText(QString::fromLatin1(text)).value(); }
    // What the statement must give: the account with no documents is absent.
    const QMap<QString, Money> m_expected{{QStringLiteral("Наличные"), m("150.1235")},
                                          {QStringLiteral("Карта"), m("99999.99")},
                                          {QStringLiteral("Вклад"), m("7")}};
    std::unique_ptr<TMainFM> m_main;
};

TEST_F(StatForm, OpensMaximisedWithItsLayout) {
    TStatFM* f = open<TStatFM>();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Статистика"));
    EXPECT_TRUE(m_main->MdiArea->activeSubWindow()->isMaximized());
    EXPECT_EQ(f->Label1->text(), QStringLiteral("с: "));
    EXPECT_EQ(f->Label2->text(), QStringLiteral("по: "));
    const QDate today = QDate::currentDate();
    EXPECT_EQ(f->deBegin->date(), QDate(today.year(), today.month(), 1));
    EXPECT_EQ(f->deEnd->date(), today);
    EXPECT_EQ(f->ToolButton2->toolTip(), QStringLiteral("Сформировать"));
    EXPECT_FALSE(f->ToolButton2->icon().isNull());
    EXPECT_TRUE(f->ToolButton2->isVisible());
    QStringList tabs;
    for (int i = 0; i < f->TabControl1->count(); ++i) {
        tabs << f->TabControl1->tabText(i);
    }
    EXPECT_EQ(tabs, (QStringList{"1", "2", "3", "4", "5", "6", "7", "8"}));
    EXPECT_EQ(f->TabControl1->currentIndex(), 0);
    EXPECT_EQ(f->gbInfo->title(), QStringLiteral("Информация"));
    EXPECT_EQ(f->gbResult->title(), QStringLiteral("Результаты"));
    EXPECT_EQ(f->gbChart->title(), QStringLiteral("Диаграмма"));
    EXPECT_TRUE(f->Splitter1->isAncestorOf(f->gbInfo));
    EXPECT_EQ(f->Splitter2->widget(0), f->gbResult);
    EXPECT_EQ(f->Splitter2->widget(1), f->gbChart);
    EXPECT_TRUE(f->gbChart->isAncestorOf(f->DBChart1));
    QChart* chart = f->DBChart1->chart();
    EXPECT_FALSE(chart->legend()->isVisible());
    EXPECT_TRUE(chart->title().isEmpty());
    for (QAbstractAxis* axis : chart->axes()) {
        EXPECT_FALSE(axis->isVisible());
    }
    EXPECT_EQ(f->DBChart1->rubberBand(), QChartView::NoRubberBand);

    // One window of the class; the tabs do not switch the boxes.
    f->TabControl1->setCurrentIndex(4);
    EXPECT_EQ(open<TStatFM>(), f);
    EXPECT_EQ(m_main->MdiArea->subWindowList().size(), 1);
    EXPECT_TRUE(f->gbInfo->isVisible() && f->gbResult->isVisible() && f->gbChart->isVisible());
}

TEST_F(StatForm, AnyTabButTheSecondSaysIncorrect) {
    TStatFM* f = open<TStatFM>();
    ASSERT_TRUE(f);
    ModalHelper mh;
    f->ToolButton2->click();
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Information);
    EXPECT_EQ(mh.takeTexts(), QStringList{QStringLiteral("Incorrect")});
    EXPECT_FALSE(f->dtsResult.isOpen());
    EXPECT_EQ(f->Series1->count(), 0);

    // A built result is closed, and the chart emptied, by a build on another tab.
    f->TabControl1->setCurrentIndex(1);
    f->ToolButton2->click();
    ASSERT_TRUE(f->dtsResult.isOpen());
    ASSERT_EQ(f->Series1->count(), 3);
    f->TabControl1->setCurrentIndex(7);
    f->ToolButton2->click();
    EXPECT_EQ(mh.takeTexts(), QStringList{QStringLiteral("Incorrect")});
    EXPECT_FALSE(f->dtsResult.isOpen());
    EXPECT_EQ(f->Series1->count(), 0);
    EXPECT_TRUE(f->Series2->barSets().isEmpty());
}

TEST_F(StatForm, TheSecondTabTotalsEachAccountAndDrawsThem) {
    TStatFM* f = open<TStatFM>();
    ASSERT_TRUE(f);
    // The date range has no effect on the totals.
    f->deBegin->setDate(QDate(2024, 6, 1));
    f->deEnd->setDate(QDate(2024, 6, 2));
    f->TabControl1->setCurrentIndex(1);
    ModalHelper mh;
    f->ToolButton2->click();
    EXPECT_TRUE(mh.boxes().isEmpty()) << mh.texts().join("; ").toStdString();
    EXPECT_EQ(rows(f->dtsResult), m_expected);

    // One slice and one green bar per account, with the account's total.
    QMap<QString, double> slices;
    for (QPieSlice* slice : f->Series1->slices()) {
        EXPECT_TRUE(slice->isLabelVisible());
        slices.insert(slice->label(), slice->value());
    }
    QMap<QString, double> expected;
    for (auto it = m_expected.cbegin(); it != m_expected.cend(); ++it) {
        expected.insert(it.key(), it.value().toDouble());
    }
    EXPECT_EQ(slices, expected);
    ASSERT_EQ(f->Series2->barSets().size(), 1);
    QBarSet* bars = f->Series2->barSets().first();
    EXPECT_EQ(bars->color(), QColor(Qt::green));
    EXPECT_TRUE(f->Series2->isLabelsVisible());
    ASSERT_EQ(bars->count(), f->dtsResult.recordCount());
    for (int i = 0; i < bars->count(); ++i) {
        EXPECT_EQ(bars->at(i),
                  Money::fromVariant(f->dtsResult.value(i, QStringLiteral("sCount"))).toDouble());
        EXPECT_EQ(f->Series1->slices().at(i)->value(), bars->at(i));
    }

    // A second build gives the same, not twice as much.
    f->ToolButton2->click();
    EXPECT_EQ(f->Series1->count(), 3);
    EXPECT_EQ(f->Series2->barSets().first()->count(), 3);
}

TEST_F(StatForm, ADatabaseErrorLeavesTheResultClosed) {
    TStatFM* f = open<TStatFM>();
    ASSERT_TRUE(f);
    f->TabControl1->setCurrentIndex(1);
    f->ToolButton2->click();
    ASSERT_EQ(f->Series1->count(), 3);
    exec(QStringLiteral("alter table Document rename to DocumentOld"));
    ModalHelper mh;
    f->ToolButton2->click();
    ASSERT_EQ(mh.boxes().size(), 1);
    EXPECT_EQ(mh.boxes().first().icon, QMessageBox::Critical);
    EXPECT_EQ(mh.boxes().first().text,
              engineText(QStringLiteral("no such table: Document"),
                         QStringLiteral("relation \"document\" does not exist")));
    EXPECT_FALSE(f->dtsResult.isOpen());
    EXPECT_EQ(f->Series1->count(), 0);
    EXPECT_TRUE(f->isVisible());
}

TEST_F(StatForm, TheReportWindowComputesTheSameWithoutAChart) {
    TReportFM* f = open<TReportFM>();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Отчеты"));
    EXPECT_TRUE(m_main->MdiArea->activeSubWindow()->isMaximized());
    EXPECT_EQ(f->findChild<QChartView*>(), nullptr);
    EXPECT_EQ(f->findChild<QGroupBox*>(QStringLiteral("gbChart")), nullptr);
    EXPECT_EQ(f->Splitter1->widget(1), f->gbResult);

    ModalHelper mh;
    f->ToolButton2->click();
    EXPECT_EQ(mh.takeTexts(), QStringList{QStringLiteral("Incorrect")});
    f->TabControl1->setCurrentIndex(1);
    f->ToolButton2->click();
    EXPECT_TRUE(mh.takeTexts().isEmpty());
    EXPECT_EQ(rows(f->dtsResult), m_expected);

    // Each window is its own: the statistics window opens beside it.
    TStatFM* stat = open<TStatFM>();
    ASSERT_TRUE(stat);
    EXPECT_EQ(m_main->MdiArea->subWindowList().size(), 2);
    EXPECT_EQ(open<TReportFM>(), f);
}

TEST_F(StatForm, HiddenCommandsOpenTheWindowsAndClosingDestroysThem) {
    EXPECT_FALSE(m_main->acStat->isVisible());
    EXPECT_FALSE(m_main->acReport->isVisible());
    m_main->acStat->trigger();
    m_main->acReport->trigger();
    ASSERT_EQ(m_main->MdiArea->subWindowList().size(), 2);
    QPointer<QWidget> report = m_main->MdiArea->activeSubWindow()->widget();
    EXPECT_TRUE(qobject_cast<TReportFM*>(report));
    m_main->acCloseActiveWindow->trigger();
    EXPECT_TRUE(waitFor([&] { return report.isNull(); }));
    EXPECT_EQ(m_main->MdiArea->subWindowList().size(), 1);
}

// Books on a PostgreSQL server worked on through the windows, as on a file.
#include "Clock.h"
#include "CommonVelDocEdit_FM.h"
#include "CurrencyRate_FM.h"
#include "DocTestData.h"
#include "Document_FM.h"
#include "Main_FM.h"
#include "ModalHelper.h"
#include "ReportWindow.h"
#include "ToolRun.h"

#include <QMdiSubWindow>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTreeWidget>
#include <QUrl>

TEST_F(DocTest, AnExpenseMadeAndAppliedInTheWindowsOfServerBooksCountsAsInAFile) {
    QUrl url(qEnvironmentVariable("DORSANTI_TEST_PG"));
    if (url.isEmpty()) {
        GTEST_SKIP() << "DORSANTI_TEST_PG is not set: no PostgreSQL server for this run";
    }
    DbConnection admin;
    admin.open(url.toString());
    const QString name = QStringLiteral("books_%1").arg(QRandomGenerator::global()->generate());
    admin.executeScript(QStringLiteral("create database ") + name);
    auto drop = qScopeGuard([&] {
        setCurrentDateForTesting(QDate());
        m_dm->ADOConnection1.close();
        m_q.reset();
        m_db.reset();
        admin.executeScript(QStringLiteral("drop database %1 with (force)").arg(name));
    });
    url.setPath(QLatin1Char('/') + name);
    const QString file = m_dir->filePath(QStringLiteral("starter.db"));
    setCurrentDateForTesting(QDate(2026, 3, 20));
    for (const QString& books : {file, url.toString()}) {
        SCOPED_TRACE(books.toStdString());
        ASSERT_EQ(runTool({QStringLiteral("create"), books, QStringLiteral("--starter")}).exitCode,
                  0);
        m_dm->ADOConnection1.close();
        m_dm->ADOConnection1.open(books);
        reopenTestConnection(books);
        startSession();
        const int cash = scalar(QStringLiteral("select IdHeadAccount from HeadAccount where "
                                               "Caption = 'Наличные'"))
                             .toInt();
        const QString food = scalar(QStringLiteral("select IdCategory from Category where "
                                                   "Caption = 'Продукты'"))
                                 .toString();
        ModalHelper mh;
        TMainFM main;
        main.show();
        main.acDocument->trigger();
        auto* f = qobject_cast<TDocumentFM*>(main.MdiArea->activeSubWindow()->widget());
        f->tvDocs->setCurrentItem(
            f->tvDocs->findItems(QStringLiteral("Расход"), Qt::MatchRecursive).value(0));
        mh.onNext<TCommonVelDocEditFM>([&](TCommonVelDocEditFM* e) {
            e->CurrencyEdit1->setValue(250.5);
            e->rxcHeadAccount->setValue(QString::number(cash));
            e->rxcCategory->setValue(food);
            e->BitBtn1->click();
        });
        for (const char* method : {"NEW", "APPLY"}) {
            for (auto& entry : f->FMethodItems) {
                if (entry->Code == QLatin1String(method)) {
                    entry->Button->click();
                }
            }
        }
        EXPECT_EQ(saldo(cash), "-250.50"_m);
        expectBalancesMatchLedger();
        main.acReportCategories->trigger();
        auto* report = qobject_cast<ReportWindow*>(main.MdiArea->activeSubWindow()->widget());
        ASSERT_TRUE(report);
        EXPECT_EQ(report->mdReport->index(0, 0).data().toString(), QStringLiteral("Продукты"));
        mh.onNext<TCurrencyRateFM>([](TCurrencyRateFM* r) { r->close(); });
        main.acCurrencyRate->trigger();
        EXPECT_EQ(mh.texts(), QStringList());
        m_dm->CloseSession();
    }
}

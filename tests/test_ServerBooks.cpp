// The windows on books made on a PostgreSQL server, as on a file.
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
#include <QUrl>

TEST_F(DocTest, AnExpenseMadeAndAppliedInTheWindowsOfServerBooksCountsAsInAFile) {
    QUrl url(qEnvironmentVariable("DORSANTI_TEST_PG"));
    if (url.isEmpty()) {
        GTEST_SKIP() << "DORSANTI_TEST_PG is not set: no PostgreSQL server for this run";
    }
    DbConnection admin;
    admin.open(url.toString());
    url.setPath(QStringLiteral("/books_%1").arg(QRandomGenerator::global()->generate()));
    admin.executeScript(QStringLiteral("create database ") + url.path().mid(1));
    auto drop = qScopeGuard([&] {
        setCurrentDateForTesting(QDate());
        m_dm->ADOConnection1.close();
        m_q.reset();
        m_db.reset();
        admin.executeScript(
            QStringLiteral("drop database %1 with (force)").arg(url.path().mid(1)));
    });
    setCurrentDateForTesting(QDate(2026, 3, 20));
    for (const QString& books : {m_dir->filePath(QStringLiteral("b.db")), url.toString()}) {
        ASSERT_EQ(runTool({QStringLiteral("create"), books, QStringLiteral("--starter")}).exitCode,
                  0);
        m_dm->ADOConnection1.close();
        m_dm->ADOConnection1.open(books);
        reopenTestConnection(books);
        startSession();
        ModalHelper mh;
        TMainFM main;
        main.show();
        main.acDocument->trigger();
        auto* f = qobject_cast<TDocumentFM*>(main.MdiArea->activeSubWindow()->widget());
        f->tvDocs->setCurrentItem(
            f->tvDocs->findItems(QStringLiteral("Расход"), Qt::MatchRecursive)[0]);
        mh.onNext<TCommonVelDocEditFM>([](TCommonVelDocEditFM* e) {
            e->CurrencyEdit1->setValue(250.5);
            e->rxcHeadAccount->setValue(QStringLiteral("1"));  // Наличные
            e->rxcCategory->setValue(QStringLiteral("1"));     // Продукты
            e->BitBtn1->click();
        });
        for (const char* code : {"NEW", "APPLY"})
            for (auto& item : f->FMethodItems)
                if (item->Code == QLatin1String(code))
                    item->Button->click();
        EXPECT_EQ(saldo(1), "-250.50"_m) << books.toStdString();
        main.acReportCategories->trigger();
        auto* report = qobject_cast<ReportWindow*>(main.MdiArea->activeSubWindow()->widget());
        EXPECT_EQ(report->mdReport->index(0, 0).data().toString(), QStringLiteral("Продукты"));
        mh.onNext<TCurrencyRateFM>([](TCurrencyRateFM* r) { r->close(); });
        main.acCurrencyRate->trigger();
        EXPECT_EQ(mh.texts(), QStringList()) << books.toStdString();
        m_dm->CloseSession();
    }
}

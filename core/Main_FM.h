#pragma once

#include "ImageList.h"

#include <QAction>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QToolBar>
#include <functional>

class DailyBackup;

// The main window: a frame for child windows, with the commands that open the
// reference books, the status colours, the balance recalculation and the
// report windows.
class TMainFM : public QMainWindow {
    Q_OBJECT
public:
    explicit TMainFM(QWidget* parent = nullptr);

    QMenuBar* MainMenu1;
    QToolBar* ToolBar1;
    QMdiArea* MdiArea;
    QStatusBar* StatusBar1;
    // 32-by-32 pictures: 0 documents, 1 close window, 2 statistics, 3 reports.
    ImageList ImageList1;

    // In the order of the action list.
    QAction* acExit;
    QAction* acValuta;
    QAction* acHeadAccount;
    QAction* acContrAgent;
    QAction* acCategory;
    QAction* acDocument;
    QAction* acColor;
    QAction* acSaldo;
    QAction* acRegular;
    QAction* acCloseActiveWindow;
    QAction* acStat;
    QAction* acReport;
    QAction* acCurrencyRate;
    // The menu "Отчеты": one report window each.
    QAction* acReportCategories;
    QAction* acReportMonths;
    QAction* acReportContrAgents;
    QAction* acReportBalances;
    QAction* acReportStatement;
    QAction* acReportNetWorth;
    QAction* acBudget;
    QAction* acReportPlanFact;
    // "Файл": the books written out, a copy of the file made now.
    QAction* acExport;
    QAction* acBackup;
    // "Справочники": the family's rules for the categories of imports.
    QAction* acImportRules;
    // "Файл": a bank statement read into new documents.
    QAction* acImportStatement;

    // F6: the focus goes to the tool bar, and from there back to where it
    // was (Escape also goes back).
    void ToolBarFocusKey();

    // Brings forward the child window of exactly this class, or makes one
    // maximised. `create` builds a new window of the class.
    void ShowChildForm(const QMetaObject& windowClass, const std::function<QWidget*()>& create);
    template <class T>
    void ShowChildForm() {
        ShowChildForm(T::staticMetaObject, [] { return new T(); });
    }

Q_SIGNALS:
    // The window is closing and the session's end has been stamped.
    void sessionClosed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* addAction(const QString& name, const QString& category, const QString& caption,
                       const QString& hint, int image, void (TMainFM::*handler)());
    void FormCreate();
    bool FormClose();

    void acImportStatementExecute();
    void acExitExecute();
    void acValutaExecute();
    void acHeadAccountExecute();
    void acContrAgentExecute();
    void acCategoryExecute();
    void acDocumentExecute();
    void acColorExecute();
    void acSaldoExecute();
    void acRegularExecute();
    void acCloseActiveWindowExecute();
    void acStatExecute();
    void acReportExecute();
    void acCurrencyRateExecute();
    void acReportCategoriesExecute();
    void acReportMonthsExecute();
    void acReportContrAgentsExecute();
    void acReportBalancesExecute();
    void acReportStatementExecute();
    void acReportNetWorthExecute();
    void acBudgetExecute();
    void acReportPlanFactExecute();
    void acExportExecute();
    void acBackupExecute();
    void acImportRulesExecute();

    bool m_sessionClosed = false;
    QPointer<QWidget> m_focusBeforeToolBar;
    bool m_bareAlt = false;
};

// Starts the daily copy whenever the main window has closed its session.
void installDailyBackup(TMainFM& mainForm, DailyBackup& daily);

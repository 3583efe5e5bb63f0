#pragma once

#include "DateEdit.h"
#include "ReportChartView.h"
#include "ReportTableModel.h"
#include "Reports.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QWidget>

// A report of the family's books as a child window of the main frame: the
// period (a preset or two dates), the account (all or one) and the currency
// (for "Капитал" the base currency) on top; the table and the chart of the
// report below, with its notes. "Остатки" looks ahead a few months; the
// first day an account would go below zero leads its notes. Every choice builds the report again,
// and so does F5. Enter or a double-click on a row of the table, or a click on a slice, bar or
// point of the chart, lists the documents behind the figure.
//
// Each kind is a class of its own (see ReportWindows.h), so that the main
// frame keeps one window of each.
class ReportWindow : public QWidget {
    Q_OBJECT
public:
    ReportKind kind() const { return m_kind; }

    QComboBox* cbPeriod;
    DateEdit* deFrom;
    DateEdit* deTo;
    QComboBox* cbAccount;
    QLabel* lbValuta;
    QComboBox* cbValuta;
    // "Расходы" or "Доходы": only in the report of categories.
    QComboBox* cbFlow = nullptr;
    // The step of the lines: only in the balances and the net worth.
    QComboBox* cbStep = nullptr;
    // How many months to look ahead (0: none): only in the balances.
    QSpinBox* sbAhead = nullptr;
    QLabel* lbSubtitle;
    QSplitter* spReport;
    QTableView* tvReport;
    ReportTableModel* mdReport;
    ReportChartView* chReport;
    QLabel* lbNotes;
    QPushButton* btnRefresh;
    QPushButton* btnSaveCsv;
    QPushButton* btnSavePdf;
    QPushButton* btnCopyChart;
    QAction* acRefresh;    // F5
    QAction* acSaveCsv;    // Ctrl+S
    QAction* acSavePdf;    // Ctrl+P
    QAction* acCopyChart;  // Ctrl+Shift+C

    const Report& report() const { return mdReport->report(); }
    // What the choices of the window ask for.
    ReportQuery query() const;

    // Reads the accounts and currencies again and builds the report (F5).
    void RefreshReport();
    // Builds the report of the current choices.
    void BuildReport();
    // Another program changed a document: as F5, keeping the rows in view;
    // while the documents behind a figure are listed, after that list closes.
    void BooksChangedElsewhere();
    // Lists the documents behind a figure; builds the report again when an
    // editor saved one of them.
    void ShowDocumentsBehind(const ChartFigure& figure);
    // The documents behind the current row of the table.
    void OpenCurrentRow();

    // Asks for a file name and saves the table as CSV, or the report as PDF;
    // an existing file is replaced only after a question.
    void SaveCsv();
    void SavePdf();
    // Puts a picture of the chart on the clipboard.
    void CopyChart();

protected:
    ReportWindow(ReportKind kind, QWidget* parent);
    // The figures of a query; a kind whose figures come from elsewhere
    // builds them itself.
    virtual Report MakeReport(const ReportQuery& query);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The table takes the room of its columns side by side (up to 60 %), of
    // its rows one above the other (up to half).
    void FitTable();
    void AddAheadChooser(QHBoxLayout* row);
    void FillChoosers();
    void FillAccounts();
    void SelectPreset(int index);
    void DateEntered(DateEdit* edit, const QDate& date);
    void ChoiceChanged();
    QString AskFileName(const QString& title, const QString& filter, const QString& suffix);
    void SaveFile(const QString& title, const QString& filter, const QString& suffix,
                  const std::function<QByteArray()>& contents);

    ReportKind m_kind;
    // Set while the window itself sets its choices: they build nothing then.
    bool m_filling = false;
    bool m_behindOpen = false;
    bool m_refreshPending = false;
};

#pragma once

#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QWidget>

// "Бюджет": the plan of a month in one currency, as a child window of the
// main frame. Every category is a row with its plan and what it spent in the
// month; a plan typed in is written at once, an emptied one is removed. The
// month's plan can be copied from the month before or filled from the
// average spending of the last N months (N asked).
class BudgetWindow : public QWidget {
    Q_OBJECT
public:
    explicit BudgetWindow(QWidget* parent = nullptr);

    enum Column { ColCategory, ColPlan, ColFact };

    QDateEdit* deMonth;
    QComboBox* cbValuta;
    QTableWidget* twBudget;
    QLabel* lbTotal;
    QPushButton* btnCopy;
    QPushButton* btnAverage;

    QDate month() const;
    qint64 idValuta() const { return cbValuta->currentData().toLongLong(); }

    // Reads the currencies, the categories and the month's plan again.
    void RefreshBudget();
    void CopyPreviousMonth();
    void FillFromAverage();

private:
    void LoadMonth();
    void PlanEdited(QTableWidgetItem* item);
    // A row's plan as the books hold it (kept in the plan cell), its fact in
    // red when over plan, and the totals.
    void ShowRow(int row);
    // Asks before a step replaces a month that has a plan.
    bool MayReplace(const QString& what);

    bool m_loading = false;
};

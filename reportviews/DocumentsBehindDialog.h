#pragma once

#include "DBGrid.h"
#include "ModalForm.h"
#include "ReportChartView.h"

#include <QLabel>
#include <QPushButton>

// The documents behind one figure of a report, one line per ledger row:
// date, amount on the account, account, category, counterparty, note and
// status, painted with the status colour. Enter or a double-click opens the
// document's editor (read-only for an applied document), F5 reads the list
// again.
class DocumentsBehindDialog : public ModalForm {
    Q_OBJECT
public:
    explicit DocumentsBehindDialog(const ChartFigure& figure, QWidget* parent = nullptr);

    QLabel* lbFigure;
    DBGrid* dbgDocuments;
    QLabel* lbTotal;
    QPushButton* btnClose;
    DataSet* dtsDocuments;

    // Reads the documents again and stays on the one it stood on.
    void RefreshList();
    // Opens the editor of the current document.
    void EditCurrentDocument();
    // An editor saved a document: the report is to be built again.
    bool documentsChanged() const { return m_changed; }

private:
    void dbgDocumentsDblClick(const QPoint& pos);

    ChartFigure m_figure;
    bool m_changed = false;
};

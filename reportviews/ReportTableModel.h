#pragma once

#include "Reports.h"

#include <QAbstractTableModel>

// The table of a report: its rows, then its total in bold. Amounts are shown
// in the program's number format, numbers to the right, sums below zero in
// dark red. The rows of the look ahead are italic and paler; a row that must
// stand out is bold on a pale red ground.
class ReportTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ReportTableModel(QObject* parent = nullptr);

    void setReport(const Report& report);
    const Report& report() const { return m_report; }

    // A row of the table: a row of the report, or its total after the last.
    const ReportRow& rowAt(int row) const;
    bool isTotal(int row) const { return row == int(m_report.rows.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    Report m_report;
};

#include "ReportTableModel.h"

#include "ReportText.h"

#include <QColor>
#include <QFont>

ReportTableModel::ReportTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void ReportTableModel::setReport(const Report& report) {
    beginResetModel();
    m_report = report;
    endResetModel();
}

const ReportRow& ReportTableModel::rowAt(int row) const {
    return isTotal(row) ? m_report.total : m_report.rows.at(row);
}

int ReportTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return int(m_report.rows.size()) + (m_report.total.values.isEmpty() ? 0 : 1);
}

int ReportTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_report.columns.size());
}

QVariant ReportTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const ColumnKind kind = m_report.columns[index.column()].kind;
    const QVariant value = rowAt(index.row()).values.value(index.column());
    switch (role) {
        case Qt::DisplayRole:
            return reportCellText(value, kind);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(
                (isNumberColumn(kind) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
        case Qt::FontRole:
            if (isTotal(index.row()) || rowAt(index.row()).forecast ||
                rowAt(index.row()).alert) {
                QFont font;
                font.setBold(isTotal(index.row()) || rowAt(index.row()).alert);
                font.setItalic(rowAt(index.row()).forecast);
                return font;
            }
            return {};
        case Qt::BackgroundRole:
            if (rowAt(index.row()).alert) {
                return QColor(0xFF, 0xDD, 0xDD);
            }
            return {};
        case Qt::ForegroundRole: {
            // The look ahead is paler than the books.
            const bool forecast = rowAt(index.row()).forecast;
            if (kind == ColumnKind::Money && value.isValid() && value.value<Money>().units() < 0) {
                return forecast ? QColor(0xC8, 0x50, 0x50) : QColor(0xA0, 0x10, 0x10);
            }
            return forecast ? QVariant(QColor(0x70, 0x70, 0x70)) : QVariant();
        }
        default:
            return {};
    }
}

QVariant ReportTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return m_report.columns[section].title;
    }
    return {};
}

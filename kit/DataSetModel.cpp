#include "DataSetModel.h"

#include "DisplayFormat.h"

DataSetModel::DataSetModel(QObject* parent) : QAbstractTableModel(parent) {}

void DataSetModel::setDataSet(DataSet* set) {
    beginColumnsUpdate();
    if (m_set) {
        disconnect(m_set, nullptr, this, nullptr);
    }
    m_set = set;
    if (m_set) {
        connect(m_set, &DataSet::aboutToReset, this, &DataSetModel::dataSetAboutToReset);
        connect(m_set, &DataSet::reset, this, &DataSetModel::dataSetReset);
        connect(m_set, &QObject::destroyed, this, [this] {
            beginColumnsUpdate();
            m_set = nullptr;
            endColumnsUpdate();
        });
    }
    endColumnsUpdate();
}

// The data set's resets and the column changes share one model reset, so that
// a data set re-read inside a column update still reaches the views once.
void DataSetModel::beginColumnsUpdate() {
    if (m_columnsUpdating++ == 0 && !m_resetting) {
        beginResetModel();
    }
}

void DataSetModel::endColumnsUpdate() {
    if (m_columnsUpdating > 0 && --m_columnsUpdating == 0 && !m_resetting) {
        resolveFields();
        endResetModel();
    }
}

void DataSetModel::dataSetAboutToReset() {
    if (m_resetting) {
        return;
    }
    m_resetting = true;
    if (m_columnsUpdating == 0) {
        beginResetModel();
    }
}

void DataSetModel::dataSetReset() {
    if (!m_resetting) {
        return;
    }
    m_resetting = false;
    if (m_columnsUpdating == 0) {
        resolveFields();
        endResetModel();
    }
}

void DataSetModel::resolveFields() {
    m_shown.clear();
    m_fields.clear();
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].visible) {
            m_shown.push_back(i);
            m_fields.push_back(m_set ? m_set->fieldIndex(m_columns[i].fieldName) : -1);
        }
    }
}

int DataSetModel::addColumn(const DBGridColumn& column) {
    beginColumnsUpdate();
    m_columns.push_back(column);
    endColumnsUpdate();
    return int(m_columns.size()) - 1;
}

void DataSetModel::setColumn(int index, const DBGridColumn& column) {
    if (index < 0 || index >= m_columns.size()) {
        return;
    }
    beginColumnsUpdate();
    m_columns[index] = column;
    endColumnsUpdate();
}

void DataSetModel::removeAllColumns() {
    beginColumnsUpdate();
    m_columns.clear();
    endColumnsUpdate();
}

void DataSetModel::moveColumn(int from, int to) {
    if (from < 0 || from >= m_columns.size() || to < 0 || to >= m_columns.size() || from == to) {
        return;
    }
    beginColumnsUpdate();
    m_columns.move(from, to);
    endColumnsUpdate();
}

void DataSetModel::setColumnVisible(int index, bool visible) {
    if (index < 0 || index >= m_columns.size() || m_columns[index].visible == visible) {
        return;
    }
    beginColumnsUpdate();
    m_columns[index].visible = visible;
    endColumnsUpdate();
}

void DataSetModel::setColumnWidth(int index, int width) {
    if (index >= 0 && index < m_columns.size()) {
        m_columns[index].width = width;
    }
}

void DataSetModel::setColumnFilter(int index, const QString& text, const QString& field) {
    if (index >= 0 && index < m_columns.size()) {
        m_columns[index].filterText = text;
        if (!field.isEmpty()) {
            m_columns[index].filterField = field;
        }
    }
}

int DataSetModel::columnIndex(int tableColumn) const {
    return tableColumn >= 0 && tableColumn < m_shown.size() ? m_shown[tableColumn] : -1;
}

int DataSetModel::tableColumn(int columnIndex) const {
    return int(m_shown.indexOf(columnIndex));
}

int DataSetModel::fieldOf(int tableColumn) const {
    return tableColumn >= 0 && tableColumn < m_fields.size() ? m_fields[tableColumn] : -1;
}

void DataSetModel::setCellParamsHook(CellParamsHook hook) {
    m_hook = std::move(hook);
    if (rowCount() > 0 && columnCount() > 0) {
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                           {Qt::DisplayRole, Qt::BackgroundRole});
    }
}

QString DataSetModel::formattedText(int row, int tableColumn) const {
    const int field = fieldOf(tableColumn);
    if (!m_set || field < 0) {
        return {};
    }
    const QString& pattern = m_columns[m_shown[tableColumn]].displayFormat;
    const QVariant value = m_set->value(row, field);
    // Stored date-times are shown as the wall-clock values they hold: read as
    // UTC they skip the local time zone, whose rules cost more than the rest.
    if (!pattern.isEmpty() && value.typeId() == QMetaType::QString) {
        QDate date;
        QTime time;
        if (parseStoredParts(value.toString(), date, time)) {
            return formatDateTime(pattern, QDateTime(date, time, Qt::UTC));
        }
    }
    return formatDisplay(pattern, value);
}

CellParams DataSetModel::cellParams(int row, int tableColumn) const {
    CellParams params{QColor(), formattedText(row, tableColumn)};
    if (m_hook && tableColumn >= 0 && tableColumn < m_shown.size()) {
        m_hook(row, m_columns[m_shown[tableColumn]], params);
    }
    return params;
}

int DataSetModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !m_set || !m_set->isOpen()) {
        return 0;
    }
    return m_set->recordCount();
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_shown.size());
}

namespace {

Qt::Alignment alignmentOf(int alignment) {
    switch (alignment) {
        case 1:
            return Qt::AlignRight | Qt::AlignVCenter;
        case 2:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        default:
            return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

}  // namespace

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return cellParams(index.row(), index.column()).text;
        case Qt::BackgroundRole: {
            const QColor background = cellParams(index.row(), index.column()).background;
            return background.isValid() ? QVariant(background) : QVariant();
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(alignmentOf(m_columns[m_shown[index.column()]].alignment));
        case RawValueRole:
            return m_set ? m_set->value(index.row(), fieldOf(index.column())) : QVariant();
        default:
            return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_shown.size()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return m_columns[m_shown[section]].title;
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        default:
            return {};
    }
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

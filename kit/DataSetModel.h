#pragma once

#include "DataSet.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QPointer>
#include <functional>

// One column of a data grid, as the windows build it at run time.
struct DBGridColumn {
    QString fieldName;
    QString title;
    int width = 64;         // pixels before the columns are fitted to the grid's width
    int alignment = 0;      // 0 left, 1 right, 2 centred
    QString displayFormat;  // number or date pattern; empty for the plain form
    int tag = 0;
    bool visible = true;
    // In-memory filter: rows whose filterField (the column's own field when
    // empty) equals filterText; an empty text filters nothing.
    QString filterField;
    QString filterText;
};

// What one cell shows; a grid's cell hook may change both.
struct CellParams {
    QColor background;  // invalid: the grid's own background
    QString text;
};
// Called for every cell the grid shows, with the row's position among the
// shown rows and the cell's column.
using CellParamsHook = std::function<void(int row, const DBGridColumn& column, CellParams&)>;

// The rows of a DataSet as a table: one row per row that passes the data set's
// filter, in its current order, and one column per visible grid column. The
// rows are read from the data set as they are shown, never copied.
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The value of a cell as stored, for UserRole.
    static constexpr int RawValueRole = Qt::UserRole;

    explicit DataSetModel(QObject* parent = nullptr);

    void setDataSet(DataSet* set);
    DataSet* dataSet() const { return m_set; }

    // The grid's columns, visible or not, in their order.
    const QList<DBGridColumn>& columns() const { return m_columns; }
    int addColumn(const DBGridColumn& column);
    void setColumn(int index, const DBGridColumn& column);
    void removeAllColumns();
    void moveColumn(int from, int to);
    void setColumnVisible(int index, bool visible);
    // Settings that change nothing the views show at once.
    void setColumnWidth(int index, int width);
    void setColumnFilter(int index, const QString& text, const QString& field);
    // Changes made between these calls reach the views at once, at the end.
    void beginColumnsUpdate();
    void endColumnsUpdate();

    // The grid column that a table column shows, and back (-1 when hidden).
    int columnIndex(int tableColumn) const;
    int tableColumn(int columnIndex) const;
    // The data set column that a table column shows, or -1.
    int fieldOf(int tableColumn) const;

    void setCellParamsHook(CellParamsHook hook);
    // The cell's text as its display format shows it, before the cell hook.
    QString formattedText(int row, int tableColumn) const;
    CellParams cellParams(int row, int tableColumn) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void dataSetAboutToReset();
    void dataSetReset();
    void resolveFields();

    QPointer<DataSet> m_set;
    QList<DBGridColumn> m_columns;
    QVector<int> m_shown;   // grid column of each table column
    QVector<int> m_fields;  // data set column of each table column, or -1
    CellParamsHook m_hook;
    int m_columnsUpdating = 0;
    bool m_resetting = false;
};

#pragma once

#include "DataSetModel.h"

#include <QElapsedTimer>
#include <QTableView>

class DBGridTitles;
class DBGridIndicator;

// The program's data grid: the rows of a DataSet in a read-only table.
//
// Columns are built at run time (field, title, width, alignment, display
// format, tag, visibility) and fitted to the grid's width. Clicking a title
// sorts the rows in memory; clicking it again reverses; Ctrl+click adds the
// column to the sort. Typing searches the current column. The indicator left
// of the rows marks the current row. The grid's current row and the data
// set's cursor follow each other, except while the data set's controls are
// disabled: the grid then stays where it is until they are enabled.
//
// The list commands are keys of the grid, which the window runs as its own
// buttons and double-click run: Insert adds, Enter changes or chooses,
// Delete deletes and Ctrl+Enter applies.
class DBGrid : public QTableView {
    Q_OBJECT
public:
    // A place in the grid as the windows count it: the indicator is column 0
    // and the titles row 0; data cells start at 1. Outside the cells both -1.
    struct Cell {
        int column = -1;
        int row = -1;
        bool operator==(const Cell&) const = default;
    };

    explicit DBGrid(QWidget* parent = nullptr);

    void setDataSet(DataSet* set);
    DataSet* dataSet() const { return m_model->dataSet(); }
    DataSetModel* gridModel() const { return m_model; }

    // Columns, visible or not, in their order.
    int columnCount() const { return int(m_model->columns().size()); }
    const DBGridColumn& column(int index) const { return m_model->columns().at(index); }
    int addColumn(const DBGridColumn& column) { return m_model->addColumn(column); }
    void setColumn(int index, const DBGridColumn& column) { m_model->setColumn(index, column); }
    void removeAllColumns() { m_model->removeAllColumns(); }
    void moveColumn(int from, int to) { m_model->moveColumn(from, to); }
    void setColumnVisible(int index, bool visible) { m_model->setColumnVisible(index, visible); }
    // The first column at or after `from` whose tag is `tag`, or -1.
    int findColumnByTag(int tag, int from = 0) const;
    // Column changes between these calls reach the screen once, at the end.
    void beginColumnsUpdate() { m_model->beginColumnsUpdate(); }
    void endColumnsUpdate() { m_model->endColumnsUpdate(); }

    // Called for every cell shown: may set its background and replace its text.
    void setCellParamsHook(CellParamsHook hook) { m_model->setCellParamsHook(std::move(hook)); }

    // Sets a column's filter text (and the field it applies to, when not the
    // column's own); applyFilter() then shows only the rows that match every
    // column's filter, without reading the rows again.
    void setColumnFilter(int index, const QString& text, const QString& field = {});
    void applyFilter();

    // A title click on a visible column: sorts by it alone, or reverses it when
    // it is the only sort column; with Ctrl it is added to the sort, or
    // reversed where it already is.
    void titleClick(int tableColumn, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Sort position (1 for the first) and direction of a visible column; 0
    // when it does not take part.
    int sortOrder(int tableColumn, bool* descending = nullptr) const;

    // The cell at a point in the grid's own coordinates.
    Cell cellAt(const QPoint& pos) const;

    // Incremental search: the typed prefix, and the pause that starts a new one.
    QString searchText() const { return m_search; }
    void setSearchPause(int ms) { m_searchPause = ms; }
    void keyboardSearch(const QString& text) override;

    // The row of the data set's cursor as the grid shows it (-1 for none).
    int currentRow() const { return currentIndex().isValid() ? currentIndex().row() : -1; }

    // Space acts as Enter, unless it goes on a search being typed.
    void setSpaceActivates(bool on) { m_spaceActivates = on; }

Q_SIGNALS:
    // A double-click anywhere in the grid: cells, titles or indicator; the
    // point is in the grid's own coordinates, for cellAt().
    void dblClick(const QPoint& pos);
    // The command keys. Enter means what a double-click on a data cell means;
    // it comes only while the grid has a current row.
    void insertKey();
    void enterKey();
    void deleteKey();
    void applyKey();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    friend class DBGridTitles;
    friend class DBGridIndicator;
    void fitColumns();
    void titleResized(int section, int oldSize, int newSize);
    void followDataSet();
    bool search(bool fromCurrent);
    bool continuesSearch(const QString& text);

    DataSetModel* m_model;
    DBGridTitles* m_titles;
    DBGridIndicator* m_indicator;
    int m_currentColumn = 0;
    bool m_fitting = false;
    bool m_following = false;
    QString m_search;
    QElapsedTimer m_lastKey;
    int m_searchPause = 1000;
    bool m_spaceActivates = false;
};

class QAction;
// Runs an action as its button would: only while it is visible and enabled.
void triggerIfAvailable(QAction* action);

// Freezes a grid's column set for a scope.
class ColumnsUpdating {
public:
    explicit ColumnsUpdating(DBGrid& grid) : m_grid(grid) { m_grid.beginColumnsUpdate(); }
    ~ColumnsUpdating() { m_grid.endColumnsUpdate(); }
    ColumnsUpdating(const ColumnsUpdating&) = delete;
    ColumnsUpdating& operator=(const ColumnsUpdating&) = delete;

private:
    DBGrid& m_grid;
};

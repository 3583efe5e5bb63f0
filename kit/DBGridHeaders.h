#pragma once

#include <QHeaderView>

class DBGrid;

// The grid's titles: centred, painted with an arrow on each sorted column (and
// its place in the sort when several columns sort), clicked to sort.
class DBGridTitles : public QHeaderView {
    Q_OBJECT
public:
    explicit DBGridTitles(DBGrid* grid);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // A double-click is the grid's; it never sizes a column to its contents.
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    DBGrid* m_grid;
    Qt::KeyboardModifiers m_modifiers;
    bool m_afterDoubleClick = false;
    bool m_suppressClick = false;
};

// The row indicator: a narrow strip left of the rows with a marker on the
// current row. Its width is fixed, so no row is measured.
class DBGridIndicator : public QHeaderView {
    Q_OBJECT
public:
    explicit DBGridIndicator(DBGrid* grid);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    DBGrid* m_grid;
};

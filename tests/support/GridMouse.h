#pragma once

// The mouse on a data grid, as a person uses it.

#include "DBGrid.h"

#include <QHeaderView>
#include <QTest>

namespace GridMouse {

// A point of the grid (in its own coordinates) on the centre of a data cell;
// rows and columns count from 0 here, as the model counts them.
inline QPoint cell(DBGrid* grid, int row, int column) {
    const QRect r = grid->visualRect(grid->gridModel()->index(row, column));
    return grid->viewport()->mapTo(grid, r.center());
}
inline QPoint title(DBGrid* grid, int column) {
    return QPoint(cell(grid, 0, column).x(), grid->horizontalHeader()->geometry().center().y());
}
inline QPoint indicator(DBGrid* grid, int row) {
    return QPoint(grid->verticalHeader()->geometry().center().x(), cell(grid, row, 0).y());
}

// The part of the grid that lies under a point, and the point in its terms.
inline QWidget* targetAt(DBGrid* grid, const QPoint& pos, QPoint* at) {
    QWidget* target = grid->viewport();
    for (QWidget* w : {grid->horizontalHeader()->viewport(), grid->verticalHeader()->viewport()}) {
        if (w->rect().contains(w->mapFrom(grid, pos))) {
            target = w;
        }
    }
    *at = target->mapFrom(grid, pos);
    return target;
}

inline void click(DBGrid* grid, const QPoint& pos) {
    QPoint at;
    QWidget* target = targetAt(grid, pos, &at);
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
}

// A double-click as the mouse gives it: a click, then the second press.
// Returns after whatever the double-click opened has closed.
inline void doubleClick(DBGrid* grid, const QPoint& pos) {
    QPoint at;
    QWidget* target = targetAt(grid, pos, &at);
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
    QTest::mouseDClick(target, Qt::LeftButton, {}, at);
    QTest::mouseRelease(target, Qt::LeftButton, {}, at);
}

}  // namespace GridMouse

#pragma once

#include "DBGrid.h"
#include "Db.h"

#include <QAction>
#include <QString>
#include <QStringList>
#include <QToolBar>

// Re-runs a list with its views frozen and stands on the first row whose key
// column equals `id`; when none does, on the first row. The views follow once.
void RefreshAndLocate(DbQuery& list, const QString& keyField, int id);

// Small steps that every reference-book window shares.
namespace RefBook {

// Text as the reference books write it: blanks and control characters
// removed at both ends.
QString trimmed(const QString& text);

// Said when a save finds its record gone: another program deleted it while
// its editor was open.
QString recordGone();

// Replaces a statement's text by these lines.
void setStatement(DbQuery& query, const QStringList& lines);

// True when a point of the grid (in its own coordinates) lies on a data cell,
// not on a title, the indicator or the empty space below the rows.
bool onDataCell(const DBGrid* grid, const QPoint& pos);

// A tool-bar command of the books: a picture of the data module's list
// (0 add, 1 change, 2 delete) with its tool-tip.
QAction* toolAction(QObject* parent, const QString& name, const QString& hint, int image);
QToolBar* toolBar(QWidget* parent, const QList<QAction*>& actions);

}  // namespace RefBook

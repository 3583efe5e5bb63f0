#pragma once

#include "DBGrid.h"
#include "Db.h"

#include <QAction>
#include <QString>
#include <QStringList>
#include <QToolBar>
#include <functional>

// Re-runs a list with its views frozen and stands on the first row whose key
// column equals `id`; when none does, on the first row. The views follow once.
void RefreshAndLocate(DbQuery& list, const QString& keyField, int id);

// Small steps that every reference-book window shares.
class QVBoxLayout;

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

// The keys of a book's grid: Insert and Delete run the tool-bar commands, as
// their buttons do; Enter runs `open`, what a double-click on a row does.
void bindGridKeys(DBGrid* grid, QAction* add, QAction* remove, std::function<void()> open);

// A tool-bar command of the books: a picture of the data module's list
// (0 add, 1 change, 2 delete) with its tool-tip.
QAction* toolAction(QObject* parent, const QString& name, const QString& hint, int image);
QToolBar* toolBar(QWidget* parent, const QList<QAction*>& actions);

// The frame of a one-list book: a vertical layout without margins over the
// whole form, its tool bar of "acNew", "acEdit" and "acDelete" on top. The
// caller adds the list below.
QVBoxLayout* bookFrame(QWidget* form, QAction*& acNew, QAction*& acEdit, QAction*& acDelete,
                       QToolBar*& bar);

}  // namespace RefBook

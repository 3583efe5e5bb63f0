#pragma once

#include <QString>

class QWidget;

// The program's own file dialogs (Qt's, in Russian, never the desktop's),
// remembering nothing between calls.

// A file to write: starts at `current` or in the home folder; no question
// about an existing file, which the caller asks itself. Empty when cancelled.
QString askSaveFileName(QWidget* parent, const QString& title, const QString& current,
                        const QString& filter, const QString& suffix);
// A folder that exists. Empty when cancelled.
QString askFolder(QWidget* parent, const QString& title, const QString& current);

// A path as a shell takes it whole: in single quotes unless it needs none.
QString shellQuoted(const QString& path);

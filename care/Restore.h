#pragma once

#include <QString>
#include <QStringList>

// The processes of this user (all of them, for root) that have `path` open,
// as "1234 (dorsanti)". Read from /proc; the processes of other users are not
// visible to an ordinary user.
QStringList processesUsingFile(const QString& path);

// Why `path` is not a sound Dorsanti database (the engine's integrity check
// and the program's tables), or empty when it is.
QString databaseFault(const QString& path);

// Puts `backup` in the place of `file` (of the file it points to, when it is
// a link): refuses while another process has the file open or a session on it
// may still run, verifies the copy that goes in place, keeps the current file
// beside it under "<stem>-before-restore-<time>.db" (with its journal, when
// it left one) and then renames the copy into place, with the current file's
// mode and group. Returns the kept file's path (empty when `file` did not
// exist). Raises an AppError with a plain Russian message and changes
// nothing then.
QString restoreDatabase(const QString& backup, const QString& file);

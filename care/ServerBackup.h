#pragma once

#include "Check.h"

#include <QString>

// Copies of books on a PostgreSQL server, made and put back with the
// server's own tools: pg_dump (custom format) and pg_restore. The URI goes to
// them as --dbname, so the password comes from libpq's own means (~/.pgpass,
// PGPASSFILE, a service file) and they never ask for one. Each of them has a
// time limit and is killed when it runs over.

// "<home>/<database>.backups": the folder of copies of the books at `uri`.
QString serverBackupFolder(const QString& uri);

// Makes a copy of the books at `uri`. `dest` may be a folder or a new file;
// empty means serverBackupFolder() (made, mode 0700, when missing). The copy
// is written to a new file of its own under a temporary name (mode 0600),
// read back whole with "pg_restore --list", put on disk and only then named.
// Returns the copy's path; raises an AppError with a plain Russian message
// and leaves nothing behind otherwise.
QString backupServerBooks(const QString& uri, const QString& dest);

// Puts the copy `backup` (made by backupServerBooks) into the database at
// `uri`, which must have no tables: anything else is refused and nothing
// changes. The copy is read back first, then restored in one transaction,
// then the books are checked; returns that check.
CheckReport restoreServerBooks(const QString& backup, const QString& uri);

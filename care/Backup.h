#pragma once

#include <QDateTime>
#include <QString>

// Safe copies of a database file.
//
// A copy is made with SQLite's online backup, so it is consistent even while
// another program posts to the file. It is written under a temporary name in
// the target folder, verified with the engine's integrity check, given mode
// 0600, and only then linked under its final name: a copy that was stopped
// half-way never carries a final name.

// "<file's folder>/<file's base name>.backups", the folder of the copies.
QString defaultBackupFolder(const QString& dbPath);

// "<base>-2026-12-09T18-30-05.db" in `folder`; `kind` "daily" gives
// "<base>-daily-2026-...". A name taken already gets "-2", "-3"...
QString backupFilePath(const QString& dbPath, const QString& folder, const QDateTime& when,
                       const QString& kind = {});

// Where "backup FILE [DEST]" writes: DEST may be a folder or a new file;
// empty means the default folder (made, mode 0700, when missing).
QString resolveBackupTarget(const QString& dbPath, const QString& dest);

// Copies `source` to `target`, which must not exist yet. Raises an AppError
// with a plain Russian message; nothing is left under `target` then.
void backupDatabase(const QString& source, const QString& target);

// Copies a database with the online backup into the existing empty file
// `temp`, verifies the copy and puts it on disk with mode 0600. Raises on
// failure; the caller removes `temp` then. A source opened read-only is never
// written, not even to roll back a journal.
void copyDatabase(const QString& source, const QString& temp, bool sourceReadOnly);
// Only the copying part of it: no verification, nothing put on disk.
void copyPages(const QString& source, const QString& temp, bool sourceReadOnly);
// Makes an empty temporary file (mode 0600) for `target`, see below.
QString createTemporaryFor(const QString& target);

// Makes a folder with mode 0700 unless it exists; raises on failure.
void makeOwnerFolder(const QString& path);

// Gives `temp` the name `target` unless that name is taken (then raises and
// leaves both as they were), and puts the folder entry on disk.
void placeFile(const QString& temp, const QString& target);

// A temporary name in the folder of `target`, unique to this process. A copy
// killed half-way leaves such a file; the next copy into the folder removes
// the ones whose process is gone.
QString temporaryPathFor(const QString& target);
void removeAbandonedTemporaries(const QString& folder);

// Puts a file's contents on disk.
void syncFile(const QString& path);

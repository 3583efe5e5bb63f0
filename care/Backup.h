#pragma once

#include "AppError.h"
#include "SafeFile.h"

#include <QDateTime>
#include <QString>
#include <functional>

// Safe copies of a database file.
//
// A copy is made with SQLite's online backup, so it is consistent even while
// another program posts to the file. It is written into a new file of its
// own under a temporary name in the target folder, verified with the engine's
// integrity check, put on disk, and only then linked under its final name: a
// copy that was stopped half-way never carries a final name.

// What names the copies of a file: its name without the extension ".db"
// ("family" for "family.db"), or its whole name when it has another one
// ("family.sqlite"), so that the copies of two files of one folder are told
// apart.
QString copyStem(const QString& dbPath);

// "<file's folder>/<stem>.backups", the folder of the copies.
QString defaultBackupFolder(const QString& dbPath);

// "<stem>-2026-12-09T18-30-05.db" in `folder`; `kind` "daily" gives
// "<stem>-daily-2026-...". A name taken already gets "-2", "-3"...
QString backupFilePath(const QString& dbPath, const QString& folder, const QDateTime& when,
                       const QString& kind = {});

// Where "backup FILE [DEST]" writes: DEST may be a folder or a new file;
// empty means the default folder (made when missing, see makeBackupFolder).
QString resolveBackupTarget(const QString& dbPath, const QString& dest);

// Makes the default folder of copies of `dbPath` unless it exists, with the
// group and mode of the database's side files; a link in its place is
// refused. Raises on failure.
void makeBackupFolder(const QString& dbPath);

// Told after each step of a copy: the pages copied so far and the pages of
// the file (which may grow while another program writes).
using CopyProgress = std::function<void(int copied, int total)>;

// Copies `source` to `target`, which must not exist yet. The copy takes the
// group and mode of the source's side files. Raises an AppError with a plain
// Russian message; nothing is left under `target` then.
void backupDatabase(const QString& source, const QString& target,
                    const CopyProgress& progress = {});

// Copies a database with the online backup into the new empty file `temp`,
// verifies the copy and puts it on disk. Raises on failure (a full disk as
// such). A source opened read-only is never written, not even to roll back a
// journal.
void copyDatabase(const QString& source, NewFile& temp, bool sourceReadOnly,
                  const CopyProgress& progress = {});
// Only the copying part of it: no verification, nothing put on disk.
void copyPages(const QString& source, const NewFile& temp, bool sourceReadOnly,
               const CopyProgress& progress = {});

// Whether an error means that the disk (or the user's quota) is full.
bool isDiskFull(const AppError& e);

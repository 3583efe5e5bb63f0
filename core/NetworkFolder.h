#pragma once

#include <QString>
#include <functional>

// Where a database file lies. SQLite's locks cannot be trusted on a network or
// cloud folder: two computers, or a sync client, then write one file at once.

// The name of a network or cloud file system ("NFS", "SMB/CIFS", "FUSE", ...)
// for a statfs magic (f_type); empty for a local disk or an unknown magic.
QString networkFileSystemName(qint64 magic);

// The statfs magic of the file system that holds a folder; 0 when it cannot
// be told.
qint64 fileSystemMagic(const QString& folder);

// Replaces how fileSystemMagic() answers, for the tests; an empty function
// goes back to statfs.
void setFileSystemMagicSource(std::function<qint64(const QString& folder)> source);

// The network file system that holds the database file at `path` (its folder,
// after symbolic links), or an empty string.
QString networkFileSystemOf(const QString& path);

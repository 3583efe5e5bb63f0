#pragma once

#include <QString>
#include <QStringList>

// Saves what can be read from a damaged database into a new file, with the
// engine's own recovery (the ".recover" command of the sqlite3 program). The
// damaged file is opened read-only. The new file is written under a temporary
// name and placed only when it passes the integrity check. Each run of the
// sqlite3 program has a time limit (`limitMs`) and no input but what it is
// given. Returns one line per table with its rows. Raises an AppError with a
// plain Russian message.
QStringList recoverDatabase(const QString& damaged, const QString& newPath,
                            int limitMs = 30 * 60 * 1000);

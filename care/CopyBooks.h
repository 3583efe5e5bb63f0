#pragma once

#include <QString>

// Moving a family's books whole from one place to another: a file to a
// PostgreSQL server, a server to a file (or file to file, server to server).

struct CopySummary {
    int tables = 0;   // tables whose rows were copied
    qint64 rows = 0;  // rows copied in all
};

// Copies every table of the books at `source` (a file or a postgresql:// URI)
// with the same keys into `target`: a file that does not exist yet (written
// under a temporary name beside it, mode 0600, and named only when complete)
// or an empty database on a server (one transaction). The copy is then read
// back and compared with the source table by table, and checked as "check"
// checks books; any difference, or any failure, leaves the target as it was
// and raises an AppError with a plain Russian message.
CopySummary copyBooks(const QString& source, const QString& target);

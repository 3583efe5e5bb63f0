#pragma once

#include <QDate>
#include <QString>
#include <memory>
#include <optional>

class DbConnection;
class QIODevice;

enum class BooksFormat { Csv, Qif };

struct ExportOptions {
    QDate from;                // none: from the first document
    QDate to;                  // none: to the last
    qint64 idHeadAccount = 0;  // 0: every account
    bool all = false;          // also the documents not applied yet
};

// One writer per format: writes the documents that the options select and
// returns how many it wrote. Database errors raise AppError.
class BooksWriter {
public:
    virtual ~BooksWriter() = default;
    virtual qint64 write(DbConnection& connection, const ExportOptions& options,
                         QIODevice& out) const = 0;
};

std::unique_ptr<BooksWriter> makeBooksWriter(BooksFormat format);
std::optional<BooksFormat> booksFormatNamed(const QString& name);

// Writes the books into a new file that appears, readable by its owner only,
// when it is complete; an error leaves no file and an earlier file as it was.
// A file at `path` is replaced only when `overwrite` says so, and never when
// it is the database itself; a symbolic link there is refused either way.
qint64 exportBooks(DbConnection& connection, const QString& path, BooksFormat format,
                   const ExportOptions& options, bool overwrite = false);

// The select of the CSV export, its parameters bound by name; the benchmark
// gives it to the sqlite3 program.
QString booksCsvSelect();

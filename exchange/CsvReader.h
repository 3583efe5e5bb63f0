#pragma once

#include "Statement.h"

#include <QStringList>

// CSV as Russian banks export it: "," or ";" between fields (told from the
// header), UTF-8 or Windows-1251, columns found by their header names, the
// amount in one signed column or in debit and credit columns.
class CsvReader : public StatementReader {
public:
    explicit CsvReader(StatementOptions options = {}) : m_options(std::move(options)) {}
    Statement parse(const QByteArray& bytes) const override;

private:
    StatementOptions m_options;
};

// The records of CSV text, each with the line it starts on. With maxLines,
// the records that start on the first maxLines lines; one that goes on past
// them is left out, and the file's end raises nothing.
struct CsvRecord {
    int line = 0;
    QStringList fields;
};
QVector<CsvRecord> parseCsvRecords(const QByteArray& utf8, char separator, int maxLines = 0);

// A header name as names are compared: trimmed, without a byte-order mark,
// case-folded.
QString csvFolded(const QString& name);

// The records of a CSV file and which of them is the header: the record the
// options' header line names, else the first one (in the first 100 lines)
// that has a date column and an amount column (or debit and credit) among
// its names or the names the options give, else the first that is not
// blank. The lines before it are a bank's header block.
struct CsvTable {
    char separator = ',';
    QVector<CsvRecord> records;
    qsizetype header = -1;  // in records; -1 for a file without any text
    QStringList names;      // the header's names, compared as csvFolded
};
// The separator is the options' one, else the one with which a header turns
// up (the widest), else the one the first line uses most. With maxLines only
// the first lines are read, which is how a profile is chosen cheaply.
CsvTable locateCsvTable(const QByteArray& utf8, const StatementOptions& options, int maxLines = 0);

// The column of each role by the header's names; -1 where there is none. A
// column the options name that the header lacks raises AppError.
struct CsvColumns {
    int date = -1;
    int amount = -1;
    int debit = -1;
    int credit = -1;
    int description = -1;
    int category = -1;
    int status = -1;
    int payee = -1;
    int currency = -1;
    // The columns of the books as the export writes them.
    int kind = -1;
    int account = -1;
    int account2 = -1;
    int amount2 = -1;
    int currency2 = -1;
};
CsvColumns csvColumns(const QStringList& names, const StatementOptions& options);

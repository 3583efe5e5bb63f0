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

// The records of CSV text, each with the line it starts on.
struct CsvRecord {
    int line = 0;
    QStringList fields;
};
QVector<CsvRecord> parseCsvRecords(const QByteArray& utf8, char separator);

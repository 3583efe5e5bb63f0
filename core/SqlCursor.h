#pragma once

#include "Money.h"

#include <QByteArrayView>
#include <QString>
#include <QVector>

#include <memory>

class DbConnection;
class DbStatement;

// A statement prepared once and run row by row, its parameters bound by name
// (":Name") or by position (from 1): a select steps through its rows without
// holding them in memory (an export of a million documents reads each row
// once and lets it go; a statement of an account over years lists hundreds of
// thousands of movements), and an insert runs again and again with new values
// (an import of a whole statement).
class SqlCursor {
public:
    SqlCursor(DbConnection& connection, const QString& sql);
    ~SqlCursor();
    SqlCursor(const SqlCursor&) = delete;
    SqlCursor& operator=(const SqlCursor&) = delete;

    void bindInteger(const char* name, qint64 value);
    void bindText(const char* name, const QString& value);
    void bindDouble(const char* name, double value);
    void bindMoney(const char* name, Money value);
    void bindNull(const char* name);
    void bindInteger(int position, qint64 value);
    void bindText(int position, const QString& value);
    void bindDouble(int position, double value);
    void bindNull(int position);
    // Runs a statement that returns no rows, ready to run again; gives the
    // number of rows it changed.
    int execute();
    // The next row; false at the end. Engine errors raise AppError.
    bool next();

    bool isNull(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    bool isInteger(int column) const;
    QByteArrayView text(int column) const;  // UTF-8, valid until the next row

private:
    int index(const char* name) const;
    std::unique_ptr<DbStatement> m_stmt;
    QVector<QByteArray> m_names;  // ":Name" of each position
};

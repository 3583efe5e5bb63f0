#pragma once

#include <QByteArrayView>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;
class DbConnection;

// Steps through the rows of a select without holding them in memory: an export
// of a million documents reads each row once and lets it go.
class SqlCursor {
public:
    SqlCursor(DbConnection& connection, const QString& sql);
    ~SqlCursor();
    SqlCursor(const SqlCursor&) = delete;
    SqlCursor& operator=(const SqlCursor&) = delete;

    void bindInteger(const char* name, qint64 value);
    void bindText(const char* name, const QString& value);
    // The next row; false at the end. Engine errors raise AppError.
    bool next();

    bool isNull(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    bool isInteger(int column) const;
    QByteArrayView text(int column) const;  // UTF-8, valid until the next row

private:
    int index(const char* name) const;
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
};

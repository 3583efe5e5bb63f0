#pragma once

#include <QByteArrayView>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;
class DbConnection;

// A select on the program's connection read row by row, without holding its
// rows: the statement of an account over years lists hundreds of thousands of
// movements, and the report keeps only what it shows. Parameters are bound
// by name; engine errors raise AppError with the statement.
class RowCursor {
public:
    RowCursor(DbConnection& connection, const QString& sql);
    ~RowCursor();
    RowCursor(const RowCursor&) = delete;
    RowCursor& operator=(const RowCursor&) = delete;

    void bindInteger(const char* name, qint64 value);
    void bindText(const char* name, const QString& value);
    // The next row; false at the end.
    bool next();

    bool isNull(int column) const;
    qint64 integer(int column) const;
    QByteArrayView text(int column) const;  // UTF-8, valid until the next row

private:
    int index(const char* name) const;
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
    QString m_sql;
};

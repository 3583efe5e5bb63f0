#pragma once

#include "Db.h"

#include <QByteArrayView>
#include <QVariant>
#include <QVector>

#include <memory>

struct sqlite3;
class QSqlDriver;

// One statement prepared on an engine. Its parameters are the ":Name" markers
// of its text, numbered from 1 in order of first appearance; a name used twice
// is one parameter. Values are null, qint64, double or text.
class DbStatement {
public:
    virtual ~DbStatement() = default;

    virtual int parameterCount() const = 0;
    // The name of parameter `index` (from 1), without the colon.
    virtual QString parameterName(int index) const = 0;
    virtual void bind(int index, const QVariant& value) = 0;
    // Ends the current run, ready to run again with the same values.
    virtual void reset() = 0;
    virtual void clearBindings() = 0;
    // Runs the statement on the first call after reset(), then moves to the
    // next row; false when there is none. Engine errors raise AppError.
    virtual bool step() = 0;
    // Rows changed by the last run of a statement that changes rows.
    virtual int changes() = 0;

    // The current row's columns.
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    virtual bool isInteger(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual QByteArrayView text(int column) = 0;  // UTF-8, valid until the next row

    // Runs the statement and reads every row with the column names: the read
    // of a whole list, done by the engine in one loop.
    virtual void readAll(QStringList& names, QVector<QVector<QVariant>>& rows) = 0;
};

// A connection to the books on one engine.
class DbEngine {
public:
    virtual ~DbEngine() = default;

    virtual DbKind kind() const = 0;
    // `owner` names the statement's query in the messages of its errors.
    virtual std::unique_ptr<DbStatement> prepare(const QString& sql,
                                                 const QString& owner = {}) = 0;
    // Runs one or more statements without parameters.
    virtual void executeScript(const QString& sql) = 0;
    virtual bool inTransaction() const = 0;
    // The key of the last row inserted on this connection.
    virtual qint64 lastInsertId() = 0;
    // A write transaction that takes the engine's write lock at once.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    // The file's own handle, for the work on whole files; null on a server.
    virtual sqlite3* sqliteHandle() const { return nullptr; }
    // The server's driver, which delivers the notices the connection listens
    // for; null on a file.
    virtual QSqlDriver* serverDriver() const { return nullptr; }
};

std::unique_ptr<DbEngine> openSqliteEngine(const QString& connectionName, const QString& path,
                                           DbConnection::Access access);
// Takes over a handle opened with the engine's own API (the work on whole
// files: copying, verifying); the engine closes it.
std::unique_ptr<DbEngine> adoptSqliteHandle(sqlite3* handle);
std::unique_ptr<DbEngine> openPgEngine(const QString& connectionName, const QString& uri,
                                       DbConnection::Access access);

// The ":Name" markers of a statement outside quotes and comments, each with
// its place in the text (offset of the colon, length with it). A name used
// again keeps its first number: `names` lists each once. Each use has
// number 0 where the text holds a name in square brackets ("[Note]", the
// file's way of quoting a name) instead.
struct SqlParams {
    QStringList names;
    struct Use {
        int offset;
        int length;
        int number;  // from 1; 0 for a bracketed name
    };
    QVector<Use> uses;
    // Where text other than blanks, comments and ";" follows the end of the
    // first statement, that text; else empty.
    QString tail;
};
SqlParams parseSqlParams(const QString& sql);

// A refused foreign key: a delete is refused for the rows that refer to the
// record; an insert or update for a record it refers to that no longer exists.
AppError::Kind foreignKeyKind(const QString& statement);

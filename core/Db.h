#pragma once

#include "AppError.h"
#include "DataSet.h"
#include "Money.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>

struct sqlite3;
class DbEngine;
class DbQuery;
class DbStatement;
class SqlDialect;

// The engine that keeps the books: an SQLite file, or a PostgreSQL server.
enum class DbKind { Sqlite, Postgres };

// Whether a database path names a PostgreSQL server
// ("postgresql://host:port/dbname?sslmode=require", or "postgres://...").
bool isServerUri(const QString& path);

// The program's one database connection: an SQLite file, or a PostgreSQL
// database, with the functions, collation and settings that every statement
// of the program relies on.
class DbConnection {
public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // What open() may change of the file. The program writes with the rollback
    // journal, and switches a file kept with the write-ahead log back to it; a
    // tool that mends a file keeps its journal mode, and one that only looks
    // at it also has every write refused (PRAGMA query_only).
    enum class Access { Program, KeepJournal, ReadOnly };

    // Opens an existing database file, or connects to the server a URI names;
    // a missing file, one that is not a database, or a server that cannot be
    // reached raises the engine's error and leaves the connection closed.
    void open(const QString& path, Access access = Access::Program);
    void close();
    bool isOpen() const { return m_engine != nullptr; }
    QString path() const { return m_path; }
    DbKind kind() const;
    // How this connection's engine writes what differs between engines.
    const SqlDialect& dialect() const;
    DbEngine& engine() const;

    // How long a statement waits for another program's lock before it fails.
    static int busyTimeoutMs();
    static void setBusyTimeoutMs(int ms);

    // The file's own handle; raises on a server connection.
    sqlite3* handle() const;
    // Runs one or more statements without parameters; raises on error.
    void executeScript(const QString& sql);
    bool inTransaction() const;
    // The key of the last row inserted on this connection.
    qint64 lastInsertRowId() const;

private:
    friend class DbQuery;
    void attach(DbQuery* query) { m_queries.insert(query); }
    void detach(DbQuery* query) { m_queries.remove(query); }

    QString m_name;
    QString m_path;
    std::unique_ptr<DbEngine> m_engine;
    QSet<DbQuery*> m_queries;
};

// SQL for the money of a column in ten-thousandths, rounded half away as the
// program reads money, so that sums over it are exact; null stays null.
QString moneyUnitsSql(const QString& column);

// Money as a statement binds it: a whole amount as an integer, any other as
// the double nearest to its four decimals, which the engines read back exactly.
QVariant moneyValue(Money value);

// The engine's current error on a connection, as an AppError.
AppError engineError(sqlite3* db, int code, const QString& statement = {});
[[noreturn]] void raiseEngineError(sqlite3* db, int code, const QString& statement = {});

// A statement with named parameters on a connection: set its text (whole or
// line by line), bind each ":Name" by name with a stated type, then open it to
// read its rows into memory, or execute it for the number of rows affected.
class DbQuery : public DataSet {
    Q_OBJECT
public:
    explicit DbQuery(DbConnection& connection, const QString& name = {},
                     QObject* parent = nullptr);
    ~DbQuery() override;

    void clearSql();
    void addSql(const QString& line);
    void setSql(const QString& text);
    QString sql() const { return m_lines.join(QLatin1Char('\n')); }
    // Parameter names in order of appearance, without the colon.
    QStringList paramNames() const;

    void bindInteger(const QString& name, qint64 value);
    void bindDouble(const QString& name, double value);
    void bindMoney(const QString& name, Money value);
    void bindDateTime(const QString& name, const QDateTime& value);
    void bindDate(const QString& name, const QDate& value);  // midnight of the day
    void bindString(const QString& name, const QString& value);
    void bindNull(const QString& name);

    // Runs the statement and reads every row; the cursor stands on the first.
    void open();
    // Runs the statement again with the same text and values.
    void requery() { open(); }
    // Runs a statement that returns no rows; gives the number of rows affected.
    int execute();

    // The statement is finalized (the connection is closing).
    void release();

    DbConnection& connection() const { return m_connection; }

private:
    void bindValue(const QString& name, const QVariant& value);
    DbStatement& prepared();
    void bindAll(DbStatement& stmt);

    DbConnection& m_connection;
    QStringList m_lines;
    QHash<QString, QVariant> m_values;  // lower-case name -> value
    std::unique_ptr<DbStatement> m_stmt;
    mutable QStringList m_paramNames;
    mutable bool m_paramsParsed = false;
};

// A write of several statements that stands or falls as one: begun now with
// the engine's write lock, rolled back when the scope ends without commit().
class Transaction {
public:
    explicit Transaction(DbConnection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();
    void rollback();

private:
    DbConnection& m_connection;
    bool m_done = false;
};

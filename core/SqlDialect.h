#pragma once

#include "Db.h"

#include <QString>
#include <QStringList>

// What the two engines write differently, in one place. A statement is
// written once; where it needs one of these, it asks its connection's
// dialect for the piece of text (connection.dialect().now()). Every piece
// gives the same value on both engines: dates and times are the stored text
// "yyyy-MM-dd HH:mm:ss".
class SqlDialect {
public:
    static const SqlDialect& of(DbKind kind);
    DbKind kind() const { return m_kind; }

    // The column type of a key that the engine numbers itself.
    QString autoKeyType() const;
    // A statement that gives the key of the row this connection inserted last.
    QString lastIdQuery() const;
    // The computer's current local date and time, in the stored form.
    QString now() const;
    // A stored date and time moved by a whole number of days (either may be
    // an expression or a parameter), in the stored form.
    QString addDays(const QString& dateTime, const QString& days) const;
    // An expression ordered as a Russian dictionary orders captions.
    QString russianOrder(const QString& expr) const;
    // Texts joined; null when any is null.
    QString concat(const QStringList& parts) const;
    // Whether two texts are equal whatever their letter case, in all of Unicode.
    QString equalsNoCase(const QString& a, const QString& b) const;
    // `length` characters of a text from a 1-based start.
    QString substring(const QString& text, const QString& start, const QString& length) const;
    // The tail of a select that keeps its first `count` rows.
    QString limit(int count) const;
    // A statement run before a transaction that writes many rows, so that the
    // engine keeps them in memory until the commit; empty where it needs none.
    QString largeWriteSetup() const;
    // Writes a row, or replaces the row with the same key.
    QString insertOrReplace(const QString& table, const QStringList& columns,
                            const QStringList& keyColumns) const;

    // A list statement stored in the books, in the file's words, as this
    // engine reads it: a cross join with a join condition is an inner join.
    QString storedStatement(const QString& sql) const;
    // A select of one row whose column n is 1 when a table named :Name is in
    // the books, else 0.
    QString tableCountQuery() const;
    // A select of one row whose column n counts the triggers of these names.
    QString triggerCountQuery(const QStringList& names) const;
    // A select of one row whose first column is 1 when this connection may
    // not write, else 0.
    QString readOnlyQuery() const;
    // A select of one row whose column n counts the columns named so in a table.
    QString columnCountQuery(const QString& table, const QString& column) const;
    // A select of this connection's own session on the server, with columns
    // Pid and Started (text); empty for a file, which has no such session.
    QString ownServerSessionQuery() const;
    // A select whose column n counts the server's sessions with the process
    // id :Pid started at :Started (or whose start the server hides from this
    // user); empty for a file.
    QString serverSessionCountQuery() const;
    // Begins a transaction that only reads and sees one moment of the books
    // throughout, whatever other programs commit meanwhile.
    QString snapshotBegin() const;
    // The tail of a select, inside a write transaction, that holds the rows it
    // reads (of `table`, an alias of the select, or all) against another
    // computer's change until the transaction ends. Empty for a file, whose
    // write transaction already holds the whole file.
    QString rowLock(const QString& table = {}) const;
    // Writes a row unless one with the same key is there; the statement then
    // affects no row. On a server a row another transaction is writing with
    // that key makes it wait for that transaction, and write nothing if it
    // commits.
    QString insertOrIgnore(const QString& table, const QStringList& columns,
                           const QStringList& keyColumns) const;

private:
    explicit SqlDialect(DbKind kind) : m_kind(kind) {}
    bool pg() const { return m_kind == DbKind::Postgres; }
    DbKind m_kind;
};

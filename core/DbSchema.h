#pragma once

#include "Db.h"

#include <QString>

#include <functional>

class DbConnection;

// The statements that make the tables, those that fill the configuration,
// and those of the starter reference books.
// The tables of the engine given (the file's by default).
QString schemaSql(DbKind kind = DbKind::Sqlite);
QString configurationSql();
QString starterBooksSql();

// What a new file holds besides the tables and the configuration.
enum class NewFileContents { ConfigurationOnly, StarterBooks };

// Makes a new database file (mode 0600) with the tables and the configuration
// rows, and the starter books when asked. An existing path is refused and
// left untouched; errors are raised.
void CreateDatabaseFile(const QString& path,
                        NewFileContents contents = NewFileContents::ConfigurationOnly);
// Makes the books in an empty database on a server (a postgresql:// URI):
// the tables, the configuration rows and the starter books when asked, all in
// one transaction, with whatever `fill` then writes (the demo books). A
// database that has tables is refused and left untouched.
void CreateServerBooks(const QString& uri,
                       NewFileContents contents = NewFileContents::ConfigurationOnly,
                       const std::function<void(DbConnection&)>& fill = {});
// Whether the connected database on a server has no tables yet.
bool isEmptyServerDatabase(DbConnection& connection);
// Moves the counter of every identity column on a server past the largest
// key its table holds, after rows were written with their keys given.
void advanceServerCounters(DbConnection& connection);
// Whether the books have a table of this name.
bool hasTableNamed(DbConnection& connection, const QString& table);
// Gives books made before a table existed that table and its indexes, as the
// schema of the connection's engine writes them; a table that is there
// already is left alone.
void createMissingTable(DbConnection& connection, const QString& table);
// Writes the tables and configuration rows into an open, empty database; the
// first user's empty password is stored as its hash.
void CreateSchema(DbConnection& connection);
// Adds the reference books a new family starts with: the currency RUB, the
// accounts "Наличные" and "Банковская карта", the usual categories of a
// household in the types "Расходы" and "Доходы", and the counterparty types
// "Магазины" and "Люди". No documents.
void FillStarterBooks(DbConnection& connection);

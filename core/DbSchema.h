#pragma once

#include <QString>

class DbConnection;

// The statements that make the tables, and those that fill the configuration.
QString schemaSql();
QString configurationSql();

// Makes a new database file (mode 0600) with the tables and the configuration
// rows. An existing path is refused and left untouched; errors are raised.
void CreateDatabaseFile(const QString& path);
// Writes the tables and configuration rows into an open, empty database.
void CreateSchema(DbConnection& connection);

#pragma once

#include "AppError.h"

#include <QString>
#include <QStringList>

#include <memory>

struct sqlite3;
class DbEngine;

// A plain SQLite connection for the work on whole files: copying, verifying,
// checking. Its statements go through the file engine of the data layer; the
// copy and the check use the engine's own API on handle(). It opens an
// existing file only (never creates one), waits for another program's lock
// like the program's own connection, and raises the engine's text as an
// AppError.
class RawDb {
public:
    enum class Mode { ReadOnly, ReadWrite };
    RawDb(const QString& path, Mode mode);
    ~RawDb();
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    sqlite3* handle() const;
    void exec(const QString& sql);
    // The first column of every row, as text.
    QStringList column(const QString& sql);
    void close();

private:
    std::unique_ptr<DbEngine> m_engine;
};

// Reads the file through memory mapping on this connection: a walk over a
// whole file (a check, a copy) then costs no system call per page.
void mapIntoMemory(sqlite3* db);

// What PRAGMA integrity_check reports; empty when the file is sound.
QStringList integrityProblems(RawDb& db);

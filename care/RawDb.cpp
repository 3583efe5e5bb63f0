#include "RawDb.h"

#include "Db.h"

#include <QFile>

#include <sqlite3.h>

RawDb::RawDb(const QString& path, Mode mode) {
    const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db,
                                   flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const AppError error = engineError(m_db, rc);
        close();
        throw error;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, DbConnection::busyTimeoutMs());
}

RawDb::~RawDb() {
    close();
}

void RawDb::close() {
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void RawDb::exec(const QString& sql) {
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        raiseEngineError(m_db, rc, sql);
    }
}

QStringList RawDb::column(const QString& sql) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        raiseEngineError(m_db, rc, sql);
    }
    QStringList values;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        values << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    const AppError error = engineError(m_db, rc, sql);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        throw error;
    }
    return values;
}

void mapIntoMemory(sqlite3* db) {
    // The most the engine maps; a larger file is read past it as usual.
    sqlite3_exec(db, "PRAGMA mmap_size = 2147418112", nullptr, nullptr, nullptr);
}

QStringList integrityProblems(RawDb& db) {
    QStringList lines;
    mapIntoMemory(db.handle());
    try {
        lines = db.column(QStringLiteral("PRAGMA integrity_check"));
    } catch (const AppError& e) {
        // A file too damaged to be walked at all.
        return {e.text()};
    }
    if (lines == QStringList{QStringLiteral("ok")}) {
        return {};
    }
    return lines;
}

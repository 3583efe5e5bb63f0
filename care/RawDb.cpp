#include "RawDb.h"

#include "Db.h"
#include "DbEngine.h"

#include <QFile>

#include <sqlite3.h>

RawDb::RawDb(const QString& path, Mode mode) {
    const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                   flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const AppError error = engineError(db, rc);
        sqlite3_close_v2(db);
        throw error;
    }
    m_engine = adoptSqliteHandle(db);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, DbConnection::busyTimeoutMs());
}

RawDb::~RawDb() = default;

sqlite3* RawDb::handle() const {
    return m_engine ? m_engine->sqliteHandle() : nullptr;
}

void RawDb::close() {
    m_engine.reset();
}

void RawDb::exec(const QString& sql) {
    m_engine->executeScript(sql);
}

QStringList RawDb::column(const QString& sql) {
    const std::unique_ptr<DbStatement> stmt = m_engine->prepare(sql);
    QStringList values;
    while (stmt->step()) {
        values << QString::fromUtf8(stmt->text(0));
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

#include "SqlCursor.h"

#include "Db.h"

#include <sqlite3.h>

SqlCursor::SqlCursor(DbConnection& connection, const QString& sql)
    : m_db(connection.handle()), m_sql(sql) {
    const int rc = sqlite3_prepare16_v2(m_db, sql.utf16(), int(sql.size() * 2), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        raiseEngineError(m_db, rc, sql);
    }
}

SqlCursor::~SqlCursor() {
    sqlite3_finalize(m_stmt);
}

int SqlCursor::index(const char* name) const {
    const int i = sqlite3_bind_parameter_index(m_stmt, name);
    if (i == 0) {
        throw AppError(QStringLiteral("в запросе нет параметра '%1'").arg(QLatin1String(name)));
    }
    return i;
}

void SqlCursor::bindInteger(const char* name, qint64 value) {
    sqlite3_bind_int64(m_stmt, index(name), value);
}

void SqlCursor::bindText(const char* name, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(m_stmt, index(name), utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void SqlCursor::bindDouble(const char* name, double value) {
    sqlite3_bind_double(m_stmt, index(name), value);
}

void SqlCursor::bindNull(const char* name) {
    sqlite3_bind_null(m_stmt, index(name));
}

void SqlCursor::execute() {
    const int rc = sqlite3_step(m_stmt);
    sqlite3_reset(m_stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        raiseEngineError(m_db, rc, m_sql);
    }
}

bool SqlCursor::next() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        raiseEngineError(m_db, rc, m_sql);
    }
    return false;
}

bool SqlCursor::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

bool SqlCursor::isInteger(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_INTEGER;
}

qint64 SqlCursor::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

double SqlCursor::real(int column) const {
    return sqlite3_column_double(m_stmt, column);
}

QByteArrayView SqlCursor::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(p, p ? sqlite3_column_bytes(m_stmt, column) : 0);
}

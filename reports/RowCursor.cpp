#include "RowCursor.h"

#include "Db.h"

#include <sqlite3.h>

RowCursor::RowCursor(DbConnection& connection, const QString& sql)
    : m_db(connection.handle()), m_sql(sql) {
    const int rc = sqlite3_prepare16_v2(m_db, sql.utf16(), int(sql.size() * 2), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        raiseEngineError(m_db, rc, sql);
    }
}

RowCursor::~RowCursor() {
    sqlite3_finalize(m_stmt);
}

int RowCursor::index(const char* name) const {
    const int i = sqlite3_bind_parameter_index(m_stmt, name);
    if (i == 0) {
        throw AppError(QStringLiteral("в запросе нет параметра '%1'").arg(QLatin1String(name)));
    }
    return i;
}

void RowCursor::bindInteger(const char* name, qint64 value) {
    sqlite3_bind_int64(m_stmt, index(name), value);
}

void RowCursor::bindText(const char* name, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    sqlite3_bind_text(m_stmt, index(name), utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

bool RowCursor::next() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc != SQLITE_DONE) {
        raiseEngineError(m_db, rc, m_sql);
    }
    return false;
}

bool RowCursor::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 RowCursor::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

QByteArrayView RowCursor::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QByteArrayView(p, sqlite3_column_bytes(m_stmt, column));
}

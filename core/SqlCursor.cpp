#include "SqlCursor.h"

#include "AppError.h"
#include "Db.h"
#include "DbEngine.h"

#include <cstring>

SqlCursor::SqlCursor(DbConnection& connection, const QString& sql)
    : m_stmt(connection.engine().prepare(sql)) {
    for (int i = 1; i <= m_stmt->parameterCount(); ++i) {
        m_names << ':' + m_stmt->parameterName(i).toUtf8();
    }
}

SqlCursor::~SqlCursor() = default;

int SqlCursor::index(const char* name) const {
    for (int i = 0; i < m_names.size(); ++i) {
        if (std::strcmp(m_names[i].constData(), name) == 0) {
            return i + 1;
        }
    }
    throw AppError(QStringLiteral("в запросе нет параметра '%1'").arg(QLatin1String(name)));
}

void SqlCursor::bindInteger(const char* name, qint64 value) {
    bindInteger(index(name), value);
}

void SqlCursor::bindText(const char* name, const QString& value) {
    bindText(index(name), value);
}

void SqlCursor::bindDouble(const char* name, double value) {
    bindDouble(index(name), value);
}

void SqlCursor::bindMoney(const char* name, Money value) {
    m_stmt->bind(index(name), moneyValue(value));
}

void SqlCursor::bindNull(const char* name) {
    bindNull(index(name));
}

void SqlCursor::bindInteger(int position, qint64 value) {
    m_stmt->bind(position, QVariant::fromValue(value));
}

void SqlCursor::bindText(int position, const QString& value) {
    m_stmt->bind(position, QVariant(value.isNull() ? QStringLiteral("") : value));
}

void SqlCursor::bindDouble(int position, double value) {
    m_stmt->bind(position, QVariant::fromValue(value));
}

void SqlCursor::bindNull(int position) {
    m_stmt->bind(position, QVariant());
}

int SqlCursor::execute() {
    m_stmt->step();
    const int changed = m_stmt->changes();
    m_stmt->reset();
    return changed;
}

bool SqlCursor::next() {
    return m_stmt->step();
}

bool SqlCursor::isNull(int column) const {
    return m_stmt->isNull(column);
}

bool SqlCursor::isInteger(int column) const {
    return m_stmt->isInteger(column);
}

qint64 SqlCursor::integer(int column) const {
    return m_stmt->integer(column);
}

double SqlCursor::real(int column) const {
    return m_stmt->real(column);
}

QByteArrayView SqlCursor::text(int column) const {
    return m_stmt->text(column);
}

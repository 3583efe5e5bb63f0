#include "Db.h"

#include "DbEngine.h"
#include "SqlDialect.h"

#include <QAtomicInt>

namespace {

int g_busyTimeoutMs = 5000;

}  // namespace

SqlParams parseSqlParams(const QString& sql) {
    SqlParams params;
    const int n = int(sql.size());
    int end = -1;  // the first ";" outside quotes and comments
    for (int i = 0; i < n; ++i) {
        const QChar c = sql[i];
        const bool comment =
            (c == QLatin1Char('-') || c == QLatin1Char('/')) && i + 1 < n &&
            sql[i + 1] == (c == QLatin1Char('-') ? QLatin1Char('-') : QLatin1Char('*'));
        if (end >= 0 && params.tail.isEmpty() && !c.isSpace() && c != QLatin1Char(';') &&
            !comment) {
            params.tail = sql.mid(end + 1).trimmed();
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[') ||
            c == QLatin1Char('`')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            const int open = i;
            for (++i; i < n && sql[i] != close; ++i) {
            }
            if (c == QLatin1Char('[') && i < n) {
                params.uses.push_back({open, i - open + 1, 0});
            }
        } else if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            for (; i < n && sql[i] != QLatin1Char('\n'); ++i) {
            }
        } else if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            const int close = int(sql.indexOf(QLatin1String("*/"), i + 2));
            i = close < 0 ? n : close + 1;
        } else if (c == QLatin1Char(';')) {
            end = end < 0 ? i : end;
        } else if (c == QLatin1Char(':') && i + 1 < n &&
                   (sql[i + 1].isLetter() || sql[i + 1] == QLatin1Char('_'))) {
            int j = i + 1;
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == QLatin1Char('_'))) {
                ++j;
            }
            const QString name = sql.mid(i + 1, j - i - 1);
            int number = 0;
            for (int k = 0; k < params.names.size() && number == 0; ++k) {
                if (params.names[k].compare(name, Qt::CaseInsensitive) == 0) {
                    number = k + 1;
                }
            }
            if (number == 0) {
                params.names << name;
                number = int(params.names.size());
            }
            params.uses.push_back({i, j - i, number});
            i = j - 1;
        }
    }
    return params;
}

AppError::Kind foreignKeyKind(const QString& statement) {
    const QString verb = statement.trimmed();
    if (verb.startsWith(QLatin1String("delete"), Qt::CaseInsensitive)) {
        return AppError::Kind::RecordInUse;
    }
    if (verb.startsWith(QLatin1String("insert"), Qt::CaseInsensitive) ||
        verb.startsWith(QLatin1String("update"), Qt::CaseInsensitive)) {
        return AppError::Kind::RecordMissing;
    }
    return AppError::Kind::Other;
}

QString moneyUnitsSql(const QString& column) {
    return QStringLiteral("cast(round(%1 * 10000) as bigint)").arg(column);
}

QVariant moneyValue(Money value) {
    if (value.units() % Money::Scale == 0) {
        return QVariant::fromValue<qint64>(value.units() / Money::Scale);
    }
    return QVariant::fromValue(value.toDouble());
}

bool isServerUri(const QString& path) {
    return path.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           path.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

// ---------------------------------------------------------------- DbConnection

DbConnection::DbConnection() {
    static QAtomicInt counter;
    m_name = QStringLiteral("dorsanti-%1").arg(counter.fetchAndAddRelaxed(1));
}

DbConnection::~DbConnection() {
    close();
}

int DbConnection::busyTimeoutMs() {
    return g_busyTimeoutMs;
}

void DbConnection::setBusyTimeoutMs(int ms) {
    g_busyTimeoutMs = ms;
}

DbEngine& DbConnection::engine() const {
    if (!m_engine) {
        throw AppError(QStringLiteral("Нет соединения с базой данных."));
    }
    return *m_engine;
}

DbKind DbConnection::kind() const {
    return engine().kind();
}

const SqlDialect& DbConnection::dialect() const {
    return SqlDialect::of(kind());
}

sqlite3* DbConnection::handle() const {
    sqlite3* h = engine().sqliteHandle();
    if (!h) {
        throw AppError(
            QStringLiteral("Эта операция выполняется только с файлом базы данных, "
                           "а не с сервером."));
    }
    return h;
}

void DbConnection::open(const QString& path, Access access) {
    close();
    m_engine = isServerUri(path) ? openPgEngine(m_name, path, access)
                                 : openSqliteEngine(m_name, path, access);
    m_path = path;
}

void DbConnection::close() {
    for (DbQuery* q : std::as_const(m_queries)) {
        q->release();
    }
    m_engine.reset();
    m_path.clear();
}

void DbConnection::executeScript(const QString& sql) {
    engine().executeScript(sql);
}

qint64 DbConnection::lastInsertRowId() const {
    return engine().lastInsertId();
}

bool DbConnection::inTransaction() const {
    return m_engine && m_engine->inTransaction();
}

// ---------------------------------------------------------------- DbQuery

DbQuery::DbQuery(DbConnection& connection, const QString& name, QObject* parent)
    : DataSet(parent), m_connection(connection) {
    setObjectName(name);
    m_connection.attach(this);
}

DbQuery::~DbQuery() {
    release();
    m_connection.detach(this);
}

void DbQuery::release() {
    m_stmt.reset();
}

void DbQuery::clearSql() {
    close();
    release();
    m_lines.clear();
    m_values.clear();
    m_paramsParsed = false;
}

void DbQuery::addSql(const QString& line) {
    close();
    release();
    m_lines << line;
    m_values.clear();
    m_paramsParsed = false;
}

void DbQuery::setSql(const QString& text) {
    clearSql();
    m_lines << text;
}

QStringList DbQuery::paramNames() const {
    if (!m_paramsParsed) {
        m_paramNames = parseSqlParams(sql()).names;
        m_paramsParsed = true;
    }
    return m_paramNames;
}

void DbQuery::bindValue(const QString& name, const QVariant& value) {
    for (const QString& p : paramNames()) {
        if (p.compare(name, Qt::CaseInsensitive) == 0) {
            m_values.insert(name.toLower(), value);
            return;
        }
    }
    throw AppError(QStringLiteral("%1: Parameter '%2' not found").arg(objectName(), name));
}

void DbQuery::bindInteger(const QString& name, qint64 value) {
    bindValue(name, QVariant::fromValue(value));
}

void DbQuery::bindDouble(const QString& name, double value) {
    bindValue(name, QVariant::fromValue(value));
}

void DbQuery::bindMoney(const QString& name, Money value) {
    bindValue(name, moneyValue(value));
}

void DbQuery::bindDateTime(const QString& name, const QDateTime& value) {
    bindValue(name, value.isValid() ? QVariant(storedDateTime(value)) : QVariant());
}

void DbQuery::bindDate(const QString& name, const QDate& value) {
    bindValue(name, value.isValid() ? QVariant(storedDate(value)) : QVariant());
}

void DbQuery::bindString(const QString& name, const QString& value) {
    // An empty text is written as the empty string, never as null.
    bindValue(name, QVariant(value.isNull() ? QStringLiteral("") : value));
}

void DbQuery::bindNull(const QString& name) {
    bindValue(name, QVariant());
}

DbStatement& DbQuery::prepared() {
    DbEngine& engine = m_connection.engine();
    if (m_stmt) {
        m_stmt->reset();
        m_stmt->clearBindings();
        return *m_stmt;
    }
    m_stmt = engine.prepare(sql(), objectName());
    return *m_stmt;
}

void DbQuery::bindAll(DbStatement& stmt) {
    const int count = stmt.parameterCount();
    for (int i = 1; i <= count; ++i) {
        const QString name = stmt.parameterName(i);
        const auto it = m_values.constFind(name.toLower());
        if (it == m_values.cend()) {
            throw AppError(
                QStringLiteral("%1: Parameter '%2' has no value").arg(objectName(), name));
        }
        stmt.bind(i, *it);
    }
}

void DbQuery::open() {
    close();
    DbStatement& stmt = prepared();
    bindAll(stmt);
    QStringList names;
    QVector<Row> rows;
    stmt.readAll(names, rows);
    setContents(std::move(names), std::move(rows));
}

int DbQuery::execute() {
    close();
    DbStatement& stmt = prepared();
    bindAll(stmt);
    while (stmt.step()) {
    }
    const int changes = stmt.changes();
    stmt.reset();
    return changes;
}

// ---------------------------------------------------------------- Transaction

Transaction::Transaction(DbConnection& connection) : m_connection(connection) {
    m_connection.engine().begin();
}

Transaction::~Transaction() {
    if (!m_done) {
        try {
            rollback();
        } catch (...) {
            // The engine may already have ended the transaction on its own.
        }
    }
}

void Transaction::commit() {
    m_connection.engine().commit();
    m_done = true;
}

void Transaction::rollback() {
    m_done = true;
    if (m_connection.inTransaction()) {
        m_connection.engine().rollback();
    }
}

#include "Db.h"

#include <QAtomicInt>
#include <QCollator>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

int g_busyTimeoutMs = 5000;

// Now(): the computer's local date and time in the stored form.
void sqlNow(sqlite3_context* ctx, int, sqlite3_value**) {
    const QByteArray text = storedDateTime(QDateTime::currentDateTime()).toUtf8();
    sqlite3_result_text(ctx, text.constData(), int(text.size()), SQLITE_TRANSIENT);
}

// Advances over n characters (code points) of UTF-8 text.
const unsigned char* skipChars(const unsigned char* p, const unsigned char* end, qint64 n) {
    while (p < end && n > 0) {
        ++p;
        while (p < end && (*p & 0xC0) == 0x80) {
            ++p;
        }
        --n;
    }
    return p;
}

// mid(text, start, length): characters from a 1-based start, as the lists use
// for the first 250 characters of a note.
void sqlMid(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* text = sqlite3_value_text(argv[0]);
    const int bytes = sqlite3_value_bytes(argv[0]);
    const qint64 start = std::max<qint64>(1, sqlite3_value_int64(argv[1]));
    const qint64 length = std::max<qint64>(0, sqlite3_value_int64(argv[2]));
    const unsigned char* end = text + bytes;
    const unsigned char* from = skipChars(text, end, start - 1);
    const unsigned char* to = skipChars(from, end, length);
    sqlite3_result_text(ctx, reinterpret_cast<const char*>(from), int(to - from),
                        SQLITE_TRANSIENT);
}

// NOCASE that folds all of Unicode, so that "ИВАН" equals "иван". It is
// registered for UTF-8, the file's encoding, because the engine prefers a
// collation of the file's own encoding over one of another.
int unicodeNoCase(void*, int lenA, const void* a, int lenB, const void* b) {
    const QString x = QString::fromUtf8(static_cast<const char*>(a), lenA);
    const QString y = QString::fromUtf8(static_cast<const char*>(b), lenB);
    return x.compare(y, Qt::CaseInsensitive);
}

// RUSSIAN: captions as a Russian dictionary orders them, whatever their case,
// with "Ё" beside "Е" ("архив", "Все", "Ёлка", "Ящик"). Lists name it in their
// "order by"; the schema does not, so that the stock sqlite3 tool, which
// lacks it, still reads and checks every table and index.
int russianDictionaryOrder(void* collator, int lenA, const void* a, int lenB, const void* b) {
    const QString x = QString::fromUtf8(static_cast<const char*>(a), lenA);
    const QString y = QString::fromUtf8(static_cast<const char*>(b), lenB);
    // Texts that differ in case alone are equal: they keep the order in
    // which the database gives them.
    return static_cast<const QCollator*>(collator)->compare(x, y);
}

const QCollator* russianCollator() {
    static const QCollator collator = [] {
        QCollator c{QLocale(QLocale::Russian, QLocale::Russia)};
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(false);
        return c;
    }();
    return &collator;
}

AppError::Kind kindOf(int code, const QString& statement) {
    switch (code & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return AppError::Kind::Busy;
        case SQLITE_FULL:
            return AppError::Kind::DiskFull;
        case SQLITE_NOTADB:
            return AppError::Kind::NotADatabase;
        default:
            break;
    }
    if (code == SQLITE_CONSTRAINT_FOREIGNKEY) {
        // A delete is refused for the rows that refer to the record; an insert
        // or update for a record it refers to that no longer exists.
        const QString verb = statement.trimmed();
        if (verb.startsWith(QLatin1String("delete"), Qt::CaseInsensitive)) {
            return AppError::Kind::RecordInUse;
        }
        if (verb.startsWith(QLatin1String("insert"), Qt::CaseInsensitive) ||
            verb.startsWith(QLatin1String("update"), Qt::CaseInsensitive)) {
            return AppError::Kind::RecordMissing;
        }
    }
    return AppError::Kind::Other;
}

// The texts of one column that were read last. Lists repeat the same few
// texts (an account, a status, a day) on many rows: those rows then share one
// string, which saves an allocation per cell and most of the memory.
class RecentTexts {
public:
    QVariant take(const char* utf8, int bytes) {
        for (int i = 0; i < m_used; ++i) {
            const Entry& e = m_entries[i];
            if (e.bytes.size() == bytes && std::memcmp(e.bytes.constData(), utf8, bytes) == 0) {
                return e.value;
            }
        }
        Entry& slot = m_entries[m_next];
        m_next = (m_next + 1) % kSize;
        m_used = std::max(m_used, m_next == 0 ? kSize : m_next);
        slot.bytes = QByteArray(utf8, bytes);
        slot.value = QString::fromUtf8(utf8, bytes);
        return slot.value;
    }

private:
    static constexpr int kSize = 16;
    struct Entry {
        QByteArray bytes;
        QVariant value;
    };
    std::array<Entry, kSize> m_entries;
    int m_next = 0;
    int m_used = 0;  // slots filled so far
};

// Finds ":Name" markers outside quotes, brackets and comments.
QStringList parseParamNames(const QString& sql) {
    QStringList names;
    const int n = int(sql.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[') ||
            c == QLatin1Char('`')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            for (++i; i < n && sql[i] != close; ++i) {
            }
        } else if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            for (; i < n && sql[i] != QLatin1Char('\n'); ++i) {
            }
        } else if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            const int close = int(sql.indexOf(QLatin1String("*/"), i + 2));
            i = close < 0 ? n : close + 1;
        } else if (c == QLatin1Char(':') && i + 1 < n &&
                   (sql[i + 1].isLetter() || sql[i + 1] == QLatin1Char('_'))) {
            int j = i + 1;
            while (j < n && (sql[j].isLetterOrNumber() || sql[j] == QLatin1Char('_'))) {
                ++j;
            }
            const QString name = sql.mid(i + 1, j - i - 1);
            bool seen = false;
            for (const QString& known : names) {
                seen = seen || known.compare(name, Qt::CaseInsensitive) == 0;
            }
            if (!seen) {
                names << name;
            }
            i = j - 1;
        }
    }
    return names;
}

// Whether a text holds no statement: only blanks, comments and ";". The
// engine's own parser decides, as it does for the statement before it.
bool onlyBlanksAndComments(sqlite3* db, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const char* p = utf8.constData();
    const char* end = p + utf8.size();
    while (p < end) {
        sqlite3_stmt* stmt = nullptr;
        const char* rest = nullptr;
        const int rc = sqlite3_prepare_v2(db, p, int(end - p), &stmt, &rest);
        if (stmt) {
            sqlite3_finalize(stmt);
        }
        if (rc != SQLITE_OK || stmt || !rest || rest == p) {
            return false;
        }
        p = rest;
    }
    return true;
}

}  // namespace

QString moneyUnitsSql(const QString& column) {
    return QStringLiteral("cast(round(%1 * 10000) as integer)").arg(column);
}

AppError engineError(sqlite3* db, int code, const QString& statement) {
    const int extended = db ? sqlite3_extended_errcode(db) : code;
    QString text = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
    if (text.isEmpty() || text == QLatin1String("not an error")) {
        text = QString::fromUtf8(sqlite3_errstr(code));
    }
    return AppError(text, kindOf(extended ? extended : code, statement), extended);
}

[[noreturn]] void raiseEngineError(sqlite3* db, int code, const QString& statement) {
    throw engineError(db, code, statement);
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

sqlite3* DbConnection::handle() const {
    if (!m_handle) {
        throw AppError(QStringLiteral("Нет соединения с базой данных."));
    }
    return m_handle;
}

void DbConnection::open(const QString& path, Access access) {
    close();
    // "mode=rw": the engine opens an existing file and never creates one.
    QString uri =
        QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded) +
        QStringLiteral("?mode=rw");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        db.setDatabaseName(uri);
        if (!db.open()) {
            QString text = db.lastError().databaseText();
            if (text.isEmpty()) {
                text = db.lastError().text();
            }
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_name);
            throw AppError(text);
        }
        const QVariant h = db.driver()->handle();
        m_handle = *static_cast<sqlite3* const*>(h.constData());
    }
    m_path = path;
    try {
        sqlite3_busy_timeout(m_handle, g_busyTimeoutMs);
        sqlite3_extended_result_codes(m_handle, 1);
        sqlite3_create_function_v2(m_handle, "Now", 0, SQLITE_UTF8, nullptr, sqlNow, nullptr,
                                   nullptr, nullptr);
        sqlite3_create_function_v2(m_handle, "mid", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   sqlMid, nullptr, nullptr, nullptr);
        sqlite3_create_collation_v2(m_handle, "NOCASE", SQLITE_UTF8, nullptr, unicodeNoCase,
                                    nullptr);
        sqlite3_create_collation_v2(m_handle, "RUSSIAN", SQLITE_UTF8,
                                    const_cast<QCollator*>(russianCollator()),
                                    russianDictionaryOrder, nullptr);
        // Reading the schema makes a file that is not a database fail here and
        // not at some later statement.
        executeScript(QStringLiteral("select count(*) from sqlite_master"));
        executeScript(QStringLiteral("PRAGMA foreign_keys = ON; PRAGMA synchronous = FULL;"));
        if (access == Access::Program) {
            // Rollback journal: safe also on folders that other computers
            // share, where the write-ahead log is not.
            executeScript(QStringLiteral("PRAGMA journal_mode = DELETE;"));
        } else if (access == Access::ReadOnly) {
            // The engine itself may still finish a write that a stopped
            // program left in a journal; no statement of ours writes.
            executeScript(QStringLiteral("PRAGMA query_only = ON;"));
        }
    } catch (...) {
        close();
        throw;
    }
}

void DbConnection::close() {
    for (DbQuery* q : std::as_const(m_queries)) {
        q->release();
    }
    if (m_handle) {
        m_handle = nullptr;
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    m_path.clear();
}

void DbConnection::executeScript(const QString& sql) {
    sqlite3* db = handle();
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_exec(db, text.constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        raiseEngineError(db, rc, sql);
    }
}

qint64 DbConnection::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(handle());
}

bool DbConnection::inTransaction() const {
    return m_handle && sqlite3_get_autocommit(m_handle) == 0;
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
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
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
        m_paramNames = parseParamNames(sql());
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
    if (value.units() % Money::Scale == 0) {
        bindValue(name, QVariant::fromValue<qint64>(value.units() / Money::Scale));
    } else {
        bindValue(name, QVariant::fromValue(value.toDouble()));
    }
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

sqlite3_stmt* DbQuery::prepared() {
    sqlite3* db = m_connection.handle();
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        return m_stmt;
    }
    const QString text = sql();
    const void* tail = nullptr;
    const int rc = sqlite3_prepare16_v2(db, text.utf16(), int(text.size() * 2), &m_stmt, &tail);
    if (rc != SQLITE_OK) {
        m_stmt = nullptr;
        raiseEngineError(db, rc, text);
    }
    if (!m_stmt) {
        throw AppError(QStringLiteral("%1: пустой текст запроса").arg(objectName()));
    }
    // The engine compiles the first statement only. Text after it must be
    // blanks, comments or ";", or the statement would run with part of its
    // text silently dropped ("delete from Valuta;" + "where ...").
    const auto* begin = static_cast<const char16_t*>(static_cast<const void*>(text.utf16()));
    const int offset = int(static_cast<const char16_t*>(tail) - begin);
    if (offset < text.size() && !onlyBlanksAndComments(db, text.mid(offset))) {
        release();
        throw AppError(
            QStringLiteral("%1: текст запроса продолжается после конца оператора: \"%2\"")
                .arg(objectName(), text.mid(offset).trimmed()));
    }
    return m_stmt;
}

void DbQuery::bindAll(sqlite3_stmt* stmt) {
    const int count = sqlite3_bind_parameter_count(stmt);
    for (int i = 1; i <= count; ++i) {
        const char* raw = sqlite3_bind_parameter_name(stmt, i);
        const QString name = raw ? QString::fromUtf8(raw + 1) : QString();
        const auto it = m_values.constFind(name.toLower());
        if (it == m_values.cend()) {
            throw AppError(
                QStringLiteral("%1: Parameter '%2' has no value").arg(objectName(), name));
        }
        const QVariant& v = *it;
        int rc = SQLITE_OK;
        switch (v.typeId()) {
            case QMetaType::UnknownType:
                rc = sqlite3_bind_null(stmt, i);
                break;
            case QMetaType::LongLong:
                rc = sqlite3_bind_int64(stmt, i, v.toLongLong());
                break;
            case QMetaType::Double:
                rc = sqlite3_bind_double(stmt, i, v.toDouble());
                break;
            default: {
                const QString s = v.toString();
                rc = sqlite3_bind_text16(stmt, i, s.utf16(), int(s.size() * 2), SQLITE_TRANSIENT);
                break;
            }
        }
        if (rc != SQLITE_OK) {
            raiseEngineError(m_connection.handle(), rc, sql());
        }
    }
}

void DbQuery::open() {
    close();
    sqlite3* db = m_connection.handle();
    sqlite3_stmt* stmt = prepared();
    bindAll(stmt);

    const int columns = sqlite3_column_count(stmt);
    QStringList names;
    names.reserve(columns);
    for (int c = 0; c < columns; ++c) {
        names << QString::fromUtf8(sqlite3_column_name(stmt, c));
    }
    QVector<Row> rows;
    std::vector<RecentTexts> recent(columns);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        Row row(columns);
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_INTEGER:
                    row[c] = QVariant::fromValue<qint64>(sqlite3_column_int64(stmt, c));
                    break;
                case SQLITE_FLOAT:
                    row[c] = sqlite3_column_double(stmt, c);
                    break;
                case SQLITE_TEXT: {
                    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
                    row[c] = recent[c].take(p, sqlite3_column_bytes(stmt, c));
                    break;
                }
                case SQLITE_BLOB: {
                    const int bytes = sqlite3_column_bytes(stmt, c);
                    row[c] =
                        QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, c)), bytes);
                    break;
                }
                default:
                    break;  // null
            }
        }
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        AppError error = engineError(db, rc, sql());
        sqlite3_reset(stmt);
        throw error;
    }
    sqlite3_reset(stmt);
    setContents(std::move(names), std::move(rows));
}

int DbQuery::execute() {
    close();
    sqlite3* db = m_connection.handle();
    sqlite3_stmt* stmt = prepared();
    bindAll(stmt);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        AppError error = engineError(db, rc, sql());
        sqlite3_reset(stmt);
        throw error;
    }
    const int changes = sqlite3_changes(db);
    sqlite3_reset(stmt);
    return changes;
}

// ---------------------------------------------------------------- Transaction

Transaction::Transaction(DbConnection& connection) : m_connection(connection) {
    m_connection.executeScript(QStringLiteral("BEGIN IMMEDIATE"));
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
    m_connection.executeScript(QStringLiteral("COMMIT"));
    m_done = true;
}

void Transaction::rollback() {
    m_done = true;
    if (m_connection.inTransaction()) {
        m_connection.executeScript(QStringLiteral("ROLLBACK"));
    }
}

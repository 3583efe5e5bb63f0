#include "DbEngine.h"

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
        return foreignKeyKind(statement);
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

class SqliteStatement final : public DbStatement {
public:
    SqliteStatement(sqlite3* db, sqlite3_stmt* stmt, QString sql)
        : m_db(db), m_stmt(stmt), m_sql(std::move(sql)) {}
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }

    int parameterCount() const override { return sqlite3_bind_parameter_count(m_stmt); }
    QString parameterName(int index) const override {
        const char* raw = sqlite3_bind_parameter_name(m_stmt, index);
        return raw ? QString::fromUtf8(raw + 1) : QString();
    }
    void bind(int index, const QVariant& v) override {
        int rc = SQLITE_OK;
        switch (v.typeId()) {
            case QMetaType::UnknownType:
                rc = sqlite3_bind_null(m_stmt, index);
                break;
            case QMetaType::LongLong:
            case QMetaType::Int:
                rc = sqlite3_bind_int64(m_stmt, index, v.toLongLong());
                break;
            case QMetaType::Double:
                rc = sqlite3_bind_double(m_stmt, index, v.toDouble());
                break;
            default: {
                const QString s = v.toString();
                rc = sqlite3_bind_text16(m_stmt, index, s.utf16(), int(s.size() * 2),
                                         SQLITE_TRANSIENT);
                break;
            }
        }
        if (rc != SQLITE_OK) {
            raiseEngineError(m_db, rc, m_sql);
        }
    }
    void reset() override { sqlite3_reset(m_stmt); }
    void clearBindings() override { sqlite3_clear_bindings(m_stmt); }
    bool step() override {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if (rc != SQLITE_DONE) {
            AppError error = engineError(m_db, rc, m_sql);
            sqlite3_reset(m_stmt);
            throw error;
        }
        return false;
    }
    int changes() override { return sqlite3_changes(m_db); }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }
    QString columnName(int c) const override {
        return QString::fromUtf8(sqlite3_column_name(m_stmt, c));
    }
    bool isNull(int c) const override { return sqlite3_column_type(m_stmt, c) == SQLITE_NULL; }
    bool isInteger(int c) const override {
        return sqlite3_column_type(m_stmt, c) == SQLITE_INTEGER;
    }
    qint64 integer(int c) const override { return sqlite3_column_int64(m_stmt, c); }
    double real(int c) const override { return sqlite3_column_double(m_stmt, c); }
    QByteArrayView text(int c) override {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
        return QByteArrayView(p, p ? sqlite3_column_bytes(m_stmt, c) : 0);
    }

    void readAll(QStringList& names, QVector<QVector<QVariant>>& rows) override {
        const int columns = sqlite3_column_count(m_stmt);
        names.reserve(columns);
        for (int c = 0; c < columns; ++c) {
            names << QString::fromUtf8(sqlite3_column_name(m_stmt, c));
        }
        std::vector<RecentTexts> recent(columns);
        int rc;
        while ((rc = sqlite3_step(m_stmt)) == SQLITE_ROW) {
            QVector<QVariant> row(columns);
            for (int c = 0; c < columns; ++c) {
                switch (sqlite3_column_type(m_stmt, c)) {
                    case SQLITE_INTEGER:
                        row[c] = QVariant::fromValue<qint64>(sqlite3_column_int64(m_stmt, c));
                        break;
                    case SQLITE_FLOAT:
                        row[c] = sqlite3_column_double(m_stmt, c);
                        break;
                    case SQLITE_TEXT: {
                        const auto* p =
                            reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, c));
                        row[c] = recent[c].take(p, sqlite3_column_bytes(m_stmt, c));
                        break;
                    }
                    case SQLITE_BLOB: {
                        const int bytes = sqlite3_column_bytes(m_stmt, c);
                        row[c] = QByteArray(
                            static_cast<const char*>(sqlite3_column_blob(m_stmt, c)), bytes);
                        break;
                    }
                    default:
                        break;  // null
                }
            }
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) {
            AppError error = engineError(m_db, rc, m_sql);
            sqlite3_reset(m_stmt);
            throw error;
        }
        sqlite3_reset(m_stmt);
    }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    QString m_sql;
};

class SqliteEngine final : public DbEngine {
public:
    // A connection Qt's driver opened under `name`, or, with an empty name, a
    // handle of the engine's own that this engine closes.
    SqliteEngine(QString name, sqlite3* handle) : m_name(std::move(name)), m_db(handle) {}
    ~SqliteEngine() override {
        if (m_name.isEmpty()) {
            sqlite3_close_v2(m_db);
            return;
        }
        m_db = nullptr;
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }

    DbKind kind() const override { return DbKind::Sqlite; }
    sqlite3* sqliteHandle() const override { return m_db; }

    std::unique_ptr<DbStatement> prepare(const QString& text, const QString& owner) override {
        sqlite3_stmt* stmt = nullptr;
        const void* tail = nullptr;
        const int rc =
            sqlite3_prepare16_v2(m_db, text.utf16(), int(text.size() * 2), &stmt, &tail);
        if (rc != SQLITE_OK) {
            raiseEngineError(m_db, rc, text);
        }
        if (!stmt) {
            throw AppError(QStringLiteral("%1: пустой текст запроса").arg(owner));
        }
        auto result = std::make_unique<SqliteStatement>(m_db, stmt, text);
        // The engine compiles the first statement only. Text after it must be
        // blanks, comments or ";", or the statement would run with part of its
        // text silently dropped ("delete from Valuta;" + "where ...").
        const auto* begin = static_cast<const char16_t*>(static_cast<const void*>(text.utf16()));
        const int offset = int(static_cast<const char16_t*>(tail) - begin);
        if (offset < text.size() && !onlyBlanksAndComments(m_db, text.mid(offset))) {
            throw AppError(
                QStringLiteral("%1: текст запроса продолжается после конца оператора: \"%2\"")
                    .arg(owner, text.mid(offset).trimmed()));
        }
        return result;
    }

    void executeScript(const QString& sql) override {
        const QByteArray text = sql.toUtf8();
        const int rc = sqlite3_exec(m_db, text.constData(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            raiseEngineError(m_db, rc, sql);
        }
    }
    bool inTransaction() const override { return sqlite3_get_autocommit(m_db) == 0; }
    qint64 lastInsertId() override { return sqlite3_last_insert_rowid(m_db); }
    void begin() override { executeScript(QStringLiteral("BEGIN IMMEDIATE")); }
    void commit() override { executeScript(QStringLiteral("COMMIT")); }
    void rollback() override {
        if (inTransaction()) {
            executeScript(QStringLiteral("ROLLBACK"));
        }
    }

    void setUp(DbConnection::Access access) {
        sqlite3_busy_timeout(m_db, DbConnection::busyTimeoutMs());
        sqlite3_extended_result_codes(m_db, 1);
        sqlite3_create_function_v2(m_db, "Now", 0, SQLITE_UTF8, nullptr, sqlNow, nullptr, nullptr,
                                   nullptr);
        sqlite3_create_function_v2(m_db, "mid", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   sqlMid, nullptr, nullptr, nullptr);
        sqlite3_create_collation_v2(m_db, "NOCASE", SQLITE_UTF8, nullptr, unicodeNoCase, nullptr);
        sqlite3_create_collation_v2(m_db, "RUSSIAN", SQLITE_UTF8,
                                    const_cast<QCollator*>(russianCollator()),
                                    russianDictionaryOrder, nullptr);
        // Reading the schema makes a file that is not a database fail here and
        // not at some later statement.
        executeScript(QStringLiteral("select count(*) from sqlite_master"));
        executeScript(QStringLiteral("PRAGMA foreign_keys = ON; PRAGMA synchronous = FULL;"));
        if (access == DbConnection::Access::Program) {
            // Rollback journal: safe also on folders that other computers
            // share, where the write-ahead log is not.
            executeScript(QStringLiteral("PRAGMA journal_mode = DELETE;"));
        } else if (access == DbConnection::Access::ReadOnly) {
            // The engine itself may still finish a write that a stopped
            // program left in a journal; no statement of ours writes.
            executeScript(QStringLiteral("PRAGMA query_only = ON;"));
        }
    }

private:
    QString m_name;
    sqlite3* m_db;
};

}  // namespace

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

std::unique_ptr<DbEngine> openSqliteEngine(const QString& name, const QString& path,
                                           DbConnection::Access access) {
    // "mode=rw": the engine opens an existing file and never creates one.
    const QString uri =
        QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded) +
        QStringLiteral("?mode=rw");
    sqlite3* handle = nullptr;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        db.setDatabaseName(uri);
        if (!db.open()) {
            QString text = db.lastError().databaseText();
            if (text.isEmpty()) {
                text = db.lastError().text();
            }
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw AppError(text);
        }
        // The driver's handle is taken as the engine's own only when the
        // driver says that is what it holds.
        const QVariant h = db.driver()->handle();
        if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0 ||
            !*static_cast<sqlite3* const*>(h.constData())) {
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw AppError(QStringLiteral("драйвер QSQLITE не дал соединение SQLite (%1)")
                               .arg(QLatin1String(h.typeName())));
        }
        handle = *static_cast<sqlite3* const*>(h.constData());
    }
    auto engine = std::make_unique<SqliteEngine>(name, handle);
    engine->setUp(access);
    return engine;
}

std::unique_ptr<DbEngine> adoptSqliteHandle(sqlite3* handle) {
    return std::make_unique<SqliteEngine>(QString(), handle);
}

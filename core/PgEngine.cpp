#include "DbEngine.h"

#include <QLibrary>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimeZone>

#include <libpq-fe.h>

#include <cstring>
#include <type_traits>

namespace {

// The few calls of libpq the engine makes itself, found when a server is
// first opened: a program that keeps its books in a file never loads the
// client library (nor the security libraries it brings) at all.
struct Libpq {
    decltype(&PQconninfoParse) conninfoParse = nullptr;
    decltype(&PQconninfoFree) conninfoFree = nullptr;
    decltype(&PQfreemem) freemem = nullptr;
    decltype(&PQping) ping = nullptr;
    decltype(&PQtransactionStatus) transactionStatus = nullptr;
    decltype(&PQsetNoticeProcessor) setNoticeProcessor = nullptr;
};

const Libpq& libpq() {
    static const Libpq api = [] {
        Libpq a;
        QLibrary lib(QStringLiteral("pq"), 5);
        if (!lib.load()) {
            throw AppError(QStringLiteral("Нет клиентской библиотеки PostgreSQL (пакет libpq5)."));
        }
        auto find = [&lib](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(lib.resolve(name));
            if (!fn) {
                throw AppError(QStringLiteral("В клиентской библиотеке PostgreSQL нет %1.")
                                   .arg(QLatin1String(name)));
            }
        };
        find(a.conninfoParse, "PQconninfoParse");
        find(a.conninfoFree, "PQconninfoFree");
        find(a.freemem, "PQfreemem");
        find(a.ping, "PQping");
        find(a.transactionStatus, "PQtransactionStatus");
        find(a.setNoticeProcessor, "PQsetNoticeProcessor");
        return a;
    }();
    return api;
}

// SQLSTATE classes and codes the program treats apart.
AppError::Kind kindOf(const QString& state, const QString& statement) {
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") ||
        state == QLatin1String("55P03")) {
        return AppError::Kind::Busy;  // serialization failure, deadlock, lock wait
    }
    if (state == QLatin1String("53100")) {
        return AppError::Kind::DiskFull;
    }
    if (state == QLatin1String("23503")) {
        return foreignKeyKind(statement);
    }
    return AppError::Kind::Other;
}

AppError pgError(const QSqlError& error, const QString& statement) {
    // The server's own message, as the file engine gives its own: the first
    // line, without the severity ("ERROR:  ") and the place in the statement.
    static const QRegularExpression severity(
        QStringLiteral("^(ERROR|FATAL|PANIC|ОШИБКА|ВАЖНО|ПАНИКА):\\s+"));
    QString text = error.databaseText().trimmed().section(QLatin1Char('\n'), 0, 0);
    text.remove(severity);
    if (text.isEmpty()) {
        text = error.text();
    }
    const QString state = error.nativeErrorCode();
    // The five characters of SQLSTATE as a number in base 36, so that the
    // code travels in the same field as the file engine's code.
    return AppError(text, kindOf(state, statement), state.toInt(nullptr, 36));
}

// A value read from the server in the form the file engine gives: whole
// numbers as qint64, dates and times as the stored text.
QVariant normalized(const QVariant& v) {
    if (v.isNull()) {
        return {};
    }
    switch (v.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::ULongLong:
            return QVariant::fromValue<qint64>(v.toLongLong());
        case QMetaType::QDateTime:
            return storedDateTime(v.toDateTime());
        case QMetaType::QDate:
            return storedDate(v.toDate());
        case QMetaType::QTime:
            return v.toTime().toString(QStringLiteral("HH:mm:ss"));
        default:
            return v;
    }
}

// A statement as the server reads it: ":Name" becomes "$n", and a name the
// file quotes in square brackets ("[Note]") is written plain, as the server's
// tables name it. A script has no parameters: only its names are rewritten.
QString serverText(const QString& sql, const SqlParams& params, bool numbered = true) {
    QString text;
    int from = 0;
    for (const SqlParams::Use& use : params.uses) {
        if (use.number > 0 && !numbered)
            continue;
        text += QStringView(sql).mid(from, use.offset - from);
        text += use.number > 0 ? QLatin1Char('$') + QString::number(use.number)
                               : sql.mid(use.offset + 1, use.length - 2);
        from = use.offset + use.length;
    }
    text += QStringView(sql).mid(from);
    return text;
}

class PgStatement final : public DbStatement {
public:
    PgStatement(const QSqlDatabase& db, const QString& sql, const QString& owner)
        : m_query(db), m_sql(sql) {
        // The server numbers its parameters: ":Name" becomes "$n".
        const SqlParams params = parseSqlParams(sql);
        // One statement only, as in a file: text after it would otherwise be
        // refused by the server in words of its own, or run.
        if (!params.tail.isEmpty()) {
            throw AppError(
                QStringLiteral("%1: текст запроса продолжается после конца оператора: \"%2\"")
                    .arg(owner, params.tail));
        }
        m_names = params.names;
        const QString text = serverText(sql, params);
        if (text.trimmed().isEmpty()) {
            throw AppError(QStringLiteral("%1: пустой текст запроса").arg(owner));
        }
        // A whole result is held by the client library, as psql holds it, so
        // that a statement stepped through row by row may run beside others.
        m_query.setForwardOnly(false);
        m_query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (!m_query.prepare(text)) {
            throw pgError(m_query.lastError(), sql);
        }
        m_values.resize(m_names.size());
    }

    int parameterCount() const override { return int(m_names.size()); }
    QString parameterName(int index) const override { return m_names.value(index - 1); }
    void bind(int index, const QVariant& value) override {
        m_values[index - 1] = value.typeId() == QMetaType::Int
                                  ? QVariant::fromValue<qint64>(value.toLongLong())
                                  : value;
    }
    void reset() override {
        m_query.finish();
        m_ran = false;
    }
    void clearBindings() override { m_values.fill(QVariant()); }
    bool step() override {
        if (!m_ran) {
            run();
        }
        if (!m_query.next()) {
            m_ran = false;  // a further step runs the statement again
            return false;
        }
        m_row.resize(m_query.record().count());
        for (int c = 0; c < m_row.size(); ++c) {
            m_row[c] = normalized(m_query.value(c));
        }
        m_texts.fill(QByteArray(), m_row.size());
        return true;
    }
    int changes() override { return m_query.numRowsAffected(); }

    int columnCount() const override { return m_query.record().count(); }
    QString columnName(int c) const override { return m_query.record().fieldName(c); }
    bool isNull(int c) const override { return m_row.value(c).isNull(); }
    bool isInteger(int c) const override { return m_row.value(c).typeId() == QMetaType::LongLong; }
    qint64 integer(int c) const override { return m_row.value(c).toLongLong(); }
    double real(int c) const override { return m_row.value(c).toDouble(); }
    QByteArrayView text(int c) override {
        if (m_texts.size() <= c) {
            m_texts.resize(c + 1);
        }
        // Made once a row: a view given out stays valid until the next row,
        // however often the column is read again.
        if (m_texts[c].isNull()) {
            m_texts[c] = m_row.value(c).toString().toUtf8();
        }
        return m_texts[c];
    }

    void readAll(QStringList& names, QVector<QVector<QVariant>>& rows) override {
        run();
        const QSqlRecord record = m_query.record();
        const int columns = record.count();
        for (int c = 0; c < columns; ++c) {
            names << record.fieldName(c);
        }
        const int size = m_query.size();
        if (size > 0) {
            rows.reserve(size);
        }
        while (m_query.next()) {
            QVector<QVariant> row(columns);
            for (int c = 0; c < columns; ++c) {
                row[c] = normalized(m_query.value(c));
            }
            rows.push_back(std::move(row));
        }
        m_query.finish();
        m_ran = false;
    }

private:
    void run() {
        for (int i = 0; i < m_values.size(); ++i) {
            m_query.bindValue(i, m_values[i]);
        }
        if (!m_query.exec()) {
            throw pgError(m_query.lastError(), m_sql);
        }
        m_ran = true;
    }

    QSqlQuery m_query;
    QString m_sql;
    QStringList m_names;
    QVector<QVariant> m_values;
    QVector<QVariant> m_row;
    QVector<QByteArray> m_texts;
    bool m_ran = false;
};

class PgEngine final : public DbEngine {
public:
    explicit PgEngine(QString name) : m_name(std::move(name)) {}
    ~PgEngine() override {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }

    DbKind kind() const override { return DbKind::Postgres; }

    std::unique_ptr<DbStatement> prepare(const QString& sql, const QString& owner) override {
        return std::make_unique<PgStatement>(database(), sql, owner);
    }
    void executeScript(const QString& sql) override {
        QSqlQuery q(database());
        if (!q.exec(serverText(sql, parseSqlParams(sql), false))) {
            throw pgError(q.lastError(), sql);
        }
    }
    bool inTransaction() const override {
        const PGconn* conn = connection();
        const PGTransactionStatusType state =
            conn ? libpq().transactionStatus(conn) : PQTRANS_IDLE;
        return state == PQTRANS_INTRANS || state == PQTRANS_INERROR;
    }
    qint64 lastInsertId() override {
        // The key comes from the sequence the insert drew on. Asked where no
        // insert drew on one, the server fails the statement: inside a
        // transaction a savepoint keeps that failure from ending it.
        const bool guarded = inTransaction();
        if (guarded) {
            executeScript(QStringLiteral("savepoint last_id"));
        }
        QSqlQuery q(database());
        if (!q.exec(QStringLiteral("select lastval()")) || !q.next()) {
            const AppError error = pgError(q.lastError(), q.lastQuery());
            q.finish();
            if (guarded) {
                executeScript(QStringLiteral("rollback to savepoint last_id"));
            }
            throw error;
        }
        const qint64 id = q.value(0).toLongLong();
        q.finish();
        if (guarded) {
            executeScript(QStringLiteral("release savepoint last_id"));
        }
        return id;
    }
    // Read committed: a guarded change ("where Status = :Old") waits for the
    // row another computer is changing and then sees its new value.
    void begin() override { executeScript(QStringLiteral("begin")); }
    void commit() override { executeScript(QStringLiteral("commit")); }
    void rollback() override {
        if (inTransaction()) {
            executeScript(QStringLiteral("rollback"));
        }
    }

    QSqlDriver* serverDriver() const override { return database().driver(); }

    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }
    PGconn* connection() const {
        const QVariant h = database().driver()->handle();
        // PGconn is libpq's name for its struct pg_conn; Qt names the type so.
        if (!h.isValid() || qstrcmp(h.typeName(), "pg_conn*") != 0) {
            throw AppError(QStringLiteral("драйвер QPSQL не дал соединение PostgreSQL (%1)")
                               .arg(QLatin1String(h.typeName())));
        }
        return *static_cast<PGconn* const*>(h.constData());
    }

    void setUp(DbConnection::Access access) {
        // Now() and the dates of the day are the computer's, not the server's.
        const QByteArray zone = QTimeZone::systemTimeZoneId();
        static const QRegularExpression plainZone(QStringLiteral("^[A-Za-z0-9_/+-]+$"));
        if (plainZone.match(QString::fromLatin1(zone)).hasMatch()) {
            try {
                executeScript(QStringLiteral("set time zone '%1'").arg(QString::fromLatin1(zone)));
            } catch (const AppError&) {
                // A zone the server does not know: its own zone stays.
            }
        }
        // The books' own Now() and last_insert_rowid() come before the
        // server's functions of the same names.
        executeScript(QStringLiteral("set search_path = public, pg_catalog"));
        executeScript(QStringLiteral("set lock_timeout = %1").arg(DbConnection::busyTimeoutMs()));
        if (access == DbConnection::Access::ReadOnly) {
            executeScript(QStringLiteral("set default_transaction_read_only = on"));
        }
    }

private:
    QString m_name;
};

// One value of a libpq connection string, quoted.
QString quotedOption(const char* value) {
    QString v = QString::fromUtf8(value);
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    v.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

// The URI read by libpq's own rules, as the key/value string the driver
// passes on. The password stays with libpq's own means (~/.pgpass,
// PGPASSFILE, a service file): a URI that carries one is refused.
QString connectionOptions(const QString& uri) {
    const QString bad = QStringLiteral("Неверный адрес сервера базы данных");
    char* message = nullptr;
    PQconninfoOption* options = libpq().conninfoParse(uri.toUtf8().constData(), &message);
    if (!options) {
        const QString text = message ? QString::fromUtf8(message).trimmed() : QString();
        libpq().freemem(message);
        throw AppError(QStringLiteral("%1.\n%2").arg(bad, text));
    }
    QStringList parts;
    bool timeout = false;
    QString refusal;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val) {
            continue;
        }
        const QByteArray key(o->keyword);
        if (key == "password") {
            refusal = QStringLiteral(
                "Пароль не записывается в адрес сервера: его берут из "
                "~/.pgpass, PGPASSFILE или файла служб");
        } else if (std::strchr(o->val, ';')) {
            // The driver reads ";" as a separator of options.
            refusal =
                QStringLiteral("%1: знак \";\" в параметре %2").arg(bad, QString::fromLatin1(key));
        }
        timeout = timeout || key == "connect_timeout";
        parts << QString::fromLatin1(key) + QLatin1Char('=') + quotedOption(o->val);
    }
    libpq().conninfoFree(options);
    if (!refusal.isEmpty()) {
        throw AppError(refusal + QLatin1Char('.'));
    }
    if (!timeout) {
        parts << QStringLiteral("connect_timeout=10");  // a host that never answers
    }
    return parts.join(QLatin1Char(' '));
}

// What failed when the server could not be reached or refused the connection.
QString connectFailure(const QString& options, const QString& serverText) {
    switch (libpq().ping(options.toUtf8().constData())) {
        case PQPING_NO_RESPONSE:
            return QStringLiteral(
                "Сервер базы данных недоступен: узел не отвечает или сервер "
                "не запущен");
        case PQPING_NO_ATTEMPT:
            return QStringLiteral("Неверные параметры подключения к серверу базы данных");
        case PQPING_REJECT:
            return QStringLiteral("Сервер базы данных не принимает подключения");
        default:
            break;
    }
    // The server answers: its text tells a missing database from a refused
    // login, in English or in Russian, whichever the server speaks.
    static const QRegularExpression missing(
        QStringLiteral("database \".*\" does not exist|база данных \".*\" не существует"));
    if (missing.match(serverText).hasMatch()) {
        return QStringLiteral("На сервере нет такой базы данных");
    }
    return QStringLiteral("Сервер базы данных не пустил пользователя: ошибка аутентификации");
}

}  // namespace

std::unique_ptr<DbEngine> openPgEngine(const QString& name, const QString& uri,
                                       DbConnection::Access access) {
    const QString options = connectionOptions(uri);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        if (!db.isValid()) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw AppError(QStringLiteral("Нет драйвера PostgreSQL (пакет libqt6sql6-psql)."));
        }
        db.setConnectOptions(options);
        if (!db.open()) {
            const QString text = db.lastError().databaseText().trimmed();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw AppError(QStringLiteral("%1.\n%2").arg(connectFailure(options, text), text));
        }
    }
    auto engine = std::make_unique<PgEngine>(name);
    // The server's notices ("table does not exist, skipping") are not errors
    // and not for the terminal.
    libpq().setNoticeProcessor(
        engine->connection(), [](void*, const char*) {}, nullptr);
    engine->setUp(access);
    return engine;
}

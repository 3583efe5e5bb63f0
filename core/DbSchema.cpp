#include "DbSchema.h"

#include "Db.h"
#include "Passwords.h"
#include "SqlDialect.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

// The statements are compiled into this static library; make sure the linker
// keeps them.
static void initCoreResources() {
    Q_INIT_RESOURCE(core);
}

namespace {

QString resourceText(const QString& path) {
    initCoreResources();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        throw AppError(QStringLiteral("Cannot read %1").arg(path));
    }
    return QString::fromUtf8(f.readAll());
}

}  // namespace

QString schemaSql(DbKind kind) {
    return resourceText(kind == DbKind::Postgres ? QStringLiteral(":/sql/schema.pg.sql")
                                                 : QStringLiteral(":/sql/schema.sql"));
}

QString configurationSql() {
    return resourceText(QStringLiteral(":/sql/config.sql"));
}

QString starterBooksSql() {
    return resourceText(QStringLiteral(":/sql/starter.sql"));
}

bool hasTableNamed(DbConnection& connection, const QString& table) {
    DbQuery q(connection, QStringLiteral("qrTableNamed"));
    q.setSql(connection.dialect().tableCountQuery());
    q.bindString(QStringLiteral("Name"), table);
    q.open();
    return q.field(QStringLiteral("n")).asInteger() > 0;
}

void createMissingTable(DbConnection& connection, const QString& table) {
    if (hasTableNamed(connection, table)) {
        return;
    }
    const QRegularExpression statement(
        QStringLiteral("CREATE (TABLE %1 |INDEX %1_\\w+ ON %1 )[^;]*;").arg(table));
    for (const auto& m : statement.globalMatch(schemaSql(connection.kind()))) {
        connection.executeScript(m.captured(0));
    }
}

void CreateSchema(DbConnection& connection) {
    Transaction tr(connection);
    connection.executeScript(schemaSql(connection.kind()));
    connection.executeScript(configurationSql());
    hashPlainPasswords(connection);
    tr.commit();
}

void FillStarterBooks(DbConnection& connection) {
    Transaction tr(connection);
    connection.executeScript(starterBooksSql());
    tr.commit();
}

bool isEmptyServerDatabase(DbConnection& connection) {
    DbQuery q(connection, QStringLiteral("qrTables"));
    q.setSql(
        QStringLiteral("select count(*) as n from information_schema.tables "
                       "where table_schema = current_schema()"));
    q.open();
    return q.field(QStringLiteral("n")).asInteger() == 0;
}

void advanceServerCounters(DbConnection& connection) {
    DbQuery q(connection, QStringLiteral("qrIdentity"));
    q.setSql(
        QStringLiteral("select table_name as t, column_name as c from information_schema.columns "
                       "where table_schema = current_schema() and is_identity = 'YES'"));
    q.open();
    DbQuery set(connection, QStringLiteral("qrSetval"));
    for (q.first(); !q.eof(); q.next()) {
        // The names come from the server's own catalogue, never from a user.
        const QString table = q.field(QStringLiteral("t")).asString();
        const QString column = q.field(QStringLiteral("c")).asString();
        set.setSql(QStringLiteral("select setval(pg_get_serial_sequence('%1', '%2'), "
                                  "coalesce(max(%2), 0) + 1, false) from %1")
                       .arg(table, column));
        set.open();
    }
}

void CreateServerBooks(const QString& uri, NewFileContents contents,
                       const std::function<void(DbConnection&)>& fill) {
    DbConnection connection;
    connection.open(uri);
    // The tables, the configuration and the starter books come in one
    // transaction, so that a refusal or a failure leaves the database as it was.
    Transaction tr(connection);
    if (!isEmptyServerDatabase(connection)) {
        throw AppError(
            QStringLiteral("в базе данных уже есть таблицы: книги создаются только в пустой"));
    }
    connection.executeScript(schemaSql(connection.kind()));
    connection.executeScript(configurationSql());
    hashPlainPasswords(connection);
    if (contents == NewFileContents::StarterBooks) {
        connection.executeScript(starterBooksSql());
    }
    if (fill) {
        fill(connection);
    }
    tr.commit();
}

void CreateDatabaseFile(const QString& path, NewFileContents contents) {
    QFile file(path);
    if (QFileInfo::exists(path)) {
        throw AppError(QStringLiteral("%1 already exists").arg(path));
    }
    // A family's money is nobody else's business: the file is its owner's only.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        throw AppError(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
    }
    file.close();
    try {
        DbConnection connection;
        connection.open(path);
        CreateSchema(connection);
        if (contents == NewFileContents::StarterBooks) {
            FillStarterBooks(connection);
        }
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

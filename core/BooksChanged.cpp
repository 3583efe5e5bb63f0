#include "BooksChanged.h"

#include "Db.h"
#include "DbEngine.h"
#include "DbSchema.h"
#include "SqlDialect.h"

#include <QCoreApplication>
#include <QSqlDriver>

namespace {

const QString kChannel = QStringLiteral("dorsanti_books");

// The trigger and function that send the notice, as the server's schema
// writes them between its two marks.
QString noticeDefinitions() {
    const QString schema = schemaSql(DbKind::Postgres);
    const int from = int(schema.indexOf(QLatin1String("-- BEGIN books_changed")));
    const int to = int(schema.indexOf(QLatin1String("-- END books_changed")));
    return from >= 0 && to > from ? schema.mid(from, to - from) : QString();
}

}  // namespace

BooksChanged& BooksChanged::instance() {
    static QPointer<BooksChanged> watcher;
    if (!watcher) {
        watcher = new BooksChanged(QCoreApplication::instance());
    }
    return *watcher;
}

void BooksChanged::watch(DbConnection& connection) {
    if (!connection.isOpen()) {
        return;
    }
    QSqlDriver* driver = connection.engine().serverDriver();
    if (!driver || driver == m_driver) {
        return;
    }
    ensureNotices(connection);
    if (!driver->subscribeToNotification(kChannel)) {
        return;
    }
    m_driver = driver;
    connect(driver, &QSqlDriver::notification, this,
            [this](const QString& name, QSqlDriver::NotificationSource source, const QVariant&) {
                // The program's own changes have refreshed its windows already.
                if (name == kChannel && source == QSqlDriver::OtherSource) {
                    Q_EMIT changed();
                }
            });
}

void BooksChanged::ensureNotices(DbConnection& connection) {
    DbQuery q(connection, QStringLiteral("qrNotices"));
    q.setSql(connection.dialect().triggerCountQuery({QStringLiteral("Document_Changed")}));
    q.open();
    if (q.field(QStringLiteral("n")).asInteger() > 0) {
        return;
    }
    q.close();
    try {
        Transaction transaction(connection);
        connection.executeScript(noticeDefinitions());
        transaction.commit();
    } catch (const AppError&) {
        // A role that does not own the tables: the books stay as they are.
    }
}

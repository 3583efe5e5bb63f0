#pragma once

#include <QObject>
#include <QPointer>

class DbConnection;
class QSqlDriver;

// Tells the open windows that another program connected to the same books
// has written, applied, rolled back or deleted a document. The server sends
// its notice when that program commits, and the connection's socket brings it
// here: nothing is asked of the server in between. A file sends no notices.
class BooksChanged : public QObject {
    Q_OBJECT
public:
    // The program's one watcher (a child of the application).
    static BooksChanged& instance();

    // Listens on the connection, once for each server connection opened; a
    // file is not watched. Books on a server made without the notices are
    // given them when the connection may change the tables, and are otherwise
    // left without (the windows then refresh on F5 only).
    void watch(DbConnection& connection);

Q_SIGNALS:
    // A document changed in another program; this program's own changes do
    // not come here.
    void changed();

private:
    using QObject::QObject;
    void ensureNotices(DbConnection& connection);

    QPointer<QSqlDriver> m_driver;
};

#include "Users.h"

#include "AppError.h"
#include "Db.h"
#include "Passwords.h"
#include "Placeholders.h"

#include <QFileInfo>

namespace {

void openExisting(DbConnection& db, const QString& path) {
    if (!isServerUri(path) && !QFileInfo(path).isFile()) {
        throw AppError(QStringLiteral("файла %1 нет").arg(path));
    }
    db.open(path);
}

// The id of the user with this name, or 0.
int findUser(DbConnection& db, const QString& name) {
    DbQuery q(db, QStringLiteral("qrUser"));
    q.setSql(QStringLiteral("select sec_IdUser from sec_user where sec_username = :name"));
    q.bindString(QStringLiteral("name"), name);
    q.open();
    return q.isEmpty() ? 0 : q.field(QStringLiteral("sec_IdUser")).asInteger();
}

int requireUser(DbConnection& db, const QString& name) {
    const int id = findUser(db, name);
    if (id == 0) {
        throw AppError(QStringLiteral("пользователя \"%1\" нет").arg(name));
    }
    return id;
}

}  // namespace

QList<UserRow> listUsers(const QString& dbPath) {
    DbConnection db;
    openExisting(db, dbPath);
    DbQuery q(db, QStringLiteral("qrUsers"));
    q.setSql(QStringLiteral(
        "select sec_IdUser, sec_username, sec_FullName from sec_user order by sec_IdUser"));
    q.open();
    QList<UserRow> users;
    for (q.first(); !q.eof(); q.next()) {
        users.push_back({q.field(QStringLiteral("sec_IdUser")).asInteger(),
                         q.field(QStringLiteral("sec_username")).asString(),
                         q.field(QStringLiteral("sec_FullName")).asString()});
    }
    return users;
}

void addUser(const QString& dbPath, const QString& name, const QString& fullName,
             const QString& password) {
    const QString login = trimmedLow(name);
    if (login.isEmpty()) {
        throw AppError(QStringLiteral("имя пользователя пустое"));
    }
    // A tab or a line break in a name would not be seen, nor typed at sign-in.
    for (const QChar c : login) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph) {
            throw AppError(QStringLiteral("в имени пользователя есть управляющий символ (код "
                                          "%1); имя не принято")
                               .arg(c.unicode()));
        }
    }
    DbConnection db;
    openExisting(db, dbPath);
    Transaction tr(db);
    if (findUser(db, login) != 0) {
        throw AppError(QStringLiteral("пользователь \"%1\" уже есть (имена сравниваются без "
                                      "учета регистра)")
                           .arg(login));
    }
    DbQuery q(db, QStringLiteral("qrAdd"));
    // The next number is written out: the file numbers such a key itself, the
    // server does not. Under the transaction no other user takes it meanwhile
    // (on a server a second one would fail on the key, not overwrite).
    q.addSql(
        QStringLiteral("insert into sec_user(sec_IdUser, sec_username, sec_password, "
                       "sec_FullName)"));
    q.addSql(
        QStringLiteral("select coalesce(max(sec_IdUser), 0) + 1, :name, :pass, :full "
                       "from sec_user"));
    q.bindString(QStringLiteral("name"), login);
    q.bindString(QStringLiteral("pass"), hashPassword(trimmedLow(password)));
    q.bindString(QStringLiteral("full"), fullName.trimmed());
    q.execute();
    tr.commit();
}

void setUserPassword(const QString& dbPath, const QString& name, const QString& password) {
    DbConnection db;
    openExisting(db, dbPath);
    Transaction tr(db);
    const int id = requireUser(db, trimmedLow(name));
    DbQuery q(db, QStringLiteral("qrPasswd"));
    q.setSql(QStringLiteral("update sec_user set sec_password = :pass where sec_IdUser = :id"));
    q.bindString(QStringLiteral("pass"), hashPassword(trimmedLow(password)));
    q.bindInteger(QStringLiteral("id"), id);
    q.execute();
    tr.commit();
}

int removeUser(const QString& dbPath, const QString& name) {
    DbConnection db;
    openExisting(db, dbPath);
    Transaction tr(db);
    const int id = requireUser(db, trimmedLow(name));
    DbQuery q(db, QStringLiteral("qrRemove"));
    q.setSql(QStringLiteral("select count(*) as n from sec_user"));
    q.open();
    if (q.field(QStringLiteral("n")).asInteger() <= 1) {
        throw AppError(QStringLiteral("\"%1\" - последний пользователь; без него никто не "
                                      "сможет войти")
                           .arg(trimmedLow(name)));
    }
    // Nobody is signed out under a running program.
    const QHash<int, SessionOwner> owners = sessionOwners(db);
    q.setSql(QStringLiteral(
        "select sec_IdSession from sec_Session where sec_IdUser = :id and sec_End is null"));
    q.bindInteger(QStringLiteral("id"), id);
    q.open();
    for (q.first(); !q.eof(); q.next()) {
        const int session = q.field(QStringLiteral("sec_IdSession")).asInteger();
        if (sessionIsLive(dbPath, session, owners.value(session))) {
            throw AppError(QStringLiteral("\"%1\" сейчас работает в программе; удалите после "
                                          "выхода")
                               .arg(trimmedLow(name)));
        }
    }
    q.setSql(QStringLiteral("delete from sec_Session where sec_IdUser = :id"));
    q.bindInteger(QStringLiteral("id"), id);
    const int sessions = q.execute();
    q.setSql(QStringLiteral("delete from sec_user where sec_IdUser = :id"));
    q.bindInteger(QStringLiteral("id"), id);
    q.execute();
    tr.commit();
    return sessions;
}

#pragma once

#include <QList>
#include <QString>

// The users who may sign in to a database file. Names are trimmed and
// compared as the sign-in compares them: without regard to letter case, in
// every alphabet ("ИВАН" is "иван"). Passwords are stored trimmed and in
// plain text, because that is what the sign-in compares.
struct UserRow {
    int id = 0;
    QString name;
    QString fullName;
};

QList<UserRow> listUsers(const QString& dbPath);
// Raises when the name is empty or taken.
void addUser(const QString& dbPath, const QString& name, const QString& fullName,
             const QString& password);
// Raises when there is no such user.
void setUserPassword(const QString& dbPath, const QString& name, const QString& password);
// Removes the user and the records of the user's sign-ins; refuses the last
// user and a user who is signed in right now. Returns the sign-ins removed.
int removeUser(const QString& dbPath, const QString& name);

#pragma once

#include <QString>
#include <QStringList>

class DbConnection;

// The passwords of the users who may sign in. The file stores an Argon2id hash
// of each (libsodium's crypto_pwhash_str, with its limits for an interactive
// sign-in), never the password itself. A file made before hashes holds plain
// texts; they still sign in, compared exactly, until a repair hashes them.

// Trimmed as the sign-in trims the user name and the password: characters
// with codes up to 32 removed at both ends.
QString trimmedLow(const QString& s);

// A new hash of a password; raises an AppError when the memory it needs is not
// to be had.
QString hashPassword(const QString& password);

// Whether a stored value is a hash rather than a plain text of an older file.
bool isPasswordHash(const QString& stored);

// Whether `typed` is the password that `stored` keeps.
bool passwordMatches(const QString& stored, const QString& typed);

// Replaces every plain-text password of the open file by its hash, in the
// caller's transaction; gives the names of the users concerned.
QStringList hashPlainPasswords(DbConnection& connection);

#include "Passwords.h"

#include "AppError.h"
#include "Db.h"

#include <sodium.h>

namespace {

void initSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready) {
        throw AppError(QStringLiteral("не удалось подготовить libsodium"));
    }
}

}  // namespace

QString trimmedLow(const QString& s) {
    int from = 0;
    int to = int(s.size());
    while (from < to && s[from].unicode() <= 32) {
        ++from;
    }
    while (to > from && s[to - 1].unicode() <= 32) {
        --to;
    }
    return s.mid(from, to - from);
}

QString hashPassword(const QString& password) {
    initSodium();
    const QByteArray bytes = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, bytes.constData(), quint64(bytes.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        throw AppError(QStringLiteral("не хватило памяти, чтобы зашифровать пароль"));
    }
    return QString::fromLatin1(hash);
}

bool isPasswordHash(const QString& stored) {
    return stored.startsWith(QLatin1String(crypto_pwhash_argon2id_STRPREFIX));
}

bool passwordMatches(const QString& stored, const QString& typed) {
    if (!isPasswordHash(stored)) {
        return stored == typed;
    }
    initSodium();
    const QByteArray hash = stored.toLatin1();
    const QByteArray bytes = typed.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), bytes.constData(), quint64(bytes.size())) ==
           0;
}

QStringList hashPlainPasswords(DbConnection& connection) {
    DbQuery users(connection, QStringLiteral("qrPlainPasswords"));
    users.setSql(QStringLiteral(
        "select sec_IdUser, sec_username, sec_password from sec_user order by sec_IdUser"));
    users.open();
    DbQuery update(connection, QStringLiteral("qrHashPassword"));
    update.setSql(
        QStringLiteral("update sec_user set sec_password = :Hash where sec_IdUser = :IdUser"));
    QStringList names;
    for (users.first(); !users.eof(); users.next()) {
        const QString stored = users.field(QStringLiteral("sec_password")).asString();
        if (isPasswordHash(stored)) {
            continue;
        }
        update.bindString(QStringLiteral("Hash"), hashPassword(stored));
        update.bindInteger(QStringLiteral("IdUser"),
                           users.field(QStringLiteral("sec_IdUser")).asInteger());
        update.execute();
        names << users.field(QStringLiteral("sec_username")).asString();
    }
    return names;
}

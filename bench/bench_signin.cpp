// bench_signin: from the start of the sign-in to the main window on screen,
// with the password kept as a hash against the plain text of an older file
// (the sign-in as it was before hashes), in one run.
//
//   bench_signin [ROUNDS]
//
// Each round makes the sign-in dialog, fills it, presses "ОК" and shows the
// main window, on a fresh file with the starter books; the median of the
// rounds is printed for each kind of password.

#include "DbSchema.h"
#include "SignInRound.h"

#include <QTextStream>
#include <algorithm>

int main(int argc, char** argv) {
    SignInBench bench(argc, argv, 21);
    const int rounds = bench.rounds;
    const QTemporaryDir& dir = bench.dir;
    const QString hashed = dir.filePath(QStringLiteral("hashed.db"));
    const QString plain = dir.filePath(QStringLiteral("plain.db"));
    for (const QString& path : {hashed, plain}) {
        CreateDatabaseFile(path, NewFileContents::StarterBooks);
    }
    {
        DbConnection c;
        c.open(plain);
        c.executeScript(QStringLiteral("update sec_user set sec_password = 'Пароль-1'"));
    }
    setHashedPassword(hashed, QStringLiteral("Пароль-1"));
    QList<double> plainMs;
    QList<double> hashedMs;
    for (int i = 0; i < rounds; ++i) {
        plainMs << signInMs(plain, QStringLiteral("Пароль-1"));
        hashedMs << signInMs(hashed, QStringLiteral("Пароль-1"));
    }
    QTextStream out(stdout);
    const double p = median(plainMs);
    const double h = median(hashedMs);
    out << "sign-in to main window, median of " << rounds << " rounds\n"
        << "  plain-text password (as before hashes): " << QString::number(p, 'f', 1) << " ms\n"
        << "  Argon2id hash:                          " << QString::number(h, 'f', 1) << " ms\n"
        << "  difference: " << QString::number(h - p, 'f', 1) << " ms, ratio x"
        << QString::number(h / p, 'f', 2) << "\n";
    return 0;
}

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
#include "Login_FM.h"
#include "Main_DM.h"
#include "Main_FM.h"
#include "Passwords.h"
#include "Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

namespace {

double signInMs(const QString& path, const QString& password) {
    QElapsedTimer t;
    t.start();
    {
        TLoginFM login(nullptr);
        login.edLogin->setText(QStringLiteral("sa"));
        login.edPass->setText(password);
        login.feDB->setFileName(path);
        login.BitBtn1->click();
        if (login.result() != mrOk) {
            return -1;
        }
    }
    TMainFM form;
    form.show();
    QCoreApplication::processEvents();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    form.close();
    MainDM->ADOConnection1.close();
    return ms;
}

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 21;
    QTemporaryDir dir;
    setSettingsFilePath(dir.filePath(QStringLiteral("dorsanti.ini")));
    TMainDM dm;
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
    {
        DbConnection c;
        c.open(hashed);
        DbQuery q(c);
        q.setSql(QStringLiteral("update sec_user set sec_password = :p"));
        q.bindString(QStringLiteral("p"), hashPassword(QStringLiteral("Пароль-1")));
        q.execute();
    }
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

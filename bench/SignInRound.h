#pragma once

#include "Db.h"
#include "Login_FM.h"
#include "Main_DM.h"
#include "Main_FM.h"
#include "Passwords.h"
#include "Settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>

// One sign-in as "sa", as the program makes it: the dialog filled and "ОК"
// pressed, then `afterSignIn` (what the program does before its window opens),
// then the main window on screen. Gives the milliseconds from the dialog to
// the window, or -1 when the sign-in failed; the window closes after.
inline double signInMs(const QString& path, const QString& password,
                       const std::function<void()>& afterSignIn = {}) {
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
    if (afterSignIn) {
        afterSignIn();
    }
    TMainFM form;
    form.show();
    QCoreApplication::processEvents();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    form.close();
    MainDM->ADOConnection1.close();
    return ms;
}

inline double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

inline int offscreenPlatform() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return 0;
}

// What a sign-in benchmark runs in: a headless application with its settings
// in a folder of its own and the data module, and the number of rounds from
// the first argument.
struct SignInBench {
    SignInBench(int& argc, char** argv, int defaultRounds)
        : app(argc, argv),
          rounds(argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : defaultRounds) {
        setSettingsFilePath(dir.filePath(QStringLiteral("dorsanti.ini")));
    }

    int platform = offscreenPlatform();
    QApplication app;
    int rounds;
    QTemporaryDir dir;
    TMainDM dm;
};

// Keeps the hash of `password` as the password of every user of the books.
inline void setHashedPassword(const QString& path, const QString& password) {
    DbConnection c;
    c.open(path);
    DbQuery q(c);
    q.setSql(QStringLiteral("update sec_user set sec_password = :p"));
    q.bindString(QStringLiteral("p"), hashPassword(password));
    q.execute();
}

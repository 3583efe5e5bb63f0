// Start-up module of the program: the data module first, then the sign-in,
// and the main window only after a successful sign-in.
#include "DailyBackup.h"
#include "Icons.h"
#include "Login_FM.h"
#include "Main_DM.h"
#include "Main_FM.h"
#include "VelDocKinds.h"

#include <QApplication>
#include <QLocale>
#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The document kinds are known before any window exists.
    RegisterVelDocKinds();
    QApplication::setApplicationName(QStringLiteral("Dorsanti"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QApplication::setWindowIcon(Icons::documents());

    auto dm = std::make_unique<TMainDM>();
    if (!ShowLoginFM()) {
        // Nothing was recorded: the connection is closed and no session exists.
        dm.reset();
        return 0;
    }
    // Declared before the window: the copy that its close starts is waited
    // for only after the window is gone.
    DailyBackup daily;
    TMainFM mainForm;
    installDailyBackup(mainForm, daily);
    mainForm.showMaximized();
    return app.exec();
}

// Start-up module of the program: the data module first, then the sign-in,
// and the main window only after a successful sign-in.
#include "AppStart.h"
#include "Clock.h"
#include "DailyBackup.h"
#include "Dialogs.h"
#include "DueAtSignIn.h"
#include "Icons.h"
#include "Login_FM.h"
#include "Main_DM.h"
#include "Main_FM.h"
#include "VelDocKinds.h"

#include <QApplication>
#include <memory>

int main(int, char**) {
    // The program takes no arguments, Qt's own (-style, -reverse, -platform)
    // included; the environment (QT_QPA_PLATFORM and the like) still applies.
    static char name[] = "dorsanti";
    static char* qtArgv[] = {name, nullptr};
    int qtArgc = 1;
    QApplication app(qtArgc, qtArgv);
    // The document kinds are known before any window exists.
    RegisterVelDocKinds();
    QApplication::setApplicationName(QStringLiteral("Dorsanti"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.dorsanti.dorsanti"));
    QApplication::setWindowIcon(Icons::application());
    PrepareApplication();

    auto dm = std::make_unique<TMainDM>();
    guarded([] { CreateFirstDatabase(); });
    if (!ShowLoginFM()) {
        // Nothing was recorded: the connection is closed and no session exists.
        dm.reset();
        return 0;
    }
    // Before any window reads the documents, so that the browser shows them.
    createDueDocumentsAtSignIn(currentDate());
    // Declared before the window: the copy that its close starts is waited
    // for only after the window is gone.
    DailyBackup daily;
    TMainFM mainForm;
    installDailyBackup(mainForm, daily);
    mainForm.showMaximized();
    return app.exec();
}

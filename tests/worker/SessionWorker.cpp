// A signed-in program that keeps its session open: the sign-in dialog is
// filled and its "ОК" pressed, as a person does, and the program then waits,
// as one with an editor of a new category open does, until its standard
// input closes. The tests run it as another account and kill it.
//
//   session_worker FILE USER PASSWORD [TYPE]
//
// With TYPE it also makes the membership row of a new, unsaved category of
// that category type, as the category editor does. Once signed in it prints
// "session N" and a line break.

#include "Dialogs.h"
#include "Login_FM.h"
#include "Main_DM.h"
#include "Settings.h"

#include <QApplication>
#include <QDir>
#include <QTextStream>
#include <cstdio>

namespace {

class Quiet : public Interaction {
public:
    void message(const QString& text) override { QTextStream(stderr) << text << "\n"; }
    bool confirm(const QString&) override { return true; }
    void error(const AppError& e) override { QTextStream(stderr) << e.text() << "\n"; }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4 && args.size() != 5) {
        QTextStream(stderr) << "usage: session_worker FILE USER PASSWORD [TYPE]\n";
        return 2;
    }
    Quiet quiet;
    setInteraction(&quiet);
    setSettingsFilePath(QDir::temp().filePath(
        QStringLiteral("session_worker-%1.ini").arg(QCoreApplication::applicationPid())));
    TMainDM dm;
    {
        TLoginFM login(nullptr);
        login.edLogin->setText(args[2]);
        login.edPass->setText(args[3]);
        login.feDB->setFileName(args[1]);
        login.BitBtn1->click();
        QFile::remove(settingsFilePath());
        if (login.result() != mrOk) {
            return 1;
        }
    }
    if (args.size() == 5) {
        dm.qrTmp.setSql(QStringLiteral(
            "insert into TypeCategoryItem(IdTypeCategory, IdCategory) values(:T, :C)"));
        dm.qrTmp.bindInteger(QStringLiteral("T"), args[4].toInt());
        dm.qrTmp.bindInteger(QStringLiteral("C"), -dm.IdSession);
        dm.qrTmp.execute();
    }
    std::printf("session %d\n", dm.IdSession);
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    dm.CloseSession();
    setInteraction(nullptr);
    return 0;
}

// Start-up module of the program.
#include "Main_DM.h"

#include <QApplication>
#include <QLocale>
#include <QTextStream>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dorsanti"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    TMainDM dm;
    QTextStream(stdout) << "Dorsanti: the data module is ready; sign-in comes next.\n";
    return 0;
}

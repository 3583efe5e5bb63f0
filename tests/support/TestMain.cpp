// Entry point of every test program: a headless application with a fixed
// locale, so that results do not depend on the machine.
#include "VelDocKinds.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QApplication app(argc, argv);
    RegisterVelDocKinds();
    QApplication::setApplicationName(QStringLiteral("Dorsanti"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

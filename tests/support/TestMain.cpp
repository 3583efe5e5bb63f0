// Entry point of every test program: a headless application with a fixed
// locale and Qt's Russian texts, as the program has them.
#include "AppStart.h"
#include "VelDocKinds.h"

#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    RegisterVelDocKinds();
    QApplication::setApplicationName(QStringLiteral("Dorsanti"));
    PrepareApplication();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

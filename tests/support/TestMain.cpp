// Entry point of every test program: a headless application with a fixed
// locale and Qt's Russian texts, as the program has them.
#include "AppStart.h"
#include "VelDocKinds.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <ctime>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The same locale and zone for every run, and for the programs the tests
    // start: C.UTF-8 unless DORSANTI_TEST_LOCALE names another (scripts/test.sh
    // runs the tests again under ru_RU.UTF-8), and a zone ten hours east of
    // UTC without summer time, so that a local day is never UTC's day.
    const QByteArray locale = qgetenv("DORSANTI_TEST_LOCALE");
    qputenv("LC_ALL", locale.isEmpty() ? QByteArray("C.UTF-8") : locale);
    qputenv("TZ", "DOR-10");
    ::tzset();
    // --server-books: every test keeps its books on the test server.
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--server-books") == 0) {
            if (qEnvironmentVariableIsEmpty("DORSANTI_TEST_PG")) {
                std::puts("[  SKIPPED ] DORSANTI_TEST_PG is not set: no PostgreSQL server");
                return 0;
            }
            qputenv("DORSANTI_TEST_ENGINE", "server");
            std::copy(argv + i + 1, argv + argc + 1, argv + i);
            --argc;
            break;
        }
    }
    QApplication app(argc, argv);
    RegisterVelDocKinds();
    QApplication::setApplicationName(QStringLiteral("Dorsanti"));
    PrepareApplication();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

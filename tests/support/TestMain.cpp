#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Listing the tests must not create folders or start a GUI.
    ::testing::InitGoogleTest(&argc, argv);
    TestEnvironment::Isolate();
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

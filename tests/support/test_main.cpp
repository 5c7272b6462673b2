#include <QCoreApplication>
#include <QLocale>

#include <gtest/gtest.h>

// Every suite runs inside a core application so that event pumping and Qt's file and
// locale services behave as in the program.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

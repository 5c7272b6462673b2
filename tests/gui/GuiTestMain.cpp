#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

// The window suites need a widget application; otherwise as the other suites' entry point. The
// windows are drawn off screen unless a display is asked for, also when the build lists the
// tests outside the test runner's environment.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale::c());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

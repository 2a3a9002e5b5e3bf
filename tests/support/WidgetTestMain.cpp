// GoogleTest main with a QApplication for the Windows test programs: offscreen
// unless -platform names another (windows, on Wine's display: Wine does not
// pass QT_QPA_PLATFORM on).
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int rc = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
    // As in CoreTestMain.cpp: Wine's exit handlers can hang in winpthreads.
    std::fflush(nullptr);
    std::_Exit(rc);
}

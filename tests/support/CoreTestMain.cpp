// GoogleTest main with a QCoreApplication: Qt's event loop without a GUI.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    int rc = 0;
    {
        QCoreApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        rc = RUN_ALL_TESTS();
    }
#ifdef _WIN32
    // Under Wine the C runtime's exit handlers can wait for ever in
    // winpthreads' pthread_key_delete (for a lock no live thread holds): the
    // results are out, so end without them.
    std::fflush(nullptr);
    std::_Exit(rc);
#else
    return rc;
#endif
}

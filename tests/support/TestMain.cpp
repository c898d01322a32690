#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstring>
#ifdef CORVANE_TEST_GUI
#include <QApplication>
#endif

#include <memory>

// Test discovery only lists names, so it must not need an event loop or a display.
static bool listingOnly(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0)
            return true;
    }
    return false;
}

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (listingOnly(argc, argv))
        return RUN_ALL_TESTS();
#ifdef CORVANE_TEST_GUI
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}

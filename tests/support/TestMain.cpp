#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstring>
#ifdef CORVANE_TEST_GUI
#include "support/XSession.h"

#include <QApplication>
#include <QProcess>
#include <cstdio>
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

#ifdef CORVANE_TEST_GUI
// GUI tests draw on a private X server with a window manager. The server is started first and
// the tests then run in a child process that connects to it, so that the application object
// never sees any other display; the child's output and exit status are this process's.
static int runInXSession(int argc, char **argv)
{
    QCoreApplication core(argc, argv);
    XSession session;
    if (!session.start()) {
        std::fprintf(stderr, "X session: %s\n", qPrintable(session.error()));
        return 1;
    }
    QProcessEnvironment environment = session.environment();
    environment.insert(QStringLiteral("CORVANE_TEST_IN_XSESSION"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QString::fromLocal8Bit(argv[0]), arguments);
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit)
        return 1;
    return child.exitCode();
}
#endif

int main(int argc, char **argv)
{
    // Read before gtest takes its own flags out of argv.
    const bool listing = listingOnly(argc, argv);
#ifdef CORVANE_TEST_GUI
    if (!listing && qEnvironmentVariableIsEmpty("CORVANE_TEST_IN_XSESSION"))
        return runInXSession(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    if (listing)
        return RUN_ALL_TESTS();
#ifdef CORVANE_TEST_GUI
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}

#include "App/AdReportMode.h"
#include "App/AppDelegate.h"
#include "App/AppPaths.h"
#include "App/CodexModes.h"
#include "App/CommandLine.h"
#include "App/SettingsStore.h"
#include "App/SmokeTest.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStringList>

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

int runInterface(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setDesktopFileName(QStringLiteral("dev.corvane.Corvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    QSettingsStore defaults;
    AppDelegate delegate(defaults);
    return QApplication::exec() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    using CommandLine::Mode;
    const QStringList arguments = argumentsOf(argc, argv);
    switch (CommandLine::selectMode(arguments)) {
    case Mode::smokeTest: {
        QCoreApplication app(argc, argv);
        return SmokeTest::run();
    }
    case Mode::codexStatus:
        return CodexModes::runStatus(AppPaths::codexConfigFile());
    case Mode::installCodexConfig:
        return CodexModes::runInstall(AppPaths::codexConfigFile(), AppPaths::notifyHookScript(),
                                      AppPaths::notifySocket(), QDateTime::currentDateTime());
    case Mode::revertCodexConfig:
        return CodexModes::runRevert(AppPaths::codexConfigFile());
    case Mode::adReport:
        return AdReportMode::run(arguments);
    case Mode::help:
        CommandLine::printLines(CommandLine::usage());
        return 0;
    case Mode::version:
        CommandLine::printLines(QStringLiteral("corvane " CORVANE_VERSION "\n"));
        return 0;
    case Mode::interface:
        break;
    }
    return runInterface(argc, argv);
}

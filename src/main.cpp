#include "App/AdReportMode.h"
#include "App/AppCore.h"
#include "App/AppDelegate.h"
#include "App/AppEnvironment.h"
#include "App/AppPaths.h"
#include "App/CodexModes.h"
#include "App/CommandLine.h"
#include "App/InstanceRun.h"
#include "App/SettingsStore.h"
#include "App/SmokeTest.h"
#include "App/SnapshotMode.h"
#include "HUD/QuickHUDPanel.h"
#include "Platform/X11/X11Display.h"
#include "Telemetry/MetricsEngine.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStringList>

#include <cstdio>

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// A Wayland compositor's socket to talk to, and Qt's Wayland platform to talk with.
bool waylandUsable()
{
    const QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (name.isEmpty())
        return false;
    const QString socket = name.startsWith(u'/') ? name : qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + name;
    return QFileInfo::exists(socket)
        && QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath)
                             + QStringLiteral("/platforms/libqwayland-generic.so"));
}

// Qt aborts when its platform cannot start, so a DISPLAY nobody answers on counts as none, and
// so does a Wayland display without its socket or without Qt's Wayland platform.
bool displayAvailable()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb")))
        return true; // another platform chosen on purpose (offscreen, wayland …)
    if (!qEnvironmentVariableIsEmpty("DISPLAY") && xServerAnswers())
        return true;
    if (!platform.isEmpty() || !waylandUsable())
        return false;
    qputenv("QT_QPA_PLATFORM", "wayland"); // no dead X fallback behind it
    return true;
}

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
}

int runHeadless(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    nameApplication();
    QSettingsStore defaults;
    const AppEnvironment environment = AppEnvironment::fromProcess();
    return InstanceRun::run(environment, [&] {
        auto core = std::make_unique<AppCore>(defaults, environment);
        core->launch();
        const MetricsEngine *metrics = core->metrics();
        return InstanceRun::Launched{std::move(core), metrics, {}};
    });
}

int runInterface(int argc, char **argv)
{
    QApplication app(argc, argv);
    nameApplication();
    QApplication::setDesktopFileName(QStringLiteral("dev.corvane.Corvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    QuickHUDPanel::preferSoftwareRendering();
    QSettingsStore defaults;
    const AppEnvironment environment = AppEnvironment::fromProcess();
    return InstanceRun::run(environment, [&] {
        auto delegate = std::make_unique<AppDelegate>(defaults, environment);
        delegate->applicationDidFinishLaunching();
        AppDelegate *raw = delegate.get();
        return InstanceRun::Launched{std::move(delegate), raw->core().metrics(), [raw] { raw->bringHUDForward(); }};
    });
}

int runSnapshot(int argc, char **argv, const QStringList &arguments)
{
    QCoreApplication app(argc, argv);
    nameApplication();
    // Reading only: the support directory is not created for a snapshot.
    const QString supportDir = AppPaths::supportDirFor(QDir::homePath(), qEnvironmentVariable("XDG_DATA_HOME"));
    QSettingsStore defaults;
    const AppSettings settings(defaults);
    return SnapshotMode::run(arguments, supportDir + QStringLiteral("/control.sock"), supportDir,
                             settings.displayMode());
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
    case Mode::snapshot:
        return runSnapshot(argc, argv, arguments);
    case Mode::help:
        CommandLine::printLines(CommandLine::usage());
        return 0;
    case Mode::version:
        CommandLine::printLines(QStringLiteral("corvane " CORVANE_VERSION "\n"));
        return 0;
    case Mode::headless:
        return runHeadless(argc, argv);
    case Mode::interface:
        break;
    }
    if (!displayAvailable()) {
        std::fputs("corvane: no display available; running headless\n", stderr);
        return runHeadless(argc, argv);
    }
    return runInterface(argc, argv);
}

#include "App/Core/AppEnvironment.h"
#include "App/Core/ClaudeStatusLine.h"
#include "App/Core/CommandLine.h"
#include "App/Core/HeadlessRun.h"
#include "App/Core/ClaudeHookClient.h"
#include "App/Modes/AdReportMode.h"
#include "App/Modes/ClaudeModes.h"
#include "App/Modes/CodexModes.h"
#include "App/Modes/SmokeTest.h"
#include "App/Modes/ImportHistoryMode.h"
#include "App/Modes/SnapshotMode.h"
#include "Settings/AppSettings.h"
#include "Settings/SettingsStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// A display is named for the desktop shell to try; the shell itself checks that it answers.
bool displayNamed()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb")))
        return true; // another platform chosen on purpose (offscreen, wayland …)
    return !qEnvironmentVariableIsEmpty("DISPLAY")
        || (platform.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"));
}

// Installed, the shell is in libexec; in the build tree it sits beside this executable.
QString desktopShellPath()
{
    const QString dir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
    const QString installed = dir + QStringLiteral("/" CORVANE_DESKTOP_FROM_BIN "/corvane-desktop");
    return QFileInfo(installed).isExecutable() ? installed : dir + QStringLiteral("/corvane-desktop");
}

// Becomes the desktop shell (same process, same arguments); returns only when that failed.
void execDesktopShell(char **argv)
{
    const QByteArray shell = QFile::encodeName(desktopShellPath());
    // The shell's "Start at Login" entry names the command the user typed, not the shell.
    qputenv("CORVANE_COMMAND", QFile::encodeName(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()));
    argv[0] = const_cast<char *>(shell.constData());
    execv(shell.constData(), argv);
    std::fprintf(stderr, "corvane: cannot start the desktop shell %s: %s; running headless\n", shell.constData(),
                 std::strerror(errno));
}

// Reading only: the support directory is not created for a snapshot or a status.
SnapshotMode::Files snapshotFiles()
{
    const AppEnvironment environment = AppEnvironment::fromProcess(AppEnvironment::SupportDir::leave);
    return {environment.controlSocket(), environment.supportDir, environment.codexConfigFile()};
}

int runSnapshot(int argc, char **argv, const CommandLine::Invocation &invocation)
{
    QCoreApplication app(argc, argv);
    HeadlessRun::nameApplication();
    QSettingsStore defaults;
    const AppSettings settings(defaults);
    return SnapshotMode::run({invocation.scope, invocation.json}, snapshotFiles(), settings.displayMode());
}

// Claude Code shows a hook that fails and blocks the prompt on exit status 2: the hook never
// reaches the usage check, whatever else is on its command line.
bool isClaudeHook(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--claude-hook") == 0)
            return true;
    }
    return false;
}

// No application object and no event loop: this runs for every hook event.
int runClaudeHook()
{
    return ClaudeHookClient::run(AppEnvironment::fromProcess(AppEnvironment::SupportDir::leave).controlSocket());
}

} // namespace

int main(int argc, char **argv)
{
    if (isClaudeHook(argc, argv))
        return runClaudeHook();
    using CommandLine::Mode;
    const auto parsed = CommandLine::parse(argumentsOf(argc, argv));
    if (const QString *error = std::get_if<QString>(&parsed))
        return CommandLine::usageError(*error);
    const CommandLine::Invocation &invocation = std::get<CommandLine::Invocation>(parsed);
    switch (invocation.mode) {
    case Mode::smokeTest: {
        QCoreApplication app(argc, argv);
        return SmokeTest::run();
    }
    case Mode::codexStatus:
        return CodexModes::runStatus(snapshotFiles());
    case Mode::installCodexConfig: {
        const AppEnvironment environment = AppEnvironment::fromProcess();
        return CodexModes::runInstall(environment.codexConfigFile(), environment.notifyHookScript(),
                                      environment.notifySocket(), environment.clock->now().toLocalTime());
    }
    case Mode::revertCodexConfig:
        return CodexModes::runRevert(AppEnvironment::fromProcess(AppEnvironment::SupportDir::leave).codexConfigFile());
    case Mode::claudeHook:
        return runClaudeHook();
    case Mode::claudeStatus:
        return ClaudeModes::runStatus(AppEnvironment::fromProcess(AppEnvironment::SupportDir::leave).claudeSettingsFile());
    case Mode::installClaudeConfig:
        return ClaudeModes::runInstall(AppEnvironment::fromProcess(AppEnvironment::SupportDir::leave).claudeSettingsFile(),
                                       QDateTime::currentDateTime());
    case Mode::revertClaudeConfig:
        return ClaudeModes::runRevert(AppEnvironment::fromProcess(AppEnvironment::SupportDir::leave).claudeSettingsFile());
    case Mode::adReport:
        return AdReportMode::run(invocation.days, AppEnvironment::fromProcess());
    case Mode::importHistory: {
        if (invocation.daysGiven && (!invocation.days || *invocation.days < 1))
            return CommandLine::usageError(QStringLiteral("--days needs a whole number of days, 1 or more"));
        QCoreApplication app(argc, argv);
        return ImportHistoryMode::run(invocation.days, AppEnvironment::fromProcess());
    }
    case Mode::snapshot:
        return runSnapshot(argc, argv, invocation);
    case Mode::help:
        CommandLine::printLines(CommandLine::usage());
        return 0;
    case Mode::version:
        CommandLine::printLines(QStringLiteral("corvane " CORVANE_VERSION "\n"));
        return 0;
    case Mode::headless:
        return HeadlessRun::run(argc, argv);
    case Mode::claudeStatusline:
        // No event loop and no support directory: this runs after every Claude Code message.
        return ClaudeStatusLine::run(AppEnvironment::fromProcess(AppEnvironment::SupportDir::leave).controlSocket());
    case Mode::interface:
        break;
    }
    if (displayNamed())
        execDesktopShell(argv);
    else
        std::fputs("corvane: no display available; running headless\n", stderr);
    return HeadlessRun::run(argc, argv);
}

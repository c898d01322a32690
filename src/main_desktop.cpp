#include "App/Core/AppEnvironment.h"
#include "App/Core/HeadlessRun.h"
#include "App/Core/InstanceRun.h"
#include "App/Shell/AppDelegate.h"
#include "HUD/Quick/QuickHUDPanel.h"
#include "Platform/X11/X11Display.h"
#include "Settings/SettingsStore.h"
#include "Telemetry/MetricsEngine.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>

#include <cstdio>

// The desktop shell, started by `corvane` when a display is named.

namespace {

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
    if (!qEnvironmentVariableIsEmpty("DISPLAY") && xServerAnswers()) {
        // Under Wayland too (XWayland): only an X11 window can be placed and kept above others
        // by its own requests, or by Sway's commands, which name XWayland windows by their ids.
        qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    }
    if (!platform.isEmpty() || !waylandUsable())
        return false;
    qputenv("QT_QPA_PLATFORM", "wayland"); // no dead X fallback behind it
    return true;
}

int runInterface(int argc, char **argv)
{
    QApplication app(argc, argv);
    HeadlessRun::nameApplication();
    QApplication::setDesktopFileName(QStringLiteral("dev.corvane.Corvane"));
    QApplication::setQuitOnLastWindowClosed(false);
    QuickHUDPanel::preferSoftwareRendering();
    QSettingsStore defaults;
    const AppEnvironment environment = AppEnvironment::fromProcess();
    return InstanceRun::run(environment, [&] {
        auto delegate = std::make_unique<AppDelegate>(defaults, environment);
        delegate->applicationDidFinishLaunching();
        AppDelegate *raw = delegate.get();
        return InstanceRun::Launched{std::move(delegate), raw->core().metrics(), &raw->core().codexHealth(),
                                     [raw] { raw->bringHUDForward(); }, raw->core().adapters()->claudeHooks(),
                                     InstanceRun::queuedPublisher(raw->core().bus()), &raw->core()};
    });
}

} // namespace

int main(int argc, char **argv)
{
    if (displayAvailable())
        return runInterface(argc, argv);
    std::fputs("corvane: no display available; running headless\n", stderr);
    return HeadlessRun::run(argc, argv);
}

#include "App/Core/HeadlessRun.h"

#include "App/Core/AppCore.h"
#include "App/Core/AppEnvironment.h"
#include "App/Core/InstanceRun.h"
#include "Settings/SettingsStore.h"
#include "Telemetry/MetricsEngine.h"

#include <QCoreApplication>

namespace HeadlessRun {

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
}

namespace {

// Without a screen no agent window has the focus: snapshots show the display mode's starting
// scope, as a snapshot read from the store does.
void followDisplayMode(AppCore &core)
{
    MetricsEngine *metrics = core.metrics();
    AppSettings *settings = &core.settings();
    const auto follow = [metrics, settings] { metrics->setScope(settings->displayMode().startingScope()); };
    follow();
    QObject::connect(settings, &AppSettings::displayModeChanged, metrics, follow);
}

} // namespace

int run(int argc, char **argv)
{
    // Qt's own event dispatcher: without a GUI the GLib one only adds work to every wake-up, and
    // a busy receiver wakes its thread and the main one for each request. Read by each thread
    // that starts an event loop, so it stays set.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    nameApplication();
    QSettingsStore defaults;
    const AppEnvironment environment = AppEnvironment::fromProcess();
    return InstanceRun::run(environment, [&] {
        auto core = std::make_unique<AppCore>(defaults, environment);
        core->launch();
        followDisplayMode(*core);
        const MetricsEngine *metrics = core->metrics();
        const CodexTelemetryHealth *health = &core->codexHealth();
        ClaudeCodeHookSource *claudeHooks = core->adapters()->claudeHooks();
        EventPublisher publish = InstanceRun::queuedPublisher(core->bus());
        AppCore *raw = core.get();
        return InstanceRun::Launched{std::move(core), metrics, health, {}, claudeHooks, std::move(publish), raw};
    });
}

} // namespace HeadlessRun

#include "App/Core/HeadlessRun.h"

#include "App/Core/AppCore.h"
#include "App/Core/AppEnvironment.h"
#include "App/Core/InstanceRun.h"
#include "Settings/SettingsStore.h"

#include <QCoreApplication>

namespace HeadlessRun {

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
}

int run(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    nameApplication();
    QSettingsStore defaults;
    const AppEnvironment environment = AppEnvironment::fromProcess();
    return InstanceRun::run(environment, [&] {
        auto core = std::make_unique<AppCore>(defaults, environment);
        core->launch();
        const MetricsEngine *metrics = core->metrics();
        const CodexTelemetryHealth *health = &core->codexHealth();
        ClaudeCodeHookSource *claudeHooks = core->adapters()->claudeHooks();
        return InstanceRun::Launched{std::move(core), metrics, health, {}, claudeHooks};
    });
}

} // namespace HeadlessRun

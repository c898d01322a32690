#include "App/Core/InstanceRun.h"

#include "App/Core/AppCore.h"
#include "App/Core/ClaudeStatusLine.h"
#include "App/Core/CommandLine.h"
#include "App/Core/ControlClient.h"
#include "App/Core/ControlServer.h"
#include "App/Core/HistoryProgressJson.h"
#include "App/Core/InstanceLock.h"
#include "App/Core/SnapshotFormat.h"
#include "App/Core/TerminationSignals.h"
#include "Telemetry/Adapters/ClaudeCodeHookSource.h"
#include "Telemetry/EventBus.h"
#include "Telemetry/MetricsEngine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QPointer>
#include <QThread>

#include <cstdio>

namespace InstanceRun {

namespace {

int handOff(const AppEnvironment &environment)
{
    // The first instance may still be launching; its socket appears once it is up.
    const QByteArray raise = ControlRequest::raise().toLine();
    QDeadlineTimer deadline(handOffTimeoutMs);
    while (!ControlClient::send(environment.controlSocket(), raise, 1000)) {
        if (deadline.hasExpired())
            return CommandLine::errorExit(QStringLiteral("an instance is running but does not answer"));
        QThread::msleep(50);
    }
    CommandLine::printLines(QString::fromLatin1(alreadyRunningLine));
    return 0;
}

QByteArray claudeStatusAnswer(const QJsonObject &object, const MetricsEngine &metrics, const EventPublisher &publish)
{
    const auto report = ClaudeStatusReport::fromJson(object);
    if (!report)
        return QByteArrayLiteral("error: not a status report\n");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const ScopedMetrics scoped = metrics.scoped(MetricsScope::of(DisplayAgent::claudeCode));
    const QByteArray line = ClaudeStatusLine::line(*report, &scoped, now).toUtf8() + '\n';
    if (!publish)
        return line;
    publish(AgentEvent::make(AgentSource::claudeCodeJsonl, report->sessionId,
                             SessionReport{report->costUsd, report->contextWindowSize, report->contextUsedPercent}, now));
    if (report->limits)
        publish(AgentEvent::make(AgentSource::claudeCodeJsonl, report->sessionId, *report->limits, now));
    return line;
}

} // namespace

QByteArray answer(const std::optional<ControlRequest> &request, const MetricsEngine &metrics,
                  const CodexTelemetryHealth &health, const std::function<void()> &bringForward,
                  ClaudeCodeHookSource *claudeHooks, const EventPublisher &publish, AppCore *core)
{
    if (!request)
        return QByteArrayLiteral("error: unknown request\n");
    switch (request->command) {
    case ControlRequest::Command::raise:
        if (bringForward)
            bringForward();
        return QByteArrayLiteral("ok\n");
    case ControlRequest::Command::snapshot:
        return SnapshotFormat::output(metrics.scoped(request->scope), health.snapshot(), request->json);
    case ControlRequest::Command::claudeHook:
        if (claudeHooks)
            claudeHooks->receive(request->hook);
        return {};
    case ControlRequest::Command::claudeStatus:
        return claudeStatusAnswer(request->report, metrics, publish);
    case ControlRequest::Command::importHistory:
    case ControlRequest::Command::importStatus:
        if (!core)
            return QByteArrayLiteral("error: this instance does not import history\n");
        if (request->command == ControlRequest::Command::importHistory)
            core->importHistory(request->days);
        return QJsonDocument(HistoryProgressJson::toJson(core->historyImportTotal())).toJson(QJsonDocument::Compact) + '\n';
    }
    return {};
}

int run(const AppEnvironment &environment, const std::function<Launched()> &launch)
{
    const std::unique_ptr<InstanceLock> lock = InstanceLock::acquire(environment.supportDir);
    if (!lock)
        return handOff(environment);

    TerminationSignals terminationSignals;
    const Launched launched = launch();
    const MetricsEngine &metrics = *launched.metrics;
    const CodexTelemetryHealth &health = *launched.health;
    const std::function<void()> bringForward = launched.bringForward;
    ClaudeCodeHookSource *claudeHooks = launched.claudeHooks;
    const EventPublisher publish = launched.publish;
    AppCore *core = launched.core;
    ControlServer control(environment.controlSocket(), [&metrics, &health, &bringForward, claudeHooks, &publish, core](QByteArrayView line) {
        return answer(ControlRequest::parse(line), metrics, health, bringForward, claudeHooks, publish, core);
    }, environment);
    if (!control.listen())
        std::fprintf(stderr, "corvane: control socket unavailable: %s\n", qPrintable(control.errorString()));
    return QCoreApplication::exec() == 0 ? 0 : 1;
}

EventPublisher queuedPublisher(EventBus &bus)
{
    return [bus = QPointer<EventBus>(&bus)](const AgentEvent &event) {
        QMetaObject::invokeMethod(
            bus, [bus, event] { if (bus) bus->publish(event); }, Qt::QueuedConnection);
    };
}

} // namespace InstanceRun

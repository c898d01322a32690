#pragma once

#include "App/Core/AppEnvironment.h"
#include "App/Core/ControlRequest.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <memory>

class AppCore;
class ClaudeCodeHookSource;
class CodexTelemetryHealth;
class MetricsEngine;
struct AgentEvent;
class EventBus;

// Hands an event to the instance's bus; queued, so the caller's answer is not held up by the store.
using EventPublisher = std::function<void(const AgentEvent &)>;

// Running Corvane as the one instance of its support directory.
namespace InstanceRun {

inline constexpr char alreadyRunningLine[] = "Corvane is already running.\n";
// How long a second launch keeps trying to reach a first one that is still starting.
inline constexpr int handOffTimeoutMs = 5000;

// What a launch built: the object that owns it, its metrics, how to bring its HUD forward
// (nothing to do headless) and how to hand it an event.
struct Launched {
    std::unique_ptr<QObject> owner;
    const MetricsEngine *metrics = nullptr;
    const CodexTelemetryHealth *health = nullptr;
    std::function<void()> bringForward;
    ClaudeCodeHookSource *claudeHooks = nullptr; // where Claude Code's hook calls go
    EventPublisher publish;
    AppCore *core = nullptr; // runs the history imports asked for over the socket
};

// The answer to one control request of a running instance. A hook call gets an empty answer (its
// sender never waits for one); a Claude status report is published as events before its line is made.
QByteArray answer(const std::optional<ControlRequest> &request, const MetricsEngine &metrics,
                  const CodexTelemetryHealth &health, const std::function<void()> &bringForward,
                  ClaudeCodeHookSource *claudeHooks = nullptr, const EventPublisher &publish = {},
                  AppCore *core = nullptr);

// Becomes the instance and runs the event loop until SIGINT, SIGTERM, SIGHUP or quit (status 0); when
// another instance holds the support directory, asks it to come forward, prints one line and
// returns 0 without launching anything (1, with an error line, when it never answers).
int run(const AppEnvironment &environment, const std::function<Launched()> &launch);

// A publisher that queues each event to the bus's thread.
EventPublisher queuedPublisher(EventBus &bus);

} // namespace InstanceRun

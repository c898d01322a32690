#pragma once

#include "App/Core/AppEnvironment.h"
#include "App/Core/ControlRequest.h"

#include <QByteArray>
#include <QObject>

#include <functional>
#include <memory>

class ClaudeCodeHookSource;
class CodexTelemetryHealth;
class MetricsEngine;

// Running Corvane as the one instance of its support directory.
namespace InstanceRun {

inline constexpr char alreadyRunningLine[] = "Corvane is already running.\n";
// How long a second launch keeps trying to reach a first one that is still starting.
inline constexpr int handOffTimeoutMs = 5000;

// What a launch built: the object that owns it, its metrics, and how to bring its HUD forward
// (nothing to do headless).
struct Launched {
    std::unique_ptr<QObject> owner;
    const MetricsEngine *metrics = nullptr;
    const CodexTelemetryHealth *health = nullptr;
    std::function<void()> bringForward;
    ClaudeCodeHookSource *claudeHooks = nullptr; // where Claude Code's hook calls go
};

// The answer to one control request of a running instance.
// A hook call gets an empty answer: its sender never waits for one.
QByteArray answer(const std::optional<ControlRequest> &request, const MetricsEngine &metrics,
                  const CodexTelemetryHealth &health, const std::function<void()> &bringForward,
                  ClaudeCodeHookSource *claudeHooks = nullptr);

// Becomes the instance and runs the event loop until SIGINT, SIGTERM, SIGHUP or quit (status 0); when
// another instance holds the support directory, asks it to come forward, prints one line and
// returns 0 without launching anything (1, with an error line, when it never answers).
int run(const AppEnvironment &environment, const std::function<Launched()> &launch);

} // namespace InstanceRun

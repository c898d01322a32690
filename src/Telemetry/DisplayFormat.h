#pragma once

#include "Telemetry/AgentEvent.h"
#include "Telemetry/MetricsScope.h"
#include "Telemetry/PlanLimits.h"

#include <QString>

#include <optional>

// The number, time and label texts shown to the user, shared by the HUD, the dialogs, the
// status-line output and the pilot report.
namespace DisplayFormat {

// "999", "1.5k", "2.35M".
QString tokens(qint64 count);
// "$0.042" below ten dollars, "$12.34" from ten.
QString money(double dollars);
// The agent's own cost where it reports one ("$0.017"), else the estimate ("$0.019 est.").
QString sessionCost(double estimate, const std::optional<double> &reported);
// Whole seconds as "m:ss", minutes not wrapped; negative or not finite counts as 0.
QString clock(double seconds);
// Rounded seconds as "1h 2m", "1m 5s" or "59s"; negative counts as 0, not finite is "-".
QString duration(double seconds);
// "Claude Code", "Codex", "Mock".
QString agentName(DisplayAgent agent);
// The agent's name, or "All Agents".
QString scopeLabel(const MetricsScope &scope);
// "Idle", "Needs approval", or the state text (else "Working…") and the turn clock.
QString stateLabel(AgentState state, const std::optional<QString> &stateText, double elapsed);
// "live" while working at exactly 0, else the rounded rate and " tps".
QString tpsLabel(double tps, bool working);

// A plan window's length: "5h", "7d", "90m"; `fallback` when unknown.
QString windowName(const LimitWindow &window, const QString &fallback);
// Time left until a reset: "1:12" (h:mm) below a day, "2d 23h" from a day; negative counts as 0.
QString countdown(double seconds);
// A used share rounded to whole percent: "43 %".
QString percent(double used);
// One window at `now`: "5h 43 % · 1:12", without the countdown while its reset is unknown.
QString windowLabel(const LimitWindow &window, const QString &fallbackName, const QDateTime &now);
// The figure for a plan: "limit · resets 11:46" (local time) while a limit holds, else the short
// window's label (the weekly one without it); empty for nothing known.
QString limitLabel(const PlanLimits &limits, const QDateTime &now);

} // namespace DisplayFormat

#pragma once

#include "Telemetry/AgentEvent.h"
#include "Telemetry/MetricsScope.h"

#include <QString>

#include <optional>

// The number, time and label texts shown to the user, shared by the HUD, the dialogs, the
// status-line output and the pilot report.
namespace DisplayFormat {

// "999", "1.5k", "2.35M".
QString tokens(qint64 count);
// "$0.042" below ten dollars, "$12.34" from ten.
QString money(double dollars);
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

} // namespace DisplayFormat

#pragma once

#include "Telemetry/AgentEvent.h"
#include "Telemetry/MetricsScope.h"

#include <QString>

#include <optional>

// The number and label formats the HUD shows, shared by every view and the status-line output.
namespace DisplayFormat {

// "999", "1.5k", "2.35M".
QString tokens(qint64 count);
// "$0.042" below ten dollars, "$12.34" from ten.
QString money(double dollars);
// Whole seconds as "m:ss", minutes not wrapped; negative counts as 0.
QString clock(double seconds);
// "All Agents", "Claude Code", "Codex", "Mock".
QString scopeLabel(const MetricsScope &scope);
// "Idle", "Needs approval", or the state text (else "Working…") and the turn clock.
QString stateLabel(AgentState state, const std::optional<QString> &stateText, double elapsed);
// "live" while working at exactly 0, else the rounded rate and " tps".
QString tpsLabel(double tps, bool working);

} // namespace DisplayFormat

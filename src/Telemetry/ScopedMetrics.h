#pragma once

#include "Telemetry/AgentPlanLimits.h"
#include "Telemetry/DayAgg.h"
#include "Telemetry/MetricsScope.h"
#include "Telemetry/SessionAgg.h"
#include "Telemetry/ToolCallEntry.h"

#include <QList>

// The engine's state projected onto one scope: everything a HUD view draws.
struct ScopedMetrics {
    MetricsScope scope;
    AgentState state = AgentState::idle;
    std::optional<QString> stateText;
    double elapsedInTurn = 0;
    qint64 sessionInput = 0;
    qint64 sessionOutput = 0;
    qint64 sessionCachedInput = 0;
    qint64 sessionMeteredTokens = 0; // input + output
    qint64 sessionTotalTokens = 0;
    qint64 contextTokens = 0;
    double sessionCost = 0;                       // the estimate
    std::optional<double> reportedSessionCost;    // the agents' own figure, when every session counted has one
    qint64 contextWindow = 0;                     // the model's window, 0 when unknown
    std::optional<double> contextUsedPercent;     // as the agent reports it
    double tps = 0;
    QList<double> tpsHistory;       // oldest first
    std::optional<QString> model;
    qint64 toolCallCount = 0;
    QList<ToolCallEntry> toolFeed;  // newest first
    QList<SessionAgg> sessions;     // most recently active first
    QList<DayAgg> daily;            // oldest first
    QList<AgentPlanLimits> planLimits; // the scope's agents that reported limits, by agent

    // Input + output of the last day, 0 without days.
    qint64 todayTokens() const { return daily.isEmpty() ? 0 : daily.last().input + daily.last().output; }

    bool operator==(const ScopedMetrics &) const = default;
};

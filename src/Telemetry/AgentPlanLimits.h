#pragma once

#include "Telemetry/AgentEvent.h"

#include <QList>

#include <map>

// The plan limits of one agent as they stand at a moment: the family the HUD shows, and every
// family the agent reported (by limit id).
struct AgentPlanLimits {
    DisplayAgent agent = DisplayAgent::codex;
    PlanLimits shown;
    QList<PlanLimits> families;

    bool operator==(const AgentPlanLimits &) const = default;
};

// The latest merged report per limit family.
using PlanLimitsByFamily = std::map<QString, PlanLimits>;

// The family shown for an agent: its own plan ("codex", "claude") when reported, else the one
// seen last; none for no family.
const PlanLimits *shownFamily(const PlanLimitsByFamily &families);

// The agent's limits at `now`.
AgentPlanLimits agentPlanLimits(DisplayAgent agent, const PlanLimitsByFamily &families, const QDateTime &now);

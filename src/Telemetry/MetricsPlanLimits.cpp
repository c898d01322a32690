// The plan limits of MetricsEngine: the latest report per agent and family.
#include "Telemetry/MetricsEngine.h"

void MetricsEngine::applyPlanLimits(DisplayAgent agent, const PlanLimits &limits)
{
    PlanLimitsByFamily &families = m_planLimits[agent];
    const auto found = families.find(limits.limitId);
    families[limits.limitId] = found == families.end() ? limits : limits.mergedOver(found->second);
    Q_EMIT planLimitsChanged();
    Q_EMIT changed();
}

QList<AgentPlanLimits> MetricsEngine::planLimitsProjection(const MetricsScope &scope) const
{
    QList<AgentPlanLimits> result;
    const QDateTime now = m_clock.now();
    for (const auto &[agent, families] : m_planLimits) {
        if (!families.empty() && (scope.isAggregate() || scope.agent == agent))
            result.append(agentPlanLimits(agent, families, now));
    }
    return result;
}

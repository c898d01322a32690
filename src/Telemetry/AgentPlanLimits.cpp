#include "Telemetry/AgentPlanLimits.h"

namespace {

bool isMainFamily(const QString &limitId) { return limitId == u"codex" || limitId == u"claude"; }

} // namespace

const PlanLimits *shownFamily(const PlanLimitsByFamily &families)
{
    const PlanLimits *latest = nullptr;
    for (const auto &[id, limits] : families) {
        if (isMainFamily(id))
            return &limits;
        if (!latest || limits.seenAt > latest->seenAt)
            latest = &limits;
    }
    return latest;
}

AgentPlanLimits agentPlanLimits(DisplayAgent agent, const PlanLimitsByFamily &families, const QDateTime &now)
{
    AgentPlanLimits result{agent, {}, {}};
    if (const PlanLimits *shown = shownFamily(families))
        result.shown = shown->at(now);
    for (const auto &[id, limits] : families)
        result.families.append(limits.at(now));
    return result;
}

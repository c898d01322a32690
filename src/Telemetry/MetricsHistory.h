#pragma once

#include "Telemetry/DayAgg.h"
#include "Telemetry/PlanLimits.h"
#include "Telemetry/StoredAgentEvent.h"

#include <QList>

#include <map>
#include <span>

class PricingTable;

// The day lists of all agents together and of each agent.
struct DailyTotals {
    QList<DayAgg> all;
    std::map<DisplayAgent, QList<DayAgg>> byAgent;
};

// What the metrics engine reads back from persisted events (the event store implements it).
class MetricsHistory {
public:
    virtual ~MetricsHistory() = default;

    // Every event of the sessionLimit most recently active (source, session) pairs, oldest first.
    virtual QList<StoredAgentEvent> recentSessionEvents(int sessionLimit) const = 0;

    // One entry per day of the last `days` days ending today, oldest first; an empty
    // source list means all sources.
    virtual QList<DayAgg> dailyAggregates(int days, const PricingTable &pricing,
                                          std::span<const AgentSource> sources = {}) const = 0;

    // dailyAggregates for all sources and for each agent's sources; a store may answer in one pass.
    virtual DailyTotals dailyTotals(int days, const PricingTable &pricing) const
    {
        DailyTotals totals{dailyAggregates(days, pricing), {}};
        for (DisplayAgent agent : allDisplayAgents)
            totals.byAgent[agent] = dailyAggregates(days, pricing, sources(agent));
        return totals;
    }

    // The last stored report of every (agent, limit family), oldest first.
    virtual QList<std::pair<DisplayAgent, PlanLimits>> planLimits() const { return {}; }
};

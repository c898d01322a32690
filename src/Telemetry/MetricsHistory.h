#pragma once

#include "Telemetry/DayAgg.h"
#include "Telemetry/StoredAgentEvent.h"

#include <QList>

#include <span>

class PricingTable;

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
};

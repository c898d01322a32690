#pragma once

#include "Telemetry/AgentEvent.h"

#include <optional>

// What the HUD shows: one agent, or all agents together.
struct MetricsScope {
    std::optional<DisplayAgent> agent; // absent: aggregate

    static MetricsScope aggregate() { return {}; }
    static MetricsScope of(DisplayAgent agent) { return {agent}; }
    bool isAggregate() const { return !agent.has_value(); }

    bool operator==(const MetricsScope &) const = default;
};

#pragma once

#include "Telemetry/AgentEvent.h"

#include <optional>

// An event read back from the event store, with the model that was in force when it was stored.
struct StoredAgentEvent {
    AgentEvent event;
    std::optional<QString> modelAtEvent;

    bool operator==(const StoredAgentEvent &) const = default;
};

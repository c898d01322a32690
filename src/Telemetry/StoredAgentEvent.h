#pragma once

#include "Telemetry/AgentEvent.h"

#include <optional>

// What a token event added to its session's totals once the session's channels are merged
// (a response reported by two channels counts once).
struct CountedTokens {
    qint64 input = 0;
    qint64 output = 0;
    qint64 cached = 0;

    bool operator==(const CountedTokens &) const = default;
};

// An event read back from the event store, with the model that was in force when it was stored.
// counted is set on the write path for token events that did not count in full and for
// snapshots; absent, a usage counts as reported and a snapshot (cumulative counts) adds nothing.
struct StoredAgentEvent {
    AgentEvent event;
    std::optional<QString> modelAtEvent;
    std::optional<CountedTokens> counted;

    bool operator==(const StoredAgentEvent &) const = default;
};

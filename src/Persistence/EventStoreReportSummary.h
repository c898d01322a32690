#pragma once

#include "Telemetry/AgentEvent.h"

#include <QDateTime>

#include <optional>

// What one source did in a report window.
struct EventStoreReportSummary {
    AgentSource source = AgentSource::mock;
    qint64 sessions = 0;
    qint64 tokenRows = 0;
    qint64 toolCalls = 0;
    qint64 inputTokens = 0;
    qint64 outputTokens = 0;
    qint64 cachedTokens = 0;
    double activeTurnSeconds = 0;
    std::optional<QDateTime> firstActivity;
    std::optional<QDateTime> lastActivity;

    bool operator==(const EventStoreReportSummary &) const = default;
};

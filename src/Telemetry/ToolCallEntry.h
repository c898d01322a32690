#pragma once

#include "Telemetry/AgentEvent.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

// One entry of the shared tool feed.
struct ToolCallEntry {
    QUuid id;
    QString name;
    std::optional<qint64> durationMs;
    QDateTime timestamp;
    AgentSource source = AgentSource::mock;
    std::optional<QString> callId; // the agent's id of the call, when it reports one
    bool failed = false;

    bool operator==(const ToolCallEntry &) const = default;
};

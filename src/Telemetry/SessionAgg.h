#pragma once

#include "Telemetry/AgentEvent.h"
#include "Telemetry/SaturatingMath.h"

#include <QDateTime>
#include <QString>

#include <optional>

// What one kind of channel has counted for a session.
struct ChannelTotals {
    qint64 input = 0; // cached included
    qint64 output = 0;
    qint64 cached = 0;
    double cost = 0;

    bool operator==(const ChannelTotals &) const = default;
};

// Totals of one session of one agent.
struct SessionAgg {
    QString sessionId;
    AgentSource source = AgentSource::mock; // of the event that created the record
    qint64 input = 0;                       // cached included
    qint64 output = 0;
    qint64 cached = 0;
    qint64 contextTokens = 0;
    qint64 sessionTokens = 0; // the total the HUD shows
    qint64 modelContextWindow = 0;
    std::optional<QString> model;
    double cost = 0;
    QDateTime lastActivity = distantPast();
    // The sum of the per-response usages and the latest cumulative snapshot; input, output,
    // cached and cost above are the larger of the two (MetricsEngine's one-count rule).
    ChannelTotals responses;
    ChannelTotals cumulative;
    // Claude Code's hooks report this session's turn edges, so tokens alone never open a turn.
    bool turnsFromHooks = false;

    // A placeholder that never saw tokens or cost.
    bool isEmpty() const { return sessionTokens < 1 && saturatingAdd(input, output) < 1 && !(cost > 0); }

    static QDateTime distantPast() { return QDateTime::fromMSecsSinceEpoch(-62135596800000LL, Qt::UTC); }

    bool operator==(const SessionAgg &) const = default;
};

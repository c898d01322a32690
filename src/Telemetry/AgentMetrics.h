#pragma once

#include "Telemetry/SessionAgg.h"

#include <QList>

#include <map>

// When output tokens arrived, and how many.
struct OutputSample {
    QDateTime at;
    qint64 tokens = 0;
    bool operator==(const OutputSample &) const = default;
};

// The live state of one display agent.
struct AgentMetrics {
    AgentState state = AgentState::idle;
    std::optional<QString> stateText;
    std::optional<QDateTime> turnStartedAt;
    // The channel whose event opened the current turn; its own rule ends the turn.
    std::optional<AgentSource> turnSource;
    // The open turn was read back from the store and no live event has touched it since.
    bool turnReplayed = false;
    double elapsedInTurn = 0; // seconds
    std::optional<QString> model;
    qint64 toolCallCount = 0;
    std::optional<QString> lastTool;
    std::map<QString, SessionAgg> sessions;
    std::optional<QString> currentSessionId;
    QDateTime lastActivity = SessionAgg::distantPast();
    QList<OutputSample> outputSamples;
    double tps = 0; // output tokens per second, smoothed
    QList<double> tpsHistory; // oldest first

    // sessions[currentSessionId], or null when either is absent.
    const SessionAgg *currentSession() const
    {
        if (!currentSessionId)
            return nullptr;
        const auto found = sessions.find(*currentSessionId);
        return found == sessions.end() ? nullptr : &found->second;
    }

    bool operator==(const AgentMetrics &) const = default;
};

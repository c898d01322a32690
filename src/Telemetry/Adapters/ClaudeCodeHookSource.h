#pragma once

#include "Platform/Environment.h"
#include "Telemetry/AgentEvent.h"

#include <QJsonObject>
#include <QList>

class EventBus;

// Claude Code's hooks as a live channel beside its transcripts: each hook call's metadata
// (ClaudeHookMetadata) becomes turn, approval and tool events of its session, at once. Tokens
// and costs are not in hooks; they still come from the transcripts. Lives on the main thread,
// where the control socket delivers the calls.
class ClaudeCodeHookSource {
    Q_DISABLE_COPY_MOVE(ClaudeCodeHookSource)

public:
    // The bus and the environment's clock must outlive the source.
    ClaudeCodeHookSource(EventBus &bus, const Environment &env = {});

    // Publishes the events of one hook call (metadata already filtered), stamped now.
    void receive(const QJsonObject &metadata);

    // The events of one hook call, pure: a turn starts at a submitted prompt and ends at once at
    // Stop, StopFailure, Interrupt and SessionEnd; a permission request (and Claude Code's
    // permission notification) waits for approval; the tool events give one call per
    // tool_use_id, failed for a failure or a denial. Subagents' calls keep the parent session.
    static QList<AgentEvent> events(const QJsonObject &metadata, const QDateTime &at);

private:
    EventBus &m_bus;
    Clock &m_clock;
};

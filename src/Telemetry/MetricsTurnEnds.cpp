#include "Telemetry/MetricsEngine.h"

// Turn ends by the channels' own rules, for turns whose channel can no longer report them: turns
// read back from the store, and turns still open when the application stops.

std::chrono::milliseconds MetricsEngine::turnEndRule(AgentSource source, const Delays &delays)
{
    switch (source) {
    case AgentSource::claudeCodeJsonl:
    case AgentSource::claudeCodeHooks:
        return delays.transcriptTurnQuiet;
    case AgentSource::codexDesktopSession:
        return delays.codexSessionActiveWithin;
    case AgentSource::codexOtel:
    case AgentSource::codexNotify:
    case AgentSource::mock:
        break;
    }
    return delays.otelTurnEnd;
}

QList<AgentEvent> MetricsEngine::pendingTurnEnds(const QDateTime &now) const
{
    QList<AgentEvent> ends;
    for (const auto &[agent, metrics] : m_agents) {
        if (metrics.state == AgentState::idle || !metrics.currentSessionId)
            continue;
        const AgentSource source = metrics.turnSource.value_or(sources(agent).front());
        const QDateTime due = metrics.lastActivity.addMSecs(turnEndRule(source, m_delays).count());
        ends.append(AgentEvent::make(source, *metrics.currentSessionId, TurnEnded{}, std::min(due, now)));
    }
    return ends;
}

QList<AgentEvent> MetricsEngine::endReplayedTurns(const QDateTime &now)
{
    QList<AgentEvent> due;
    for (const AgentEvent &end : pendingTurnEnds(now)) {
        const AgentMetrics &metrics = m_agents.at(displayAgent(end.source));
        if (metrics.turnReplayed && end.timestamp < now)
            due.append(end);
    }
    for (const AgentEvent &end : due)
        apply(end, false, std::nullopt);
    return due;
}

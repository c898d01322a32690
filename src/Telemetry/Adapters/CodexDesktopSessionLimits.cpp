// The plan limits of CodexDesktopSessionAdapter, read from the same rollout lines.
#include "Telemetry/Adapters/CodexDesktopSessionAdapter.h"

#include "Telemetry/EventBus.h"

#include <map>

void CodexDesktopSessionAdapter::publishLimits(QByteArrayView line, const QDateTime &now, const QDateTime &modifiedAt)
{
    const auto source = AgentSource::codexDesktopSession;
    if (auto limits = CodexRolloutLimits::rateLimits(line, now)) {
        m_limitFamily = limits->limitId;
        const QDateTime at = limits->seenAt;
        m_bus.publish(AgentEvent::make(source, m_currentSessionId, std::move(*limits), at));
    } else if (CodexRolloutLimits::endsOnUsageLimit(line)) {
        // Codex sends neither OTLP nor notify for this turn: the rollout is the only word of its end.
        PlanLimits reached;
        reached.limitId = m_limitFamily;
        reached.channel = QStringLiteral("rollout");
        reached.reachedType = QStringLiteral("usage_limit_exceeded");
        reached.seenAt = now;
        m_bus.publish(AgentEvent::make(source, m_currentSessionId, reached, now));
        m_bus.publish(AgentEvent::make(source, m_currentSessionId, TurnEnded{}, now));
        m_active = false;
        m_limitEndedTurnAt = modifiedAt;
    }
}

void CodexDesktopSessionAdapter::seedLimits(QByteArrayView lines, const QDateTime &now)
{
    // The tail holds one report per response: publish only each family's merged latest.
    std::map<QString, PlanLimits> latest;
    qsizetype start = 0;
    while (start < lines.size()) {
        qsizetype end = lines.indexOf('\n', start);
        if (end < 0)
            end = lines.size();
        if (auto limits = CodexRolloutLimits::rateLimits(lines.sliced(start, end - start), now)) {
            m_limitFamily = limits->limitId;
            const auto found = latest.find(limits->limitId);
            latest[limits->limitId] = found == latest.end() ? *limits : limits->mergedOver(found->second);
        }
        start = end + 1;
    }
    for (const auto &[family, limits] : latest)
        m_bus.publish(AgentEvent::make(AgentSource::codexDesktopSession, m_currentSessionId, limits, limits.seenAt));
}

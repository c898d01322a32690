#include "App/Core/SnapshotFormat.h"

#include "Telemetry/DisplayFormat.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace SnapshotFormat {

namespace {

QJsonValue optionalText(const std::optional<QString> &text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonValue time(const QDateTime &at)
{
    return at.isValid() ? QJsonValue(at.toUTC().toString(Qt::ISODateWithMs)) : QJsonValue(QJsonValue::Null);
}

QJsonObject sessionJson(const SessionAgg &session)
{
    return {{"sessionId", session.sessionId},
            {"source", rawValue(session.source)},
            {"input", session.input},
            {"output", session.output},
            {"cached", session.cached},
            {"contextTokens", session.contextTokens},
            {"sessionTokens", session.sessionTokens},
            {"modelContextWindow", session.modelContextWindow},
            {"model", optionalText(session.model)},
            {"cost", session.cost},
            {"reportedCost", session.reportedCost ? QJsonValue(*session.reportedCost) : QJsonValue()},
            {"contextUsedPercent", session.contextUsedPercent ? QJsonValue(*session.contextUsedPercent) : QJsonValue()},
            {"lastActivity", time(session.lastActivity)}};
}

QJsonObject toolJson(const ToolCallEntry &entry)
{
    return {{"id", entry.id.toString(QUuid::WithoutBraces)},
            {"name", entry.name},
            {"durationMs", entry.durationMs ? QJsonValue(*entry.durationMs) : QJsonValue(QJsonValue::Null)},
            {"timestamp", time(entry.timestamp)},
            {"source", rawValue(entry.source)},
            {"failed", entry.failed}};
}

QJsonObject dayJson(const DayAgg &day)
{
    return {{"date", time(day.date)}, {"input", day.input}, {"output", day.output}, {"cost", day.cost}};
}

// Per agent: the shown family's fields as they stand now, and every family under "families".
QJsonObject limitsJson(const QList<AgentPlanLimits> &agents)
{
    QJsonObject object;
    for (const AgentPlanLimits &agent : agents) {
        QJsonObject shown = agent.shown.toJson();
        QJsonArray families;
        for (const PlanLimits &family : agent.families)
            families.append(family.toJson());
        shown.insert("families", families);
        object.insert(rawValue(agent.agent), shown);
    }
    return object;
}

template <typename T, typename Fn>
QJsonArray arrayOf(const QList<T> &items, Fn toJson)
{
    QJsonArray array;
    for (const T &item : items)
        array.append(toJson(item));
    return array;
}

} // namespace

QString scopeName(const MetricsScope &scope)
{
    return scope.agent ? rawValue(*scope.agent) : QStringLiteral("aggregate");
}

std::optional<MetricsScope> scopeFromName(QStringView name)
{
    if (name == u"aggregate")
        return MetricsScope::aggregate();
    if (const auto agent = displayAgentFromRaw(name))
        return MetricsScope::of(*agent);
    return std::nullopt;
}

QString text(const ScopedMetrics &m, const Health &health)
{
    const bool working = m.state == AgentState::working;
    QStringList parts{
        DisplayFormat::scopeLabel(m.scope),
        DisplayFormat::stateLabel(m.state, m.stateText, m.elapsedInTurn),
        QStringLiteral("session ") + DisplayFormat::tokens(m.sessionTotalTokens),
        QStringLiteral("context ") + DisplayFormat::tokens(m.contextTokens),
        DisplayFormat::sessionCost(m.sessionCost, m.reportedSessionCost),
        DisplayFormat::tpsLabel(m.tps, working),
    };
    if (m.model)
        parts << *m.model;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const AgentPlanLimits &agent : m.planLimits) {
        const QString figure = DisplayFormat::limitLabel(agent.shown, now);
        if (!figure.isEmpty())
            parts << (m.scope.isAggregate() ? DisplayFormat::agentName(agent.agent) + u' ' + figure : figure);
    }
    if (m.scope == MetricsScope::of(DisplayAgent::codex) && health.status != CodexTelemetryHealth::Status::ready)
        parts << health.detail;
    return parts.join(QStringLiteral(" \u00b7 "));
}

QJsonObject healthJson(const Health &health)
{
    return {{"status", CodexTelemetryHealth::statusName(health.status)},
            {"detail", health.detail},
            {"menuDetail", health.menuDetail},
            {"configInstalled", health.configInstalled},
            {"otelListening", health.otelListening},
            {"notifyAvailable", health.notifyAvailable},
            {"latestEventAt", health.latestEventAt ? time(*health.latestEventAt) : QJsonValue()}};
}

QJsonObject json(const ScopedMetrics &m, const Health &health)
{
    return {{"scope", scopeName(m.scope)},
            {"state", rawValue(m.state)},
            {"stateText", optionalText(m.stateText)},
            {"elapsedInTurn", m.elapsedInTurn},
            {"sessionInput", m.sessionInput},
            {"sessionOutput", m.sessionOutput},
            {"sessionCachedInput", m.sessionCachedInput},
            {"sessionMeteredTokens", m.sessionMeteredTokens},
            {"sessionTotalTokens", m.sessionTotalTokens},
            {"contextTokens", m.contextTokens},
            {"sessionCost", m.sessionCost},
            {"reportedSessionCost", m.reportedSessionCost ? QJsonValue(*m.reportedSessionCost) : QJsonValue()},
            {"contextWindow", m.contextWindow},
            {"contextUsedPercent", m.contextUsedPercent ? QJsonValue(*m.contextUsedPercent) : QJsonValue()},
            {"tps", m.tps},
            {"tpsHistory", arrayOf(m.tpsHistory, [](double v) { return QJsonValue(v); })},
            {"model", optionalText(m.model)},
            {"toolCallCount", m.toolCallCount},
            {"toolFeed", arrayOf(m.toolFeed, toolJson)},
            {"sessions", arrayOf(m.sessions, sessionJson)},
            {"daily", arrayOf(m.daily, dayJson)},
            {"todayTokens", m.todayTokens()},
            {"limits", limitsJson(m.planLimits)},
            {"codexHealth", healthJson(health)}};
}

QByteArray output(const ScopedMetrics &metrics, const Health &health, bool asJson)
{
    if (asJson)
        return QJsonDocument(json(metrics, health)).toJson(QJsonDocument::Compact) + '\n';
    return text(metrics, health).toUtf8() + '\n';
}

} // namespace SnapshotFormat

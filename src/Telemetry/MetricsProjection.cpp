// The projections of MetricsEngine: what the HUD shows for one scope.
#include "Telemetry/MetricsEngine.h"

#include "Telemetry/SaturatingMath.h"

#include <algorithm>

namespace {

QList<SessionAgg> mostRecentFirst(QList<SessionAgg> sessions)
{
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const SessionAgg &a, const SessionAgg &b) { return a.lastActivity > b.lastActivity; });
    return sessions;
}

void appendSessions(QList<SessionAgg> &into, const AgentMetrics &metrics)
{
    for (const auto &[id, session] : metrics.sessions)
        into.append(session);
}

void addSessionTotals(ScopedMetrics &scoped, const SessionAgg &session)
{
    scoped.sessionInput = saturatingAdd(scoped.sessionInput, session.input);
    scoped.sessionOutput = saturatingAdd(scoped.sessionOutput, session.output);
    scoped.sessionCachedInput = saturatingAdd(scoped.sessionCachedInput, session.cached);
    scoped.sessionMeteredTokens = saturatingAdd(scoped.sessionMeteredTokens, saturatingAdd(session.input, session.output));
    scoped.sessionTotalTokens = saturatingAdd(scoped.sessionTotalTokens, session.sessionTokens);
    scoped.contextTokens = saturatingAdd(scoped.contextTokens, session.contextTokens);
    scoped.sessionCost += session.cost;
}

// The agents' own cost of the sessions counted, when every one of them reports it.
std::optional<double> reportedCost(const QList<const SessionAgg *> &counted)
{
    if (counted.isEmpty())
        return std::nullopt;
    double total = 0;
    for (const SessionAgg *session : counted) {
        if (!session->reportedCost)
            return std::nullopt;
        total += *session->reportedCost;
    }
    return total;
}

// The sessions' totals, and the reported figures that describe one session only when one is counted.
void addCountedSessions(ScopedMetrics &scoped, const QList<const SessionAgg *> &counted)
{
    for (const SessionAgg *session : counted)
        addSessionTotals(scoped, *session);
    scoped.reportedSessionCost = reportedCost(counted);
    if (counted.size() == 1) {
        scoped.contextWindow = counted.first()->modelContextWindow;
        scoped.contextUsedPercent = counted.first()->contextUsedPercent;
    }
}

} // namespace

ScopedMetrics MetricsEngine::scoped(const std::optional<MetricsScope> &scope) const
{
    const MetricsScope chosen = scope.value_or(m_scope);
    ScopedMetrics projection = chosen.agent ? agentProjection(*chosen.agent) : aggregateProjection();
    projection.planLimits = planLimitsProjection(chosen);
    return projection;
}

ScopedMetrics MetricsEngine::aggregateProjection() const
{
    ScopedMetrics scoped;
    scoped.scope = MetricsScope::aggregate();

    bool working = false;
    bool awaiting = false;
    QList<SessionAgg> sessions;
    QList<const SessionAgg *> counted;
    for (const auto &[agent, metrics] : m_agents) {
        working = working || metrics.state == AgentState::working;
        awaiting = awaiting || metrics.state == AgentState::awaitingApproval;
        if (metrics.state == AgentState::working)
            scoped.elapsedInTurn = std::max(scoped.elapsedInTurn, metrics.elapsedInTurn);
        if (const SessionAgg *session = metrics.currentSession())
            counted.append(session);
        scoped.tps += metrics.tps;
        scoped.toolCallCount += metrics.toolCallCount;
        appendSessions(sessions, metrics);
    }
    addCountedSessions(scoped, counted);
    scoped.state = working ? AgentState::working : awaiting ? AgentState::awaitingApproval : AgentState::idle;

    if (const auto recent = mostRecentlyActiveAgent()) {
        const AgentMetrics &metrics = m_agents.at(*recent);
        scoped.stateText = metrics.stateText;
        const SessionAgg *current = metrics.currentSession();
        scoped.model = current && current->model ? current->model : metrics.model;
    }

    scoped.tpsHistory = m_aggregateTpsHistory;
    scoped.toolFeed = m_toolFeed;
    scoped.sessions = mostRecentFirst(std::move(sessions));
    scoped.daily = m_dailyAll.isEmpty() ? emptyWeek(m_clock.now(), m_calendar) : m_dailyAll;
    return scoped;
}

ScopedMetrics MetricsEngine::agentProjection(DisplayAgent agent) const
{
    ScopedMetrics scoped;
    scoped.scope = MetricsScope::of(agent);
    const auto days = m_dailyByAgent.find(agent);
    const bool haveDays = days != m_dailyByAgent.end() && !days->second.isEmpty();
    scoped.daily = haveDays ? days->second : emptyWeek(m_clock.now(), m_calendar);

    const auto found = m_agents.find(agent);
    if (found == m_agents.end())
        return scoped;
    const AgentMetrics &metrics = found->second;

    scoped.state = metrics.state;
    scoped.stateText = metrics.stateText;
    scoped.elapsedInTurn = metrics.elapsedInTurn;
    scoped.tps = metrics.tps;
    scoped.tpsHistory = metrics.tpsHistory;
    scoped.toolCallCount = metrics.toolCallCount;

    const SessionAgg *session = displaySession(metrics, agent);
    if (session)
        addCountedSessions(scoped, {session});
    scoped.model = session && session->model ? session->model : metrics.model;

    const auto owned = sources(agent);
    for (const ToolCallEntry &entry : m_toolFeed) {
        if (std::find(owned.begin(), owned.end(), entry.source) != owned.end())
            scoped.toolFeed.append(entry);
    }
    QList<SessionAgg> sessions;
    appendSessions(sessions, metrics);
    scoped.sessions = mostRecentFirst(std::move(sessions));
    return scoped;
}

const SessionAgg *MetricsEngine::displaySession(const AgentMetrics &metrics, DisplayAgent agent) const
{
    // The Codex thread the user is looking at beats a more recent background session.
    if (agent == DisplayAgent::codex && m_codexCurrentThreadProvider) {
        if (const auto threadId = m_codexCurrentThreadProvider()) {
            const auto focused = metrics.sessions.find(*threadId);
            if (focused != metrics.sessions.end() && !focused->second.isEmpty())
                return &focused->second;
        }
    }
    const SessionAgg *latest = nullptr;
    for (const auto &[id, session] : metrics.sessions) {
        if (!session.isEmpty() && (!latest || session.lastActivity > latest->lastActivity))
            latest = &session;
    }
    return latest ? latest : metrics.currentSession();
}

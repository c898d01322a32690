#include "Telemetry/MetricsEngine.h"

#include "Telemetry/SaturatingMath.h"

#include <algorithm>

namespace {

qint64 plus(qint64 a, qint64 b) { return saturatingAdd(a, b); }

template <typename T>
void keepLast(QList<T> &list, int limit)
{
    if (list.size() > limit)
        list.remove(0, list.size() - limit);
}

void startWorkingIfIdle(AgentMetrics &metrics, const QDateTime &at)
{
    if (metrics.state != AgentState::idle)
        return;
    metrics.state = AgentState::working;
    if (!metrics.turnStartedAt)
        metrics.turnStartedAt = at;
}

ChannelTotals larger(const ChannelTotals &a, const ChannelTotals &b)
{
    return ChannelTotals{std::max(a.input, b.input), std::max(a.output, b.output), std::max(a.cached, b.cached),
                         std::max(a.cost, b.cost)};
}

// Today's entry of a list read from the store keeps what the engine had already counted: rows
// still waiting to be written must not take today's totals down.
void keepTodayAtLeast(QList<DayAgg> &fresh, const QList<DayAgg> &before)
{
    if (fresh.isEmpty() || before.isEmpty() || fresh.last().date != before.last().date)
        return;
    DayAgg &today = fresh.last();
    const DayAgg &counted = before.last();
    today.input = std::max(today.input, counted.input);
    today.output = std::max(today.output, counted.output);
    today.cost = std::max(today.cost, counted.cost);
}

// A stored model overrides and is remembered; otherwise the session's, else the agent's.
std::optional<QString> pricingModel(const std::optional<QString> &modelAtEvent, AgentMetrics &metrics,
                                    SessionAgg &session)
{
    if (modelAtEvent) {
        metrics.model = modelAtEvent;
        session.model = modelAtEvent;
        return modelAtEvent;
    }
    return session.model ? session.model : metrics.model;
}

void tickAgent(AgentMetrics &metrics, const QDateTime &now)
{
    const QDateTime windowStart = now.addMSecs(-MetricsEngine::throughputWindowMs);
    metrics.outputSamples.removeIf([&](const OutputSample &sample) { return sample.at < windowStart; });

    if (metrics.state == AgentState::working) {
        qint64 tokens = 0;
        for (const OutputSample &sample : std::as_const(metrics.outputSamples))
            tokens = plus(tokens, sample.tokens);
        const double rate = static_cast<double>(tokens) / (MetricsEngine::throughputWindowMs / 1000.0);
        metrics.tps += (rate - metrics.tps) * MetricsEngine::smoothing;
        if (metrics.tps < MetricsEngine::tpsFloor)
            metrics.tps = 0;
    } else {
        metrics.tps = 0;
    }
    metrics.tpsHistory.append(metrics.tps);
    keepLast(metrics.tpsHistory, MetricsEngine::historyLimit);

    if (metrics.turnStartedAt)
        metrics.elapsedInTurn = static_cast<double>(metrics.turnStartedAt->msecsTo(now)) / 1000.0;
}

// The event's session, made on its first event.
SessionAgg &sessionOf(AgentMetrics &metrics, const AgentEvent &event)
{
    auto [entry, created] = metrics.sessions.try_emplace(event.sessionId);
    if (created) {
        entry->second.sessionId = event.sessionId;
        entry->second.source = event.source;
    }
    return entry->second;
}

} // namespace

MetricsEngine::MetricsEngine(const PricingTable &pricing, const MetricsHistory *store,
                             CodexCurrentThreadProvider codexCurrentThreadProvider, const Environment &env,
                             Calendar calendar, QObject *parent)
    : QObject(parent)
    , m_pricing(pricing)
    , m_store(store)
    , m_codexCurrentThreadProvider(std::move(codexCurrentThreadProvider))
    , m_clock(*env.clock)
    , m_tickInterval(env.delays.metricsTick)
    , m_delays(env.delays)
    , m_calendar(std::move(calendar))
{
    hydrateFromStore();
    refreshFromStore();
}

std::optional<CountedTokens> MetricsEngine::apply(const AgentEvent &event, bool live,
                                                  const std::optional<QString> &modelAtEvent)
{
    m_toolFeedTouched = false;
    m_daysTouched = false;
    m_counted.reset();
    // Limits belong to the agent's plan, not to a session or a turn.
    if (const auto *limits = std::get_if<PlanLimits>(&event.kind)) {
        applyPlanLimits(displayAgent(event.source), *limits);
        return std::nullopt;
    }
    if (const auto *report = std::get_if<SessionReport>(&event.kind)) {
        applyReport(event, *report);
        return std::nullopt;
    }

    AgentMetrics &metrics = m_agents[displayAgent(event.source)];
    const AgentState stateBefore = metrics.state;
    if (live)
        metrics.turnReplayed = false;
    metrics.lastActivity = event.timestamp;
    metrics.currentSessionId = event.sessionId;

    SessionAgg &session = sessionOf(metrics, event);
    session.lastActivity = event.timestamp;
    if (event.source == AgentSource::claudeCodeHooks)
        session.turnsFromHooks = true;

    applyKind(event, live, modelAtEvent, metrics, session);
    if (stateBefore == AgentState::idle && metrics.state != AgentState::idle)
        metrics.turnSource = event.source;

    Q_EMIT agentsChanged();
    if (m_toolFeedTouched)
        Q_EMIT toolFeedChanged();
    if (m_daysTouched) {
        Q_EMIT dailyAllChanged();
        Q_EMIT dailyByAgentChanged();
    }
    Q_EMIT changed();
    return m_counted;
}

bool MetricsEngine::changesModel(const AgentEvent &event) const
{
    const auto *info = std::get_if<ModelInfo>(&event.kind);
    if (!info)
        return true;
    const auto agent = m_agents.find(displayAgent(event.source));
    if (agent == m_agents.end())
        return true;
    const auto session = agent->second.sessions.find(event.sessionId);
    return session == agent->second.sessions.end() || session->second.model != info->model;
}

void MetricsEngine::applyKind(const AgentEvent &event, bool live, const std::optional<QString> &modelAtEvent,
                              AgentMetrics &metrics, SessionAgg &session)
{
    const AgentEventKind &kind = event.kind;
    if (std::holds_alternative<TurnStarted>(kind)) {
        if (metrics.state != AgentState::working)
            metrics.turnStartedAt = event.timestamp;
        metrics.state = AgentState::working;
        metrics.stateText.reset();
    } else if (std::holds_alternative<TurnEnded>(kind)) {
        metrics.state = AgentState::idle;
        metrics.stateText.reset();
        metrics.turnStartedAt.reset();
        metrics.turnSource.reset();
        metrics.turnReplayed = false;
        metrics.elapsedInTurn = 0;
    } else if (std::holds_alternative<ApprovalRequested>(kind)) {
        metrics.state = AgentState::awaitingApproval;
    } else if (const auto *text = std::get_if<StateText>(&kind)) {
        metrics.stateText = text->text;
        startWorkingIfIdle(metrics, event.timestamp);
    } else if (const auto *info = std::get_if<ModelInfo>(&kind)) {
        metrics.model = info->model;
        session.model = info->model;
    } else if (const auto *call = std::get_if<ToolCall>(&kind)) {
        applyToolCall(event, *call, metrics);
    } else if (const auto *usage = std::get_if<TokenUsage>(&kind)) {
        applyTokenUsage(event, *usage, live, modelAtEvent, metrics, session);
    } else if (const auto *snapshot = std::get_if<SessionSnapshot>(&kind)) {
        applySnapshot(event, *snapshot, live, modelAtEvent, metrics, session);
    }
}

void MetricsEngine::applyToolCall(const AgentEvent &event, const ToolCall &call, AgentMetrics &metrics)
{
    // Hooks report a tool only once it may run, so it ends the approval they reported; other
    // channels' tool calls say nothing about an approval still pending.
    if (event.source == AgentSource::claudeCodeHooks && metrics.state == AgentState::awaitingApproval)
        metrics.state = AgentState::working;
    metrics.lastTool = call.name;
    m_toolFeedTouched = true;
    if (call.callId) {
        // The end of a call reported at its start completes that entry: one entry per call.
        const auto same = std::find_if(m_toolFeed.begin(), m_toolFeed.end(), [&](const ToolCallEntry &entry) {
            return entry.callId == call.callId && entry.source == event.source;
        });
        if (same != m_toolFeed.end()) {
            same->durationMs = call.durationMs ? call.durationMs : same->durationMs;
            same->failed = same->failed || call.failed;
            return;
        }
    }
    metrics.toolCallCount += 1;
    m_toolFeed.prepend(ToolCallEntry{randomUuid(), call.name, call.durationMs, event.timestamp, event.source,
                                     call.callId, call.failed});
    if (m_toolFeed.size() > toolFeedLimit)
        m_toolFeed.resize(toolFeedLimit);
}

void MetricsEngine::applyTokenUsage(const AgentEvent &event, const TokenUsage &usage, bool live,
                                    const std::optional<QString> &modelAtEvent, AgentMetrics &metrics,
                                    SessionAgg &session)
{
    const qint64 input = usage.inputTokens;
    const qint64 output = usage.outputTokens;
    const qint64 cached = usage.cachedTokens.value_or(0);

    // A request with a prompt starts the context afresh; a bare reply extends it.
    session.contextTokens = input >= 1 ? plus(input, output) : plus(session.contextTokens, output);

    const auto model = pricingModel(modelAtEvent, metrics, session);
    const ChannelTotals &sum = session.responses;
    count(event, Channel::responses,
          ChannelTotals{plus(sum.input, input), plus(sum.output, output), plus(sum.cached, cached),
                        sum.cost + m_pricing.cost(model, usage)},
          live, session, metrics);
    session.sessionTokens = std::max(session.sessionTokens, session.contextTokens);
    // The final reply is written just after the hook's turn end and belongs to that turn.
    if (!session.turnsFromHooks)
        startWorkingIfIdle(metrics, event.timestamp);
}

void MetricsEngine::applySnapshot(const AgentEvent &event, const SessionSnapshot &snapshot, bool live,
                                  const std::optional<QString> &modelAtEvent, AgentMetrics &metrics,
                                  SessionAgg &session)
{
    session.contextTokens = std::max<qint64>(snapshot.contextTokens, 0);
    if (snapshot.modelContextWindow)
        session.modelContextWindow = *snapshot.modelContextWindow;

    // Snapshots are cumulative: they replace, and never go down. The long-context tier follows
    // the current request, not the cumulative input.
    const auto model = pricingModel(modelAtEvent, metrics, session);
    const ChannelTotals &before = session.cumulative;
    ChannelTotals latest{std::max(before.input, snapshot.inputTokens), std::max(before.output, snapshot.outputTokens),
                         std::max(before.cached, snapshot.cachedTokens.value_or(0)), 0};
    latest.cost = std::max(before.cost, m_pricing.cost(model, latest.input, latest.output, latest.cached,
                                                       snapshot.contextInputTokens.value_or(snapshot.contextTokens)));
    count(event, Channel::cumulative, latest, live, session, metrics);
    session.sessionTokens = std::max(snapshot.sessionTokens, plus(session.input, session.output));
}

// One count per response. A Codex session can reach the engine through two channels at once:
// per-response usages (the OTLP exporter's response.completed) and cumulative snapshots (the
// rollout file's token_count), in either order and interleaved, depending on the exporter's
// batching and the rollout poll. Each channel keeps its own total for the session, and the
// session counts the larger of the two, component by component: exact per-response counts win
// wherever they have counted at least as much, and the snapshot only fills what they lack
// (responses from before the exporter was set up, a channel that is off). Both totals only grow
// and both converge on the same counts, so every order ends at the same numbers; a session seen
// by one channel counts that channel in full. What the session grew by is what it adds to the
// throughput and the day totals, and what the event stores as its counted share.
void MetricsEngine::count(const AgentEvent &event, Channel channel, const ChannelTotals &totals, bool live,
                          SessionAgg &session, AgentMetrics &metrics)
{
    const ChannelTotals before{session.input, session.output, session.cached, session.cost};
    (channel == Channel::responses ? session.responses : session.cumulative) = totals;
    const ChannelTotals after = larger(session.responses, session.cumulative);
    session.input = after.input;
    session.output = after.output;
    session.cached = after.cached;
    session.cost = after.cost;

    const Increment increment{std::max<qint64>(after.input - before.input, 0),
                              std::max<qint64>(after.output - before.output, 0), std::max(after.cost - before.cost, 0.0)};
    m_counted = CountedTokens{increment.input, increment.output, std::max<qint64>(after.cached - before.cached, 0)};
    if (!live)
        return;
    if (increment.output > 0)
        metrics.outputSamples.append(OutputSample{event.timestamp, increment.output});
    if (plus(increment.input, increment.output) > 0 || increment.cost > 0)
        bumpDayOf(displayAgent(event.source), event.timestamp, increment);
}

void MetricsEngine::applyReport(const AgentEvent &event, const SessionReport &report)
{
    // A report repeats what the agent knows (it comes on a resize too): it is no activity.
    AgentMetrics &metrics = m_agents[displayAgent(event.source)];
    SessionAgg &session = sessionOf(metrics, event);
    // Each report is whole: a figure it leaves out is no longer known.
    session.reportedCost = report.costUsd;
    session.contextUsedPercent = report.contextUsedPercent;
    if (report.contextWindowSize)
        session.modelContextWindow = *report.contextWindowSize;
    Q_EMIT agentsChanged();
    Q_EMIT changed();
}

void MetricsEngine::bumpDayOf(DisplayAgent agent, const QDateTime &stampedAt, const Increment &increment)
{
    // The day the event was stamped, as the store counts it, so a refresh from the store agrees
    // (a file read late tells of an earlier day); a stamp from the future counts today.
    const QDateTime now = m_clock.now();
    const QDateTime day = m_calendar.startOfDay(stampedAt.isValid() && stampedAt < now ? stampedAt : now);
    bumpDay(m_dailyAll, now, day, increment);
    bumpDay(m_dailyByAgent[agent], now, day, increment);
    m_daysTouched = true;
}

void MetricsEngine::bumpDay(QList<DayAgg> &days, const QDateTime &now, const QDateTime &day,
                            const Increment &increment) const
{
    if (days.isEmpty())
        days = emptyWeek(now, m_calendar);
    const auto found = std::find_if(days.begin(), days.end(), [&](const DayAgg &entry) { return entry.date == day; });
    if (found == days.end()) {
        // Past midnight since the list was built; the next store refresh trims it. Days before
        // the list are outside the week.
        if (days.isEmpty() || day > days.last().date)
            days.append(DayAgg{day, increment.input, increment.output, increment.cost});
        return;
    }
    found->input = plus(found->input, increment.input);
    found->output = plus(found->output, increment.output);
    found->cost += increment.cost;
}

void MetricsEngine::startTicking()
{
    if (m_ticker)
        return;
    // Owned by the engine, so it never fires after it.
    m_ticker = m_clock.createTimer(m_tickInterval, Clock::Repeat::everyInterval, this, [this] { tick(m_clock.now()); });
    m_ticker->start();
}

void MetricsEngine::tick(const QDateTime &now)
{
    double total = 0;
    for (auto &[agent, metrics] : m_agents) {
        tickAgent(metrics, now);
        total += metrics.tps;
    }
    m_aggregateTpsHistory.append(total);
    keepLast(m_aggregateTpsHistory, historyLimit);

    if (!m_agents.empty())
        Q_EMIT agentsChanged();
    Q_EMIT aggregateTpsHistoryChanged();
    Q_EMIT changed();

    for (const AgentEvent &ended : endReplayedTurns(now))
        Q_EMIT turnEndedByRule(ended);

    m_ticksSinceStoreRefresh += 1;
    if (m_ticksSinceStoreRefresh >= ticksPerStoreRefresh) {
        m_ticksSinceStoreRefresh = 0;
        refreshFromStore();
    }
}

void MetricsEngine::hydrateFromStore()
{
    if (!m_store)
        return;
    // Replayed events rebuild sessions, states and the tool feed; the day lists come
    // from the store alone, so nothing is counted twice.
    const QList<StoredAgentEvent> events = m_store->recentSessionEvents(replayedSessions);
    for (const StoredAgentEvent &stored : events)
        apply(stored.event, false, stored.modelAtEvent);
    for (const auto &[agent, limits] : m_store->planLimits())
        m_planLimits[agent][limits.limitId] = limits;
    // The channels' end timers died with the last run: their turns end by the same rules here.
    for (auto &[agent, metrics] : m_agents)
        metrics.turnReplayed = metrics.state != AgentState::idle;
    m_turnsEndedAtHydration = endReplayedTurns(m_clock.now());
}

void MetricsEngine::adoptStoredSessions()
{
    if (!m_store)
        return;
    // Replayed on a scratch engine, so a known session is not counted twice and an old session
    // does not become an agent's current one.
    MetricsEngine scratch(m_pricing, nullptr, {}, Environment{&m_clock, m_delays}, m_calendar);
    for (const StoredAgentEvent &stored : m_store->recentSessionEvents(replayedSessions)) {
        const auto agent = m_agents.find(displayAgent(stored.event.source));
        if (agent == m_agents.end() || !agent->second.sessions.contains(stored.event.sessionId))
            scratch.apply(stored.event, false, stored.modelAtEvent);
    }
    for (const auto &[agent, metrics] : scratch.m_agents)
        m_agents[agent].sessions.insert(metrics.sessions.begin(), metrics.sessions.end());
    Q_EMIT agentsChanged();
    refreshFromStore();
}

void MetricsEngine::refreshFromStore()
{
    if (!m_store) {
        if (m_dailyAll.isEmpty()) {
            m_dailyAll = emptyWeek(m_clock.now(), m_calendar);
            Q_EMIT dailyAllChanged();
            Q_EMIT changed();
        }
        return;
    }
    DailyTotals totals = m_store->dailyTotals(dayCount, m_pricing);
    keepTodayAtLeast(totals.all, m_dailyAll);
    m_dailyAll = std::move(totals.all);
    for (DisplayAgent agent : allDisplayAgents) {
        keepTodayAtLeast(totals.byAgent[agent], m_dailyByAgent[agent]);
        m_dailyByAgent[agent] = std::move(totals.byAgent[agent]);
    }
    Q_EMIT dailyAllChanged();
    Q_EMIT dailyByAgentChanged();
    Q_EMIT changed();
}

QList<DayAgg> MetricsEngine::emptyWeek(const QDateTime &endingOn, const Calendar &calendar)
{
    QList<DayAgg> days;
    days.reserve(dayCount);
    for (int i = 0; i < dayCount; ++i)
        days.append(DayAgg{calendar.startOfDay(endingOn, i - (dayCount - 1)), 0, 0, 0});
    return days;
}

void MetricsEngine::setScope(const MetricsScope &scope)
{
    if (scope == m_scope)
        return;
    m_scope = scope;
    Q_EMIT scopeChanged();
    Q_EMIT changed();
}

std::optional<DisplayAgent> MetricsEngine::mostRecentlyActiveAgent() const
{
    std::optional<DisplayAgent> best;
    QDateTime bestTime;
    for (const auto &[agent, metrics] : m_agents) {
        if (!best || metrics.lastActivity > bestTime) {
            best = agent;
            bestTime = metrics.lastActivity;
        }
    }
    return best;
}

bool MetricsEngine::anyAgentWorking() const
{
    return std::any_of(m_agents.begin(), m_agents.end(),
                       [](const auto &entry) { return entry.second.state == AgentState::working; });
}

bool MetricsEngine::anyLiveTurn() const
{
    return std::any_of(m_agents.begin(), m_agents.end(), [](const auto &entry) {
        return entry.second.state == AgentState::working && !entry.second.turnReplayed;
    });
}

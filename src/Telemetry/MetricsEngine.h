#pragma once

#include "Platform/Delays.h"
#include "Platform/Environment.h"
#include "Telemetry/AgentMetrics.h"
#include "Telemetry/Calendar.h"
#include "Telemetry/DayAgg.h"
#include "Telemetry/MetricsHistory.h"
#include "Telemetry/MetricsScope.h"
#include "Telemetry/PricingTable.h"
#include "Telemetry/ScopedMetrics.h"
#include "Telemetry/StoredAgentEvent.h"
#include "Telemetry/ToolCallEntry.h"

#include <QList>
#include <QObject>

#include <functional>
#include <map>
#include <optional>

// The Codex thread the user is looking at, when known.
using CodexCurrentThreadProvider = std::function<std::optional<QString>()>;

// Turns agent events into per-agent state, session totals, throughput and day totals.
// Lives on the main thread; every change is announced by the signal of the field that changed,
// then by changed().
class MetricsEngine : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsEngine)

public:
    static constexpr int toolFeedLimit = 60;
    static constexpr int historyLimit = 60;
    static constexpr qint64 throughputWindowMs = 10'000;
    static constexpr double smoothing = 0.25;
    static constexpr double tpsFloor = 0.05;
    static constexpr int ticksPerStoreRefresh = 30;
    static constexpr int replayedSessions = 24;
    static constexpr int dayCount = 7;

    // `pricing` must outlive the engine; `store` may be null (no persistence) and must
    // outlive the engine otherwise. Replays the store's recent sessions and loads its days; a
    // replayed turn whose channel's end rule has run out is ended (turnsEndedAtHydration()).
    MetricsEngine(const PricingTable &pricing, const MetricsHistory *store,
                  CodexCurrentThreadProvider codexCurrentThreadProvider = {}, const Environment &env = {},
                  Calendar calendar = Calendar(), QObject *parent = nullptr);

    // Applies a live event.
    std::optional<CountedTokens> handle(const AgentEvent &event) { return apply(event, true, std::nullopt); }
    // live is false only for events replayed from the store, which then carry their stored model.
    // For a token event, what it added to its session under the one-count rule; else nothing.
    std::optional<CountedTokens> apply(const AgentEvent &event, bool live, const std::optional<QString> &modelAtEvent);

    // False for a model event that repeats the model its session already has.
    bool changesModel(const AgentEvent &event) const;

    // How long after its last event a turn of this channel counts as ended when the channel
    // says nothing: the OTLP turn debounce, the transcripts' quiet rule, the rollout's active rule.
    static std::chrono::milliseconds turnEndRule(AgentSource source, const Delays &delays);
    // The turn ends the channels would have reported, for turns open now: each stamped at its
    // last event plus its rule, or now when that lies ahead. Applied and stored by the caller.
    QList<AgentEvent> pendingTurnEnds(const QDateTime &now) const;
    // Turns replayed as open that were ended while the store was read, to be stored.
    const QList<AgentEvent> &turnsEndedAtHydration() const { return m_turnsEndedAtHydration; }

    // Starts the tick (every env.delays.metricsTick); does nothing when it already runs.
    void startTicking();
    bool isTicking() const { return m_ticker != nullptr; }
    void tick(const QDateTime &now);

    // The projection for a scope; no scope means the engine's own `scope`.
    ScopedMetrics scoped(const std::optional<MetricsScope> &scope = std::nullopt) const;

    std::optional<DisplayAgent> mostRecentlyActiveAgent() const;
    bool anyAgentWorking() const;
    // A turn is running that a live event has opened or touched since start.
    bool anyLiveTurn() const;

    // Reloads the day lists from the store (or scaffolds today's week without one).
    void refreshFromStore();
    // Takes in the store's recent sessions this engine has not seen (rows a history import has
    // just written), leaving the agents' state and the sessions it has alone; then refreshes the days.
    void adoptStoredSessions();

    // Seven zero days, oldest first, the last being the day of `endingOn`.
    static QList<DayAgg> emptyWeek(const QDateTime &endingOn, const Calendar &calendar = Calendar());

    const std::map<DisplayAgent, AgentMetrics> &agents() const { return m_agents; }
    const MetricsScope &scope() const { return m_scope; }
    void setScope(const MetricsScope &scope);
    const QList<ToolCallEntry> &toolFeed() const { return m_toolFeed; }
    const QList<DayAgg> &dailyAll() const { return m_dailyAll; }
    const std::map<DisplayAgent, QList<DayAgg>> &dailyByAgent() const { return m_dailyByAgent; }
    const QList<double> &aggregateTpsHistory() const { return m_aggregateTpsHistory; }
    const std::map<DisplayAgent, PlanLimitsByFamily> &planLimits() const { return m_planLimits; }
    int ticksSinceStoreRefresh() const { return m_ticksSinceStoreRefresh; }

Q_SIGNALS:
    void agentsChanged();
    void scopeChanged();
    void toolFeedChanged();
    void dailyAllChanged();
    void dailyByAgentChanged();
    void aggregateTpsHistoryChanged();
    void planLimitsChanged();
    // Once after every change above.
    void changed();
    // A replayed turn ran out of its channel's end rule on a tick; the event is applied already.
    void turnEndedByRule(const AgentEvent &event);

private:
    struct Increment {
        qint64 input = 0;
        qint64 output = 0;
        double cost = 0;
    };

    // Which channel totals of a session a token event feeds.
    enum class Channel { responses, cumulative };

    void applyKind(const AgentEvent &event, bool live, const std::optional<QString> &modelAtEvent,
                   AgentMetrics &metrics, SessionAgg &session);
    void applyTokenUsage(const AgentEvent &event, const TokenUsage &usage, bool live,
                         const std::optional<QString> &modelAtEvent, AgentMetrics &metrics, SessionAgg &session);
    void applySnapshot(const AgentEvent &event, const SessionSnapshot &snapshot, bool live,
                       const std::optional<QString> &modelAtEvent, AgentMetrics &metrics, SessionAgg &session);
    void applyToolCall(const AgentEvent &event, const ToolCall &call, AgentMetrics &metrics);
    void count(const AgentEvent &event, Channel channel, const ChannelTotals &totals, bool live, SessionAgg &session,
               AgentMetrics &metrics);
    // Ends the replayed turns whose rule has run out by now; the ended events.
    QList<AgentEvent> endReplayedTurns(const QDateTime &now);
    void applyReport(const AgentEvent &event, const SessionReport &report);
    void bumpDayOf(DisplayAgent agent, const QDateTime &stampedAt, const Increment &increment);
    void bumpDay(QList<DayAgg> &days, const QDateTime &now, const QDateTime &day, const Increment &increment) const;
    void hydrateFromStore();
    void applyPlanLimits(DisplayAgent agent, const PlanLimits &limits);
    QList<AgentPlanLimits> planLimitsProjection(const MetricsScope &scope) const;

    ScopedMetrics aggregateProjection() const;
    ScopedMetrics agentProjection(DisplayAgent agent) const;
    const SessionAgg *displaySession(const AgentMetrics &metrics, DisplayAgent agent) const;

    const PricingTable &m_pricing;
    const MetricsHistory *m_store;
    CodexCurrentThreadProvider m_codexCurrentThreadProvider;
    Clock &m_clock;
    const std::chrono::milliseconds m_tickInterval;
    const Delays m_delays;
    Calendar m_calendar;

    std::map<DisplayAgent, AgentMetrics> m_agents;
    MetricsScope m_scope;
    QList<ToolCallEntry> m_toolFeed;
    QList<DayAgg> m_dailyAll;
    std::map<DisplayAgent, QList<DayAgg>> m_dailyByAgent;
    QList<double> m_aggregateTpsHistory;
    std::map<DisplayAgent, PlanLimitsByFamily> m_planLimits;
    Timer *m_ticker = nullptr;
    int m_ticksSinceStoreRefresh = 0;
    bool m_toolFeedTouched = false;
    bool m_daysTouched = false;
    std::optional<CountedTokens> m_counted; // of the event being applied
    QList<AgentEvent> m_turnsEndedAtHydration;
};

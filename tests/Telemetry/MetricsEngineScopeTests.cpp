#include "EngineFixture.h"

#include "Telemetry/HostApplications.h"

#include "support/TestSupport.h"

namespace {

using Scopes = EngineFixture;
using Ticking = EngineFixture;

TEST_F(Ticking, ThroughputSmoothsTowardsTheWindowRate)
{
    send(AgentSource::mock, "m", TurnStarted{});
    send(AgentSource::mock, "m", TokenUsage{0, 300, std::nullopt}, clock.now().addSecs(-10)); // exactly 10 s old: kept
    send(AgentSource::mock, "m", TokenUsage{0, 200, std::nullopt}, clock.now().addSecs(-2));
    send(AgentSource::mock, "m", TokenUsage{0, 999, std::nullopt}, clock.now().addMSecs(-10001)); // too old
    engine->tick(clock.now());
    EXPECT_DOUBLE_EQ(agent(DisplayAgent::mock).tps, 12.5);
    EXPECT_EQ(agent(DisplayAgent::mock).outputSamples.size(), 2);

    double previous = 12.5;
    for (int i = 2; i <= 20; ++i) {
        engine->tick(clock.now());
        const double tps = agent(DisplayAgent::mock).tps;
        EXPECT_GT(tps, previous);
        EXPECT_LT(tps, 50.0);
        previous = tps;
    }
    EXPECT_GT(previous, 40.0);
    EXPECT_DOUBLE_EQ(engine->scoped().tps, previous);
}

TEST_F(Ticking, OnlyAWorkingAgentHasThroughput)
{
    send(AgentSource::mock, "m", TokenUsage{0, 500, std::nullopt});
    engine->tick(clock.now());
    ASSERT_GT(agent(DisplayAgent::mock).tps, 0);
    send(AgentSource::mock, "m", TurnEnded{});
    engine->tick(clock.now());
    EXPECT_EQ(agent(DisplayAgent::mock).tps, 0);
    send(AgentSource::mock, "m", ApprovalRequested{});
    engine->tick(clock.now());
    EXPECT_EQ(agent(DisplayAgent::mock).tps, 0);
    // A tiny rate falls to zero rather than lingering.
    send(AgentSource::claudeCodeJsonl, "c", TurnStarted{});
    send(AgentSource::claudeCodeJsonl, "c", TokenUsage{0, 1, std::nullopt});
    engine->tick(clock.now());
    EXPECT_EQ(agent(DisplayAgent::claudeCode).state, AgentState::working);
    EXPECT_EQ(agent(DisplayAgent::claudeCode).tps, 0); // 0.025 is below the floor
}

TEST_F(Ticking, TurnClockAgesAndHistoriesKeepSixty)
{
    send(AgentSource::claudeCodeJsonl, "s", TurnStarted{}, clock.now());
    for (int i = 1; i <= 61; ++i)
        engine->tick(clock.now().addSecs(i));
    EXPECT_DOUBLE_EQ(agent(DisplayAgent::claudeCode).elapsedInTurn, 61.0);
    EXPECT_EQ(agent(DisplayAgent::claudeCode).tpsHistory.size(), 60);
    EXPECT_EQ(engine->aggregateTpsHistory().size(), 60);

    send(AgentSource::claudeCodeJsonl, "s", TokenUsage{0, 1000, std::nullopt}, clock.now().addSecs(61));
    engine->tick(clock.now().addSecs(62));
    const double newest = agent(DisplayAgent::claudeCode).tps;
    EXPECT_EQ(agent(DisplayAgent::claudeCode).tpsHistory.size(), 60);
    EXPECT_EQ(agent(DisplayAgent::claudeCode).tpsHistory.last(), newest);
    EXPECT_EQ(engine->aggregateTpsHistory().last(), newest);
    EXPECT_EQ(engine->aggregateTpsHistory().first(), 0);
}

TEST_F(Ticking, TimerTicksOnItsOwnOnceASecondAtTheClocksTime)
{
    using std::chrono::milliseconds;
    engine->startTicking();
    engine->startTicking();
    EXPECT_TRUE(engine->isTicking());
    send(AgentSource::claudeCodeJsonl, "s", TurnStarted{}, clock.now());
    clock.advance(3 * Delays().metricsTick - milliseconds(1));
    EXPECT_EQ(engine->aggregateTpsHistory().size(), 2);
    clock.advance(milliseconds(1));
    EXPECT_EQ(engine->aggregateTpsHistory().size(), 3);
    EXPECT_DOUBLE_EQ(agent(DisplayAgent::claudeCode).elapsedInTurn, 3.0);
}

TEST_F(Scopes, EmptyWeekEndsToday)
{
    for (const QDateTime &moment : {at(0, 0), at(23, 59, 59), at(12, 0, 0, 15) /* after the spring change */}) {
        SCOPED_TRACE(moment.toString(Qt::ISODate).toStdString());
        const QList<DayAgg> week = MetricsEngine::emptyWeek(moment, Calendar(zone));
        ASSERT_EQ(week.size(), 7);
        const QDate last = moment.toTimeZone(zone).date();
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(week[i].date, last.addDays(i - 6).startOfDay(zone));
            EXPECT_EQ(week[i].input + week[i].output, 0);
        }
    }
}

TEST_F(Scopes, AggregateSumsAgentsAndEachScopeKeepsItsOwn)
{
    send(AgentSource::mock, "m", ModelInfo{"mock-model"}, at(14, 0));
    send(AgentSource::mock, "m", TokenUsage{1000, 500, std::nullopt}, at(14, 1));
    send(AgentSource::claudeCodeJsonl, "c", ModelInfo{"claude-x"}, at(14, 2));
    send(AgentSource::claudeCodeJsonl, "c", TokenUsage{7000, 100, 2000}, at(14, 3));
    send(AgentSource::claudeCodeJsonl, "c", ToolCall{"Edit", std::nullopt}, at(14, 4));
    send(AgentSource::mock, "m", ToolCall{"Bash", std::nullopt}, at(14, 5));

    const ScopedMetrics all = engine->scoped();
    EXPECT_EQ(all.scope, MetricsScope::aggregate());
    EXPECT_EQ(all.sessionInput, 8000);
    EXPECT_EQ(all.sessionOutput, 600);
    EXPECT_EQ(all.sessionCachedInput, 2000);
    EXPECT_EQ(all.sessionMeteredTokens, 8600);
    EXPECT_EQ(all.model, "mock-model"); // the most recently active agent's
    EXPECT_EQ(all.toolCallCount, 2);
    EXPECT_EQ(all.toolFeed.size(), 2);
    ASSERT_EQ(all.sessions.size(), 2);
    EXPECT_EQ(all.sessions[0].sessionId, "m");
    EXPECT_EQ(all.daily.size(), 7);
    EXPECT_EQ(all.todayTokens(), 8600);

    const ScopedMetrics claude = engine->scoped(MetricsScope::of(DisplayAgent::claudeCode));
    EXPECT_EQ(claude.sessionInput, 7000);
    EXPECT_EQ(claude.sessionOutput, 100);
    EXPECT_EQ(claude.sessionTotalTokens, 7100);
    EXPECT_EQ(claude.model, "claude-x");
    ASSERT_EQ(claude.toolFeed.size(), 1);
    EXPECT_EQ(claude.toolFeed[0].name, "Edit");
    EXPECT_EQ(claude.todayTokens(), 7100);

    const ScopedMetrics mock = engine->scoped(MetricsScope::of(DisplayAgent::mock));
    EXPECT_EQ(mock.sessionInput, 1000);
    EXPECT_EQ(mock.model, "mock-model");
    EXPECT_EQ(mock.sessions.size(), 1);

    engine->setScope(MetricsScope::of(DisplayAgent::claudeCode));
    EXPECT_EQ(engine->scoped(), claude);
}

TEST_F(Scopes, AnAgentWithoutEventsShowsZerosAndAWeek)
{
    const ScopedMetrics codex = engine->scoped(MetricsScope::of(DisplayAgent::codex));
    EXPECT_EQ(codex.state, AgentState::idle);
    EXPECT_EQ(codex.sessionTotalTokens, 0);
    EXPECT_FALSE(codex.model);
    EXPECT_TRUE(codex.sessions.isEmpty());
    EXPECT_EQ(codex.daily, MetricsEngine::emptyWeek(clock.now(), Calendar(zone)));
    EXPECT_FALSE(engine->mostRecentlyActiveAgent());
    EXPECT_FALSE(engine->anyAgentWorking());
}

TEST_F(Scopes, AggregateStateRanksWorkingThenAwaiting)
{
    struct Case {
        AgentEventKind claude, codex;
        AgentState expected;
    };
    const Case cases[] = {
        {TurnStarted{}, TurnEnded{}, AgentState::working},
        {TurnStarted{}, ApprovalRequested{}, AgentState::working},
        {TurnEnded{}, ApprovalRequested{}, AgentState::awaitingApproval},
        {TurnEnded{}, TurnEnded{}, AgentState::idle},
    };
    for (const Case &c : cases) {
        send(AgentSource::claudeCodeJsonl, "c", c.claude);
        send(AgentSource::codexOtel, "x", c.codex);
        EXPECT_EQ(engine->scoped().state, c.expected);
        EXPECT_EQ(engine->anyAgentWorking(), c.expected == AgentState::working);
    }
}

TEST_F(Scopes, AggregateTakesTheLongestWorkingTurnAndTheLatestText)
{
    send(AgentSource::claudeCodeJsonl, "c", TurnStarted{}, at(14, 0));
    send(AgentSource::mock, "m", TurnStarted{}, at(14, 50));
    send(AgentSource::codexOtel, "x", TurnStarted{}, at(13, 0));
    send(AgentSource::codexOtel, "x", ApprovalRequested{}, at(13, 0));
    send(AgentSource::mock, "m", StateText{"Thinking"}, at(14, 55));
    engine->tick(clock.now());
    const ScopedMetrics all = engine->scoped();
    EXPECT_DOUBLE_EQ(all.elapsedInTurn, 3600.0); // Codex awaits approval: not counted
    EXPECT_EQ(all.stateText, "Thinking");
    EXPECT_EQ(engine->mostRecentlyActiveAgent(), DisplayAgent::mock);
}

TEST_F(Scopes, CodexShowsItsLastSessionWithTokensOverANewEmptyOne)
{
    send(AgentSource::codexOtel, "old", ModelInfo{"gpt-5.5"}, at(14, 0));
    send(AgentSource::codexOtel, "old", TokenUsage{5000, 500, std::nullopt}, at(14, 1));
    send(AgentSource::codexNotify, "new", TurnStarted{}, at(14, 2));
    const ScopedMetrics codex = engine->scoped(MetricsScope::of(DisplayAgent::codex));
    EXPECT_EQ(codex.sessionTotalTokens, 5500);
    EXPECT_NEAR(codex.sessionCost, session(DisplayAgent::codex, "old").cost, 1e-12);
    EXPECT_GT(codex.sessionCost, 0);
    EXPECT_EQ(codex.model, "gpt-5.5");
    EXPECT_EQ(codex.state, AgentState::working);
    EXPECT_EQ(codex.sessions.size(), 2);
    EXPECT_EQ(codex.sessions[0].sessionId, "new");
}

TEST_F(Scopes, CodexPrefersTheThreadTheUserIsLookingAt)
{
    std::optional<QString> focused;
    engine = makeEngine(nullptr, [&focused] { return focused; });
    send(AgentSource::codexDesktopSession, "front", ModelInfo{"gpt-5.4"}, at(14, 0));
    send(AgentSource::codexDesktopSession, "front", SessionSnapshot{3000, 1200, 2500, 500, std::nullopt, 200000, std::nullopt}, at(14, 0));
    send(AgentSource::codexOtel, "background", ModelInfo{"gpt-5.5"}, at(14, 5));
    send(AgentSource::codexOtel, "background", TokenUsage{100, 10, std::nullopt}, at(14, 5));
    send(AgentSource::codexNotify, "placeholder", TurnStarted{}, at(14, 6));

    const auto codexScope = [&] { return engine->scoped(MetricsScope::of(DisplayAgent::codex)); };
    EXPECT_EQ(codexScope().sessionTotalTokens, 110);

    focused = QStringLiteral("front");
    EXPECT_EQ(codexScope().sessionTotalTokens, 3000);
    EXPECT_EQ(codexScope().contextTokens, 1200);
    EXPECT_EQ(codexScope().model, "gpt-5.4");

    // An unknown or empty focused thread falls back to the latest session with tokens.
    for (const char *id : {"nope", "placeholder"}) {
        focused = QString::fromLatin1(id);
        EXPECT_EQ(codexScope().sessionTotalTokens, 110) << id;
    }
}

TEST(FollowFocus, MapsApplicationsToAgents)
{
    struct Case {
        const char *appId;
        std::optional<QString> title;
        std::optional<DisplayAgent> expected;
    };
    const Case cases[] = {
        {"com.openai.codex", std::nullopt, DisplayAgent::codex},
        {"com.apple.Terminal", std::nullopt, DisplayAgent::claudeCode},
        {"com.apple.Terminal", QStringLiteral("~/src — CoDeX resume"), DisplayAgent::codex},
        {"org.gnome.Terminal", QStringLiteral("claude"), DisplayAgent::claudeCode},
        {"XTerm", QStringLiteral("codex"), DisplayAgent::codex},
        {"Code", std::nullopt, DisplayAgent::claudeCode},
        {"kitty", QString(), DisplayAgent::claudeCode},
        {"com.apple.Safari", QStringLiteral("codex docs"), std::nullopt},
        {"org.mozilla.firefox", std::nullopt, std::nullopt},
        {"xterm", std::nullopt, std::nullopt}, // app ids are exact
    };
    for (const Case &c : cases)
        EXPECT_EQ(displayAgentFrom(QString::fromLatin1(c.appId), c.title), c.expected) << c.appId;
}

// A history whose answers are set by the test; it counts how often the engine asks.
class FakeHistory : public MetricsHistory {
public:
    QList<StoredAgentEvent> recentSessionEvents(int sessionLimit) const override
    {
        lastSessionLimit = sessionLimit;
        return events;
    }
    QList<DayAgg> dailyAggregates(int days, const PricingTable &, std::span<const AgentSource> sources) const override
    {
        ++dayQueries;
        EXPECT_EQ(days, 7);
        QList<DayAgg> result = week;
        if (!result.isEmpty())
            result.last().input += static_cast<qint64>(sources.size()); // tells the lists apart
        return result;
    }

    QList<StoredAgentEvent> events;
    QList<DayAgg> week;
    mutable int lastSessionLimit = 0;
    mutable int dayQueries = 0;
};

TEST_F(Scopes, HydrationReplaysWithoutTouchingDaysAndTicksRefreshThem)
{
    FakeHistory history;
    history.week = MetricsEngine::emptyWeek(clock.now(), Calendar(zone));
    history.week.last().input = 1000;
    const auto stored = [&](AgentEventKind kind, std::optional<QString> model, QDateTime time) {
        history.events.append({event(AgentSource::codexOtel, "c", std::move(kind), time), std::move(model)});
    };
    stored(TurnStarted{}, std::nullopt, at(14, 0));
    stored(TokenUsage{1000, 100, std::nullopt}, QStringLiteral("gpt-5.5"), at(14, 1));
    stored(ToolCall{"shell", 5}, QStringLiteral("gpt-5.5"), at(14, 2));

    engine = makeEngine(&history);
    EXPECT_EQ(history.lastSessionLimit, 24);
    EXPECT_EQ(history.dayQueries, 4);
    // The turn's last event is an hour old, past the OTLP end rule: it was ended while replaying.
    EXPECT_EQ(agent(DisplayAgent::codex).state, AgentState::idle);
    ASSERT_EQ(engine->turnsEndedAtHydration().size(), 1);
    EXPECT_EQ(engine->turnsEndedAtHydration()[0].timestamp, at(14, 2).addMSecs(Delays().otelTurnEnd.count()));
    EXPECT_EQ(agent(DisplayAgent::codex).model, "gpt-5.5");
    EXPECT_TRUE(agent(DisplayAgent::codex).outputSamples.isEmpty());
    EXPECT_EQ(engine->toolFeed().size(), 1);
    EXPECT_EQ(engine->dailyAll().last().input, 1000);
    EXPECT_EQ(engine->dailyByAgent().at(DisplayAgent::codex).last().input, 1003);
    EXPECT_EQ(engine->dailyByAgent().at(DisplayAgent::claudeCode).last().input, 1002); // transcripts and hooks

    // A live bump adds to the lists until the 30th tick reloads them; today keeps what was counted.
    send(AgentSource::codexOtel, "c", TokenUsage{50, 5, std::nullopt});
    EXPECT_EQ(engine->dailyAll().last().input, 1050);
    for (int i = 0; i < 29; ++i)
        engine->tick(clock.now());
    EXPECT_EQ(history.dayQueries, 4);
    engine->tick(clock.now());
    EXPECT_EQ(history.dayQueries, 8);
    EXPECT_EQ(engine->ticksSinceStoreRefresh(), 0);
    EXPECT_EQ(engine->dailyAll().last().input, 1050);
    history.week.last().input = 2000;
    for (int i = 0; i < MetricsEngine::ticksPerStoreRefresh; ++i)
        engine->tick(clock.now());
    EXPECT_EQ(engine->dailyAll().last().input, 2000);
}

// A history import ends while the engine runs: its sessions join the list, while the live session
// keeps its totals and stays the agent's current one.
TEST_F(Scopes, ImportedSessionsJoinWithoutTouchingTheLiveOnes)
{
    FakeHistory history;
    engine = makeEngine(&history);
    send(AgentSource::claudeCodeJsonl, "live", TurnStarted{});
    send(AgentSource::claudeCodeJsonl, "live", TokenUsage{500, 50, std::nullopt});

    const auto stored = [&](const QString &session, AgentEventKind kind, QDateTime time) {
        history.events.append({event(AgentSource::claudeCodeJsonl, session, std::move(kind), time), std::nullopt});
    };
    stored("live", TokenUsage{500, 50, std::nullopt}, clock.now()); // the live row, stored too
    stored("old", TurnStarted{}, at(9, 0, 0, -2));
    stored("old", TokenUsage{1000, 100, std::nullopt}, at(9, 1, 0, -2));
    engine->adoptStoredSessions();

    const AgentMetrics &claude = agent(DisplayAgent::claudeCode);
    EXPECT_EQ(claude.sessions.size(), 2u);
    EXPECT_EQ(session(DisplayAgent::claudeCode, "live").input, 500);
    EXPECT_EQ(session(DisplayAgent::claudeCode, "old").input, 1000);
    EXPECT_EQ(claude.currentSessionId, "live");
    EXPECT_EQ(claude.state, AgentState::working);
}

} // namespace

// Claude Code's own figures of a session: the scope shows them beside the estimate while every
// session it counts reports a cost; a report is no activity and each one replaces the last.
TEST_F(Scopes, ReportedCostAndContextStandBesideTheEstimate)
{
    const auto claude = AgentSource::claudeCodeJsonl;
    send(claude, "c1", TokenUsage{1000, 200, std::nullopt}, at(14, 0));
    send(claude, "c1", SessionReport{0.0175, 1'000'000, 12.5}, at(14, 5));
    ScopedMetrics scoped = engine->scoped(MetricsScope::of(DisplayAgent::claudeCode));
    EXPECT_EQ(scoped.reportedSessionCost, 0.0175);
    EXPECT_GT(scoped.sessionCost, 0);
    EXPECT_EQ(scoped.contextWindow, 1'000'000);
    EXPECT_EQ(scoped.contextUsedPercent, 12.5);
    EXPECT_EQ(agent(DisplayAgent::claudeCode).lastActivity, at(14, 0));

    // Codex reports no cost: the sum of both would mix a report with an estimate.
    send(AgentSource::codexOtel, "x1", TokenUsage{500, 50, std::nullopt}, at(14, 6));
    const ScopedMetrics all = engine->scoped(MetricsScope::aggregate());
    EXPECT_FALSE(all.reportedSessionCost);
    EXPECT_FALSE(all.contextUsedPercent);

    send(claude, "c1", SessionReport{std::nullopt, std::nullopt, std::nullopt}, at(14, 7));
    scoped = engine->scoped(MetricsScope::of(DisplayAgent::claudeCode));
    EXPECT_FALSE(scoped.reportedSessionCost);
    EXPECT_FALSE(scoped.contextUsedPercent);
    EXPECT_EQ(scoped.contextWindow, 1'000'000); // the model's window stays what it was
}

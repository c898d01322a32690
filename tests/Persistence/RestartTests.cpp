#include "StoreFixture.h"

#include "Telemetry/MetricsEngine.h"

namespace {

using Restart = StoreFixture;

// What the application does with every bus event: apply it, then store it with the agent's model.
void deliver(MetricsEngine &engine, EventStore &store, const AgentEvent &event)
{
    engine.handle(event);
    const auto found = engine.agents().find(displayAgent(event.source));
    EXPECT_TRUE(store.insert(event, found == engine.agents().end() ? std::nullopt : found->second.model));
}

TEST_F(Restart, EngineShowsTheSameSessionsAfterARestart)
{
    const auto makeEngine = [&] {
        return std::make_unique<MetricsEngine>(pricing, store.get(), CodexCurrentThreadProvider{}, Environment{&clock},
                                               Calendar(zone));
    };
    auto engine = makeEngine();
    const auto send = [&](AgentSource source, const char *session, AgentEventKind kind, QDateTime time) {
        deliver(*engine, *store, AgentEvent::make(source, QString::fromLatin1(session), std::move(kind), time));
    };
    send(AgentSource::codexOtel, "c", ModelInfo{"gpt-5.5"}, at(14, 0));
    send(AgentSource::codexNotify, "c", TurnStarted{}, at(14, 1));
    send(AgentSource::codexOtel, "c", TokenUsage{100000, 100, 90000}, at(14, 2));
    send(AgentSource::codexOtel, "c", TokenUsage{105000, 50, 95000}, at(14, 3));
    send(AgentSource::codexOtel, "c", ToolCall{"shell", 12}, at(14, 4));
    send(AgentSource::claudeCodeJsonl, "s", TurnStarted{}, at(13, 0));
    send(AgentSource::claudeCodeJsonl, "s", TokenUsage{3000, 300, 1000}, at(13, 1));
    send(AgentSource::claudeCodeJsonl, "s", TurnEnded{}, at(13, 2));
    send(AgentSource::claudeCodeJsonl, "s", StateText{"not stored"}, at(13, 3));
    engine->tick(at(14, 5));
    const ScopedMetrics codexBefore = engine->scoped(MetricsScope::of(DisplayAgent::codex));
    const ScopedMetrics allBefore = engine->scoped();
    const qint64 todayBefore = allBefore.todayTokens();
    ASSERT_EQ(todayBefore, 205150 + 3300);

    engine.reset();
    store = openStore();
    ASSERT_TRUE(store);
    engine = makeEngine();
    engine->tick(at(14, 5));

    // Its last event is long past the OTLP end rule: the replayed turn was ended.
    const ScopedMetrics codex = engine->scoped(MetricsScope::of(DisplayAgent::codex));
    EXPECT_EQ(codex.state, AgentState::idle);
    EXPECT_EQ(codex.sessionTotalTokens, 105050);
    EXPECT_EQ(codex.sessionMeteredTokens, 205150);
    EXPECT_DOUBLE_EQ(codex.sessionCost, codexBefore.sessionCost);
    EXPECT_EQ(codex.model, "gpt-5.5");
    EXPECT_EQ(codex.toolCallCount, 1);
    EXPECT_EQ(codex.elapsedInTurn, 0);
    EXPECT_EQ(codex.todayTokens(), 205150);

    const ScopedMetrics claude = engine->scoped(MetricsScope::of(DisplayAgent::claudeCode));
    EXPECT_EQ(claude.state, AgentState::idle);
    EXPECT_EQ(claude.sessionTotalTokens, 3300);

    const ScopedMetrics all = engine->scoped();
    EXPECT_EQ(all.todayTokens(), todayBefore); // not twice
    EXPECT_NEAR(all.daily.last().cost, allBefore.daily.last().cost, 1e-12);
    EXPECT_EQ(all.sessions.size(), allBefore.sessions.size());
    EXPECT_EQ(engine->toolFeed().size(), 1);
    EXPECT_TRUE(engine->agents().at(DisplayAgent::codex).outputSamples.isEmpty());
}

TEST_F(Restart, ATurnLeftOpenEndsByItsChannelsRuleAndNeverOpensTheSponsoredGate)
{
    const Delays delays;
    struct Case {
        AgentSource source;
        DisplayAgent agent;
        std::chrono::milliseconds rule;
    };
    const Case cases[] = {
        {AgentSource::codexOtel, DisplayAgent::codex, delays.otelTurnEnd},
        {AgentSource::claudeCodeJsonl, DisplayAgent::claudeCode, delays.transcriptTurnQuiet},
        {AgentSource::codexDesktopSession, DisplayAgent::codex, delays.codexSessionActiveWithin},
    };
    const auto makeEngine = [&] {
        return std::make_unique<MetricsEngine>(pricing, store.get(), CodexCurrentThreadProvider{}, Environment{&clock},
                                               Calendar(zone));
    };
    for (const Case &c : cases) {
        const std::string label = rawValue(c.source).toStdString();
        store.reset();
        QFile::remove(path());
        store = openStore();
        const QDateTime last = clock.now();
        insert(c.source, "s", TurnStarted{}, last.addSecs(-30));
        insert(c.source, "s", TokenUsage{100, 10, std::nullopt}, last);

        // Back within the rule: the turn still runs, but it was replayed, so no view is sponsored.
        clock.set(last.addMSecs(c.rule.count() / 2));
        auto engine = makeEngine();
        EXPECT_EQ(engine->agents().at(c.agent).state, AgentState::working) << label;
        EXPECT_TRUE(engine->turnsEndedAtHydration().isEmpty()) << label;
        EXPECT_FALSE(engine->anyLiveTurn()) << label;
        QList<AgentEvent> endedOnTick;
        QObject::connect(engine.get(), &MetricsEngine::turnEndedByRule,
                         [&](const AgentEvent &event) { endedOnTick.append(event); });
        engine->tick(last.addMSecs(c.rule.count() - 1));
        EXPECT_EQ(engine->agents().at(c.agent).state, AgentState::working) << label;
        engine->tick(last.addMSecs(c.rule.count() + 1));
        EXPECT_EQ(engine->agents().at(c.agent).state, AgentState::idle) << label;
        ASSERT_EQ(endedOnTick.size(), 1) << label;
        EXPECT_EQ(endedOnTick[0].timestamp, last.addMSecs(c.rule.count())) << label;
        EXPECT_EQ(endedOnTick[0].source, c.source) << label;

        // Back long after: ended while the store is read, stamped at the last event plus the rule.
        clock.set(last.addSecs(6 * 3600));
        engine = makeEngine();
        EXPECT_EQ(engine->agents().at(c.agent).state, AgentState::idle) << label;
        EXPECT_EQ(engine->scoped(MetricsScope::of(c.agent)).elapsedInTurn, 0) << label;
        ASSERT_EQ(engine->turnsEndedAtHydration().size(), 1) << label;
        EXPECT_EQ(engine->turnsEndedAtHydration()[0].timestamp, last.addMSecs(c.rule.count())) << label;

        // A live event takes the turn over: it counts for the gate again.
        engine->handle(AgentEvent::make(c.source, "s", TurnStarted{}, clock.now()));
        EXPECT_TRUE(engine->anyLiveTurn()) << label;
        clock.set(last);
    }
}

TEST_F(Restart, PendingTurnEndsAreStampedAtTheRuleOrNow)
{
    MetricsEngine engine(pricing, store.get(), CodexCurrentThreadProvider{}, Environment{&clock}, Calendar(zone));
    const QDateTime last = clock.now();
    engine.handle(AgentEvent::make(AgentSource::codexOtel, "c", TokenUsage{100, 10, std::nullopt}, last));
    engine.handle(AgentEvent::make(AgentSource::claudeCodeJsonl, "s", TurnStarted{}, last.addSecs(-60)));
    engine.handle(AgentEvent::make(AgentSource::mock, "m", TurnEnded{}, last));
    const QList<AgentEvent> ends = engine.pendingTurnEnds(last.addSecs(2));
    ASSERT_EQ(ends.size(), 2);
    for (const AgentEvent &end : ends) {
        EXPECT_TRUE(std::holds_alternative<TurnEnded>(end.kind));
        EXPECT_EQ(end.timestamp, end.source == AgentSource::codexOtel ? last.addSecs(2) : last.addSecs(-52));
    }
}

TEST_F(Restart, TodayNeverDropsWhenTheDayListsAreReloaded)
{
    MetricsEngine engine(pricing, store.get(), CodexCurrentThreadProvider{}, Environment{&clock}, Calendar(zone));
    deliver(engine, *store, AgentEvent::make(AgentSource::codexOtel, "c", TokenUsage{1000, 100, std::nullopt}, clock.now()));
    // Counted but not yet in the store (a refused write waits for its retry).
    engine.handle(AgentEvent::make(AgentSource::codexOtel, "c", TokenUsage{500, 50, std::nullopt}, clock.now()));
    const DayAgg before = engine.dailyAll().last();
    ASSERT_EQ(before.input + before.output, 1650);
    for (int i = 0; i < MetricsEngine::ticksPerStoreRefresh; ++i)
        engine.tick(clock.now());
    EXPECT_EQ(engine.dailyAll().last().input + engine.dailyAll().last().output, 1650);
    EXPECT_NEAR(engine.dailyAll().last().cost, before.cost, 1e-12);
    EXPECT_EQ(engine.dailyByAgent().at(DisplayAgent::codex).last().input, 1500);
}

} // namespace

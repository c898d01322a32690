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

    const ScopedMetrics codex = engine->scoped(MetricsScope::of(DisplayAgent::codex));
    EXPECT_EQ(codex.state, AgentState::working);
    EXPECT_EQ(codex.sessionTotalTokens, 105050);
    EXPECT_EQ(codex.sessionMeteredTokens, 205150);
    EXPECT_DOUBLE_EQ(codex.sessionCost, codexBefore.sessionCost);
    EXPECT_EQ(codex.model, "gpt-5.5");
    EXPECT_EQ(codex.toolCallCount, 1);
    EXPECT_DOUBLE_EQ(codex.elapsedInTurn, codexBefore.elapsedInTurn);
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

} // namespace

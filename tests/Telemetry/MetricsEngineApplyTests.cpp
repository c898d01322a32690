#include "EngineFixture.h"

#include <QSignalSpy>

namespace {

using Apply = EngineFixture;
const QString mockModel = QStringLiteral("mock-model");

TEST_F(Apply, MockSessionTotalsCostAndToolFeed)
{
    QSignalSpy agentsSpy(engine.get(), &MetricsEngine::agentsChanged);
    QSignalSpy feedSpy(engine.get(), &MetricsEngine::toolFeedChanged);
    send(AgentSource::mock, "m1", ModelInfo{mockModel});
    send(AgentSource::mock, "m1", TurnStarted{});
    send(AgentSource::mock, "m1", TokenUsage{1000, 200, 500});
    send(AgentSource::mock, "m1", TokenUsage{0, 300, std::nullopt});

    const SessionAgg &s = session(DisplayAgent::mock, "m1");
    EXPECT_EQ(s.input, 1000);
    EXPECT_EQ(s.output, 500);
    EXPECT_EQ(s.cached, 500);
    EXPECT_EQ(s.contextTokens, 1500);
    EXPECT_EQ(s.sessionTokens, 1500);
    EXPECT_NEAR(s.cost, 0.00915, 1e-12);
    EXPECT_EQ(s.model, mockModel);
    EXPECT_EQ(agent(DisplayAgent::mock).state, AgentState::working);
    EXPECT_EQ(agentsSpy.count(), 4);
    EXPECT_EQ(feedSpy.count(), 0);

    send(AgentSource::mock, "m1", ToolCall{"Bash", 120});
    ASSERT_FALSE(engine->toolFeed().isEmpty());
    EXPECT_EQ(engine->toolFeed().front().name, "Bash");
    EXPECT_EQ(engine->toolFeed().front().durationMs, 120);
    EXPECT_EQ(engine->toolFeed().front().source, AgentSource::mock);
    EXPECT_EQ(agent(DisplayAgent::mock).toolCallCount, 1);
    EXPECT_EQ(agent(DisplayAgent::mock).lastTool, "Bash");
    EXPECT_EQ(feedSpy.count(), 1);
}

TEST_F(Apply, CodexContextIsTheLatestRequestNotTheCumulativeInput)
{
    send(AgentSource::codexOtel, "c1", TokenUsage{100000, 100, 90000});
    send(AgentSource::codexNotify, "c1", TokenUsage{105000, 50, 95000});
    const SessionAgg &s = session(DisplayAgent::codex, "c1");
    EXPECT_EQ(s.input + s.output, 205150);
    EXPECT_EQ(s.cached, 185000);
    EXPECT_EQ(s.contextTokens, 105050);
    EXPECT_EQ(s.sessionTokens, 105050);
    EXPECT_EQ(s.source, AgentSource::codexOtel); // the creating event's source stays
}

TEST_F(Apply, DesktopSnapshotIsPricedAsAWhole)
{
    send(AgentSource::codexDesktopSession, "t1", ModelInfo{"gpt-5.5"});
    send(AgentSource::codexDesktopSession, "t1", SessionSnapshot{1600, 900, 1200, 400, 700, 258400, 850});
    const SessionAgg &s = session(DisplayAgent::codex, "t1");
    EXPECT_EQ(s.input, 1200);
    EXPECT_EQ(s.output, 400);
    EXPECT_EQ(s.sessionTokens, 1600);
    EXPECT_EQ(s.contextTokens, 900);
    EXPECT_EQ(s.cached, 700);
    EXPECT_EQ(s.modelContextWindow, 258400);
    EXPECT_NEAR(s.cost, 0.01485, 1e-12);
    EXPECT_EQ(agent(DisplayAgent::codex).state, AgentState::idle); // snapshots leave the state alone
}

TEST_F(Apply, SnapshotTierFollowsTheCurrentRequest)
{
    struct Case {
        const char *name;
        std::optional<qint64> contextInput;
        qint64 context;
        double expected;
    };
    // 300000 input and 1000 output of gpt-5.5: standard 5/30, long context 10/45.
    const Case cases[] = {
        {"small request", 100000, 280000, 1.53},
        {"no request size, small context", std::nullopt, 100000, 1.53},
        {"large request", 280000, 100000, 3.045},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString id = QString::fromLatin1(c.name);
        send(AgentSource::codexDesktopSession, id, ModelInfo{"gpt-5.5"});
        send(AgentSource::codexDesktopSession, id, SessionSnapshot{0, c.context, 300000, 1000, 0, std::nullopt, c.contextInput});
        EXPECT_NEAR(session(DisplayAgent::codex, id).cost, c.expected, 1e-9);
    }
}

TEST_F(Apply, SmallerSnapshotLowersNoTotalButMovesTheContext)
{
    send(AgentSource::codexDesktopSession, "t1", SessionSnapshot{1600, 900, 1200, 400, 700, 258400, 850});
    send(AgentSource::codexDesktopSession, "t1", SessionSnapshot{100, 50, 60, 40, 10, std::nullopt, std::nullopt});
    const SessionAgg &s = session(DisplayAgent::codex, "t1");
    EXPECT_EQ(s.input, 1200);
    EXPECT_EQ(s.output, 400);
    EXPECT_EQ(s.cached, 700);
    EXPECT_EQ(s.contextTokens, 50);
    EXPECT_EQ(s.sessionTokens, 1600);
    EXPECT_EQ(s.modelContextWindow, 258400);
}

TEST_F(Apply, LiveSnapshotCountsOnlyItsGrowthForToday)
{
    send(AgentSource::codexDesktopSession, "t1", SessionSnapshot{1600, 900, 1200, 400, 700, std::nullopt, std::nullopt});
    send(AgentSource::codexDesktopSession, "t1", SessionSnapshot{1700, 900, 1250, 450, 700, std::nullopt, std::nullopt});
    send(AgentSource::codexDesktopSession, "t1", SessionSnapshot{1700, 900, 1250, 450, 700, std::nullopt, std::nullopt});
    const DayAgg &today = engine->dailyAll().last();
    EXPECT_EQ(today.input, 1250);
    EXPECT_EQ(today.output, 450);
    EXPECT_NEAR(today.cost, session(DisplayAgent::codex, "t1").cost, 1e-12);
    const auto &samples = agent(DisplayAgent::codex).outputSamples;
    ASSERT_EQ(samples.size(), 2);
    EXPECT_EQ(samples[0].tokens, 400);
    EXPECT_EQ(samples[1].tokens, 50);
}

TEST_F(Apply, StateTransitions)
{
    const QDateTime t1 = at(14, 0), t2 = at(14, 1), t3 = at(14, 2);

    send(AgentSource::claudeCodeJsonl, "s", ApprovalRequested{}, t1);
    send(AgentSource::claudeCodeJsonl, "s", TokenUsage{10, 10, std::nullopt}, t2);
    EXPECT_EQ(agent(DisplayAgent::claudeCode).state, AgentState::awaitingApproval);
    EXPECT_FALSE(agent(DisplayAgent::claudeCode).turnStartedAt);

    send(AgentSource::claudeCodeJsonl, "s", TurnStarted{}, t3);
    EXPECT_EQ(agent(DisplayAgent::claudeCode).state, AgentState::working);
    EXPECT_EQ(agent(DisplayAgent::claudeCode).turnStartedAt, t3);

    // Already working: the turn clock keeps its start.
    send(AgentSource::claudeCodeJsonl, "s", TurnStarted{}, at(14, 5));
    EXPECT_EQ(agent(DisplayAgent::claudeCode).turnStartedAt, t3);

    send(AgentSource::claudeCodeJsonl, "s", TurnEnded{}, at(14, 6));
    const AgentMetrics &ended = agent(DisplayAgent::claudeCode);
    EXPECT_EQ(ended.state, AgentState::idle);
    EXPECT_FALSE(ended.turnStartedAt);
    EXPECT_FALSE(ended.stateText);
    EXPECT_EQ(ended.elapsedInTurn, 0);

    send(AgentSource::claudeCodeJsonl, "s", StateText{"Streaming"}, at(14, 7));
    EXPECT_EQ(agent(DisplayAgent::claudeCode).state, AgentState::working);
    EXPECT_EQ(agent(DisplayAgent::claudeCode).stateText, "Streaming");
    EXPECT_EQ(agent(DisplayAgent::claudeCode).turnStartedAt, at(14, 7));

    // Model, tool and snapshot events never move the state.
    send(AgentSource::claudeCodeJsonl, "s", ApprovalRequested{});
    send(AgentSource::claudeCodeJsonl, "s", ModelInfo{"x"});
    send(AgentSource::claudeCodeJsonl, "s", ToolCall{"Read", std::nullopt});
    send(AgentSource::claudeCodeJsonl, "s", SessionSnapshot{1, 1, 1, 1, std::nullopt, std::nullopt, std::nullopt});
    EXPECT_EQ(agent(DisplayAgent::claudeCode).state, AgentState::awaitingApproval);
}

TEST_F(Apply, ToolFeedKeepsTheNewestSixty)
{
    for (int i = 1; i <= 61; ++i)
        send(i % 2 ? AgentSource::mock : AgentSource::claudeCodeJsonl, "s", ToolCall{QString::number(i), std::nullopt});
    ASSERT_EQ(engine->toolFeed().size(), 60);
    EXPECT_EQ(engine->toolFeed().front().name, "61");
    EXPECT_EQ(engine->toolFeed().back().name, "2");
}

TEST_F(Apply, ReplayedUsageMovesTotalsButNotSamplesOrDays)
{
    const QList<DayAgg> daysBefore = engine->dailyAll();
    engine->apply(event(AgentSource::mock, "m1", TokenUsage{1000, 200, 500}), false, mockModel);
    const SessionAgg &s = session(DisplayAgent::mock, "m1");
    EXPECT_EQ(s.input, 1000);
    EXPECT_NEAR(s.cost, 0.00465, 1e-12);
    EXPECT_EQ(s.model, mockModel);
    EXPECT_EQ(agent(DisplayAgent::mock).model, mockModel);
    EXPECT_TRUE(agent(DisplayAgent::mock).outputSamples.isEmpty());
    EXPECT_EQ(engine->dailyAll(), daysBefore);
    EXPECT_TRUE(engine->dailyByAgent().empty());
}

// Counted in the day the event was stamped, as the store counts it: a line read late (a file
// caught up after a restart) must not land in today too.
TEST_F(Apply, UsageCountsForTheEventsDayAsTheStoreDoes)
{
    clock.set(at(23, 50, 0, -1));
    engine = makeEngine(nullptr); // the week was built yesterday evening
    clock.set(at(0, 0, 5));
    send(AgentSource::mock, "m1", TokenUsage{100, 10, std::nullopt}, at(23, 59, 0, -1));
    send(AgentSource::mock, "m1", TokenUsage{7, 1, std::nullopt}, at(0, 0, 1));
    send(AgentSource::mock, "m1", TokenUsage{3, 2, std::nullopt}, at(0, 5, 0)); // from the future: today

    const QList<DayAgg> &all = engine->dailyAll();
    ASSERT_EQ(all.size(), 8); // today appended past midnight; the next refresh rebuilds the week
    EXPECT_EQ(all[6].date, at(0, 0, 0, -1));
    EXPECT_EQ(all[6].input, 100);
    EXPECT_EQ(all.last().date, at(0, 0));
    EXPECT_EQ(all.last().input, 10);
    // The agent's list did not exist yet: a fresh week ending today.
    const QList<DayAgg> &mock = engine->dailyByAgent().at(DisplayAgent::mock);
    ASSERT_EQ(mock.size(), 7);
    EXPECT_EQ(mock[5].output, 10);
    EXPECT_EQ(mock.last().output, 3);
}

TEST_F(Apply, HugeCountsSaturate)
{
    const qint64 max = std::numeric_limits<qint64>::max();
    send(AgentSource::mock, "m", TokenUsage{max - 1, max - 1, std::nullopt});
    send(AgentSource::mock, "m", TokenUsage{10, 10, std::nullopt});
    EXPECT_EQ(session(DisplayAgent::mock, "m").input, max);
    EXPECT_EQ(session(DisplayAgent::mock, "m").output, max);
    EXPECT_EQ(engine->scoped().sessionMeteredTokens, max);
}

} // namespace

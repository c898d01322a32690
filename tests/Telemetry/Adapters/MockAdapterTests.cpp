#include "Telemetry/Adapters/MockAdapter.h"

#include "Platform/ManualClock.h"

#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <random>

namespace {

const QDateTime origin = QDateTime::fromString(QStringLiteral("2026-06-11T09:00:00Z"), Qt::ISODate);
const double almostOne = std::nextafter(1.0, 0.0);

struct Recorder : QObject {
    std::vector<AgentEvent> events;
    explicit Recorder(EventBus &bus)
    {
        connect(&bus, &EventBus::eventPublished, this, [this](const AgentEvent &e) { events.push_back(e); });
    }
    std::vector<AgentEvent> take() { return std::exchange(events, {}); }
};

// A mock adapter on a hand-moved clock, stepped by hand.
struct Harness {
    ManualClock clock{origin};
    EventBus bus;
    Recorder recorder{bus};
    MockAdapter adapter;

    explicit Harness(MockAdapter::UnitRandom random)
        : adapter(bus, Environment{&clock}, std::move(random))
    {
    }
    std::vector<AgentEvent> stepAt(double secondsSinceOrigin)
    {
        clock.set(origin.addMSecs(std::llround(secondsSinceOrigin * 1000)));
        adapter.step();
        return recorder.take();
    }
};

template <typename Kind>
bool is(const AgentEvent &event)
{
    return std::holds_alternative<Kind>(event.kind);
}

TEST(MockAdapter, StartAnnouncesTheModelAndTheFirstTurnComesTwoSecondsLater)
{
    Harness h([] { return 0.5; });
    EXPECT_TRUE(QRegularExpression("^mock-[0-9A-F]{8}$").match(h.adapter.sessionId()).hasMatch())
        << h.adapter.sessionId().toStdString();
    EXPECT_EQ(h.adapter.source(), AgentSource::mock);

    h.adapter.start();
    const std::vector<AgentEvent> first = h.recorder.take();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].kind, AgentEventKind(ModelInfo{"mock-model-xl"}));
    EXPECT_EQ(first[0].source, AgentSource::mock);
    EXPECT_EQ(first[0].sessionId, h.adapter.sessionId());
    EXPECT_EQ(first[0].timestamp, origin);

    EXPECT_TRUE(h.stepAt(0.5).empty());
    EXPECT_TRUE(h.stepAt(1.999).empty());
    const std::vector<AgentEvent> turn = h.stepAt(2.0);
    ASSERT_EQ(turn.size(), 2u);
    EXPECT_TRUE(is<TurnStarted>(turn[0]));
    ASSERT_TRUE(is<TokenUsage>(turn[1]));
    EXPECT_EQ(std::get<TokenUsage>(turn[1].kind).outputTokens, 0);
    h.adapter.stop();
}

TEST(MockAdapter, TheTimerStepsEveryHalfSecondUntilStopped)
{
    using std::chrono::milliseconds;
    Harness h([] { return 0.0; });
    h.adapter.start();
    EXPECT_TRUE(h.adapter.isRunning());
    h.recorder.take();
    h.clock.advance(milliseconds(1999)); // steps at 0.5, 1 and 1.5 s: before the first turn
    EXPECT_TRUE(h.recorder.take().empty());
    h.clock.advance(milliseconds(1)); // the step at 2 s starts it
    const std::vector<AgentEvent> turn = h.recorder.take();
    ASSERT_FALSE(turn.empty());
    EXPECT_TRUE(is<TurnStarted>(turn[0]));
    EXPECT_EQ(turn[0].timestamp, origin.addSecs(2));

    h.adapter.stop();
    EXPECT_FALSE(h.adapter.isRunning());
    ASSERT_TRUE(is<TurnEnded>(h.recorder.take().back()));
    h.clock.advance(milliseconds(5000));
    EXPECT_TRUE(h.recorder.take().empty());
}

TEST(MockAdapter, StopEndsATurnOnceAndIsSilentBetweenTurns)
{
    Harness h([] { return 0.0; }); // shortest turns and pauses: 10 s and 3 s
    h.adapter.start();
    h.stepAt(2.0);
    ASSERT_TRUE(h.adapter.turnEndsAt());
    h.recorder.take();

    h.adapter.stop();
    const std::vector<AgentEvent> stopped = h.recorder.take();
    ASSERT_EQ(stopped.size(), 1u);
    EXPECT_TRUE(is<TurnEnded>(stopped[0]));
    EXPECT_FALSE(h.adapter.turnEndsAt());
    h.adapter.stop();
    EXPECT_TRUE(h.recorder.take().empty());

    // A restart keeps the session and starts over; stopping in the pause publishes nothing.
    const QString session = h.adapter.sessionId();
    h.adapter.start();
    EXPECT_EQ(h.recorder.take().size(), 1u);
    h.stepAt(4.0);  // turn starts
    h.stepAt(14.0); // turn ends, next one at 17 s
    h.recorder.take();
    EXPECT_EQ(h.adapter.nextTurnAt(), origin.addSecs(17));
    h.adapter.stop();
    EXPECT_TRUE(h.recorder.take().empty());
    EXPECT_EQ(h.adapter.nextTurnAt(), origin.addSecs(17));
    EXPECT_EQ(h.adapter.sessionId(), session);

    EventBus bus;
    EXPECT_NE(MockAdapter(bus).sessionId(), session);
}

TEST(MockAdapter, ExtremeDrawsGiveTheEndsOfEveryRange)
{
    {
        SCOPED_TRACE("lowest draws");
        Harness h([] { return 0.0; });
        h.adapter.start();
        h.recorder.take();
        std::vector<AgentEvent> start = h.stepAt(2.0);
        ASSERT_EQ(start.size(), 2u);
        EXPECT_EQ(start[1].kind, AgentEventKind(TokenUsage{800, 0, 0}));
        EXPECT_EQ(h.adapter.turnEndsAt(), origin.addSecs(12));
        const std::vector<AgentEvent> inTurn = h.stepAt(2.5);
        ASSERT_EQ(inTurn.size(), 3u);
        EXPECT_EQ(inTurn[0].kind, AgentEventKind(TokenUsage{0, 10, 100}));
        EXPECT_EQ(inTurn[1].kind, AgentEventKind(ToolCall{"Bash", 80}));
        EXPECT_EQ(inTurn[2].kind, AgentEventKind(StateText{QStringLiteral("Reticulating\u2026")}));
        EXPECT_TRUE(h.stepAt(11.999).size() == 3u);
        const std::vector<AgentEvent> end = h.stepAt(12.0);
        ASSERT_EQ(end.size(), 1u);
        EXPECT_TRUE(is<TurnEnded>(end[0]));
        EXPECT_EQ(h.adapter.nextTurnAt(), origin.addSecs(15));
    }
    {
        SCOPED_TRACE("highest draws");
        Harness h([] { return almostOne; });
        h.adapter.start();
        h.recorder.take();
        std::vector<AgentEvent> start = h.stepAt(2.0);
        ASSERT_EQ(start.size(), 2u);
        EXPECT_EQ(start[1].kind, AgentEventKind(TokenUsage{6000, 0, 20000}));
        EXPECT_EQ(h.adapter.turnEndsAt(), origin.addSecs(122));
        EXPECT_TRUE(h.stepAt(121.5).empty()); // every chance fails
        h.stepAt(122.0);
        EXPECT_EQ(h.adapter.nextTurnAt(), origin.addSecs(132));
    }
    {
        SCOPED_TRACE("every chance taken, every value at its top");
        // Draws of one step in order: usage chance, input, output, cached coin, cached,
        // tool chance, tool, duration, state chance, verb.
        std::deque<double> script;
        Harness h([&script] {
            if (script.empty())
                return 0.0;
            const double u = script.front();
            script.pop_front();
            return u;
        });
        h.adapter.start();
        h.stepAt(2.0); // drawn from the empty script: lowest values, 10 s turn
        script.assign({0.0, almostOne, almostOne, 0.0, almostOne, 0.0, almostOne, almostOne, 0.0, almostOne});
        const std::vector<AgentEvent> inTurn = h.stepAt(2.5);
        ASSERT_EQ(inTurn.size(), 3u);
        EXPECT_EQ(inTurn[0].kind, AgentEventKind(TokenUsage{40, 40, 2000}));
        EXPECT_EQ(inTurn[1].kind, AgentEventKind(ToolCall{"Write", 4000}));
        EXPECT_EQ(inTurn[2].kind, AgentEventKind(StateText{QStringLiteral("Vibing\u2026")}));
    }
}

TEST(MockAdapter, LongRandomRunKeepsTheTurnShapeAndEveryRange)
{
    std::mt19937_64 engine(20260611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Harness h([&] { return unit(engine); });
    h.adapter.start();
    h.recorder.take();

    const QSet<QString> tools(MockAdapter::tools.begin(), MockAdapter::tools.end());
    const QSet<QString> verbs(MockAdapter::verbs.begin(), MockAdapter::verbs.end());
    QSet<QUuid> ids;
    bool inTurn = false;
    double turnStartedAt = 0;
    double turnEndedAt = 0;
    int turns = 0;
    int inTurnSteps = 0;
    int usages = 0;
    int toolCalls = 0;
    int stateTexts = 0;
    int usagesWithCache = 0;

    for (int i = 1; i <= 40000; ++i) { // about five and a half hours
        const double t = i * 0.5;
        const bool wasInTurn = inTurn;
        const std::vector<AgentEvent> events = h.stepAt(t);
        bool endedNow = false;
        for (size_t k = 0; k < events.size(); ++k) {
            const AgentEvent &e = events[k];
            ASSERT_EQ(e.source, AgentSource::mock);
            ASSERT_EQ(e.sessionId, h.adapter.sessionId());
            ASSERT_EQ(e.timestamp, h.clock.now());
            ASSERT_FALSE(ids.contains(e.id));
            ids.insert(e.id);
            if (is<TurnStarted>(e)) {
                ASSERT_FALSE(inTurn);
                if (turns > 0) {
                    EXPECT_GE(t - turnEndedAt, 3.0);
                    EXPECT_LT(t - turnEndedAt, 10.5);
                }
                inTurn = true;
                turnStartedAt = t;
                ++turns;
                ASSERT_EQ(events.size(), 2u);
                const TokenUsage &usage = std::get<TokenUsage>(events[1].kind);
                EXPECT_TRUE(usage.inputTokens >= 800 && usage.inputTokens <= 6000) << usage.inputTokens;
                EXPECT_EQ(usage.outputTokens, 0);
                ASSERT_TRUE(usage.cachedTokens);
                EXPECT_TRUE(*usage.cachedTokens >= 0 && *usage.cachedTokens <= 20000);
                break;
            }
            ASSERT_TRUE(inTurn);
            if (is<TurnEnded>(e)) {
                ASSERT_EQ(events.size(), 1u);
                EXPECT_GE(t - turnStartedAt, 10.0);
                EXPECT_LT(t - turnStartedAt, 120.5);
                inTurn = false;
                endedNow = true;
                turnEndedAt = t;
            } else if (const auto *usage = std::get_if<TokenUsage>(&e.kind)) {
                ++usages;
                EXPECT_TRUE(usage->inputTokens >= 0 && usage->inputTokens <= 40);
                EXPECT_TRUE(usage->outputTokens >= 10 && usage->outputTokens <= 40);
                if (usage->cachedTokens) {
                    ++usagesWithCache;
                    EXPECT_TRUE(*usage->cachedTokens >= 100 && *usage->cachedTokens <= 2000);
                }
            } else if (const auto *tool = std::get_if<ToolCall>(&e.kind)) {
                ++toolCalls;
                EXPECT_TRUE(tools.contains(tool->name));
                ASSERT_TRUE(tool->durationMs);
                EXPECT_TRUE(*tool->durationMs >= 80 && *tool->durationMs <= 4000);
            } else if (const auto *state = std::get_if<StateText>(&e.kind)) {
                ++stateTexts;
                ASSERT_TRUE(state->text.endsWith(QChar(0x2026)));
                EXPECT_TRUE(verbs.contains(state->text.chopped(1))) << state->text.toStdString();
            } else {
                ADD_FAILURE() << caseName(e.kind).toStdString();
            }
        }
        if (wasInTurn && !endedNow)
            ++inTurnSteps;
    }
    h.adapter.stop();
    ASSERT_GT(turns, 100);
    // The chances per step, on this fixed seed, land near 0.8, 0.12 and 0.05.
    EXPECT_NEAR(double(usages) / inTurnSteps, 0.8, 0.02);
    EXPECT_NEAR(double(toolCalls) / inTurnSteps, 0.12, 0.01);
    EXPECT_NEAR(double(stateTexts) / inTurnSteps, 0.05, 0.01);
    EXPECT_NEAR(double(usagesWithCache) / usages, 0.5, 0.02);
}

} // namespace

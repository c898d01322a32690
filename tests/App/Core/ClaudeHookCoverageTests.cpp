#include "App/Core/EventPipeline.h"
#include "Telemetry/EventBus.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <gtest/gtest.h>

namespace {

class ClaudeHookCoverage : public testing::Test {
protected:
    PricingTable pricing = PricingTable::readOnly(QStringLiteral("/nonexistent/pricing.json"));
    MetricsEngine engine{pricing, nullptr};
    EventBus bus;
    EventPipeline pipeline{bus, engine, nullptr, {}};

    void hook(const QString &session, AgentEventKind kind) { publish(AgentSource::claudeCodeHooks, session, kind); }
    void transcript(const QString &session, AgentEventKind kind) { publish(AgentSource::claudeCodeJsonl, session, kind); }
    void publish(AgentSource source, const QString &session, AgentEventKind kind)
    {
        bus.publish(AgentEvent::make(source, session, std::move(kind)));
    }
    const AgentMetrics &claude() { return engine.agents().at(DisplayAgent::claudeCode); }
};

TEST_F(ClaudeHookCoverage, HookedSessionsTakeTurnsAndToolsFromHooksAndTokensFromTranscripts)
{
    hook("s", TurnStarted{});
    transcript("s", TurnStarted{});
    hook("s", ToolCall{"Bash", std::nullopt, QString("t1")});
    transcript("s", ToolCall{"Bash"});
    hook("s", ToolCall{"Bash", 80, QString("t1")});
    transcript("s", TokenUsage{100, 20, std::nullopt});
    EXPECT_EQ(claude().toolCallCount, 1);
    EXPECT_EQ(claude().sessions.at("s").output, 20);

    hook("s", TurnEnded{});
    // Claude Code writes its final reply just after Stop; the transcript adapter's quiet-time end
    // comes seconds later. Neither moves the state.
    transcript("s", TokenUsage{130, 40, std::nullopt});
    EXPECT_EQ(claude().state, AgentState::idle);
    EXPECT_EQ(claude().sessions.at("s").output, 60);
    transcript("s", TurnStarted{});
    EXPECT_EQ(claude().state, AgentState::idle);

    // A session the hooks never reported keeps the transcript's own turn rules.
    transcript("other", TokenUsage{10, 5, std::nullopt});
    EXPECT_EQ(claude().state, AgentState::working);
    transcript("other", ToolCall{"Read"});
    transcript("other", TurnEnded{});
    EXPECT_EQ(claude().state, AgentState::idle);
    EXPECT_EQ(claude().toolCallCount, 2);
}

} // namespace

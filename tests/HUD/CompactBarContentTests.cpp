#include "HUD/CompactBarContent.h"

#include <gtest/gtest.h>

namespace {

CompactBarInputs working(qint64 total, qint64 context)
{
    CompactBarInputs inputs;
    inputs.scoped.scope = MetricsScope::of(DisplayAgent::codex);
    inputs.scoped.state = AgentState::working;
    inputs.scoped.sessionTotalTokens = total;
    inputs.scoped.contextTokens = context;
    inputs.targetDisplayName = QStringLiteral("XTerm");
    return inputs;
}

std::string str(const QString &text) { return text.toStdString(); }

} // namespace

TEST(CompactBarContent, StateAndScopeTextsOfTheBar)
{
    CompactBarInputs inputs = working(0, 0);
    inputs.scoped.elapsedInTurn = 75;
    EXPECT_EQ(str(compactBarContent(inputs).stateLabel), "Working\u2026 1:15");
    EXPECT_EQ(str(compactBarContent(inputs).scopeLabel), "Codex");
    EXPECT_EQ(str(compactBarContent(inputs).tpsLabel), "live");

    inputs.scoped.state = AgentState::awaitingApproval;
    const CompactBarContent bar = compactBarContent(inputs);
    EXPECT_EQ(str(bar.stateLabel), "Needs approval");
    EXPECT_EQ(str(bar.stateHelp), "Codex: the agent is waiting for your approval");
    EXPECT_EQ(str(bar.stateColor), "orange");
}

TEST(CompactBarContent, PendingCountsOnlyWhileWorkingWithoutNumbers)
{
    const CompactBarContent pending = compactBarContent(working(0, 0));
    EXPECT_EQ(str(pending.sessionValue), "\u2026");
    EXPECT_EQ(str(pending.contextValue), "\u2026");
    EXPECT_EQ(str(pending.contextHelp), "Codex is working; exact token counts arrive on response.completed.");

    CompactBarInputs counted = working(12'345, 0);
    counted.scoped.sessionMeteredTokens = 2'000;
    counted.scoped.sessionCachedInput = 500;
    const CompactBarContent bar = compactBarContent(counted);
    EXPECT_EQ(str(bar.sessionValue), "12.3k");
    EXPECT_EQ(str(bar.contextValue), "0");
    EXPECT_EQ(str(bar.contextHelp), "Current model context: latest request input plus latest visible response output. "
                                    "Metered session usage: 2.0k, including 500 cached input.");

    CompactBarInputs idle = working(0, 0);
    idle.scoped.state = AgentState::idle;
    EXPECT_EQ(str(compactBarContent(idle).sessionValue), "0");
}

TEST(CompactBarContent, SparklinePointsAndMarquee)
{
    const QSizeF size(100, 20);
    EXPECT_TRUE(sparklinePoints({}, size).isEmpty());
    EXPECT_TRUE(sparklinePoints({7}, size).isEmpty());
    EXPECT_EQ(sparklinePoints({0, 0}, size), (QList<QPointF>{{0, 20}, {100, 20}}));
    EXPECT_EQ(sparklinePoints({5, 10}, size), (QList<QPointF>{{0, 10}, {100, 0}}));
    // Below 1 the top stays at 1.
    EXPECT_EQ(sparklinePoints({0.5, 0, 1}, size), (QList<QPointF>{{0, 10}, {50, 20}, {100, 0}}));

}

TEST(CompactBarContent, CostAndModel)
{
    CompactBarInputs inputs = working(1, 1);
    inputs.scoped.sessionCost = 0.042;
    CompactBarContent bar = compactBarContent(inputs);
    EXPECT_EQ(str(bar.costText), "$0.042 est.");
    EXPECT_FALSE(bar.modelVisible);
    EXPECT_EQ(str(bar.costHelp), "Estimated API cost from default model pricing: uncached input + cached input + "
                                 "output, USD per 1M tokens.");
    inputs.scoped.model = QStringLiteral("gpt-5");
    bar = compactBarContent(inputs);
    EXPECT_TRUE(bar.modelVisible);
    EXPECT_EQ(str(bar.modelText), "gpt-5");
    EXPECT_TRUE(bar.costHelp.startsWith(QStringLiteral("Estimated API cost from gpt-5 pricing")));

    // The agent's own figure needs no "est."; the estimate stays in the help.
    inputs.scoped.reportedSessionCost = 0.0175;
    bar = compactBarContent(inputs);
    EXPECT_EQ(str(bar.costText), "$0.018");
    EXPECT_EQ(str(bar.costHelp), "The agent's own cost of this session. The estimate from gpt-5 pricing: uncached "
                                 "input + cached input + output, USD per 1M tokens is $0.042.");
}

TEST(CompactBarContent, EarningsSwitchToPaidAbovePointZeroZeroZeroFive)
{
    CompactBarInputs inputs = working(1, 1);
    inputs.slot.demoValueThisMonth = 0.25;
    inputs.slot.earningsThisMonth = 0.0005;
    CompactBarContent bar = compactBarContent(inputs);
    EXPECT_EQ(str(bar.earningsText), "$0.250 demo");
    EXPECT_EQ(str(bar.earningsColor), "orange");
    EXPECT_TRUE(bar.earningsHelp.startsWith(QStringLiteral("Non-payable demo")));

    inputs.slot.earningsThisMonth = 0.0006;
    bar = compactBarContent(inputs);
    EXPECT_EQ(str(bar.earningsText), "+$0.001 paid");
    EXPECT_EQ(str(bar.earningsColor), "green");
}

TEST(CompactBarContent, SlotShowsCreativeOnlyWhileATurnIsInFlight)
{
    CompactBarInputs inputs = working(1, 1);
    inputs.slot.currentCreative = SlotSnapshot::Creative{QStringLiteral("c1"), QStringLiteral("Try it"),
                                                         QStringLiteral("bolt.fill")};
    EXPECT_FALSE(compactBarContent(inputs).slotShowsCreative);
    inputs.slot.gates.turnInFlight = true;
    const CompactBarContent bar = compactBarContent(inputs);
    EXPECT_TRUE(bar.slotShowsCreative);
    EXPECT_EQ(str(bar.slotId), "c1");
    EXPECT_EQ(str(bar.slotText), "Try it");

    inputs.slot.currentCreative.reset();
    EXPECT_FALSE(compactBarContent(inputs).slotShowsCreative);
    inputs.showAds = false;
    EXPECT_FALSE(compactBarContent(inputs).showAds);
}

TEST(CompactBarContent, MarqueeScrollsOnlyWhenTheTextOverflows)
{
    EXPECT_FALSE(marqueeOverflows(150, 196));
    EXPECT_FALSE(marqueeOverflows(196, 196));
    EXPECT_TRUE(marqueeOverflows(200, 196));
    EXPECT_FALSE(marqueeOverflows(0, -1));
}

TEST(CompactBarContent, ScopeIconAndMenu)
{
    CompactBarInputs inputs = working(1, 1);
    inputs.displayMode = DisplayMode::pinned(DisplayAgent::codex);
    const CompactBarContent bar = compactBarContent(inputs);
    EXPECT_EQ(str(bar.scopeIcon), "pin.fill");
    QStringList titles;
    QStringList checked;
    for (const QVariant &entry : bar.scopeMenu) {
        const QVariantMap map = entry.toMap();
        titles << map.value(QStringLiteral("title")).toString();
        if (map.value(QStringLiteral("checked")).toBool())
            checked << map.value(QStringLiteral("title")).toString();
    }
    EXPECT_EQ(titles, (QStringList{"All Agents", "Follow Focused App", "Pin Claude Code", "Pin Codex", "Pin Mock"}));
    EXPECT_EQ(checked, QStringList{"Pin Codex"});
    inputs.displayMode = DisplayMode::aggregate();
    EXPECT_EQ(str(compactBarContent(inputs).scopeIcon), "sum");
}

TEST(CompactBarContent, PillTexts)
{
    CompactBarInputs inputs = working(0, 0);
    EXPECT_EQ(str(compactBarContent(inputs).pillText), "waiting for XTerm\u2026");
    inputs.permissionNeeded = true;
    EXPECT_EQ(str(compactBarContent(inputs).pillText), "grant Accessibility for XTerm");
}

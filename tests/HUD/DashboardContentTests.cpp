#include "HUD/DashboardContent.h"

#include <gtest/gtest.h>

namespace {

QList<DayAgg> week(const QList<double> &costs)
{
    QList<DayAgg> days;
    QDateTime day(QDate(2026, 12, 7), QTime(0, 0)); // a Monday
    for (double cost : costs) {
        days.append({day, 100, 50, cost});
        day = day.addDays(1);
    }
    return days;
}

DashboardInputs inputs(double width = 1240)
{
    DashboardInputs in;
    in.width = width;
    in.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    in.scoped.daily = week({0, 0, 0, 0, 1.5, 2.25, 0});
    return in;
}

QVariantMap tile(const DashboardContent &content, int number) { return content.tiles.at(number - 1).toMap(); }
std::string text(const QVariantMap &map, const char *key) { return map.value(QLatin1String(key)).toString().toStdString(); }

} // namespace

TEST(DashboardContent, SummaryTiles)
{
    DashboardInputs in = inputs();
    in.scoped.sessionTotalTokens = 1'234'567;
    in.scoped.contextTokens = 42'000;
    in.slot.earningsThisMonth = 0.125;
    in.slot.projectedMonthly = 12.5;
    in.slot.demoValueThisMonth = 0.5;
    const DashboardContent content = dashboardContent(in);
    ASSERT_EQ(content.tiles.size(), 9);
    EXPECT_EQ(text(tile(content, 1), "value"), "1.23M");
    EXPECT_EQ(text(tile(content, 2), "value"), "42.0k");
    EXPECT_EQ(text(tile(content, 3), "value"), "150");
    EXPECT_EQ(text(tile(content, 3), "detail"), "$0.000 est.");
    EXPECT_EQ(text(tile(content, 4), "value"), "$3.750 est.");
    EXPECT_EQ(text(tile(content, 4), "detail"), "1.1k metered");
    EXPECT_EQ(text(tile(content, 5), "value"), "+$0.125");
    EXPECT_EQ(text(tile(content, 6), "value"), "+$12.50");
    EXPECT_EQ(text(tile(content, 7), "value"), "$0.500");
    EXPECT_EQ(text(tile(content, 7), "tint"), "orange");

    in.scoped.daily = week({12.5});
    EXPECT_EQ(text(tile(dashboardContent(in), 4), "value"), "$12.50 est.");
    in.scoped.daily.clear();
    const DashboardContent empty = dashboardContent(in);
    EXPECT_EQ(text(tile(empty, 3), "detail"), "$0.000 est.");
    EXPECT_EQ(text(tile(empty, 4), "value"), "$0.000 est.");
    EXPECT_TRUE(empty.days.isEmpty());
}

TEST(DashboardContent, BackendAndHealthTiles)
{
    DashboardInputs in = inputs();
    in.slot.backendStatus = SlotSnapshot::BackendStatus::remoteFallback;
    in.slot.backendMessage = QStringLiteral("serving local campaigns");
    in.slot.queuedEvents = 2;
    in.codexHealth.status = CodexTelemetryHealth::Status::stale;
    in.codexHealth.detail = QStringLiteral("last event 16m ago");
    DashboardContent content = dashboardContent(in);
    EXPECT_EQ(text(tile(content, 8), "value"), "Fallback");
    EXPECT_EQ(text(tile(content, 8), "detail"), "2 queued events");
    EXPECT_EQ(text(tile(content, 8), "tint"), "orange");
    EXPECT_EQ(text(tile(content, 9), "value"), "Stale");
    EXPECT_EQ(text(tile(content, 9), "tint"), "orange");
    EXPECT_EQ(text(tile(content, 9), "detail"), "last event 16m ago");

    in.slot.queuedEvents = 0;
    in.slot.backendStatus = SlotSnapshot::BackendStatus::localMock;
    in.codexHealth.status = CodexTelemetryHealth::Status::listenerDown;
    content = dashboardContent(in);
    EXPECT_EQ(text(tile(content, 8), "detail"), "serving local campaigns");
    EXPECT_EQ(text(tile(content, 8), "tint"), "secondary");
    EXPECT_EQ(text(tile(content, 9), "value"), "Down");
    EXPECT_EQ(text(tile(content, 9), "tint"), "red");
}

TEST(DashboardContent, LayoutSwitchesAt760AndLimitsToolRows)
{
    DashboardInputs in = inputs();
    for (int i = 0; i < 30; ++i)
        in.scoped.toolFeed.append({QUuid::createUuid(), QStringLiteral("tool%1").arg(i), i % 2 ? std::optional<qint64>(i) : std::nullopt, {}, AgentSource::mock});
    in.scoped.toolCallCount = 31;
    in.width = 759;
    DashboardContent narrow = dashboardContent(in);
    EXPECT_TRUE(narrow.narrow);
    EXPECT_EQ(narrow.toolRows.size(), 8);
    in.width = 760;
    DashboardContent wide = dashboardContent(in);
    EXPECT_FALSE(wide.narrow);
    EXPECT_EQ(wide.toolRows.size(), 20);
    EXPECT_EQ(wide.toolTitle.toStdString(), "TOOL CALLS \u00b7 31");
    EXPECT_EQ(text(wide.toolRows.at(0).toMap(), "duration"), "");
    EXPECT_EQ(text(wide.toolRows.at(1).toMap(), "duration"), "1ms");
}

TEST(DashboardContent, DaysCarryOneLetterWeekdays)
{
    const DashboardContent content = dashboardContent(inputs());
    QString letters;
    for (const QVariant &day : content.days)
        letters += day.toMap().value(QStringLiteral("label")).toString();
    EXPECT_EQ(letters.toStdString(), "MTWTFSS");
    EXPECT_EQ(content.maxDayTokens, 150);
    EXPECT_EQ(content.maxDayCost, 2.25);
}

TEST(DashboardContent, SessionRowsAndOverlay)
{
    DashboardInputs in = inputs();
    for (const char *id : {"abc", "0123456789abcdef", "s3", "s4", "s5"}) {
        SessionAgg session;
        session.sessionId = QLatin1String(id);
        session.input = 1'500;
        session.output = 500;
        session.cached = 700;
        session.sessionTokens = 2'000;
        session.cost = 0.02;
        in.scoped.sessions.append(session);
    }
    in.showDebugOverlay = true;
    in.slot.gates = {true, true, false, true};
    in.slot.streakSeconds = 3;
    in.slot.tickCount = 12;
    const DashboardContent content = dashboardContent(in);
    ASSERT_EQ(content.sessionRows.size(), 4);
    EXPECT_EQ(text(content.sessionRows.at(0).toMap(), "id"), "abc");
    EXPECT_EQ(text(content.sessionRows.at(1).toMap(), "id"), "0123456789");
    EXPECT_EQ(text(content.sessionRows.at(0).toMap(), "value"), "2.0k \u00b7 $0.020");
    EXPECT_EQ(text(content.sessionRows.at(0).toMap(), "help"),
              "Session total. Metered API usage: 2.0k, cached input: 700.");
    EXPECT_TRUE(content.showDebugOverlay);
    EXPECT_EQ(content.streakLine.toStdString(), "streak 3/5s \u00b7 ticks 12");
    EXPECT_FALSE(content.gateRows.at(2).toMap().value(QStringLiteral("passes")).toBool());
    EXPECT_EQ(text(content.gateRows.at(3).toMap(), "text"), "input < 60s");
}

// The wide layout keeps its tiles in one row; the ones ranked last give way first.
TEST(DashboardContent, WideTilesFitOneRow)
{
    struct Case {
        double width;
        std::vector<std::string> titles;
    };
    const std::vector<std::string> all{"Session total", "Current context", "Metered today", "Last 7 days", "Payable earned",
                                       "Payable projection", "Demo value", "Ad backend", "Codex health"};
    const Case cases[] = {
        {759, all}, // the narrow layout scrolls and keeps every tile
        {760, {"Session total", "Current context", "Metered today", "Last 7 days", "Payable earned", "Codex health"}},
        {906, {"Session total", "Current context", "Metered today", "Last 7 days", "Payable earned", "Demo value",
               "Codex health"}},
        {1240, all},
        {1600, all},
    };
    for (const Case &c : cases) {
        std::vector<std::string> titles;
        for (const QVariant &t : dashboardContent(inputs(c.width)).tiles)
            titles.push_back(text(t.toMap(), "title"));
        EXPECT_EQ(titles, c.titles) << c.width;
    }
}

TEST(DashboardContent, ChartScalesNameTheTopValues)
{
    DashboardInputs in = inputs();
    in.scoped.daily = week({0.2, 12.5, 0});
    in.scoped.daily[1].input = 70'000;
    in.scoped.daily[1].output = 100;
    const DashboardContent content = dashboardContent(in);
    EXPECT_EQ(content.tokenScale.toStdString(), "70.1k");
    EXPECT_EQ(content.costScale.toStdString(), "$12.50");
    in.scoped.daily.clear();
    EXPECT_EQ(dashboardContent(in).tokenScale.toStdString(), "0");
    EXPECT_EQ(dashboardContent(in).costScale.toStdString(), "$0.000");
}

namespace {

AgentPlanLimits planLimits(DisplayAgent agent, double used, const QDateTime &now)
{
    PlanLimits limits;
    limits.limitId = QStringLiteral("plan");
    limits.primary = LimitWindow{used, 300, now.addSecs(72 * 60)};
    limits.secondary = LimitWindow{17, 10080, now.addDays(3)};
    return {agent, limits, {limits}};
}

} // namespace

// Both agents' limits stand after the context, and outrank the tiles after it when the row is short.
TEST(DashboardContent, LimitsTilesStandAfterTheContextAndRankWithIt)
{
    DashboardInputs in = inputs(760);
    in.now = QDateTime(QDate(2026, 12, 10), QTime(10, 0), Qt::UTC);
    in.scoped.planLimits = {planLimits(DisplayAgent::claudeCode, 43, in.now), planLimits(DisplayAgent::codex, 85, in.now)};
    std::vector<std::string> titles;
    for (const QVariant &t : dashboardContent(in).tiles)
        titles.push_back(text(t.toMap(), "title"));
    EXPECT_EQ(titles, (std::vector<std::string>{"Session total", "Current context", "Claude Code limits", "Codex limits",
                                                "Metered today", "Last 7 days"}));
    in.width = 1600;
    const DashboardContent wide = dashboardContent(in);
    EXPECT_EQ(wide.tiles.size(), 11);
    EXPECT_EQ(text(tile(wide, 3), "value"), "5h 43 % \u00b7 1:12");
    EXPECT_EQ(text(tile(wide, 4), "tint"), "orange");
    EXPECT_EQ(text(tile(wide, 4), "detail"), "7d 17 % \u00b7 3d 0h");
    in.width = 700; // stacked: every tile
    EXPECT_EQ(dashboardContent(in).tiles.size(), 11);
}

// Claude Code's own cost stands beside the estimate, and its context share of the window.
TEST(DashboardContent, ReportedCostAndContextShare)
{
    DashboardInputs in = inputs();
    in.scoped.sessionCost = 0.0191;
    in.scoped.contextTokens = 12'400;
    EXPECT_EQ(text(tile(dashboardContent(in), 1), "detail"), "cumulative usage");
    EXPECT_EQ(text(tile(dashboardContent(in), 2), "detail"), "latest request footprint");
    in.scoped.reportedSessionCost = 0.017459;
    in.scoped.contextWindow = 200'000;
    in.scoped.contextUsedPercent = 6.2;
    const DashboardContent content = dashboardContent(in);
    EXPECT_EQ(text(tile(content, 1), "detail"), "$0.017 reported \u00b7 $0.019 est.");
    EXPECT_EQ(text(tile(content, 2), "value"), "12.4k");
    EXPECT_EQ(text(tile(content, 2), "detail"), "6 % of 200.0k window");
}

#include "App/Core/SnapshotFormat.h"
#include "App/Modes/SnapshotMode.h"

#include <QJsonArray>
#include <gtest/gtest.h>

namespace {

ScopedMetrics workingCodex()
{
    ScopedMetrics m;
    m.scope = MetricsScope::of(DisplayAgent::codex);
    m.state = AgentState::working;
    m.elapsedInTurn = 75.4;
    m.sessionInput = 12'000;
    m.sessionOutput = 345;
    m.sessionMeteredTokens = 12'345;
    m.sessionTotalTokens = 12'345;
    m.contextTokens = 4100;
    m.sessionCost = 0.042;
    m.tps = 41.6;
    m.tpsHistory = {10, 41.6};
    m.model = "gpt-5.5";
    m.toolFeed = {{QUuid::createUuid(), "shell", 120, QDateTime::fromSecsSinceEpoch(100, Qt::UTC), AgentSource::codexOtel}};
    m.sessions = {SessionAgg{"t1", AgentSource::codexOtel, 12000, 345, 0, 4100, 12345, 0, "gpt-5.5", 0.042,
                             QDateTime::fromSecsSinceEpoch(100, Qt::UTC)}};
    m.daily = {{QDateTime::fromSecsSinceEpoch(0, Qt::UTC), 1, 2, 0}, {QDateTime::fromSecsSinceEpoch(86400, Qt::UTC), 700, 50, 0.5}};
    return m;
}

TEST(SnapshotFormatTest, TextLineInTheHUDsFormats)
{
    EXPECT_EQ(SnapshotFormat::text(workingCodex()),
              "Codex \u00b7 Working\u2026 1:15 \u00b7 session 12.3k \u00b7 context 4.1k \u00b7 $0.042 est. \u00b7 42 tps \u00b7 gpt-5.5");
    ScopedMetrics idle;
    EXPECT_EQ(SnapshotFormat::text(idle), "All Agents \u00b7 Idle \u00b7 session 0 \u00b7 context 0 \u00b7 $0.000 est. \u00b7 0 tps");
}

TEST(SnapshotFormatTest, JsonHoldsEveryFieldWithIsoTimes)
{
    const QJsonObject json = SnapshotFormat::json(workingCodex());
    const QStringList keys{"scope", "state", "stateText", "elapsedInTurn", "sessionInput", "sessionOutput",
                           "sessionCachedInput", "sessionMeteredTokens", "sessionTotalTokens", "contextTokens",
                           "sessionCost", "tps", "tpsHistory", "model", "toolCallCount", "toolFeed", "sessions",
                           "daily", "todayTokens"};
    QStringList sortedKeys = keys;
    sortedKeys.sort();
    EXPECT_EQ(json.keys(), sortedKeys);
    EXPECT_EQ(json["scope"], "codex");
    EXPECT_EQ(json["state"], "working");
    EXPECT_TRUE(json["stateText"].isNull());
    EXPECT_EQ(json["todayTokens"], 750);
    EXPECT_EQ(json["sessions"][0]["lastActivity"], "1970-01-01T00:01:40.000Z");
    EXPECT_EQ(json["toolFeed"][0]["durationMs"], 120);
    EXPECT_EQ(json["daily"][1]["date"], "1970-01-02T00:00:00.000Z");
    EXPECT_EQ(json["tpsHistory"].toArray().size(), 2);
    EXPECT_TRUE(SnapshotFormat::output(workingCodex(), true).endsWith("}\n"));
}

TEST(SnapshotModeTest, StartingScope)
{
    EXPECT_EQ(SnapshotMode::startingScope(DisplayMode::pinned(DisplayAgent::mock)), MetricsScope::of(DisplayAgent::mock));
    EXPECT_EQ(SnapshotMode::startingScope(DisplayMode::aggregate()), MetricsScope::aggregate());
    EXPECT_EQ(SnapshotMode::startingScope(DisplayMode::followFocus()), MetricsScope::aggregate());
}

} // namespace

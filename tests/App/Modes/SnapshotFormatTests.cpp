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

const QDateTime now = QDateTime::fromSecsSinceEpoch(1000, Qt::UTC);
const CodexConfigStatus installed{true, true, true, false, false};
const SnapshotFormat::Health ready = CodexTelemetryHealth::evaluate(installed, true, true, now.addSecs(-40), now);
const SnapshotFormat::Health offline = CodexTelemetryHealth::evaluate(installed, false, false, std::nullopt, now);

TEST(SnapshotFormatTest, TextLineInTheHUDsFormats)
{
    const QString line =
        "Codex \u00b7 Working\u2026 1:15 \u00b7 session 12.3k \u00b7 context 4.1k \u00b7 $0.042 est. \u00b7 42 tps \u00b7 gpt-5.5";
    EXPECT_EQ(SnapshotFormat::text(workingCodex(), ready), line);
    EXPECT_EQ(SnapshotFormat::text(workingCodex(), offline), line + " \u00b7 4318 offline") << "Codex's line says what is wrong";
    ScopedMetrics idle;
    EXPECT_EQ(SnapshotFormat::text(idle, offline),
              "All Agents \u00b7 Idle \u00b7 session 0 \u00b7 context 0 \u00b7 $0.000 est. \u00b7 0 tps");
}

TEST(SnapshotFormatTest, JsonHoldsEveryFieldWithIsoTimes)
{
    const QJsonObject json = SnapshotFormat::json(workingCodex(), ready);
    const QStringList keys{"scope", "state", "stateText", "elapsedInTurn", "sessionInput", "sessionOutput",
                           "sessionCachedInput", "sessionMeteredTokens", "sessionTotalTokens", "contextTokens",
                           "sessionCost", "tps", "tpsHistory", "model", "toolCallCount", "toolFeed", "sessions",
                           "daily", "todayTokens", "codexHealth", "limits"};
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
    EXPECT_EQ(json["codexHealth"].toObject(),
              (QJsonObject{{"status", "ready"}, {"detail", "last 40s ago"},
                           {"menuDetail", "Configured and listening; latest Codex event was 40s ago"},
                           {"configInstalled", true}, {"otelListening", true}, {"notifyAvailable", true},
                           {"latestEventAt", "1970-01-01T00:16:00.000Z"}}));
    EXPECT_TRUE(SnapshotFormat::healthJson(offline)["latestEventAt"].isNull());
    EXPECT_TRUE(SnapshotFormat::output(workingCodex(), ready, true).endsWith("}\n"));
}

TEST(SnapshotModeTest, StartingScope)
{
    EXPECT_EQ(DisplayMode::pinned(DisplayAgent::mock).startingScope(), MetricsScope::of(DisplayAgent::mock));
    EXPECT_EQ(DisplayMode::aggregate().startingScope(), MetricsScope::aggregate());
    EXPECT_EQ(DisplayMode::followFocus().startingScope(), MetricsScope::aggregate());
}

} // namespace

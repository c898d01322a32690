#include "App/Core/CorvaneProcessFixture.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using TestSupport::waitUntil;

const QString limitsSamples = TestSupport::samplesDir() + "/limits";

// A recorded status document with its 5-hour window moved to 43 % resetting 72 minutes from
// now, so the line shows a countdown whatever day the test runs.
QByteArray subscriberDocument()
{
    QJsonObject document =
        QJsonDocument::fromJson(TestSupport::readFile(limitsSamples + "/claude/tui-subscriber/statusline/0004.json")).object();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QJsonObject limits = document.value("rate_limits").toObject();
    limits.insert("five_hour", QJsonObject{{"used_percentage", 43}, {"resets_at", now + 72 * 60 + 30}});
    limits.insert("seven_day", QJsonObject{{"used_percentage", 18}, {"resets_at", now + 3 * 86400}});
    document.insert("rate_limits", limits);
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

// A recorded Codex token_count line with its windows moved to reset an hour and three days from now.
QByteArray codexRolloutLine()
{
    const QByteArray lines = TestSupport::readFile(limitsSamples + "/codex/headers/rollout-token_count.jsonl");
    QJsonObject line = QJsonDocument::fromJson(lines.trimmed().split('\n').last()).object();
    QJsonObject payload = line.value("payload").toObject();
    QJsonObject limits = payload.value("rate_limits").toObject();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QJsonObject primary = limits.value("primary").toObject();
    primary.insert("resets_at", now + 3600);
    QJsonObject secondary = limits.value("secondary").toObject();
    secondary.insert("resets_at", now + 3 * 86400);
    limits.insert("primary", primary);
    limits.insert("secondary", secondary);
    payload.insert("rate_limits", limits);
    line.insert("payload", payload);
    return QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
}

using ClaudeStatusLineRun = CorvaneProcessFixture;

} // namespace

TEST_F(ClaudeStatusLineRun, WithoutAnInstanceTheLineComesFromTheDocumentAlone)
{
    struct Case {
        const char *name;
        QByteArray document;
        std::string line;
    };
    const Case cases[] = {
        {"subscriber", subscriberDocument(),
         "Claude Code \u00b7 session 3.7k \u00b7 $0.017 \u00b7 5h 43 % \u00b7 1:13 \u00b7 claude-sonnet-5-5\n"},
        // Signed in with an API key, Claude Code reports no limits.
        {"api key", TestSupport::readFile(limitsSamples + "/claude/tui-apikey/statusline/0004.json"),
         "Claude Code \u00b7 session 3.7k \u00b7 $0.032 \u00b7 claude-opus-5-5\n"},
    };
    for (const Case &c : cases) {
        const Run line = run({"--claude-statusline"}, c.document);
        EXPECT_EQ(line.exitCode, 0) << c.name;
        EXPECT_EQ(line.out.toStdString(), c.line) << c.name;
        EXPECT_TRUE(line.err.isEmpty()) << c.name << ": " << line.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(supportDir)); // the command creates nothing

    // Claude Code shows what the command prints, so the reason goes there.
    const Run bad = run({"--claude-statusline"}, "{\"model\":{}}");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.out, "error: standard input holds no Claude Code status document\n");
}

// The instance takes the report: its state joins the line, and the snapshot carries Claude Code's
// own cost beside the estimate, the reported context window, and the limits, which the store
// keeps across a restart together with Codex's from a rollout that is gone by then.
TEST_F(ClaudeStatusLineRun, TheInstanceShowsTheReportAndKeepsTheLimitsAcrossARestart)
{
    const QString rollouts = home.filePath(".codex/sessions/2026/12/10");
    QDir().mkpath(rollouts);
    const QString rollout = rollouts + "/rollout-2026-12-10T10-29-00-01a25d1c-0000-7000-8000-000000000001.jsonl";
    TestSupport::writeFile(rollout, codexRolloutLine());
    startInstance();

    const Run line = run({"--claude-statusline"}, subscriberDocument());
    EXPECT_EQ(line.exitCode, 0);
    EXPECT_EQ(line.out.toStdString(),
              "Claude Code \u00b7 Idle \u00b7 session 3.7k \u00b7 $0.017 \u00b7 5h 43 % \u00b7 1:13 \u00b7 claude-sonnet-5-5\n");

    ASSERT_TRUE(waitUntil([&] { return snapshot().value("limits").toObject().contains("claudeCode"); }));
    const QJsonObject claude = snapshot();
    EXPECT_EQ(claude.value("reportedSessionCost").toDouble(), 0.017459);
    EXPECT_EQ(claude.value("contextWindow").toInteger(), 1'000'000);
    EXPECT_EQ(claude.value("contextUsedPercent").toDouble(), 1);
    ASSERT_TRUE(waitUntil([&] { return snapshot("aggregate").value("limits").toObject().contains("codex"); }));
    const QJsonObject before = snapshot("aggregate").value("limits").toObject();

    stopInstance();
    QFile::remove(rollout);
    startInstance();
    const QJsonObject after = snapshot("aggregate").value("limits").toObject();
    EXPECT_EQ(after, before);
    const QJsonObject codex = after.value("codex").toObject();
    EXPECT_EQ(codex.value("primary").toObject().value("usedPercent").toDouble(), 43.5);
    EXPECT_EQ(codex.value("primary").toObject().value("windowMinutes").toInteger(), 300);
    EXPECT_EQ(codex.value("secondary").toObject().value("usedPercent").toDouble(), 17.5);
    EXPECT_EQ(codex.value("secondary").toObject().value("windowMinutes").toInteger(), 10080);
    EXPECT_FALSE(codex.value("secondary").toObject().value("resetsAt").isNull());
    const QJsonObject claudeLimits = after.value("claudeCode").toObject();
    EXPECT_EQ(claudeLimits.value("primary").toObject().value("usedPercent").toDouble(), 43);
    EXPECT_EQ(claudeLimits.value("channel").toString(), "statusLine");

    // A report is live only: after the restart the cost is the estimate again until the next one.
    EXPECT_TRUE(snapshot().value("reportedSessionCost").isNull());
}

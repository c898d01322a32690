#include "Telemetry/Adapters/ClaudeCodeJSONLAdapter.h"
#include "Telemetry/Adapters/ClaudeTranscriptLine.h"

#include "Telemetry/PricingTable.h"

#include "support/TestSupport.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <gtest/gtest.h>

#include <limits>

namespace {

const QDateTime now = QDateTime::fromString("2030-01-01T00:00:00.000Z", Qt::ISODateWithMs);

ClaudeTranscriptLine parse(const QByteArray &line, const QString &fallback = "file-session")
{
    return ClaudeTranscriptLine::parse(line, fallback, now);
}

TEST(ClaudeTranscriptLine, AssistantLineGivesModelUsageAndToolNamesOnly)
{
    const QByteArray line =
        R"({"type":"assistant","sessionId":"sess-42","timestamp":"2026-06-11T10:00:00.000Z","message":{"model":"claude-fable-5","content":[{"type":"text","text":"SECRET CONTENT SHOULD NEVER SURVIVE"},{"type":"tool_use","name":"Bash","input":{"command":"rm -rf SECRET"}}],"usage":{"input_tokens":1200,"output_tokens":350,"cache_read_input_tokens":9000}}})";
    const QList<AgentEvent> events = ClaudeCodeJSONLAdapter::events(line, "fallback");
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[0].kind, AgentEventKind(ModelInfo{"claude-fable-5"}));
    // Input counts include the 9000 read from the cache.
    EXPECT_EQ(events[1].kind, AgentEventKind(TokenUsage{10200, 350, 9000}));
    EXPECT_EQ(events[2].kind, AgentEventKind(ToolCall{"Bash", std::nullopt}));
    const QDateTime stamp = QDateTime::fromString("2026-06-11T10:00:00.000Z", Qt::ISODateWithMs);
    for (const AgentEvent &event : events) {
        EXPECT_EQ(event.source, AgentSource::claudeCodeJsonl);
        EXPECT_EQ(event.sessionId, "sess-42");
        EXPECT_EQ(event.timestamp, stamp);
        EXPECT_FALSE(QJsonDocument(event.toJson()).toJson().contains("SECRET"));
    }
}

TEST(ClaudeTranscriptLine, UserLineGivesOneTurnStartAndNothingOfItsContent)
{
    const auto line = parse(R"({"type":"user","sessionId":"sess-42","message":{"content":"private prompt"}})");
    ASSERT_EQ(line.events.size(), 1);
    EXPECT_EQ(line.events[0].kind, AgentEventKind(TurnStarted{}));
    EXPECT_EQ(line.events[0].sessionId, "sess-42");
    EXPECT_EQ(line.events[0].timestamp, now); // no timestamp: stamped now
    EXPECT_FALSE(line.stampedAt.isValid());
    EXPECT_FALSE(QJsonDocument(line.events[0].toJson()).toJson().contains("private"));
}

TEST(ClaudeTranscriptLine, LinesWithoutEvents)
{
    const char *cases[] = {
        "not json{{",
        R"({"type":"future-thing","x":1})",
        R"({"sessionId":"s","message":{"model":"m"}})",
        R"({"type":"assistant","message":"not an object"})",
        R"({"type":"assistant","message":{"model":"<synthetic>","usage":{"input_tokens":0,"output_tokens":0}}})",
        R"({"type":"attachment","message":{"model":"claude-x"}})",
    };
    for (const char *text : cases)
        EXPECT_TRUE(parse(text).events.isEmpty()) << text;
}

TEST(ClaudeTranscriptLine, UsageCountsEveryInputTokenAndTheCachedReadPart)
{
    struct Case {
        const char *usage;
        TokenUsage expected;
    };
    const Case cases[] = {
        {R"({"input_tokens":12,"cache_read_input_tokens":30000,"cache_creation_input_tokens":500,"output_tokens":7})",
         {30512, 7, 30000, 500}},
        {R"({"input_tokens":5,"cache_read_input_tokens":100,"cache_creation_input_tokens":20})", {125, 0, 100, 20}},
        // Only written to the cache: nothing was read from it.
        {R"({"input_tokens":1200,"cache_creation_input_tokens":3000,"cache_read_input_tokens":0,"output_tokens":45})",
         {4200, 45, std::nullopt, 3000}},
        // Writes split by lifetime; a split claiming more than was written is held to the total.
        {R"({"input_tokens":1,"cache_creation_input_tokens":300,"output_tokens":2,
             "cache_creation":{"ephemeral_5m_input_tokens":100,"ephemeral_1h_input_tokens":200}})",
         {301, 2, std::nullopt, 100, 200}},
        {R"({"input_tokens":1,"cache_creation_input_tokens":300,"cache_creation":{"ephemeral_1h_input_tokens":300}})",
         {301, 0, std::nullopt, 0, 300}},
        {R"({"input_tokens":1,"cache_creation_input_tokens":300,
             "cache_creation":{"ephemeral_5m_input_tokens":250,"ephemeral_1h_input_tokens":250}})",
         {301, 0, std::nullopt, 250, 50}},
        {R"({"input_tokens":10.9,"output_tokens":2})", {10, 2, std::nullopt}},
        {R"({"input_tokens":"12","output_tokens":"5"})", {12, 5, std::nullopt}},
        // Sums of counts from outside saturate instead of overflowing.
        {R"({"input_tokens":9223372036854775807,"cache_read_input_tokens":1})",
         {std::numeric_limits<qint64>::max(), 0, 1}},
    };
    for (const Case &c : cases) {
        const auto line = parse(QByteArray(R"({"type":"assistant","message":{"usage":)") + c.usage + "}}");
        ASSERT_EQ(line.events.size(), 1) << c.usage;
        EXPECT_EQ(line.events[0].kind, AgentEventKind(c.expected)) << c.usage;
    }
}

TEST(ClaudeTranscriptLine, SessionFallsBackToTheFileAndIdentitiesAreRead)
{
    const auto line = parse(
        R"({"type":"assistant","uuid":"u-1","requestId":"req_9","timestamp":"2026-12-09T23:27:59.287Z","message":{"id":"msg_1","model":"claude-opus-5-5"}})",
        "38a6d5d9");
    ASSERT_EQ(line.events.size(), 1);
    EXPECT_EQ(line.events[0].sessionId, "38a6d5d9");
    EXPECT_EQ(line.uuid, "u-1");
    EXPECT_EQ(line.responseId, "msg_1\nreq_9");
    EXPECT_EQ(line.stampedAt, QDateTime::fromString("2026-12-09T23:27:59.287Z", Qt::ISODateWithMs));

    EXPECT_EQ(parse(R"({"type":"assistant","message":{"id":"msg_1","model":"m"}})").responseId, "msg_1");
    EXPECT_EQ(parse(R"({"type":"assistant","requestId":"r","message":{"model":"m"}})").responseId, "");
}

// Each recorded response once (as the transcript reader counts them), priced on the built-in
// table: what ccusage bills for every model it has a price for, cache writes included.
TEST(ClaudeTranscriptLine, RecordedResponsesCostWhatCcusageBills)
{
    const QString samples = TestSupport::samplesDir() + "/claude";
    const PricingTable pricing = PricingTable::readOnly("/nonexistent/pricing.json");
    std::map<QString, double> costs;
    QSet<QString> counted;
    QDirIterator files(samples + "/projects", {"*.jsonl"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        for (const QByteArray &text : TestSupport::readFile(files.next()).split('\n')) {
            const ClaudeTranscriptLine line = parse(text);
            if (line.responseId.isEmpty() || counted.contains(line.responseId))
                continue;
            counted.insert(line.responseId);
            QString model;
            for (const AgentEvent &event : line.events) {
                if (const auto *info = std::get_if<ModelInfo>(&event.kind))
                    model = info->model;
                if (const auto *usage = std::get_if<TokenUsage>(&event.kind))
                    costs[model] += pricing.cost(model, *usage);
            }
        }
    }
    const QJsonObject ccusage = QJsonDocument::fromJson(TestSupport::readFile(samples + "/ccusage-daily.json")).object();
    int priced = 0;
    for (const QJsonValue &row : ccusage["daily"].toArray()[0].toObject()["modelBreakdowns"].toArray()) {
        const QJsonObject model = row.toObject();
        if (model["missingPricing"].toBool())
            continue;
        ++priced;
        EXPECT_NEAR(costs[model["modelName"].toString()], model["cost"].toDouble(), 1e-9)
            << model["modelName"].toString().toStdString();
    }
    EXPECT_EQ(priced, 1);
    EXPECT_NEAR(costs["claude-sonnet-4-5-20250929"], 0.0374535, 1e-9);
}

} // namespace

#include "Telemetry/Adapters/ClaudeCodeJSONLAdapter.h"

#include "AdapterTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

using namespace std::chrono_literals;
using AdapterTest::appendFile;
using AdapterTest::EventRecorder;

namespace {

QByteArray userLine(const char *uuid, const char *stamp = "2030-01-01T00:00:01.000Z")
{
    return QByteArray(R"({"type":"user","sessionId":"s1","uuid":")") + uuid + R"(","timestamp":")" + stamp +
           R"(","message":{"content":"hello"}})" + "\n";
}

QByteArray assistantLine(const char *uuid, const char *messageId, const char *requestId, int output)
{
    QByteArray line = QByteArray(R"({"type":"assistant","sessionId":"s1","uuid":")") + uuid +
                      R"(","timestamp":"2030-01-01T00:00:02.000Z","message":{"id":")" + messageId +
                      R"(","model":"claude-sonnet-4-5","content":[{"type":"tool_use","name":"Read","input":{}}],"usage":{"input_tokens":10,"output_tokens":)" +
                      QByteArray::number(output) + "}}";
    if (requestId)
        line += QByteArray(R"(,"requestId":")") + requestId + "\"";
    return line + "}\n";
}

class ClaudeAdapterTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QString root = home.filePath(".claude/projects");
    ManualClock clock{QDateTime::fromString("2030-01-01T00:00:00.000Z", Qt::ISODateWithMs)};
    EventBus bus;
    EventRecorder recorder{bus};

    std::unique_ptr<ClaudeCodeJSONLAdapter> startAdapter()
    {
        auto adapter = std::make_unique<ClaudeCodeJSONLAdapter>(bus, root, Environment{&clock});
        adapter->start();
        return adapter;
    }
    // Long enough for the 0.2 s coalescing and the read to have happened.
    void settle() { TestSupport::spin(600ms); }
};

TEST_F(ClaudeAdapterTest, HistoryIsNotReplayedButAppendedLinesAndNewTranscriptsAre)
{
    const QString old = root + "/-home-dev-alpha/old.jsonl";
    TestSupport::writeFile(old, userLine("h1") + assistantLine("h2", "msg_h", "req_h", 5));
    auto adapter = startAdapter();
    settle();
    EXPECT_TRUE(recorder.events().empty());

    appendFile(old, userLine("a1"));
    ASSERT_TRUE(recorder.waitForCount(1));
    EXPECT_EQ(recorder.kindNames(), std::vector<QString>{"turnStarted"});

    // A transcript in a directory made after the start is read from its first byte.
    TestSupport::writeFile(root + "/-home-dev-beta/new.jsonl", userLine("n1") + assistantLine("n2", "msg_n", "req_n", 5));
    ASSERT_TRUE(recorder.waitForCount(5));
    settle();
    EXPECT_EQ(recorder.kindNames(),
              (std::vector<QString>{"turnStarted", "turnStarted", "modelInfo", "tokenUsage", "toolCall"}));
}

TEST_F(ClaudeAdapterTest, LineWrittenInTwoPartsYieldsItsEventsOnce)
{
    const QString path = root + "/p/t.jsonl";
    TestSupport::writeFile(path, "");
    auto adapter = startAdapter();
    const QByteArray line = assistantLine("u1", "msg_1", "req_1", 5);
    appendFile(path, line.left(40));
    settle();
    EXPECT_TRUE(recorder.events().empty());
    appendFile(path, line.mid(40));
    ASSERT_TRUE(recorder.waitForCount(3));
    settle();
    EXPECT_EQ(recorder.events().size(), 3u);
    EXPECT_EQ(recorder.ofKind<TokenUsage>().size(), 1u);
}

TEST_F(ClaudeAdapterTest, ResponsesAndLinesAlreadySeenAreNotCountedAgain)
{
    auto adapter = startAdapter();
    const QString a = root + "/p/a.jsonl";
    const QString b = root + "/p/b.jsonl";
    TestSupport::writeFile(a, assistantLine("u1", "msg_1", "req_1", 5) + assistantLine("u2", "msg_1", "req_1", 5));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.ofKind<ToolCall>().size() == 2; }, 15s));
    // Another file: the same response, the same message under another request, a message
    // without a request id twice, and a copied line (same uuid).
    TestSupport::writeFile(b, assistantLine("u3", "msg_1", "req_1", 5) + assistantLine("u4", "msg_1", "req_2", 7) +
                                  assistantLine("u5", "msg_3", nullptr, 9) + assistantLine("u6", "msg_3", nullptr, 9) +
                                  assistantLine("u1", "msg_9", "req_9", 11));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.ofKind<ToolCall>().size() == 6; }, 15s));
    settle();
    std::vector<qint64> outputs;
    for (const AgentEvent &event : recorder.ofKind<TokenUsage>())
        outputs.push_back(std::get<TokenUsage>(event.kind).outputTokens);
    EXPECT_EQ(outputs, (std::vector<qint64>{5, 7, 9}));
    EXPECT_EQ(recorder.ofKind<ModelInfo>().size(), 6u); // every line but the copy still names its model
}

TEST_F(ClaudeAdapterTest, ShrunkTranscriptIsFollowedFromItsNewEnd)
{
    const QString path = root + "/p/t.jsonl";
    TestSupport::writeFile(path, userLine("h1") + userLine("h2"));
    auto adapter = startAdapter();
    TestSupport::writeFile(path, userLine("x1")); // shorter than before: not read
    settle();
    EXPECT_TRUE(recorder.events().empty());
    appendFile(path, userLine("x2"));
    ASSERT_TRUE(recorder.waitForCount(1));
    settle();
    EXPECT_EQ(recorder.events().size(), 1u);
}

TEST_F(ClaudeAdapterTest, RootCreatedAfterStartIsWatched)
{
    auto adapter = startAdapter(); // ~/.claude does not exist yet
    settle();
    TestSupport::writeFile(root + "/-home-dev-alpha/s.jsonl", userLine("u1"));
    ASSERT_TRUE(recorder.waitForCount(1));
    appendFile(root + "/-home-dev-alpha/s.jsonl", userLine("u2"));
    ASSERT_TRUE(recorder.waitForCount(2));
}

TEST_F(ClaudeAdapterTest, StoppedAdapterReadsNothing)
{
    auto adapter = startAdapter();
    adapter->stop();
    TestSupport::writeFile(root + "/p/t.jsonl", userLine("u1"));
    settle();
    EXPECT_TRUE(recorder.events().empty());
}

TEST_F(ClaudeAdapterTest, QuietTurnIsClosedAtTheFirstCheckAfterMoreThanEightSeconds)
{
    const Delays delays;
    auto adapter = startAdapter();
    // A response without a user line before it opens a turn too.
    TestSupport::writeFile(root + "/p/t.jsonl", assistantLine("u1", "msg_1", "req_1", 5));
    ASSERT_TRUE(recorder.waitForCount(3));
    const QDateTime lastLine = clock.now();

    // Checks come every 2 s from the start: the one at exactly 8 s of quiet leaves the turn open.
    clock.advance(delays.transcriptTurnQuiet);
    clock.advance(delays.transcriptIdleCheck - 1ms);
    EXPECT_TRUE(recorder.ofKind<TurnEnded>().empty());
    clock.advance(1ms);
    ASSERT_EQ(recorder.ofKind<TurnEnded>().size(), 1u);
    const AgentEvent ended = recorder.ofKind<TurnEnded>().front();
    EXPECT_EQ(ended.sessionId, "s1");
    EXPECT_EQ(ended.timestamp, lastLine.addMSecs(10000));
    EXPECT_EQ(recorder.kindNames().back(), "turnEnded");

    clock.advance(5 * delays.transcriptIdleCheck); // closed once only
    EXPECT_EQ(recorder.ofKind<TurnEnded>().size(), 1u);
}

void copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        TestSupport::writeFile(to + file.mid(from.size()), TestSupport::readFile(file));
    }
}

struct Totals {
    qint64 input = 0;
    qint64 output = 0;
    qint64 cached = 0;
    bool operator==(const Totals &) const = default;
};

// The recorded sessions (a resumed one, a fork and a subagent) add up to what ccusage counts:
// each response once, with our input including what was read from and written to the cache.
TEST_F(ClaudeAdapterTest, RecordedTranscriptsAddUpToCcusageTotals)
{
    clock.set(QDateTime::fromString("2026-12-09T23:00:00.000Z", Qt::ISODateWithMs)); // before the recording
    auto adapter = startAdapter();
    copyTree(TestSupport::samplesDir() + "/claude/projects", root);

    const QJsonObject ccusage =
        QJsonDocument::fromJson(TestSupport::readFile(TestSupport::samplesDir() + "/claude/ccusage-daily.json")).object();
    std::map<QString, Totals> expected;
    for (const QJsonValue &row : ccusage["daily"].toArray()[0].toObject()["modelBreakdowns"].toArray()) {
        const QJsonObject model = row.toObject();
        const qint64 cacheRead = model["cacheReadTokens"].toInteger();
        expected[model["modelName"].toString()] = {
            model["inputTokens"].toInteger() + model["cacheCreationTokens"].toInteger() + cacheRead,
            model["outputTokens"].toInteger(), cacheRead};
    }
    std::map<QString, Totals> seen;
    const auto collect = [&] {
        seen.clear();
        QString model;
        for (const AgentEvent &event : recorder.events()) {
            if (const auto *info = std::get_if<ModelInfo>(&event.kind))
                model = info->model;
            if (const auto *usage = std::get_if<TokenUsage>(&event.kind)) {
                Totals &totals = seen[model];
                totals.input += usage->inputTokens;
                totals.output += usage->outputTokens;
                totals.cached += usage->cachedTokens.value_or(0);
            }
        }
        return seen == expected;
    };
    EXPECT_TRUE(TestSupport::waitUntil(collect, 5s));
    settle();
    EXPECT_TRUE(collect());
    for (const auto &[model, totals] : expected) {
        EXPECT_EQ(seen[model].input, totals.input) << model.toStdString();
        EXPECT_EQ(seen[model].output, totals.output) << model.toStdString();
        EXPECT_EQ(seen[model].cached, totals.cached) << model.toStdString();
    }
}

TEST_F(ClaudeAdapterTest, HistoryCopiedIntoANewTranscriptYieldsNothing)
{
    clock.set(QDateTime::fromString("2026-12-10T00:00:00.000Z", Qt::ISODateWithMs)); // after the recording
    auto adapter = startAdapter();
    const QString fork = "/-home-dev-projects-alpha/e68a560d-7f61-4ba4-843a-9435d34d386d.jsonl";
    TestSupport::writeFile(root + fork, TestSupport::readFile(TestSupport::samplesDir() + "/claude/projects" + fork));
    settle();
    EXPECT_TRUE(recorder.events().empty());
    appendFile(root + fork, userLine("later", "2026-12-10T00:00:05.000Z"));
    ASSERT_TRUE(recorder.waitForCount(1));
}

} // namespace

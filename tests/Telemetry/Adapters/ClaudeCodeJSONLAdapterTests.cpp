#include "Telemetry/Adapters/ClaudeCodeJSONLAdapter.h"

#include "AdapterTestSupport.h"
#include "MemoryHistorySink.h"

#include "Platform/Files/RegularFile.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

#include <sys/stat.h>

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
    // With the store's positions: what the sink holds stands for the store.
    std::unique_ptr<ClaudeCodeJSONLAdapter> startWithHistory(const FilePositions &known = {})
    {
        auto adapter = std::make_unique<ClaudeCodeJSONLAdapter>(bus, root, Environment{&clock});
        HistoryLink link;
        link.known = known;
        link.openSink = [this] { return std::make_unique<ForwardingSink>(sink); };
        link.savePosition = [this](const FilePosition &position, const CountedIdentities &counted) {
            sink.savePosition(position, counted);
        };
        link.onProgress = [this](const HistoryImport::Progress &progress) {
            if (progress.finished)
                importFinished = true;
        };
        adapter->setHistoryLink(std::move(link));
        adapter->start();
        return adapter;
    }
    MemoryHistorySink sink;
    std::atomic<bool> importFinished = false;
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

TEST_F(ClaudeAdapterTest, CutTranscriptIsReadAgainFromItsStartWithoutItsCopies)
{
    const QString path = root + "/p/t.jsonl";
    TestSupport::writeFile(path, "");
    auto adapter = startAdapter();
    appendFile(path, userLine("h1") + userLine("h2"));
    ASSERT_TRUE(recorder.waitForCount(2));
    TestSupport::writeFile(path, userLine("h1")); // shorter: read from its start, h1 is a copy
    settle();
    EXPECT_EQ(recorder.events().size(), 2u);
    appendFile(path, userLine("x2"));
    ASSERT_TRUE(recorder.waitForCount(3));
    settle();
    EXPECT_EQ(recorder.events().size(), 3u);
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

// ccusage's per-model totals of the recorded transcripts, in our terms.
std::map<QString, Totals> ccusageTotals()
{
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
    return expected;
}

// The recorded sessions (a resumed one, a fork and a subagent) add up to what ccusage counts:
// each response once, with our input including what was read from and written to the cache.
TEST_F(ClaudeAdapterTest, RecordedTranscriptsAddUpToCcusageTotals)
{
    clock.set(QDateTime::fromString("2026-12-09T23:00:00.000Z", Qt::ISODateWithMs)); // before the recording
    auto adapter = startAdapter();
    copyTree(TestSupport::samplesDir() + "/claude/projects", root);
    const std::map<QString, Totals> expected = ccusageTotals();
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

// A first launch imports the recorded transcripts (a resumed session, a fork, a subagent) into
// the store as ccusage counts them; nothing of them reaches the live metrics, and a fork made
// later that copies their lines adds nothing.
TEST_F(ClaudeAdapterTest, FirstLaunchImportsHistoryAsCcusageCountsIt)
{
    clock.set(QDateTime::fromString("2026-12-10T00:00:00.000Z", Qt::ISODateWithMs)); // after the recording
    copyTree(TestSupport::samplesDir() + "/claude/projects", root);
    auto adapter = startWithHistory();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return importFinished.load(); }, 15s));

    std::map<QString, Totals> seen;
    int turnStarts = 0, turnEnds = 0;
    for (const StoredAgentEvent &row : sink.rows()) {
        turnStarts += std::holds_alternative<TurnStarted>(row.event.kind);
        turnEnds += std::holds_alternative<TurnEnded>(row.event.kind);
        if (const auto *usage = std::get_if<TokenUsage>(&row.event.kind)) {
            Totals &totals = seen[row.modelAtEvent.value_or("")];
            totals.input += usage->inputTokens;
            totals.output += usage->outputTokens;
            totals.cached += usage->cachedTokens.value_or(0);
        }
    }
    EXPECT_EQ(seen, ccusageTotals());
    EXPECT_GT(turnEnds, 0); // old turns are ended by the quiet rule, not left open
    EXPECT_LE(turnEnds, turnStarts);
    EXPECT_TRUE(recorder.events().empty());
    EXPECT_EQ(sink.filePositions().size(), 5);

    const QString fork = "/-home-dev-projects-alpha/e68a560d-7f61-4ba4-843a-9435d34d386d.jsonl";
    TestSupport::writeFile(root + "/-home-dev-projects-alpha/copy.jsonl", TestSupport::readFile(root + fork));
    appendFile(root + fork, userLine("later", "2026-12-10T00:00:05.000Z"));
    ASSERT_TRUE(recorder.waitForCount(1));
    settle();
    EXPECT_EQ(recorder.kindNames(), std::vector<QString>{"turnStarted"});
}

// Positions kept from an earlier run: what was appended meanwhile is read live, a transcript
// replaced under the same name is imported from its start, and each read saves its position.
TEST_F(ClaudeAdapterTest, KnownTranscriptsResumeWhereTheyWereAndReplacedOnesStartOver)
{
    const QString kept = root + "/p/kept.jsonl";
    const QString replaced = root + "/p/replaced.jsonl";
    TestSupport::writeFile(kept, userLine("k1"));
    TestSupport::writeFile(replaced, userLine("r1"));
    FilePositions known;
    const FileIdentity keptIdentity = *RegularFile::identify(kept);
    known.insert(kept, {kept, keptIdentity, keptIdentity.size, true});
    FileIdentity other = *RegularFile::identify(replaced);
    other.inode += 1; // another file had that name
    known.insert(replaced, {replaced, other, other.size, true});
    appendFile(kept, assistantLine("k2", "msg_k", "req_k", 4)); // written while stopped

    auto adapter = startWithHistory(known);
    ASSERT_TRUE(recorder.waitForCount(3));
    EXPECT_EQ(recorder.kindNames(), (std::vector<QString>{"modelInfo", "tokenUsage", "toolCall"}));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return importFinished.load(); }, 15s));
    ASSERT_EQ(sink.rows().size(), 1);
    EXPECT_EQ(caseName(sink.rows()[0].event.kind), "turnStarted");
    EXPECT_EQ(sink.filePositions().value(kept).offset, QFileInfo(kept).size());
    EXPECT_EQ(sink.filePositions().value(replaced).offset, QFileInfo(replaced).size());

    appendFile(replaced, userLine("r2")); // after its import: read live
    ASSERT_TRUE(recorder.waitForCount(4));
    EXPECT_TRUE(TestSupport::waitUntil([&] { return sink.filePositions().value(replaced).offset == QFileInfo(replaced).size(); }, 5s));
}

// A FIFO named like a transcript is never opened, so the other transcripts are read and the
// adapter stops at once.
TEST_F(ClaudeAdapterTest, FifoAmongTranscriptsBlocksNothing)
{
    QDir().mkpath(root + "/p");
    ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/p/fifo.jsonl").constData(), 0600), 0);
    TestSupport::writeFile(root + "/p/old.jsonl", userLine("o1"));
    auto adapter = startWithHistory();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return importFinished.load(); }, 15s));
    EXPECT_EQ(sink.rows().size(), 1);
    TestSupport::writeFile(root + "/p/new.jsonl", userLine("n1"));
    ASSERT_TRUE(recorder.waitForCount(1));
    adapter->stop();
}

} // namespace

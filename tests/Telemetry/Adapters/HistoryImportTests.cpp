#include "MemoryHistorySink.h"

#include "Telemetry/Adapters/ClaudeHistoryReader.h"
#include "Telemetry/Adapters/ClaudeLineFilter.h"
#include "Telemetry/Adapters/CodexHistoryReader.h"
#include "Telemetry/Adapters/HistoryScan.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QDateTime now = QDateTime::fromString("2026-12-10T12:00:00.000Z", Qt::ISODateWithMs);

QByteArray userLine(int n)
{
    const QByteArray stamp = now.addSecs(-7200 + n).toString(Qt::ISODateWithMs).toLatin1();
    return QByteArray(R"({"type":"user","sessionId":"s","uuid":"u)") + QByteArray::number(n) + R"(","timestamp":")" +
           stamp + R"(","message":{"content":"x"}})" + "\n";
}

void runToEnd(HistoryImport &import)
{
    while (import.step()) {
    }
}

// A file bigger than one step is stored in several batches, each with the position reached, and
// an import stopped half-way resumes from the stored position without repeating anything.
TEST(HistoryImport, StepsStorePositionsAndAStoppedImportResumes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("big.jsonl");
    QByteArray bytes;
    for (int n = 0; bytes.size() < 2 * HistoryImport::stepBytes + 1000; ++n)
        bytes += userLine(n) + QByteArray(3000, ' ') + "\n"; // padding lines: no events
    bytes += R"({"type":"user","sessionId":"s","uuid":"tail")"; // being written: left for live reading
    TestSupport::writeFile(path, bytes);
    const HistoryScan::Result scan = HistoryScan::classify({path}, {});
    ASSERT_EQ(scan.jobs.size(), 1);

    MemoryHistorySink sink;
    {
        ClaudeLineFilter filter;
        ClaudeHistoryReader reader(filter, 8s, now);
        HistoryImport import(reader, sink, scan.jobs);
        ASSERT_TRUE(import.step()); // stopped after the first step
    }
    const FilePosition half = sink.filePositions().value(path);
    EXPECT_FALSE(half.complete);
    EXPECT_GT(half.offset, 0);
    const qsizetype firstRows = sink.rows().size();

    const HistoryScan::Result again = HistoryScan::classify({path}, sink.filePositions());
    ASSERT_EQ(again.jobs.size(), 1);
    EXPECT_EQ(again.jobs[0].from, half.offset);
    ClaudeLineFilter filter;
    ClaudeHistoryReader reader(filter, 8s, now);
    QList<FilePosition> done;
    HistoryImport import(reader, sink, again.jobs, [&](const FilePosition &position) { done.append(position); });
    runToEnd(import);
    ASSERT_EQ(done.size(), 1);
    EXPECT_TRUE(done[0].complete);
    EXPECT_EQ(done[0].offset, bytes.lastIndexOf('\n') + 1);
    EXPECT_EQ(import.progress().filesDone, 1);
    EXPECT_TRUE(import.progress().finished);
    // Every user line once, and one turn end after the last (it went quiet long ago).
    const qsizetype userLines = bytes.count("\"type\":\"user\"") - 1;
    EXPECT_EQ(sink.rows().size(), userLines + 1);
    EXPECT_GT(sink.rows().size(), firstRows);
    // Only the line still being written is left, for whoever reads next.
    const QList<HistoryImport::Job> rest = HistoryScan::classify({path}, sink.filePositions()).allJobs();
    ASSERT_EQ(rest.size(), 1);
    EXPECT_EQ(rest[0].from, done[0].offset);
}

TEST(HistoryImport, RefusedStoreEndsTheImportWithItsReason)
{
    QTemporaryDir dir;
    TestSupport::writeFile(dir.filePath("a.jsonl"), userLine(1));
    MemoryHistorySink sink;
    sink.refuse = true;
    ClaudeLineFilter filter;
    ClaudeHistoryReader reader(filter, 8s, now);
    HistoryImport import(reader, sink, HistoryScan::classify({dir.filePath("a.jsonl")}, {}).jobs);
    EXPECT_FALSE(import.step());
    EXPECT_TRUE(import.progress().finished);
    ASSERT_TRUE(import.progress().problem);
    EXPECT_TRUE(sink.filePositions().isEmpty());
}

// The recorded exec run's rollout: each response stored as what it added to the totals, so they
// add up to the rollout's own final totals; reading it again gives the same rows.
TEST(CodexHistoryReader, RolloutResponsesAddUpToItsFinalTotals)
{
    const QString rollout = QDir(TestSupport::samplesDir() + "/codex/exec").entryInfoList({"rollout-*.jsonl"}).first().filePath();
    const QList<HistoryImport::Job> jobs = HistoryScan::classify({rollout}, {}).jobs;
    MemoryHistorySink sink;
    CodexHistoryReader reader(now);
    HistoryImport first(reader, sink, jobs);
    runToEnd(first);
    qint64 input = 0, output = 0, cached = 0;
    QStringList kinds;
    for (const StoredAgentEvent &row : sink.rows()) {
        kinds.append(caseName(row.event.kind));
        EXPECT_EQ(row.event.sessionId, "01a25d1c-4123-7f52-9c43-d963658a52e6");
        if (const auto *usage = std::get_if<TokenUsage>(&row.event.kind)) {
            EXPECT_EQ(row.modelAtEvent, "gpt-5.5");
            input += usage->inputTokens;
            output += usage->outputTokens;
            cached += usage->cachedTokens.value_or(0);
        }
    }
    const auto last = CodexRollout::latestSnapshot(TestSupport::readFile(rollout), "x", now);
    ASSERT_TRUE(last);
    EXPECT_EQ(input, last->inputTokens);
    EXPECT_EQ(output, last->outputTokens);
    EXPECT_EQ(cached, last->cachedTokens);
    EXPECT_EQ(kinds.count("turnStarted"), 2);
    EXPECT_EQ(kinds.count("turnEnded"), 2);
    EXPECT_EQ(kinds.count("modelInfo"), 1);

    const qsizetype rows = sink.rows().size();
    CodexHistoryReader again(now.addSecs(60));
    HistoryImport second(again, sink, jobs);
    runToEnd(second);
    EXPECT_EQ(second.progress().rowsAdded, 0);
    EXPECT_EQ(sink.rows().size(), rows);
}

} // namespace

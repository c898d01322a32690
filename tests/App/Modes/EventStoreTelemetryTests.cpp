#include "App/Modes/EventStoreTelemetry.h"
#include "Persistence/EventStore.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace AdPilotReport;

QDateTime utc(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

class EventStoreTelemetryTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Files files{dir.filePath("ad-ledger.jsonl"),          dir.filePath("campaigns.json"),
                dir.filePath("remote-ad-events.jsonl"),   dir.filePath("remote-ad-creatives.json"),
                dir.filePath("events.sqlite"),            dir.filePath("Reports/new")};
    QDateTime since = utc("2026-06-09T12:00:00Z");
    QDateTime until = utc("2026-06-15T12:00:00Z");
    QDateTime generatedAt = utc("2026-06-15T12:00:05Z");

    static QString markdownOf(const Result &result)
    {
        return QString::fromUtf8(TestSupport::readFile(result.markdownPath));
    }
};

TEST_F(EventStoreTelemetryTest, ReadsTheSummariesFromTheEventDatabase)
{
    const TelemetryReader reader = eventStoreTelemetry(files.eventsDatabase);
    EXPECT_FALSE(reader(since, until)); // no database: no rows, and none is made
    EXPECT_FALSE(QFile::exists(files.eventsDatabase));
    {
        std::unique_ptr<EventStore> store = EventStore::open(files.eventsDatabase);
        ASSERT_TRUE(store);
        const QDateTime start = utc("2026-06-12T10:00:00Z");
        const std::optional<QString> model = QStringLiteral("gpt-5");
        store->insert(AgentEvent::make(AgentSource::codexOtel, "s1", TurnStarted{}, start), model);
        store->insert(AgentEvent::make(AgentSource::codexOtel, "s1", ToolCall{"shell", 120}, start.addSecs(10)), model);
        store->insert(AgentEvent::make(AgentSource::codexOtel, "s1", TokenUsage{1200, 300, 200}, start.addSecs(30)),
                      model);
        store->insert(AgentEvent::make(AgentSource::codexOtel, "s1", TurnEnded{}, start.addSecs(60)), model);
        store->insert(AgentEvent::make(AgentSource::mock, "m1", TurnStarted{}, start), model);
        store->insert(AgentEvent::make(AgentSource::mock, "m1", TurnEnded{}, start.addSecs(30)), model);
    }
    const Result result = generate(since, until, files, reader, generatedAt, QTimeZone::utc());
    ASSERT_EQ(result.summary.telemetry.size(), 1);
    const TelemetrySummary &row = result.summary.telemetry[0];
    EXPECT_EQ(row.source, QStringLiteral("codexOtel"));
    EXPECT_EQ(row.sessions, 1);
    EXPECT_EQ(row.toolCalls, 1);
    EXPECT_DOUBLE_EQ(row.activeTurnSeconds, 60);
    EXPECT_TRUE(markdownOf(result).contains("| `codexOtel` | 1 | 1m 0s | 1.5k | 200 | 1 | 2026-06-12T10:00:30Z | "
                                            "2026-06-12T10:00:30Z |"));
}

} // namespace

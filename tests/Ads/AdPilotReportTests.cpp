#include "Ads/AdLedger.h"
#include "Ads/AdPilotReport.h"

#include "AdFixtures.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace AdFixtures;
using namespace AdPilotReport;

class AdPilotReportTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Files files{dir.filePath("ad-ledger.jsonl"),          dir.filePath("campaigns.json"),
                dir.filePath("remote-ad-events.jsonl"),   dir.filePath("remote-ad-creatives.json"),
                dir.filePath("events.sqlite"),            dir.filePath("Reports/new")};
    QDateTime since = utc("2026-06-09T12:00:00Z");
    QDateTime until = utc("2026-06-15T12:00:00Z");
    QDateTime generatedAt = utc("2026-06-15T12:00:05Z");
    std::optional<QList<TelemetrySummary>> telemetryRows;
    AdLedger ledger{files.ledger};

    Result run()
    {
        const auto reader = [this](const QDateTime &from, const QDateTime &to) {
            EXPECT_EQ(from, since);
            EXPECT_EQ(to, until);
            return telemetryRows;
        };
        return generate(since, until, files, reader, generatedAt, QTimeZone("Europe/Berlin"));
    }

    static QString markdownOf(const Result &result)
    {
        return QString::fromUtf8(TestSupport::readFile(result.markdownPath));
    }
};

TEST_F(AdPilotReportTest, EmptySupportDirectoryGivesTheFullEmptyReport)
{
    const Result result = run();
    EXPECT_EQ(result.markdownPath, dir.filePath("Reports/new/corvane-ad-pilot-20260615-140005.md"));
    EXPECT_EQ(result.jsonPath, dir.filePath("Reports/new/corvane-ad-pilot-20260615-140005.json"));
    EXPECT_EQ(markdownOf(result), QStringLiteral(R"(# Corvane Ad Pilot Report

- Generated: 2026-06-15T12:00:05Z
- Window: 2026-06-09T12:00:00Z to 2026-06-15T12:00:00Z
- Ledger source: `ad-ledger.jsonl`
- Telemetry source: `events.sqlite`

## Executive Summary

| Metric | Value |
|---|---:|
| Rendered impressions | 0 |
| Billable 5s view ticks | 0 |
| Clicks | 0 |
| Gross sponsor spend | $0.000 |
| Developer share | $0.000 |
| Company share | $0.000 |
| Queued remote events | 0 |
| Excluded demo/mock events | 0 |
| Excluded demo/mock spend | $0.000 |

## Campaigns

| Campaign | Bid CPM | Renders | Ticks | Clicks | Spend | Dev Share | Company Share |
|---|---:|---:|---:|---:|---:|---:|---:|
| none | $0.00 | 0 | 0 | 0 | $0.000 | $0.000 | $0.000 |

## Agent Attention

| Agent source | Sessions | Active turn time | Tokens | Cached | Tool calls | First activity | Last activity |
|---|---:|---:|---:|---:|---:|---|---|
| none | 0 | 0s | 0 | 0 | 0 | - | - |

## Spend By Agent Source

| Agent source | Renders | Ticks | Clicks | Spend |
|---|---:|---:|---:|---:|
| none | 0 | 0 | 0 | $0.000 |

## Privacy Boundary

- No prompts, code, AI responses, file paths, window titles, active URLs, or account identity are read into this report.
- Ad events include only event id, campaign id, event type, timestamp, surface, and coarse agent source.
- Telemetry summaries include counts/timing/tokens/tool-call counts only.
- Queued remote events are counted, not expanded into content-bearing payloads.

## Caveats

- Spend is estimated from local campaign bids and cached remote creatives; billing truth remains the remote ad server once deployed.
- Active turn time is derived from turn start/end metadata and may be conservative if an adapter misses explicit end events.
- This report is local proof for pilots; it is not a tax, accounting, or payment statement.

## Advertiser-Ready Claim

Corvane can report active agent attention, gated billable view ticks, clicks, spend, developer share, company share, queued remote delivery, and zero content-bearing telemetry from local metadata sources.
)"));
}

TEST_F(AdPilotReportTest, SpendIsSplitAndBothFilesAreWritten)
{
    writeCampaigns(files.campaigns, {creative("c-top", 18)});
    ledger.append(event("c-top", AdEventType::impressionRendered, since)); // both window edges count
    ledger.append(event("c-top", AdEventType::viewTick, until));
    ledger.append(event("c-top", AdEventType::viewTick, utc("2026-06-12T10:48:37Z"), "claudeCode"));
    ledger.append(event("c-top", AdEventType::click, utc("2026-06-12T10:48:38Z")));
    ledger.append(event("c-top", AdEventType::click, since.addSecs(-1)));
    ledger.append(event("c-top", AdEventType::click, until.addSecs(1)));
    TestSupport::writeFile(files.remoteQueue, "{\"queued\":1}\n\n");

    const Result result = run();
    const Summary &s = result.summary;
    EXPECT_NEAR(s.grossSpend, 0.936, 1e-12);
    EXPECT_NEAR(s.developerShare, 0.468, 1e-12);
    EXPECT_NEAR(s.companyShare, 0.468, 1e-12);
    EXPECT_EQ(s.renderedImpressions, 1);
    EXPECT_EQ(s.billableViewTicks, 2);
    EXPECT_EQ(s.clicks, 1);
    EXPECT_EQ(s.queuedRemoteEvents, 1);
    ASSERT_EQ(s.campaigns.size(), 1);
    EXPECT_EQ(s.campaigns[0].name, QStringLiteral("c-top name"));
    ASSERT_EQ(s.agentSources.size(), 2);
    EXPECT_EQ(s.agentSources[0].agentSource, QStringLiteral("codex")); // highest spend first
    EXPECT_EQ(s.caveats.size(), 3);

    const QString md = markdownOf(result);
    EXPECT_TRUE(md.contains("| c-top name (`c-top`) | $18.00 | 1 | 2 | 1 | $0.936 | $0.468 | $0.468 |\n"));
    EXPECT_TRUE(md.contains("| `codex` | 1 | 1 | 1 | $0.918 |\n| `claudeCode` | 0 | 1 | 0 | $0.018 |\n"));
    EXPECT_TRUE(md.contains("| Queued remote events | 1 |\n"));

    // The JSON holds every key, sorted, and reads back as the summary.
    const QByteArray json = TestSupport::readFile(result.jsonPath);
    EXPECT_LT(json.indexOf("\"agentSources\""), json.indexOf("\"billableViewTicks\""));
    EXPECT_LT(json.indexOf("\"telemetrySource\""), json.indexOf("\"until\""));
    EXPECT_TRUE(json.contains("\"generatedAt\": \"2026-06-15T12:00:05Z\""));
    const std::optional<Summary> back = Summary::fromJson(QJsonDocument::fromJson(json).object());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, s);
}

TEST_F(AdPilotReportTest, MockEventsAreExcludedAndUnknownCampaignsValuedAtZero)
{
    AdCreative barred = creative("c-bar", 10);
    barred.name = QStringLiteral("Pipes | and | bars");
    writeCampaigns(files.campaigns, {barred, creative("cached", 1)});
    AdCreative remote = creative("cached", 30);
    TestSupport::writeFile(files.remoteCreativeCache,
                           QJsonDocument(QJsonObject{{"creatives", QJsonObject{{"cached", remote.toJson()}}}}).toJson());
    const QDateTime at = utc("2026-06-12T00:00:00Z");
    ledger.append(event("c-bar", AdEventType::click, at, "mock"));
    ledger.append(event("c-bar", AdEventType::viewTick, at, "mock"));
    ledger.append(event("ghost|id", AdEventType::click, at));
    ledger.append(event("ghost|id", AdEventType::viewTick, at, "mock"));
    ledger.append(event("c-bar", AdEventType::viewTick, at));
    ledger.append(event("cached", AdEventType::viewTick, at, "unknown"));

    const Summary s = run().summary;
    EXPECT_EQ(s.excludedDemoEvents, 3);
    EXPECT_NEAR(s.excludedDemoSpend, 0.51, 1e-12);
    EXPECT_NEAR(s.grossSpend, 0.04, 1e-12); // the cache's bid 30 replaces the local 1
    EXPECT_EQ(s.clicks, 1);
    EXPECT_EQ(s.caveats.at(3), QStringLiteral("3 mock/demo ad events were excluded from headline spend and share "
                                              "calculations."));
    EXPECT_EQ(s.caveats.at(4), QStringLiteral("2 ad events referenced campaigns without a known bid; those events are "
                                              "counted but valued at $0."));
    const QString md = markdown(s);
    EXPECT_TRUE(md.contains("| Pipes \\| and \\| bars (`c-bar`) | $10.00 | 0 | 1 | 0 | $0.010 |"));
    EXPECT_TRUE(md.contains("| ghost\\|id (`ghost|id`) | $0.000 | 0 | 0 | 1 | $0.000 | $0.000 | $0.000 |"));
    EXPECT_TRUE(md.contains("| `unknown` | 0 | 1 | 0 | $0.030 |"));
    EXPECT_FALSE(md.contains("`mock`"));
}

TEST_F(AdPilotReportTest, TelemetryRowsAreSortedBySourceWithoutMock)
{
    TelemetrySummary otel{"codexOtel", 1, 4, 1, 1200, 300, 2500000, 60, utc("2026-06-12T10:00:00Z"),
                          utc("2026-06-12T10:01:00Z")};
    TelemetrySummary claude{"claudeCodeJsonl", 2, 1, 0, 999, 0, 0, 3725, std::nullopt, std::nullopt};
    TelemetrySummary mock{"mock", 9, 9, 9, 9, 9, 9, 9, std::nullopt, std::nullopt};
    telemetryRows = QList<TelemetrySummary>{otel, mock, claude};
    const Result result = run();
    EXPECT_EQ(result.summary.telemetry, (QList<TelemetrySummary>{claude, otel}));
    const QString md = markdownOf(result);
    EXPECT_TRUE(md.contains("| `claudeCodeJsonl` | 2 | 1h 2m | 999 | 0 | 0 | - | - |\n"
                            "| `codexOtel` | 1 | 1m 0s | 1.5k | 2.50M | 1 | 2026-06-12T10:00:00Z | "
                            "2026-06-12T10:01:00Z |\n"));
    const QByteArray json = TestSupport::readFile(result.jsonPath);
    EXPECT_EQ(json.count("firstActivity"), 1); // left out where absent
    EXPECT_TRUE(json.contains("\"tokenRows\": 4"));
    EXPECT_EQ(Summary::fromJson(QJsonDocument::fromJson(json).object())->telemetry, result.summary.telemetry);
}

TEST_F(AdPilotReportTest, AnOutputDirectoryThatCannotBeMadeFailsAndWritesNothing)
{
    TestSupport::writeFile(dir.filePath("blocker"), "file");
    files.outputDir = dir.filePath("blocker/Reports");
    EXPECT_THROW(run(), ReportError);
    files.outputDir = dir.path();
    TestSupport::writeFile(dir.filePath("corvane-ad-pilot-20260615-140005.json/x"), "a directory in the way");
    EXPECT_THROW(run(), ReportError);
    EXPECT_FALSE(QFile::exists(dir.filePath("corvane-ad-pilot-20260615-140005.md"))); // both files or none
}

} // namespace

#include "support/TestSupport.h"

#include "App/Core/EventPipeline.h"
#include "Persistence/EventStore.h"
#include "Platform/ManualClock.h"
#include "Telemetry/Adapters/CodexRollout.h"
#include "Telemetry/Adapters/OTLPLogMapping.h"
#include "Telemetry/EventBus.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

using TestSupport::readFile;

const QString execDir = TestSupport::samplesDir() + "/codex/exec";

// The recorded `codex exec` run as the two channels deliver it: one group per OTLP request and
// one snapshot event per token_count line of the rollout, the way the rollout reader publishes it.
struct RecordedRun {
    QList<QList<AgentEvent>> otlp;
    QList<QList<AgentEvent>> rollout;

    // OTLP records carry no time of their own here: they are stamped when received.
    static RecordedRun load(const QDateTime &receivedAt)
    {
        RecordedRun run;
        for (const QString &body : QDir(execDir + "/otlp").entryList({"*.body.raw.json"}, QDir::Files, QDir::Name))
            run.otlp.append(OTLPLogMapping::events(readFile(execDir + "/otlp/" + body), receivedAt));
        const QString rollout = QDir(execDir).entryList({"rollout-*.jsonl"}).first();
        const QString session = *CodexRollout::threadId(rollout);
        for (const QByteArray &line : readFile(execDir + "/" + rollout).split('\n')) {
            const auto snapshot = CodexRollout::snapshot(line, session, QDateTime::currentDateTimeUtc());
            if (!snapshot)
                continue;
            SessionSnapshot payload{snapshot->sessionTokens, snapshot->contextTokens, snapshot->inputTokens,
                                    snapshot->outputTokens, snapshot->cachedTokens, snapshot->modelContextWindow,
                                    snapshot->contextInputTokens};
            QList<AgentEvent> group;
            if (run.rollout.isEmpty())
                group.append(AgentEvent::make(AgentSource::codexDesktopSession, session, ModelInfo{"gpt-5.5"},
                                              snapshot->timestamp));
            group.append(AgentEvent::make(AgentSource::codexDesktopSession, session, payload, snapshot->timestamp));
            run.rollout.append(group);
        }
        return run;
    }
};

// The rollout file's own totals for the run (output counts reasoning, as both channels report it).
constexpr qint64 rolloutInput = 3011;
constexpr qint64 rolloutOutput = 161 + 41;
constexpr qint64 rolloutCached = 611;

class OneCountTest : public testing::Test {
protected:
    QTemporaryDir dir;
    PricingTable pricing{dir.filePath("pricing.json")};
    ManualClock clock{QDateTime(QDate(2026, 12, 9), QTime(23, 30), QTimeZone::utc())};
    Environment env{&clock};
    std::unique_ptr<EventStore> store = openStore();
    EventBus bus;
    RecordedRun run = RecordedRun::load(clock.now());

    std::unique_ptr<EventStore> openStore() { return EventStore::open(dir.filePath("events.sqlite"), clock, Calendar(QTimeZone::utc())); }
    std::unique_ptr<MetricsEngine> makeEngine()
    {
        return std::make_unique<MetricsEngine>(pricing, store.get(), CodexCurrentThreadProvider{}, env,
                                               Calendar(QTimeZone::utc()));
    }
    double rolloutCost() const { return pricing.cost(QStringLiteral("gpt-5.5"), rolloutInput, rolloutOutput, rolloutCached); }

    void expectRolloutTotals(const MetricsEngine &engine, const std::string &label)
    {
        const ScopedMetrics codex = engine.scoped(MetricsScope::of(DisplayAgent::codex));
        EXPECT_EQ(codex.sessionInput, rolloutInput) << label;
        EXPECT_EQ(codex.sessionOutput, rolloutOutput) << label;
        EXPECT_EQ(codex.sessionCachedInput, rolloutCached) << label;
        EXPECT_NEAR(codex.sessionCost, rolloutCost(), 1e-9) << label;
        EXPECT_EQ(codex.todayTokens(), rolloutInput + rolloutOutput) << label;
        EXPECT_NEAR(codex.daily.last().cost, rolloutCost(), 1e-9) << label;
    }
};

// Channel groups in delivery order: 'o' takes the next OTLP request, 'r' the next rollout line.
TEST_F(OneCountTest, EveryOrderOfTheTwoChannelsCountsTheRolloutsTotalsLiveStoredAndAfterARestart)
{
    struct Case {
        const char *name;
        const char *order;
    };
    const Case cases[] = {
        {"OTLP first", "oooorrr"},
        {"rollout first", "rrroooo"},
        {"each snapshot ahead of its response", "orororo"},
        {"interleaved", "ooroorr"},
        {"rollout alone", "rrr"},
        {"OTLP alone", "oooo"},
    };
    for (const Case &c : cases) {
        store.reset();
        QFile::remove(dir.filePath("events.sqlite"));
        store = openStore();
        auto engine = makeEngine();
        {
            EventPipeline pipeline(bus, *engine, store.get(), {});
            qsizetype nextOtlp = 0;
            qsizetype nextRollout = 0;
            for (const char *step = c.order; *step; ++step)
                pipeline.deliver(*step == 'o' ? run.otlp[nextOtlp++] : run.rollout[nextRollout++]);
        }
        expectRolloutTotals(*engine, std::string(c.name) + ", live");
        qint64 sampled = 0; // what tokens per second are computed from
        for (const OutputSample &sample : engine->agents().at(DisplayAgent::codex).outputSamples)
            sampled += sample.tokens;
        EXPECT_EQ(sampled, rolloutOutput) << c.name;
        engine->refreshFromStore();
        expectRolloutTotals(*engine, std::string(c.name) + ", from the store");

        engine = makeEngine();
        expectRolloutTotals(*engine, std::string(c.name) + ", after a restart");
        // A late copy of a channel's last report after the restart adds nothing.
        EventPipeline pipeline(bus, *engine, store.get(), {});
        pipeline.deliver(run.rollout.last());
        engine->refreshFromStore();
        expectRolloutTotals(*engine, std::string(c.name) + ", late copy");
    }
}

// The rollout's snapshots then OTLP: the engine's stored rows say what each one counted.
TEST_F(OneCountTest, ARowCountedByTheOtherChannelIsStoredWithItsCountedShare)
{
    auto engine = makeEngine();
    EventPipeline pipeline(bus, *engine, store.get(), {});
    pipeline.deliver(run.rollout[0]);
    pipeline.deliver(run.otlp[1]);
    const QList<StoredAgentEvent> rows = store->recentEvents(100);
    const auto usage = std::find_if(rows.begin(), rows.end(), [](const StoredAgentEvent &row) {
        return std::holds_alternative<TokenUsage>(row.event.kind);
    });
    ASSERT_NE(usage, rows.end());
    EXPECT_EQ(std::get<TokenUsage>(usage->event.kind).inputTokens, 1002) << "the row keeps what was reported";
    EXPECT_EQ(usage->counted, (CountedTokens{0, 0, 0})) << "the snapshot had counted it already";
}

} // namespace

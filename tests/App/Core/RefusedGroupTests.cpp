#include "support/FullDisk.h"

#include "App/Core/EventPipeline.h"
#include "App/Core/RefusedEvents.h"
#include "Persistence/EventStore.h"
#include "Telemetry/EventBus.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QDateTime responseTime = QDateTime::fromString("2026-12-11T09:30:00.250Z", Qt::ISODateWithMs);

// One OTLP request as the receiver maps it; each call gives new ids, as a resend of it does.
QList<AgentEvent> request(const QList<std::pair<QDateTime, TokenUsage>> &responses)
{
    QList<AgentEvent> group{AgentEvent::make(AgentSource::codexOtel, "s1", ModelInfo{"gpt-5.5"}, responseTime)};
    for (const auto &[time, usage] : responses)
        group.append(AgentEvent::make(AgentSource::codexOtel, "s1", usage, time));
    return group;
}

// The store lives on a small disk of its own that the test fills to make it refuse.
class RefusedGroupTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!disk.isMounted())
            GTEST_SKIP() << "mounting a tmpfs needs root";
        open();
    }

    void open()
    {
        store = EventStore::open(disk.path() + "/events.sqlite");
        ASSERT_TRUE(store);
        metrics = std::make_unique<MetricsEngine>(pricing, store.get());
        pipeline = std::make_unique<EventPipeline>(bus, *metrics, store.get(), std::function<void()>{});
    }

    void startOver()
    {
        pipeline.reset();
        metrics.reset();
        store.reset();
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(disk.path() + "/events.sqlite" + suffix);
        open();
    }

    ScopedMetrics codex() const { return metrics->scoped(MetricsScope::of(DisplayAgent::codex)); }

    qsizetype tokenRows() const
    {
        const QList<StoredAgentEvent> rows = store->recentEvents(100);
        return std::count_if(rows.begin(), rows.end(), [](const StoredAgentEvent &row) {
            return std::holds_alternative<TokenUsage>(row.event.kind);
        });
    }

    FullDisk disk;
    QTemporaryDir dir;
    PricingTable pricing{dir.filePath("pricing.json")};
    std::unique_ptr<EventStore> store;
    EventBus bus;
    std::unique_ptr<MetricsEngine> metrics;
    std::unique_ptr<EventPipeline> pipeline;
};

TEST_F(RefusedGroupTest, AResendOfARefusedGroupCountsOnceAndIsStoredOnce)
{
    const QList<std::pair<QDateTime, TokenUsage>> response{{responseTime, TokenUsage{1002, 40, 600}}};
    for (const bool retriedFirst : {false, true}) {
        SCOPED_TRACE(retriedFirst ? "the store's retry stores it before the resend" : "the resend stores it");
        if (retriedFirst)
            startOver();
        disk.fill();
        EXPECT_FALSE(pipeline->deliver(request(response)));
        EXPECT_EQ(codex().sessionInput, 1002) << "the HUD shows it while the store waits";
        const double cost = codex().sessionCost;
        EXPECT_GT(cost, 0);
        EXPECT_FALSE(pipeline->deliver(request(response))) << "still refused";
        disk.release();
        if (retriedFirst) {
            store->retryUnstored();
            EXPECT_EQ(tokenRows(), 1);
        }
        EXPECT_TRUE(pipeline->deliver(request(response)));

        EXPECT_EQ(codex().sessionInput, 1002);
        EXPECT_EQ(codex().sessionOutput, 40);
        EXPECT_DOUBLE_EQ(codex().sessionCost, cost);
        store->retryUnstored();
        EXPECT_EQ(tokenRows(), 1);
        EXPECT_EQ(store->writeProblem(), std::nullopt);
    }
}

TEST_F(RefusedGroupTest, AnotherResponseWithTheSameCountsStillCounts)
{
    const TokenUsage usage{500, 20, 100};
    disk.fill();
    EXPECT_FALSE(pipeline->deliver(request({{responseTime, usage}})));
    disk.release();
    EXPECT_TRUE(pipeline->deliver(request({{responseTime, usage}, {responseTime.addSecs(1), usage}})));
    EXPECT_EQ(codex().sessionInput, 1000);
    EXPECT_EQ(tokenRows(), 2);

    EXPECT_TRUE(pipeline->deliver(request({{responseTime.addSecs(2), usage}})))
        << "once stored, nothing is held back any more";
    EXPECT_EQ(codex().sessionInput, 1500);
}

StoredAgentEvent usageRow(int second, std::optional<QString> model = "gpt-5.5")
{
    const TokenUsage usage{100, 10, std::nullopt};
    return {AgentEvent::make(AgentSource::codexOtel, "s1", usage, responseTime.addSecs(second)), std::move(model),
            CountedTokens{0, 0, 0}};
}

TEST(RefusedEvents, RemembersByContentUpToItsCapacityOldestDroppedFirst)
{
    RefusedEvents refused(2);
    const StoredAgentEvent first = usageRow(0);
    const StoredAgentEvent second = usageRow(1);
    const StoredAgentEvent third = usageRow(2);
    refused.remember(std::array{first, second});
    ASSERT_TRUE(refused.countedShareOf(usageRow(0)));
    EXPECT_EQ(*refused.countedShareOf(usageRow(0)), (CountedTokens{0, 0, 0})) << "a new id, the same content";
    EXPECT_FALSE(refused.countedShareOf(usageRow(0, "gpt-5.4"))) << "stored with another model, another row";

    refused.remember(std::array{first}); // refused again: now the newest
    refused.remember(std::array{third});
    EXPECT_TRUE(refused.countedShareOf(first));
    EXPECT_FALSE(refused.countedShareOf(second));
    EXPECT_TRUE(refused.countedShareOf(third));

    refused.forget(std::array{first, third});
    EXPECT_TRUE(refused.isEmpty());
}

} // namespace

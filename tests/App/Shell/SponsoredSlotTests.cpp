#include "App/Core/AppPaths.h"
#include "App/Shell/SponsoredSlot.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SponsoredSlotTest : public testing::Test {
protected:
    SponsoredSlotTest() { AppPaths::seedIfMissing("campaigns", "json", files.campaigns); }

    QTemporaryDir dir;
    SponsoredSlot::Files files{dir.path() + "/ad-ledger.jsonl", dir.path() + "/campaigns.json",
                               {dir.path() + "/remote-ad-events.jsonl", dir.path() + "/remote-ad-creatives.json"}};
    PricingTable pricing{dir.path() + "/pricing.json"};
    MetricsEngine metrics{pricing, nullptr};
    MemorySettingsStore store;
    AppSettings settings{store};
};

TEST_F(SponsoredSlotTest, AWorkingAgentAndAVisibleHUDEarnAViewTickAfterFiveSeconds)
{
    settings.setAdBackendMode(AdBackendMode::localMock);
    SponsoredSlot slot(settings, metrics, files, nullptr);
    EXPECT_EQ(SponsoredSlot::agentSourceText(metrics), "unknown");
    bool hudVisible = false;
    slot.setHUDVisibleProvider([&] { return hudVisible; });
    metrics.handle(AgentEvent::make(AgentSource::mock, "m", TurnStarted{}));
    const QDateTime start = QDateTime::currentDateTimeUtc();
    for (int s = 0; s < 6; ++s)
        slot.impressions().evaluate(start.addSecs(s));
    EXPECT_FALSE(slot.impressions().gates().hudVisible);
    EXPECT_EQ(slot.impressions().tickCount(), 0);

    hudVisible = true;
    for (int s = 6; s < 12; ++s)
        slot.impressions().evaluate(start.addSecs(s));
    EXPECT_EQ(slot.impressions().tickCount(), 1);
    int ticks = 0;
    for (const AdEvent &event : slot.ledger().loadEvents()) {
        if (event.type == AdEventType::viewTick) {
            ++ticks;
            EXPECT_EQ(event.agentSource, "mock");
        }
    }
    EXPECT_EQ(ticks, 1);
}

TEST_F(SponsoredSlotTest, AdSettingsRebuildTheBackendAndABadURLKeepsTheLocalOne)
{
    settings.setAdBackendMode(AdBackendMode::localMock);
    SponsoredSlot slot(settings, metrics, files, nullptr);
    slot.subscribeToSettings();
    EXPECT_EQ(slot.adServer(), slot.localAdServer());

    settings.setRemoteAdBaseURL("https://ads.example.com/api");
    settings.setAdBackendMode(AdBackendMode::remoteREST);
    const std::shared_ptr<AdServer> remote = slot.adServer();
    EXPECT_NE(remote, slot.localAdServer());
    EXPECT_EQ(slot.impressions().server(), remote);

    settings.setRemoteAdPlacementID("sidebar");
    EXPECT_NE(slot.adServer(), remote); // rebuilt with the new placement

    settings.setRemoteAdBaseURL("ftp://ads.example.com");
    EXPECT_EQ(slot.adServer(), slot.localAdServer());
    EXPECT_EQ(slot.impressions().server(), slot.localAdServer());
}

} // namespace

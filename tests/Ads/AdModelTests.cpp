#include "Ads/AdCreative.h"
#include "Ads/AdEvent.h"
#include "Ads/MockAdServer.h"

#include "AdFixtures.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace AdFixtures;

TEST(AdModel, EventValueRule)
{
    EXPECT_DOUBLE_EQ(adEventValue(AdEventType::viewTick, 18), 0.018);
    EXPECT_DOUBLE_EQ(adEventValue(AdEventType::click, 18), 0.9);
    EXPECT_DOUBLE_EQ(adEventValue(AdEventType::impressionRendered, 18), 0);
}

TEST(AdModel, EventJsonIsSortedUpperCaseWholeSecondsAndRoundTrips)
{
    const AdEvent event{QUuid::fromString(QStringLiteral("6f1c2f5e-9b7a-4c2e-8d3f-0a1b2c3d4e5f")),
                        QStringLiteral("c-top"), AdEventType::viewTick,
                        utc("2026-06-12T10:48:37.250Z"), QStringLiteral("hud"), QStringLiteral("codex")};
    const QByteArray line = QJsonDocument(event.toJson()).toJson(QJsonDocument::Compact);
    EXPECT_EQ(line, "{\"agentSource\":\"codex\",\"campaignId\":\"c-top\","
                    "\"eventId\":\"6F1C2F5E-9B7A-4C2E-8D3F-0A1B2C3D4E5F\",\"surface\":\"hud\","
                    "\"timestamp\":\"2026-06-12T10:48:37Z\",\"type\":\"viewTick\"}");
    const std::optional<AdEvent> back = AdEvent::fromLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->eventId, event.eventId);
    EXPECT_EQ(back->timestamp, utc("2026-06-12T10:48:37Z"));
    EXPECT_EQ(back->type, AdEventType::viewTick);
}

TEST(AdModel, EventDecodingRejectsIncompleteOrMalformedLines)
{
    const char *lines[]{
        "not json{{",
        R"({"agentSource":"codex","campaignId":"c","eventId":"6F1C2F5E-9B7A-4C2E-8D3F-0A1B2C3D4E5F","surface":"hud","timestamp":"2026-06-12T10:48:37.5Z","type":"viewTick"})",
        R"({"agentSource":"codex","campaignId":"c","eventId":"6F1C2F5E-9B7A-4C2E-8D3F-0A1B2C3D4E5F","surface":"hud","timestamp":"2026-06-12T10:48:37Z","type":"hover"})",
        R"({"agentSource":"codex","campaignId":"c","eventId":"not-a-uuid","surface":"hud","timestamp":"2026-06-12T10:48:37Z","type":"click"})",
        R"({"campaignId":"c","eventId":"6F1C2F5E-9B7A-4C2E-8D3F-0A1B2C3D4E5F","surface":"hud","timestamp":"2026-06-12T10:48:37Z","type":"click"})",
    };
    for (const char *line : lines)
        EXPECT_FALSE(AdEvent::fromLine(line)) << line;
    EXPECT_TRUE(AdEvent::fromLine(R"({"agentSource":"codex","campaignId":"c","eventId":"6f1c2f5e-9b7a-4c2e-8d3f-0a1b2c3d4e5f","surface":"hud","timestamp":"2026-06-12T12:48:37+02:00","type":"click"})"));
}

TEST(AdModel, CreativePaidFlagIsOptionalAndOtherKeysRequired)
{
    QJsonObject object = creative(QStringLiteral("x"), 20, 5, std::nullopt).toJson();
    EXPECT_FALSE(object.contains(QStringLiteral("paid")));
    std::optional<AdCreative> read = AdCreative::fromJson(object);
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->paid.has_value());
    object.insert(QStringLiteral("paid"), QJsonValue::Null);
    EXPECT_FALSE(AdCreative::fromJson(object)->paid.has_value());
    object.insert(QStringLiteral("bidPer1000Imps"), 7); // integral numbers read as bids too
    EXPECT_EQ(AdCreative::fromJson(object)->bidPer1000Imps, 7);
    object.remove(QStringLiteral("clickUrl"));
    EXPECT_FALSE(AdCreative::fromJson(object));
}

class MockAdServerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("campaigns.json"));
};

TEST_F(MockAdServerTest, ServesHighestBidWithBudgetEarliestOnTie)
{
    struct Case {
        QList<AdCreative> campaigns;
        std::optional<QString> served;
    };
    const Case cases[]{
        {topAndLow(), QStringLiteral("c-top")},
        {{creative("first", 10), creative("second", 10)}, QStringLiteral("first")},
        {{creative("rich", 99, 0), creative("broke", 500, -1), creative("low", 1)}, QStringLiteral("low")},
        {{creative("empty", 99, 0)}, std::nullopt},
    };
    for (const Case &c : cases) {
        writeCampaigns(path, c.campaigns);
        const std::optional<AdCreative> served = MockAdServer(path).serveSync();
        EXPECT_EQ(served ? std::optional<QString>(served->id) : std::nullopt, c.served);
    }
}

TEST_F(MockAdServerTest, SpendsBudgetsAndPersistsThemSortedForTheNextServer)
{
    writeCampaigns(path, {creative("c-top", 18, 100), creative("tiny", 30, 0.01), creative("c-low", 5)});
    {
        MockAdServer server(path);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        server.postEventsSync({event("c-top", AdEventType::viewTick, now), event("c-top", AdEventType::viewTick, now),
                               event("c-top", AdEventType::impressionRendered, now),
                               event("c-top", AdEventType::click, now), event("tiny", AdEventType::click, now),
                               event("unknown", AdEventType::click, now)});
        EXPECT_NEAR(server.campaigns().at(0).remainingBudget, 99.064, 1e-9);
        EXPECT_EQ(server.campaigns().at(1).remainingBudget, 0); // not -0.89
    }
    MockAdServer reloaded(path);
    ASSERT_EQ(reloaded.campaigns().size(), 3);
    EXPECT_NEAR(reloaded.campaigns().at(0).remainingBudget, 99.064, 1e-9);
    EXPECT_EQ(reloaded.serveSync()->id, QStringLiteral("c-top")); // "tiny" is exhausted
    const QByteArray text = TestSupport::readFile(path);
    EXPECT_TRUE(text.startsWith("[\n"));
    const qsizetype bid = text.indexOf("\"bidPer1000Imps\"");
    EXPECT_TRUE(bid < text.indexOf("\"clickUrl\"") && text.indexOf("\"paid\"") < text.indexOf("\"remainingBudget\""));
}

TEST_F(MockAdServerTest, LookupsMapIdsToBidAndPaidFlag)
{
    writeCampaigns(path, {creative("paid", 18, 1, true), creative("house", 20, 1, std::nullopt),
                          creative("demo", 3, 1, false), creative("paid", 99, 1, false)});
    MockAdServer server(path);
    EXPECT_EQ(server.bidLookup(), (QHash<QString, double>{{"paid", 18}, {"house", 20}, {"demo", 3}}));
    EXPECT_EQ(server.paidLookup(), (QHash<QString, bool>{{"paid", true}, {"house", false}, {"demo", false}}));
}

TEST_F(MockAdServerTest, MissingOrDamagedFileGivesNothingAndIsLeftAlone)
{
    for (const QByteArray &bytes : {QByteArray(), QByteArray("{\"id\":1}"), QByteArray("[{\"id\":\"a\"}]")}) {
        TestSupport::writeFile(path, bytes);
        MockAdServer server(path);
        EXPECT_FALSE(server.serveSync());
        EXPECT_TRUE(server.bidLookup().isEmpty());
        EXPECT_TRUE(server.paidLookup().isEmpty());
        EXPECT_EQ(TestSupport::readFile(path), bytes);
    }
    EXPECT_FALSE(MockAdServer(dir.filePath(QStringLiteral("missing.json"))).serveSync());
    MockAdServer pathless(std::nullopt);
    pathless.postEventsSync({event("x", AdEventType::click, QDateTime::currentDateTimeUtc())});
    EXPECT_TRUE(pathless.campaigns().isEmpty());
}

} // namespace

#include "Ads/AdLedger.h"
#include "Ads/ImpressionEngine.h"
#include "Ads/MockAdServer.h"
#include "Platform/FakeDesktop.h"
#include "Platform/InputIdle.h"
#include "Platform/ManualClock.h"

#include "AdFixtures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace AdFixtures;

class FakeInputIdle : public InputIdle {
public:
    double idleSeconds = 0;
    bool awake = true;
    double secondsSinceLastInput() const override { return idleSeconds; }
    bool isDisplayAwake() const override { return awake; }
};

// A backend that answers only when the test says so.
class PendingServer : public AdServer {
public:
    QList<ServeDone> serves;
    QList<QList<AdEvent>> posts;
    AdServerHealth current{AdServerHealth::Status::remoteReady, QStringLiteral("ready"), 0, std::nullopt};

    AdServerHealth health() const override { return current; }
    void serve(ServeDone done) override { serves.append(std::move(done)); }
    void postEvents(const QList<AdEvent> &events, PostDone done) override
    {
        posts.append(events);
        done(std::nullopt);
    }
    QHash<QString, double> bidLookup() const override { return {{"remote", 40}}; }
    QHash<QString, bool> paidLookup() const override { return {{"remote", true}}; }
};

class ImpressionEngineTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString campaignsPath = dir.filePath(QStringLiteral("campaigns.json"));
    AdLedger ledger{dir.filePath(QStringLiteral("ad-ledger.jsonl"))};
    FakeInputIdle idle;
    const QDateTime now = utc("2026-06-15T12:00:00Z");
    ManualClock clock{now};
    bool turn = true;
    bool hud = true;
    FakeDesktop desktop;
    QList<QUrl> &opened = desktop.opened;

    std::unique_ptr<ImpressionEngine> makeEngine(const QList<AdCreative> &campaigns = topAndLow())
    {
        writeCampaigns(campaignsPath, campaigns);
        return makeEngine(std::make_shared<MockAdServer>(campaignsPath));
    }

    std::unique_ptr<ImpressionEngine> makeEngine(std::shared_ptr<AdServer> server)
    {
        auto engine = std::make_unique<ImpressionEngine>(std::move(server), ledger, &idle, Environment{&clock},
                                                         QTimeZone::utc());
        engine->turnInFlightProvider = [this] { return turn; };
        engine->hudVisibleProvider = [this] { return hud; };
        engine->agentSourceProvider = [] { return QStringLiteral("codex"); };
        engine->desktop = &desktop;
        return engine;
    }

    static void evaluate(ImpressionEngine &engine, int times)
    {
        for (int i = 0; i < times; ++i)
            engine.evaluate();
    }

    qsizetype ledgerCount(AdEventType type) const
    {
        qsizetype count = 0;
        for (const AdEvent &event : ledger.loadEvents())
            count += event.type == type ? 1 : 0;
        return count;
    }
};

TEST_F(ImpressionEngineTest, FiveQualifyingEvaluationsMakeOnePaidTick)
{
    auto engine = makeEngine();
    evaluate(*engine, 4);
    EXPECT_EQ(engine->tickCount(), 0);
    EXPECT_EQ(engine->streakSeconds(), 4);
    EXPECT_EQ(engine->currentCreative()->id, QStringLiteral("c-top"));
    engine->evaluate();
    EXPECT_EQ(engine->tickCount(), 1);
    EXPECT_EQ(engine->streakSeconds(), 0);
    EXPECT_DOUBLE_EQ(engine->earningsThisMonth(), 0.009);
    EXPECT_EQ(engine->demoValueThisMonth(), 0);
    EXPECT_EQ(engine->gates(), (ImpressionEngine::Gates{true, true, true, true}));
    EXPECT_EQ(engine->backendHealth(), AdServerHealth::localMock());
}

TEST_F(ImpressionEngineTest, AFailingGateRestartsTheStreak)
{
    enum Gate { hudGate, displayGate, inputGate };
    for (Gate gate : {hudGate, displayGate, inputGate}) {
        auto engine = makeEngine();
        evaluate(*engine, 5);
        ASSERT_EQ(engine->tickCount(), 1);
        evaluate(*engine, 2);
        hud = gate != hudGate;
        idle.awake = gate != displayGate;
        idle.idleSeconds = gate == inputGate ? 60 : 59.9;
        engine->evaluate();
        EXPECT_EQ(engine->streakSeconds(), 0) << gate;
        hud = true;
        idle.awake = true;
        idle.idleSeconds = 0;
        evaluate(*engine, 4);
        EXPECT_EQ(engine->tickCount(), 1) << gate;
        engine->evaluate();
        EXPECT_EQ(engine->tickCount(), 2) << gate;
    }
}

TEST_F(ImpressionEngineTest, NoTickWhileAGateStaysClosed)
{
    for (int gate = 0; gate < 3; ++gate) {
        auto engine = makeEngine();
        turn = gate != 0;
        idle.awake = gate != 1;
        idle.idleSeconds = gate == 2 ? 300 : 0;
        evaluate(*engine, 6);
        EXPECT_EQ(engine->tickCount(), 0) << gate;
        if (gate == 0) {
            EXPECT_FALSE(engine->currentCreative());
        }
        turn = true;
        idle.awake = true;
        idle.idleSeconds = 0;
    }
}

TEST_F(ImpressionEngineTest, ClickOpensTheAddressAndCreditsFiftyTicks)
{
    auto engine = makeEngine();
    engine->handleClick(now); // empty slot: nothing happens
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(ledger.loadEvents().isEmpty());
    engine->evaluate();
    engine->handleClick(now);
    EXPECT_EQ(opened, QList<QUrl>{QUrl(QStringLiteral("https://example.com/c-top"))});
    EXPECT_DOUBLE_EQ(engine->earningsThisMonth(), 0.45);
    EXPECT_EQ(engine->streakSeconds(), 1); // clicks leave the streak alone
}

TEST_F(ImpressionEngineTest, UnparseableClickUrlIsStillBilled)
{
    AdCreative bad = creative(QStringLiteral("bad"), 18);
    bad.clickUrl = QStringLiteral("http://exa mple.com/%zz");
    auto engine = makeEngine({bad});
    engine->evaluate();
    engine->handleClick(now);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(ledgerCount(AdEventType::click), 1);
    EXPECT_DOUBLE_EQ(engine->earningsThisMonth(), 0.45);
}

TEST_F(ImpressionEngineTest, TwoTicksAndAClickMatchTheLedgerAndTheBudget)
{
    auto engine = makeEngine();
    evaluate(*engine, 10);
    engine->handleClick(now);
    EXPECT_EQ(ledgerCount(AdEventType::viewTick), 2);
    EXPECT_EQ(ledgerCount(AdEventType::click), 1);
    EXPECT_EQ(ledgerCount(AdEventType::impressionRendered), 1); // one render per turn, however many ticks
    const QHash<QString, double> bids{{"c-top", 18}, {"c-low", 5}};
    EXPECT_NEAR(ledger.spend(now, bids, {}, QTimeZone::utc()) * 0.5, engine->earningsThisMonth(), 1e-12);
    EXPECT_EQ(engine->demoValueThisMonth(), 0);
    EXPECT_NEAR(MockAdServer(campaignsPath).campaigns().at(0).remainingBudget, 99.064, 1e-9);

    // A new turn records a new render.
    turn = false;
    engine->evaluate();
    EXPECT_FALSE(engine->currentCreative());
    turn = true;
    engine->evaluate();
    EXPECT_EQ(ledgerCount(AdEventType::impressionRendered), 2);
}

TEST_F(ImpressionEngineTest, UnpaidCampaignEarnsDemoValue)
{
    auto engine = makeEngine({creative(QStringLiteral("house"), 20, 100, std::nullopt)});
    evaluate(*engine, 5);
    EXPECT_EQ(engine->earningsThisMonth(), 0);
    EXPECT_DOUBLE_EQ(engine->demoValueThisMonth(), 0.01);
}

TEST_F(ImpressionEngineTest, ExhaustedCampaignGivesWayWithoutANewRender)
{
    auto engine = makeEngine({creative(QStringLiteral("c-top"), 18, 0.5), creative(QStringLiteral("c-low"), 5)});
    engine->evaluate();
    engine->handleClick(now); // 0.9 spends the whole 0.5
    EXPECT_EQ(engine->currentCreative()->id, QStringLiteral("c-low"));
    EXPECT_EQ(ledgerCount(AdEventType::impressionRendered), 1);
}

TEST_F(ImpressionEngineTest, MonthValuesAreRebuiltFromThisMonthOfTheLedger)
{
    writeCampaigns(campaignsPath, {creative(QStringLiteral("c-top"), 18), creative(QStringLiteral("house"), 20, 100,
                                                                                     std::nullopt)});
    ledger.append(event("c-top", AdEventType::click, utc("2026-06-01T00:00:00Z")));
    ledger.append(event("c-top", AdEventType::click, utc("2026-05-31T23:59:59Z")));
    ledger.append(event("house", AdEventType::viewTick, now));
    ledger.append(event("unknown", AdEventType::click, now));
    auto engine = makeEngine(std::make_shared<MockAdServer>(campaignsPath));
    EXPECT_DOUBLE_EQ(engine->earningsThisMonth(), 0.45);
    EXPECT_DOUBLE_EQ(engine->demoValueThisMonth(), 0.01);
}

TEST_F(ImpressionEngineTest, ProjectedMonthly)
{
    const QTimeZone zone = QTimeZone::utc();
    EXPECT_DOUBLE_EQ(ImpressionEngine::projectedMonthly(10, utc("2026-06-15T12:00:00Z"), zone), 20);
    EXPECT_DOUBLE_EQ(ImpressionEngine::projectedMonthly(10, utc("2026-06-30T12:00:00Z"), zone), 10);
    EXPECT_DOUBLE_EQ(ImpressionEngine::projectedMonthly(0, utc("2026-06-15T12:00:00Z"), zone), 0);
    EXPECT_DOUBLE_EQ(ImpressionEngine::projectedMonthly(1, utc("2026-02-14T12:00:00Z"), zone), 2);
}

TEST_F(ImpressionEngineTest, RemoteAnswersArriveLaterAndAReplacedBackendIsIgnored)
{
    auto remote = std::make_shared<PendingServer>();
    auto engine = makeEngine(remote);
    EXPECT_EQ(engine->backendHealth().status, AdServerHealth::Status::remoteReady);
    EXPECT_DOUBLE_EQ(engine->earningsThisMonth(), 0);
    evaluate(*engine, 2);
    ASSERT_EQ(remote->serves.size(), 2); // an empty slot asks every second
    EXPECT_FALSE(engine->currentCreative());
    remote->current.message = QStringLiteral("served");
    remote->serves.at(0)(creative(QStringLiteral("remote"), 40), std::nullopt);
    EXPECT_EQ(engine->currentCreative()->id, QStringLiteral("remote"));
    EXPECT_EQ(engine->backendHealth().message, QStringLiteral("served"));
    remote->serves.at(1)(creative(QStringLiteral("remote"), 40), std::nullopt);
    EXPECT_EQ(ledgerCount(AdEventType::impressionRendered), 1);
    ASSERT_EQ(remote->posts.size(), 1);
    EXPECT_EQ(remote->posts.at(0).at(0).type, AdEventType::impressionRendered);
    evaluate(*engine, 5);
    EXPECT_EQ(remote->serves.size(), 2); // a showing creative is not asked for again
    EXPECT_DOUBLE_EQ(engine->earningsThisMonth(), 0.02);

    engine->evaluate();
    engine->replaceServer(remote); // same backend again: month values rebuilt, slot emptied
    EXPECT_DOUBLE_EQ(engine->earningsThisMonth(), 0.02);
    EXPECT_EQ(engine->tickCount(), 1);
    EXPECT_EQ(engine->streakSeconds(), 0);
    EXPECT_FALSE(engine->currentCreative());

    engine->evaluate();
    writeCampaigns(campaignsPath, topAndLow());
    engine->replaceServer(std::make_shared<MockAdServer>(campaignsPath));
    remote->serves.last()(creative(QStringLiteral("remote"), 40), std::nullopt); // late answer of the old backend
    EXPECT_FALSE(engine->currentCreative());
    EXPECT_EQ(engine->backendHealth(), AdServerHealth::localMock());
    EXPECT_EQ(engine->earningsThisMonth(), 0); // "remote" has no bid at the local backend
}

TEST_F(ImpressionEngineTest, WithAdsOffNothingIsServedRenderedRecordedOrReported)
{
    auto remote = std::make_shared<PendingServer>();
    auto engine = makeEngine(remote);
    bool shown = true;
    engine->adsShownProvider = [&] { return shown; };
    engine->evaluate(); // asks while ads are on
    ASSERT_EQ(remote->serves.size(), 1);
    shown = false;
    evaluate(*engine, 6);
    remote->serves.at(0)(creative(QStringLiteral("remote"), 40), std::nullopt); // the late answer
    EXPECT_EQ(remote->serves.size(), 1) << "nothing asked while ads are off";
    EXPECT_FALSE(engine->currentCreative());
    EXPECT_TRUE(ledger.loadEvents().isEmpty());
    EXPECT_TRUE(remote->posts.isEmpty());
    EXPECT_EQ(engine->tickCount(), 0);

    shown = true;
    engine->evaluate();
    EXPECT_EQ(remote->serves.size(), 2) << "switched on, the slot asks again";
}

TEST_F(ImpressionEngineTest, TimerEvaluatesOncePerSecond)
{
    auto engine = makeEngine();
    engine->start();
    engine->start();
    const auto period = Delays().adEvaluation;
    clock.advance(2 * period - std::chrono::milliseconds(1));
    EXPECT_EQ(engine->streakSeconds(), 1);
    clock.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(engine->streakSeconds(), 2);
}

} // namespace

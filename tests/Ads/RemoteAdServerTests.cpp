#include "Ads/AdLedger.h"
#include "Ads/ImpressionEngine.h"
#include "Ads/MockAdServer.h"
#include "Ads/RemoteAdServer.h"
#include "Platform/ManualClock.h"

#include "AdFixtures.h"
#include "LoopbackHttpServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

namespace {

using namespace AdFixtures;
using Response = LoopbackHttpServer::Response;
using Status = AdServerHealth::Status;

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A loopback port that nothing listens on.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

struct ServeOutcome {
    bool done = false;
    std::optional<AdCreative> creative;
    std::optional<AdServerError> error;
};

class RemoteAdServerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString queuePath = dir.filePath(QStringLiteral("remote-ad-events.jsonl"));
    QString cachePath = dir.filePath(QStringLiteral("remote-ad-creatives.json"));
    LoopbackHttpServer http;
    std::shared_ptr<MockAdServer> fallback;
    const QDateTime now = utc("2026-06-15T12:00:00Z");
    ManualClock clock{now};

    void SetUp() override
    {
        const QString campaigns = dir.filePath(QStringLiteral("campaigns.json"));
        writeCampaigns(campaigns, topAndLow());
        fallback = std::make_shared<MockAdServer>(campaigns);
    }

    std::unique_ptr<RemoteAdServer> remote(const QString &base, bool withFallback = true)
    {
        return std::make_unique<RemoteAdServer>(QUrl(base), QStringLiteral("smoke-publisher"), QStringLiteral("hud"),
                                                queuePath, cachePath, withFallback ? fallback : nullptr, nullptr,
                                                clock);
    }

    static ServeOutcome serve(RemoteAdServer &server)
    {
        ServeOutcome outcome;
        server.serve([&](std::optional<AdCreative> creative, std::optional<AdServerError> error) {
            outcome = {true, std::move(creative), std::move(error)};
        });
        EXPECT_TRUE(TestSupport::waitUntil([&] { return outcome.done; }, std::chrono::seconds(10)));
        return outcome;
    }

    static std::optional<AdServerError> post(RemoteAdServer &server, const QList<AdEvent> &events)
    {
        bool done = false;
        std::optional<AdServerError> error;
        server.postEvents(events, [&](std::optional<AdServerError> e) {
            done = true;
            error = std::move(e);
        });
        EXPECT_TRUE(TestSupport::waitUntil([&] { return done; }, std::chrono::seconds(10)));
        return error;
    }
};

TEST_F(RemoteAdServerTest, ServeAnswersAndTheirOutcomes)
{
    const AdCreative served = creative(QStringLiteral("r-1"), 30);
    struct Case {
        const char *what;
        Response response;
        std::optional<QString> creative;
        Status status;
        QString message;
    };
    const QString ready = QStringLiteral("Remote creative served");
    const QString fellBack = QStringLiteral("Remote unavailable; serving local fallback");
    const Case cases[]{
        {"envelope", {200, json({{"creative", served.toJson()}})}, QStringLiteral("r-1"), Status::remoteReady, ready},
        {"bare creative", {200, json(served.toJson())}, QStringLiteral("r-1"), Status::remoteReady, ready},
        {"null creative", {200, R"({"creative":null})"}, std::nullopt, Status::remoteReady, ready},
        {"204", {204, {}}, std::nullopt, Status::remoteReady, ready},
        {"500", {500, json({{"creative", served.toJson()}})}, QStringLiteral("c-top"), Status::remoteFallback, fellBack},
        {"not json", {200, "<html>busy</html>"}, QStringLiteral("c-top"), Status::remoteFallback, fellBack},
        {"broken creative", {200, R"({"creative":{"id":"r-1"}})"}, QStringLiteral("c-top"), Status::remoteFallback,
         fellBack},
        {"not http", {0, "garbage\r\n\r\n", 0, false, true}, QStringLiteral("c-top"), Status::remoteFallback, fellBack},
    };
    for (const Case &c : cases) {
        http.handler = [&](const LoopbackHttpServer::Request &) { return c.response; };
        auto server = remote(http.baseUrl());
        const ServeOutcome outcome = serve(*server);
        EXPECT_FALSE(outcome.error) << c.what;
        EXPECT_EQ(outcome.creative ? std::optional<QString>(outcome.creative->id) : std::nullopt, c.creative) << c.what;
        EXPECT_EQ(server->health().status, c.status) << c.what;
        EXPECT_EQ(server->health().message, c.message) << c.what;
        EXPECT_EQ(server->health().lastSuccess.has_value(), c.status == Status::remoteReady) << c.what;
    }
}

TEST_F(RemoteAdServerTest, NothingListeningFallsBackAndQueuesEvents)
{
    auto server = remote(QStringLiteral("http://127.0.0.1:%1").arg(closedPort()));
    EXPECT_EQ(server->health(), (AdServerHealth{Status::remoteFallback, QStringLiteral("Remote ads configured"), 0,
                                                std::nullopt}));
    const ServeOutcome outcome = serve(*server);
    EXPECT_EQ(outcome.creative->id, QStringLiteral("c-top"));
    EXPECT_EQ(server->health().status, Status::remoteFallback);

    EXPECT_TRUE(post(*server, {event("c-top", AdEventType::viewTick, now)}));
    EXPECT_EQ(server->queuedEventCount(), 1);
    EXPECT_EQ(server->health().queuedEvents, 1);
    EXPECT_EQ(server->health().status, Status::remoteFallback); // a failed flush marks nothing
    EXPECT_EQ(remote(QStringLiteral("http://127.0.0.1:9"))->health().queuedEvents, 1); // counted at construction

    auto bare = remote(QStringLiteral("http://127.0.0.1:%1").arg(closedPort()), false);
    const ServeOutcome failed = serve(*bare);
    EXPECT_TRUE(failed.error);
    EXPECT_FALSE(failed.creative);
    EXPECT_EQ(bare->health().status, Status::remoteError);
    EXPECT_EQ(bare->health().message, QStringLiteral("Remote unavailable; no fallback creative"));
}

TEST_F(RemoteAdServerTest, StalledServeTimesOutIntoTheFallback)
{
    http.handler = [](const LoopbackHttpServer::Request &) { return Response{200, {}, 0, true}; };
    auto server = remote(http.baseUrl());
    const ServeOutcome outcome = serve(*server);
    // The request arrived and was never answered: the fallback came from the timeout, not a refusal.
    EXPECT_EQ(http.requests.size(), 1);
    EXPECT_EQ(outcome.creative->id, QStringLiteral("c-top"));
    EXPECT_EQ(server->health().status, Status::remoteFallback);
}

TEST_F(RemoteAdServerTest, QueueSurvivesAFailedFlushAndGoesWithASuccessfulOne)
{
    int status = 503;
    http.handler = [&](const LoopbackHttpServer::Request &) { return Response{status, {}}; };
    auto server = remote(http.baseUrl());
    const AdEvent tick = event("c-top", AdEventType::viewTick, now);
    EXPECT_TRUE(post(*server, {tick}));
    EXPECT_EQ(server->queuedEventCount(), 1);
    EXPECT_FALSE(post(*server, {})); // an empty post does nothing and cannot fail
    EXPECT_EQ(http.requests.size(), 1); // an empty post sends nothing

    status = 200;
    const AdEvent click = event("c-top", AdEventType::click, now);
    EXPECT_FALSE(post(*server, {click}));
    EXPECT_FALSE(QFile::exists(queuePath));
    EXPECT_EQ(server->health().queuedEvents, 0);
    EXPECT_EQ(server->health().status, Status::remoteReady);
    EXPECT_EQ(server->health().message, QStringLiteral("Remote event queue flushed"));
    EXPECT_EQ(server->health().lastSuccess, now);
    const QJsonArray sent = QJsonDocument::fromJson(http.requests.last().body)["events"].toArray();
    ASSERT_EQ(sent.size(), 2); // the earlier undelivered tick went with the click
    EXPECT_EQ(sent[0]["type"].toString(), QStringLiteral("viewTick"));
}

TEST_F(RemoteAdServerTest, ServeFlushesTheQueueFirstAndDamagedLinesAreCountedNotSent)
{
    const QByteArray tick = json(event("c-top", AdEventType::viewTick, now).toJson());
    TestSupport::writeFile(queuePath, tick + "\n{torn\n");
    http.handler = [](const LoopbackHttpServer::Request &) { return Response{204, {}}; };
    auto server = remote(http.baseUrl());
    EXPECT_EQ(server->health().queuedEvents, 2);
    serve(*server);
    ASSERT_EQ(http.requests.size(), 2);
    EXPECT_EQ(http.requests[0].method, "POST");
    EXPECT_EQ(QJsonDocument::fromJson(http.requests[0].body)["events"].toArray().size(), 1);
    EXPECT_EQ(http.requests[1].method, "GET");
    EXPECT_FALSE(QFile::exists(queuePath));
}

TEST_F(RemoteAdServerTest, EventsQueuedDuringAnInFlightBatchSurviveItsSuccess)
{
    // The first batch is accepted slowly; the overlapping second one is refused.
    http.handler = [](const LoopbackHttpServer::Request &request) {
        const qsizetype events = QJsonDocument::fromJson(request.body)["events"].toArray().size();
        return events == 1 ? Response{200, {}, 300} : Response{500, {}};
    };
    auto server = remote(http.baseUrl());
    const AdEvent first = event("c-top", AdEventType::viewTick, now);
    const AdEvent second = event("c-top", AdEventType::click, now);
    int done = 0;
    server->postEvents({first}, [&](std::optional<AdServerError>) { ++done; });
    server->postEvents({second}, [&](std::optional<AdServerError>) { ++done; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return done == 2; }));
    const QList<QByteArray> lines = TestSupport::readFile(queuePath).split('\n');
    ASSERT_EQ(lines.size(), 2); // one line and the final feed
    EXPECT_EQ(AdEvent::fromLine(lines[0])->eventId, second.eventId);
    EXPECT_EQ(server->queuedEventCount(), 1);
}

TEST_F(RemoteAdServerTest, OverlappingServesAllLandInTheCacheAndOverrideLocalBids)
{
    int answered = 0;
    http.handler = [&](const LoopbackHttpServer::Request &) {
        // Same id as a local campaign first, with another bid and paid flag; the later answer comes first.
        const AdCreative answer = answered++ == 0 ? creative(QStringLiteral("c-top"), 44, 10, false)
                                                  : creative(QStringLiteral("r-2"), 7, 10, std::nullopt);
        return Response{200, json({{"creative", answer.toJson()}}), answered == 1 ? 200 : 0};
    };
    auto server = remote(http.baseUrl());
    int done = 0;
    server->serve([&](auto, auto) { ++done; });
    server->serve([&](auto, auto) { ++done; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return done == 2; }));
    EXPECT_EQ(server->bidLookup(), (QHash<QString, double>{{"c-top", 44}, {"c-low", 5}, {"r-2", 7}}));
    EXPECT_EQ(server->paidLookup(), (QHash<QString, bool>{{"c-top", false}, {"c-low", true}, {"r-2", false}}));
    const QJsonObject cache = QJsonDocument::fromJson(TestSupport::readFile(cachePath)).object();
    EXPECT_EQ(cache["creatives"].toObject().keys(), (QStringList{"c-top", "r-2"}));

    TestSupport::writeFile(cachePath, "{damaged");
    EXPECT_EQ(server->bidLookup(), fallback->bidLookup());
}

TEST_F(RemoteAdServerTest, AddressesAreBuiltFromTheBase)
{
    struct Case {
        QString base;
        QString serve;
        QString events;
    };
    const Case cases[]{
        {"https://ads.example/api", "https://ads.example/api/serve?publisher_id=p%20%2B1&placement_id=hud",
         "https://ads.example/api/events"},
        {"https://ads.example/api/serve?x=1", "https://ads.example/api/serve?publisher_id=p%20%2B1&placement_id=hud",
         "https://ads.example/api/serve/events?x=1"},
        {"https://ads.example/api/events/", "https://ads.example/api/events/serve?publisher_id=p%20%2B1&placement_id=hud",
         "https://ads.example/api/events"},
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080/serve?publisher_id=p%20%2B1&placement_id=hud",
         "http://127.0.0.1:8080/events"},
    };
    for (const Case &c : cases) {
        const QUrl base(c.base);
        EXPECT_EQ(RemoteAdServer::serveAddress(base, "p +1", "hud")->toString(QUrl::FullyEncoded), c.serve);
        EXPECT_EQ(RemoteAdServer::eventsAddress(base)->toString(QUrl::FullyEncoded), c.events);
    }
    for (const char *bad : {"", "not an address", "ftp://ads.example/api", "/api"})
        EXPECT_FALSE(RemoteAdServer::serveAddress(QUrl(bad), "p", "hud")) << bad;

    auto server = remote(QStringLiteral("not an address"));
    EXPECT_EQ(serve(*server).creative->id, QStringLiteral("c-top"));
    EXPECT_EQ(server->health().status, Status::remoteFallback);
}

TEST_F(RemoteAdServerTest, OnlyEventFieldsAndPublisherAndPlacementIdsLeaveTheMachine)
{
    http.handler = [](const LoopbackHttpServer::Request &) { return Response{204, {}}; };
    auto server = remote(http.baseUrl());
    const AdEvent tick = event("c-top", AdEventType::viewTick, now);
    post(*server, {tick});
    serve(*server);
    ASSERT_EQ(http.requests.size(), 2);

    const LoopbackHttpServer::Request &events = http.requests[0];
    EXPECT_EQ(events.method, "POST");
    EXPECT_EQ(events.target, "/api/events");
    EXPECT_EQ(events.header("content-type"), "application/json");
    EXPECT_EQ(events.header("accept"), "application/json");
    const QJsonObject batch = QJsonDocument::fromJson(events.body).object();
    EXPECT_EQ(batch.keys(), (QStringList{"events", "placementId", "publisherId", "schemaVersion"}));
    EXPECT_EQ(batch["publisherId"].toString(), QStringLiteral("smoke-publisher"));
    EXPECT_EQ(batch["placementId"].toString(), QStringLiteral("hud"));
    EXPECT_EQ(batch["schemaVersion"].toInt(), 1);
    ASSERT_EQ(batch["events"].toArray().size(), 1);
    EXPECT_EQ(batch["events"][0].toObject(), tick.toJson());
    EXPECT_EQ(events.body, json(batch)); // compact, keys sorted, nothing else

    const LoopbackHttpServer::Request &serveRequest = http.requests[1];
    EXPECT_EQ(serveRequest.method, "GET");
    EXPECT_EQ(serveRequest.target, "/api/serve?publisher_id=smoke-publisher&placement_id=hud");
    EXPECT_TRUE(serveRequest.body.isEmpty());

    // Every header is protocol framing with a fixed value; nothing names the user, the host or its locale.
    const std::set<QByteArray> allowed{"host", "accept", "content-type", "content-length", "connection",
                                       "accept-encoding", "accept-language", "user-agent"};
    for (const LoopbackHttpServer::Request &request : http.requests) {
        for (const auto &[name, value] : request.headers) {
            EXPECT_TRUE(allowed.count(name)) << name.toStdString();
            if (name == "user-agent") {
                EXPECT_EQ(value, "Corvane");
            }
            if (name == "accept-language") {
                EXPECT_EQ(value, "*");
            }
        }
    }
}

TEST_F(RemoteAdServerTest, TheEngineShowsARemoteCreativeAndReportsItsRender)
{
    const AdCreative served = creative(QStringLiteral("r-1"), 30);
    http.handler = [&](const LoopbackHttpServer::Request &request) {
        return request.method == "GET" ? Response{200, json({{"creative", served.toJson()}})} : Response{200, {}};
    };
    AdLedger ledger(dir.filePath(QStringLiteral("ad-ledger.jsonl")));
    std::shared_ptr<RemoteAdServer> server = remote(http.baseUrl());
    ImpressionEngine engine(server, ledger, nullptr, Environment{&clock}, QTimeZone::utc());
    engine.turnInFlightProvider = [] { return true; };
    engine.evaluate();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return engine.currentCreative().has_value(); }));
    EXPECT_EQ(*engine.currentCreative(), served);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return http.requests.size() == 2; }));
    const QJsonArray posted = QJsonDocument::fromJson(http.requests[1].body)["events"].toArray();
    ASSERT_EQ(posted.size(), 1);
    EXPECT_EQ(posted[0]["type"].toString(), QStringLiteral("impressionRendered"));
    EXPECT_EQ(ledger.loadEvents().size(), 1);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return engine.backendHealth().message == "Remote event queue flushed"; }));
    EXPECT_FALSE(QFile::exists(queuePath));
}

} // namespace

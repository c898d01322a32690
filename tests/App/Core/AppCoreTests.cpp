#include "support/TestSupport.h"

#include "App/Core/AppCore.h"
#include "App/Core/EventPipeline.h"
#include "Codex/CodexConfigWriter.h"
#include "Persistence/EventStore.h"
#include "Platform/ManualClock.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using TestSupport::spin;
using TestSupport::waitUntil;
using namespace std::chrono_literals;

AgentEvent event(AgentSource source, AgentEventKind kind, const QString &session = "s1")
{
    return AgentEvent::make(source, session, std::move(kind));
}

class EventPipelineTest : public testing::Test {
protected:
    QTemporaryDir dir;
    PricingTable pricing{dir.filePath("pricing.json")};
    std::unique_ptr<EventStore> store = EventStore::open(dir.filePath("events.sqlite"));
    EventBus bus;
    int codexEvents = 0;
};

TEST_F(EventPipelineTest, StoresEachEventWithTheModelInForceAndFlagsOnlyCodexSources)
{
    MetricsEngine metrics(pricing, store.get());
    EventPipeline pipeline(bus, metrics, store.get(), [this] { ++codexEvents; });

    bus.publish(event(AgentSource::codexOtel, ModelInfo{"gpt-5.5"}));
    bus.publish(event(AgentSource::codexOtel, TokenUsage{1200, 300, 200}));
    bus.publish(event(AgentSource::claudeCodeJsonl, TokenUsage{50, 5, std::nullopt}, "c1"));
    const QList<StoredAgentEvent> stored = store->recentEvents(10);
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored[0].modelAtEvent, "gpt-5.5") << "an event announcing a model is stored with it";
    EXPECT_EQ(stored[1].modelAtEvent, "gpt-5.5");
    EXPECT_EQ(stored[2].modelAtEvent, std::nullopt) << "Claude Code has no model yet";
    EXPECT_EQ(metrics.scoped(MetricsScope::of(DisplayAgent::codex)).sessionInput, 1200);

    struct Case {
        AgentSource source;
        int refreshes;
    };
    for (const Case c : {Case{AgentSource::codexOtel, 1}, Case{AgentSource::codexNotify, 1},
                         Case{AgentSource::codexDesktopSession, 1}, Case{AgentSource::claudeCodeJsonl, 0},
                         Case{AgentSource::mock, 0}}) {
        codexEvents = 0;
        bus.publish(event(c.source, TurnStarted{}));
        EXPECT_EQ(codexEvents, c.refreshes) << rawValue(c.source).toStdString();
    }
}

TEST_F(EventPipelineTest, WithoutAStoreEventsStillMoveTheMetrics)
{
    MetricsEngine metrics(pricing, nullptr);
    EventPipeline pipeline(bus, metrics, nullptr, [this] { ++codexEvents; });
    bus.publish(event(AgentSource::codexNotify, TurnStarted{}));
    bus.publish(event(AgentSource::mock, TokenUsage{1000, 500, std::nullopt}));
    EXPECT_EQ(metrics.scoped(MetricsScope::of(DisplayAgent::codex)).state, AgentState::working);
    EXPECT_EQ(metrics.scoped(MetricsScope::of(DisplayAgent::mock)).sessionMeteredTokens, 1500);
    EXPECT_EQ(codexEvents, 1);
}

// A launched core in a temporary home, its OTel receiver on an ephemeral port.
class AppCoreTest : public testing::Test {
protected:
    mutable ManualClock clock{QDateTime::currentDateTimeUtc()};
    QTemporaryDir home;
    MemorySettingsStore defaults;
    std::unique_ptr<AppCore> core;

    AppEnvironment environment() const
    {
        AppEnvironment environment;
        environment.homeDir = home.path();
        environment.supportDir = home.filePath("data/Corvane");
        environment.otelPort = 0;
        environment.clock = &clock;
        return environment;
    }

    void launch()
    {
        QDir().mkpath(home.filePath(".claude/projects"));
        core = std::make_unique<AppCore>(defaults, environment());
        core->launch();
        ASSERT_TRUE(waitUntil([&] { return core->adapters()->otelListening() && core->adapters()->notifyListening(); }));
    }

    void installCodexConfig() const
    {
        const auto result = CodexConfigWriter::install(home.filePath(".codex/config.toml"), "http://127.0.0.1:4318",
                                                       environment().inSupportDir("corvane-notify.sh"),
                                                       QDateTime::currentDateTime());
        ASSERT_EQ(result.kind, CodexConfigWriter::InstallResult::Kind::installed);
    }

    CodexTelemetryHealth::Status health() const { return core->codexHealth().snapshot().status; }

    int mockModelAnnouncements = 0;
    void countMockStarts()
    {
        QObject::connect(&core->bus(), &EventBus::eventPublished, core.get(), [this](const AgentEvent &e) {
            if (e.source == AgentSource::mock && std::holds_alternative<ModelInfo>(e.kind))
                ++mockModelAnnouncements;
        });
    }
};

TEST_F(AppCoreTest, CodexEventsRefreshTheHealthOnceShortlyAfterClaudeCodeEventsDoNot)
{
    installCodexConfig();
    launch();
    ASSERT_TRUE(waitUntil([&] { return health() == CodexTelemetryHealth::Status::restartNeeded; }))
        << "a listener's readiness refreshes the verdict";
    EXPECT_TRUE(core->isHealthTimerActive());

    // A Codex event already in the store shows only once something refreshes the verdict.
    core->store()->insert(AgentEvent::make(AgentSource::codexOtel, "earlier", TurnStarted{}, clock.now()), std::nullopt);
    core->bus().publish(event(AgentSource::claudeCodeJsonl, TurnStarted{}, "c1"));
    clock.advance(Delays().codexHealthAfterEvents);
    EXPECT_EQ(health(), CodexTelemetryHealth::Status::restartNeeded);

    // A burst asks many times; the config is read and the store queried once, a moment later.
    for (int i = 0; i < 50; ++i)
        core->bus().publish(AgentEvent::make(AgentSource::codexNotify, "s1", TurnStarted{}, clock.now()));
    EXPECT_EQ(health(), CodexTelemetryHealth::Status::restartNeeded);
    clock.advance(Delays().codexHealthAfterEvents - 1ms);
    EXPECT_EQ(health(), CodexTelemetryHealth::Status::restartNeeded);
    clock.advance(1ms);
    EXPECT_EQ(health(), CodexTelemetryHealth::Status::ready);
    EXPECT_EQ(core->codexHealth().snapshot().detail, "last just now");
}

TEST_F(EventPipelineTest, AModelIsStoredOncePerChangeOfTheSessionsModel)
{
    MetricsEngine metrics(pricing, store.get());
    EventPipeline pipeline(bus, metrics, store.get(), {});
    for (const char *model : {"claude-sonnet-4-5", "claude-sonnet-4-5", "claude-opus-4-5", "claude-opus-4-5"})
        bus.publish(event(AgentSource::claudeCodeJsonl, ModelInfo{model}, "c1"));
    bus.publish(event(AgentSource::claudeCodeJsonl, ModelInfo{"claude-opus-4-5"}, "c2")); // another session
    QStringList stored;
    for (const StoredAgentEvent &row : store->recentEvents(10))
        stored << std::get<ModelInfo>(row.event.kind).model;
    EXPECT_EQ(stored, QStringList({"claude-sonnet-4-5", "claude-opus-4-5", "claude-opus-4-5"}));
    EXPECT_EQ(metrics.scoped(MetricsScope::of(DisplayAgent::claudeCode)).model, "claude-opus-4-5");
}

TEST_F(AppCoreTest, TurnsOpenAtExitAreStoredAsEndedAndAStaleOneEndsAtTheNextLaunch)
{
    launch();
    core->bus().publish(AgentEvent::make(AgentSource::codexOtel, "c", TokenUsage{100, 10, std::nullopt}, clock.now()));
    ASSERT_EQ(core->metrics()->agents().at(DisplayAgent::codex).state, AgentState::working);
    core.reset(); // the quit path, as after SIGTERM, SIGINT or Quit
    launch();
    EXPECT_EQ(core->metrics()->agents().at(DisplayAgent::codex).state, AgentState::idle);
    EXPECT_TRUE(core->metrics()->turnsEndedAtHydration().isEmpty()) << "the end was stored at exit";

    // A turn stored as open by an older build ends at launch, and that end is stored too.
    core->store()->insert(AgentEvent::make(AgentSource::claudeCodeJsonl, "s", TurnStarted{}, clock.now().addSecs(1)),
                          std::nullopt);
    const qint64 rows = core->store()->eventCount();
    core.reset(); // this run never saw that turn, so its exit ends nothing
    clock.advance(std::chrono::minutes(1));
    launch();
    EXPECT_EQ(core->metrics()->agents().at(DisplayAgent::claudeCode).state, AgentState::idle);
    EXPECT_EQ(core->store()->eventCount(), rows + 1);
}

TEST_F(AppCoreTest, MockDataSwitchStartsAndStopsTheSyntheticAgentOnce)
{
    launch();
    countMockStarts();
    EXPECT_EQ(core->adapters()->mock(), nullptr);

    core->settings().setUseMockData(true);
    EXPECT_EQ(core->adapters()->mock(), nullptr) << "the restart is deferred to a later turn";
    ASSERT_TRUE(waitUntil([&] { return core->adapters()->mock() != nullptr; }));
    const MockAdapter *started = core->adapters()->mock();
    EXPECT_TRUE(started->isRunning());
    EXPECT_EQ(mockModelAnnouncements, 1);

    core->settings().setUseMockData(true);
    spin(50ms);
    EXPECT_EQ(core->adapters()->mock(), started) << "the same value changes nothing";
    EXPECT_EQ(mockModelAnnouncements, 1);

    core->settings().setUseMockData(false);
    ASSERT_TRUE(waitUntil([&] { return core->adapters()->mock() == nullptr; }));
    EXPECT_EQ(mockModelAnnouncements, 1);
    EXPECT_TRUE(core->adapters()->claude() && core->adapters()->otelListening()) << "real adapters untouched";
}

TEST_F(AppCoreTest, MockDataOnAtLaunchRunsBesideTheRealAdapters)
{
    AppSettings(defaults).setUseMockData(true);
    launch();
    ASSERT_NE(core->adapters()->mock(), nullptr);
    EXPECT_TRUE(core->adapters()->mock()->isRunning());
    EXPECT_NE(core->adapters()->claude(), nullptr);
    EXPECT_NE(core->adapters()->codexDesktop(), nullptr);
}

TEST_F(AppCoreTest, RawOTelLoggingFollowsTheSettingWithoutRestartingTheListener)
{
    launch();
    CodexOTelAdapter *otel = core->adapters()->otel();
    const quint16 port = otel->listeningPort();
    EXPECT_FALSE(otel->debugLogRawPayloads());
    core->settings().setDebugLogRawOTel(true);
    EXPECT_TRUE(otel->debugLogRawPayloads());
    EXPECT_EQ(otel->listeningPort(), port);
    EXPECT_TRUE(otel->isListening());
}

// The notice is the one a damaged store found at launch gives, in the menu and on stderr.
TEST_F(AppCoreTest, AStoreFoundDamagedByAWriteIsMovedAsideAndToldOnce)
{
    QDir().mkpath(environment().supportDir);
    ASSERT_TRUE(EventStore::open(environment().eventsDatabase(), clock));
    TestSupport::scrambleAfterFirstPage(environment().eventsDatabase());
    launch();
    ASSERT_TRUE(core->storeProblem().isEmpty()) << "the damage is out of the open's sight";
    int changes = 0;
    QObject::connect(core.get(), &AppCore::storeProblemChanged, [&changes] { ++changes; });

    core->bus().publish(event(AgentSource::codexOtel, TokenUsage{100, 10, std::nullopt}));
    core->bus().publish(event(AgentSource::codexOtel, TokenUsage{200, 10, std::nullopt}));
    ASSERT_TRUE(waitUntil([&] { return core->store()->eventCount() == 2; }));
    EXPECT_TRUE(core->storeProblem().startsWith(
        QStringLiteral("events.sqlite could not be read as a database; it was moved aside as events.sqlite.corrupt-")))
        << qPrintable(core->storeProblem());
    EXPECT_EQ(changes, 1);
}

TEST_F(AppCoreTest, RunsWithoutAStoreWhenTheDatabaseCannotBeOpened)
{
    installCodexConfig();
    QDir().mkpath(environment().eventsDatabase()); // a directory where the database should be
    launch();
    EXPECT_EQ(core->store(), nullptr);
    core->bus().publish(event(AgentSource::codexOtel, TokenUsage{100, 10, std::nullopt}));
    EXPECT_EQ(core->metrics()->scoped(MetricsScope::of(DisplayAgent::codex)).sessionMeteredTokens, 110);
    // The listener's readiness comes from its thread.
    EXPECT_TRUE(waitUntil([&] { return health() == CodexTelemetryHealth::Status::restartNeeded; }))
        << "no store: no latest event time";
}

} // namespace

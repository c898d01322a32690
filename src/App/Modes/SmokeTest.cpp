#include "App/Modes/SmokeTest.h"

#include "Ads/AdLedger.h"
#include "Ads/MockAdServer.h"
#include "App/Core/AppEnvironment.h"
#include "App/Core/AppPaths.h"
#include "App/Modes/ReportExport.h"
#include "App/Core/AutostartEntry.h"
#include "App/Core/CommandLine.h"
#include "Codex/CodexConfigWriter.h"
#include "HUD/HUDWindowController.h"
#include "Persistence/EventStore.h"
#include "Telemetry/CodexTelemetryHealth.h"
#include "Platform/FakeWindowSystem.h"
#include "Telemetry/Adapters/ClaudeTranscriptLine.h"
#include "Telemetry/Adapters/CodexNotifyAdapter.h"
#include "Telemetry/Adapters/CodexOTelAdapter.h"
#include "Telemetry/EventBus.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"
#include "Tracking/WindowTracker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QHostAddress>
#include <QLocalSocket>
#include <QTcpSocket>
#include <QThread>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>

namespace SmokeTest {

namespace {

using Result = std::optional<QString>;

QString subdir(const QString &workDir, const char *name)
{
    const QString path = workDir + QLatin1Char('/') + QLatin1String(name);
    QDir().mkpath(path);
    return path;
}

// Runs the event loop until done() holds or ms pass.
bool waitFor(const std::function<bool()> &done, int ms = 5000)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Every event published on the bus, in order.
struct BusRecorder {
    explicit BusRecorder(EventBus &bus)
    {
        QObject::connect(&bus, &EventBus::eventPublished, &context, [this](const AgentEvent &e) { events << e; });
    }
    template <typename Kind>
    const AgentEvent *first() const
    {
        for (const AgentEvent &event : events) {
            if (std::holds_alternative<Kind>(event.kind))
                return &event;
        }
        return nullptr;
    }
    QObject context;
    QList<AgentEvent> events;
};

Result otlpOverSocket(const QString &workDir)
{
    EventBus bus;
    BusRecorder recorder(bus);
    CodexOTelAdapter adapter(&bus, 0, workDir + QStringLiteral("/otel-raw.log"));
    adapter.start();
    if (!waitFor([&] { return adapter.isListening() && adapter.listeningPort() != 0; }))
        return QStringLiteral("the receiver did not listen on loopback");
    const QByteArray body = R"({"resourceLogs":[{"scopeLogs":[{"logRecords":[{"attributes":[)"
                            R"({"key":"conversation.id","value":{"stringValue":"smoke"}},)"
                            R"({"key":"model","value":{"stringValue":"gpt-5"}},)"
                            R"({"key":"event.name","value":{"stringValue":"codex.sse_event"}},)"
                            R"({"key":"event.kind","value":{"stringValue":"response.completed"}},)"
                            R"({"key":"input_token_count","value":{"intValue":"120"}},)"
                            R"({"key":"output_token_count","value":{"intValue":"30"}}]}]}]}]})";
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, adapter.listeningPort());
    if (!client.waitForConnected(3000))
        return QStringLiteral("could not connect to the receiver");
    client.write("POST /v1/logs HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray answer;
    if (!waitFor([&] { answer += client.readAll(); return answer.contains("\r\n\r\n"); }))
        return QStringLiteral("no answer from the receiver");
    if (!answer.startsWith("HTTP/1.1 200"))
        return QStringLiteral("the receiver answered ") + QString::fromUtf8(answer.left(answer.indexOf('\r')));
    if (!waitFor([&] { return recorder.first<TokenUsage>() != nullptr; }))
        return QStringLiteral("the request published no token usage");
    const auto &usage = std::get<TokenUsage>(recorder.first<TokenUsage>()->kind);
    adapter.stop();
    if (usage.inputTokens != 120 || usage.outputTokens != 30)
        return QStringLiteral("token usage read as %1 in / %2 out").arg(usage.inputTokens).arg(usage.outputTokens);
    return {};
}

Result notifyLine(const QString &workDir)
{
    EventBus bus;
    BusRecorder recorder(bus);
    CodexNotifyAdapter adapter(&bus, workDir + QStringLiteral("/notify.sock"));
    adapter.start();
    if (!waitFor([&] { return adapter.isListening(); }))
        return QStringLiteral("the notify socket did not listen");
    QLocalSocket client;
    client.connectToServer(adapter.socketPath());
    if (!client.waitForConnected(3000))
        return QStringLiteral("could not connect to the notify socket");
    client.write(R"({"type":"agent-turn-complete","thread-id":"smoke-thread"})" "\n");
    client.waitForBytesWritten(3000);
    client.disconnectFromServer();
    if (!waitFor([&] { return recorder.first<TurnEnded>() != nullptr; }))
        return QStringLiteral("the line published no turn end");
    const QString session = recorder.first<TurnEnded>()->sessionId;
    adapter.stop();
    if (session != QLatin1String("smoke-thread"))
        return QStringLiteral("the turn end belongs to session ") + session;
    return {};
}

Result supportDirectory(const QString &)
{
    const AppEnvironment environment = AppEnvironment::fromProcess();
    const QString &dir = environment.supportDir;
    if (!dir.startsWith(QDir::homePath() + QLatin1Char('/')))
        return QStringLiteral("support directory resolved outside the temporary home: ") + dir;
    const PricingTable pricing(environment.pricingFile()); // writes the built-in table when missing
    AppPaths::seedIfMissing(QStringLiteral("campaigns"), QStringLiteral("json"), environment.campaignsFile());
    for (const QString &file : {environment.pricingFile(), environment.campaignsFile()}) {
        if (QFileInfo(file).size() == 0)
            return QStringLiteral("seed file missing: ") + file;
    }
    return {};
}

Result priceTable(const QString &workDir)
{
    const QString path = subdir(workDir, "pricing") + QStringLiteral("/pricing.json");
    const PricingTable table(path);
    const double cost = table.cost(QStringLiteral("gpt-5"), 1'000'000, 1'000'000, 0, 0);
    if (!(cost > 0) || !std::isfinite(cost))
        return QStringLiteral("a million tokens of gpt-5 cost ") + QString::number(cost);
    const double cached = table.cost(QStringLiteral("gpt-5"), 1'000'000, 0, 1'000'000, 0);
    if (!(cached < table.cost(QStringLiteral("gpt-5"), 1'000'000, 0, 0, 0)))
        return QStringLiteral("cached input is not cheaper than fresh input");
    return {};
}

Result storeRoundTrip(const QString &workDir)
{
    const QString path = subdir(workDir, "store") + QStringLiteral("/events.sqlite");
    const AgentEvent event = AgentEvent::make(AgentSource::claudeCodeJsonl, QStringLiteral("smoke-session"),
                                              TokenUsage{1200, 300, 200});
    {
        auto store = EventStore::open(path);
        if (!store)
            return QStringLiteral("the database did not open");
        if (!store->insert(event, QStringLiteral("claude-sonnet-4")))
            return QStringLiteral("the insert failed");
        store->insert(event, QStringLiteral("claude-sonnet-4")); // held already: ignored
    }
    auto reopened = EventStore::open(path);
    if (!reopened)
        return QStringLiteral("the database did not reopen");
    const QList<StoredAgentEvent> back = reopened->recentSessionEvents(24);
    if (back.size() != 1 || back.front().event.id != event.id)
        return QStringLiteral("replay gave %1 events instead of the one stored").arg(back.size());
    if (reopened->eventCount() != 1)
        return QStringLiteral("a repeated event was stored twice");
    return {};
}

Result transcriptLine(const QString &)
{
    const QByteArray line = R"({"type":"assistant","uuid":"u-1","sessionId":"smoke","timestamp":"2026-01-01T10:00:00.000Z",)"
                            R"("message":{"id":"m-1","model":"claude-sonnet-4","content":[{"type":"text","text":"secret"}],)"
                            R"("usage":{"input_tokens":100,"output_tokens":40,"cache_read_input_tokens":900}}})";
    const ClaudeTranscriptLine parsed =
        ClaudeTranscriptLine::parse(line, QStringLiteral("fallback"), QDateTime::currentDateTimeUtc());
    for (const AgentEvent &event : parsed.events) {
        if (const auto *usage = std::get_if<TokenUsage>(&event.kind)) {
            if (usage->outputTokens != 40 || usage->inputTokens != 1000)
                return QStringLiteral("token usage read as %1 in / %2 out").arg(usage->inputTokens).arg(usage->outputTokens);
            return {};
        }
    }
    return QStringLiteral("no token usage among %1 events").arg(parsed.events.size());
}

Result metricsEngine(const QString &workDir)
{
    const PricingTable pricing(subdir(workDir, "metrics") + QStringLiteral("/pricing.json"));
    MetricsEngine engine(pricing, nullptr);
    engine.handle(AgentEvent::make(AgentSource::mock, QStringLiteral("m"), TurnStarted{}));
    engine.handle(AgentEvent::make(AgentSource::mock, QStringLiteral("m"), TokenUsage{500, 250, std::nullopt}));
    if (!engine.anyAgentWorking())
        return QStringLiteral("a started turn is not working");
    const ScopedMetrics metrics = engine.scoped(MetricsScope::of(DisplayAgent::mock));
    if (metrics.sessionTotalTokens != 750)
        return QStringLiteral("session total is %1, not 750").arg(metrics.sessionTotalTokens);
    return {};
}

Result windowTracking(const QString &)
{
    FakeWindowSystem windows;
    windows.screenHeight = 1000;
    const RunningApplication app{QStringLiteral("XTerm"), 4242};
    WindowInfo window;
    window.handle = 7;
    window.frame = QRectF(100, 200, 800, 500);
    window.isMinimized = false;
    window.title = QStringLiteral("shell");
    windows.addApplication(app, {window, window, {window}});
    WindowTracker tracker(windows, [] { return QStringLiteral("XTerm"); });
    std::optional<TargetWindowState> reported;
    tracker.onChange = [&](const TargetWindowState &state) { reported = state; };
    tracker.attach();
    tracker.refreshNow();
    if (!reported || !reported->frame)
        return QStringLiteral("no frame reported for the target window");
    // Top-left (100, 200) on a 1000-high screen is bottom-left y = 1000 - 200 - 500.
    if (*reported->frame != QRectF(100, 300, 800, 500))
        return QStringLiteral("frame reported at the wrong place");
    return {};
}

// Frames are bottom-left origin: "above" starts at the target's top edge.
Result dockingGeometry(const QString &)
{
    struct Case {
        QRectF target;
        DockEdge edge;
        bool expanded;
        QRectF expected;
    };
    const Case cases[] = {
        {{100, 300, 800, 500}, DockEdge::above, false, {100, 800, 800, 44}},
        {{100, 300, 500, 500}, DockEdge::above, false, {100, 800, 660, 44}},
        {{100, 300, 800, 500}, DockEdge::below, true, {100, 10, 800, 290}},
        {{500, 300, 800, 500}, DockEdge::left, false, {120, 756, 380, 44}},
        {{100, 300, 800, 500}, DockEdge::right, false, {900, 756, 380, 44}},
    };
    for (const Case &c : cases) {
        const QRectF frame = HUDWindowController::dockedFrame(c.target, c.edge, c.expanded);
        if (frame != c.expected)
            return QStringLiteral("docked %1 at (%2, %3, %4 × %5)")
                .arg(rawValue(c.edge))
                .arg(frame.x())
                .arg(frame.y())
                .arg(frame.width())
                .arg(frame.height());
    }
    return {};
}

Result ledgerAndLocalAdServer(const QString &workDir)
{
    const QString campaigns = workDir + QStringLiteral("/campaigns.json");
    AppPaths::seedIfMissing(QStringLiteral("campaigns"), QStringLiteral("json"), campaigns);
    MockAdServer server(campaigns);
    const std::optional<AdCreative> creative = server.serveSync();
    if (!creative)
        return QStringLiteral("the seeded campaigns served nothing");
    AdLedger ledger(workDir + QStringLiteral("/ad-ledger.jsonl"));
    const AdEvent tick = AdEvent::make(creative->id, AdEventType::viewTick, QDateTime::currentDateTimeUtc(),
                                       QStringLiteral("mock"));
    ledger.append(tick);
    ledger.append(tick);
    const QList<AdEvent> events = AdLedger(ledger.path()).loadEvents();
    if (events.size() != 1 || events.front().eventId != tick.eventId)
        return QStringLiteral("the ledger holds %1 events instead of the one appended").arg(events.size());
    const double before = creative->remainingBudget;
    server.postEventsSync({tick});
    const MockAdServer reread(campaigns);
    for (const AdCreative &campaign : reread.campaigns()) {
        if (campaign.id == creative->id && !(campaign.remainingBudget < before))
            return QStringLiteral("a view tick did not spend the campaign's budget");
    }
    return {};
}

Result reportGeneration(const QString &workDir)
{
    const QString campaigns = workDir + QStringLiteral("/campaigns.json");
    AppPaths::seedIfMissing(QStringLiteral("campaigns"), QStringLiteral("json"), campaigns);
    const QString ledgerPath = workDir + QStringLiteral("/ad-ledger.jsonl");
    const QString reports = workDir + QStringLiteral("/Reports");
    QDir().mkpath(reports);
    AdLedger ledger(ledgerPath);
    const QDateTime now = QDateTime::currentDateTime();
    ledger.append(AdEvent::make(MockAdServer(campaigns).campaigns().constFirst().id, AdEventType::viewTick,
                                now.addSecs(-60), QStringLiteral("mock")));
    const AdPilotReport::Files files{ledgerPath, campaigns, workDir + QStringLiteral("/remote-ad-events.jsonl"),
                                     workDir + QStringLiteral("/remote-ad-creatives.json"),
                                     workDir + QStringLiteral("/events.sqlite"), reports};
    const ReportExport::Outcome outcome =
        ReportExport::generate(now, files, [](const QDateTime &, const QDateTime &) {
            return std::optional<QList<AdPilotReport::TelemetrySummary>>{};
        });
    if (outcome.reveal.size() != 2)
        return outcome.alert.informative;
    for (const QString &file : outcome.reveal) {
        if (QFileInfo(file).size() == 0)
            return QStringLiteral("empty report file ") + file;
    }
    return {};
}

Result configRoundTrip(const QString &workDir)
{
    const QString config = workDir + QStringLiteral("/.codex/config.toml");
    QDir().mkpath(QFileInfo(config).absolutePath());
    const QByteArray original = "model = \"gpt-5\"\n[tui]\nnotifications = true\n";
    {
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) || file.write(original) != original.size())
            return QStringLiteral("could not write the sample configuration");
    }
    const auto result = CodexConfigWriter::install(config, QStringLiteral("http://127.0.0.1:4318"),
                                                   workDir + QStringLiteral("/corvane-notify.sh"),
                                                   QDateTime::currentDateTime());
    if (result.kind != CodexConfigWriter::InstallResult::Kind::installed || !QFileInfo::exists(result.backup))
        return QStringLiteral("the install did not report a backup");
    const CodexConfigWriter::Status status = CodexConfigWriter::status(config);
    if (!status.installed || !status.notifyInstalled)
        return QStringLiteral("the managed block or notify line is missing after install");
    if (!CodexConfigWriter::revert(config))
        return QStringLiteral("the revert found nothing to remove");
    QFile file(config);
    if (!file.open(QIODevice::ReadOnly) || file.readAll() != original)
        return QStringLiteral("the reverted file differs from the original");
    return {};
}

Result codexHealth(const QString &)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    CodexConfigWriter::Status installed;
    installed.configExists = installed.installed = installed.notifyInstalled = true;
    using Status = CodexTelemetryHealth::Status;
    if (CodexTelemetryHealth::evaluate({}, true, true, std::nullopt, now).status != Status::setupNeeded)
        return QStringLiteral("a missing configuration is not \"setup needed\"");
    if (CodexTelemetryHealth::evaluate(installed, false, true, now, now).status != Status::listenerDown)
        return QStringLiteral("a closed receiver is not \"listener down\"");
    if (CodexTelemetryHealth::evaluate(installed, true, true, now.addSecs(-30), now).status != Status::ready)
        return QStringLiteral("fresh telemetry is not \"ready\"");
    if (CodexTelemetryHealth::evaluate(installed, true, true, now.addSecs(-3600), now).status != Status::stale)
        return QStringLiteral("hour-old telemetry is not \"stale\"");
    return {};
}

Result autostartEntry(const QString &)
{
    const QString entry = AutostartEntry::path();
    if (const std::optional<QString> error = AutostartEntry::enable(entry, QStringLiteral("/usr/bin/corvane")))
        return *error;
    if (!AutostartEntry::isEnabled(entry))
        return QStringLiteral("could not write ") + entry;
    if (!AutostartEntry::disable(entry) || AutostartEntry::isEnabled(entry))
        return QStringLiteral("could not remove ") + entry;
    return {};
}

void isolateEnvironment(const QString &root)
{
    qputenv("HOME", root.toUtf8());
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = root + QLatin1Char('/') + QString::fromLatin1(name).toLower();
        QDir().mkpath(dir);
        qputenv(name, dir.toUtf8());
    }
}

} // namespace

std::vector<Check> checks()
{
    return {
        {QStringLiteral("support directory"), supportDirectory},
        {QStringLiteral("price table"), priceTable},
        {QStringLiteral("store round trip"), storeRoundTrip},
        {QStringLiteral("OTLP mapping over a real socket"), otlpOverSocket},
        {QStringLiteral("notify line"), notifyLine},
        {QStringLiteral("transcript line"), transcriptLine},
        {QStringLiteral("metrics engine"), metricsEngine},
        {QStringLiteral("window tracking"), windowTracking},
        {QStringLiteral("docking geometry"), dockingGeometry},
        {QStringLiteral("config install/revert round trip"), configRoundTrip},
        {QStringLiteral("health"), codexHealth},
        {QStringLiteral("ledger and local ad server"), ledgerAndLocalAdServer},
        {QStringLiteral("report generation"), reportGeneration},
        {QStringLiteral("autostart entry"), autostartEntry},
    };
}

int run()
{
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/corvane-smoke-XXXXXX"));
    if (!root.isValid())
        return CommandLine::errorExit(QStringLiteral("could not create a temporary directory"));
    isolateEnvironment(root.path());
    bool allPassed = true;
    for (const Check &check : checks()) {
        const QString workDir = root.path() + QStringLiteral("/work/") + check.name;
        QDir().mkpath(workDir);
        Result failure;
        try {
            failure = check.run(workDir);
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        }
        allPassed = allPassed && !failure;
        CommandLine::printLines(check.name + (failure ? QStringLiteral(": FAILED — ") + *failure : QStringLiteral(": ok"))
                                + QLatin1Char('\n'));
    }
    return allPassed ? 0 : 1;
}

} // namespace SmokeTest

#include "App/Core/AppCore.h"

#include "App/Core/AppPaths.h"
#include "App/Core/EventPipeline.h"
#include "Codex/CodexConfigWriter.h"
#include "Persistence/EventStore.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPointer>

#include <array>
#include <cstdio>

AppCore::AppCore(SettingsStore &defaults, AppEnvironment environment, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
    , m_settings(defaults)
{
}

AppCore::~AppCore()
{
    storePendingTurnEnds();
    // Publishers waiting for room in the bus's queue must not hold their threads' shutdown.
    m_bus.close();
}

void AppCore::storePendingTurnEnds()
{
    // The channels' end timers die with the process; the ends they would have stored are
    // stored now, so the next start does not replay these turns as running.
    if (m_metrics && m_pipeline)
        m_pipeline->deliver(m_metrics->pendingTurnEnds(m_environment.clock->now()));
}

void AppCore::storeRuleEndedTurn(const AgentEvent &event)
{
    if (m_store)
        m_store->insert(event, std::nullopt);
}

void AppCore::launch()
{
    if (m_launched)
        return;
    m_launched = true;

    AppPaths::ensurePrivateDirectory(m_environment.supportDir);
    tell(AppPaths::seedIfMissing(QStringLiteral("campaigns"), QStringLiteral("json"), m_environment.campaignsFile()));
    m_pricing = std::make_unique<PricingTable>(m_environment.pricingFile());
    tell(m_pricing->writeProblem());
    openStore();

    m_adapters = std::make_unique<AdapterSet>(
        m_bus, AdapterSet::Locations{m_environment.homeDir, m_environment.claudeProjectsDir(),
                                     m_environment.notifySocket(), m_environment.otelDebugLog(),
                                     m_environment.otelPort},
        m_environment);
    AdapterSet *adapters = m_adapters.get();
    m_metrics = std::make_unique<MetricsEngine>(*m_pricing, m_store.get(),
                                                [adapters] { return adapters->codexCurrentThreadId(); },
                                                m_environment);

    for (const AgentEvent &ended : m_metrics->turnsEndedAtHydration())
        storeRuleEndedTurn(ended);
    connect(m_metrics.get(), &MetricsEngine::turnEndedByRule, this, &AppCore::storeRuleEndedTurn);
    m_pipeline = std::make_unique<EventPipeline>(m_bus, *m_metrics, m_store.get(), [this] { refreshCodexHealthSoon(); });
    installSettingsSubscriptions();

    // Listeners report readiness from their own threads; the refresh belongs on this one.
    const QPointer<AppCore> self(this);
    AdapterSet::HistoryLinkFactory history;
    if (m_store)
        history = [this](AgentSource source) { return historyLink(source); };
    m_adapters->start(m_settings.useMockData(), m_settings.debugLogRawOTel(), [self] {
        QMetaObject::invokeMethod(
            self.data(), [self] { if (self) self->refreshCodexHealth(); }, Qt::QueuedConnection);
    }, history);
    refreshCodexHealth();

    m_healthTimer = m_environment.clock->createTimer(m_environment.delays.codexHealthRefresh,
                                                     Clock::Repeat::everyInterval, this, [this] {
                                                         if (m_store)
                                                             m_store->retryUnstored();
                                                         refreshCodexHealth();
                                                     });
    m_healthTimer->start();
    // A burst of Codex events reads the config and queries the store once, not once per event.
    m_eventHealthRefresh = m_environment.clock->createTimer(m_environment.delays.codexHealthAfterEvents,
                                                            Clock::Repeat::once, this, [this] { refreshCodexHealth(); });

    m_metrics->startTicking();
    m_settings.followStoreEdits();
}

void AppCore::openStore()
{
    EventStore::Opened opened = EventStore::openRecovering(m_environment.eventsDatabase(), *m_environment.clock);
    m_store = std::move(opened.store);
    if (!opened.movedAside.isEmpty())
        noteMovedAside(opened.movedAside);
    if (!m_store) {
        m_storeNotice = QStringLiteral("events are not stored: ") + opened.failure;
        tell(m_storeNotice);
        return;
    }
    // Said when writes start failing and again when they work, never once per event.
    m_store->setWriteProblemObserver([this](const std::optional<QString> &problem) {
        tell(problem ? *problem + QStringLiteral("; retrying") : QStringLiteral("events are stored again"));
        Q_EMIT storeProblemChanged();
    });
    m_store->setMovedAsideObserver([this](const QString &aside) {
        noteMovedAside(aside);
        Q_EMIT storeProblemChanged();
    });
}

void AppCore::noteMovedAside(const QString &aside)
{
    m_storeNotice = QStringLiteral("%1 could not be read as a database; it was moved aside as %2 and a new one started")
                        .arg(QFileInfo(m_environment.eventsDatabase()).fileName(), QFileInfo(aside).fileName());
    tell(m_storeNotice);
}

HistoryLink AppCore::historyLink(AgentSource source)
{
    HistoryLink link;
    link.known = m_store->filePositions();
    // The import writes from the adapter's thread through a connection of its own.
    link.openSink = [path = m_environment.eventsDatabase(), clock = m_environment.clock]() -> std::unique_ptr<HistorySink> {
        return EventStore::open(path, *clock);
    };
    link.savePosition = [store = m_store.get()](const FilePosition &position, const CountedIdentities &counted) {
        store->saveFilePosition(position, counted);
    };
    const QPointer<AppCore> self(this);
    link.onProgress = [self, source](const HistoryImport::Progress &progress) {
        QMetaObject::invokeMethod(
            self.data(), [self, source, progress] { if (self) self->noteImportProgress(source, progress); },
            Qt::QueuedConnection);
    };
    return link;
}

void AppCore::noteImportProgress(AgentSource source, const HistoryImport::Progress &progress)
{
    m_historyImport[source] = progress;
    if (progress.problem)
        tell(*progress.problem);
    // Imported rows reach the sessions and the day lists (totals, charts) at once.
    if (progress.finished && m_metrics)
        m_metrics->adoptStoredSessions();
    Q_EMIT historyImportChanged();
}

void AppCore::importHistory(const std::optional<qint64> &days)
{
    if (!m_adapters || !m_store)
        return;
    const std::optional<QDateTime> since =
        days ? std::optional(m_environment.clock->now().addDays(-*days)) : std::nullopt;
    m_historyImport[AgentSource::claudeCodeJsonl] = {};
    m_historyImport[AgentSource::codexDesktopSession] = {};
    m_adapters->claude()->importHistory(since);
    m_adapters->codexDesktop()->importHistory(since);
}

HistoryImport::Progress AppCore::historyImportTotal() const
{
    QList<HistoryImport::Progress> parts;
    for (const auto &[source, progress] : m_historyImport)
        parts.append(progress);
    return HistoryImport::Progress::sum(parts);
}

QString AppCore::storeProblem() const
{
    if (m_store && m_store->writeProblem())
        return *m_store->writeProblem();
    return m_storeNotice;
}

void AppCore::tell(const std::optional<QString> &problem)
{
    if (problem)
        std::fprintf(stderr, "corvane: %s\n", qPrintable(*problem));
}

void AppCore::installSettingsSubscriptions()
{
    m_deliveredUseMockData = m_settings.useMockData();
    connect(&m_settings, &AppSettings::useMockDataChanged, this, &AppCore::onUseMockDataChanged);
    connect(&m_settings, &AppSettings::debugLogRawOTelChanged, this,
            [this] { m_adapters->setDebugLogRawOTel(m_settings.debugLogRawOTel()); });
}

void AppCore::onUseMockDataChanged()
{
    const bool value = m_settings.useMockData();
    if (value == m_deliveredUseMockData)
        return;
    m_deliveredUseMockData = value;
    // Deferred: the handler runs after the change that triggered it has been stored.
    QMetaObject::invokeMethod(this, &AppCore::restartAdapters, Qt::QueuedConnection);
}

void AppCore::restartAdapters()
{
    if (m_adapters)
        m_adapters->restartMock(m_settings.useMockData());
}

void AppCore::refreshCodexHealthSoon()
{
    if (!m_eventHealthRefresh->isActive())
        m_eventHealthRefresh->start();
}

void AppCore::refreshCodexHealth()
{
    const CodexConfigWriter::Status config = CodexConfigWriter::status(m_environment.codexConfigFile());
    const bool otelListening = m_adapters && m_adapters->otelListening();
    const bool notifyListening = m_adapters && m_adapters->notifyListening();
    const std::optional<QDateTime> latest =
        m_store ? m_store->latestEventTimestamp(CodexTelemetryHealth::codexSources) : std::nullopt;
    m_codexHealth.refresh(config, otelListening, notifyListening, latest, m_environment.clock->now());
}

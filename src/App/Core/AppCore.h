#pragma once

#include "App/Core/AdapterSet.h"
#include "App/Core/AppEnvironment.h"
#include "Settings/AppSettings.h"
#include "Telemetry/CodexTelemetryHealth.h"
#include "Telemetry/EventBus.h"

#include <QObject>

#include <map>
#include <memory>

class EventPipeline;
class EventStore;
class MetricsEngine;
class PricingTable;
struct AgentEvent;

// The part of the application that runs with or without a screen: price table, event store,
// metrics engine, the bus and its pipeline, the adapters, the settings they follow and the Codex
// health verdict. The headless run owns one directly; the desktop delegate builds its HUD,
// tracker and menu around one.
class AppCore : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppCore)

public:
    // Builds only the settings, the bus and the health object; launch() does the rest.
    AppCore(SettingsStore &defaults, AppEnvironment environment, QObject *parent = nullptr);
    ~AppCore() override;

    // Seeds the support directory's files, builds every component in order, subscribes to the
    // bus and the settings, starts the adapters, the health timer (every
    // delays.codexHealthRefresh) and the metrics tick. Once.
    void launch();

    // Recomputes the Codex health from the config file, the listeners and the store.
    void refreshCodexHealth();
    // The same, once, delays.codexHealthAfterEvents from the first ask that finds none pending.
    void refreshCodexHealthSoon();
    // Applies the mock-data setting: the synthetic agent stops, and starts anew when it is on.
    void restartAdapters();

    const AppEnvironment &environment() const { return m_environment; }
    AppSettings &settings() { return m_settings; }
    EventBus &bus() { return m_bus; }
    CodexTelemetryHealth &codexHealth() { return m_codexHealth; }
    // Null before launch; store() also stays null when the database cannot be opened.
    PricingTable *pricing() const { return m_pricing.get(); }
    EventStore *store() const { return m_store.get(); }
    MetricsEngine *metrics() const { return m_metrics.get(); }
    AdapterSet *adapters() const { return m_adapters.get(); }
    bool isHealthTimerActive() const { return m_healthTimer && m_healthTimer->isActive(); }
    // What the user should know about the event store: why writes fail, that an unreadable
    // database was moved aside (at launch or when a write found it damaged), or why there is
    // none; empty when all is well.
    QString storeProblem() const;
    // The history import of each file-reading adapter, as last reported.
    const std::map<AgentSource, HistoryImport::Progress> &historyImport() const { return m_historyImport; }
    // The imports together; finished once every one is (also when none ran).
    HistoryImport::Progress historyImportTotal() const;
    // Asks the transcript and rollout readers to import what they have not counted (with days,
    // only files written in the last N days); the progress starts over as unfinished.
    void importHistory(const std::optional<qint64> &days);

Q_SIGNALS:
    void storeProblemChanged();
    void historyImportChanged();

private:
    void openStore();
    // Remembers and tells that an unreadable database was moved aside and a new one started.
    void noteMovedAside(const QString &aside);
    HistoryLink historyLink(AgentSource source);
    void noteImportProgress(AgentSource source, const HistoryImport::Progress &progress);
    void storePendingTurnEnds();
    void storeRuleEndedTurn(const AgentEvent &event);
    void installSettingsSubscriptions();
    void onUseMockDataChanged();
    // One line on standard error.
    static void tell(const std::optional<QString> &problem);

    AppEnvironment m_environment;
    AppSettings m_settings;
    EventBus m_bus;
    CodexTelemetryHealth m_codexHealth;
    std::unique_ptr<PricingTable> m_pricing;
    std::unique_ptr<EventStore> m_store;
    QString m_storeNotice;
    std::unique_ptr<MetricsEngine> m_metrics;
    std::unique_ptr<EventPipeline> m_pipeline;
    std::unique_ptr<AdapterSet> m_adapters; // after the bus and engine: its threads stop first
    Timer *m_healthTimer = nullptr;
    Timer *m_eventHealthRefresh = nullptr;
    bool m_deliveredUseMockData = false;
    std::map<AgentSource, HistoryImport::Progress> m_historyImport;
    bool m_launched = false;
};

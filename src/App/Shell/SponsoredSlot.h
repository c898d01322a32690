#pragma once

#include "Ads/AdLedger.h"
#include "Ads/ImpressionEngine.h"
#include "Ads/MockAdServer.h"
#include "App/Shell/AdBackendChoice.h"
#include "Settings/AppSettings.h"

#include <QObject>

#include <functional>
#include <memory>

class InputIdle;
class MetricsEngine;
class QNetworkAccessManager;

// The sponsored slot's parts: ledger, local and chosen backend and the impression engine, whose
// gates read the metrics engine and the HUD. Rebuilds the backend when the ad settings change.
class SponsoredSlot : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SponsoredSlot)

public:
    struct Files {
        QString ledger;
        QString campaigns;
        AdBackendChoice::RemoteFiles remote;
    };

    // Builds ledger, local backend, chosen backend and engine, and installs the turn and agent
    // gates; the HUD gate answers false until setHUDVisibleProvider.
    SponsoredSlot(AppSettings &settings, const MetricsEngine &metrics, const Files &files,
                  QNetworkAccessManager *session, const InputIdle *inputIdle = nullptr, const Environment &env = {},
                  QObject *parent = nullptr);
    ~SponsoredSlot() override;

    void setHUDVisibleProvider(std::function<bool()> provider);
    // A change of any of the four ad settings rebuilds the backend (the current values are not delivered).
    void subscribeToSettings();
    void start() { m_impressions->start(); }

    std::shared_ptr<AdServer> makeAdServer() const;
    void reloadAdServer();

    AdLedger &ledger() { return m_ledger; }
    ImpressionEngine &impressions() { return *m_impressions; }
    const std::shared_ptr<AdServer> &adServer() const { return m_adServer; }
    const std::shared_ptr<MockAdServer> &localAdServer() const { return m_localAdServer; }

    // "claudeCode", "codex", "mock" for the most recently active agent, else "unknown".
    static QString agentSourceText(const MetricsEngine &metrics);

private:
    AppSettings &m_settings;
    Files m_files;
    const Environment m_env;
    QNetworkAccessManager *m_session;
    AdLedger m_ledger;
    std::shared_ptr<MockAdServer> m_localAdServer;
    std::shared_ptr<AdServer> m_adServer;
    std::unique_ptr<ImpressionEngine> m_impressions;
};

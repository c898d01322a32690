#include "App/Shell/SponsoredSlot.h"

#include "Telemetry/MetricsEngine.h"

SponsoredSlot::SponsoredSlot(AppSettings &settings, const MetricsEngine &metrics, const Files &files,
                             QNetworkAccessManager *session, const InputIdle *inputIdle, const Environment &env,
                             QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_files(files)
    , m_env(env)
    , m_session(session)
    , m_ledger(files.ledger)
    , m_localAdServer(std::make_shared<MockAdServer>(files.campaigns))
{
    m_adServer = makeAdServer();
    m_impressions = std::make_unique<ImpressionEngine>(m_adServer, m_ledger, inputIdle, m_env);
    // The metrics engine outlives the slot (the delegate builds it first and drops it last).
    m_impressions->turnInFlightProvider = [&metrics] { return metrics.anyLiveTurn(); };
    m_impressions->agentSourceProvider = [&metrics] { return agentSourceText(metrics); };
    m_impressions->adsShownProvider = [&settings] { return settings.showAds(); };
}

SponsoredSlot::~SponsoredSlot() = default;

void SponsoredSlot::setHUDVisibleProvider(std::function<bool()> provider)
{
    m_impressions->hudVisibleProvider = std::move(provider);
}

void SponsoredSlot::subscribeToSettings()
{
    for (const auto signal : {&AppSettings::adBackendModeChanged, &AppSettings::remoteAdBaseURLChanged,
                              &AppSettings::remoteAdPublisherIDChanged, &AppSettings::remoteAdPlacementIDChanged})
        connect(&m_settings, signal, this, &SponsoredSlot::reloadAdServer);
}

std::shared_ptr<AdServer> SponsoredSlot::makeAdServer() const
{
    return AdBackendChoice::makeAdServer(m_settings, m_localAdServer, m_files.remote, m_session, *m_env.clock);
}

void SponsoredSlot::reloadAdServer()
{
    m_adServer = makeAdServer();
    if (m_impressions)
        m_impressions->replaceServer(m_adServer);
}

QString SponsoredSlot::agentSourceText(const MetricsEngine &metrics)
{
    if (const auto agent = metrics.mostRecentlyActiveAgent())
        return rawValue(*agent);
    return QStringLiteral("unknown");
}

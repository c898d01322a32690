#include "App/Core/AdapterSet.h"

#include "Telemetry/EventBus.h"

AdapterSet::AdapterSet(EventBus &bus, Locations locations, const Environment &env)
    : m_bus(bus)
    , m_locations(std::move(locations))
    , m_env(env)
{
}

AdapterSet::~AdapterSet() = default;

void AdapterSet::start(bool useMockData, bool debugLogRawOTel, const std::function<void()> &onListenerReady,
                       const HistoryLinkFactory &historyLink)
{
    if (useMockData) {
        m_mock = std::make_unique<MockAdapter>(m_bus, m_env);
        m_mock->start();
    }

    m_claude = std::make_unique<ClaudeCodeJSONLAdapter>(m_bus, m_locations.claudeRoot, m_env);
    if (historyLink)
        m_claude->setHistoryLink(historyLink(AgentSource::claudeCodeJsonl));
    m_claude->start();
    m_claudeHooks = std::make_unique<ClaudeCodeHookSource>(m_bus, m_env);

    m_otel = std::make_unique<CodexOTelAdapter>(&m_bus, m_locations.otelPort, m_locations.otelDebugLog, m_env);
    m_otel->setDebugLogRawPayloads(debugLogRawOTel);
    m_otel->setOnReady(onListenerReady);
    m_otel->start();

    m_notify = std::make_unique<CodexNotifyAdapter>(&m_bus, m_locations.notifySocket, m_env);
    m_notify->setOnReady(onListenerReady);
    m_notify->start();

    m_codexDesktop = std::make_unique<CodexDesktopSessionAdapter>(m_bus, m_locations.homeDir, m_env);
    if (historyLink)
        m_codexDesktop->setHistoryLink(historyLink(AgentSource::codexDesktopSession));
    m_codexDesktop->start();
}

void AdapterSet::restartMock(bool useMockData)
{
    if (m_mock) {
        m_mock->stop();
        m_mock.reset();
    }
    if (useMockData) {
        m_mock = std::make_unique<MockAdapter>(m_bus, m_env);
        m_mock->start();
    }
}

void AdapterSet::setDebugLogRawOTel(bool enabled)
{
    if (m_otel)
        m_otel->setDebugLogRawPayloads(enabled);
}

std::optional<QString> AdapterSet::codexCurrentThreadId() const
{
    return m_codexDesktop ? m_codexDesktop->currentUserThreadId() : std::nullopt;
}

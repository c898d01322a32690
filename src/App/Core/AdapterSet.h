#pragma once

#include "Telemetry/Adapters/ClaudeCodeHookSource.h"
#include "Telemetry/Adapters/ClaudeCodeJSONLAdapter.h"
#include "Telemetry/Adapters/CodexDesktopSessionAdapter.h"
#include "Telemetry/Adapters/CodexNotifyAdapter.h"
#include "Telemetry/Adapters/CodexOTelAdapter.h"
#include "Telemetry/Adapters/MockAdapter.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class EventBus;

// The telemetry adapters of one running application, each in a field of its own type.
// The real ones are created and started once; only the synthetic agent comes and goes.
class AdapterSet {
    Q_DISABLE_COPY_MOVE(AdapterSet)

public:
    struct Locations {
        QString homeDir;      // holds ".codex"
        QString claudeRoot;   // ~/.claude/projects
        QString notifySocket; // support directory's "notify.sock"
        QString otelDebugLog; // support directory's "otel-raw.log"
        quint16 otelPort = CodexOTelAdapter::defaultPort;
    };

    // The bus and the environment's clock must outlive the set.
    AdapterSet(EventBus &bus, Locations locations, const Environment &env = {});
    ~AdapterSet();

    // Makes a history link for one file-reading adapter (with the store's positions at start).
    using HistoryLinkFactory = std::function<HistoryLink(AgentSource source)>;

    // Creates and starts every adapter, the mock one only when asked. onListenerReady is called
    // from an adapter's thread each time the OTel or notify listener becomes ready. With a
    // history link factory, the transcript and rollout readers keep their positions and import
    // what was never counted.
    void start(bool useMockData, bool debugLogRawOTel, const std::function<void()> &onListenerReady,
               const HistoryLinkFactory &historyLink = {});
    // Stops and drops the synthetic agent, then starts a new one when useMockData is on.
    void restartMock(bool useMockData);

    void setDebugLogRawOTel(bool enabled);
    bool otelListening() const { return m_otel && m_otel->isListening(); }
    bool notifyListening() const { return m_notify && m_notify->isListening(); }
    // The Codex thread the user is working in; none before the desktop adapter exists.
    std::optional<QString> codexCurrentThreadId() const;

    MockAdapter *mock() const { return m_mock.get(); }
    ClaudeCodeJSONLAdapter *claude() const { return m_claude.get(); }
    ClaudeCodeHookSource *claudeHooks() const { return m_claudeHooks.get(); }
    CodexOTelAdapter *otel() const { return m_otel.get(); }
    CodexNotifyAdapter *notify() const { return m_notify.get(); }
    CodexDesktopSessionAdapter *codexDesktop() const { return m_codexDesktop.get(); }

private:
    EventBus &m_bus;
    const Locations m_locations;
    const Environment m_env;
    std::unique_ptr<MockAdapter> m_mock;
    std::unique_ptr<ClaudeCodeJSONLAdapter> m_claude;
    std::unique_ptr<ClaudeCodeHookSource> m_claudeHooks;
    std::unique_ptr<CodexOTelAdapter> m_otel;
    std::unique_ptr<CodexNotifyAdapter> m_notify;
    std::unique_ptr<CodexDesktopSessionAdapter> m_codexDesktop;
};

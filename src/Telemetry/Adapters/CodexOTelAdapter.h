#pragma once

#include "Platform/Environment.h"
#include "Telemetry/AgentEvent.h"
#include "Telemetry/Adapters/AdapterListener.h"
#include "Telemetry/Adapters/AdapterThread.h"
#include "Telemetry/Adapters/AgentAdapter.h"
#include "Telemetry/Adapters/HTTPRequest.h"
#include "Telemetry/Adapters/OTelDebugLog.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QTcpServer>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

class EventBus;

// Receives Codex's OTLP/HTTP JSON log export on 127.0.0.1 and publishes what it maps to.
// Its listener, connections, debug log and turn-end timers live on the thread "corvane.otel".
// The bus must outlive the adapter.
class CodexOTelAdapter : public AgentAdapter {
    Q_DISABLE_COPY_MOVE(CodexOTelAdapter)

public:
    static constexpr quint16 defaultPort = 4318;
    // A request that declares more than this is not answered and its connection is closed.
    static constexpr qsizetype maxConnectionBuffer = qsizetype(64) * 1024 * 1024;

    // rawLogPath is the debug log (the support directory's "otel-raw.log" in the application).
    // A turn ends env.delays.otelTurnEnd after its last completed response.
    CodexOTelAdapter(EventBus *bus, quint16 port, QString rawLogPath, const Environment &env = {});
    ~CodexOTelAdapter() override;

    AgentSource source() const override { return AgentSource::codexOtel; }
    // (Re)creates the listener on the adapter's thread; returns at once.
    void start() override { m_listener.start(); }
    void stop() override { m_listener.stop(); }

    quint16 port() const { return m_port; }
    // The port actually bound (differs from port() only when port() is 0); 0 when not listening.
    quint16 listeningPort() const { return isListening() ? m_listeningPort.load() : quint16(0); }
    bool isListening() const { return m_listener.isListening(); }
    // Called on the adapter's thread each time the listener becomes ready; set before start().
    void setOnReady(std::function<void()> onReady) { m_listener.setOnReady(std::move(onReady)); }

    bool debugLogRawPayloads() const { return m_debugLogRawPayloads; }
    void setDebugLogRawPayloads(bool enabled) { m_debugLogRawPayloads = enabled; }

    static std::optional<HTTPRequest> parseHTTPRequest(QByteArrayView buffer) { return HTTPRequest::parse(buffer); }
    static QString sanitizedRawPayloadForDebugLog(const QByteArray &body)
    {
        return OTelDebugLog::sanitizedRawPayloadForDebugLog(body);
    }
    static QList<AgentEvent> events(const QByteArray &fromOTLPJSON);

private:
    bool bind(QTcpServer &server);
    void accept(QTcpSocket *socket);
    void process(const QByteArray &body, const QString &contentType);
    void publish(const QList<AgentEvent> &events);
    void scheduleTurnEnd(const QString &sessionId);
    void cancelTurnEnd(const QString &sessionId);

    EventBus *m_bus;
    const quint16 m_port;
    Clock &m_clock;
    const std::chrono::milliseconds m_turnEndDelay;
    std::atomic<bool> m_debugLogRawPayloads{false};
    std::atomic<quint16> m_listeningPort{0};
    AdapterListener<QTcpServer> m_listener;

    // Touched only on the adapter's thread.
    OTelDebugLog m_debugLog;
    std::optional<QString> m_lastReportedModel;
    QHash<QString, Timer *> m_turnEndTimers;

    // Declared last so it is destroyed first: its objects go before the state they use.
    AdapterThread m_thread{QStringLiteral("corvane.otel")};
};

#pragma once

#include "Platform/Environment.h"
#include "Telemetry/AgentEvent.h"
#include "Telemetry/Adapters/AdapterListener.h"
#include "Telemetry/Adapters/AdapterThread.h"
#include "Telemetry/Adapters/AgentAdapter.h"
#include "Telemetry/Adapters/ByteBudget.h"
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

// Receives Codex's OTLP/HTTP JSON log export on 127.0.0.1 and publishes what it maps to. A
// request is answered once the bus's sink has stored its events. Only the owner's processes are
// served, and connections, their buffers and their idle time are capped.
// Its listener, connections, debug log and turn-end timers live on the thread "corvane.otel".
// The bus must outlive the adapter.
class CodexOTelAdapter : public AgentAdapter {
    Q_DISABLE_COPY_MOVE(CodexOTelAdapter)

public:
    static constexpr quint16 defaultPort = 4318;
    // A request that declares more than this is not answered and its connection is closed.
    static constexpr qsizetype maxConnectionBuffer = qsizetype(64) * 1024 * 1024;
    // What all connections may hold together; a read past it closes its connection unanswered.
    static constexpr qsizetype maxBufferedBytes = qsizetype(64) * 1024 * 1024;
    // A header block may not be longer than this.
    static constexpr qsizetype maxHeaderBytes = 64 * 1024;
    // Answers a peer has not read yet; past this its connection is closed.
    static constexpr qsizetype maxUnsentBytes = 64 * 1024;
    // Connections beyond this many are closed as they are accepted.
    static constexpr int maxConnections = 64;

    // rawLogPath is the debug log (the support directory's "otel-raw.log" in the application).
    // A turn ends env.delays.otelTurnEnd after its last completed response; a connection idle for
    // env.delays.otelConnectionIdle is closed.
    CodexOTelAdapter(EventBus *bus, quint16 port, QString rawLogPath, const Environment &env = {});
    ~CodexOTelAdapter() override;

    AgentSource source() const override { return AgentSource::codexOtel; }
    // (Re)creates the listener on the adapter's thread; returns at once.
    void start() override { m_listener.start(); }
    void stop() override { m_listener.stop(); }

    quint16 port() const { return m_port; }
    // Connections open now (read on any thread).
    int connectionCount() const { return m_connectionCount; }
    // The port actually bound (differs from port() only when port() is 0); 0 when not listening.
    quint16 listeningPort() const { return isListening() ? m_listeningPort.load() : quint16(0); }
    bool isListening() const { return m_listener.isListening(); }
    // Called on the adapter's thread each time the listener becomes ready; set before start().
    void setOnReady(std::function<void()> onReady) { m_listener.setOnReady(std::move(onReady)); }

    bool debugLogRawPayloads() const { return m_debugLogRawPayloads; }
    void setDebugLogRawPayloads(bool enabled) { m_debugLogRawPayloads = enabled; }

    static std::optional<HTTPRequest> parseHTTPRequest(QByteArrayView buffer) { return HTTPRequest::parse(buffer); }
    static QString sanitizedRawPayloadForDebugLog(const QByteArray &body, const QString &contentType)
    {
        return OTelDebugLog::sanitizedRawPayloadForDebugLog(body, contentType);
    }
    static QList<AgentEvent> events(const QByteArray &fromOTLPJSON);

private:
    bool bind(QTcpServer &server);
    void accept(QTcpSocket *socket);
    void process(const QByteArray &body, const QString &contentType, std::function<void(bool)> done);
    QList<AgentEvent> toPublish(const QList<AgentEvent> &events);
    void scheduleTurnEnd(const QString &sessionId);
    void cancelTurnEnd(const QString &sessionId);

    EventBus *m_bus;
    const quint16 m_port;
    Clock &m_clock;
    const std::chrono::milliseconds m_turnEndDelay;
    const std::chrono::milliseconds m_idleTimeout;
    const std::chrono::milliseconds m_retry;
    std::atomic<bool> m_debugLogRawPayloads{false};
    std::atomic<quint16> m_listeningPort{0};
    std::atomic<int> m_connectionCount{0};
    AdapterListener<QTcpServer> m_listener;

    // Touched only on the adapter's thread.
    OTelDebugLog m_debugLog;
    std::optional<QString> m_lastReportedModel;
    QHash<QString, Timer *> m_turnEndTimers;
    ByteBudget m_buffered{maxBufferedBytes};

    // Declared last so it is destroyed first: its objects go before the state they use.
    AdapterThread m_thread{QStringLiteral("corvane.otel")};
};

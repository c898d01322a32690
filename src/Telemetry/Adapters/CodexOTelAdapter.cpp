#include "Telemetry/Adapters/CodexOTelAdapter.h"

#include "Telemetry/Adapters/OTLPLogMapping.h"
#include "Telemetry/Adapters/OTelConnection.h"
#include "Telemetry/EventBus.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

CodexOTelAdapter::CodexOTelAdapter(EventBus *bus, quint16 port, QString rawLogPath, const Environment &env)
    : m_bus(bus)
    , m_port(port)
    , m_clock(*env.clock)
    , m_turnEndDelay(env.delays.otelTurnEnd)
    , m_listener(m_thread, [this](QTcpServer &server) { return bind(server); },
                 [this](QTcpSocket *socket) { accept(socket); })
    , m_debugLog(std::move(rawLogPath), OTelDebugLog::defaultMaxBytes, m_clock)
{
}

CodexOTelAdapter::~CodexOTelAdapter() = default;

QList<AgentEvent> CodexOTelAdapter::events(const QByteArray &fromOTLPJSON)
{
    return OTLPLogMapping::events(fromOTLPJSON);
}

bool CodexOTelAdapter::bind(QTcpServer &server)
{
    // IPv4 loopback only: never the other interfaces, nor ::1.
    if (!server.listen(QHostAddress(QHostAddress::LocalHost), m_port)) {
        // The other channels run on; the health shows the listener down.
        std::fprintf(stderr, "corvane: cannot receive Codex telemetry on 127.0.0.1:%u: %s\n", unsigned(m_port),
                     qPrintable(server.errorString()));
        return false;
    }
    m_listeningPort = server.serverPort();
    return true;
}

void CodexOTelAdapter::accept(QTcpSocket *socket)
{
    new OTelConnection(socket, maxConnectionBuffer,
                       [this](const QByteArray &body, const QString &contentType) { process(body, contentType); },
                       m_thread.context());
}

void CodexOTelAdapter::process(const QByteArray &body, const QString &contentType)
{
    if (m_debugLogRawPayloads)
        m_debugLog.appendRawLog(body, contentType);
    if (!contentType.contains(QLatin1String("json"))) {
        m_debugLog.appendRawNotice(contentType, body.size());
        return;
    }
    publish(OTLPLogMapping::events(body, m_clock.now()));
}

void CodexOTelAdapter::publish(const QList<AgentEvent> &events)
{
    for (const AgentEvent &event : events) {
        if (const auto *model = std::get_if<ModelInfo>(&event.kind)) {
            if (m_lastReportedModel == model->model)
                continue;
            m_lastReportedModel = model->model;
        } else if (std::holds_alternative<TurnStarted>(event.kind)) {
            cancelTurnEnd(event.sessionId);
        } else if (std::holds_alternative<TurnEnded>(event.kind)) {
            scheduleTurnEnd(event.sessionId);
            continue;
        }
        m_bus->publish(event);
    }
}

void CodexOTelAdapter::scheduleTurnEnd(const QString &sessionId)
{
    // Re-arming restarts the session's pending timer: the same as cancelling it and starting anew.
    Timer *&timer = m_turnEndTimers[sessionId];
    if (!timer) {
        timer = m_clock.createTimer(m_turnEndDelay, Clock::Repeat::once, m_thread.context(), [this, sessionId] {
            m_turnEndTimers.take(sessionId)->deleteLater();
            m_bus->publish(AgentEvent::make(AgentSource::codexOtel, sessionId, TurnEnded{}, m_clock.now()));
        });
    }
    timer->start();
}

void CodexOTelAdapter::cancelTurnEnd(const QString &sessionId)
{
    if (Timer *timer = m_turnEndTimers.take(sessionId))
        delete timer;
}

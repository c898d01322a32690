#include "Telemetry/Adapters/CodexOTelAdapter.h"

#include "Platform/SocketPeer.h"
#include "Telemetry/Adapters/OTLPLogMapping.h"
#include "Telemetry/Adapters/OTelConnection.h"
#include "Telemetry/EventBus.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

CodexOTelAdapter::CodexOTelAdapter(EventBus *bus, quint16 port, QString rawLogPath, const Environment &env)
    : m_bus(bus)
    , m_port(port)
    , m_clock(*env.clock)
    , m_turnEndDelay(env.delays.otelTurnEnd)
    , m_idleTimeout(env.delays.otelConnectionIdle)
    , m_retry(env.delays.listenerRetry)
    , m_listener(m_thread, m_clock, m_retry, [this](QTcpServer &server) { return bind(server); },
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
    // Out of file descriptors the pending connection stays and the listener would report it
    // again at once: pause, and try again a little later.
    Timer *resume = m_clock.createTimer(m_retry, Clock::Repeat::once, &server, [&server] { server.resumeAccepting(); });
    QObject::connect(&server, &QTcpServer::acceptError, &server, [&server, resume] {
        server.pauseAccepting();
        resume->start();
    });
    return true;
}

namespace {

bool isOwnersProcess(const QTcpSocket &socket)
{
    const SocketPeer::Endpoint peer{socket.peerAddress().toIPv4Address(), socket.peerPort()};
    const SocketPeer::Endpoint local{socket.localAddress().toIPv4Address(), socket.localPort()};
    return SocketPeer::ownerUid(peer, local) == SocketPeer::ownUid();
}

} // namespace

void CodexOTelAdapter::accept(QTcpSocket *socket)
{
    // Any local user can reach the loopback port; only the owner's agents may report as the owner.
    if (m_connectionCount >= maxConnections || !isOwnersProcess(*socket)) {
        socket->abort();
        delete socket;
        return;
    }
    const OTelConnection::Limits limits{maxConnectionBuffer, maxHeaderBytes, maxUnsentBytes, m_idleTimeout};
    auto *connection = new OTelConnection(
        socket, limits, m_buffered, m_clock,
        [this](const QByteArray &body, const QString &contentType, OTelConnection::Done done) {
            process(body, contentType, std::move(done));
        },
        m_thread.context());
    ++m_connectionCount;
    QObject::connect(connection, &QObject::destroyed, [this] { --m_connectionCount; });
}

void CodexOTelAdapter::process(const QByteArray &body, const QString &contentType, std::function<void(bool)> done)
{
    if (m_debugLogRawPayloads)
        m_debugLog.appendRawLog(body, contentType);
    if (!contentType.contains(QLatin1String("json"))) {
        m_debugLog.appendRawNotice(contentType, body.size());
        return done(true);
    }
    QList<AgentEvent> events = toPublish(OTLPLogMapping::events(body, m_clock.now()));
    if (events.isEmpty())
        return done(true);
    // The answer waits for the commit; the sink's verdict comes back on the main thread.
    const QPointer<QObject> context(m_thread.context());
    m_bus->publish(std::move(events), [context, done = std::move(done)](bool stored) {
        if (context)
            QMetaObject::invokeMethod(context.data(), [done, stored] { done(stored); }, Qt::QueuedConnection);
    });
}

QList<AgentEvent> CodexOTelAdapter::toPublish(const QList<AgentEvent> &events)
{
    QList<AgentEvent> published;
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
        published.append(event);
    }
    return published;
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

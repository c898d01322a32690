#include "Telemetry/Adapters/CodexOTelAdapter.h"

#include "Telemetry/Adapters/OTLPLogMapping.h"
#include "Telemetry/Adapters/OTelConnection.h"
#include "Telemetry/EventBus.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

CodexOTelAdapter::CodexOTelAdapter(EventBus *bus, quint16 port, QString rawLogPath)
    : m_bus(bus)
    , m_port(port)
    , m_debugLog(std::move(rawLogPath))
{
}

CodexOTelAdapter::~CodexOTelAdapter() = default;

void CodexOTelAdapter::start()
{
    m_isListening = false;
    m_thread.post([this] { listen(); });
}

void CodexOTelAdapter::stop()
{
    m_thread.run([this] { closeListener(); });
}

void CodexOTelAdapter::setOnReady(std::function<void()> onReady)
{
    m_thread.run([this, &onReady] { m_onReady = std::move(onReady); });
}

QString CodexOTelAdapter::rawLogURL() const
{
    QString path;
    m_thread.run([this, &path] { path = m_debugLog.path(); });
    return path;
}

void CodexOTelAdapter::setRawLogURL(const QString &path)
{
    m_thread.run([this, &path] { m_debugLog.setPath(path); });
}

QList<AgentEvent> CodexOTelAdapter::events(const QByteArray &fromOTLPJSON)
{
    return OTLPLogMapping::events(fromOTLPJSON);
}

void CodexOTelAdapter::listen()
{
    closeListener();
    auto *listener = new QTcpServer(m_thread.context());
    // IPv4 loopback only: never the other interfaces, nor ::1.
    if (!listener->listen(QHostAddress(QHostAddress::LocalHost), m_port)) {
        delete listener;
        return;
    }
    m_listener = listener;
    QObject::connect(listener, &QTcpServer::newConnection, listener, [this] { acceptPending(); });
    m_listeningPort = listener->serverPort();
    m_isListening = true;
    if (m_onReady)
        m_onReady();
}

void CodexOTelAdapter::closeListener()
{
    // Open connections belong to the thread's context, not the listener, so they outlive it.
    delete m_listener;
    m_listener = nullptr;
    m_isListening = false;
    m_listeningPort = 0;
}

void CodexOTelAdapter::acceptPending()
{
    while (QTcpSocket *socket = m_listener->nextPendingConnection()) {
        new OTelConnection(socket, maxConnectionBuffer,
                           [this](const QByteArray &body, const QString &contentType) { process(body, contentType); },
                           m_thread.context());
    }
}

void CodexOTelAdapter::process(const QByteArray &body, const QString &contentType)
{
    if (m_debugLogRawPayloads)
        m_debugLog.appendRawLog(body, contentType);
    if (!contentType.contains(QLatin1String("json"))) {
        m_debugLog.appendRawNotice(contentType, body.size());
        return;
    }
    publish(OTLPLogMapping::events(body));
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
    QTimer *&timer = m_turnEndTimers[sessionId];
    if (!timer) {
        timer = new QTimer(m_thread.context());
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        timer->setInterval(turnEndDelay);
        QObject::connect(timer, &QTimer::timeout, timer, [this, timer, sessionId] {
            m_turnEndTimers.remove(sessionId);
            timer->deleteLater();
            m_bus->publish(AgentEvent::make(AgentSource::codexOtel, sessionId, TurnEnded{}));
        });
    }
    timer->start();
}

void CodexOTelAdapter::cancelTurnEnd(const QString &sessionId)
{
    if (QTimer *timer = m_turnEndTimers.take(sessionId))
        delete timer;
}

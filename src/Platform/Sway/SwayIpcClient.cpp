#include "Platform/Sway/SwayIpcClient.h"

#include <QDeadlineTimer>

SwayIpcClient::SwayIpcClient(QObject *parent) : QObject(parent)
{
    connect(&m_socket, &QLocalSocket::readyRead, this, &SwayIpcClient::readAvailable);
    connect(&m_socket, &QLocalSocket::disconnected, this, [this] { fail(QStringLiteral("Sway closed the connection")); });
}

SwayIpcClient::~SwayIpcClient() { disconnect(&m_socket, nullptr, this, nullptr); }

bool SwayIpcClient::connectTo(const QString &socketPath, int timeoutMs)
{
    m_socket.connectToServer(socketPath);
    if (m_socket.waitForConnected(timeoutMs))
        return true;
    m_error = m_socket.errorString();
    m_socket.abort();
    return false;
}

bool SwayIpcClient::isConnected() const { return !m_failed && m_socket.state() == QLocalSocket::ConnectedState; }

void SwayIpcClient::send(quint32 type, const QByteArray &payload, std::function<void(const QByteArray &)> onReply)
{
    if (!isConnected())
        return;
    m_pendingReplies.push_back(std::move(onReply));
    m_socket.write(I3Ipc::encode(type, payload));
}

std::optional<QByteArray> SwayIpcClient::ask(quint32 type, const QByteArray &payload, int timeoutMs)
{
    std::optional<QByteArray> reply;
    send(type, payload, [&reply](const QByteArray &bytes) { reply = bytes; });
    const QDeadlineTimer deadline(timeoutMs);
    m_asking = true;
    m_socket.flush();
    while (!reply && isConnected() && !deadline.hasExpired()) {
        if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(int(deadline.remainingTime())))
            break;
        readAvailable();
    }
    m_asking = false;
    if (!reply)
        fail(QStringLiteral("Sway did not answer in time")); // its late reply would be taken for the next one's
    while (!m_heldEvents.empty() && !m_failed) {
        I3Ipc::Message event = std::move(m_heldEvents.front());
        m_heldEvents.pop_front();
        dispatch(std::move(event));
    }
    return reply;
}

void SwayIpcClient::readAvailable()
{
    m_decoder.append(m_socket.readAll());
    while (auto message = m_decoder.next()) {
        if (m_asking && message->isEvent())
            m_heldEvents.push_back(std::move(*message));
        else
            dispatch(std::move(*message));
        if (m_failed)
            return;
    }
    if (m_decoder.failed())
        fail(QStringLiteral("Sway's messages could not be read"));
}

void SwayIpcClient::dispatch(I3Ipc::Message message)
{
    if (message.isEvent()) {
        if (onEvent)
            onEvent(message.eventType(), message.payload);
        return;
    }
    if (m_pendingReplies.empty()) {
        fail(QStringLiteral("Sway sent a reply nobody asked for"));
        return;
    }
    auto onReply = std::move(m_pendingReplies.front());
    m_pendingReplies.pop_front();
    if (onReply)
        onReply(message.payload);
}

void SwayIpcClient::fail(const QString &why)
{
    if (m_failed)
        return;
    m_failed = true;
    m_error = why;
    m_pendingReplies.clear();
    m_heldEvents.clear();
    m_socket.abort();
    if (onDisconnected)
        onDisconnected();
}

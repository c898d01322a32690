#include "App/Core/ControlServer.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>

ControlServer::ControlServer(QString socketPath, Responder responder, const Environment &env, QObject *parent)
    : QObject(parent)
    , m_socketPath(std::move(socketPath))
    , m_responder(std::move(responder))
    , m_clock(*env.clock)
    , m_idleTimeout(env.delays.controlConnectionIdle)
    , m_server(new QLocalServer(this))
    , m_watch(m_clock.createTimer(env.delays.listenerRetry, Clock::Repeat::everyInterval, this, [this] {
        if (!m_server->isListening())
            listen();
    }))
{
    connect(m_server, &QLocalServer::newConnection, this, &ControlServer::accept);
}

ControlServer::~ControlServer()
{
    m_server->close(); // removes the socket file
}

bool ControlServer::listen()
{
    m_watch->start();
    // Only the holder of the instance lock calls this, so a file already there is stale.
    QLocalServer::removeServer(m_socketPath);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath))
        return false;
    QFile::setPermissions(m_socketPath, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QString ControlServer::errorString() const
{
    return m_server->errorString();
}

bool ControlServer::isListening() const
{
    return m_server->isListening();
}

void ControlServer::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (m_connections >= maxConnections) {
            socket->abort();
            delete socket;
            continue;
        }
        ++m_connections;
        connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its line must not hold its connection forever.
        Timer *idle = m_clock.createTimer(m_idleTimeout, Clock::Repeat::once, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        idle->start();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
        if (socket->bytesAvailable() > 0)
            serve(socket);
    }
}

void ControlServer::serve(QLocalSocket *socket)
{
    if (socket->property("answered").toBool())
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maxRequestBytes)
            socket->abort();
        return;
    }
    // A line longer than the cap is refused however it arrived, never answered as its first part.
    QByteArray line = socket->readLine(maxRequestBytes + 1);
    if (!line.endsWith('\n') || line.size() > maxRequestBytes)
        return socket->abort();
    line.chop(1);
    socket->setProperty("answered", true);
    socket->write(m_responder(line));
    socket->disconnectFromServer(); // after the answer has been written
}

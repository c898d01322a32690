#include "Telemetry/Adapters/NotifyConnection.h"

#include "Platform/Clock.h"

#include <QLocalSocket>

NotifyConnection::NotifyConnection(QLocalSocket *socket, qsizetype maxBuffer, Clock &clock,
                                   std::chrono::milliseconds quietPeriod, LineHandler handler, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_maxBuffer(maxBuffer)
    , m_handler(std::move(handler))
    , m_quietTimer(clock.createTimer(quietPeriod, Clock::Repeat::once, this, [this] {
        if (m_buffer.endsWith('\n'))
            finish();
    }))
{
    m_socket->setParent(this);
    connect(m_socket, &QLocalSocket::readyRead, this, &NotifyConnection::receive);
    // A peer that closed, or an error: what arrived so far is the batch.
    connect(m_socket, &QLocalSocket::disconnected, this, &NotifyConnection::finish);
    connect(m_socket, &QLocalSocket::errorOccurred, this, &NotifyConnection::finish);
    if (m_socket->bytesAvailable() > 0)
        receive();
}

void NotifyConnection::receive()
{
    if (m_done)
        return;
    m_buffer.append(m_socket->readAll());
    if (m_buffer.size() > m_maxBuffer)
        return drop();
    m_quietTimer->start();
}

void NotifyConnection::finish()
{
    if (m_done)
        return;
    m_done = true;
    m_quietTimer->stop();
    if (m_socket->bytesAvailable() > 0)
        m_buffer.append(m_socket->readAll());
    if (m_buffer.size() <= m_maxBuffer) {
        const QByteArrayView batch(m_buffer);
        qsizetype start = 0;
        while (start < batch.size()) {
            qsizetype end = batch.indexOf('\n', start);
            if (end < 0)
                end = batch.size();
            if (end > start)
                m_handler(batch.sliced(start, end - start));
            start = end + 1;
        }
    }
    m_buffer.clear();
    m_socket->abort();
    deleteLater();
}

void NotifyConnection::drop()
{
    m_done = true;
    m_quietTimer->stop();
    m_buffer.clear();
    m_socket->abort();
    deleteLater();
}

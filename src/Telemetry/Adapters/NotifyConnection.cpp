#include "Telemetry/Adapters/NotifyConnection.h"

#include "Platform/Clock.h"

#include <QLocalSocket>
#include <QPointer>

NotifyConnection::NotifyConnection(QLocalSocket *socket, qsizetype maxBuffer, Clock &clock, Timing timing,
                                   BatchHandler handler, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_maxBuffer(maxBuffer)
    , m_handler(std::move(handler))
    , m_quietTimer(clock.createTimer(timing.quietPeriod, Clock::Repeat::once, this, [this] {
        if (m_buffer.endsWith('\n'))
            finish();
    }))
    , m_idleTimer(clock.createTimer(timing.idle, Clock::Repeat::once, this, [this] { drop(); }))
{
    m_socket->setParent(this);
    connect(m_socket, &QLocalSocket::readyRead, this, &NotifyConnection::receive);
    // A peer that closed, or an error: what arrived so far is the batch.
    connect(m_socket, &QLocalSocket::disconnected, this, &NotifyConnection::finish);
    connect(m_socket, &QLocalSocket::errorOccurred, this, &NotifyConnection::finish);
    m_idleTimer->start();
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
    m_idleTimer->start();
}

void NotifyConnection::finish()
{
    if (m_done)
        return;
    m_done = true;
    m_quietTimer->stop();
    m_idleTimer->stop();
    if (m_socket->bytesAvailable() > 0)
        m_buffer.append(m_socket->readAll());
    QList<QByteArrayView> lines;
    if (m_buffer.size() <= m_maxBuffer) {
        const QByteArrayView batch(m_buffer);
        qsizetype start = 0;
        while (start < batch.size()) {
            qsizetype end = batch.indexOf('\n', start);
            if (end < 0)
                end = batch.size();
            if (end > start)
                lines.append(batch.sliced(start, end - start));
            start = end + 1;
        }
    }
    const QPointer<NotifyConnection> self(this);
    m_handler(lines, [self] {
        if (!self)
            return;
        self->m_socket->abort();
        self->deleteLater();
    });
    m_buffer.clear(); // the lines were lent for the call only
}

void NotifyConnection::drop()
{
    if (m_done)
        return;
    m_done = true;
    m_quietTimer->stop();
    m_idleTimer->stop();
    m_buffer.clear();
    m_socket->abort();
    deleteLater();
}

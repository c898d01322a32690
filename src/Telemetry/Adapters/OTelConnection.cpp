#include "Telemetry/Adapters/OTelConnection.h"

#include "Telemetry/Adapters/HTTPRequest.h"

#include <QTcpSocket>

#include <algorithm>

OTelConnection::OTelConnection(QTcpSocket *socket, qsizetype maxBuffer, BodyHandler handler, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_maxBuffer(maxBuffer)
    , m_handler(std::move(handler))
{
    m_socket->setParent(this);
    // One small response per request: do not let Nagle hold it back behind a delayed ACK.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &OTelConnection::receive);
    // The peer finished sending: whatever is left is an incomplete request and gets no answer.
    connect(m_socket, &QTcpSocket::readChannelFinished, this, [this] { m_socket->disconnectFromHost(); });
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            drop();
    });
    if (m_socket->bytesAvailable() > 0)
        receive();
}

const QByteArray &OTelConnection::fixedResponse()
{
    static const QByteArray response("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
                                     "Connection: keep-alive\r\n\r\n{}");
    return response;
}

void OTelConnection::receive()
{
    const qint64 available = m_socket->bytesAvailable();
    if (m_buffer.size() - m_offset + available > m_maxBuffer)
        return drop();
    if (m_offset > 0 && m_offset == m_buffer.size()) {
        m_buffer.resize(0); // keeps the allocation for the next request
        m_offset = 0;
    } else if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    // Read straight into the buffer: no chunk to allocate and copy per read.
    const qsizetype size = m_buffer.size();
    m_buffer.resize(size + qsizetype(available));
    const qint64 read = m_socket->read(m_buffer.data() + size, available);
    m_buffer.resize(size + qsizetype(std::max<qint64>(read, 0)));
    serveBuffered();
}

bool OTelConnection::serveBuffered()
{
    // Pipelined requests already in the buffer are answered now, not after the next read.
    while (m_offset < m_buffer.size()) {
        const QByteArrayView pending = QByteArrayView(m_buffer).sliced(m_offset);
        const std::optional<HTTPRequestHead> head = HTTPRequest::parseHead(pending);
        if (!head)
            return true;
        if (head->contentLength > m_maxBuffer - head->bodyOffset) {
            drop();
            return false;
        }
        if (pending.size() - head->bodyOffset < head->contentLength)
            return true;
        m_offset += head->bodyOffset + head->contentLength;
        // The body is lent from the buffer, which nothing touches until the handler returns.
        m_handler(QByteArray::fromRawData(pending.data() + head->bodyOffset, head->contentLength), head->contentType);
        m_socket->write(fixedResponse());
    }
    return true;
}

void OTelConnection::drop()
{
    m_buffer.clear();
    m_offset = 0;
    m_socket->abort();
    deleteLater();
}

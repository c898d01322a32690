#include "Telemetry/Adapters/OTelConnection.h"

#include "Platform/Clock.h"
#include "Telemetry/Adapters/ByteBudget.h"
#include "Telemetry/Adapters/HTTPRequest.h"

#include <QPointer>
#include <QTcpSocket>

#include <algorithm>

namespace {

// What the socket may hold unread while a request is in hand; past it the kernel's buffers
// fill and the peer's sends block.
constexpr qint64 socketReadBuffer = 1024 * 1024;

} // namespace

OTelConnection::OTelConnection(QTcpSocket *socket, const Limits &limits, ByteBudget &budget, Clock &clock,
                               BodyHandler handler, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_limits(limits)
    , m_budget(budget)
    , m_handler(std::move(handler))
    , m_idleTimer(clock.createTimer(limits.idle, Clock::Repeat::once, this, [this] { drop(); }))
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(socketReadBuffer);
    // One small response per request: do not let Nagle hold it back behind a delayed ACK.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &OTelConnection::receive);
    // Reading and serving held back for a peer that did not read its answers go on now.
    connect(m_socket, &QTcpSocket::bytesWritten, this, &OTelConnection::receive);
    // The peer finished sending: whatever is left is an incomplete request and gets no answer.
    connect(m_socket, &QTcpSocket::readChannelFinished, this, [this] {
        m_peerFinished = true;
        if (m_inHand == 0)
            m_socket->disconnectFromHost();
    });
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            drop();
    });
    m_idleTimer->start();
    if (m_socket->bytesAvailable() > 0)
        receive();
}

OTelConnection::~OTelConnection()
{
    m_budget.giveBack(m_charged);
}

const QByteArray &OTelConnection::fixedResponse()
{
    static const QByteArray response("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
                                     "Connection: keep-alive\r\n\r\n{}");
    return response;
}

void OTelConnection::receive()
{
    if (m_dropped)
        return;
    m_idleTimer->start();
    // Read only when what is buffered holds no request we could serve: one in hand, or answers
    // the peer has not taken, keep its further bytes in the socket's bounded buffer and then in
    // the kernel's, so a peer that never reads is not read either.
    if (m_inHand == 0 && m_needMore && m_socket->bytesToWrite() < m_limits.maxUnsent) {
        compact();
        const qint64 available = m_socket->bytesAvailable();
        if (available > 0) {
            if (!m_budget.take(qsizetype(available)))
                return drop();
            // Read straight into the buffer: no chunk to allocate and copy per read.
            const qsizetype size = m_buffer.size();
            m_buffer.resize(size + qsizetype(available));
            const qint64 read = std::max<qint64>(m_socket->read(m_buffer.data() + size, available), 0);
            m_buffer.resize(size + qsizetype(read));
            m_budget.giveBack(qsizetype(available - read));
            m_charged += qsizetype(read);
        }
    }
    serveBuffered();
}

void OTelConnection::compact()
{
    const qsizetype before = m_buffer.size();
    if (m_offset > 0 && m_offset == m_buffer.size()) {
        m_buffer.resize(0); // keeps the allocation for the next request
        m_offset = 0;
    } else if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    m_budget.giveBack(before - m_buffer.size());
    m_charged -= before - m_buffer.size();
}

void OTelConnection::serveBuffered()
{
    if (m_serving)
        return; // an answer given while the handler runs: the loop below goes on
    m_serving = true;
    m_needMore = false;
    // Pipelined requests already in the buffer are served now, not after the next read.
    while (!m_dropped && m_inHand == 0 && m_offset < m_buffer.size()
           && m_socket->bytesToWrite() < m_limits.maxUnsent) {
        const QByteArrayView pending = QByteArrayView(m_buffer).sliced(m_offset);
        // Resume the search where the last one stopped, less the three bytes a split separator needs.
        const qsizetype headerEnd = HTTPRequest::findHeaderEnd(pending, std::max<qsizetype>(m_headScanned - 3, 0));
        if (headerEnd < 0) {
            m_needMore = true;
            m_headScanned = pending.size();
            if (pending.size() >= m_limits.maxHeader + 4)
                drop();
            break;
        }
        const std::optional<HTTPRequestHead> head =
            headerEnd <= m_limits.maxHeader ? HTTPRequest::parseHead(pending, headerEnd) : std::nullopt;
        // A head past the cap, or one that is not UTF-8, can never be answered.
        if (!head || head->contentLength > m_limits.maxRequest - head->bodyOffset) {
            drop();
            break;
        }
        if (pending.size() - head->bodyOffset < head->contentLength) {
            m_needMore = true;
            break;
        }
        m_headScanned = 0;
        m_inHand = head->bodyOffset + head->contentLength;
        const QPointer<OTelConnection> self(this);
        m_handler(QByteArray::fromRawData(pending.data() + head->bodyOffset, head->contentLength), head->contentType,
                  [self](bool stored) {
                      if (self)
                          self->answered(stored);
                  });
    }
    if (m_offset == m_buffer.size())
        m_needMore = true;
    m_serving = false;
}

void OTelConnection::answered(bool stored)
{
    if (m_dropped)
        return;
    // A request whose events were not stored is not acknowledged: the exporter sends it again.
    if (!stored)
        return drop();
    m_offset += m_inHand;
    m_inHand = 0;
    m_socket->write(fixedResponse());
    m_idleTimer->start();
    if (m_serving)
        return;
    receive(); // what waited in the socket meanwhile
    if (m_peerFinished && m_inHand == 0 && !m_dropped)
        m_socket->disconnectFromHost();
}

void OTelConnection::drop()
{
    if (m_dropped)
        return;
    m_dropped = true;
    m_idleTimer->stop();
    m_budget.giveBack(m_charged);
    m_charged = 0;
    m_buffer.clear();
    m_offset = 0;
    m_socket->abort();
    deleteLater();
}

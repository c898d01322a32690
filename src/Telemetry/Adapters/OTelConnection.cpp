#include "Telemetry/Adapters/OTelConnection.h"

#include "Platform/Clock.h"
#include "Telemetry/Adapters/ByteBudget.h"
#include "Telemetry/Adapters/HTTPRequest.h"

#include <QPointer>
#include <QTcpSocket>

#include <algorithm>
#include <utility>

namespace {

// What the socket may hold unread while a request is in hand; past it the kernel's buffers
// fill and the peer's sends block.
constexpr qint64 socketReadBuffer = 1024 * 1024;
// What the kernel may hold of answers the peer has not taken. Answers are small: a peer that
// reads them never comes near this, and one that does not is found out soon after.
constexpr int kernelSendBuffer = 64 * 1024;
// A buffer this large is let go once it is empty, so an idle connection that once carried a big
// request holds no more memory than the budget charges it.
constexpr qsizetype keptBufferCapacity = 1024 * 1024;

const QByteArray continueResponse("HTTP/1.1 100 Continue\r\n\r\n");

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
    m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kernelSendBuffer);
    connect(m_socket, &QTcpSocket::readyRead, this, &OTelConnection::receive);
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

const QByteArray &OTelConnection::badRequestResponse()
{
    static const QByteArray response("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return response;
}

void OTelConnection::receive()
{
    if (m_stopped)
        return;
    m_idleTimer->start();
    // Read only when what is buffered holds no request we could serve: one in hand keeps the
    // peer's further bytes in the socket's bounded buffer and then in the kernel's.
    if (m_inHand == 0 && m_needMore) {
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
        // The allocation is kept for the next request, unless a big one left it large.
        if (m_buffer.capacity() > keptBufferCapacity)
            m_buffer = QByteArray();
        else
            m_buffer.resize(0);
        m_offset = 0;
    } else if (m_offset > 0 && m_offset >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
        if (m_buffer.capacity() > keptBufferCapacity && m_buffer.capacity() > 2 * m_buffer.size())
            m_buffer.squeeze();
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
    while (!m_stopped && m_inHand == 0 && m_offset < m_buffer.size()) {
        const QByteArrayView pending = QByteArrayView(m_buffer).sliced(m_offset);
        if (!m_head) {
            // Resume the search where the last one stopped, less the three bytes a split separator needs.
            const qsizetype headerEnd =
                HTTPRequest::findHeaderEnd(pending, std::max<qsizetype>(m_headScanned - 3, 0));
            if (headerEnd < 0) {
                m_needMore = true;
                m_headScanned = pending.size();
                if (pending.size() >= m_limits.maxHeader + 4)
                    drop();
                break;
            }
            m_headScanned = 0;
            if (headerEnd > m_limits.maxHeader) {
                drop();
                break;
            }
            m_head = HTTPRequest::parseHead(pending, headerEnd);
            if (!m_head) {
                m_socket->write(badRequestResponse());
                finish();
                break;
            }
            if (m_head->contentLength > m_limits.maxRequest - m_head->bodyOffset) {
                drop();
                break;
            }
            if (m_head->expectsContinue && pending.size() - m_head->bodyOffset < m_head->contentLength)
                m_socket->write(continueResponse);
        }
        if (pending.size() - m_head->bodyOffset < m_head->contentLength) {
            m_needMore = true;
            break;
        }
        const HTTPRequestHead head = *std::exchange(m_head, std::nullopt);
        m_inHand = head.bodyOffset + head.contentLength;
        m_closeAfterAnswer = head.closeAfter;
        const QPointer<OTelConnection> self(this);
        m_handler(QByteArray::fromRawData(pending.data() + head.bodyOffset, head.contentLength), head.contentType,
                  [self](bool stored) {
                      if (self)
                          self->answered(stored);
                  });
    }
    if (m_offset == m_buffer.size()) {
        m_needMore = true;
        compact(); // what the answered requests held goes back to the budget now
    }
    m_serving = false;
}

void OTelConnection::answered(bool stored)
{
    if (m_stopped)
        return;
    // A request whose events were not stored is not acknowledged: the exporter sends it again.
    if (!stored)
        return drop();
    m_offset += m_inHand;
    m_inHand = 0;
    m_socket->write(fixedResponse());
    m_idleTimer->start();
    // A peer that does not read its answers gets no more of them.
    if (m_socket->bytesToWrite() >= m_limits.maxUnsent)
        return drop();
    if (m_closeAfterAnswer)
        return finish();
    if (m_serving)
        return;
    receive(); // what waited in the socket meanwhile
    if (m_peerFinished && m_inHand == 0 && !m_stopped)
        m_socket->disconnectFromHost();
}

void OTelConnection::stopServing()
{
    m_stopped = true;
    m_budget.giveBack(m_charged);
    m_charged = 0;
    m_buffer.clear();
    m_offset = 0;
}

void OTelConnection::finish()
{
    // What was written still goes out; the idle timer aborts a close that never completes.
    stopServing();
    m_socket->disconnectFromHost();
}

void OTelConnection::drop()
{
    if (m_aborted)
        return;
    m_aborted = true;
    m_idleTimer->stop();
    stopServing();
    m_socket->abort();
    deleteLater();
}

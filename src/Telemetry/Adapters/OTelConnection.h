#pragma once

#include "Telemetry/Adapters/HTTPRequest.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class ByteBudget;
class Clock;
class QTcpSocket;
class Timer;

// One keep-alive connection to the receiver: frames requests by Content-Length, hands each body
// on and answers it with the fixed response once the handler says its events are stored. One
// request is in hand at a time; until it is answered nothing more is read, so a peer that
// outruns the store fills its own socket buffers (TCP backpressure). A request whose head cannot
// be read is answered 400 and the connection closed; one that asks to close is closed after its
// answer. Lives on the receiver's thread.
class OTelConnection : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OTelConnection)

public:
    // Called on the receiver's thread with whether the request's events were stored.
    using Done = std::function<void(bool stored)>;
    // The body is lent: copy what outlives the call. Call done exactly once, on this thread,
    // now or later.
    using BodyHandler = std::function<void(const QByteArray &body, const QString &contentType, Done done)>;

    struct Limits {
        qsizetype maxRequest;   // header block and body of one request
        qsizetype maxHeader;    // header block alone
        qsizetype maxUnsent;    // answers waiting for a peer that does not read
        std::chrono::milliseconds idle; // no byte in or out for this long closes the connection
    };

    // Takes over the socket. A request past a limit, a buffer the shared budget cannot hold, a
    // peer whose unread answers pass maxUnsent, and a silent peer get no answer: the connection
    // is dropped.
    OTelConnection(QTcpSocket *socket, const Limits &limits, ByteBudget &budget, Clock &clock, BodyHandler handler,
                   QObject *parent);
    ~OTelConnection() override;

    // Sent for every complete request, whatever its method, path or body.
    static const QByteArray &fixedResponse();
    // Sent, and the connection closed, for a head that cannot be read.
    static const QByteArray &badRequestResponse();

private:
    void receive();
    void serveBuffered();
    void answered(bool stored);
    void compact();
    void stopServing();
    void finish();
    void drop();

    QTcpSocket *m_socket;
    const Limits m_limits;
    ByteBudget &m_budget;
    BodyHandler m_handler;
    Timer *m_idleTimer;
    QByteArray m_buffer;
    std::optional<HTTPRequestHead> m_head; // of the request whose body is still arriving
    qsizetype m_charged = 0;     // of m_buffer's size, what the budget holds for us
    qsizetype m_offset = 0;      // start of the unanswered bytes
    qsizetype m_headScanned = 0; // bytes after m_offset already searched for the blank line
    qsizetype m_inHand = 0;      // length of the request handed on and not yet answered; 0 for none
    bool m_serving = false;
    bool m_needMore = true; // the buffer ends in an incomplete request, or holds none
    bool m_peerFinished = false;
    bool m_closeAfterAnswer = false; // the request in hand asked for the connection to close
    bool m_stopped = false;          // nothing more is read or served
    bool m_aborted = false;
};

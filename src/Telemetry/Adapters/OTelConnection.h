#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QTcpSocket;

// One keep-alive connection to the receiver: frames requests by Content-Length, hands each body
// on and answers it with the fixed response. Lives on the receiver's thread.
class OTelConnection : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OTelConnection)

public:
    using BodyHandler = std::function<void(const QByteArray &body, const QString &contentType)>;

    // Takes over the socket. A request that would make the buffer exceed maxBuffer gets no answer
    // and the connection is dropped.
    OTelConnection(QTcpSocket *socket, qsizetype maxBuffer, BodyHandler handler, QObject *parent);

    // Sent for every complete request, whatever its method, path or body.
    static const QByteArray &fixedResponse();

private:
    void receive();
    // Answers every complete request in the buffer; false when the connection was dropped.
    bool serveBuffered();
    void drop();

    QTcpSocket *m_socket;
    qsizetype m_maxBuffer;
    BodyHandler m_handler;
    QByteArray m_buffer;
    qsizetype m_offset = 0; // start of the unanswered bytes
};

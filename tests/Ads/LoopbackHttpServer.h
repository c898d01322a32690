#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>

#include <functional>

// A small HTTP/1.1 server on 127.0.0.1 (ephemeral port) that records each request and answers
// from a handler the test sets.
class LoopbackHttpServer : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray target; // path and query as sent
        QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
        QByteArray body;
        QByteArray header(const QByteArray &name) const;
    };
    struct Response {
        int status = 200;
        QByteArray body;
        int delayMs = 0;       // answer after this long
        bool stall = false;    // never answer
        bool raw = false;      // body is sent as is, with no status line or headers
    };

    explicit LoopbackHttpServer(QObject *parent = nullptr);

    quint16 port() const { return m_server.serverPort(); }
    QString baseUrl(const QString &path = QStringLiteral("/api")) const;

    std::function<Response(const Request &)> handler = [](const Request &) { return Response{}; };
    QList<Request> requests;

private:
    void readFrom(class QTcpSocket *socket);

    QTcpServer m_server;
    QHash<class QTcpSocket *, QByteArray> m_buffers;
};

#include "LoopbackHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

QByteArray LoopbackHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key == name)
            return value;
    }
    return {};
}

LoopbackHttpServer::LoopbackHttpServer(QObject *parent) : QObject(parent)
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_buffers.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

QString LoopbackHttpServer::baseUrl(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void LoopbackHttpServer::readFrom(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        Request request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        qsizetype length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            const QByteArray name = lines[i].left(colon).trimmed().toLower();
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name == "content-length")
                length = value.toLongLong();
        }
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.remove(0, headerEnd + 4 + length);
        requests.append(request);

        const Response response = handler(request);
        if (response.stall)
            continue;
        QByteArray bytes = response.body;
        if (!response.raw) {
            bytes = "HTTP/1.1 " + QByteArray::number(response.status) + " X\r\nContent-Type: application/json\r\n"
                    + "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n\r\n" + response.body;
        }
        QTimer::singleShot(response.delayMs, socket, [socket, bytes, raw = response.raw] {
            socket->write(bytes);
            if (raw)
                socket->disconnectFromHost();
        });
    }
}

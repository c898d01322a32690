#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;

// The running instance's control socket (owner-only, in the support directory): each connection
// sends one line and receives one answer, then the server closes it. Runs on the main thread.
class ControlServer : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlServer)

public:
    static constexpr qsizetype maxRequestBytes = 4096;
    static constexpr int idleTimeoutMs = 2000;

    // Answers one request line (without its newline).
    using Responder = std::function<QByteArray(QByteArrayView line)>;

    ControlServer(QString socketPath, Responder responder, QObject *parent = nullptr);
    ~ControlServer() override;

    // Replaces a stale socket file and listens; false with errorString() when it cannot.
    bool listen();
    QString errorString() const;
    const QString &socketPath() const { return m_socketPath; }

private:
    void accept();
    void serve(QLocalSocket *socket);

    const QString m_socketPath;
    Responder m_responder;
    QLocalServer *m_server;
};

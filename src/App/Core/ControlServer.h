#pragma once

#include "Platform/Environment.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;
class Timer;

// The running instance's control socket (owner-only, in the support directory): each connection
// sends one line and receives one answer, then the server closes it. Connections are capped and
// closed after env.delays.controlConnectionIdle; once listening, a listener that stops (a failed
// accept closes it and removes its file) listens again every env.delays.listenerRetry.
// Runs on the main thread.
class ControlServer : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlServer)

public:
    static constexpr qsizetype maxRequestBytes = 4096;
    // Connections beyond this many are closed as they are accepted.
    static constexpr int maxConnections = 16;

    // Answers one request line (without its newline).
    using Responder = std::function<QByteArray(QByteArrayView line)>;

    ControlServer(QString socketPath, Responder responder, const Environment &env = {}, QObject *parent = nullptr);
    ~ControlServer() override;

    // Replaces a stale socket file and listens; false with errorString() when it cannot.
    bool listen();
    QString errorString() const;
    const QString &socketPath() const { return m_socketPath; }
    bool isListening() const;
    int connectionCount() const { return m_connections; }

private:
    void accept();
    void serve(QLocalSocket *socket);

    const QString m_socketPath;
    Responder m_responder;
    Clock &m_clock;
    const std::chrono::milliseconds m_idleTimeout;
    QLocalServer *m_server;
    Timer *m_watch;
    int m_connections = 0;
};

#pragma once

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <functional>

class Clock;
class QLocalSocket;
class Timer;

// One connection to the notify socket: collects one batch of lines and hands them on when the
// sender is done. Lives on the notify adapter's thread.
class NotifyConnection : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotifyConnection)

public:
    using LineHandler = std::function<void(QByteArrayView line)>;

    // The sender is done when it closes its side, or when what it sent ends with a newline and
    // nothing more arrives for quietPeriod on clock (the system's nc keeps its side open after its
    // input ends, waiting for us to close). A batch past maxBuffer is dropped unread.
    NotifyConnection(QLocalSocket *socket, qsizetype maxBuffer, Clock &clock, std::chrono::milliseconds quietPeriod,
                     LineHandler handler, QObject *parent);

private:
    void receive();
    void finish();
    void drop();

    QLocalSocket *m_socket;
    qsizetype m_maxBuffer;
    LineHandler m_handler;
    Timer *m_quietTimer;
    QByteArray m_buffer;
    bool m_done = false;
};

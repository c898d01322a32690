#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

#include <chrono>
#include <functional>

class Clock;
class QLocalSocket;
class Timer;

// One connection to the notify socket: collects one batch of lines and hands them on when the
// sender is done; the connection is closed once the handler says the batch is through (its
// events stored), so a sender that waits for the close knows they were. Lives on the notify
// adapter's thread.
class NotifyConnection : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotifyConnection)

public:
    // The lines are lent; call done once, on this thread, now or later.
    using BatchHandler = std::function<void(const QList<QByteArrayView> &lines, std::function<void()> done)>;

    struct Timing {
        // The sender is done when it closes its side, or when what it sent ends with a newline and
        // nothing more arrives for this long (the system's nc keeps its side open after its input
        // ends, waiting for us to close).
        std::chrono::milliseconds quietPeriod;
        // A sender that sends nothing for this long, without having finished a line, is dropped.
        std::chrono::milliseconds idle;
    };

    // A batch past maxBuffer is dropped unread.
    NotifyConnection(QLocalSocket *socket, qsizetype maxBuffer, Clock &clock, Timing timing, BatchHandler handler,
                     QObject *parent);

private:
    void receive();
    void finish();
    void drop();

    QLocalSocket *m_socket;
    qsizetype m_maxBuffer;
    BatchHandler m_handler;
    Timer *m_quietTimer;
    Timer *m_idleTimer;
    QByteArray m_buffer;
    bool m_done = false;
};

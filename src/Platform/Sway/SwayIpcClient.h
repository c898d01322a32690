#pragma once

#include "Platform/Sway/I3IpcFraming.h"

#include <QLocalSocket>
#include <QObject>

#include <deque>
#include <functional>
#include <optional>

// One connection to Sway's IPC socket. Replies come back in the order of the requests, so each
// request's callback waits in a queue; events (after a subscription) go to onEvent.
class SwayIpcClient : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SwayIpcClient)

public:
    explicit SwayIpcClient(QObject *parent = nullptr);
    // Closing the socket here reports nothing: whoever listened may be gone already.
    ~SwayIpcClient() override;

    // Connects, waiting at most the timeout; false when nobody answers there.
    bool connectTo(const QString &socketPath, int timeoutMs);
    bool isConnected() const;
    QString errorString() const { return m_error; }

    // Sends a request; the reply's payload goes to onReply on a later turn of the event loop.
    void send(quint32 type, const QByteArray &payload, std::function<void(const QByteArray &)> onReply = {});
    // Sends a request and waits for its reply (for the first reads at start); absent on failure or
    // timeout. Events that arrive meanwhile are handed over after the reply.
    std::optional<QByteArray> ask(quint32 type, const QByteArray &payload, int timeoutMs);

    std::function<void(quint32 eventType, const QByteArray &payload)> onEvent;
    // The connection is gone (Sway quit, or the stream broke); nothing is sent after this.
    std::function<void()> onDisconnected;

private:
    void readAvailable();
    void dispatch(I3Ipc::Message message);
    void fail(const QString &why);

    QLocalSocket m_socket;
    I3Ipc::Decoder m_decoder;
    std::deque<std::function<void(const QByteArray &)>> m_pendingReplies;
    std::deque<I3Ipc::Message> m_heldEvents; // events that arrived while ask() waited
    bool m_asking = false;
    bool m_failed = false;
    QString m_error;
};

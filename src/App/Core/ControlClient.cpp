#include "App/Core/ControlClient.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

namespace ControlClient {

std::optional<QByteArray> send(const QString &socketPath, const QByteArray &line, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return std::nullopt;
    socket.write(line);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return std::nullopt;
    QByteArray answer;
    // The server closes the connection once its answer is written.
    while (socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(int(deadline.remainingTime()));
        answer += socket.readAll();
    }
    answer += socket.readAll();
    if (socket.state() == QLocalSocket::ConnectedState)
        return std::nullopt; // timed out mid-answer
    return answer;
}

bool post(const QString &socketPath, const QByteArray &line, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(line);
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
            break;
    }
    const bool written = socket.bytesToWrite() == 0;
    socket.abort(); // the bytes are in the kernel's buffer: closing does not lose them
    return written;
}

} // namespace ControlClient

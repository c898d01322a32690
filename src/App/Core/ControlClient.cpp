#include "App/Core/ControlClient.h"

#include "Platform/LocalSocketClient.h"

namespace ControlClient {

std::optional<QByteArray> send(const QString &socketPath, const QByteArray &line, int timeoutMs)
{
    return LocalSocketClient::exchange(socketPath, line, timeoutMs);
}

bool post(const QString &socketPath, const QByteArray &line, int timeoutMs)
{
    return LocalSocketClient::post(socketPath, line, timeoutMs);
}

} // namespace ControlClient

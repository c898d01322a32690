#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Asks the instance listening on a control socket one question.
namespace ControlClient {

// Sends the line and returns the whole answer; none when nobody listens there or no answer
// comes within the timeout.
std::optional<QByteArray> send(const QString &socketPath, const QByteArray &line, int timeoutMs = 2000);

} // namespace ControlClient

#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Asks the instance listening on a control socket one question.
namespace ControlClient {

// Sends the line and returns the whole answer; none when nobody listens there or no answer
// comes within the timeout.
std::optional<QByteArray> send(const QString &socketPath, const QByteArray &line, int timeoutMs = 2000);

// Hands the line over without waiting for an answer; false when nobody listens there or the
// line could not be written within the timeout.
bool post(const QString &socketPath, const QByteArray &line, int timeoutMs);

} // namespace ControlClient

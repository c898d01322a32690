#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// One exchange over a local stream socket, waited for with poll(2) alone: the commands Claude Code
// runs for every message and hook event need neither Qt's socket classes nor an event loop.
namespace LocalSocketClient {

// Writes `line`, then reads until the server closes the connection; none when nobody listens at
// `path`, the connection fails, or it does not end within `timeoutMs` in all.
std::optional<QByteArray> exchange(const QString &path, QByteArrayView line, int timeoutMs);

// Writes `line` and closes without reading; false when nobody listens or it could not be written
// within `timeoutMs`.
bool post(const QString &path, QByteArrayView line, int timeoutMs);

} // namespace LocalSocketClient

#include "Telemetry/Adapters/CodexNotifyAdapter.h"

#include "Platform/Files/CheckedWrite.h"
#include "Telemetry/Adapters/NotifyConnection.h"
#include "Telemetry/EventBus.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <cstdio>
#include <stdexcept>

namespace {

QString sessionId(const QJsonObject &notification)
{
    for (const char *key : {"thread-id", "thread_id", "turn-id"}) {
        const QJsonValue value = notification.value(QLatin1String(key));
        if (value.isString())
            return value.toString();
    }
    return QStringLiteral("codex");
}

std::optional<AgentEventKind> classify(const QString &type)
{
    if (type.contains(QLatin1String("turn-complete")) || type.contains(QLatin1String("turn_complete")))
        return TurnEnded{};
    if (type.contains(QLatin1String("turn-start")) || type.contains(QLatin1String("turn_start")))
        return TurnStarted{};
    if (type.contains(QLatin1String("approval")))
        return ApprovalRequested{};
    return std::nullopt;
}

// The path as one sh word: verbatim between double quotes unless it holds a character that is
// special there, in which case it is single-quoted (with ' written as '\'').
QByteArray quotedForShell(const QString &path)
{
    const QByteArray bytes = path.toUtf8();
    if (!bytes.contains('"') && !bytes.contains('$') && !bytes.contains('`') && !bytes.contains('\\'))
        return '"' + bytes + '"';
    QByteArray quoted = "'";
    for (const char c : bytes) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + '\'';
}

} // namespace

CodexNotifyAdapter::CodexNotifyAdapter(EventBus *bus, QString socketPath, const Environment &env)
    : m_bus(bus)
    , m_socketPath(std::move(socketPath))
    , m_clock(*env.clock)
    , m_batchEnd(env.delays.notifyBatchEnd)
    , m_idleTimeout(env.delays.notifyConnectionIdle)
    , m_listener(m_thread, m_clock, env.delays.listenerRetry, [this](QLocalServer &server) { return bind(server); },
                 [this](QLocalSocket *socket) { accept(socket); })
{
}

CodexNotifyAdapter::~CodexNotifyAdapter() = default;

bool CodexNotifyAdapter::bind(QLocalServer &server)
{
    QFile::remove(m_socketPath); // left by an earlier run; failure ignored
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server.listen(m_socketPath)) {
        std::fprintf(stderr, "corvane: cannot listen for Codex's notify hook on %s: %s\n", qPrintable(m_socketPath),
                     qPrintable(server.errorString()));
        return false;
    }
    // Owner read and write is all a Unix socket needs; the listener is created with owner access.
    QFile::setPermissions(m_socketPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

void CodexNotifyAdapter::accept(QLocalSocket *socket)
{
    if (m_connectionCount >= maxConnections) {
        socket->abort();
        delete socket;
        return;
    }
    auto *connection = new NotifyConnection(
        socket, maxConnectionBuffer, m_clock, {m_batchEnd, m_idleTimeout},
        [this](const QList<QByteArrayView> &lines, std::function<void()> done) { handleBatch(lines, std::move(done)); },
        m_thread.context());
    ++m_connectionCount;
    QObject::connect(connection, &QObject::destroyed, [this] { --m_connectionCount; });
}

void CodexNotifyAdapter::handleBatch(const QList<QByteArrayView> &lines, std::function<void()> done)
{
    QList<AgentEvent> events;
    for (QByteArrayView line : lines) {
        if (std::optional<AgentEvent> event = eventFromLine(line, m_clock.now()))
            events.append(std::move(*event));
    }
    if (events.isEmpty())
        return done();
    // The connection closes once the events are stored (or not: the hook has no way to retry).
    const QPointer<QObject> context(m_thread.context());
    m_bus->publish(std::move(events), [context, done = std::move(done)](bool) {
        if (context)
            QMetaObject::invokeMethod(context.data(), done, Qt::QueuedConnection);
    });
}

void CodexNotifyAdapter::handleLine(QByteArrayView line)
{
    if (std::optional<AgentEvent> event = eventFromLine(line, m_clock.now()))
        m_bus->publish(*event);
}

std::optional<AgentEvent> CodexNotifyAdapter::eventFromLine(QByteArrayView line, const QDateTime &at)
{
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray());
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject notification = document.object();
    const QJsonValue type = notification.value(QLatin1String("type"));
    if (!type.isString())
        return std::nullopt;
    std::optional<AgentEventKind> kind = classify(type.toString().toLower());
    if (!kind)
        return std::nullopt;
    return AgentEvent::make(AgentSource::codexNotify, sessionId(notification), std::move(*kind), at);
}

QByteArray CodexNotifyAdapter::hookScript(const QString &socketPath)
{
    return QByteArrayLiteral("#!/bin/sh\n"
                             "# Corvane notify hook \xE2\x80\x94" " forwards Codex notify JSON to the local HUD.\n"
                             "# Receives the notification JSON as the first argument. No content is\n"
                             "# logged or stored; it is piped straight to a local Unix socket.\n"
                             "printf '%s\\n' \"$1\" | /usr/bin/nc -U ")
        + quotedForShell(socketPath) + QByteArrayLiteral(" 2>/dev/null || true");
}

void CodexNotifyAdapter::writeHookScript(const QString &to, const QString &socketPath)
{
    // Written with its mode in one step, so Codex never finds it empty or not executable.
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
        | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    if (const std::optional<QString> error = CheckedWrite::replaceFile(to, hookScript(socketPath), mode))
        throw std::runtime_error(error->toStdString());
}

#pragma once

#include "Platform/Environment.h"
#include "Telemetry/AgentEvent.h"
#include "Telemetry/Adapters/AdapterListener.h"
#include "Telemetry/Adapters/AdapterThread.h"
#include "Telemetry/Adapters/AgentAdapter.h"

#include <QByteArrayView>
#include <QLocalServer>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

class EventBus;

// Listens on the notify socket that Codex's notify hook writes to and publishes the turn edges
// it reports. Its listener and connections live on the thread "corvane.notify".
// The bus must outlive the adapter.
class CodexNotifyAdapter : public AgentAdapter {
    Q_DISABLE_COPY_MOVE(CodexNotifyAdapter)

public:
    // One connection's batch of lines may not exceed this; a larger one is dropped unread.
    static constexpr qsizetype maxConnectionBuffer = qsizetype(1) * 1024 * 1024;
    // Connections beyond this many are closed as they are accepted.
    static constexpr int maxConnections = 64;

    // A connection's lines are a batch once it has been quiet for env.delays.notifyBatchEnd; it is
    // closed once the batch's events are stored, or unread after env.delays.notifyConnectionIdle
    // without a byte. A listener that fails is opened again, every env.delays.listenerRetry.
    CodexNotifyAdapter(EventBus *bus, QString socketPath, const Environment &env = {});
    ~CodexNotifyAdapter() override;

    AgentSource source() const override { return AgentSource::codexNotify; }
    // Removes a stale socket file and listens again (owner-only socket); returns at once.
    void start() override { m_listener.start(); }
    void stop() override { m_listener.stop(); }

    const QString &socketPath() const { return m_socketPath; }
    bool isListening() const { return m_listener.isListening(); }
    // Connections open now (read on any thread).
    int connectionCount() const { return m_connectionCount; }
    // Called on the adapter's thread each time the listener becomes ready; set before start().
    void setOnReady(std::function<void()> onReady) { m_listener.setOnReady(std::move(onReady)); }

    // Publishes the turn edge one notification line reports, if any.
    void handleLine(QByteArrayView line);
    // The event a line maps to, stamped `at`.
    static std::optional<AgentEvent> eventFromLine(QByteArrayView line, const QDateTime &at);

    // Writes the hook script Codex runs (mode 0755). Throws std::runtime_error with the
    // file-system error when the write fails; an existing script is then left as it was.
    static void writeHookScript(const QString &to, const QString &socketPath);
    static QByteArray hookScript(const QString &socketPath);

private:
    bool bind(QLocalServer &server);
    void accept(QLocalSocket *socket);
    void handleBatch(const QList<QByteArrayView> &lines, std::function<void()> done);

    EventBus *m_bus;
    const QString m_socketPath;
    Clock &m_clock;
    const std::chrono::milliseconds m_batchEnd;
    const std::chrono::milliseconds m_idleTimeout;
    std::atomic<int> m_connectionCount{0};
    AdapterListener<QLocalServer> m_listener;

    // Declared last so it is destroyed first.
    AdapterThread m_thread{QStringLiteral("corvane.notify")};
};

#pragma once

#include "Platform/Environment.h"
#include "Telemetry/Adapters/AdapterThread.h"
#include "Telemetry/Adapters/AgentAdapter.h"
#include "Telemetry/Adapters/CodexRollout.h"
#include "Telemetry/Adapters/CodexRolloutLimits.h"
#include "Telemetry/Adapters/HistoryLink.h"
#include "Telemetry/Adapters/LineAssembler.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

class CodexHistoryReader;
class EventBus;

// Follows the rollout file of the Codex thread the user is working in (~/.codex/sessions, chosen
// through the thread index ~/.codex/state_5.sqlite) and publishes its newest token counts as
// snapshots, its model, its plan limits, and working/idle edges from the file's modification time.
// With a history link, every rollout file below ~/.codex/sessions that grew, changed or is new
// since the store last read it is imported at start, in the background, newest first.
// All state lives on its thread "corvane.codex-desktop-session".
class CodexDesktopSessionAdapter : public AgentAdapter {
    Q_DISABLE_COPY_MOVE(CodexDesktopSessionAdapter)

public:
    // homeDir holds ".codex". The rollout is read every env.delays.codexSessionPoll; a session is
    // working while its file was written within env.delays.codexSessionActiveWithin.
    CodexDesktopSessionAdapter(EventBus &bus, const QString &homeDir, const Environment &env = {});
    ~CodexDesktopSessionAdapter() override;

    AgentSource source() const override { return AgentSource::codexDesktopSession; }
    // Set before start().
    void setHistoryLink(HistoryLink link);
    // Polls at once and then at every poll interval.
    void start() override;
    void stop() override;

    // Imports the rollout files that changed since the store read them (with `since`, only those
    // modified since then), unless an import is under way; its progress goes to the history link.
    void importHistory(const std::optional<QDateTime> &since);

    // Polls now on the adapter's thread and returns when done; the timer keeps its rhythm.
    void pollNow();

    // The id of the thread the user is working in, by the thread index (none without one).
    // Safe from any thread: it opens the database read-only for each call.
    std::optional<QString> currentUserThreadId() const;

    static constexpr qint64 tailSeedBytes = 4 * 1024 * 1024;

private:
    void poll();
    void startImport(const std::optional<QDateTime> &since);
    void importStep();
    std::optional<QString> latestSessionFile() const;
    bool switchTo(const QString &file, qint64 size, const QDateTime &modifiedAt);
    void readIncrement(const QString &file, qint64 size, const QDateTime &modifiedAt);
    void adoptSession(const QString &sessionId);
    void publish(const CodexSessionSnapshot &snapshot);
    void updateActiveState(const QDateTime &modifiedAt, const QDateTime &eventTime);
    void publishLimits(QByteArrayView line, const QDateTime &now, const QDateTime &modifiedAt);
    void seedLimits(QByteArrayView lines, const QDateTime &now);

    EventBus &m_bus;
    const QString m_codexHome;
    Clock &m_clock;
    const std::chrono::milliseconds m_pollInterval;
    const std::chrono::milliseconds m_activeWithin;
    Timer *m_timer = nullptr;
    std::optional<QString> m_currentFile;
    qint64 m_currentOffset = 0; // bytes of the current file fed to m_lines
    LineAssembler m_lines{QString()};
    QString m_currentSessionId = QStringLiteral("codex-desktop");
    std::optional<QString> m_currentModel;
    std::optional<QString> m_lastReportedModel;
    std::optional<QString> m_lastSnapshotFingerprint;
    std::optional<SessionSnapshot> m_lastPublished; // of m_currentSessionId
    bool m_active = false;
    RepeatedTokenInfo m_repeatedInfo;
    QString m_limitFamily = QStringLiteral("codex");
    std::optional<QDateTime> m_limitEndedTurnAt; // the file's time when a usage limit ended the turn
    std::optional<HistoryLink> m_history;
    std::unique_ptr<HistorySink> m_sink;
    std::unique_ptr<CodexHistoryReader> m_reader;
    std::unique_ptr<HistoryImport> m_import;
    AdapterThread m_thread{QStringLiteral("corvane.codex-desktop-session")}; // last: stops before the state goes
};

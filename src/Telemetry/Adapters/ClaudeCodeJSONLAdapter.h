#pragma once

#include "Platform/Environment.h"
#include "Telemetry/Adapters/AdapterThread.h"
#include "Telemetry/Adapters/AgentAdapter.h"
#include "Telemetry/Adapters/RecentIdentities.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

class DirectoryTreeWatcher;
class EventBus;
struct ClaudeTranscriptLine;

// Follows Claude Code's JSON-lines transcripts below a root directory (~/.claude/projects) and
// publishes turn starts, models, token usage and tool-call names from the lines appended to them.
// All state lives on its thread "corvane.claude-jsonl"; start() and stop() come from the main thread.
class ClaudeCodeJSONLAdapter : public AgentAdapter {
    Q_DISABLE_COPY_MOVE(ClaudeCodeJSONLAdapter)

public:
    // An open turn is checked every env.delays.transcriptIdleCheck and ends once it has been quiet
    // for longer than env.delays.transcriptTurnQuiet.
    ClaudeCodeJSONLAdapter(EventBus &bus, QString rootDir, const Environment &env = {});
    ~ClaudeCodeJSONLAdapter() override;

    AgentSource source() const override { return AgentSource::claudeCodeJsonl; }
    // Starts from scratch: what the transcripts hold now is history and is not read.
    void start() override;
    void stop() override;

    // The events of one transcript line (stamped now when the line carries no time).
    static QList<AgentEvent> events(QByteArrayView line, const QString &fallbackSession);

    // How many line and response identities are remembered to recognise copies.
    static constexpr std::size_t identityMemory = 50000;

private:
    struct Transcript {
        qint64 offset = 0;
        QByteArray remainder; // the unterminated tail: a line still being written
        bool appearedAfterStart = false;
    };

    void startOnThread();
    void stopOnThread();
    void primeOffsets();
    void readAppended(const QString &path);
    void handleBytes(Transcript &transcript, QByteArrayView bytes, const QString &fallbackSession);
    void handleLine(QByteArrayView text, const QString &fallbackSession, bool appearedAfterStart, const QDateTime &now);
    bool keepOnlyNew(ClaudeTranscriptLine &line, bool appearedAfterStart);
    void checkIdle();

    EventBus &m_bus;
    const QString m_rootDir;
    Clock &m_clock;
    const Delays m_delays;
    QHash<QString, Transcript> m_transcripts;
    DirectoryTreeWatcher *m_watcher = nullptr;
    Timer *m_idleTimer = nullptr;
    std::optional<QDateTime> m_lastEventAt;
    std::optional<QString> m_lastSessionId;
    bool m_turnOpen = false;
    QDateTime m_startedAt;
    RecentIdentities m_seenLines{identityMemory};
    RecentIdentities m_countedResponses{identityMemory};
    AdapterThread m_thread{QStringLiteral("corvane.claude-jsonl")}; // last: stops before the state goes
};

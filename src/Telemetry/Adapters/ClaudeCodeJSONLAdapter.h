#pragma once

#include "Platform/Environment.h"
#include "Telemetry/Adapters/AdapterThread.h"
#include "Telemetry/Adapters/AgentAdapter.h"
#include "Telemetry/Adapters/ClaudeLineFilter.h"
#include "Telemetry/Adapters/HistoryLink.h"
#include "Telemetry/Adapters/LineAssembler.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class ClaudeHistoryReader;
class DirectoryTreeWatcher;
class EventBus;

// Follows Claude Code's JSON-lines transcripts below a root directory (~/.claude/projects) and
// publishes turn starts, models, token usage and tool-call names from the lines appended to them.
// With a history link, each transcript's read position is kept: at start the lines appended
// while Corvane was not running are read, and transcripts never counted (or replaced, or cut)
// are imported into the store in the background, newest first, before live reading takes them
// over. Without one, what the transcripts hold at start is not read.
// All state lives on its thread "corvane.claude-jsonl"; start() and stop() come from the main thread.
class ClaudeCodeJSONLAdapter : public AgentAdapter {
    Q_DISABLE_COPY_MOVE(ClaudeCodeJSONLAdapter)

public:
    // An open turn is checked every env.delays.transcriptIdleCheck and ends once it has been quiet
    // for longer than env.delays.transcriptTurnQuiet.
    ClaudeCodeJSONLAdapter(EventBus &bus, QString rootDir, const Environment &env = {});
    ~ClaudeCodeJSONLAdapter() override;

    AgentSource source() const override { return AgentSource::claudeCodeJsonl; }
    // Set before start().
    void setHistoryLink(HistoryLink link);
    void start() override;
    void stop() override;
    // Imports the transcripts live reading does not know yet (with `since`, only those modified
    // since then), unless an import is under way; its progress goes to the history link.
    void importHistory(const std::optional<QDateTime> &since);

    // The events of one transcript line (stamped now when the line carries no time).
    static QList<AgentEvent> events(QByteArrayView line, const QString &fallbackSession);

    static constexpr std::size_t identityMemory = ClaudeLineFilter::identityMemory;

private:
    struct Transcript {
        explicit Transcript(const QString &path, qint64 offset = 0, bool importing = false)
            : lines(path), offset(offset), importing(importing) {}
        LineAssembler lines;
        qint64 offset = 0; // bytes fed to `lines`
        std::optional<FileIdentity> identity; // of the file read so far; none before the first read
        bool importing = false; // the history import reads it; live reading waits for its end
    };

    void startOnThread();
    void stopOnThread();
    void primeOffsets();
    void resumeFromStore();
    void beginImport(const QList<HistoryImport::Job> &jobs);
    void importStep();
    void importedUpTo(const FilePosition &position);
    void readAppended(const QString &path);
    void handleLine(QByteArrayView text, const QString &fallbackSession, const QDateTime &now, QList<AgentEvent> &out,
                    CountedIdentities &counted);
    void checkIdle();

    EventBus &m_bus;
    const QString m_rootDir;
    Clock &m_clock;
    const Delays m_delays;
    std::optional<HistoryLink> m_history;
    QHash<QString, Transcript> m_transcripts;
    DirectoryTreeWatcher *m_watcher = nullptr;
    Timer *m_idleTimer = nullptr;
    std::optional<QDateTime> m_lastEventAt;
    std::optional<QString> m_lastSessionId;
    bool m_turnOpen = false;
    ClaudeLineFilter m_filter;
    std::unique_ptr<HistorySink> m_sink;
    std::unique_ptr<ClaudeHistoryReader> m_reader;
    std::unique_ptr<HistoryImport> m_import;
    AdapterThread m_thread{QStringLiteral("corvane.claude-jsonl")}; // last: stops before the state goes
};

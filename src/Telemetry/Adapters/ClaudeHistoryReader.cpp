#include "Telemetry/Adapters/ClaudeHistoryReader.h"

#include "Telemetry/Adapters/ClaudeLineFilter.h"
#include "Telemetry/Adapters/ClaudeTranscriptLine.h"

#include <QFileInfo>

ClaudeHistoryReader::ClaudeHistoryReader(ClaudeLineFilter &filter, std::chrono::milliseconds turnQuiet, QDateTime now)
    : m_filter(filter)
    , m_turnQuiet(turnQuiet)
    , m_now(std::move(now))
{
}

void ClaudeHistoryReader::beginFile(const QString &path)
{
    m_fallbackSession = QFileInfo(path).completeBaseName();
    m_sessions.clear();
}

void ClaudeHistoryReader::line(QByteArrayView text, HistoryImport::Batch &batch)
{
    ClaudeTranscriptLine line = ClaudeTranscriptLine::parse(text, m_fallbackSession, m_now);
    if (line.events.isEmpty() || !m_filter.keepOnlyNew(line, &batch.counted))
        return;
    const QString &sessionId = line.events.front().sessionId;
    Session &session = m_sessions[sessionId];
    endQuietTurn(sessionId, session, line.events.front().timestamp, batch);
    for (AgentEvent &event : line.events) {
        if (const auto *info = std::get_if<ModelInfo>(&event.kind)) {
            if (session.model == info->model)
                continue;
            session.model = info->model;
        }
        // A response without a user line before it still opens a turn, as in live reading.
        session.turnOpen = session.turnOpen || std::holds_alternative<TurnStarted>(event.kind)
                           || std::holds_alternative<TokenUsage>(event.kind);
        session.lastEventAt = event.timestamp;
        batch.rows.append({std::move(event), session.model});
    }
}

void ClaudeHistoryReader::endFile(HistoryImport::Batch &batch)
{
    for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
        endQuietTurn(it.key(), it.value(), m_now, batch);
}

void ClaudeHistoryReader::endQuietTurn(const QString &sessionId, Session &session, const QDateTime &before,
                                       HistoryImport::Batch &batch)
{
    if (!session.turnOpen || session.lastEventAt.msecsTo(before) <= m_turnQuiet.count())
        return;
    session.turnOpen = false;
    const QDateTime endedAt = session.lastEventAt.addMSecs(m_turnQuiet.count());
    batch.rows.append({AgentEvent::make(AgentSource::claudeCodeJsonl, sessionId, TurnEnded{}, endedAt), session.model});
}

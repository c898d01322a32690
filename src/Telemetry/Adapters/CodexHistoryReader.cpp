#include "Telemetry/Adapters/CodexHistoryReader.h"

#include <algorithm>

CodexHistoryReader::CodexHistoryReader(QDateTime now, CountedLive countedLive)
    : m_now(std::move(now))
    , m_countedLive(std::move(countedLive))
{
}

void CodexHistoryReader::beginFile(const QString &path)
{
    m_sessionId = CodexRollout::threadId(path).value_or(QStringLiteral("codex-desktop"));
    m_model.reset();
    m_previous.reset();
    m_live.reset();
}

void CodexHistoryReader::line(QByteArrayView line, HistoryImport::Batch &batch)
{
    if (const auto session = CodexRollout::sessionId(line)) {
        m_sessionId = *session;
        m_live.reset();
    } else if (const auto model = CodexRollout::turnModel(line)) {
        if (model->first != m_model) {
            m_model = model->first;
            add(ModelInfo{model->first}, model->second, batch);
        }
    } else if (const auto edge = CodexRollout::turnEdge(line)) {
        add(edge->first ? AgentEventKind(TurnStarted{}) : AgentEventKind(TurnEnded{}), edge->second, batch);
    } else if (const auto totals = CodexRollout::snapshot(line, m_sessionId, m_now)) {
        addIncrement(*totals, batch);
    }
}

void CodexHistoryReader::add(AgentEventKind kind, const QDateTime &at, HistoryImport::Batch &batch)
{
    const QDateTime stamp = at.isValid() ? at : m_now;
    batch.rows.append({AgentEvent::make(AgentSource::codexDesktopSession, m_sessionId, std::move(kind), stamp), m_model});
}

void CodexHistoryReader::addIncrement(const CodexSessionSnapshot &totals, HistoryImport::Batch &batch)
{
    // Counts that went down started over (a new accumulation): all of them are new.
    const bool startedOver = m_previous && totals.sessionTokens < m_previous->sessionTokens;
    CodexSessionSnapshot base = m_previous && !startedOver ? *m_previous : CodexSessionSnapshot{};
    m_previous = totals;
    if (!m_live) {
        const auto live = m_countedLive ? m_countedLive(m_sessionId) : std::nullopt;
        m_live = live.value_or(SessionSnapshot{});
    }
    if (m_live->sessionTokens > base.sessionTokens) {
        if (totals.sessionTokens <= m_live->sessionTokens)
            return; // counted by the live channel's snapshots
        // Counted live up to a count between the previous line's and this one's: the rest is new.
        base.inputTokens = m_live->inputTokens;
        base.outputTokens = m_live->outputTokens;
        base.cachedTokens = m_live->cachedTokens.value_or(0);
    }
    TokenUsage usage;
    usage.inputTokens = std::max<qint64>(0, totals.inputTokens - base.inputTokens);
    usage.outputTokens = std::max<qint64>(0, totals.outputTokens - base.outputTokens);
    if (const qint64 cached = totals.cachedTokens - base.cachedTokens; cached > 0)
        usage.cachedTokens = cached;
    if (usage.inputTokens + usage.outputTokens > 0)
        add(usage, totals.timestamp, batch);
}

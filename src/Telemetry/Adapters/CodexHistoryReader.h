#pragma once

#include "Telemetry/Adapters/CodexRollout.h"
#include "Telemetry/Adapters/HistoryImport.h"

#include <QDateTime>

#include <functional>
#include <optional>

// Codex rollout lines as imported history. A rollout records cumulative token counts; each
// response is stored as what its count added to the one before (a repeated count adds nothing),
// with the model of the turn it belongs to, and the turns' starts and ends as recorded. Reading
// a file again from its start gives the same rows, which the store already holds. What the live
// channel already counted of a thread (its snapshots' cumulative counts) is not imported again:
// only what a rollout records beyond that is.
class CodexHistoryReader final : public HistoryImport::Reader {
public:
    // The cumulative counts of a thread that live reading counted; none when it counted nothing.
    using CountedLive = std::function<std::optional<SessionSnapshot>(const QString &sessionId)>;

    CodexHistoryReader(QDateTime now, CountedLive countedLive = {});

    void beginFile(const QString &path) override;
    void line(QByteArrayView line, HistoryImport::Batch &batch) override;
    void endFile(HistoryImport::Batch &) override {}

private:
    void add(AgentEventKind kind, const QDateTime &at, HistoryImport::Batch &batch);
    void addIncrement(const CodexSessionSnapshot &totals, HistoryImport::Batch &batch);

    const QDateTime m_now;
    CountedLive m_countedLive;
    QString m_sessionId;
    std::optional<SessionSnapshot> m_live; // what live reading counted of the current thread, once asked
    std::optional<QString> m_model;
    std::optional<CodexSessionSnapshot> m_previous;
};

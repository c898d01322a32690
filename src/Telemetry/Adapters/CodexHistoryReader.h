#pragma once

#include "Telemetry/Adapters/CodexRollout.h"
#include "Telemetry/Adapters/HistoryImport.h"

#include <QDateTime>

#include <optional>

// Codex rollout lines as imported history. A rollout records cumulative token counts; each
// response is stored as what its count added to the one before (a repeated count adds nothing),
// with the model of the turn it belongs to, and the turns' starts and ends as recorded. Reading
// a file again from its start gives the same rows, which the store already holds.
class CodexHistoryReader final : public HistoryImport::Reader {
public:
    explicit CodexHistoryReader(QDateTime now);

    void beginFile(const QString &path) override;
    void line(QByteArrayView line, HistoryImport::Batch &batch) override;
    void endFile(HistoryImport::Batch &) override {}

private:
    void add(AgentEventKind kind, const QDateTime &at, HistoryImport::Batch &batch);
    void addIncrement(const CodexSessionSnapshot &totals, HistoryImport::Batch &batch);

    const QDateTime m_now;
    QString m_sessionId;
    std::optional<QString> m_model;
    std::optional<CodexSessionSnapshot> m_previous;
};

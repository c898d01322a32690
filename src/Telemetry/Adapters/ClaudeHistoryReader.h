#pragma once

#include "Telemetry/Adapters/HistoryImport.h"

#include <QDateTime>
#include <QHash>

#include <chrono>

class ClaudeLineFilter;

// Claude Code transcript lines as imported history: the events live reading gives, filtered by
// the same ClaudeLineFilter, each stored with its session's model; a model is stored when a
// session's model changes, and a turn that went quiet for longer than the quiet rule is ended
// at its last event plus that rule, as live reading would have ended it.
class ClaudeHistoryReader final : public HistoryImport::Reader {
public:
    // now: lines without a time are stamped with it, and turns quiet since before it end.
    ClaudeHistoryReader(ClaudeLineFilter &filter, std::chrono::milliseconds turnQuiet, QDateTime now);

    void beginFile(const QString &path) override;
    void line(QByteArrayView line, HistoryImport::Batch &batch) override;
    void endFile(HistoryImport::Batch &batch) override;

private:
    struct Session {
        std::optional<QString> model;
        QDateTime lastEventAt;
        bool turnOpen = false;
    };

    void endQuietTurn(const QString &sessionId, Session &session, const QDateTime &before, HistoryImport::Batch &batch);

    ClaudeLineFilter &m_filter;
    const std::chrono::milliseconds m_turnQuiet;
    const QDateTime m_now;
    QString m_fallbackSession;
    QHash<QString, Session> m_sessions; // of the current file
};

#pragma once

#include "Telemetry/AgentEvent.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

// What one Claude Code transcript line yields: its events and the identities used to recognise
// lines and responses that were already counted. Only metadata is read, never message text or
// tool input.
struct ClaudeTranscriptLine {
    QList<AgentEvent> events;
    QString uuid;        // the line's own "uuid"; empty when absent
    QString responseId;  // "message"."id" with "requestId" when present; empty without a message id
    QDateTime stampedAt; // the line's "timestamp"; invalid when missing or unreadable

    // Events stamped with the line's time, or `now` when it has none.
    static ClaudeTranscriptLine parse(QByteArrayView line, const QString &fallbackSession, const QDateTime &now);
};

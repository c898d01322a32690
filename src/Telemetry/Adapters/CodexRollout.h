#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <optional>
#include <utility>

// The newest token counts of a Codex thread, as its rollout file records them (cumulative).
struct CodexSessionSnapshot {
    QString sessionId;
    QDateTime timestamp;
    qint64 sessionTokens = 0;
    qint64 contextTokens = 0;
    qint64 contextInputTokens = 0;
    qint64 inputTokens = 0;
    qint64 outputTokens = 0;
    qint64 cachedTokens = 0;
    qint64 modelContextWindow = 0;

    bool operator==(const CodexSessionSnapshot &) const = default;

    // sessionId and the token totals joined with ":"; equal fingerprints are not republished.
    QString fingerprint() const;
};

// Readers of the lines of a Codex rollout file (JSON Lines). Pure; `now` stamps lines without a time.
namespace CodexRollout {

// A "token_count" event line, else none.
std::optional<CodexSessionSnapshot> snapshot(QByteArrayView line, const QString &sessionId, const QDateTime &now);
// The snapshot of the last line of the chunk that has one.
std::optional<CodexSessionSnapshot> latestSnapshot(QByteArrayView chunk, const QString &sessionId, const QDateTime &now);
// The thread id of a "session_meta" line, else none.
std::optional<QString> sessionId(QByteArrayView line);
// The model of a "turn_context" line, with the line's time (invalid when it has none); else none.
std::optional<std::pair<QString, QDateTime>> turnModel(QByteArrayView line);
// A "task_started" (true) or "task_complete" (false) event line, with its time; else none.
std::optional<std::pair<bool, QDateTime>> turnEdge(QByteArrayView line);
// The thread UUID in a rollout file's name (lower-case hexadecimal only), else none.
std::optional<QString> threadId(const QString &filePath);

} // namespace CodexRollout

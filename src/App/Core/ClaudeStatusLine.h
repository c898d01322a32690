#pragma once

#include "Telemetry/ScopedMetrics.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QString>

#include <optional>

// What Claude Code hands its statusLine command on stdin, reduced to the metadata Corvane
// uses: no prompt, answer or path is kept.
struct ClaudeStatusReport {
    QString sessionId;
    std::optional<QString> model;
    std::optional<double> costUsd;            // Claude Code's own cost of the session
    std::optional<qint64> contextWindowSize;
    std::optional<double> contextUsedPercent;
    qint64 sessionTokens = 0;                 // total input + output of the session
    std::optional<PlanLimits> limits;         // absent while no response carried the headers

    bool operator==(const ClaudeStatusReport &) const = default;

    // None when the document is not a JSON object with a session id. `now` stamps the limits.
    static std::optional<ClaudeStatusReport> fromDocument(QByteArrayView document, const QDateTime &now);
    // The compact form sent over the control socket, and back.
    QJsonObject toJson() const;
    static std::optional<ClaudeStatusReport> fromJson(const QJsonObject &object);
};

// "corvane --claude-statusline": the running instance gets the report, the terminal one line.
namespace ClaudeStatusLine {

// How long the command waits for the instance before it prints the line from the document.
inline constexpr int instanceTimeoutMs = 8;

// "Claude Code · Idle · session 3.7k · $0.017 · 5h 43 % · 1:12 · claude-sonnet-5-5": the instance's
// state and this session's tokens and estimate when it knows them (metrics may be null), the
// reported cost and the limits.
QString line(const ClaudeStatusReport &report, const ScopedMetrics *metrics, const QDateTime &now);

// Reads stdin, hands the report over, prints the line; status 0 (1 with an error line when
// stdin holds no status document).
int run(const QString &controlSocket);

} // namespace ClaudeStatusLine

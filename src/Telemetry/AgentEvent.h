#pragma once

#include "Telemetry/PlanLimits.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <array>
#include <optional>
#include <span>
#include <stdexcept>
#include <variant>

// Where an event came from. Raw text is the case name.
enum class AgentSource { codexOtel, codexNotify, codexDesktopSession, claudeCodeJsonl, mock, claudeCodeHooks };

inline constexpr std::array<AgentSource, 6> allAgentSources{
    AgentSource::codexOtel, AgentSource::codexNotify, AgentSource::codexDesktopSession,
    AgentSource::claudeCodeJsonl, AgentSource::mock, AgentSource::claudeCodeHooks};

QString rawValue(AgentSource source);
std::optional<AgentSource> agentSourceFromRaw(QStringView raw);
bool isCodexSource(AgentSource source);

// What an agent is doing. Raw text is the case name.
enum class AgentState { idle, working, awaitingApproval };

QString rawValue(AgentState state);
std::optional<AgentState> agentStateFromRaw(QStringView raw);

// The agents the HUD tells apart; each owns one or more sources.
enum class DisplayAgent { claudeCode, codex, mock };

inline constexpr std::array<DisplayAgent, 3> allDisplayAgents{
    DisplayAgent::claudeCode, DisplayAgent::codex, DisplayAgent::mock};

QString rawValue(DisplayAgent agent);
std::optional<DisplayAgent> displayAgentFromRaw(QStringView raw);
std::span<const AgentSource> sources(DisplayAgent agent);
DisplayAgent displayAgent(AgentSource source);

// The kinds of event, each with its payload.
struct TurnStarted {
    bool operator==(const TurnStarted &) const = default;
};
struct TurnEnded {
    bool operator==(const TurnEnded &) const = default;
};
struct TokenUsage {
    qint64 inputTokens = 0; // includes cachedTokens and the cache writes
    qint64 outputTokens = 0;
    std::optional<qint64> cachedTokens;
    // Input tokens written to the prompt cache, by how long the entry lives.
    qint64 cacheWrite5mTokens = 0;
    qint64 cacheWrite1hTokens = 0;
    bool operator==(const TokenUsage &) const = default;
};
struct SessionSnapshot {
    qint64 sessionTokens = 0;
    qint64 contextTokens = 0;
    qint64 inputTokens = 0;
    qint64 outputTokens = 0;
    std::optional<qint64> cachedTokens;
    std::optional<qint64> modelContextWindow;
    std::optional<qint64> contextInputTokens;
    bool operator==(const SessionSnapshot &) const = default;
};
struct ToolCall {
    QString name;
    std::optional<qint64> durationMs;
    // The agent's own id of the call, when it reports the start and the end of one call apart.
    std::optional<QString> callId;
    bool failed = false;
    bool operator==(const ToolCall &) const = default;
};
struct ModelInfo {
    QString model;
    bool operator==(const ModelInfo &) const = default;
};
struct ApprovalRequested {
    bool operator==(const ApprovalRequested &) const = default;
};
struct StateText {
    QString text;
    bool operator==(const StateText &) const = default;
};

using AgentEventKind = std::variant<TurnStarted, TurnEnded, TokenUsage, SessionSnapshot, ToolCall,
                                    ModelInfo, ApprovalRequested, StateText, PlanLimits>;

// A random (version 4) UUID from a per-thread generator seeded by the system's entropy;
// QUuid::createUuid asks the kernel every time, which dominates the cost of a busy adapter.
QUuid randomUuid();

// The case name of a kind: "turnStarted", "tokenUsage", ...
QString caseName(const AgentEventKind &kind);

// A decoding failure with the coding path at which it happened.
class DecodingError : public std::runtime_error {
public:
    enum class Reason { typeMismatch, keyNotFound, dataCorrupted };
    DecodingError(Reason reason, QString codingPath, QString description);
    Reason reason() const { return m_reason; }
    const QString &codingPath() const { return m_codingPath; }
    const QString &description() const { return m_description; }

private:
    Reason m_reason;
    QString m_codingPath;
    QString m_description;
};

// The one normalised record every telemetry source is turned into.
struct AgentEvent {
    QUuid id;
    AgentSource source = AgentSource::mock;
    QString sessionId;
    QDateTime timestamp;
    AgentEventKind kind;

    // A new event with a fresh random id, stamped now unless a time is given.
    static AgentEvent make(AgentSource source, QString sessionId, AgentEventKind kind,
                           QDateTime timestamp = QDateTime::currentDateTimeUtc());

    bool operator==(const AgentEvent &) const = default;

    QJsonObject toJson() const;
    // Throws DecodingError when the object is not an event.
    static AgentEvent fromJson(const QJsonObject &object);
};

QJsonObject kindToJson(const AgentEventKind &kind);
// Throws DecodingError; codingPath names where the kind object sits.
AgentEventKind kindFromJson(const QJsonObject &object, const QString &codingPath = QStringLiteral("kind"));

Q_DECLARE_METATYPE(AgentEvent)

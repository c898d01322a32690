#include "Telemetry/AgentEvent.h"

#include "Telemetry/EnumNames.h"

#include <QJsonValue>
#include <QRandomGenerator>


namespace {

constexpr std::array<const char *, 6> sourceNames{"codexOtel", "codexNotify", "codexDesktopSession",
                                                  "claudeCodeJsonl", "mock", "claudeCodeHooks"};
constexpr std::array<const char *, 3> stateNames{"idle", "working", "awaitingApproval"};
constexpr std::array<const char *, 3> agentNames{"claudeCode", "codex", "mock"};
constexpr std::array<const char *, 9> kindNames{"turnStarted", "turnEnded", "tokenUsage",
                                                "sessionSnapshot", "toolCall", "modelInfo",
                                                "approvalRequested", "stateText", "planLimits"};


constexpr std::array<AgentSource, 2> claudeSources{AgentSource::claudeCodeJsonl, AgentSource::claudeCodeHooks};
constexpr std::array<AgentSource, 3> codexSources{AgentSource::codexOtel, AgentSource::codexNotify,
                                                  AgentSource::codexDesktopSession};
constexpr std::array<AgentSource, 1> mockSources{AgentSource::mock};

// Reads the payload fields of one kind object, tracking the coding path for errors.
class PayloadReader {
public:
    PayloadReader(const QJsonObject &object, QString path) : m_object(object), m_path(std::move(path)) {}

    qint64 integer(const char *key) const
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isUndefined())
            throw missing(key);
        return toInteger(value, key);
    }

    std::optional<qint64> optionalInteger(const char *key) const
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        return toInteger(value, key);
    }

    QString text(const char *key) const
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        if (value.isUndefined())
            throw missing(key);
        if (!value.isString())
            throw mismatch(key, "Expected to decode String but found another type instead.");
        return value.toString();
    }

private:
    qint64 toInteger(const QJsonValue &value, const char *key) const
    {
        if (!value.isDouble())
            throw mismatch(key, "Expected to decode Int64 but found another type instead.");
        // toInteger gives 0 for a fraction or a number outside 64 bits.
        const qint64 asInteger = value.toInteger();
        if (asInteger == 0 && value.toDouble() != 0.0)
            throw DecodingError(DecodingError::Reason::dataCorrupted, fieldPath(key),
                                QStringLiteral("Parsed JSON number does not fit in Int64."));
        return asInteger;
    }

    QString fieldPath(const char *key) const { return m_path + u'.' + QLatin1String(key); }

    DecodingError missing(const char *key) const
    {
        return DecodingError(DecodingError::Reason::keyNotFound, m_path,
                             QStringLiteral("No value associated with key \"%1\".").arg(QLatin1String(key)));
    }

    DecodingError mismatch(const char *key, const char *description) const
    {
        return DecodingError(DecodingError::Reason::typeMismatch, fieldPath(key), QLatin1String(description));
    }

    const QJsonObject &m_object;
    QString m_path;
};

void putOptional(QJsonObject &object, const char *key, const std::optional<qint64> &value)
{
    if (value)
        object.insert(QLatin1String(key), *value);
}

QJsonObject payloadToJson(const AgentEventKind &kind)
{
    QJsonObject payload;
    if (const auto *usage = std::get_if<TokenUsage>(&kind)) {
        payload.insert(QStringLiteral("inputTokens"), usage->inputTokens);
        payload.insert(QStringLiteral("outputTokens"), usage->outputTokens);
        putOptional(payload, "cachedTokens", usage->cachedTokens);
        if (usage->cacheWrite5mTokens > 0)
            payload.insert(QStringLiteral("cacheWrite5mTokens"), usage->cacheWrite5mTokens);
        if (usage->cacheWrite1hTokens > 0)
            payload.insert(QStringLiteral("cacheWrite1hTokens"), usage->cacheWrite1hTokens);
    } else if (const auto *snapshot = std::get_if<SessionSnapshot>(&kind)) {
        payload.insert(QStringLiteral("sessionTokens"), snapshot->sessionTokens);
        payload.insert(QStringLiteral("contextTokens"), snapshot->contextTokens);
        payload.insert(QStringLiteral("inputTokens"), snapshot->inputTokens);
        payload.insert(QStringLiteral("outputTokens"), snapshot->outputTokens);
        putOptional(payload, "cachedTokens", snapshot->cachedTokens);
        putOptional(payload, "modelContextWindow", snapshot->modelContextWindow);
        putOptional(payload, "contextInputTokens", snapshot->contextInputTokens);
    } else if (const auto *tool = std::get_if<ToolCall>(&kind)) {
        payload.insert(QStringLiteral("name"), tool->name);
        putOptional(payload, "durationMs", tool->durationMs);
        if (tool->callId)
            payload.insert(QStringLiteral("callId"), *tool->callId);
        if (tool->failed)
            payload.insert(QStringLiteral("failed"), true);
    } else if (const auto *model = std::get_if<ModelInfo>(&kind)) {
        payload.insert(QStringLiteral("model"), model->model);
    } else if (const auto *state = std::get_if<StateText>(&kind)) {
        payload.insert(QStringLiteral("_0"), state->text);
    } else if (const auto *limits = std::get_if<PlanLimits>(&kind)) {
        payload = limits->toJson();
    }
    return payload;
}

AgentEventKind payloadFromJson(std::size_t caseIndex, const QJsonObject &payload, const QString &path)
{
    const PayloadReader read(payload, path);
    switch (caseIndex) {
    case 0: return TurnStarted{};
    case 1: return TurnEnded{};
    case 2: return TokenUsage{read.integer("inputTokens"), read.integer("outputTokens"),
                              read.optionalInteger("cachedTokens"), read.optionalInteger("cacheWrite5mTokens").value_or(0),
                              read.optionalInteger("cacheWrite1hTokens").value_or(0)};
    case 3: return SessionSnapshot{read.integer("sessionTokens"), read.integer("contextTokens"),
                                   read.integer("inputTokens"), read.integer("outputTokens"),
                                   read.optionalInteger("cachedTokens"),
                                   read.optionalInteger("modelContextWindow"),
                                   read.optionalInteger("contextInputTokens")};
    case 4: {
        const QJsonValue callId = payload.value(QLatin1String("callId"));
        return ToolCall{read.text("name"), read.optionalInteger("durationMs"),
                        callId.isString() ? std::optional(callId.toString()) : std::nullopt,
                        payload.value(QLatin1String("failed")).toBool(false)};
    }
    case 5: return ModelInfo{read.text("model")};
    case 6: return ApprovalRequested{};
    case 7: return StateText{read.text("_0")};
    default: return PlanLimits::fromJson(payload, path);
    }
}

QJsonObject requireObject(const QJsonValue &value, const QString &path)
{
    if (!value.isObject())
        throw DecodingError(DecodingError::Reason::typeMismatch, path,
                            QStringLiteral("Expected to decode Dictionary but found another type instead."));
    return value.toObject();
}

QString requireString(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        throw DecodingError(DecodingError::Reason::keyNotFound, QString(),
                            QStringLiteral("No value associated with key \"%1\".").arg(QLatin1String(key)));
    if (!value.isString())
        throw DecodingError(DecodingError::Reason::typeMismatch, QLatin1String(key),
                            QStringLiteral("Expected to decode String but found another type instead."));
    return value.toString();
}

} // namespace

QString rawValue(AgentSource source) { return enumName(sourceNames, source); }
std::optional<AgentSource> agentSourceFromRaw(QStringView raw) { return enumFromName<AgentSource>(sourceNames, raw); }

bool isCodexSource(AgentSource source)
{
    return source == AgentSource::codexOtel || source == AgentSource::codexNotify
        || source == AgentSource::codexDesktopSession;
}

QString rawValue(AgentState state) { return enumName(stateNames, state); }
std::optional<AgentState> agentStateFromRaw(QStringView raw) { return enumFromName<AgentState>(stateNames, raw); }

QString rawValue(DisplayAgent agent) { return enumName(agentNames, agent); }
std::optional<DisplayAgent> displayAgentFromRaw(QStringView raw) { return enumFromName<DisplayAgent>(agentNames, raw); }

std::span<const AgentSource> sources(DisplayAgent agent)
{
    switch (agent) {
    case DisplayAgent::claudeCode: return claudeSources;
    case DisplayAgent::codex: return codexSources;
    case DisplayAgent::mock: break;
    }
    return mockSources;
}

DisplayAgent displayAgent(AgentSource source)
{
    if (isCodexSource(source))
        return DisplayAgent::codex;
    if (source == AgentSource::claudeCodeJsonl || source == AgentSource::claudeCodeHooks)
        return DisplayAgent::claudeCode;
    return DisplayAgent::mock;
}

QUuid randomUuid()
{
    thread_local QRandomGenerator generator = [] {
        std::array<quint32, 8> seed;
        QRandomGenerator::system()->fillRange(seed.data(), seed.size());
        return QRandomGenerator(seed.data(), static_cast<qsizetype>(seed.size()));
    }();
    std::array<quint32, 4> words;
    generator.fillRange(words.data(), words.size());
    QByteArray bytes(reinterpret_cast<const char *>(words.data()), sizeof(words));
    bytes[6] = static_cast<char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return QUuid::fromRfc4122(bytes);
}

QString caseName(const AgentEventKind &kind) { return QLatin1String(kindNames[kind.index()]); }

DecodingError::DecodingError(Reason reason, QString codingPath, QString description)
    : std::runtime_error((codingPath.isEmpty() ? description : codingPath + QStringLiteral(": ") + description).toStdString())
    , m_reason(reason)
    , m_codingPath(std::move(codingPath))
    , m_description(std::move(description))
{
}

AgentEvent AgentEvent::make(AgentSource source, QString sessionId, AgentEventKind kind, QDateTime timestamp)
{
    return AgentEvent{randomUuid(), source, std::move(sessionId), std::move(timestamp), std::move(kind)};
}

QJsonObject kindToJson(const AgentEventKind &kind)
{
    return QJsonObject{{caseName(kind), payloadToJson(kind)}};
}

AgentEventKind kindFromJson(const QJsonObject &object, const QString &codingPath)
{
    std::optional<std::size_t> found;
    int recognised = 0;
    for (std::size_t i = 0; i < kindNames.size(); ++i) {
        if (object.contains(QLatin1String(kindNames[i]))) {
            found = i;
            ++recognised;
        }
    }
    if (recognised != 1)
        throw DecodingError(DecodingError::Reason::typeMismatch, codingPath,
                            QStringLiteral("Invalid number of keys found, expected one."));
    const QString payloadPath = codingPath + u'.' + QLatin1String(kindNames[*found]);
    const QJsonObject payload = requireObject(object.value(QLatin1String(kindNames[*found])), payloadPath);
    return payloadFromJson(*found, payload, payloadPath);
}

QJsonObject AgentEvent::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("source"), rawValue(source)},
        {QStringLiteral("sessionId"), sessionId},
        {QStringLiteral("timestamp"), timestamp.toUTC().toString(Qt::ISODateWithMs)},
        {QStringLiteral("kind"), kindToJson(kind)},
    };
}

AgentEvent AgentEvent::fromJson(const QJsonObject &object)
{
    const QUuid id = QUuid::fromString(requireString(object, "id"));
    if (id.isNull())
        throw DecodingError(DecodingError::Reason::dataCorrupted, QStringLiteral("id"),
                            QStringLiteral("Attempted to decode UUID from invalid UUID string."));
    const auto source = agentSourceFromRaw(requireString(object, "source"));
    if (!source)
        throw DecodingError(DecodingError::Reason::dataCorrupted, QStringLiteral("source"),
                            QStringLiteral("Cannot initialize AgentSource from invalid String value."));
    const QString sessionId = requireString(object, "sessionId");
    const QDateTime timestamp = QDateTime::fromString(requireString(object, "timestamp"), Qt::ISODateWithMs);
    if (!timestamp.isValid())
        throw DecodingError(DecodingError::Reason::dataCorrupted, QStringLiteral("timestamp"),
                            QStringLiteral("Expected date string to be ISO8601-formatted."));
    if (!object.contains(QStringLiteral("kind")))
        throw DecodingError(DecodingError::Reason::keyNotFound, QString(),
                            QStringLiteral("No value associated with key \"kind\"."));
    const QJsonObject kind = requireObject(object.value(QStringLiteral("kind")), QStringLiteral("kind"));
    return AgentEvent{id, *source, sessionId, timestamp.toUTC(), kindFromJson(kind)};
}

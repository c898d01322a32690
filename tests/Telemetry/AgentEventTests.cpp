#include "Telemetry/AgentEvent.h"

#include <QJsonDocument>
#include <QSet>
#include <QThread>
#include <gtest/gtest.h>

namespace {

QJsonObject parse(const char *json) { return QJsonDocument::fromJson(json).object(); }

AgentEvent roundTrip(const AgentEvent &event)
{
    const QByteArray bytes = QJsonDocument(event.toJson()).toJson();
    return AgentEvent::fromJson(QJsonDocument::fromJson(bytes).object());
}

AgentEvent sample(AgentEventKind kind)
{
    return AgentEvent::make(AgentSource::codexOtel, QStringLiteral("conv-7"), std::move(kind),
                            QDateTime::fromString(QStringLiteral("2026-12-09T23:21:02.250Z"), Qt::ISODateWithMs));
}

TEST(AgentEventJson, EveryKindRoundTrips)
{
    const std::vector<AgentEventKind> kinds{
        TurnStarted{},
        TurnEnded{},
        TokenUsage{120, 30, std::nullopt},
        TokenUsage{180987, 211, 177024},
        SessionSnapshot{205150, 50000, 180000, 25150, 170000, 258400, 48000},
        SessionSnapshot{1, 2, 3, 4, std::nullopt, std::nullopt, std::nullopt},
        ToolCall{QStringLiteral("exec_command"), 412},
        ToolCall{QStringLiteral("Read"), std::nullopt},
        ModelInfo{QStringLiteral("gpt-5.5")},
        ApprovalRequested{},
        StateText{QStringLiteral("Streaming reply")},
        SessionReport{0.017459, 1'000'000, 1},
        SessionReport{},
    };
    for (const AgentEventKind &kind : kinds) {
        const AgentEvent event = sample(kind);
        EXPECT_EQ(roundTrip(event), event) << caseName(kind).toStdString();
    }
}

TEST(AgentEventJson, KindObjectsHaveTheDocumentedShape)
{
    EXPECT_EQ(kindToJson(TurnStarted{}), parse(R"({"turnStarted":{}})"));
    EXPECT_EQ(kindToJson(TokenUsage{120, 30, std::nullopt}),
              parse(R"({"tokenUsage":{"inputTokens":120,"outputTokens":30}})"));
    EXPECT_EQ(kindToJson(StateText{QStringLiteral("Working")}), parse(R"({"stateText":{"_0":"Working"}})"));
    EXPECT_EQ(kindToJson(ToolCall{QStringLiteral("Bash"), std::nullopt}), parse(R"({"toolCall":{"name":"Bash"}})"));
    EXPECT_EQ(kindToJson(SessionReport{0.5, std::nullopt, 12.5}),
              parse(R"({"sessionReport":{"costUsd":0.5,"contextUsedPercent":12.5}})"));
}

TEST(AgentEventJson, EventKeysAndForms)
{
    const AgentEvent event = sample(TurnEnded{});
    const QJsonObject json = event.toJson();
    EXPECT_EQ(json.keys(), (QStringList{"id", "kind", "sessionId", "source", "timestamp"}));
    EXPECT_EQ(json.value("source").toString(), "codexOtel");
    EXPECT_EQ(json.value("timestamp").toString(), "2026-12-09T23:21:02.250Z");
    EXPECT_EQ(QUuid::fromString(json.value("id").toString()), event.id);
}

TEST(AgentEventJson, KindWithOtherThanOneCaseKeyFails)
{
    for (const char *json : {R"({"turnStarted":{},"turnEnded":{}})", R"({})", R"({"finished":{}})",
                             R"({"finished":{},"alsoUnknown":{}})"}) {
        try {
            kindFromJson(parse(json));
            ADD_FAILURE() << json << " decoded";
        } catch (const DecodingError &error) {
            EXPECT_EQ(error.reason(), DecodingError::Reason::typeMismatch) << json;
            EXPECT_EQ(error.description(), "Invalid number of keys found, expected one.") << json;
            EXPECT_EQ(error.codingPath(), "kind") << json;
        }
    }
}

TEST(AgentEventJson, UnknownKeysBesideOneCaseAreIgnored)
{
    EXPECT_EQ(kindFromJson(parse(R"({"turnEnded":{},"extra":1})")), AgentEventKind(TurnEnded{}));
}

TEST(AgentEventJson, PayloadFieldRules)
{
    EXPECT_EQ(kindFromJson(parse(R"({"tokenUsage":{"inputTokens":5,"outputTokens":6,"cachedTokens":null}})")),
              AgentEventKind(TokenUsage{5, 6, std::nullopt}));
    EXPECT_EQ(kindFromJson(parse(R"({"toolCall":{"name":"Bash","durationMs":null}})")),
              AgentEventKind(ToolCall{QStringLiteral("Bash"), std::nullopt}));

    struct Case {
        const char *json;
        DecodingError::Reason reason;
    };
    const Case failures[]{
        {R"({"tokenUsage":{"inputTokens":5}})", DecodingError::Reason::keyNotFound},
        {R"({"tokenUsage":{"inputTokens":"5","outputTokens":6}})", DecodingError::Reason::typeMismatch},
        {R"({"tokenUsage":{"inputTokens":5.5,"outputTokens":6}})", DecodingError::Reason::dataCorrupted},
        {R"({"toolCall":{"name":3}})", DecodingError::Reason::typeMismatch},
        {R"({"stateText":{}})", DecodingError::Reason::keyNotFound},
        {R"({"modelInfo":"gpt"})", DecodingError::Reason::typeMismatch},
    };
    for (const Case &c : failures) {
        try {
            kindFromJson(parse(c.json));
            ADD_FAILURE() << c.json << " decoded";
        } catch (const DecodingError &error) {
            EXPECT_EQ(error.reason(), c.reason) << c.json;
        }
    }
}

TEST(AgentEventJson, LargeCountsKeepEveryDigit)
{
    const AgentEvent event = sample(TokenUsage{9007199254740993LL, 0, std::nullopt});
    EXPECT_EQ(roundTrip(event), event);
}

TEST(AgentEnums, RawValuesAreExactCaseNames)
{
    EXPECT_EQ(agentSourceFromRaw(u"claudeCodeJsonl"), AgentSource::claudeCodeJsonl);
    EXPECT_EQ(agentSourceFromRaw(u"ClaudeCodeJsonl"), std::nullopt);
    EXPECT_EQ(agentSourceFromRaw(u"codexotel"), std::nullopt);
    EXPECT_EQ(agentStateFromRaw(u"awaitingApproval"), AgentState::awaitingApproval);
    EXPECT_EQ(agentStateFromRaw(u"Idle"), std::nullopt);
    for (AgentSource source : allAgentSources)
        EXPECT_EQ(agentSourceFromRaw(rawValue(source)), source);
}

TEST(AgentEnums, EveryCodexSourceShowsAsCodex)
{
    for (AgentSource source : allAgentSources) {
        const DisplayAgent agent = displayAgent(source);
        const auto owned = sources(agent);
        EXPECT_NE(std::find(owned.begin(), owned.end(), source), owned.end());
        EXPECT_EQ(agent == DisplayAgent::codex, isCodexSource(source));
    }
    EXPECT_EQ(rawValue(DisplayAgent::claudeCode), "claudeCode");
}

} // namespace

namespace {

TEST(RandomUuid, IsVersionFourAndDistinctAcrossThreads)
{
    QSet<QUuid> seen;
    std::vector<QUuid> fromWorker;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        for (int i = 0; i < 1000; ++i)
            fromWorker.push_back(randomUuid());
    }));
    worker->start();
    worker->wait();
    for (int i = 0; i < 1000; ++i)
        seen.insert(randomUuid());
    for (const QUuid &id : fromWorker)
        seen.insert(id);
    EXPECT_EQ(seen.size(), 2000);
    for (const QUuid &id : std::as_const(seen)) {
        EXPECT_EQ(id.version(), QUuid::Random);
        EXPECT_EQ(id.variant(), QUuid::DCE);
    }
}

} // namespace

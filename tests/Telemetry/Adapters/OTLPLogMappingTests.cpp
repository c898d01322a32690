#include "Telemetry/Adapters/CodexOTelAdapter.h"
#include "Telemetry/Adapters/OTLPLogMapping.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <limits>

namespace {

using Attributes = QList<std::pair<QString, QJsonValue>>;

// An OTLP attribute; a string-typed value is sent as "stringValue", an integer as "intValue" text.
QJsonObject attribute(const QString &key, const QJsonValue &value, const char *member = "stringValue")
{
    return QJsonObject{{QStringLiteral("key"), key}, {QStringLiteral("value"), QJsonObject{{QLatin1String(member), value}}}};
}

QJsonObject record(const QJsonArray &attributes, const QJsonValue &timeUnixNano = QJsonValue::Undefined)
{
    QJsonObject object{{QStringLiteral("attributes"), attributes}};
    if (!timeUnixNano.isUndefined())
        object.insert(QStringLiteral("timeUnixNano"), timeUnixNano);
    return object;
}

QByteArray payload(const QJsonArray &records)
{
    const QJsonObject scope{{QStringLiteral("logRecords"), records}};
    const QJsonObject resource{{QStringLiteral("scopeLogs"), QJsonArray{scope}}};
    return QJsonDocument(QJsonObject{{QStringLiteral("resourceLogs"), QJsonArray{resource}}}).toJson();
}

const QDateTime fixedNow = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);

QList<AgentEvent> map(const QByteArray &body) { return OTLPLogMapping::events(body, fixedNow); }

QDateTime seconds(qint64 s) { return QDateTime::fromSecsSinceEpoch(s, Qt::UTC); }

TEST(OTLPLogMapping, PromptResponseAndCompletionGiveTheFiveEventsWithoutContent)
{
    const QString session = QStringLiteral("conv-7");
    const QJsonArray common{attribute(QStringLiteral("conversation.id"), session),
                            attribute(QStringLiteral("model"), QStringLiteral("gpt-5.5"))};
    QJsonArray prompt = common;
    prompt.append(attribute(QStringLiteral("event.name"), QStringLiteral("codex.user_prompt")));
    prompt.append(attribute(QStringLiteral("prompt_length"), QStringLiteral("23")));
    prompt.append(attribute(QStringLiteral("user.email"), QStringLiteral("dev@example.com")));
    prompt.append(attribute(QStringLiteral("user.account_id"), QStringLiteral("acct-42")));
    prompt.append(attribute(QStringLiteral("prompt"), QStringLiteral("secret prompt text")));
    QJsonArray created = common;
    created.append(attribute(QStringLiteral("event.name"), QStringLiteral("codex.websocket_event")));
    created.append(attribute(QStringLiteral("event.kind"), QStringLiteral("response.created")));
    QJsonArray completed = common;
    completed.append(attribute(QStringLiteral("event.name"), QStringLiteral("codex.sse_event")));
    completed.append(attribute(QStringLiteral("event.kind"), QStringLiteral("response.completed")));
    for (const auto &[key, value] : Attributes{{"input_token_count", "28527"}, {"output_token_count", "29"},
                                               {"reasoning_token_count", "11"}, {"cached_token_count", "2432"}})
        completed.append(attribute(key, value, "intValue"));

    const QByteArray body = payload({record(prompt, QStringLiteral("1765000000000000000")),
                                     record(created, QStringLiteral("1765000001000000000")),
                                     record(completed, QStringLiteral("1765000009000000000"))});
    const QList<AgentEvent> events = map(body);

    ASSERT_EQ(events.size(), 5);
    EXPECT_EQ(events[0].kind, AgentEventKind(ModelInfo{QStringLiteral("gpt-5.5")}));
    EXPECT_EQ(events[1].kind, AgentEventKind(TurnStarted{}));
    EXPECT_EQ(events[2].kind, AgentEventKind(TurnStarted{}));
    EXPECT_EQ(events[3].kind, AgentEventKind(TokenUsage{28527, 40, 2432}));
    EXPECT_EQ(events[4].kind, AgentEventKind(TurnEnded{}));
    const QList<qint64> times{1765000000, 1765000000, 1765000001, 1765000009, 1765000009};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(events[i].source, AgentSource::codexOtel);
        EXPECT_EQ(events[i].sessionId, session);
        EXPECT_EQ(events[i].timestamp, seconds(times[i])) << i;
        const QByteArray serialised = QJsonDocument(events[i].toJson()).toJson();
        for (const char *secret : {"secret prompt", "dev@example.com", "acct-42"})
            EXPECT_FALSE(serialised.contains(secret)) << secret;
    }
}

TEST(OTLPLogMapping, EventTableRows)
{
    struct Row {
        QJsonArray attributes;
        QList<AgentEventKind> expected;
    };
    const QString streaming = QStringLiteral(u"Streaming\u2026");
    const QString thinking = QStringLiteral(u"Thinking\u2026");
    auto name = [](const char *n) { return attribute(QStringLiteral("event.name"), QLatin1String(n)); };
    auto kind = [](const char *k) { return attribute(QStringLiteral("event.kind"), QLatin1String(k)); };
    auto str = [](const char *k, const char *v) { return attribute(QLatin1String(k), QLatin1String(v)); };
    auto num = [](const char *k, const QJsonValue &v) { return attribute(QLatin1String(k), v, "intValue"); };
    const QList<Row> rows{
        {{kind("response.in_progress")}, {TurnStarted{}}},
        {{kind("response.output_text.delta"), str("delta", "hello world")}, {StateText{streaming}}},
        {{kind("response.output_item.added")}, {StateText{thinking}}},
        {{kind("response.content_part.added")}, {StateText{thinking}}},
        {{kind("response.completed")}, {TurnEnded{}}},
        {{kind("response.completed"), num("input_token_count", 0), num("cached_token_count", "0")}, {TurnEnded{}}},
        {{kind("response.completed"), num("input_token_count", 10), num("cached_token_count", 0)},
         {TokenUsage{10, 0, std::nullopt}, TurnEnded{}}},
        // Counts arrive as strings and as numbers; floats truncate, unreadable ones are 0.
        {{kind("response.completed"), num("input_token_count", 7.9), num("output_token_count", "x"),
          attribute(QStringLiteral("reasoning_token_count"), 3, "doubleValue")},
         {TokenUsage{7, 3, std::nullopt}, TurnEnded{}}},
        {{kind("response.completed"), num("input_token_count", 1e300)}, {TurnEnded{}}},
        {{kind("response.completed"), num("output_token_count", "9223372036854775807"), num("reasoning_token_count", "1")},
         {TokenUsage{0, std::numeric_limits<qint64>::max(), std::nullopt}, TurnEnded{}}},
        {{name("codex.tool_call"), str("tool_name", "shell"), num("duration_ms", 120)},
         {ToolCall{QStringLiteral("shell"), 120}}},
        {{name("codex.tool_call"), str("tool", "apply_patch"), num("duration_ms", 0)},
         {ToolCall{QStringLiteral("apply_patch"), std::nullopt}}},
        {{name("codex.tool_call")}, {ToolCall{QStringLiteral("tool"), std::nullopt}}},
        {{name("codex.tool_result"), str("tool_name", "exec_command"), str("duration_ms", "153"),
          str("arguments", "echo hi"), str("output", "hi")},
         {ToolCall{QStringLiteral("exec_command"), 153}}},
        // Streamed argument fragments of a call are not calls of their own.
        {{kind("response.function_call_arguments.delta")}, {}},
        {{kind("response.function_call_arguments.done")}, {}},
        {{name("codex.tool_decision"), str("tool_name", "exec_command")}, {}},
        {{name("codex.approval_requested"), str("tool_name", "shell")}, {ApprovalRequested{}}},
        {{name("codex.tool_call"), kind("exec_approval_request")}, {ApprovalRequested{}}},
        {{name("codex.sse_event")}, {}},
        {{}, {}},
    };
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QList<AgentEventKind> kinds;
        for (const AgentEvent &event : map(payload({record(rows[i].attributes)})))
            kinds.append(event.kind);
        EXPECT_EQ(kinds, rows[i].expected) << "row " << i;
    }
}

TEST(OTLPLogMapping, SessionAndTimeFallbacks)
{
    QJsonObject observedOnly = record({attribute(QStringLiteral("event.kind"), QStringLiteral("response.created"))});
    observedOnly.insert(QStringLiteral("observedTimeUnixNano"), QStringLiteral("1765000002500000000"));
    QJsonObject zeroTime = observedOnly;
    zeroTime.insert(QStringLiteral("timeUnixNano"), QStringLiteral("0")); // as Codex sends it
    QJsonObject numberTime = record({attribute(QStringLiteral("event.kind"), QStringLiteral("response.created"))},
                                    1.765000003e18);
    QJsonObject paddedTime = record({attribute(QStringLiteral("event.kind"), QStringLiteral("response.created"))},
                                    QStringLiteral(" 1765000004000000000"));
    QJsonObject noTime = record({attribute(QStringLiteral("event.kind"), QStringLiteral("response.created")),
                                 attribute(QStringLiteral("conversation.id"), 7, "intValue")});

    const QList<AgentEvent> events = map(payload({observedOnly, zeroTime, numberTime, paddedTime, noTime}));
    ASSERT_EQ(events.size(), 5);
    EXPECT_EQ(events[0].timestamp, QDateTime::fromMSecsSinceEpoch(1765000002500, Qt::UTC));
    EXPECT_EQ(events[1].timestamp, fixedNow); // "0" is no time, and the observed time is not consulted
    EXPECT_EQ(events[2].timestamp, seconds(1765000003));
    EXPECT_EQ(events[3].timestamp, fixedNow);
    EXPECT_EQ(events[4].timestamp, fixedNow);
    for (const AgentEvent &event : events)
        EXPECT_EQ(event.sessionId, "codex");
}

TEST(OTLPLogMapping, ModelReportedOncePerChangeWithinAPayload)
{
    auto withModel = [](const char *model) {
        return record({attribute(QStringLiteral("model"), QLatin1String(model))});
    };
    QJsonArray same;
    for (int i = 0; i < 10; ++i)
        same.append(withModel("gpt-5.5"));
    EXPECT_EQ(map(payload(same)).size(), 1);

    const QList<AgentEvent> alternating = map(
        payload({withModel("a"), withModel("b"), withModel("b"), withModel("a"), withModel("")}));
    QList<AgentEventKind> kinds;
    for (const AgentEvent &event : alternating)
        kinds.append(event.kind);
    EXPECT_EQ(kinds, (QList<AgentEventKind>{ModelInfo{"a"}, ModelInfo{"b"}, ModelInfo{"a"}}));
}

TEST(OTLPLogMapping, UnusableBodiesGiveNothing)
{
    for (const QByteArray &body : {QByteArray("not json"), QByteArray("[1,2]"), QByteArray("{\"resourceLogs\":{}}"),
                                  QByteArray("{\"resourceLogs\":[{\"scopeLogs\":[{\"logRecords\":[1,{}]}]}]}"),
                                  QByteArray("{\"resourceLogs\":[{\"scopeLogs\":[{\"logRecords\":[{\"attributes\":"
                                             "[{\"key\":1,\"value\":{}},{\"key\":\"model\",\"value\":\"m\"}]}]}]}]}")})
        EXPECT_TRUE(map(body).isEmpty()) << body.constData();
}

TEST(OTLPLogMapping, LaterAttributeReplacesEarlierAndValuelessOneRemovesIt)
{
    const QJsonObject valueless{{QStringLiteral("key"), QStringLiteral("model")},
                                {QStringLiteral("value"), QJsonObject{}}};
    const QList<AgentEvent> replaced = map(payload({record(
        {attribute(QStringLiteral("model"), QStringLiteral("a")), attribute(QStringLiteral("model"), QStringLiteral("b"))})}));
    ASSERT_EQ(replaced.size(), 1);
    EXPECT_EQ(replaced[0].kind, AgentEventKind(ModelInfo{"b"}));
    EXPECT_TRUE(map(payload({record({attribute(QStringLiteral("model"), QStringLiteral("a")), valueless})})).isEmpty());
}

TEST(OTLPLogMapping, NanosecondTimes)
{
    using OTLPLogMapping::nanoDate;
    EXPECT_EQ(nanoDate(QJsonValue(QStringLiteral("1.5e18"))), seconds(1'500'000'000));
    EXPECT_FALSE(nanoDate(QJsonValue(QStringLiteral("-5"))));
    EXPECT_FALSE(nanoDate(QJsonValue(QStringLiteral("inf"))));
    EXPECT_FALSE(nanoDate(QJsonValue(1e40)));
    EXPECT_FALSE(nanoDate(QJsonValue(QStringLiteral("12abc"))));
}

// The recorded tool-running turn: Codex's own bodies as posted.
QList<AgentEvent> recordedExecRun()
{
    QList<AgentEvent> events;
    const QDir dir(TestSupport::samplesDir() + QStringLiteral("/codex/exec/otlp"));
    for (const QString &file : dir.entryList({QStringLiteral("*.body.raw.json")}, QDir::Files, QDir::Name))
        events += CodexOTelAdapter::events(TestSupport::readFile(dir.filePath(file)));
    return events;
}

TEST(OTLPLogMapping, RecordedToolTurnGivesOneToolCallWithItsRealNameAndDuration)
{
    const QByteArray toolTurn = TestSupport::readFile(TestSupport::samplesDir() + "/codex/exec/otlp/0003.body.raw.json");
    QList<ToolCall> calls;
    for (const AgentEvent &event : CodexOTelAdapter::events(toolTurn)) {
        if (const auto *call = std::get_if<ToolCall>(&event.kind))
            calls.append(*call);
    }
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0], (ToolCall{QStringLiteral("exec_command"), 153}));
}

TEST(OTLPLogMapping, RecordedRunCountsEachResponseOnceAndCarriesNoContent)
{
    const QList<AgentEvent> events = recordedExecRun();
    QList<TokenUsage> usages;
    int turnEnds = 0;
    for (const AgentEvent &event : events) {
        if (const auto *usage = std::get_if<TokenUsage>(&event.kind))
            usages.append(*usage);
        turnEnds += std::holds_alternative<TurnEnded>(event.kind);
        EXPECT_EQ(event.sessionId, "01a25d1c-4123-7f52-9c43-d963658a52e6");
        // Codex sends "timeUnixNano" "0" on every record, so each is stamped on arrival.
        EXPECT_GT(event.timestamp, QDateTime::currentDateTimeUtc().addSecs(-60));
        const QByteArray serialised = QJsonDocument(event.toJson()).toJson();
        for (const char *content : {"Say hello", "RUN_TOOL", "echo hi", "Hello from the stub"})
            EXPECT_FALSE(serialised.contains(content)) << content;
    }
    // Three responses, each completed twice (once without counts): three increments.
    EXPECT_EQ(usages, (QList<TokenUsage>{{1002, 64, 202}, {1004, 68, 204}, {1005, 70, 205}}));
    EXPECT_EQ(turnEnds, 6);
}

} // namespace

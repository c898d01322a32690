#include "support/TestSupport.h"

#include "Telemetry/Adapters/ClaudeCodeHookSource.h"
#include "Telemetry/Adapters/ClaudeHookMetadata.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

const QDateTime at = QDateTime(QDate(2026, 12, 10), QTime(15, 0), QTimeZone::utc());

// Every hook call of the recorded interactive session, in order, as Claude Code handed it over.
QList<QJsonObject> recordedDocuments()
{
    QList<QJsonObject> documents;
    const QByteArray lines = TestSupport::readFile(TestSupport::samplesDir() + "/hooks/tui-record/events.jsonl");
    for (const QByteArray &line : lines.split('\n')) {
        if (!line.trimmed().isEmpty())
            documents << QJsonDocument::fromJson(line).object().value("stdin").toObject();
    }
    return documents;
}

QByteArray bytesOf(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

TEST(ClaudeHookMetadata, KeepsOnlyMetadataOfEveryRecordedDocument)
{
    const QList<QJsonObject> documents = recordedDocuments();
    ASSERT_EQ(documents.size(), 90);
    const QStringList userContent{"prompt", "tool_input", "tool_response", "tool_calls", "last_assistant_message",
                                  "delta", "compact_summary", "error", "permission_suggestions", "background_tasks",
                                  "command_args", "custom_instructions", "message", "cwd", "prompt_id"};
    for (const QJsonObject &document : documents) {
        const std::optional<QJsonObject> kept = ClaudeHookMetadata::fromDocument(bytesOf(document));
        ASSERT_TRUE(kept) << bytesOf(document).toStdString();
        EXPECT_EQ(kept->value("session_id"), document.value("session_id"));
        EXPECT_EQ(kept->value("hook_event_name"), document.value("hook_event_name"));
        for (const QString &key : userContent)
            EXPECT_FALSE(kept->contains(key)) << key.toStdString();
        for (const QString &key : kept->keys())
            EXPECT_EQ(kept->value(key), document.value(key)) << key.toStdString();
        EXPECT_EQ(ClaudeHookMetadata::filtered(document), kept);
    }
}

TEST(ClaudeHookMetadata, RejectsWhatIsNotAHookDocument)
{
    const QByteArray hugeOutput = "{\"hook_event_name\":\"PostToolUse\",\"session_id\":\"s\",\"tool_response\":{\"stdout\":\""
        + QByteArray(5'000'000, 'x') + "\"},\"tool_use_id\":\"toolu_1\",\"duration_ms\":12}";
    const std::optional<QJsonObject> huge = ClaudeHookMetadata::fromDocument(hugeOutput);
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->value("tool_use_id"), "toolu_1");
    EXPECT_EQ(huge->value("duration_ms").toInt(), 12);

    for (const QByteArray &bad : {QByteArray(), QByteArray("not json{{"), QByteArray("[1]"),
                                 QByteArray(R"({"hook_event_name":"Stop"})"), QByteArray(R"({"session_id":"s"})"),
                                 QByteArray(R"({"hook_event_name":7,"session_id":"s"})"),
                                 QByteArray(R"({"hook_event_name":"Stop","session_id":"s")")})
        EXPECT_FALSE(ClaudeHookMetadata::fromDocument(bad)) << bad.toStdString();
    // A value of the wrong type, or too long for an id, is left out rather than passed on.
    const auto odd = ClaudeHookMetadata::fromDocument(R"({"hook_event_name":"PreToolUse","session_id":"s",)"
                                                      R"("tool_name":{"x":1},"tool_use_id":")"
                                                      + QByteArray(2000, 'a') + "\"}");
    ASSERT_TRUE(odd);
    EXPECT_FALSE(odd->contains("tool_name"));
    EXPECT_FALSE(odd->contains("tool_use_id"));
}

QJsonObject hook(const char *event, QJsonObject fields = {})
{
    fields.insert("hook_event_name", event);
    fields.insert("session_id", "sess");
    return fields;
}

TEST(ClaudeCodeHookSource, MapsEachEventToItsKind)
{
    struct Case {
        QJsonObject metadata;
        QString kind; // empty: no event
    };
    const Case cases[] = {
        {hook("UserPromptSubmit"), "turnStarted"},
        {hook("Stop"), "turnEnded"},
        {hook("StopFailure"), "turnEnded"},
        {hook("Interrupt", {{"reason", "permission_denied"}}), "turnEnded"},
        {hook("SessionEnd", {{"reason", "clear"}}), "turnEnded"},
        {hook("PermissionRequest", {{"tool_name", "Bash"}}), "approvalRequested"},
        {hook("Notification", {{"notification_type", "permission_prompt"}}), "approvalRequested"},
        {hook("Notification", {{"notification_type", "idle_prompt"}}), ""},
        {hook("PreToolUse", {{"tool_name", "Bash"}, {"tool_use_id", "t1"}}), "toolCall"},
        {hook("SessionStart", {{"model", "claude-opus-5-5"}}), "modelInfo"},
        {hook("SessionStart", {{"source", "compact"}}), ""},
        {hook("SubagentStop", {{"agent_id", "a1"}}), ""},
        {hook("PostToolBatch"), ""},
        {hook("MessageDisplay"), ""},
    };
    for (const Case &c : cases) {
        const QList<AgentEvent> events = ClaudeCodeHookSource::events(c.metadata, at);
        const QString event = c.metadata.value("hook_event_name").toString();
        if (c.kind.isEmpty()) {
            EXPECT_TRUE(events.isEmpty()) << event.toStdString();
            continue;
        }
        ASSERT_EQ(events.size(), 1) << event.toStdString();
        EXPECT_EQ(caseName(events.first().kind), c.kind) << event.toStdString();
        EXPECT_EQ(events.first().source, AgentSource::claudeCodeHooks);
        EXPECT_EQ(events.first().sessionId, "sess");
        EXPECT_EQ(events.first().timestamp, at);
    }

    const ToolCall failed = std::get<ToolCall>(
        ClaudeCodeHookSource::events(hook("PostToolUseFailure", {{"tool_name", "Read"}, {"tool_use_id", "t2"},
                                                                 {"duration_ms", 7}}), at).first().kind);
    EXPECT_EQ(failed, (ToolCall{"Read", 7, QString("t2"), true}));
}

// The recorded session replayed through the metrics engine, one hook call at a time.
class RecordedSession : public testing::Test {
protected:
    PricingTable pricing = PricingTable::readOnly(QStringLiteral("/nonexistent/pricing.json"));
    MetricsEngine engine{pricing, nullptr};

    const AgentMetrics &claude() { return engine.agents().at(DisplayAgent::claudeCode); }

    void replayUntil(qsizetype &next, const QList<QJsonObject> &documents, const QString &event)
    {
        while (next < documents.size()) {
            const QJsonObject document = documents[next++];
            for (const AgentEvent &e : ClaudeCodeHookSource::events(*ClaudeHookMetadata::filtered(document), at))
                engine.handle(e);
            if (document.value("hook_event_name") == event)
                return;
        }
        FAIL() << "no " << event.toStdString();
    }
};

TEST_F(RecordedSession, PermissionTurnWaitsForApprovalAndEndsAtStop)
{
    const QList<QJsonObject> documents = recordedDocuments();
    qsizetype next = 0;
    replayUntil(next, documents, "Stop"); // the plain first turn
    EXPECT_EQ(claude().state, AgentState::idle);

    replayUntil(next, documents, "UserPromptSubmit");
    EXPECT_EQ(claude().state, AgentState::working);
    replayUntil(next, documents, "PreToolUse");
    ASSERT_FALSE(engine.toolFeed().isEmpty());
    EXPECT_EQ(engine.toolFeed().first().name, "Bash");
    EXPECT_FALSE(engine.toolFeed().first().durationMs); // running
    replayUntil(next, documents, "PermissionRequest");
    EXPECT_EQ(claude().state, AgentState::awaitingApproval);
    replayUntil(next, documents, "Notification");
    EXPECT_EQ(claude().state, AgentState::awaitingApproval);
    replayUntil(next, documents, "PostToolUse");
    EXPECT_EQ(claude().state, AgentState::working);
    EXPECT_EQ(claude().toolCallCount, 1); // one entry for the call's start and end
    EXPECT_TRUE(engine.toolFeed().first().durationMs);
    replayUntil(next, documents, "Stop");
    EXPECT_EQ(claude().state, AgentState::idle);

    // Allowed tools, then failing ones: four calls, the last two failed, each listed once.
    replayUntil(next, documents, "Stop");
    replayUntil(next, documents, "Stop");
    EXPECT_EQ(claude().toolCallCount, 5);
    EXPECT_TRUE(engine.toolFeed()[0].failed);
    EXPECT_TRUE(engine.toolFeed()[1].failed);
    EXPECT_FALSE(engine.toolFeed()[2].failed);

    // Esc at the permission prompt: Interrupt ends the turn, no Stop comes.
    replayUntil(next, documents, "PermissionRequest");
    EXPECT_EQ(claude().state, AgentState::awaitingApproval);
    replayUntil(next, documents, "Interrupt");
    EXPECT_EQ(claude().state, AgentState::idle);
}

TEST_F(RecordedSession, SubagentCallsKeepTheParentSessionAndDoNotReopenTheTurn)
{
    const QList<QJsonObject> documents = recordedDocuments();
    qsizetype next = 0;
    replayUntil(next, documents, "SubagentStart");
    replayUntil(next, documents, "Stop"); // the main turn ends while the subagent runs
    EXPECT_EQ(claude().state, AgentState::idle);
    const qint64 calls = claude().toolCallCount;
    replayUntil(next, documents, "SubagentStop");
    EXPECT_EQ(claude().state, AgentState::idle);
    EXPECT_EQ(claude().toolCallCount, calls + 1);
    EXPECT_EQ(claude().sessions.size(), 1u);
}

} // namespace

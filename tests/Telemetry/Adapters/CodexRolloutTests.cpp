#include "Telemetry/Adapters/CodexRollout.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

const QDateTime now = QDateTime::fromString("2030-01-01T00:00:00.000Z", Qt::ISODateWithMs);

const QByteArray tokenCountLine =
    R"({"timestamp":"2026-06-12T10:48:37.786Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":1200,"cached_input_tokens":700,"output_tokens":300,"reasoning_output_tokens":100,"total_tokens":1500},"last_token_usage":{"input_tokens":850,"cached_input_tokens":700,"output_tokens":50,"reasoning_output_tokens":25,"total_tokens":900},"model_context_window":258400}}})";

TEST(CodexRollout, TokenCountLineGivesTheSnapshot)
{
    const auto snapshot = CodexRollout::snapshot(tokenCountLine, "thread-1", now);
    ASSERT_TRUE(snapshot.has_value());
    CodexSessionSnapshot expected{"thread-1", QDateTime::fromString("2026-06-12T10:48:37.786Z", Qt::ISODateWithMs),
                                  1600, 900, 850, 1200, 400, 700, 258400};
    EXPECT_EQ(*snapshot, expected);
    EXPECT_EQ(snapshot->fingerprint(), "thread-1:1600:900:1200:400:700");
}

TEST(CodexRollout, IntegersMayBeFractionsOrStringsAndTimeDefaultsToNow)
{
    const QByteArray line =
        R"({"type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":"1200","output_tokens":10.9,"cached_input_tokens":true},"last_token_usage":{"total_tokens":"x"}}}})";
    const auto snapshot = CodexRollout::snapshot(line, "t", now);
    ASSERT_TRUE(snapshot.has_value());
    EXPECT_EQ(snapshot->inputTokens, 1200);
    EXPECT_EQ(snapshot->outputTokens, 10);
    EXPECT_EQ(snapshot->cachedTokens, 0);
    EXPECT_EQ(snapshot->contextTokens, 0);
    EXPECT_EQ(snapshot->modelContextWindow, 0);
    EXPECT_EQ(snapshot->timestamp, now);
}

TEST(CodexRollout, SumsOfHugeCountsSaturate)
{
    const QByteArray line =
        R"({"type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":5,"output_tokens":9223372036854775807,"reasoning_output_tokens":1},"last_token_usage":{}}}})";
    const auto snapshot = CodexRollout::snapshot(line, "t", now);
    ASSERT_TRUE(snapshot.has_value());
    EXPECT_EQ(snapshot->outputTokens, std::numeric_limits<qint64>::max());
    EXPECT_EQ(snapshot->sessionTokens, std::numeric_limits<qint64>::max());
}

TEST(CodexRollout, LinesThatAreNotTokenCounts)
{
    const char *cases[] = {
        R"({"type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":1}}}})",
        R"({"type":"event_msg","payload":{"type":"task_complete","info":{"total_token_usage":{},"last_token_usage":{}}}})",
        R"({"type":"response_item","payload":{"type":"token_count","info":{"total_token_usage":{},"last_token_usage":{}}}})",
        R"({"type":"event_msg","payload":{"type":"token_count","info":null}})",
        R"(token_count but not json)",
    };
    for (const char *line : cases)
        EXPECT_FALSE(CodexRollout::snapshot(line, "t", now).has_value()) << line;
}

TEST(CodexRollout, ChunkGivesItsLastTokenCount)
{
    QByteArray later = tokenCountLine;
    later.replace("\"input_tokens\":1200", "\"input_tokens\":5000");
    EXPECT_EQ(CodexRollout::latestSnapshot("garbage{{\n" + tokenCountLine + "\n", "t", now)->sessionTokens, 1600);
    EXPECT_EQ(CodexRollout::latestSnapshot(tokenCountLine + "\n" + later + "\n\n{\"type\":\"x\"}\n", "t", now)->inputTokens, 5000);
    EXPECT_FALSE(CodexRollout::latestSnapshot("a\nb\n", "t", now).has_value());
}

TEST(CodexRollout, SessionMetaAndFileNames)
{
    EXPECT_EQ(CodexRollout::sessionId(R"({"type":"session_meta","payload":{"id":"abc"}})"), "abc");
    EXPECT_FALSE(CodexRollout::sessionId(R"({"type":"session_meta","payload":{"id":""}})").has_value());
    EXPECT_FALSE(CodexRollout::sessionId(R"({"type":"event_msg","payload":{"id":"session_meta"}})").has_value());

    const std::pair<const char *, std::optional<QString>> names[] = {
        {"/s/rollout-2026-12-09T23-21-02-01a25d1c-4123-7f52-9c43-d963658a52e6.jsonl",
         "01a25d1c-4123-7f52-9c43-d963658a52e6"},
        {"/s/rollout-2026-12-09T23-21-02.jsonl", std::nullopt},
        {"/s/rollout-01A25D1C-4123-7F52-9C43-D963658A52E6.jsonl", std::nullopt},
    };
    for (const auto &[path, expected] : names)
        EXPECT_EQ(CodexRollout::threadId(path), expected) << path;
}

} // namespace

#include "Telemetry/Adapters/CodexRolloutLimits.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

const QDateTime now = QDateTime::fromString("2026-12-10T10:00:00.000Z", Qt::ISODateWithMs);

QList<QByteArray> recordedLines(const char *relative)
{
    QFile file(QStringLiteral(CORVANE_FIXTURES_DIR "/samples/limits/codex/") + QLatin1String(relative));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << relative;
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

QDateTime epoch(qint64 seconds) { return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC); }

TEST(CodexRolloutLimits, HeadersGiveBothWindowsCreditsAndTheFamily)
{
    const auto limits = CodexRolloutLimits::rateLimits(recordedLines("headers/rollout-token_count.jsonl").first(), now);
    ASSERT_TRUE(limits.has_value());
    EXPECT_EQ(limits->limitId, "codex");
    EXPECT_EQ(limits->channel, "rollout");
    EXPECT_EQ(limits->seenAt, QDateTime::fromString("2026-12-10T10:29:22.357Z", Qt::ISODateWithMs));
    EXPECT_EQ(limits->primary, (LimitWindow{42.5, 300, epoch(1796902881)}));
    EXPECT_EQ(limits->secondary, (LimitWindow{17.0, 10080, epoch(1797157761)}));
    EXPECT_EQ(limits->credits, (LimitCredits{false, false, QStringLiteral("0")}));
    EXPECT_FALSE(limits->reached());
}

TEST(CodexRolloutLimits, NullWindowsAreLeftOutSoTheLastValuesStay)
{
    // The second response came without headers; the third one's headers say 0 % again.
    const QList<QByteArray> lines = recordedLines("drop/rollout-token_count.jsonl");
    const auto first = CodexRolloutLimits::rateLimits(lines[0], now);
    const auto dropped = CodexRolloutLimits::rateLimits(lines[1], now);
    ASSERT_TRUE(first && dropped);
    EXPECT_FALSE(dropped->primary || dropped->secondary);
    const PlanLimits merged = dropped->mergedOver(*first);
    EXPECT_EQ(merged.primary->usedPercent, 42.5);
    EXPECT_EQ(merged.secondary->usedPercent, 17.0);
    EXPECT_EQ(CodexRolloutLimits::rateLimits(lines[2], now)->primary->usedPercent, 0.0);
}

TEST(CodexRolloutLimits, ResetAfterOnlyHeadersLeaveTheResetUnknown)
{
    const auto limits = CodexRolloutLimits::rateLimits(recordedLines("reset-after-only/rollout-token_count.jsonl").first(), now);
    ASSERT_TRUE(limits && limits->primary);
    EXPECT_FALSE(limits->primary->resetsAt.has_value());
}

TEST(CodexRolloutLimits, EachFamilyNamesItself)
{
    for (const char *recording : {"families-active-codex/rollout-token_count.jsonl",
                                  "families-active-bengalfox/rollout-token_count.jsonl",
                                  "families-no-active-limit/rollout-token_count.jsonl"}) {
        const auto limits = CodexRolloutLimits::rateLimits(recordedLines(recording).first(), now);
        ASSERT_TRUE(limits.has_value()) << recording;
        EXPECT_EQ(limits->limitId, "codex_bengalfox") << recording;
        EXPECT_EQ(limits->limitName, "GPT-5.5-Codex-Spark") << recording;
        EXPECT_EQ(limits->primary->usedPercent, 80.0) << recording;
    }
}

TEST(CodexRolloutLimits, TheUsageLimitTurnSetsTheReachedStateAndItsCopiedInfoAddsNothing)
{
    const QList<QByteArray> lines = recordedLines("limit/rollout-token_count-and-task_complete.jsonl");
    RepeatedTokenInfo repeated;
    QList<bool> repeats;
    QList<bool> endsOnLimit;
    std::optional<PlanLimits> merged;
    for (const QByteArray &line : lines) {
        repeats << repeated.repeats(line);
        endsOnLimit << CodexRolloutLimits::endsOnUsageLimit(line);
        if (const auto limits = CodexRolloutLimits::rateLimits(line, now); limits && limits->reached())
            merged = limits->mergedOver(merged.value_or(PlanLimits{}));
    }
    // task_started, token_count, task_complete, task_started, 429 token_count, task_complete, …
    EXPECT_EQ(repeats, (QList<bool>{false, false, false, false, true, false, false, false, false}));
    EXPECT_EQ(endsOnLimit, (QList<bool>{false, false, false, false, false, true, false, false, false}));
    ASSERT_TRUE(merged.has_value());
    EXPECT_EQ(merged->reachedType, "rate_limit_reached");
    EXPECT_EQ(merged->reachedUntil, epoch(1796902910)); // the full window's reset: "try again at 11:41"
    EXPECT_FALSE(merged->at(epoch(1796902910)).reached());
}

TEST(CodexRolloutLimits, OtherLinesAreNotLimits)
{
    const QList<QByteArray> lines{
        R"({"type":"event_msg","payload":{"type":"token_count","info":null,"rate_limits":null}})",
        R"({"type":"response_item","payload":{"type":"message","rate_limits":{"primary":{"used_percent":1}}}})",
        R"({"type":"event_msg","payload":{"type":"task_complete","error":{"codex_error_info":"other","message":"usage_limit_exceeded"}}})",
        "not json \"rate_limits\" usage_limit_exceeded token_count",
    };
    RepeatedTokenInfo repeated;
    for (const QByteArray &line : lines) {
        EXPECT_FALSE(CodexRolloutLimits::rateLimits(line, now).has_value()) << line.constData();
        EXPECT_FALSE(CodexRolloutLimits::endsOnUsageLimit(line)) << line.constData();
        EXPECT_FALSE(repeated.repeats(line)) << line.constData();
        EXPECT_FALSE(repeated.repeats(line)) << line.constData();
    }
}

} // namespace

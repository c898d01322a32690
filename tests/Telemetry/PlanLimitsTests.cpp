#include "Telemetry/AgentEvent.h"
#include "Telemetry/DisplayFormat.h"

#include <gtest/gtest.h>

namespace {

const QDateTime t0 = QDateTime::fromString("2026-12-10T10:00:00.000Z", Qt::ISODateWithMs);

PlanLimits sample()
{
    PlanLimits limits;
    limits.limitId = QStringLiteral("codex");
    limits.channel = QStringLiteral("rollout");
    limits.primary = LimitWindow{42.5, 300, t0.addSecs(4320)};
    limits.secondary = LimitWindow{17, 10080, t0.addSecs(259200)};
    limits.credits = LimitCredits{true, false, QStringLiteral("12.5")};
    limits.seenAt = t0;
    return limits;
}

TEST(PlanLimits, RoundTripsAsAnEventKind)
{
    const AgentEvent event = AgentEvent::make(AgentSource::codexDesktopSession, "s", sample(), t0);
    EXPECT_EQ(AgentEvent::fromJson(event.toJson()), event);
    EXPECT_EQ(caseName(event.kind), "planLimits");
    EXPECT_THROW(kindFromJson(QJsonObject{{"planLimits", QJsonObject{{"primary", 3}}}}), DecodingError);
}

TEST(PlanLimits, APassedWindowReadsResetAndAPassedLimitEnds)
{
    PlanLimits limits = sample();
    limits.reachedType = QStringLiteral("usage_limit_exceeded");
    limits = limits.mergedOver(PlanLimits{});
    EXPECT_EQ(limits.reachedUntil, t0.addSecs(4320));
    const PlanLimits before = limits.at(t0.addSecs(4319));
    EXPECT_TRUE(before.reached());
    EXPECT_EQ(before.primary->usedPercent, 42.5);
    const PlanLimits after = limits.at(t0.addSecs(4320));
    EXPECT_FALSE(after.reached());
    EXPECT_EQ(after.primary, (LimitWindow{0, 300, std::nullopt}));
    EXPECT_EQ(after.secondary, limits.secondary);
}

TEST(PlanLimits, AReportKeepsWhatItLeavesOut)
{
    PlanLimits newer;
    newer.limitId = QStringLiteral("codex");
    newer.secondary = LimitWindow{18, 10080, t0.addSecs(259200)};
    const PlanLimits merged = newer.mergedOver(sample());
    EXPECT_EQ(merged.primary, sample().primary);
    EXPECT_EQ(merged.secondary->usedPercent, 18);
    EXPECT_EQ(merged.credits, sample().credits);
}

TEST(PlanLimits, Labels)
{
    const PlanLimits limits = sample();
    EXPECT_EQ(DisplayFormat::limitLabel(limits, t0), "5h 43 % \u00b7 1:12");
    EXPECT_EQ(DisplayFormat::windowLabel(*limits.secondary, "7d", t0), "7d 17 % \u00b7 3d 0h");
    EXPECT_EQ(DisplayFormat::limitLabel(limits, t0.addSecs(5000)), "5h 0 %");
    PlanLimits reached = limits;
    reached.reachedType = QStringLiteral("rate_limit_reached");
    reached.reachedUntil = QDateTime(QDate(2026, 12, 10), QTime(11, 46)); // local time
    EXPECT_EQ(DisplayFormat::limitLabel(reached, t0), "limit \u00b7 resets 11:46");
    EXPECT_EQ(DisplayFormat::countdown(-5), "0:00");
    EXPECT_EQ(DisplayFormat::countdown(59), "0:01");
    EXPECT_EQ(DisplayFormat::limitLabel(PlanLimits{}, t0), "");
}

} // namespace

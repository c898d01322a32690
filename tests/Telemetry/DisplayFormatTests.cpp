#include "Telemetry/DisplayFormat.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayFormatTest, TokensMoneyAndClock)
{
    const std::pair<qint64, const char *> tokens[]{{0, "0"}, {999, "999"}, {1000, "1.0k"}, {1500, "1.5k"},
                                                   {999'999, "1000.0k"}, {1'000'000, "1.00M"},
                                                   {2'345'678, "2.35M"}, {-5, "-5"}};
    for (const auto &[count, text] : tokens)
        EXPECT_EQ(DisplayFormat::tokens(count), text) << count;
    const std::pair<double, const char *> money[]{{0, "$0.000"}, {0.042, "$0.042"}, {9.9994, "$9.999"},
                                                  {10, "$10.00"}, {123.456, "$123.46"}};
    for (const auto &[dollars, text] : money)
        EXPECT_EQ(DisplayFormat::money(dollars), text) << dollars;
    const std::pair<double, const char *> clocks[]{{-3, "0:00"}, {0, "0:00"}, {59.99, "0:59"}, {75.9, "1:15"},
                                                   {3600, "60:00"}, {3725, "62:05"}};
    for (const auto &[seconds, text] : clocks)
        EXPECT_EQ(DisplayFormat::clock(seconds), text) << seconds;
}

TEST(DisplayFormatTest, StateAndThroughputLabels)
{
    EXPECT_EQ(DisplayFormat::stateLabel(AgentState::idle, QString("ignored"), 9), "Idle");
    EXPECT_EQ(DisplayFormat::stateLabel(AgentState::awaitingApproval, std::nullopt, 9), "Needs approval");
    EXPECT_EQ(DisplayFormat::stateLabel(AgentState::working, std::nullopt, 75), "Working\u2026 1:15");
    EXPECT_EQ(DisplayFormat::stateLabel(AgentState::working, QString("Running Bash"), 61), "Running Bash 1:01");
    EXPECT_EQ(DisplayFormat::tpsLabel(0, true), "live");
    EXPECT_EQ(DisplayFormat::tpsLabel(0, false), "0 tps");
    EXPECT_EQ(DisplayFormat::tpsLabel(41.6, true), "42 tps");
    EXPECT_EQ(DisplayFormat::tpsLabel(2.5, false), "3 tps");
}

} // namespace

#include "Telemetry/DisplayFormat.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace DisplayFormat;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

struct Case {
    QString text;
    const char *expected;
};

TEST(DisplayFormatTest, NumberAndTimeTexts)
{
    const Case cases[]{
        {tokens(0), "0"},
        {tokens(-5), "-5"},
        {tokens(999), "999"},
        {tokens(1'000), "1.0k"},
        {tokens(1'500), "1.5k"},
        {tokens(999'999), "1000.0k"},
        {tokens(1'000'000), "1.00M"},
        {tokens(2'345'678), "2.35M"},
        {tokens(std::numeric_limits<qint64>::max()), "9223372036854.78M"},

        {money(0), "$0.000"},
        {money(0.042), "$0.042"},
        {money(0.5), "$0.500"},
        {money(9.9994), "$9.999"},
        {money(9.9999), "$10.000"}, // the three-decimal form is chosen before rounding
        {money(10), "$10.00"},
        {money(12.5), "$12.50"},
        {money(123.456), "$123.46"},

        {clock(0), "0:00"},
        {clock(-3), "0:00"},
        {clock(-0.5), "0:00"},
        {clock(59.99), "0:59"},
        {clock(75.9), "1:15"},
        {clock(3'600), "60:00"},
        {clock(3'725), "62:05"},
        {clock(nan), "0:00"},
        {clock(infinity), "0:00"},
        {clock(1e19), "166666666666666656:40"}, // beyond 64 bits, still minutes and seconds

        {duration(0), "0s"},
        {duration(59.4), "59s"},
        {duration(59.5), "1m 0s"},
        {duration(65), "1m 5s"},
        {duration(3'600), "1h 0m"},
        {duration(3'725), "1h 2m"},
        {duration(-4), "0s"},
        {duration(-0.4), "0s"},
        {duration(nan), "-"},
        {duration(-infinity), "-"},
        {duration(1e19), "2777777777777778h 46m"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.text.toStdString(), c.expected);
}

TEST(DisplayFormatTest, ScopeStateAndThroughputLabels)
{
    const Case cases[]{
        {scopeLabel(MetricsScope::aggregate()), "All Agents"},
        {scopeLabel(MetricsScope::of(DisplayAgent::claudeCode)), "Claude Code"},
        {scopeLabel(MetricsScope::of(DisplayAgent::codex)), "Codex"},
        {scopeLabel(MetricsScope::of(DisplayAgent::mock)), "Mock"},

        {stateLabel(AgentState::idle, QString("ignored"), 9), "Idle"},
        {stateLabel(AgentState::awaitingApproval, std::nullopt, 9), "Needs approval"},
        {stateLabel(AgentState::working, std::nullopt, 75), "Working\u2026 1:15"},
        {stateLabel(AgentState::working, QString("Running Bash"), 61), "Running Bash 1:01"},

        {tpsLabel(0, true), "live"},
        {tpsLabel(0, false), "0 tps"},
        {tpsLabel(0.01, true), "0 tps"},
        {tpsLabel(41.6, true), "42 tps"},
        {tpsLabel(2.5, false), "3 tps"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.text.toStdString(), c.expected);
}

} // namespace

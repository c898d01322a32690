#include "HUD/Format.h"

#include <gtest/gtest.h>

#include <limits>

TEST(Format, Tokens)
{
    const std::pair<qint64, const char *> cases[] = {
        {0, "0"},          {999, "999"},          {-5, "-5"},         {1'000, "1.0k"},
        {1'500, "1.5k"},   {999'999, "1000.0k"},  {1'000'000, "1.00M"}, {2'345'678, "2.35M"},
    };
    for (const auto &[n, expected] : cases)
        EXPECT_EQ(Format::tokens(n).toStdString(), expected) << n;
}

TEST(Format, Money)
{
    const std::pair<double, const char *> cases[] = {
        {0, "$0.000"}, {0.5, "$0.500"}, {9.9994, "$9.999"}, {10, "$10.00"}, {12.5, "$12.50"}, {0.042, "$0.042"},
    };
    for (const auto &[dollars, expected] : cases)
        EXPECT_EQ(Format::money(dollars).toStdString(), expected) << dollars;
}

TEST(Format, ClockTruncatesAndNeverWrapsMinutes)
{
    const std::pair<double, const char *> cases[] = {
        {0, "0:00"},     {-3, "0:00"},     {59.99, "0:59"}, {75.9, "1:15"},
        {3'600, "60:00"}, {3'725, "62:05"}, {std::numeric_limits<double>::quiet_NaN(), "0:00"},
    };
    for (const auto &[seconds, expected] : cases)
        EXPECT_EQ(Format::clock(seconds).toStdString(), expected) << seconds;
}

#include "Telemetry/Adapters/JsonInteger.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr qint64 max = std::numeric_limits<qint64>::max();
constexpr qint64 min = std::numeric_limits<qint64>::min();

// The value as Qt's parser hands it over.
QJsonValue parsed(const char *json)
{
    return QJsonDocument::fromJson(QByteArray("[") + json + "]").array().at(0);
}

TEST(JsonInteger, EdgeRules)
{
    const std::pair<const char *, std::optional<qint64>> cases[]{
        {"12", 12},
        {"-7", -7},
        {"12.0", 12},
        {"12.5", 12},
        {"-7.9", -7},
        {"1e3", 1000},
        {"1.5E3", 1500},
        {"9007199254740993", 9007199254740993}, // beyond 2^53, still exact
        {"9223372036854775807", max},
        {"-9223372036854775808", min},
        {"9223372036854775808", std::nullopt},
        {"1e19", std::nullopt},
        {"-1e19", std::nullopt},
        {"1e300", std::nullopt},
        {R"("28527")", 28527},
        {R"("+12")", 12},
        {R"("-12")", -12},
        {R"("9223372036854775807")", max},
        {R"("-9223372036854775808")", min},
        {R"("9223372036854775808")", std::nullopt},
        {R"("12.0")", std::nullopt},
        {R"("1e3")", std::nullopt},
        {R"(" 12")", std::nullopt},
        {R"("12 ")", std::nullopt},
        {R"("")", std::nullopt},
        {R"("-")", std::nullopt},
        {R"("0x10")", std::nullopt},
        {R"("١٢")", std::nullopt},
        {"null", std::nullopt},
        {"true", std::nullopt},
        {"false", std::nullopt},
        {"[]", std::nullopt},
        {"{}", std::nullopt},
    };
    for (const auto &[json, expected] : cases) {
        ASSERT_FALSE(parsed(json).isUndefined()) << json;
        EXPECT_EQ(jsonInteger(parsed(json)), expected) << json;
    }
    EXPECT_EQ(jsonInteger(QJsonObject().value("missing")), std::nullopt);
    EXPECT_EQ(jsonInteger(QJsonValue(std::numeric_limits<double>::infinity())), std::nullopt);
    EXPECT_EQ(jsonInteger(QJsonValue(std::numeric_limits<double>::quiet_NaN())), std::nullopt);
}

TEST(JsonInteger, CountsFallBackToZero)
{
    EXPECT_EQ(jsonCount(parsed(R"("41")")), 41);
    EXPECT_EQ(jsonCount(parsed(R"("x")")), 0);
    EXPECT_EQ(jsonCount(QJsonObject().value("missing")), 0);
}

} // namespace

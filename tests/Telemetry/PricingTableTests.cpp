#include "Telemetry/PricingTable.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using TestSupport::readFile;
using TestSupport::writeFile;

class PricingTableTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(QStringLiteral("pricing.json")); }
    QJsonObject written() const { return QJsonDocument::fromJson(readFile(path())).object(); }
    QTemporaryDir dir;
};

TEST_F(PricingTableTest, WorkedCostsForGpt55)
{
    const PricingTable table(path());
    const std::optional<QString> model = QStringLiteral("gpt-5.5");
    EXPECT_NEAR(table.cost(model, 180987, 211, 177024), 0.114657, 1e-9);
    EXPECT_NEAR(table.cost(model, 269999, 1000, 200000), 0.479995, 1e-9);
    EXPECT_NEAR(table.cost(model, 270000, 1000, 200000), 0.945, 1e-9);
}

TEST_F(PricingTableTest, TierFollowsTierCountNotInput)
{
    const PricingTable table(path());
    const std::optional<QString> model = QStringLiteral("gpt-5.5");
    EXPECT_NEAR(table.cost(model, 1000000, 0, 0, 1000), 5.0, 1e-9);
    EXPECT_NEAR(table.cost(model, 1000, 0, 0, 270000), 0.01, 1e-9);
}

TEST_F(PricingTableTest, CachedRulesAndClamping)
{
    const PricingTable table(path());
    // gpt-5.5-pro has no cached rate: 0.1 x input in each tier.
    const std::optional<QString> pro = QStringLiteral("gpt-5.5-pro");
    EXPECT_NEAR(table.cost(pro, 1000, 0, 1000), 0.1 * 30.0 * 1000 / 1e6, 1e-12);
    EXPECT_NEAR(table.cost(pro, 300000, 0, 300000), 0.1 * 60.0 * 300000 / 1e6, 1e-12);
    // More cached than input charges no uncached input.
    const std::optional<QString> gpt5 = QStringLiteral("gpt-5");
    EXPECT_NEAR(table.cost(gpt5, 100, 0, 1000), 0.125 * 1000 / 1e6, 1e-12);
}

TEST_F(PricingTableTest, LookupByLongestPrefixInBothDirections)
{
    const PricingTable table(path());
    const auto inputRate = [&](std::optional<QString> model) { return table.pricing(model).input; };
    EXPECT_EQ(inputRate(QStringLiteral("gpt-5.5-2026-10-01")), 5.0);
    EXPECT_EQ(inputRate(QStringLiteral("gpt-5.4-mini-2026")), 0.75);
    EXPECT_EQ(inputRate(QStringLiteral("gpt-5.4")), 2.5);
    EXPECT_EQ(inputRate(QStringLiteral("gpt-5.5-p")), 30.0);  // a prefix of "gpt-5.5-pro" only
    EXPECT_EQ(inputRate(QStringLiteral("gpt-5.")), 1.75);     // many keys; the longest, "gpt-5.3-codex", wins
    EXPECT_EQ(inputRate(QStringLiteral("claude-x")), 1.25);   // nothing matches: default
    EXPECT_EQ(inputRate(QString()), 1.25);
    EXPECT_EQ(inputRate(std::nullopt), 1.25);
    EXPECT_EQ(inputRate(QStringLiteral("GPT-5.5")), 1.25);    // case-sensitive
}

TEST_F(PricingTableTest, MissingFileIsWrittenAsTheBuiltInTable)
{
    const PricingTable table(path());
    EXPECT_EQ(table.table(), PricingFile::builtInDefault());
    EXPECT_EQ(PricingFile::fromJson(readFile(path())), PricingFile::builtInDefault());
    EXPECT_EQ(PricingFile::builtInDefault().models.size(), 28u);
}

TEST_F(PricingTableTest, PricesClaudeCodeModelIdsAtTheirFamilysRates)
{
    const PricingTable table(path());
    struct Case {
        const char *model;
        double input;
        double output;
        double cachedInput;
        double cacheWrite5m;
        double cacheWrite1h;
    };
    const Case cases[] = {
        {"claude-sonnet-4-5-20250929", 3, 15, 0.3, 3.75, 6},
        {"claude-opus-4-5-20251101", 5, 25, 0.5, 6.25, 10},
        {"claude-opus-4-1-20250805", 15, 75, 1.5, 18.75, 30},
        {"claude-opus-5-5", 5, 25, 0.5, 6.25, 10}, // a newer Opus than the table knows: the family's rates
        {"claude-haiku-4-5-20251001", 1, 5, 0.1, 1.25, 2},
        {"claude-3-5-haiku-20241022", 0.8, 4, 0.08, 1, 1.6},
        {"claude-3-haiku-20240307", 0.25, 1.25, 0.03, 0.3, 0.5},
    };
    for (const Case &c : cases) {
        const ModelPricing &pricing = table.pricing(QString::fromLatin1(c.model));
        EXPECT_EQ(pricing.input, c.input) << c.model;
        EXPECT_EQ(pricing.output, c.output) << c.model;
        EXPECT_EQ(pricing.cachedInput, c.cachedInput) << c.model;
        EXPECT_DOUBLE_EQ(*pricing.cacheWrite5m, c.cacheWrite5m) << c.model;
        EXPECT_DOUBLE_EQ(*pricing.cacheWrite1h, c.cacheWrite1h) << c.model;
    }
    // A Sonnet request past 200k input tokens is billed at the long-context rates, writes included.
    const std::optional<QString> sonnet = QStringLiteral("claude-sonnet-4-5-20250929");
    EXPECT_DOUBLE_EQ(table.cost(sonnet, 250000, 1000, 200000), (6 * 50000 + 22.5 * 1000 + 0.6 * 200000) / 1e6);
    EXPECT_DOUBLE_EQ(table.cost(sonnet, TokenUsage{250000, 1000, 200000, 40000, 10000}),
                     (22.5 * 1000 + 0.6 * 200000 + 7.5 * 40000 + 12 * 10000) / 1e6);
}

TEST_F(PricingTableTest, CacheWritesArePricedByTheirLifetime)
{
    const PricingTable table(path());
    const std::optional<QString> sonnet = QStringLiteral("claude-sonnet-4-5");
    // 1000 plain, 2000 read, 3000 written for 5 minutes, 4000 for an hour.
    EXPECT_DOUBLE_EQ(table.cost(sonnet, TokenUsage{10000, 100, 2000, 3000, 4000}),
                     (3.0 * 1000 + 15.0 * 100 + 0.3 * 2000 + 3.75 * 3000 + 6.0 * 4000) / 1e6);
    // More written and read than the input holds charges no plain input.
    EXPECT_DOUBLE_EQ(table.cost(sonnet, TokenUsage{1000, 0, 500, 1000, 0}), (0.3 * 500 + 3.75 * 1000) / 1e6);
    // Codex reports no writes: its pricing is what it was.
    const std::optional<QString> gpt = QStringLiteral("gpt-5.5");
    EXPECT_DOUBLE_EQ(table.cost(gpt, TokenUsage{1002, 64, 202}), table.cost(gpt, 1002, 64, 202));
}

TEST_F(PricingTableTest, AnOlderFileLoadsUnchangedAndGainsOnlyTheModelsItLacks)
{
    // The first seed of earlier builds: Claude rows without cache-write rates, and a row of the user's.
    writeFile(path(), R"({"defaultPer1M":{"input":1.25,"output":10,"cachedInput":0.125},
                          "models":{"claude-sonnet-4-5":{"input":3,"output":15,"cachedInput":0.3},
                                    "claude-opus-4-5":{"input":4,"output":20}}})");
    const PricingTable table(path());
    const QJsonObject models = written().value("models").toObject();
    EXPECT_EQ(models.value("claude-sonnet-4-5").toObject(),
              QJsonObject({{"input", 3}, {"output", 15}, {"cachedInput", 0.3}}));
    EXPECT_EQ(models.value("claude-opus-4-5").toObject(), QJsonObject({{"input", 4}, {"output", 20}}));
    EXPECT_TRUE(models.contains("claude-haiku-4-5"));
    EXPECT_TRUE(models.contains("gpt-5.5"));
    EXPECT_EQ(models.size(), 28);
    // Rows without write rates price writes by the rule: 1.25 x and 2 x the input rate.
    EXPECT_DOUBLE_EQ(table.cost(QStringLiteral("claude-opus-4-5"), TokenUsage{2000, 0, 0, 1000, 1000}), (5.0 + 8.0) / 1000);
}

TEST_F(PricingTableTest, WrittenFileIsPrettyWithSortedKeysAndNoNulls)
{
    const PricingTable table(path());
    const QByteArray bytes = readFile(path());
    EXPECT_TRUE(bytes.contains("\n    \"defaultPer1M\""));
    EXPECT_FALSE(bytes.contains("null"));
    EXPECT_LT(bytes.indexOf("\"cachedInput\""), bytes.indexOf("\"input\""));
    EXPECT_LT(bytes.indexOf("\"gpt-5.5\""), bytes.indexOf("\"gpt-5.5-pro\""));
}

TEST_F(PricingTableTest, PrototypeDefaultIsUpgradedAndMissingModelsAdded)
{
    writeFile(path(), R"({"defaultPer1M":{"input":3.0,"output":15.0,"cachedInput":0.3},
                          "models":{"mock-model":{"input":3.0,"output":15.0,"cachedInput":0.3},
                                    "my-model":{"input":7,"output":9}}})");
    const PricingTable table(path());
    EXPECT_EQ(table.pricing(QStringLiteral("gpt-5.5")).input, 5.0);
    EXPECT_EQ(table.pricing(QStringLiteral("gpt-5.5")).longContextThreshold, 270000);
    EXPECT_EQ(table.table().defaultPer1M, PricingFile::builtInDefault().defaultPer1M);
    EXPECT_EQ(table.pricing(QStringLiteral("my-model")).input, 7.0);
    const QJsonObject models = written().value("models").toObject();
    EXPECT_TRUE(models.contains("gpt-5.5"));
    EXPECT_TRUE(models.contains("my-model"));
}

TEST_F(PricingTableTest, DefaultThatOnlyResemblesThePrototypeStays)
{
    writeFile(path(), R"({"defaultPer1M":{"input":3.0,"output":15.0,"cachedInput":0.3,"longContextThreshold":100000},
                          "models":{}})");
    const PricingTable table(path());
    EXPECT_EQ(table.table().defaultPer1M.input, 3.0);
    EXPECT_EQ(table.table().defaultPer1M.longContextThreshold, 100000);
}

TEST_F(PricingTableTest, UserRatesWinButStaleThresholdsAreCorrected)
{
    writeFile(path(), R"({"defaultPer1M":{"input":1,"output":2},
        "models":{"gpt-5.5":{"input":9,"output":99,"longContextThreshold":200000},
                  "gpt-5.4":{"input":8,"output":88}}})");
    const PricingTable table(path());
    EXPECT_EQ(table.pricing(QStringLiteral("gpt-5.5")).input, 9.0);
    EXPECT_EQ(table.pricing(QStringLiteral("gpt-5.5")).longContextThreshold, 270000);
    EXPECT_EQ(table.pricing(QStringLiteral("gpt-5.4")).input, 8.0);
    EXPECT_EQ(table.pricing(QStringLiteral("gpt-5.4")).longContextThreshold, std::nullopt);
    EXPECT_EQ(written().value("models").toObject().value("gpt-5.5").toObject().value("longContextThreshold").toInt(),
              270000);
}

TEST_F(PricingTableTest, CurrentFileIsNotRewritten)
{
    { const PricingTable first(path()); }
    const QByteArray custom = QJsonDocument(PricingFile::builtInDefault().toJson()).toJson(QJsonDocument::Compact);
    writeFile(path(), custom);
    const PricingTable second(path());
    EXPECT_EQ(readFile(path()), custom);
}

TEST_F(PricingTableTest, UndecodableFileIsKeptAsideThenReplaced)
{
    const char *broken[]{
        "{not json",
        R"({"models":{}})",
        R"({"defaultPer1M":{"input":1},"models":{}})",
        R"({"defaultPer1M":{"input":1,"output":2},"models":{"m":{"input":"1","output":2}}})",
        R"({"defaultPer1M":{"input":1,"output":2},"models":{"m":{"input":1,"output":2,"longContextThreshold":1.5}}})",
    };
    for (const char *content : broken) {
        QTemporaryDir scratch;
        const QString file = scratch.filePath(QStringLiteral("pricing.json"));
        writeFile(file, content);
        const PricingTable table(file);
        EXPECT_EQ(table.table(), PricingFile::builtInDefault()) << content;
        const QStringList aside = QDir(scratch.path()).entryList({QStringLiteral("pricing.json.corrupt-*")});
        ASSERT_EQ(aside.size(), 1) << content;
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^pricing\\.json\\.corrupt-\\d{8}-\\d{6}$")).match(aside[0]).hasMatch());
        EXPECT_EQ(readFile(scratch.filePath(aside[0])), QByteArray(content));
        EXPECT_EQ(PricingFile::fromJson(readFile(file)), PricingFile::builtInDefault());
    }
}

TEST(ModelPricing, MatchingToleratesTinyDifferencesOnly)
{
    ModelPricing a{1.0, 2.0, 0.1, std::nullopt, std::nullopt, std::nullopt, 1000};
    ModelPricing b = a;
    b.input += 5e-7;
    EXPECT_TRUE(a.matches(b));
    b.input += 1e-6;
    EXPECT_FALSE(a.matches(b));
    ModelPricing c = a;
    c.cachedInput.reset();
    EXPECT_FALSE(a.matches(c));
    ModelPricing d = a;
    d.longContextThreshold = 1001;
    EXPECT_FALSE(a.matches(d));
}

} // namespace

#include "Telemetry/PricingTable.h"

#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

PricingFile seededFile()
{
    const auto file = PricingFile::fromJson(TestSupport::readFile(":/seed/pricing.json"));
    if (!file)
        throw std::runtime_error("the pricing resource does not decode");
    return *file;
}

TEST(PricingResource, KeepsEveryBuiltInRowAndIsWrittenSorted)
{
    const PricingFile seeded = seededFile();
    const PricingFile &builtIn = PricingFile::builtInDefault();
    EXPECT_TRUE(seeded.defaultPer1M.matches(builtIn.defaultPer1M));
    for (const auto &[model, pricing] : builtIn.models) {
        ASSERT_TRUE(seeded.models.count(model)) << model.toStdString();
        EXPECT_TRUE(seeded.models.at(model).matches(pricing)) << model.toStdString();
    }
    // Loading it changes nothing, so the user's copy is never rewritten behind their back.
    QTemporaryDir dir;
    const QString path = dir.filePath("pricing.json");
    TestSupport::writeFile(path, TestSupport::readFile(":/seed/pricing.json"));
    PricingTable table(path);
    EXPECT_EQ(table.table(), seeded);
    EXPECT_EQ(TestSupport::readFile(path), TestSupport::readFile(":/seed/pricing.json"));
}

TEST(PricingResource, PricesClaudeCodeModelIdsAtTheirFamilysRates)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("pricing.json");
    TestSupport::writeFile(path, TestSupport::readFile(":/seed/pricing.json"));
    const PricingTable table(path);
    struct Case {
        const char *model;
        double input;
        double output;
        double cachedInput;
    };
    const Case cases[] = {
        {"claude-sonnet-4-5-20250929", 3, 15, 0.3},
        {"claude-opus-4-5-20251101", 5, 25, 0.5},
        {"claude-opus-4-1-20250805", 15, 75, 1.5},
        {"claude-opus-5-5", 5, 25, 0.5}, // a newer Opus than the table knows: the family's rates
        {"claude-haiku-4-5-20251001", 1, 5, 0.1},
        {"claude-3-5-haiku-20241022", 0.8, 4, 0.08},
    };
    for (const Case &c : cases) {
        const ModelPricing &pricing = table.pricing(QString::fromLatin1(c.model));
        EXPECT_EQ(pricing.input, c.input) << c.model;
        EXPECT_EQ(pricing.output, c.output) << c.model;
        EXPECT_EQ(pricing.cachedInput, c.cachedInput) << c.model;
    }
    // A Sonnet request past 200k input tokens is billed at the long-context rates.
    EXPECT_DOUBLE_EQ(table.cost(QStringLiteral("claude-sonnet-4-5-20250929"), 250000, 1000, 200000),
                     (6 * 50000 + 22.5 * 1000 + 0.6 * 200000) / 1e6);
}

} // namespace

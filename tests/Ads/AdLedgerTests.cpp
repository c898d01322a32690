#include "Ads/AdLedger.h"

#include "AdFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace AdFixtures;

class AdLedgerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("ad-ledger.jsonl"));
    QDateTime now = utc("2026-06-15T12:00:00Z");
};

TEST_F(AdLedgerTest, AppendCreatesTheFileWithOneCompactSortedLine)
{
    AdLedger ledger(path);
    const AdEvent first = event("c-top", AdEventType::viewTick, now);
    ledger.append(first);
    const QByteArray bytes = TestSupport::readFile(path);
    EXPECT_EQ(bytes.count('\n'), 1);
    EXPECT_TRUE(bytes.endsWith("}\n"));
    EXPECT_TRUE(bytes.startsWith("{\"agentSource\":\"codex\",\"campaignId\":\"c-top\",\"eventId\":\""));
    EXPECT_FALSE(bytes.contains(' '));
    EXPECT_EQ(ledger.loadEvents(), QList<AdEvent>{first});
}

TEST_F(AdLedgerTest, EachEventIdIsWrittenOnceAcrossLedgerObjects)
{
    const AdEvent first = event("c-top", AdEventType::viewTick, now);
    {
        AdLedger ledger(path);
        ledger.append(first);
        ledger.append(first);
    }
    AdLedger reopened(path); // knows the id from the file
    reopened.append(first);
    reopened.append(event("c-top", AdEventType::click, now));
    EXPECT_EQ(reopened.loadEvents().size(), 2);
}

TEST_F(AdLedgerTest, ReadingSkipsDamagedLinesAndKeepsAFinalLineWithoutFeed)
{
    const AdEvent a = event("a", AdEventType::viewTick, now);
    const AdEvent b = event("b", AdEventType::click, now);
    const AdEvent c = event("c", AdEventType::impressionRendered, now);
    auto line = [](const AdEvent &e) { return QJsonDocument(e.toJson()).toJson(QJsonDocument::Compact); };
    TestSupport::writeFile(path, line(a) + "\r\nnot json{{\n\n" + line(b) + "\n" + line(c));
    AdLedger ledger(path);
    EXPECT_EQ(ledger.loadEvents(), (QList<AdEvent>{a, b, c}));

    // An append after a last line without its feed starts a line of its own, so neither is lost.
    const AdEvent d = event("d", AdEventType::viewTick, now);
    ledger.append(d);
    EXPECT_EQ(ledger.loadEvents(), (QList<AdEvent>{a, b, c, d}));
    EXPECT_TRUE(TestSupport::readFile(path).contains("not json{{"));
}

TEST_F(AdLedgerTest, MonthlySpendValuesTicksAndClicksOfKnownCampaigns)
{
    AdLedger ledger(path);
    ledger.append(event("c-top", AdEventType::impressionRendered, now));
    ledger.append(event("c-top", AdEventType::viewTick, now));
    ledger.append(event("c-top", AdEventType::viewTick, utc("2026-06-01T00:00:00Z")));
    ledger.append(event("c-top", AdEventType::click, utc("2026-06-30T23:59:59Z")));
    ledger.append(event("c-top", AdEventType::click, utc("2026-05-31T23:59:59Z")));
    ledger.append(event("gone", AdEventType::click, now));
    const QHash<QString, double> bids{{"c-top", 18}};
    const QTimeZone utcZone = QTimeZone::utc();
    EXPECT_NEAR(ledger.spend(now, bids, {}, utcZone), 0.936, 1e-12);
    EXPECT_EQ(ledger.spend(now, bids, [](const QString &) { return false; }, utcZone), 0);
    // Month edges follow the time zone: in Berlin the May click falls in June, the June 30th one in July.
    EXPECT_NEAR(ledger.spend(now, bids, {}, QTimeZone("Europe/Berlin")), 0.936, 1e-12);
    EXPECT_NEAR(ledger.spend(utc("2026-07-10T00:00:00Z"), bids, {}, QTimeZone("Europe/Berlin")), 0.9, 1e-12);
}

TEST_F(AdLedgerTest, AFailedWriteLosesTheEventButKeepsItsIdSeen)
{
    const QString blocked = dir.filePath(QStringLiteral("missing/ad-ledger.jsonl"));
    AdLedger ledger(blocked);
    const AdEvent click = event("c-top", AdEventType::click, now);
    ledger.append(click);
    EXPECT_TRUE(ledger.loadEvents().isEmpty());
    QDir(dir.path()).mkdir(QStringLiteral("missing"));
    ledger.append(click); // not retried
    EXPECT_FALSE(QFile::exists(blocked));
}

} // namespace

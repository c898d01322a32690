#include "App/Modes/AdReportMode.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

TEST(AdReportMode, WindowStartsWholeCalendarDaysBeforeNow)
{
    const QDateTime now(QDate(2026, 3, 30), QTime(9, 15, 2), QTimeZone("Europe/Berlin"));
    struct Case {
        std::optional<qint64> days;
        QDateTime start;
    };
    const Case cases[]{
        {std::nullopt, QDateTime(QDate(2026, 3, 24), QTime(9, 15, 2), QTimeZone("Europe/Berlin"))},
        {7, QDateTime(QDate(2026, 3, 24), QTime(9, 15, 2), QTimeZone("Europe/Berlin"))}, // across the DST change
        {3, QDateTime(QDate(2026, 3, 28), QTime(9, 15, 2), QTimeZone("Europe/Berlin"))},
        {1, now},
        {0, now},
        {-5, now},
        {std::numeric_limits<qint64>::max(), now}, // no such date
    };
    for (const Case &c : cases)
        EXPECT_EQ(AdReportMode::windowStart(now, c.days), c.start) << c.days.value_or(-999);
}

struct ReportRun {
    int exitCode;
    QString out;
};

ReportRun adReport(const QString &dataHome, const QStringList &extra = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dataHome);
    process.setProcessEnvironment(environment);
    process.start(TestSupport::corvaneBinary(), QStringList{"--ad-report"} + extra);
    process.waitForFinished(20000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}

TEST(AdReportMode, EmptySupportDirectoryReportsZeroSpend)
{
    QTemporaryDir data;
    const ReportRun run = adReport(data.path(), {"--days", "3"});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    const QStringList lines = run.out.split('\n');
    ASSERT_EQ(lines.size(), 6) << run.out.toStdString();
    const QString reports = data.filePath("Corvane/Reports/");
    EXPECT_TRUE(lines[0].startsWith("markdown: " + reports + "corvane-ad-pilot-") && lines[0].endsWith(".md"));
    EXPECT_TRUE(lines[1].startsWith("json: " + reports + "corvane-ad-pilot-") && lines[1].endsWith(".json"));
    EXPECT_EQ(lines.mid(2), (QStringList{"spend: $0.000", "developer share: $0.000", "company share: $0.000", ""}));
    EXPECT_TRUE(QFileInfo::exists(lines[0].mid(10)));
    EXPECT_TRUE(QFileInfo::exists(lines[1].mid(6)));
    EXPECT_TRUE(QFileInfo(data.filePath("Corvane/campaigns.json")).size() > 0); // seeded
    const QString markdown = QString::fromUtf8(TestSupport::readFile(lines[0].mid(10)));
    EXPECT_TRUE(markdown.contains("| none | $0.00 | 0 | 0 | 0 | $0.000 | $0.000 | $0.000 |"));
    EXPECT_TRUE(markdown.contains("| none | 0 | 0s | 0 | 0 | 0 | - | - |"));
    EXPECT_TRUE(markdown.contains("| none | 0 | 0 | 0 | $0.000 |"));
}

TEST(AdReportMode, SpendOfTheLedgerIsPrintedAndAFailureExitsOne)
{
    QTemporaryDir data;
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    QByteArray ledger;
    for (const char *type : {"viewTick", "viewTick", "click", "viewTick"}) {
        ledger += "{\"agentSource\":\"codex\",\"campaignId\":\"paid-ci-minutes\",\"eventId\":\""
                  + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1()
                  + "\",\"surface\":\"hud\",\"timestamp\":\"" + now.toLatin1() + "\",\"type\":\"" + type + "\"}\n";
    }
    TestSupport::writeFile(data.filePath("Corvane/ad-ledger.jsonl"), ledger);
    const ReportRun run = adReport(data.path());
    EXPECT_EQ(run.exitCode, 0);
    // The seeded campaign bids 24: three ticks and a click are 1.272.
    EXPECT_TRUE(run.out.endsWith("spend: $1.272\ndeveloper share: $0.636\ncompany share: $0.636\n"))
        << run.out.toStdString();

    QDir(data.filePath("Corvane")).removeRecursively();
    TestSupport::writeFile(data.filePath("Corvane/Reports"), "a file where the directory belongs");
    const ReportRun failed = adReport(data.path());
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.out.startsWith("error: ")) << failed.out.toStdString();
    EXPECT_EQ(failed.out.count('\n'), 1);
}

} // namespace

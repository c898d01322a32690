#include "App/Core/AutostartEntry.h"
#include "App/Modes/DialogTexts.h"
#include "App/Shell/MenuDialogs.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

using CodexSetupOutcome = CodexConfigWriter::InstallResult::Kind;

TEST(DialogTexts, SetupResultsAndTheForeignNotifyNote)
{
    const AlertText installed = DialogTexts::codexSetupResult(CodexSetupOutcome::installed, "/h/.codex/config.toml.bak-1", false);
    EXPECT_EQ(installed.message, "Codex telemetry configured");
    EXPECT_EQ(installed.informative,
              "Backup saved at /h/.codex/config.toml.bak-1. Restart Codex for the change to take effect.");
    EXPECT_EQ(installed.buttons, QStringList{"OK"});
    EXPECT_EQ(DialogTexts::codexSetupResult(CodexSetupOutcome::alreadyInstalled, {}, false).message, "Already configured");
    EXPECT_EQ(DialogTexts::codexSetupResult(CodexSetupOutcome::conflictForeignOtel, {}, false).message,
              "Existing [otel] exporter detected");
    const QString note = "\n\nNote: an existing notify hook was detected and left untouched.";
    for (const auto outcome : {CodexSetupOutcome::installed, CodexSetupOutcome::alreadyInstalled,
                               CodexSetupOutcome::conflictForeignOtel}) {
        EXPECT_TRUE(DialogTexts::codexSetupResult(outcome, "b", true).informative.endsWith(note));
        EXPECT_FALSE(DialogTexts::codexSetupResult(outcome, "b", false).informative.contains("notify hook was"));
    }
}

TEST(DialogTexts, ButtonsInOrderAndReportMoney)
{
    EXPECT_EQ(DialogTexts::customTarget().buttons, (QStringList{"Attach", "Cancel"}));
    EXPECT_EQ(DialogTexts::remoteAds().buttons, (QStringList{"Save & Use Remote", "Cancel"}));
    EXPECT_EQ(DialogTexts::codexSetupQuestion().buttons, (QStringList{"Back Up & Write Config", "Cancel"}));
    EXPECT_EQ(DialogTexts::codexRevertResult(false).message, "Nothing to revert");
    EXPECT_EQ(DialogTexts::reportExported("/r", 9.9996, 12.345).informative,
              "Markdown and JSON reports were written to /r. Gross spend $10.000; developer share $12.35.");
}

TEST(MenuDialogs, CustomTargetKeepsBlanksAndIgnoresEmpty)
{
    MemorySettingsStore store;
    AppSettings settings(store);
    MenuDialogs::applyCustomTarget(settings, "");
    EXPECT_EQ(settings.targetBundleID(), "org.gnome.Terminal");
    MenuDialogs::applyCustomTarget(settings, "  ");
    EXPECT_EQ(store.value("targetBundleID").toString(), "  ");
}

TEST(MenuDialogs, RemoteAdsStoresTrimmedValuesBeforeSwitchingTheBackend)
{
    MemorySettingsStore store;
    AppSettings settings(store);
    settings.setAdBackendMode(AdBackendMode::localMock);
    QStringList seenAtModeChange;
    QObject::connect(&settings, &AppSettings::adBackendModeChanged, [&] {
        seenAtModeChange << settings.remoteAdBaseURL() << settings.remoteAdPublisherID() << settings.remoteAdPlacementID();
    });
    MenuDialogs::applyRemoteAds(settings, {" ftp://ads.example\n", "\tpub ", " slot "});
    EXPECT_EQ(seenAtModeChange, (QStringList{"ftp://ads.example", "pub", "slot"}));
    EXPECT_EQ(settings.adBackendMode(), AdBackendMode::remoteREST);
    EXPECT_EQ(store.value("remoteAdPublisherID").toString(), "pub");
}

TEST(AutostartEntry, PathFollowsXdgConfigHome)
{
    EXPECT_EQ(AutostartEntry::pathFor("/home/u", "/cfg"), "/cfg/autostart/dev.corvane.Corvane.desktop");
    EXPECT_EQ(AutostartEntry::pathFor("/home/u", ""), "/home/u/.config/autostart/dev.corvane.Corvane.desktop");
    EXPECT_EQ(AutostartEntry::pathFor("/home/u", "rel"), "/home/u/.config/autostart/dev.corvane.Corvane.desktop");
}

TEST(AutostartEntry, EnableWritesAnEntryAndDisableRemovesIt)
{
    QTemporaryDir dir;
    const QString entry = dir.path() + "/cfg/autostart/dev.corvane.Corvane.desktop";
    EXPECT_FALSE(AutostartEntry::isEnabled(entry));
    ASSERT_EQ(AutostartEntry::enable(entry, "/opt/My Apps/corvane"), std::nullopt);
    EXPECT_TRUE(AutostartEntry::isEnabled(entry));
    const QString text = QString::fromUtf8(TestSupport::readFile(entry));
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/My Apps/corvane\"\n"));
    EXPECT_TRUE(text.contains("\nIcon=dev.corvane.Corvane\n"));
    EXPECT_TRUE(AutostartEntry::disable(entry));
    EXPECT_FALSE(AutostartEntry::isEnabled(entry));
    EXPECT_TRUE(AutostartEntry::disable(entry));
}

TEST(AutostartEntry, ExecArgumentEscapes)
{
    EXPECT_EQ(AutostartEntry::execArgument("/usr/bin/corvane"), "/usr/bin/corvane");
    EXPECT_EQ(AutostartEntry::execArgument("/a b/$x"), "\"/a b/\\\\$x\"");
    EXPECT_EQ(AutostartEntry::execArgument("/a/100%"), "/a/100%%");
}

} // namespace

#include "App/Modes/ReportExport.h"

namespace {

TEST(ReportExport, SixDaysUpToNowThenBothFilesAndTheSummary)
{
    QTemporaryDir dir;
    const QDateTime now = QDateTime::fromString("2026-03-10T15:30:00", Qt::ISODate);
    QDateTime askedSince, askedUntil;
    const AdPilotReport::Files files{dir.path() + "/ad-ledger.jsonl", dir.path() + "/campaigns.json",
                                     dir.path() + "/q.jsonl", dir.path() + "/c.json", dir.path() + "/e.sqlite",
                                     dir.path() + "/Reports"};
    QDir().mkpath(files.outputDir);
    const ReportExport::Outcome outcome =
        ReportExport::generate(now, files, [&](const QDateTime &since, const QDateTime &until) {
            askedSince = since;
            askedUntil = until;
            return std::optional<QList<AdPilotReport::TelemetrySummary>>{};
        });
    EXPECT_EQ(askedSince, QDateTime::fromString("2026-03-04T15:30:00", Qt::ISODate));
    EXPECT_EQ(askedUntil, now);
    ASSERT_EQ(outcome.reveal.size(), 2);
    EXPECT_TRUE(outcome.reveal[0].endsWith(".md"));
    EXPECT_TRUE(outcome.reveal[1].endsWith(".json"));
    EXPECT_EQ(outcome.alert.message, "Ad Pilot Report Exported");
    EXPECT_EQ(outcome.alert.informative, "Markdown and JSON reports were written to " + files.outputDir
                                             + ". Gross spend $0.000; developer share $0.000.");
}

TEST(ReportExport, AnUnwritableFolderFailsWithTheErrorAndRevealsNothing)
{
    QTemporaryDir dir;
    TestSupport::writeFile(dir.path() + "/Reports", "a file, not a folder");
    const AdPilotReport::Files files{dir.path() + "/l", dir.path() + "/c", dir.path() + "/q", dir.path() + "/r",
                                     dir.path() + "/e", dir.path() + "/Reports"};
    const ReportExport::Outcome outcome = ReportExport::generate(QDateTime::currentDateTime(), files, {});
    EXPECT_TRUE(outcome.reveal.isEmpty());
    EXPECT_EQ(outcome.alert.message, "Ad Pilot Report Failed");
    EXPECT_FALSE(outcome.alert.informative.isEmpty());
}

} // namespace

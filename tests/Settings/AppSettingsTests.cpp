#include "Settings/AppSettings.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(AppSettings, FreshStoreGivesTheDefaultsAndWritesNothing)
{
    MemorySettingsStore store;
    const AppSettings settings(store);
    EXPECT_EQ(settings.targetBundleID(), "org.gnome.Terminal");
    EXPECT_EQ(settings.targetDisplayName(), "Terminal");
    EXPECT_EQ(settings.dockEdge(), DockEdge::above);
    EXPECT_TRUE(settings.showAds());
    EXPECT_EQ(settings.adBackendMode(), AdBackendMode::remoteREST);
    EXPECT_TRUE(settings.remoteAdBaseURL().startsWith("https://"));
    EXPECT_TRUE(settings.remoteAdBaseURL().endsWith("/api"));
    EXPECT_FALSE(settings.remoteAdPublisherID().isEmpty());
    EXPECT_EQ(settings.remoteAdPlacementID(), "hud");
    EXPECT_FALSE(settings.useMockData());
    EXPECT_EQ(settings.displayMode(), DisplayMode::followFocus());
    EXPECT_FALSE(settings.hideWhenTargetMissing());
    EXPECT_FALSE(settings.showDebugOverlay());
    EXPECT_FALSE(settings.debugLogRawOTel());
    EXPECT_FALSE(store.value("targetBundleID").isValid());
    EXPECT_FALSE(store.value("displayMode").isValid());
}

TEST(AppSettings, StoredValuesAreReadWithTheirFallbacks)
{
    struct Case {
        const char *key;
        QVariant stored;
        std::function<bool(const AppSettings &)> holds;
    };
    const std::vector<Case> cases{
        {"adBackendMode", "localMock", [](auto &s) { return s.adBackendMode() == AdBackendMode::localMock; }},
        {"adBackendMode", "LocalMock", [](auto &s) { return s.adBackendMode() == AdBackendMode::remoteREST; }},
        {"adBackendMode", "anything", [](auto &s) { return s.adBackendMode() == AdBackendMode::remoteREST; }},
        {"displayMode", "pin:codex", [](auto &s) { return s.displayMode() == DisplayMode::pinned(DisplayAgent::codex); }},
        {"displayMode", "pin:Codex", [](auto &s) { return s.displayMode() == DisplayMode::followFocus(); }},
        {"displayMode", "pin:", [](auto &s) { return s.displayMode() == DisplayMode::followFocus(); }},
        {"displayMode", "aggregate ", [](auto &s) { return s.displayMode() == DisplayMode::followFocus(); }},
        {"displayMode", "aggregate", [](auto &s) { return s.displayMode() == DisplayMode::aggregate(); }},
        {"dockEdge", "left", [](auto &s) { return s.dockEdge() == DockEdge::left; }},
        {"dockEdge", "sideways", [](auto &s) { return s.dockEdge() == DockEdge::above; }},
        {"useMockData", true, [](auto &s) { return !s.useMockData(); }},
        {"useMockDataV2", true, [](auto &s) { return s.useMockData(); }},
        {"useMockDataV2", "true", [](auto &s) { return s.useMockData(); }},  // INI text form
        {"showAds", "maybe", [](auto &s) { return s.showAds(); }},
        {"showAds", false, [](auto &s) { return !s.showAds(); }},
        {"showAds", 0, [](auto &s) { return !s.showAds(); }},
        {"targetBundleID", 42, [](auto &s) { return s.targetBundleID() == "org.gnome.Terminal"; }},
        {"targetBundleID", "XTerm", [](auto &s) { return s.targetBundleID() == "XTerm"; }},
    };
    for (const Case &c : cases) {
        MemorySettingsStore store;
        store.setValue(QLatin1String(c.key), c.stored);
        const AppSettings settings(store);
        EXPECT_TRUE(c.holds(settings)) << c.key << " = " << c.stored.toString().toStdString();
    }
}

TEST(AppSettings, BooleansReadAsPeopleWriteThemInTheConfFile)
{
    struct Case {
        QVariant stored;
        std::optional<bool> read; // absent: unreadable, the default holds
    };
    const Case cases[] = {
        {"true", true}, {"TRUE", true}, {"True", true}, {"1", true}, {"yes", true}, {"YES", true}, {"on", true},
        {"On", true}, {" yes ", true}, {"false", false}, {"FALSE", false}, {"0", false}, {"no", false},
        {"No", false}, {"off", false}, {"OFF", false}, {1, true}, {0, false}, {true, true}, {false, false},
        {"2", std::nullopt}, {"y", std::nullopt}, {"", std::nullopt}, {"truely", std::nullopt}, {2, std::nullopt},
    };
    for (const Case &c : cases) {
        for (const bool fallback : {false, true}) {
            // hideWhenTargetMissing defaults to off, showAds to on.
            MemorySettingsStore store;
            const char *key = fallback ? "showAds" : "hideWhenTargetMissing";
            store.setValue(QLatin1String(key), c.stored);
            const AppSettings settings(store);
            const bool read = fallback ? settings.showAds() : settings.hideWhenTargetMissing();
            EXPECT_EQ(read, c.read.value_or(fallback)) << key << " = " << c.stored.toString().toStdString();
        }
    }
}

TEST(AppSettings, AssignmentStoresAtOnceAndNotifiesOnChange)
{
    MemorySettingsStore store;
    AppSettings settings(store);
    QSignalSpy modeChanged(&settings, &AppSettings::displayModeChanged);

    settings.setDisplayMode(DisplayMode::pinned(DisplayAgent::claudeCode));
    EXPECT_EQ(store.value("displayMode").toString(), "pin:claudeCode");
    settings.setDisplayMode(DisplayMode::aggregate());
    EXPECT_EQ(store.value("displayMode").toString(), "aggregate");
    settings.setDisplayMode(DisplayMode::aggregate());
    EXPECT_EQ(modeChanged.count(), 2);

    settings.setUseMockData(true);
    EXPECT_EQ(store.value("useMockDataV2"), QVariant(true));
    EXPECT_FALSE(store.value("useMockData").isValid());
    settings.setDockEdge(DockEdge::right);
    EXPECT_EQ(store.value("dockEdge").toString(), "right");
    settings.setAdBackendMode(AdBackendMode::localMock);
    EXPECT_EQ(store.value("adBackendMode").toString(), "localMock");

    const AppSettings reread(store);
    EXPECT_EQ(reread.displayMode(), DisplayMode::aggregate());
    EXPECT_TRUE(reread.useMockData());
    EXPECT_EQ(reread.dockEdge(), DockEdge::right);
    EXPECT_EQ(reread.adBackendMode(), AdBackendMode::localMock);
}

TEST(SettingsTypes, DisplayModeFormsAndLabels)
{
    EXPECT_EQ(DisplayMode::pinned(DisplayAgent::mock).rawValue(), "pin:mock");
    EXPECT_EQ(DisplayMode::pinned(DisplayAgent::claudeCode).label(), "Pin Claude Code");
    EXPECT_EQ(DisplayMode::aggregate().label(), "All Agents");
    EXPECT_EQ(DisplayMode::followFocus().rawValue(), "follow");
    EXPECT_EQ(DisplayMode::followFocus().label(), "Follow Focused App");
    EXPECT_EQ(DisplayMode::fromRaw(u""), DisplayMode::followFocus());
    EXPECT_EQ(dockEdgeFromRaw(u"Above"), std::nullopt);
    EXPECT_EQ(adBackendModeFromRaw(u"remoteREST"), AdBackendMode::remoteREST);
}

TEST(SettingsTypes, TargetDisplayNames)
{
    EXPECT_EQ(targetDisplayName("com.googlecode.iterm2"), "iTerm2");
    EXPECT_EQ(targetDisplayName("dev.warp.Warp-Stable"), "dev.warp.Warp-Stable");
    EXPECT_EQ(targetDisplayName("XTerm"), "XTerm");
    EXPECT_EQ(targetDisplayName("org.gnome.Terminal"), "Terminal");
}

} // namespace

namespace {

// Corvane.conf edited by hand while Corvane runs: a real file, real inotify.
class SettingsFileEditTest : public testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.filePath("Corvane/Corvane.conf");
    std::unique_ptr<QSettingsStore> store;
    std::unique_ptr<AppSettings> settings;

    void start(const QByteArray &text)
    {
        TestSupport::writeFile(file, text);
        store = std::make_unique<QSettingsStore>(file);
        settings = std::make_unique<AppSettings>(*store);
        settings->followStoreEdits();
    }
    // As an editor saves: a new file renamed over the old one. (QSettings takes a file of the same
    // size and modification time for the one it read, so each edit here changes the size.)
    void edit(const QByteArray &text)
    {
        TestSupport::writeFile(file + ".new", text);
        ASSERT_TRUE(::rename(QFile::encodeName(file + ".new").constData(), QFile::encodeName(file).constData()) == 0);
    }
};

TEST_F(SettingsFileEditTest, AnEditTakesEffectWithTheSameSignalsAsAnAssignment)
{
    start("[General]\nshowAds=true\n");
    QSignalSpy showAds(settings.get(), &AppSettings::showAdsChanged);
    QSignalSpy dockEdge(settings.get(), &AppSettings::dockEdgeChanged);
    QSignalSpy displayMode(settings.get(), &AppSettings::displayModeChanged);

    edit("[General]\nshowAds=false\ndockEdge=left\n");
    ASSERT_TRUE(dockEdge.wait(5000));
    EXPECT_FALSE(settings->showAds());
    EXPECT_EQ(settings->dockEdge(), DockEdge::left);
    EXPECT_EQ(showAds.count(), 1);
    EXPECT_EQ(displayMode.count(), 0) << "an untouched key sends nothing";

    // Our own write reads back unchanged, and a key taken out of the file is its default again.
    settings->setShowAds(true);
    edit("[General]\nshowAds=true\n");
    ASSERT_TRUE(dockEdge.wait(5000));
    EXPECT_EQ(settings->dockEdge(), DockEdge::above);
    EXPECT_EQ(showAds.count(), 2);
}

TEST_F(SettingsFileEditTest, AnUnreadableValueIsIgnoredAndNamedOnce)
{
    start("[General]\nshowAds=false\n");
    QSignalSpy dockEdge(settings.get(), &AppSettings::dockEdgeChanged);
    testing::internal::CaptureStderr();
    edit("[General]\nshowAds=perhaps\ndockEdge=diagonal\nhideWhenTargetMissing=true\n");
    QSignalSpy hide(settings.get(), &AppSettings::hideWhenTargetMissingChanged);
    const bool reloaded = hide.wait(5000);
    settings->reload(); // the same bad values again: not reported twice
    const std::string errors = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(reloaded);
    EXPECT_FALSE(settings->showAds()) << "the last good value stays";
    EXPECT_EQ(settings->dockEdge(), DockEdge::above);
    EXPECT_EQ(dockEdge.count(), 0);
    EXPECT_EQ(errors, "corvane: ignoring the setting dockEdge: \"diagonal\" cannot be read\n"
                      "corvane: ignoring the setting showAds: \"perhaps\" cannot be read\n");
}

} // namespace

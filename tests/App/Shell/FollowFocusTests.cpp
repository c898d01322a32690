#include "App/Shell/AdBackendChoice.h"
#include "App/Shell/FollowFocus.h"
#include "Platform/FakeWindowSystem.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(FollowFocus, FallbackPredicate)
{
    const std::optional<QString> own = QStringLiteral("dev.corvane.Corvane");
    EXPECT_TRUE(FollowFocus::shouldFallbackToConfiguredTarget(own, own));
    EXPECT_TRUE(FollowFocus::shouldFallbackToConfiguredTarget(QStringLiteral("com.apple.SecurityAgent"), own));
    EXPECT_FALSE(FollowFocus::shouldFallbackToConfiguredTarget(QStringLiteral("com.apple.Safari"), own));
    EXPECT_TRUE(FollowFocus::shouldFallbackToConfiguredTarget(std::nullopt, own));
    EXPECT_FALSE(FollowFocus::shouldFallbackToConfiguredTarget(own, std::nullopt));
}

class FollowFocusFixture : public testing::Test {
protected:
    WindowInfo titled(const QString &title)
    {
        WindowInfo window;
        window.handle = ++handles;
        window.frame = QRectF(0, 0, 800, 600);
        window.title = title;
        return window;
    }
    void addApp(const RunningApplication &app, const QString &title)
    {
        const WindowInfo window = titled(title);
        windows.addApplication(app, {window, window, {window}});
    }
    std::optional<DisplayAgent> scopedAgent() const { return metrics.scope().agent; }

    QTemporaryDir dir;
    PricingTable pricing{dir.path() + "/pricing.json"};
    MetricsEngine metrics{pricing, nullptr};
    MemorySettingsStore store;
    AppSettings settings{store};
    FakeWindowSystem windows;
    FollowFocus focus{settings, metrics, windows, QStringLiteral("dev.corvane.Corvane"), 999};
    quint64 handles = 0;
    const RunningApplication xterm{QStringLiteral("XTerm"), 10};
    const RunningApplication browser{QStringLiteral("firefox"), 11};
    const RunningApplication codexApp{QStringLiteral("com.openai.codex"), 12};
};

TEST_F(FollowFocusFixture, ActivatingAHostRetargetsAndScopesByTitle)
{
    settings.setTargetBundleID(codexApp.appId);
    metrics.setScope(MetricsScope::of(DisplayAgent::mock));
    addApp(browser, "News");
    addApp(xterm, "codex — ~/src");
    focus.anyAppActivated(browser);
    EXPECT_EQ(scopedAgent(), DisplayAgent::mock);
    EXPECT_EQ(settings.targetBundleID(), codexApp.appId);

    focus.anyAppActivated(xterm);
    EXPECT_EQ(scopedAgent(), DisplayAgent::codex);
    EXPECT_EQ(store.value("targetBundleID").toString(), "XTerm");

    windows.setWindows(xterm, {titled("claude"), std::nullopt, {}});
    focus.anyAppActivated(xterm);
    EXPECT_EQ(scopedAgent(), DisplayAgent::claudeCode);

    // Without window access there are no titles: a host then means Claude Code.
    windows.setWindows(xterm, {titled("codex"), std::nullopt, {}});
    windows.access = false;
    focus.anyAppActivated(xterm);
    EXPECT_EQ(scopedAgent(), DisplayAgent::claudeCode);
}

TEST_F(FollowFocusFixture, OwnWindowsAndPromptsFollowTheConfiguredTarget)
{
    struct Case {
        const char *target;
        std::optional<DisplayAgent> expected;
    };
    for (const Case c : {Case{"com.openai.codex", DisplayAgent::codex}, Case{"XTerm", DisplayAgent::claudeCode},
                         Case{"firefox", DisplayAgent::mock}}) {
        metrics.setScope(MetricsScope::of(DisplayAgent::mock));
        settings.setTargetBundleID(c.target);
        windows.frontmost = RunningApplication{QStringLiteral("Corvane"), 999};
        focus.refreshFollowFocusScope();
        EXPECT_EQ(scopedAgent(), c.expected) << c.target;
        windows.frontmost = RunningApplication{QStringLiteral("com.apple.SecurityAgent"), 5};
        focus.refreshFollowFocusScope();
        EXPECT_EQ(scopedAgent(), c.expected) << c.target;
        EXPECT_EQ(settings.targetBundleID(), c.target);
    }
}

TEST_F(FollowFocusFixture, OtherModesSetTheirScopeAndIgnoreActivations)
{
    addApp(xterm, "codex");
    settings.setDisplayMode(DisplayMode::pinned(DisplayAgent::mock));
    focus.applyDisplayMode();
    EXPECT_EQ(scopedAgent(), DisplayAgent::mock);
    focus.anyAppActivated(xterm);
    windows.frontmost = xterm;
    focus.refreshFollowFocusScope();
    EXPECT_EQ(scopedAgent(), DisplayAgent::mock);
    EXPECT_NE(settings.targetBundleID(), "XTerm");

    settings.setDisplayMode(DisplayMode::aggregate());
    focus.applyDisplayMode();
    EXPECT_TRUE(metrics.scope().isAggregate());

    settings.setDisplayMode(DisplayMode::followFocus());
    focus.applyDisplayMode();
    EXPECT_EQ(scopedAgent(), DisplayAgent::codex);
}

TEST(AdBackendChoice, RemoteOnlyWithAnHttpOrHttpsBaseURL)
{
    for (const char *bad : {"", "ftp://ads.example.com", "ads.example.com/api", "http://exa mple.com"})
        EXPECT_FALSE(AdBackendChoice::usableRemoteBaseURL(bad)) << bad;
    for (const char *good : {"https://ads.example.com/api", "HTTP://127.0.0.1:8080"})
        EXPECT_TRUE(AdBackendChoice::usableRemoteBaseURL(good)) << good;

    QTemporaryDir dir;
    MemorySettingsStore store;
    AppSettings settings(store);
    auto local = std::make_shared<MockAdServer>(std::nullopt);
    const AdBackendChoice::RemoteFiles files{dir.path() + "/q.jsonl", dir.path() + "/c.json"};
    settings.setAdBackendMode(AdBackendMode::remoteREST);
    settings.setRemoteAdBaseURL("ftp://ads.example.com");
    EXPECT_EQ(AdBackendChoice::makeAdServer(settings, local, files, nullptr), local);
    settings.setRemoteAdBaseURL("https://ads.example.com/api");
    const auto remote = AdBackendChoice::makeAdServer(settings, local, files, nullptr);
    EXPECT_NE(remote, local);
    EXPECT_NE(remote->health().status, AdServerHealth::Status::localMock);
    settings.setAdBackendMode(AdBackendMode::localMock);
    EXPECT_EQ(AdBackendChoice::makeAdServer(settings, local, files, nullptr), local);
}

} // namespace

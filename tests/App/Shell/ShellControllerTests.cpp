#include "App/Core/AppPaths.h"
#include "App/Shell/OnboardingWindow.h"
#include "App/Shell/ShellController.h"
#include "App/Shell/StatusMenu.h"
#include "App/Shell/SponsoredSlot.h"
#include "Platform/FakeDesktop.h"
#include "Platform/FakeWindowSystem.h"
#include "Telemetry/CodexTelemetryHealth.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"
#include "Tracking/WindowTracker.h"

#include <QAction>
#include <QMenu>
#include <QTemporaryDir>
#include <QLabel>

#include <algorithm>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

// (except in the child run that draws on a real X server).
[[maybe_unused]] const bool offscreen = [] {
    if (qEnvironmentVariableIsEmpty("CORVANE_X_SHOT_DIR"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}();

class ShellTest : public testing::Test {
protected:
    ShellTest()
    {
        settings.setTargetBundleID("XTerm");
        settings.setAdBackendMode(AdBackendMode::localMock);
        WindowInfo window;
        window.handle = 1;
        window.frame = QRectF(100, 100, 800, 500);
        window.isMinimized = false;
        window.title = "bash";
        windows.addApplication(xterm, {window, window, {window}});
    }
    std::unique_ptr<ShellController> makeShell()
    {
        ShellParts parts{settings, metrics, health, {}, slot, windows, tracker, desktop,
                         {dir.path() + "/.codex/config.toml", dir.path() + "/hook.sh", dir.path() + "/notify.sock"},
                         dir.path() + "/.claude/settings.json", dir.path() + "/pricing.json", {}, dir.path() + "/autostart/dev.corvane.Corvane.desktop",
                         "/usr/bin/corvane", "dev.corvane.Corvane", 0};
        HUDHooks hooks;
        hooks.showTarget = [this](const TargetWindowState &state) { shown << state; };
        return std::make_unique<ShellController>(parts, hooks);
    }

    QTemporaryDir dir;
    PricingTable pricing{dir.path() + "/pricing.json"};
    MetricsEngine metrics{pricing, nullptr};
    MemorySettingsStore store;
    AppSettings settings{store};
    CodexTelemetryHealth health;
    SponsoredSlot slot{settings, metrics, {dir.path() + "/ledger.jsonl", dir.path() + "/campaigns.json", {}}, nullptr};
    FakeWindowSystem windows;
    WindowTracker tracker{windows, [this] { return settings.targetBundleID(); }};
    FakeDesktop desktop;
    const RunningApplication xterm{"XTerm", 77};
    QList<TargetWindowState> shown;
};

TEST_F(ShellTest, WithoutWindowAccessThePermissionStateAndOnboardingUntilARecheckFindsAccess)
{
    windows.access = false;
    auto shell = makeShell();
    shell->wireTrackerToHUD();
    shell->startTrackingOrOnboard();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].frame, std::nullopt);
    EXPECT_FALSE(shown[0].isMinimized);
    EXPECT_TRUE(shown[0].isRunning);
    EXPECT_TRUE(shown[0].needsAccessibilityPermission);
    ASSERT_NE(shell->onboardingWindow(), nullptr);
    EXPECT_TRUE(shell->onboardingWindow()->isVisible());
    EXPECT_FALSE(shell->isTrackerStarted());
    // It names what the window system misses.
    const QList<QLabel *> labels = shell->onboardingWindow()->findChildren<QLabel *>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(),
                            [&](const QLabel *label) { return label->text().contains(windows.problem); }));

    shell->onboardingWindow()->recheck(); // still no access: nothing happens
    EXPECT_NE(shell->onboardingWindow(), nullptr);
    EXPECT_FALSE(shell->onboardingWindow()->granted());

    windows.access = true;
    shell->onboardingWindow()->recheck();
    EXPECT_EQ(shell->onboardingWindow(), nullptr);
    EXPECT_TRUE(shell->isTrackerStarted());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return !shown.isEmpty() && shown.last().frame.has_value(); }));
    EXPECT_FALSE(shown.last().needsAccessibilityPermission);
}

TEST_F(ShellTest, MenuStateReflectsTheMomentAndActionsReachTheirTargets)
{
    windows.access = true;
    auto shell = makeShell();
    StatusMenuState state = shell->menuState();
    EXPECT_TRUE(state.windowAccessGranted);
    EXPECT_EQ(state.windowBackend, "Fake");
    EXPECT_EQ(state.targetDisplayName, "XTerm");
    EXPECT_EQ(state.backendHealthMessage, slot.impressions().backendHealth().message);
    EXPECT_EQ(state.codexHealthWord, "Setup");
    EXPECT_FALSE(state.codexConfigInstalled);
    EXPECT_FALSE(state.startAtLogin);

    shell->handle(MenuAction::toggleStartAtLogin, {});
    EXPECT_TRUE(shell->menuState().startAtLogin);
    shell->handle(MenuAction::toggleStartAtLogin, {});
    EXPECT_FALSE(shell->menuState().startAtLogin);

    shell->handle(MenuAction::pickDisplayMode, "pin:codex");
    EXPECT_EQ(shell->menuState().displayMode, DisplayMode::pinned(DisplayAgent::codex));

    AppPaths::seedIfMissing("pricing", "json", dir.path() + "/pricing.json");
    shell->handle(MenuAction::openPricing, {});
    ASSERT_EQ(desktop.opened.size(), 1);
    EXPECT_EQ(desktop.opened[0], QUrl::fromLocalFile(dir.path() + "/pricing.json"));
}

TEST_F(ShellTest, WithoutATrayTheHUDsRightClickOpensTheSameMenu)
{
    auto shell = makeShell();
    shell->setupStatusItem();
    ASSERT_FALSE(shell->statusMenu()->hasTrayIcon()); // the offscreen platform has no tray
    EXPECT_TRUE(shell->hudContextMenuRequested(QPoint(50, 50)));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return shell->statusMenu()->menu()->isVisible(); }));
    EXPECT_EQ(shell->statusMenu()->menu()->actions().back()->text(), "Quit Corvane");
    shell->statusMenu()->menu()->hide();
}

TEST_F(ShellTest, SettingsSubscriptionsReattachAndRescope)
{
    windows.access = true;
    RunningApplication other{"kitty", 88};
    windows.addApplication(other, {});
    auto shell = makeShell();
    shell->installSettingsSubscriptions();
    settings.setDisplayMode(DisplayMode::pinned(DisplayAgent::mock));
    shell->startTrackingOrOnboard();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return metrics.scope().agent == DisplayAgent::mock; }));
    EXPECT_EQ(tracker.observedPid(), 77);

    settings.setTargetBundleID("kitty");
    EXPECT_EQ(tracker.observedPid(), 77); // deferred to a later turn of the loop
    ASSERT_TRUE(TestSupport::waitUntil([&] { return tracker.observedPid() == 88; }));

    settings.setDisplayMode(DisplayMode::aggregate());
    ASSERT_TRUE(TestSupport::waitUntil([&] { return metrics.scope().isAggregate(); }));
}

} // namespace

// The tracker docking through the desktop-windows contract, the compositor side played by a fake
// KWin script on a private bus: the frames, minimising, exit and losing the compositor.
#include "FakeCompositor.h"
#include "Tracking/WindowTracker.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using TestSupport::waitUntil;

namespace {

struct TrackerOnDBusDesktop : DesktopWindowsTest {
    std::unique_ptr<DBusDesktopWindowSystem> windows;
    std::unique_ptr<WindowTracker> tracker;
    std::vector<TargetWindowState> reports;

    void SetUp() override
    {
        DesktopWindowsTest::SetUp();
        windows = startKWinDesktop();
        ASSERT_TRUE(windows->hasWindowAccess()) << windows->accessProblem().toStdString();
        tracker = std::make_unique<WindowTracker>(*windows, [] { return konsole.appId; });
        tracker->onChange = [this](const TargetWindowState &state) { reports.push_back(state); };
        tracker->start();
    }
    void TearDown() override
    {
        tracker.reset();
        windows.reset();
        DesktopWindowsTest::TearDown();
    }

    bool reported(const std::function<bool(const TargetWindowState &)> &predicate)
    {
        return waitUntil([&] { return !reports.empty() && predicate(reports.back()); }, 2s);
    }
    // The compositor's top-left frame on its 1000 px high screen, as the HUD reads it.
    bool reportedFrame(const QRectF &topLeft)
    {
        const QRectF expected = WindowTracker::appKitRect(topLeft.topLeft(), topLeft.size(), 1000);
        return reported([&](const TargetWindowState &state) { return state.frame == expected; });
    }
};

} // namespace

TEST_F(TrackerOnDBusDesktop, FollowsTheTerminalAsItMovesResizesMinimisesAndExits)
{
    ASSERT_TRUE(reportedFrame({950, 50, 600, 500}));
    EXPECT_EQ(tracker->observedPid(), konsole.pid);

    compositor->call("WindowChanged", QVariantMap{{"id", "b"}, {"x", 420}, {"y", 300}});
    EXPECT_TRUE(reportedFrame({420, 300, 600, 500}));
    compositor->call("WindowChanged", QVariantMap{{"id", "b"}, {"width", 900}, {"height", 520}});
    EXPECT_TRUE(reportedFrame({420, 300, 900, 520}));

    compositor->call("WindowChanged", QVariantMap{{"id", "b"}, {"minimized", true}});
    EXPECT_TRUE(reported([](const TargetWindowState &state) { return state.isMinimized && state.isRunning; }));
    compositor->call("WindowChanged", QVariantMap{{"id", "b"}, {"minimized", false}});
    EXPECT_TRUE(reported([](const TargetWindowState &state) { return !state.isMinimized && state.frame; }));

    compositor->call("WindowRemoved", "b");
    EXPECT_TRUE(reported([](const TargetWindowState &state) { return !state.isRunning; }));
    EXPECT_EQ(reports.back(), (TargetWindowState{std::nullopt, false, false, false}));

    compositor->call("WindowAdded", window("b2", konsole.appId, 43, {10, 20, 640, 480}, "codex"));
    EXPECT_TRUE(reportedFrame({10, 20, 640, 480}));
    EXPECT_EQ(tracker->observedPid(), 43);
}

TEST_F(TrackerOnDBusDesktop, LosingTheCompositorAsksForAccessAgain)
{
    ASSERT_TRUE(reportedFrame({950, 50, 600, 500}));
    kwin.reset();
    compositor.reset();
    QDBusConnection::disconnectFromBus("compositor");
    EXPECT_TRUE(reported([](const TargetWindowState &state) { return state.needsAccessibilityPermission; }));
    EXPECT_FALSE(tracker->isAttached());
}

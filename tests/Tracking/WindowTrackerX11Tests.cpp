// The tracker against a real X server: Xvfb, openbox and xterm, started by each test.
#include "Platform/X11/X11Display.h"
#include "Platform/X11/X11WindowSystem.h"
#include "Tracking/WindowTracker.h"
#include "support/TestSupport.h"
#include "support/XSession.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using TestSupport::spin;
using TestSupport::waitUntil;

namespace {

struct TrackerOnX : ::testing::Test {
    XSession x;
    std::unique_ptr<X11WindowSystem> windows;
    std::unique_ptr<WindowTracker> tracker;
    std::vector<TargetWindowState> reports;
    std::vector<qint64> reportTimes;
    QElapsedTimer clock;

    void SetUp() override
    {
        ASSERT_TRUE(x.start()) << x.error().toStdString();
        const auto connection = openXcbConnection(x.displayName());
        ASSERT_TRUE(connection);
        windows = std::make_unique<X11WindowSystem>(connection);
        tracker = std::make_unique<WindowTracker>(*windows, [] { return QStringLiteral("XTerm"); });
        clock.start();
        tracker->onChange = [this](const TargetWindowState &state) {
            reports.push_back(state);
            reportTimes.push_back(clock.elapsed());
        };
    }

    // The window manager's frame of the window, bottom-left origin.
    QRectF expectedFrame(quint32 window)
    {
        const QRect frame = x.frameGeometry(window);
        return WindowTracker::appKitRect(frame.topLeft(), frame.size(), x.screenSize().height());
    }

    bool reportedFrame(const QRectF &frame, std::chrono::milliseconds timeout = 3s)
    {
        return waitUntil([&] { return !reports.empty() && reports.back().frame == frame; }, timeout);
    }

    // Returns right after a poll's report, so the next poll is almost half a second away.
    void waitForPoll()
    {
        const std::size_t count = reports.size();
        ASSERT_TRUE(waitUntil([&] { return reports.size() > count; }, 2s));
    }
};

} // namespace

TEST_F(TrackerOnX, followsTheXtermAsTheWindowManagerPlacesMovesAndResizesIt)
{
    XSession::Client term = x.startXterm({"-geometry", "80x24+120+90"});
    ASSERT_NE(term.window, 0u) << x.error().toStdString();
    tracker->start();
    ASSERT_TRUE(waitUntil([&] { return !reports.empty() && reports.back().frame; }, 3s));
    EXPECT_EQ(tracker->observedPid(), term.process->processId());
    const QRect placed = x.frameGeometry(term.window);
    EXPECT_EQ(placed.topLeft(), QPoint(120, 90)); // the requested position is the frame's
    EXPECT_EQ(reports.back(), (TargetWindowState{expectedFrame(term.window), false, true, false}));

    // A burst of moves yields one report, within 100 ms, with the final frame.
    waitForPoll();
    const std::size_t before = reports.size();
    const qint64 burstStart = clock.elapsed();
    for (int i = 1; i <= 20; ++i)
        x.configure(term.window, QRect(120 + 10 * i, 90 + 5 * i, 0, 0), true, false);
    const QRect finalFrame(320, 190, placed.width(), placed.height());
    ASSERT_TRUE(waitUntil([&] { return x.frameGeometry(term.window) == finalFrame; }, 2s));
    spin(150ms);
    ASSERT_EQ(reports.size(), before + 1);
    EXPECT_EQ(reports.back().frame, expectedFrame(term.window));
    EXPECT_LT(reportTimes.back() - burstStart, 100);

    // A resize is reported within 100 ms as well.
    waitForPoll();
    const qint64 resizeStart = clock.elapsed();
    x.configure(term.window, QRect(0, 0, 700, 400), false, true);
    ASSERT_TRUE(waitUntil([&] { return x.frameGeometry(term.window).width() != placed.width(); }, 2s));
    ASSERT_TRUE(reportedFrame(expectedFrame(term.window), 500ms));
    EXPECT_LT(reportTimes.back() - resizeStart, 100);
    EXPECT_EQ(reports.back().frame->height(), x.frameGeometry(term.window).height());
}

TEST_F(TrackerOnX, reportsMinimisedNotRunningAndPicksTheXtermUpAgain)
{
    XSession::Client term = x.startXterm({"-geometry", "80x24+50+50"});
    ASSERT_NE(term.window, 0u) << x.error().toStdString();
    tracker->start();
    ASSERT_TRUE(waitUntil([&] { return !reports.empty() && reports.back().frame; }, 3s));

    x.run("xdotool", {"windowminimize", QString::number(term.window)});
    ASSERT_TRUE(x.error().isEmpty()) << x.error().toStdString();
    ASSERT_TRUE(waitUntil([&] { return reports.back().isMinimized; }, 2s));
    EXPECT_TRUE(reports.back().isRunning);
    EXPECT_TRUE(reports.back().frame); // the minimised window is still the one followed

    ASSERT_TRUE(x.stopClient(term));
    ASSERT_TRUE(waitUntil([&] { return !reports.back().isRunning; }, 1s));
    EXPECT_EQ(reports.back(), (TargetWindowState{std::nullopt, false, false, false}));
    EXPECT_FALSE(tracker->isAttached());

    XSession::Client again = x.startXterm({"-geometry", "80x24+200+200"});
    ASSERT_NE(again.window, 0u) << x.error().toStdString();
    // The window is listed now; the tracker must have it within half a second.
    EXPECT_TRUE(reportedFrame(expectedFrame(again.window), 500ms));
    EXPECT_FALSE(reports.back().isMinimized);
    EXPECT_EQ(tracker->observedPid(), again.process->processId());
}

TEST(TrackerWithoutX, reportsThatWindowAccessIsMissingAndNothingFails)
{
    // A display nobody serves.
    const auto connection = openXcbConnection(":65000");
    EXPECT_FALSE(connection);
    X11WindowSystem windows(connection);
    EXPECT_EQ(windows.accessProblem(), QStringLiteral("No X server answers on this display."));
    WindowTracker tracker(windows, [] { return QStringLiteral("XTerm"); });
    std::vector<TargetWindowState> reports;
    tracker.onChange = [&](const TargetWindowState &state) { reports.push_back(state); };
    tracker.start();
    ASSERT_TRUE(waitUntil([&] { return !reports.empty() && reports.back().needsAccessibilityPermission; }, 2s));
    EXPECT_EQ(reports.back(), (TargetWindowState{std::nullopt, false, false, true}));
    EXPECT_FALSE(tracker.isAttached());
    tracker.refreshNow();
    EXPECT_EQ(reports.back(), (TargetWindowState{std::nullopt, false, false, true}));
}

#include "Platform/FakeWindowSystem.h"
#include "Platform/ManualClock.h"
#include "Tracking/WindowTracker.h"

#include <QCoreApplication>

#include <functional>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QString target = QStringLiteral("XTerm");
const RunningApplication xterm{target, 4242};
const RunningApplication other{QStringLiteral("org.gnome.Terminal"), 77};

WindowInfo window(WindowHandle handle, std::optional<QRectF> frame, std::optional<bool> minimized = false)
{
    return {handle, frame, minimized, std::nullopt};
}

// Content window (top-left origin) and what the tracker must report for it on a 1000-high screen.
const QRectF content(100, 200, 800, 600);
const QRectF contentReported(100, 200, 800, 600);

ApplicationWindows oneWindow(const QRectF &frame = content)
{
    return {window(1, frame), window(1, frame), {window(1, frame)}};
}

TargetWindowState found(const QRectF &frame) { return {frame, false, true, false}; }
const TargetWindowState notRunning{std::nullopt, false, false, false};

// A tracker on a manual clock: its poll and debounce run only as the test moves the clock.
struct Fixture : ::testing::Test {
    const Delays delays;
    ManualClock clock;
    FakeWindowSystem windows;
    WindowTracker tracker{windows, [] { return target; }, Environment{&clock}};
    std::vector<TargetWindowState> reports;
    std::vector<QDateTime> reportTimes;

    void SetUp() override
    {
        tracker.onChange = [this](const TargetWindowState &state) {
            reports.push_back(state);
            reportTimes.push_back(clock.now());
        };
    }
    // Moves the clock a millisecond at a time until the predicate holds or `limit` has passed.
    bool advanceUntil(const std::function<bool()> &predicate, std::chrono::milliseconds limit)
    {
        for (auto passed = 0ms; !predicate(); passed += 1ms) {
            if (passed >= limit)
                return false;
            QCoreApplication::sendPostedEvents();
            clock.advance(1ms);
        }
        return true;
    }
    bool reported(const TargetWindowState &state, std::chrono::milliseconds limit = 2s)
    {
        return advanceUntil([&] { return !reports.empty() && reports.back() == state; }, limit);
    }
};

} // namespace

TEST(WindowTrackerHelpers, preferredWindowIndexPrefersContentOverOverlays)
{
    struct Case {
        std::vector<QRectF> frames;
        std::optional<std::size_t> expected;
    };
    const std::vector<Case> cases{
        {{}, std::nullopt},
        {{QRectF(360, 116, 720, 84), QRectF(131, 78, 1217, 722)}, 1},
        {{QRectF(0, 0, 320, 160), QRectF(0, 0, 2000, 2000)}, 0},   // limits are inclusive
        {{QRectF(0, 0, 319, 900), QRectF(0, 0, 320, 160)}, 1},     // too narrow, however tall
        {{QRectF(0, 0, 100, 100), QRectF(0, 0, 200, 50)}, 0},      // equal areas: the earlier
        {{QRectF(0, 0, 100, 100), QRectF(0, 0, 300, 150)}, 1},     // none large: the largest area
    };
    for (const Case &c : cases)
        EXPECT_EQ(WindowTracker::preferredWindowIndex(c.frames), c.expected) << c.frames.size();
}

TEST(WindowTrackerHelpers, appKitRectFlipsAgainstTheScreenHeight)
{
    EXPECT_EQ(WindowTracker::appKitRect({100, 200}, {800, 600}, 1000), QRectF(100, 200, 800, 600));
    EXPECT_EQ(WindowTracker::appKitRect({0, 0}, {300, 100}, 1000), QRectF(0, 900, 300, 100));
    EXPECT_EQ(WindowTracker::appKitRect({10, 20}, {30, 40}, 0), QRectF(10, -60, 30, 40));
}

TEST_F(Fixture, createdTrackerReportsNothingAndStartsEmpty)
{
    windows.addApplication(xterm, oneWindow());
    clock.advance(600ms);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(tracker.state(), (TargetWindowState{}));
}

TEST_F(Fixture, findsTheRunningTargetsWindowAndConvertsItsFrame)
{
    windows.addApplication(other, oneWindow(QRectF(0, 0, 500, 500)));
    windows.addApplication(xterm, oneWindow());
    tracker.start();
    EXPECT_TRUE(reports.empty()); // attaching only schedules the refresh
    ASSERT_TRUE(reported(found(contentReported)));
    EXPECT_EQ(tracker.observedPid(), xterm.pid);
    EXPECT_EQ(windows.observed(), xterm);
}

TEST_F(Fixture, targetNotRunningIsReportedAtAttachAndByThePoll)
{
    tracker.start();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports.front(), notRunning);
    EXPECT_FALSE(tracker.isAttached());
    ASSERT_TRUE(advanceUntil([&] { return reports.size() >= 2; }, 2s));
    EXPECT_EQ(reports[1], notRunning);
}

TEST_F(Fixture, launchNotificationAttaches)
{
    tracker.start();
    windows.launch(other, oneWindow());
    clock.advance(50ms);
    EXPECT_FALSE(tracker.isAttached()); // another application's launch is ignored
    windows.launch(xterm, oneWindow());
    EXPECT_TRUE(tracker.isAttached());
    EXPECT_TRUE(reported(found(contentReported), 200ms));
}

TEST_F(Fixture, targetLaunchedWithoutNotificationIsPickedUpByThePollWithinHalfASecond)
{
    tracker.start();
    windows.addApplication(xterm, oneWindow());
    const QDateTime added = clock.now();
    ASSERT_TRUE(reported(found(contentReported)));
    // The poll's refresh attaches, and attaching schedules the refresh that reads the window.
    EXPECT_EQ(added.msecsTo(reportTimes.back()), (delays.trackerPoll + 2 * delays.trackerDebounce).count());
}

TEST_F(Fixture, withoutWindowAccessTheTrackerNeverAttaches)
{
    windows.access = false;
    windows.addApplication(xterm, oneWindow());
    tracker.start();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports.front(), (TargetWindowState{std::nullopt, false, true, true}));
    EXPECT_FALSE(tracker.isAttached());
    EXPECT_FALSE(windows.observed());

    windows.removeApplication(xterm);
    EXPECT_TRUE(reported({std::nullopt, false, false, true}));
    EXPECT_FALSE(tracker.isAttached());

    // Access arriving later is picked up by the poll.
    windows.addApplication(xterm, oneWindow());
    windows.access = true;
    EXPECT_TRUE(reported(found(contentReported)));
}

TEST_F(Fixture, terminationReportsNotRunningAtOnceAndOthersAreIgnored)
{
    windows.addApplication(xterm, oneWindow());
    tracker.start();
    ASSERT_TRUE(reported(found(contentReported)));

    const std::size_t before = reports.size();
    windows.terminate(other);
    windows.activate(other);
    EXPECT_EQ(reports.size(), before);
    EXPECT_EQ(tracker.observedPid(), xterm.pid);

    windows.terminate(xterm);
    ASSERT_EQ(reports.size(), before + 1);
    EXPECT_EQ(reports.back(), notRunning);
    EXPECT_FALSE(tracker.isAttached());
    EXPECT_FALSE(windows.observed());
}

TEST_F(Fixture, terminatingOneOfSeveralInstancesFollowsTheOneStillRunning)
{
    const RunningApplication second{target, 4343};
    windows.addApplication(xterm, oneWindow());
    windows.addApplication(second, oneWindow(QRectF(0, 0, 400, 300)));
    tracker.start();
    ASSERT_TRUE(reported(found(contentReported)));

    windows.terminate(xterm);
    EXPECT_EQ(tracker.observedPid(), second.pid);
    EXPECT_TRUE(reported(found(QRectF(0, 700, 400, 300))));
    EXPECT_TRUE(std::none_of(reports.begin(), reports.end(), [](const auto &s) { return !s.isRunning; }));
}

TEST_F(Fixture, activatingTheTargetReattaches)
{
    windows.addApplication(xterm, oneWindow());
    tracker.start();
    ASSERT_TRUE(reported(found(contentReported)));
    windows.stopObserving();
    windows.activate(xterm);
    EXPECT_EQ(windows.observed(), xterm);
    EXPECT_TRUE(tracker.isAttached());
}

TEST_F(Fixture, candidatesAreFocusedThenMainThenListedSkippingMinimisedAndUnreadable)
{
    ApplicationWindows windowsOfApp;
    windowsOfApp.focused = window(1, content, true);                    // minimised
    windowsOfApp.main = window(2, QRectF(0, 0, 720, 84));               // overlay
    windowsOfApp.listed = {window(3, std::nullopt), window(4, QRectF(5, 10, 640, 480)), window(1, content, true)};
    windows.addApplication(xterm, windowsOfApp);
    tracker.start();
    EXPECT_TRUE(reported(found(QRectF(5, 510, 640, 480))));
}

TEST_F(Fixture, unreadableMinimisedFlagCountsAsNotMinimised)
{
    windows.addApplication(xterm, {std::nullopt, std::nullopt, {window(1, content, std::nullopt)}});
    tracker.start();
    EXPECT_TRUE(reported(found(contentReported)));
}

TEST_F(Fixture, onlyMinimisedWindowsYieldTheFirstCandidateMinimised)
{
    windows.addApplication(xterm, {window(1, QRectF(0, 0, 10, 10), true), std::nullopt,
                                   {window(2, content, true)}});
    tracker.start();
    EXPECT_TRUE(reported({QRectF(0, 990, 10, 10), true, true, false}));
}

TEST_F(Fixture, attachedWithoutUsableWindowOrFrame)
{
    windows.addApplication(xterm);
    tracker.start();
    EXPECT_TRUE(reported({std::nullopt, false, true, false}));

    // A chosen window whose frame cannot be read carries no frame.
    windows.setWindows(xterm, {window(1, std::nullopt), std::nullopt, {}});
    tracker.refreshNow();
    EXPECT_EQ(reports.back(), (TargetWindowState{std::nullopt, false, true, false}));
}

TEST_F(Fixture, notificationStormYieldsOneReportAfterTheLastRequest)
{
    windows.addApplication(xterm, oneWindow());
    tracker.start();
    ASSERT_TRUE(reported(found(contentReported)));
    // Start right after a poll so that the next one is far away.
    const std::size_t polled = reports.size();
    ASSERT_TRUE(advanceUntil([&] { return reports.size() > polled; }, 2s));
    const std::size_t before = reports.size();

    const QRectF moved(300, 100, 800, 600);
    windows.setWindows(xterm, oneWindow(moved));
    for (int i = 0; i < 40; ++i)
        windows.changeObservedWindow(i % 2 ? WindowChange::moved : WindowChange::resized);
    clock.advance(100ms);
    ASSERT_EQ(reports.size(), before + 1);
    EXPECT_EQ(reports.back(), found(QRectF(300, 300, 800, 600)));
}

TEST_F(Fixture, debounceRestartsOnEveryRequest)
{
    windows.addApplication(xterm, oneWindow());
    tracker.attach();
    const int readsAfterAttach = windows.windowReads();
    // Requests 8 ms apart for 80 ms: none may refresh before the burst ends.
    for (int i = 0; i < 10; ++i) {
        tracker.scheduleRefresh();
        clock.advance(8ms);
    }
    EXPECT_EQ(windows.windowReads(), readsAfterAttach);
    // The last request came 8 ms ago: the refresh is one debounce after it.
    clock.advance(delays.trackerDebounce - 8ms - 1ms);
    EXPECT_EQ(windows.windowReads(), readsAfterAttach);
    clock.advance(1ms);
    EXPECT_EQ(windows.windowReads(), readsAfterAttach + 1);
    clock.advance(50ms);
    EXPECT_EQ(windows.windowReads(), readsAfterAttach + 1);
}

TEST_F(Fixture, desktopChangeSchedulesOneRefresh)
{
    windows.addApplication(xterm, oneWindow());
    tracker.start();
    ASSERT_TRUE(reported(found(contentReported)));
    const std::size_t polled = reports.size();
    ASSERT_TRUE(advanceUntil([&] { return reports.size() > polled; }, 2s));
    const std::size_t before = reports.size();
    Q_EMIT windows.activeDesktopChanged();
    Q_EMIT windows.activeDesktopChanged();
    clock.advance(60ms);
    EXPECT_EQ(reports.size(), before + 1);
}

TEST_F(Fixture, detachIsIdempotentAndCancelsThePendingRefresh)
{
    windows.addApplication(xterm, oneWindow());
    tracker.attach();
    tracker.detach();
    tracker.detach();
    clock.advance(60ms);
    EXPECT_TRUE(reports.empty());
    EXPECT_FALSE(tracker.isAttached());
    EXPECT_EQ(tracker.observedPid(), 0);
    EXPECT_FALSE(windows.observed());
    // Window changes of the old target no longer reach the tracker.
    windows.observe(xterm);
    windows.changeObservedWindow(WindowChange::moved);
    clock.advance(60ms);
    EXPECT_TRUE(reports.empty());
}

TEST_F(Fixture, unobservableTargetStaysAttachedAndIsPolled)
{
    windows.observable = false;
    windows.addApplication(xterm, oneWindow());
    tracker.start();
    ASSERT_TRUE(reported(found(contentReported)));
    EXPECT_TRUE(tracker.isAttached());
    windows.setWindows(xterm, oneWindow(QRectF(0, 0, 400, 400)));
    EXPECT_TRUE(reported(found(QRectF(0, 600, 400, 400))));
}

TEST_F(Fixture, targetIsReadFromTheSettingAtEveryAttach)
{
    QString current = target;
    WindowTracker switching(windows, [&] { return current; }, Environment{&clock});
    std::vector<TargetWindowState> seen;
    switching.onChange = [&](const TargetWindowState &state) { seen.push_back(state); };
    windows.addApplication(other, oneWindow(QRectF(0, 0, 400, 400)));
    switching.start();
    ASSERT_EQ(seen.back(), notRunning);
    current = other.appId;
    switching.detach();
    switching.attach();
    EXPECT_TRUE(advanceUntil([&] { return seen.back() == found(QRectF(0, 600, 400, 400)); }, 2s));
}

TEST_F(Fixture, ownWindowsAreNeverATarget)
{
    windows.addApplication({target, QCoreApplication::applicationPid()}, oneWindow());
    tracker.start();
    EXPECT_EQ(reports.back(), notRunning);
    EXPECT_FALSE(tracker.isAttached());
}

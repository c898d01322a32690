// The tracker against a real compositor: headless Sway and foot terminals, started by each test.
#include "Platform/Sway/SwayWindowSystem.h"
#include "Tracking/WindowTracker.h"
#include "support/SwaySession.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using TestSupport::waitUntil;

namespace {

const QString agentTerm = QStringLiteral("agent-term");

struct TrackerOnSway : ::testing::Test {
    SwaySession sway;
    std::unique_ptr<SwayWindowSystem> windows;
    std::unique_ptr<WindowTracker> tracker;
    std::vector<TargetWindowState> reports;

    void SetUp() override
    {
        if (!sway.start())
            GTEST_SKIP() << "Sway cannot run here: " << sway.error().toStdString();
        windows = std::make_unique<SwayWindowSystem>(sway.socketPath(), false);
        ASSERT_TRUE(windows->hasWindowAccess()) << windows->accessProblem().toStdString();
        tracker = std::make_unique<WindowTracker>(*windows, [] { return agentTerm; });
        tracker->onChange = [this](const TargetWindowState &state) { reports.push_back(state); };
    }

    // Sway's frame of the window (title bar included), bottom-left origin on the 1000 px output.
    QRectF bottomLeft(const QRect &frame) { return WindowTracker::appKitRect(frame.topLeft(), frame.size(), 1000); }

    bool reported(const std::function<bool(const TargetWindowState &)> &predicate, std::chrono::milliseconds timeout = 2s)
    {
        return waitUntil([&] { return !reports.empty() && predicate(reports.back()); }, timeout);
    }

    bool reportedFrame(const QRect &topLeftFrame)
    {
        return reported([&](const TargetWindowState &state) { return state.frame == bottomLeft(topLeftFrame); });
    }

    void command(const QString &command) { ASSERT_TRUE(sway.command(command)) << sway.error().toStdString(); }
};

} // namespace

TEST_F(TrackerOnSway, FollowsFootAsItIsTiledFloatedMovedAndResized)
{
    const qint64 pid = sway.startFoot(agentTerm);
    ASSERT_NE(pid, 0) << sway.error().toStdString();
    tracker->start();
    // Alone on the workspace, tiled: the whole output, title bar included.
    ASSERT_TRUE(reportedFrame(QRect(0, 0, 1600, 1000))) << "last frame "
        << (reports.empty() || !reports.back().frame ? -1 : reports.back().frame->y());
    EXPECT_EQ(tracker->observedPid(), pid);
    EXPECT_EQ(sway.frameOf(agentTerm), QRect(0, 0, 1600, 1000));

    // Sway sends no event for these: the observed application's tree is read on a short poll.
    command(QStringLiteral("[app_id=agent-term] floating enable, resize set 700 400, move absolute position 200 150"));
    EXPECT_TRUE(reportedFrame(QRect(200, 150, 700, 400)));
    command(QStringLiteral("[app_id=agent-term] move absolute position 420 300"));
    EXPECT_TRUE(reportedFrame(QRect(420, 300, 700, 400)));
    command(QStringLiteral("[app_id=agent-term] resize set 900 520"));
    EXPECT_TRUE(reportedFrame(sway.frameOf(agentTerm)));
    EXPECT_EQ(reports.back().frame->size(), QSizeF(900, 520));
    EXPECT_FALSE(reports.back().isMinimized);

    // A second terminal tiled beside a floating one changes nothing about the followed frame.
    ASSERT_NE(sway.startFoot(QStringLiteral("other-term")), 0) << sway.error().toStdString();
    EXPECT_TRUE(waitUntil([&] { return windows->frontmostApplication()->appId == QStringLiteral("other-term"); }, 2s));
    EXPECT_EQ(reports.back().frame, bottomLeft(sway.frameOf(agentTerm)));

    QDir().mkpath(TestSupport::artifactsDir());
    const QString shot = TestSupport::artifactsDir() + QStringLiteral("/sway-tracker-floating.png");
    ASSERT_TRUE(sway.screenshot(shot)) << sway.error().toStdString();
    EXPECT_TRUE(TestSupport::readFile(shot).startsWith("\x89PNG"));
}

TEST_F(TrackerOnSway, ScratchpadAndHiddenWorkspacesCountAsMinimisedAndExitIsNotRunning)
{
    const qint64 pid = sway.startFoot(agentTerm);
    ASSERT_NE(pid, 0) << sway.error().toStdString();
    tracker->start();
    ASSERT_TRUE(reported([](const TargetWindowState &state) { return bool(state.frame); }));

    command(QStringLiteral("[app_id=agent-term] move scratchpad"));
    EXPECT_TRUE(reported([](const TargetWindowState &state) { return state.isMinimized && state.isRunning; }));
    command(QStringLiteral("[app_id=agent-term] scratchpad show"));
    EXPECT_TRUE(reported([](const TargetWindowState &state) { return !state.isMinimized && state.frame; }));

    command(QStringLiteral("[app_id=agent-term] floating disable, move to workspace 2"));
    EXPECT_TRUE(reported([](const TargetWindowState &state) { return state.isMinimized; }));
    command(QStringLiteral("workspace 2"));
    EXPECT_TRUE(reported([](const TargetWindowState &state) { return !state.isMinimized; }));
    EXPECT_TRUE(reportedFrame(QRect(0, 0, 1600, 1000)));

    ASSERT_TRUE(sway.stopClient(pid, agentTerm));
    EXPECT_TRUE(reported([](const TargetWindowState &state) { return !state.isRunning; }));
    EXPECT_EQ(reports.back(), (TargetWindowState{std::nullopt, false, false, false}));
    EXPECT_FALSE(tracker->isAttached());

    const qint64 again = sway.startFoot(agentTerm);
    ASSERT_NE(again, 0) << sway.error().toStdString();
    EXPECT_TRUE(reportedFrame(QRect(0, 0, 1600, 1000)));
    EXPECT_EQ(tracker->observedPid(), again);

    // Sway going away takes the window access with it, and says so.
    sway.command(QStringLiteral("exit")); // Sway leaves before it answers
    EXPECT_TRUE(waitUntil([&] { return !windows->hasWindowAccess(); }, 3s));
    EXPECT_FALSE(windows->accessProblem().isEmpty());
    EXPECT_TRUE(reported([](const TargetWindowState &state) { return state.needsAccessibilityPermission; }));
    EXPECT_FALSE(tracker->isAttached());
}

TEST_F(TrackerOnSway, TheFocusedTerminalsTitleIsReadAsItChanges)
{
    // The terminal sets its own title, as an agent's CLI does.
    QProcess *foot = sway.startClient(QStringLiteral("foot"),
                                      {QStringLiteral("--app-id=agent-term"), QStringLiteral("sh"), QStringLiteral("-c"),
                                       QStringLiteral("sleep 1; printf '\\033]2;Claude Code\\007'; sleep 600")});
    ASSERT_TRUE(waitUntil([&] { return !windows->runningApplications(agentTerm).isEmpty(); }, 5s));
    const RunningApplication term = windows->runningApplications(agentTerm).front();
    EXPECT_EQ(term.pid, foot->processId());
    EXPECT_EQ(windows->frontmostApplication(), term);
    EXPECT_TRUE(waitUntil(
        [&] {
            const ApplicationWindows found = windows->windows(term);
            return found.focused && found.focused->title == QStringLiteral("Claude Code");
        },
        5s));
}

TEST(TrackerWithoutSway, NamesTheMissingSocketAndReportsThatAccessIsMissing)
{
    SwayWindowSystem unset({}, false);
    EXPECT_FALSE(unset.hasWindowAccess());
    EXPECT_TRUE(unset.accessProblem().contains(QStringLiteral("SWAYSOCK")));

    SwayWindowSystem absent(QStringLiteral("/nonexistent/sway-ipc.sock"), false);
    EXPECT_FALSE(absent.hasWindowAccess());
    EXPECT_TRUE(absent.accessProblem().contains(QStringLiteral("/nonexistent/sway-ipc.sock")));
    EXPECT_TRUE(absent.runningApplications(agentTerm).isEmpty());
    EXPECT_FALSE(absent.observe({agentTerm, 1}));
    EXPECT_FALSE(absent.placeOwnWindow(1, {0, 0, 10, 10}));

    WindowTracker tracker(absent, [] { return agentTerm; });
    std::vector<TargetWindowState> reports;
    tracker.onChange = [&](const TargetWindowState &state) { reports.push_back(state); };
    tracker.start();
    ASSERT_TRUE(waitUntil([&] { return !reports.empty() && reports.back().needsAccessibilityPermission; }, 2s));
    EXPECT_EQ(reports.back(), (TargetWindowState{std::nullopt, false, false, true}));
}

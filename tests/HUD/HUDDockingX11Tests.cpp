// The HUD window docked to a real xterm: X11 window system, tracker and window manager.
#include "FakeHUDSettings.h"
#include "HUD/HUDWindowController.h"
#include "HUD/Quick/QuickHUDPanel.h"
#include "Platform/X11/X11Display.h"
#include "Platform/X11/X11WindowSystem.h"
#include "Platform/X11/XcbConnection.h"
#include "Tracking/WindowTracker.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QQuickView>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Where a window is on the root (its own area, without decorations).
QRect rootGeometry(xcb_connection_t *x, xcb_window_t window)
{
    xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr);
    if (!geometry)
        return {};
    const xcb_window_t root = geometry->root;
    xcb_translate_coordinates_reply_t *origin =
        xcb_translate_coordinates_reply(x, xcb_translate_coordinates(x, window, root, 0, 0), nullptr);
    QRect rect;
    if (origin)
        rect = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    std::free(origin);
    std::free(geometry);
    return rect;
}

// The hints that keep the HUD on every desktop, above, and out of the taskbar and pager, that
// the window lacks (empty when it has them all).
std::string missingStickyHints(XcbConnection &connection, xcb_window_t window)
{
    xcb_ewmh_connection_t *ewmh = connection.ewmh();
    std::string missing;
    // On every desktop (openbox says so with the desktop number, not the sticky state).
    uint32_t desktop = 0;
    if (!xcb_ewmh_get_wm_desktop_reply(ewmh, xcb_ewmh_get_wm_desktop(ewmh, window), &desktop, nullptr)
        || desktop != 0xFFFFFFFFu)
        missing += "every desktop;";
    xcb_ewmh_get_atoms_reply_t states{};
    std::vector<xcb_atom_t> atoms;
    if (xcb_ewmh_get_wm_state_reply(ewmh, xcb_ewmh_get_wm_state(ewmh, window), &states, nullptr)) {
        atoms.assign(states.atoms, states.atoms + states.atoms_len);
        xcb_ewmh_get_atoms_reply_wipe(&states);
    }
    const std::pair<xcb_atom_t, const char *> wanted[] = {{ewmh->_NET_WM_STATE_SKIP_TASKBAR, "skip taskbar;"},
                                                          {ewmh->_NET_WM_STATE_SKIP_PAGER, "skip pager;"},
                                                          {ewmh->_NET_WM_STATE_ABOVE, "above;"}};
    for (const auto &[atom, name] : wanted)
        if (std::find(atoms.begin(), atoms.end(), atom) == atoms.end())
            missing += name;
    return missing;
}

} // namespace

TEST(HUDDockingOnX, FollowsTheXtermAndStaysOnEveryDesktop)
{
    const auto connection = openXcbConnection(qgetenv("DISPLAY"));
    ASSERT_TRUE(connection);
    X11WindowSystem windows(connection);
    ASSERT_TRUE(windows.hasWindowAccess());
    FakeHUDSettings settings;
    HUDWindowController controller(windows, settings, nullptr, nullptr, QuickHUDPanel::factory());
    WindowTracker tracker(windows, [&] { return settings.targetBundleID(); });
    tracker.onChange = [&](const TargetWindowState &state) {
        controller.setLastTarget(state);
        controller.applyFrame();
    };
    controller.show();

    QProcess xterm;
    xterm.start(QStringLiteral("xterm"), {"-geometry", "100x30+150+200", "-e", "sleep", "60"});
    ASSERT_TRUE(xterm.waitForStarted());
    tracker.start();

    auto &view = static_cast<QuickHUDPanel &>(controller.panel()).view();
    xcb_connection_t *x = connection->raw();
    // Docked above: the bar's left edge on the terminal frame's left edge, its bottom on its top.
    const auto docked = [&] {
        const TargetWindowState &target = tracker.state();
        if (!target.frame || controller.presentation() != HUDWindowController::Presentation::docked)
            return false;
        const QRect hud = rootGeometry(x, static_cast<xcb_window_t>(view.winId()));
        const QRectF frame = *target.frame;
        const double frameTop = windows.primaryScreenHeight() - frame.bottom();
        return hud.x() == qRound(frame.x()) && hud.y() + hud.height() == qRound(frameTop) && hud.height() == 44
            && hud.width() == qRound(std::max(660.0, frame.width()));
    };
    EXPECT_TRUE(TestSupport::waitUntil(docked, 5s)) << rootGeometry(x, static_cast<xcb_window_t>(view.winId())).y();
    EXPECT_TRUE(controller.isPanelMapped());

    controller.hudState().setExpanded(true);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return rootGeometry(x, static_cast<xcb_window_t>(view.winId())).height() == 290; }, 3s));

    EXPECT_EQ(missingStickyHints(*connection, static_cast<xcb_window_t>(view.winId())), "");

    xterm.kill();
    xterm.waitForFinished();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return controller.presentation() == HUDWindowController::Presentation::waiting; }, 5s));
}

// The window manager forgets a window's states when it is withdrawn: "Show HUD" off and on.
TEST(HUDDockingOnX, KeepsItsHintsAfterEveryHideAndShow)
{
    const auto connection = openXcbConnection(qgetenv("DISPLAY"));
    ASSERT_TRUE(connection);
    X11WindowSystem windows(connection);
    FakeHUDSettings settings;
    HUDWindowController controller(windows, settings, nullptr, nullptr, QuickHUDPanel::factory());
    const auto window = static_cast<xcb_window_t>(static_cast<QuickHUDPanel &>(controller.panel()).view().winId());
    for (int round = 0; round < 3; ++round) {
        controller.show();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return controller.isPanelMapped(); }, 3s)) << "round " << round;
        TestSupport::waitUntil([&] { return missingStickyHints(*connection, window).empty(); }, 2s);
        EXPECT_EQ(missingStickyHints(*connection, window), "") << "round " << round;
        controller.hide();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return !controller.isPanelMapped(); }, 3s)) << "round " << round;
        TestSupport::spin(200ms); // the menu closes before its next choice
    }
}

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

#include <cstdlib>

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

    xcb_ewmh_get_atoms_reply_t states{};
    ASSERT_TRUE(xcb_ewmh_get_wm_state_reply(connection->ewmh(),
                                            xcb_ewmh_get_wm_state(connection->ewmh(), static_cast<xcb_window_t>(view.winId())),
                                            &states, nullptr));
    std::vector<xcb_atom_t> atoms(states.atoms, states.atoms + states.atoms_len);
    xcb_ewmh_get_atoms_reply_wipe(&states);
    xcb_ewmh_connection_t *ewmh = connection->ewmh();
    // On every desktop (openbox says so with the desktop number, not the sticky state).
    uint32_t desktop = 0;
    EXPECT_TRUE(xcb_ewmh_get_wm_desktop_reply(ewmh, xcb_ewmh_get_wm_desktop(ewmh, static_cast<xcb_window_t>(view.winId())),
                                              &desktop, nullptr));
    EXPECT_EQ(desktop, 0xFFFFFFFFu);
    const std::pair<xcb_atom_t, const char *> wanted[] = {{ewmh->_NET_WM_STATE_SKIP_TASKBAR, "skip taskbar"},
                                                          {ewmh->_NET_WM_STATE_SKIP_PAGER, "skip pager"},
                                                          {ewmh->_NET_WM_STATE_ABOVE, "above"}};
    for (const auto &[atom, name] : wanted)
        EXPECT_NE(std::find(atoms.begin(), atoms.end(), atom), atoms.end()) << name;

    xterm.kill();
    xterm.waitForFinished();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return controller.presentation() == HUDWindowController::Presentation::waiting; }, 5s));
}

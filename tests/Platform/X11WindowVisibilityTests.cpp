#include "Platform/X11/X11WindowVisibility.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "support/XSession.h"

namespace {

TEST(X11WindowVisibility, MappedUncoveredWindowsAreVisibleCoveredOrMinimisedOnesAreNot)
{
    XSession x;
    ASSERT_TRUE(x.start()) << x.error().toStdString();
    xcb_connection_t *conn = xcb_connect(x.displayName().constData(), nullptr);
    ASSERT_FALSE(xcb_connection_has_error(conn));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    auto visible = [&](quint32 window) { return X11WindowVisibility::isVisible(conn, root, window); };

    XSession::Client hud = x.startXterm({"-geometry", "40x4+200+200"});
    ASSERT_NE(hud.window, 0u) << x.error().toStdString();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return visible(hud.window); }));

    // A later, larger window stacks above and hides it entirely.
    XSession::Client cover = x.startXterm({"-geometry", "120x40+0+0"});
    ASSERT_NE(cover.window, 0u) << x.error().toStdString();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return !visible(hud.window); }));

    // Partly uncovered again once the cover shrinks.
    x.configure(cover.window, QRect(0, 0, 300, 220), false, true);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return visible(hud.window); }));

    x.run("xdotool", {"windowminimize", QString::number(hud.window)});
    EXPECT_TRUE(TestSupport::waitUntil([&] { return !visible(hud.window); }));

    // Wholly off the screen.
    XSession::Client away = x.startXterm({"-geometry", "20x4+5000+5000"});
    ASSERT_NE(away.window, 0u);
    x.configure(away.window, QRect(5000, 5000, 200, 60), true, false);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return !visible(away.window); }));
    EXPECT_FALSE(visible(0x7fffffff)); // no such window
    xcb_disconnect(conn);
}

} // namespace

#include "Platform/X11/X11Display.h"
#include "Platform/X11/X11InputIdle.h"
#include "support/TestSupport.h"
#include "support/XSession.h"

#include <QThread>

#include <gtest/gtest.h>

TEST(X11InputIdle, idleTimeGrowsUntilInputArrives)
{
    XSession x;
    ASSERT_TRUE(x.start({800, 600}, false)) << x.error().toStdString();
    const X11InputIdle idle(openXcbConnection(x.displayName()));
    QThread::msleep(1200);
    const double idleBefore = idle.secondsSinceLastInput();
    EXPECT_GE(idleBefore, 1.0);
    EXPECT_LT(idleBefore, 600.0); // seconds, not milliseconds

    x.run("xdotool", {"mousemove", "300", "200"});
    ASSERT_TRUE(x.error().isEmpty()) << x.error().toStdString();
    EXPECT_LT(idle.secondsSinceLastInput(), idleBefore);
    EXPECT_LT(idle.secondsSinceLastInput(), 1.0);
    // Xvfb has no DPMS: the display counts as awake.
    EXPECT_TRUE(idle.isDisplayAwake());
}

TEST(X11InputIdle, withoutAServerInputIsRecentAndTheDisplayAwake)
{
    const X11InputIdle idle(openXcbConnection(":65002"));
    EXPECT_EQ(idle.secondsSinceLastInput(), 0.0);
    EXPECT_TRUE(idle.isDisplayAwake());
}

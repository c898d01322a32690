// A get_tree reply recorded from Sway 1.7 (headless, 1600 × 1000): a focused tiled foot, a floating
// foot, a floating XWayland xterm on workspace 1, a foot on workspace 2, one in the scratchpad.
#include "Platform/Sway/SwayTree.h"
#include "support/TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

QByteArray recordedTree()
{
    QFile file(TestSupport::fixturesDir() + QStringLiteral("/sway/get_tree.json"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const SwayView &viewNamed(const SwayLayout &layout, const QString &appId)
{
    const auto it = std::find_if(layout.views.begin(), layout.views.end(),
                                 [&](const SwayView &view) { return view.application.appId == appId; });
    if (it == layout.views.end())
        throw std::runtime_error("no view " + appId.toStdString());
    return *it;
}

} // namespace

TEST(SwayTree, ReadsEveryViewWithItsFrameFocusAndVisibility)
{
    const std::optional<SwayLayout> layout = parseSwayTree(recordedTree());
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->bounds, QRectF(0, 0, 1600, 1000));
    ASSERT_EQ(layout->views.size(), 5u); // outputs, workspaces and the root are not views

    const SwayView &tiled = viewNamed(*layout, "tiled-foot");
    EXPECT_EQ(tiled.frame, QRectF(0, 0, 1600, 1000)); // the title bar above rect is part of the frame
    EXPECT_TRUE(tiled.focused);
    EXPECT_TRUE(tiled.visible);
    EXPECT_EQ(tiled.application.pid, 14966);
    EXPECT_EQ(tiled.x11Window, 0u);

    const SwayView &floating = viewNamed(*layout, "foot");
    EXPECT_EQ(floating.frame, QRectF(50, 70, 800, 500)); // where "move position 50 70" put it
    EXPECT_FALSE(floating.focused);

    const SwayView &xterm = viewNamed(*layout, "XTerm"); // XWayland: the class is the app id
    EXPECT_EQ(xterm.application.pid, 8930);
    EXPECT_NE(xterm.x11Window, 0u);
    EXPECT_EQ(xterm.title, "sleep");

    const SwayView &away = viewNamed(*layout, "away-foot");
    EXPECT_FALSE(away.visible);
    EXPECT_FALSE(away.inScratchpad);

    const SwayView &stashed = viewNamed(*layout, "second-foot");
    EXPECT_TRUE(stashed.inScratchpad);
    EXPECT_EQ(stashed.title, "agent: idle");
}

TEST(SwayTree, RefusesWhatIsNotATree)
{
    for (const QByteArray &reply : {QByteArray(), QByteArray("[{\"success\":true}]"), QByteArray("{\"type\":\"con\"}"),
                                    recordedTree().left(500)})
        EXPECT_FALSE(parseSwayTree(reply)) << reply.left(40).constData();
}

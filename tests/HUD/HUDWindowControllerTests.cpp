#include "FakeHUDSettings.h"
#include "HUD/HUDWindowController.h"
#include "Platform/FakeWindowSystem.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

// Keeps the frame the controller asks for; the screen is 1280 × 800 with a 40-high bottom bar.
class RecordingPanel : public HUDPanel {
public:
    QRectF current{0, 0, 10, 10};
    bool mapped = false;
    int fronts = 0;

    QRectF frame() const override { return current; }
    quint64 nativeWindow() override { return 77; }
    void setFrame(const QRectF &frame) override { current = frame; }
    void orderFront() override { mapped = true, ++fronts; }
    void orderOut() override { mapped = false; }
    bool isMapped() const override { return mapped; }
    bool isSeenOnScreen() const override { return mapped; }
    double seenShare(const QRectF &) const override { return mapped ? 1 : 0; }
    std::optional<QRectF> mainScreenVisibleFrame() const override { return QRectF(0, 40, 1280, 760); }
};

const QRectF target(100, 300, 900, 500);
const RunningApplication xterm{QStringLiteral("XTerm"), 42};
const RunningApplication other{QStringLiteral("Other"), 7};

struct Controller : ::testing::Test {
    FakeWindowSystem windows;
    FakeHUDSettings settings;
    RecordingPanel *panel = nullptr;
    std::unique_ptr<HUDWindowController> controller;

    void SetUp() override
    {
        controller = std::make_unique<HUDWindowController>(windows, settings, nullptr, nullptr, [this](HUDViewModel &) {
            auto created = std::make_unique<RecordingPanel>();
            panel = created.get();
            return created;
        });
    }

    void apply(const TargetWindowState &state)
    {
        controller->setLastTarget(state);
        controller->applyFrame();
    }
    bool waiting() { return controller->hudState().waitingForTarget(); }
    bool permission() { return controller->hudState().accessibilityNeeded(); }
};

} // namespace

TEST(HUDDockedFrame, EdgesWidthsAndHeights)
{
    struct Case {
        DockEdge edge;
        bool expanded;
        QRectF target;
        QRectF expected;
    };
    const Case cases[] = {
        {DockEdge::above, false, target, {100, 800, 900, 44}},
        {DockEdge::below, true, target, {100, 10, 900, 290}},
        {DockEdge::left, false, target, {-280, 756, 380, 44}},
        {DockEdge::right, true, target, {1000, 510, 380, 290}},
        {DockEdge::above, false, {100, 300, 400, 500}, {100, 800, 660, 44}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(HUDWindowController::dockedFrame(c.target, c.edge, c.expanded), c.expected) << rawValue(c.edge).toStdString();
}

TEST_F(Controller, InitialPlacementIsCentredAboveTheBottomOfTheScreen)
{
    EXPECT_EQ(panel->current, QRectF(310, 120, 660, 44));
    EXPECT_FALSE(panel->mapped); // shown by the application
    // The subscriptions deliver their current values later; nothing runs: a pill.
    TestSupport::spin(std::chrono::milliseconds(5));
    EXPECT_EQ(controller->presentation(), HUDWindowController::Presentation::waiting);
    EXPECT_EQ(panel->current, QRectF(310, 120, 260, 36));
}

TEST_F(Controller, DocksToTheTrackedFrameAndFollowsExpanded)
{
    windows.addApplication(xterm);
    apply({target, false, true, false});
    EXPECT_EQ(controller->presentation(), HUDWindowController::Presentation::docked);
    EXPECT_EQ(panel->current, QRectF(100, 800, 900, 44));
    EXPECT_TRUE(panel->mapped);

    controller->hudState().setExpanded(true);
    TestSupport::spin(std::chrono::milliseconds(5));
    EXPECT_EQ(panel->current, QRectF(100, 800, 900, 290)); // bottom edge stays on the window's top
    controller->hudState().setExpanded(false);
    TestSupport::spin(std::chrono::milliseconds(5));
    EXPECT_EQ(panel->current.height(), 44);

    settings.setDockEdge(DockEdge::right);
    TestSupport::spin(std::chrono::milliseconds(5));
    EXPECT_EQ(panel->current, QRectF(1000, 756, 380, 44));
}

// Where the desktop places this process's windows (Sway), the panel asks for no geometry itself:
// its own request would race the desktop's placement.
TEST_F(Controller, WhereTheDesktopPlacesTheHUDItIsAskedInTopLeftCoordinates)
{
    windows.placesOwnWindows = true;
    windows.addApplication(xterm);
    const QRectF before = panel->current;
    apply({target, false, true, false});
    ASSERT_FALSE(windows.placements.empty());
    EXPECT_EQ(windows.placements.back(), (std::pair<quint64, QRectF>{77, QRectF(100, 1000 - 800 - 44, 900, 44)}));
    EXPECT_EQ(panel->current, before);
    EXPECT_TRUE(panel->mapped);

    windows.screenHeight = 0; // no layout to convert in: the panel places itself
    apply({target, false, true, false});
    EXPECT_EQ(panel->current, QRectF(100, 800, 900, 44));
}

TEST_F(Controller, HiddenByTheUserItKeepsPlacingButStaysOffScreenUntilShown)
{
    windows.addApplication(xterm);
    apply({target, false, true, false});
    controller->hide();
    apply({target.translated(50, 0), false, true, false});
    EXPECT_FALSE(panel->mapped);
    EXPECT_EQ(panel->current, QRectF(150, 800, 900, 44));
    apply({std::nullopt, false, false, false}); // and as a pill
    EXPECT_FALSE(panel->mapped);

    controller->show();
    EXPECT_TRUE(panel->mapped);
    apply({target, false, true, false});
    EXPECT_TRUE(panel->mapped);
}

TEST_F(Controller, RunningTargetWithoutFrameReusesTheLastDockableFrame)
{
    windows.addApplication(xterm);
    apply({std::nullopt, false, false, false});
    EXPECT_FALSE(waiting());
    EXPECT_EQ(panel->current, QRectF(310, 120, 660, 44)); // origin kept, bar size

    apply({target, false, true, false});
    windows.removeApplication(xterm);
    apply({std::nullopt, false, false, false});
    EXPECT_TRUE(waiting());
    windows.addApplication(xterm);
    apply({std::nullopt, false, false, false});
    EXPECT_FALSE(waiting());
    EXPECT_EQ(panel->current, QRectF(100, 800, 900, 44));
    EXPECT_EQ(controller->lastDockableFrame(), target);
}

TEST_F(Controller, MinimisedTargetIsMissingOnlyWhenNotActive)
{
    windows.addApplication(xterm);
    windows.frontmost = xterm;
    apply({target, true, true, false});
    EXPECT_EQ(controller->presentation(), HUDWindowController::Presentation::docked);

    windows.frontmost = other;
    apply({target, true, true, false});
    EXPECT_TRUE(waiting());
    EXPECT_FALSE(permission());
    EXPECT_EQ(panel->current.size(), QSizeF(260, 36));
    EXPECT_EQ(panel->current.topLeft(), QPointF(100, 800)); // origin kept

    settings.hideMissing = true;
    apply({target, true, true, false});
    EXPECT_EQ(controller->presentation(), HUDWindowController::Presentation::hidden);
    EXPECT_FALSE(panel->mapped);
    EXPECT_FALSE(waiting());
    EXPECT_FALSE(permission());
}

TEST_F(Controller, TrackerAloneDecidesWhenTheLookupFindsNothing)
{
    apply({target, false, true, false});
    EXPECT_EQ(controller->presentation(), HUDWindowController::Presentation::docked);
    apply({target, true, true, false});
    EXPECT_EQ(controller->presentation(), HUDWindowController::Presentation::waiting);
    apply({std::nullopt, false, false, false});
    EXPECT_EQ(panel->current.size(), QSizeF(260, 36));
}

TEST_F(Controller, PermissionPillWinsOverEverything)
{
    windows.addApplication(xterm);
    windows.frontmost = xterm;
    apply({target, false, true, true});
    EXPECT_EQ(controller->presentation(), HUDWindowController::Presentation::permission);
    EXPECT_TRUE(waiting());
    EXPECT_TRUE(permission());
    EXPECT_EQ(panel->current.size(), QSizeF(320, 36));
    settings.hideMissing = true;
    apply({target, false, true, true});
    EXPECT_TRUE(panel->mapped);
}

TEST_F(Controller, WithoutWindowAccessTheBarFloats)
{
    windows.access = false;
    apply({std::nullopt, false, false, true});
    EXPECT_EQ(controller->presentation(), HUDWindowController::Presentation::floating);
    EXPECT_FALSE(waiting());
    EXPECT_FALSE(permission());
    EXPECT_EQ(panel->current, QRectF(310, 120, 660, 44));
    EXPECT_TRUE(controller->isPanelMapped());
}

// Real clicks (xdotool) on the docked HUD window: each click does exactly one thing.
#include "FakeHUDSettings.h"
#include "HUD/HUDWindowController.h"
#include "HUD/Quick/QuickHUDPanel.h"
#include "Platform/FakeWindowSystem.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QQuickItem>
#include <QQuickView>

#include <algorithm>
#include <functional>

namespace {

using namespace std::chrono_literals;
using TestSupport::spin;
using TestSupport::waitUntil;

const RunningApplication xterm{QStringLiteral("XTerm"), 42};

struct HUDClicks : ::testing::Test {
    FakeWindowSystem windows;
    FakeHUDSettings settings;
    std::unique_ptr<HUDWindowController> controller;
    QQuickView *view = nullptr;
    int slotClicks = 0;
    int scopeMenus = 0;
    int contextMenus = 0;

    void SetUp() override
    {
        windows.addApplication(xterm);
        windows.frontmost = xterm;
        controller = std::make_unique<HUDWindowController>(windows, settings, nullptr, nullptr, QuickHUDPanel::factory());
        view = &static_cast<QuickHUDPanel &>(controller->panel()).view();
        HUDViewModel &model = controller->viewModel();
        QObject::connect(&model, &HUDViewModel::slotClicked, [this] { ++slotClicks; });
        QObject::connect(&model, &HUDViewModel::scopeMenuRequested, [this] { ++scopeMenus; });
        QObject::connect(&model, &HUDViewModel::contextMenuRequested, [this] { ++contextMenus; });
        ScopedMetrics scoped;
        scoped.state = AgentState::working;
        scoped.model = QStringLiteral("gpt-5");
        model.setScoped(scoped);
        SlotSnapshot slot;
        slot.currentCreative = SlotSnapshot::Creative{QStringLiteral("cr-1"), QStringLiteral("Hosted CI runners"),
                                                      QStringLiteral("bolt")};
        slot.gates = {true, true, true, true};
        model.setSlot(slot);
        controller->show();
        controller->setLastTarget({QRectF(20, 200, 1240, 300), false, true, false});
        controller->applyFrame();
        ASSERT_TRUE(waitUntil([&] { return view->isExposed() && view->height() == 44; }, 5s));
        spin(200ms);
    }

    QQuickItem *item(const char *name) const
    {
        std::function<QQuickItem *(QQuickItem *)> find = [&](QQuickItem *node) -> QQuickItem * {
            if (node->objectName() == QLatin1String(name))
                return node;
            for (QQuickItem *child : node->childItems())
                if (QQuickItem *found = find(child))
                    return found;
            return nullptr;
        };
        return find(view->contentItem());
    }
    // Moves the real pointer to the middle of the named item.
    void moveTo(const char *name)
    {
        QQuickItem *target = item(name);
        ASSERT_NE(target, nullptr) << name;
        const QPoint at = target->mapToGlobal(QPointF(target->width() / 2, target->height() / 2)).toPoint();
        QProcess::execute(QStringLiteral("xdotool"), {"mousemove", QString::number(at.x()), QString::number(at.y())});
        spin(50ms);
    }
    static void press(int button) { QProcess::execute(QStringLiteral("xdotool"), {"click", QString::number(button)}); }
    void clickOn(const char *name)
    {
        moveTo(name);
        press(1);
    }
    // Whether a tooltip is drawn (in the overlay the window keeps for popups).
    bool tooltipShown() const
    {
        std::function<bool(QQuickItem *)> shown = [&](QQuickItem *node) {
            if (node->isVisible() && QByteArray(node->metaObject()->className()).contains("Popup"))
                return true;
            const auto children = node->childItems();
            return std::any_of(children.begin(), children.end(), shown);
        };
        return shown(view->contentItem());
    }
    bool expanded() const { return controller->hudState().expanded(); }
    // Lets a second (wrong) reaction to the click arrive before checking there was none.
    static void settle() { spin(300ms); }
};

} // namespace

TEST_F(HUDClicks, ChevronTogglesTheDashboardOncePerClick)
{
    clickOn("expandButton");
    ASSERT_TRUE(waitUntil([&] { return view->height() == 290; }, 3s));
    settle();
    EXPECT_TRUE(expanded());
    clickOn("expandButton");
    ASSERT_TRUE(waitUntil([&] { return view->height() == 44; }, 3s));
    settle();
    EXPECT_FALSE(expanded());
}

TEST_F(HUDClicks, ABarClickElsewhereTogglesTheDashboard)
{
    clickOn("costLabel");
    EXPECT_TRUE(waitUntil([&] { return expanded(); }, 3s));
    EXPECT_EQ(slotClicks + scopeMenus + contextMenus, 0);
}

TEST_F(HUDClicks, TheChipOpensItsMenuOnly)
{
    clickOn("scopeChip");
    ASSERT_TRUE(waitUntil([&] { return scopeMenus > 0; }, 3s));
    settle();
    EXPECT_EQ(scopeMenus, 1);
    EXPECT_FALSE(expanded());
}

TEST_F(HUDClicks, TheCreativeRecordsOneClickAndDoesNotExpand)
{
    clickOn("slotMarquee");
    ASSERT_TRUE(waitUntil([&] { return slotClicks > 0; }, 3s));
    settle();
    EXPECT_EQ(slotClicks, 1);
    EXPECT_FALSE(expanded());
}

TEST_F(HUDClicks, RightClickOpensTheMenuEvenUnderATooltip)
{
    for (const char *name : {"costLabel", "scopeChip", "expandButton"}) {
        contextMenus = 0;
        moveTo(name);
        ASSERT_TRUE(waitUntil([&] { return tooltipShown(); }, 3s)) << name;
        press(3);
        ASSERT_TRUE(waitUntil([&] { return contextMenus > 0; }, 3s)) << name;
        settle();
        EXPECT_EQ(contextMenus, 1) << name;
        EXPECT_EQ(slotClicks + scopeMenus, 0) << name;
        EXPECT_FALSE(expanded()) << name;
    }
}

#include "FakeHUDSettings.h"
#include "HUD/HUDWindowController.h"
#include "HUD/Quick/QuickHUDPanel.h"
#include "Platform/FakeWindowSystem.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <functional>
#include <set>
#include <QQuickItem>
#include <QQuickView>

namespace {

using namespace std::chrono_literals;

const RunningApplication xterm{QStringLiteral("XTerm"), 42};

ScopedMetrics knownMetrics(AgentState state)
{
    ScopedMetrics scoped;
    scoped.scope = MetricsScope::of(DisplayAgent::codex);
    scoped.state = state;
    scoped.elapsedInTurn = 75.4;
    scoped.sessionTotalTokens = 1'234'567;
    scoped.contextTokens = 48'200;
    scoped.sessionMeteredTokens = 310'000;
    scoped.sessionCachedInput = 120'000;
    scoped.sessionCost = 0.842;
    scoped.tps = state == AgentState::working ? 41.6 : 0;
    scoped.tpsHistory = {3, 12, 30, 22, 41.6, 35, 18, 40};
    scoped.model = QStringLiteral("gpt-5");
    scoped.toolCallCount = 14;
    QDateTime day(QDate(2026, 12, 4), QTime(0, 0));
    for (int i = 0; i < 7; ++i, day = day.addDays(1))
        scoped.daily.append({day, 20'000 + 9'000 * i, 6'000 + 2'000 * (i % 3), 0.2 + 0.15 * (i % 4)});
    for (const char *name : {"shell", "apply_patch", "read_file", "shell", "web_search", "shell", "grep", "ls", "shell", "cat"})
        scoped.toolFeed.append({QUuid::createUuid(), QLatin1String(name), 120, {}, AgentSource::codexOtel});
    for (const char *id : {"019a3c1e-77aa", "thread-b", "c0ffee42-1234-5678"}) {
        SessionAgg session;
        session.sessionId = QLatin1String(id);
        session.input = 200'000;
        session.output = 12'000;
        session.cached = 90'000;
        session.sessionTokens = 212'000;
        session.cost = 0.31;
        scoped.sessions.append(session);
    }
    return scoped;
}

SlotSnapshot knownSlot(bool inFlight)
{
    SlotSnapshot slot;
    slot.currentCreative = SlotSnapshot::Creative{
        QStringLiteral("cr-1"), QStringLiteral("Ship faster with hosted CI runners: 2,000 free minutes a month"),
        QStringLiteral("bolt.fill")};
    slot.gates = {inFlight, true, true, true};
    slot.demoValueThisMonth = 0.184;
    slot.projectedMonthly = 0;
    slot.backendMessage = QStringLiteral("local campaigns");
    return slot;
}

struct HUDScreenshots : ::testing::Test {
    FakeWindowSystem windows;
    FakeHUDSettings settings;
    std::unique_ptr<HUDWindowController> controller;
    QQuickView *view = nullptr;

    void SetUp() override
    {
        windows.addApplication(xterm);
        windows.frontmost = xterm;
        controller = std::make_unique<HUDWindowController>(windows, settings, nullptr, nullptr, QuickHUDPanel::factory());
        view = &static_cast<QuickHUDPanel &>(controller->panel()).view();
        ASSERT_TRUE(view->errors().isEmpty()) << view->errors().first().toString().toStdString();
        controller->viewModel().setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        controller->show();
    }

    void dock(double width, bool expanded)
    {
        controller->hudState().setExpanded(expanded);
        controller->setLastTarget({QRectF(20, 200, width, 300), false, true, false});
        controller->applyFrame();
        settle();
    }

    void settle()
    {
        TestSupport::waitUntil([&] { return view->isExposed(); }, 5s);
        TestSupport::spin(150ms);
    }

    // Items of the visual tree by object name, in tree order (views being replaced are skipped).
    std::vector<QQuickItem *> items(const char *name) const
    {
        std::vector<QQuickItem *> found;
        std::function<void(QQuickItem *)> visit = [&](QQuickItem *node) {
            if (node->objectName() == QLatin1String(name))
                found.push_back(node);
            for (QQuickItem *child : node->childItems())
                visit(child);
        };
        visit(view->contentItem());
        return found;
    }
    QQuickItem *item(const char *name) const
    {
        const auto found = items(name);
        return found.empty() ? nullptr : found.front();
    }
    std::string text(const char *name) const
    {
        const QQuickItem *found = item(name);
        return found ? found->property("text").toString().toStdString() : std::string("<missing ") + name + ">";
    }
    std::vector<std::string> texts(const char *name) const
    {
        std::vector<std::string> all;
        for (const QQuickItem *found : items(name))
            if (found->isVisible())
                all.push_back(found->property("text").toString().toStdString());
        return all;
    }

    QImage save(const QString &name)
    {
        const QImage image = view->grabWindow();
        QDir().mkpath(TestSupport::artifactsDir());
        image.save(TestSupport::artifactsDir() + u'/' + name + QStringLiteral(".png"));
        return image;
    }

    // Pixels of the named item bright enough to be drawn marks on the dark HUD.
    int inkOf(const QImage &image, const char *name) const
    {
        const QQuickItem *found = item(name);
        if (!found)
            return -1;
        const QRect area = found->mapRectToScene(found->boundingRect()).toAlignedRect().intersected(image.rect());
        int ink = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                ink += qMax(qRed(image.pixel(x, y)), qGreen(image.pixel(x, y))) > 140 ? 1 : 0;
        return ink;
    }

    // Every item of a wide dashboard lies inside the HUD's 1-point border with a point to spare
    // (what a scroll view holds is clipped to it and counts as the view); the tiles stand in one
    // row and the token chart keeps a readable height.
    void expectDashboardInsideTheBorder(double width, const std::string &where)
    {
        const QRectF inside(2, 44 + 2, width - 4, 290 - 44 - 4);
        QQuickItem *root = item("dashboard");
        ASSERT_NE(root, nullptr);
        const QRectF dashboard = root->mapRectToScene(root->boundingRect());
        std::function<void(QQuickItem *)> visit = [&](QQuickItem *node) {
            if (!node->isVisible() || node->opacity() == 0)
                return;
            const QRectF at = node->mapRectToScene(node->boundingRect());
            // The loader and the layout's frame fill the dashboard: only what they hold is drawn.
            const bool frame = at == dashboard;
            if (at.width() > 0 && at.height() > 0 && !frame) {
                EXPECT_TRUE(inside.contains(at)) << node->metaObject()->className() << " '"
                                                  << node->objectName().toStdString() << "' at " << at.x() << ","
                                                  << at.y() << " " << at.width() << "x" << at.height() << " " << where;
            }
            if (node->objectName() == QLatin1String("toolScroll"))
                return;
            for (QQuickItem *child : node->childItems())
                visit(child);
        };
        visit(root);
        std::set<double> rows;
        for (const QQuickItem *tile : items("tileValue"))
            rows.insert(tile->mapToScene(QPointF()).y());
        EXPECT_EQ(rows.size(), 1u) << where;
        EXPECT_GE(item("tokenChart")->height(), 60) << where;
        EXPECT_EQ(texts("chartScale").size(), 2u) << where;
    }

    void expectBarMatchesModel()
    {
        const CompactBarContent &bar = controller->viewModel().bar();
        EXPECT_EQ(text("scopeLabel"), bar.scopeLabel.toStdString());
        EXPECT_EQ(text("stateLabel"), bar.stateLabel.toStdString());
        EXPECT_EQ(text("sessionValue"), bar.sessionValue.toStdString());
        EXPECT_EQ(text("contextValue"), bar.contextValue.toStdString());
        EXPECT_EQ(text("tpsLabel"), bar.tpsLabel.toStdString());
        EXPECT_EQ(text("costLabel"), bar.costText.toStdString());
        EXPECT_EQ(text("modelName"), bar.modelText.toStdString());
        EXPECT_EQ(text("earningsText"), bar.earningsText.toStdString());
        EXPECT_EQ(item("compactBar")->height(), 44);
    }
};

} // namespace

TEST_F(HUDScreenshots, CompactBarStates)
{
    struct Case {
        AgentState state;
        const char *file;
        const char *label;
    };
    const Case cases[] = {
        {AgentState::idle, "compact-idle", "Idle"},
        {AgentState::working, "compact-working", "Working\u2026 1:15"},
        {AgentState::awaitingApproval, "compact-awaiting-approval", "Needs approval"},
    };
    for (const Case &c : cases) {
        controller->viewModel().setScoped(knownMetrics(c.state));
        controller->viewModel().setSlot(knownSlot(c.state == AgentState::working));
        dock(1240, false);
        expectBarMatchesModel();
        EXPECT_EQ(text("stateLabel"), c.label);
        EXPECT_EQ(text("costLabel"), "$0.842 est.");
        EXPECT_EQ(text("sessionValue"), "1.23M");
        const bool inFlight = c.state == AgentState::working;
        EXPECT_EQ(item("slotPlaceholder")->isVisible(), !inFlight) << c.file;
        if (inFlight) {
            QQuickItem *marquee = item("slotMarquee");
            ASSERT_NE(marquee, nullptr);
            EXPECT_TRUE(marquee->property("overflow").toBool());
            EXPECT_TRUE(item("marqueeSecond")->isVisible());
        }
        const QImage image = save(QLatin1String(c.file));
        EXPECT_EQ(image.size(), QSize(1240, 44));
    }
}

TEST_F(HUDScreenshots, ShortCreativeShowsOnceAndAdsOffEndsWithEarnings)
{
    controller->viewModel().setScoped(knownMetrics(AgentState::working));
    SlotSnapshot slot = knownSlot(true);
    slot.currentCreative->text = QStringLiteral("Short line");
    slot.earningsThisMonth = 0.125;
    controller->viewModel().setSlot(slot);
    dock(1240, false);
    EXPECT_FALSE(item("slotMarquee")->property("overflow").toBool());
    EXPECT_FALSE(item("marqueeSecond")->isVisible());
    EXPECT_EQ(text("earningsText"), "+$0.125 paid");
    save(QStringLiteral("compact-short-creative"));

    settings.setShowAds(false);
    settle();
    EXPECT_FALSE(item("adSlot")->isVisible());
    save(QStringLiteral("compact-ads-off"));
}

TEST_F(HUDScreenshots, WaitingAndPermissionPills)
{
    windows.removeApplication(xterm);
    controller->setLastTarget({});
    controller->applyFrame();
    settle();
    EXPECT_EQ(text("pillText"), "waiting for XTerm\u2026");
    EXPECT_TRUE(item("waitingPill")->isVisible());
    const QImage waiting = save(QStringLiteral("pill-waiting"));
    EXPECT_EQ(waiting.size(), QSize(260, 36));
    EXPECT_GT(inkOf(waiting, "waitingSpinner"), 8) << "the spinner is not seen on the pill";

    controller->setLastTarget({std::nullopt, false, false, true});
    controller->applyFrame();
    settle();
    EXPECT_EQ(text("pillText"), "grant Accessibility for XTerm");
    EXPECT_EQ(save(QStringLiteral("pill-permission")).size(), QSize(320, 36));
}

// The seeded campaigns' icons and the HUD's own; a name no symbol draws gets a neutral mark.
TEST_F(HUDScreenshots, EveryCreativeIconIsDrawn)
{
    controller->viewModel().setScoped(knownMetrics(AgentState::working));
    for (const char *icon : {"textformat", "bolt", "checkmark.seal", "bolt.fill", "sparkles", "no.such.symbol"}) {
        SlotSnapshot slot = knownSlot(true);
        slot.currentCreative->id = QLatin1String(icon);
        slot.currentCreative->iconAsset = QLatin1String(icon);
        controller->viewModel().setSlot(slot);
        dock(1240, false);
        const QImage image = save(QStringLiteral("slot-icon-") + QLatin1String(icon));
        EXPECT_GT(inkOf(image, "slotIcon"), 8) << icon;
    }
}

TEST_F(HUDScreenshots, DashboardNarrowAndWide)
{
    controller->viewModel().setScoped(knownMetrics(AgentState::working));
    SlotSnapshot slot = knownSlot(true);
    slot.queuedEvents = 2;
    controller->viewModel().setSlot(slot);
    CodexTelemetryHealth::Snapshot health;
    health.status = CodexTelemetryHealth::Status::stale;
    health.detail = QStringLiteral("last event 16m ago");
    controller->viewModel().setCodexHealth(health);
    settings.setShowDebugOverlay(true);

    for (const double width : {759.0, 760.0}) {
        dock(width, true);
        const DashboardContent &dashboard = controller->viewModel().dashboard();
        const bool narrow = width < 760;
        EXPECT_EQ(dashboard.narrow, narrow);
        EXPECT_EQ(item("narrowLayout") != nullptr, narrow);
        EXPECT_EQ(item("wideLayout") != nullptr, !narrow);
        std::vector<std::string> expectedValues;
        for (const QVariant &tile : dashboard.tiles)
            expectedValues.push_back(tile.toMap().value(QStringLiteral("value")).toString().toStdString());
        EXPECT_EQ(texts("tileValue"), expectedValues);
        EXPECT_EQ(texts("weekdayLabel").size(), 7u);
        EXPECT_EQ(text("toolTitle"), "TOOL CALLS \u00b7 14");
        EXPECT_EQ(items("toolRow").size(), narrow ? 8u : 10u);
        EXPECT_NE(item("gateOverlay"), nullptr);
        const QImage image = save(narrow ? QStringLiteral("dashboard-759") : QStringLiteral("dashboard-760"));
        EXPECT_EQ(image.size(), QSize(int(width), 290));
        if (!narrow)
            expectDashboardInsideTheBorder(width, "760");
    }
}

// An agent's plan limits: the 5-hour window at `used` resetting 72 minutes from now, or reached.
AgentPlanLimits planLimits(DisplayAgent agent, double used, bool reached = false)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    PlanLimits limits;
    limits.limitId = QStringLiteral("plan");
    limits.primary = LimitWindow{used, 300, now.addSecs(72 * 60 + 30)};
    limits.secondary = LimitWindow{17, 10080, now.addDays(3)};
    if (reached) {
        limits.reachedType = QStringLiteral("usage_limit_reached");
        limits.reachedUntil = limits.primary->resetsAt;
    }
    return {agent, limits, {limits}};
}

// The mock agent at work, with a long model name, plan limits and a creative wider than the slot.
ScopedMetrics mockWorking()
{
    ScopedMetrics scoped = knownMetrics(AgentState::working);
    scoped.scope = MetricsScope::of(DisplayAgent::mock);
    scoped.model = QStringLiteral("mock-model-large");
    scoped.planLimits = {planLimits(DisplayAgent::mock, 43)};
    return scoped;
}

// At the widths the HUD is docked at, from the side panel's to a wide monitor's: every element of
// the bar shows whole or not at all, the ones that must always show do, and the slot has room for
// its icon, caption and 150 of its text wherever the bar is 660 or wider. Expanded, nothing of a
// wide dashboard touches or crosses the HUD's border and the token chart keeps its height.
TEST_F(HUDScreenshots, EveryWidthShowsWholeElementsAndTheSlotItsRoom)
{
    controller->viewModel().setScoped(mockWorking());
    controller->viewModel().setSlot(knownSlot(true));
    settings.setShowDebugOverlay(true);
    const char *barElements[] = {"scopeChip", "expandButton", "stateBadge", "tokenCounts", "sparkline",
                                 "costLabel", "limitsGauge", "modelName", "earningsBadge", "adSlot"};
    // Texts that are cut when drawn narrower than they need.
    const char *texts[] = {"scopeLabel", "stateLabel", "sessionValue", "contextValue", "costLabel",
                           "limitsText", "modelName", "earningsText", "slotCaption"};
    for (const double width : {380.0, 660.0, 906.0, 1240.0, 1600.0}) {
        const bool side = width == 380;
        settings.setDockEdge(side ? DockEdge::right : DockEdge::above);
        for (const bool expanded : {false, true}) {
            dock(side ? 400 : width, expanded);
            const std::string where = std::to_string(int(width)) + (expanded ? " expanded" : " collapsed");
            ASSERT_EQ(view->width(), int(width)) << where;
            const QString name = QStringLiteral("hud-%1-%2").arg(int(width)).arg(expanded ? "expanded" : "collapsed");
            EXPECT_EQ(save(name).size(), QSize(int(width), expanded ? 290 : 44)) << where;

            // Left to right inside the bar's padding, none over another.
            double right = 10;
            for (const char *element : barElements) {
                const QQuickItem *found = item(element);
                ASSERT_NE(found, nullptr) << element;
                if (!found->isVisible())
                    continue;
                const QRectF at = found->mapRectToScene(found->boundingRect());
                EXPECT_GE(at.left(), right - 0.5) << element << " at " << where;
                EXPECT_LE(found->implicitWidth(), found->width() + 0.5) << element << " cut at " << where;
                right = at.right();
            }
            EXPECT_LE(right, width - 10 + 0.5) << where;
            for (const char *text : texts) {
                const QQuickItem *found = item(text);
                if (!found || !found->isVisible() || !found->parentItem()->isVisible())
                    continue;
                EXPECT_LE(found->implicitWidth(), found->width() + 0.5) << text << " cut at " << where;
            }
            for (const char *essential : {"stateBadge", "tokenCounts", "costLabel"})
                EXPECT_TRUE(item(essential)->isVisible()) << essential << " at " << where;
            EXPECT_EQ(text("stateLabel"), "Working\u2026 1:15");
            if (item("modelName")->isVisible()) {
                EXPECT_EQ(text("modelName"), "mock-model-large");
            }
            EXPECT_EQ(item("modelName")->isVisible(), width >= 1240) << where;

            const QRectF slot = controller->viewModel().slotRect();
            if (width >= 660) {
                ASSERT_TRUE(item("adSlot")->isVisible()) << where;
                EXPECT_GE(slot.width(), 8 + 12 + 6 + 150 + 8) << where;
                EXPECT_GE(item("slotMarquee")->width(), 150) << where;
                const QQuickItem *adSlot = item("adSlot");
                EXPECT_EQ(slot, adSlot->mapRectToScene(adSlot->boundingRect())) << where;
                // The suite's screen is 1280 wide: a slot past its edge is not seen.
                EXPECT_EQ(controller->isSlotSeen(), 20 + slot.right() <= 1280) << where;
            } else {
                EXPECT_FALSE(item("adSlot")->isVisible()) << where;
                EXPECT_TRUE(slot.isEmpty()) << where;
                EXPECT_FALSE(controller->isSlotSeen()) << where;
            }
            if (expanded && width >= DashboardContent::wideFromWidth)
                expectDashboardInsideTheBorder(width, where);
        }
    }
}

// The limits element by its rank: at the docked minimum it shares the bar with the slot's
// placeholder between turns and gives way to a creative during one; at 1240 it stands beside
// both. Claude Code's reported cost shows without "est."; the dashboard shows both agents' limits.
TEST_F(HUDScreenshots, PlanLimitsInTheBarAndTheDashboard)
{
    ScopedMetrics scoped = knownMetrics(AgentState::idle);
    scoped.scope = MetricsScope::aggregate();
    scoped.reportedSessionCost = 0.017459;
    scoped.contextWindow = 1'000'000;
    scoped.contextUsedPercent = 5;
    scoped.planLimits = {planLimits(DisplayAgent::claudeCode, 43), planLimits(DisplayAgent::codex, 100, true)};
    controller->viewModel().setScoped(scoped);
    controller->viewModel().setSlot(knownSlot(false));
    dock(660, false);
    const std::string reached = "limit \u00b7 resets "
        + QDateTime::currentDateTimeUtc().addSecs(72 * 60 + 30).toLocalTime().toString("HH:mm").toStdString();
    ASSERT_TRUE(item("limitsGauge")->isVisible());
    EXPECT_EQ(text("limitsText"), reached); // the agent at its limit is the one the bar shows
    EXPECT_EQ(text("costLabel"), "$0.017");
    EXPECT_TRUE(item("slotPlaceholder")->isVisible());
    EXPECT_LE(item("limitsText")->implicitWidth(), item("limitsGauge")->width() + 0.5);
    save(QStringLiteral("limits-660-idle"));

    scoped.state = AgentState::working;
    controller->viewModel().setScoped(scoped);
    controller->viewModel().setSlot(knownSlot(true));
    settle();
    EXPECT_FALSE(item("limitsGauge")->isVisible());
    EXPECT_TRUE(item("adSlot")->isVisible());
    save(QStringLiteral("limits-660-working"));

    dock(1240, false);
    EXPECT_TRUE(item("limitsGauge")->isVisible());
    EXPECT_TRUE(item("modelName")->isVisible());
    save(QStringLiteral("limits-1240-working"));

    dock(1240, true);
    std::vector<std::string> values;
    for (const QVariant &tile : controller->viewModel().dashboard().tiles)
        values.push_back(tile.toMap().value(QStringLiteral("value")).toString().toStdString());
    EXPECT_EQ(texts("tileValue"), values);
    EXPECT_EQ(values.at(2), "5h 43 % \u00b7 1:13");
    EXPECT_EQ(values.at(3), reached);
    expectDashboardInsideTheBorder(1240, "limits");
    save(QStringLiteral("limits-dashboard-1240"));
}

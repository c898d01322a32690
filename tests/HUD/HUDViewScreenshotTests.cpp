#include "FakeHUDSettings.h"
#include "HUD/HUDWindowController.h"
#include "HUD/Quick/QuickHUDPanel.h"
#include "Platform/FakeWindowSystem.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <functional>
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
    }
}

// The slot's gate counts only what the bar has room to draw.
TEST_F(HUDScreenshots, SlotIsSeenOnlyWhereTheBarHasRoomForIt)
{
    controller->viewModel().setScoped(knownMetrics(AgentState::working));
    controller->viewModel().setSlot(knownSlot(true));
    struct Case {
        double width;
        bool ads;
        bool roomForSlot;
    };
    for (const Case c : {Case{1240, true, true}, Case{660, true, false}, Case{1240, false, false}}) {
        settings.setShowAds(c.ads);
        dock(c.width, false);
        const double shown = controller->viewModel().slotShownWidth();
        EXPECT_EQ(shown >= HUDWindowController::minimumSeenSlotWidth, c.roomForSlot) << c.width << " " << shown;
    }
}

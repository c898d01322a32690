// The whole application on a real X server: mock agent, xterm target, HUD, sponsored slot, menu.
#include "Ads/AdLedger.h"
#include "MenuSearch.h"

#include "App/Shell/AppDelegate.h"
#include "App/Shell/AppHUD.h"
#include "Settings/AppSettings.h"
#include "App/Shell/OnboardingWindow.h"
#include "Settings/SettingsStore.h"
#include "App/Shell/ShellController.h"
#include "App/Shell/SponsoredSlot.h"
#include "App/Shell/StatusMenu.h"
#include "HUD/Quick/QuickHUDPanel.h"
#include "Platform/FakeDesktop.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QQuickView>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

#include "support/TestSupport.h"
#include "support/XScreenshot.h"
#include "support/XSession.h"

namespace {

using namespace std::chrono_literals;
using TestSupport::spin;
using TestSupport::waitUntil;

// The drawing run sets this; without it the executable's other tests force the offscreen platform.
constexpr const char *childVariable = "CORVANE_X_SHOT_DIR";

const QStringList shots{"docked-bar.png", "dashboard.png", "hud-menu.png"};

class AppOnX : public testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty(childVariable))
            GTEST_SKIP() << "runs only as the child of an AppOnXRun test";
        ASSERT_TRUE(x.join()) << x.error().toStdString();
        QDir().mkpath(home.filePath(".claude/projects"));
        AppSettings settings(defaults);
        settings.setUseMockData(true);
        settings.setTargetBundleID("XTerm");
        settings.setDockEdge(DockEdge::above);
        settings.setDisplayMode(DisplayMode::aggregate());
        settings.setAdBackendMode(AdBackendMode::localMock);
    }

    void startTerm(const QString &geometry = QStringLiteral("150x24+40+220"))
    {
        term = x.startXterm({"-geometry", geometry});
        ASSERT_NE(term.window, 0u) << x.error().toStdString();
    }
    QString gatesText()
    {
        const ImpressionEngine::Gates &gates = app->slot().impressions().gates();
        return QStringLiteral("gates: turn %1 hud %2 display %3 input %4")
            .arg(gates.turnInFlight)
            .arg(gates.hudVisible)
            .arg(gates.displayAwake)
            .arg(gates.inputRecent);
    }
    int viewTicks()
    {
        const QList<AdEvent> events = AdLedger(home.filePath("data/Corvane/ad-ledger.jsonl")).loadEvents();
        return int(std::count_if(events.begin(), events.end(), [](const AdEvent &e) { return e.type == AdEventType::viewTick; }));
    }
    void launch()
    {
        app = std::make_unique<AppDelegate>(defaults, AppEnvironment{{}, home.path(), home.filePath("data/Corvane"), 0});
        app->applicationDidFinishLaunching();
    }

    HUDWindowController &hud() { return app->hud().controller(); }
    const CompactBarContent &bar() { return hud().viewModel().bar(); }
    quint32 hudWindow() { return quint32(static_cast<QuickHUDPanel &>(hud().panel()).view().winId()); }
    QRect hudFrame() { return x.frameGeometry(hudWindow()); }
    QRect termFrame() { return x.frameGeometry(term.window); }

    // The bar's expected place glued to the xterm's frame, in X coordinates.
    QRect dockedAt(DockEdge edge, int height = 44)
    {
        const QRect t = termFrame();
        const int width = std::max(660, t.width());
        switch (edge) {
        case DockEdge::above: return {t.x(), t.y() - height, width, height};
        case DockEdge::below: return {t.x(), t.y() + t.height(), width, height};
        case DockEdge::left:
        case DockEdge::right: break;
        }
        return {};
    }
    bool docked(DockEdge edge, int height = 44) { return hudFrame() == dockedAt(edge, height); }
    QString why() { return QStringLiteral("HUD %1 xterm %2").arg(rectText(hudFrame()), rectText(termFrame())); }
    static QString rectText(QRect r) { return QStringLiteral("%1,%2 %3×%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); }

    // Moves the pointer there and presses the button (none for 0).
    void click(int atX, int atY, int button)
    {
        QStringList arguments{"mousemove", QString::number(atX), QString::number(atY)};
        if (button)
            arguments << "click" << QString::number(button);
        x.run("xdotool", arguments);
    }
    // Opens the menu the way a user without a tray does: a right-click on the HUD.
    QMenu &openMenuFromHUD()
    {
        const QRect frame = hudFrame();
        click(frame.x() + 20, frame.y() + 20, 3);
        QMenu &menu = *app->shell().statusMenu()->menu();
        EXPECT_TRUE(waitUntil([&] { return menu.isVisible(); }, 5s)) << x.error().toStdString();
        return menu;
    }
    void choose(QMenu &menu, const QString &title)
    {
        QAction *action = findAction(menu, title);
        ASSERT_NE(action, nullptr) << title.toStdString();
        action->trigger();
        menu.hide();
        spin(100ms);
    }
    void save(const QString &name, QRect area)
    {
        const QString path = QString::fromLocal8Bit(qgetenv(childVariable)) + '/' + name;
        EXPECT_TRUE(XScreenshot::save(x.displayName(), path, area.intersected(QRect(QPoint(), x.screenSize()))))
            << path.toStdString();
    }

    XSession x;
    XSession::Client term;
    QTemporaryDir home;
    MemorySettingsStore defaults;
    std::unique_ptr<AppDelegate> app;
};

TEST_F(AppOnX, MockAgentDockedToTheXtermWithSponsoredSlotAndMenu)
{
    ASSERT_NO_FATAL_FAILURE(startTerm());
    click(5, 5, 0); // recent input, for the slot's input gate
    launch();

    // Docked above the xterm at its width, 44 high, and seen.
    ASSERT_TRUE(waitUntil([&] { return docked(DockEdge::above) && hud().isPanelSeen(); }, 10s)) << why().toStdString();

    // The mock agent works: the clock runs and the session's metered tokens grow (the session
    // figure itself is the largest context reached, which a streaming reply rarely raises).
    // The mock's turns last 10 to 120 s with 3 to 10 s between them; waits allow for a gap.
    ASSERT_TRUE(waitUntil([&] { return bar().stateLabel.contains(':') && !bar().stateLabel.startsWith("Idle"); }, 20s))
        << bar().stateLabel.toStdString();
    const CompactBarContent first = bar();
    ASSERT_TRUE(waitUntil([&] { return bar().stateLabel != first.stateLabel; }, 3s)) << first.stateLabel.toStdString();
    const qint64 metered = hud().viewModel().scoped().sessionMeteredTokens;
    ASSERT_TRUE(waitUntil([&] { return hud().viewModel().scoped().sessionMeteredTokens > metered; }, 15s)) << metered;

    // The sponsored creative shows during the turn and five qualifying seconds make a view tick.
    ASSERT_TRUE(waitUntil([&] { return bar().slotShowsCreative; }, 20s));
    const QString ledger = home.filePath("data/Corvane/ad-ledger.jsonl");
    const auto hasViewTick = [&] {
        const QList<AdEvent> events = AdLedger(ledger).loadEvents();
        return std::any_of(events.begin(), events.end(), [](const AdEvent &e) { return e.type == AdEventType::viewTick; });
    };
    ASSERT_TRUE(waitUntil(hasViewTick, 30s)) << "gates: turn " << app->slot().impressions().gates().turnInFlight
                                             << " hud " << app->slot().impressions().gates().hudVisible << " display "
                                             << app->slot().impressions().gates().displayAwake << " input "
                                             << app->slot().impressions().gates().inputRecent;
    save("docked-bar.png", hudFrame().united(termFrame()).adjusted(-10, -10, 10, 10));

    // Left clicks reach the bar and the slot: a click on the state badge expands the dashboard,
    // one on the creative is recorded in the ledger.
    click(hudFrame().x() + 180, hudFrame().y() + 22, 1);
    ASSERT_TRUE(waitUntil([&] { return hud().hudState().expanded(); }, 3s));
    hud().hudState().setExpanded(false);
    ASSERT_TRUE(waitUntil([&] { return docked(DockEdge::above); }, 3s)) << why().toStdString();
    FakeDesktop desktop;
    app->slot().impressions().desktop = &desktop;
    ASSERT_TRUE(waitUntil([&] { return bar().slotShowsCreative; }, 20s));
    click(hudFrame().right() - 50, hudFrame().y() + 22, 1);
    const auto hasClick = [&] {
        const QList<AdEvent> events = AdLedger(ledger).loadEvents();
        return std::any_of(events.begin(), events.end(), [](const AdEvent &e) { return e.type == AdEventType::click; });
    };
    ASSERT_TRUE(waitUntil(hasClick, 3s));
    EXPECT_EQ(desktop.opened.size(), 1);
    hud().hudState().setExpanded(false);

    // It follows the xterm when it moves.
    x.configure(term.window, QRect(200, 380, 0, 0), true, false);
    ASSERT_TRUE(waitUntil([&] { return termFrame().x() != 40 && docked(DockEdge::above); }, 5s)) << why().toStdString();

    // Menu: display mode, dock edge, expanded dashboard and target.
    {
        QMenu &menu = openMenuFromHUD();
        save("hud-menu.png", QRect(QPoint(0, 0), x.screenSize()));
        choose(menu, "Pin Mock");
    }
    ASSERT_TRUE(waitUntil([&] { return bar().scopeLabel == "Mock" && bar().scopeIcon == "pin.fill"; }, 3s))
        << bar().scopeLabel.toStdString();

    choose(openMenuFromHUD(), "Expand Dashboard");
    ASSERT_TRUE(waitUntil([&] { return docked(DockEdge::above, 290); }, 3s)) << why().toStdString();
    spin(1200ms); // the dashboard's first charts
    save("dashboard.png", hudFrame().adjusted(-10, -10, 10, 10));
    choose(openMenuFromHUD(), "Expand Dashboard");
    ASSERT_TRUE(waitUntil([&] { return docked(DockEdge::above); }, 3s)) << why().toStdString();

    choose(openMenuFromHUD(), "Below");
    ASSERT_TRUE(waitUntil([&] { return docked(DockEdge::below); }, 3s)) << why().toStdString();

    // Hidden from the menu, the slot's HUD gate closes; a second launch brings the HUD back.
    choose(openMenuFromHUD(), "Show HUD");
    ASSERT_TRUE(waitUntil([&] { return !hud().isPanelMapped() && !app->slot().impressions().gates().hudVisible; }, 3s));
    app->bringHUDForward();
    ASSERT_TRUE(waitUntil([&] { return hud().isPanelSeen() && docked(DockEdge::below); }, 3s)) << why().toStdString();

    // A target that is not running: the waiting pill; back on the xterm, docked again.
    choose(openMenuFromHUD(), "Konsole");
    ASSERT_TRUE(waitUntil([&] { return bar().pillText.contains("Konsole") && hudFrame().size() == QSize(260, 36); }, 3s))
        << why().toStdString() << " " << bar().pillText.toStdString();
    choose(openMenuFromHUD(), "XTerm");
    ASSERT_TRUE(waitUntil([&] { return docked(DockEdge::below); }, 5s)) << why().toStdString();

    // Following focus: the focused xterm hosts Claude Code unless its title names Codex.
    choose(openMenuFromHUD(), "Follow Focused App");
    x.run("xdotool", {"windowactivate", "--sync", QString::number(term.window)});
    ASSERT_TRUE(waitUntil([&] { return bar().scopeLabel == "Claude Code" && bar().scopeIcon == "scope"; }, 5s))
        << bar().scopeLabel.toStdString();
    x.run("xdotool", {"set_window", "--name", "codex ~/project", QString::number(term.window)});
    ASSERT_TRUE(waitUntil([&] { return bar().scopeLabel == "Codex"; }, 5s)) << bar().scopeLabel.toStdString();
}

// Above the most common terminal, 80 columns, the bar is 660 wide and the slot earns; with the
// terminal at the top edge the bar is pushed above the screen and earns nothing.
TEST_F(AppOnX, EightyColumnXtermEarnsAViewTickAndTheTopEdgeNone)
{
    ASSERT_NO_FATAL_FAILURE(startTerm(QStringLiteral("80x24+40+220")));
    click(5, 5, 0); // recent input, for the slot's input gate
    launch();
    ASSERT_TRUE(waitUntil([&] { return docked(DockEdge::above) && hud().isPanelSeen(); }, 10s)) << why().toStdString();
    EXPECT_EQ(hudFrame().width(), 660);
    ASSERT_TRUE(waitUntil([&] { return bar().slotShowsCreative; }, 30s));
    ASSERT_TRUE(waitUntil([&] { return viewTicks() > 0; }, 30s)) << gatesText().toStdString();
    save("docked-80-columns.png", hudFrame().united(termFrame()).adjusted(-10, -10, 10, 10));

    // At the top edge: the bar goes above the screen (the window manager may leave a few rows of
    // it on the screen, never the slot), and while the turn runs no view is billed.
    x.configure(term.window, QRect(40, 0, 0, 0), true, false);
    ASSERT_TRUE(waitUntil([&] { return termFrame().y() <= 5 && hudFrame().y() < 0 && hudFrame().x() == termFrame().x(); }, 5s))
        << why().toStdString();
    ImpressionEngine &engine = app->slot().impressions();
    // The gates are those of the last evaluation, once a second.
    ASSERT_TRUE(waitUntil([&] { return !engine.gates().hudVisible; }, 3s)) << gatesText().toStdString();
    const int ticks = viewTicks();
    const int engineTicks = engine.tickCount();
    // Sample once a second while a turn runs with the creative showing; five qualifying seconds
    // would have billed a view.
    int unseenInTurn = 0;
    QDateTime last;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QDateTime now = QDateTime::currentDateTime();
            if (last.isValid() && last.msecsTo(now) < 1000)
                return false;
            last = now;
            if (engine.gates().turnInFlight && bar().slotShowsCreative) {
                EXPECT_FALSE(engine.gates().hudVisible) << why().toStdString();
                ++unseenInTurn;
            }
            return unseenInTurn >= 7;
        },
        90s))
        << gatesText().toStdString();
    EXPECT_EQ(engine.tickCount(), engineTicks);
    EXPECT_EQ(engine.streakSeconds(), 0);
    EXPECT_EQ(viewTicks(), ticks);
    save("docked-top-edge.png", QRect(QPoint(0, 0), x.screenSize()));
}

// Without a window manager there is no window access: the bar floats and the onboarding window
// explains; once a manager runs, its re-check starts tracking and the bar docks.
TEST_F(AppOnX, WithoutWindowAccessOnboardsUntilAWindowManagerRuns)
{
    launch();
    OnboardingWindow *onboarding = app->shell().onboardingWindow();
    ASSERT_NE(onboarding, nullptr);
    ASSERT_TRUE(waitUntil([&] { return onboarding->isVisible() && hud().isPanelMapped(); }, 5s));
    EXPECT_EQ(hud().presentation(), HUDWindowController::Presentation::floating);
    EXPECT_FALSE(app->shell().isTrackerStarted());
    onboarding->recheck();
    EXPECT_TRUE(onboarding->isVisible()) << "still no window access";

    ASSERT_TRUE(x.startWindowManager()) << x.error().toStdString();
    ASSERT_NO_FATAL_FAILURE(startTerm());
    app->shell().onboardingWindow()->recheck();
    EXPECT_EQ(app->shell().onboardingWindow(), nullptr);
    EXPECT_TRUE(app->shell().isTrackerStarted());
    ASSERT_TRUE(waitUntil([&] { return docked(DockEdge::above); }, 10s)) << why().toStdString();
}

// Runs the test above with the real X platform, on this executable's X server.
TEST(AppOnXRun, MockAgentDocksToTheXterm)
{
    if (!qEnvironmentVariableIsEmpty(childVariable))
        GTEST_SKIP() << "the child run draws only";
    const QString dir = TestSupport::artifactsDir();
    QDir().mkpath(dir);
    for (const QString &name : shots)
        QFile::remove(dir + "/" + name);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(childVariable, dir);
    env.insert("QT_QPA_PLATFORM", "xcb");
    const TestSupport::ChildRun child =
        TestSupport::runTestInChild("AppOnX.MockAgentDockedToTheXtermWithSponsoredSlotAndMenu", env);
    ASSERT_TRUE(child.passed()) << child.output.toStdString();
    for (const QString &name : shots)
        EXPECT_FALSE(QImage(dir + "/" + name).isNull()) << name.toStdString();
}

TEST(AppOnXRun, EightyColumnXtermEarnsAndTheTopEdgeDoesNot)
{
    if (!qEnvironmentVariableIsEmpty(childVariable))
        GTEST_SKIP() << "the child run draws only";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(childVariable, TestSupport::artifactsDir());
    env.insert("QT_QPA_PLATFORM", "xcb");
    const TestSupport::ChildRun child =
        TestSupport::runTestInChild("AppOnX.EightyColumnXtermEarnsAViewTickAndTheTopEdgeNone", env);
    ASSERT_TRUE(child.passed()) << child.output.toStdString();
}

TEST(AppOnXRun, WithoutWindowManagerOnboardsThenDocks)
{
    if (!qEnvironmentVariableIsEmpty(childVariable))
        GTEST_SKIP() << "the child run draws only";
    XSession bare;
    ASSERT_TRUE(bare.start({1280, 800}, false)) << bare.error().toStdString();
    QProcessEnvironment env = bare.environment();
    env.insert(childVariable, TestSupport::artifactsDir());
    env.insert("QT_QPA_PLATFORM", "xcb");
    const TestSupport::ChildRun child =
        TestSupport::runTestInChild("AppOnX.WithoutWindowAccessOnboardsUntilAWindowManagerRuns", env);
    ASSERT_TRUE(child.passed()) << child.output.toStdString();
}

} // namespace

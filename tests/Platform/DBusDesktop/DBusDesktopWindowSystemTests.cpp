// The KDE/GNOME window system against a fake compositor on a private session bus: the fake plays
// KWin (its Scripting interface) or GNOME Shell (its Extensions interface) and then sends the
// contract's calls the way the loaded script or the enabled extension does.
#include "Platform/DBusDesktop/CompositorScripts.h"
#include "Platform/DBusDesktop/DBusDesktopWindowSystem.h"
#include "Platform/DBusDesktop/DesktopWindowsContract.h"
#include "FakeCompositor.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWindow>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using TestSupport::waitUntil;

namespace {

// GNOME Shell's org.gnome.Shell.Extensions, for one extension that is installed but disabled.
class FakeShellExtensions : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell.Extensions")

public:
    double state = 2; // disabled
    QStringList enableRequests;

public Q_SLOTS:
    QVariantMap GetExtensionInfo(const QString &uuid)
    {
        return uuid == GnomeShellExtension::uuid ? QVariantMap{{"uuid", uuid}, {"state", state}} : QVariantMap{};
    }
    bool EnableExtension(const QString &uuid)
    {
        enableRequests.append(uuid);
        return false; // a Shell that cannot (policy, or it needs a new login)
    }
};


} // namespace

TEST_F(DesktopWindowsTest, TheKWinScriptIsLoadedAndItsWindowsAreListed)
{
    const auto windows = startKWinDesktop();
    ASSERT_TRUE(windows->hasWindowAccess()) << windows->accessProblem().toStdString();
    EXPECT_EQ(windows->backendName(), "KWin script");
    EXPECT_TRUE(windows->accessProblem().isEmpty());
    EXPECT_EQ(kwin->unloaded, QStringList{KWinScript::pluginName}) << "an earlier run's copy goes first";
    EXPECT_TRUE(kwin->loadedScript.contains("callDBus")) << kwin->loadedPath.toStdString();
    EXPECT_EQ(windows->primaryScreenHeight(), 1000);
    EXPECT_EQ(windows->runningApplications("foot"), QList{foot});
    EXPECT_EQ(windows->frontmostApplication(), foot);
    const ApplicationWindows konsoleWindows = windows->windows(konsole);
    ASSERT_EQ(konsoleWindows.listed.size(), 1u);
    ASSERT_TRUE(konsoleWindows.main);
    EXPECT_EQ(konsoleWindows.main->frame, QRectF(950, 50, 600, 500));
    EXPECT_EQ(konsoleWindows.main->title, "codex");
    EXPECT_FALSE(konsoleWindows.focused) << "never focused yet";
}

TEST_F(DesktopWindowsTest, TheObservedWindowsChangesArriveAsTheTrackerNeedsThem)
{
    const auto windows = startKWinDesktop();
    ASSERT_TRUE(windows->observe(konsole));
    QSignalSpy changes(windows.get(), &WindowSystem::observedWindowChanged);
    QSignalSpy activated(windows.get(), &WindowSystem::applicationActivated);
    const auto waitFor = [&](qsizetype count) { return waitUntil([&] { return changes.size() >= count; }); };
    const auto last = [&] { return changes.last().first().value<WindowChange>(); };

    compositor->call("WindowChanged", QVariantMap{{"id", "b"}, {"x", 300.5}, {"y", 80}});
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(last(), WindowChange::moved);
    EXPECT_EQ(windows->windows(konsole).main->frame, QRectF(300.5, 80, 600, 500)) << "the size is kept";

    compositor->call("WindowChanged", QVariantMap{{"id", "b"}, {"width", 700}, {"height", 420}});
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(last(), WindowChange::resized);

    compositor->call("Activated", "b");
    ASSERT_TRUE(waitFor(3));
    EXPECT_EQ(last(), WindowChange::focusChanged);
    ASSERT_EQ(activated.size(), 1);
    EXPECT_EQ(activated.first().first().value<RunningApplication>(), konsole);
    EXPECT_EQ(windows->windows(konsole).focused->frame, QRectF(300.5, 80, 700, 420));

    compositor->call("WindowChanged", QVariantMap{{"id", "b"}, {"title", "codex — thinking"}});
    ASSERT_TRUE(waitUntil([&] { return windows->windows(konsole).main->title == "codex — thinking"; }));

    compositor->call("WindowChanged", QVariantMap{{"id", "b"}, {"minimized", true}});
    ASSERT_TRUE(waitFor(4));
    EXPECT_EQ(last(), WindowChange::minimized);
    EXPECT_TRUE(windows->windows(konsole).main->isMinimized.value_or(false));
    compositor->call("WindowChanged", QVariantMap{{"id", "b"}, {"minimized", false}});
    ASSERT_TRUE(waitFor(5));
    EXPECT_EQ(last(), WindowChange::restored);

    // Another application's window moving tells the observer nothing.
    compositor->call("WindowChanged", QVariantMap{{"id", "a"}, {"x", 10}});
    ASSERT_TRUE(finished(compositor->call("WindowChanged", QVariantMap{{"id", "b"}, {"x", 10}})));
    ASSERT_TRUE(waitFor(6));
    EXPECT_EQ(changes.size(), 6);
}

TEST_F(DesktopWindowsTest, ApplicationsLaunchWithTheirFirstWindowAndEndWithTheirLast)
{
    const auto windows = startKWinDesktop();
    QSignalSpy launched(windows.get(), &WindowSystem::applicationLaunched);
    QSignalSpy terminated(windows.get(), &WindowSystem::applicationTerminated);
    const RunningApplication codex{"codex-desktop", 77};
    compositor->call("WindowAdded", window("c1", "codex-desktop", 77, {0, 0, 900, 700}, "Codex"));
    compositor->call("WindowAdded", window("c2", "codex-desktop", 77, {40, 40, 500, 400}, "Settings"));
    ASSERT_TRUE(waitUntil([&] { return windows->windows(codex).listed.size() == 2; }));
    ASSERT_EQ(launched.size(), 1);
    EXPECT_EQ(launched.first().first().value<RunningApplication>(), codex);

    compositor->call("WindowRemoved", "c1");
    ASSERT_TRUE(finished(compositor->call("WindowRemoved", "c2")));
    ASSERT_TRUE(waitUntil([&] { return terminated.size() == 1; }));
    EXPECT_EQ(terminated.first().first().value<RunningApplication>(), codex);
    EXPECT_TRUE(windows->runningApplications("codex-desktop").isEmpty());

    const QDBusPendingCall bad = compositor->call("WindowAdded", QVariantMap{{"id", "d"}, {"appId", "foot"}});
    ASSERT_TRUE(finished(bad));
    EXPECT_TRUE(bad.isError()) << "a window without a frame is refused, not listed at 0,0";
}

TEST_F(DesktopWindowsTest, TheHudPlacementReachesTheWaitingScript)
{
    const auto windows = startKWinDesktop();
    QDBusPendingCall first = compositor->call("NextPlacement", QVariantMap{{"seen", 0u}});
    QDBusPendingCallWatcher watcher(first);
    TestSupport::spin(200ms);
    EXPECT_FALSE(first.isFinished()) << "nothing to place yet: the request waits";

    QWindow hud;
    hud.setTitle("Corvane HUD");
    ASSERT_TRUE(windows->placeOwnWindow(hud.winId(), QRectF(950, 14, 600, 36)));
    ASSERT_TRUE(waitUntil([&] { return first.isFinished(); }));
    const QVariantMap placed = QDBusPendingReply<QVariantMap>(first).value();
    EXPECT_EQ(placed.value("pid").toLongLong(), QCoreApplication::applicationPid());
    EXPECT_EQ(placed.value("title").toString(), "Corvane HUD");
    EXPECT_EQ(QRectF(placed.value("x").toDouble(), placed.value("y").toDouble(), placed.value("width").toDouble(),
                     placed.value("height").toDouble()),
              QRectF(950, 14, 600, 36));

    // Asking with an older generation answers at once with the newest placement.
    windows->placeOwnWindow(hud.winId(), QRectF(300, 44, 700, 36));
    QDBusPendingReply<QVariantMap> again = compositor->call("NextPlacement", QVariantMap{{"seen", placed.value("generation")}});
    ASSERT_TRUE(finished(again));
    EXPECT_EQ(again.value().value("x").toDouble(), 300);
    EXPECT_GT(again.value().value("generation").toUInt(), placed.value("generation").toUInt());

    EXPECT_FALSE(windows->placeOwnWindow(hud.winId() + 999, QRectF(0, 0, 10, 10))) << "not one of ours";
}

TEST_F(DesktopWindowsTest, LosingTheScriptEndsWhatItShowedAndOnlyItsPeerIsHeard)
{
    const auto windows = startKWinDesktop();
    // A second sender that never said Hello cannot add windows.
    Compositor stranger(bus("stranger"));
    ASSERT_TRUE(finished(stranger.call("WindowAdded", window("x", "intruder", 9, {0, 0, 10, 10}, "x"))));
    TestSupport::spin(100ms);
    EXPECT_TRUE(windows->runningApplications("intruder").isEmpty());

    QSignalSpy terminated(windows.get(), &WindowSystem::applicationTerminated);
    kwin.reset(); // KWin quits: its connection goes with the last reference to it
    compositor.reset();
    QDBusConnection::disconnectFromBus("compositor");
    ASSERT_TRUE(waitUntil([&] { return !windows->hasWindowAccess(); }));
    EXPECT_EQ(terminated.size(), 2);
    EXPECT_TRUE(windows->accessProblem().contains("KWin script stopped answering"))
        << windows->accessProblem().toStdString();
    EXPECT_EQ(windows->primaryScreenHeight(), 0);
    EXPECT_FALSE(windows->observe(foot));
}

TEST_F(DesktopWindowsTest, QuittingTakesTheScriptOutOfKWin)
{
    startKWinDesktop().reset();
    EXPECT_EQ(kwin->unloaded, (QStringList{KWinScript::pluginName, KWinScript::pluginName}));
}

TEST_F(DesktopWindowsTest, TheOnboardingProblemNamesWhatIsMissing)
{
    {
        DBusDesktopWindowSystem windows(DesktopFamily::kde, bus("corvane-nokwin"));
        EXPECT_FALSE(windows.hasWindowAccess());
        EXPECT_EQ(windows.accessProblem(), "KWin is not on the session bus, so its script cannot be loaded.");
    }
    serveKWin();
    kwin->refuse = true;
    {
        DBusDesktopWindowSystem windows(DesktopFamily::kde, bus("corvane-refused"));
        EXPECT_TRUE(windows.accessProblem().startsWith("KWin did not load the script")) << windows.accessProblem().toStdString();
    }
}

TEST_F(DesktopWindowsTest, TheShellExtensionIsInstalledAndTheEnableCommandShownWhenTheShellCannot)
{
    FakeShellExtensions shell;
    ASSERT_TRUE(compositor->m_bus.registerObject("/org/gnome/Shell", &shell, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(compositor->m_bus.registerService("org.gnome.Shell"));
    QDBusConnection corvaneBus = bus("corvane");
    DBusDesktopWindowSystem windows(DesktopFamily::gnome, corvaneBus);
    EXPECT_EQ(windows.backendName(), "GNOME Shell extension");
    EXPECT_EQ(windows.accessProblem(), "The Corvane GNOME Shell extension is not installed.");

    const GnomeShellExtension::InstallOutcome outcome = GnomeShellExtension::install(corvaneBus);
    EXPECT_FALSE(outcome.enabled);
    EXPECT_TRUE(outcome.message.contains("gnome-extensions enable dock@corvane.dev")) << outcome.message.toStdString();
    EXPECT_EQ(shell.enableRequests, QStringList{GnomeShellExtension::uuid});
    const QString folder = home.filePath("data/gnome-shell/extensions/dock@corvane.dev");
    EXPECT_EQ(GnomeShellExtension::installFolder(), folder);
    EXPECT_TRUE(TestSupport::readFile(folder + "/metadata.json").contains("\"uuid\": \"dock@corvane.dev\""));
    EXPECT_TRUE(TestSupport::readFile(folder + "/extension.js").contains("NextPlacement"));
    EXPECT_EQ(windows.accessProblem(),
              "The Corvane GNOME Shell extension is installed but not enabled. Run: gnome-extensions enable dock@corvane.dev");

    // The user enables it; the extension sees Corvane's name and reports in.
    shell.state = 1;
    compositor->sendInitialWindows();
    ASSERT_TRUE(waitUntil([&] { return windows.hasWindowAccess() && !windows.runningApplications("foot").isEmpty(); }));
    EXPECT_TRUE(windows.accessProblem().isEmpty());
}

TEST(DesktopWindowsContract, AWindowNeedsAnIdAndAWholeFrame)
{
    const QVariantMap whole = window("a", "foot", 41, {1, 2, 3, 4}, "t");
    ASSERT_TRUE(DesktopWindows::windowFrom(whole));
    EXPECT_EQ(DesktopWindows::windowFrom(whole)->frame, QRectF(1, 2, 3, 4));
    for (const char *missing : {"id", "x", "height"}) {
        QVariantMap partial = whole;
        partial.remove(QString::fromLatin1(missing));
        EXPECT_FALSE(DesktopWindows::windowFrom(partial)) << missing;
    }
    QVariantMap text = whole;
    text["width"] = "wide";
    EXPECT_FALSE(DesktopWindows::windowFrom(text)) << "a number that is not one";
}

#include "DBusDesktopWindowSystemTests.moc"

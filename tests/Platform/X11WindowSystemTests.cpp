// The X11 window system against Xvfb with openbox: app ids, windows, activation and access.
#include "Platform/X11/X11Display.h"
#include "Platform/X11/X11WindowReader.h"
#include "Platform/X11/X11WindowSystem.h"
#include "support/TestSupport.h"
#include "support/XSession.h"

#include <QSignalSpy>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace std::chrono_literals;
using TestSupport::waitUntil;

namespace {

// A window of our own making, with exactly the properties a test gives it.
class OwnWindow {
public:
    explicit OwnWindow(xcb_connection_t *x) : m_x(x)
    {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
        m_window = xcb_generate_id(x);
        xcb_create_window(x, XCB_COPY_FROM_PARENT, m_window, screen->root, 10, 10, 400, 300, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    }
    void set(const char *name, const char *type, const QByteArray &value, uint8_t format = 8)
    {
        xcb_change_property(m_x, XCB_PROP_MODE_REPLACE, m_window, atom(name), atom(type), format,
                            static_cast<uint32_t>(value.size() / (format / 8)), value.constData());
    }
    void setPid(uint32_t pid)
    {
        set("_NET_WM_PID", "CARDINAL", QByteArray(reinterpret_cast<const char *>(&pid), 4), 32);
    }
    void map()
    {
        xcb_map_window(m_x, m_window);
        xcb_flush(m_x);
    }
    void destroy()
    {
        xcb_destroy_window(m_x, m_window);
        xcb_flush(m_x);
    }
    xcb_window_t id() const { return m_window; }

private:
    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_x, xcb_intern_atom(m_x, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t result = reply->atom;
        std::free(reply);
        return result;
    }
    xcb_connection_t *m_x;
    xcb_window_t m_window;
};

QByteArray wmClass(const char *instance, const char *name)
{
    return QByteArray(instance) + '\0' + QByteArray(name) + '\0';
}

struct WindowSystemOnX : ::testing::Test {
    XSession x;
    std::shared_ptr<XcbConnection> connection;
    std::unique_ptr<X11WindowSystem> windows;
    xcb_connection_t *own = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(x.start()) << x.error().toStdString();
        connection = openXcbConnection(x.displayName());
        ASSERT_TRUE(connection);
        windows = std::make_unique<X11WindowSystem>(connection);
        own = xcb_connect(x.displayName().constData(), nullptr);
    }
    void TearDown() override
    {
        if (own)
            xcb_disconnect(own);
    }
    bool runs(const QString &appId, qint64 pid)
    {
        return waitUntil([&] { return windows->runningApplications(appId).contains(RunningApplication{appId, pid}); },
                         3s);
    }
};

} // namespace

TEST(X11AppId, announcedIdsInOrderOfPrecedence)
{
    using X11WindowReader::appIdFrom;
    const QByteArray xtermClass = wmClass("xterm", "XTerm");
    EXPECT_EQ(appIdFrom("org.gnome.Terminal", "org.kde.konsole", xtermClass), "org.gnome.Terminal");
    EXPECT_EQ(appIdFrom({}, "org.kde.konsole", xtermClass), "org.kde.konsole");
    EXPECT_EQ(appIdFrom({}, "org.kde.konsole.desktop", xtermClass), "org.kde.konsole");
    EXPECT_EQ(appIdFrom({}, {}, xtermClass), "XTerm");
    EXPECT_EQ(appIdFrom(QByteArray("kitty\0", 6), {}, {}), "kitty");
    EXPECT_EQ(appIdFrom({}, {}, QByteArray("only-instance")), "");
    EXPECT_EQ(appIdFrom({}, {}, {}), "");
}

TEST_F(WindowSystemOnX, findsApplicationsByAppIdAndAnnouncesLaunchAndTermination)
{
    EXPECT_TRUE(windows->hasWindowAccess());
    QSignalSpy launched(windows.get(), &WindowSystem::applicationLaunched);
    QSignalSpy terminated(windows.get(), &WindowSystem::applicationTerminated);

    OwnWindow gtk(own), kde(own), plain(own);
    gtk.set("_GTK_APPLICATION_ID", "UTF8_STRING", "org.example.Gtk");
    gtk.set("WM_CLASS", "STRING", wmClass("gtk", "Gtk"));
    gtk.setPid(1001);
    kde.set("_KDE_NET_WM_DESKTOP_FILE", "UTF8_STRING", "org.example.kde");
    kde.set("WM_CLASS", "STRING", wmClass("kde", "Kde"));
    kde.setPid(1002);
    plain.set("WM_CLASS", "STRING", wmClass("plain", "Plain"));
    for (OwnWindow *window : {&gtk, &kde, &plain})
        window->map();

    EXPECT_TRUE(runs("org.example.Gtk", 1001));
    EXPECT_TRUE(runs("org.example.kde", 1002));
    EXPECT_TRUE(runs("Plain", 0)); // no _NET_WM_PID: process unknown
    EXPECT_TRUE(windows->runningApplications("Gtk").isEmpty());

    XSession::Client term = x.startXterm();
    ASSERT_NE(term.window, 0u) << x.error().toStdString();
    EXPECT_TRUE(runs("XTerm", term.process->processId()));
    ASSERT_TRUE(waitUntil([&] { return launched.count() >= 4; }, 3s));
    QStringList launchedIds;
    for (const QList<QVariant> &signal : launched)
        launchedIds.append(signal.at(0).value<RunningApplication>().appId);
    EXPECT_TRUE(launchedIds.contains("XTerm") && launchedIds.contains("org.example.Gtk")) << launchedIds.join(',').toStdString();

    kde.destroy();
    ASSERT_TRUE(waitUntil([&] { return terminated.count() == 1; }, 3s));
    EXPECT_EQ(terminated.at(0).at(0).value<RunningApplication>(), (RunningApplication{"org.example.kde", 1002}));
    EXPECT_TRUE(windows->runningApplications("org.example.kde").isEmpty());
}

TEST_F(WindowSystemOnX, readsFramesTitlesMinimisedAndFocus)
{
    OwnWindow named(own);
    named.set("WM_CLASS", "STRING", wmClass("named", "Named"));
    named.set("_NET_WM_NAME", "UTF8_STRING", "codex — 終端");
    named.set("WM_NAME", "STRING", "fallback");
    named.setPid(2001);
    named.map();
    XSession::Client term = x.startXterm({"-geometry", "80x24+200+150", "-T", "claude"});
    ASSERT_NE(term.window, 0u) << x.error().toStdString();
    const RunningApplication xterm{"XTerm", term.process->processId()};
    ASSERT_TRUE(runs("XTerm", xterm.pid));
    ASSERT_TRUE(runs("Named", 2001));

    ApplicationWindows found = windows->windows(xterm);
    ASSERT_EQ(found.listed.size(), 1u);
    const WindowInfo &info = found.listed.front();
    EXPECT_EQ(info.handle, term.window);
    EXPECT_EQ(info.frame, QRectF(x.frameGeometry(term.window)));
    EXPECT_EQ(info.isMinimized, false);
    EXPECT_EQ(info.title, "claude"); // xterm sets only WM_NAME
    ASSERT_TRUE(found.main);
    EXPECT_EQ(found.main->handle, term.window);
    EXPECT_EQ(windows->windows({"Named", 2001}).listed.front().title, "codex — 終端");
    EXPECT_EQ(windows->primaryScreenHeight(), 800);

    // The xterm is focused once the window manager activates it.
    x.run("xdotool", {"windowactivate", "--sync", QString::number(term.window)});
    ASSERT_TRUE(waitUntil([&] { return windows->frontmostApplication() == xterm; }, 3s));
    found = windows->windows(xterm);
    ASSERT_TRUE(found.focused);
    EXPECT_EQ(found.focused->handle, term.window);

    x.run("xdotool", {"windowminimize", "--sync", QString::number(term.window)});
    ASSERT_TRUE(waitUntil([&] { return windows->windows(xterm).listed.front().isMinimized == true; }, 3s));
    // The focused window is still the xterm's last focused one, as an application remembers it.
    EXPECT_EQ(windows->windows(xterm).focused->handle, term.window);

    EXPECT_TRUE(windows->windows({"XTerm", 1}).listed.empty());
}

TEST_F(WindowSystemOnX, announcesActivationDesktopsAndTheObservedApplicationsWindowChanges)
{
    XSession::Client first = x.startXterm({"-geometry", "80x24+10+10"});
    XSession::Client second = x.startXterm({"-geometry", "80x24+600+300"});
    ASSERT_NE(second.window, 0u) << x.error().toStdString();
    const RunningApplication observed{"XTerm", first.process->processId()};
    ASSERT_TRUE(runs("XTerm", observed.pid));
    QSignalSpy activated(windows.get(), &WindowSystem::applicationActivated);
    QSignalSpy desktops(windows.get(), &WindowSystem::activeDesktopChanged);
    QSignalSpy changes(windows.get(), &WindowSystem::observedWindowChanged);
    ASSERT_TRUE(windows->observe(observed));
    auto seen = [&](WindowChange change) {
        return waitUntil([&] {
            for (const QList<QVariant> &signal : changes) {
                if (signal.at(0).value<WindowChange>() == change)
                    return true;
            }
            return false;
        }, 3s);
    };

    x.run("xdotool", {"windowactivate", "--sync", QString::number(first.window)});
    ASSERT_TRUE(waitUntil([&] { return windows->frontmostApplication() == observed; }, 3s));
    x.run("xdotool", {"windowactivate", "--sync", QString::number(second.window)});
    ASSERT_TRUE(waitUntil([&] { return !activated.isEmpty() &&
                                       activated.last().at(0).value<RunningApplication>().pid ==
                                           second.process->processId(); }, 3s));
    EXPECT_TRUE(seen(WindowChange::focusChanged));

    changes.clear();
    x.configure(first.window, QRect(40, 40, 0, 0), true, false);
    EXPECT_TRUE(seen(WindowChange::moved));
    x.configure(first.window, QRect(0, 0, 300, 200), false, true);
    EXPECT_TRUE(seen(WindowChange::resized));

    // The other xterm's changes are not the observed application's.
    TestSupport::spin(100ms);
    changes.clear();
    x.configure(second.window, QRect(500, 200, 0, 0), true, false);
    TestSupport::spin(200ms);
    EXPECT_EQ(changes.count(), 0);

    x.run("xdotool", {"windowminimize", QString::number(first.window)});
    EXPECT_TRUE(seen(WindowChange::minimized));

    x.run("xdotool", {"set_desktop", "1"});
    EXPECT_TRUE(waitUntil([&] { return desktops.count() >= 1; }, 3s)) << x.error().toStdString();

    windows->stopObserving();
    TestSupport::spin(300ms); // openbox animates the minimising frame
    changes.clear();
    x.configure(first.window, QRect(80, 80, 0, 0), true, false);
    TestSupport::spin(200ms);
    EXPECT_EQ(changes.count(), 0);
}

TEST(WindowAccess, needsAnEwmhWindowManager)
{
    XSession x;
    ASSERT_TRUE(x.start({1024, 768}, false)) << x.error().toStdString();
    X11WindowSystem windows(openXcbConnection(x.displayName()));
    const XSession::Client term = x.startXterm(); // never listed: nobody manages windows yet
    ASSERT_TRUE(term.process) << x.error().toStdString();
    EXPECT_FALSE(windows.hasWindowAccess());
    EXPECT_TRUE(windows.runningApplications("XTerm").isEmpty());
    EXPECT_EQ(windows.primaryScreenHeight(), 768);

    // A window manager starting later grants access; the existing xterm becomes visible.
    ASSERT_TRUE(x.startWindowManager()) << x.error().toStdString();
    EXPECT_TRUE(waitUntil([&] { return windows.hasWindowAccess(); }, 3s));
    EXPECT_TRUE(waitUntil([&] { return windows.runningApplications("XTerm").size() == 1; }, 3s));

    // And it goes when the window manager goes.
    x.stopWindowManager();
    EXPECT_TRUE(waitUntil([&] { return !windows.hasWindowAccess(); }, 3s));
    EXPECT_TRUE(windows.runningApplications("XTerm").isEmpty());
}

TEST(WindowAccess, noServerMeansNoAccessAndEmptyAnswers)
{
    X11WindowSystem windows(openXcbConnection(":65001"));
    const RunningApplication xterm{"XTerm", 1};
    EXPECT_FALSE(windows.hasWindowAccess());
    EXPECT_TRUE(windows.runningApplications("XTerm").isEmpty());
    EXPECT_TRUE(windows.windows(xterm).listed.empty());
    EXPECT_FALSE(windows.frontmostApplication());
    EXPECT_EQ(windows.primaryScreenHeight(), 0);
    EXPECT_FALSE(windows.observe(xterm));
    windows.stopObserving();
}

TEST(WindowAccess, serverGoingAwayLeavesEmptyAnswers)
{
    auto x = std::make_unique<XSession>();
    ASSERT_TRUE(x->start()) << x->error().toStdString();
    X11WindowSystem windows(openXcbConnection(x->displayName()));
    const XSession::Client term = x->startXterm();
    ASSERT_NE(term.window, 0u) << x->error().toStdString();
    ASSERT_TRUE(waitUntil([&] { return windows.runningApplications("XTerm").size() == 1; }, 3s));
    const RunningApplication xterm = windows.runningApplications("XTerm").front();
    ASSERT_TRUE(windows.observe(xterm));
    x.reset();
    EXPECT_TRUE(waitUntil([&] { return !windows.hasWindowAccess(); }, 3s));
    EXPECT_TRUE(windows.runningApplications("XTerm").isEmpty());
    EXPECT_TRUE(windows.windows(xterm).listed.empty());
    EXPECT_EQ(windows.primaryScreenHeight(), 0);
    windows.stopObserving();
}

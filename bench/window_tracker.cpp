// Cost of one tracker refresh (with the fake, against Xvfb + openbox + xterm and against headless
// Sway + foot) and the tracker's CPU use while idle, attached to an xterm on a real X server, to a
// foot on Sway and to a window a compositor script reports over D-Bus (a private bus, the script
// played by this process); on Sway and D-Bus also the time from a window's move to its report.
#include "Platform/DBusDesktop/DBusDesktopWindowSystem.h"
#include "Platform/DBusDesktop/DesktopWindowsContract.h"
#include "Platform/FakeWindowSystem.h"
#include "Platform/Sway/SwayWindowSystem.h"
#include "Platform/X11/X11Display.h"
#include "Platform/X11/X11WindowSystem.h"
#include "Tracking/WindowTracker.h"
#include "support/SwaySession.h"
#include "support/XSession.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One X session for every benchmark of this program.
XSession &session()
{
    static XSession *x = [] {
        auto *started = new XSession;
        if (!started->start())
            std::fprintf(stderr, "X session: %s\n", qPrintable(started->error()));
        else if (started->startXterm({"-geometry", "80x24+100+100"}).window == 0)
            std::fprintf(stderr, "xterm: %s\n", qPrintable(started->error()));
        return started;
    }();
    return *x;
}

// One Sway session, with a foot to follow, for every benchmark of this program that needs it.
SwaySession &swaySession()
{
    static SwaySession *sway = [] {
        auto *started = new SwaySession;
        if (!started->start())
            std::fprintf(stderr, "Sway session: %s\n", qPrintable(started->error()));
        else if (started->startFoot(QStringLiteral("agent-term")) == 0)
            std::fprintf(stderr, "foot: %s\n", qPrintable(started->error()));
        return started;
    }();
    return *sway;
}

// The started tracker for `seconds` of an idle event loop: its CPU share and its reports.
void measureIdle(benchmark::State &state, WindowSystem &windows, const QString &appId)
{
    WindowTracker tracker(windows, [appId] { return appId; });
    int reports = 0;
    tracker.onChange = [&](const TargetWindowState &) { ++reports; };
    tracker.start();
    for (auto _ : state) {
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = cpuSeconds();
        QTimer::singleShot(20000, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
        const double cpu = cpuSeconds() - cpuBefore;
        state.counters["cpu_percent"] = 100.0 * cpu / (wall.elapsed() / 1000.0);
        state.counters["reports"] = reports;
    }
}

void refreshWithFake(benchmark::State &state)
{
    FakeWindowSystem windows;
    const RunningApplication xterm{"XTerm", 42};
    const WindowInfo content{1, QRectF(100, 100, 800, 600), false, QStringLiteral("claude")};
    windows.addApplication(xterm, {content, content, {content, WindowInfo{2, QRectF(0, 0, 720, 84), false, {}}}});
    WindowTracker tracker(windows, [] { return QStringLiteral("XTerm"); });
    tracker.attach();
    for (auto _ : state) {
        tracker.refreshNow();
        benchmark::DoNotOptimize(tracker.state());
    }
}
BENCHMARK(refreshWithFake)->Unit(benchmark::kMicrosecond);

// One refresh of a tracker attached to a real window of `target`, repeated.
void measureRefresh(benchmark::State &state, WindowSystem &windows, const QString &target)
{
    WindowTracker tracker(windows, [target] { return target; });
    tracker.attach();
    tracker.refreshNow();
    if (!tracker.state().frame) {
        state.SkipWithError("no frame of the target");
        return;
    }
    for (auto _ : state) {
        tracker.refreshNow();
        benchmark::DoNotOptimize(tracker.state());
    }
}

void refreshOnX(benchmark::State &state)
{
    X11WindowSystem windows(openXcbConnection(session().displayName()));
    measureRefresh(state, windows, QStringLiteral("XTerm"));
    QCoreApplication::processEvents();
}
BENCHMARK(refreshOnX)->Unit(benchmark::kMicrosecond);

// The started tracker attached to an idle xterm: only the half-second poll runs.
void idleCpu(benchmark::State &state)
{
    X11WindowSystem windows(openXcbConnection(session().displayName()));
    measureIdle(state, windows, QStringLiteral("XTerm"));
}
BENCHMARK(idleCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

void refreshOnSway(benchmark::State &state)
{
    SwayWindowSystem windows(swaySession().socketPath(), false);
    measureRefresh(state, windows, QStringLiteral("agent-term"));
}
BENCHMARK(refreshOnSway)->Unit(benchmark::kMicrosecond);

// Attached to an idle foot: the tracker's poll, and the observed tree's read every 40 ms.
void idleCpuOnSway(benchmark::State &state)
{
    SwayWindowSystem windows(swaySession().socketPath(), false);
    if (!windows.hasWindowAccess()) {
        state.SkipWithError("no Sway");
        return;
    }
    measureIdle(state, windows, QStringLiteral("agent-term"));
}
BENCHMARK(idleCpuOnSway)->Iterations(1)->Unit(benchmark::kMillisecond);

// From the moment swaymsg has moved the floating foot to the tracker's report of the new frame.
void moveToReportOnSway(benchmark::State &state)
{
    SwaySession &sway = swaySession();
    SwayWindowSystem windows(sway.socketPath(), false);
    WindowTracker tracker(windows, [] { return QStringLiteral("agent-term"); });
    std::optional<QRectF> reported;
    tracker.onChange = [&](const TargetWindowState &target) { reported = target.frame; };
    tracker.start();
    if (!windows.hasWindowAccess() || !sway.command(QStringLiteral("[app_id=agent-term] floating enable, resize set 700 400"))) {
        state.SkipWithError("no Sway");
        return;
    }
    std::vector<double> latencies;
    int step = 0;
    for (auto _ : state) {
        const int x = 100 + 10 * (step++ % 50);
        const QRectF expected = WindowTracker::appKitRect(QPointF(x, 200), QSizeF(700, 400), 1000);
        sway.command(QStringLiteral("[app_id=agent-term] move absolute position %1 200").arg(x));
        QElapsedTimer wall;
        wall.start();
        while (reported != expected && wall.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        latencies.push_back(double(wall.nsecsElapsed()) / 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.back();
}
BENCHMARK(moveToReportOnSway)->Iterations(30)->Unit(benchmark::kMillisecond);

// A private session bus with the compositor script's side on its own connection: it has said
// Hello and reported one konsole window at 950,50 600×500.
struct ScriptedDesktop {
    QProcess daemon;
    QDBusConnection compositor{QString()};
    std::unique_ptr<DBusDesktopWindowSystem> windows;

    bool start()
    {
        daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
        if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000))
            return false;
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        compositor = QDBusConnection::connectToBus(address, QStringLiteral("bench-compositor"));
        QDBusConnection corvane = QDBusConnection::connectToBus(address, QStringLiteral("bench-corvane"));
        windows = std::make_unique<DBusDesktopWindowSystem>(DesktopFamily::gnome, corvane);
        send("Hello", QVariantMap{{"screenWidth", 1600}, {"screenHeight", 1000}});
        send("WindowAdded", QVariantMap{{"id", "k"}, {"appId", "org.kde.konsole"}, {"pid", 42}, {"x", 950}, {"y", 50},
                                        {"width", 600}, {"height", 500}, {"title", "codex"}, {"focused", true}});
        QElapsedTimer wall;
        wall.start();
        while (windows->runningApplications(QStringLiteral("org.kde.konsole")).isEmpty() && wall.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        return windows->hasWindowAccess();
    }
    void send(const QString &method, const QVariant &argument)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(DesktopWindows::service, DesktopWindows::path,
                                                              DesktopWindows::interface, method);
        message << argument;
        compositor.asyncCall(message);
    }
    ~ScriptedDesktop()
    {
        windows.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("bench-compositor"));
        QDBusConnection::disconnectFromBus(QStringLiteral("bench-corvane"));
        daemon.kill();
        daemon.waitForFinished();
    }
};

// Attached to a reported window that does not change: the tracker's poll, nothing read from the bus.
void idleCpuOnDBus(benchmark::State &state)
{
    ScriptedDesktop desktop;
    if (!desktop.start()) {
        state.SkipWithError("no dbus-daemon");
        return;
    }
    measureIdle(state, *desktop.windows, QStringLiteral("org.kde.konsole"));
}
BENCHMARK(idleCpuOnDBus)->Iterations(1)->Unit(benchmark::kMillisecond);

// From the script's WindowChanged call to the tracker's report of the new frame.
void moveToReportOnDBus(benchmark::State &state)
{
    ScriptedDesktop desktop;
    if (!desktop.start()) {
        state.SkipWithError("no dbus-daemon");
        return;
    }
    WindowTracker tracker(*desktop.windows, [] { return QStringLiteral("org.kde.konsole"); });
    std::optional<QRectF> reported;
    tracker.onChange = [&](const TargetWindowState &target) { reported = target.frame; };
    tracker.start();
    std::vector<double> latencies;
    int step = 0;
    for (auto _ : state) {
        const int x = 100 + 10 * (step++ % 50);
        const QRectF expected = WindowTracker::appKitRect(QPointF(x, 200), QSizeF(600, 500), 1000);
        QElapsedTimer wall;
        wall.start();
        desktop.send("WindowChanged", QVariantMap{{"id", "k"}, {"x", x}, {"y", 200}});
        while (reported != expected && wall.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        latencies.push_back(double(wall.nsecsElapsed()) / 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.back();
}
BENCHMARK(moveToReportOnDBus)->Iterations(30)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete &session();
    delete &swaySession();
    return 0;
}

// Cost of one tracker refresh (with the fake and against Xvfb + openbox + xterm) and the
// tracker's CPU use while idle, attached to an xterm on a real X server.
#include "Platform/FakeWindowSystem.h"
#include "Platform/X11/X11Display.h"
#include "Platform/X11/X11WindowSystem.h"
#include "Tracking/WindowTracker.h"
#include "support/XSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>

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

void refreshOnX(benchmark::State &state)
{
    X11WindowSystem windows(openXcbConnection(session().displayName()));
    WindowTracker tracker(windows, [] { return QStringLiteral("XTerm"); });
    tracker.attach();
    tracker.refreshNow();
    if (!tracker.state().frame) {
        state.SkipWithError("no xterm frame");
        return;
    }
    for (auto _ : state) {
        tracker.refreshNow();
        benchmark::DoNotOptimize(tracker.state());
    }
    QCoreApplication::processEvents();
}
BENCHMARK(refreshOnX)->Unit(benchmark::kMicrosecond);

// The started tracker attached to an idle xterm: only the half-second poll runs.
void idleCpu(benchmark::State &state)
{
    X11WindowSystem windows(openXcbConnection(session().displayName()));
    WindowTracker tracker(windows, [] { return QStringLiteral("XTerm"); });
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
BENCHMARK(idleCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete &session();
    return 0;
}

// Cost of one compact-bar update per metrics tick, and the HUD's resident memory.
#include "HUD/HUDViewModel.h"
#include "HUD/HUDWindowController.h"
#include "HUD/Quick/QuickHUDPanel.h"
#include "Platform/FakeWindowSystem.h"
#include "support/XSession.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QQuickWindow>

#include <cstdio>

#include "../tests/HUD/FakeHUDSettings.h"

namespace {

ScopedMetrics working(int tick)
{
    ScopedMetrics scoped;
    scoped.scope = MetricsScope::of(DisplayAgent::codex);
    scoped.state = AgentState::working;
    scoped.elapsedInTurn = tick;
    scoped.sessionTotalTokens = 1'000'000 + tick * 1'000;
    scoped.contextTokens = 40'000 + tick;
    scoped.sessionCost = 0.5 + tick * 0.001;
    scoped.tps = 30 + tick % 20;
    for (int i = 0; i < 60; ++i)
        scoped.tpsHistory.append((i + tick) % 40);
    scoped.model = QStringLiteral("gpt-5");
    return scoped;
}

// One tick as the engine publishes it: a new projection, the bar rebuilt and compared.
void BM_CompactBarUpdatePerTick(benchmark::State &state)
{
    HUDState hudState;
    FakeHUDSettings settings;
    HUDViewModel model(hudState, settings, nullptr);
    int tick = 0;
    for (auto _ : state) {
        model.setScoped(working(++tick));
        benchmark::DoNotOptimize(model.bar());
    }
}
BENCHMARK(BM_CompactBarUpdatePerTick);

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// The same tick rendered by the real HUD window on Xvfb (software rendering), and the process's
// resident memory with the HUD shown.
void BM_CompactBarRenderPerTick(benchmark::State &state)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        state.SkipWithError("needs the X session the main function starts");
        return;
    }
    const long before = residentKiB();
    FakeWindowSystem windows;
    windows.addApplication({QStringLiteral("XTerm"), 1});
    FakeHUDSettings settings;
    HUDWindowController controller(windows, settings, nullptr, nullptr, QuickHUDPanel::factory());
    controller.show();
    controller.setLastTarget({QRectF(20, 200, 1240, 300), false, true, false});
    controller.applyFrame();
    auto *window = dynamic_cast<QQuickWindow *>(QGuiApplication::topLevelWindows().value(0));
    int tick = 0;
    for (int i = 0; i < 50; ++i)
        QCoreApplication::processEvents();
    for (auto _ : state) {
        controller.viewModel().setScoped(working(++tick));
        if (window)
            benchmark::DoNotOptimize(window->grabWindow()); // forces a full render of the frame
    }
    state.counters["rss_KiB_before_hud"] = double(before);
    state.counters["rss_KiB_hud_shown"] = double(residentKiB());
}
BENCHMARK(BM_CompactBarRenderPerTick)->Iterations(200)->Unit(benchmark::kMicrosecond);

} // namespace

// The HUD renders on a private Xvfb with openbox: the session is started first and the benchmarks
// run in a child process connected to it (the application object must see that display only).
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("CORVANE_BENCH_IN_XSESSION")) {
        QCoreApplication core(argc, argv);
        XSession session;
        if (!session.start()) {
            std::fprintf(stderr, "X session: %s\n", qPrintable(session.error()));
            return 1;
        }
        QProcessEnvironment environment = session.environment();
        environment.insert(QStringLiteral("CORVANE_BENCH_IN_XSESSION"), QStringLiteral("1"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QString::fromLocal8Bit(argv[0]), arguments);
        child.waitForFinished(-1);
        return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
    }
    std::fprintf(stderr, "resident before the application: %ld KiB\n", residentKiB());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

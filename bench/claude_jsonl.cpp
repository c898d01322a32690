// The Claude Code transcript adapter: parse rate of one large burst, and the delay from a line's
// append to its events on the main thread.
#include "Telemetry/Adapters/ClaudeCodeJSONLAdapter.h"
#include "Telemetry/Adapters/ClaudeTranscriptLine.h"
#include "Telemetry/EventBus.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

// A real recorded session: user and assistant lines among attachments and request records of
// up to 62 KB, as Claude Code writes them.
QByteArray recordedSession()
{
    QFile file(QStringLiteral(CORVANE_SAMPLES_DIR) +
               "/claude/projects/-home-dev-projects-alpha/38a6d5d9-3a46-4d9a-95e1-831121a6193a.jsonl");
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// The recorded session repeated until `bytes`, each copy with its own line and response ids.
QByteArray generatedTranscript(qsizetype bytes, qsizetype &lines)
{
    const QString session = QString::fromUtf8(recordedSession());
    static const QRegularExpression ids(QStringLiteral("\"(uuid|parentUuid|id|requestId)\":\"([^\"]+)\""));
    QByteArray out;
    out.reserve(bytes + session.size());
    for (int copy = 0; out.size() < bytes; ++copy) {
        QString text = session;
        text.replace(ids, QStringLiteral("\"\\1\":\"\\2-%1\"").arg(copy));
        out += text.toUtf8();
    }
    lines = out.count('\n');
    return out;
}

void append(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Append);
    file.write(bytes);
}

bool waitFor(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(60000);
    // Sleeps until something is posted: a spinning main thread would take the adapter's core.
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// Splitting and parsing alone, on the calling thread.
void BM_ParseLines(benchmark::State &state)
{
    qsizetype lines = 0;
    const QByteArray transcript = generatedTranscript(64 << 20, lines);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (auto _ : state) {
        qsizetype events = 0;
        for (qsizetype start = 0; start < transcript.size();) {
            const qsizetype end = transcript.indexOf('\n', start);
            events += ClaudeTranscriptLine::parse(QByteArrayView(transcript).sliced(start, end - start), "f", now)
                          .events.size();
            start = end + 1;
        }
        benchmark::DoNotOptimize(events);
    }
    state.SetBytesProcessed(state.iterations() * transcript.size());
    state.counters["lines/s"] = benchmark::Counter(double(lines), benchmark::Counter::kIsIterationInvariantRate);
}

// The whole adapter: a new 64 MiB transcript written in one go, from the end of the write until
// its last line's events reach the main thread. "Time" includes the 0.2 s coalescing; the
// rate counters leave it out (it is a fixed wait, not work).
void BM_AdapterBurst(benchmark::State &state)
{
    qsizetype lines = 0;
    const QByteArray transcript = generatedTranscript(64 << 20, lines);
    const QByteArray sentinel = R"({"type":"user","sessionId":"sentinel","message":{}})" "\n";
    double working = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        EventBus bus;
        bool done = false;
        qsizetype events = 0;
        QObject context;
        QObject::connect(&bus, &EventBus::eventPublished, &context, [&](const AgentEvent &event) {
            ++events;
            done = done || event.sessionId == QLatin1String("sentinel");
        });
        ClaudeCodeJSONLAdapter adapter(bus, dir.path()); // a file first seen after start is read whole
        adapter.start();
        append(dir.path() + "/burst.jsonl", transcript + sentinel);
        QElapsedTimer timer;
        timer.start();
        if (!waitFor([&] { return done; }))
            state.SkipWithError("events did not arrive");
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        state.SetIterationTime(seconds);
        working += seconds - 0.2;
        state.counters["events"] = double(events);
    }
    state.counters["MB/s"] = double(state.iterations()) * double(transcript.size()) / 1e6 / working;
    state.counters["lines/s"] = double(state.iterations()) * double(lines) / working;
}

// One user line appended after a 42 KB request-shape line, as Claude Code writes them, until
// its turn start is delivered on the main thread.
void BM_AppendToMainThreadLatency(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/live.jsonl";
    append(path, "");
    EventBus bus;
    int delivered = 0;
    QObject context;
    QObject::connect(&bus, &EventBus::eventPublished, &context, [&](const AgentEvent &) { ++delivered; });
    ClaudeCodeJSONLAdapter adapter(bus, dir.path());
    adapter.start();
    const QByteArray session = recordedSession();
    QByteArray shape;
    for (const QByteArray &line : session.split('\n')) {
        if (line.contains("\"type\":\"api-request-shape\""))
            shape = line + "\n";
    }
    std::vector<double> samples;
    int n = 0;
    for (auto _ : state) {
        const QByteArray line = QByteArray(R"({"type":"user","sessionId":"s","uuid":"u)") + QByteArray::number(n++) +
                                R"(","message":{"content":"x"}})" "\n";
        const int before = delivered;
        QElapsedTimer timer;
        timer.start();
        append(path, shape + line);
        waitFor([&] { return delivered > before; });
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        samples.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[std::min(samples.size() - 1, size_t(q * double(samples.size())))]; };
    state.counters["p50_ms"] = at(0.50) * 1e3;
    state.counters["p99_ms"] = at(0.99) * 1e3;
    state.counters["max_ms"] = samples.back() * 1e3;
}

} // namespace

BENCHMARK(BM_ParseLines)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_AdapterBurst)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_AppendToMainThreadLatency)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(200);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

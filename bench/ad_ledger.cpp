// How long the ad ledger takes to read back, and the pilot report to summarise it, at sizes a busy
// month (100k view ticks, about 140 hours of watched turns) and a busy year reach.
#include "Ads/AdLedger.h"
#include "Ads/AdPilotReport.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QString writeLedger(const QTemporaryDir &dir, int events)
{
    const QString path = dir.filePath(QStringLiteral("ad-ledger-%1.jsonl").arg(events));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-20);
    for (int i = 0; i < events; ++i) {
        const AdEventType type = i % 100 == 0 ? AdEventType::impressionRendered
                                 : i % 250 == 0 ? AdEventType::click
                                                : AdEventType::viewTick;
        const AdEvent event = AdEvent::make(QStringLiteral("campaign-%1").arg(i % 3), type, start.addSecs(i * 5),
                                            QStringLiteral("codex"));
        file.write(QJsonDocument(event.toJson()).toJson(QJsonDocument::Compact) + '\n');
    }
    return path;
}

void LedgerLoad(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = writeLedger(dir, static_cast<int>(state.range(0)));
    AdLedger ledger(path);
    for (auto _ : state)
        benchmark::DoNotOptimize(ledger.loadEvents());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(LedgerLoad)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void ReportGenerate(benchmark::State &state)
{
    QTemporaryDir dir;
    const AdPilotReport::Files files{writeLedger(dir, static_cast<int>(state.range(0))),
                                     dir.filePath(QStringLiteral("campaigns.json")),
                                     dir.filePath(QStringLiteral("queue.jsonl")),
                                     dir.filePath(QStringLiteral("cache.json")),
                                     dir.filePath(QStringLiteral("events.sqlite")),
                                     dir.filePath(QStringLiteral("Reports"))};
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (auto _ : state)
        benchmark::DoNotOptimize(AdPilotReport::generate(now.addDays(-30), now, files, {}, now));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ReportGenerate)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

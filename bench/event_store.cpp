// The event store and the metrics engine on a generated database of 1,000,000 events over
// 5,000 sessions and 30 days, each measured beside a bare SQLite C API baseline on the same file.
#include "Persistence/EventStore.h"
#include "Platform/ManualClock.h"
#include "Telemetry/MetricsEngine.h"
#include "Telemetry/PricingTable.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int sessionCount = 5000;
constexpr int eventsPerSession = 200;
constexpr int dayCount = 30;
constexpr int insertCount = 4000;

struct Row {
    double ts;
    int session;
    int kind; // 0 turnStarted, 1 turnEnded, 2 tokenUsage, 3 toolCall, 4 modelInfo, 5 approvalRequested
    qint64 input, output, cached;
    int tool;
};

const char *const kindNames[] = {"turnStarted", "turnEnded", "tokenUsage", "toolCall", "modelInfo", "approvalRequested"};
const char *const models[] = {"gpt-5.5", "gpt-5.4", "gpt-5-codex", "claude-sonnet-4-5"};
const char *const tools[] = {"shell", "apply_patch", "Read", "Edit", "Bash", "Grep"};
const AgentSource sessionSources[] = {AgentSource::codexOtel, AgentSource::codexOtel, AgentSource::codexOtel,
                                      AgentSource::codexOtel, AgentSource::codexNotify, AgentSource::codexDesktopSession,
                                      AgentSource::claudeCodeJsonl, AgentSource::claudeCodeJsonl,
                                      AgentSource::claudeCodeJsonl, AgentSource::mock};

struct Fixture {
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    ManualClock clock{now};
    std::unique_ptr<PricingTable> pricing;
    std::unique_ptr<EventStore> store;
    QString path;

    Fixture()
    {
        path = dir.filePath("events.sqlite");
        pricing = std::make_unique<PricingTable>(dir.filePath("pricing.json"));
        generate();
        store = EventStore::open(path, clock);
    }

    static AgentSource sourceOf(int session) { return sessionSources[session % 10]; }
    static const char *modelOf(int session) { return models[(session / 10) % 4]; }

    // Sessions start anywhere in the last 30 days; their events follow each other by 1 to 20 s
    // in turns of token usages and tool calls. Rows are written in time order, as they arrive.
    void generate() const
    {
        EventStore::open(path); // creates the schema and indexes
        std::mt19937_64 random(42);
        const double end = now.toMSecsSinceEpoch() / 1000.0 - 3600;
        std::uniform_real_distribution<double> start(end - dayCount * 86400.0 + 3600, end);
        std::vector<Row> rows;
        rows.reserve(sessionCount * eventsPerSession);
        for (int session = 0; session < sessionCount; ++session) {
            double ts = start(random);
            int left = eventsPerSession;
            const auto add = [&](int kind, qint64 in = 0, qint64 out = 0, qint64 cached = 0, int tool = 0) {
                ts += 1 + static_cast<double>(random() % 19000) / 1000.0;
                rows.push_back({ts, session, kind, in, out, cached, tool});
                --left;
            };
            add(4);
            while (left > 0) {
                add(0);
                for (int i = 0; i < 6 && left > 1; ++i) {
                    const qint64 in = 5000 + static_cast<qint64>(random() % 150000);
                    add(2, in, 20 + static_cast<qint64>(random() % 2000), in * 8 / 10);
                    if (left > 1 && random() % 2)
                        add(3, 0, 0, 0, static_cast<int>(random() % 6));
                }
                if (left > 0)
                    add(random() % 8 == 0 ? 5 : 1);
            }
        }
        std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.ts < b.ts; });

        sqlite3 *db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        sqlite3_exec(db, "PRAGMA cache_size=-262144; BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO events VALUES (?,?,?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
        char id[40];
        char session[32];
        for (std::size_t n = 0; n < rows.size(); ++n) {
            const Row &row = rows[n];
            std::snprintf(id, sizeof id, "%08X-0000-4000-8000-%012zX", static_cast<unsigned>(random()), n);
            std::snprintf(session, sizeof session, "session-%d", row.session);
            sqlite3_bind_text(insert, 1, id, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 2, rawValue(sourceOf(row.session)).toLatin1().constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 3, session, -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(insert, 4, row.ts);
            sqlite3_bind_text(insert, 5, kindNames[row.kind], -1, SQLITE_STATIC);
            for (int column = 6; column <= 11; ++column)
                sqlite3_bind_null(insert, column);
            if (row.kind == 2) {
                sqlite3_bind_int64(insert, 6, row.input);
                sqlite3_bind_int64(insert, 7, row.output);
                sqlite3_bind_int64(insert, 8, row.cached);
            }
            if (row.kind == 3) {
                sqlite3_bind_text(insert, 9, tools[row.tool], -1, SQLITE_STATIC);
                sqlite3_bind_int64(insert, 11, 100 + row.tool * 37);
            }
            sqlite3_bind_text(insert, 10, modelOf(row.session), -1, SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    // A bare connection configured like the store's.
    sqlite3 *bareConnection() const
    {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(db, 5000);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        return db;
    }
};

Fixture *fixture = nullptr;

// Reads every column of every row, as a program converting them would.
qint64 drain(sqlite3_stmt *statement)
{
    qint64 sum = 0;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int column = 0; column < sqlite3_column_count(statement); ++column) {
            if (sqlite3_column_type(statement, column) == SQLITE_TEXT)
                sum += sqlite3_column_bytes(statement, column);
            else
                sum += sqlite3_column_int64(statement, column);
        }
    }
    return sum;
}

void BM_BareRecentSessionsQuery(benchmark::State &state)
{
    sqlite3 *db = fixture->bareConnection();
    for (auto _ : state) {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db, R"sql(WITH recent_sessions AS (
    SELECT source, session FROM events GROUP BY source, session ORDER BY MAX(ts) DESC LIMIT ?)
SELECT e.id, e.source, e.session, e.ts, e.kind, e.input, e.output, e.cached, e.tool, e.model, e.duration_ms
FROM events e JOIN recent_sessions r ON e.source = r.source AND e.session = r.session
ORDER BY e.ts ASC)sql", -1, &statement, nullptr);
        sqlite3_bind_int(statement, 1, 24);
        benchmark::DoNotOptimize(drain(statement));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
}

void BM_RecentSessionsAndReplay(benchmark::State &state)
{
    qsizetype events = 0;
    for (auto _ : state) {
        const QList<StoredAgentEvent> stored = fixture->store->recentSessionEvents(24);
        MetricsEngine engine(*fixture->pricing, nullptr, {}, Environment{&fixture->clock});
        for (const StoredAgentEvent &event : stored)
            engine.apply(event.event, false, event.modelAtEvent);
        events = stored.size();
        benchmark::DoNotOptimize(engine.agents().size());
    }
    state.counters["events"] = static_cast<double>(events);
}

void BM_EngineConstructionWithStore(benchmark::State &state)
{
    for (auto _ : state) {
        MetricsEngine engine(*fixture->pricing, fixture->store.get(), {}, Environment{&fixture->clock});
        benchmark::DoNotOptimize(engine.dailyAll().size());
    }
}

// range(0) 0: through the time index only, as with the store's own indexes; 1: the planner's choice.
void BM_BareDailyTokenQuery(benchmark::State &state)
{
    sqlite3 *db = fixture->bareConnection();
    const double start = fixture->now.addDays(-7).toMSecsSinceEpoch() / 1000.0;
    const char *sql = state.range(0) == 0
        ? "SELECT ts, input, output, cached, model FROM events INDEXED BY idx_events_ts WHERE kind = 'tokenUsage' AND ts >= ?"
        : "SELECT ts, input, output, cached, model FROM events WHERE kind = 'tokenUsage' AND ts >= ?";
    state.SetLabel(state.range(0) == 0 ? "ts index" : "planner");
    for (auto _ : state) {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        sqlite3_bind_double(statement, 1, start);
        benchmark::DoNotOptimize(drain(statement));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
}

void BM_DailyAggregates7(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture->store->dailyAggregates(7, *fixture->pricing));
}

void BM_EngineRefreshFromStore(benchmark::State &state)
{
    MetricsEngine engine(*fixture->pricing, fixture->store.get(), {}, Environment{&fixture->clock});
    for (auto _ : state)
        engine.refreshFromStore();
}

void BM_ReportSummaries7(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture->store->reportSummaries(fixture->now.addDays(-7), fixture->now));
}

void BM_Scoped(benchmark::State &state)
{
    MetricsEngine engine(*fixture->pricing, fixture->store.get(), [] { return std::optional<QString>("session-1"); },
                         Environment{&fixture->clock});
    for (int i = 0; i < 60; ++i)
        engine.tick(fixture->now.addSecs(i));
    const std::optional<MetricsScope> scope =
        state.range(0) == 0 ? MetricsScope::aggregate() : MetricsScope::of(DisplayAgent::codex);
    for (auto _ : state)
        benchmark::DoNotOptimize(engine.scoped(scope));
    state.SetLabel(state.range(0) == 0 ? "aggregate" : "codex");
}

void BM_LatestCodexTimestamp(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(fixture->store->latestEventTimestamp(sources(DisplayAgent::codex)));
}

void BM_BareLatestCodexTimestamp(benchmark::State &state)
{
    sqlite3 *db = fixture->bareConnection();
    for (auto _ : state) {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db, "SELECT MAX(ts) FROM events WHERE source IN ('codexOtel','codexNotify','codexDesktopSession')",
                           -1, &statement, nullptr);
        benchmark::DoNotOptimize(drain(statement));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
}

void BM_Open(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(EventStore::open(fixture->path));
}

constexpr const char *insertSql = "INSERT OR IGNORE INTO events (id, source, session, ts, kind, input, output, "
                                  "cached, tool, model, duration_ms) VALUES (?,?,?,?,?,?,?,?,?,?,?)";

// One implicit transaction per row; range(0) 1: the statement prepared once (the fastest way),
// 0: prepared and finalized per row as the store does.
void BM_BareInsert(benchmark::State &state)
{
    const bool prepareOnce = state.range(0) == 1;
    sqlite3 *db = fixture->bareConnection();
    sqlite3_stmt *insert = nullptr;
    if (prepareOnce)
        sqlite3_prepare_v2(db, insertSql, -1, &insert, nullptr);
    std::vector<QByteArray> ids;
    for (int i = 0; i < insertCount; ++i)
        ids.push_back(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1());
    double ts = fixture->now.toMSecsSinceEpoch() / 1000.0;
    int n = 0;
    for (auto _ : state) {
        if (!prepareOnce)
            sqlite3_prepare_v2(db, insertSql, -1, &insert, nullptr);
        sqlite3_bind_text(insert, 1, ids[n].constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, "codexOtel", -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, prepareOnce ? "bare-insert" : "bare-insert-prepared", -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(insert, 4, ts + n * 0.25);
        sqlite3_bind_text(insert, 5, "tokenUsage", -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 6, 12000 + n);
        sqlite3_bind_int64(insert, 7, 300);
        sqlite3_bind_int64(insert, 8, 9000);
        sqlite3_bind_null(insert, 9);
        sqlite3_bind_text(insert, 10, "gpt-5.5", -1, SQLITE_TRANSIENT);
        sqlite3_bind_null(insert, 11);
        if (sqlite3_step(insert) != SQLITE_DONE)
            state.SkipWithError("insert failed");
        if (prepareOnce) {
            sqlite3_reset(insert);
        } else {
            sqlite3_finalize(insert);
            insert = nullptr;
        }
        ++n;
    }
    state.SetItemsProcessed(n);
    state.SetLabel(prepareOnce ? "prepared once" : "prepared per row");
    sqlite3_finalize(insert);
    sqlite3_close(db);
}

void BM_StoreInsert(benchmark::State &state)
{
    std::vector<AgentEvent> events;
    const QDateTime base = fixture->now.addSecs(3600);
    for (int i = 0; i < insertCount; ++i)
        events.push_back(AgentEvent::make(AgentSource::codexOtel, "store-insert", TokenUsage{12000 + i, 300, 9000},
                                          base.addMSecs(i * 250)));
    const std::optional<QString> model = QStringLiteral("gpt-5.5");
    int n = 0;
    for (auto _ : state) {
        if (!fixture->store->insert(events[n], model))
            state.SkipWithError("insert failed");
        ++n;
    }
    state.SetItemsProcessed(n);
}

} // namespace

BENCHMARK(BM_BareRecentSessionsQuery)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RecentSessionsAndReplay)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_EngineConstructionWithStore)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BareDailyTokenQuery)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DailyAggregates7)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_EngineRefreshFromStore)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReportSummaries7)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Scoped)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LatestCodexTimestamp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareLatestCodexTimestamp)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->Iterations(3);
// Rates in wall time: an insert includes its write to the WAL.
BENCHMARK(BM_BareInsert)->Arg(1)->Iterations(insertCount)->UseRealTime();
BENCHMARK(BM_BareInsert)->Arg(0)->Iterations(insertCount)->UseRealTime();
BENCHMARK(BM_StoreInsert)->Iterations(insertCount)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    std::fprintf(stderr, "generating %d events over %d sessions and %d days...\n", sessionCount * eventsPerSession,
                 sessionCount, dayCount);
    Fixture data;
    fixture = &data;
    std::fprintf(stderr, "rows: %lld\n", static_cast<long long>(data.store->eventCount()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

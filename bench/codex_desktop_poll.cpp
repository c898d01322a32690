// The Codex desktop session adapter: the cost of one poll when nothing changed.
#include "Telemetry/Adapters/CodexDesktopSessionAdapter.h"
#include "Telemetry/Adapters/CodexThreadDatabase.h"
#include "Telemetry/EventBus.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

namespace {

const QString thread = QStringLiteral("01a25d1c-4123-7f52-9c43-d963658a52e6");

QString writeRollouts(const QString &codex, int count)
{
    QFile recorded(QStringLiteral(CORVANE_SAMPLES_DIR) + "/codex/exec/rollout-2026-12-09T23-21-02-" + thread + ".jsonl");
    recorded.open(QIODevice::ReadOnly);
    const QByteArray content = recorded.readAll();
    QString followed;
    for (int i = 0; i < count; ++i) {
        const QString dir = codex + QStringLiteral("/sessions/2026/%1/%2").arg(1 + i / 300).arg(1 + i % 28);
        QDir().mkpath(dir);
        const QString id = i == 0 ? thread : QStringLiteral("01a25d1c-0000-0000-0000-%1").arg(i, 12, 10, QLatin1Char('0'));
        QFile file(dir + "/rollout-" + id + ".jsonl");
        file.open(QIODevice::WriteOnly);
        file.write(content);
        if (i == 0)
            followed = file.fileName();
    }
    return followed;
}

void createDatabase(const QString &codex, const QString &followed)
{
    QFile schemaFile(QStringLiteral(CORVANE_SAMPLES_DIR) + "/codex/exec/state_5.schema.sql");
    schemaFile.open(QIODevice::ReadOnly);
    QByteArray schema = schemaFile.readAll().replace("CREATE TABLE sqlite_sequence(name,seq);", "");
    sqlite3 *db = nullptr;
    sqlite3_open(CodexThreadDatabase::databasePath(codex).toUtf8().constData(), &db);
    sqlite3_exec(db, ("BEGIN;" + schema + "COMMIT;").constData(), nullptr, nullptr, nullptr);
    // Many threads, as a long-used installation has.
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < 2000; ++i) {
        const QString id = i == 0 ? thread : QStringLiteral("t-%1").arg(i);
        const QByteArray sql = QStringLiteral("INSERT INTO threads (id, rollout_path, created_at, updated_at, source, "
                                              "model_provider, cwd, title, sandbox_policy, approval_mode, has_user_event, "
                                              "model, updated_at_ms) VALUES ('%1', '%2', 0, 0, 'cli', 'openai', '/p', "
                                              "'t', '{}', 'never', 1, 'gpt-5.5', %3)")
                                   .arg(id, i == 0 ? followed : QStringLiteral("/gone"))
                                   .arg(i == 0 ? 9999999 : i)
                                   .toUtf8();
        sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// state.range(0): 1 with the thread index, 0 without it (the directory scan over range(1) files).
void BM_IdlePoll(benchmark::State &state)
{
    QTemporaryDir home;
    const QString codex = home.path() + "/.codex";
    const QString followed = writeRollouts(codex, int(state.range(1)));
    if (state.range(0))
        createDatabase(codex, followed);
    EventBus bus;
    CodexDesktopSessionAdapter adapter(bus, home.path());
    adapter.pollNow(); // seeds from the tail
    QCoreApplication::processEvents();
    for (auto _ : state)
        adapter.pollNow();
    QCoreApplication::processEvents();
}

// The hand-off to the adapter's thread with a poll that finds no Codex data, to set against the others.
void BM_ThreadHandOff(benchmark::State &state)
{
    QTemporaryDir home; // no Codex data: the poll returns at once
    EventBus bus;
    CodexDesktopSessionAdapter adapter(bus, home.path());
    for (auto _ : state)
        adapter.pollNow();
}

} // namespace

BENCHMARK(BM_IdlePoll)->ArgNames({"database", "files"})->Args({1, 1})->Args({1, 1000})->Args({0, 1})->Args({0, 1000})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ThreadHandOff)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "Telemetry/Adapters/CodexDesktopSessionAdapter.h"
#include "Telemetry/Adapters/CodexThreadDatabase.h"

#include "AdapterTestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace std::chrono_literals;
using AdapterTest::appendFile;
using AdapterTest::EventRecorder;

namespace {

const QString threadA = "01a25d1c-4123-7f52-9c43-d963658a52e6";
const QString threadB = "01a25d1c-5979-7290-b343-8bd485314bbd";

QByteArray tokenCount(qint64 input, qint64 output)
{
    return QByteArray(R"({"timestamp":"2026-12-09T23:21:04.600Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":)") +
           QByteArray::number(input) + R"(,"cached_input_tokens":100,"output_tokens":)" + QByteArray::number(output) +
           R"(,"reasoning_output_tokens":0,"total_tokens":0},"last_token_usage":{"input_tokens":50,"total_tokens":60},"model_context_window":258400}}})" + "\n";
}

void setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
}

void exec(sqlite3 *db, const QByteArray &sql)
{
    char *error = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
}

class CodexDesktopTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QString codex = home.filePath(".codex");
    ManualClock clock{QDateTime::fromString("2030-01-01T00:00:00.000Z", Qt::ISODateWithMs)};
    EventBus bus;
    EventRecorder recorder{bus};
    CodexDesktopSessionAdapter adapter{bus, home.path(), Environment{&clock}};

    QString rollout(const QString &thread, const char *day = "09") const
    {
        return codex + "/sessions/2026/12/" + day + "/rollout-2026-12-09T23-21-02-" + thread + ".jsonl";
    }
    // A rollout file last written long before the clock's now, so that it counts as idle.
    QString writeRollout(const QString &thread, const QByteArray &content, const char *day = "09")
    {
        const QString path = rollout(thread, day);
        TestSupport::writeFile(path, content);
        setModified(path, clock.now().addDays(-1));
        return path;
    }
    // The thread index with Codex's own schema (as recorded from the real CLI).
    void createDatabase()
    {
        QByteArray schema = TestSupport::readFile(TestSupport::samplesDir() + "/codex/exec/state_5.schema.sql");
        schema.replace("CREATE TABLE sqlite_sequence(name,seq);", ""); // made by SQLite itself
        QDir().mkpath(codex);
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(CodexThreadDatabase::databasePath(codex).toUtf8().constData(), &db), SQLITE_OK);
        exec(db, "BEGIN;" + schema + "COMMIT;");
        sqlite3_close(db);
    }
    void addThread(const QString &id, const QString &path, qint64 updatedAtMs, int hasUserEvent = 1,
                   const char *nickname = "NULL", int archived = 0, const char *model = "'gpt-5.5'")
    {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(CodexThreadDatabase::databasePath(codex).toUtf8().constData(), &db), SQLITE_OK);
        exec(db, QStringLiteral("PRAGMA synchronous = OFF; INSERT INTO threads (id, rollout_path, created_at, updated_at, source, model_provider, "
                                "cwd, title, sandbox_policy, approval_mode, has_user_event, archived, agent_nickname, "
                                "model, updated_at_ms) VALUES ('%1', '%2', 0, 0, 'cli', 'openai', '/p', 't', '{}', "
                                "'never', %3, %4, %5, %6, %7)")
                     .arg(id, path)
                     .arg(hasUserEvent)
                     .arg(archived)
                     .arg(QString::fromLatin1(nickname), QString::fromLatin1(model))
                     .arg(updatedAtMs)
                     .toUtf8());
        sqlite3_close(db);
    }
    std::vector<SessionSnapshot> snapshots()
    {
        std::vector<SessionSnapshot> found;
        for (const AgentEvent &event : recorder.ofKind<SessionSnapshot>())
            found.push_back(std::get<SessionSnapshot>(event.kind));
        return found;
    }
};

TEST_F(CodexDesktopTest, CurrentUserThreadQueryOnCodexsSchema)
{
    EXPECT_FALSE(adapter.currentUserThreadId().has_value()); // no database
    createDatabase();
    EXPECT_FALSE(adapter.currentUserThreadId().has_value()); // no threads
    addThread("recorded", "/r", 900, 0);                     // as the CLI records it: no user event
    addThread("subagent", "/s", 800, 1, "'Ada'");
    addThread("archived", "/a", 700, 1, "NULL", 1);
    addThread("older", "/o", 100, 1, "''");
    addThread("newer", "/n", 200, 1, "NULL", 0, "''");
    const auto thread = CodexThreadDatabase::currentUserThread(codex);
    ASSERT_TRUE(thread.has_value());
    EXPECT_EQ(*thread, (CodexCurrentThread{"newer", "/n", std::nullopt}));
    EXPECT_EQ(CodexThreadDatabase::model(codex, "older"), "gpt-5.5");
    EXPECT_FALSE(CodexThreadDatabase::model(codex, "newer").has_value());

    // Asked from another thread while the adapter polls on its own.
    std::optional<QString> fromWorker;
    std::unique_ptr<QThread> worker(QThread::create([&] { fromWorker = adapter.currentUserThreadId(); }));
    worker->start();
    adapter.pollNow();
    worker->wait();
    EXPECT_EQ(fromWorker, "newer");
}

TEST_F(CodexDesktopTest, DatabaseWithoutThreadsTableYieldsNothing)
{
    QDir().mkpath(codex);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(CodexThreadDatabase::databasePath(codex).toUtf8().constData(), &db), SQLITE_OK);
    exec(db, "CREATE TABLE other (id TEXT)");
    sqlite3_close(db);
    EXPECT_FALSE(CodexThreadDatabase::currentUserThread(codex).has_value());
}

TEST_F(CodexDesktopTest, FollowsTheDatabasesThreadOverAMoreRecentlyModifiedFile)
{
    const QByteArray recorded = TestSupport::readFile(
        TestSupport::samplesDir() + "/codex/exec/rollout-2026-12-09T23-21-02-" + threadA + ".jsonl");
    const QString followed = writeRollout(threadA, recorded);
    const QString background = writeRollout(threadB, tokenCount(99999, 1), "10");
    setModified(background, clock.now().addSecs(-3600)); // newer than the followed one
    createDatabase();
    addThread(threadA, followed, 1000);

    adapter.pollNow();
    // The recording's token counts carry plan limits, announced first.
    ASSERT_EQ(recorder.kindNames(), (std::vector<QString>{"planLimits", "modelInfo", "sessionSnapshot"}));
    const AgentEvent model = recorder.events()[1];
    EXPECT_EQ(model.kind, AgentEventKind(ModelInfo{"gpt-5.5"}));
    EXPECT_EQ(model.sessionId, threadA);
    EXPECT_EQ(model.source, AgentSource::codexDesktopSession);
    // The last token count of the recorded thread.
    const SessionSnapshot expected{3213, 1060, 3011, 202, 611, 258400, 1005};
    EXPECT_EQ(snapshots(), std::vector<SessionSnapshot>{expected});
    EXPECT_EQ(recorder.events()[2].timestamp, QDateTime::fromString("2026-12-09T23:21:04.600Z", Qt::ISODateWithMs));
}

TEST_F(CodexDesktopTest, WithoutDatabaseTheNewestRolloutWins)
{
    writeRollout(threadA, tokenCount(1000, 10));
    const QString newer = writeRollout(threadB, tokenCount(2000, 20), "10");
    setModified(newer, clock.now().addSecs(-60));
    TestSupport::writeFile(codex + "/sessions/.hidden/rollout-x.jsonl", tokenCount(3000, 30)); // modified now
    TestSupport::writeFile(codex + "/sessions/notes.txt", "x");
    adapter.pollNow();
    ASSERT_EQ(snapshots().size(), 1u);
    EXPECT_EQ(snapshots()[0].inputTokens, 2000);
    EXPECT_EQ(recorder.ofKind<SessionSnapshot>()[0].sessionId, threadB);
    EXPECT_TRUE(recorder.ofKind<ModelInfo>().empty()); // no database, no model
}

TEST_F(CodexDesktopTest, PublishesOneSnapshotPerChange)
{
    const QString path = writeRollout(threadA, tokenCount(1000, 10));
    createDatabase();
    addThread(threadA, path, 1000);
    adapter.pollNow();
    adapter.pollNow(); // unchanged
    appendFile(path, tokenCount(1000, 10)); // same totals
    adapter.pollNow();
    EXPECT_EQ(snapshots().size(), 1u);

    appendFile(path, tokenCount(1500, 10) + tokenCount(1800, 30));
    adapter.pollNow();
    ASSERT_EQ(snapshots().size(), 2u);
    EXPECT_EQ(snapshots()[1].inputTokens, 1800); // the latest of the new lines
    EXPECT_EQ(recorder.ofKind<ModelInfo>().size(), 1u);

    // A line still being written is read once it is complete.
    const QByteArray next = tokenCount(2500, 40);
    appendFile(path, next.left(100));
    adapter.pollNow();
    EXPECT_EQ(snapshots().size(), 2u);
    appendFile(path, next.mid(100));
    adapter.pollNow();
    ASSERT_EQ(snapshots().size(), 3u);
    EXPECT_EQ(snapshots()[2].inputTokens, 2500);
}

TEST_F(CodexDesktopTest, TruncatedFileIsReadAgainFromItsStart)
{
    const QString path = writeRollout(threadA, tokenCount(1000, 10) + tokenCount(2000, 10));
    adapter.pollNow();
    TestSupport::writeFile(path, tokenCount(5, 1));
    adapter.pollNow();
    ASSERT_EQ(snapshots().size(), 2u);
    EXPECT_EQ(snapshots()[1].inputTokens, 5);
}

TEST_F(CodexDesktopTest, WorkingStateFollowsTheModificationTime)
{
    const QString path = writeRollout(threadA, tokenCount(1000, 10));
    const QDateTime modified = clock.now().addSecs(-5);
    setModified(path, modified);
    adapter.pollNow();
    adapter.pollNow();
    EXPECT_EQ(recorder.kindNames(),
              (std::vector<QString>{"sessionSnapshot", "turnStarted", "stateText", "stateText"}));
    EXPECT_EQ(recorder.ofKind<StateText>()[0].kind, AgentEventKind(StateText{"Working..."}));
    EXPECT_EQ(recorder.ofKind<TurnStarted>()[0].sessionId, threadA);

    recorder.clear();
    clock.set(modified.addMSecs(11999));
    adapter.pollNow();
    EXPECT_EQ(recorder.kindNames(), std::vector<QString>{"stateText"});
    clock.set(modified.addSecs(12));
    adapter.pollNow();
    adapter.pollNow();
    ASSERT_EQ(recorder.kindNames(), (std::vector<QString>{"stateText", "turnEnded"}));
    const AgentEvent ended = recorder.ofKind<TurnEnded>()[0];
    EXPECT_EQ(ended.timestamp.toSecsSinceEpoch(), modified.toSecsSinceEpoch());
    EXPECT_EQ(ended.sessionId, threadA);
}

TEST_F(CodexDesktopTest, StartPollsAtOnce)
{
    writeRollout(threadA, tokenCount(1000, 10));
    adapter.start();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return snapshots().size() == 1; }, 1s));
    adapter.stop();
}

} // namespace

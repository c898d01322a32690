#include "Telemetry/Adapters/CodexNotifyAdapter.h"

#include "AdapterTestSupport.h"
#include "support/FileDescriptorsTaken.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(CodexNotifyAdapter, LinesMapToTurnEdges)
{
    struct Case {
        const char *line;
        std::optional<AgentEventKind> kind;
        const char *session;
    };
    const QList<Case> cases{
        {R"({"type":"agent-turn-complete","thread-id":"t1"})", TurnEnded{}, "t1"},
        {R"({"type":"approval-requested"})", ApprovalRequested{}, "codex"},
        {R"({"type":"AGENT-TURN-COMPLETE","thread-id":"t1"})", TurnEnded{}, "t1"},
        {R"({"type":"x_turn_start","thread_id":"t2","turn-id":"u"})", TurnStarted{}, "t2"},
        {R"({"type":"turn-started","turn-id":"u3"})", TurnStarted{}, "u3"},
        {R"({"type":"turn_complete","thread-id":5,"thread_id":"t4"})", TurnEnded{}, "t4"},
        {R"({"type":"turn-complete-after-approval"})", TurnEnded{}, "codex"},
        {"{\"type\":\"agent-turn-complete\",\"thread-id\":\"t5\"}\r", TurnEnded{}, "t5"},
        {"not json{{", std::nullopt, ""},
        {R"(["agent-turn-complete"])", std::nullopt, ""},
        {R"({"x":1})", std::nullopt, ""},
        {R"({"type":7})", std::nullopt, ""},
        {R"({"type":"future-thing"})", std::nullopt, ""},
    };
    const QDateTime at = QDateTime::fromString("2030-01-01T00:00:00Z", Qt::ISODate);
    for (const Case &c : cases) {
        const std::optional<AgentEvent> event = CodexNotifyAdapter::eventFromLine(QByteArrayView(c.line), at);
        ASSERT_EQ(event.has_value(), c.kind.has_value()) << c.line;
        if (!event)
            continue;
        EXPECT_EQ(event->kind, *c.kind) << c.line;
        EXPECT_EQ(event->sessionId, c.session) << c.line;
        EXPECT_EQ(event->source, AgentSource::codexNotify);
        EXPECT_EQ(event->timestamp, at);
    }
}

class CodexNotifyAdapterTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        TestSupport::writeFile(socketPath, "stale"); // left by an earlier run
        adapter.setOnReady([this] { ++readyCalls; });
        adapter.start();
        ASSERT_TRUE(TestSupport::waitUntil([this] { return adapter.isListening(); }));
    }

    QTemporaryDir dir{QStringLiteral("/tmp/cvn-XXXXXX")}; // socket paths must stay short
    QString socketPath = dir.filePath(QStringLiteral("notify.sock"));
    ManualClock clock;
    EventBus bus;
    AdapterTest::EventRecorder recorder{bus};
    CodexNotifyAdapter adapter{&bus, socketPath, Environment{&clock}};
    const Delays delays;
    std::atomic<int> readyCalls{0};
};

TEST_F(CodexNotifyAdapterTest, ListensOnAnOwnerOnlySocketInPlaceOfAStaleFile)
{
    EXPECT_EQ(adapter.source(), AgentSource::codexNotify);
    EXPECT_EQ(readyCalls, 1);
    struct stat info {};
    ASSERT_EQ(::stat(socketPath.toLocal8Bit().constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    adapter.start();
    EXPECT_FALSE(adapter.isListening()); // until the new listener is ready
    ASSERT_TRUE(TestSupport::waitUntil([&] { return readyCalls == 2; }));
    EXPECT_TRUE(adapter.isListening());
    adapter.stop();
    EXPECT_FALSE(adapter.isListening());
}

TEST_F(CodexNotifyAdapterTest, OneBatchPerConnectionHandledWhenTheSenderCloses)
{
    QLocalSocket sender;
    sender.connectToServer(socketPath);
    ASSERT_TRUE(sender.waitForConnected(3000));
    sender.write("{\"type\":\"agent-turn-start\",\"thread-id\":\"a\"}\n\n\nnot json\n");
    sender.write("{\"type\":\"approval-requested\",\"thread-id\":\"a\"}\n{\"type\":\"agent-turn-complete\"");
    sender.flush();
    // Whenever the bytes arrive, the quiet period passes after them.
    // (Short of the idle time, past which a sender with an unfinished line is dropped.)
    auto advanced = 0ms;
    TestSupport::waitUntil([&] {
        if (advanced + delays.notifyBatchEnd < delays.notifyConnectionIdle) {
            clock.advance(delays.notifyBatchEnd);
            advanced += delays.notifyBatchEnd;
        }
        return false;
    }, 300ms);
    EXPECT_TRUE(recorder.events().empty()) << "a last line without its newline waits for the sender";

    sender.write(",\"thread-id\":\"a\"}");
    sender.disconnectFromServer();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.events().size() == 3; }));
    EXPECT_EQ(recorder.kindNames(), (std::vector<QString>{"turnStarted", "approvalRequested", "turnEnded"}));
    EXPECT_FALSE(recorder.deliveredOffMainThread());
}

TEST_F(CodexNotifyAdapterTest, ASenderThatKeepsItsSideOpenIsServedOnceItsLinesEnd)
{
    QLocalSocket sender;
    sender.connectToServer(socketPath);
    ASSERT_TRUE(sender.waitForConnected(3000));
    ASSERT_TRUE(TestSupport::waitUntil([&] { return adapter.connectionCount() == 1; }));
    const int counting = clock.activeTimers(); // the listener's watch, the connection's idle timer
    sender.write("{\"type\":\"agent-turn-complete\",\"thread-id\":\"t\"}\n");
    sender.flush();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return clock.activeTimers() == counting + 1; })) << "the line did not arrive";
    const QDateTime arrived = clock.now();
    clock.advance(delays.notifyBatchEnd - 1ms);
    EXPECT_TRUE(recorder.events().empty());
    clock.advance(1ms);
    ASSERT_EQ(recorder.events().size(), 1u);
    EXPECT_EQ(recorder.events()[0].timestamp, arrived.addMSecs(delays.notifyBatchEnd.count()));
    // The adapter then closes the connection, which is what lets nc exit.
    EXPECT_TRUE(TestSupport::waitUntil([&] { return sender.state() == QLocalSocket::UnconnectedState; }));
}

TEST_F(CodexNotifyAdapterTest, AnOversizedBatchIsDroppedUnread)
{
    QLocalSocket sender;
    sender.connectToServer(socketPath);
    ASSERT_TRUE(sender.waitForConnected(3000));
    const QByteArray line = "{\"type\":\"agent-turn-complete\"}\n";
    sender.write(line.repeated(CodexNotifyAdapter::maxConnectionBuffer / line.size() + 1));
    EXPECT_TRUE(TestSupport::waitUntil([&] { return sender.state() == QLocalSocket::UnconnectedState; }));
    TestSupport::spin(100ms);
    EXPECT_TRUE(recorder.events().empty());
}

TEST_F(CodexNotifyAdapterTest, ConnectionsPastTheCapAndSilentSendersAreDropped)
{
    std::vector<std::unique_ptr<QLocalSocket>> senders;
    for (int i = 0; i < CodexNotifyAdapter::maxConnections; ++i) {
        senders.push_back(std::make_unique<QLocalSocket>());
        senders.back()->connectToServer(socketPath);
        ASSERT_TRUE(senders.back()->waitForConnected(3000));
    }
    ASSERT_TRUE(TestSupport::waitUntil([&] { return adapter.connectionCount() == CodexNotifyAdapter::maxConnections; }));
    QLocalSocket extra;
    extra.connectToServer(socketPath);
    EXPECT_TRUE(TestSupport::waitUntil([&] { return extra.state() == QLocalSocket::UnconnectedState; }));

    senders[0]->write("{\"type\":\"agent-turn-complete\""); // a line that never ends
    senders[0]->flush();
    TestSupport::spin(50ms);
    clock.advance(delays.notifyConnectionIdle - 1ms);
    TestSupport::spin(50ms);
    EXPECT_EQ(adapter.connectionCount(), CodexNotifyAdapter::maxConnections);
    clock.advance(1ms);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return adapter.connectionCount() == 0; }));
    EXPECT_TRUE(recorder.events().empty()) << "a dropped sender's bytes are not handled";

    QLocalSocket late;
    late.connectToServer(socketPath);
    ASSERT_TRUE(late.waitForConnected(3000));
    late.write("{\"type\":\"agent-turn-complete\"}\n");
    late.disconnectFromServer();
    EXPECT_TRUE(recorder.waitForCount(1));
}

TEST_F(CodexNotifyAdapterTest, AListenerClosedByAFailedAcceptListensAgain)
{
    QLocalSocket refused;
    {
        // The sender takes the last descriptor, so the adapter's accept has none.
        const TestSupport::FileDescriptorsTaken taken(1);
        refused.connectToServer(socketPath);
        ASSERT_TRUE(TestSupport::waitUntil([&] { return !QFile::exists(socketPath); }))
            << "the failed accept did not close the listener";
    }
    refused.abort();
    clock.advance(delays.listenerRetry);
    ASSERT_TRUE(TestSupport::waitUntil([&] { return QFile::exists(socketPath); }));
    QLocalSocket sender;
    sender.connectToServer(socketPath);
    ASSERT_TRUE(sender.waitForConnected(3000));
    sender.write("{\"type\":\"agent-turn-complete\"}\n");
    sender.disconnectFromServer();
    EXPECT_TRUE(recorder.waitForCount(1));
}

int runHook(const QString &script, const QString &argument)
{
    QProcess hook;
    hook.start(QStringLiteral("/bin/sh"), {script, argument});
    // The main loop runs meanwhile: the adapter closes nc's connection once the bus has stored
    // the line, and nc exits only then.
    if (!TestSupport::waitUntil([&] { return hook.state() == QProcess::NotRunning; }, 10s)) {
        hook.kill();
        return -1;
    }
    return hook.exitCode();
}

TEST(CodexNotifyHookScript, HasTheExactLinesAndModes)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("corvane-notify.sh"));
    TestSupport::writeFile(script, "old");
    CodexNotifyAdapter::writeHookScript(script, QStringLiteral("/home/dev/.local/share/Corvane/notify.sock"));
    EXPECT_EQ(TestSupport::readFile(script),
              "#!/bin/sh\n"
              "# Corvane notify hook \xE2\x80\x94 forwards Codex notify JSON to the local HUD.\n"
              "# Receives the notification JSON as the first argument. No content is\n"
              "# logged or stored; it is piped straight to a local Unix socket.\n"
              "printf '%s\\n' \"$1\" | /usr/bin/nc -U \"/home/dev/.local/share/Corvane/notify.sock\" 2>/dev/null || true");
    EXPECT_EQ(QFileInfo(script).permissions() & 0x7077, 0x7055); // owner rwx, group and others r-x

    EXPECT_TRUE(CodexNotifyAdapter::hookScript(QStringLiteral("/t/it's $x"))
                    .endsWith("| /usr/bin/nc -U '/t/it'\\''s $x' 2>/dev/null || true"));
    EXPECT_TRUE(CodexNotifyAdapter::hookScript(QStringLiteral("/t/it's x")).contains("-U \"/t/it's x\" 2>"));

    EXPECT_THROW(CodexNotifyAdapter::writeHookScript(dir.filePath(QStringLiteral("missing/x.sh")), QStringLiteral("/s")),
                 std::runtime_error);
}

TEST(CodexNotifyHookScript, RealHookDeliversThroughSocketPathsWithShellCharacters)
{
    // Each directory name would break out of double quotes or expand inside them.
    for (const char *name : {"plain dir", "q\"uote", "d$HOME", "b`id`", "back\\slash", "it's"}) {
        QTemporaryDir base(QStringLiteral("/tmp/cvh-XXXXXX"));
        const QString folder = base.filePath(QString::fromUtf8(name));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString socketPath = folder + QStringLiteral("/n.sock");
        const QString script = base.filePath(QStringLiteral("hook.sh"));
        CodexNotifyAdapter::writeHookScript(script, socketPath);

        EventBus bus;
        AdapterTest::EventRecorder recorder(bus);
        CodexNotifyAdapter adapter(&bus, socketPath);
        adapter.start();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return adapter.isListening(); })) << name;
        EXPECT_EQ(runHook(script, QStringLiteral(R"({"type":"agent-turn-complete","thread-id":"h1"})")), 0) << name;
        ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.events().size() == 1; })) << name;
        EXPECT_EQ(recorder.events()[0].sessionId, "h1");
        EXPECT_EQ(recorder.events()[0].kind, AgentEventKind(TurnEnded{}));
    }
}

TEST(CodexNotifyHookScript, SucceedsWithNoListener)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("hook.sh"));
    CodexNotifyAdapter::writeHookScript(script, dir.filePath(QStringLiteral("nobody.sock")));
    EXPECT_EQ(runHook(script, QStringLiteral("{}")), 0);
}

} // namespace
